#pragma once
// The start-up of a program's main window, measured the same way for both
// programs: each iteration makes the window, shows it (offscreen) and waits
// until it is drawn; the resident memory (VmRSS) of the process is taken once
// the first window is shown. Run each case in a process of its own
// (--benchmark_filter) for a clean memory figure.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace benchdata {

// VmRSS of this process, KiB.
inline long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

// VmRSS when the benchmarks begin (the application made, no window yet); set
// by main.
inline long baselineKiB = 0;

// Make() gives a new window; Count(window) what the window shows of the data
// (rows, entries), reported under CountName.
template <class Make, class Count>
void windowStartUp(benchmark::State& state, Make make, Count count, const char* countName)
{
    static long firstShownKiB = 0;
    int counted = 0;
    for (auto _ : state) {
        auto w = make();
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get())) state.SkipWithError("window not shown");
        QApplication::processEvents();
        state.PauseTiming();
        if (firstShownKiB == 0) firstShownKiB = residentKiB();
        counted = count(*w);
        w.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters[countName] = counted;
    state.counters["rss_base_MiB"] = static_cast<double>(baselineKiB) / 1024.0;
    state.counters["rss_first_shown_MiB"] = static_cast<double>(firstShownKiB) / 1024.0;
}

// The main of a window benchmark: offscreen, a fresh configuration and
// runtime folder, the application, Prepare (when given), then the benchmarks.
inline int windowBenchMain(int argc, char** argv, const std::function<void()>& Prepare = {})
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", config.path().toUtf8());
    QApplication app(argc, argv);
    if (Prepare) Prepare();
    baselineKiB = residentKiB();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace benchdata
