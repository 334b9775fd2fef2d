#include "AppTestSupport.h"
#include "CMenuBarWindow.h"
#include "LMenuBar.h"
#include "ScriptRoutines.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QStandardPaths>

namespace {
struct MenuPlace {
    LMenu* menu = nullptr;
    SInt16 item = 0;
};

MenuPlace Find(LMenuBar* bar, CommandT command)
{
    MenuPlace place;
    bar->FindMenuItem(command, place.menu, place.item);
    return place;
}

bool IsEnabled(LMenuBar* bar, CommandT command)
{
    MenuPlace place = Find(bar, command);
    EXPECT_NE(place.menu, nullptr) << "no menu item for command " << command;
    if (!place.menu)
        return false;
    bar->UpdateMenu(place.menu);
    return place.menu->Item(place.item)->enabled;
}

// Points the desktop's Pictures and Videos folders at folders that exist and Music
// at one that does not.
void WriteUserDirs()
{
    QString home = TestTempDir() + QStringLiteral("/home");
    QDir().mkpath(home + QStringLiteral("/Pictures"));
    QDir().mkpath(home + QStringLiteral("/Videos"));
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/backgrounds"));
    QFile dirs(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/user-dirs.dirs"));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly | QIODevice::Truncate));
    dirs.write(QStringLiteral("XDG_PICTURES_DIR=\"%1/Pictures\"\nXDG_VIDEOS_DIR=\"%1/Videos\"\nXDG_MUSIC_DIR=\"%1/NoMusic\"\n")
                   .arg(home)
                   .toUtf8());
}
} // namespace

class AppMenus : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteUserDirs();
        app = std::make_unique<TestApp>();
        app->MakeMenuBar();
        app->Initialize();
        app->ClearRecentItems();
        LCommander::SwitchTarget(app.get());
        bar = app->GetMenuBar();
    }

    std::unique_ptr<TestApp> app;
    LMenuBar* bar = nullptr;
};

TEST_F(AppMenus, EveryApplicationCommandHasItsItemEnabledAsTheApplicationSays)
{
    // Always there and enabled.
    for (CommandT command : { 2, 3, 1015, 1017, 1023, 1038, 1042, 1043, 1045, 1075, 1088, 1089, 8002, 27, 1 })
        EXPECT_TRUE(IsEnabled(bar, command)) << "command " << command;

    // Enabled only with what they need: tasks, a picture library, a camera; and
    // off while what they open is not there (a sample index).
    for (CommandT command : { 1032, 1024, 1025, 1022 })
        EXPECT_FALSE(IsEnabled(bar, command)) << "command " << command;

    // The special folders: enabled when the folder exists.
    EXPECT_TRUE(IsEnabled(bar, 1084));
    EXPECT_FALSE(IsEnabled(bar, 1085));
    EXPECT_TRUE(IsEnabled(bar, 1086));
    EXPECT_TRUE(IsEnabled(bar, 1087));

    // The clipboard script has no item on this desktop.
    EXPECT_EQ(Find(bar, cmd_ShowClipboard).menu, nullptr);
}

TEST_F(AppMenus, BarHoldsFileEditViewIndexSearchWindowAndHelpWithTheTaskWindowBeforeBringAllToFront)
{
    QStringList titles;
    for (LMenu* menu : bar->GetBarMenus())
        titles << menu->GetTitle();
    EXPECT_EQ(titles, (QStringList { "File", "Edit", "View", "Index", "Search", "Window", "Help" }));

    LMenu* window = bar->FetchMenu(kWindowMenuID);
    ASSERT_NE(window, nullptr);
    SInt16 tasks = window->IndexFromCommand(cmd_ShowTaskWindow);
    ASSERT_GT(tasks, 0);
    EXPECT_EQ(window->Item(tasks)->text, QStringLiteral("Tasks"));
    EXPECT_TRUE(window->Item(SInt16(tasks + 1))->IsSeparator());
    EXPECT_EQ(window->CommandFromIndex(SInt16(tasks + 2)), CommandT(cmd_BringAllToFront));

    // Close All and Print One stand in for Close and Print while Alt is held.
    LMenu* file = bar->FetchMenu(kFileMenuID);
    EXPECT_TRUE(file->Item(file->IndexFromCommand(cmd_CloseAll))->dynamic);
    EXPECT_TRUE(file->Item(file->IndexFromCommand(cmd_PrintOne))->dynamic);
    EXPECT_FALSE(file->Item(file->IndexFromCommand(cmd_Close))->dynamic);
    EXPECT_EQ(file->Item(file->IndexFromCommand(cmd_OpenRecent))->submenuID, kRecentItemsMenuID);

    // Move to Trash answers Ctrl+Backspace.
    EXPECT_EQ(bar->FindKeyCommand(char_Backspace, cmdKey), CommandT(cmd_MoveToTrash));
}

TEST(AppHelpMenu, ListsTheDocumentsFolderWithoutExtensionsHiddenFilesOrEmptyNames)
{
    FileRef documents;
    ASSERT_EQ(FindOrCreateFolderBesideApp(QStringLiteral("Documents"), documents), noErr);
    // "Guide.html" loses a four-letter extension, "notes.txt" a three-letter one, ".gz" is too short.
    for (const char* name : { "Guide.html", "notes.txt", "archive.tar.gz", "Read Me", ".hidden", "More/Shortcuts.pdf" }) {
        QString path = documents.Path() + QLatin1Char('/') + QString::fromUtf8(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    TestApp app;
    app.MakeMenuBar();
    app.BuildHelpMenu();
    LMenu* help = app.GetMenuBar()->FetchMenu(kHelpMenuID);
    ASSERT_NE(help, nullptr);
    QStringList texts;
    for (SInt16 i = 1; i <= help->CountItems() && help->CommandFromIndex(i) != cmd_OpenHomePage; ++i)
        texts << help->Item(i)->text;
    EXPECT_EQ(texts, (QStringList { "Orvex Help", "Guide", "-", "Shortcuts", "Read Me", "archive.tar.gz", "notes", "-" }));

    // The book's item and the document items are Help commands; the others are not.
    SInt16 item = 0;
    EXPECT_TRUE(app.IsHelpMenuCommand(help->CommandFromIndex(1), item));
    EXPECT_EQ(item, 1);
    EXPECT_TRUE(app.IsHelpMenuCommand(help->CommandFromIndex(7), item));
    EXPECT_EQ(item, 7);
    EXPECT_FALSE(app.IsHelpMenuCommand(help->CommandFromIndex(8), item));
    EXPECT_FALSE(app.IsHelpMenuCommand(cmd_OpenHomePage, item));

    // A document that has gone since the menu was built is an error, not a crash.
    ASSERT_TRUE(QFile::remove(documents.Path() + QStringLiteral("/notes.txt")));
    EXPECT_THROW(app.OpenHelpItem(7), ExceptionCode);
    EXPECT_THROW(app.OpenHelpItem(3), ExceptionCode); // a separator
}

TEST_F(AppMenus, WithoutDocumentWindowsASmallWindowCarriesTheMenuBar)
{
    CMenuBarWindow window(app.get());
    window.SetNeeded(true);
    EXPECT_TRUE(window.isVisible());
    auto* menuBar = window.findChild<QMenuBar*>();
    ASSERT_NE(menuBar, nullptr);
    QStringList titles;
    for (QAction* action : menuBar->actions())
        titles << action->text();
    // Each opens with Alt and its letter.
    EXPECT_EQ(titles, (QStringList { "&File", "&Edit", "&View", "&Index", "&Search", "&Window", "&Help" }));
    window.grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/menu-bar-window.png"));
    for (QAction* action : menuBar->actions()) {
        QMenu* menu = action->menu();
        menu->popup(QPoint(0, 0));
        menu->grab().save(QStringLiteral(ORVEX_ARTEFACT_DIR "/menu-%1.png").arg(QString(action->text()).remove(QLatin1Char('&'))));
        // The File menu shows its commands, enabled as the application says.
        if (action->text() == QLatin1String("&File")) {
            QStringList enabled;
            for (QAction* item : menu->actions()) {
                if (!item->isSeparator() && item->isVisible() && item->isEnabled())
                    enabled << QString(item->text()).remove(QLatin1Char('&'));
            }
            EXPECT_TRUE(enabled.contains(QStringLiteral("New Index")));
            EXPECT_TRUE(enabled.contains(QStringLiteral("Quit")));
            EXPECT_FALSE(enabled.contains(QStringLiteral("Import from Camera")));
            EXPECT_FALSE(enabled.contains(QStringLiteral("Close All"))); // shown only with Alt
        }
        menu->hide();
    }

    window.SetNeeded(false);
    EXPECT_FALSE(window.isVisible());
}
