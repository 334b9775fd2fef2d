#pragma once

// Input queued as the window system queues it: delivered by the event loop in
// order, and held back by a loop that excludes the user's input, as a real
// keyboard's and mouse's are.
#include <QObject>
#include <QPoint>
#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

#include <functional>

inline void QueueKeyPress(QWindow* window, Qt::Key key, const QString& text = QString())
{
    using Async = QWindowSystemInterface::AsynchronousDelivery;
    QWindowSystemInterface::handleKeyEvent<Async>(window, QEvent::KeyPress, key, Qt::NoModifier, text);
    QWindowSystemInterface::handleKeyEvent<Async>(window, QEvent::KeyRelease, key, Qt::NoModifier, text);
}

inline void QueueKeyPress(QWidget* widget, Qt::Key key, const QString& text = QString())
{
    QueueKeyPress(widget->window()->windowHandle(), key, text);
}

inline void QueueClick(QWidget* widget, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    QWindow* window = widget->window()->windowHandle();
    const QPoint local = widget->mapTo(widget->window(), at);
    const QPoint global = widget->mapToGlobal(at);
    using Async = QWindowSystemInterface::AsynchronousDelivery;
    QWindowSystemInterface::handleMouseEvent<Async>(
        window, local, global, button, button, QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent<Async>(
        window, local, global, Qt::NoButton, button, QEvent::MouseButtonRelease);
}

// Calls `seen` with every event an object receives, for as long as it lives.
class EventWatcher : public QObject {
public:
    EventWatcher(QObject* watched, std::function<void(QObject*, QEvent*)> seen)
        : mSeen(std::move(seen))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        mSeen(watched, event);
        return false;
    }

private:
    std::function<void(QObject*, QEvent*)> mSeen;
};
