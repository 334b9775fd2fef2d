#pragma once

#include <QByteArray>
#include <QPageLayout>

// The page format as the preferences keep it (a handle): paper size, orientation and
// margins, all in points, big-endian:
//   'OXpf', version 1 (16 bits), orientation (16 bits, 0 portrait, 1 landscape),
//   paper width and height, margins left, top, right and bottom (64-bit reals).
QByteArray FlattenPageFormat(const QPageLayout& layout);
// False for bytes that are not such a format (the layout is then unchanged).
bool UnflattenPageFormat(const QByteArray& bytes, QPageLayout& layout);
