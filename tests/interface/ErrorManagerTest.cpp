#include "CExceptionMgrPeriodical.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "LocalizedStrings.h"
#include "Preferences.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <vector>

namespace {

// A user in front of the program (or not), with alerts answered at once.
class ErrorManager : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearPendingError(GetErrorNotifier());
        ErrorManagerPlatform platform;
        platform.isFrontProcess = [this] { return front; };
        platform.isUserBusy = [this] { return busy; };
        platform.notify = [this](const SErrorReport& report) { notifications.push_back(report); };
        platform.removeNotification = [this] { ++removed; };
        platform.showAlert = [this](const QString& text, SInt16 type) {
            if (throwOnShow)
                ThrowOSErr_(-108);
            shown.emplace_back(text, type);
            // A report made while the alert is up waits for a later period.
            if (reportWhileShown) {
                reportWhileShown = false;
                ReportError(-49, kCautionAlert);
            }
        };
        SetErrorManagerPlatform(platform);
        InstallErrorManager();
        SetPrefBoolean(QStringLiteral("ShowNotificationDialog"), false);
    }
    void TearDown() override
    {
        ClearPendingError(GetErrorNotifier());
        ResetErrorManagerPlatform();
        SetErrorNotificationPoster({});
    }

    bool front = true;
    bool busy = false;
    bool throwOnShow = false;
    bool reportWhileShown = false;
    int removed = 0;
    std::vector<SErrorReport> notifications;
    std::vector<std::pair<QString, SInt16>> shown;
};

} // namespace

TEST_F(ErrorManager, OneReportIsShownAtTheNextPeriod)
{
    CExceptionMgrPeriodical periodical;
    ReportError(100033, kStopAlert);
    EXPECT_TRUE(shown.empty());
    periodical.PeriodicCheck();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, CopyLocalizedCFString(500, 33));
    EXPECT_EQ(shown[0].second, kStopAlert);
    EXPECT_FALSE(IsErrorPending(GetErrorNotifier()));
    EXPECT_TRUE(periodical.IsRepeating());
}

TEST_F(ErrorManager, SeveralReportsAreAllShownInOrder)
{
    CExceptionMgrPeriodical periodical;
    ReportError(-43, kStopAlert);
    ReportError(100047, kNoteAlert);
    ReportError(-43, kStopAlert); // the same report again adds nothing
    ReportError(err_NilPointer, kCautionAlert);
    reportWhileShown = true;
    for (int period = 0; period < 6; ++period)
        periodical.PeriodicCheck();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0], std::make_pair(CopyLocalizedCFString(700, 6), SInt16(kStopAlert)));
    EXPECT_EQ(shown[1], std::make_pair(CopyLocalizedCFString(500, 47), SInt16(kNoteAlert)));
    EXPECT_EQ(shown[2], std::make_pair(CopyLocalizedCFString(700, 32), SInt16(kCautionAlert)));
    EXPECT_EQ(shown[3], std::make_pair(CopyLocalizedCFString(700, 3), SInt16(kCautionAlert)));
}

TEST_F(ErrorManager, AThrowingPollDoesNotStopLaterReports)
{
    CExceptionMgrPeriodical periodical;
    ReportError(-43, kStopAlert);
    throwOnShow = true;
    EXPECT_THROW(periodical.PeriodicCheck(), ExceptionCode);
    EXPECT_TRUE(periodical.IsRepeating());
    throwOnShow = false;
    ReportError(-34, kStopAlert);
    periodical.PeriodicCheck();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, CopyLocalizedCFString(700, 16));
}

TEST_F(ErrorManager, InTheBackgroundItNotifiesOnceThenShowsInFront)
{
    CExceptionMgrPeriodical periodical;
    front = false;
    ReportError(-43, kStopAlert);
    periodical.PeriodicCheck();
    periodical.PeriodicCheck();
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].notificationFlags, 3u);
    EXPECT_TRUE(shown.empty());

    front = true;
    busy = true; // events waiting: try again a second later
    periodical.PeriodicCheck();
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(IsErrorPending(GetErrorNotifier()));
    busy = false;
    periodical.PeriodicCheck();
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(removed, 1);

    SetPrefBoolean(QStringLiteral("ShowNotificationDialog"), true);
    front = false;
    ReportError(-43, kStopAlert);
    periodical.PeriodicCheck();
    ASSERT_EQ(notifications.size(), 2u);
    EXPECT_EQ(notifications[1].notificationFlags, 7u);
}

TEST_F(ErrorManager, NoAlertTypeIsClearedWithoutAnAlert)
{
    CExceptionMgrPeriodical periodical;
    ReportError(-43, kNoAlert);
    periodical.PeriodicCheck();
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(IsErrorPending(GetErrorNotifier()));

    // A report that was notified and asks not to be shown after its notification.
    front = false;
    PostErrorNotification(GetErrorNotifier(), 700, 6, kStopAlert, 128, 1, 3, false);
    periodical.PeriodicCheck();
    front = true;
    periodical.PeriodicCheck();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(notifications.size(), 1u);
}
