#pragma once

#include "CIndexItem.h"
#include "CVisualTask.h"
#include "LThread.h"
#include "Preferences.h"
#include "TaskOwnerView.h"
#include "TaskServices.h"
#include "URegistrar.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <functional>
#include <map>
#include <memory>
#include <vector>

// An owner view for tasks: a plain list of items and a record of what it heard.
class TestOwnerView : public TaskOwnerView, public LListener {
public:
    TestOwnerView() { AddListener(this); }

    void ListenToMessage(MessageT message, void* ioParam) override
    {
        ++heard[message];
        if (message == msg_TaskProgress)
            lastProgress = *static_cast<SInt32*>(ioParam);
    }

    void SetBusy(bool busy) override { busyCount += busy ? 1 : -1; }
    bool IsBusy() const override { return busyCount != 0; }
    SInt16 AddRunningTask(bool) override { return ++running; }
    SInt16 RemoveRunningTask(bool) override { return --running; }
    SInt16 CountRunningTasks() const override { return running; }
    bool IsUpdating() const override { return updating; }
    void SetUpdating(bool value) override { updating = value; }
    void LockItemList() override { ++locks; }
    void UnlockItemList() override { --locks; }
    bool IsItemListLocked() const override { return locks != 0; }
    SInt32 CountItems() const override { return SInt32(items.size()); }
    SInt32 CountAllItems() const override { return SInt32(items.size()); }
    bool GetItemAt(SInt32 index, CIndexItem*& outItem) const override
    {
        if (index < 1 || index > SInt32(items.size()))
            return false;
        outItem = items[size_t(index - 1)];
        return true;
    }
    SInt32 InsertItem(CIndexItem* item, SInt32 index, bool, bool) override
    {
        if (index >= 1 && index <= SInt32(items.size())) {
            items.insert(items.begin() + (index - 1), item);
            return index;
        }
        items.push_back(item);
        return SInt32(items.size());
    }
    void AddItemToValueIndex(CIndexItem* item) override { indexed.push_back(item); }
    SInt32 ImportURL(const QUrl& url, SInt32 index, bool) override
    {
        imported.push_back(url);
        return InsertItem(new CIndexItem(url), index, false, false);
    }
    bool ContainsURL(const QUrl& url) const override
    {
        for (CIndexItem* item : items)
            if (item && item->GetURL() == url)
                return true;
        return false;
    }
    void RefreshItem(SInt32 index) override { refreshed.push_back(index); }
    bool IsItemVisible(SInt32) const override { return true; }
    bool IsShown() const override { return shown; }
    QString GetWindowTitle() const override { return QStringLiteral("Test Index"); }

    bool AddFileToDelete(const QUrl&) override { return false; }
    SInt32 GetIndexOfItem(const CIndexItem* item) const override
    {
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i] == item)
                return SInt32(i + 1);
        return 0;
    }
    void Hilite() override {}
    void Unhilite() override {}
    SInt16 GetThumbnailSize() const override { return 128; }
    QSize GetCellSize() const override { return QSize(160, 160); }
    SInt32 CountColumns() const override { return 2; }
    bool IsExtendedView() const override { return false; }

    void SetViewState(SInt32 state) override { viewState = state; }
    void AdjustImageSize() override {}
    void FinishReading() override { ++finishedReading; }
    void ShowAllItems(bool) override {}
    bool TestFlags(UInt32 mask) const override { return (flags & mask) != 0; }
    bool IsModified() const override { return modified; }
    void SetModified(bool value) override { modified = value; }
    void DeletePendingFiles() override { ++pendingDeletes; }
    bool HasPassword() const override { return !password.isEmpty(); }
    const QByteArray& GetPassword() const override { return password; }
    void SetPassword(const QByteArray& value) override { password = value; }
    bool GetKeepPasswordInKeychain() const override { return keychain; }
    void SetKeepPasswordInKeychain(bool keep) override { keychain = keep; }
    bool VerifyPassword() override { return passwordAccepted; }
    void SetStoredRecord(const CIndexItem* item, StoredRecord record) override { stored[item] = record; }
    bool GetStoredRecord(const CIndexItem* item, StoredRecord& out) const override
    {
        auto found = stored.find(item);
        if (found == stored.end())
            return false;
        out = found->second;
        return true;
    }
    void ForgetStoredRecords() override { stored.clear(); }
    void SetIndexDbDamaged(bool value) override { damaged = value; }
    bool IsIndexDbDamaged() const override { return damaged; }

    SInt32 viewState = 3;
    int finishedReading = 0;
    UInt32 flags = 0;
    bool modified = false;
    int pendingDeletes = 0;
    QByteArray password;
    bool keychain = false;
    bool passwordAccepted = true;
    std::map<const CIndexItem*, StoredRecord> stored;
    bool damaged = false;
    std::map<MessageT, int> heard;
    SInt32 lastProgress = -1;
    int busyCount = 0;
    SInt16 running = 0;
    bool updating = false;
    int locks = 0;
    bool shown = true;
    std::vector<CIndexItem*> items;
    std::vector<CIndexItem*> indexed;
    std::vector<QUrl> imported;
    std::vector<SInt32> refreshed;
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
    ScriptTask(TaskOwnerView* owner, std::shared_ptr<TaskRecord> record, Body body)
        : CVisualTask(601, 18, owner)
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

    ScriptTask* MakeTask(std::shared_ptr<TaskRecord> record, ScriptTask::Body body, TaskOwnerView* owner = nullptr)
    {
        auto* task = new ScriptTask(owner ? owner : &owner_, std::move(record), std::move(body));
        task->Start();
        return task;
    }

    SInt32 parallelTasks = 4;
    TestOwnerView owner_;
};
