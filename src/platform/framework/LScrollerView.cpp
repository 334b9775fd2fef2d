#include "LScrollerView.h"

#include <QAbstractScrollArea>
#include <QResizeEvent>
#include <QScrollBar>
#include <QScroller>
#include <QWheelEvent>
#include <algorithm>

class LScrollerView::ScrollArea : public QAbstractScrollArea {
public:
    explicit ScrollArea(LScrollerView* owner)
        : QAbstractScrollArea(owner)
        , mOwner(owner)
    {
        setFrameShape(QFrame::NoFrame);
        setFocusPolicy(Qt::NoFocus); // the keyboard goes to the scrolled view, not to its frame
    }

    void Wheel(QWheelEvent* event) { wheelEvent(event); }
    // Lays the bars and viewport out now; Qt would wait for the resize event,
    // which a hidden widget only gets once shown.
    void LayOutNow() { setViewportMargins(0, 0, 0, 0); }

protected:
    void scrollContentsBy(int dx, int dy) override
    {
        if (LView* view = mOwner->mScrollingView)
            view->ScrolledBy(-dx, -dy, true);
    }
    bool viewportEvent(QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            mOwner->FitViewToViewport();
        return QAbstractScrollArea::viewportEvent(event);
    }

private:
    LScrollerView* mOwner;
};

LScrollerView::LScrollerView(const SPaneInfo& info, PaneIDT scrollingViewID, bool horizontal, bool vertical)
    : LView(info)
    , mScrollingViewID(scrollingViewID)
{
    MakeArea(horizontal, vertical);
    mCreated = true;
}

LScrollerView::LScrollerView(const LLayoutData& data)
    : LView(data)
    , mScrollingViewID(PaneIDT(data.Code("scrollingView", 0)))
{
    // "barThickness" of older layouts is left to the platform's style.
    MakeArea(data.Bool("horizontal", true), data.Bool("vertical", true));
}

LScrollerView::~LScrollerView()
{
    if (mScrollingView)
        ReleaseView(mScrollingView);
}

void LScrollerView::MakeArea(bool horizontal, bool vertical)
{
    mHorizontal = horizontal;
    mVertical = vertical;
    mArea = new ScrollArea(this);
    mArea->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    mArea->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    mArea->viewport()->setAutoFillBackground(false);
    QScroller::grabGesture(mArea->viewport(), QScroller::TouchGesture);
    mArea->lower(); // beneath any other subpanes of the scroller
    PlaceArea();
    mArea->show();
}

QAbstractScrollArea* LScrollerView::GetScrollArea() const
{
    return mArea;
}

QScrollBar* LScrollerView::HorizontalBar() const
{
    return mHorizontal ? mArea->horizontalScrollBar() : nullptr;
}

QScrollBar* LScrollerView::VerticalBar() const
{
    return mVertical ? mArea->verticalScrollBar() : nullptr;
}

void LScrollerView::PlaceArea()
{
    mArea->setGeometry(rect());
    mArea->LayOutNow(); // the scrolling view's frame is right before the window shows
    FitViewToViewport();
}

void LScrollerView::FitViewToViewport()
{
    if (!mScrollingView)
        return;
    const QSize viewport = mArea->viewport()->size();
    mScrollingView->PlaceInSuperFrameAt(0, 0, false);
    mScrollingView->ResizeFrameTo(viewport.width(), viewport.height(), false);
}

void LScrollerView::FinishCreateSelf()
{
    mCreated = true;
    if (!mScrollingView && mScrollingViewID != 0) {
        if (auto* view = dynamic_cast<LView*>(FindPaneByID(mScrollingViewID)); view && view != this)
            InstallView(view);
    }
    AdjustScrollBars();
}

void LScrollerView::InstallView(LView* scrollingView)
{
    if (mScrollingView == scrollingView) {
        AdjustScrollBars();
        return;
    }
    if (mScrollingView)
        ReleaseView(mScrollingView);
    if (!scrollingView)
        return;
    if (scrollingView->GetScroller() && scrollingView->GetScroller() != this)
        scrollingView->GetScroller()->ReleaseView(scrollingView);
    if (scrollingView->GetSuperView() != this)
        scrollingView->PutInside(this, false); // comes back here through AddSubPane
    if (mScrollingView == scrollingView)
        return;
    const SPoint32 position = scrollingView->GetScrollPosition();
    mScrollingView = scrollingView;
    // The subpanes are placed for the view's own position; move them to where the
    // bars stand, then let the bars take the view back to its position.
    const SPoint32 bars = BarPosition();
    scrollingView->ScrollImageTo(bars.h, bars.v, false);
    // The viewport sizes the view; its own bindings would only fight that.
    scrollingView->SetFrameBinding({});
    scrollingView->setParent(mArea->viewport());
    scrollingView->setVisible(true);
    FitViewToViewport();
    // From here on the bars hold the position.
    AdjustScrollBars();
    scrollingView->mScroller = this;
    scrollingView->mScrollPosition = {};
    MoveBarsTo(position);
}

void LScrollerView::ReleaseView(LView* view)
{
    if (view != mScrollingView)
        return;
    const SPoint32 position = BarPosition();
    view->mScroller = nullptr;
    view->mScrollPosition = position; // the view keeps its place on its own
    mScrollingView = nullptr;
}

void LScrollerView::AddSubPane(LPane* pane)
{
    LView::AddSubPane(pane);
    // A view coming back (from a placeholder, say) is scrolled again.
    if (mCreated && !mScrollingView && pane->GetPaneID() == mScrollingViewID && mScrollingViewID != 0) {
        if (auto* view = dynamic_cast<LView*>(pane))
            InstallView(view);
    }
}

void LScrollerView::RemoveSubPane(LPane* pane)
{
    if (pane == mScrollingView)
        ReleaseView(mScrollingView);
    LView::RemoveSubPane(pane);
}

QWidget* LScrollerView::ContentWidgetFor(const LPane* subPane)
{
    return subPane == mScrollingView ? mArea->viewport() : this;
}

SPoint32 LScrollerView::BarPosition() const
{
    return { mArea->horizontalScrollBar()->value(), mArea->verticalScrollBar()->value() };
}

void LScrollerView::AdjustScrollBars()
{
    if (!mScrollingView)
        return;
    const SDimension32 image = mScrollingView->GetImageSize();
    const SPoint32 position = BarPosition();
    const SPoint32 unit = mScrollingView->GetScrollUnit();
    // The range always holds the current position, so adjusting never scrolls;
    // a view scrolled past its image's edges (unpinned) keeps its place.
    auto adjust = [](QScrollBar* bar, SInt32 imageLength, SInt32 frameLength, SInt32 pos, SInt32 step) {
        const SInt32 last = SInt32(std::max<qint64>(0, qint64(imageLength) - frameLength));
        bar->setRange(std::min(0, pos), std::max(last, pos));
        bar->setPageStep(std::max(1, frameLength));
        bar->setSingleStep(std::max(1, step));
        bar->setEnabled(imageLength > frameLength);
    };
    adjust(mArea->horizontalScrollBar(), image.width, mScrollingView->width(), position.h, unit.h);
    adjust(mArea->verticalScrollBar(), image.height, mScrollingView->height(), position.v, unit.v);
}

void LScrollerView::MoveBarsTo(SPoint32 position)
{
    QScrollBar* h = mArea->horizontalScrollBar();
    QScrollBar* v = mArea->verticalScrollBar();
    h->setRange(std::min(h->minimum(), position.h), std::max(h->maximum(), position.h));
    v->setRange(std::min(v->minimum(), position.v), std::max(v->maximum(), position.v));
    h->setValue(position.h);
    v->setValue(position.v);
    AdjustScrollBars();
}

void LScrollerView::SubImageChanged(LView* subView)
{
    if (subView == mScrollingView)
        AdjustScrollBars();
}

void LScrollerView::ResizeFrameBy(SInt32 dWidth, SInt32 dHeight, bool refresh)
{
    LView::ResizeFrameBy(dWidth, dHeight, refresh);
    PlaceArea();
    AdjustScrollBars();
}

void LScrollerView::resizeEvent(QResizeEvent* event)
{
    LView::resizeEvent(event);
    PlaceArea();
    AdjustScrollBars();
}

void LScrollerView::ScrollByWheel(QWheelEvent* event)
{
    mArea->Wheel(event);
}

void LScrollerView::wheelEvent(QWheelEvent* event)
{
    ScrollByWheel(event);
}
