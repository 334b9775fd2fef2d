#include "PixPattern.h"

#include <QPaintEngine>
#include <QPainter>

PixPattern::PixPattern(QImage tile, QImage tile2x)
    : mTile(std::move(tile))
{
    if (!mTile.isNull() && tile2x.size() == mTile.size() * 2) {
        mTile2x = std::move(tile2x);
        mTile2x.setDevicePixelRatio(2.0);
    }
    mTile.setDevicePixelRatio(1.0);
}

QImage PixPattern::Tile(qreal devicePixelRatio) const
{
    if (devicePixelRatio <= 1.0 || IsNull())
        return mTile;
    const QImage& source = mTile2x.isNull() ? mTile : mTile2x;
    const QSize pixels(qRound(mTile.width() * devicePixelRatio), qRound(mTile.height() * devicePixelRatio));
    if (pixels == source.size())
        return source;
    // A screen between the two (1.25, 1.5) or past the fine tile gets a tile made
    // smoothly at its own size once: the painter would otherwise pick pixels of
    // the fine tile unevenly and fine lines would come and go across the view.
    if (mScaled.size() != pixels) {
        mScaled = source.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        mScaled.setDevicePixelRatio(qreal(pixels.width()) / mTile.width());
    }
    return mScaled;
}

QBrush PixPattern::Brush(qreal devicePixelRatio, QPoint anchor) const
{
    if (IsNull())
        return QBrush();
    // Only the anchor's place within one tile matters; a surface scrolled by
    // millions of pixels keeps its offsets small.
    const QSize size = Size();
    const int x = ((anchor.x() % size.width()) + size.width()) % size.width();
    const int y = ((anchor.y() % size.height()) + size.height()) % size.height();
    QImage tile = Tile(devicePixelRatio);
    if (x == 0 && y == 0)
        return QBrush(tile);
    const QPoint key(x, y);
    if (mShifted.isNull() || mShiftedAnchor != key || mShifted.devicePixelRatio() != tile.devicePixelRatio()) {
        // The tile turned round by the anchor rather than a brush transform: the
        // painter takes a texture's transform in the texture's own pixels, which
        // differ from the painter's on a dense screen.
        const qreal ratio = tile.devicePixelRatio();
        const int dx = qRound(x * ratio), dy = qRound(y * ratio);
        QImage shifted(tile.size(), tile.format());
        QPainter painter(&shifted);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        tile.setDevicePixelRatio(1.0);
        for (int oy : { dy - tile.height(), dy }) {
            for (int ox : { dx - tile.width(), dx })
                painter.drawImage(ox, oy, tile);
        }
        painter.end();
        shifted.setDevicePixelRatio(ratio);
        mShifted = shifted;
        mShiftedAnchor = key;
    }
    return QBrush(mShifted);
}

qreal PaintDevicePixelRatio(const QPainter& painter)
{
    if (QPaintEngine* engine = painter.paintEngine(); engine && engine->paintDevice())
        return engine->paintDevice()->devicePixelRatio();
    return painter.device() ? painter.device()->devicePixelRatio() : 1.0;
}
