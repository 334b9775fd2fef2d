#include "FolderChecks.h"

#include <QFile>
#include <QUrl>

#include <sys/stat.h>
#include <sys/vfs.h>

namespace {

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

timespec Minus(timespec time, const timespec& span)
{
    time.tv_sec -= span.tv_sec;
    time.tv_nsec -= span.tv_nsec;
    if (time.tv_nsec < 0) {
        time.tv_nsec += 1000000000;
        --time.tv_sec;
    }
    return time;
}

// Local volumes that keep this system's clock in nanoseconds. Network volumes
// carry the server's clock, FAT-like ones round to seconds, and user-space ones
// may do either.
bool KeepsTheClockExactly(const struct statfs& volume)
{
    switch (static_cast<unsigned long>(volume.f_type)) {
    case 0xEF53: // ext2, ext3, ext4
    case 0x58465342: // XFS
    case 0x9123683E: // Btrfs
    case 0x01021994: // tmpfs
    case 0xF2F52010: // F2FS
    case 0xCA451A4E: // bcachefs
    case 0x2FC12FC1: // ZFS
    case 0x794C7630: // overlay, written on its local upper volume
        return true;
    default:
        return false;
    }
}

} // namespace

void FolderChecks::BeginRound(const std::optional<FileIdentity>& recordsFile)
{
    clock_gettime(CLOCK_REALTIME, &mStart);
    // A save dates its file before renaming it into place, so its date lies before
    // the file's change time; a write leaves the two alike. A date ahead of the
    // clock vouches for nothing either.
    if (!mLastStart && recordsFile && Before(recordsFile->modified, recordsFile->changed)
        && Before(recordsFile->modified, mStart))
        mLastStart = recordsFile->modified;
    mLastFolder = {};
    mFolders.clear();
    mVolumeMargins.clear();
}

void FolderChecks::EndRound()
{
    mLastStart = mStart;
    mLastFolder = {};
    mFolders.clear();
}

bool FolderChecks::IsUnchanged(QByteArrayView fileURL)
{
    if (!mLastStart || !fileURL.startsWith("file:///"))
        return false;
    const qsizetype slash = fileURL.lastIndexOf('/');
    const std::string_view folder(fileURL.data(), size_t(slash + 1));
    if (!mLastFolder.empty() && folder == mLastFolder)
        return mLastAnswer;
    auto found = mFolders.find(folder);
    if (found == mFolders.end())
        found = mFolders.emplace(std::string(folder), FolderUnchanged(folder)).first;
    mLastFolder = found->first;
    mLastAnswer = found->second;
    return mLastAnswer;
}

const timespec& FolderChecks::MarginOf(const char* folderPath, dev_t volume)
{
    if (mMargin)
        return *mMargin;
    auto found = mVolumeMargins.find(volume);
    if (found != mVolumeMargins.end())
        return found->second;
    timespec margin {kClockMarginSeconds, 0};
    struct statfs status {};
    timespec tick {};
    if (::statfs(folderPath, &status) == 0 && KeepsTheClockExactly(status)
        && clock_getres(CLOCK_REALTIME_COARSE, &tick) == 0 && tick.tv_sec == 0 && tick.tv_nsec < 100000000)
        margin = timespec {0, 2 * tick.tv_nsec};
    return mVolumeMargins.emplace(volume, margin).first->second;
}

bool FolderChecks::FolderUnchanged(std::string_view folderURL)
{
    const QUrl url = QUrl::fromEncoded(QByteArray(folderURL.data(), qsizetype(folderURL.size())), QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile() || !url.host().isEmpty())
        return false;
    const QByteArray path = QFile::encodeName(url.toLocalFile());
    struct stat status {};
    if (::stat(path.constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    const timespec limit = Minus(*mLastStart, MarginOf(path.constData(), status.st_dev));
    // The change date moves also when an entry's name or the folder's own is changed.
    return Before(status.st_mtim, limit) && Before(status.st_ctim, limit);
}
