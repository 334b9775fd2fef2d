#include "Notifications.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace {

QDBusMessage NotificationsCall(const char* method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"),
        QString::fromLatin1(method));
}

} // namespace

unsigned PostDesktopNotification(const QString& title, const QString& text, QWidget* window)
{
    if (!text.isEmpty() && QDBusConnection::sessionBus().isConnected()) {
        QDBusMessage call = NotificationsCall("Notify");
        call << QCoreApplication::applicationName() << 0u << QString() << title << text << QStringList()
             << QVariantMap() << -1;
        QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            return reply.arguments().constFirst().toUInt();
    }
    QApplication::alert(window);
    return 0;
}

void RemoveDesktopNotification(unsigned id)
{
    if (id == 0 || !QDBusConnection::sessionBus().isConnected())
        return;
    QDBusMessage call = NotificationsCall("CloseNotification");
    call << id;
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
}
