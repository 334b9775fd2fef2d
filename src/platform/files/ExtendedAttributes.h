#pragma once

#include "FileRef.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>

// Extended attributes hold what the old platform kept beside a file's data: Finder
// information, Finder comments, labels and resource-fork resources. Every routine
// returns a code: wrgVolTypErr when the file system keeps no extended attributes,
// resNotFound when the attribute is absent. Symbolic links are never followed.
inline constexpr char kFinderInfoAttribute[] = "user.orvex.finderinfo";
inline constexpr char kCommentAttribute[] = "user.xdg.comment";
inline constexpr char kLabelAttribute[] = "user.orvex.label";
inline constexpr char kCreationDateAttribute[] = "user.orvex.crdate";
inline constexpr char kResourceAttributePrefix[] = "user.orvex.rsrc.";

OSStatus GetExtendedAttribute(const FileRef& file, const char* name, QByteArray& out);
OSStatus SetExtendedAttribute(const FileRef& file, const char* name, const QByteArray& value);
OSStatus RemoveExtendedAttribute(const FileRef& file, const char* name); // absent: noErr
OSStatus ListExtendedAttributes(const FileRef& file, QList<QByteArray>& names);

// Finder information: FileInfo (or FolderInfo) followed by ExtendedFileInfo, 32
// bytes, big-endian, exactly as the platform laid them out.
struct FinderInfo {
    static constexpr int kSize = 32;
    static constexpr int kTypeOffset = 0; // files: fdType
    static constexpr int kCreatorOffset = 4; // files: fdCreator
    static constexpr int kFlagsOffset = 8; // files and folders: fdFlags / frFlags
    static constexpr int kExtendedFlagsOffset = 24; // ExtendedFileInfo.extendedFinderFlags

    std::array<UInt8, kSize> bytes {};

    OSType Type() const { return Read32(kTypeOffset); }
    OSType Creator() const { return Read32(kCreatorOffset); }
    UInt16 Flags() const { return Read16(kFlagsOffset); }
    void SetType(OSType type) { Write32(kTypeOffset, type); }
    void SetCreator(OSType creator) { Write32(kCreatorOffset, creator); }
    void SetFlags(UInt16 flags) { Write16(kFlagsOffset, flags); }

    QByteArray ToBytes() const;
    static bool FromBytes(const QByteArray& data, FinderInfo& out); // exactly 32 bytes

private:
    UInt32 Read32(int at) const;
    UInt16 Read16(int at) const;
    void Write32(int at, UInt32 value);
    void Write16(int at, UInt16 value);
};

// Finder flag bits the program uses.
enum : UInt16 {
    kFinderFlagHasBeenInited = 0x0100,
    kFinderFlagHasCustomIcon = 0x0400,
    kFinderFlagHasBundle = 0x2000,
    kFinderFlagIsAlias = 0x8000,
};

// resNotFound when the file carries no Finder information.
OSStatus ReadFinderInfo(const FileRef& file, FinderInfo& out);
OSStatus WriteFinderInfo(const FileRef& file, const FinderInfo& info);

// Comments are UTF-8 in user.xdg.comment; an absent comment reads as empty.
OSStatus ReadFinderComment(const FileRef& file, QString& out);
OSStatus WriteFinderComment(const FileRef& file, const QString& comment); // empty removes it

// Resource-fork resources: user.orvex.rsrc.TYPE.ID, TYPE as four characters
// (percent-encoded where not printable) and ID in decimal.
QByteArray ResourceAttributeName(ResType type, SInt16 id);
OSStatus ReadFileResource(const FileRef& file, ResType type, SInt16 id, QByteArray& out);
OSStatus WriteFileResource(const FileRef& file, ResType type, SInt16 id, const QByteArray& data);
OSStatus RemoveFileResource(const FileRef& file, ResType type, SInt16 id); // absent: noErr
// The bytes of all resources, the size the old platform called the resource fork's.
SInt64 ResourceForkSize(const FileRef& file);

// Creation dates, which Linux lets nobody set: user.orvex.crdate holds them as
// big-endian seconds since 1904 UTC; without it the file system's birth time is read.
OSStatus ReadCreationDate(const FileRef& file, UInt32& utcSeconds1904);
OSStatus WriteCreationDate(const FileRef& file, UInt32 utcSeconds1904);
