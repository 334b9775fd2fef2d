#pragma once

#include <QSet>

#include <algorithm>
#include <memory>
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
    // Whether there are at least `count` members, told without merging the batches
    // waiting: a list of every value of a field asks this of each, and merging them
    // all would cost a pass over every item of the index. Meant for small counts.
    bool HasAtLeast(qsizetype count) const
    {
        if (mBatched.empty())
            return size() >= count;
        if (qsizetype(mSorted.size()) >= count)
            return true;
        // Changes one at a time merge the batches first: only the vector and the
        // batches (repeats and members already in allowed) hold members now.
        std::vector<Item> others;
        for (Item item : mBatched) {
            if (std::find(others.begin(), others.end(), item) != others.end() || InSorted(item))
                continue;
            others.push_back(item);
            if (qsizetype(mSorted.size() + others.size()) >= count)
                return true;
        }
        return false;
    }
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
    // They wait unsorted behind the vector, sorted and merged in once they are
    // half of it or the members are looked at: an opening enters a value's items
    // a few at a time from batches of every value, in no order of address, and
    // the vector is copied into its new room a few times only.
    void InsertMany(std::span<const Item> items) { Batch(items, false); }
    // As InsertMany, for items sorted by address (repeats allowed): the batches
    // waiting are then merged rather than sorted.
    void InsertSorted(std::span<const Item> items) { Batch(items, true); }

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
    void Batch(std::span<const Item> items, bool sorted)
    {
        if (items.empty())
            return;
        if (!mAdded.isEmpty() || !mRemoved.isEmpty())
            Merge();
        if (!sorted)
            mRunEnds.reset();
        else if (mBatched.empty())
            mRunEnds.reset(new std::vector<size_t>);
        mBatched.insert(mBatched.end(), items.begin(), items.end());
        if (mRunEnds)
            mRunEnds->push_back(mBatched.size());
        if (mBatched.size() * 2 >= mSorted.size())
            MergeBatched();
    }
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
        SortBatched();
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
    // Runs of sorted batches are merged in pairs, round after round: a few
    // passes over the items instead of a sort.
    void SortBatched() const
    {
        if (!mRunEnds) {
            std::sort(mBatched.begin(), mBatched.end());
            return;
        }
        std::vector<size_t>& ends = *mRunEnds;
        while (ends.size() > 1) {
            size_t start = 0;
            size_t kept = 0;
            for (size_t run = 0; run < ends.size(); run += 2) {
                const size_t middle = ends[run];
                const size_t end = run + 1 < ends.size() ? ends[run + 1] : middle;
                std::inplace_merge(mBatched.begin() + std::ptrdiff_t(start), mBatched.begin() + std::ptrdiff_t(middle),
                    mBatched.begin() + std::ptrdiff_t(end));
                ends[kept++] = end;
                start = end;
            }
            ends.resize(kept);
        }
        mRunEnds.reset();
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
    // Where each run of mBatched ends, while every batch came sorted (null
    // otherwise); one pointer, as most values never have more than one batch.
    struct RunEnds : std::unique_ptr<std::vector<size_t>> {
        RunEnds() = default;
        RunEnds(RunEnds&&) = default;
        RunEnds& operator=(RunEnds&&) = default;
        RunEnds(const RunEnds& other)
            : std::unique_ptr<std::vector<size_t>>(other ? new std::vector<size_t>(*other) : nullptr)
        {
        }
        RunEnds& operator=(const RunEnds& other)
        {
            reset(other ? new std::vector<size_t>(*other) : nullptr);
            return *this;
        }
    };
    mutable RunEnds mRunEnds;
    // Not in mSorted / in mSorted: the changes not merged yet.
    mutable QSet<Item> mAdded;
    mutable QSet<Item> mRemoved;
};
