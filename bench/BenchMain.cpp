#include "BenchMain.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

int gMissed = 0;

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double Seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int RunBenchmarks(int argc, char** argv, const std::function<void()>& prepare, const std::function<void()>& report)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (prepare)
        prepare();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (report)
        report();
    if (gMissed > 0)
        std::printf("%d benchmark target(s) missed\n", gMissed);
    return gMissed > 0 ? 1 : 0;
}

double PairedTimes::MinRatio() const
{
    return ratios.empty() ? 0 : *std::min_element(ratios.begin(), ratios.end());
}

double PairedTimes::MedianRatio() const
{
    return Median(ratios);
}

double PairedTimes::MaxRatio() const
{
    return ratios.empty() ? 0 : *std::max_element(ratios.begin(), ratios.end());
}

double PairedTimes::MedianA() const
{
    return Median(a);
}

double PairedTimes::MedianB() const
{
    return Median(b);
}

PairedTimes RunPaired(int pairs, const std::function<void()>& a, const std::function<void()>& b,
    const std::function<void()>& after)
{
    auto timed = [&after](const std::function<void()>& side) {
        const double seconds = Seconds(side);
        if (after)
            after();
        return seconds;
    };
    timed(a);
    timed(b);
    PairedTimes times;
    for (int i = 0; i < pairs; ++i) {
        double ta = 0;
        double tb = 0;
        if (i % 2 == 0) {
            ta = timed(a);
            tb = timed(b);
        } else {
            tb = timed(b);
            ta = timed(a);
        }
        times.a.push_back(ta);
        times.b.push_back(tb);
        times.ratios.push_back(tb > 0 ? ta / tb : 0);
    }
    return times;
}

void PrintRatio(const std::string& name, const PairedTimes& times)
{
    std::printf("%-60s ratio min %.3f median %.3f max %.3f (A %.4f s, B %.4f s median, %zu pairs)\n", name.c_str(),
        times.MinRatio(), times.MedianRatio(), times.MaxRatio(), times.MedianA(), times.MedianB(),
        times.ratios.size());
}

bool CheckRatio(const std::string& name, const PairedTimes& times, double limit)
{
    const bool met = times.MedianRatio() <= limit;
    std::printf("%-60s ratio min %.3f median %.3f max %.3f (A %.4f s, B %.4f s median, %zu pairs), target <= %.2f: %s\n",
        name.c_str(), times.MinRatio(), times.MedianRatio(), times.MaxRatio(), times.MedianA(), times.MedianB(),
        times.ratios.size(), limit, met ? "met" : "MISSED");
    if (!met)
        ++gMissed;
    return met;
}

bool CheckTarget(const std::string& name, bool met, const std::string& detail)
{
    std::printf("%-60s %s%s%s\n", name.c_str(), met ? "ok" : "MISSED", detail.empty() ? "" : ": ", detail.c_str());
    if (!met)
        ++gMissed;
    return met;
}

int MissedTargets()
{
    return gMissed;
}

void BenchmarkPaired(benchmark::State& state, const std::string& name, double limit, int pairs,
    const std::function<void()>& a, const std::function<void()>& b, const std::function<void()>& after)
{
    for (auto _ : state) {
        const PairedTimes times = RunPaired(pairs, a, b, after);
        state.SetIterationTime(times.MedianA());
        if (limit > 0)
            CheckRatio(name, times, limit);
        else
            PrintRatio(name, times);
    }
}

double ProcessStatusMB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

void ResetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void RunShell(const QString& command)
{
    QProcess shell;
    shell.setProcessChannelMode(QProcess::MergedChannels);
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    if (!shell.waitForFinished(600000) || shell.exitCode() != 0)
        CheckTarget("the yardstick ran", false, (command + QLatin1Char('\n') + QString::fromLocal8Bit(shell.readAll())).toStdString());
}
