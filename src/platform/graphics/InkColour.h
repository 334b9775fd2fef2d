#pragma once

#include <QColor>
#include <QPalette>
#include <QPixmap>

// Pictures drawn with dark grey strokes for a light ground (toolbar pictures, the
// style's media symbols) on a dark ground instead: the strokes take `ink`, keeping
// their coverage; coloured parts stay as drawn.
QPixmap InkFollowingPalette(const QPixmap& drawn, const QColor& ink);

// Whether `text` is drawn lighter than `ground` in `palette` (a dark desktop).
inline bool IsDarkGround(const QPalette& palette, QPalette::ColorRole ground, QPalette::ColorRole text)
{
    return palette.color(ground).lightness() < palette.color(text).lightness();
}
