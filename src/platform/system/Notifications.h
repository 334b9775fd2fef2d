#pragma once

#include <QString>

#include <functional>

class QWidget;

// Draws the user's attention while the program is in the background: a freedesktop
// notification (over D-Bus, without waiting for the service) with the text, the
// program's icon and its desktop entry, else the window manager's attention mark.
// `posted` hears the notification's id once the service answered (0 when only the
// mark was set).
void PostDesktopNotification(
    const QString& title, const QString& text, QWidget* window = nullptr, std::function<void(unsigned)> posted = {});
void RemoveDesktopNotification(unsigned id);
