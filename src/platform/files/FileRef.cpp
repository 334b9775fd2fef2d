#include "FileRef.h"

#include "FileErrors.h"
#include "NativePaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

FileRef::FileRef(const QString& path)
{
    if (path.isEmpty())
        return;
    mPath = QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
}

FileRef FileRef::FromUrl(const QUrl& url)
{
    if (!url.isValid() || !url.isLocalFile())
        return {};
    return FileRef(UrlFromNativeFileUrl(url).toLocalFile());
}

FileRef FileRef::FromNativePath(const QByteArray& bytes)
{
    return bytes.isEmpty() ? FileRef() : FileRef(PathFromNativeBytes(bytes));
}

QByteArray FileRef::NativePath() const
{
    return NativeBytesOfPath(mPath);
}

QUrl FileRef::ToUrl() const
{
    return IsValid() ? QUrl::fromLocalFile(mPath) : QUrl();
}

QString FileRef::Name() const
{
    if (IsRoot())
        return mPath;
    return mPath.mid(mPath.lastIndexOf(QLatin1Char('/')) + 1);
}

FileRef FileRef::Parent() const
{
    if (!IsValid() || IsRoot())
        return {};
    // The folder holding a link is not the item's folder: go by the real bytes.
    if (IsLinkedPath(mPath)) {
        const QByteArray native = NativePath();
        const qsizetype slash = native.lastIndexOf('/');
        return FromNativePath(slash <= 0 ? QByteArray("/") : native.left(slash));
    }
    qsizetype slash = mPath.lastIndexOf(QLatin1Char('/'));
    return FileRef(slash <= 0 ? QStringLiteral("/") : mPath.left(slash));
}

FileRef FileRef::Child(const QString& name) const
{
    if (!IsValid())
        return {};
    return FileRef(IsRoot() ? mPath + name : mPath + QLatin1Char('/') + name);
}

FileRef FileRef::ChildNamed(const QByteArray& nativeName) const
{
    if (!IsValid())
        return {};
    const QString name = QFile::decodeName(nativeName);
    if (QFile::encodeName(name) == nativeName)
        return Child(name);
    const QByteArray folder = NativePath();
    return FromNativePath(folder.endsWith('/') ? folder + nativeName : folder + '/' + nativeName);
}

bool FileRef::Exists() const
{
    FileStat st;
    return Stat(st) == noErr;
}

bool FileRef::IsFolder() const
{
    FileStat st;
    return Stat(st) == noErr && st.isFolder;
}

bool FileRef::IsSymLink() const
{
    FileStat st;
    return Stat(st) == noErr && st.isSymLink;
}

OSStatus FileRef::Stat(FileStat& out) const
{
    if (!IsValid())
        return paramErr;
    struct stat st {};
    if (::lstat(NativePath().constData(), &st) != 0)
        return LastOSError();
    out.device = st.st_dev;
    out.inode = st.st_ino;
    out.size = st.st_size;
    out.modificationSeconds = st.st_mtim.tv_sec;
    out.modificationNanoseconds = st.st_mtim.tv_nsec;
    out.mode = st.st_mode;
    out.isFolder = S_ISDIR(st.st_mode);
    out.isSymLink = S_ISLNK(st.st_mode);
    out.isRegularFile = S_ISREG(st.st_mode);
    return noErr;
}

FileRef FileRef::Canonical() const
{
    if (!IsValid())
        return {};
    char* resolved = ::realpath(NativePath().constData(), nullptr);
    if (!resolved)
        return {};
    const QByteArray bytes(resolved);
    std::free(resolved);
    return FromNativePath(bytes);
}

bool FileRef::IsInside(const FileRef& folder) const
{
    if (!IsValid() || !folder.IsValid())
        return false;
    // By the real bytes: a path through a runtime link and the link's target are one item.
    auto canonical = [](const FileRef& ref) {
        const FileRef c = ref.Canonical();
        return c.IsValid() ? c.NativePath() : ref.NativePath();
    };
    const QByteArray self = canonical(*this);
    QByteArray base = canonical(folder);
    if (self == base)
        return true;
    if (!base.endsWith('/'))
        base += '/';
    return self.startsWith(base);
}

OSStatus ListFolder(const FileRef& folder, QList<QByteArray>& names)
{
    names.clear();
    if (!folder.IsValid())
        return paramErr;
    DIR* dir = ::opendir(folder.NativePath().constData());
    if (!dir)
        return LastOSError();
    errno = 0;
    while (dirent* entry = ::readdir(dir)) {
        if (::strcmp(entry->d_name, ".") != 0 && ::strcmp(entry->d_name, "..") != 0)
            names << QByteArray(entry->d_name);
        errno = 0;
    }
    OSStatus err = errno != 0 ? LastOSError() : OSStatus(noErr);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return err;
}

OSStatus SetModificationTime(const FileRef& item, SInt64 seconds, SInt64 nanoseconds)
{
    if (!item.IsValid())
        return paramErr;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(seconds);
    times[1].tv_nsec = long(nanoseconds);
    if (::utimensat(AT_FDCWD, item.NativePath().constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return LastOSError();
    return noErr;
}

bool IsValidFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}
