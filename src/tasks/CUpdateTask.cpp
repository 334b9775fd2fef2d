#include "CUpdateTask.h"

#include "PrefKeys.h"

#include "CIndexItem.h"
#include "ExceptionCode.h"
#include "IndexViewServices.h"
#include "ItemThumbnails.h"
#include "Offscreen.h"
#include "Preferences.h"
#include "TaskOwnerView.h"
#include "ThreadErrors.h"
#include "WorkerPool.h"

#include <algorithm>

namespace {

// Positions taken for one batch: enough that the workers seldom wait for the
// slowest image of a batch.
std::size_t BatchSize()
{
    return std::max<std::size_t>(16, 8 * WorkerPool::ThreadCount());
}

// Clears the working list however the batch ends (also when the stack unwinds).
struct StWorkingBatch {
    std::vector<CIndexItem*>& list;
    ~StWorkingBatch() { list.clear(); }
};

// Makes the picture a cell shows from the item's thumbnail; one narrower than
// the cell's picture is drawn again from the media file itself, once.
void DrawPictureOfCell(CIndexItem& item, IndexViewServices& cells)
{
    Offscreen* display = item.GetDisplayPicture();
    if (!display || item.IsDisplayPictureFromFile())
        return;
    const QRect picture = item.GetPartRect(kItemPartPicture, QRect(QPoint(0, 0), cells.GetCellSize()), cells);
    if (display->Width() < picture.width())
        (void)CatchCode([&] { item.RenderDisplayPicture(cells); });
}

} // namespace

CUpdateTask::CUpdateTask(CIndexModel& model, IndexViewServices& cells)
    : CVisualTask(601, 20, &model)
    , mCells(cells)
{
}

CUpdateTask::~CUpdateTask()
{
    DeleteDeferredItems();
}

void CUpdateTask::Stop()
{
    ClearItems();
}

void CUpdateTask::ClearItems()
{
    mIndexQueue.clear();
    while (mQueueCount.TryWait()) {
    }
    LowerUpdateFlag();
}

void CUpdateTask::LowerUpdateFlag()
{
    CIndexModel* model = GetModel();
    if (!model || !model->IsUpdating())
        return;
    model->SetUpdating(false);
    WakeTasksWaitingForUpdate(model);
}

void CUpdateTask::QueueIndex(SInt32 position)
{
    mIndexQueue.push_back(position);
    mQueueCount.Signal();
}

SInt32 CUpdateTask::NextIndex()
{
    for (;;) {
        if (mIndexQueue.empty())
            LowerUpdateFlag();
        OSStatus status = mQueueCount.Wait(semaphore_WaitForever);
        if (status == errSemaphoreTimedOut)
            continue;
        ThrowIfOSErr_(status);
        if (mIndexQueue.empty())
            continue; // the count outlived a cleared queue
        SInt32 position = mIndexQueue.front();
        mIndexQueue.pop_front();
        if (GetModel())
            GetModel()->SetUpdating(true);
        return position;
    }
}

void CUpdateTask::DropIndex(SInt32 position)
{
    auto found = std::find(mIndexQueue.begin(), mIndexQueue.end(), position);
    if (found == mIndexQueue.end())
        return;
    mIndexQueue.erase(found);
    mQueueCount.TryWait();
}

bool CUpdateTask::IsWorkingOn(const CIndexItem* item) const
{
    return std::find(mWorking.begin(), mWorking.end(), item) != mWorking.end();
}

bool CUpdateTask::KeepRemovedItem(CIndexItem* item)
{
    if (!item || !IsWorkingOn(item))
        return false;
    if (std::find(mDeleteAfterBatch.begin(), mDeleteAfterBatch.end(), item) == mDeleteAfterBatch.end())
        mDeleteAfterBatch.push_back(item);
    return true;
}

void CUpdateTask::DeleteDeferredItems()
{
    std::vector<CIndexItem*> doomed;
    doomed.swap(mDeleteAfterBatch);
    for (CIndexItem* item : doomed)
        delete item;
}

void CUpdateTask::RunTask()
{
    for (;;) {
        try {
            std::vector<SInt32> positions {NextIndex()};
            while (positions.size() < BatchSize() && !mIndexQueue.empty() && mQueueCount.TryWait()) {
                positions.push_back(mIndexQueue.front());
                mIndexQueue.pop_front();
            }
            UpdatePositions(positions);
            DeleteDeferredItems();
            YieldIfTimeUp(GetTaskSlice() / 4);
        } CatchAllButUnwind_ {
            DeleteDeferredItems();
        }
    }
}

void CUpdateTask::UpdatePositions(const std::vector<SInt32>& positions)
{
    CIndexModel* model = GetModel();
    TaskOwnerView* owner = GetOwnerView();
    if (!model || !owner || !owner->IsShown())
        return;
    ThumbnailServices* thumbnails = GetThumbnailServices();
    bool autoCreate = thumbnails && Pref::AutoCreateThumbnail.Get();
    // Pictures still in their thumbnail files are read on the worker pool first,
    // so the fetch below never waits on the disk. The items are looked up again
    // afterwards: the wait lets other tasks change the list.
    std::vector<CIndexItem*> onDisk;
    for (SInt32 position : positions) {
        CIndexItem* item = nullptr;
        if (model->GetItemAt(position, item) && item && item->IsThumbnailOnlyOnDisk())
            onDisk.push_back(item);
    }
    ReadThumbnailFiles(onDisk);
    std::vector<CIndexItem*> toMake;
    for (SInt32 position : positions) {
        CIndexItem* item = nullptr;
        if (!model->GetItemAt(position, item) || !item)
            continue;
        // Asked before the thumbnail is fetched: fetching marks it as looked for.
        bool needsThumbnail = autoCreate && !item->IsBusy() && thumbnails->ShouldRecreateThumbnail(*item);
        // A stored thumbnail is drawn at once, even one about to be made again; a
        // cell without one is drawn once its thumbnail is made. A file without a
        // preview of its own answers with an error: no thumbnail yet.
        Picture* thumbnail = nullptr;
        OSStatus fetched = needsThumbnail && !item->HasThumbnail()
            ? OSStatus(noErr)
            : CatchCode([&] { thumbnail = item->GetThumbnail(); });
        if (fetched == noErr && thumbnail) {
            // The cell's picture is made here, not while painting: a cell only
            // paints a picture that is ready.
            DrawPictureOfCell(*item, mCells);
            owner->RefreshItem(position);
            SInt32 zero = 0;
            Broadcast(msg_CellDrawn, &zero);
        }
        if (needsThumbnail && std::find(toMake.begin(), toMake.end(), item) == toMake.end())
            toMake.push_back(item);
    }
    if (toMake.empty())
        return;
    StWorkingBatch working {mWorking};
    mWorking = toMake;
    CreateThumbnails(toMake, Pref::ApplyChangesToMediaFile.Get());
    for (CIndexItem* item : toMake) {
        // Positions may have moved while the batch was made; removed items are gone.
        bool removed = std::find(mDeleteAfterBatch.begin(), mDeleteAfterBatch.end(), item) != mDeleteAfterBatch.end();
        if (removed)
            continue;
        // A failed thumbnail leaves the icon; the other cells still get theirs.
        (void)CatchCode([&] {
            if (item->GetThumbnail())
                DrawPictureOfCell(*item, mCells);
        });
        owner->RefreshItem(model->GetIndexOfItem(item));
    }
    LThread::Sleep(1);
}
