#include "ItemRows.h"

#include "PointerMarks.h"

#include <algorithm>
#include <utility>

void ItemRows::Reset(size_t count)
{
    int bits = 4;
    while ((size_t(1) << bits) < count * 2)
        ++bits;
    mShift = 64 - bits;
    mItems.assign(size_t(1) << bits, nullptr);
    mRows.assign(size_t(1) << bits, 0);
    mCount = 0;
}

size_t ItemRows::SlotOf(const CIndexItem* item) const
{
    size_t slot = PointerSlot(item, mShift);
    while (mItems[slot] && mItems[slot] != item)
        slot = (slot + 1) & (mItems.size() - 1);
    return slot;
}

void ItemRows::Build(const TArray<CIndexItem*>& list)
{
    Build(list.Items());
}

void ItemRows::Build(const std::vector<CIndexItem*>& items)
{
    Reset(items.size());
    SInt32 row = 0;
    for (CIndexItem* item : items)
        Insert(item, ++row);
}

void ItemRows::Insert(const CIndexItem* item, SInt32 row)
{
    if (!item)
        return;
    if ((mCount + 1) * 2 > mItems.size()) {
        // Full to half: a table twice the size, every entry placed again.
        std::vector<const CIndexItem*> items = std::move(mItems);
        std::vector<SInt32> rows = std::move(mRows);
        Reset(std::max<size_t>(mCount + 1, 8) * 2);
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i])
                Insert(items[i], rows[i]);
        }
    }
    const size_t slot = SlotOf(item);
    if (!mItems[slot]) {
        mItems[slot] = item;
        ++mCount;
    }
    mRows[slot] = row;
}

SInt32 ItemRows::Find(const CIndexItem* item) const
{
    if (!item || mItems.empty())
        return 0;
    const size_t slot = SlotOf(item);
    return mItems[slot] ? mRows[slot] : 0;
}
