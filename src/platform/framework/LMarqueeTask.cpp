#include "LMarqueeTask.h"

#include "LView.h"

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
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

namespace {
// Follows the mouse for the marquee until the button goes up.
class MarqueeFilter : public QObject {
public:
    MarqueeFilter(LMarqueeTask& task, LPane* area, QEventLoop& loop)
        : mTask(task)
        , mArea(area)
        , mLoop(loop)
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseMove) {
            auto* move = static_cast<QMouseEvent*>(event);
            mTask.Step(mArea->mapFromGlobal(move->globalPosition().toPoint()));
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            mLoop.quit();
            return true;
        }
        return false;
    }

private:
    LMarqueeTask& mTask;
    LPane* mArea;
    QEventLoop& mLoop;
};
} // namespace

void LMarqueeTask::DoMarquee()
{
    if (!mArea || QApplication::mouseButtons() == Qt::NoButton) {
        Finish();
        return;
    }
    QEventLoop loop;
    MarqueeFilter filter(*this, mArea, loop);
    QTimer autoScroll;
    autoScroll.setInterval(kAutoScrollMilliseconds);
    QObject::connect(&autoScroll, &QTimer::timeout, [this] { AutoScroll(); });
    mAutoScrollTimer = &autoScroll;
    if (IsOutside())
        autoScroll.start();
    qApp->installEventFilter(&filter);
    loop.exec();
    qApp->removeEventFilter(&filter);
    mAutoScrollTimer = nullptr;
    Finish();
}
