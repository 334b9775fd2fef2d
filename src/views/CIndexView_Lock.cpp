// The index view's full screen and the screen lock that keeps it there.
#include "CIndexView.h"

#include "CIndexDoc.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "LMenuBar.h"
#include "LWindow.h"
#include "Preferences.h"

#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>

namespace {

constexpr ResIDT kLockPasswordDialog = 1000;

// "FullScreenViewOptions" 2: the first screen that is not the primary one;
// otherwise the screen holding most of the window, the primary one when none does.
QScreen* FullScreenScreen(const QRect& windowBounds)
{
    QScreen* primary = QGuiApplication::primaryScreen();
    if (GetPrefNumber(QStringLiteral("FullScreenViewOptions")) == 2) {
        for (QScreen* screen : QGuiApplication::screens()) {
            if (screen != primary)
                return screen;
        }
    }
    QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->geometry().intersected(windowBounds);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    return best ? best : primary;
}

} // namespace

bool CIndexView::IsScreenLocked()
{
    return gIndexWindowLocked;
}

void CIndexView::SetFullScreen(bool fullScreen)
{
    if (fullScreen == mFullScreen)
        return;
    LWindow* window = GetContainingWindow();
    QWidget* shell = window ? window->GetShell() : nullptr;
    CIndexDoc* document = window ? CIndexDoc::FindDocForWindow(window) : nullptr;
    // The first selected item, else the first visible one, stays in view.
    SInt32 kept = GetFirstSelectedIndex();
    if (kept == 0) {
        SInt32 last = 0;
        GetVisibleRange(kept, last, true);
    }

    if (fullScreen) {
        mSavedTheme = mTheme;
        if (window)
            window->GetGlobalBounds(mSavedFrame);
        // Only the bars shown now are hidden, so that only those come back.
        mFullScreenHidToolbar = document && document->IsToolbarShown();
        mFullScreenHidStatusBar = document && document->IsStatusBarShown();
        if (mFullScreenHidToolbar)
            document->HideToolbar();
        if (mFullScreenHidStatusBar)
            document->HideStatusBar();
        QScreen* screen = FullScreenScreen(mSavedFrame);
        // The menu bar goes only on the primary screen: on another it is not in the way.
        QMenuBar* menuBar = window ? window->GetMenuBar() : nullptr;
        mFullScreenHidMenuBar = menuBar && !menuBar->isHidden() && screen == QGuiApplication::primaryScreen();
        if (mFullScreenHidMenuBar)
            menuBar->hide();
        mFullScreen = true;
        SetTheme(kFullScreenTheme, false);
        if (shell) {
            if (screen)
                shell->setGeometry(screen->geometry());
            shell->setWindowState(shell->windowState() | Qt::WindowFullScreen);
        }
    } else {
        mFullScreen = false;
        if (shell)
            shell->setWindowState(shell->windowState() & ~Qt::WindowFullScreen);
        if (document && mFullScreenHidToolbar)
            document->ShowToolbar();
        if (document && mFullScreenHidStatusBar)
            document->ShowStatusBar();
        if (QMenuBar* menuBar = window ? window->GetMenuBar() : nullptr; menuBar && mFullScreenHidMenuBar)
            menuBar->show();
        mFullScreenHidToolbar = mFullScreenHidStatusBar = mFullScreenHidMenuBar = false;
        SetTheme(mSavedTheme, false);
        if (window && mSavedFrame.isValid())
            window->DoSetBounds(mSavedFrame);
    }
    SetThumbnailSize(IsExtendedView() ? GetExtendedSize() : GetThumbnailSize(), true);
    if (kept > 0 && kept <= CountItems())
        ScrollToIndex(kept, false);
    LCommander::SetUpdateCommandStatus(true);
}

bool CIndexView::LeaveFullScreen()
{
    // Under the lock full screen ends only with the index's password.
    if (gIndexWindowLocked && !UnlockWithPassword())
        return false;
    SetFullScreen(false);
    return true;
}

void CIndexView::LockScreen()
{
    if (gIndexWindowLocked)
        return;
    if (!HasPassword()) {
        QByteArray typed;
        bool remember = false;
        // No password, no lock: an empty one would lock the window with nothing to open it.
        if (!AskPassword(kLockPasswordDialog, typed, remember) || typed.isEmpty())
            return;
        SetPassword(typed);
        SetModified(true); // the password is the index's, saved with it
        BroadcastState();
    }
    SetFullScreen(false);
    gIndexWindowLocked = true;
    LockItemList();
    SetFullScreen(true);
}
