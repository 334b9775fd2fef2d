#include "ExceptionCode.h"
#include "FourCharCode.h"
#include "Geometry.h"
#include "MacDates.h"
#include "MacRoman.h"
#include "PString.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <stdexcept>

#include <QTimeZone>

TEST(MacRoman, EveryByteRoundTrips)
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    QString text = MacRoman::Decode(all);
    ASSERT_EQ(text.size(), 256);
    int unmapped = -1;
    EXPECT_EQ(MacRoman::Encode(text, &unmapped), all);
    EXPECT_EQ(unmapped, 0);
}

TEST(MacRoman, KnownCharactersOfTheUpperHalf)
{
    EXPECT_EQ(MacRoman::ToUnicode(0x80), u'\u00C4');
    EXPECT_EQ(MacRoman::ToUnicode(0xA9), u'\u00A9');
    EXPECT_EQ(MacRoman::ToUnicode(0xCA), u'\u00A0');
    EXPECT_EQ(MacRoman::ToUnicode(0xDB), u'\u20AC');
    EXPECT_EQ(MacRoman::ToUnicode(0xF0), u'\uF8FF');
    EXPECT_EQ(MacRoman::ToUnicode(0xFF), u'\u02C7');
}

TEST(MacRoman, UnmappedCharactersAreCountedNotSilentlyDropped)
{
    int unmapped = 0;
    QByteArray bytes = MacRoman::Encode(QStringLiteral("a\u4E2Db\u0416"), &unmapped);
    EXPECT_EQ(bytes, QByteArray("ab"));
    EXPECT_EQ(unmapped, 2);
    EXPECT_FALSE(MacRoman::CanEncode(QStringLiteral("\u4E2D")));
    // A decomposed accent is composed first and so has its byte.
    EXPECT_EQ(MacRoman::Encode(QStringLiteral("e\u0301")), QByteArray("\x8E"));
}

TEST(PString, CutsToCapacityAndReportsIt)
{
    Str63 small;
    EXPECT_FALSE(QStringToPString(QString(70, QLatin1Char('x')), small));
    EXPECT_EQ(small.Length(), 63);
    Str255 caption;
    EXPECT_TRUE(QStringToPString(QStringLiteral("Caf\u00E9"), caption));
    EXPECT_EQ(caption.Bytes(), QByteArray("Caf\x8E"));
    EXPECT_EQ(PStringToQString(caption), QStringLiteral("Caf\u00E9"));
    Str255 copy(caption);
    EXPECT_EQ(copy, caption);
    Str15 tail = MakePString<15>(QStringLiteral("0123456789"));
    EXPECT_FALSE(tail.Append(MakePString(QStringLiteral("abcdefgh"))));
    EXPECT_EQ(tail.Bytes(), QByteArray("0123456789abcde"));
}

TEST(FourCharCode, TextAndNumberAgree)
{
    EXPECT_EQ(MakeFourCharCode("TIFF"), 0x54494646u);
    EXPECT_EQ(FourCharCode('TIFF'), 0x54494646u);
    EXPECT_EQ(FourCharCodeToString('PDF '), "PDF ");
    FourCharCode code = 0;
    EXPECT_TRUE(FourCharCodeFromString(QStringLiteral("PDF"), code));
    EXPECT_EQ(code, FourCharCode('PDF '));
    EXPECT_FALSE(FourCharCodeFromString(QStringLiteral("TOOLONG"), code));
    EXPECT_EQ(FourCharCodeToQString(0xA96E616D), QStringLiteral("\u00A9nam"));
}

TEST(ExceptionCode, CaughtFailuresKeepTheirReason)
{
    const ExceptionCode ours = CatchException([] { ThrowOSErr_(-39, "index.db record 12: tag 12 count 140"); });
    EXPECT_EQ(ours.Code(), -39);
    EXPECT_EQ(ours.Context(), "index.db record 12: tag 12 count 140");
    EXPECT_EQ(CatchException([] {}).Code(), noErr);

    // Foreign exceptions become codes that still say what happened.
    const ExceptionCode foreign = CatchException([] { throw std::runtime_error("decoder gave up"); });
    EXPECT_EQ(foreign.Code(), paramErr);
    EXPECT_EQ(foreign.Context(), "std::runtime_error: decoder gave up");
    const ExceptionCode memory = CatchException([] { throw std::bad_alloc(); });
    EXPECT_EQ(memory.Code(), memFullErr);
    EXPECT_FALSE(memory.Context().empty());
    const ExceptionCode odd = CatchException([] { throw 42; });
    EXPECT_EQ(odd.Code(), paramErr);
    EXPECT_EQ(odd.Context(), "int");
    EXPECT_EQ(CatchCode([] { throw std::out_of_range("index"); }), paramErr);
}

TEST(ExceptionCode, ShowsCodesAsTextOrNumber)
{
    EXPECT_STREQ(ExceptionCode(err_NilPointer).what(), "'nilP'");
    EXPECT_STREQ(ExceptionCode(-43, "photo.jpg").what(), "-43: photo.jpg");
    EXPECT_STREQ(ExceptionCode(100034).what(), "100034");
    EXPECT_EQ(CatchCode([] { ThrowIfNil_(static_cast<int*>(nullptr)); }), err_NilPointer);
    EXPECT_EQ(CatchCode([] { ThrowIfNot_(false); }), err_AssertFailed);
    EXPECT_EQ(CatchCode([] {}), noErr);
}

TEST(Geometry, FieldOrderAndQtConversions)
{
    Rect r = MakeRect(10, 20, 110, 220);
    EXPECT_EQ(ToQRect(r), QRect(20, 10, 200, 100));
    EXPECT_EQ(FromQRect(QRect(20, 10, 200, 100)), r);
    EXPECT_EQ(FromQPoint(QPoint(5, 7)), (Point { 7, 5 }));
    EXPECT_EQ(MakePoint(40000, -40000), (Point { 32767, -32768 }));
    EXPECT_TRUE(PtInRect(Point { 10, 20 }, r));
    EXPECT_FALSE(PtInRect(Point { 110, 20 }, r));
}

TEST(MacDates, NowIsTheLocalWallClockTime)
{
    // The same wall-clock time as the zone Qt reads gives, within the second the two calls straddle.
    const SInt64 qt = DateTimeToMacSeconds(QDateTime::currentDateTime());
    const SInt64 now = GetDateTimeNow();
    EXPECT_LE(std::llabs(now - qt), 1);
    EXPECT_GE(GetDateTimeNow(), now) << "later calls never go back";
}

TEST(MacDates, SecondsSince1904)
{
    EXPECT_EQ(MacSecondsToDateTimeUTC(0), QDateTime(QDate(1904, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(DateTimeToMacSecondsUTC(QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC)), 2082844800u);
    EXPECT_EQ(MacSecondsToDateTimeUTC(0xFFFFFFFFu).date(), QDate(2040, 2, 6));
    // Local seconds keep the wall-clock time whatever the zone.
    QDateTime local(QDate(2006, 7, 14), QTime(13, 45, 10), Qt::LocalTime);
    UInt32 seconds = DateTimeToMacSeconds(local);
    EXPECT_EQ(MacSecondsToDateTime(seconds), local);
    EXPECT_EQ(MacSecondsToDateTimeUTC(seconds).time(), QTime(13, 45, 10));
    // Dates before 1904 or after 2040 clamp instead of wrapping.
    EXPECT_EQ(DateTimeToMacSecondsUTC(QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC)), 0u);
    EXPECT_EQ(DateTimeToMacSecondsUTC(QDateTime(QDate(2100, 1, 1), QTime(0, 0), Qt::UTC)), 0xFFFFFFFFu);
}
