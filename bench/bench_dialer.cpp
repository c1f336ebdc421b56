// The dialer's window: its one-second tick while on line (the traffic read,
// the rates, the counters, the panels, the graphs and the connection list),
// against the remote access service of bin/ with a line up on the loopback
// interface; and its start-up with a phonebook of 100 entries, from creation
// to a shown window (offscreen), with the resident memory once it is shown
// (bench/windowstart.h).

#include "bench/windowstart.h"
#include "dialer/window/inetdial.h"
#include "dialer/ras/velrasapi.h"
#include "platform/codepage.h"
#include "platform/sound/sound.h"
#include "platform/timer.h"
#include "platform/ui/trayhost.h"
#include "platform/userdirs.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

// A phonebook of Entries entries; each line comes up at once and counts the
// loopback interface's traffic.
void writePhonebook(int entries)
{
    std::string text;
    for (int i = 0; i < entries; ++i) {
        text += codepage::fromUtf8("[Провайдер ") + std::to_string(1000 + i) + "]\r\nNumber=555" +
                std::to_string(1000 + i) + "\r\nUserName=user" + std::to_string(i) +
                "\r\nStepTime=1\r\nHangUpTime=0\r\nInterface=lo\r\nClientIP=192.0.2.7\r\n";
    }
    std::filesystem::create_directories(userdirs::configDir());
    std::ofstream(userdirs::configDir() + "/phonebook.ini", std::ios::binary) << text;
}

void Tick(benchmark::State& state)
{
    writePhonebook(3);
    trayhost::RecordingHost tray;
    sound::RecordingPlayer player;
    TIDial w;
    w.sbDialClick();
    QElapsedTimer waited;
    waited.start();
    while (!w.tTimeOnLine->Enabled() && waited.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!w.tTimeOnLine->Enabled()) {
        state.SkipWithError("the line did not come up");
        return;
    }
    for (auto _ : state) w.tTimeOnLineTimer();
    state.counters["online_s"] = w.OnlineSecs;
    w.sbHangUpClick();
}
BENCHMARK(Tick)->Unit(benchmark::kMicrosecond);

void StartUp(benchmark::State& state)
{
    writePhonebook(static_cast<int>(state.range(0)));
    trayhost::RecordingHost tray;
    benchdata::windowStartUp(
        state, [] { return std::make_unique<TIDial>(); }, [](TIDial& w) { return w.cbEntries->count(); }, "entries");
}
BENCHMARK(StartUp)->Arg(100)->ArgName("entries")->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv)
{
    return benchdata::windowBenchMain(argc, argv, [] {
        velras::SetLibraryFolder(ORV_BIN_DIR);
        // The window's own timers stay still: the tick runs when the
        // benchmark calls it.
        timers::setVirtual(true);
    });
}
