#pragma once

#include <QtGlobal>

#include <cstddef>
#include <vector>

// The slot of a pointer in a power-of-two table of 64 - shift bits: a
// multiplicative hash, so that pointers allocated side by side spread out.
inline size_t PointerSlot(const void* pointer, int shift)
{
    return size_t((quint64(quintptr(pointer)) * 0x9E3779B97F4A7C15ull) >> shift);
}

// A set of pointers made for one pass of lookups over a whole index: open
// addressing in a power-of-two table at most half full, with a multiplicative
// hash. A lookup costs a fraction of QSet's, which tells when each of 100,000
// items is looked up at once (the filter of one value).
class PointerMarks {
public:
    explicit PointerMarks(size_t count)
    {
        int bits = 4;
        while ((size_t(1) << bits) < count * 2)
            ++bits;
        mShift = 64 - bits;
        mSlots.assign(size_t(1) << bits, nullptr);
    }
    void Insert(const void* pointer)
    {
        size_t slot = SlotOf(pointer);
        while (mSlots[slot] && mSlots[slot] != pointer)
            slot = (slot + 1) & (mSlots.size() - 1);
        mSlots[slot] = pointer;
    }
    template <typename Range>
    void InsertAll(const Range& range)
    {
        for (const auto* pointer : range)
            Insert(pointer);
    }
    bool Contains(const void* pointer) const
    {
        for (size_t slot = SlotOf(pointer); mSlots[slot]; slot = (slot + 1) & (mSlots.size() - 1)) {
            if (mSlots[slot] == pointer)
                return true;
        }
        return false;
    }

private:
    size_t SlotOf(const void* pointer) const { return PointerSlot(pointer, mShift); }
    std::vector<const void*> mSlots;
    int mShift = 60;
};
