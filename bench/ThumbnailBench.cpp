// Thumbnails of 200 camera-size JPEGs (24 MP), one by one and on the worker
// pool, against vipsthumbnail on the same files in the same run.
#include "BenchMain.h"
#include "CameraJpegs.h"

#include "CIndexItem.h"
#include "ItemThumbnails.h"
#include "ThumbnailMaker.h"
#include "WorkerPool.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int kFiles = kCameraJpegCount;

std::vector<ThumbnailRequest> Requests()
{
    std::vector<ThumbnailRequest> requests;
    for (const QString& path : CameraJpegFiles()) {
        ThumbnailRequest r;
        r.path = path;
        r.fileType = 'JPEG';
        requests.push_back(r);
    }
    return requests;
}

// Images per second over all iterations of each benchmark, for the closing ratio.
struct Rate {
    double images = 0;
    double seconds = 0;
    void Add(std::chrono::steady_clock::duration elapsed)
    {
        images += kFiles;
        seconds += std::chrono::duration<double>(elapsed).count();
    }
    double PerSecond() const { return seconds > 0 ? images / seconds : 0; }
};
Rate gOneByOne, gPooled, gItems, gVips;

void ThumbnailsOneByOne(benchmark::State& state)
{
    const auto requests = Requests();
    const ThumbnailSettings settings;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const auto& request : requests) {
            ThumbnailResult result = MakeThumbnail(request, settings);
            if (result.status != noErr)
                state.SkipWithError("a thumbnail failed");
            benchmark::DoNotOptimize(result);
        }
        gOneByOne.Add(std::chrono::steady_clock::now() - start);
    }
    state.counters["images/s"] = benchmark::Counter(double(kFiles) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(ThumbnailsOneByOne)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void ThumbnailsPooled(benchmark::State& state)
{
    const auto requests = Requests();
    const ThumbnailSettings settings;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::vector<ThumbnailResult> results = MakeThumbnails(requests, settings);
        gPooled.Add(std::chrono::steady_clock::now() - start);
        for (const auto& result : results)
            if (result.status != noErr)
                state.SkipWithError("a thumbnail failed");
        benchmark::DoNotOptimize(results);
    }
    state.counters["images/s"] = benchmark::Counter(double(kFiles) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(ThumbnailsPooled)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

// What the cache and update tasks do: new items for the files, their
// thumbnails made in one batch and set on them (metadata read as well).
void ItemThumbnailsPooled(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::unique_ptr<CIndexItem>> items;
        std::vector<CIndexItem*> pointers;
        for (const QString& path : CameraJpegFiles()) {
            items.push_back(std::make_unique<CIndexItem>(QUrl::fromLocalFile(path)));
            pointers.push_back(items.back().get());
        }
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        std::vector<OSStatus> codes = CreateThumbnails(pointers, false);
        gItems.Add(std::chrono::steady_clock::now() - start);
        for (OSStatus code : codes)
            if (code != noErr)
                state.SkipWithError("an item's thumbnail failed");
    }
    state.counters["images/s"] = benchmark::Counter(double(kFiles) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(ItemThumbnailsPooled)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

void Vipsthumbnail(benchmark::State& state)
{
    QStringList arguments { "-s", "160" };
    QTemporaryDir out;
    arguments << "-o" << out.filePath("%s.jpg");
    for (const QString& path : CameraJpegFiles())
        arguments << path;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        QProcess vips;
        vips.start("vipsthumbnail", arguments);
        if (!vips.waitForFinished(600000) || vips.exitCode() != 0) {
            state.SkipWithError("vipsthumbnail did not run (Debian package libvips-tools)");
            return;
        }
        gVips.Add(std::chrono::steady_clock::now() - start);
    }
    state.counters["images/s"] = benchmark::Counter(double(kFiles) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(Vipsthumbnail)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

void ReportRatio()
{
    if (gVips.PerSecond() > 0 && gPooled.PerSecond() > 0) {
        std::printf("\nThumbnails per second: one by one %.1f, pooled %.1f, items pooled %.1f (%u workers), "
                    "vipsthumbnail -s 160 %.1f\n",
            gOneByOne.PerSecond(), gPooled.PerSecond(), gItems.PerSecond(), WorkerPool::ThreadCount(), gVips.PerSecond());
        std::printf("pooled / vipsthumbnail = %.2f; items pooled / vipsthumbnail = %.2f\n",
            gPooled.PerSecond() / gVips.PerSecond(), gItems.PerSecond() / gVips.PerSecond());
    }
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, [] { CameraJpegFiles(); }, ReportRatio);
}
