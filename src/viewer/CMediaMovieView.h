#pragma once

#include "CMediaView.h"

#include <QImage>
#include <QString>

class MediaPlayback;

// The media view of movies and sounds (class ID 'MeVi', pane ID 987): the medium
// is played by a QMediaPlayer whose frames this view draws itself (through a
// video sink), with an audio output and a controller bar of its own drawing.
// Volume, looping and the controller's visibility live in the window's options.
class CMediaMovieView : public CMediaView {
public:
    static constexpr ClassIDT class_ID = 'MeVi';
    static constexpr SInt32 kControllerHeight = 18;
    // The rate of fast forward and backward.
    static constexpr SInt16 kScanRate = 15;

    explicit CMediaMovieView(const LLayoutData& data);
    explicit CMediaMovieView(const SPaneInfo& info);
    ~CMediaMovieView() override;

    void SetMedia(std::unique_ptr<CMedia> media, MediaViewOptions* options) override;
    std::unique_ptr<CMedia> DetachMedia() override;

    // Plays at the preferred rate times `rate` (negative: backwards), or stops.
    void Play(bool play, SInt16 rate = 1);
    void GoToStart();
    // Goes to a time in 1/600 s.
    void GoToTime(SInt32 time);
    bool IsPlaying() const override;
    // Nothing to play, or played to its end: the slide show may go on.
    bool IsReadyForNextSlide() const override;
    bool IsMovieDone() const;
    bool HasMovie() const { return !mSource.isEmpty(); }
    bool IsScanning() const { return mScanning; }
    // The current time and duration in 1/600 s (-1 when unknown).
    SInt32 GetCurrentTime() const;
    SInt32 GetDuration() const;
    // The volume as set (negative: muted), and what the player is given.
    SInt16 GetVolume() const override;
    void SetVolume(SInt16 volume) override;
    float GetOutputVolume() const;
    bool IsOutputMuted() const;
    SInt32 GetControllerHeight() const override;
    bool IsControllerVisible() const;
    // The last frame the player gave (null before the first).
    const QImage& GetVideoFrame() const { return mFrame; }
    MediaPlayback* GetPlayer() const { return mPlayer.get(); }

    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark,
        Str255& outName) override;
    bool HandleKeyPress(const EventRecord& event) override;
    void ClickSelf(const SMouseDownEvent& event) override;

protected:
    void StatusUpdate() override;
    void IdleUpdate(const EventRecord& event) override;
    void DrawSelf(QPainter& painter) override;
    void DrawMedium(QPainter& painter, const QRect& localBounds) override;

private:
    void InitMovieView();
    void ApplyVolume();
    void ApplyLooping();
    void MediaEnded();
    void DrawController(QPainter& painter);
    void DrawSoundStatus(QPainter& painter);
    QRect ControllerRect() const;
    void Scan(SInt16 rate);

    std::unique_ptr<MediaPlayback> mPlayer;
    QString mSource;
    QImage mFrame;
    bool mHasVideo = false;
    bool mHasSound = false;
    bool mStartPlaying = false;
    bool mScanning = false;
    bool mEnded = false;
    SInt16 mDirection = 1; // back-and-forth looping plays the other way after each end
};
