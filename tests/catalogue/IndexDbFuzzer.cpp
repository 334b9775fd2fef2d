// libFuzzer target for the item record readers: any bytes as an index.db and as
// an older index-file record. Every record the reader accepts must write back and
// read again as itself.
#include "IndexDbRecord.h"
#include "IndexFileRecord.h"
#include "LStream.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    IndexDbReader reader(bytes);
    IndexDbRecord record;
    while (reader.Next(record)) {
        if (!record.fields)
            continue; // the writer always writes tag 4
        record.dropped.clear(); // a part left out as damaged is not written
        LDataStream written;
        try {
            WriteIndexDbRecord(written, record);
        } catch (const ExceptionCode&) {
            continue; // a remote URL over the writer's limit
        }
        LDataStream again(written.Data());
        if (!(ReadIndexDbRecord(again) == record))
            std::abort();
    }

    LDataStream older(bytes);
    try {
        ReadIndexFileRecord(older);
    } catch (const ExceptionCode&) {
    }
    return 0;
}
