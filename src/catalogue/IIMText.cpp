#include "IIMText.h"

#include "ExceptionCode.h"
#include "MacRoman.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <array>

namespace IIMText {
namespace {

constexpr char kReferenceStart[] = "&#x";
constexpr qsizetype kReferenceStartLength = 3;
// A literal "&" where a reference would otherwise be read, so that typed text
// such as "&#x4E2D;" stays the text it is.
constexpr char kAmpersandReference[] = "&#x26;";
constexpr qsizetype kAmpersandReferenceLength = 6;
constexpr int kMaxReferenceDigits = 6;
constexpr char32_t kLastCodePoint = 0x10FFFF;

constexpr char kEscape = 0x1B;
constexpr char kLatin1Name[] = "ISO-8859-1";
// The final byte of a 96-character set's designation (ESC - F, ESC . F) and the
// ISO 8859 part it names.
constexpr std::pair<char, const char*> kLatinParts[] = {{'A', kLatin1Name}, {'B', "ISO-8859-2"},
    {'C', "ISO-8859-3"}, {'D', "ISO-8859-4"}, {'F', "ISO-8859-7"}, {'G', "ISO-8859-6"}, {'H', "ISO-8859-8"},
    {'L', "ISO-8859-5"}, {'M', "ISO-8859-9"}, {'T', "ISO-8859-11"}, {'V', "ISO-8859-10"}, {'Y', "ISO-8859-13"},
    {'_', "ISO-8859-14"}, {'b', "ISO-8859-15"}, {'f', "ISO-8859-16"}};
// Designations of the multi-byte sets whose texts switch with escape sequences,
// and the ISO 2022 form that reads them.
constexpr std::pair<const char*, const char*> kSwitchingSets[] = {{"\x1B$B", "ISO-2022-JP"},
    {"\x1B$@", "ISO-2022-JP"}, {"\x1B(J", "ISO-2022-JP"}, {"\x1B$(D", "ISO-2022-JP-2"}, {"\x1B$)C", "ISO-2022-KR"},
    {"\x1B$)A", "ISO-2022-CN"}};

// Record-2 datasets that hold numbers, dates, times or binary data.
constexpr UInt8 kNonTextDataSets[] = {0, 10, 55, 60, 62, 63, 70, 125, 130, 131, 150, 151, 152, 153, 154, 200, 201,
    202};
// The caption record keeps its list entries to 254 bytes, its other texts to 255;
// the caption itself and datasets it does not model are kept whole.
constexpr UInt8 kListDataSets[] = {kSupplementalCategoryDataSet, kKeywordDataSet};
constexpr UInt8 kFieldDataSets[] = {5, 15, 40, 80, 85, 90, 95, 101, 103, 105, 110, 115, 116, 122};
constexpr qsizetype kFieldLimit = 255;

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

// The character written at `at` as a reference (one to a character Mac Roman lacks,
// or the one to "&"), and its length; 0 where the bytes stand for themselves.
qsizetype CharacterReferenceAt(QByteArrayView bytes, qsizetype at, char32_t& ch)
{
    if (bytes[at] != '&')
        return 0;
    if (bytes.sliced(at).startsWith(kAmpersandReference)) {
        ch = U'&';
        return kAmpersandReferenceLength;
    }
    return ReferenceAt(bytes, at, ch);
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
    QList<qsizetype> ampersands;
    for (const char32_t ch : composed.toUcs4()) {
        unsigned char byte;
        if (ch == U'&')
            ampersands.append(bytes.size());
        if (ch <= 0xFFFF && MacRoman::FromUnicode(char16_t(ch), byte))
            bytes.append(char(byte));
        else
            bytes.append(kReferenceStart).append(QByteArray::number(uint(ch), 16).toUpper()).append(';');
    }
    // An "&" that would be read as the start of a reference is written as one itself.
    // From the end, since a reference holds no "&" and the later ones do not move
    // the earlier ones.
    for (auto it = ampersands.crbegin(); it != ampersands.crend(); ++it) {
        char32_t ch;
        if (CharacterReferenceAt(bytes, *it, ch) > 0)
            bytes.replace(*it, 1, kAmpersandReference);
    }
    return bytes;
}

QString TextFromCaptionBytes(QByteArrayView bytes)
{
    QString text;
    TextFromCaptionBytes(bytes, text);
    return text;
}

void TextFromCaptionBytes(QByteArrayView bytes, QString& out)
{
    // A byte gives one unit at most, a reference (six bytes or more) two.
    out.resize(bytes.size());
    QChar* const begin = out.data();
    QChar* units = begin;
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t ch;
        if (const qsizetype length = CharacterReferenceAt(bytes, i, ch)) {
            if (QChar::requiresSurrogates(ch)) {
                *units++ = QChar(QChar::highSurrogate(ch));
                *units++ = QChar(QChar::lowSurrogate(ch));
            } else {
                *units++ = QChar(char16_t(ch));
            }
            i += length;
        } else {
            *units++ = QChar(MacRoman::ToUnicode(static_cast<unsigned char>(bytes[i])));
            ++i;
        }
    }
    out.resize(units - begin);
}

QByteArray CutCaptionBytes(const QByteArray& bytes, qsizetype limit)
{
    if (bytes.size() <= limit)
        return bytes;
    // A reference that reaches past the limit starts within its longest length of it.
    const qsizetype longest = kReferenceStartLength + kMaxReferenceDigits + 1;
    for (qsizetype at = std::max<qsizetype>(0, limit - longest + 1); at < limit; ++at) {
        char32_t ch;
        const qsizetype length = CharacterReferenceAt(bytes, at, ch);
        if (length > 0 && at + length > limit)
            return bytes.left(at);
    }
    return bytes.left(limit);
}

FileCharset::FileCharset(QByteArrayView declaration)
    : mKind(declaration.isEmpty() ? ECharset::Undeclared : ECharset::Other)
{
    if (declaration.isEmpty())
        return;
    // Each escape sequence designates one set; ASCII as G0 is the default anyway.
    QByteArray upperHalf; // an ISO 8859 part
    QByteArray switching; // an ISO 2022 form with multi-byte sets
    bool utf8 = false;
    for (qsizetype at = 0; at < declaration.size();) {
        if (declaration[at] != kEscape)
            return; // not escape sequences: a set we do not know
        qsizetype end = at + 1;
        // Intermediate bytes 0x20-0x2F, then one final byte 0x30-0x7E.
        while (end < declaration.size() && declaration[end] >= 0x20 && declaration[end] <= 0x2F)
            ++end;
        if (end >= declaration.size() || declaration[end] < 0x30 || declaration[end] > 0x7E)
            return;
        const QByteArrayView escape = declaration.sliced(at, end + 1 - at);
        at = end + 1;
        // A text starts in ASCII, as ISO-2022-JP texts do, and switches to a G0
        // set with an escape of its own; sets designated to G1-G3 stay designated.
        const QByteArrayView intermediates = escape.sliced(1, escape.size() - 2);
        if (intermediates != "(" && intermediates != "$" && intermediates != "$(" && !intermediates.startsWith('%'))
            mDesignations += escape;
        if (escape == "\x1B%G" || escape == "\x1B%/G" || escape == "\x1B%/H" || escape == "\x1B%/I") {
            utf8 = true;
        } else if (escape == "\x1B(B") {
            // ASCII
        } else if (escape.size() == 3 && (escape[1] == '-' || escape[1] == '.')) {
            const auto* part = std::find_if(std::begin(kLatinParts), std::end(kLatinParts),
                [&](const auto& entry) { return entry.first == escape[2]; });
            if (part == std::end(kLatinParts) || (!upperHalf.isEmpty() && upperHalf != part->second))
                return;
            upperHalf = part->second;
        } else {
            const auto* form = std::find_if(std::begin(kSwitchingSets), std::end(kSwitchingSets),
                [&](const auto& entry) { return escape == QByteArrayView(entry.first); });
            if (form == std::end(kSwitchingSets))
                return;
            // The Japanese forms add up to the one that has them all.
            if (!switching.isEmpty() && switching != form->second)
                switching = switching.startsWith("ISO-2022-JP") && QByteArray(form->second).startsWith("ISO-2022-JP")
                    ? QByteArray("ISO-2022-JP-2")
                    : QByteArray("?");
            else
                switching = form->second;
        }
    }
    if (utf8) {
        if (upperHalf.isEmpty() && switching.isEmpty())
            mKind = ECharset::UTF8;
        return;
    }
    // A switching form reads the upper-half sets it designates too.
    mSwitches = !switching.isEmpty();
    const QByteArray codec = mSwitches ? switching : upperHalf;
    if (codec.isEmpty())
        mKind = ECharset::UTF8; // ASCII alone, which UTF-8 holds
    else if (codec == kLatin1Name)
        mKind = ECharset::Latin1;
    else if (QStringDecoder(codec.constData()).isValid())
        mCodec = codec;
}

bool FileCharset::IsKnown() const
{
    return mKind != ECharset::Other || !mCodec.isEmpty();
}

QString FileCharset::Decode(QByteArrayView bytes) const
{
    switch (mKind) {
    case ECharset::Latin1:
        return DecodeLatin1(bytes);
    case ECharset::Undeclared:
    case ECharset::UTF8:
        return IsValidUTF8(bytes) ? QString::fromUtf8(bytes) : DecodeLatin1(bytes);
    case ECharset::Other:
        break;
    }
    if (mCodec.isEmpty())
        return DecodeLatin1(bytes);
    // What the set lacks shows as the replacement character.
    return DecodeWith(bytes).first;
}

std::optional<QString> FileCharset::DecodeExactly(QByteArrayView bytes) const
{
    switch (mKind) {
    case ECharset::Latin1:
        if (bytes.contains(kEscape))
            return std::nullopt; // switches to a set of its own
        return DecodeLatin1(bytes);
    case ECharset::Undeclared:
    case ECharset::UTF8:
        if (!IsValidUTF8(bytes))
            return std::nullopt;
        return QString::fromUtf8(bytes);
    case ECharset::Other:
        break;
    }
    if (mCodec.isEmpty() || (!mSwitches && bytes.contains(kEscape)))
        return std::nullopt;
    auto [text, failed] = DecodeWith(bytes);
    if (failed)
        return std::nullopt;
    return text;
}

std::optional<QByteArray> FileCharset::Encode(const QString& text) const
{
    switch (mKind) {
    case ECharset::Undeclared:
    case ECharset::UTF8:
        return text.toUtf8();
    case ECharset::Latin1:
        for (const QChar ch : text) {
            if (ch.unicode() > 0xFF || (ch.unicode() >= 0x80 && ch.unicode() < 0xA0))
                return std::nullopt; // what Latin-1 lacks, or what the reader takes as Windows-1252
        }
        return text.toLatin1();
    case ECharset::Other:
        break;
    }
    // A switching set's text would have to start from the declared sets: not written.
    if (mCodec.isEmpty() || mSwitches)
        return std::nullopt;
    QStringEncoder encoder(mCodec.constData(), QStringEncoder::Flag::Stateless);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

std::pair<QString, bool> FileCharset::DecodeWith(QByteArrayView bytes) const
{
    QStringDecoder decoder(mCodec.constData(), QStringDecoder::Flag::Stateless);
    // A switching set's texts start with G1-G3 as the declaration designates them.
    const QByteArray input = mSwitches ? mDesignations + bytes.toByteArray() : bytes.toByteArray();
    QString text = decoder.decode(input);
    return {text, decoder.hasError()};
}

FileCharset DeclaredCharset(const QByteArray& block)
{
    QByteArrayView declaration;
    try {
        WalkDataSets(block, [&](UInt8 record, UInt8 dataSet, QByteArrayView data) {
            if (record == kEnvelopeRecord && dataSet == kCodedCharacterSet)
                declaration = data;
        });
    } catch (const ExceptionCode&) {
        // A declaration before the damage still counts.
    }
    return FileCharset(declaration);
}

bool IsTextDataSet(UInt8 record, UInt8 dataSet)
{
    return record == kApplicationRecord && !Contains(kNonTextDataSets, dataSet);
}

QByteArray BlockToCaptionForm(const QByteArray& block, bool undeclaredIsMacRoman)
{
    const FileCharset charset = DeclaredCharset(block);
    if (charset.Kind() == ECharset::Undeclared && undeclaredIsMacRoman)
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
            QByteArray text = CaptionBytesFromText(charset.Decode(data));
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

QByteArray BlockToFileForm(const QByteArray& captionBlock)
{
    QByteArray out;
    AppendDataSet(out, kEnvelopeRecord, kCodedCharacterSet, kUTF8Declaration);
    WalkDataSets(captionBlock, [&](UInt8 record, UInt8 dataSet, QByteArrayView data) {
        if (record == kEnvelopeRecord && dataSet == kCodedCharacterSet)
            return;
        if (IsTextDataSet(record, dataSet))
            AppendDataSet(out, record, dataSet, TextFromCaptionBytes(data).toUtf8());
        else
            AppendDataSet(out, record, dataSet, data);
    });
    return out;
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
