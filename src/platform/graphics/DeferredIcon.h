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
