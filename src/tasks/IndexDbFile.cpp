#include "IndexDbFile.h"

#include "ExceptionCode.h"
#include "LStream.h"
#include "LThread.h"
#include "RegularFile.h"
#include "WorkerPool.h"
#include "SafeSave.h"

#include <QSaveFile>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr UInt8 kScrambleShift = 7;
constexpr qint64 kWriteChunk = 1 << 20;

bool StartsWith(const QByteArray& data, const std::array<char, kPasswordMarkerSize>& marker)
{
    return data.size() >= kPasswordMarkerSize && std::memcmp(data.constData(), marker.data(), kPasswordMarkerSize) == 0;
}

QByteArray Shift(QByteArray password, int by)
{
    for (qsizetype i = 0; i + 1 < password.size(); ++i)
        password[i] = char(UInt8(password[i]) + by);
    return password;
}

} // namespace

QByteArray ScramblePassword(QByteArray password)
{
    return Shift(std::move(password), kScrambleShift);
}

QByteArray UnscramblePassword(QByteArray password)
{
    return Shift(std::move(password), -int(kScrambleShift));
}

qsizetype ReadPasswordHeader(const QByteArray& data, PasswordHeader& out)
{
    out = PasswordHeader();
    const bool keychain = StartsWith(data, kKeychainMarker);
    if (!keychain && !StartsWith(data, kPackageMarker))
        return 0;
    if (data.size() < kPasswordMarkerSize + 1)
        ThrowOSErr_(eofErr, "index.db: password header without its length");
    const qsizetype length = UInt8(data[kPasswordMarkerSize]);
    const qsizetype end = kPasswordMarkerSize + 1 + length;
    if (end > data.size())
        ThrowOSErr_(eofErr, "index.db: password header cut short");
    out.present = true;
    out.keychain = keychain;
    out.password = UnscramblePassword(data.mid(kPasswordMarkerSize + 1, length));
    return end;
}

QByteArray MakePasswordHeader(const QByteArray& password, bool keychain)
{
    const QByteArray stored = ScramblePassword(password.left(255));
    const auto& marker = keychain ? kKeychainMarker : kPackageMarker;
    QByteArray header(marker.data(), kPasswordMarkerSize);
    header.append(char(UInt8(stored.size())));
    header.append(stored);
    return header;
}

struct FileReplacement::State {
    QString path;
    qint64 failAfter = -1;
    std::mutex queueLock;
    std::deque<QByteArray> queue;
    // Held while writing: the pieces go out in the order they were appended.
    std::mutex writeLock;
    std::optional<QSaveFile> file;
    qint64 written = 0;
    OSStatus status = noErr;
    std::atomic<bool> dropped {false};

    // With writeLock held.
    void WriteQueued()
    {
        for (;;) {
            QByteArray piece;
            {
                const std::lock_guard<std::mutex> guard(queueLock);
                if (queue.empty())
                    return;
                piece = std::move(queue.front());
                queue.pop_front();
            }
            if (status == noErr && !dropped)
                status = Write(piece);
        }
    }

    OSStatus Open()
    {
        if (file)
            return noErr;
        file.emplace(path);
        if (!file->open(QIODevice::WriteOnly))
            return OSErrorFromFileError(file->error(), path);
        return noErr;
    }

    OSStatus Write(const QByteArray& bytes)
    {
        if (const OSStatus err = Open(); err != noErr)
            return err;
        for (qint64 at = 0; at < bytes.size() && !dropped;) {
            qint64 chunk = std::min<qint64>(kWriteChunk, bytes.size() - at);
            if (failAfter >= 0 && written + chunk > failAfter) {
                chunk = failAfter - written;
                if (chunk > 0)
                    file->write(bytes.constData() + at, chunk);
                file->cancelWriting();
                return ioErr;
            }
            errno = 0;
            if (file->write(bytes.constData() + at, chunk) != chunk) {
                const OSStatus err = WriteFailureCode(errno);
                file->cancelWriting();
                return err;
            }
            at += chunk;
            written += chunk;
        }
        return noErr;
    }
};

FileReplacement::FileReplacement(const QString& path, qint64 failAfter)
    : mState(std::make_shared<State>())
{
    mState->path = path;
    mState->failAfter = failAfter;
}

FileReplacement::~FileReplacement()
{
    // A worker still writing stops at its next chunk; the temporary file goes
    // with the last hold on it.
    mState->dropped = true;
}

void FileReplacement::Append(QByteArray piece)
{
    if (piece.isEmpty())
        return;
    const std::lock_guard<std::mutex> guard(mState->queueLock);
    mState->queue.push_back(std::move(piece));
}

void FileReplacement::WriteInBackground()
{
    try {
        WorkerPool::Start([state = mState] {
            const std::lock_guard<std::mutex> guard(state->writeLock);
            state->WriteQueued();
        });
    } catch (const ExceptionCode&) {
        // The program is ending and the pool takes no more work: Commit writes them.
    }
}

OSStatus FileReplacement::Commit(const timespec* modified, FileIdentity* inPlace)
{
    State& state = *mState;
    const std::lock_guard<std::mutex> guard(state.writeLock);
    state.WriteQueued();
    OSStatus status = state.status == noErr ? state.Open() : state.status;
    if (status != noErr) {
        state.file.reset();
        return status;
    }
    QSaveFile& file = *state.file;
    // The file renamed into place, looked at on a descriptor of its own after the
    // rename (which sets its change time).
    int renamed = -1;
    const auto closeRenamed = qScopeGuard([&] {
        if (renamed >= 0)
            ::close(renamed);
    });
    if (modified || inPlace) {
        errno = 0;
        if (!file.flush()) {
            status = WriteFailureCode(errno);
            file.cancelWriting();
            state.file.reset();
            return status;
        }
        const timespec times[2] = {{0, UTIME_OMIT}, modified ? *modified : timespec {0, UTIME_OMIT}};
        if (modified)
            ::futimens(file.handle(), times);
        if (inPlace)
            renamed = ::fcntl(file.handle(), F_DUPFD_CLOEXEC, 0);
    }
    status = CommitSaveFile(file, state.written);
    state.file.reset();
    if (inPlace) {
        struct stat written {};
        // Without a look at it, the file vouches for nothing (no identity matches an empty one).
        *inPlace = status == noErr && renamed >= 0 && ::fstat(renamed, &written) == 0 ? FileIdentity::Of(written)
                                                                                      : FileIdentity {};
    }
    return status;
}

OSStatus ReplaceFileContents(const QString& path, const QByteArray& bytes, qint64 failAfter, const timespec* modified,
    FileIdentity* inPlace)
{
    FileReplacement replacement(path, failAfter);
    replacement.Append(bytes);
    return replacement.Commit(modified, inPlace);
}

void IndexDbPieces::WaitFor(qint64 bytes)
{
    while (!finished && done < std::min(bytes, size >= 0 ? size.load() : bytes))
        LThread::Sleep(1);
}

void IndexDbPieces::WaitUntilFinished()
{
    while (!finished)
        LThread::Sleep(1);
}

void IndexDbPieces::ReleaseBefore(qint64 offset)
{
    // Whole pages inside the buffer only, a piece's worth at a time.
    constexpr auto kLeastBytes = quintptr(kIndexDbPieceBytes);
    static const auto page = quintptr(::sysconf(_SC_PAGESIZE));
    const auto base = reinterpret_cast<quintptr>(bytes.constData());
    const quintptr start = std::max((base + page - 1) / page * page, mReleasedTo);
    const quintptr end = (base + quintptr(std::clamp<qint64>(offset, 0, done.load()))) / page * page;
    if (bytes.isEmpty() || end < start + kLeastBytes)
        return;
    // In steps: each holds the process's map of its memory, which every other
    // thread's allocation waits on, for as long as it takes.
    constexpr quintptr kStepBytes = quintptr(16) << 20;
    for (quintptr from = start; from < end; from += kStepBytes) {
        const quintptr to = std::min(end, from + kStepBytes);
        if (::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED) != 0)
            return;
        mReleasedTo = to;
    }
}

namespace {

// A buffer of many megabytes filled at once is faulted in a large page at a time
// where the system offers them: a page at a time, the faults can cost more than
// the reading into it.
void AskForLargePages(QByteArray& bytes)
{
    constexpr quintptr kLargePage = quintptr(2) << 20;
    const auto base = reinterpret_cast<quintptr>(bytes.data());
    const quintptr start = (base + kLargePage - 1) / kLargePage * kLargePage;
    const quintptr end = (base + quintptr(bytes.size())) / kLargePage * kLargePage;
    if (end > start)
        ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

} // namespace

void ReadIndexDbPieces(IndexDbPieces& read)
{
    // Only a regular file, and only the bytes it holds: a pipe or a link to a
    // device in its place is damage, not something to wait on or read forever.
    RegularFile file;
    OSStatus status = file.Open(read.path);
    if (status == noErr) {
        read.identity = file.Identity();
        // The file remembered is not the one in its place (another put there since).
        if (read.expected && !(file.Identity() == *read.expected))
            status = fnfErr;
    }
    if (status == noErr && file.Size() > kMaxIndexDbBytes)
        status = fsDataTooBigErr;
    if (status == noErr) {
        // Only what the file held when opened: one that grows meanwhile is read to that size.
        read.bytes = QByteArray(qsizetype(file.Size()), Qt::Uninitialized);
        if (read.largePages)
            AskForLargePages(read.bytes);
        read.size = file.Size();
        qint64 done = 0;
        while (status == noErr && done < file.Size()) {
            if (read.stop || WorkerPool::CancelRequested()) {
                status = userCanceledErr;
                break;
            }
            qint64 got = 0;
            status = file.ReadInto(done, std::min(kIndexDbPieceBytes, file.Size() - done), read.bytes.data() + done, got);
            if (got == 0)
                break; // cut short since it was opened: what is there
            done += got;
            read.done = done;
        }
        // Changed while it was read (written over in place): what was read may
        // be part one file, part another.
        struct stat now {};
        if (status == noErr && (::fstat(file.Descriptor(), &now) != 0 || !(FileIdentity::Of(now) == file.Identity())))
            status = ioErr;
    }
    read.status = status;
    read.finished = true;
}
