#pragma once

#include "MacTypes.h"
#include "Picture.h"

#include <QString>
#include <QUrl>
#include <functional>

// The thumbnail files of an index package: "thumbs/<number>.pct", 512 zero
// bytes and then the picture. The header is never read back.
inline constexpr int kThumbHeaderSize = 512;
inline constexpr char kThumbFileExtension[] = ".pct";

// The largest side of a thumbnail the program makes or keeps: "DefaultThumbnailSize"
// is held to it, a larger picture is fitted into it before its file is written,
// and a thumbnail file holding a larger picture is damaged.
inline constexpr int kLargestThumbnailSide = 2048;
// No such picture takes more than this on disk (32-bit pixels, uncompressed, with
// room to spare for packing that does not pay), so a larger file is damaged and
// is refused before it is read into memory.
inline constexpr qint64 kLargestThumbnailFileBytes
    = kThumbHeaderSize + qint64(kLargestThumbnailSide) * kLargestThumbnailSide * 4 * 2;

// "7.pct" for 7: the number in decimal without leading zeros, then ".pct".
QString ThumbnailFileName(SInt32 number);

// The file of a positive number inside the thumbs folder; an empty URL for a
// number of 0 or less or a folder that is not a local file URL.
QUrl ThumbnailFileURL(const QUrl& thumbsFolder, SInt32 number);

// The number a thumbnail file is written under: a new one from the package
// (`nextThumbID`) when the item has none or comes from another package, else
// its own, made positive again.
SInt32 ThumbnailNumberForWrite(SInt32 number, bool fromOtherPackage, const std::function<SInt32()>& nextThumbID);

// A new picture on an item whose file is written turns its number negative
// until the file is written again; 0 and negative numbers stay as they are.
SInt32 ThumbnailNumberAfterNewPicture(SInt32 number);

// The picture as a thumbnail may hold it: unchanged when its frame fits the
// square of kLargestThumbnailSide, else drawn again at its frame fitted into
// that square (a pasted or previewed picture can be any size). Throws the
// drawing's code when a picture that must be redrawn cannot be.
Picture FitThumbnailPicture(const Picture& picture);

// Writes the thumbnail file through a temporary file renamed into place, so a
// failed write leaves any earlier file as it was. A picture larger than any
// thumbnail is fitted first. Throws 'nilP' for a null picture or an empty URL,
// the write's code when the file cannot be written.
void WriteThumbnailFile(const QUrl& file, const Picture& picture);

// The picture of a thumbnail file (everything after the first 512 bytes).
// Throws 'asrt' when the file cannot be read and codecBadDataErr when what
// follows the header is no intact picture, or holds a frame or pixel image
// larger than any thumbnail (refused before anything is decoded), or when the
// file is larger than any thumbnail's (refused before it is read).
Picture ReadThumbnailFile(const QUrl& file);
