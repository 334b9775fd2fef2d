#include "TaskTestSupport.h"

#include "CFloater.h"
#include "CItemError.h"
#include "CSourceImportTask.h"
#include "ErrorHook.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "LControl.h"
#include "LStdControls.h"
#include "LView.h"
#include "LWindow.h"
#include "LeasedFile.h"
#include "TickCount.h"
#include "WorkerPool.h"

#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleFactory>
#include <QTest>
#include <QToolButton>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::shared_ptr<TaskRecord> NewRecord()
{
    return std::make_shared<TaskRecord>();
}

// Items without files: enough for queues and errors.
std::unique_ptr<CIndexItem> MakeItem(const QString& name)
{
    return std::make_unique<CIndexItem>(QUrl(QStringLiteral("http://example.org/") + name));
}

void ProcessPostedEvents()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// An import whose worker is stuck in a call that does not return: opening a pipe
// that nobody opens for writing, as a card's pipe named like a picture once held it.
class StuckImportTask : public CSourceImportTask {
public:
    StuckImportTask(CIndexModel& model, QString pipe, std::shared_ptr<TaskRecord> record)
        : CSourceImportTask(601, 47, model)
        , mPipe(std::move(pipe))
        , mRecord(std::move(record))
    {
    }
    ~StuckImportTask() override { mRecord->destroyed = true; }

protected:
    void RunTask() override
    {
        struct Guard {
            TaskRecord* record;
            ~Guard()
            {
                if (!record->ended)
                    record->unwound = true;
            }
        } guard {mRecord.get()};
        BeginWork();
        ShowStopButton(true);
        ShowProgress();
        mRecord->started = true;
        char buffer[16];
        WorkerPool::Run([&] {
            const int fd = ::open(QFile::encodeName(mPipe).constData(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                [[maybe_unused]] const ssize_t got = ::read(fd, buffer, sizeof buffer);
                ::close(fd);
            }
        });
        mRecord->ended = true;
    }

private:
    QString mPipe;
    std::shared_ptr<TaskRecord> mRecord;
};

// Opens the pipe for writing and closes it: a reader stuck in opening it goes on.
void ReleasePipeReader(const QString& pipe)
{
    const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
}

} // namespace

// --- Panes and the task window ----------------------------------------------------------------------

// Every index window makes a task whose pane mostly stays hidden: the style's
// media symbols on its buttons are made when the pane is first drawn, not before.
TEST_F(TaskTest, ThePaneButtonsSymbolsAreMadeWhenThePaneIsFirstDrawn)
{
    class CountingStyle : public QProxyStyle {
    public:
        using QProxyStyle::QProxyStyle;
        QIcon standardIcon(StandardPixmap symbol, const QStyleOption* option, const QWidget* widget) const override
        {
            if (symbol == SP_MediaPause || symbol == SP_MediaPlay || symbol == SP_MediaStop)
                ++made;
            return QProxyStyle::standardIcon(symbol, option, widget);
        }
        mutable int made = 0;
    };
    const QString styleName = QApplication::style()->name();
    auto* style = new CountingStyle(QStyleFactory::create(styleName));
    QApplication::setStyle(style);

    bool release = false;
    auto record = NewRecord();
    ScriptTask* task = MakeTask(record, [&release](ScriptTask&) {
        while (!release)
            LThread::Sleep(5);
    });
    ProcessPostedEvents();
    EXPECT_EQ(style->made, 0) << "symbols made for a pane that is not shown";

    task->ShowProgress();
    ASSERT_TRUE(task->IsProgressShown());
    ASSERT_FALSE(GetTaskWindow()->grab().toImage().isNull());
    EXPECT_GE(style->made, 1);
    auto* pause = dynamic_cast<LControlPane*>(task->GetProgressPane()->FindPaneByID(kPanePauseButton));
    ASSERT_NE(pause, nullptr);
    auto* button = qobject_cast<QToolButton*>(pause->GetControlWidget());
    ASSERT_NE(button, nullptr);
    const QImage symbol = button->icon().pixmap(14).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(symbol.isNull());
    int drawn = 0;
    for (int y = 0; y < symbol.height(); ++y)
        for (int x = 0; x < symbol.width(); ++x)
            drawn += qAlpha(symbol.pixel(x, y)) > 0;
    EXPECT_GT(drawn, 10) << "the pause button shows its symbol";

    release = true;
    ASSERT_TRUE(RunUntil([&] { return record->destroyed; }));
    QApplication::setStyle(QStyleFactory::create(styleName));
}

// The symbols stand out from their buttons under a light palette and a dark one:
// on a dark button they are drawn in the button's light text colour.
TEST_F(TaskTest, ThePaneButtonsSymbolsStandOutUnderEveryPalette)
{
    const QPalette before = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xec));
    dark.setColor(QPalette::Button, QColor(0x3c, 0x3c, 0x3c));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xec));
    for (const QPalette& palette : { QApplication::style()->standardPalette(), dark }) {
        QApplication::setPalette(palette);
        ProcessPostedEvents();
        bool release = false;
        auto record = NewRecord();
        ScriptTask* task = MakeTask(record, [&release](ScriptTask&) {
            while (!release)
                LThread::Sleep(5);
        });
        task->ShowProgress();
        ASSERT_FALSE(GetTaskWindow()->grab().toImage().isNull());
        const int ground = palette.color(QPalette::Button).lightness();
        for (PaneIDT id : { kPanePauseButton, kPaneStopButton }) {
            auto* pane = dynamic_cast<LControlPane*>(task->GetProgressPane()->FindPaneByID(id));
            ASSERT_NE(pane, nullptr);
            auto* button = qobject_cast<QToolButton*>(pane->GetControlWidget());
            ASSERT_NE(button, nullptr);
            const QImage symbol = button->icon().pixmap(14).toImage().convertToFormat(QImage::Format_ARGB32);
            // The symbol's most opaque pixels, against the button's ground.
            int inked = 0, contrast = 0;
            for (int y = 0; y < symbol.height(); ++y)
                for (int x = 0; x < symbol.width(); ++x)
                    if (qAlpha(symbol.pixel(x, y)) > 200) {
                        ++inked;
                        contrast += std::abs(QColor::fromRgba(symbol.pixel(x, y)).lightness() - ground);
                    }
            ASSERT_GT(inked, 5) << "button " << id;
            EXPECT_GT(contrast / inked, 100) << "button " << id << " on a ground of lightness " << ground;
        }
        release = true;
        ASSERT_TRUE(RunUntil([&] { return record->destroyed; }));
    }
    QApplication::setPalette(before);
}

TEST_F(TaskTest, PanesStackInTheWindowAndTheWindowHidesWithTheLast)
{
    auto first = NewRecord();
    auto second = NewRecord();
    bool release = false;
    auto waitBody = [&release](ScriptTask& task) {
        task.ShowProgress();
        while (!release)
            LThread::Sleep(5);
    };
    ScriptTask* a = MakeTask(first, waitBody);
    ASSERT_TRUE(RunUntil([&] { return a->IsProgressShown(); }));
    // Left by the user at the screen's foot, the window grows with the next pane
    // and stays whole on the screen.
    LWindow* window = GetTaskWindow();
    ASSERT_NE(window, nullptr);
    QWidget* shell = window->GetShell();
    const QRect available = shell->screen()->availableGeometry();
    shell->move(available.left() + 40, available.bottom() + 1 - shell->frameGeometry().height());
    ScriptTask* b = MakeTask(second, waitBody);
    ASSERT_TRUE(RunUntil([&] { return b->IsProgressShown(); }));
    ProcessEventsFor(50);
    EXPECT_TRUE(available.contains(shell->frameGeometry()))
        << shell->frameGeometry().bottom() << " below the screen's " << available.bottom();

    EXPECT_TRUE(IsTaskWindowVisible());
    const SInt32 height = a->GetPaneHeight();
    EXPECT_GT(height, 0);
    EXPECT_EQ(a->GetProgressPane()->GetFrame().top(), 0);
    EXPECT_EQ(b->GetProgressPane()->GetFrame().top(), height);
    EXPECT_EQ(GetShownTasks(), (std::vector<CVisualTask*> {a, b}));

    const int tall = shell->height();
    a->HideProgressPane();
    EXPECT_EQ(b->GetProgressPane()->GetFrame().top(), 0) << "the pane below moves up";
    EXPECT_TRUE(IsTaskWindowVisible());
    ProcessEventsFor(50);
    EXPECT_EQ(shell->height(), tall - height) << "the window shrinks to the pane left";
    b->HideProgressPane();
    EXPECT_FALSE(IsTaskWindowVisible()) << "hiding the last pane hides the window";
    EXPECT_FALSE(a->HoldsSlot());
    EXPECT_EQ(GetParallelSlots().GetCount(), parallelTasks) << "every slot given back";

    release = true;
    ASSERT_TRUE(RunUntil([&] { return first->destroyed && second->destroyed; }));
}

TEST_F(TaskTest, TheTaskWindowShowsRunningPanes)
{
    // Two tasks with progress, drawn offscreen: the window must show both panes
    // with their titles, counts and item names.
    bool release = false;
    auto body = [&release](ScriptTask& task) {
        task.ShowProgress();
        task.SetStatusCaption(601, 3);
        task.SetProgressMax(240);
        task.SetProgress(96);
        task.SetItemCaption(QStringLiteral("IMG_0412.JPG"));
        task.SetCaption6(QStringLiteral("Holidays 2026"));
        while (!release)
            LThread::Sleep(5);
    };
    auto second = [&release](ScriptTask& task) {
        task.ShowProgress();
        task.SetTitleCaption(601, 20);
        task.SetStatusCaption(601, 4);
        task.SetIndeterminate(true);
        task.SetItemCaption(QStringLiteral("P1000233.RW2"));
        while (!release)
            LThread::Sleep(5);
    };
    auto r1 = NewRecord();
    auto r2 = NewRecord();
    ScriptTask* a = MakeTask(r1, body);
    ScriptTask* b = MakeTask(r2, second);
    ASSERT_TRUE(RunUntil([&] { return a->IsProgressShown() && b->IsProgressShown(); }));
    EXPECT_EQ(a->GetCaptionText(kPaneCountCaption), QStringLiteral("96 of 240"));
    EXPECT_EQ(a->GetCaptionText(kPaneTitleCaption), QStringLiteral("Caching Items"));
    EXPECT_EQ(b->GetCaptionText(kPaneTitleCaption), QStringLiteral("Updating Thumbnails"));

    QImage shot = GetTaskWindow()->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_GE(shot.height(), 2 * a->GetPaneHeight());
    const QString dir = qEnvironmentVariable("ORVEX_SCREENSHOT_DIR", TestTempDir());
    QDir().mkpath(dir);
    EXPECT_TRUE(shot.save(dir + QStringLiteral("/task-window.png")));

    release = true;
    ASSERT_TRUE(RunUntil([&] { return r1->destroyed && r2->destroyed; }));
}

TEST_F(TaskTest, TheParallelLimitHoldsWithTenTasks)
{
    TerminateTasks();
    SetPrefNumber(QStringLiteral("NumberParallelTasks"), 3);
    InitializeTasks();
    int shown = 0;
    int most = 0;
    std::vector<std::shared_ptr<TaskRecord>> records;
    for (int i = 0; i < 10; ++i) {
        records.push_back(NewRecord());
        MakeTask(records.back(), [&](ScriptTask& task) {
            task.ShowProgress();
            most = std::max(most, ++shown);
            LThread::Sleep(15);
            --shown;
            task.HideProgressPane();
        });
    }
    ASSERT_TRUE(RunUntil([&] {
        return std::all_of(records.begin(), records.end(), [](auto& r) { return r->destroyed; });
    }, 5000));
    EXPECT_EQ(most, 3);
    EXPECT_EQ(GetParallelSlots().GetCount(), 3);
    EXPECT_TRUE(std::all_of(records.begin(), records.end(), [](auto& r) { return r->ended; }));
}

TEST_F(TaskTest, ASecondTaskWaitsForASlotUntilTheFirstPaneHides)
{
    TerminateTasks();
    SetPrefNumber(QStringLiteral("NumberParallelTasks"), 1);
    InitializeTasks();
    bool hideFirst = false;
    auto r1 = NewRecord();
    auto r2 = NewRecord();
    ScriptTask* first = MakeTask(r1, [&](ScriptTask& task) {
        task.ShowProgress();
        while (!hideFirst)
            LThread::Sleep(5);
        task.HideProgressPane();
        LThread::Sleep(20);
    });
    ScriptTask* second = MakeTask(r2, [](ScriptTask& task) { task.ShowProgress(); });
    ASSERT_TRUE(RunUntil([&] { return first->IsProgressShown(); }));
    RunUntil([] { return false; }, 50);
    EXPECT_FALSE(second->IsProgressShown());
    EXPECT_FALSE(r2->ended) << "blocked in ShowProgress";
    hideFirst = true;
    ASSERT_TRUE(RunUntil([&] { return r2->ended; }));
    EXPECT_TRUE(RunUntil([&] { return r1->destroyed && r2->destroyed; }));
}

// --- The time slice ------------------------------------------------------------------------------------

TEST_F(TaskTest, YieldIfTimeUpYieldsOnlyOnceTheSliceIsOver)
{
    SetTaskSlice(3);
    YieldIfTimeUp(0); // a fresh start of the slice
    const UInt32 start = GetLastYieldTicks();
    EXPECT_FALSE(YieldIfTimeUp(kUseTaskSlice)) << "within the slice";
    EXPECT_EQ(GetLastYieldTicks(), start);
    LThread::Sleep(100); // six ticks
    EXPECT_TRUE(YieldIfTimeUp(kUseTaskSlice));
    EXPECT_NE(GetLastYieldTicks(), start);
    EXPECT_FALSE(YieldIfTimeUp(1000)) << "a longer interval of its own";
}

TEST_F(TaskTest, TheSliceIsSharedByAllTasks)
{
    SetTaskSlice(1000);
    int yields = 0;
    auto r1 = NewRecord();
    auto r2 = NewRecord();
    auto body = [&yields](ScriptTask&) {
        for (int i = 0; i < 50; ++i)
            yields += YieldIfTimeUp(kUseTaskSlice) ? 1 : 0;
    };
    YieldIfTimeUp(0);
    MakeTask(r1, body);
    MakeTask(r2, body);
    ASSERT_TRUE(RunUntil([&] { return r1->destroyed && r2->destroyed; }));
    EXPECT_EQ(yields, 0) << "no task yields before the slice of the last yield is over";
}

// However long the stored slice ("MultiTaskTime" 19 ticks, about a third of a
// second), a task gives the event loop its turn within a frame or two, and the
// tasks of one round share that turn rather than taking one each.
TEST_F(TaskTest, ASliceEndsWithinTwoFramesAndTheTasksOfARoundShareIt)
{
    ManualClock clock;
    SetTaskSlice(19);
    std::vector<std::pair<int, int>> turns; // (task, 10 ms steps before it yielded)
    auto body = [&](int which) {
        return [&turns, &clock, which](ScriptTask&) {
            for (int turn = 0; turn < 2; ++turn) {
                int steps = 0;
                do {
                    clock.Advance(10);
                    ++steps;
                } while (!YieldIfTimeUp(kUseTaskSlice) && steps < 100);
                turns.emplace_back(which, steps);
            }
        };
    };
    auto r1 = NewRecord();
    auto r2 = NewRecord();
    MakeTask(r1, body(1));
    MakeTask(r2, body(2));
    ASSERT_TRUE(RunUntil([&] { return r1->destroyed && r2->destroyed; }));
    ASSERT_EQ(turns.size(), 4u);
    EXPECT_EQ(turns[0], std::make_pair(1, 5)) << "the first yields once 40 ms have passed";
    EXPECT_EQ(turns[1], std::make_pair(2, 1)) << "the second, in the same round, at its first look";
    EXPECT_EQ(turns[2].second, 5) << "a new round, a new turn";
    // A longer slice of its own is held to the same limit.
    auto r3 = NewRecord();
    int steps = 0;
    MakeTask(r3, [&](ScriptTask&) {
        do {
            clock.Advance(10);
            ++steps;
        } while (!YieldIfTimeUp(4 * GetTaskSlice()) && steps < 100);
    });
    ASSERT_TRUE(RunUntil([&] { return r3->destroyed; }));
    EXPECT_EQ(steps, 5);
}

// A task whose steps take long gives way before a step would run past the turn.
TEST_F(TaskTest, ATaskThatKnowsItsStepsLengthYieldsBeforeOneWouldRunOver)
{
    ManualClock clock;
    SetTaskSlice(19);
    std::vector<int> turns; // 15 ms steps per turn
    auto record = NewRecord();
    MakeTask(record, [&](ScriptTask&) {
        for (int turn = 0; turn < 2; ++turn) {
            int steps = 0;
            do {
                clock.Advance(15);
                ++steps;
            } while (!YieldBeforeStep(15) && steps < 100);
            turns.push_back(steps);
        }
    });
    ASSERT_TRUE(RunUntil([&] { return record->destroyed; }));
    EXPECT_EQ(turns, (std::vector<int> { 2, 2 })) << "30 ms, not 45, of a 40 ms turn";
}

// --- Progress and broadcasts ---------------------------------------------------------------------------

TEST_F(TaskTest, ProgressIsBroadcastOncePerChange)
{
    auto record = NewRecord();
    ScriptTask* task = MakeTask(record, [](ScriptTask& self) {
        self.SetProgressMax(10);
        self.SetProgress(4);
        self.SetProgress(4);
        self.SetProgressMin(1);
        self.SetIndeterminate(true);
    });
    EXPECT_EQ(owner_.heard[msg_TaskIndeterminate], 1) << "the pane's creation tells 8011 with 0";
    ASSERT_TRUE(RunUntil([&] { return record->ended; }));
    (void)task;
    EXPECT_EQ(owner_.heard[msg_TaskProgress], 1);
    EXPECT_EQ(owner_.lastProgress, 4);
    EXPECT_EQ(owner_.heard[msg_TaskProgressMax], 1);
    EXPECT_EQ(owner_.heard[msg_TaskProgressMin], 1);
    EXPECT_EQ(owner_.heard[msg_TaskIndeterminate], 2);
}

TEST_F(TaskTest, ShowingThePaneTellsTheOwnerTheTaskAndItsTitle)
{
    auto record = NewRecord();
    MakeTask(record, [](ScriptTask& self) { self.ShowProgress(); });
    ASSERT_TRUE(RunUntil([&] { return record->destroyed; }));
    EXPECT_EQ(owner_.heard[msg_TaskShown], 1);
    EXPECT_EQ(owner_.heard[msg_TaskTitle], 1);
    EXPECT_EQ(GetParallelSlots().GetCount(), parallelTasks) << "the ended task gave its slot back";
    EXPECT_TRUE(GetShownTasks().empty());
}

// --- Pending items --------------------------------------------------------------------------------------

TEST_F(TaskTest, PendingItemsComeInTheirOrderAndAddItemWakesAWaitingTask)
{
    auto a = MakeItem("a");
    auto b = MakeItem("b");
    auto c = MakeItem("c");
    std::vector<CIndexItem*> taken;
    auto record = NewRecord();
    ScriptTask* task = MakeTask(record, [&](ScriptTask& self) {
        for (int i = 0; i < 3; ++i)
            taken.push_back(self.NextItem());
    });
    RunUntil([] { return false; }, 30);
    EXPECT_TRUE(taken.empty()) << "waits for an item";
    task->InsertItem(a.get(), kInsertAtEnd);
    task->InsertItem(b.get(), 1);
    ASSERT_TRUE(RunUntil([&] { return taken.size() == 2; }));
    EXPECT_EQ(taken, (std::vector<CIndexItem*> {b.get(), a.get()}));
    // AddItem alone must wake the task as well.
    task->AddItem(c.get());
    ASSERT_TRUE(RunUntil([&] { return record->ended; }));
    EXPECT_EQ(taken.back(), c.get());
}

TEST_F(TaskTest, NextItemWaitsWhileTheOwnerUpdates)
{
    auto item = MakeItem("x");
    CIndexItem* taken = nullptr;
    auto record = NewRecord();
    ScriptTask* task = MakeTask(record, [&](ScriptTask& self) { taken = self.NextItem(); });
    owner_.model.SetUpdating(true);
    task->InsertItem(item.get(), kInsertAtEnd);
    RunUntil([] { return false; }, 100);
    EXPECT_EQ(taken, nullptr);
    owner_.model.SetUpdating(false);
    ASSERT_TRUE(RunUntil([&] { return record->ended; }));
    EXPECT_EQ(taken, item.get());
}

TEST_F(TaskTest, RemovedAndClearedItemsAreNotHandedOut)
{
    auto a = MakeItem("a");
    auto b = MakeItem("b");
    auto record = NewRecord();
    CIndexItem* taken = nullptr;
    ScriptTask* task = MakeTask(record, [&](ScriptTask& self) { taken = self.NextItem(); });
    task->InsertItem(a.get(), kInsertAtEnd);
    task->RemoveItem(a.get());
    EXPECT_EQ(task->CountItems(), 0);
    RunUntil([] { return false; }, 30);
    EXPECT_EQ(taken, nullptr);
    task->InsertItem(a.get(), kInsertAtEnd);
    task->ClearItems();
    task->InsertItem(b.get(), kInsertAtEnd);
    ASSERT_TRUE(RunUntil([&] { return record->ended; }));
    EXPECT_EQ(taken, b.get());
    EXPECT_THROW(MakeTask(NewRecord(), [](ScriptTask&) {})->InsertItem(nullptr, 1), ExceptionCode);
}

TEST_F(TaskTest, ItemErrorsCarryTheTitleAndAreReportedOnce)
{
    owner_.model.InsertItem(MakeItem("first").release(), kInsertAtEnd);
    CIndexItem* item = MakeItem("broken").release(); // the model's
    owner_.model.InsertItem(item, kInsertAtEnd);
    auto record = NewRecord();
    MakeTask(record, [&](ScriptTask& self) {
        self.AddItemError(item, std::make_unique<CItemError>(-43, QString(), QString()));
        self.AddItemError(item, std::make_unique<CItemError>(-36, QString(), QString()));
        self.AddItemError(nullptr, std::make_unique<CItemError>(-36, QString(), QString()));
        EXPECT_EQ(self.GetErrorItems().size(), 1u);
    });
    ASSERT_TRUE(RunUntil([&] { return record->destroyed; }));
    ASSERT_NE(item->GetError(), nullptr);
    EXPECT_EQ(item->GetError()->GetCode(), -36);
    EXPECT_EQ(item->GetError()->GetMessage(), QStringLiteral("Caching Items"));
    EXPECT_EQ(owner_.refreshed, (std::vector<SInt32> {2, 2})) << "the item's cell is drawn again";
    owner_.DeleteItems();
}

// --- Pause, resume and stop -------------------------------------------------------------------------------

TEST_F(TaskTest, PauseAndResumeARunningTask)
{
    auto record = NewRecord();
    bool done = false;
    ScriptTask* task = MakeTask(record, [&](ScriptTask& self) {
        self.ShowProgress();
        while (!done) {
            ++self.Record().steps;
            self.CheckPause();
            LThread::Yield();
        }
    });
    ASSERT_TRUE(RunUntil([&] { return record->steps > 3; }));
    task->Pause();
    EXPECT_EQ(task->GetRunState(), kTaskPaused);
    EXPECT_EQ(task->GetCaptionText(kPaneStatusCaption), QStringLiteral("Paused"));
    EXPECT_TRUE(task->IsIndeterminate());
    RunUntil([] { return false; }, 20);
    EXPECT_TRUE(task->IsSuspended());
    const int stepsWhilePaused = record->steps;
    RunUntil([] { return false; }, 30);
    EXPECT_EQ(record->steps, stepsWhilePaused);

    task->ResumeTask();
    EXPECT_FALSE(task->IsIndeterminate()) << "the bar is as before the pause";
    ASSERT_TRUE(RunUntil([&] { return record->steps > stepsWhilePaused + 3; }));
    done = true;
    ASSERT_TRUE(RunUntil([&] { return record->destroyed; }));
    EXPECT_TRUE(record->ended);
}

TEST_F(TaskTest, PausingAWaitingTaskLeavesItWaitingAndResumeCallsThePauseOff)
{
    auto item = MakeItem("x");
    auto record = NewRecord();
    ScriptTask* task = MakeTask(record, [&](ScriptTask& self) {
        self.NextItem();
        ++self.Record().steps;
        self.CheckPause();
        ++self.Record().steps;
    });
    RunUntil([] { return false; }, 20);
    task->Pause();
    EXPECT_EQ(task->GetState(), threadState_Blocked) << "still waiting for its item";
    task->ResumeTask();
    EXPECT_EQ(task->GetRunState(), kTaskRunning);
    task->InsertItem(item.get(), 1);
    ASSERT_TRUE(RunUntil([&] { return record->destroyed; }));
    EXPECT_EQ(record->steps, 2) << "no pause left to suspend it";
}

TEST_F(TaskTest, StopEndsRunningBlockedAndSleepingTasksAtOnce)
{
    auto running = NewRecord();
    auto blocked = NewRecord();
    auto sleeping = NewRecord();
    ScriptTask* a = MakeTask(running, [](ScriptTask& self) {
        for (;;) {
            ++self.Record().steps;
            LThread::Yield();
        }
    });
    ScriptTask* b = MakeTask(blocked, [](ScriptTask& self) { self.NextItem(); });
    ScriptTask* c = MakeTask(sleeping, [](ScriptTask&) { LThread::Sleep(60000); });
    ASSERT_TRUE(RunUntil([&] { return running->steps > 2 && blocked->started && sleeping->started; }));
    a->Stop();
    b->Stop();
    c->Stop();
    for (auto* record : {running.get(), blocked.get(), sleeping.get()}) {
        EXPECT_TRUE(record->destroyed);
        EXPECT_TRUE(record->unwound) << "its stack was unwound, destructors ran";
        EXPECT_FALSE(record->ended);
        EXPECT_EQ(record->finishCalls, 1);
    }
    EXPECT_TRUE(CVisualTask::GetAllTasks().empty());
}

TEST_F(TaskTest, StopIsIdempotentAndNeverTouchesAFinishedTask)
{
    auto record = NewRecord();
    ScriptTask* task = MakeTask(record, [](ScriptTask& self) {
        self.ShowProgress();
        LThread::Sleep(60000);
    });
    ASSERT_TRUE(RunUntil([&] { return task->IsProgressShown(); }));
    LControl* stop = dynamic_cast<LControl*>(task->GetProgressPane()->FindPaneByID(kPaneStopButton));
    ASSERT_NE(stop, nullptr);
    // Two clicks on the stop button before the event loop acts on either.
    stop->SimulateHotSpotClick();
    stop->SimulateHotSpotClick();
    EXPECT_FALSE(record->destroyed) << "acted on after the click";
    ProcessPostedEvents();
    EXPECT_TRUE(record->destroyed);
    EXPECT_EQ(record->finishCalls, 1);
    EXPECT_EQ(GetParallelSlots().GetCount(), parallelTasks);

    auto finished = NewRecord();
    ScriptTask* quick = MakeTask(finished, [](ScriptTask&) {});
    ThreadID id = quick->GetID();
    ASSERT_TRUE(RunUntil([&] { return finished->destroyed; }));
    EXPECT_EQ(LThread::FromID(id), nullptr);
    StopTasksOfOwner(&owner_.model); // nothing of the ended task is left to touch
    EXPECT_EQ(finished->finishCalls, 0);
}

TEST_F(TaskTest, ThePaneButtonsPauseAndResume)
{
    auto record = NewRecord();
    bool done = false;
    ScriptTask* task = MakeTask(record, [&](ScriptTask& self) {
        self.ShowProgress();
        while (!done) {
            ++self.Record().steps;
            self.CheckPause();
            LThread::Sleep(1);
        }
    });
    ASSERT_TRUE(RunUntil([&] { return task->IsProgressShown(); }));
    auto* pause = dynamic_cast<LControl*>(task->GetProgressPane()->FindPaneByID(kPanePauseButton));
    auto* resume = dynamic_cast<LControl*>(task->GetProgressPane()->FindPaneByID(kPaneResumeButton));
    ASSERT_TRUE(pause && resume);
    EXPECT_FALSE(pause->isHidden());
    EXPECT_TRUE(resume->isHidden());
    pause->SimulateHotSpotClick();
    ProcessPostedEvents();
    EXPECT_EQ(task->GetRunState(), kTaskPaused);
    EXPECT_TRUE(pause->isHidden());
    EXPECT_FALSE(resume->isHidden());
    resume->SimulateHotSpotClick();
    ProcessPostedEvents();
    EXPECT_EQ(task->GetRunState(), kTaskRunning);
    done = true;
    ASSERT_TRUE(RunUntil([&] { return record->destroyed; }));
}

TEST_F(TaskTest, StoppingAnOwnerStopsAllItsTasksShownOrNot)
{
    CIndexModel other; // an index no view shows
    std::vector<std::shared_ptr<TaskRecord>> mine;
    for (int i = 0; i < 3; ++i) {
        mine.push_back(NewRecord());
        MakeTask(mine.back(), [](ScriptTask& self) { self.NextItem(); }); // never shows its pane
    }
    mine.push_back(NewRecord());
    MakeTask(mine.back(), [](ScriptTask& self) {
        self.ShowProgress();
        self.NextItem();
    });
    auto theirs = NewRecord();
    MakeTask(theirs, [](ScriptTask& self) { self.NextItem(); }, &other);
    ASSERT_TRUE(RunUntil([&] { return theirs->started && mine.back()->started; }));
    EXPECT_EQ(GetShownTasks().size(), 1u);

    StopTasksOfOwner(&owner_.model);
    for (auto& record : mine)
        EXPECT_TRUE(record->destroyed);
    EXPECT_FALSE(theirs->destroyed);
    StopTasksOfOwner(&other);
    EXPECT_TRUE(theirs->destroyed);
}

TEST_F(TaskTest, RemovingAnItemReachesEveryTaskOfItsOwner)
{
    auto item = MakeItem("gone");
    auto r1 = NewRecord();
    auto r2 = NewRecord();
    ScriptTask* a = MakeTask(r1, [](ScriptTask& self) { self.NextItem(); });
    ScriptTask* b = MakeTask(r2, [](ScriptTask& self) { self.NextItem(); });
    a->Suspend();
    b->Suspend();
    a->AddItem(item.get());
    b->AddItem(item.get());
    RemoveItemFromTasksOfOwner(&owner_.model, item.get());
    EXPECT_FALSE(a->HasPendingItem(item.get()));
    EXPECT_FALSE(b->HasPendingItem(item.get()));
    StopTasksOfOwner(&owner_.model);
}

// --- Downloads ----------------------------------------------------------------------------------------------

TEST_F(TaskTest, DownloadSlotsAreGivenBackOnlyWhenTaken)
{
    const SInt32 limit = GetDownloadSlots().GetCount();
    {
        StDownloadSlot neverTaken;
    }
    EXPECT_EQ(GetDownloadSlots().GetCount(), limit) << "the limit does not creep up";
    {
        StDownloadSlot slot;
        ASSERT_TRUE(slot.Acquire());
        EXPECT_TRUE(slot.Acquire()) << "a second acquire holds the same slot";
        EXPECT_EQ(GetDownloadSlots().GetCount(), limit - 1);
    }
    EXPECT_EQ(GetDownloadSlots().GetCount(), limit);
}

TEST_F(TaskTest, AStepsReasonReachesTheLogAndTheReport)
{
    std::vector<SErrorReport> posted;
    SetErrorNotificationPoster([&](const SErrorReport& report) { posted.push_back(report); });
    InstallErrorReportHook();
    StLogCapture log("orvex.errors");
    auto record = NewRecord();
    MakeTask(record, [](ScriptTask& task) {
        task.ShowProgress();
        ThrowOSErr_(-39, "index.db record 12: tag 12 count 140, expected 102");
    });
    ASSERT_TRUE(RunUntil([&] { return record->destroyed; }));
    SetErrorReportHook({});
    SetErrorNotificationPoster({});

    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].listID, 700);
    EXPECT_EQ(posted[0].reason, QStringLiteral("index.db record 12: tag 12 count 140, expected 102"));
    ASSERT_EQ(log.Lines().size(), 1);
    EXPECT_TRUE(log.All().contains(QStringLiteral("-39")));
    EXPECT_TRUE(log.All().contains(QStringLiteral("index.db record 12: tag 12 count 140, expected 102")));
}

TEST_F(TaskTest, CommandPeriodInTheTaskWindowStopsTheTaskShownLast)
{
    auto first = NewRecord();
    auto last = NewRecord();
    MakeTask(first, [](ScriptTask& self) {
        self.ShowProgress();
        LThread::Sleep(60000);
    });
    ScriptTask* b = MakeTask(last, [](ScriptTask& self) {
        self.ShowProgress();
        LThread::Sleep(60000);
    });
    ASSERT_TRUE(RunUntil([&] { return b->IsProgressShown(); }));
    auto* window = dynamic_cast<CTaskWindow*>(GetTaskWindow());
    ASSERT_NE(window, nullptr);
    EventRecord event;
    event.what = keyDown;
    event.message = '.';
    event.modifiers = cmdKey;
    EXPECT_TRUE(window->HandleKeyPress(event));
    ProcessPostedEvents();
    EXPECT_TRUE(last->destroyed);
    EXPECT_FALSE(first->destroyed);
    StopTasksOfOwner(&owner_.model);
    EXPECT_TRUE(first->destroyed);
}

TEST_F(TaskTest, StopKeepsTheWindowLiveWhileAnImportsWorkerIsStuckAndTheTaskGoesOnceTheCallReturns)
{
    const QString pipe = TestTempDir() + QStringLiteral("/stuck-import-pipe");
    QFile::remove(pipe);
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    auto record = NewRecord();
    auto* task = new StuckImportTask(owner_.model, pipe, record);
    task->Start();
    ASSERT_TRUE(RunUntil([&] { return record->started && task->IsProgressShown(); }));
    EXPECT_EQ(owner_.model.CountRunningTasks(), 1);
    EXPECT_TRUE(owner_.model.IsBusy());
    // A regression fails instead of hanging: the pipe gets a writer after a while.
    std::atomic<bool> done {false};
    std::thread watchdog([&] {
        for (int waited = 0; !done && waited < 15000; waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        while (!done) {
            ReleasePipeReader(pipe);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });

    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the worker is in open()
    auto* stop = dynamic_cast<LControlPane*>(task->GetProgressPane()->FindPaneByID(kPaneStopButton));
    ASSERT_NE(stop, nullptr);
    QElapsedTimer stopping;
    stopping.start();
    QTest::mouseClick(stop->GetControlWidget(), Qt::LeftButton);
    ProcessPostedEvents(); // the click's stop runs from the event loop
    const qint64 stopTook = stopping.elapsed();
    EXPECT_LT(stopTook, 5000) << "Stop waited for the stuck worker";
    EXPECT_FALSE(record->destroyed) << "the task went while its worker still used its stack";
    EXPECT_FALSE(CVisualTask::IsAlive(task));
    EXPECT_TRUE(GetShownTasks().empty());
    EXPECT_EQ(owner_.model.CountRunningTasks(), 0) << "the stopped import still counts for its index";
    EXPECT_FALSE(owner_.model.IsBusy());
    EXPECT_EQ(GetParallelSlots().GetCount(), parallelTasks);

    // The call returns: the task's stack is unwound and the task deleted.
    ReleasePipeReader(pipe);
    EXPECT_TRUE(RunUntil([&] { return record->destroyed; }, 5000));
    EXPECT_TRUE(record->unwound);
    EXPECT_FALSE(record->ended);
    done = true;
    watchdog.join();
}

// Items let go of the index.db they were read from as they go, which may be after
// the program stopped its workers on its way out: the file is closed there and
// then, and the program ends as it should.
TEST_F(TaskTest, AFileLetGoAfterTheWorkersStoppedIsClosedWithoutAbortingTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const QString path = TestTempDir() + QStringLiteral("/let-go.db");
    QFile made(path);
    ASSERT_TRUE(made.open(QIODevice::WriteOnly) && made.write("records") == 7);
    made.close();
    EXPECT_EXIT(
        {
            LeasedFile* file = LeasedFile::Open(path);
            if (!file)
                std::_Exit(2);
            WorkerPool::StopWorkers(std::chrono::seconds(1));
            file->Release();
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
