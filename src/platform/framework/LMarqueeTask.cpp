#include "LMarqueeTask.h"

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QRubberBand>
#include <algorithm>

LMarqueeTask::LMarqueeTask(LMarqueeReceiver& receiver, LPane* area, const SMouseDownEvent& mouseDown)
    : mReceiver(receiver)
    , mArea(area)
    , mAnchor(mouseDown.whereLocal)
    , mCurrent(mouseDown.whereLocal)
    , mModifiers(mouseDown.macEvent.modifiers)
{
    mMarquee = MakeRect(mAnchor.v, mAnchor.h, mAnchor.v, mAnchor.h);
}

LMarqueeTask::~LMarqueeTask()
{
    delete mBand;
}

void LMarqueeTask::Step(Point localPoint)
{
    if (localPoint == mCurrent)
        return;
    mCurrent = localPoint;
    Rect next = MakeRect(std::min(mAnchor.v, mCurrent.v), std::min(mAnchor.h, mCurrent.h),
        std::max(mAnchor.v, mCurrent.v), std::max(mAnchor.h, mCurrent.h));
    mReceiver.FocusMarqueeArea();
    if (mReceiver.CheckSelectionChanged(*this, mMarquee, next))
        mReceiver.UpdateSelection(*this, mMarquee, next);
    mMarquee = next;
    if (mArea) {
        if (!mBand)
            mBand = new QRubberBand(QRubberBand::Rectangle, mArea);
        mBand->setGeometry(ToQRect(mMarquee));
        mBand->show();
    }
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
            mTask.Step(FromQPoint(mArea->mapFromGlobal(move->globalPosition().toPoint())));
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
    qApp->installEventFilter(&filter);
    loop.exec();
    qApp->removeEventFilter(&filter);
    Finish();
}
