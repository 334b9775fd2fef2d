#include "CContextualMenu.h"
#include "InterfaceTestSupport.h"
#include "LStdControls.h"
#include "UserSteps.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

namespace {

QStringList Texts(const QMenu& menu)
{
    QStringList texts;
    for (QAction* item : menu.actions())
        texts.append(item->isSeparator() ? QStringLiteral("-") : item->text());
    return texts;
}

// An area whose own items are given as texts ("-" a separator).
struct ListArea : CCMArea {
    QStringList own;
    bool includeParent = true;
    void AddOwnItems(QMenu* menu) override
    {
        for (const QString& text : own) {
            if (text == QStringLiteral("-"))
                AppendMenuSeparator(menu);
            else
                AppendMenuItemWithCommand(menu, text, 1);
        }
    }
    bool IncludeParentItems() override { return includeParent; }
};

TEST(ContextualMenuBuilders, ExtraSeparatorsGo)
{
    QMenu menu;
    AppendMenuSeparator(&menu);
    AppendMenuItemWithCommand(&menu, QStringLiteral("A"), 1);
    AppendMenuSeparator(&menu);
    AppendMenuSeparator(&menu);
    AppendMenuItemWithCommand(&menu, QStringLiteral("-B"), 2); // begins with "-": counts as one
    AppendMenuItemWithCommand(&menu, QStringLiteral("C & D"), 3);
    RemoveExtraSeparators(&menu);
    EXPECT_EQ(Texts(menu), (QStringList { QStringLiteral("A"), QStringLiteral("-"), QStringLiteral("C && D") }));
    EXPECT_EQ(MenuItemCommand(menu.actions().last()), 3);
}

TEST(ContextualMenuBuilders, ParentItemsComeFirstWithASeparatorOnlyWhenThereAreAny)
{
    ListArea parent, child;
    child.SetParentArea(&parent);
    child.own = { QStringLiteral("Own"), QStringLiteral("-") };
    QMenu empty;
    child.AddItems(&empty);
    EXPECT_EQ(Texts(empty), (QStringList { QStringLiteral("Own"), QStringLiteral("-") }));

    parent.own = { QStringLiteral("Parent") };
    QMenu both;
    child.AddItems(&both);
    EXPECT_EQ(Texts(both), (QStringList { QStringLiteral("Parent"), QStringLiteral("-"), QStringLiteral("Own"), QStringLiteral("-") }));

    child.includeParent = false;
    QMenu alone;
    child.AddItems(&alone);
    EXPECT_EQ(Texts(alone).first(), QStringLiteral("Own"));

    // The selection falls back to the parent's.
    struct Selecting : ListArea {
        void GetSelection(QVariant& io) override { io = QStringLiteral("picked"); }
    } selecting;
    child.SetParentArea(&selecting);
    QVariant selection;
    child.GetSelection(selection);
    EXPECT_EQ(selection.toString(), QStringLiteral("picked"));
}

TEST(ContextualMenuBuilders, SubmenusCarryTheirCommandsOrSyntheticOnes)
{
    UseFixtureMenuBar();
    QMenu menu;
    QAction* labels = AppendMenuItemWithCommand(&menu, QStringLiteral("Label"), 0);
    ASSERT_TRUE(AttachSubmenuWithCommands(&menu, labels, 300));
    ASSERT_NE(labels->menu(), nullptr);
    QList<QAction*> items = labels->menu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(MenuItemCommand(items[2]), -(300 * 65536) - 3);

    QAction* rotate = AppendMenuItemWithCommand(&menu, QStringLiteral("Rotate"), 0);
    ASSERT_TRUE(AttachSubmenuWithCommands(&menu, rotate, 301));
    items = rotate->menu()->actions();
    EXPECT_EQ(MenuItemCommand(items[0]), 1040);
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(MenuItemCommand(items[2]), 1041);

    EXPECT_THROW(AttachSubmenuWithCommands(&menu, rotate, 4242), std::exception);
    EXPECT_FALSE(AttachSubmenu(&menu, nullptr, new QMenu(&menu)));
}

// A window target that enables what it is told and records what it obeys.
class TargetWindow : public CCMWindow {
public:
    explicit TargetWindow(UInt32 attributes = kRegularWindowAttributes)
        : CCMWindow(WindowInfo(40, 40, 300, 200), attributes, QStringLiteral("Media"), nullptr)
    {
    }
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName) override
    {
        if (enabled.contains(command)) {
            outEnabled = true;
            outUsesMark = command == marked;
            outMark = command == marked ? checkMark : noMark;
            return;
        }
        CCMWindow::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
    bool ObeyCommand(CommandT command, void* ioParam) override
    {
        obeyed.append(command);
        return command == cmd_Close || CCMWindow::ObeyCommand(command, ioParam);
    }
    void AddOwnItems(QMenu* menu) override
    {
        for (CommandT command : offered)
            AppendCommandItem(menu, command);
        AppendMenuSeparator(menu);
        CCMWindow::AddOwnItems(menu);
        AppendMenuSeparator(menu);
    }
    void MenuDone(const EventRecord&, SInt32 result, CommandT command) override { done.append({ result, command }); }
    QList<CommandT> enabled;
    CommandT marked = 0;
    QList<CommandT> offered;
    QList<CommandT> obeyed;
    QList<QPair<SInt32, CommandT>> done;
};

struct ContextualMenuFixture : ::testing::Test {
    void SetUp() override
    {
        UseFixtureMenuBar();
        InitContextualMenuSupport();
        SetPressAndHold(false);
        window = new TargetWindow;
        window->Show();
        window->Select();
        LCommander::SwitchTarget(window);
    }
    void TearDown() override
    {
        delete window;
        FlushDeletes();
    }
    SMouseDownEvent RightClickAt(QPoint local) const
    {
        SMouseDownEvent event;
        event.whereLocal = local;
        event.wherePort = local;
        event.macEvent.what = mouseDown;
        event.macEvent.modifiers = controlKey;
        event.macEvent.where = window->mapToGlobal(local);
        return event;
    }
    TargetWindow* window = nullptr;
};

TEST_F(ContextualMenuFixture, ListsCommandsWithTheirStatusAndSendsTheChosenOne)
{
    window->offered = { 13, 12, 1010, 4242 };
    window->enabled = { 13, 1010, cmd_Close };
    window->marked = 1010;
    PopupChooser chooser;
    chooser.ChooseNext(QStringLiteral("Get Info"));
    EXPECT_EQ(window->HandleContextClick(RightClickAt({ 20, 20 })), cmResult_Handled);
    ASSERT_TRUE(chooser.appeared);
    // Cut is disabled and 4242 is in no menu: neither is offered. Close comes last.
    EXPECT_EQ(chooser.seen, (QStringList { QStringLiteral("Copy"), QStringLiteral("Get Info"), QStringLiteral("-"), QStringLiteral("Close Window") }));
    EXPECT_EQ(chooser.checked, (QList<bool> { false, true, false, false }));
    EXPECT_TRUE(window->obeyed.contains(1010));
    EXPECT_EQ(window->done.last(), (QPair<SInt32, CommandT>(cmResult_Handled, 1010)));

    // Dismissed: nothing chosen.
    chooser = {};
    chooser.ChooseNext(QString());
    EXPECT_EQ(window->HandleContextClick(RightClickAt({ 20, 20 })), cmResult_NothingChosen);
    EXPECT_EQ(window->done.last().first, cmResult_NothingChosen);
}

TEST_F(ContextualMenuFixture, CloseItemOnlyForRegularWindowsThatMayClose)
{
    QMenu menu;
    window->enabled = {};
    window->CCMWindow::AddOwnItems(&menu);
    EXPECT_EQ(Texts(menu), (QStringList { QStringLiteral("Close Window") })); // the window enables it itself
    EXPECT_EQ(MenuItemCommand(menu.actions().first()), cmd_Close);

    TargetWindow palette(windAttr_TitleBar | windAttr_CloseBox | windAttr_Enabled);
    LCommander::SwitchTarget(&palette);
    QMenu none;
    palette.CCMWindow::AddOwnItems(&none);
    EXPECT_TRUE(none.actions().isEmpty());
}

TEST_F(ContextualMenuFixture, PlainClicksAndAMissingSetUpAreNotHandled)
{
    SMouseDownEvent plain = RightClickAt({ 10, 10 });
    plain.macEvent.modifiers = 0;
    EXPECT_EQ(window->HandleContextClick(plain), cmResult_NotHandled);
}

TEST_F(ContextualMenuFixture, RightClicksInTheWindowReachTheNearestArea)
{
    // A plain pane: the window's menu. A pane that is an area itself: its own click handling.
    struct AreaPane : LView, CCMArea {
        AreaPane(LView* super)
            : LView(SPaneInfo { 7, 100, 80, true, true, {}, 150, 10, 0, super })
        {
        }
        void ClickSelf(const SMouseDownEvent& event) override { handled = HandleContextClick(event); }
        void AddOwnItems(QMenu* menu) override { AppendMenuItemWithCommand(menu, QStringLiteral("Pane Item"), 77); }
        SInt32 handled = -1;
    };
    auto* plain = new LView(SPaneInfo { 5, 100, 80, true, true, {}, 10, 10, 0, window });
    auto* area = new AreaPane(window);
    window->enabled = { cmd_Close };

    PopupChooser chooser;
    chooser.ChooseNext(QString());
    QTest::mouseClick(plain, Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_TRUE(chooser.appeared);
    EXPECT_EQ(chooser.seen, QStringList { QStringLiteral("Close Window") });

    PopupChooser paneChooser;
    paneChooser.ChooseNext(QStringLiteral("Pane Item"));
    QTest::mouseClick(area, Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_EQ(area->handled, cmResult_Handled);
    EXPECT_EQ(paneChooser.seen.first(), QStringLiteral("Pane Item"));
    EXPECT_TRUE(window->obeyed.contains(77));

    // A left click is an ordinary click.
    window->obeyed.clear();
    QTest::mouseClick(plain, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_TRUE(window->obeyed.isEmpty());
}

TEST_F(ContextualMenuFixture, PressAndHoldNeedsTheMouseToStayPut)
{
    SetPressAndHold(true);
    SetPressAndHoldDelay(6); // a tenth of a second
    QWidget* target = window;
    auto send = [&](QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
        QMouseEvent event(type, local, target->mapToGlobal(local), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
            buttons, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    };
    auto record = [&](QPoint local) {
        EventRecord down;
        down.what = mouseDown;
        down.where = target->mapToGlobal(local);
        return down;
    };
    // Held still: it counts.
    send(QEvent::MouseMove, { 30, 30 }, Qt::NoButton);
    {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(30, 30), target->mapToGlobal(QPointF(30, 30)), Qt::LeftButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(QApplication::instance(), &press); // the tracker sees the button go down
    }
    EXPECT_TRUE(IsPressAndHold(record({ 30, 30 })));

    // Moved by one pixel before the delay: cancelled.
    QTimer::singleShot(20, [&] { send(QEvent::MouseMove, { 31, 30 }, Qt::LeftButton); });
    EXPECT_FALSE(IsPressAndHold(record({ 30, 30 })));

    // Released early: cancelled.
    send(QEvent::MouseMove, { 30, 30 }, Qt::LeftButton);
    QTimer::singleShot(20, [&] { send(QEvent::MouseButtonRelease, { 30, 30 }, Qt::NoButton); });
    EXPECT_FALSE(IsPressAndHold(record({ 30, 30 })));
    // With the button up it never counts.
    EXPECT_FALSE(IsPressAndHold(record({ 30, 30 })));
    SetPressAndHold(false);
}

TEST_F(ContextualMenuFixture, AHeldPressShowsTheMenuOnceTheDelayIsOver)
{
    SetPressAndHold(true);
    SetPressAndHoldDelay(6);
    window->enabled = { cmd_Close };
    auto* pane = new LView(SPaneInfo { 5, 100, 80, true, true, {}, 10, 10, 0, window });
    auto send = [&](QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, local, pane->mapToGlobal(local), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(pane, &event);
    };
    // Moved before the delay: no menu.
    send(QEvent::MouseButtonPress, { 20, 20 }, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, { 21, 20 }, Qt::NoButton, Qt::LeftButton);
    ProcessEventsFor(200);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    send(QEvent::MouseButtonRelease, { 21, 20 }, Qt::LeftButton, Qt::NoButton);

    // Held still: the window's menu.
    PopupChooser chooser;
    chooser.ChooseNext(QString());
    send(QEvent::MouseButtonPress, { 20, 20 }, Qt::LeftButton, Qt::LeftButton);
    ProcessEventsFor(300);
    EXPECT_TRUE(chooser.appeared);
    EXPECT_EQ(chooser.seen, QStringList { QStringLiteral("Close Window") });
    send(QEvent::MouseButtonRelease, { 20, 20 }, Qt::LeftButton, Qt::NoButton);
    SetPressAndHold(false);
}

TEST(ContextualMenuCursor, IsTheProgramsOwnArrow)
{
    InitContextualMenuSupport();
    EXPECT_TRUE(HasContextualMenus());
    const QCursor& cursor = GetContextualMenuCursor();
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), QPoint(1, 1));
    QWidget widget;
    SetContextualMenuCursor(&widget);
    EXPECT_EQ(widget.cursor().shape(), Qt::BitmapCursor);
}

} // namespace
