#pragma once

#include "LThread.h"

// The main thread as an LThread object, so that code asking for the current
// thread gets an object on the main thread too. It has no stack of its own and
// never runs in a round: its yields, sleeps and waits run rounds. At most one
// exists; the threads work without one.
class UMainThread : public LThread {
public:
    UMainThread();
    ~UMainThread() override;

    static UMainThread* Get();

    // The main thread cannot be deleted, suspended or resumed: these throw 'asrt'.
    void DeleteThread() override;
    void Suspend() override;
    void Resume() override;

protected:
    void Run() override {}
};
