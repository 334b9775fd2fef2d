// Damaged and hostile index.db data. Built with AddressSanitizer and
// UndefinedBehaviorSanitizer: any read past the data fails the test run.
#include "IndexDbRecord.h"
#include "IndexFileRecord.h"
#include "LStream.h"
#include "RecordBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

QByteArray Record(const QByteArray& name, unsigned thumb)
{
    ImageRecordBytes image {};
    image[0] = 1;
    return RecordBytes()
        .CountedBE(16, name)
        .CountedBE(18, "file:///pictures/" + name)
        .CountedBE(6, QByteArray(40, 'A'))
        .Tag(4)
        .U32BE('JPEG')
        .U32BE(100)
        .U32BE(1)
        .U32BE(2)
        .U32BE(3)
        .U32BE(thumb)
        .U32BE(0)
        .CountedBE(8, "\x1C\x02\x00\x00\x02\x00\x04")
        .Tag(12)
        .U32BE(102)
        .Bytes(QByteArray(reinterpret_cast<const char*>(image.data()), 102))
        .Tag(2);
}

struct ReadResult {
    std::vector<QByteArray> names;
    std::vector<IndexDbReader::RecordError> errors;
};

ReadResult ReadAll(const QByteArray& data)
{
    IndexDbReader reader(data);
    ReadResult result;
    IndexDbRecord record;
    while (reader.Next(record))
        result.names.push_back(record.name.value_or(QByteArray("<none>")));
    EXPECT_TRUE(reader.AtEnd());
    result.errors = reader.Errors();
    return result;
}

} // namespace

TEST(IndexDbHostile, TruncationAtEveryByteKeepsEveryWholeRecord)
{
    const QByteArray first = Record("one.jpg", 1);
    const QByteArray second = Record("two.jpg", 2);
    const QByteArray file = first + second;
    for (qsizetype cut = 0; cut <= file.size(); ++cut) {
        SCOPED_TRACE(cut);
        ReadResult result = ReadAll(file.left(cut));
        std::vector<QByteArray> expected;
        if (cut >= first.size())
            expected.push_back("one.jpg");
        if (cut == file.size())
            expected.push_back("two.jpg");
        EXPECT_EQ(result.names, expected);
        const bool cutInsideRecord = cut != 0 && cut != first.size() && cut != file.size();
        ASSERT_EQ(result.errors.size(), cutInsideRecord ? 1u : 0u);
        if (cutInsideRecord) {
            EXPECT_EQ(result.errors[0].code, eofErr);
        }
    }
}

TEST(IndexDbHostile, RecordWithWrongImageRecordCountIsReadWithoutIt)
{
    QByteArray bad = RecordBytes().CountedBE(16, "bad.jpg").Tag(4).Zeros(28).Tag(12).U32BE(140).Zeros(140).Tag(2);
    ReadResult result = ReadAll(Record("one.jpg", 1) + bad + Record("three.jpg", 3));
    EXPECT_EQ(result.names, (std::vector<QByteArray> {"one.jpg", "bad.jpg", "three.jpg"}));
    EXPECT_TRUE(result.errors.empty());
    const auto* begin = reinterpret_cast<const UInt8*>(bad.constData());
    const UInt8* pos = begin;
    IndexDbRecord record;
    ASSERT_EQ(ParseIndexDbRecord(pos, begin + bad.size(), record), noErr);
    EXPECT_EQ(pos, begin + bad.size());
    EXPECT_FALSE(record.imageRecord);
    EXPECT_EQ(record.dropped, "tag 12 count 140, expected 102");
}

TEST(IndexDbHostile, NamesBeyondTheirBufferOrNotUtf8AreRecordErrors)
{
    QByteArray longName = RecordBytes().CountedBE(16, QByteArray(256, 'x')).Tag(4).Zeros(28).Tag(2);
    QByteArray longStored
        = RecordBytes().CountedBE(16, "s").CountedBE(17, QByteArray(300, 'y')).Tag(4).Zeros(28).Tag(2);
    QByteArray badUtf8 = RecordBytes().CountedBE(16, "\xC3(").Tag(4).Zeros(28).Tag(2);
    ReadResult result = ReadAll(longName + Record("ok.jpg", 1) + longStored + badUtf8 + Record("last.jpg", 2));
    EXPECT_EQ(result.names, (std::vector<QByteArray> {"ok.jpg", "last.jpg"}));
    ASSERT_EQ(result.errors.size(), 3u);
    EXPECT_EQ(result.errors[0].recordNumber, 1);
    EXPECT_EQ(result.errors[0].code, badFormat);
    EXPECT_EQ(result.errors[1].recordNumber, 3);
    EXPECT_EQ(result.errors[1].code, badFormat);
    EXPECT_EQ(result.errors[2].recordNumber, 4);
    EXPECT_EQ(result.errors[2].code, err_NilPointer); // a name that cannot be made
}

TEST(IndexDbHostile, OversizedCountIsSkippedByFindingTheNextRecord)
{
    QByteArray broken = Record("two.jpg", 2);
    // The alias count claims four gigabytes.
    const qsizetype aliasCount = broken.indexOf(QByteArray(40, 'A')) - 4;
    broken[aliasCount] = char(0xFF);
    ReadResult result = ReadAll(Record("one.jpg", 1) + broken + Record("three.jpg", 3) + Record("four.jpg", 4));
    EXPECT_EQ(result.names, (std::vector<QByteArray> {"one.jpg", "three.jpg", "four.jpg"}));
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0].code, eofErr);
    EXPECT_EQ(result.errors[0].recordNumber, 2);
}

TEST(IndexDbHostile, GarbageAndUnknownTagsNeverReadPastTheEnd)
{
    for (const QByteArray& data : {QByteArray("\x02", 1), QByteArray("\x04\x00", 2), QByteArray("\x10\xFF\xFF\xFF", 4),
             QByteArray("\xC8\x00\x00\x00\x05" "abc", 8), QByteArray(1000, '\x02'), QByteArray(1000, '\0'),
             QByteArray(999, '\x10')}) {
        ReadResult result = ReadAll(data);
        (void)result;
    }
    // A file of end tags is a run of empty records, which are not items.
    ReadResult ends = ReadAll(QByteArray(3, '\x02'));
    EXPECT_EQ(ends.names.size(), 3u);
}

TEST(IndexDbHostile, RandomDamageNeverCrashes)
{
    const QByteArray file = Record("one.jpg", 1) + Record("two.jpg", 2) + Record("three.jpg", 3);
    std::mt19937 random(20261207);
    for (int round = 0; round < 4000; ++round) {
        QByteArray data = file;
        const int changes = 1 + int(random() % 6);
        for (int i = 0; i < changes; ++i)
            data[qsizetype(random() % UInt32(data.size()))] = char(random() & 0xFF);
        if (round % 3 == 0)
            data.truncate(qsizetype(random() % UInt32(data.size())));
        ReadAll(data);

        LDataStream older(data);
        try {
            ReadIndexFileRecord(older);
        } catch (const ExceptionCode&) {
        }
    }
}

// index.db is parsed while it is still being read: however the bytes arrive, the
// records, their fields and the damage found are those of the whole file, also
// when the records point into the file's bytes instead of copying them.
TEST(IndexDbHostile, DataReadInPiecesGivesTheRecordsAndDamageOfTheWholeFile)
{
    QByteArray oversized = Record("three.jpg", 3);
    oversized[oversized.indexOf(QByteArray(40, 'A')) - 4] = char(0xFF);
    const QByteArray badUtf8 = RecordBytes().CountedBE(16, "\xC3(").Tag(4).Zeros(28).Tag(2);
    const QByteArray file = Record("one.jpg", 1) + badUtf8 + Record("two.jpg", 2) + oversized + Record("four.jpg", 4)
        + Record("cut.jpg", 5).left(30);

    std::vector<IndexDbRecord> whole;
    IndexDbReader wholeReader(file);
    for (IndexDbRecord record; wholeReader.Next(record);)
        whole.push_back(record);
    ASSERT_EQ(whole.size(), 3u);
    ASSERT_EQ(wholeReader.Errors().size(), 3u);

    for (qsizetype piece : {1, 2, 7, 64, 500}) {
        SCOPED_TRACE(piece);
        IndexDbReader reader(QByteArray::fromRawData(file.constData(), file.size()));
        reader.BorrowFields();
        std::vector<IndexDbRecord> records;
        qsizetype arrived = 0;
        for (bool complete = false; !complete;) {
            arrived = std::min(file.size(), arrived + piece);
            complete = arrived == file.size();
            reader.SetBytesRead(arrived, complete);
            for (IndexDbRecord record; reader.Next(record);)
                records.push_back(record);
        }
        EXPECT_EQ(records, whole);
        ASSERT_EQ(reader.Errors().size(), wholeReader.Errors().size());
        for (size_t i = 0; i < reader.Errors().size(); ++i) {
            EXPECT_EQ(reader.Errors()[i].recordNumber, wholeReader.Errors()[i].recordNumber);
            EXPECT_EQ(reader.Errors()[i].offset, wholeReader.Errors()[i].offset);
            EXPECT_EQ(reader.Errors()[i].code, wholeReader.Errors()[i].code);
        }
    }

    // Data that ends short of what was expected (a file cut since it was opened)
    // is read to where it ends.
    IndexDbReader reader(file + QByteArray(100, '\0'));
    reader.SetBytesRead(file.size(), true);
    std::vector<IndexDbRecord> records;
    for (IndexDbRecord record; reader.Next(record);)
        records.push_back(record);
    EXPECT_EQ(records, whole);
    EXPECT_EQ(reader.Errors().size(), 3u);
}
