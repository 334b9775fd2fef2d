// The settings file of an index (settings.xml), written and read by the document
// of the program's own index window.

#include "CIndexDoc.h"
#include "CIndexListView.h"
#include "CIndexPackage.h"
#include "CIndexView.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "LWindow.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "IndexWindowTest.h"
#include "TestIndexWindow.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QTreeView>

#include <memory>
#include <optional>
#include <sys/stat.h>

namespace {

const QByteArray kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                           "<plist version=\"1.0\">\n";

QString FreshPackage(const QString& name)
{
    const QString dir = TestTempDir() + QLatin1String("/settings-") + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir + QLatin1String("/") + name + QLatin1String(".idxp");
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// The real index window, with reading and writing done at once.
class IndexSettingsFile : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        classes.emplace();
        UseAKnownWindow();
    }

    // An index opened from a package whose settings.xml holds `settings` (none when empty).
    CIndexDoc* OpenWith(const QString& name, const QByteArray& settings)
    {
        const QString package = FreshPackage(name);
        CIndexPackage make(QUrl::fromLocalFile(package + "/"), nullptr);
        if (!settings.isEmpty())
            WriteFile(package + "/settings.xml", settings);
        return new CIndexDoc(nullptr, QUrl::fromLocalFile(package + "/"), true, true);
    }

    void TearDown() override
    {
        classes.reset();
        IndexWindowTest::TearDown();
    }

    static QString SettingsPath(CIndexDoc* doc) { return doc->GetPackage()->GetSettingsURL().toLocalFile(); }

    std::optional<StIndexDocServices> classes;
};

} // namespace

TEST_F(IndexSettingsFile, WritesEveryKeyAsThePropertyListWriterLaysItOut)
{
    CIndexDoc* doc = OpenWith("write", {});
    ASSERT_EQ(classes->tasks.lastReadError, noErr); // no settings.xml yet: the standard settings
    doc->GetWindow()->MoveWindowTo(40, 60);
    doc->SetSourceViewWidth(200);
    doc->SetOrganizerViewWidth(-180);
    doc->GetPackage()->SetLastThumbID(12);
    IndexSettings& kept = doc->GetModel().Settings();
    kept.comment = "Holiday";
    kept.thumbnailSize = 128;
    kept.extendedSize = 96;
    kept.theme = 2;
    kept.thumbnailColumns = { 4001 };
    kept.extendedColumns = { 4001, 6001 };
    doc->GetModel().SetFlags(kViewOptionShowInfoOnOpen);
    // The list view's columns as the user left them: two, at widths of their own.
    ASSERT_TRUE(ListViewOf(doc));
    ListViewOf(doc)->ShowColumnState({ { QStringLiteral("COLUMNS"), QVariantList { qint32(4001), qint32(4004) } },
        { QStringLiteral("WIDTHS"), QVariantList { qint32(150), qint32(80) } } });
    doc->WriteSettings(false);

    QRect frame;
    doc->GetWindow()->GetGlobalBounds(frame);
    // An opened package keeps the layout's frame until its settings say otherwise.
    ASSERT_EQ(frame.width(), 1085);
    ASSERT_EQ(frame.height(), 632);
    const QByteArray expected = kHeader
        + "<dict>\n"
          "\t<key>Comment</key>\n\t<string>Holiday</string>\n"
          "\t<key>DefaultExtendedViewSize </key>\n\t<integer>96</integer>\n"
          "\t<key>DefaultIndexTheme_6</key>\n\t<integer>2</integer>\n"
          "\t<key>DefaultIndexView</key>\n\t<integer>0</integer>\n"
          "\t<key>DefaultIndexWindowHeigth</key>\n\t<integer>632</integer>\n"
          "\t<key>DefaultIndexWindowPosition</key>\n\t<array>\n"
          "\t\t<integer>"
        + QByteArray::number(frame.top()) + "</integer>\n\t\t<integer>" + QByteArray::number(frame.left())
        + "</integer>\n\t</array>\n"
          "\t<key>DefaultIndexWindowWidth</key>\n\t<integer>1085</integer>\n"
          "\t<key>DefaultOrganizerViewWidth</key>\n\t<integer>-180</integer>\n"
          "\t<key>DefaultSourceViewWidth</key>\n\t<integer>200</integer>\n"
          "\t<key>DefaultThumbnailViewSize </key>\n\t<integer>128</integer>\n"
          "\t<key>ExtendedViewColumns</key>\n\t<array>\n\t\t<integer>4001</integer>\n\t\t<integer>6001</integer>\n"
          "\t</array>\n"
          "\t<key>FirstVisibleItem</key>\n\t<integer>0</integer>\n" // an empty index shows no item
          "\t<key>IndexFullScreen</key>\n\t<false/>\n"
          "\t<key>IndexItemCount</key>\n\t<integer>0</integer>\n"
          "\t<key>IndexRemoveMediaFile</key>\n\t<false/>\n"
          "\t<key>IndexShowInfoOnOpen</key>\n\t<true/>\n"
          "\t<key>IndexShowSlideShowOnOpen</key>\n\t<false/>\n"
          "\t<key>IndexShowToolbar</key>\n\t<true/>\n"
          "\t<key>IndexSortOrder</key>\n\t<integer>2</integer>\n"
          "\t<key>IndexStoreMediaFile</key>\n\t<false/>\n"
          "\t<key>LastThumbID</key>\n\t<integer>12</integer>\n"
          "\t<key>ListViewColumns</key>\n\t<dict>\n"
          "\t\t<key>COLUMNS</key>\n\t\t<array>\n\t\t\t<integer>4001</integer>\n\t\t\t<integer>4004</integer>\n"
          "\t\t</array>\n"
          "\t\t<key>SORTCOLUMN</key>\n\t\t<integer>4001</integer>\n"
          "\t\t<key>SORTORDER</key>\n\t\t<integer>1</integer>\n"
          "\t\t<key>WIDTHS</key>\n\t\t<array>\n\t\t\t<integer>150</integer>\n\t\t\t<integer>80</integer>\n"
          "\t\t</array>\n\t</dict>\n"
          "\t<key>ThumbnailViewColumns</key>\n\t<array>\n\t\t<integer>4001</integer>\n\t</array>\n"
          "</dict>\n</plist>\n";
    EXPECT_EQ(ReadWholeFile(SettingsPath(doc)).toStdString(), expected.toStdString());
}

TEST_F(IndexSettingsFile, ForeignKeysSurviveAndAReusedWindowKeepsTheEarlierLayout)
{
    const QByteArray old = kHeader
        + "<dict>\n"
          "\t<key>DefaultIndexWindowHeigth</key>\n\t<integer>333</integer>\n"
          "\t<key>DefaultIndexWindowPosition</key>\n\t<array>\n\t\t<integer>7</integer>\n\t\t<integer>8</integer>\n\t</"
          "array>\n"
          "\t<key>DefaultIndexWindowWidth</key>\n\t<integer>444</integer>\n"
          "\t<key>FutureKey</key>\n\t<string>kept</string>\n"
          "\t<key>IndexShowToolbar</key>\n\t<false/>\n"
          "</dict>\n</plist>\n";
    CIndexDoc* doc = OpenWith("reused", old);
    // The window has moved on since; a reused window does not write its layout.
    doc->GetWindow()->ResizeFrameTo(700, 500, true);
    doc->GetWindow()->MoveWindowTo(90, 95);
    doc->ShowToolbar();
    doc->SetFlags(kDocWindowReused);
    doc->WriteSettings(true);

    QVariant written;
    ASSERT_EQ(PropertyList::ReadFile(SettingsPath(doc), written), noErr);
    const QVariantMap map = written.toMap();
    EXPECT_EQ(map.value("FutureKey").toString(), "kept");
    EXPECT_EQ(map.value("DefaultIndexWindowWidth").toLongLong(), 444);
    EXPECT_EQ(map.value("DefaultIndexWindowHeigth").toLongLong(), 333);
    EXPECT_EQ(map.value("DefaultIndexWindowPosition").toList(), (QVariantList { qint64(7), qint64(8) }));
    EXPECT_EQ(map.value("IndexShowToolbar").toBool(), false);
    // The keys written in every case are there.
    EXPECT_TRUE(map.contains("DefaultSourceViewWidth"));
    EXPECT_TRUE(map.contains("IndexItemCount"));
    EXPECT_TRUE(map.contains("ListViewColumns"));
}

TEST_F(IndexSettingsFile, ADamagedFileOpensTheIndexWithStandardSettingsAndIsKeptBeside)
{
    SetPrefBoolean("SaveViewSettingsCloseWindow", true);
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [<!ENTITY a \"ha\">";
    for (char level = 'b'; level <= 'l'; ++level) {
        const QByteArray previous = QByteArray("&") + char(level - 1) + ";";
        laughs += QByteArray("<!ENTITY ") + level + " \"" + previous.repeated(10) + "\">";
    }
    laughs += "]><plist version=\"1.0\"><dict><key>x</key><string>&l;</string></dict></plist>";
    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        { "cut short", "<?xml version=\"1.0\"?><plist><dict><key>x</key>" },
        { "entities that multiply", laughs },
        { "200,000 levels deep", kHeader + QByteArray("<array>").repeated(200000) },
        { "bad base64", kHeader + "<dict><key>IndexPrintSettings</key><data>!!*!!</data></dict></plist>" },
        { "no dictionary", kHeader + "<array/></plist>" },
        { "over 16 MB", kHeader + "<dict><key>x</key><string>" + QByteArray(17 * 1024 * 1024, 'y') + "</string></dict></plist>" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<SErrorReport> reports;
        SetErrorNotificationPoster([&](const SErrorReport& report) { reports.push_back(report); });
        CIndexDoc* doc = OpenWith("damaged", c.bytes);
        const QString path = SettingsPath(doc);
        EXPECT_EQ(classes->tasks.lastReadError, noErr);
        EXPECT_EQ(classes->tasks.lastItemCount, 0);
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].messageIndex, kMsgSettingsDamaged - 100000);
        EXPECT_EQ(ReadWholeFile(path + ".damaged"), c.bytes);
        // Closing writes a fresh file; the damaged one stays as it was.
        EXPECT_TRUE(doc->AttemptClose(true));
        QVariant written;
        EXPECT_EQ(PropertyList::ReadFile(path, written), noErr);
        EXPECT_TRUE(written.toMap().contains("LastThumbID"));
        EXPECT_EQ(ReadWholeFile(path + ".damaged"), c.bytes);
        SetErrorNotificationPoster(nullptr);
    }
    // A whole file announcing two thousand million items only sizes a progress bar.
    OpenWith("count", kHeader + "<dict><key>IndexItemCount</key><integer>2147483647</integer></dict></plist>\n");
    EXPECT_EQ(classes->tasks.lastReadError, noErr);
    EXPECT_LE(classes->tasks.lastItemCount, 1000000);
}

TEST_F(IndexSettingsFile, ASettingsFileThatIsAPipeIsSetAsideWithoutWaiting)
{
    const QString package = FreshPackage("pipe");
    CIndexPackage make(QUrl::fromLocalFile(package + "/"), nullptr);
    ASSERT_EQ(::mkfifo(QFile::encodeName(package + "/settings.xml").constData(), 0600), 0);
    CIndexDoc* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(package + "/"), true, true);
    EXPECT_EQ(classes->tasks.lastReadError, noErr);
    EXPECT_TRUE(QFileInfo::exists(package + "/settings.xml.damaged"));
    EXPECT_TRUE(doc->AttemptClose(true));
}

TEST_F(IndexSettingsFile, ThePackageOfAnotherProgramIsNeitherOpenedNorWritten)
{
    SetPrefBoolean("SaveViewSettingsCloseWindow", true);
    const QString package = FreshPackage("inuse");
    CIndexPackage make(QUrl::fromLocalFile(package + "/"), nullptr);
    const QByteArray settings = kHeader + "<dict><key>DefaultSourceViewWidth</key><integer>150</integer></dict></plist>\n";
    WriteFile(package + "/settings.xml", settings);
    // Temporary files: the other program's save in progress, and not ours to clear at all.
    const QStringList temporary { "settings.xml.Ab12Cd", ".index.db.qWeRtY", "thumbs/.12.pct.x1y2z3" };
    const QStringList others { "settings.xml.damaged", "index.db.recovered", "notes.txt", "thumbs/7.pct" };
    for (const QString& name : temporary + others)
        WriteFile(package + "/" + name, "x");
    // The other program's lock, as it holds it.
    auto other = std::make_unique<QLockFile>(package + "/" + kPackageLockName);
    ASSERT_TRUE(other->tryLock(0));
    try {
        new CIndexDoc(nullptr, QUrl::fromLocalFile(package + "/"), true, true);
        ADD_FAILURE() << "opened a package that another program has open";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), kMsgIndexInUse);
    }
    EXPECT_EQ(ReadWholeFile(package + "/settings.xml"), settings);
    EXPECT_TRUE(QFile::exists(package + "/" + temporary[0]));

    // Once that program has closed it, it opens here.
    other.reset();
    CIndexDoc* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(package + "/"), true, true);
    for (const QString& name : temporary)
        EXPECT_FALSE(QFile::exists(package + "/" + name)) << name.toStdString();
    for (const QString& name : others)
        EXPECT_TRUE(QFile::exists(package + "/" + name)) << name.toStdString();
    EXPECT_TRUE(doc->AttemptClose(true));
}

TEST_F(IndexSettingsFile, AFullDiskKeepsTheOldFileAndThrowsItsCode)
{
    const QByteArray old = kHeader + "<dict>\n\t<key>Foreign</key>\n\t<string>kept</string>\n</dict>\n</plist>\n";
    CIndexDoc* doc = OpenWith("fulldisk", old);
    doc->GetModel().Settings().comment = QString(8000, QLatin1Char('c'));
    const QString package = QFileInfo(SettingsPath(doc)).path();
    const QStringList before = QDir(package).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (FullDisk kind : kFullDisks) {
        SCOPED_TRACE(FullDiskName(kind));
        const auto result = RunOnFullDisk(kind, package, old.size() + 64, [&] {
            return qint32(CatchCode([&] { doc->WriteSettings(false); }));
        });
        ASSERT_TRUE(result);
        EXPECT_EQ(*result, -34);
        EXPECT_EQ(ReadWholeFile(SettingsPath(doc)), old);
        EXPECT_EQ(QDir(package).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    }
}

TEST_F(IndexSettingsFile, ReadingAppliesTheDocumentKeysAndReturnsTheItemCount)
{
    const QByteArray settings = kHeader
        + "<dict>\n"
          "\t<key>DefaultIndexView</key>\n\t<integer>1082</integer>\n"
          "\t<key>DefaultIndexWindowHeigth</key>\n\t<integer>480</integer>\n"
          "\t<key>DefaultIndexWindowPosition</key>\n\t<array>\n\t\t<integer>70</integer>\n\t\t<integer>50</"
          "integer>\n\t</array>\n"
          "\t<key>DefaultIndexWindowWidth</key>\n\t<integer>640</integer>\n"
          "\t<key>DefaultOrganizerViewWidth</key>\n\t<integer>190</integer>\n"
          "\t<key>DefaultSourceViewWidth</key>\n\t<integer>-150</integer>\n"
          "\t<key>IndexItemCount</key>\n\t<integer>7</integer>\n"
          "\t<key>IndexShowToolbar</key>\n\t<false/>\n"
          "\t<key>LastThumbID</key>\n\t<integer>42</integer>\n"
          "\t<key>ListViewColumns</key>\n\t<dict>\n"
          "\t\t<key>COLUMNS</key>\n\t\t<array>\n\t\t\t<integer>6020</integer>\n\t\t</array>\n\t</dict>\n"
          "</dict>\n</plist>\n";
    CIndexDoc* doc = OpenWith("read", settings);
    EXPECT_EQ(classes->tasks.lastReadError, noErr);
    EXPECT_EQ(classes->tasks.lastItemCount, 7);
    EXPECT_FALSE(doc->IsToolbarShown());
    EXPECT_FALSE(doc->IsSourceViewShown());
    EXPECT_EQ(doc->GetSourceViewWidth(), -150);
    EXPECT_EQ(doc->GetOrganizerViewWidth(), 190);
    ASSERT_TRUE(ListViewOf(doc));
    EXPECT_EQ(ListViewOf(doc)->GetControlRef()->model(), &doc->GetModel().ItemTable());
    EXPECT_FALSE(doc->GetListViewPane()->isHidden());
    EXPECT_EQ(doc->GetPackage()->GetLastThumbID(), 42);
    EXPECT_EQ(ListViewOf(doc)->CopyColumnState().value("COLUMNS").toList(), QVariantList { qint32(6020) });
    QRect frame;
    doc->GetWindow()->GetGlobalBounds(frame);
    EXPECT_EQ(frame.width(), 640);
    EXPECT_EQ(frame.height(), 480);

    // The collapsed pane comes back with the width it was written with.
    doc->ShowSourceView();
    EXPECT_EQ(doc->GetSourceViewWidth(), 150);
    // A second write gives the same file back for the document's keys.
    doc->HideSourceView();
    doc->WriteSettings(false);
    QVariant written;
    ASSERT_EQ(PropertyList::ReadFile(SettingsPath(doc), written), noErr);
    EXPECT_EQ(written.toMap().value("DefaultSourceViewWidth").toLongLong(), -150);
    EXPECT_EQ(written.toMap().value("DefaultIndexView").toLongLong(), 1082);
}

TEST_F(IndexSettingsFile, PartialWrongAndOversizedValuesLeaveTheStateAlone)
{
    const QByteArray settings = kHeader
        + "<dict>\n"
          "\t<key>DefaultIndexWindowWidth</key>\n\t<integer>640</integer>\n"
          "\t<key>DefaultSourceViewWidth</key>\n\t<string>wide</string>\n"
          "\t<key>LastThumbID</key>\n\t<integer>1099511627776</integer>\n"
          "\t<key>IndexShowToolbar</key>\n\t<integer>0</integer>\n"
          "</dict>\n</plist>\n";
    CIndexDoc* doc = OpenWith("partial", settings);
    EXPECT_EQ(classes->tasks.lastReadError, noErr);
    EXPECT_EQ(classes->tasks.lastItemCount, 0); // no "IndexItemCount"
    QRect frame;
    doc->GetWindow()->GetGlobalBounds(frame);
    EXPECT_EQ(frame.width(), 1085); // a width without a height changes nothing
    EXPECT_EQ(doc->GetSourceViewWidth(), 174);
    EXPECT_EQ(doc->GetPackage()->GetLastThumbID(), 1); // no 32-bit number
    EXPECT_TRUE(doc->IsToolbarShown());
}

TEST_F(IndexSettingsFile, AnUntitledIndexHasNoSettingsFile)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, true);
    try {
        doc->WriteSettings(false);
        FAIL() << "an untitled index wrote settings.xml";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), err_NilPointer);
    }
}

TEST_F(IndexSettingsFile, SavedAsDefaultsTheNextWindowOpensWithThem)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, true);
    doc->GetModel().Settings().thumbnailSize = 150;
    doc->SetSourceViewWidth(-210);
    doc->SetViewMode(kCmdExtendedView);
    doc->HideToolbar();
    doc->ObeyCommand(cmd_SaveSettingsAsDefaults, nullptr);
    EXPECT_EQ(GetPrefNumber("DefaultSourceViewWidth"), -210);
    EXPECT_EQ(GetPrefNumber("DefaultIndexView"), kCmdExtendedView);
    EXPECT_FALSE(GetPrefBoolean("IndexShowToolbar"));
    EXPECT_EQ(GetPrefNumber("DefaultIndexWindowWidth"), 700);
    EXPECT_EQ(GetPrefNumber("DefaultThumbnailViewSize "), 150);
    EXPECT_EQ(CopyPrefValue("ListViewColumns").toMap(), ListViewOf(doc)->CopyColumnState());

    CIndexDoc* next = new CIndexDoc(nullptr, {}, false, true);
    EXPECT_FALSE(next->IsSourceViewShown());
    EXPECT_EQ(next->GetSourceViewWidth(), -210);
    ASSERT_TRUE(IndexViewOf(next));
    EXPECT_TRUE(IndexViewOf(next)->IsExtendedView());
    EXPECT_FALSE(next->IsToolbarShown());
}

TEST_F(IndexSettingsFile, ClosingKeepsTheLayoutWhenThePreferenceSaysSo)
{
    SetPrefBoolean("SaveViewSettingsCloseWindow", true);
    CIndexDoc* doc = OpenWith("closing", {});
    const QString path = SettingsPath(doc);
    doc->SetSourceViewWidth(-199);
    QRect bounds;
    doc->GetWindow()->GetGlobalBounds(bounds);
    EXPECT_TRUE(doc->AttemptClose(true));
    QVariant written;
    ASSERT_EQ(PropertyList::ReadFile(path, written), noErr);
    EXPECT_EQ(written.toMap().value("DefaultSourceViewWidth").toLongLong(), -199);
    // The window's frame is the index's: kept on close, so it opens where it was left.
    EXPECT_EQ(written.toMap().value("DefaultIndexWindowWidth").toLongLong(), bounds.width());
    EXPECT_EQ(written.toMap().value("DefaultIndexWindowPosition").toList().value(1).toLongLong(), bounds.left());

    // An untitled index keeps its layout as the defaults instead.
    CIndexDoc* untitled = new CIndexDoc(nullptr, {}, false, true);
    untitled->SetOrganizerViewWidth(-188);
    EXPECT_TRUE(untitled->AttemptClose(true));
    EXPECT_EQ(GetPrefNumber("DefaultOrganizerViewWidth"), -188);
}
