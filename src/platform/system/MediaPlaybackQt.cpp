#include "MediaPlayback.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QSoundEffect>
#include <QVideoFrame>
#include <QVideoSink>

namespace {

class QtPlayback final : public MediaPlayback {
public:
    QtPlayback()
    {
        // Where nothing can take the sound (no sound server, no device) the
        // picture plays on its own: an output with no device behind it stalls
        // or breaks the player.
        if (!QMediaDevices::audioOutputs().isEmpty())
            mPlayer.setAudioOutput(&mAudio);
        mPlayer.setVideoSink(&mSink);
        QObject::connect(&mSink, &QVideoSink::videoFrameChanged, &mSink, [this](const QVideoFrame& frame) {
            if (frame.isValid() && frameShown)
                frameShown(frame.toImage());
        });
        QObject::connect(&mPlayer, &QMediaPlayer::mediaStatusChanged, &mPlayer, [this](QMediaPlayer::MediaStatus status) {
            if (status == QMediaPlayer::EndOfMedia && ended)
                ended();
        });
        QObject::connect(&mPlayer, &QMediaPlayer::playbackStateChanged, &mPlayer, [this](QMediaPlayer::PlaybackState state) {
            if (playingChanged)
                playingChanged(state == QMediaPlayer::PlayingState);
        });
    }
    ~QtPlayback() override
    {
        mPlayer.disconnect();
        mSink.disconnect();
        mPlayer.stop();
    }

    void SetSource(const QUrl& source) override { mPlayer.setSource(source); }
    void Play() override { mPlayer.play(); }
    void Pause() override { mPlayer.pause(); }
    void Stop() override { mPlayer.stop(); }
    void SetPosition(qint64 milliseconds) override { mPlayer.setPosition(milliseconds); }
    qint64 Position() const override { return mPlayer.position(); }
    qint64 Duration() const override { return mPlayer.duration(); }
    void SetPlaybackRate(double rate) override { mPlayer.setPlaybackRate(rate); }
    double PlaybackRate() const override { return mPlayer.playbackRate(); }
    void SetLoops(int loops) override { mPlayer.setLoops(loops == kInfinite ? QMediaPlayer::Infinite : loops); }
    int Loops() const override { return mPlayer.loops() == QMediaPlayer::Infinite ? kInfinite : mPlayer.loops(); }
    bool IsPlaying() const override { return mPlayer.playbackState() == QMediaPlayer::PlayingState; }
    bool IsAtEnd() const override { return mPlayer.mediaStatus() == QMediaPlayer::EndOfMedia; }
    bool HasFailed() const override
    {
        return mPlayer.mediaStatus() == QMediaPlayer::InvalidMedia || mPlayer.error() != QMediaPlayer::NoError;
    }
    void SetVolume(float level, bool muted) override
    {
        mAudio.setVolume(level);
        mAudio.setMuted(muted);
    }
    float Volume() const override { return mAudio.volume(); }
    bool IsMuted() const override { return mAudio.isMuted(); }

private:
    // The player goes first, before the output and sink it uses.
    QAudioOutput mAudio;
    QVideoSink mSink;
    QMediaPlayer mPlayer;
};

class QtSound final : public SoundEffect {
public:
    void Play(const QUrl& wavFile) override
    {
        mEffect.setSource(wavFile);
        mEffect.play();
    }
    void Stop() override { mEffect.stop(); }

private:
    QSoundEffect mEffect;
};

std::unique_ptr<MediaPlayback> NewPlayback()
{
    return std::make_unique<QtPlayback>();
}

std::unique_ptr<SoundEffect> NewSound()
{
    return std::make_unique<QtSound>();
}

// Only the backend's library: the backend itself is made on the GUI thread at
// its first use, which then finds the library loaded (it is never unloaded).
void LoadLibraries()
{
    const QString name
        = QStringLiteral("multimedia/lib%1mediaplugin").arg(QString::fromLocal8Bit(qgetenv("QT_MEDIA_BACKEND")));
    for (const QString& folder : QCoreApplication::libraryPaths()) {
        QLibrary backend(QDir(folder).filePath(name));
        if (backend.load())
            return;
    }
}

} // namespace

extern "C" Q_DECL_EXPORT const MultimediaMakers* OrvexMultimediaMakers()
{
    static const MultimediaMakers makers = [] {
        // Qt's FFmpeg backend, unless the user chose one: it plays a sound where no
        // sound server runs (GStreamer's stops with a data stream error there) and
        // reads what the program's own FFmpeg reads. Chosen before Qt Multimedia
        // first starts, which is when it reads the choice.
        if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
            qputenv("QT_MEDIA_BACKEND", "ffmpeg");
        return MultimediaMakers { &NewPlayback, &NewSound, &LoadLibraries };
    }();
    return &makers;
}
