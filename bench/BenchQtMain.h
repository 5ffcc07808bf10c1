#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <functional>

// The main of a benchmark that needs widgets: an offscreen application,
// `prepare` (what must exist before anything is measured), then the
// registered benchmarks.
inline int RunQtBenchmarks(int argc, char** argv, const std::function<void()>& prepare = {}) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (prepare) prepare();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
