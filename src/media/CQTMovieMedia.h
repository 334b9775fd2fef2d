#pragma once

#include "CMedia.h"
#include "Movie.h"

#include <QUrl>

#include <memory>

// The medium of every file opened as a movie: movies, sounds, animated GIFs. Still uses
// (thumbnail, picture, export, description) take its poster frame or its current frame;
// playback belongs to the media viewer, which reaches the movie through GetMovie.
class CQTMovieMedia : public CMedia {
public:
    // Throws fnfErr, cantFindHandler (no demuxer or decoder here: System 7 sound files,
    // Flash, 3D metafiles), invalidMovie for a broken file, 'asrt' for a GIF of one frame.
    explicit CQTMovieMedia(const QUrl& url);
    ~CQTMovieMedia() override;

    SInt32 GetKind() override { return kMediaKindMovie; }
    SInt16 GetKindResourceID() override { return kMediaKindMovieResID; }
    OSStatus SetSourceRect(const Rect* r) override;
    OSStatus GetSourceRect(Rect* r) override;
    OSStatus GetNaturalBounds(Rect* r) override;
    OSStatus SetBoundsRect(const Rect* r) override;
    OSStatus GetBoundsRect(Rect* r) override;
    OSStatus SetGWorld(CGrafPtr port) override;
    OSStatus GetGWorld(CGrafPtr* port) override;
    OSStatus SetMatrix(const MatrixRecord* m) override;
    OSStatus GetMatrix(MatrixRecord* m) override;
    SInt16 GetMaxZoom() override;
    OSStatus GetAsPicture(Picture* out) override;
    bool HasSound() override;
    OSStatus Export(GraphicsExporter* exporter) override;
    UserData* GetMetaData() override;
    std::unique_ptr<UserData> CopyMetaData() override;
    OSStatus GetDescription(MediaImageInfo* info) override;
    bool Validate() override { return true; }
    OSStatus Draw() override;

    bool HasNextInterestingTime();

    // The movie, still owned by the medium.
    Movie* GetMovie() const { return mMovie.get(); }

private:
    // The frame at `time` drawn at the movie's box through its matrix, clipped to the
    // source rectangle; a null picture for a movie without pictures.
    Picture PictureAtTime(TimeValue time);
    // Draws the frame at `time` into `port` through the matrix.
    void DrawFrame(QPainter& port, TimeValue time);

    std::unique_ptr<Movie> mMovie;
    Rect mNaturalBox;
    MatrixRecord mMatrix;
    Rect mClip;           // empty: no clip region
    CGrafPtr mPort = nullptr;
    Offscreen mFrame;     // the last frame decoded, and its time
    TimeValue mFrameTime = -1;
};
