#include "MediaCache.h"

#include <QFile>

#include <algorithm>
#include <vector>

namespace {

std::vector<ACachedMediaHolder*>& CacheList()
{
    static std::vector<ACachedMediaHolder*> list;
    return list;
}

// Takes the oldest entry off the list before dropping its picture, so an item that
// removes itself from the list while dropping does not disturb the walk.
bool DropOldest()
{
    auto& list = CacheList();
    if (list.empty())
        return false;
    ACachedMediaHolder* item = list.front();
    list.erase(list.begin());
    item->DropCachedMedia();
    return true;
}

} // namespace

void AddToMediaCacheList(ACachedMediaHolder* item)
{
    if (item)
        CacheList().push_back(item);
}

void RemoveFromPurgeList(ACachedMediaHolder* item)
{
    auto& list = CacheList();
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

SInt32 CountMediaCacheList()
{
    return SInt32(CacheList().size());
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
