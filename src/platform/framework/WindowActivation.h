#pragma once

#include <QString>

class QWidget;

// The token the desktop gave this launch for bringing a window forward: Wayland's
// XDG_ACTIVATION_TOKEN, else the X11 startup notification's DESKTOP_STARTUP_ID;
// empty when it gave neither.
QString LaunchActivationToken();

// Brings the program forward for a later launch: `window` (the front document
// window) leaves the minimized state and is raised, `alert` (an open modal dialog,
// or null) comes over it, and the topmost of them is made active with the launch's
// `token`, which lets the window manager hand the focus to a program that was in
// the background.
void BringForward(QWidget* window, QWidget* alert, const QString& token);

// Takes the keyboard back for `window` (shown), as a screen lock does when another
// program took it: raised and activated; on X11 also asked of the window manager as
// a pager asks (granted whatever the user did last), and without one, the X focus set.
void TakeActivation(QWidget* window);
