#include "PropertyList.h"

#include "LStream.h"
#include "RegularFile.h"
#include "SafeSave.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace PropertyList {

namespace {

// ---------------------------------------------------------------------------
// Writing

constexpr char kHeader[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                           "<plist version=\"1.0\">\n";
constexpr char kFooter[] = "</plist>\n";

// Base64 lines are at most 76 characters including the indentation, a tab
// counting as 8; past 8 levels the data lines stop moving right.
constexpr int kBase64LineWidth = 76;
constexpr int kMaxDataIndent = 8;

void AppendIndent(QByteArray& out, int depth)
{
    out.append(QByteArray(depth, '\t'));
}

// A text without the characters XML 1.0 forbids: a vertical tab or form feed is
// the line break it stands for, the other control characters but tab, line feed
// and return, and the noncharacters U+FFFE and U+FFFF, are left out.
QString WellFormedText(const QString& text)
{
    const auto forbidden = [](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0xFFFE || u == 0xFFFF;
    };
    if (std::none_of(text.begin(), text.end(), forbidden))
        return text;
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QChar(0x0B) || c == QChar(0x0C))
            out.append(QLatin1Char('\n'));
        else if (!forbidden(c))
            out.append(c);
    }
    return out;
}

void AppendEscaped(QByteArray& out, const QString& text, EForbiddenCharacters forbidden)
{
    const QByteArray utf8 = (forbidden == EForbiddenCharacters::LeftOut ? WellFormedText(text) : text).toUtf8();
    for (char c : utf8) {
        switch (c) {
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        case '&':
            out.append("&amp;");
            break;
        default:
            out.append(c);
        }
    }
}

QByteArray RealText(double d)
{
    if (std::isnan(d))
        return "nan";
    if (std::isinf(d))
        return d > 0 ? "+infinity" : "-infinity";
    if (d == 0.0)
        return "0.0";
    // 17 significant digits, "%g" style, independent of the C locale.
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::general, 17);
    return QByteArray(buffer, int(result.ptr - buffer));
}

void AppendData(QByteArray& out, const QByteArray& data, int depth)
{
    const int indent = std::min(depth, kMaxDataIndent);
    const int lineWidth = kBase64LineWidth - 8 * indent;
    const QByteArray encoded = data.toBase64();
    // Groups of four characters: the writer only breaks a line after a whole group.
    const int groupsPerLine = std::max(1, lineWidth / 4);
    const int charsPerLine = groupsPerLine * 4;
    for (qsizetype pos = 0; pos < encoded.size(); pos += charsPerLine) {
        AppendIndent(out, indent);
        out.append(encoded.mid(pos, charsPerLine));
        out.append('\n');
    }
}

bool IsUnsignedType(int typeId)
{
    return typeId == QMetaType::UShort || typeId == QMetaType::UInt || typeId == QMetaType::ULong
        || typeId == QMetaType::ULongLong || typeId == QMetaType::UChar;
}

bool AppendValue(QByteArray& out, const QVariant& value, int depth, EForbiddenCharacters forbidden)
{
    const int typeId = value.metaType().id();
    AppendIndent(out, depth);
    if (typeId == QMetaType::QString) {
        out.append("<string>");
        AppendEscaped(out, value.toString(), forbidden);
        out.append("</string>\n");
    } else if (typeId == QMetaType::Bool) {
        out.append(value.toBool() ? "<true/>\n" : "<false/>\n");
    } else if (IsIntegerValue(value)) {
        out.append("<integer>");
        if (IsUnsignedType(typeId))
            out.append(QByteArray::number(value.toULongLong()));
        else
            out.append(QByteArray::number(value.toLongLong()));
        out.append("</integer>\n");
    } else if (typeId == QMetaType::Float || typeId == QMetaType::Double) {
        // A float is written through its double value, as the platform does.
        out.append("<real>");
        out.append(RealText(value.toDouble()));
        out.append("</real>\n");
    } else if (typeId == QMetaType::QByteArray) {
        out.append("<data>\n");
        AppendData(out, value.toByteArray(), depth);
        AppendIndent(out, depth);
        out.append("</data>\n");
    } else if (typeId == QMetaType::QDateTime) {
        const QDateTime when = value.toDateTime();
        if (!when.isValid())
            return false;
        const QDateTime utc = when.toUTC();
        const QDate date = utc.date();
        const QTime time = utc.time();
        out.append("<date>");
        out.append(QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02dZ", date.year(), date.month(), date.day(),
                                     time.hour(), time.minute(), time.second())
                       .toLatin1());
        out.append("</date>\n");
    } else if (typeId == QMetaType::QVariantList || typeId == QMetaType::QStringList) {
        const QVariantList list = value.toList();
        if (list.isEmpty()) {
            out.append("<array/>\n");
            return true;
        }
        out.append("<array>\n");
        for (const QVariant& element : list) {
            if (!AppendValue(out, element, depth + 1, forbidden))
                return false;
        }
        AppendIndent(out, depth);
        out.append("</array>\n");
    } else if (typeId == QMetaType::QVariantMap || typeId == QMetaType::QVariantHash) {
        // QVariantMap is ordered by UTF-16 code units, the order the platform sorts keys in.
        const QVariantMap map = value.toMap();
        if (map.isEmpty()) {
            out.append("<dict/>\n");
            return true;
        }
        out.append("<dict>\n");
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            AppendIndent(out, depth + 1);
            out.append("<key>");
            AppendEscaped(out, it.key(), forbidden);
            out.append("</key>\n");
            if (!AppendValue(out, it.value(), depth + 1, forbidden))
                return false;
        }
        AppendIndent(out, depth);
        out.append("</dict>\n");
    } else {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Reading

// The platform's writer puts control characters into strings as they are, which
// XML 1.0 does not allow; its reader takes them back. So a list that fails to
// parse and holds such bytes is read again with each one stood in for by a
// private-use character that is turned back in keys and strings. Single bytes
// below 0x20 never occur inside a UTF-8 sequence, so the swap is safe.
constexpr char16_t kControlStandIn = 0xF700;

bool IsDisallowedControl(unsigned char c)
{
    return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

QByteArray StandInForControls(const QByteArray& xml)
{
    QByteArray out;
    out.reserve(xml.size() + 64);
    for (char c : xml) {
        if (IsDisallowedControl(static_cast<unsigned char>(c)))
            out.append(QString(QChar(char16_t(kControlStandIn + c))).toUtf8());
        else
            out.append(c);
    }
    return out;
}

class Reader {
public:
    Reader(const QByteArray& xml, bool controlsStoodIn)
        : mXml(xml)
        , mControlsStoodIn(controlsStoodIn)
    {
    }

    bool Parse(QVariant& out)
    {
        if (!NextElement())
            return Fail(QStringLiteral("no property list element"));
        if (mXml.name() == QLatin1String("plist")) {
            if (!NextElement())
                return Fail(QStringLiteral("empty <plist>"));
            if (!ParseValue(out, 0))
                return false;
            if (NextElement())
                return Fail(QStringLiteral("more than one value in <plist>"));
            if (!mXml.isEndElement() || mXml.name() != QLatin1String("plist"))
                return Fail(QStringLiteral("<plist> not closed"));
        } else if (!ParseValue(out, 0)) {
            return false;
        }
        // The rest must still be well-formed XML with nothing but comments in it.
        while (!mXml.atEnd()) {
            mXml.readNext();
            if (mXml.isStartElement() || (mXml.isCharacters() && !mXml.isWhitespace()))
                return Fail(QStringLiteral("content after the property list"));
        }
        if (mXml.hasError())
            return Fail(mXml.errorString());
        return true;
    }

    QString ErrorText() const { return mError; }

private:
    bool Fail(const QString& what)
    {
        if (mError.isEmpty())
            mError = QStringLiteral("line %1: %2").arg(mXml.lineNumber()).arg(what);
        return false;
    }

    // Moves to the next start element of the current level; false at an end
    // element, at the end of the input, on stray text or on an XML error.
    bool NextElement()
    {
        while (!mXml.atEnd()) {
            switch (mXml.readNext()) {
            case QXmlStreamReader::StartElement:
                return true;
            case QXmlStreamReader::EndElement:
                return false;
            case QXmlStreamReader::Characters:
                if (!mXml.isWhitespace()) {
                    Fail(QStringLiteral("unexpected text"));
                    return false;
                }
                break;
            case QXmlStreamReader::Invalid:
                Fail(mXml.errorString());
                return false;
            default:
                break;
            }
        }
        return false;
    }

    bool LeafText(QString& text)
    {
        text = mXml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (mXml.hasError())
            return Fail(mXml.errorString());
        if (mControlsStoodIn) {
            for (QChar& c : text) {
                if (c.unicode() >= kControlStandIn && c.unicode() < kControlStandIn + 0x20)
                    c = QChar(char16_t(c.unicode() - kControlStandIn));
            }
        }
        return true;
    }

    bool ParseValue(QVariant& out, int depth)
    {
        if (depth > kMaxNestingDepth)
            return Fail(QStringLiteral("nesting deeper than %1 levels").arg(kMaxNestingDepth));
        // Copied: the reader's view of the name dies when it moves on.
        const QString name = mXml.name().toString();
        QString text;
        if (name == QLatin1String("dict"))
            return ParseDict(out, depth);
        if (name == QLatin1String("array"))
            return ParseArray(out, depth);
        if (!LeafText(text))
            return false;
        if (name == QLatin1String("string")) {
            out = text;
        } else if (name == QLatin1String("integer")) {
            return ParseInteger(text, out);
        } else if (name == QLatin1String("real")) {
            return ParseReal(text, out);
        } else if (name == QLatin1String("true") || name == QLatin1String("false")) {
            if (!text.trimmed().isEmpty())
                return Fail(QStringLiteral("text inside <%1/>").arg(name));
            out = (name == QLatin1String("true"));
        } else if (name == QLatin1String("data")) {
            return ParseData(text, out);
        } else if (name == QLatin1String("date")) {
            return ParseDate(text, out);
        } else {
            return Fail(QStringLiteral("unknown element <%1>").arg(name));
        }
        return true;
    }

    bool ParseDict(QVariant& out, int depth)
    {
        QVariantMap map;
        while (NextElement()) {
            if (mXml.name() != QLatin1String("key"))
                return Fail(QStringLiteral("<%1> where a <key> was expected").arg(mXml.name()));
            QString key;
            if (!LeafText(key))
                return false;
            if (!NextElement())
                return Fail(QStringLiteral("key \"%1\" has no value").arg(key));
            QVariant value;
            if (!ParseValue(value, depth + 1))
                return false;
            map.insert(key, value);
        }
        if (!mError.isEmpty() || mXml.hasError())
            return Fail(mXml.errorString());
        out = map;
        return true;
    }

    bool ParseArray(QVariant& out, int depth)
    {
        QVariantList list;
        while (NextElement()) {
            QVariant value;
            if (!ParseValue(value, depth + 1))
                return false;
            list.append(value);
        }
        if (!mError.isEmpty() || mXml.hasError())
            return Fail(mXml.errorString());
        out = list;
        return true;
    }

    bool ParseInteger(const QString& raw, QVariant& out)
    {
        QString text = raw.trimmed();
        bool negative = false;
        if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))) {
            negative = text.startsWith(QLatin1Char('-'));
            text.remove(0, 1);
        }
        int base = 10;
        if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
            base = 16;
            text.remove(0, 2);
        }
        bool ok = !text.isEmpty() && text[0].isLetterOrNumber();
        const qulonglong magnitude = ok ? text.toULongLong(&ok, base) : 0;
        constexpr qulonglong kMaxPositive = qulonglong(std::numeric_limits<qint64>::max());
        if (!ok || magnitude > kMaxPositive + (negative ? 1 : 0))
            return Fail(QStringLiteral("integer \"%1\" is not a 64-bit number").arg(raw.left(40)));
        out = negative ? qint64(0 - magnitude) : qint64(magnitude);
        return true;
    }

    bool ParseReal(const QString& raw, QVariant& out)
    {
        const QString text = raw.trimmed();
        const QString lower = text.toLower();
        double value = 0;
        if (lower == QLatin1String("nan")) {
            value = std::nan("");
        } else if (lower == QLatin1String("+infinity") || lower == QLatin1String("infinity")
                   || lower == QLatin1String("+inf") || lower == QLatin1String("inf")) {
            value = std::numeric_limits<double>::infinity();
        } else if (lower == QLatin1String("-infinity") || lower == QLatin1String("-inf")) {
            value = -std::numeric_limits<double>::infinity();
        } else {
            bool ok = false;
            value = text.toDouble(&ok);
            if (!ok || !std::isfinite(value))
                return Fail(QStringLiteral("real \"%1\" is not a number").arg(raw.left(40)));
        }
        out = value;
        return true;
    }

    bool ParseData(const QString& text, QVariant& out)
    {
        QByteArray compact;
        compact.reserve(text.size());
        for (QChar c : text) {
            if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
                continue;
            if (c.unicode() > 0x7F)
                return Fail(QStringLiteral("bad character in <data>"));
            compact.append(char(c.unicode()));
        }
        auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return Fail(QStringLiteral("<data> is not valid base64"));
        out = *decoded;
        return true;
    }

    bool ParseDate(const QString& text, QVariant& out)
    {
        static const QRegularExpression pattern(
            QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})T(\\d{2}):(\\d{2}):(\\d{2})Z$"));
        const auto match = pattern.match(text.trimmed());
        if (match.hasMatch()) {
            const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
            const QTime time(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt());
            if (date.isValid() && time.isValid()) {
                out = QDateTime(date, time, Qt::UTC);
                return true;
            }
        }
        return Fail(QStringLiteral("date \"%1\" is not YYYY-MM-DDThh:mm:ssZ").arg(text.left(40)));
    }

    QXmlStreamReader mXml;
    bool mControlsStoodIn;
    QString mError;
};

} // namespace

bool IsIntegerValue(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool IsRealValue(const QVariant& value)
{
    const int typeId = value.metaType().id();
    return typeId == QMetaType::Float || typeId == QMetaType::Double;
}

bool ToInt64(const QVariant& value, qint64& out)
{
    if (IsIntegerValue(value)) {
        if (IsUnsignedType(value.metaType().id())) {
            const qulonglong u = value.toULongLong();
            if (u > qulonglong(std::numeric_limits<qint64>::max()))
                return false;
            out = qint64(u);
            return true;
        }
        out = value.toLongLong();
        return true;
    }
    if (IsRealValue(value)) {
        // Beyond 2^63 no double converts exactly to a signed 64-bit number.
        const double d = value.toDouble();
        if (!std::isfinite(d) || d != std::trunc(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
            return false;
        out = qint64(d);
        return true;
    }
    return false;
}

namespace {

template <typename T>
bool ToNarrowInteger(const QVariant& value, T& out)
{
    qint64 wide = 0;
    if (!ToInt64(value, wide) || wide < std::numeric_limits<T>::min() || wide > std::numeric_limits<T>::max())
        return false;
    out = T(wide);
    return true;
}

} // namespace

bool ToInt32(const QVariant& value, SInt32& out)
{
    return ToNarrowInteger(value, out);
}

bool ToInt16(const QVariant& value, SInt16& out)
{
    return ToNarrowInteger(value, out);
}

bool ToFloat(const QVariant& value, float& out)
{
    if (IsRealValue(value)) {
        const double d = value.toDouble();
        const float f = float(d);
        if (!std::isnan(d) && double(f) != d)
            return false;
        out = f;
        return true;
    }
    qint64 wide = 0;
    if (!ToInt64(value, wide))
        return false;
    const float f = float(wide);
    // Whole floats at or beyond 2^63 would not convert back.
    if (f >= 9223372036854775808.0f || qint64(f) != wide)
        return false;
    out = f;
    return true;
}

bool IsValid(const QVariant& value)
{
    QByteArray scratch;
    return AppendValue(scratch, value, 0, EForbiddenCharacters::AsTheyAre);
}

OSStatus Write(const QVariant& value, QByteArray& out, EForbiddenCharacters forbidden)
{
    out.clear();
    QByteArray body;
    if (!AppendValue(body, value, 0, forbidden))
        return kErrUnsupportedValue;
    out.reserve(body.size() + 256);
    out.append(kHeader);
    out.append(body);
    out.append(kFooter);
    return noErr;
}

QByteArray ToXML(const QVariant& value, EForbiddenCharacters forbidden)
{
    QByteArray out;
    Write(value, out, forbidden);
    return out;
}

OSStatus Read(const QByteArray& xml, QVariant& out, QString* errorText)
{
    out = QVariant();
    QVariant value;
    Reader reader(xml, false);
    if (!reader.Parse(value)) {
        const bool hasControls = std::any_of(xml.begin(), xml.end(),
                                             [](char c) { return IsDisallowedControl(static_cast<unsigned char>(c)); });
        value = QVariant();
        if (!hasControls || !Reader(StandInForControls(xml), true).Parse(value)) {
            if (errorText)
                *errorText = reader.ErrorText();
            return kErrMalformed;
        }
    }
    out = value;
    return noErr;
}

OSStatus ReadFile(const QString& path, QVariant& out, QString* errorText)
{
    out = QVariant();
    QByteArray bytes;
    const OSStatus status = ReadRegularFile(path, bytes, kMaxFileBytes);
    if (status == fsDataTooBigErr) {
        if (errorText)
            *errorText = QStringLiteral("the file is larger than %1 bytes").arg(kMaxFileBytes);
        return kErrMalformed;
    }
    if (status != noErr) {
        if (errorText)
            *errorText = status == notAFileErr ? QStringLiteral("not a regular file") : QStringLiteral("not readable");
        return status;
    }
    return Read(bytes, out, errorText);
}

OSStatus WriteFile(const QString& path, const QVariant& value)
{
    QByteArray bytes;
    if (OSStatus err = Write(value, bytes))
        return err;
    return ReplaceFileSafely(path, bytes);
}

} // namespace PropertyList
