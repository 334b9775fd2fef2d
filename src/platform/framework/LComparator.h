#pragma once

#include "MacTypes.h"

// Orders the elements of an array. Elements are passed by address with their
// sizes; a key is whatever the subclass compares elements against. The default
// compares the bytes.
class LComparator {
public:
    virtual ~LComparator() = default;

    virtual SInt32 Compare(const void* item1, const void* item2, UInt32 size1, UInt32 size2) const;
    virtual bool IsEqualTo(const void* item1, const void* item2, UInt32 size1, UInt32 size2) const;
    virtual SInt32 CompareToKey(const void* item, UInt32 size, const void* key) const;
    virtual bool IsEqualToKey(const void* item, UInt32 size, const void* key) const;
    virtual LComparator* Clone() const;

    // The shared default comparator (never deleted).
    static LComparator* GetComparator();
};

// Compares 32-bit signed values.
class LLongComparator : public LComparator {
public:
    SInt32 Compare(const void* item1, const void* item2, UInt32 size1, UInt32 size2) const override;
    SInt32 CompareToKey(const void* item, UInt32 size, const void* key) const override;
    LComparator* Clone() const override { return new LLongComparator; }
    static LLongComparator* GetComparator();
};
