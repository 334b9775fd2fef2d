#pragma once

#include "MacTypes.h"

#include <memory>

class Offscreen;

// Raw pixels as the operations see them: rows `rowBytes` apart (rows may be
// padded), sub-byte pixels packed from the most significant bit of each byte.
struct PixelMap {
    unsigned char* base = nullptr;
    int rowBytes = 0;
    int width = 0;
    int height = 0;
    int depth = 0; // bits per pixel: 1, 2, 4, 8, 16, 24 or 32
};

// Sharpens a 32-bit map in place with the 3 x 3 kernel (-1 -3 -1 / -3 32 -3 / -1 -3 -1) / 16.
// Alpha and the outer frame are left alone; other depths and maps under 3 x 3 are not touched.
void SharpenPixels(const PixelMap& map);

// Writes `source` turned a quarter turn clockwise into `destination`, which must be
// height x width at the same depth. The destination is cleared first.
bool RotatePixelsQuarterTurn(const PixelMap& source, const PixelMap& destination);

// Mirrors every row in place (pixel x goes to width - 1 - x).
bool MirrorPixelsHorizontally(const PixelMap& map);

// The same operations on offscreen worlds.
void SharpenGWorld(Offscreen* world);
// A new world holding `source` turned a quarter turn clockwise, bounds transposed; null on failure.
std::unique_ptr<Offscreen> RotateGWorldQuarterTurn(const Offscreen* source);
// 0, or memFullErr when the world has no pixels.
OSErr MirrorGWorldHorizontally(Offscreen* world);
