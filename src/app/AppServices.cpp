#include "AppServices.h"

// The task framework, the camera import and the picture-library import are not part
// of this program yet: no task exists, no camera and no picture library is known, so
// the commands that need them stay disabled.
SInt32 TaskCount()
{
    return 0;
}

bool IsPictureLibraryPresent()
{
    return false;
}

bool IsCameraConnected()
{
    return false;
}
