// libFuzzer target for the movie atom reader: any bytes as a movie file's atoms.
#include "MovieAtomReader.h"
#include "ExceptionCode.h"

namespace {
void Run(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const MovieHeaderAtoms atoms = ParseMovieHeaderAtoms(bytes);
    (void)atoms;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        Run(data, size);
    } catch (const ExceptionCode&) {
        // a clear code for bad input is the reader doing its work
    }
    return 0;
}
