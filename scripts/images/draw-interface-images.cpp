// Draws the interface kit's toolbar images and cursors into resources/.
// Build and run from the repository root:
//   g++ -std=c++20 -fPIC scripts/images/draw-interface-images.cpp -o /tmp/draw-images \
//       $(pkg-config --cflags --libs Qt6Gui) && QT_QPA_PLATFORM=offscreen /tmp/draw-images
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <functional>

namespace {
const QColor kInk(60, 64, 72);
const QColor kBlue(52, 120, 216);
const QColor kGreen(46, 160, 67);
const QColor kRed(208, 64, 52);
const QColor kOrange(230, 140, 30);

using Glyph = std::function<void(QPainter&)>;

void Save(const QString& path, int w, int h, const Glyph& draw)
{
    QImage image(w * 2, h * 2, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(2.0 * w / 32.0, 2.0 * h / 32.0);
        draw(p);
    }
    image = image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.save(path);
}

// A closed polygon through the points.
QPainterPath ClosedPath(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    for (const QPointF& point : points) {
        if (path.elementCount() == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

QPen Pen(const QColor& c, double width = 2.4)
{
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Magnifier(QPainter& p, QPointF centre = { 13, 13 }, double r = 8)
{
    p.setPen(Pen(kInk, 2.6));
    p.setBrush(QColor(220, 235, 250));
    p.drawEllipse(centre, r, r);
    p.setPen(Pen(kInk, 4));
    QPointF d(r * 0.72, r * 0.72);
    p.drawLine(centre + d, centre + d * 2.0);
}

void Gear(QPainter& p, QPointF c, double r, const QColor& colour)
{
    QPainterPath path;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        double a = i * M_PI / teeth;
        double rr = (i % 2 == 0) ? r : r * 0.78;
        double a0 = a - M_PI / (teeth * 2.4), a1 = a + M_PI / (teeth * 2.4);
        QPointF p0 = c + QPointF(std::cos(a0) * rr, std::sin(a0) * rr);
        QPointF p1 = c + QPointF(std::cos(a1) * rr, std::sin(a1) * rr);
        if (i == 0)
            path.moveTo(p0);
        else
            path.lineTo(p0);
        path.lineTo(p1);
    }
    path.closeSubpath();
    path.addEllipse(c, r * 0.32, r * 0.32);
    path.setFillRule(Qt::OddEvenFill);
    p.setPen(Pen(colour.darker(140), 1.2));
    p.setBrush(colour);
    p.drawPath(path);
}

void Document(QPainter& p, QRectF r = { 7, 3, 18, 26 })
{
    QPainterPath path = ClosedPath({ { r.topLeft() }, { r.right() - 6, r.top() }, { r.right(), r.top() + 6 }, { r.bottomRight() }, { r.bottomLeft() } });
    p.setPen(Pen(kInk, 1.6));
    p.setBrush(Qt::white);
    p.drawPath(path);
    p.drawLine(QPointF(r.right() - 6, r.top()), QPointF(r.right() - 6, r.top() + 6));
    p.drawLine(QPointF(r.right() - 6, r.top() + 6), QPointF(r.right(), r.top() + 6));
}

void Monitor(QPainter& p)
{
    p.setPen(Pen(kInk, 2));
    p.setBrush(QColor(120, 180, 230));
    p.drawRoundedRect(QRectF(3, 5, 26, 17), 2, 2);
    p.setBrush(QColor(90, 170, 90));
    QPainterPath hill = ClosedPath({ { 4, 21 }, { 12, 13 }, { 17, 18 }, { 21, 15 }, { 28, 21 } });
    p.setPen(Qt::NoPen);
    p.drawPath(hill);
    p.setPen(Pen(kInk, 2));
    p.drawLine(QPointF(16, 22), QPointF(16, 26));
    p.drawLine(QPointF(10, 27), QPointF(22, 27));
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& colour, double width = 3.2)
{
    p.setPen(Pen(colour, width));
    p.drawLine(from, to);
    QPointF d = to - from;
    double len = std::hypot(d.x(), d.y());
    QPointF u = d / len, n(-u.y(), u.x());
    p.drawLine(to, to - u * 6 + n * 5);
    p.drawLine(to, to - u * 6 - n * 5);
}

void Plus(QPainter& p, QPointF c, double r, const QColor& colour)
{
    p.setPen(Pen(colour, 2.8));
    p.drawLine(c - QPointF(r, 0), c + QPointF(r, 0));
    p.drawLine(c - QPointF(0, r), c + QPointF(0, r));
}

void Minus(QPainter& p, QPointF c, double r, const QColor& colour)
{
    p.setPen(Pen(colour, 2.8));
    p.drawLine(c - QPointF(r, 0), c + QPointF(r, 0));
}

void Letter(QPainter& p, const QString& text, QRectF r, int size, const QColor& colour, bool bold = true)
{
    QFont font(QStringLiteral("DejaVu Sans"), size);
    font.setBold(bold);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(r, Qt::AlignCenter, text);
}

void Trash(QPainter& p)
{
    p.setPen(Pen(kInk, 2));
    p.setBrush(QColor(200, 205, 212));
    QPainterPath can = ClosedPath({ { 8, 9 }, { 24, 9 }, { 22.5, 29 }, { 9.5, 29 } });
    p.drawPath(can);
    p.drawLine(QPointF(5, 8), QPointF(27, 8));
    p.drawLine(QPointF(13, 8), QPointF(14, 4));
    p.drawLine(QPointF(14, 4), QPointF(18, 4));
    p.drawLine(QPointF(18, 4), QPointF(19, 8));
    p.setPen(Pen(kInk, 1.6));
    for (double x : { 12.5, 16.0, 19.5 })
        p.drawLine(QPointF(x, 13), QPointF(x, 25));
}

void Folder(QPainter& p)
{
    p.setPen(Pen(QColor(150, 110, 30), 1.6));
    p.setBrush(QColor(240, 190, 70));
    QPainterPath path = ClosedPath({ { 3, 8 }, { 12, 8 }, { 14, 11 }, { 29, 11 }, { 29, 26 }, { 3, 26 } });
    p.drawPath(path);
}

void Play(QPainter& p, QRectF r, const QColor& colour)
{
    QPainterPath tri = ClosedPath({ { r.left(), r.top() }, { r.right(), r.center().y() }, { r.left(), r.bottom() } });
    p.setPen(Pen(colour.darker(130), 1.4));
    p.setBrush(colour);
    p.drawPath(tri);
}

// One segment of a selector: its glyph drawn in the segment's rectangle.
using SegmentGlyph = std::function<void(QPainter&, QRectF, QColor)>;

void Selector(const QString& path, int w, const QList<int>& edges, const QList<bool>& on, const QList<SegmentGlyph>& glyphs)
{
    const int h = 25;
    QImage image(w * 2, h * 2, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(2, 2);
        QRectF outer(0.5, 1.5, w - 1, h - 3);
        QPainterPath shape;
        shape.addRoundedRect(outer, 5, 5);
        p.setClipPath(shape);
        for (int i = 0; i < edges.size() - 1; ++i) {
            QRectF seg(edges[i], 0, edges[i + 1] - edges[i], h);
            QLinearGradient g(0, 0, 0, h);
            if (on[i]) {
                g.setColorAt(0, QColor(120, 126, 136));
                g.setColorAt(1, QColor(92, 98, 108));
            } else {
                g.setColorAt(0, QColor(252, 252, 252));
                g.setColorAt(1, QColor(222, 224, 228));
            }
            p.fillRect(seg, g);
            glyphs[i](p, seg.adjusted(4, 5, -4, -5), on[i] ? Qt::white : kInk);
        }
        p.setClipping(false);
        p.setPen(QPen(QColor(130, 134, 140), 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(shape);
        for (int i = 1; i < edges.size() - 1; ++i)
            p.drawLine(QPointF(edges[i] + 0.5, 1.5), QPointF(edges[i] + 0.5, h - 1.5));
    }
    image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(path);
}

void GridGlyph(QPainter& p, QRectF r, QColor c)
{
    double s = std::min(r.width(), r.height());
    QRectF box(r.center().x() - s / 2, r.center().y() - s / 2, s, s);
    double cell = (s - 2) / 2;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            p.fillRect(QRectF(box.left() + x * (cell + 2), box.top() + y * (cell + 2), cell, cell), c);
}

void ExtendedGlyph(QPainter& p, QRectF r, QColor c)
{
    double s = std::min(r.width(), r.height());
    QRectF box(r.center().x() - s * 0.75, r.center().y() - s / 2, s * 1.5, s);
    for (int y = 0; y < 2; ++y) {
        double top = box.top() + y * (s / 2 + 1);
        p.fillRect(QRectF(box.left(), top, s / 2 - 1, s / 2 - 1), c);
        p.fillRect(QRectF(box.left() + s / 2 + 1, top + 1, box.width() - s / 2 - 1, 1.5), c);
        p.fillRect(QRectF(box.left() + s / 2 + 1, top + 4, box.width() * 0.5, 1.5), c);
    }
}

void ListGlyph(QPainter& p, QRectF r, QColor c)
{
    double s = std::min(r.width(), r.height());
    QRectF box(r.center().x() - s * 0.7, r.center().y() - s / 2, s * 1.4, s);
    for (int i = 0; i < 4; ++i)
        p.fillRect(QRectF(box.left(), box.top() + i * (s / 4) + 0.5, box.width(), 1.6), c);
}

void SidebarGlyph(QPainter& p, QRectF r, QColor c, bool left)
{
    double s = std::min(r.width(), r.height());
    QRectF box(r.center().x() - s * 0.7, r.center().y() - s / 2, s * 1.4, s);
    p.setPen(QPen(c, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawRect(box);
    QRectF bar = left ? QRectF(box.left(), box.top(), box.width() * 0.35, box.height())
                      : QRectF(box.right() - box.width() * 0.35, box.top(), box.width() * 0.35, box.height());
    p.fillRect(bar, c);
}
// The arrow the cursors share, its tip at (1, 1).
void CursorArrow(QPainter& p)
{
    QPainterPath arrow = ClosedPath({ { 1, 1 }, { 1, 17 }, { 5, 13 }, { 8, 20 }, { 10.5, 19 }, { 7.5, 12 }, { 13, 12 } });
    p.setPen(QPen(Qt::white, 1.2));
    p.setBrush(Qt::black);
    p.drawPath(arrow);
}

// The arrow with a disc at its lower right, for a sign of what a click does.
void CursorArrowWithDisc(QPainter& p, const QColor& colour)
{
    CursorArrow(p);
    p.setPen(QPen(Qt::white, 1.2));
    p.setBrush(colour);
    p.drawEllipse(QPointF(21, 21), 8, 8);
}

// A cursor of 32 x 32 with its hot spot kept in the file's "HotSpot" text.
void SaveCursor(const QString& path, QPoint hotSpot, const Glyph& draw)
{
    Save(path, 32, 32, draw);
    QImage image(path);
    image.setText(QStringLiteral("HotSpot"), QStringLiteral("%1,%2").arg(hotSpot.x()).arg(hotSpot.y()));
    image.save(path);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString toolbar = QStringLiteral("resources/toolbar/");
    const QString cursors = QStringLiteral("resources/cursors/");
    QDir().mkpath(toolbar);
    QDir().mkpath(cursors);
    auto icon = [&](const QString& name, const Glyph& glyph) { Save(toolbar + name + QStringLiteral(".png"), 32, 32, glyph); };

    // The shared images of the toolbars.
    Selector(toolbar + "1083.png", 83, { 0, 27, 54, 83 }, { true, false, false }, { GridGlyph, ExtendedGlyph, ListGlyph });
    Selector(toolbar + "1019.png", 83, { 0, 27, 54, 83 }, { false, true, false }, { GridGlyph, ExtendedGlyph, ListGlyph });
    Selector(toolbar + "1082.png", 83, { 0, 27, 54, 83 }, { false, false, true }, { GridGlyph, ExtendedGlyph, ListGlyph });
    SegmentGlyph source = [](QPainter& p, QRectF r, QColor c) { SidebarGlyph(p, r, c, true); };
    SegmentGlyph organizer = [](QPainter& p, QRectF r, QColor c) { SidebarGlyph(p, r, c, false); };
    Selector(toolbar + "1090.png", 56, { 0, 27, 56 }, { false, false }, { source, organizer });
    Selector(toolbar + "1091.png", 56, { 0, 27, 56 }, { true, false }, { source, organizer });
    Selector(toolbar + "1092.png", 56, { 0, 27, 56 }, { false, true }, { source, organizer });
    Selector(toolbar + "1093.png", 56, { 0, 27, 56 }, { true, true }, { source, organizer });
    icon("genericsearch", [](QPainter& p) {
        Folder(p);
        Magnifier(p, { 15, 15 }, 6.5);
    });
    Save(toolbar + "genericsearchinput.png", 16, 16, [](QPainter& p) { Magnifier(p, { 12, 12 }, 8); });
    icon("genericbatch", [](QPainter& p) {
        Document(p);
        Gear(p, { 20, 21 }, 9, kOrange);
    });
    icon("generic", [](QPainter& p) { Document(p); });

    // Commands.
    icon("1057", [](QPainter& p) { Magnifier(p); });
    icon("1061", [](QPainter& p) { Gear(p, { 16, 16 }, 13, kOrange); });
    icon("1012", [](QPainter& p) {
        p.setPen(Pen(kInk, 2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 4, 26, 19));
        p.drawLine(QPointF(16, 23), QPointF(11, 29));
        p.drawLine(QPointF(16, 23), QPointF(21, 29));
        Play(p, { 12, 8, 10, 11 }, kGreen);
    });
    icon("1068", [](QPainter& p) {
        p.setPen(Pen(kInk, 1.6));
        p.setBrush(QColor(230, 236, 244));
        p.drawRect(QRectF(8, 9, 16, 14));
        Arrow(p, { 10, 11 }, { 3, 4 }, kBlue, 2.6);
        Arrow(p, { 22, 11 }, { 29, 4 }, kBlue, 2.6);
        Arrow(p, { 10, 21 }, { 3, 28 }, kBlue, 2.6);
        Arrow(p, { 22, 21 }, { 29, 28 }, kBlue, 2.6);
    });
    icon("1010", [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawEllipse(QPointF(16, 16), 13, 13);
        Letter(p, QStringLiteral("i"), { 0, 0, 32, 32 }, 17, Qt::white);
    });
    icon("1033", [](QPainter& p) { Monitor(p); });
    icon("1089", [](QPainter& p) {
        Monitor(p);
        p.setPen(Qt::NoPen);
        p.setBrush(kGreen);
        p.drawEllipse(QPointF(25, 8), 6.5, 6.5);
        Plus(p, { 25, 8 }, 3.5, Qt::white);
    });
    icon("1016", [](QPainter& p) {
        Folder(p);
        Magnifier(p, { 16, 17 }, 5.5);
    });
    icon("1058", [](QPainter& p) {
        Document(p, { 4, 3, 18, 26 });
        Arrow(p, { 14, 19 }, { 29, 19 }, kGreen);
    });
    icon("1059", [](QPainter& p) {
        Document(p);
        Letter(p, QStringLiteral("</>"), { 7, 10, 18, 14 }, 7, kBlue);
    });
    icon("1028", [](QPainter& p) { Trash(p); });
    icon("15", [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawEllipse(QPointF(16, 16), 12, 12);
        p.setPen(Pen(Qt::white, 3));
        p.drawLine(QPointF(11, 11), QPointF(21, 21));
        p.drawLine(QPointF(21, 11), QPointF(11, 21));
    });
    icon("1046", [](QPainter& p) { Play(p, { 8, 5, 19, 22 }, kGreen); });
    icon("1077", [](QPainter& p) { Arrow(p, { 5, 16 }, { 27, 16 }, kBlue, 3.6); });
    icon("1079", [](QPainter& p) { Arrow(p, { 27, 16 }, { 5, 16 }, kBlue, 3.6); });
    icon("1069", [](QPainter& p) {
        Magnifier(p);
        Plus(p, { 13, 13 }, 4, kInk);
    });
    icon("1070", [](QPainter& p) {
        Magnifier(p);
        Minus(p, { 13, 13 }, 4, kInk);
    });
    icon("1003", [](QPainter& p) {
        p.setPen(Pen(kInk, 1.6));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 6, 26, 20));
        Letter(p, QStringLiteral("1:1"), { 3, 6, 26, 20 }, 10, kInk);
    });
    icon("1072", [](QPainter& p) {
        p.setPen(Pen(kInk, 1.6));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 6, 26, 20));
        Arrow(p, { 5, 16 }, { 13, 16 }, kBlue, 2.2);
        Arrow(p, { 27, 16 }, { 19, 16 }, kBlue, 2.2);
    });
    icon("1023", [](QPainter& p) {
        p.setPen(Pen(kInk, 2));
        p.setBrush(QColor(230, 236, 244));
        p.drawRect(QRectF(4, 18, 24, 10));
        Arrow(p, { 16, 2 }, { 16, 21 }, kGreen);
    });
    icon("1024", [](QPainter& p) {
        for (int i = 2; i >= 0; --i) {
            p.setPen(Pen(kInk, 1.4));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4 + i * 3, 10 - i * 3, 20, 16));
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(120, 180, 230));
        p.drawRect(QRectF(6, 12, 16, 12));
        p.setBrush(QColor(90, 170, 90));
        p.drawEllipse(QPointF(14, 23), 7, 4);
    });
    icon("1025", [](QPainter& p) {
        p.setPen(Pen(kInk, 1.8));
        p.setBrush(QColor(90, 96, 106));
        p.drawRoundedRect(QRectF(3, 9, 26, 18), 3, 3);
        p.drawRect(QRectF(11, 5, 10, 5));
        p.setBrush(QColor(120, 180, 230));
        p.drawEllipse(QPointF(16, 18), 6, 6);
    });
    icon("1075", [](QPainter& p) { Letter(p, QStringLiteral("A"), { 0, 0, 32, 32 }, 21, kInk); });
    icon("1035", [](QPainter& p) {
        p.setPen(Pen(kBlue.darker(130), 1.6));
        p.setBrush(QColor(150, 200, 240));
        p.drawEllipse(QPointF(16, 16), 13, 13);
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(16, 16), 6, 13);
        p.drawLine(QPointF(3, 16), QPointF(29, 16));
        p.drawLine(QPointF(16, 3), QPointF(16, 29));
    });
    icon("1032", [](QPainter& p) {
        p.setPen(Pen(kInk, 1.6));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(3, 5, 26, 22), 2, 2);
        p.fillRect(QRectF(4, 6, 24, 4), QColor(200, 205, 212));
        p.fillRect(QRectF(7, 14, 18, 3), QColor(210, 214, 220));
        p.fillRect(QRectF(7, 14, 12, 3), kBlue);
        p.fillRect(QRectF(7, 20, 18, 3), QColor(210, 214, 220));
        p.fillRect(QRectF(7, 20, 6, 3), kBlue);
    });
    icon("1020", [](QPainter& p) {
        p.setPen(Pen(kInk, 2.6));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(9, 3, 14, 16), 0, 180 * 16);
        p.drawLine(QPointF(9, 11), QPointF(9, 14));
        p.drawLine(QPointF(23, 11), QPointF(23, 14));
        p.setPen(Pen(QColor(180, 130, 20), 1.6));
        p.setBrush(QColor(240, 190, 70));
        p.drawRoundedRect(QRectF(6, 14, 20, 15), 2, 2);
    });
    icon("1056", [](QPainter& p) {
        p.setPen(Pen(kInk, 2));
        for (int i = 0; i < 3; ++i) {
            double y = 8 + i * 8;
            p.drawLine(QPointF(4, y), QPointF(28, y));
            p.setBrush(i == 1 ? kBlue : Qt::white);
            p.drawEllipse(QPointF(8 + i * 7, y), 3.2, 3.2);
        }
    });
    icon("1037", [](QPainter& p) {
        p.setPen(Pen(kInk, 2));
        p.setBrush(QColor(230, 236, 244));
        p.drawRect(QRectF(4, 20, 24, 8));
        Arrow(p, { 16, 22 }, { 16, 3 }, kBlue);
    });
    icon("1036", [](QPainter& p) {
        p.setPen(Pen(kGreen, 3));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(5, 5, 22, 22), 60 * 16, 280 * 16);
        Arrow(p, { 22, 4 }, { 24, 8 }, kGreen, 3);
    });
    icon("9", [](QPainter& p) {
        p.setPen(Pen(kInk, 1.8));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 3, 14, 10));
        p.setBrush(QColor(120, 126, 136));
        p.drawRoundedRect(QRectF(3, 12, 26, 11), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 20, 14, 9));
    });
    icon("customize", [](QPainter& p) { Gear(p, { 16, 16 }, 12, QColor(150, 156, 166)); });
    icon("1067", [](QPainter& p) {
        p.setPen(Pen(kInk, 1.8));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 3, 14, 10));
        p.setBrush(QColor(120, 126, 136));
        p.drawRoundedRect(QRectF(3, 12, 26, 11), 2, 2);
        p.setBrush(kBlue);
        p.drawRect(QRectF(9, 20, 14, 9));
    });

    // Placard strips: 151 behind an active window's placard, 150 otherwise.
    const QString pictures = QStringLiteral("resources/pictures/");
    QDir().mkpath(pictures);
    auto strip = [&](const QString& name, QColor top, QColor bottom) {
        QImage image(64, 16, QImage::Format_ARGB32_Premultiplied);
        QPainter p(&image);
        QLinearGradient g(0, 0, 0, 16);
        g.setColorAt(0, top);
        g.setColorAt(1, bottom);
        p.fillRect(image.rect(), g);
        p.setPen(QColor(150, 150, 150));
        p.drawLine(0, 0, 63, 0);
        p.setPen(QColor(170, 170, 170));
        p.drawLine(0, 15, 63, 15);
        p.end();
        image.save(pictures + name);
    };
    strip(QStringLiteral("151.png"), QColor(236, 236, 236), QColor(204, 204, 204));
    strip(QStringLiteral("150.png"), QColor(232, 232, 232), QColor(232, 232, 232));

    // Cursors: the contextual-menu arrow (hot spot 1, 1).
    Save(cursors + "contextualmenu.png", 32, 32, [](QPainter& p) {
        CursorArrow(p);
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(14, 9, 13, 14));
        for (int i = 0; i < 3; ++i)
            p.fillRect(QRectF(16, 12 + i * 3.6, 9, 1.6), Qt::black);
    });

    // The index grid's cursors, by resource ID; the hot spot goes into the file.
    // 308 the marquee's crosshair: over empty places and to draw a marquee.
    SaveCursor(cursors + "308.png", { 11, 11 }, [](QPainter& p) {
        for (const QPen& pen : { QPen(Qt::white, 3.6, Qt::SolidLine, Qt::FlatCap), QPen(Qt::black, 1.4, Qt::SolidLine, Qt::FlatCap) }) {
            p.setPen(pen);
            p.drawLine(QPointF(11.5, 1), QPointF(11.5, 22));
            p.drawLine(QPointF(1, 11.5), QPointF(22, 11.5));
        }
    });
    // 314 the text cursor over a line that can be edited in place.
    SaveCursor(cursors + "314.png", { 8, 11 }, [](QPainter& p) {
        for (const QPen& pen : { QPen(Qt::white, 3.6, Qt::SolidLine, Qt::RoundCap), QPen(Qt::black, 1.4, Qt::SolidLine, Qt::FlatCap) }) {
            p.setPen(pen);
            p.drawLine(QPointF(8.5, 3), QPointF(8.5, 20));
            p.drawLine(QPointF(5, 2.5), QPointF(7.5, 2.5));
            p.drawLine(QPointF(9.5, 2.5), QPointF(12, 2.5));
            p.drawLine(QPointF(5, 20.5), QPointF(7.5, 20.5));
            p.drawLine(QPointF(9.5, 20.5), QPointF(12, 20.5));
            p.drawLine(QPointF(6, 11.5), QPointF(11, 11.5));
        }
    });
    // 313 over the error badge: a click tells the error.
    SaveCursor(cursors + "313.png", { 1, 1 }, [](QPainter& p) {
        CursorArrow(p);
        p.setPen(QPen(Qt::white, 1.2));
        p.setBrush(kOrange);
        p.drawPath(ClosedPath({ { 20, 12 }, { 29, 28 }, { 11, 28 } }));
        Letter(p, QStringLiteral("!"), QRectF(11, 15, 18, 13), 9, Qt::black);
    });
    // 312 text with Option: a click shows the item's information.
    SaveCursor(cursors + "312.png", { 1, 1 }, [](QPainter& p) {
        CursorArrowWithDisc(p, kBlue);
        Letter(p, QStringLiteral("i"), QRectF(13, 13, 16, 16), 10, Qt::white);
    });
    // 304 the picture with Option: the items are dragged as copies.
    SaveCursor(cursors + "304.png", { 1, 1 }, [](QPainter& p) {
        CursorArrowWithDisc(p, kGreen);
        Plus(p, QPointF(21, 21), 4.5, Qt::white);
    });
    // 302 the picture with Command, Option and Control: a click moves the file to the Trash.
    SaveCursor(cursors + "302.png", { 1, 1 }, [](QPainter& p) {
        CursorArrow(p);
        p.save();
        p.translate(13, 12);
        p.scale(0.55, 0.55);
        p.setPen(Pen(Qt::white, 5));
        p.setBrush(Qt::white);
        p.drawPath(ClosedPath({ { 5, 3 }, { 27, 3 }, { 27, 9 }, { 24, 9 }, { 22.5, 30 }, { 9.5, 30 }, { 8, 9 }, { 5, 9 } }));
        Trash(p);
        p.restore();
    });
    return 0;
}
