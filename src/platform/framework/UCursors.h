#pragma once

#include "MacTypes.h"

#include <QCursor>

// The program's own cursors, resources by ID: ":/cursors/<id>.png", with the hot
// spot in the image's "HotSpot" text ("x,y"; the top left without one). Each is
// read once; an ID without its image gives the arrow.
const QCursor& GetResourceCursor(ResIDT cursorID);
