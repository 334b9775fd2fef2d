// The thumbnail grid of an index of 1,000 and of 100,000 items: one scroll by a
// page and the paint of the page that shows (60 cells, the whole view filled),
// against drawing 60 cells alone. Both figures should stay the same from 1,000 to
// 100,000 items, and the page within 1.5 times the cells alone.
#include "BenchMain.h"

#include "CIndexItem.h"
#include "CIndexView.h"
#include "CVisualTask.h"
#include "Offscreen.h"
#include "URegistrar.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kColumns = 10;
constexpr int kRows = 6;
constexpr QSize kCell(120, 140);

// One picture for every item (shared, as Qt shares images), a photograph's size.
const QImage& Thumbnail()
{
    static const QImage image = [] {
        QImage picture(100, 75, QImage::Format_RGB32);
        QPainter painter(&picture);
        QLinearGradient gradient(0, 0, 100, 75);
        gradient.setColorAt(0, QColor(40, 90, 160));
        gradient.setColorAt(1, QColor(230, 190, 90));
        painter.fillRect(picture.rect(), gradient);
        return picture;
    }();
    return image;
}

// A view of `count` items, shown at a size of 10 x 6 cells.
std::unique_ptr<CIndexView> MakeView(int count)
{
    SPaneInfo info;
    info.width = kColumns * kCell.width();
    info.height = kRows * kCell.height();
    auto view = std::make_unique<CIndexView>(info);
    view->SetCellSize(SInt16(kCell.width()), SInt16(kCell.height()));
    for (int i = 1; i <= count; ++i) {
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/IMG_%1.JPG").arg(i)));
        item->SetDisplayPicture(std::make_unique<Offscreen>(Thumbnail()));
        view->InsertItem(item, kInsertAtEnd, false, true);
    }
    view->Show();
    return view;
}

// Pages of the first 1,000 items in both views, so the same cells are drawn and
// only the item count differs (an item's first drawing makes its lazy parts).
constexpr int kPagesWalked = 1'000 / (kColumns * kRows);

void ScrollAndPaintAPage(benchmark::State& state)
{
    auto view = MakeView(int(state.range(0)));
    QImage target(view->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        if (view->GetScrollPosition().v >= kPagesWalked * view->height() || !view->ScrollPinnedImageBy(0, view->height(), false))
            view->ScrollImageTo(0, 0, false);
        view->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["items"] = double(state.range(0));
    state.counters["cells"] = kColumns * kRows;
}
BENCHMARK(ScrollAndPaintAPage)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

void PaintTheSameCellsAlone(benchmark::State& state)
{
    auto view = MakeView(int(state.range(0)));
    QImage target(view->size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<std::pair<CIndexItem*, QRect>> cells;
    for (SInt32 index = 1; index <= kColumns * kRows; ++index) {
        CIndexItem* item = nullptr;
        QRect cell;
        view->GetItemAt(index, item);
        view->GetCellRect(index, cell);
        cells.emplace_back(item, cell);
    }
    for (auto _ : state) {
        QPainter painter(&target);
        for (auto& [item, cell] : cells)
            item->DrawCell(painter, cell, *view);
        painter.end();
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["items"] = double(state.range(0));
    state.counters["cells"] = kColumns * kRows;
}
BENCHMARK(PaintTheSameCellsAlone)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, [] {
        URegistrar::RegisterFrameworkClasses();
        InitializeTasks();
    }, [] { TerminateTasks(); });
}
