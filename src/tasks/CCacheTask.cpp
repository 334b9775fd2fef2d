#include "CCacheTask.h"

#include "ExceptionCode.h"
#include "TaskOwnerView.h"
#include "ThreadErrors.h"
#include "TickCount.h"

#include <algorithm>

#include <malloc.h>

namespace {

constexpr size_t kFirstBatch = 64;
constexpr size_t kLargestBatch = 16384;
constexpr SInt64 kBatchMilliseconds = 8;
constexpr SInt32 kTrimAfterItems = 100000;

} // namespace

CCacheTask::CCacheTask(CIndexModel& model)
    : CVisualTask(601, 18, &model)
{
}

void CCacheTask::OnPause()
{
    TellPending(msg_ViewStateChanged);
}

// The view hears `first` and then how many items wait.
void CCacheTask::TellPending(MessageT first)
{
    SInt32 zero = 0;
    SInt32 pending = CountItems();
    Broadcast(first, &zero);
    Broadcast(msg_CachePending, &pending);
}

void CCacheTask::ShowCount()
{
    SetIndeterminate(false);
    SetProgressMax(mDone + CountItems());
    SetProgress(mDone);
}

CIndexItem* CCacheTask::NextItem()
{
    CIndexModel* model = GetModel();
    // Showing the count may wait for a slot, and the index may become busy or
    // updating meanwhile, its items removed: the task looks again after every wait,
    // and ends rather than waiting for items that never come.
    for (;;) {
        while (model && (model->IsBusy() || model->IsUpdating())) {
            HideProgressPane();
            mCountShown = false;
            SInt32 pending = CountItems();
            SInt32 zero = 0;
            Broadcast(msg_CachePending, &pending);
            Broadcast(msg_ViewStateChanged, &zero);
            LThread::Sleep(200);
        }
        if (CountItems() == 0)
            return nullptr;
        if (CountItems() < 2) {
            TellPending(msg_ItemsChanged);
            HideProgressPane();
            mCountShown = false;
            SInt32 zero = 0;
            Broadcast(msg_ViewStateChanged, &zero);
        } else if (!mCountShown) {
            // Then the count follows at each yield: shown for every item, it cost
            // more than entering the items of an opening index.
            mCountShown = true;
            ShowCount();
            ShowProgress(0.1);
        }
        if (CountItems() == 0)
            return nullptr;
        if (!model || (!model->IsBusy() && !model->IsUpdating()))
            return CVisualTask::NextItem();
    }
}

void CCacheTask::RunTask()
{
    // Items are entered a batch at a time, sized to take a few milliseconds: many
    // share their values, and an item that must read its file takes far longer.
    size_t batchSize = kFirstBatch;
    std::vector<CIndexItem*> batch;
    // Ends only with the queue empty after the last broadcast: an item queued while
    // the view heard it is still taken.
    while (CountItems() > 0) {
        while (CountItems() > 0) {
            try {
                CIndexItem* item = NextItem();
                if (!item)
                    break;
                CheckPause();
                // Nothing yields from here until the batch is in: its items stay alive.
                batch.assign(1, item);
                TakeItems(batch, batchSize - 1);
                const SInt64 start = ClockMilliseconds();
                if (CIndexModel* model = GetModel()) {
                    const StNeverAskForFiles quiet; // background work: a gone file shows as missing
                    model->AddItemsToValueIndex(batch);
                }
                const SInt64 took = ClockMilliseconds() - start;
                mDone += SInt32(batch.size());
                if (took < kBatchMilliseconds && batch.size() == batchSize)
                    batchSize = std::min(batchSize * 2, kLargestBatch);
                else if (took > 2 * kBatchMilliseconds)
                    batchSize = std::max<size_t>(batchSize / 2, 1);
                // The next batch takes about as long as this one did.
                if (YieldBeforeStep(took)) {
                    ShowCount();
                    TellPending(msg_ItemsChanged);
                }
            } CatchAllButUnwind_ {
                // A pass that fails drops that item; the queue goes on.
            }
        }
        HideProgressPane();
        mCountShown = false;
        TellPending(msg_ItemsChanged);
    }
    // The batches of a large opening leave their room free between the values
    // kept: given back to the system rather than held by the heap.
    if (mDone >= kTrimAfterItems)
        ::malloc_trim(0);
}
