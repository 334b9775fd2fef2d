#pragma once

#include <QObject>

#include <functional>

// Runs `work` on the GUI thread once the program's first window is on the screen
// (exposed), from the event loop a moment after that; at once from the event loop
// when one has been shown already, or when the program shows no windows (no GUI
// application). Work for a destroyed `context` is dropped. Work that loads large
// libraries waits so, keeping them out of the start.
void RunOnceAWindowIsShown(QObject* context, std::function<void()> work);

// Holds the icons of the desktop's theme (DeferredThemeIcon) until the first window
// has been painted without them, then lets them be made and draws every window again.
void HoldThemeIconsUntilAWindowIsShown();
