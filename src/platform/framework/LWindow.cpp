#include "LWindow.h"

#include "BundleStrings.h"
#include "LControl.h"
#include "LDialogBox.h"
#include "LMenuBar.h"
#include "LStdControls.h"
#include "UReanimator.h"
#include "UReportErrors.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>
#include <QToolBar>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <typeinfo>

// The top-level widget around a window's content: frame, title, modality, menu bar.
class LWindowShell : public QWidget {
public:
    explicit LWindowShell(LWindow* window)
        : mWindow(window)
    {
        setAttribute(Qt::WA_DeleteOnClose, false);
        setProperty("orvexShell", true);
    }

    void Detach() { mWindow = nullptr; }
    LWindow* Window() const { return mWindow; }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        if (!mWindow)
            return;
        // Closed when long work that holds the window's data is done.
        LCommander::RunOrHoldCommand([shell = QPointer<QWidget>(this)] {
            if (LWindow* window = shell ? static_cast<LWindowShell*>(shell.data())->Window() : nullptr)
                RunReportingErrors([&] { window->ProcessCommand(cmd_Close); });
        });
    }
    void resizeEvent(QResizeEvent*) override
    {
        if (mWindow)
            mWindow->LayoutShell();
    }
    void showEvent(QShowEvent* event) override
    {
        QWidget::showEvent(event);
        if (QWindow* handle = windowHandle(); handle && handle != mWatched) {
            handle->installEventFilter(this);
            mWatched = handle;
        }
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The window system frames a window after it is shown, and puts the frame or
        // the content where the window was asked to go: while it settles, once the
        // frame is known (or changes), the whole frame, title bar included, is kept
        // on the screen. Later moves are the user's.
        const QEvent::Type type = event->type();
        if (watched == mWatched && mWindow && isVisible()
            && (type == QEvent::Expose || type == QEvent::Move || type == QEvent::Resize)) {
            const QMargins margins = KnownFrameMargins(this);
            if (margins != mFrameSeen) {
                mFrameSeen = margins;
                if (!margins.isNull()) {
                    mFrameSettling.setRemainingTime(kFrameSettleMilliseconds);
                    mWindow->KeepOnScreen();
                }
            } else if (!margins.isNull() && type != QEvent::Resize && !mFrameSettling.hasExpired()) {
                if (!(windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized)))
                    MoveWithinArea(this, mWindow->AvailableArea(), margins);
            }
        }
        return QWidget::eventFilter(watched, event);
    }
    void changeEvent(QEvent* event) override
    {
        // Qt's activation is the window's: the framework's state follows it.
        if (event->type() == QEvent::ActivationChange && mWindow) {
            if (isActiveWindow())
                mWindow->ActivateWindow();
            else
                mWindow->QtDeactivated();
        }
        QWidget::changeEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        DispatchKeyToTarget(event, mWindow);
        event->accept();
    }
    bool focusNextPrevChild(bool next) override
    {
        if (!mWindow || !mWindow->IsTabOrderByLook())
            return QWidget::focusNextPrevChild(next);
        const std::vector<QWidget*> stops = TabStopsByLook();
        QWidget* focus = QApplication::focusWidget();
        const auto at = std::find_if(stops.begin(), stops.end(), [focus](QWidget* stop) { return stop == focus || stop->isAncestorOf(focus); });
        if (at == stops.end())
            return QWidget::focusNextPrevChild(next);
        const size_t count = stops.size();
        for (size_t step = 1; step < count; ++step) {
            QWidget* stop = stops[(size_t(at - stops.begin()) + (next ? step : count - step)) % count];
            QWidget* taker = stop->focusProxy() ? stop->focusProxy() : stop;
            if (stop->isEnabled() && taker->isEnabled() && (taker->focusPolicy() & Qt::TabFocus)) {
                stop->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
                break;
            }
        }
        return true;
    }

private:
    // The shown parts that take Tab in reading order: bands of parts that overlap
    // from top to bottom, each band read left to right. A part made of parts (a
    // date field, a control in its pane) counts once.
    std::vector<QWidget*> TabStopsByLook()
    {
        struct Stop {
            QWidget* widget;
            QRect frame;
        };
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest); // where the parts are now
        std::vector<Stop> stops;
        std::vector<QWidget*> pending { this };
        while (!pending.empty()) {
            QWidget* parent = pending.back();
            pending.pop_back();
            for (QObject* object : parent->children()) {
                auto* widget = qobject_cast<QWidget*>(object);
                if (!widget || widget->isWindow() || !widget->isVisibleTo(this))
                    continue;
                if (widget->focusPolicy() & Qt::TabFocus)
                    stops.push_back({ widget, QRect(widget->mapTo(this, QPoint()), widget->size()) });
                else
                    pending.push_back(widget);
            }
        }
        std::sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) { return a.frame.top() < b.frame.top(); });
        std::vector<QWidget*> ordered;
        for (auto band = stops.begin(); band != stops.end();) {
            int bottom = band->frame.bottom();
            auto end = band;
            for (; end != stops.end() && end->frame.top() <= bottom; ++end)
                bottom = std::max(bottom, end->frame.bottom());
            std::stable_sort(band, end, [](const Stop& a, const Stop& b) { return a.frame.left() < b.frame.left(); });
            for (; band != end; ++band)
                ordered.push_back(band->widget);
        }
        return ordered;
    }

    LWindow* mWindow;
    QPointer<QWindow> mWatched;
    QMargins mFrameSeen;
    QDeadlineTimer mFrameSettling { 0 };
    static constexpr int kFrameSettleMilliseconds = 500;
};

namespace {
// A window as screen readers see it: a dialog when it is modal or answers with a
// default button, else a window (palettes too); named by its title.
class ShellAccessible : public QAccessibleWidget {
public:
    explicit ShellAccessible(LWindowShell* shell)
        : QAccessibleWidget(shell, QAccessible::Window)
    {
    }
    QAccessible::Role role() const override
    {
        const auto* dialog = dynamic_cast<const LDialogBox*>(static_cast<LWindowShell*>(widget())->Window());
        if (dialog && dialog->IsAlert())
            return QAccessible::AlertMessage;
        return IsDialog() ? QAccessible::Dialog : QAccessible::Window;
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.modal = widget()->isModal();
        return state;
    }

private:
    bool IsDialog() const
    {
        const LWindow* window = static_cast<LWindowShell*>(widget())->Window();
        if (!window || widget()->isModal())
            return widget()->isModal();
        if (window->HasAttribute(windAttr_Floating))
            return false;
        const auto* dialog = dynamic_cast<const LDialogBox*>(window);
        return window->HasAttribute(windAttr_Modal) || (dialog && dialog->GetDefaultButtonID() != 0);
    }
};

QAccessibleInterface* ShellAccessibleFactory(const QString&, QObject* object)
{
    auto* shell = dynamic_cast<LWindowShell*>(object);
    return shell ? new ShellAccessible(shell) : nullptr;
}

void InstallShellAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(ShellAccessibleFactory);
        return true;
    }();
    (void)installed;
}

// All windows, in the order Qt last activated them (frontmost first).
std::vector<LWindow*>& WindowList()
{
    static std::vector<LWindow*> windows;
    return windows;
}

void ToFront(LWindow* window)
{
    auto& list = WindowList();
    list.erase(std::remove(list.begin(), list.end(), window), list.end());
    list.insert(list.begin(), window);
}

// Floating windows that hide in the background come back with the program.
void WatchApplicationState()
{
    static bool watching = false;
    if (watching || !qApp)
        return;
    watching = true;
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, [](Qt::ApplicationState state) {
        for (LWindow* window : WindowList()) {
            if (!window->HasAttribute(windAttr_Floating) || !window->HasAttribute(windAttr_HideOnSuspend))
                continue;
            if (state == Qt::ApplicationActive && window->property("orvexSuspended").toBool()) {
                window->setProperty("orvexSuspended", false);
                window->GetShell()->show();
            } else if (state != Qt::ApplicationActive && window->GetShell()->isVisible()) {
                window->setProperty("orvexSuspended", true);
                window->GetShell()->hide();
            }
        }
    });
}

constexpr int kCascadeStep = 24;

const char* const kScrollerName = "orvexWindowScroller";

QScrollArea* ScrollerOf(const QWidget* shell)
{
    return shell ? shell->findChild<QScrollArea*>(QLatin1String(kScrollerName), Qt::FindDirectChildrenOnly) : nullptr;
}

// The room a top-level widget's own area may take: its screen's available area
// less the frame the window system puts around it.
QSize ShellRoom(const QWidget* shell)
{
    QScreen* screen = QGuiApplication::screenAt(shell->frameGeometry().center());
    if (!screen)
        screen = shell->screen() ? shell->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    return screen->availableGeometry().marginsRemoved(ShellFrameMargins(shell)).size();
}

// A window that keeps its size takes its content's size and its bars' height,
// unless that is more than the screen holds (a large layout at a high scale
// factor): then the window takes what the screen holds and its content scrolls.
// Answers the content's size.
QSize FixShellSize(LWindow& window, QWidget* shell, QSize content, int bars)
{
    QSize wanted(content.width(), content.height() + bars);
    const QSize room = ShellRoom(shell);
    // A window whose parts scroll what they hold shrinks instead, its bindings
    // keeping the parts along its edges (a row of buttons) whole.
    if (window.ShrinksToScreen() && (wanted.width() > room.width() || wanted.height() > room.height())) {
        content = QSize(std::min(content.width(), room.width()), std::max(0, std::min(content.height(), room.height() - bars)));
        wanted = QSize(content.width(), content.height() + bars);
        window.resize(content);
        window.ApplyBindings();
    }
    const bool tooLarge = wanted.width() > room.width() || wanted.height() > room.height();
    QScrollArea* scroller = ScrollerOf(shell);
    if (tooLarge && !scroller) {
        scroller = new QScrollArea(shell);
        scroller->setObjectName(QLatin1String(kScrollerName));
        scroller->setFrameShape(QFrame::NoFrame);
        scroller->setFocusPolicy(Qt::NoFocus);
        scroller->setWidgetResizable(false);
        scroller->setWidget(&window);
        window.QWidget::setVisible(true);
        scroller->show();
    } else if (!tooLarge && scroller) {
        scroller->takeWidget();
        window.setParent(shell);
        window.move(0, bars);
        window.QWidget::setVisible(true);
        delete scroller;
        scroller = nullptr;
    }
    if (!scroller) {
        shell->setFixedSize(wanted);
        return content;
    }
    // A scroll bar in one direction takes room in the other.
    const int barExtent = shell->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroller);
    QSize size = wanted;
    if (wanted.height() > room.height())
        size.rwidth() += barExtent;
    if (wanted.width() > room.width())
        size.rheight() += barExtent;
    size = size.boundedTo(room);
    window.resize(content);
    shell->setFixedSize(size);
    scroller->setGeometry(0, bars, size.width(), std::max(0, size.height() - bars));
    return content;
}

// A palette that nobody placed opens to the right of its window, else inside
// that window's right edge below its menus and tool bar.
void PlaceBeside(QWidget* shell, const LWindow& parent)
{
    QWidget* them = parent.GetShell();
    const QRect theirs = them->frameGeometry();
    const QMargins margins = ShellFrameMargins(shell);
    const QSize frame = shell->size().grownBy(margins);
    QScreen* screen = QGuiApplication::screenAt(theirs.center());
    const QRect available = screen ? screen->availableGeometry() : theirs;
    QPoint place(theirs.right() + 1, theirs.top());
    if (!available.contains(QRect(place, frame))) {
        const int barsBottom = parent.mapTo(them, QPoint(0, 0)).y() + them->geometry().top();
        place = QPoint(theirs.right() + 1 - frame.width(), barsBottom);
    }
    shell->move(place);
}

// A window opening where another of its kind opened (and still stands) goes
// down and across by a step for each such window, so each can be seen and
// reached: towards the middle of the screen, so keeping it within the screen
// never puts two on each other again.
void Cascade(LWindow* window)
{
    QWidget* shell = window->GetShell();
    const QPoint anchor = shell->pos();
    int count = 0;
    for (LWindow* other : WindowList()) {
        if (other != window && other->IsVisible() && typeid(*other) == typeid(*window)
            && other->GetShell()->property("orvexCascadeAnchor").toPoint() == anchor)
            ++count;
    }
    shell->setProperty("orvexCascadeAnchor", anchor);
    if (count == 0)
        return;
    const QRect available = window->AvailableArea();
    const int across = anchor.x() + shell->width() / 2 > available.center().x() ? -kCascadeStep : kCascadeStep;
    shell->move(anchor + QPoint(across * count, kCascadeStep * count));
}
} // namespace

LWindow::WindowHook& LWindow::sNewWindowHook()
{
    static WindowHook hook;
    return hook;
}

LWindow::LWindow(const SPaneInfo& info, UInt32 attributes, const QString& title, LCommander* superCommander)
    : LView(info)
    , LCommander(superCommander)
{
    InitWindow(attributes, title, info.left, info.top);
}

LWindow::LWindow(const LLayoutData& data)
    : LView(data)
{
    // Window titles from layouts are keys into the strings table.
    QString title = BundleLocalizedString(data.String("title"));
    UInt32 attributes = UInt32(data.Int("attributes", SInt32(windAttr_Regular | windAttr_CloseBox | windAttr_TitleBar | windAttr_Enabled | windAttr_Targetable)));
    SPaneInfo info = PaneInfoFromLayout(data);
    mCloseOnEscape = data.Bool("closeOnEscape", false);
    if (data.Has("minSize") || data.Has("maxSize")) {
        QList<SInt32> minSize = data.Has("minSize") ? data.Ints("minSize", 2) : QList<SInt32> { 0, 0 };
        QList<SInt32> maxSize = data.Has("maxSize") ? data.Ints("maxSize", 2) : QList<SInt32> { 32767, 32767 };
        mMinSize = { minSize[0], minSize[1] };
        mMaxSize = { maxSize[0], maxSize[1] };
    }
    InitWindow(attributes, title, info.left, info.top);
}

void LWindow::InitWindow(UInt32 attributes, const QString& title, SInt32 left, SInt32 top)
{
    mAttributes = attributes;
    InstallShellAccessibility();
    mShell = new LWindowShell(this);
    setParent(mShell);
    QWidget::setVisible(true);
    mTitle = title;
    mShell->setWindowTitle(title.isEmpty() ? QStringLiteral("[*]") : title + QStringLiteral("[*]"));
    ApplyFlags();
    LayoutShell();
    mShell->resize(width(), height());
    mShell->move(left, top);
    WindowList().push_back(this);
    WatchApplicationState();
    if (sNewWindowHook())
        sNewWindowHook()(this);
}

LWindow::~LWindow()
{
    auto& list = WindowList();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    // Out of the commander chain before another window is activated: that window
    // would otherwise restore its target into this one, putting it back on duty
    // and at the front of the window list as it goes.
    LeaveCommanderChain();
    if (IsActiveWindow())
        ActivateNextWindow();
    // The content goes first (it is a child of the shell), then the shell.
    DeleteAllSubPanes();
    LWindowShell* shell = mShell;
    mShell = nullptr;
    shell->Detach();
    setParent(nullptr);
    shell->hide();
    shell->deleteLater();
    // Whatever ran above, no list keeps a window that is gone.
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void LWindow::LeaveCommanderChain()
{
    if (IsOnDuty() || IsTarget())
        HandTargetBack();
    SetSuperCommander(nullptr);
}

LWindow* LWindow::CreateWindow(ResIDT layoutID, LCommander* superCommander)
{
    LCommander* oldDefault = LCommander::GetDefaultCommander();
    LCommander::SetDefaultCommander(superCommander);
    LWindow* window = nullptr;
    try {
        window = UReanimator::CreateWindowFromLayout(layoutID);
    } catch (...) {
        LCommander::SetDefaultCommander(oldDefault);
        throw;
    }
    LCommander::SetDefaultCommander(oldDefault);
    return window;
}

QWidget* LWindow::GetShell() const
{
    return mShell;
}

void LWindow::ApplyFlags()
{
    Qt::WindowFlags flags = HasAttribute(windAttr_Floating) ? Qt::Tool : Qt::Window;
    if (HasAttribute(windAttr_Modal) && !HasAttribute(windAttr_Floating))
        flags = Qt::Dialog;
    flags |= Qt::CustomizeWindowHint;
    if (HasAttribute(windAttr_TitleBar) || HasAttribute(windAttr_Regular) || HasAttribute(windAttr_Modal))
        flags |= Qt::WindowTitleHint;
    if (HasAttribute(windAttr_CloseBox))
        flags |= Qt::WindowCloseButtonHint;
    if (HasAttribute(windAttr_Zoomable))
        flags |= Qt::WindowMaximizeButtonHint;
    if (HasAttribute(windAttr_Regular))
        flags |= Qt::WindowMinimizeButtonHint;
    bool wasVisible = mShell->isVisible();
    mShell->setWindowFlags(flags);
    mShell->setWindowModality(HasAttribute(windAttr_Modal) ? Qt::ApplicationModal : Qt::NonModal);
    if (wasVisible)
        mShell->show();
}

void LWindow::SetAttribute(UInt32 attribute)
{
    mAttributes |= attribute;
    ApplyFlags();
    LayoutShell();
}

void LWindow::ClearAttribute(UInt32 attribute)
{
    mAttributes &= ~attribute;
    ApplyFlags();
    LayoutShell();
}

void LWindow::LayoutShell()
{
    if (!mShell)
        return;
    // A hidden menu bar (full screen) takes no room.
    int menuHeight = mMenuBar && !mMenuBar->isHidden() ? mMenuBar->sizeHint().height() : 0;
    if (mMenuBar && !mMenuBar->isHidden())
        mMenuBar->setGeometry(0, 0, mShell->width(), menuHeight);
    if (mToolBar && !mToolBar->isHidden()) {
        int barHeight = mToolBar->sizeHint().height();
        mToolBar->setGeometry(0, menuHeight, mShell->width(), barHeight);
        menuHeight += barHeight;
    }
    // The shell decides the content size once it is shown and the user resizes it.
    if (QScrollArea* scroller = ScrollerOf(mShell))
        scroller->setGeometry(0, menuHeight, mShell->width(), std::max(0, mShell->height() - menuHeight));
    else if (mShell->isVisible())
        setGeometry(0, menuHeight, mShell->width(), std::max(0, mShell->height() - menuHeight));
    else
        move(0, menuHeight);
    if (HasAttribute(windAttr_Resizable)) {
        // A minimum larger than the screen gives way to the screen.
        const QSize room = ShellRoom(mShell);
        mShell->setMinimumSize(std::min(SInt32(room.width()), mMinSize.width),
            std::min(room.height(), mMinSize.height + menuHeight));
        mShell->setMaximumSize(std::min(mMaxSize.width, QWIDGETSIZE_MAX), std::min(mMaxSize.height + menuHeight, QWIDGETSIZE_MAX));
    } else {
        FixShellSize(*this, mShell, size(), menuHeight);
    }
}

void LWindow::SetMenuBar(QMenuBar* menuBar)
{
    if (mMenuBar == menuBar)
        return;
    delete mMenuBar;
    mMenuBar = menuBar;
    if (menuBar) {
        menuBar->setParent(mShell);
        menuBar->setNativeMenuBar(false);
        menuBar->show();
    }
    KeepContentSize();
}

int LWindow::TopBarsHeight() const
{
    int height = mMenuBar && !mMenuBar->isHidden() ? mMenuBar->sizeHint().height() : 0;
    if (mToolBar && !mToolBar->isHidden())
        height += mToolBar->sizeHint().height();
    return height;
}

void LWindow::SetToolBar(QToolBar* toolBar)
{
    if (mToolBar == toolBar)
        return;
    delete mToolBar;
    mToolBar = toolBar;
    if (toolBar) {
        toolBar->setParent(mShell);
        toolBar->show();
    }
    KeepContentSize();
}

void LWindow::SetToolBarVisible(bool visible)
{
    // Also called with the same state when the bar's height changed.
    if (!mToolBar)
        return;
    mToolBar->setVisible(visible);
    KeepContentSize();
}

bool LWindow::IsToolBarVisible() const
{
    return mToolBar && !mToolBar->isHidden();
}

void LWindow::SetMenuBarVisible(bool visible)
{
    if (!mMenuBar)
        return;
    mMenuBar->setVisible(visible);
    KeepContentSize();
}

void LWindow::KeepContentSize()
{
    // The bars above the content add to the window; the content keeps its size.
    if (!mShell)
        return;
    // A full-screen or maximized window keeps its size: the bars take room from the content.
    if (mShell->windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized)) {
        LayoutShell();
        return;
    }
    int barsHeight = TopBarsHeight();
    if (!HasAttribute(windAttr_Resizable))
        FixShellSize(*this, mShell, size(), barsHeight);
    else
        mShell->resize(width(), height() + barsHeight);
    LayoutShell();
}

void LWindow::resizeEvent(QResizeEvent* event)
{
    LView::resizeEvent(event);
}

bool LWindow::event(QEvent* event)
{
    const bool handled = LView::event(event);
    // A declared layout asks again when a text changed: the window fits it.
    if (event->type() == QEvent::LayoutRequest && HasDeclaredLayout())
        FitToLayout();
    return handled;
}

void LWindow::FitToLayout()
{
    QLayout* declared = layout();
    if (!declared || !HasDeclaredLayout() || mFitting)
        return;
    mFitting = true;
    declared->activate();
    const QSize minimum = declared->totalMinimumSize();
    int newWidth = std::max(HasAttribute(windAttr_Resizable) ? width() : GetDeclaredSize().width(), minimum.width());
    auto heightFor = [&](int w) {
        int h = declared->hasHeightForWidth() ? declared->totalHeightForWidth(w) : declared->totalSizeHint().height();
        return std::max(h, minimum.height());
    };
    int newHeight = heightFor(newWidth);
    // A text too long for the screen at this width: wider, up to most of the screen.
    QScreen* screen = mShell && mShell->screen() ? mShell->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect available = screen->availableGeometry();
        const int widest = available.width() * 4 / 5;
        if (newHeight > available.height() * 4 / 5 && newWidth < widest) {
            newWidth = widest;
            newHeight = heightFor(newWidth);
        }
    }
    ResizeFrameTo(newWidth, newHeight, true);
    mFitting = false;
}


void LWindow::ResizeFrameBy(SInt32 dWidth, SInt32 dHeight, bool refresh)
{
    if (dWidth == 0 && dHeight == 0)
        return;
    int menuHeight = TopBarsHeight();
    // A minimum larger than the screen gives way to the screen.
    const QSize room = ShellRoom(mShell);
    const SInt32 minWidth = std::min(mMinSize.width, SInt32(room.width()));
    const SInt32 minHeight = std::min(mMinSize.height, SInt32(std::max(0, room.height() - menuHeight)));
    int newWidth = std::clamp(width() + dWidth, minWidth, std::max(minWidth, SInt32(mMaxSize.width)));
    int newHeight = std::clamp(height() + dHeight, minHeight, std::max(minHeight, SInt32(mMaxSize.height)));
    if (!HasAttribute(windAttr_Resizable)) {
        const QSize content = FixShellSize(*this, mShell, QSize(newWidth, newHeight), menuHeight);
        newWidth = content.width();
        newHeight = content.height();
    } else {
        mShell->resize(newWidth, newHeight + menuHeight);
    }
    resize(newWidth, newHeight);
    ApplyBindings();
    if (refresh)
        Refresh();
}

void LWindow::Show()
{
    if (!mShell)
        return;
    FitToLayout();
    // A window nobody placed opens over the window it belongs to (a dialog over
    // its document), not where its layout was drawn; a palette beside it.
    if (!mPlaced && HasAttribute(windAttr_Floating)) {
        LWindow* parent = ParentWindow();
        if (parent && parent->GetShell()->isVisible())
            PlaceBeside(mShell, *parent);
    } else if (!mPlaced) {
        PlaceOverWindow(mShell, ParentWindow(), HasAttribute(windAttr_Modal));
    }
    if (!mShell->isVisible())
        Cascade(this);
    mPlaced = true;
    const bool wasVisible = mShell->isVisible();
    const bool floating = HasAttribute(windAttr_Floating);
    // A palette that comes up (the tasks' progress) leaves the keyboard where it is.
    mShell->setAttribute(Qt::WA_ShowWithoutActivating, floating);
    // A dialog belongs to the window it answers for: the window system keeps it
    // above that one (a dialog opened from another modal one never hides behind it).
    if (HasAttribute(windAttr_Modal) && !floating && !mShell->parentWidget()) {
        LWindow* parent = ParentWindow();
        QWidget* over = parent ? parent->GetShell() : nullptr;
        if (over && over->isVisible() && over->windowHandle()) {
            mShell->winId();
            if (QWindow* handle = mShell->windowHandle())
                handle->setTransientParent(over->windowHandle());
        }
    }
    GiveButtonsMnemonics();
    mShell->show();
    LayoutShell();
    KeepOnScreen();
    ShowSelf();
    if (wasVisible)
        return;
    if (HasAttribute(windAttr_Regular))
        Select();
    else if (floating)
        KeepActivationFromFloater();
}

void LWindow::GiveButtonsMnemonics()
{
    // Push buttons choose first, then the captions of fields (short texts with
    // few letters to choose from), then the check boxes and radio buttons; the
    // window's menus keep their own letters.
    std::vector<std::pair<QAbstractButton*, QString>> pushButtons, others;
    std::vector<std::pair<LStaticText*, QString>> captions;
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        auto* pane = dynamic_cast<LControlPane*>(button->parentWidget());
        if (!pane || pane->GetControlWidget() != button || qobject_cast<QToolButton*>(button))
            continue;
        const QString text = pane->GetCFDescriptor();
        if (text.trimmed().isEmpty())
            continue;
        (qobject_cast<QPushButton*>(button) ? pushButtons : others).emplace_back(button, text);
    }
    for (QWidget* widget : findChildren<QWidget*>()) {
        auto* caption = dynamic_cast<LStaticText*>(widget);
        if (caption && caption->HasBuddy() && !caption->GetCFDescriptor().trimmed().isEmpty())
            captions.emplace_back(caption, caption->GetCFDescriptor());
    }
    QStringList texts;
    for (const auto& [button, text] : pushButtons)
        texts << text;
    for (const auto& [caption, text] : captions)
        texts << text;
    for (const auto& [button, text] : others)
        texts << text;
    texts = WithMnemonics(texts, mMenuBar ? MnemonicLetters(*mMenuBar) : QSet<QChar>(), true);
    qsizetype next = 0;
    for (const auto& [button, text] : pushButtons)
        button->setText(texts[next++]);
    for (const auto& [caption, text] : captions)
        caption->ShowMnemonic(texts[next++]);
    for (const auto& [button, text] : others)
        button->setText(texts[next++]);
}

void LWindow::KeepActivationFromFloater()
{
    // Some platforms activate every window they show: the window that was active
    // asks for the activation again, after the floater's own request, unless the
    // floater is selected meanwhile.
    QPointer<QWidget> active = QApplication::activeWindow();
    if (!active || active == mShell)
        return;
    const quint32 show = ++mActivationRequests;
    QPointer<LWindowShell> shell = mShell;
    QTimer::singleShot(0, mShell, [this, shell, active, show] {
        if (!shell || !active || show != mActivationRequests)
            return;
        // Another window the user chose meanwhile keeps the activation.
        QWidget* now = QApplication::activeWindow();
        if ((!now || now == shell || now == active) && active->isVisible())
            active->activateWindow();
    });
}

LWindow* LWindow::ParentWindow() const
{
    for (LCommander* commander = GetSuperCommander(); commander; commander = commander->GetSuperCommander()) {
        if (auto* window = dynamic_cast<LWindow*>(commander))
            return window;
        if (auto* pane = dynamic_cast<LPane*>(commander))
            if (LWindow* window = pane->GetContainingWindow())
                return window;
    }
    // An alert belongs to the window in front.
    for (LWindow* window : WindowList()) {
        if (window != this && window->IsVisible() && !window->HasAttribute(windAttr_Floating))
            return window;
    }
    return nullptr;
}

QMargins LWindow::FrameMargins() const
{
    return ShellFrameMargins(mShell);
}

QRect LWindow::AvailableArea() const
{
    QScreen* screen = mShell ? QGuiApplication::screenAt(mShell->frameGeometry().center()) : nullptr;
    if (!screen && mShell)
        screen = mShell->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

void LWindow::KeepOnScreen()
{
    if (!mShell || (mShell->windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized)))
        return;
    const QRect available = AvailableArea();
    const QMargins margins = FrameMargins();
    const QRect frame = mShell->geometry().marginsAdded(margins);
    // Larger than the screen (a large layout or a size kept from a lower scale
    // factor): the content shrinks to fit.
    const int tooWide = frame.width() - available.width();
    const int tooHigh = frame.height() - available.height();
    if ((tooWide > 0 || tooHigh > 0) && HasAttribute(windAttr_Resizable)) {
        const QSize before = size();
        ResizeFrameBy(-std::max(0, tooWide), -std::max(0, tooHigh), true);
        if (mSizeFitted != before)
            mSizeBeforeFit = before;
        mSizeFitted = size();
    }
    MoveWithinArea(mShell, available, margins);
}

void LWindow::GetBoundsToKeep(QRect& outBounds) const
{
    GetGlobalBounds(outBounds);
    if (!mSizeBeforeFit.isEmpty() && size() == mSizeFitted)
        outBounds.setSize(mSizeBeforeFit);
}

QMargins KnownFrameMargins(const QWidget* shell)
{
    if (!shell || (shell->windowFlags() & Qt::FramelessWindowHint) || !shell->testAttribute(Qt::WA_WState_Created)
        || !shell->isVisible())
        return {};
    const QRect frame = shell->frameGeometry();
    const QRect inside = shell->geometry();
    return QMargins(inside.left() - frame.left(), inside.top() - frame.top(), frame.right() - inside.right(),
        frame.bottom() - inside.bottom());
}

QMargins ShellFrameMargins(const QWidget* shell)
{
    if (!shell || (shell->windowFlags() & Qt::FramelessWindowHint))
        return {};
    if (const QMargins known = KnownFrameMargins(shell); !known.isNull())
        return known;
    // Not framed yet (the window system frames a window once it is shown): the
    // frame of another window of the program, else none known.
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other == shell || !other->property("orvexShell").toBool() || other->isFullScreen())
            continue;
        if (const QMargins known = KnownFrameMargins(other); !known.isNull())
            return known;
    }
    return {};
}

void PlaceOverWindow(QWidget* shell, const LWindow* window, bool dialog)
{
    QWidget* them = window ? window->GetShell() : nullptr;
    const QRect over = them && them->isVisible() ? them->frameGeometry() : QRect();
    QRect frame = shell->frameGeometry();
    if (over.isValid()) {
        frame.moveCenter(over.center());
        // An alert stands in the upper third, where the eye is.
        if (dialog)
            frame.moveTop(over.top() + std::max(0, (over.height() - frame.height()) / 3));
    } else if (QScreen* screen = QGuiApplication::screenAt(frame.center())) {
        frame.moveCenter(screen->availableGeometry().center());
    } else {
        return;
    }
    shell->move(frame.topLeft());
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen)
        screen = them ? them->screen() : shell->screen();
    if (screen)
        MoveWithinArea(shell, screen->availableGeometry());
}

void MoveWithinArea(QWidget* shell, const QRect& available, const QMargins& margins)
{
    QRect frame = shell->geometry().marginsAdded(margins);
    QPoint delta;
    if (frame.right() > available.right())
        delta.rx() = available.right() - frame.right();
    if (frame.bottom() > available.bottom())
        delta.ry() = available.bottom() - frame.bottom();
    frame.translate(delta);
    // The top-left corner wins: the title bar stays reachable.
    if (frame.left() < available.left())
        delta.rx() += available.left() - frame.left();
    if (frame.top() < available.top())
        delta.ry() += available.top() - frame.top();
    if (!delta.isNull())
        shell->move(shell->pos() + delta);
}

void LWindow::Hide()
{
    if (!mShell)
        return;
    const bool wasActive = IsActiveWindow();
    mShell->hide();
    if (wasActive)
        ActivateNextWindow();
    HideSelf();
}

bool LWindow::IsVisible() const
{
    return mShell && mShell->isVisible();
}

bool LWindow::IsActiveWindow() const
{
    return mShell && QApplication::activeWindow() == mShell;
}

LWindow* LWindow::GetActiveWindow()
{
    QWidget* active = QApplication::activeWindow();
    for (LWindow* window : WindowList()) {
        if (active && window->GetShell() == active)
            return window;
    }
    return nullptr;
}

void LWindow::Select()
{
    if (!mShell)
        return;
    ++mActivationRequests;
    mShell->raise();
    mShell->activateWindow();
    // The window system confirms the activation later; Qt takes it now, so the
    // caller finds the window active (and its activation handled) on return.
    if (mShell->isVisible() && QApplication::activeWindow() != mShell)
        QApplication::setActiveWindow(mShell);
}

void LWindow::ActivateWindow()
{
    ToFront(this);
    if (!HasAttribute(windAttr_Floating)) {
        // Only one document window looks active; floaters never take that from it.
        for (LWindow* window : WindowList()) {
            if (window != this && !window->HasAttribute(windAttr_Floating) && window->LPane::IsActive())
                window->DeactivateWindow();
        }
    }
    Activate();
    // On duty already (its target chosen while it was hidden), the target still
    // has to take the keyboard focus that Qt gives the window now.
    if (HasAttribute(windAttr_Targetable))
        RestoreTarget();
}

void LWindow::QtDeactivated()
{
    // A floater coming forward leaves the document window as it was.
    LWindow* now = GetActiveWindow();
    if (now && now->HasAttribute(windAttr_Floating))
        return;
    DeactivateWindow();
}

void LWindow::ActivateNextWindow()
{
    // The window going away hands the activation (and the target) to the front one.
    DeactivateWindow();
    for (LWindow* window : WindowList()) {
        if (window != this && window->IsVisible() && !window->HasAttribute(windAttr_Floating)) {
            window->Select();
            return;
        }
    }
}

void LWindow::DeactivateWindow()
{
    Deactivate();
    // A target in a window of this one's own (its sheet) stays there.
    if (IsOnDuty() && !IsInSubWindow(LCommander::GetTarget()))
        HandTargetBack();
}

bool LWindow::IsInSubWindow(LCommander* commander) const
{
    for (LCommander* c = commander; c && c != this; c = c->GetSuperCommander()) {
        if (dynamic_cast<LWindow*>(c))
            return true;
    }
    return false;
}

void LWindow::PutOnDuty(LCommander* newTarget)
{
    LCommander::PutOnDuty(newTarget);
    // A target inside a window brings the window forward; one in a window of its
    // own (its sheet, a dialog it opened) brings that window instead.
    if (IsInSubWindow(newTarget))
        return;
    if (!HasAttribute(windAttr_Floating) && IsVisible() && !IsActiveWindow())
        Select();
    if (!LPane::IsActive())
        ActivateWindow();
}

std::vector<LWindow*> LWindow::FetchWindows()
{
    std::vector<LWindow*> visible;
    for (LWindow* window : WindowList()) {
        if (window->IsVisible())
            visible.push_back(window);
    }
    return visible;
}

LWindow* LWindow::GetFrontWindow()
{
    for (LWindow* window : WindowList()) {
        if (window->IsVisible() && !window->HasAttribute(windAttr_Floating))
            return window;
    }
    return nullptr;
}

LWindow* LWindow::FetchWindowByTitle(const QString& title)
{
    for (LWindow* window : WindowList()) {
        if (window->GetCFDescriptor() == title)
            return window;
    }
    return nullptr;
}

QString LWindow::GetCFDescriptor() const
{
    return mTitle;
}

void LWindow::SetCFDescriptor(const QString& title)
{
    mTitle = title;
    if (mShell)
        mShell->setWindowTitle(title + QStringLiteral("[*]"));
}

void LWindow::SetModified(bool modified)
{
    if (mShell)
        mShell->setWindowModified(modified);
}

bool LWindow::IsModified() const
{
    return mShell && mShell->isWindowModified();
}

void LWindow::GetGlobalBounds(QRect& outBounds) const
{
    outBounds = QRect(mapToGlobal(QPoint(0, 0)), size());
}

void LWindow::DoSetBounds(const QRect& globalBounds)
{
    ResizeFrameBy(globalBounds.width() - width(), globalBounds.height() - height(), true);
    MoveWindowTo(globalBounds.left(), globalBounds.top());
}

void LWindow::MoveWindowTo(SInt32 globalLeft, SInt32 globalTop)
{
    mPlaced = true;
    // The shell's own geometry is its content's: right whether or not the window
    // system has put a frame around it yet.
    mShell->setGeometry(QRect(QPoint(globalLeft, globalTop - TopBarsHeight()), mShell->size()));
}

void LWindow::SetMinMaxSize(SDimension32 minSize, SDimension32 maxSize)
{
    mMinSize = minSize;
    mMaxSize = maxSize;
    LayoutShell();
}

bool LWindow::CalcStandardBounds(QRect& outStdBounds) const
{
    // The frame, title bar included, fills the screen's available area.
    const QRect available = AvailableArea().marginsRemoved(FrameMargins());
    int menuHeight = TopBarsHeight();
    int stdWidth = std::min(available.width(), int(mMaxSize.width));
    int stdHeight = std::min(available.height() - menuHeight, int(mMaxSize.height));
    outStdBounds = QRect(available.left(), available.top() + menuHeight, stdWidth, stdHeight);
    QRect current;
    GetGlobalBounds(current);
    return current == outStdBounds;
}

void LWindow::DoSetZoom(bool toStandard)
{
    if (toStandard) {
        QRect standard;
        if (CalcStandardBounds(standard))
            return;
        GetGlobalBounds(mUserBounds);
        DoSetBounds(standard);
        mZoomed = true;
    } else if (mZoomed) {
        DoSetBounds(mUserBounds);
        mZoomed = false;
    }
}

void LWindow::AttemptClose()
{
    LCommander* super = GetSuperCommander();
    if (!super || super->AllowSubRemoval(this))
        DoClose();
}

void LWindow::DoClose()
{
    Hide();
    // The window may be closing from inside one of its own widgets' events; it
    // leaves the chain now and is deleted once that event has returned.
    LeaveCommanderChain();
    auto& list = WindowList();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    deleteLater();
}

void LWindow::ShowAsSheetOf(LWindow* parent)
{
    if (!parent || !mShell)
        return;
    mShell->setParent(parent->GetShell(), Qt::Sheet | Qt::Dialog);
    mShell->setWindowModality(Qt::WindowModal);
    Show();
    Select();
}

bool LWindow::ObeyCommand(CommandT command, void* ioParam)
{
    if (command == cmd_Close) {
        if (HasAttribute(windAttr_CloseBox) || HasAttribute(windAttr_Regular)) {
            AttemptClose();
            return true;
        }
    }
    return LCommander::ObeyCommand(command, ioParam);
}

bool LWindow::HandleKeyPress(const EventRecord& event)
{
    const bool plainEscape = EventCharCode(event) == char_Escape && EventKeyCode(event) == vkey_Escape
        && !(event.modifiers & (cmdKey | optionKey | shiftKey | controlKey));
    if (mCloseOnEscape && plainEscape) {
        ProcessCommand(cmd_Close);
        return true;
    }
    return LCommander::HandleKeyPress(event);
}

void LWindow::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    if (command == cmd_Close) {
        outEnabled = HasAttribute(windAttr_CloseBox);
        return;
    }
    LCommander::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
}
