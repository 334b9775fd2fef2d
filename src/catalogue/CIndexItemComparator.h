#pragma once

#include "LComparator.h"
#include "MacTypes.h"
#include "TArray.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QHash>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class CANPAInfo;
class CEXIFInfo;
class CIndexItem;
struct MediaImageInfo;

// The value an item has for a field key, reduced to something that compares
// directly: the presence of the record the field lives in, then a number, a real
// or a collation key of the field's text. Comparing two values gives what
// CompareIndexItems gives for the two items, so a sort may prepare them once.
struct ItemSortValue {
    enum class Kind : UInt8 { None, Integer, Real, Text };
    Kind kind = Kind::None;
    bool present = true; // false: the record the field lives in is missing
    SInt64 integer = 0;
    double real = 0;
    std::optional<QCollatorSortKey> text;
    // A text whose key is still to be made (MakeItemSortValue with deferTexts),
    // and whether it collates as a plain text of a record.
    QString deferredText;
    bool plainCollation = false;
};

// Collation keys already made for texts, for the many items of a sort whose field
// holds the same text.
using SortKeyMemo = QHash<QString, QCollatorSortKey>;

// The value of an item for a key. Reading a field may load the item's record.
// With deferTexts, a text is kept as it is, for MakeDeferredSortKey to turn
// into its key later, on any thread.
ItemSortValue MakeItemSortValue(CIndexItem& item, SInt32 key, SortKeyMemo* memo = nullptr, bool deferTexts = false);
// The collators a thread makes deferred keys with (made on the GUI thread, used
// on one thread only).
struct SortCollators {
    SortCollators();
    QCollator field;
    QCollator plain;
};
// Makes the key of a deferred text; other values are left as they are.
void MakeDeferredSortKey(ItemSortValue& value, const SortCollators& collators, SortKeyMemo* memo);
// -1, 0 or 1; values of the same key only.
SInt32 CompareItemSortValues(const ItemSortValue& one, const ItemSortValue& two);

// -1 when `a` comes first in ascending order by the key, 1 when it comes after, 0
// when they are equal. Key 0 gives 1. Never throws for missing records.
SInt32 CompareIndexItems(CIndexItem* a, CIndexItem* b, SInt32 key);
// The record comparisons: a missing record sorts before a present one.
SInt32 CompareCaptionRecords(const CANPAInfo* a, const CANPAInfo* b, SInt32 key);
SInt32 CompareEXIFRecords(const CEXIFInfo* a, const CEXIFInfo* b, SInt32 key);
SInt32 CompareImageRecords(const MediaImageInfo* a, const MediaImageInfo* b, SInt32 key);

// What a sort that gave way to a newer one throws.
struct SortAbandoned {};

// The index view's comparator for its sorted item lists (elements are CIndexItem
// pointers). Equal by the sort key, items are ordered by name (4001), then by the
// order they were made in, so no two items compare equal and a sort gives the same
// order every time. Descending negates every step, the tie-breaks included.
//
// Comparing reads the items' fields each time. For a whole sort, prepare the
// values first (StItemSortValues): the array's sort then compares prepared values.
class CIndexItemComparator : public LComparator {
public:
    CIndexItemComparator() = default;
    CIndexItemComparator(const CIndexItemComparator& other);
    ~CIndexItemComparator() override;

    SInt32 Compare(const void* item1, const void* item2, UInt32 size1, UInt32 size2) const override;
    LComparator* Clone() const override { return new CIndexItemComparator(*this); }

    // Two items by the comparator's key and its tie-breaks.
    SInt32 CompareItems(CIndexItem* one, CIndexItem* two) const;

    virtual void SetSortKey(SInt32 key);
    virtual SInt32 GetSortKey() const { return mSortKey; }
    virtual bool IsDescending() const { return mDescending; }
    virtual void SetDescending(bool descending) { mDescending = descending; }

    // Prepares the sort values of the items (by the sort key, and by name when the
    // key is not 4001). Prepared values are used until ForgetSortValues; an item
    // that changes in the meantime compares by its prepared values.
    void PrepareSortValues(CIndexItem* const* items, size_t count);
    void ForgetSortValues();

    // Sorts the items by this comparator, with prepared values. A long list is
    // sorted on other threads while the window stays live (StWindowLive); with
    // `abandon`, the window takes the user's input meanwhile, and the sort throws
    // SortAbandoned once the flag is set.
    void SortItems(std::vector<CIndexItem*>& items, const std::atomic<bool>* abandon = nullptr);
    // Sorts an array that uses this comparator the same way (the fast way to sort
    // a whole item list again).
    void SortArray(TArray<CIndexItem*>& array);

private:
    // An item's value by the sort key and, made when a tie needs it, by name.
    struct Prepared {
        CIndexItem* item = nullptr;
        ItemSortValue value;
        std::optional<ItemSortValue> name;
    };
    Prepared Prepare(CIndexItem* item, SortKeyMemo* memo = nullptr, bool deferTexts = false) const;
    SInt32 ComparePrepared(Prepared& one, Prepared& two) const;
    // The sort of a long list: values read on the GUI thread in steps, keys made
    // and the list sorted and merged on other threads.
    void SortOnThreads(std::vector<CIndexItem*>& items, const std::atomic<bool>* abandon);
    static bool TiesOften(const std::vector<Prepared>& prepared);
    static void PutInOrder(std::vector<CIndexItem*>& items, const std::vector<Prepared*>& order);

    SInt32 mSortKey = 4001;
    bool mDescending = false;
    mutable std::unordered_map<const CIndexItem*, Prepared> mPrepared;
};

// Prepares a comparator's sort values for a scope (the sort of an array).
class StItemSortValues {
public:
    template <typename Container>
    StItemSortValues(CIndexItemComparator& comparator, const Container& items)
        : mComparator(comparator)
    {
        mComparator.PrepareSortValues(items.data(), items.size());
    }
    ~StItemSortValues() { mComparator.ForgetSortValues(); }
    StItemSortValues(const StItemSortValues&) = delete;
    StItemSortValues& operator=(const StItemSortValues&) = delete;

private:
    CIndexItemComparator& mComparator;
};
