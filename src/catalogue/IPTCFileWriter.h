#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QString>

// Whether image files of this type carry IPTC data that the metadata library can
// write (JPEG, TIFF, Photoshop, PNG).
bool CanWriteIPTCIntoFileType(OSType fileType);

// Writes a caption (an IIM block in the caption form: Mac Roman texts, the
// urgency as a digit) into the IPTC data of an image file. Only the fields whose
// values differ from what the file holds are written, so datasets the caption
// keeps once (a second by-line) stay when their field is unchanged; the file's
// other datasets (record 1, record-2 datasets the caption does not know) stay
// too, each with the text it had. When every kept text is known exactly in the
// set the file declares, or when a changed text needs a set the file does not
// declare, the whole record is written in UTF-8 and 1:90 declares so, each kept
// text as the characters the reader shows for it; otherwise the kept datasets
// keep their bytes, the file its declaration, and the changed texts are written
// in the declared set. One record never holds two encodings. The file keeps its
// modification date. The new file is built whole before it replaces the old
// content, so a failure leaves the file as it was. Returns the failure's code:
// the file system's for a file that cannot be written, badFormat for a block
// that does not decode or a file the library cannot write,
// unresolvedComponentDLLErr when the library's module cannot be loaded.
OSStatus WriteCaptionIntoImageFile(const QString& path, const QByteArray& iimBlock);
