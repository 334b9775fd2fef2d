#include "PictReader.h"

#include "ExceptionCode.h"
#include "ImageDescription.h"
#include "LStream.h"
#include "MatrixRecord.h"
#include "PackBits.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <optional>
#include <string>

namespace {

constexpr qsizetype kMaxPixelBytes = qsizetype(512) * 1024 * 1024; // refuse absurd pixel images
constexpr UInt16 kOpEndPicV2 = 0x00FF;

[[noreturn]] void Bad(const std::string& what)
{
    ThrowOSErr_(codecBadDataErr, what);
}

std::string Hex(UInt32 value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

struct PixMapHeader {
    int rowBytes = 0;
    bool isPixMap = false;
    Rect bounds;
    SInt16 packType = 0;
    SInt16 pixelType = 0;
    SInt16 pixelSize = 1;
    SInt16 cmpCount = 1;
    SInt16 cmpSize = 1;
    Fixed hRes = 72 << 16;
    QList<QRgb> colors;
};

class PictParser {
public:
    PictParser(const QByteArray& data, QPainter* painter, PictInfo& info, int largestImageSide)
        : mStream(data)
        , mPainter(painter)
        , mInfo(info)
        , mLargestImageSide(largestImageSide)
    {
    }

    void Run();

private:
    Rect ReadRect()
    {
        Rect r;
        r.top = mStream.ReadSInt16();
        r.left = mStream.ReadSInt16();
        r.bottom = mStream.ReadSInt16();
        r.right = mStream.ReadSInt16();
        return r;
    }
    Point ReadPoint()
    {
        Point p;
        p.v = mStream.ReadSInt16();
        p.h = mStream.ReadSInt16();
        return p;
    }
    QColor ReadRGB()
    {
        int r = mStream.ReadUInt16() >> 8;
        int g = mStream.ReadUInt16() >> 8;
        int b = mStream.ReadUInt16() >> 8;
        return QColor(r, g, b);
    }
    void SkipChecked(SInt64 count, UInt32 op)
    {
        if (count < 0 || count > mStream.Remaining())
            Bad("opcode " + Hex(op) + ": length " + std::to_string(count) + " runs past the end");
        mStream.Skip(count);
    }
    void Align()
    {
        if (mVersion == 2 && (mStream.GetMarker() & 1))
            mStream.Skip(1);
    }

    UInt32 ReadOpcode() { return mVersion == 2 ? mStream.ReadUInt16() : mStream.ReadUInt8(); }
    void DoOpcode(UInt32 op);
    void ReadPixMapHeader(PixMapHeader& pm, bool direct);
    void ReadColorTable(PixMapHeader& pm);
    QImage ReadPixelData(const PixMapHeader& pm, bool packed);
    void DoBits(UInt32 op);
    void DoCompressedQuickTime(UInt32 op);
    void SkipPixPat(UInt32 op);
    void DoShape(UInt32 op, int verb, const Rect& r, int kind);
    void DoText(const QByteArray& text);
    void DrawImage(const QImage& image, const Rect& src, const Rect& bounds, const Rect& dst, SInt16 mode);
    void CheckImageSize(qint64 width, qint64 height, const char* what) const;

    LDataStream mStream;
    QPainter* mPainter;
    PictInfo& mInfo;
    int mLargestImageSide = 0; // 0: only the decoded-size limit applies
    int mVersion = 2;

    // Drawing state.
    QColor mFore = Qt::black;
    QColor mBack = Qt::white;
    Point mPenSize { 1, 1 };
    Point mPenLoc;
    Point mTextLoc;
    Point mOvalSize;
    int mTextSize = 12;
    int mTextFace = 0;
    Rect mLastRect, mLastRRect, mLastOval, mLastArc, mLastRgn;
    SInt16 mArcStart = 0, mArcAngle = 0;
    QPolygon mLastPoly;
    bool mUnsupportedCodec = false;

public:
    bool UnsupportedCodec() const { return mUnsupportedCodec; }
};

void PictParser::Run()
{
    if (mStream.GetLength() < 12)
        Bad("picture shorter than its header");
    mStream.ReadUInt16(); // size: only the low 16 bits of larger pictures, not used
    mInfo.frame = ReadRect();
    const QByteArray& d = mStream.Data();
    if (UInt8(d[10]) == 0x11 && UInt8(d[11]) == 0x01) {
        mVersion = 1;
        mStream.Skip(2);
    } else if (UInt8(d[10]) == 0x00 && UInt8(d[11]) == 0x11 && d.size() >= 14 && UInt8(d[12]) == 0x02
        && UInt8(d[13]) == 0xFF) {
        mVersion = 2;
        mStream.Skip(4);
    } else {
        Bad("no picture version opcode");
    }
    mInfo.version = mVersion;
    for (;;) {
        Align();
        if (mStream.AtEnd())
            Bad("picture ends without its end opcode");
        UInt32 op = ReadOpcode();
        if ((mVersion == 2 && op == kOpEndPicV2) || (mVersion == 1 && op == 0xFF))
            break;
        DoOpcode(op);
    }
}

void PictParser::DoOpcode(UInt32 op)
{
    switch (op) {
    case 0x0000: // NOP
    case 0x0017: case 0x0018: case 0x0019:
    case 0x001C: // HiliteMode
    case 0x001E: // DefHilite
        return;
    case 0x0001: { // Clip region
        UInt16 size = mStream.ReadUInt16();
        if (size < 10)
            Bad("clip region size " + std::to_string(size));
        SkipChecked(size - 2, op);
        return;
    }
    case 0x0002: case 0x0009: case 0x000A: // BkPat, PnPat, FillPat
    case 0x0010: // TxRatio
        SkipChecked(8, op);
        return;
    case 0x0003: // TxFont
    case 0x0005: // TxMode
    case 0x0008: // PnMode
    case 0x0015: case 0x0016: // PnLocHFrac, ChExtra
        SkipChecked(2, op);
        return;
    case 0x0004: // TxFace
        mTextFace = mStream.ReadUInt8();
        return;
    case 0x0006: // SpExtra
    case 0x000C: // Origin
        SkipChecked(4, op);
        return;
    case 0x0007:
        mPenSize = ReadPoint();
        return;
    case 0x000B:
        mOvalSize = ReadPoint();
        return;
    case 0x000D:
        mTextSize = mStream.ReadSInt16();
        return;
    case 0x000E: case 0x000F: { // FgColor, BkColor: the old eight colours
        SInt32 c = mStream.ReadSInt32();
        QColor color = Qt::black;
        switch (c) {
        case 30: color = Qt::white; break;
        case 69: color = Qt::yellow; break;
        case 137: color = Qt::magenta; break;
        case 205: color = Qt::red; break;
        case 273: color = Qt::cyan; break;
        case 341: color = Qt::green; break;
        case 409: color = Qt::blue; break;
        default: break;
        }
        (op == 0x000E ? mFore : mBack) = color;
        return;
    }
    case 0x0011: // Version inside the picture
        SkipChecked(mVersion == 2 ? 2 : 1, op);
        return;
    case 0x0012: case 0x0013: case 0x0014:
        SkipPixPat(op);
        return;
    case 0x001A:
        mFore = ReadRGB();
        return;
    case 0x001B:
        mBack = ReadRGB();
        return;
    case 0x001D: case 0x001F: // HiliteColor, OpColor
        SkipChecked(6, op);
        return;
    case 0x0020: { // Line
        Point from = ReadPoint();
        Point to = ReadPoint();
        if (mPainter) {
            mPainter->setPen(QPen(mFore, std::max<int>(1, mPenSize.h)));
            mPainter->drawLine(from.h, from.v, to.h, to.v);
        }
        mPenLoc = to;
        return;
    }
    case 0x0021: { // LineFrom
        Point to = ReadPoint();
        if (mPainter) {
            mPainter->setPen(QPen(mFore, std::max<int>(1, mPenSize.h)));
            mPainter->drawLine(mPenLoc.h, mPenLoc.v, to.h, to.v);
        }
        mPenLoc = to;
        return;
    }
    case 0x0022: case 0x0023: { // ShortLine, ShortLineFrom
        Point from = op == 0x0022 ? ReadPoint() : mPenLoc;
        int dh = mStream.ReadSInt8();
        int dv = mStream.ReadSInt8();
        Point to = MakePoint(from.v + dv, from.h + dh);
        if (mPainter) {
            mPainter->setPen(QPen(mFore, std::max<int>(1, mPenSize.h)));
            mPainter->drawLine(from.h, from.v, to.h, to.v);
        }
        mPenLoc = to;
        return;
    }
    case 0x0028: { // LongText
        mTextLoc = ReadPoint();
        UInt8 count = mStream.ReadUInt8();
        DoText(mStream.ReadBytes(count));
        return;
    }
    case 0x0029: case 0x002A: { // DHText, DVText
        int delta = mStream.ReadUInt8();
        if (op == 0x0029)
            mTextLoc.h = ClampToSInt16(mTextLoc.h + delta);
        else
            mTextLoc.v = ClampToSInt16(mTextLoc.v + delta);
        UInt8 count = mStream.ReadUInt8();
        DoText(mStream.ReadBytes(count));
        return;
    }
    case 0x002B: { // DHDVText
        int dh = mStream.ReadUInt8();
        int dv = mStream.ReadUInt8();
        mTextLoc = MakePoint(mTextLoc.v + dv, mTextLoc.h + dh);
        UInt8 count = mStream.ReadUInt8();
        DoText(mStream.ReadBytes(count));
        return;
    }
    case 0x0090: case 0x0091: case 0x0098: case 0x0099: case 0x009A: case 0x009B:
        DoBits(op);
        return;
    case 0x00A0: // ShortComment
        SkipChecked(2, op);
        return;
    case 0x00A1: { // LongComment
        mStream.ReadUInt16();
        UInt16 size = mStream.ReadUInt16();
        SkipChecked(size, op);
        return;
    }
    case 0x0C00: { // Header
        SInt16 version = mStream.ReadSInt16();
        if (version == -2) {
            mStream.ReadUInt16();
            mInfo.hRes = mStream.ReadSInt32();
            mInfo.vRes = mStream.ReadSInt32();
            SkipChecked(12, op);
        } else {
            SkipChecked(22, op);
        }
        return;
    }
    case 0x8200:
        DoCompressedQuickTime(op);
        return;
    default:
        break;
    }

    // Shapes: 0x30-0x8F in groups of eight (five verbs, three reserved).
    if (op >= 0x0030 && op <= 0x008F) {
        int group = int(op >> 3) & 0x1F; // 6 rect, 8 rrect, 10 oval, 12 arc, 14 poly, 16 rgn
        int verb = int(op & 0x7);
        bool same = (op & 0x8) != 0;
        switch (group) {
        case 6: case 7: case 8: case 9: case 10: case 11: {
            Rect& last = group <= 7 ? mLastRect : (group <= 9 ? mLastRRect : mLastOval);
            if (!same)
                last = ReadRect();
            DoShape(op, verb, last, group / 2);
            return;
        }
        case 12: case 13:
            if (!same) {
                mLastArc = ReadRect();
            }
            mArcStart = mStream.ReadSInt16();
            mArcAngle = mStream.ReadSInt16();
            DoShape(op, verb, mLastArc, 6);
            return;
        case 14: case 15:
            if (!same) {
                UInt16 size = mStream.ReadUInt16();
                if (size < 10 || (size - 10) % 4 != 0)
                    Bad("polygon size " + std::to_string(size));
                ReadRect();
                int count = (size - 10) / 4;
                if (count * 4 > mStream.Remaining())
                    Bad("polygon runs past the end");
                mLastPoly.clear();
                for (int i = 0; i < count; ++i) {
                    Point p = ReadPoint();
                    mLastPoly << QPoint(p.h, p.v);
                }
            }
            DoShape(op, verb, Rect {}, 7);
            return;
        case 16: case 17:
            if (!same) {
                UInt16 size = mStream.ReadUInt16();
                if (size < 10)
                    Bad("region size " + std::to_string(size));
                mLastRgn = ReadRect();
                SkipChecked(size - 10, op);
            }
            DoShape(op, verb, mLastRgn, 8);
            return;
        default:
            break;
        }
    }

    // Everything else is skipped by the length the format gives it.
    if (op >= 0x0024 && op <= 0x0027) { SkipChecked(mStream.ReadUInt16(), op); return; }
    if (op >= 0x002C && op <= 0x002F) { SkipChecked(mStream.ReadUInt16(), op); return; }
    if ((op >= 0x0092 && op <= 0x0097) || (op >= 0x009C && op <= 0x009F) || (op >= 0x00A2 && op <= 0x00AF)) {
        SkipChecked(mStream.ReadUInt16(), op);
        return;
    }
    if (op >= 0x00B0 && op <= 0x00CF)
        return;
    if (op >= 0x00D0 && op <= 0x00FE) { SkipChecked(mStream.ReadUInt32(), op); return; }
    if (mVersion == 2) {
        if (op >= 0x0100 && op <= 0x7FFF) { SkipChecked((op >> 8) * 2, op); return; }
        if (op >= 0x8000 && op <= 0x80FF)
            return;
        if (op >= 0x8100) { SkipChecked(mStream.ReadUInt32(), op); return; }
    }
    ThrowOSErr_(codecBadDataErr, "opcode " + Hex(op) + " of unknown length");
}

void PictParser::DoShape(UInt32, int verb, const Rect& r, int kind)
{
    if (!mPainter || verb > 4)
        return;
    QRectF rect(r.left, r.top, r.Width(), r.Height());
    QPainter& p = *mPainter;
    p.save();
    if (verb == 0) { // frame: the pen runs inside the shape
        qreal w = std::max<int>(1, mPenSize.h);
        p.setPen(QPen(mFore, w, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.setBrush(Qt::NoBrush);
        rect.adjust(w / 2, w / 2, -w / 2, -w / 2);
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(verb == 2 ? mBack : (verb == 3 ? QColor(Qt::white) : mFore));
        if (verb == 3)
            p.setCompositionMode(QPainter::CompositionMode_Difference);
    }
    switch (kind) {
    case 3: case 8: // rect, region (drawn as its bounding box)
        p.drawRect(rect);
        break;
    case 4:
        p.drawRoundedRect(rect, mOvalSize.h / 2.0, mOvalSize.v / 2.0);
        break;
    case 5:
        p.drawEllipse(rect);
        break;
    case 6: { // arcs: 0 is twelve o'clock and angles run clockwise
        int start = (90 - mArcStart) * 16;
        int span = -mArcAngle * 16;
        if (verb == 0)
            p.drawArc(rect, start, span);
        else
            p.drawPie(rect, start, span);
        break;
    }
    case 7:
        if (verb == 0)
            p.drawPolyline(mLastPoly);
        else
            p.drawPolygon(mLastPoly);
        break;
    default:
        break;
    }
    p.restore();
}

void PictParser::DoText(const QByteArray& text)
{
    if (!mPainter || text.isEmpty())
        return;
    QFont font = mPainter->font();
    font.setPixelSize(std::clamp(mTextSize > 0 ? mTextSize : 12, 1, 500));
    font.setBold(mTextFace & 1);
    font.setItalic(mTextFace & 2);
    font.setUnderline(mTextFace & 4);
    mPainter->save();
    mPainter->setFont(font);
    mPainter->setPen(mFore);
    mPainter->drawText(QPoint(mTextLoc.h, mTextLoc.v), QString::fromLatin1(text));
    mPainter->restore();
}

// Runs before any pixel of the image is allocated or decoded.
void PictParser::CheckImageSize(qint64 width, qint64 height, const char* what) const
{
    if (mLargestImageSide > 0 && (width > mLargestImageSide || height > mLargestImageSide))
        Bad(std::string(what) + " of " + std::to_string(width) + " x " + std::to_string(height)
            + " is larger than the picture may hold (" + std::to_string(mLargestImageSide) + " a side)");
    ThrowIfImageTooLarge(width, height, what);
}

void PictParser::ReadColorTable(PixMapHeader& pm)
{
    mStream.ReadUInt32(); // seed
    UInt16 flags = mStream.ReadUInt16();
    SInt16 size = mStream.ReadSInt16();
    int count = size + 1;
    if (count < 0 || count > 256)
        Bad("colour table of " + std::to_string(count) + " entries");
    if (SInt64(count) * 8 > mStream.Remaining())
        Bad("colour table runs past the end");
    pm.colors = QList<QRgb>(256, qRgb(0, 0, 0));
    for (int i = 0; i < count; ++i) {
        UInt16 value = mStream.ReadUInt16();
        QColor c = ReadRGB();
        // Device tables (flag 0x8000) give the entries in order; others name their index.
        int index = (flags & 0x8000) ? i : (value & 0xFF);
        pm.colors[index] = c.rgb();
    }
    mInfo.hasColorTable = true;
}

void PictParser::ReadPixMapHeader(PixMapHeader& pm, bool direct)
{
    UInt16 rowBytes = mStream.ReadUInt16();
    pm.isPixMap = direct || (rowBytes & 0x8000);
    pm.rowBytes = rowBytes & 0x3FFF;
    pm.bounds = ReadRect();
    if (pm.isPixMap) {
        mStream.ReadUInt16(); // pmVersion
        pm.packType = mStream.ReadSInt16();
        mStream.ReadUInt32(); // packSize
        pm.hRes = mStream.ReadSInt32();
        mStream.ReadUInt32(); // vRes
        pm.pixelType = mStream.ReadSInt16();
        pm.pixelSize = mStream.ReadSInt16();
        pm.cmpCount = mStream.ReadSInt16();
        pm.cmpSize = mStream.ReadSInt16();
        SkipChecked(12, 0); // planeBytes, pmTable, pmReserved
    }
    const int width = pm.bounds.Width();
    const int height = pm.bounds.Height();
    switch (pm.pixelSize) {
    case 1: case 2: case 4: case 8: case 16: case 32:
        break;
    default:
        Bad("pixel size " + std::to_string(pm.pixelSize));
    }
    if (width <= 0 || height <= 0)
        Bad("pixel image with empty bounds");
    if (pm.pixelSize == 32 && (pm.cmpCount < 3 || pm.cmpCount > 4))
        Bad("32-bit pixels with " + std::to_string(pm.cmpCount) + " components");
    if (qsizetype(pm.rowBytes) * 8 < qsizetype(width) * pm.pixelSize && !(pm.pixelSize == 32 && pm.packType == 2))
        Bad("row bytes " + std::to_string(pm.rowBytes) + " too small for " + std::to_string(width) + " pixels");
    if (qsizetype(pm.rowBytes) * height > kMaxPixelBytes)
        Bad("pixel image too large");
    CheckImageSize(width, height, "picture's pixel image");
    mInfo.depth = std::max<int>(mInfo.depth, pm.pixelSize);
    mInfo.pixelImageCount++;
}

QImage PictParser::ReadPixelData(const PixMapHeader& pm, bool packed)
{
    const int width = pm.bounds.Width();
    const int height = pm.bounds.Height();
    QImage image(width, height, QImage::Format_ARGB32);
    if (image.isNull())
        ThrowOSErr_(memFullErr, "pixel image too large");

    const bool direct32 = pm.pixelSize == 32;
    const bool components = direct32 && (pm.packType == 0 || pm.packType == 4) && pm.rowBytes >= 8;
    const int unpackedBytes = components ? width * pm.cmpCount : pm.rowBytes;
    QByteArray row;
    for (int y = 0; y < height; ++y) {
        if (direct32 && pm.packType == 2) {
            row = mStream.ReadBytes(qsizetype(width) * 3);
        } else if (!packed || pm.rowBytes < 8 || (pm.isPixMap && pm.packType == 1)) {
            row = mStream.ReadBytes(pm.rowBytes);
        } else {
            int count = pm.rowBytes > 250 ? mStream.ReadUInt16() : mStream.ReadUInt8();
            QByteArray data = mStream.ReadBytes(count);
            int unit = (pm.pixelSize == 16) ? 2 : 1;
            if (!PackBits::Unpack(data.constData(), data.size(), row, unpackedBytes, unit))
                Bad("packed row " + std::to_string(y) + " does not unpack to " + std::to_string(unpackedBytes) + " bytes");
        }
        const auto* src = reinterpret_cast<const UInt8*>(row.constData());
        QRgb* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            QRgb value;
            switch (pm.pixelSize) {
            case 32:
                if (components) {
                    int plane = pm.cmpCount == 4 ? 1 : 0;
                    value = qRgb(src[plane * width + x], src[(plane + 1) * width + x], src[(plane + 2) * width + x]);
                } else if (pm.packType == 2) {
                    value = qRgb(src[3 * x], src[3 * x + 1], src[3 * x + 2]);
                } else {
                    value = qRgb(src[4 * x + 1], src[4 * x + 2], src[4 * x + 3]);
                }
                break;
            case 16: {
                UInt16 v = UInt16((src[2 * x] << 8) | src[2 * x + 1]);
                int r = (v >> 10) & 0x1F, g = (v >> 5) & 0x1F, b = v & 0x1F;
                value = qRgb((r << 3) | (r >> 2), (g << 3) | (g >> 2), (b << 3) | (b >> 2));
                break;
            }
            default: {
                const int bits = pm.pixelSize;
                const int perByte = 8 / bits;
                const int shift = (perByte - 1 - x % perByte) * bits;
                int index = (src[x / perByte] >> shift) & ((1 << bits) - 1);
                if (!pm.isPixMap)
                    value = index ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
                else
                    value = pm.colors.isEmpty() ? qRgb(index, index, index) : pm.colors[index];
                break;
            }
            }
            out[x] = value;
        }
    }
    return image;
}

void PictParser::DrawImage(const QImage& image, const Rect& src, const Rect& bounds, const Rect& dst, SInt16 mode)
{
    if (!mPainter)
        return;
    QImage pixels = image;
    if ((mode & 0x3F) == srcOr && pixels.format() == QImage::Format_ARGB32) {
        // In "or" mode white source pixels leave the destination alone.
        for (int y = 0; y < pixels.height(); ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(pixels.scanLine(y));
            for (int x = 0; x < pixels.width(); ++x) {
                if ((line[x] & 0xFFFFFF) == 0xFFFFFF)
                    line[x] = 0;
            }
        }
    }
    QRectF source(src.left - bounds.left, src.top - bounds.top, src.Width(), src.Height());
    QRectF target(dst.left, dst.top, dst.Width(), dst.Height());
    mPainter->save();
    mPainter->setRenderHint(QPainter::SmoothPixmapTransform);
    mPainter->drawImage(target, pixels, source);
    mPainter->restore();
}

void PictParser::DoBits(UInt32 op)
{
    const bool direct = op == 0x009A || op == 0x009B;
    const bool packed = op != 0x0090 && op != 0x0091;
    const bool region = (op & 1) != 0;
    if (direct)
        mStream.ReadUInt32(); // base address
    PixMapHeader pm;
    ReadPixMapHeader(pm, direct);
    if (pm.isPixMap && !direct)
        ReadColorTable(pm);
    Rect src = ReadRect();
    Rect dst = ReadRect();
    SInt16 mode = mStream.ReadSInt16();
    if (region) {
        UInt16 size = mStream.ReadUInt16();
        if (size < 10)
            Bad("mask region size " + std::to_string(size));
        SkipChecked(size - 2, op);
    }
    QImage image = ReadPixelData(pm, packed);
    DrawImage(image, src, pm.bounds, dst, mode);
}

void PictParser::SkipPixPat(UInt32 op)
{
    SInt16 patType = mStream.ReadSInt16();
    SkipChecked(8, op); // the old one-bit pattern
    if (patType == 2) {
        SkipChecked(6, op); // dither colour
    } else if (patType == 1) {
        PixMapHeader pm;
        ReadPixMapHeader(pm, false);
        mInfo.pixelImageCount--; // a pattern is not an image of the picture
        if (pm.isPixMap)
            ReadColorTable(pm);
        ReadPixelData(pm, true);
    } else if (patType != 0) {
        Bad("pixel pattern type " + std::to_string(patType));
    }
}

void PictParser::DoCompressedQuickTime(UInt32)
{
    UInt32 length = mStream.ReadUInt32();
    if (length > mStream.Remaining())
        Bad("compressed image of " + std::to_string(length) + " bytes runs past the end");
    const SInt64 end = mStream.GetMarker() + length;
    mStream.ReadUInt16(); // version
    QByteArray matrixBytes = mStream.ReadBytes(36);
    MatrixRecord matrix = MatrixFromBytes(reinterpret_cast<const unsigned char*>(matrixBytes.constData()));
    UInt32 matteSize = mStream.ReadUInt32();
    ReadRect(); // matte rectangle
    SInt16 mode = mStream.ReadSInt16();
    Rect src = ReadRect();
    mStream.ReadUInt32(); // accuracy
    UInt32 maskSize = mStream.ReadUInt32();
    if (matteSize > 0) {
        // A matte is its own image description followed by its data.
        UInt32 matteIdSize = mStream.ReadUInt32();
        mStream.SetMarker(mStream.GetMarker() - 4);
        if (SInt64(matteIdSize) + matteSize > end - mStream.GetMarker())
            Bad("matte runs past its opcode");
        mStream.Skip(SInt64(matteIdSize) + matteSize);
    }
    if (maskSize > end - mStream.GetMarker())
        Bad("mask region runs past its opcode");
    mStream.Skip(maskSize);
    const SInt64 descStart = mStream.GetMarker();
    const UInt32 idSize = mStream.ReadUInt32();
    // FromBytes checks idSize against what the opcode has left.
    ImageDescription desc = ImageDescription::FromBytes(mStream.Data().mid(descStart, end - descStart));
    mStream.SetMarker(descStart + idSize);
    SInt64 available = end - mStream.GetMarker();
    SInt64 dataSize = desc.dataSize > 0 ? desc.dataSize : available;
    if (dataSize > available)
        Bad("compressed data of " + std::to_string(dataSize) + " bytes runs past its opcode");
    if (!mInfo.compressedCodec)
        mInfo.compressedCodec = desc.cType;
    mInfo.depth = std::max<int>(mInfo.depth, desc.depth == 40 ? 8 : std::min<int>(desc.depth, 32));
    mInfo.pixelImageCount++;
    if (desc.cType == 'jpeg') {
        // The description and the JPEG data each state a size: both are checked
        // before the data is decoded, as a few bytes of JPEG can claim gigabytes.
        CheckImageSize(std::max<int>(desc.width, 1), std::max<int>(desc.height, 1), "compressed image");
        QByteArray jpeg = mStream.Data().mid(mStream.GetMarker(), dataSize);
        QBuffer buffer(&jpeg);
        QImageReader reader(&buffer, "JPEG");
        const QSize stated = reader.size();
        if (!stated.isValid())
            Bad("JPEG data inside the picture states no size");
        CheckImageSize(stated.width(), stated.height(), "JPEG data inside the picture");
        QImage image = reader.read();
        if (image.isNull())
            Bad("JPEG data inside the picture does not decode");
        if (mPainter) {
            mPainter->save();
            mPainter->setWorldTransform(matrix.transform, true);
            mPainter->setRenderHint(QPainter::SmoothPixmapTransform);
            Rect source = src.IsEmpty() ? MakeRect(0, 0, image.height(), image.width()) : src;
            QRectF target(source.left, source.top, source.Width(), source.Height());
            mPainter->drawImage(target, image, target);
            mPainter->restore();
        }
        (void)mode;
    } else {
        mUnsupportedCodec = true;
    }
    mStream.SetMarker(end);
}

} // namespace

qsizetype FindPictStart(const QByteArray& bytes)
{
    auto isPict = [&](qsizetype at) {
        if (bytes.size() < at + 12)
            return false;
        const auto* p = reinterpret_cast<const UInt8*>(bytes.constData() + at);
        if (p[10] == 0x11 && p[11] == 0x01)
            return true;
        return bytes.size() >= at + 14 && p[10] == 0x00 && p[11] == 0x11 && p[12] == 0x02 && p[13] == 0xFF;
    };
    if (isPict(0))
        return 0;
    if (isPict(Picture::kFileHeaderSize))
        return Picture::kFileHeaderSize;
    return -1;
}

ExceptionCode ReadPictWithReason(const QByteArray& data, QPainter* painter, PictInfo& info, int largestImageSide)
{
    PictParser parser(data, painter, info, largestImageSide);
    ExceptionCode status = CatchException([&] {
        try {
            parser.Run();
        } catch (const ExceptionCode& e) {
            if (e.Code() == eofErr)
                ThrowOSErr_(codecBadDataErr, "picture cut short");
            throw;
        }
    });
    if (status == noErr && parser.UnsupportedCodec())
        return ExceptionCode(noCodecErr, "picture holds an image of a codec that cannot be read");
    return status;
}

OSStatus ReadPict(const QByteArray& data, QPainter* painter, PictInfo& info, int largestImageSide)
{
    return ReadPictWithReason(data, painter, info, largestImageSide).Code();
}
