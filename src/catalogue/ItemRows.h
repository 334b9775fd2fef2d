#pragma once

#include "MacTypes.h"
#include "TArray.h"

#include <cstddef>
#include <vector>

class CIndexItem;

// Which 1-based row of a list holds an item, found in constant time: open
// addressing over the items' addresses in a power-of-two table at most half
// full, rows beside it. Entering a million items takes a fraction of what a
// QHash takes (no node to allocate, one table filled in place), which the
// window feels after every sort and every switch between the filter and all
// items.
class ItemRows {
public:
    // The rows of the list's items, replacing all entered before.
    void Build(const TArray<CIndexItem*>& list);
    // The rows the items will have as a list in this order.
    void Build(const std::vector<CIndexItem*>& items);
    // Enters an item's row (replacing the one it had).
    void Insert(const CIndexItem* item, SInt32 row);
    // 0 for an item not entered.
    SInt32 Find(const CIndexItem* item) const;

private:
    // Empties the table and makes it large enough for this many items.
    void Reset(size_t count);
    size_t SlotOf(const CIndexItem* item) const;

    std::vector<const CIndexItem*> mItems;
    std::vector<SInt32> mRows;
    size_t mCount = 0;
    int mShift = 64;
};
