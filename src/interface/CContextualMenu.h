#pragma once

#include "CParentWindow.h"

#include <QCursor>
#include <QVariant>

class QAbstractItemView;
class QAction;
class QKeyEvent;
class QMenu;

// Results of CCMArea::HandleContextClick.
enum : SInt32 { cmResult_NotHandled = 0, cmResult_NothingChosen = 1, cmResult_Handled = 2 };

// A window or view that offers a contextual menu: a right click (or a click with
// the control key, or a press-and-hold when the program allows it) builds a menu
// from the parent area's items and the area's own, shows it, and sends the chosen
// command to the target commander.
class CCMArea {
public:
    explicit CCMArea(CCMArea* parentArea = nullptr);
    virtual ~CCMArea() = default;

    virtual void SetParentArea(CCMArea* parentArea) { mParentArea = parentArea; }
    CCMArea* GetParentArea() const { return mParentArea; }

    virtual SInt32 HandleContextClick(const SMouseDownEvent& event);
    // The menu asked for from the keyboard (Shift+F10, the Menu key), shown at a
    // global point as a contextual click there would show it.
    SInt32 ShowContextMenuAt(QPoint globalWhere);
    // What the menu is about (for the desktop's own menu services); the parent's
    // when the area has none.
    virtual void GetSelection(QVariant& ioSelection);
    virtual void PrepareMenu(const EventRecord& event) { Q_UNUSED(event); }
    virtual void MenuDone(const EventRecord& event, SInt32 result, CommandT command);
    virtual void AddItems(QMenu* menu);
    virtual void AddOwnItems(QMenu* menu) { Q_UNUSED(menu); }
    virtual void CleanUp() {}
    virtual bool IncludeParentItems() { return true; }
    virtual bool AllowPressAndHold(const EventRecord& event);
    // A help item at the menu's end when the type is not 0.
    virtual UInt32 GetHelpType() { return 0; }
    virtual void GetHelpString(QString& outText) { outText.clear(); }
    virtual void HelpChosen() {}

private:
    SInt32 RunMenu(const EventRecord& record);

    CCMArea* mParentArea;
};

// A parent window with a contextual menu; regular windows offer "Close" in it.
class CCMWindow : public CParentWindow, public CCMArea {
public:
    CCMWindow(const SPaneInfo& info, UInt32 attributes, const QString& title, LCommander* superCommander);
    explicit CCMWindow(const LLayoutData& data);

    void Click(SMouseDownEvent& event) override;
    void AddOwnItems(QMenu* menu) override;
};

// Menu builders. Items carry their command as the action's data.
// Copies the menu bar's item of the command when the target chain enables it (or
// `force`); false when it is not in the menu bar or not appended.
bool AppendCommandItem(QMenu* menu, CommandT command, bool force = false);
// Gives `item` the submenu of that menu resource; its items carry their commands,
// or the synthetic command -(ID x 65536) - i. A menu that cannot be read throws.
bool AttachSubmenuWithCommands(QMenu* menu, QAction* item, ResIDT submenuID);
bool AttachSubmenu(QMenu* menu, QAction* item, QMenu* submenu);
// Each command item of the menu is enabled, and checked, as the target chain says.
void ApplyCommandStatuses(QMenu* menu);
QAction* AppendMenuItemWithCommand(QMenu* menu, const QString& text, CommandT command);
// A menu item's text that shows as it stands: an "&" in it is no mnemonic.
QString PlainMenuText(const QString& text);
void AppendMenuSeparator(QMenu* menu);
// Drops a separator that follows another, then a leading one.
void RemoveExtraSeparators(QMenu* menu);
// The command an item carries (cmd_Nothing for none).
CommandT MenuItemCommand(const QAction* item);
bool IsMenuSeparator(const QAction* item);

// Shift+F10 and the Menu key, which ask for the contextual menu of what has the keyboard.
bool IsContextualMenuKey(const QKeyEvent& key);
// Where a keyboard-asked menu of a list shows: its current (else first selected)
// row, in the viewport's coordinates, or its top left corner when none shows.
QPoint KeyboardMenuPoint(const QAbstractItemView& list);

// Process-wide set-up: contextual menus exist from here on, their cursor is
// loaded, right clicks in the program's windows reach their areas, and the menu
// keys reach what has the keyboard as a keyboard contextual-menu event.
void InitContextualMenuSupport();
bool HasContextualMenus();
void LoadContextualMenuCursor();
const QCursor& GetContextualMenuCursor();
// Shows the contextual-menu cursor over a widget (null: the one under the mouse).
void SetContextualMenuCursor(QWidget* widget = nullptr);
// Press-and-hold: off unless the program turns it on; the delay in ticks (below 1:
// the double-click interval).
void SetPressAndHold(bool on);
bool GetPressAndHold();
void SetPressAndHoldDelay(SInt32 ticks);
// Waits while the button stays down at the press's place; true when it is still
// down when the delay is over.
bool IsPressAndHold(const EventRecord& mouseDown);
// The application-level dispatch of a press on `widget` (the deepest widget
// under it): true when an area took it.
bool HandleContextualClick(const EventRecord& mouseDown, QWidget* widget);
