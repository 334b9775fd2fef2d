#include "CQTMovieMedia.h"

#include "ExceptionCode.h"
#include "FileRef.h"
#include "FileTypes.h"
#include "GraphicsExporter.h"
#include "Preferences.h"
#include "UserData.h"

#include <QPainter>

namespace {

constexpr OSType kSystem7SoundType = 'sfil';
constexpr OSType kGIFType = 'GIFf';

QString MovieLocation(const QUrl& url)
{
    return url.isLocalFile() || url.scheme().isEmpty() ? url.toLocalFile() : url.toString();
}

} // namespace

CQTMovieMedia::CQTMovieMedia(const QUrl& url)
{
    ThrowIf_(!url.isValid() || url.isEmpty(), "movie without a URL");
    OSType type = kUnknownFileType;
    OSType creator = 0;
    if (url.isLocalFile() && GetFileTypeAndCreatorOf(FileRef::FromUrl(url), type, creator) != noErr)
        type = kUnknownFileType;

    // System 7 sound files keep their sound in a resource; no importer here reads them.
    if (type == kSystem7SoundType)
        ThrowOSErr_(cantFindHandler, "System 7 sound file");

    mMovie = Movie::Open(MovieLocation(url));
    if (type == kGIFType && !HasNextInterestingTime())
        ThrowOSErr_(err_AssertFailed, "GIF of a single frame");

    mNaturalBox = mMovie->NaturalBox(); // the movie layer keeps its box at the origin
    SetIdentityMatrix(mMatrix);
}

CQTMovieMedia::~CQTMovieMedia() = default;

OSStatus CQTMovieMedia::SetSourceRect(const Rect* r)
{
    if (!r)
        return paramErr;
    mClip = *r;
    return noErr;
}

OSStatus CQTMovieMedia::GetSourceRect(Rect* r)
{
    if (!r)
        return paramErr;
    *r = mClip.IsEmpty() ? mNaturalBox : mClip;
    return noErr;
}

OSStatus CQTMovieMedia::GetNaturalBounds(Rect* r)
{
    if (!r)
        return paramErr;
    *r = mNaturalBox;
    return CMedia::GetNaturalBounds(r);
}

// The box is the natural box through the matrix: setting it maps the present box onto the
// new one, as the Movie Toolbox did.
OSStatus CQTMovieMedia::SetBoundsRect(const Rect* r)
{
    if (!r)
        return paramErr;
    if (mNaturalBox.IsEmpty())
        return noErr; // a sound has no box to place
    RectMatrix(mMatrix, mNaturalBox, *r);
    return noErr;
}

OSStatus CQTMovieMedia::GetBoundsRect(Rect* r)
{
    if (!r)
        return paramErr;
    *r = mNaturalBox.IsEmpty() ? mNaturalBox : TransformRect(mMatrix, mNaturalBox);
    return noErr;
}

OSStatus CQTMovieMedia::SetGWorld(CGrafPtr port)
{
    mPort = port;
    return noErr;
}

OSStatus CQTMovieMedia::GetGWorld(CGrafPtr* port)
{
    if (!port)
        return paramErr;
    *port = mPort;
    return noErr;
}

OSStatus CQTMovieMedia::SetMatrix(const MatrixRecord* m)
{
    if (!m)
        return paramErr;
    mMatrix = *m;
    return noErr;
}

OSStatus CQTMovieMedia::GetMatrix(MatrixRecord* m)
{
    if (!m)
        return paramErr;
    *m = mMatrix;
    return noErr;
}

SInt16 CQTMovieMedia::GetMaxZoom()
{
    return SInt16(GetPrefNumber(QStringLiteral("MediaMovieMaxZoom")));
}

void CQTMovieMedia::DrawFrame(QPainter& port, TimeValue time)
{
    if (mFrameTime != time || mFrame.IsNull()) {
        mFrame = mMovie->FrameAtTime(time);
        mFrameTime = time;
    }
    port.save();
    port.setTransform(mMatrix.transform, true);
    if (!mClip.IsEmpty())
        port.setClipRect(ToQRect(mClip), Qt::IntersectClip);
    port.drawImage(ToQRect(mNaturalBox), mFrame.Image());
    port.restore();
}

Picture CQTMovieMedia::PictureAtTime(TimeValue time)
{
    if (mNaturalBox.IsEmpty())
        return Picture();
    Rect box;
    ThrowIfOSErr_(GetBoundsRect(&box));
    Offscreen world(box);
    {
        StOffscreenPort port(world);
        DrawFrame(*port.Port(), time);
    }
    return Picture::FromOffscreen(world);
}

OSStatus CQTMovieMedia::GetAsPicture(Picture* out)
{
    if (!out)
        return paramErr;
    return CatchCode([&] {
        if (mRotation != kMediaRotateNone)
            ThrowIfOSErr_(Rotate(mRotation));
        if (mFlip != kMediaFlipNone)
            ThrowIfOSErr_(Flip(mFlip));
        *out = PictureAtTime(mMovie->CurrentTime());
        if (out->IsNull())
            ThrowOSErr_(err_NilPointer, "movie without a picture");
    });
}

bool CQTMovieMedia::HasSound()
{
    return MovieHasAudio(mMovie.get());
}

OSStatus CQTMovieMedia::Export(GraphicsExporter* exporter)
{
    if (!exporter)
        return err_NilPointer;
    return CatchCode([&] {
        const Picture poster = PictureAtTime(mMovie->PosterTime());
        if (poster.IsNull())
            ThrowOSErr_(err_NilPointer, "movie without a poster");
        exporter->SetInputPicture(poster);
        ThrowIfOSErr_(exporter->DoExport());
    });
}

UserData* CQTMovieMedia::GetMetaData()
{
    return &mMovie->GetUserData();
}

std::unique_ptr<UserData> CQTMovieMedia::CopyMetaData()
{
    // A copy through the stored form, as the caller will store it.
    std::unique_ptr<UserData> copy;
    if (UserData::NewUserDataFromHandle(mMovie->GetUserData().ToHandle(), copy) != noErr)
        return nullptr;
    return copy;
}

OSStatus CQTMovieMedia::GetDescription(MediaImageInfo* info)
{
    if (!info)
        return paramErr;
    if (OSStatus status = CMedia::GetDescription(info))
        return status;
    return CatchCode([&] {
        info->dataSize = SInt32(std::clamp<SInt64>(mMovie->DataSize(), 0, 0x7FFFFFFF));
        info->width = mNaturalBox.Width();
        info->height = mNaturalBox.Height();
    });
}

OSStatus CQTMovieMedia::Draw()
{
    return CatchCode([&] {
        if (mNaturalBox.IsEmpty())
            return; // a sound draws nothing
        ThrowIfNil_(mPort);
        DrawFrame(*mPort, mMovie->PosterTime());
    });
}

bool CQTMovieMedia::HasNextInterestingTime()
{
    return mMovie->NextInterestingTime(mMovie->CurrentTime()) >= 0;
}
