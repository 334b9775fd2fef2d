// Every reader of still images run over broken, cut and bent files, built with
// AddressSanitizer: a read past a buffer fails the test instead of passing unseen.

#include "GraphicsImporter.h"
#include "ImageMetadata.h"
#include "ImageSources.h"
#include "ImageTestSupport.h"
#include "JpegEighth.h"
#include "JpegTestFiles.h"
#include "Picture.h"
#include "UserData.h"

#include <gtest/gtest.h>

#include <QDirIterator>

namespace {

void Exercise(const QByteArray& bytes, OSType hint)
{
    std::unique_ptr<GraphicsImporter> importer;
    if (GraphicsImporter::OpenData(bytes, hint, importer) != noErr)
        return;
    Rect natural;
    importer->GetNaturalBounds(&natural);
    Rect small = MakeRect(0, 0, std::min<int>(natural.Height(), 64), std::min<int>(natural.Width(), 64));
    if (small.IsEmpty())
        return;
    importer->SetBoundsRect(&small);
    Offscreen world(small);
    {
        StOffscreenPort port(world);
        importer->SetGWorld(port.Port());
        importer->Draw();
    }
    ImageDescription d;
    importer->GetImageDescription(d);
    UserData data;
    importer->GetMetaData(data);
    SInt32 count = 0;
    importer->GetImageCount(&count);
    if (count > 1 && importer->SetImageIndex(2) == noErr) {
        Picture picture;
        importer->GetAsPicture(picture);
    }
}

// Cuts at a few places and flips bytes through the file.
void ExerciseDamaged(const QByteArray& bytes, OSType hint)
{
    Exercise(bytes, hint);
    for (int part : { 2, 3, 5, 9 })
        Exercise(bytes.left(bytes.size() * (part - 1) / part), hint);
    for (qsizetype at = 0; at < bytes.size(); at += std::max<qsizetype>(1, bytes.size() / 40)) {
        QByteArray bent = bytes;
        bent[at] = char(~bent[at]);
        Exercise(bent, hint);
    }
}

} // namespace

TEST(StillsUnderAddressSanitizer, BrokenCameraFiles)
{
    QDirIterator it(TestDataPath(QStringLiteral("exif-samples")), { QStringLiteral("*.jpg"), QStringLiteral("*.tiff") },
        QDir::Files, QDirIterator::Subdirectories);
    int files = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        const QByteArray bytes = ReadWholeFile(path);
        if (path.contains(QLatin1String("/invalid/")) || path.contains(QLatin1String("/tests/")))
            Exercise(bytes, 0);
        else if (bytes.size() < 20000)
            ExerciseDamaged(bytes, 0);
        ++files;
    }
    EXPECT_GE(files, 30);
}

TEST(StillsUnderAddressSanitizer, EveryOtherFormat)
{
    for (const char* file : { "BMP.bmp", "GIF.gif", "PNG.png", "PICT.pict", "Photoshop.psd", "ExifTool.tif",
             "Jpeg2000.jp2", "PDF.pdf" })
        ExerciseDamaged(ReadWholeFile(TestDataPath(QStringLiteral("exiftool-images/") + QLatin1String(file))), 0);
    const QImage image = Quadrants(24, 16);
    ExerciseDamaged(Picture::FromImage(image, MakeRect(0, 0, 16, 24)).ToFileData(), 'PICT');
    ExerciseDamaged(Picture::FromImageAsJPEG(image, MakeRect(0, 0, 16, 24), codecNormalQuality).Data(), 'PICT');
    for (const char* format : { "sgi", "tga" }) {
        const QString png = TempFile(QStringLiteral("asan.png"));
        image.save(png);
        const QString path = TempFile(QStringLiteral("asan.") + QLatin1String(format));
        int exit = -1;
        RunTool(QStringLiteral("convert"), { png, path }, &exit);
        if (exit == 0)
            ExerciseDamaged(ReadWholeFile(path), QLatin1String(format) == QLatin1String("tga") ? 'TPIC' : 0);
    }
    QByteArray paint(512 + 100, '\0');
    ExerciseDamaged(paint, 'PNTG');
}

TEST(StillsUnderAddressSanitizer, JpegLayoutsDecodedSmall)
{
    // Large enough for the small decodes to take the DC-only way.
    const QImage photo = PhotoLike(600, 400);
    for (const JpegLayout& layout : { JpegLayout {}, JpegLayout { .restartInterval = 3 },
             JpegLayout { .lumaH = 1, .lumaV = 1, .scanPerComponent = true },
             JpegLayout { .stored = JCS_GRAYSCALE, .lumaH = 1, .lumaV = 1, .restartInterval = 1 } }) {
        const QByteArray jpeg = WriteJpeg(photo, layout);
        ExerciseDamaged(jpeg, 'JPEG');
        for (qsizetype at = 0; at < jpeg.size(); at += 101) {
            QImage out;
            DecodeJpegEighth(jpeg.left(at), QSize(1, 1), out);
            QByteArray bent = jpeg;
            bent[at] = char(bent[at] ^ 0x5A);
            DecodeJpegEighth(bent, QSize(1, 1), out);
        }
    }
}
