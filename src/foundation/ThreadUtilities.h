#pragma once

#include "MacTypes.h"

#include <cstddef>
#include <functional>
#include <memory>

class LSemaphore;
class StCommandsHeld;

// Event-loop timer intervals, in seconds.
using EventTimerInterval = double;

// The thread-yield timer may yield. Cleared while a menu is tracked and for the
// duration of an index-view drag.
extern Boolean gAllowTimerYield;
// Tick count of the last look for the user's cancel keys.
extern UInt32 gLastCancelCheckTicks;

// The current thread lets the other ready task threads run.
void YieldToOtherThreads();

// A repeating event-loop timer, first firing at once, that has
// ThreadYieldTimerProc run at the event loop's next turn (never twice in one
// turn); start-up installs it with 0.04 s. Installing again replaces it.
void InstallThreadYieldTimer(EventTimerInterval interval);
void RemoveThreadYieldTimer();
// Yields to the task threads when gAllowTimerYield is set and the mouse button
// is up or the program is in the background.
void ThreadYieldTimerProc();

// The program is the active application.
Boolean IsFrontProcess();

// Freed small blocks are merged as they are freed, not all at once at a later
// large request: a million freed by a sort's threads would otherwise hold the
// window for a tenth of a second wherever the next large block is asked for.
// Called once at start-up.
void MergeFreedBlocksAtOnce();
// After work on as many objects as an index has items (a read, a sort, a batch):
// the room the C library keeps between what is still held is given back to the
// system, on a worker (tens of milliseconds at a million items).
void GiveFreedMemoryBack();
// For its scope, each thread's heap gives back its free end beyond a megabyte as
// blocks are freed: the keys of a million items' sort, made and freed on eight
// threads, would otherwise stay resident there (a tenth of a gigabyte that
// malloc_trim does not reach). Only for a scope: a heap that gives back so soon
// maps fresh pages again for the window's next large blocks.
class StHeapsTrimmedAsFreed {
public:
    StHeapsTrimmedAsFreed();
    ~StHeapsTrimmedAsFreed();
    StHeapsTrimmedAsFreed(const StHeapsTrimmedAsFreed&) = delete;
    StHeapsTrimmedAsFreed& operator=(const StHeapsTrimmedAsFreed&) = delete;
};

// A one-shot timer that asks the application to quit after `delay`.
void InstallDeferredQuitTimer(EventTimerInterval delay);
// How the application quits (the application object installs its own; by
// default the event loop is asked to end).
void SetDeferredQuitHandler(std::function<void()> handler);

// At most once every 31 ticks, looks through the waiting events for the cancel
// keys (Escape, or Ctrl+period) and throws kMsgUserCancelled when one is there.
void CheckUserCancel();
// The look itself: delivers the waiting events and answers true when a cancel key
// was among them or came since the last look while the program was busy. Other
// input reaches its widgets in order; the cancel keys a look finds go no further.
Boolean CheckEventQueueForUserCancel();

// Long work of the GUI thread on data it holds still (a sort of a large index)
// keeps the window live: between steps, and while other threads do the work,
// the window repaints and its timers and other events run. The tasks wait until
// the work is done, so that nothing changes what the work reads meanwhile. The
// user's input waits too, or, with Input::Taken, reaches the windows at once
// while the commands that could change what the work reads wait
// (LCommander::StCommandsHeld); `afterEvents` then runs after every handling of
// events, and may throw to abandon the work.
class StWindowLive {
public:
    enum class Input { Waits, Taken };
    explicit StWindowLive(Input input = Input::Waits, std::function<void()> afterEvents = {});
    ~StWindowLive();
    StWindowLive(const StWindowLive&) = delete;
    StWindowLive& operator=(const StWindowLive&) = delete;

    // Handles the waiting events once this long has passed since they last were.
    void HandleEventsIfDue();
    // Runs job(0) .. job(count - 1) on threads of their own, each index on one,
    // handling events until all have run. The exception of the lowest failing
    // index is rethrown once all are done.
    void RunOnThreads(std::size_t count, const std::function<void(std::size_t)>& job);

    // How often the events are handled.
    static constexpr SInt64 kEventsMilliseconds = 15;

private:
    void HandleEvents();
    int EventFlags() const;

    Boolean mAllowedYield;
    SInt64 mLastEvents;
    Input mInput;
    std::function<void()> mAfterEvents;
    std::unique_ptr<StCommandsHeld> mCommandsHeld;
};

// Holds a semaphore for a scope. The constructor waits up to `milliseconds`
// (semaphore_WaitForever by default); an endless wait that is woken early
// waits again, any other failure is thrown as its code. The destructor signals.
class StSemaphoreLock {
public:
    explicit StSemaphoreLock(LSemaphore& semaphore, SInt32 milliseconds = -1);
    ~StSemaphoreLock();
    StSemaphoreLock(const StSemaphoreLock&) = delete;
    StSemaphoreLock& operator=(const StSemaphoreLock&) = delete;

private:
    LSemaphore& mSemaphore;
};
