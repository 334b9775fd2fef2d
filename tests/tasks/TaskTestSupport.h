#pragma once

#include "CIndexItem.h"
#include "CVisualTask.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "ErrorReport.h"
#include "LThread.h"
#include "Preferences.h"
#include "TaskOwnerView.h"
#include "TaskServices.h"
#include "TestSupport.h"
#include "URegistrar.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>

#include <functional>
#include <map>
#include <memory>
#include <vector>

// A real index model with a stand-in for the view that shows it: the view keeps
// nothing of the index, it records what the model's tasks asked of it and what
// they told it.
class TestOwnerView : public TaskOwnerView, public LListener {
public:
    TestOwnerView()
    {
        AddListener(this);
        SetTaskOwnerView(model, this);
    }
    ~TestOwnerView() override { SetTaskOwnerView(model, nullptr); }

    void ListenToMessage(MessageT message, void* ioParam) override
    {
        ++heard[message];
        if (message == msg_TaskProgress)
            lastProgress = *static_cast<SInt32*>(ioParam);
    }

    CIndexModel& GetModel() const { return model; }
    // The model's current list.
    std::vector<CIndexItem*> Items() const { return { model.GetItemList().begin(), model.GetItemList().end() }; }
    void DeleteItems()
    {
        for (CIndexItem* item : model.TakeAllItems())
            delete item;
    }
    // A file queued for deletion after the next save; gone once a save deleted the
    // model's pending files.
    void QueuePendingFile()
    {
        pendingFile = TestTempDir() + QStringLiteral("/pending-%1").arg(++pendingFiles);
        QFile file(pendingFile);
        if (file.open(QIODevice::WriteOnly))
            file.write("x");
        model.AddFileToDelete(QUrl::fromLocalFile(pendingFile));
    }
    bool PendingFileDeleted() const { return !pendingFile.isEmpty() && !QFile::exists(pendingFile); }

    void RefreshItem(SInt32 index) override { refreshed.push_back(index); }
    void RevealItem(SInt32 index) override { revealed.push_back(index); }
    void RevealFirstSelected() override {}
    bool IsShown() const override { return shown; }
    QString GetWindowTitle() const override { return QStringLiteral("Test Index"); }
    void AdjustImageSize() override {}
    void FinishReading() override { ++finishedReading; }

    mutable CIndexModel model;
    int finishedReading = 0;
    QString pendingFile;
    int pendingFiles = 0;
    std::map<MessageT, int> heard;
    SInt32 lastProgress = -1;
    bool shown = true;
    std::vector<SInt32> refreshed;
    std::vector<SInt32> revealed;
};

// What a scripted task leaves behind once it is gone.
struct TaskRecord {
    bool started = false;
    bool ended = false; // RunTask returned
    bool destroyed = false;
    bool unwound = false; // a guard on its stack was destroyed without RunTask returning
    int finishCalls = 0;
    int steps = 0;
};

// A task that runs a function; the record outlives it.
class ScriptTask : public CVisualTask {
public:
    using Body = std::function<void(ScriptTask&)>;
    ScriptTask(CIndexModel* model, std::shared_ptr<TaskRecord> record, Body body)
        : CVisualTask(601, 18, model)
        , mRecord(std::move(record))
        , mBody(std::move(body))
    {
    }
    ~ScriptTask() override { mRecord->destroyed = true; }

    void Finish(bool) override { ++mRecord->finishCalls; }
    TaskRecord& Record() { return *mRecord; }

protected:
    void RunTask() override
    {
        struct Guard {
            TaskRecord* record;
            bool done = false;
            ~Guard()
            {
                if (!done)
                    record->unwound = true;
            }
        } guard {mRecord.get()};
        mRecord->started = true;
        mBody(*this);
        guard.done = true;
        mRecord->ended = true;
    }

private:
    std::shared_ptr<TaskRecord> mRecord;
    Body mBody;
};

// The task layer for the length of one test.
class TaskTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        URegistrar::RegisterFrameworkClasses();
        SetPrefNumber(QStringLiteral("NumberParallelTasks"), parallelTasks);
        SetPrefNumber(QStringLiteral("MultiTaskTime"), 2);
        InitializeTasks();
    }
    void TearDown() override
    {
        TerminateTasks();
        SetPrefDefault(QStringLiteral("NumberParallelTasks"));
        SetPrefDefault(QStringLiteral("MultiTaskTime"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Runs the threads until `done` or two seconds have passed.
    static bool RunUntil(const std::function<bool()>& done, SInt32 milliseconds = 2000)
    {
        return LThread::RunUntil(done, milliseconds);
    }

    ScriptTask* MakeTask(std::shared_ptr<TaskRecord> record, ScriptTask::Body body, CIndexModel* model = nullptr)
    {
        auto* task = new ScriptTask(model ? model : &owner_.model, std::move(record), std::move(body));
        task->Start();
        return task;
    }

    SInt32 parallelTasks = 4;
    TestOwnerView owner_;
};

// A task test that keeps the message numbers of the errors reported meanwhile.
class ReportingTaskTest : public TaskTest {
protected:
    void SetUp() override
    {
        TaskTest::SetUp();
        SetErrorNotificationPoster([this](const SErrorReport& report) { reported.push_back(report.messageIndex); });
    }
    void TearDown() override
    {
        SetErrorNotificationPoster({});
        TaskTest::TearDown();
    }

    std::vector<SInt16> reported;
};
