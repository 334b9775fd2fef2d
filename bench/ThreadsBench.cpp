// What a cooperative switch costs: the price every task pays at each yield,
// wait and worker job.

#include "BenchMain.h"

#include "LSemaphore.h"
#include "LThread.h"
#include "WorkerPool.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

namespace {

bool RunUntilNoThreads()
{
    return LThread::RunUntil([] { return LThread::CountThreads() == 0; });
}

// One round that resumes N threads, each yielding once: 2N stack switches.
void BM_RoundOfYieldingThreads(benchmark::State& state)
{
    const int count = int(state.range(0));
    bool stop = false;
    for (int i = 0; i < count; ++i) {
        auto* thread = new LFunctionThread(
            [&stop] {
                while (!stop)
                    LThread::Yield();
            },
            256 * 1024);
        thread->Resume();
    }
    for (auto _ : state)
        LThread::RunRound();
    stop = true;
    RunUntilNoThreads();
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_RoundOfYieldingThreads)->Arg(1)->Arg(10)->Arg(300);

// Two threads handing a semaphore count back and forth.
void BM_SemaphorePingPong(benchmark::State& state)
{
    LSemaphore ping(0);
    LSemaphore pong(0);
    bool stop = false;
    auto* other = new LFunctionThread([&] {
        while (ping.Wait() == noErr && !stop)
            pong.Signal();
    });
    other->Resume();
    LThread::RunRound();
    for (auto _ : state) {
        ping.Signal();
        pong.Wait();
    }
    stop = true;
    ping.Signal();
    RunUntilNoThreads();
}
BENCHMARK(BM_SemaphorePingPong);

// Creating, running and deleting a thread (the stack comes from the pool).
void BM_ThreadLifetime(benchmark::State& state)
{
    for (auto _ : state) {
        auto* thread = new LFunctionThread([] {});
        thread->Resume();
        LThread::RunRound();
    }
}
BENCHMARK(BM_ThreadLifetime);

// A job handed to a worker and its result taken back on the main thread.
void BM_WorkerRoundTrip(benchmark::State& state)
{
    int value = 0;
    for (auto _ : state)
        value = WorkerPool::Run([value] { return value + 1; });
    benchmark::DoNotOptimize(value);
}
BENCHMARK(BM_WorkerRoundTrip);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv);
}
