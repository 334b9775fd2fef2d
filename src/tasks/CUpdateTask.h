#pragma once

#include "CVisualTask.h"

#include <deque>
#include <vector>

// The view's update task: takes the cell positions the view queues, asks the
// view to paint those cells again, and makes the thumbnails that are missing
// when "AutoCreateThumbnail" is on. Thumbnails are made a batch at a time on
// the worker pool (CreateThumbnails) while the task yields, so the interface
// stays live. While it works the owner's update flag is set, which holds the
// view's other tasks back before their next item. It never ends and never
// shows a pane; Stop only empties its queue.
class CUpdateTask : public CVisualTask {
public:
    explicit CUpdateTask(TaskOwnerView* owner);
    ~CUpdateTask() override;

    void Stop() override;
    void InsertItem(CIndexItem*, SInt32) override {}
    void RemoveItem(CIndexItem*) override {}
    void ClearItems() override;

    // Queues a 1-based position of the view (the same one twice draws it twice).
    virtual void QueueIndex(SInt32 position);
    // Waits for the next position; clears the update flag while the queue is
    // empty and sets it when it takes one.
    virtual SInt32 NextIndex();
    // Takes a queued position out; nothing when it is not queued.
    virtual void DropIndex(SInt32 position);
    SInt32 CountQueued() const { return SInt32(mIndexQueue.size()); }

    // Items of the batch being made. The view hands an item it removes to the
    // task while the task still works on it; the task deletes it afterwards.
    bool IsWorkingOn(const CIndexItem* item) const;
    void DeleteAfterBatch(CIndexItem* item);
    bool IsWorking() const { return !mWorking.empty(); }

protected:
    void RunTask() override;
    // One batch: the cells of these positions, and the thumbnails they lack.
    virtual void UpdatePositions(const std::vector<SInt32>& positions);

private:
    void DeleteDeferredItems();

    std::deque<SInt32> mIndexQueue;
    LSemaphore mQueueCount {0};
    std::vector<CIndexItem*> mWorking;
    std::vector<CIndexItem*> mDeleteAfterBatch;
};
