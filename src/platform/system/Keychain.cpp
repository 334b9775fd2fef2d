#include "Keychain.h"

#include <qt6keychain/keychain.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcKeychain, "orvex.errors.keychain")

const QString kSecretService = QStringLiteral("org.freedesktop.secrets");

OSStatus CodeOf(const QKeychain::Job& job)
{
    switch (job.error()) {
    case QKeychain::NoError:
        return noErr;
    case QKeychain::EntryNotFound:
        return Keychain::kErrItemNotFound;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return Keychain::kErrNotAvailable;
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
        return Keychain::kErrAuthFailed;
    default:
        return Keychain::kErrKeychainFailed;
    }
}

// Runs a job to its end and answers its code; its failures are logged with the service's words.
OSStatus Run(QKeychain::Job& job, const QString& account)
{
    job.setAutoDelete(false);
    job.setKey(account);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    const OSStatus code = CodeOf(job);
    if (code != noErr && code != Keychain::kErrItemNotFound)
        qCWarning(lcKeychain) << "keychain:" << job.errorString() << code;
    return code;
}

} // namespace

namespace Keychain {

bool IsAvailable()
{
    // Asked first so that no keychain operation waits for a service that is not there.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(kSecretService))
        return true;
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(kSecretService);
}

OSStatus FindGenericPassword(const QString& service, const QString& account, QByteArray& outPassword)
{
    outPassword.clear();
    if (!IsAvailable())
        return kErrNotAvailable;
    QKeychain::ReadPasswordJob job(service);
    const OSStatus code = Run(job, account);
    if (code == noErr)
        outPassword = job.binaryData().left(kMaxPasswordLength);
    return code;
}

OSStatus AddGenericPassword(const QString& service, const QString& account, const QByteArray& password)
{
    QByteArray existing;
    const OSStatus found = FindGenericPassword(service, account, existing);
    if (found == noErr)
        return kErrDuplicateItem;
    if (found != kErrItemNotFound)
        return found;
    return SetGenericPassword(service, account, password);
}

OSStatus SetGenericPassword(const QString& service, const QString& account, const QByteArray& password)
{
    if (!IsAvailable())
        return kErrNotAvailable;
    QKeychain::WritePasswordJob job(service);
    job.setBinaryData(password);
    return Run(job, account);
}

OSStatus DeleteGenericPassword(const QString& service, const QString& account)
{
    if (!IsAvailable())
        return kErrNotAvailable;
    QKeychain::DeletePasswordJob job(service);
    const OSStatus code = Run(job, account);
    return code == kErrItemNotFound ? OSStatus(noErr) : code;
}

} // namespace Keychain
