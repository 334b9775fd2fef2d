// Downloads and uploads against the curl command on the same loopback servers,
// interleaved pair by pair in one run: 200 files of 1 MiB over HTTP four at a
// time (target within 1.2x of `xargs -P4 curl -sO`), one 500 MB file (within
// 1.1x of `curl -o`, resident memory growing less than 64 MB), and 100 files
// uploaded by FTP four at a time (within 1.2x of `xargs -P4 curl -T`). The GUI
// thread must never stall more than 100 ms meanwhile. A missed target fails the run.
#include "BenchMain.h"

#include "AliasRecord.h"
#include "CInternetTask.h"
#include "CVisualTask.h"
#include "FileRef.h"
#include "LThread.h"
#include "NetTestServers.h"
#include "Preferences.h"
#include "URegistrar.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

struct BenchSeconds {
    double total = 0;
    int runs = 0;
    void Add(Clock::duration elapsed)
    {
        total += std::chrono::duration<double>(elapsed).count();
        ++runs;
    }
    double Mean() const { return runs ? total / runs : 0; }
};

constexpr int kSmallFiles = 200;
constexpr qint64 kSmallSize = 1024 * 1024;
constexpr qint64 kLargeSize = 500LL * 1024 * 1024;
constexpr int kUploads = 100;
constexpr qint64 kUploadSize = 1024 * 1024;

QString gRoot; // under the build folder
std::unique_ptr<LocalServer> gHttp, gFtp;
BenchSeconds gOursSmall, gCurlSmall, gOursLarge, gCurlLarge, gOursUp, gCurlUp;
double gWorstStallMs = 0;
double gWorstGrowthMB = 0;
bool gFailed = false;

QString Served(const QString& path)
{
    return gRoot + QStringLiteral("/served/") + path;
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

void FreshFolder(const QString& path)
{
    QDir(path).removeRecursively();
    QDir().mkpath(path);
}

// Runs the scheduler until no task is left, keeping the longest the GUI thread
// went without coming back to its loop.
void RunTasksToEnd()
{
    while (!CVisualTask::GetAllTasks().empty()) {
        const auto start = Clock::now();
        LThread::RunUntil([] { return CVisualTask::GetAllTasks().empty(); }, 20);
        QCoreApplication::processEvents();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count() - 20;
        gWorstStallMs = std::max(gWorstStallMs, ms);
    }
}

double ResidentMB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

void RunCurl(benchmark::State& state, const QString& command, BenchSeconds& seconds)
{
    const auto start = Clock::now();
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (!shell.waitForFinished(600000) || shell.exitCode() != 0)
        state.SkipWithError("curl failed");
    seconds.Add(Clock::now() - start);
}

void SetDownloadFolder(const QString& folder)
{
    QByteArray alias;
    NewAliasBytes(nullptr, FileRef(folder), alias);
    SetPrefHandle(QStringLiteral("DownloadFolderAlias"), alias);
}

bool SameFiles(const QString& folder, int count, qint64 size)
{
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden);
    return files.size() == count
        && std::all_of(files.begin(), files.end(), [size](const QFileInfo& f) { return f.size() == size; });
}

void SmallFilesOverHttp(benchmark::State& state)
{
    const QString ours = gRoot + QStringLiteral("/ours");
    const QString theirs = gRoot + QStringLiteral("/curl");
    for (auto _ : state) {
        FreshFolder(ours);
        FreshFolder(theirs);
        SetDownloadFolder(ours);
        const auto start = Clock::now();
        for (int i = 0; i < kSmallFiles; ++i)
            StartDownloadTaskForURL(gHttp->URL("http", QStringLiteral("/files/small/f%1.bin").arg(i)), nullptr, nullptr, nullptr);
        RunTasksToEnd();
        gOursSmall.Add(Clock::now() - start);
        RunCurl(state, QStringLiteral("cd '%1' && xargs -P4 -n1 curl -sfO < '%2'").arg(theirs, gRoot + "/small-urls.txt"), gCurlSmall);
        if (!SameFiles(ours, kSmallFiles, kSmallSize) || !SameFiles(theirs, kSmallFiles, kSmallSize))
            state.SkipWithError("files missing or cut");
    }
}
BENCHMARK(SmallFilesOverHttp)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

void LargeFileOverHttp(benchmark::State& state)
{
    const QString ours = gRoot + QStringLiteral("/ours");
    const QString theirs = gRoot + QStringLiteral("/curl");
    for (auto _ : state) {
        FreshFolder(ours);
        FreshFolder(theirs);
        SetDownloadFolder(ours);
        QFile clear(QStringLiteral("/proc/self/clear_refs")); // resets the peak
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        clear.close();
        const double before = ResidentMB("VmRSS:");
        const auto start = Clock::now();
        StartDownloadTaskForURL(gHttp->URL("http", QStringLiteral("/files/large.bin")), nullptr, nullptr, nullptr);
        RunTasksToEnd();
        gOursLarge.Add(Clock::now() - start);
        gWorstGrowthMB = std::max(gWorstGrowthMB, ResidentMB("VmHWM:") - before);
        RunCurl(state, QStringLiteral("curl -sf -o '%1/large.bin' '%2'").arg(theirs, gHttp->URL("http", "/files/large.bin").toString()),
            gCurlLarge);
        if (!SameFiles(ours, 1, kLargeSize) || !SameFiles(theirs, 1, kLargeSize))
            state.SkipWithError("file missing or cut");
    }
}
BENCHMARK(LargeFileOverHttp)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

void UploadsOverFtp(benchmark::State& state)
{
    std::vector<QByteArray> aliases;
    for (int i = 0; i < kUploads; ++i) {
        QByteArray alias;
        NewAliasBytes(nullptr, FileRef(gRoot + QStringLiteral("/up/u%1.bin").arg(i)), alias);
        aliases.push_back(alias);
    }
    const QUrl ours = gFtp->URL("ftp", "/ours/", "user", "secret");
    const QUrl theirs = gFtp->URL("ftp", "/curl/", "user", "secret");
    for (auto _ : state) {
        FreshFolder(Served("ours"));
        FreshFolder(Served("curl"));
        const auto start = Clock::now();
        for (const QByteArray& alias : aliases)
            StartUploadTaskForURL(ours, &alias);
        RunTasksToEnd();
        gOursUp.Add(Clock::now() - start);
        RunCurl(state, QStringLiteral("cd '%1/up' && ls | xargs -P4 -I{} curl -sf -T {} '%2'").arg(gRoot, theirs.toString()),
            gCurlUp);
        if (!SameFiles(Served("ours"), kUploads, kUploadSize) || !SameFiles(Served("curl"), kUploads, kUploadSize))
            state.SkipWithError("uploads missing or cut");
    }
}
BENCHMARK(UploadsOverFtp)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

void Prepare()
{
    gRoot = QStringLiteral(ORVEX_BENCH_NET_DIR);
    QFile urls(gRoot + QStringLiteral("/small-urls.txt"));
    for (int i = 0; i < kSmallFiles; ++i)
        MakeFile(Served(QStringLiteral("small/f%1.bin").arg(i)), kSmallSize);
    MakeFile(Served(QStringLiteral("large.bin")), kLargeSize);
    for (int i = 0; i < kUploads; ++i)
        MakeFile(gRoot + QStringLiteral("/up/u%1.bin").arg(i), kUploadSize);
    gHttp = std::make_unique<LocalServer>(QStringLiteral("http_server.py"), Served(QString()));
    gFtp = std::make_unique<LocalServer>(QStringLiteral("ftp_server.py"), Served(QString()));
    urls.open(QIODevice::WriteOnly);
    for (int i = 0; i < kSmallFiles; ++i)
        urls.write(gHttp->URL("http", QStringLiteral("/files/small/f%1.bin").arg(i)).toEncoded() + '\n');
    urls.close();

    URegistrar::RegisterFrameworkClasses();
    SetPrefNumber(QStringLiteral("NumberParallelDownloads"), 4);
    SetPrefNumber(QStringLiteral("NumberParallelTasks"), 8);
    SetPrefBoolean(QStringLiteral("FTPPassiveMode"), true);
    SetPrefBoolean(QStringLiteral("PlayCompletionSound"), false);
    InitializeTasks();
}

void Check(const char* what, double ours, double curl, double target)
{
    const double ratio = curl > 0 ? ours / curl : 0;
    const bool met = ratio > 0 && ratio <= target;
    gFailed = gFailed || !met;
    std::printf("  %-34s ours %6.2f s, curl %6.2f s: %.2fx (target <= %.1fx)%s\n", what, ours, curl, ratio, target,
        met ? "" : "  MISSED");
}

void Report()
{
    std::printf("\nTransfers against curl (means of interleaved pairs):\n");
    Check("200 x 1 MiB over HTTP, 4 at once", gOursSmall.Mean(), gCurlSmall.Mean(), 1.2);
    Check("500 MB over HTTP", gOursLarge.Mean(), gCurlLarge.Mean(), 1.1);
    Check("100 x 1 MiB uploaded by FTP, 4 at once", gOursUp.Mean(), gCurlUp.Mean(), 1.2);
    const bool memoryMet = gWorstGrowthMB < 64;
    const bool stallMet = gWorstStallMs <= 100;
    std::printf("  resident memory growth on 500 MB: %.1f MB (target < 64)%s\n", gWorstGrowthMB, memoryMet ? "" : "  MISSED");
    std::printf("  longest GUI-thread stall: %.0f ms (target <= 100)%s\n", gWorstStallMs, stallMet ? "" : "  MISSED");
    TerminateTasks();
    gHttp.reset();
    gFtp.reset();
    if (gFailed || !memoryMet || !stallMet)
        std::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, Report);
}
