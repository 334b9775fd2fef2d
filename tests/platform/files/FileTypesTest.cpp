#include "ExtendedAttributes.h"
#include "FileTypes.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>

TEST(FileTypes, ExtensionsFollowTheTableAndItsKeyRule)
{
    EXPECT_EQ(FileTypeForName(QStringLiteral("a.jpg")), OSType('JPEG'));
    EXPECT_EQ(FileTypeForName(QStringLiteral("a.JPEG")), OSType('JPEG'));
    EXPECT_EQ(FileTypeForName(QStringLiteral("a.NEF")), OSType('RAW '));
    EXPECT_EQ(FileTypeForName(QStringLiteral("a.mef")), OSType('RAW '));
    EXPECT_EQ(FileTypeForName(QStringLiteral("a.sr2")), kUnknownFileType);
    EXPECT_EQ(FileTypeForName(QStringLiteral("song.m4a")), OSType('.m4a'));
    EXPECT_EQ(FileTypeForName(QStringLiteral("a.tiff")), OSType('TIFF'));
    // Two-letter and five-letter extensions have no key.
    EXPECT_EQ(FileTypeForName(QStringLiteral("a.jp")), kUnknownFileType);
    EXPECT_EQ(FileTypeForName(QStringLiteral("a.jpegs")), kUnknownFileType);
    EXPECT_EQ(FileTypeForName(QStringLiteral("noextension")), kUnknownFileType);
    // The four suffix tests come first and are case-sensitive.
    EXPECT_EQ(FileTypeForName(QStringLiteral("Font.dfont")), OSType('sfnt'));
    EXPECT_EQ(FileTypeForName(QStringLiteral("page.ps")), OSType('EPSF'));
    EXPECT_EQ(FileTypeForName(QStringLiteral("page.PS")), kUnknownFileType);
    EXPECT_EQ(FileTypeForName(QStringLiteral("clip.qt")), OSType('MooV'));
    EXPECT_EQ(FileTypeForName(QStringLiteral("tape.dv")), OSType('dvc!'));
}

TEST(FileTypes, StoredCodesWinThenNameThenContent)
{
    QString dir = TestTempDir() + QLatin1String("/types");
    QDir().mkpath(dir);
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(dir + QLatin1String("/picture"), "PNG"));
    ASSERT_TRUE(image.save(dir + QLatin1String("/picture.jpg"), "JPEG"));

    OSType type = 0, creator = 1;
    ASSERT_EQ(GetFileTypeAndCreatorOf(FileRef(dir + QLatin1String("/picture")), type, creator), noErr);
    EXPECT_EQ(type, OSType('PNGf'));
    EXPECT_EQ(creator, 0u);
    ASSERT_EQ(GetFileTypeAndCreatorOf(FileRef(dir + QLatin1String("/picture.jpg")), type, creator), noErr);
    EXPECT_EQ(type, OSType('JPEG'));

    FileRef stored(dir + QLatin1String("/picture.jpg"));
    FinderInfo info;
    info.SetType('PICT');
    info.SetCreator('JWZ7');
    if (WriteFinderInfo(stored, info) == noErr) {
        ASSERT_EQ(GetFileTypeAndCreatorOf(stored, type, creator), noErr);
        EXPECT_EQ(type, OSType('PICT'));
        EXPECT_EQ(creator, OSType('JWZ7'));
    }

    ASSERT_EQ(GetFileTypeAndCreatorOf(FileRef(dir), type, creator), noErr);
    EXPECT_EQ(type, OSType('fold'));
    EXPECT_EQ(GetFileTypeAndCreatorOf(FileRef(dir + QLatin1String("/missing.jpg")), type, creator), fnfErr);
}

TEST(FileTypes, MimeTypesMapBothWays)
{
    EXPECT_EQ(FileTypeForMimeType(QStringLiteral("image/jpeg")), OSType('JPEG'));
    EXPECT_EQ(FileTypeForMimeType(QStringLiteral("image/pjpeg")), OSType('JPEG'));
    EXPECT_EQ(FileTypeForMimeType(QStringLiteral("application/x-nothing")), kUnknownFileType);
    EXPECT_EQ(MimeTypeForFileType('PNGf'), QStringLiteral("image/png"));
    EXPECT_EQ(MimeTypeForFileType('zzzz'), QStringLiteral("application/octet-stream"));
}
