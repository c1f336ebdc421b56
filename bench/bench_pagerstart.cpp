// The Pager's whole start as a user sees it: from the exec of the program
// to its main window mapped on an X display (Xvfb), with small data and with
// 10,000 contacts in the shown group; the same operators.dat in both. The
// runs alternate between the two folders; the medians and their ratio are
// printed last:
//   start small X ms, big Y ms, ratio R

#include "bench/benchdata.h"
#include "bench/xmapwatch.h"
#include "tests/e2e/desktop.h"
#include "tests/support/testenv.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kOperators = 2000;
constexpr const char* kTitle = "Orvanta Pager 3.6";

using benchdata::addressOf;
using benchdata::cp;

void writeFile(const std::string& path, const AnsiString& text) { std::ofstream(path, std::ios::binary) << text; }

// A program folder whose one group (the shown one) holds the contacts given.
void fillInstall(const std::string& folder, int contacts)
{
    writeFile(folder + "/operators.dat", benchdata::operatorsDat(kOperators));
    writeFile(folder + "/pagers.dat", cp("[Альфа 100]\r\nMaxSymbols=100\r\n"));
    AnsiString book = "[" + cp("Группа 0") + "]\r\n";
    for (int n = 0; n < contacts; ++n) {
        book += cp("Абонент ") + std::to_string(n) + "=" + addressOf(n % kOperators, 100000 + n) + ",a" +
                std::to_string(n) + "@example.com," + cp("Полное имя ") + std::to_string(n) +
                (n % 5 == 0 ? cp(",Альфа 100,WIN") : AnsiString()) + "\r\n";
    }
    writeFile(folder + "/book.dat", book + "\r\n");
    writeFile(folder + "/pager.ini", "[Message]\r\nCountLogMsg=10\r\n[Connect]\r\nUseOrvDialer=0\r\n");
}

// Milliseconds from the exec to the main window mapped; negative when it was not.
// The watch lives through all runs: with no client left the X server resets
// and refuses connections for a moment.
double timeStart(const e2e::Display& display, benchx::MapWatch& watch, const e2e::PagerInstall& install)
{
    watch.waitForMap(kTitle, 0);  // what the runs before left in the queue
    const auto t0 = std::chrono::steady_clock::now();
    auto p = install.start(display);
    const auto mapped = watch.waitForMap(kTitle, 30000);
    const bool ended = p->state() == QProcess::NotRunning;
    p->terminate();
    if (!p->waitForFinished(10000)) {
        std::fprintf(stderr, "the Pager did not end on SIGTERM\n");
        p->kill();
        p->waitForFinished(5000);
    }
    if (!mapped) {
        std::fprintf(stderr, "not mapped; %s, exit code %d\n", ended ? "it had ended" : "it ran", p->exitCode());
        return -1;
    }
    return std::chrono::duration<double, std::milli>(*mapped - t0).count();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    setenv("HOME", testenv::makeDir("home").c_str(), 1);  // the registry and Qt's settings stay in the run's folder
    e2e::Display display;
    if (display.name().isEmpty()) {
        std::fprintf(stderr, "Xvfb could not start\n");
        return 1;
    }
    benchx::MapWatch watch(display.name().toStdString());
    if (!watch.ok()) {
        std::fprintf(stderr, "no X connection to %s\n", qPrintable(display.name()));
        return 1;
    }
    e2e::PagerInstall small("small");
    e2e::PagerInstall big("big");
    fillInstall(small.folder(), 10);
    fillInstall(big.folder(), 10000);
    timeStart(display, watch, small);  // the first start makes the registry and warms the caches
    timeStart(display, watch, big);
    std::vector<double> s, b;
    for (int i = 0; i < runs; ++i) {
        const double ts = timeStart(display, watch, small);
        const double tb = timeStart(display, watch, big);
        if (ts < 0 || tb < 0) {
            std::fprintf(stderr, "the main window was not mapped\n");
            return 1;
        }
        std::printf("run %d: small %.1f ms, big %.1f ms\n", i + 1, ts, tb);
        s.push_back(ts);
        b.push_back(tb);
    }
    const double ms = benchx::median(s), mb = benchx::median(b);
    std::printf("start small %.1f ms, big %.1f ms, ratio %.2f\n", ms, mb, mb / ms);
    return 0;
}
