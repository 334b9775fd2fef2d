#pragma once

#include "MacTypes.h"

// An object that keeps a cached display picture it can give back on demand (the
// index item implements it).
class ACachedMediaHolder {
public:
    virtual ~ACachedMediaHolder() = default;
    virtual void DropCachedMedia() = 0; // sets the display picture to none
};

// The items holding a cached display picture, oldest first.
void AddToMediaCacheList(ACachedMediaHolder* item);
void RemoveFromPurgeList(ACachedMediaHolder* item); // nothing when absent
SInt32 CountMediaCacheList();

// Drops cached pictures, oldest first, while the free memory stays below `needed`;
// `outFree` receives the free memory (bytes) after the last step.
void PurgeMemoryCaches(SInt64 needed, SInt64& outFree);
// Drops the cached pictures of the first `count` items; stops quietly when the list runs out.
void PurgeCachedMedia(SInt32 count);

// The memory the system could give the program now (MemAvailable), in bytes.
SInt64 FreeMemoryBytes();

// What the application's command 8002 asks for.
inline constexpr SInt64 kPurgeMemoryNeed = 104857600;
