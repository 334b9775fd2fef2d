#pragma once

#include <QSet>

#include <algorithm>
#include <span>
#include <vector>

class CIndexItem;

// The items that share one value of an indexed field. Kept as a vector sorted by
// address: an index opening enters a value's items in batches, appended unsorted
// and merged in with one sort, at 8 bytes an item, where a hash set costs a lookup
// and its growth per item. Items entered or taken out one at a time join a large
// vector's pending sets, merged in once they are an eighth of it, so that a
// change stays cheap.
class ValueMembers {
public:
    using Item = CIndexItem*;

    ValueMembers() = default;
    ValueMembers(std::initializer_list<Item> items) { InsertMany(std::span<const Item>(items.begin(), items.size())); }

    qsizetype size() const
    {
        MergeBatched();
        return qsizetype(mSorted.size()) + mAdded.size() - mRemoved.size();
    }
    bool isEmpty() const { return size() == 0; }
    // The room held, in items.
    qsizetype capacity() const
    {
        return qsizetype(mSorted.capacity() + mBatched.capacity()) + mAdded.capacity() + mRemoved.capacity();
    }
    bool contains(Item item) const
    {
        MergeBatched();
        return mAdded.contains(item) || (InSorted(item) && !mRemoved.contains(item));
    }

    void insert(Item item)
    {
        MergeBatched();
        const auto at = std::lower_bound(mSorted.begin(), mSorted.end(), item);
        if (at != mSorted.end() && *at == item) {
            mRemoved.remove(item);
        } else if (mSorted.size() < kDirectLimit) {
            mSorted.insert(at, item);
        } else {
            mAdded.insert(item);
            MergeIfLarge();
        }
    }
    void remove(Item item)
    {
        MergeBatched();
        if (mAdded.remove(item))
            return;
        const auto at = std::lower_bound(mSorted.begin(), mSorted.end(), item);
        if (at == mSorted.end() || *at != item)
            return;
        if (mSorted.size() < kDirectLimit) {
            mSorted.erase(at);
        } else {
            mRemoved.insert(item);
            MergeIfLarge();
        }
    }
    // Many items at once, in any order, repeats and members already in allowed.
    // They wait unsorted behind the vector, sorted and merged in once they are an
    // eighth of it or the members are looked at: an opening enters a value's items
    // a few at a time from batches of every value, in no order of address.
    void InsertMany(std::span<const Item> items)
    {
        if (items.empty())
            return;
        if (!mAdded.isEmpty() || !mRemoved.isEmpty())
            Merge();
        mBatched.insert(mBatched.end(), items.begin(), items.end());
        if (mBatched.size() * 8 >= mSorted.size())
            MergeBatched();
    }

    // The members, sorted by address.
    const std::vector<Item>& Items() const
    {
        Merge();
        return mSorted;
    }
    std::vector<Item>::const_iterator begin() const { return Items().begin(); }
    std::vector<Item>::const_iterator end() const { return Items().end(); }
    QSet<Item> ToSet() const { return QSet<Item>(begin(), end()); }

    bool operator==(const ValueMembers& other) const { return Items() == other.Items(); }
    bool operator==(const QSet<Item>& set) const
    {
        return size() == set.size()
            && std::all_of(set.begin(), set.end(), [this](Item item) { return contains(item); });
    }

private:
    // A vector this small takes a change in place.
    static constexpr size_t kDirectLimit = 4096;

    bool InSorted(Item item) const { return std::binary_search(mSorted.begin(), mSorted.end(), item); }
    void MergeIfLarge()
    {
        if (size_t(mAdded.size() + mRemoved.size()) * 8 >= mSorted.size())
            Merge();
    }
    // The batched items sorted and merged into the vector, repeats dropped.
    void MergeBatched() const
    {
        if (mBatched.empty())
            return;
        std::sort(mBatched.begin(), mBatched.end());
        mBatched.erase(std::unique(mBatched.begin(), mBatched.end()), mBatched.end());
        // Room for these and no more: a value of every item is a million members.
        mSorted.reserve(mSorted.size() + mBatched.size());
        if (mSorted.empty() || mBatched.front() > mSorted.back()) {
            mSorted.insert(mSorted.end(), mBatched.begin(), mBatched.end());
        } else {
            const auto old = std::ptrdiff_t(mSorted.size());
            mSorted.insert(mSorted.end(), mBatched.begin(), mBatched.end());
            std::inplace_merge(mSorted.begin(), mSorted.begin() + old, mSorted.end());
            mSorted.erase(std::unique(mSorted.begin(), mSorted.end()), mSorted.end());
        }
        // Given back: a value's batches are over once its members are looked at.
        std::vector<Item>().swap(mBatched);
    }
    // The pending changes folded into the vector (a cache, so const).
    void Merge() const
    {
        MergeBatched();
        if (!mRemoved.isEmpty()) {
            std::erase_if(mSorted, [this](Item item) { return mRemoved.contains(item); });
            mRemoved.clear();
        }
        if (!mAdded.isEmpty()) {
            const auto old = std::ptrdiff_t(mSorted.size());
            mSorted.insert(mSorted.end(), mAdded.begin(), mAdded.end());
            std::sort(mSorted.begin() + old, mSorted.end());
            std::inplace_merge(mSorted.begin(), mSorted.begin() + old, mSorted.end());
            mAdded.clear();
        }
    }

    mutable std::vector<Item> mSorted;
    // Entered in batches, not merged yet: in any order, repeats allowed.
    mutable std::vector<Item> mBatched;
    // Not in mSorted / in mSorted: the changes not merged yet.
    mutable QSet<Item> mAdded;
    mutable QSet<Item> mRemoved;
};
