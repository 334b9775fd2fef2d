// Scrolling a view of rows in a scroller by one page and painting what shows,
// 100,000 rows paired in one run with 1,000: a view paints only its exposed
// rows, so the time per page does not depend on how tall the image is.
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

// A scroller over rows, scrolled a page at a time and painted.
class ScrolledRows {
public:
    explicit ScrolledRows(SInt32 count)
    {
        SPaneInfo info;
        info.width = 640;
        info.height = 480;
        mScroller = std::make_unique<LScrollerView>(info, 1);
        SPaneInfo rowsInfo;
        rowsInfo.paneID = 1;
        rowsInfo.width = 600;
        rowsInfo.height = 400;
        rowsInfo.superView = mScroller.get();
        mRows = new RowsView(rowsInfo, count);
        mScroller->InstallView(mRows);
        mScroller->Show();
        mTarget = QImage(mScroller->size(), QImage::Format_ARGB32_Premultiplied);
    }
    // One page down, back to the top at the end; then paint what shows.
    void PaintPages(int pages)
    {
        for (int i = 0; i < pages; ++i) {
            if (!mRows->ScrollPinnedImageBy(0, mRows->height(), true))
                mRows->ScrollImageTo(0, 0, true);
            mScroller->render(&mTarget);
        }
    }

private:
    std::unique_ptr<LScrollerView> mScroller;
    RowsView* mRows = nullptr;
    QImage mTarget;
};

constexpr int kPages = 200;

void BM_PagesOfManyRowsAgainstFewRows(benchmark::State& state)
{
    ScrolledRows many(100'000);
    ScrolledRows few(1'000);
    // Only the exposed rows paint: a page costs the same however tall the image.
    BenchmarkPaired(state, "a page of 100,000 rows / a page of 1,000 rows", 1.5, 7,
        [&] { many.PaintPages(kPages); }, [&] { few.PaintPages(kPages); });
}
BENCHMARK(BM_PagesOfManyRowsAgainstFewRows)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv);
}
