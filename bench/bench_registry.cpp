// The registry of a dialer used for years: the real OrvDialer of bin/ started
// on a private X display until its window is mapped, and closed (as at a
// logout) until the process has ended, once with a fresh registry and once
// with about 10,000 values: five years of daily statistics for the dialer and
// for four entries. The runs alternate; the medians are compared.
//
//   build/bench/bench_registry [runs]
//
// Prints, last, "start ratio A, close ratio B" (big registry / fresh one).

#include "bench/xmapwatch.h"
#include "tests/e2e/desktop.h"
#include "tests/support/testenv.h"

#include "platform/codepage.h"
#include "platform/userdirs.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::string kTitle = "Orvanta Dialer 1.3";
constexpr int kEntries = 4;
constexpr int kMonths = 60;

std::string entryName(int i) { return "Провайдер " + std::to_string(i + 1); }  // UTF-8, as the file holds it

// The statistics sections of Base for the kMonths months up to December 2026;
// Count counts the values.
void addStatistics(std::string& text, const std::string& base, int& count)
{
    for (int m = 0; m < kMonths; ++m) {
        const int month = 12 - m % 12, year = 2026 - m / 12;
        text += "[HKEY_CURRENT_USER\\" + base + "\\Statistics\\" + std::to_string(month) + "." + std::to_string(year) +
                "]\n\"Whole\"=dword:0001d4c0\n";
        ++count;
        for (int day = 1; day <= 30; ++day, ++count) {
            char line[40];
            std::snprintf(line, sizeof line, "\"%d\"=dword:%08x\n", day, 600u + static_cast<unsigned>(day * 37 + m));
            text += line;
        }
        text += "\n";
    }
}

std::string bigRegistry(int& count)
{
    const std::string dialer = "Software\\Kestrane\\Dialer";
    std::string text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\" + dialer + "]\n\"Version\"=\"1.3\"\n\n";
    count = 1;
    addStatistics(text, dialer, count);
    for (int i = 0; i < kEntries; ++i) {
        const std::string entry = dialer + "\\Entries\\" + entryName(i);
        text += "[HKEY_CURRENT_USER\\" + entry + "]\n\"555100" + std::to_string(i) + "\"=dword:00000001\n\"555200" +
                std::to_string(i) + "\"=dword:00000001\n\n[HKEY_CURRENT_USER\\" + entry +
                "\\Account]\n\"HasPassword\"=dword:00000000\n\n";
        count += 3;
        addStatistics(text, entry, count);
    }
    return text;
}

void writePhonebook()
{
    std::string text;
    for (int i = 0; i < kEntries; ++i)
        text += "[" + entryName(i) + "]\r\nNumber=555100" + std::to_string(i) + "\r\nUserName=user" + std::to_string(i) +
                "\r\n";
    std::filesystem::create_directories(userdirs::configDir());
    testenv::writeFile(userdirs::configDir() + "/phonebook.ini", codepage::fromUtf8(text));
}

struct Run {
    double startMs = -1;
    double closeMs = -1;
};

// One X connection watches every run: were the last client of the display to
// leave between runs, the server would reset and refuse the next one a moment.
Run runOnce(const e2e::Display& display, benchx::MapWatch& watch)
{
    using clock = std::chrono::steady_clock;
    Run r;
    const auto t0 = clock::now();
    auto dialer = e2e::startProgram(display, QString::fromStdString(testenv::binDir() + "/OrvDialer"));
    const auto mapped = watch.waitForMap(kTitle, 20000);
    if (!mapped) {
        dialer->kill();
        dialer->waitForFinished(5000);
        return r;
    }
    r.startMs = std::chrono::duration<double, std::milli>(*mapped - t0).count();
    QThread::msleep(700);  // the start's work after the window is shown
    const auto t1 = clock::now();
    dialer->terminate();
    if (e2e::waitForExit(*dialer, 20000) == 0) r.closeMs = std::chrono::duration<double, std::milli>(clock::now() - t1).count();
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    testenv::root();
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    e2e::Display display;
    if (display.name().isEmpty()) {
        std::fprintf(stderr, "bench_registry: Xvfb did not start\n");
        return 1;
    }
    writePhonebook();
    int values = 0;
    const std::string big = bigRegistry(values);
    const std::string store = userdirs::configDir() + "/registry.reg";
    std::vector<double> start[2], close[2];
    benchx::MapWatch watch(display.name().toStdString());
    if (!watch.ok()) {
        std::fprintf(stderr, "bench_registry: no connection to the display\n");
        return 1;
    }
    runOnce(display, watch);  // the first start of the programs' libraries: not measured
    for (int i = 0; i < runs; ++i) {
        for (int kind = 0; kind < 2; ++kind) {
            std::filesystem::remove(store);
            if (kind == 1) testenv::writeFile(store, big);
            const Run r = runOnce(display, watch);
            if (r.startMs < 0 || r.closeMs < 0) {
                std::fprintf(stderr, "bench_registry: the dialer did not start and end\n");
                return 1;
            }
            start[kind].push_back(r.startMs);
            close[kind].push_back(r.closeMs);
        }
    }
    std::printf("%d values in the big registry (%zu bytes), %d runs each\n", values, big.size(), runs);
    std::printf("start fresh %.1f ms, big %.1f ms; close fresh %.1f ms, big %.1f ms\n", benchx::median(start[0]),
                benchx::median(start[1]), benchx::median(close[0]), benchx::median(close[1]));
    std::printf("start ratio %.2f, close ratio %.2f\n", benchx::median(start[1]) / benchx::median(start[0]),
                benchx::median(close[1]) / benchx::median(close[0]));
    return 0;
}
