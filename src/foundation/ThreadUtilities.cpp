#include "ThreadUtilities.h"

#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "LPeriodical.h"
#include "LSemaphore.h"
#include "LThread.h"
#include "TickCount.h"
#include "UReportErrors.h"
#include "WorkerPool.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QInputEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QThread>

#include <memory>
#include <utility>
#include <vector>

Boolean gAllowTimerYield = true;
UInt32 gLastCancelCheckTicks = 0;

namespace {

// More than this many ticks between two looks at the event queue.
constexpr UInt32 kCancelCheckTicks = 30;

LEventLoopTimer& YieldTimer()
{
    static LEventLoopTimer timer;
    return timer;
}

LEventLoopTimer& QuitTimer()
{
    static LEventLoopTimer timer;
    return timer;
}

std::function<void()>& QuitHandler()
{
    static std::function<void()> handler;
    return handler;
}

bool IsCancelKey(const QKeyEvent& key)
{
    if (key.key() == Qt::Key_Escape)
        return true;
    return key.key() == Qt::Key_Period && (key.modifiers() & Qt::ControlModifier);
}

// While the queue is looked through, user input is taken out of the way: a
// cancel key is noted and dropped, anything else is kept and posted again
// afterwards, so that a busy loop neither loses nor reacts to the user's clicks
// and keys. Input for a nested event loop (a dialog opened meanwhile) is left alone.
class CancelKeyScanner : public QObject {
public:
    bool Scan()
    {
        mLoopLevel = QThread::currentThread()->loopLevel();
        mFoundCancel = false;
        qApp->installEventFilter(this);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        qApp->removeEventFilter(this);
        for (auto& [receiver, event] : std::exchange(mDeferred, {}))
            if (receiver)
                QCoreApplication::postEvent(receiver, event.release());
        return mFoundCancel;
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (!event->isInputEvent() || QThread::currentThread()->loopLevel() != mLoopLevel)
            return false;
        if (event->type() == QEvent::KeyPress && IsCancelKey(static_cast<QKeyEvent&>(*event))) {
            mFoundCancel = true;
            return true;
        }
        if (event->type() == QEvent::KeyRelease && IsCancelKey(static_cast<QKeyEvent&>(*event)))
            return true;
        mDeferred.emplace_back(QPointer<QObject>(receiver), std::unique_ptr<QEvent>(event->clone()));
        return true;
    }

private:
    int mLoopLevel = 0;
    bool mFoundCancel = false;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> mDeferred;
};

} // namespace

void YieldToOtherThreads()
{
    LThread::Yield();
}

void InstallThreadYieldTimer(EventTimerInterval interval)
{
    YieldTimer().Install(0, interval, &ThreadYieldTimerProc);
    // A finished worker job is a reason to yield at once, under the same conditions.
    WorkerPool::SetResultsReadyHandler([] { RunReportingErrors(&ThreadYieldTimerProc); });
}

void RemoveThreadYieldTimer()
{
    YieldTimer().Remove();
    WorkerPool::SetResultsReadyHandler(nullptr);
}

void ThreadYieldTimerProc()
{
    if (!gAllowTimerYield)
        return;
    if (QGuiApplication::mouseButtons() != Qt::NoButton && IsFrontProcess())
        return;
    // The timer may fire inside a task thread's own nested loop: the round
    // must then run in place, which this scope tells the scheduler.
    StEventCallback callback;
    YieldToOtherThreads();
}

Boolean IsFrontProcess()
{
    return QGuiApplication::applicationState() == Qt::ApplicationActive;
}

void InstallDeferredQuitTimer(EventTimerInterval delay)
{
    QuitTimer().Install(delay, 0, [] {
        if (QuitHandler())
            QuitHandler()();
        else
            QCoreApplication::quit();
    });
}

void SetDeferredQuitHandler(std::function<void()> handler)
{
    QuitHandler() = std::move(handler);
}

void CheckUserCancel()
{
    UInt32 now = TickCount();
    if (now - gLastCancelCheckTicks <= kCancelCheckTicks)
        return;
    gLastCancelCheckTicks = now;
    if (CheckEventQueueForUserCancel())
        ThrowOSErr_(kMsgUserCancelled);
}

Boolean CheckEventQueueForUserCancel()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    CancelKeyScanner scanner;
    return scanner.Scan();
}

StSemaphoreLock::StSemaphoreLock(LSemaphore& semaphore, SInt32 milliseconds) : mSemaphore(semaphore)
{
    for (;;) {
        OSStatus result = mSemaphore.Wait(milliseconds);
        if (result == noErr)
            return;
        if (!(milliseconds == semaphore_WaitForever && result == errSemaphoreTimedOut))
            ThrowOSErr_(result);
    }
}

StSemaphoreLock::~StSemaphoreLock()
{
    try {
        mSemaphore.Signal();
    } catch (const ExceptionCode& e) {
        // Only a mutex released by a thread that does not hold it throws here.
        qWarning("Orvex: semaphore lock released by a non-owner (%s)", e.what());
    }
}
