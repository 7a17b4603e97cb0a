#pragma once

// The main() of every benchmark program: widgets need an application, and without a display
// they draw offscreen. An argument the library does not know is an error, not silently ignored.

#include <QApplication>

#include <benchmark/benchmark.h>

namespace bench {

inline int runBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace bench
