#pragma once

#include "CDASAndDrop.h"
#include "CContextualMenu.h"
#include "CIndexListView.h"
#include "CIndexModel.h"
#include "CoalescedCall.h"
#include "IndexGridGeometry.h"
#include "IndexTheme.h"
#include "IndexViewServices.h"
#include "LBroadcaster.h"
#include "LCommander.h"
#include "LPeriodical.h"
#include "LDialogBox.h"
#include "LView.h"
#include "Liveness.h"
#include "PString.h"
#include "TArray.h"
#include "TaskOwnerView.h"

#include <QFont>
#include <QHash>
#include <QPointer>
#include <QRect>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <memory>
#include <optional>
#include <span>
#include <vector>

class CCacheTask;
class CDragTask;
class CIndexItem;
class CInPlaceEditField;
class CUpdateTask;
class QItemSelection;
class QVariantAnimation;

// Messages the index view broadcasts (besides TaskOwnerView's 3001 and 3002).
inline constexpr MessageT msg_FilterEnded = 3003; // 0
inline constexpr MessageT msg_ValueIndexRebuilt = 3005; // 0
inline constexpr MessageT msg_FilterShown = 3031; // null
inline constexpr MessageT msg_ViewFrameChanged = 8006; // 0
inline constexpr MessageT msg_TypeSelectChanged = 3019; // the typed text as a Pascal string
// Heard from batch tasks that changed items.
inline constexpr MessageT msg_BatchChangedItems = 8015;
// The in-place rename ended (parameter: the field's text, a QString).
inline constexpr MessageT msg_RenameEnded = 3021;

// The part some items give for their picture besides kItemPartPicture; the grid
// treats both alike.
inline constexpr SInt16 kItemPartPictureToo = 3;

// The grid's cursors: resource cursors by ID, the arrow and the contextual-menu cursor.
enum : ResIDT {
    kCursorArrow = 0,
    kCursorContextualMenu = -3,
    kCursorRemove = 302, // a click moves the item's file to the Trash
    kCursorCopy = 304, // a drag copies
    kCursorMarquee = 308,
    kCursorInfo = 312, // a click shows the item's information
    kCursorErrorBadge = 313,
    kCursorText = 314, // a click edits the line in place
};

// The field key that means "all fields" in 3001.
inline constexpr SInt32 kAllFieldsKey = kAllItemFields;

// Option word bits of the view.
enum : UInt32 {
    kViewShowFileExtension = 0x40000000, // "ShowFileExtension"
    kViewOpenFirstItemOnOpen = 0x08000000, // "IndexShowSlideShowOnOpen"
    kViewShowCommentOnOpen = 0x04000000, // "IndexShowInfoOnOpen"
    kViewStoreMediaFile = 0x02000000, // "IndexStoreMediaFile"
    kViewRemoveMediaFile = 0x01000000, // "IndexRemoveMediaFile"
};

// View modes: 0 the thumbnail grid, 1019 (its command) the extended view.
inline constexpr SInt32 kThumbnailViewMode = 0;
inline constexpr SInt32 kExtendedViewMode = 1019;

// Messages of the property dialog and the password button.
inline constexpr MessageT msg_PropertyDialogOK = 1056;
inline constexpr MessageT msg_ChangePassword = 3004;
// The theme full screen shows the grid in.
inline constexpr SInt32 kFullScreenTheme = 3;
// The sort order kept in settings.xml when the list keeps no order.
inline constexpr SInt32 kSortOrderNone = 2;

// The index view's commands (besides the framework's Copy, Paste, Clear and Select All).
enum : CommandT {
    cmd_OpenWithItem = 1001, // carries the Open With menu
    cmd_ShowSelectedOnly = 1005,
    cmd_ItemInfo = 1010,
    cmd_RevealItems = 1016,
    cmd_LockScreen = 1020,
    cmd_IndexComment = 1021,
    cmd_ReverseSortOrder = 1027,
    cmd_TrashSelection = 1028,
    cmd_ViewAsItem = 1030, // carries menu 140
    cmd_SidePanesItem = 1031, // carries menu 141
    cmd_SetDesktopPicture = 1033,
    cmd_DownloadAddresses = 1035,
    cmd_DownloadAgain = 1036,
    cmd_UploadItems = 1037,
    cmd_SelectProblemItems = 1039,
    cmd_ColumnsMenu = 1040, // carries the field menu: columns
    cmd_IndexProperties = 1056,
    cmd_ExportFiles = 1058,
    cmd_ExportXML = 1059,
    cmd_ActionsItem = 1061, // carries the actions menu; alone it opens the batch panel
    cmd_NewIndexFromSelection = 1062,
    cmd_DeselectAllItems = 1063,
    cmd_ActivateFonts = 1064,
    cmd_DeactivateFonts = 1066,
    cmd_RunItemOperation = 1067,
    cmd_ToggleFullScreen = 1068,
    cmd_SharedWindow = 1071,
    cmd_ShowAllItems = 1079,
    cmd_OpenSelectedItems = 1091,
    cmd_SortFieldMenu = 1098, // carries the field menu: sort keys
    cmd_RateItems = 3029, // carries the rating menu
};
// Sort by a field: the field key plus kSortCommandOffset (6000).
inline constexpr CommandT kFirstSortCommand = 10001;
inline constexpr CommandT kLastSortCommand = 12999;
// Show or hide a field's column: the field key itself.
inline constexpr CommandT kFirstColumnCommand = 4001;
inline constexpr CommandT kLastColumnCommand = 6999;
// Stored searches (9000-9499) and batches (9500-9999).
inline constexpr CommandT kFirstStoredSetting = 9000;
inline constexpr CommandT kLastStoredSetting = 9999;
// The menus the view fills or answers.
enum : ResIDT {
    kViewAsMenuID = 140,
    kSidePanesMenuID = 141,
    kSortFieldMenuID = 146,
    kFieldMenuID = 212,
    kRatingMenuID = 228,
    kOpenWithMenuID = 303,
    kActionsMenuID = 304,
};

// The pane that shows an open index's items as a grid (class ID 'IndV').
//
// What the index is (items, lists, sort, selection, value index, lock, counts,
// modified state, stored state) lives in its CIndexModel, which someone else owns:
// the document of the window the view is in, or whoever made a view outside a
// window. The view keeps
// the operation names the rest of the program calls, as thin calls onto the model,
// and what is a view's own: drawing, geometry, hit testing, renaming in place,
// dialogs, and its two background tasks: the cache task (value index entries) and
// the update task (cells drawn again, thumbnails made).
//
// Every change of state is broadcast (3001 items changed, 3002 state changed,
// 3003 filter ended, 3005 value index rebuilt, 3031 filter shown, 8006 frame
// or settings changed), and the view's tasks tell it their progress with
// 8008-8014 through the same broadcaster.
//
// Changing operations refuse while a task holds the list locked: RemoveItem
// throws 100060, the others do nothing.
class CIndexView : public LView,
                   public LCommander,
                   public LListener,
                   public TaskOwnerView,
                   public IndexViewServices,
                   public AItemListLockable,
                   public CDASAndDrop,
                   public CCMArea {
    Q_OBJECT

public:
    static constexpr ClassIDT class_ID = 'IndV';

    // Made by a window's layout: it shows the model of the document the window is
    // built for (throws 'nilP' outside such a window).
    explicit CIndexView(const LLayoutData& data);
    // A view of a model its maker owns; the model outlives the view or is released first.
    CIndexView(const SPaneInfo& info, CIndexModel& model);
    ~CIndexView() override;
    // The index view a pane or other object is (an index window's 'IndV'); null for anything else.
    static CIndexView* ViewOfPane(const QObject* pane);

    // --- Items ------------------------------------------------------------------
    // Inserts at a 1-based index (kInsertAtEnd appends; a list kept sorted puts
    // it in its place) and answers the index. With refresh the cell is drawn;
    // unless quiet the item is queued for the cache task and its file size
    // counted (quiet items belong to another index: search results).
    SInt32 InsertItem(CIndexItem* item, SInt32 index, bool refresh, bool quiet);
    // Adds a file as a new item, a folder through a folder import task; an index
    // package is not imported (3002 only), nor an Internet location file, nor, with
    // "ImportSkipDuplicates", a file already in the index. The new item's index, or 0.
    SInt32 ImportURL(const QUrl& url, SInt32 index, bool refresh);
    // Removes the item at the index (always true). Throws 100060 while the list is
    // locked and 100042 for an item in use. With trashFile the media file goes to
    // the Trash first (a stored file is deleted after the next save instead).
    bool RemoveItem(SInt32 index, bool trashFile, bool deleteItem, bool refresh);
    // Asks whether `count` items go from the index (with their files to the Trash).
    static bool AskToRemove(SInt32 count, bool trashFiles);
    // Removes every selected item; asks first with confirm and "ConfirmDelete".
    void RemoveSelection(bool trashFiles, bool refresh, bool confirm);
    // Stops the view's tasks and deletes every item (closing the index).
    void RemoveAllItems();

    SInt32 CountItems() const { return mModel->CountItems(); }
    SInt32 CountAllItems() const { return mModel->CountAllItems(); }
    SInt32 CountSelectedItems() const { return mModel->CountSelectedItems(); }
    SInt32 GetFirstSelectedIndex() const { return mModel->GetFirstSelectedIndex(); }
    // The current list: what tasks and commands walk.
    const TArray<CIndexItem*>& GetItemList() const { return mModel->GetItemList(); }
    const TArray<CIndexItem*>& GetAllItems() const { return mModel->GetAllItems(); }
    bool GetItemAt(SInt32 index, CIndexItem*& outItem) const { return mModel->GetItemAt(index, outItem); }
    // True when an item of the current list has this URL.
    bool ContainsURL(const QUrl& url) const { return mModel->ContainsURL(url); }
    UInt64 GetTotalFileSize() const { return mModel->GetTotalFileSize(); }

    // Sorts the current list by its comparator (nothing while locked).
    void SortItems();
    SInt32 GetSortKey() const { return mModel->GetSortKey(); }
    // 2 when the current list does not keep itself sorted, else 1 descending, 0 ascending.
    SInt32 GetSortOrder() const { return mModel->GetSortOrder(); }
    // Sorts by a field key from now on (nothing while locked).
    void SetSortKey(SInt32 key, bool descending);
    bool GetKeepSorted() const { return mModel->GetKeepSorted(); }
    void SetKeepSorted(bool keepSorted) { mModel->SetKeepSorted(keepSorted); }

    // --- The model ----------------------------------------------------------------------
    CIndexModel& GetModel() const { return *mModel; }
    // False once the model's owner let go of it (the view waits to be deleted).
    bool HasModel() const { return mModel != nullptr; }
    // The model goes: the view's tasks are stopped first, since they may hold its
    // items, and the view shows nothing from then on.
    void ReleaseModel();

    // --- The lock and the counts ------------------------------------------------
    void LockItemList() override { mModel->LockItemList(); }
    void UnlockItemList() override { mModel->UnlockItemList(); }
    bool IsItemListLocked() const { return mModel->IsItemListLocked(); }
    void SetBusy(bool busy) { mModel->SetBusy(busy); }
    bool IsBusy() const { return mModel->IsBusy(); }
    SInt16 AddRunningTask(bool search) { return mModel->AddRunningTask(search); }
    SInt16 RemoveRunningTask(bool search) { return mModel->RemoveRunningTask(search); }
    SInt16 CountRunningTasks() const { return mModel->CountRunningTasks(); }
    SInt16 CountRunningSearches() const { return mModel->CountRunningSearches(); }
    bool IsUpdating() const { return mModel->IsUpdating(); }
    void SetUpdating(bool updating) { mModel->SetUpdating(updating); }
    SInt32 GetViewState() const { return mModel->GetViewState(); }
    void SetViewState(SInt32 state) { mModel->SetViewState(state); }
    bool IsModified() const { return mModel->IsModified(); }
    // Stores the flag; the window's modified mark follows the model.
    void SetModified(bool modified) { mModel->SetModified(modified); }

    // --- Options, password, texts -------------------------------------------------
    bool TestFlags(UInt32 mask) const { return mModel->TestFlags(mask); }
    UInt32 GetFlags() const { return mModel->GetFlags(); }
    void SetFlags(UInt32 mask) { mModel->SetFlags(mask); }
    void ClearFlags(UInt32 mask) { mModel->ClearFlags(mask); }
    bool HasPassword() const { return mModel->HasPassword(); }
    // The password as stored (Mac Roman bytes, at most 255); empty clears it.
    void SetPassword(const QByteArray& password) { mModel->SetPassword(password); }
    const QByteArray& GetPassword() const { return mModel->GetPassword(); }
    bool GetKeepPasswordInKeychain() const { return mModel->GetKeepPasswordInKeychain(); }
    void SetKeepPasswordInKeychain(bool keep) { mModel->SetKeepPasswordInKeychain(keep); }
    // The index's comment and URL (its settings).
    const QString& GetComment() const { return mModel->GetSettings().comment; }
    void SetComment(const QString& comment) { mModel->SetComment(comment); }
    const QString& GetIndexURLText() const { return mModel->GetSettings().url; }
    void SetIndexURLText(const QString& url) { mModel->SetURLText(url); }

    // --- Settings: the model's settings record, shown ------------------------------------------
    // The settings were read or reset: the theme, the size of the current mode
    // (clamped to the frame), full screen when they ask for it; 8006 at the end.
    void ShowSettings();
    // The first item the grid shows now (1-based; 0 for none).
    SInt32 FindFirstVisibleItem() const;
    // The column lists (field keys) of the current mode.
    bool HasColumn(SInt32 field) const;
    void AddColumn(SInt32 field);
    void RemoveColumn(SInt32 field);
    void ClearColumns();
    const std::vector<SInt32>& GetColumns(SInt32 mode) const;
    // Replaces a mode's list by an array of numbers; 'nilP' for an entry that is none.
    void LoadColumns(SInt32 mode, const QVariantList& keys);
    SInt16 GetExtendedSize() const { return mModel->GetSettings().extendedSize; }
    SInt32 GetMinThumbnailSize() const;
    SInt32 GetMaxThumbnailSize() const;
    // Stores the size for the current mode (clamped to the frame) and lays the cells out.
    void SetThumbnailSize(SInt32 size, bool refresh);
    SInt32 GetTheme() const override { return mTheme; }
    // A new theme drops the patterns and colours of the old one (loaded again when
    // drawn); outside full screen it is the index's theme, kept in its settings.
    void SetTheme(SInt32 theme, bool refresh);
    // Full screen shows theme 3; the theme it replaced is the one kept in the settings.
    bool IsFullScreen() const { return mFullScreen; }
    void SetFullScreen(bool fullScreen);
    SInt32 GetSavedTheme() const { return mModel->GetSettings().theme; }
    // The window's content bounds (global) when full screen began.
    QRect GetSavedFrame() const { return mSavedFrame; }
    // 0 ascending, 1 descending; 2 (no order) leaves the list as it is.
    void SetSortOrder(SInt32 order);


    // --- The theme's look (CIndexView_Themes.cpp) ------------------------------------------
    // The theme's patterns and colours, loaded the first time they are asked for.
    const IndexThemeLook& GetThemeLook() const;
    const PixPattern& GetThemePattern() const { return GetThemeLook().pattern; }
    QColor ThemeColour(QPalette::ColorRole systemRole, int colourIndex) const;
    QColor TableColour(int colourIndex) const;
    // The pen takes the cells' text colour: the desktop's window text in theme 1,
    // else the theme's fourth colour.
    void SetForeColorForTheme(QPainter& painter) const;
    QColor GetEmptyTextColor() const;
    QColor GetBackgroundColor() const override;
    // The pattern, lined up with the image so that it scrolls with the cells.
    QBrush GetBackgroundBrush(qreal devicePixelRatio) const override;
    QColor GetTextColor() const override;
    QColor GetHighlightColor() const override;
    QColor GetLineColor() const override;
    bool HasOwnBackground() const override { return !FollowsPalette(); }
    // Theme 1, and the default theme under a dark palette, draw in the palette's colours.
    bool FollowsPalette() const;
    bool DrawsDarkPalette() const;
    QColor GetLabelColor() const override;
    QColor GetValueColor() const override;

    // --- Commands (CIndexView_CommandTable.cpp) -----------------------------------------
    // Every command of the menu bar, the toolbar and the contextual menu. While the
    // screen is locked, or a dialog of the view is open, every status stays
    // disabled; each status the view decides is also given to the window's toolbar.
    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark,
        Str255& outName) override;

    // --- What the commands do (CIndexView_Commands.cpp) ---------------------------------
    // Sorts by a field from now on, in the present direction, and scrolls to the
    // start (nothing while the list is locked).
    void SortBy(SInt32 field);
    // Turns the current list's sort direction round (nothing while locked or unsorted).
    void ReverseSortOrder();
    // Hides the field's column when the current mode shows it, else appends it.
    void ToggleColumn(SInt32 field);
    // The filter becomes the selected items of the index, in its order, titled 600:136.
    void ShowSelectedOnly();
    // Selects the items of the current list that have an error or a missing file;
    // 100038 when there are none.
    void SelectItemsWithProblems();
    // Opens each selected item of the current list in the viewer.
    void OpenSelectedItems();
    // An info window for each selected item (asked first when there are many).
    void ShowSelectedItemsInfo();
    // Opens the selected items' files in the application of that desktop id; an
    // empty id (or Orvex's own) opens them here.
    void OpenSelectedItemsWith(const QString& desktopId);
    // The item's file (the first selected item's for null) becomes the desktop picture.
    void SetDesktopPicture(CIndexItem* item);
    // Activates or deactivates the fonts of the selected font items (the model's
    // SetFontsActive); the first failure is thrown.
    void SetSelectedFontsActive(bool active);
    // Downloads the selected remote items again, or with none selected those whose
    // local copy is missing; answers how many downloads started.
    SInt32 DownloadAgain();
    // The items Download Again fetches.
    std::vector<CIndexItem*> ItemsToDownloadAgain() const;
    // Asks for an FTP address and uploads the selected items' files (all items
    // when none is selected).
    void UploadItems();
    // Uploads the items' files to the address (its password is not kept with the
    // items); answers how many uploads started.
    SInt32 UploadItemsTo(const std::vector<CIndexItem*>& items, const QUrl& address);
    // A new untitled index holding copies of the selected items, shown; answers its document.
    LCommander* NewIndexFromSelection();
    // The statuses the view decides for a command: false for one it leaves to the chain.
    bool FindOwnCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark,
        Str255& outName);

    // --- The screen lock and full screen (CIndexView_Lock.cpp) ----------------------------
    // The index window held full screen until its password is typed; without a
    // password the user is asked for one first, and an empty one locks nothing.
    void LockScreen();
    static bool IsScreenLocked();
    // Full screen off under the lock: the password is asked for first (false when
    // the lock stays).
    bool LeaveFullScreen();
    // In full screen the bars it hid show while the pointer is near the window's
    // top (or on a bar shown) and hide again elsewhere; the point is the window's.
    void AdjustFullScreenBars(QPoint windowPoint);
    // The locked window over every other, with the keyboard in the items it shows.
    void TakeScreenForLock();

    // --- The contextual menu (CIndexView_ContextMenu.cpp) --------------------------------
    void AddOwnItems(QMenu* menu) override;
    UInt32 GetHelpType() override;
    void GetHelpString(QString& outText) override;
    void HelpChosen() override;
    // The click's effect on the selection before the menu shows.
    void PrepareContextClick(QPoint local);
    // The menu asked for from the keyboard, over the first selected cell.
    void ShowKeyboardContextMenu();

    // --- Property dialog, comment window and password --------------------------------
    void ShowPropertyDialog();
    // Reads the open dialog back into the view and closes it; 'nilP' without one.
    void ApplyPropertyDialog();
    void ClosePropertyDialog();
    LDialogBox* GetPropertyDialog() const { return mPropertyDialog; }
    void ShowCommentWindow();
    LWindow* GetCommentWindow() const { return mCommentWindow; }
    // Checks the password against the keychain's entry or asks the user (true at
    // once without a password). Throws 100045 for a wrong one and 100006 (after
    // locking the list) when cancelled.
    bool VerifyPassword();
    // Asks for a new password (verifying the old one first); empty clears it. With
    // the property dialog open the dialog's OK sets it, and its Cancel drops it.
    void ChangePassword();
    // The keychain entry's name for this index: the package's path, else the window's title.
    QString GetKeychainAccount() const;
    // Asks for the password while the window is locked: the right one ends the
    // lock; a wrong one is reported and the lock stays, as it does on cancel.
    bool UnlockWithPassword();
    // Puts up a password dialog (994 or 995): false when cancelled. The typed
    // password as stored (Mac Roman, at most 255 bytes) and the remember box.
    bool AskPassword(ResIDT layoutID, QByteArray& outPassword, bool& outRemember);
    bool AskPasswordText(ResIDT layoutID, const QString& prompt, QString& outPassword, bool& outRemember);
    // The URL with the password the user gives for its account (kept in the
    // keyring when the user says so); empty when the user cancels.
    QUrl AskServerPassword(const QUrl& url);

    // --- The records of index.db ---------------------------------------------------------
    void SetStoredRecord(const CIndexItem* item, IndexStoredRecord record) { mModel->SetStoredRecord(item, record); }
    bool GetStoredRecord(const CIndexItem* item, IndexStoredRecord& outRecord) const
    {
        return mModel->GetStoredRecord(item, outRecord);
    }
    void ForgetStoredRecords() { mModel->ForgetStoredRecords(); }
    void SetIndexDbDamaged(bool damaged) { mModel->SetIndexDbDamaged(damaged); }
    bool IsIndexDbDamaged() const { return mModel->IsIndexDbDamaged(); }

    // --- Files deleted after the next save -----------------------------------------
    bool AddFileToDelete(const QUrl& file) { return mModel->AddFileToDelete(file); }
    const std::vector<QUrl>& GetPendingDeletions() const { return mModel->GetPendingDeletions(); }
    // Deletes them all (called by the write task once the package is written).
    void DeletePendingFiles() { mModel->DeletePendingFiles(); }

    // --- Value index (the fields of "MDIKeys") and filter ----------------------------
    using ValueSets = CIndexModel::ValueSets;
    void RebuildValueIndex() { mModel->RebuildValueIndex(); }
    // Rebuilds a built index and broadcasts 3005.
    void RebuildValueIndexIfBuilt() { mModel->RebuildValueIndexIfBuilt(); }
    bool HasValueIndex() const { return mModel->HasValueIndex(); }
    // The value sets of one field; null when the field is not indexed or there is no index.
    const ValueSets* GetValueSets(SInt32 fieldKey) const { return mModel->GetValueSets(fieldKey); }
    // The filter list (filled by searches through CIndexModel::AddFoundItem) and
    // showing it instead of all items.
    const TArray<CIndexItem*>& GetFilterList() const { return mModel->GetFilterList(); }
    // (CIndexView_Values.cpp) The filter shows, emptied first with clear; with a
    // title the window is titled "<its own title> [<title>]", its own title saved
    // once, however many filters follow, and put back when the filter is cleared
    // or ends. Broadcasts 3031.
    void ShowFilter(const QString* title, bool refresh, bool clear);
    // The filter shows these items (the organizer's value), in the order of all
    // items, added to those shown unless clear; titled and broadcast as ShowFilter.
    // False while the filter is locked.
    bool ShowItemsAsFilter(const QString* title, const QSet<CIndexItem*>& items, bool clear);
    bool ShowItemsAsFilter(const QString* title, std::span<CIndexItem* const> items, bool clear);
    void RevealFirstSelected() override;
    // All items show again, scrolled to the start, the window's own title back;
    // broadcasts 3003. Nothing when no filter shows.
    void ShowAllItems(bool refresh);
    bool IsFiltered() const { return mModel->IsFiltered(); }
    // Shows all items, then searches them for the text in the field (6999: the
    // name, caption, keywords or categories, any one of them) with a search task
    // whose found items become the filter. An empty text only shows all items.
    void StartQuickSearch(SInt32 fieldKey, const QString& text);
    // Menu 228: items 1-6 rate the given item, or else the selected items, 9, 7, 6,
    // 4, 2 or 0 with a batch task (caption field 6020). False, and nothing started,
    // for another menu item or no item.
    bool RateSelectedItems(SInt16 menuItem, CIndexItem* item);
    // The same for these items of the index (a media window's item).
    static bool RateItems(CIndexModel& model, SInt16 menuItem, const std::vector<CIndexItem*>& items);
    // The rating of an item of menu 228; -1 for an item without one.
    static SInt32 RatingOfMenuItem(SInt16 menuItem);

    // --- Tasks ----------------------------------------------------------------------
    // The cache task while it has items to enter; it ends with its queue.
    CCacheTask* GetCacheTask() const;
    CUpdateTask* GetUpdateTask() const { return mUpdateTask; }
    // Queues the cell of an index for the update task (drawn again, thumbnail made).
    void QueueCellUpdate(SInt32 index);
    // Drops every thumbnail of the current list and has them made again.
    void RebuildThumbnails();
    // After the package read task has put the items in: layout, flags, sorting, scroll.
    void FinishReading() override;

    // --- Columns, modes and the grid ---------------------------------------------------
    SInt32 GetColumnAt(SInt32 position) const; // 0-based; 0 when out of range
    SInt32 CountColumns() const override;
    bool IsViewMode(SInt32 mode) const { return mViewMode == mode; }
    SInt32 GetViewMode() const { return mViewMode; }
    bool IsExtendedView() const override { return mViewMode == kExtendedViewMode; }
    QSize GetCellSize() const override;
    void SetCellSize(SInt16 width, SInt16 height);
    SInt16 GetThumbnailSize() const override { return mModel->GetSettings().thumbnailSize; }
    SInt16 GetGridColumns() const { return mColumns; }
    // Lays the cells out for the frame and sizes the image to hold them all.
    void AdjustImageSize() override;
    // The grid's geometry for the present frame, cell size and item count.
    IndexGridGeometry Grid() const;
    // Fills the exposed part with the background and lets each exposed item
    // draw its cell; an item without its picture yet is queued for the update task.
    void DrawSelf(QPainter& painter) override;
    // Lays the grid out for a page whose body is the present frame: the cells for
    // the chosen size, then the frame narrowed to whole cells (at least one each
    // way) and centred where the body was. Each page of the printout is then that
    // frame: whole rows, none cut by a page's edge.
    void FitToPage();
    // While a printout prints: each cell of the visible range as the item prints
    // it (no background, no thumbnails queued); the user may cancel between cells.
    void PrintCells(QPainter& painter);

    // The cells' lengths from the preferences (GridMetrics).
    SInt16 GetMargin() const override;
    SInt16 GetLineHeight() const override;
    SInt16 GetExtraColumnWidth() const override;
    // The view's font, sized in screen pixels: the cells' text keeps its size on
    // paper, whose dots are far finer than the screen's.
    QFont GetLabelFont() const override;
    QFont GetViewsFont() const override;
    // The thumbnail grid (0) or the extended view (1019), each with its own size.
    void SetViewMode(SInt32 mode);
    // The grid's keys: arrows, "+" and "-", Escape, Backspace and Delete; false
    // for a key the grid leaves to the commander chain.
    bool HandleGridKey(const EventRecord& event);
    // Type-to-select: a printing key without Command or Control joins the typed
    // text (at most 255 characters, 3019 broadcast with it); half a second after
    // the last one the first item whose name begins with it (upper-cased) is
    // selected alone, or the program beeps. Another key clears the text.
    bool TypeSelectKey(const EventRecord& event);
    void FinishTypeSelect();
    const QString& GetTypeSelectText() const { return mTypeSelect; }
    // Space: the first selected item (item 1 when none) opens in the viewer, which
    // starts its slide show; 'asrt' when there is no item.
    void OpenSelectedItem();
    // The view is a commander: a click makes it the target, and its keys are the grid's.
    bool HandleKeyPress(const EventRecord& event) override;

    // --- Selection (an item is selected when it is highlighted) --------------------------
    // Each redraws the cell when it shows; none broadcasts.
    void SelectIndex(SInt32 index);
    void DeselectIndex(SInt32 index);
    void ToggleIndex(SInt32 index);
    void ToggleRange(SInt32 first, SInt32 last);
    // Clears every selected item of the current list; 3002 when any changed.
    void DeselectAll();
    // An edited field text taken into the item (the grid's and the list's in-place
    // edits): an emptied name or an unchanged text changes nothing, a failure is
    // reported and leaves the field as it was.
    void ApplyFieldEdit(CIndexItem* item, SInt32 key, const QString& text);
    // Selects every item of the current list; 3002 when any changed.
    void SelectAll();
    SInt32 GetLastSelectedIndex() const;
    // Scrolls, pinned to the image, so the index's row shows at the top.
    void ScrollToIndex(SInt32 index, bool force);
    // The click rules of the grid; a press the mouse drags runs the marquee.
    void ClickSelf(const SMouseDownEvent& event) override;
    // The cursor for the mouse at a local point with those modifiers: what a click
    // or a drag would do there.
    ResIDT CursorAt(QPoint local, UInt16 modifiers) const;
    void AdjustMouseSelf(QPoint portPoint, const EventRecord& event) override;
    // --- Renaming in place -------------------------------------------------------------
    // Opens an edit field over the text line under a local point of the index's
    // cell; false (nothing opened) when that line is not editable. Return commits
    // through the item's field operation, Escape leaves the text as it was.
    bool StartRename(SInt32 index, QPoint local);
    // Tab while renaming: the next editable field (backward: the previous), or the
    // same column of the next or previous item; wraps around the list.
    bool RenameNextField(bool backward, bool sameColumn);
    // F2: the first selected item's name (else its first editable line) opens for
    // editing; false when nothing is selected or no line of it can be edited.
    bool RenameSelectedItem();
    CInPlaceEditField* GetRenameField() const { return mRenameField; }
    SInt32 GetRenameColumn() const { return mRenameColumn; }
    // An arrow, Home, End or page key; false for another key.
    bool HandleArrowKey(UInt8 key, UInt16 modifiers);
    // The cell of a 1-based index in local coordinates; false for no such index.
    virtual bool GetCellRect(SInt32 index, QRect& outRect) const;
    // The 1-based index of the cell at a local point; 0 for none (with clamp the
    // nearest index of the list).
    virtual SInt32 IndexAtPoint(QPoint local, bool clamp) const;
    // The indexes at the frame's corners (inset by 10 pixels); answers the count.
    SInt32 GetVisibleRange(SInt32& outFirst, SInt32& outLast, bool clamp) const;
    bool IsItemVisible(SInt32 index) const;
    bool IsShown() const override { return isVisible(); }
    void RefreshItem(SInt32 index) override;
    void RevealItem(SInt32 index) override { ScrollToIndex(index, false); }
    void Refresh() override;
    QString GetWindowTitle() const override;
    bool IsWindowActive() const override;
    void ShowFilterTitle(const QString& title) override { SetFilterTitle(&title, true); }

    void ListenToMessage(MessageT message, void* ioParam) override;

    // --- Drag and drop (CIndexView_Drag.cpp) ----------------------------------------------
    // Items travel as the item flavour (their identifiers and this view's drag
    // source number, never pointers) beside their files as text/uri-list; files
    // and addresses come in as text/uri-list, text/x-moz-url or a text holding an
    // address. Other programs are offered only a copy: they never tell where the
    // files went, so a move would leave items pointing nowhere.
    bool DragIsAcceptable(const DragReference& drag) override;
    bool ItemIsAcceptable(const DragReference& drag, UInt16 item) override;
    void EnterDropArea(const DragReference& drag, bool dragHasLeftSender) override;
    void InsideDropArea(const DragReference& drag) override;
    void LeaveDropArea(const DragReference& drag) override;
    Qt::DropAction ChooseDropAction(const DragReference& drag, Qt::DropAction proposed, Qt::DropActions possible) override;
    QColor GetHiliteColor() const override;
    // The drop: items of an index are moved or copied to the drop index, files
    // imported there, addresses and Internet shortcut files downloaded. Throws
    // 100060 while the list is locked; 'nilP' (nothing changed) when a dragged
    // item is no longer in an open index.
    void ReceiveDragEvent(const DragReference& drag) override;
    // The index where a drop at a local point inserts: the cell under it, else the end.
    SInt32 DropIndexAt(QPoint local) const;
    SInt32 GetDropHiliteIndex() const { return mDropHiliteIndex; }
    // An FTP or HTTP address: a folder (the path ends in "/") is downloaded into
    // the download folder; a file becomes a new item at the end, downloaded at
    // once when "DownloadFiles" is on and "AskBeforeConnecting" off (`now`: on,
    // whatever the latter says). A password in it goes to the keyring and never
    // into the item. False for an address of another kind.
    bool ReceiveRemoteURL(const QUrl& url, bool now = false);
    // Command 1035: asks for an address and receives it.
    void OpenAddress();
    // The drag of the selection, from a press at a local point on an item's
    // picture that the mouse moved: runs until the drop and then does what the
    // drop asks of this side.
    void StartItemDrag(SInt32 clickedIndex, QPoint local, UInt16 modifiers);
    // The items a drag from a press on that index takes: the selection of the
    // current list in order, the clicked item alone when it is not selected.
    std::vector<CIndexItem*> ItemsToDrag(SInt32 clickedIndex) const;
    // The drag's data for those items.
    void AddDragFlavors(QMimeData& data, const std::vector<CIndexItem*>& items) const;
    // After a drag of these items to another program: files it moved to the Trash
    // take their items out of the index; other files gone are marked missing, for
    // the user to locate. Answers how many items were taken out.
    SInt32 FinishDragToOtherProgram(const std::vector<CIndexItem*>& items);
    // The number this view's drags carry to say where they come from.
    SInt32 GetDragSourceNumber() const { return mDragSourceNumber; }
    // The items of an open index that a drag carries, and the view they come from;
    // none for a drag without items of this run.
    struct DroppedItems {
        std::vector<CIndexItem*> items;
        CIndexView* source = nullptr;
    };
    static DroppedItems FindDroppedItems(const QMimeData* data);

signals:
    // An item of the view's model is to be opened in the viewer, whoever asked
    // (a double-click, Return, Open, the info window, a search): at its 1-based
    // index, or 0 for an item the list does not hold. The application has the
    // viewer listen; the view opens nothing itself.
    void itemActivated(CIndexModel* model, SInt32 index, CIndexItem* item, bool windowed);

protected:
    void FinishCreateSelf() override;
    // Lays the cells out for the frame from a thumbnail size, scrolled to keep the
    // item (1-based; 0 none) in view; the stored size is left as it is.
    void FitCellsToFrame(SInt32 thumbnailSize, SInt32 keptIndex);
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void ScrollBits(SInt32 dh, SInt32 dv) override;

private:
    // The frame that shows the grid has the keyboard.
    QRegion FocusMarkRegion() const;
    void DrawFocusMark(QPainter& painter);
    // Hands the items to the cache task, starting one when none runs.
    void QueueForCaching(std::span<CIndexItem* const> items);
    void ShowCursorFor(ResIDT cursorID);
    // A double click on a picture, or a click in full screen: the item opens in the viewer.
    void OpenClickedItem(SInt32 index, CIndexItem& item);
    // Full screen: the image follows the mouse until the button goes up.
    void GrabScroll(QPoint startGlobal);
    void InitIndexView(CIndexModel& model);
    bool IsRenameFieldEditable(SInt32 index, SInt32 column) const;
    bool OpenRenameField(SInt32 index, SInt32 column);
    void CloseRenameField();
    // The edit field's place over a text line of a cell.
    QRect RenameFieldRect(CIndexItem& item, SInt32 column, const QRect& cell) const;
    // Puts an open edit field back over its line after the cells were laid out anew.
    void PlaceRenameField();
    void ApplyRename(const QString& text);
    void BroadcastTypeSelect();
    // The property dialog's password texts for the password its OK would leave.
    void ShowPasswordState();
    // Sets the password, marks the index changed and, without one, clears the keychain flag.
    void SetNewPassword(const QByteArray& password);
    // The keychain entry follows the password and its flag.
    void UpdateKeychainEntry();
    // The column list of the current mode, in the model's settings.
    std::vector<SInt32>& CurrentColumns();
    // The lengths the cell size follows, from the preferences and the mode.
    IndexGridGeometry::Metrics GridMetrics() const;
    // Deletes a removed item, or hands it to the update task while it works on it.
    void DisposeItem(CIndexItem* item);
    void BroadcastState(SInt32 parameter = 0);
    void SetFilterTitle(const QString* title, bool clear);
    void RestoreSavedCaption();
    void BroadcastItemsChanged(SInt32 fieldKey);

    // Connects the model's signals to the view's redraws and broadcasts, and shows
    // the view to the model's tasks / undoes both.
    void ConnectModel();
    void DisconnectModel();
    // "ShowSlideEffect": pictures newly selected slide back into place from half
    // their width aside, each time from the other side.
    void StartSlide(const QItemSelection& selected);
    int GetPictureSlide(const CIndexItem& item) const override;
    QVariantAnimation* mSlide = nullptr;
    QSet<const CIndexItem*> mSliding;
    bool mSlideRight = false;
    // A change of the model to show: an item's cell (null: the list, its layout or
    // the selection). The grid paints once a frame for all of them, and the status
    // bar (3002) and the commands follow.
    void ModelChanged(const CIndexItem* item);
    void ShowModelChanges();
    std::unique_ptr<CoalescedCall> mFrameUpdate;
    QSet<const CIndexItem*> mChangedItems;
    bool mListChanged = false;
    // Stops the model's tasks and deletes the view's two own (they may hold the model's items).
    void StopAllTasks();
    void StartUpdateTask();

    CIndexModel* mModel = nullptr;
    std::vector<QMetaObject::Connection> mModelConnections;
    TLivePtr<CCacheTask> mCacheTask;
    CUpdateTask* mUpdateTask = nullptr;
    QString mTypeSelect;
    UInt32 mTypeSelectTicks = 0;
    LEventLoopTimer mTypeSelectTimer;
    SInt16 mColumns = 1;
    SInt32 mRows = 0; // a long list in few columns has far more than 32,767 rows
    SInt32 mViewMode = kThumbnailViewMode;
    SInt16 mCellHeight = 160;
    SInt16 mCellWidth = 160;
    // The theme drawn: the index's own, or the full-screen theme while that lasts.
    SInt32 mTheme = -1;
    mutable std::optional<IndexThemeLook> mThemeLook;
    // The extended view's widest label, for the lines and the font it was measured with.
    struct LabelWidths {
        std::vector<SInt32> columns;
        QFont font;
        SInt32 width = 0;
    };
    mutable LabelWidths mLabelWidths;
    static constexpr SInt32 kLabelSlack = 2; // a bold label when printing, rounding
    SInt32 WidestLabel() const;
    bool mFullScreen = false;
    QRect mSavedFrame;
    // The bars full screen hid, shown again when it ends (and only those).
    bool mFullScreenHidToolbar = false;
    bool mFullScreenHidStatusBar = false;
    bool mFullScreenHidMenuBar = false;
    // Watches the pointer while full screen lasts.
    std::unique_ptr<QObject> mFullScreenPointerWatch;
    // Takes the screen back for the lock while it lasts.
    std::unique_ptr<QObject> mLockedScreenWatch;
    void KeepWindowOnTop(bool onTop);
    void EndScreenLock();
    CIndexItem* mRenameItem = nullptr;
    SInt32 mRenameColumn = 0;
    CInPlaceEditField* mRenameField = nullptr;
    // The name's extension while the cells hide it: put back after the edit.
    QString mRenameHiddenExtension;
    void ReceiveItems(const DroppedItems& dropped, SInt32 dropIndex, bool copy);
    void MoveItemsWithin(const std::vector<CIndexItem*>& items, SInt32 dropIndex);
    void ReceiveFiles(const QList<QUrl>& urls, SInt32 dropIndex);
    void SetDropHiliteIndex(SInt32 index);
    // Gives the view its drag source number, by which drops find it.
    void RegisterDragSource();
    SInt32 mDragSourceNumber = 0;
    SInt32 mDropHiliteIndex = -1;
    QPointer<QWidget> mDropMarker;
    QPointer<LDialogBox> mPropertyDialog;
    // The password chosen in the open property dialog, set when it is accepted.
    std::optional<QByteArray> mDialogPassword;
    QPointer<LWindow> mCommentWindow;
    // The window's title before a filter titled it.
    std::optional<QString> mSavedCaption;
};
