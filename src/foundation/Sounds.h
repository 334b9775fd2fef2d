#pragma once

#include "MacTypes.h"

// The sound player and the sounds the program plays.
void CreateSoundPlayer();
// Plays the shipped sound of that resource ID; nothing when none is shipped.
OSStatus PlaySoundResource(SInt16 id);
void StopSound();
// The selection feedback sound, when "PlaySoundEffects" is on.
OSStatus PlayFeedbackSound();

inline constexpr SInt16 kCompletionSoundID = 200;

// Loads the sound libraries on a worker when "PlayCompletionSound" is on, so that
// the first completion sound does not hold the window. The program asks soon after
// it starts: loaded as an index opened, the loader's lock held the window's
// thread where it started a thread while drawing the new window.
void PrepareCompletionSound();

// Plays the completion sound at its end when "PlayCompletionSound" is on and more than
// the threshold has passed since it was made (or restarted). Times are in ticks.
class StCompletionSound {
public:
    explicit StCompletionSound(SInt16 seconds = 20);
    ~StCompletionSound();
    StCompletionSound(const StCompletionSound&) = delete;
    StCompletionSound& operator=(const StCompletionSound&) = delete;

    void Restart();
    bool IsPastThreshold(UInt32 nowTicks) const { return SInt32(nowTicks - UInt32(mStartTicks)) > mThresholdTicks; }
    SInt32 StartTicks() const { return mStartTicks; }

private:
    SInt32 mStartTicks;
    SInt32 mThresholdTicks;
};
