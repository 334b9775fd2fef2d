#include "BenchMain.h"

#include <benchmark/benchmark.h>

#include <QApplication>

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
    return 0;
}
