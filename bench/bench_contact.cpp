// The contact dialog's lists with an operator database of 20,000 operators,
// each in a city of its own (half of them SMS): building the city list of a
// type, and the dialog's opening and change of type, which fill the city and
// operator lists (offscreen).

#include "pager/contactchoice.h"
#include "pager/dialogs/bookit.h"
#include "pager/opdb.h"

#include "bench/benchdata.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>

#include <string>

namespace {

constexpr int kOperators = 20000;

using benchdata::cp;

const TOpList& operators()
{
    static TOpList ops;
    if (ops.Count() == 0) {
        for (int i = 0; i < kOperators; ++i) {
            ops.Add(AnsiString(i % 2 ? "SMS:" : "") + cp("Оператор ") + std::to_string(i) + cp(" (Город ") +
                        std::to_string(i) + ")",
                    {benchdata::templateOf(i), cp("Оператор ") + std::to_string(i)});
        }
    }
    return ops;
}

void BM_ContactCities(benchmark::State& state)
{
    const TOpList& ops = operators();
    for (auto _ : state) {
        const std::vector<AnsiString> cities = ContactCities(ops, OpTypePager);
        if (cities.size() != kOperators / 2) state.SkipWithError("cities lost");
    }
}
BENCHMARK(BM_ContactCities)->Unit(benchmark::kMillisecond);

void BM_DialogOpens(benchmark::State& state)
{
    const TOpList& ops = operators();
    const TPagerList pagers;
    for (auto _ : state) {
        TBookItWin d(nullptr, ops, pagers);
        if (d.cbCity->count() != kOperators / 2) state.SkipWithError("cities lost");
    }
}
BENCHMARK(BM_DialogOpens)->Unit(benchmark::kMillisecond);

void BM_TypeChanges(benchmark::State& state)
{
    const TOpList& ops = operators();
    const TPagerList pagers;
    TBookItWin d(nullptr, ops, pagers);
    int type = 0;
    for (auto _ : state) {
        type = 1 - type;
        d.cbType->setCurrentIndex(type);
        d.cbTypeChange();
    }
}
BENCHMARK(BM_TypeChanges)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
