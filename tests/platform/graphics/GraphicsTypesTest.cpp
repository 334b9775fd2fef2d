#include "ExceptionCode.h"
#include "ImageDescription.h"
#include "MatrixRecord.h"
#include "Offscreen.h"
#include "PackBits.h"

#include <gtest/gtest.h>

namespace {
QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
} // namespace

TEST(PackBits, PacksTheClassicExample)
{
    QByteArray raw = Hex("AAAAAA 80002A AAAAAAAA 80002A22 AAAAAAAAAAAAAAAAAAAA");
    EXPECT_EQ(PackBits::Pack(raw), Hex("FEAA 0280002A FDAA 0380002A22 F7AA"));
    QByteArray out;
    QByteArray packed = PackBits::Pack(raw);
    EXPECT_TRUE(PackBits::Unpack(packed.constData(), packed.size(), out, raw.size()));
    EXPECT_EQ(out, raw);
}

TEST(PackBits, UnpackRefusesShortOrOverlongInput)
{
    QByteArray out;
    QByteArray packed = Hex("05 0102"); // promises six literal bytes, has two
    EXPECT_FALSE(PackBits::Unpack(packed.constData(), packed.size(), out, 6));
    EXPECT_EQ(out.size(), 6);
    QByteArray run = Hex("81FF"); // 128 repeats into a 4-byte row
    EXPECT_FALSE(PackBits::Unpack(run.constData(), run.size(), out, 4));
    QByteArray skip = Hex("80 01AABB"); // -128 is no code
    EXPECT_TRUE(PackBits::Unpack(skip.constData(), skip.size(), out, 2));
    EXPECT_EQ(out, Hex("AABB"));
}

TEST(PackBits, SixteenBitUnitsRoundTrip)
{
    QByteArray raw = Hex("1234 1234 1234 ABCD 0001 0001");
    QByteArray packed = PackBits::Pack(raw, 2);
    EXPECT_EQ(packed.left(3), Hex("FE1234"));
    QByteArray out;
    EXPECT_TRUE(PackBits::Unpack(packed.constData(), packed.size(), out, raw.size(), 2));
    EXPECT_EQ(out, raw);
}

TEST(MatrixRecord, QuarterTurnsMapRectanglesAsTheMediaExpect)
{
    // A 160 x 107 image turned -90 degrees and moved down by its width stands upright at the origin.
    MatrixRecord m;
    RotateMatrix(m, -90 << 16, 0, 0);
    TranslateMatrix(m, 0, 160 << 16);
    EXPECT_EQ(TransformRect(m, MakeRect(0, 0, 107, 160)), MakeRect(0, 0, 160, 107));
    EXPECT_EQ(m.transform.map(QPointF(0, 0)), QPointF(0, 160)); // top-left goes to bottom-left

    MatrixRecord flip;
    ScaleMatrix(flip, -FixedOne, FixedOne, 0, 0);
    TranslateMatrix(flip, 300 << 16, 0);
    EXPECT_EQ(flip.transform.map(QPointF(0, 5)), QPointF(300, 5));

    MatrixRecord fit;
    RectMatrix(fit, MakeRect(0, 0, 200, 300), MakeRect(10, 20, 110, 170));
    EXPECT_EQ(TransformRect(fit, MakeRect(0, 0, 200, 300)), MakeRect(10, 20, 110, 170));
}

TEST(MatrixRecord, StoredFormIsFixedAndFract)
{
    MatrixRecord m;
    TranslateMatrix(m, 3 << 16, 7 << 16);
    unsigned char bytes[36];
    MatrixToBytes(m, bytes);
    QByteArray stored(reinterpret_cast<char*>(bytes), 36);
    EXPECT_EQ(stored, Hex("00010000 00000000 00000000 00000000 00010000 00000000 00030000 00070000 40000000"));
    EXPECT_EQ(MatrixFromBytes(bytes), m);
}

TEST(ImageDescription, RecordLayoutAndExtensions)
{
    ImageDescription d;
    d.cType = 'jpeg';
    d.spatialQuality = codecHighQuality;
    d.width = 160;
    d.height = 120;
    d.dataSize = 0x1234;
    d.name = Str31("Photo - JPEG");
    d.depth = 24;
    d.SetExtension('cspc', Hex("62343872"));
    QByteArray bytes = d.ToBytes();
    ASSERT_EQ(bytes.size(), 86 + 12);
    EXPECT_EQ(bytes.left(8), Hex("00000062 6A706567"));
    EXPECT_EQ(bytes.mid(28, 4), Hex("00000300"));      // spatial quality
    EXPECT_EQ(bytes.mid(32, 4), Hex("00A00078"));      // width, height
    EXPECT_EQ(bytes.mid(36, 8), Hex("00480000 00480000"));
    EXPECT_EQ(bytes.mid(44, 6), Hex("00001234 0001")); // data size, frame count
    EXPECT_EQ(bytes.mid(50, 13), QByteArray("\x0CPhoto - JPEG"));
    EXPECT_EQ(bytes.mid(82, 4), Hex("0018FFFF"));
    EXPECT_EQ(bytes.mid(86), Hex("0000000C 63737063 62343872"));

    ImageDescription back = ImageDescription::FromBytes(bytes);
    EXPECT_EQ(back.width, 160);
    EXPECT_EQ(back.Extension('cspc'), Hex("62343872"));
    EXPECT_EQ(back.name, d.name);

    QByteArray lying = bytes;
    lying[3] = char(0xF0); // idSize beyond the data
    EXPECT_THROW(ImageDescription::FromBytes(lying), ExceptionCode);
    EXPECT_THROW(ImageDescription::FromBytes(bytes.left(40)), ExceptionCode);
}

TEST(Offscreen, BoundsDepthAndPainterOrigin)
{
    Offscreen world(MakeRect(10, 20, 30, 60));
    EXPECT_EQ(world.Width(), 40);
    EXPECT_EQ(world.Height(), 20);
    EXPECT_EQ(world.Depth(), 32);
    EXPECT_EQ(world.Image().pixel(0, 0), qRgb(255, 255, 255));
    {
        StOffscreenPort port(world);
        port.Port()->fillRect(QRect(20, 10, 1, 1), Qt::red); // the bounds' top-left
    }
    EXPECT_EQ(world.Image().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_THROW(Offscreen(MakeRect(0, 0, 0, 5)), ExceptionCode);
    Offscreen mono(MakeRect(0, 0, 1, 9), 1);
    EXPECT_EQ(mono.Depth(), 1);
    EXPECT_EQ(mono.Image().pixelIndex(3, 0), 0);
}
