#pragma once

#include <functional>
#include <string>
#include <vector>

class QString;

namespace benchmark {
class State;
}

// The benchmarks' common start: an offscreen application, then Google Benchmark.
// `prepare` runs before the benchmarks (making fixture files), `report` after them.
// Answers non-zero when any target checked below was missed, so `make bench` fails.
int RunBenchmarks(int argc, char** argv, const std::function<void()>& prepare = {},
    const std::function<void()>& report = {});

// Two ways of doing the same work, timed in pairs within one run: A then B, then
// B then A, and so on, so that a drift of the machine's speed falls on both.
struct PairedTimes {
    std::vector<double> a; // seconds of each run of A
    std::vector<double> b; // seconds of each run of B
    std::vector<double> ratios; // A / B, pair by pair
    double MinRatio() const;
    double MedianRatio() const;
    double MaxRatio() const;
    double MedianA() const;
    double MedianB() const;
};
// `pairs` pairs after one unpaired warm-up of each side. A side's function does
// the whole work each time, and checks its own result (CheckTarget) where it can;
// `after`, when given, runs untimed after every run of either side (removing
// what it wrote).
PairedTimes RunPaired(int pairs, const std::function<void()>& a, const std::function<void()>& b,
    const std::function<void()>& after = {});

// Prints the pairs' ratio (min/median/max), for pairs that have no stated target.
void PrintRatio(const std::string& name, const PairedTimes& times);
// Prints the pairs' ratio (min/median/max) and records a missed target when the
// median ratio exceeds `limit`. Answers whether the target was met.
bool CheckRatio(const std::string& name, const PairedTimes& times, double limit);
// Records a missed target (a wrong result, a count that is off, a limit passed)
// when `met` is false, printing the detail either way.
bool CheckTarget(const std::string& name, bool met, const std::string& detail = {});
// The body of a paired benchmark: for each of its iterations, `pairs` pairs of A
// and B (RunPaired), A's median taken as the benchmark's time (UseManualTime),
// and the ratio checked against `limit`, or only printed when `limit` is 0.
void BenchmarkPaired(benchmark::State& state, const std::string& name, double limit, int pairs,
    const std::function<void()>& a, const std::function<void()>& b, const std::function<void()>& after = {});
// Targets missed so far in this run.
int MissedTargets();

// The rest of this process allocates as a plain program does: a yardstick's
// process gets none of the program's advice on its large blocks (its thread
// that started the process must call it).
void KeepLargeBlocksPlain();

// A memory figure of this process from /proc/self/status ("VmRSS:", "VmHWM:"), in MB.
double ProcessStatusMB(const char* field);
// Starts the peak of resident memory ("VmHWM:") again from the current figure.
void ResetPeakMemory();
// Runs a yardstick's shell command (curl and the like); one that fails or does
// not end within ten minutes is a missed target.
void RunShell(const QString& command);
