#include "CContextualMenu.h"

#include "BundleStrings.h"
#include "ExceptionCode.h"
#include "LMenuBar.h"
#include "UReportErrors.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QStyleHints>
#include <QTimer>

namespace {
constexpr int kMillisecondsPerTick = 1000 / 60;

struct ContextualMenuState {
    bool exists = false;
    bool pressAndHold = false;
    SInt32 pressAndHoldDelay = 0; // ticks
    QCursor cursor;
    bool cursorLoaded = false; // read at its first use
};

ContextualMenuState& State()
{
    static ContextualMenuState state;
    return state;
}

// Where the mouse is and whether its button is down, as the program's events say.
// Press-and-hold watches it while it waits.
LWindow* WindowOfWidget(QWidget* widget)
{
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* window = dynamic_cast<LWindow*>(w))
            return window;
    }
    return nullptr;
}

// The press-and-hold delay (below one tick: the double-click interval).
int PressAndHoldMilliseconds()
{
    return State().pressAndHoldDelay < 1 ? QGuiApplication::styleHints()->mouseDoubleClickInterval()
                                         : State().pressAndHoldDelay * kMillisecondsPerTick;
}

class MouseTracker : public QObject {
public:
    QPoint where;
    bool buttonDown = false;

    MouseTracker()
    {
        mHold.setSingleShot(true);
        QObject::connect(&mHold, &QTimer::timeout, this, [this] { HoldElapsed(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (IsContextualMenuKey(*static_cast<QKeyEvent*>(event)) && !QApplication::activePopupWidget())
                return RouteMenuKey(static_cast<QKeyEvent*>(event)->modifiers());
            break;
        case QEvent::ContextMenu:
            // The window system's own menu event for the Menu key: its key press
            // follows and opens the menu, once.
            if (event->spontaneous() && static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard)
                return true;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            where = mouse->globalPosition().toPoint();
            buttonDown = mouse->buttons() != Qt::NoButton;
            if (mHold.isActive() && (!buttonDown || where != mHoldRecord.where))
                mHold.stop(); // moved or let go before the delay: an ordinary click
            if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType() && !mRouting)
                return RoutePress(static_cast<QWidget*>(watched), *mouse);
            break;
        }
        default:
            break;
        }
        return false;
    }

private:
    // The menu key goes to what has the keyboard as a keyboard contextual-menu
    // event, at its selection: each view or list shows its own menu.
    bool RouteMenuKey(Qt::KeyboardModifiers modifiers)
    {
        QWidget* focus = QApplication::focusWidget();
        if (!focus || !focus->isEnabled())
            return false;
        QPoint where;
        QWidget* mapper = focus;
        if (auto* list = qobject_cast<QAbstractItemView*>(focus)) {
            where = KeyboardMenuPoint(*list);
            mapper = list->viewport();
        } else {
            where = focus->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
        }
        QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, where, mapper->mapToGlobal(where), modifiers);
        RunReportingErrors([&] { QApplication::sendEvent(focus, &menuEvent); });
        return true;
    }

    // A press in one of the program's windows may be a contextual click.
    bool RoutePress(QWidget* widget, const QMouseEvent& mouse)
    {
        if (qobject_cast<QMenu*>(widget))
            return false;
        EventRecord record = EventRecordFromMouseEvent(mouse);
        bool contextual = mouse.button() == Qt::RightButton || (mouse.modifiers() & Qt::MetaModifier);
        if (!contextual) {
            // Press-and-hold: the click goes on as usual; held still long enough,
            // the contextual menu follows.
            if (State().pressAndHold && mouse.button() == Qt::LeftButton && dynamic_cast<CCMArea*>(WindowOfWidget(widget))) {
                mHoldRecord = record;
                mHoldWidget = widget;
                mHold.start(PressAndHoldMilliseconds());
            }
            return false;
        }
        mRouting = true;
        bool handled = false;
        RunReportingErrors([&] { handled = HandleContextualClick(record, widget); });
        mRouting = false;
        return handled;
    }

    void HoldElapsed()
    {
        if (!buttonDown || where != mHoldRecord.where || !mHoldWidget)
            return;
        EventRecord record = mHoldRecord;
        record.modifiers |= controlKey;
        mRouting = true;
        RunReportingErrors([&] { HandleContextualClick(record, mHoldWidget); });
        mRouting = false;
    }

    QTimer mHold;
    EventRecord mHoldRecord;
    QPointer<QWidget> mHoldWidget;
    bool mRouting = false;
};

MouseTracker* Tracker()
{
    static MouseTracker* tracker = nullptr;
    if (!tracker && qApp) {
        tracker = new MouseTracker;
        tracker->setParent(qApp);
        qApp->installEventFilter(tracker);
    }
    return tracker;
}

bool IsContextualClick(const EventRecord& event)
{
    return event.what == mouseDown && (event.modifiers & controlKey);
}

LCommander* CommandTarget()
{
    LCommander* target = LCommander::GetTarget();
    return target ? target : LCommander::GetTopCommander();
}
} // namespace

CCMArea::CCMArea(CCMArea* parentArea)
    : mParentArea(parentArea)
{
}

void CCMArea::GetSelection(QVariant& ioSelection)
{
    if (!ioSelection.isValid() && mParentArea)
        mParentArea->GetSelection(ioSelection);
}

void CCMArea::MenuDone(const EventRecord&, SInt32, CommandT)
{
}

bool CCMArea::AllowPressAndHold(const EventRecord&)
{
    return State().pressAndHold;
}

void CCMArea::AddItems(QMenu* menu)
{
    if (mParentArea && IncludeParentItems()) {
        int before = int(menu->actions().size());
        mParentArea->AddItems(menu);
        if (int(menu->actions().size()) > before)
            AppendMenuSeparator(menu);
    }
    AddOwnItems(menu);
    RemoveExtraSeparators(menu);
}

SInt32 CCMArea::HandleContextClick(const SMouseDownEvent& event)
{
    if (!HasContextualMenus())
        return cmResult_NotHandled;
    const EventRecord& record = event.macEvent;
    if (!IsContextualClick(record) && !(AllowPressAndHold(record) && IsPressAndHold(record)))
        return cmResult_NotHandled;
    return RunMenu(record);
}

SInt32 CCMArea::ShowContextMenuAt(QPoint globalWhere)
{
    if (!HasContextualMenus())
        return cmResult_NotHandled;
    EventRecord record;
    record.what = mouseDown;
    record.when = TickCount();
    record.where = globalWhere;
    record.modifiers = controlKey;
    return RunMenu(record);
}

SInt32 CCMArea::RunMenu(const EventRecord& record)
{
    QMenu menu;
    QVariant selection;
    PrepareMenu(record);
    AddItems(&menu);
    GetSelection(selection);
    QList<QAction*> items = menu.actions();
    if (!items.isEmpty() && IsMenuSeparator(items.last()))
        menu.removeAction(items.last());

    QAction* helpItem = nullptr;
    if (GetHelpType() != 0) {
        QString help;
        GetHelpString(help);
        if (!menu.actions().isEmpty())
            AppendMenuSeparator(&menu);
        helpItem = menu.addAction(help.isEmpty() ? BundleLocalizedString(QStringLiteral("CM_HELP_ITEM")) : help);
    }

    // Submenus' items answer for themselves; the chosen item carries its command.
    // A menu made for this pane as the target gives it the command even when the
    // menu moved the target (a window deactivated under the menu hands it up).
    LCommander* const self = dynamic_cast<LCommander*>(this);
    const bool madeForSelf = self && CommandTarget() == self;
    QAction* chosen = menu.exec(record.where);
    CleanUp();

    SInt32 result = cmResult_NothingChosen;
    CommandT command = cmd_Nothing;
    if (chosen && chosen == helpItem) {
        HelpChosen();
        result = cmResult_Handled;
    } else if (chosen) {
        command = MenuItemCommand(chosen);
        if (LCommander* target = madeForSelf ? self : CommandTarget())
            target->ProcessCommand(command);
        result = cmResult_Handled;
    }
    MenuDone(record, result, command);
    return result;
}

CCMWindow::CCMWindow(const SPaneInfo& info, UInt32 attributes, const QString& title, LCommander* superCommander)
    : CParentWindow(info, attributes, title, superCommander)
{
}

CCMWindow::CCMWindow(const LLayoutData& data)
    : CParentWindow(data)
{
}

void CCMWindow::Click(SMouseDownEvent& event)
{
    if (HandleContextClick(event) != cmResult_NotHandled)
        return;
    CParentWindow::Click(event);
}

void CCMWindow::AddOwnItems(QMenu* menu)
{
    if (!HasAttribute(windAttr_Regular))
        return;
    LCommander* target = CommandTarget();
    Boolean enabled = false, usesMark = false;
    UInt16 mark = noMark;
    Str255 name;
    if (!target)
        return;
    target->ProcessCommandStatus(cmd_Close, enabled, usesMark, mark, name);
    if (!enabled)
        return;
    QString text = BundleLocalizedString(QStringLiteral("999:1"));
    if (text.isEmpty())
        ThrowOSErr_('nilP', "no text for the close item");
    AppendMenuItemWithCommand(menu, text, cmd_Close);
}

bool IsContextualMenuKey(const QKeyEvent& key)
{
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    return (key.key() == Qt::Key_Menu && modifiers == Qt::NoModifier)
        || (key.key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
}

QPoint KeyboardMenuPoint(const QAbstractItemView& list)
{
    QModelIndex row = list.currentIndex();
    const QItemSelectionModel* selection = list.selectionModel();
    if (selection && (!row.isValid() || !selection->isSelected(row)) && selection->hasSelection())
        row = selection->selectedIndexes().constFirst();
    const QRect shown = list.visualRect(row).intersected(list.viewport()->rect());
    return shown.isEmpty() ? QPoint(4, 4) : shown.center();
}

CommandT MenuItemCommand(const QAction* item)
{
    return item ? item->data().toInt() : cmd_Nothing;
}

bool IsMenuSeparator(const QAction* item)
{
    return item && (item->isSeparator() || item->text().startsWith(QLatin1Char('-')));
}

bool AppendCommandItem(QMenu* menu, CommandT command, bool force)
{
    LMenuBar* menuBar = LMenuBar::GetCurrentMenuBar();
    LMenu* barMenu = nullptr;
    SInt16 index = 0;
    if (!menu || !menuBar || !menuBar->FindMenuItem(command, barMenu, index) || !barMenu || !barMenu->Item(index))
        return false;
    const SMenuItem& source = *barMenu->Item(index);
    Boolean enabled = false, usesMark = false;
    UInt16 mark = noMark;
    Str255 name;
    if (LCommander* target = CommandTarget())
        target->ProcessCommandStatus(command, enabled, usesMark, mark, name);
    if (!enabled && !force)
        return false;
    QString text = name[0] != 0 ? PStringToQString(name) : source.text;
    QAction* item = AppendMenuItemWithCommand(menu, text, command);
    item->setEnabled(enabled);
    if (!source.icon.isNull())
        item->setIcon(source.icon);
    if (usesMark && mark != noMark) {
        item->setCheckable(true);
        item->setChecked(true);
    }
    return true;
}

bool AttachSubmenuWithCommands(QMenu* menu, QAction* item, ResIDT submenuID)
{
    if (!menu || !item)
        return false;
    std::unique_ptr<LMenu> source = LMenu::Load(submenuID);
    auto* submenu = new QMenu(source->GetTitle(), menu);
    for (SInt16 i = 1; i <= source->CountItems(); ++i) {
        const SMenuItem* entry = source->Item(i);
        if (entry->IsSeparator())
            AppendMenuSeparator(submenu);
        else
            AppendMenuItemWithCommand(submenu, entry->text, source->CommandFromIndex(i))->setEnabled(entry->enabled);
    }
    ApplyCommandStatuses(submenu);
    return AttachSubmenu(menu, item, submenu);
}

void ApplyCommandStatuses(QMenu* menu)
{
    LCommander* target = CommandTarget();
    if (!menu || !target)
        return;
    for (QAction* item : menu->actions()) {
        const CommandT command = MenuItemCommand(item);
        if (item->isSeparator() || item->menu() || command == cmd_Nothing)
            continue;
        Boolean enabled = false, usesMark = false;
        UInt16 mark = noMark;
        Str255 name;
        target->ProcessCommandStatus(command, enabled, usesMark, mark, name);
        item->setEnabled(item->isEnabled() && enabled);
        if (usesMark) {
            item->setCheckable(true);
            item->setChecked(mark != noMark);
        }
    }
}

bool AttachSubmenu(QMenu* menu, QAction* item, QMenu* submenu)
{
    if (!menu || !item || !submenu)
        return false;
    if (submenu->parent() != menu)
        submenu->setParent(menu, submenu->windowFlags());
    item->setMenu(submenu);
    return true;
}

QString PlainMenuText(const QString& text)
{
    return QString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QAction* AppendMenuItemWithCommand(QMenu* menu, const QString& text, CommandT command)
{
    QAction* item = menu->addAction(PlainMenuText(text));
    item->setData(command);
    return item;
}

void AppendMenuSeparator(QMenu* menu)
{
    menu->addSeparator();
}

void RemoveExtraSeparators(QMenu* menu)
{
    QList<QAction*> items = menu->actions();
    for (qsizetype i = items.size() - 1; i >= 1; --i) {
        if (IsMenuSeparator(items[i]) && IsMenuSeparator(items[i - 1])) {
            menu->removeAction(items[i]);
            items.removeAt(i);
        }
    }
    if (!items.isEmpty() && IsMenuSeparator(items.first()))
        menu->removeAction(items.first());
}

void InitContextualMenuSupport()
{
    State().exists = true;
    Tracker(); // also routes the menu keys
    // The cursor is read at its first use: at start the image plugins are still loading.
}

bool HasContextualMenus()
{
    return State().exists;
}

void LoadContextualMenuCursor()
{
    // Read as PNG without asking the image plugins, which Qt would load every one of.
    QImageReader reader(QStringLiteral(":/cursors/contextualmenu.png"), "png");
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    State().cursor = image.isNull() ? QCursor(Qt::ArrowCursor) : QCursor(QPixmap::fromImage(image), 1, 1);
    State().cursorLoaded = true;
}

const QCursor& GetContextualMenuCursor()
{
    if (!State().cursorLoaded)
        LoadContextualMenuCursor();
    return State().cursor;
}

void SetContextualMenuCursor(QWidget* widget)
{
    if (!widget)
        widget = QApplication::widgetAt(QCursor::pos());
    if (widget)
        widget->setCursor(GetContextualMenuCursor());
}

void SetPressAndHold(bool on)
{
    State().pressAndHold = on;
    if (on)
        Tracker();
}

bool GetPressAndHold()
{
    return State().pressAndHold;
}

void SetPressAndHoldDelay(SInt32 ticks)
{
    State().pressAndHoldDelay = ticks;
}

bool IsPressAndHold(const EventRecord& mouseDown)
{
    MouseTracker* tracker = Tracker();
    if (!tracker || !tracker->buttonDown)
        return false;
    int delay = PressAndHoldMilliseconds();
    QElapsedTimer clock;
    clock.start();
    while (tracker->buttonDown && clock.elapsed() < delay) {
        if (tracker->where != mouseDown.where)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return tracker->buttonDown && tracker->where == mouseDown.where;
}

bool HandleContextualClick(const EventRecord& mouseDown, QWidget* widget)
{
    if (!HasContextualMenus() || !widget)
        return false;
    LWindow* window = WindowOfWidget(widget);
    auto* area = dynamic_cast<CCMArea*>(window);
    if (!window || !area)
        return false; // not one of the program's contextual windows, or a click on its bars
    if (!IsContextualClick(mouseDown) && !(State().pressAndHold && IsPressAndHold(mouseDown)))
        return false;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != window->GetShell())
        return false;
    if (!window->IsActiveWindow())
        window->Select();

    QPoint port = mouseDown.where;
    window->GlobalToPortPoint(port);
    LPane* deepest = window->FindDeepSubPaneContaining(port.x(), port.y());
    if (auto* paneArea = dynamic_cast<CCMArea*>(deepest); paneArea && deepest->IsActive() && deepest->IsEnabled())
        return false; // the pane takes the click through its own click handling

    CCMArea* handler = area;
    LPane* handlerPane = window;
    for (LPane* pane = deepest; pane && pane != window; pane = pane->GetSuperView()) {
        if (auto* viewArea = dynamic_cast<CCMArea*>(pane)) {
            handler = viewArea;
            handlerPane = pane;
            break;
        }
    }
    SMouseDownEvent event;
    event.macEvent = mouseDown;
    event.macEvent.modifiers |= controlKey; // it is a contextual click now, however it began
    event.wherePort = port;
    event.whereLocal = handlerPane == window ? port : handlerPane->mapFrom(window, port);
    handler->HandleContextClick(event);
    return true;
}
