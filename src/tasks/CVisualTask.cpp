#include "CVisualTask.h"

#include "CFloater.h"
#include "CIndexItem.h"
#include "CItemError.h"
#include "DeferredIcon.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "InkColour.h"
#include "LControl.h"
#include "LStdControls.h"
#include "LView.h"
#include "LWindow.h"
#include "LeasedFile.h"
#include "LocalizedStrings.h"
#include "Notifications.h"
#include "PrefKeys.h"
#include "Preferences.h"
#include "TaskOwnerView.h"
#include "ThreadErrors.h"
#include "TickCount.h"
#include "UReanimator.h"
#include "URegistrar.h"
#include "WorkerPool.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QScopeGuard>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QTimer>

#include <algorithm>
#include <unistd.h>

namespace {

constexpr int kButtonSymbolSide = 14; // the pause, resume and stop symbols

// However long a slice the preference or a task asks for, the event loop gets
// its turn after this long, and after a round of all the tasks too: the window
// never waits longer than a frame or two.
constexpr SInt64 kLongestSliceMilliseconds = 40;
// The step in which a task's next item waits for the update task.
constexpr UInt32 kUpdateWaitMilliseconds = 400;

// What InitializeTasks makes, shared by every task.
struct TaskGlobals {
    bool initialized = false;
    UInt32 slice = 19;
    UInt32 lastYield = 0;
    SInt64 lastYieldClock = 0; // the same moment in ClockMilliseconds
    std::unique_ptr<LSemaphore> parallelSlots;
    std::unique_ptr<LSemaphore> downloadSlots;
    SInt32 downloadLimit = 1; // the limit the slots' count was last made to
    SInt32 downloadDebt = 0; // slots to take back as they are given back
    LWindow* taskWindow = nullptr;
    LView* paneHolder = nullptr;
    std::vector<CVisualTask*> shownTasks; // top to bottom
    std::vector<CVisualTask*> allTasks; // oldest first
    // Threads asleep in WaitWhileUpdating, with the model whose flag they wait on.
    std::vector<std::pair<LThread*, CIndexModel*>> updateWaiters;
    bool shrinkPending = false;
};

TaskGlobals& Globals()
{
    static TaskGlobals globals;
    return globals;
}

SInt32 DownloadLimit()
{
    return std::max<SInt32>(GetPrefNumber(QStringLiteral("NumberParallelDownloads")), 1);
}

// Brings the download slots to the limit the preferences hold now, so that a
// change applies to the next transfer: a raised limit frees slots at once, a
// lowered one takes slots back, the held ones as they are given back.
void FollowDownloadLimit()
{
    auto& globals = Globals();
    const SInt32 limit = DownloadLimit();
    if (!globals.downloadSlots || limit == globals.downloadLimit)
        return;
    SInt32 change = limit - globals.downloadLimit;
    globals.downloadLimit = limit;
    for (; change > 0 && globals.downloadDebt > 0; --change)
        --globals.downloadDebt;
    for (; change > 0; --change)
        globals.downloadSlots->Signal();
    for (; change < 0; ++change) {
        if (!globals.downloadSlots->TryWait())
            ++globals.downloadDebt;
    }
}

// Sizes the window to hold the shown panes.
void FitTaskWindow()
{
    auto& globals = Globals();
    globals.shrinkPending = false;
    SInt32 height = 0;
    for (CVisualTask* task : globals.shownTasks)
        height += task->GetPaneHeight();
    if (!globals.taskWindow || height == 0)
        return;
    const SInt32 chrome = globals.taskWindow->height() - globals.paneHolder->height();
    globals.taskWindow->ResizeFrameTo(globals.taskWindow->width(), height + chrome, true);
    // Grown downwards: a window at the screen's foot moves up to stay whole.
    if (globals.taskWindow->IsVisible())
        globals.taskWindow->KeepOnScreen();
}

// Places the shown panes one under the other. The window grows at once to hold
// them and shrinks at the next turn of the event loop: a task that ends as the
// next begins (downloads of a folder's files, hundreds a second) leaves it as
// it is, where each resize would have the whole window drawn again.
void LayoutShownPanes()
{
    auto& globals = Globals();
    if (!globals.taskWindow)
        return;
    SInt32 top = 0;
    SInt32 width = globals.paneHolder->width();
    for (CVisualTask* task : globals.shownTasks) {
        LView* pane = task->GetProgressPane();
        pane->PlaceInSuperImageAt(0, top, false);
        pane->ResizeFrameTo(width, task->GetPaneHeight(), false);
        top += task->GetPaneHeight();
    }
    if (top > globals.paneHolder->height()) {
        FitTaskWindow();
    } else if (top < globals.paneHolder->height() && !globals.shrinkPending) {
        globals.shrinkPending = true;
        QTimer::singleShot(0, globals.taskWindow, [] {
            if (Globals().shrinkPending)
                FitTaskWindow();
        });
    }
}

// Keeps the task window off what lies above the owner view in its window (the menu
// bar, the toolbar, the placard): beside the window where the screen has room for
// it, else over the bottom right of the window, below that band.
void PlaceTaskWindowFor(TaskOwnerView* owner)
{
    auto* view = dynamic_cast<QWidget*>(owner);
    QWidget* shell = Globals().taskWindow ? Globals().taskWindow->GetShell() : nullptr;
    if (!view || !shell || !view->window()->isVisible() || !view->screen())
        return;
    const QRect them = view->window()->frameGeometry();
    const int bandBottom = std::max(view->mapToGlobal(QPoint(0, 0)).y(), them.top());
    const QRect band(them.left(), them.top(), them.width(), bandBottom - them.top());
    const QRect me = shell->frameGeometry();
    if (!me.intersects(band))
        return;
    const QRect available = view->screen()->availableGeometry();
    const QSize size = me.size();
    const QPoint inside(std::min(them.right(), available.right()) + 1 - size.width(),
        std::max(bandBottom, std::min(them.bottom(), available.bottom()) + 1 - size.height()));
    for (const QPoint& place : { QPoint(them.right() + 1, them.top()), QPoint(them.left() - size.width(), them.top()), inside }) {
        if (available.contains(QRect(place, size))) {
            shell->move(place);
            return;
        }
    }
    shell->move(inside);
    Globals().taskWindow->KeepOnScreen();
}

} // namespace

// --- CVisualTask -----------------------------------------------------------------------

CVisualTask::CVisualTask(const QString& titleKey, CIndexModel* model)
{
    Init(model, CopyLocalizedString(titleKey));
}

CVisualTask::CVisualTask(SInt16 titleList, SInt16 titleIndex, CIndexModel* model)
{
    Init(model, CopyLocalizedCFString(titleList, titleIndex));
}

void CVisualTask::Init(CIndexModel* model, const QString& title)
{
    mModel = model;
    mTitle = title;
    CreateProgressPane();
    Globals().allTasks.push_back(this);
    mInList = true;
}

CVisualTask::~CVisualTask()
{
    if (mInList)
        std::erase(Globals().allTasks, this);
    DisposeProgressPane();
}

void CVisualTask::Run()
{
    QElapsedTimer running;
    running.start();
    // A task is told of whether it ends well or with a failure; not when it is
    // stopped or deleted (its stack unwound).
    try {
        RunTask();
    }
    CatchAllButUnwind_
    {
        if (!mStopping && running.elapsed() >= kLongTaskMilliseconds)
            NotifyLongTaskEnded();
        throw;
    }
    if (running.elapsed() >= kLongTaskMilliseconds)
        NotifyLongTaskEnded();
}

void CVisualTask::NotifyLongTaskEnded()
{
    TaskOwnerView* view = GetOwnerView();
    if (!Pref::ShowNotificationDialog.Get() || !view || view->IsWindowActive())
        return;
    const QString index = view->GetWindowTitle();
    const QString text = CopyLocalizedString(QStringLiteral("TASK_ENDED_NOTIFICATION")).arg(mTitle, index);
    PostDesktopNotification(QCoreApplication::applicationName(), text);
}

void CVisualTask::DeletionDeferred()
{
    DisposeProgressPane();
    if (mInList) {
        std::erase(Globals().allTasks, this);
        mInList = false;
    }
    ReleaseOwner();
    mModel = nullptr;
}

CVisualTask* CVisualTask::GetCurrentTask()
{
    return dynamic_cast<CVisualTask*>(LThread::GetCurrentThread());
}

std::vector<CVisualTask*> CVisualTask::GetAllTasks()
{
    return Globals().allTasks;
}

bool CVisualTask::IsAlive(const CVisualTask* task)
{
    const auto& all = Globals().allTasks;
    return std::find(all.begin(), all.end(), task) != all.end();
}

TaskOwnerView* CVisualTask::GetOwnerView() const
{
    return FindTaskOwnerView(mModel);
}

void CVisualTask::Broadcast(MessageT message, void* parameter)
{
    if (TaskOwnerView* view = GetOwnerView())
        view->BroadcastMessage(message, parameter);
}

// --- The progress pane -------------------------------------------------------------------

void CVisualTask::CreateProgressPane()
{
    if (!AreTasksInitialized())
        InitializeTasks();
    auto& globals = Globals();
    mProgress = 0;
    mProgressMax = 0;
    mRunState = kTaskRunning;
    mStatus = QString();
    mHasSavedCaption = false;
    mSavedIndeterminate = false;
    globals.lastYield = TickCount();
    globals.lastYieldClock = ClockMilliseconds();

    LPane* made = UReanimator::CreatePaneTree(kProgressPaneLayout, globals.paneHolder);
    mPane = dynamic_cast<LView*>(made);
    if (!mPane) {
        delete made;
        ThrowOSErr_(err_NilPointer, "progress pane layout");
    }
    mPane->Hide();
    mPaneHeight = mPane->height();
    mBar = dynamic_cast<LProgressBar*>(mPane->FindPaneByID(kPaneProgressBar));
    for (PaneIDT caption : {kPaneStatusCaption, kPaneItemCaption, kPaneTitleCaption, kPaneCountCaption, kPaneCaption6})
        ThrowIfNil_(mPane->FindPaneByID(caption));
    ThrowIfNil_(mBar);
    SetCaptionText(kPaneTitleCaption, mTitle);
    mPauseButton = dynamic_cast<LControl*>(mPane->FindPaneByID(kPanePauseButton));
    mResumeButton = dynamic_cast<LControl*>(mPane->FindPaneByID(kPaneResumeButton));
    mStopButton = dynamic_cast<LControl*>(mPane->FindPaneByID(kPaneStopButton));
    ThrowIfNil_(mPauseButton);
    ThrowIfNil_(mResumeButton);
    ThrowIfNil_(mStopButton);
    for (LControl* button : {mPauseButton, mResumeButton, mStopButton})
        button->AddListener(this);
    mResumeButton->Hide();
    DressPane();
    SInt32 indeterminate = 0;
    Broadcast(msg_TaskIndeterminate, &indeterminate);
}

// The buttons show the usual media symbols and the title stands out. The
// symbols are made when the pane is first drawn: every index window makes a
// task whose pane stays hidden, and the style's icons are slow to make. The
// style draws them dark: on a dark button they take the button's text colour.
void CVisualTask::DressPane()
{
    const std::pair<LControl*, QStyle::StandardPixmap> faces[] = {
        {mPauseButton, QStyle::SP_MediaPause}, {mResumeButton, QStyle::SP_MediaPlay}, {mStopButton, QStyle::SP_MediaStop}};
    for (auto [button, symbol] : faces) {
        if (auto* bevel = dynamic_cast<LBevelButton*>(button))
            bevel->SetIcon(DeferredThemeIcon(
                [symbol] {
                    const QPixmap drawn = QApplication::style()->standardIcon(symbol).pixmap(kButtonSymbolSide);
                    const QPalette palette = QGuiApplication::palette();
                    return QIcon(IsDarkGround(palette, QPalette::Button, QPalette::ButtonText)
                            ? InkFollowingPalette(drawn, palette.color(QPalette::ButtonText))
                            : drawn);
                },
                kButtonSymbolSide));
    }
    if (LPane* title = mPane->FindPaneByID(kPaneTitleCaption)) {
        QFont font = title->font();
        font.setBold(true);
        title->setFont(font);
    }
}

void CVisualTask::DisposeProgressPane()
{
    if (!mPane)
        return;
    HideProgressPane();
    for (LControl* button : {mPauseButton, mResumeButton, mStopButton})
        if (button)
            button->RemoveListener(this);
    // The pane may be on the stack of the event that ended the task.
    mPane->setParent(nullptr);
    mPane->deleteLater();
    mPane = nullptr;
    mBar = nullptr;
    mPauseButton = mResumeButton = mStopButton = nullptr;
}

void CVisualTask::ShowProgress(double /*delay*/)
{
    if (!IsProgressShown())
        ExecuteTask();
}

bool CVisualTask::IsProgressShown() const
{
    auto& shown = Globals().shownTasks;
    return std::find(shown.begin(), shown.end(), this) != shown.end();
}

void CVisualTask::ExecuteTask()
{
    AcquireSlot();
    auto& globals = Globals();
    if (!IsProgressShown() && mPane) {
        globals.shownTasks.push_back(this);
        mPane->Show();
        LayoutShownPanes();
    }
    if (globals.taskWindow && !globals.taskWindow->IsVisible()) {
        PlaceTaskWindowFor(GetOwnerView());
        globals.taskWindow->Show();
    }
    TellShown();
}

void CVisualTask::TellShown()
{
    // The strip shows one task at a time: the task shown tells it all its state.
    SInt32 minimum = mBar ? mBar->GetMinValue() : 0;
    SInt32 maximum = mProgressMax;
    SInt32 value = mProgress;
    SInt32 indeterminate = IsIndeterminate() ? 1 : 0;
    Broadcast(msg_TaskShown, this);
    Broadcast(msg_TaskTitle, &mTitle);
    Broadcast(msg_TaskIndeterminate, &indeterminate);
    Broadcast(msg_TaskProgressMin, &minimum);
    Broadcast(msg_TaskProgressMax, &maximum);
    Broadcast(msg_TaskProgress, &value);
}

void CVisualTask::HideProgressPane()
{
    auto& globals = Globals();
    if (!IsProgressShown())
        return;
    std::erase(globals.shownTasks, this);
    if (mPane)
        mPane->Hide();
    LayoutShownPanes();
    if (globals.shownTasks.empty() && globals.taskWindow)
        globals.taskWindow->Hide();
    ReleaseSlot();
    // The window's status strip lets go of this task, and shows the latest other
    // task of the same window still at work.
    TaskOwnerView* owner = GetOwnerView();
    Broadcast(msg_TaskHidden, this);
    for (auto other = globals.shownTasks.rbegin(); owner && other != globals.shownTasks.rend(); ++other) {
        if ((*other)->GetOwnerView() == owner) {
            (*other)->TellShown();
            break;
        }
    }
}

void CVisualTask::AcquireSlot()
{
    if (mHoldsSlot)
        return;
    LSemaphore& semaphore = GetParallelSlots();
    OSStatus status;
    do {
        status = semaphore.Wait(semaphore_WaitForever);
    } while (status == errSemaphoreTimedOut); // woken early: wait again
    ThrowIfOSErr_(status);
    mHoldsSlot = true;
}

void CVisualTask::ReleaseSlot()
{
    if (!mHoldsSlot)
        return;
    mHoldsSlot = false;
    if (auto& semaphore = Globals().parallelSlots)
        semaphore->Signal();
}

bool CVisualTask::IsStopShown() const
{
    return mStopButton && !mStopButton->isHidden();
}

void CVisualTask::ShowStopButton(bool show)
{
    if (mStopButton)
        mStopButton->SetVisible(show);
}

void CVisualTask::ShowPauseButton(bool show)
{
    if (mPauseButton)
        mPauseButton->SetVisible(show);
}

// --- Progress ------------------------------------------------------------------------------

void CVisualTask::ShowCountCaption()
{
    QString format = CopyLocalizedString(QStringLiteral("ITEM_X_OF_Y"));
    ThrowIf_(format.isEmpty(), "ITEM_X_OF_Y");
    SetCaptionText(kPaneCountCaption, format.arg(mProgress).arg(mProgressMax).arg(mStatus).trimmed());
}

void CVisualTask::SetProgress(SInt32 value)
{
    if (value == mProgress)
        return;
    mProgress = value;
    if (mBar)
        mBar->SetValue(value);
    ShowCountCaption();
    Broadcast(msg_TaskProgress, &value);
}

void CVisualTask::SetProgressMax(SInt32 maximum)
{
    if (maximum == mProgressMax)
        return;
    mProgressMax = maximum;
    if (mBar) {
        mBar->SetMaxValue(maximum);
        mBar->SetValue(mProgress);
    }
    ShowCountCaption();
    Broadcast(msg_TaskProgressMax, &maximum);
}

void CVisualTask::SetProgressMin(SInt32 minimum)
{
    if (mBar)
        mBar->SetMinValue(minimum);
    Broadcast(msg_TaskProgressMin, &minimum);
}

void CVisualTask::SetIndeterminate(bool indeterminate)
{
    if (mBar)
        mBar->SetIndeterminate(indeterminate);
    SInt32 flag = indeterminate ? 1 : 0;
    Broadcast(msg_TaskIndeterminate, &flag);
}

bool CVisualTask::IsIndeterminate() const
{
    return mBar && mBar->IsIndeterminate();
}

void CVisualTask::ShowProgressBar()
{
    if (mBar)
        mBar->Show();
}

void CVisualTask::HideProgressBar()
{
    if (mBar)
        mBar->Hide();
}

// --- Captions ------------------------------------------------------------------------------

void CVisualTask::SetCaptionText(PaneIDT caption, const QString& text)
{
    if (!mPane)
        return;
    LPane* pane = mPane->FindPaneByID(caption);
    ThrowIfNil_(pane);
    pane->SetCFDescriptor(text);
    pane->update();
}

QString CVisualTask::GetCaptionText(PaneIDT caption) const
{
    LPane* pane = mPane ? mPane->FindPaneByID(caption) : nullptr;
    return pane ? pane->GetCFDescriptor() : QString();
}

void CVisualTask::SetStatusCaption(const QString& text)
{
    SetCaptionText(kPaneStatusCaption, text);
}

void CVisualTask::SetCaption6(const QString& text)
{
    SetCaptionText(kPaneCaption6, text);
}

void CVisualTask::SetItemCaption(const QString& text)
{
    SetCaptionText(kPaneItemCaption, text);
}

void CVisualTask::SetTitleCaption(const QString& text)
{
    SetCaptionText(kPaneTitleCaption, text);
}

void CVisualTask::SetStatusCaption(SInt16 list, SInt16 index)
{
    SetStatusCaption(CopyLocalizedCFString(list, index));
}

void CVisualTask::SetItemCaption(SInt16 list, SInt16 index)
{
    SetItemCaption(CopyLocalizedCFString(list, index));
}

void CVisualTask::SetCaption6(SInt16 list, SInt16 index)
{
    SetCaption6(CopyLocalizedCFString(list, index));
}

void CVisualTask::SetTitleCaption(SInt16 list, SInt16 index)
{
    SetTitleCaption(CopyLocalizedCFString(list, index));
}

void CVisualTask::SetStatusString(const QString& status)
{
    mStatus = status;
}

void CVisualTask::SaveCaption()
{
    ThrowIfNil_(mPane);
    mSavedCaption = GetCaptionText(kPaneStatusCaption);
    mHasSavedCaption = true;
}

void CVisualTask::RestoreCaption()
{
    if (!mHasSavedCaption)
        return;
    SetStatusCaption(mSavedCaption);
    mHasSavedCaption = false;
    mSavedCaption.clear();
}

// --- Pause, resume and stop -----------------------------------------------------------------

void CVisualTask::ListenToMessage(MessageT message, void*)
{
    if (message != msg_TaskPause && message != msg_TaskResume && message != msg_TaskStop)
        return;
    // A button's click is still on the stack: stopping now would delete the
    // button under it. The task is found again by its ID, so a task that ended
    // meanwhile is never touched.
    ThreadID id = GetID();
    QTimer::singleShot(0, QCoreApplication::instance(), [id, message] {
        auto* task = dynamic_cast<CVisualTask*>(LThread::FromID(id));
        if (task && CVisualTask::IsAlive(task))
            task->RunButtonMessage(message);
    });
}

void CVisualTask::RunButtonMessage(MessageT message)
{
    const ExceptionCode error = CatchException([&] {
        switch (message) {
        case msg_TaskPause:
            Pause();
            break;
        case msg_TaskResume:
            ResumeTask();
            break;
        case msg_TaskStop:
            Stop();
            break;
        default:
            break;
        }
    });
    if (error.Code() != noErr)
        ReportError(error, kStopAlert);
}

void CVisualTask::Pause()
{
    if (mRunState == kTaskPaused || mStopping)
        return;
    if (mPauseButton)
        mPauseButton->Hide();
    if (mResumeButton)
        mResumeButton->Show();
    SaveCaption();
    SetStatusCaption(601, 32);
    mSavedIndeterminate = IsIndeterminate();
    SetIndeterminate(true);
    mRunState = kTaskPaused;
    OnPause();
    // From elsewhere the task is only marked: it suspends itself at its next CheckPause.
    if (IsCurrent())
        CheckPause();
}

void CVisualTask::CheckPause()
{
    while (mRunState == kTaskPaused && IsCurrent() && !mStopping)
        Suspend();
}

void CVisualTask::ResumeTask()
{
    // A pause not yet taken up (the task was waiting) is called off as well, so the
    // resume button never does nothing.
    if (mRunState != kTaskPaused || mStopping)
        return;
    OnResume();
    RestoreCaption();
    SetIndeterminate(mSavedIndeterminate);
    mRunState = kTaskRunning;
    if (mPauseButton)
        mPauseButton->Show();
    if (mResumeButton)
        mResumeButton->Hide();
    if (IsSuspended() && !IsCurrent())
        Resume();
}

void CVisualTask::Stop()
{
    if (mStopping || IsCompleted())
        return;
    mStopping = true;
    OnStop();
    Finish(true);
    DeleteThread();
}

// --- Pending items ---------------------------------------------------------------------------

void CVisualTask::InsertItem(CIndexItem* item, SInt32 position)
{
    ThrowIfNil_(item);
    if (position == 1)
        mPendingItems.push_front(item);
    else if (position >= 1 && position <= SInt32(mPendingItems.size()))
        mPendingItems.insert(mPendingItems.begin() + (position - 1), item);
    else
        mPendingItems.push_back(item);
    mItemEvent.Signal();
}

void CVisualTask::AddItem(CIndexItem* item)
{
    ThrowIfNil_(item);
    mPendingItems.push_back(item);
    mItemEvent.Signal();
}

void CVisualTask::AddItems(std::span<CIndexItem* const> items)
{
    if (items.empty())
        return;
    for (CIndexItem* item : items)
        ThrowIfNil_(item);
    mPendingItems.insert(mPendingItems.end(), items.begin(), items.end());
    mItemEvent.Signal();
}

bool CVisualTask::HasPendingItem(const CIndexItem* item) const
{
    return std::find(mPendingItems.begin(), mPendingItems.end(), item) != mPendingItems.end();
}

CIndexItem* CVisualTask::NextItem()
{
    WaitWhileUpdating(mModel, kUpdateWaitMilliseconds);
    while (mPendingItems.empty()) {
        mItemEvent.Reset();
        OSStatus status = mItemEvent.Wait(semaphore_WaitForever);
        if (status != noErr && status != errSemaphoreTimedOut)
            ThrowOSErr_(status);
    }
    CIndexItem* item = mPendingItems.front();
    mPendingItems.pop_front();
    ThrowIfNil_(item);
    return item;
}

CIndexItem* CVisualTask::NextItemIfAny()
{
    WaitWhileUpdating(mModel, kUpdateWaitMilliseconds);
    return mPendingItems.empty() ? nullptr : NextItem();
}

void CVisualTask::TakeItems(std::vector<CIndexItem*>& batch, size_t most)
{
    const size_t count = std::min(most, mPendingItems.size());
    batch.insert(batch.end(), mPendingItems.begin(), mPendingItems.begin() + std::ptrdiff_t(count));
    mPendingItems.erase(mPendingItems.begin(), mPendingItems.begin() + std::ptrdiff_t(count));
    std::erase(batch, nullptr);
    if (mPendingItems.empty())
        mItemEvent.Reset();
}

void CVisualTask::RemoveItem(CIndexItem* item)
{
    std::erase(mPendingItems, item);
    if (mPendingItems.empty())
        mItemEvent.Reset();
}

void CVisualTask::ClearItems()
{
    mPendingItems.clear();
    mItemEvent.Reset();
}

// --- Failures ------------------------------------------------------------------------------------

void CVisualTask::AddItemError(CIndexItem* item, std::unique_ptr<CItemError> error)
{
    if (!item || !error)
        return;
    error->SetMessage(mTitle);
    item->SetError(std::move(error));
    if (std::find(mErrorItems.begin(), mErrorItems.end(), item) == mErrorItems.end())
        mErrorItems.push_back(item);
    if (TaskOwnerView* view = GetOwnerView())
        view->RefreshItem(mModel->GetIndexOfItem(item));
}

void CVisualTask::ReportErrors()
{
    if (!mErrorItems.empty())
        ReportError(kMsgTaskItemErrors, kCautionAlert);
}

// --- The shared state ------------------------------------------------------------------------------

namespace {

// Draws a window at most once a frame. Thousands of short downloads a minute
// each show a pane and take it away again; drawing the task window at every one
// of those changes took most of the program's time, for nothing the eye sees.
class FramePacer : public QObject {
public:
    explicit FramePacer(QWidget* shell)
        : QObject(shell)
        , mShell(shell)
    {
        mLater.setSingleShot(true);
        QObject::connect(&mLater, &QTimer::timeout, this, [this] {
            QCoreApplication::postEvent(mShell, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
        });
        mSinceDrawn.start();
        shell->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::UpdateRequest)
            return false;
        // Held back until the frame is over: what changes meanwhile is drawn with it.
        if (const qint64 wait = kFrameMilliseconds - mSinceDrawn.elapsed(); wait > 0) {
            if (!mLater.isActive())
                mLater.start(int(wait));
            return true;
        }
        mSinceDrawn.restart();
        return false;
    }

private:
    static constexpr qint64 kFrameMilliseconds = 16;
    QWidget* mShell;
    QTimer mLater;
    QElapsedTimer mSinceDrawn;
};

} // namespace

void InitializeTasks()
{
    auto& globals = Globals();
    if (globals.initialized)
        return;
    globals.slice = UInt32(std::max<SInt32>(GetPrefNumber(QStringLiteral("MultiTaskTime")), 0));
    LeasedFile::SetCloser([](int fd) { WorkerPool::LetGo([fd] { ::close(fd); }); });
    globals.parallelSlots = std::make_unique<LSemaphore>(
        std::max<SInt32>(GetPrefNumber(QStringLiteral("NumberParallelTasks")), 1));
    globals.downloadLimit = DownloadLimit();
    globals.downloadDebt = 0;
    globals.downloadSlots = std::make_unique<LSemaphore>(globals.downloadLimit);
    if (!URegistrar::IsRegistered(CTaskWindow::class_ID))
        URegistrar::RegisterClass<CTaskWindow>(CTaskWindow::class_ID);
    LWindow* window = nullptr;
    OSStatus status = CatchCode([&] { window = LWindow::CreateWindow(kTaskWindowLayout, nullptr); });
    if (status != noErr || !window)
        ThrowOSErr_(err_NilPointer, "task window");
    auto* holder = dynamic_cast<LView*>(window->FindPaneByID(kPaneHolder));
    if (!holder) {
        delete window;
        ThrowOSErr_(err_NilPointer, "task window pane holder");
    }
    window->Hide();
    new FramePacer(window->GetShell()); // the shell's child
    RestoreWindowPosition(window, CTaskWindow::kPositionKey);
    // Command-period in the task window stops the task shown last.
    CTaskWindow::SetStopLatestTask([] {
        auto& shown = Globals().shownTasks;
        if (!shown.empty())
            shown.back()->ListenToMessage(msg_TaskStop, nullptr);
    });
    globals.taskWindow = window;
    globals.paneHolder = holder;
    globals.lastYield = TickCount();
    globals.lastYieldClock = ClockMilliseconds();
    globals.initialized = true;
}

void TerminateTasks()
{
    auto& globals = Globals();
    if (!globals.initialized)
        return;
    // Newest first: a task may own the items an older one walks.
    for (CVisualTask* task : std::vector<CVisualTask*>(globals.allTasks.rbegin(), globals.allTasks.rend())) {
        if (CVisualTask::IsAlive(task) && !task->IsCurrent())
            task->DeleteThread();
    }
    globals.shownTasks.clear();
    CTaskWindow::SetStopLatestTask(nullptr);
    delete globals.taskWindow;
    globals.taskWindow = nullptr;
    globals.shrinkPending = false;
    globals.paneHolder = nullptr;
    globals.parallelSlots.reset();
    globals.downloadSlots.reset();
    globals.initialized = false;
}

bool AreTasksInitialized()
{
    return Globals().initialized;
}

UInt32 GetTaskSlice()
{
    return Globals().slice;
}

void SetTaskSlice(UInt32 ticks)
{
    Globals().slice = ticks;
}

UInt32 GetLastYieldTicks()
{
    return Globals().lastYield;
}

namespace {

// Whether the slice (and the round's turn) will be over `ahead` milliseconds from now.
bool TimeUpIn(UInt32 ticks, SInt64 ahead)
{
    auto& globals = Globals();
    const UInt32 interval = ticks == kUseTaskSlice ? globals.slice : ticks;
    const SInt64 slice = std::min<SInt64>(SInt64(interval) * 1000 / kTicksPerSecond, kLongestSliceMilliseconds);
    const SInt64 now = ClockMilliseconds() + ahead;
    // Measured from the last yield of any task, so the slice is shared.
    if (now - globals.lastYieldClock > slice)
        return true;
    // The tasks of one round share the event loop's turn: once it is used up,
    // each gives way at its next look.
    return !LThread::InMainThread() && now - LThread::RoundStartMilliseconds() > kLongestSliceMilliseconds;
}

void YieldNow(LThread* yieldTo)
{
    auto& globals = Globals();
    globals.lastYield = TickCount();
    globals.lastYieldClock = ClockMilliseconds();
    LThread::Yield(yieldTo);
}

} // namespace

bool IsTaskTimeUp(UInt32 ticks)
{
    return TimeUpIn(ticks, 0);
}

bool YieldBeforeStep(SInt64 stepMilliseconds)
{
    if (!TimeUpIn(kUseTaskSlice, std::max<SInt64>(stepMilliseconds, 0)))
        return false;
    YieldNow(nullptr);
    return true;
}

void WaitWhileUpdating(CIndexModel* model, UInt32 stepMilliseconds)
{
    auto& waiters = Globals().updateWaiters;
    while (model && model->IsUpdating()) {
        const std::pair<LThread*, CIndexModel*> entry(LThread::GetCurrentThread(), model);
        waiters.push_back(entry);
        // Out of the list however the sleep ends (a task stopped meanwhile unwinds here).
        const auto leave = qScopeGuard([&] {
            if (auto found = std::find(waiters.begin(), waiters.end(), entry); found != waiters.end())
                waiters.erase(found);
        });
        LThread::Sleep(stepMilliseconds);
    }
}

void WakeTasksWaitingForUpdate(CIndexModel* model)
{
    // A copy: each woken thread takes itself out of the list when it runs.
    const auto waiters = Globals().updateWaiters;
    for (const auto& [thread, waitingOn] : waiters) {
        if (waitingOn == model)
            thread->Wake();
    }
}

bool YieldIfTimeUp(UInt32 ticks, LThread* yieldTo)
{
    if (!IsTaskTimeUp(ticks))
        return false;
    YieldNow(yieldTo);
    return true;
}

void ShowTaskWindow()
{
    if (LWindow* window = Globals().taskWindow) {
        window->Show();
        window->Select();
    }
}

void ShowTaskWindowIfHidden()
{
    if (!IsTaskWindowVisible())
        ShowTaskWindow();
}

bool IsTaskWindowVisible()
{
    LWindow* window = Globals().taskWindow;
    return window && window->IsVisible();
}

LWindow* GetTaskWindow()
{
    return Globals().taskWindow;
}

std::vector<CVisualTask*> GetShownTasks()
{
    return Globals().shownTasks;
}

void StopTasksOfOwner(CIndexModel* model)
{
    if (!model)
        return;
    std::vector<CVisualTask*> owned;
    for (CVisualTask* task : Globals().allTasks)
        if (task->GetModel() == model)
            owned.push_back(task);
    // The calling task last: stopping it does not come back.
    CVisualTask* current = CVisualTask::GetCurrentTask();
    std::stable_partition(owned.begin(), owned.end(), [current](CVisualTask* task) { return task != current; });
    for (CVisualTask* task : owned) {
        // Stopping one task may end others (they own what it frees).
        if (CVisualTask::IsAlive(task))
            task->Stop();
    }
}

void RemoveItemFromTasksOfOwner(CIndexModel* model, CIndexItem* item)
{
    if (!model || !item)
        return;
    for (CVisualTask* task : Globals().allTasks)
        if (task->GetModel() == model)
            task->RemoveItem(item);
}

void RemoveIndexItem(CIndexModel& model, SInt32 index, bool trashFile, bool deleteItem)
{
    if (model.IsItemListLocked())
        ThrowOSErr_(kMsgIndexViewOperation, "the item list is locked");
    CIndexItem* item = model.ItemAt(index);
    if (!item)
        return;
    if (item->IsBusy())
        ThrowOSErr_(kMsgIndexViewItems, "the item is in use");
    if (trashFile && !item->IsStoredInPackage())
        item->MoveFileToTrash();
    RemoveItemFromTasksOfOwner(&model, item);
    for (CVisualTask* task : Globals().allTasks)
        if (task->GetModel() == &model)
            task->DropIndex(index);
    model.TakeItemAt(index); // out of the lists, value index and records; the index is modified
    if (item->IsStoredInPackage()) {
        // The package's copy is the user's file: Move to Trash puts it in the Trash, not away for good.
        if (trashFile)
            model.AddFileToTrash(item->GetURL());
        else
            model.AddFileToDelete(item->GetURL());
        OSStatus status = CatchCode([&] { model.AddFileToDelete(item->CopyThumbnailURL()); });
        (void)status; // an item without a thumbnail file has nothing more to delete
    }
    if (deleteItem)
        DisposeRemovedItem(model, item);
}

void DisposeRemovedItem(CIndexModel& model, CIndexItem* item)
{
    if (!item)
        return;
    model.ForgetStoredRecord(item);
    for (CVisualTask* task : Globals().allTasks)
        if (task->GetModel() == &model && task->KeepRemovedItem(item))
            return;
    delete item;
}

// --- The views showing models ----------------------------------------------------------------

namespace {

QHash<const CIndexModel*, TaskOwnerView*>& OwnerViews()
{
    static QHash<const CIndexModel*, TaskOwnerView*> views;
    return views;
}

} // namespace

void SetTaskOwnerView(const CIndexModel& model, TaskOwnerView* view)
{
    if (view)
        OwnerViews().insert(&model, view);
    else
        OwnerViews().remove(&model);
}

TaskOwnerView* FindTaskOwnerView(const CIndexModel* model)
{
    return model ? OwnerViews().value(model) : nullptr;
}

LSemaphore& GetParallelSlots()
{
    auto& semaphore = Globals().parallelSlots;
    ThrowIfNil_(semaphore);
    return *semaphore;
}

LSemaphore& GetDownloadSlots()
{
    auto& semaphore = Globals().downloadSlots;
    ThrowIfNil_(semaphore);
    return *semaphore;
}

// --- StDownloadSlot --------------------------------------------------------------------------------

bool StDownloadSlot::Acquire()
{
    if (mHeld)
        return true;
    LSemaphore& semaphore = GetDownloadSlots();
    FollowDownloadLimit();
    OSStatus status;
    do {
        status = semaphore.Wait(semaphore_WaitForever);
    } while (status == errSemaphoreTimedOut);
    mHeld = status == noErr;
    return mHeld;
}

void StDownloadSlot::TakeFrom(StDownloadSlot& other)
{
    if (&other == this)
        return;
    Release();
    mHeld = other.mHeld;
    other.mHeld = false;
}

void StDownloadSlot::Release()
{
    if (!mHeld)
        return;
    mHeld = false;
    if (!AreTasksInitialized())
        return;
    if (Globals().downloadDebt > 0)
        --Globals().downloadDebt; // the limit was lowered: this slot is gone
    else
        GetDownloadSlots().Signal();
}
