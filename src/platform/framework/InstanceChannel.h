#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <string>

class QObject;

// How a later launch hands its documents to the running program: a local socket
// under the instance's name, one message a launch (a verb, "open" or "print", the
// document paths, then the activation token the desktop gave the launch, which lets
// the running program's window come to the front). Qt Network with the libraries it brings lives in the module
// "orvex-instance", loaded when the program starts listening or hands over.
struct InstanceChannel {
    using Received = std::function<void(const QString& verb, const QStringList& paths, const QString& token)>;
    // Listens under `name`, taking the place of a server that a crashed holder left;
    // `received` runs on the GUI thread for each launch. The server, which the caller
    // deletes, or nullptr when none can listen.
    QObject* (*listen)(const QString& name, Received received);
    // Sends one message to the program listening under `name`: false when none
    // answers within `timeoutMilliseconds`.
    bool (*handOver)(const QString& name, const QString& verb, const QStringList& paths, const QString& token,
        int timeoutMilliseconds);
};

// The module's table; nullptr with `error` set when it cannot be loaded.
const InstanceChannel* GetInstanceChannel(std::string& error);
