#pragma once

#include "FileRef.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The program's alias record: enough to find a file again after it was moved or its
// folder renamed. Stored in index.db, the recent items and the alias preferences, so
// the byte layout below is fixed; every field is big-endian.
//
//   offset size  field
//        0    4  magic 'OXal'
//        4    2  version, 1
//        6    2  flags: bit 0 the target is a folder
//        8    4  length of the whole record in bytes
//       12    8  device number of the target's file system
//       20    8  inode number of the target
//       28    8  size of the target in bytes (0 for a folder)
//       36    8  modification time, signed seconds since 1970-01-01 UTC
//       44    2  n1, then n1 bytes: the absolute path as the file system names it
//                (UTF-8 for a name that is UTF-8, else the name's own bytes)
//             2  n2, then n2 bytes: the path relative to the folder of the file the
//                alias was made from, as the file system names it; empty when made
//                without one
//             2  n3, then n3 bytes: the volume label, UTF-8; may be empty
struct AliasRecord {
    static constexpr UInt32 kMagic = 'OXal';
    static constexpr UInt16 kVersion = 1;
    static constexpr int kHeaderSize = 44;
    static constexpr UInt16 kFlagFolder = 0x0001;

    UInt16 flags = 0;
    UInt64 device = 0;
    UInt64 inode = 0;
    SInt64 size = 0;
    SInt64 modificationSeconds = 0;
    QByteArray absolutePath; // the file system's bytes (FileRef::NativePath)
    QByteArray relativePath;
    QString volumeLabel;

    // The absolute path as the program reaches it (FileRef::FromNativePath), and
    // as it is shown.
    QString Path() const;
    QString ReadablePath() const;

    bool IsFolder() const { return flags & kFlagFolder; }
    bool operator==(const AliasRecord&) const = default;

    // paramErr when a path does not fit its 16-bit length.
    OSStatus ToBytes(QByteArray& out) const;
    // badFormat for a wrong magic, an unknown version, a length that disagrees with
    // the data or a string that runs past the end; `out` is then unchanged.
    static OSStatus FromBytes(const QByteArray& data, AliasRecord& out);
    // The absolute path in a record's bytes, without reading the rest; empty when
    // the bytes are no record.
    static QByteArrayView AbsolutePathIn(QByteArrayView data);
};

// Makes an alias of an existing target; with `fromFile` the path relative to that
// file's folder is stored too (FSNewAlias).
OSStatus NewAlias(const FileRef* fromFile, const FileRef& target, AliasRecord& out);

// Finds the target again: by its absolute path, then by the relative path from
// `fromFile`'s folder, then by a bounded search for its inode on its device near
// where it was. `wasChanged` tells whether the record no longer describes the
// target (the caller then updates it). fnfErr when not found, nsvErr when no
// mounted file system has the record's device.
OSStatus ResolveAlias(const FileRef* fromFile, const AliasRecord& alias, FileRef& target, bool& wasChanged);

// Rewrites the record for `target` (UpdateAlias); `wasChanged` tells whether it differs.
OSStatus UpdateAlias(const FileRef* fromFile, const FileRef& target, AliasRecord& alias, bool& wasChanged);

// Serialised forms, as the stored formats keep them.
OSStatus NewAliasBytes(const FileRef* fromFile, const FileRef& target, QByteArray& out);
OSStatus ResolveAliasBytes(const FileRef* fromFile, QByteArray& aliasBytes, FileRef& target, bool& wasChanged);
