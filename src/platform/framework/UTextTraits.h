#pragma once

#include "MacTypes.h"

#include <QColor>
#include <QFont>

// The font with its size in pixels as the screen shows it, so that text drawn for
// a printer (whose dots are much finer) keeps the size it has on screen.
QFont ScreenPixelFont(QFont font);

class QPainter;

// Justifications of text drawing.
enum : SInt16 { teFlushDefault = 0, teCenter = 1, teFlushRight = -1, teFlushLeft = -2 };

// A text style resource: resources/texttraits/<ID>.json
//   { "font": "system" | "small" | "<family>", "size": 12,
//     "style": ["bold", "italic", "underline"], "justification": "left" | "center" | "right",
//     "color": "#rrggbb" }
// ID 0, and an ID without a resource, give the system font.
struct TextTraitsRecord {
    QFont font;
    QColor color = Qt::black;
    SInt16 justification = teFlushDefault;
};

namespace UTextTraits {
TextTraitsRecord LoadTextTraits(ResIDT traitsID);
// Sets the painter's font and pen from the traits; answers the justification.
SInt16 SetPortTextTraits(QPainter& painter, ResIDT traitsID);
void AddTextTraitsFolder(const QString& folder);
}
