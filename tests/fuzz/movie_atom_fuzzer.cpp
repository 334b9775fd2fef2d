// libFuzzer target for the movie atom reader: any bytes as a movie file's atoms.
#include "MovieAtomReader.h"
#include "FuzzEntry.h"

namespace {
void Run(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const MovieHeaderAtoms atoms = ParseMovieHeaderAtoms(bytes);
    (void)atoms;
}

} // namespace

ORVEX_FUZZ_ENTRY(Run)
