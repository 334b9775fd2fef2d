#pragma once

#include "MacTypes.h"
#include "ThreadErrors.h"

#include <boost/context/fiber.hpp>

#include <cstddef>
#include <functional>

struct ThreadWait;
class ThreadScheduler;

using ThreadID = UInt64;

enum EThreadState : SInt32 {
    threadState_Ready = 0,      // runnable: the next round resumes it
    threadState_Running = 1,    // running, or waiting for a thread it resumed to give control back
    threadState_Suspended = 2,  // stopped until Resume (created threads start here)
    threadState_Blocked = 3,    // in a sleep, a semaphore wait or a worker job
    threadState_Completed = 4,  // its Run returned (or threw)
};

// Time-outs of waits, in milliseconds.
inline constexpr SInt32 semaphore_WaitForever = -1;
inline constexpr SInt32 semaphore_NoWait = 0;

// A cooperative thread: a fiber with its own stack on the GUI thread. Only one
// thread runs at a time and switches happen only where a thread yields, sleeps,
// waits, suspends itself or ends, so threads share the program's data without
// locks.
//
// Threads run in rounds. A round resumes every ready thread once; each runs
// until it gives control back to the context that resumed it. The main thread
// runs a round whenever it yields (the thread-yield timer, waiting loops). A
// thread that has entered a nested event loop of its own (a modal dialog) is
// "anchored": giving control back there would unwind Qt's loops out of order,
// so its yields, sleeps and waits run rounds in place, as the main thread's do.
//
// A thread is created suspended; Resume makes it ready. When Run returns, the
// thread is deleted by the scheduler unless it was created with
// deleteWhenDone false. Every operation here belongs to the GUI thread.
class LThread {
public:
    // Stacks are reserved, not committed: only the pages a thread touches cost
    // memory. 4 MiB leaves room for image and movie decoders called on a task's
    // own stack (and for the larger frames of sanitizer builds).
    static constexpr std::size_t kDefaultStackSize = 4 * 1024 * 1024;
    static constexpr std::size_t kMinimumStackSize = 64 * 1024;

    explicit LThread(std::size_t stackSize = kDefaultStackSize, bool deleteWhenDone = true);
    virtual ~LThread();

    LThread(const LThread&) = delete;
    LThread& operator=(const LThread&) = delete;

    // Ends the thread and deletes the object. A thread that was started and has
    // not finished has its stack unwound first (ThreadUnwind passes through it,
    // running the destructors of what lives there); it leaves every wait queue,
    // and a semaphore signal granted to it but not yet taken is given back.
    // A thread that is running further down the chain of resumers is deleted as
    // soon as it gives control back; the current thread deleting itself never
    // returns. Harmless on a completed thread that was kept (deleteWhenDone false).
    virtual void DeleteThread();

    // On the current thread: suspends it until another context calls Resume.
    // On a ready thread: takes it out of the rounds. On a thread blocked in a
    // wait: it is suspended when its wait ends.
    virtual void Suspend();
    // Makes a suspended thread ready (it runs at the next round, not now). A
    // suspension pending on a blocked thread is cancelled; otherwise nothing.
    virtual void Resume();
    // Ends the sleep or wait the thread is blocked in: a sleep returns early,
    // a semaphore wait returns errSemaphoreTimedOut. Otherwise nothing.
    virtual void Wake();

    // The current context gives the other threads their turn: a thread goes to
    // the back of the ready threads and returns when a round resumes it; the
    // main thread (or an anchored thread) runs one round. With yieldTo, that
    // thread (when ready) goes first.
    static void Yield(LThread* yieldTo = nullptr);
    // Suspends only the calling context for at least the given time; the main
    // thread runs rounds meanwhile.
    static void Sleep(UInt32 milliseconds);

    // Runs one round from the current context; returns how many threads ran.
    static int RunRound();
    // When the running round began (ClockMilliseconds); a thread that shares the
    // event loop's turn with others measures its time from it.
    static SInt64 RoundStartMilliseconds();
    // True while a thread waits for a round to run it.
    static bool HasReadyThreads();
    // Runs rounds from the current context until `done` answers true (true) or
    // the time-out passes (false); between rounds with no ready thread it waits
    // for the next thread's time-out or worker result without spinning.
    static bool RunUntil(const std::function<bool()>& done, SInt32 milliseconds = semaphore_WaitForever);

    // The running thread; on the main thread the UMainThread object, or null
    // when none was made.
    static LThread* GetCurrentThread();
    // True when the main thread itself (not a cooperative thread) is running.
    static bool InMainThread();
    // The thread with that ID, or null once it has completed or been deleted.
    static LThread* FromID(ThreadID id);
    // Threads that exist and have not completed (the main thread not counted).
    static std::size_t CountThreads();

    EThreadState GetState() const { return mState; }
    bool IsSuspended() const { return mState == threadState_Suspended; }
    bool IsCompleted() const { return mState == threadState_Completed; }
    bool IsCurrent() const;
    ThreadID GetID() const { return mID; }
    std::size_t GetStackSize() const { return mStackSize; }

protected:
    // The thread's work. An exception that escapes it is reported through the
    // error report hook and ends the thread.
    virtual void Run() = 0;

    // True when the thread's deletion may finish later: deleting it while a
    // worker's job that works on its stack does not stop (a call that never
    // returns) then returns after a short while instead of waiting for the job.
    // The object lingers, parked, until the job ends, and is deleted then;
    // DeletionDeferred is called as it is parked, to let go of everything it
    // shares with the rest of the program. False by default: the deletion waits.
    virtual bool MayFinishDeletionLater() const { return false; }
    virtual void DeletionDeferred() {}

    struct MainThreadTag {};
    explicit LThread(MainThreadTag);

private:
    friend class ThreadScheduler;
    friend struct ThreadStackAllocator;

    boost::context::fiber Entry(boost::context::fiber&& back);

    ThreadID mID = 0;
    std::size_t mStackSize = kDefaultStackSize;
    bool mDeleteWhenDone = true;
    bool mIsMain = false;
    EThreadState mState = threadState_Suspended;

    bool mStarted = false;
    bool mOnChain = false;           // resumed and not yet given control back
    bool mRegistered = false;
    bool mSuspendRequested = false;  // suspend when the current wait ends, or instead of being ready
    bool mSuspendedInPlace = false;  // an anchored thread that suspended itself (it runs rounds)
    bool mDeletePending = false;     // delete as soon as it gives control back
    bool mDeleting = false;
    bool mUnwinding = false;
    bool mParked = false;            // deleted, waiting for a job that still works on its stack

    boost::context::fiber mFiber;  // resumes this thread while it is switched out
    boost::context::fiber mBack;   // returns to the resumer while this thread runs
    LThread* mResumer = nullptr;   // null: the main thread
    ThreadWait* mWait = nullptr;   // the wait it is blocked in
    UInt64 mRoundRan = 0;

    // Nesting depths when it was last resumed: deeper means it is anchored.
    int mAnchorLoopLevel = 0;
    int mAnchorDispatchDepth = 0;
    int mAnchorCallbackDepth = 0;

    // The C++ runtime's record of exceptions being handled on this stack
    // (kept per thread by the runtime, so swapped at every switch).
    void* mEhCaught = nullptr;
    unsigned int mEhUncaught = 0;

    // The stack, and the sanitizer's bookkeeping for switches.
    const void* mStackBottom = nullptr;
    std::size_t mStackUsable = 0;
    void* mAsanFakeStack = nullptr;
    const void* mUnwinderBottom = nullptr;
    std::size_t mUnwinderSize = 0;
};

// A thread that runs a function: for work that needs no class of its own.
class LFunctionThread : public LThread {
public:
    explicit LFunctionThread(std::function<void()> body, std::size_t stackSize = kDefaultStackSize,
                             bool deleteWhenDone = true)
        : LThread(stackSize, deleteWhenDone), mBody(std::move(body))
    {
    }

protected:
    void Run() override { mBody(); }

private:
    std::function<void()> mBody;
};

// Marks the current context as inside an event callback (a timer, a Qt slot)
// for its scope: a yield there runs a round in place instead of giving control
// back, because the callback's event dispatch must end on the stack it began on.
class StEventCallback {
public:
    StEventCallback();
    ~StEventCallback();
    StEventCallback(const StEventCallback&) = delete;
    StEventCallback& operator=(const StEventCallback&) = delete;
};
