#include "GraphicsImporter.h"
#include "ImageMetadata.h"
#include "ImageTestSupport.h"
#include "UserData.h"

#include <gtest/gtest.h>

namespace {

QString Sample(const char* name)
{
    return TestDataPath(QStringLiteral("exif-samples/jpg/") + QLatin1String(name));
}

// What exiv2 prints as the value of one key ("1/160", "100", ...).
QString ExivValue(const QString& path, const char* key)
{
    return QString::fromUtf8(RunTool(QStringLiteral("exiv2"), { QStringLiteral("-K"), QLatin1String(key),
                                                                  QStringLiteral("-Pv"), path }))
        .trimmed();
}

UInt32 BigEndian32(const QByteArray& b, int at)
{
    return (UInt32(UInt8(b[at])) << 24) | (UInt32(UInt8(b[at + 1])) << 16) | (UInt32(UInt8(b[at + 2])) << 8)
        | UInt8(b[at + 3]);
}

} // namespace

TEST(ImageMetadata, CameraItemsCarryTheValuesExivPrints)
{
    if (QStandardPaths::findExecutable(QStringLiteral("exiv2")).isEmpty())
        GTEST_SKIP() << "exiv2 is not installed";
    for (const char* name : { "Canon_40D.jpg", "Nikon_D70.jpg", "Pentax_K10D.jpg", "Panasonic_DMC-FZ30.jpg" }) {
        const QString path = Sample(name);
        std::unique_ptr<GraphicsImporter> importer;
        ASSERT_EQ(GraphicsImporter::OpenFile(path, 'JPEG', importer), noErr) << name;
        UserData data;
        ASSERT_EQ(importer->GetMetaData(data), noErr);

        QByteArray exposure;
        ASSERT_EQ(data.GetUserData(exposure, EXIFUserDataType(0x829A), 1), noErr) << name;
        ASSERT_EQ(exposure.size(), 8);
        EXPECT_EQ(QStringLiteral("%1/%2").arg(BigEndian32(exposure, 0)).arg(BigEndian32(exposure, 4)),
            ExivValue(path, "Exif.Photo.ExposureTime"))
            << name;

        QByteArray iso;
        ASSERT_EQ(data.GetUserData(iso, EXIFUserDataType(0x8827), 1), noErr) << name;
        EXPECT_EQ(QString::number((UInt8(iso[0]) << 8) | UInt8(iso[1])), ExivValue(path, "Exif.Photo.ISOSpeedRatings"))
            << name;

        QByteArray date;
        ASSERT_EQ(data.GetUserData(date, EXIFUserDataType(0x9003), 1), noErr);
        EXPECT_EQ(QString::fromLatin1(date.constData()), ExivValue(path, "Exif.Photo.DateTimeOriginal")) << name;

        QByteArray orientation;
        if (data.GetUserData(orientation, TIFFUserDataType(0x0112), 1) == noErr)
            EXPECT_EQ(QString::number(UInt8(orientation[1])), ExivValue(path, "Exif.Image.Orientation")) << name;

        QByteArray make;
        ASSERT_EQ(data.GetUserDataText(make, UserDataTextType("mak"), 1, 0), noErr);
        EXPECT_EQ(QString::fromLatin1(make), ExivValue(path, "Exif.Image.Make")) << name;
        QByteArray format;
        ASSERT_EQ(data.GetUserDataText(format, UserDataTextType("fmt"), 1, 0), noErr);
        EXPECT_EQ(format, QByteArray("Photo - JPEG"));
    }
}

TEST(ImageMetadata, EmbeddedThumbnailIsTheSecondImage)
{
    std::unique_ptr<GraphicsImporter> importer;
    ASSERT_EQ(GraphicsImporter::OpenFile(Sample("Canon_40D.jpg"), 'JPEG', importer), noErr);
    SInt32 count = 0;
    importer->GetImageCount(&count);
    ASSERT_EQ(count, 2);
    ASSERT_EQ(importer->SetImageIndex(2), noErr);
    UserData data;
    ASSERT_EQ(importer->GetMetaData(data), noErr);
    QByteArray marker;
    ASSERT_EQ(data.GetUserData(marker, 'nth?', 1), noErr);
    EXPECT_EQ(marker, QByteArray("n=th"));
    Rect thumb;
    importer->GetNaturalBounds(&thumb);
    EXPECT_FALSE(thumb.IsEmpty());
    EXPECT_LE(thumb.Width(), 200);

    // Without a thumbnail there is one image.
    QString plain = TempFile(QStringLiteral("plain.jpg"));
    Quadrants().save(plain);
    ASSERT_EQ(GraphicsImporter::OpenFile(plain, 'JPEG', importer), noErr);
    importer->GetImageCount(&count);
    EXPECT_EQ(count, 1);
}

TEST(ImageMetadata, HostileExifNeverCrashesTheReader)
{
    for (const char* name : { "invalid/image00971.jpg", "invalid/image01088.jpg", "invalid/image01551.jpg",
             "tests/30-type_error.jpg", "tests/36-memory_error.jpg", "tests/42_IndexError-cut.jpg",
             "tests/67-0_length_string.jpg", "long_description.jpg" }) {
        UserData data;
        QByteArray bytes = ReadWholeFile(Sample(name));
        EXPECT_EQ(ReadImageMetadata(bytes, QStringLiteral("JPEG"), data), noErr) << name;
        ReadEmbeddedThumbnail(bytes);
        ReadImageMetadata(bytes.left(bytes.size() / 3), QString(), data);
    }
}

TEST(ImageMetadata, OnlyImagesThatCanCarryItReachTheLibrary)
{
    const auto file = [](const char* name) { return TestDataPath(QStringLiteral("exiftool-images/") + QLatin1String(name)); };
    for (const char* name : { "Canon.jpg", "ExifTool.tif", "CanonRaw.cr2", "CanonRaw.crw", "DNG.dng", "Nikon.nef",
             "FujiFilm.raf", "Panasonic.rw2", "Photoshop.psd", "PNG.png", "Jpeg2000.jp2" }) {
        EXPECT_TRUE(CanCarryImageMetadata(file(name))) << name;
        EXPECT_TRUE(CanCarryImageMetadata(ReadWholeFile(file(name)))) << name;
    }
    for (const char* name : { "RIFF.avi", "RIFF.wav", "QuickTime.mov", "QuickTime.m4a", "AIFF.aif", "PDF.pdf",
             "PostScript.eps", "Font.ttf", "Font.dfont" }) {
        EXPECT_FALSE(CanCarryImageMetadata(file(name))) << name;
        EXPECT_FALSE(CanCarryImageMetadata(ReadWholeFile(file(name)))) << name;
    }
    EXPECT_FALSE(CanCarryImageMetadata(TestTempDir() + QStringLiteral("/missing.jpg")));
    EXPECT_FALSE(CanCarryImageMetadata(QByteArray()));

    // A movie's metadata never comes from the library: no camera items, no failure.
    UserData data;
    EXPECT_EQ(ReadImageFileMetadata(file("RIFF.avi"), QStringLiteral("AVI"), data), noErr);
    for (OSType type = data.GetNextUserDataType(0); type != 0; type = data.GetNextUserDataType(type)) {
        EXPECT_NE(type >> 16, UInt32(('e' << 8) | 'x'));
        EXPECT_NE(type >> 16, UInt32(('t' << 8) | 'i'));
    }
}
