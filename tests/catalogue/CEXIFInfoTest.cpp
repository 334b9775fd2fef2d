#include "CEXIFInfo.h"

#include "ExceptionCode.h"
#include "MacDates.h"
#include "TestSupport.h"
#include "UserData.h"

#include <QFile>
#include <gtest/gtest.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

QByteArray Rational(SInt32 numerator, SInt32 denominator)
{
    QByteArray bytes;
    for (SInt32 v : {numerator, denominator})
        bytes.append(char(UInt32(v) >> 24)).append(char(UInt32(v) >> 16)).append(char(UInt32(v) >> 8)).append(char(v));
    return bytes;
}

QByteArray Short(UInt16 value)
{
    QByteArray bytes(2, '\0');
    bytes[0] = char(value >> 8);
    bytes[1] = char(value & 0xFF);
    return bytes;
}

UInt32 WallClock(int y, int mo, int d, int h, int mi, int s)
{
    return DateTimeToMacSecondsUTC(QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC));
}

constexpr OSType Ex(UInt16 tag)
{
    return EXIFUserDataType(tag);
}

} // namespace

TEST(CEXIFInfo, NullUserDataThrows)
{
    EXPECT_THROW(CEXIFInfo(nullptr), ExceptionCode);
}

TEST(CEXIFInfo, EmptyUserDataKeepsDefaults)
{
    UserData userData;
    CEXIFInfo info(&userData);
    EXPECT_FALSE(info.IsModified());
    EXPECT_EQ(info.GetOrientation(), 1);
    EXPECT_EQ(info.GetDateTimeDigitized(), 0u);
    EXPECT_EQ(info.GetExposureTime(), 0.0f);
}

TEST(CEXIFInfo, DecodesEachValueForm)
{
    UserData userData;
    userData.AddUserData(Rational(1, 250), Ex(0x829A));
    userData.AddUserData(Rational(56, 10), Ex(0x829D));
    userData.AddUserData(Rational(5, 1), Ex(0x9205));
    userData.AddUserData(Short(2), Ex(0x8822));
    userData.AddUserData(Short(400), Ex(0x8827));
    userData.AddUserData(Rational(4, 1), Ex(0x9102));
    userData.AddUserData(Rational(-3, 2), Ex(0x9203));
    userData.AddUserData(Rational(-2, 3), Ex(0x9204));
    userData.AddUserData(Rational(7, 0), Ex(0x9206)); // zero denominator
    userData.AddUserData(Short(5), Ex(0x9207));
    userData.AddUserData(Short(0xFFFF), Ex(0x9208));
    userData.AddUserData(Short(0x19), Ex(0x9209));
    userData.AddUserData(Rational(180, 10), Ex(0x920A));
    userData.AddUserData(Short(3000), Ex(0xA002));
    userData.AddUserData(Hex("00012345"), Ex(0xA003)); // a LONG dimension
    userData.AddUserData(Rational(100, 1), Ex(0xA215));
    userData.AddUserData(Short(2), Ex(0xA217));
    userData.AddUserData(Short(6), TIFFUserDataType(0x0112));
    userData.AddUserData(QByteArray("\x01", 1), Ex(0x9999));
    CEXIFInfo info(&userData);

    EXPECT_TRUE(info.IsModified());
    EXPECT_FLOAT_EQ(info.GetExposureTime(), 1.0f / 250);
    EXPECT_FLOAT_EQ(info.GetFNumber(), 5.6f);
    EXPECT_NEAR(info.GetMaxAperture(), 5.657f, 0.001f);
    EXPECT_EQ(info.GetExposureProgram(), 2);
    EXPECT_EQ(info.GetISOSpeed(), 400);
    EXPECT_FLOAT_EQ(info.GetCompressedBitsPerPixel(), 4.0f);
    EXPECT_FLOAT_EQ(info.GetBrightness(), -1.5f);
    EXPECT_FLOAT_EQ(info.GetExposureBias(), -2.0f / 3);
    EXPECT_EQ(info.GetSubjectDistance(), 0.0f);
    EXPECT_EQ(info.GetMeteringMode(), 5);
    EXPECT_EQ(info.GetLightSource(), 0xFFFF);
    EXPECT_TRUE(info.IsFlashFired());
    EXPECT_FLOAT_EQ(info.GetFocalLength(), 18.0f);
    EXPECT_EQ(info.GetPixelXDimension(), 3000u);
    EXPECT_EQ(info.GetPixelYDimension(), 0x12345u);
    EXPECT_FLOAT_EQ(info.GetExposureIndex(), 100.0f);
    EXPECT_EQ(info.GetSensingMethod(), 2);
    EXPECT_EQ(info.GetOrientation(), 6);
    EXPECT_TRUE(info.HasUserDataType(Ex(0x9999)));
    EXPECT_FALSE(info.HasUserDataType(Ex(0x9998)));
    EXPECT_EQ(info.GetUserDataTypes().size(), 19u);
}

TEST(CEXIFInfo, FirstExposureAndApertureTagWins)
{
    UserData speedFirst;
    speedFirst.AddUserData(Rational(8, 1), Ex(0x9201));
    speedFirst.AddUserData(Rational(1, 250), Ex(0x829A));
    speedFirst.AddUserData(Rational(5, 1), Ex(0x9202));
    EXPECT_FLOAT_EQ(CEXIFInfo(&speedFirst).GetExposureTime(), 1.0f / 256);
    EXPECT_NEAR(CEXIFInfo(&speedFirst).GetFNumber(), 5.657f, 0.001f);

    UserData timeFirst;
    timeFirst.AddUserData(Rational(1, 250), Ex(0x829A));
    timeFirst.AddUserData(Rational(8, 1), Ex(0x9201));
    EXPECT_FLOAT_EQ(CEXIFInfo(&timeFirst).GetExposureTime(), 1.0f / 250);

    UserData flashOff;
    flashOff.AddUserData(Short(0x18), Ex(0x9209));
    EXPECT_FALSE(CEXIFInfo(&flashOff).IsFlashFired());
}

TEST(CEXIFInfo, ShortItemsReadNothingBeyondThemselves)
{
    UserData userData;
    userData.AddUserData(Hex("00"), Ex(0x8827));
    userData.AddUserData(Hex("000000fa"), Ex(0x829A));
    userData.AddUserData(QByteArray(), TIFFUserDataType(0x0112));
    CEXIFInfo info(&userData);
    EXPECT_EQ(info.GetISOSpeed(), 0);
    EXPECT_EQ(info.GetExposureTime(), 0.0f);
    EXPECT_EQ(info.GetOrientation(), 0);
}

TEST(CEXIFInfo, VersionsAndDates)
{
    UserData userData;
    userData.AddUserData("0221", Ex(0x9000));
    userData.AddUserData("0100", Ex(0xA000));
    userData.AddUserData(QByteArray("2004:05:06 07:08:09\0", 20), Ex(0x9003));
    CEXIFInfo info(&userData);
    Str255 version;
    info.GetEXIFVersion(version);
    EXPECT_EQ(version, Str255("2.21"));
    info.GetFlashpixVersion(version);
    EXPECT_EQ(version, Str255("1.0"));
    EXPECT_EQ(info.GetDateTimeOriginal(), WallClock(2004, 5, 6, 7, 8, 9));
    EXPECT_EQ(info.GetDateTimeDigitized(), WallClock(2004, 5, 6, 7, 8, 9)); // falls back to the original

    UserData zeroDate;
    zeroDate.AddUserData("0000:00:00 00:00:00", Ex(0x9003));
    CEXIFInfo zero(&zeroDate);
    EXPECT_EQ(zero.GetDateTimeOriginal(), 0u);
    EXPECT_FALSE(zero.IsModified());

    UserData versions;
    versions.AddUserData("0200", Ex(0x9000));
    versions.AddUserData("2004:05:06 07:08:09", Ex(0x9004));
    CEXIFInfo two(&versions);
    two.GetEXIFVersion(version);
    EXPECT_EQ(version, Str255("2.0"));
    two.SetDateTimeDigitized(nullptr);
    EXPECT_EQ(two.GetDateTimeDigitized(), 0u);
    const QByteArray fiveNumbers("2004:05:06 07:08");
    two.SetDateTimeOriginal(&fiveNumbers);
    EXPECT_EQ(two.GetDateTimeOriginal(), 0u);
    two.SetEXIFVersion(nullptr);
    two.GetEXIFVersion(version);
    EXPECT_EQ(version, Str255("2.0"));
}

TEST(CEXIFInfo, TextsAreCutAtTheirLimits)
{
    UserData userData;
    userData.AddUserDataText(QByteArray(40, 'M'), UserDataTextType("mak"), 1, 0);
    userData.AddUserDataText(QByteArray(300, 'm'), UserDataTextType("mod"), 1, 0);
    userData.AddUserDataText(QByteArray(90, 's'), UserDataTextType("swr"), 1, 0);
    userData.AddUserDataText("JPEG", UserDataTextType("fmt"), 1, 0);
    userData.AddUserData(QByteArray("ASCII\0\0\0", 8) + QByteArray(300, 'c'), Ex(0x9286));
    userData.AddUserData(QByteArray("SND00001.WAV\0junk", 17), Ex(0xA004));
    CEXIFInfo info(&userData);
    Str255 text;
    info.GetMake(text);
    EXPECT_EQ(text.Length(), 31);
    info.GetModel(text);
    EXPECT_EQ(text.Length(), 39);
    info.GetSoftware(text);
    EXPECT_EQ(text.Length(), 79);
    info.GetFormat(text);
    EXPECT_EQ(text, Str255("JPEG"));
    info.GetUserComment(text);
    EXPECT_EQ(text, Str255(std::string(249, 'c').c_str()));
    info.GetRelatedSoundFile(text);
    EXPECT_EQ(text, Str255("SND00001.WAV"));
}

namespace {

// A Nikon maker note (type 3): "Nikon\0", version, then a TIFF header in the
// given byte order and one IFD whose entry 2 holds the SHORTs 0 and `iso`.
QByteArray NikonNote(bool littleEndian, UInt16 iso)
{
    auto u16 = [littleEndian](UInt16 v) {
        QByteArray bytes(2, '\0');
        bytes[littleEndian ? 0 : 1] = char(v & 0xFF);
        bytes[littleEndian ? 1 : 0] = char(v >> 8);
        return bytes;
    };
    auto u32 = [&](UInt32 v) { return littleEndian ? u16(v & 0xFFFF) + u16(v >> 16) : u16(v >> 16) + u16(v & 0xFFFF); };
    QByteArray note("Nikon\0\x02\x10\0\0", 10);
    note += littleEndian ? "II" : "MM";
    note += u16(42) + u32(8);
    note += u16(3);                                        // three entries
    note += u16(1) + u16(7) + u32(4) + "0210";             // UNDEFINED version, inline
    note += u16(2) + u16(3) + u32(2) + u16(0) + u16(iso);  // ISO: SHORT 0, iso
    note += u16(4) + u16(2) + u32(8) + u32(50);            // ASCII, out of line
    note += u32(0) + "FINE    ";
    return note;
}

} // namespace

TEST(CEXIFInfo, NikonMakerNoteGivesTheISOInEitherByteOrder)
{
    for (bool little : {false, true}) {
        UserData userData;
        userData.AddUserData(NikonNote(little, 400), Ex(0x927C));
        CEXIFInfo info(&userData);
        QByteArray iso;
        ASSERT_EQ(userData.GetUserData(iso, Ex(0x8827), 1), noErr) << little;
        EXPECT_EQ(iso, Short(400));
        // Added after the note, the item is met later in the same walk.
        EXPECT_EQ(info.GetISOSpeed(), 400) << little;
    }
}

TEST(CEXIFInfo, HostileMakerNotesEndTheirWalkQuietly)
{
    QByteArray farOffset = NikonNote(false, 400);
    farOffset.replace(14, 4, Hex("7fffffff")); // IFD offset past the note
    const QByteArray notes[] = {
        NikonNote(false, 400).left(9),
        NikonNote(false, 400).left(30),
        farOffset,
        QByteArray("Nikon\0\x01\0\0\0XX", 12),     // no byte-order mark
        QByteArray("OLYMP\0\x01\0\xff\xff", 10),    // 65535 entries, none there
        Hex("0001" "0001" "0007" "ffffffff" "00000000"), // 4 GB of UNDEFINED
    };
    for (const QByteArray& note : notes) {
        UserData userData;
        userData.AddUserData(Short(100), Ex(0x8827));
        userData.AddUserData(note, Ex(0x927C));
        CEXIFInfo info(&userData);
        EXPECT_EQ(info.GetISOSpeed(), 100);
        EXPECT_EQ(userData.CountUserDataType(Ex(0x8827)), 1);
    }
}

TEST(CEXIFInfo, RealNikonMakerNote)
{
    const QString path = TestDataPath("exiftool-images/NikonD70.jpg");
    auto image = Exiv2::ImageFactory::open(std::string(QFile::encodeName(path)));
    image->readMetadata();
    const auto found = image->exifData().findKey(Exiv2::ExifKey("Exif.Photo.MakerNote"));
    ASSERT_NE(found, image->exifData().end());
    QByteArray note(int(found->size()), '\0');
    found->copy(reinterpret_cast<Exiv2::byte*>(note.data()), Exiv2::bigEndian);

    UserData userData;
    userData.AddUserData(note, Ex(0x927C));
    CEXIFInfo info(&userData);
    EXPECT_EQ(info.GetISOSpeed(), 200);
}
