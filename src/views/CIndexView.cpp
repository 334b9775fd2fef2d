#include "CIndexView.h"

#include "CInPlaceEditField.h"

#include "Alerts.h"
#include "CANPAInfo.h"
#include "CCacheTask.h"
#include "CIndexItem.h"
#include "CUpdateTask.h"
#include "IndexGridGeometry.h"
#include "CVisualTask.h"
#include "DisplayUtilities.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "FileTypes.h"
#include "IIMText.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "Offscreen.h"
#include "Picture.h"
#include "Preferences.h"
#include "TaskServices.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QResizeEvent>

#include <algorithm>

namespace {

constexpr SInt32 kNameKey = 4001;
constexpr SInt32 kKeywordsKey = 6016;
constexpr SInt32 kCategoriesKey = 6017;
constexpr SInt32 kRatingKey = 6020;
constexpr SInt32 kVisibleInset = 10; // the visible range is measured this far inside the frame

// Internet location files are never catalogued.
constexpr OSType kInternetLocationHTTP = 'ilht';
constexpr OSType kInternetLocationFTP = 'ilft';
constexpr OSType kIndexPackageType = 'OIDX';

std::vector<SInt32> ReadKeyArray(const QString& prefKey)
{
    std::vector<SInt32> keys;
    const QVariantList list = CopyPrefValue(prefKey).toList();
    for (const QVariant& value : list) {
        bool ok = false;
        SInt32 key = SInt32(value.toLongLong(&ok));
        ThrowIfNot_(ok, "field key list");
        keys.push_back(key);
    }
    return keys;
}

// The name as the value index groups it: numbering and separators left out.
QString NameValue(const QString& name)
{
    QString value;
    value.reserve(name.size());
    static const QString kDropped = QStringLiteral("-_ ~()'");
    for (QChar c : name) {
        if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || kDropped.contains(c))
            continue;
        value.append(c);
    }
    return value;
}

} // namespace

// --- ItemSortComparator ---------------------------------------------------------------------------

ItemSortComparator::ItemSortComparator(SInt32 sortKey, bool descending)
    : mSortKey(sortKey)
    , mDescending(descending)
{
}

SInt32 ItemSortComparator::CompareItems(CIndexItem* a, CIndexItem* b, SInt32 /*key*/)
{
    // Names compare as the user reads them; the other keys by name until their
    // field comparison is in place.
    int order = QString::localeAwareCompare(a->GetName(), b->GetName());
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

SInt32 ItemSortComparator::Compare(const void* item1, const void* item2, UInt32, UInt32) const
{
    CIndexItem* a = *static_cast<CIndexItem* const*>(item1);
    CIndexItem* b = *static_cast<CIndexItem* const*>(item2);
    SInt32 order = CompareItems(a, b, mSortKey);
    if (order == 0 && mSortKey != kNameKey)
        order = CompareItems(a, b, kNameKey);
    if (order == 0 && a != b)
        order = std::less<CIndexItem*>()(a, b) ? -1 : 1;
    return mDescending ? -order : order;
}

bool ItemSortComparator::IsEqualTo(const void* item1, const void* item2, UInt32, UInt32) const
{
    return *static_cast<CIndexItem* const*>(item1) == *static_cast<CIndexItem* const*>(item2);
}

LComparator* ItemSortComparator::Clone() const
{
    return new ItemSortComparator(mSortKey, mDescending);
}

// --- Construction -------------------------------------------------------------------------------------

CIndexView::CIndexView(const LLayoutData& data)
    : LView(data)
    , mAllItems(new ItemSortComparator, false, true)
    , mFilterItems(new ItemSortComparator, false, true)
{
    InitIndexView();
}

CIndexView::CIndexView(const SPaneInfo& info)
    : LView(info)
    , mAllItems(new ItemSortComparator, false, true)
    , mFilterItems(new ItemSortComparator, false, true)
{
    InitIndexView();
}

void CIndexView::InitIndexView()
{
    setFocusPolicy(Qt::StrongFocus); // the grid takes the keys once clicked or tabbed to
    mThumbnailSize = SInt16(std::clamp<SInt32>(GetPrefNumber(QStringLiteral("DefaultThumbnailViewSize ")), 16, 1024));
    mExtendedSize = SInt16(std::clamp<SInt32>(GetPrefNumber(QStringLiteral("DefaultExtendedViewSize ")), 16, 1024));
    mThumbnailColumns = ReadKeyArray(QStringLiteral("ThumbnailViewColumns"));
    mExtendedColumns = ReadKeyArray(QStringLiteral("ExtendedViewColumns"));
    if (GetPrefBoolean(QStringLiteral("ShowFileExtension")))
        mFlags |= kViewShowFileExtension;
    if (GetPrefBoolean(QStringLiteral("IndexStoreMediaFile")))
        mFlags |= kViewStoreMediaFile;
    if (GetPrefBoolean(QStringLiteral("IndexRemoveMediaFile")))
        mFlags |= kViewRemoveMediaFile;
    GetPatternMenu(); // the views' shared menu of themes, filled by the first view
    mTheme = GetPrefNumber(QStringLiteral("DefaultIndexTheme_6"));
    mModified = true;
    SetModified(false);
    mUpdateTask = new CUpdateTask(this);
    mUpdateTask->Start();
}

CIndexView::~CIndexView()
{
    if (mRenameField) { // an edit still open is dropped with the view
        mRenameField->RemoveListener(this);
        delete mRenameField;
        mRenameField = nullptr;
    }
    // The other tasks of the view first (they may hold items), then its own two,
    // whose stacks are unwound, so nothing works on an item once it is deleted.
    StopTasksOfOwner(this);
    for (CVisualTask* task : {static_cast<CVisualTask*>(mUpdateTask), static_cast<CVisualTask*>(mCacheTask.Get())})
        if (task && CVisualTask::IsAlive(task))
            task->DeleteThread();
    mUpdateTask = nullptr;
    mCacheTask = {};
    for (CIndexItem* item : mAllItems)
        delete item;
}

void CIndexView::FinishCreateSelf()
{
    RebuildValueIndex();
    // The cells take their size from the thumbnail size from the start: a new
    // index has no settings whose reading would lay them out, and a cell no
    // larger than its picture has the picture drawn over its names.
    const QSize cell = IndexGridGeometry::CellSizeFor(IsExtendedView() ? mExtendedSize : mThumbnailSize, GridMetrics());
    SetCellSize(SInt16(std::min(cell.width(), 32767)), SInt16(std::min(cell.height(), 32767)));
}

// --- Broadcasts -------------------------------------------------------------------------------------------

void CIndexView::BroadcastState(SInt32 parameter)
{
    BroadcastMessage(msg_ViewStateChanged, &parameter);
}

void CIndexView::BroadcastItemsChanged(SInt32 fieldKey)
{
    BroadcastMessage(msg_ItemsChanged, &fieldKey);
}

void CIndexView::ListenToMessage(MessageT message, void* ioParam)
{
    switch (message) {
    case msg_BatchChangedItems:
        SetModified(true);
        break;
    case msg_RenameEnded:
        if (ioParam)
            ApplyRename(*static_cast<const QString*>(ioParam));
        break;
    case msg_PropertyDialogOK:
        if (mPropertyDialog)
            ApplyPropertyDialog();
        break;
    case msg_Cancel:
        ClosePropertyDialog();
        break;
    case msg_ChangePassword:
        ChangePassword();
        break;
    case msg_OK: // the comment window's button
        if (mCommentWindow)
            mCommentWindow->Hide();
        break;
    default:
        break;
    }
}

// --- Items ---------------------------------------------------------------------------------------------------

SInt32 CIndexView::InsertItem(CIndexItem* item, SInt32 index, bool refresh, bool quiet)
{
    ThrowIfNil_(item);
    if (IsItemListLocked())
        ThrowOSErr_(kMsgIndexViewOperation, "the item list is locked");
    if (CountItems() == 0)
        Refresh(); // the empty view's text goes
    SInt32 at = InsertItemAt(1, index, item);
    ThrowIfNot_(at != 0, "item insertion");
    if (refresh) {
        AdjustImageSize();
        if (IsItemVisible(at))
            RefreshItem(at);
    }
    if (quiet)
        return at;
    QueueForCaching(item);
    mTotalFileSize += item->GetTotalSize();
    return at;
}

SInt32 CIndexView::InsertItemAt(SInt32 count, SInt32 index, CIndexItem* item)
{
    SInt32 at = mCurrentList->InsertItemsAt(count, index, item);
    // An item added while the filter shows belongs to the index all the same.
    if (at != 0 && IsFiltered())
        mAllItems.InsertItemsAt(count, kInsertAtEnd, item);
    return at;
}

void CIndexView::RemoveItemsAt(SInt32 count, SInt32 index)
{
    if (IsFiltered()) {
        for (SInt32 i = 0; i < count; ++i) {
            CIndexItem* item = nullptr;
            if (mFilterItems.FetchItemAt(index + i, item))
                mAllItems.Remove(item);
        }
    }
    mCurrentList->RemoveItemsAt(count, index);
}

void CIndexView::RemoveItemFromList(CIndexItem* item)
{
    SInt32 index = mCurrentList->FetchIndexOf(item);
    if (index != 0)
        RemoveItemsAt(1, index);
}

SInt32 CIndexView::ImportURL(const QUrl& url, SInt32 index, bool refresh)
{
    if (GetPrefBoolean(QStringLiteral("ImportSkipDuplicates")) && ContainsURL(url))
        return 0;
    if (!url.isLocalFile()) {
        auto item = std::make_unique<CIndexItem>(url);
        SInt32 at = InsertItem(item.get(), index, refresh, false);
        item.release();
        return at;
    }
    OSType type = '????';
    OSType creator = '????';
    OSStatus status = GetFileTypeAndCreator(url, &type, &creator);
    ThrowIfOSErr_(status);
    if (type == kIndexPackageType || IsIndexPackageURL(url)) {
        BroadcastState();
        return 0;
    }
    if (ResolvesToFolder(url)) {
        FileRef folder(url.toLocalFile());
        GetTaskServices().StartImportFolderTask(this, folder, index, 0);
        return 0;
    }
    if (type == kInternetLocationHTTP || type == kInternetLocationFTP)
        return 0;
    auto item = std::make_unique<CIndexItem>(url);
    SInt32 at = InsertItem(item.get(), index, refresh, false);
    item.release();
    return at;
}

void CIndexView::DisposeItem(CIndexItem* item)
{
    mStoredRecords.Forget(item);
    if (mUpdateTask && CVisualTask::IsAlive(mUpdateTask) && mUpdateTask->IsWorkingOn(item))
        mUpdateTask->DeleteAfterBatch(item);
    else
        delete item;
}

bool CIndexView::RemoveItem(SInt32 index, bool trashFile, bool deleteItem, bool refresh)
{
    if (IsItemListLocked())
        ThrowOSErr_(kMsgIndexViewOperation, "the item list is locked");
    CIndexItem* item = nullptr;
    if (!GetItemAt(index, item) || !item)
        return true;
    if (item->IsBusy())
        ThrowOSErr_(kMsgIndexViewItems, "the item is in use");

    if (trashFile && !item->IsStoredInPackage())
        item->MoveFileToTrash();
    mTotalFileSize -= std::min<UInt64>(mTotalFileSize, item->GetTotalSize());
    RemoveFromValueIndex(item);
    RemoveItemFromTasksOfOwner(this, item);
    if (mUpdateTask)
        mUpdateTask->DropIndex(index);

    RemoveItemsAt(1, index);
    mStoredRecords.Forget(item);
    if (item->IsStoredInPackage()) {
        AddFileToDelete(item->GetURL());
        OSStatus status = CatchCode([&] { AddFileToDelete(item->CopyThumbnailURL()); });
        (void)status; // an item without a thumbnail file has nothing more to delete
    }
    if (item->IsHilited())
        item->Unhilite();
    if (deleteItem)
        DisposeItem(item);
    SetModified(true);
    if (refresh) {
        AdjustImageSize();
        update();
        BroadcastItemsChanged(kAllFieldsKey);
    }
    return true;
}

void CIndexView::RemoveSelection(bool trashFiles, bool refresh, bool confirm)
{
    if (IsItemListLocked())
        ThrowOSErr_(kMsgIndexViewOperation, "the item list is locked");
    if (mViewState == kViewStateWriting)
        ThrowOSErr_(kMsgImportFiles, "the index is being written");
    SInt32 first = GetFirstSelectedIndex();
    if (first == 0)
        return;
    if (confirm && GetPrefBoolean(QStringLiteral("ConfirmDelete"))) {
        QString message = CopyLocalizedCFString(600, trashFiles ? 87 : 84);
        QString explanation = CopyLocalizedCFString(600, trashFiles ? 20 : 19);
        if (!AskYesNoAlert(message, explanation, kCautionAlert))
            return;
    }
    SetBusy(true);
    std::vector<CIndexItem*> removed;
    OSStatus status = CatchCode([&] {
        QRect cell;
        if (GetCellRect(first, cell))
            ShowPoofEffect(this, cell);
        for (SInt32 index = CountItems(); index >= 1; --index) {
            CIndexItem* item = nullptr;
            if (GetItemAt(index, item) && item && item->IsHilited()) {
                RemoveItem(index, trashFiles, false, false);
                removed.push_back(item);
            }
        }
    });
    for (CIndexItem* item : removed)
        DisposeItem(item);
    AdjustImageSize();
    if (CountItems() > 0) {
        CIndexItem* next = nullptr;
        if (GetItemAt(std::min(first, CountItems()), next) && next && !next->IsHilited())
            next->Hilite();
    }
    if (!removed.empty())
        SetModified(true);
    SetBusy(false);
    if (refresh)
        Refresh();
    BroadcastState();
    BroadcastItemsChanged(kAllFieldsKey);
    ThrowIfOSErr_(status);
}

void CIndexView::RemoveAllItems()
{
    while (mAllItems.IsLocked())
        mAllItems.Unlock();
    while (mFilterItems.IsLocked())
        mFilterItems.Unlock();
    SInt32 savedState = mViewState;
    mViewState = kViewStateRemovingAll;
    StopTasksOfOwner(this);
    if (mUpdateTask)
        mUpdateTask->ClearItems();
    // Every item of the index goes, also those the filter hides.
    mFilterItems.RemoveAllItems();
    mCurrentList = &mAllItems;
    std::vector<CIndexItem*> items(mAllItems.begin(), mAllItems.end());
    mAllItems.RemoveAllItems();
    for (CIndexItem* item : items) {
        if (item->IsHilited())
            item->Unhilite();
        DisposeItem(item);
    }
    mHilitedCount = 0;
    mStoredRecords.Clear();
    if (mValueIndex) {
        RebuildValueIndex();
        BroadcastMessage(msg_ValueIndexRebuilt, nullptr);
    }
    mTotalFileSize = 0;
    mViewState = savedState;
}

SInt32 CIndexView::CountItems() const
{
    return mCurrentList->GetCount();
}

SInt32 CIndexView::CountAllItems() const
{
    return mAllItems.GetCount();
}

SInt32 CIndexView::CountSelectedItems() const
{
    return SInt32(std::count_if(mCurrentList->begin(), mCurrentList->end(),
        [](CIndexItem* item) { return item->IsHilited(); }));
}

SInt32 CIndexView::GetFirstSelectedIndex() const
{
    SInt32 index = 1;
    for (CIndexItem* item : *mCurrentList) {
        if (item->IsHilited())
            return index;
        ++index;
    }
    return 0;
}

bool CIndexView::GetItemAt(SInt32 index, CIndexItem*& outItem) const
{
    return mCurrentList->FetchItemAt(index, outItem);
}

SInt32 CIndexView::GetIndexOfItem(const CIndexItem* item) const
{
    return item ? mCurrentList->FetchIndexOf(const_cast<CIndexItem*>(item)) : 0;
}

bool CIndexView::ContainsURL(const QUrl& url) const
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

// --- Sorting ------------------------------------------------------------------------------------------------

void CIndexView::SortItems()
{
    if (IsItemListLocked())
        return;
    mCurrentList->Sort();
}

SInt32 CIndexView::GetSortKey() const
{
    auto* comparator = dynamic_cast<ItemSortComparator*>(mCurrentList->GetComparator());
    return comparator ? comparator->GetSortKey() : kNameKey;
}

SInt32 CIndexView::GetSortOrder() const
{
    if (!mCurrentList->GetKeepSorted())
        return 2;
    auto* comparator = dynamic_cast<ItemSortComparator*>(mCurrentList->GetComparator());
    return comparator && comparator->IsDescending() ? 1 : 0;
}

void CIndexView::SetSortKey(SInt32 key, bool descending)
{
    if (IsItemListLocked())
        return;
    for (TArray<CIndexItem*>* list : {&mAllItems, &mFilterItems}) {
        list->SetComparator(new ItemSortComparator(key, descending), true);
        list->SetKeepSorted(true);
        list->Sort();
    }
    mKeepSorted = true;
    Refresh();
}

// --- Lock and counts ----------------------------------------------------------------------------------------

void CIndexView::LockItemList()
{
    mCurrentList->Lock();
    BroadcastState();
}

void CIndexView::UnlockItemList()
{
    mCurrentList->Unlock();
    BroadcastState();
}

bool CIndexView::IsItemListLocked() const
{
    // Locked when either list is: a filter shown over a walk of all items must
    // not let the walk's list change underneath it.
    return mAllItems.IsLocked() || mFilterItems.IsLocked();
}

void CIndexView::SetBusy(bool busy)
{
    mBusyCount = SInt16(mBusyCount + (busy ? 1 : -1));
    if (mBusyCount < 0)
        mBusyCount = 0;
}

SInt16 CIndexView::AddRunningTask(bool search)
{
    ++(search ? mRunningSearchCount : mRunningTaskCount);
    BroadcastState();
    return mRunningTaskCount;
}

SInt16 CIndexView::RemoveRunningTask(bool search)
{
    SInt16& count = search ? mRunningSearchCount : mRunningTaskCount;
    if (--count < 0) {
        count = 0;
        QApplication::beep();
    }
    BroadcastState();
    return mRunningTaskCount;
}

void CIndexView::SetModified(bool modified)
{
    if (modified == mModified)
        return;
    mModified = modified;
    if (LWindow* window = GetContainingWindow())
        window->SetModified(modified);
}

void CIndexView::SetPassword(const QByteArray& password)
{
    mPassword = password.left(255);
    mHasPassword = !mPassword.isEmpty();
}

// --- Records of index.db ---------------------------------------------------------------------------------

void CIndexView::SetStoredRecord(const CIndexItem* item, StoredRecord record)
{
    if (item)
        mStoredRecords.Add(item, record);
}

bool CIndexView::GetStoredRecord(const CIndexItem* item, StoredRecord& outRecord) const
{
    return mStoredRecords.Find(item, outRecord);
}

void CIndexView::StoredRecordTable::Add(const CIndexItem* item, StoredRecord record)
{
    if (!mEntries.empty() && !(mEntries.back().first < item))
        mSorted = false;
    mEntries.emplace_back(item, record);
}

std::vector<CIndexView::StoredRecordTable::Entry>::iterator CIndexView::StoredRecordTable::Locate(const CIndexItem* item)
{
    if (!mSorted) {
        // Stable: of two entries for one item, the later one wins.
        std::stable_sort(mEntries.begin(), mEntries.end(),
            [](const Entry& a, const Entry& b) { return a.first < b.first; });
        auto last = std::unique(mEntries.rbegin(), mEntries.rend(),
            [](const Entry& a, const Entry& b) { return a.first == b.first; });
        mEntries.erase(mEntries.begin(), last.base());
        mSorted = true;
    }
    auto found = std::lower_bound(mEntries.begin(), mEntries.end(), item,
        [](const Entry& entry, const CIndexItem* key) { return entry.first < key; });
    return found != mEntries.end() && found->first == item ? found : mEntries.end();
}

bool CIndexView::StoredRecordTable::Find(const CIndexItem* item, StoredRecord& outRecord)
{
    auto found = Locate(item);
    if (found == mEntries.end() || found->second.length <= 0)
        return false;
    outRecord = found->second;
    return true;
}

void CIndexView::StoredRecordTable::Forget(const CIndexItem* item)
{
    if (mEntries.empty())
        return;
    auto found = Locate(item);
    if (found != mEntries.end())
        found->second = StoredRecord {}; // a reused address must not find it
}

void CIndexView::StoredRecordTable::Clear()
{
    mEntries.clear();
    mSorted = true;
}

void CIndexView::StoredRecordTable::Reserve(SInt32 count)
{
    if (count > 0)
        mEntries.reserve(size_t(count));
}

// --- Pending deletions -----------------------------------------------------------------------------------------

bool CIndexView::AddFileToDelete(const QUrl& file)
{
    if (file.isEmpty())
        return false;
    mPendingDeletions.push_back(file);
    return true;
}

void CIndexView::DeletePendingFiles()
{
    std::vector<QUrl> files;
    files.swap(mPendingDeletions);
    for (const QUrl& url : files) {
        if (url.isLocalFile())
            QFile::remove(url.toLocalFile());
    }
}

// --- Value index -------------------------------------------------------------------------------------------------

std::vector<QString> CIndexView::ValuesOfItem(CIndexItem* item, SInt32 fieldKey) const
{
    std::vector<QString> values;
    switch (fieldKey) {
    case kKeywordsKey:
    case kCategoriesKey: {
        CANPAInfo* caption = item->GetCaptionInfo();
        if (!caption)
            break;
        const auto& list = fieldKey == kKeywordsKey ? caption->GetKeywords() : caption->GetSupplementalCategories();
        for (const LStr255& entry : list) {
            QString text = IIMText::TextFromCaptionBytes(entry.Bytes());
            if (text.isEmpty())
                break;
            values.push_back(text);
        }
        break;
    }
    case kRatingKey: {
        CANPAInfo* caption = item->GetCaptionInfo();
        if (!caption)
            break;
        SInt32 urgency = caption->GetUrgency();
        if (urgency < 6)
            urgency -= urgency % 2;
        values.push_back(QString::number(urgency));
        break;
    }
    case kNameKey: {
        QString value = NameValue(item->GetName());
        if (value.size() > 2)
            values.push_back(value);
        break;
    }
    default:
        // The other fields enter under their field texts once those are read by key.
        break;
    }
    return values;
}

void CIndexView::RebuildValueIndex()
{
    mIndexedKeys = ReadKeyArray(QStringLiteral("MDIKeys"));
    mValueIndex.emplace();
    for (SInt32 key : mIndexedKeys)
        mValueIndex->insert(key, ValueSets());
    if (auto found = mValueIndex->find(kRatingKey); found != mValueIndex->end()) {
        for (const char* rating : {"0", "2", "4", "6", "7", "9"})
            found->insert(QString::fromLatin1(rating), {});
    }
    for (CIndexItem* item : mAllItems)
        AddItemToValueIndex(item);
}

void CIndexView::RebuildValueIndexIfBuilt()
{
    if (!mValueIndex)
        return;
    RebuildValueIndex();
    BroadcastMessage(msg_ValueIndexRebuilt, nullptr);
}

const CIndexView::ValueSets* CIndexView::GetValueSets(SInt32 fieldKey) const
{
    if (!mValueIndex)
        return nullptr;
    auto found = mValueIndex->constFind(fieldKey);
    return found == mValueIndex->constEnd() ? nullptr : &*found;
}

void CIndexView::AddItemToValueIndex(CIndexItem* item)
{
    if (!mValueIndex || !item)
        return;
    for (SInt32 key : mIndexedKeys) {
        ValueSets& sets = (*mValueIndex)[key];
        for (const QString& value : ValuesOfItem(item, key))
            sets[value].insert(item);
    }
}

void CIndexView::RemoveFromValueIndex(CIndexItem* item)
{
    if (!mValueIndex || !item)
        return;
    for (ValueSets& sets : *mValueIndex)
        for (QSet<CIndexItem*>& set : sets)
            set.remove(item);
}

void CIndexView::UpdateValueIndex(CIndexItem* item, SInt32 fieldKey, const QString* oldValue, const QString* newValue)
{
    if (!mValueIndex)
        return;
    if (!oldValue && (!newValue || newValue->isEmpty() || *newValue == QLatin1String(" ")
                         || *newValue == QLatin1String("-")))
        return;
    auto found = mValueIndex->find(fieldKey);
    if (found == mValueIndex->end())
        return;
    if (oldValue) {
        auto set = found->find(oldValue->trimmed());
        if (set != found->end())
            set->remove(item);
    }
    if (newValue && !newValue->isEmpty() && *newValue != QLatin1String("-")) {
        QSet<CIndexItem*>& set = (*found)[*newValue];
        if (item)
            set.insert(item);
    }
}

// --- Filter -----------------------------------------------------------------------------------------------------------

void CIndexView::ShowFilter(const QString* title, bool refresh, bool clear)
{
    for (CIndexItem* item : *mCurrentList)
        if (item->IsHilited())
            item->Unhilite();
    if (clear)
        mFilterItems.RemoveAllItems();
    if (title) {
        if (LWindow* window = GetContainingWindow())
            window->SetCFDescriptor(*title);
    }
    mCurrentList = &mFilterItems;
    if (refresh)
        Refresh();
    BroadcastMessage(msg_FilterShown, nullptr);
}

void CIndexView::ShowAllItems(bool refresh)
{
    if (!IsFiltered())
        return;
    for (CIndexItem* item : mFilterItems)
        if (item->IsHilited())
            item->Unhilite();
    mCurrentList = &mAllItems;
    if (!mFilterItems.IsLocked())
        mFilterItems.RemoveAllItems();
    if (refresh)
        Refresh();
    SInt32 zero = 0;
    BroadcastMessage(msg_FilterEnded, &zero);
}

// --- Tasks ----------------------------------------------------------------------------------------------------------------

void CIndexView::QueueCellUpdate(SInt32 index)
{
    if (mUpdateTask && index > 0)
        mUpdateTask->QueueIndex(index);
}

CCacheTask* CIndexView::GetCacheTask() const
{
    CCacheTask* task = mCacheTask.Get();
    return task && !task->IsCompleted() && !task->IsStopping() ? task : nullptr;
}

void CIndexView::QueueForCaching(CIndexItem* item)
{
    // The cache task ends when its queue is empty: the next items get a new one.
    if (CCacheTask* task = GetCacheTask()) {
        task->InsertItem(item, kInsertAtEnd);
        return;
    }
    auto* task = new CCacheTask(this);
    mCacheTask = TLivePtr<CCacheTask>(task);
    task->InsertItem(item, kInsertAtEnd);
    task->Start();
}

void CIndexView::RebuildThumbnails()
{
    if (CCacheTask* task = GetCacheTask())
        task->ClearItems();
    for (CIndexItem* item : *mCurrentList) {
        item->SetThumbnail(nullptr);
        item->SetDisplayPicture(nullptr);
        QueueForCaching(item);
    }
    Refresh();
}

void CIndexView::FinishReading()
{
    AdjustImageSize();
    if (TestFlags(kViewShowCommentOnOpen))
        ShowCommentWindow();
    BroadcastState();
    if (mKeepSorted) {
        mCurrentList->SetKeepSorted(true);
        SortItems();
    }
    // Back where the index was left when it was saved.
    if (mFirstVisibleItem > 0 && CountItems() > 0)
        ScrollPinnedImageTo(0, Grid().ScrollTopFor(std::min(mFirstVisibleItem, CountItems())), false);
    Refresh();
}

// --- Columns and the grid -------------------------------------------------------------------------------------------------

SInt32 CIndexView::GetColumnAt(SInt32 position) const
{
    const auto& columns = IsExtendedView() ? mExtendedColumns : mThumbnailColumns;
    return position >= 0 && position < SInt32(columns.size()) ? columns[size_t(position)] : 0;
}

SInt32 CIndexView::CountColumns() const
{
    return SInt32(IsExtendedView() ? mExtendedColumns.size() : mThumbnailColumns.size());
}

QSize CIndexView::GetCellSize() const
{
    return QSize(mCellWidth, mCellHeight);
}

void CIndexView::SetCellSize(SInt16 width, SInt16 height)
{
    mCellWidth = std::max<SInt16>(width, 1);
    mCellHeight = std::max<SInt16>(height, 1);
    AdjustImageSize();
}

IndexGridGeometry CIndexView::Grid() const
{
    IndexGridGeometry grid;
    grid.SetCellSize(QSize(mCellWidth, mCellHeight));
    grid.Layout(width(), CountItems());
    return grid;
}

void CIndexView::AdjustImageSize()
{
    const IndexGridGeometry grid = Grid();
    mColumns = SInt16(std::min<SInt32>(grid.Columns(), 32767));
    mRows = grid.Rows();
    const SDimension32 image = grid.ImageSize(width());
    SetScrollUnit(SPoint32 { 0, mCellHeight }); // the wheel and the arrows of the bar move by rows
    if (GetImageSize() != image)
        ResizeImageTo(image.width, image.height, false);
}

bool CIndexView::GetCellRect(SInt32 index, QRect& outRect) const
{
    const QRect cell = Grid().CellRect(index);
    if (cell.isEmpty())
        return false;
    QPoint local;
    ImageToLocalPoint(SPoint32 { cell.left(), cell.top() }, local);
    outRect = QRect(local, cell.size());
    return true;
}

SInt32 CIndexView::IndexAtPoint(QPoint local, bool clamp) const
{
    SPoint32 image;
    LocalToImagePoint(local, image);
    return Grid().IndexAt(image, clamp);
}

SInt32 CIndexView::GetVisibleRange(SInt32& outFirst, SInt32& outLast, bool clamp) const
{
    QRect frame = rect().adjusted(kVisibleInset, kVisibleInset, -kVisibleInset, -kVisibleInset);
    outFirst = IndexAtPoint(frame.topLeft(), true);
    SInt32 lastRowStart = IndexAtPoint(QPoint(frame.left(), frame.bottom()), true);
    outLast = lastRowStart == 0 ? 0 : lastRowStart + mColumns - 1;
    if (clamp) {
        if (CountItems() == 0)
            outFirst = 0;
        outLast = std::min(outLast, CountItems());
    }
    return CountItems();
}

bool CIndexView::IsItemVisible(SInt32 index) const
{
    if (!IsShown() || index == 0)
        return false;
    SInt32 first = 0;
    SInt32 last = 0;
    GetVisibleRange(first, last, true);
    return index >= first && index <= last;
}

void CIndexView::RefreshItem(SInt32 index)
{
    if (index == 0 || !IsShown())
        return;
    QRect cell;
    if (GetCellRect(index, cell))
        update(cell);
}

void CIndexView::Refresh()
{
    AdjustImageSize();
    LView::Refresh();
    BroadcastState();
}

void CIndexView::resizeEvent(QResizeEvent* event)
{
    LView::resizeEvent(event);
    if (event->oldSize().isValid() && event->oldSize() != event->size()) {
        // A resized frame gets its cells fitted again with the size the user chose
        // (a narrow window never lowers the stored size), keeping in view the first
        // item that was visible: found with the columns of the old width.
        IndexGridGeometry before;
        before.SetCellSize(QSize(mCellWidth, mCellHeight));
        before.Layout(event->oldSize().width(), CountItems());
        SPoint32 top;
        LocalToImagePoint(QPoint(kVisibleInset, kVisibleInset), top);
        const SInt32 first = CountItems() > 0 ? before.IndexAt(top, true) : 0;
        FitCellsToFrame(IsExtendedView() ? GetExtendedSize() : GetThumbnailSize(), first);
    } else {
        AdjustImageSize();
    }
    SInt32 zero = 0;
    BroadcastMessage(msg_ViewFrameChanged, &zero);
}

QString CIndexView::GetWindowTitle() const
{
    LWindow* window = GetContainingWindow();
    return window ? window->GetCFDescriptor() : QString();
}
