#include "MediaCache.h"

#include <QFile>


struct MediaCacheList {
    ACachedMediaHolder* first = nullptr;
    ACachedMediaHolder* last = nullptr;
    SInt32 count = 0;

    void Append(ACachedMediaHolder* item)
    {
        item->mCachePrevious = last;
        item->mCacheNext = nullptr;
        (last ? last->mCacheNext : first) = item;
        last = item;
        ++count;
    }
    bool Holds(const ACachedMediaHolder* item) const { return item->mCachePrevious || first == item; }
    void Remove(ACachedMediaHolder* item)
    {
        if (!Holds(item))
            return;
        (item->mCachePrevious ? item->mCachePrevious->mCacheNext : first) = item->mCacheNext;
        (item->mCacheNext ? item->mCacheNext->mCachePrevious : last) = item->mCachePrevious;
        item->mCachePrevious = item->mCacheNext = nullptr;
        --count;
    }
};

namespace {

MediaCacheList& CacheList()
{
    static MediaCacheList list;
    return list;
}

// Takes the oldest entry off the list before dropping its picture, so an item that
// removes itself from the list while dropping does not disturb the walk.
bool DropOldest()
{
    MediaCacheList& list = CacheList();
    ACachedMediaHolder* item = list.first;
    if (!item)
        return false;
    list.Remove(item);
    item->DropCachedMedia();
    return true;
}

} // namespace

void AddToMediaCacheList(ACachedMediaHolder* item)
{
    if (!item)
        return;
    CacheList().Remove(item);
    CacheList().Append(item);
}

void RemoveFromPurgeList(ACachedMediaHolder* item)
{
    if (item)
        CacheList().Remove(item);
}

SInt32 CountMediaCacheList()
{
    return CacheList().count;
}

SInt64 FreeMemoryBytes()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return 0;
    // A /proc file reports no size, so it is read whole rather than line by line.
    const QList<QByteArray> lines = meminfo.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("MemAvailable:")) {
            QList<QByteArray> parts = line.simplified().split(' ');
            if (parts.size() >= 2)
                return parts[1].toLongLong() * 1024;
        }
    }
    return 0;
}

void PurgeMemoryCaches(SInt64 needed, SInt64& outFree)
{
    outFree = FreeMemoryBytes();
    while (outFree < needed && DropOldest())
        outFree = FreeMemoryBytes();
}

void PurgeCachedMedia(SInt32 count)
{
    for (SInt32 i = 0; i < count && DropOldest(); ++i) {
    }
}
