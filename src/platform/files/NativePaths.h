#pragma once

#include <QByteArray>
#include <QString>

// A path as the system hands it over (a command-line argument): bytes in the file
// system's own encoding. Qt holds names as Unicode, so a name whose bytes are not
// valid UTF-8 (an older disk's Latin-1 "Caf\xE9.idxp") has no QString that leads
// back to it. Such a path is reached through a symbolic link in the runtime folder
// named by the bytes read as Latin-1 ("Café.idxp") and pointing at the bytes
// themselves, so every read and write lands in the original folder under its own
// name.

// The path for `bytes`: decoded as the file system does (QFile::decodeName) when
// that leads back to the same bytes, else the link standing in for it (made or
// renewed here); the decoded path when no link can be made.
QString PathFromNativeBytes(const QByteArray& bytes);
