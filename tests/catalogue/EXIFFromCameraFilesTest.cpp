// The EXIF record built from what the graphics importer reads out of real camera
// files holds the values the exiv2 tool prints for them.

#include "CEXIFInfo.h"
#include "GraphicsImporter.h"
#include "MacDates.h"
#include "TestSupport.h"
#include "UserData.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>

namespace {

QString ExivValue(const QString& path, const char* key)
{
    QProcess process;
    process.start(QStringLiteral("exiv2"), { QStringLiteral("-K"), QLatin1String(key), QStringLiteral("-Pv"), path });
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

double Rational(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    return parts.size() == 2 && parts[1].toDouble() != 0 ? parts[0].toDouble() / parts[1].toDouble() : text.toDouble();
}

} // namespace

TEST(EXIFFromCameraFiles, RecordHoldsTheValuesExivPrints)
{
    if (QStandardPaths::findExecutable(QStringLiteral("exiv2")).isEmpty())
        GTEST_SKIP() << "exiv2 is not installed";
    for (const char* name : { "Canon_40D.jpg", "Nikon_D70.jpg", "Pentax_K10D.jpg", "Panasonic_DMC-FZ30.jpg" }) {
        const QString path = TestDataPath(QStringLiteral("exif-samples/jpg/") + QLatin1String(name));
        std::unique_ptr<GraphicsImporter> importer;
        ASSERT_EQ(GraphicsImporter::OpenFile(path, 'JPEG', importer), noErr) << name;
        UserData data;
        ASSERT_EQ(importer->GetMetaData(data), noErr);
        CEXIFInfo exif(&data);

        EXPECT_NEAR(exif.GetExposureTime(), Rational(ExivValue(path, "Exif.Photo.ExposureTime")), 1e-6) << name;
        EXPECT_NEAR(exif.GetFNumber(), Rational(ExivValue(path, "Exif.Photo.FNumber")), 1e-4) << name;
        EXPECT_NEAR(exif.GetFocalLength(), Rational(ExivValue(path, "Exif.Photo.FocalLength")), 1e-4) << name;
        EXPECT_EQ(exif.GetISOSpeed(), ExivValue(path, "Exif.Photo.ISOSpeedRatings").toUInt()) << name;
        EXPECT_EQ(exif.GetPixelXDimension(), ExivValue(path, "Exif.Photo.PixelXDimension").toUInt()) << name;
        EXPECT_EQ(exif.GetOrientation(), ExivValue(path, "Exif.Image.Orientation").toInt()) << name;
        const QDateTime taken = QDateTime::fromString(ExivValue(path, "Exif.Photo.DateTimeOriginal"),
            QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        EXPECT_EQ(exif.GetDateTimeOriginal(), DateTimeToMacSeconds(taken)) << name;
        Str255 model;
        exif.GetModel(model);
        EXPECT_EQ(PStringToQString(model).trimmed(), ExivValue(path, "Exif.Image.Model")) << name;
        Str255 format;
        exif.GetFormat(format);
        EXPECT_EQ(PStringToQString(format), QStringLiteral("Photo - JPEG"));
    }
}
