#pragma once

#include "ExceptionCode.h"
#include "LComparator.h"

#include <algorithm>
#include <vector>

using ArrayIndexT = SInt32;
inline constexpr ArrayIndexT index_Bad = 0;
inline constexpr ArrayIndexT index_Last = 0x7FFFFFFF;
inline constexpr ArrayIndexT index_First = 1;

// Thrown when an array is changed while it is locked.
inline constexpr OSStatus err_ArrayLocked = 'lock';

// The framework's array: 1-based indexes, 0 for none, index_Last (0x7fffffff) for
// the end. With keep-sorted set, insertions go to their place by the comparator
// (after equal elements) whatever index is asked. A nested lock count guards an
// iteration that yields: while it is not 0 every change throws err_ArrayLocked.
template <typename T>
class TArray {
public:
    explicit TArray(LComparator* comparator = nullptr, bool keepSorted = false, bool ownsComparator = false)
        : mComparator(comparator)
        , mOwnsComparator(ownsComparator)
        , mKeepSorted(keepSorted)
        , mIsSorted(keepSorted)
    {
    }
    TArray(const TArray&) = delete;
    TArray& operator=(const TArray&) = delete;
    ~TArray()
    {
        if (mOwnsComparator)
            delete mComparator;
    }

    ArrayIndexT GetCount() const { return ArrayIndexT(mItems.size()); }
    bool IsEmpty() const { return mItems.empty(); }
    bool ValidIndex(ArrayIndexT index) const { return index >= 1 && index <= GetCount(); }

    // Inserts `count` copies of `item` at `index` (index_Last or past the end: at the
    // end); answers the index of the first inserted element, index_Bad for none.
    ArrayIndexT InsertItemsAt(SInt32 count, ArrayIndexT index, const T& item)
    {
        CheckUnlocked();
        if (count <= 0)
            return index_Bad;
        if (mKeepSorted && mComparator) {
            index = FetchInsertIndexOf(item);
        } else {
            if (index < 1 || index > GetCount())
                index = GetCount() + 1;
            mIsSorted = false;
        }
        mItems.insert(mItems.begin() + (index - 1), size_t(count), item);
        return index;
    }

    ArrayIndexT AddItem(const T& item) { return InsertItemsAt(1, index_Last, item); }

    // Appends `count` elements at the end in the order given; answers the index
    // of the first, index_Bad for none. A list that keeps itself sorted takes its
    // elements one at a time (InsertItemsAt), so it refuses this with 'asrt'.
    ArrayIndexT AppendItems(const T* items, SInt32 count)
    {
        CheckUnlocked();
        ThrowIf_(mKeepSorted && mComparator, "appending to a list that keeps itself sorted");
        if (count <= 0)
            return index_Bad;
        const ArrayIndexT first = GetCount() + 1;
        mItems.insert(mItems.end(), items, items + count);
        mIsSorted = false;
        return first;
    }

    void Reserve(SInt32 count)
    {
        if (count > 0)
            mItems.reserve(size_t(count));
    }

    // Removes up to `count` elements from `index`; an invalid index does nothing.
    void RemoveItemsAt(SInt32 count, ArrayIndexT index)
    {
        CheckUnlocked();
        if (!ValidIndex(index) || count <= 0)
            return;
        SInt32 available = GetCount() - index + 1;
        count = std::min(count, available);
        mItems.erase(mItems.begin() + (index - 1), mItems.begin() + (index - 1 + count));
    }

    void RemoveAllItems()
    {
        CheckUnlocked();
        mItems.clear();
    }

    // Replaces the elements with `items`, which the caller has put in the
    // comparator's order already (a sort done outside the array).
    void AssignSortedItems(std::vector<T> items)
    {
        CheckUnlocked();
        mItems = std::move(items);
        mIsSorted = true;
    }

    // Replaces the elements with `items` in the order given (a reordering done
    // outside the array).
    void AssignItems(std::vector<T> items)
    {
        CheckUnlocked();
        mItems = std::move(items);
        mIsSorted = false;
    }

    // Removes the first element equal to `item` (by value).
    void Remove(const T& item)
    {
        ArrayIndexT index = FetchIndexOf(item);
        if (index != index_Bad)
            RemoveItemsAt(1, index);
    }

    bool FetchItemAt(ArrayIndexT index, T& outItem) const
    {
        if (!ValidIndex(index))
            return false;
        outItem = mItems[size_t(index - 1)];
        return true;
    }

    // The element at a valid index; 'asrt' otherwise.
    const T& operator[](ArrayIndexT index) const
    {
        ThrowIfNot_(ValidIndex(index), "TArray index out of range");
        return mItems[size_t(index - 1)];
    }

    // Replaces `count` elements from `index` with `item`.
    void AssignItemsAt(SInt32 count, ArrayIndexT index, const T& item)
    {
        CheckUnlocked();
        for (SInt32 i = 0; i < count && ValidIndex(index + i); ++i)
            mItems[size_t(index - 1 + i)] = item;
        if (count > 0)
            mIsSorted = false;
        if (mKeepSorted)
            Sort();
    }

    // The index of the first element equal to `item` by value; index_Bad when absent.
    ArrayIndexT FetchIndexOf(const T& item) const
    {
        auto it = std::find(mItems.begin(), mItems.end(), item);
        return it == mItems.end() ? index_Bad : ArrayIndexT(it - mItems.begin()) + 1;
    }

    // The index of an element equal to the key by the comparator (binary search
    // when sorted); index_Bad when none.
    ArrayIndexT FetchIndexOfKey(const void* key) const
    {
        if (!mComparator)
            return index_Bad;
        if (mIsSorted) {
            auto it = std::lower_bound(mItems.begin(), mItems.end(), key, [&](const T& element, const void* k) {
                return mComparator->CompareToKey(&element, sizeof(T), k) < 0;
            });
            if (it != mItems.end() && mComparator->IsEqualToKey(&*it, sizeof(T), key))
                return ArrayIndexT(it - mItems.begin()) + 1;
            return index_Bad;
        }
        for (size_t i = 0; i < mItems.size(); ++i) {
            if (mComparator->IsEqualToKey(&mItems[i], sizeof(T), key))
                return ArrayIndexT(i) + 1;
        }
        return index_Bad;
    }

    // Where `item` would go in sorted order: after the elements equal to it.
    ArrayIndexT FetchInsertIndexOf(const T& item) const
    {
        if (!mComparator)
            return GetCount() + 1;
        auto it = std::upper_bound(mItems.begin(), mItems.end(), item, [&](const T& a, const T& b) {
            return mComparator->Compare(&a, &b, sizeof(T), sizeof(T)) < 0;
        });
        return ArrayIndexT(it - mItems.begin()) + 1;
    }

    void Sort()
    {
        CheckUnlocked();
        if (mComparator) {
            std::stable_sort(mItems.begin(), mItems.end(), [&](const T& a, const T& b) {
                return mComparator->Compare(&a, &b, sizeof(T), sizeof(T)) < 0;
            });
        }
        mIsSorted = true;
    }

    LComparator* GetComparator() const { return mComparator; }
    // Replaces the comparator (deleting an owned one); a kept-sorted array sorts again.
    void SetComparator(LComparator* comparator, bool owns = false)
    {
        if (comparator == mComparator) {
            mOwnsComparator = owns;
            return;
        }
        if (mOwnsComparator)
            delete mComparator;
        mComparator = comparator;
        mOwnsComparator = owns;
        mIsSorted = false;
        if (mKeepSorted && !IsLocked())
            Sort();
    }

    bool GetKeepSorted() const { return mKeepSorted; }
    void SetKeepSorted(bool keepSorted)
    {
        mKeepSorted = keepSorted;
        if (keepSorted && !mIsSorted && !IsLocked())
            Sort();
    }
    bool IsSorted() const { return mIsSorted; }
    void InvalidateSort() { mIsSorted = false; }

    void Lock() { ++mLockCount; }
    void Unlock()
    {
        if (mLockCount > 0)
            --mLockCount;
    }
    bool IsLocked() const { return mLockCount != 0; }
    SInt32 GetLockCount() const { return mLockCount; }

    auto begin() const { return mItems.begin(); }
    auto end() const { return mItems.end(); }
    const std::vector<T>& Items() const { return mItems; }

private:
    void CheckUnlocked() const
    {
        if (mLockCount != 0)
            ThrowOSErr_(err_ArrayLocked, "array changed while locked");
    }

    std::vector<T> mItems;
    LComparator* mComparator;
    bool mOwnsComparator;
    bool mKeepSorted;
    bool mIsSorted;
    SInt32 mLockCount = 0;
};

// Holds an array's lock for a scope.
template <typename T>
class StArrayLocker {
public:
    explicit StArrayLocker(TArray<T>& array)
        : mArray(array)
    {
        mArray.Lock();
    }
    ~StArrayLocker() { mArray.Unlock(); }

private:
    TArray<T>& mArray;
};
