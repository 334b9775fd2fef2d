#pragma once

#include "FileRef.h"

#include <QVariant>
#include <vector>

// The recent items, newest first: index packages, files and folders the user opened.
// No file is listed twice. Kept between runs as alias records, so a file that moved
// is still found.
class CRecentItemList {
public:
    const std::vector<FileRef>& Items() const { return mItems; }
    SInt32 Count() const { return SInt32(mItems.size()); }
    bool IsEmpty() const { return mItems.empty(); }
    // Index 0 is the newest; an invalid reference past the end.
    FileRef At(SInt32 index) const;
    // The index of the entry that is the same file, or -1.
    SInt32 IndexOf(const FileRef& file) const;

    // Puts the file at the top (moving it there when listed already). When the list
    // is then longer than `maxCount` (compared unsigned) the oldest entry goes: one
    // at most per call, so a lowered maximum shortens the list step by step.
    void Add(const FileRef& file, SInt32 maxCount);
    void RemoveAt(SInt32 index);
    void Clear() { mItems.clear(); }

    // From the stored form (an array of alias records): each record is resolved, one
    // that is not data or finds no file is left out.
    void Load(const QVariant& stored);
    // The stored form, newest first; an entry whose alias cannot be made is left out.
    QVariantList Save() const;

    // Whether two references name the same file (the same inode on the same device
    // when both exist, else the same path).
    static bool SameFile(const FileRef& a, const FileRef& b);

private:
    std::vector<FileRef> mItems;
};
