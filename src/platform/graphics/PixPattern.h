#pragma once

#include <QBrush>
#include <QImage>
#include <QPoint>

class QPainter;

// A pixel pattern: a tile that repeats over what it fills, kept at its own size
// and, for dense screens, at twice that size, so that a screen of device pixel
// ratio 2 is filled with the fine tile pixel for pixel instead of an enlarged one.
class PixPattern {
public:
    PixPattern() = default;
    // The 1x tile; a null or mis-sized 2x tile is left out (the 1x one serves).
    PixPattern(QImage tile, QImage tile2x);

    bool IsNull() const { return mTile.isNull(); }
    // The tile's size in logical pixels.
    QSize Size() const { return mTile.size(); }
    // The tile that suits a device pixel ratio (with that ratio set on it): the
    // fine tile at 2, one scaled from it for other ratios above 1.
    QImage Tile(qreal devicePixelRatio) const;
    // A brush of the tile whose repeat starts at `anchor` (logical coordinates of
    // the painter that fills with it), so that a scrolled surface keeps its pattern.
    QBrush Brush(qreal devicePixelRatio, QPoint anchor = QPoint()) const;

private:
    QImage mTile;
    QImage mTile2x;
    // The tile made for a ratio other than 1 and 2.
    mutable QImage mScaled;
    // The last tile turned round to an anchor: a page of cells asks for the same one.
    mutable QImage mShifted;
    mutable QPoint mShiftedAnchor;
};

// The device pixel ratio a painter draws at: that of the surface it really paints
// on (a widget rendered into a dense image paints on the image, not the widget).
qreal PaintDevicePixelRatio(const QPainter& painter);
