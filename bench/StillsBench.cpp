// Time to get a 160-pixel thumbnail image out of a 24-megapixel JPEG: scaled
// decoding (the decoder's DCT scaling) against a full decode and a scale after.

#include "BenchMain.h"

#include "GraphicsImporter.h"
#include "Picture.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

namespace {

const QByteArray& LargeJpeg()
{
    static const QByteArray bytes = [] {
        // 6000 x 4000 with detail everywhere, so the decoder cannot skip work.
        QImage image(6000, 4000, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = qRgb((x * 7 + y) & 0xFF, (x ^ y) & 0xFF, (x * y) & 0xFF);
        }
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", 90);
        return jpeg;
    }();
    return bytes;
}

void BM_ThumbnailByScaledDecoding(benchmark::State& state)
{
    std::unique_ptr<GraphicsImporter> importer;
    for (auto _ : state) {
        GraphicsImporter::OpenData(LargeJpeg(), 'JPEG', importer);
        Rect thumb = MakeRect(0, 0, 107, 160);
        importer->SetBoundsRect(&thumb);
        Offscreen world(thumb);
        {
            StOffscreenPort port(world);
            importer->SetGWorld(port.Port());
            importer->Draw();
        }
        benchmark::DoNotOptimize(world.Image().constBits());
    }
}
BENCHMARK(BM_ThumbnailByScaledDecoding)->Unit(benchmark::kMillisecond);

void BM_ThumbnailByFullDecodeThenScale(benchmark::State& state)
{
    for (auto _ : state) {
        QImage full = QImage::fromData(LargeJpeg(), "JPEG");
        QImage thumb = full.scaled(160, 107, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(thumb.constBits());
    }
}
BENCHMARK(BM_ThumbnailByFullDecodeThenScale)->Unit(benchmark::kMillisecond);

void BM_ThumbnailPictureAsJPEG(benchmark::State& state)
{
    QImage thumb(160, 107, QImage::Format_RGB32);
    thumb.fill(Qt::darkCyan);
    for (auto _ : state) {
        Picture picture = Picture::FromImageAsJPEG(thumb, MakeRect(0, 0, 107, 160), 0x300);
        QImage back;
        picture.Render(back);
        benchmark::DoNotOptimize(back.constBits());
    }
}
BENCHMARK(BM_ThumbnailPictureAsJPEG)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv);
}
