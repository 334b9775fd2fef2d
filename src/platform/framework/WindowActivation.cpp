#include "WindowActivation.h"

#include <QApplication>
#include <QRegularExpression>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

void Unminimize(QWidget* window)
{
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply
        = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Asks the window manager to activate `window`; `source` says who asks (1 the
// program, 2 a pager), `time` the user's action it answers.
void RequestActiveWindow(xcb_connection_t* connection, xcb_window_t window, uint32_t source, uint32_t time)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_client_message_event_t event {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom(connection, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = source;
    event.data.data32[1] = time;
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
        reinterpret_cast<const char*>(&event));
}

// A startup notification value: quoted when it holds a blank, a quote or a backslash.
QByteArray StartupValue(const QByteArray& value)
{
    if (!value.contains(' ') && !value.contains('"') && !value.contains('\\'))
        return value;
    QByteArray quoted = value;
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted + '"';
}

// X11: the window manager grants the activation for the time of the user's click
// that the startup id carries ("..._TIME<server time>"); the launch's startup is
// then over, which ends the desktop's busy feedback.
void ActivateOnX11(QWidget* widget, const QByteArray& startupId)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection || !widget->windowHandle())
        return;
    const xcb_window_t window = xcb_window_t(widget->windowHandle()->winId());
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const QRegularExpressionMatch time
        = QRegularExpression(QStringLiteral("_TIME(\\d+)$")).match(QString::fromUtf8(startupId));

    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, Atom(connection, "_NET_STARTUP_ID"),
        Atom(connection, "UTF8_STRING"), 8, uint32_t(startupId.size()), startupId.constData());
    if (time.hasMatch())
        RequestActiveWindow(connection, window, 1, time.captured(1).toUInt());
    // The "remove" message in pieces of 20 bytes, the first of the beginning type.
    const QByteArray message = "remove: ID=" + StartupValue(startupId) + '\0';
    const xcb_atom_t begin = Atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = Atom(connection, "_NET_STARTUP_INFO");
    for (qsizetype at = 0; at < message.size(); at += 20) {
        xcb_client_message_event_t event {};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = window;
        event.type = at == 0 ? begin : more;
        std::memcpy(event.data.data8, message.constData() + at, size_t(std::min<qsizetype>(20, message.size() - at)));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
    }
    xcb_flush(connection);
}

void TakeActivationOnX11(QWidget* widget)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection || !widget->windowHandle())
        return;
    const xcb_window_t window = xcb_window_t(widget->windowHandle()->winId());
    // A pager's request is granted whatever the user did last; without a window
    // manager the focus is set here.
    RequestActiveWindow(connection, window, 2, XCB_CURRENT_TIME);
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
    xcb_flush(connection);
}

} // namespace

QString LaunchActivationToken()
{
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    return token.isEmpty() ? qEnvironmentVariable("DESKTOP_STARTUP_ID") : token;
}

void BringForward(QWidget* window, QWidget* alert, const QString& token)
{
    if (window) {
        Unminimize(window);
        window->raise();
    }
    QWidget* top = alert ? alert : window;
    if (!top)
        return;
    Unminimize(top);
    top->raise();
    const QString platform = QGuiApplication::platformName();
    // Qt's Wayland plugin activates with the token it finds here, and clears it.
    if (!token.isEmpty() && platform.startsWith(QLatin1String("wayland")))
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    top->activateWindow();
    // The window system confirms the activation later; Qt takes it now (as a
    // window selected by the program does), so what opens next lands in it.
    if (top->isVisible() && QApplication::activeWindow() != top)
        QApplication::setActiveWindow(top);
    if (!token.isEmpty() && platform == QLatin1String("xcb"))
        ActivateOnX11(top, token.toUtf8());
}

void TakeActivation(QWidget* window)
{
    if (!window || !window->isVisible())
        return;
    window->raise();
    window->activateWindow();
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        TakeActivationOnX11(window);
}
