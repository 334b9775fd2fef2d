#include "LMarqueeTask.h"

#include "LView.h"
#include "UEvents.h"

#include <QApplication>
#include <QRubberBand>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

LMarqueeTask::LMarqueeTask(LMarqueeReceiver& receiver, LPane* area, const SMouseDownEvent& mouseDown)
    : mReceiver(receiver)
    , mArea(area)
    , mCurrent(mouseDown.whereLocal)
    , mModifiers(mouseDown.macEvent.modifiers)
{
    mAnchor = mouseDown.whereLocal + Scroll();
    mMarquee = QRect(mAnchor, QSize(0, 0));
}

LMarqueeTask::~LMarqueeTask()
{
    delete mBand;
}

QPoint LMarqueeTask::Scroll() const
{
    auto* view = dynamic_cast<LView*>(mArea);
    if (!view)
        return {};
    const SPoint32 position = view->GetScrollPosition();
    return { position.h, position.v };
}

void LMarqueeTask::Step(QPoint localPoint)
{
    if (localPoint == mCurrent)
        return;
    mCurrent = localPoint;
    Track();
    if (mAutoScrollTimer) {
        // The image scrolls only while the mouse is held outside the frame.
        if (IsOutside())
            mAutoScrollTimer->start();
        else
            mAutoScrollTimer->stop();
    }
}

void LMarqueeTask::Track()
{
    const QPoint current = mCurrent + Scroll();
    const QPoint topLeft(std::min(mAnchor.x(), current.x()), std::min(mAnchor.y(), current.y()));
    const QRect next(topLeft, QSize(std::abs(current.x() - mAnchor.x()), std::abs(current.y() - mAnchor.y())));
    mReceiver.FocusMarqueeArea();
    const QRect before = ToLocal(mMarquee);
    const QRect after = ToLocal(next);
    if (mReceiver.CheckSelectionChanged(*this, before, after))
        mReceiver.UpdateSelection(*this, before, after);
    mMarquee = next;
    if (mArea) {
        if (!mBand)
            mBand = new QRubberBand(QRubberBand::Rectangle, mArea);
        mBand->setGeometry(after);
        mBand->show();
    }
}

bool LMarqueeTask::IsOutside() const
{
    return mArea && !mArea->rect().contains(mCurrent);
}

bool LMarqueeTask::AutoScroll()
{
    auto* view = dynamic_cast<LView*>(mArea);
    if (!view || !IsOutside())
        return false;
    // As far as the mouse is outside, so the user sets the speed, but never more
    // than a scroll unit (a row) at a time.
    auto towards = [](int point, int length, SInt32 unit) -> SInt32 {
        const int limit = unit > 0 ? unit : kAutoScrollStep;
        if (point < 0)
            return -std::min(-point, limit);
        if (point >= length)
            return std::min(point - length + 1, limit);
        return 0;
    };
    const SPoint32 unit = view->GetScrollUnit();
    const SInt32 dh = towards(mCurrent.x(), view->width(), unit.h);
    const SInt32 dv = towards(mCurrent.y(), view->height(), unit.v);
    if (!view->ScrollPinnedImageBy(dh, dv, true))
        return false;
    Track();
    return true;
}

void LMarqueeTask::Finish()
{
    if (mBand)
        mBand->hide();
}

void LMarqueeTask::DoMarquee()
{
    if (!mArea || QApplication::mouseButtons() == Qt::NoButton) {
        Finish();
        return;
    }
    QTimer autoScroll;
    autoScroll.setInterval(kAutoScrollMilliseconds);
    QObject::connect(&autoScroll, &QTimer::timeout, [this] { AutoScroll(); });
    mAutoScrollTimer = &autoScroll;
    if (IsOutside())
        autoScroll.start();
    TrackMouseUntilRelease([this](QPoint global) { Step(mArea->mapFromGlobal(global)); });
    mAutoScrollTimer = nullptr;
    Finish();
}
