#pragma once

#include "MacTypes.h"
#include "PixPattern.h"

#include <QByteArray>
#include <QColor>

#include <array>

class LMenu;

// The menu of the index views' background patterns: one item per named 'ppat'
// resource, in the order of their IDs; item n is theme n. It hangs under the
// Index menu's item 1099 and, later, under the grid's contextual menu.
inline constexpr ResIDT kPatternMenuID = 203;
inline constexpr CommandT cmd_PatternMenu = 1099;
// The pattern drawn for a theme that names none.
inline constexpr ResIDT kDefaultPatternID = 131;
// The second pattern of a theme is the 'ppat' this far above its first.
inline constexpr ResIDT kSecondPatternOffset = 1000;
// Theme 1 is the desktop's own window background and text colours.
inline constexpr SInt32 kSystemTheme = 1;
// The theme an index has unless the user picks another ("DefaultIndexTheme_6"'s
// default): under a dark desktop palette it takes the palette's colours as theme 1
// does, so a dark desktop gets a dark grid; the other themes keep their own look.
inline constexpr SInt32 kDefaultTheme = 14;

// The colours of a theme's 'clut', by position.
enum ThemeColourIndex : size_t {
    kThemeBackgroundColour = 0, // stands for the pattern where a plain colour is needed
    kThemeHighlightColour = 1,  // the selection ring
    kThemeEmptyTextColour = 2,  // the empty view's text
    kThemeCellTextColour = 3,   // the cells' text
    kThemeLineColour = 4,       // the extended view's row lines
    kThemeLabelColour = 5,      // the extended view's label column
};
using ThemeColours = std::array<QColor, 6>;

// The shared pattern menu: the menu bar's menu 203 (installed under item 1099
// when the bar lacks it) or, without a menu bar, one kept for the views. It is
// filled the first time it is asked for.
LMenu& GetPatternMenu();

// Six RGB colours from the first 36 bytes of a colour table, three big-endian
// 16-bit components each; false (and nothing changed) for fewer bytes.
bool ReadThemeColours(const QByteArray& bytes, ThemeColours& outColours);

// What a theme draws with, loaded on demand: the pattern named by the theme's
// item of the pattern menu (pattern 131 when the item or its pattern is
// missing), the second pattern (ID + 1000) when there is one, and the colours of
// the 'clut' of the pattern's ID (readable defaults when it has none).
struct IndexThemeLook {
    ResIDT patternID = 0;      // 0: not even pattern 131 exists
    PixPattern pattern;
    PixPattern secondPattern;  // null for none
    ThemeColours colours;

    static IndexThemeLook Load(SInt32 theme);
    static ThemeColours DefaultColours();
};
