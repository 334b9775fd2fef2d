#include "ItemThumbnails.h"

#include "CItemError.h"
#include "CMedia.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "FinderPreview.h"
#include "Liveness.h"
#include "MediaFactory.h"
#include "MediaImageInfo.h"
#include "Preferences.h"
#include "ThumbnailFile.h"
#include "ThumbnailMaker.h"
#include "UserData.h"
#include "WorkerPool.h"

#include <algorithm>
#include <optional>

namespace {

constexpr const char* kItemDeleted = "the item was deleted while its thumbnail was made";

// What the GUI thread prepares for one item before the pool does the work.
struct PreparedItem {
    ExceptionCode error {noErr};
    bool skipped = false;
    QString path;
    OSType fileType = 0;
};

PreparedItem PrepareItem(CIndexItem& item, const ThumbnailSettings& settings, ThumbnailRequest& request)
{
    PreparedItem prepared;
    prepared.fileType = item.GetFileTypeCode();
    if (prepared.fileType == 'icns' || IsSoundMediaType(prepared.fileType)) {
        prepared.skipped = true;
        return prepared;
    }
    prepared.error = CatchException([&] {
        const QUrl url = item.GetURL();
        if (url.isEmpty() || !URLExists(url))
            ThrowOSErr_(err_NilPointer, "no medium for the item");
        request.fileType = prepared.fileType;
        const OSType mediaType = GetMediaFileType(url);
        if (url.isLocalFile() && IsThumbnailMadeFromFile(mediaType)) {
            // Still images are decoded straight from the file on the pool.
            prepared.path = url.toLocalFile();
            request.path = prepared.path;
            request.copyMetaData = !item.IsUserDataLookedFor();
            return;
        }
        std::unique_ptr<CMedia> media = CreateMediaForFile(url);
        ThrowIfNil_(media);
        if (url.isLocalFile())
            prepared.path = url.toLocalFile();
        if (!item.IsUserDataLookedFor()) {
            item.SetUserDataLookedFor(true);
            if (std::unique_ptr<UserData> data = media->CopyMetaData())
                item.SetUserData(std::move(data));
        }
        // The medium gets no orientation: the thumbnail keeps the picture as stored.
        request.drawn = DrawMediumForThumbnail(*media, settings, &request.smallMedium);
    });
    return prepared;
}

// The item's own error, when it has one, stands for the failure.
ExceptionCode ItemFailure(CIndexItem& item, const ExceptionCode& error)
{
    item.SetThumbnailFailed(true);
    if (const CItemError* own = item.GetError(); own && own->GetCode() != noErr)
        return ExceptionCode(own->GetCode(), own->GetReason());
    return error;
}

void SetMadeThumbnail(CIndexItem& item, const PreparedItem& prepared, const ThumbnailRequest& request,
    ThumbnailResult& result, bool applyToMediaFile, CItemThumbnails& services)
{
    if (request.copyMetaData && !item.IsUserDataLookedFor()) {
        item.SetUserDataLookedFor(true);
        if (result.metaData)
            item.SetUserData(std::make_unique<UserData>(std::move(*result.metaData)));
    }
    const bool wasDirty = item.IsDirty();
    item.SetThumbnail(std::make_unique<Picture>(result.picture));
    item.SetSmallMedium(result.smallMedium);
    item.SetRecreateAnswer(services.ShouldRecreateThumbnail(item));
    if (applyToMediaFile && !item.GetPackage() && !IsFontMediaType(prepared.fileType) && !prepared.path.isEmpty()) {
        // Written into the file as its preview, the thumbnail is only kept
        // when the item itself must save it.
        if (AddFilePreview(FileRef(prepared.path), result.picture) == noErr && !item.IsInIndexFile() && !wasDirty)
            item.SetThumbnail(nullptr);
    }
    item.SetDisplayPicture(nullptr);
}

CItemThumbnails& TheServices()
{
    static CItemThumbnails services;
    return services;
}

} // namespace

std::vector<ExceptionCode> CreateThumbnailsWithReasons(const std::vector<CIndexItem*>& items, bool applyToMediaFile)
{
    const ThumbnailSettings settings = ThumbnailSettings::FromPreferences();
    std::vector<ExceptionCode> errors(items.size(), ExceptionCode(noErr));
    // Other tasks run while this one yields, and may delete items: each is
    // held by a live pointer and looked at again after every wait.
    std::vector<TLivePtr<CIndexItem>> live;
    live.reserve(items.size());
    for (CIndexItem* item : items)
        live.emplace_back(item);
    std::vector<PreparedItem> prepared(items.size());
    std::vector<ThumbnailRequest> requests;
    std::vector<std::size_t> requestOf;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!items[i]) {
            errors[i] = ExceptionCode(err_NilPointer, "no item");
            continue;
        }
        if (!live[i]) {
            errors[i] = ExceptionCode(err_NilPointer, kItemDeleted);
            continue;
        }
        ThumbnailRequest request;
        prepared[i] = PrepareItem(*items[i], settings, request);
        if (prepared[i].skipped)
            continue;
        if (!live[i]) {
            errors[i] = ExceptionCode(err_NilPointer, kItemDeleted);
            continue;
        }
        if (prepared[i].error.Code() != noErr) {
            errors[i] = ItemFailure(*items[i], prepared[i].error);
            continue;
        }
        requests.push_back(std::move(request));
        requestOf.push_back(i);
    }

    std::vector<ThumbnailResult> results = MakeThumbnails(requests, settings); // yields

    for (std::size_t r = 0; r < results.size(); ++r) {
        const std::size_t i = requestOf[r];
        CIndexItem* item = live[i].Get();
        if (!item) {
            errors[i] = ExceptionCode(err_NilPointer, kItemDeleted);
            continue;
        }
        ExceptionCode error(results[r].status, results[r].reason);
        if (error.Code() == noErr)
            error = CatchException(
                [&] { SetMadeThumbnail(*item, prepared[i], requests[r], results[r], applyToMediaFile, TheServices()); });
        if (error.Code() != noErr && live[i])
            errors[i] = ItemFailure(*item, error);
        else if (error.Code() != noErr)
            errors[i] = ExceptionCode(err_NilPointer, kItemDeleted);
    }
    return errors;
}

std::vector<OSStatus> CreateThumbnails(const std::vector<CIndexItem*>& items, bool applyToMediaFile)
{
    std::vector<OSStatus> codes;
    for (const ExceptionCode& error : CreateThumbnailsWithReasons(items, applyToMediaFile))
        codes.push_back(error.Code());
    return codes;
}

void CItemThumbnails::CreateThumbnail(CIndexItem& item, bool applyToMediaFile)
{
    const ExceptionCode error = CreateThumbnailsWithReasons({ &item }, applyToMediaFile).front();
    if (error.Code() != noErr)
        throw error;
}

void ReadThumbnailFiles(const std::vector<CIndexItem*>& items)
{
    struct Read {
        TLivePtr<CIndexItem> item;
        SInt32 number = 0;
        QUrl file;
        std::optional<Picture> picture;
    };
    std::vector<Read> reads;
    for (CIndexItem* item : items)
        if (item && item->IsThumbnailOnlyOnDisk())
            reads.push_back({TLivePtr<CIndexItem>(item), item->GetThumbnailNumber(), item->CopyThumbnailURL(), {}});
    if (reads.empty())
        return;
    // Only files and pictures cross to the workers; the items stay on this thread.
    WorkerPool::RunEach(reads.size(), [&reads](std::size_t i) {
        if (CatchCode([&] { reads[i].picture = ReadThumbnailFile(reads[i].file); }) != noErr)
            reads[i].picture.reset();
    });
    for (Read& read : reads) {
        CIndexItem* item = read.item.Get();
        // The item may have a new picture or number by now: that one stands.
        if (item && read.picture && item->IsThumbnailOnlyOnDisk() && item->GetThumbnailNumber() == read.number)
            item->SetThumbnailQuietly(std::make_unique<Picture>(std::move(*read.picture)));
    }
}

namespace {

// A medium no larger than its thumbnail gives the same thumbnail again: pictures
// are never enlarged. Its size is the one kept with the item, else its file's own.
bool IsMediumWithinThumbnail(CIndexItem& item, SInt32 side)
{
    if (item.IsSmallMedium())
        return true;
    const MediaImageInfo* info = nullptr;
    (void)CatchCode([&] { info = item.GetImageInfo(); });
    return info && info->width > 0 && std::max<SInt32>(info->width, info->height) <= side;
}

} // namespace

bool CItemThumbnails::ShouldRecreateThumbnail(CIndexItem& item)
{
    if (item.HasThumbnailFailed() && !item.IsThumbnailFailureStale())
        return false;
    if (item.IsThumbnailLookedFor() || item.IsURLLookedFor())
        return false;
    const OSType type = item.GetFileTypeCode();
    if (type == 'icns' || IsSoundMediaType(type))
        return false;
    Rect frame;
    if (CatchCode([&] {
            Picture* picture = item.GetThumbnail();
            ThrowIfNil_(picture);
            frame = picture->Frame();
        })
        != noErr)
        return true;
    const SInt32 side = std::max<SInt32>(frame.Width(), frame.Height());
    // The size thumbnails are made at: a preference beyond the largest would
    // otherwise ask for every thumbnail again and again.
    const SInt32 size = ThumbnailSettings::FromPreferences().size;
    if (GetPrefBoolean(QStringLiteral("RecreateThumbnailWhenDifferent")) && side < size)
        return !IsMediumWithinThumbnail(item, side);
    return IsFontMediaType(type) && side != size;
}

void CItemThumbnails::Install()
{
    SetThumbnailServices(&TheServices());
}

OSStatus AddFilePreviewFromFile(const FileRef& file)
{
    return CatchCode([&] {
        const QUrl url = file.ToUrl();
        const ThumbnailSettings settings = ThumbnailSettings::FromPreferences();
        ThumbnailRequest request;
        request.fileType = GetMediaFileType(url);
        if (IsThumbnailMadeFromFile(request.fileType)) {
            request.path = file.Path();
        } else {
            std::unique_ptr<CMedia> media = CreateMediaForFile(url);
            ThrowIfNil_(media);
            request.drawn = DrawMediumForThumbnail(*media, settings, &request.smallMedium);
        }
        ThumbnailResult result = WorkerPool::Run([&] { return MakeThumbnail(request, settings); });
        ThrowIfOSErr_(result.status);
        ThrowIfOSErr_(AddFilePreview(file, result.picture));
    });
}
