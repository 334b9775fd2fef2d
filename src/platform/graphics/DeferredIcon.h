#pragma once

#include <QIcon>

#include <functional>

// An icon made at its first use (painted, measured or asked for a pixmap) rather
// than now. The style's standard icons decode every size they ship when made:
// rows and menus that start with one need not pay for it before they are shown.
// Copies share the one made icon. For square icons that exist, shipped at
// `shippedSide` pixels or larger (the style's at 16, the toolbar's at 32): until
// made it is not null and fills a square asked up to that size.
QIcon DeferredIcon(std::function<QIcon()> make, int shippedSide = 16);

// The same for an icon of the desktop's icon theme, or one of the style's standard
// icons (the style looks in the theme first). The first look in the theme reads its
// index, which costs more than drawing a whole window: while theme icons are held,
// such an icon is not made, draws nothing and answers no pixmap.
QIcon DeferredThemeIcon(std::function<QIcon()> make, int shippedSide = 16);

// Holds theme icons back, or lets them be made (the windows that drew them without
// must then be drawn again). Not held unless asked.
void HoldThemeIcons(bool hold);
bool ThemeIconsHeld();
