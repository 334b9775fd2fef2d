#include "ExceptionCode.h"
#include "ImageDescription.h"
#include "Offscreen.h"
#include "Picture.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QPainter>

namespace {

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', "").replace('\n', ""));
}

QImage Gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7) & 0xFF, (y * 13) & 0xFF, (x * y) & 0xFF));
    return image;
}

bool SamePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF))
                return false;
    return true;
}

// Version 2 opening written out from the format's tables: size, frame, version
// opcode, extended header at 72 dpi, rectangular clip region of the frame.
QByteArray V2Opening(const char* sizeAndFrame)
{
    return Hex(sizeAndFrame) + Hex("0011 02FF  0C00 FFFE 0000 00480000 00480000")
        + Hex(sizeAndFrame).mid(2) + Hex("00000000  0001 000A") + Hex(sizeAndFrame).mid(2);
}

} // namespace

TEST(PictWriter, TinyDirectBitsPictureMatchesHandBuiltBytes)
{
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(1, 0, qRgb(0, 0, 255));
    Picture picture = Picture::FromImage(image, MakeRect(0, 0, 1, 2));

    QByteArray expected = V2Opening("0084 0000 0000 0001 0002")
        + Hex("009A 000000FF"                     // DirectBitsRect, base address
              "8008 0000 0000 0001 0002"          // row bytes 8 with the pixel-map flag, bounds
              "0000 0004 00000000"                // version, pack type 4, pack size
              "00480000 00480000"                 // resolution
              "0010 0020 0003 0008"               // RGB direct, 32 bits, 3 components of 8
              "00000000 00000000 00000000"        // plane bytes, table, reserved
              "0000 0000 0001 0002"               // source
              "0000 0000 0001 0002"               // destination
              "0000"                              // srcCopy
              "06 00FF FD00 00FF"                 // row: red FF 00, green 00 00, blue 00 FF packed
              "00"                                // pad to a word
              "00FF");
    EXPECT_EQ(picture.Data().toHex(' '), expected.toHex(' '));
    EXPECT_EQ(picture.Frame(), MakeRect(0, 0, 1, 2));

    QImage back;
    ASSERT_EQ(picture.Render(back), noErr);
    EXPECT_TRUE(SamePixels(back, image));
}

TEST(PictWriter, DirectBitsRoundTripsNarrowOrdinaryAndWideRows)
{
    // 1 pixel: rows under 8 bytes are unpacked; 37: byte counts; 120: word counts.
    for (int width : { 1, 37, 120 }) {
        QImage image = Gradient(width, 23);
        Picture picture = Picture::FromImage(image, MakeRect(0, 0, 23, width));
        QImage back;
        ASSERT_EQ(picture.Render(back), noErr) << width;
        EXPECT_TRUE(SamePixels(back, image)) << width;
        PictInfo info;
        ASSERT_EQ(picture.GetInfo(info), noErr);
        EXPECT_EQ(info.version, 2);
        EXPECT_EQ(info.depth, 32);
        EXPECT_EQ(info.hRes, 72 << 16);
    }
}

TEST(PictWriter, FrameNotAtOriginAndScaledDrawing)
{
    QImage image = Gradient(8, 4);
    Picture picture = Picture::FromImage(image, MakeRect(100, 50, 104, 58));
    EXPECT_EQ(picture.Frame(), MakeRect(100, 50, 104, 58));
    QImage back;
    ASSERT_EQ(picture.Render(back), noErr);
    EXPECT_TRUE(SamePixels(back, image));

    QImage big(16, 8, QImage::Format_RGB32);
    big.fill(Qt::black);
    QPainter painter(&big);
    ASSERT_EQ(picture.Draw(painter, MakeRect(0, 0, 8, 16)), noErr);
    painter.end();
    EXPECT_EQ(big.pixel(15, 7) & 0xFFFFFF, image.pixel(7, 3) & 0xFFFFFF);
}

TEST(PictWriter, JPEGPictureCarriesAnImageDescriptionAndRoundTrips)
{
    QImage image(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 5, 128));
    Picture picture = Picture::FromImageAsJPEG(image, MakeRect(0, 0, 48, 64), codecHighQuality);
    const QByteArray& d = picture.Data();
    // Opening (52 bytes), then opcode 0x8200 and its length.
    ASSERT_GT(d.size(), 52 + 6 + 68 + 86);
    EXPECT_EQ(d.left(52).mid(10), V2Opening("0000 0000 0000 0030 0040").mid(10));
    EXPECT_EQ(d.mid(52, 2), Hex("8200"));
    const int body = 58;
    EXPECT_EQ(d.mid(body, 2), Hex("0000"));
    EXPECT_EQ(d.mid(body + 2, 4), Hex("00010000")); // matrix a
    const int desc = body + 2 + 36 + 4 + 8 + 2 + 8 + 4 + 4;
    ImageDescription id = ImageDescription::FromBytes(d.mid(desc));
    EXPECT_EQ(id.cType, OSType('jpeg'));
    EXPECT_EQ(id.width, 64);
    EXPECT_EQ(id.height, 48);
    EXPECT_EQ(id.spatialQuality, CodecQ(codecHighQuality));
    EXPECT_EQ(d.mid(desc + 86, 2), Hex("FFD8")); // JPEG data follows the description
    EXPECT_EQ(d.right(2), Hex("00FF"));

    QImage back;
    ASSERT_EQ(picture.Render(back), noErr);
    ASSERT_EQ(back.size(), image.size());
    int worst = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            worst = std::max(worst, std::abs(qGreen(back.pixel(x, y)) - qGreen(image.pixel(x, y))));
    EXPECT_LT(worst, 16);
    PictInfo info;
    ASSERT_EQ(picture.GetInfo(info), noErr);
    EXPECT_EQ(info.compressedCodec, OSType('jpeg'));
}

TEST(PictWriter, CompressTurnsAnUncompressedPictureIntoJPEG)
{
    QImage image = Gradient(40, 30);
    Picture picture = Picture::FromImage(image, MakeRect(0, 0, 30, 40));
    const qsizetype before = picture.Size();
    ASSERT_EQ(picture.Compress(codecMinQuality), noErr);
    EXPECT_NE(picture.Size(), before);
    EXPECT_EQ(picture.Frame(), MakeRect(0, 0, 30, 40));
    PictInfo info;
    ASSERT_EQ(picture.GetInfo(info), noErr);
    EXPECT_EQ(info.compressedCodec, OSType('jpeg'));
}

TEST(PictFile, HeaderIsRecognisedAndSkipped)
{
    Picture picture = Picture::FromImage(Gradient(5, 5), MakeRect(0, 0, 5, 5));
    QByteArray file = picture.ToFileData();
    ASSERT_EQ(file.size(), 512 + picture.Size());
    EXPECT_EQ(file.left(512), QByteArray(512, '\0'));
    EXPECT_EQ(Picture::FromFileData(file), picture);
    EXPECT_EQ(Picture::FromFileData(picture.Data()), picture);
    EXPECT_THROW(Picture::FromFileData(QByteArray(600, 'x')), ExceptionCode);
}

TEST(PictFile, ReadsTheMetadataToolsSamplePicture)
{
    QByteArray file = ReadWholeFile(TestDataPath("exiftool-images/PICT.pict"));
    ASSERT_FALSE(file.isEmpty());
    Picture picture = Picture::FromFileData(file);
    EXPECT_EQ(picture.Frame(), MakeRect(0, 0, 8, 8));
    PictInfo info;
    ASSERT_EQ(picture.GetInfo(info), noErr);
    EXPECT_EQ(info.version, 2);
    EXPECT_EQ(info.depth, 32);
    QImage image;
    ASSERT_EQ(picture.Render(image), noErr);
    EXPECT_EQ(image.size(), QSize(8, 8));
    EXPECT_EQ(image.pixel(4, 4) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(PictReader, IndexedPixelsUseTheirColourTable)
{
    // PackBitsRect, 8 bits, 4 x 2 pixels, rows of 4 bytes (under 8: stored unpacked),
    // three colours: 0 white, 1 red, 2 blue.
    QByteArray op = Hex("0098"
                        "8004 0000 0000 0002 0004"   // row bytes 4, pixel map; bounds
                        "0000 0000 00000000 00480000 00480000"
                        "0000 0008 0001 0008 00000000 00000000 00000000"
                        "00000000 0000 0002"         // colour table: seed, flags, 3 entries
                        "0000 FFFF FFFF FFFF"
                        "0001 FFFF 0000 0000"
                        "0002 0000 0000 FFFF"
                        "0000 0000 0002 0004"        // source
                        "0000 0000 0002 0004"        // destination
                        "0000"
                        "00010201 02020000");
    QByteArray data = V2Opening("0000 0000 0000 0002 0004") + op + Hex("00FF");
    QImage image;
    ASSERT_EQ(Picture(data).Render(image), noErr);
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(image.pixel(1, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(image.pixel(2, 0) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(image.pixel(0, 1) & 0xFFFFFF, 0x0000FFu);
    PictInfo info;
    ASSERT_EQ(Picture(data).GetInfo(info), noErr);
    EXPECT_TRUE(info.hasColorTable);
    EXPECT_EQ(info.depth, 8);
}

TEST(PictReader, SixteenBitPixelsPackedByWords)
{
    // DirectBitsRect, 16 bits (x RRRRR GGGGG BBBBB), pack type 3: each row's
    // PackBits units are pixels. One row of 4: two red, two blue.
    QByteArray op = Hex("009A 000000FF"
                        "8008 0000 0000 0001 0004"
                        "0000 0003 00000000 00480000 00480000"
                        "0010 0010 0003 0005 00000000 00000000 00000000"
                        "0000 0000 0001 0004"
                        "0000 0000 0001 0004"
                        "0000"
                        "06 FF7C00 FF001F"
                        "00"); // pad to a word
    QByteArray data = V2Opening("0000 0000 0000 0001 0004") + op + Hex("00FF");
    QImage image;
    ASSERT_EQ(Picture(data).Render(image), noErr);
    EXPECT_EQ(image.pixel(1, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(image.pixel(2, 0) & 0xFFFFFF, 0x0000FFu);
    PictInfo info;
    ASSERT_EQ(Picture(data).GetInfo(info), noErr);
    EXPECT_EQ(info.depth, 16);
}

TEST(PictReader, OneBitBitMapAndVersionOnePicture)
{
    // Version 1: one-byte opcodes, no word alignment. BitsRect of a 1-bit bitmap
    // 8 x 2 with rows of 2 bytes: the first row's left half black.
    QByteArray v1 = Hex("0000 0000 0000 0002 0008"
                        "1101"
                        "A0 0082"                     // short comment
                        "90 0002 0000 0000 0002 0008" // BitsRect, row bytes 2, bounds
                        "0000 0000 0002 0008"
                        "0000 0000 0002 0008"
                        "0000"
                        "F000 0000"
                        "FF");
    QImage image;
    ASSERT_EQ(Picture(v1).Render(image), noErr);
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(image.pixel(3, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(image.pixel(4, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(image.pixel(0, 1) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(PictReader, DrawingOpcodesPaintInTheForegroundColour)
{
    QByteArray data = V2Opening("0000 0000 0000 0014 0014")
        + Hex("001A FFFF 0000 0000"          // red foreground
              "0031 0002 0002 0008 0008"     // paintRect
              "001A 0000 0000 FFFF"          // blue
              "0051 000A 000A 0014 0014"     // paintOval
              "00A1 0064 0003 414243 00"     // long comment, odd length, padded
              "0038"                         // frameSameRect
              "00FF");
    QImage image;
    ASSERT_EQ(Picture(data).Render(image), noErr);
    EXPECT_EQ(image.pixel(5, 5) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(image.pixel(15, 15) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
}
