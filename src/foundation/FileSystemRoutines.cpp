#include "FileSystemRoutines.h"

#include "AliasRecord.h"
#include "CatalogueRoutines.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "FileErrors.h"
#include "MacDates.h"
#include "Preferences.h"
#include "SafeSave.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeDatabase>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr OSType kBusyFileType = 'bzy ';
constexpr UInt32 kBusyFolderDateLocal = 0x4F3AFDB0; // seconds after 1904, local time
constexpr UInt32 kDefaultCopyBufferSize = 262144;
constexpr UInt32 kMinCopyBufferSize = 1024;
constexpr UInt32 kMaxCopyBufferSize = 2097152;
constexpr int kMaxCopyNameTries = 499999;
const QString kDeleteMeName = QStringLiteral(".DeleteMe");

// The busy date of a folder being written, converted to UTC once.
UInt32 BusyFolderDate()
{
    static const UInt32 utc = DateTimeToMacSecondsUTC(MacSecondsToDateTime(kBusyFolderDateLocal));
    return utc;
}

// A folder we may write into but not list: items go in, nothing is restored afterwards.
bool IsDropBox(const FileRef& folder)
{
    QByteArray path = folder.NativePath();
    return ::access(path.constData(), W_OK | X_OK) == 0 && ::access(path.constData(), R_OK) != 0;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : mFd(fd) { }
    ~FileDescriptor()
    {
        if (mFd >= 0)
            ::close(mFd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return mFd; }
    OSStatus Close()
    {
        int fd = mFd;
        mFd = -1;
        return ::close(fd) == 0 ? noErr : LastOSError();
    }

private:
    int mFd;
};

struct CopyContext {
    UInt16 maxLevels = 0;
    CopyFilterProc filter;
    std::vector<char> buffer;
    bool dropBox = false;
};

OSStatus SetTimes(const FileRef& item, const FileStat& source)
{
    return SetModificationTime(item, source.modificationSeconds, source.modificationNanoseconds);
}

// Copies the named forks (every extended attribute but the ones the engine writes itself).
OSStatus CopyAttributes(const FileRef& source, const FileRef& dest)
{
    QList<QByteArray> names;
    OSStatus err = ListExtendedAttributes(source, names);
    if (err == wrgVolTypErr)
        return noErr;
    if (err != noErr)
        return err;
    for (const QByteArray& name : names) {
        if (name == kFinderInfoAttribute || name == kCreationDateAttribute || !name.startsWith("user."))
            continue;
        QByteArray value;
        if ((err = GetExtendedAttribute(source, name.constData(), value)) != noErr)
            return err;
        if ((err = SetExtendedAttribute(dest, name.constData(), value)) != noErr)
            return err;
    }
    return noErr;
}

// The Finder information the copy ends with: the source's, with "has been placed"
// cleared so that file managers place it anew.
OSStatus RestoreFinderInfo(const FileRef& source, const FileRef& dest)
{
    FinderInfo info;
    OSStatus err = ReadFinderInfo(source, info);
    if (err == resNotFound || err == wrgVolTypErr)
    {
        OSStatus removed = RemoveExtendedAttribute(dest, kFinderInfoAttribute);
        return removed == wrgVolTypErr ? OSStatus(noErr) : removed;
    }
    if (err != noErr)
        return err;
    info.SetFlags(info.Flags() & ~kFinderFlagHasBeenInited);
    return WriteFinderInfo(dest, info);
}

OSStatus RestoreCreationDate(const FileRef& source, const FileRef& dest)
{
    UInt32 date = 0;
    if (ReadCreationDate(source, date) != noErr)
        return RemoveExtendedAttribute(dest, kCreationDateAttribute);
    OSStatus err = WriteCreationDate(dest, date);
    return err == wrgVolTypErr ? noErr : err;
}

OSStatus CallFilter(CopyContext& context, UInt16 depth, const FileStat& info, const FileRef& copy)
{
    if (!context.filter)
        return noErr;
    CopyFilterInfo filterInfo {false, depth, noErr, info, copy};
    return context.filter(filterInfo) ? OSStatus(kErrCopyCancelledByFilter) : OSStatus(noErr);
}

OSStatus CopyLink(const FileRef& source, const FileRef& dest)
{
    std::vector<char> target(4096);
    ssize_t length = ::readlink(source.NativePath().constData(), target.data(), target.size() - 1);
    if (length < 0)
        return LastOSError();
    target[size_t(length)] = '\0';
    if (::symlink(target.data(), dest.NativePath().constData()) != 0)
        return LastOSError();
    return noErr;
}

OSStatus CopyData(CopyContext& context, const FileRef& source, const FileRef& dest, const FileStat& info)
{
    FileDescriptor in(::open(source.NativePath().constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (in.Get() < 0)
        return LastOSError();
    // The owner may read and write the copy while it is made; the source's modes come back at the end.
    FileDescriptor out(::open(dest.NativePath().constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0700));
    if (out.Get() < 0)
        return LastOSError();
    if (!context.dropBox) {
        FinderInfo busy;
        ReadFinderInfo(source, busy);
        busy.SetType(kBusyFileType);
        OSStatus err = WriteFinderInfo(dest, busy);
        if (err != noErr && err != wrgVolTypErr)
            return err;
    }
    OSStatus err = CopyAttributes(source, dest);
    if (err != noErr)
        return err;
    if (info.size > 0 && ::posix_fallocate(out.Get(), 0, info.size) != 0 && errno == ENOSPC)
        return dskFulErr;
    SInt64 copied = 0;
    for (;;) {
        ssize_t got = ::read(in.Get(), context.buffer.data(), context.buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return LastOSError();
        }
        if (got == 0)
            break;
        for (ssize_t done = 0; done < got;) {
            ssize_t wrote = ::write(out.Get(), context.buffer.data() + done, size_t(got - done));
            if (wrote < 0) {
                if (errno == EINTR)
                    continue;
                return LastOSError();
            }
            done += wrote;
        }
        copied += got;
    }
    // The pre-allocation may have made the file longer than what was read.
    if (::ftruncate(out.Get(), copied) != 0)
        return LastOSError();
    // A copy is done only once its bytes are on the disk.
    if (::fsync(out.Get()) != 0)
        return LastOSError();
    return out.Close();
}

OSStatus CopyItem(CopyContext& context, const FileRef& source, const FileRef& dest, UInt16 depth);

OSStatus CopyFile(CopyContext& context, const FileRef& source, const FileRef& dest, const FileStat& info, UInt16 depth)
{
    OSStatus err = info.isSymLink ? CopyLink(source, dest) : CopyData(context, source, dest, info);
    if (err != noErr)
        return err;
    if (!info.isSymLink && !context.dropBox) {
        if ((err = RestoreFinderInfo(source, dest)) != noErr)
            return err;
        if ((err = RestoreCreationDate(source, dest)) != noErr)
            return err;
        if (::chmod(dest.NativePath().constData(), info.mode & 07777) != 0)
            return LastOSError();
    }
    if ((err = SetTimes(dest, info)) != noErr)
        return err;
    return CallFilter(context, depth, info, dest);
}

OSStatus CopyFolder(CopyContext& context, const FileRef& source, const FileRef& dest, const FileStat& info, UInt16 depth)
{
    if (::mkdir(dest.NativePath().constData(), 0700) != 0)
        return LastOSError();
    OSStatus err = noErr;
    if (!context.dropBox) {
        err = WriteCreationDate(dest, BusyFolderDate());
        if (err != noErr && err != wrgVolTypErr)
            return err;
        if ((err = RestoreFinderInfo(source, dest)) != noErr)
            return err;
    }
    if ((err = CopyAttributes(source, dest)) != noErr)
        return err;
    if ((err = CallFilter(context, depth, info, dest)) != noErr)
        return err;

    QList<QByteArray> names;
    if ((err = ListFolder(source, names)) != noErr)
        return err;
    for (const QByteArray& name : names) {
        FileRef child = source.ChildNamed(name);
        FileStat childInfo;
        if ((err = child.Stat(childInfo)) != noErr)
            return err;
        if (childInfo.isFolder && context.maxLevels != 0 && depth >= context.maxLevels)
            continue;
        if ((err = CopyItem(context, child, dest.ChildNamed(name), UInt16(depth + 1))) != noErr)
            return err;
    }
    if (!context.dropBox) {
        if ((err = RestoreCreationDate(source, dest)) != noErr)
            return err;
        if (::chmod(dest.NativePath().constData(), info.mode & 07777) != 0)
            return LastOSError();
    }
    return SetTimes(dest, info);
}

OSStatus CopyItem(CopyContext& context, const FileRef& source, const FileRef& dest, UInt16 depth)
{
    FileStat info;
    OSStatus err = source.Stat(info);
    if (err != noErr)
        return err;
    if (info.isFolder)
        return CopyFolder(context, source, dest, info, depth);
    if (info.isRegularFile || info.isSymLink)
        return CopyFile(context, source, dest, info, depth);
    return notAFileErr;
}

// rename() that refuses to replace an existing item.
OSStatus RenameNoReplace(const FileRef& from, const FileRef& to)
{
    if (::renameat2(AT_FDCWD, from.NativePath().constData(), AT_FDCWD, to.NativePath().constData(), RENAME_NOREPLACE) != 0)
        return LastOSError();
    return noErr;
}

// Renames an item that is to be replaced to ".DeleteMe" (".DeleteMe 2" ...) in its folder:
// it is deleted once its successor is whole, and gets its name back should that fail.
OSStatus SetAsideForReplace(const FileRef& item, FileRef& outParked)
{
    const FileRef folder = item.Parent();
    QString parking = kDeleteMeName;
    for (int n = 2; folder.Child(parking).Exists(); ++n)
        parking = kDeleteMeName + QLatin1Char(' ') + QString::number(n);
    outParked = folder.Child(parking);
    return RenameNoReplace(item, outParked);
}

QString CopyName(const QString& name, int n)
{
    QMimeDatabase db;
    QString ext = db.suffixForFileName(name);
    qsizetype dot = ext.isEmpty() ? name.lastIndexOf(QLatin1Char('.')) : name.size() - ext.size() - 1;
    if (dot <= 0 || dot == name.size() - 1 || name.mid(dot).contains(QLatin1Char(' ')))
        dot = name.size();
    return QStringLiteral("%1 copy %2%3").arg(name.left(dot)).arg(n).arg(name.mid(dot));
}

} // namespace

UInt32 CopyBufferSizeForGrade(std::optional<SInt32> grade)
{
    UInt32 size = kDefaultCopyBufferSize;
    if (grade && *grade < 0)
        size = UInt32((-SInt64(*grade)) / 2048 * 512);
    return std::clamp(size, kMinCopyBufferSize, kMaxCopyBufferSize);
}

OSStatus GetVolumeOfFSRef(const FileRef& item, UInt64& device)
{
    FileStat info;
    OSStatus err = item.Stat(info);
    if (err == noErr)
        device = info.device;
    return err;
}

OSStatus GetCopyBufferSize(const FileRef& source, const FileRef& dest, UInt32& size)
{
    size = 0;
    if (!source.IsValid() || !dest.IsValid())
        return paramErr;
    UInt64 sourceVolume = 0, destVolume = 0;
    OSStatus err = GetVolumeOfFSRef(source, sourceVolume);
    if (err == noErr)
        err = GetVolumeOfFSRef(dest, destVolume);
    if (err != noErr)
        return err;
    // Linux volumes report no grade, so each gets the default size.
    UInt32 sourceSize = CopyBufferSizeForGrade(std::nullopt);
    UInt32 destSize = CopyBufferSizeForGrade(std::nullopt);
    size = sourceVolume == destVolume ? sourceSize : std::min(sourceSize, destSize);
    return noErr;
}

OSStatus CheckDestinationOutsideSource(const FileRef& source, const FileRef& dest)
{
    if (!source.IsValid() || !dest.IsValid())
        return paramErr;
    return dest.IsInside(source) ? OSStatus(kErrDestinationInsideSource) : OSStatus(noErr);
}

OSStatus MakeUniqueCopyName(const FileRef& folder, QString& name)
{
    OSStatus err = noErr;
    for (int n = 1; n <= kMaxCopyNameTries; ++n) {
        QString candidate = CopyName(name, n);
        FileStat info;
        err = folder.Child(candidate).Stat(info);
        if (err == fnfErr) {
            name = candidate;
            return noErr;
        }
        if (err != noErr)
            return err;
    }
    return dupFNErr;
}

OSStatus DeleteObjectTree(const FileRef& item)
{
    if (!item.IsValid())
        return paramErr;
    std::error_code ec;
    std::filesystem::path path(item.NativePath().toStdString());
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec)))
        return fnfErr;
    std::filesystem::remove_all(path, ec);
    return ec ? OSErrorFromErrno(ec.value()) : noErr;
}

OSStatus CopyFileSystemObject(const FileRef& source, const FileRef& destFolder, UInt16 maxLevels, SInt16 mode,
    const CopyFilterProc& filter, FileRef* outNewRef)
{
    if (!source.IsValid() || !destFolder.IsValid())
        return paramErr;
    FileStat sourceInfo, destInfo;
    OSStatus err = source.Stat(sourceInfo);
    if (err != noErr)
        return err;
    if ((err = destFolder.Stat(destInfo)) != noErr)
        return err;
    if (!destInfo.isFolder)
        return errFSNotAFolder;
    if (sourceInfo.isFolder && (err = CheckDestinationOutsideSource(source, destFolder)) != noErr)
        return err;

    CopyContext context;
    context.maxLevels = maxLevels;
    context.filter = filter;
    context.dropBox = IsDropBox(destFolder);
    UInt32 bufferSize = 0;
    if ((err = GetCopyBufferSize(source, destFolder, bufferSize)) != noErr)
        return err;
    context.buffer.resize(bufferSize);

    QString name = source.Name();
    FileRef dest = destFolder.Child(name);
    FileRef replaced; // the item renamed out of the way by a replace
    if (dest.Exists()) {
        if (mode == kConflictReplace) {
            if (dest == source)
                return dupFNErr;
            if ((err = SetAsideForReplace(dest, replaced)) != noErr)
                return err;
        } else if (mode == kConflictKeepBoth) {
            if ((err = MakeUniqueCopyName(destFolder, name)) != noErr)
                return err;
            dest = destFolder.Child(name);
        } else {
            return dupFNErr;
        }
    }

    err = CopyItem(context, source, dest, 1);
    if (err != noErr) {
        // Nothing half-made stays behind, whatever the mode: a partial copy would
        // pass for the real thing.
        if (dest.Exists())
            DeleteObjectTree(dest);
        if (replaced.IsValid())
            RenameNoReplace(replaced, dest);
        return err;
    }
    if (replaced.IsValid())
        DeleteObjectTree(replaced);
    // The copy's name in its folder survives a crash too.
    SyncFolderOf(dest.Path());
    if (outNewRef)
        *outNewRef = dest;
    return noErr;
}

OSStatus MoveObjectWithConflictMode(const FileRef& item, const FileRef& destFolder, SInt16 mode, FileRef* outNew)
{
    if (!item.IsValid() || !destFolder.IsValid())
        return paramErr;
    const QString originalName = item.Name();
    if (originalName.isEmpty())
        return err_NilPointer;
    if (!destFolder.IsFolder())
        return destFolder.Exists() ? OSStatus(errFSNotAFolder) : OSStatus(fnfErr);
    // Already where it is to go: nothing moves, and nothing in the way is the item itself.
    if (QFileInfo(item.Parent().Path()).canonicalFilePath() == QFileInfo(destFolder.Path()).canonicalFilePath()) {
        if (!item.Exists())
            return fnfErr;
        if (outNew)
            *outNew = item;
        return noErr;
    }

    auto moveInto = [&](const FileRef& from) -> OSStatus {
        FileRef to = destFolder.Child(from.Name());
        OSStatus err = RenameNoReplace(from, to);
        if (err == diffVolErr) {
            // Another file system: copy, then remove the original only once the copy is whole.
            err = CopyFileSystemObject(from, destFolder, 0, kConflictNone, {}, &to);
            if (err == noErr)
                err = DeleteObjectTree(from);
        }
        if (err == noErr && outNew)
            *outNew = to;
        return err;
    };

    OSStatus err = moveInto(item);
    if (err != dupFNErr)
        return err;
    if (mode == kConflictKeepBoth) {
        const FileRef folder = item.Parent();
        for (int n = 1; n <= kMaxCopyNameTries; ++n) {
            FileRef renamed = folder.Child(CopyName(originalName, n));
            err = RenameNoReplace(item, renamed);
            if (err == dupFNErr)
                continue;
            if (err != noErr)
                return err;
            err = moveInto(renamed);
            if (err == noErr)
                return noErr;
            // The user's file keeps its own name when the move fails.
            RenameNoReplace(renamed, item);
            if (err != dupFNErr)
                return err;
        }
        return dupFNErr;
    }
    if (mode == kConflictReplace) {
        // The item in the way goes only once the moved one has taken its place.
        FileRef replaced;
        if ((err = SetAsideForReplace(destFolder.Child(originalName), replaced)) != noErr)
            return err;
        err = moveInto(item);
        if (err != noErr) {
            RenameNoReplace(replaced, destFolder.Child(originalName));
            return err;
        }
        DeleteObjectTree(replaced);
        SyncFolderOf(destFolder.Child(originalName).Path());
        return noErr;
    }
    return dupFNErr;
}

OSStatus MatchAliasNoUI(const FileRef* fromFile, QByteArray& alias, FileRef& target, bool& outChanged)
{
    return ResolveAliasBytes(fromFile, alias, target, outChanged);
}

OSStatus ResolveAliasHandle(QByteArray* alias, FileRef* out, bool noUI, const FileRef* fromFile, bool* outChanged)
{
    if (!alias || alias->isEmpty())
        return kMsgAliasUnresolved;
    FileRef target;
    bool changed = false;
    OSStatus err = MatchAliasNoUI(fromFile, *alias, target, changed);
    if (noUI && err == nsvErr)
        err = kMsgNoFileReference;
    if (outChanged)
        *outChanged = changed;
    if (err == noErr && out)
        *out = target;
    return err;
}

OSStatus CreateFinderAliasFile(const FileRef& target, const FileRef& aliasFile)
{
    if (!target.IsValid() || !aliasFile.IsValid())
        return paramErr;
    if (!target.Exists())
        return fnfErr;
    QString relative = QDir(aliasFile.Parent().Path()).relativeFilePath(target.Path());
    if (::symlink(QFile::encodeName(relative).constData(), aliasFile.NativePath().constData()) != 0)
        return LastOSError();
    return noErr;
}

OSStatus SetFileCustomIcon(const FileRef& file, const QImage* picture)
{
    if (!file.Exists())
        return fnfErr;
    OSStatus err;
    if (picture) {
        if (picture->isNull())
            return paramErr;
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!picture->save(&buffer, "PNG"))
            return paramErr;
        if ((err = WriteFileResource(file, 'icns', kCustomIconResourceID, png)) != noErr)
            return err;
        return SetCustomIconFlag(file);
    }
    if ((err = RemoveFileResource(file, 'icns', kCustomIconResourceID)) != noErr)
        return err;
    return ClearCustomIconFlag(file);
}

namespace {
const QString kDownloadFolderKey = QStringLiteral("DownloadFolderAlias");
} // namespace

FileRef ResolveDownloadFolderAlias()
{
    QByteArray alias;
    if (GetPrefHandle(kDownloadFolderKey, alias)) {
        FileRef folder;
        bool changed = false;
        if (ResolveAliasHandle(&alias, &folder, true, nullptr, &changed) == noErr && folder.IsFolder()) {
            if (changed)
                SetPrefHandle(kDownloadFolderKey, alias);
            return folder;
        }
    }
    return FileRef();
}

FileRef GetDownloadFolderRef()
{
    if (FileRef folder = ResolveDownloadFolderAlias(); folder.IsValid())
        return folder;
    QByteArray alias;
    FileRef pictures(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    if (!QDir().mkpath(pictures.Path()))
        ThrowOSErr_(permErr, pictures.Path().toStdString());
    ThrowIfOSErr_(NewAliasBytes(nullptr, pictures, alias));
    SetPrefHandle(kDownloadFolderKey, alias);
    return pictures;
}
