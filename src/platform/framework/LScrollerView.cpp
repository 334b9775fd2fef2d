#include "LScrollerView.h"

#include <QScrollBar>
#include <QWheelEvent>

LScrollerView::LScrollerView(const SPaneInfo& info, PaneIDT scrollingViewID, bool horizontal, bool vertical, SInt16 barThickness)
    : LView(info)
    , mScrollingViewID(scrollingViewID)
    , mBarThickness(barThickness)
{
    MakeBars(horizontal, vertical);
}

LScrollerView::LScrollerView(const LLayoutData& data)
    : LView(data)
    , mScrollingViewID(PaneIDT(data.Code("scrollingView", 0)))
    , mBarThickness(SInt16(data.Int("barThickness", 15)))
{
    MakeBars(data.Bool("horizontal", true), data.Bool("vertical", true));
}

LScrollerView::~LScrollerView() = default;

void LScrollerView::MakeBars(bool horizontal, bool vertical)
{
    if (horizontal) {
        mHorizontal = new QScrollBar(Qt::Horizontal, this);
        QObject::connect(mHorizontal, &QScrollBar::valueChanged, [this] { BarMoved(); });
    }
    if (vertical) {
        mVertical = new QScrollBar(Qt::Vertical, this);
        QObject::connect(mVertical, &QScrollBar::valueChanged, [this] { BarMoved(); });
    }
    PlaceBars();
}

void LScrollerView::PlaceBars()
{
    int barH = mHorizontal ? mBarThickness : 0;
    int barV = mVertical ? mBarThickness : 0;
    if (mHorizontal)
        mHorizontal->setGeometry(0, height() - barH, width() - barV, barH);
    if (mVertical)
        mVertical->setGeometry(width() - barV, 0, barV, height() - barH);
}

void LScrollerView::FinishCreateSelf()
{
    if (!mScrollingView && mScrollingViewID != 0)
        mScrollingView = dynamic_cast<LView*>(FindPaneByID(mScrollingViewID));
    AdjustScrollBars();
}

void LScrollerView::InstallView(LView* scrollingView)
{
    mScrollingView = scrollingView;
    if (scrollingView) {
        if (scrollingView->GetSuperView() != this)
            scrollingView->PutInside(this);
        scrollingView->PlaceInSuperFrameAt(0, 0, false);
        scrollingView->ResizeFrameTo(width() - (mVertical ? mBarThickness : 0), height() - (mHorizontal ? mBarThickness : 0), false);
        scrollingView->SetFrameBinding({ true, true, true, true });
    }
    AdjustScrollBars();
}

void LScrollerView::AdjustScrollBars()
{
    if (!mScrollingView)
        return;
    mAdjusting = true;
    SDimension32 image = mScrollingView->GetImageSize();
    SPoint32 position = mScrollingView->GetScrollPosition();
    SPoint32 unit = mScrollingView->GetScrollUnit();
    auto adjust = [](QScrollBar* bar, SInt32 imageLength, SInt32 frameLength, SInt32 pos, SInt32 step) {
        if (!bar)
            return;
        bar->setRange(0, std::max(0, imageLength - frameLength));
        bar->setPageStep(std::max(1, frameLength));
        bar->setSingleStep(std::max(1, step));
        bar->setValue(pos);
        bar->setEnabled(imageLength > frameLength);
    };
    adjust(mHorizontal, image.width, mScrollingView->width(), position.h, unit.h);
    adjust(mVertical, image.height, mScrollingView->height(), position.v, unit.v);
    mAdjusting = false;
}

void LScrollerView::BarMoved()
{
    if (mAdjusting || !mScrollingView)
        return;
    SPoint32 position = mScrollingView->GetScrollPosition();
    SInt32 left = mHorizontal ? mHorizontal->value() : position.h;
    SInt32 top = mVertical ? mVertical->value() : position.v;
    mScrollingView->ScrollPinnedImageTo(left, top, true);
}

void LScrollerView::SubImageChanged(LView* subView)
{
    if (subView == mScrollingView)
        AdjustScrollBars();
}

void LScrollerView::ResizeFrameBy(SInt32 dWidth, SInt32 dHeight, bool refresh)
{
    LView::ResizeFrameBy(dWidth, dHeight, refresh);
    PlaceBars();
    AdjustScrollBars();
}

void LScrollerView::wheelEvent(QWheelEvent* event)
{
    if (!mScrollingView) {
        event->ignore();
        return;
    }
    // One notch (120) scrolls three scroll units.
    QPoint delta = event->angleDelta();
    SPoint32 unit = mScrollingView->GetScrollUnit();
    SInt32 dh = -delta.x() * 3 * std::max(1, unit.h) / 120;
    SInt32 dv = -delta.y() * 3 * std::max(1, unit.v) / 120;
    mScrollingView->ScrollPinnedImageBy(dh, dv, true);
    event->accept();
}
