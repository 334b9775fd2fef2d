#include "PreferenceDomain.h"

#include "ErrorHook.h"
#include "PropertyList.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <thread>

namespace {

constexpr char kDomainFolder[] = "orvex";
constexpr char kDomainFileName[] = "org.orvex.Orvex.plist";

// Renames a file that does not parse to "<name>.corrupt-<UTC time>" (with a counter
// when that exists already). Returns the new path, or empty when the rename failed.
QString MoveAside(const QString& path)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString target = path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(target) && n < 1000; ++n)
        target = path + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(path, target))
        return {};
    return target;
}

OSStatus WriteDomainFile(const QString& path, const QVariantMap& values)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return dirNFErr;
    return PropertyList::WriteFile(path, values);
}

} // namespace

PreferenceDomain::PreferenceDomain(QString filePath)
    : mFilePath(std::move(filePath))
{
}

PreferenceDomain::~PreferenceDomain()
{
    WaitForBackgroundWrite();
}

QString PreferenceDomain::ApplicationDomainPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/')
        + QLatin1String(kDomainFolder) + QLatin1Char('/') + QLatin1String(kDomainFileName);
}

PreferenceDomain& PreferenceDomain::Application()
{
    static PreferenceDomain domain(ApplicationDomainPath());
    return domain;
}

void PreferenceDomain::EnsureLoaded()
{
    if (!mLoaded)
        Reload();
}

OSStatus PreferenceDomain::Reload()
{
    WaitForBackgroundWrite();
    mLoaded = true;
    mValues.clear();
    mWriteBlocked = false;
    mCorruptCopy.clear();

    if (!QFileInfo::exists(mFilePath)) {
        mLoadStatus = noErr;
        return noErr;
    }

    QVariant root;
    QString errorText;
    mLoadStatus = PropertyList::ReadFile(mFilePath, root, &errorText);
    if (mLoadStatus == noErr && root.metaType().id() != QMetaType::QVariantMap) {
        mLoadStatus = PropertyList::kErrMalformed;
        errorText = QStringLiteral("the top level is not a dictionary");
    }
    if (mLoadStatus == noErr) {
        mValues = root.toMap();
        return noErr;
    }

    if (mLoadStatus == PropertyList::kErrMalformed) {
        // Keep the damaged file for the user; the domain starts over empty.
        mCorruptCopy = MoveAside(mFilePath);
        if (mCorruptCopy.isEmpty())
            mWriteBlocked = true;
        qWarning().noquote() << "Preferences file" << mFilePath << "is damaged (" << errorText << ");"
                             << (mCorruptCopy.isEmpty() ? QStringLiteral("it could not be moved aside")
                                                        : QStringLiteral("kept as ") + mCorruptCopy);
    } else {
        // Unreadable but maybe intact: never overwrite it with an empty domain.
        mWriteBlocked = true;
        qWarning().noquote() << "Preferences file" << mFilePath << "cannot be read:" << errorText;
    }
    ReportErrorThroughHook(ExceptionCode(mLoadStatus, "preferences file " + mFilePath.toStdString() + ": "
        + errorText.toStdString()));
    return mLoadStatus;
}

QVariant PreferenceDomain::Value(const QString& key)
{
    EnsureLoaded();
    return mValues.value(key);
}

bool PreferenceDomain::Contains(const QString& key)
{
    EnsureLoaded();
    return mValues.contains(key);
}

void PreferenceDomain::SetValue(const QString& key, const QVariant& value)
{
    EnsureLoaded();
    if (!value.isValid()) {
        mValues.remove(key);
    } else if (!PropertyList::IsValid(value)) {
        // One such value would make every later Synchronize fail.
        qWarning().noquote() << "Preference" << key << "has no property-list form; not stored";
    } else {
        mValues.insert(key, value);
    }
}

void PreferenceDomain::Remove(const QString& key)
{
    EnsureLoaded();
    mValues.remove(key);
}

QVariantMap PreferenceDomain::Values()
{
    EnsureLoaded();
    return mValues;
}

OSStatus PreferenceDomain::Synchronize()
{
    EnsureLoaded();
    WaitForBackgroundWrite();
    if (mWriteBlocked)
        return mLoadStatus;
    return WriteDomainFile(mFilePath, mValues);
}

void PreferenceDomain::SynchronizeSoon()
{
    EnsureLoaded();
    if (mWriteBlocked)
        return;
    std::lock_guard lock(mBackgroundLock);
    mBackgroundValues = mValues; // shares the values; the next change here copies them
    if (!std::exchange(mBackgroundRunning, true))
        std::thread([this] { WriteInBackground(); }).detach();
}

void PreferenceDomain::WriteInBackground()
{
    std::unique_lock lock(mBackgroundLock);
    while (mBackgroundValues) {
        const QVariantMap values = *std::exchange(mBackgroundValues, std::nullopt);
        lock.unlock();
        if (const OSStatus status = WriteDomainFile(mFilePath, values); status != noErr)
            qWarning().noquote() << "Preferences file" << mFilePath << "was not written: code" << status;
        lock.lock();
    }
    mBackgroundRunning = false;
    mBackgroundDone.notify_all();
}

void PreferenceDomain::WaitForBackgroundWrite()
{
    std::unique_lock lock(mBackgroundLock);
    mBackgroundDone.wait(lock, [&] { return !mBackgroundRunning; });
}
