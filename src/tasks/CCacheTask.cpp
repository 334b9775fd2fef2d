#include "CCacheTask.h"

#include "ExceptionCode.h"
#include "TaskOwnerView.h"
#include "ThreadErrors.h"

CCacheTask::CCacheTask(TaskOwnerView* owner)
    : CVisualTask(601, 18, owner)
{
}

void CCacheTask::Stop()
{
    ClearItems();
}

void CCacheTask::OnPause()
{
    TellPending(msg_ViewStateChanged);
}

// The owner hears `first` and then how many items wait.
void CCacheTask::TellPending(MessageT first)
{
    SInt32 zero = 0;
    SInt32 pending = CountItems();
    Broadcast(first, &zero);
    Broadcast(msg_CachePending, &pending);
}

CIndexItem* CCacheTask::NextItem()
{
    TaskOwnerView* owner = GetOwner();
    while (owner && (owner->IsBusy() || owner->IsHeldBack())) {
        HideProgressPane();
        SInt32 pending = CountItems();
        SInt32 zero = 0;
        Broadcast(msg_CachePending, &pending);
        Broadcast(msg_ViewStateChanged, &zero);
        LThread::Sleep(200);
    }
    if (CountItems() < 2) {
        TellPending(msg_ItemsChanged);
        HideProgressPane();
        SInt32 zero = 0;
        Broadcast(msg_ViewStateChanged, &zero);
    } else {
        ShowProgress(0.1);
    }
    return CVisualTask::NextItem();
}

void CCacheTask::RunTask()
{
    ShowStopButton(false);
    for (;;) {
        try {
            CIndexItem* item = NextItem();
            CheckPause();
            if (TaskOwnerView* owner = GetOwner())
                owner->AddItemToValueIndex(item);
            if (!YieldIfTimeUp(kUseTaskSlice))
                continue;
            SetIndeterminate(false);
            if (TaskOwnerView* owner = GetOwner()) {
                SetProgressMax(owner->CountAllItems());
                SetProgress(owner->CountAllItems() - CountItems());
            }
            TellPending(msg_ItemsChanged);
        } CatchAllButUnwind_ {
            // A pass that fails drops that item; the queue goes on.
        }
    }
}
