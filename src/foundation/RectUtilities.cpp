#include "RectUtilities.h"

#include <QPainter>

void ScaleRect(Rect& rect, float factor)
{
    rect = MakeRect(int(rect.top * factor), int(rect.left * factor), int(rect.bottom * factor), int(rect.right * factor));
}

float FitRectInRect(const QRect& source, const QRect& frame, QRect& out, bool alwaysScale, bool center)
{
    const int sw = source.width(), sh = source.height();
    const int fw = frame.width(), fh = frame.height();
    int width = sw, height = sh;
    float scale = 1.0f;
    // Empty rectangles cannot be scaled; they stay as they are.
    if (sw > 0 && sh > 0 && fw > 0 && fh > 0) {
        float rw = float(sw) / float(fw);
        float rh = float(sh) / float(fh);
        if (alwaysScale || rw > 1.0f || rh > 1.0f) {
            if (rw > rh) {
                scale = float(fw) / float(sw);
                width = fw;
                height = int(float(sh) * scale);
            } else {
                scale = float(fh) / float(sh);
                height = fh;
                width = int(float(sw) * scale);
            }
        }
    }
    QRect r(frame.left(), frame.top(), width, height);
    if (center)
        r.translate(fw / 2 - width / 2, fh / 2 - height / 2);
    out = r;
    return scale;
}

void CenterRectInRect(const QRect& rect, const QRect& frame, QRect& out)
{
    out = QRect(frame.left() + frame.width() / 2 - rect.width() / 2, frame.top() + frame.height() / 2 - rect.height() / 2,
        rect.width(), rect.height());
}

float FitRectInRect(const Rect& source, const Rect& frame, Rect& out, bool alwaysScale, bool center)
{
    QRect fitted;
    const float scale = FitRectInRect(ToQRect(source), ToQRect(frame), fitted, alwaysScale, center);
    out = FromQRect(fitted);
    return scale;
}

void CenterRectInRect(const Rect& rect, const Rect& frame, Rect& out)
{
    QRect centred;
    CenterRectInRect(ToQRect(rect), ToQRect(frame), centred);
    out = FromQRect(centred);
}

void DrawEtchedFrame(QPainter& painter, const Rect& frame, const QColor& light, const QColor& dark)
{
    painter.save();
    painter.setBrush(Qt::NoBrush);
    // Shrunk by one pixel at the right and bottom, so the light copy fits beside it.
    QRect r = ToQRect(frame).adjusted(0, 0, -1, -1);
    painter.setPen(light);
    painter.drawRect(r.translated(1, 1).adjusted(0, 0, -1, -1));
    painter.setPen(dark);
    painter.drawRect(r.adjusted(0, 0, -1, -1));
    painter.setPen(light);
    painter.drawLine(r.left() + 1, r.bottom() - 1, r.left() + 1, r.top() + 1);
    painter.drawLine(r.left() + 1, r.top() + 1, r.right() - 1, r.top() + 1);
    painter.restore();
}

void PaintRectBlended(QPainter& painter, const Rect& rect, UInt16 opLevel, bool white)
{
    QColor color = white ? QColor(Qt::white) : QColor(Qt::black);
    color.setAlphaF(float(opLevel) / 65535.0f);
    painter.fillRect(ToQRect(rect), color);
}
