#include "CExceptionMgrPeriodical.h"

#include "Alerts.h"
#include "LocalizedStrings.h"
#include "Notifications.h"
#include "ThreadUtilities.h"

#include <QApplication>
#include <QWidget>

namespace {

constexpr UInt32 kFlagMark = 1;
constexpr UInt32 kFlagSound = 2;
constexpr UInt32 kFlagText = 4;

CMutexSemaphore& CreationLock()
{
    static CMutexSemaphore lock; // guards the notifier's creation
    return lock;
}

ErrorManagerPlatform RealPlatform()
{
    ErrorManagerPlatform p;
    p.isFrontProcess = [] { return IsFrontProcess(); };
    p.isUserBusy = [] {
        return QGuiApplication::mouseButtons() != Qt::NoButton || QApplication::activePopupWidget() != nullptr;
    };
    p.notify = [](const SErrorReport& report) {
        SErrorNotifier& notifier = GetErrorNotifier();
        if (report.notificationFlags & kFlagSound)
            QApplication::beep();
        QString text;
        if (report.notificationFlags & kFlagText)
            text = CopyLocalizedCFString(report.notificationListID, report.notificationIndex);
        if (report.notificationFlags & (kFlagMark | kFlagText)) {
            const unsigned post = ++notifier.notificationPosts;
            PostDesktopNotification(
                QCoreApplication::applicationName(), text, QApplication::activeWindow(), [post](unsigned id) {
                    SErrorNotifier& posted = GetErrorNotifier();
                    if (posted.notificationPosts == post)
                        posted.notificationID = id;
                    else
                        RemoveDesktopNotification(id);
                });
        }
    };
    p.removeNotification = [] {
        SErrorNotifier& notifier = GetErrorNotifier();
        ++notifier.notificationPosts;
        RemoveDesktopNotification(notifier.notificationID);
        notifier.notificationID = 0;
    };
    p.showAlert = [](const QString& text, SInt16 alertType) { ShowMessageAlert(text, alertType); };
    p.canShowAlerts = [] {
        const QString platform = QGuiApplication::platformName();
        return qApp && platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    };
    return p;
}

ErrorManagerPlatform& Platform()
{
    static ErrorManagerPlatform platform = RealPlatform();
    return platform;
}

} // namespace

void SetErrorManagerPlatform(const ErrorManagerPlatform& platform)
{
    ErrorManagerPlatform& p = Platform();
    if (platform.isFrontProcess)
        p.isFrontProcess = platform.isFrontProcess;
    if (platform.isUserBusy)
        p.isUserBusy = platform.isUserBusy;
    if (platform.notify)
        p.notify = platform.notify;
    if (platform.removeNotification)
        p.removeNotification = platform.removeNotification;
    if (platform.showAlert)
        p.showAlert = platform.showAlert;
    if (platform.canShowAlerts)
        p.canShowAlerts = platform.canShowAlerts;
}

void ResetErrorManagerPlatform()
{
    Platform() = RealPlatform();
}

SErrorNotifier& GetErrorNotifier()
{
    static SErrorNotifier* notifier = nullptr;
    if (!notifier) {
        StSemaphoreLock guard(CreationLock());
        if (!notifier)
            notifier = new SErrorNotifier; // lives until the program ends
    }
    return *notifier;
}

void PostErrorNotification(SErrorNotifier& notifier, const SErrorReport& report)
{
    StSemaphoreLock guard(notifier.lock);
    // The old manager kept only the first report and lost the rest; they now wait
    // their turn. Repeats of a waiting report add nothing, and a flood is capped.
    for (const SErrorReport& waiting : notifier.pending)
        if (waiting.ShowsSameAs(report))
            return;
    if (notifier.pending.size() >= SErrorNotifier::kMaxQueued)
        return;
    notifier.pending.push_back(report);
}

void PostErrorNotification(SErrorNotifier& notifier, SInt16 listID, SInt16 messageIndex, SInt32 alertType,
    SInt16 notificationListID, SInt16 notificationIndex, UInt32 flags, bool showAfterNotification)
{
    PostErrorNotification(notifier,
        SErrorReport {listID, messageIndex, alertType, notificationListID, notificationIndex, flags, showAfterNotification, {}});
}

void ClearPendingError(SErrorNotifier& notifier)
{
    StSemaphoreLock guard(notifier.lock);
    if (notifier.notified) {
        Platform().removeNotification();
        notifier.notified = false;
    }
    notifier.pending.clear();
}

bool IsErrorPending(SErrorNotifier& notifier)
{
    StSemaphoreLock guard(notifier.lock);
    return !notifier.pending.empty();
}

void PollPendingError(SErrorNotifier& notifier)
{
    SErrorReport report;
    bool wasNotified = false;
    {
        StSemaphoreLock guard(notifier.lock);
        if (notifier.pending.empty())
            return;
        const SErrorReport& first = notifier.pending.front();
        if (!Platform().isFrontProcess()) {
            if (first.notificationFlags == 0 || notifier.notified)
                return;
            Platform().notify(first);
            notifier.notified = true;
            return;
        }
        if (Platform().isUserBusy())
            return;
        // Taken off the queue before the alert goes up, so a report made while it is
        // on screen waits for a later period.
        report = first;
        notifier.pending.pop_front();
        wasNotified = notifier.notified;
        if (notifier.notified) {
            Platform().removeNotification();
            notifier.notified = false;
        }
    }
    DisplayPendingError(notifier, report, wasNotified);
}

void ShowPendingErrorsNow(SErrorNotifier& notifier)
{
    std::deque<SErrorReport> reports;
    {
        StSemaphoreLock guard(notifier.lock);
        reports.swap(notifier.pending);
        if (notifier.notified) {
            Platform().removeNotification();
            notifier.notified = false;
        }
    }
    if (!Platform().canShowAlerts())
        return; // ReportError logged each of them
    for (const SErrorReport& report : reports)
        DisplayPendingError(notifier, report, false);
}

void DisplayPendingError(SErrorNotifier&, const SErrorReport& report, bool wasNotified)
{
    if (report.alertType == kNoAlert)
        return;
    if (report.showAfterNotification || !wasNotified)
        Platform().showAlert(report.text.isEmpty() ? CopyLocalizedCFString(report.listID, report.messageIndex) : report.text,
            SInt16(report.alertType));
}

void InstallErrorManager()
{
    SetErrorNotificationPoster([](const SErrorReport& report) { PostErrorNotification(GetErrorNotifier(), report); });
}

CExceptionMgrPeriodical::CExceptionMgrPeriodical()
    : mNotifier(GetErrorNotifier())
{
}

void CExceptionMgrPeriodical::SpendTime(const EventRecord&)
{
    PeriodicCheck();
}

void CExceptionMgrPeriodical::PeriodicCheck()
{
    if (!IsErrorPending(mNotifier))
        return;
    StopRepeating();
    // The timer comes back whatever the poll does: a failure here must not silence
    // every later report.
    struct Restart {
        CExceptionMgrPeriodical* self;
        ~Restart() { self->StartRepeating(kInterval); }
    } restart {this};
    PollPendingError(mNotifier);
}
