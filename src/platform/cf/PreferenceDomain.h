#pragma once

#include "MacTypes.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <condition_variable>
#include <mutex>
#include <optional>

// One application preference domain: a dictionary of property-list values kept
// in memory and stored as one XML property list. Values set are visible at once;
// they reach the disk at the next Synchronize.
class PreferenceDomain {
public:
    // The file is read lazily, on the first access.
    explicit PreferenceDomain(QString filePath);
    // Waits for a write begun by SynchronizeSoon.
    ~PreferenceDomain();

    // The program's own domain: orvex/org.orvex.Orvex.plist under the generic
    // configuration folder.
    static PreferenceDomain& Application();
    static QString ApplicationDomainPath();

    const QString& FilePath() const { return mFilePath; }

    QVariant Value(const QString& key);
    bool Contains(const QString& key);
    // A null (invalid) value removes the key; a value without a property-list
    // form is refused, so the domain can always be written.
    void SetValue(const QString& key, const QVariant& value);
    void Remove(const QString& key);
    QVariantMap Values();

    // Writes the domain through a temporary file renamed into place. Refuses
    // (returning the read error) while the file on disk could not be read, so an
    // unreadable domain is never replaced by an empty one.
    OSStatus Synchronize();
    // The same write on a thread of its own, returning at once: for a write no
    // one waits on (a default laid down while a window is built), which then
    // never holds the window while the disk is busy. What the domain holds now is
    // written; a newer request replaces one not yet begun, and Synchronize and
    // Reload first wait for the write under way, so writes land in the order
    // asked. A failure is logged; the next write carries the same values.
    void SynchronizeSoon();

    // Forgets what is in memory and reads the file again. A missing file is an
    // empty domain. A file that does not parse is renamed aside (see
    // CorruptFileKeptAs) and reported; the domain then starts empty.
    OSStatus Reload();

    // Where the last corrupt file was moved to; empty when none was.
    const QString& CorruptFileKeptAs() const { return mCorruptCopy; }

    // Result of the last read of the file (noErr also for a missing file).
    OSStatus LoadStatus() const { return mLoadStatus; }

private:
    void EnsureLoaded();
    void WriteInBackground();
    void WaitForBackgroundWrite();

    QString mFilePath;
    QVariantMap mValues;
    bool mLoaded = false;
    OSStatus mLoadStatus = noErr;
    bool mWriteBlocked = false;
    QString mCorruptCopy;
    // The background writer: the values it is to write next, and whether it runs.
    std::mutex mBackgroundLock;
    std::condition_variable mBackgroundDone;
    std::optional<QVariantMap> mBackgroundValues;
    bool mBackgroundRunning = false;
};
