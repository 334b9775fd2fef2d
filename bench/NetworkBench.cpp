// Downloads and uploads against the curl command on the same loopback servers,
// interleaved pair by pair in one run: 200 files of 1 MiB over HTTP four at a
// time (target within 1.2x of one `curl --parallel --parallel-max 4` process),
// one 500 MB file (within 1.1x of `curl -o`, resident memory growing less than
// 64 MB), and 100 files uploaded by FTP four at a time (within 1.2x of one
// `curl --parallel --parallel-max 4 -T` process). The GUI
// thread must never stall more than 100 ms meanwhile. A missed target fails the run.
#include "BenchMain.h"
#include "BenchTransfers.h"

#include "AliasRecord.h"
#include "CInternetTask.h"
#include "CVisualTask.h"
#include "FileRef.h"
#include "LThread.h"
#include "NetTestServers.h"
#include "Preferences.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPairs = 9;
constexpr int kSmallFiles = 200;
constexpr qint64 kSmallSize = 1024 * 1024;
constexpr qint64 kLargeSize = 500LL * 1024 * 1024;
constexpr int kUploads = 100;
constexpr qint64 kUploadSize = 1024 * 1024;

QString gRoot; // under the build folder
std::unique_ptr<LocalServer> gHttp, gFtp;
double gWorstStallMs = 0;
const char* gWorstStallStep = "";

QString Served(const QString& path)
{
    return gRoot + QStringLiteral("/served/") + path;
}
QString Ours()
{
    return gRoot + QStringLiteral("/ours");
}
QString Theirs()
{
    return gRoot + QStringLiteral("/curl");
}

void MakeFile(const QString& path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.exists() && file.size() == size)
        return;
    file.open(QIODevice::WriteOnly);
    QByteArray block(1024 * 1024, 'o');
    for (qint64 done = 0; done < size; done += block.size()) {
        block[0] = char(done / block.size());
        file.write(block.constData(), std::min<qint64>(block.size(), size - done));
    }
}

// Empties the folders both sides write to, and writes out what the last pair
// left in the page cache: neither side's run then pays for the other's writes.
void FreshFolders()
{
    for (const QString& folder : {Ours(), Theirs(), Served(QStringLiteral("up-ours")), Served(QStringLiteral("up-curl"))}) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
    }
    ::sync();
}

// Runs the scheduler until no task is left, keeping the longest time the GUI
// thread went without coming back to its loop.
void RunTasksToEnd(const char* step)
{
    while (!CVisualTask::GetAllTasks().empty()) {
        const auto start = Clock::now();
        LThread::RunUntil([] { return CVisualTask::GetAllTasks().empty(); }, 20);
        QCoreApplication::processEvents();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count() - 20;
        if (ms > gWorstStallMs) {
            gWorstStallMs = ms;
            gWorstStallStep = step;
        }
    }
}

void CheckFiles(const char* what, const QString& folder, int count, qint64 size)
{
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden);
    const bool whole = files.size() == count
        && std::all_of(files.begin(), files.end(), [size](const QFileInfo& f) { return f.size() == size; });
    if (!whole)
        CheckTarget(what, false, QStringLiteral("%1 files in %2").arg(files.size()).arg(folder).toStdString());
}

void SmallFilesOverHttp(benchmark::State& state)
{
    for (auto _ : state) {
        const PairedTimes times = RunPaired(
            kPairs,
            [] {
                for (int i = 0; i < kSmallFiles; ++i)
                    StartDownloadTaskForURL(gHttp->URL("http", QStringLiteral("/files/small/f%1.bin").arg(i)), nullptr,
                        nullptr, nullptr);
                RunTasksToEnd("downloading 200 files");
                CheckFiles("200 files downloaded whole", Ours(), kSmallFiles, kSmallSize);
            },
            [] {
                // One process for them all, as the program is one: a process started per
                // file would charge curl its start-up 200 times.
                RunShell(QStringLiteral("cd '%1' && sed 's|.*|url = \"&\"|' '%2/small-urls.txt' "
                                        "| curl -sf --parallel --parallel-max 4 --remote-name-all -K -")
                             .arg(Theirs(), gRoot));
                CheckFiles("curl downloaded 200 files", Theirs(), kSmallFiles, kSmallSize);
            },
            FreshFolders);
        state.SetIterationTime(times.MedianA());
        CheckRatio("200 x 1 MiB over HTTP, 4 at once / curl --parallel-max 4", times, 1.2);
    }
}
BENCHMARK(SmallFilesOverHttp)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

void LargeFileOverHttp(benchmark::State& state)
{
    for (auto _ : state) {
        double worstGrowth = 0;
        const PairedTimes times = RunPaired(
            kPairs,
            [&worstGrowth] {
                ResetPeakMemory();
                const double before = ProcessStatusMB("VmRSS:");
                StartDownloadTaskForURL(gHttp->URL("http", QStringLiteral("/files/large.bin")), nullptr, nullptr, nullptr);
                RunTasksToEnd("downloading 500 MB");
                worstGrowth = std::max(worstGrowth, ProcessStatusMB("VmHWM:") - before);
                CheckFiles("500 MB downloaded whole", Ours(), 1, kLargeSize);
            },
            [] {
                RunShell(QStringLiteral("curl -sf -o '%1/large.bin' '%2'")
                             .arg(Theirs(), gHttp->URL("http", QStringLiteral("/files/large.bin")).toString()));
                CheckFiles("curl downloaded 500 MB", Theirs(), 1, kLargeSize);
            },
            FreshFolders);
        state.SetIterationTime(times.MedianA());
        CheckRatio("500 MB over HTTP / curl -o", times, 1.1);
        CheckTarget("resident memory grows less than 64 MB on 500 MB", worstGrowth < 64,
            QStringLiteral("%1 MB").arg(worstGrowth, 0, 'f', 1).toStdString());
    }
}
BENCHMARK(LargeFileOverHttp)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

void UploadsOverFtp(benchmark::State& state)
{
    std::vector<QByteArray> aliases;
    for (int i = 0; i < kUploads; ++i) {
        QByteArray alias;
        NewAliasBytes(nullptr, FileRef(gRoot + QStringLiteral("/up/u%1.bin").arg(i)), alias);
        aliases.push_back(alias);
    }
    for (auto _ : state) {
        const PairedTimes times = RunPaired(
            kPairs,
            [&aliases] {
                const QUrl folder = gFtp->URL("ftp", QStringLiteral("/up-ours/"), "user", "secret");
                for (const QByteArray& alias : aliases)
                    StartUploadTaskForURL(folder, &alias);
                RunTasksToEnd("uploading 100 files");
                CheckFiles("100 files uploaded whole", Served(QStringLiteral("up-ours")), kUploads, kUploadSize);
            },
            [] {
                const QUrl folder = gFtp->URL("ftp", QStringLiteral("/up-curl/"), "user", "secret");
                // Each file paired with the folder's address, all in one curl process.
                RunShell(QStringLiteral("cd '%1/up' && ls | sed 's|.*|upload-file = \"&\"\\nurl = \"%2\"|' "
                                        "| curl -sf --parallel --parallel-max 4 -K -")
                             .arg(gRoot, folder.toString()));
                CheckFiles("curl uploaded 100 files", Served(QStringLiteral("up-curl")), kUploads, kUploadSize);
            },
            FreshFolders);
        state.SetIterationTime(times.MedianA());
        CheckRatio("100 x 1 MiB uploaded by FTP, 4 at once / curl --parallel-max 4 -T", times, 1.2);
    }
}
BENCHMARK(UploadsOverFtp)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

void Prepare()
{
    gRoot = QStringLiteral(ORVEX_BENCH_NET_DIR);
    for (int i = 0; i < kSmallFiles; ++i)
        MakeFile(Served(QStringLiteral("small/f%1.bin").arg(i)), kSmallSize);
    MakeFile(Served(QStringLiteral("large.bin")), kLargeSize);
    for (int i = 0; i < kUploads; ++i)
        MakeFile(gRoot + QStringLiteral("/up/u%1.bin").arg(i), kUploadSize);
    gHttp = std::make_unique<LocalServer>(QStringLiteral("http_server.py"), Served(QString()));
    gFtp = std::make_unique<LocalServer>(QStringLiteral("ftp_server.py"), Served(QString()));
    QFile urls(gRoot + QStringLiteral("/small-urls.txt"));
    urls.open(QIODevice::WriteOnly);
    for (int i = 0; i < kSmallFiles; ++i)
        urls.write(gHttp->URL("http", QStringLiteral("/files/small/f%1.bin").arg(i)).toEncoded() + '\n');
    urls.close();
    FreshFolders();

    PrepareTransfersInto(Ours());
    SetPrefNumber(QStringLiteral("NumberParallelDownloads"), 4);
    SetPrefNumber(QStringLiteral("NumberParallelTasks"), 8);
    InitializeTasks();
}

void Report()
{
    CheckTarget("the GUI thread never stalls more than 100 ms", gWorstStallMs <= 100,
        QStringLiteral("longest %1 ms, %2")
            .arg(gWorstStallMs, 0, 'f', 0)
            .arg(QLatin1String(gWorstStallStep))
            .toStdString());
    TerminateTasks();
    gHttp.reset();
    gFtp.reset();
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, Report);
}
