#include "LeasedFile.h"

#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace {

Q_LOGGING_CATEGORY(lcErrors, "orvex.errors")

constexpr qint64 kReadAheadBytes = 256 * 1024;

// The signal a lease's break is told by; the kernel names the descriptor in it.
int LeaseSignal()
{
    return SIGRTMIN + 4;
}

int gBreakPipe[2] = { -1, -1 };

// Only what is safe in a signal handler: the descriptor goes down the pipe to
// the thread that serves breaks, which runs whatever the GUI thread does.
void OnLeaseBreak(int, siginfo_t* info, void*)
{
    const int saved = errno;
    const int fd = info->si_fd;
    ssize_t written = ::write(gBreakPipe[1], &fd, sizeof fd);
    (void)written;
    errno = saved;
}

// The leased files by descriptor; taken before any file's own lock.
std::mutex& RegistryMutex()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::unordered_map<int, LeasedFile*>& Registry()
{
    static auto* files = new std::unordered_map<int, LeasedFile*>;
    return *files;
}

// While the lease is held: a write in place breaks it, and the file is read in
// before the writer may go on. Its change time is not asked for here, since a
// save renaming the next index.db over this one sets it.
bool SameContentsUnderLease(const FileIdentity& opened, const struct stat& now)
{
    FileIdentity current = FileIdentity::Of(now);
    current.changed = opened.changed;
    return opened == current;
}

bool StartServing()
{
    static const bool started = [] {
        if (::pipe2(gBreakPipe, O_CLOEXEC) != 0)
            return false;
        struct sigaction action { };
        action.sa_sigaction = OnLeaseBreak;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        if (::sigaction(LeaseSignal(), &action, nullptr) != 0)
            return false;
        return true;
    }();
    return started;
}

void CloseAtOnce(int fd)
{
    ::close(fd);
}
std::atomic<void (*)(int)> gCloser {&CloseAtOnce};

} // namespace

void LeasedFile::ServeLeaseBreaks()
{
    for (;;) {
        int fd = -1;
        const ssize_t got = ::read(gBreakPipe[0], &fd, sizeof fd);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != ssize_t(sizeof fd))
            return;
        std::lock_guard registryLock(RegistryMutex());
        const auto found = Registry().find(fd);
        if (found == Registry().end())
            continue; // already pulled in or closed
        LeasedFile* file = found->second;
        Registry().erase(found);
        std::lock_guard lock(file->mMutex);
        file->PullInLocked();
    }
}

LeasedFile* LeasedFile::Open(const QString& path, const FileIdentity* expected)
{
    if (!StartServing())
        return nullptr;
    static const bool serving = [] {
        std::thread(&LeasedFile::ServeLeaseBreaks).detach();
        return true;
    }();
    (void)serving;

    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (expected && !(*expected == FileIdentity::Of(info)))) {
        ::close(fd);
        return nullptr;
    }
    const FileIdentity identity = FileIdentity::Of(info);
    auto* file = new LeasedFile(fd, identity);
    {
        // Known before the lease is: its break may come at once.
        std::lock_guard registryLock(RegistryMutex());
        Registry()[fd] = file;
    }
    const bool leased = ::fcntl(fd, F_SETSIG, LeaseSignal()) == 0 && ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
    // A change made before the lease was taken is caught by the file's date.
    if (!leased || ::fstat(fd, &info) != 0 || !(identity == FileIdentity::Of(info))) {
        file->Release();
        return nullptr;
    }
    return file;
}

LeasedFile::LeasedFile(int fd, const FileIdentity& identity)
    : mFd(fd)
    , mIdentity(identity)
{
}

LeasedFile::~LeasedFile()
{
    {
        std::lock_guard registryLock(RegistryMutex());
        const auto found = Registry().find(mFd);
        if (found != Registry().end() && found->second == this)
            Registry().erase(found);
    }
    if (mFd >= 0) {
        ::fcntl(mFd, F_SETLEASE, F_UNLCK);
        gCloser.load()(mFd);
    }
}

void LeasedFile::SetCloser(void (*closer)(int fd))
{
    gCloser = closer ? closer : &CloseAtOnce;
}

void LeasedFile::Release()
{
    if (mCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

void LeasedFile::PullIn()
{
    std::lock_guard registryLock(RegistryMutex());
    const auto found = Registry().find(mFd);
    if (found != Registry().end() && found->second == this)
        Registry().erase(found);
    std::lock_guard lock(mMutex);
    PullInLocked();
}

bool LeasedFile::IsPulledIn() const
{
    std::lock_guard lock(mMutex);
    return mPulledIn;
}

void LeasedFile::PullInLocked()
{
    if (mPulledIn)
        return;
    mAhead = QByteArray();
    try {
        mCopy = QByteArray(qsizetype(mIdentity.size), Qt::Uninitialized);
        qint64 done = 0;
        const OSStatus status = ReadFromDescriptor(mFd, 0, mIdentity.size, mCopy.data(), done);
        struct stat info { };
        // The writer waits only so long: a file changed meanwhile gives nothing to trust.
        mLost = status != noErr || done != mIdentity.size || ::fstat(mFd, &info) != 0
            || !SameContentsUnderLease(mIdentity, info);
    } catch (const std::bad_alloc&) {
        mLost = true;
    }
    if (mLost) {
        mCopy = QByteArray();
        qCWarning(lcErrors) << "index.db changed in place before its blocks could be read back";
    }
    ::fcntl(mFd, F_SETLEASE, F_UNLCK);
    ::close(mFd);
    mFd = -1;
    mPulledIn = true;
}

OSStatus LeasedFile::ReadAt(qint64 offset, qint64 count, char* into)
{
    if (offset < 0 || count < 0)
        return paramErr;
    std::lock_guard lock(mMutex);
    if (mLost)
        return ioErr;
    if (offset > mIdentity.size || count > mIdentity.size - offset)
        return eofErr;
    if (mPulledIn) {
        std::memcpy(into, mCopy.constData() + offset, size_t(count));
        return noErr;
    }
    if (offset >= mAheadAt && offset + count <= mAheadAt + mAhead.size()) {
        std::memcpy(into, mAhead.constData() + (offset - mAheadAt), size_t(count));
        mLastEnd = offset + count;
        return noErr;
    }
    struct stat info { };
    if (::fstat(mFd, &info) != 0 || !SameContentsUnderLease(mIdentity, info))
        return ioErr;
    // A read starting a little past the last one's end reads ahead; a read
    // elsewhere (one item's block) reads only its bytes.
    const bool following = mLastEnd >= 0 && offset >= mLastEnd && offset - mLastEnd <= kReadAheadBytes;
    mLastEnd = offset + count;
    if (following && count < kReadAheadBytes) {
        const qint64 ahead = std::min(kReadAheadBytes, mIdentity.size - offset);
        mAhead.resize(qsizetype(ahead));
        qint64 done = 0;
        const OSStatus status = ReadFromDescriptor(mFd, offset, ahead, mAhead.data(), done);
        if (status == noErr && done >= count) {
            mAhead.resize(qsizetype(done));
            mAheadAt = offset;
            std::memcpy(into, mAhead.constData(), size_t(count));
            return noErr;
        }
        mAhead.clear();
        if (status != noErr)
            return status;
        return eofErr;
    }
    qint64 done = 0;
    if (const OSStatus status = ReadFromDescriptor(mFd, offset, count, into, done))
        return status;
    return done == count ? noErr : eofErr;
}
