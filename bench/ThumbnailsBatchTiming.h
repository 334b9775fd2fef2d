#pragma once

#include "CIndexItem.h"
#include "CIndexView.h"
#include "ItemThumbnails.h"

#include <QString>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

// Wall-clock seconds over a benchmark's runs, kept for the ratios printed at the end.
struct BenchSeconds {
    double total = 0;
    int runs = 0;
    void Add(std::chrono::steady_clock::duration elapsed)
    {
        total += std::chrono::duration<double>(elapsed).count();
        ++runs;
    }
    double Mean() const { return runs ? total / runs : 0; }
};

// The index view the task benchmarks run on.
inline std::unique_ptr<CIndexView> MakeBenchView()
{
    SPaneInfo info;
    info.width = 800;
    info.height = 600;
    return std::make_unique<CIndexView>(info);
}

// The thumbnails batch alone on fresh items of the files; true when every thumbnail was made.
inline bool CreateThumbnailsOf(const std::vector<QString>& files)
{
    std::vector<std::unique_ptr<CIndexItem>> items;
    std::vector<CIndexItem*> pointers;
    for (const QString& path : files) {
        items.push_back(std::make_unique<CIndexItem>(QUrl::fromLocalFile(path)));
        pointers.push_back(items.back().get());
    }
    const std::vector<OSStatus> codes = CreateThumbnails(pointers, false);
    return std::all_of(codes.begin(), codes.end(), [](OSStatus code) { return code == noErr; });
}

// One run of the thumbnails batch alone on fresh items of the files: the yardstick
// the task layer is measured against. A thumbnail that fails fails the run.
inline void RunThumbnailsBatchAlone(benchmark::State& state, const std::vector<QString>& files, BenchSeconds& seconds)
{
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::unique_ptr<CIndexItem>> items;
        std::vector<CIndexItem*> pointers;
        for (const QString& path : files) {
            items.push_back(std::make_unique<CIndexItem>(QUrl::fromLocalFile(path)));
            pointers.push_back(items.back().get());
        }
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        const std::vector<OSStatus> codes = CreateThumbnails(pointers, false);
        seconds.Add(std::chrono::steady_clock::now() - start);
        for (OSStatus code : codes)
            if (code != noErr)
                state.SkipWithError("a thumbnail failed");
    }
}
