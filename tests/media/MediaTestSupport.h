#pragma once

#include "CMedia.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QImage>
#include <QString>
#include <QUrl>

// A 300 x 200 PNG whose quadrants are red (top left), green (top right), blue
// (bottom left) and yellow (bottom right), written into the test's folder.
inline QString WriteQuadrantImage(const QString& name = QStringLiteral("quadrants.png"), int width = 300,
    int height = 200)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool right = x >= width / 2, bottom = y >= height / 2;
            image.setPixel(x, y, !bottom ? (right ? qRgb(0, 255, 0) : qRgb(255, 0, 0)) : (right ? qRgb(255, 255, 0) : qRgb(0, 0, 255)));
        }
    QString path = TestTempDir() + QLatin1Char('/') + name;
    image.save(path);
    return path;
}

inline QUrl FileUrl(const QString& path)
{
    return QUrl::fromLocalFile(path);
}

// Whether a pixel is close to a colour (JPEG and scaling blur edges).
inline bool Near(QRgb pixel, QColor expected, int tolerance = 40)
{
    return std::abs(qRed(pixel) - expected.red()) <= tolerance && std::abs(qGreen(pixel) - expected.green()) <= tolerance
        && std::abs(qBlue(pixel) - expected.blue()) <= tolerance;
}

// Draws the medium with DrawMatched at its bounds into a white image of the bounds' size.
inline QImage DrawnMatchedAtBounds(CMedia& media)
{
    Rect bounds;
    EXPECT_EQ(media.GetBoundsRect(&bounds), noErr);
    Offscreen world(bounds);
    StOffscreenPort port(world);
    EXPECT_EQ(media.SetGWorld(port.Port()), noErr);
    EXPECT_EQ(media.DrawMatched(), noErr);
    port.End();
    media.SetGWorld(nullptr);
    return world.Image();
}
