#include "PixelOperations.h"

#include "Offscreen.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

bool IsSupportedDepth(int depth)
{
    switch (depth) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        return true;
    default:
        return false;
    }
}

bool IsValidMap(const PixelMap& map)
{
    return map.base && map.width > 0 && map.height > 0 && IsSupportedDepth(map.depth)
        && (SInt64(map.width) * map.depth + 7) / 8 <= map.rowBytes;
}

unsigned GetSubBytePixel(const unsigned char* row, int x, int depth)
{
    const int perByte = 8 / depth;
    const int shift = depth * (perByte - 1 - x % perByte);
    return (row[x / perByte] >> shift) & ((1u << depth) - 1);
}

// ORs the pixel in: callers write into cleared bytes.
void OrSubBytePixel(unsigned char* row, int x, int depth, unsigned value)
{
    const int perByte = 8 / depth;
    const int shift = depth * (perByte - 1 - x % perByte);
    row[x / perByte] |= static_cast<unsigned char>(value << shift);
}

PixelMap MapOf(QImage& image, int depth)
{
    return PixelMap { image.bits(), int(image.bytesPerLine()), image.width(), image.height(), depth };
}

bool IsDirect32(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return true;
    default:
        return false;
    }
}

} // namespace

void SharpenPixels(const PixelMap& map)
{
    if (!IsValidMap(map) || map.depth != 32 || map.width < 3 || map.height < 3)
        return;

    // Pixels are read as 32-bit words so the channel positions do not depend on byte order:
    // alpha in the top byte, then red, green, blue.
    auto pixelAt = [&](int x, int y) {
        quint32 value;
        std::memcpy(&value, map.base + SInt64(y) * map.rowBytes + SInt64(x) * 4, 4);
        return value;
    };

    const int innerWidth = map.width - 2;
    std::vector<quint32> work(size_t(innerWidth) * size_t(map.height - 2));
    for (int y = 1; y < map.height - 1; ++y) {
        for (int x = 1; x < map.width - 1; ++x) {
            const quint32 centre = pixelAt(x, y);
            const quint32 alpha = centre >> 24;
            quint32 result = centre & 0xFF000000u;
            for (int shift = 0; shift <= 16; shift += 8) {
                auto c = [&](int dx, int dy) { return int((pixelAt(x + dx, y + dy) >> shift) & 0xFF); };
                int sum = 32 * c(0, 0) - 3 * (c(0, -1) + c(-1, 0) + c(1, 0) + c(0, 1))
                    - (c(-1, -1) + c(1, -1) + c(-1, 1) + c(1, 1));
                int value = std::clamp(sum >> 4, 0, 255);
                // A premultiplied channel never exceeds its alpha; opaque pixels are unaffected.
                if (alpha != 0xFF)
                    value = std::min(value, int(alpha));
                result |= quint32(value) << shift;
            }
            work[size_t(y - 1) * innerWidth + size_t(x - 1)] = result;
        }
    }
    for (int y = 1; y < map.height - 1; ++y)
        std::memcpy(map.base + SInt64(y) * map.rowBytes + 4, &work[size_t(y - 1) * innerWidth], size_t(innerWidth) * 4);
}

bool RotatePixelsQuarterTurn(const PixelMap& source, const PixelMap& destination)
{
    if (!IsValidMap(source) || !IsValidMap(destination) || destination.depth != source.depth
        || destination.width != source.height || destination.height != source.width)
        return false;

    for (int y = 0; y < destination.height; ++y)
        std::memset(destination.base + SInt64(y) * destination.rowBytes, 0, size_t(destination.rowBytes));

    const int depth = source.depth;
    const int height = source.height;
    // Source pixel (x, r) goes to destination pixel (height - 1 - r, x).
    for (int r = 0; r < height; ++r) {
        const unsigned char* sourceRow = source.base + SInt64(r) * source.rowBytes;
        const int column = height - 1 - r;
        if (depth < 8) {
            for (int x = 0; x < source.width; ++x) {
                unsigned char* destinationRow = destination.base + SInt64(x) * destination.rowBytes;
                OrSubBytePixel(destinationRow, column, depth, GetSubBytePixel(sourceRow, x, depth));
            }
        } else {
            const int bytes = depth / 8;
            for (int x = 0; x < source.width; ++x) {
                unsigned char* destinationRow = destination.base + SInt64(x) * destination.rowBytes;
                std::memcpy(destinationRow + SInt64(column) * bytes, sourceRow + SInt64(x) * bytes, size_t(bytes));
            }
        }
    }
    return true;
}

bool MirrorPixelsHorizontally(const PixelMap& map)
{
    if (!IsValidMap(map))
        return false;
    std::vector<unsigned char> buffer(size_t(map.rowBytes));
    const int width = map.width;
    for (int y = 0; y < map.height; ++y) {
        unsigned char* row = map.base + SInt64(y) * map.rowBytes;
        if (map.depth < 8) {
            std::fill(buffer.begin(), buffer.end(), 0);
            for (int x = 0; x < width; ++x)
                OrSubBytePixel(buffer.data(), width - 1 - x, map.depth, GetSubBytePixel(row, x, map.depth));
            // The whole row is replaced, so bits past the last pixel come back cleared.
            std::memcpy(row, buffer.data(), buffer.size());
        } else {
            const int bytes = map.depth / 8;
            for (int x = 0; x < width; ++x)
                std::memcpy(buffer.data() + SInt64(width - 1 - x) * bytes, row + SInt64(x) * bytes, size_t(bytes));
            std::memcpy(row, buffer.data(), size_t(width) * size_t(bytes));
        }
    }
    return true;
}

void SharpenGWorld(Offscreen* world)
{
    if (!world || world->IsNull() || !IsDirect32(world->Image()))
        return;
    SharpenPixels(MapOf(world->Image(), 32));
}

std::unique_ptr<Offscreen> RotateGWorldQuarterTurn(const Offscreen* source)
{
    if (!source || source->IsNull())
        return nullptr;
    const QImage& image = source->Image();
    QImage turned(image.height(), image.width(), image.format());
    if (turned.isNull())
        return nullptr;
    turned.setColorTable(image.colorTable());
    // Rotation only reads the source (constBits never detaches); the map type wants a plain pointer.
    PixelMap from { const_cast<uchar*>(image.constBits()), int(image.bytesPerLine()), image.width(),
        image.height(), image.depth() };
    if (!RotatePixelsQuarterTurn(from, MapOf(turned, image.depth())))
        return nullptr;
    const Rect& bounds = source->Bounds();
    return std::make_unique<Offscreen>(std::move(turned), Point { bounds.left, bounds.top });
}

OSErr MirrorGWorldHorizontally(Offscreen* world)
{
    if (!world || world->IsNull())
        return memFullErr;
    return MirrorPixelsHorizontally(MapOf(world->Image(), world->Image().depth())) ? noErr : memFullErr;
}
