// One-part pager messages sent through one TFxSMTP connection to a local
// SMTP sink (python3-aiosmtpd on loopback), against python3's smtplib
// sending the same message over one connection to the same sink.
//
//   build/bench/bench_smtp [--benchmark_repetitions=N]
//
// Reports milliseconds per message for both, the slowest single message of
// TFxSMTP (a Nagle/delayed-ACK stall would show there as about 40 ms), and
// the ratio TFxSMTP / smtplib.
#include "netcomp/fxsmtp.h"
#include "platform/codepage.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

namespace {

constexpr int kMessages = 1000;
const char* const kSender = "pager@example.org";
const char* const kRecipient = "79161234567@sms.gate.example";

struct Results {
    double fxMsPerMessage = 0;
    double fxMaxMs = 0;
    double pyMsPerMessage = 0;
} results;

void fillMessage(TPostMessage& m)
{
    m.FromAddress = kSender;
    m.FromName = codepage::fromUtf8("Пейджер");
    m.ToAddress.Clear();
    m.ToAddress.Add(kRecipient);
    m.Subject = codepage::fromUtf8("Сообщение");
    m.LocalProgram = "Orvanta Pager 3.6";
    m.Body.Clear();
    m.Body.Add(codepage::fromUtf8(
        "(1/1) Привет! Встречаемся завтра в 10:00 у входа в метро, не опаздывай. "
        "Захвати документы и ключи от машины. Перезвони, когда освободишься. -- Иван"));
}

// The message as it goes after DATA, before dot-stuffing.
std::string messageText(const TFxSMTP& smtp)
{
    std::string text;
    for (const AnsiString& line : smtp.FinalHeader()) text += line + "\r\n";
    text += "\r\n\r\n";
    text += smtp.MessageBody().Bytes();
    return text;
}

struct Sink {
    QProcess process;
    int port = 0;
    Sink()
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start("/usr/bin/python3", {ORV_BENCH_DIR "/smtp_sink.py"});
        if (!process.waitForStarted(5000)) return;
        QByteArray out;
        for (int i = 0; i < 100 && !out.contains('\n'); ++i) {
            process.waitForReadyRead(100);
            out += process.readAllStandardOutput();
        }
        port = out.trimmed().toInt();
    }
    ~Sink()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(3000)) process.kill();
        process.waitForFinished(3000);
    }
};

std::string messageFile;  // written by the first TFxSMTP run, read by smtplib

void BM_FxSMTP(benchmark::State& state, int port)
{
    double totalMs = 0, maxMs = 0;
    long messages = 0;
    for (auto _ : state) {
        TFxSMTP smtp;
        smtp.Host = "127.0.0.1";
        smtp.Port = port;
        smtp.UserID = "pager";
        smtp.SetTimeOut(180000);
        smtp.ClearParams = false;
        fillMessage(smtp.PostMsg);
        const auto start = std::chrono::steady_clock::now();
        smtp.Connect();
        for (int i = 0; i < kMessages; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            smtp.SendMail();
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
            maxMs = std::max(maxMs, ms);
        }
        smtp.Disconnect();
        totalMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        messages += kMessages;
        if (messageFile.empty()) {
            static QTemporaryDir dir;
            messageFile = dir.path().toStdString() + "/message.eml";
            std::ofstream(messageFile, std::ios::binary) << messageText(smtp);
        }
    }
    results.fxMsPerMessage = totalMs / static_cast<double>(messages);
    results.fxMaxMs = maxMs;
    state.counters["ms_per_msg"] = results.fxMsPerMessage;
    state.counters["max_ms"] = maxMs;
}

void BM_Smtplib(benchmark::State& state, int port)
{
    double totalMs = 0;
    long messages = 0;
    for (auto _ : state) {
        QProcess py;
        py.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        py.start("/usr/bin/python3", {ORV_BENCH_DIR "/smtplib_send.py", QString::number(port),
                                      QString::number(kMessages), kSender, kRecipient,
                                      QString::fromStdString(messageFile)});
        py.waitForFinished(120000);
        const double seconds = py.readAllStandardOutput().trimmed().toDouble();
        if (py.exitCode() != 0 || seconds <= 0) {
            state.SkipWithError("smtplib run failed");
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
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Sink sink;
    if (sink.port == 0) {
        std::fprintf(stderr, "bench_smtp: the SMTP sink (python3-aiosmtpd) did not start\n");
        return 1;
    }
    benchmark::RegisterBenchmark("FxSMTP/1000_messages_one_connection", BM_FxSMTP, sink.port)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("smtplib/1000_messages_one_connection", BM_Smtplib, sink.port)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(3);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (results.pyMsPerMessage > 0)
        std::printf("TFxSMTP %.3f ms/message (slowest %.2f ms), smtplib %.3f ms/message, ratio %.2f\n",
                    results.fxMsPerMessage, results.fxMaxMs, results.pyMsPerMessage,
                    results.fxMsPerMessage / results.pyMsPerMessage);
    return 0;
}
