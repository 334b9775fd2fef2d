#pragma once

#include "ErrorReport.h"
#include "CMutexSemaphore.h"
#include "LPeriodical.h"

#include <deque>
#include <functional>

// Reports wait here until the program can show them: one at a time, in the order
// they came, at idle time and while the program is in front. In the background the
// desktop is asked to draw the user's attention to the first of them.
struct SErrorNotifier {
    static constexpr std::size_t kMaxQueued = 32;

    CMutexSemaphore lock;
    std::deque<SErrorReport> pending;
    bool notified = false; // a notification for the first report is up
    unsigned notificationID = 0;
    // Counts the posts and removals: the service's answer to a post that was
    // removed before it came closes the notification again.
    unsigned notificationPosts = 0;
};

// What the manager asks of the desktop; the defaults are the real ones, tests answer
// for a user who is not there.
struct ErrorManagerPlatform {
    std::function<bool()> isFrontProcess;
    std::function<bool()> isUserBusy; // events wait: a button held, a menu open
    std::function<void(const SErrorReport&)> notify; // mark, sound, text by the flags
    std::function<void()> removeNotification;
    std::function<void(const QString& text, SInt16 alertType)> showAlert;
    // False where no one can see an alert (no screen: the offscreen and minimal
    // platforms), so nothing waits for an answer that cannot come.
    std::function<bool()> canShowAlerts;
};
void SetErrorManagerPlatform(const ErrorManagerPlatform& platform); // unset members keep the real ones
void ResetErrorManagerPlatform();

SErrorNotifier& GetErrorNotifier();

// Queues a report (a copy of one already waiting, or one past kMaxQueued, is dropped).
void PostErrorNotification(SErrorNotifier& notifier, const SErrorReport& report);
void PostErrorNotification(SErrorNotifier& notifier, SInt16 listID, SInt16 messageIndex, SInt32 alertType,
    SInt16 notificationListID, SInt16 notificationIndex, UInt32 flags, bool showAfterNotification);
// Drops every waiting report and takes the notification down.
void ClearPendingError(SErrorNotifier& notifier);
// Shows the first report, notifies, or waits (see the .cpp).
void PollPendingError(SErrorNotifier& notifier);
void DisplayPendingError(SErrorNotifier& notifier, const SErrorReport& report, bool wasNotified);
bool IsErrorPending(SErrorNotifier& notifier);
// Shows every waiting report now, in front or not, for the program's last moments
// when no later period will come; where no alert can be seen they stay logged only.
// The queue is empty afterwards.
void ShowPendingErrorsNow(SErrorNotifier& notifier);

// Makes the error manager the receiver of ReportError's posts.
void InstallErrorManager();

// The application's periodical that looks at the notifier once a second.
class CExceptionMgrPeriodical : public LPeriodical {
public:
    static constexpr double kInterval = 1.0;

    CExceptionMgrPeriodical();
    void SpendTime(const EventRecord& event) override;
    virtual void PeriodicCheck();

private:
    SErrorNotifier& mNotifier;
};
