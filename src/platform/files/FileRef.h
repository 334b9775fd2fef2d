#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

// What lstat() tells about an item, in the form the catalogue routines need.
struct FileStat {
    UInt64 device = 0;
    UInt64 inode = 0;
    SInt64 size = 0;
    SInt64 modificationSeconds = 0; // since 1970, UTC
    SInt64 modificationNanoseconds = 0;
    UInt32 mode = 0; // st_mode: type and permission bits
    bool isFolder = false;
    bool isSymLink = false;
    bool isRegularFile = false;
};

// The file layer's name for a file or folder: an absolute, cleaned path. Unlike the
// old platform's references it may name an item that does not exist (yet);
// Exists() says whether it does. A name that is not UTF-8 is held as a path through
// a link in the runtime folder (NativePaths.h); NativePath() gives its real bytes,
// and everything asked of the system goes by those.
class FileRef {
public:
    FileRef() = default;
    explicit FileRef(const QString& path);

    // A local file URL gives its path; any other URL gives an invalid reference.
    // A URL whose percent-encoded path is not UTF-8 leads to the file of those bytes.
    static FileRef FromUrl(const QUrl& url);
    // The item of a path as the file system names it.
    static FileRef FromNativePath(const QByteArray& bytes);

    bool IsValid() const { return !mPath.isEmpty(); }
    const QString& Path() const { return mPath; }
    QByteArray NativePath() const;
    QUrl ToUrl() const;

    QString Name() const; // the last path component ("/" for the root)
    FileRef Parent() const; // invalid for the root
    FileRef Child(const QString& name) const;
    FileRef ChildNamed(const QByteArray& nativeName) const; // a name as a folder lists it
    bool IsRoot() const { return mPath == QLatin1String("/"); }

    bool Exists() const; // the item itself, a dangling symbolic link counts
    bool IsFolder() const; // a folder, not through a symbolic link
    bool IsSymLink() const;
    OSStatus Stat(FileStat& out) const; // lstat, never follows a link
    // The item with every link on its path followed (realpath); invalid when the
    // path does not lead to an item.
    FileRef Canonical() const;

    // True when this item is `folder` or lies inside it (by path, after resolving links
    // of both folders).
    bool IsInside(const FileRef& folder) const;

    bool operator==(const FileRef& other) const { return mPath == other.mPath; }
    bool operator!=(const FileRef& other) const { return mPath != other.mPath; }

private:
    QString mPath;
};

// The names in a folder ("." and ".." left out) as the file system holds them
// (FileRef::ChildNamed leads to each), sorted; the code of a folder that cannot
// be read, so that an unreadable folder is never taken for an empty one.
OSStatus ListFolder(const FileRef& folder, QList<QByteArray>& names);

// Sets the item's modification time (a link's own, never its target's).
OSStatus SetModificationTime(const FileRef& item, SInt64 seconds, SInt64 nanoseconds = 0);

// A name is usable as one path component: not empty, not "." or "..", no "/" and no NUL.
bool IsValidFileName(const QString& name);
