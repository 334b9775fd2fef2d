#include "CQTMovieMedia.h"

#include "ExceptionCode.h"
#include "FileRef.h"
#include "FileTypes.h"
#include "GraphicsExporter.h"
#include "Preferences.h"
#include "ResourceFork.h"
#include "SoundResources.h"
#include "UserData.h"

#include <QFileInfo>
#include <QPainter>

#include <cmath>

namespace {

constexpr OSType kSystem7SoundType = 'sfil';
constexpr OSType kSoundDesignerType = 'Sd2f';
constexpr OSType kGIFType = 'GIFf';
// Sound resources are read whole; larger ones are no sound the old platform made.
constexpr qint64 kMaxSoundResourceSize = 64 * 1024 * 1024;
constexpr qint64 kMaxStringResourceSize = 256;

QString MovieLocation(const QUrl& url)
{
    return url.isLocalFile() || url.scheme().isEmpty() ? url.toLocalFile() : url.toString();
}

// A System 7 sound file keeps its sound in 'snd ' resources (the first by ID plays). A
// Sun or NeXT sound shares the extension and keeps its samples in the data: that opens
// as any sound file does.
std::unique_ptr<Movie> OpenSystem7Sound(const QString& path)
{
    if (QFileInfo(path).size() > 0) {
        std::unique_ptr<Movie> movie;
        if (CatchCode([&] { movie = Movie::Open(path); }) == noErr && movie->HasAudio())
            return movie;
    }
    const auto sounds = ReadFileResources(path, SoundResources::kSoundResourceType, kMaxSoundResourceSize);
    if (sounds.empty())
        ThrowOSErr_(kMediaKindUnavailableErr, "System 7 sound file without 'snd ' resources");
    const SoundResources::SampledSound sound = SoundResources::ParseSoundResource(sounds.front().data);
    return Movie::OpenData(SoundResources::WriteAIFF(sound), path);
}

// A Sound Designer II file: its samples in the data, their format in 'STR ' resources.
std::unique_ptr<Movie> OpenSoundDesignerII(const QString& path)
{
    const auto strings = ReadFileResources(path, SoundResources::kStringResourceType, kMaxStringResourceSize);
    if (strings.empty())
        ThrowOSErr_(kMediaKindUnavailableErr, "Sound Designer II file without its format resources");
    const SoundResources::SampledSound format = SoundResources::SoundDesignerIIFormat(strings);
    return Movie::OpenPCM(path, format.sampleSize / 8, int(std::lround(format.sampleRate)), format.channels);
}

} // namespace

CQTMovieMedia::CQTMovieMedia(const QUrl& url)
{
    ThrowIf_(!url.isValid() || url.isEmpty(), "movie without a URL");
    OSType type = kUnknownFileType;
    OSType creator = 0;
    if (url.isLocalFile() && GetFileTypeAndCreatorOf(FileRef::FromUrl(url), type, creator) != noErr)
        type = kUnknownFileType;

    if (type == kSystem7SoundType && url.isLocalFile())
        mMovie = OpenSystem7Sound(url.toLocalFile());
    else if (type == kSoundDesignerType && url.isLocalFile())
        mMovie = OpenSoundDesignerII(url.toLocalFile());
    else
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
