// The item's thumbnail picture: read from the package's "thumbs/" folder, written
// there, and made through the installed thumbnail services.
#include "CIndexItem.h"

#include "PrefKeys.h"

#include "CANPAInfo.h"
#include "CEXIFInfo.h"
#include "CIndexPackage.h"
#include "CItemError.h"
#include "CMedia.h"
#include "ExceptionCode.h"
#include "FileRef.h"
#include "FinderPreview.h"
#include "MediaFactory.h"
#include "MediaImageInfo.h"
#include "Offscreen.h"
#include "Picture.h"
#include "Preferences.h"
#include "ThumbnailFile.h"
#include "UserData.h"


namespace {

ThumbnailServices* gThumbnailServices = nullptr;

// What tells one state of a media file from another: its place, size and date.
QString MediaFileStamp(const QUrl& url)
{
    if (!url.isLocalFile())
        return url.toString();
    FileStat stat;
    if (FileRef(url.toLocalFile()).Stat(stat) != noErr)
        return QString();
    return QStringLiteral("%1\n%2\n%3.%4")
        .arg(url.toLocalFile())
        .arg(stat.size)
        .arg(stat.modificationSeconds)
        .arg(stat.modificationNanoseconds);
}

} // namespace

void SetThumbnailServices(ThumbnailServices* maker)
{
    gThumbnailServices = maker;
}

ThumbnailServices* GetThumbnailServices()
{
    return gThumbnailServices;
}

QUrl CIndexItem::PartOrNullURL()
{
    try {
        return GetURL();
    } catch (const ExceptionCode&) {
        return QUrl();
    }
}

QUrl CIndexItem::CopyThumbnailURL() const
{
    if (!mPackage || mThumbnailNumber <= 0)
        ThrowOSErr_(err_AssertFailed, "item without a thumbnail file");
    return ThumbnailFileURL(mPackage->GetThumbsURL(), mThumbnailNumber);
}

bool CIndexItem::IsThumbnailOnlyOnDisk() const
{
    return !HeldThumbnail() && mPackage && mThumbnailNumber > 0 && mFileType != 'icns';
}

bool CIndexItem::HasThumbnail() const
{
    return mFileType != 'icns' && (HeldThumbnail() || mThumbnailNumber > 0);
}

Picture* CIndexItem::GetThumbnail()
{
    if (GetFileTypeCode() == 'icns')
        return nullptr;
    if (Picture* held = HeldThumbnail())
        return held;

    if (mPackage && mThumbnailNumber > 0) {
        MakeRare().thumbnail = std::make_unique<Picture>(ReadThumbnailFile(CopyThumbnailURL()));
        mDisplayPictureChanged = true;
    } else {
        LoadRecord(); // an index-file record carries the picture
    }

    if (!HeldThumbnail() && !mThumbnailLookedFor) {
        // A preview the file carries itself stands in: first the one in its
        // resource store, then the medium's own embedded thumbnail.
        const bool wasDirty = mDirty;
        const QUrl url = HoldsURL() ? HeldURL() : PartOrNullURL();
        Picture preview;
        bool found = false;
        if (url.isEmpty() || url.isLocalFile()) {
            FileRef file = FileRef::FromUrl(url);
            found = file.IsValid() && ReadFilePreview(file, preview) == noErr;
            if (!found && !Pref::IgnoreBuiltInThumbnail.Get() && GetFileTypeCode() != 'RAW ') {
                const TLivePtr<CIndexItem> self(this);
                try {
                    std::unique_ptr<CMedia> media;
                    {
                        const StNeverAskForFiles quiet; // a thumbnail never asks for a missing file
                        media.reset(CreateMedia());
                    }
                    if (media) {
                        ThrowIfOSErr_(media->GetThumbnailPicture(&preview));
                        found = !preview.IsNull();
                    }
                } catch (const ExceptionCode&) {
                    // Looked for all the same: a damaged file is not opened again at every call.
                    if (self) {
                        mThumbnailLookedFor = true;
                        mDirty = wasDirty;
                    }
                    throw;
                }
            }
        }
        if (found)
            SetThumbnailQuietly(std::make_unique<Picture>(std::move(preview)));
        mDirty = wasDirty;
    }
    mThumbnailLookedFor = true;
    return HeldThumbnail();
}

void CIndexItem::CreateThumbnail(bool applyToMediaFile)
{
    if (GetFileTypeCode() == 'icns' || IsSoundMediaType(GetFileTypeCode()))
        return;
    const TLivePtr<CIndexItem> self(this);
    try {
        ThumbnailServices* maker = GetThumbnailServices();
        if (!maker)
            ThrowOSErr_(err_NilPointer, "no thumbnail maker");
        maker->CreateThumbnail(*this, applyToMediaFile); // yields
        self.Checked("the item was deleted while its thumbnail was made");
    } catch (const ExceptionCode&) {
        if (self)
            SetThumbnailFailed(true);
        throw;
    }
}

void CIndexItem::WriteThumbnailFile(CIndexPackage& package)
{
    const bool fromOtherPackage = mPackage && mPackage != &package;
    const TLivePtr<CIndexItem> self(this);

    // A file without a preview of its own still gets a thumbnail made below.
    Picture* picture = nullptr;
    try {
        picture = GetThumbnail();
    } catch (const ExceptionCode&) {
    }
    self.Checked("the item was deleted while its thumbnail was read");
    ThumbnailServices* maker = GetThumbnailServices();
    if (maker && Pref::AutoCreateThumbnail.Get() && maker->ShouldRecreateThumbnail(*this)) {
        CreateThumbnail(Pref::ApplyChangesToMediaFile.Get());
        picture = GetThumbnail();
    }
    if (!picture)
        ThrowOSErr_(err_NilPointer, "item without a thumbnail");

    const SInt32 number
        = ThumbnailNumberForWrite(mThumbnailNumber, fromOtherPackage, [&] { return package.NextThumbID(); });
    ::WriteThumbnailFile(ThumbnailFileURL(package.GetThumbsURL(), number), *picture);

    mThumbnailNumber = number;
    SetThumbnail(nullptr); // read back from the file when needed
}

void CIndexItem::SetThumbnailFailed(bool failed)
{
    mThumbnailFailed = failed;
    if (failed) {
        QUrl url;
        (void)CatchCode([&] { url = GetURL(); });
        MakeRare().failedFileStamp = MediaFileStamp(url);
    } else if (mRare) {
        mRare->failedFileStamp.clear();
    }
}

bool CIndexItem::IsThumbnailFailureStale()
{
    if (!mThumbnailFailed)
        return false;
    QUrl url;
    (void)CatchCode([&] { url = GetURL(); });
    if (mRare && MediaFileStamp(url) == mRare->failedFileStamp)
        return false;
    SetThumbnailFailed(false);
    mThumbnailLookedFor = false;
    return true;
}
