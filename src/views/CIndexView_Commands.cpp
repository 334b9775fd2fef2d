// The index view's commands.
#include "CIndexView.h"

#include "CIndexItem.h"
#include "LMenuBar.h"

namespace {
constexpr CommandT cmd_GetInfo = 1010;
}

bool CIndexView::ObeyCommand(CommandT command, void* ioParam)
{
    SInt16 menuID = 0, item = 0;
    if (IsSyntheticCommand(command, menuID, item) && menuID == kPatternMenuID) {
        SetTheme(item, true);
        return true;
    }
    if (command == cmd_GetInfo) {
        // Each selected item of the current list shows its info window.
        for (SInt32 index = 1; index <= CountItems(); ++index) {
            CIndexItem* shown = nullptr;
            if (GetItemAt(index, shown) && shown && shown->IsHilited())
                shown->ShowInfoWindow(this, this);
        }
        return true;
    }
    return LCommander::ObeyCommand(command, ioParam);
}

void CIndexView::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark,
    Str255& outName)
{
    SInt16 menuID = 0, item = 0;
    if (IsSyntheticCommand(command, menuID, item) && menuID == kPatternMenuID) {
        // The item of the present theme carries the check mark.
        outEnabled = true;
        outUsesMark = true;
        outMark = item == mTheme ? UInt16(checkMark) : UInt16(noMark);
        return;
    }
    if (command == cmd_PatternMenu) {
        outEnabled = true;
        return;
    }
    if (command == cmd_GetInfo) {
        outEnabled = CountSelectedItems() > 0;
        return;
    }
    if (command == cmd_Print) { // the document prints the view, when there is something to print
        outEnabled = CountItems() > 0;
        return;
    }
    LCommander::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
}
