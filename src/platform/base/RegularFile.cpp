#include "RegularFile.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
OSStatus OpenErrorCode(int error)
{
    switch (error) {
    case ENOENT:
        return fnfErr;
    case ENOTDIR:
        return dirNFErr;
    case EACCES:
    case EPERM:
        return permErr;
    case ENXIO: // a socket, or a device with nothing behind it
    case EISDIR:
        return notAFileErr;
    default:
        return ioErr;
    }
}
} // namespace

FileIdentity FileIdentity::Of(const struct stat& status)
{
    return {UInt64(status.st_dev), UInt64(status.st_ino), qint64(status.st_size), status.st_mtim, status.st_ctim};
}

RegularFile::~RegularFile()
{
    if (mFd >= 0)
        ::close(mFd);
}

OSStatus RegularFile::Open(const QString& path)
{
    if (mFd >= 0) {
        ::close(mFd);
        mFd = -1;
    }
    mSize = 0;
    mIdentity = {};
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return OpenErrorCode(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return notAFileErr;
    }
    mFd = fd;
    mSize = qint64(info.st_size);
    mIdentity = FileIdentity::Of(info);
    return noErr;
}

OSStatus RegularFile::ReadAll(QByteArray& out, qint64 maxBytes)
{
    out.clear();
    if (mFd < 0)
        return fnfErr;
    if (mSize > maxBytes)
        return fsDataTooBigErr;
    // Only what the file held when opened: one that grows meanwhile is read to that size.
    return ReadAt(0, mSize, out);
}

OSStatus RegularFile::ReadAt(qint64 offset, qint64 count, QByteArray& out)
{
    out.clear();
    if (mFd < 0)
        return fnfErr;
    if (offset < 0 || count < 0)
        return paramErr;
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    qint64 done = 0;
    if (const OSStatus status = ReadInto(offset, count, bytes.data(), done))
        return status;
    bytes.truncate(qsizetype(done));
    out = std::move(bytes);
    return noErr;
}

OSStatus RegularFile::ReadInto(qint64 offset, qint64 count, char* into, qint64& outDone)
{
    outDone = 0;
    if (mFd < 0)
        return fnfErr;
    if (offset < 0 || count < 0)
        return paramErr;
    return ReadFromDescriptor(mFd, offset, count, into, outDone);
}

OSStatus ReadFromDescriptor(int fd, qint64 offset, qint64 count, char* into, qint64& outDone)
{
    outDone = 0;
    while (outDone < count) {
        const ssize_t got = ::pread(fd, into + outDone, size_t(count - outDone), off_t(offset + outDone));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ioErr;
        if (got == 0)
            break; // the end of the file, or cut short since: what is there
        outDone += got;
    }
    return noErr;
}

OSStatus CheckRegularFile(const QString& path, qint64* size)
{
    RegularFile file;
    const OSStatus status = file.Open(path);
    if (size)
        *size = file.Size();
    return status;
}

OSStatus ReadRegularFile(const QString& path, QByteArray& out, qint64 maxBytes)
{
    RegularFile file;
    if (const OSStatus status = file.Open(path))
        return status;
    return file.ReadAll(out, maxBytes);
}
