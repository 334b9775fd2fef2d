#pragma once

#include "FileRef.h"
#include "LCommander.h"

#include <QList>

// The folders of the new-index commands: Pictures, Music, Videos (the menu's
// Movies), the desktop pictures and the Desktop. An invalid reference when the
// command names no such folder or the folder does not exist.
FileRef UserFolderForCommand(CommandT command);

// Where this system keeps desktop pictures: the user's backgrounds folder, then the
// system's. Only the folders that exist.
QList<FileRef> DesktopPictureFolders();

// The sample index installed with the program ("Sample.idxp" in its data folder, or
// beside the program in a build folder); invalid when there is none.
FileRef SampleIndexPackage();
