#include "NativePaths.h"

#include "FileRef.h"
#include "SafeSave.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A file written by its bytes alone, below Qt's names.
bool WriteByBytes(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const bool written = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}
} // namespace

TEST(NativePaths, ANameInLatin1BytesLeadsToItsFolderForReadingAndWriting)
{
    const QByteArray package = QFile::encodeName(TestTempDir()) + "/Caf\xE9 \xC0 la plage.idxp";
    ASSERT_EQ(::mkdir(package.constData(), 0700), 0);
    ASSERT_TRUE(WriteByBytes(package + "/index.db", "records"));

    const QString path = PathFromNativeBytes(package);
    EXPECT_EQ(QFileInfo(path).fileName(), QStringLiteral("Café À la plage.idxp"));
    EXPECT_EQ(ReadWholeFile(path + "/index.db"), QByteArray("records"));
    // A save through the path lands in the folder of the original name.
    EXPECT_EQ(ReplaceFileSafely(path + "/settings.xml", "settings"), noErr);
    struct stat info {};
    EXPECT_EQ(::stat((package + "/settings.xml").constData(), &info), 0);
    // Asked again (a second launch), the same path; a UTF-8 name is itself.
    EXPECT_EQ(PathFromNativeBytes(package), path);
    EXPECT_EQ(PathFromNativeBytes(QFile::encodeName(TestTempDir() + "/Café.idxp")), TestTempDir() + "/Café.idxp");
    // Qt cannot list the folder to remove it: it goes by its bytes.
    for (const char* name : {"/index.db", "/settings.xml"})
        ::unlink((package + name).constData());
    EXPECT_EQ(::rmdir(package.constData()), 0);
}

namespace {
void RemoveTree(const QByteArray& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path.toStdString()), ignored);
}
} // namespace

// A file and its folder both named in Latin-1: every way of reaching them gives one
// path, and what the system is asked about is the real file, never the link.
TEST(NativePaths, PathsThroughALinkKeepTheirBytesAndOneFormEach)
{
    const QByteArray folder = QFile::encodeName(TestTempDir()) + "/Photos \xE9t\xE9";
    const QByteArray file = folder + "/plage \xFF.jpg";
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    ASSERT_TRUE(WriteByBytes(file, QByteArray(5000, 'x')));
    ASSERT_TRUE(WriteByBytes(folder + "/ok.jpg", "ok"));

    const FileRef item = FileRef::FromNativePath(file);
    EXPECT_EQ(item.NativePath(), file);
    EXPECT_EQ(item.Name(), QStringLiteral("plage ÿ.jpg"));
    FileStat st;
    ASSERT_EQ(item.Stat(st), noErr);
    EXPECT_TRUE(st.isRegularFile);
    EXPECT_EQ(st.size, 5000); // the file's size, not the link's
    EXPECT_EQ(QFileInfo(item.Path()).size(), 5000); // and Qt reaches it too

    const FileRef parent = item.Parent();
    EXPECT_EQ(parent.NativePath(), folder);
    EXPECT_TRUE(parent.IsFolder());
    EXPECT_EQ(parent, FileRef::FromNativePath(folder + "/"));
    EXPECT_EQ(parent.Parent(), FileRef(TestTempDir()));
    EXPECT_EQ(parent.ChildNamed("plage \xFF.jpg"), item);
    EXPECT_EQ(parent.ChildNamed("ok.jpg"), FileRef::FromNativePath(folder + "/ok.jpg"));
    EXPECT_EQ(parent.ChildNamed("ok.jpg").NativePath(), folder + "/ok.jpg");
    EXPECT_TRUE(item.IsInside(parent));
    EXPECT_TRUE(item.IsInside(FileRef(TestTempDir())));
    EXPECT_FALSE(parent.IsInside(item));
    EXPECT_EQ(item.Canonical(), item);

    QList<QByteArray> names;
    ASSERT_EQ(ListFolder(parent, names), noErr);
    EXPECT_EQ(names, (QList<QByteArray> {"ok.jpg", "plage \xFF.jpg"}));

    // A file URL carries the bytes, percent-encoded, and leads back to the item.
    const QByteArray url = "file://" + file.toPercentEncoding("/");
    EXPECT_EQ(NativeFileUrlBytes(item.ToUrl()), url);
    EXPECT_EQ(FileRef::FromUrl(QUrl::fromEncoded(url)), item);
    EXPECT_EQ(UrlFromNativeFileUrl(QUrl::fromEncoded(url)), item.ToUrl());
    EXPECT_EQ(QUrl::fromPercentEncoding(NativeFileUrlBytes(QUrl::fromLocalFile(TestTempDir()))), QStringLiteral("file://") + TestTempDir());
    // Shown as the link names it.
    EXPECT_EQ(ReadableNativePath(file), TestTempDir() + QStringLiteral("/Photos été/plage ÿ.jpg"));

    // A new login: the links are gone, and made again from the same bytes.
    RemoveTree(qgetenv("XDG_RUNTIME_DIR") + "/orvex-names");
    EXPECT_EQ(item.NativePath(), QFile::encodeName(item.Path())); // the link itself is gone
    EXPECT_EQ(FileRef::FromNativePath(file), item);
    EXPECT_EQ(item.NativePath(), file);
    RemoveTree(folder);
}

// A folder of the user's own that happens to be named like the links' folder is
// taken for what it is.
TEST(NativePaths, AFolderNamedLikeTheLinksIsNoLink)
{
    const QString own = TestTempDir() + QStringLiteral("/orvex-names/0123456789abcdef");
    ASSERT_TRUE(QDir().mkpath(own));
    ASSERT_TRUE(QFile::link(TestTempDir(), own + QStringLiteral("/elsewhere")));
    const FileRef link(own + QStringLiteral("/elsewhere"));
    EXPECT_EQ(link.NativePath(), QFile::encodeName(link.Path()));
    EXPECT_TRUE(link.IsSymLink());
}
