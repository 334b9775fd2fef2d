#pragma once

#include "LBroadcaster.h"
#include "LSemaphore.h"
#include "LThread.h"
#include "Liveness.h"
#include "MacTypes.h"
#include "TaskServices.h" // kInsertAtEnd

#include <QString>

#include <deque>
#include <memory>
#include <span>
#include <vector>

class CIndexItem;
class CItemError;
class LControl;
class LPane;
class LProgressBar;
class LView;
class CIndexModel;
class LWindow;
class TaskOwnerView;

// Layouts of the task window and of one progress pane.
inline constexpr ResIDT kTaskWindowLayout = 1026;
inline constexpr ResIDT kProgressPaneLayout = 1027;

// Sub-panes of a progress pane.
inline constexpr PaneIDT kPaneProgressBar = 'stat';
inline constexpr PaneIDT kPaneStatusCaption = 'cap1';
inline constexpr PaneIDT kPaneItemCaption = 'cap2';
inline constexpr PaneIDT kPaneTitleCaption = 'cap4';
inline constexpr PaneIDT kPaneCountCaption = 'cap5';
inline constexpr PaneIDT kPaneCaption6 = 'cap6';
inline constexpr PaneIDT kPanePauseButton = 3001;
inline constexpr PaneIDT kPaneResumeButton = 3002;
inline constexpr PaneIDT kPaneStopButton = 3003;
inline constexpr PaneIDT kPaneHolder = 'PHST'; // in the task window: the panes' superview

// The buttons' messages.
inline constexpr MessageT msg_TaskPause = 'paus';
inline constexpr MessageT msg_TaskResume = 'star';
inline constexpr MessageT msg_TaskStop = 'stop';

// Ticks: "use the slice" for YieldIfTimeUp.
inline constexpr UInt32 kUseTaskSlice = 0xFFFFFFFF;

enum : SInt32 {
    kTaskRunning = 1,
    kTaskPaused = 2,
};

// A task that ran this long is told of by a desktop notification when it ends
// while its window is not the active one ("ShowNotificationDialog").
inline constexpr qint64 kLongTaskMilliseconds = 5000;

// The base of every long job: a cooperative thread working on one index model,
// with a progress pane stacked into the shared task window, a queue of items
// to work on and a list of the items that failed.
//
// A creator makes the task and calls Start (the thread's Resume). RunTask does
// the work; it calls ShowProgress when it wants its pane (which takes one of
// the "NumberParallelTasks" slots, waiting for one), and CheckPause and
// YieldIfTimeUp between items. When RunTask returns, the thread ends and the
// task is deleted. Stop ends a task at once from outside: its stack is unwound
// where it waits (every destructor on it runs) and it is deleted; stopping is
// idempotent, and a task that has ended is never touched again.
class CVisualTask : public LThread, public LListener {
public:
    // The title is the localized text of the key (the key itself when missing).
    // The model is the index the task works on; null for a task of no index.
    CVisualTask(const QString& titleKey, CIndexModel* model);
    // The title is the localized text of "<list>:<index>".
    CVisualTask(SInt16 titleList, SInt16 titleIndex, CIndexModel* model);
    ~CVisualTask() override;

    void Start() { Resume(); }

    // 'star' resumes, 'stop' stops, 'paus' pauses; the buttons' messages are acted
    // on from the event loop, after the click that sent them has ended.
    void ListenToMessage(MessageT message, void* ioParam) override;

    virtual void ShowProgress(double delay = 0.1);
    virtual void HideProgressPane();
    virtual bool IsProgressShown() const;

    virtual void Pause();
    virtual void OnPause() {}
    virtual void ResumeTask();
    virtual void OnResume() {}
    virtual void Stop();
    virtual void OnStop() {}
    // Called by Stop with true; subclasses end their owner's busy state here.
    virtual void Finish(bool /*stopped*/) {}
    // Between items: a paused task suspends itself here until resumed.
    virtual void CheckPause();
    virtual void AcquireSlot();
    virtual void ReleaseSlot();
    virtual bool IsStopShown() const;

    virtual void SetProgress(SInt32 value);
    SInt32 GetProgress() const { return mProgress; }
    virtual void SetProgressMax(SInt32 maximum);
    SInt32 GetProgressMax() const { return mProgressMax; }
    virtual void SetProgressMin(SInt32 minimum);
    virtual void SetIndeterminate(bool indeterminate);
    virtual bool IsIndeterminate() const;
    virtual void ShowProgressBar();
    virtual void HideProgressBar();
    void ShowStopButton(bool show);
    void ShowPauseButton(bool show);

    virtual void SetStatusCaption(const QString& text);
    virtual void SetCaption6(const QString& text);
    virtual void SetItemCaption(const QString& text);
    virtual void SetTitleCaption(const QString& text);
    void SetStatusCaption(SInt16 list, SInt16 index);
    void SetItemCaption(SInt16 list, SInt16 index);
    void SetCaption6(SInt16 list, SInt16 index);
    void SetTitleCaption(SInt16 list, SInt16 index);
    QString GetCaptionText(PaneIDT caption) const;
    // The third argument of the "ITEM_X_OF_Y" text.
    virtual void SetStatusString(const QString& status);
    virtual void SaveCaption();
    virtual void RestoreCaption();

    // The pending items. InsertItem at 1 puts the item first, kInsertAtEnd last;
    // InsertItem and AddItem post the item event, so a waiting NextItem wakes.
    virtual void InsertItem(CIndexItem* item, SInt32 position);
    // Waits while the owner's update flag is set, then for an item, and takes the
    // first one. 'nilP' for a null item.
    virtual CIndexItem* NextItem();
    // For a task that ends with its queue: the next item once thumbnails are made,
    // null when none is left (its items were removed meanwhile). Never waits for items.
    CIndexItem* NextItemIfAny();
    virtual void RemoveItem(CIndexItem* item);
    // The item at a 1-based position of the model's current list leaves the index.
    virtual void DropIndex(SInt32 /*position*/) {}
    // An item that left the index is to be deleted: true when the task still works
    // on it and deletes it itself once done.
    virtual bool KeepRemovedItem(CIndexItem* /*item*/) { return false; }
    virtual void ClearItems();
    SInt32 CountItems() const { return SInt32(mPendingItems.size()); }
    // Moves up to `most` of the first pending items onto `batch` without waiting.
    void TakeItems(std::vector<CIndexItem*>& batch, size_t most);
    virtual void AddItem(CIndexItem* item);
    // Appends a batch of items with one item event; 'nilP' (nothing added) for a null one.
    void AddItems(std::span<CIndexItem* const> items);
    bool HasPendingItem(const CIndexItem* item) const;

    // The item takes the error (with the task's title as its message) and is
    // listed for the report at the end; its cell is drawn again.
    virtual void AddItemError(CIndexItem* item, std::unique_ptr<CItemError> error);
    const std::vector<CIndexItem*>& GetErrorItems() const { return mErrorItems; }
    // One report (100047, caution) when any item failed.
    virtual void ReportErrors();

    // The index the task works on (null once it let go of it, or for none).
    CIndexModel* GetModel() const { return mModel; }
    // The view showing that index; null for none.
    TaskOwnerView* GetOwnerView() const;
    const QString& GetTitle() const { return mTitle; }
    SInt32 GetRunState() const { return mRunState; }
    bool IsStopping() const { return mStopping; }
    LView* GetProgressPane() const { return mPane; }
    SInt32 GetPaneHeight() const { return mPaneHeight; }
    bool HoldsSlot() const { return mHoldsSlot; }

    // The task whose thread is running, or null.
    static CVisualTask* GetCurrentTask();
    // Every task that exists, oldest first (also those without a shown pane).
    static std::vector<CVisualTask*> GetAllTasks();
    static bool IsAlive(const CVisualTask* task);
    // Held by whoever keeps a task across its end (TLivePtr).
    const LivenessToken& GetLivenessToken() const { return mLiveness; }

protected:
    void Run() override;
    // A stopped task whose worker job does not stop lingers until the job ends: it
    // leaves the task list and its pane at once and lets go of its model.
    void DeletionDeferred() override;
    // Gives back what the task holds of its model (its running-task count, its
    // busy mark), for a task that may linger; the model is forgotten afterwards.
    virtual void ReleaseOwner() {}
    virtual void RunTask() = 0;

    virtual void CreateProgressPane();
    virtual void DisposeProgressPane();
    virtual void ExecuteTask();
    void Broadcast(MessageT message, void* parameter);

private:
    void Init(CIndexModel* model, const QString& title);
    void DressPane();
    void SetCaptionText(PaneIDT caption, const QString& text);
    void ShowCountCaption();
    // Tells the owner view's status strip this task is the one to show, with its progress.
    void TellShown();
    void RunButtonMessage(MessageT message);
    void NotifyLongTaskEnded();

    SInt32 mProgress = 0;
    SInt32 mProgressMax = 0;
    SInt32 mPaneHeight = 0;
    QString mSavedCaption;
    bool mHasSavedCaption = false;
    bool mSavedIndeterminate = false;
    QString mStatus;
    LView* mPane = nullptr;
    LProgressBar* mBar = nullptr;
    SInt32 mRunState = kTaskRunning;
    LEventSemaphore mItemEvent;
    std::vector<CIndexItem*> mErrorItems;
    std::deque<CIndexItem*> mPendingItems;
    CIndexModel* mModel = nullptr;
    LControl* mPauseButton = nullptr;
    LControl* mResumeButton = nullptr;
    LControl* mStopButton = nullptr;
    QString mTitle;
    bool mHoldsSlot = false;
    bool mStopping = false;
    bool mInList = false;
    LivenessToken mLiveness;
};

// Makes the task window and the shared state from "MultiTaskTime" and
// "NumberParallelTasks" (and the downloads' limit from "NumberParallelDownloads").
// Throws 'nilP' when the window cannot be made. Calling it again does nothing.
void InitializeTasks();
// Ends what InitializeTasks made (the program's end, and between tests): every
// task is stopped and the window deleted.
void TerminateTasks();
bool AreTasksInitialized();

// Yields when more than `ticks` (kUseTaskSlice: "MultiTaskTime") have passed
// since the last yield of any task; true when it yielded. A slice never runs
// past a frame or two, nor does a round of the tasks, whatever was asked.
bool YieldIfTimeUp(UInt32 ticks = kUseTaskSlice, LThread* yieldTo = nullptr);
// Whether YieldIfTimeUp would yield now.
bool IsTaskTimeUp(UInt32 ticks = kUseTaskSlice);
// Yields when a step of this length, begun now, would end past the slice or the
// round's turn: a task whose steps take long gives the loop its turn before a
// step runs over rather than after. True when it yielded.
bool YieldBeforeStep(SInt64 stepMilliseconds);
UInt32 GetTaskSlice();
void SetTaskSlice(UInt32 ticks);
UInt32 GetLastYieldTicks();

// Holds the calling task back while the model's update task works (its update
// flag set): it sleeps in steps of `stepMilliseconds` and looks again after
// each. A step ends early when the update task lowers the flag, so a task waits
// as long as the thumbnails take, not a whole step past them.
void WaitWhileUpdating(CIndexModel* model, UInt32 stepMilliseconds);
// The update task has lowered the model's flag: the tasks waiting on it look again.
void WakeTasksWaitingForUpdate(CIndexModel* model);

void ShowTaskWindow();
void ShowTaskWindowIfHidden();
bool IsTaskWindowVisible();
LWindow* GetTaskWindow();
// The tasks whose pane is shown, top to bottom.
std::vector<CVisualTask*> GetShownTasks();

// Stops every task working on the model (shown or not); returns when they are gone.
void StopTasksOfOwner(CIndexModel* model);
// Takes the item out of the pending lists of every task working on the model.
void RemoveItemFromTasksOfOwner(CIndexModel* model, CIndexItem* item);
// Takes the item at the index out of the index: out of its tasks' lists, its
// stored files deleted after the next save, deleted itself with deleteItem (see
// DisposeRemovedItem). Throws kMsgIndexViewOperation while the list is locked,
// kMsgIndexViewItems for an item in use.
void RemoveIndexItem(CIndexModel& model, SInt32 index, bool trashFile, bool deleteItem);
// Deletes an item that left the index, or leaves it to the task still working on it.
void DisposeRemovedItem(CIndexModel& model, CIndexItem* item);

// The parallel-slot semaphore ("NumberParallelTasks") and the downloads'
// semaphore ("NumberParallelDownloads", followed at each StDownloadSlot::Acquire
// so that a change needs no restart); 'nilP' before InitializeTasks.
LSemaphore& GetParallelSlots();
LSemaphore& GetDownloadSlots();

// A download slot for the lifetime of a network task: taken on request and given
// back at the end only when it was taken, so the limit never creeps.
class StDownloadSlot {
public:
    StDownloadSlot() = default;
    ~StDownloadSlot() { Release(); }
    StDownloadSlot(const StDownloadSlot&) = delete;
    StDownloadSlot& operator=(const StDownloadSlot&) = delete;

    // Waits for a slot; false when the wait failed (nothing is then held).
    bool Acquire();
    void Release();
    bool IsHeld() const { return mHeld; }
    // Takes over the slot `other` holds (whatever this one held is given back).
    void TakeFrom(StDownloadSlot& other);

private:
    bool mHeld = false;
};
