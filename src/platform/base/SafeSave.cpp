#include "SafeSave.h"

#include "LStream.h"

#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {
constexpr OSStatus kDiskFull = -34; // dskFulErr
}

OSStatus WriteFailureCode(int error)
{
    switch (error) {
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return kDiskFull;
    case EACCES:
    case EPERM:
        return permErr;
    case EROFS:
        return wPrErr;
    default:
        return ioErr;
    }
}

bool IsOnReadOnlyVolume(const QString& path)
{
    // The nearest folder that exists: a file not yet made lies on its volume.
    QFileInfo info(path);
    QString existing = info.absoluteFilePath();
    while (!existing.isEmpty() && !QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).absolutePath();
        if (parent == existing)
            break;
        existing = parent;
    }
    struct statvfs volume {};
    return ::statvfs(QFile::encodeName(existing).constData(), &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0;
}

OSStatus SyncFolderOf(const QString& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return WriteFailureCode(errno);
    // Some file systems cannot sync a folder (EINVAL); the rename itself stands.
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    return result == 0 || error == EINVAL || error == EROFS ? noErr : WriteFailureCode(error);
}

OSStatus CommitSaveFile(QSaveFile& file, qint64 expectedSize)
{
    errno = 0;
    if (!file.flush() || file.size() != expectedSize) {
        const OSStatus err = WriteFailureCode(errno);
        file.cancelWriting();
        file.commit(); // drops the temporary file
        return err;
    }
    errno = 0;
    if (!file.commit())
        return WriteFailureCode(errno);
    return SyncFolderOf(file.fileName());
}

OSStatus FinishFileWrite(QFile& file)
{
    errno = 0;
    if (!file.flush())
        return WriteFailureCode(errno);
    if (::fsync(file.handle()) != 0)
        return WriteFailureCode(errno);
    file.close();
    return file.error() == QFileDevice::NoError ? noErr : ioErr;
}

OSStatus ReplaceFileSafely(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return OSErrorFromFileError(file.error(), path);
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const OSStatus err = WriteFailureCode(errno);
        file.cancelWriting();
        file.commit();
        return err;
    }
    return CommitSaveFile(file, bytes.size());
}
