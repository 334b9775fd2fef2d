#pragma once

#include "FileRef.h"

#include <QByteArray>

#include <functional>
#include <optional>

class QImage;

// How the copy engine settles a name that already exists in the destination.
enum ConflictMode : SInt16 {
    kConflictReplace = 0, // the old item becomes ".DeleteMe" and goes once the copy succeeded
    kConflictKeepBoth = 1, // the copy gets the next free "name copy N"
    kConflictNone = 2, // the copy fails with dupFNErr (any other value too)
};

// What the copy engine tells its filter about each item once it is written.
struct CopyFilterInfo {
    bool containerChanged = false;
    UInt16 depth = 0; // 1 for the item copied, 2 for its children ...
    OSStatus itemError = noErr;
    FileStat info; // of the source item
    FileRef newRef; // the copy
};
// Returning true stops the copy with kErrCopyCancelledByFilter.
using CopyFilterProc = std::function<bool(const CopyFilterInfo&)>;

// Copies a file (data and extended attributes) or a folder tree into `destFolder`,
// keeping permissions, dates and Finder information. Items carry busy marks while they
// are written. A copy that fails leaves nothing half-made behind (and, for a replace,
// gives the replaced item its name back). Symbolic links are copied as links, never
// followed; devices, pipes and sockets give notAFileErr. maxLevels 0 copies every level.
OSStatus CopyFileSystemObject(const FileRef& source, const FileRef& destFolder, UInt16 maxLevels = 0,
    SInt16 mode = kConflictNone, const CopyFilterProc& filter = {}, FileRef* outNewRef = nullptr);

// Deletes a file, a link or a folder with everything in it (links are removed, not followed).
OSStatus DeleteObjectTree(const FileRef& item);

// Replaces `name` by the first name "base copy N.ext" that `folder` does not hold.
OSStatus MakeUniqueCopyName(const FileRef& folder, QString& name);

// kErrDestinationInsideSource when `dest` is `source` or lies inside it.
OSStatus CheckDestinationOutsideSource(const FileRef& source, const FileRef& dest);

// The copy buffer: (-grade / 2048) x 512 for a volume that reports a negative grade,
// else 256 KiB, clamped to 1 KiB .. 2 MiB; the smaller of the two volumes' sizes.
UInt32 CopyBufferSizeForGrade(std::optional<SInt32> grade);
OSStatus GetCopyBufferSize(const FileRef& source, const FileRef& dest, UInt32& size);
OSStatus GetVolumeOfFSRef(const FileRef& item, UInt64& device);

// Moves `item` into `destFolder`, settling a name clash by the same ConflictMode as the
// copy: kConflictReplace sets the item in the way aside as ".DeleteMe" and deletes it only
// once the move succeeded (else it gets its name back), kConflictKeepBoth renames the
// moved item "name copy N.ext" first (and back again should the move still fail), any
// other mode returns dupFNErr and touches nothing. An item already in the folder stays
// as it is. Across file systems the item is copied and the original deleted. Never throws.
OSStatus MoveObjectWithConflictMode(const FileRef& item, const FileRef& destFolder, SInt16 mode, FileRef* outNew = nullptr);

// Resolves an alias record (its bytes are rewritten when the target has moved);
// kMsgAliasUnresolved for a missing record; with `noUI` a missing volume gives
// kMsgNoFileReference.
OSStatus ResolveAliasHandle(QByteArray* alias, FileRef* out, bool noUI, const FileRef* fromFile = nullptr,
    bool* outChanged = nullptr);
OSStatus MatchAliasNoUI(const FileRef* fromFile, QByteArray& alias, FileRef& target, bool& outChanged);

// An alias file is a relative symbolic link to its target.
OSStatus CreateFinderAliasFile(const FileRef& target, const FileRef& aliasFile);

// Stores `picture` as the file's custom icon (resource 'icns' -16455, PNG data) and sets
// the has-custom-icon flag; a null picture removes both.
inline constexpr SInt16 kCustomIconResourceID = -16455;
OSStatus SetFileCustomIcon(const FileRef& file, const QImage* picture);

// The download folder: the alias in "DownloadFolderAlias", else the Pictures folder
// (made when missing), whose alias is then stored.
FileRef GetDownloadFolderRef();
// The folder the stored alias leads to (the alias renewed when the folder moved);
// invalid when none is stored or it leads to no folder. Makes nothing.
FileRef ResolveDownloadFolderAlias();
