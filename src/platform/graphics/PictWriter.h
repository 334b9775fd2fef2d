#pragma once

#include "GraphicsErrors.h"
#include "Geometry.h"

#include <QByteArray>
#include <QImage>

// Writes version 2 pictures: header, clip region, one image opcode, end.
namespace PictWriter {

// DirectBitsRect at 32 bits per pixel, packType 4 (each row's red, green and blue
// planes PackBits-packed). Transparent pixels are laid on white.
QByteArray WriteDirectBits(const QImage& image, const Rect& frame, SInt16 mode);

// The compressed-QuickTime opcode 0x8200 with a 'jpeg' image description.
QByteArray WriteJPEG(const QImage& image, const Rect& frame, CodecQ quality, SInt16 mode);

} // namespace PictWriter
