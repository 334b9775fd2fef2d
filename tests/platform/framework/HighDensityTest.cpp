// A program of its own: the screen here has two device pixels to the logical one.
#include "FrameworkTestSupport.h"

#include "LStdControls.h"
#include "LView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>

namespace {

// Set before the test program makes its application.
const bool kDoubleDensity = [] {
    qputenv("QT_SCALE_FACTOR", "2");
    return true;
}();

// Draws a hairline (one device pixel, whatever the density) down column 10.
class HairlineView : public LOffscreenView {
public:
    using LOffscreenView::LOffscreenView;
    void DrawSelf(QPainter& painter) override
    {
        ++draws;
        painter.fillRect(rect(), Qt::white);
        painter.setPen(QPen(Qt::black, 0));
        painter.drawLine(10, 0, 10, height());
    }
    int draws = 0;
};

SPaneInfo Frame(int width, int height)
{
    SPaneInfo info;
    info.width = width;
    info.height = height;
    return info;
}

// The device pixels of a row that are darker than mid grey.
int DarkPixelsInRow(const QImage& image, int row)
{
    int dark = 0;
    for (int x = 0; x < image.width(); ++x)
        dark += qGray(image.pixel(x, row)) < 128 ? 1 : 0;
    return dark;
}

} // namespace

TEST(HighDensity, OffscreenViewDrawsAHairlineOneDevicePixelWide)
{
    SetUpFrameworkFixture();
    HairlineView view(Frame(60, 40));
    view.Show();
    ASSERT_DOUBLE_EQ(view.devicePixelRatioF(), 2.0);
    const QImage picture = view.grab().toImage();
    ASSERT_EQ(picture.width(), 120); // device pixels
    EXPECT_EQ(DarkPixelsInRow(picture, 30), 1) << "a buffer at the logical size doubles the line";
    EXPECT_LT(qGray(picture.pixel(20, 30)), 128);
    EXPECT_EQ(qGray(picture.pixel(22, 30)), 255);
    if (qEnvironmentVariableIsSet("ORVEX_SAVE_PICTURES"))
        picture.save(QStringLiteral("hairline-at-2x.png"));
}

TEST(HighDensity, PartOfTheViewExposedIsDrawnAtItsPlace)
{
    SetUpFrameworkFixture();
    HairlineView view(Frame(60, 40));
    view.Show();
    // Only the right half is exposed: the line (at x = 10) is not in it, and the
    // buffer must land at the exposed part's place, not at the view's origin.
    QImage target(QSize(60, 40) * 2, QImage::Format_ARGB32_Premultiplied);
    target.setDevicePixelRatio(2);
    target.fill(Qt::red);
    view.render(&target, QPoint(30, 0), QRegion(30, 0, 30, 40));
    EXPECT_EQ(QColor(target.pixel(100, 40)), QColor(Qt::white));
    EXPECT_EQ(QColor(target.pixel(20, 40)), QColor(Qt::red)); // left alone
    EXPECT_EQ(QColor(target.pixel(61, 40)), QColor(Qt::white));
}

TEST(HighDensity, AScreenChangeRedrawsAndIconsFollowTheDensity)
{
    SetUpFrameworkFixture();
    HairlineView view(Frame(60, 40));
    view.Show();
    QCoreApplication::processEvents();
    const int before = view.draws;
    QEvent moved(QEvent::ScreenChangeInternal);
    QApplication::sendEvent(&view, &moved);
    QCoreApplication::processEvents();
    EXPECT_GT(view.draws, before);

    // An icon pane draws the icon's pixels for the density: of an icon made in 32
    // and 64 pixels, a 32-point pane at ratio 2 shows the 64-pixel one.
    QPixmap small(32, 32);
    small.fill(Qt::blue);
    QImage big(64, 64, QImage::Format_RGB32);
    for (int x = 0; x < 64; ++x) {
        for (int y = 0; y < 64; ++y)
            big.setPixel(x, y, x % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    }
    QIcon twoSizes;
    twoSizes.addPixmap(small);
    twoSizes.addPixmap(QPixmap::fromImage(big));
    LImagePane icon(Frame(32, 32), QImage());
    icon.SetIcon(twoSizes);
    icon.Show();
    const QImage picture = icon.grab().toImage();
    ASSERT_EQ(picture.width(), 64);
    EXPECT_EQ(QColor(picture.pixel(10, 20)), QColor(Qt::white));
    EXPECT_EQ(QColor(picture.pixel(11, 20)), QColor(Qt::black));
}
