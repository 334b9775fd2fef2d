#include "AppTestSupport.h"
#include "CRecentItemList.h"
#include "ErrorReport.h"
#include "LMenuBar.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "TestSupport.h"

#include "CExceptionMgrPeriodical.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

FileRef MakeTestFile(const QString& relative, const QByteArray& contents)
{
    QString path = TestTempDir() + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
    return FileRef(path);
}

namespace {
QStringList Names(const CRecentItemList& list)
{
    QStringList names;
    for (const FileRef& item : list.Items())
        names << item.Name();
    return names;
}

QStringList MenuTexts(const LMenu* menu)
{
    QStringList texts;
    for (SInt16 i = 1; i <= menu->CountItems(); ++i)
        texts << menu->Item(i)->text;
    return texts;
}
} // namespace

TEST(RecentItemList, NewestFirstMovesRepeatsToTheTopAndDropsOneOldestPerAddition)
{
    CRecentItemList list;
    for (int i = 1; i <= 10; ++i)
        list.Add(MakeTestFile(QStringLiteral("cap/f%1").arg(i)), 10);
    EXPECT_EQ(list.Count(), 10);
    EXPECT_EQ(list.At(0).Name(), QStringLiteral("f10"));
    EXPECT_EQ(list.At(9).Name(), QStringLiteral("f1"));

    // Again: moved to the top, nothing lost.
    list.Add(MakeTestFile(QStringLiteral("cap/f4")), 10);
    EXPECT_EQ(list.Count(), 10);
    EXPECT_EQ(Names(list).mid(0, 3), (QStringList { "f4", "f10", "f9" }));
    EXPECT_EQ(Names(list).count(QStringLiteral("f4")), 1);

    // Full: the oldest goes.
    list.Add(MakeTestFile(QStringLiteral("cap/f11")), 10);
    EXPECT_EQ(list.Count(), 10);
    EXPECT_EQ(list.At(0).Name(), QStringLiteral("f11"));
    EXPECT_FALSE(Names(list).contains(QStringLiteral("f1")));

    // A lowered maximum shortens by one per addition, not at once.
    list.Add(MakeTestFile(QStringLiteral("cap/f12")), 5);
    EXPECT_EQ(list.Count(), 10);
    list.Add(MakeTestFile(QStringLiteral("cap/f13")), 5);
    EXPECT_EQ(list.Count(), 10);

    CRecentItemList none;
    none.Add(MakeTestFile(QStringLiteral("cap/g")), 0);
    EXPECT_TRUE(none.IsEmpty());
    // A negative maximum compares as a huge unsigned one: nothing is dropped.
    none.Add(MakeTestFile(QStringLiteral("cap/g")), -1);
    EXPECT_EQ(none.Count(), 1);
}

TEST(RecentItemList, TheSameFileByAnotherPathIsOneEntry)
{
    FileRef file = MakeTestFile(QStringLiteral("same/photo.jpg"));
    QString link = TestTempDir() + QStringLiteral("/same-link");
    ASSERT_TRUE(QFile::link(file.Parent().Path(), link));
    FileRef viaLink(link + QStringLiteral("/photo.jpg"));
    ASSERT_NE(viaLink.Path(), file.Path());

    CRecentItemList list;
    list.Add(file, 10);
    list.Add(MakeTestFile(QStringLiteral("same/other.jpg")), 10);
    list.Add(viaLink, 10);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.At(0), viaLink);
}

TEST(RecentItemList, StoredAsAliasRecordsThatFindMovedFilesAndDropMissingOnes)
{
    FileRef kept = MakeTestFile(QStringLiteral("store/kept.jpg"));
    FileRef moved = MakeTestFile(QStringLiteral("store/moved.jpg"));
    FileRef deleted = MakeTestFile(QStringLiteral("store/deleted.jpg"));
    QDir().mkpath(TestTempDir() + QStringLiteral("/store/folder.idxp"));
    FileRef package(TestTempDir() + QStringLiteral("/store/folder.idxp"));

    CRecentItemList list;
    for (const FileRef& f : { kept, moved, deleted, package })
        list.Add(f, 10);
    QVariantList stored = list.Save();
    ASSERT_EQ(stored.size(), 4);
    for (const QVariant& v : stored) {
        ASSERT_EQ(v.typeId(), QMetaType::QByteArray);
        EXPECT_TRUE(v.toByteArray().startsWith("OXal"));
    }

    ASSERT_TRUE(QFile::rename(moved.Path(), TestTempDir() + QStringLiteral("/store/renamed.jpg")));
    ASSERT_TRUE(QFile::remove(deleted.Path()));
    stored.insert(1, QStringLiteral("not an alias"));
    stored.append(QByteArray("garbage"));

    CRecentItemList read;
    read.Load(stored);
    EXPECT_EQ(Names(read), (QStringList { "folder.idxp", "renamed.jpg", "kept.jpg" }));
}

class RecentItemsApp : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPrefValue(QStringLiteral("RecentItems"), QVariant());
        SetPrefNumber(QStringLiteral("RecentItemsMaxCount"), 20);
        InstallErrorManager();
        ClearPendingError(GetErrorNotifier());
    }
    void TearDown() override { ClearPendingError(GetErrorNotifier()); }
};

TEST_F(RecentItemsApp, SurviveQuittingAndAReloadOfThePreferences)
{
    {
        TestApp app;
        app.AddRecentItem(MakeTestFile(QStringLiteral("reload/a.jpg")));
        app.AddRecentItem(MakeTestFile(QStringLiteral("reload/b.jpg")));
        app.AddRecentURL(QUrl::fromLocalFile(MakeTestFile(QStringLiteral("reload/c.jpg")).Path()));
        app.AddRecentURL(QUrl(QStringLiteral("https://example.org/d.jpg"))); // no file: ignored
        EXPECT_EQ(app.GetRecentItemCount(), 3);
    }
    ASSERT_TRUE(SynchronizePrefs());
    PreferenceDomain::Application().Reload();
    ASSERT_EQ(CopyPrefValue(QStringLiteral("RecentItems")).toList().size(), 3);

    TestApp again;
    EXPECT_EQ(Names(again.GetRecentItems()), (QStringList { "c.jpg", "b.jpg", "a.jpg" }));
    EXPECT_EQ(again.CopyRecentItemURL(1), QUrl::fromLocalFile(TestTempDir() + QStringLiteral("/reload/b.jpg")));
    EXPECT_TRUE(again.CopyRecentItemURL(3).isEmpty());
}

TEST_F(RecentItemsApp, MenuShowsNewestFirstAboveASeparatorAndItsClearItem)
{
    TestApp app;
    app.MakeMenuBar();
    LMenu* menu = app.GetMenuBar()->FetchMenu(kRecentItemsMenuID);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(MenuTexts(menu), (QStringList { "Clear Menu" }));
    Boolean enabled = true, usesMark = false;
    UInt16 mark = 0;
    Str255 name;
    app.ProcessCommandStatus(menu->CommandFromIndex(1), enabled, usesMark, mark, name);
    EXPECT_FALSE(enabled);

    app.AddRecentItem(MakeTestFile(QStringLiteral("menu/one.jpg")));
    app.AddRecentItem(MakeTestFile(QStringLiteral("menu/two.idxp/index.db")).Parent());
    EXPECT_EQ(MenuTexts(menu), (QStringList { "two.idxp", "one.jpg", "-", "Clear Menu" }));
    EXPECT_EQ(menu->Item(1)->keyChar, QLatin1Char('0'));
    EXPECT_TRUE(menu->Item(2)->keyChar.isNull());
    // Ctrl+0 opens the newest.
    EXPECT_EQ(app.GetMenuBar()->FindKeyCommand('0', cmdKey), menu->CommandFromIndex(1));
    app.ProcessCommandStatus(menu->CommandFromIndex(2), enabled, usesMark, mark, name);
    EXPECT_TRUE(enabled);

    // Item 2 opens the second newest; the last item clears.
    app.ProcessCommand(menu->CommandFromIndex(2));
    EXPECT_EQ(app.calls, (QStringList { "open one.jpg" }));
    app.ProcessCommand(menu->CommandFromIndex(4));
    EXPECT_EQ(app.GetRecentItemCount(), 0);
    EXPECT_EQ(MenuTexts(menu), (QStringList { "Clear Menu" }));
}

TEST_F(RecentItemsApp, ChoosingAnEntryThatFailsDropsThatEntryAndReportsIt)
{
    TestApp app;
    app.MakeMenuBar();
    FileRef gone = MakeTestFile(QStringLiteral("fail/gone.jpg"));
    app.AddRecentItem(MakeTestFile(QStringLiteral("fail/old.jpg")));
    app.AddRecentItem(gone);
    app.AddRecentItem(MakeTestFile(QStringLiteral("fail/new.jpg")));
    ASSERT_TRUE(QFile::remove(gone.Path()));

    app.OpenRecentItem(1);
    EXPECT_TRUE(app.calls.isEmpty());
    // The newest stays: the entry that failed is the one that goes.
    EXPECT_EQ(Names(app.GetRecentItems()), (QStringList { "new.jpg", "old.jpg" }));
    EXPECT_TRUE(IsErrorPending(GetErrorNotifier()));
}
