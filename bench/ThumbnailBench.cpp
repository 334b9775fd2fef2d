// Thumbnails of 200 camera-size JPEGs (24 MP), one by one and on the worker
// pool, against vipsthumbnail on the same files in the same run.
#include "BenchMain.h"

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

constexpr int kFiles = 200;
constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Made once and kept between runs: writing 200 camera-size JPEGs takes a while.
QString CacheFolder()
{
    QString folder = qEnvironmentVariable("ORVEX_BENCH_CACHE");
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/orvex-bench";
    return folder + QStringLiteral("/jpeg-%1x%2").arg(kWidth).arg(kHeight);
}

// Something like a photograph for the encoder: smooth gradients, shapes and
// a little sensor noise, different in every file.
QImage MakePhoto(int index)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, kWidth, kHeight);
    sky.setColorAt(0, QColor::fromHsv((index * 37) % 360, 120, 230));
    sky.setColorAt(1, QColor::fromHsv((index * 37 + 140) % 360, 200, 90));
    p.fillRect(image.rect(), sky);
    QRandomGenerator random(quint32(index + 1));
    for (int i = 0; i < 60; ++i) {
        p.setBrush(QColor::fromHsv(random.bounded(360), random.bounded(255), random.bounded(255)));
        p.setPen(Qt::NoPen);
        p.drawEllipse(random.bounded(kWidth), random.bounded(kHeight), 100 + random.bounded(1500), 100 + random.bounded(1500));
    }
    p.end();
    for (int y = 0; y < kHeight; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const int n = int(random.generate() & 15) - 8;
            const QRgb c = line[x];
            line[x] = qRgb(qBound(0, qRed(c) + n, 255), qBound(0, qGreen(c) + n, 255), qBound(0, qBlue(c) + n, 255));
        }
    }
    return image;
}

const std::vector<QString>& Files()
{
    static const std::vector<QString> files = [] {
        QDir().mkpath(CacheFolder());
        std::vector<QString> paths;
        for (int i = 0; i < kFiles; ++i)
            paths.push_back(QDir(CacheFolder()).filePath(QStringLiteral("IMG_%1.JPG").arg(i + 1, 4, 10, QChar('0'))));
        std::vector<std::thread> makers;
        const unsigned threads = std::max(2u, std::thread::hardware_concurrency());
        for (unsigned t = 0; t < threads; ++t) {
            makers.emplace_back([&, t] {
                for (int i = int(t); i < kFiles; i += int(threads)) {
                    if (QFile::exists(paths[i]))
                        continue;
                    const QString partial = paths[i] + ".part";
                    if (MakePhoto(i).save(partial, "JPEG", 92))
                        QFile::rename(partial, paths[i]);
                }
            });
        }
        for (auto& maker : makers)
            maker.join();
        return paths;
    }();
    return files;
}

std::vector<ThumbnailRequest> Requests()
{
    std::vector<ThumbnailRequest> requests;
    for (const QString& path : Files()) {
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
        for (const QString& path : Files()) {
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
    for (const QString& path : Files())
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
    return RunBenchmarks(argc, argv, [] { Files(); }, ReportRatio);
}
