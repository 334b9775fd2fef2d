// Imports from the system's sources against the plain tools on the same data,
// paired in one run: 500 camera JPEGs from a card read by the folder camera
// driver into an index against as many `cp` processes side by side as the
// import copies at once (one for each of its workers), with the event loop's
// longest stall measured meanwhile; the active fonts' index against `fc-list`.
#include "BenchMain.h"
#include "CameraJpegs.h"
#include "ThumbnailsBatchTiming.h"

#include "CImportCameraTask.h"
#include "CImportFontsTask.h"
#include "CIndexView.h"
#include "CVisualTask.h"
#include "ItemThumbnails.h"
#include "LThread.h"
#include "Preferences.h"
#include "URegistrar.h"
#include "WorkerPool.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kCameraFiles = 500;
constexpr int kPairs = 5;

QTemporaryDir* gRoot = nullptr;

QString Card()
{
    return gRoot->filePath(QStringLiteral("CARD"));
}

QString Target()
{
    return gRoot->filePath(QStringLiteral("target"));
}

QStringList& CardFiles()
{
    static QStringList files;
    return files;
}

qint64 CardBytes()
{
    qint64 bytes = 0;
    for (const QString& file : CardFiles())
        bytes += QFileInfo(file).size();
    return bytes;
}

qint64 TargetBytes(int* count)
{
    qint64 bytes = 0;
    *count = 0;
    for (const QFileInfo& info : QDir(Target()).entryInfoList(QDir::Files)) {
        bytes += info.size();
        ++*count;
    }
    return bytes;
}

// Empties the target, and writes out what the last run (or an earlier
// benchmark) left in the page cache, so that no run waits on another's writes.
void ClearTarget()
{
    QDir(Target()).removeRecursively();
    QDir().mkpath(Target());
    ::sync();
}

// Runs a task on a fresh view until it ends, measuring meanwhile the longest
// time the main thread was held between two rounds of the scheduler (what the
// event loop would wait for).
SInt32 RunTaskOnView(const std::function<CVisualTask*(CIndexModel&)>& make, double& longestStallMs)
{
    auto view = MakeBenchView();
    CVisualTask* task = make(view->GetModel());
    const ThreadID id = task->GetID();
    task->Start();
    QElapsedTimer sinceLast;
    sinceLast.start();
    LThread::RunUntil(
        [&] {
            longestStallMs = std::max(longestStallMs, double(sinceLast.nsecsElapsed()) / 1e6);
            sinceLast.restart();
            return LThread::FromID(id) == nullptr;
        },
        600000);
    return view->CountAllItems();
}

// The card import copies its files on every worker at once: the yardstick
// copies them with as many `cp` processes, each given its share of the files.
int CopyProcesses()
{
    return int(std::max(1u, WorkerPool::ThreadCount()));
}

bool CopySideBySide()
{
    const int processes = CopyProcesses();
    std::vector<std::unique_ptr<QProcess>> copies;
    for (int p = 0; p < processes; ++p) {
        QStringList arguments {QStringLiteral("-t"), Target()};
        for (int n = p; n < CardFiles().size(); n += processes)
            arguments << CardFiles()[n];
        copies.push_back(std::make_unique<QProcess>());
        copies.back()->start(QStringLiteral("cp"), arguments);
    }
    bool copied = true;
    for (const auto& copy : copies)
        copied = copy->waitForFinished(600000) && copy->exitStatus() == QProcess::NormalExit && copy->exitCode() == 0
            && copied;
    return copied;
}

void CameraImportAgainstCp()
{
    const CameraDevice card {QStringLiteral("Directory Browse"), QStringLiteral("disk:") + Card()};
    double stallMs = 0;
    double warmUpStallMs = 0; // the first run loads the camera drivers and modules from a cold disk
    int runs = 0;
    bool countsRight = true;
    // Writing 500 files makes single pairs swing with the disk's write-back: more
    // pairs keep the median steady.
    const PairedTimes times = RunPaired(
        kPairs * 4 + 1,
        [&] {
            // What the import command does after its question: list, then download.
            std::vector<CameraFileEntry> files = CameraConnection(card).ListFiles();
            const SInt32 items = RunTaskOnView(
                [&](CIndexModel& model) {
                    return new CImportCameraTask(601, 47, model, nullptr, card, std::move(files), FileRef(Target()));
                },
                runs++ == 0 ? warmUpStallMs : stallMs);
            int count = 0;
            countsRight = countsRight && items == kCameraFiles && TargetBytes(&count) == CardBytes() && count == kCameraFiles;
        },
        [&] {
            countsRight = CopySideBySide() && countsRight;
            int count = 0;
            countsRight = countsRight && TargetBytes(&count) == CardBytes() && count == kCameraFiles;
        },
        ClearTarget);
    CheckTarget("camera import: every file downloaded whole, one item each", countsRight);
    CheckRatio("camera import of 500 JPEGs / " + std::to_string(CopyProcesses()) + " cp side by side of the same files",
        times, 1.3);
    CheckTarget("camera import: longest event-loop stall under 100 ms", stallMs < 100,
        std::to_string(int(stallMs)) + " ms (the warm-up run: " + std::to_string(int(warmUpStallMs)) + " ms)");
}

void FontIndexAgainstFcList()
{
    double stallMs = 0;
    SInt32 items = 0;
    int listed = 0;
    const PairedTimes times = RunPaired(
        kPairs * 3,
        [&] { items = RunTaskOnView([](CIndexModel& model) { return new CImportFontsTask(601, 50, model); }, stallMs); },
        [&] {
            QProcess list;
            list.start(QStringLiteral("fc-list"), {QStringLiteral("--format"), QStringLiteral("%{file}\\n")});
            list.waitForFinished(60000);
            listed = list.readAllStandardOutput().count('\n');
        });
    CheckTarget("font index: some fonts indexed", items > 0 && listed > 0,
        std::to_string(items) + " items, " + std::to_string(listed) + " faces listed");
    CheckRatio("font index / fc-list", times, 1.5);
}

void Prepare()
{
    gRoot = new QTemporaryDir;
    const QString folder = Card() + QStringLiteral("/DCIM/100BENCH");
    QDir().mkpath(folder);
    const auto& jpegs = CameraJpegFiles();
    for (int n = 0; n < kCameraFiles; ++n) {
        const QString file = folder + QStringLiteral("/IMG_%1.JPG").arg(n + 1, 4, 10, QLatin1Char('0'));
        QFile::copy(jpegs[size_t(n) % jpegs.size()], file); // real files, not links
        CardFiles() << file;
    }
    ClearTarget();
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
    CItemThumbnails::Install();
}

void Report()
{
    CameraImportAgainstCp();
    FontIndexAgainstFcList();
    TerminateTasks();
    delete gRoot;
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, Report);
}
