#pragma once

#include "GraphicsErrors.h"
#include "MacTypes.h"

#include <QByteArray>
#include <QImage>

// Writes the image as a JPEG 2000 file (the boxed JP2 form) with OpenJPEG: 8-bit RGB,
// or RGBA when the image has an alpha channel. Best quality is lossless (the reversible
// 5/3 wavelet); lower qualities use the irreversible 9/7 wavelet at a compression ratio
// that grows as the quality falls. paramErr for an empty or oversized image, codecErr when
// the encoder fails.
OSStatus WriteJpeg2000File(const QImage& image, CodecQ quality, QByteArray& out);
