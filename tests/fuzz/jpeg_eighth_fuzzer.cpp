// libFuzzer target for the DC-only JPEG decoder that makes small pictures of
// large files: any bytes, whole and as a file cut where a download might stop.
#include "FuzzEntry.h"
#include "JpegEighth.h"

#include <QImage>

namespace {
void Run(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QImage out;
    if (DecodeJpegEighth(bytes, QSize(1, 1), out) && (out.isNull() || out.width() > 3750 || out.height() > 3750))
        __builtin_trap(); // a picture of no size, or larger than the largest side allowed over eight
    DecodeJpegEighth(bytes.first(qsizetype(size) / 2), QSize(1, 1), out);
}
} // namespace

ORVEX_FUZZ_ENTRY(Run)
