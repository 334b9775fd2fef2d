#include "LComparator.h"

#include <algorithm>
#include <cstring>

SInt32 LComparator::Compare(const void* item1, const void* item2, UInt32 size1, UInt32 size2) const
{
    int result = std::memcmp(item1, item2, std::min(size1, size2));
    if (result == 0)
        return size1 < size2 ? -1 : (size1 > size2 ? 1 : 0);
    return result < 0 ? -1 : 1;
}

bool LComparator::IsEqualTo(const void* item1, const void* item2, UInt32 size1, UInt32 size2) const
{
    return Compare(item1, item2, size1, size2) == 0;
}

SInt32 LComparator::CompareToKey(const void*, UInt32, const void*) const
{
    return 1; // no key order: every element sorts after the key
}

bool LComparator::IsEqualToKey(const void* item, UInt32 size, const void* key) const
{
    return CompareToKey(item, size, key) == 0;
}

LComparator* LComparator::Clone() const
{
    return new LComparator;
}

LComparator* LComparator::GetComparator()
{
    static LComparator shared;
    return &shared;
}

SInt32 LLongComparator::Compare(const void* item1, const void* item2, UInt32, UInt32) const
{
    SInt32 a, b;
    std::memcpy(&a, item1, sizeof a);
    std::memcpy(&b, item2, sizeof b);
    return a < b ? -1 : (a > b ? 1 : 0);
}

SInt32 LLongComparator::CompareToKey(const void* item, UInt32, const void* key) const
{
    SInt32 a, b;
    std::memcpy(&a, item, sizeof a);
    std::memcpy(&b, key, sizeof b);
    return a < b ? -1 : (a > b ? 1 : 0);
}

LLongComparator* LLongComparator::GetComparator()
{
    static LLongComparator shared;
    return &shared;
}
