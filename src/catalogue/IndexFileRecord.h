#pragma once

#include "IndexDbRecord.h"
#include "PString.h"

// The older item record, kept at a position of an open index file. Same tags as
// index.db, but numbers in host order (little-endian, as the x86 build wrote
// them), the name in a fixed 64-byte field and the thumbnail picture inside the
// record. Writer order: 4, 5, 6, 7, 15, 8, 13, 12, 2.
inline constexpr int kIndexFileNameFieldSize = 64; // a length byte and at most 63 bytes
inline constexpr int kIndexFileCatalogueSize = kIndexFileNameFieldSize + 5 * 4;

// Byte routines on an open index file (host byte order); failures throw the
// stream's code.
void WriteByte(LStream& file, UInt8 value);
UInt8 ReadByte(LStream& file);
// Reads a 4-byte length and moves the mark forward by it; a length running past
// the end throws eofErr.
void SkipBlock(LStream& file);

struct IndexFileCatalogue {
    Str63 name; // system encoding (Mac Roman)
    OSType fileType = 0;
    UInt32 totalSize = 0;
    UInt32 dateAdded = 0;
    UInt32 creationDate = 0;
    UInt32 modificationDate = 0;
    friend bool operator==(const IndexFileCatalogue&, const IndexFileCatalogue&) = default;
};

struct IndexFileRecord {
    IndexFileCatalogue catalogue; // tag 4, always written
    std::optional<QByteArray> thumbnail; // tag 5: the picture's bytes
    std::optional<QByteArray> alias; // tag 6
    std::optional<QByteArray> remoteURL; // tag 7
    std::optional<QByteArray> userData; // tag 15
    std::optional<QByteArray> caption; // tag 8
    UInt32 flags = 0; // tag 13, always written
    std::optional<ImageRecordBytes> imageRecord; // tag 12, host order
    bool hasCatalogue = false; // set by the reader when tag 4 was met
    bool hasFlags = false; // set by the reader when tag 13 was met

    friend bool operator==(const IndexFileRecord&, const IndexFileRecord&) = default;
};

// Writes the record at the stream's marker. A remote URL over 255 bytes throws
// paramErr before anything is written.
void WriteIndexFileRecord(LStream& file, const IndexFileRecord& record);

// Reads a record from the marker up to and including its end tag; unknown tags are
// skipped by their count. Throws eofErr when the file ends inside the record and
// badFormat for a name length over 63, a tag 13 count other than 4 or a tag 12
// count other than 102; nothing is read past a field's own bytes.
IndexFileRecord ReadIndexFileRecord(LStream& file);
