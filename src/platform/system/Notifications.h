#pragma once

#include <QString>

class QWidget;

// Draws the user's attention while the program is in the background: a freedesktop
// notification (over D-Bus) with the text, else the window manager's attention mark.
// Returns the notification's id (0 when only the mark was set).
unsigned PostDesktopNotification(const QString& title, const QString& text, QWidget* window = nullptr);
void RemoveDesktopNotification(unsigned id);
