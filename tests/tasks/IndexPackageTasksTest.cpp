#include "TaskTestSupport.h"

#include "AliasRecord.h"
#include "CANPAInfo.h"
#include "CIndexPackage.h"
#include "CItemError.h"
#include "CReadIndexPackageTask.h"
#include "CWriteIndexTask.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "FolderChecks.h"
#include "IndexDbFile.h"
#include "IndexDbRecord.h"
#include "IndexPackageDocument.h"
#include "UserData.h"

#include "MediaImageInfo.h"
#include "RecordBytes.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QThread>

#include <functional>
#include <map>
#include <numeric>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// An index document as the package tasks see it, over a real package folder.
class TestDocument : public IndexPackageDocument {
public:
    // A fresh package folder, or the one there when `keep`.
    TestDocument(const QString& folder, TestOwnerView* view, bool keep = false)
        : mView(view)
    {
        if (!keep)
            QDir(folder).removeRecursively();
        QDir().mkpath(QFileInfo(folder).path());
        package = std::make_unique<CIndexPackage>(QUrl::fromLocalFile(folder), nullptr);
    }

    CIndexPackage* GetPackage() const override { return package.get(); }
    CIndexModel* GetModel() const override { return &mView->model; }
    bool TestFlags(UInt32 mask) const override { return (flags & mask) != 0; }
    SInt32 ReadSettings(bool) override
    {
        ++settingsRead;
        return expectedCount;
    }
    void WriteSettings(bool) override
    {
        if (failSettings)
            ThrowOSErr_(ioErr, "settings.xml not renamed into place");
        ++settingsWritten;
    }
    void ShowWindow() override { ++windowShown; }
    bool VerifyPassword() override { return passwordAccepted; }
    SInt32 GetPendingSaveAction() const override { return pending; }
    void SetPendingSaveAction(SInt32 action) override { pending = action; }
    void RunPendingSaveAction(SInt32 action) override { actionsRun.push_back(action); }
    void DiscardDocument() override { ++discarded; }

    QString IndexDbPath() const { return package->GetIndexDbURL().toLocalFile(); }

    std::unique_ptr<CIndexPackage> package;
    UInt32 flags = 0;
    SInt32 expectedCount = 0;
    int settingsRead = 0;
    int settingsWritten = 0;
    bool failSettings = false;
    int windowShown = 0;
    SInt32 pending = kSaveActionNone;
    std::vector<SInt32> actionsRun;
    int discarded = 0;
    bool passwordAccepted = true;

private:
    TestOwnerView* mView;
};


QByteArray ThreeRecords()
{
    return RemoteRecord("Beach.jpg", 1000) + RemoteRecord("Dunes.jpg", 2000) + RemoteRecord("Harbour.jpg", 3000);
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

class IndexPackageTasks : public TaskTest {
protected:
    void SetUp() override
    {
        TaskTest::SetUp();
        SetErrorNotificationPoster([this](const SErrorReport& report) { reports.push_back(report); });
        owner_.QueuePendingFile();
    }
    void TearDown() override
    {
        SetErrorNotificationPoster(nullptr);
        owner_.DeleteItems();
        TaskTest::TearDown();
    }

    QString Folder(const QString& name) { return TestTempDir() + QStringLiteral("/packages/") + name + ".idxp"; }

    // Copies of the first `count` camera photographs in the folders "kept" and
    // "touched" of `photos`, each added to the index at its end; the copies' names.
    QStringList PhotosInTwoFolders(const QString& photos, int count)
    {
        QDir(photos).removeRecursively();
        const QDir samples(TestDataPath(QStringLiteral("exif-samples/jpg")));
        const QStringList names = samples.entryList({"*.jpg"}, QDir::Files, QDir::Name).mid(0, count);
        for (const QString& folder : {photos + "/kept", photos + "/touched"}) {
            QDir().mkpath(folder);
            for (const QString& name : names) {
                EXPECT_TRUE(QFile::copy(samples.filePath(name), folder + "/" + name));
                owner_.model.InsertItem(new CIndexItem(QUrl::fromLocalFile(folder + "/" + name)), kInsertAtEnd);
            }
        }
        return names;
    }

    static std::vector<IndexDbRecord> Records(const QString& indexDb)
    {
        std::vector<IndexDbRecord> out;
        IndexDbReader reader(ReadWholeFile(indexDb));
        for (IndexDbRecord record; reader.Next(record);)
            out.push_back(record);
        return out;
    }

    // Runs a read task to its end.
    void Read(TestDocument& document)
    {
        auto* task = new CReadIndexPackageTask(601, 1, &document);
        ThreadID id = task->GetID();
        task->Start();
        ASSERT_TRUE(RunUntil([id] { return LThread::FromID(id) == nullptr; }, 20000));
    }
    // Runs a write task to its end; true when it saved (the index is no longer modified).
    bool Write(TestDocument& document, qint64 failAfter = -1)
    {
        document.GetModel()->SetModified(true);
        auto* task = new CWriteIndexTask(601, 2, &document);
        task->SetWriteFailureAfter(failAfter);
        ThreadID id = task->GetID();
        task->Start();
        EXPECT_TRUE(RunUntil([id] { return LThread::FromID(id) == nullptr; }, 20000));
        return !document.GetModel()->IsModified();
    }
    int CountReports(SInt32 code) const
    {
        return int(std::count_if(reports.begin(), reports.end(), [code](const SErrorReport& r) {
            return r.listID == 500 && r.messageIndex == code - kMessageNumberBase;
        }));
    }

    // Two saved indexes ("<stem>-<round>-0" mine, "-1" another) of the same
    // photographs, in folders whose names have one length; with `olderFolders`
    // the folders are older than the saves and the clock margin is none.
    struct TwoIndexes {
        TestOwnerView views[2];
        std::unique_ptr<TestDocument> documents[2];
    };
    void SaveTwoIndexes(const QString& stem, int round, const QStringList& names, bool olderFolders, TwoIndexes& two)
    {
        const QDir samples(TestDataPath(QStringLiteral("exif-samples/jpg")));
        const QString photos = TestTempDir() + QStringLiteral("/%1-%2").arg(stem).arg(round);
        for (int i = 0; i < 2; ++i) {
            const QString folder = photos + (i == 0 ? "/mine" : "/some");
            QDir().mkpath(folder);
            for (const QString& name : names) {
                ASSERT_TRUE(QFile::copy(samples.filePath(name), folder + "/" + name));
                two.views[i].model.InsertItem(new CIndexItem(QUrl::fromLocalFile(folder + "/" + name)), kInsertAtEnd);
            }
        }
        if (olderFolders)
            QThread::msleep(20); // the dates of one local volume are exact
        for (int i = 0; i < 2; ++i) {
            two.documents[i] = std::make_unique<TestDocument>(Folder(QStringLiteral("%1-%2-%3").arg(stem).arg(round).arg(i)), &two.views[i]);
            if (olderFolders)
                two.documents[i]->package->GetFolderChecks().SetClockMargin(0);
            ASSERT_TRUE(Write(*two.documents[i]));
        }
    }

    std::vector<SErrorReport> reports;
};

} // namespace

// --- The password header --------------------------------------------------------------------------------

TEST(PasswordHeader, BothMarkersAndTheScrambleAreByteForByte)
{
    const QByteArray keychain = MakePasswordHeader("abc", true);
    EXPECT_EQ(keychain, QByteArray("\0\0\0\0qmzt47wk2c\0" "5" "\x03" "hic", 20));
    const QByteArray package = MakePasswordHeader("abc", false);
    EXPECT_EQ(package, QByteArray("\0\0\0\0vexu9b\0" "31846" "\x03" "hic", 20));

    PasswordHeader read;
    EXPECT_EQ(ReadPasswordHeader(package + "records", read), 20);
    EXPECT_TRUE(read.present);
    EXPECT_FALSE(read.keychain);
    EXPECT_EQ(read.password, QByteArray("abc"));
    EXPECT_EQ(ReadPasswordHeader(QByteArray(16, 'x') + "more", read), 0) << "no marker: records start at 0";
    EXPECT_FALSE(read.present);
    EXPECT_THROW(ReadPasswordHeader(keychain.left(18), read), ExceptionCode) << "a password cut short";
    EXPECT_EQ(ReadPasswordHeader(MakePasswordHeader(QByteArray(), true), read), 17) << "an empty password";
}

// --- Reading --------------------------------------------------------------------------------------------------

TEST_F(IndexPackageTasks, RecordsBecomeItemsInTheirOrderWithAHeaderUnderEachMarker)
{
    for (bool keychain : {false, true}) {
        SCOPED_TRACE(keychain);
        TestDocument document(Folder(keychain ? "keychain" : "package"), &owner_);
        WriteBytes(document.IndexDbPath(), MakePasswordHeader("s3cret", keychain) + ThreeRecords());
        document.expectedCount = 3;
        Read(document);
        ASSERT_EQ(owner_.Items().size(), 3u);
        EXPECT_EQ(owner_.Items()[0]->GetName(), QStringLiteral("Beach.jpg"));
        EXPECT_EQ(owner_.Items()[2]->GetName(), QStringLiteral("Harbour.jpg"));
        EXPECT_EQ(owner_.Items()[1]->GetTotalSize(), 2000u);
        EXPECT_EQ(owner_.model.GetPassword(), QByteArray("s3cret"));
        EXPECT_EQ(owner_.model.GetKeepPasswordInKeychain(), keychain);
        EXPECT_EQ(document.windowShown, 1);
        EXPECT_EQ(owner_.finishedReading, 1);
        EXPECT_EQ(owner_.model.GetViewState(), 3);
        EXPECT_EQ(owner_.model.CountRunningTasks(), 0);
        EXPECT_FALSE(owner_.model.IsBusy());
        EXPECT_FALSE(owner_.model.IsIndexDbDamaged());
        EXPECT_TRUE(reports.empty());
        owner_.DeleteItems();
        owner_.model.SetPassword({});
        owner_.finishedReading = 0;
    }
}

TEST_F(IndexPackageTasks, ASaveCutOffBeforeSettingsXmlNeverHandsOutANumberAgain)
{
    const QString folder = Folder("numbers");
    {
        TestDocument document(folder, &owner_);
        WriteBytes(document.IndexDbPath(), RemoteRecord("Beach.jpg", 1000, 7) + RemoteRecord("Dunes.jpg", 2000, 3));
        Read(document);
        EXPECT_EQ(document.package->GetLastThumbID(), 8);
        // index.db is renamed into place, settings.xml never is: it still says 1.
        document.failSettings = true;
        EXPECT_FALSE(Write(document));
        EXPECT_EQ(reports.size(), 1u);
    }
    owner_.DeleteItems();
    // Nor is the file of a number no record names written over.
    WriteBytes(folder + "/thumbs/8.pct", "a thumbnail left by an older save");

    TestDocument reopened(folder, &owner_, true);
    EXPECT_EQ(reopened.package->GetLastThumbID(), 1);
    Read(reopened);
    ASSERT_EQ(owner_.Items().size(), 2u);
    EXPECT_EQ(owner_.Items()[0]->GetThumbnailNumber(), 7);
    EXPECT_EQ(reopened.package->NextThumbID(), 9);
    EXPECT_EQ(ReadWholeFile(folder + "/thumbs/8.pct"), QByteArray("a thumbnail left by an older save"));
}

TEST_F(IndexPackageTasks, AnIndexDbThatIsNoRegularFileIsDamageAndNeverWaitedOn)
{
    struct Case {
        const char* what;
        std::function<bool(const QString&)> make;
    };
    const Case cases[] = {
        { "a pipe", [](const QString& path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; } },
        { "a link to /dev/zero", [](const QString& path) { return QFile::link("/dev/zero", path); } },
        { "a folder", [](const QString& path) { return QDir().mkdir(path); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestDocument document(Folder("special"), &owner_);
        ASSERT_TRUE(c.make(document.IndexDbPath()));
        QElapsedTimer clock;
        clock.start();
        Read(document);
        EXPECT_LT(clock.elapsed(), 10000);
        EXPECT_TRUE(owner_.Items().empty());
        EXPECT_TRUE(owner_.model.IsIndexDbDamaged()) << "never saved over";
        EXPECT_EQ(CountReports(kMsgReadIndexPackage), 1);
        reports.clear();
        owner_.model.SetIndexDbDamaged(false);
    }
}

TEST_F(IndexPackageTasks, AMissingIndexDbOpensAnEmptyIndexWithoutAReport)
{
    TestDocument document(Folder("new"), &owner_);
    Read(document);
    EXPECT_TRUE(owner_.Items().empty());
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(document.windowShown, 1);
    EXPECT_EQ(document.discarded, 0);
    EXPECT_FALSE(owner_.model.IsIndexDbDamaged());
}

TEST_F(IndexPackageTasks, ARefusedPasswordClosesTheDocumentWithANote)
{
    TestDocument document(Folder("locked"), &owner_);
    WriteBytes(document.IndexDbPath(), MakePasswordHeader("pw", true) + ThreeRecords());
    document.passwordAccepted = false;
    Read(document);
    EXPECT_EQ(document.discarded, 1);
    EXPECT_EQ(document.windowShown, 0) << "the window is not shown";
    ASSERT_EQ(CountReports(kMsgIndexPassword), 1);
    EXPECT_EQ(reports.front().alertType, kNoteAlert);
}

// A large index is read a piece at a time while its records become items: every
// record is an item in the file's order, whichever piece it starts or ends in,
// and an unchanged save writes the same bytes (each item knows its record's place).
// A save reads the old file a piece at a time too: the last item moved to the
// front takes its record from the file's last piece.
TEST_F(IndexPackageTasks, ALargeIndexOpensWholeInItsOrderAndSavesBackUnchanged)
{
    TestDocument document(Folder("large"), &owner_);
    const QByteArray header = MakePasswordHeader("s3cret", false);
    QByteArray file = header;
    constexpr int kRecords = 40000; // some megabytes
    // Each with an image record of its own, read back from the file when asked for.
    const auto record = [](int i) {
        MediaImageInfo info;
        info.width = SInt16(i % 30000);
        info.height = SInt16(1 + i / 30000);
        const QByteArray remote = RemoteRecord("Photo_" + QByteArray::number(i) + ".jpg", unsigned(i), unsigned(i % 500));
        return remote.chopped(1) + RecordBytes().CountedBE(12, info.ToBytes()).Tag(2).Data();
    };
    for (int i = 0; i < kRecords; ++i)
        file += record(i);
    const QByteArray last = record(kRecords - 1);
    ASSERT_GT(file.size(), 6 << 20);
    WriteBytes(document.IndexDbPath(), file);
    document.expectedCount = kRecords;
    Read(document);
    ASSERT_EQ(owner_.Items().size(), size_t(kRecords));
    for (int i = 0; i < kRecords; ++i) {
        if (owner_.Items()[size_t(i)]->GetName() != QStringLiteral("Photo_%1.jpg").arg(i)
            || owner_.Items()[size_t(i)]->GetTotalSize() != UInt32(i)) {
            ADD_FAILURE() << "item " << i << " is " << owner_.Items()[size_t(i)]->GetName().toStdString();
            break;
        }
    }
    EXPECT_EQ(owner_.model.GetPassword(), QByteArray("s3cret"));
    EXPECT_FALSE(owner_.model.IsIndexDbDamaged());
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(document.windowShown, 1);

    ASSERT_TRUE(Write(document));
    EXPECT_TRUE(ReadWholeFile(document.IndexDbPath()) == file) << "an unchanged index saves its own bytes";

    owner_.model.InsertItem(owner_.model.TakeItemAt(kRecords), 1);
    EXPECT_FALSE(Write(document, 5 << 20)) << "the disk fills once several megabytes are written";
    EXPECT_TRUE(ReadWholeFile(document.IndexDbPath()) == file);
    ASSERT_TRUE(Write(document));
    EXPECT_TRUE(ReadWholeFile(document.IndexDbPath()) == header + last + file.mid(header.size(), file.size() - header.size() - last.size()))
        << "the last record first, then the others as they were";
    // Each item reads its image record from where the save put it.
    for (int i = 0; i < kRecords; i += 997) {
        const MediaImageInfo* info = owner_.Items()[size_t((i + 1) % kRecords)]->GetImageInfo();
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(std::pair(info->width, info->height), std::pair(SInt16(i % 30000), SInt16(1 + i / 30000))) << i;
    }
}

// Records become items on the worker pool a run at a time: across the runs the
// items keep the file's order (their sequence numbers too, which break ties in
// sorts), a record whose caption is damaged keeps its place without it, and the
// value index filled while reading is the one a rebuild makes from the items.
TEST_F(IndexPackageTasks, ItemsMadeInRunsKeepTheFileOrderAndTheValueIndexOfARebuild)
{
    TestDocument document(Folder("runs"), &owner_);
    constexpr int kRecords = 9000; // several runs
    constexpr int kBroken = 4116; // a record whose caption does not parse, past the first runs
    LDataStream stream;
    const char* const places[] = {"beach", "harbour", "forest"};
    for (int i = 0; i < kRecords; ++i) {
        IndexDbRecord record;
        record.name = "IMG_" + QByteArray::number(i) + (i % 5 == 0 ? ".eps" : ".jpg");
        record.fileURL = "file:///photos/roll%20" + QByteArray::number(i % 7) + "/" + *record.name;
        record.fields = CatalogueFields {i % 5 == 0 ? OSType('EPSF') : OSType('JPEG'), UInt32(i), 3000000000u, 0, 0, i + 1, 0};
        CANPAInfo caption;
        caption.AddKeywordCF(QString::fromLatin1(places[i % 3]));
        caption.AddKeywordCF(QStringLiteral("roll %1").arg(i % 7));
        caption.SetUrgency(i % 9);
        if (i % 4 == 0)
            caption.SetDateCreated(3000000000u + UInt32(i % 3) * 86400u);
        record.caption = i == kBroken ? QByteArray("\x1C\x02\x19\x7F\xFF", 5) : caption.GetDataHandle();
        WriteIndexDbRecord(stream, record);
    }
    WriteBytes(document.IndexDbPath(), stream.Data());
    owner_.model.RebuildValueIndex();
    Read(document);

    const std::vector<CIndexItem*> items = owner_.Items();
    ASSERT_EQ(items.size(), size_t(kRecords));
    for (size_t i = 0; i < items.size(); ++i) {
        const int record = int(i);
        if (items[i]->GetName() != QStringLiteral("IMG_%1.%2").arg(record).arg(record % 5 == 0 ? "eps" : "jpg")
            || (items[i]->GetError() != nullptr) != (record == kBroken)
            || (i > 0 && items[i]->GetSequenceNumber() <= items[i - 1]->GetSequenceNumber())) {
            ADD_FAILURE() << "item " << i << " is " << items[i]->GetName().toStdString();
            break;
        }
    }
    EXPECT_EQ(CountReports(kMsgIndexDbDamaged), 1);

    using Snapshot = std::map<SInt32, std::map<QString, std::vector<CIndexItem*>>>;
    const auto snapshot = [this] {
        Snapshot values;
        for (SInt32 key : owner_.model.GetValueIndexKeys())
            for (auto set = owner_.model.GetValueSets(key)->begin(); set != owner_.model.GetValueSets(key)->end(); ++set)
                values[key][set.key()] = set->Items();
        return values;
    };
    const Snapshot read = snapshot();
    EXPECT_EQ(read.at(kFieldKeywords).at(QStringLiteral("harbour")).size(), size_t(kRecords / 3));
    owner_.model.RebuildValueIndex();
    EXPECT_TRUE(read == snapshot()) << "the values entered while reading are those of a rebuild";
}

TEST_F(IndexPackageTasks, ADamagedFileKeepsEveryIntactRecordAndIsNeverSavedOver)
{
    TestDocument document(Folder("damaged"), &owner_);
    // The second record's name count runs past its end tag; the records around it are whole.
    QByteArray broken = RemoteRecord("Dunes.jpg", 2000);
    broken[4] = char(0x7F);
    const QByteArray original = RemoteRecord("Beach.jpg", 1000) + broken + RemoteRecord("Harbour.jpg", 3000)
        + RemoteRecord("Cliffs.jpg", 4000).left(20);
    WriteBytes(document.IndexDbPath(), original);
    Read(document);
    QStringList names;
    for (CIndexItem* item : owner_.Items())
        names << item->GetName();
    EXPECT_EQ(names, (QStringList {"Beach.jpg", "Harbour.jpg"}));
    EXPECT_TRUE(owner_.model.IsIndexDbDamaged());
    EXPECT_EQ(CountReports(kMsgIndexDbDamaged), 1) << "one report for all the damage";
    EXPECT_EQ(document.discarded, 0);

    reports.clear();
    EXPECT_TRUE(Write(document));
    EXPECT_EQ(ReadWholeFile(document.IndexDbPath()), original) << "the damaged file is kept as it was";
    const QString recovered = QFileInfo(document.IndexDbPath()).dir().filePath("index.db.recovered");
    EXPECT_EQ(ReadWholeFile(recovered), RemoteRecord("Beach.jpg", 1000) + RemoteRecord("Harbour.jpg", 3000));
    EXPECT_EQ(CountReports(kMsgIndexDbSavedBeside), 1);
    EXPECT_FALSE(owner_.PendingFileDeleted()) << "files the kept file still names stay";
}

// A damaged part of a record costs that part only: the item keeps its name and
// its file, says which part it lost, and the save keeps them. A damaged end tag
// costs its own record, not the intact one after it.
TEST_F(IndexPackageTasks, ADamagedRecordPartDropsThatPartAndKeepsTheItem)
{
    const struct {
        const char* name;
        QByteArray part; // in the middle record, after its catalogue fields
        char endTag;
        QStringList items;
        const char* dropped; // what the middle item's error names
    } cases[] = {
        {"a caption block that does not parse",
            RecordBytes().CountedBE(kTagCaption, QByteArray("\x1C\x02\x78\x00\x40" "abc", 8)), kTagEndOfRecord,
            {"Beach.jpg", "Dunes.jpg", "Harbour.jpg"}, "caption"},
        {"user data that does not parse", RecordBytes().CountedBE(kTagUserData, RecordBytes().U32BE(32).Bytes("ABCD")),
            kTagEndOfRecord, {"Beach.jpg", "Dunes.jpg", "Harbour.jpg"}, "user data"},
        {"an image record of the wrong length", RecordBytes().Tag(kTagImageRecord).U32BE(140).Zeros(140),
            kTagEndOfRecord, {"Beach.jpg", "Dunes.jpg", "Harbour.jpg"}, "image record"},
        {"a damaged end tag", QByteArray(), '\x03', {"Beach.jpg", "Harbour.jpg"}, nullptr},
    };
    const QString photos = TestTempDir() + QStringLiteral("/damaged-parts");
    QDir(photos).removeRecursively();
    QDir().mkpath(photos);
    const auto record = [&](const QString& name, const QByteArray& part, char endTag) {
        EXPECT_TRUE(QFile::exists(photos + "/" + name)
            || QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), photos + "/" + name));
        return RecordBytes()
            .CountedBE(kTagName, name.toUtf8())
            .CountedBE(kTagFileURL, QUrl::fromLocalFile(photos + "/" + name).toEncoded())
            .Tag(kTagCatalogue).U32BE('JPEG').U32BE(1000).U32BE(3000000000u).U32BE(3100000000u).U32BE(3200000000u)
            .U32BE(0).U32BE(0)
            .Bytes(part)
            .Tag(UInt8(endTag))
            .Data();
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestOwnerView view;
        TestDocument document(Folder(QStringLiteral("damaged-part-%1").arg(++round)), &view);
        WriteBytes(document.IndexDbPath(),
            record("Beach.jpg", {}, kTagEndOfRecord) + record("Dunes.jpg", c.part, c.endTag)
                + record("Harbour.jpg", {}, kTagEndOfRecord));
        Read(document);
        QStringList names;
        for (CIndexItem* item : view.Items()) {
            names << item->GetName();
            EXPECT_EQ(item->GetURL(), QUrl::fromLocalFile(photos + "/" + item->GetName()));
            const bool damaged = c.dropped && item->GetName() == "Dunes.jpg";
            ASSERT_EQ(item->GetError() != nullptr, damaged) << item->GetName().toStdString();
            if (damaged)
                EXPECT_NE(item->GetError()->GetReason().find(c.dropped), std::string::npos)
                    << item->GetError()->GetReason();
        }
        EXPECT_EQ(names, c.items);

        ASSERT_TRUE(Write(document));
        const QString saved = QFileInfo(document.IndexDbPath()).dir().filePath("index.db.recovered");
        QStringList savedNames;
        for (const IndexDbRecord& r : Records(saved)) {
            savedNames << QString::fromUtf8(r.name.value_or(QByteArray()));
            ASSERT_TRUE(r.fileURL);
            EXPECT_EQ(QUrl::fromEncoded(*r.fileURL).toLocalFile(), photos + "/" + savedNames.back());
        }
        EXPECT_EQ(savedNames, c.items);
        if (!c.part.isEmpty())
            EXPECT_FALSE(ReadWholeFile(saved).contains(c.part)) << "the damaged part is not written back";
        view.DeleteItems();
    }
}

// --- Writing ----------------------------------------------------------------------------------------------------

TEST_F(IndexPackageTasks, AWrittenIndexIsTheRecordsByteForByteWithAndWithoutAPassword)
{
    const QByteArray records = ThreeRecords();
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        TestDocument document(Folder(QStringLiteral("bytes%1").arg(variant)), &owner_);
        WriteBytes(document.IndexDbPath(), records);
        Read(document);
        ASSERT_EQ(owner_.Items().size(), 3u);
        owner_.model.SetPassword(variant == 0 ? QByteArray() : QByteArray("Zebra 42"));
        owner_.model.SetKeepPasswordInKeychain(variant == 2);
        owner_.model.SetModified(true);
        document.pending = kSaveActionClose;
        EXPECT_TRUE(Write(document));
        const QByteArray header = variant == 0 ? QByteArray() : MakePasswordHeader("Zebra 42", variant == 2);
        EXPECT_EQ(ReadWholeFile(document.IndexDbPath()), header + records);
        EXPECT_FALSE(owner_.model.IsModified());
        EXPECT_EQ(document.settingsWritten, 1);
        EXPECT_TRUE(owner_.PendingFileDeleted());
        EXPECT_EQ(document.actionsRun, std::vector<SInt32> {kSaveActionClose});
        EXPECT_TRUE(QFileInfo(QFileInfo(document.IndexDbPath()).dir().filePath("index.db alias")).isSymLink());
        owner_.DeleteItems();
        owner_.model.ForgetStoredRecords();
        owner_.QueuePendingFile();
    }
}

TEST_F(IndexPackageTasks, SavingWritesEveryItemAndTheFilterShownStays)
{
    const QByteArray records = ThreeRecords();
    TestDocument document(Folder(QStringLiteral("filtered")), &owner_);
    WriteBytes(document.IndexDbPath(), records);
    Read(document);
    ASSERT_EQ(owner_.Items().size(), 3u);
    // The user narrowed the window to one item before saving.
    CIndexItem* dunes = owner_.model.ItemAt(2);
    ASSERT_TRUE(owner_.model.ShowItemsAsFilter({ dunes }, true));
    owner_.model.SelectIndex(1);
    EXPECT_TRUE(Write(document));
    EXPECT_EQ(ReadWholeFile(document.IndexDbPath()), records) << "every item, in its order";
    EXPECT_TRUE(owner_.model.IsFiltered());
    EXPECT_EQ(owner_.model.CountItems(), 1);
    EXPECT_EQ(owner_.model.SelectedItems(), std::vector<CIndexItem*> { dunes });
    EXPECT_FALSE(owner_.model.IsItemListLocked());
}

TEST_F(IndexPackageTasks, AnEmptyIndexWritesAnEmptyFileSoRemovedItemsStayRemoved)
{
    TestDocument document(Folder("emptied"), &owner_);
    WriteBytes(document.IndexDbPath(), ThreeRecords());
    EXPECT_TRUE(Write(document));
    EXPECT_TRUE(QFile::exists(document.IndexDbPath()));
    EXPECT_EQ(QFileInfo(document.IndexDbPath()).size(), 0);
    owner_.model.SetPassword("p");
    EXPECT_TRUE(Write(document));
    EXPECT_EQ(ReadWholeFile(document.IndexDbPath()), MakePasswordHeader("p", false)) << "the header alone";
}

TEST_F(IndexPackageTasks, AnItemThatCannotWriteKeepsItsRecordAndIsReportedOnce)
{
    TestDocument document(Folder("failing"), &owner_);
    const QByteArray records = ThreeRecords();
    WriteBytes(document.IndexDbPath(), records);
    Read(document);
    ASSERT_EQ(owner_.Items().size(), 3u);
    // Two items that can no longer make a record (an item needs a name), and one new
    // item that never had one.
    owner_.Items()[0]->SetName(QString());
    owner_.Items()[2]->SetName(QString());
    auto fresh = new CIndexItem(QUrl("http://example.org/new.jpg"));
    fresh->SetName(QString());
    owner_.model.InsertItem(fresh, kInsertAtEnd);
    EXPECT_TRUE(Write(document));
    EXPECT_EQ(ReadWholeFile(document.IndexDbPath()), records) << "the failing items keep their last records";
    EXPECT_EQ(CountReports(kMsgIndexWriteNote), 1);
    ASSERT_NE(owner_.Items()[0]->GetError(), nullptr);
    EXPECT_EQ(owner_.Items()[0]->GetError()->GetCode(), err_NilPointer);
    EXPECT_EQ(owner_.Items()[0]->GetError()->GetMessage(), QStringLiteral("Saving Index"));
    ASSERT_NE(fresh->GetError(), nullptr);
    EXPECT_EQ(fresh->GetError()->GetMessage(), QStringLiteral("Saving Index"));
    const CItemError* other = owner_.Items()[1]->GetError();
    EXPECT_TRUE(!other || other->GetMessage() != QStringLiteral("Saving Index")) << "the item that wrote has no save error";
}

TEST_F(IndexPackageTasks, AWriteThatFailsPartWayLeavesTheOldFileAndTheDocumentModified)
{
    TestDocument document(Folder("interrupted"), &owner_);
    const QByteArray old = ThreeRecords();
    WriteBytes(document.IndexDbPath(), old);
    Read(document);
    owner_.model.InsertItem(new CIndexItem(QUrl("http://example.org/added.jpg")), kInsertAtEnd);
    owner_.model.SetModified(true);
    document.pending = kSaveActionQuit;
    EXPECT_FALSE(Write(document, 40));
    EXPECT_EQ(ReadWholeFile(document.IndexDbPath()), old);
    EXPECT_EQ(QDir(QFileInfo(document.IndexDbPath()).path()).entryList({"index.db*"}, QDir::Files),
        QStringList {"index.db"}) << "no temporary file is left";
    EXPECT_TRUE(owner_.model.IsModified());
    EXPECT_TRUE(document.actionsRun.empty()) << "quitting after a failed save is called off";
    EXPECT_EQ(document.settingsWritten, 0);
    EXPECT_FALSE(owner_.PendingFileDeleted());
    EXPECT_EQ(reports.size(), 1u);
    // The items still know their records in the old file.
    IndexStoredRecord stored;
    EXPECT_TRUE(owner_.model.GetStoredRecord(owner_.Items()[1], stored));
    EXPECT_EQ(stored.offset, RemoteRecord("Beach.jpg", 1000).size());
}

TEST_F(IndexPackageTasks, AFullDiskLeavesTheOldIndexWholeAndReportsIt)
{
    TestDocument document(Folder("fulldisk"), &owner_);
    const QByteArray old = ThreeRecords();
    WriteBytes(document.IndexDbPath(), old);
    const QString path = document.IndexDbPath();
    // More than the kernel's and Qt's buffers, so that both a write and the flush meet the limit.
    const QByteArray bigger(1024 * 1024, 'x');
    for (FullDisk kind : kFullDisks) {
        SCOPED_TRACE(FullDiskName(kind));
        const auto result = RunOnFullDisk(kind, QFileInfo(path).path(), old.size() + 4096,
            [&] { return qint32(ReplaceFileContents(path, bigger)); });
        ASSERT_TRUE(result);
        EXPECT_EQ(*result, -34);
        EXPECT_EQ(ReadWholeFile(path), old);
        EXPECT_EQ(QDir(QFileInfo(path).path()).entryList({ "index.db*" }, QDir::Files | QDir::Hidden),
            QStringList { "index.db" });
    }
}

TEST_F(IndexPackageTasks, AWriterKilledMidWayLeavesTheOldFileWholeAndReadable)
{
    TestDocument document(Folder("killed"), &owner_);
    const QByteArray old = ThreeRecords();
    WriteBytes(document.IndexDbPath(), old);
    const QByteArray huge(256 * 1024 * 1024, 'x');
    const QString path = document.IndexDbPath();
    const QString folder = QFileInfo(path).path();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ReplaceFileContents(path, huge);
        _exit(0);
    }
    // Killed once it has written a good part of the new file.
    auto writtenByChild = [child] {
        QFile io(QStringLiteral("/proc/%1/io").arg(child));
        if (!io.open(QIODevice::ReadOnly))
            return qint64(0);
        for (const QByteArray& line : io.readAll().split('\n'))
            if (line.startsWith("wchar:"))
                return line.mid(6).trimmed().toLongLong();
        return qint64(0);
    };
    bool sawWriting = false;
    for (int i = 0; i < 20000 && !sawWriting; ++i) {
        sawWriting = writtenByChild() > 16 * 1024 * 1024;
        if (!sawWriting)
            usleep(100);
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(sawWriting);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer was killed before it finished";
    EXPECT_EQ(ReadWholeFile(path), old);
    EXPECT_EQ(QDir(folder).entryList({"index.db*"}, QDir::Files), QStringList {"index.db"});
    Read(document);
    EXPECT_EQ(owner_.Items().size(), 3u);
    EXPECT_FALSE(owner_.model.IsIndexDbDamaged());
}

TEST_F(IndexPackageTasks, PhotographsRoundTripFieldByField)
{
    // The camera photographs of the test data, copied so that nothing touches them.
    const QString photos = TestTempDir() + QStringLiteral("/roundtrip-photos");
    QDir(photos).removeRecursively();
    QDir().mkpath(photos);
    TestDocument document(Folder("photos"), &owner_);
    const QDir samples(TestDataPath(QStringLiteral("exif-samples/jpg")));
    for (const QString& name : samples.entryList({"*.jpg"}, QDir::Files, QDir::Name)) {
        ASSERT_TRUE(QFile::copy(samples.filePath(name), photos + "/" + name));
        owner_.model.InsertItem(new CIndexItem(QUrl::fromLocalFile(photos + "/" + name)), kInsertAtEnd);
    }
    ASSERT_GE(owner_.Items().size(), 5u);
    EXPECT_TRUE(Write(document));

    TestOwnerView reader;
    TestDocument again(Folder("photos-copy"), &reader);
    WriteBytes(again.IndexDbPath(), ReadWholeFile(document.IndexDbPath()));
    auto* task = new CReadIndexPackageTask(601, 1, &again);
    ThreadID id = task->GetID();
    task->Start();
    ASSERT_TRUE(RunUntil([id] { return LThread::FromID(id) == nullptr; }));
    ASSERT_EQ(reader.Items().size(), owner_.Items().size());
    for (size_t i = 0; i < reader.Items().size(); ++i) {
        CIndexItem* a = owner_.Items()[i];
        CIndexItem* b = reader.Items()[i];
        SCOPED_TRACE(a->GetName().toStdString());
        EXPECT_EQ(b->GetName(), a->GetName());
        EXPECT_EQ(b->GetURL(), a->GetURL());
        EXPECT_EQ(b->GetFileTypeCode(), a->GetFileTypeCode());
        EXPECT_EQ(b->GetTotalSize(), a->GetTotalSize());
        EXPECT_EQ(b->GetDateAdded(), a->GetDateAdded());
        EXPECT_EQ(b->GetCreationDate(), a->GetCreationDate());
        EXPECT_EQ(b->GetModificationDate(), a->GetModificationDate());
        EXPECT_EQ(b->GetFlags(), a->GetFlags());
        EXPECT_EQ(b->GetThumbnailNumber(), a->GetThumbnailNumber());
        EXPECT_EQ(b->GetCaptionInfo() != nullptr, a->GetCaptionInfo() != nullptr);
        if (a->GetCaptionInfo() && b->GetCaptionInfo())
            EXPECT_EQ(b->GetCaptionInfo()->GetKeywords().GetCount(), a->GetCaptionInfo()->GetKeywords().GetCount());
    }
    reader.DeleteItems();
}

// Opened again, a saved index's first save looks only at the folders that changed
// since the save that wrote it (whose start the file's date keeps), and still
// finds what changed there: a file gone before the index was opened again.
TEST_F(IndexPackageTasks, TheFirstSaveAfterOpeningLooksOnlyWhereFilesChangedSince)
{
    const QString photos = TestTempDir() + QStringLiteral("/first-save-after-opening");
    const QStringList names = PhotosInTwoFolders(photos, 3);
    ASSERT_EQ(names.size(), 3);
    TestDocument document(Folder("reopened"), &owner_);
    // The folders changed a moment before the save, as after an import: a local
    // volume's exact dates still tell them unchanged since.
    QThread::msleep(50);
    ASSERT_TRUE(Write(document));
    const std::vector<IndexDbRecord> before = Records(document.IndexDbPath());
    ASSERT_EQ(before.size(), 6u);
    QThread::msleep(50);
    ASSERT_TRUE(QFile::remove(photos + "/touched/" + names[1]));

    // What the index's file vouches for when it is opened again.
    FolderChecks checks;
    RegularFile written;
    ASSERT_EQ(written.Open(document.IndexDbPath()), noErr);
    checks.BeginRound(written.Identity());
    EXPECT_TRUE(checks.IsUnchanged(*before[0].fileURL)) << "a folder untouched since the save";
    EXPECT_FALSE(checks.IsUnchanged(*before[3].fileURL)) << "a folder whose file went after the save";

    TestOwnerView reader;
    TestDocument again(Folder("reopened"), &reader, true);
    Read(again);
    ASSERT_EQ(reader.Items().size(), 6u);
    ASSERT_TRUE(Write(again));
    const std::vector<IndexDbRecord> after = Records(again.IndexDbPath());
    ASSERT_EQ(after.size(), 6u);
    for (size_t i = 0; i < after.size(); ++i) {
        SCOPED_TRACE(i);
        if (i == 4)
            EXPECT_FALSE(after[i].fileURL) << "the file that went is no longer named";
        else
            EXPECT_EQ(after[i], before[i]);
    }
    reader.DeleteItems();
}

// A later save keeps the records of unchanged items byte for byte, and still finds
// what changed: an item edited, a file gone from a folder the save looks at again.
TEST_F(IndexPackageTasks, ALaterSaveRewritesOnlyWhatChanged)
{
    const QString photos = TestTempDir() + QStringLiteral("/later-save");
    const QString folders[] = {photos + "/kept", photos + "/touched"};
    const QStringList names = PhotosInTwoFolders(photos, 4);
    ASSERT_EQ(names.size(), 4);
    TestDocument document(Folder("later"), &owner_);
    // The dates of one local volume are exact.
    document.package->GetFolderChecks().SetClockMargin(0);
    auto records = [&] { return Records(document.IndexDbPath()); };
    ASSERT_TRUE(Write(document));
    const QByteArray first = ReadWholeFile(document.IndexDbPath());
    ASSERT_TRUE(Write(document));
    ASSERT_TRUE(Write(document));
    EXPECT_EQ(ReadWholeFile(document.IndexDbPath()), first) << "saves of an unchanged index";

    const std::vector<IndexDbRecord> before = records();
    ASSERT_EQ(before.size(), 8u);
    ASSERT_TRUE(before[5].fileURL);
    ASSERT_TRUE(QFile::remove(folders[1] + "/" + names[1]));
    owner_.Items()[2]->SetName(QStringLiteral("Renamed.jpg"));
    ASSERT_TRUE(Write(document));
    const std::vector<IndexDbRecord> after = records();
    ASSERT_EQ(after.size(), 8u);
    for (size_t i = 0; i < after.size(); ++i) {
        SCOPED_TRACE(i);
        if (i == 2)
            EXPECT_EQ(after[i].name, QByteArray("Renamed.jpg"));
        else if (i == 5)
            EXPECT_FALSE(after[i].fileURL) << "the file that went is no longer named";
        else
            EXPECT_EQ(after[i], before[i]);
    }

    // The last item removed, then the first moved to the end: the records that
    // stay are the same bytes, in the index's new order. The gone file's number,
    // which the file system gives to the next file made (index.db), never makes
    // that file the item's.
    const QByteArray whole = ReadWholeFile(document.IndexDbPath());
    std::vector<QByteArray> bytes;
    for (const IndexDbRecord& record : after) {
        LDataStream one;
        WriteIndexDbRecord(one, record);
        bytes.push_back(one.Data());
    }
    ASSERT_EQ(whole, std::accumulate(bytes.begin(), bytes.end(), QByteArray()));
    RemoveIndexItem(owner_.model, 8, false, true);
    ASSERT_TRUE(Write(document));
    EXPECT_EQ(ReadWholeFile(document.IndexDbPath()), whole.left(whole.size() - bytes[7].size()));
    CIndexItem* moved = owner_.model.TakeItemAt(1);
    owner_.model.InsertItem(moved, kInsertAtEnd);
    ASSERT_TRUE(Write(document));
    EXPECT_EQ(ReadWholeFile(document.IndexDbPath()),
        std::accumulate(bytes.begin() + 1, bytes.begin() + 7, QByteArray()) + bytes[0]);
}

// index.db put back behind the open index (a sync tool, a restored backup, a copy
// of the package): a save takes no record from a file it did not read or write,
// even one of the same size whose records have the same lengths.
TEST_F(IndexPackageTasks, ASaveReusesRecordsOnlyFromTheFileItReadOrWrote)
{
    enum class PutBack { Copy, InPlace, InPlaceWithItsDate, CopyWithItsDate };
    const struct {
        const char* name;
        PutBack how;
        bool reopened; // the records come from the file read, else from the file written
    } cases[] = {
        {"a copy in its place", PutBack::Copy, false},
        {"written over in place", PutBack::InPlace, false},
        {"written over in place, its date put back", PutBack::InPlaceWithItsDate, false},
        {"a copy dated as the file it replaces", PutBack::CopyWithItsDate, false},
        {"a copy in place of the file read", PutBack::Copy, true},
        {"the file read written over in place, its date put back", PutBack::InPlaceWithItsDate, true},
    };
    const QDir samples(TestDataPath(QStringLiteral("exif-samples/jpg")));
    const QStringList names = samples.entryList({"*.jpg"}, QDir::Files, QDir::Name).mid(0, 4);
    ASSERT_EQ(names.size(), 4);
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TwoIndexes two;
        ASSERT_NO_FATAL_FAILURE(SaveTwoIndexes(QStringLiteral("put-back"), ++round, names, true, two));
        auto& views = two.views;
        auto& documents = two.documents;
        const QString mine = documents[0]->IndexDbPath();
        const QString other = documents[1]->IndexDbPath();
        ASSERT_EQ(QFileInfo(mine).size(), QFileInfo(other).size());
        TestOwnerView reader;
        std::unique_ptr<TestDocument> reopened;
        TestOwnerView* view = &views[0];
        TestDocument* document = documents[0].get();
        if (c.reopened) {
            reopened = std::make_unique<TestDocument>(Folder(QStringLiteral("put-back-%1-0").arg(round)), &reader, true);
            reopened->package->GetFolderChecks().SetClockMargin(0);
            Read(*reopened);
            ASSERT_EQ(reader.Items().size(), 4u);
            view = &reader;
            document = reopened.get();
        }

        struct stat before {};
        ASSERT_EQ(::stat(QFile::encodeName(mine).constData(), &before), 0);
        if (c.how == PutBack::InPlace) {
            WriteBytes(mine, ReadWholeFile(other));
        } else if (c.how == PutBack::InPlaceWithItsDate) {
            // As a sync tool copying in place with the times kept: inode and size stay.
            const QByteArray bytes = ReadWholeFile(other);
            const int fd = ::open(QFile::encodeName(mine).constData(), O_WRONLY | O_CLOEXEC);
            ASSERT_GE(fd, 0);
            EXPECT_EQ(::pwrite(fd, bytes.constData(), size_t(bytes.size()), 0), ssize_t(bytes.size()));
            const timespec times[2] = {before.st_atim, before.st_mtim};
            EXPECT_EQ(::futimens(fd, times), 0);
            ::close(fd);
        } else {
            // Copied beside it and renamed over it, as a sync tool does.
            ASSERT_TRUE(QFile::copy(other, mine + ".sync"));
            ASSERT_EQ(::rename(QFile::encodeName(mine + ".sync").constData(), QFile::encodeName(mine).constData()), 0);
        }
        if (c.how == PutBack::CopyWithItsDate) {
            const timespec times[2] = {{0, UTIME_OMIT}, before.st_mtim};
            ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(mine).constData(), times, 0), 0);
        }
        view->Items()[1]->SetName(QStringLiteral("Renamed.jpg"));
        ASSERT_TRUE(Write(*document));

        const std::vector<IndexDbRecord> saved = Records(mine);
        ASSERT_EQ(saved.size(), 4u);
        for (size_t i = 0; i < saved.size(); ++i) {
            SCOPED_TRACE(i);
            ASSERT_TRUE(saved[i].fileURL);
            EXPECT_TRUE(saved[i].fileURL->contains("/mine/")) << saved[i].fileURL->constData();
        }
        EXPECT_EQ(*saved[1].name, QByteArray("Renamed.jpg"));
        for (TestOwnerView& v : views)
            v.DeleteItems();
        reader.DeleteItems();
    }
}

// The record of a photograph renamed, then edited or carried along with a copy of
// the package, goes on naming the file where it is, through every later save and
// another file appearing beside it.
TEST_F(IndexPackageTasks, AnItemKeepsItsFileThroughRenamesEditsAndCopiesOfThePackage)
{
    enum Step { Save, Rename, Append, EditorRewrite, CopyPackage, CopyPackageKeepingAll };
    const struct {
        const char* name;
        std::vector<Step> steps; // Save: the index opened afresh and saved
    } cases[] = {
        {"renamed", {Rename, Save}},
        {"renamed, then appended to", {Rename, Save, Append, Save}},
        {"renamed, then rewritten by an editor", {Rename, Save, EditorRewrite, Save}},
        {"renamed, the package copied with cp -r, appended to", {Rename, Save, CopyPackage, Save, Append, Save}},
        {"renamed, the package copied with cp -a, appended to",
            {Rename, Save, CopyPackageKeepingAll, Save, Append, Save}},
        // The copy's index.db is dated when copied, after the rename it never saw.
        {"renamed and the package copied with cp -r, appended to", {Rename, CopyPackage, Save, Append, Save}},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = TestTempDir() + QStringLiteral("/kept-link-%1").arg(++round);
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        const QString first = folder + "/a.jpg";
        const QString renamed = folder + "/a2.jpg";
        ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), first));
        QString package = Folder(QStringLiteral("kept-link-%1").arg(round));
        {
            TestOwnerView view;
            view.model.InsertItem(new CIndexItem(QUrl::fromLocalFile(first)), kInsertAtEnd);
            TestDocument document(package, &view);
            document.package->GetFolderChecks().SetClockMargin(0);
            ASSERT_TRUE(Write(document));
            view.DeleteItems();
        }
        const auto openAndSave = [&] {
            TestOwnerView view;
            TestDocument document(package, &view, true);
            document.package->GetFolderChecks().SetClockMargin(0);
            Read(document);
            EXPECT_EQ(view.Items().size(), 1u);
            EXPECT_TRUE(Write(document));
            view.DeleteItems();
        };
        const auto append = [](const QString& path, const QByteArray& bytes) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::Append));
            ASSERT_EQ(file.write(bytes), bytes.size());
        };
        for (Step step : c.steps) {
            QThread::msleep(20); // the dates of one volume are exact: each step comes after the last
            switch (step) {
            case Save:
                openAndSave();
                break;
            case Rename:
                ASSERT_TRUE(QFile::rename(first, renamed));
                break;
            case Append:
                append(renamed, "saved again");
                break;
            case EditorRewrite: {
                const QString temporary = renamed + ".new";
                ASSERT_TRUE(QFile::copy(renamed, temporary));
                append(temporary, "edited");
                ASSERT_EQ(::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(renamed).constData()), 0);
                break;
            }
            case CopyPackage:
            case CopyPackageKeepingAll: {
                const QString copy = Folder(QStringLiteral("kept-link-%1-copy").arg(round));
                QDir(copy).removeRecursively();
                ASSERT_EQ(QProcess::execute("cp", {step == CopyPackage ? "-r" : "-a", package, copy}), 0);
                package = copy;
                break;
            }
            }
        }
        QThread::msleep(20);
        ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Nikon_D70.jpg")), folder + "/b.jpg"));
        openAndSave();

        const std::vector<IndexDbRecord> saved = Records(package + "/index.db");
        ASSERT_EQ(saved.size(), 1u);
        const IndexDbRecord& record = saved[0];
        EXPECT_EQ(record.fileURL ? QUrl::fromEncoded(*record.fileURL).toLocalFile().toStdString() : "(none)",
            renamed.toStdString());
        AliasRecord alias;
        EXPECT_EQ(record.alias ? AliasRecord::FromBytes(*record.alias, alias) : paramErr, noErr);
        EXPECT_EQ(alias.Path().toStdString(), renamed.toStdString()) << "the alias leads to where the file was found";
    }
}

// The items of an open index read their EXIF, image record and alias back from
// index.db: a program that writes over the file in place, or cuts it short, must
// leave them their own (the lease's break reads the file in first), and so must
// a save after it; where no lease can be had (the file open for writing
// elsewhere) the items keep their blocks as read.
TEST_F(IndexPackageTasks, ItemsKeepTheirOwnBlocksWhenIndexDbIsWrittenOverInPlace)
{
    enum class Change { CopyOver, Truncate, HeldForWriting };
    const struct {
        const char* name;
        Change how;
    } cases[] = {
        {"another index copied over it", Change::CopyOver},
        {"cut short", Change::Truncate},
        {"open for writing elsewhere before it was opened", Change::HeldForWriting},
    };
    const QDir samples(TestDataPath(QStringLiteral("exif-samples/jpg")));
    const QStringList names = samples.entryList({"*.jpg"}, QDir::Files, QDir::Name).mid(0, 4);
    ASSERT_EQ(names.size(), 4);
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TwoIndexes two;
        ASSERT_NO_FATAL_FAILURE(SaveTwoIndexes(QStringLiteral("in-place"), ++round, names, false, two));
        auto& views = two.views;
        auto& documents = two.documents;
        const QString mine = documents[0]->IndexDbPath();
        const QString other = documents[1]->IndexDbPath();
        const QByteArray written = ReadWholeFile(mine);
        const std::vector<IndexDbRecord> records = Records(mine);
        ASSERT_EQ(records.size(), 4u);
        ASSERT_TRUE(records[2].userData && records[2].alias && records[2].imageRecord);

        QProcess holder;
        if (c.how == Change::HeldForWriting) {
            holder.start("sh", {"-c", "exec 3>>\"$0\"; echo open; exec sleep 60", mine});
            ASSERT_TRUE(holder.waitForReadyRead(5000));
        }
        TestOwnerView reader;
        TestDocument reopened(Folder(QStringLiteral("in-place-%1-0").arg(round)), &reader, true);
        Read(reopened);
        ASSERT_EQ(reader.Items().size(), 4u);
        // One item is looked at before the change, the others after it.
        ASSERT_NE(reader.Items()[0]->GetUserData(), nullptr);

        switch (c.how) {
        case Change::CopyOver:
            ASSERT_EQ(QProcess::execute("cp", {other, mine}), 0);
            ASSERT_EQ(ReadWholeFile(mine), ReadWholeFile(other));
            break;
        case Change::Truncate:
            ASSERT_EQ(QProcess::execute("sh", {"-c", ": >\"$0\"", mine}), 0);
            ASSERT_EQ(QFileInfo(mine).size(), 0);
            break;
        case Change::HeldForWriting:
            WriteBytes(mine, ReadWholeFile(other));
            break;
        }

        for (size_t i = 1; i < 4; ++i) {
            SCOPED_TRACE(i);
            CIndexItem* item = reader.Items()[i];
            UserData* userData = item->GetUserData();
            ASSERT_NE(userData, nullptr);
            EXPECT_EQ(userData->ToHandle(), *records[i].userData);
            EXPECT_TRUE(item->GetAliasPath().contains("/mine/")) << item->GetAliasPath().toStdString();
        }
        // Not reusing what is now in index.db's place, the save writes every record
        // from the items: exactly what they were read from.
        ASSERT_TRUE(Write(reopened));
        EXPECT_EQ(ReadWholeFile(mine), written);
        // And the file now read back from is the one saved.
        reader.Items()[3]->SetName(QStringLiteral("Renamed.jpg"));
        ASSERT_TRUE(Write(reopened));
        const std::vector<IndexDbRecord> again = Records(mine);
        ASSERT_EQ(again.size(), 4u);
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(again[i].userData, records[i].userData) << i;
        EXPECT_EQ(again[3].alias, records[3].alias);

        if (holder.state() != QProcess::NotRunning) {
            holder.kill();
            holder.waitForFinished();
        }
        for (TestOwnerView& v : views)
            v.DeleteItems();
        reader.DeleteItems();
    }
}
