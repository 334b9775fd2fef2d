#include "ResourceFork.h"

#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "FileErrors.h"
#include "ResourceForkBytes.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

QString WriteBytes(const QString& name, const QByteArray& bytes)
{
    const QString path = TestTempDir() + QLatin1Char('/') + name;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

} // namespace

TEST(ResourceFork, MapsAreReadWithTheirNamesAndDamageIsACode)
{
    const QByteArray fork = MakeResourceFork({ { "snd ", 128, "Beep", QByteArray("abc") },
        { "STR ", 1000, "", QByteArray("\x01" "2", 2) }, { "snd ", -1, "", QByteArray(300, 'x') } });
    const std::vector<ResourceEntry> all = ParseResourceFork(fork);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].type, OSType('snd '));
    EXPECT_EQ(all[0].name, QStringLiteral("Beep"));
    EXPECT_EQ(all[1].id, -1); // grouped by type, in the order of the map
    EXPECT_EQ(all[2].data, QByteArray("\x01" "2", 2));
    for (qsizetype cut : { qsizetype(0), qsizetype(15), fork.size() - 1 })
        EXPECT_EQ(OSStatus(CatchCode([&] { ParseResourceFork(fork.left(cut)); })), badFormat) << cut;
}

TEST(ResourceFork, FileResourcesComeFromTheAttributesElseTheAppleDoubleFileLowestIDFirst)
{
    const QByteArray fork = MakeResourceFork({ { "snd ", 9000, "", QByteArray("late") },
        { "snd ", 128, "", QByteArray("early") }, { "STR ", 1000, "", QByteArray("\x01" "2", 2) },
        { "snd ", 200, "", QByteArray(5000, 'x') } });
    const QString path = WriteBytes(QStringLiteral("Sound.snd"), QByteArray());
    WriteBytes(QStringLiteral("._Sound.snd"), MakeAppleDouble(fork));

    std::vector<ResourceEntry> sounds = ReadFileResources(path, 'snd ', 1000);
    ASSERT_EQ(sounds.size(), 2u); // the one over the size limit is left out
    EXPECT_EQ(sounds[0].id, 128);
    EXPECT_EQ(sounds[0].data, QByteArray("early"));
    EXPECT_EQ(sounds[1].id, 9000);
    EXPECT_TRUE(ReadFileResources(path, 'PICT', 1000).empty());
    // A damaged AppleDouble file holds nothing.
    WriteBytes(QStringLiteral("._Cut.snd"), MakeAppleDouble(fork).left(80));
    EXPECT_TRUE(ReadFileResources(WriteBytes(QStringLiteral("Cut.snd"), QByteArray()), 'snd ', 1000).empty());

    // Resources of that type in the attributes win; a type with a blank is escaped there.
    if (SetExtendedAttribute(FileRef(path), "user.orvex.probe", "1") == wrgVolTypErr)
        GTEST_SKIP() << "the test folder's file system keeps no extended attributes";
    ASSERT_EQ(WriteFileResource(FileRef(path), 'snd ', 300, QByteArray("stored")), noErr);
    ASSERT_EQ(WriteFileResource(FileRef(path), 'snd ', -5, QByteArray("first")), noErr);
    sounds = ReadFileResources(path, 'snd ', 1000);
    ASSERT_EQ(sounds.size(), 2u);
    EXPECT_EQ(sounds[0].id, -5);
    EXPECT_EQ(sounds[1].data, QByteArray("stored"));
    // Other types still come from the AppleDouble file.
    EXPECT_EQ(ReadFileResources(path, 'STR ', 1000).size(), 1u);
}

TEST(ResourceFork, EntriesPointingAtOneResourceShareItsBytes)
{
    // Two references; the second is pointed at the first one's data, as a
    // hostile map that names one large resource thousands of times would.
    const QByteArray big(256 * 1024, 'f');
    QByteArray fork = MakeResourceFork({ { "sfnt", 1, {}, big }, { "sfnt", 2, {}, "tiny" } });
    const QByteArray secondRef = BE16(2) + BE16(0xFFFF) + BE32(uint32_t(4 + big.size()));
    const qsizetype at = fork.indexOf(secondRef);
    ASSERT_GT(at, 0);
    fork.replace(at + 4, 4, BE32(0));
    const std::vector<ResourceEntry> resources = ParseResourceFork(fork);
    ASSERT_EQ(resources.size(), 2u);
    EXPECT_EQ(resources[0].data, big);
    EXPECT_EQ(resources[1].data, big);
    EXPECT_EQ(resources[0].data.constData(), resources[1].data.constData()); // one copy
}

TEST(ResourceFork, TypesThatShareAReferenceListAreDamage)
{
    // Two types, the second's list pointed at the first's: each list has bytes of its own.
    QByteArray fork = MakeResourceFork({ { "sfnt", 1, {}, "outline" }, { "FOND", 2, {}, "family" } });
    const qsizetype secondType = fork.indexOf("FOND");
    ASSERT_GT(secondType, 0);
    const qsizetype firstType = fork.indexOf("sfnt", fork.indexOf("outline"));
    fork.replace(secondType + 6, 2, fork.mid(firstType + 6, 2));
    EXPECT_EQ(OSStatus(CatchCode([&] { ParseResourceFork(fork); })), badFormat);

    // 4,096 types all naming one list of 65,536 references: a map under 1 MB that
    // would ask for 268 million entries (15 GB) is refused at once.
    constexpr int kTypes = 4096;
    QByteArray typeList = BE16(kTypes - 1);
    for (int t = 0; t < kTypes; ++t)
        typeList += BE32(0x41000000u + uint32_t(t)) + BE16(0xFFFF) + BE16(2 + 8 * kTypes);
    for (int r = 0; r < 65536; ++r)
        typeList += BE16(uint16_t(r)) + BE16(0xFFFF) + BE32(0) + BE32(0);
    const QByteArray data = BE32(4) + QByteArray("font");
    const QByteArray map = QByteArray(24, '\0') + BE16(28) + BE16(uint16_t(28 + 2 + 8 * kTypes)) + typeList;
    const uint32_t mapOffset = 16 + uint32_t(data.size());
    const QByteArray header = BE32(16) + BE32(mapOffset) + BE32(uint32_t(data.size())) + BE32(uint32_t(map.size()));
    EXPECT_EQ(OSStatus(CatchCode([&] { ParseResourceFork(header + data + map); })), badFormat);
}
