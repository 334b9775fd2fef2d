#pragma once

// Sets an item's writing byte for a scope: while it is set, opening the item's
// medium never asks the user to locate a missing file (a record being written, a
// field read for a list column or a sort).
class StWritingItem {
public:
    explicit StWritingItem(bool& writing)
        : mWriting(writing)
        , mWas(writing)
    {
        mWriting = true;
    }
    ~StWritingItem() { mWriting = mWas; }
    StWritingItem(const StWritingItem&) = delete;
    StWritingItem& operator=(const StWritingItem&) = delete;

private:
    bool& mWriting;
    bool mWas;
};
