#include "BundleStrings.h"
#include "TestSupport.h"
#include "UResources.h"

#include <QDirIterator>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {
QString WritePicture(const QString& name, int side, const QColor& colour)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(colour);
    const QString path = TestTempDir() + QLatin1Char('/') + name;
    EXPECT_TRUE(image.save(path, "PNG")) << path.toStdString();
    return path;
}
} // namespace

// A shipped icon with its "@2x" picture answers every size and ratio as an icon
// holding both pictures does; the dense picture is read only when first asked
// for, so an ordinary screen never reads it.
TEST(Resources, ShippedIconsReadTheirDensePictureOnlyWhenAskedForIt)
{
    const QString path = WritePicture(QStringLiteral("badge.png"), 16, Qt::red);
    const QString dense = WritePicture(QStringLiteral("badge@2x.png"), 32, Qt::blue);

    const QIcon lazy = UResources::ReadIcon(path);
    EXPECT_EQ(lazy.pixmap(QSize(16, 16), 1.0).toImage().pixelColor(8, 8), QColor(Qt::red));
    WritePicture(QStringLiteral("badge@2x.png"), 32, Qt::green);
    EXPECT_EQ(lazy.pixmap(QSize(16, 16), 2.0).toImage().pixelColor(16, 16), QColor(Qt::green));
    WritePicture(QStringLiteral("badge@2x.png"), 32, Qt::blue);

    QIcon both;
    both.addPixmap(QPixmap::fromImage(UResources::ReadImage(path)));
    both.addPixmap(QPixmap::fromImage(UResources::ReadImage(dense)));
    for (const QSize size : {QSize(8, 8), QSize(16, 16), QSize(20, 20), QSize(24, 16), QSize(32, 32), QSize(48, 48)}) {
        for (qreal ratio : {1.0, 2.0}) {
            const QIcon read = UResources::ReadIcon(path);
            const QString at = QStringLiteral("%1x%2 at %3").arg(size.width()).arg(size.height()).arg(ratio);
            const QPixmap given = read.pixmap(size, ratio);
            const QPixmap expected = both.pixmap(size, ratio);
            EXPECT_EQ(given.size(), expected.size()) << at.toStdString();
            EXPECT_EQ(given.devicePixelRatio(), expected.devicePixelRatio()) << at.toStdString();
            EXPECT_EQ(given.toImage().pixelColor(given.width() / 2, given.height() / 2),
                expected.toImage().pixelColor(expected.width() / 2, expected.height() / 2))
                << at.toStdString();

            QImage painted(size * ratio, QImage::Format_ARGB32);
            painted.setDevicePixelRatio(ratio);
            painted.fill(Qt::transparent);
            QImage paintedBoth = painted;
            {
                QPainter painter(&painted);
                UResources::ReadIcon(path).paint(&painter, QRect(QPoint(), size));
                QPainter painterBoth(&paintedBoth);
                both.paint(&painterBoth, QRect(QPoint(), size));
            }
            EXPECT_EQ(painted, paintedBoth) << at.toStdString();
        }
        EXPECT_EQ(UResources::ReadIcon(path).actualSize(size), both.actualSize(size));
    }
    EXPECT_EQ(UResources::ReadIcon(path).availableSizes(), both.availableSizes());
}

// The program's own pictures read as Qt's reader reads them, pixel for pixel,
// whatever their kind of PNG (with or without alpha, grey, a palette).
TEST(Resources, ShippedPicturesReadAsQtReadsThem)
{
    InitBundleResources();
    int read = 0;
    for (QDirIterator it(QStringLiteral(":/"), { QStringLiteral("*.png") }, QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        const QImage expected = QImageReader(path).read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(expected.isNull()) << path.toStdString();
        EXPECT_EQ(UResources::ReadImage(path).convertToFormat(QImage::Format_ARGB32), expected) << path.toStdString();
        ++read;
    }
    EXPECT_GT(read, 100) << "pictures the program ships";
}
