#include "TextFormats.h"

#include "AliasRecord.h"
#include "LString.h"
#include "MacDates.h"
#include "MacRoman.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <cstdlib>

TEST(FormatByteSize, UnitsAndSinglePrecisionRounding)
{
    const struct {
        UInt64 bytes;
        const char* text;
    } table[] = {
        { 0, "0 bytes" },
        { 1023, "1023 bytes" },
        { 1024, "1.0 KB" },
        { 1536, "1.5 KB" },
        { 1048575, "1024.0 KB" },
        { 1048576, "1.0 MB" },
        { 1073741823, "1024.0 MB" },
        { 1073741824, "1.0 GB" },
        { 5000000000ULL, "4.7 GB" },
        { 1ULL << 40, "1024.0 GB" },
    };
    for (const auto& row : table)
        EXPECT_EQ(FormatByteSize(row.bytes), QString::fromLatin1(row.text)) << row.bytes;

    // The decimal point does not follow the user's locale.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(FormatByteSize(1536), QStringLiteral("1.5 KB"));
    QLocale::setDefault(saved);
}

TEST(FormatMovieTime, HoursMinutesSecondsTenths)
{
    const struct {
        SInt32 time;
        const char* text;
    } table[] = {
        { 0, "00:00:00:0" },
        { 59, "00:00:00:0" },
        { 60, "00:00:00:1" },
        { 35940, "00:00:59:9" },
        { 36000, "00:01:00:0" },
        { 2160000, "01:00:00:0" },
        { 2234040, "01:02:03:4" },
        { 100 * 2160000, "100:00:00:0" },
        { -600, "00:00:00:0" },
    };
    for (const auto& row : table) {
        EXPECT_EQ(FormatMovieTimeText(row.time), QString::fromLatin1(row.text)) << row.time;
        Str255 out;
        FormatMovieTime(row.time, out);
        EXPECT_EQ(out.Bytes(), QByteArray(row.text));
    }
}

TEST(ParseDateText, ReadsDatesInTheLocaleOrder)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const auto seconds = [](int y, int m, int d) { return DateTimeToMacSeconds(QDateTime(QDate(y, m, d), QTime(0, 0))); };

    EXPECT_EQ(ParseDateText(QString()), 0u);
    EXPECT_EQ(ParseDateText(QStringLiteral("12/31/2004")), seconds(2004, 12, 31));
    EXPECT_EQ(ParseDateText(QStringLiteral("2/29/2004 10:15 PM")), seconds(2004, 2, 29)); // time is dropped
    EXPECT_EQ(ParseDateText(QStringLiteral("2004-02-29")), seconds(2004, 2, 29));
    EXPECT_EQ(ParseDateText(QStringLiteral("Dec 31, 2004")), seconds(2004, 12, 31));
    // Six characters get dashes: 123104 is 12-31-04.
    EXPECT_EQ(ParseDateText(QStringLiteral("123104")), seconds(2004, 12, 31));
    // Five or seven characters are read as they are: no dashes are inserted.
    EXPECT_EQ(ParseDateText(QStringLiteral("12304")), 0u);
    EXPECT_EQ(ParseDateText(QStringLiteral("1231204")), 0u);
    EXPECT_EQ(ParseDateText(QStringLiteral("1-2-2004")), seconds(2004, 1, 2));
    // Not dates.
    EXPECT_EQ(ParseDateText(QStringLiteral("hello")), 0u);
    EXPECT_EQ(ParseDateText(QStringLiteral("2/30/2004")), 0u);
    EXPECT_EQ(ParseDateText(QStringLiteral("13/01/2004")), 0u);

    // Day first where the locale writes it so.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(ParseDateText(QStringLiteral("31.12.2004")), seconds(2004, 12, 31));
    EXPECT_EQ(ParseDateText(MakePString(QStringLiteral("311204"))), seconds(2004, 12, 31));
    QLocale::setDefault(saved);
}

TEST(FormatDateTime, ZeroLeavesTheTextAndTimesCarrySeconds)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Str255 out(reinterpret_cast<const unsigned char*>("\x04keep"));
    FormatDateTime(0, shortDate, true, out);
    EXPECT_EQ(out.Bytes(), QByteArray("keep"));

    const UInt32 when = DateTimeToMacSeconds(QDateTime(QDate(2004, 12, 31), QTime(13, 4, 5)));
    const QString withTime = FormatDateTimeText(when, shortDate, true);
    EXPECT_TRUE(withTime.startsWith(QStringLiteral("12/31/04, "))) << withTime.toStdString();
    EXPECT_TRUE(withTime.contains(QStringLiteral("1:04:05"))) << withTime.toStdString();
    EXPECT_TRUE(MacRoman::CanEncode(withTime));
    EXPECT_EQ(FormatDateTimeText(when, longDate, false), QStringLiteral("Friday, December 31, 2004"));
    EXPECT_EQ(FormatDateTimeText(when, abbrevDate, false), QStringLiteral("Fri, Dec 31, 2004"));
    FormatDateTime(when, shortDate, false, out);
    EXPECT_EQ(out.Bytes(), QByteArray("12/31/04"));
    QLocale::setDefault(saved);
}

TEST(AliasPathText, FolderOfTheTargetAsPosixPath)
{
    AliasRecord alias;
    alias.absolutePath = "/home/ann/Photos/beach.jpg";
    EXPECT_EQ(AliasPathText(&alias), QStringLiteral("/home/ann/Photos/"));
    alias.absolutePath = "/beach.jpg";
    EXPECT_EQ(AliasPathText(&alias), QStringLiteral("/"));
    EXPECT_EQ(AliasPathText(nullptr), QString());

    QByteArray bytes;
    alias.absolutePath = "/media/disk/Photos/beach.jpg";
    ASSERT_EQ(alias.ToBytes(bytes), noErr);
    LString out;
    EXPECT_EQ(GetAliasPathText(out, &bytes).ToQString(), QStringLiteral("/media/disk/Photos/"));
    const QByteArray damaged = bytes.left(20);
    EXPECT_TRUE(GetAliasPathText(out, &damaged).IsEmpty());
    EXPECT_TRUE(GetAliasPathText(out, static_cast<const QByteArray*>(nullptr)).IsEmpty());
}

TEST(CopyCStringFromCFString, EncodesOrGivesNull)
{
    char* text = CopyCStringFromCFString(QStringLiteral("Caf\u00e9 \u2022"), kCFStringEncodingMacRoman);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "Caf\x8e \xa5");
    std::free(text);

    text = CopyCStringFromCFString(QStringLiteral("Caf\u00e9"), kCFStringEncodingUTF8);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "Caf\xc3\xa9");
    std::free(text);

    EXPECT_EQ(CopyCStringFromCFString(QStringLiteral("\u4e2d"), kCFStringEncodingMacRoman), nullptr);
    EXPECT_EQ(CopyCStringFromCFString(QStringLiteral("\u00e9"), kCFStringEncodingASCII), nullptr);
    EXPECT_EQ(CopyCStringFromCFString(QStringLiteral("a"), 0x12345), nullptr);
}
