// Poster frames of a 1080p movie, and a camera raw file's embedded preview against its
// half-size decode.
#include "BenchMain.h"

#include "Movie.h"
#include "RawDecoder.h"
#include "TestDNG.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QTemporaryDir& Folder()
{
    static QTemporaryDir folder;
    return folder;
}

const QString& MovieFile()
{
    static const QString path = [] {
        const QString file = Folder().filePath("1080p.mp4");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", { "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                   "testsrc2=size=1920x1080:rate=25:duration=10", "-pix_fmt", "yuv420p", "-g", "50", file });
        ffmpeg.waitForFinished(300000);
        return file;
    }();
    return path;
}

const QString& RawFile()
{
    static const QString path = WriteTestDNG(Folder().filePath("sensor.dng"), 3000, 2000, 480);
    return path;
}

void PosterFrame1080p(benchmark::State& state)
{
    const auto movie = Movie::Open(MovieFile());
    movie->SetPosterTime(movie->Duration() / 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(movie->PosterFrame());
}
BENCHMARK(PosterFrame1080p)->Unit(benchmark::kMillisecond);

void OpenAndPosterFrame1080p(benchmark::State& state)
{
    for (auto _ : state) {
        const auto movie = Movie::Open(MovieFile());
        benchmark::DoNotOptimize(movie->FrameAtTime(movie->Duration() / 2));
    }
}
BENCHMARK(OpenAndPosterFrame1080p)->Unit(benchmark::kMillisecond);

void RawEmbeddedPreview(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(RawDecoder::ExtractPreview(RawFile()));
}
BENCHMARK(RawEmbeddedPreview)->Unit(benchmark::kMillisecond);

void RawHalfSizeDecode(benchmark::State& state)
{
    RawDecoder::Options options;
    options.halfSize = true;
    for (auto _ : state)
        benchmark::DoNotOptimize(RawDecoder::Decode(RawFile(), options, false));
}
BENCHMARK(RawHalfSizeDecode)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv);
}
