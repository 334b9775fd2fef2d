#include "CIndexPackage.h"

#include "ExceptionCode.h"
#include "FileRef.h"
#include "FileRoutines.h"
#include "IndexViewServices.h"
#include "Preferences.h"

#include <QDir>

CIndexPackage::CIndexPackage(const QUrl& packageURL, IndexViewServices* owner)
    : mOwner(owner)
{
    mStoreMedia = GetPrefBoolean(QStringLiteral("IndexStoreMediaFile"));
    mRemoveMedia = GetPrefBoolean(QStringLiteral("IndexRemoveMediaFile"));

    if (!packageURL.isValid() || !packageURL.isLocalFile())
        ThrowOSErr_(err_NilPointer, "index package URL is not a local folder");
    // Every part is resolved against the package, so it must read as a folder.
    mPackageURL = packageURL;
    if (!mPackageURL.path().endsWith(QLatin1Char('/')))
        mPackageURL.setPath(mPackageURL.path() + QLatin1Char('/'));

    mIndexDbURL = mPackageURL.resolved(QUrl(QStringLiteral("index.db")));
    mSettingsURL = mPackageURL.resolved(QUrl(QStringLiteral("settings.xml")));
    mThumbsURL = mPackageURL.resolved(QUrl(QStringLiteral("thumbs/")));
    mMediaURL = mPackageURL.resolved(QUrl(QStringLiteral("media/")));
    if (!mIndexDbURL.isValid() || !mSettingsURL.isValid() || !mThumbsURL.isValid() || !mMediaURL.isValid())
        ThrowOSErr_(err_NilPointer);

    if (URLExists(mPackageURL))
        return; // an existing package is opened as it is, never repaired

    for (const QUrl& folder : {mPackageURL, mThumbsURL, mMediaURL}) {
        const QString path = FileRef::FromUrl(folder).Path();
        if (!QDir().mkdir(path))
            ThrowOSErr_(err_AssertFailed, "cannot create " + path.toStdString());
    }
    ThrowIfOSErr_(SetBundleBit(mPackageURL));
}

void CIndexPackage::AddFileToRemove(const QUrl& file)
{
    if (file.isEmpty() || !mOwner)
        return;
    mOwner->AddFileToDelete(file);
}

QUrl CIndexPackage::StoredMediaURL(const QString& storedName) const
{
    if (!IsValidFileName(storedName))
        return QUrl();
    return FileRef::FromUrl(mMediaURL).Child(storedName).ToUrl();
}
