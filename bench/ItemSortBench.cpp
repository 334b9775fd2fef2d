// Sorting an index of 100,000 items with the index view's comparator: by name,
// by the date a photograph was taken and by a caption field, each paired in one
// run with sorting the same 100,000 names alone with collation sort keys (the
// floor for any sort of texts). The target is within three times that floor,
// and every sort is checked for its order.
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
#include <string>
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

// The floor: the names alone, each turned into a collation key once and sorted.
void SortNamesAlone()
{
    const QCollator collator = MakeTextCollator(true);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(kItems));
    for (const QString& name : Items().names)
        keys.push_back(collator.sortKey(name));
    std::stable_sort(keys.begin(), keys.end(),
        [](const QCollatorSortKey& a, const QCollatorSortKey& b) { return a.compare(b) < 0; });
    benchmark::DoNotOptimize(keys.data());
}

// Every item once, each in order with the next as a comparator without prepared
// values sees them; by name, also as the collator orders the names.
bool InOrder(std::vector<CIndexItem*> sorted, SInt32 key)
{
    CIndexItemComparator check;
    check.SetSortKey(key);
    const QCollator collator = MakeTextCollator(true);
    for (size_t i = 1; i < sorted.size(); ++i) {
        if (check.CompareItems(sorted[i - 1], sorted[i]) > 0)
            return false;
        if (key == kFieldName && collator.compare(sorted[i - 1]->GetName(), sorted[i]->GetName()) > 0)
            return false;
    }
    std::vector<CIndexItem*> all = Items().shuffled;
    std::sort(all.begin(), all.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted == all;
}

// Sorting by a key against the names alone, paired; the order checked after the runs.
void PairSortBy(const std::string& name, SInt32 key, bool wholeArray)
{
    CIndexItemComparator comparator;
    comparator.SetSortKey(key);
    std::vector<CIndexItem*> sorted;
    auto sort = [&] {
        if (wholeArray) {
            // The index view's way: its item array sorted again as a whole.
            TArray<CIndexItem*> array(&comparator);
            for (CIndexItem* item : Items().shuffled)
                array.AddItem(item);
            comparator.SortArray(array);
            sorted.assign(array.Items().begin(), array.Items().end());
        } else {
            sorted = Items().shuffled;
            comparator.SortItems(sorted);
        }
    };
    CheckRatio(name + " / the names alone", RunPaired(7, sort, SortNamesAlone), 3.0);
    CheckTarget(name + ": every item once, in order", InOrder(sorted, key));
}

void BM_SortsAgainstTheNamesAlone(benchmark::State& state)
{
    for (auto _ : state) {
        PairSortBy("sort 100,000 items by name", kFieldName, false);
        PairSortBy("sort 100,000 items by date taken", kFieldDateTimeOriginal, false);
        PairSortBy("sort 100,000 items by by-line", kFieldByline, false);
        PairSortBy("sort the item array by by-line", kFieldByline, true);
    }
}
BENCHMARK(BM_SortsAgainstTheNamesAlone)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, [] {
        QStandardPaths::setTestModeEnabled(true); // the user's own preferences stay untouched
        SetPrefBoolean(QStringLiteral("ShowFileExtension"), true);
        Items();
    });
}
