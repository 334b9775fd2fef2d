#include "ColorMatching.h"
#include "GraphicsExporter.h"
#include "GraphicsImporter.h"
#include "ImageMetadata.h"
#include "ImageTestSupport.h"
#include "UserData.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <QColorSpace>
#include <exiv2/exiv2.hpp>

namespace {

OSStatus ExportImage(OSType type, const QImage& image, const QString& path,
    const std::function<void(GraphicsExporter&)>& setUp = {})
{
    std::unique_ptr<GraphicsExporter> exporter;
    OSStatus status = GraphicsExporter::Open(type, exporter);
    if (status != noErr)
        return status;
    exporter->SetInputOffscreen(Offscreen(image));
    exporter->SetOutputFile(path);
    if (setUp)
        setUp(*exporter);
    return exporter->DoExport();
}

} // namespace

TEST(ImageExport, AFullDiskFailsTheExportAndKeepsTheOldFile)
{
    const QString path = TestTempDir() + QStringLiteral("/export.psd");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the old export");
    }
    // Noise, so that no format compresses it under the limit.
    QImage image(400, 300, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, (seed = seed * 1664525u + 1013904223u) >> 8);
    for (FullDisk kind : kFullDisks) {
        SCOPED_TRACE(FullDiskName(kind));
        for (OSType type : { OSType('8BPS'), OSType('PNGf') }) {
            const auto result
                = RunOnFullDisk(kind, TestTempDir(), 4096, [&] { return qint32(ExportImage(type, image, path)); });
            ASSERT_TRUE(result);
            EXPECT_NE(*result, noErr);
            EXPECT_EQ(ReadWholeFile(path), QByteArray("the old export"));
        }
    }
    EXPECT_EQ(QDir(TestTempDir()).entryList(QDir::Files | QDir::Hidden), QStringList { "export.psd" });
}

namespace {

QByteArray AdobeRgbProfile()
{
    return QColorSpace(QColorSpace::AdobeRgb).iccProfile();
}

} // namespace

TEST(ImageExport, EveryTypeWritesAFileThatReadsBack)
{
    const QList<OSType> types = GraphicsExporter::AvailableTypes();
    for (OSType expected : { 'JPEG', 'TIFF', 'PNGf', 'BMPf', 'GIFf', 'PICT', '8BPS', 'jp2 ' })
        EXPECT_TRUE(types.contains(expected)) << FourCharCodeToString(expected);
    for (OSType type : types) {
        std::unique_ptr<GraphicsExporter> exporter;
        ASSERT_EQ(GraphicsExporter::Open(type, exporter), noErr);
        const QString path = TempFile(QStringLiteral("export.") + exporter->DefaultExtensionText());
        ASSERT_EQ(ExportImage(type, Quadrants(), path), noErr) << FourCharCodeToString(type);
        std::unique_ptr<GraphicsImporter> importer;
        ASSERT_EQ(GraphicsImporter::OpenFile(path, 0, importer), noErr) << FourCharCodeToString(type);
        Rect natural;
        importer->GetNaturalBounds(&natural);
        EXPECT_EQ(natural, MakeRect(0, 0, 80, 120)) << FourCharCodeToString(type);
        QImage back;
        ASSERT_EQ(importer->DecodeImage(QSize(), back), noErr);
        EXPECT_TRUE(Near(back.pixel(3, 3), Qt::red)) << FourCharCodeToString(type);
        EXPECT_TRUE(Near(back.pixel(116, 76), Qt::yellow)) << FourCharCodeToString(type);
        // No temporary file is left beside the output.
        EXPECT_TRUE(QDir(TestTempDir()).entryList({ QStringLiteral(".export*") }, QDir::Hidden | QDir::Files).isEmpty());
    }
    std::unique_ptr<GraphicsExporter> none;
    EXPECT_EQ(GraphicsExporter::Open('FPix', none), cantFindHandler);
}

TEST(ImageExport, Jpeg2000IsLosslessAtBestQualityAndSmallerBelowIt)
{
    // A picture with detail everywhere, so the quality shows in the size.
    QImage photo(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * x + y * 7) % 256, (y * y * 3 + x) % 256));
    auto exportAt = [&](CodecQ quality, const QImage& image, const QString& name) {
        const QString path = TempFile(name);
        EXPECT_EQ(ExportImage('jp2 ', image, path, [&](GraphicsExporter& e) { e.SetCompressionQuality(quality); }), noErr);
        return path;
    };
    auto decode = [](const QString& path) {
        std::unique_ptr<GraphicsImporter> importer;
        QImage back;
        EXPECT_EQ(GraphicsImporter::OpenFile(path, 0, importer), noErr);
        if (importer)
            EXPECT_EQ(importer->DecodeImage(QSize(), back), noErr);
        return back;
    };

    const QString lossless = exportAt(codecLosslessQuality, photo, QStringLiteral("lossless.jp2"));
    const QByteArray bytes = ReadWholeFile(lossless);
    // The JP2 signature box, then the file type box naming 'jp2 '.
    ASSERT_GE(bytes.size(), 24);
    EXPECT_EQ(bytes.left(12), QByteArray("\0\0\0\x0CjP  \r\n\x87\n", 12));
    EXPECT_EQ(bytes.mid(16, 8), QByteArray("ftypjp2 "));
    QImage back = decode(lossless).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(back.size(), photo.size());
    int differing = 0;
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            differing += back.pixel(x, y) != photo.pixel(x, y);
    EXPECT_EQ(differing, 0);

    const qint64 high = QFileInfo(exportAt(codecHighQuality, photo, QStringLiteral("high.jp2"))).size();
    const qint64 low = QFileInfo(exportAt(codecLowQuality, photo, QStringLiteral("low.jp2"))).size();
    EXPECT_LT(low, high);
    EXPECT_LT(high, bytes.size());
    const QImage lossy = decode(TempFile(QStringLiteral("low.jp2")));
    EXPECT_EQ(lossy.size(), photo.size());

    // Transparency is kept as a fourth component.
    QImage clear(32, 32, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            clear.setPixel(x, y, qRgba(0, 0, 255, 255));
    const QImage backClear = decode(exportAt(codecLosslessQuality, clear, QStringLiteral("clear.jp2")));
    ASSERT_TRUE(backClear.hasAlphaChannel());
    EXPECT_EQ(qAlpha(backClear.pixel(5, 5)), 255);
    EXPECT_EQ(qAlpha(backClear.pixel(5, 25)), 0);
}

TEST(ImageExport, ExtensionsByType)
{
    std::unique_ptr<GraphicsExporter> e;
    ASSERT_EQ(GraphicsExporter::Open('JPEG', e), noErr);
    EXPECT_EQ(e->DefaultFileNameExtension(), OSType('jpg '));
    EXPECT_EQ(e->DefaultExtensionText(), QStringLiteral("jpg"));
    ASSERT_EQ(GraphicsExporter::Open('8BPS', e), noErr);
    EXPECT_EQ(e->DefaultExtensionText(), QStringLiteral("psd"));
    ASSERT_EQ(GraphicsExporter::Open('PICT', e), noErr);
    EXPECT_EQ(e->DefaultExtensionText(), QStringLiteral("pct"));
}

TEST(ImageExport, QualityAndResolutionAreHonoured)
{
    QImage photo(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            photo.setPixel(x, y, qRgb((x * y) & 0xFF, (x * 3) & 0xFF, (y * 5) & 0xFF));
    const QString low = TempFile(QStringLiteral("low.jpg")), high = TempFile(QStringLiteral("high.jpg"));
    ASSERT_EQ(ExportImage('JPEG', photo, low, [](GraphicsExporter& e) { e.SetCompressionQuality(codecLowQuality); }), noErr);
    ASSERT_EQ(ExportImage('JPEG', photo, high, [](GraphicsExporter& e) { e.SetCompressionQuality(codecMaxQuality); }), noErr);
    EXPECT_LT(QFileInfo(low).size() * 2, QFileInfo(high).size());

    for (OSType type : { 'JPEG', 'PNGf', 'TIFF', 'PICT', '8BPS' }) {
        const QString path = TempFile(QStringLiteral("dpi-") + FourCharCodeToQString(type).trimmed());
        ASSERT_EQ(ExportImage(type, photo, path, [](GraphicsExporter& e) { e.SetResolution(300 << 16, 300 << 16); }), noErr);
        std::unique_ptr<GraphicsImporter> importer;
        ASSERT_EQ(GraphicsImporter::OpenFile(path, type, importer), noErr) << FourCharCodeToString(type);
        ImageDescription d;
        ASSERT_EQ(importer->GetImageDescription(d), noErr);
        if (type == '8BPS') {
            // Our Photoshop reader keeps no resolution; the resource is checked in the bytes.
            EXPECT_TRUE(ReadWholeFile(path).contains(QByteArray::fromHex("3842494D03ED000000000010012C0000")));
            continue;
        }
        EXPECT_NEAR(FixedToDouble(d.hRes), 300.0, 0.5) << FourCharCodeToString(type);
    }
}

TEST(ImageExport, ColourProfileIsEmbeddedAndReadBack)
{
    const QByteArray profile = AdobeRgbProfile();
    ASSERT_FALSE(profile.isEmpty());
    for (OSType type : { 'JPEG', 'PNGf', 'TIFF' }) {
        const QString path = TempFile(QStringLiteral("icc-") + FourCharCodeToQString(type).trimmed());
        ASSERT_EQ(ExportImage(type, Quadrants(), path, [&](GraphicsExporter& e) { e.SetColorProfile(profile); }), noErr);
        std::unique_ptr<GraphicsImporter> importer;
        ASSERT_EQ(GraphicsImporter::OpenFile(path, type, importer), noErr);
        EXPECT_EQ(importer->GetColorProfile(), profile) << FourCharCodeToString(type);
    }
}

TEST(ImageExport, ExifIptcAndThumbnailArePresentAfterwards)
{
    // Metadata of a real camera file, and an IPTC caption.
    std::unique_ptr<GraphicsImporter> camera;
    ASSERT_EQ(GraphicsImporter::OpenFile(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), 'JPEG', camera), noErr);
    UserData metadata;
    ASSERT_EQ(camera->GetMetaData(metadata), noErr);
    Exiv2::IptcData iptc;
    iptc["Iptc.Application2.Headline"] = "Harbour at dawn";
    iptc["Iptc.Application2.Byline"] = "A. Photographer";
    Exiv2::DataBuf iim = Exiv2::IptcParser::encode(iptc);

    const QString path = TempFile(QStringLiteral("meta.jpg"));
    ASSERT_EQ(ExportImage('JPEG', Quadrants(), path, [&](GraphicsExporter& e) {
        e.SetMetaData(&metadata);
        e.SetExifEnabled(true);
        e.SetIPTCData(QByteArray(reinterpret_cast<const char*>(iim.pData_), int(iim.size_)));
        e.SetThumbnailEnabled(true);
    }),
        noErr);

    UserData back;
    std::unique_ptr<GraphicsImporter> importer;
    ASSERT_EQ(GraphicsImporter::OpenFile(path, 'JPEG', importer), noErr);
    ASSERT_EQ(importer->GetMetaData(back), noErr);
    for (OSType type : { EXIFUserDataType(0x829A), EXIFUserDataType(0x8827), EXIFUserDataType(0x9003) }) {
        QByteArray a, b;
        metadata.GetUserData(a, type, 1);
        back.GetUserData(b, type, 1);
        EXPECT_EQ(a, b) << std::hex << type;
    }
    QByteArray make;
    ASSERT_EQ(back.GetUserDataText(make, UserDataTextType("mak"), 1, 0), noErr);
    EXPECT_EQ(make, QByteArray("Canon"));
    EXPECT_FALSE(ReadEmbeddedThumbnail(ReadWholeFile(path)).isEmpty());

    if (QStandardPaths::findExecutable(QStringLiteral("exiv2")).isEmpty())
        GTEST_SKIP() << "exiv2 is not installed";
    const QString exif = QString::fromUtf8(RunTool(QStringLiteral("exiv2"), { QStringLiteral("-pe"), path }));
    EXPECT_TRUE(exif.contains(QStringLiteral("Exif.Photo.ExposureTime"))) << exif.toStdString();
    EXPECT_TRUE(exif.contains(QStringLiteral("Exif.Image.Model"))) << exif.toStdString();
    const QString iptcText = QString::fromUtf8(RunTool(QStringLiteral("exiv2"), { QStringLiteral("-pi"), path }));
    EXPECT_TRUE(iptcText.contains(QStringLiteral("Harbour at dawn"))) << iptcText.toStdString();
}

TEST(ImageExport, FromAnImporterAndFromAPicture)
{
    const QString source = TempFile(QStringLiteral("source.png"));
    ASSERT_TRUE(Quadrants().save(source));
    std::unique_ptr<GraphicsImporter> importer;
    ASSERT_EQ(GraphicsImporter::OpenFile(source, 'PNGf', importer), noErr);
    Rect small = MakeRect(0, 0, 40, 60);
    importer->SetBoundsRect(&small);
    std::unique_ptr<GraphicsExporter> exporter;
    ASSERT_EQ(GraphicsExporter::Open('PNGf', exporter), noErr);
    exporter->SetInputImporter(importer.get());
    const QString out = TempFile(QStringLiteral("from-importer.png"));
    exporter->SetOutputFile(out);
    ASSERT_EQ(exporter->DoExport(), noErr);
    EXPECT_EQ(QImage(out).size(), QSize(60, 40));

    exporter->SetInputPicture(Picture::FromImage(Quadrants(), MakeRect(0, 0, 80, 120)));
    const QString out2 = TempFile(QStringLiteral("from-picture.png"));
    exporter->SetOutputFile(out2);
    ASSERT_EQ(exporter->DoExport(), noErr);
    EXPECT_TRUE(Near(QImage(out2).pixel(100, 70), Qt::yellow));

    // A folder that does not exist: a code, nothing written.
    exporter->SetOutputFile(TempFile(QStringLiteral("no/such/folder/x.png")));
    EXPECT_NE(exporter->DoExport(), noErr);
}

TEST(ColorMatching, EmbeddedProfileChangesColoursABrokenOneDoesNot)
{
    QImage image(4, 4, QImage::Format_ARGB32_Premultiplied);
    image.fill(qRgb(0, 200, 0));
    QImage matched = image;
    ASSERT_EQ(MatchImageToDisplay(matched, AdobeRgbProfile()), noErr);
    // Adobe RGB's green is more saturated than sRGB's: red goes negative (clipped) and green up.
    EXPECT_NE(matched.pixel(1, 1), image.pixel(1, 1));
    EXPECT_EQ(qAlpha(matched.pixel(1, 1)), 255);

    QImage untouched = image;
    EXPECT_EQ(MatchImageToDisplay(untouched, QByteArray("not a profile at all")), paramErr);
    EXPECT_EQ(untouched, image);
    EXPECT_FALSE(IsUsableColorProfile(QByteArray(200, 'x')));
    EXPECT_TRUE(IsUsableColorProfile(AdobeRgbProfile()));

    // Matched to a display that has the image's own profile, nothing changes.
    SetDisplayColorProfile(AdobeRgbProfile());
    QImage onAdobeDisplay = image;
    ASSERT_EQ(MatchImageToDisplay(onAdobeDisplay, AdobeRgbProfile()), noErr);
    EXPECT_TRUE(Near(onAdobeDisplay.pixel(0, 0), QColor(0, 200, 0), 2));
    SetDisplayColorProfile(QByteArray());

    // sRGB to sRGB changes nothing worth seeing.
    QImage same = image;
    ASSERT_EQ(MatchImageToDisplay(same, QColorSpace(QColorSpace::SRgb).iccProfile()), noErr);
    EXPECT_TRUE(Near(same.pixel(0, 0), QColor(0, 200, 0), 2));
}

TEST(ColorMatching, ThreadsSharingAProfileMatchAlike)
{
    QImage image(64, 16, QImage::Format_ARGB32_Premultiplied);
    for (int x = 0; x < 64; ++x)
        for (int y = 0; y < 16; ++y)
            image.setPixel(x, y, qRgb(x * 4, 255 - x * 4, y * 16));
    QImage expected = image;
    ASSERT_EQ(MatchImageToDisplay(expected, AdobeRgbProfile()), noErr);
    std::vector<QImage> results(8, image);
    std::vector<std::thread> threads;
    for (QImage& result : results)
        threads.emplace_back([&result] {
            for (int i = 0; i < 20; ++i) {
                QImage again = result;
                MatchImageToDisplay(again, AdobeRgbProfile());
                if (i == 19)
                    result = again;
            }
        });
    for (auto& thread : threads)
        thread.join();
    for (const QImage& result : results)
        EXPECT_EQ(result, expected);
}
