#pragma once

#include "MacTypes.h"

// What the application's command status asks of the subsystems that own the answer.

// Tasks that exist (running, waiting or paused).
SInt32 TaskCount();
// Whether a picture library was found at start-up, and whether a camera is
// connected now, come from the imports (CImportiPhotoTask.h, CImportCameraTask.h).
