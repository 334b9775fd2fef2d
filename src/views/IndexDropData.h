#pragma once

#include <QList>
#include <QString>
#include <QUrl>

class QMimeData;

// What a drop from outside carries for the index view, read from its MIME types:
// files and addresses as text/uri-list, addresses as text/x-moz-url (UTF-16
// lines, address then title), or a text that holds one address.
namespace IndexDropData {

inline const QString kUriListType = QStringLiteral("text/uri-list");
inline const QString kMozUrlType = QStringLiteral("text/x-moz-url");
// An Internet shortcut file is read only this far: its address is near the top.
inline constexpr qint64 kMaxShortcutBytes = 4096;

// The URLs of the drop in order; empty when it carries none.
QList<QUrl> DroppedURLs(const QMimeData& data);
// An address the program downloads from: FTP, HTTP or HTTPS with a host.
bool IsDownloadableURL(const QUrl& url);
// A desktop entry (".desktop") or a ".url" file, by its name.
bool IsInternetShortcutName(const QString& path);
// The address of an Internet shortcut file: a desktop entry of Type=Link, or the
// [InternetShortcut] group of a ".url" file; null when the file is none, cannot
// be read, or names no address IsDownloadableURL accepts.
QUrl ReadInternetShortcut(const QString& path);

} // namespace IndexDropData
