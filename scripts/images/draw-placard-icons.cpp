// Draws the index window's small icons into resources/icons: the status placard's
// media storage, password and list-lock icons (named by their colour icon IDs),
// the sort-direction button's two icons, the split view's grip and the program's icon for the icon pane. Each is drawn
// at its size and at twice its size ("@2x") for high-density screens.
// Build and run from the repository root:
//   g++ -std=c++20 -fPIC scripts/images/draw-placard-icons.cpp -o /tmp/draw-placard-icons \
//       $(pkg-config --cflags --libs Qt6Gui) && QT_QPA_PLATFORM=offscreen /tmp/draw-placard-icons
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {

const QColor kInk(60, 64, 72);
const QColor kBlue(52, 120, 216);
const QColor kRed(200, 36, 36);
const QColor kGold(214, 160, 40);
const QColor kGrey(150, 154, 160);

using Glyph = std::function<void(QPainter&)>;

// Draws on a 16 x 16 design grid, saved at `side` and at twice that.
void Save(const QString& name, int side, const Glyph& draw)
{
    for (int scale : { 1, 2 }) {
        const int pixels = side * scale;
        QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(pixels / 16.0, pixels / 16.0);
        draw(p);
        p.end();
        image.save(QStringLiteral("resources/icons/") + name + (scale == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png")));
    }
}

QPen Line(const QColor& colour, double width = 1.4)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A document page with a folded corner.
void Page(QPainter& p, double left)
{
    QPainterPath page;
    page.moveTo(left, 1.5);
    page.lineTo(left + 6, 1.5);
    page.lineTo(left + 9, 4.5);
    page.lineTo(left + 9, 14.5);
    page.lineTo(left, 14.5);
    page.closeSubpath();
    p.setPen(Line(kInk, 1.1));
    p.setBrush(Qt::white);
    p.drawPath(page);
}

// A box: the index package.
void Box(QPainter& p, const QRectF& box)
{
    p.setPen(Line(kBlue, 1.2));
    p.setBrush(QColor(220, 232, 250));
    p.drawRect(box);
    p.drawLine(QPointF(box.left(), box.top() + 2.5), QPointF(box.right(), box.top() + 2.5));
}

void Padlock(QPainter& p, const QColor& body)
{
    p.setPen(Line(kInk, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4.5, 1.5, 7, 8), 0, 180 * 16);
    p.drawLine(QPointF(4.5, 5.5), QPointF(4.5, 7.5));
    p.drawLine(QPointF(11.5, 5.5), QPointF(11.5, 7.5));
    p.setPen(Line(kInk, 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(3, 7, 10, 7.5), 1.2, 1.2);
    p.setBrush(kInk);
    p.drawEllipse(QPointF(8, 10.5), 1, 1);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    // 454: the media files stay outside the index: a page beside the box, linked.
    Save(QStringLiteral("cicn-454"), 16, [](QPainter& p) {
        Page(p, 1);
        Box(p, QRectF(9.5, 7.5, 5.5, 6.5));
        p.setPen(Line(kBlue, 1.1));
        p.drawLine(QPointF(6, 9), QPointF(9.5, 9));
    });
    // 455: stored in the index: the page inside the box.
    Save(QStringLiteral("cicn-455"), 16, [](QPainter& p) {
        Box(p, QRectF(1.5, 4.5, 13, 10));
        p.setPen(Line(kInk, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5, 1.5, 6, 7));
    });
    // 456: stored and the outside file removed: the box with a red cross.
    Save(QStringLiteral("cicn-456"), 16, [](QPainter& p) {
        Box(p, QRectF(1.5, 4.5, 13, 10));
        p.setPen(Line(kRed, 1.8));
        p.drawLine(QPointF(9, 1.5), QPointF(14.5, 7));
        p.drawLine(QPointF(14.5, 1.5), QPointF(9, 7));
    });
    // 451: the password kept in the keychain: a key.
    Save(QStringLiteral("cicn-451"), 16, [](QPainter& p) {
        p.setPen(Line(kInk, 1.1));
        p.setBrush(kGold);
        p.drawEllipse(QRectF(1.5, 4.5, 7, 7));
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(4, 8), 1.2, 1.2);
        p.setPen(Line(kInk, 1.6));
        p.drawLine(QPointF(8.5, 8), QPointF(14.5, 8));
        p.drawLine(QPointF(12.5, 8), QPointF(12.5, 10.5));
        p.drawLine(QPointF(14.5, 8), QPointF(14.5, 10.5));
    });
    // 432: the password kept in the index: a golden padlock.
    Save(QStringLiteral("cicn-432"), 16, [](QPainter& p) { Padlock(p, kGold); });
    // The item list locked by a task: a grey padlock.
    Save(QStringLiteral("listlock"), 16, [](QPainter& p) { Padlock(p, kGrey); });
    // The sort direction: an arrow down beside bars that grow (ascending) or
    // shrink (descending) from the top down.
    for (bool descending : { false, true }) {
        Save(descending ? QStringLiteral("sort-descending") : QStringLiteral("sort-ascending"), 16, [descending](QPainter& p) {
            p.setPen(Line(kBlue, 1.6));
            p.drawLine(QPointF(4, 2.5), QPointF(4, 13));
            p.drawLine(QPointF(1.5, 10.5), QPointF(4, 13.2));
            p.drawLine(QPointF(6.5, 10.5), QPointF(4, 13.2));
            p.setPen(Line(kInk, 1.8));
            const double lengths[] = { 2.5, 4.5, 6.5 };
            for (int i = 0; i < 3; ++i) {
                const double y = 3.5 + 4.5 * i;
                p.drawLine(QPointF(8.5, y), QPointF(8.5 + lengths[descending ? 2 - i : i], y));
            }
        });
    }
    // The split view's grip: three ridges.
    Save(QStringLiteral("splitter"), 16, [](QPainter& p) {
        for (double x : { 5.0, 8.0, 11.0 }) {
            p.setPen(Line(QColor(255, 255, 255), 1));
            p.drawLine(QPointF(x + 0.8, 3.5), QPointF(x + 0.8, 12.5));
            p.setPen(Line(QColor(110, 114, 120), 1));
            p.drawLine(QPointF(x, 3), QPointF(x, 12));
        }
    });
    // The program's icon, from its desktop icon.
    QImage svg(QStringLiteral("resources/desktop/org.orvex.Orvex.svg"));
    if (!svg.isNull()) {
        for (int scale : { 1, 2 })
            svg.scaled(64 * scale, 64 * scale, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                .save(QStringLiteral("resources/icons/orvex") + (scale == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png")));
    }
    return 0;
}
