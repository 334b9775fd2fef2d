#pragma once

#include "LCommander.h"
#include "LComparator.h"
#include "LControl.h"
#include "LDataBrowserItem.h"

#include <QAbstractItemModel>
#include <QItemSelectionModel>
#include <QHash>
#include <QSet>
#include <QString>
#include <map>
#include <memory>
#include <vector>

class LDataBrowser;
class LDataBrowserImp;
class QTreeView;

inline constexpr ClassIDT kDataBrowserClassID = 'dbrw';
inline constexpr ClassIDT kDataBrowserImpClassID = 'idbr';
inline constexpr FourCharCode kDataBrowserListView = 'lstv';

// Property types a column shows.
enum : FourCharCode {
    kDataBrowserTextType = 'text',
    kDataBrowserIconAndTextType = 'ticn',
    kDataBrowserIconType = 'icnr',
    kDataBrowserCheckboxType = 'chbx',
    kDataBrowserCustomType = '????',
};

// Property flags and selection flags the wrapper acts on.
enum : UInt32 {
    kDataBrowserPropertyIsEditable = 1 << 0,
    kDataBrowserSelectOnlyOne = 1 << 1,
    kDataBrowserNoDisjointSelection = 1 << 4,
};
enum : UInt32 { kScrollBarHorizontal = 0x80000000u, kScrollBarVertical = 0x40000000u };
enum : UInt16 { kDataBrowserOrderIncreasing = 1, kDataBrowserOrderDecreasing = 2 };
enum : SInt16 { kHeaderContentIconRef = 132 };
// How a selected row is shown: only its first column, or across the whole row.
enum : UInt32 { kDataBrowserTableViewMinimalHilite = 0, kDataBrowserTableViewFillHilite = 1 };

// One column record of a 'DBC#' resource.
struct DataBrowserColumn {
    DataBrowserPropertyID propertyID = 0;
    FourCharCode propertyType = kDataBrowserTextType;
    UInt32 titleIndex = 0; // 0: empty title; else its low 16 bits index the title list
    UInt32 propertyFlags = 0;
    UInt16 minimumWidth = 0;
    UInt16 maximumWidth = 0;
    UInt16 initialWidth = 0; // 0: the view's default
    UInt16 headerContentType = 0;
    UInt16 headerContentResID = 0;
    UInt16 justification = 0;
    UInt16 font = 0;
    UInt16 style = 0;
    UInt16 size = 0;
    UInt16 titleOffset = 0;
    QString title; // made from the title list
};

// The column list of resource `id`: resources/lists/DBC#-<id>.json, an object with
// a "columns" array whose entries carry the record's fields by name:
// "propertyID", "propertyType" (four characters), "titleIndex", "propertyFlags",
// "minimumWidth", "maximumWidth", "initialWidth", "headerContentType",
// "headerContentResID", "justification", "font", "style", "size", "titleOffset".
// Titles come from the strings table as "<titleListID>:<index>". A missing or
// malformed resource throws resNotFound or badFormat.
std::vector<DataBrowserColumn> LoadDataBrowserColumns(ResIDT id, ResIDT titleListID);

// The column to move an in-place edit to with Command-left (step -1) or
// Command-right (+1): the next editable column of the row, wrapping at either end;
// -1 when the walk comes back to where it began.
int NextEditableColumn(const std::vector<DataBrowserColumn>& columns, int from, int step);

// The model the tree view shows: the browser's items by container, one column
// per column record.
class LDataBrowserModel : public QAbstractItemModel {
public:
    LDataBrowserModel(LDataBrowser& browser, LDataBrowserImp& imp);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // A container row has children to show even before it is opened and filled.
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex& parent) override;
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction | Qt::MoveAction; }

    LDataBrowserItem* ItemAt(const QModelIndex& index) const;
    // The container whose rows sit under the index: the top one for none.
    DataBrowserItemID ContainerAt(const QModelIndex& parent) const;
    // The item's index in its container; constant time (a row index per container,
    // renewed after a sort, an insertion or a removal).
    QModelIndex IndexOf(const LDataBrowserItem* item, int column = 0) const;
    // The item's row in its container, -1 when it has none.
    int RowOf(const LDataBrowserItem* item) const;
    void AddItems(const std::vector<LDataBrowserItem*>& items, DataBrowserItemID container);
    void RemoveItem(LDataBrowserItem* item);
    void RemoveAll();
    void ItemChanged(LDataBrowserItem* item, DataBrowserPropertyID property);
    // Every row of the container changed in that property: one change told for all.
    void ChildrenChanged(DataBrowserItemID container, DataBrowserPropertyID property);
    void ColumnsAboutToChange() { beginResetModel(); }
    void ColumnsChanged() { endResetModel(); }
    // One column in or out without a reset, so that open containers stay open.
    void BeginInsertColumn(int at) { beginInsertColumns({}, at, at); }
    void EndInsertColumn() { endInsertColumns(); }
    void BeginRemoveColumn(int at) { beginRemoveColumns({}, at, at); }
    void EndRemoveColumn() { endRemoveColumns(); }
    void SortContainer(DataBrowserItemID container, DataBrowserPropertyID property, bool descending);
    const std::vector<LDataBrowserItem*>& Children(DataBrowserItemID container) const;
    int ColumnOfProperty(DataBrowserPropertyID property) const;
    // The column of the index when it shows custom cells ('????'); null otherwise.
    const DataBrowserColumn* CustomColumnAt(const QModelIndex& index) const;
    // Whether the row lets an editable column's cell open for editing (true unless it says no).
    bool CellIsEditable(LDataBrowserItem* item, DataBrowserPropertyID property) const;
    // Whether the row may be selected: true unless it said no when it was added
    // or last updated (UpdateItem, UpdateAllItems).
    bool IsSelectable(const LDataBrowserItem* item) const;
    // Asks the row whether it may be selected and keeps the answer.
    void AskSelectable(LDataBrowserItem* item);

private:
    LDataBrowser& mBrowser;
    LDataBrowserImp& mImp;
    std::map<DataBrowserItemID, std::vector<LDataBrowserItem*>> mChildren;
    // Each container's rows by item, built when first asked after a change.
    mutable std::map<DataBrowserItemID, QHash<const LDataBrowserItem*, int>> mRows;
    // The rows that refuse selection (side-list headings, dividers): usually none,
    // so that selecting and counting many rows asks no row anything.
    QSet<const LDataBrowserItem*> mUnselectable;
};

// The control's side of the pane: the tree view, its model, the column
// descriptors and the settings read from the layout.
class LDataBrowserImp {
public:
    struct Settings {
        SInt32 kept = 0; // read and not consulted
        FourCharCode viewStyle = kDataBrowserListView;
        UInt32 scrollBars = kScrollBarHorizontal | kScrollBarVertical;
        UInt32 selectionFlags = 0;
        UInt16 sortOrder = kDataBrowserOrderIncreasing;
        SInt32 sortColumn = 0; // 1-based position in the column list; 0 none
        SInt32 disclosureColumn = 0;
        UInt16 rowHeight = 0;
        UInt16 headerHeight = 0; // 0 hides the header
        ResIDT titleListID = 0;
        ResIDT columnListID = 0;
        SInt8 keyFilterID = 0;
    };

    LDataBrowserImp(LDataBrowser& pane, const Settings& settings);
    ~LDataBrowserImp();

    void FinishCreate(); // makes the columns and applies the settings
    void MakeColumns(ResIDT columnListID);

    QTreeView* GetTree() const { return mTree; }
    LDataBrowserModel& GetModel() { return *mModel; }
    const Settings& GetSettings() const { return mSettings; }
    std::vector<DataBrowserColumn>& Columns() { return mColumns; } // shown, in order
    const std::vector<DataBrowserColumn>& KeptColumns() const { return mKept; }
    DataBrowserPropertyID GetSortProperty() const { return mSortProperty; }
    void SetSortProperty(DataBrowserPropertyID property) { mSortProperty = property; }
    DataBrowserPropertyID GetDisclosureProperty() const { return mDisclosureProperty; }
    bool IsLive() const { return mLive; }
    bool mDrawFrame = true;
    bool mIncludesFrameAndFocus = true;
    bool mSortDescending = false;
    UInt32 mHiliteStyle = kDataBrowserTableViewFillHilite;

private:
    LDataBrowser& mPane;
    Settings mSettings;
    std::unique_ptr<LDataBrowserModel> mModel;
    QTreeView* mTree = nullptr;
    std::vector<DataBrowserColumn> mColumns;
    std::vector<DataBrowserColumn> mKept;
    DataBrowserPropertyID mSortProperty = 0;
    DataBrowserPropertyID mDisclosureProperty = 0;
    bool mLive = false;
};

// A list pane over a tree view: items of LDataBrowserItem subclasses answer for
// their rows, columns come from a 'DBC#' resource, and every event of the view
// becomes a virtual operation of the pane or of the item concerned. Broadcasts
// each item notification's number after handling it.
class LDataBrowser : public LControlPane, public LCommander {
public:
    explicit LDataBrowser(const LLayoutData& data);
    LDataBrowser(const SPaneInfo& info, const LDataBrowserImp::Settings& settings);
    ~LDataBrowser() override;

    static LDataBrowserImp::Settings SettingsFromLayout(const LLayoutData& data);

    void FinishCreateSelf() override;

    // Commander side.
    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName) override;
    bool HandleKeyPress(const EventRecord& event) override;
    bool AllowBeTarget(LCommander*) override { return true; }
    bool AllowDontBeTarget(LCommander*) override { return true; }

    virtual void AddItem(LDataBrowserItem* item, DataBrowserItemID container = 0);
    virtual void AddItems(const std::vector<LDataBrowserItem*>& items, DataBrowserItemID container = 0,
        DataBrowserPropertyID preSortProperty = 0);
    virtual void RemoveItem(LDataBrowserItem* item);
    virtual void RemoveColumn(DataBrowserPropertyID property);
    virtual void AddColumn(DataBrowserPropertyID property, UInt32 position);
    virtual void RemoveAllItems();
    virtual void RemoveAllColumns();
    // Appends (or inserts at `position`, 0-based) a column made by the caller rather
    // than taken from the 'DBC#' resource, with its width set.
    void InsertColumnDescription(const DataBrowserColumn& column, UInt32 position = UInt32(-1));
    // Container rows: opening one tells its item (8), which fills it; closing one
    // removes the rows under it and tells the item (10). A click on a row's
    // disclosure triangle is told first as a user toggle (16).
    void OpenContainer(LDataBrowserItem* item);
    void CloseContainer(LDataBrowserItem* item);
    bool IsContainerOpen(const LDataBrowserItem* item) const;
    // The item's answer for a standard boolean property, `otherwise` when it has none.
    static bool ItemFlag(LDataBrowserItem* item, DataBrowserPropertyID property, bool otherwise);
    virtual void SetColumnEditable(bool editable, DataBrowserPropertyID property);
    virtual void SetColumnType(DataBrowserPropertyID property, FourCharCode type);
    virtual UInt32 CountColumns() const;
    virtual LDataBrowserItem* GetItemAtRow(UInt32 row) const;
    virtual UInt32 GetRowOfItem(const LDataBrowserItem* item) const;
    virtual bool IsValidRow(UInt32 row) const;
    virtual bool IsItemSelected(const LDataBrowserItem* item) const;
    virtual void NotifySelectedItems(DataBrowserItemNotification message);
    virtual OSStatus GetSetItemData(LDataBrowserItem* item, DataBrowserPropertyID property, DataBrowserItemData& data,
        bool setValue);
    virtual bool CompareItems(LDataBrowserItem* a, LDataBrowserItem* b, DataBrowserPropertyID property);
    virtual void ItemNotification(LDataBrowserItem* item, DataBrowserItemNotification message);
    virtual bool AddDragItem(QMimeData& drag, LDataBrowserItem* item);
    virtual bool AcceptDrag(const QMimeData& drag, LDataBrowserItem* item);
    virtual bool AcceptDragItem(const QMimeData&) { return false; }
    virtual bool ReceiveDrag(const QMimeData& drag, LDataBrowserItem* item);
    virtual bool ReceiveDragItem(const QMimeData&) { return false; }
    // After a drag that started here ended, dropped (`action` the drop's) or not
    // (Qt::IgnoreAction); nothing by default.
    virtual void PostProcessDrag(const QMimeData& drag, Qt::DropAction action);
    // The help tag of a row's cell (item null over empty space); none by default.
    virtual void GetHelpContent(LDataBrowserItem* item, DataBrowserPropertyID property, QString& outContent);
    // Keys typed into an in-place edit: passed without an edited item, else the edited
    // item's filter decides.
    virtual ControlKeyFilterResult EditKeyFilter(LDataBrowserItem* item, DataBrowserPropertyID property,
        UInt16 keyCode, UInt16 charCode, UInt16 modifiers);
    virtual SInt32 CountItems(DataBrowserItemState state = kDataBrowserItemAnyState, bool recurse = true) const;
    virtual std::vector<LDataBrowserItem*> GetItems(DataBrowserItemState state = kDataBrowserItemAnyState) const;
    virtual void RevealItem(LDataBrowserItem* item, DataBrowserPropertyID property, bool centre);
    virtual void SelectItem(LDataBrowserItem* item);
    virtual void DeselectItem(LDataBrowserItem* item);
    virtual void SelectAll();
    virtual void SelectNone();
    virtual void SetSortOrder(UInt16 order);
    virtual void SetSortProperty(DataBrowserPropertyID property);
    virtual DataBrowserPropertyID GetSortProperty() const;
    virtual UInt32 GetSelectionFlags() const;
    virtual void SetHiliteStyle(UInt32 style);
    UInt32 GetHiliteStyle() const { return mImp->mHiliteStyle; }
    bool HasFrame() const { return mImp->mDrawFrame; }
    void SetHasFrame(bool hasFrame);
    bool IncludesFrameAndFocus() const { return mImp->mIncludesFrameAndFocus; }
    void SetIncludesFrameAndFocus(bool includes);
    virtual void UpdateAllItems(DataBrowserPropertyID property);
    virtual void UpdateItem(LDataBrowserItem* item, DataBrowserItemID container, DataBrowserPropertyID property);
    // Every row of the container drawn again in that property, told as one change.
    void UpdateChildren(DataBrowserItemID container, DataBrowserPropertyID property);
    QTreeView* GetControlRef() const { return mImp->GetTree(); }
    // Shows an outside model's rows with an outside selection model (an index's
    // table and its one selection) in place of the browser's own items; null shows
    // the browser's own again. Views that share the selection model show one
    // selection. The browser's own item operations apply only to its own items;
    // Select All, Select None and the selected count act on what shows.
    void ShowModel(QAbstractItemModel* model, QItemSelectionModel* selection);
    bool IsShowingOutsideModel() const;
    LDataBrowserImp& GetImp() { return *mImp; }

    // Ownership of the comparator: SetComparator takes it; a null one is ignored.
    void SetComparator(LComparator* comparator);
    LComparator* GetComparator() const { return mComparator; }

    LDataBrowserItem* GetEditedItem() const { return mEditedItem; }
    bool IsEditing() const { return mEditing; }

    // Moves an in-place edit along the row (Command-left and Command-right); false
    // when the key is to pass to the edit field.
    bool MoveEdit(LDataBrowserItem* item, DataBrowserPropertyID property, int step);

private:
    void Init(const LDataBrowserImp::Settings& settings);
    void SelectionChanged(const class QItemSelection& selected, const class QItemSelection& deselected);
    void ContainerToggled(const QModelIndex& index, bool opened);
    // The selected rows' items, from the selection model.
    QSet<const LDataBrowserItem*> SelectedItemSet() const;
    // The rows selected, in the top container alone or in all.
    SInt32 CountSelectedRows(bool recurse) const;

    std::unique_ptr<LDataBrowserImp> mImp;
    QItemSelectionModel* mOwnSelection = nullptr; // the tree's own, kept while an outside one shows
    QItemSelectionModel* mHeaderSelection = nullptr; // the header's, while an outside model shows
    class QAbstractItemDelegate* mOwnDelegate = nullptr;
    LDataBrowserItem* mEditedItem = nullptr;
    LComparator* mComparator = nullptr;
    bool mOwnsComparator = false;
    bool mEditing = false;
    bool mTogglingContainer = false; // set while the program opens or closes a row
};

// Walks the items of a browser in a given state, recursively from the root.
class LDataBrowserItemIterator {
public:
    LDataBrowserItemIterator(const LDataBrowser& browser, DataBrowserItemState state);
    bool Next(LDataBrowserItem*& outItem);

private:
    std::vector<LDataBrowserItem*> mItems;
    size_t mNext = 0;
};

// Registers the wrapper's classes under their class IDs.
void RegisterDataBrowserClasses();
