#include "CoalescedCall.h"

#include <QTimer>

#include <algorithm>

CoalescedCall::CoalescedCall(std::function<void()> call, int minimumIntervalMs)
    : mCall(std::move(call))
    , mInterval(minimumIntervalMs)
    , mTimer(std::make_unique<QTimer>())
{
    mTimer->setSingleShot(true);
    mTimer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire early and run too often
    QObject::connect(mTimer.get(), &QTimer::timeout, [this] { Run(); });
}

CoalescedCall::~CoalescedCall() = default;

void CoalescedCall::Request()
{
    if (mTimer->isActive())
        return;
    const qint64 since = mLastRun.isValid() ? mLastRun.elapsed() : mInterval;
    mTimer->start(int(std::max<qint64>(0, mInterval - since)));
}

bool CoalescedCall::IsPending() const
{
    return mTimer->isActive();
}

void CoalescedCall::Cancel()
{
    mTimer->stop();
}

void CoalescedCall::Run()
{
    mLastRun.start();
    mCall();
}
