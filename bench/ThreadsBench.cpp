// What a cooperative switch costs, the price every task pays at each yield,
// wait and worker job, paired in one run with the same hand-over between two
// system threads (a mutex and a condition variable).

#include "BenchMain.h"

#include "LSemaphore.h"
#include "LThread.h"
#include "WorkerPool.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr int kHandOvers = 20000; // each side passes a count back and forth this often

int gWrongAnswers = 0; // hand-overs or jobs that did not come back

bool RunUntilNoThreads()
{
    return LThread::RunUntil([] { return LThread::CountThreads() == 0; });
}

// Two fibers handing a semaphore count back and forth.
void FiberPingPong()
{
    LSemaphore ping(0);
    LSemaphore pong(0);
    int answered = 0;
    auto* other = new LFunctionThread([&] {
        for (int i = 0; i < kHandOvers && ping.Wait() == noErr; ++i) {
            ++answered;
            pong.Signal();
        }
    });
    other->Resume();
    LThread::RunRound();
    for (int i = 0; i < kHandOvers; ++i) {
        ping.Signal();
        pong.Wait();
    }
    RunUntilNoThreads();
    gWrongAnswers += answered == kHandOvers ? 0 : 1;
}

// The same between two system threads.
void SystemThreadPingPong()
{
    std::mutex mutex;
    std::condition_variable changed;
    int turn = 0; // even: the main thread's, odd: the other's
    int answered = 0;
    std::thread other([&] {
        for (int i = 0; i < kHandOvers; ++i) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return turn % 2 == 1; });
            ++answered;
            ++turn;
            changed.notify_one();
        }
    });
    for (int i = 0; i < kHandOvers; ++i) {
        std::unique_lock lock(mutex);
        ++turn;
        changed.notify_one();
        changed.wait(lock, [&] { return turn % 2 == 0; });
    }
    other.join();
    gWrongAnswers += answered == kHandOvers ? 0 : 1;
}

void BM_HandOverAgainstSystemThreads(benchmark::State& state)
{
    // A switch on one stack costs far less than waking another system thread.
    BenchmarkPaired(state, "fiber hand-over / system-thread hand-over", 0.5, 7,
        FiberPingPong, SystemThreadPingPong);
}
BENCHMARK(BM_HandOverAgainstSystemThreads)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// A job handed to a worker and its result taken back, against running it in place
// (what a worker hand-over adds to a job).
constexpr int kJobs = 2000;

void WorkerRoundTrips()
{
    int value = 0;
    for (int i = 0; i < kJobs; ++i)
        value = WorkerPool::Run([value] { return value + 1; });
    gWrongAnswers += value == kJobs ? 0 : 1;
}

void ThreadRoundTrips()
{
    int value = 0;
    for (int i = 0; i < kJobs; ++i) {
        std::thread worker([&value] { ++value; });
        worker.join();
    }
    gWrongAnswers += value == kJobs ? 0 : 1;
}

void BM_WorkerRoundTripAgainstAThreadPerJob(benchmark::State& state)
{
    BenchmarkPaired(state, "worker round trip / a system thread started per job", 1.0, 7,
        WorkerRoundTrips, ThreadRoundTrips);
    CheckTarget("every hand-over and job answered", gWrongAnswers == 0, std::to_string(gWrongAnswers) + " runs wrong");
}
BENCHMARK(BM_WorkerRoundTripAgainstAThreadPerJob)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv);
}
