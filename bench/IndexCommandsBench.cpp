// The index view's commands at 100,000 items, in pairs within one run: Select All
// from the menu with the menu bar's command statuses brought up to date, within 2x
// of a plain shown Qt list selecting all of the same names (the model keeps a
// whole selection as one range, so the model alone does next to nothing), and
// sorting by a field from the menu, within 1.2x of the model's own sort.

#include "BenchMain.h"

#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexView.h"
#include "StandaloneIndexView.h"
#include "CVisualTask.h"
#include "FieldKeys.h"
#include "LMenuBar.h"
#include "URegistrar.h"

#include <benchmark/benchmark.h>

#include <QRandomGenerator>
#include <QStringListModel>
#include <QTreeView>

#include <algorithm>
#include <vector>

namespace {

constexpr int kItems = 100'000;
constexpr int kPairs = 7;

void CompareCommands()
{
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
    LMenuBar bar(128);
    StandaloneIndexView index(900, 700);
    CIndexView* view = index.get();
    CIndexModel& model = view->GetModel();
    // Names in a shuffled order, and dates added in another, so that each sort has work.
    std::vector<int> order(kItems);
    for (int i = 0; i < kItems; ++i)
        order[size_t(i)] = i;
    std::shuffle(order.begin(), order.end(), *QRandomGenerator::global());
    for (int i = 0; i < kItems; ++i) {
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/photo%1.jpg").arg(order[size_t(i)], 6, 10, QLatin1Char('0'))));
        item->SetDateAdded(QRandomGenerator::global()->generate());
        model.InsertItem(item, kInsertAtEnd, ItemInsert::Filling);
        (void)item->GetName();
    }
    LCommander::SwitchTarget(view);
    QStringList names;
    names.reserve(kItems);
    for (CIndexItem* item : model.GetItemList())
        names.append(item->GetName());
    QStringListModel plainNames(names);
    QTreeView plain;
    plain.setUniformRowHeights(true);
    plain.setRootIsDecorated(false);
    plain.setSelectionMode(QAbstractItemView::ExtendedSelection);
    plain.setModel(&plainNames);
    plain.resize(900, 700);
    plain.show();

    CheckRatio("Select All from the menu with the command statuses, 100,000 items",
        RunPaired(
            kPairs,
            [&] {
                view->ProcessCommand(cmd_SelectAll, nullptr);
                bar.UpdateMenus();
            },
            [&] { plain.selectAll(); },
            [&] {
                model.DeselectAll();
                plain.clearSelection();
            }),
        2.0);
    CheckTarget("Select All selects every item", (view->ProcessCommand(cmd_SelectAll, nullptr), model.CountSelectedItems() == kItems));
    model.DeselectAll();

    const auto sortedByName = [&] {
        const auto& list = model.GetItemList();
        return std::is_sorted(list.begin(), list.end(),
            [](CIndexItem* a, CIndexItem* b) { return a->GetName().compare(b->GetName()) < 0; });
    };
    CheckRatio("Sort by name from the menu, 100,000 items",
        RunPaired(
            kPairs, [&] { view->ProcessCommand(kFieldName + kSortCommandOffset, nullptr); },
            [&] { model.SetSortKey(kFieldName, false); }, [&] { model.SetSortKey(kFieldDateAdded, false); }),
        1.2);
    view->ProcessCommand(kFieldName + kSortCommandOffset, nullptr);
    CheckTarget("the menu's sort orders the items by name", sortedByName());

    index.reset();
    TerminateTasks();
}

void BM_IndexCommands(benchmark::State& state)
{
    for (auto _ : state)
        CompareCommands();
}
BENCHMARK(BM_IndexCommands)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv);
}
