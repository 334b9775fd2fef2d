#include "LMarqueeTask.h"

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QRubberBand>
#include <algorithm>
#include <cstdlib>

LMarqueeTask::LMarqueeTask(LMarqueeReceiver& receiver, LPane* area, const SMouseDownEvent& mouseDown)
    : mReceiver(receiver)
    , mArea(area)
    , mAnchor(mouseDown.whereLocal)
    , mCurrent(mouseDown.whereLocal)
    , mModifiers(mouseDown.macEvent.modifiers)
{
    mMarquee = QRect(mAnchor, QSize(0, 0));
}

LMarqueeTask::~LMarqueeTask()
{
    delete mBand;
}

void LMarqueeTask::Step(QPoint localPoint)
{
    if (localPoint == mCurrent)
        return;
    mCurrent = localPoint;
    const QPoint topLeft(std::min(mAnchor.x(), mCurrent.x()), std::min(mAnchor.y(), mCurrent.y()));
    const QRect next(topLeft, QSize(std::abs(mCurrent.x() - mAnchor.x()), std::abs(mCurrent.y() - mAnchor.y())));
    mReceiver.FocusMarqueeArea();
    if (mReceiver.CheckSelectionChanged(*this, mMarquee, next))
        mReceiver.UpdateSelection(*this, mMarquee, next);
    mMarquee = next;
    if (mArea) {
        if (!mBand)
            mBand = new QRubberBand(QRubberBand::Rectangle, mArea);
        mBand->setGeometry(mMarquee);
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
    qApp->installEventFilter(&filter);
    loop.exec();
    qApp->removeEventFilter(&filter);
    Finish();
}
