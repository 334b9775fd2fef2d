#include "TicketFolder.h"
#include "CANPAInfo.h"
#include "CIndexDoc.h"
#include "CIndexPackage.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "IndexWindowTest.h"
#include "LThread.h"
#include "PrefKeys.h"
#include "PropertyList.h"
#include "ReadOnlyFile.h"
#include "TestIndexWindow.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>

#include <optional>

namespace {

const QByteArray kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                           "<plist version=\"1.0\">\n";

struct RecordingSink : TicketSink {
    void StartTicketSearch(SInt32 fieldKey, const QString& text) override { searches.emplace_back(fieldKey, text); }
    void ShowAllTicketItems() override { ++showAll; }
    void AddTicketPhoto(const QUrl& photo, const std::vector<TicketField>& fields) override
    {
        photos.push_back(photo.toLocalFile());
        lastFields = fields;
    }
    void SaveAfterTicket() override
    {
        ++saves;
        if (failSave)
            ThrowOSErr_(err_NilPointer, "no place to save");
    }

    std::vector<std::pair<SInt32, QString>> searches;
    std::vector<QString> photos;
    std::vector<TicketField> lastFields;
    int showAll = 0;
    int saves = 0;
    bool failSave = false;
};

QString FreshFolder(const QString& name)
{
    const QString dir = TestTempDir() + QLatin1String("/tickets-") + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir + QLatin1String("/drop"));
    return dir;
}

QByteArray Plist(const QByteArray& body)
{
    return kHeader + body + "</plist>\n";
}

// A ticket file from tickets given as dictionaries.
QByteArray TicketFile(const QVariantList& tickets)
{
    return PropertyList::ToXML(QVariantMap { { "TICKETS", tickets } });
}

QVariantMap Upload(const QStringList& photos, const QVariantMap& fields)
{
    QVariantMap ticket = fields;
    ticket.insert("PHOTOS", photos);
    return ticket;
}

} // namespace

TEST(TicketFolder, RequestTicketsSearchByTheirFirstKeyInOrder)
{
    const QString dir = FreshFolder("request") + "/drop";
    Write(dir + "/request.xml",
        Plist("<dict>\n\t<key>TICKETS</key>\n\t<array>\n"
              "\t\t<dict>\n\t\t\t<key>PLATE</key>\n\t\t\t<string>AB-123</string>\n"
              "\t\t\t<key>USERID</key>\n\t\t\t<string>u7</string>\n\t\t</dict>\n"
              "\t\t<dict>\n\t\t\t<key>USERID</key>\n\t\t\t<string>u9</string>\n"
              "\t\t\t<key>TO_TIME</key>\n\t\t\t<string>12:30</string>\n\t\t</dict>\n"
              "\t\t<dict>\n\t\t\t<key>OTHER</key>\n\t\t\t<string>x</string>\n\t\t</dict>\n"
              "\t</array>\n</dict>\n"));
    RecordingSink sink;
    ScanTicketFolder(FileRef(dir), sink);
    const std::vector<std::pair<SInt32, QString>> expected { { 6006, "AB-123" }, { 6009, "12:30" } };
    EXPECT_EQ(sink.searches, expected);
    EXPECT_FALSE(QFile::exists(dir + "/request.xml"));
}

TEST(TicketFolder, UploadTicketsAddTheirPhotographsWithTheirFieldsAndSaveAfterEach)
{
    const QString dir = FreshFolder("upload") + "/drop";
    Write(dir + "/a.jpg", "a");
    Write(dir + "/b.jpg", "b");
    Write(dir + "/c.jpg", "c");
    Write(dir + "/upload.xml",
        TicketFile({ Upload({ "a.jpg", "b.jpg" },
                         { { "PLATE", "P1" }, { "TICKETNO", "T1" }, { "UNITID", "U1" }, { "USERID", "X1" },
                             { "TO_DATE", "2026-12-07" } }),
            Upload({ "c.jpg" }, { { "PLATE", "P2" } }) }));
    RecordingSink sink;
    ScanTicketFolder(FileRef(dir), sink);
    EXPECT_EQ(sink.photos, (std::vector<QString> { dir + "/a.jpg", dir + "/b.jpg", dir + "/c.jpg" }));
    EXPECT_EQ(sink.saves, 2);
    EXPECT_EQ(sink.showAll, 2);
    // The last ticket lacks every key but PLATE: those fields are given no value.
    const std::vector<TicketField> fields { { 6006, QString("P2") }, { 6007, std::nullopt }, { 6003, std::nullopt },
        { 6004, std::nullopt }, { 6005, std::nullopt }, { 6009, std::nullopt } };
    EXPECT_EQ(sink.lastFields, fields);
    EXPECT_FALSE(QFile::exists(dir + "/upload.xml"));
}

TEST(TicketFolder, OtherNamesAndBrokenFilesStayInTheFolder)
{
    const QString dir = FreshFolder("broken") + "/drop";
    Write(dir + "/Request.xml", TicketFile({ QVariantMap { { "PLATE", "x" } } }));
    Write(dir + "/upload.XML", TicketFile({ QVariantMap { { "PLATE", "x" } } }));
    RecordingSink sink;
    ScanTicketFolder(FileRef(dir), sink);
    EXPECT_TRUE(sink.searches.empty());
    EXPECT_TRUE(QFile::exists(dir + "/Request.xml"));

    // No TICKETS, no property list, no PHOTOS: each fails and stays for the next check.
    struct Case {
        const char* name;
        QByteArray bytes;
        OSStatus code;
    };
    const Case cases[] = {
        { "request.xml", Plist("<dict>\n\t<key>OTHER</key>\n\t<string>x</string>\n</dict>\n"), err_NilPointer },
        { "request.xml", "not a property list", err_NilPointer },
        { "upload.xml", TicketFile({ QVariantMap { { "PLATE", "x" } } }), err_NilPointer },
        { "upload.xml", TicketFile({ QVariant("not a ticket") }), err_NilPointer },
    };
    for (const Case& c : cases) {
        const QString path = dir + "/" + c.name;
        Write(path, c.bytes);
        try {
            ProcessTicketFile(FileRef(path), sink);
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const ExceptionCode& e) {
            EXPECT_EQ(e.Code(), c.code) << c.name;
        }
        EXPECT_EQ(ReadWholeFile(path), c.bytes) << c.name;
        QFile::remove(path);
    }
}

TEST(TicketFolder, AFailedFileIsRetriedWithoutTheTicketsAlreadyDone)
{
    const QString dir = FreshFolder("retry") + "/drop";
    Write(dir + "/a.jpg", "a");
    Write(dir + "/b.jpg", "b");
    const QString path = dir + "/upload.xml";
    QVariantMap root { { "TICKETS",
                           QVariantList { Upload({ "a.jpg" }, { { "PLATE", "P1" } }),
                               QVariantMap { { "PLATE", "P2" } }, // no PHOTOS
                               Upload({ "b.jpg" }, { { "PLATE", "P3" } }) } },
        { "SENDER", "camera 4" } };
    Write(path, PropertyList::ToXML(root));

    RecordingSink sink;
    EXPECT_THROW(ScanTicketFolder(FileRef(dir), sink), ExceptionCode);
    EXPECT_EQ(sink.photos, (std::vector<QString> { dir + "/a.jpg" }));
    QVariant left;
    ASSERT_EQ(PropertyList::ReadFile(path, left), noErr);
    EXPECT_EQ(left.toMap().value("TICKETS").toList().size(), 2);
    EXPECT_EQ(left.toMap().value("SENDER").toString(), "camera 4");

    // The sender mends its ticket: only what was not done is done now.
    root = left.toMap();
    QVariantList tickets = root.value("TICKETS").toList();
    tickets[0] = Upload({}, { { "PLATE", "P2" } });
    root.insert("TICKETS", tickets);
    Write(path, PropertyList::ToXML(root));
    ScanTicketFolder(FileRef(dir), sink);
    EXPECT_EQ(sink.photos, (std::vector<QString> { dir + "/a.jpg", dir + "/b.jpg" }));
    EXPECT_FALSE(QFile::exists(path));
}

TEST(TicketFolder, ASaveThatFailsDoesNotAddTheTicketsPhotographsAgain)
{
    const QString dir = FreshFolder("savefail") + "/drop";
    Write(dir + "/a.jpg", "a");
    const QString path = dir + "/upload.xml";
    Write(path, TicketFile({ Upload({ "a.jpg" }, { { "PLATE", "P1" } }) }));
    RecordingSink sink;
    sink.failSave = true;
    EXPECT_THROW(ScanTicketFolder(FileRef(dir), sink), ExceptionCode);
    sink.failSave = false;
    ScanTicketFolder(FileRef(dir), sink);
    EXPECT_EQ(sink.photos.size(), 1u);
    EXPECT_FALSE(QFile::exists(path));
}

TEST(TicketFolder, PhotographNamesThatLeaveTheFolderAreRefused)
{
    const QString root = FreshFolder("hostile");
    const QString dir = root + "/drop";
    Write(root + "/outside.jpg", "outside");
    Write(dir + "/inside.jpg", "inside");
    const QString newline = "line\nbreak.jpg";
    Write(dir + "/" + newline, "newline");
    QDir().mkpath(dir + "/sub");
    Write(dir + "/sub/deep.jpg", "deep");
    QFile::link(root + "/outside.jpg", dir + "/link.jpg");

    const FileRef folder(dir);
    for (const QString& name : { QString("../outside.jpg"), QString("/etc/passwd"), QString("sub/../../outside.jpg"),
             QString("./inside.jpg"), QString(""), QString("sub//deep.jpg"), QString("link.jpg") })
        EXPECT_FALSE(ResolveTicketPhoto(folder, name)) << name.toStdString();
    EXPECT_EQ(ResolveTicketPhoto(folder, "inside.jpg")->Path(), dir + "/inside.jpg");
    EXPECT_EQ(ResolveTicketPhoto(folder, newline)->Path(), dir + "/" + newline);
    EXPECT_EQ(ResolveTicketPhoto(folder, "sub/deep.jpg")->Path(), dir + "/sub/deep.jpg");

    Write(dir + "/upload.xml",
        TicketFile(
            { Upload({ "../outside.jpg", "/etc/passwd", "inside.jpg", "link.jpg", newline }, { { "PLATE", "P" } }) }));
    RecordingSink sink;
    ScanTicketFolder(folder, sink);
    EXPECT_EQ(sink.photos, (std::vector<QString> { dir + "/inside.jpg", dir + "/" + newline }));
    EXPECT_EQ(ReadWholeFile(root + "/outside.jpg"), "outside");
}

// The document end to end: the drop folder is the user's Public folder.
// Where the user's folders are named, as the program reads it.
QString UserDirsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/user-dirs.dirs";
}

// Tickets for an index in the program's own index window.
class TicketDocument : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        classes.emplace();
        // The user's own folders, whatever test ran before in this program.
        mTestMode = QStandardPaths::isTestModeEnabled();
        QStandardPaths::setTestModeEnabled(false);
        mRoot = FreshFolder("document");
        mPublic = mRoot + "/Public";
        QDir().mkpath(mPublic);
        QDir().mkpath(QFileInfo(UserDirsFile()).path());
        QFile dirs(UserDirsFile());
        ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_PUBLICSHARE_DIR=\"" + mPublic.toUtf8() + "\"\n");
        dirs.close();
        ASSERT_EQ(GetTicketFolder().Path(), mPublic);
    }
    void TearDown() override
    {
        classes.reset();
        IndexWindowTest::TearDown();
        QFile::remove(UserDirsFile());
        QStandardPaths::setTestModeEnabled(mTestMode);
    }

    // Cars in the index, one per (plate, ticket number), as uploads leave them.
    static void AddCars(CIndexDoc* doc, const std::vector<std::pair<const char*, const char*>>& cars)
    {
        for (const auto& [plate, ticket] : cars) {
            auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/%1.jpg").arg(QLatin1String(plate))));
            auto caption = std::make_unique<CANPAInfo>();
            caption->SetByline(Str255(plate));
            caption->SetBylineTitle(Str255(ticket));
            item->SetCaptionInfo(std::move(caption));
            doc->GetModel().InsertItem(item, kInsertAtEnd, ItemInsert::Filling);
        }
    }
    // The names of the items the index shows once its searches have ended.
    static QStringList ShownAfterSearches(CIndexDoc* doc)
    {
        CIndexModel& model = doc->GetModel();
        EXPECT_TRUE(LThread::RunUntil([&] { return model.CountRunningSearches() == 0; }, 8000));
        QStringList names;
        for (CIndexItem* item : model.GetItemList())
            names << item->GetURL().fileName();
        return names;
    }

    std::optional<StIndexDocServices> classes;
    bool mTestMode = false;
    QString mRoot;
    QString mPublic;
};

TEST_F(TicketDocument, UploadsWaitForASavedIndexAndGoOnlyOnceItHoldsTheirPhotographs)
{
    Write(mRoot + "/secret.jpg", "secret");
    QImage photo(32, 24, QImage::Format_RGB32);
    photo.fill(Qt::darkCyan);
    ASSERT_TRUE(photo.save(mPublic + "/photo.jpg", "JPEG"));
    const QString upload = mPublic + "/upload.xml";
    const QByteArray ticket = TicketFile({ Upload({ "photo.jpg", "../secret.jpg" },
        { { "PLATE", "AB-1" }, { "TICKETNO", "77" }, { "UNITID", "U" }, { "USERID", "me" }, { "TO_DATE", "d" } }) });
    Write(upload, ticket);
    std::vector<SErrorReport> reports;
    SetErrorNotificationPoster([&](const SErrorReport& report) { reports.push_back(report); });

    // An untitled index cannot be saved: the ticket waits, and the user is told once.
    CIndexDoc* untitled = new CIndexDoc(nullptr, {}, false, true);
    untitled->CheckTicketFolder();
    untitled->CheckTicketFolder();
    EXPECT_EQ(untitled->GetModel().CountAllItems(), 0);
    EXPECT_EQ(ReadWholeFile(upload), ticket);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].messageIndex, kMsgTicketWaits - 100000);

    QDir().mkpath(mRoot + "/Cars.idxp");
    CIndexDoc* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(mRoot + "/Cars.idxp"), true, true);
    doc->GetModel().SetFlags(kViewOptionStoreMedia | kViewOptionRemoveMedia);
    classes->tasks.holdWrites = true;
    doc->CheckTicketFolder();
    const CIndexModel& model = doc->GetModel();
    ASSERT_EQ(model.CountAllItems(), 1);
    EXPECT_TRUE(model.IsModified());
    EXPECT_TRUE(doc->IsModified());
    CIndexItem& item = *model.ItemAt(1);
    EXPECT_EQ(item.GetURL().toLocalFile(), mPublic + "/photo.jpg");
    CANPAInfo* caption = item.GetCaptionInfo();
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->GetByline().ToQString(), "AB-1");
    EXPECT_EQ(caption->GetBylineTitle().ToQString(), "77");
    EXPECT_EQ(caption->GetHeadline().ToQString(), "U");
    EXPECT_EQ(caption->GetSpecialInstructions().ToQString(), "me");
    EXPECT_EQ(caption->GetCopyrightNotice().ToQString(), "d");
    EXPECT_EQ(caption->GetSource().ToQString(), "");

    // The save fails: the ticket stays, and its photograph is not added a second time.
    ASSERT_EQ(classes->tasks.heldWrite, doc);
    classes->tasks.FinishWrite(doc, false);
    doc->CheckTicketFolder();
    EXPECT_EQ(model.CountAllItems(), 1);
    EXPECT_EQ(ReadWholeFile(upload), ticket);
    // Saved at last: the ticket is done.
    classes->tasks.FinishWrite(doc, true);
    EXPECT_FALSE(QFile::exists(upload));
    EXPECT_EQ(ReadWholeFile(mRoot + "/secret.jpg"), "secret");
    SetErrorNotificationPoster(nullptr);
}

// A photograph that refuses its caption is still the ticket's: it comes into the
// index with the ticket's fields, the refusal is told once, and the ticket is done.
TEST_F(TicketDocument, APhotographThatRefusesItsCaptionIsImportedWithTheTicketsFields)
{
    QImage photo(32, 24, QImage::Format_RGB32);
    photo.fill(Qt::darkRed);
    ASSERT_TRUE(photo.save(mPublic + "/locked.jpg", "JPEG"));
    StReadOnlyFile locked(mPublic + "/locked.jpg");
    ASSERT_TRUE(locked.IsReadOnly());
    const bool applied = Pref::ApplyChangesToMediaFile.Get();
    Pref::ApplyChangesToMediaFile.Set(true);
    const QString upload = mPublic + "/upload.xml";
    const QVariantMap ticket { { "PLATE", "AB-1" }, { "TICKETNO", "77" }, { "UNITID", "U" }, { "USERID", "me" },
        { "TO_DATE", "d" }, { "TO_TIME", "t" } };
    Write(upload, TicketFile({ Upload({ "locked.jpg" }, ticket) }));
    std::vector<SErrorReport> reports;
    SetErrorNotificationPoster([&](const SErrorReport& report) { reports.push_back(report); });

    QDir().mkpath(mRoot + "/Cars.idxp");
    CIndexDoc* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(mRoot + "/Cars.idxp"), true, true);
    classes->tasks.holdWrites = true;
    doc->CheckTicketFolder();
    const CIndexModel& model = doc->GetModel();
    ASSERT_EQ(model.CountAllItems(), 1);
    CIndexItem& item = *model.ItemAt(1);
    EXPECT_EQ(item.GetURL().toLocalFile(), mPublic + "/locked.jpg");
    const std::pair<SInt32, const char*> fields[] = { { kFieldTicketPlate, "PLATE" }, { kFieldTicketNo, "TICKETNO" },
        { kFieldTicketUnit, "UNITID" }, { kFieldTicketUser, "USERID" }, { kFieldTicketDate, "TO_DATE" },
        { kFieldTicketTime, "TO_TIME" } };
    for (const auto& [key, name] : fields)
        EXPECT_EQ(item.CopyFieldString(key, 0), ticket.value(name).toString()) << name;
    EXPECT_EQ(reports.size(), 1u);
    ASSERT_EQ(classes->tasks.heldWrite, doc);
    classes->tasks.FinishWrite(doc, true);
    EXPECT_FALSE(QFile::exists(upload));

    // The next check finds nothing to do and has nothing to say.
    doc->CheckTicketFolder();
    EXPECT_EQ(model.CountAllItems(), 1);
    EXPECT_EQ(reports.size(), 1u);
    SetErrorNotificationPoster(nullptr);
    Pref::ApplyChangesToMediaFile.Set(applied);
}

TEST_F(TicketDocument, RequestsSearchTheIndexView)
{
    Write(mPublic + "/request.xml", TicketFile({ QVariantMap { { "TICKETNO", "42" }, { "UNITID", "U" } } }));
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, true);
    AddCars(doc, { { "AB-1", "42" }, { "CD-2", "17" }, { "EF-3", "420" } });
    doc->ExecuteTask(); // what the document's timer runs
    // The ticket number is searched for in its field: the index shows what was found.
    EXPECT_EQ(ShownAfterSearches(doc), (QStringList { "AB-1.jpg", "EF-3.jpg" }));
    EXPECT_TRUE(doc->GetModel().IsFiltered());
    EXPECT_FALSE(QFile::exists(mPublic + "/request.xml"));
}

TEST_F(TicketDocument, AShownIndexNoticesATicketDroppedIntoTheFolder)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    AddCars(doc, { { "AB-1", "42" }, { "ZZ-9", "17" } });
    doc->ShowWindow(); // starts watching the folder
    QApplication::processEvents();
    Write(mPublic + "/request.xml", TicketFile({ QVariantMap { { "PLATE", "ZZ-9" } } }));
    EXPECT_TRUE(LThread::RunUntil([&] { return doc->GetModel().IsFiltered(); }, 8000));
    EXPECT_EQ(ShownAfterSearches(doc), QStringList { "ZZ-9.jpg" });
    EXPECT_FALSE(QFile::exists(mPublic + "/request.xml"));
}
