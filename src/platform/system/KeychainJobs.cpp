// The module "orvex-keychain": the secret service's jobs through QtKeychain.
#include "Keychain.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcKeychain, "orvex.errors.keychain")

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

OSStatus Find(const QString& service, const QString& account, QByteArray& outPassword)
{
    QKeychain::ReadPasswordJob job(service);
    const OSStatus code = Run(job, account);
    if (code == noErr)
        outPassword = job.binaryData().left(Keychain::kMaxPasswordLength);
    return code;
}

OSStatus Set(const QString& service, const QString& account, const QByteArray& password)
{
    QKeychain::WritePasswordJob job(service);
    job.setBinaryData(password);
    return Run(job, account);
}

OSStatus Delete(const QString& service, const QString& account)
{
    QKeychain::DeletePasswordJob job(service);
    return Run(job, account);
}

} // namespace

extern "C" Q_DECL_EXPORT const Keychain::Jobs* OrvexKeychainJobs()
{
    static const Keychain::Jobs jobs {&Find, &Set, &Delete};
    return &jobs;
}
