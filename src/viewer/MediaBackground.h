#pragma once

#include "IndexTheme.h"
#include "PixPattern.h"

// The background the media windows share: the 'ppat' named by "MediaPatternID"
// (1 is no pattern: the plain colour), with the colours of its 'clut' for the
// frames drawn on it. Loaded once for each ID the preference names.
//
// A pattern that does not load is logged and pattern 132 stands in for this run;
// the user's preference is left as it is.
const PixPattern& GetMediaBackgroundPattern();
// The colours of the pattern last loaded (readable defaults before one loads).
const ThemeColours& GetMediaBackgroundColours();
// Forgets the loaded pattern (start-up; tests).
void ForgetMediaBackgroundPattern();

inline constexpr SInt32 kPlainMediaBackground = 1;
inline constexpr ResIDT kFallbackMediaPattern = 132;
