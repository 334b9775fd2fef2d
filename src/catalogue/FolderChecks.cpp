#include "FolderChecks.h"

#include <QFile>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

} // namespace

void FolderChecks::BeginRound(const QString& recordsFile)
{
    clock_gettime(CLOCK_REALTIME, &mStart);
    struct stat status {};
    if (!mLastStart && !recordsFile.isEmpty() && ::stat(QFile::encodeName(recordsFile).constData(), &status) == 0
        && S_ISREG(status.st_mode) && Before(status.st_mtim, mStart))
        mLastStart = status.st_mtim; // a date ahead of the clock vouches for nothing
    mLastFolder = {};
    mFolders.clear();
}

void FolderChecks::EndRound()
{
    mLastStart = mStart;
    mLastFolder = {};
    mFolders.clear();
}

void FolderChecks::StampRoundStart(const QString& recordsFile) const
{
    if (!mLastStart)
        return;
    const timespec times[2] = { { 0, UTIME_OMIT }, *mLastStart };
    ::utimensat(AT_FDCWD, QFile::encodeName(recordsFile).constData(), times, 0);
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

bool FolderChecks::FolderUnchanged(std::string_view folderURL) const
{
    const QUrl url = QUrl::fromEncoded(QByteArray(folderURL.data(), qsizetype(folderURL.size())), QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile() || !url.host().isEmpty())
        return false;
    struct stat status {};
    if (::stat(QFile::encodeName(url.toLocalFile()).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    timespec limit = *mLastStart;
    limit.tv_sec -= mMargin;
    // The change date moves also when an entry's name or the folder's own is changed.
    return Before(status.st_mtim, limit) && Before(status.st_ctim, limit);
}
