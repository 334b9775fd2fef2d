#include "LPeriodical.h"

#include "UReportErrors.h"

#include <QGuiApplication>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct PeriodicalLists {
    std::vector<LPeriodical*> idlers;
    std::vector<LPeriodical*> repeaters;
    QTimer* driver = nullptr;
};

PeriodicalLists& Lists()
{
    static PeriodicalLists lists;
    return lists;
}

bool Contains(const std::vector<LPeriodical*>& list, const LPeriodical* p)
{
    return std::find(list.begin(), list.end(), p) != list.end();
}

void Erase(std::vector<LPeriodical*>& list, const LPeriodical* p)
{
    list.erase(std::remove(list.begin(), list.end(), p), list.end());
}

EventRecord NullEvent()
{
    EventRecord event;
    event.what = nullEvent;
    event.when = TickCount();
    event.modifiers = CurrentModifiers();
    return event;
}

// One driver timer for all idlers and repeaters; it runs only while there are any.
void UpdateDriver()
{
    PeriodicalLists& lists = Lists();
    bool needed = !lists.idlers.empty() || !lists.repeaters.empty();
    if (needed && !lists.driver) {
        lists.driver = new QTimer();
        lists.driver->setInterval(LPeriodical::kPassInterval);
        QObject::connect(lists.driver, &QTimer::timeout, [] {
            EventRecord event = NullEvent();
            LPeriodical::DevoteTimeToRepeaters(event);
            if (QGuiApplication::mouseButtons() == Qt::NoButton)
                LPeriodical::DevoteTimeToIdlers(event);
        });
    }
    if (!lists.driver)
        return;
    if (needed && !lists.driver->isActive())
        lists.driver->start();
    else if (!needed)
        lists.driver->stop();
}

int Milliseconds(double seconds)
{
    return int(std::lround(std::max(0.0, seconds) * 1000.0));
}

} // namespace

void QTimerDeleter::operator()(QTimer* timer) const
{
    timer->stop();
    QObject::disconnect(timer, nullptr, nullptr, nullptr);
    timer->deleteLater();
}

LPeriodical::LPeriodical() = default;

bool LPeriodical::IsDriverRunning()
{
    return Lists().driver && Lists().driver->isActive();
}

LPeriodical::~LPeriodical()
{
    Erase(Lists().idlers, this);
    Erase(Lists().repeaters, this);
    UpdateDriver();
}

void LPeriodical::StartIdling()
{
    mIdleTimer.reset();
    if (!Contains(Lists().idlers, this))
        Lists().idlers.push_back(this);
    UpdateDriver();
}

void LPeriodical::StartIdling(double seconds)
{
    Erase(Lists().idlers, this);
    UpdateDriver();
    mIdleTimer = MakeTimer(seconds);
}

void LPeriodical::StopIdling()
{
    mIdleTimer.reset();
    Erase(Lists().idlers, this);
    UpdateDriver();
}

bool LPeriodical::IsIdling() const
{
    return mIdleTimer != nullptr || Contains(Lists().idlers, this);
}

void LPeriodical::StartRepeating()
{
    mRepeatTimer.reset();
    if (!Contains(Lists().repeaters, this))
        Lists().repeaters.push_back(this);
    UpdateDriver();
}

void LPeriodical::StartRepeating(double seconds)
{
    Erase(Lists().repeaters, this);
    UpdateDriver();
    mRepeatTimer = MakeTimer(seconds);
}

void LPeriodical::StopRepeating()
{
    mRepeatTimer.reset();
    Erase(Lists().repeaters, this);
    UpdateDriver();
}

bool LPeriodical::IsRepeating() const
{
    return mRepeatTimer != nullptr || Contains(Lists().repeaters, this);
}

TimerPtr LPeriodical::MakeTimer(double seconds)
{
    TimerPtr timer(new QTimer());
    timer->setInterval(Milliseconds(seconds));
    QObject::connect(timer.get(), &QTimer::timeout, [this] { CallSpendTime(NullEvent()); });
    timer->start();
    return timer;
}

void LPeriodical::CallSpendTime(const EventRecord& event)
{
    RunReportingErrors([&] { SpendTime(event); });
}

void LPeriodical::DevoteTimeToIdlers(const EventRecord& event)
{
    const std::vector<LPeriodical*> idlers = Lists().idlers;
    for (LPeriodical* p : idlers) {
        // A periodical removed (or deleted) by an earlier one in this pass is skipped.
        if (Contains(Lists().idlers, p))
            p->CallSpendTime(event);
    }
}

void LPeriodical::DevoteTimeToRepeaters(const EventRecord& event)
{
    const std::vector<LPeriodical*> repeaters = Lists().repeaters;
    for (LPeriodical* p : repeaters) {
        if (Contains(Lists().repeaters, p))
            p->CallSpendTime(event);
    }
}

LEventLoopTimer::~LEventLoopTimer()
{
    Remove();
}

void LEventLoopTimer::Install(double firstDelay, double interval, std::function<void()> callback)
{
    Remove();
    mCallback = std::move(callback);
    mInterval = interval;
    SetNextFireTime(firstDelay);
}

void LEventLoopTimer::SetNextFireTime(double seconds)
{
    if (!mCallback)
        return;
    mRepeat.reset();
    mFirst.reset(new QTimer());
    mFirst->setSingleShot(true);
    mFirst->setInterval(Milliseconds(seconds));
    QObject::connect(mFirst.get(), &QTimer::timeout, [this] {
        // The callback may remove or reinstall this timer; keep what it needs first.
        if (mInterval > 0) {
            mRepeat.reset(new QTimer());
            mRepeat->setInterval(Milliseconds(mInterval));
            QObject::connect(mRepeat.get(), &QTimer::timeout, [this] {
                std::function<void()> callback = mCallback;
                RunReportingErrors(callback);
            });
            mRepeat->start();
        }
        std::function<void()> callback = mCallback;
        if (mInterval <= 0)
            mCallback = nullptr;
        mFirst.reset();
        RunReportingErrors(callback);
    });
    mFirst->start();
}

void LEventLoopTimer::Remove()
{
    mFirst.reset();
    mRepeat.reset();
    mCallback = nullptr;
}

bool LEventLoopTimer::IsInstalled() const
{
    return mFirst != nullptr || mRepeat != nullptr;
}

void LTimerTask::InstallTimer(double firstDelay, double interval)
{
    mTimer.Install(firstDelay, interval, [this] { ExecuteTask(); });
}
