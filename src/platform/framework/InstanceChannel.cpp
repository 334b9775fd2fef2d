// The module "orvex-instance": the later-launch channel over Qt Network's local sockets.
#include "InstanceChannel.h"

#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

QObject* Listen(const QString& name, InstanceChannel::Received received)
{
    auto* server = new QLocalServer;
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        // A server left behind by a crashed instance answers nobody: take its place.
        // (Only the holder of the instance lock listens, so no live program owns it.)
        QLocalServer::removeServer(name);
        if (!server->listen(name)) {
            delete server;
            return nullptr;
        }
    }
    QObject::connect(server, &QLocalServer::newConnection, server, [server, received] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, received] {
                QDataStream in(socket);
                in.startTransaction();
                QString verb;
                QStringList paths;
                QString token;
                in >> verb >> paths >> token;
                if (!in.commitTransaction())
                    return; // not all there yet
                socket->disconnectFromServer();
                received(verb, paths, token);
            });
        }
    });
    return server;
}

bool HandOver(
    const QString& name, const QString& verb, const QStringList& paths, const QString& token, int timeoutMilliseconds)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMilliseconds))
        return false;
    QByteArray block;
    QDataStream out(&block, QIODevice::WriteOnly);
    out << verb << paths << token;
    socket.write(block);
    socket.flush();
    socket.waitForBytesWritten(timeoutMilliseconds);
    socket.waitForDisconnected(timeoutMilliseconds);
    return true;
}

} // namespace

extern "C" Q_DECL_EXPORT const InstanceChannel* OrvexInstanceChannel()
{
    static const InstanceChannel channel {&Listen, &HandOver};
    return &channel;
}
