#pragma once

#include "FileRef.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// The desktop's side of what the old platform did by Apple events: which application
// opens a kind of file, opening files in it, showing items in the file manager and
// setting the desktop picture.

// The desktop file id (e.g. "org.gnome.Loupe.desktop") of the default application
// for a MIME type; empty when none is registered.
QString DefaultApplicationForMimeType(const QString& mimeType);

// An application that can open a kind of file.
struct ApplicationEntry {
    QString desktopId; // "org.gnome.Loupe.desktop"
    QString name;      // the name the desktop shows
    QString iconName;  // a theme icon name or a path; empty for none
};

// Our own desktop file id: left out of the applications offered to open our items with.
inline const QString kOwnDesktopId = QStringLiteral("org.orvex.Orvex.desktop");

// The default application for a MIME type (an empty id when there is none).
ApplicationEntry DefaultApplicationEntryForMimeType(const QString& mimeType);
// Every application registered for the MIME type that the desktop shows in its
// menus (entries marked NoDisplay are left out), in the desktop's order.
QList<ApplicationEntry> ApplicationsForMimeType(const QString& mimeType);

// Opens the files in the application given by desktop file id, or in each file's
// default application when the id is empty. fnfErr when no such application is
// installed, procNotFound when it could not be started.
OSStatus OpenFilesWithApplication(const QString& desktopId, const QList<FileRef>& files);

// Shows the item selected in the file manager (org.freedesktop.FileManager1 over
// D-Bus), else opens its folder; with `reveal` false opens the item itself.
OSStatus RevealOrOpenInFileManager(const FileRef& item, bool reveal);

// One program run that sets the desktop picture on a given desktop.
struct DesktopCommand {
    QString program;
    QStringList arguments;
};

// The commands that set `picture` as the desktop picture on the desktop named by
// XDG_CURRENT_DESKTOP (GNOME, Cinnamon, KDE, XFCE and their relatives); empty for a
// desktop we know no setting of.
QList<DesktopCommand> DesktopPictureCommands(const QString& currentDesktop, const FileRef& picture);

// unimpErr on an unknown desktop; the first failing command's exit as ioErr.
OSStatus SetDesktopPicture(const FileRef& picture);
// Whether this desktop's picture is one we know how to set.
bool CanSetDesktopPicture();

// Opens a URL with the desktop's handler for its scheme; false when none took it.
bool OpenURLWithDesktop(const QUrl& url);

// Tells the desktop that the user is active (a full-screen slide show keeps the
// screen saver and idle sleep away). Asynchronous; false when no session bus or
// screen saver service answers the call being made.
bool UpdateSystemActivity();
