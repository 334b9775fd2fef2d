#include "FourCharCode.h"

std::string FourCharCodeToString(FourCharCode code)
{
    unsigned char bytes[4];
    FourCharCodeToBytes(code, bytes);
    return std::string(reinterpret_cast<const char*>(bytes), 4);
}

QString FourCharCodeToQString(FourCharCode code)
{
    unsigned char bytes[4];
    FourCharCodeToBytes(code, bytes);
    // Codes are Mac Roman in principle; the ones in use are ASCII except the
    // copyright sign of user-data types, which Latin-1 maps the same way.
    QString text;
    for (unsigned char b : bytes)
        text += b == 0xA9 ? QChar(0x00A9) : QChar::fromLatin1(static_cast<char>(b));
    return text;
}

bool FourCharCodeFromString(const QString& text, FourCharCode& outCode)
{
    if (text.size() > 4)
        return false;
    FourCharCode code = 0;
    for (int i = 0; i < 4; ++i) {
        char16_t c = i < text.size() ? text.at(i).unicode() : u' ';
        if (c > 0xFF)
            return false;
        code = (code << 8) | c;
    }
    outCode = code;
    return true;
}

bool IsPrintableFourCharCode(FourCharCode code)
{
    unsigned char bytes[4];
    FourCharCodeToBytes(code, bytes);
    for (unsigned char b : bytes) {
        if (b < 0x20 || b > 0x7E)
            return false;
    }
    return true;
}
