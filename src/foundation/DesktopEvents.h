#pragma once

#include "FileRef.h"

#include <QList>
#include <QString>

// Opening documents in other programs and in the file manager.

// Opens the files, in order, in the application with that desktop file id (each in
// its default application when the id is empty).
OSStatus SendOpenDocumentsEvent(const QString& applicationId, const QList<FileRef>& files);

// The program's own creator code: files of this creator open in Orvex itself.
inline constexpr OSType kOrvexCreator = 'JWZ7';
// The desktop file id that stands for Orvex itself.
inline constexpr char kOrvexApplicationID[] = "org.orvex.Orvex.desktop";

// The application that opens files of this type and creator: Orvex itself for its own
// creator, else the desktop's default application for the type's MIME type; empty
// when none is registered.
QString GetApplicationForCreator(OSType creator, OSType type);

// Opens the files in the application for the creator and type; Orvex's own files are
// handed to a new launch of the program, which passes them to the running one.
OSStatus OpenFilesWithCreator(OSType creator, OSType type, const QList<FileRef>& files);

// Shows the item selected in the file manager, or (reveal false) opens it there;
// kMsgNoFileManager when the desktop has nothing that shows folders.
OSStatus RevealOrOpenInFinder(const FileRef& item, bool reveal);

// The folder that holds the item.
OSStatus GetParentFolderSpec(const FileRef& item, FileRef& out);
