#pragma once

#include "ExtendedAttributes.h"
#include "FileRef.h"

#include <QString>

#include <functional>

// Catalogue information of files and folders: parents, Finder information, type and
// creator, flags, dates, comments, sizes and a depth-first folder walk.

OSStatus GetParentFSRef(const FileRef& item, FileRef* parent);
// As GetParentFSRef, but the root folder's parent is the empty (invalid) reference.
OSStatus GetParentFSRefBelowRoot(const FileRef& item, FileRef* parent);

// The item's Finder information; for a file without stored information the type and
// creator come from its name and content (FileTypes.h). `isFolder` may be null.
OSStatus GetFinderInfoOfFSRef(const FileRef& item, FinderInfo* info, bool* isFolder = nullptr);

// Sets the non-zero codes; notAFileErr for a folder. Then touches the parent folder.
OSStatus ChangeCreatorAndType(const FileRef& item, OSType creator, OSType type);
// Sets or clears Finder flag bits of a file or folder, then touches the parent folder.
OSStatus ChangeFinderFlagsOfFSRef(const FileRef& item, bool set, UInt16 flags);
inline OSStatus SetCustomIconFlag(const FileRef& item) { return ChangeFinderFlagsOfFSRef(item, true, kFinderFlagHasCustomIcon); }
inline OSStatus ClearCustomIconFlag(const FileRef& item) { return ChangeFinderFlagsOfFSRef(item, false, kFinderFlagHasCustomIcon); }

// Sets the modification date to now, one second later when it already is now, so
// that watchers see a change; the code of a failed write is returned.
OSStatus TouchContentModDate(const FileRef& item);

// The walk's filter: returning true keeps the walk out of that folder.
struct FolderWalkItem {
    bool containerChanged = false;
    UInt32 depth = 0; // 1 for the folder's direct items
    FileStat info;
    FileRef ref;
};
using FolderWalkFilter = std::function<bool(const FolderWalkItem&)>;

// Depth-first; maxLevels 0 walks every level. Unreadable or vanished folders end
// quietly; other errors end the walk and are returned. paramErr without a filter.
OSStatus IterateFolderTree(const FileRef& folder, UInt32 maxLevels, const FolderWalkFilter& filter);

// The older walk: the filter may set `stop`, which ends the whole walk.
using FolderSpecFilter = std::function<void(const FolderWalkItem&, bool& stop)>;
OSStatus IterateFolderOfFSSpec(const FileRef& folder, UInt16 maxLevels, const FolderSpecFilter& filter);

// The full path as shown to the user: the POSIX path, a folder's ending in "/". The
// path is built for a missing item too, which returns fnfErr.
OSStatus GetFullPathOfFSSpec(const FileRef& item, QString& path);

// A folder itself, or the folder that holds a file.
OSStatus GetFolderIDOfFSSpec(const FileRef& item, FileRef& folder, bool* isFolder = nullptr);
// Data size and the size of the resources kept beside the data.
OSStatus GetFileSizesOfFSSpec(const FileRef& item, SInt64* dataLength, SInt64* resourceLength);

// The Finder comment, cut to 200 characters.
inline constexpr int kMaxFinderCommentLength = 200;
OSStatus SetDTComment(const FileRef& item, const QString& comment);

// This system has everything the old checks asked for.
inline bool IsQuickTimePresent() { return true; }
inline SInt32 GetQuickTimeVersion() { return 0x07300000; }
