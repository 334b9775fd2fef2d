// EXIF values of files whose tags are stored in types and forms other than the
// usual ones, read as the importer delivers them and as index.db keeps them.

#include "CEXIFInfo.h"
#include "CIndexItem.h"
#include "CIndexPackage.h"
#include "CRAWMedia.h"
#include "ExivTestFiles.h"
#include "FieldKeys.h"
#include "FileRef.h"
#include "GraphicsImporter.h"
#include "IIMText.h"
#include "IndexDbRecord.h"
#include "LStream.h"
#include "MacDates.h"
#include "Preferences.h"
#include "RawDecoder.h"
#include "UserData.h"

#include <cmath>

namespace {

std::unique_ptr<UserData> ImporterMetaData(const QString& path)
{
    std::unique_ptr<GraphicsImporter> importer;
    EXPECT_EQ(GraphicsImporter::OpenFile(path, 'JPEG', importer), noErr);
    auto data = std::make_unique<UserData>();
    if (importer)
        EXPECT_EQ(importer->GetMetaData(*data), noErr);
    return data;
}

QString CommentOf(const CEXIFInfo& exif)
{
    Str255 text;
    exif.GetUserComment(text);
    return IIMText::TextFromCaptionBytes(QByteArrayView(text + 1, text[0]));
}

// The item written as an index.db record and read back as a new item.
std::unique_ptr<CIndexItem> ThroughIndexDb(CIndexItem& item, const QString& packageName)
{
    QDir().mkpath(TestTempDir() + "/exiv");
    static std::vector<std::unique_ptr<CIndexPackage>> packages; // outlive the items read from them
    packages.push_back(std::make_unique<CIndexPackage>(
        QUrl::fromLocalFile(TestTempDir() + "/exiv/" + packageName), nullptr));
    LDataStream stream;
    item.WriteToStream(stream, *packages.back());
    IndexDbReader reader(stream.Data());
    IndexDbRecord record;
    EXPECT_TRUE(reader.Next(record));
    return std::make_unique<CIndexItem>(record, packages.back().get());
}

} // namespace

TEST(EXIFValueTypes, NumbersAreReadByTheirStoredTypeAndCount)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    // The sample is little-endian; its UNICODE comment is stored as UCS-2LE.
    const QString path = SampleWithExivCommands("types.jpg",
        "set Exif.Photo.PixelXDimension Short 100 0\n"
        "set Exif.Photo.PixelYDimension Long 70000\n"
        "set Exif.Image.Orientation Long 6\n"
        "set Exif.Photo.ISOSpeedRatings Long 64\n"
        "set Exif.Photo.SubjectDistance Rational 4294967295/1\n"
        "set Exif.Photo.ExposureTime Rational 3000000000/1000000000\n"
        "set Exif.Photo.UserComment charset=Unicode Gr\xC3\xBC\xC3\x9F" "e \xE6\x9D\xB1\xE4\xBA\xAC\n");
    auto data = ImporterMetaData(path);
    CEXIFInfo exif(data.get());
    EXPECT_EQ(exif.GetPixelXDimension(), 100u);
    EXPECT_EQ(exif.GetPixelYDimension(), 70000u);
    EXPECT_EQ(exif.GetOrientation(), 6);
    EXPECT_EQ(exif.GetISOSpeed(), 64);
    EXPECT_TRUE(std::isinf(exif.GetSubjectDistance()) && exif.GetSubjectDistance() > 0);
    EXPECT_FLOAT_EQ(exif.GetExposureTime(), 3.0f); // an unsigned numerator above 2^31
    EXPECT_EQ(CommentOf(exif), QString::fromUtf8("Grüße 東京"));

    // The item turns the picture and shows the values.
    SetPrefBoolean("TransformUsingEXIF", true);
    CIndexItem item{FileRef(path)};
    ASSERT_NE(item.GetEXIFInfo(), nullptr);
    EXPECT_EQ(item.GetFlags() & kItemFlagTransformMask, kItemFlagRotate90CW);
    EXPECT_EQ(item.CopyFieldString(kFieldSubjectDistance, 0), QString::fromUtf8("∞"));
    EXPECT_EQ(item.CopyFieldString(kFieldUserComment, 0), QString::fromUtf8("Grüße 東京")) << "no references shown";
}

TEST(EXIFValueTypes, UnicodeCommentsInEitherByteOrder)
{
    // As old index.db files may hold them: UCS-2 in the file's order, with or without a mark.
    for (const QByteArray& body : {QByteArray("\0G\0o\0!", 6), QByteArray("G\0o\0!\0", 6),
             QByteArray("\xFF\xFEG\0o\0!\0", 8), QByteArray("\xFE\xFF\0G\0o\0!", 8)}) {
        UserData data;
        data.AddUserData(QByteArray("UNICODE\0", 8) + body, EXIFUserDataType(0x9286));
        EXPECT_EQ(CommentOf(CEXIFInfo(&data)), QStringLiteral("Go!")) << body.toHex().toStdString();
    }
    // A long comment is cut on a whole character: no reference is split.
    UserData data;
    QByteArray body;
    for (int i = 0; i < 245; ++i)
        body += QByteArray("\0a", 2);
    body += QByteArray("\x4E\xAC", 2);
    data.AddUserData(QByteArray("UNICODE\0", 8) + body, EXIFUserDataType(0x9286));
    EXPECT_EQ(CommentOf(CEXIFInfo(&data)), QString(245, QLatin1Char('a')));
}

TEST(EXIFMakerNotes, NikonNoteNeverReplacesTheEXIFISO)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    // A compact's note with ISO 0 beside the EXIF's 64.
    const QString path = SampleWithExivCommands("nikon-iso.jpg",
        "set Exif.Nikon3.ISOSpeed Short 0 0\nset Exif.Photo.ISOSpeedRatings Short 64\n",
        QStringLiteral("exiftool-images/NikonD70.jpg"));
    auto data = ImporterMetaData(path);
    ASSERT_GT(data->CountUserDataType(EXIFUserDataType(0x927C)), 0);
    EXPECT_EQ(CEXIFInfo(data.get()).GetISOSpeed(), 64);
    EXPECT_EQ(CEXIFInfo(data.get()).GetISOSpeed(), 64); // and again over the same user data

    // Saved and reopened, the item still reads ISO 64 and its orientation.
    CIndexItem item{FileRef(path)};
    ASSERT_NE(item.GetEXIFInfo(), nullptr);
    const SInt16 orientation = item.GetEXIFInfo()->GetOrientation();
    auto reopened = ThroughIndexDb(item, "Nikon.idxp");
    ASSERT_NE(reopened->GetEXIFInfo(), nullptr);
    EXPECT_EQ(reopened->GetEXIFInfo()->GetISOSpeed(), 64);
    EXPECT_EQ(reopened->GetEXIFInfo()->GetOrientation(), orientation);

    // Without an EXIF ISO the note gives it.
    const QString noExifISO = SampleWithExivCommands("nikon-only.jpg",
        "set Exif.Nikon3.ISOSpeed Short 0 400\ndel Exif.Photo.ISOSpeedRatings\n",
        QStringLiteral("exiftool-images/NikonD70.jpg"));
    auto noteOnly = ImporterMetaData(noExifISO);
    EXPECT_EQ(CEXIFInfo(noteOnly.get()).GetISOSpeed(), 400);
}

TEST(EXIFValueTypes, TurnedPictureSurvivesIndexDb)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    const QString path = SampleWithExivCommands("turned.jpg",
        "set Exif.Image.Orientation Long 8\nset Exif.Photo.ISOSpeedRatings Long 103\n");
    CIndexItem item{FileRef(path)};
    ASSERT_NE(item.GetEXIFInfo(), nullptr);
    auto reopened = ThroughIndexDb(item, "Turned.idxp");
    ASSERT_NE(reopened->GetEXIFInfo(), nullptr);
    EXPECT_EQ(reopened->GetEXIFInfo()->GetOrientation(), 8);
    EXPECT_EQ(reopened->GetEXIFInfo()->GetISOSpeed(), 103);
}

namespace {

// What `exiv2 -K key -Pv` prints for the file.
QString ExivPrints(const QString& path, const char* key)
{
    QProcess process;
    process.start(QStringLiteral("exiv2"), {QStringLiteral("-K"), QLatin1String(key), QStringLiteral("-Pv"), path});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

double RationalValue(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    return parts.size() == 2 && parts[1].toDouble() != 0 ? parts[0].toDouble() / parts[1].toDouble() : text.toDouble();
}

} // namespace

TEST(RawFileMetadata, CameraAndExposureComeFromTheRawFile)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    for (const char* name : {"CanonRaw.crw", "Nikon.nef", "FujiFilm.raf", "Panasonic.rw2", "DNG.dng"}) {
        SCOPED_TRACE(name);
        const QString path = TestDataPath(QStringLiteral("exiftool-images/") + QLatin1String(name));
        CRAWMedia media(QUrl::fromLocalFile(path));
        UserData* data = media.GetMetaData();
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(media.GetImporter(), nullptr); // nothing decoded for the metadata
        CEXIFInfo exif(data);

        // The maker's own names, not the decoder's.
        Str255 make, model;
        exif.GetMake(make);
        exif.GetModel(model);
        EXPECT_EQ(PStringToQString(make), ExivPrints(path, "Exif.Image.Make"));
        EXPECT_EQ(PStringToQString(model), ExivPrints(path, "Exif.Image.Model"));
        const QDateTime taken = QDateTime::fromString(ExivPrints(path, "Exif.Photo.DateTimeOriginal"),
            QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        EXPECT_EQ(exif.GetDateTimeOriginal(), DateTimeToMacSeconds(taken));
        EXPECT_NEAR(exif.GetExposureTime(), RationalValue(ExivPrints(path, "Exif.Photo.ExposureTime")), 1e-6);
        EXPECT_NEAR(exif.GetFNumber(), RationalValue(ExivPrints(path, "Exif.Photo.FNumber")), 1e-4);

        // The ISO from the file's EXIF, or from the decoder where the file's records have none.
        const QString iso = ExivPrints(path, "Exif.Photo.ISOSpeedRatings");
        if (!iso.isEmpty())
            EXPECT_EQ(exif.GetISOSpeed(), iso.toUInt());
        else
            EXPECT_EQ(exif.GetISOSpeed(), UInt16(std::lround(RawDecoder::Identify(path).isoSpeed)));
        EXPECT_GT(exif.GetISOSpeed(), 0);
    }

    // One the decoder knows but cannot decode: the item still shows its camera and exposure.
    CIndexItem undecodable{FileRef(TestDataPath(QStringLiteral("exiftool-images/CanonRaw.cr2")))};
    EXPECT_EQ(undecodable.CopyFieldString(kFieldMake, 0), QStringLiteral("Canon"));
    EXPECT_TRUE(undecodable.CopyFieldString(kFieldISOSpeed, 0).contains(QStringLiteral("400")));
    EXPECT_FALSE(undecodable.CopyFieldString(kFieldExposureTime, 0).isEmpty());
}
