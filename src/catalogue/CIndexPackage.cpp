#include "CIndexPackage.h"

#include "PrefKeys.h"

#include "ExceptionCode.h"
#include "FileRef.h"
#include "FileRoutines.h"
#include "CIndexModel.h"
#include "Preferences.h"
#include "ThumbnailFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <limits>
#include <QRegularExpression>

CIndexPackage::CIndexPackage(const QUrl& packageURL, CIndexModel* model)
    : mModel(model)
{
    mStoreMedia = Pref::IndexStoreMediaFile.Get();
    mRemoveMedia = Pref::IndexRemoveMediaFile.Get();

    if (!packageURL.isValid() || !packageURL.isLocalFile())
        ThrowOSErr_(err_NilPointer, "index package URL is not a local folder");
    // Every part is resolved against the package, so it must read as a folder.
    mPackageURL = packageURL;
    if (!mPackageURL.path().endsWith(QLatin1Char('/')))
        mPackageURL.setPath(mPackageURL.path() + QLatin1Char('/'));

    mIndexDbURL = mPackageURL.resolved(QUrl(QLatin1String(kIndexDataFileName)));
    mSettingsURL = mPackageURL.resolved(QUrl(QStringLiteral("settings.xml")));
    mThumbsURL = mPackageURL.resolved(QUrl(QStringLiteral("thumbs/")));
    mMediaURL = mPackageURL.resolved(QUrl(QStringLiteral("media/")));
    if (!mIndexDbURL.isValid() || !mSettingsURL.isValid() || !mThumbsURL.isValid() || !mMediaURL.isValid())
        ThrowOSErr_(err_NilPointer);
    mIndexDbFile = FileRef::FromUrl(mIndexDbURL);

    if (URLExists(mPackageURL))
        return; // an existing package is opened as it is, never repaired

    for (const QUrl& folder : {mPackageURL, mThumbsURL, mMediaURL}) {
        const QString path = FileRef::FromUrl(folder).Path();
        if (!QDir().mkdir(path))
            ThrowOSErr_(err_AssertFailed, "cannot create " + path.toStdString());
    }
    ThrowIfOSErr_(SetBundleBit(mPackageURL));
}

CIndexPackage::~CIndexPackage() = default;

OSStatus CIndexPackage::Lock()
{
    auto lock = std::make_unique<QLockFile>(FileRef::FromUrl(mPackageURL).Path() + QLatin1Char('/')
        + QLatin1String(kPackageLockName));
    // A lock is only ever taken over from a program that is gone, never for its age.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        mLock = std::move(lock);
        return noErr;
    }
    if (lock->error() == QLockFile::LockFailedError)
        return kMsgIndexInUse;
    return noErr; // nowhere to keep a lock: only reading will work there anyway
}

void CIndexPackage::AddFileToRemove(const QUrl& file)
{
    if (file.isEmpty() || !mModel)
        return;
    mModel->AddFileToDelete(file);
}

QUrl CIndexPackage::StoredMediaURL(const QString& storedName) const
{
    if (!IsValidFileName(storedName))
        return QUrl();
    return FileRef::FromUrl(mMediaURL).Child(storedName).ToUrl();
}

SInt32 CIndexPackage::NextThumbID()
{
    for (;;) {
        if (mLastThumbID <= 0 || mLastThumbID == std::numeric_limits<SInt32>::max())
            ThrowOSErr_(paramErr, "no thumbnail number is left to hand out");
        const SInt32 number = mLastThumbID++;
        const QUrl file = ThumbnailFileURL(mThumbsURL, number);
        if (number > 0 && (file.isEmpty() || !QFileInfo::exists(file.toLocalFile())))
            return number;
    }
}

void CIndexPackage::ReserveThumbIDsUpTo(SInt32 used)
{
    if (used >= mLastThumbID && used < std::numeric_limits<SInt32>::max())
        mLastThumbID = used + 1;
}

int CIndexPackage::RemoveLeftoverTemporaries() const
{
    // QSaveFile's "name.XXXXXX" beside the file, and a truncating stream's ".name.XXXXXX".
    static const QRegularExpression kPackageTemporary(
        QStringLiteral("^\\.?(index\\.db|settings\\.xml)\\.[A-Za-z0-9]{6}$"));
    static const QRegularExpression kThumbTemporary(QStringLiteral("^\\.?[0-9]+\\.pct\\.[A-Za-z0-9]{6}$"));
    int removed = 0;
    auto sweep = [&](const QUrl& folderURL, const QRegularExpression& pattern) {
        const QDir folder(FileRef::FromUrl(folderURL).Path());
        for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            if (pattern.match(name).hasMatch() && QFile::remove(folder.filePath(name)))
                ++removed;
        }
    };
    sweep(mPackageURL, kPackageTemporary);
    sweep(mThumbsURL, kThumbTemporary);
    return removed;
}
