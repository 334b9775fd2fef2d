#include "AppServices.h"

#include "CVisualTask.h"

SInt32 TaskCount()
{
    return SInt32(CVisualTask::GetAllTasks().size());
}

// The camera import and the picture-library import are not part of this program
// yet: no camera and no picture library is known, so their commands stay disabled.
bool IsPictureLibraryPresent()
{
    return false;
}

bool IsCameraConnected()
{
    return false;
}
