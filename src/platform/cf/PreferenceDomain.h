#pragma once

#include "MacTypes.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>

// One application preference domain: a dictionary of property-list values kept
// in memory and stored as one XML property list. Values set are visible at once;
// they reach the disk at the next Synchronize.
class PreferenceDomain {
public:
    // The file is read lazily, on the first access.
    explicit PreferenceDomain(QString filePath);

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

    QString mFilePath;
    QVariantMap mValues;
    bool mLoaded = false;
    OSStatus mLoadStatus = noErr;
    bool mWriteBlocked = false;
    QString mCorruptCopy;
};
