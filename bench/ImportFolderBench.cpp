// Importing a folder of 1,000 camera-size JPEGs into an index (the folder task
// makes the items, the update task their thumbnails) paired in one run with the
// thumbnails batch alone on the same files, both writing each thumbnail into its
// file as the preference does by default. The 1,000 files are real copies of
// the shared camera JPEGs, dropped from the page cache before every run.
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

#include <cstdio>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Whether the first page of a file is in the page cache.
bool FirstPageCached(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    const long page = sysconf(_SC_PAGESIZE);
    void* map = mmap(nullptr, size_t(page), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED)
        return false;
    unsigned char resident = 0;
    const bool cached = mincore(map, size_t(page), &resident) == 0 && (resident & 1);
    munmap(map, size_t(page));
    return cached;
}

constexpr int kFilesToImport = 1000;

QTemporaryDir* gFolder = nullptr;

QString ImportFolder()
{
    return gFolder->filePath(QStringLiteral("Camera"));
}

std::vector<QString>& CopiedFiles()
{
    static std::vector<QString> files;
    return files;
}

int gWrongResults = 0;

// Drops the files' pages from the page cache, so that each run reads them from
// the disk; answers false when the machine kept them anyway.
bool DropFromPageCache()
{
    bool dropped = true;
    for (const QString& path : CopiedFiles()) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        if (fd < 0)
            return false;
        fdatasync(fd);
        dropped = posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0 && dropped;
        ::close(fd);
    }
    return dropped && !FirstPageCached(CopiedFiles().front());
}

bool gCold = true;
void DropBetweenRuns()
{
    RemoveFilePreviews(CopiedFiles());
    gCold = DropFromPageCache() && gCold;
}

// The folder task makes the items, the update task their thumbnails, as the
// grid queues each cell when its item comes in.
void ImportFolderWithThumbnails()
{
    auto view = MakeBenchView();
    view->show();
    CUpdateTask* update = view->GetUpdateTask();
    auto* task = new CImportFolderTask(601, 17, view->GetModel(), FileRef(ImportFolder()), kInsertAtEnd, 0);
    ThreadID id = task->GetID();
    task->Start();
    SInt32 queued = 0;
    bool started = false;
    LThread::RunUntil([&] {
        while (queued < view->CountItems())
            view->QueueCellUpdate(++queued);
        started = started || view->IsUpdating();
        return LThread::FromID(id) == nullptr && queued == view->CountItems() && started
            && update->CountQueued() == 0 && !update->IsWorking() && !view->IsUpdating();
    });
    bool right = view->CountItems() == SInt32(CopiedFiles().size());
    for (SInt32 i = 1; right && i <= view->CountItems(); ++i) {
        CIndexItem* item = nullptr;
        // Written into its file (the preference's default), the thumbnail is read back from there.
        right = view->GetItemAt(i, item) && item->GetThumbnail();
    }
    if (!right)
        ++gWrongResults;
}

void ThumbnailsBatchAlone()
{
    if (!CreateThumbnailsOf(CopiedFiles()))
        ++gWrongResults;
}

void BM_ImportAgainstThumbnailsAlone(benchmark::State& state)
{
    for (auto _ : state) {
        DropBetweenRuns();
        const PairedTimes times = RunPaired(5, ImportFolderWithThumbnails, ThumbnailsBatchAlone, DropBetweenRuns);
        state.SetIterationTime(times.MedianA());
        char name[160];
        std::snprintf(name, sizeof name, "import %zu JPEGs with thumbnails / thumbnails alone (%u workers, %s cache)",
            CopiedFiles().size(), WorkerPool::ThreadCount(), gCold ? "cold" : "WARM");
        PrintRatio(name, times);
    }
    if (!gCold)
        std::printf("The page cache kept the files: both sides read them warm.\n");
    CheckTarget("every import made every item with its thumbnail, every batch every thumbnail",
        gWrongResults == 0, std::to_string(gWrongResults) + " wrong run(s)");
}
BENCHMARK(BM_ImportAgainstThumbnailsAlone)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

// Real files, each its own copy of a camera JPEG, written to the disk before the runs.
void Prepare()
{
    gFolder = new QTemporaryDir;
    QDir().mkpath(ImportFolder());
    const auto& files = CameraJpegFiles();
    for (int n = 0; n < kFilesToImport; ++n) {
        const QString copy = ImportFolder() + QStringLiteral("/IMG_%1.JPG").arg(n + 1, 5, 10, QLatin1Char('0'));
        if (!QFile::copy(files[size_t(n) % files.size()], copy))
            CheckTarget("copying the camera JPEGs", false, copy.toStdString());
        CopiedFiles().push_back(copy);
    }
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
    CItemThumbnails::Install();
}

void Report()
{
    TerminateTasks();
    delete gFolder;
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, Report);
}
