#pragma once

#include "FileRef.h"

#include <QList>
#include <QString>

// Opening documents in other programs and in the file manager.

// Opens the files, in order, in the application with that desktop file id (each in
// its default application when the id is empty).
OSStatus SendOpenDocumentsEvent(const QString& applicationId, const QList<FileRef>& files);

// Shows the item selected in the file manager, or (reveal false) opens it there.
OSStatus RevealOrOpenInFinder(const FileRef& item, bool reveal);

// The folder that holds the item.
OSStatus GetParentFolderSpec(const FileRef& item, FileRef& out);
