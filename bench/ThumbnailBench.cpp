// Thumbnails of camera-size JPEGs (24 MP) on the worker pool, against
// vipsthumbnail on the same files in the same run: four sets of files as
// cameras write them (plain, with an ICC profile, with an EXIF thumbnail of the
// picture's shape, with a letterboxed one that must be refused). Each run of
// ours is paired with a run of vipsthumbnail in as many processes as there are
// workers, one straight after the other (taking turns to go first), so that a
// machine loaded by others weighs on both alike; the ratios are given per pair
// as a median and a range. Every thumbnail made is checked for its size and
// content.
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

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr CameraSet kSets[] = { CameraSet::Plain, CameraSet::Profiled, CameraSet::ExifThumbnail, CameraSet::Letterboxed };

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

// Images per second of each run, and the ratios of paired runs.
struct Runs {
    std::vector<double> rates;
    void Add(std::size_t count, double seconds) { rates.push_back(seconds > 0 ? double(count) / seconds : 0); }
    bool Empty() const { return rates.empty(); }
    double Median() const
    {
        std::vector<double> sorted = rates;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        return n == 0 ? 0 : n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
    double Min() const { return rates.empty() ? 0 : *std::min_element(rates.begin(), rates.end()); }
    double Max() const { return rates.empty() ? 0 : *std::max_element(rates.begin(), rates.end()); }
};
std::map<std::string, Runs> gRuns;

Runs& RunsOf(const char* what, CameraSet set)
{
    return gRuns[std::string(what) + " " + CameraSetName(set)];
}

double Seconds(std::chrono::steady_clock::duration elapsed)
{
    return std::chrono::duration<double>(elapsed).count();
}

// A thumbnail of the frame the files call for (the picture as stored, never
// turned), with a picture in it rather than one flat colour, and no black bars.
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
    // A camera preview with black bars must not stand in for the picture.
    for (int y : { 0, image.height() - 1 }) {
        double row = 0;
        for (int x = 0; x < image.width(); ++x)
            row += qGray(image.pixel(x, y));
        if (row / image.width() < 16)
            return "a thumbnail has black bars";
    }
    return nullptr;
}

// vipsthumbnail -s 160 on the files, `processes` at once (xargs -P); the
// seconds it took, or a negative value when it did not run.
double RunVipsthumbnail(const std::vector<QString>& files, unsigned processes, const QString& outFolder)
{
    const int perProcess = int((files.size() + processes - 1) / processes);
    QByteArray list;
    for (const QString& path : files)
        list += QFile::encodeName(path) + '\0';
    const auto start = std::chrono::steady_clock::now();
    QProcess vips;
    vips.start("xargs", { "-0", "-P", QString::number(processes), "-n", QString::number(perProcess), "vipsthumbnail",
                            "-s", "160", "-o", QDir(outFolder).filePath("%s.jpg") });
    vips.write(list);
    vips.closeWriteChannel();
    if (!vips.waitForFinished(600000) || vips.exitStatus() != QProcess::NormalExit || vips.exitCode() != 0)
        return -1;
    const double seconds = Seconds(std::chrono::steady_clock::now() - start);
    if (QDir(outFolder).entryList(QDir::Files).size() != int(files.size()))
        return -1;
    return seconds;
}

// Our pooled batch and vipsthumbnail in as many processes, run in pairs. The
// benchmark's own time is ours.
void PairedThumbnails(benchmark::State& state, CameraSet set, bool useBuiltIn)
{
    const auto requests = Requests(set);
    const std::vector<QString>& files = CameraJpegFiles(set);
    ThumbnailSettings settings;
    settings.useBuiltInThumbnail = useBuiltIn;
    Runs& ours = RunsOf(useBuiltIn ? "ours" : "ours-ignoring", set);
    Runs& vips = RunsOf(useBuiltIn ? "vips" : "vips-ignoring", set);
    Runs& ratios = RunsOf(useBuiltIn ? "ratio" : "ratio-ignoring", set);
    bool oursFirst = true;
    for (auto _ : state) {
        double oursSeconds = 0, vipsSeconds = 0;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == oursFirst) {
                const auto start = std::chrono::steady_clock::now();
                std::vector<ThumbnailResult> results = MakeThumbnails(requests, settings);
                oursSeconds = Seconds(std::chrono::steady_clock::now() - start);
                for (const auto& result : results)
                    if (const char* fault = CheckThumbnail(result)) {
                        state.SkipWithError(fault);
                        return;
                    }
                benchmark::DoNotOptimize(results);
            } else {
                QTemporaryDir out;
                vipsSeconds = RunVipsthumbnail(files, WorkerPool::ThreadCount(), out.path());
                if (vipsSeconds < 0) {
                    state.SkipWithError("vipsthumbnail did not run (Debian package libvips-tools)");
                    return;
                }
            }
        }
        oursFirst = !oursFirst;
        state.SetIterationTime(oursSeconds);
        ours.Add(requests.size(), oursSeconds);
        vips.Add(files.size(), vipsSeconds);
        ratios.rates.push_back(vipsSeconds / oursSeconds);
    }
    state.counters["images/s"] = ours.Median();
    state.counters["vips images/s"] = vips.Median();
    state.counters["ratio"] = ratios.Median();
}
#define ORVEX_PAIRED(name, set, useBuiltIn) \
    BENCHMARK_CAPTURE(PairedThumbnails, name, set, useBuiltIn)->Unit(benchmark::kSecond)->Iterations(5)->UseManualTime()
ORVEX_PAIRED(plain, CameraSet::Plain, true);
ORVEX_PAIRED(profiled, CameraSet::Profiled, true);
ORVEX_PAIRED(fitting_thumbnail, CameraSet::ExifThumbnail, true);
// "IgnoreBuiltInThumbnail" on: every file decoded.
ORVEX_PAIRED(fitting_thumbnail_ignored, CameraSet::ExifThumbnail, false);
ORVEX_PAIRED(letterboxed_thumbnail, CameraSet::Letterboxed, true);

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
        RunsOf("items", set).Add(pointers.size(), Seconds(std::chrono::steady_clock::now() - start));
        for (OSStatus code : codes)
            if (code != noErr)
                state.SkipWithError("an item's thumbnail failed");
    }
    state.counters["images/s"] = benchmark::Counter(double(kCameraJpegCount) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(ItemThumbnailsPooled)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

// vipsthumbnail as one process given every file, for scale.
void VipsthumbnailSingle(benchmark::State& state)
{
    const std::vector<QString>& files = CameraJpegFiles(CameraSet::Plain);
    for (auto _ : state) {
        QTemporaryDir out;
        const double seconds = RunVipsthumbnail(files, 1, out.path());
        if (seconds < 0) {
            state.SkipWithError("vipsthumbnail did not run (Debian package libvips-tools)");
            return;
        }
        state.SetIterationTime(seconds);
        RunsOf("vips-single", CameraSet::Plain).Add(files.size(), seconds);
    }
}
BENCHMARK(VipsthumbnailSingle)->Unit(benchmark::kSecond)->Iterations(1)->UseManualTime();

void PrintPaired(const char* label, const char* ours, const char* vips, const char* ratio, CameraSet set, const char* target)
{
    const Runs& o = RunsOf(ours, set);
    const Runs& v = RunsOf(vips, set);
    const Runs& r = RunsOf(ratio, set);
    if (r.Empty())
        return;
    std::printf("  %-22s ours %6.1f (%.1f-%.1f), vipsthumbnail %5.1f (%.1f-%.1f): ratio %.2f (%.2f-%.2f over %zu pairs; target %s)\n",
        label, o.Median(), o.Min(), o.Max(), v.Median(), v.Min(), v.Max(), r.Median(), r.Min(), r.Max(), r.rates.size(),
        target);
}

void ReportRatios()
{
    std::printf("\nThumbnails per second, medians and ranges of paired runs (%u workers; vipsthumbnail -s 160 in as many "
                "processes):\n",
        WorkerPool::ThreadCount());
    for (CameraSet set : kSets)
        PrintPaired(CameraSetName(set), "ours", "vips", "ratio", set, set == CameraSet::ExifThumbnail ? ">= 5" : ">= 1.3");
    PrintPaired("fitting, ignoring it", "ours-ignoring", "vips-ignoring", "ratio-ignoring", CameraSet::ExifThumbnail,
        ">= 1.3, \"IgnoreBuiltInThumbnail\" on");
    const Runs& items = RunsOf("items", CameraSet::Plain);
    const Runs& vips = RunsOf("vips", CameraSet::Plain);
    if (!items.Empty() && !vips.Empty())
        std::printf("  items (plain, metadata read too) %.1f: ratio to vipsthumbnail's median %.2f\n", items.Median(),
            items.Median() / vips.Median());
    const Runs& single = RunsOf("vips-single", CameraSet::Plain);
    if (!single.Empty() && !RunsOf("ours", CameraSet::Plain).Empty())
        std::printf("  vipsthumbnail as one process (plain) %.1f: ours / that = %.2f\n", single.Median(),
            RunsOf("ours", CameraSet::Plain).Median() / single.Median());
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
