// Scrolling a list-like view in a scroller by one page and painting what shows,
// for images of 1,000 and 100,000 rows: a view paints only its exposed rows, so
// the time per page should not depend on how tall the image is.
#include "BenchMain.h"

#include "LScrollerView.h"
#include "LView.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kRowHeight = 20;

class RowsView : public LView {
public:
    RowsView(const SPaneInfo& info, SInt32 rows)
        : LView(info, SDimension32 { info.width, rows * kRowHeight }, SPoint32 { 1, kRowHeight })
    {
    }
    void DrawSelf(QPainter& painter) override
    {
        const SPoint32 position = GetScrollPosition();
        const QRect exposed = painter.clipBoundingRect().toAlignedRect().intersected(rect());
        const int first = (position.v + exposed.top()) / kRowHeight;
        const int last = (position.v + exposed.bottom()) / kRowHeight;
        for (int row = first; row <= last; ++row) {
            const int top = row * kRowHeight - position.v;
            painter.fillRect(QRect(0, top, width(), kRowHeight), row % 2 ? QColor(230, 230, 240) : QColor(Qt::white));
            painter.drawText(QRect(4, top, width() - 8, kRowHeight), Qt::AlignVCenter, QStringLiteral("IMG_%1.JPG").arg(row));
        }
    }
};

void ScrollByPages(benchmark::State& state)
{
    SPaneInfo info;
    info.width = 640;
    info.height = 480;
    LScrollerView scroller(info, 1);
    SPaneInfo rowsInfo;
    rowsInfo.paneID = 1;
    rowsInfo.width = 600;
    rowsInfo.height = 400;
    rowsInfo.superView = &scroller;
    auto* rows = new RowsView(rowsInfo, SInt32(state.range(0)));
    scroller.InstallView(rows);
    scroller.Show();
    QImage target(scroller.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        // One page down, back to the top at the end; then paint what shows.
        if (!rows->ScrollPinnedImageBy(0, rows->height(), true))
            rows->ScrollImageTo(0, 0, true);
        scroller.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["rows"] = double(state.range(0));
}
BENCHMARK(ScrollByPages)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv);
}
