#include "FinderPreview.h"
#include "ThumbnailFile.h"
#include "ThumbnailMaker.h"

#include "CMedia.h"
#include "ColorMatching.h"
#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "FileTypes.h"
#include "FourCharCode.h"
#include "JpegTestFiles.h"
#include "LThread.h"
#include "MediaFactory.h"
#include "TestDNG.h"
#include "TestMovies.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSemaphore>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <exiv2/exiv2.hpp>

#include <cstdlib>
#include <thread>

namespace {

// Byte offsets in a picture as our writer lays it out: the 40 bytes of size,
// frame and version 2 header, the 12-byte rectangular clip region, then the
// image opcode. In the compressed-QuickTime opcode, the 68 bytes of matrix,
// matte, mode, source, accuracy and mask come before the image description.
constexpr int kImageOpcodeAt = 52;
constexpr int kOpcodeBodyAt = 58;
constexpr int kModeAt = kOpcodeBodyAt + 2 + 36 + 4 + 8;
constexpr int kDescriptionAt = kOpcodeBodyAt + 68;
constexpr int kDescriptionCodecAt = kDescriptionAt + 4;
constexpr int kDescriptionSpatialQualityAt = kDescriptionAt + 28;
constexpr int kDescriptionWidthAt = kDescriptionAt + 32;

UInt32 BE32(const QByteArray& d, int at)
{
    return (UInt32(UInt8(d[at])) << 24) | (UInt32(UInt8(d[at + 1])) << 16) | (UInt32(UInt8(d[at + 2])) << 8)
        | UInt8(d[at + 3]);
}
UInt16 BE16(const QByteArray& d, int at)
{
    return UInt16((UInt8(d[at]) << 8) | UInt8(d[at + 1]));
}

// Left half red, right half blue, with a white square near the top left, so
// size, orientation and sharpening all show.
QImage TestPattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, width / 2, height, QColor(200, 30, 30));
    p.fillRect(width / 2, 0, width - width / 2, height, QColor(30, 30, 200));
    p.fillRect(width / 10, height / 10, width / 5, height / 5, Qt::white);
    return image;
}

QString SaveImage(const QImage& image, const QString& name, const char* format)
{
    const QString path = QDir(TestTempDir()).filePath(name);
    EXPECT_TRUE(image.save(path, format)) << name.toStdString();
    return path;
}

ThumbnailSettings Settings(SInt32 compression = 3, bool sharpen = true)
{
    ThumbnailSettings s;
    s.compression = compression;
    s.sharpen = sharpen;
    return s;
}

ThumbnailResult ThumbnailOf(const QString& path, OSType type, const ThumbnailSettings& settings = Settings())
{
    ThumbnailRequest request;
    request.path = path;
    request.fileType = type;
    return MakeThumbnail(request, settings);
}

QImage Render(const Picture& picture)
{
    QImage out;
    EXPECT_EQ(picture.Render(out), noErr);
    return out;
}

bool Near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The first value of the first quantisation table of the JPEG data in a picture.
int FirstQuantiser(const QByteArray& picture)
{
    const qsizetype dqt = picture.indexOf(QByteArray("\xFF\xDB", 2), kDescriptionAt);
    return dqt < 0 ? -1 : UInt8(picture[dqt + 5]);
}

} // namespace

TEST(ThumbnailMaking, FitsTheSquareWithoutEnlargingAndKeepsThinImagesVisible)
{
    EXPECT_EQ(ThumbnailFrame(MakeRect(0, 0, 1200, 1600), 160), MakeRect(0, 0, 120, 160));
    EXPECT_EQ(ThumbnailFrame(MakeRect(0, 0, 1600, 1200), 160), MakeRect(0, 0, 160, 120));
    EXPECT_EQ(ThumbnailFrame(MakeRect(0, 0, 50, 100), 160), MakeRect(0, 0, 50, 100));
    EXPECT_EQ(ThumbnailFrame(MakeRect(10, 20, 60, 120), 160), MakeRect(0, 0, 50, 100));
    EXPECT_EQ(ThumbnailFrame(MakeRect(0, 0, 10, 5000), 160), MakeRect(0, 0, 1, 160));

    auto big = ThumbnailOf(SaveImage(TestPattern(1600, 1200), "big.jpg", "JPEG"), 'JPEG');
    ASSERT_EQ(big.status, noErr);
    EXPECT_EQ(big.picture.Frame(), MakeRect(0, 0, 120, 160));
    EXPECT_FALSE(big.smallMedium);

    auto small = ThumbnailOf(SaveImage(TestPattern(100, 50), "small.png", "PNG"), 'PNGf');
    ASSERT_EQ(small.status, noErr);
    EXPECT_EQ(small.picture.Frame(), MakeRect(0, 0, 50, 100));
    EXPECT_TRUE(small.smallMedium);
}

TEST(ThumbnailMaking, EveryStillFormatGivesAnUprightThumbnailOfTheFittedSize)
{
    const QImage pattern = TestPattern(400, 300);
    struct Case {
        QString path;
        OSType type;
        Rect frame;
    };
    QList<Case> cases = {
        { SaveImage(pattern, "p.jpg", "JPEG"), 'JPEG', MakeRect(0, 0, 120, 160) },
        { SaveImage(pattern, "p.png", "PNG"), 'PNGf', MakeRect(0, 0, 120, 160) },
        { SaveImage(pattern, "p.bmp", "BMP"), 'BMPf', MakeRect(0, 0, 120, 160) },
        { SaveImage(pattern, "p.tif", "TIFF"), 'TIFF', MakeRect(0, 0, 120, 160) },
        { SaveImage(pattern.transformed(QTransform().rotate(90)), "tall.jpg", "JPEG"), 'JPEG',
            MakeRect(0, 0, 160, 120) },
    };
    {
        // A picture file: 512-byte header, then our own picture of the pattern.
        const QString path = QDir(TestTempDir()).filePath("p.pict");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Picture::FromImage(pattern, MakeRect(0, 0, 300, 400)).ToFileData());
        f.close();
        cases.append({ path, 'PICT', MakeRect(0, 0, 120, 160) });
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        auto result = ThumbnailOf(c.path, c.type);
        ASSERT_EQ(result.status, noErr);
        EXPECT_EQ(result.picture.Frame(), c.frame);
        QImage image = Render(result.picture);
        ASSERT_EQ(image.size(), QSize(c.frame.Width(), c.frame.Height()));
        if (c.frame.Width() > c.frame.Height()) {
            // Red on the left, blue on the right, white square near the top left.
            EXPECT_TRUE(Near(image.pixel(10, image.height() - 10), qRgb(200, 30, 30), 40));
            EXPECT_TRUE(Near(image.pixel(image.width() - 10, image.height() - 10), qRgb(30, 30, 200), 40));
            EXPECT_TRUE(Near(image.pixel(image.width() / 5, image.height() / 5), qRgb(255, 255, 255), 40));
        }
    }

    // Small real files of other makers' programs.
    for (const char* name : { "exiftool-images/GIF.gif", "exiftool-images/BMP.bmp", "exiftool-images/PNG.png",
             "exiftool-images/Photoshop.psd" }) {
        SCOPED_TRACE(name);
        const QString path = TestDataPath(name);
        auto result = ThumbnailOf(path, FileTypeForName(path));
        ASSERT_EQ(result.status, noErr);
        EXPECT_TRUE(result.smallMedium);
        EXPECT_FALSE(result.picture.Frame().IsEmpty());
    }
}

TEST(ThumbnailMaking, KeepsThePictureAsStoredWhateverItsExifOrientation)
{
    // landscape_6 is stored 450 x 600 with orientation 6: the thumbnail is not
    // turned (the display picture turns it).
    auto turned = ThumbnailOf(TestDataPath("exif-samples/jpg/orientation/landscape_6.jpg"), 'JPEG');
    ASSERT_EQ(turned.status, noErr);
    EXPECT_EQ(turned.picture.Frame(), MakeRect(0, 0, 160, 120));
    auto upright = ThumbnailOf(TestDataPath("exif-samples/jpg/orientation/landscape_1.jpg"), 'JPEG');
    ASSERT_EQ(upright.status, noErr);
    EXPECT_EQ(upright.picture.Frame(), MakeRect(0, 0, 120, 160));
}

TEST(ThumbnailMaking, CompressionChoiceSetsTheJpegQualityInThePicture)
{
    const QString path = SaveImage(TestPattern(640, 480), "q.png", "PNG");
    struct Case {
        SInt32 compression;
        UInt32 codecQuality;
        int luminanceQuantiser; // libjpeg's first table entry at the matching JPEG quality
    };
    const Case cases[] = {
        { 2, 1023, 1 }, { 3, 768, 8 }, { 4, 512, 16 }, { 5, 256, 32 }, { 6, 0, 255 },
        { 0, 768, 8 }, { 9, 768, 8 }, // outside the table: the default's quality
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.compression);
        auto result = ThumbnailOf(path, 'PNGf', Settings(c.compression));
        ASSERT_EQ(result.status, noErr);
        const QByteArray& d = result.picture.Data();
        ASSERT_GT(d.size(), kDescriptionWidthAt + 4);
        EXPECT_EQ(BE16(d, kImageOpcodeAt), 0x8200);
        EXPECT_EQ(BE16(d, kModeAt), 64) << "recorded with ditherCopy";
        EXPECT_EQ(BE32(d, kDescriptionCodecAt), UInt32('jpeg'));
        EXPECT_EQ(BE32(d, kDescriptionSpatialQualityAt), c.codecQuality);
        EXPECT_EQ(BE16(d, kDescriptionWidthAt), 160);
        EXPECT_EQ(FirstQuantiser(d), c.luminanceQuantiser);
    }

    auto plain = ThumbnailOf(path, 'PNGf', Settings(1));
    ASSERT_EQ(plain.status, noErr);
    EXPECT_EQ(BE16(plain.picture.Data(), kImageOpcodeAt), 0x009A) << "uncompressed: direct pixels";
    PictInfo info;
    ASSERT_EQ(plain.picture.GetInfo(info), noErr);
    EXPECT_EQ(info.compressedCodec, 0u);
    EXPECT_EQ(info.depth, 32);
}

TEST(ThumbnailMaking, SharpensExceptDocumentsRawAndFonts)
{
    auto drawn = [] {
        Offscreen world(MakeRect(0, 0, 40, 40));
        QPainter p(&world.Image());
        p.fillRect(0, 0, 20, 40, QColor(100, 100, 100));
        p.fillRect(20, 0, 20, 40, QColor(160, 160, 160));
        return world;
    };
    auto make = [&](OSType type, bool sharpen) {
        ThumbnailRequest request;
        request.fileType = type;
        request.drawn = drawn();
        auto result = MakeThumbnail(request, Settings(1, sharpen));
        EXPECT_EQ(result.status, noErr);
        return Render(result.picture);
    };
    const QImage plain = make('JPEG', false);
    const QImage sharpened = make('JPEG', true);
    // The edge between the halves gets steeper; flat areas stay as they were.
    EXPECT_EQ(qRed(plain.pixel(19, 20)), 100);
    EXPECT_LT(qRed(sharpened.pixel(19, 20)), 100);
    EXPECT_GT(qRed(sharpened.pixel(20, 20)), 160);
    EXPECT_EQ(qRed(sharpened.pixel(5, 20)), 100);
    for (OSType type : { OSType('PDF '), OSType('EPSF'), OSType('RAW '), OSType('sfnt') })
        EXPECT_EQ(make(type, true), plain) << FourCharCodeToString(type);
}

TEST(ThumbnailMaking, BadFilesGiveACodeAndNoPicture)
{
    auto missing = ThumbnailOf(QDir(TestTempDir()).filePath("none.jpg"), 'JPEG');
    EXPECT_EQ(missing.status, fnfErr);
    EXPECT_TRUE(missing.picture.IsNull());

    const QString garbage = QDir(TestTempDir()).filePath("garbage.jpg");
    QFile f(garbage);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\xFF\xD8\xFF\xE0 not really a jpeg at all", 30));
    f.close();
    auto broken = ThumbnailOf(garbage, 'JPEG');
    EXPECT_NE(broken.status, noErr);
    EXPECT_TRUE(broken.picture.IsNull());

    const QString cutPath = SaveImage(TestPattern(800, 600), "cut.jpg", "JPEG");
    const QByteArray whole = ReadWholeFile(cutPath);
    QFile cutFile(cutPath);
    ASSERT_TRUE(cutFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
    cutFile.write(whole.left(whole.size() / 2));
    cutFile.close();
    auto cut = ThumbnailOf(cutPath, 'JPEG');
    EXPECT_NE(cut.status, noErr);
    EXPECT_TRUE(cut.picture.IsNull());

    // Kinds that only their medium draws are not decoded from the file.
    EXPECT_EQ(ThumbnailOf(TestDataPath("exiftool-images/PDF.pdf"), 'PDF ').status, paramErr);
    EXPECT_FALSE(IsThumbnailMadeFromFile('MooV'));
    EXPECT_FALSE(IsThumbnailMadeFromFile('sfnt'));
    EXPECT_TRUE(IsThumbnailMadeFromFile('JPEG'));
    EXPECT_TRUE(IsThumbnailMadeFromFile('GIFf'));
}

TEST(ThumbnailMaking, MediaDrawnAtThumbnailSizeGiveTheSameThumbnail)
{
    const QString path = SaveImage(TestPattern(800, 600), "medium.jpg", "JPEG");
    std::unique_ptr<CMedia> media = CreateMediaForFile(QUrl::fromLocalFile(path));
    ASSERT_TRUE(media);
    const ThumbnailSettings settings = Settings();
    bool small = true;
    ThumbnailRequest request;
    request.fileType = 'JPEG';
    request.drawn = DrawMediumForThumbnail(*media, settings, &small);
    request.smallMedium = small;
    EXPECT_FALSE(small);
    auto viaMedium = MakeThumbnail(request, settings);
    auto viaFile = ThumbnailOf(path, 'JPEG', settings);
    ASSERT_EQ(viaMedium.status, noErr);
    ASSERT_EQ(viaFile.status, noErr);
    EXPECT_EQ(viaMedium.picture.Frame(), viaFile.picture.Frame());
    const QImage a = Render(viaMedium.picture);
    const QImage b = Render(viaFile.picture);
    for (QPoint at : { QPoint(10, 100), QPoint(150, 100), QPoint(32, 24) })
        EXPECT_TRUE(Near(a.pixel(at), b.pixel(at), 24)) << at.x() << "," << at.y();
}

TEST(ThumbnailMaking, DocumentsMoviesFontsAndRawFilesThroughTheirMedia)
{
    const QString font = QDir(TestTempDir()).filePath("DejaVuSans.ttf");
    QFile::copy(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"), font);
    struct Case {
        QString path;
        Rect frame; // empty: any frame within the square
    };
    const Case cases[] = {
        { MakeMediaWithFFmpeg("movie.mp4",
              { "-f", "lavfi", "-i", "testsrc2=size=640x480:rate=10:duration=1", "-pix_fmt", "yuv420p" }),
            MakeRect(0, 0, 120, 160) },
        { WriteTestDNG(QDir(TestTempDir()).filePath("camera.dng"), 1200, 800, 480), MakeRect(0, 0, 106, 160) },
        { font, Rect {} },
        { TestDataPath("exiftool-images/PDF.pdf"), Rect {} },
        { TestDataPath("exiftool-images/PostScript.eps"), Rect {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        std::unique_ptr<CMedia> media;
        ASSERT_EQ(CatchCode([&] { media = CreateMediaForFile(QUrl::fromLocalFile(c.path)); }), noErr);
        ASSERT_TRUE(media);
        bool small = false;
        Offscreen drawn;
        ASSERT_EQ(CatchCode([&] { drawn = DrawMediumForThumbnail(*media, Settings(), &small); }), noErr);
        if (!c.frame.IsEmpty())
            EXPECT_EQ(drawn.Bounds(), c.frame);
        EXPECT_LE(std::max(drawn.Width(), drawn.Height()), 160);
        EXPECT_GT(std::min(drawn.Width(), drawn.Height()), 0);

        ThumbnailRequest request;
        request.fileType = GetMediaFileType(QUrl::fromLocalFile(c.path));
        request.drawn = drawn;
        auto result = MakeThumbnail(request, Settings());
        ASSERT_EQ(result.status, noErr);
        EXPECT_EQ(result.picture.Frame(), drawn.Bounds());
    }
}

// Each thumbnail is made on the worker that takes it. With Qt's shared pool held
// busy, large pictures of every kind (a photograph, a translucent PNG, a large
// thumbnail colour-matched from a profile) still come out: nothing waits on it.
TEST(ThumbnailMaking, WorkersNeverWaitOnQtsSharedThreadPool)
{
    const QImage photo = PhotoLike(4000, 3000);
    QImage translucent = PhotoLike(1200, 900).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < translucent.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(translucent.scanLine(y));
        for (int x = 0; x < translucent.width(); ++x)
            line[x] = (line[x] & 0x00FFFFFF) | (QRgb(x * 255 / translucent.width()) << 24);
    }
    QImage profiled = PhotoLike(2400, 1800);
    profiled.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    struct Case {
        QString path;
        OSType type;
        SInt16 size;
    };
    const Case cases[] = {
        { SaveImage(photo, "pool-photo.jpg", "JPEG"), 'JPEG', 160 },
        { SaveImage(translucent, "pool-translucent.png", "PNG"), 'PNGf', 160 },
        { SaveImage(profiled, "pool-profiled.jpg", "JPEG"), 'JPEG', 600 },
    };

    QThreadPool* shared = QThreadPool::globalInstance();
    const int sharedThreads = shared->maxThreadCount();
    shared->setMaxThreadCount(1);
    QSemaphore holdShared, finished;
    shared->start([&] { holdShared.acquire(); });
    std::vector<ThumbnailResult> results;
    std::thread worker([&] {
        for (const Case& c : cases) {
            ThumbnailSettings settings = Settings();
            settings.size = c.size;
            results.push_back(ThumbnailOf(c.path, c.type, settings));
        }
        finished.release();
    });
    const bool done = finished.tryAcquire(1, 20000);
    holdShared.release();
    worker.join();
    shared->waitForDone();
    shared->setMaxThreadCount(sharedThreads);

    EXPECT_TRUE(done) << "a thumbnail waited on Qt's shared thread pool";
    ASSERT_EQ(results.size(), std::size(cases));
    EXPECT_EQ(results[0].picture.Frame(), MakeRect(0, 0, 120, 160));
    EXPECT_EQ(results[1].picture.Frame(), MakeRect(0, 0, 120, 160));
    EXPECT_EQ(results[2].picture.Frame(), MakeRect(0, 0, 450, 600));
    for (const ThumbnailResult& result : results)
        EXPECT_EQ(result.status, noErr) << result.reason;
    // The translucent picture lies on white: its left edge (clear) white, its right edge the picture.
    const QImage onWhite = Render(results[1].picture);
    EXPECT_TRUE(Near(onWhite.pixel(0, 60), qRgb(255, 255, 255), 8));
}

TEST(ThumbnailMaking, BatchGivesTheResultsInOrderFromAnyThread)
{
    std::vector<ThumbnailRequest> requests(5);
    requests[0].path = SaveImage(TestPattern(900, 600), "b0.jpg", "JPEG");
    requests[0].fileType = 'JPEG';
    requests[1].path = QDir(TestTempDir()).filePath("missing.jpg");
    requests[1].fileType = 'JPEG';
    requests[2].path = SaveImage(TestPattern(300, 600), "b2.png", "PNG");
    requests[2].fileType = 'PNGf';
    requests[3].fileType = 'JPEG';
    requests[3].drawn = Offscreen(TestPattern(90, 60));
    requests[3].smallMedium = true;
    requests[4].path = TestDataPath("exif-samples/jpg/Canon_40D.jpg");
    requests[4].fileType = 'JPEG';
    requests[4].copyMetaData = true;
    const ThumbnailSettings settings = Settings();

    std::vector<ThumbnailResult> one;
    for (const auto& r : requests)
        one.push_back(MakeThumbnail(r, settings));

    std::vector<ThumbnailResult> fromMain = MakeThumbnails(requests, settings);
    std::vector<ThumbnailResult> fromThread;
    bool done = false;
    auto* thread = new LFunctionThread([&] {
        fromThread = MakeThumbnails(requests, settings);
        done = true;
    });
    thread->Resume();
    ASSERT_TRUE(LThread::RunUntil([&] { return done; }, 20000));

    for (const auto* batch : { &fromMain, &fromThread }) {
        ASSERT_EQ(batch->size(), requests.size());
        for (std::size_t i = 0; i < requests.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ((*batch)[i].status, one[i].status);
            EXPECT_EQ((*batch)[i].picture, one[i].picture);
            EXPECT_EQ((*batch)[i].smallMedium, one[i].smallMedium);
        }
    }
    EXPECT_EQ(one[1].status, fnfErr);
    EXPECT_EQ(one[2].picture.Frame(), MakeRect(0, 0, 160, 80));
    EXPECT_TRUE(one[3].smallMedium);
    ASSERT_TRUE(fromMain[4].metaData.has_value());
    EXPECT_GT(fromMain[4].metaData->CountUserDataType('\xA9mak'), 0);
}

TEST(ThumbnailFiles, NamesAndNumbers)
{
    EXPECT_EQ(ThumbnailFileName(7), "7.pct");
    EXPECT_EQ(ThumbnailFileName(1234), "1234.pct");
    const QUrl thumbs = QUrl::fromLocalFile("/idx/A.idxp/thumbs/");
    EXPECT_EQ(ThumbnailFileURL(thumbs, 7).toLocalFile(), "/idx/A.idxp/thumbs/7.pct");
    EXPECT_EQ(ThumbnailFileURL(QUrl::fromLocalFile("/idx/A.idxp/thumbs"), 7).toLocalFile(), "/idx/A.idxp/thumbs/7.pct");
    EXPECT_TRUE(ThumbnailFileURL(thumbs, 0).isEmpty());
    EXPECT_TRUE(ThumbnailFileURL(thumbs, -4).isEmpty());
    EXPECT_TRUE(ThumbnailFileURL(QUrl("http://host/thumbs/"), 7).isEmpty());

    SInt32 counter = 1;
    int drawn = 0;
    auto next = [&] {
        ++drawn;
        return counter++;
    };
    // A new item gets the package's next number; numbers are handed out once.
    EXPECT_EQ(ThumbnailNumberForWrite(0, false, next), 1);
    EXPECT_EQ(ThumbnailNumberForWrite(0, false, next), 2);
    // A changed picture (negative number) is written under its own number.
    EXPECT_EQ(ThumbnailNumberForWrite(-4, false, next), 4);
    EXPECT_EQ(ThumbnailNumberForWrite(4, false, next), 4);
    EXPECT_EQ(drawn, 2);
    // An item from another package gets a number of this one even when it had one.
    EXPECT_EQ(ThumbnailNumberForWrite(9, true, next), 3);
    EXPECT_EQ(ThumbnailNumberForWrite(-9, true, next), 4);

    EXPECT_EQ(ThumbnailNumberAfterNewPicture(12), -12);
    EXPECT_EQ(ThumbnailNumberAfterNewPicture(-12), -12);
    EXPECT_EQ(ThumbnailNumberAfterNewPicture(0), 0);
}

TEST(ThumbnailFiles, FileIsAZeroHeaderThenThePictureAndReadsBack)
{
    QDir dir(TestTempDir());
    ASSERT_TRUE(dir.mkpath("pkg.idxp/thumbs"));
    const QUrl thumbs = QUrl::fromLocalFile(dir.filePath("pkg.idxp/thumbs/"));
    const QImage pattern = TestPattern(160, 120);
    const Picture picture = Picture::FromImageAsJPEG(pattern, MakeRect(0, 0, 120, 160), codecHighQuality, ditherCopy);

    const QUrl file = ThumbnailFileURL(thumbs, 7);
    WriteThumbnailFile(file, picture);
    const QByteArray bytes = ReadWholeFile(dir.filePath("pkg.idxp/thumbs/7.pct"));
    ASSERT_EQ(bytes.size(), 512 + picture.Size());
    EXPECT_EQ(bytes.left(512), QByteArray(512, '\0'));
    EXPECT_EQ(bytes.mid(512), picture.Data());

    const Picture back = ReadThumbnailFile(file);
    EXPECT_EQ(back, picture);
    const QImage pixels = Render(back);
    ASSERT_EQ(pixels.size(), pattern.size());
    for (QPoint at : { QPoint(5, 100), QPoint(150, 100), QPoint(30, 20) })
        EXPECT_TRUE(Near(pixels.pixel(at), pattern.pixel(at), 24));

    // Writing again replaces the file whole and leaves nothing beside it.
    const Picture plain = Picture::FromImage(pattern, MakeRect(0, 0, 120, 160), ditherCopy);
    WriteThumbnailFile(file, plain);
    EXPECT_EQ(ReadWholeFile(dir.filePath("pkg.idxp/thumbs/7.pct")).mid(512), plain.Data());
    EXPECT_EQ(QDir(dir.filePath("pkg.idxp/thumbs")).entryList(QDir::Files), QStringList { "7.pct" });

    EXPECT_EQ(CatchCode([&] { WriteThumbnailFile(file, Picture()); }), err_NilPointer);
    EXPECT_EQ(CatchCode([&] { WriteThumbnailFile(QUrl(), plain); }), err_NilPointer);
    EXPECT_EQ(CatchCode([&] { WriteThumbnailFile(ThumbnailFileURL(QUrl::fromLocalFile(dir.filePath("gone/")), 3), plain); }),
        dirNFErr);
    EXPECT_EQ(ReadWholeFile(dir.filePath("pkg.idxp/thumbs/7.pct")).mid(512), plain.Data());
}

TEST(ThumbnailFiles, AFullDiskThrowsAndKeepsTheOldThumbnail)
{
    QDir dir(TestTempDir());
    ASSERT_TRUE(dir.mkpath("full.idxp/thumbs"));
    const QUrl file = ThumbnailFileURL(QUrl::fromLocalFile(dir.filePath("full.idxp/thumbs/")), 9);
    WriteThumbnailFile(file, Picture::FromImageAsJPEG(TestPattern(16, 12), MakeRect(0, 0, 12, 16), codecLowQuality));
    const QByteArray old = ReadWholeFile(file.toLocalFile());

    const Picture plain
        = Picture::FromImageAsJPEG(TestPattern(640, 480), MakeRect(0, 0, 480, 640), codecHighQuality, ditherCopy);
    ASSERT_GT(plain.Size(), old.size() + 4096);
    for (FullDisk kind : kFullDisks) {
        SCOPED_TRACE(FullDiskName(kind));
        const auto result = RunOnFullDisk(kind, dir.filePath("full.idxp/thumbs"), old.size() + 1024,
            [&] { return qint32(CatchCode([&] { WriteThumbnailFile(file, plain); })); });
        ASSERT_TRUE(result);
        EXPECT_EQ(*result, -34);
        EXPECT_EQ(ReadWholeFile(file.toLocalFile()), old);
        EXPECT_EQ(QDir(dir.filePath("full.idxp/thumbs")).entryList(QDir::Files | QDir::Hidden), QStringList { "9.pct" });
    }
}

TEST(ThumbnailFiles, DamagedOrMissingFilesGiveACode)
{
    QDir dir(TestTempDir());
    ASSERT_TRUE(dir.mkpath("damaged/thumbs"));
    const QUrl thumbs = QUrl::fromLocalFile(dir.filePath("damaged/thumbs/"));
    const Picture picture = Picture::FromImageAsJPEG(TestPattern(160, 120), MakeRect(0, 0, 120, 160), codecHighQuality);
    const QByteArray whole = picture.ToFileData();

    EXPECT_EQ(CatchCode([&] { ReadThumbnailFile(ThumbnailFileURL(thumbs, 99)); }), err_AssertFailed);

    auto readCut = [&](qsizetype length) {
        QFile f(dir.filePath("damaged/thumbs/5.pct"));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(whole.left(length));
        f.close();
        return CatchCode([&] { ReadThumbnailFile(ThumbnailFileURL(thumbs, 5)); });
    };
    for (qsizetype length : { qsizetype(0), qsizetype(100), qsizetype(512), qsizetype(520), qsizetype(600),
             whole.size() / 2, whole.size() - 3 }) {
        EXPECT_NE(readCut(length), noErr) << "cut at " << length;
    }
    EXPECT_EQ(readCut(whole.size()), noErr);

    QByteArray noise = whole;
    for (qsizetype i = 512 + 10; i < 512 + 60; ++i)
        noise[i] = char(0xEE);
    QFile f(dir.filePath("damaged/thumbs/6.pct"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(noise);
    f.close();
    EXPECT_NE(CatchCode([&] { ReadThumbnailFile(ThumbnailFileURL(thumbs, 6)); }), noErr);
}

TEST(FinderPreviews, ThePreviewListNamesThePictureElseTheFirstPictureServes)
{
    const QString path = SaveImage(TestPattern(40, 30), "previewed.jpg", "JPEG");
    const FileRef file(path);
    Picture out;
    ASSERT_EQ(ReadFilePreview(file, out), resNotFound);

    const Picture p256 = Picture::FromImage(TestPattern(16, 12), MakeRect(0, 0, 12, 16));
    const Picture p128 = Picture::FromImage(TestPattern(8, 6), MakeRect(0, 0, 6, 8));
    const QDateTime modified = QFileInfo(path).lastModified();

    ASSERT_EQ(AddFilePreview(file, p256), noErr);
    QByteArray list;
    ASSERT_EQ(ReadFileResource(file, 'pnot', 0, list), noErr);
    ASSERT_EQ(list.size(), 12);
    EXPECT_EQ(BE16(list, 4), 0);
    EXPECT_EQ(BE32(list, 6), UInt32('PICT'));
    EXPECT_EQ(BE16(list, 10), 256);
    QByteArray stored;
    ASSERT_EQ(ReadFileResource(file, 'PICT', 256, stored), noErr);
    EXPECT_EQ(stored, p256.Data());
    EXPECT_EQ(QFileInfo(path).lastModified(), modified);

    ASSERT_EQ(WriteFileResource(file, 'PICT', 128, p128.Data()), noErr);
    ASSERT_EQ(ReadFilePreview(file, out), noErr);
    EXPECT_EQ(out, p256) << "the picture the list names";

    auto listNaming = [](OSType type, SInt16 id) {
        QByteArray bytes(12, '\0');
        bytes[6] = char(type >> 24);
        bytes[7] = char(type >> 16);
        bytes[8] = char(type >> 8);
        bytes[9] = char(type);
        bytes[10] = char(UInt16(id) >> 8);
        bytes[11] = char(id & 0xFF);
        return bytes;
    };
    ASSERT_EQ(WriteFileResource(file, 'pnot', 0, listNaming('PICT', 300)), noErr);
    ASSERT_EQ(ReadFilePreview(file, out), noErr);
    EXPECT_EQ(out, p128) << "a missing picture: the first 'PICT'";
    ASSERT_EQ(WriteFileResource(file, 'pnot', 0, listNaming('JPEG', 256)), noErr);
    ASSERT_EQ(ReadFilePreview(file, out), noErr);
    EXPECT_EQ(out, p128) << "another type: the first 'PICT'";
    ASSERT_EQ(WriteFileResource(file, 'pnot', 0, QByteArray(5, 'x')), noErr);
    ASSERT_EQ(ReadFilePreview(file, out), noErr);
    EXPECT_EQ(out, p128) << "a short list: the first 'PICT'";

    EXPECT_EQ(FileResourceIDs(file, 'PICT'), (QList<SInt16> { 128, 256 }));
    EXPECT_EQ(AddFilePreview(file, Picture()), err_NilPointer);
}

TEST(ThumbnailMaking, ACamerasPreviewServesUnlessBuiltInThumbnailsAreIgnored)
{
    // A blue photograph whose camera preview is red, of the same shape.
    QImage photo(1200, 800, QImage::Format_RGB32);
    photo.fill(QColor(20, 40, 220));
    const QString path = SaveImage(photo, "with-red-preview.jpg", "JPEG");
    QImage preview(240, 160, QImage::Format_RGB32);
    preview.fill(QColor(220, 30, 20));
    AddExifThumbnail(path, preview, [](Exiv2::ExifData& exif) { exif["Exif.Image.Make"] = "Orvex"; });

    ThumbnailSettings settings = Settings();
    const auto fromPreview = ThumbnailOf(path, 'JPEG', settings);
    ASSERT_EQ(fromPreview.status, noErr);
    EXPECT_EQ(fromPreview.picture.Frame(), MakeRect(0, 0, 106, 160));
    EXPECT_GT(qRed(Render(fromPreview.picture).pixel(80, 53)), 150);

    settings.useBuiltInThumbnail = false;
    const auto fromPhoto = ThumbnailOf(path, 'JPEG', settings);
    ASSERT_EQ(fromPhoto.status, noErr);
    EXPECT_EQ(fromPhoto.picture.Frame(), MakeRect(0, 0, 106, 160));
    EXPECT_GT(qBlue(Render(fromPhoto.picture).pixel(80, 53)), 150);
    EXPECT_LT(qRed(Render(fromPhoto.picture).pixel(80, 53)), 100);
}

TEST(ThumbnailMaking, LargeJpegsOfEveryLayoutGiveTheSameThumbnail)
{
    // Large enough for subsampled colour to fill the thumbnail from the blocks' DC terms.
    const QImage photo = PhotoLike(2560, 1920);
    const QImage expected = photo.scaled(160, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    auto save = [](const QByteArray& bytes, const QString& name) {
        const QString path = QDir(TestTempDir()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
    };
    // The mean difference per channel from the photograph shrunk.
    auto difference = [](const QImage& a, const QImage& b) {
        double sum = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
            }
        return sum / (3.0 * a.width() * a.height());
    };
    const ThumbnailSettings settings = Settings(2, false);
    const struct {
        const char* name;
        QByteArray jpeg;
    } cases[] = {
        { "baseline.jpg", WriteJpeg(photo, {}) },
        { "restarts.jpg", WriteJpeg(photo, { .lumaH = 1, .lumaV = 1, .restartInterval = 9 }) },
        { "progressive.jpg", WriteJpeg(photo, { .progressive = true }) },
        { "cmyk.jpg", WriteJpeg(photo, { .stored = JCS_CMYK, .lumaH = 1, .lumaV = 1 }) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = ThumbnailOf(save(c.jpeg, QString::fromLatin1(c.name)), 'JPEG', settings);
        ASSERT_EQ(result.status, noErr);
        ASSERT_EQ(result.picture.Frame(), MakeRect(0, 0, 120, 160));
        EXPECT_LE(difference(Render(result.picture), expected), 4.0);
    }

    // A profile in the file is applied to the thumbnail, whichever way it was decoded.
    QImage profiled = photo;
    profiled.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    QByteArray profiledBytes;
    {
        QBuffer buffer(&profiledBytes);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(profiled.save(&buffer, "JPEG", 92));
    }
    QImage matched = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(MatchImageToDisplay(matched, QColorSpace(QColorSpace::AdobeRgb).iccProfile()), noErr);
    ASSERT_GT(difference(matched, expected), 4.0) << "the profile changes the colours";
    const auto result = ThumbnailOf(save(profiledBytes, QStringLiteral("profiled.jpg")), 'JPEG', settings);
    ASSERT_EQ(result.status, noErr);
    EXPECT_LE(difference(Render(result.picture), matched), 4.0);

    // Twelve bits a sample: refused with a code, no picture.
    QByteArray twelveBit = cases[0].jpeg;
    const qsizetype sof = twelveBit.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    twelveBit[sof + 4] = 12;
    const auto refused = ThumbnailOf(save(twelveBit, QStringLiteral("twelve.jpg")), 'JPEG', settings);
    EXPECT_NE(refused.status, noErr);
    EXPECT_TRUE(refused.picture.Frame().IsEmpty());
}
