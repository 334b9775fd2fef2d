#include "FrameworkTestSupport.h"

#include "LDialogBox.h"
#include "LMenuBar.h"
#include "LWindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

namespace {

// The demo's commanders: the application at the top, the window, and the custom
// view as the target. Each obeys its own commands and says so.
struct Top : LCommander {
    Top()
        : LCommander(static_cast<LCommander*>(nullptr))
    {
        LCommander::SetTopCommander(this);
    }
    bool ObeyCommand(CommandT command, void* param) override
    {
        heard.push_back(command);
        if (command == 1015 || command == cmd_Quit)
            return true;
        if (command == 1001) {
            // The demo's dialog: run until a button answers.
            StDialogHandler handler(1001, this);
            if (onDialog)
                onDialog(handler.GetDialog());
            dialogAnswer = handler.ModalLoop();
            return true;
        }
        return LCommander::ObeyCommand(command, param);
    }
    void FindCommandStatus(CommandT command, Boolean& enabled, Boolean& usesMark, UInt16& mark, Str255& name) override
    {
        if (command == 1015 || command == cmd_Quit || command == cmd_New || command == 1001) {
            enabled = command != cmd_New;
            return;
        }
        LCommander::FindCommandStatus(command, enabled, usesMark, mark, name);
    }
    std::vector<CommandT> heard;
    std::function<void(LDialogBox*)> onDialog;
    MessageT dialogAnswer = msg_Nothing;
};

struct Target : LView, LCommander {
    Target(const SPaneInfo& info, LCommander* super)
        : LView(info)
        , LCommander(super)
    {
        setFocusPolicy(Qt::StrongFocus);
    }
    bool ObeyCommand(CommandT command, void* param) override
    {
        heard.push_back(command);
        if (command == 1019) {
            grid = !grid;
            return true;
        }
        return LCommander::ObeyCommand(command, param);
    }
    void FindCommandStatus(CommandT command, Boolean& enabled, Boolean& usesMark, UInt16& mark, Str255& name) override
    {
        if (command == 1019) {
            enabled = gridEnabled;
            usesMark = true;
            mark = grid ? checkMark : noMark;
            name = MakePString(grid ? QStringLiteral("Hide Grid") : QStringLiteral("Show Grid"));
            return;
        }
        LCommander::FindCommandStatus(command, enabled, usesMark, mark, name);
    }
    std::vector<CommandT> heard;
    bool grid = false;
    bool gridEnabled = true;
};

struct MenuFixture : ::testing::Test {
    Top* top = nullptr;
    LMenuBar* bar = nullptr;
    LWindow* window = nullptr;
    Target* target = nullptr;

    void SetUp() override
    {
        SetUpFrameworkFixture();
        top = new Top;
        bar = new LMenuBar(128);
        window = LWindow::CreateWindow(1000, top);
        window->Show();
        SPaneInfo info;
        info.paneID = 'targ';
        info.width = 50;
        info.height = 30;
        info.superView = dynamic_cast<LView*>(window->FindPaneByID(30));
        target = new Target(info, window);
        LCommander::SwitchTarget(target);
    }
    void TearDown() override
    {
        LCommander::SwitchTarget(nullptr);
        delete top; // and the window under it
        delete bar;
        FlushDeletes();
    }

    QAction* ActionFor(QMenuBar* qbar, const QString& menuTitle, const QString& prefix)
    {
        // Texts as read, without their mnemonics' marks.
        auto plain = [](const QAction* action) { return QString(action->text()).remove(QLatin1Char('&')); };
        for (QAction* top : qbar->actions()) {
            if (plain(top) != menuTitle)
                continue;
            QMenu* menu = top->menu();
            emit menu->aboutToShow();
            for (QAction* action : menu->actions()) {
                if (plain(action).startsWith(prefix))
                    return action;
            }
        }
        return nullptr;
    }
};

} // namespace

TEST_F(MenuFixture, MenusComeFromResourcesWithCommandsAndSubmenus)
{
    LMenu* file = bar->FetchMenu(129);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetTitle(), QStringLiteral("File"));
    EXPECT_EQ(file->CountItems(), 9);
    EXPECT_EQ(file->IndexFromCommand(4), 5);
    EXPECT_EQ(file->CommandFromIndex(3), SyntheticCommandForMenuItem(129, 3)); // no command of its own
    LMenu* recent = bar->FetchMenu(145);
    ASSERT_NE(recent, nullptr); // loaded as the submenu of item 3
    EXPECT_EQ(bar->GetBarMenus().size(), 2u);
    EXPECT_EQ(recent->CommandFromIndex(1), SyntheticCommandForMenuItem(145, 1));
    LMenu* menu = nullptr;
    SInt16 item = 0;
    ASSERT_TRUE(bar->FindMenuItem(SyntheticCommandForMenuItem(145, 1), menu, item));
    EXPECT_EQ(menu, recent);
    EXPECT_EQ(item, 1);
    EXPECT_TRUE(MenuHasItemText(file, QStringLiteral("Close All")));
    EXPECT_FALSE(MenuHasItemText(file, QStringLiteral("Nothing")));
    // Dynamic items: inserted, then found by command.
    file->InsertCommand(QStringLiteral("Run Script"), -4099, file->CountItems());
    EXPECT_EQ(file->IndexFromCommand(-4099), 10);
    file->RemoveCommand(-4099);
    EXPECT_EQ(file->IndexFromCommand(-4099), 0);
}

TEST_F(MenuFixture, ChosenItemReachesTheTargetThenItsSupercommanders)
{
    ASSERT_TRUE(bar->ChooseItem(130, 7)); // Grid: the target obeys it
    EXPECT_TRUE(target->grid);
    EXPECT_TRUE(top->heard.empty());
    ASSERT_TRUE(bar->ChooseItem(129, 6)); // Close All: up to the top
    EXPECT_EQ(target->heard.back(), 1015);
    EXPECT_EQ(top->heard, (std::vector<CommandT> { 1015 }));
    EXPECT_FALSE(bar->ChooseItem(129, 1)); // New is disabled by the top
    EXPECT_EQ(top->heard.size(), 1u);
}

TEST_F(MenuFixture, CommandStatusDecidesEnabledMarkedAndText)
{
    QMenuBar* qbar = window->GetMenuBar();
    ASSERT_NE(qbar, nullptr); // a document window shows the menu bar
    QAction* grid = ActionFor(qbar, QStringLiteral("Edit"), QStringLiteral("Show Grid"));
    ASSERT_NE(grid, nullptr);
    EXPECT_TRUE(grid->isEnabled());
    EXPECT_FALSE(grid->isChecked());
    EXPECT_EQ(grid->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
    grid->trigger();
    EXPECT_TRUE(target->grid);
    QAction* hide = ActionFor(qbar, QStringLiteral("Edit"), QStringLiteral("Hide Grid"));
    ASSERT_NE(hide, nullptr);
    EXPECT_TRUE(hide->isChecked());
    target->gridEnabled = false;
    hide = ActionFor(qbar, QStringLiteral("Edit"), QStringLiteral("Hide Grid"));
    EXPECT_FALSE(hide->isEnabled());
    QAction* fresh = ActionFor(qbar, QStringLiteral("File"), QStringLiteral("New Index"));
    ASSERT_NE(fresh, nullptr);
    EXPECT_FALSE(fresh->isEnabled());
    // The dynamic "Close All" shows only while Alt is held, in place of "Close".
    EXPECT_NE(ActionFor(qbar, QStringLiteral("File"), QStringLiteral("Close")), nullptr);
    EXPECT_EQ(ActionFor(qbar, QStringLiteral("File"), QStringLiteral("Close All")), nullptr);
    // Standard commands show the desktop's shortcuts.
    QAction* cut = ActionFor(qbar, QStringLiteral("Edit"), QStringLiteral("Cut"));
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(cut->shortcut(), QKeySequence(QKeySequence::Cut));
}

TEST_F(MenuFixture, KeyEquivalentsRespectCommandStatus)
{
    auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(target, &event);
    };
    press(Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(target->grid);
    target->gridEnabled = false;
    press(Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(target->grid); // disabled: the key did nothing
    press(Qt::Key_W, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(top->heard, (std::vector<CommandT> { 1015 }));
    // Quit has no key in its resource: the desktop's standard shortcut runs it.
    press(Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(top->heard, (std::vector<CommandT> { 1015, cmd_Quit }));
    // Not while a modal dialog is up.
    LWindow* modal = LWindow::CreateWindow(1001, top);
    modal->Show();
    ASSERT_NE(QApplication::activeModalWidget(), nullptr);
    press(Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(top->heard.size(), 2u);
    delete modal;
}

TEST(MenuMnemonics, EachTextTakesAFreeLetterWordStartsFirst)
{
    struct Case {
        QStringList texts;
        QStringList marked;
    };
    const Case cases[] = {
        { { "File", "Edit", "Index" }, { "&File", "&Edit", "&Index" } },
        // A taken first letter: the next word's, then any free letter.
        { { "Save", "Save As…", "Select All" }, { "&Save", "Save &As…", "S&elect All" } },
        { { "Open", "Open Recent", "Open Sample Index" }, { "&Open", "Open &Recent", "Open &Sample Index" } },
        // A blank line (separator) takes nothing; a "&" of the text is shown as itself.
        { { "", "Pictures & Videos", "P" }, { "", "&Pictures && Videos", "P" } },
        { { "as List", "1", "a" }, { "&as List", "&1", "a" } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(WithMnemonics(c.texts), c.marked) << c.texts.join('|').toStdString();
}

TEST_F(MenuFixture, F10OpensTheMenuBarAndAnExtraShortcutRunsItsCommand)
{
    // F11 is the grid's second key.
    LMenu* edit = bar->FetchMenu(130);
    edit->Item(edit->IndexFromCommand(1019))->extraShortcut = QKeySequence(Qt::Key_F11);
    EXPECT_EQ(bar->FindShortcutCommand(QKeySequence(Qt::Key_F11)), 1019);
    auto press = [&](QWidget* to, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(to, &event);
    };
    press(target, Qt::Key_F11);
    EXPECT_TRUE(target->grid);
    target->gridEnabled = false;
    press(target, Qt::Key_F11);
    EXPECT_TRUE(target->grid); // disabled: nothing
    QMenuBar* qbar = window->GetMenuBar();
    ASSERT_NE(qbar, nullptr);
    EXPECT_EQ(qbar->activeAction(), nullptr);
    press(target, Qt::Key_F10);
    ASSERT_NE(qbar->activeAction(), nullptr);
    EXPECT_EQ(qbar->activeAction(), qbar->actions().first());
    qbar->setActiveAction(nullptr);
}

TEST_F(MenuFixture, MenusAddedLaterReachEveryWindowsBar)
{
    auto windowMenu = std::make_unique<LMenu>(987, QStringLiteral("Window"));
    windowMenu->InsertCommand(QStringLiteral("Tasks"), 1032, 0);
    bar->InstallMenu(std::move(windowMenu));
    QMenuBar* qbar = window->GetMenuBar();
    ASSERT_EQ(qbar->actions().size(), 3);
    EXPECT_EQ(qbar->actions().last()->text(), QStringLiteral("&Window"));
    bar->RemoveMenu(987);
    EXPECT_EQ(qbar->actions().size(), 2);
}

TEST_F(MenuFixture, DemoDialogOpensFromItsKeyEquivalentAndAnswers)
{
    top->onDialog = [](LDialogBox* dialog) {
        QTimer::singleShot(10, [dialog] { dynamic_cast<LControl*>(dialog->FindPaneByID(900))->SimulateHotSpotClick(); });
    };
    QKeyEvent press(QEvent::KeyPress, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    QApplication::sendEvent(target, &press);
    EXPECT_EQ(top->dialogAnswer, msg_OK);
    EXPECT_EQ(LCommander::GetTarget(), target); // the window took the activation back, with its target
    FlushDeletes();
}
