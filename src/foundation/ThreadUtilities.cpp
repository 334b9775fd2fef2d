#include "ThreadUtilities.h"

#include "LCommander.h"

#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "LPeriodical.h"
#include "LSemaphore.h"
#include "LThread.h"
#include "RawDecoder.h"
#include "TickCount.h"
#include "UReportErrors.h"
#include "WorkerPool.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QInputEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <qpa/qwindowsysteminterface.h>
#include <qpa/qwindowsysteminterface_p.h>

#include <glib.h>
#include <malloc.h>

#include <atomic>
#include <exception>
#include <thread>
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

// A key, a click or a scroll waits in the window system's queue (not a repaint
// or a window's move, which come all the time while the tasks run).
bool UserInputWaits()
{
    using Queue = QWindowSystemInterfacePrivate;
    if (QWindowSystemInterface::windowSystemEventsQueued() == 0)
        return false;
    for (Queue::EventType type : { Queue::Key, Queue::Mouse, Queue::Wheel, Queue::Touch, Queue::Tablet }) {
        if (Queue::peekWindowSystemEvent(type))
            return true;
    }
    return false;
}

// Every round runs from this one single-shot timer, started after a round that
// leaves threads ready, by the yield timer's tick and by a finished worker job:
// the tasks work on at full speed, and the window sees every event between two
// rounds (a timer started while a turn of the event loop fires its timers is
// not due before the next turn, so two causes falling together run one round).
QTimer& NextRoundTimer()
{
    static QPointer<QTimer> timer;
    if (!timer) {
        timer = new QTimer(QCoreApplication::instance());
        timer->setSingleShot(true);
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, [] {
            // Input that came while the last round ran is taken first: the event
            // loop's turn fires its timers before it delivers the window system's
            // events, so the round would otherwise run again ahead of a key or a
            // click. Only from the outermost loop's own turn, where the input is
            // delivered next anyway; a nested loop may be keeping it waiting.
            if (UserInputWaits() && QThread::currentThread()->loopLevel() <= 1 && g_main_depth() <= 1)
                QWindowSystemInterface::sendWindowSystemEvents(QEventLoop::AllEvents);
            RunReportingErrors(&ThreadYieldTimerProc);
        });
    }
    return *timer;
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

// A loop that checks for cancel looks at least this often; a program that has
// not looked for longer is not busy, and a cancel key then meant something else.
constexpr UInt32 kBusyLookTicks = 2 * kCancelCheckTicks;

// Watches every event the program delivers for the cancel keys and notes them.
// Input reaches its widgets as usual (task threads yield to the event loop all
// the time, so keys arrive between looks); only while a look is delivering the
// waiting events is a cancel key kept from its widget, as it was meant for the
// loop. A key noted while the program is idle (Escape closing a dialog) is
// forgotten as soon as the event loop waits again.
class CancelKeyWatcher : public QObject {
public:
    static CancelKeyWatcher& Instance()
    {
        static CancelKeyWatcher* watcher = [] {
            auto* w = new CancelKeyWatcher(qApp);
            qApp->installEventFilter(w);
            if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
                QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, w, [w] {
                    if (!w->mLooking && TickCount() - gLastCancelCheckTicks > kBusyLookTicks)
                        w->mPressed = false;
                });
            }
            return w;
        }();
        return *watcher;
    }

    // Delivers the waiting events and answers whether a cancel key came, now or
    // since the last look of the same busy stretch. A key noted before a first
    // look came while nothing was busy (Escape closing a dialog just before a
    // command that looks): it is forgotten.
    bool Look(UInt32 previousLookTicks)
    {
        if (TickCount() - previousLookTicks > kBusyLookTicks)
            mPressed = false;
        mLooking = true;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        mLooking = false;
        return std::exchange(mPressed, false);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const bool press = event->type() == QEvent::KeyPress;
        if (!press && event->type() != QEvent::KeyRelease)
            return false;
        if (!IsCancelKey(static_cast<QKeyEvent&>(*event)))
            return false;
        if (press)
            mPressed = true;
        return mLooking;
    }

private:
    using QObject::QObject;

    bool mPressed = false;
    bool mLooking = false;
};

bool LookForUserCancel(UInt32 previousLookTicks)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    return CancelKeyWatcher::Instance().Look(previousLookTicks);
}

} // namespace

void YieldToOtherThreads()
{
    LThread::Yield();
}

void InstallThreadYieldTimer(EventTimerInterval interval)
{
    // A finished worker job is a reason to yield at once, under the same conditions.
    const auto askForRound = [] {
        if (!NextRoundTimer().isActive())
            NextRoundTimer().start();
    };
    YieldTimer().Install(0, interval, askForRound);
    WorkerPool::SetResultsReadyHandler(askForRound);
}

void RemoveThreadYieldTimer()
{
    YieldTimer().Remove();
    if (QCoreApplication::instance())
        NextRoundTimer().stop();
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
    if (LThread::HasReadyThreads() && YieldTimer().IsInstalled())
        NextRoundTimer().start();
}

void GiveFreedMemoryBack()
{
    WorkerPool::LetGo([] { ::malloc_trim(0); });
}

StHeapsTrimmedAsFreed::StHeapsTrimmedAsFreed()
{
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024);
}

StHeapsTrimmedAsFreed::~StHeapsTrimmedAsFreed()
{
    // The thresholds the heap's own rise to once a large index is open (setting
    // one ends their rising): large blocks again come from the heap, which spares
    // the window fresh pages. A save maps its own buffers apart each time.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
}

void MergeFreedBlocksAtOnce()
{
    // No fast bins: glibc keeps small freed blocks there unmerged until a large
    // request merges them all.
    mallopt(M_MXFAST, 0);
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
    const UInt32 previousLook = std::exchange(gLastCancelCheckTicks, now);
    if (LookForUserCancel(previousLook)) {
        // A raw decode running meanwhile (on a worker, for a task) ends too; it only
        // reads this flag, so no events ever run inside the decoder.
        RawDecoder::RequestCancel();
        ThrowOSErr_(kMsgUserCancelled);
    }
}

Boolean CheckEventQueueForUserCancel()
{
    return LookForUserCancel(gLastCancelCheckTicks);
}

StWindowLive::StWindowLive(Input input, std::function<void()> afterEvents)
    : mAllowedYield(std::exchange(gAllowTimerYield, false))
    , mLastEvents(ClockMilliseconds())
    , mInput(input)
    , mAfterEvents(std::move(afterEvents))
{
    if (mInput == Input::Taken)
        mCommandsHeld = std::make_unique<StCommandsHeld>();
}

int StWindowLive::EventFlags() const
{
    return mInput == Input::Taken ? int(QEventLoop::AllEvents) : int(QEventLoop::ExcludeUserInputEvents);
}

StWindowLive::~StWindowLive()
{
    gAllowTimerYield = mAllowedYield;
}

void StWindowLive::HandleEventsIfDue()
{
    if (ClockMilliseconds() - mLastEvents >= kEventsMilliseconds)
        HandleEvents();
}

void StWindowLive::HandleEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::ProcessEventsFlags(EventFlags()));
    mLastEvents = ClockMilliseconds();
    if (mAfterEvents)
        mAfterEvents();
}

void StWindowLive::RunOnThreads(std::size_t count, const std::function<void(std::size_t)>& job)
{
    std::vector<std::exception_ptr> failures(count);
    std::atomic<std::size_t> running = count;
    QObject* wake = QCoreApplication::instance();
    std::vector<std::thread> threads;
    threads.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        threads.emplace_back([&, index] {
            try {
                job(index);
            } catch (...) {
                failures[index] = std::current_exception();
            }
            // The last one wakes the event loop that waits for it.
            if (--running == 0 && wake)
                QMetaObject::invokeMethod(wake, [] {}, Qt::QueuedConnection);
        });
    }
    while (running > 0) {
        if (wake)
            QCoreApplication::processEvents(QEventLoop::ProcessEventsFlags(EventFlags()) | QEventLoop::WaitForMoreEvents);
        else
            std::this_thread::yield();
    }
    for (std::thread& thread : threads)
        thread.join();
    mLastEvents = ClockMilliseconds();
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
    if (mAfterEvents)
        mAfterEvents();
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
