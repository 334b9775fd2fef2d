#include "NativePaths.h"

#include "SafeSave.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

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
