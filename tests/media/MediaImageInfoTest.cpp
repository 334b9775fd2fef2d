#include "MediaImageInfo.h"

#include <gtest/gtest.h>

TEST(MediaImageInfo, StoredBytesFollowTheRecordTable)
{
    MediaImageInfo info;
    info.name = Str63("Photo - JPEG");
    info.dataSize = 0x01020304;
    info.width = 1600;
    info.height = 1200;
    info.hRes = 72 << 16;
    info.vRes = 300 << 16;
    info.depth = 24;
    info.frameCount = 1;
    info.temporalQuality = 0;
    info.spatialQuality = 0x200;
    info.hasColorProfile = 1;
    QByteArray expected = QByteArray::fromHex("0001") + QByteArray("\x0CPhoto - JPEG") + QByteArray(51, '\0')
        + QByteArray::fromHex(QByteArray("01020304 0640 04B0 00480000 012C0000 0018 000C 0001 00000000 00000200 01 00 00000000")
                                  .replace(' ', ""));
    QByteArray bytes = info.ToBytes();
    ASSERT_EQ(bytes.size(), 102);
    EXPECT_EQ(bytes.toHex(), expected.toHex());
    MediaImageInfo back;
    ASSERT_EQ(MediaImageInfo::FromBytes(bytes, back), noErr);
    EXPECT_EQ(back, info);
    EXPECT_EQ(MediaImageInfo::FromBytes(bytes.left(101), back), badFormat);
}

TEST(MediaImageInfo, BaseValues)
{
    MediaImageInfo info;
    QByteArray bytes = info.ToBytes();
    EXPECT_EQ(bytes.mid(0, 4), QByteArray::fromHex("0001012D")); // kind 1, name "-"
    EXPECT_EQ(bytes.mid(84, 2), QByteArray::fromHex("000C"));
}
