#pragma once

#include "MacTypes.h"

#include <QString>
#include <string>
#include <string_view>

// A four-character code is the big-endian number of its four bytes: 'TIFF' is 0x54494646.
constexpr FourCharCode MakeFourCharCode(std::string_view text)
{
    FourCharCode code = 0;
    for (std::size_t i = 0; i < 4; ++i)
        code = (code << 8) | static_cast<unsigned char>(i < text.size() ? text[i] : ' ');
    return code;
}

std::string FourCharCodeToString(FourCharCode code);
QString FourCharCodeToQString(FourCharCode code);

// Four bytes of text (Latin-1, padded with blanks when shorter; longer texts are invalid).
bool FourCharCodeFromString(const QString& text, FourCharCode& outCode);

// True when all four bytes are printable ASCII (how codes are told apart from numbers).
bool IsPrintableFourCharCode(FourCharCode code);

inline void FourCharCodeToBytes(FourCharCode code, unsigned char out[4])
{
    out[0] = static_cast<unsigned char>(code >> 24);
    out[1] = static_cast<unsigned char>(code >> 16);
    out[2] = static_cast<unsigned char>(code >> 8);
    out[3] = static_cast<unsigned char>(code);
}

inline FourCharCode FourCharCodeFromBytes(const unsigned char bytes[4])
{
    return (FourCharCode(bytes[0]) << 24) | (FourCharCode(bytes[1]) << 16) | (FourCharCode(bytes[2]) << 8)
        | FourCharCode(bytes[3]);
}
