#pragma once

#include "LPane.h"
#include "MacTypes.h"

#include <QString>
#include <QStringList>

class LMenu;
class LStdPopupMenu;

// The shapes of a criteria row's value editor.
enum class EEditorKind { None, Text, Keywords, Date, Number, Code, Flag, Menu };

// Menus of the search window and its rows.
enum : ResIDT {
    kSearchFieldMenu = 212,
    kBatchFieldMenu = 224,
    kSearchResultMenu = 211,
    kSourceMenu = 215,
    kDuplicateResultMenu = 221,
    kBatchResultMenu = 223,
    kTextTestMenu = 216,
    kNumberTestMenu = 217,
    kFlagTestMenu = 218,
    kCodeTestMenu = 219,
    kDateTestMenu = 220,
    kKeywordTestMenu = 229,
    kValueTestMenu = 152,
    kValidatesTestMenu = 237,
    kFileStateTestMenu = 238,
    kUrgencyValueMenu = 210,
    kViewerValueMenu = 225,
    kUrgencyLabelMenu = 227,
    kTextActionMenu = 147,
    kSetActionMenu = 148,
    kListActionMenu = 149,
    kNumberActionMenu = 150,
    kTurnActionMenu = 151,
    kAddRemoveActionMenu = 153,
    kFileActionMenu = 156,
    kFileTargetMenu = 157,
    kCaseValueMenu = 234,
    kRemoveActionMenu = 235,
    kThumbnailActionMenu = 236,
};

// The editor a search row shows for a field, and the one a batch row shows.
// None for a field the row cannot edit (it is left out of the row's field menu).
EEditorKind SearchEditorKind(SInt32 key);
EEditorKind BatchEditorKind(SInt32 key);

// The operator (or action) menu and the value menu of a field's editor; 0 for none.
ResIDT SearchSelectorMenu(SInt32 key);
ResIDT SearchValueMenu(SInt32 key);
ResIDT BatchSelectorMenu(SInt32 key);
ResIDT BatchValueMenu(SInt32 key);

// A menu resource, loaded once for the program's run. The field menus of the rows
// (212, 224) come without the fields their rows have no editor for, and without
// a separator that would then stand first, last or doubled. 'nilP' when the
// resource is missing.
const LMenu& CachedMenu(ResIDT menuID);
// How many menus were loaded so far, and forgetting them (rows in use must go
// first): for measuring that rows share their menus.
SInt32 CountCachedMenuLoads();
void ForgetCachedMenus();

// A popup shows a menu: its texts, separators and the item for a command.
void FillPopupFromMenu(LStdPopupMenu& popup, const LMenu& menu);
// The command of the popup's chosen item in the menu; 0 when out of range.
CommandT PopupCommand(const LStdPopupMenu& popup, const LMenu& menu);
// Chooses the menu's item of a command quietly; false (the popup unchanged) when
// no item carries it.
bool SetPopupToCommand(LStdPopupMenu& popup, const LMenu& menu, CommandT command);

// A pane of a view by ID as the class it should be; null when missing (or no view).
template <class T> T* FindPaneAs(LPane* view, PaneIDT id)
{
    return view ? dynamic_cast<T*>(view->FindPaneByID(id)) : nullptr;
}
