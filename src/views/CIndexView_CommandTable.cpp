// The index view's command table: what each command of the menu bar, the
// toolbar and the contextual menu does, and when it is enabled.
#include "CIndexView.h"

#include "CFileBrowserListView.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexToolbar.h"
#include "DesktopServices.h"
#include "MediaFactory.h"
#include "LMenuBar.h"
#include "LocalizedStrings.h"
#include "OpenWithMenu.h"
#include "PrefKeys.h"
#include "StoredSettings.h"
#include "Preferences.h"
#include "CExportFilesTask.h"
#include "CExportXMLTask.h"
#include "ThreadUtilities.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <algorithm>

namespace {

// The selected items of the current list, in its order, or the whole list when
// none is selected.
std::vector<CIndexItem*> SelectionOrAll(const CIndexView& view)
{
    std::vector<CIndexItem*> items = view.GetModel().SelectedItems();
    if (items.empty())
        items.assign(view.GetItemList().begin(), view.GetItemList().end());
    return items;
}

// The field key of an item of the field menu (its items carry the keys as commands).
SInt32 FieldMenuKey(SInt16 item)
{
    static const std::unique_ptr<LMenu> fields = LMenu::Load(kFieldMenuID);
    const CommandT key = fields->CommandFromIndex(item);
    return key >= kFirstColumnCommand && key <= kLastColumnCommand ? key : 0;
}

// A still image the desktop can show: not a movie or sound, a font, or a page
// description (PDF, EPS), which desktops do not take as their picture.
bool IsDesktopPictureType(OSType type)
{
    return IsSupportedMediaType(type) && !IsMovieFileType(type) && !IsSoundMediaType(type) && !IsFontMediaType(type)
        && type != 'PDF ' && type != 'EPSF';
}

void SetName(Str255& outName, const QString& key)
{
    QStringToPString(CopyLocalizedString(key), outName);
}

void SetMark(Boolean& outUsesMark, UInt16& outMark, bool marked)
{
    outUsesMark = true;
    outMark = marked ? UInt16(checkMark) : UInt16(noMark);
}

} // namespace

bool CIndexView::ObeyCommand(CommandT command, void* ioParam)
{
    if (!mModel)
        return false;
    // Under the lock nothing of the view runs; full screen ends only with the password.
    if (gIndexWindowLocked) {
        if (command == cmd_ToggleFullScreen)
            LeaveFullScreen();
        return true;
    }
    SInt16 menuID = 0, item = 0;
    if (IsSyntheticCommand(command, menuID, item)) {
        switch (menuID) {
        case kPatternMenuID:
            SetTheme(item, true);
            return true;
        case kSortFieldMenuID:
            if (SInt32 field = FieldMenuKey(item))
                SortBy(field);
            return true;
        case kRatingMenuID:
            RateSelectedItems(item, nullptr);
            return true;
        case kOpenWithMenuID:
            if (const OpenWithEntry* entry = OpenWithMenuEntry(item)) {
                OpenSelectedItemsWith(entry->desktopId);
                return true;
            }
            break; // not an application: the chain's
        default:
            break;
        }
        return LCommander::ObeyCommand(command, ioParam);
    }
    if (command >= kFirstSortCommand && command <= kLastSortCommand) {
        SortBy(command - kSortCommandOffset);
        return true;
    }
    if (command >= kFirstColumnCommand && command <= kLastColumnCommand) {
        ToggleColumn(command);
        return true;
    }
    if (command >= kFirstStoredSetting && command <= kLastStoredSetting) {
        RunStoredSetting(*mModel, command, nullptr, GetContainingWindow());
        return true;
    }

    switch (command) {
    case cmd_Copy:
        if (CountSelectedItems() > 1) {
            // Several items go as their files, as a file manager copies them.
            auto* data = new QMimeData;
            AddDragFlavors(*data, GetModel().SelectedItems());
            QGuiApplication::clipboard()->setMimeData(data);
            return true;
        }
        [[fallthrough]];
    case cmd_Paste: {
        CIndexItem* first = nullptr;
        if (!GetItemAt(GetFirstSelectedIndex(), first) || !first)
            ThrowOSErr_(err_AssertFailed, "no item selected");
        if (command == cmd_Copy) {
            first->CopyToClipboard(QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier);
        } else {
            first->PasteThumbnail(GetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile")));
            RefreshItem(mModel->GetIndexOfItem(first));
        }
        return true;
    }
    case cmd_Clear:
        RemoveSelection(false, true, true);
        return true;
    case cmd_TrashSelection:
        RemoveSelection(true, true, true);
        return true;
    case cmd_SelectAll:
        SelectAll();
        return true;
    case cmd_DeselectAllItems:
        DeselectAll();
        return true;
    case cmd_ItemInfo:
        ShowSelectedItemsInfo();
        return true;
    case cmd_RevealItems:
        for (CIndexItem* selected : GetModel().SelectedItems())
            selected->RevealInFinder();
        return true;
    case cmd_RunItemOperation: // each item's own operation: it opens in the viewer
    case cmd_OpenSelectedItems:
        OpenSelectedItems();
        return true;
    case cmd_ShowSelectedOnly:
        ShowSelectedOnly();
        return true;
    case cmd_ShowAllItems:
        ShowAllItems(true);
        return true;
    case cmd_SelectProblemItems:
        SelectItemsWithProblems();
        return true;
    case cmd_ReverseSortOrder:
        ReverseSortOrder();
        return true;
    case cmd_IndexProperties:
        ShowPropertyDialog();
        return true;
    case cmd_IndexComment: // the comment window opens, or closes when open
        if (mCommentWindow && mCommentWindow->IsVisible())
            mCommentWindow->Hide();
        else
            ShowCommentWindow();
        return true;
    case cmd_LockScreen:
        LockScreen();
        return true;
    case cmd_ToggleFullScreen:
        if (IsFullScreen())
            LeaveFullScreen();
        else
            SetFullScreen(true);
        return true;
    case cmd_SharedWindow:
        CFileBrowserListView::ToggleSharedWindow(LCommander::GetTopCommander());
        return true;
    case cmd_SetDesktopPicture:
        SetDesktopPicture(nullptr);
        return true;
    case cmd_ActivateFonts:
    case cmd_DeactivateFonts:
        SetSelectedFontsActive(command == cmd_ActivateFonts);
        return true;
    case cmd_DownloadAddresses:
        OpenAddress();
        return true;
    case cmd_DownloadAgain:
        DownloadAgain();
        return true;
    case cmd_UploadItems:
        UploadItems();
        return true;
    case cmd_NewIndexFromSelection:
        NewIndexFromSelection();
        return true;
    case cmd_ExportFiles:
        StartExportFilesTask(*mModel, SelectionOrAll(*this), IsFullScreen() ? nullptr : GetContainingWindow());
        return true;
    case cmd_ExportXML: {
        const IndexXMLData index { GetWindowTitle(), GetIndexURLText(), GetComment(), CountSelectedItems() > 0 };
        StartExportXMLTask(*mModel, SelectionOrAll(*this), index, this);
        return true;
    }
    default:
        return LCommander::ObeyCommand(command, ioParam);
    }
}

void CIndexView::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark,
    Str255& outName)
{
    if (!mModel)
        return;
    // Locked, or with a dialog of the view open: nothing of the view (nor of the window) is enabled.
    if (gIndexWindowLocked || mPropertyDialog)
        return;
    if (!FindOwnCommandStatus(command, outEnabled, outUsesMark, outMark, outName)) {
        LCommander::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
        return;
    }
    // The window's toolbar shows the same state for the command's item.
    LWindow* window = GetContainingWindow();
    if (CIndexDoc* document = window ? CIndexDoc::FindDocForWindow(window) : nullptr; document && document->GetToolbar())
        document->GetToolbar()->UpdateCommandStatus(command, outEnabled, outUsesMark && outMark != noMark);
}

bool CIndexView::FindOwnCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark,
    Str255& outName)
{
    const bool locked = IsItemListLocked();
    SInt16 menuID = 0, item = 0;
    if (IsSyntheticCommand(command, menuID, item)) {
        switch (menuID) {
        case kPatternMenuID: // the present theme's item is checked
            outEnabled = true;
            SetMark(outUsesMark, outMark, item == mTheme);
            return true;
        case kSortFieldMenuID: {
            const SInt32 field = FieldMenuKey(item);
            outEnabled = field != 0 && !locked;
            SetMark(outUsesMark, outMark, field != 0 && field == GetSortKey() && GetSortOrder() != kSortOrderNone);
            return true;
        }
        case kRatingMenuID:
            outEnabled = CountSelectedItems() > 0 && !locked;
            return true;
        case kOpenWithMenuID:
            if (!OpenWithMenuEntry(item))
                return false;
            outEnabled = CountSelectedItems() > 0;
            return true;
        default:
            return false;
        }
    }
    if (command >= kFirstSortCommand && command <= kLastSortCommand) {
        outEnabled = !locked;
        SetMark(outUsesMark, outMark, command - kSortCommandOffset == GetSortKey() && GetSortOrder() != kSortOrderNone);
        return true;
    }
    if (command >= kFirstColumnCommand && command <= kLastColumnCommand) {
        outEnabled = true;
        SetMark(outUsesMark, outMark, HasColumn(command));
        return true;
    }
    if (command >= kFirstStoredSetting && command <= kLastStoredSetting) {
        outEnabled = !locked && CanRunStoredSetting(*mModel, command);
        return true;
    }

    const SInt32 selected = CountSelectedItems();
    const SInt32 count = CountItems();
    switch (command) {
    case cmd_PatternMenu:
    case cmd_SortFieldMenu:
    case cmd_ColumnsMenu:
    case cmd_IndexProperties:
        outEnabled = true;
        return true;
    case cmd_DownloadAddresses:
        outEnabled = !locked;
        return true;
    case cmd_Print: // the document prints the view, when there is something to print
    case cmd_SelectAll:
    case cmd_DeselectAllItems:
    case cmd_SelectProblemItems:
        outEnabled = count > 0;
        return true;
    case cmd_Copy:
        outEnabled = selected > 0;
        return true;
    case cmd_Paste: {
        // What is pasted is a picture: without one on the clipboard there is nothing to paste.
        const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
        outEnabled = selected == 1 && !locked && clipboard && clipboard->hasImage();
        return true;
    }
    case cmd_Clear:
        outEnabled = selected > 0 && !locked;
        SetName(outName, Pref::ConfirmDelete.Get() ? QStringLiteral("600:70") : QStringLiteral("600:71"));
        return true;
    case cmd_TrashSelection:
        outEnabled = selected > 0 && !locked;
        SetName(outName, Pref::ConfirmDelete.Get() ? QStringLiteral("600:61") : QStringLiteral("MOVE_TO_TRASH_ITEM"));
        return true;
    case cmd_ItemInfo:
    case cmd_RevealItems:
    case cmd_OpenSelectedItems:
    case cmd_RunItemOperation:
    case cmd_ShowSelectedOnly:
    case cmd_NewIndexFromSelection:
        outEnabled = selected > 0;
        return true;
    case cmd_ExportFiles: // the selection, or else the whole list
    case cmd_ExportXML:
    case cmd_UploadItems:
        outEnabled = count > 0;
        return true;
    case cmd_LockScreen:
        outEnabled = true;
        SetName(outName, HasPassword() ? QStringLiteral("600:122") : QStringLiteral("600:123"));
        return true;
    case cmd_IndexComment:
    case cmd_RateItems:
        outEnabled = true;
        return true;
    case cmd_ReverseSortOrder:
        outEnabled = GetSortOrder() != kSortOrderNone && count > 0 && !locked;
        return true;
    case cmd_SetDesktopPicture: {
        CIndexItem* first = nullptr;
        outEnabled = selected == 1 && GetItemAt(GetFirstSelectedIndex(), first) && first
            && IsDesktopPictureType(first->GetFileTypeCode()) && CanSetDesktopPicture();
        return true;
    }
    case cmd_ActivateFonts:
    case cmd_DeactivateFonts:
        outEnabled = mModel->CountSelectedFonts() > 0;
        return true;
    case cmd_DownloadAgain: // the selected remote items, or with none selected those whose copy is gone
        outEnabled = !locked && (selected > 0 ? mModel->CountSelectedRemoteItems() : mModel->CountGoneCopies()) > 0;
        return true;
    case cmd_ToggleFullScreen:
        outEnabled = true;
        SetMark(outUsesMark, outMark, IsFullScreen());
        return true;
    case cmd_SharedWindow:
        outEnabled = true;
        SetName(outName, CFileBrowserListView::IsSharedWindowVisible() ? QStringLiteral("600:124") : QStringLiteral("600:125"));
        return true;
    case cmd_ShowAllItems:
        outEnabled = IsFiltered();
        return true;
    default:
        return false;
    }
}
