#pragma once

#include <QByteArrayView>
#include <QImage>

// A sequential Huffman-coded JPEG (8 bits, gray or YCbCr) decoded at an
// eighth of its size, one pixel per 8x8 block (sides rounded up), from the
// blocks' DC coefficients alone. The AC coefficients are skipped rather than
// decoded, which is nearly all of the work of a small thumbnail of a large
// photograph. Chroma subsampled in the file is repeated, not interpolated.
//
// False, with `out` untouched, when the picture's colour detail at an eighth
// (coarser where the file subsamples chroma) would not fill `atLeast`, and for
// what it does not read: progressive,
// arithmetic-coded, lossless or 12-bit files, RGB, CMYK and YCCK files, and
// headers it cannot make sense of; a general decoder takes those. Entropy data
// that is cut short or damaged decodes as far as it goes (the rest is mid-gray),
// as a general decoder does; whether the file is whole is a separate question.
bool DecodeJpegEighth(QByteArrayView data, QSize atLeast, QImage& out);
