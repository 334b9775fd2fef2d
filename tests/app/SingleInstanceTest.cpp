#include "AppTestSupport.h"
#include "Preferences.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

namespace {
bool WaitForListener(const QString& name, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(100))
            return true;
        QThread::msleep(50);
    }
    return false;
}
} // namespace

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
    ASSERT_TRUE(WaitForListener(InstanceNameForConfiguration(), 20000)) << first.readAllStandardError().constData();

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
        EXPECT_TRUE(WaitForListener(InstanceNameForConfiguration(), 20000));
        EXPECT_EQ(launches[1 - ended].state(), QProcess::Running);
        launches[1 - ended].kill();
        launches[1 - ended].waitForFinished(5000);
    }
}
