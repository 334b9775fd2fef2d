// Dropping 10,000 items of one index on another (the copy modifier held, so the
// sending index keeps them) through the view's drop handling, paired with
// inserting the same copies in a loop: within 1.5 times.
#include "BenchMain.h"

#include "CIndexItem.h"
#include "CIndexView.h"
#include "StandaloneIndexView.h"
#include "CVisualTask.h"
#include "URegistrar.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QMimeData>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kItems = 10'000;

StandaloneIndexView MakeView(int count)
{
    StandaloneIndexView view(800, 600);
    for (int i = 1; i <= count; ++i)
        view->InsertItem(new CIndexItem(QUrl(QStringLiteral("http://example.org/IMG_%1.JPG").arg(i))), kInsertAtEnd,
            false, false);
    return view;
}

void BM_DropItemsOfAnotherIndex(benchmark::State& state)
{
    auto source = MakeView(kItems);
    auto target = MakeView(0);
    const std::vector<CIndexItem*> items(source->GetItemList().begin(), source->GetItemList().end());
    QMimeData data;
    source->AddDragFlavors(data, items);
    const QPoint where(400, 300);
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    for (auto _ : state) {
        const PairedTimes times = RunPaired(
            5,
            [&] {
                QDragEnterEvent enter(where, actions, &data, Qt::LeftButton, Qt::AltModifier);
                QCoreApplication::sendEvent(target.get(), &enter);
                QDropEvent drop(where, actions, &data, Qt::LeftButton, Qt::AltModifier);
                QCoreApplication::sendEvent(target.get(), &drop);
                CheckTarget("every dropped item arrived", target->CountItems() == kItems);
            },
            [&] {
                SInt32 at = 1;
                for (CIndexItem* item : items)
                    at = target->InsertItem(new CIndexItem(*item), at, false, false) + 1;
                target->Refresh();
            },
            [&] { target->RemoveAllItems(); });
        state.SetIterationTime(times.MedianA());
        CheckRatio("dropping 10,000 items of another index / inserting the copies in a loop", times, 1.5);
    }
    CheckTarget("the sending index kept its items", source->CountItems() == kItems);
}
BENCHMARK(BM_DropItemsOfAnotherIndex)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, [] {
        URegistrar::RegisterFrameworkClasses();
        InitializeTasks();
    }, [] { TerminateTasks(); });
}
