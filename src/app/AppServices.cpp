#include "AppServices.h"

#include "CVisualTask.h"

SInt32 TaskCount()
{
    return SInt32(CVisualTask::GetAllTasks().size());
}

