#include "LStream.h"
#include "PString.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(LDataStream, WritesBigAndLittleEndian)
{
    LDataStream stream;
    stream.WriteUInt16(0x0102);
    stream.WriteUInt32(0x03040506);
    stream.WriteUInt16LE(0x0708);
    stream.WriteUInt32LE(0x090A0B0C);
    stream.WriteUInt64(0x1112131415161718ULL);
    stream << SInt16(-2) << UInt8(0xFF);
    EXPECT_EQ(stream.Data(),
        QByteArray::fromHex("0102" "03040506" "0807" "0c0b0a09" "1112131415161718" "fffe" "ff"));

    stream.SetMarker(0);
    EXPECT_EQ(stream.ReadUInt16(), 0x0102);
    EXPECT_EQ(stream.ReadUInt32(), 0x03040506u);
    EXPECT_EQ(stream.ReadUInt16LE(), 0x0708);
    EXPECT_EQ(stream.ReadUInt32LE(), 0x090A0B0Cu);
    EXPECT_EQ(stream.ReadUInt64(), 0x1112131415161718ULL);
    SInt16 negative = 0;
    stream >> negative;
    EXPECT_EQ(negative, -2);
    EXPECT_EQ(stream.ReadUInt8(), 0xFF);
    EXPECT_TRUE(stream.AtEnd());
}

// Room made ahead is written into without a reallocation, and only by a stream
// that holds nothing yet: bytes already written are never dropped for it.
TEST(LDataStream, WritesIntoRoomGivenWhileEmptyAndKeepsWhatItHolds)
{
    QByteArray room(1 << 16, Qt::Uninitialized);
    const char* allocation = room.constData();
    LDataStream stream;
    stream.GiveRoom(std::move(room));
    stream.WriteUInt32(0x01020304);
    stream.WriteBlock(QByteArray(60000, 'x').constData(), 60000);
    EXPECT_EQ(stream.Data().constData(), allocation);
    EXPECT_EQ(stream.Data().size(), 60004);

    stream.GiveRoom(QByteArray(1 << 20, Qt::Uninitialized));
    EXPECT_EQ(stream.Data().constData(), allocation);
    const QByteArray taken = stream.TakeData();
    EXPECT_EQ(taken.left(5), QByteArray::fromHex("01020304") + 'x');
    EXPECT_EQ(taken.size(), 60004);
    EXPECT_EQ(stream.GetLength(), 0);
}

TEST(LDataStream, ReadingPastTheEndThrowsAndKeepsTheMarker)
{
    LDataStream stream(QByteArray::fromHex("010203"));
    stream.ReadUInt8();
    try {
        stream.ReadUInt32();
        FAIL() << "no exception";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), eofErr);
    }
    EXPECT_EQ(stream.GetMarker(), 1);
    EXPECT_EQ(stream.ReadUInt16(), 0x0203);
}

TEST(LDataStream, HostileLengthsAreRejectedBeforeAllocating)
{
    LDataStream stream(QByteArray::fromHex("0a6162"));
    EXPECT_EQ(CatchCode([&] { stream.ReadBytes(0x7FFFFFFFFFLL); }), eofErr);
    EXPECT_EQ(CatchCode([&] { stream.ReadBytes(-1); }), eofErr);
    Str255 text;
    // The length byte claims ten bytes where two remain.
    EXPECT_EQ(CatchCode([&] { stream.ReadPString(text.Data()); }), eofErr);
}

TEST(LDataStream, PascalStringsAreCutToTheReadersCapacity)
{
    LDataStream stream;
    stream.WritePString(MakePString(QStringLiteral("abcdefghij")));
    stream.WriteUInt8(0x42);
    stream.SetMarker(0);
    PString<4> tiny;
    stream.ReadPString(tiny.Data(), 4);
    EXPECT_EQ(tiny.Bytes(), QByteArray("abcd"));
    EXPECT_EQ(stream.ReadUInt8(), 0x42);
}

TEST(LFileStream, ReadsWhatWasWrittenAndNamesMissingFiles)
{
    QString path = TestTempDir() + QStringLiteral("/stream.bin");
    {
        LFileStream out(path, LFileStream::Mode::Truncate);
        out.WriteUInt32(0xCAFEBABE);
        out.WriteBytes("tail");
        out.Close();
    }
    LFileStream in(path, LFileStream::Mode::Read);
    EXPECT_EQ(in.GetLength(), 8);
    EXPECT_EQ(in.ReadUInt32(), 0xCAFEBABEu);
    EXPECT_EQ(in.ReadBytes(4), QByteArray("tail"));
    EXPECT_EQ(CatchCode([&] { in.ReadUInt8(); }), eofErr);

    EXPECT_EQ(CatchCode([&] { LFileStream missing(TestTempDir() + "/none.bin", LFileStream::Mode::Read); }), fnfErr);
    EXPECT_EQ(CatchCode([&] { LFileStream missing(TestTempDir() + "/no/dir.bin", LFileStream::Mode::Read); }),
        dirNFErr);
}
