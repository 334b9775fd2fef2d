#include "ExtendedAttributes.h"
#include "FileErrors.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

FileRef MakeTestFile(const char* name)
{
    QString path = TestTempDir() + QLatin1String("/xattr-") + QLatin1String(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("content");
    file.close();
    return FileRef(path);
}

class ExtendedAttributes : public ::testing::Test {
protected:
    void SetUp() override
    {
        FileRef probe = MakeTestFile("probe");
        if (SetExtendedAttribute(probe, "user.orvex.probe", "1") == wrgVolTypErr)
            GTEST_SKIP() << "the test folder's file system keeps no extended attributes";
    }
};

} // namespace

TEST_F(ExtendedAttributes, FinderInfoIsStoredAsThe32BigEndianBytes)
{
    FileRef file = MakeTestFile("finderinfo");
    FinderInfo info;
    EXPECT_EQ(ReadFinderInfo(file, info), resNotFound);

    info.SetType('JPEG');
    info.SetCreator('JWZ7');
    info.SetFlags(kFinderFlagHasCustomIcon | kFinderFlagIsAlias);
    ASSERT_EQ(WriteFinderInfo(file, info), noErr);

    QByteArray raw;
    ASSERT_EQ(GetExtendedAttribute(file, kFinderInfoAttribute, raw), noErr);
    QByteArray expected = QByteArray("JPEGJWZ7\x84\x00", 10) + QByteArray(22, '\0');
    EXPECT_EQ(raw.toHex(), expected.toHex());

    FinderInfo back;
    ASSERT_EQ(ReadFinderInfo(file, back), noErr);
    EXPECT_EQ(back.Type(), OSType('JPEG'));
    EXPECT_EQ(back.Creator(), OSType('JWZ7'));
    EXPECT_EQ(back.Flags(), 0x8400);

    // A damaged attribute is no Finder information, not garbage codes.
    ASSERT_EQ(SetExtendedAttribute(file, kFinderInfoAttribute, "short"), noErr);
    EXPECT_EQ(ReadFinderInfo(file, back), resNotFound);
}

TEST_F(ExtendedAttributes, CommentsRoundTripAndEmptyRemoves)
{
    FileRef file = MakeTestFile("comment");
    QString comment;
    ASSERT_EQ(ReadFinderComment(file, comment), noErr);
    EXPECT_TRUE(comment.isEmpty());

    const QString text = QStringLiteral("Sunset über Århus");
    ASSERT_EQ(WriteFinderComment(file, text), noErr);
    QByteArray raw;
    ASSERT_EQ(GetExtendedAttribute(file, kCommentAttribute, raw), noErr);
    EXPECT_EQ(raw, text.toUtf8());
    ASSERT_EQ(ReadFinderComment(file, comment), noErr);
    EXPECT_EQ(comment, text);

    ASSERT_EQ(WriteFinderComment(file, QString()), noErr);
    EXPECT_EQ(GetExtendedAttribute(file, kCommentAttribute, raw), resNotFound);
}

TEST_F(ExtendedAttributes, ResourcesAreNamedByTypeAndId)
{
    EXPECT_EQ(ResourceAttributeName('ANPA', 10000), QByteArray("user.orvex.rsrc.ANPA.10000"));
    EXPECT_EQ(ResourceAttributeName('icns', -16455), QByteArray("user.orvex.rsrc.icns.-16455"));
    EXPECT_EQ(ResourceAttributeName('snd ', 200), QByteArray("user.orvex.rsrc.snd%20.200"));
    EXPECT_EQ(ResourceAttributeName('.SGI', 1), QByteArray("user.orvex.rsrc.%2ESGI.1"));

    FileRef file = MakeTestFile("rsrc");
    QByteArray data("\x1c\x02\x00\x00\x02\x00\x02", 7);
    QByteArray out;
    EXPECT_EQ(ReadFileResource(file, 'ANPA', 10000, out), resNotFound);
    ASSERT_EQ(WriteFileResource(file, 'ANPA', 10000, data), noErr);
    ASSERT_EQ(WriteFileResource(file, 'PICT', 256, QByteArray(100, 'p')), noErr);
    ASSERT_EQ(ReadFileResource(file, 'ANPA', 10000, out), noErr);
    EXPECT_EQ(out, data);
    EXPECT_EQ(ResourceForkSize(file), 107);

    ASSERT_EQ(RemoveFileResource(file, 'ANPA', 10000), noErr);
    EXPECT_EQ(RemoveFileResource(file, 'ANPA', 10000), noErr);
    EXPECT_EQ(ReadFileResource(file, 'ANPA', 10000, out), resNotFound);
    EXPECT_EQ(ReadFileResource(file, 'PICT', 256, out), noErr);
    EXPECT_EQ(ReadWholeFile(file.Path()), QByteArray("content"));
}

TEST_F(ExtendedAttributes, MissingFileGivesFileNotFound)
{
    FileRef missing(TestTempDir() + QLatin1String("/no-such-file"));
    QByteArray out;
    EXPECT_EQ(GetExtendedAttribute(missing, kCommentAttribute, out), fnfErr);
    EXPECT_EQ(WriteFinderComment(missing, QStringLiteral("x")), fnfErr);
}
