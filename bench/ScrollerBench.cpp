// The thumbnail grid in its scroller, as the index window holds it, scrolled a
// page at a time by the scroll bar (a click in its track) and painted: an index
// of 100,000 items paired in one run with one of 1,000. The grid paints only
// the exposed cells and computes where they are, so a page costs the same
// however many items there are (within 1.5 times). The walk covers the whole
// index, and every page painted is checked to show the items of its place.
#include "BenchGrid.h"
#include "BenchMain.h"

#include "CIndexItem.h"
#include "CIndexView.h"
#include "CVisualTask.h"
#include "LScrollerView.h"
#include "URegistrar.h"

#include <QImage>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

constexpr QSize kCell(120, 140);
constexpr int kStarts = 20;        // places spread evenly from the top of the image to its bottom
constexpr int kPagesPerStart = 10; // pages scrolled down from each
int gWrongPages = 0;

// How far a painted pixel may be from the picture's own.
bool Near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) < 60;
}

class ScrolledGrid {
public:
    explicit ScrolledGrid(int count)
    {
        SPaneInfo info;
        info.width = 8 * kCell.width() + 20;
        info.height = 5 * kCell.height();
        mScroller = std::make_unique<LScrollerView>(info, 0);
        SPaneInfo viewInfo;
        viewInfo.width = info.width;
        viewInfo.height = info.height;
        mView = new CIndexView(viewInfo, mModel);
        FillGrid(*mView, count, kCell);
        mScroller->InstallView(mView);
        mScroller->Show();
        mTarget = QImage(mScroller->size(), QImage::Format_ARGB32_Premultiplied);
    }
    ~ScrolledGrid() { mScroller.reset(); }

    // From each start a page down at a time, painting the scroller each time.
    void PaintPages()
    {
        QScrollBar* bar = mScroller->VerticalBar();
        for (int start = 0; start < kStarts; ++start) {
            bar->setValue(int(qint64(bar->maximum()) * start / kStarts));
            for (int page = 0; page < kPagesPerStart; ++page) {
                bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
                mScroller->render(&mTarget);
                CheckPage(bar->value());
            }
        }
        benchmark::DoNotOptimize(mTarget.constBits());
    }

private:
    // The grid is where the bar says, the first item seen is the one of that row,
    // and the row below it was painted there with its pictures.
    void CheckPage(int barValue)
    {
        const SInt32 position = mView->GetScrollPosition().v;
        SInt32 first = 0, last = 0;
        mView->GetVisibleRange(first, last, true);
        const SInt32 columns = mView->GetGridColumns();
        const SInt32 firstOfRow = (position + 10) / kCell.height() * columns + 1;
        bool right = position == barValue && columns > 0 && first == firstOfRow;
        CIndexItem* item = nullptr;
        QRect cell;
        const SInt32 below = first + columns;
        if (right && below <= mView->CountItems() && mView->GetItemAt(below, item) && item && mView->GetCellRect(below, cell)) {
            const QRect picture = item->GetPartRect(kItemPartPicture, cell, *mView);
            const QPoint at = mView->mapTo(mScroller.get(), picture.center());
            right = mTarget.rect().contains(at) && Near(mTarget.pixel(at), GridThumbnail().pixel(50, 37));
        }
        if (!right)
            ++gWrongPages;
    }

    CIndexModel mModel; // outlives the scroller and the view it holds
    std::unique_ptr<LScrollerView> mScroller;
    CIndexView* mView = nullptr; // the scroller's
    QImage mTarget;
};

void BM_PagesOfManyItemsAgainstFewItems(benchmark::State& state)
{
    ScrolledGrid many(100'000);
    ScrolledGrid few(1'000);
    BenchmarkPaired(state, "grid in its scroller: a page of 100,000 items / a page of 1,000 items", 1.5, 7,
        [&] { many.PaintPages(); }, [&] { few.PaintPages(); });
    CheckTarget("every page painted showed its own items", gWrongPages == 0,
        std::to_string(gWrongPages) + " wrong page(s)");
}
BENCHMARK(BM_PagesOfManyItemsAgainstFewItems)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, [] {
        URegistrar::RegisterFrameworkClasses();
        InitializeTasks();
    }, [] { TerminateTasks(); });
}
