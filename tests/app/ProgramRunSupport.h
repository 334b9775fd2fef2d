#pragma once

// The real program as separate processes: started, handed files by a later launch,
// signalled and started again, as a user's desktop does.

#include "COrvexApp.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <functional>
#include <sys/types.h>

// True once the running program listens for later launches.
inline bool WaitForProgram(const QString& instanceName, int milliseconds)
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

// The program with this test's preferences, on the offscreen screen; its log is read
// as it comes, so that the pipe never fills.
class ProgramRun {
public:
    ~ProgramRun()
    {
        if (mProcess.state() != QProcess::NotRunning) {
            mProcess.kill();
            mProcess.waitForFinished(5000);
        }
    }

    static QProcessEnvironment Environment()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    // Starts the program and waits until it listens for later launches.
    bool Start(const QStringList& arguments = {})
    {
        mProcess.setProcessEnvironment(Environment());
        mProcess.start(QStringLiteral(ORVEX_BINARY), arguments);
        return mProcess.waitForStarted(10000) && WaitForProgram(InstanceNameForConfiguration(), 20000);
    }

    // A later launch with these files: it hands them over and ends.
    static bool HandOver(const QStringList& files)
    {
        QProcess later;
        later.setProcessEnvironment(Environment());
        later.start(QStringLiteral(ORVEX_BINARY), files);
        return later.waitForFinished(20000) && later.exitStatus() == QProcess::NormalExit && later.exitCode() == 0;
    }

    // Reads the log until it holds `text`.
    bool WaitForLog(const QByteArray& text, int milliseconds = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!mLog.contains(text) && timer.elapsed() < milliseconds) {
            mProcess.waitForReadyRead(100);
            mLog += mProcess.readAllStandardError();
        }
        return mLog.contains(text);
    }

    bool Signal(int signalNumber) { return ::kill(pid_t(mProcess.processId()), signalNumber) == 0; }

    bool WaitForEnd(int milliseconds)
    {
        const bool ended = mProcess.waitForFinished(milliseconds);
        mLog += mProcess.readAllStandardError();
        return ended;
    }

    QProcess& Process() { return mProcess; }
    const QByteArray& Log() const { return mLog; }

private:
    QProcess mProcess;
    QByteArray mLog;
};

// A copy of the sample index under the test's folder.
inline QString CopySampleIndex(const QString& name)
{
    const QString source = QStringLiteral(ORVEX_SAMPLE_INDEX);
    const QString target = TestTempDir() + QLatin1Char('/') + name;
    QDir(target).removeRecursively();
    QDirIterator files(source, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        const QString copy = target + file.mid(source.size());
        QDir().mkpath(QFileInfo(copy).absolutePath());
        EXPECT_TRUE(QFile::copy(file, copy)) << copy.toStdString();
    }
    return target;
}

// The process that holds an index package open (its lock names it); 0 when none does.
inline qint64 PackageHolder(const QString& package)
{
    QFile lock(package + QStringLiteral("/.index.lock"));
    if (!lock.open(QIODevice::ReadOnly))
        return 0;
    return lock.readLine().trimmed().toLongLong();
}

inline bool WaitUntil(const std::function<bool()>& done, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QThread::msleep(50);
    }
    return true;
}
