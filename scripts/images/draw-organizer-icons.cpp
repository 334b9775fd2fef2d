// Draws the organizer list's icons into resources/icons: the whole index (a stack
// of pictures), a field's group (a folder), a value (a tag) and a date (a
// calendar leaf). Each is drawn at 16 pixels and at twice that ("@2x").
// Build and run from the repository root:
//   g++ -std=c++20 -fPIC scripts/images/draw-organizer-icons.cpp -o /tmp/draw-organizer-icons \
//       $(pkg-config --cflags --libs Qt6Gui) && QT_QPA_PLATFORM=offscreen /tmp/draw-organizer-icons
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {

const QColor kInk(60, 64, 72);
const QColor kBlue(52, 120, 216);
const QColor kPaleBlue(200, 218, 244);
const QColor kFolder(120, 160, 215);
const QColor kFolderLight(170, 198, 236);
const QColor kRed(200, 56, 48);
const QColor kGreen(80, 150, 90);

using Glyph = std::function<void(QPainter&)>;

// Draws on a 16 x 16 design grid, saved at 16 pixels and at 32.
void Save(const QString& name, const Glyph& draw)
{
    for (int scale : { 1, 2 }) {
        const int pixels = 16 * scale;
        QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        draw(p);
        p.end();
        image.save(QStringLiteral("resources/icons/") + name + (scale == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png")));
    }
}

QPen Line(const QColor& colour, double width = 1.0)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A framed picture: sky, a hill and a sun.
void Picture(QPainter& p, const QRectF& frame)
{
    p.setPen(Line(kInk));
    p.setBrush(Qt::white);
    p.drawRect(frame);
    const QRectF inside = frame.adjusted(1.5, 1.5, -1.5, -1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kPaleBlue);
    p.drawRect(inside);
    QPainterPath hill;
    hill.moveTo(inside.bottomLeft());
    hill.lineTo(inside.left() + inside.width() * 0.45, inside.top() + inside.height() * 0.45);
    hill.lineTo(inside.right(), inside.bottom());
    hill.closeSubpath();
    p.setBrush(kGreen);
    p.drawPath(hill);
    p.setBrush(QColor(240, 190, 60));
    p.drawEllipse(QPointF(inside.right() - 2, inside.top() + 2), 1.3, 1.3);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    // The whole index: pictures stacked.
    Save(QStringLiteral("organizer-library"), [](QPainter& p) {
        p.setPen(Line(kInk));
        p.setBrush(QColor(235, 235, 235));
        p.drawRect(QRectF(4.5, 1.5, 10, 8));
        Picture(p, QRectF(1.5, 5.5, 11, 9));
    });
    // A field's group: a folder.
    Save(QStringLiteral("organizer-group"), [](QPainter& p) {
        QPainterPath back;
        back.moveTo(1.5, 3.5);
        back.lineTo(6, 3.5);
        back.lineTo(7.5, 5);
        back.lineTo(14.5, 5);
        back.lineTo(14.5, 13.5);
        back.lineTo(1.5, 13.5);
        back.closeSubpath();
        p.setPen(Line(kFolder.darker(140)));
        p.setBrush(kFolder);
        p.drawPath(back);
        p.setBrush(kFolderLight);
        p.drawRect(QRectF(1.5, 6.5, 13, 7));
    });
    // A value: a tag with its hole.
    Save(QStringLiteral("organizer-value"), [](QPainter& p) {
        QPainterPath tag;
        tag.moveTo(1.5, 7.5);
        tag.lineTo(6.5, 2.5);
        tag.lineTo(14.5, 2.5);
        tag.lineTo(14.5, 12.5);
        tag.lineTo(6.5, 12.5);
        tag.closeSubpath();
        p.setPen(Line(kBlue.darker(130)));
        p.setBrush(kPaleBlue);
        p.drawPath(tag);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(6, 7.5), 1.3, 1.3);
    });
    // A date: a calendar leaf with its red band.
    Save(QStringLiteral("organizer-date"), [](QPainter& p) {
        p.setPen(Line(kInk));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(2.5, 2.5, 11, 11.5), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawRect(QRectF(3, 3, 10, 3));
        p.setBrush(kInk);
        for (int row = 0; row < 2; ++row)
            for (int column = 0; column < 3; ++column)
                p.drawRect(QRectF(4.5 + column * 2.8, 8 + row * 2.6, 1.6, 1.4));
    });
    return 0;
}
