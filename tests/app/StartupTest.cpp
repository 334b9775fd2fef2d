#include "AppTestSupport.h"
#include "ProgramRunSupport.h"
#include "ErrorCodes.h"
#include "LDocument.h"
#include "Preferences.h"
#include "ThreadUtilities.h"
#include "CVisualTask.h"
#include "LWindow.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMenu>

namespace {
QStringList StartupSteps(const std::function<void(TestApp&)>& run)
{
    QStringList steps;
    COrvexApp::SetStartupObserver([&](const char* step) { steps << QString::fromLatin1(step); });
    {
        TestApp app;
        run(app);
    }
    COrvexApp::SetStartupObserver(nullptr);
    return steps;
}

QStringList StartUpWith(SInt32 action, const std::function<void(TestApp&)>& prepare = {})
{
    SetPrefNumber(QStringLiteral("StartupAction"), action);
    TestApp app;
    app.ClearRecentItems();
    if (prepare)
        prepare(app);
    app.StartUp();
    return app.calls;
}
} // namespace

TEST(Startup, ServicesComeUpInOrderAndRecentItemsAreSavedOnTheWayOut)
{
    QStringList steps = StartupSteps([](TestApp& app) {
        app.MakeMenuBar();
        app.Initialize();
    });
    EXPECT_EQ(steps,
        (QStringList { "CheckSystemVersion", "RegisterClasses", "InitContextualMenuSupport", "CreateSoundPlayer", "RegisterCameraNotifications", "CheckPictureLibrary", "SeedRandom", "MainThread",
            "InstallEventHandler", "InstallThreadYieldTimer", "SwitchHelpTags", "StartErrorPeriodical", "LoadRecentItems", "MakeMenuBar",
            "Initialize", "BuildHelpMenu", "SetUpMenuBar", "LoadFolderAliases", "InstallScrollWheel", "InitializeTasks", "ShowTaskWindow", "SaveTaskWindowVisible", "SaveRecentItems" }));
}

TEST(Startup, TooOldASystemIsRefusedWithItsMessage)
{
    EXPECT_NO_THROW(COrvexApp::CheckSystemVersion(0x1020));
    try {
        COrvexApp::CheckSystemVersion(0x101F);
        FAIL() << "0x101F was accepted";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), kMsgSystemTooOld);
    }
}

TEST(Startup, EachStartupActionOpensWhatItSays)
{
    EXPECT_EQ(StartUpWith(1), (QStringList { "choose" }));
    EXPECT_EQ(StartUpWith(2), (QStringList { "new" }));
    EXPECT_EQ(StartUpWith(3), (QStringList { "new" })); // no recent item: a new index
    EXPECT_EQ(StartUpWith(4), QStringList());
    EXPECT_EQ(StartUpWith(0), (QStringList { "new" }));
    EXPECT_EQ(StartUpWith(7), (QStringList { "new" }));
}

// Media files and folders opened since are recent items too, but the start-up
// action opens an index: the newest one that still opens.
TEST(Startup, MostRecentIndexOpensPastNewerMediaFilesAndIndexesThatAreGone)
{
    FileRef older = MakeTestFile(QStringLiteral("startup/Older.idxp/index.db")).Parent();
    FileRef gone = MakeTestFile(QStringLiteral("startup/Gone.idxp/index.db")).Parent();
    FileRef folder = MakeTestFile(QStringLiteral("startup/Photos/a.jpg")).Parent();
    FileRef movie = MakeTestFile(QStringLiteral("startup/c.avi"));
    SetPrefNumber(QStringLiteral("StartupAction"), 3);
    TestApp app;
    app.ClearRecentItems();
    app.AddRecentItem(older);
    app.AddRecentItem(gone);
    app.AddRecentItem(folder);
    app.AddRecentItem(movie);
    ASSERT_TRUE(QDir(gone.Path()).removeRecursively());

    app.StartUp();
    EXPECT_EQ(app.calls, (QStringList { "open Older.idxp" }));
    // The index that is gone leaves the list; what is not an index stays in it.
    EXPECT_EQ(app.GetRecentItemCount(), 3);
    EXPECT_EQ(app.GetRecentItems().At(0), movie);
    EXPECT_EQ(app.GetRecentItems().At(2), older);

    // No index left that opens: a new index instead, the other entries kept.
    ASSERT_TRUE(QDir(older.Path()).removeRecursively());
    app.calls.clear();
    app.StartUp();
    EXPECT_EQ(app.calls, (QStringList { "new" }));
    EXPECT_EQ(app.GetRecentItemCount(), 2);
}

TEST(Startup, ReopeningOpensOnlyWhenNoDocumentIsOpen)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 2);
    TestApp app;
    {
        LDocument document(&app);
        app.DoReopenApp();
        EXPECT_TRUE(app.calls.isEmpty());
    }
    app.DoReopenApp();
    EXPECT_EQ(app.calls, (QStringList { "new" }));
}

TEST(Startup, OpeningOneFileSetsTheSingleDocumentFlagAndTwoClearIt)
{
    TestApp app;
    FileRef a = MakeTestFile(QStringLiteral("single/a.jpg"));
    FileRef b = MakeTestFile(QStringLiteral("single/b.jpg"));
    app.OpenOrPrintDocList({ a.Path() }, false);
    EXPECT_TRUE(app.IsSingleDocumentOpen());
    app.OpenOrPrintDocList({ a.Path(), b.Path() }, false);
    EXPECT_FALSE(app.IsSingleDocumentOpen());
    EXPECT_EQ(app.calls, (QStringList { "open a.jpg", "open a.jpg", "open b.jpg" }));
}

TEST(Startup, TasksGetNoTimeWhileAMenuIsDown)
{
    TestApp app;
    QMenu menu;
    menu.addAction(QStringLiteral("item"));
    ASSERT_TRUE(gAllowTimerYield);
    menu.popup(QPoint(0, 0));
    EXPECT_FALSE(gAllowTimerYield);
    menu.hide();
    EXPECT_TRUE(gAllowTimerYield);
}

TEST(Startup, TheTaskWindowOpensExactlyWhenItWasOpenAtTheLastQuit)
{
    SetPrefBoolean(QStringLiteral("TaskManagerWindowVisible"), false);
    {
        TestApp app;
        app.MakeMenuBar();
        app.Initialize();
        EXPECT_FALSE(IsTaskWindowVisible());
        app.ProcessCommand(cmd_ShowTaskWindow);
        EXPECT_TRUE(IsTaskWindowVisible());
    }
    EXPECT_TRUE(GetPrefBoolean(QStringLiteral("TaskManagerWindowVisible")));
    {
        TestApp app;
        app.MakeMenuBar();
        app.Initialize();
        EXPECT_TRUE(IsTaskWindowVisible());
        GetTaskWindow()->Hide();
    }
    EXPECT_FALSE(GetPrefBoolean(QStringLiteral("TaskManagerWindowVisible")));
}

// The first window of a start is made and painted before any image plugin is
// loaded: loading them all costs a start more than that window's own drawing, and
// it shows no picture they read.
TEST(Startup, TheFirstWindowIsPaintedBeforeAnyImagePluginIsLoaded)
{
    const QString report = TestTempDir() + QStringLiteral("/first-paint.txt");
    QProcessEnvironment environment = ProgramRun::Environment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ORVEX_FIRST_PAINT_PROBE));
    environment.insert(QStringLiteral("ORVEX_FIRST_PAINT_REPORT"), report);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(ORVEX_BINARY));
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().constData();
    QFile painted(report);
    ASSERT_TRUE(painted.open(QIODevice::ReadOnly));
    EXPECT_EQ(painted.readAll().toStdString(), "painted\n");
}
