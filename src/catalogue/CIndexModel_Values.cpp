#include "CIndexModel.h"
#include "PointerMarks.h"

#include "PrefKeys.h"

#include "CANPAInfo.h"
#include "CANPAStringComparator.h"
#include "CIndexItem.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "IIMText.h"
#include "WorkerPool.h"

#include <QScopedValueRollback>

#include <algorithm>
#include <deque>

namespace {

// The urgency values every index offers, with or without items: one per
// bucket of ValueOfText's rating rule.
constexpr const char* kRatingSeeds[] = { "0", "2", "4", "6", "7", "9" };

// The name as the value index groups it: numbering and separators left out, so
// that "Beach 01.jpg" and "Beach_02.jpg" share "Beach.jpg".
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

// 0-1 rate as 0, 2-3 as 2, 4-5 as 4, 7-8 as 7 (one label, "very low"); 6 and 9
// are their own.
SInt32 RatingBucket(SInt32 urgency)
{
    if (urgency < 0)
        return 0;
    if (urgency == 8)
        return 7;
    return urgency < 6 ? urgency - urgency % 2 : urgency;
}

// The folder of the item whose values are being collected, looked up once for
// all its fields (its volume and its folder both come from it).
struct FolderOfItem {
    CIndexItem* item = nullptr;
    QString path; // of the item's file
    qsizetype slash = -1; // the folder is the path before it; -1 when it does not tell the values
};

} // namespace

// One field's values over many items, gathered before any enters the index: the
// items are grouped by the field's raw text first (caption bytes compared as
// bytes), and each distinct text becomes its value once, so that a value shared
// by thousands of items is converted, trimmed and looked up once, not per item.
//
// Off the GUI thread (items being read, not yet in the index) only the items
// are looked at: a text that needs more (a folder's volume, a kind's name, a
// date as the preferences show it) is worked out in Enter from one item of its
// group, and an item whose value cannot be grouped so waits in `leftover`.
class CIndexModel::FieldCollector {
public:
    FieldCollector(SInt32 fieldKey, FolderOfItem& folder, bool offGuiThread = false)
        : key(fieldKey)
        , mFolder(folder)
        , mOffGuiThread(offGuiThread)
    {
    }

    // False when only the item's file could tell its values.
    bool Collect(CIndexItem* item)
    {
        if (!item->IsFieldKnownWithoutMedia(key))
            return false;
        switch (key) {
        case kFieldKeywords:
        case kFieldSupplementalCategories: {
            const CANPAInfo* caption = item->PeekCaptionInfo();
            if (!caption)
                break;
            const auto& list = key == kFieldKeywords ? caption->GetKeywords() : caption->GetSupplementalCategories();
            for (const LStr255& entry : list) {
                if (entry.Length() == 0)
                    break; // the list ends at its first empty entry
                AddBytes(QByteArrayView(reinterpret_cast<const char*>(entry.TextPtr()), entry.Length()), item);
            }
            break;
        }
        case kFieldUrgencyLabel:
            if (const CANPAInfo* caption = item->PeekCaptionInfo())
                AddText(QString::number(caption->GetUrgency()), item);
            break;
        case kFieldName: {
            // Grouped by value, not by name: names seldom repeat, their values do
            // (a value of a value is itself).
            const QString value = ValueOfText(key, item->GetName());
            if (!value.isEmpty())
                AddText(value, item);
            break;
        }
        case kFieldVolume:
        case kFieldFolder:
            // Both come from the folder a local file lies in: the files of one
            // folder share them, worked out once from the first of them.
            if (!AddInFolder(item))
                AddFieldString(item);
            break;
        case kFieldKind:
            if (!mOffGuiThread || !AddFrom(item->GetFileTypeCode(), item, Source::FieldString, &CIndexItem::KindFollowsFileType))
                AddFieldString(item);
            break;
        default: {
            const CANPAInfo* caption = IsCaptionFieldKey(key) ? item->PeekCaptionInfo() : nullptr;
            if (const CaptionText* field = caption ? caption->PlainTextField(key) : nullptr) {
                AddBytes(QByteArrayView(field->Bytes()), item);
            } else if (IsCaptionFieldKey(key) && !mOffGuiThread) {
                Str255 text;
                item->GetCaptionFieldText(key, text);
                AddBytes(QByteArrayView(reinterpret_cast<const char*>(text.Text()), text.Length()), item);
            } else if (IsCaptionFieldKey(key)) {
                // Without a caption or a date the field has no text (the urgency's "No" aside).
                if (key == kFieldDateCreated && caption && caption->GetDateCreated() != 0)
                    AddFrom(caption->GetDateCreated(), item, Source::CaptionText);
                else if ((key == kFieldDateCreated && caption) || (!caption && key != kFieldUrgency))
                    break;
                else
                    leftover.push_back(item);
            } else {
                AddFieldString(item);
            }
            break;
        }
        }
        return true;
    }

    // Each distinct text's items join its value's members in one batch: one sort,
    // no lookup per item. On the GUI thread.
    void Enter(ValueSets& sets)
    {
        for (size_t group = 0; group < mMembers.size(); ++group) {
            const QString value = ValueOfText(key, GroupText(group));
            if (value.isEmpty())
                continue;
            if (mMembersSorted)
                sets[value].InsertSorted(mMembers[group]);
            else
                sets[value].InsertMany(mMembers[group]);
        }
    }
    void SortMembers()
    {
        for (auto& members : mMembers)
            std::sort(members.begin(), members.end());
        mMembersSorted = true;
    }

    const SInt32 key;
    std::vector<CIndexItem*> leftover;

private:
    // Where a group's text comes from: its own, or one of its items asked on the GUI thread.
    enum class Source : UInt8 { Text, FieldString, CaptionText };

    QString GroupText(size_t group) const
    {
        CIndexItem* from = mFrom[group];
        switch (mSources[group]) {
        case Source::FieldString: return from->CopyFieldString(key, kFieldTextEmpty);
        case Source::CaptionText: {
            Str255 text;
            from->GetCaptionFieldText(key, text);
            return IIMText::TextFromCaptionBytes(QByteArray(reinterpret_cast<const char*>(text.Text()), text.Length()));
        }
        case Source::Text: break;
        }
        return mTexts[group];
    }
    void AddFieldString(CIndexItem* item)
    {
        if (mOffGuiThread)
            leftover.push_back(item);
        else
            AddText(item->CopyFieldString(key, kFieldTextEmpty), item);
    }
    // Items next to each other often share a value (one folder, one camera, one
    // photographer): the last group is tried before the table.
    void AddText(const QString& text, CIndexItem* item)
    {
        if (mLastText < 0 || mTexts[size_t(mLastText)] != text) {
            auto found = mByText.constFind(text);
            if (found == mByText.constEnd())
                found = mByText.insert(text, NewGroup(text));
            mLastText = *found;
        }
        mMembers[size_t(mLastText)].push_back(item);
    }
    void AddBytes(QByteArrayView bytes, CIndexItem* item)
    {
        if (bytes.isEmpty())
            return;
        if (mLastBytes.second < 0 || mLastBytes.first != bytes) {
            auto found = mByBytes.constFind(bytes);
            if (found == mByBytes.constEnd()) {
                // The key views bytes kept here, as long as the collector lives.
                const QByteArray& kept = mKeptBytes.emplace_back(bytes.toByteArray());
                found = mByBytes.insert(QByteArrayView(kept), NewGroup(IIMText::TextFromCaptionBytes(kept)));
            }
            mLastBytes = { found.key(), *found };
        }
        mMembers[size_t(mLastBytes.second)].push_back(item);
    }
    // Items whose text is told by a number (a file type, a date): the text of the
    // first item of each number, from `source`.
    // False (nothing added) for a number `tells` refuses, asked once per number.
    bool AddFrom(quint64 number, CIndexItem* item, Source source, bool (*tells)(OSType) = nullptr)
    {
        auto found = mByNumber.constFind(number);
        if (found == mByNumber.constEnd())
            found = mByNumber.insert(number, !tells || tells(OSType(number)) ? NewGroup({}, item, source) : -1);
        if (*found < 0)
            return false;
        mMembers[size_t(*found)].push_back(item);
        return true;
    }
    // False when the item's value cannot be told from its folder alone.
    bool AddInFolder(CIndexItem* item)
    {
        if (mFolder.item != item) {
            mFolder = { item, {}, -1 };
            // An item known by its alias alone is found through it here, on a
            // worker while an index opens: a look at the disk per item, which the
            // GUI thread would otherwise take for every item read. One not found
            // is left to the field's text, which then knows it was looked for.
            QUrl url = item->KnownURL();
            if (url.isEmpty() && !item->IsStoredInPackage()) {
                CatchCode([item] { item->GetURL(); });
                url = item->KnownURL();
            }
            if (!item->IsStoredInPackage() && url.isLocalFile() && url.host().isEmpty()) {
                // As the URL keeps it: one folder reads one way, without decoding a copy.
                mFolder.path = url.path(QUrl::PrettyDecoded);
                const qsizetype slash = mFolder.path.lastIndexOf(QLatin1Char('/'));
                if (slash > 0 && slash < mFolder.path.size() - 1)
                    mFolder.slash = slash;
            }
        }
        if (mFolder.slash < 0)
            return false;
        const QStringView folder = QStringView(mFolder.path).left(mFolder.slash);
        if (mLastFolder.second < 0 || mLastFolder.first != folder) {
            auto found = mByFolder.constFind(folder);
            if (found == mByFolder.constEnd()) {
                const QString& kept = mKeptFolders.emplace_back(mFolder.path);
                // The folder's text from its first item's address, where the
                // items are gathered (a worker, for an opening).
                found = mByFolder.insert(QStringView(kept).left(mFolder.slash),
                    NewGroup(CIndexItem::VolumeOrFolderText(key, item->KnownURL())));
            }
            mLastFolder = { found.key(), *found };
        }
        mMembers[size_t(mLastFolder.second)].push_back(item);
        return true;
    }
    qsizetype NewGroup(const QString& text, CIndexItem* from = nullptr, Source source = Source::Text)
    {
        mTexts.push_back(text);
        mFrom.push_back(from);
        mSources.push_back(source);
        mMembers.emplace_back();
        return qsizetype(mMembers.size() - 1);
    }

    FolderOfItem& mFolder;
    const bool mOffGuiThread;
    QHash<QString, qsizetype> mByText;
    QHash<QByteArrayView, qsizetype> mByBytes;
    std::deque<QByteArray> mKeptBytes;
    QHash<QStringView, qsizetype> mByFolder;
    std::deque<QString> mKeptFolders;
    QHash<quint64, qsizetype> mByNumber;
    std::pair<QStringView, qsizetype> mLastFolder { {}, -1 };
    std::vector<QString> mTexts;
    std::vector<CIndexItem*> mFrom;
    std::vector<Source> mSources;
    std::vector<std::vector<CIndexItem*>> mMembers;
    qsizetype mLastText = -1;
    std::pair<QByteArrayView, qsizetype> mLastBytes { {}, -1 };
    bool mMembersSorted = false;
};

// The values of a run of new items, gathered off the GUI thread (CollectValues).
struct CIndexModel::CollectedValues {
    std::vector<SInt32> keys;
    FolderOfItem folder; // shared by the fields' collectors
    std::deque<FieldCollector> fields;
    std::vector<CIndexItem*> pending; // items whose values only their files could give
};

void CIndexModel::CollectedValuesDeleter::operator()(CollectedValues* values) const
{
    delete values;
}

CIndexModel::CollectedValuesPtr CIndexModel::CollectValues(
    const std::vector<SInt32>& keys, std::span<CIndexItem* const> items)
{
    CollectedValuesPtr values(new CollectedValues);
    values->keys = keys;
    for (SInt32 key : keys)
        values->fields.emplace_back(key, values->folder, true);
    // One look at the language for the captions of the whole run.
    const StCaptionCollation collation;
    // A damaged part fails the whole run: its items are then entered as any others.
    const OSStatus status = CatchCode([&] {
        for (CIndexItem* item : items) {
            bool itemPending = false;
            for (FieldCollector& field : values->fields)
                itemPending = !field.Collect(item) || itemPending;
            if (itemPending)
                values->pending.push_back(item);
        }
        // Sorted here, so that the GUI thread only merges.
        for (FieldCollector& field : values->fields)
            field.SortMembers();
    });
    return status == noErr ? std::move(values) : nullptr;
}

void CIndexModel::AppendItems(std::span<CIndexItem* const> items, ItemInsert kind, CollectedValues* values)
{
    const bool enter = values && mValueIndex && values->keys == mIndexedKeys;
    {
        const QScopedValueRollback collected(mValuesCollected, enter);
        AppendItems(items, kind);
    }
    if (enter) {
        EnterCollectedValues(*values);
        emit valuesEntered();
    }
}

void CIndexModel::EnterCollectedValues(CollectedValues& values)
{
    for (FieldCollector& field : values.fields) {
        ValueSets& sets = (*mValueIndex)[field.key];
        field.Enter(sets);
        if (field.leftover.empty())
            continue;
        // What only the GUI thread could tell, now told.
        FolderOfItem folder;
        FieldCollector rest(field.key, folder);
        for (CIndexItem* item : field.leftover)
            rest.Collect(item);
        rest.Enter(sets);
    }
    for (CIndexItem* item : values.pending)
        emit valuesPending(item);
}

QString CIndexModel::ValueOfText(SInt32 fieldKey, const QString& text)
{
    // Blanks around a value never tell it apart, and "-" is how a field without
    // a value reads: old and new texts alike, so that " sky" can be taken out again.
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == kFieldPlaceholder)
        return {};
    switch (fieldKey) {
    case kFieldName: {
        QString value = NameValue(trimmed);
        return value.size() > 2 ? value : QString();
    }
    case kFieldUrgencyLabel: {
        bool isNumber = false;
        const SInt32 urgency = trimmed.toInt(&isNumber);
        return isNumber ? QString::number(RatingBucket(urgency)) : QString();
    }
    default: return trimmed;
    }
}

bool CIndexModel::ValuesOfItem(CIndexItem* item, SInt32 fieldKey, bool mayReadMedia, std::vector<QString>& outValues)
{
    outValues.clear();
    if (!mayReadMedia && !item->IsFieldKnownWithoutMedia(fieldKey))
        return false;
    auto add = [&](const QString& text) {
        QString value = ValueOfText(fieldKey, text);
        if (!value.isEmpty())
            outValues.push_back(std::move(value));
    };
    auto caption = [item]() -> const CANPAInfo* {
        const CANPAInfo* info = nullptr;
        CatchCode([&] { info = item->PeekCaptionInfo(); });
        return info;
    };
    switch (fieldKey) {
    case kFieldKeywords:
    case kFieldSupplementalCategories: {
        const CANPAInfo* info = caption();
        if (!info)
            break;
        const auto& list = fieldKey == kFieldKeywords ? info->GetKeywords() : info->GetSupplementalCategories();
        for (const LStr255& entry : list) {
            if (entry.Bytes().isEmpty())
                break; // the list ends at its first empty entry
            add(IIMText::TextFromCaptionBytes(entry.Bytes()));
        }
        break;
    }
    case kFieldUrgencyLabel:
        if (const CANPAInfo* info = caption())
            add(QString::number(info->GetUrgency()));
        break;
    case kFieldName: add(item->GetName()); break;
    default: add(item->CopyFieldString(fieldKey, kFieldTextEmpty)); break;
    }
    return true;
}

void CIndexModel::RebuildValueIndex()
{
    mIndexedKeys = ReadFieldKeyList(Pref::MDIKeys.Key());
    mValueIndex.emplace();
    mValueIndex->reserve(qsizetype(mIndexedKeys.size()));
    for (SInt32 key : mIndexedKeys)
        mValueIndex->insert(key, ValueSets());
    if (auto found = mValueIndex->find(kFieldUrgencyLabel); found != mValueIndex->end()) {
        for (const char* rating : kRatingSeeds)
            found->insert(QString::fromLatin1(rating), {});
    }
    // Only what the items hold already: the values that only their files could
    // give are entered by the cache task, which reads them off this path.
    // Gathered on every core in runs of items, while this thread holds everything
    // else off the items, then entered here run by run. A small index is one run,
    // on this thread: the workers are not even started for it.
    const std::span<CIndexItem* const> items(mAllItems.Items());
    constexpr size_t kLeastRun = 4096;
    const size_t runs
        = items.size() < 2 * kLeastRun ? 1 : std::min<size_t>(items.size() / kLeastRun, WorkerPool::ThreadCount());
    const auto run = [&](size_t i) {
        const size_t first = items.size() * i / runs;
        return items.subspan(first, items.size() * (i + 1) / runs - first);
    };
    std::vector<CollectedValuesPtr> collected(runs);
    WorkerPool::RunEachHolding(runs, [&](size_t i) { collected[i] = CollectValues(mIndexedKeys, run(i)); });
    for (size_t i = 0; i < runs; ++i) {
        if (collected[i])
            EnterCollectedValues(*collected[i]);
        else
            EnterValues(run(i), false);
    }
    // Freeing the runs' tables costs about as much as entering them: a worker's work.
    if (runs > 1)
        WorkerPool::LetGo([runs = std::make_shared<decltype(collected)>(std::move(collected))] { runs->clear(); });
}

void CIndexModel::RebuildValueIndexIfBuilt()
{
    if (!mValueIndex)
        return;
    RebuildValueIndex();
    emit valueIndexRebuilt();
}

const CIndexModel::ValueSets* CIndexModel::GetValueSets(SInt32 fieldKey) const
{
    if (!mValueIndex)
        return nullptr;
    auto found = mValueIndex->constFind(fieldKey);
    return found == mValueIndex->constEnd() ? nullptr : &*found;
}

QSet<CIndexItem*> CIndexModel::GetValueMembers(SInt32 fieldKey, const QString& value) const
{
    const ValueSets* sets = GetValueSets(fieldKey);
    const auto found = sets ? sets->constFind(value) : ValueSets::const_iterator();
    return sets && found != sets->constEnd() ? found->ToSet() : QSet<CIndexItem*>();
}

void CIndexModel::AddItemToValueIndex(CIndexItem* item)
{
    AddItemsToValueIndex({ &item, 1 });
}

void CIndexModel::AddItemsToValueIndex(std::span<CIndexItem* const> items)
{
    if (!mValueIndex || items.empty())
        return;
    EnterValues(items, true);
    emit valuesEntered();
}

template <typename Items>
void CIndexModel::EnterValues(const Items& items, bool mayReadMedia)
{
    std::vector<FieldCollector> fields;
    fields.reserve(mIndexedKeys.size());
    FolderOfItem folder;
    for (SInt32 key : mIndexedKeys)
        fields.emplace_back(key, folder);
    std::vector<QString> values;
    for (CIndexItem* item : items) {
        if (!item)
            continue;
        bool itemPending = false;
        for (FieldCollector& field : fields) {
            if (field.Collect(item))
                continue;
            // A value only the item's file can give: read now, or left to the cache task.
            if (!mayReadMedia || !ValuesOfItem(item, field.key, true, values)) {
                itemPending = true;
                continue;
            }
            ValueSets& sets = (*mValueIndex)[field.key];
            for (QString& value : values)
                sets[value].insert(item);
        }
        if (itemPending)
            emit valuesPending(item);
    }
    for (FieldCollector& field : fields)
        field.Enter((*mValueIndex)[field.key]);
}

void CIndexModel::RemoveFromValueIndex(CIndexItem* item)
{
    if (!mValueIndex || !item)
        return;
    for (ValueSets& sets : *mValueIndex)
        for (ValueMembers& set : sets)
            set.remove(item);
}

void CIndexModel::UpdateValueIndex(CIndexItem* item, SInt32 fieldKey, const QString* oldValue, const QString* newValue)
{
    if (!mValueIndex)
        return;
    const QString oldKey = oldValue ? ValueOfText(fieldKey, *oldValue) : QString();
    const QString newKey = newValue ? ValueOfText(fieldKey, *newValue) : QString();
    if (oldKey.isEmpty() && newKey.isEmpty())
        return;
    auto found = mValueIndex->find(fieldKey);
    if (found == mValueIndex->end())
        return;
    if (!oldKey.isEmpty()) {
        auto set = found->find(oldKey);
        if (set != found->end())
            set->remove(item);
    }
    if (!newKey.isEmpty()) {
        ValueMembers& set = (*found)[newKey];
        if (item)
            set.insert(item);
    }
}

bool CIndexModel::ShowItemsAsFilter(const QSet<CIndexItem*>& items, bool clear)
{
    const std::vector<CIndexItem*> list(items.begin(), items.end());
    return ShowItemsAsFilter(std::span<CIndexItem* const>(list), clear);
}

bool CIndexModel::ShowItemsAsFilter(std::span<CIndexItem* const> items, bool clear)
{
    if (mFilterItems.IsLocked())
        return false;
    const bool keep = !clear && IsFiltered();
    PointerMarks marks(size_t(items.size() + (keep ? mFilterItems.GetCount() : 0)));
    marks.InsertAll(items);
    if (keep)
        marks.InsertAll(mFilterItems);
    // In the order of all items: one walk, whatever the number of members.
    std::vector<CIndexItem*> shown;
    shown.reserve(size_t(items.size()));
    for (CIndexItem* item : mAllItems) {
        if (marks.Contains(item))
            shown.push_back(item);
    }
    DeselectAll();
    mTable.BeginReset();
    mFilterItems.AssignSortedItems(shown);
    mCurrentList = &mFilterItems;
    InvalidateRows();
    mTable.EndReset();
    emit listChanged();
    emit filterShown(true);
    return true;
}

// --- Changes of items -------------------------------------------------------------------------

OSStatus CIndexModel::SetItemField(CIndexItem* item, SInt32 fieldKey, const QString& text, CIndexItem::FileWrite write)
{
    return ChangeItem(item, fieldKey, [&] { return item->SetFieldValue(fieldKey, text, write); });
}

bool CIndexModel::ChangeReachesKey(SInt32 changedField, SInt32 indexedKey)
{
    // The urgency and its label are one value.
    const auto urgency = [](SInt32 key) { return key == kFieldUrgency || key == kFieldUrgencyLabel; };
    return changedField == kAllItemFields || changedField == indexedKey || (urgency(changedField) && urgency(indexedKey));
}

OSStatus CIndexModel::ChangeItem(CIndexItem* item, SInt32 fieldKey, const std::function<OSStatus()>& change)
{
    ThrowIfNil_(item);
    // The indexed fields the change can reach: the urgency and its label are one value.
    std::vector<SInt32> keys;
    if (mValueIndex && item->GetOwningModel() == this) {
        for (SInt32 key : mIndexedKeys) {
            if (ChangeReachesKey(fieldKey, key))
                keys.push_back(key);
        }
    }
    std::vector<std::vector<QString>> before(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        ValuesOfItem(item, keys[i], true, before[i]);
    // A change that failed halfway may still have changed the item: its values are
    // taken again whatever the outcome, and the code is answered afterwards.
    const bool wasDirty = item->IsDirty();
    const bool counted = item->GetOwningModel() == this;
    const UInt64 sizeBefore = counted ? item->GetTotalSize() : 0;
    OSStatus status = noErr;
    const OSStatus thrown = CatchCode([&] { status = change(); });
    if (thrown != noErr)
        status = thrown;
    // The index's size follows the item's (a file fetched or replaced).
    if (counted)
        mTotalFileSize = mTotalFileSize - std::min(mTotalFileSize, sizeBefore) + item->GetTotalSize();
    std::vector<QString> after;
    for (size_t i = 0; i < keys.size(); ++i) {
        ValuesOfItem(item, keys[i], true, after);
        ValueSets& sets = (*mValueIndex)[keys[i]];
        for (const QString& value : before[i]) {
            if (std::find(after.begin(), after.end(), value) == after.end()) {
                if (auto set = sets.find(value); set != sets.end())
                    set->remove(item);
            }
        }
        for (const QString& value : after)
            sets[value].insert(item);
    }
    // A text the item had already, or one it refused, leaves the index as it was;
    // a change that failed halfway (a file moved, then not renamed) counts.
    ItemChanged(item, fieldKey, item->IsDirty() && (status == noErr || !wasDirty));
    return status;
}
