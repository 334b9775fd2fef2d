// Field texts by key: read from items made from real camera files and checked
// against what the exiv2 tool prints for the same files, and the texts' own rules
// (placeholders, summaries, number forms) on items whose records are made here.

#include "CANPAInfo.h"
#include "CEXIFInfo.h"
#include "CIndexItem.h"
#include "CItemError.h"
#include "FieldKeys.h"
#include "FileRef.h"
#include "LocalizedStrings.h"
#include "MacDates.h"
#include "MediaImageInfo.h"
#include "Preferences.h"
#include "RecordBytes.h"
#include "TestIndexView.h"
#include "TestSupport.h"
#include "TextFormats.h"
#include "UserData.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>

#include <cmath>
#include <cstdio>

namespace {

bool HasExiv2Tool()
{
    return !QStandardPaths::findExecutable(QStringLiteral("exiv2")).isEmpty();
}

// What `exiv2 -K key -Pv` prints for the file (the value alone).
QString ExivValue(const QString& path, const char* key)
{
    QProcess process;
    process.start(QStringLiteral("exiv2"), {QStringLiteral("-K"), QLatin1String(key), QStringLiteral("-Pv"), path});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Every value of a repeatable dataset, in file order.
QStringList ExivValues(const QString& path, const char* key)
{
    return ExivValue(path, key).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

double Rational(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    return parts.size() == 2 && parts[1].toDouble() != 0 ? parts[0].toDouble() / parts[1].toDouble()
                                                         : text.toDouble();
}

QString Printed(const char* format, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return QString::fromLatin1(buffer);
}

QString CopyOf(const QString& sample)
{
    const QString dir = TestTempDir() + QStringLiteral("/fields");
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + QFileInfo(sample).fileName();
    QFile::remove(path);
    EXPECT_TRUE(QFile::copy(TestDataPath(sample), path)) << sample.toStdString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

std::unique_ptr<CIndexItem> ItemForFile(const QString& path)
{
    return std::make_unique<CIndexItem>(FileRef(path));
}

// A free item of a remote file: it reads nothing from disk.
std::unique_ptr<CIndexItem> FreeItem(const QString& name = QStringLiteral("photo.jpeg"))
{
    return std::make_unique<CIndexItem>(QUrl(QStringLiteral("http://example.org/photos/") + name));
}

// An EXIF rational as its item holds it: numerator, denominator, big-endian.
QByteArray Rational8(SInt32 numerator, SInt32 denominator)
{
    return RecordBytes().U32BE(unsigned(numerator)).U32BE(unsigned(denominator));
}

QByteArray Short2(UInt16 value)
{
    return RecordBytes().U16BE(value);
}

class StPref {
public:
    StPref(const char* key, bool value)
        : mGuard(QLatin1String(key), value)
    {
    }

private:
    StTempPrefBoolean mGuard;
};

} // namespace

TEST(FieldTexts, CameraJPEGsReadWhatExivPrints)
{
    if (!HasExiv2Tool())
        GTEST_SKIP() << "exiv2 is not installed";
    StPref dateOnly("ShowDateWithTime", false);
    for (const char* name : {"Canon_40D.jpg", "Nikon_D70.jpg", "Pentax_K10D.jpg", "Panasonic_DMC-FZ30.jpg"}) {
        SCOPED_TRACE(name);
        const QString path = CopyOf(QStringLiteral("exif-samples/jpg/") + QLatin1String(name));
        auto item = ItemForFile(path);

        // File and catalogue fields.
        {
            StPref withExtension("ShowFileExtension", true);
            EXPECT_EQ(item->CopyFieldString(kFieldName, kFieldTextPlaceholder), QLatin1String(name));
        }
        {
            StPref withoutExtension("ShowFileExtension", false);
            EXPECT_EQ(item->CopyFieldString(kFieldName, kFieldTextPlaceholder), QFileInfo(path).completeBaseName());
            EXPECT_EQ(item->CopyFieldString(kFieldName, kFieldTextFullName), QLatin1String(name));
        }
        EXPECT_EQ(item->CopyFieldString(kFieldTotalSize, kFieldTextEmpty), FormatByteSize(QFileInfo(path).size()));
        EXPECT_EQ(item->CopyFieldString(kFieldKind, kFieldTextEmpty), QStringLiteral("JPEG image"));
        EXPECT_EQ(item->CopyFieldString(kFieldFolder, kFieldTextEmpty), QStringLiteral("fields"));
        EXPECT_EQ(item->CopyFieldString(kFieldLocation, kFieldTextEmpty), QUrl::fromLocalFile(path).toString());
        EXPECT_EQ(item->CopyFieldString(kFieldHasAlias, kFieldTextEmpty), CopyLocalizedCFString(602, 15));
        EXPECT_EQ(item->CopyFieldString(kFieldFileState, kFieldTextEmpty), CopyLocalizedCFString(602, 11));
        EXPECT_EQ(item->CopyFieldString(kFieldMediaValidates, kFieldTextEmpty), CopyLocalizedCFString(602, 13));
        EXPECT_EQ(item->CopyFieldString(kFieldHasEXIF, kFieldTextEmpty), CopyLocalizedCFString(602, 15));
        EXPECT_EQ(item->CopyFieldString(kFieldHasCaption, kFieldTextEmpty), CopyLocalizedCFString(602, 16));
        EXPECT_EQ(item->CopyFieldString(kFieldRemoteURL, kFieldTextPlaceholder), kFieldPlaceholder);
        EXPECT_EQ(item->CopyFieldString(kFieldError, kFieldTextEmpty), QString());
        EXPECT_EQ(item->CopyFieldString(kFieldPositionInView, kFieldTextEmpty), QStringLiteral("0"));

        // EXIF fields.
        const QDateTime taken = QDateTime::fromString(ExivValue(path, "Exif.Photo.DateTimeOriginal"),
            QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        ASSERT_TRUE(taken.isValid());
        EXPECT_EQ(item->CopyFieldString(kFieldDateTimeOriginal, kFieldTextEmpty),
            FormatDateTimeText(DateTimeToMacSeconds(taken), shortDate, false));
        const double time = Rational(ExivValue(path, "Exif.Photo.ExposureTime"));
        EXPECT_EQ(item->CopyFieldString(kFieldExposureTime, kFieldTextEmpty),
            time > 0.5 ? Printed("%6.3fs", time) : QStringLiteral("1/%1s").arg(int(1.0 / time + 0.5)));
        EXPECT_EQ(item->CopyFieldString(kFieldFNumber, kFieldTextEmpty),
            Printed("f%3.1f", Rational(ExivValue(path, "Exif.Photo.FNumber"))));
        EXPECT_EQ(item->CopyFieldString(kFieldFocalLength, kFieldTextEmpty),
            Printed("%4.1fmm", Rational(ExivValue(path, "Exif.Photo.FocalLength"))));
        EXPECT_EQ(item->CopyFieldString(kFieldISOSpeed, kFieldTextEmpty),
            ExivValue(path, "Exif.Photo.ISOSpeedRatings"));
        EXPECT_EQ(item->CopyFieldString(kFieldModel, kFieldTextEmpty).trimmed(), ExivValue(path, "Exif.Image.Model"));
        EXPECT_EQ(item->CopyFieldString(kFieldMake, kFieldTextEmpty).trimmed(), ExivValue(path, "Exif.Image.Make"));
        const bool fired = (ExivValue(path, "Exif.Photo.Flash").toInt() & 1) != 0;
        EXPECT_EQ(item->CopyFieldString(kFieldFlash, kFieldTextEmpty), CopyLocalizedCFString(602, fired ? 17 : 18));
        EXPECT_EQ(item->CopyFieldString(kFieldMeteringMode, kFieldTextEmpty),
            CopyLocalizedCFString(614, SInt16(ExivValue(path, "Exif.Photo.MeteringMode").toInt())));
        EXPECT_EQ(item->CopyFieldString(kFieldExposureProgram, kFieldTextEmpty),
            CopyLocalizedCFString(613, SInt16(ExivValue(path, "Exif.Photo.ExposureProgram").toInt())));
        EXPECT_EQ(item->CopyFieldString(kFieldOrientation, kFieldTextEmpty),
            CopyLocalizedCFString(618, SInt16(ExivValue(path, "Exif.Image.Orientation").toInt())));
        const QString bias = ExivValue(path, "Exif.Photo.ExposureBiasValue");
        if (!bias.isEmpty()) {
            const double value = Rational(bias);
            EXPECT_EQ(item->CopyFieldString(kFieldExposureBias, kFieldTextEmpty),
                Printed(value > 0 ? "+%4.1f EV" : "%4.1f EV", value));
        }
        EXPECT_EQ(item->CopyFieldString(kFieldSoftware, kFieldTextEmpty).trimmed(), ExivValue(path, "Exif.Image.Software"));
        const QString digitized = ExivValue(path, "Exif.Photo.DateTimeDigitized");
        const QDateTime digitizedAt = digitized.isEmpty()
            ? taken
            : QDateTime::fromString(digitized, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        EXPECT_EQ(item->CopyFieldString(kFieldDateTimeDigitized, kFieldTextEmpty),
            FormatDateTimeText(DateTimeToMacSeconds(digitizedAt), shortDate, false));
        // Fields only some cameras write: checked where exiv2 finds them, absent otherwise.
        const QString version = ExivValue(path, "Exif.Photo.ExifVersion");
        if (!version.isEmpty()) {
            QProcess translated;
            translated.start(QStringLiteral("exiv2"), {QStringLiteral("-K"), QStringLiteral("Exif.Photo.ExifVersion"),
                                                          QStringLiteral("-Pt"), path});
            translated.waitForFinished(30000);
            EXPECT_DOUBLE_EQ(item->CopyFieldString(kFieldEXIFVersion, 0).toDouble(),
                QString::fromUtf8(translated.readAllStandardOutput()).trimmed().toDouble());
        }
        const QString maxAperture = ExivValue(path, "Exif.Photo.MaxApertureValue");
        EXPECT_EQ(item->CopyFieldString(kFieldMaxAperture, kFieldTextPlaceholder),
            maxAperture.isEmpty() ? kFieldPlaceholder : Printed("f%3.1f", std::pow(2.0, Rational(maxAperture) / 2)));
        const QString sensing = ExivValue(path, "Exif.Photo.SensingMethod");
        EXPECT_EQ(item->CopyFieldString(kFieldSensingMethod, kFieldTextPlaceholder),
            sensing.isEmpty() ? kFieldPlaceholder : CopyLocalizedCFString(616, SInt16(sensing.toInt())));
        const QString light = ExivValue(path, "Exif.Photo.LightSource");
        EXPECT_EQ(item->CopyFieldString(kFieldLightSource, kFieldTextPlaceholder),
            light.isEmpty() ? kFieldPlaceholder : CopyLocalizedCFString(615, SInt16(light.toInt())));
        const QString bits = ExivValue(path, "Exif.Photo.CompressedBitsPerPixel");
        EXPECT_EQ(item->CopyFieldString(kFieldCompressedBitsPerPixel, kFieldTextPlaceholder),
            bits.isEmpty() ? kFieldPlaceholder : Printed("%4.1f", Rational(bits)));

        // The summary puts the parts together.
        const QString summary = item->CopyFieldString(kFieldExposureSummary, kFieldTextEmpty);
        EXPECT_TRUE(summary.startsWith(item->CopyFieldString(kFieldExposureTime, kFieldTextEmpty) + QStringLiteral("  ")));
        EXPECT_TRUE(summary.contains(QStringLiteral("Focal ") + item->CopyFieldString(kFieldFocalLength, 0)));
        EXPECT_TRUE(summary.endsWith(QStringLiteral("Flash ") + item->CopyFieldString(kFieldFlash, 0)));
        // A key past the table reads its own number when there is an EXIF record.
        EXPECT_EQ(item->CopyFieldString(4300, kFieldTextEmpty), QStringLiteral("Key Value: 4300"));

        // Image description fields: the picture's own size.
        const QSize size = QImageReader(path).size();
        EXPECT_EQ(item->CopyFieldString(kFieldWidth, kFieldTextEmpty), QString::number(size.width()));
        EXPECT_EQ(item->CopyFieldString(kFieldHeight, kFieldTextEmpty), QString::number(size.height()));
        EXPECT_TRUE(item->CopyFieldString(kFieldDimensions, kFieldTextEmpty)
                        .startsWith(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
    }
}

TEST(FieldTexts, CaptionFieldsReadWhatExivPrints)
{
    if (!HasExiv2Tool())
        GTEST_SKIP() << "exiv2 is not installed";
    StPref dateOnly("ShowDateWithTime", false);
    const QString path = CopyOf(QStringLiteral("exiftool-images/IPTC.jpg"));
    auto item = ItemForFile(path);

    const struct {
        SInt32 key;
        const char* dataset;
    } texts[] = {
        {kFieldCaption, "Iptc.Application2.Caption"},
        {kFieldCaptionWriter, "Iptc.Application2.Writer"},
        {kFieldHeadline, "Iptc.Application2.Headline"},
        {kFieldSpecialInstructions, "Iptc.Application2.SpecialInstructions"},
        {kFieldCopyrightNotice, "Iptc.Application2.Copyright"},
        {kFieldByline, "Iptc.Application2.Byline"},
        {kFieldBylineTitle, "Iptc.Application2.BylineTitle"},
        {kFieldCredit, "Iptc.Application2.Credit"},
        {kFieldSource, "Iptc.Application2.Source"},
        {kFieldCity, "Iptc.Application2.City"},
        {kFieldProvinceState, "Iptc.Application2.ProvinceState"},
        {kFieldCountryName, "Iptc.Application2.CountryName"},
        {kFieldObjectName, "Iptc.Application2.ObjectName"},
        {kFieldTransmissionReference, "Iptc.Application2.TransmissionReference"},
        {kFieldCategory, "Iptc.Application2.Category"},
    };
    for (const auto& field : texts)
        EXPECT_EQ(item->CopyFieldString(field.key, kFieldTextPlaceholder), ExivValue(path, field.dataset))
            << field.key;

    // Lists read in the record's sorted order, joined by ", ".
    QStringList keywords = ExivValues(path, "Iptc.Application2.Keywords");
    QStringList categories = ExivValues(path, "Iptc.Application2.SuppCategory");
    ASSERT_EQ(keywords.size(), 3);
    const QStringList shownKeywords = item->CopyFieldString(kFieldKeywords, 0).split(QStringLiteral(", "));
    EXPECT_EQ(QSet<QString>(shownKeywords.begin(), shownKeywords.end()), QSet<QString>(keywords.begin(), keywords.end()));
    const QStringList shownCategories = item->CopyFieldString(kFieldSupplementalCategories, 0).split(QStringLiteral(", "));
    EXPECT_EQ(QSet<QString>(shownCategories.begin(), shownCategories.end()),
        QSet<QString>(categories.begin(), categories.end()));

    const QDate created = QDate::fromString(ExivValue(path, "Iptc.Application2.DateCreated"), Qt::ISODate);
    EXPECT_EQ(item->CopyFieldString(kFieldDateCreated, 0),
        FormatDateTimeText(DateTimeToMacSeconds(QDateTime(created, QTime(0, 0))), shortDate, false));
    // The file's urgency digit is the stored index; 0 is the standard's reserve, no urgency.
    const int digit = ExivValue(path, "Iptc.Application2.Urgency").toInt();
    EXPECT_EQ(item->CopyFieldString(kFieldUrgency, 0), digit == 0 ? QStringLiteral("No") : QString::number(digit + 1));
    EXPECT_EQ(item->CopyFieldString(kFieldHasCaption, 0), CopyLocalizedCFString(602, 15));
}

TEST(FieldTexts, ModesAndPlaceholders)
{
    auto item = FreeItem();
    item->SetCaptionInfo(std::make_unique<CANPAInfo>());
    item->SetImageInfo(std::make_unique<MediaImageInfo>());
    // A field without a value: "-" with placeholder, else the empty text.
    EXPECT_EQ(item->CopyFieldString(kFieldHeadline, kFieldTextPlaceholder), kFieldPlaceholder);
    EXPECT_EQ(item->CopyFieldString(kFieldHeadline, kFieldTextEmpty), QString());
    EXPECT_EQ(item->CopyFieldString(kFieldWidth, kFieldTextEmpty), QString());
    // Keys outside every range have no text.
    EXPECT_EQ(item->CopyFieldString(0, kFieldTextPlaceholder), kFieldPlaceholder);
    EXPECT_EQ(item->CopyFieldString(7000, kFieldTextEmpty), QString());
    // The Pascal-string route leaves a field without a value as the caller gave it.
    Str255 out("kept");
    EXPECT_EQ(PStringToQString(item->GetFieldText(kFieldCaption, out, kFieldTextEmpty)), QStringLiteral("kept"));
    // ... except for the text fields of a caption, which read as the empty text.
    EXPECT_EQ(PStringToQString(item->GetFieldText(kFieldHeadline, out, kFieldTextEmpty)), QString());
    // No EXIF record: no text for any EXIF key, the orientation included.
    item->SetEXIFInfo(nullptr);
    EXPECT_EQ(item->CopyFieldString(kFieldOrientation, kFieldTextPlaceholder), kFieldPlaceholder);
    // Total size reads also for 0 bytes.
    EXPECT_EQ(item->CopyFieldString(kFieldTotalSize, kFieldTextEmpty), FormatByteSize(0));
}

TEST(FieldTexts, NamesWithoutExtensionByEitherRoute)
{
    StPref withoutExtension("ShowFileExtension", false);
    auto item = FreeItem(QStringLiteral("photo.jpeg"));
    Str255 out;
    EXPECT_EQ(item->CopyFieldString(kFieldName, 1), QStringLiteral("photo"));
    EXPECT_EQ(PStringToQString(item->GetFieldText(kFieldName, out, 1)), QStringLiteral("photo"));
    // Two extensions: the desktop's rule takes the last one only.
    item->SetName(QStringLiteral("archive.tar.gz"));
    EXPECT_EQ(item->CopyFieldString(kFieldName, 1), QStringLiteral("archive.tar"));
    // A point that starts no extension, and a name that is only an extension.
    item->SetName(QStringLiteral("Trip 2.5 km"));
    EXPECT_EQ(item->CopyFieldString(kFieldName, 1), QStringLiteral("Trip 2.5 km"));
    item->SetName(QStringLiteral(".hidden"));
    EXPECT_EQ(item->CopyFieldString(kFieldName, 1), QStringLiteral(".hidden"));
    StPref withExtension("ShowFileExtension", true);
    item->SetName(QStringLiteral("photo.jpeg"));
    EXPECT_EQ(item->CopyFieldString(kFieldName, 1), QStringLiteral("photo.jpeg"));
}

TEST(FieldTexts, CaptionUrgencyAndLists)
{
    auto item = FreeItem();
    // Without a caption record only the urgency fields read.
    item->SetCaptionInfo(nullptr);
    EXPECT_EQ(item->CopyFieldString(kFieldUrgency, 0), QStringLiteral("No"));
    EXPECT_EQ(item->CopyFieldString(kFieldUrgencyLabel, 0), CopyLocalizedCFString(602, 29));
    EXPECT_EQ(item->CopyFieldString(kFieldKeywords, 1), kFieldPlaceholder);

    auto caption = std::make_unique<CANPAInfo>();
    caption->SetUrgency(0);
    caption->AddKeyword(Str255("sea"));
    caption->AddKeyword(Str255("boats"));
    item->SetCaptionInfo(std::move(caption));
    EXPECT_EQ(item->CopyFieldString(kFieldUrgency, 0), QStringLiteral("1"));
    EXPECT_EQ(item->CopyFieldString(kFieldUrgencyLabel, 0), CopyLocalizedCFString(602, 28));
    EXPECT_EQ(item->CopyFieldString(kFieldKeywords, 0), QStringLiteral("boats, sea"));
    item->GetCaptionInfo()->SetUrgency(9);
    EXPECT_EQ(item->CopyFieldString(kFieldUrgency, 0), QStringLiteral("No"));
    item->GetCaptionInfo()->SetUrgency(7);
    EXPECT_EQ(item->CopyFieldString(kFieldUrgency, 0), QStringLiteral("8"));
    EXPECT_EQ(item->CopyFieldString(kFieldUrgencyLabel, 0), CopyLocalizedCFString(602, 24));
    // A caption longer than a field holds is cut at 255 bytes.
    item->GetCaptionInfo()->SetCaption(QByteArray(300, 'c'));
    EXPECT_EQ(item->CopyFieldString(kFieldCaption, 0), QString(255, QLatin1Char('c')));
}

TEST(FieldTexts, EXIFNumberForms)
{
    auto item = FreeItem();
    auto exifFrom = [&](std::initializer_list<std::pair<OSType, QByteArray>> items) {
        UserData data;
        for (const auto& [type, bytes] : items)
            data.AddUserData(bytes, type);
        item->SetEXIFInfo(std::make_unique<CEXIFInfo>(&data));
    };
    // Exactly half a second takes the fraction form; more takes seconds.
    exifFrom({{EXIFUserDataType(0x829A), Rational8(1, 2)}, {EXIFUserDataType(0x9204), Rational8(0, 1)}});
    EXPECT_EQ(item->CopyFieldString(kFieldExposureTime, 0), QStringLiteral("1/2s"));
    EXPECT_EQ(item->CopyFieldString(kFieldExposureBias, 0), QStringLiteral(" 0.0 EV"));
    exifFrom({{EXIFUserDataType(0x829A), Rational8(2, 1)}, {EXIFUserDataType(0x9204), Rational8(2, 3)}});
    EXPECT_EQ(item->CopyFieldString(kFieldExposureTime, 0), QStringLiteral(" 2.000s"));
    EXPECT_EQ(item->CopyFieldString(kFieldExposureBias, 0), QStringLiteral("+ 0.7 EV"));
    // A zero exposure has no reciprocal: no text rather than a wild number.
    exifFrom({{EXIFUserDataType(0x829A), Rational8(0, 1)}});
    EXPECT_EQ(item->CopyFieldString(kFieldExposureTime, 1), kFieldPlaceholder);
    // An orientation tag that is missing reads as the first entry.
    EXPECT_EQ(item->CopyFieldString(kFieldOrientation, 0), CopyLocalizedCFString(618, 1));
    // Fields whose tag the record did not hold have no text.
    EXPECT_EQ(item->CopyFieldString(kFieldFNumber, 1), kFieldPlaceholder);
    exifFrom({{EXIFUserDataType(0x8827), Short2(400)}, {TIFFUserDataType(0x0112), Short2(6)}});
    EXPECT_EQ(item->CopyFieldString(kFieldISOSpeed, 0), QStringLiteral("400"));
    EXPECT_EQ(item->CopyFieldString(kFieldOrientation, 0), CopyLocalizedCFString(618, 6));
}

TEST(FieldTexts, ImageRecordForms)
{
    auto item = FreeItem();
    auto info = std::make_unique<MediaImageInfo>();
    info->width = 640;
    info->height = 480;
    info->depth = 24;
    info->hRes = 72 << 16;
    info->dataSize = 2048;
    info->spatialQuality = 1000;
    info->temporalQuality = 1024;
    item->SetImageInfo(std::move(info));
    const QString pixels = CopyLocalizedCFString(602, 4);
    const QString bits = CopyLocalizedCFString(602, 9);
    const QString dpi = CopyLocalizedCFString(602, 8);
    EXPECT_EQ(item->CopyFieldString(kFieldDimensions, 0),
        QStringLiteral("640 x 480") + pixels + QStringLiteral("  24") + bits + QStringLiteral("  72") + dpi);
    EXPECT_EQ(item->CopyFieldString(kFieldDataSize, 0), FormatByteSize(2048));
    EXPECT_EQ(item->CopyFieldString(kFieldSpatialQuality, 1), kFieldPlaceholder); // 1000 is no quality word
    EXPECT_EQ(item->CopyFieldString(kFieldTemporalQuality, 1), QStringLiteral("Lossless"));
    EXPECT_EQ(item->CopyFieldString(kFieldRecordForm, 0), CopyLocalizedCFString(605, 12));
    // The Pascal-string route has no text for the data size.
    Str255 out;
    EXPECT_EQ(PStringToQString(item->GetFieldText(kFieldDataSize, out, 1)), kFieldPlaceholder);
    // Without a width the summary starts from the placeholder.
    item->GetImageInfo()->width = 0;
    EXPECT_TRUE(item->CopyFieldString(kFieldDimensions, 1).startsWith(QStringLiteral("-24")));
}

TEST(FieldTexts, FileStateFlagsAndErrors)
{
    auto item = FreeItem();
    item->SetFlags(kItemFlagRotate90CCW);
    EXPECT_EQ(item->CopyFieldString(kFieldTurnState, 0), CopyLocalizedCFString(618, 8));
    item->SetFlags(kItemFlagRotate90CW | kItemFlagRotate180);
    EXPECT_EQ(item->CopyFieldString(kFieldTurnState, 0), CopyLocalizedCFString(618, 6));
    item->SetFlags(0);
    EXPECT_EQ(item->CopyFieldString(kFieldTurnState, 1), kFieldPlaceholder);

    item->SetError(std::make_unique<CItemError>(-43, QString(), QStringLiteral("600:50")));
    EXPECT_EQ(item->CopyFieldString(kFieldError, 0),
        QStringLiteral("-43 ") + item->GetError()->GetMessage());
    EXPECT_EQ(item->CopyFieldString(kFieldUnsavedChanges, 0), CopyLocalizedCFString(602, 15));

    // A remote file: host and folder come from the URL; no creator to name.
    EXPECT_EQ(item->CopyFieldString(kFieldVolume, 0), QStringLiteral("example.org"));
    EXPECT_EQ(item->CopyFieldString(kFieldFolder, 0), QStringLiteral("photos"));
    EXPECT_EQ(item->CopyFieldString(kFieldCreator, 1), kFieldPlaceholder);
    item->SetCreatorCode('8BIM', false);
    EXPECT_EQ(item->CopyFieldString(kFieldCreator, 0), QStringLiteral("8BIM"));
    item->SetRemoteURL(QUrl(QStringLiteral("ftp://example.org/in/photo.jpeg")));
    EXPECT_EQ(item->CopyFieldString(kFieldRemoteURL, 0), QStringLiteral("ftp://example.org/in/photo.jpeg"));

    // A local file's volume is the third element of its path; the location has
    // its escapes replaced.
    auto local = std::make_unique<CIndexItem>(QUrl::fromLocalFile(CopyOf(QStringLiteral("exif-samples/jpg/Sony_HDR-HC3.jpg"))));
    const QString path = local->GetURL().toLocalFile();
    EXPECT_EQ(local->CopyFieldString(kFieldVolume, 0), path.split(QLatin1Char('/')).at(2));
    EXPECT_EQ(local->CopyFieldString(kFieldPositionInView, 0), QStringLiteral("0"));
    auto spaced = std::make_unique<CIndexItem>(QUrl(QStringLiteral("http://example.org/my%20photos/a%20b.jpg")));
    EXPECT_EQ(spaced->CopyFieldString(kFieldLocation, 0), QStringLiteral("http://example.org/my photos/a b.jpg"));
    EXPECT_EQ(spaced->CopyFieldString(kFieldFolder, 0), QStringLiteral("my photos"));

    // The folder of a file at the top and deep down.
    const struct {
        const char* url;
        const char* volume;
        const char* folder;
    } kPaths[] = {
        { "http://example.org/top.jpg", "example.org", "" },
        { "http://example.org/a/b/c/d.jpg", "example.org", "c" },
    };
    for (const auto& row : kPaths) {
        CIndexItem at { QUrl(QString::fromLatin1(row.url)) };
        EXPECT_EQ(at.CopyFieldString(kFieldVolume, kFieldTextEmpty), QString::fromLatin1(row.volume)) << row.url;
        EXPECT_EQ(at.CopyFieldString(kFieldFolder, kFieldTextEmpty), QString::fromLatin1(row.folder)) << row.url;
    }
}

TEST(FieldTexts, FieldMenuNamesEveryKey)
{
    for (SInt32 key : AllFieldKeys()) {
        const QString name = CopyFieldName(key);
        EXPECT_FALSE(name.isEmpty()) << key;
        EXPECT_TRUE(name.at(0).isUpper()) << key;
        EXPECT_FALSE(name.startsWith(QLatin1String("FIELD_"))) << key;
    }
    EXPECT_EQ(CopyFieldName(kFieldDateAdded), QStringLiteral("Date Added"));
    EXPECT_EQ(GetFieldKeyAt(1), kFieldName);
    EXPECT_LT(GetFieldKeyAt(23), 0); // the separator has no command
    try {
        CopyFieldName(4012);
        ADD_FAILURE() << "4012 is no item of the field menu";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), kMenuItemNotFoundErr);
    }

    // The export dictionary names every field that has a value.
    auto item = FreeItem();
    auto caption = std::make_unique<CANPAInfo>();
    caption->SetHeadline(Str255("Harbour"));
    item->SetCaptionInfo(std::move(caption));
    const QVariantMap fields = item->CopyFieldDictionary();
    EXPECT_EQ(fields.value(CopyFieldName(kFieldHeadline)).toString(), QStringLiteral("Harbour"));
    EXPECT_FALSE(fields.contains(CopyFieldName(kFieldByline))); // empty: "-"
}

TEST(FieldTexts, KindNamesByFileType)
{
    EXPECT_EQ(CopyKindNameForFileType('MPG3'), CopyLocalizedCFString(603, 33));
    EXPECT_EQ(CopyKindNameForFileType('MPEG'), CopyLocalizedCFString(603, 26));
    EXPECT_EQ(CopyKindNameForFileType('zzzz'), CopyLocalizedCFString(603, 1));
    // EPS documents take the program's own kind name.
    auto eps = FreeItem(QStringLiteral("drawing.eps"));
    eps->SetFileTypeCode('EPSF', false);
    EXPECT_EQ(eps->CopyFieldString(kFieldKind, 0), CopyLocalizedCFString(603, 12));
}
