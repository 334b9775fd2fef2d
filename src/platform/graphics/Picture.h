#pragma once

#include "GraphicsErrors.h"
#include "Geometry.h"
#include "MacTypes.h"

#include <QByteArray>
#include <QImage>

class QPainter;
class Offscreen;

// Transfer modes that pictures record.
enum : SInt16 { srcCopy = 0, srcOr = 1, ditherCopy = 64 };

// What a picture's opcodes say about it, gathered while reading.
struct PictInfo {
    Rect frame;
    int version = 0;              // 1 or 2
    Fixed hRes = 72 << 16;
    Fixed vRes = 72 << 16;
    int depth = 0;                // deepest pixel image met (0: drawing only)
    bool hasColorTable = false;
    OSType compressedCodec = 0;   // codec of the first compressed-QuickTime image
    int pixelImageCount = 0;
};

// A picture: the bytes of the old platform's PICT format (version 2 written,
// versions 1 and 2 read), as a picture handle held them: no 512-byte file
// header. Reading never trusts a length: a picture that is cut short or lies
// about its sizes draws what came before the fault and answers codecBadDataErr.
class Picture {
public:
    static constexpr int kFileHeaderSize = 512;

    Picture() = default;
    explicit Picture(QByteArray data)
        : mData(std::move(data))
    {
    }

    // The picture in the bytes of a PICT file: the 512-byte header is recognised
    // and skipped; bytes that are a picture from their first byte are taken whole.
    // Throws codecBadDataErr when neither form is a picture.
    static Picture FromFileData(const QByteArray& fileBytes);
    // The file form: 512 zero bytes, then the picture.
    QByteArray ToFileData() const;

    // Records `image` as an uncompressed picture (DirectBitsRect, 32-bit pixels,
    // each row packed) whose frame is `frame` (the image is scaled to it).
    static Picture FromImage(const QImage& image, const Rect& frame, SInt16 mode = srcCopy);
    static Picture FromOffscreen(const Offscreen& world, SInt16 mode = srcCopy);
    // Records `image` as JPEG data in the compressed-QuickTime opcode.
    static Picture FromImageAsJPEG(const QImage& image, const Rect& frame, CodecQ quality, SInt16 mode = srcCopy);

    bool IsNull() const { return mData.isEmpty(); }
    const QByteArray& Data() const { return mData; }
    qsizetype Size() const { return mData.size(); }
    // The frame from the picture's header (empty when the data is too short).
    Rect Frame() const;

    // Replaces the picture by its JPEG-compressed form, as thumbnails are stored.
    OSStatus Compress(CodecQ quality);

    // Draws the picture with its frame mapped onto `destination`.
    OSStatus Draw(QPainter& port, const Rect& destination) const;
    // Draws it onto a white image of its frame's size.
    OSStatus Render(QImage& out) const;
    // Reads the opcodes without drawing. With `largestImageSide` above 0, a
    // pixel image inside the picture wider or taller than that answers
    // codecBadDataErr before it is decoded.
    OSStatus GetInfo(PictInfo& info, int largestImageSide = 0) const;
    // The same, throwing the fault with its reason.
    void CheckInfo(PictInfo& info, int largestImageSide = 0) const;

    friend bool operator==(const Picture&, const Picture&) = default;

private:
    QByteArray mData;
};
