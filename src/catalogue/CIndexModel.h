#pragma once

#include "CIndexItem.h"
#include "DisplayUtilities.h"
#include "IndexItemTableModel.h"
#include "IndexSettings.h"
#include "ItemRows.h"
#include "MacTypes.h"
#include "RegularFile.h"
#include "TArray.h"
#include "ValueMembers.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class CIndexItemComparator;

// The field key of a change to every field of an item (its caption replaced whole).
inline constexpr SInt32 kAllItemFields = 6999;

// The view state word of an index.
enum : SInt32 {
    kViewStateReading = 0,
    kViewStateWriting = 1, // removing the selection is refused meanwhile
    kViewStateRemovingAll = 2,
    kViewStateIdle = 3,
};

// What an inserted item is to the index.
enum class ItemInsert {
    Change, // a new item of the index: a change to save
    Filling, // an item the index is read back with from its package: nothing to save
    Foreign, // an item of another index shown here (a search's result): never saved with this one
};

// Where an item's record lies in the "index.db" on disk, so that a save in which
// an item cannot write its record keeps the record it had.
struct IndexStoredRecord {
    qsizetype offset = 0;
    qsizetype length = 0;
};

// What an open index is, apart from any window: its items, the list shown (all
// items or the filter), the sort, the selection, the value index of chosen fields,
// the lock that keeps a task's walk over the list safe, the counts by which the
// program knows tasks work on it, the modified state and what is stored with it
// (password, each record's place in index.db, the damaged flag, the files to
// delete after the next save, the option word).
//
// The index document owns one; the index view shows it, the list views and the
// data browser show it through its table (ItemTable) and share its one selection
// (SelectionModel), and tasks act on it directly.
//
// Indexes are 1-based throughout (the Parts' convention): 0 means none and
// kInsertAtEnd (0x7fffffff) the end. Signals carry 1-based indexes too.
//
// Items:
//   InsertItem       a new item of the index: into the current list (in its
//                    sorted place when it keeps itself sorted) and, when the filter
//                    shows, into all items as well, never twice. Its size is counted,
//                    itemsAdded is emitted and, for ItemInsert::Change, the index is
//                    marked modified, whatever path added it.
//   AppendItems      as InsertItem at the end for each of a batch, told as one
//                    change (the read task's way of filling an index).
//   AddFoundItem     an item already in the index joins the filter list (searches).
//   TakeItemAt       an item leaves the index (and the filter); the caller owns it.
//   TakeAllItems     every item leaves; the caller owns them.
// Lists: ShowFilter / ShowAllItems switch the current list; SortItems, SetSortKey.
// Selection: the table's selection model (SelectionModel) is the one store; an
//   item's row is selected while any of its cells is. SelectIndex, DeselectIndex,
//   ToggleIndex, SetRangeSelected, SelectAll, DeselectAll, SelectItem, SelectItems,
//   SelectOnly and the list views' clicks all change it there, and
//   selectionChanged is sent once for each change. CountSelectedItems,
//   GetFirstSelectedIndex, GetLastSelectedIndex and SelectedItems read it. Items
//   keep no selected state of their own.
//
// Changing the lists while the lock is held throws kMsgIndexViewOperation.
class CIndexModel : public QObject, public AItemListLockable {
    Q_OBJECT

public:
    explicit CIndexModel(QObject* parent = nullptr);
    // Deletes every item still held.
    ~CIndexModel() override;
    // Every index model there is, in the order made: where an item asks which
    // list shows it (its position, a redraw after a part was read).
    static const std::vector<CIndexModel*>& OpenModels();

    // --- Items ------------------------------------------------------------------------
    // Answers the item's 1-based index in the current list (an item already there
    // stays where it is). A foreign item joins the filter only while it shows, and
    // is neither counted nor a change. Throws 'nilP' for null and
    // kMsgIndexViewOperation while locked.
    SInt32 InsertItem(CIndexItem* item, SInt32 index, ItemInsert kind = ItemInsert::Change);
    // Inserts new items of the index at the end of the current list, in the order
    // given, as InsertItem(item, kInsertAtEnd, kind) does each, but told as one
    // change: one table insertion, one itemsInserted and one itemsAdded for a run
    // of new items. An item already in the index (or twice in the batch) is
    // inserted alone, in its turn; a list that keeps itself sorted takes each item
    // alone at its sorted place. Foreign items are refused ('asrt'); the lock
    // throws kMsgIndexViewOperation before any item is taken.
    void AppendItems(std::span<CIndexItem* const> items, ItemInsert kind = ItemInsert::Change);
    // The values of new items for the value index, gathered on any thread before
    // the items join the index (they must belong to no index yet, and be touched
    // by nothing else meanwhile): what the items hold, as RebuildValueIndex takes it.
    struct CollectedValues;
    struct CollectedValuesDeleter {
        void operator()(CollectedValues* values) const;
    };
    using CollectedValuesPtr = std::unique_ptr<CollectedValues, CollectedValuesDeleter>;
    // Null when an item's part failed to read.
    static CollectedValuesPtr CollectValues(const std::vector<SInt32>& keys, std::span<CIndexItem* const> items);
    // AppendItems, and the items' values entered from `values` (collected from
    // these items, for the keys indexed now) instead of by the view's cache task;
    // without them, or for other keys, as AppendItems alone.
    void AppendItems(std::span<CIndexItem* const> items, ItemInsert kind, CollectedValues* values);
    // Puts an item of the index into the filter list (at its end, or in its sorted
    // place); an item already there is not added again. Answers its filter index.
    SInt32 AddFoundItem(CIndexItem* item);
    // The filter list becomes these items of the index (a search's result); items
    // not given in the order of the list searched are sorted. False, and nothing
    // changed, while the filter is locked.
    bool ReplaceFilterItems(const std::vector<CIndexItem*>& items, bool inListOrder = true);
    // Takes the item at an index of the current list out of every list, the value
    // index and the record table, and marks the index modified; null for no such
    // index. The selection loses it. Throws while locked.
    CIndexItem* TakeItemAt(SInt32 index);
    // Moves items of the current list, in the order given, to stand together
    // before the item at an index (kInsertAtEnd: at the end). The new order is made
    // whole before the list changes, so a failure leaves the list as it was. A list
    // that keeps itself sorted keeps its order. Answers the first item's new index.
    // Throws 'nilP' for an item not in the current list and kMsgIndexViewOperation
    // while locked.
    SInt32 MoveItems(const std::vector<CIndexItem*>& items, SInt32 index);
    // Takes every item (of all items and the filter) out; the lock is let go,
    // the current list is all items again. The caller deletes them.
    std::vector<CIndexItem*> TakeAllItems();
    // Lets go of every lock level of both lists (closing the index).
    void ReleaseLocks();

    SInt32 CountItems() const { return mCurrentList->GetCount(); }
    SInt32 CountAllItems() const { return mAllItems.GetCount(); }
    bool GetItemAt(SInt32 index, CIndexItem*& outItem) const { return mCurrentList->FetchItemAt(index, outItem); }
    CIndexItem* ItemAt(SInt32 index) const;
    // The item's 1-based index in the current list, 0 when absent; constant time.
    SInt32 GetIndexOfItem(const CIndexItem* item) const;
    // True when an item of the current list has this URL.
    bool ContainsURL(const QUrl& url) const;
    // The current list: what tasks and commands walk.
    const TArray<CIndexItem*>& GetItemList() const { return *mCurrentList; }
    const TArray<CIndexItem*>& GetAllItems() const { return mAllItems; }
    const TArray<CIndexItem*>& GetFilterList() const { return mFilterItems; }
    UInt64 GetTotalFileSize() const { return mTotalFileSize; }
    // Sets a field of an item the way every editor does (a typed cell, a rename, a
    // batch, the info window, a ticket): the item takes the text, and when it did
    // the change is the model's like any other (see ChangeItem).
    OSStatus SetItemField(CIndexItem* item, SInt32 fieldKey, const QString& text,
        CIndexItem::FileWrite write = CIndexItem::FileWrite::ByPreference);
    // Runs a change of one field of an item (kAllItemFields: of any field) and
    // answers its code (a throw is answered as its code). Whatever the outcome the
    // item leaves the value index's sets of its old values and joins those of its
    // new ones, and the table and the listeners hear itemChanged once; the index
    // is modified when the change succeeded, or failed halfway, and the item now
    // differs from its stored record.
    OSStatus ChangeItem(CIndexItem* item, SInt32 fieldKey, const std::function<OSStatus()>& change);
    // Whether a change of one field (kAllItemFields: of any) can change the values
    // of an indexed field.
    static bool ChangeReachesKey(SInt32 changedField, SInt32 indexedKey);
    // An item shows differently though nothing of the index changed (a thumbnail
    // made, a part read, an error set): the table and the listeners hear of it.
    void ItemRedrawn(CIndexItem* item, SInt32 fieldKey) { ItemChanged(item, fieldKey, false); }
    // Activates or deactivates the fonts of the font items among these and redraws
    // them; the first failure is thrown. Fonts activated this way are Orvex's own:
    // other programs do not see them.
    void SetFontsActive(const std::vector<CIndexItem*>& items, bool active);
    // An item's field changed: tells the observers (and marks the index modified
    // when changed is true).
    void ItemChanged(CIndexItem* item, SInt32 fieldKey, bool changed);

    // --- Qt's item views ---------------------------------------------------------------
    IndexItemTableModel& ItemTable() { return mTable; }
    // The table's columns (field keys, header titles and alignments); the same
    // items stay selected.
    void SetTableColumns(std::vector<SInt32> fieldKeys, std::vector<QString> titles = {},
        std::vector<Qt::Alignment> alignments = {});
    QItemSelectionModel& SelectionModel() { return mTable.SelectionModel(); }

    // --- Filter -----------------------------------------------------------------------
    // Shows the filter list (emptied first with clear); the selection is dropped.
    void ShowFilter(bool clear);
    // Shows all items again; the filter list is emptied unless locked. False when
    // no filter showed.
    bool ShowAllItems();
    bool IsFiltered() const { return mCurrentList == &mFilterItems; }

    // --- Sort -------------------------------------------------------------------------
    // Sorts the current list by its comparator (nothing while locked).
    void SortItems();
    SInt32 GetSortKey() const;
    // 2 when the current list does not keep itself sorted, else 1 descending, 0 ascending.
    SInt32 GetSortOrder() const;
    // Sorts both lists by a field key from now on (nothing while locked). The
    // order is the index's: a new one for an index that holds items modifies it.
    void SetSortKey(SInt32 key, bool descending);
    // Sets the order of both lists' comparators: 0 ascending, 1 descending; 2 (no
    // order) leaves them as they are. Nothing while locked. A new order of an
    // index that holds items modifies it.
    void SetSortOrder(SInt32 order);
    bool GetKeepSorted() const { return mKeepSorted; }
    void SetKeepSorted(bool keepSorted) { mKeepSorted = keepSorted; }
    // The current list keeps itself sorted and is sorted now (after reading).
    void ApplyKeptSort();
    // A sort may be asked for: the lists are not locked, or only by a sort
    // still making its order, which the new request replaces.
    bool MaySort() const { return mSortAbandon || !IsItemListLocked(); }

    // --- Selection --------------------------------------------------------------------
    bool IsSelected(SInt32 index) const;
    void SelectIndex(SInt32 index);
    void DeselectIndex(SInt32 index);
    void ToggleIndex(SInt32 index);
    // Selects (or deselects) the items first..last (1-based, inclusive) in one change.
    void SetRangeSelected(SInt32 first, SInt32 last, bool selected);
    // Both answer whether any item changed.
    bool SelectAll();
    bool DeselectAll();
    SInt32 CountSelectedItems() const;
    SInt32 GetFirstSelectedIndex() const;
    SInt32 GetLastSelectedIndex() const;
    std::vector<CIndexItem*> SelectedItems() const;
    // Whether `test` holds for a selected item, looking in the list's order and
    // stopping at the first: no list of a million selected items is made.
    bool AnySelectedItem(const std::function<bool(CIndexItem*)>& test) const;
    // The 1-based indexes of the selected items, in order.
    std::vector<SInt32> SelectedIndexes() const;
    // What the command statuses ask of the selection, kept as the index's items
    // and the selection change, so that asking costs the same at any size: the
    // selected font items, the selected items that came from a server, and the
    // items of the current list that came from a server and whose copy here is
    // gone. A copy removed behind the program's back is noticed when its item
    // changes next or the selection empties.
    SInt32 CountSelectedFonts() const { return SInt32(mSelectedFonts.size()); }
    SInt32 CountSelectedRemoteItems() const { return SInt32(mSelectedRemote.size()); }
    SInt32 CountGoneCopies() const;
    // Whether the item's file is not where the item says (nobody is asked).
    static bool IsCopyGone(CIndexItem& item);
    // "Select this item" from anywhere (a search's found items, a download, the
    // media window): an item of the current list joins the selection, or leaves it.
    void SelectItem(CIndexItem* item);
    void DeselectItem(CIndexItem* item);
    // Many items at once (a search's found items), told as one change.
    void SelectItems(std::span<CIndexItem* const> items);
    // Only the item at the index is selected (none for 0).
    void SelectOnly(SInt32 index);
    // The item the user went to last (by click or arrow key), which screen readers
    // follow; the selection stays as it is.
    void SetCurrentIndex(SInt32 index);
    // Asks the views to scroll the item at the index into sight (revealRequested).
    void RevealItem(SInt32 index)
    {
        if (ItemAt(index))
            emit revealRequested(index);
    }

    // --- Opening --------------------------------------------------------------------
    // Asks for the item to be opened in the viewer (a double-click, Return, Open,
    // the info window, a search's "open found items"): at its 1-based index, or 0
    // for an item the list does not hold. Told by itemActivated; whoever opens
    // items listens through the index view.
    void ActivateItem(SInt32 index, CIndexItem* item, bool windowed) { emit itemActivated(index, item, windowed); }

    // --- The lock and the counts ------------------------------------------------------
    void LockItemList() override;
    void UnlockItemList() override;
    // Locked when either list is: a filter shown over a walk of all items must not
    // let the walk's list change underneath it.
    bool IsItemListLocked() const { return mAllItems.IsLocked() || mFilterItems.IsLocked(); }
    void SetBusy(bool busy);
    bool IsBusy() const { return mBusyCount != 0; }
    // Searches and batches are counted apart; both answer the running-task count.
    // One removal too many beeps and leaves the count at 0.
    SInt16 AddRunningTask(bool search);
    SInt16 RemoveRunningTask(bool search);
    SInt16 CountRunningTasks() const { return mRunningTaskCount; }
    SInt16 CountRunningSearches() const { return mRunningSearchCount; }
    bool IsUpdating() const { return mUpdateFlag; }
    void SetUpdating(bool updating) { mUpdateFlag = updating; }
    SInt32 GetViewState() const { return mViewState; }
    void SetViewState(SInt32 state);
    bool IsModified() const { return mModified; }
    // An unchanged value does nothing; a change emits modifiedChanged.
    void SetModified(bool modified);

    // --- Stored state -----------------------------------------------------------------
    bool TestFlags(UInt32 mask) const { return (mFlags & mask) != 0; }
    UInt32 GetFlags() const { return mFlags; }
    void SetFlags(UInt32 mask) { mFlags |= mask; }
    void ClearFlags(UInt32 mask) { mFlags &= ~mask; }
    bool HasPassword() const { return !mPassword.isEmpty(); }
    // The password as stored (Mac Roman bytes, at most 255); empty clears it.
    void SetPassword(const QByteArray& password) { ChangeSettings([&] { mPassword = password.left(255); }); }
    const QByteArray& GetPassword() const { return mPassword; }
    bool GetKeepPasswordInKeychain() const { return mKeepPasswordInKeychain; }
    void SetKeepPasswordInKeychain(bool keep) { ChangeSettings([&] { mKeepPasswordInKeychain = keep; }); }
    // The password header as read from index.db: no change of the index.
    void RestorePassword(const QByteArray& password, bool keepInKeychain)
    {
        mPassword = password.left(255);
        mKeepPasswordInKeychain = keepInKeychain;
    }

    void SetStoredRecord(const CIndexItem* item, IndexStoredRecord record);
    // False when the item has no record in the file (a new item).
    bool GetStoredRecord(const CIndexItem* item, IndexStoredRecord& outRecord) const;
    void ForgetStoredRecord(const CIndexItem* item);
    // Makes the records ready to be looked up, which takes a sort of as many
    // entries as items: a save has a worker do it while the window goes on.
    void PrepareStoredRecords();
    void ForgetStoredRecords()
    {
        mStoredRecords.Clear();
        mStoredRecordsFile.reset();
    }
    // The index.db the stored records' places are in: the file last read or written.
    // Records are taken from no other, even one at the same path.
    void SetStoredRecordsFile(const FileIdentity& file) { mStoredRecordsFile = file; }
    const std::optional<FileIdentity>& GetStoredRecordsFile() const { return mStoredRecordsFile; }
    // Room for this many items of the index (an index about to be read).
    void ReserveItems(SInt32 count);
    void SetIndexDbDamaged(bool damaged) { mIndexDbDamaged = damaged; }
    bool IsIndexDbDamaged() const { return mIndexDbDamaged; }

    // Files deleted, or moved to the user's Trash, after the next save.
    bool AddFileToDelete(const QUrl& file);
    bool AddFileToTrash(const QUrl& file);
    const std::vector<QUrl>& GetPendingDeletions() const { return mPendingDeletions; }
    void DeletePendingFiles();

    // --- Settings (settings.xml) -----------------------------------------------------
    // The index's display settings; the views keep what the user changes in them.
    const IndexSettings& GetSettings() const { return mSettings; }
    IndexSettings& Settings() { return mSettings; }
    // Runs a change of the index's stored settings (what settings.xml and the
    // password header hold: comment, URL, options, password, sort); the index is
    // modified when any of them now differs. Changes nest.
    void ChangeSettings(const std::function<void()>& change);
    void SetComment(const QString& comment) { ChangeSettings([&] { mSettings.comment = comment; }); }
    void SetURLText(const QString& url) { ChangeSettings([&] { mSettings.url = url; }); }
    // Sets the index's keys of settings.xml from its settings, sort and options;
    // withoutOpenOptions leaves out "IndexFullScreen", "IndexShowInfoOnOpen" and
    // "IndexShowSlideShowOnOpen". Other keys are kept.
    void WriteSettings(QVariantMap& settings, bool withoutOpenOptions) const;
    // Takes the keys present (a key of the wrong type counts as missing; texts
    // are cut to their longest). A column list with an entry that is no number
    // throws 'nilP', and the keys after it are not read.
    void ReadSettings(const QVariantMap& settings, bool withoutOpenOptions);
    void SaveSettingsAsDefaults() const;
    // A new index's settings and options from the preferences, with no texts and
    // no password.
    void ResetSettings();

    // --- Value index (the fields of "MDIKeys") ----------------------------------------
    // For each indexed field, its values (texts) and the items that have each. A
    // field's values: keywords and categories entry by entry; the rating (6020) by
    // bucket ("0", "2", "4", "6", "7", "9" always present, 1 counting as 0, 3 as 2,
    // 5 as 4); the name without digits and "-_ ~()'", when more than 2 characters
    // remain; any other field its text. Values are trimmed; "" and "-" are none.
    // Sets hold items without owning them; a set may be empty.
    using ValueSets = QHash<QString, ValueMembers>;
    // Built from the preference over all items, from what they hold: no media file
    // is opened. Items whose values only their files could give are handed on by
    // valuesPending (the view's cache task enters them with AddItemToValueIndex).
    void RebuildValueIndex();
    // Rebuilds a built index and emits valueIndexRebuilt; nothing without one.
    void RebuildValueIndexIfBuilt();
    bool HasValueIndex() const { return mValueIndex.has_value(); }
    // The indexed field keys, in the preference's order.
    const std::vector<SInt32>& GetValueIndexKeys() const { return mIndexedKeys; }
    // The value sets of one field; null when the field is not indexed or there is no index.
    const ValueSets* GetValueSets(SInt32 fieldKey) const;
    // The items of one value (empty for an unknown field or value).
    QSet<CIndexItem*> GetValueMembers(SInt32 fieldKey, const QString& value) const;
    // Enters items under all their values, reading their files for what they lack
    // (the cache task's call, a batch at a time: values shared by many items of a
    // batch are looked up once).
    void AddItemToValueIndex(CIndexItem* item);
    void AddItemsToValueIndex(std::span<CIndexItem* const> items);
    // Takes the item out of every set (the sets stay, empty or not).
    void RemoveFromValueIndex(CIndexItem* item);
    // A field of an item changed: it leaves the old value's set and joins the new
    // one's (made when missing). Texts are taken as ValueOfText takes them; null is
    // no value. A field not indexed, or no index, changes nothing.
    void UpdateValueIndex(CIndexItem* item, SInt32 fieldKey, const QString* oldValue, const QString* newValue);
    // The value a field's text enters under; empty for none.
    static QString ValueOfText(SInt32 fieldKey, const QString& text);
    // The filter shows these items of the index, in the order of all items (added
    // to those it shows unless clear); the selection is dropped. False, and nothing
    // changed, while the filter is locked.
    bool ShowItemsAsFilter(std::span<CIndexItem* const> items, bool clear);
    bool ShowItemsAsFilter(const QSet<CIndexItem*>& items, bool clear);

signals:
    // 1-based indexes of the current list.
    void itemsInserted(SInt32 first, SInt32 count);
    // Items joined the index (not foreign ones), in the order inserted: their
    // values are to be cached, unless valuesEntered (they are in the value index
    // already, and those only their files could give are told by valuesPending).
    void itemsAdded(std::span<CIndexItem* const> items, bool valuesEntered);
    void itemsRemoved(SInt32 first, SInt32 count);
    // The current list's order changed (a sort): same items, new indexes.
    void itemsMoved();
    // The current list was replaced (filter shown or ended, all items removed).
    void listChanged();
    // After listChanged: the filter list shows now (true; also a filter shown
    // again), or a filter gave way to all items (false).
    void filterShown(bool shown);
    void selectionChanged();
    void itemActivated(SInt32 index, CIndexItem* item, bool windowed);
    void revealRequested(SInt32 index);
    void itemChanged(CIndexItem* item, SInt32 fieldKey);
    void modifiedChanged(bool modified);
    // The lock, the running tasks or the view state changed.
    void stateChanged();
    void valueIndexRebuilt();
    // Values of items joined the value index (the cache task's batches): the
    // counts of values changed, though no item did.
    void valuesEntered();
    // A rebuild left this item out: its values need its file read.
    void valuesPending(CIndexItem* item);

private:
    void CheckUnlocked() const;
    // The sort of both lists as SetSortKey and SetSortOrder make it, without
    // telling the index modified (settings read back).
    void SortBothLists(SInt32 key, bool descending);
    void OrderBothLists(SInt32 order);
    void ChangeOrder(const std::function<void()>& sort);
    // What ChangeSettings compares: the stored settings and the password header.
    QVariantMap StoredSettings() const;
    // Appends items new to the index (already entered as members) as one change.
    void AppendNewItems(std::span<CIndexItem* const> items, ItemInsert kind);
    static CIndexItemComparator* ComparatorOf(const TArray<CIndexItem*>& list);
    // Sorts a list by its comparator, the values prepared once.
    static void SortList(TArray<CIndexItem*>& list);
    // A sort the user asks for: the new order is made first, a large list's while
    // the window takes the user's input (the lists locked meanwhile), and the
    // items move to it in one step. A request made meanwhile makes the running
    // one give way and runs next.
    void RunSortRequest(std::function<void()> request);
    // The list's items in the comparator's order, the list left as it is. For
    // the current list, `rows` gets the rows of a long list's new order, found
    // as the order is, while the window takes the user's input.
    std::vector<CIndexItem*> SortedItems(const TArray<CIndexItem*>& list, CIndexItemComparator& comparator,
        std::optional<ItemRows>* rows = nullptr);
    // A new order of the current list (a sort, a move): the table keeps its rows'
    // items and the same items stay selected. `rows`, when found already, are
    // the current list's rows afterwards.
    void Reorder(const std::function<void()>& reorder, std::optional<ItemRows>* rows = nullptr);
    // The rows of the current list after a reorder: a long list's found on
    // another thread while the window stays live.
    void FindRowsKeepingWindowLive();
    // Runs a change of the table's rows or columns with the selected items
    // selected again afterwards, wherever their rows went.
    void KeepSelectionAcross(const std::function<void()>& change);
    // The selected rows as runs of 1-based indexes (first, last), in order, and
    // how many rows they hold: worked out when first asked after the selection
    // or the rows changed, so that counting on every update of the window costs
    // nothing however many items there are.
    struct SelectedRows {
        std::vector<std::pair<SInt32, SInt32>> runs;
        SInt32 count = 0;
    };
    const SelectedRows& Selected() const;
    const std::vector<std::pair<SInt32, SInt32>>& SelectedRuns() const { return Selected().runs; }
    void ForgetSelectedRows() { mSelected.reset(); }
    // Whole rows of these 1-based indexes, as few ranges as there are runs.
    QItemSelection RowsSelection(std::vector<SInt32> indexes) const;
    void Select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command);
    void TableSelectionChanged();
    // The counts of kinds: an item of the index joins them or changes (a new
    // item is not selected yet), or leaves them; the selection's change is
    // counted over the rows that changed, or over the few items of the kind.
    void NoteItemKinds(CIndexItem* item, bool mayBeSelected);
    void ForgetItemKinds(CIndexItem* item);
    void ForgetAllItemKinds();
    void CountSelectionChange(const QItemSelection& selected, const QItemSelection& deselected);
    void LookAtCopiesAgain();
    // The position a new item takes in a list (its sorted place when kept sorted).
    SInt32 InsertPosition(const TArray<CIndexItem*>& list, CIndexItem* item, SInt32 index) const;
    // The row index of the current list, built when first asked after a change.
    void InvalidateRows() const { mRowsValid = false; }
    class FieldCollector;
    // Enters the items' values through one collector a field; what only the
    // files could give is read when `mayReadMedia`, else the item is handed on
    // by valuesPending.
    template <typename Items>
    void EnterValues(const Items& items, bool mayReadMedia);
    void EnterCollectedValues(CollectedValues& values);
    // The item's values for one field; false (none given) when only its file could
    // tell them and mayReadMedia is false.
    static bool ValuesOfItem(CIndexItem* item, SInt32 fieldKey, bool mayReadMedia, std::vector<QString>& outValues);

    TArray<CIndexItem*> mAllItems;
    TArray<CIndexItem*> mFilterItems;
    TArray<CIndexItem*>* mCurrentList = &mAllItems;
    // The lists LockItemList locked, last on top.
    std::vector<TArray<CIndexItem*>*> mLockedLists;
    mutable ItemRows mRows;
    mutable bool mRowsValid = false;
    bool mRowsBuilding = false;
    // The sort request running, and the one to run once it has given way.
    std::atomic<bool>* mSortAbandon = nullptr;
    std::function<void()> mPendingSort;
    bool mKeepSorted = false;
    UInt64 mTotalFileSize = 0;

    UInt32 mFlags = 0;
    QByteArray mPassword;
    bool mKeepPasswordInKeychain = false;
    bool mModified = false;
    SInt32 mSettingsChanges = 0;
    SInt16 mBusyCount = 0;
    SInt16 mRunningTaskCount = 0;
    SInt16 mRunningSearchCount = 0;
    bool mUpdateFlag = false;
    SInt32 mViewState = kViewStateIdle;
    std::vector<QUrl> mPendingDeletions;
    std::vector<QUrl> mPendingTrash;
    bool mIndexDbDamaged = false;
    std::optional<FileIdentity> mStoredRecordsFile;

    // Where each item's record lies in index.db. Filled in reading order (one
    // append per item, so opening a large index pays nothing for it) and sorted by
    // item the first time one is looked up or forgotten.
    class StoredRecordTable {
    public:
        void Add(const CIndexItem* item, IndexStoredRecord record);
        bool Find(const CIndexItem* item, IndexStoredRecord& outRecord);
        void Forget(const CIndexItem* item);
        void Clear();
        void Reserve(SInt32 count);
        void Sort();

    private:
        using Entry = std::pair<const CIndexItem*, IndexStoredRecord>;
        std::vector<Entry>::iterator Locate(const CIndexItem* item);
        std::vector<Entry> mEntries;
        size_t mNext = 0; // where the next item asked for is looked first
        bool mSorted = true;
    };
    mutable StoredRecordTable mStoredRecords;
    // While a worker sorts them, the items forgotten meanwhile (forgotten once it is done).
    bool mSortingStoredRecords = false;
    std::vector<const CIndexItem*> mForgottenWhileSorting;

    IndexSettings mSettings = IndexSettings::FromPreferences();

    std::vector<SInt32> mIndexedKeys;
    std::optional<QHash<SInt32, ValueSets>> mValueIndex;

    IndexItemTableModel mTable { *this };
    // Set while the model changes the table's selection in steps it tells once.
    bool mQuiet = false;
    // Set while AppendItems enters items whose values it enters itself.
    bool mValuesCollected = false;
    mutable std::optional<SelectedRows> mSelected;
    // The index's own font items and items that came from a server, those of
    // them whose copy here was gone when last looked at, and the selected ones.
    QSet<CIndexItem*> mFontItems;
    QSet<CIndexItem*> mRemoteItems;
    QSet<CIndexItem*> mGoneCopies;
    QSet<CIndexItem*> mSelectedFonts;
    QSet<CIndexItem*> mSelectedRemote;
    // Set while rows leave: their items leave the counts by name.
    bool mKindsPaused = false;
};
