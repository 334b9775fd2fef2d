#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <vector>

// Names and URLs of remote files: what a remote name becomes on the local disk,
// and the entries of FTP listings and HTTP index pages.
namespace Net {

inline constexpr int kMaxNameBytes = 255;

// The last component of the URL's path, percent-decoded (a trailing "/" is
// dropped first), cut to 255 bytes of UTF-8 at a character boundary.
QString LastPathComponent(const QUrl& url);

// A name that is safe as a local file name: control characters dropped, "/"
// turned into "-", and "", "." or ".." replaced by "download".
QString SafeLocalName(const QString& name);

// The name with a counter before its extension: "photo.jpg", 1 -> "photo 1.jpg";
// a name without an extension (or a dot file) takes it at the end. At most 255
// bytes, the base shortened to make room.
QString NumberedName(const QString& name, int counter);

// The URL as it may be stored or shown: any password is dropped (the user name stays).
QUrl WithoutPassword(const QUrl& url);

// The folder URL (its path ends in "/") with a name appended as one percent-
// encoded path component ("c#1.jpg" -> "c%231.jpg").
QUrl ChildURL(const QUrl& folder, const QString& name);

struct RemoteEntry {
    QString name;
    bool isFolder = false;
};

// An MLSD reply ("type=file;size=3; a b.jpg"): plain files and folders, without
// the folder itself, its parent and names that begin with ".".
std::vector<RemoteEntry> ParseMLSDListing(const QByteArray& listing);
// A UNIX-style LIST reply: the name is everything after the date column, so
// names with blanks stay whole. Lines that are not files or folders are skipped.
std::vector<RemoteEntry> ParseLISTListing(const QByteArray& listing);

// The links of an HTML index page that name files directly inside the page's
// folder on the same host (no subfolders, no other sites), each once, in order.
std::vector<QUrl> FileLinksOfIndexPage(const QByteArray& html, const QUrl& page);

} // namespace Net
