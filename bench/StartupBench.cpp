// Start-up to the first window painted: Orvex (with fresh preferences, opening its
// new index window) against a minimal Qt Widgets program (a QApplication and a
// shown QMainWindow with a menu bar of three menus and a label: text laid out in
// the same fonts), started in turns in one run on an X server of the benchmark's
// own (Xvfb) managed by a window manager (openbox), as a desktop's is, each run
// with a fresh home of its own, as a first start finds it. A probe loaded into
// both (LD_PRELOAD) reports once the first window exposed has been painted and the
// server has drawn it, and ends the process at once; the time runs from the start
// of the process to that report, and the CPU time (every thread's) is the one the
// process had used by then.
// Target: within 1.5x of the minimal window, in wall time and in CPU time.
#include "BenchMain.h"

#include <QDir>
#include <QProcess>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kPairs = 20;
constexpr int kProbeFd = 3;
constexpr int kTimeoutMs = 30000;

QString gHomes; // the folder of the programs' homes: a fresh one for every run
int gRuns = 0;
std::unique_ptr<QProcess> gServer; // the X server the programs show their windows on
std::unique_ptr<QProcess> gWindowManager; // managing the windows on that server
QString gDisplay;
// Their runtime folder, on a memory file system as a desktop session's is (the
// instance lock is synced to its disk on every start).
std::unique_ptr<QTemporaryDir> gRuntime;
pid_t gStarted = 0; // the last program started, reaped untimed after its run

struct Shown {
    double residentMB = 0;
    double cpuSeconds = 0; // of the whole process, up to the report
    QString size;  // of the first window painted, "<width>x<height>"
    QString title; // of the first window painted; empty when none was
};

// Ends and reaps the last program started (the probe has ended it unless it
// timed out), and removes the instance lock it left: a start after a normal quit
// finds none.
void Reap()
{
    if (gStarted > 0) {
        ::kill(gStarted, SIGKILL);
        ::waitpid(gStarted, nullptr, 0);
        gStarted = 0;
    }
    QDir runtime(gRuntime->path());
    for (const QString& name : runtime.entryList(QDir::Files | QDir::Hidden))
        runtime.remove(name);
    QDir(gHomes).removeRecursively();
}

// A home as a first start finds it: its configuration, data and cache folders empty.
QString FreshHome()
{
    const QString home = gHomes + QStringLiteral("/run-") + QString::number(++gRuns);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        QDir().mkpath(home + QLatin1Char('/') + QString::fromLatin1(name));
    return home;
}

// Starts the program (with `argument` when given) and answers once its first
// window was painted.
Shown StartUntilShown(const char* program, const QString& argument = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ORVEX_STARTUP_PROBE));
    environment.insert(QStringLiteral("ORVEX_STARTUP_PROBE_FD"), QString::number(kProbeFd));
    const QString home = FreshHome();
    environment.insert(QStringLiteral("HOME"), home);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(QString::fromLatin1(name), home + QLatin1Char('/') + QString::fromLatin1(name));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), gDisplay);
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), gRuntime->path());
    std::vector<std::string> strings;
    for (const QString& entry : environment.toStringList())
        strings.push_back(entry.toStdString());
    std::vector<char*> envp;
    for (std::string& entry : strings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    Shown shown;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return shown;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], kProbeFd);
    std::string argumentBytes = argument.toStdString();
    char* argv[] = {const_cast<char*>(program), argument.isEmpty() ? nullptr : argumentBytes.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string line;
    if (spawned == 0) {
        pollfd wait {fds[0], POLLIN, 0};
        char buffer[512];
        while (line.find('\n') == std::string::npos && ::poll(&wait, 1, kTimeoutMs) > 0) {
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            line.append(buffer, size_t(n));
        }
        gStarted = pid;
    }
    ::close(fds[0]);
    const QString text = QString::fromStdString(line).trimmed();
    if (!text.isEmpty()) {
        shown.residentMB = text.section(QLatin1Char(' '), 0, 0).toDouble() / 1024;
        shown.cpuSeconds = text.section(QLatin1Char(' '), 1, 1).toDouble() / 1e6;
        shown.size = text.section(QLatin1Char(' '), 2, 2);
        shown.title = text.section(QLatin1Char(' '), 3);
        if (shown.title.isEmpty())
            shown.title = QStringLiteral("(untitled)");
    }
    return shown;
}

// The CPU times each side's runs reported, paired as RunPaired paired their wall
// times (each side's first run is its unpaired warm-up).
PairedTimes CpuPairs(const std::vector<double>& a, const std::vector<double>& b)
{
    PairedTimes times;
    for (size_t i = 1; i < std::min(a.size(), b.size()); ++i) {
        times.a.push_back(a[i]);
        times.b.push_back(b[i]);
        times.ratios.push_back(b[i] > 0 ? a[i] / b[i] : 0);
    }
    return times;
}

void StartUpToAShownWindow(benchmark::State& state)
{
    for (auto _ : state) {
        Shown orvex, minimal;
        double orvexMB = 0, minimalMB = 0;
        std::vector<double> orvexCpu, minimalCpu;
        const PairedTimes times = RunPaired(
            kPairs,
            [&] {
                orvex = StartUntilShown(ORVEX_PROGRAM);
                orvexCpu.push_back(orvex.cpuSeconds);
                orvexMB = std::max(orvexMB, orvex.residentMB);
                if (orvex.title != QLatin1String("Untitled"))
                    CheckTarget("Orvex shows its new index window first", false, ORVEX_PROGRAM);
            },
            [&] {
                // The minimal window at the size of Orvex's: as many pixels painted and sent.
                minimal = StartUntilShown(ORVEX_MINIMAL_WINDOW, orvex.size);
                minimalCpu.push_back(minimal.cpuSeconds);
                minimalMB = std::max(minimalMB, minimal.residentMB);
                if (minimal.title != QLatin1String("minimal") || minimal.size != orvex.size)
                    CheckTarget("the minimal program shows its window at Orvex's size", false,
                        (minimal.size + QStringLiteral(" against ") + orvex.size).toStdString());
            },
            Reap);
        state.SetIterationTime(times.MedianA());
        std::printf("first window: \"%s\" (%s); resident at that moment %.1f MiB against %.1f MiB\n",
            orvex.title.toUtf8().constData(), orvex.size.toUtf8().constData(), orvexMB, minimalMB);
        CheckRatio("start-up to a painted window / minimal Qt Widgets window", times, 1.5);
        CheckRatio("CPU time of that start-up / the minimal window's", CpuPairs(orvexCpu, minimalCpu), 1.5);
    }
}
BENCHMARK(StartUpToAShownWindow)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// For reference, no target: against a window without text, which never fills the
// font database (fontconfig reading its configuration and caches).
void StartUpAgainstAWindowWithoutText(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<double> orvexCpu, bareCpu;
        const PairedTimes times = RunPaired(
            kPairs,
            [&] {
                const Shown orvex = StartUntilShown(ORVEX_PROGRAM);
                orvexCpu.push_back(orvex.cpuSeconds);
                if (orvex.title != QLatin1String("Untitled"))
                    CheckTarget("Orvex shows its new index window first", false, ORVEX_PROGRAM);
            },
            [&] {
                const Shown bare = StartUntilShown(ORVEX_BARE_WINDOW);
                bareCpu.push_back(bare.cpuSeconds);
                if (bare.title != QLatin1String("minimal"))
                    CheckTarget("the bare program shows its window", false, ORVEX_BARE_WINDOW);
            },
            Reap);
        state.SetIterationTime(times.MedianA());
        PrintRatio("start-up to a painted window / Qt Widgets window without text", times);
        PrintRatio("CPU time of that start-up / the window without text's", CpuPairs(orvexCpu, bareCpu));
    }
}
BENCHMARK(StartUpAgainstAWindowWithoutText)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// Starts the X server, on a display it picks; false when it does not start.
bool StartServer()
{
    gServer = std::make_unique<QProcess>();
    gServer->setProcessChannelMode(QProcess::SeparateChannels);
    gServer->start(QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
            QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!gServer->waitForStarted(10000))
        return false;
    // The server writes its display number once it takes clients.
    QByteArray number;
    while (!number.contains('\n') && gServer->waitForReadyRead(10000))
        number += gServer->readAllStandardOutput();
    gDisplay = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    return number.contains('\n');
}

// Starts the window manager on that server and waits until it manages the
// screen (it names itself on the root window); false when it does not.
bool StartWindowManager()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), gDisplay);
    gWindowManager = std::make_unique<QProcess>();
    gWindowManager->setProcessEnvironment(environment);
    gWindowManager->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    gWindowManager->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!gWindowManager->waitForStarted(10000))
        return false;
    for (int tries = 0; tries < 100; ++tries) {
        QProcess property;
        property.setProcessEnvironment(environment);
        property.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
        if (property.waitForFinished(5000) && property.readAllStandardOutput().contains("window id"))
            return true;
        ::usleep(100000);
    }
    return false;
}

void StopServer()
{
    if (gWindowManager) {
        gWindowManager->terminate();
        if (!gWindowManager->waitForFinished(5000))
            gWindowManager->kill();
        gWindowManager->waitForFinished(5000);
        gWindowManager.reset();
    }
    if (!gServer)
        return;
    gServer->terminate();
    if (!gServer->waitForFinished(5000))
        gServer->kill();
    gServer->waitForFinished(5000);
    gServer.reset();
}

void Prepare()
{
    gHomes = QStringLiteral(ORVEX_BENCH_STARTUP_DIR);
    QDir(gHomes).removeRecursively();
    const QString memory = QStringLiteral("/dev/shm");
    gRuntime = std::make_unique<QTemporaryDir>(
        (QFileInfo(memory).isWritable() ? memory : QDir::tempPath()) + QStringLiteral("/orvex-bench-XXXXXX"));
    QFile::setPermissions(gRuntime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    CheckTarget("an X server for the windows (Debian package xvfb)", StartServer(), gDisplay.toStdString());
    CheckTarget("a window manager on it (Debian packages openbox, x11-utils)", StartWindowManager(),
        gDisplay.toStdString());
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, [] {
        StopServer();
        gRuntime.reset();
    });
}
