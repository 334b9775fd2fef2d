#pragma once

#include "FileRef.h"

// File type and creator codes. A file carries them only when something stored them
// in its Finder information; otherwise they come from its name's extension and,
// failing that, from its content.
inline constexpr OSType kUnknownFileType = 0x3F3F3F3F; // '????'

// The type for a file name's extension ('????' when the table has none). The four
// suffixes ".dfont", ".ps", ".qt" and ".dv" are matched first, case-sensitively.
OSType FileTypeForName(const QString& name);

// The type for a MIME type name ("image/jpeg" -> 'JPEG'); '????' when unknown.
OSType FileTypeForMimeType(const QString& mimeType);

// The type by content sniffing; '????' when the content is not recognised.
OSType FileTypeByContent(const FileRef& file);

// The MIME type name for a type code, for asking the desktop which application opens it.
QString MimeTypeForFileType(OSType type);

// Type and creator as stored in the Finder information; when the file has none, the
// type by name, then by content, and the creator 0. A folder gives 'fold' and 0.
OSStatus GetFileTypeAndCreatorOf(const FileRef& file, OSType& type, OSType& creator);
