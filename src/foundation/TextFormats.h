#pragma once

#include "MacTypes.h"
#include "PString.h"

#include <QByteArray>
#include <QString>

class LString;
struct AliasRecord;

// Byte counts as text: "1023 bytes", "1.0 KB", "4.7 GB" (powers of 1024, one
// decimal, the quotient in single precision).
QString FormatByteSize(UInt64 bytes);

// The date forms of the system's date strings.
enum DateForm : SInt16 {
    shortDate = 0, // 12/31/04
    longDate = 1, // Friday, December 31, 2004
    abbrevDate = 2, // Fri, Dec 31, 2004
};

// A date (seconds since 1904, local time) in the system's form, followed by ", "
// and the time with seconds when `withTime` is set. Empty for 0 seconds.
QString FormatDateTimeText(UInt32 seconds, DateForm form, bool withTime);

// The same into a Str255; 0 seconds leaves `out` as it was.
Str255& FormatDateTime(UInt32 seconds, DateForm form, bool withTime, Str255& out);

// Parses a date typed by the user or read from a caption in the order of the
// system's short date form (a six-character text abcdef is read as ab-cd-ef).
// Returns seconds since 1904 at 00:00:00 local time, or 0 when the text is no date.
UInt32 ParseDateText(const QString& text);
UInt32 ParseDateText(ConstStr255Param text);

// A movie time in 1/600 seconds as "hh:mm:ss:t" (tenths).
QString FormatMovieTimeText(SInt32 time);
void FormatMovieTime(SInt32 time, Str255& out);

// The folder that holds an alias's target as the user sees it: its POSIX path
// ending in "/" ("/home/ann/Photos/"). Empty for a null alias, a record that does
// not parse or one without a path.
QString AliasPathText(const AliasRecord* alias);
LString& GetAliasPathText(LString& out, const AliasRecord* alias);
LString& GetAliasPathText(LString& out, const QByteArray* aliasHandle);

// Text encodings of CopyCStringFromCFString.
enum : UInt32 {
    kCFStringEncodingMacRoman = 0,
    kCFStringEncodingISOLatin1 = 0x0201,
    kCFStringEncodingASCII = 0x0600,
    kCFStringEncodingUTF8 = 0x08000100,
};

// A zero-terminated copy of `text` in `encoding`, from malloc (the caller frees
// it), or null when a character has no form in the encoding, the encoding is
// unknown or memory runs out.
char* CopyCStringFromCFString(const QString& text, UInt32 encoding);
