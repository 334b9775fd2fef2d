#include "LBroadcaster.h"

#include <algorithm>

LBroadcaster::LBroadcaster() = default;

LBroadcaster::~LBroadcaster()
{
    if (!mState)
        return;
    *mState->alive = false;
    // Tell each listener once, then forget it; a listener may remove itself meanwhile.
    const std::vector<LListener*> listeners = mState->listeners;
    for (LListener* listener : listeners) {
        if (!HasListener(listener))
            continue;
        listener->RemoveBroadcaster(this);
        if (listener->IsListening())
            listener->ListenToMessage(msg_BroadcasterDied, this);
    }
    mState->listeners.clear();
}

void LBroadcaster::AddListener(LListener* listener)
{
    if (!listener || HasListener(listener))
        return;
    if (!mState)
        mState = std::make_unique<State>();
    mState->listeners.push_back(listener);
    listener->AddBroadcaster(this);
}

void LBroadcaster::RemoveListener(LListener* listener)
{
    DetachListener(listener);
    if (listener)
        listener->RemoveBroadcaster(this);
}

void LBroadcaster::DetachListener(LListener* listener)
{
    if (mState)
        std::erase(mState->listeners, listener);
}

bool LBroadcaster::HasListener(const LListener* listener) const
{
    return mState && std::find(mState->listeners.begin(), mState->listeners.end(), listener) != mState->listeners.end();
}

void LBroadcaster::BroadcastMessage(MessageT message, void* ioParam)
{
    if (!mIsBroadcasting || !mState || mState->listeners.empty())
        return;
    // Walk a copy, but ask the live list before each call: listeners (and the
    // broadcaster itself) may go away while the message is being heard.
    const std::shared_ptr<bool> alive = mState->alive;
    const std::vector<LListener*> listeners = mState->listeners;
    for (LListener* listener : listeners) {
        if (!*alive)
            return;
        if (!HasListener(listener) || !listener->IsListening())
            continue;
        listener->ListenToMessage(message, ioParam);
    }
}

LListener::~LListener()
{
    const std::vector<LBroadcaster*> broadcasters = mBroadcasters;
    for (LBroadcaster* broadcaster : broadcasters)
        broadcaster->DetachListener(this);
}

bool LListener::HasBroadcaster(const LBroadcaster* broadcaster) const
{
    return std::find(mBroadcasters.begin(), mBroadcasters.end(), broadcaster) != mBroadcasters.end();
}

void LListener::AddBroadcaster(LBroadcaster* broadcaster)
{
    if (!HasBroadcaster(broadcaster))
        mBroadcasters.push_back(broadcaster);
}

void LListener::RemoveBroadcaster(LBroadcaster* broadcaster)
{
    mBroadcasters.erase(std::remove(mBroadcasters.begin(), mBroadcasters.end(), broadcaster), mBroadcasters.end());
}
