#include "CPSMedia.h"
#include "CQTImageMedia.h"
#include "ErrorCodes.h"
#include "MediaFactory.h"
#include "MediaTestSupport.h"
#include "Preferences.h"
#include "GraphicsExporter.h"

#include <gtest/gtest.h>

#include <QColorSpace>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

QStringList CameraFiles()
{
    QStringList files;
    for (const char* folder : { "exif-samples/jpg", "exif-samples/tiff" }) {
        QDir dir(TestDataPath(QLatin1String(folder)));
        for (const QString& name : dir.entryList({ QStringLiteral("*.jpg"), QStringLiteral("*.tiff") }, QDir::Files))
            files << dir.filePath(name);
    }
    files << TestDataPath(QStringLiteral("exif-samples/jpg/xmp/BlueSquare.jpg"))
          << TestDataPath(QStringLiteral("exif-samples/jpg/xmp/no_exif.jpg"));
    return files;
}

// The pixel size exiv2 reports ("Image size      : 100 x 68").
QSize ExivImageSize(const QString& path)
{
    QProcess process;
    process.start(QStringLiteral("exiv2"), { QStringLiteral("-ps"), path });
    process.waitForFinished(30000);
    QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Image size\\s*:\\s*(\\d+) x (\\d+)"))
                                    .match(QString::fromUtf8(process.readAllStandardOutput()));
    return m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
}

// Draws a medium fitted into `box` (keeping its aspect) after its transform.
OSStatus DrawFitted(CMedia& media, QSize box, QImage& out)
{
    Rect natural;
    OSStatus status = media.GetNaturalBounds(&natural);
    if (status != noErr)
        return status;
    QSize size = QSize(natural.Width(), natural.Height()).scaled(box, Qt::KeepAspectRatio);
    Rect bounds = MakeRect(0, 0, size.height(), size.width());
    status = media.SetBoundsRect(&bounds);
    if (status != noErr)
        return status;
    Offscreen world(bounds);
    {
        StOffscreenPort port(world);
        media.SetGWorld(port.Port());
        status = media.DrawMatched();
    }
    out = world.Image();
    return status;
}

double MeanDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return 1e9;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

// The rotation and flip codes an item hands its medium for each EXIF orientation.
struct Turn {
    SInt32 rotation, flip;
};
const Turn kTurnForOrientation[9] = { {}, { 0, 0 }, { 0, 1 }, { 3, 0 }, { 0, 2 }, { 2, 1 }, { 2, 0 }, { 1, 1 }, { 1, 0 } };

} // namespace

TEST(StillMediaFiles, CameraFilesOpenMeasureAndDraw)
{
    const bool haveExiv = !QStandardPaths::findExecutable(QStringLiteral("exiv2")).isEmpty();
    const QStringList files = CameraFiles();
    ASSERT_GE(files.size(), 12);
    for (const QString& path : files) {
        std::unique_ptr<CMedia> media = CreateMediaForFile(FileUrl(path));
        ASSERT_TRUE(media) << path.toStdString();
        Rect natural;
        ASSERT_EQ(media->GetNaturalBounds(&natural), noErr) << path.toStdString();
        if (haveExiv) {
            QSize expected = ExivImageSize(path);
            if (expected.isValid())
                EXPECT_EQ(QSize(natural.Width(), natural.Height()), expected) << path.toStdString();
        }
        QImage drawn;
        EXPECT_EQ(DrawFitted(*media, QSize(160, 160), drawn), noErr) << path.toStdString();
        MediaImageInfo info;
        EXPECT_EQ(media->GetDescription(&info), noErr);
        EXPECT_EQ(info.width, natural.Width());
    }
}

TEST(StillMediaFiles, EveryOrientationTurnsUpright)
{
    for (const char* shape : { "landscape", "portrait" }) {
        const QString dir = TestDataPath(QStringLiteral("exif-samples/jpg/orientation/"));
        CQTImageMedia upright(FileUrl(dir + QLatin1String(shape) + QStringLiteral("_1.jpg")));
        QImage reference;
        ASSERT_EQ(DrawFitted(upright, QSize(120, 120), reference), noErr);
        for (int orientation = 2; orientation <= 8; ++orientation) {
            const QString path = dir + QLatin1String(shape) + QStringLiteral("_%1.jpg").arg(orientation);
            CQTImageMedia media(FileUrl(path));
            QImage stored;
            ASSERT_EQ(DrawFitted(media, QSize(120, 120), stored), noErr);
            CQTImageMedia turned(FileUrl(path));
            turned.SetTransform(kTurnForOrientation[orientation].rotation, kTurnForOrientation[orientation].flip);
            QImage drawn;
            ASSERT_EQ(DrawFitted(turned, QSize(120, 120), drawn), noErr);
            ASSERT_EQ(drawn.size(), reference.size()) << path.toStdString();
            // Turned, the picture matches the upright one; as stored, it does not.
            EXPECT_LT(MeanDifference(drawn, reference), 12.0) << path.toStdString();
            EXPECT_GT(MeanDifference(stored.size() == reference.size() ? stored : drawn.mirrored(true, true), reference),
                MeanDifference(drawn, reference) + 10.0)
                << path.toStdString();
        }
    }
}

TEST(StillMediaFiles, BrokenFilesGiveCodesNeverACrash)
{
    QStringList broken;
    for (const char* folder : { "exif-samples/jpg/invalid", "exif-samples/jpg/tests" }) {
        QDir dir(TestDataPath(QLatin1String(folder)));
        for (const QString& name : dir.entryList(QDir::Files))
            broken << dir.filePath(name);
    }
    for (const QString& path : broken) {
        try {
            std::unique_ptr<CMedia> media = CreateMediaForFile(FileUrl(path));
            if (!media)
                continue;
            QImage drawn;
            OSStatus status = DrawFitted(*media, QSize(160, 160), drawn);
            // A picture comes out, or a code says why not.
            EXPECT_TRUE(status != noErr || !drawn.isNull()) << path.toStdString();
            media->GetMetaData();
            MediaImageInfo info;
            media->GetDescription(&info);
            Picture thumb;
            media->GetThumbnailPicture(&thumb);
        } catch (const ExceptionCode& e) {
            EXPECT_NE(e.Code(), noErr);
        }
    }
    // A camera file cut short reports its fault when drawn, and keeps what it decoded.
    QByteArray whole = ReadWholeFile(TestDataPath(QStringLiteral("exif-samples/jpg/orientation/landscape_1.jpg")));
    const QString cutPath = TestTempDir() + QStringLiteral("/cut.jpg");
    {
        QFile file(cutPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(whole.left(whole.size() / 2));
    }
    auto cut = CreateMediaForFile(FileUrl(cutPath));
    ASSERT_TRUE(cut);
    QImage drawn;
    EXPECT_EQ(DrawFitted(*cut, QSize(160, 160), drawn), codecBadDataErr);
    EXPECT_FALSE(drawn.isNull());
}

TEST(StillMediaFiles, EmbeddedThumbnailPictureOfACameraFile)
{
    CQTImageMedia media(FileUrl(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg"))));
    Rect bounds = MakeRect(0, 0, 34, 50);
    media.SetBoundsRect(&bounds);
    Picture thumb;
    ASSERT_EQ(media.GetThumbnailPicture(&thumb), noErr);
    EXPECT_FALSE(thumb.Frame().IsEmpty());
    // The importer is back on the main image with the caller's bounds.
    SInt32 index = 0;
    media.GetImporter()->GetImageIndex(&index);
    EXPECT_EQ(index, 1);
    Rect after;
    media.GetBoundsRect(&after);
    EXPECT_EQ(after, bounds);
    // The second call of CopyMetaData reads the metadata again.
    auto first = media.CopyMetaData();
    auto second = media.CopyMetaData();
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(*first, *second);
    Str255 make;
    ASSERT_EQ(media.CopyUserDataText(UserDataTextType("mak"), make, 1), noErr);
    EXPECT_EQ(PStringToQString(make), QStringLiteral("Canon"));
}

TEST(StillMediaFiles, EmbeddedProfileIsMatchedOnlyWhenThePreferenceSaysSo)
{
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(qRgb(150, 100, 50));
    // ProPhoto's primaries are far from sRGB's: matching moves this brown visibly.
    image.setColorSpace(QColorSpace(QColorSpace::ProPhotoRgb));
    const QString path = TestTempDir() + QStringLiteral("/prophoto.png");
    ASSERT_TRUE(image.save(path));
    CQTImageMedia media(FileUrl(path));
    ASSERT_TRUE(media.HasColorProfile());
    MediaImageInfo info;
    media.GetDescription(&info);
    EXPECT_EQ(info.hasColorProfile, 1);

    QImage matched, unmatched;
    {
        StTempPrefBoolean on(QStringLiteral("MediaUseICCProfile"), true);
        ASSERT_EQ(DrawFitted(media, QSize(40, 40), matched), noErr);
    }
    {
        StTempPrefBoolean off(QStringLiteral("MediaUseICCProfile"), false);
        ASSERT_EQ(DrawFitted(media, QSize(40, 40), unmatched), noErr);
    }
    EXPECT_TRUE(Near(unmatched.pixel(20, 20), QColor(150, 100, 50), 2));
    EXPECT_FALSE(Near(matched.pixel(20, 20), QColor(150, 100, 50), 10)) << std::hex << matched.pixel(20, 20);
    SInt32 flags = 0;
    media.GetImporter()->GetFlags(&flags);
    EXPECT_TRUE(flags & kGraphicsImporterDontUseColorMatching);
}

TEST(StillMediaFiles, PostScriptMediumHasNoZoomLimit)
{
    auto media = CreateMediaForFile(FileUrl(TestDataPath(QStringLiteral("exiftool-images/PostScript.eps"))));
    ASSERT_TRUE(media);
    EXPECT_NE(dynamic_cast<CPSMedia*>(media.get()), nullptr);
    EXPECT_EQ(media->GetMaxZoom(), -1);
    Rect natural;
    ASSERT_EQ(media->GetNaturalBounds(&natural), noErr);
    EXPECT_EQ(natural, MakeRect(0, 0, 8, 8));
    QImage drawn;
    EXPECT_EQ(DrawFitted(*media, QSize(64, 64), drawn), noErr);
    EXPECT_EQ(drawn.size(), QSize(64, 64));
}

TEST(StillMediaFiles, PostScriptWithoutGhostscriptGivesItsOwnMessage)
{
    // A PATH with no gs on it stands for a system without Ghostscript.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(TestTempDir()));
    const QUrl eps = FileUrl(TestDataPath(QStringLiteral("exiftool-images/PostScript.eps")));
    const OSStatus direct = CatchCode([&] { CPSMedia media(eps); });
    const OSStatus factory = CatchCode([&] { CreateMediaForFile(eps); });
    qputenv("PATH", path);
    EXPECT_EQ(direct, kMsgEPSNotAvailable);
    EXPECT_EQ(factory, kMsgEPSNotAvailable);
    // A damaged EPS with Ghostscript present is a conversion failure, not this message.
    const QString broken = TestTempDir() + QStringLiteral("/broken.eps");
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\n this is not postscript {{{\n");
    file.close();
    const OSStatus damaged = CatchCode([&] { CPSMedia media(FileUrl(broken)); });
    EXPECT_NE(damaged, noErr);
    EXPECT_NE(damaged, kMsgEPSNotAvailable);
}

TEST(StillMediaFiles, ExportThroughTheMediumKeepsItsTurn)
{
    CQTImageMedia media(FileUrl(WriteQuadrantImage()));
    media.SetTransform(2, 0);
    Rect natural;
    media.GetNaturalBounds(&natural);
    media.SetBoundsRect(&natural);
    media.ApplyTransform();
    std::unique_ptr<GraphicsExporter> exporter;
    ASSERT_EQ(GraphicsExporter::Open('PNGf', exporter), noErr);
    const QString out = TestTempDir() + QStringLiteral("/turned.png");
    exporter->SetOutputFile(out);
    ASSERT_EQ(media.Export(exporter.get()), noErr);
    QImage back(out);
    EXPECT_EQ(back.size(), QSize(200, 300));
    EXPECT_TRUE(Near(back.pixel(5, 5), Qt::blue));
}
