#include "Picture.h"
#include "PictReader.h"

#include <gtest/gtest.h>

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
