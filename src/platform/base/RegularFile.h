#pragma once

#include "FileErrorCodes.h"

#include <QByteArray>
#include <QString>

#include <ctime>

struct stat;

// Which file an open descriptor holds, as fstat tells it: two opens reach the same
// file, unchanged, when device, inode, size, modification time and change time
// agree. The change time is what a write in place cannot hide: a program may put
// the modification time back, but no one can set the change time. A rename sets
// it too, so a file renamed into place is looked at after its rename.
struct FileIdentity {
    UInt64 device = 0;
    UInt64 inode = 0;
    qint64 size = 0;
    timespec modified {};
    timespec changed {};

    static FileIdentity Of(const struct stat& status);
    bool operator==(const FileIdentity& other) const
    {
        return device == other.device && inode == other.inode && size == other.size
            && modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec
            && changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

// Reading a file the user named or a package holds, where any path may be a pipe,
// a device or a link to one. The file is opened without blocking (a pipe with no
// writer would hold an ordinary open for good) and fstat on that descriptor says
// what it is, so nothing but a regular file reaches a reader, and the size read
// is the size the file has, never what a device keeps giving.
class RegularFile {
public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // noErr for a regular file, now open for reading; notAFileErr for anything
    // else (folders, pipes, devices, sockets), fnfErr/permErr as opening says.
    OSStatus Open(const QString& path);
    int Descriptor() const { return mFd; }
    qint64 Size() const { return mSize; }
    // The file opened, as fstat saw it then.
    const FileIdentity& Identity() const { return mIdentity; }

    // The whole file; fsDataTooBigErr (nothing read) when it is larger than
    // `maxBytes`, ioErr when a read fails.
    OSStatus ReadAll(QByteArray& out, qint64 maxBytes);
    // Up to `count` bytes from `offset`, fewer at the end of the file; ioErr
    // when a read fails.
    OSStatus ReadAt(qint64 offset, qint64 count, QByteArray& out);
    // The same into memory the caller holds; `outDone` says how many bytes came.
    OSStatus ReadInto(qint64 offset, qint64 count, char* into, qint64& outDone);

private:
    int mFd = -1;
    qint64 mSize = 0;
    FileIdentity mIdentity;
};

// Up to `count` bytes of the open file `fd` from `offset` into `into`, fewer at
// its end (`outDone` says how many); ioErr when a read fails.
OSStatus ReadFromDescriptor(int fd, qint64 offset, qint64 count, char* into, qint64& outDone);

// Whether `path` is a regular file, asked as RegularFile::Open does; its size in `size`.
OSStatus CheckRegularFile(const QString& path, qint64* size = nullptr);

// The whole regular file at `path`, at most `maxBytes`, as RegularFile::ReadAll.
OSStatus ReadRegularFile(const QString& path, QByteArray& out, qint64 maxBytes);
