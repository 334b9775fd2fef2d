#include "Keychain.h"

#include "Modules.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

// KeychainJobs.cpp's entry, when it is linked into the program rather than loaded.
extern "C" const Keychain::Jobs* OrvexKeychainJobs() __attribute__((weak));

namespace {

const QString kSecretService = QStringLiteral("org.freedesktop.secrets");

// The module's jobs; nullptr (the keychain taken as not available) without it.
const Keychain::Jobs* LoadedJobs()
{
    static std::string error;
    static const Keychain::Jobs* const jobs = ModuleTable(OrvexKeychainJobs, "orvex-keychain", "OrvexKeychainJobs", error);
    return jobs;
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
    if (!IsAvailable() || !LoadedJobs())
        return kErrNotAvailable;
    return LoadedJobs()->find(service, account, outPassword);
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
    if (!IsAvailable() || !LoadedJobs())
        return kErrNotAvailable;
    return LoadedJobs()->set(service, account, password);
}

OSStatus DeleteGenericPassword(const QString& service, const QString& account)
{
    if (!IsAvailable() || !LoadedJobs())
        return kErrNotAvailable;
    const OSStatus code = LoadedJobs()->remove(service, account);
    return code == kErrItemNotFound ? OSStatus(noErr) : code;
}

} // namespace Keychain
