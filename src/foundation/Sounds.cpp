#include "Sounds.h"

#include "PrefKeys.h"

#include "MediaPlayback.h"
#include "Preferences.h"
#include "SoundPlayer.h"
#include "UEvents.h"

void CreateSoundPlayer()
{
    SoundPlayer::Get();
}

OSStatus PlaySoundResource(SInt16 id)
{
    QUrl sound = SoundPlayer::SoundResourceUrl(id);
    if (sound.isEmpty())
        return noErr;
    return SoundPlayer::Get().Play(sound);
}

void StopSound()
{
    if (SoundPlayer::Exists())
        SoundPlayer::Get().Stop();
}

OSStatus PlayFeedbackSound()
{
    if (!GetPrefBoolean(QStringLiteral("PlaySoundEffects")))
        return noErr;
    return SoundPlayer::Get().Play(QUrl(QStringLiteral("qrc:/sounds/theme-fsel.wav")));
}

void PrepareCompletionSound()
{
    if (Pref::PlayCompletionSound.Get())
        PrepareSoundEffects();
}

StCompletionSound::StCompletionSound(SInt16 seconds)
    : mStartTicks(SInt32(TickCount()))
    , mThresholdTicks(SInt32(seconds) * 60)
{
    // Loaded meanwhile (unless they are already), the first sound does not hold the window at the work's end.
    PrepareCompletionSound();
}

StCompletionSound::~StCompletionSound()
{
    if (Pref::PlayCompletionSound.Get() && IsPastThreshold(TickCount()))
        PlaySoundResource(kCompletionSoundID);
}

void StCompletionSound::Restart()
{
    mStartTicks = SInt32(TickCount());
}
