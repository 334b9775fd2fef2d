#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

// Property lists as QVariant values. The value types and what they map to:
//   bool                         <true/> / <false/>
//   qint16, qint32, qint64 (and the unsigned and char types)  <integer>
//   float, double                <real>
//   QString                      <string>
//   QByteArray                   <data> (base64)
//   QDateTime                    <date> (ISO 8601, UTC, whole seconds)
//   QVariantList, QStringList    <array>
//   QVariantMap, QVariantHash    <dict> (keys written sorted)
// Reading gives integers back as qint64 and reals as double; the other types come
// back as the types listed first.
namespace PropertyList {

// Codes of this module; a failure of the file routines may also give an OS error.
inline constexpr OSStatus kErrMalformed = badFormat;      // not a well-formed XML property list
inline constexpr OSStatus kErrUnsupportedValue = paramErr; // a value the format cannot hold

// How deep arrays and dictionaries may nest when reading; deeper input is refused
// rather than risking the stack.
inline constexpr int kMaxNestingDepth = 512;

// The largest property-list file read: a larger one is refused as malformed
// before any of it is read (no settings or preferences file comes near it).
inline constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

// What becomes of the characters XML 1.0 forbids in keys and strings (control
// characters but tab, line feed and return; U+FFFE, U+FFFF).
enum class EForbiddenCharacters {
    // Written as they are, as the platform's writer does; Read takes them back.
    AsTheyAre,
    // A file for other programs, well-formed: a vertical tab or form feed becomes
    // a line feed, the others are left out.
    LeftOut,
};

// Writes `value` as an XML property list in the platform writer's exact layout.
// Returns kErrUnsupportedValue (and leaves `out` empty) when any value inside has
// no property-list form.
OSStatus Write(const QVariant& value, QByteArray& out,
    EForbiddenCharacters forbidden = EForbiddenCharacters::AsTheyAre);

// Convenience form of Write: the bytes, or an empty array on failure.
QByteArray ToXML(const QVariant& value, EForbiddenCharacters forbidden = EForbiddenCharacters::AsTheyAre);

// Parses an XML property list. On failure `out` is left invalid, the result is
// kErrMalformed and `errorText` (when given) says what and where.
OSStatus Read(const QByteArray& xml, QVariant& out, QString* errorText = nullptr);

// Reads a whole file: fnfErr when it does not exist, notAFileErr for a pipe, device
// or folder (never waited on), an OS error when it cannot be read, kErrMalformed
// when it does not parse or is larger than kMaxFileBytes.
OSStatus ReadFile(const QString& path, QVariant& out, QString* errorText = nullptr);

// Writes `value` to `path` through a temporary file renamed into place, so the
// old file stays whole when anything fails.
OSStatus WriteFile(const QString& path, const QVariant& value);

// True when `value` (and everything inside it) has a property-list form.
bool IsValid(const QVariant& value);

// Numbers as they come back from a read (qint64, double) or as they were set
// (qint16, qint32, float ...). Each conversion succeeds only when it is exact, as
// the platform's number conversions report a lossy one: 2.0 reads as the integer
// 2, 1.5 does not; 1 << 40 is no 32-bit number.
bool IsIntegerValue(const QVariant& value);
bool IsRealValue(const QVariant& value);
bool ToInt64(const QVariant& value, qint64& out);
bool ToInt32(const QVariant& value, SInt32& out);
bool ToInt16(const QVariant& value, SInt16& out);
bool ToFloat(const QVariant& value, float& out);

} // namespace PropertyList
