#include "ErrorHook.h"
#include "ExceptionCode.h"
#include "LAttachment.h"
#include "LBroadcaster.h"
#include "LPeriodical.h"
#include "UReportErrors.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <stdexcept>
#include <vector>

namespace {

struct Recorder : LListener {
    explicit Recorder(std::vector<std::pair<int, MessageT>>* log, int id)
        : log(log)
        , id(id)
    {
    }
    void ListenToMessage(MessageT message, void*) override
    {
        log->push_back({ id, message });
        if (onHear)
            onHear(message);
    }
    std::vector<std::pair<int, MessageT>>* log;
    int id;
    std::function<void(MessageT)> onHear;
};

void SpinFor(int milliseconds, const std::function<bool()>& until = {})
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (until && until())
            return;
    }
}

} // namespace

TEST(Broadcaster, ListenersHearInTheOrderTheyWereAdded)
{
    std::vector<std::pair<int, MessageT>> log;
    LBroadcaster broadcaster;
    Recorder a(&log, 1), b(&log, 2), c(&log, 3);
    broadcaster.AddListener(&a);
    broadcaster.AddListener(&b);
    broadcaster.AddListener(&c);
    broadcaster.AddListener(&b); // a second add changes nothing
    broadcaster.BroadcastMessage(3002);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].first, 1);
    EXPECT_EQ(log[1].first, 2);
    EXPECT_EQ(log[2].first, 3);
}

TEST(Broadcaster, ListenerRemovedDuringBroadcastHearsNoMore)
{
    std::vector<std::pair<int, MessageT>> log;
    LBroadcaster broadcaster;
    Recorder a(&log, 1), b(&log, 2);
    auto* c = new Recorder(&log, 3);
    broadcaster.AddListener(&a);
    broadcaster.AddListener(&b);
    broadcaster.AddListener(c);
    // The first listener removes the second and deletes the third while the message travels.
    a.onHear = [&](MessageT) {
        broadcaster.RemoveListener(&b);
        delete c;
        c = nullptr;
    };
    broadcaster.BroadcastMessage(8008);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].first, 1);
    EXPECT_FALSE(broadcaster.HasListener(&b));
    EXPECT_EQ(broadcaster.CountListeners(), 1);
}

TEST(Broadcaster, BroadcasterDeletedByItsListenerEndsTheBroadcast)
{
    std::vector<std::pair<int, MessageT>> log;
    auto* broadcaster = new LBroadcaster;
    Recorder a(&log, 1), b(&log, 2);
    broadcaster->AddListener(&a);
    broadcaster->AddListener(&b);
    a.onHear = [&](MessageT message) {
        if (message == 7) {
            delete broadcaster;
            broadcaster = nullptr;
        }
    };
    broadcaster->BroadcastMessage(7);
    // a heard 7, then both heard that the broadcaster died; b never heard 7.
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], std::make_pair(1, MessageT(7)));
    EXPECT_EQ(log[1], std::make_pair(1, msg_BroadcasterDied));
    EXPECT_EQ(log[2], std::make_pair(2, msg_BroadcasterDied));
    EXPECT_FALSE(a.HasBroadcaster(broadcaster));
}

TEST(Broadcaster, StoppedListenerAndStoppedBroadcasterAreSilent)
{
    std::vector<std::pair<int, MessageT>> log;
    LBroadcaster broadcaster;
    Recorder a(&log, 1);
    broadcaster.AddListener(&a);
    a.StopListening();
    broadcaster.BroadcastMessage(1);
    a.StartListening();
    broadcaster.StopBroadcasting();
    broadcaster.BroadcastMessage(2);
    broadcaster.StartBroadcasting();
    broadcaster.BroadcastMessage(3);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].second, 3);
}

TEST(Broadcaster, DeletedListenerLeavesTheBroadcaster)
{
    std::vector<std::pair<int, MessageT>> log;
    LBroadcaster broadcaster;
    {
        Recorder a(&log, 1);
        broadcaster.AddListener(&a);
        EXPECT_EQ(broadcaster.CountListeners(), 1);
    }
    EXPECT_EQ(broadcaster.CountListeners(), 0);
    broadcaster.BroadcastMessage(1); // must not touch the dead listener
    EXPECT_TRUE(log.empty());
}

namespace {
struct Counter : LPeriodical {
    int calls = 0;
    OSStatus throwCode = noErr;
    std::function<void()> onSpend;
    void SpendTime(const EventRecord&) override
    {
        ++calls;
        if (onSpend)
            onSpend();
        if (throwCode != noErr)
            ThrowOSErr_(throwCode);
    }
};

struct HookCapture {
    HookCapture()
    {
        SetErrorReportHook([this](OSStatus code) { codes.push_back(code); });
    }
    ~HookCapture() { SetErrorReportHook(nullptr); }
    std::vector<OSStatus> codes;
};
} // namespace

TEST(Periodical, IdlersAndRepeatersGetTimeUntilStopped)
{
    Counter idler, repeater;
    idler.StartIdling();
    repeater.StartRepeating();
    EXPECT_TRUE(idler.IsIdling());
    EXPECT_TRUE(repeater.IsRepeating());
    EXPECT_FALSE(idler.IsRepeating());
    SpinFor(2000, [&] { return idler.calls >= 3 && repeater.calls >= 3; });
    EXPECT_GE(idler.calls, 3);
    EXPECT_GE(repeater.calls, 3);

    EXPECT_TRUE(LPeriodical::IsDriverRunning());
    idler.StopIdling();
    EXPECT_TRUE(LPeriodical::IsDriverRunning()); // the repeater still needs it
    repeater.StopRepeating();
    EXPECT_FALSE(LPeriodical::IsDriverRunning()); // nothing left: no timer wakes the program
    int idleCalls = idler.calls, repeatCalls = repeater.calls;
    SpinFor(100);
    EXPECT_EQ(idler.calls, idleCalls);
    EXPECT_EQ(repeater.calls, repeatCalls);
    {
        Counter passing;
        passing.StartIdling();
        EXPECT_TRUE(LPeriodical::IsDriverRunning());
    } // deleted while idling
    EXPECT_FALSE(LPeriodical::IsDriverRunning());
}

TEST(Periodical, IntervalRepeaterFiresOnItsTimer)
{
    Counter periodical;
    periodical.StartRepeating(0.02);
    EXPECT_TRUE(periodical.IsRepeating());
    SpinFor(3000, [&] { return periodical.calls >= 2; });
    EXPECT_GE(periodical.calls, 2);
    periodical.StopRepeating();
    EXPECT_FALSE(periodical.IsRepeating());
}

TEST(Periodical, EscapedCodeIsReportedAndTheLoopGoesOn)
{
    HookCapture hook;
    Counter failing;
    failing.throwCode = 'nilP';
    failing.StartRepeating();
    SpinFor(2000, [&] { return failing.calls >= 2; });
    failing.StopRepeating();
    ASSERT_GE(failing.calls, 2);
    ASSERT_GE(hook.codes.size(), 2u);
    EXPECT_EQ(hook.codes[0], OSStatus('nilP'));
}

TEST(Periodical, PeriodicalDeletedByAnotherInTheSamePassIsSkipped)
{
    Counter first;
    auto* second = new Counter;
    first.onSpend = [&] {
        delete second;
        second = nullptr;
        first.StopRepeating();
    };
    first.StartRepeating();
    second->StartRepeating();
    EventRecord event;
    LPeriodical::DevoteTimeToRepeaters(event);
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second, nullptr);
}

namespace {
struct Task : LTimerTask {
    int fired = 0;
    bool removeOnFire = false;
    void ExecuteTask() override
    {
        ++fired;
        if (removeOnFire)
            RemoveTimer();
    }
};
} // namespace

TEST(TimerTask, OneShotFiresOnceAndRepeatingUntilRemoved)
{
    Task once;
    once.InstallTimer(0.0);
    Task repeating;
    repeating.removeOnFire = false;
    repeating.InstallTimer(0.0, 0.01);
    SpinFor(3000, [&] { return once.fired >= 1 && repeating.fired >= 3; });
    SpinFor(50);
    EXPECT_EQ(once.fired, 1);
    EXPECT_FALSE(once.IsTimerInstalled());
    EXPECT_GE(repeating.fired, 3);
    repeating.RemoveTimer();
    int fired = repeating.fired;
    SpinFor(60);
    EXPECT_EQ(repeating.fired, fired);
}

TEST(TimerTask, TaskThatRemovesItsOwnTimerStops)
{
    Task task;
    task.removeOnFire = true;
    task.InstallTimer(0.0, 0.01);
    SpinFor(3000, [&] { return task.fired >= 1; });
    SpinFor(60);
    EXPECT_EQ(task.fired, 1);
}

namespace {
struct Host : LAttachable {
    int actions = 0;
    void Click()
    {
        if (ExecuteAttachments(msg_Click, nullptr))
            ++actions;
    }
};

struct Blocker : LAttachment {
    explicit Blocker(int* seen)
        : LAttachment(msg_Click, false)
        , seen(seen)
    {
    }
    void ExecuteSelf(MessageT, void*) override { ++*seen; }
    int* seen;
};

struct Watcher : LAttachment {
    explicit Watcher(int* seen, bool* alive)
        : LAttachment(msg_AnyMessage, true)
        , seen(seen)
        , alive(alive)
    {
        *alive = true;
    }
    ~Watcher() override { *alive = false; }
    void ExecuteSelf(MessageT, void*) override { ++*seen; }
    int* seen;
    bool* alive;
};
} // namespace

TEST(Attachment, AttachmentCanStopItsHostsClick)
{
    int blocked = 0, watched = 0;
    bool watcherAlive = false;
    {
        Host host;
        host.AddAttachment(new Watcher(&watched, &watcherAlive));
        host.Click();
        EXPECT_EQ(host.actions, 1);
        auto* blocker = new Blocker(&blocked);
        host.AddAttachment(blocker);
        host.Click();
        EXPECT_EQ(host.actions, 1); // stopped
        EXPECT_EQ(blocked, 1);
        EXPECT_EQ(watched, 2); // every attachment ran
        // A message the blocker does not wait for leaves the host free.
        EXPECT_TRUE(host.ExecuteAttachments(msg_KeyPress, nullptr));
        host.RemoveAttachment(blocker);
        delete blocker;
        host.Click();
        EXPECT_EQ(host.actions, 2);
    }
    EXPECT_FALSE(watcherAlive); // owned attachments die with the host
}

TEST(ReportingErrors, TheReasonTravelsWithTheCodeAndCancelsStaySilent)
{
    std::vector<ExceptionCode> reported;
    SetErrorReportHook([&](const ExceptionCode& error) { reported.push_back(error); });
    RunReportingErrors([] { ThrowOSErr_(-43, "thumbs/12.pct"); });
    RunReportingErrors([] { throw std::runtime_error("no decoder"); });
    RunReportingErrors([] { ThrowOSErr_(userCanceledErr, "the user pressed Escape"); });
    RunReportingErrors([] {});
    SetErrorReportHook(nullptr);
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0].Code(), -43);
    EXPECT_EQ(reported[0].Context(), "thumbs/12.pct");
    EXPECT_EQ(reported[1].Code(), paramErr);
    EXPECT_EQ(reported[1].Context(), "std::runtime_error: no decoder");
}
