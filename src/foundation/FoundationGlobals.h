#pragma once

#include "Geometry.h"
#include "TArray.h"

class CMediaWindow;
class CSourceVolumeURL;

// Lists that exist before start-up, all empty at start; their element classes belong
// to the views and the viewer.
extern TArray<CSourceVolumeURL*> gSourceVolumeList;
extern TArray<CMediaWindow*> gMediaWindowList;

// Where the search window opens the first time.
extern Point gSearchWindowDefaultPosition;
