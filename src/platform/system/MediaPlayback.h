#pragma once

#include <QImage>
#include <QUrl>

#include <functional>
#include <memory>

// Movies and sounds played through Qt Multimedia, whose libraries take long to
// load: the code that uses it is a module (orvex-multimedia) that the first movie
// view or sound loads. Without the module nothing plays, and a movie player tells
// that it failed.
class MediaPlayback {
public:
    static constexpr int kInfinite = -1; // loops

    virtual ~MediaPlayback() = default;
    virtual void SetSource(const QUrl& source) = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual void SetPosition(qint64 milliseconds) = 0;
    virtual qint64 Position() const = 0;
    virtual qint64 Duration() const = 0; // 0 while unknown
    virtual void SetPlaybackRate(double rate) = 0;
    virtual double PlaybackRate() const = 0;
    virtual void SetLoops(int loops) = 0;
    virtual int Loops() const = 0;
    virtual bool IsPlaying() const = 0;
    virtual bool IsAtEnd() const = 0;   // the end of the medium was reached
    virtual bool HasFailed() const = 0; // the medium could not be opened or played
    virtual void SetVolume(float level, bool muted) = 0;
    virtual float Volume() const = 0;
    virtual bool IsMuted() const = 0;

    // Called on the GUI thread: each new frame, the end of the medium, and each
    // change between playing and not.
    std::function<void(const QImage& frame)> frameShown;
    std::function<void()> ended;
    std::function<void(bool playing)> playingChanged;
};

// A short sound played asynchronously until it ends or is stopped.
class SoundEffect {
public:
    virtual ~SoundEffect() = default;
    virtual void Play(const QUrl& wavFile) = 0;
    virtual void Stop() = 0;
};

// What the multimedia module gives; its entry, `OrvexMultimediaMakers`, answers it.
struct MultimediaMakers {
    std::unique_ptr<MediaPlayback> (*newPlayback)();
    std::unique_ptr<SoundEffect> (*newSound)();
    // Loads the libraries the first sound or movie needs; callable from any thread.
    void (*loadLibraries)();
};

std::unique_ptr<MediaPlayback> NewMediaPlayback();
// nullptr without the module.
std::unique_ptr<SoundEffect> NewSoundEffect();
// The first sound loads the module and its backend, a fifth of a second from a
// cold disk: this has a worker load them beforehand, once.
void PrepareSoundEffects();
