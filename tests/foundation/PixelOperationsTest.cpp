#include "Offscreen.h"
#include "PixelOperations.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <vector>

namespace {

QImage RandomImage(int width, int height, QImage::Format format, quint32 seed)
{
    QImage image(width, height, format);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (qsizetype i = 0; i < image.bytesPerLine(); ++i)
            row[i] = uchar(random.bounded(256));
    }
    if (format == QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_RGB32).convertToFormat(format); // keep pixels valid
    if (format == QImage::Format_Mono)
        image.setColorTable({ qRgb(255, 255, 255), qRgb(0, 0, 0) });
    if (format == QImage::Format_Indexed8) {
        QList<QRgb> table;
        for (int i = 0; i < 256; ++i)
            table.append(qRgb(i, i, i));
        image.setColorTable(table);
    }
    return image;
}

// Pixels compared without row padding.
bool SamePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.depth() != b.depth())
        return false;
    const int bits = a.width() * a.depth();
    for (int y = 0; y < a.height(); ++y) {
        const uchar* ra = a.constScanLine(y);
        const uchar* rb = b.constScanLine(y);
        if (std::memcmp(ra, rb, size_t(bits / 8)) != 0)
            return false;
        if (bits % 8) {
            const uchar mask = uchar(0xFF << (8 - bits % 8));
            if ((ra[bits / 8] & mask) != (rb[bits / 8] & mask))
                return false;
        }
    }
    return true;
}

} // namespace

TEST(SharpenGWorld, ThreeByThreeChangesOnlyTheCentreByTheKernel)
{
    QImage image(3, 3, QImage::Format_ARGB32_Premultiplied);
    image.fill(qRgb(100, 100, 100));
    image.setPixel(1, 1, qRgb(200, 50, 100));
    image.setPixel(1, 0, qRgb(0, 100, 100)); // the pixel above the centre
    Offscreen world(image);
    SharpenGWorld(&world);
    // red: (32*200 - 3*(0+100+100+100) - 4*100) >> 4 = (6400 - 900 - 400) / 16 = 318 -> 255
    // green: (32*50 - 3*400 - 400) >> 4 = 0 -> 0; blue: (3200 - 1200 - 400) >> 4 = 100
    EXPECT_EQ(world.Image().pixel(1, 1), qRgb(255, 0, 100));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            if (x != 1 || y != 1) {
                EXPECT_EQ(world.Image().pixel(x, y), image.pixel(x, y)) << x << "," << y;
            }
        }
    }
}

TEST(SharpenGWorld, DividesTheSumBySixteenAndKeepsAlpha)
{
    QImage image(3, 3, QImage::Format_ARGB32);
    image.fill(qRgba(1, 0, 0, 255));
    image.setPixel(1, 1, qRgba(2, 0, 0, 255));
    Offscreen world(image);
    SharpenGWorld(&world);
    // red: 32*2 - 16*1 = 48 -> 3
    EXPECT_EQ(qRed(world.Image().pixel(1, 1)), 3);
    EXPECT_EQ(qAlpha(world.Image().pixel(1, 1)), 255);
}

TEST(SharpenGWorld, FlatNarrowAndNon32BitImagesAreUnchanged)
{
    QImage flat(16, 9, QImage::Format_ARGB32_Premultiplied);
    flat.fill(qRgb(37, 140, 250));
    Offscreen flatWorld(flat);
    SharpenGWorld(&flatWorld);
    EXPECT_EQ(flatWorld.Image(), flat);

    QImage narrow = RandomImage(2, 7, QImage::Format_ARGB32_Premultiplied, 3);
    Offscreen narrowWorld(narrow);
    SharpenGWorld(&narrowWorld);
    EXPECT_EQ(narrowWorld.Image(), narrow);

    QImage indexed = RandomImage(9, 9, QImage::Format_Indexed8, 4);
    Offscreen indexedWorld(indexed);
    SharpenGWorld(&indexedWorld);
    EXPECT_TRUE(SamePixels(indexedWorld.Image(), indexed));
}

TEST(RotateGWorldQuarterTurn, OneBitRowBecomesAColumnWithItsLeftPixelOnTop)
{
    QImage row(9, 1, QImage::Format_Mono);
    row.setColorTable({ qRgb(255, 255, 255), qRgb(0, 0, 0) });
    row.fill(0);
    row.setPixel(0, 0, 1);
    row.setPixel(8, 0, 1);
    Offscreen world(row, Point { 5, 7 });
    std::unique_ptr<Offscreen> turned = RotateGWorldQuarterTurn(&world);
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->Image().size(), QSize(1, 9));
    EXPECT_EQ(turned->Bounds(), MakeRect(7, 5, 16, 6));
    EXPECT_EQ(turned->Image().pixelIndex(0, 0), 1);
    EXPECT_EQ(turned->Image().pixelIndex(0, 8), 1);
    for (int y = 1; y < 8; ++y)
        EXPECT_EQ(turned->Image().pixelIndex(0, y), 0) << y;
}

TEST(RotateGWorldQuarterTurn, TurnsClockwiseAndFourTurnsGiveBackThePixels)
{
    for (QImage::Format format : { QImage::Format_Mono, QImage::Format_Indexed8, QImage::Format_RGB555,
             QImage::Format_RGB888, QImage::Format_ARGB32_Premultiplied }) {
        QImage image = RandomImage(13, 5, format, 11);
        Offscreen world(image);
        std::unique_ptr<Offscreen> once = RotateGWorldQuarterTurn(&world);
        ASSERT_TRUE(once);
        // Top-left of the source lands at the top-right of the result.
        EXPECT_EQ(once->Image().pixel(4, 0), image.pixel(0, 0)) << format;
        EXPECT_EQ(once->Image().pixel(0, 12), image.pixel(12, 4)) << format;
        std::unique_ptr<Offscreen> turned = std::move(once);
        for (int i = 0; i < 3; ++i)
            turned = RotateGWorldQuarterTurn(turned.get());
        EXPECT_TRUE(SamePixels(turned->Image(), image)) << format;
        EXPECT_TRUE(SamePixels(world.Image(), image)) << "source changed, format " << format;
    }
}

TEST(PixelMaps, SubBytePixelsRotateIntoAClearedDestinationAndMirror)
{
    for (int depth : { 2, 4 }) {
        const int width = 7;
        const int height = 3;
        const int rowBytes = 4;
        std::vector<unsigned char> source(rowBytes * height);
        for (size_t i = 0; i < source.size(); ++i)
            source[i] = static_cast<unsigned char>(i * 37 + 11);
        // A destination full of set bits: the rotation must not OR into it.
        std::vector<unsigned char> destination(rowBytes * width, 0xFF);
        PixelMap from { source.data(), rowBytes, width, height, depth };
        PixelMap to { destination.data(), rowBytes, height, width, depth };
        ASSERT_TRUE(RotatePixelsQuarterTurn(from, to));
        auto pixel = [depth](const std::vector<unsigned char>& bytes, int rowBytes, int x, int y) {
            const int perByte = 8 / depth;
            return (bytes[y * rowBytes + x / perByte] >> (depth * (perByte - 1 - x % perByte))) & ((1 << depth) - 1);
        };
        for (int r = 0; r < height; ++r) {
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(pixel(destination, rowBytes, height - 1 - r, x), pixel(source, rowBytes, x, r));
        }

        std::vector<unsigned char> mirrored = source;
        PixelMap map { mirrored.data(), rowBytes, width, height, depth };
        ASSERT_TRUE(MirrorPixelsHorizontally(map));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(pixel(mirrored, rowBytes, width - 1 - x, y), pixel(source, rowBytes, x, y));
        }
        ASSERT_TRUE(MirrorPixelsHorizontally(map));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(pixel(mirrored, rowBytes, x, y), pixel(source, rowBytes, x, y));
        }
    }
}

TEST(MirrorGWorldHorizontally, ReversesRowsAndTwiceGivesThemBack)
{
    for (QImage::Format format : { QImage::Format_Mono, QImage::Format_Indexed8, QImage::Format_RGB555,
             QImage::Format_ARGB32_Premultiplied }) {
        QImage image = RandomImage(11, 4, format, 21);
        Offscreen world(image);
        ASSERT_EQ(MirrorGWorldHorizontally(&world), noErr);
        EXPECT_EQ(world.Image().pixel(10, 2), image.pixel(0, 2)) << format;
        EXPECT_EQ(world.Image().pixel(0, 3), image.pixel(10, 3)) << format;
        ASSERT_EQ(MirrorGWorldHorizontally(&world), noErr);
        EXPECT_TRUE(SamePixels(world.Image(), image)) << format;
    }
    Offscreen empty;
    EXPECT_EQ(MirrorGWorldHorizontally(&empty), memFullErr);
    EXPECT_EQ(RotateGWorldQuarterTurn(&empty), nullptr);
}
