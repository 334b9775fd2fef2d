#include "Notifications.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>
#include <QWidget>

namespace {

QDBusMessage NotificationsCall(const char* method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"),
        QString::fromLatin1(method));
}

constexpr int kServiceMilliseconds = 5000;

} // namespace

void PostDesktopNotification(
    const QString& title, const QString& text, QWidget* window, std::function<void(unsigned)> posted)
{
    const QPointer<QWidget> target(window);
    const auto markOnly = [target, posted] {
        QApplication::alert(target);
        if (posted)
            posted(0);
    };
    if (text.isEmpty() || !QDBusConnection::sessionBus().isConnected()) {
        markOnly();
        return;
    }
    // The desktop entry names the program to the notification server (its settings
    // and grouping); its icon is installed under the same name.
    const QString entry = QGuiApplication::desktopFileName();
    QDBusMessage call = NotificationsCall("Notify");
    call << QCoreApplication::applicationName() << 0u << entry << title << text << QStringList()
         << QVariantMap { { QStringLiteral("desktop-entry"), entry } } << -1;
    auto* watcher
        = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, kServiceMilliseconds), qApp);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, markOnly, posted] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError()) {
            markOnly();
            return;
        }
        if (posted)
            posted(reply.value());
    });
}

void RemoveDesktopNotification(unsigned id)
{
    if (id == 0 || !QDBusConnection::sessionBus().isConnected())
        return;
    QDBusMessage call = NotificationsCall("CloseNotification");
    call << id;
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
}
