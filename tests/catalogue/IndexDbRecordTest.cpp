#include "IndexDbRecord.h"
#include "IndexFileRecord.h"
#include "LStream.h"
#include "RecordBytes.h"

#include <gtest/gtest.h>

namespace {

ImageRecordBytes SampleImageRecord()
{
    ImageRecordBytes bytes {};
    for (int i = 0; i < kImageRecordSize; ++i)
        bytes[size_t(i)] = UInt8(i * 7 + 1);
    return bytes;
}

IndexDbRecord FullRecord()
{
    IndexDbRecord record;
    record.name = QByteArray("Caf\xC3\xA9 1.jpg");
    record.fileURL = QByteArray("file:///photos/Caf%C3%A9%201.jpg");
    record.alias = QByteArray("OXal-alias-bytes");
    record.storedName = QByteArray("Caf\xC3\xA9 1.jpg");
    record.fields = CatalogueFields {'JPEG', 123456, 3000000000u, 3100000000u, 3200000000u, -7, 0x10000000 | 0x42};
    record.remoteURL = QByteArray("http://example.org/a/Caf%C3%A9%201.jpg");
    record.userData = QByteArray("\x00\x00\x00\x0C\xA9nam" "abcd" "\x00\x00\x00\x00", 16);
    record.caption = QByteArray("\x1C\x02\x00\x00\x02\x00\x04", 7);
    record.imageRecord = SampleImageRecord();
    return record;
}

QByteArray FullRecordBytes()
{
    const IndexDbRecord r = FullRecord();
    RecordBytes b;
    b.CountedBE(16, *r.name).CountedBE(18, *r.fileURL).CountedBE(6, *r.alias).CountedBE(17, *r.storedName);
    b.Tag(4).U32BE('JPEG').U32BE(123456).U32BE(3000000000u).U32BE(3100000000u).U32BE(3200000000u);
    b.U32BE(0xFFFFFFF9).U32BE(0x10000042);
    b.CountedBE(7, *r.remoteURL).CountedBE(15, *r.userData).CountedBE(8, *r.caption);
    b.Tag(12).U32BE(102).Bytes(QByteArray(reinterpret_cast<const char*>(r.imageRecord->data()), 102));
    b.Tag(2);
    return b;
}

IndexDbRecord MinimalRecord()
{
    IndexDbRecord record;
    record.name = QByteArray("a");
    record.fields = CatalogueFields {};
    return record;
}

QByteArray MinimalRecordBytes()
{
    return RecordBytes().CountedBE(16, "a").Tag(4).Zeros(28).Tag(2);
}

QByteArray Write(const IndexDbRecord& record)
{
    LDataStream stream;
    WriteIndexDbRecord(stream, record);
    return stream.Data();
}

std::vector<IndexDbRecord> ReadAll(const QByteArray& data, IndexDbReader** keep = nullptr)
{
    static std::unique_ptr<IndexDbReader> last;
    last = std::make_unique<IndexDbReader>(data);
    std::vector<IndexDbRecord> records;
    IndexDbRecord record;
    while (last->Next(record))
        records.push_back(record);
    if (keep)
        *keep = last.get();
    return records;
}

} // namespace

TEST(IndexDbRecord, WritesEveryTagInStoredOrderBigEndian)
{
    EXPECT_EQ(Write(FullRecord()), FullRecordBytes());
}

TEST(IndexDbRecord, WritesMinimalRecordAsNameCatalogueAndEnd)
{
    EXPECT_EQ(Write(MinimalRecord()), MinimalRecordBytes());
    EXPECT_EQ(MinimalRecordBytes().size(), 1 + 4 + 1 + 1 + 28 + 1);
}

TEST(IndexDbRecord, ReadsHandBuiltRecordsFieldForField)
{
    IndexDbReader* reader = nullptr;
    auto records = ReadAll(FullRecordBytes() + MinimalRecordBytes(), &reader);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], FullRecord());
    EXPECT_EQ(records[0].fields->thumbnailNumber, -7);
    EXPECT_EQ(records[1], MinimalRecord());
    EXPECT_TRUE(reader->Errors().empty());
}

TEST(IndexDbRecord, RefusesOverlongFieldsWithoutWriting)
{
    LDataStream stream;
    IndexDbRecord record = MinimalRecord();
    record.name = QByteArray(256, 'n');
    EXPECT_THROW(WriteIndexDbRecord(stream, record), ExceptionCode);
    record = MinimalRecord();
    record.storedName = QByteArray(256, 's');
    EXPECT_THROW(WriteIndexDbRecord(stream, record), ExceptionCode);
    record = MinimalRecord();
    record.fields.reset();
    EXPECT_THROW(WriteIndexDbRecord(stream, record), ExceptionCode);
    EXPECT_EQ(stream.GetLength(), 0);

    record = MinimalRecord();
    record.name = QByteArray(255, 'n');
    EXPECT_NO_THROW(WriteIndexDbRecord(stream, record));
}

TEST(IndexDbRecord, SkipsUnknownTagsAndOlderFormTagsByTheirCount)
{
    QByteArray bytes = RecordBytes()
                           .CountedBE(16, "x")
                           .CountedBE(5, "thumb")
                           .CountedBE(13, "\x00\x00\x00\x01")
                           .CountedBE(0, "")
                           .CountedBE(200, "unknown")
                           .Tag(4)
                           .Zeros(28)
                           .Tag(2);
    auto records = ReadAll(bytes);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(*records[0].name, "x");
    EXPECT_TRUE(records[0].fields.has_value());
}

TEST(IndexDbRecord, EmptyFileHasNoRecordsAndNoErrors)
{
    IndexDbReader* reader = nullptr;
    EXPECT_TRUE(ReadAll(QByteArray(), &reader).empty());
    EXPECT_TRUE(reader->Errors().empty());
}

TEST(IndexDbRecord, StreamFormMovesMarkerOnlyOnSuccess)
{
    LDataStream stream(MinimalRecordBytes() + FullRecordBytes());
    EXPECT_EQ(ReadIndexDbRecord(stream), MinimalRecord());
    EXPECT_EQ(stream.GetMarker(), MinimalRecordBytes().size());
    EXPECT_EQ(ReadIndexDbRecord(stream), FullRecord());
    EXPECT_TRUE(stream.AtEnd());

    LDataStream cut(FullRecordBytes().left(40));
    try {
        ReadIndexDbRecord(cut);
        FAIL();
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), eofErr);
    }
    EXPECT_EQ(cut.GetMarker(), 0);
}

// Older record form on an index file.

namespace {

IndexFileRecord EmptyIndexFileRecord()
{
    IndexFileRecord record;
    record.catalogue.name = Str63("Photo.jpg");
    record.catalogue.fileType = 'JPEG';
    record.catalogue.totalSize = 1000;
    record.catalogue.dateAdded = 10;
    record.catalogue.creationDate = 20;
    record.catalogue.modificationDate = 30;
    record.flags = 0x04000000;
    return record;
}

QByteArray EmptyIndexFileRecordBytes()
{
    return RecordBytes()
        .Tag(4)
        .PascalField("Photo.jpg", 64)
        .U32LE('JPEG')
        .U32LE(1000)
        .U32LE(10)
        .U32LE(20)
        .U32LE(30)
        .Tag(13)
        .U32LE(4)
        .U32LE(0x04000000)
        .Tag(2);
}

} // namespace

TEST(IndexFileRecord, EmptyItemWritesNinetyFiveBytesHostOrder)
{
    LDataStream stream;
    WriteIndexFileRecord(stream, EmptyIndexFileRecord());
    EXPECT_EQ(stream.Data(), EmptyIndexFileRecordBytes());
    EXPECT_EQ(stream.Data().size(), 95);
}

TEST(IndexFileRecord, WritesEveryPartInOrderAndReadsItBack)
{
    IndexFileRecord record = EmptyIndexFileRecord();
    record.thumbnail = QByteArray("PICT");
    record.alias = QByteArray("ALIAS");
    record.remoteURL = QByteArray("ftp://host/x.jpg");
    record.userData = QByteArray("UDTA");
    record.caption = QByteArray("IIM");
    record.imageRecord = SampleImageRecord();

    QByteArray expected = EmptyIndexFileRecordBytes();
    expected.chop(1 + 9); // tag 13 and the end tag come after the blocks
    expected.append(RecordBytes()
                        .CountedLE(5, "PICT")
                        .CountedLE(6, "ALIAS")
                        .CountedLE(7, "ftp://host/x.jpg")
                        .CountedLE(15, "UDTA")
                        .CountedLE(8, "IIM")
                        .Tag(13)
                        .U32LE(4)
                        .U32LE(0x04000000)
                        .Tag(12)
                        .U32LE(102)
                        .Bytes(QByteArray(reinterpret_cast<const char*>(record.imageRecord->data()), 102))
                        .Tag(2)
                        .Data());
    LDataStream stream;
    WriteIndexFileRecord(stream, record);
    EXPECT_EQ(stream.Data(), expected);

    stream.SetMarker(0);
    IndexFileRecord back = ReadIndexFileRecord(stream);
    EXPECT_TRUE(back.hasCatalogue && back.hasFlags);
    back.hasCatalogue = back.hasFlags = false;
    EXPECT_EQ(back, record);
    EXPECT_TRUE(stream.AtEnd());
}

TEST(IndexFileRecord, CutsLongNamesToSixtyThreeBytes)
{
    IndexFileRecord record = EmptyIndexFileRecord();
    record.catalogue.name.AssignBytes(QByteArray(63, 'a') + "bc");
    EXPECT_EQ(record.catalogue.name.Length(), 63); // the field holds no more
    LDataStream stream;
    WriteIndexFileRecord(stream, record);
    EXPECT_EQ(UInt8(stream.Data()[1]), 63);
}

TEST(IndexFileRecord, RefusesFieldsThatBreakTheirLimits)
{
    auto codeOf = [](const QByteArray& bytes) {
        LDataStream stream(bytes);
        try {
            ReadIndexFileRecord(stream);
        } catch (const ExceptionCode& e) {
            return e.Code();
        }
        return OSStatus(noErr);
    };
    QByteArray longName = EmptyIndexFileRecordBytes();
    longName[1] = char(64);
    EXPECT_EQ(codeOf(longName), badFormat);
    EXPECT_EQ(codeOf(RecordBytes().Tag(13).U32LE(8).U32LE(1).U32LE(2).Tag(2)), badFormat);
    EXPECT_EQ(codeOf(RecordBytes().Tag(12).U32LE(140).Zeros(140).Tag(2)), badFormat);
    EXPECT_EQ(codeOf(RecordBytes().Tag(6).U32LE(0xFFFFFFF0).Bytes("abc")), eofErr);
    EXPECT_EQ(codeOf(RecordBytes().CountedLE(99, "skip me").Tag(2)), noErr);
    EXPECT_EQ(codeOf(RecordBytes().Tag(9).U32LE(0).Tag(2)), noErr); // a zero-length block
}
