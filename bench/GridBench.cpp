// The thumbnail grid of an index of 100,000 items: a scroll to a page and the
// paint of the page that shows (60 cells, the whole view filled), for pages
// spread over the whole index, paired with drawing the same cells alone (within
// 1.5 times) and with the same walk over an index of 1,000 items (the time
// should not grow with the number of items).
#include "BenchGrid.h"
#include "BenchMain.h"

#include "CIndexItem.h"
#include "CIndexView.h"
#include "StandaloneIndexView.h"
#include "CVisualTask.h"
#include "URegistrar.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kColumns = 10;
constexpr int kRows = 6;
constexpr QSize kCell(120, 140);

// A view of `count` items, shown at a size of 10 x 6 cells.
StandaloneIndexView MakeView(int count)
{
    SPaneInfo info;
    info.width = kColumns * kCell.width();
    info.height = kRows * kCell.height();
    StandaloneIndexView view(info.width, info.height);
    FillGrid(*view, count, kCell);
    view->Show();
    return view;
}

constexpr int kPageCells = kColumns * kRows;
constexpr int kPagesWalked = 100; // spread evenly from the first page to the last

// A view and the pages walked on it: each page's first item, and the cells it shows.
struct Walk {
    StandaloneIndexView view;
    QImage target;
    std::vector<SInt32> firstItems;
    std::vector<std::vector<std::pair<CIndexItem*, QRect>>> cells;
};
int gWrongPages = 0;

Walk MakeWalk(int count)
{
    Walk walk;
    walk.view = MakeView(count);
    walk.target = QImage(walk.view->size(), QImage::Format_ARGB32_Premultiplied);
    const int pages = (count + kPageCells - 1) / kPageCells;
    for (int n = 0; n < kPagesWalked; ++n) {
        const int page = kPagesWalked > 1 ? int(qint64(n) * (pages - 1) / (kPagesWalked - 1)) : 0;
        walk.view->ScrollImageTo(0, page * walk.view->height(), false);
        SInt32 first = 0;
        SInt32 last = 0;
        walk.view->GetVisibleRange(first, last, true);
        walk.firstItems.push_back(first);
        auto& cells = walk.cells.emplace_back();
        for (SInt32 index = first; index <= last; ++index) {
            CIndexItem* item = nullptr;
            QRect cell;
            if (walk.view->GetItemAt(index, item) && walk.view->GetCellRect(index, cell))
                cells.emplace_back(item, cell);
        }
        if (first != page * kPageCells + 1 || cells.empty())
            ++gWrongPages;
    }
    return walk;
}

// Scrolls to each page and paints the view, checking it shows the page's items.
void ScrollAndPaintPages(Walk& walk)
{
    for (size_t n = 0; n < walk.firstItems.size(); ++n) {
        walk.view->ScrollImageTo(0, (walk.firstItems[n] - 1) / kPageCells * walk.view->height(), false);
        walk.view->render(&walk.target);
        SInt32 first = 0;
        SInt32 last = 0;
        walk.view->GetVisibleRange(first, last, true);
        if (first != walk.firstItems[n])
            ++gWrongPages;
    }
    benchmark::DoNotOptimize(walk.target.constBits());
}

// Draws each page's cells alone, without the view around them.
void PaintTheSameCellsAlone(Walk& walk)
{
    for (const auto& page : walk.cells) {
        QPainter painter(&walk.target);
        for (const auto& [item, cell] : page)
            item->DrawCell(painter, cell, *walk.view);
    }
    benchmark::DoNotOptimize(walk.target.constBits());
}

void BM_PagesAcrossTheWholeIndex(benchmark::State& state)
{
    Walk small = MakeWalk(1'000);
    Walk large = MakeWalk(100'000);
    for (auto _ : state) {
        const PairedTimes pages = RunPaired(
            9, [&] { ScrollAndPaintPages(large); }, [&] { PaintTheSameCellsAlone(large); });
        state.SetIterationTime(pages.MedianA());
        CheckRatio("100,000 items: scroll and paint a page / its cells alone", pages, 1.5);
        const PairedTimes growth = RunPaired(
            9, [&] { ScrollAndPaintPages(large); }, [&] { ScrollAndPaintPages(small); });
        PrintRatio("a page of 100,000 items / a page of 1,000 items", growth);
    }
    CheckTarget("every page walked showed its own items", gWrongPages == 0,
        std::to_string(gWrongPages) + " wrong page(s)");
}
BENCHMARK(BM_PagesAcrossTheWholeIndex)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, [] {
        URegistrar::RegisterFrameworkClasses();
        InitializeTasks();
    }, [] { TerminateTasks(); });
}
