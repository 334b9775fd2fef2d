#include "PString.h"

#include "MacRoman.h"

QString PStringToQString(ConstStr255Param source)
{
    if (!source)
        return {};
    return MacRoman::Decode(source + 1, source[0]);
}

bool QStringToPString(const QString& text, unsigned char* out, int capacity)
{
    int unmapped = 0;
    QByteArray bytes = MacRoman::Encode(text, &unmapped);
    int count = int(bytes.size()) > capacity ? capacity : int(bytes.size());
    std::memcpy(out + 1, bytes.constData(), size_t(count));
    out[0] = static_cast<unsigned char>(count);
    return unmapped == 0 && count == bytes.size();
}
