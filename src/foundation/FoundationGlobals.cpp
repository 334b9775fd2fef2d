#include "FoundationGlobals.h"

TArray<CSourceVolumeURL*> gSourceVolumeList;
TArray<CMediaWindow*> gMediaWindowList;
Point gSearchWindowDefaultPosition {505, 152};
