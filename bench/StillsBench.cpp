// A 160-pixel thumbnail out of a 24-megapixel JPEG through the graphics importer
// (the decoder's DCT scaling), paired in one run with a full decode and a scale
// after; and a thumbnail picture made and drawn, paired with Qt writing and
// reading the same JPEG.

#include "BenchMain.h"

#include "GraphicsImporter.h"
#include "Picture.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <string>

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

// A thumbnail is right when it has its frame's size and the picture's colours
// (not black, not empty).
void CheckThumbnail(const char* what, const QImage& image, QSize size)
{
    const bool drawn = image.size() == size && image.pixel(size.width() / 2, size.height() / 2) != qRgb(0, 0, 0);
    if (!drawn)
        CheckTarget(what, false, std::to_string(image.width()) + "x" + std::to_string(image.height()));
}

void ThumbnailByScaledDecoding()
{
    std::unique_ptr<GraphicsImporter> importer;
    if (GraphicsImporter::OpenData(LargeJpeg(), 'JPEG', importer) != noErr) {
        CheckTarget("the importer opened the JPEG", false);
        return;
    }
    Rect thumb = MakeRect(0, 0, 107, 160);
    importer->SetBoundsRect(&thumb);
    Offscreen world(thumb);
    {
        StOffscreenPort port(world);
        importer->SetGWorld(port.Port());
        importer->Draw();
    }
    CheckThumbnail("the importer drew the thumbnail", world.Image(), QSize(160, 107));
}

void ThumbnailByFullDecodeThenScale()
{
    const QImage full = QImage::fromData(LargeJpeg(), "JPEG");
    const QImage thumb = full.scaled(160, 107, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    CheckThumbnail("the full decode gave the thumbnail", thumb, QSize(160, 107));
}

void BM_ScaledDecodingAgainstFullDecode(benchmark::State& state)
{
    // An eighth of the size needs no more than the DC terms of the blocks.
    BenchmarkPaired(state, "thumbnail by scaled decoding / full decode then scale", 0.35, 5,
        ThumbnailByScaledDecoding, ThumbnailByFullDecodeThenScale);
}
BENCHMARK(BM_ScaledDecodingAgainstFullDecode)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

constexpr int kPictures = 500;

QImage ThumbnailImage()
{
    QImage thumb(160, 107, QImage::Format_RGB32);
    thumb.fill(Qt::darkCyan);
    return thumb;
}

void PicturesAsJpeg()
{
    const QImage thumb = ThumbnailImage();
    for (int i = 0; i < kPictures; ++i) {
        Picture picture = Picture::FromImageAsJPEG(thumb, MakeRect(0, 0, 107, 160), 0x300);
        QImage back;
        picture.Render(back);
        if (i == 0)
            CheckThumbnail("the picture draws its JPEG", back, thumb.size());
    }
}

void QtJpegsWrittenAndRead()
{
    const QImage thumb = ThumbnailImage();
    for (int i = 0; i < kPictures; ++i) {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        thumb.save(&buffer, "JPEG", 75);
        const QImage back = QImage::fromData(jpeg, "JPEG");
        if (i == 0)
            CheckThumbnail("Qt reads its JPEG back", back, thumb.size());
    }
}

void BM_ThumbnailPictureAgainstQtJpeg(benchmark::State& state)
{
    // The picture's wrapping around the JPEG data costs little beside the codec.
    BenchmarkPaired(state, "thumbnail picture made and drawn / Qt writing and reading the JPEG", 1.5, 5,
        PicturesAsJpeg, QtJpegsWrittenAndRead);
}
BENCHMARK(BM_ThumbnailPictureAgainstQtJpeg)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv);
}
