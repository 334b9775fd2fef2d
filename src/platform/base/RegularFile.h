#pragma once

#include "FileErrorCodes.h"

#include <QByteArray>
#include <QString>

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
};

// Whether `path` is a regular file, asked as RegularFile::Open does; its size in `size`.
OSStatus CheckRegularFile(const QString& path, qint64* size = nullptr);

// The whole regular file at `path`, at most `maxBytes`, as RegularFile::ReadAll.
OSStatus ReadRegularFile(const QString& path, QByteArray& out, qint64 maxBytes);
