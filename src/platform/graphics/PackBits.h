#pragma once

#include <QByteArray>

// The PackBits run-length scheme of the old platform: a signed count byte n,
// then n + 1 literal units (n >= 0) or one unit repeated 1 - n times (n < 0,
// -128 is skipped). A unit is one byte, or two bytes for 16-bit pixel rows.
namespace PackBits {

QByteArray Pack(const QByteArray& data, int unitSize = 1);

// Unpacks `packed` until `expected` bytes are produced. Returns false when the
// input ends first or a run would go past `expected` (the output is then the
// bytes made so far, padded with zeros to `expected`).
bool Unpack(const char* packed, qsizetype packedSize, QByteArray& out, qsizetype expected, int unitSize = 1);

} // namespace PackBits
