#include "Offscreen.h"

#include "GraphicsErrors.h"

#include "ExceptionCode.h"

QImage::Format OffscreenFormatForDepth(int depth)
{
    switch (depth) {
    case 1:
        return QImage::Format_Mono;
    case 8:
        return QImage::Format_Indexed8;
    case 16:
        return QImage::Format_RGB555;
    case 24:
        return QImage::Format_RGB888;
    default:
        return QImage::Format_ARGB32_Premultiplied;
    }
}

Offscreen::Offscreen(const Rect& bounds, int depth)
    : mBounds(bounds)
{
    if (bounds.IsEmpty())
        ThrowOSErr_(paramErr, "offscreen world with empty bounds");
    ThrowIfImageTooLarge(bounds.Width(), bounds.Height(), "offscreen world");
    mImage = QImage(bounds.Width(), bounds.Height(), OffscreenFormatForDepth(depth));
    if (mImage.isNull())
        ThrowOSErr_(memFullErr, "offscreen world too large");
    if (depth == 1) {
        mImage.setColorTable({ qRgb(255, 255, 255), qRgb(0, 0, 0) });
    } else if (depth == 8) {
        QList<QRgb> grey;
        for (int i = 0; i < 256; ++i)
            grey.append(qRgb(255 - i, 255 - i, 255 - i));
        mImage.setColorTable(grey);
    }
    Erase();
}

Offscreen::Offscreen(QImage image, Point origin)
    : mImage(std::move(image))
{
    mBounds = MakeRect(origin.v, origin.h, origin.v + mImage.height(), origin.h + mImage.width());
}

void Offscreen::Erase(const QColor& color)
{
    if (mImage.isNull())
        return;
    if (mImage.format() == QImage::Format_Mono || mImage.format() == QImage::Format_Indexed8)
        mImage.fill(0); // entry 0 is white in both tables
    else
        mImage.fill(color);
}

std::unique_ptr<QPainter> Offscreen::MakePainter()
{
    if (mImage.isNull())
        ThrowOSErr_(err_NilPointer, "drawing into an empty offscreen world");
    if (mImage.format() == QImage::Format_Mono || mImage.format() == QImage::Format_Indexed8)
        ThrowOSErr_(paramErr, "indexed offscreen worlds are not drawn into");
    auto painter = std::make_unique<QPainter>(&mImage);
    painter->translate(-mBounds.left, -mBounds.top);
    return painter;
}

void Offscreen::CopyTo(QPainter& port, const Rect& destination) const
{
    if (mImage.isNull())
        return;
    port.drawImage(ToQRect(destination), mImage);
}
