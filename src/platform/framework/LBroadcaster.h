#pragma once

#include "MacTypes.h"

#include <memory>
#include <vector>

class LListener;

// Sent to every listener when a broadcaster is destroyed; the parameter is the broadcaster.
inline constexpr MessageT msg_BroadcasterDied = 'bdie';
inline constexpr MessageT msg_Nothing = 0;

// Tells its listeners by message number. A listener added or removed while a
// broadcast is under way takes effect at once: a removed listener hears nothing
// more, even from the broadcast in progress.
class LBroadcaster {
public:
    LBroadcaster();
    LBroadcaster(const LBroadcaster&) = delete;
    LBroadcaster& operator=(const LBroadcaster&) = delete;
    virtual ~LBroadcaster();

    void AddListener(LListener* listener);
    void RemoveListener(LListener* listener);
    bool HasListener(const LListener* listener) const;
    int CountListeners() const { return mState ? int(mState->listeners.size()) : 0; }

    void StartBroadcasting() { mIsBroadcasting = true; }
    void StopBroadcasting() { mIsBroadcasting = false; }
    bool IsBroadcasting() const { return mIsBroadcasting; }

    virtual void BroadcastMessage(MessageT message, void* ioParam = nullptr);

private:
    friend class LListener;
    void DetachListener(LListener* listener); // without telling the listener

    // Made by the first listener: most broadcasters (every index item) never have one.
    struct State {
        std::vector<LListener*> listeners;
        std::shared_ptr<bool> alive = std::make_shared<bool>(true); // a broadcast notices its broadcaster's deletion
    };
    std::unique_ptr<State> mState;
    bool mIsBroadcasting = true;
};

class LListener {
public:
    LListener() = default;
    LListener(const LListener&) = delete;
    LListener& operator=(const LListener&) = delete;
    virtual ~LListener();

    virtual void ListenToMessage(MessageT message, void* ioParam) = 0;

    void StartListening() { mIsListening = true; }
    void StopListening() { mIsListening = false; }
    bool IsListening() const { return mIsListening; }
    bool HasBroadcaster(const LBroadcaster* broadcaster) const;

private:
    friend class LBroadcaster;
    void AddBroadcaster(LBroadcaster* broadcaster);
    void RemoveBroadcaster(LBroadcaster* broadcaster);

    std::vector<LBroadcaster*> mBroadcasters;
    bool mIsListening = true;
};
