#include "CFontMedia.h"
#include "CPICTResourceMedia.h"
#include "CQTImageMedia.h"
#include "CQTMovieMedia.h"
#include "CRAWMedia.h"
#include "ExtendedAttributes.h"
#include "MediaFactory.h"
#include "MediaTestSupport.h"
#include "Preferences.h"
#include "TestDNG.h"
#include "TestMovies.h"

#include <gtest/gtest.h>

#include <QFile>

TEST(MediaFileTypes, ExtensionsAndTheirCase)
{
    EXPECT_EQ(GetFileTypeForExtension(QStringLiteral("a.JPG")), OSType('JPEG'));
    EXPECT_EQ(GetFileTypeForExtension(QStringLiteral("a.jpeg")), OSType('JPEG'));
    EXPECT_EQ(GetFileTypeForExtension(QStringLiteral("a.mpeg4")), OSType('????'));
    EXPECT_EQ(GetFileTypeForExtension(QStringLiteral("a.PS")), OSType('????'));
    EXPECT_EQ(GetFileTypeForExtension(QStringLiteral("a.ps")), OSType('EPSF'));
    EXPECT_EQ(GetFileTypeForExtension(QStringLiteral("a.dfont")), OSType('sfnt'));
    EXPECT_EQ(GetFileTypeForExtension(QStringLiteral("a.DFONT")), OSType('????'));
    EXPECT_EQ(GetFileTypeForExtension(QStringLiteral("noextension")), OSType('????'));
    EXPECT_EQ(GetFileTypeForPascalName(Str255(".fff")), OSType('.fff'));
    EXPECT_EQ(GetFileTypeForPascalName(nullptr), OSType('????'));
}

TEST(MediaFileTypes, KindSets)
{
    EXPECT_TRUE(IsSupportedMediaType('.fff'));
    EXPECT_FALSE(IsSupportedMediaType('TEXT'));
    EXPECT_TRUE(IsMovieFileType('GIFf'));
    EXPECT_FALSE(IsMovieFileType('sfil'));
    EXPECT_FALSE(IsMovieFileType('3DMF'));
    EXPECT_TRUE(IsSoundMediaType('sfil'));
    EXPECT_FALSE(IsSoundMediaType('MooV'));
    EXPECT_TRUE(IsFontMediaType('.otf'));
    EXPECT_TRUE(IsRawExtension(QStringLiteral("IMG_1.CR2")));
    EXPECT_TRUE(IsRawExtension(QStringLiteral("a.sr2")));
    EXPECT_FALSE(IsRawExtension(QStringLiteral("a.mef")));
    EXPECT_FALSE(IsRawExtension(QStringLiteral("a.Cr2")));
    EXPECT_TRUE(IsRawExtension(QStringLiteral("b.3FR")));
    EXPECT_TRUE(IsRawExtension(QStringLiteral("b.x3f")));
    EXPECT_FALSE(IsRawExtension(QStringLiteral("b.X3f")));
    EXPECT_EQ(GetFileTypeForExtension(QStringLiteral("a.mef")), OSType('RAW '));
}

TEST(MediaFileTypes, StoredFinderTypeWinsWhenItIsAMediaType)
{
    QString path = TestTempDir() + QStringLiteral("/typed.jpg");
    QImage(4, 4, QImage::Format_RGB32).save(path, "JPEG");
    EXPECT_EQ(GetMediaFileType(FileUrl(path)), OSType('JPEG'));
    FinderInfo info;
    info.SetType('PICT');
    if (WriteFinderInfo(FileRef(path), info) != noErr)
        GTEST_SKIP() << "no extended attributes on this file system";
    EXPECT_EQ(GetMediaFileType(FileUrl(path)), OSType('PICT'));
    info.SetType('TEXT');
    ASSERT_EQ(WriteFinderInfo(FileRef(path), info), noErr);
    EXPECT_EQ(GetMediaFileType(FileUrl(path)), OSType('JPEG'));
    EXPECT_EQ(GetMediaFileType(QUrl()), OSType('????'));
    EXPECT_EQ(GetMediaFileType(FileUrl(TestTempDir() + QStringLiteral("/noextension"))), OSType('????'));
}

TEST(MediaFactory, MakesTheKindOfEachFile)
{
    auto still = CreateMediaForFile(FileUrl(WriteQuadrantImage()));
    ASSERT_TRUE(still);
    EXPECT_NE(dynamic_cast<CQTImageMedia*>(still.get()), nullptr);
    CodecQ quality = 0;
    still->GetQuality(&quality);
    EXPECT_EQ(quality, CodecQ(GetPrefNumber(QStringLiteral("MediaViewQuality"))));

    EXPECT_EQ(CreateMediaForFile(FileUrl(TestTempDir() + QStringLiteral("/missing.png"))), nullptr);
    EXPECT_EQ(CreateMediaForFile(QUrl()), nullptr);

    // A still GIF is an image; .fff opens as a still through the importer's content check.
    auto gif = CreateMediaForFile(FileUrl(TestDataPath(QStringLiteral("exiftool-images/GIF.gif"))));
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->GetKind(), 901);

    QString icns = TestTempDir() + QStringLiteral("/icon.icns");
    QFile(icns).open(QIODevice::WriteOnly);
    EXPECT_EQ(CreateMediaForFile(FileUrl(icns)), nullptr);
}

TEST(MediaFactory, MoviesSoundsFontsAndRawFiles)
{
    // Movies get a poster at half their length; sounds are movies too.
    const QString mov = MakeMediaWithFFmpeg("clip.mov", RedThenBlueVideo() + QStringList { "-c:v", "mpeg4" });
    auto movie = CreateMediaForFile(FileUrl(mov));
    auto* movieMedia = dynamic_cast<CQTMovieMedia*>(movie.get());
    ASSERT_NE(movieMedia, nullptr);
    EXPECT_EQ(movieMedia->GetMovie()->PosterTime(), movieMedia->GetMovie()->Duration() / 2);
    EXPECT_TRUE(IsMovieMediaType(FileUrl(mov)));
    auto mp3 = CreateMediaForFile(FileUrl(MakeMediaWithFFmpeg("tone.mp3", ToneAudio())));
    ASSERT_NE(dynamic_cast<CQTMovieMedia*>(mp3.get()), nullptr);
    EXPECT_TRUE(mp3->HasSound());

    // A GIF that cannot be a movie is a still; a broken movie is an error.
    auto still = CreateMediaForFile(FileUrl(MakeMediaWithFFmpeg("one.gif", { "-f", "lavfi", "-i", "color=green:s=32x32:d=0.1", "-frames:v", "1" })));
    EXPECT_NE(dynamic_cast<CQTImageMedia*>(still.get()), nullptr);
    const QString broken = TestTempDir() + "/broken.mov";
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(64, 'x'));
    }
    EXPECT_THROW(CreateMediaForFile(FileUrl(broken)), ExceptionCode);

    // Fonts of every flavour.
    for (const char* font : { "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf" }) {
        auto media = CreateMediaForFile(FileUrl(QLatin1String(font)));
        EXPECT_NE(dynamic_cast<CFontMedia*>(media.get()), nullptr) << font;
    }

    // Raw files by extension, and a raw file named .tif by what the decoder finds in it.
    const QString dng = WriteTestDNG(TestTempDir() + "/sensor.dng", 64, 64, 16);
    EXPECT_NE(dynamic_cast<CRAWMedia*>(CreateMediaForFile(FileUrl(dng)).get()), nullptr);
    const QString tif = WriteTestDNG(TestTempDir() + "/sensor.tif", 64, 64, 16);
    EXPECT_EQ(GetMediaFileType(FileUrl(tif)), OSType('RAW '));
    EXPECT_NE(dynamic_cast<CRAWMedia*>(CreateMediaForFile(FileUrl(tif)).get()), nullptr);
}

TEST(MediaFactory, KindsNoLibraryHereOpensGiveTheUnsupportedCode)
{
    for (const char* name : { "/scene.3dmf", "/voice.sd2", "/beep.snd" }) {
        const QString path = TestTempDir() + QLatin1String(name);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(256, '\x02'));
        f.close();
        const OSStatus status = CatchCode([&] { CreateMediaForFile(FileUrl(path)); });
        EXPECT_EQ(status, kMediaKindUnavailableErr) << name;
    }
    // The stripped sample files: a medium or a code, never a crash.
    for (const char* file : { "exiftool-images/QuickTime.mov", "exiftool-images/Font.ttf", "exiftool-images/Font.dfont",
             "exiftool-images/Nikon.nef", "exiftool-images/RIFF.avi", "exiftool-images/QuickTime.m4a" }) {
        CatchCode([&] { CreateMediaForFile(FileUrl(TestDataPath(QLatin1String(file)))); });
    }
}

TEST(MediaFactory, PictResourceFromTheResourceStoreOrFromThePictureItself)
{
    // A file whose PICT resource 256 is stored beside it (a clipping).
    QString clipping = TestTempDir() + QStringLiteral("/clipping.txt");
    {
        QFile f(clipping);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a picture");
    }
    QImage image(12, 8, QImage::Format_RGB32);
    image.fill(Qt::blue);
    Picture picture = Picture::FromImage(image, MakeRect(0, 0, 8, 12));
    if (WriteFileResource(FileRef(clipping), 'PICT', 256, picture.Data()) != noErr)
        GTEST_SKIP() << "no extended attributes on this file system";
    CPICTResourceMedia media(FileUrl(clipping), 256);
    Rect r;
    ASSERT_EQ(media.GetNaturalBounds(&r), noErr);
    EXPECT_EQ(r, MakeRect(0, 0, 8, 12));
    MediaImageInfo info;
    ASSERT_EQ(media.GetDescription(&info), noErr);
    EXPECT_EQ(info.dataSize, 512 + picture.Size());

    // The resource that is not there.
    EXPECT_THROW(CPICTResourceMedia(FileUrl(clipping), 1), ExceptionCode);

    // A PICT file without the resource is read as the picture it is.
    CPICTResourceMedia fromData(FileUrl(TestDataPath(QStringLiteral("exiftool-images/PICT.pict"))), 1);
    ASSERT_EQ(fromData.GetNaturalBounds(&r), noErr);
    EXPECT_EQ(r, MakeRect(0, 0, 8, 8));
}
