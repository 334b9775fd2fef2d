// Reveal in File Manager and Help on a desktop with no application for folders
// or web pages: the user is told what is missing instead of nothing happening.

#include "AlertAnswer.h"
#include "AppRunSupport.h"
#include "CExceptionMgrPeriodical.h"
#include "CIndexView.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "LocalizedStrings.h"
#include "UReportErrors.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace {

constexpr CommandT kFirstHelpItemCommand = 0x406A0000 - 1; // Help ▸ Orvex Help

} // namespace

// Run by the test below in a process of its own, whose desktop has no
// applications at all (GIO reads where they are listed only once).
TEST(DesktopWithoutApplications, DISABLED_RevealAndHelpSayWhatIsMissing)
{
    // Errors reach the user as the program's start sets them up, the program in
    // front of a screen whose alerts the test answers.
    InstallErrorReportHook();
    InstallErrorManager();
    ErrorManagerPlatform inFront;
    inFront.isFrontProcess = [] { return true; };
    inFront.canShowAlerts = [] { return true; };
    SetErrorManagerPlatform(inFront);
    std::unique_ptr<COrvexApp> app = MakeProgramWithoutIndex();
    app->MakeNewDocument();
    CIndexDoc* document = OpenIndexDocuments().back();
    const QString photo = TestTempDir() + QStringLiteral("/harbour.jpg");
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    ASSERT_TRUE(image.save(photo, "JPEG"));
    document->AddItem(QUrl::fromLocalFile(photo));
    CIndexView* view = SelectFirstItemWhenIdle(document);
    ASSERT_NE(view, nullptr);

    // What the user is shown: an alert that says what is missing.
    StAlertAnswers alerts(1);
    RunReportingErrors([&] { view->ProcessCommand(cmd_RevealItems, nullptr); });
    RunReportingErrors([&] { app->ProcessCommand(kFirstHelpItemCommand, nullptr); });
    ShowPendingErrorsNow(GetErrorNotifier()); // as the program does when it is in front
    ASSERT_TRUE(RunUntil([&] { return alerts.Texts().size() >= 2; })) << alerts.Texts().join('|').toStdString();
    EXPECT_TRUE(alerts.Texts()[0].contains(CopyLocalizedCFString(500, kMsgNoFileManager - kMessageNumberBase)))
        << alerts.Texts()[0].toStdString();
    EXPECT_TRUE(alerts.Texts()[1].contains(CopyLocalizedCFString(500, kMsgNoBrowser - kMessageNumberBase)))
        << alerts.Texts()[1].toStdString();

    document->SetModified(false);
    CloseIndexDocumentsUnsaved();
}

TEST(DesktopWithoutApplications, RevealAndHelpSayWhatIsMissingInAFreshProcess)
{
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS" })
        environment.insert(QString::fromLatin1(name), empty.path());
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // no file manager service either
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--gtest_also_run_disabled_tests"),
            QStringLiteral("--gtest_filter=DesktopWithoutApplications.DISABLED_RevealAndHelpSayWhatIsMissing") });
    ASSERT_TRUE(child.waitForFinished(120000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}
