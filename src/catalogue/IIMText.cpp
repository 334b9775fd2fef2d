#include "IIMText.h"

#include "ExceptionCode.h"
#include "MacRoman.h"

#include <QList>
#include <QStringDecoder>
#include <algorithm>
#include <array>

namespace IIMText {
namespace {

constexpr char kReferenceStart[] = "&#x";
constexpr qsizetype kReferenceStartLength = 3;
constexpr int kMaxReferenceDigits = 6;
constexpr char32_t kLastCodePoint = 0x10FFFF;

// Record-2 datasets that hold numbers, dates, times or binary data.
constexpr UInt8 kNonTextDataSets[] = {0, 10, 55, 60, 62, 63, 70, 125, 130, 131, 150, 151, 152, 153, 154, 200, 201,
    202};
// The caption record keeps its list entries to 254 bytes, its other texts to 255;
// the caption itself and datasets it does not model are kept whole.
constexpr UInt8 kListDataSets[] = {20, 25};
constexpr UInt8 kFieldDataSets[] = {5, 15, 40, 80, 85, 90, 95, 101, 103, 105, 110, 115, 116, 122};
constexpr qsizetype kFieldLimit = 255;
constexpr qsizetype kListEntryLimit = 254;

// Windows-1252 at 0x80-0x9F; 0 where it has no character either.
constexpr std::array<char16_t, 32> kWindows1252 = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E,
    0x0178};

template <std::size_t N>
bool Contains(const UInt8 (&list)[N], UInt8 value)
{
    return std::find(std::begin(list), std::end(list), value) != std::end(list);
}

bool IsMacRomanCharacter(char32_t ch)
{
    unsigned char byte;
    return ch <= 0xFFFF && MacRoman::FromUnicode(char16_t(ch), byte);
}

// The character a reference at `at` stands for, and its length; 0 when there is
// no reference there that the writer would have made.
qsizetype ReferenceAt(QByteArrayView bytes, qsizetype at, char32_t& ch)
{
    if (bytes.size() - at < kReferenceStartLength + 2 || bytes.sliced(at, kReferenceStartLength) != kReferenceStart)
        return 0;
    char32_t value = 0;
    qsizetype p = at + kReferenceStartLength;
    int digits = 0;
    for (; p < bytes.size() && digits < kMaxReferenceDigits; ++p, ++digits) {
        const char c = bytes[p];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = value * 16 + char32_t(digit);
    }
    if (digits == 0 || p >= bytes.size() || bytes[p] != ';')
        return 0;
    if (value > kLastCodePoint || (value >= 0xD800 && value <= 0xDFFF) || value < 0x80 || IsMacRomanCharacter(value))
        return 0;
    ch = value;
    return p + 1 - at;
}

bool IsValidUTF8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

QString DecodeLatin1(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const char16_t windows = byte >= 0x80 && byte < 0xA0 ? kWindows1252[byte - 0x80] : 0;
        text.append(QChar(windows ? windows : char16_t(byte)));
    }
    return text;
}

} // namespace

void ThrowCutBlock(const std::string& what)
{
    ThrowOSErr_(kBlockReadErr, "IIM block: " + what);
}

QByteArray CaptionBytesFromText(const QString& text)
{
    // Precomposed forms first, so that "e" + combining acute finds its byte.
    const QString composed = text.normalized(QString::NormalizationForm_C);
    QByteArray bytes;
    bytes.reserve(composed.size());
    for (const char32_t ch : composed.toUcs4()) {
        unsigned char byte;
        if (ch <= 0xFFFF && MacRoman::FromUnicode(char16_t(ch), byte))
            bytes.append(char(byte));
        else
            bytes.append(kReferenceStart).append(QByteArray::number(uint(ch), 16).toUpper()).append(';');
    }
    return bytes;
}

QString TextFromCaptionBytes(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t ch;
        if (const qsizetype length = bytes[i] == '&' ? ReferenceAt(bytes, i, ch) : 0) {
            text.append(QString::fromUcs4(&ch, 1));
            i += length;
        } else {
            text.append(QChar(MacRoman::ToUnicode(static_cast<unsigned char>(bytes[i]))));
            ++i;
        }
    }
    return text;
}

QByteArray CutCaptionBytes(const QByteArray& bytes, qsizetype limit)
{
    if (bytes.size() <= limit)
        return bytes;
    // A reference that reaches past the limit starts within its longest length of it.
    const qsizetype longest = kReferenceStartLength + kMaxReferenceDigits + 1;
    for (qsizetype at = std::max<qsizetype>(0, limit - longest + 1); at < limit; ++at) {
        char32_t ch;
        const qsizetype length = bytes[at] == '&' ? ReferenceAt(bytes, at, ch) : 0;
        if (length > 0 && at + length > limit)
            return bytes.left(at);
    }
    return bytes.left(limit);
}

ECharset CharsetOfDeclaration(QByteArrayView declaration)
{
    if (declaration.isEmpty())
        return ECharset::Undeclared;
    if (declaration == QByteArrayView(kUTF8Declaration))
        return ECharset::UTF8;
    // ISO 8859-1 designated as G1 (ESC - A) or G2 (ESC . A).
    if (declaration == "\x1B-A" || declaration == "\x1B.A")
        return ECharset::Latin1;
    return ECharset::Other;
}

ECharset DeclaredCharset(const QByteArray& block)
{
    ECharset charset = ECharset::Undeclared;
    try {
        WalkDataSets(block, [&](UInt8 record, UInt8 dataSet, QByteArrayView data) {
            if (record == kEnvelopeRecord && dataSet == kCodedCharacterSet)
                charset = CharsetOfDeclaration(data);
        });
    } catch (const ExceptionCode&) {
        // A declaration before the damage still counts.
    }
    return charset;
}

QString DecodeFileText(QByteArrayView bytes, ECharset declared)
{
    if (declared != ECharset::Latin1 && IsValidUTF8(bytes))
        return QString::fromUtf8(bytes);
    return DecodeLatin1(bytes);
}

bool IsTextDataSet(UInt8 record, UInt8 dataSet)
{
    return record == kApplicationRecord && !Contains(kNonTextDataSets, dataSet);
}

QByteArray BlockToCaptionForm(const QByteArray& block, bool undeclaredIsMacRoman)
{
    const ECharset charset = DeclaredCharset(block);
    if (charset == ECharset::Undeclared && undeclaredIsMacRoman)
        return block;
    QByteArray out;
    out.reserve(block.size());
    // A damaged block is converted as far as it goes, and the rest kept as it is:
    // the caption reader reports the damage when it meets the same place.
    qsizetype consumed = 0;
    try {
        WalkDataSets(block, [&](UInt8 record, UInt8 dataSet, QByteArrayView data) {
            consumed = (data.data() + data.size()) - block.constData();
            if (!IsTextDataSet(record, dataSet)) {
                AppendDataSet(out, record, dataSet, data);
                return;
            }
            QByteArray text = CaptionBytesFromText(DecodeFileText(data, charset));
            if (Contains(kFieldDataSets, dataSet))
                text = CutCaptionBytes(text, kFieldLimit);
            else if (Contains(kListDataSets, dataSet))
                text = CutCaptionBytes(text, kListEntryLimit);
            AppendDataSet(out, record, dataSet, text);
        });
    } catch (const ExceptionCode&) {
    }
    return out + block.mid(consumed);
}

void AppendDataSet(QByteArray& block, UInt8 record, UInt8 dataSet, QByteArrayView data)
{
    constexpr qsizetype kLongestStandardLength = 0x7FFF;
    block.append(char(kTagMarker)).append(char(record)).append(char(dataSet));
    const qsizetype size = data.size();
    if (size <= kLongestStandardLength) {
        block.append(char(size >> 8)).append(char(size & 0xFF));
    } else {
        // The extended form: a 16-bit count of length bytes with the top bit set, then a 4-byte length.
        block.append(char(0x80)).append(char(4));
        block.append(char(size >> 24)).append(char(size >> 16)).append(char(size >> 8)).append(char(size));
    }
    block.append(data.data(), data.size());
}

} // namespace IIMText
