#include "Alerts.h"
#include "AppRunSupport.h"
#include "AppTestSupport.h"
#include "Preferences.h"
#include "ProgramRunSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QThread>

#include <utility>

TEST(SingleInstance, ALaterLaunchHandsItsFilesToTheRunningProgram)
{
    // The first program opens nothing by itself.
    SetPrefNumber(QStringLiteral("StartupAction"), 4);
    ASSERT_TRUE(SynchronizePrefs());
    FileRef photo = MakeTestFile(QStringLiteral("instance/handed over.jpg"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(ORVEX_BINARY), {});
    ASSERT_TRUE(first.waitForStarted(10000));
    ASSERT_TRUE(WaitForProgram(InstanceNameForConfiguration(), 20000)) << first.readAllStandardError().constData();

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(ORVEX_BINARY), { photo.Path() });
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    // The first program was asked to open the file.
    QByteArray log;
    QElapsedTimer timer;
    timer.start();
    while (!log.contains(photo.Path().toUtf8()) && timer.elapsed() < 10000) {
        first.waitForReadyRead(200);
        log += first.readAllStandardError();
    }
    EXPECT_TRUE(log.contains("opening \"" + photo.Path().toUtf8() + '"')) << log.constData();
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished(5000);
}

TEST(SingleInstance, OfTwoLaunchesAtOnceOneRunsAndTheOtherHandsOver)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 4);
    ASSERT_TRUE(SynchronizePrefs());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The race was lost in a third of the rounds: a few rounds find it.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        QProcess launches[2];
        for (QProcess& launch : launches) {
            launch.setProcessEnvironment(env);
            launch.start(QStringLiteral(ORVEX_BINARY), {});
        }
        for (QProcess& launch : launches)
            ASSERT_TRUE(launch.waitForStarted(10000));
        // One ends by itself once it has handed over; the other runs on.
        QElapsedTimer timer;
        timer.start();
        while (launches[0].state() == QProcess::Running && launches[1].state() == QProcess::Running
            && timer.elapsed() < 30000)
            launches[0].waitForFinished(100);
        const int ended = launches[0].state() == QProcess::Running ? 1 : 0;
        if (launches[ended].state() != QProcess::NotRunning)
            ASSERT_TRUE(launches[ended].waitForFinished(10000));
        EXPECT_EQ(launches[ended].exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(launches[ended].exitCode(), 0) << launches[ended].readAllStandardError().constData();
        EXPECT_TRUE(WaitForProgram(InstanceNameForConfiguration(), 20000));
        EXPECT_EQ(launches[1 - ended].state(), QProcess::Running);
        launches[1 - ended].kill();
        launches[1 - ended].waitForFinished(5000);
    }
}

// Media files handed to the running program after an index was opened are recent
// items too; the next start still opens the index, and even a crash keeps the list.
TEST(SingleInstance, MediaHandedOverDoNotTakeTheNextStartFromTheMostRecentIndex)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 3);
    SetPrefValue(QStringLiteral("RecentItems"), QVariant());
    ASSERT_TRUE(SynchronizePrefs());
    const QString index = CopySampleIndex(QStringLiteral("Trip.idxp"));
    const QString media = TestTempDir() + QStringLiteral("/media");
    ASSERT_TRUE(QDir().mkpath(media));
    QStringList files;
    for (auto [source, name] : { std::pair { "QuickTime.mov", "a.mov" }, { "AIFF.aif", "b.aif" }, { "RIFF.avi", "c.avi" } }) {
        files << media + QLatin1Char('/') + QLatin1String(name);
        ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exiftool-images/") + QLatin1String(source)), files.last()));
    }

    {
        ProgramRun first;
        ASSERT_TRUE(first.Start({ index }));
        ASSERT_TRUE(WaitUntil([&] { return PackageHolder(index) == first.Process().processId(); }, 20000));
        ASSERT_TRUE(ProgramRun::HandOver(files));
        ASSERT_TRUE(first.WaitForLog("opening \"" + files.last().toUtf8() + '"')) << first.Log().constData();
        QThread::msleep(1000);
        // The program dies without a word.
        ASSERT_TRUE(first.Signal(SIGKILL));
        ASSERT_TRUE(first.WaitForEnd(10000));
    }

    ProgramRun second;
    ASSERT_TRUE(second.Start());
    EXPECT_TRUE(WaitUntil([&] { return PackageHolder(index) == second.Process().processId(); }, 20000))
        << second.Log().constData();
}

namespace {
// The program, noting the activation tokens that later launches hand it.
struct ForwardApp : IdleApp {
    QStringList tokens;
    void ComeForward(const QString& token) override
    {
        tokens << token;
        IdleApp::ComeForward(token);
    }
};
} // namespace

// The program sits minimized, behind another program, with an alert open; a launch
// from a file manager (which hands its activation token on) brings the window back
// and the alert to the front, as well as handing its file over.
TEST(SingleInstance, ALaterLaunchBringsTheMinimizedWindowAndItsAlertForward)
{
    const QString name = InstanceNameForConfiguration();
    bool handedOver = false;
    const std::unique_ptr<QLockFile> lock = LApplication::ClaimInstance(name, {}, handedOver);
    ASSERT_TRUE(lock);
    SetPrefNumber(QStringLiteral("StartupAction"), 2);
    ForwardApp app;
    CIndexDoc* document = StartFirstRun(app);
    ASSERT_NE(document, nullptr);
    QWidget* shell = document->GetWindow()->GetShell();
    ASSERT_TRUE(RunEventsUntil([&] { return shell->isVisible(); }, kPatienceMilliseconds));
    ASSERT_TRUE(app.ListenForLaterLaunches(name));

    const struct {
        const char* variable;
        QString token;
    } launches[] = {
        { "XDG_ACTIVATION_TOKEN", QStringLiteral("wayland-token-1") },
        { "DESKTOP_STARTUP_ID", QStringLiteral("files-1234-host-orvex-0_TIME5678") },
    };
    for (const auto& launch : launches) {
        SCOPED_TRACE(launch.variable);
        shell->showMinimized();
        QWidget* alert = nullptr;
        bool forward = false;
        QProcess later;
        QTimer::singleShot(0, [&] {
            alert = QApplication::activeModalWidget();
            // The user goes to another program.
            QApplication::setActiveWindow(nullptr);
            QProcessEnvironment env = ProgramRun::Environment();
            env.insert(QLatin1String(launch.variable), launch.token);
            later.setProcessEnvironment(env);
            later.start(QStringLiteral(ORVEX_BINARY), { CameraPhotos().first() });
            forward = RunEventsUntil(
                [&] { return !shell->isMinimized() && alert && QApplication::activeWindow() == alert; }, 20000);
            later.waitForFinished(20000);
            if (alert)
                CancelModal(alert);
        });
        ShowMessageAlert(QStringLiteral("An alert the user has not seen yet."), kNoteAlert);
        EXPECT_NE(alert, nullptr);
        EXPECT_TRUE(forward) << "minimized: " << shell->isMinimized();
        EXPECT_EQ(later.exitCode(), 0);
    }
    EXPECT_EQ(app.tokens, (QStringList { launches[0].token, launches[1].token }));
    CloseIndexDocumentsUnsaved();
}
