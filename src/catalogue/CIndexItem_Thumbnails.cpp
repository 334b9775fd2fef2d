// The item's thumbnail picture: read from the package's "thumbs/" folder, written
// there, and made through the installed thumbnail maker.
#include "CIndexItem.h"

#include "CANPAInfo.h"
#include "CEXIFInfo.h"
#include "CItemError.h"
#include "MediaImageInfo.h"
#include "Offscreen.h"
#include "UserData.h"

#include "CIndexPackage.h"
#include "ExceptionCode.h"
#include "FileRef.h"
#include "MediaFactory.h"
#include "Picture.h"
#include "Preferences.h"

#include <QFile>
#include <QSaveFile>

namespace {

ThumbnailMaker* gThumbnailMaker = nullptr;

} // namespace

void SetThumbnailMaker(ThumbnailMaker* maker)
{
    gThumbnailMaker = maker;
}

ThumbnailMaker* GetThumbnailMaker()
{
    return gThumbnailMaker;
}

QUrl CIndexItem::CopyThumbnailURL() const
{
    if (!mPackage || mThumbnailNumber <= 0)
        ThrowOSErr_(err_AssertFailed, "item without a thumbnail file");
    // "%d.pct" in the package's thumbs folder.
    return FileRef::FromUrl(mPackage->GetThumbsURL()).Child(QString::number(mThumbnailNumber) + ".pct").ToUrl();
}

Picture* CIndexItem::GetThumbnail()
{
    if (GetFileTypeCode() == 'icns')
        return nullptr;
    if (mThumbnail)
        return mThumbnail.get();

    if (mPackage && mThumbnailNumber > 0) {
        QFile file(FileRef::FromUrl(CopyThumbnailURL()).Path());
        if (!file.open(QIODevice::ReadOnly))
            ThrowOSErr_(err_AssertFailed, "thumbnail file cannot be read");
        const QByteArray bytes = file.readAll();
        if (bytes.size() < Picture::kFileHeaderSize)
            ThrowOSErr_(err_AssertFailed, "thumbnail file shorter than its header");
        // The 512-byte header is never read: the picture is everything after it.
        mThumbnail = std::make_unique<Picture>(bytes.mid(Picture::kFileHeaderSize));
        mDisplayPictureChanged = true;
    } else {
        LoadRecord(); // an index-file record carries the picture
    }

    if (!mThumbnail && !mThumbnailLookedFor) {
        if (ThumbnailMaker* maker = GetThumbnailMaker()) {
            const bool wasDirty = mDirty;
            std::unique_ptr<Picture> preview = maker->FindFilePreview(*this);
            if (preview)
                SetThumbnailQuietly(std::move(preview));
            mDirty = wasDirty;
        }
    }
    mThumbnailLookedFor = true;
    return mThumbnail.get();
}

void CIndexItem::CreateThumbnail(bool applyToMediaFile)
{
    if (GetFileTypeCode() == 'icns' || IsSoundMediaType(GetFileTypeCode()))
        return;
    try {
        ThumbnailMaker* maker = GetThumbnailMaker();
        if (!maker)
            ThrowOSErr_(err_NilPointer, "no thumbnail maker");
        maker->CreateThumbnail(*this, applyToMediaFile);
    } catch (const ExceptionCode&) {
        mThumbnailFailed = true;
        throw;
    }
}

void CIndexItem::WriteThumbnailFile(CIndexPackage& package)
{
    const bool fromOtherPackage = mPackage && mPackage != &package;

    Picture* picture = GetThumbnail();
    ThumbnailMaker* maker = GetThumbnailMaker();
    if (maker && GetPrefBoolean(QStringLiteral("AutoCreateThumbnail")) && maker->ShouldRecreateThumbnail(*this)) {
        CreateThumbnail(GetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile")));
        picture = GetThumbnail();
    }
    if (!picture)
        ThrowOSErr_(err_NilPointer, "item without a thumbnail");

    SInt32 number = mThumbnailNumber;
    if (fromOtherPackage || number == 0)
        number = package.NextThumbID();
    number = number < 0 ? -number : number;

    const QString path
        = FileRef::FromUrl(package.GetThumbsURL()).Child(QString::number(number) + QStringLiteral(".pct")).Path();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(picture->ToFileData()) < 0 || !file.commit())
        ThrowOSErr_(err_AssertFailed, "thumbnail file cannot be written: " + path.toStdString());

    mThumbnailNumber = number;
    SetThumbnail(nullptr); // read back from the file when needed
}
