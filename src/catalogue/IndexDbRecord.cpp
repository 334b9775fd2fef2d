#include "IndexDbRecord.h"

#include "ExceptionCode.h"
#include "LStream.h"

#include <algorithm>
#include <cstring>

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const UInt8*>(bytes.constData());
    const UInt8* end = p + bytes.size();
    while (p < end) {
        const UInt8 lead = *p++;
        if (lead < 0x80)
            continue;
        int more;
        UInt32 lowest;
        UInt32 code;
        if ((lead & 0xE0) == 0xC0) {
            more = 1, lowest = 0x80, code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            more = 2, lowest = 0x800, code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            more = 3, lowest = 0x10000, code = lead & 0x07;
        } else {
            return false;
        }
        if (end - p < more)
            return false;
        for (int i = 0; i < more; ++i, ++p) {
            if ((*p & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (*p & 0x3F);
        }
        if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
    }
    return true;
}

void WriteCounted(LStream& stream, UInt8 tag, const QByteArray& bytes)
{
    stream.WriteUInt8(tag);
    stream.WriteUInt32(UInt32(bytes.size()));
    stream.WriteBytes(bytes);
}

void CheckLimit(const std::optional<QByteArray>& field, int limit, const char* what)
{
    if (field && field->size() > limit)
        ThrowOSErr_(paramErr, std::string(what) + " longer than " + std::to_string(limit) + " bytes");
}

// Reads big-endian numbers off a byte range that the caller has checked.
UInt32 Load32(const UInt8* p)
{
    return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}

void Store32(UInt8* p, UInt32 value)
{
    p[0] = UInt8(value >> 24);
    p[1] = UInt8(value >> 16);
    p[2] = UInt8(value >> 8);
    p[3] = UInt8(value);
}

} // namespace

void WriteIndexDbRecord(LStream& stream, const IndexDbRecord& record)
{
    if (!record.fields)
        ThrowOSErr_(paramErr, "index.db record without catalogue fields");
    CheckLimit(record.name, kMaxNameBytes, "name");
    CheckLimit(record.storedName, kMaxNameBytes, "stored name");
    CheckLimit(record.remoteURL, kMaxRemoteURLBytes, "remote URL");

    if (record.name)
        WriteCounted(stream, kTagName, *record.name);
    if (record.fileURL)
        WriteCounted(stream, kTagFileURL, *record.fileURL);
    if (record.alias)
        WriteCounted(stream, kTagAlias, *record.alias);
    if (record.storedName)
        WriteCounted(stream, kTagStoredName, *record.storedName);

    const CatalogueFields& f = *record.fields;
    UInt8 catalogue[kCatalogueFieldsSize];
    const UInt32 values[] = {f.fileType, f.totalSize, f.dateAdded, f.creationDate, f.modificationDate,
        UInt32(f.thumbnailNumber), f.flags};
    for (int i = 0; i < 7; ++i)
        Store32(catalogue + 4 * i, values[i]);
    stream.WriteUInt8(kTagCatalogue);
    stream.WriteBlock(catalogue, kCatalogueFieldsSize);

    if (record.remoteURL)
        WriteCounted(stream, kTagRemoteURL, *record.remoteURL);
    if (record.userData)
        WriteCounted(stream, kTagUserData, *record.userData);
    if (record.caption)
        WriteCounted(stream, kTagCaption, *record.caption);
    if (record.imageRecord) {
        stream.WriteUInt8(kTagImageRecord);
        stream.WriteUInt32(kImageRecordSize);
        stream.WriteBlock(record.imageRecord->data(), kImageRecordSize);
    }
    stream.WriteUInt8(kTagEndOfRecord);
}

namespace {

// A record the writer made has at most ten fields; a search for the next record in
// damaged data gives up on a candidate after this many, so that hostile data
// cannot make the search take quadratic time.
constexpr int kMaxFieldsOfCandidate = 64;

// How a parsed record holds its fields' bytes: copied, pointing into the data
// (the user data still copied, since an item keeps slices of it), or all pointing
// into the data, for a walk that only finds where records end.
enum class FieldBytes { Copied, Borrowed, AllBorrowed };

OSStatus ParseRecord(const UInt8*& pos, const UInt8* end, IndexDbRecord& out, QString* outWhy, int maxFields,
    FieldBytes holding = FieldBytes::Copied)
{
    const UInt8* p = pos;
    IndexDbRecord record;
    // A count that breaks its field's limit is remembered and the record walked to
    // its end by the counts, so that the next record can still be read.
    OSStatus damage = noErr;
    QString why;
    auto damaged = [&](OSStatus code, const QString& text) {
        if (damage == noErr) {
            damage = code;
            why = text;
        }
    };
    auto cutShort = [&](const QString& text) {
        if (outWhy)
            *outWhy = text;
        return eofErr;
    };

    for (int fields = 0;; ++fields) {
        if (p >= end)
            return cutShort(QStringLiteral("data ends before the end tag"));
        if (maxFields > 0 && fields > maxFields)
            return cutShort(QStringLiteral("no end tag after %1 fields").arg(maxFields));
        const UInt8 tag = *p++;
        if (tag == kTagEndOfRecord)
            break;
        if (tag == kTagCatalogue) {
            if (end - p < kCatalogueFieldsSize)
                return cutShort(QStringLiteral("tag 4 needs %1 bytes, %2 left").arg(kCatalogueFieldsSize).arg(end - p));
            CatalogueFields f;
            f.fileType = Load32(p);
            f.totalSize = Load32(p + 4);
            f.dateAdded = Load32(p + 8);
            f.creationDate = Load32(p + 12);
            f.modificationDate = Load32(p + 16);
            f.thumbnailNumber = SInt32(Load32(p + 20));
            f.flags = Load32(p + 24);
            record.fields = f;
            p += kCatalogueFieldsSize;
            continue;
        }
        if (end - p < 4)
            return cutShort(QStringLiteral("tag %1 count cut short").arg(tag));
        const UInt32 count = Load32(p);
        p += 4;
        if (count > UInt64(end - p))
            return cutShort(QStringLiteral("tag %1 count %2, %3 bytes left").arg(tag).arg(count).arg(end - p));
        const char* data = reinterpret_cast<const char*>(p);
        p += count;
        const auto field = [&] {
            return holding != FieldBytes::Copied ? QByteArray::fromRawData(data, qsizetype(count))
                                                 : QByteArray(data, qsizetype(count));
        };

        switch (tag) {
        case kTagName:
        case kTagStoredName: {
            if (count > UInt32(kMaxNameBytes)) {
                damaged(badFormat, QStringLiteral("tag %1 count %2, at most %3").arg(tag).arg(count).arg(kMaxNameBytes));
                break;
            }
            QByteArray text = field();
            if (!IsUtf8(text)) {
                // A name that does not decode cannot be made: 'nilP'.
                damaged(err_NilPointer, QStringLiteral("tag %1 is not UTF-8").arg(tag));
                break;
            }
            (tag == kTagName ? record.name : record.storedName) = std::move(text);
            break;
        }
        case kTagFileURL:
            record.fileURL = field();
            break;
        case kTagAlias:
            record.alias = field();
            break;
        case kTagRemoteURL:
            // Written at most 255 bytes long; a longer text is kept as it is.
            record.remoteURL = field();
            break;
        case kTagUserData:
            // A copy unless nothing is kept: its parts are kept as slices of it.
            record.userData = holding == FieldBytes::AllBorrowed ? QByteArray::fromRawData(data, qsizetype(count))
                                                                 : QByteArray(data, qsizetype(count));
            break;
        case kTagCaption:
            record.caption = field();
            break;
        case kTagImageRecord:
            if (count != UInt32(kImageRecordSize)) {
                // The part alone is damaged: the record's other fields still read.
                record.dropped = QStringLiteral("tag 12 count %1, expected %2").arg(count).arg(kImageRecordSize);
                break;
            }
            record.imageRecord.emplace();
            std::memcpy(record.imageRecord->data(), data, kImageRecordSize);
            break;
        default:
            break; // tags of other record forms, or unknown: skipped by their count
        }
    }

    pos = p;
    if (damage != noErr) {
        if (outWhy)
            *outWhy = why;
        return damage;
    }
    out = std::move(record);
    return noErr;
}

} // namespace

OSStatus ParseIndexDbRecord(const UInt8*& pos, const UInt8* end, IndexDbRecord& out, QString* outWhy, bool borrow)
{
    return ParseRecord(pos, end, out, outWhy, 0, borrow ? FieldBytes::Borrowed : FieldBytes::Copied);
}

bool FindIndexDbRecordPlaces(const UInt8* begin, const UInt8* end, IndexDbRecordPlaces& out)
{
    out = {};
    const UInt8* p = begin;
    while (p < end) {
        const UInt8 tag = *p++;
        if (tag == kTagEndOfRecord)
            return p == end;
        if (tag == kTagCatalogue) {
            if (end - p < kCatalogueFieldsSize)
                return false;
            p += kCatalogueFieldsSize;
            continue;
        }
        if (end - p < 4)
            return false;
        const UInt32 count = Load32(p);
        p += 4;
        if (count > UInt64(end - p))
            return false;
        const QByteArrayView field(reinterpret_cast<const char*>(p), qsizetype(count));
        if (tag == kTagFileURL)
            out.fileURL = field;
        else if (tag == kTagStoredName)
            out.hasStoredName = true;
        else if (tag == kTagAlias)
            out.alias = field;
        else if (tag == kTagCaption)
            out.caption = field;
        else if (tag == kTagUserData)
            out.userData = field;
        else if (tag == kTagImageRecord)
            out.imageRecord = field;
        p += count;
    }
    return false;
}

IndexDbRecord ReadIndexDbRecord(LStream& stream)
{
    // The record is parsed from memory: the stream's own bytes when it is a memory
    // stream, else what remains of it.
    QByteArray copy;
    const UInt8* begin;
    const UInt8* end;
    if (auto* memory = dynamic_cast<LDataStream*>(&stream)) {
        begin = reinterpret_cast<const UInt8*>(memory->Data().constData()) + stream.GetMarker();
        end = reinterpret_cast<const UInt8*>(memory->Data().constData()) + stream.GetLength();
    } else {
        const SInt64 marker = stream.GetMarker();
        copy = stream.ReadBytes(stream.Remaining());
        stream.SetMarker(marker);
        begin = reinterpret_cast<const UInt8*>(copy.constData());
        end = begin + copy.size();
    }
    const UInt8* pos = begin;
    IndexDbRecord record;
    QString why;
    OSStatus status = ParseIndexDbRecord(pos, end, record, &why);
    if (status != noErr)
        ThrowOSErr_(status, "index.db record: " + why.toStdString());
    stream.SetMarker(pos - begin, streamFrom_Marker);
    return record;
}

IndexDbReader::IndexDbReader(QByteArray data)
    : mData(std::move(data))
    , mPos(Begin())
    , mEnd(Begin() + mData.size())
{
}

void IndexDbReader::SetBytesRead(qsizetype bytes, bool complete)
{
    mEnd = Begin() + std::clamp<qsizetype>(bytes, mPos - Begin(), mData.size());
    mComplete = complete;
}

const UInt8* IndexDbReader::FindNextRecordStart(const UInt8* from) const
{
    // Every record begins with its name: tag 16 with a count that fits a name
    // marks where the next record may start. The end tag before it is not asked
    // for, since the damage may be that very byte.
    constexpr qsizetype kNameHeader = 5; // the tag and its count
    const UInt8* end = End();
    for (const UInt8* p = from; end - p >= kNameHeader; ++p) {
        p = static_cast<const UInt8*>(std::memchr(p, kTagName, size_t(end - p)));
        if (!p || end - p < kNameHeader)
            return nullptr;
        if (Load32(p + 1) <= UInt32(kMaxNameBytes))
            return p;
    }
    return nullptr;
}

void IndexDbReader::AddError(qsizetype offset, OSStatus code, const QString& why)
{
    mErrors.push_back({mRecordNumber, offset,
        code, QStringLiteral("index.db record %1: %2").arg(mRecordNumber).arg(why)});
}

bool IndexDbReader::Next(IndexDbRecord& out)
{
    const FieldBytes holding = mBorrow ? FieldBytes::AllBorrowed : FieldBytes::Copied;
    while (mPos < End()) {
        const UInt8* start = mPos;
        ++mRecordNumber;
        QString why;
        OSStatus status = ParseRecord(mPos, End(), out, &why, 0, holding);
        if (status == noErr) {
            mLastStart = start;
            return true;
        }
        if (status == eofErr && !mComplete) {
            // The rest of the record is still being read.
            mPos = start;
            --mRecordNumber;
            return false;
        }
        AddError(start - Begin(), status, why);
        if (status != eofErr)
            continue; // the damaged record was walked to its end tag by its counts

        // The counts cannot be trusted: look for the next place where a record
        // that the writer made begins, and take the first that reads whole.
        for (const UInt8* from = start + 1;;) {
            const UInt8* next = FindNextRecordStart(from);
            if (!next) {
                mPos = End();
                return false;
            }
            // Tried without copying a byte: hostile data may hold a candidate at
            // every other byte.
            const UInt8* pos = next;
            if (ParseRecord(pos, End(), out, nullptr, kMaxFieldsOfCandidate, FieldBytes::AllBorrowed) == noErr
                && out.name && out.fields) {
                if (holding != FieldBytes::AllBorrowed) {
                    pos = next;
                    ParseRecord(pos, End(), out, nullptr, kMaxFieldsOfCandidate, holding);
                }
                ++mRecordNumber;
                mLastStart = next;
                mPos = pos;
                return true;
            }
            from = next + 1;
        }
    }
    return false;
}
