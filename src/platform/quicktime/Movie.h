#pragma once

#include "Geometry.h"
#include "MacTypes.h"
#include "MovieAtomReader.h"
#include "Offscreen.h"
#include "UserData.h"

#include <QImage>
#include <QString>

#include <memory>

using TimeValue = SInt32;
using TimeScale = SInt32;

// A movie or sound file opened through libavformat, with the facts and frames the
// Movie Toolbox gave: the natural box (display size: sample aspect ratio and the
// rotation of the display matrix applied), duration in the movie's time scale, the
// poster and current times, frames as images and the container's user data.
// Not thread-safe: one thread uses one movie at a time.
// The FFmpeg libraries take longer to load than the rest of the program's start,
// so the movies' code lives in a module (orvex-movie) that the first Open loads;
// what touches FFmpeg is virtual here and implemented there.
class Movie {
public:
    // Opens `location` (a local path, or a URL libavformat understands). Throws fnfErr for a
    // missing file, cantFindHandler for data no demuxer takes, invalidMovie for a broken one.
    static std::unique_ptr<Movie> Open(const QString& location);
    // Opens a movie or sound held in memory (one our own code put together); `location`
    // names it. Throws cantFindHandler for data no demuxer takes, invalidMovie for a broken one.
    static std::unique_ptr<Movie> OpenData(const QByteArray& data, const QString& location);
    // Opens a file of bare big-endian signed PCM samples (`bytesPerSample` 1 to 4), whose
    // format is known from elsewhere. Throws as Open does.
    static std::unique_ptr<Movie> OpenPCM(const QString& path, int bytesPerSample, int sampleRate, int channels);
    virtual ~Movie() = default;

    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;

    const QString& Location() const { return mLocation; }
    // libavformat's short name of the container ("mov,mp4,m4a,3gp,3g2,mj2", "avi", ...).
    virtual QString ContainerName() const = 0;

    // The display box at (0,0); empty for a movie without pictures (a sound).
    Rect NaturalBox() const { return mNaturalBox; }
    Rect GetBox() const { return mBox; }
    void SetBox(const Rect& box) { mBox = box; }
    // Quarter turns of the display matrix, 0..3 clockwise.
    int DisplayQuarterTurns() const { return mQuarterTurns; }

    TimeScale GetTimeScale() const { return mTimeScale; }
    TimeValue Duration() const { return mDuration; }
    TimeValue PosterTime() const { return mPosterTime; }
    void SetPosterTime(TimeValue time) { mPosterTime = time; }
    TimeValue CurrentTime() const { return mCurrentTime; }
    void SetCurrentTime(TimeValue time) { mCurrentTime = time; }

    // Bytes of media samples over the whole movie (the container's index when it has one,
    // otherwise the file's size).
    virtual SInt64 DataSize() const = 0;

    bool HasVideo() const { return mVideoStream >= 0; }
    virtual bool HasAudio() const = 0;
    // Read over a streaming protocol (a live source without a fixed duration).
    virtual bool HasStreamingTrack() const = 0;

    // The frame shown at `time`, at the natural box's size: the decoder starts at the key
    // frame at or before the time and decodes forward. Throws invalidTime for a time outside
    // the movie, cantFindHandler when there is no picture or no decoder for it.
    virtual Offscreen FrameAtTime(TimeValue time) = 0;
    Offscreen PosterFrame() { return FrameAtTime(mPosterTime); }
    // The next time after `time` at which a sample starts (a key frame when `syncOnly`);
    // -1 when there is none.
    virtual TimeValue NextInterestingTime(TimeValue time, bool syncOnly = false) = 0;

    // The container's user data: the 'udta' items of a QuickTime/MP4 file, read by our own
    // atom reader, or the tags libavformat reports mapped to the same ©-types.
    const UserData& GetUserData() const { return mUserData; }
    UserData& GetUserData() { return mUserData; }

protected:
    Movie() = default;

    QString mLocation;
    Rect mNaturalBox;
    Rect mBox;
    int mQuarterTurns = 0;
    int mVideoStream = -1;
    TimeScale mTimeScale = 600;
    TimeValue mDuration = 0;
    TimeValue mPosterTime = 0;
    TimeValue mCurrentTime = 0;
    UserData mUserData;
};

// What the movie module gives: the three ways of opening a movie. Its entry,
// `OrvexMovieOpeners`, is handed the program's gMaxDecodedImageBytes and answers
// them; a program that has Movie.cpp linked in (the fuzzers) uses its own.
struct MovieOpeners {
    std::unique_ptr<Movie> (*open)(const QString& location);
    std::unique_ptr<Movie> (*openData)(const QByteArray& data, const QString& location);
    std::unique_ptr<Movie> (*openPCM)(const QString& path, int bytesPerSample, int sampleRate, int channels);
};

// The Movie Toolbox's tests, as the rest of the program names them.
inline bool MovieHasAudio(const Movie* movie)
{
    return movie && movie->HasAudio();
}
inline bool MovieHasStreamingTrack(const Movie* movie)
{
    return movie && movie->HasStreamingTrack();
}
