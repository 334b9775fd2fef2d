#include "LBroadcaster.h"

#include <algorithm>

LBroadcaster::LBroadcaster() = default;

LBroadcaster::~LBroadcaster()
{
    if (mAlive)
        *mAlive = false;
    // Tell each listener once, then forget it; a listener may remove itself meanwhile.
    std::vector<LListener*> listeners = mListeners;
    for (LListener* listener : listeners) {
        if (std::find(mListeners.begin(), mListeners.end(), listener) == mListeners.end())
            continue;
        listener->RemoveBroadcaster(this);
        if (listener->IsListening())
            listener->ListenToMessage(msg_BroadcasterDied, this);
    }
    mListeners.clear();
}

void LBroadcaster::AddListener(LListener* listener)
{
    if (!listener || HasListener(listener))
        return;
    mListeners.push_back(listener);
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
    mListeners.erase(std::remove(mListeners.begin(), mListeners.end(), listener), mListeners.end());
}

bool LBroadcaster::HasListener(const LListener* listener) const
{
    return std::find(mListeners.begin(), mListeners.end(), listener) != mListeners.end();
}

void LBroadcaster::BroadcastMessage(MessageT message, void* ioParam)
{
    if (!mIsBroadcasting)
        return;
    if (mListeners.empty())
        return;
    // Made by the first broadcast that has listeners: most broadcasters never have any.
    if (!mAlive)
        mAlive = std::make_shared<bool>(true);
    // Walk a copy, but ask the live list before each call: listeners (and the
    // broadcaster itself) may go away while the message is being heard.
    std::shared_ptr<bool> alive = mAlive;
    const std::vector<LListener*> listeners = mListeners;
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
