#include "CSourceImportTask.h"

#include "ExceptionCode.h"
#include "LCommander.h"

CSourceImportTask::CSourceImportTask(SInt16 titleList, SInt16 titleIndex, TaskOwnerView* owner)
    : CVisualTask(titleList, titleIndex, owner)
{
    if (owner)
        owner->GetModel().AddRunningTask(false);
}

CSourceImportTask::~CSourceImportTask()
{
    ReleaseOwner();
}

void CSourceImportTask::ReleaseOwner()
{
    mBusy.Lower(GetOwner());
    if (TaskOwnerView* owner = GetOwner())
        owner->GetModel().RemoveRunningTask(false);
}

TaskOwnerView& CSourceImportTask::BeginWork()
{
    TaskOwnerView* owner = GetOwner();
    ThrowIfNil_(owner);
    mBusy.Raise(*owner);
    return *owner;
}

void CSourceImportTask::Finish(bool)
{
    TaskOwnerView* owner = GetOwner();
    if (!owner)
        return;
    mBusy.Lower(owner);
    SInt32 zero = 0;
    Broadcast(msg_ViewStateChanged, &zero);
    LCommander::SetUpdateCommandStatus(true);
}
