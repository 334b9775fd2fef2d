#pragma once

#include "MacTypes.h"

#include <QColor>

class QPainter;
class QPalette;

// The built-in ramp of 14 greys, white (0) to black (13), that the theme pens fall
// back on; the media window's background is entry 13.
QColor GetColorRampEntry(int index); // index outside 0..13 gives entry 13
inline QColor GetColorRampEntry13() { return GetColorRampEntry(13); }

// The ramp entry a theme brush is drawn with.
int ColorRampIndexForBrush(SInt16 brush);
// Sets the painter's pen to the colour of the theme brush.
void ApplyThemePen(QPainter& painter, SInt16 brush);

// A dark desktop palette (a dark style's): light text on a darker window.
bool IsDarkPalette(const QPalette& palette);
