#pragma once

#include "Geometry.h"

#include <QColor>

class QPainter;

// Rectangle fitting for media panes and printing.
void ScaleRect(Rect& rect, float factor); // each coordinate x factor, truncated toward zero
// Fits `source` into `frame` (only shrinking unless `alwaysScale`), optionally centred;
// returns the scale.
float FitRectInRect(const QRect& source, const QRect& frame, QRect& out, bool alwaysScale, bool center);
void CenterRectInRect(const QRect& rect, const QRect& frame, QRect& out);
// The same for stored 16-bit rectangles (results clamped to 16 bits).
float FitRectInRect(const Rect& source, const Rect& frame, Rect& out, bool alwaysScale, bool center);
void CenterRectInRect(const Rect& rect, const Rect& frame, Rect& out);

// The etched frame around media panes: framed in the light colour one pixel down and
// right, again in the dark colour in place, and two light corner lines.
void DrawEtchedFrame(QPainter& painter, const Rect& frame, const QColor& light, const QColor& dark);

// Paints the rectangle blended with white or black at opLevel / 65535.
void PaintRectBlended(QPainter& painter, const Rect& rect, UInt16 opLevel, bool white);
