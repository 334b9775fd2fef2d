#include "Picture.h"
#include "PictReader.h"

#include "ExceptionCode.h"
#include "GraphicsErrors.h"
#include "Offscreen.h"

#include <gtest/gtest.h>

#include <limits>

namespace {
QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QImage Sample()
{
    QImage image(9, 7, QImage::Format_RGB32);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            image.setPixel(x, y, qRgb(x * 20, y * 30, 100));
    return image;
}
} // namespace

TEST(PictHostile, EveryTruncationOfBothFormsGivesACode)
{
    for (const Picture& whole : { Picture::FromImage(Sample(), MakeRect(0, 0, 7, 9)),
             Picture::FromImageAsJPEG(Sample(), MakeRect(0, 0, 7, 9), codecNormalQuality) }) {
        for (qsizetype cut = 0; cut < whole.Size(); ++cut) {
            QImage image;
            OSStatus status = Picture(whole.Data().left(cut)).Render(image);
            EXPECT_NE(status, noErr) << "cut at " << cut;
        }
    }
}

TEST(PictHostile, LyingLengthsAreRefusedBeforeUse)
{
    const QByteArray opening = Hex("0000 0000 0000 0010 0010 0011 02FF");
    // Compressed-QuickTime opcode claiming four gigabytes.
    QImage image;
    EXPECT_EQ(Picture(opening + Hex("8200 FFFFFFF0 0000 00FF")).Render(image), codecBadDataErr);
    // A long comment longer than the picture.
    EXPECT_EQ(Picture(opening + Hex("00A1 0001 7FFF 00FF")).Render(image), codecBadDataErr);
    // A pixel map of 16383 x 32767 rows: refused, nothing allocated.
    EXPECT_EQ(Picture(opening
                  + Hex("009A 000000FF BFFF 0000 0000 7FFF 3FFF 0000 0004 00000000 00480000 00480000"
                        "0010 0020 0003 0008 00000000 00000000 00000000 0000 0000 0010 0010 0000 0000 0010 0010 0000"))
                  .Render(image),
        codecBadDataErr);
    // A pixel size that does not exist.
    EXPECT_EQ(Picture(opening
                  + Hex("009A 000000FF 8010 0000 0000 0002 0004 0000 0004 00000000 00480000 00480000"
                        "0010 0003 0003 0008 00000000 00000000 00000000 0000 0000 0002 0004 0000 0000 0002 0004 0000"))
                  .Render(image),
        codecBadDataErr);
    // A polygon size that is not a whole number of points.
    EXPECT_EQ(Picture(opening + Hex("0071 000B 0000 0000 0001 0001 0000 00FF")).Render(image), codecBadDataErr);
    // A colour table of 300 entries.
    EXPECT_EQ(Picture(opening
                  + Hex("0098 8004 0000 0000 0002 0004 0000 0000 00000000 00480000 00480000"
                        "0000 0008 0001 0008 00000000 00000000 00000000 00000000 0000 012B"))
                  .Render(image),
        codecBadDataErr);
}

TEST(PictHostile, PackedRowsThatDoNotFillTheirRowGiveACodeAndKeepWhatCameBefore)
{
    // A red rectangle, then a 32-bit image whose only row packs to too few bytes.
    QByteArray data = Hex("0000 0000 0000 0010 0010 0011 02FF"
                          "001A FFFF 0000 0000 0031 0000 0000 0004 0004"
                          "009A 000000FF 8040 0000 0000 0001 0010 0000 0004 00000000 00480000 00480000"
                          "0010 0020 0003 0008 00000000 00000000 00000000"
                          "0000 0000 0001 0010 0008 0000 0009 0010 0000"
                          "02 FF00 00"
                          "00FF");
    QImage image;
    EXPECT_EQ(Picture(data).Render(image), codecBadDataErr);
    EXPECT_EQ(image.pixel(1, 1) & 0xFFFFFF, 0xFF0000u);
}

TEST(PictHostile, GarbageNeverCrashes)
{
    QByteArray base = Picture::FromImage(Sample(), MakeRect(0, 0, 7, 9)).Data();
    // Flip every byte past the header in turn: whatever comes out, no crash and no hang.
    for (qsizetype i = 10; i < base.size(); ++i) {
        QByteArray bent = base;
        bent[i] = char(bent[i] ^ 0xA5);
        QImage image;
        Picture(bent).Render(image);
    }
    EXPECT_EQ(FindPictStart(QByteArray(20, '\0')), -1);
}

TEST(PictHostile, DecodedSizeIsLimitedBeforeAnythingIsAllocated)
{
    // A canvas of 32,000 x 16,000 (2 GB) is refused by the default limit.
    EXPECT_EQ(CatchCode([] { Offscreen huge(MakeRect(0, 0, 16000, 32000), 32); }), memFullErr);
    EXPECT_FALSE(DecodedImageFits(32000, 16000));
    EXPECT_TRUE(DecodedImageFits(16000, 16000));
    EXPECT_FALSE(DecodedImageFits(0, 10));
    EXPECT_FALSE(DecodedImageFits(0x7FFFFFFF, 0x7FFFFFFF));

    // Under a lower limit, a picture whose pixel image is larger fails to draw
    // (direct pixels of every packing kind), and one that fits draws.
    const QImage image = QImage(300, 200, QImage::Format_RGB32);
    const Picture picture = Picture::FromImage(image, MakeRect(0, 0, 200, 300));
    const qint64 saved = gMaxDecodedImageBytes.exchange(100 * 100 * 4);
    QImage out;
    const OSStatus tooLarge = picture.Render(out);
    gMaxDecodedImageBytes = 400 * 400 * 4;
    const OSStatus fits = picture.Render(out);
    gMaxDecodedImageBytes = saved;
    EXPECT_EQ(tooLarge, memFullErr);
    // A frame larger than the limit is refused before its canvas is made.
    gMaxDecodedImageBytes = 100 * 100 * 4;
    QImage canvas;
    const OSStatus frameTooLarge = picture.Render(canvas);
    gMaxDecodedImageBytes = saved;
    EXPECT_EQ(frameTooLarge, memFullErr);
    EXPECT_TRUE(canvas.isNull());
    EXPECT_EQ(fits, noErr);
    EXPECT_EQ(out.size(), QSize(300, 200));
}

TEST(PictHostile, FixedPointConversionClampsInsteadOfOverflowing)
{
    EXPECT_EQ(DoubleToFixed(72.0), 72 * FixedOne);
    EXPECT_EQ(DoubleToFixed(-1.5), -FixedOne - FixedOne / 2);
    EXPECT_EQ(DoubleToFixed(32767.99), 0x7FFFFD71);
    EXPECT_EQ(DoubleToFixed(2147483648.0), 0x7FFFFFFF); // a stored resolution of 0x80000000
    EXPECT_EQ(DoubleToFixed(1e300), 0x7FFFFFFF);
    EXPECT_EQ(DoubleToFixed(-1e300), Fixed(-0x7FFFFFFF - 1));
    EXPECT_EQ(DoubleToFixed(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(DoubleToFixed(std::numeric_limits<double>::infinity()), 0x7FFFFFFF);
}
