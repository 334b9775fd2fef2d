#include "SoundPlayer.h"

#include "FileErrors.h"
#include "MediaPlayback.h"

#include <QFile>

// The sounds are compiled into the bundle resources of the platform layer.
static void InitSoundResources()
{
    Q_INIT_RESOURCE(orvex);
}

namespace {
SoundPlayer* gSoundPlayer = nullptr;
}

SoundPlayer& SoundPlayer::Get()
{
    if (!gSoundPlayer) {
        InitSoundResources();
        gSoundPlayer = new SoundPlayer;
    } // lives until the program ends, like the old channel
    return *gSoundPlayer;
}

bool SoundPlayer::Exists()
{
    return gSoundPlayer != nullptr;
}

SoundPlayer::SoundPlayer() = default;
SoundPlayer::~SoundPlayer() = default;

QUrl SoundPlayer::SoundResourceUrl(SInt16 id)
{
    InitSoundResources();
    QString path = QStringLiteral(":/sounds/snd-%1.wav").arg(id);
    return QFile::exists(path) ? QUrl(QStringLiteral("qrc") + path) : QUrl();
}

OSStatus SoundPlayer::Play(const QUrl& wavFile)
{
    Stop();
    if (wavFile.isEmpty())
        return fnfErr;
    QString local = wavFile.scheme() == QLatin1String("qrc") ? QLatin1Char(':') + wavFile.path() : wavFile.toLocalFile();
    if (!QFile::exists(local))
        return fnfErr;
    mEffect = NewSoundEffect();
    if (!mEffect)
        return noErr; // no multimedia: silent, as without an audio device
    mEffect->Play(wavFile);
    mCurrent = wavFile;
    return noErr;
}

void SoundPlayer::Stop()
{
    if (mEffect)
        mEffect->Stop();
    mEffect.reset();
    mCurrent.clear();
}

bool SoundPlayer::IsPlaying() const
{
    return mEffect && !mCurrent.isEmpty();
}
