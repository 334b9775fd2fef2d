// Importing a folder of 1,000 camera-size JPEGs into an index (the folder task
// makes the items, the update task their thumbnails) against the thumbnails
// batch alone on the same files, in the same run. The 1,000 files are links to
// the shared camera JPEGs, each under several names.
#include "BenchMain.h"
#include "CameraJpegs.h"
#include "ThumbnailsBatchTiming.h"

#include "CImportFolderTask.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CUpdateTask.h"
#include "CVisualTask.h"
#include "ItemThumbnails.h"
#include "LThread.h"
#include "Preferences.h"
#include "URegistrar.h"
#include "WorkerPool.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

constexpr int kFilesToImport = 1000;

QTemporaryDir* gFolder = nullptr;

QString ImportFolder()
{
    return gFolder->filePath(QStringLiteral("Camera"));
}

std::vector<QString>& LinkedFiles()
{
    static std::vector<QString> files;
    return files;
}

BenchSeconds gImport, gBatch;

void ThumbnailsBatchAlone(benchmark::State& state)
{
    RunThumbnailsBatchAlone(state, LinkedFiles(), gBatch);
}
BENCHMARK(ThumbnailsBatchAlone)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

void ImportFolderWithThumbnails(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto view = MakeBenchView();
        view->show();
        CUpdateTask* update = view->GetUpdateTask();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        auto* task = new CImportFolderTask(601, 17, view.get(), FileRef(ImportFolder()), kInsertAtEnd, 0);
        ThreadID id = task->GetID();
        task->Start();
        // Cells are queued as the items come in, as the grid does for what it shows.
        SInt32 queued = 0;
        bool started = false;
        LThread::RunUntil([&] {
            while (queued < view->CountItems())
                view->QueueCellUpdate(++queued);
            started = started || view->IsUpdating();
            return LThread::FromID(id) == nullptr && queued == view->CountItems() && started
                && update->CountQueued() == 0 && !update->IsWorking() && !view->IsUpdating();
        });
        gImport.Add(std::chrono::steady_clock::now() - start);
        if (view->CountItems() != SInt32(LinkedFiles().size()))
            state.SkipWithError("not every file was imported");
        state.PauseTiming();
        view.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(ImportFolderWithThumbnails)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

void Prepare()
{
    gFolder = new QTemporaryDir;
    QDir().mkpath(ImportFolder());
    const auto& files = CameraJpegFiles();
    for (int n = 0; n < kFilesToImport; ++n) {
        const QString link = ImportFolder() + QStringLiteral("/IMG_%1.JPG").arg(n + 1, 5, 10, QLatin1Char('0'));
        QFile::link(files[size_t(n) % files.size()], link);
        LinkedFiles().push_back(link);
    }
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
    CItemThumbnails::Install();
    SetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile"), false);
    SetPrefBoolean(QStringLiteral("ImportResolveAliases"), true);
}

void Report()
{
    if (gBatch.Mean() > 0)
        std::printf("\n%zu camera JPEGs (%u workers): import with thumbnails %.2f s, thumbnails alone %.2f s (%.2fx)\n",
            LinkedFiles().size(), WorkerPool::ThreadCount(), gImport.Mean(), gBatch.Mean(),
            gImport.Mean() / gBatch.Mean());
    TerminateTasks();
    delete gFolder;
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, Report);
}
