// Thumbnails of camera-size JPEGs (24 MP) on the worker pool, against
// vipsthumbnail on the same files in the same run: three sets of files as
// cameras write them (plain, with an ICC profile, with an EXIF thumbnail).
// vipsthumbnail runs as many processes as there are workers, and once as a
// single process. Every thumbnail made is checked for its size and content.
#include "BenchMain.h"
#include "CameraJpegs.h"

#include "CIndexItem.h"
#include "ItemThumbnails.h"
#include "ThumbnailMaker.h"
#include "WorkerPool.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr CameraSet kSets[] = { CameraSet::Plain, CameraSet::Profiled, CameraSet::ExifThumbnail };

std::vector<ThumbnailRequest> Requests(CameraSet set)
{
    std::vector<ThumbnailRequest> requests;
    for (const QString& path : CameraJpegFiles(set)) {
        ThumbnailRequest r;
        r.path = path;
        r.fileType = 'JPEG';
        requests.push_back(r);
    }
    return requests;
}

// Images per second over all iterations of one benchmark, for the closing ratios.
struct Rate {
    double images = 0;
    double seconds = 0;
    void Add(std::size_t count, std::chrono::steady_clock::duration elapsed)
    {
        images += double(count);
        seconds += std::chrono::duration<double>(elapsed).count();
    }
    double PerSecond() const { return seconds > 0 ? images / seconds : 0; }
};
std::map<std::string, Rate> gRates;

Rate& RateOf(const char* what, CameraSet set)
{
    return gRates[std::string(what) + " " + CameraSetName(set)];
}

// A thumbnail of the frame the files call for (the picture as stored, never
// turned), with a picture in it rather than one flat colour.
const char* CheckThumbnail(const ThumbnailResult& result)
{
    if (result.status != noErr)
        return "a thumbnail failed";
    const Rect frame = ThumbnailFrame(MakeRect(0, 0, kCameraJpegHeight, kCameraJpegWidth), 160);
    if (result.picture.Frame() != frame)
        return "a thumbnail has the wrong size";
    QImage image;
    if (result.picture.Render(image) != noErr || image.width() != frame.Width() || image.height() != frame.Height())
        return "a thumbnail does not draw";
    double sum = 0, squares = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4) {
            const double v = qGray(image.pixel(x, y));
            sum += v;
            squares += v * v;
        }
    const double n = double((image.height() + 3) / 4) * ((image.width() + 3) / 4);
    if (squares / n - (sum / n) * (sum / n) < 25.0)
        return "a thumbnail is blank";
    return nullptr;
}

void ThumbnailsPooled(benchmark::State& state, CameraSet set, bool useBuiltIn)
{
    const auto requests = Requests(set);
    ThumbnailSettings settings;
    settings.useBuiltInThumbnail = useBuiltIn;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::vector<ThumbnailResult> results = MakeThumbnails(requests, settings);
        RateOf(useBuiltIn ? "pooled" : "pooled-ignoring", set).Add(requests.size(), std::chrono::steady_clock::now() - start);
        for (const auto& result : results)
            if (const char* fault = CheckThumbnail(result)) {
                state.SkipWithError(fault);
                return;
            }
        benchmark::DoNotOptimize(results);
    }
    state.counters["images/s"] = benchmark::Counter(double(requests.size()) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(ThumbnailsPooled, plain, CameraSet::Plain, true)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(ThumbnailsPooled, profiled, CameraSet::Profiled, true)
    ->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(ThumbnailsPooled, exif_thumbnail, CameraSet::ExifThumbnail, true)
    ->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
// "IgnoreBuiltInThumbnail" on: every file decoded.
BENCHMARK_CAPTURE(ThumbnailsPooled, exif_thumbnail_ignored, CameraSet::ExifThumbnail, false)
    ->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

// What the cache and update tasks do: new items for the files, their
// thumbnails made in one batch and set on them (metadata read as well).
void ItemThumbnailsPooled(benchmark::State& state)
{
    const CameraSet set = CameraSet::Plain;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::unique_ptr<CIndexItem>> items;
        std::vector<CIndexItem*> pointers;
        for (const QString& path : CameraJpegFiles(set)) {
            items.push_back(std::make_unique<CIndexItem>(QUrl::fromLocalFile(path)));
            pointers.push_back(items.back().get());
        }
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        std::vector<OSStatus> codes = CreateThumbnails(pointers, false);
        RateOf("items", set).Add(pointers.size(), std::chrono::steady_clock::now() - start);
        for (OSStatus code : codes)
            if (code != noErr)
                state.SkipWithError("an item's thumbnail failed");
    }
    state.counters["images/s"] = benchmark::Counter(double(kCameraJpegCount) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(ItemThumbnailsPooled)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

// vipsthumbnail on the same files: `processes` at once (xargs -P), or one
// process given every file.
void Vipsthumbnail(benchmark::State& state, CameraSet set, bool parallel)
{
    QTemporaryDir out;
    const std::vector<QString>& files = CameraJpegFiles(set);
    const unsigned processes = parallel ? WorkerPool::ThreadCount() : 1;
    const int perProcess = int((files.size() + processes - 1) / processes);
    QByteArray list;
    for (const QString& path : files)
        list += QFile::encodeName(path) + '\0';
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        QProcess vips;
        vips.start("xargs", { "-0", "-P", QString::number(processes), "-n", QString::number(perProcess),
                                "vipsthumbnail", "-s", "160", "-o", out.filePath("%s.jpg") });
        vips.write(list);
        vips.closeWriteChannel();
        if (!vips.waitForFinished(600000) || vips.exitCode() != 0) {
            state.SkipWithError("vipsthumbnail did not run (Debian package libvips-tools)");
            return;
        }
        RateOf(parallel ? "vips-parallel" : "vips-single", set).Add(files.size(), std::chrono::steady_clock::now() - start);
    }
    if (QDir(out.path()).entryList(QDir::Files).size() != int(files.size()))
        state.SkipWithError("vipsthumbnail left some files without a thumbnail");
    state.counters["images/s"] = benchmark::Counter(double(files.size()) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(Vipsthumbnail, plain_parallel, CameraSet::Plain, true)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(Vipsthumbnail, profiled_parallel, CameraSet::Profiled, true)
    ->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(Vipsthumbnail, exif_thumbnail_parallel, CameraSet::ExifThumbnail, true)
    ->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(Vipsthumbnail, plain_single, CameraSet::Plain, false)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void ReportRatios()
{
    std::printf("\nThumbnails per second (%u workers; vipsthumbnail -s 160 in as many processes):\n",
        WorkerPool::ThreadCount());
    for (CameraSet set : kSets) {
        const double ours = RateOf("pooled", set).PerSecond();
        const double vips = RateOf("vips-parallel", set).PerSecond();
        if (ours > 0 && vips > 0)
            std::printf("  %-15s ours %.1f, vipsthumbnail %.1f: ratio %.2f (target >= 1.3%s)\n", CameraSetName(set), ours,
                vips, ours / vips, set == CameraSet::ExifThumbnail ? ", >= 5 with the EXIF thumbnails used" : "");
    }
    const double ignoring = RateOf("pooled-ignoring", CameraSet::ExifThumbnail).PerSecond();
    const double exifVips = RateOf("vips-parallel", CameraSet::ExifThumbnail).PerSecond();
    if (ignoring > 0 && exifVips > 0)
        std::printf("  %-15s ours %.1f with \"IgnoreBuiltInThumbnail\" on: ratio %.2f; the EXIF thumbnails make it %.2fx faster\n",
            CameraSetName(CameraSet::ExifThumbnail), ignoring, ignoring / exifVips,
            RateOf("pooled", CameraSet::ExifThumbnail).PerSecond() / ignoring);
    const double items = RateOf("items", CameraSet::Plain).PerSecond();
    const double single = RateOf("vips-single", CameraSet::Plain).PerSecond();
    const double vips = RateOf("vips-parallel", CameraSet::Plain).PerSecond();
    if (items > 0 && vips > 0)
        std::printf("  items (plain, metadata read too) %.1f: ratio %.2f\n", items, items / vips);
    if (single > 0)
        std::printf("  vipsthumbnail as one process (plain) %.1f: ours / that = %.2f\n", single,
            RateOf("pooled", CameraSet::Plain).PerSecond() / single);
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(
        argc, argv,
        [] {
            for (CameraSet set : kSets)
                CameraJpegFiles(set);
        },
        ReportRatios);
}
