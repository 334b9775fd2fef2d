#include "WorkerPool.h"

#include "ExceptionCode.h"
#include "ThreadScheduler.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class WorkerJob;
thread_local WorkerJob* tCurrentJob = nullptr;

std::function<void()>& ResultsReadyHandler()
{
    static std::function<void()> handler;
    return handler;
}
// Set while the program ends: running jobs are asked to stop so the pool can join them.
std::atomic<bool> gPoolStopping{false};

// One queued call at a time is enough: it delivers every result there is.
std::atomic<bool> gResultsCallQueued{false};

void AnnounceResults()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || gResultsCallQueued.exchange(true))
        return;
    QMetaObject::invokeMethod(
        app,
        [] {
            gResultsCallQueued = false;
            if (ResultsReadyHandler())
                ResultsReadyHandler()();
        },
        Qt::QueuedConnection);
}

// One job; shared between the waiting context (GUI thread) and the worker.
class WorkerJob : public WaitQueue, public std::enable_shared_from_this<WorkerJob> {
public:
    enum class Phase { Queued, Running, Finished };

    explicit WorkerJob(std::function<void()> body) : mBody(std::move(body)) {}

    void Execute()
    {
        tCurrentJob = this;
        try {
            mBody();
        } catch (...) {
            mError = std::current_exception();
        }
        tCurrentJob = nullptr;
    }

    void RemoveWait(ThreadWait* wait) override
    {
        if (mWait == wait)
            mWait = nullptr;
    }
    bool ReleaseForDeletion(ThreadWait* wait, bool mayDefer) override;
    bool StackReleased() override;

    std::function<void()> mBody;
    std::exception_ptr mError;
    std::atomic<bool> mCancel{false};
    Phase mPhase = Phase::Queued;  // guarded by the pool's mutex
    ThreadWait* mWait = nullptr;   // GUI thread only
};

class Pool {
public:
    // Stops the workers, giving running jobs `grace` to end; true when all did. A
    // job stuck in a library call never holds the program's end: its worker is left
    // to the process's exit (and the pool with it, as the worker still uses it).
    bool Stop(std::chrono::milliseconds grace)
    {
        gPoolStopping = true;
        std::unique_lock lock(mMutex);
        mStopping = true;
        mQueue.clear();
        mWork.notify_all();
        return mDone.wait_for(lock, grace, [this] { return mLiveWorkers == 0; });
    }

    unsigned Size() const { return std::max(2u, std::thread::hardware_concurrency()); }

    void Submit(const std::shared_ptr<WorkerJob>& job)
    {
        if (!TrySubmit(job))
            ThrowOSErr_(userCanceledErr, "the program is ending: no more work is taken");
    }
    // False once the program is ending.
    bool TrySubmit(const std::shared_ptr<WorkerJob>& job)
    {
        {
            std::lock_guard lock(mMutex);
            if (mStopping)
                return false;
            if (!mStarted) {
                mStarted = true;
                for (unsigned i = 0; i < Size(); ++i) {
                    ++mLiveWorkers;
                    std::thread([this] { WorkerLoop(); }).detach();
                }
            }
            mQueue.push_back(job);
            ++mInFlight;
        }
        mWork.notify_one();
        return true;
    }

    // Drops a queued job; answers false when it is already running or done.
    bool Withdraw(const std::shared_ptr<WorkerJob>& job)
    {
        std::lock_guard lock(mMutex);
        if (job->mPhase != WorkerJob::Phase::Queued)
            return false;
        mQueue.erase(std::remove(mQueue.begin(), mQueue.end(), job), mQueue.end());
        job->mPhase = WorkerJob::Phase::Finished;
        --mInFlight;
        return true;
    }

    bool IsFinished(const WorkerJob* job)
    {
        std::lock_guard lock(mMutex);
        return job->mPhase == WorkerJob::Phase::Finished;
    }

    std::vector<std::shared_ptr<WorkerJob>> TakeFinished()
    {
        std::lock_guard lock(mMutex);
        return std::exchange(mFinished, {});
    }

    void Post(std::function<void()> call)
    {
        {
            std::lock_guard lock(mMutex);
            mPosted.push_back(std::move(call));
        }
        mDone.notify_all();
        AnnounceResults();
    }

    std::vector<std::function<void()>> TakePosted()
    {
        std::lock_guard lock(mMutex);
        return std::exchange(mPosted, {});
    }

    std::size_t InFlight()
    {
        std::lock_guard lock(mMutex);
        return mInFlight;
    }

    void WaitForResults(std::chrono::steady_clock::time_point until)
    {
        std::unique_lock lock(mMutex);
        mDone.wait_until(lock, until, [this] { return !mFinished.empty() || !mPosted.empty(); });
    }

private:
    void WorkerLoop()
    {
        for (;;) {
            std::shared_ptr<WorkerJob> job;
            {
                std::unique_lock lock(mMutex);
                mWork.wait(lock, [this] { return mStopping || !mQueue.empty(); });
                if (mStopping) {
                    --mLiveWorkers;
                    mDone.notify_all();
                    return;
                }
                job = std::move(mQueue.front());
                mQueue.pop_front();
                job->mPhase = WorkerJob::Phase::Running;
            }
            job->Execute();
            {
                std::lock_guard lock(mMutex);
                job->mPhase = WorkerJob::Phase::Finished;
                --mInFlight;
                mFinished.push_back(std::move(job));
            }
            mDone.notify_all();
            AnnounceResults();
        }
    }

    std::mutex mMutex;
    std::condition_variable mWork;
    std::condition_variable mDone;
    std::deque<std::shared_ptr<WorkerJob>> mQueue;
    std::vector<std::shared_ptr<WorkerJob>> mFinished;
    std::vector<std::function<void()>> mPosted;
    std::size_t mInFlight = 0;
    std::size_t mLiveWorkers = 0;
    bool mStarted = false;
    bool mStopping = false;
};

constexpr std::chrono::seconds kStopGrace { 2 };
// How long deleting a thread waits for its running job before leaving the rest of
// the deletion to a later round (where the thread allows it).
constexpr std::chrono::milliseconds kReleaseGrace { 1000 };

// The pool is deleted at exit only once its workers are gone.
struct PoolOwner {
    Pool* pool = new Pool;
    ~PoolOwner()
    {
        if (pool->Stop(kStopGrace))
            delete pool;
    }
};

PoolOwner& TheOwner()
{
    static PoolOwner owner;
    return owner;
}

Pool& ThePool()
{
    return *TheOwner().pool;
}

// The lanes of one RunEach. The waiting context waits on the batch as a whole,
// so that deleting it stops every lane, not only the one it happened to wait on.
class WorkerBatch : public WaitQueue {
public:
    void RemoveWait(ThreadWait* wait) override
    {
        for (auto& lane : mLanes)
            lane->RemoveWait(wait);
    }
    bool ReleaseForDeletion(ThreadWait* wait, bool mayDefer) override
    {
        for (auto& lane : mLanes)
            lane->mCancel = true;
        bool released = true;
        for (auto& lane : mLanes)
            released = lane->ReleaseForDeletion(wait, mayDefer) && released;
        return released;
    }
    bool StackReleased() override
    {
        return std::all_of(mLanes.begin(), mLanes.end(), [](auto& lane) { return lane->StackReleased(); });
    }

    std::vector<std::shared_ptr<WorkerJob>> mLanes;
};

bool WorkerJob::ReleaseForDeletion(ThreadWait* wait, bool mayDefer)
{
    RemoveWait(wait);
    mCancel = true;
    auto& pool = ThePool();
    std::shared_ptr<WorkerJob> self = shared_from_this();
    if (pool.Withdraw(self))
        return true;
    // Running: it works on the dying thread's stack, so wait it out; where the
    // thread may go later, only for a moment: a job stuck in a call that does
    // not return must not hold the event loop.
    return LThread::RunUntil([&] { return pool.IsFinished(self.get()); },
        mayDefer ? SInt32(kReleaseGrace.count()) : semaphore_WaitForever);
}

bool WorkerJob::StackReleased()
{
    return ThePool().IsFinished(this);
}

} // namespace

bool WorkerPool::CancelRequested()
{
    return tCurrentJob && (tCurrentJob->mCancel.load() || gPoolStopping.load());
}

void WorkerPool::SetResultsReadyHandler(std::function<void()> handler)
{
    ThreadScheduler::CheckOnOwningThread();
    ResultsReadyHandler() = std::move(handler);
}

bool WorkerPool::StopWorkers(std::chrono::milliseconds grace)
{
    return ThePool().Stop(grace);
}

unsigned WorkerPool::ThreadCount()
{
    return ThePool().Size();
}

void WorkerPool::RunJob(std::function<void()> body)
{
    // A job's own sub-job, or a call from another OS thread, runs inline.
    bool onGuiThread = tCurrentJob == nullptr && ThreadScheduler::IsOnOwningThread();
    if (!onGuiThread || ThreadScheduler::CurrentIsUnwinding()) {
        body();
        return;
    }
    auto& pool = ThePool();
    auto job = std::make_shared<WorkerJob>(std::move(body));
    pool.Submit(job);
    // A wake ends the wait early, but the job works on this stack: wait again.
    do {
        ThreadWait wait;
        wait.thread = ThreadScheduler::Current();
        wait.queue = job.get();
        job->mWait = &wait;
        ThreadScheduler::Block(wait);
        job->mWait = nullptr;
    } while (!pool.IsFinished(job.get()));
    if (job->mError)
        std::rethrow_exception(job->mError);
}

void WorkerPool::RunEach(std::size_t count, const std::function<void(std::size_t)>& job)
{
    if (count == 0)
        return;
    std::vector<std::exception_ptr> errors(count);
    std::atomic<std::size_t> next{0};
    // Each lane takes the next index until none is left, so a slow index holds
    // up one thread only.
    auto lane = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            try {
                job(i);
            } catch (...) {
                errors[i] = std::current_exception();
            }
            if (CancelRequested())
                return;
        }
    };
    auto rethrowFirst = [&] {
        for (auto& error : errors)
            if (error)
                std::rethrow_exception(error);
    };

    // As with Run: inside a job, off the GUI thread or while unwinding, the
    // indexes run here in turn.
    const bool onGuiThread = tCurrentJob == nullptr && ThreadScheduler::IsOnOwningThread();
    if (!onGuiThread || ThreadScheduler::CurrentIsUnwinding()) {
        lane();
        rethrowFirst();
        return;
    }

    auto& pool = ThePool();
    WorkerBatch batch;
    const std::size_t lanes = std::min<std::size_t>(count, pool.Size());
    for (std::size_t i = 0; i < lanes; ++i) {
        batch.mLanes.push_back(std::make_shared<WorkerJob>(lane));
        pool.Submit(batch.mLanes.back());
    }
    // Lanes finish in any order; waiting for each in turn returns once the last is done.
    for (auto& each : batch.mLanes) {
        while (!pool.IsFinished(each.get())) {
            ThreadWait wait;
            wait.thread = ThreadScheduler::Current();
            wait.queue = &batch;
            each->mWait = &wait;
            ThreadScheduler::Block(wait);
            each->mWait = nullptr;
        }
    }
    rethrowFirst();
}

void WorkerPool::RunEachHolding(std::size_t count, const std::function<void(std::size_t)>& job)
{
    if (count == 0)
        return;
    // Shared with the helpers, which may start once the batch is over and then take nothing.
    struct Batch {
        std::atomic<std::size_t> next { 0 };
        std::size_t done = 0; // guarded by mutex
        std::mutex mutex;
        std::condition_variable allDone;
        std::vector<std::exception_ptr> errors;
    };
    auto batch = std::make_shared<Batch>();
    batch->errors.resize(count);
    auto lane = [batch, count, &job] {
        for (std::size_t i = batch->next++; i < count; i = batch->next++) {
            try {
                job(i);
            } catch (...) {
                batch->errors[i] = std::current_exception();
            }
            std::lock_guard lock(batch->mutex);
            if (++batch->done == count)
                batch->allDone.notify_all();
        }
    };
    // Idle workers join in; busy ones leave it all to this thread, which never waits
    // for an index nobody has started.
    auto& pool = ThePool();
    std::vector<std::shared_ptr<WorkerJob>> helpers;
    for (std::size_t i = 1; i < std::min<std::size_t>(count, pool.Size()); ++i) {
        helpers.push_back(std::make_shared<WorkerJob>(lane));
        if (!pool.TrySubmit(helpers.back()))
            helpers.pop_back();
    }
    lane();
    for (auto& helper : helpers)
        pool.Withdraw(helper);
    {
        std::unique_lock lock(batch->mutex);
        batch->allDone.wait(lock, [&] { return batch->done == count; });
    }
    for (auto& error : batch->errors)
        if (error)
            std::rethrow_exception(error);
}

void WorkerPool::Start(std::function<void()> job)
{
    ThePool().Submit(std::make_shared<WorkerJob>(std::move(job)));
}

void WorkerPool::LetGo(std::function<void()> job)
{
    auto made = std::make_shared<WorkerJob>(std::move(job));
    if (!ThePool().TrySubmit(made))
        made->Execute(); // the program is ending: here and now
}

void WorkerPool::PostToGuiThread(std::function<void()> call)
{
    ThePool().Post(std::move(call));
}

void WorkerPool::DeliverResults()
{
    auto& pool = ThePool();
    for (auto& call : pool.TakePosted())
        call();
    for (auto& job : pool.TakeFinished()) {
        if (ThreadWait* wait = job->mWait) {
            job->mWait = nullptr;
            wait->queue = nullptr;
            ThreadScheduler::Complete(*wait, noErr);
        }
    }
}

std::size_t WorkerPool::JobsInFlight()
{
    return ThePool().InFlight();
}

void WorkerPool::WaitForResults(std::chrono::steady_clock::time_point until)
{
    ThePool().WaitForResults(until);
}
