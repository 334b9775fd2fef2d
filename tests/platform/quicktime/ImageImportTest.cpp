#include "GraphicsExporter.h"
#include "GraphicsImporter.h"
#include "ImageSources.h"
#include "ImageTestSupport.h"
#include "JpegTestFiles.h"
#include "PackBits.h"
#include "UserData.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QtEndian>

TEST(ImageImport, SmallFilesCannotAskForHugeImages)
{
    QImage out;
    // SGI: 65535 x 65535 x 4 channels of run-length rows, each row one byte (16 GB decoded).
    QByteArray sgi(512, '\0');
    sgi[0] = char(0x01);
    sgi[1] = char(0xDA);
    sgi[2] = 1; // RLE
    sgi[3] = 1;
    sgi[5] = 3;
    sgi[6] = sgi[7] = sgi[8] = sgi[9] = char(0xFF);
    sgi[11] = 4;
    sgi.append(QByteArray(160 * 1024, '\0'));
    EXPECT_EQ(DecodeSGI(sgi, out), memFullErr);
    EXPECT_TRUE(out.isNull());
    // Targa: an 18-byte run-length header claiming 65535 x 65535 at 32 bits.
    const QByteArray tga = QByteArray::fromHex("00000A 0000 0000 00 0000 0000 FFFF FFFF 20 08");
    ASSERT_EQ(tga.size(), 18);
    EXPECT_EQ(DecodeTarga(tga, out), memFullErr);
    // Just under the limit the header is accepted and the missing data is what fails.
    const QByteArray small = QByteArray::fromHex("00000A 0000 0000 00 0000 0000 0010 0010 20 08");
    EXPECT_EQ(DecodeTarga(small, out), codecBadDataErr);
    // Photoshop: 30000 x 30000 passes its own side limit, not the decoded size.
    QByteArray psd = QByteArray::fromHex("38425053 0001 000000000000 0003 00007530 00007530 0008 0003"
                                         "00000000 00000000 00000000 0000");
    EXPECT_EQ(DecodePhotoshopComposite(psd, out), memFullErr);
}

namespace {

// Opens a file and draws it whole into an offscreen world of its natural size.
OSStatus OpenAndDraw(const QString& path, OSType hint, Rect& natural, QImage& drawn)
{
    std::unique_ptr<GraphicsImporter> importer;
    OSStatus status = GraphicsImporter::OpenFile(path, hint, importer);
    if (status != noErr)
        return status;
    importer->GetNaturalBounds(&natural);
    Offscreen world(natural);
    {
        StOffscreenPort port(world);
        importer->SetGWorld(port.Port());
        status = importer->Draw();
    }
    drawn = world.Image();
    return status;
}

// A MacPaint document built from the format's layout: 512-byte header, then
// 720 rows of 72 bytes, each row PackBits-packed. The top-left 8 x 8 is black.
QByteArray MacPaintDocument()
{
    QByteArray file(512, '\0');
    file[3] = 2; // version 2: a header with its own patterns
    for (int y = 0; y < 720; ++y) {
        QByteArray row(72, '\0');
        if (y < 8)
            row[0] = char(0xFF);
        file += PackBits::Pack(row);
    }
    return file;
}

struct FormatCase {
    QString path;
    OSType hint;
    QSize size;
};

} // namespace

TEST(ImageImport, BoundsSourceRectAndMatrix)
{
    QString path = TempFile(QStringLiteral("q.png"));
    ASSERT_TRUE(Quadrants().save(path));
    std::unique_ptr<GraphicsImporter> importer;
    ASSERT_EQ(GraphicsImporter::OpenFile(path, 'PNGf', importer), noErr);
    EXPECT_EQ(importer->FormatType(), OSType('PNGf'));
    Rect r;
    importer->GetNaturalBounds(&r);
    EXPECT_EQ(r, MakeRect(0, 0, 80, 120));
    Rect half = MakeRect(10, 20, 50, 80);
    importer->SetBoundsRect(&half);
    importer->GetBoundsRect(&r);
    EXPECT_EQ(r, half);
    // The right half of the image only, drawn into 40 x 60.
    Rect source = MakeRect(0, 60, 80, 120);
    importer->SetSourceRect(&source);
    Offscreen world(half);
    {
        StOffscreenPort port(world);
        importer->SetGWorld(port.Port());
        ASSERT_EQ(importer->Draw(), noErr);
    }
    EXPECT_TRUE(Near(world.Image().pixel(2, 2), Qt::green));
    EXPECT_TRUE(Near(world.Image().pixel(57, 37), Qt::yellow));
    EXPECT_EQ(importer->SetImageIndex(5), invalidImageIndexErr);
    importer->SetGWorld(nullptr);
    EXPECT_EQ(importer->Draw(), err_NilPointer);
}

TEST(ImageImport, JpegThumbnailsAreDecodedScaledNotFull)
{
    QImage big(1600, 1200, QImage::Format_RGB32);
    big.fill(QColor(30, 140, 200));
    QString path = TempFile(QStringLiteral("big.jpg"));
    ASSERT_TRUE(big.save(path, "JPEG", 85));
    std::unique_ptr<GraphicsImporter> importer;
    ASSERT_EQ(GraphicsImporter::OpenFile(path, 'JPEG', importer), noErr);
    QImage small;
    ASSERT_EQ(importer->DecodeImage(QSize(160, 120), small), noErr);
    EXPECT_GE(small.width(), 160);
    EXPECT_LT(small.width(), 1600);
    QImage full;
    ASSERT_EQ(importer->DecodeImage(QSize(), full), noErr);
    EXPECT_EQ(full.size(), QSize(1600, 1200));
}

TEST(ImageImport, SmallRequestsUseTheEmbeddedPreviewOfTheSameShape)
{
    QImage big(1600, 1200, QImage::Format_RGB32);
    big.fill(QColor(200, 60, 20));
    const QString path = TempFile(QStringLiteral("with-preview.jpg"));
    std::unique_ptr<GraphicsExporter> exporter;
    ASSERT_EQ(GraphicsExporter::Open('JPEG', exporter), noErr);
    exporter->SetInputOffscreen(Offscreen(big));
    exporter->SetThumbnailEnabled(true, 160, 160);
    exporter->SetColorProfile(QColorSpace(QColorSpace::AdobeRgb).iccProfile());
    exporter->SetOutputFile(path);
    ASSERT_EQ(exporter->DoExport(), noErr);

    std::unique_ptr<GraphicsImporter> importer;
    ASSERT_EQ(GraphicsImporter::OpenFile(path, 'JPEG', importer), noErr);
    QImage small;
    ASSERT_EQ(importer->DecodeImage(QSize(150, 112), small), noErr);
    EXPECT_EQ(small.size(), QSize(160, 120)); // the preview itself
    QImage larger;
    ASSERT_EQ(importer->DecodeImage(QSize(400, 300), larger), noErr);
    EXPECT_GE(larger.width(), 400);
    // The main image's profile is found even though only the preview was decoded.
    std::unique_ptr<GraphicsImporter> fresh;
    ASSERT_EQ(GraphicsImporter::OpenFile(path, 'JPEG', fresh), noErr);
    fresh->DecodeImage(QSize(150, 112), small);
    EXPECT_EQ(fresh->GetColorProfile(), QColorSpace(QColorSpace::AdobeRgb).iccProfile());
}

TEST(ImageImport, EveryStillFormatOpensAndItsTruncatedCopyGivesACode)
{
    QImage image = Quadrants();
    std::vector<FormatCase> cases;
    for (const char* format : { "png", "jpg", "bmp", "tiff", "webp", "icns" }) {
        QString path = TempFile(QStringLiteral("qt.") + QLatin1String(format));
        ASSERT_TRUE(image.save(path)) << format;
        // An icon file keeps square icons of its own sizes.
        cases.push_back({ path, 0, QLatin1String(format) == QLatin1String("icns") ? QSize() : image.size() });
    }
    // Formats Qt does not write come from ImageMagick.
    QString png = TempFile(QStringLiteral("source.png"));
    image.save(png);
    for (const char* format : { "gif", "psd", "sgi", "tga", "pict", "jp2" }) {
        QString path = TempFile(QStringLiteral("im.") + QLatin1String(format));
        int exit = -1;
        RunTool(QStringLiteral("convert"), { png, path }, &exit);
        if (exit != 0 || !QFile::exists(path)) {
            ADD_FAILURE() << "convert did not write " << format;
            continue;
        }
        const OSType hint = QLatin1String(format) == QLatin1String("tga") ? 'TPIC' : 0;
        cases.push_back({ path, hint, image.size() });
    }
    QString paint = TempFile(QStringLiteral("doc.pntg"));
    ASSERT_TRUE(WriteBytes(paint, MacPaintDocument()));
    cases.push_back({ paint, 'PNTG', QSize(576, 720) });
    QString rawTarga = TempFile(QStringLiteral("plain.tga"));
    if (RunTool(QStringLiteral("convert"), { png, QStringLiteral("-compress"), QStringLiteral("none"), rawTarga }).isEmpty()
        && QFile::exists(rawTarga))
        cases.push_back({ rawTarga, 'TPIC', image.size() });
    for (const char* file : { "BMP.bmp", "GIF.gif", "PNG.png", "PICT.pict", "Photoshop.psd", "ExifTool.tif",
             "PDF.pdf", "PostScript.eps", "Canon.jpg", "Jpeg2000.jp2" })
        cases.push_back({ TestDataPath(QStringLiteral("exiftool-images/") + QLatin1String(file)), 0, QSize() });

    for (const FormatCase& c : cases) {
        Rect natural;
        QImage drawn;
        OSStatus status = OpenAndDraw(c.path, c.hint, natural, drawn);
        EXPECT_EQ(status, noErr) << c.path.toStdString();
        EXPECT_FALSE(natural.IsEmpty()) << c.path.toStdString();
        if (c.size.isValid())
            EXPECT_EQ(QSize(natural.Width(), natural.Height()), c.size) << c.path.toStdString();
        // ImageMagick's Targa rows run against the origin its header names; the pixel
        // order of Targa is checked against bytes built by hand below.
        if (c.size == image.size() && status == noErr && !c.path.endsWith(QLatin1String(".tga")))
            EXPECT_TRUE(Near(drawn.pixel(5, 5), Qt::red)) << c.path.toStdString() << " " << std::hex << drawn.pixel(5, 5);

        // PostScript has no stored length: a cut program draws what it still holds.
        if (c.path.endsWith(QLatin1String(".eps")))
            continue;
        QByteArray whole = ReadWholeFile(c.path);
        QString cut = TempFile(QStringLiteral("cut-") + QFileInfo(c.path).fileName());
        ASSERT_TRUE(WriteBytes(cut, whole.left(whole.size() / 2)));
        QImage partial;
        EXPECT_NE(OpenAndDraw(cut, c.hint, natural, partial), noErr) << "truncated " << c.path.toStdString();
    }
}

TEST(ImageImport, Jpeg2000DecodesAtReducedResolution)
{
    const QString png = TempFile(QStringLiteral("big.png"));
    QImage image = Quadrants(400, 200);
    ASSERT_TRUE(image.save(png));
    const QString jp2 = TempFile(QStringLiteral("big.jp2"));
    int exit = -1;
    RunTool(QStringLiteral("convert"), { png, jp2 }, &exit);
    ASSERT_EQ(exit, 0);
    std::unique_ptr<GraphicsImporter> importer;
    ASSERT_EQ(GraphicsImporter::OpenFile(jp2, 0, importer), noErr);
    EXPECT_EQ(importer->FormatType(), OSType('jp2 '));
    QImage small;
    ASSERT_EQ(importer->DecodeImage(QSize(90, 45), small), noErr);
    EXPECT_LT(small.width(), 400);
    EXPECT_GE(small.width(), 90);
    EXPECT_TRUE(Near(small.pixel(2, 2), Qt::red));
    // The metadata tool's sample: a boxed 16 x 16 file.
    std::unique_ptr<GraphicsImporter> sample;
    ASSERT_EQ(GraphicsImporter::OpenFile(TestDataPath(QStringLiteral("exiftool-images/Jpeg2000.jp2")), 0, sample), noErr);
    QImage pixels;
    ASSERT_EQ(sample->DecodeImage(QSize(), pixels), noErr);
    EXPECT_EQ(pixels.size(), QSize(16, 16));
}

TEST(ImageImport, TargaRowsFollowTheOriginBit)
{
    // 2 x 2, 24 bits, uncompressed; origin bottom-left: the first stored row is the bottom one.
    QByteArray header = QByteArray::fromHex("000002 0000000000 00000000 0200 0200 18 00");
    QByteArray bottomUp = header + QByteArray::fromHex("FF0000 FF0000  0000FF 0000FF"); // blue row, then red row
    QImage out;
    ASSERT_EQ(DecodeTarga(bottomUp, out), noErr);
    EXPECT_TRUE(Near(out.pixel(0, 0), Qt::red, 0));
    EXPECT_TRUE(Near(out.pixel(1, 1), Qt::blue, 0));
    // The same rows with the top-left origin bit, and run-length packed.
    QByteArray topDown = QByteArray::fromHex("00000A 0000000000 00000000 0200 0200 18 20  81FF0000 810000FF");
    ASSERT_EQ(DecodeTarga(topDown, out), noErr);
    EXPECT_TRUE(Near(out.pixel(0, 0), Qt::blue, 0));
    EXPECT_TRUE(Near(out.pixel(1, 1), Qt::red, 0));
    EXPECT_EQ(DecodeTarga(topDown.left(topDown.size() - 2), out), codecBadDataErr);
    EXPECT_EQ(DecodeTarga(QByteArray::fromHex("00000AFF"), out), codecBadDataErr);
}

TEST(ImageImport, MacPaintPixels)
{
    QString paint = TempFile(QStringLiteral("pixels.mac"));
    ASSERT_TRUE(WriteBytes(paint, MacPaintDocument()));
    Rect natural;
    QImage drawn;
    ASSERT_EQ(OpenAndDraw(paint, 'PNTG', natural, drawn), noErr);
    EXPECT_TRUE(Near(drawn.pixel(3, 3), Qt::black, 5));
    EXPECT_TRUE(Near(drawn.pixel(9, 3), Qt::white, 5));
}

TEST(ImageImport, FormatsNothingReadsGiveCantFindHandler)
{
    QString fpx = TempFile(QStringLiteral("image.fpx"));
    ASSERT_TRUE(WriteBytes(fpx, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(600, '\0')));
    std::unique_ptr<GraphicsImporter> importer;
    EXPECT_EQ(GraphicsImporter::OpenFile(fpx, 'FPix', importer), cantFindHandler);
    QString text = TempFile(QStringLiteral("notes.txt"));
    ASSERT_TRUE(WriteBytes(text, "plain words, no picture\n"));
    EXPECT_EQ(GraphicsImporter::OpenFile(text, 'TEXT', importer), cantFindHandler);
    EXPECT_EQ(GraphicsImporter::OpenFile(TempFile(QStringLiteral("absent.png")), 0, importer), fnfErr);
    EXPECT_FALSE(importer);
}

TEST(ImageImport, PostScriptAndPdfDrawAtTheirBoundingBox)
{
    for (const char* file : { "PostScript.eps", "PDF.pdf" }) {
        Rect natural;
        QImage drawn;
        ASSERT_EQ(OpenAndDraw(TestDataPath(QStringLiteral("exiftool-images/") + QLatin1String(file)), 0, natural, drawn),
            noErr)
            << file;
        EXPECT_EQ(natural, MakeRect(0, 0, 8, 8)) << file;
    }
    // A bigger page renders at the size asked.
    QString eps = TempFile(QStringLiteral("box.eps"));
    ASSERT_TRUE(WriteBytes(eps, "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 200 100\n"
                                "1 0 0 setrgbcolor 0 0 100 100 rectfill showpage\n"));
    std::unique_ptr<GraphicsImporter> importer;
    ASSERT_EQ(GraphicsImporter::OpenFile(eps, 'EPSF', importer), noErr);
    Rect natural;
    importer->GetNaturalBounds(&natural);
    EXPECT_EQ(natural, MakeRect(0, 0, 100, 200));
    Rect doubled = MakeRect(0, 0, 200, 400);
    importer->SetBoundsRect(&doubled);
    Offscreen world(doubled);
    {
        StOffscreenPort port(world);
        importer->SetGWorld(port.Port());
        ASSERT_EQ(importer->Draw(), noErr);
    }
    EXPECT_TRUE(Near(world.Image().pixel(50, 100), Qt::red));
    EXPECT_TRUE(Near(world.Image().pixel(350, 100), Qt::white));
}

TEST(ImageImport, BrokenPostScriptGivesACodeAndLeavesNoTemporaryFile)
{
    QString eps = TempFile(QStringLiteral("broken.eps"));
    ASSERT_TRUE(WriteBytes(eps, "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\nthis is not postscript {\n"));
    // A temporary folder of this test's own, so other tests' conversions cannot show up in it.
    const QString privateTemp = TempFile(QStringLiteral("tmp"));
    QDir().mkpath(privateTemp);
    const QByteArray savedTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(privateTemp));
    std::unique_ptr<GraphicsImporter> importer;
    EXPECT_NE(GraphicsImporter::OpenFile(eps, 'EPSF', importer), noErr);
    EXPECT_TRUE(QDir(privateTemp).entryList(QDir::Files | QDir::Hidden).isEmpty());
    qputenv("TMPDIR", savedTemp);
}

TEST(ImageImport, HostilePhotoshopAndSGIHeaders)
{
    QImage out;
    // Photoshop: 3 channels of 30000 x 30000 claimed by a 40-byte file.
    QByteArray psd = QByteArray::fromHex("38425053 0001 000000000000 0003 00007530 00007530 0008 0003"
                                         "00000000 00000000 00000000 0000");
    EXPECT_NE(DecodePhotoshopComposite(psd, out), noErr);
    // A section length past the end.
    QByteArray psd2 = QByteArray::fromHex("38425053 0001 000000000000 0003 00000002 00000002 0008 0003 7FFFFFFF");
    EXPECT_EQ(DecodePhotoshopComposite(psd2, out), codecBadDataErr);
    // SGI with run-length rows whose offsets point outside the file.
    QByteArray sgi(512 + 16, '\0');
    sgi[0] = char(0x01);
    sgi[1] = char(0xDA);
    sgi[2] = 1; // RLE
    sgi[3] = 1;
    sgi[5] = 2;
    sgi[7] = 1;   // width 1
    sgi[9] = 1;   // height 1
    sgi[11] = 1;  // one channel
    sgi[512] = char(0x7F);
    sgi[513] = char(0xFF);
    sgi[514] = char(0xFF);
    sgi[515] = char(0xFF);
    EXPECT_EQ(DecodeSGI(sgi, out), codecBadDataErr);
    EXPECT_FALSE(JpegIsComplete(QByteArray::fromHex("FFD8FFE0")));
}

namespace {

// A JPEG segment: marker, big-endian length (counting itself), payload.
QByteArray Segment(UInt8 marker, const QByteArray& payload)
{
    const int length = int(payload.size()) + 2;
    QByteArray bytes;
    bytes.append(char(0xFF)).append(char(marker)).append(char(length >> 8)).append(char(length & 0xFF));
    return bytes + payload;
}

QByteArray IccPart(int sequence, int count, const QByteArray& part)
{
    return Segment(0xE2, QByteArray("ICC_PROFILE\0", 12) + char(sequence) + char(count) + part);
}

} // namespace

TEST(ImageImport, HeaderProfilesAreReadWithoutDecoding)
{
    const QByteArray profile = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    const QByteArray first = profile.left(200);
    const QByteArray second = profile.mid(200);
    const QByteArray soi = QByteArray::fromHex("FFD8");
    const QByteArray scan = Segment(0xDA, QByteArray(10, '\0')) + QByteArray::fromHex("1234FFD9");

    // Parts in any order are put back in sequence; nothing after the scan counts.
    bool answered = false;
    EXPECT_EQ(ReadHeaderIccProfile(soi + IccPart(2, 2, second) + IccPart(1, 2, first) + scan, &answered), profile);
    EXPECT_TRUE(answered);
    EXPECT_TRUE(ReadHeaderIccProfile(soi + IccPart(2, 2, second) + scan, &answered).isEmpty()) << "a part missing";
    EXPECT_TRUE(answered);
    EXPECT_TRUE(ReadHeaderIccProfile(soi + scan + IccPart(1, 1, profile)).isEmpty());
    EXPECT_TRUE(ReadHeaderIccProfile(soi + IccPart(1, 1, QByteArray(300, 'x')) + scan).isEmpty()) << "not a profile";
    // A segment whose length runs past the data ends the look without reading past it.
    EXPECT_TRUE(ReadHeaderIccProfile(soi + IccPart(1, 1, profile).left(100)).isEmpty());

    // TIFF: tag 34675 of the first directory, little-endian here.
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    tiff += QByteArray::fromHex("0100"); // one entry
    tiff += QByteArray::fromHex("7387" "0700");
    const quint32 size = quint32(profile.size());
    const quint32 at = 8 + 2 + 12 + 4;
    tiff.append(char(size & 0xFF)).append(char((size >> 8) & 0xFF)).append(char(size >> 16)).append('\0');
    tiff.append(char(at & 0xFF)).append(char(at >> 8)).append('\0').append('\0');
    tiff += QByteArray(4, '\0'); // no next directory
    EXPECT_EQ(ReadHeaderIccProfile(tiff + profile, &answered), profile);
    EXPECT_TRUE(answered);
    EXPECT_TRUE(ReadHeaderIccProfile(tiff + profile.left(50)).isEmpty()) << "a count past the data";

    // A PNG without iCCP, and other formats, leave the answer to the decoder.
    QImage plain(8, 8, QImage::Format_RGB32);
    plain.fill(Qt::gray);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        plain.save(&buffer, "PNG");
    }
    EXPECT_TRUE(ReadHeaderIccProfile(png, &answered).isEmpty());
    EXPECT_FALSE(answered);
    plain.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    png.clear();
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        plain.save(&buffer, "PNG");
    }
    EXPECT_EQ(ReadHeaderIccProfile(png, &answered), profile);
    EXPECT_TRUE(answered);
    ReadHeaderIccProfile(QByteArray("GIF89a"), &answered);
    EXPECT_FALSE(answered);
}

TEST(ImageImport, JpegEndFoundAtTheEndOrAfterAppendedData)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(QColor(10, 200, 90));
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", 90);
    }
    EXPECT_TRUE(JpegIsComplete(jpeg));
    EXPECT_TRUE(JpegIsComplete(jpeg + QByteArray(10000, '\x55'))) << "a trailer after the end marker";
    EXPECT_FALSE(JpegIsComplete(jpeg.left(jpeg.size() - 2)));
    EXPECT_FALSE(JpegIsComplete(jpeg.left(jpeg.size() - 2) + QByteArray(10000, '\0')));
}

TEST(ImageImport, AFittedFrameIsDecodedStraightToItsSize)
{
    QImage big(1500, 1000, QImage::Format_RGB32);
    big.fill(QColor(30, 140, 200));
    const QString path = TempFile(QStringLiteral("fitted.jpg"));
    ASSERT_TRUE(big.save(path, "JPEG", 85));
    std::unique_ptr<GraphicsImporter> importer;
    ASSERT_EQ(GraphicsImporter::OpenFile(path, 'JPEG', importer), noErr);
    // 1500 x 1000 fitted into 160 is 160 x 106 (rounded down), not 160 x 107.
    QImage fitted;
    ASSERT_EQ(importer->DecodeImage(QSize(160, 106), fitted), noErr);
    EXPECT_EQ(fitted.size(), QSize(160, 106));
    // A size of another shape is still covered.
    QImage covering;
    ASSERT_EQ(importer->DecodeImage(QSize(100, 100), covering), noErr);
    EXPECT_GE(covering.width(), 100);
    EXPECT_GE(covering.height(), 100);
}

TEST(ImageImport, AJpegFilesHeaderServesAllButItsPixels)
{
    // A profiled photograph turned by its EXIF, with a camera preview of its shape;
    // larger than the first read.
    QImage photo = PhotoLike(1600, 1200);
    photo.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    const QString path = TempFile(QStringLiteral("header-only.jpg"));
    ASSERT_TRUE(photo.save(path, "JPEG", 90));
    QImage preview(160, 120, QImage::Format_RGB32);
    preview.fill(QColor(220, 30, 20));
    AddExifThumbnail(path, preview, [](Exiv2::ExifData& exif) { exif["Exif.Image.Orientation"] = uint16_t(6); });
    const QByteArray file = ReadWholeFile(path);

    std::unique_ptr<GraphicsImporter> importer;
    ASSERT_EQ(GraphicsImporter::OpenFile(path, 'JPEG', importer), noErr);
    EXPECT_EQ(importer->Data(), file.left(JpegScanStart(file))) << "only the header is read";
    ImageDescription description;
    ASSERT_EQ(importer->GetImageDescription(description), noErr);
    EXPECT_EQ(description.dataSize, file.size());

    // Another picture in its place: what the header told stays, and its pixels are not mixed with it.
    QImage other(800, 600, QImage::Format_RGB32);
    other.fill(Qt::green);
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(other.save(path, "JPEG"));

    Rect natural;
    importer->GetNaturalBounds(&natural);
    EXPECT_EQ(natural, MakeRect(0, 0, 1200, 1600));
    EXPECT_EQ(importer->GetColorProfile(), QColorSpace(QColorSpace::AdobeRgb).iccProfile());
    UserData metadata;
    ASSERT_EQ(importer->GetMetaData(metadata), noErr);
    QByteArray orientation;
    ASSERT_EQ(metadata.GetUserData(orientation, TIFFUserDataType(0x0112), 1), noErr);
    EXPECT_EQ(orientation, QByteArray("\0\x06", 2));
    QImage small;
    ASSERT_EQ(importer->DecodeImage(QSize(160, 120), small), noErr);
    EXPECT_GT(qRed(small.pixel(80, 60)), 150) << "the camera's preview";

    QImage whole;
    EXPECT_NE(importer->DecodeImage(QSize(), whole), noErr);

    // The same file left alone decodes whole, read when the pixels are wanted.
    ASSERT_TRUE(QFile::remove(path));
    QFile rewrite(path);
    ASSERT_TRUE(rewrite.open(QIODevice::WriteOnly));
    ASSERT_EQ(rewrite.write(file), file.size());
    rewrite.close();
    ASSERT_EQ(GraphicsImporter::OpenFile(path, 'JPEG', importer), noErr);
    ASSERT_EQ(importer->DecodeImage(QSize(), whole), noErr);
    EXPECT_EQ(whole, QImage::fromData(file).convertToFormat(whole.format()));
}

// A 572-byte PNG whose text chunk declares 1.9 GB made the decoder take that much
// before reading it: a chunk other than image data that runs past the end is damage.
TEST(ImageImport, PngChunksThatRunPastTheFileAreDamage)
{
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "PNG"));
    const QByteArray end = png.right(12); // IEND
    ASSERT_TRUE(end.mid(4, 4) == "IEND");
    const QByteArray body = png.left(png.size() - 12);
    auto chunk = [](const char* type, uint32_t length, const QByteArray& data) {
        QByteArray bytes(4, '\0');
        qToBigEndian(length, bytes.data());
        return bytes + QByteArray(type, 4) + data + QByteArray(4, '\0'); // the CRC is not looked at here
    };
    const QByteArray withText = body + chunk("tEXt", 5, QByteArray("a\0bcd", 5)) + end;
    const QByteArray hugeText = body + chunk("iTXt", 0x72000000, QByteArray("Title\0\0\0", 8));
    const QByteArray cutImageData = body.left(body.size() - 20);

    EXPECT_TRUE(PngChunksFit(png));
    EXPECT_TRUE(PngChunksFit(withText));
    EXPECT_FALSE(PngChunksFit(hugeText));
    EXPECT_TRUE(PngChunksFit(cutImageData)); // image data is streamed: a cut file is the decoder's to report

    std::unique_ptr<GraphicsImporter> importer;
    EXPECT_EQ(GraphicsImporter::OpenData(hugeText, 'PNGf', importer), codecBadDataErr);
    ASSERT_EQ(GraphicsImporter::OpenData(png, 'PNGf', importer), noErr);
    Rect bounds;
    EXPECT_EQ(importer->GetNaturalBounds(&bounds), noErr);
    EXPECT_EQ(bounds, MakeRect(0, 0, 16, 16));
}

// A JPEG's size and kind come from its header without the decoder, for headers
// the decoder takes; any other header is still the decoder's to refuse.
TEST(ImageImport, JpegHeadersAnswerAsTheDecoderDoes)
{
    const QImage picture = PhotoLike(203, 117);
    struct Case {
        const char* name;
        JpegLayout layout;
    };
    const Case layouts[] = {
        {"4:2:0", {}},
        {"gray", {.stored = JCS_GRAYSCALE, .lumaH = 1, .lumaV = 1}},
        {"rgb", {.stored = JCS_RGB, .lumaH = 1, .lumaV = 1}},
        {"cmyk", {.stored = JCS_CMYK, .lumaH = 1, .lumaV = 1}},
        {"progressive", {.progressive = true}},
        {"arithmetic", {.arithmetic = true}},
        {"16-bit tables", {.quality = 5, .forceBaseline = false}},
        {"restarts, a scan per component", {.restartInterval = 3, .scanPerComponent = true}},
    };
    for (const Case& c : layouts) {
        const QByteArray jpeg = WriteJpeg(picture, c.layout);
        QBuffer buffer(const_cast<QByteArray*>(&jpeg));
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "jpeg");
        const QSize size = reader.size();
        const QImage::Format format = reader.imageFormat();
        std::unique_ptr<GraphicsImporter> importer;
        ASSERT_EQ(GraphicsImporter::OpenData(jpeg, 'JPEG', importer), noErr) << c.name;
        Rect natural;
        importer->GetNaturalBounds(&natural);
        EXPECT_EQ(QSize(natural.Width(), natural.Height()), size) << c.name;
        ImageDescription description;
        ASSERT_EQ(importer->GetImageDescription(description), noErr) << c.name;
        EXPECT_EQ(description.depth, format == QImage::Format_Grayscale8 ? 40 : 24) << c.name;
    }

    // Damaged headers: the decoder refuses every one of them.
    const QByteArray jpeg = WriteJpeg(picture, {});
    auto segment = [&](UInt8 marker) { return jpeg.indexOf(QByteArray("\xFF") + char(marker)); };
    auto patched = [&](qsizetype at, char value) {
        QByteArray bytes = jpeg;
        bytes[at] = value;
        return bytes;
    };
    const struct {
        const char* name;
        QByteArray bytes;
    } damaged[] = {
        {"12-bit frame", patched(segment(0xC0) + 4, 12)},
        {"frame of no width", patched(segment(0xC0) + 7, 0).replace(segment(0xC0) + 8, 1, QByteArray(1, '\0'))},
        {"Huffman table of 256+ codes", patched(segment(0xC4) + 20, char(0xFF))},
        {"scan of a component the frame lacks", patched(segment(0xDA) + 5, 9)},
        {"tables only", jpeg.left(segment(0xDA)) + QByteArray("\xFF\xD9", 2)},
    };
    for (const auto& d : damaged) {
        std::unique_ptr<GraphicsImporter> importer;
        EXPECT_NE(GraphicsImporter::OpenData(d.bytes, 'JPEG', importer), noErr) << d.name;
    }
}
