#include "CSourceImportTask.h"

#include "ExceptionCode.h"
#include "LCommander.h"

CSourceImportTask::CSourceImportTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model)
    : CVisualTask(titleList, titleIndex, &model)
{
    model.AddRunningTask(false);
}

CSourceImportTask::~CSourceImportTask()
{
    ReleaseOwner();
}

void CSourceImportTask::ReleaseOwner()
{
    mBusy.Lower(GetModel());
    if (CIndexModel* model = GetModel())
        model->RemoveRunningTask(false);
}

CIndexModel& CSourceImportTask::BeginWork()
{
    CIndexModel* model = GetModel();
    ThrowIfNil_(model);
    mBusy.Raise(*model);
    return *model;
}

void CSourceImportTask::Finish(bool)
{
    CIndexModel* model = GetModel();
    if (!model)
        return;
    mBusy.Lower(model);
    SInt32 zero = 0;
    Broadcast(msg_ViewStateChanged, &zero);
    LCommander::SetUpdateCommandStatus(true);
}
