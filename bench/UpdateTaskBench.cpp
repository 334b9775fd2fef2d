// The update task making thumbnails for the camera-size JPEGs through the task
// layer (an index view shown, every cell queued), paired in one run with the
// thumbnails batch alone on the same files. Both use every core, and both write
// each thumbnail into its file as the preference does by default.
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

#include <memory>
#include <string>
#include <vector>

namespace {

StandaloneIndexView gView; // made untimed before each run of the task

void MakeView()
{
    RemoveFilePreviews(CameraJpegFiles());
    if (gView)
        return;
    gView = MakeBenchView();
    for (const QString& path : CameraJpegFiles())
        gView->InsertItem(new CIndexItem(QUrl::fromLocalFile(path)), kInsertAtEnd, false, true);
    gView->show();
}

void UpdateTaskThroughTheTaskLayer()
{
    CIndexView* view = gView.get();
    CUpdateTask* update = view->GetUpdateTask();
    for (SInt32 index = 1; index <= view->CountItems(); ++index)
        view->QueueCellUpdate(index);
    bool started = false;
    LThread::RunUntil([&] {
        started = started || view->IsUpdating();
        return started && update->CountQueued() == 0 && !update->IsWorking() && !view->IsUpdating();
    });
    int made = 0;
    for (CIndexItem* item : view->GetItemList())
        made += item->GetThumbnail() ? 1 : 0;
    if (made != int(CameraJpegFiles().size()))
        CheckTarget("the update task made every thumbnail", false,
            std::to_string(made) + " of " + std::to_string(CameraJpegFiles().size()));
    gView.reset();
}

void ThumbnailsBatchAlone()
{
    if (!CreateThumbnailsOf(CameraJpegFiles()))
        CheckTarget("the batch made every thumbnail", false);
}

void BM_UpdateTaskAgainstTheBatchAlone(benchmark::State& state)
{
    MakeView();
    BenchmarkPaired(state,
        std::to_string(CameraJpegFiles().size()) + " thumbnails through the update task / the batch alone ("
            + std::to_string(WorkerPool::ThreadCount()) + " workers)",
        1.15, 5, UpdateTaskThroughTheTaskLayer, ThumbnailsBatchAlone, MakeView);
    gView.reset();
}
BENCHMARK(BM_UpdateTaskAgainstTheBatchAlone)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

void Prepare()
{
    CameraJpegFiles();
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
    CItemThumbnails::Install();
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, [] {
        TerminateTasks();
        RemoveFilePreviews(CameraJpegFiles()); // the shared files as the other benchmarks expect them
    });
}
