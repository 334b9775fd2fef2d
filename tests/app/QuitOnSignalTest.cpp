#include "COrvexApp.h"
#include "PreferenceDomain.h"
#include "Preferences.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool WaitForProgram(const QString& instanceName, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QLocalSocket probe;
        probe.connectToServer(instanceName);
        if (probe.waitForConnected(100))
            return true;
        QThread::msleep(50);
    }
    return false;
}

} // namespace

// kill, Ctrl-C and a closed terminal end the running program as its Quit command does:
// it exits normally and writes its preferences on the way out.
TEST(QuitOnSignal, TheProgramQuitsNormallyAndWritesItsPreferences)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 4); // opens nothing by itself
    ASSERT_TRUE(SynchronizePrefs());
    const QString preferences = PreferenceDomain::ApplicationDomainPath();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP }) {
        SCOPED_TRACE(strsignal(signalNumber));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(ORVEX_BINARY), {});
        ASSERT_TRUE(program.waitForStarted(10000));
        ASSERT_TRUE(WaitForProgram(InstanceNameForConfiguration(), 20000)) << program.readAllStandardError().constData();

        // Whatever is there now was written at start-up: take it away to see the quit write it.
        ASSERT_TRUE(QFile::remove(preferences));
        ASSERT_EQ(::kill(pid_t(program.processId()), signalNumber), 0);
        ASSERT_TRUE(program.waitForFinished(20000)) << program.readAllStandardError().constData();
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        ASSERT_TRUE(QFile::exists(preferences));
        QFile file(preferences);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        EXPECT_TRUE(written.contains("<key>StartupAction</key>")) << written.constData();
        EXPECT_TRUE(written.contains("<key>RecentItems</key>")) << written.constData();
    }
}

// An index whose files are pipes opens at once (as a damaged index), and the alert
// that reports it does not keep a signal from ending the program.
TEST(QuitOnSignal, AnAlertOnScreenDoesNotHoldTheQuit)
{
    SetPrefNumber(QStringLiteral("StartupAction"), 4);
    ASSERT_TRUE(SynchronizePrefs());
    const QString package = QDir::tempPath() + QStringLiteral("/orvex-quit-%1/Pipes.idxp").arg(::getpid());
    QDir(QFileInfo(package).path()).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(package + "/thumbs") && QDir().mkpath(package + "/media"));
    for (const char* name : { "/index.db", "/settings.xml" })
        ASSERT_EQ(::mkfifo(QFile::encodeName(package + name).constData(), 0600), 0);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ORVEX_BINARY), { package });
    ASSERT_TRUE(program.waitForStarted(10000));
    ASSERT_TRUE(WaitForProgram(InstanceNameForConfiguration(), 20000)) << program.readAllStandardError().constData();
    // The damage is reported (an alert nobody answers) within a few seconds.
    QByteArray log;
    QElapsedTimer timer;
    timer.start();
    while (!log.contains("index.db not readable") && timer.elapsed() < 20000) {
        program.waitForReadyRead(200);
        log += program.readAllStandardError();
    }
    EXPECT_TRUE(QFileInfo::exists(package + "/settings.xml.damaged")) << log.constData();
    QThread::msleep(1500);
    ASSERT_EQ(::kill(pid_t(program.processId()), SIGTERM), 0);
    EXPECT_TRUE(program.waitForFinished(20000)) << log.constData();
    if (program.state() != QProcess::NotRunning)
        program.kill();
    program.waitForFinished(5000);
    QDir(QFileInfo(package).path()).removeRecursively();
}
