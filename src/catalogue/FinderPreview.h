#pragma once

#include "FileRef.h"
#include "MacTypes.h"
#include "Picture.h"

// A file's Finder preview, kept in its resource store: a 'pnot' preview list
// whose entry names a 'PICT' resource holding the picture.
inline constexpr ResType kPreviewListType = 'pnot';
inline constexpr SInt16 kPreviewListID = 0;
inline constexpr SInt16 kPreviewPictureID = 256;
// A 'pnot' entry: modification date (4), version (2), type (4), ID (2).
inline constexpr int kPreviewEntrySize = 12;
inline constexpr int kPreviewEntryTypeOffset = 6;
inline constexpr int kPreviewEntryIDOffset = 10;

// The IDs of the file's resources of one type, lowest first ("the first" resource
// is the lowest ID).
QList<SInt16> FileResourceIDs(const FileRef& file, ResType type);

// The preview picture: the 'PICT' the first preview list names; the first
// 'PICT' when the list names another type or a missing one. resNotFound when
// the file has no preview list or no 'PICT', the store's code when it cannot
// be read (wrgVolTypErr on a file system without extended attributes).
OSStatus ReadFilePreview(const FileRef& file, Picture& out);

// Stores `picture` as the file's preview ('PICT' 256 and the list naming it).
// The file's contents and dates are untouched.
OSStatus AddFilePreview(const FileRef& file, const Picture& picture);
