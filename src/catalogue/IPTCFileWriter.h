#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QString>

// Whether image files of this type carry IPTC data that the metadata library can
// write (JPEG, TIFF, Photoshop, PNG).
bool CanWriteIPTCIntoFileType(OSType fileType);

// Writes the record-2 datasets of an IIM block that a caption manages into the
// IPTC data of an image file, keeping every other dataset the file holds (record
// 1, record-2 datasets the caption does not know) byte for byte, and the file's
// modification date. The new file is built whole before it replaces the old
// content, so a failure leaves the file as it was. Returns the failure's code:
// the file system's for a file that cannot be written, badFormat for a block that
// does not decode or a file the library cannot write.
OSStatus WriteCaptionIntoImageFile(const QString& path, const QByteArray& iimBlock);
