#include "CMediaWindowFS.h"

#include "PrefKeys.h"

#include "CIndexItem.h"
#include "CIndexView.h"
#include "CMedia.h"
#include "CMediaCaptionFloater.h"
#include "CMediaNavigator.h"
#include "CMediaView.h"
#include "DesktopServices.h"
#include "DisplayUtilities.h"
#include "ExceptionCode.h"
#include "Preferences.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>

namespace {
constexpr int kCursorCheckMilliseconds = 250;
constexpr UInt32 kActivityTicks = 20 * 60;
} // namespace

CMediaWindowFS::CMediaWindowFS(const LLayoutData& data)
    : CMediaWindow(data)
{
    mCursorTimer.setInterval(kCursorCheckMilliseconds);
    QObject::connect(&mCursorTimer, &QTimer::timeout, this, [this] { WatchCursor(); });
}

CMediaWindowFS::~CMediaWindowFS()
{
    LeaveFullScreen();
}

void CMediaWindowFS::FinishCreateSelf()
{
    // No toolbar: only the floaters of the windowed window.
    CCMWindow::FinishCreateSelf();
    EnterFullScreen();
    MakeFloaters();
}

void CMediaWindowFS::EnterFullScreen()
{
    QRect bounds;
    GetGlobalBounds(bounds);
    QScreen* screen = ChosenFullScreenScreen();
    if (!screen)
        screen = QGuiApplication::screenAt(bounds.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        ThrowOSErr_(err_NilPointer, "no screen to cover");
    mScreen = screen;
    mOnMainScreen = screen == QGuiApplication::primaryScreen();
    if (mOnMainScreen && !mInFullScreen)
        BeginFullScreenMode(false);
    mInFullScreen = true;
    // No frame and no menu bar: the content is the whole screen.
    SetMenuBar(nullptr);
    GetShell()->setWindowFlag(Qt::FramelessWindowHint, true);
    // Opened from a locked screen, it shows over the locked window.
    GetShell()->setWindowFlag(Qt::WindowStaysOnTopHint, CIndexView::IsScreenLocked());
    const QRect whole = screen->geometry();
    ResizeFrameTo(whole.width(), whole.height(), false);
    GetShell()->setGeometry(whole);
    GetShell()->setWindowState(GetShell()->windowState() | Qt::WindowFullScreen);
    mLastCursorMoveTick = TickCount();
    mLastCursorPos = QCursor::pos();
    mCursorTimer.start();
    HideCursor();
}

void CMediaWindowFS::LeaveFullScreen()
{
    mCursorTimer.stop();
    RestoreCursor();
    // Every way out passes here, some twice: the mode is left once.
    if (mInFullScreen && mOnMainScreen)
        EndFullScreenMode();
    mInFullScreen = false;
}

void CMediaWindowFS::Hide()
{
    LeaveFullScreen();
    CMediaWindow::Hide();
}

void CMediaWindowFS::ToggleFullScreen()
{
    LeaveFullScreen();
    CMediaWindow::ToggleFullScreen();
}

void CMediaWindowFS::ShowMedia(std::unique_ptr<CMedia> media)
{
    if (!media && mItem)
        CatchCode([&] { media.reset(mItem->CreateMedia()); });
    const bool fade = media && Pref::MediaUseFadeEffect.Get()
        && media->GetKind() != kMediaKindMovie;
    if (!fade) {
        CMediaWindow::ShowMedia(std::move(media));
        HideCursor();
        return;
    }
    const bool wasVisible = IsVisible();
    if (wasVisible)
        CMediaWindow::ShowMedia(std::move(media));
    {
        StDisplayFade curtain(float(kFadeSeconds), !wasVisible);
        QElapsedTimer black;
        black.start();
        if (!wasVisible)
            CMediaWindow::ShowMedia(std::move(media));
        // The screen stays black for the whole fade time, however quick the medium was.
        const qint64 rest = qint64(kFadeSeconds * 1000) - black.elapsed();
        if (rest > 0)
            QThread::msleep(quint64(rest));
        repaint();
        mLastStepTick = TickCount();
    }
    HideCursor();
}

void CMediaWindowFS::SlideShowStep()
{
    // The desktop hears of activity every so often, not at every firing.
    if (UInt32(TickCount() - mLastActivityTick) >= kActivityTicks) {
        mLastActivityTick = TickCount();
        UpdateSystemActivity();
    }
    CMediaWindow::SlideShowStep();
}

void CMediaWindowFS::WatchCursor()
{
    const QPoint now = QCursor::pos();
    if (now != mLastCursorPos) {
        mLastCursorPos = now;
        mLastCursorMoveTick = TickCount();
        RestoreCursor();
        return;
    }
    if (!mCursorHidden && UInt32(TickCount() - mLastCursorMoveTick) >= kCursorHideTicks)
        HideCursor();
}

void CMediaWindowFS::HideCursor()
{
    if (mCursorHidden || !mInFullScreen)
        return;
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    mCursorHidden = true;
}

void CMediaWindowFS::RestoreCursor()
{
    if (!mCursorHidden)
        return;
    QGuiApplication::restoreOverrideCursor();
    mCursorHidden = false;
}
