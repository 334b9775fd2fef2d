#include "ImageBands.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <cmath>

namespace {

// A picture with detail everywhere and, in formats that keep it, alpha running
// from clear at the left to opaque at the right.
QImage Detailed(int width, int height, QImage::Format format)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba((x * 7) & 0xFF, (y * 13) & 0xFF, (x * y) & 0xFF, x * 255 / std::max(1, width - 1)));
    return image.convertToFormat(format);
}

double MeanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q))
                + std::abs(qAlpha(p) - qAlpha(q));
        }
    return sum / (4.0 * a.width() * a.height());
}

} // namespace

// Large enough that Qt would split the work over its pool: the bytes are the ones
// Qt gives for the whole image at once.
TEST(ImageBands, ConvertAndDrawGiveQtsOwnBytes)
{
    for (QImage::Format from : { QImage::Format_RGB888, QImage::Format_ARGB32, QImage::Format_Indexed8,
             QImage::Format_Grayscale8 }) {
        SCOPED_TRACE(int(from));
        const QImage source = Detailed(700, 300, from);
        for (QImage::Format to : { QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied })
            EXPECT_EQ(ConvertedInBands(source, to), source.convertToFormat(to));

        QImage whole(640, 330, QImage::Format_ARGB32_Premultiplied);
        whole.fill(Qt::white);
        QImage banded = whole;
        {
            QPainter painter(&whole);
            painter.drawImage(0, 0, source);
        }
        DrawImageInBands(banded, source);
        EXPECT_EQ(banded, whole);
    }
}

TEST(ImageBands, ScalingAveragesShrinksAndEnlargesKeepingFlatAreasAndAlpha)
{
    // Flat stays exactly flat, opaque stays RGB32.
    QImage flat(977, 611, QImage::Format_RGB32);
    flat.fill(qRgb(12, 200, 77));
    const QImage small = ScaledSmoothlyInThisThread(flat, QSize(160, 100));
    ASSERT_EQ(small.size(), QSize(160, 100));
    EXPECT_EQ(small.format(), QImage::Format_RGB32);
    for (QPoint at : { QPoint(0, 0), QPoint(159, 99), QPoint(80, 50) })
        EXPECT_EQ(small.pixel(at), qRgb(12, 200, 77));

    // Shrinking and enlarging come close to Qt's smooth scale of the same picture.
    const QImage detailed = Detailed(900, 600, QImage::Format_RGB32);
    for (QSize size : { QSize(160, 107), QSize(450, 300), QSize(1000, 700) }) {
        SCOPED_TRACE(size.width());
        const QImage ours = ScaledSmoothlyInThisThread(detailed, size);
        ASSERT_EQ(ours.size(), size);
        EXPECT_LT(MeanDifference(ours, detailed.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)), 6.0);
    }

    // Translucent pixels are averaged premultiplied: clear ones add no colour.
    QImage halves(200, 100, QImage::Format_ARGB32);
    halves.fill(qRgba(255, 0, 0, 255));
    for (int y = 0; y < 100; ++y)
        for (int x = 100; x < 200; ++x)
            halves.setPixel(x, y, qRgba(0, 0, 255, 0));
    const QImage two = ScaledSmoothlyInThisThread(halves, QSize(2, 1));
    EXPECT_EQ(two.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(two.pixel(0, 0), qRgba(255, 0, 0, 255));
    EXPECT_EQ(qAlpha(two.pixel(1, 0)), 0);
    const QImage one = ScaledSmoothlyInThisThread(halves, QSize(1, 1));
    EXPECT_EQ(qBlue(one.pixel(0, 0)), 0);
    EXPECT_NEAR(qAlpha(one.pixel(0, 0)), 128, 1);

    EXPECT_TRUE(ScaledSmoothlyInThisThread(flat, QSize(0, 10)).isNull());
}
