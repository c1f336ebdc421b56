// The send-later queue at a large size: a tick's due test of 10,000 due
// entries for contacts of another group with 10,000 contacts shown, and the
// pick of a send of every entry when each finds its contact.

#include "pager/sendlater.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kEntries = 10000;
constexpr int kShown = 10000;

std::vector<AnsiString> names(const char* prefix, int count)
{
    std::vector<AnsiString> out;
    out.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) out.push_back(prefix + std::to_string(i));
    return out;
}

// A queue of due entries for the names To, built without a file: every Add
// saves, which is not what is measured here.
struct Queue {
    explicit Queue(const std::vector<AnsiString>& To)
    {
        const std::string file = dir.path().toStdString() + "/wait.dat";
        std::vector<TQueueEntry> entries;
        for (const AnsiString& to : To) entries.push_back({"01.01.2020 10:00", to, "text"});
        SaveQueue(file, entries);
        queue = std::make_unique<TSendQueue>(file);
        queue->Load();
    }
    QTemporaryDir dir;
    std::unique_ptr<TSendQueue> queue;
};

const QDateTime kNow(QDate(2026, 12, 10), QTime(12, 0));

void BM_TickWithNobodyShown(benchmark::State& state)
{
    Queue q(names("other ", kEntries));
    const std::vector<AnsiString> shown = names("Shown ", kShown);
    for (auto _ : state) {
        const TShownNames set(shown);
        benchmark::DoNotOptimize(q.queue->AnyDue(set, kNow));
    }
}
BENCHMARK(BM_TickWithNobodyShown)->Unit(benchmark::kMillisecond);

void BM_PickEveryEntry(benchmark::State& state)
{
    Queue q(names("shown ", kEntries));
    const std::vector<AnsiString> shown = names("SHOWN ", kShown);
    for (auto _ : state) benchmark::DoNotOptimize(q.queue->Pick(TShownNames(shown)).size());
}
BENCHMARK(BM_PickEveryEntry)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
