#include "CMediaMovieView.h"

#include "CMedia.h"
#include "CQTMovieMedia.h"
#include "ExceptionCode.h"
#include "LocalizedStrings.h"
#include "MediaPlayback.h"
#include "Preferences.h"
#include "TextFormats.h"

#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kPlayingInterval = 0.125;
constexpr SInt32 kVolumeLimit = kFullVolume;
constexpr int kSoundStatusHeight = 50;
constexpr int kSoundStatusGap = 10;

// Milliseconds to the movie time the program counts in (1/600 s) and back.
SInt32 ToMovieTime(qint64 milliseconds)
{
    return ClampToSInt32(milliseconds * 600 / 1000);
}
qint64 FromMovieTime(SInt32 time)
{
    return qint64(time) * 1000 / 600;
}

QString SourceOf(CMedia* media)
{
    auto* movie = dynamic_cast<CQTMovieMedia*>(media);
    if (!movie || !movie->GetMovie())
        return QString();
    const QString location = movie->GetMovie()->Location();
    return QFileInfo::exists(location) ? location : QString();
}
} // namespace

CMediaMovieView::CMediaMovieView(const LLayoutData& data)
    : CMediaView(data)
{
    InitMovieView();
}

CMediaMovieView::CMediaMovieView(const SPaneInfo& info)
    : CMediaView(info)
{
    InitMovieView();
}

void CMediaMovieView::InitMovieView()
{
    mPlayer = NewMediaPlayback();
    mPlayer->frameShown = [this](const QImage& frame) {
        mFrame = frame;
        update();
    };
    mPlayer->ended = [this] { MediaEnded(); };
    mPlayer->playingChanged = [this](bool playing) {
        // Status comes often while playing, and once more when it stops.
        if (playing) {
            mEnded = false;
            StartRepeating(kPlayingInterval);
        }
        StatusUpdate();
        update();
    };
}

CMediaMovieView::~CMediaMovieView()
{
    // The player stops and goes before the view its callbacks draw into.
    mPlayer->frameShown = nullptr;
    mPlayer->ended = nullptr;
    mPlayer->playingChanged = nullptr;
    mPlayer->Stop();
    mPlayer.reset();
}

void CMediaMovieView::SetMedia(std::unique_ptr<CMedia> media, MediaViewOptions* options)
{
    const bool changed = media.get() != mMedia.get();
    mPlayer->Stop();
    mFrame = QImage();
    mScanning = false;
    mEnded = false;
    mDirection = 1;
    mPlayer->SetPlaybackRate(1.0);
    mSource = SourceOf(media.get());
    mHasVideo = media && media->HasArea();
    mHasSound = media && media->HasSound();
    CMediaView::SetMedia(std::move(media), options);
    mPlayer->SetSource(mSource.isEmpty() ? QUrl() : QUrl::fromLocalFile(mSource));
    if (!mMedia)
        return;
    ApplyVolume();
    ApplyLooping();
    mStartPlaying = changed && !mSource.isEmpty() && GetPrefBoolean(QStringLiteral("MediaAutoPlay"));
}

std::unique_ptr<CMedia> CMediaMovieView::DetachMedia()
{
    mPlayer->Stop();
    mPlayer->SetSource(QUrl());
    mSource.clear();
    mFrame = QImage();
    return CMediaView::DetachMedia();
}

void CMediaMovieView::Play(bool play, SInt16 rate)
{
    if (!HasMovie())
        return;
    if (!play) {
        mPlayer->Pause();
        return;
    }
    if (mEnded && rate > 0)
        mPlayer->SetPosition(0);
    mEnded = false;
    mPlayer->SetPlaybackRate(double(rate));
    mPlayer->Play();
}

void CMediaMovieView::GoToStart()
{
    GoToTime(0);
}

void CMediaMovieView::GoToTime(SInt32 time)
{
    if (!HasMovie())
        return;
    mEnded = false;
    mPlayer->SetPosition(FromMovieTime(std::max<SInt32>(0, time)));
    // A stopped movie keeps telling where it is.
    if (!IsPlaying())
        StartRepeating(kPlayingInterval);
}

bool CMediaMovieView::IsPlaying() const
{
    return mPlayer->IsPlaying();
}

bool CMediaMovieView::IsMovieDone() const
{
    if (mEnded || mPlayer->IsAtEnd())
        return true;
    // A player that could not open the file has nothing left to play.
    return mPlayer->HasFailed();
}

bool CMediaMovieView::IsReadyForNextSlide() const
{
    return !HasMovie() || IsMovieDone();
}

SInt32 CMediaMovieView::GetCurrentTime() const
{
    return HasMovie() ? ToMovieTime(mPlayer->Position()) : -1;
}

SInt32 CMediaMovieView::GetDuration() const
{
    if (!HasMovie())
        return -1;
    auto* movie = dynamic_cast<CQTMovieMedia*>(mMedia.get());
    if (movie && MovieHasStreamingTrack(movie->GetMovie()))
        return -1;
    const qint64 duration = mPlayer->Duration();
    if (duration > 0)
        return ToMovieTime(duration);
    // Before the player knows, the file's own duration.
    if (movie && movie->GetMovie() && movie->GetMovie()->GetTimeScale() > 0)
        return ClampToSInt32(qint64(movie->GetMovie()->Duration()) * 600 / movie->GetMovie()->GetTimeScale());
    return -1;
}

// Volume: kept as the user set it (negative while muted); scanning plays at a
// third of it without changing it.

SInt16 CMediaMovieView::GetVolume() const
{
    return mOptions ? mOptions->volume : kFullVolume;
}

void CMediaMovieView::SetVolume(SInt16 volume)
{
    if (!mOptions)
        return;
    mOptions->volume = SInt16(std::clamp<SInt32>(volume, -kVolumeLimit, kVolumeLimit));
    ApplyVolume();
}

void CMediaMovieView::ApplyVolume()
{
    const SInt16 volume = GetVolume();
    float level = float(std::abs(volume)) / float(kFullVolume);
    if (mScanning)
        level /= 3.0f;
    mPlayer->SetVolume(level, volume <= 0);
}

float CMediaMovieView::GetOutputVolume() const
{
    return mPlayer->Volume();
}

bool CMediaMovieView::IsOutputMuted() const
{
    return mPlayer->IsMuted();
}

void CMediaMovieView::ApplyLooping()
{
    // Back and forth turns round by hand at each end; plain looping is the player's.
    const bool loop = mOptions && mOptions->loopPlayback;
    const bool backAndForth = loop && mOptions->loopBackAndForth;
    mPlayer->SetLoops(loop && !backAndForth ? MediaPlayback::kInfinite : 1);
}

void CMediaMovieView::MediaEnded()
{
    const bool loop = mOptions && mOptions->loopPlayback;
    if (loop && mOptions->loopBackAndForth) {
        // The player restarts an ended medium from its start: put it back just
        // before the end first, then let it run the other way.
        mDirection = SInt16(-mDirection);
        if (mDirection < 0)
            mPlayer->SetPosition(std::max<qint64>(0, mPlayer->Duration() - 1));
        else
            mPlayer->SetPosition(0);
        mPlayer->SetPlaybackRate(double(mDirection));
        mPlayer->Play();
        return;
    }
    mEnded = true;
    mScanning = false;
    ApplyVolume();
    StatusUpdate();
    update();
}

void CMediaMovieView::Scan(SInt16 rate)
{
    if (!mScanning) {
        mScanning = true;
        ApplyVolume();
        Play(true, rate);
    } else {
        mScanning = false;
        ApplyVolume();
        Play(true, 1);
    }
}

// The controller bar.

bool CMediaMovieView::IsControllerVisible() const
{
    return HasMovie() && mOptions && mOptions->controllerVisible && mHasVideo;
}

SInt32 CMediaMovieView::GetControllerHeight() const
{
    return IsControllerVisible() ? kControllerHeight : 0;
}

QRect CMediaMovieView::ControllerRect() const
{
    const SPoint32 location = GetImageLocation();
    return QRect(location.h + mBounds.left(), location.v + mBounds.bottom() + 1, mBounds.width(), kControllerHeight);
}

void CMediaMovieView::DrawController(QPainter& painter)
{
    const QRect bar = ControllerRect();
    painter.save();
    painter.fillRect(bar, QColor(0x30, 0x30, 0x30));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    const QRect button(bar.left() + 4, bar.top() + 3, kControllerHeight - 6, kControllerHeight - 6);
    if (IsPlaying()) {
        painter.drawRect(QRect(button.left() + 1, button.top(), 4, button.height()));
        painter.drawRect(QRect(button.right() - 4, button.top(), 4, button.height()));
    } else {
        QPainterPath triangle;
        triangle.moveTo(button.topLeft());
        triangle.lineTo(button.right(), button.center().y());
        triangle.lineTo(button.bottomLeft());
        triangle.closeSubpath();
        painter.drawPath(triangle);
    }
    const QString time = FormatMovieTimeText(std::max<SInt32>(0, GetCurrentTime()));
    const int timeWidth = painter.fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 8;
    const QRect track(button.right() + 8, bar.center().y() - 2, std::max(0, bar.width() - timeWidth - button.width() - 20), 4);
    painter.setBrush(QColor(0x80, 0x80, 0x80));
    painter.drawRoundedRect(track, 2, 2);
    const SInt32 duration = GetDuration();
    if (duration > 0) {
        const double part = std::clamp(double(GetCurrentTime()) / duration, 0.0, 1.0);
        painter.setBrush(Qt::white);
        painter.drawRoundedRect(QRect(track.left(), track.top(), int(track.width() * part), track.height()), 2, 2);
    }
    painter.setPen(Qt::white);
    painter.drawText(QRect(bar.right() - timeWidth, bar.top(), timeWidth - 4, bar.height()),
        Qt::AlignVCenter | Qt::AlignRight, time);
    painter.restore();
}

void CMediaMovieView::DrawSoundStatus(QPainter& painter)
{
    painter.fillRect(rect(), Qt::black);
    const SInt32 current = GetCurrentTime();
    const SInt32 duration = GetDuration();
    if (duration > 0 && current >= 0) {
        const int length = int(std::clamp(double(current) / duration, 0.0, 1.0) * width());
        painter.fillRect(QRect(0, height() - 2, length, 2), Qt::white);
    }
    const QString text = IsPlaying() ? FormatMovieTimeText(std::max<SInt32>(0, current))
                                     : CopyLocalizedString(QStringLiteral("MEDIA_PAUSED"));
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPointSizeF(font.pointSizeF() * 1.5);
    painter.setFont(font);
    painter.drawText(QRect(0, height() - kSoundStatusGap - kSoundStatusHeight, width(), kSoundStatusHeight),
        Qt::AlignCenter, text);
}

void CMediaMovieView::DrawSelf(QPainter& painter)
{
    if (!mMedia)
        return;
    if (!mMedia->HasArea()) {
        DrawSoundStatus(painter);
        return;
    }
    CMediaView::DrawSelf(painter);
    if (IsControllerVisible())
        DrawController(painter);
}

void CMediaMovieView::DrawMedium(QPainter& painter, const QRect& localBounds)
{
    if (mFrame.isNull()) {
        // The poster until the player gives its first frame.
        CMediaView::DrawMedium(painter, localBounds);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(localBounds), mFrame);
    painter.restore();
}

// Idle time and status.

void CMediaMovieView::IdleUpdate(const EventRecord& event)
{
    if (mStartPlaying) {
        mStartPlaying = false;
        Play(true);
    }
    CMediaView::IdleUpdate(event);
}

void CMediaMovieView::StatusUpdate()
{
    MediaMovieStatus status;
    status.current = GetCurrentTime();
    status.duration = GetDuration();
    status.volume = GetVolume();
    status.playing = IsPlaying();
    status.hasSound = mHasSound;
    if (mMedia && !mMedia->HasArea() && isVisible())
        update();
    else if (IsControllerVisible())
        update(ControllerRect());
    BroadcastMessage(msg_MediaMovieStatus, &status);
    if (!IsPlaying() && !mStartPlaying)
        StopRepeating();
}

// Commands, keys and clicks.

bool CMediaMovieView::ObeyCommand(CommandT command, void* ioParam)
{
    switch (command) {
    case cmd_MediaPlayPause:
        Play(!IsPlaying());
        return true;
    case cmd_MediaStop:
        Play(false);
        GoToStart();
        return true;
    case cmd_MediaLoop:
        if (mOptions) {
            mOptions->loopPlayback = !mOptions->loopPlayback;
            ApplyLooping();
        }
        return true;
    case cmd_MediaController:
        if (mOptions) {
            mOptions->controllerVisible = !IsControllerVisible();
            Relayout();
        }
        return true;
    case cmd_MediaBackAndForth:
        if (mOptions) {
            mOptions->loopBackAndForth = !mOptions->loopBackAndForth;
            ApplyLooping();
        }
        return true;
    case cmd_MediaMute:
        SetVolume(SInt16(-GetVolume()));
        return true;
    case cmd_MediaFastForward:
        Scan(kScanRate);
        return true;
    case cmd_MediaFastBackward:
        Scan(-kScanRate);
        return true;
    default:
        return CMediaView::ObeyCommand(command, ioParam);
    }
}

void CMediaMovieView::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark,
    UInt16& outMark, Str255& outName)
{
    const bool movie = HasMovie();
    auto mark = [&](bool on) {
        outUsesMark = true;
        outMark = on ? checkMark : noMark;
    };
    switch (command) {
    case cmd_MediaPlayPause:
        outEnabled = movie;
        QStringToPString(CopyLocalizedCFString(600, IsPlaying() ? 59 : 58), outName);
        return;
    case cmd_MediaStop:
        outEnabled = movie && IsPlaying();
        return;
    case cmd_MediaLoop:
        outEnabled = movie;
        mark(mOptions && mOptions->loopPlayback);
        return;
    case cmd_MediaLoopSelection:
        outEnabled = false;
        return;
    case cmd_MediaController:
        outEnabled = movie && mHasVideo && !CanScroll();
        mark(IsControllerVisible());
        return;
    case cmd_MediaBackAndForth:
        outEnabled = movie && mOptions && mOptions->loopPlayback;
        mark(mOptions && mOptions->loopBackAndForth);
        return;
    case cmd_MediaMute:
        outEnabled = movie && mHasSound;
        mark(GetVolume() < 0);
        return;
    default:
        CMediaView::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
}

bool CMediaMovieView::HandleKeyPress(const EventRecord& event)
{
    if (IsVisible() && !(event.modifiers & cmdKey)) {
        CommandT command = cmd_Nothing;
        switch (EventCharCode(event)) {
        case ' ':
        case 'p':
            command = cmd_MediaPlayPause;
            break;
        case 's':
            command = cmd_MediaStop;
            break;
        case 'l':
            command = cmd_MediaLoop;
            break;
        case 'c':
            command = cmd_MediaController;
            break;
        case 'm':
            command = cmd_MediaMute;
            break;
        default:
            break;
        }
        if (command != cmd_Nothing) {
            ObeyCommand(command, nullptr);
            LCommander::SetUpdateCommandStatus(true);
            return true;
        }
    }
    return CMediaView::HandleKeyPress(event);
}

void CMediaMovieView::ClickSelf(const SMouseDownEvent& event)
{
    if (HasMovie() && !CanScroll() && GetClickCount() == 1 && !(event.macEvent.modifiers & (cmdKey | optionKey))) {
        if (IsControllerVisible() && ControllerRect().contains(event.whereLocal)) {
            const QRect bar = ControllerRect();
            if (event.whereLocal.x() < bar.left() + kControllerHeight) {
                Play(!IsPlaying());
            } else if (const SInt32 duration = GetDuration(); duration > 0) {
                const double part = double(event.whereLocal.x() - bar.left() - kControllerHeight)
                    / std::max(1, bar.width() - kControllerHeight - 60);
                GoToTime(SInt32(std::clamp(part, 0.0, 1.0) * duration));
            }
            return;
        }
        // A click on a stopped movie plays it; on a playing sound, stops it.
        if (!IsPlaying()) {
            Play(true);
            return;
        }
        if (!mHasVideo) {
            Play(false);
            return;
        }
    }
    CMediaView::ClickSelf(event);
}
