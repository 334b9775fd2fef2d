// The resolution of an image's description is what the file records, and 72
// dpi where it records none, whatever density a decoder puts on its pixels.

#include "GraphicsImporter.h"
#include "StoredResolution.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QImage>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

constexpr double kFixedStep = 1.0 / 65536; // the description holds 16.16 fixed-point numbers

// The CRC-32 of PNG chunks.
UInt32 Crc32(const QByteArray& bytes)
{
    UInt32 crc = 0xFFFFFFFF;
    for (const char c : bytes) {
        crc ^= UInt8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

double DescribedDpi(const QByteArray& data, bool vertical = false)
{
    std::unique_ptr<GraphicsImporter> importer;
    EXPECT_EQ(GraphicsImporter::OpenData(data, 0, importer), noErr);
    if (!importer)
        return 0;
    ImageDescription d;
    EXPECT_EQ(importer->GetImageDescription(d), noErr);
    return FixedToDouble(vertical ? d.vRes : d.hRes);
}

QByteArray Encoded(const char* format)
{
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return bytes;
}

// A JPEG whose JFIF header says `units`, `x` and `y`.
QByteArray JpegWithDensity(UInt8 units, UInt16 x, UInt16 y)
{
    QByteArray jpeg = Encoded("JPEG");
    EXPECT_EQ(jpeg.mid(6, 5), QByteArray("JFIF\0", 5));
    jpeg[13] = char(units);
    qToBigEndian(x, jpeg.data() + 14);
    qToBigEndian(y, jpeg.data() + 16);
    return jpeg;
}

// The same JPEG with an EXIF segment after its JFIF one, holding the resolution tags.
QByteArray WithExifResolution(QByteArray jpeg, UInt32 x, UInt32 y, UInt16 unit)
{
    QByteArray tiff("MM\0\x2A\0\0\0\x08", 8);
    auto u16 = [&](UInt16 v) { tiff.append(char(v >> 8)).append(char(v)); };
    auto u32 = [&](UInt32 v) { u16(UInt16(v >> 16)); u16(UInt16(v)); };
    const UInt32 values = 8 + 2 + 3 * 12 + 4;
    u16(3);
    u16(0x011A), u16(5), u32(1), u32(values);
    u16(0x011B), u16(5), u32(1), u32(values + 8);
    u16(0x0128), u16(3), u32(1), u16(unit), u16(0);
    u32(0);
    u32(x), u32(1), u32(y), u32(1);
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char((body.size() + 2) >> 8)).append(char((body.size() + 2) & 0xFF)).append(body);
    const qsizetype afterJfif = 4 + ((UInt8(jpeg[4]) << 8) | UInt8(jpeg[5]));
    return jpeg.insert(afterJfif, segment);
}

// A PNG with its pHYs chunk replaced by one of `perMetre` (unit metre), or removed when 0.
QByteArray PngWithDensity(UInt32 perMetre)
{
    QByteArray png = Encoded("PNG");
    const qsizetype at = png.indexOf("pHYs") - 4;
    if (at >= 0)
        png.remove(at, 12 + 9);
    if (perMetre == 0)
        return png;
    QByteArray chunk(4 + 4 + 9 + 4, '\0');
    qToBigEndian(UInt32(9), chunk.data());
    chunk.replace(4, 4, "pHYs");
    qToBigEndian(perMetre, chunk.data() + 8);
    qToBigEndian(perMetre, chunk.data() + 12);
    chunk[16] = 1;
    qToBigEndian(Crc32(chunk.mid(4, 13)), chunk.data() + 17);
    return png.insert(png.indexOf("IDAT") - 4, chunk);
}

// A 1x1 grey TIFF, big-endian, with the resolution tags when `unit` is not 0.
QByteArray Tiff(UInt32 x, UInt32 y, UInt16 unit)
{
    QByteArray t("MM\0\x2A\0\0\0\x08", 8);
    auto u16 = [&](UInt16 v) { t.append(char(v >> 8)).append(char(v)); };
    auto u32 = [&](UInt32 v) { u16(UInt16(v >> 16)); u16(UInt16(v)); };
    const int entries = unit ? 10 : 7;
    const UInt32 after = 8 + 2 + entries * 12 + 4;
    auto shortEntry = [&](UInt16 tag, UInt16 v) { u16(tag), u16(3), u32(1), u16(v), u16(0); };
    auto longEntry = [&](UInt16 tag, UInt32 v) { u16(tag), u16(4), u32(1), u32(v); };
    u16(UInt16(entries));
    longEntry(0x0100, 1);
    longEntry(0x0101, 1);
    shortEntry(0x0102, 8);
    shortEntry(0x0106, 1);
    longEntry(0x0111, after + 16);
    longEntry(0x0116, 1);
    longEntry(0x0117, 1);
    if (unit) {
        u16(0x011A), u16(5), u32(1), u32(after);
        u16(0x011B), u16(5), u32(1), u32(after + 8);
        shortEntry(0x0128, unit);
    }
    u32(0);
    u32(x), u32(1), u32(y), u32(1);
    t.append(char(0x80));
    return t;
}

} // namespace

TEST(ImageResolution, JpegFromJfifThenExifElse72)
{
    EXPECT_DOUBLE_EQ(DescribedDpi(JpegWithDensity(1, 72, 72)), 72.0);
    EXPECT_DOUBLE_EQ(DescribedDpi(JpegWithDensity(1, 300, 150)), 300.0);
    EXPECT_DOUBLE_EQ(DescribedDpi(JpegWithDensity(1, 300, 150), true), 150.0);
    EXPECT_NEAR(DescribedDpi(JpegWithDensity(2, 118, 118)), 299.7, kFixedStep); // dots per centimetre
    // An aspect ratio alone says nothing of the size: the EXIF tags do, else 72.
    EXPECT_DOUBLE_EQ(DescribedDpi(JpegWithDensity(0, 1, 1)), 72.0);
    EXPECT_DOUBLE_EQ(DescribedDpi(WithExifResolution(JpegWithDensity(0, 1, 1), 180, 180, 2)), 180.0);
    EXPECT_NEAR(DescribedDpi(WithExifResolution(JpegWithDensity(0, 1, 1), 40, 40, 3)), 101.6, kFixedStep);
    EXPECT_DOUBLE_EQ(DescribedDpi(WithExifResolution(JpegWithDensity(0, 1, 1), 180, 180, 1)), 72.0);
    // The JFIF density wins when both say.
    EXPECT_DOUBLE_EQ(DescribedDpi(WithExifResolution(JpegWithDensity(1, 240, 240), 180, 180, 2)), 240.0);
}

TEST(ImageResolution, PngFromPhysElse72)
{
    EXPECT_DOUBLE_EQ(DescribedDpi(PngWithDensity(0)), 72.0); // not the decoder's 96.01
    EXPECT_DOUBLE_EQ(DescribedDpi(PngWithDensity(2835)), 72.0);
    EXPECT_DOUBLE_EQ(DescribedDpi(PngWithDensity(11811)), 300.0);
}

TEST(ImageResolution, TiffFromItsTagsElse72)
{
    EXPECT_DOUBLE_EQ(DescribedDpi(Tiff(0, 0, 0)), 72.0);
    EXPECT_DOUBLE_EQ(DescribedDpi(Tiff(72, 72, 2)), 72.0);
    EXPECT_DOUBLE_EQ(DescribedDpi(Tiff(600, 300, 2), true), 300.0);
    EXPECT_DOUBLE_EQ(DescribedDpi(Tiff(100, 100, 3)), 254.0);
    EXPECT_DOUBLE_EQ(DescribedDpi(Tiff(100, 100, 1)), 72.0); // no unit: no size
}

TEST(ImageResolution, DocumentsAndDamagedHeaders)
{
    EXPECT_DOUBLE_EQ(DescribedDpi(ReadWholeFile(TestDataPath("exiftool-images/PDF.pdf"))), 72.0);
    // Offsets and lengths past the data are no resolution, and never a read beyond it.
    QByteArray cut = Tiff(300, 300, 2);
    cut.chop(10);
    EXPECT_EQ(ReadStoredResolution(cut).state, StoredResolution::kNone);
    QByteArray lying = WithExifResolution(JpegWithDensity(0, 1, 1), 180, 180, 2);
    lying[lying.indexOf("Exif") - 2] = char(0xFF); // segment length past the end
    EXPECT_NE(ReadStoredResolution(lying).state, StoredResolution::kStored);
    EXPECT_EQ(ReadStoredResolution(QByteArray("\x89PNG\r\n\x1A\n\0\0\0\x09pHYs", 16)).state, StoredResolution::kNone);
    EXPECT_EQ(ReadStoredResolution(QByteArray("GIF89a")).state, StoredResolution::kOtherFormat);
}
