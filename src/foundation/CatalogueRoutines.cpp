#include "CatalogueRoutines.h"

#include "FileErrors.h"
#include "FileTypes.h"

#include <QDir>

#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

OSStatus ReadOrSynthesizeFinderInfo(const FileRef& item, const FileStat& st, FinderInfo& info)
{
    OSStatus err = ReadFinderInfo(item, info);
    if (err == noErr)
        return noErr;
    if (err != resNotFound && err != wrgVolTypErr)
        return err;
    info = FinderInfo();
    if (!st.isFolder) {
        OSType type = 0, creator = 0;
        if (GetFileTypeAndCreatorOf(item, type, creator) == noErr) {
            info.SetType(type == kUnknownFileType ? 0 : type);
            info.SetCreator(creator);
        }
    }
    return noErr;
}

// Walks one folder; returns false when the walk must stop.
OSStatus WalkFolder(const FileRef& folder, UInt32 depth, UInt32 maxLevels,
    const std::function<bool(const FolderWalkItem&, bool& stopAll)>& visit, bool& stopAll)
{
    QList<QByteArray> names;
    OSStatus listed = ListFolder(folder, names);
    if (listed == fnfErr || listed == permErr)
        return noErr; // vanished or unreadable: the folder ends without error
    if (listed != noErr)
        return listed;
    for (const QByteArray& name : names) {
        FolderWalkItem item;
        item.depth = depth;
        item.ref = folder.ChildNamed(name);
        OSStatus err = item.ref.Stat(item.info);
        if (err == fnfErr || err == permErr)
            continue;
        if (err != noErr)
            return err;
        bool keepOut = visit(item, stopAll);
        if (stopAll)
            return noErr;
        if (item.info.isFolder && !keepOut && (maxLevels == 0 || depth < maxLevels)) {
            if ((err = WalkFolder(item.ref, depth + 1, maxLevels, visit, stopAll)) != noErr)
                return err;
            if (stopAll)
                return noErr;
        }
    }
    return noErr;
}

} // namespace

OSStatus GetParentFSRef(const FileRef& item, FileRef* parent)
{
    if (!parent || !item.IsValid())
        return paramErr;
    if (!item.Exists())
        return fnfErr;
    *parent = item.IsRoot() ? item : item.Parent();
    return noErr;
}

OSStatus GetParentFSRefBelowRoot(const FileRef& item, FileRef* parent)
{
    OSStatus err = GetParentFSRef(item, parent);
    if (err == noErr && item.IsRoot())
        *parent = FileRef();
    return err;
}

OSStatus GetFinderInfoOfFSRef(const FileRef& item, FinderInfo* info, bool* isFolder)
{
    FileStat st;
    OSStatus err = item.Stat(st);
    if (err != noErr)
        return err;
    if (isFolder)
        *isFolder = st.isFolder;
    if (!info)
        return noErr;
    return ReadOrSynthesizeFinderInfo(item, st, *info);
}

OSStatus ChangeCreatorAndType(const FileRef& item, OSType creator, OSType type)
{
    FileStat st;
    OSStatus err = item.Stat(st);
    if (err != noErr)
        return err;
    if (st.isFolder)
        return notAFileErr;
    FinderInfo info;
    if ((err = ReadOrSynthesizeFinderInfo(item, st, info)) != noErr)
        return err;
    if (creator != 0)
        info.SetCreator(creator);
    if (type != 0)
        info.SetType(type);
    if ((err = WriteFinderInfo(item, info)) != noErr)
        return err;
    return TouchContentModDate(item.Parent());
}

OSStatus ChangeFinderFlagsOfFSRef(const FileRef& item, bool set, UInt16 flags)
{
    FileStat st;
    OSStatus err = item.Stat(st);
    if (err != noErr)
        return err;
    FinderInfo info;
    if ((err = ReadOrSynthesizeFinderInfo(item, st, info)) != noErr)
        return err;
    info.SetFlags(set ? UInt16(info.Flags() | flags) : UInt16(info.Flags() & ~flags));
    if ((err = WriteFinderInfo(item, info)) != noErr)
        return err;
    return item.IsRoot() ? noErr : TouchContentModDate(item.Parent());
}

OSStatus TouchContentModDate(const FileRef& item)
{
    FileStat st;
    OSStatus err = item.Stat(st);
    if (err != noErr)
        return err;
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    time_t seconds = now.tv_sec;
    if (seconds <= st.modificationSeconds)
        seconds = st.modificationSeconds + 1;
    return SetModificationTime(item, seconds);
}

OSStatus IterateFolderTree(const FileRef& folder, UInt32 maxLevels, const FolderWalkFilter& filter)
{
    if (!filter)
        return paramErr;
    if (!folder.IsFolder())
        return folder.Exists() ? OSStatus(errFSNotAFolder) : OSStatus(fnfErr);
    bool stopAll = false;
    return WalkFolder(folder, 1, maxLevels, [&](const FolderWalkItem& item, bool&) { return filter(item); }, stopAll);
}

OSStatus IterateFolderOfFSSpec(const FileRef& folder, UInt16 maxLevels, const FolderSpecFilter& filter)
{
    if (!filter)
        return paramErr;
    if (!folder.IsFolder())
        return dirNFErr;
    bool stopAll = false;
    return WalkFolder(folder, 1, maxLevels,
        [&](const FolderWalkItem& item, bool& stop) {
            filter(item, stop);
            return false;
        },
        stopAll);
}

OSStatus GetFullPathOfFSSpec(const FileRef& item, QString& path)
{
    if (!item.IsValid())
        return paramErr;
    FileStat st;
    OSStatus err = item.Stat(st);
    path = item.Path();
    if (err == noErr && st.isFolder && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return err;
}

OSStatus GetFolderIDOfFSSpec(const FileRef& item, FileRef& folder, bool* isFolder)
{
    FileStat st;
    OSStatus err = item.Stat(st);
    if (err != noErr)
        return err;
    folder = st.isFolder ? item : item.Parent();
    if (isFolder)
        *isFolder = st.isFolder;
    return noErr;
}

OSStatus GetFileSizesOfFSSpec(const FileRef& item, SInt64* dataLength, SInt64* resourceLength)
{
    FileStat st;
    OSStatus err = item.Stat(st);
    if (err != noErr)
        return err;
    if (dataLength)
        *dataLength = st.isFolder ? 0 : st.size;
    if (resourceLength)
        *resourceLength = ResourceForkSize(item);
    return noErr;
}

OSStatus SetDTComment(const FileRef& item, const QString& comment)
{
    if (!item.Exists())
        return fnfErr;
    return WriteFinderComment(item, comment.left(kMaxFinderCommentLength));
}
