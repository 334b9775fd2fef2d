// A poster frame from the middle of a 1080p movie, opened each time, paired in one
// run with the ffmpeg tool decoding the same frame to raw pixels; and a camera raw
// file's embedded preview paired with its half-size decode.
#include "BenchMain.h"

#include "Movie.h"
#include "RawDecoder.h"
#include "TestDNG.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>

namespace {

QTemporaryDir& Folder()
{
    static QTemporaryDir folder;
    return folder;
}

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kMovieSeconds = 10;

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

void OpenAndPosterFrame()
{
    const auto movie = Movie::Open(MovieFile());
    const Offscreen frame = movie ? movie->FrameAtTime(movie->Duration() / 2) : Offscreen();
    if (frame.IsNull() || frame.Image().width() != kWidth || frame.Image().height() != kHeight)
        CheckTarget("the movie gave its middle frame", false);
}

// The yardstick: the tool opens the same file, seeks to the middle and decodes
// one frame into RGB pixels, written to a pipe.
void FfmpegMiddleFrame()
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", { "-nostdin", "-loglevel", "error", "-ss", QString::number(kMovieSeconds / 2), "-i",
                               MovieFile(), "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "bgra", "-" });
    ffmpeg.waitForFinished(60000);
    const qint64 bytes = ffmpeg.readAllStandardOutput().size();
    if (bytes != qint64(kWidth) * kHeight * 4)
        CheckTarget("ffmpeg gave the middle frame", false, std::to_string(bytes) + " bytes");
}

void BM_PosterFrameAgainstFfmpeg(benchmark::State& state)
{
    BenchmarkPaired(state, "open a 1080p movie and take its middle frame / ffmpeg decoding that frame", 1.0, 5,
        OpenAndPosterFrame, FfmpegMiddleFrame);
}
BENCHMARK(BM_PosterFrameAgainstFfmpeg)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

void RawEmbeddedPreview()
{
    const RawDecoder::Preview preview = RawDecoder::ExtractPreview(RawFile());
    if (preview.jpeg.isEmpty() && preview.image.isNull())
        CheckTarget("the raw file gave its preview", false);
}

void RawHalfSizeDecode()
{
    RawDecoder::Options options;
    options.halfSize = true;
    const QImage image = RawDecoder::Decode(RawFile(), options, false);
    if (image.width() != 1500 || image.height() != 1000)
        CheckTarget("the raw file decoded at half size", false,
            std::to_string(image.width()) + "x" + std::to_string(image.height()));
}

void BM_RawPreviewAgainstHalfSizeDecode(benchmark::State& state)
{
    // The preview is read as stored: a small part of decoding the sensor data.
    BenchmarkPaired(state, "raw file's embedded preview / its half-size decode", 0.25, 5,
        RawEmbeddedPreview, RawHalfSizeDecode);
}
BENCHMARK(BM_RawPreviewAgainstHalfSizeDecode)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv);
}
