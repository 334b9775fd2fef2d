// The DC-only decoder of small pictures of large JPEGs, against libjpeg's own
// decode at an eighth on every layout it takes, and what it leaves to libjpeg.

#include "GraphicsImporter.h"
#include "ImageSources.h"
#include "ImageTestSupport.h"
#include "JpegEighth.h"
#include "JpegTestFiles.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColorSpace>

#include <cmath>

namespace {

struct Difference {
    int largest = 0;
    double mean = 0;
};

// Per channel, over the whole picture; the sizes must agree.
Difference Compare(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    Difference d;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row), q = y.pixel(column, row);
            for (int delta : { qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q) }) {
                d.largest = std::max(d.largest, std::abs(delta));
                sum += std::abs(delta);
            }
        }
    d.mean = sum / (3.0 * x.width() * x.height());
    return d;
}

} // namespace

TEST(JpegEighth, MatchesTheGeneralDecoderOnEveryLayoutItReads)
{
    // Sides that are no multiple of the blocks or the MCUs.
    const QImage photo = PhotoLike(1001, 667);
    QImage grayPhoto = photo.convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_RGB32);
    struct Case {
        const char* name;
        QImage picture;
        JpegLayout layout;
        int largest; // per channel, against libjpeg
        double mean;
    };
    const Case cases[] = {
        // Each component one pixel per block: the same pixels as libjpeg.
        { "4:4:4", photo, { .lumaH = 1, .lumaV = 1 }, 1, 0.01 },
        { "gray", photo, { .stored = JCS_GRAYSCALE, .lumaH = 1, .lumaV = 1 }, 0, 0 },
        { "gray stored subsampled", photo, { .stored = JCS_GRAYSCALE, .lumaH = 2, .lumaV = 2 }, 0, 0 },
        { "4:4:4, restart every 7 MCUs", photo, { .lumaH = 1, .lumaV = 1, .restartInterval = 7 }, 1, 0.01 },
        { "4:4:4, a scan per component", photo, { .lumaH = 1, .lumaV = 1, .scanPerComponent = true }, 1, 0.01 },
        { "4:4:4, 16-bit quantisers", photo, { .quality = 3, .forceBaseline = false, .lumaH = 1, .lumaV = 1 }, 1, 0.01 },
        // Subsampled chroma: libjpeg's carries detail within its blocks, ours is the
        // blocks' means; neutral colours come out the same.
        { "4:2:0 gray content", grayPhoto, {}, 2, 0.1 },
        { "4:2:0 gray content, restarts, a scan per component", grayPhoto,
            { .restartInterval = 5, .scanPerComponent = true }, 2, 0.1 },
        { "4:2:0", photo, {}, -1, -1 },
        { "4:2:2, restart every row", photo, { .lumaH = 2, .lumaV = 1, .restartInterval = 63 }, -1, -1 },
        { "4:4:0", photo, { .lumaH = 1, .lumaV = 2 }, -1, -1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray jpeg = WriteJpeg(c.picture, c.layout);
        QImage ours;
        ASSERT_TRUE(DecodeJpegEighth(jpeg, QSize(1, 1), ours));
        const QImage reference = LibjpegEighth(jpeg);
        ASSERT_EQ(ours.size(), QSize(126, 84));
        ASSERT_EQ(ours.size(), reference.size());
        EXPECT_EQ(ours.format(), c.layout.stored == JCS_GRAYSCALE ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
        if (c.largest >= 0) {
            const Difference d = Compare(ours, reference);
            EXPECT_LE(d.largest, c.largest);
            EXPECT_LE(d.mean, c.mean);
        } else {
            // At the chroma's own resolution, which is all that is asked of it, the two agree.
            const QSize half(63, 42);
            const Difference d = Compare(ours.scaled(half, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                reference.scaled(half, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
            EXPECT_LE(d.largest, 8);
            EXPECT_LE(d.mean, 0.5);
        }
    }
    // Colour subsampled in the file is not stretched to a size it cannot fill.
    QImage coarse;
    EXPECT_FALSE(DecodeJpegEighth(WriteJpeg(photo, {}), QSize(100, 60), coarse));
    EXPECT_TRUE(DecodeJpegEighth(WriteJpeg(photo, {}), QSize(63, 42), coarse));
    EXPECT_TRUE(DecodeJpegEighth(WriteJpeg(photo, { .lumaH = 1, .lumaV = 1 }), QSize(126, 84), coarse));
    EXPECT_FALSE(DecodeJpegEighth(WriteJpeg(photo, { .lumaH = 1, .lumaV = 1 }), QSize(127, 84), coarse));
}

TEST(JpegEighth, LeavesOtherCodingsAndColourSpacesToTheGeneralDecoder)
{
    const QImage photo = PhotoLike(320, 240);
    QByteArray twelveBit = WriteJpeg(photo, {});
    const qsizetype sof = twelveBit.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    twelveBit[sof + 4] = 12;
    const struct {
        const char* name;
        QByteArray jpeg;
    } cases[] = {
        { "progressive", WriteJpeg(photo, { .progressive = true }) },
        { "arithmetic", WriteJpeg(photo, { .arithmetic = true }) },
        { "RGB", WriteJpeg(photo, { .stored = JCS_RGB, .lumaH = 1, .lumaV = 1 }) },
        { "CMYK", WriteJpeg(photo, { .stored = JCS_CMYK, .lumaH = 1, .lumaV = 1 }) },
        { "12-bit", twelveBit },
        { "not a JPEG", QByteArray("\x89PNG\r\n\x1A\n", 8) },
        { "no frame", QByteArray("\xFF\xD8\xFF\xD9", 4) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QImage out(3, 3, QImage::Format_RGB32);
        out.fill(Qt::red);
        EXPECT_FALSE(DecodeJpegEighth(c.jpeg, QSize(1, 1), out));
        EXPECT_EQ(out.size(), QSize(3, 3)) << "untouched";
    }
}

TEST(JpegEighth, CutOrBentDataDecodesAsFarAsItGoes)
{
    const QByteArray jpeg = WriteJpeg(PhotoLike(640, 480), { .restartInterval = 4 });
    QImage whole;
    ASSERT_TRUE(DecodeJpegEighth(jpeg, QSize(1, 1), whole));
    ASSERT_EQ(whole.size(), QSize(80, 60));

    // Cut in the middle of the scan: the rows before the cut are whole, the last are mid-gray.
    QImage half;
    ASSERT_TRUE(DecodeJpegEighth(jpeg.left(jpeg.size() / 2), QSize(1, 1), half));
    ASSERT_EQ(half.size(), whole.size());
    for (int x = 0; x < whole.width(); ++x) {
        EXPECT_EQ(half.pixel(x, 0), whole.pixel(x, 0));
        EXPECT_EQ(half.pixel(x, whole.height() - 1), qRgb(128, 128, 128));
    }
    EXPECT_FALSE(JpegIsComplete(jpeg.left(jpeg.size() / 2)));

    // Every cut and a flipped byte at many places: a picture of the right size or a refusal, never a crash.
    for (qsizetype at = 0; at < jpeg.size(); at += 997) {
        QImage out;
        if (DecodeJpegEighth(jpeg.left(at), QSize(1, 1), out))
            EXPECT_EQ(out.size(), whole.size());
        QByteArray bent = jpeg;
        bent[at] = char(~bent[at]);
        if (DecodeJpegEighth(bent, QSize(1, 1), out))
            EXPECT_EQ(out.size(), whole.size());
    }
    // A restart marker lost: the intervals after it still land where they belong.
    QByteArray lost = jpeg;
    const qsizetype restart = lost.indexOf(QByteArray("\xFF\xD3", 2));
    ASSERT_GT(restart, 0);
    lost.remove(restart, 2);
    QImage resynced;
    ASSERT_TRUE(DecodeJpegEighth(lost, QSize(1, 1), resynced));
    const int lastRow = whole.height() - 1;
    EXPECT_LE(Compare(resynced.copy(0, lastRow, whole.width(), 1), whole.copy(0, lastRow, whole.width(), 1)).largest, 0);
}

TEST(JpegEighth, SmallPicturesOfLargeFilesComeFromItAndLookTheSame)
{
    const QImage photo = PhotoLike(1600, 1200);
    QColorSpace adobe(QColorSpace::AdobeRgb);
    QImage profiled = photo;
    profiled.setColorSpace(adobe);
    const struct {
        const char* name;
        QByteArray jpeg;
    } cases[] = {
        { "baseline", WriteJpeg(photo, {}) },
        { "progressive", WriteJpeg(photo, { .progressive = true }) },
        { "CMYK", WriteJpeg(photo, { .stored = JCS_CMYK, .lumaH = 1, .lumaV = 1 }) },
        { "written by Qt with a profile", [&] {
             QByteArray bytes;
             QBuffer buffer(&bytes);
             buffer.open(QIODevice::WriteOnly);
             profiled.save(&buffer, "JPEG", 90);
             return bytes;
         }() },
    };
    const QImage expected = photo.scaled(200, 150, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<GraphicsImporter> importer;
        ASSERT_EQ(GraphicsImporter::OpenData(c.jpeg, 'JPEG', importer), noErr);
        QImage small;
        ASSERT_EQ(importer->DecodeImage(QSize(160, 120), small), noErr);
        EXPECT_EQ(small.size(), QSize(160, 120));
        EXPECT_LE(Compare(small, expected.scaled(160, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)).mean, 4.0);
        if (QByteArray(c.name).contains("profile")) {
            // The profile is found in the header and labels the picture as the general decoder would.
            EXPECT_EQ(importer->GetColorProfile(), adobe.iccProfile());
            EXPECT_EQ(small.colorSpace(), adobe);
        }
    }
    // A cut file: the part that decoded is kept and the fault reported.
    const QByteArray cut = cases[0].jpeg.left(cases[0].jpeg.size() * 3 / 4);
    std::unique_ptr<GraphicsImporter> importer;
    ASSERT_EQ(GraphicsImporter::OpenData(cut, 'JPEG', importer), noErr);
    QImage partial;
    EXPECT_EQ(importer->DecodeImage(QSize(160, 120), partial), codecBadDataErr);
    EXPECT_EQ(partial.size(), QSize(160, 120));
}
