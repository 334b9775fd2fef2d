#pragma once

#include <QElapsedTimer>

#include <functional>
#include <memory>

class QTimer;

// Runs a call once for any number of requests, and never more often than once an
// interval: a request made while one is pending joins it, and a request right
// after a run waits out the rest of the interval. The call runs from the event
// loop, never inside Request, so a batch's many changes of one time slice cost
// one run.
class CoalescedCall {
public:
    CoalescedCall(std::function<void()> call, int minimumIntervalMs);
    ~CoalescedCall();
    CoalescedCall(const CoalescedCall&) = delete;
    CoalescedCall& operator=(const CoalescedCall&) = delete;

    void Request();
    bool IsPending() const;
    // Drops a pending run.
    void Cancel();

private:
    void Run();

    std::function<void()> mCall;
    int mInterval;
    std::unique_ptr<QTimer> mTimer;
    QElapsedTimer mLastRun;
};
