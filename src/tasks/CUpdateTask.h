#pragma once

#include "CVisualTask.h"

#include <deque>

class IndexViewServices;
#include <vector>

// A view's update task: takes the cell positions the view queues, asks the
// view to paint those cells again (drawn as the cells describe), and makes the thumbnails that are missing
// when "AutoCreateThumbnail" is on. Thumbnails are made a batch at a time on
// the worker pool (CreateThumbnails) while the task yields, so the interface
// stays live. While it works the owner's update flag is set, which holds the
// view's other tasks back before their next item. It never ends and never
// shows a pane; Stop only empties its queue.
class CUpdateTask : public CVisualTask {
public:
    CUpdateTask(CIndexModel& model, IndexViewServices& cells);
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
    void DropIndex(SInt32 position) override;
    SInt32 CountQueued() const { return SInt32(mIndexQueue.size()); }

    // Items of the batch being made; one removed meanwhile is deleted after the batch.
    bool IsWorkingOn(const CIndexItem* item) const;
    bool KeepRemovedItem(CIndexItem* item) override;
    bool IsWorking() const { return !mWorking.empty(); }

protected:
    void RunTask() override;
    // One batch: the cells of these positions, and the thumbnails they lack.
    virtual void UpdatePositions(const std::vector<SInt32>& positions);

private:
    void DeleteDeferredItems();
    // Clears the owner's update flag; the tasks held back by it go on at once.
    void LowerUpdateFlag();

    IndexViewServices& mCells;
    std::deque<SInt32> mIndexQueue;
    LSemaphore mQueueCount {0};
    std::vector<CIndexItem*> mWorking;
    std::vector<CIndexItem*> mDeleteAfterBatch;
};
