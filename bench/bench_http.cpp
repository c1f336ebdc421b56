// The update download: one 10 MB file from the real python3 http.server (on
// port 80 of a loopback address of its own, which needs root or
// CAP_NET_BIND_SERVICE), fetched by the update dialog (shown, offscreen
// unless QT_QPA_PLATFORM says otherwise) with its progress bar, by the
// downloader alone without a progress event, and by `curl -s -o file URL`,
// all in the same run. Every download is checked to give the served bytes.
//
//   build/bench/bench_http [--benchmark_repetitions=N]
//
// Reports milliseconds per download and, last, the ratio dialog / curl.
#include "netcomp/httpfetch.h"
#include "pager/dialogs/update.h"
#include "tests/support/http_peer.h"
#include "tests/support/testenv.h"

#include <QApplication>
#include <QComboBox>
#include <QProcess>
#include <QTest>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

constexpr int kFileSize = 10 * 1024 * 1024;
constexpr const char* kServedName = "big.dat";

struct Results {
    double dialogMs = 0;
    double fetchMs = 0;
    double curlMs = 0;
} results;

struct Setup {
    std::string url;       // of the served file's folder, without the last "/"
    std::string expected;  // the served bytes
    std::string target;    // where each download goes
};

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bool received(const Setup& setup)
{
    const bool same = testenv::readFile(setup.target) == setup.expected;
    std::filesystem::remove(setup.target);
    return same;
}

// The dialog's own download of one file, its progress bar on screen.
void BM_UpdateDialog(benchmark::State& state, const Setup* setup)
{
    TUpdateWin dialog;
    dialog.ShowMessage = [](const QString&) {};
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog)) {
        state.SkipWithError("the dialog was not shown");
        return;
    }
    dialog.cbHost->setEditText(QString::fromStdString(setup->url));
    double totalMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        dialog.DownloadFile(kServedName, setup->target);
        totalMs += msSince(start);
        if (dialog.Failed || !received(*setup)) {
            state.SkipWithError("the dialog's download failed");
            return;
        }
        dialog.SetState(true);
    }
    results.dialogMs = totalMs / static_cast<double>(state.iterations());
    state.counters["ms"] = results.dialogMs;
}

// The downloader with no progress event.
void BM_FetchWithoutProgress(benchmark::State& state, const Setup* setup)
{
    double totalMs = 0;
    for (auto _ : state) {
        THttpFetch fetch;
        fetch.BinaryData = true;
        fetch.WaitThread = true;
        fetch.URL = setup->url + "/" + kServedName;
        fetch.FileName = setup->target;
        const auto start = std::chrono::steady_clock::now();
        fetch.GetFile();
        totalMs += msSince(start);
        if (!fetch.LastResult() || !received(*setup)) {
            state.SkipWithError("the download failed");
            return;
        }
    }
    results.fetchMs = totalMs / static_cast<double>(state.iterations());
    state.counters["ms"] = results.fetchMs;
}

// The whole run of curl, as a user would time it.
void BM_Curl(benchmark::State& state, const Setup* setup)
{
    double totalMs = 0;
    for (auto _ : state) {
        QProcess curl;
        curl.setProcessChannelMode(QProcess::ForwardedChannels);
        const auto start = std::chrono::steady_clock::now();
        curl.start("curl", {"-s", "-o", QString::fromStdString(setup->target),
                            QString::fromStdString(setup->url + "/" + kServedName)});
        curl.waitForFinished(120000);
        const double ms = msSince(start);
        if (curl.exitStatus() != QProcess::NormalExit || curl.exitCode() != 0 || !received(*setup)) {
            state.SkipWithError("curl failed");
            return;
        }
        state.SetIterationTime(ms / 1000.0);
        totalMs += ms;
    }
    results.curlMs = totalMs / static_cast<double>(state.iterations());
    state.counters["ms"] = results.curlMs;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    testenv::root();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    const std::string served = testenv::makeDir("served");
    Setup setup;
    setup.expected = testenv::scrambledBytes(kFileSize);
    testenv::writeFile(served + "/" + kServedName, setup.expected);
    setup.target = testenv::makeDir("received") + "/" + kServedName;
    httptest::FolderServer server(served);
    if (!server.running()) {
        std::fprintf(stderr, "bench_http: no server: %s\n", server.reason().c_str());
        return 1;
    }
    setup.url = server.url("");
    benchmark::RegisterBenchmark("UpdateDialog/10MB", BM_UpdateDialog, &setup)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark("HttpFetch_no_progress/10MB", BM_FetchWithoutProgress, &setup)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark("curl/10MB", BM_Curl, &setup)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(5);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (results.curlMs > 0)
        std::printf("update dialog %.1f ms, without progress %.1f ms (%.2fx), curl %.1f ms, ratio %.2f\n",
                    results.dialogMs, results.fetchMs, results.fetchMs / results.curlMs, results.curlMs,
                    results.dialogMs / results.curlMs);
    return 0;
}
