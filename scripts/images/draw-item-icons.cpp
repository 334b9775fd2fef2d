// Draws the index items' bundle icons into resources/icons: the media storage
// badges, the drag count badges, the padlock, the plain document icon and the
// alerts' stop, caution and note icons that stand in where the desktop's icon
// theme has none. Each is drawn at its size
// and at twice its size ("@2x") for high-density screens.
// Build and run from the repository root:
//   g++ -std=c++20 -fPIC scripts/images/draw-item-icons.cpp -o /tmp/draw-item-icons \
//       $(pkg-config --cflags --libs Qt6Gui) && QT_QPA_PLATFORM=offscreen /tmp/draw-item-icons
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {

const QColor kInk(60, 64, 72);
const QColor kBlue(52, 120, 216);
const QColor kGrey(120, 124, 132);
const QColor kRed(200, 36, 36);
const QColor kGold(214, 160, 40);

using Glyph = std::function<void(QPainter&)>;

// Draws on a 32 x 32 design grid, saved at `side` and at twice that.
void Save(const QString& name, int side, const Glyph& draw)
{
    for (int scale : {1, 2}) {
        const int pixels = side * scale;
        QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(pixels / 32.0, pixels / 32.0);
        draw(p);
        p.end();
        image.save(QStringLiteral("resources/icons/") + name + (scale == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png")));
    }
}

void Disc(QPainter& p, const QColor& colour)
{
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(colour);
    p.drawEllipse(QRectF(2, 2, 28, 28));
}

// The media copy stored inside the index: a box.
void StoredBadge(QPainter& p)
{
    Disc(p, kBlue);
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(9, 12, 14, 10));
    p.drawLine(QPointF(8, 12), QPointF(24, 12));
    p.drawLine(QPointF(14, 16), QPointF(18, 16));
}

// The media file left where it is: a curved arrow pointing to it.
void LinkedBadge(QPainter& p)
{
    Disc(p, kGrey);
    QPainterPath arrow;
    arrow.moveTo(10, 22);
    arrow.cubicTo(10, 14, 14, 11, 21, 11);
    p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arrow);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygonF({QPointF(19, 6.5), QPointF(25, 11), QPointF(19, 15.5)}));
}

// A count badge wide enough for `digits` digits, at the top right of its square.
void DragBadge(QPainter& p, int digits)
{
    const double width = 12 + 5 * digits;
    const QRectF pill(31 - width, 1, width, 13);
    p.setPen(QPen(Qt::white, 1.4));
    p.setBrush(kRed);
    p.drawRoundedRect(pill, 6.5, 6.5);
}

void Padlock(QPainter& p)
{
    p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(9, 4, 14, 16), 0, 180 * 16);
    p.drawLine(QPointF(9, 12), QPointF(9, 15));
    p.drawLine(QPointF(23, 12), QPointF(23, 15));
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kGold);
    p.drawRoundedRect(QRectF(6, 14, 20, 15), 2.5, 2.5);
    p.setBrush(kInk);
    p.drawEllipse(QRectF(14, 19, 4, 4));
}

// A sheet with a folded corner and a few lines of text.
void Document(QPainter& p)
{
    QPainterPath sheet;
    sheet.moveTo(7, 2);
    sheet.lineTo(20, 2);
    sheet.lineTo(26, 8);
    sheet.lineTo(26, 30);
    sheet.lineTo(7, 30);
    sheet.closeSubpath();
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    p.setBrush(QColor(220, 224, 230));
    p.drawPolygon(QPolygonF({QPointF(20, 2), QPointF(20, 8), QPointF(26, 8)}));
    p.setPen(QPen(QColor(170, 176, 186), 1));
    for (double y = 12; y <= 26; y += 3.5)
        p.drawLine(QPointF(10, y), QPointF(23, y));
}

// The alerts' icons: a red disc with a cross, an amber triangle with an
// exclamation mark, a blue disc with an "i".
void StopAlert(QPainter& p)
{
    p.setPen(QPen(QColor(150, 24, 24), 1));
    p.setBrush(kRed);
    p.drawEllipse(QRectF(2, 2, 28, 28));
    p.setPen(QPen(Qt::white, 3.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 11), QPointF(21, 21));
    p.drawLine(QPointF(21, 11), QPointF(11, 21));
}

void CautionAlert(QPainter& p)
{
    QPainterPath triangle;
    triangle.moveTo(16, 2.5);
    triangle.lineTo(30, 28.5);
    triangle.lineTo(2, 28.5);
    triangle.closeSubpath();
    p.setPen(QPen(QColor(160, 110, 20), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kGold);
    p.drawPath(triangle);
    p.setPen(QPen(kInk, 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 11), QPointF(16, 19.5));
    p.drawPoint(QPointF(16, 24.5));
}

void NoteAlert(QPainter& p)
{
    p.setPen(QPen(QColor(30, 80, 160), 1));
    p.setBrush(kBlue);
    p.drawEllipse(QRectF(2, 2, 28, 28));
    p.setPen(QPen(Qt::white, 3.4, Qt::SolidLine, Qt::RoundCap));
    p.drawPoint(QPointF(16, 9.5));
    p.drawLine(QPointF(16, 15), QPointF(16, 23));
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    Save(QStringLiteral("badge-stored"), 16, StoredBadge);
    Save(QStringLiteral("badge-linked"), 16, LinkedBadge);
    Save(QStringLiteral("lock"), 16, Padlock);
    for (int digits = 1; digits <= 4; ++digits)
        Save(QStringLiteral("dragbadge%1").arg(digits), 48, [digits](QPainter& p) { DragBadge(p, digits); });
    Save(QStringLiteral("document"), 128, Document);
    Save(QStringLiteral("alert-stop"), 48, StopAlert);
    Save(QStringLiteral("alert-caution"), 48, CautionAlert);
    Save(QStringLiteral("alert-note"), 48, NoteAlert);
    return 0;
}
