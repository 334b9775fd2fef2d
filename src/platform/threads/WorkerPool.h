#pragma once

#include "MacTypes.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

// OS threads for pure computation (decoding, scaling and compressing images)
// and blocking library calls (transfers, camera downloads). A cooperative
// thread hands a job to the pool and yields until it is done, then goes on on
// the GUI thread with the job's result, or with its exception rethrown. The job
// must touch only data that its caller owns: the GUI thread's objects (items,
// views, preferences, Qt widgets) stay on the GUI thread.
//
// Deleting a thread that waits on a job drops the job when it has not started,
// and otherwise asks it to stop (CancelRequested) and waits for it, so that the
// job never outlives the stack it works on.
class WorkerPool {
public:
    // Runs `job` on a worker thread and returns its result; the calling context
    // yields meanwhile (the main thread runs rounds). Off the GUI thread, or on
    // a stack being unwound, the job runs at once on the calling thread.
    template <typename Fn>
    static auto Run(Fn&& job) -> std::invoke_result_t<Fn&>
    {
        using Result = std::invoke_result_t<Fn&>;
        if constexpr (std::is_void_v<Result>) {
            RunJob([&job] { job(); });
        } else {
            std::optional<Result> result;
            RunJob([&job, &result] { result.emplace(job()); });
            return std::move(*result);
        }
    }

    // Starts `job` on a worker thread and returns at once: nothing waits for it.
    // The job must own what it touches (a state shared with whoever started it)
    // and should end early when CancelRequested says so.
    static void Start(std::function<void()> job);
    // Starts a job that only lets go of what it owns (memory, a descriptor),
    // which a worker does without holding the caller; once the program is
    // ending and no more work is taken, it runs at once on the calling thread.
    // It never throws, so destructors may call it. The job should empty what it
    // holds itself: a finished job is deleted on the GUI thread.
    static void LetGo(std::function<void()> job);

    // Runs job(0) .. job(count - 1) on the pool's threads, as many at once as
    // there are threads, and returns when all have run; the calling context
    // yields meanwhile, as with Run. A failing index does not stop the others:
    // once all are done, the exception of the lowest failing index is rethrown.
    // Deleting the waiting thread stops the batch between indexes.
    static void RunEach(std::size_t count, const std::function<void(std::size_t)>& job);
    // As RunEach, but the calling thread takes indexes too and neither yields nor
    // runs rounds until the last is done: nothing else runs on the GUI thread
    // meanwhile, so the jobs may read the GUI thread's objects (each index its
    // own). For work that would otherwise hold the window as long on one core.
    static void RunEachHolding(std::size_t count, const std::function<void(std::size_t)>& job);

    // For a job: true once the thread waiting on it is being deleted, or the
    // program is ending; a long job should then stop early (its result is
    // thrown away).
    static bool CancelRequested();

    // At the program's end: stops the workers, giving running jobs `grace` to end;
    // false when one is still stuck (in a library call that never returned), and the
    // process should then end without running its static destructors.
    static bool StopWorkers(std::chrono::milliseconds grace);

    // Worker threads in the pool (one per core, at least two).
    static unsigned ThreadCount();

    // Called on the GUI thread, from its event loop, soon after a job ends,
    // so that the waiting thread need not wait for the next timer round. The
    // thread-yield timer installs its own procedure here; by default nothing.
    static void SetResultsReadyHandler(std::function<void()> handler);

    // From any OS thread: `call` runs on the GUI thread at the next round of the
    // scheduler, which a waiting context is woken for (a transfer thread's
    // "done" reaches the cooperative thread that waits on it this way).
    static void PostToGuiThread(std::function<void()> call);

    // --- for the scheduler --------------------------------------------------------
    // Hands finished jobs' results to their waiting contexts (GUI thread).
    static void DeliverResults();
    // Jobs queued or running.
    static std::size_t JobsInFlight();
    // Blocks the GUI thread until a job finishes or the time comes.
    static void WaitForResults(std::chrono::steady_clock::time_point until);

private:
    static void RunJob(std::function<void()> body);
};
