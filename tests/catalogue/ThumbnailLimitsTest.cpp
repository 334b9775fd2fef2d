#include "ThumbnailFile.h"
#include "ThumbnailMaker.h"

#include "ExceptionCode.h"
#include "Preferences.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

namespace {

void Put16(QByteArray& d, int value)
{
    d.append(char((value >> 8) & 0xFF));
    d.append(char(value & 0xFF));
}
void Put32(QByteArray& d, qint64 value)
{
    Put16(d, int((value >> 16) & 0xFFFF));
    Put16(d, int(value & 0xFFFF));
}
void PutRect(QByteArray& d, int top, int left, int bottom, int right)
{
    Put16(d, top);
    Put16(d, left);
    Put16(d, bottom);
    Put16(d, right);
}

// A version 2 picture up to the end of its header opcode: size word, frame,
// version opcode, and the extended header (version -2, 72 dpi).
QByteArray PictureStart(int frameHeight, int frameWidth)
{
    QByteArray d;
    Put16(d, 0);
    PutRect(d, 0, 0, frameHeight, frameWidth);
    Put16(d, 0x0011);
    Put16(d, 0x02FF);
    Put16(d, 0x0C00);
    Put16(d, -2 & 0xFFFF);
    Put16(d, 0);
    Put32(d, 72 << 16);
    Put32(d, 72 << 16);
    PutRect(d, 0, 0, frameHeight, frameWidth);
    Put32(d, 0);
    return d;
}

void EndPicture(QByteArray& d)
{
    if (d.size() & 1)
        d.append('\0');
    Put16(d, 0x00FF);
}

// A picture whose frame says frameWidth x frameHeight holding one
// DirectBitsRect image of imageWidth x imageHeight 32-bit pixels, unpacked
// (pack type 1), every pixel grey, drawn into the frame.
QByteArray DirectBitsPicture(int frameWidth, int frameHeight, int imageWidth, int imageHeight)
{
    QByteArray d = PictureStart(frameHeight, frameWidth);
    Put16(d, 0x009A);
    Put32(d, 0x000000FF); // base address
    Put16(d, 0x8000 | (imageWidth * 4));
    PutRect(d, 0, 0, imageHeight, imageWidth);
    Put16(d, 0); // pmVersion
    Put16(d, 1); // packType: rows as they are
    Put32(d, 0); // packSize
    Put32(d, 72 << 16);
    Put32(d, 72 << 16);
    Put16(d, 16); // RGBDirect
    Put16(d, 32);
    Put16(d, 3);
    Put16(d, 8);
    d.append(QByteArray(12, '\0')); // planeBytes, pmTable, pmReserved
    PutRect(d, 0, 0, imageHeight, imageWidth);
    PutRect(d, 0, 0, frameHeight, frameWidth);
    Put16(d, 0); // srcCopy
    d.append(QByteArray(qsizetype(imageWidth) * 4 * imageHeight, char(0x80)));
    EndPicture(d);
    return d;
}

QByteArray JpegOf(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPEG", 50));
    return bytes;
}

// A picture whose frame and image description say 160 x 120 holding the
// given JPEG data in the compressed-QuickTime opcode.
QByteArray CompressedPicture(const QByteArray& jpeg, int describedWidth, int describedHeight)
{
    constexpr int kDescriptionSize = 86;
    QByteArray d = PictureStart(120, 160);
    Put16(d, 0x8200);
    Put32(d, 68 + kDescriptionSize + jpeg.size());
    Put16(d, 0); // version
    // The identity matrix: 1.0, 0, 0 / 0, 1.0, 0 / 0, 0, 1.0 (2.30).
    for (qint64 value : { qint64(1) << 16, qint64(0), qint64(0), qint64(0), qint64(1) << 16, qint64(0), qint64(0),
             qint64(0), qint64(1) << 30 })
        Put32(d, value);
    Put32(d, 0); // matte size
    PutRect(d, 0, 0, 0, 0);
    Put16(d, 0); // mode
    PutRect(d, 0, 0, 120, 160);
    Put32(d, 0); // accuracy
    Put32(d, 0); // mask size
    Put32(d, kDescriptionSize);
    Put32(d, 'jpeg');
    Put32(d, 0);
    Put16(d, 0);
    Put16(d, 0); // data reference index
    Put16(d, 0);
    Put16(d, 0); // version, revision
    Put32(d, 'appl');
    Put32(d, 0);
    Put32(d, 768); // temporal and spatial quality
    Put16(d, describedWidth);
    Put16(d, describedHeight);
    Put32(d, 72 << 16);
    Put32(d, 72 << 16);
    Put32(d, jpeg.size());
    Put16(d, 1); // frame count
    d.append(QByteArray(32, '\0')); // name
    Put16(d, 24);
    Put16(d, -1 & 0xFFFF); // no colour table
    d.append(jpeg);
    EndPicture(d);
    return d;
}

QUrl WriteThumbFile(const QString& name, const QByteArray& picture)
{
    const QString path = QDir(TestTempDir()).filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(kThumbHeaderSize, '\0') + picture);
    file.close();
    return QUrl::fromLocalFile(path);
}

// The code ReadThumbnailFile throws, and whether it named the size as the fault.
std::pair<OSStatus, bool> ReadOutcome(const QUrl& file)
{
    try {
        ReadThumbnailFile(file);
        return { noErr, false };
    } catch (const ExceptionCode& e) {
        return { e.Code(), std::string(e.what()).find("larger than") != std::string::npos };
    }
}

} // namespace

TEST(ThumbnailLimits, APictureLargerThanAnyThumbnailIsDamagedBeforeItIsDecoded)
{
    constexpr int L = kLargestThumbnailSide;
    // The largest thumbnail reads back; one pixel more on either side, in the
    // frame or in the pixel image behind a small frame, is damaged data.
    EXPECT_EQ(ReadOutcome(WriteThumbFile("1.pct", DirectBitsPicture(L, 2, L, 2))).first, noErr);
    EXPECT_EQ(ReadOutcome(WriteThumbFile("2.pct", DirectBitsPicture(160, 2, 160, 2))).first, noErr);
    for (const auto& [name, bytes] : {
             std::pair { "3.pct", DirectBitsPicture(L + 1, 2, L + 1, 2) },
             std::pair { "4.pct", DirectBitsPicture(2, L + 1, 2, L + 1) },
             std::pair { "5.pct", DirectBitsPicture(160, 2, L + 1, 2) },
             std::pair { "6.pct", DirectBitsPicture(160, 2, 2, L + 1) },
         }) {
        const auto [code, namedTheSize] = ReadOutcome(WriteThumbFile(name, bytes));
        EXPECT_EQ(code, codecBadDataErr) << name;
        EXPECT_TRUE(namedTheSize) << name;
    }

    // A few bytes of JPEG claiming a large picture behind a frame and a
    // description that say 160 x 120.
    const QByteArray small = JpegOf(160, 120);
    EXPECT_EQ(ReadOutcome(WriteThumbFile("7.pct", CompressedPicture(small, 160, 120))).first, noErr);
    const QByteArray wide = JpegOf(L + 8, 8);
    const auto [jpegCode, jpegNamed] = ReadOutcome(WriteThumbFile("8.pct", CompressedPicture(wide, 160, 120)));
    EXPECT_EQ(jpegCode, codecBadDataErr);
    EXPECT_TRUE(jpegNamed);
    const auto [descCode, descNamed] = ReadOutcome(WriteThumbFile("9.pct", CompressedPicture(small, L + 1, 120)));
    EXPECT_EQ(descCode, codecBadDataErr);
    EXPECT_TRUE(descNamed);
}

TEST(ThumbnailLimits, AFileLargerThanAnyThumbnailsIsDamagedBeforeItIsRead)
{
    // The largest thumbnail, uncompressed, fits with room to spare.
    const QUrl largest = WriteThumbFile("20.pct", DirectBitsPicture(kLargestThumbnailSide, kLargestThumbnailSide,
                                                       kLargestThumbnailSide, kLargestThumbnailSide));
    EXPECT_EQ(ReadOutcome(largest).first, noErr);

    // A good picture followed by gigabytes (sparse: nothing is really written).
    const QUrl file = WriteThumbFile("21.pct", DirectBitsPicture(160, 120, 160, 120));
    QFile grown(file.toLocalFile());
    ASSERT_TRUE(grown.resize(qint64(3) << 30));
    const auto [code, namedTheSize] = ReadOutcome(file);
    EXPECT_EQ(code, codecBadDataErr);
    EXPECT_TRUE(namedTheSize);
}

TEST(ThumbnailLimits, APictureLargerThanAnyThumbnailIsFittedWhenItsFileIsWritten)
{
    QImage wide(3000, 1000, QImage::Format_RGB32);
    wide.fill(QColor(200, 30, 30));
    const Picture pasted = Picture::FromImage(wide, MakeRect(0, 0, 1000, 3000));
    const QUrl file = QUrl::fromLocalFile(QDir(TestTempDir()).filePath("12.pct"));
    WriteThumbnailFile(file, pasted);
    const Picture back = ReadThumbnailFile(file);
    EXPECT_EQ(back.Frame(), MakeRect(0, 0, 682, kLargestThumbnailSide));
    QImage pixels;
    ASSERT_EQ(back.Render(pixels), noErr);
    EXPECT_GT(qRed(pixels.pixel(1000, 300)), 180);

    // A picture that fits is written as it is.
    const Picture fits = Picture::FromImage(wide.scaled(300, 100), MakeRect(0, 0, 100, 300));
    EXPECT_EQ(FitThumbnailPicture(fits), fits);
}

TEST(ThumbnailLimits, TheThumbnailSizePreferenceIsHeldToTheLargestThumbnail)
{
    SetPrefNumber(QStringLiteral("DefaultThumbnailSize"), 30000);
    EXPECT_EQ(ThumbnailSettings::FromPreferences().size, kLargestThumbnailSide);
    SetPrefNumber(QStringLiteral("DefaultThumbnailSize"), 320);
    EXPECT_EQ(ThumbnailSettings::FromPreferences().size, 320);
    SetPrefNumber(QStringLiteral("DefaultThumbnailSize"), 160);
}
