#include "PackBits.h"

#include <cstring>

namespace PackBits {

QByteArray Pack(const QByteArray& data, int unitSize)
{
    QByteArray out;
    const qsizetype units = data.size() / unitSize;
    const char* p = data.constData();
    auto same = [&](qsizetype a, qsizetype b) { return std::memcmp(p + a * unitSize, p + b * unitSize, size_t(unitSize)) == 0; };
    qsizetype i = 0;
    while (i < units) {
        // A run of three or more equal units is worth a repeat code.
        qsizetype run = 1;
        while (i + run < units && run < 128 && same(i, i + run))
            ++run;
        if (run >= 3 || (run == 2 && i + run == units)) {
            out.append(char(1 - run));
            out.append(p + i * unitSize, unitSize);
            i += run;
            continue;
        }
        qsizetype start = i;
        qsizetype count = 0;
        while (i < units && count < 128) {
            if (i + 2 < units && same(i, i + 1) && same(i, i + 2))
                break;
            ++i;
            ++count;
        }
        out.append(char(count - 1));
        out.append(p + start * unitSize, count * unitSize);
    }
    return out;
}

bool Unpack(const char* packed, qsizetype packedSize, QByteArray& out, qsizetype expected, int unitSize)
{
    out.resize(expected);
    char* dst = out.data();
    qsizetype produced = 0;
    qsizetype pos = 0;
    bool ok = true;
    while (produced < expected) {
        if (pos >= packedSize) {
            ok = false;
            break;
        }
        int n = static_cast<signed char>(packed[pos++]);
        if (n >= 0) {
            qsizetype bytes = qsizetype(n + 1) * unitSize;
            if (pos + bytes > packedSize || produced + bytes > expected) {
                ok = false;
                break;
            }
            std::memcpy(dst + produced, packed + pos, size_t(bytes));
            pos += bytes;
            produced += bytes;
        } else if (n != -128) {
            qsizetype count = 1 - n;
            if (pos + unitSize > packedSize || produced + count * unitSize > expected) {
                ok = false;
                break;
            }
            for (qsizetype k = 0; k < count; ++k) {
                std::memcpy(dst + produced, packed + pos, size_t(unitSize));
                produced += unitSize;
            }
            pos += unitSize;
        }
    }
    if (produced < expected)
        std::memset(dst + produced, 0, size_t(expected - produced));
    return ok;
}

} // namespace PackBits
