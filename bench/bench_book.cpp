// The address book and the operator database at a large size: loading a
// book.dat of 10,000 contacts in 100 groups and saving one group into it,
// loading an operators.dat of 2,000 operators, and finding the operator of
// 10,000 gateway addresses.

#include "pager/book.h"
#include "pager/opdb.h"
#include "pager/service.h"
#include "platform/codepage.h"
#include "platform/inifile.h"

#include "bench/benchdata.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kGroups = 100;
constexpr int kContactsPerGroup = 100;
constexpr int kOperators = 2000;
constexpr int kAddresses = 10000;

using benchdata::cp;
using benchdata::templateOf;


AnsiString addressOf(int op, int k) { return benchdata::addressOf(op, 9160000000LL + k); }

struct Files {
    QTemporaryDir dir;
    std::string book;
    std::string operators;

    Files()
    {
        const std::string base = dir.path().toStdString();
        book = base + "/book.dat";
        operators = base + "/operators.dat";

        std::string text;
        for (int g = 0; g < kGroups; ++g) {
            text += "[" + cp("Группа ") + std::to_string(g) + "]\r\n";
            for (int c = 0; c < kContactsPerGroup; ++c) {
                TBookItem item;
                item.Addr = addressOf((g * kContactsPerGroup + c) % kOperators, c);
                item.EMail = "user" + std::to_string(c) + "@example.com";
                item.FullName = cp("Иванов, Пётр ") + std::to_string(c);
                item.Model = cp("Альфа 2000");
                item.Code = c % 5;
                item.Header = cp("Привет, %NAME%!");
                item.Signature = cp("С уважением");
                item.OwnHeader = c % 2 == 0;
                item.CopyEMail = c % 3 == 0;
                text += cp("Абонент ") + std::to_string(c) + "=" + BookItemToLine(item) + "\r\n";
            }
            text += "\r\n";
        }
        write(book, text);

        text.clear();
        for (int i = 0; i < kOperators; ++i) {
            text += "[" + std::string(i % 2 ? "SMS:" : "") + cp("Оператор ") + std::to_string(i) + " (" +
                    cp("Город ") + std::to_string(i % 50) + ")]\r\n";
            text += "MailGate=" + templateOf(i) + "\r\n";
            if (i % 4) text += "Description=" + cp("Оператор номер ") + std::to_string(i) + "\r\n";
            text += "\r\n";
        }
        write(operators, text);
    }

    static void write(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
};

Files& files()
{
    static Files f;
    return f;
}

void BM_LoadBook(benchmark::State& state)
{
    const std::string& path = files().book;
    for (auto _ : state) {
        const TIniFile book(path);
        size_t contacts = 0;
        for (const AnsiString& group : ReadBookGroups(book)) contacts += LoadBookGroup(book, group).size();
        if (contacts != kGroups * kContactsPerGroup) state.SkipWithError("contacts lost");
        benchmark::DoNotOptimize(contacts);
    }
}
BENCHMARK(BM_LoadBook)->Unit(benchmark::kMillisecond);

// One save point: the shown group written back into the whole file.
void BM_SaveBook(benchmark::State& state)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/book.dat";
    Files::write(path, [] {
        std::ifstream in(files().book, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }());
    const AnsiString group = cp("Группа 50");
    const std::vector<TBookEntry> entries = LoadBookGroup(TIniFile(path), group);
    for (auto _ : state) {
        TIniFile book(path);
        WriteBookGroup(book, group, entries);
        book.UpdateFile();
    }
}
BENCHMARK(BM_SaveBook)->Unit(benchmark::kMillisecond);

// The close of a window whose shown group is large: one group of N contacts
// written back over itself (the bytes stay the same).
void BM_SaveLargeGroup(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/book.dat";
    const AnsiString group = cp("Все");
    std::vector<TBookEntry> entries;
    for (int c = 0; c < count; ++c) {
        TBookItem item;
        item.Addr = addressOf(c % kOperators, c);
        item.FullName = cp("Иванов, Пётр ") + std::to_string(c);
        item.Code = c % 5;
        entries.push_back({cp("Абонент ") + std::to_string(c), item});
    }
    {
        TIniFile book(path);
        WriteBookGroup(book, group, entries);
        book.UpdateFile();
    }
    const std::string before = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    for (auto _ : state) {
        TIniFile book(path);
        WriteBookGroup(book, group, entries);
        book.UpdateFile();
    }
    std::ifstream in(path, std::ios::binary);
    if (std::string(std::istreambuf_iterator<char>(in), {}) != before) state.SkipWithError("bytes changed");
}
BENCHMARK(BM_SaveLargeGroup)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000)->Unit(benchmark::kMillisecond);

void BM_LoadOperators(benchmark::State& state)
{
    const std::string& path = files().operators;
    for (auto _ : state) {
        TOpList list;
        LoadOperators(list, path);
        if (list.Count() != kOperators) state.SkipWithError("operators lost");
    }
}
BENCHMARK(BM_LoadOperators)->Unit(benchmark::kMillisecond);

std::vector<AnsiString> addresses()
{
    std::vector<AnsiString> out;
    out.reserve(kAddresses);
    for (int k = 0; k < kAddresses; ++k) out.push_back(addressOf((k * 7) % kOperators, k));
    return out;
}

void BM_MatchAddresses(benchmark::State& state)
{
    TOpList list;
    LoadOperators(list, files().operators);
    const std::vector<AnsiString> addrs = addresses();
    GetOpIndex(list, addrs.front());  // the index is made on the first look-up
    for (auto _ : state) {
        int found = 0;
        for (const AnsiString& a : addrs) found += GetOpIndex(list, a) >= 0;
        if (found != kAddresses) state.SkipWithError("address not matched");
    }
}
BENCHMARK(BM_MatchAddresses)->Unit(benchmark::kMillisecond);

// Loading and the first look-ups together, as after the options dialog.
void BM_LoadOperatorsThenMatch(benchmark::State& state)
{
    const std::vector<AnsiString> addrs = addresses();
    for (auto _ : state) {
        TOpList list;
        LoadOperators(list, files().operators);
        int found = 0;
        for (const AnsiString& a : addrs) found += GetOpIndex(list, a) >= 0;
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_LoadOperatorsThenMatch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
