#pragma once

#include "Geometry.h"
#include "MacTypes.h"
#include "PString.h"

#include <QFont>
#include <QString>

class QPainter;

// The theme's text styles.
using ThemeFontID = UInt16;
enum : ThemeFontID {
    kThemeSystemFont = 0,
    kThemeSmallSystemFont = 1,
    kThemeSmallEmphasizedSystemFont = 2,
    kThemeViewsFont = 3,
    kThemeEmphasizedSystemFont = 4,
    kThemeApplicationFont = 5,
    kThemeLabelFont = 6,
    kThemeMenuTitleFont = 100,
    kThemeMenuItemFont = 101,
    kThemeMenuItemMarkFont = 102,
    kThemeMenuItemCmdKeyFont = 103,
    kThemeWindowTitleFont = 104,
    kThemePushButtonFont = 105,
    kThemeUtilityWindowTitleFont = 106,
    kThemeAlertHeaderFont = 107,
    kThemeToolbarFont = 108,
    kThemeMiniSystemFont = 109,
    kThemeCurrentPortFont = 200,
};

using ThemeDrawState = UInt32;
enum : ThemeDrawState {
    kThemeStateInactive = 0,
    kThemeStateActive = 1,
    kThemeStatePressed = 2,
};

// Text justification.
enum : SInt16 {
    teFlushDefault = 0, // by the text's direction
    teCenter = 1,
    teFlushRight = -1,
    teFlushLeft = -2,
};

// Set for the length of a print job (the index document and the media window set
// it and put the previous value back); the theme text drawing reads it.
extern UInt8 gPrintingInProgress;

// The font of a theme style, in pixel sizes (one pixel a point, as on screen).
// kThemeCurrentPortFont gives the application's font.
QFont ThemeFont(ThemeFontID font);

// Width in pixels of `text` set on one line (no wrapping) in the theme font.
SInt16 GetThemeTextWidth(const QString& text, ThemeFontID font, ThemeDrawState state);

// Draws `text` into `box`, wrapped at word breaks when `wrapToWidth`; with
// `wholeLinesOnly` too, the box is shortened to the whole lines that fit. Text is
// clipped to the box. kThemeCurrentPortFont draws in the painter's own font.
void DrawThemeTextInRect(const QString& text, const Rect& box, ThemeFontID font, SInt16 justification,
                         ThemeDrawState state, bool wrapToWidth, bool wholeLinesOnly, QPainter& painter);

// The same for a Mac Roman Pascal string.
void DrawThemePStringInRect(ConstStr255Param text, const Rect& box, ThemeFontID font, SInt16 justification,
                            ThemeDrawState state, bool wrapToWidth, bool wholeLinesOnly, QPainter& painter);
