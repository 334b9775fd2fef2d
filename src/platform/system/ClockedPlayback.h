#pragma once

#include "MediaPlayback.h"

class ManualClock;

// A player's rate, loops and volume kept as they are told, for the players that
// have no output of their own to hand them to.
class KeptSettingsPlayback : public MediaPlayback {
public:
    void SetPlaybackRate(double rate) override { mRate = rate; }
    double PlaybackRate() const override { return mRate; }
    void SetLoops(int loops) override { mLoops = loops; }
    int Loops() const override { return mLoops; }
    void SetVolume(float level, bool muted) override
    {
        mVolume = level;
        mMuted = muted;
    }
    float Volume() const override { return mVolume; }
    bool IsMuted() const override { return mMuted; }

protected:
    double mRate = 1;
    int mLoops = 1;

private:
    float mVolume = 1;
    bool mMuted = false;
};

// A movie or sound played on a manual clock: its position moves only as the clock
// is advanced, its frames are the file's own, decoded by the movie reader at that
// position, and it ends, loops and plays backwards as the Qt Multimedia player
// does. What NewMediaPlayback gives while a manual clock runs.
std::unique_ptr<MediaPlayback> NewClockedPlayback(ManualClock& clock);
