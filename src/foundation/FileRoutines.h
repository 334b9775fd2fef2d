#pragma once

#include "FileRef.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

// URL, reference and alias conversions and the small file operations every part of
// the program uses. None of them throws: each returns its code (or a neutral value).

QUrl CopyURLFromFSSpec(const FileRef& file); // empty for an invalid reference
// The target of an alias record, after following a chain of alias files (links).
QUrl CopyURLFromAlias(const QByteArray& alias);
// paramErr for an empty URL, kMsgNoFileReference when no file is behind it.
OSStatus GetFSSpecFromURL(const QUrl& url, FileRef& out);
// The folder's URL with the item's last path component; `outExists` from URLExists.
QUrl CopyURLInFolder(const QUrl& folder, const QUrl& item, bool* outExists = nullptr);

bool IsFileURL(const QUrl& url); // an empty URL counts as a file URL
bool HasURLScheme(const QUrl& url);
bool IsIndexPackageURL(const QUrl& url); // extension "idxp", any case
// The index's records inside its package.
inline constexpr const char* kIndexDataFileName = "index.db";
bool ResolvesToFolder(const QUrl& url); // after following links
bool URLExists(const QUrl& url); // any non-file URL exists; no network access
inline bool ReturnFalse() { return false; }

// The keyboard modifiers: Command is Control here, Option is Alt.
bool IsCommandKeyDown();
bool IsOptionKeyDown();
bool IsShiftKeyDown();

// Dates are seconds since 1904 in local time.
OSStatus SetFileModificationDate(const QUrl& url, UInt32 seconds);
OSStatus SetFileCreationDate(const QUrl& url, UInt32 seconds);
OSStatus SetBundleBit(const QUrl& folder);

// Makes "index.db alias" (a relative link to "index.db") beside it when missing; an
// existing one is left alone.
inline constexpr char kIndexDbAliasName[] = "index.db alias";
OSStatus CreateIndexDbAliasFile(const QUrl& indexDb);

// Renames with the name rules: ":" becomes ".", "/" and "\" become "_", a leading "."
// becomes "_"; an empty name is 'asrt', a name of more than 255 UTF-16 units or 255 bytes
// on disk bdNamErr, an existing name dupFNErr.
QString SanitizeFileName(const QString& name);
OSStatus RenameURL(const QUrl& url, const QString& newName, QUrl* outURL = nullptr);
// Creates a new, empty file in the folder under the sanitized name, or, when that
// is taken, with a counter before the extension ("photo 1.jpg", "photo 2.jpg");
// never replaces a file. Answers the open descriptor (the caller closes it).
OSStatus CreateFreeFile(const FileRef& folder, const QString& name, FileRef& outFile, int& outFd);

OSStatus GetFileTypeAndCreator(const QUrl& url, OSType* type, OSType* creator);

// Copies into the folder: mode 1 replaces an item of the same name, mode 2 fails
// when one exists, any other mode gives the copy a free "name copy N". A source that
// is not a local file gives kMsgNoFileReference (and copies nothing).
OSStatus CopyURLToFolder(const QUrl& source, const QUrl& destFolder, SInt16 mode, QUrl* outURL = nullptr);

// Moves the item to the freedesktop Trash of its volume.
OSStatus MoveURLToTrash(const QUrl& url);

OSStatus SetDesktopPictureURL(const QUrl& url);
