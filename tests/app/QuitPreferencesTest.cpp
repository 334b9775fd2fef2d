#include "AlertAnswer.h"
#include "Alerts.h"
#include "CExceptionMgrPeriodical.h"
#include "COrvexApp.h"
#include "ErrorReport.h"
#include "LocalizedStrings.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "URegistrar.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The preferences cannot be written while a file stands where their folder
// should be (whoever runs the test, root too); the folder comes back after.
class PreferencesUnwritable : public ::testing::Test {
protected:
    void SetUp() override
    {
        URegistrar::RegisterFrameworkClasses();
        ASSERT_TRUE(SynchronizePrefs());
        folder = QFileInfo(PreferenceDomain::ApplicationDomainPath()).absolutePath();
        aside = folder + QStringLiteral(".aside");
        QDir().rmdir(aside);
        ASSERT_TRUE(QDir().rename(folder, aside));
        QFile blocker(folder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        ClearPendingError(GetErrorNotifier());
        InstallErrorManager();
    }
    void TearDown() override
    {
        QFile::remove(folder);
        QDir().rename(aside, folder);
        ClearPendingError(GetErrorNotifier());
        ResetErrorManagerPlatform();
        SetErrorNotificationPoster({});
    }

    // A user at a screen, the program no longer in front.
    static void SomeoneAtTheScreen()
    {
        ErrorManagerPlatform platform;
        platform.canShowAlerts = [] { return true; };
        platform.isFrontProcess = [] { return false; };
        SetErrorManagerPlatform(platform);
    }

    QString folder;
    QString aside;
};

} // namespace

TEST_F(PreferencesUnwritable, AFailedWriteAtQuitIsShownBeforeTheProgramGoes)
{
    SomeoneAtTheScreen();
    SetPrefNumber(QStringLiteral("SlideShowDelay"), 7);
    // A report that waited for the program to come to the front is shown too:
    // no later moment will come.
    ReportError(-43, kCautionAlert);

    StAlertAnswers answers(1);
    EXPECT_EQ(WritePreferencesAtQuit(0), 1);
    EXPECT_EQ(WritePreferencesAtQuit(3), 3) << "an earlier failure's result stands";
    // Each alert as "message\nexplanation": the stop alert's title, then the code's text.
    const QStringList& shown = answers.Texts();
    ASSERT_EQ(shown.size(), 3);
    const QString stop = CopyLocalizedString(MessageAlertTitleKey(kStopAlert)) + QLatin1Char('\n');
    EXPECT_TRUE(shown[0].endsWith(QLatin1Char('\n') + CopyLocalizedCFString(700, GetOSErrorIndex(-43))));
    EXPECT_EQ(shown[1], stop + CopyLocalizedCFString(700, GetOSErrorIndex(dirNFErr)));
    EXPECT_EQ(shown[2], shown[1]);
    EXPECT_FALSE(IsErrorPending(GetErrorNotifier()));
    EXPECT_EQ(FindOpenDialog(), nullptr);

    // With the folder back, the same quit writes them and says nothing.
    QFile::remove(folder);
    ASSERT_TRUE(QDir().rename(aside, folder));
    EXPECT_EQ(WritePreferencesAtQuit(0), 0);
    EXPECT_EQ(answers.Texts().size(), 3);
    PreferenceDomain reread(PreferenceDomain::ApplicationDomainPath());
    EXPECT_EQ(reread.Values().value(QStringLiteral("SlideShowDelay")).toLongLong(), 7);
}

TEST_F(PreferencesUnwritable, WithoutAScreenTheFailureIsLoggedAndTheProgramStillEnds)
{
    // The offscreen platform the tests run on: no alert could be answered, so
    // none may be waited for. A child, so a wait would show as a hang.
    ResetErrorManagerPlatform();
    InstallErrorManager();
    const auto result = RunInChildWithin(20, [] {
        StLogCapture log("orvex.errors");
        const int code = WritePreferencesAtQuit(0);
        return log.All().contains(QStringLiteral("the preferences were not written")) ? qint32(code) : qint32(-1);
    });
    ASSERT_TRUE(result) << "the quit waited for an answer";
    EXPECT_EQ(*result, 1);
}
