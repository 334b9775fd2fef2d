#pragma once

#include "RegularFile.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>

// A file read whole once and read back in pieces later, from a read-only
// descriptor of that very file: a rename over its path leaves the descriptor on
// the file read. A change in place is caught by a read lease: when another
// process opens the file for writing or truncates it, the kernel holds that
// process back while the whole file is read into memory here, and only then is
// the lease given up. Reference counted: each holder of a place in it keeps it.
class LeasedFile {
public:
    // The regular file at `path` (provided it is `expected`, when given) held by
    // a read lease; null where none can be had (another process has it open for
    // writing, a file system without leases, a user who does not own it).
    static LeasedFile* Open(const QString& path, const FileIdentity* expected = nullptr);

    LeasedFile(const LeasedFile&) = delete;
    LeasedFile& operator=(const LeasedFile&) = delete;

    void Retain() { mCount.fetch_add(1, std::memory_order_relaxed); }
    void Release();

    // `count` bytes from `offset` into `into`: eofErr when the file holds fewer,
    // ioErr when a read fails or the file changed since it was opened (its size
    // or date differ, or it changed before its bytes could be pulled in).
    OSStatus ReadAt(qint64 offset, qint64 count, char* into);

    // Reads the whole file into memory and gives the lease and the descriptor
    // up; what the lease's break does.
    void PullIn();
    bool IsPulledIn() const;
    const FileIdentity& Identity() const { return mIdentity; }

    // Closes the descriptor once the last holder lets go. Closing the last
    // descriptor of a file renamed over since (the index.db a save replaced)
    // frees the file, which for a large one keeps the file system a while: the
    // program hands that to a worker. By default the descriptor is closed at once.
    static void SetCloser(void (*closer)(int fd));

private:
    LeasedFile(int fd, const FileIdentity& identity);
    ~LeasedFile();
    void PullInLocked();

    static void ServeLeaseBreaks();

    std::atomic<qint64> mCount { 1 };
    mutable std::mutex mMutex;
    int mFd;
    const FileIdentity mIdentity;
    QByteArray mCopy; // the whole file once pulled in
    bool mPulledIn = false;
    bool mLost = false; // changed before it could be pulled in
    // Bytes read ahead of reads that follow one another through the file (a
    // save reading back every record's blocks in order): one read of the
    // descriptor serves many.
    QByteArray mAhead;
    qint64 mAheadAt = 0;
    qint64 mLastEnd = -1;
};
