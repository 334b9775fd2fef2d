// Items compared by field key, and the index view's comparator built on it.

#include "CANPAInfo.h"
#include "CEXIFInfo.h"
#include "CIndexItem.h"
#include "CIndexItemComparator.h"
#include "FieldKeys.h"
#include "MediaImageInfo.h"
#include "Preferences.h"
#include "RecordBytes.h"
#include "TArray.h"
#include "UserData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

std::unique_ptr<CIndexItem> FreeItem(const QString& name)
{
    auto item = std::make_unique<CIndexItem>(QUrl(QStringLiteral("http://example.org/photos/") + name));
    item->SetCaptionInfo(std::make_unique<CANPAInfo>());
    return item;
}

// An EXIF rational as its item holds it: numerator, denominator, big-endian.
QByteArray Rational8(SInt32 numerator, SInt32 denominator)
{
    return RecordBytes().U32BE(unsigned(numerator)).U32BE(unsigned(denominator));
}

void SetExposure(CIndexItem& item, SInt32 numerator, SInt32 denominator)
{
    UserData data;
    data.AddUserData(Rational8(numerator, denominator), EXIFUserDataType(0x829A));
    item.SetEXIFInfo(std::make_unique<CEXIFInfo>(&data));
}

// A thousand items whose fields repeat, so that sorts meet many ties.
std::vector<std::unique_ptr<CIndexItem>> ManyItems(int count)
{
    std::vector<std::unique_ptr<CIndexItem>> items;
    std::mt19937 random(7);
    for (int i = 0; i < count; ++i) {
        auto item = FreeItem(QStringLiteral("img%1.jpg").arg(i % 97));
        item->SetDateAdded(UInt32(3000000000u + random() % 50));
        item->SetTotalSize(UInt32(random() % 20));
        item->SetCreationDate(UInt32(random() % 10), false);
        item->SetModificationDate(UInt32(random() % 10), false);
        item->SetCreatorCode(random() % 2 ? OSType('8BIM') : OSType('ogle'), false);
        item->SetFlags(random() % 3 ? 0u : UInt32(kItemFlagRotate90CW));
        if (random() % 4) {
            auto info = std::make_unique<MediaImageInfo>();
            info->width = SInt16(random() % 5);
            info->height = SInt16(random() % 5);
            info->depth = 24;
            info->dataSize = SInt32(random() % 7);
            info->spatialQuality = SInt32(random() % 2 ? 512 : 1024);
            item->SetImageInfo(std::move(info));
        }
        if (random() % 3)
            SetExposure(*item, 1, SInt32(1 + random() % 4));
        CANPAInfo* caption = item->GetCaptionInfo();
        caption->SetUrgency(SInt32(random() % 8));
        caption->SetCity(random() % 2 ? Str255("Oslo") : Str255("Bergen"));
        caption->SetDateCreated(UInt32(random() % 3));
        if (random() % 2)
            caption->AddKeyword(Str255(random() % 2 ? "sea" : "boats"));
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<CIndexItem*> Pointers(const std::vector<std::unique_ptr<CIndexItem>>& items)
{
    std::vector<CIndexItem*> pointers;
    for (const auto& item : items)
        pointers.push_back(item.get());
    return pointers;
}

} // namespace

TEST(CompareIndexItems, RulesOfTheKeys)
{
    StTempPrefBoolean withExtension(QStringLiteral("ShowFileExtension"), true);
    auto a = FreeItem(QStringLiteral("img2.jpg"));
    auto b = FreeItem(QStringLiteral("img10.jpg"));

    // Key 0 gives 1, even for an item and itself; 4026 gives 0 for any two.
    EXPECT_EQ(CompareIndexItems(a.get(), a.get(), 0), 1);
    EXPECT_EQ(CompareIndexItems(a.get(), b.get(), kFieldPositionInView), 0);
    // Numbers inside names compare by value.
    EXPECT_EQ(CompareIndexItems(a.get(), b.get(), kFieldName), -1);
    EXPECT_EQ(CompareIndexItems(b.get(), a.get(), kFieldName), 1);

    // Creator codes compare as numbers, not as the names shown.
    a->SetCreatorCode('ogle', false);
    b->SetCreatorCode('8BIM', false);
    EXPECT_EQ(CompareIndexItems(a.get(), b.get(), kFieldCreator), 1);
    // Total size is signed: a size past 2 GB sorts before small ones.
    a->SetTotalSize(0x80000000u);
    b->SetTotalSize(10);
    EXPECT_EQ(CompareIndexItems(a.get(), b.get(), kFieldTotalSize), -1);
    // Dates are unsigned.
    a->SetDateAdded(0x80000000u);
    b->SetDateAdded(10);
    EXPECT_EQ(CompareIndexItems(a.get(), b.get(), kFieldDateAdded), 1);

    // Caption records: none on either side is equal; a record sorts after none.
    a->SetCaptionInfo(nullptr);
    b->SetCaptionInfo(nullptr);
    EXPECT_EQ(CompareCaptionRecords(nullptr, nullptr, kFieldDateCreated), 0);
    CANPAInfo caption;
    EXPECT_EQ(CompareCaptionRecords(&caption, nullptr, kFieldDateCreated), 1);
    EXPECT_EQ(CompareCaptionRecords(nullptr, &caption, kFieldDateCreated), -1);
    // Urgency sorts in reverse: urgency 1 after urgency 5.
    CANPAInfo urgent;
    urgent.SetUrgency(1);
    CANPAInfo relaxed;
    relaxed.SetUrgency(5);
    EXPECT_EQ(CompareCaptionRecords(&urgent, &relaxed, kFieldUrgency), 1);
    EXPECT_EQ(CompareCaptionRecords(&urgent, &relaxed, kFieldUrgencyLabel), 1);
    EXPECT_EQ(CompareCaptionRecords(&urgent, &relaxed, kFieldCity), 0);

    // EXIF: a record without an exposure time (0) sorts before 1/250.
    SetExposure(*a, 0, 1);
    SetExposure(*b, 1, 250);
    EXPECT_EQ(CompareIndexItems(a.get(), b.get(), kFieldExposureTime), -1);

    // Image records field by field; keys without a field compare equal.
    MediaImageInfo wide;
    wide.width = 640;
    MediaImageInfo narrow;
    narrow.width = 320;
    EXPECT_EQ(CompareImageRecords(&wide, &narrow, kFieldWidth), 1);
    EXPECT_EQ(CompareImageRecords(&wide, &narrow, kFieldDimensions), 0);
    EXPECT_EQ(CompareImageRecords(nullptr, &narrow, kFieldDimensions), -1);
    narrow.spatialQuality = SInt32(0x80000000u);
    EXPECT_EQ(CompareImageRecords(&wide, &narrow, kFieldSpatialQuality), -1); // unsigned
    // Text fields compare their texts, a missing value as "-".
    a->SetCaptionInfo(std::make_unique<CANPAInfo>());
    b->SetCaptionInfo(std::make_unique<CANPAInfo>());
    a->GetCaptionInfo()->SetCity(Str255("Oslo"));
    EXPECT_EQ(CompareIndexItems(a.get(), b.get(), kFieldCity), 1);
}

TEST(CompareIndexItems, NotANumberSortsLast)
{
    ItemSortValue number;
    number.kind = ItemSortValue::Kind::Real;
    number.real = 1.0;
    ItemSortValue nan = number;
    nan.real = std::nan("");
    EXPECT_EQ(CompareItemSortValues(nan, number), 1);
    EXPECT_EQ(CompareItemSortValues(number, nan), -1);
    EXPECT_EQ(CompareItemSortValues(nan, nan), 0);
}

TEST(CIndexItemComparator, TieBreaksFollowTheDirection)
{
    CIndexItemComparator comparator;
    EXPECT_EQ(comparator.GetSortKey(), kFieldName);
    EXPECT_FALSE(comparator.IsDescending());

    auto a = FreeItem(QStringLiteral("a.jpg"));
    auto b = FreeItem(QStringLiteral("b.jpg"));
    auto twin = FreeItem(QStringLiteral("a.jpg"));
    a->GetCaptionInfo()->SetCity(Str255("Oslo"));
    b->GetCaptionInfo()->SetCity(Str255("Oslo"));
    twin->GetCaptionInfo()->SetCity(Str255("Oslo"));

    comparator.SetSortKey(kFieldCity);
    EXPECT_LT(comparator.CompareItems(a.get(), b.get()), 0); // same city: by name
    // The same city and name: the item made first comes first, never equal.
    EXPECT_LT(comparator.CompareItems(a.get(), twin.get()), 0);
    EXPECT_GT(comparator.CompareItems(twin.get(), a.get()), 0);
    EXPECT_EQ(comparator.CompareItems(a.get(), a.get()), 0);

    comparator.SetDescending(true);
    EXPECT_GT(comparator.CompareItems(a.get(), b.get()), 0);
    EXPECT_GT(comparator.CompareItems(a.get(), twin.get()), 0);

    // Key 0 orders by the tie-breaks alone, consistently both ways.
    comparator.SetDescending(false);
    comparator.SetSortKey(0);
    EXPECT_LT(comparator.CompareItems(a.get(), b.get()), 0);
    EXPECT_GT(comparator.CompareItems(b.get(), a.get()), 0);

    // As the array's comparator, elements are item pointers.
    comparator.SetSortKey(kFieldName);
    CIndexItem* one = b.get();
    CIndexItem* two = a.get();
    EXPECT_GT(comparator.Compare(&one, &two, sizeof one, sizeof two), 0);
    std::unique_ptr<LComparator> clone(comparator.Clone());
    EXPECT_GT(clone->Compare(&one, &two, sizeof one, sizeof two), 0);
}

TEST(CIndexItemComparator, EveryKeySortsAThousandItemsTotallyAndReproducibly)
{
    StTempPrefBoolean withExtension(QStringLiteral("ShowFileExtension"), true);
    const auto items = ManyItems(1000);
    const std::vector<CIndexItem*> original = Pointers(items);
    const std::vector<SInt32>& keys = AllFieldKeys();

    for (SInt32 key : keys) {
        for (bool descending : {false, true}) {
            SCOPED_TRACE(testing::Message() << "key " << key << (descending ? " descending" : ""));
            CIndexItemComparator comparator;
            comparator.SetSortKey(key);
            comparator.SetDescending(descending);

            std::vector<CIndexItem*> sorted = original;
            std::stable_sort(sorted.begin(), sorted.end(),
                [&](CIndexItem* x, CIndexItem* y) { return comparator.CompareItems(x, y) < 0; });
            // Total: neighbours are never equal and strictly ordered both ways.
            for (size_t i = 1; i < sorted.size(); ++i) {
                ASSERT_LT(comparator.CompareItems(sorted[i - 1], sorted[i]), 0) << i;
                ASSERT_GT(comparator.CompareItems(sorted[i], sorted[i - 1]), 0) << i;
            }
            // Reproducible: a shuffled copy, sorted with prepared values, comes out the same.
            std::vector<CIndexItem*> shuffled = original;
            std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(SInt32(key)));
            comparator.SortItems(shuffled);
            ASSERT_EQ(shuffled, sorted);
        }
    }
}

TEST(CIndexItemComparator, LongListsSortOnThreadsAsTheComparatorOrdersThem)
{
    // Long enough to be sorted on threads: sizes that seldom tie, cities that tie
    // everywhere, names that repeat.
    const auto items = ManyItems(25000);
    for (size_t i = 0; i < items.size(); ++i)
        items[i]->SetTotalSize(UInt32(i * 7919 % 24000));
    const std::vector<CIndexItem*> original = Pointers(items);
    for (SInt32 key : { kFieldTotalSize, kFieldCity, kFieldName }) {
        for (bool descending : { false, true }) {
            SCOPED_TRACE(testing::Message() << "key " << key << (descending ? " descending" : ""));
            CIndexItemComparator comparator;
            comparator.SetSortKey(key);
            comparator.SetDescending(descending);
            std::vector<CIndexItem*> expected = original;
            {
                StItemSortValues prepared(comparator, expected);
                std::stable_sort(expected.begin(), expected.end(),
                    [&](CIndexItem* x, CIndexItem* y) { return comparator.CompareItems(x, y) < 0; });
            }
            std::vector<CIndexItem*> sorted = original;
            std::shuffle(sorted.begin(), sorted.end(), std::mt19937(SInt32(key)));
            comparator.SortItems(sorted);
            ASSERT_EQ(sorted, expected);
        }
    }
}

TEST(CIndexItemComparator, SortedArrayKeepsItsOrderOnInsert)
{
    const auto items = ManyItems(200);
    CIndexItemComparator comparator;
    comparator.SetSortKey(kFieldCity);
    TArray<CIndexItem*> array(&comparator, true, false);
    for (const auto& item : items)
        array.AddItem(item.get());
    ASSERT_EQ(array.GetCount(), 200);
    for (ArrayIndexT i = 2; i <= array.GetCount(); ++i)
        EXPECT_LT(comparator.CompareItems(array[i - 1], array[i]), 0);
    // A full sort with prepared values agrees with the insertions, as does the
    // array sorted again while its values are prepared.
    std::vector<CIndexItem*> all = Pointers(items);
    comparator.SortItems(all);
    for (ArrayIndexT i = 1; i <= array.GetCount(); ++i)
        EXPECT_EQ(array[i], all[size_t(i - 1)]);
    comparator.SetDescending(true);
    {
        StItemSortValues prepared(comparator, array.Items());
        array.Sort();
    }
    for (ArrayIndexT i = 1; i <= array.GetCount(); ++i)
        EXPECT_EQ(array[i], all[all.size() - size_t(i)]);
    // Sorted as a whole, the array stays sorted for the insertions that follow.
    comparator.SetDescending(false);
    comparator.SortArray(array);
    EXPECT_TRUE(array.IsSorted());
    for (ArrayIndexT i = 1; i <= array.GetCount(); ++i)
        EXPECT_EQ(array[i], all[size_t(i - 1)]);
    auto late = FreeItem(QStringLiteral("late.jpg"));
    late->GetCaptionInfo()->SetCity(Str255("Bergen"));
    const ArrayIndexT at = array.AddItem(late.get());
    EXPECT_LT(comparator.CompareItems(array[at - 1], late.get()), 0);
    EXPECT_GT(comparator.CompareItems(array[at + 1], late.get()), 0);
}
