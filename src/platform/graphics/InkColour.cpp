#include "InkColour.h"

#include <QImage>

QPixmap InkFollowingPalette(const QPixmap& drawn, const QColor& ink)
{
    QImage image = drawn.toImage().convertToFormat(QImage::Format_ARGB32);
    constexpr int kMostGreySaturation = 48; // of 255: a stroke, not a colour
    constexpr int kDarkStroke = 128;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = QColor::fromRgba(line[x]);
            if (pixel.alpha() == 0 || pixel.hsvSaturation() > kMostGreySaturation || pixel.lightness() >= kDarkStroke)
                continue;
            line[x] = qRgba(ink.red(), ink.green(), ink.blue(), pixel.alpha());
        }
    }
    QPixmap recoloured = QPixmap::fromImage(image);
    recoloured.setDevicePixelRatio(drawn.devicePixelRatio());
    return recoloured;
}
