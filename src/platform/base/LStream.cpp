#include "LStream.h"

#include "SafeSave.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <string>

void LStream::SetMarker(SInt64 offset, EStreamFrom from)
{
    SInt64 target = offset;
    if (from == streamFrom_End)
        target = mLength + offset;
    else if (from == streamFrom_Marker)
        target = mMarker + offset;
    if (target < 0)
        target = 0;
    if (target > mLength)
        target = mLength;
    mMarker = target;
}

void LStream::SetLength(SInt64 length)
{
    mLength = length < 0 ? 0 : length;
    if (mMarker > mLength)
        mMarker = mLength;
}

void LStream::ThrowEndOfData(SInt64 wanted) const
{
    ThrowOSErr_(eofErr,
        "read of " + std::to_string(wanted) + " bytes at offset " + std::to_string(mMarker) + ", "
            + std::to_string(Remaining()) + " remain");
}

void LStream::WriteBlock(const void* buffer, SInt32 byteCount)
{
    if (byteCount < 0)
        ThrowOSErr_(paramErr, "negative write length");
    SInt32 count = byteCount;
    OSStatus err = PutBytes(buffer, count);
    ThrowIfOSErr_(err);
    if (count != byteCount)
        ThrowOSErr_(ioErr, "short write");
}

void LStream::ReadBlock(void* buffer, SInt32 byteCount)
{
    if (byteCount < 0)
        ThrowOSErr_(paramErr, "negative read length");
    if (byteCount > Remaining())
        ThrowEndOfData(byteCount);
    SInt32 count = byteCount;
    OSStatus err = GetBytes(buffer, count);
    ThrowIfOSErr_(err);
    if (count != byteCount)
        ThrowEndOfData(byteCount);
}

QByteArray LStream::ReadBytes(SInt64 count)
{
    if (count < 0 || count > Remaining() || count > 0x7FFFFFFF)
        ThrowEndOfData(count);
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    ReadBlock(bytes.data(), SInt32(count));
    return bytes;
}

void LStream::Skip(SInt64 count)
{
    if (count < 0 || count > Remaining())
        ThrowEndOfData(count);
    SetMarker(count, streamFrom_Marker);
}

UInt64 LStream::ReadInteger(int size)
{
    unsigned char bytes[8];
    ReadBlock(bytes, size);
    UInt64 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

void LStream::WriteInteger(UInt64 value, int size)
{
    unsigned char bytes[8];
    for (int i = size - 1; i >= 0; --i) {
        bytes[i] = static_cast<unsigned char>(value);
        value >>= 8;
    }
    WriteBlock(bytes, size);
}

UInt8 LStream::ReadUInt8() { return static_cast<UInt8>(ReadInteger(1)); }
UInt16 LStream::ReadUInt16() { return static_cast<UInt16>(ReadInteger(2)); }
UInt32 LStream::ReadUInt32() { return static_cast<UInt32>(ReadInteger(4)); }
UInt64 LStream::ReadUInt64() { return ReadInteger(8); }

UInt16 LStream::ReadUInt16LE()
{
    UInt16 v = ReadUInt16();
    return static_cast<UInt16>((v >> 8) | (v << 8));
}

UInt32 LStream::ReadUInt32LE()
{
    unsigned char b[4];
    ReadBlock(b, 4);
    return UInt32(b[0]) | (UInt32(b[1]) << 8) | (UInt32(b[2]) << 16) | (UInt32(b[3]) << 24);
}

UInt64 LStream::ReadUInt64LE()
{
    UInt64 low = ReadUInt32LE();
    UInt64 high = ReadUInt32LE();
    return low | (high << 32);
}

void LStream::WriteUInt8(UInt8 value) { WriteInteger(value, 1); }
void LStream::WriteUInt16(UInt16 value) { WriteInteger(value, 2); }
void LStream::WriteUInt32(UInt32 value) { WriteInteger(value, 4); }
void LStream::WriteUInt64(UInt64 value) { WriteInteger(value, 8); }

void LStream::WriteUInt16LE(UInt16 value)
{
    unsigned char b[2] = { static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8) };
    WriteBlock(b, 2);
}

void LStream::WriteUInt32LE(UInt32 value)
{
    unsigned char b[4];
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<unsigned char>(value >> (8 * i));
    WriteBlock(b, 4);
}

void LStream::WriteUInt64LE(UInt64 value)
{
    WriteUInt32LE(static_cast<UInt32>(value));
    WriteUInt32LE(static_cast<UInt32>(value >> 32));
}

void LStream::WritePString(const unsigned char* pString)
{
    WriteBlock(pString, pString[0] + 1);
}

void LStream::ReadPString(unsigned char* outPString, int capacity)
{
    UInt8 length = ReadUInt8();
    if (length > Remaining())
        ThrowEndOfData(length);
    int kept = length > capacity ? capacity : length;
    ReadBlock(outPString + 1, kept);
    Skip(length - kept);
    outPString[0] = static_cast<unsigned char>(kept);
}

// LDataStream

LDataStream::LDataStream(QByteArray bytes)
    : mData(std::move(bytes))
{
    mLength = mData.size();
}

QByteArray LDataStream::TakeData()
{
    QByteArray data = std::move(mData);
    mData.clear();
    mLength = mMarker = 0;
    return data;
}

void LDataStream::GiveRoom(QByteArray room)
{
    if (mLength != 0 || room.capacity() <= mData.capacity())
        return;
    room.resize(0); // the allocation stays
    mData = std::move(room);
}

void LDataStream::SetLength(SInt64 length)
{
    LStream::SetLength(length);
    mData.resize(qsizetype(mLength));
}

OSStatus LDataStream::PutBytes(const void* buffer, SInt32& ioByteCount)
{
    SInt64 end = mMarker + ioByteCount;
    if (end > mLength) {
        mData.resize(qsizetype(end));
        mLength = end;
    }
    if (ioByteCount > 0)
        std::memcpy(mData.data() + mMarker, buffer, size_t(ioByteCount));
    mMarker = end;
    return noErr;
}

OSStatus LDataStream::GetBytes(void* buffer, SInt32& ioByteCount)
{
    OSStatus err = noErr;
    if (ioByteCount > Remaining()) {
        ioByteCount = SInt32(Remaining());
        err = eofErr;
    }
    if (ioByteCount > 0)
        std::memcpy(buffer, mData.constData() + mMarker, size_t(ioByteCount));
    mMarker += ioByteCount;
    return err;
}

// LFileStream

OSStatus OSErrorFromFileError(QFileDevice::FileError error, const QString& path)
{
    switch (error) {
    case QFileDevice::NoError:
        return noErr;
    case QFileDevice::OpenError: {
        const int error = errno; // what the failed open left, before anything else runs
        QFileInfo info(path);
        // A file that cannot be made, or opened to change, on a read-only disk says so.
        if ((info.exists() || error == EROFS) && IsOnReadOnlyVolume(path))
            return wPrErr;
        if (!info.exists() && !info.dir().exists())
            return dirNFErr;
        // A file not there yet in a folder that is: missing, unless the folder refused to make it.
        if (!info.exists() && error != EACCES && error != EPERM)
            return fnfErr;
        return permErr;
    }
    case QFileDevice::PermissionsError:
        return IsOnReadOnlyVolume(path) ? wPrErr : permErr;
    case QFileDevice::ReadError:
        return ioErr;
    case QFileDevice::WriteError:
    case QFileDevice::ResizeError:
        return IsOnReadOnlyVolume(path) ? wPrErr : ioErr;
    default:
        return ioErr;
    }
}

namespace {
// A new, empty file beside `path` for a Truncate stream to write into.
QString OpenTemporaryBeside(const QString& path, QFile& file)
{
    const QFileInfo info(path);
    QByteArray pattern = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName())
        + ".XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        const int error = errno;
        ThrowOSErr_(error == ENOENT || error == ENOTDIR ? dirNFErr : WriteFailureCode(error),
            path.toStdString());
    }
    // The new file takes the old one's permissions, or the usual ones.
    struct stat old {};
    ::fchmod(fd, ::stat(QFile::encodeName(path).constData(), &old) == 0 ? old.st_mode & 07777 : 0644);
    ::close(fd);
    const QString name = QFile::decodeName(pattern);
    file.setFileName(name);
    if (!file.open(QIODevice::ReadWrite)) {
        ::unlink(pattern.constData());
        ThrowOSErr_(ioErr, path.toStdString());
    }
    return name;
}
}

LFileStream::LFileStream(const QString& path, Mode mode)
    : mPath(path)
    , mMode(mode)
{
    if (mode == Mode::Truncate) {
        OpenTemporaryBeside(path, mFile);
        mLength = 0;
        return;
    }
    mFile.setFileName(path);
    QIODevice::OpenMode openMode = mode == Mode::ReadWrite ? QIODevice::ReadWrite : QIODevice::ReadOnly;
    if (!mFile.open(openMode))
        ThrowOSErr_(OSErrorFromFileError(mFile.error(), path), path.toStdString());
    mLength = mFile.size();
}

LFileStream::~LFileStream()
{
    if (mMode == Mode::Truncate && !mClosed) {
        const QByteArray temporary = QFile::encodeName(mFile.fileName());
        mFile.close();
        ::unlink(temporary.constData());
    }
}

void LFileStream::Close()
{
    if (mClosed)
        return;
    mClosed = true;
    if (mMode == Mode::Read) {
        mFile.close();
        return;
    }
    const QByteArray temporary = QFile::encodeName(mFile.fileName());
    errno = 0;
    bool ok = mFile.flush() && mFile.size() == mLength;
    int error = errno;
    if (ok && ::fsync(mFile.handle()) != 0) {
        ok = false;
        error = errno;
    }
    mFile.close();
    if (ok && mFile.error() != QFileDevice::NoError) {
        ok = false;
        error = EIO;
    }
    if (mMode == Mode::Truncate) {
        if (ok && ::rename(temporary.constData(), QFile::encodeName(mPath).constData()) != 0) {
            ok = false;
            error = errno;
        }
        if (!ok)
            ::unlink(temporary.constData());
    }
    if (!ok)
        ThrowOSErr_(WriteFailureCode(error), "not written: " + mPath.toStdString());
    if (mMode == Mode::Truncate) {
        if (OSStatus err = SyncFolderOf(mPath))
            ThrowOSErr_(err, "not synced: " + mPath.toStdString());
    }
}

void LFileStream::SetMarker(SInt64 offset, EStreamFrom from)
{
    LStream::SetMarker(offset, from);
    mFile.seek(mMarker);
}

void LFileStream::SetLength(SInt64 length)
{
    if (!mFile.resize(length))
        ThrowOSErr_(ioErr, "resize failed");
    LStream::SetLength(length);
    mFile.seek(mMarker);
}

OSStatus LFileStream::PutBytes(const void* buffer, SInt32& ioByteCount)
{
    if (mClosed)
        ThrowOSErr_(ioErr, "stream closed: " + mPath.toStdString());
    errno = 0;
    const SInt32 wanted = ioByteCount;
    qint64 written = mFile.write(static_cast<const char*>(buffer), ioByteCount);
    if (written < 0) {
        ioByteCount = 0;
        return WriteFailureCode(errno);
    }
    ioByteCount = SInt32(written);
    mMarker += written;
    if (mMarker > mLength)
        mLength = mMarker;
    return written == wanted ? noErr : WriteFailureCode(errno);
}

OSStatus LFileStream::GetBytes(void* buffer, SInt32& ioByteCount)
{
    qint64 got = mFile.read(static_cast<char*>(buffer), ioByteCount);
    if (got < 0) {
        ioByteCount = 0;
        return ioErr;
    }
    OSStatus err = got < ioByteCount ? eofErr : noErr;
    ioByteCount = SInt32(got);
    mMarker += got;
    return err;
}
