#pragma once

#include <QByteArray>
#include <QString>

// Mac Roman, the 8-bit text encoding of captions and Pascal strings. Qt 6 has
// no codec for it, so the 128 upper code points are a table here.
namespace MacRoman {

QString Decode(const QByteArray& bytes);
QString Decode(const unsigned char* bytes, int length);

// Encodes `text`. Characters without a Mac Roman byte are left out; their count
// goes to `unmapped` (when given) so the caller can tell a lossy conversion.
QByteArray Encode(const QString& text, int* unmapped = nullptr);

// True when every character of `text` has a Mac Roman byte.
bool CanEncode(const QString& text);

// The Unicode character of one Mac Roman byte.
char16_t ToUnicode(unsigned char byte);

// The byte of one character; false when it has none.
bool FromUnicode(char16_t ch, unsigned char& outByte);

} // namespace MacRoman
