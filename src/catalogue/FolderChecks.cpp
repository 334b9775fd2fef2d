#include "FolderChecks.h"

#include <QFile>
#include <QUrl>

#include <sys/stat.h>

namespace {

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
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
