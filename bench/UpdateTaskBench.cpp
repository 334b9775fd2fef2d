// The update task making thumbnails for the camera-size JPEGs through the task
// layer (an index view shown, every cell queued), against the thumbnails batch
// alone on the same items in the same run. Both use every core.
#include "BenchMain.h"
#include "CameraJpegs.h"
#include "ThumbnailsBatchTiming.h"

#include "CIndexItem.h"
#include "CIndexView.h"
#include "CUpdateTask.h"
#include "CVisualTask.h"
#include "ItemThumbnails.h"
#include "LThread.h"
#include "Preferences.h"
#include "URegistrar.h"
#include "WorkerPool.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

BenchSeconds gBatch, gTask;

void ThumbnailsBatchAlone(benchmark::State& state)
{
    RunThumbnailsBatchAlone(state, CameraJpegFiles(), gBatch);
}
BENCHMARK(ThumbnailsBatchAlone)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

void UpdateTaskThroughTheTaskLayer(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto view = MakeBenchView();
        for (const QString& path : CameraJpegFiles())
            view->InsertItem(new CIndexItem(QUrl::fromLocalFile(path)), kInsertAtEnd, false, true);
        view->show();
        CUpdateTask* update = view->GetUpdateTask();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        for (SInt32 index = 1; index <= view->CountItems(); ++index)
            view->QueueCellUpdate(index);
        bool started = false;
        LThread::RunUntil([&] {
            started = started || view->IsUpdating();
            return started && update->CountQueued() == 0 && !update->IsWorking() && !view->IsUpdating();
        });
        gTask.Add(std::chrono::steady_clock::now() - start);
        state.PauseTiming();
        for (CIndexItem* item : view->GetItemList())
            if (!item->GetThumbnail())
                state.SkipWithError("an item has no thumbnail");
        view.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(UpdateTaskThroughTheTaskLayer)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

void Prepare()
{
    CameraJpegFiles();
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
    CItemThumbnails::Install();
    SetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile"), false);
}

void Report()
{
    if (gBatch.Mean() > 0 && gTask.Mean() > 0)
        std::printf("\n%zu thumbnails (%u workers): batch alone %.2f s, update task %.2f s; task layer costs %+.1f%%\n",
            CameraJpegFiles().size(), WorkerPool::ThreadCount(), gBatch.Mean(), gTask.Mean(), 100.0 * (gTask.Mean() / gBatch.Mean() - 1.0));
    TerminateTasks();
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, Report);
}
