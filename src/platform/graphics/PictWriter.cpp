#include "PictWriter.h"

#include "ExceptionCode.h"
#include "ImageBands.h"
#include "ImageDescription.h"
#include "LStream.h"
#include "MatrixRecord.h"
#include "PackBits.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

namespace {

// Opcodes of version 2 pictures.
constexpr UInt16 kOpClip = 0x0001;
constexpr UInt16 kOpVersion = 0x0011;
constexpr UInt16 kVersion2 = 0x02FF;
constexpr UInt16 kOpHeader = 0x0C00;
constexpr UInt16 kOpDirectBitsRect = 0x009A;
constexpr UInt16 kOpCompressedQuickTime = 0x8200;
constexpr UInt16 kOpEndPic = 0x00FF;
constexpr SInt16 kExtendedHeader = -2;
constexpr Fixed k72dpi = 72 << 16;
constexpr UInt16 kPixMapFlag = 0x8000;
constexpr SInt16 kPackComponents = 4;
constexpr SInt16 kRGBDirect = 16;

void WriteRect(LStream& s, const Rect& r)
{
    s << r.top << r.left << r.bottom << r.right;
}

void BeginPicture(LDataStream& s, const Rect& frame)
{
    s.WriteUInt16(0); // size, filled in by EndPicture
    WriteRect(s, frame);
    s.WriteUInt16(kOpVersion);
    s.WriteUInt16(kVersion2);
    s.WriteUInt16(kOpHeader);
    s << kExtendedHeader;
    s.WriteUInt16(0);
    s.WriteUInt32(UInt32(k72dpi));
    s.WriteUInt32(UInt32(k72dpi));
    WriteRect(s, frame);
    s.WriteUInt32(0);
    // The clip region: a rectangular region is its size (10) and bounding box.
    s.WriteUInt16(kOpClip);
    s.WriteUInt16(10);
    WriteRect(s, frame);
}

QByteArray EndPicture(LDataStream& s)
{
    if (s.GetLength() & 1)
        s.WriteUInt8(0);
    s.WriteUInt16(kOpEndPic);
    QByteArray data = s.TakeData();
    // The size word holds the low 16 bits of the length of larger pictures.
    UInt16 size = UInt16(data.size() & 0xFFFF);
    data[0] = char(size >> 8);
    data[1] = char(size & 0xFF);
    return data;
}

// The image at the frame's size, opaque (QuickDraw has no alpha).
QImage OpaqueImageForFrame(const QImage& image, const Rect& frame)
{
    if (image.isNull() || frame.IsEmpty())
        ThrowOSErr_(paramErr, "picture of an empty image or frame");
    QImage out(frame.Width(), frame.Height(), QImage::Format_RGB32);
    out.fill(Qt::white);
    if (image.size() == out.size()) {
        // Thumbnails are recorded on worker threads: no rows handed to Qt's pool.
        DrawImageInBands(out, image);
        return out;
    }
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(0, 0, out.width(), out.height()), image);
    p.end();
    return out;
}

} // namespace

namespace PictWriter {

QByteArray WriteDirectBits(const QImage& image, const Rect& frame, SInt16 mode)
{
    QImage pixels = OpaqueImageForFrame(image, frame);
    const int width = pixels.width();
    const int height = pixels.height();
    const int rowBytes = width * 4;
    if (rowBytes > 0x3FFF)
        ThrowOSErr_(paramErr, "picture row too wide for a pixel map");
    const Rect bounds = MakeRect(0, 0, height, width);

    LDataStream s;
    BeginPicture(s, frame);
    s.WriteUInt16(kOpDirectBitsRect);
    s.WriteUInt32(0x000000FF); // base address, unused in pictures
    s.WriteUInt16(UInt16(rowBytes | kPixMapFlag));
    WriteRect(s, bounds);
    s.WriteUInt16(0); // pmVersion
    s << kPackComponents;
    s.WriteUInt32(0); // packSize
    s.WriteUInt32(UInt32(k72dpi));
    s.WriteUInt32(UInt32(k72dpi));
    s << kRGBDirect;
    s.WriteUInt16(32); // pixelSize
    s.WriteUInt16(3);  // cmpCount: red, green, blue
    s.WriteUInt16(8);  // cmpSize
    s.WriteUInt32(0);  // planeBytes
    s.WriteUInt32(0);  // pmTable
    s.WriteUInt32(0);  // pmReserved
    WriteRect(s, bounds); // source
    WriteRect(s, frame);  // destination
    s << mode;

    QByteArray row(rowBytes, '\0');
    for (int y = 0; y < height; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        if (rowBytes < 8) {
            // Rows narrower than 8 bytes are stored unpacked, as xRGB.
            for (int x = 0; x < width; ++x) {
                row[4 * x] = 0;
                row[4 * x + 1] = char(qRed(line[x]));
                row[4 * x + 2] = char(qGreen(line[x]));
                row[4 * x + 3] = char(qBlue(line[x]));
            }
            s.WriteBytes(row);
            continue;
        }
        QByteArray planes(width * 3, '\0');
        for (int x = 0; x < width; ++x) {
            planes[x] = char(qRed(line[x]));
            planes[width + x] = char(qGreen(line[x]));
            planes[2 * width + x] = char(qBlue(line[x]));
        }
        QByteArray packed = PackBits::Pack(planes);
        if (rowBytes > 250)
            s.WriteUInt16(UInt16(packed.size()));
        else
            s.WriteUInt8(UInt8(packed.size()));
        s.WriteBytes(packed);
    }
    return EndPicture(s);
}

QByteArray WriteJPEG(const QImage& image, const Rect& frame, CodecQ quality, SInt16 mode)
{
    QImage pixels = OpaqueImageForFrame(image, frame);
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(CodecQualityToPercent(quality));
        if (!writer.write(pixels))
            ThrowOSErr_(codecErr, "JPEG compression failed: " + writer.errorString().toStdString());
    }

    ImageDescription desc;
    desc.cType = 'jpeg';
    desc.version = 1;
    desc.revisionLevel = 1;
    desc.spatialQuality = quality;
    desc.width = SInt16(pixels.width());
    desc.height = SInt16(pixels.height());
    desc.dataSize = SInt32(jpeg.size());
    desc.name = Str31("Photo - JPEG");
    desc.depth = 24;
    desc.clutID = -1;
    QByteArray descBytes = desc.ToBytes();

    MatrixRecord matrix;
    TranslateMatrix(matrix, frame.left << 16, frame.top << 16);
    unsigned char matrixBytes[36];
    MatrixToBytes(matrix, matrixBytes);
    const Rect source = MakeRect(0, 0, pixels.height(), pixels.width());

    LDataStream body;
    body.WriteUInt16(0); // version
    body.WriteBlock(matrixBytes, 36);
    body.WriteUInt32(0); // matte size
    WriteRect(body, Rect {});
    body << mode;
    WriteRect(body, source);
    body.WriteUInt32(0); // accuracy
    body.WriteUInt32(0); // mask region size
    body.WriteBytes(descBytes);
    body.WriteBytes(jpeg);

    LDataStream s;
    BeginPicture(s, frame);
    s.WriteUInt16(kOpCompressedQuickTime);
    s.WriteUInt32(UInt32(body.GetLength()));
    s.WriteBytes(body.Data());
    return EndPicture(s);
}

} // namespace PictWriter
