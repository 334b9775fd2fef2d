#pragma once

#include "MacTypes.h"

// What the application's command status asks of the subsystems that own the answer.

// Tasks that exist (running, waiting or paused).
SInt32 TaskCount();
// Whether a picture library was found at start-up.
bool IsPictureLibraryPresent();
// Whether a camera is connected now.
bool IsCameraConnected();
