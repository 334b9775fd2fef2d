// The keyboard as a user meets it in the real program: keys go where Qt's focus
// is, as a keyboard gives them, and the menus enable what the command target allows.

#include "AppRunSupport.h"
#include "AppTestSupport.h"
#include "CCriteria.h"
#include "CInPlaceEditField.h"
#include "FieldKeys.h"
#include "ItemWindows.h"
#include "LMenuBar.h"
#include "Preferences.h"
#include "StoredSettings.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTabBar>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

namespace {

// The sample index opened from a copy of the test's own, as the file manager opens it.
class KeyboardFocus : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString copy = TestTempDir() + QStringLiteral("/Sample.idxp");
        ASSERT_TRUE(CopySampleIndexTo(copy));
        // One stored search: the names with an "a" in them.
        const QVariantMap criterion { { kCriteriaCategoryKey, kFieldName }, { kCriteriaSelectorKey, kSelectorContains },
            { kCriteriaValueKey, QStringLiteral("a") } };
        StoreStoredSettings(false, { QVariantMap { { kSettingNameKey, QStringLiteral("With an a") }, { kSourceKindKey, 9000 },
                                       { kResultKindKey, 8001 }, { kCriteriaListKey, QVariantList { criterion } } } });
        CItemWindows::Install(); // as the program's entry does
        app.MakeMenuBar();
        app.Initialize();
        app.OpenDocument(FileRef(copy));
        document = OnlyIndexDocument();
        ASSERT_NE(document, nullptr);
        window = document->GetWindow();
        ASSERT_TRUE(RunUntil([&] {
            app.SpendTime(EventRecord {});
            return IsIdle(document) && window->IsVisible();
        }));
        view = IndexViewOfDocument(document);
        ASSERT_NE(view, nullptr);
        ASSERT_EQ(view->CountAllItems(), 10);
        Settle();
    }
    void TearDown() override
    {
        for (QWidget* modal = QApplication::activeModalWidget(); modal; modal = QApplication::activeModalWidget()) {
            CancelModal(modal);
            Settle();
        }
        EXPECT_TRUE(app.AttemptQuit());
        EXPECT_TRUE(RunUntil(AllTasksEnded)) << TaskTitles().toStdString();
    }

    // The program's loop turns for a while, as between two keystrokes.
    void Settle()
    {
        for (int i = 0; i < 5; ++i) {
            ProcessEventsFor(20);
            app.SpendTime(EventRecord {});
        }
        FlushDeletes();
    }
    // A key as the keyboard gives it: to the focus widget, else to the active window.
    void Type(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        if (!QApplication::focusWidget() && !QApplication::activeWindow()) {
            ADD_FAILURE() << "no window takes the keys";
            return;
        }
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key(key), modifiers);
        Settle();
    }
    // The item of a command in the index window's menu bar, as the menu shows it when opened.
    QAction* MenuItem(CommandT command)
    {
        QMenuBar* bar = window->GetMenuBar();
        if (!bar)
            return nullptr;
        std::vector<QMenu*> menus;
        for (QAction* title : bar->actions()) {
            if (title->menu())
                menus.push_back(title->menu());
        }
        while (!menus.empty()) {
            QMenu* menu = menus.back();
            menus.pop_back();
            emit menu->aboutToShow();
            for (QAction* action : menu->actions()) {
                if (action->menu())
                    menus.push_back(action->menu());
                else if (!action->isSeparator() && action->data().toInt() == command)
                    return action;
            }
        }
        return nullptr;
    }
    bool MenuEnables(CommandT command)
    {
        QAction* item = MenuItem(command);
        EXPECT_NE(item, nullptr) << "no menu item for command " << command;
        return item && item->isEnabled();
    }
    void Choose(CommandT command)
    {
        QAction* item = MenuItem(command);
        ASSERT_NE(item, nullptr) << "no menu item for command " << command;
        ASSERT_TRUE(item->isEnabled()) << "command " << command << " is off";
        item->trigger();
        Settle();
    }
    // A widget's class and object name, for the failure messages.
    static std::string Describe(const QObject* object)
    {
        if (!object)
            return "none";
        return std::string(object->metaObject()->className()) + " " + typeid(*object).name() + " "
            + object->objectName().toStdString();
    }
    SInt32 FirstSelected() const { return view->CountSelectedItems() ? view->GetFirstSelectedIndex() : 0; }

    // The grid holds the keyboard and is the target: its commands are on and a
    // key moves its selection.
    void ExpectGridTakesTheKeys(const char* after)
    {
        SCOPED_TRACE(after);
        ASSERT_EQ(OnlyIndexDocument(), document) << "the index closed";
        EXPECT_EQ(QApplication::activeWindow(), window->GetShell());
        EXPECT_EQ(QApplication::focusWidget(), view) << Describe(QApplication::focusWidget());
        EXPECT_EQ(LCommander::GetTarget(), view) << Describe(dynamic_cast<QWidget*>(LCommander::GetTarget()));
        // Index Properties, Full Screen, Export and the first of Sort By.
        for (CommandT command : { CommandT(1056), CommandT(1068), CommandT(1058), SyntheticCommandForMenuItem(146, 1) })
            EXPECT_TRUE(MenuEnables(command)) << "command " << command;
        Type(Qt::Key_Home);
        EXPECT_EQ(FirstSelected(), 1);
        Type(Qt::Key_Right);
        EXPECT_EQ(FirstSelected(), 2);
        EXPECT_EQ(view->CountSelectedItems(), 1);
    }

    IdleApp app;
    CIndexDoc* document = nullptr;
    LWindow* window = nullptr;
    CIndexView* view = nullptr;
};

} // namespace

TEST_F(KeyboardFocus, AnIndexWindowTakesTheKeysAsSoonAsItOpens)
{
    ASSERT_NO_FATAL_FAILURE(ExpectGridTakesTheKeys("opening"));
    Type(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view->CountSelectedItems(), 10);
}

TEST_F(KeyboardFocus, TheGridTakesTheKeysBackWhenADialogOrWindowOfItsOwnCloses)
{
    // A sheet, answered with Return.
    Choose(1056);
    ASSERT_NE(QApplication::activeModalWidget(), nullptr) << "no Index Properties sheet";
    Type(Qt::Key_Return);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    ASSERT_NO_FATAL_FAILURE(ExpectGridTakesTheKeys("Index Properties"));

    // The comment window, answered with its button.
    Choose(1021);
    LWindow* comment = LWindow::GetActiveWindow();
    ASSERT_TRUE(comment && comment != window);
    Type(Qt::Key_Return);
    ASSERT_NO_FATAL_FAILURE(ExpectGridTakesTheKeys("the comment window"));

    // The application's own windows: the About box closed by its close box, the
    // preferences with Escape.
    Choose(cmd_About);
    ASSERT_EQ(LWindow::GetActiveWindow(), app.GetAboutBox());
    app.GetAboutBox()->GetShell()->close();
    Settle();
    EXPECT_FALSE(app.GetAboutBox() && app.GetAboutBox()->IsVisible());
    ASSERT_NO_FATAL_FAILURE(ExpectGridTakesTheKeys("the About box"));

    Type(Qt::Key_Comma, Qt::ControlModifier);
    LWindow* preferences = LWindow::GetActiveWindow();
    ASSERT_TRUE(preferences && preferences != window);
    Type(Qt::Key_Escape);
    ASSERT_NO_FATAL_FAILURE(ExpectGridTakesTheKeys("the preferences"));

    // The info window floats; closed, it hands the keys back too.
    Type(Qt::Key_I, Qt::ControlModifier);
    LWindow* info = LWindow::GetActiveWindow();
    ASSERT_TRUE(info && info != window) << "no info window";
    Type(Qt::Key_W, Qt::ControlModifier);
    ASSERT_NO_FATAL_FAILURE(ExpectGridTakesTheKeys("the info window"));
}

TEST_F(KeyboardFocus, TheGridTakesTheKeysBackAfterARenameAndAStoredSearch)
{
    Type(Qt::Key_Home);
    CIndexItem* item = nullptr;
    QRect cell;
    ASSERT_TRUE(view->GetItemAt(1, item) && view->GetCellRect(1, cell));
    view->SimulateClick(item->GetTextLineRect(0, cell, *view).center());
    Settle();
    ASSERT_NE(view->GetRenameField(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), view->GetRenameField()->GetLineEdit());
    QTest::keyClicks(nullptr, QStringLiteral("Harbour"));
    Type(Qt::Key_Return);
    EXPECT_EQ(item->GetName(), QStringLiteral("Harbour.jpg"));
    ASSERT_NO_FATAL_FAILURE(ExpectGridTakesTheKeys("a rename"));
    Type(Qt::Key_S, Qt::ControlModifier); // saved, the program quits without asking
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && !document->IsModified(); }));

    Choose(kFirstStoredSearchCommand);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    Settle();
    EXPECT_TRUE(view->IsFiltered());
    EXPECT_TRUE(MenuEnables(kFirstStoredSearchCommand));
    Type(Qt::Key_Escape); // the search's own result stays; the keys are the grid's
    EXPECT_EQ(QApplication::focusWidget(), view);
    EXPECT_EQ(LCommander::GetTarget(), view);
    EXPECT_TRUE(MenuEnables(1056));
}

// A field keeps the keys it uses: its editing keys, select all, and Return for its
// own action; what it has no use for still reaches the index window.
TEST_F(KeyboardFocus, TextFieldsKeepTheKeysTheyUse)
{
    Type(Qt::Key_Home);
    ASSERT_EQ(view->CountSelectedItems(), 1);
    const size_t windowsBefore = LWindow::FetchWindows().size();

    // The toolbar's search field: Return runs its search and opens nothing.
    QLineEdit* search = window->GetShell()->findChild<QLineEdit*>(QStringLiteral("searchfield"));
    ASSERT_NE(search, nullptr);
    QTest::mouseClick(search, Qt::LeftButton);
    Settle();
    ASSERT_EQ(QApplication::focusWidget(), search);
    QTest::keyClicks(nullptr, QStringLiteral("Canon"));
    Type(Qt::Key_Return);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    Settle();
    EXPECT_TRUE(view->IsFiltered());
    EXPECT_EQ(LWindow::FetchWindows().size(), windowsBefore) << "Return opened a window";
    EXPECT_EQ(LWindow::GetActiveWindow(), window);
    // Back in the field, Ctrl+A selects its text, not the items: the next search replaces it.
    QTest::mouseClick(search, Qt::LeftButton);
    Settle();
    ASSERT_EQ(QApplication::focusWidget(), search);
    const SInt32 selected = view->CountSelectedItems();
    Type(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(search->selectedText(), QStringLiteral("Canon"));
    EXPECT_EQ(view->CountSelectedItems(), selected);
    QTest::keyClicks(nullptr, QStringLiteral("Nikon"));
    EXPECT_EQ(search->text(), QStringLiteral("Nikon"));
    // A key the field has no use for still runs its menu command.
    Type(Qt::Key_Escape);
    view->setFocus(Qt::MouseFocusReason);
    Type(Qt::Key_Home);

    // The info window's keyword entry: Ctrl+A and Return are the field's.
    Type(Qt::Key_I, Qt::ControlModifier);
    LWindow* info = LWindow::GetActiveWindow();
    ASSERT_TRUE(info && info != window) << "no info window";
    auto* tabs = info->FindPaneByID('SMPT')->findChild<QTabBar*>();
    ASSERT_NE(tabs, nullptr);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center()); // Keywords
    Settle();
    QLineEdit* entry = nullptr;
    for (QLineEdit* edit : info->findChildren<QLineEdit*>()) {
        auto* pane = dynamic_cast<LPane*>(edit->parentWidget());
        if (pane && pane->GetPaneID() == PaneIDT('nkey') && edit->isVisible())
            entry = edit;
    }
    ASSERT_NE(entry, nullptr);
    QTest::mouseClick(entry, Qt::LeftButton);
    Settle();
    ASSERT_EQ(QApplication::focusWidget(), entry);
    QTest::keyClicks(nullptr, QStringLiteral("harbour"));
    Type(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(entry->selectedText(), QStringLiteral("harbour"));
    EXPECT_EQ(view->CountSelectedItems(), 1);
    Type(Qt::Key_Return);
    auto* keywords = info->GetShell()->findChild<QListWidget*>();
    ASSERT_NE(keywords, nullptr);
    EXPECT_FALSE(keywords->findItems(QStringLiteral("harbour"), Qt::MatchExactly).isEmpty()) << "Return added no keyword";
    EXPECT_EQ(LWindow::GetActiveWindow(), info) << "Return left the info window";
    EXPECT_EQ(LWindow::FetchWindows().size(), windowsBefore + 1);
}

// Escape closes the windows that have nothing to cancel but themselves.
TEST_F(KeyboardFocus, EscapeClosesTheAboutBoxTheCommentAndTheInfoWindow)
{
    Type(Qt::Key_Home);
    Choose(cmd_About);
    ASSERT_EQ(LWindow::GetActiveWindow(), app.GetAboutBox());
    Type(Qt::Key_Escape);
    EXPECT_FALSE(app.GetAboutBox() && app.GetAboutBox()->IsVisible());
    EXPECT_EQ(view->CountSelectedItems(), 1) << "Escape reached the grid";

    Choose(1021);
    LWindow* comment = LWindow::GetActiveWindow();
    ASSERT_TRUE(comment && comment != window);
    Type(Qt::Key_Escape);
    EXPECT_EQ(LWindow::GetActiveWindow(), window);
    EXPECT_EQ(LWindow::FetchWindows().size(), 1u);

    Type(Qt::Key_I, Qt::ControlModifier);
    LWindow* info = LWindow::GetActiveWindow();
    ASSERT_TRUE(info && info != window) << "no info window";
    Type(Qt::Key_Escape);
    EXPECT_EQ(LWindow::GetActiveWindow(), window);
    EXPECT_EQ(LWindow::FetchWindows().size(), 1u);
    ASSERT_NO_FATAL_FAILURE(ExpectGridTakesTheKeys("Escape"));
}
