#include "ExceptionCode.h"
#include "TArray.h"

#include <gtest/gtest.h>

TEST(TArray, IndexesAreOneBasedAndTheEndIsIndexLast)
{
    TArray<SInt32> array;
    EXPECT_EQ(array.InsertItemsAt(1, index_Last, 10), 1);
    EXPECT_EQ(array.InsertItemsAt(1, index_Last, 30), 2);
    EXPECT_EQ(array.InsertItemsAt(1, 2, 20), 2);
    EXPECT_EQ(array.InsertItemsAt(2, 1, 5), 1);
    ASSERT_EQ(array.GetCount(), 5);
    SInt32 value = 0;
    EXPECT_FALSE(array.FetchItemAt(0, value));
    EXPECT_FALSE(array.FetchItemAt(6, value));
    ASSERT_TRUE(array.FetchItemAt(3, value));
    EXPECT_EQ(value, 10);
    EXPECT_EQ(array.FetchIndexOf(30), 5);
    EXPECT_EQ(array.FetchIndexOf(99), index_Bad);
    array.RemoveItemsAt(10, 4); // more than remain: up to the end
    EXPECT_EQ(array.GetCount(), 3);
    array.RemoveItemsAt(1, 0); // invalid: nothing
    EXPECT_EQ(array.GetCount(), 3);
    EXPECT_THROW(array[4], ExceptionCode);
}

TEST(TArray, KeepSortedInsertsAfterEqualElements)
{
    // Pairs ordered by their first half only, so equal keys can be told apart.
    struct ByHigh : LComparator {
        SInt32 Compare(const void* a, const void* b, UInt32, UInt32) const override
        {
            SInt32 x = *static_cast<const SInt32*>(a) / 100, y = *static_cast<const SInt32*>(b) / 100;
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        SInt32 CompareToKey(const void* a, UInt32, const void* key) const override
        {
            SInt32 x = *static_cast<const SInt32*>(a) / 100, y = *static_cast<const SInt32*>(key);
            return x < y ? -1 : (x > y ? 1 : 0);
        }
    };
    TArray<SInt32> array(new ByHigh, true, true);
    for (SInt32 v : { 501, 101, 301, 102, 502, 302 })
        array.InsertItemsAt(1, 1, v); // the index asked for does not matter
    std::vector<SInt32> expected { 101, 102, 301, 302, 501, 502 };
    EXPECT_EQ(array.Items(), expected);
    EXPECT_TRUE(array.IsSorted());
    SInt32 key = 3;
    EXPECT_EQ(array.FetchIndexOfKey(&key), 3);
    key = 4;
    EXPECT_EQ(array.FetchIndexOfKey(&key), index_Bad);
}

TEST(TArray, UnsortedArraySortsOnRequestStably)
{
    TArray<SInt32> array(LLongComparator::GetComparator());
    for (SInt32 v : { 3, -1, 2, 2, 7 })
        array.AddItem(v);
    EXPECT_FALSE(array.IsSorted());
    array.Sort();
    std::vector<SInt32> expected { -1, 2, 2, 3, 7 };
    EXPECT_EQ(array.Items(), expected);
    array.SetKeepSorted(true);
    array.AddItem(0);
    EXPECT_EQ(array[2], 0);
}

TEST(TArray, NestedLockRefusesChangesUntilFullyUnlocked)
{
    TArray<SInt32> array;
    array.AddItem(1);
    array.Lock();
    array.Lock();
    EXPECT_EQ(array.GetLockCount(), 2);
    try {
        array.AddItem(2);
        FAIL() << "insert while locked";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), err_ArrayLocked);
    }
    EXPECT_THROW(array.RemoveItemsAt(1, 1), ExceptionCode);
    EXPECT_THROW(array.Sort(), ExceptionCode);
    EXPECT_EQ(array.GetCount(), 1);
    SInt32 value = 0;
    EXPECT_TRUE(array.FetchItemAt(1, value)); // reading is fine
    array.Unlock();
    EXPECT_TRUE(array.IsLocked());
    EXPECT_THROW(array.AddItem(2), ExceptionCode);
    array.Unlock();
    array.Unlock(); // extra unlocks stay at 0
    EXPECT_FALSE(array.IsLocked());
    {
        StArrayLocker<SInt32> lock(array);
        EXPECT_THROW(array.RemoveAllItems(), ExceptionCode);
    }
    array.AddItem(2);
    EXPECT_EQ(array.GetCount(), 2);
}
