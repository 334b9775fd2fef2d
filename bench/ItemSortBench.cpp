// Sorting an index of 100,000 items with the index view's comparator: by name,
// by the date a photograph was taken and by a caption field, each against sorting
// the same 100,000 names alone with collation sort keys in the same run (the
// floor for any sort of texts). The target is within three times that floor.
#include "BenchMain.h"

#include "CANPAInfo.h"
#include "CANPAStringComparator.h"
#include "CEXIFInfo.h"
#include "CIndexItem.h"
#include "CIndexItemComparator.h"
#include "FieldKeys.h"
#include "Preferences.h"
#include "TArray.h"
#include "UserData.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QStandardPaths>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kItems = 100000;

struct Fixture {
    std::vector<std::unique_ptr<CIndexItem>> items;
    std::vector<CIndexItem*> shuffled;
    QStringList names;
};

QByteArray DateItem(int day, int second)
{
    return QStringLiteral("2026:%1:%2 12:%3:%4")
        .arg(1 + day % 12, 2, 10, QLatin1Char('0'))
        .arg(1 + day % 28, 2, 10, QLatin1Char('0'))
        .arg(second / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(second % 60, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

// Items as an import of a camera's photographs leaves them: camera names, an EXIF
// date, a caption whose by-line repeats across many items.
Fixture& Items()
{
    static Fixture fixture = [] {
        Fixture made;
        std::mt19937 random(2026);
        const char* photographers[] = {"Ann Example", "Bo Berg", "Cleo Dahl", "Dag Ek", "Eva Fors"};
        for (int i = 0; i < kItems; ++i) {
            const QString name = QStringLiteral("IMG_%1.JPG").arg(random() % 200000);
            auto item = std::make_unique<CIndexItem>(QUrl(QStringLiteral("http://example.org/roll/") + name));
            UserData data;
            data.AddUserData(DateItem(int(random() % 365), int(random() % 3600)), EXIFUserDataType(0x9003));
            item->SetEXIFInfo(std::make_unique<CEXIFInfo>(&data));
            auto caption = std::make_unique<CANPAInfo>();
            caption->SetByline(Str255(photographers[random() % 5]));
            item->SetCaptionInfo(std::move(caption));
            made.names.push_back(name);
            made.shuffled.push_back(item.get());
            made.items.push_back(std::move(item));
        }
        return made;
    }();
    return fixture;
}

void SortItemsBy(benchmark::State& state, SInt32 key)
{
    Fixture& fixture = Items();
    CIndexItemComparator comparator;
    comparator.SetSortKey(key);
    for (auto _ : state) {
        std::vector<CIndexItem*> items = fixture.shuffled;
        comparator.SortItems(items);
        benchmark::DoNotOptimize(items.data());
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

void BM_SortByName(benchmark::State& state)
{
    SortItemsBy(state, kFieldName);
}

void BM_SortByDateTaken(benchmark::State& state)
{
    SortItemsBy(state, kFieldDateTimeOriginal);
}

void BM_SortByByline(benchmark::State& state)
{
    SortItemsBy(state, kFieldByline);
}

// The index view's way: its item array sorted again as a whole.
void BM_SortArrayByByline(benchmark::State& state)
{
    Fixture& fixture = Items();
    CIndexItemComparator comparator;
    comparator.SetSortKey(kFieldByline);
    for (auto _ : state) {
        TArray<CIndexItem*> array(&comparator);
        for (CIndexItem* item : fixture.shuffled)
            array.AddItem(item);
        comparator.SortArray(array);
        benchmark::DoNotOptimize(array.Items().data());
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

// The floor: the names alone, each turned into a collation key once and sorted.
void BM_SortNamesAlone(benchmark::State& state)
{
    Fixture& fixture = Items();
    const QCollator collator = MakeTextCollator(true);
    for (auto _ : state) {
        std::vector<QCollatorSortKey> keys;
        keys.reserve(size_t(kItems));
        for (const QString& name : fixture.names)
            keys.push_back(collator.sortKey(name));
        std::stable_sort(keys.begin(), keys.end(),
            [](const QCollatorSortKey& a, const QCollatorSortKey& b) { return a.compare(b) < 0; });
        benchmark::DoNotOptimize(keys.data());
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

BENCHMARK(BM_SortNamesAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByName)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByDateTaken)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByByline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortArrayByByline)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, [] {
        QStandardPaths::setTestModeEnabled(true); // the user's own preferences stay untouched
        SetPrefBoolean(QStringLiteral("ShowFileExtension"), true);
        Items();
    });
}
