// Start-up to the first window shown: Orvex (with fresh preferences, opening its
// new index window) against a minimal Qt Widgets program (a QApplication and a
// shown QMainWindow with a menu and a label: text laid out in the same fonts),
// started in turns in one run, on the same platform plugin and font configuration. A probe loaded into both
// (LD_PRELOAD) reports the first window exposed and ends the process at once;
// the time runs from the start of the process to that report.
// Target: within 1.5x of the minimal window.
#include "BenchMain.h"

#include <QDir>
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

QString gHome; // the programs' home: preferences and caches of their own
// Their runtime folder, on a memory file system as a desktop session's is (the
// instance lock is synced to its disk on every start).
std::unique_ptr<QTemporaryDir> gRuntime;
pid_t gStarted = 0; // the last program started, reaped untimed after its run

struct Shown {
    double residentMB = 0;
    QString title; // of the first window exposed; empty when none was
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
}

// Starts the program and answers when its first window was exposed.
Shown StartUntilShown(const char* program)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ORVEX_STARTUP_PROBE));
    environment.insert(QStringLiteral("ORVEX_STARTUP_PROBE_FD"), QString::number(kProbeFd));
    environment.insert(QStringLiteral("HOME"), gHome);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(QString::fromLatin1(name), gHome + QLatin1Char('/') + QString::fromLatin1(name));
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
    char* argv[] = {const_cast<char*>(program), nullptr};
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
        shown.title = text.section(QLatin1Char(' '), 1);
        if (shown.title.isEmpty())
            shown.title = QStringLiteral("(untitled)");
    }
    return shown;
}

void StartUpToAShownWindow(benchmark::State& state)
{
    for (auto _ : state) {
        Shown orvex, minimal;
        double orvexMB = 0, minimalMB = 0;
        const PairedTimes times = RunPaired(
            kPairs,
            [&] {
                orvex = StartUntilShown(ORVEX_PROGRAM);
                orvexMB = std::max(orvexMB, orvex.residentMB);
                if (orvex.title != QLatin1String("Untitled"))
                    CheckTarget("Orvex shows its new index window first", false, ORVEX_PROGRAM);
            },
            [&] {
                minimal = StartUntilShown(ORVEX_MINIMAL_WINDOW);
                minimalMB = std::max(minimalMB, minimal.residentMB);
                if (minimal.title != QLatin1String("minimal"))
                    CheckTarget("the minimal program shows its window", false, ORVEX_MINIMAL_WINDOW);
            },
            Reap);
        state.SetIterationTime(times.MedianA());
        std::printf("first window: \"%s\"; resident at that moment %.1f MiB against %.1f MiB\n",
            orvex.title.toUtf8().constData(), orvexMB, minimalMB);
        CheckRatio("start-up to a shown window / minimal Qt Widgets window", times, 1.5);
    }
}
BENCHMARK(StartUpToAShownWindow)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// For reference, no target: against a window without text, which never fills the
// font database (fontconfig reading its configuration and caches).
void StartUpAgainstAWindowWithoutText(benchmark::State& state)
{
    for (auto _ : state) {
        const PairedTimes times = RunPaired(
            kPairs,
            [&] {
                if (StartUntilShown(ORVEX_PROGRAM).title != QLatin1String("Untitled"))
                    CheckTarget("Orvex shows its new index window first", false, ORVEX_PROGRAM);
            },
            [&] {
                if (StartUntilShown(ORVEX_BARE_WINDOW).title != QLatin1String("minimal"))
                    CheckTarget("the bare program shows its window", false, ORVEX_BARE_WINDOW);
            },
            Reap);
        state.SetIterationTime(times.MedianA());
        PrintRatio("start-up to a shown window / Qt Widgets window without text", times);
    }
}
BENCHMARK(StartUpAgainstAWindowWithoutText)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

void Prepare()
{
    gHome = QStringLiteral(ORVEX_BENCH_STARTUP_DIR);
    QDir(gHome).removeRecursively();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        QDir().mkpath(gHome + QLatin1Char('/') + QString::fromLatin1(name));
    const QString memory = QStringLiteral("/dev/shm");
    gRuntime = std::make_unique<QTemporaryDir>(
        (QFileInfo(memory).isWritable() ? memory : QDir::tempPath()) + QStringLiteral("/orvex-bench-XXXXXX"));
    QFile::setPermissions(gRuntime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, Prepare, [] { gRuntime.reset(); });
}
