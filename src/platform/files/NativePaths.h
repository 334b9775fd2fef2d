#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// A path as the file system names it is bytes. Qt holds names as Unicode, so a
// name whose bytes are not valid UTF-8 (an older disk's Latin-1 "Caf\xE9.jpg") has
// no QString that leads back to it. Inside the program such a path is reached
// through a symbolic link in the runtime folder, named by the bytes read as
// Latin-1 ("Café.jpg") and pointing at the bytes themselves, so every read and
// write through Qt lands on the original under its own name. The link is only a
// way in: what the program stores (alias records, file URLs) and what it asks the
// system about (lstat, opendir) are the original bytes, which NativeBytesOfPath
// gives back for any path made here.
//
// A path has one form: the link stands for the path up to its last component that
// is not UTF-8, and the components after it follow the link as plain names, so a
// child, a parent and a path made again from its bytes compare equal.

// The path for `bytes`: decoded as the file system does (QFile::decodeName) when
// that leads back to the same bytes, else through the link standing in for it
// (made or renewed here); the decoded path when no link can be made.
QString PathFromNativeBytes(const QByteArray& bytes);

// The absolute form of a path's bytes with "." and ".." worked out and no empty
// component, as FileRef cleans its paths (by name, never through a link).
QByteArray CleanNativePath(const QByteArray& bytes);

// The file system's bytes of a path of the program: the link's target put back
// where a path goes through a link made by PathFromNativeBytes.
QByteArray NativeBytesOfPath(const QString& path);

// True when `path` goes through such a link.
bool IsLinkedPath(const QString& path);

// A path to show: each component that is UTF-8 as it is, any other read as Latin-1
// (as the link names it).
QString ReadableNativePath(const QByteArray& bytes);

// The bytes of a file URL as stored and handed to other programs: the original
// bytes of the path percent-encoded (a link's target, never the link). Any other
// URL is its encoded form.
QByteArray NativeFileUrlBytes(const QUrl& url);

// A file URL read from stored bytes or from another program: one whose
// percent-encoded path is not UTF-8 becomes the URL of its path made by
// PathFromNativeBytes; any other URL is returned as it is.
QUrl UrlFromNativeFileUrl(const QUrl& url);
