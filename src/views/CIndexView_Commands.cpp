// The index view's commands.
#include "CIndexView.h"

#include "CIndexItem.h"
#include "LMenuBar.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "TaskServices.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {

enum : CommandT {
    cmd_GetInfo = 1010,
    cmd_Reveal = 1016,
    cmd_Comment = 1021,
    cmd_IndexProperties = 1056,
    cmd_DeselectAll = 1063,
    cmd_ExportFiles = 1058,
    cmd_ExportXML = 1059,
    cmd_FullScreen = 1068,
    cmd_OpenAddress = 1035,
};

// The selected items of a list, in order: the commands act on each, and acting
// on one may change the selection.
std::vector<CIndexItem*> SelectedItems(const TArray<CIndexItem*>& list)
{
    std::vector<CIndexItem*> selected;
    for (CIndexItem* item : list) {
        if (item && item->IsHilited())
            selected.push_back(item);
    }
    return selected;
}

// The selected items of the current list, in its order, or the whole list when
// none is selected.
std::vector<CIndexItem*> ItemsToExport(const CIndexView& view)
{
    std::vector<CIndexItem*> items = SelectedItems(view.GetItemList());
    if (items.empty())
        items.assign(view.GetItemList().begin(), view.GetItemList().end());
    return items;
}

} // namespace

bool CIndexView::ObeyCommand(CommandT command, void* ioParam)
{
    SInt16 menuID = 0, item = 0;
    if (IsSyntheticCommand(command, menuID, item) && menuID == kPatternMenuID) {
        SetTheme(item, true);
        return true;
    }
    switch (command) {
    case cmd_Copy:
    case cmd_Paste: {
        CIndexItem* first = nullptr;
        if (!GetItemAt(GetFirstSelectedIndex(), first) || !first)
            ThrowOSErr_(err_AssertFailed, "no item selected");
        if (command == cmd_Copy) {
            first->CopyToClipboard(QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier);
        } else {
            first->PasteThumbnail(GetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile")));
            RefreshItem(GetIndexOfItem(first));
        }
        return true;
    }
    case cmd_Clear:
        RemoveSelection(false, true, true);
        return true;
    case cmd_SelectAll:
        SelectAll();
        return true;
    case cmd_DeselectAll:
        DeselectAll();
        return true;
    case cmd_GetInfo:
        for (CIndexItem* selected : SelectedItems(GetItemList()))
            selected->ShowInfoWindow(this, this);
        return true;
    case cmd_Reveal:
        for (CIndexItem* selected : SelectedItems(GetItemList()))
            selected->RevealInFinder();
        return true;
    case cmd_IndexProperties:
        ShowPropertyDialog();
        return true;
    case cmd_Comment: // the comment window opens, or closes when open
        if (mCommentWindow && mCommentWindow->IsVisible())
            mCommentWindow->Hide();
        else
            ShowCommentWindow();
        return true;
    case cmd_FullScreen:
        SetFullScreen(!IsFullScreen());
        LCommander::SetUpdateCommandStatus(true);
        return true;
    case cmd_ExportFiles:
        GetTaskServices().StartExportFilesTask(this, ItemsToExport(*this), IsFullScreen() ? nullptr : GetContainingWindow());
        return true;
    case cmd_OpenAddress:
        OpenAddress();
        return true;
    case cmd_ExportXML: {
        const TaskServices::IndexXMLData index { GetWindowTitle(), GetIndexURLText(), GetComment(), CountSelectedItems() > 0 };
        GetTaskServices().StartExportXMLTask(this, ItemsToExport(*this), index);
        return true;
    }
    default:
        return LCommander::ObeyCommand(command, ioParam);
    }
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
    const SInt32 selected = CountSelectedItems();
    const bool locked = IsItemListLocked();
    switch (command) {
    case cmd_PatternMenu:
    case cmd_IndexProperties:
        outEnabled = true;
        return;
    case cmd_Print: // the document prints the view, when there is something to print
    case cmd_SelectAll:
    case cmd_DeselectAll:
        outEnabled = CountItems() > 0;
        return;
    case cmd_Copy:
        outEnabled = selected == 1;
        return;
    case cmd_Paste: {
        // What is pasted is a picture: without one on the clipboard there is nothing to paste.
        const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
        outEnabled = selected == 1 && !locked && clipboard && clipboard->hasImage();
        return;
    }
    case cmd_Clear:
        outEnabled = selected > 0 && !locked;
        QStringToPString(CopyLocalizedCFString(600, GetPrefBoolean(QStringLiteral("ConfirmDelete")) ? 70 : 71), outName);
        return;
    case cmd_GetInfo:
    case cmd_Reveal:
        outEnabled = selected > 0;
        return;
    case cmd_ExportFiles: // the selection, or else the whole list
    case cmd_ExportXML:
        outEnabled = CountItems() > 0;
        return;
    case cmd_OpenAddress:
        outEnabled = !locked;
        return;
    case cmd_FullScreen:
        outEnabled = true;
        outUsesMark = true;
        outMark = IsFullScreen() ? UInt16(checkMark) : UInt16(noMark);
        return;
    default:
        LCommander::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
}
