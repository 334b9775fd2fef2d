#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <optional>
#include <vector>

class LStream;

// The tagged item records of "index.db" and of the older index files. A record is
// a run of fields, each a one-byte tag and its payload, closed by the end tag.
enum : UInt8 {
    kTagEndOfRecord = 2,
    kTagCatalogue = 4, // index.db: seven u32; index file: 64-byte name and five u32
    kTagThumbnail = 5, // index file only: the thumbnail picture
    kTagAlias = 6,
    kTagRemoteURL = 7,
    kTagCaption = 8, // IPTC-IIM block
    kTagImageRecord = 12, // the 102-byte image description record
    kTagFlags = 13, // index file only: the flag word
    kTagUserData = 15,
    kTagName = 16,
    kTagStoredName = 17,
    kTagFileURL = 18,
};

inline constexpr int kImageRecordSize = 102;
inline constexpr int kMaxNameBytes = 255; // names and stored names, UTF-8
inline constexpr int kMaxRemoteURLBytes = 255; // written from a string with a length byte
inline constexpr int kCatalogueFieldsSize = 28; // index.db tag 4: seven u32

// The image description record as the record form holds it: big-endian in
// index.db, host order in the older index files (the item converts it).
using ImageRecordBytes = std::array<UInt8, kImageRecordSize>;

// index.db tag 4, in stored order.
struct CatalogueFields {
    OSType fileType = 0;
    UInt32 totalSize = 0;
    UInt32 dateAdded = 0; // seconds since 1904, local time
    UInt32 creationDate = 0; // seconds since 1904, UTC
    UInt32 modificationDate = 0; // seconds since 1904, UTC
    SInt32 thumbnailNumber = 0;
    UInt32 flags = 0;
    friend bool operator==(const CatalogueFields&, const CatalogueFields&) = default;
};

// One index.db record, field by field; a field that is absent was not stored.
struct IndexDbRecord {
    std::optional<QByteArray> name; // UTF-8
    std::optional<QByteArray> fileURL; // the URL's encoded bytes
    std::optional<QByteArray> alias;
    std::optional<QByteArray> storedName; // UTF-8, one file name inside "media/"
    std::optional<CatalogueFields> fields;
    std::optional<QByteArray> remoteURL;
    std::optional<QByteArray> userData;
    std::optional<QByteArray> caption;
    std::optional<ImageRecordBytes> imageRecord;
    // Why a part was left out as damaged while the rest was read ("tag 12 count
    // 140, expected 102"); empty when every part read.
    QString dropped;

    friend bool operator==(const IndexDbRecord&, const IndexDbRecord&) = default;
};

// Appends the record in the stored order 16, 18, 6, 17, 4, 7, 15, 8, 12, 2, all
// numbers big-endian. A record without tag 4 fields, or a name, stored name or
// remote URL over its limit, throws paramErr and writes nothing.
void WriteIndexDbRecord(LStream& stream, const IndexDbRecord& record);

// Reads one record from [pos, end) up to and including its end tag and moves pos
// behind it. Unknown tags are skipped by their count. Fails with eofErr when the
// data ends inside the record or a count runs past it (pos is then unchanged),
// with badFormat when a count breaks its field's limit and with err_NilPointer
// when a name is not UTF-8 (in both, pos moves behind the damaged record's end
// tag, so reading can go on). An image record of the wrong length is left out
// and the record read without it (`dropped` says so). `outWhy` says what was wrong. With `borrow` the
// fields point into the data, the user data excepted (an item keeps slices of it).
OSStatus ParseIndexDbRecord(
    const UInt8*& pos, const UInt8* end, IndexDbRecord& out, QString* outWhy = nullptr, bool borrow = false);

// Where a record's file URL and stored name lie, found by walking the record's
// counts without copying anything: a save looks at records it reuses this way.
struct IndexDbRecordPlaces {
    QByteArrayView fileURL;
    bool hasStoredName = false;
    // The blocks an item may keep, where the record has them.
    std::optional<QByteArrayView> alias;
    std::optional<QByteArrayView> caption;
    std::optional<QByteArrayView> userData;
    std::optional<QByteArrayView> imageRecord;
};
// False unless [begin, end) is exactly one record whose counts all hold.
bool FindIndexDbRecordPlaces(const UInt8* begin, const UInt8* end, IndexDbRecordPlaces& out);

// Reads one record at the stream's marker (LStream form of the above): throws the
// code with its reason; the marker moves behind the record only on success.
IndexDbRecord ReadIndexDbRecord(LStream& stream);

// Reads a whole "index.db" held in one memory block, record after record. A
// damaged record becomes an error and is skipped: by its own counts when they
// hold, else by looking for the next record start (a name tag whose record reads
// whole); every intact record before and after it is kept.
class IndexDbReader {
public:
    struct RecordError {
        SInt32 recordNumber; // 1-based, counting good and damaged records
        qsizetype offset; // where the damaged record began
        OSStatus code;
        QString message; // "index.db record 12: tag 12 count 140, expected 102"
    };

    explicit IndexDbReader(QByteArray data);

    // For data still being read into place: only the first `bytes` are there
    // yet, and Next answers false where a record runs past them until told that
    // the data is `complete` (then the data ends there, should the file have shrunk).
    void SetBytesRead(qsizetype bytes, bool complete);
    // The records Next gives from now on point into the data instead of holding
    // copies of their fields (the user data too): valid while the data is, and
    // copied by whoever keeps a field longer.
    void BorrowFields() { mBorrow = true; }

    // The next intact record; false at the end of the data.
    bool Next(IndexDbRecord& out);

    bool AtEnd() const { return mPos >= End(); }
    // Where the record that Next gave last begins.
    qsizetype LastRecordOffset() const { return mLastStart - Begin(); }
    qsizetype Offset() const { return mPos - Begin(); }
    qsizetype Size() const { return mData.size(); }
    const std::vector<RecordError>& Errors() const { return mErrors; }

private:
    const UInt8* Begin() const { return reinterpret_cast<const UInt8*>(mData.constData()); }
    const UInt8* End() const { return mEnd; }
    const UInt8* FindNextRecordStart(const UInt8* from) const;
    void AddError(qsizetype offset, OSStatus code, const QString& why);

    QByteArray mData;
    const UInt8* mPos;
    const UInt8* mEnd; // of the bytes there so far
    bool mComplete = true;
    bool mBorrow = false;
    const UInt8* mLastStart = nullptr;
    SInt32 mRecordNumber = 0;
    std::vector<RecordError> mErrors;
};
