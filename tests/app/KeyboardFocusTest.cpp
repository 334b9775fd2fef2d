// The keyboard as a user meets it in the real program: keys go where Qt's focus
// is, as a keyboard gives them, and the menus enable what the command target allows.

#include "AppRunSupport.h"
#include "AppTestSupport.h"
#include "CCriteria.h"
#include "CSearchView.h"
#include "CSearchWindow.h"
#include "CInPlaceEditField.h"
#include "CPreferencesWindow.h"
#include "FieldKeys.h"
#include "ItemWindows.h"
#include "LControl.h"
#include "LMenuBar.h"
#include "LStdControls.h"
#include "Preferences.h"
#include "StoredSettings.h"
#include "UserSteps.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include <QAbstractButton>
#include <QComboBox>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QListWidget>
#include <QTabBar>
#include <QToolButton>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>

namespace {

// Addresses the program hands to the desktop, kept instead of opened.
class OpenedAddresses : public QObject {
    Q_OBJECT
public:
    OpenedAddresses() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open"); }
    ~OpenedAddresses() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    Q_INVOKABLE void Open(const QUrl& url) { opened << url.toString(); }
    QStringList opened;
};

// A menu's items as they read, without their mnemonic marks.
QStringList ShownTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        if (!action->isSeparator() && action->isVisible())
            texts << QString(action->text()).remove(QLatin1Char('&'));
    }
    return texts;
}

// What a popup menu showed and where, read while it is up.
struct MenuSeen {
    bool shown = false;
    QStringList texts;
    QPoint where;
};

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
        // Pressed and released apart: a press that closes its window (Ctrl+W) leaves
        // the release to whichever window has the keys then, as a keyboard does.
        QTest::keyPress(static_cast<QWidget*>(nullptr), Qt::Key(key), modifiers);
        QTest::keyRelease(static_cast<QWidget*>(nullptr), Qt::Key(key), modifiers);
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

    // The contextual menu a key opens: read while it is up, then closed with Escape.
    MenuSeen MenuOpenedBy(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        MenuSeen seen;
        QTimer watch;
        watch.setInterval(20);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu || !menu->isVisible())
                return;
            watch.stop();
            seen = { true, ShownTexts(menu), menu->geometry().topLeft() };
            QTest::keyClick(menu, Qt::Key_Escape);
        });
        watch.start();
        QTimer::singleShot(5000, &watch, &QTimer::stop);
        Type(key, modifiers);
        return seen;
    }
    // The widgets Tab reaches from the grid, in order, until it is back there.
    std::vector<QWidget*> TabRound(int key = Qt::Key_Tab)
    {
        std::vector<QWidget*> reached;
        for (int i = 0; i < 40; ++i) {
            Type(key);
            QWidget* focus = QApplication::focusWidget();
            if (focus == view || !focus)
                break;
            reached.push_back(focus);
        }
        EXPECT_EQ(QApplication::focusWidget(), view) << "Tab did not come round to the grid";
        return reached;
    }
    QWidget* ControlOfPane(PaneIDT id) const { return ControlOfPaneIn(window, id); }
    static QWidget* ControlOfPaneIn(LWindow* in, PaneIDT id)
    {
        auto* pane = dynamic_cast<LControlPane*>(in->FindPaneByID(id));
        return pane ? pane->GetControlWidget() : nullptr;
    }

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
    // Get Info, which looks for the cancel keys as it opens its windows.
    Type(Qt::Key_Home);
    Type(Qt::Key_I, Qt::ControlModifier);
    ASSERT_NE(LWindow::GetActiveWindow(), window) << "no info window";
    Type(Qt::Key_W, Qt::ControlModifier);
    ASSERT_NO_FATAL_FAILURE(ExpectGridTakesTheKeys("the first info window"));

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

    // The info window floats; closed, it hands the keys back too. The Escape that
    // closed the preferences a moment before cancels nothing.
    ProcessEventsFor(1100);
    StLogCapture errors("orvex.errors");
    Type(Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(errors.Lines(), QStringList());
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

// A search made with the grid scrolled to its end shows its results at once: the
// grid comes back within its fewer rows, whether the search field's Return or a
// stored search started it.
TEST_F(KeyboardFocus, ASearchFromTheEndOfAScrolledGridShowsItsResults)
{
    const struct {
        const char* how;
        std::function<void()> search;
    } cases[] = {
        { "the search field", [&] {
             auto* field = window->GetShell()->findChild<QLineEdit*>(QStringLiteral("searchfield"));
             ASSERT_NE(field, nullptr);
             QTest::mouseClick(field, Qt::LeftButton);
             Settle();
             QTest::keyClicks(nullptr, QStringLiteral("Canon"));
             Type(Qt::Key_Return);
         } },
        { "a stored search", [&] { Choose(kFirstStoredSearchCommand); } },
    };
    // Short, so that the ten items take more rows than show.
    window->GetShell()->resize(window->GetShell()->width(), 360);
    Settle();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        if (view->IsFiltered())
            Choose(1079); // Show All
        view->setFocus(Qt::MouseFocusReason);
        Type(Qt::Key_End);
        ASSERT_GT(view->GetScrollPosition().v, 0) << "the grid does not scroll";
        c.search();
        ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
        Settle();
        ASSERT_TRUE(view->IsFiltered());
        ASSERT_LT(view->CountItems(), view->CountAllItems());
        EXPECT_LE(view->GetScrollPosition().v + view->height(), std::max(view->GetImageSize().height, view->height()))
            << "the grid shows past its last row";
    }
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

// Escape ends a quick search in the grid and in the list alike, and the search
// field no longer shows the text of a search that is over.
TEST_F(KeyboardFocus, EscapeEndsAQuickSearchInTheGridAndTheList)
{
    QLineEdit* search = window->GetShell()->findChild<QLineEdit*>(QStringLiteral("searchfield"));
    ASSERT_NE(search, nullptr);
    for (const CommandT viewMode : { CommandT(kCmdThumbnailView), CommandT(kCmdListView) }) {
        SCOPED_TRACE(viewMode);
        Choose(viewMode);
        QTest::mouseClick(search, Qt::LeftButton);
        Settle();
        search->selectAll();
        QTest::keyClicks(nullptr, QStringLiteral("Canon"));
        Type(Qt::Key_Return);
        ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
        Settle();
        ASSERT_TRUE(view->IsFiltered());
        QWidget* items = view;
        if (viewMode == kCmdListView)
            items = window->FindPaneByID('brow')->findChild<QTreeView*>();
        ASSERT_TRUE(items && items->isVisible());
        items->setFocus(Qt::TabFocusReason);
        Settle();
        Type(Qt::Key_Escape);
        EXPECT_FALSE(view->IsFiltered());
        EXPECT_EQ(view->CountItems(), 10);
        EXPECT_EQ(search->text(), QString());
    }
}

// Tab goes round every control of the index window and back to the grid; each
// shows that it has the keyboard, and the switches work from it.
TEST_F(KeyboardFocus, TabReachesEveryControlOfTheIndexWindow)
{
    Choose(1013); // both side lists
    window->GetShell()->resize(1400, 800); // wide enough for every toolbar item
    Settle();
    Type(Qt::Key_Home);
    QWidget* search = window->GetShell()->findChild<QLineEdit*>(QStringLiteral("searchfield"));
    QWidget* viewSwitch = window->GetShell()->findChild<QWidget*>(QStringLiteral("viewselector"));
    QWidget* sideSwitch = window->GetShell()->findChild<QWidget*>(QStringLiteral("browserselector"));
    QWidget* zoom = ControlOfPane(933);
    std::vector<QTreeView*> sideLists;
    for (QTreeView* tree : window->findChildren<QTreeView*>()) {
        if (tree->isVisible())
            sideLists.push_back(tree);
    }
    ASSERT_TRUE(search && viewSwitch && sideSwitch && zoom);
    ASSERT_TRUE(search->isVisible()) << "the toolbar has no room for the search field";
    ASSERT_EQ(sideLists.size(), 2u) << "both side lists show";

    const std::vector<QWidget*> forward = TabRound();
    std::vector<std::string> names;
    for (QWidget* widget : forward)
        names.push_back(Describe(widget));
    for (QWidget* control : std::initializer_list<QWidget*> { search, viewSwitch, sideSwitch, zoom, sideLists[0], sideLists[1] })
        EXPECT_NE(std::find(forward.begin(), forward.end(), control), forward.end())
            << Describe(control) << " is never reached; reached: " << ::testing::PrintToString(names);
    // Each is reached once, and Shift+Tab goes the same way back.
    EXPECT_EQ(std::set<QWidget*>(forward.begin(), forward.end()).size(), forward.size())
        << ::testing::PrintToString(names);
    std::vector<QWidget*> backward = TabRound(Qt::Key_Backtab);
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(backward, forward);

    // The grid and a side list show the keyboard's mark: they look otherwise once it leaves.
    const QImage gridWithKeys = view->grab().toImage();
    sideLists[0]->setFocus(Qt::TabFocusReason);
    Settle();
    const QImage listWithKeys = sideLists[0]->grab().toImage();
    EXPECT_NE(view->grab().toImage(), gridWithKeys) << "the grid shows no mark of the keyboard";
    view->setFocus(Qt::TabFocusReason);
    Settle();
    EXPECT_EQ(view->grab().toImage(), gridWithKeys);
    EXPECT_NE(sideLists[0]->grab().toImage(), listWithKeys) << "the side list shows no mark of the keyboard";

    // The view switch from the keyboard: its last segment is the list.
    viewSwitch->setFocus(Qt::TabFocusReason);
    Settle();
    const QImage switchWithKeys = viewSwitch->grab().toImage();
    Type(Qt::Key_Right);
    EXPECT_NE(viewSwitch->grab().toImage(), switchWithKeys) << "the switch's mark does not move";
    Type(Qt::Key_Right);
    Type(Qt::Key_Space);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    Settle();
    LPane* list = window->FindPaneByID('brow');
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible()) << "Space on the switch's last segment shows no list";
    EXPECT_FALSE(view->isVisible());
}

// Tab goes the way the windows read, left to right and top to bottom, whatever
// order their parts were made in; in the Search window each field of a row
// shows when it has the keyboard.
TEST_F(KeyboardFocus, TabGoesTheWayTheWindowsRead)
{
    window->GetShell()->resize(1400, 800); // every toolbar item shows
    Settle();
    QWidget* shell = window->GetShell();
    auto* organizer = dynamic_cast<LPane*>(window->FindPaneByID(921))->findChild<QTreeView*>();
    auto* files = dynamic_cast<LPane*>(window->FindPaneByID(928))->findChild<QTreeView*>();
    ASSERT_TRUE(organizer && files && organizer->isVisible() && files->isVisible());
    // The bar's controls left to right, wherever its configuration puts them.
    std::vector<QWidget*> bar { shell->findChild<QWidget*>(QStringLiteral("browserselector")),
        shell->findChild<QWidget*>(QStringLiteral("viewselector")), shell->findChild<QLineEdit*>(QStringLiteral("searchfield")) };
    ASSERT_EQ(std::count(bar.begin(), bar.end(), nullptr), 0);
    std::sort(bar.begin(), bar.end(), [shell](QWidget* a, QWidget* b) { return a->mapTo(shell, QPoint()).x() < b->mapTo(shell, QPoint()).x(); });
    const std::vector<QWidget*> indexOrder { organizer, ControlOfPane(933), bar[0], bar[1], bar[2], files };
    EXPECT_EQ(TabRound(), indexOrder);

    // The Search window with two rows, the second added after the window's buttons were made.
    Choose(1057);
    CSearchWindow* search = CSearchWindow::GetSearchWindow();
    ASSERT_TRUE(search && LWindow::GetActiveWindow() == search);
    const QVariantMap keywords { { kCriteriaCategoryKey, kFieldKeywords }, { kCriteriaSelectorKey, kSelectorContains },
        { kCriteriaValueKey, QStringLiteral("harbour") } };
    search->AddCriterionRow(&keywords);
    Settle();
    ASSERT_EQ(search->GetRows().size(), 2u);
    auto combo = [](LStdPopupMenu* popup) -> QWidget* { return popup ? popup->findChild<QComboBox*>() : nullptr; };
    std::vector<QWidget*> searchOrder { search->GetShell()->findChild<QTabBar*>(), combo(search->GetSourcePopup()),
        combo(search->GetResultPopup()) };
    std::vector<QImage> rowsWithoutKeys;
    for (CSearchView* row : search->GetRows()) {
        searchOrder.insert(searchOrder.end(), { combo(row->GetCategoryPopup()), combo(row->GetSelectorPopup()),
                                                  row->GetTextField()->GetLineEdit(),
                                                  dynamic_cast<LControlPane*>(row->GetToggleButton())->GetControlWidget() });
        rowsWithoutKeys.push_back(row->grab().toImage());
    }
    for (PaneIDT button : { kAddRowButton, kRemoveRowButton, kSaveButton, kRunButton })
        searchOrder.push_back(ControlOfPaneIn(search, button));
    ASSERT_EQ(std::count(searchOrder.begin(), searchOrder.end(), nullptr), 0);
    searchOrder.front()->setFocus(Qt::TabFocusReason);
    Settle();
    std::vector<QWidget*> reached { QApplication::focusWidget() };
    std::vector<std::string> names { Describe(reached.back()) };
    for (size_t i = 1; i < searchOrder.size(); ++i) {
        Type(Qt::Key_Tab);
        reached.push_back(QApplication::focusWidget());
        names.push_back(Describe(reached.back()));
        for (size_t row = 0; row < search->GetRows().size(); ++row) {
            if (search->GetRows()[row]->isAncestorOf(reached.back()))
                EXPECT_NE(search->GetRows()[row]->grab().toImage(), rowsWithoutKeys[row])
                    << "no mark shows that " << names.back() << " of row " << row + 1 << " has the keyboard";
        }
    }
    EXPECT_EQ(reached, searchOrder) << ::testing::PrintToString(names);
    Type(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), searchOrder.front()) << "Tab did not come round";
    Type(Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), searchOrder.back());
}

// Where the window is too narrow for every item of the bar, the search field
// stays on it, where Tab reaches it, and the items before it go into the bar's
// overflow menu.
TEST_F(KeyboardFocus, TheSearchFieldStaysOnTheBarWhenItIsNarrow)
{
    QWidget* shell = window->GetShell();
    auto* more = shell->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
    auto* search = shell->findChild<QLineEdit*>(QStringLiteral("searchfield"));
    ASSERT_TRUE(more && search);
    // The bar's items as configured, seen on a wide window.
    auto itemsOnBar = [&] {
        QStringList items;
        for (QAction* action : window->GetToolBar()->actions())
            items << action->objectName();
        return items;
    };
    const QSize opened = shell->size();
    shell->resize(1600, 800);
    Settle();
    const QStringList configured = itemsOnBar();
    shell->resize(opened);
    Settle();
    // Narrower still where the window opens wide enough for every item: a few
    // items past the end, whatever the bar's fonts make of its room.
    if (!more->isVisible()) {
        shell->resize(opened.width() * 3 / 4, opened.height());
        Settle();
    }
    ASSERT_TRUE(more->isVisible()) << "the bar has room for every item at " << shell->width() << " pixels";
    ASSERT_TRUE(search->isVisible()) << "the search field went into the overflow menu";
    const std::vector<QWidget*> round = TabRound();
    ASSERT_NE(std::find(round.begin(), round.end(), search), round.end()) << "Tab never reaches the search field";
    while (QApplication::focusWidget() != search)
        Type(Qt::Key_Tab);
    QTest::keyClicks(nullptr, QStringLiteral("Canon"));
    Type(Qt::Key_Return);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    Settle();
    EXPECT_TRUE(view->IsFiltered()) << "Return in the search field found nothing";

    // What went past the end is in the overflow menu.
    QStringList overflow;
    QTimer::singleShot(200, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            overflow = ShownTexts(menu);
            menu->close();
        }
    });
    QTest::mouseClick(more, Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return !overflow.isEmpty(); })) << "the overflow menu did not open";
    EXPECT_TRUE(overflow.contains(QStringLiteral("Delete"))) << overflow.join(QStringLiteral(", ")).toStdString();

    // With room again the field takes its configured place.
    shell->resize(1600, 800);
    Settle();
    EXPECT_EQ(itemsOnBar(), configured);
}

// Shift+F10 and the Menu key open the contextual menu of what has the keyboard,
// at its selection, as a right click there would.
TEST_F(KeyboardFocus, TheMenuKeysOpenTheContextualMenusAtTheSelection)
{
    Type(Qt::Key_Home);
    Type(Qt::Key_Right);
    QRect cell;
    ASSERT_TRUE(view->GetCellRect(2, cell));
    const QRect cellOnScreen(view->mapToGlobal(cell.topLeft()), cell.size());
    for (auto [key, modifiers] : { std::pair { Qt::Key_F10, Qt::ShiftModifier }, std::pair { Qt::Key_Menu, Qt::NoModifier } }) {
        SCOPED_TRACE(QKeySequence(key | modifiers).toString().toStdString());
        const MenuSeen seen = MenuOpenedBy(key, modifiers);
        ASSERT_TRUE(seen.shown) << "no menu opened";
        EXPECT_TRUE(seen.texts.contains(QStringLiteral("Open"))) << seen.texts.join(QStringLiteral(", ")).toStdString();
        EXPECT_TRUE(cellOnScreen.contains(seen.where)) << "the menu is not at the selected cell";
        EXPECT_EQ(FirstSelected(), 2);
        EXPECT_EQ(view->CountSelectedItems(), 1);
        EXPECT_EQ(QApplication::focusWidget(), view);
    }

    // The list shows the index's menu about the same selection, at its row.
    Choose(1082);
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));
    Settle();
    auto* list = window->FindPaneByID('brow')->findChild<QTreeView*>();
    ASSERT_TRUE(list && list->isVisible());
    list->setFocus(Qt::TabFocusReason);
    Settle();
    const QModelIndex row = list->selectionModel()->selectedRows().value(0);
    ASSERT_TRUE(row.isValid());
    const QRect rowOnScreen(list->viewport()->mapToGlobal(list->visualRect(row).topLeft()), list->visualRect(row).size());
    MenuSeen seen = MenuOpenedBy(Qt::Key_Menu);
    ASSERT_TRUE(seen.shown) << "the list opened no menu";
    EXPECT_TRUE(seen.texts.contains(QStringLiteral("Open"))) << seen.texts.join(QStringLiteral(", ")).toStdString();
    EXPECT_TRUE(rowOnScreen.contains(seen.where)) << "the menu is not at the selected row";
    EXPECT_EQ(view->CountSelectedItems(), 1);

    // The side lists show their own.
    Choose(1013);
    Settle();
    QStringList sideItems;
    for (QTreeView* tree : window->findChildren<QTreeView*>()) {
        if (tree == list || !tree->isVisible())
            continue;
        tree->setFocus(Qt::TabFocusReason);
        Settle();
        seen = MenuOpenedBy(Qt::Key_F10, Qt::ShiftModifier);
        EXPECT_TRUE(seen.shown) << Describe(tree->parent()) << " opened no menu";
        sideItems += seen.texts;
    }
    EXPECT_TRUE(sideItems.contains(QStringLiteral("Rebuild Organizer"))) << sideItems.join(QStringLiteral(", ")).toStdString();
}

// F2 renames the selected item in place, as the desktop's file managers do; F1
// opens the help the Help menu opens.
TEST_F(KeyboardFocus, F2RenamesTheSelectedItemAndF1OpensHelp)
{
    Type(Qt::Key_Home);
    Type(Qt::Key_Right);
    CIndexItem* item = nullptr;
    ASSERT_TRUE(view->GetItemAt(2, item) && item);
    const QString suffix = QFileInfo(item->GetName()).suffix();
    Type(Qt::Key_F2);
    ASSERT_NE(view->GetRenameField(), nullptr) << "F2 opened no field";
    EXPECT_EQ(QApplication::focusWidget(), view->GetRenameField()->GetLineEdit());
    QTest::keyClicks(nullptr, QStringLiteral("Harbour"));
    Type(Qt::Key_Return);
    EXPECT_EQ(item->GetName(), QStringLiteral("Harbour.") + suffix);
    ASSERT_NO_FATAL_FAILURE(ExpectGridTakesTheKeys("F2"));
    Type(Qt::Key_S, Qt::ControlModifier); // saved, the program quits without asking
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && !document->IsModified(); }));
    // With nothing selected there is nothing to rename.
    Type(Qt::Key_Escape);
    ASSERT_EQ(view->CountSelectedItems(), 0);
    Type(Qt::Key_F2);
    EXPECT_EQ(QApplication::focusWidget(), view) << "F2 opened a field with nothing selected";

    // F1 is the Help menu's first item, shown beside it. (Whether the desktop
    // then opens the page or says it cannot, the test cannot see here: the
    // desktop's own opener is asked, not Qt's.)
    QMenuBar* bar = window->GetMenuBar();
    ASSERT_NE(bar, nullptr);
    QMenu* help = bar->actions().last()->menu();
    ASSERT_NE(help, nullptr);
    emit help->aboutToShow();
    EXPECT_TRUE(help->actions().first()->shortcuts().contains(QKeySequence(Qt::Key_F1)));
}

// A dialog's buttons answer Alt and their underlined letter.
// The dialog a user would type into over `sheet`: up, its field holding the keys,
// and its window the one the window system sends them to. Under load or a window
// manager that comes a moment after the dialog shows, and keys sent before then go
// to the window behind it.
static QWidget* DialogReadyOver(const QWidget* sheet)
{
    QWidget* modal = QApplication::activeModalWidget();
    QWidget* focus = QApplication::focusWidget();
    if (!modal || modal == sheet || !modal->isVisible() || !focus || focus->window() != modal
        || QGuiApplication::focusWindow() != modal->windowHandle())
        return nullptr;
    return modal;
}

// Answers the dialog `open` brings up over `sheet` with `answer`, typed once the
// dialog holds the keys. A dialog that never takes them, or stays after its answer,
// fails the test and is cancelled, so that its loop does not wait for good.
// Returns the dialog's title, empty if none came.
static QString AnswerDialogOpenedBy(const QWidget* sheet, const std::function<void()>& open, const std::function<void()>& answer)
{
    QString asked;
    bool answerSent = false;
    QPointer<QWidget> answered;
    QElapsedTimer waited;
    waited.start();
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!answered) {
            if (QWidget* ready = DialogReadyOver(sheet)) {
                asked = ready->windowTitle();
                answered = ready;
                answerSent = true;
                waited.restart();
                answer();
                return;
            }
        } else if (modal != answered) {
            return;
        }
        if (waited.elapsed() < 20000 || !modal || modal == sheet)
            return;
        watch.stop();
        const QWidget* focus = QApplication::focusWidget();
        ADD_FAILURE() << "the dialog \"" << modal->windowTitle().toStdString() << "\" "
                      << (answered ? "stayed after its answer" : "never took the keys") << ": active "
                      << (QApplication::activeWindow() ? QApplication::activeWindow()->windowTitle().toStdString() : "none")
                      << ", focus in " << (focus ? focus->window()->windowTitle().toStdString() : "none");
        CancelModal(modal);
    });
    watch.start();
    open();
    // A button's mnemonic clicks a moment later: the dialog may come after `open` returns.
    RunUntil([&] { return answerSent || !watch.isActive(); });
    watch.stop();
    return asked;
}

TEST_F(KeyboardFocus, DialogButtonsHaveMnemonics)
{
    Choose(1056);
    QWidget* properties = QApplication::activeModalWidget();
    ASSERT_NE(properties, nullptr) << "no Index Properties sheet";
    QString setPassword;
    for (QAbstractButton* button : properties->findChildren<QAbstractButton*>()) {
        if (!button->isVisible() || button->text().isEmpty() || qobject_cast<QToolButton*>(button))
            continue;
        const QKeySequence mnemonic = QKeySequence::mnemonic(button->text());
        EXPECT_FALSE(mnemonic.isEmpty()) << "no mnemonic: " << button->text().toStdString();
        if (QString(button->text()).remove(QLatin1Char('&')).startsWith(QStringLiteral("Set Password")))
            setPassword = button->text();
    }
    ASSERT_FALSE(setPassword.isEmpty()) << "no Set Password button";
    const QKeySequence letter = QKeySequence::mnemonic(setPassword);
    ASSERT_FALSE(letter.isEmpty());
    // The password dialog waits for its answer: Escape, typed once it is up.
    const QString asked = AnswerDialogOpenedBy(
        properties, [&] { Type(letter[0].key(), Qt::AltModifier); },
        [] { QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Escape); });
    EXPECT_FALSE(asked.isEmpty()) << letter.toString().toStdString() << " opened no dialog";
    Settle();
    EXPECT_EQ(QApplication::activeModalWidget(), properties); // the sheet is cancelled as the test ends
}

// The password dialog over Index Properties hands the keys back to the sheet when
// it closes, where the window system hands the activation to the index window.
TEST_F(KeyboardFocus, IndexPropertiesTakesTheKeysBackAfterItsPasswordDialog)
{
    Choose(1056);
    QWidget* properties = QApplication::activeModalWidget();
    ASSERT_NE(properties, nullptr) << "no Index Properties sheet";
    QString setPassword;
    for (QAbstractButton* button : properties->findChildren<QAbstractButton*>()) {
        if (QString(button->text()).remove(QLatin1Char('&')).startsWith(QStringLiteral("Set Password")))
            setPassword = button->text();
    }
    const QKeySequence letter = QKeySequence::mnemonic(setPassword);
    ASSERT_FALSE(letter.isEmpty()) << "no Set Password button";
    // The new password typed and accepted with Return once its dialog is up.
    const QString asked = AnswerDialogOpenedBy(
        properties, [&] { Type(letter[0].key(), Qt::AltModifier); },
        [] {
            QTest::keyClicks(nullptr, QStringLiteral("harbour"));
            QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Return);
        });
    ASSERT_FALSE(asked.isEmpty()) << "no password dialog took the keys";
    ASSERT_TRUE(RunUntil([&] { return QApplication::activeModalWidget() == properties; }));
    Settle();
    EXPECT_EQ(QApplication::activeWindow(), properties->window());
    EXPECT_TRUE(QApplication::focusWidget() && properties->isAncestorOf(QApplication::focusWidget()))
        << "the keyboard is with " << Describe(QApplication::focusWidget());
    // Return is the sheet's OK: the index takes the new password.
    Type(Qt::Key_Return);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "Return did not reach Index Properties";
    EXPECT_EQ(view->GetPassword(), QByteArray("harbour"));
    ASSERT_NO_FATAL_FAILURE(ExpectGridTakesTheKeys("Index Properties after its password"));
    Type(Qt::Key_S, Qt::ControlModifier); // saved, the program quits without asking
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && !document->IsModified(); }));
}

// On every page of Preferences each check box and each field's caption answers
// Alt and a letter of its own, none the window's buttons' or menus': the check
// box takes the keyboard and turns, the caption hands the keyboard to its field.
TEST_F(KeyboardFocus, EveryPreferencesPageHasMnemonicsOfItsOwn)
{
    Choose(cmd_Preferences);
    CPreferencesWindow* preferences = CPreferencesWindow::GetPreferencesWindow();
    ASSERT_NE(preferences, nullptr);
    ASSERT_EQ(QApplication::activeWindow(), preferences->GetShell());
    ASSERT_NE(preferences->GetMenuBar(), nullptr);
    QSet<QChar> menus;
    for (const QAction* title : preferences->GetMenuBar()->actions())
        if (const QKeySequence letter = QKeySequence::mnemonic(title->text()); !letter.isEmpty())
            menus.insert(QChar(letter[0].key()).toLower());
    auto* tabs = dynamic_cast<LControl*>(preferences->FindPaneByID('SMPT'));
    ASSERT_NE(tabs, nullptr);
    for (SInt32 tab = 1; tab <= tabs->GetMaxValue(); ++tab) {
        tabs->SetValue(tab);
        Settle();
        SCOPED_TRACE(CPreferencesWindow::PanelForTab(tab));
        std::map<QChar, QString> taken;
        QAbstractButton* checkBox = nullptr;
        QLabel* caption = nullptr;
        auto letterOf = [&](const QString& text) {
            const QKeySequence mnemonic = QKeySequence::mnemonic(text);
            const QString shown = QString(text).remove(QLatin1Char('&'));
            if (mnemonic.isEmpty()) {
                ADD_FAILURE() << "no mnemonic: " << shown.toStdString();
                return;
            }
            const QChar letter = QChar(mnemonic[0].key()).toLower();
            EXPECT_FALSE(menus.contains(letter)) << shown.toStdString() << " takes a menu's letter";
            EXPECT_FALSE(taken.count(letter)) << shown.toStdString() << " and " << taken[letter].toStdString();
            taken[letter] = shown;
        };
        for (QAbstractButton* button : preferences->GetShell()->findChildren<QAbstractButton*>()) {
            if (!button->isVisible() || button->text().isEmpty() || qobject_cast<QToolButton*>(button))
                continue;
            letterOf(button->text());
            if (!checkBox && button->isCheckable())
                checkBox = button;
        }
        for (QLabel* label : preferences->GetShell()->findChildren<QLabel*>()) {
            if (!label->isVisible() || !label->buddy())
                continue;
            letterOf(label->text());
            caption = caption ? caption : label;
        }
        ASSERT_NE(checkBox, nullptr);
        ASSERT_FALSE(QKeySequence::mnemonic(checkBox->text()).isEmpty());
        const bool wasChecked = checkBox->isChecked();
        Type(QKeySequence::mnemonic(checkBox->text())[0].key(), Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), checkBox) << checkBox->text().toStdString() << " focus " << Describe(QApplication::focusWidget());
        EXPECT_TRUE(RunUntil([&] { return checkBox->isChecked() != wasChecked; })) << checkBox->text().toStdString();
        Type(Qt::Key_Space); // as it was
        ASSERT_EQ(checkBox->isChecked(), wasChecked);
        if (caption && !QKeySequence::mnemonic(caption->text()).isEmpty()) {
            Type(QKeySequence::mnemonic(caption->text())[0].key(), Qt::AltModifier);
            EXPECT_EQ(QApplication::focusWidget(), caption->buddy()) << caption->text().toStdString();
        }
    }
    Type(Qt::Key_Escape);
    EXPECT_EQ(CPreferencesWindow::GetPreferencesWindow(), nullptr);
}

// The alerts that ask what becomes of an index's changes answer Alt and the
// underlined letter of each button.
TEST_F(KeyboardFocus, TheChangesAlertsAnswerAltAndALetter)
{
    struct Case {
        CommandT command;
        QMessageBox::StandardButton button;
        bool keepsTheChanges;
        bool closes;
    };
    const Case cases[] = {
        { cmd_Close, QMessageBox::Cancel, true, false },
        { cmd_Revert, QMessageBox::Discard, false, false }, // opened again as last saved
        { cmd_Close, QMessageBox::Save, false, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        document = OnlyIndexDocument();
        ASSERT_NE(document, nullptr);
        window = document->GetWindow();
        view = IndexViewOfDocument(document);
        window->Select(); // as a click on the index window would
        ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && QApplication::focusWidget() == view; })) << Describe(QApplication::focusWidget());
        // A change: the second item renamed.
        Type(Qt::Key_Home);
        Type(Qt::Key_Right);
        Type(Qt::Key_F2);
        ASSERT_NE(view->GetRenameField(), nullptr);
        QTest::keyClicks(nullptr, QStringLiteral("Harbour"));
        Type(Qt::Key_Return);
        ASSERT_TRUE(document->IsModified());
        QString pressed;
        const QString asked = AnswerDialogOpenedBy(
            window->GetShell(), [&] { Choose(c.command); },
            [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QAbstractButton* button = box ? box->button(c.button) : nullptr;
                if (!button)
                    return;
                pressed = button->text();
                const QKeySequence letter = QKeySequence::mnemonic(pressed);
                if (!letter.isEmpty())
                    QTest::keyClick(static_cast<QWidget*>(nullptr), letter[0].key(), Qt::AltModifier);
                else
                    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Escape);
            });
        ASSERT_FALSE(asked.isEmpty()) << "no alert came";
        ASSERT_FALSE(QKeySequence::mnemonic(pressed).isEmpty()) << "no mnemonic: " << pressed.toStdString();
        ASSERT_TRUE(RunUntil([&] { return !QApplication::activeModalWidget(); })) << pressed.toStdString() << " left the alert up";
        ASSERT_TRUE(RunUntil([&] {
            CIndexDoc* now = OnlyIndexDocument();
            return c.closes ? !now && AllTasksEnded() : now && IsIdle(now) && now->IsModified() == c.keepsTheChanges;
        })) << pressed.toStdString();
        Settle();
    }
}

// Alt held as a menu opens with the mouse shows its alternates; Alt and the
// menu's letter open it from the keyboard, with its normal items.
TEST_F(KeyboardFocus, AMenuOpenedWithAltAndItsLetterShowsItsNormalItems)
{
    Type(Qt::Key_F, Qt::AltModifier);
    auto* file = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(file, nullptr) << "Alt+F opened no menu";
    QStringList shown = ShownTexts(file);
    EXPECT_TRUE(shown.contains(QStringLiteral("Close")) && shown.contains(QStringLiteral("Print…")))
        << shown.join(QStringLiteral(", ")).toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("Close All")) || shown.contains(QStringLiteral("Print One")))
        << shown.join(QStringLiteral(", ")).toStdString();
    Type(Qt::Key_Escape);
    Type(Qt::Key_Escape);
    ASSERT_EQ(QApplication::activePopupWidget(), nullptr);

    QMenuBar* bar = window->GetMenuBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::AltModifier, bar->actionGeometry(bar->actions().first()).center());
    Settle();
    file = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(file, nullptr) << "the click opened no menu";
    shown = ShownTexts(file);
    EXPECT_TRUE(shown.contains(QStringLiteral("Close All")) && shown.contains(QStringLiteral("Print One")))
        << shown.join(QStringLiteral(", ")).toStdString();
    file->close();
    Settle();
}

#include "KeyboardFocusTest.moc"

// The search window's Save Setting dialog takes the typed name in its field at
// once; asked to save without a name it says so in an alert that Escape closes.
TEST_F(KeyboardFocus, TheSaveSettingDialogTakesTheNameTypedAndEscapeClosesItsAlert)
{
    Choose(cmd_SearchWindow);
    auto* search = dynamic_cast<CSearchWindow*>(LWindow::GetActiveWindow());
    ASSERT_NE(search, nullptr) << "no search window";
    ClickPane(search, kSaveButton);
    Settle();
    LDialogBox* dialog = search->GetSaveDialog();
    ASSERT_NE(dialog, nullptr);
    auto* name = dynamic_cast<LEditText*>(dialog->FindPaneByID(901));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(QApplication::focusWidget(), name->GetLineEdit()) << Describe(QApplication::focusWidget());

    // Return with no name: the alert has one button, and Escape closes it.
    QPointer<LDialogBox> alert;
    bool closedByEscape = false;
    {
        UserSteps user({ [&] {
                            alert = ShownDialogWith(5, dialog); // the alert's explanation
                            if (!alert || DialogReadyOver(dialog->GetShell()) != alert->GetShell())
                                return false;
                            QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Escape);
                            return true;
                        },
                           [&] {
                               // Closed a pass or more after the key, as the machine's load has it.
                               closedByEscape = !alert || !alert->IsVisible();
                               return closedByEscape;
                           } },
            5000);
        QTimer::singleShot(0, dialog, [] { QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Return); });
        ASSERT_TRUE(RunUntil([&] { return user.AllDone() && !QApplication::activeModalWidget(); }));
    }
    EXPECT_TRUE(closedByEscape) << "Escape left the alert open";
    Settle();

    // The keys are the name field's again: the name typed names the setting.
    EXPECT_EQ(QApplication::focusWidget(), name->GetLineEdit()) << Describe(QApplication::focusWidget());
    QTest::keyClicks(nullptr, QStringLiteral("Harbour"));
    Type(Qt::Key_Return);
    EXPECT_EQ(search->GetSaveDialog(), nullptr);
    QStringList names;
    for (const QVariant& setting : CopyStoredSettings(false))
        names << setting.toMap().value(kSettingNameKey).toString();
    EXPECT_TRUE(names.contains(QStringLiteral("Harbour"))) << names.join(QStringLiteral(", ")).toStdString();
}
