#include "CIndexItemComparator.h"

#include "CANPAInfo.h"
#include "CANPAStringComparator.h"
#include "CEXIFInfo.h"
#include "CIndexItem.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "MediaImageInfo.h"

#include "ThreadUtilities.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <utility>

namespace {

// Lists at least this long are sorted on other threads (a few milliseconds'
// work below it), in as many parts as there are cores, up to this many.
constexpr size_t kSortOnThreadsItems = 20000;
constexpr size_t kMostSortThreads = 16;
// Reading an item's value takes well under a microsecond: the clock is looked
// at every so many.
constexpr size_t kItemsBetweenClockReads = 1024;
// How many values are looked at to tell whether a key's values tie often.
constexpr size_t kTieSample = 2048;

// Field texts compare as the user's language sorts them, numbers inside the
// texts by their value ("img2" before "img10").
const QCollator& FieldTextCollator()
{
    static const QCollator collator = MakeTextCollator(true);
    return collator;
}

// Plain texts of the records compare without the numeric rule.
const QCollator& PlainTextCollator()
{
    static const QCollator collator = MakeTextCollator(false);
    return collator;
}

ItemSortValue Integer(SInt64 value)
{
    ItemSortValue result;
    result.kind = ItemSortValue::Kind::Integer;
    result.integer = value;
    return result;
}

ItemSortValue Real(double value)
{
    ItemSortValue result;
    result.kind = ItemSortValue::Kind::Real;
    result.real = value;
    return result;
}

// A text's collation key, from the memo when the text was met before.
QCollatorSortKey SortKeyOf(const QCollator& collator, const QString& text, SortKeyMemo* memo)
{
    if (!memo)
        return collator.sortKey(text);
    auto found = memo->constFind(text);
    if (found == memo->constEnd())
        found = memo->insert(text, collator.sortKey(text));
    return *found;
}

ItemSortValue Text(const QCollator& collator, const QString& text, SortKeyMemo* memo = nullptr, bool defer = false)
{
    ItemSortValue result;
    result.kind = ItemSortValue::Kind::Text;
    if (defer) {
        result.deferredText = text;
        result.plainCollation = &collator == &PlainTextCollator();
    } else {
        result.text = SortKeyOf(collator, text, memo);
    }
    return result;
}

ItemSortValue Missing()
{
    ItemSortValue result;
    result.present = false;
    return result;
}

ItemSortValue ImageValue(const MediaImageInfo* info, SInt32 key, bool deferTexts = false)
{
    if (!info)
        return Missing();
    switch (key) {
    case kFieldWidth: return Integer(info->width);
    case kFieldHeight: return Integer(info->height);
    case kFieldDepth: return Integer(info->depth);
    case kFieldResolution: return Integer(info->hRes);
    case kFieldFrameCount: return Integer(info->frameCount);
    case kFieldCodecName: return Text(PlainTextCollator(), PStringToQString(info->name), nullptr, deferTexts);
    case kFieldRecordForm: return Integer(info->constant12);
    case kFieldDataSize: return Integer(info->dataSize);
    case kFieldSpatialQuality: return Integer(UInt32(info->spatialQuality));
    case kFieldTemporalQuality: return Integer(UInt32(info->temporalQuality));
    default: return {};
    }
}

ItemSortValue EXIFValue(const CEXIFInfo* exif, SInt32 key)
{
    if (!exif)
        return Missing();
    switch (key) {
    case kFieldDateTimeOriginal: return Integer(exif->GetDateTimeOriginal());
    case kFieldExposureTime: return Real(exif->GetExposureTime());
    case kFieldFNumber: return Real(exif->GetFNumber());
    case kFieldExposureBias: return Real(exif->GetExposureBias());
    case kFieldExposureProgram: return Integer(exif->GetExposureProgram());
    case kFieldFocalLength: return Real(exif->GetFocalLength());
    case kFieldSubjectDistance: return Real(exif->GetSubjectDistance());
    case kFieldISOSpeed: return Integer(exif->GetISOSpeed());
    case kFieldCompressedBitsPerPixel: return Real(exif->GetCompressedBitsPerPixel());
    case kFieldDateTimeDigitized: return Integer(exif->GetDateTimeDigitized());
    case kFieldBrightness: return Real(exif->GetBrightness());
    case kFieldExposureIndex: return Real(exif->GetExposureIndex());
    case kFieldMaxAperture: return Real(exif->GetMaxAperture());
    case kFieldOrientation: return Integer(exif->GetOrientation());
    default: return {};
    }
}

ItemSortValue CaptionValue(const CANPAInfo* caption, SInt32 key)
{
    if (!caption)
        return Missing();
    switch (key) {
    case kFieldDateCreated: return Integer(caption->GetDateCreated());
    // Urgency in reverse: 9 (none) first, 0 (most urgent) last.
    case kFieldUrgency:
    case kFieldUrgencyLabel: return Integer(-SInt64(caption->GetUrgency()));
    default: return {};
    }
}

// EXIF fields that sort by their value (dates and numbers) rather than by their text.
bool HasEXIFSortValue(SInt32 key)
{
    return (key >= kFieldDateTimeOriginal && key <= kFieldSubjectDistance) || key == kFieldISOSpeed
        || key == kFieldCompressedBitsPerPixel || key == kFieldDateTimeDigitized
        || (key >= kFieldBrightness && key <= kFieldMaxAperture);
}

template <typename T>
SInt32 Sign(const T& one, const T& two)
{
    return one < two ? -1 : (two < one ? 1 : 0);
}

// A record getter that fails counts as a missing record.
template <typename F>
auto RecordOf(F&& getter) -> decltype(getter())
{
    decltype(getter()) record = nullptr;
    CatchCode([&] { record = getter(); });
    return record;
}

} // namespace

ItemSortValue MakeItemSortValue(CIndexItem& item, SInt32 key, SortKeyMemo* memo, bool deferTexts)
{
    if (key == 0 || key == kFieldPositionInView)
        return {};
    if (IsImageFieldKey(key))
        return ImageValue(RecordOf([&] { return item.GetImageInfo(); }), key, deferTexts);
    switch (key) {
    case kFieldDateAdded: return Integer(item.GetDateAdded());
    case kFieldTotalSize: return Integer(SInt32(item.GetTotalSize()));
    case kFieldCreator: return Integer(item.GetCreatorCode());
    case kFieldCreationDate: return Integer(item.GetCreationDate());
    case kFieldModificationDate: return Integer(item.GetModificationDate());
    case kFieldOpenInViewer: return Integer(item.IsOpenInViewer() ? 1 : 0);
    default: break;
    }
    if (HasEXIFSortValue(key))
        return EXIFValue(RecordOf([&] { return item.GetEXIFInfo(); }), key);
    if (key == kFieldDateCreated || key == kFieldUrgency || key == kFieldUrgencyLabel)
        return CaptionValue(RecordOf([&] { return item.PeekCaptionInfo(); }), key);
    // A field without text reads "-" and sorts as that text.
    return Text(FieldTextCollator(), item.CopyFieldString(key, kFieldTextPlaceholder), memo, deferTexts);
}

SortCollators::SortCollators()
    : field(MakeTextCollator(true))
    , plain(MakeTextCollator(false))
{
}

void MakeDeferredSortKey(ItemSortValue& value, const SortCollators& collators, SortKeyMemo* memo)
{
    if (value.kind != ItemSortValue::Kind::Text || value.text)
        return;
    const QCollator& collator = value.plainCollation ? collators.plain : collators.field;
    value.text = SortKeyOf(collator, std::exchange(value.deferredText, QString()), memo);
}

SInt32 CompareItemSortValues(const ItemSortValue& one, const ItemSortValue& two)
{
    if (one.present != two.present)
        return one.present ? 1 : -1;
    if (!one.present || one.kind != two.kind)
        return 0;
    switch (one.kind) {
    case ItemSortValue::Kind::Integer: return Sign(one.integer, two.integer);
    case ItemSortValue::Kind::Real: {
        // Not-a-number sorts after every number, so the order stays total.
        const bool nan1 = std::isnan(one.real);
        const bool nan2 = std::isnan(two.real);
        if (nan1 || nan2)
            return nan1 == nan2 ? 0 : (nan1 ? 1 : -1);
        return Sign(one.real, two.real);
    }
    case ItemSortValue::Kind::Text: {
        const int result = one.text->compare(*two.text);
        return result < 0 ? -1 : (result > 0 ? 1 : 0);
    }
    case ItemSortValue::Kind::None: break;
    }
    return 0;
}

SInt32 CompareIndexItems(CIndexItem* a, CIndexItem* b, SInt32 key)
{
    if (key == 0)
        return 1;
    return CompareItemSortValues(MakeItemSortValue(*a, key), MakeItemSortValue(*b, key));
}

SInt32 CompareCaptionRecords(const CANPAInfo* a, const CANPAInfo* b, SInt32 key)
{
    return CompareItemSortValues(CaptionValue(a, key), CaptionValue(b, key));
}

SInt32 CompareEXIFRecords(const CEXIFInfo* a, const CEXIFInfo* b, SInt32 key)
{
    return CompareItemSortValues(EXIFValue(a, key), EXIFValue(b, key));
}

SInt32 CompareImageRecords(const MediaImageInfo* a, const MediaImageInfo* b, SInt32 key)
{
    return CompareItemSortValues(ImageValue(a, key), ImageValue(b, key));
}

// The comparator.

CIndexItemComparator::CIndexItemComparator(const CIndexItemComparator& other)
    : LComparator(other)
    , mSortKey(other.mSortKey)
    , mDescending(other.mDescending)
{
}

CIndexItemComparator::~CIndexItemComparator() = default;

void CIndexItemComparator::SetSortKey(SInt32 key)
{
    if (key != mSortKey)
        ForgetSortValues();
    mSortKey = key;
}

SInt32 CIndexItemComparator::Compare(const void* item1, const void* item2, UInt32, UInt32) const
{
    return CompareItems(*static_cast<CIndexItem* const*>(item1), *static_cast<CIndexItem* const*>(item2));
}

CIndexItemComparator::Prepared CIndexItemComparator::Prepare(CIndexItem* item, SortKeyMemo* memo, bool deferTexts) const
{
    // Key 0 names no field and gives no order of its own: the tie-breaks decide.
    return Prepared {
        item, mSortKey == 0 ? ItemSortValue {} : MakeItemSortValue(*item, mSortKey, memo, deferTexts), std::nullopt};
}

SInt32 CIndexItemComparator::ComparePrepared(Prepared& one, Prepared& two) const
{
    SInt32 result = CompareItemSortValues(one.value, two.value);
    if (result == 0 && mSortKey != kFieldName) {
        for (Prepared* side : {&one, &two}) {
            if (!side->name)
                side->name = MakeItemSortValue(*side->item, kFieldName);
        }
        result = CompareItemSortValues(*one.name, *two.name);
    }
    if (result == 0)
        result = Sign(one.item->GetSequenceNumber(), two.item->GetSequenceNumber());
    return mDescending ? -result : result;
}

SInt32 CIndexItemComparator::CompareItems(CIndexItem* one, CIndexItem* two) const
{
    if (one == two)
        return 0;
    if (!one || !two)
        return one ? 1 : -1;
    auto preparedOf = [this](CIndexItem* item, std::optional<Prepared>& storage) -> Prepared& {
        const auto found = mPrepared.find(item);
        if (found != mPrepared.end())
            return found->second;
        storage = Prepare(item);
        return *storage;
    };
    std::optional<Prepared> storage1;
    std::optional<Prepared> storage2;
    return ComparePrepared(preparedOf(one, storage1), preparedOf(two, storage2));
}

void CIndexItemComparator::PrepareSortValues(CIndexItem* const* items, size_t count)
{
    mPrepared.clear();
    mPrepared.reserve(count);
    // Names rarely repeat; other fields often hold the same text in many items.
    SortKeyMemo memo;
    SortKeyMemo* texts = mSortKey == kFieldName ? nullptr : &memo;
    for (size_t i = 0; i < count; ++i) {
        if (items[i])
            mPrepared.try_emplace(items[i], Prepare(items[i], texts));
    }
}

void CIndexItemComparator::ForgetSortValues()
{
    mPrepared.clear();
}

void CIndexItemComparator::SortItems(std::vector<CIndexItem*>& items, const std::atomic<bool>* abandon)
{
    if (items.size() >= kSortOnThreadsItems) {
        SortOnThreads(items, abandon);
        return;
    }
    // The values sit beside each other and are compared without looking them up.
    std::vector<Prepared> prepared;
    prepared.reserve(items.size());
    SortKeyMemo memo;
    SortKeyMemo* texts = mSortKey == kFieldName ? nullptr : &memo;
    for (CIndexItem* item : items) {
        if (item)
            prepared.push_back(Prepare(item, texts));
    }
    std::vector<Prepared*> order;
    order.reserve(prepared.size());
    for (Prepared& entry : prepared)
        order.push_back(&entry);
    std::stable_sort(order.begin(), order.end(),
        [this](Prepared* a, Prepared* b) { return ComparePrepared(*a, *b) < 0; });
    PutInOrder(items, order);
}

bool CIndexItemComparator::TiesOften(const std::vector<Prepared>& prepared)
{
    // A spread of the values, their keys made here, sorted: when a good share
    // of them equals a neighbour, the values tie often.
    const size_t step = std::max<size_t>(1, prepared.size() / kTieSample);
    std::vector<ItemSortValue> sample;
    sample.reserve(kTieSample + 1);
    SortCollators collators;
    for (size_t i = 0; i < prepared.size(); i += step) {
        ItemSortValue& value = sample.emplace_back(prepared[i].value);
        MakeDeferredSortKey(value, collators, nullptr);
    }
    std::sort(sample.begin(), sample.end(),
        [](const ItemSortValue& a, const ItemSortValue& b) { return CompareItemSortValues(a, b) < 0; });
    size_t tied = 0;
    for (size_t i = 0; i < sample.size(); ++i) {
        if ((i > 0 && CompareItemSortValues(sample[i - 1], sample[i]) == 0)
            || (i + 1 < sample.size() && CompareItemSortValues(sample[i], sample[i + 1]) == 0))
            ++tied;
    }
    return tied > sample.size() / 4;
}

void CIndexItemComparator::SortOnThreads(std::vector<CIndexItem*>& items, const std::atomic<bool>* abandon)
{
    const auto abandoned = [abandon] { return abandon && abandon->load(std::memory_order_relaxed); };
    StWindowLive live(abandon ? StWindowLive::Input::Taken : StWindowLive::Input::Waits, [&] {
        if (abandoned())
            throw SortAbandoned();
    });
    // The items' values are read here, a step at a time; their keys are made
    // on the threads, which must not touch the items.
    std::vector<Prepared> prepared;
    prepared.reserve(items.size());
    size_t read = 0;
    for (CIndexItem* item : items) {
        if (!item)
            continue;
        prepared.emplace_back(Prepare(item, nullptr, true));
        if (++read % kItemsBetweenClockReads == 0)
            live.HandleEventsIfDue();
    }
    std::vector<Prepared*> order;
    order.reserve(prepared.size());
    for (Prepared& entry : prepared)
        order.push_back(&entry);

    const size_t parts = std::clamp<size_t>(std::thread::hardware_concurrency(), 2, kMostSortThreads);
    std::vector<Prepared*> merged(order.size());
    // Sorts `order` in parts side by side, then merges the sorted runs in pairs, the
    // pairs of a pass side by side; a merge takes the left run's element first
    // among equals, so the sort stays stable.
    const auto sortInParts = [&](const auto& orderedLess, bool makeKeys) {
        // The threads look at the flag as they compare, so a sort given up ends soon.
        const auto less = [&](Prepared* a, Prepared* b) {
            if (abandoned())
                throw SortAbandoned();
            return orderedLess(a, b);
        };
        std::vector<size_t> bounds(parts + 1);
        for (size_t part = 0; part <= parts; ++part)
            bounds[part] = order.size() * part / parts;
        std::vector<SortCollators> collators(makeKeys ? parts : 0);
        const bool memoTexts = mSortKey != kFieldName;
        live.RunOnThreads(parts, [&](size_t part) {
            const auto first = order.begin() + std::ptrdiff_t(bounds[part]);
            const auto last = order.begin() + std::ptrdiff_t(bounds[part + 1]);
            if (makeKeys) {
                SortKeyMemo memo;
                for (auto at = first; at != last; ++at) {
                    MakeDeferredSortKey((*at)->value, collators[part], memoTexts ? &memo : nullptr);
                    if ((*at)->name)
                        MakeDeferredSortKey(*(*at)->name, collators[part], nullptr);
                }
            }
            std::stable_sort(first, last, less);
        });
        while (bounds.size() > 2) {
            const size_t runs = bounds.size() - 1;
            std::vector<size_t> next;
            for (size_t run = 0; run < runs; run += 2)
                next.push_back(bounds[run]);
            next.push_back(bounds.back());
            live.RunOnThreads((runs + 1) / 2, [&](size_t pair) {
                const auto at = [&](size_t index) { return order.begin() + std::ptrdiff_t(index); };
                const size_t first = bounds[2 * pair];
                const size_t middle = bounds[2 * pair + 1];
                const size_t last = 2 * pair + 2 < bounds.size() ? bounds[2 * pair + 2] : middle;
                std::merge(at(first), at(middle), at(middle), at(last), merged.begin() + std::ptrdiff_t(first), less);
            });
            order.swap(merged);
            bounds.swap(next);
        }
    };
    const auto less = [this](Prepared* a, Prepared* b) { return ComparePrepared(*a, *b) < 0; };

    const auto readName = [&](Prepared* entry) {
        entry->name = MakeItemSortValue(*entry->item, kFieldName, nullptr, true);
        if (++read % kItemsBetweenClockReads == 0)
            live.HandleEventsIfDue();
    };
    // Ties by the key are ordered by name. A column of few values (or mostly
    // empty) ties everywhere: every name is read and one sort compares both.
    const auto sortByValueAndName = [&] {
        for (Prepared* entry : order)
            readName(entry);
        sortInParts(less, true);
    };
    if (mSortKey == kFieldName) {
        sortInParts(less, true);
    } else if (TiesOften(prepared)) {
        sortByValueAndName();
    } else {
        // Most items' values differ: the items are sorted by their value (and
        // the order they were added) first, and only the names of the items that
        // tie are read and compared.
        const auto byValue = [this](Prepared* a, Prepared* b) {
            SInt32 result = CompareItemSortValues(a->value, b->value);
            if (result == 0)
                result = Sign(a->item->GetSequenceNumber(), b->item->GetSequenceNumber());
            return (mDescending ? -result : result) < 0;
        };
        sortInParts(byValue, true);
        std::vector<std::pair<size_t, size_t>> ties;
        size_t tied = 0;
        for (size_t first = 0; first < order.size();) {
            size_t last = first + 1;
            while (last < order.size() && CompareItemSortValues(order[first]->value, order[last]->value) == 0)
                ++last;
            if (last - first > 1) {
                ties.emplace_back(first, last);
                tied += last - first;
            }
            if (first / kItemsBetweenClockReads != last / kItemsBetweenClockReads)
                live.HandleEventsIfDue();
            first = last;
        }
        if (tied > order.size() / 4) {
            sortByValueAndName();
        } else if (!ties.empty()) {
            for (const auto& [first, last] : ties)
                for (size_t i = first; i < last; ++i)
                    readName(order[i]);
            live.RunOnThreads(parts, [&](size_t part) {
                SortCollators collators;
                for (size_t tie = part; tie < ties.size(); tie += parts) {
                    const auto first = order.begin() + std::ptrdiff_t(ties[tie].first);
                    const auto last = order.begin() + std::ptrdiff_t(ties[tie].second);
                    for (auto at = first; at != last; ++at)
                        MakeDeferredSortKey(*(*at)->name, collators, nullptr);
                    std::stable_sort(first, last, less);
                }
            });
        }
    }
    PutInOrder(items, order);
    // Freeing a million keys and texts takes long too, and so does giving the
    // buffers that held them back to the system: the threads do both.
    const StHeapsTrimmedAsFreed trimmed;
    live.RunOnThreads(parts, [&](size_t part) {
        for (size_t i = prepared.size() * part / parts; i < prepared.size() * (part + 1) / parts; ++i) {
            prepared[i].value = {};
            prepared[i].name.reset();
        }
    });
    live.RunOnThreads(1, [&](size_t) {
        std::vector<Prepared>().swap(prepared);
        std::vector<Prepared*>().swap(order);
        std::vector<Prepared*>().swap(merged);
    });
    // The threads' heaps would keep the room the keys took between the items.
    GiveFreedMemoryBack();
}

void CIndexItemComparator::PutInOrder(std::vector<CIndexItem*>& items, const std::vector<Prepared*>& order)
{
    // Null elements sort first, as CompareItems orders them.
    const size_t nulls = items.size() - order.size();
    std::fill(items.begin(), items.begin() + std::ptrdiff_t(nulls), nullptr);
    for (size_t i = 0; i < order.size(); ++i)
        items[nulls + i] = order[i]->item;
}

void CIndexItemComparator::SortArray(TArray<CIndexItem*>& array)
{
    std::vector<CIndexItem*> items = array.Items();
    SortItems(items);
    array.AssignSortedItems(std::move(items));
}
