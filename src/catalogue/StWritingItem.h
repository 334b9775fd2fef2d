#pragma once

#include "Liveness.h"

#include <memory>

// Sets an item's writing byte for a scope: while it is set, opening the item's
// medium never asks the user to locate a missing file (a record being written, a
// field read for a list column or a sort). Given the item's liveness token, it
// leaves alone an item that was deleted while the scope waited.
class StWritingItem {
public:
    explicit StWritingItem(bool& writing, const LivenessToken* life = nullptr)
        : mWriting(writing)
        , mWas(writing)
    {
        if (life)
            mLife = life->Watch();
        mWatched = life != nullptr;
        mWriting = true;
    }
    ~StWritingItem()
    {
        if (!mWatched || !mLife.expired())
            mWriting = mWas;
    }
    StWritingItem(const StWritingItem&) = delete;
    StWritingItem& operator=(const StWritingItem&) = delete;

private:
    bool& mWriting;
    bool mWas;
    bool mWatched = false;
    std::weak_ptr<const void> mLife;
};
