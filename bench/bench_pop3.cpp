// The pager's mailbox check (RunMailCheck: connect, USER and PASS, STAT and
// LAST, LIST and RETR of every message, the newest kept in the message list,
// QUIT) of a mailbox of 1,000 messages on a local dovecot, against python3's
// poplib giving the same commands to the same mailbox in the same run.
//
//   build/bench/bench_pop3 [--benchmark_repetitions=N]
//
// Reports milliseconds per message for both and the ratio check / poplib.
#include "netcomp/qorpop3.h"
#include "pager/mailcheck.h"
#include "tests/support/pop3server.h"
#include "tests/support/testenv.h"

#include <QCoreApplication>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

namespace {

constexpr int kMessages = 1000;

struct Results {
    double checkMsPerMessage = 0;
    double pyMsPerMessage = 0;
} results;

// Mail of a few kinds and sizes, as a mailbox holds it.
std::string message(int n)
{
    std::string text = "From: =?UTF-8?B?0JjQstCw0L0g0J/QtdGC0YDQvtCy?= <ivan" + std::to_string(n) +
                       "@example.ru>\r\nTo: me@example.org\r\nSubject: =?KOI8-R?B?8NLJ18XU?= " + std::to_string(n) +
                       "\r\nDate: Thu, 5 Mar 2026 09:07:30 +0300\r\nMessage-ID: <" + std::to_string(n) +
                       "@example.ru>\r\nMIME-Version: 1.0\r\n";
    if (n % 3 == 0) {
        text += "Content-Type: multipart/alternative; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\n";
        for (int i = 0; i < 20; ++i) text += "Line " + std::to_string(i) + " of the plain part.\r\n";
        text += "--b\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n--b--\r\n";
    } else {
        text += "Content-Type: text/plain; charset=us-ascii\r\n\r\n";
        for (int i = 0; i < 10 + n % 40; ++i) text += "Line " + std::to_string(i) + " of a plain message.\r\n";
        text += ".a line that starts with a dot\r\n";
    }
    return text;
}

void BM_Check(benchmark::State& state, const testenv::Pop3Server* server)
{
    double totalMs = 0;
    long messages = 0;
    TCheckSettings settings;
    settings.Host = server->address();
    settings.UserID = server->user();
    settings.Password = server->password();
    for (auto _ : state) {
        TQorPOP pop;
        pop.Port = std::to_string(server->port());
        TQorMsgList list;
        int32_t fresh = 0, all = 0;
        const auto start = std::chrono::steady_clock::now();
        const TCheckResult r = RunMailCheck(pop, list, settings, fresh, all);
        totalMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        // Every message is retrieved; the list keeps the newest one.
        if (r.End != TCheckEnd::Checked || all != kMessages || list.Count() != 1) {
            state.SkipWithError("the check failed");
            return;
        }
        messages += all;
    }
    results.checkMsPerMessage = totalMs / static_cast<double>(messages);
    state.counters["ms_per_msg"] = results.checkMsPerMessage;
}

void BM_Poplib(benchmark::State& state, const testenv::Pop3Server* server)
{
    double totalMs = 0;
    long messages = 0;
    for (auto _ : state) {
        QProcess py;
        py.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        py.start("/usr/bin/python3",
                 {ORV_BENCH_DIR "/poplib_check.py", QString::fromStdString(server->address()),
                  QString::number(server->port()), QString::fromStdString(server->user()),
                  QString::fromStdString(server->password())});
        py.waitForFinished(300000);
        const QList<QByteArray> out = py.readAllStandardOutput().trimmed().split(' ');
        const double seconds = out.value(0).toDouble();
        if (py.exitCode() != 0 || seconds <= 0 || out.value(1).toInt() != kMessages) {
            state.SkipWithError("poplib run failed");
            return;
        }
        state.SetIterationTime(seconds);
        totalMs += seconds * 1000.0;
        messages += kMessages;
    }
    results.pyMsPerMessage = totalMs / static_cast<double>(messages);
    state.counters["ms_per_msg"] = results.pyMsPerMessage;
}

}  // namespace

int main(int argc, char** argv)
{
    testenv::root();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    testenv::Pop3Server server;
    for (int n = 1; n <= kMessages; ++n) server.addMessage(message(n), n <= kMessages - 10);
    if (!server.start()) {
        std::fprintf(stderr, "bench_pop3: dovecot did not start: %s\n", server.error().c_str());
        return 1;
    }
    {
        // The server indexes the mailbox at the first login: not measured.
        TQorPOP pop;
        pop.Port = std::to_string(server.port());
        TQorMsgList list;
        int32_t fresh = 0, all = 0;
        RunMailCheck(pop, list, {false, server.address(), server.user(), server.password(), 0, {}, {}}, fresh, all);
    }
    benchmark::RegisterBenchmark("MailCheck/1000_messages", BM_Check, &server)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("poplib/1000_messages", BM_Poplib, &server)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(3);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (results.pyMsPerMessage > 0)
        std::printf("mailbox check %.3f ms/message, poplib %.3f ms/message, ratio %.2f\n", results.checkMsPerMessage,
                    results.pyMsPerMessage, results.checkMsPerMessage / results.pyMsPerMessage);
    return 0;
}
