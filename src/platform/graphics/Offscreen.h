#pragma once

#include "Geometry.h"
#include "MacTypes.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <memory>

// The port a medium draws into: a painter on a window, a printer, a picture
// being recorded or an offscreen image.
using CGrafPtr = QPainter*;

// An offscreen world: a QImage with its bounds as a QuickDraw rectangle. At
// depth 32 the pixels are ARGB premultiplied; 1, 8 and 16 bits are kept for
// the pixel operations that work at those depths. A fresh world is white.
class Offscreen {
public:
    Offscreen() = default;
    explicit Offscreen(const Rect& bounds, int depth = 32);
    // Takes over an image; its top-left pixel sits at `origin` of the bounds.
    explicit Offscreen(QImage image, Point origin = {});

    bool IsNull() const { return mImage.isNull(); }
    const Rect& Bounds() const { return mBounds; }
    int Depth() const { return mImage.isNull() ? 0 : mImage.depth(); }
    int Width() const { return mBounds.Width(); }
    int Height() const { return mBounds.Height(); }

    QImage& Image() { return mImage; }
    const QImage& Image() const { return mImage; }

    void Erase(const QColor& color = Qt::white);

    // A painter whose coordinates are those of the bounds (so drawing at
    // bounds.left, bounds.top lands on the first pixel).
    std::unique_ptr<QPainter> MakePainter();

    // Copies the pixels into `port` at the rectangle (scaled when sizes differ).
    void CopyTo(QPainter& port, const Rect& destination) const;

private:
    QImage mImage;
    Rect mBounds;
};

// The format an offscreen world of `depth` bits per pixel uses.
QImage::Format OffscreenFormatForDepth(int depth);

// Paints into an offscreen world for the length of a scope.
class StOffscreenPort {
public:
    explicit StOffscreenPort(Offscreen& world)
        : mPainter(world.MakePainter())
    {
    }
    ~StOffscreenPort() { End(); }
    StOffscreenPort(const StOffscreenPort&) = delete;
    StOffscreenPort& operator=(const StOffscreenPort&) = delete;

    CGrafPtr Port() const { return mPainter.get(); }
    // Ends the drawing so the pixels can be read; the port is gone afterwards.
    void End()
    {
        if (mPainter && mPainter->isActive())
            mPainter->end();
    }

private:
    std::unique_ptr<QPainter> mPainter;
};
