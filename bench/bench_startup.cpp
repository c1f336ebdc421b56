// Start-up of the pager's main window at a large size: a book.dat of 10,000
// contacts and an operators.dat of 2,000 operators, from creation to a shown
// window (offscreen), and the resident memory once it is shown.
//
// Two book layouts: 100 groups of 100 (a typical large book: the shown
// group is one of them) and one group of 10,000 (every contact is a row).

#include "pager/main/mainwin.h"
#include "pager/program.h"
#include "platform/codepage.h"
#include "platform/ui/trayhost.h"

#include "bench/benchdata.h"
#include "bench/windowstart.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr int kContacts = 10000;
constexpr int kOperators = 2000;

using benchdata::cp;
using benchdata::addressOf;

void writeFile(const std::string& path, const AnsiString& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// The program folder with the data files of a large installation.
void makeInstall(const std::string& folder, int groups)
{
    writeFile(folder + "/operators.dat", benchdata::operatorsDat(kOperators));
    writeFile(folder + "/pagers.dat", cp("[Альфа 100]\r\nMaxSymbols=100\r\n"));
    AnsiString book;
    const int perGroup = kContacts / groups;
    for (int g = 0; g < groups; ++g) {
        book += "[" + cp("Группа ") + std::to_string(g) + "]\r\n";
        for (int c = 0; c < perGroup; ++c) {
            const int n = g * perGroup + c;
            book += cp("Абонент ") + std::to_string(n) + "=" + addressOf(n % kOperators, 100000 + n) +
                    ",a" + std::to_string(n) + "@example.com," + cp("Полное имя ") + std::to_string(n) +
                    (n % 5 == 0 ? cp(",Альфа 100,WIN") : AnsiString()) + "\r\n";
        }
        book += "\r\n";
    }
    writeFile(folder + "/book.dat", book);
    writeFile(folder + "/pager.ini", "[Message]\r\nCountLogMsg=10\r\n[Connect]\r\nUseOrvDialer=0\r\n");
}

void StartUp(benchmark::State& state)
{
    QTemporaryDir dir;
    makeInstall(dir.path().toStdString(), static_cast<int>(state.range(0)));
    ProgramPath = dir.path().toStdString() + "/";
    trayhost::RecordingHost tray;
    benchdata::windowStartUp(
        state, [] { return std::make_unique<TMainWin>(); }, [](TMainWin& w) { return w.Book->Count(); }, "rows");
}
BENCHMARK(StartUp)->Arg(100)->Arg(1)->ArgName("groups")->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) { return benchdata::windowBenchMain(argc, argv); }
