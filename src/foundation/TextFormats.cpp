#include "TextFormats.h"

#include "AliasRecord.h"
#include "LString.h"
#include "MacDates.h"
#include "MacRoman.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <cstdlib>
#include <cstring>

namespace {

constexpr UInt64 kKilobyte = 1024;
constexpr UInt64 kMegabyte = 1024 * 1024;
constexpr UInt64 kGigabyte = 1024 * 1024 * 1024;

// Movie times are counted in 1/600 seconds.
constexpr SInt32 kTicksPerTenth = 60;
constexpr SInt32 kTicksPerSecond = 600;
constexpr SInt32 kTicksPerMinute = 36000;
constexpr SInt32 kTicksPerHour = 2160000;

QString TwoDigits(SInt32 value)
{
    return value < 10 ? QLatin1Char('0') + QString::number(value) : QString::number(value);
}

// Some locales put narrow or plain no-break spaces into dates and times; the
// Str255 forms are Mac Roman, which has neither but the plain blank.
QString PlainSpaces(QString text)
{
    text.replace(QChar(0x202F), QLatin1Char(' '));
    text.replace(QChar(0x00A0), QLatin1Char(' '));
    return text;
}

QString DateFormatFor(const QLocale& locale, DateForm form)
{
    switch (form) {
    case shortDate:
        return locale.dateFormat(QLocale::ShortFormat);
    case abbrevDate: {
        // The long form with abbreviated day and month names.
        QString format = locale.dateFormat(QLocale::LongFormat);
        format.replace(QLatin1String("dddd"), QLatin1String("ddd"));
        format.replace(QLatin1String("MMMM"), QLatin1String("MMM"));
        return format;
    }
    case longDate:
    default:
        return locale.dateFormat(QLocale::LongFormat);
    }
}

// The locale's short time form, with seconds added when it has none.
QString TimeFormatWithSeconds(const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1Char('s'))) {
        const int minutes = format.indexOf(QLatin1String("mm"));
        if (minutes >= 0)
            format.insert(minutes + 2, QLatin1String(":ss"));
    }
    return format;
}

// The order of day, month and year in the locale's short date form.
QString DateFieldOrder(const QLocale& locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QString order;
    for (QChar c : format) {
        const QChar field = c.toLower() == QLatin1Char('m') ? QLatin1Char('M') : c.toLower();
        if ((field == QLatin1Char('d') || field == QLatin1Char('M') || field == QLatin1Char('y'))
            && !order.contains(field))
            order.append(field);
    }
    return order.size() == 3 ? order : QStringLiteral("Mdy");
}

// A two-digit year lands within the 90 years before and 10 years after now.
int ExpandYear(int year, int digits)
{
    if (digits > 2)
        return year;
    const int now = QDate::currentDate().year();
    int full = (now / 100) * 100 + year;
    if (full > now + 10)
        full -= 100;
    else if (full <= now - 90)
        full += 100;
    return full;
}

int MonthFromName(const QLocale& locale, const QString& name)
{
    for (int month = 1; month <= 12; ++month) {
        for (QLocale::FormatType type : { QLocale::LongFormat, QLocale::ShortFormat }) {
            const QString localName = locale.monthName(month, type);
            const QString english = QLocale::c().monthName(month, type);
            if (name.compare(localName, Qt::CaseInsensitive) == 0 || name.compare(english, Qt::CaseInsensitive) == 0)
                return month;
        }
    }
    return 0;
}

} // namespace

QString FormatByteSize(UInt64 bytes)
{
    if (bytes < kKilobyte)
        return QString::asprintf("%u bytes", unsigned(bytes));
    // Single precision on purpose: 1,048,575 bytes read "1024.0 KB", as they always have.
    if (bytes < kMegabyte)
        return QString::asprintf("%.1f KB", double(float(bytes) / float(kKilobyte)));
    if (bytes < kGigabyte)
        return QString::asprintf("%.1f MB", double(float(bytes) / float(kMegabyte)));
    return QString::asprintf("%.1f GB", double(float(bytes) / float(kGigabyte)));
}

QString FormatDateTimeText(UInt32 seconds, DateForm form, bool withTime)
{
    if (seconds == 0)
        return {};
    const QLocale locale;
    // The seconds name a wall-clock time: its fields as stored, with no time zone
    // to look up (which reads the zone file at every call).
    const QDateTime when = MacSecondsToDateTimeUTC(seconds);
    QString text = locale.toString(when.date(), DateFormatFor(locale, form));
    if (withTime)
        text += QStringLiteral(", ") + locale.toString(when.time(), TimeFormatWithSeconds(locale));
    return PlainSpaces(text);
}

Str255& FormatDateTime(UInt32 seconds, DateForm form, bool withTime, Str255& out)
{
    if (seconds == 0)
        return out;
    QStringToPString(FormatDateTimeText(seconds, form, withTime), out);
    return out;
}

UInt32 ParseDateText(const QString& input)
{
    if (input.isEmpty())
        return 0;
    QString text = input;
    if (text.size() == 6) {
        text.insert(4, QLatin1Char('-'));
        text.insert(2, QLatin1Char('-'));
    }

    const QLocale locale;
    // Split into fields of digits or letters; anything else separates them.
    static const QRegularExpression fieldPattern(QStringLiteral("(\\d+|[^\\W\\d_]+)"));
    QStringList fields;
    for (auto it = fieldPattern.globalMatch(text); it.hasNext() && fields.size() < 3;)
        fields.append(it.next().captured(1));
    if (fields.size() < 2)
        return 0;

    int day = 0, month = 0, year = 0, yearDigits = 4;
    QList<QPair<int, int>> numbers; // value, digit count
    for (const QString& field : fields) {
        if (field.at(0).isDigit()) {
            if (field.size() > 4)
                return 0;
            numbers.append({ field.toInt(), int(field.size()) });
        } else {
            if (month != 0)
                return 0;
            month = MonthFromName(locale, field);
            if (month == 0)
                return 0;
        }
    }

    QString order = DateFieldOrder(locale);
    // A leading four-digit number is a year: year-month-day.
    if (!numbers.isEmpty() && numbers.first().second == 4 && month == 0)
        order = QStringLiteral("yMd");
    if (month != 0)
        order.remove(QLatin1Char('M'));
    if (numbers.size() < order.size()) {
        // A missing year is this year.
        if (numbers.size() + 1 != order.size() || !order.contains(QLatin1Char('y')))
            return 0;
        order.remove(QLatin1Char('y'));
        year = QDate::currentDate().year();
    }
    for (int i = 0; i < order.size(); ++i) {
        const auto [value, digits] = numbers.at(i);
        switch (order.at(i).unicode()) {
        case 'd':
            day = value;
            break;
        case 'M':
            month = value;
            break;
        case 'y':
            year = value;
            yearDigits = digits;
            break;
        }
    }
    year = ExpandYear(year, yearDigits);
    const QDate date(year, month, day);
    if (!date.isValid())
        return 0;
    return DateTimeToMacSeconds(QDateTime(date, QTime(0, 0)));
}

UInt32 ParseDateText(ConstStr255Param text)
{
    if (!text || text[0] == 0)
        return 0;
    return ParseDateText(PStringToQString(text));
}

QString FormatMovieTimeText(SInt32 time)
{
    // Movie times are never negative; a negative one reads as the start.
    if (time < 0)
        time = 0;
    const SInt32 tenths = (time / kTicksPerTenth) % 10;
    const SInt32 seconds = (time / kTicksPerSecond) % 60;
    const SInt32 minutes = (time / kTicksPerMinute) % 60;
    const SInt32 hours = time / kTicksPerHour;
    return TwoDigits(hours) + QLatin1Char(':') + TwoDigits(minutes) + QLatin1Char(':') + TwoDigits(seconds)
        + QLatin1Char(':') + QString::number(tenths);
}

void FormatMovieTime(SInt32 time, Str255& out)
{
    QStringToPString(FormatMovieTimeText(time), out);
}

QString AliasPathText(const AliasRecord* alias)
{
    if (!alias || alias->absolutePath.isEmpty())
        return {};
    QString folder = QFileInfo(alias->ReadablePath()).path();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return QDir::cleanPath(folder) == QLatin1String("/") ? QStringLiteral("/") : folder;
}

LString& GetAliasPathText(LString& out, const AliasRecord* alias)
{
    out.Assign(AliasPathText(alias));
    return out;
}

LString& GetAliasPathText(LString& out, const QByteArray* aliasHandle)
{
    out.Assign(QString());
    AliasRecord record;
    if (aliasHandle && AliasRecord::FromBytes(*aliasHandle, record) == noErr)
        out.Assign(AliasPathText(&record));
    return out;
}

char* CopyCStringFromCFString(const QString& text, UInt32 encoding)
{
    QByteArray bytes;
    switch (encoding) {
    case kCFStringEncodingMacRoman: {
        int unmapped = 0;
        bytes = MacRoman::Encode(text, &unmapped);
        if (unmapped != 0)
            return nullptr;
        break;
    }
    case kCFStringEncodingUTF8:
        bytes = text.toUtf8();
        break;
    case kCFStringEncodingASCII:
    case kCFStringEncodingISOLatin1: {
        const char16_t limit = encoding == kCFStringEncodingASCII ? 0x7F : 0xFF;
        for (QChar c : text) {
            if (c.unicode() > limit)
                return nullptr;
        }
        bytes = text.toLatin1();
        break;
    }
    default:
        return nullptr;
    }
    char* result = static_cast<char*>(std::malloc(size_t(bytes.size()) + 1));
    if (!result)
        return nullptr;
    std::memcpy(result, bytes.constData(), size_t(bytes.size()));
    result[bytes.size()] = '\0';
    return result;
}
