#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <string>
#include <utility>

// The bytes of IPTC-IIM blocks and of the caption texts made from them.
//
// Caption fields hold Mac Roman bytes. A character Mac Roman has no byte for is
// kept as a numeric character reference of ASCII bytes, "&#x4E2D;", so that a
// Chinese or Polish caption read from a file survives the record, index.db and
// the write back into the file. Only a reference to such a character is read back
// as one; "&#x41;" stays the six characters it is. An "&" of the text that would
// otherwise begin such a reference is written "&#x26;", so that the text
// "&#x4E2D;" stays those eight characters.
namespace IIMText {

inline constexpr UInt8 kTagMarker = 0x1C;
inline constexpr UInt8 kEnvelopeRecord = 1;
inline constexpr UInt8 kApplicationRecord = 2;
inline constexpr UInt8 kCodedCharacterSet = 90; // 1:90
// Application record datasets read for text: 2:20, 2:25 and 2:120.
inline constexpr UInt8 kSupplementalCategoryDataSet = 20;
inline constexpr UInt8 kKeywordDataSet = 25;
inline constexpr UInt8 kCaptionDataSet = 120;
// What a caption keeps of a list entry (a keyword, a category) read from a block.
inline constexpr qsizetype kListEntryLimit = 254;
// 1:90 as written for UTF-8: ESC % G.
inline const QByteArray kUTF8Declaration = QByteArrayLiteral("\x1B%G");

// The stream read error that a block cut short gives.
inline constexpr OSStatus kBlockReadErr = -19;

// Caption bytes (Mac Roman, with references) from text, and back.
QByteArray CaptionBytesFromText(const QString& text);
QString TextFromCaptionBytes(QByteArrayView bytes);
// The same text into `out`, whose room is kept: a reader of many texts makes no
// string for each.
void TextFromCaptionBytes(QByteArrayView bytes, QString& out);

// The longest start of `bytes` of at most `limit` bytes that ends on a whole
// character: a reference is kept whole or left out.
QByteArray CutCaptionBytes(const QByteArray& bytes, qsizetype limit);

// The character set a block declares in 1:90.
enum class ECharset { Undeclared, UTF8, Latin1, Other };

// The character set of a file's texts, from the ISO 2022 escape sequences of its
// 1:90 dataset: UTF-8, Latin-1, the other ISO 8859 parts, and the ISO 2022 sets
// of Japanese, Korean and Chinese (whose texts switch sets within themselves).
class FileCharset {
public:
    FileCharset() = default; // undeclared
    explicit FileCharset(QByteArrayView declaration);

    ECharset Kind() const { return mKind; }
    // Whether the declared set is one the program can convert.
    bool IsKnown() const;

    // Text of a dataset for reading. Undeclared, UTF-8 when the bytes are valid
    // UTF-8, otherwise Latin-1, the IIM default for Western text. Real files
    // declared UTF-8 but written in Latin-1 exist, so bytes that are not UTF-8
    // are read as Latin-1 there too; and since C1 control codes are never meant in
    // a caption, in Latin-1 0x80-0x9F are read as Windows-1252 (curly quotes, the
    // euro sign) as the programs that wrote them meant. Other sets by their codec.
    QString Decode(QByteArrayView bytes) const;
    // The text when the bytes are known to be text of this set (undeclared: valid
    // UTF-8); nothing when reading them took a guess or met bytes the set lacks.
    std::optional<QString> DecodeExactly(QByteArrayView bytes) const;
    // The text in this set's bytes (undeclared: UTF-8); nothing when the set
    // lacks a character of it or cannot be written.
    std::optional<QByteArray> Encode(const QString& text) const;

private:
    // The text by the set's converter, and whether it met bytes the set lacks.
    std::pair<QString, bool> DecodeWith(QByteArrayView bytes) const;

    ECharset mKind = ECharset::Undeclared;
    QByteArray mDesignations; // of G1-G3, in effect at the start of every text
    QByteArray mCodec; // the converter's name for a set of kind Other
    bool mSwitches = false; // texts switch sets with escape sequences
};

FileCharset DeclaredCharset(const QByteArray& block);

// Whether a record-2 dataset holds text (and not a number, date or binary data).
bool IsTextDataSet(UInt8 record, UInt8 dataSet);

// A file's IIM block with the text of its record-2 datasets in the caption form
// (Mac Roman with references), each cut to what the caption record keeps without
// splitting a character. With `undeclaredIsMacRoman` a block without 1:90 is
// taken as the caption form already (blocks the program itself wrote).
QByteArray BlockToCaptionForm(const QByteArray& block, bool undeclaredIsMacRoman = false);

// A block in the caption form as a file holds it: the texts of record 2 in UTF-8,
// declared so in 1:90, every other dataset as it is. Throws kBlockReadErr for a
// block cut short.
QByteArray BlockToFileForm(const QByteArray& captionBlock);

// Appends one dataset; data longer than 0x7FFF bytes takes the extended length.
void AppendDataSet(QByteArray& block, UInt8 record, UInt8 dataSet, QByteArrayView data);

[[noreturn]] void ThrowCutBlock(const std::string& what);

// Walks the datasets of a block, handing each to `onDataSet(record, dataSet,
// data)` as a view into the block; throws kBlockReadErr for a block cut short.
// Returns 0, or -1 when a byte that is no tag marker ends the walk early (a zero
// pair counts as padding at the end and gives 0).
template <typename F>
SInt32 WalkDataSets(const QByteArray& block, F&& onDataSet)
{
    constexpr UInt16 kExtendedLengthBit = 0x8000;
    constexpr int kMaxExtendedLengthBytes = 4;
    const auto* const begin = reinterpret_cast<const UInt8*>(block.constData());
    const UInt8* p = begin;
    const UInt8* const end = begin + block.size();
    auto offset = [&](const UInt8* at) { return std::to_string(at - begin); };
    while (p < end) {
        if (end - p < 2)
            ThrowCutBlock("dataset header cut at offset " + offset(p));
        const UInt8 marker = p[0];
        const UInt8 record = p[1];
        if (marker != kTagMarker)
            return record != 0 ? -1 : 0;
        if (end - p < 5)
            ThrowCutBlock("dataset header cut at offset " + offset(p));
        const UInt8 dataSet = p[2];
        SInt64 length = (SInt64(p[3]) << 8) | p[4];
        p += 5;
        if (length & kExtendedLengthBit) {
            // Extended form: the low bits count the bytes of the real length.
            const int lengthBytes = int(length & ~kExtendedLengthBit);
            if (lengthBytes < 1 || lengthBytes > kMaxExtendedLengthBytes || lengthBytes > end - p)
                ThrowCutBlock("dataset " + std::to_string(record) + ":" + std::to_string(dataSet)
                    + " has an extended length of " + std::to_string(lengthBytes) + " bytes");
            length = 0;
            for (int i = 0; i < lengthBytes; ++i)
                length = (length << 8) | *p++;
        }
        if (length > end - p)
            ThrowCutBlock("dataset " + std::to_string(record) + ":" + std::to_string(dataSet) + " length "
                + std::to_string(length) + ", " + std::to_string(end - p) + " bytes remain");
        const QByteArrayView data(p, qsizetype(length));
        p += length;
        onDataSet(record, dataSet, data);
    }
    return 0;
}

} // namespace IIMText
