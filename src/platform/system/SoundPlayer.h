#pragma once

#include "MacTypes.h"

#include <QUrl>

#include <memory>

class SoundEffect;

// The one sound player: a sound plays asynchronously, a new one stops the one before.
// With no audio device the sounds are silent; nobody is told.
class SoundPlayer {
public:
    static SoundPlayer& Get(); // made on first use
    static bool Exists();

    // The WAV file shipped for a sound resource ID (":/sounds/snd-200.wav" ...);
    // empty when none is shipped.
    static QUrl SoundResourceUrl(SInt16 id);

    OSStatus Play(const QUrl& wavFile); // fnfErr for a sound that is not there
    void Stop();
    bool IsPlaying() const;
    QUrl CurrentSound() const { return mCurrent; }

private:
    SoundPlayer();
    ~SoundPlayer();
    std::unique_ptr<SoundEffect> mEffect;
    QUrl mCurrent;
};
