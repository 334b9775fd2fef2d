#pragma once

#include "Geometry.h"

#include <QString>

class QPainter;

namespace UTextDrawing {
// Draws the text in the box, broken into lines at word boundaries (and inside
// words too long for a line), each line placed by the justification (teFlushLeft,
// teCenter, teFlushRight; teFlushDefault follows the layout direction). Lines that
// do not fit the box's height are not drawn. Answers the height used.
int DrawWithJustification(QPainter& painter, const QString& text, const QRect& box, SInt16 justification, bool wrap = true);
// The lines the text breaks into for a width.
QStringList BreakLines(QPainter& painter, const QString& text, int width);
}
