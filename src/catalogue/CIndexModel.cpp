#include "CIndexModel.h"

#include "PrefKeys.h"

#include "CANPAInfo.h"
#include "CIndexItem.h"
#include "CIndexItemComparator.h"
#include "CFontMedia.h"
#include "MediaFactory.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "FileRoutines.h"
#include "IIMText.h"
#include "Preferences.h"
#include "TaskServices.h"
#include "ThreadUtilities.h"
#include "WorkerPool.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <array>
#include <limits>

// --- Construction -----------------------------------------------------------------------------------

namespace {

// After a reorder, a list at least this long (one long enough to be sorted on
// other threads) has its rows found on another thread: some tens of
// milliseconds' work at a million items.
constexpr SInt32 kRowsFoundAsideItems = 20000;

std::vector<CIndexModel*>& Models()
{
    static std::vector<CIndexModel*> models;
    return models;
}
} // namespace

const std::vector<CIndexModel*>& CIndexModel::OpenModels()
{
    return Models();
}

CIndexModel::CIndexModel(QObject* parent)
    : QObject(parent)
    , mAllItems(new CIndexItemComparator, false, true)
    , mFilterItems(new CIndexItemComparator, false, true)
{
    // The selected rows are worked out again after any change of the selection
    // (quiet ones too) or of the rows, which moves the selected ranges with them.
    // Connected after the selection model's own handlers, so that it has followed.
    QItemSelectionModel* selection = &mTable.SelectionModel();
    QObject::connect(selection, &QItemSelectionModel::selectionChanged, this, &CIndexModel::ForgetSelectedRows);
    QObject::connect(&mTable, &QAbstractItemModel::rowsInserted, this, &CIndexModel::ForgetSelectedRows);
    QObject::connect(&mTable, &QAbstractItemModel::rowsRemoved, this, &CIndexModel::ForgetSelectedRows);
    QObject::connect(&mTable, &QAbstractItemModel::rowsMoved, this, &CIndexModel::ForgetSelectedRows);
    QObject::connect(&mTable, &QAbstractItemModel::columnsInserted, this, &CIndexModel::ForgetSelectedRows);
    QObject::connect(&mTable, &QAbstractItemModel::columnsRemoved, this, &CIndexModel::ForgetSelectedRows);
    QObject::connect(&mTable, &QAbstractItemModel::layoutChanged, this, &CIndexModel::ForgetSelectedRows);
    QObject::connect(&mTable, &QAbstractItemModel::modelReset, this, &CIndexModel::ForgetSelectedRows);
    QObject::connect(selection, &QItemSelectionModel::selectionChanged, this, &CIndexModel::CountSelectionChange);
    // A reset drops the selection without telling.
    QObject::connect(&mTable, &QAbstractItemModel::modelReset, this, [this] {
        mSelectedFonts.clear();
        mSelectedRemote.clear();
    });
    QObject::connect(selection, &QItemSelectionModel::selectionChanged, this, &CIndexModel::TableSelectionChanged);
    Models().push_back(this);
}

CIndexModel::~CIndexModel()
{
    std::erase(Models(), this);
    for (CIndexItem* item : mAllItems)
        delete item;
}

void CIndexModel::CheckUnlocked() const
{
    if (IsItemListLocked())
        ThrowOSErr_(kMsgIndexViewOperation, "the item list is locked");
}

// --- Items ---------------------------------------------------------------------------------------------

SInt32 CIndexModel::InsertItem(CIndexItem* item, SInt32 index, ItemInsert kind)
{
    ThrowIfNil_(item);
    CheckUnlocked();
    // Each item knows the model that holds it as its own, so that it is never put there twice.
    const bool known = item->GetOwningModel() == this;
    if (known) {
        if (SInt32 at = GetIndexOfItem(item))
            return at; // never twice in a list
    }
    mTable.BeginInsert(InsertPosition(*mCurrentList, item, index), 1);
    SInt32 at = mCurrentList->InsertItemsAt(1, index, item);
    mTable.EndInsert();
    ThrowIfNot_(at != 0, "item insertion");
    // An item added while the filter shows belongs to the index all the same,
    // unless it is another index's.
    const bool joins = !known && !(kind == ItemInsert::Foreign && IsFiltered());
    if (joins) {
        if (IsFiltered())
            mAllItems.InsertItemsAt(1, kInsertAtEnd, item);
        item->SetOwningModel(this);
        NoteItemKinds(item, false);
    }
    if (mRowsValid && at == mCurrentList->GetCount())
        mRows.Insert(item, at);
    else
        InvalidateRows();
    emit itemsInserted(at, 1);
    if (!joins || kind == ItemInsert::Foreign)
        return at;
    mTotalFileSize += item->GetTotalSize();
    emit itemsAdded({ &item, 1 }, mValuesCollected);
    // Whatever path added it, a new item is a change to save.
    if (kind == ItemInsert::Change)
        SetModified(true);
    return at;
}

void CIndexModel::AppendItems(std::span<CIndexItem* const> items, ItemInsert kind)
{
    ThrowIf_(kind == ItemInsert::Foreign, "foreign items are inserted one by one");
    CheckUnlocked();
    // A list that keeps itself sorted puts each item in its own place.
    const auto keepsSorted = [](const TArray<CIndexItem*>& list) { return list.GetKeepSorted() && list.GetComparator(); };
    const bool sorted = keepsSorted(*mCurrentList) || (IsFiltered() && keepsSorted(mAllItems));
    size_t runStart = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        CIndexItem* item = items[i];
        ThrowIfNil_(item);
        if (!sorted && item->GetOwningModel() != this) {
            item->SetOwningModel(this);
            continue; // new to the index: joins the run
        }
        // The run so far goes in first, so that the order holds.
        AppendNewItems(items.subspan(runStart, i - runStart), kind);
        runStart = i + 1;
        InsertItem(item, kInsertAtEnd, kind);
    }
    AppendNewItems(items.subspan(runStart), kind);
}

void CIndexModel::AppendNewItems(std::span<CIndexItem* const> items, ItemInsert kind)
{
    if (items.empty())
        return;
    const SInt32 count = SInt32(items.size());
    const SInt32 first = mCurrentList->GetCount() + 1;
    mTable.BeginInsert(first, count);
    mCurrentList->AppendItems(items.data(), count);
    mTable.EndInsert();
    // Added while the filter shows, they belong to the index all the same.
    if (IsFiltered())
        mAllItems.AppendItems(items.data(), count);
    if (mRowsValid) {
        for (SInt32 i = 0; i < count; ++i)
            mRows.Insert(items[size_t(i)], first + i);
    }
    for (CIndexItem* item : items) {
        mTotalFileSize += item->GetTotalSize();
        NoteItemKinds(item, false);
    }
    emit itemsInserted(first, count);
    emit itemsAdded(items, mValuesCollected);
    if (kind == ItemInsert::Change)
        SetModified(true);
}

SInt32 CIndexModel::AddFoundItem(CIndexItem* item)
{
    ThrowIfNil_(item);
    CheckUnlocked();
    if (SInt32 at = IsFiltered() ? GetIndexOfItem(item) : mFilterItems.FetchIndexOf(item))
        return at;
    if (!IsFiltered())
        return mFilterItems.InsertItemsAt(1, kInsertAtEnd, item);
    mTable.BeginInsert(InsertPosition(mFilterItems, item, kInsertAtEnd), 1);
    SInt32 at = mFilterItems.InsertItemsAt(1, kInsertAtEnd, item);
    mTable.EndInsert();
    InvalidateRows();
    emit itemsInserted(at, 1);
    return at;
}

bool CIndexModel::ReplaceFilterItems(const std::vector<CIndexItem*>& items, bool inListOrder)
{
    if (mFilterItems.IsLocked())
        return false;
    const bool shown = IsFiltered();
    if (shown) {
        DeselectAll();
        mTable.BeginReset();
    }
    // Both lists keep one order: items in the order of the list searched are in
    // the filter's order already.
    mFilterItems.AssignSortedItems(items);
    if (!inListOrder && mFilterItems.GetKeepSorted())
        SortList(mFilterItems);
    if (shown) {
        InvalidateRows();
        mTable.EndReset();
        emit listChanged();
    }
    return true;
}

CIndexItem* CIndexModel::TakeItemAt(SInt32 index)
{
    CheckUnlocked();
    CIndexItem* item = nullptr;
    if (!GetItemAt(index, item) || !item)
        return nullptr;
    mTotalFileSize -= std::min<UInt64>(mTotalFileSize, item->GetTotalSize());
    RemoveFromValueIndex(item);
    const bool selected = IsSelected(index);
    ForgetItemKinds(item);
    mQuiet = true; // its row, selection and all, leaves the table: told once below
    mKindsPaused = true;
    mTable.BeginRemove(index, 1);
    mCurrentList->RemoveItemsAt(1, index);
    mTable.EndRemove();
    mKindsPaused = false;
    mQuiet = false;
    if (IsFiltered())
        mAllItems.Remove(item);
    else
        mFilterItems.Remove(item);
    if (item->GetOwningModel() == this)
        item->SetOwningModel(nullptr);
    mStoredRecords.Forget(item);
    InvalidateRows();
    emit itemsRemoved(index, 1);
    if (selected)
        emit selectionChanged();
    SetModified(true);
    return item;
}

void CIndexModel::ReleaseLocks()
{
    while (mAllItems.IsLocked())
        mAllItems.Unlock();
    while (mFilterItems.IsLocked())
        mFilterItems.Unlock();
    mLockedLists.clear();
}

std::vector<CIndexItem*> CIndexModel::TakeAllItems()
{
    ReleaseLocks();
    // The counts go with the items, their copies not looked at again.
    mKindsPaused = true;
    DeselectAll();
    mKindsPaused = false;
    ForgetAllItemKinds();
    mTable.BeginReset();
    // Every item of the index goes, also those the filter hides.
    mFilterItems.RemoveAllItems();
    mCurrentList = &mAllItems;
    std::vector<CIndexItem*> items(mAllItems.begin(), mAllItems.end());
    mAllItems.RemoveAllItems();
    for (CIndexItem* item : items) {
        if (item->GetOwningModel() == this)
            item->SetOwningModel(nullptr);
    }
    InvalidateRows();
    mTable.EndReset();
    mStoredRecords.Clear();
    mTotalFileSize = 0;
    emit listChanged();
    RebuildValueIndexIfBuilt();
    return items;
}

CIndexItem* CIndexModel::ItemAt(SInt32 index) const
{
    CIndexItem* item = nullptr;
    return GetItemAt(index, item) ? item : nullptr;
}

SInt32 CIndexModel::GetIndexOfItem(const CIndexItem* item) const
{
    if (!item)
        return 0;
    if (mRowsBuilding)
        return mCurrentList->FetchIndexOf(const_cast<CIndexItem*>(item)); // a moment's wait for the rows
    if (!mRowsValid) {
        mRows.Build(*mCurrentList);
        mRowsValid = true;
    }
    return mRows.Find(item);
}

bool CIndexModel::ContainsURL(const QUrl& url) const
{
    ThrowIf_(url.isEmpty() || url.isRelative(), "URL without an absolute form");
    const QUrl wanted = url.adjusted(QUrl::NormalizePathSegments | QUrl::StripTrailingSlash);
    for (CIndexItem* item : *mCurrentList) {
        QUrl itemURL = item->GetURL();
        if (itemURL.isEmpty())
            itemURL = item->GetRemoteURL();
        if (itemURL.adjusted(QUrl::NormalizePathSegments | QUrl::StripTrailingSlash) == wanted)
            return true;
    }
    return false;
}

void CIndexModel::ItemChanged(CIndexItem* item, SInt32 fieldKey, bool changed)
{
    if (item && item->GetOwningModel() == this)
        NoteItemKinds(item, true);
    mTable.ItemChanged(item);
    emit itemChanged(item, fieldKey);
    if (changed)
        SetModified(true);
}

// --- Filter -------------------------------------------------------------------------------------------

void CIndexModel::ShowFilter(bool clear)
{
    DeselectAll();
    mTable.BeginReset();
    if (clear)
        mFilterItems.RemoveAllItems();
    mCurrentList = &mFilterItems;
    InvalidateRows();
    mTable.EndReset();
    emit listChanged();
    emit filterShown(true);
}

bool CIndexModel::ShowAllItems()
{
    if (!IsFiltered())
        return false;
    DeselectAll();
    mTable.BeginReset();
    mCurrentList = &mAllItems;
    if (!mFilterItems.IsLocked())
        mFilterItems.RemoveAllItems();
    InvalidateRows();
    mTable.EndReset();
    emit listChanged();
    emit filterShown(false);
    return true;
}

// --- Sort ------------------------------------------------------------------------------------------------

void CIndexModel::SortItems()
{
    RunSortRequest([this] {
        if (IsItemListLocked())
            return;
        CIndexItemComparator* comparator = ComparatorOf(*mCurrentList);
        if (!comparator) {
            Reorder([&] { SortList(*mCurrentList); });
            return;
        }
        std::optional<ItemRows> rows;
        std::vector<CIndexItem*> order = SortedItems(*mCurrentList, *comparator, &rows);
        Reorder([&] { mCurrentList->AssignSortedItems(std::move(order)); }, &rows);
    });
}

void CIndexModel::RunSortRequest(std::function<void()> request)
{
    if (mSortAbandon) {
        mPendingSort = std::move(request);
        *mSortAbandon = true;
        return;
    }
    while (request) {
        std::atomic<bool> abandon = false;
        mSortAbandon = &abandon;
        try {
            request();
        } catch (const SortAbandoned&) {
            // a newer request follows
        } catch (...) {
            mSortAbandon = nullptr;
            mPendingSort = nullptr;
            throw;
        }
        mSortAbandon = nullptr;
        request = std::exchange(mPendingSort, nullptr);
    }
}

std::vector<CIndexItem*> CIndexModel::SortedItems(const TArray<CIndexItem*>& list, CIndexItemComparator& comparator,
    std::optional<ItemRows>* rows)
{
    // Nothing may add or remove items while the order is made: the window
    // takes the user's input meanwhile.
    StArrayLocker<CIndexItem*> all(mAllItems);
    StArrayLocker<CIndexItem*> filter(mFilterItems);
    std::vector<CIndexItem*> items = list.Items();
    comparator.SortItems(items, mSortAbandon);
    if (rows && &list == mCurrentList && items.size() >= size_t(kRowsFoundAsideItems)) {
        // Found here rather than once the items have moved, when the table is
        // between two layouts and the user's input must wait.
        ItemRows& found = rows->emplace();
        std::atomic<bool>* abandon = mSortAbandon;
        StWindowLive live(abandon ? StWindowLive::Input::Taken : StWindowLive::Input::Waits, [abandon] {
            if (abandon && abandon->load())
                throw SortAbandoned();
        });
        live.RunOnThreads(1, [&](size_t) { found.Build(items); });
    }
    return items;
}

CIndexItemComparator* CIndexModel::ComparatorOf(const TArray<CIndexItem*>& list)
{
    return dynamic_cast<CIndexItemComparator*>(list.GetComparator());
}

void CIndexModel::SortList(TArray<CIndexItem*>& list)
{
    // With the items' values prepared once: far faster than comparing fields pair by pair.
    if (CIndexItemComparator* comparator = ComparatorOf(list))
        comparator->SortArray(list);
    else
        list.Sort();
}

SInt32 CIndexModel::GetSortKey() const
{
    auto* comparator = ComparatorOf(*mCurrentList);
    return comparator ? comparator->GetSortKey() : kFieldName;
}

SInt32 CIndexModel::GetSortOrder() const
{
    if (!mCurrentList->GetKeepSorted())
        return 2;
    auto* comparator = ComparatorOf(*mCurrentList);
    return comparator && comparator->IsDescending() ? 1 : 0;
}

void CIndexModel::SetSortKey(SInt32 key, bool descending)
{
    RunSortRequest([this, key, descending] { ChangeOrder([&] { SortBothLists(key, descending); }); });
}

void CIndexModel::SetSortOrder(SInt32 order)
{
    RunSortRequest([this, order] { ChangeOrder([&] { OrderBothLists(order); }); });
}

void CIndexModel::ChangeOrder(const std::function<void()>& sort)
{
    // The items' order is stored with them: an index without items has none to change.
    if (CountAllItems() == 0)
        sort();
    else
        ChangeSettings(sort);
}

void CIndexModel::SortBothLists(SInt32 key, bool descending)
{
    if (IsItemListLocked())
        return;
    const std::array<TArray<CIndexItem*>*, 2> lists { &mAllItems, &mFilterItems };
    std::array<std::unique_ptr<CIndexItemComparator>, 2> comparators;
    std::array<std::vector<CIndexItem*>, 2> orders;
    std::optional<ItemRows> rows;
    for (size_t i = 0; i < lists.size(); ++i) {
        comparators[i] = std::make_unique<CIndexItemComparator>();
        comparators[i]->SetSortKey(key);
        comparators[i]->SetDescending(descending);
        orders[i] = SortedItems(*lists[i], *comparators[i], &rows);
    }
    Reorder([&] {
        for (size_t i = 0; i < lists.size(); ++i) {
            lists[i]->SetKeepSorted(false); // in order already
            lists[i]->SetComparator(comparators[i].release(), true);
            lists[i]->AssignSortedItems(std::move(orders[i]));
            lists[i]->SetKeepSorted(true);
        }
        mKeepSorted = true;
    }, &rows);
}

void CIndexModel::OrderBothLists(SInt32 order)
{
    if (order != 0 && order != 1)
        return; // no order: the list stays as its key left it
    if (IsItemListLocked())
        return;
    struct Flip {
        TArray<CIndexItem*>* list;
        CIndexItemComparator* comparator;
        std::optional<std::vector<CIndexItem*>> order;
    };
    std::vector<Flip> flips;
    std::optional<ItemRows> rows;
    for (TArray<CIndexItem*>* list : { &mAllItems, &mFilterItems }) {
        auto* comparator = ComparatorOf(*list);
        if (!comparator || comparator->IsDescending() == (order == 1))
            continue;
        Flip& flip = flips.emplace_back(Flip { list, comparator, std::nullopt });
        if (list->GetKeepSorted()) {
            CIndexItemComparator flipped(*comparator);
            flipped.SetDescending(order == 1);
            flip.order = SortedItems(*list, flipped, &rows);
        }
    }
    Reorder([&] {
        for (Flip& flip : flips) {
            flip.comparator->SetDescending(order == 1);
            if (flip.order)
                flip.list->AssignSortedItems(std::move(*flip.order));
        }
    }, &rows);
}

void CIndexModel::ApplyKeptSort()
{
    RunSortRequest([this] {
        if (!mKeepSorted || IsItemListLocked())
            return;
        std::optional<std::vector<CIndexItem*>> order;
        std::optional<ItemRows> rows;
        if (CIndexItemComparator* comparator = ComparatorOf(*mCurrentList))
            order = SortedItems(*mCurrentList, *comparator, &rows);
        Reorder([&] {
            if (order)
                mCurrentList->AssignSortedItems(std::move(*order));
            else
                SortList(*mCurrentList);
            mCurrentList->SetKeepSorted(true);
        }, &rows);
    });
}

void CIndexModel::Reorder(const std::function<void()>& reorder, std::optional<ItemRows>* rows)
{
    KeepSelectionAcross([&] {
        mTable.BeginMove();
        reorder();
        if (rows && *rows) {
            mRows = std::move(**rows);
            mRowsValid = true;
        } else {
            FindRowsKeepingWindowLive();
        }
        mTable.EndMove();
    });
    emit itemsMoved();
}

void CIndexModel::FindRowsKeepingWindowLive()
{
    InvalidateRows();
    if (mCurrentList->GetCount() < kRowsFoundAsideItems)
        return; // found when first asked, in a moment
    // The window repaints meanwhile; a row asked for then is looked up in the list.
    ItemRows rows;
    StWindowLive live;
    mRowsBuilding = true;
    try {
        live.RunOnThreads(1, [&](size_t) { rows.Build(*mCurrentList); });
    } catch (...) {
        mRowsBuilding = false;
        throw;
    }
    mRowsBuilding = false;
    mRows = std::move(rows);
    mRowsValid = true;
}

SInt32 CIndexModel::InsertPosition(const TArray<CIndexItem*>& list, CIndexItem* item, SInt32 index) const
{
    if (list.GetKeepSorted() && list.GetComparator())
        return list.FetchInsertIndexOf(item);
    return index < 1 || index > list.GetCount() ? list.GetCount() + 1 : index;
}

// --- Selection ------------------------------------------------------------------------------------------

const CIndexModel::SelectedRows& CIndexModel::Selected() const
{
    if (mSelected)
        return *mSelected;
    // A row is selected while any of its cells is; the table's ranges may overlap
    // (a list view selects cell by cell), so they are merged into runs of rows.
    SelectedRows& selected = mSelected.emplace();
    std::vector<std::pair<SInt32, SInt32>>& runs = selected.runs;
    const QItemSelection selection = mTable.SelectionModel().selection();
    runs.reserve(size_t(selection.size()));
    for (const QItemSelectionRange& range : selection) {
        if (range.isValid())
            runs.emplace_back(range.top() + 1, range.bottom() + 1);
    }
    std::sort(runs.begin(), runs.end());
    size_t kept = 0;
    for (const auto& run : runs) {
        if (kept && run.first <= runs[kept - 1].second + 1)
            runs[kept - 1].second = std::max(runs[kept - 1].second, run.second);
        else
            runs[kept++] = run;
    }
    runs.resize(kept);
    for (const auto& [top, bottom] : runs)
        selected.count += bottom - top + 1;
    return selected;
}

QItemSelection CIndexModel::RowsSelection(std::vector<SInt32> indexes) const
{
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    QItemSelection selection;
    const int lastColumn = std::max(0, mTable.columnCount() - 1);
    for (size_t i = 0; i < indexes.size();) {
        size_t last = i;
        while (last + 1 < indexes.size() && indexes[last + 1] == indexes[last] + 1)
            ++last;
        selection.append(
            QItemSelectionRange(mTable.index(indexes[i] - 1, 0), mTable.index(indexes[last] - 1, lastColumn)));
        i = last + 1;
    }
    return selection;
}

void CIndexModel::Select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command)
{
    // The table's own signal tells the listeners once.
    if (selection.isEmpty() && (command & QItemSelectionModel::Clear))
        mTable.SelectionModel().clearSelection();
    else
        mTable.SelectionModel().select(selection, command);
}

void CIndexModel::KeepSelectionAcross(const std::function<void()>& change)
{
    // The rows' selection is taken as items and given back to the rows they are
    // at afterwards: cheaper than carrying every selected cell across the change
    // as a persistent index. Listeners hear nothing when the same items stay selected.
    const std::vector<CIndexItem*> items = SelectedItems();
    if (items.empty()) {
        change();
        return;
    }
    mQuiet = true;
    mTable.SelectionModel().clearSelection();
    mQuiet = false;
    change();
    std::vector<SInt32> indexes;
    indexes.reserve(items.size());
    for (CIndexItem* item : items) {
        if (SInt32 index = GetIndexOfItem(item))
            indexes.push_back(index);
    }
    const bool someLeft = indexes.size() != items.size();
    const QItemSelection selection = RowsSelection(std::move(indexes));
    mQuiet = true;
    if (!selection.isEmpty())
        mTable.SelectionModel().select(selection, QItemSelectionModel::ClearAndSelect);
    mQuiet = false;
    if (someLeft)
        emit selectionChanged();
}

void CIndexModel::SetTableColumns(
    std::vector<SInt32> fieldKeys, std::vector<QString> titles, std::vector<Qt::Alignment> alignments)
{
    KeepSelectionAcross([&] { mTable.SetColumns(std::move(fieldKeys), std::move(titles), std::move(alignments)); });
}

void CIndexModel::TableSelectionChanged()
{
    if (!mQuiet)
        emit selectionChanged();
}

bool CIndexModel::IsSelected(SInt32 index) const
{
    // The run that starts last at or before the index holds it, if any does.
    const auto& runs = SelectedRuns();
    auto run = std::upper_bound(runs.begin(), runs.end(), std::pair { index, std::numeric_limits<SInt32>::max() });
    return index >= 1 && index <= CountItems() && run != runs.begin() && std::prev(run)->second >= index;
}

void CIndexModel::SelectIndex(SInt32 index)
{
    if (ItemAt(index) && !IsSelected(index))
        Select(RowsSelection({ index }), QItemSelectionModel::Select);
}

void CIndexModel::DeselectIndex(SInt32 index)
{
    if (IsSelected(index))
        Select(RowsSelection({ index }), QItemSelectionModel::Deselect);
}

void CIndexModel::SelectItem(CIndexItem* item)
{
    SelectIndex(GetIndexOfItem(item));
}

void CIndexModel::DeselectItem(CIndexItem* item)
{
    DeselectIndex(GetIndexOfItem(item));
}

void CIndexModel::SelectItems(std::span<CIndexItem* const> items)
{
    // Told only when an item was not selected yet.
    std::vector<SInt32> indexes;
    indexes.reserve(items.size());
    for (CIndexItem* item : items) {
        if (SInt32 index = GetIndexOfItem(item); index && !IsSelected(index))
            indexes.push_back(index);
    }
    if (!indexes.empty())
        Select(RowsSelection(std::move(indexes)), QItemSelectionModel::Select);
}

void CIndexModel::SelectOnly(SInt32 index)
{
    const bool wanted = ItemAt(index) != nullptr;
    if (CountSelectedItems() == (wanted ? 1 : 0) && (!wanted || IsSelected(index)))
        return;
    Select(wanted ? RowsSelection({ index }) : QItemSelection(), QItemSelectionModel::ClearAndSelect);
}

void CIndexModel::SetCurrentIndex(SInt32 index)
{
    if (ItemAt(index))
        mTable.SelectionModel().setCurrentIndex(mTable.index(index - 1, 0), QItemSelectionModel::NoUpdate);
}

void CIndexModel::ToggleIndex(SInt32 index)
{
    if (IsSelected(index))
        DeselectIndex(index);
    else
        SelectIndex(index);
}

void CIndexModel::SetRangeSelected(SInt32 first, SInt32 last, bool selected)
{
    first = std::max<SInt32>(first, 1);
    last = std::min(last, CountItems());
    if (first > last)
        return;
    // Nothing to tell when the range already is as asked.
    const auto& runs = SelectedRuns();
    SInt32 inside = 0;
    for (const auto& [top, bottom] : runs)
        inside += std::max(0, std::min(bottom, last) - std::max(top, first) + 1);
    if (inside == (selected ? last - first + 1 : 0))
        return;
    const int lastColumn = std::max(0, mTable.columnCount() - 1);
    const QItemSelection range(mTable.index(first - 1, 0), mTable.index(last - 1, lastColumn));
    if (selected && first == 1 && last == CountItems())
        Select(range, QItemSelectionModel::ClearAndSelect); // one range, not the pieces there were
    else
        Select(range, selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

bool CIndexModel::SelectAll()
{
    const SInt32 before = CountSelectedItems();
    SetRangeSelected(1, CountItems(), true);
    return before != CountItems();
}

bool CIndexModel::DeselectAll()
{
    if (!mTable.SelectionModel().hasSelection())
        return false;
    Select(QItemSelection(), QItemSelectionModel::Clear);
    return true;
}

SInt32 CIndexModel::CountSelectedItems() const
{
    return Selected().count;
}

SInt32 CIndexModel::GetFirstSelectedIndex() const
{
    const auto& runs = SelectedRuns();
    return runs.empty() ? 0 : runs.front().first;
}

SInt32 CIndexModel::GetLastSelectedIndex() const
{
    const auto& runs = SelectedRuns();
    return runs.empty() ? 0 : runs.back().second;
}

std::vector<SInt32> CIndexModel::SelectedIndexes() const
{
    std::vector<SInt32> indexes;
    for (const auto& [top, bottom] : SelectedRuns()) {
        for (SInt32 index = top; index <= bottom; ++index)
            indexes.push_back(index);
    }
    return indexes;
}

std::vector<CIndexItem*> CIndexModel::SelectedItems() const
{
    std::vector<CIndexItem*> items;
    items.reserve(size_t(CountSelectedItems()));
    AnySelectedItem([&](CIndexItem* item) {
        items.push_back(item);
        return false;
    });
    return items;
}

bool CIndexModel::AnySelectedItem(const std::function<bool(CIndexItem*)>& test) const
{
    for (const auto& [top, bottom] : SelectedRuns()) {
        for (SInt32 index = top; index <= bottom; ++index) {
            if (CIndexItem* item = ItemAt(index); item && test(item))
                return true;
        }
    }
    return false;
}

// --- Counts of kinds of items ---------------------------------------------------------------------------

namespace {

void Mark(QSet<CIndexItem*>& set, CIndexItem* item, bool member)
{
    if (member)
        set.insert(item);
    else
        set.remove(item);
}

// The rows the ranges hold (a row selected cell by cell counts once a range).
qsizetype RowsIn(const QItemSelection& selection)
{
    qsizetype rows = 0;
    for (const QItemSelectionRange& range : selection)
        rows += range.isValid() ? range.height() : 0;
    return rows;
}

} // namespace

bool CIndexModel::IsCopyGone(CIndexItem& item)
{
    QUrl file;
    if (CatchCode([&] { file = item.LocateFile(false); }) != noErr)
        return true;
    return !file.isLocalFile() || !QFileInfo::exists(file.toLocalFile());
}

SInt32 CIndexModel::CountGoneCopies() const
{
    if (!IsFiltered())
        return SInt32(mGoneCopies.size());
    return SInt32(std::count_if(
        mGoneCopies.begin(), mGoneCopies.end(), [this](CIndexItem* item) { return GetIndexOfItem(item) != 0; }));
}

void CIndexModel::NoteItemKinds(CIndexItem* item, bool mayBeSelected)
{
    bool font = false;
    bool remote = false;
    (void)CatchCode([&] {
        font = item->IsFont();
        remote = !item->GetRemoteURL().isEmpty();
    });
    Mark(mFontItems, item, font);
    Mark(mRemoteItems, item, remote);
    Mark(mGoneCopies, item, remote && IsCopyGone(*item));
    if (!mayBeSelected)
        return;
    const bool selected = (font || remote)
        && (mSelectedFonts.contains(item) || mSelectedRemote.contains(item) || IsSelected(GetIndexOfItem(item)));
    Mark(mSelectedFonts, item, font && selected);
    Mark(mSelectedRemote, item, remote && selected);
}

void CIndexModel::ForgetItemKinds(CIndexItem* item)
{
    for (QSet<CIndexItem*>* set : { &mFontItems, &mRemoteItems, &mGoneCopies, &mSelectedFonts, &mSelectedRemote })
        set->remove(item);
}

void CIndexModel::ForgetAllItemKinds()
{
    for (QSet<CIndexItem*>* set : { &mFontItems, &mRemoteItems, &mGoneCopies, &mSelectedFonts, &mSelectedRemote })
        set->clear();
}

void CIndexModel::CountSelectionChange(const QItemSelection& selected, const QItemSelection& deselected)
{
    if (mKindsPaused)
        return;
    const auto isSelected = [this](CIndexItem* item) { return IsSelected(GetIndexOfItem(item)); };
    // A row is selected while any of its cells is: a row some of whose cells
    // left may still be.
    if (!deselected.isEmpty() && !(mSelectedFonts.isEmpty() && mSelectedRemote.isEmpty())) {
        if (mSelectedFonts.size() + mSelectedRemote.size() <= RowsIn(deselected)) {
            const auto left = [&](CIndexItem* item) { return !isSelected(item); };
            mSelectedFonts.removeIf(left);
            mSelectedRemote.removeIf(left);
        } else {
            for (const QItemSelectionRange& range : deselected) {
                for (int row = range.isValid() ? range.top() : 0; range.isValid() && row <= range.bottom(); ++row) {
                    CIndexItem* item = ItemAt(row + 1);
                    if (item && !IsSelected(row + 1)) {
                        mSelectedFonts.remove(item);
                        mSelectedRemote.remove(item);
                    }
                }
            }
        }
    }
    if (!selected.isEmpty() && !(mFontItems.isEmpty() && mRemoteItems.isEmpty())) {
        if (mFontItems.size() + mRemoteItems.size() <= RowsIn(selected)) {
            for (auto [kind, chosen] :
                { std::pair { &mFontItems, &mSelectedFonts }, std::pair { &mRemoteItems, &mSelectedRemote } }) {
                for (CIndexItem* item : std::as_const(*kind)) {
                    if (isSelected(item))
                        chosen->insert(item);
                }
            }
        } else {
            for (const QItemSelectionRange& range : selected) {
                for (int row = range.isValid() ? range.top() : 0; range.isValid() && row <= range.bottom(); ++row) {
                    CIndexItem* item = ItemAt(row + 1);
                    if (item && mFontItems.contains(item))
                        mSelectedFonts.insert(item);
                    if (item && mRemoteItems.contains(item))
                        mSelectedRemote.insert(item);
                }
            }
        }
    }
    // With nothing selected the copies that are gone are what Download Again takes.
    if (!deselected.isEmpty() && CountSelectedItems() == 0)
        LookAtCopiesAgain();
}

void CIndexModel::LookAtCopiesAgain()
{
    for (CIndexItem* item : std::as_const(mRemoteItems))
        Mark(mGoneCopies, item, IsCopyGone(*item));
}

// --- Lock and counts ---------------------------------------------------------------------------------

void CIndexModel::LockItemList()
{
    mCurrentList->Lock();
    mLockedLists.push_back(mCurrentList);
    emit stateChanged();
}

void CIndexModel::UnlockItemList()
{
    // The list locked last, though the filter may have been shown or ended since.
    TArray<CIndexItem*>* list = mLockedLists.empty() ? mCurrentList : mLockedLists.back();
    if (!mLockedLists.empty())
        mLockedLists.pop_back();
    list->Unlock();
    emit stateChanged();
}

void CIndexModel::SetBusy(bool busy)
{
    mBusyCount = SInt16(std::max(0, mBusyCount + (busy ? 1 : -1)));
}

SInt16 CIndexModel::AddRunningTask(bool search)
{
    ++(search ? mRunningSearchCount : mRunningTaskCount);
    emit stateChanged();
    return mRunningTaskCount;
}

SInt16 CIndexModel::RemoveRunningTask(bool search)
{
    SInt16& count = search ? mRunningSearchCount : mRunningTaskCount;
    if (--count < 0) {
        count = 0;
        QApplication::beep();
    }
    emit stateChanged();
    return mRunningTaskCount;
}

void CIndexModel::SetViewState(SInt32 state)
{
    if (state == mViewState)
        return;
    mViewState = state;
    emit stateChanged();
}

void CIndexModel::SetModified(bool modified)
{
    if (modified == mModified)
        return;
    mModified = modified;
    emit modifiedChanged(modified);
}

// --- Records of index.db ---------------------------------------------------------------------------

void CIndexModel::ForgetStoredRecord(const CIndexItem* item)
{
    if (mSortingStoredRecords)
        mForgottenWhileSorting.push_back(item);
    else
        mStoredRecords.Forget(item);
}

void CIndexModel::PrepareStoredRecords()
{
    mSortingStoredRecords = true;
    const auto sorted = qScopeGuard([this] {
        mSortingStoredRecords = false;
        for (const CIndexItem* item : std::exchange(mForgottenWhileSorting, {}))
            mStoredRecords.Forget(item);
    });
    WorkerPool::Run([this] { mStoredRecords.Sort(); });
}

void CIndexModel::SetStoredRecord(const CIndexItem* item, IndexStoredRecord record)
{
    if (item)
        mStoredRecords.Add(item, record);
}

bool CIndexModel::GetStoredRecord(const CIndexItem* item, IndexStoredRecord& outRecord) const
{
    return mStoredRecords.Find(item, outRecord);
}

void CIndexModel::StoredRecordTable::Add(const CIndexItem* item, IndexStoredRecord record)
{
    if (!mEntries.empty() && !(mEntries.back().first < item))
        mSorted = false;
    mEntries.emplace_back(item, record);
}

std::vector<CIndexModel::StoredRecordTable::Entry>::iterator CIndexModel::StoredRecordTable::Locate(
    const CIndexItem* item)
{
    Sort();
    // A save asks item after item in the index's order, and items made one after
    // another lie one after another in memory: the entry after the last one found
    // is most often the one asked for.
    if (mNext < mEntries.size() && mEntries[mNext].first == item)
        return mEntries.begin() + std::ptrdiff_t(mNext++);
    auto found = std::lower_bound(mEntries.begin(), mEntries.end(), item,
        [](const Entry& entry, const CIndexItem* key) { return entry.first < key; });
    if (found == mEntries.end() || found->first != item)
        return mEntries.end();
    mNext = size_t(found - mEntries.begin()) + 1;
    return found;
}

void CIndexModel::StoredRecordTable::Sort()
{
    if (mSorted)
        return;
    // Stable: of two entries for one item, the later one wins.
    std::stable_sort(
        mEntries.begin(), mEntries.end(), [](const Entry& a, const Entry& b) { return a.first < b.first; });
    auto last = std::unique(
        mEntries.rbegin(), mEntries.rend(), [](const Entry& a, const Entry& b) { return a.first == b.first; });
    mEntries.erase(mEntries.begin(), last.base());
    mSorted = true;
}

bool CIndexModel::StoredRecordTable::Find(const CIndexItem* item, IndexStoredRecord& outRecord)
{
    auto found = Locate(item);
    if (found == mEntries.end() || found->second.length <= 0)
        return false;
    outRecord = found->second;
    return true;
}

void CIndexModel::StoredRecordTable::Forget(const CIndexItem* item)
{
    if (mEntries.empty())
        return;
    auto found = Locate(item);
    if (found != mEntries.end())
        found->second = IndexStoredRecord {}; // a reused address must not find it
}

void CIndexModel::StoredRecordTable::Clear()
{
    mEntries.clear();
    mSorted = true;
}

void CIndexModel::ReserveItems(SInt32 count)
{
    if (count <= 0)
        return;
    mAllItems.Reserve(count);
    mStoredRecords.Reserve(count);
}

void CIndexModel::StoredRecordTable::Reserve(SInt32 count)
{
    if (count > 0)
        mEntries.reserve(size_t(count));
}

// --- Pending deletions -------------------------------------------------------------------------------

bool CIndexModel::AddFileToDelete(const QUrl& file)
{
    if (file.isEmpty())
        return false;
    mPendingDeletions.push_back(file);
    return true;
}

bool CIndexModel::AddFileToTrash(const QUrl& file)
{
    if (file.isEmpty())
        return false;
    mPendingTrash.push_back(file);
    return true;
}

void CIndexModel::DeletePendingFiles()
{
    std::vector<QUrl> files;
    files.swap(mPendingDeletions);
    for (const QUrl& url : files) {
        if (url.isLocalFile())
            QFile::remove(url.toLocalFile());
    }
    files.clear();
    files.swap(mPendingTrash);
    // A file the Trash refuses stays in the package rather than being lost.
    for (const QUrl& url : files)
        (void)MoveURLToTrash(url);
}

void CIndexModel::SetFontsActive(const std::vector<CIndexItem*>& items, bool active)
{
    OSStatus first = noErr;
    for (CIndexItem* item : items) {
        if (!item->IsFont())
            continue;
        const OSStatus status = active ? ActivateFontFile(item->GetURL()) : DeactivateFontFile(item->GetURL());
        if (first == noErr)
            first = status;
        ItemRedrawn(item, 0);
    }
    ThrowIfOSErr_(first);
}
