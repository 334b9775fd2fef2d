// The index view's full screen and the screen lock that keeps it there.
#include "CIndexView.h"

#include "CIndexDoc.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "LMenuBar.h"
#include "LWindow.h"
#include "Preferences.h"
#include "WindowActivation.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

namespace {

constexpr ResIDT kLockPasswordDialog = 1000;
// In full screen the bars come back while the pointer is this near the top.
constexpr int kFullScreenBarsZone = 20;

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

// A window manager leaves full screen in its own time, and then puts back the frame
// the window had before it (the screen's, set to choose the screen): the window's
// own frame is set again once the window is reported out of full screen, however
// late that comes on a busy machine. Without a window manager no report comes.
constexpr int kFullScreenLeaveWaitMs = 10000;

void SetFrameOnceOutOfFullScreen(QWindow& handle, LWindow& window, const QRect& frame)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    // The shell (and its native window) outlives a closed window until its deletion
    // is delivered.
    *connection = QObject::connect(&handle, &QWindow::windowStateChanged, &handle,
        [alive = QPointer<LWindow>(&window), frame, connection](Qt::WindowState state) {
            if (state == Qt::WindowFullScreen)
                return;
            QObject::disconnect(*connection);
            if (alive)
                alive->DoSetBounds(frame);
        });
    QTimer::singleShot(kFullScreenLeaveWaitMs, &handle, [connection] { QObject::disconnect(*connection); });
}

// Watches the pointer over the whole full-screen window, whatever pane has it and
// with no button down: the window's own events see every move before its panes do.
class FullScreenPointerWatch : public QObject {
public:
    FullScreenPointerWatch(CIndexView& view, QWindow* window)
        : mView(view)
        , mWindow(window)
    {
        window->installEventFilter(this);
    }
    ~FullScreenPointerWatch() override
    {
        if (mWindow)
            mWindow->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == mWindow && event->type() == QEvent::MouseMove)
            mView.AdjustFullScreenBars(static_cast<QMouseEvent*>(event)->position().toPoint());
        return false;
    }

private:
    CIndexView& mView;
    QPointer<QWindow> mWindow;
};

// Under the lock the window keeps the screen: when the keyboard goes to another
// program the window comes up again and takes it back (a dialog of ours asking
// for something comes up in its place).
class LockedScreenWatch : public QObject {
public:
    explicit LockedScreenWatch(CIndexView& view)
        : mView(view)
    {
        connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* now) {
            // Our windows hand the keyboard on through no window at all: only a
            // loss that lasts is another program's.
            if (!now)
                QTimer::singleShot(0, this, [this] { TakeBack(); });
        });
    }

private:
    void TakeBack()
    {
        if (!gIndexWindowLocked || QGuiApplication::focusWindow())
            return;
        if (QWidget* modal = QApplication::activeModalWidget())
            TakeActivation(modal);
        else
            mView.TakeScreenForLock();
    }

    CIndexView& mView;
};

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
            window->SetMenuBarVisible(false);
        mFullScreen = true;
        mModel->Settings().fullScreen = true;
        SetTheme(kFullScreenTheme, false);
        if (shell) {
            if (screen)
                shell->setGeometry(screen->geometry());
            shell->setWindowState(shell->windowState() | Qt::WindowFullScreen);
            shell->winId(); // the pointer is watched on the native window
            if (QWindow* handle = shell->windowHandle())
                mFullScreenPointerWatch = std::make_unique<FullScreenPointerWatch>(*this, handle);
        }
    } else {
        mFullScreenPointerWatch.reset();
        mFullScreen = false;
        mModel->Settings().fullScreen = false;
        if (shell) {
            if (QWindow* handle = shell->windowHandle(); handle && window && mSavedFrame.isValid())
                SetFrameOnceOutOfFullScreen(*handle, *window, mSavedFrame);
            shell->setWindowState(shell->windowState() & ~Qt::WindowFullScreen);
        }
        // The bars full screen hid come back, whether or not the pointer had shown them.
        if (document && mFullScreenHidToolbar && !document->IsToolbarShown())
            document->ShowToolbar();
        if (document && mFullScreenHidStatusBar && !document->IsStatusBarShown())
            document->ShowStatusBar();
        if (window && mFullScreenHidMenuBar)
            window->SetMenuBarVisible(true);
        mFullScreenHidToolbar = mFullScreenHidStatusBar = mFullScreenHidMenuBar = false;
        SetTheme(GetSavedTheme(), false);
        if (window && mSavedFrame.isValid())
            window->DoSetBounds(mSavedFrame);
    }
    SetThumbnailSize(IsExtendedView() ? GetExtendedSize() : GetThumbnailSize(), true);
    if (kept > 0 && kept <= CountItems())
        ScrollToIndex(kept, false);
    LCommander::SetUpdateCommandStatus(true);
}

void CIndexView::AdjustFullScreenBars(QPoint windowPoint)
{
    // The locked screen shows the grid alone: its bars would offer the search field.
    LWindow* window = mFullScreen && !gIndexWindowLocked ? GetContainingWindow() : nullptr;
    CIndexDoc* document = window ? CIndexDoc::FindDocForWindow(window) : nullptr;
    if (!document || (!mFullScreenHidToolbar && !mFullScreenHidStatusBar))
        return;
    // The toolbar is at the top and the status bar at the foot: either edge shows them.
    bool show = windowPoint.y() < kFullScreenBarsZone || windowPoint.y() >= window->GetShell()->height() - kFullScreenBarsZone;
    // A bar the pointer is on stays, so that its controls can be reached.
    if (!show) {
        QWidget* shell = window->GetShell();
        QToolBar* toolBar = window->GetToolBar();
        LPane* statusBar = window->FindPaneByID(kPaneStatusPlacard);
        for (QWidget* bar : { static_cast<QWidget*>(toolBar), static_cast<QWidget*>(statusBar) }) {
            if (bar && bar->isVisible() && QRect(bar->mapTo(shell, QPoint(0, 0)), bar->size()).contains(windowPoint))
                show = true;
        }
    }
    if (show) {
        if (mFullScreenHidToolbar && !document->IsToolbarShown())
            document->ShowToolbar();
        if (mFullScreenHidStatusBar && !document->IsStatusBarShown())
            document->ShowStatusBar();
    } else {
        if (mFullScreenHidToolbar && document->IsToolbarShown())
            document->HideToolbar();
        if (mFullScreenHidStatusBar && document->IsStatusBarShown())
            document->HideStatusBar();
    }
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
        SetPassword(typed); // the index's, saved with it
        BroadcastState();
    }
    SetFullScreen(false);
    gIndexWindowLocked = true;
    LockItemList();
    KeepWindowOnTop(true);
    SetFullScreen(true);
    TakeScreenForLock();
    mLockedScreenWatch = std::make_unique<LockedScreenWatch>(*this);
}

void CIndexView::EndScreenLock()
{
    gIndexWindowLocked = false;
    mLockedScreenWatch.reset();
    if (IsItemListLocked())
        UnlockItemList();
    KeepWindowOnTop(false);
}

void CIndexView::KeepWindowOnTop(bool onTop)
{
    LWindow* window = GetContainingWindow();
    QWidget* shell = window ? window->GetShell() : nullptr;
    if (!shell || shell->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop)
        return;
    // Told to the window as it is: setting the widget's flag makes its window
    // again, which a window manager then places by its frame, a title bar higher.
    Qt::WindowFlags flags = shell->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    shell->overrideWindowFlags(flags);
    if (QWindow* handle = shell->windowHandle())
        handle->setFlags(flags);
}

void CIndexView::TakeScreenForLock()
{
    LWindow* window = GetContainingWindow();
    QWidget* shell = window ? window->GetShell() : nullptr;
    if (!shell)
        return;
    shell->show();
    TakeActivation(shell);
    // The keys go to the items shown: the grid, or the list in its place.
    LPane* list = window->FindPaneByID(kPaneListView);
    LPane* shown = list && list->isVisible() ? list : this;
    if (auto* commander = dynamic_cast<LCommander*>(shown); commander && !commander->IsTarget())
        LCommander::SwitchTarget(commander);
    QWidget* focus = QApplication::focusWidget();
    if (focus != shown && !shown->isAncestorOf(focus))
        shown->setFocus(Qt::ActiveWindowFocusReason);
}
