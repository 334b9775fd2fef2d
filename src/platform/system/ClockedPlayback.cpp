#include "ClockedPlayback.h"

#include "ExceptionCode.h"
#include "Movie.h"
#include "TickCount.h"

#include <algorithm>

namespace {

class ClockedPlayback final : public KeptSettingsPlayback {
public:
    explicit ClockedPlayback(ManualClock& clock)
        : mFollower(clock.Follow([this](SInt64 milliseconds) { Advance(milliseconds); }))
    {
    }
    ~ClockedPlayback() override { ManualClock::Unfollow(mFollower); }

    void SetSource(const QUrl& source) override
    {
        SetPlaying(false);
        mMovie.reset();
        mPosition = 0;
        mDuration = 0;
        mAtEnd = false;
        mFailed = false;
        if (source.isEmpty())
            return;
        try {
            mMovie = Movie::Open(source.toLocalFile());
            if (mMovie->GetTimeScale() > 0)
                mDuration = qint64(mMovie->Duration()) * 1000 / mMovie->GetTimeScale();
        } catch (const ExceptionCode&) {
            mMovie.reset();
            mFailed = true;
        }
    }
    void Play() override
    {
        if (!mMovie || mFailed)
            return;
        // An ended medium plays again from its start, as Qt's player does.
        if (mAtEnd)
            mPosition = mRate < 0 ? mDuration : 0;
        mAtEnd = false;
        ShowFrame();
        SetPlaying(true);
    }
    void Pause() override { SetPlaying(false); }
    void Stop() override
    {
        mPosition = 0;
        mAtEnd = false;
        SetPlaying(false);
    }
    void SetPosition(qint64 milliseconds) override
    {
        mPosition = std::clamp<qint64>(milliseconds, 0, mDuration);
        mAtEnd = false;
        ShowFrame();
    }
    qint64 Position() const override { return mPosition; }
    qint64 Duration() const override { return mDuration; }
    bool IsPlaying() const override { return mPlaying; }
    bool IsAtEnd() const override { return mAtEnd; }
    bool HasFailed() const override { return mFailed; }

private:
    void Advance(SInt64 milliseconds)
    {
        if (!mPlaying || mDuration <= 0)
            return;
        const qint64 moved = qint64(double(milliseconds) * mRate);
        qint64 position = mPosition + moved;
        const bool pastEnd = mRate > 0 ? position >= mDuration : position <= 0;
        if (pastEnd && mLoops == kInfinite) {
            position %= mDuration;
            if (position < 0)
                position += mDuration;
        } else if (pastEnd) {
            mPosition = mRate > 0 ? mDuration : 0;
            mAtEnd = true;
            ShowFrame();
            SetPlaying(false);
            if (ended)
                ended();
            return;
        }
        mPosition = position;
        ShowFrame();
    }

    void ShowFrame()
    {
        if (!mMovie || !mMovie->HasVideo() || !frameShown)
            return;
        // The frame shown at the end is the last one, not one past it.
        const TimeValue last = std::max<TimeValue>(0, mMovie->Duration() - 1);
        const TimeValue time = TimeValue(std::min<qint64>(mPosition * mMovie->GetTimeScale() / 1000, last));
        try {
            Offscreen frame = mMovie->FrameAtTime(time);
            frameShown(frame.Image());
        } catch (const ExceptionCode&) {
            // A frame that does not decode leaves the last one shown.
        }
    }

    void SetPlaying(bool playing)
    {
        if (playing == mPlaying)
            return;
        mPlaying = playing;
        if (playingChanged)
            playingChanged(playing);
    }

    int mFollower = 0;
    std::unique_ptr<Movie> mMovie;
    qint64 mPosition = 0;
    qint64 mDuration = 0;
    bool mPlaying = false;
    bool mAtEnd = false;
    bool mFailed = false;
};

} // namespace

std::unique_ptr<MediaPlayback> NewClockedPlayback(ManualClock& clock)
{
    return std::make_unique<ClockedPlayback>(clock);
}
