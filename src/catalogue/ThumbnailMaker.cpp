#include "ThumbnailMaker.h"

#include "PrefKeys.h"

#include "CMedia.h"
#include "ColorMatching.h"
#include "ExceptionCode.h"
#include "FileTypes.h"
#include "GraphicsImporter.h"
#include "ImageBands.h"
#include "MediaFactory.h"
#include "PixelOperations.h"
#include "Preferences.h"
#include "RectUtilities.h"
#include "ThumbnailFile.h"
#include "WorkerPool.h"

#include <algorithm>

ThumbnailSettings ThumbnailSettings::FromPreferences()
{
    ThumbnailSettings s;
    s.size = SInt16(std::clamp<SInt32>(GetPrefNumber(QStringLiteral("DefaultThumbnailSize")), 1, kLargestThumbnailSide));
    s.createQuality = CodecQ(std::clamp<SInt32>(GetPrefNumber(QStringLiteral("ThumbnailCreateQuality")), 0,
        codecLosslessQuality));
    s.sharpen = GetPrefBoolean(QStringLiteral("SharpenThumbnail"));
    s.compression = GetPrefNumber(QStringLiteral("DefaultThumbnailCompression"));
    s.matchColors = Pref::MediaUseICCProfile.Get();
    s.useBuiltInThumbnail = !Pref::IgnoreBuiltInThumbnail.Get();
    return s;
}

std::optional<CodecQ> ThumbnailCompressionQuality(SInt32 compression)
{
    switch (compression) {
    case 1:
        return std::nullopt;
    case 2:
        return codecMaxQuality;
    case 4:
        return codecNormalQuality;
    case 5:
        return codecLowQuality;
    case 6:
        return codecMinQuality;
    default:
        return codecHighQuality;
    }
}

Rect ThumbnailFrame(const Rect& natural, SInt16 size)
{
    Rect fitted;
    FitRectInRect(natural, MakeRect(0, 0, size, size), fitted, false, false);
    const SInt16 width = std::max<SInt16>(1, fitted.Width());
    const SInt16 height = std::max<SInt16>(1, fitted.Height());
    return MakeRect(0, 0, height, width);
}

bool IsThumbnailSharpened(OSType fileType)
{
    return fileType != 'EPSF' && fileType != 'PDF ' && fileType != 'RAW ' && !IsFontMediaType(fileType);
}

Picture RecordThumbnailPicture(Offscreen& drawn, const ThumbnailSettings& settings, bool sharpen)
{
    if (drawn.IsNull())
        ThrowOSErr_(err_NilPointer, "no drawn thumbnail");
    if (sharpen)
        SharpenGWorld(&drawn);
    const Rect frame = MakeRect(0, 0, drawn.Height(), drawn.Width());
    if (std::optional<CodecQ> quality = ThumbnailCompressionQuality(settings.compression))
        return Picture::FromImageAsJPEG(drawn.Image(), frame, *quality, ditherCopy);
    return Picture::FromImage(drawn.Image(), frame, ditherCopy);
}

Offscreen DrawMediumForThumbnail(CMedia& media, const ThumbnailSettings& settings, bool* smallMedium)
{
    media.ResetTransform();
    media.SetQuality(settings.createQuality);
    if (!media.HasArea())
        ThrowOSErr_(err_AssertFailed, "medium without area");
    Rect natural;
    ThrowIfOSErr_(media.GetNaturalBounds(&natural));
    if (smallMedium)
        *smallMedium = natural.Width() < settings.size;
    // The bounds are set before drawing, so the medium is drawn once at
    // thumbnail size and never at full size.
    const Rect frame = ThumbnailFrame(natural, settings.size);
    ThrowIfOSErr_(media.SetBoundsRect(&frame));
    Offscreen world(frame);
    CGrafPtr saved = nullptr;
    media.GetGWorld(&saved);
    OSStatus status;
    {
        StOffscreenPort port(world);
        port.Port()->setClipRect(ToQRect(frame));
        status = media.SetGWorld(port.Port());
        if (status == noErr)
            status = media.DrawMatched();
        port.End();
    }
    media.SetGWorld(saved);
    ThrowIfOSErr_(status);
    return world;
}

bool IsThumbnailMadeFromFile(OSType fileType)
{
    switch (fileType) {
    case 'GIFf':
        return true;
    case 'EPSF':
    case 'PDF ':
    case 'RAW ':
    case 'icns':
    case 'CWGR':
    case 'CWPT':
    case 'clpp':
    case 'SCRN':
    case 'SLD3':
    case '3DMF':
        return false;
    default:
        return IsSupportedMediaType(fileType) && !IsMovieFileType(fileType) && !IsFontMediaType(fileType)
            && !IsSoundMediaType(fileType);
    }
}

namespace {

// The still image of a file at the thumbnail frame, laid on white as a
// medium draws it into a fresh offscreen world.
Offscreen DecodeStillForThumbnail(const ThumbnailRequest& request, const ThumbnailSettings& settings,
    ThumbnailResult& result)
{
    const OSType hint = request.fileType ? request.fileType : FileTypeForName(request.path);
    std::unique_ptr<GraphicsImporter> importer;
    ThrowIfOSErr_(GraphicsImporter::OpenFile(request.path, hint, importer));
    importer->SetQuality(settings.createQuality);
    importer->SetUseEmbeddedPreview(settings.useBuiltInThumbnail);
    if (request.copyMetaData) {
        UserData data;
        if (importer->GetMetaData(data) == noErr && !data.IsEmpty())
            result.metaData = std::move(data);
    }
    Rect natural;
    ThrowIfOSErr_(importer->GetNaturalBounds(&natural));
    if (natural.IsEmpty())
        ThrowOSErr_(err_AssertFailed, "image without area");
    result.smallMedium = natural.Width() < settings.size;
    const Rect frame = ThumbnailFrame(natural, settings.size);

    // The decoder gives the smallest size it can that still covers the frame
    // (JPEG: an eighth, a quarter or a half); the rest is an exact smooth scale.
    QImage decoded;
    ThrowIfOSErr_(importer->DecodeImage(QSize(frame.Width(), frame.Height()), decoded));
    if (decoded.isNull())
        ThrowOSErr_(codecErr, "nothing decoded");
    // Scaled and drawn on this worker alone: Qt's own routines would hand rows of
    // a large image to Qt's pool, a pool inside ours, and the workers would wait.
    if (decoded.width() != frame.Width() || decoded.height() != frame.Height())
        decoded = ScaledSmoothlyInThisThread(decoded, QSize(frame.Width(), frame.Height()));
    if (decoded.isNull())
        ThrowOSErr_(memFullErr, "no room to scale the picture");

    Offscreen world(frame);
    DrawImageInBands(world.Image(), decoded);
    if (settings.matchColors) {
        const QByteArray profile = importer->GetColorProfile();
        // A profile that cannot be used leaves the pixels unmatched, as on screen.
        if (!profile.isEmpty())
            MatchImageToDisplay(world.Image(), profile);
    }
    return world;
}

} // namespace

ThumbnailResult MakeThumbnail(const ThumbnailRequest& request, const ThumbnailSettings& settings)
{
    ThumbnailResult result;
    const ExceptionCode error = CatchException([&] {
        Offscreen world;
        if (!request.drawn.IsNull()) {
            world = request.drawn;
            result.smallMedium = request.smallMedium;
        } else {
            const OSType type = request.fileType ? request.fileType : FileTypeForName(request.path);
            if (!IsThumbnailMadeFromFile(type))
                ThrowOSErr_(paramErr, "this kind of file is drawn by its medium");
            world = DecodeStillForThumbnail(request, settings, result);
        }
        const bool sharpen = settings.sharpen && IsThumbnailSharpened(request.fileType);
        result.picture = RecordThumbnailPicture(world, settings, sharpen);
    });
    result.status = error.Code();
    result.reason = error.Context();
    if (result.status != noErr)
        result.picture = Picture();
    return result;
}

std::vector<ThumbnailResult> MakeThumbnails(const std::vector<ThumbnailRequest>& requests,
    const ThumbnailSettings& settings)
{
    std::vector<ThumbnailResult> results(requests.size());
    WorkerPool::RunEach(requests.size(),
        [&](std::size_t i) { results[i] = MakeThumbnail(requests[i], settings); });
    return results;
}
