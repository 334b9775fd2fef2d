#pragma once

#include "MacTypes.h"

// An object that keeps a cached display picture it can give back on demand (the
// index item implements it).
class ACachedMediaHolder {
public:
    ACachedMediaHolder() = default;
    ACachedMediaHolder(const ACachedMediaHolder&) {} // a copy is not on the list
    ACachedMediaHolder& operator=(const ACachedMediaHolder&) { return *this; }
    virtual ~ACachedMediaHolder() = default;
    virtual void DropCachedMedia() = 0; // sets the display picture to none

private:
    friend struct MediaCacheList;
    // Its place on the list: taking an item off (as every closing item does) is
    // constant time, however many items an index holds.
    ACachedMediaHolder* mCachePrevious = nullptr;
    ACachedMediaHolder* mCacheNext = nullptr;
};

// The items holding a cached display picture, oldest first. An item added again
// moves to the end, as the newest.
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
