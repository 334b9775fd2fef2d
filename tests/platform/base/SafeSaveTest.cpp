#include "ExceptionCode.h"
#include "LStream.h"
#include "SafeSave.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <functional>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr OSStatus kDiskFull = -34;

void WriteWhole(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Files left in the folder besides the ones named.
QStringList Leftovers(const QString& folder, const QStringList& expected)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : expected)
        names.removeAll(name);
    return names;
}
} // namespace

TEST(SafeSave, FullDiskLeavesTheOldFileWholeAndReportsDiskFull)
{
    const QString folder = TestTempDir();
    const QString path = folder + QStringLiteral("/prefs.plist");
    const QByteArray old(3000, 'o');
    WriteWhole(path, old);

    // Larger than the limit: the first writes fit, a later one and the flush fail.
    const QByteArray bigger(64 * 1024, 'n');
    auto result = RunWithFileSizeLimit(16 * 1024, [&] { return qint32(ReplaceFileSafely(path, bigger)); });
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, kDiskFull);
    EXPECT_EQ(ReadWholeFile(path), old);
    EXPECT_EQ(Leftovers(folder, { "prefs.plist" }), QStringList());

    // Small enough to fit: it replaces the file.
    result = RunWithFileSizeLimit(16 * 1024, [&] { return qint32(ReplaceFileSafely(path, "new")); });
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, noErr);
    EXPECT_EQ(ReadWholeFile(path), QByteArray("new"));
}

TEST(SafeSave, MissingOrReadOnlyFoldersAreCodesNotSuccess)
{
    EXPECT_EQ(ReplaceFileSafely(TestTempDir() + QStringLiteral("/none/x.plist"), "x"), dirNFErr);
    EXPECT_EQ(SyncFolderOf(TestTempDir() + QStringLiteral("/x.plist")), noErr);
    EXPECT_EQ(WriteFailureCode(ENOSPC), kDiskFull);
    EXPECT_EQ(WriteFailureCode(EROFS), wPrErr);
    EXPECT_EQ(WriteFailureCode(EIO), ioErr);
}

TEST(SafeSave, AReadOnlyDiskIsReportedAsReadOnly)
{
    const QString folder = TestTempDir() + QStringLiteral("/Holiday.idxp");
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/index.db");
    WriteWhole(path, "old bytes");
    struct Case {
        const char* what;
        std::function<OSStatus()> write;
    };
    const Case cases[] = {
        { "a file replaced", [&] { return ReplaceFileSafely(path, "new"); } },
        { "a new file", [&] { return ReplaceFileSafely(folder + QStringLiteral("/settings.xml"), "new"); } },
        { "a stream that truncates", [&] {
             return CatchCode([&] {
                 LFileStream out(path, LFileStream::Mode::Truncate);
                 out.WriteBytes("new");
                 out.Close();
             });
         } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto result = RunOnReadOnlyFolder(folder, [&] { return qint32(c.write()); });
        if (!result)
            GTEST_SKIP() << "no read-only bind mount can be made here";
        EXPECT_EQ(*result, wPrErr);
    }
    EXPECT_EQ(ReadWholeFile(path), QByteArray("old bytes"));
    EXPECT_EQ(Leftovers(folder, { "index.db" }), QStringList());
}

TEST(LFileStream, TruncateWritesBesideAndReplacesOnlyOnClose)
{
    const QString folder = TestTempDir();
    const QString path = folder + QStringLiteral("/index.db");
    WriteWhole(path, "old bytes");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);

    {
        // Dropped without Close (as when a writer throws): the old file stands.
        LFileStream out(path, LFileStream::Mode::Truncate);
        out.WriteBytes("half");
        EXPECT_EQ(ReadWholeFile(path), QByteArray("old bytes"));
    }
    EXPECT_EQ(ReadWholeFile(path), QByteArray("old bytes"));
    EXPECT_EQ(Leftovers(folder, { "index.db" }), QStringList());

    {
        LFileStream out(path, LFileStream::Mode::Truncate);
        EXPECT_EQ(out.Path(), path);
        out.WriteBytes("new bytes!");
        out.Close();
        EXPECT_EQ(CatchCode([&] { out.WriteBytes("after"); }), ioErr);
    }
    EXPECT_EQ(ReadWholeFile(path), QByteArray("new bytes!"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u); // the old file's permissions kept
    EXPECT_EQ(Leftovers(folder, { "index.db" }), QStringList());
}

TEST(LFileStream, FullDiskThrowsAndKeepsTheOldFile)
{
    const QString folder = TestTempDir();
    const QString path = folder + QStringLiteral("/index.db");
    const QByteArray old(10000, 'o');
    WriteWhole(path, old);

    for (FullDisk kind : kFullDisks) {
        SCOPED_TRACE(FullDiskName(kind));
        const auto result = RunOnFullDisk(kind, folder, 4096, [&] {
            return qint32(CatchCode([&] {
                LFileStream out(path, LFileStream::Mode::Truncate);
                const QByteArray record(1000, 'r');
                for (int i = 0; i < 20; ++i)
                    out.WriteBytes(record);
                out.Close();
            }));
        });
        ASSERT_TRUE(result);
        EXPECT_EQ(*result, kDiskFull);
        EXPECT_EQ(ReadWholeFile(path), old);
        EXPECT_EQ(Leftovers(folder, { "index.db" }), QStringList());
    }
}

// The full disks the writers' tests stand on: a small filesystem is really full
// (where one can be mounted), sees what the folder held, leaves behind what was
// written into it, and leaves no mount behind.
TEST(FullDisks, ASmallFilesystemIsFullHoldsTheFolderAndLeavesNoMount)
{
    const QString folder = TestTempDir() + QStringLiteral("/disk");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/inner")));
    WriteWhole(folder + QStringLiteral("/inner/old.txt"), QByteArray(5000, 'o'));
    auto mounts = [] { return ReadWholeFile(QStringLiteral("/proc/self/mounts")); };
    const QByteArray mountsBefore = mounts();

    // errno of the write that fails, 0 when all 64 KB went in.
    auto writeTooMuch = [&]() -> qint32 {
        if (ReadWholeFile(folder + QStringLiteral("/inner/old.txt")) != QByteArray(5000, 'o'))
            return -1; // the folder's contents are not there
        WriteWhole(folder + QStringLiteral("/small.txt"), "fits");
        const int fd = ::open(QFile::encodeName(folder + QStringLiteral("/big.txt")).constData(),
            O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const QByteArray chunk(4096, 'b');
        for (int i = 0; i < 16; ++i) {
            if (::write(fd, chunk.constData(), chunk.size()) != chunk.size()) {
                const int error = errno;
                ::close(fd);
                return error;
            }
        }
        ::close(fd);
        return 0;
    };
    const auto limited = RunOnFullDisk(FullDisk::FileSizeLimit, folder, 8192, writeTooMuch);
    ASSERT_TRUE(limited);
    EXPECT_EQ(*limited, EFBIG);

    const bool canMount = SmallFilesystemsCanBeMounted();
    const auto full = RunOnFullDisk(FullDisk::SmallFilesystem, folder, 8192, writeTooMuch);
    ASSERT_TRUE(full);
    EXPECT_EQ(*full, canMount ? ENOSPC : EFBIG);
    EXPECT_EQ(ReadWholeFile(folder + QStringLiteral("/small.txt")), QByteArray("fits"));
    EXPECT_EQ(ReadWholeFile(folder + QStringLiteral("/inner/old.txt")), QByteArray(5000, 'o'));
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        (QStringList { "big.txt", "inner", "small.txt" }));
    EXPECT_EQ(mounts(), mountsBefore);
}
