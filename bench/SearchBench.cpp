// Searching an index of 100,000 items through the search task, each side checked
// against a plain loop over the same items in the same run:
// - a quick search by name (the filter it shows), within 1.5 times the loop;
// - duplicates by type and size over 10,000 items under 50 ms and over 100,000
//   under half a second, grouped as the loop's hash of (type, size) groups them.
#include "BenchMain.h"
#include "ThumbnailsBatchTiming.h"

#include "CCriteria.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexView.h"
#include "CSearchTask.h"
#include "CVisualTask.h"
#include "LThread.h"
#include "Preferences.h"
#include "URegistrar.h"

#include <benchmark/benchmark.h>

#include <QHash>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kItems = 100000;
const QString kSearchText = QStringLiteral("img_12");

// Items as a large camera import leaves them: camera names, a few sizes shared
// by chance (about one item in five has a twin or more).
std::vector<CIndexItem*> MakeItems(int count, std::mt19937& random)
{
    std::vector<CIndexItem*> items;
    items.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("IMG_%1.JPG").arg(random() % 200000);
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/roll/") + name));
        item->SetFileTypeCode(random() % 8 == 0 ? 'PNGf' : 'JPEG', false);
        item->SetTotalSize(UInt32(100000 + random() % UInt32(count * 4)));
        items.push_back(item);
    }
    return items;
}

struct Index {
    StandaloneIndexView view = MakeBenchView();
    std::vector<CIndexItem*> items; // in the view's order

    explicit Index(int count)
    {
        std::mt19937 random(2026);
        for (CIndexItem* item : MakeItems(count, random))
            view->InsertItem(item, kInsertAtEnd, false, true);
        items.assign(view->GetItemList().begin(), view->GetItemList().end());
    }
};

Index& Large()
{
    static Index index(kItems);
    return index;
}

// Runs a search task over every item of the index to its end, handed the items
// at once as the quick search hands them; its result shows as the filter.
void RunTask(Index& index, SInt16 kind, SInt32 category, SInt32 selector, const QString& value)
{
    auto* task = new CSearchTask(QStringLiteral("601:39"), index.view->GetModel(), kind);
    task->SetResultAction(kResultShowFilter);
    task->AddItems(index.items);
    task->AddCriterion(std::make_unique<CCriteria>(category, selector, value));
    const ThreadID id = task->GetID();
    task->Start();
    LThread::RunUntil([id] { return LThread::FromID(id) == nullptr; });
}

std::vector<CIndexItem*> FilterOf(Index& index)
{
    const auto& filter = index.view->GetModel().GetFilterList();
    return { filter.begin(), filter.end() };
}

void QuickSearchByName(benchmark::State& state)
{
    Index& index = Large();
    std::vector<CIndexItem*> expected;
    std::vector<CIndexItem*> found;
    const PairedTimes times = RunPaired(
        5, [&] { RunTask(index, kSearchKindSearch, 4001, kSelectorContains, kSearchText); },
        [&] {
            expected.clear();
            for (CIndexItem* item : index.items)
                if (item->GetName().contains(kSearchText, Qt::CaseInsensitive))
                    expected.push_back(item);
        });
    found = FilterOf(index);
    CheckTarget("quick search finds what the loop finds", found == expected && !expected.empty(),
        std::to_string(found.size()) + " found, " + std::to_string(expected.size()) + " by the loop");
    CheckRatio("quick search by name through the task / plain loop", times, 1.5);
    for (auto _ : state)
        RunTask(index, kSearchKindSearch, 4001, kSelectorContains, kSearchText);
}
BENCHMARK(QuickSearchByName)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The loop's grouping: a hash of (type, size); the first of each group, then the
// others, groups in the order of their first item.
std::vector<CIndexItem*> GroupByLoop(const std::vector<CIndexItem*>& items)
{
    QHash<quint64, qsizetype> groupOf;
    std::vector<std::vector<CIndexItem*>> groups;
    for (CIndexItem* item : items) {
        const quint64 key = quint64(item->GetFileTypeCode()) << 32 | item->GetTotalSize();
        auto found = groupOf.constFind(key);
        if (found == groupOf.constEnd()) {
            found = groupOf.insert(key, qsizetype(groups.size()));
            groups.emplace_back();
        }
        groups[size_t(*found)].push_back(item);
    }
    std::vector<CIndexItem*> order;
    for (const auto& group : groups)
        if (group.size() > 1)
            order.insert(order.end(), group.begin(), group.end());
    return order;
}

void DuplicatesBySize(benchmark::State& state, int count, double limitSeconds)
{
    Index fresh(count);
    Index& index = count == kItems ? Large() : fresh;
    std::vector<double> seconds;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        RunTask(index, kSearchKindDuplicates, kDuplicatesCategory, kSelectorSameSize, QStringLiteral("-"));
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        state.PauseTiming();
        for (CIndexItem* item : index.items)
            item->SetFlags(item->GetFlags() & ~kItemFlagDuplicate);
        state.ResumeTiming();
    }
    const std::vector<CIndexItem*> expected = GroupByLoop(index.items);
    const std::vector<CIndexItem*> found = FilterOf(index);
    CheckTarget("duplicates of " + std::to_string(count) + " items as the loop groups them",
        found == expected && !expected.empty(),
        std::to_string(found.size()) + " found, " + std::to_string(expected.size()) + " by the loop");
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds.empty() ? 0 : seconds[seconds.size() / 2];
    char detail[64];
    std::snprintf(detail, sizeof detail, "median %.4f s, limit %.2f s", median, limitSeconds);
    CheckTarget("duplicates of " + std::to_string(count) + " items by type and size", median <= limitSeconds, detail);
}
BENCHMARK_CAPTURE(DuplicatesBySize, TenThousand, 10000, 0.05)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK_CAPTURE(DuplicatesBySize, HundredThousand, kItems, 0.5)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void Prepare()
{
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
    // No pane for a search: the progress window is not what is measured.
    SetPrefNumber(QStringLiteral("MultiTaskTime"), 2);
}

void Report()
{
    TerminateTasks();
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, Report);
}
