#include "LThread.h"

#include "ErrorHook.h"
#include "ExceptionCode.h"
#include "LMutexSemaphore.h"
#include "StackPool.h"
#include "TickCount.h"
#include "ThreadScheduler.h"
#include "UMainThread.h"
#include "WorkerPool.h"

#include <glib.h>

#include <QCoreApplication>
#include <QThread>

#include <cxxabi.h>

#include <algorithm>
#include <thread>
#include <utility>
#include <unordered_map>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

// Scheduler state; touched only on the GUI thread.
struct SchedulerState {
    std::thread::id owner = std::this_thread::get_id();
    LThread* current = nullptr;  // null: the main thread
    UMainThread* mainObject = nullptr;
    std::deque<LThread*> ready;
    std::vector<ThreadWait*> timedWaits;  // waits of switched-out threads with a deadline
    std::vector<ThreadWait*> mainWaits;   // waits of the main thread, innermost last
    std::vector<LThread*> parked;         // deleted threads whose stacks a job still uses
    std::unordered_map<ThreadID, LThread*> threads;
    ThreadID nextID = 1;
    UInt64 round = 0;
    SInt64 roundStart = 0;  // ClockMilliseconds when the running round began
    int callbackDepth = 0;  // StEventCallback nesting
    char mainKey = 0;       // identity of the main thread for mutex owners
};

SchedulerState& State()
{
    static SchedulerState state;
    return state;
}

int LoopLevel()
{
    return QThread::currentThread()->loopLevel();
}

int DispatchDepth()
{
    return g_main_depth();
}

// Idle waits between rounds are cut to this so that events that some other
// part of the program turns into signals are still looked at.
constexpr auto kIdleSlice = std::chrono::milliseconds(10);

// --- Exceptions being handled, per stack ---------------------------------------
// The C++ runtime keeps one list of caught exceptions (and a count of thrown,
// not yet caught ones) per OS thread, and expects catch blocks to end in the
// reverse order they began. A thread may yield inside a catch block while
// another one throws and catches, so every switch saves the leaving stack's
// record and installs the arriving one's.

// The runtime's per-thread record (libstdc++ and libc++abi share this start).
struct EhGlobals {
    void* caughtExceptions;
    unsigned int uncaughtExceptions;
};

void* gMainEhCaught = nullptr;
unsigned int gMainEhUncaught = 0;

EhGlobals* RuntimeEh()
{
    return reinterpret_cast<EhGlobals*>(abi::__cxa_get_globals());
}

// --- Stack-switch annotations for AddressSanitizer builds -------------------

struct StackBounds {
    const void* bottom = nullptr;
    std::size_t size = 0;
};

#if defined(__SANITIZE_ADDRESS__)
StackBounds gMainStack;
void* gMainFakeStack = nullptr;

void AsanStartSwitch(void** fakeSave, StackBounds to)
{
    __sanitizer_start_switch_fiber(fakeSave, to.bottom, to.size);
}

void AsanFinishSwitch(void* fakeSave, bool fromMain)
{
    const void* bottom = nullptr;
    std::size_t size = 0;
    __sanitizer_finish_switch_fiber(fakeSave, &bottom, &size);
    if (fromMain && bottom)
        gMainStack = {bottom, size};
}
#endif

} // namespace

// The allocator handed to the fiber: a pooled stack, whose bounds the thread keeps.
struct ThreadStackAllocator {
    LThread* thread;

    boost::context::stack_context allocate()
    {
        auto stack = StackPool::Allocate(thread->mStackSize);
        thread->mStackBottom = static_cast<char*>(stack.sp) - stack.size;
        thread->mStackUsable = stack.size;
        return stack;
    }
    void deallocate(boost::context::stack_context& stack) noexcept { StackPool::Deallocate(stack); }
};

// --- LThread ------------------------------------------------------------------

LThread::LThread(std::size_t stackSize, bool deleteWhenDone)
    : mStackSize(std::max(stackSize, kMinimumStackSize)), mDeleteWhenDone(deleteWhenDone)
{
    ThreadScheduler::CheckOnOwningThread();
    ThreadScheduler::Register(this);
}

LThread::LThread(MainThreadTag) : mIsMain(true), mState(threadState_Running)
{
    ThreadScheduler::CheckOnOwningThread();
}

LThread::~LThread()
{
    if (mIsMain)
        return;
    auto& state = State();
    // Deleted directly rather than through DeleteThread: still take it out of
    // everything, and unwind a started stack so its destructors run (the
    // derived parts are gone by now, which is why DeleteThread is the way).
    if (mOnChain)
        qFatal("Orvex: a running thread was destroyed");
    if (mRegistered && mStarted && mFiber && !mDeleting) {
        mDeleting = true;
        ThreadScheduler::Destroy(this, false);
    }
    ThreadScheduler::RemoveFromReady(this);
    if (mWait && !mWait->done && mWait->queue)
        mWait->queue->RemoveWait(mWait);
    std::erase(state.timedWaits, mWait);
    ThreadScheduler::Unregister(this);
}

bool LThread::IsCurrent() const
{
    return mIsMain ? ThreadScheduler::Current() == nullptr : ThreadScheduler::Current() == this;
}

boost::context::fiber LThread::Entry(boost::context::fiber&& back)
{
    mBack = std::move(back);
#if defined(__SANITIZE_ADDRESS__)
    AsanFinishSwitch(nullptr, mResumer == nullptr);
#endif
    try {
        Run();
    } catch (const ThreadUnwind&) {
#if defined(__SANITIZE_ADDRESS__)
        __sanitizer_start_switch_fiber(nullptr, mUnwinderBottom, mUnwinderSize);
#endif
        throw;
    } catch (...) {
        // The thread's own failure goes to the report with its reason; a failing
        // report must not escape the thread's entry.
        const ExceptionCode error = CurrentExceptionCode();
        CatchCode([&] { ReportErrorThroughHook(error); });
    }
    mState = threadState_Completed;
    ThreadScheduler::LoadExceptionState(mResumer);
#if defined(__SANITIZE_ADDRESS__)
    StackBounds to = mResumer ? StackBounds{mResumer->mStackBottom, mResumer->mStackUsable} : gMainStack;
    __sanitizer_start_switch_fiber(nullptr, to.bottom, to.size);
#endif
    return std::move(mBack);
}

void LThread::DeleteThread()
{
    ThreadScheduler::CheckOnOwningThread();
    if (mDeleting)
        return;
    if (mState == threadState_Completed || !mStarted) {
        mDeleting = true;
        delete this;
        return;
    }
    if (IsCurrent()) {
        // Give control back; the resumer unwinds the stack from there.
        if (ThreadScheduler::IsAnchored(this))
            ThrowOSErr_(err_AssertFailed, "a thread inside its own event loop cannot delete itself");
        mDeletePending = true;
        mState = threadState_Suspended;
        ThreadScheduler::SwitchOut(this);
        qFatal("Orvex: a deleted thread was resumed");
    }
    if (mOnChain) {
        // Further down the chain of resumers: its stack is live below ours.
        mDeletePending = true;
        return;
    }
    mDeleting = true;
    if (ThreadScheduler::Destroy(this, MayFinishDeletionLater()))
        delete this;
}

void LThread::Suspend()
{
    ThreadScheduler::CheckOnOwningThread();
    if (mState == threadState_Completed || mDeleting)
        return;
    if (IsCurrent()) {
        if (ThreadScheduler::IsAnchored(this)) {
            // It cannot give control back; it runs rounds until resumed.
            mSuspendedInPlace = true;
            mState = threadState_Suspended;
            LThread::RunUntil([this] { return !mSuspendedInPlace; });
            mState = threadState_Running;
            return;
        }
        mState = threadState_Suspended;
        ThreadScheduler::SwitchOut(this);
        return;
    }
    switch (mState) {
    case threadState_Ready:
        ThreadScheduler::RemoveFromReady(this);
        mState = threadState_Suspended;
        break;
    case threadState_Blocked:
    case threadState_Running:
        mSuspendRequested = true;
        break;
    default:
        break;
    }
}

void LThread::Resume()
{
    ThreadScheduler::CheckOnOwningThread();
    if (mSuspendedInPlace) {
        mSuspendedInPlace = false;
        return;
    }
    if (mState == threadState_Suspended && !mDeleting && !mDeletePending) {
        mState = threadState_Ready;
        State().ready.push_back(this);
        return;
    }
    mSuspendRequested = false;
}

void LThread::Wake()
{
    ThreadScheduler::CheckOnOwningThread();
    if (mIsMain) {
        auto& waits = State().mainWaits;
        if (!waits.empty())
            ThreadScheduler::Complete(*waits.back(), waits.back()->timeoutResult);
        return;
    }
    if (mWait && !mWait->done)
        ThreadScheduler::Complete(*mWait, mWait->timeoutResult);
}

void LThread::Yield(LThread* yieldTo)
{
    ThreadScheduler::CheckOnOwningThread();
    auto& state = State();
    LThread* self = state.current;
    if (self && self->mUnwinding)
        return;
    if (yieldTo && yieldTo != self && yieldTo->mState == threadState_Ready) {
        ThreadScheduler::RemoveFromReady(yieldTo);
        yieldTo->mState = threadState_Ready;
        state.ready.push_front(yieldTo);
    }
    if (ThreadScheduler::CurrentRunsRounds()) {
        RunRound();
        return;
    }
    if (self->mSuspendRequested) {
        self->mSuspendRequested = false;
        self->mState = threadState_Suspended;
    } else {
        self->mState = threadState_Ready;
        state.ready.push_back(self);
    }
    ThreadScheduler::SwitchOut(self);
}

void LThread::Sleep(UInt32 milliseconds)
{
    ThreadScheduler::CheckOnOwningThread();
    ThreadWait wait;
    wait.thread = ThreadScheduler::Current();
    wait.timeoutResult = noErr;
    wait.deadline = ThreadClock::now() + std::chrono::milliseconds(milliseconds);
    ThreadScheduler::Block(wait);
}

int LThread::RunRound()
{
    ThreadScheduler::CheckOnOwningThread();
    auto& state = State();
    WorkerPool::DeliverResults();
    ThreadScheduler::FinishParked();
    ThreadScheduler::WakeDueWaits();
    UInt64 round = ++state.round;
    // A round run inside a thread of an outer round has its own start; the outer
    // round's threads measure from theirs again afterwards.
    const SInt64 outerStart = std::exchange(state.roundStart, ClockMilliseconds());
    int ran = 0;
    while (!state.ready.empty()) {
        LThread* thread = state.ready.front();
        if (thread->mRoundRan == round)
            break;
        state.ready.pop_front();
        thread->mRoundRan = round;
        ThreadScheduler::SwitchTo(thread);
        ThreadScheduler::AfterSwitchBack(thread);
        ++ran;
    }
    state.roundStart = outerStart;
    return ran;
}

SInt64 LThread::RoundStartMilliseconds()
{
    return State().roundStart;
}

bool LThread::HasReadyThreads()
{
    return !State().ready.empty();
}

bool LThread::RunUntil(const std::function<bool()>& done, SInt32 milliseconds)
{
    ThreadScheduler::CheckOnOwningThread();
    std::optional<ThreadClock::time_point> deadline;
    if (milliseconds >= 0)
        deadline = ThreadClock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (deadline && ThreadClock::now() >= *deadline)
            return false;
        if (RunRound() == 0 && !done())
            ThreadScheduler::IdleUntil(deadline);
    }
    return true;
}

LThread* LThread::GetCurrentThread()
{
    auto& state = State();
    return state.current ? state.current : state.mainObject;
}

bool LThread::InMainThread()
{
    return State().current == nullptr;
}

LThread* LThread::FromID(ThreadID id)
{
    auto& threads = State().threads;
    auto found = threads.find(id);
    return found == threads.end() ? nullptr : found->second;
}

std::size_t LThread::CountThreads()
{
    return State().threads.size();
}

// --- StEventCallback -------------------------------------------------------------

StEventCallback::StEventCallback()
{
    ++State().callbackDepth;
}

StEventCallback::~StEventCallback()
{
    --State().callbackDepth;
}

// --- UMainThread -------------------------------------------------------------------

UMainThread::UMainThread() : LThread(MainThreadTag{})
{
    auto& state = State();
    if (state.mainObject)
        ThrowOSErr_(err_AssertFailed, "a second UMainThread");
    state.mainObject = this;
}

UMainThread::~UMainThread()
{
    if (State().mainObject == this)
        State().mainObject = nullptr;
}

UMainThread* UMainThread::Get()
{
    return State().mainObject;
}

void UMainThread::DeleteThread()
{
    ThrowOSErr_(err_AssertFailed, "the main thread cannot be deleted");
}

void UMainThread::Suspend()
{
    ThrowOSErr_(err_AssertFailed, "the main thread cannot be suspended");
}

void UMainThread::Resume()
{
    ThrowOSErr_(err_AssertFailed, "the main thread cannot be resumed");
}

// --- ThreadScheduler -------------------------------------------------------------

void ThreadScheduler::SaveExceptionState(LThread* context)
{
    EhGlobals* globals = RuntimeEh();
    (context ? context->mEhCaught : gMainEhCaught) = globals->caughtExceptions;
    (context ? context->mEhUncaught : gMainEhUncaught) = globals->uncaughtExceptions;
}

void ThreadScheduler::LoadExceptionState(LThread* context)
{
    EhGlobals* globals = RuntimeEh();
    globals->caughtExceptions = context ? context->mEhCaught : gMainEhCaught;
    globals->uncaughtExceptions = context ? context->mEhUncaught : gMainEhUncaught;
}

LThread* ThreadScheduler::Current()
{
    return State().current;
}

const void* ThreadScheduler::CurrentKey()
{
    auto& state = State();
    return state.current ? static_cast<const void*>(state.current) : &state.mainKey;
}

const void* ThreadScheduler::KeyOf(const ThreadWait& wait)
{
    return wait.thread ? static_cast<const void*>(wait.thread) : &State().mainKey;
}

bool ThreadScheduler::CurrentRunsRounds()
{
    LThread* self = State().current;
    return self == nullptr || IsAnchored(self);
}

bool ThreadScheduler::CurrentIsUnwinding()
{
    LThread* self = State().current;
    return self && self->mUnwinding;
}

void ThreadScheduler::CheckOnOwningThread()
{
    if (!IsOnOwningThread())
        ThrowOSErr_(err_AssertFailed, "cooperative threads are used off the GUI thread");
}

bool ThreadScheduler::IsOnOwningThread()
{
    return std::this_thread::get_id() == State().owner;
}

bool ThreadScheduler::IsAnchored(const LThread* thread)
{
    // Deeper in Qt's loops, glib's dispatches or our own callbacks than when it
    // was resumed: those frames must end before it may give control back.
    return LoopLevel() > thread->mAnchorLoopLevel || DispatchDepth() > thread->mAnchorDispatchDepth ||
           State().callbackDepth > thread->mAnchorCallbackDepth;
}

void ThreadScheduler::Register(LThread* thread)
{
    auto& state = State();
    thread->mID = state.nextID++;
    thread->mRegistered = true;
    state.threads.emplace(thread->mID, thread);
}

void ThreadScheduler::Unregister(LThread* thread)
{
    if (!thread->mRegistered)
        return;
    thread->mRegistered = false;
    State().threads.erase(thread->mID);
}

void ThreadScheduler::RemoveFromReady(LThread* thread)
{
    auto& ready = State().ready;
    auto found = std::find(ready.begin(), ready.end(), thread);
    if (found != ready.end())
        ready.erase(found);
}

void ThreadScheduler::MakeRunnable(LThread* thread)
{
    if (thread->mSuspendRequested) {
        thread->mSuspendRequested = false;
        thread->mState = threadState_Suspended;
        return;
    }
    thread->mState = threadState_Ready;
    State().ready.push_back(thread);
}

void ThreadScheduler::SwitchTo(LThread* thread)
{
    auto& state = State();
    if (thread->mState != threadState_Ready)
        qFatal("Orvex: a thread that is not ready was resumed");
    LThread* previous = state.current;
    thread->mResumer = previous;
    thread->mState = threadState_Running;
    thread->mAnchorLoopLevel = LoopLevel();
    thread->mAnchorDispatchDepth = DispatchDepth();
    thread->mAnchorCallbackDepth = state.callbackDepth;
    state.current = thread;
    thread->mOnChain = true;
    if (!thread->mStarted) {
        thread->mStarted = true;
        thread->mFiber = boost::context::fiber(
            std::allocator_arg, ThreadStackAllocator{thread},
            [thread](boost::context::fiber&& back) { return thread->Entry(std::move(back)); });
    }
#if defined(__SANITIZE_ADDRESS__)
    void** slot = previous ? &previous->mAsanFakeStack : &gMainFakeStack;
    AsanStartSwitch(slot, {thread->mStackBottom, thread->mStackUsable});
#endif
    SaveExceptionState(previous);
    LoadExceptionState(thread);
    thread->mFiber = std::move(thread->mFiber).resume();
#if defined(__SANITIZE_ADDRESS__)
    AsanFinishSwitch(*slot, false);
#endif
    state.current = previous;
    thread->mOnChain = false;
}

void ThreadScheduler::SwitchOut(LThread* self)
{
    // The arriving side finds its own record installed by whoever switches back.
    SaveExceptionState(self);
    LoadExceptionState(self->mResumer);
#if defined(__SANITIZE_ADDRESS__)
    StackBounds to = self->mResumer ? StackBounds{self->mResumer->mStackBottom, self->mResumer->mStackUsable}
                                    : gMainStack;
    AsanStartSwitch(&self->mAsanFakeStack, to);
    try {
        self->mBack = std::move(self->mBack).resume();
    } catch (const ThreadUnwind&) {
        AsanFinishSwitch(self->mAsanFakeStack, false);
        throw;
    }
    AsanFinishSwitch(self->mAsanFakeStack, self->mResumer == nullptr);
#else
    self->mBack = std::move(self->mBack).resume();
#endif
}

void ThreadScheduler::AfterSwitchBack(LThread* thread)
{
    if (thread->mState == threadState_Completed) {
        FinishCompleted(thread);
        return;
    }
    if (thread->mDeletePending && !thread->mDeleting) {
        thread->mDeleting = true;
        if (Destroy(thread, thread->MayFinishDeletionLater()))
            delete thread;
    }
}

void ThreadScheduler::FinishCompleted(LThread* thread)
{
    LMutexSemaphore::ReleaseAllHeldBy(thread);
    Unregister(thread);
    if (thread->mDeleteWhenDone || thread->mDeletePending) {
        thread->mDeleting = true;
        delete thread;
    }
}

bool ThreadScheduler::Destroy(LThread* thread, bool mayDefer)
{
    auto& state = State();
    RemoveFromReady(thread);
    if (ThreadWait* wait = thread->mWait) {
        std::erase(state.timedWaits, wait);
        if (!wait->done && wait->queue) {
            if (!wait->queue->ReleaseForDeletion(wait, mayDefer)) {
                // A job still works on its stack: the stack (and the object) stay,
                // out of every round, until FinishParked finds the job ended.
                thread->mParked = true;
                thread->mState = threadState_Blocked;
                RemoveFromReady(thread);
                Unregister(thread);
                state.parked.push_back(thread);
                thread->DeletionDeferred();
                return false;
            }
        } else if (wait->done && wait->grantedBy) {
            WaitQueue* grantor = wait->grantedBy;
            grantor->ForgetGrant(wait);
            grantor->ReturnGrant(wait);
        }
        wait->queue = nullptr;
    }
    thread->mState = threadState_Blocked;
    if (thread->mFiber) {
        // Unwind its stack: the fiber is resumed once with an exception that
        // runs every destructor on it and ends at its entry.
        LThread* previous = state.current;
        thread->mUnwinding = true;
        state.current = thread;
#if defined(__SANITIZE_ADDRESS__)
        StackBounds here = previous ? StackBounds{previous->mStackBottom, previous->mStackUsable} : gMainStack;
        thread->mUnwinderBottom = here.bottom;
        thread->mUnwinderSize = here.size;
        void** slot = previous ? &previous->mAsanFakeStack : &gMainFakeStack;
        AsanStartSwitch(slot, {thread->mStackBottom, thread->mStackUsable});
#endif
        SaveExceptionState(previous);
        LoadExceptionState(thread);
        {
            boost::context::fiber doomed = std::move(thread->mFiber);
        }
        LoadExceptionState(previous);
#if defined(__SANITIZE_ADDRESS__)
        AsanFinishSwitch(*slot, false);
#endif
        state.current = previous;
        thread->mUnwinding = false;
    }
    thread->mWait = nullptr;
    thread->mState = threadState_Completed;
    LMutexSemaphore::ReleaseAllHeldBy(thread);
    Unregister(thread);
    return true;
}

void ThreadScheduler::FinishParked()
{
    auto& parked = State().parked;
    if (parked.empty())
        return;
    for (LThread* thread : std::vector<LThread*>(parked)) {
        ThreadWait* wait = thread->mWait;
        if (wait && wait->queue && !wait->queue->StackReleased())
            continue;
        // Taken off the list first: the unwinding may run rounds of its own.
        std::erase(parked, thread);
        if (wait)
            wait->queue = nullptr;
        thread->mParked = false;
        Destroy(thread, false);
        delete thread;
    }
}

OSStatus ThreadScheduler::Block(ThreadWait& wait)
{
    auto& state = State();
    LThread* self = state.current;
    if (self && self->mUnwinding) {
        // A destructor on a stack being unwound cannot give control away.
        if (wait.queue)
            wait.queue->RemoveWait(&wait);
        return wait.timeoutResult == noErr ? OSStatus(noErr) : OSStatus(errSemaphoreDestroyed);
    }
    if (wait.done) {
        if (wait.grantedBy)
            wait.grantedBy->ForgetGrant(&wait);
        return wait.result;
    }
    if (self && !IsAnchored(self)) {
        if (wait.deadline)
            state.timedWaits.push_back(&wait);
        self->mWait = &wait;
        self->mState = threadState_Blocked;
        SwitchOut(self);
        self->mWait = nullptr;
        if (wait.grantedBy)
            wait.grantedBy->ForgetGrant(&wait);
        return wait.result;
    }
    // The main thread or an anchored thread: run rounds until the wait ends.
    if (self)
        self->mWait = &wait;
    else
        state.mainWaits.push_back(&wait);
    while (!wait.done) {
        if (wait.deadline && ThreadClock::now() >= *wait.deadline) {
            Complete(wait, wait.timeoutResult);
            break;
        }
        if (LThread::RunRound() == 0 && !wait.done)
            IdleUntil(wait.deadline);
    }
    if (self)
        self->mWait = nullptr;
    else
        std::erase(state.mainWaits, &wait);
    if (wait.grantedBy)
        wait.grantedBy->ForgetGrant(&wait);
    return wait.result;
}

void ThreadScheduler::Complete(ThreadWait& wait, OSStatus result)
{
    if (wait.done)
        return;
    if (wait.queue) {
        wait.queue->RemoveWait(&wait);
        wait.queue = nullptr;
    }
    std::erase(State().timedWaits, &wait);
    wait.done = true;
    wait.result = result;
    LThread* thread = wait.thread;
    if (thread && thread->mWait == &wait && thread->mState == threadState_Blocked && !thread->mDeleting)
        MakeRunnable(thread);
}

void ThreadScheduler::Grant(ThreadWait& wait, WaitQueue* grantor)
{
    if (wait.done)
        return;
    Complete(wait, noErr);
    grantor->NoteGrant(&wait);
}

void ThreadScheduler::WakeDueWaits()
{
    auto& timed = State().timedWaits;
    if (timed.empty())
        return;
    auto now = ThreadClock::now();
    std::vector<ThreadWait*> due;
    for (ThreadWait* wait : timed)
        if (*wait->deadline <= now)
            due.push_back(wait);
    for (ThreadWait* wait : due)
        Complete(*wait, wait->timeoutResult);
}

void ThreadScheduler::IdleUntil(std::optional<ThreadClock::time_point> limit)
{
    auto& state = State();
    auto now = ThreadClock::now();
    auto until = now + kIdleSlice;
    bool timedWork = false;
    for (ThreadWait* wait : state.timedWaits) {
        until = std::min(until, *wait->deadline);
        timedWork = true;
    }
    if (limit)
        until = std::min(until, *limit);
    if (!timedWork && state.ready.empty() && WorkerPool::JobsInFlight() == 0 && QCoreApplication::instance()) {
        // Nothing in the thread layer can end the wait: let timers and I/O run
        // (but not the user's input, which would re-enter the program's commands).
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    WorkerPool::WaitForResults(until);
}
