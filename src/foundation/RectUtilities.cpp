#include "RectUtilities.h"

#include <QPainter>

void ScaleRect(Rect& rect, float factor)
{
    rect = MakeRect(int(rect.top * factor), int(rect.left * factor), int(rect.bottom * factor), int(rect.right * factor));
}

float FitRectInRect(const Rect& source, const Rect& frame, Rect& out, bool alwaysScale, bool center)
{
    const int sw = source.Width(), sh = source.Height();
    const int fw = frame.Width(), fh = frame.Height();
    Rect r = MakeRect(frame.top, frame.left, frame.top + sh, frame.left + sw);
    float scale = 1.0f;
    // Empty rectangles cannot be scaled; they stay as they are.
    if (sw > 0 && sh > 0 && fw > 0 && fh > 0) {
        float rw = float(sw) / float(fw);
        float rh = float(sh) / float(fh);
        if (alwaysScale || rw > 1.0f || rh > 1.0f) {
            if (rw > rh) {
                scale = float(fw) / float(sw);
                r.right = frame.right;
                r.bottom = ClampToSInt16(r.top + int(float(sh) * scale));
            } else {
                scale = float(fh) / float(sh);
                r.bottom = frame.bottom;
                r.right = ClampToSInt16(r.left + int(float(sw) * scale));
            }
        }
    }
    if (center) {
        int dh = fw / 2 - r.Width() / 2;
        int dv = fh / 2 - r.Height() / 2;
        r = MakeRect(r.top + dv, r.left + dh, r.bottom + dv, r.right + dh);
    }
    out = r;
    return scale;
}

void CenterRectInRect(const Rect& rect, const Rect& frame, Rect& out)
{
    int dh = frame.Width() / 2 - rect.Width() / 2;
    int dv = frame.Height() / 2 - rect.Height() / 2;
    out = MakeRect(frame.top + dv, frame.left + dh, frame.top + rect.Height() + dv, frame.left + rect.Width() + dh);
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
