#include "IndexFileRecord.h"

#include "ExceptionCode.h"
#include "LStream.h"

#include <algorithm>
#include <cstring>

namespace {

void WriteBlockField(LStream& file, UInt8 tag, const QByteArray& bytes)
{
    WriteByte(file, tag);
    file.WriteUInt32LE(UInt32(bytes.size()));
    file.WriteBytes(bytes);
}

QByteArray ReadBlockField(LStream& file)
{
    const UInt32 count = file.ReadUInt32LE();
    return file.ReadBytes(count); // checked against what remains before allocating
}

} // namespace

void WriteByte(LStream& file, UInt8 value)
{
    file.WriteUInt8(value);
}

UInt8 ReadByte(LStream& file)
{
    return file.ReadUInt8();
}

void SkipBlock(LStream& file)
{
    const UInt32 length = file.ReadUInt32LE();
    file.Skip(length);
}

void WriteIndexFileRecord(LStream& file, const IndexFileRecord& record)
{
    if (record.remoteURL && record.remoteURL->size() > kMaxRemoteURLBytes)
        ThrowOSErr_(paramErr, "remote URL longer than 255 bytes");

    // The name field reads back as what its length byte says: at most 63 bytes,
    // the rest of the 64 zero.
    UInt8 nameField[kIndexFileNameFieldSize] = {};
    const int nameLength = std::min(record.catalogue.name.Length(), kIndexFileNameFieldSize - 1);
    nameField[0] = UInt8(nameLength);
    std::memcpy(nameField + 1, record.catalogue.name.Text(), size_t(nameLength));
    WriteByte(file, kTagCatalogue);
    file.WriteBlock(nameField, kIndexFileNameFieldSize);
    file.WriteUInt32LE(record.catalogue.fileType);
    file.WriteUInt32LE(record.catalogue.totalSize);
    file.WriteUInt32LE(record.catalogue.dateAdded);
    file.WriteUInt32LE(record.catalogue.creationDate);
    file.WriteUInt32LE(record.catalogue.modificationDate);

    if (record.thumbnail)
        WriteBlockField(file, kTagThumbnail, *record.thumbnail);
    if (record.alias)
        WriteBlockField(file, kTagAlias, *record.alias);
    if (record.remoteURL)
        WriteBlockField(file, kTagRemoteURL, *record.remoteURL);
    if (record.userData)
        WriteBlockField(file, kTagUserData, *record.userData);
    if (record.caption)
        WriteBlockField(file, kTagCaption, *record.caption);

    WriteByte(file, kTagFlags);
    file.WriteUInt32LE(4);
    file.WriteUInt32LE(record.flags);

    if (record.imageRecord) {
        WriteByte(file, kTagImageRecord);
        file.WriteUInt32LE(kImageRecordSize);
        file.WriteBlock(record.imageRecord->data(), kImageRecordSize);
    }
    WriteByte(file, kTagEndOfRecord);
}

IndexFileRecord ReadIndexFileRecord(LStream& file)
{
    IndexFileRecord record;
    for (;;) {
        const UInt8 tag = ReadByte(file);
        switch (tag) {
        case kTagEndOfRecord:
            return record;
        case kTagCatalogue: {
            UInt8 nameField[kIndexFileNameFieldSize];
            file.ReadBlock(nameField, kIndexFileNameFieldSize);
            if (nameField[0] > kIndexFileNameFieldSize - 1)
                ThrowOSErr_(badFormat, "index file record: tag 4 name length " + std::to_string(nameField[0]));
            record.catalogue.name.Assign(nameField);
            record.catalogue.fileType = file.ReadUInt32LE();
            record.catalogue.totalSize = file.ReadUInt32LE();
            record.catalogue.dateAdded = file.ReadUInt32LE();
            record.catalogue.creationDate = file.ReadUInt32LE();
            record.catalogue.modificationDate = file.ReadUInt32LE();
            record.hasCatalogue = true;
            break;
        }
        case kTagThumbnail:
            record.thumbnail = ReadBlockField(file);
            break;
        case kTagAlias:
            record.alias = ReadBlockField(file);
            break;
        case kTagRemoteURL:
            record.remoteURL = ReadBlockField(file);
            break;
        case kTagUserData:
            record.userData = ReadBlockField(file);
            break;
        case kTagCaption:
            record.caption = ReadBlockField(file);
            break;
        case kTagFlags: {
            const UInt32 count = file.ReadUInt32LE();
            if (count != 4)
                ThrowOSErr_(badFormat, "index file record: tag 13 count " + std::to_string(count) + ", expected 4");
            record.flags = file.ReadUInt32LE();
            record.hasFlags = true;
            break;
        }
        case kTagImageRecord: {
            const UInt32 count = file.ReadUInt32LE();
            if (count != UInt32(kImageRecordSize))
                ThrowOSErr_(badFormat,
                    "index file record: tag 12 count " + std::to_string(count) + ", expected 102");
            record.imageRecord.emplace();
            file.ReadBlock(record.imageRecord->data(), kImageRecordSize);
            break;
        }
        default:
            SkipBlock(file);
            break;
        }
    }
}
