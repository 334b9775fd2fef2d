#include "AliasRecord.h"
#include "FileErrors.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString MakeFile(const QString& path, const QByteArray& data = "data")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    return path;
}

QString Fresh(const char* name)
{
    QString dir = TestTempDir() + QLatin1String("/alias-") + QLatin1String(name);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

} // namespace

TEST(AliasRecord, BytesFollowTheFixedLayout)
{
    AliasRecord record;
    record.flags = AliasRecord::kFlagFolder;
    record.device = 0x0102030405060708ULL;
    record.inode = 0x1122334455667788ULL;
    record.size = 0x1000;
    record.modificationSeconds = -2;
    record.absolutePath = "/a/b";
    record.relativePath = "b";
    record.volumeLabel = QString();

    const QByteArray expected = QByteArray::fromHex(
        "4f58616c" "0001" "0001" "00000037"          // magic, version, flags, length 55
        "0102030405060708" "1122334455667788"        // device, inode
        "0000000000001000" "fffffffffffffffe"        // size, modification time
        "0004" "2f612f62" "0001" "62" "0000");        // "/a/b", "b", ""
    QByteArray bytes;
    ASSERT_EQ(record.ToBytes(bytes), noErr);
    EXPECT_EQ(bytes.toHex(), expected.toHex());

    AliasRecord back;
    ASSERT_EQ(AliasRecord::FromBytes(expected, back), noErr);
    EXPECT_EQ(back, record);
}

TEST(AliasRecord, GarbageAndTruncatedBytesAreRejected)
{
    AliasRecord record;
    record.absolutePath = "/x/y.jpg";
    record.relativePath = "y.jpg";
    record.volumeLabel = QStringLiteral("Disk");
    QByteArray good;
    ASSERT_EQ(record.ToBytes(good), noErr);

    AliasRecord out;
    out.absolutePath = "/untouched";
    EXPECT_EQ(AliasRecord::FromBytes(QByteArray(), out), badFormat);
    EXPECT_EQ(AliasRecord::FromBytes(QByteArray("garbage that is long enough to pass the header length check...."), out),
        badFormat);
    for (qsizetype cut = 1; cut < good.size(); ++cut)
        EXPECT_EQ(AliasRecord::FromBytes(good.left(cut), out), badFormat) << "cut at " << cut;

    QByteArray wrongVersion = good;
    wrongVersion[5] = 2;
    EXPECT_EQ(AliasRecord::FromBytes(wrongVersion, out), badFormat);

    // A string length that runs past the end, with the record length patched to match.
    QByteArray oversized = good;
    oversized[AliasRecord::kHeaderSize] = char(0x7F);
    EXPECT_EQ(AliasRecord::FromBytes(oversized, out), badFormat);

    QByteArray trailing = good + "x";
    EXPECT_EQ(AliasRecord::FromBytes(trailing, out), badFormat);
    EXPECT_EQ(out.absolutePath, QByteArray("/untouched"));
}

TEST(AliasRecord, ResolvesByPathAndSaysNothingChanged)
{
    QString dir = Fresh("path");
    FileRef target(MakeFile(dir + QLatin1String("/photo.jpg")));
    QByteArray bytes;
    ASSERT_EQ(NewAliasBytes(nullptr, target, bytes), noErr);
    FileRef found;
    bool changed = true;
    ASSERT_EQ(ResolveAliasBytes(nullptr, bytes, found, changed), noErr);
    EXPECT_EQ(found, target);
    EXPECT_FALSE(changed);
}

TEST(AliasRecord, MovedTargetIsFoundAgainByInode)
{
    QString dir = Fresh("moved");
    FileRef target(MakeFile(dir + QLatin1String("/a/photo.jpg")));
    AliasRecord record;
    ASSERT_EQ(NewAlias(nullptr, target, record), noErr);

    QDir().mkpath(dir + QLatin1String("/b/c"));
    QString moved = dir + QLatin1String("/b/c/renamed.jpg");
    ASSERT_TRUE(QFile::rename(target.Path(), moved));

    FileRef found;
    bool changed = false;
    ASSERT_EQ(ResolveAlias(nullptr, record, found, changed), noErr);
    EXPECT_EQ(found.Path(), moved);
    EXPECT_TRUE(changed);

    bool updated = false;
    ASSERT_EQ(UpdateAlias(nullptr, found, record, updated), noErr);
    EXPECT_TRUE(updated);
    EXPECT_EQ(record.Path(), moved);
}

TEST(AliasRecord, RelativeAliasInsideAMovedPackageFolder)
{
    QString dir = Fresh("package");
    QString package = dir + QLatin1String("/Old.idxp");
    FileRef db(MakeFile(package + QLatin1String("/index.db")));
    FileRef from(package + QLatin1String("/index.db alias"));
    AliasRecord record;
    ASSERT_EQ(NewAlias(&from, db, record), noErr);
    EXPECT_EQ(record.relativePath, QByteArray("index.db"));

    // The package moves to another folder where the inode search would not look.
    QString elsewhere = Fresh("package-elsewhere") + QLatin1String("/deep/New.idxp");
    QDir().mkpath(QFileInfo(elsewhere).path());
    ASSERT_TRUE(QDir().rename(package, elsewhere));
    // Another file now sits at the old place's parent, so the path test must fail first.
    FileRef movedFrom(elsewhere + QLatin1String("/index.db alias"));
    FileRef found;
    bool changed = false;
    ASSERT_EQ(ResolveAlias(&movedFrom, record, found, changed), noErr);
    EXPECT_EQ(found.Path(), elsewhere + QLatin1String("/index.db"));
    EXPECT_TRUE(changed);
}

TEST(AliasRecord, MissingTargetAndMissingVolume)
{
    QString dir = Fresh("missing");
    FileRef target(MakeFile(dir + QLatin1String("/gone.txt")));
    AliasRecord record;
    ASSERT_EQ(NewAlias(nullptr, target, record), noErr);
    ASSERT_TRUE(QFile::remove(target.Path()));
    FileRef found;
    bool changed = false;
    EXPECT_EQ(ResolveAlias(nullptr, record, found, changed), fnfErr);

    // Another file given the deleted one's number (as the file system soon does)
    // is not the target.
    FileRef other(MakeFile(dir + QLatin1String("/other.db"), "another file"));
    FileStat st;
    ASSERT_EQ(other.Stat(st), noErr);
    AliasRecord reused = record;
    reused.inode = st.inode;
    EXPECT_EQ(ResolveAlias(nullptr, reused, found, changed), fnfErr);
    reused.size = st.size;
    reused.modificationSeconds = st.modificationSeconds;
    EXPECT_EQ(ResolveAlias(nullptr, reused, found, changed), noErr) << "the same file, moved";
    EXPECT_EQ(found, other);

    found = FileRef();
    record.device = 0xFFFFFFFFFFFF0001ULL;
    EXPECT_EQ(ResolveAlias(nullptr, record, found, changed), nsvErr);
    EXPECT_FALSE(found.IsValid());
}

// Aliases made one after another (a save making thousands) carry the label of
// each target's own volume, as a fresh look-up gives it, whatever was made before.
TEST(AliasRecord, VolumeLabelsOfManyAliasesMatchTheirVolumes)
{
    const QString dir = Fresh("labels");
    QStringList targets;
    for (int i = 0; i < 5; ++i)
        targets << MakeFile(dir + QStringLiteral("/a/file%1").arg(i));
    targets << MakeFile(dir + QStringLiteral("/b/other"));
    targets << dir + QStringLiteral("/a");
    ASSERT_TRUE(QFile::link(dir + QStringLiteral("/b/other"), dir + QStringLiteral("/a/link")));
    targets << dir + QStringLiteral("/a/link");
    // A file on another file system, where the machine has one.
    QTemporaryDir shm(QStringLiteral("/dev/shm/orvex-alias-XXXXXX"));
    if (shm.isValid())
        targets << MakeFile(shm.filePath(QStringLiteral("file0")));
    for (int round = 0; round < 2; ++round)
        for (const QString& path : targets) {
            AliasRecord record;
            ASSERT_EQ(NewAlias(nullptr, FileRef(path), record), noErr) << path.toStdString();
            const QStorageInfo storage(path);
            EXPECT_EQ(record.volumeLabel, storage.isValid() ? storage.name() : QString()) << path.toStdString();
        }
}

// A save makes the aliases of a package's items in their order, which takes the
// folders in turn; each record holds exactly what the file system says of its
// file, laid out by hand here.
TEST(AliasRecord, AliasesOfFilesInFoldersTakenInTurnHoldTheirFilesBytes)
{
    const QString dir = Fresh("turns");
    const FileRef from(dir + QStringLiteral("/Photos.idxp/index.db"));
    MakeFile(from.Path());
    const QStorageInfo storage(dir);
    const QByteArray label = (storage.isValid() ? storage.name() : QString()).toUtf8();
    for (int i = 0; i < 12; ++i) {
        const QString folder = QStringLiteral("%1").arg(2000 + i % 3);
        const QString path = MakeFile(dir + QLatin1Char('/') + folder + QStringLiteral("/IMG_%1.JPG").arg(i), QByteArray(i, 'x'));
        struct stat st {};
        ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0);
        const QByteArray absolute = QFile::encodeName(path);
        const QByteArray relative = QFile::encodeName(QStringLiteral("../") + folder + QStringLiteral("/IMG_%1.JPG").arg(i));
        auto be = [](quint64 value, int bytes) {
            QByteArray out;
            for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
                out.append(char((value >> shift) & 0xFF));
            return out;
        };
        QByteArray expected = QByteArray("OXal") + be(1, 2) + be(0, 2)
            + be(quint64(44 + 6 + absolute.size() + relative.size() + label.size()), 4) + be(st.st_dev, 8)
            + be(st.st_ino, 8) + be(quint64(st.st_size), 8) + be(quint64(st.st_mtim.tv_sec), 8);
        for (const QByteArray& field : {absolute, relative, label})
            expected += be(quint64(field.size()), 2) + field;
        QByteArray bytes;
        ASSERT_EQ(NewAliasBytes(&from, FileRef(path), bytes), noErr) << path.toStdString();
        EXPECT_EQ(bytes.toHex(), expected.toHex()) << path.toStdString();
    }
}

// A name that is not UTF-8 is kept by its own bytes, absolute and relative, and
// the alias finds the file again once the session's links are gone.
TEST(AliasRecord, ANameInOtherBytesIsStoredAsItsBytesAndResolvesAfterALogin)
{
    const QByteArray dir = QFile::encodeName(Fresh("bytes"));
    const QByteArray package = dir + "/Caf\xE9.idxp";
    const QByteArray file = dir + "/photos/plage \xFF.jpg";
    ASSERT_EQ(::mkdir(package.constData(), 0700), 0);
    ASSERT_EQ(::mkdir((dir + "/photos").constData(), 0700), 0);
    const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "12345678", 8), 8);
    ::close(fd);

    const FileRef from = FileRef::FromNativePath(package + "/index.db");
    QByteArray bytes;
    ASSERT_EQ(NewAliasBytes(&from, FileRef::FromNativePath(file), bytes), noErr);
    AliasRecord record;
    ASSERT_EQ(AliasRecord::FromBytes(bytes, record), noErr);
    EXPECT_EQ(record.absolutePath, file);
    EXPECT_EQ(record.relativePath, QByteArray("../photos/plage \xFF.jpg"));
    EXPECT_EQ(record.size, 8);
    EXPECT_TRUE(bytes.contains(file));
    EXPECT_FALSE(bytes.contains("orvex-names"));
    EXPECT_EQ(record.ReadablePath(), QFile::decodeName(dir) + QStringLiteral("/photos/plage ÿ.jpg"));

    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path((qgetenv("XDG_RUNTIME_DIR") + "/orvex-names").toStdString()), ignored);
    FileRef found;
    bool changed = false;
    QByteArray held = bytes;
    ASSERT_EQ(ResolveAliasBytes(nullptr, held, found, changed), noErr);
    EXPECT_EQ(found.NativePath(), file);
    EXPECT_FALSE(changed);
    EXPECT_EQ(held, bytes);
    FileStat st;
    ASSERT_EQ(found.Stat(st), noErr);
    EXPECT_EQ(st.size, 8);

    // Package and photographs moved together: found by the path from the package.
    const QByteArray moved = dir + "-moved \xE9";
    ASSERT_EQ(::rename(dir.constData(), moved.constData()), 0);
    const FileRef movedFrom = FileRef::FromNativePath(moved + "/Caf\xE9.idxp/index.db");
    ASSERT_EQ(ResolveAlias(&movedFrom, record, found, changed), noErr);
    EXPECT_EQ(found.NativePath(), moved + "/photos/plage \xFF.jpg");
    EXPECT_TRUE(changed);

    // A path cannot hold NUL: such a record is damaged.
    record.absolutePath = QByteArray("/a\0b", 4);
    ASSERT_EQ(record.ToBytes(bytes), noErr);
    EXPECT_EQ(AliasRecord::FromBytes(bytes, record), badFormat);
    std::filesystem::remove_all(std::filesystem::path(moved.toStdString()), ignored);
}
