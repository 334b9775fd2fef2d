// libFuzzer target for the XML property-list reader: any bytes as a property list.
// Whatever the reader accepts must write and read back as the same value.
#include "PropertyList.h"

#include "FuzzEntry.h"

#include <cstdlib>

namespace {
void Run(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QVariant value;
    if (PropertyList::Read(bytes, value) != noErr)
        return;
    QByteArray written;
    if (PropertyList::Write(value, written) != noErr)
        return; // a value without a property-list form (a NaN real, say)
    QVariant again;
    if (PropertyList::Read(written, again) != noErr)
        std::abort();
    QByteArray rewritten;
    if (PropertyList::Write(again, rewritten) != noErr || rewritten != written)
        std::abort();
}

} // namespace

ORVEX_FUZZ_ENTRY(Run)
