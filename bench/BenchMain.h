#pragma once

#include <functional>

// The benchmarks' common start: an offscreen application, then Google Benchmark.
// `prepare` runs before the benchmarks (making fixture files), `report` after them.
int RunBenchmarks(int argc, char** argv, const std::function<void()>& prepare = {},
    const std::function<void()>& report = {});
