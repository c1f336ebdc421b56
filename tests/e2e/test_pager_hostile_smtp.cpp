// The real Pager left running sends a due queue entry by its timer to
// scripted servers that never accept the mail, that never end their
// greeting, or that stop answering; and is asked to end (as at a logout)
// while it waits for them.

#include "tests/e2e/desktop.h"

#include "platform/registry.h"
#include "tests/support/smtp_peer.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <functional>
#include <iostream>

namespace {

using testenv::cp;
using mwtest::kWait;

constexpr int kFirstTickMs = 60000;  // PollingInterval=1
constexpr int kSmtpTimeOutMs = 180000;

// A Pager whose queue holds one entry due since 2020, for Иван, and whose
// server is the scripted one in the given mode.
class QueueRun {
public:
    QueueRun(const std::string& mode, const std::string& name) : server(mode), install(name)
    {
        testenv::writeFile(install.file("pager.ini"),
                           "[Connect]\r\nHost=127.0.0.1\r\nPort=" + std::to_string(server.port()) +
                               "\r\nPollingInterval=1\r\nFromAddress=me@example.com\r\n");
        testenv::writeFile(install.file("operators.dat"),
                           cp("[Пейдж (Москва)]\r\nMailGate=###@pager.example.net\r\n"));
        testenv::writeFile(install.file("book.dat"), cp("[Друзья]\r\nИван=12345@pager.example.net,,,,WIN\r\n"));
        testenv::writeFile(install.file("wait.dat"),
                           cp("[Message1]\r\nDate=01.01.2020 10:00\r\nTo=иван\r\nText=Waiting since 2020\r\n"));
        registry::deleteKey("Software\\Kestrane\\Pager");
        if (!display.name().isEmpty() && server.port() != 0) pager = install.start(display);
    }
    ~QueueRun()
    {
        if (pager && pager->state() != QProcess::NotRunning) {
            pager->kill();
            pager->waitForFinished(5000);
        }
    }
    bool ready() const { return pager != nullptr; }

    // Ends the program as a logout does; the milliseconds it took to end, or
    // -1 when it did not end (or not cleanly).
    qint64 terminate()
    {
        QElapsedTimer t;
        t.start();
        pager->terminate();
        const int code = e2e::waitForExit(*pager, kWait);
        return code == 0 ? t.elapsed() : -1;
    }

    std::string file(const char* bare) const
    {
        const std::string path = install.file(bare);
        return testenv::fileExists(path) ? testenv::readFile(path) : std::string();
    }
    bool queued() const { return file("wait.dat").find("Text=Waiting since 2020\r\n") != std::string::npos; }
    bool logged() const { return file("messages.dat").find("Text=Waiting since 2020\r\n") != std::string::npos; }

    e2e::Display display;
    mwtest::SmtpServer server;
    e2e::PagerInstall install;
    std::unique_ptr<QProcess> pager;
};

std::string modeName(const ::testing::TestParamInfo<const char*>& info) { return info.param; }

}  // namespace

// Each answer that never accepts the mail leaves the entry in the queue and
// adds no log row: a 250 to DATA (the text is not even sent), a 354 to the
// final dot, "250-" then "554" to it, and one reply too many after the
// greeting (every later reply would be read one late).
class PagerNeverAccepted : public ::testing::TestWithParam<const char*> {};

TEST_P(PagerNeverAccepted, TheEntryStaysQueuedWithoutALogRow)
{
    QueueRun run(GetParam(), std::string("never-") + GetParam());
    if (run.display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    ASSERT_TRUE(run.ready());
    // The timer ticks after a minute; the pager gives the mail up and closes.
    ASSERT_TRUE(e2e::waitUntil([&] { return !run.server.closedAfterMs().empty(); }, kFirstTickMs + 60000))
        << run.server.transcript();
    EXPECT_EQ(run.server.connections(), 1);
    EXPECT_GE(run.terminate(), 0);

    EXPECT_TRUE(run.queued()) << run.file("wait.dat");
    EXPECT_FALSE(run.logged()) << run.file("messages.dat");
    const std::string sent = run.server.transcript();
    if (std::string(GetParam()) == "data250") {
        EXPECT_EQ(sent.find("Waiting since"), std::string::npos) << sent;
    }
    if (std::string(GetParam()) == "surplus") {
        EXPECT_EQ(sent.find("MAIL FROM"), std::string::npos) << sent;
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, PagerNeverAccepted, ::testing::Values("data250", "dot354", "dotmulti", "surplus"),
                         modeName);

// A greeting that drips a continuation line every second never ends; the
// time-out bounds the whole greeting, so the pager gives up once it has
// passed, and the entry stays.
TEST(PagerTimeOut, ADrippingGreetingEndsAtTheTimeOut)
{
    QueueRun run("drip", "drip-time-out");
    if (run.display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    ASSERT_TRUE(run.ready());
    ASSERT_TRUE(e2e::waitUntil([&] { return run.server.connections() >= 1; }, kFirstTickMs + 60000));
    ASSERT_TRUE(e2e::waitUntil([&] { return !run.server.closedAfterMs().empty(); }, kSmtpTimeOutMs + 30000))
        << "still connected after the time-out";
    const long lasted = run.server.closedAfterMs()[0];
    std::cout << "the dripping greeting was given up after " << lasted << " ms\n";
    EXPECT_GE(lasted, kSmtpTimeOutMs - 5000);  // not for some other reason before it
    EXPECT_EQ(run.server.transcript(), "");      // neither HELO nor QUIT
    EXPECT_GE(run.terminate(), 0);
    EXPECT_TRUE(run.queued());
    EXPECT_FALSE(run.logged());
}

// Asked to end while it waits (for the greeting, inside a greeting that never
// ends, for the answer to the mail, for the answer to QUIT), the program ends
// at once: every wait is aborted and nothing more is waited for, and the
// close saves everything.
class PagerEndsWhileWaiting : public ::testing::TestWithParam<const char*> {};

TEST_P(PagerEndsWhileWaiting, AtOnceWithEverythingSaved)
{
    const std::string mode = GetParam();
    QueueRun run(mode, "end-" + mode);
    if (run.display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    ASSERT_TRUE(run.ready());
    const std::string waitsAfter = mode == "dotsilent" ? "\r\n.\r\n" : mode == "quitsilent" ? "QUIT\r\n" : "";
    ASSERT_TRUE(e2e::waitUntil(
        [&] {
            return run.server.connections() >= 1 && run.server.transcript().find(waitsAfter) != std::string::npos;
        },
        kFirstTickMs + 60000));
    QThread::msleep(500);  // well inside the wait, which would last the whole time-out

    const qint64 took = run.terminate();
    std::cout << "ended " << took << " ms after SIGTERM, waiting in mode " << mode << "\n";
    ASSERT_GE(took, 0) << "did not end within " << kWait << " ms";
    EXPECT_TRUE(e2e::waitUntil([&] { return run.server.closedAfterMs().size() == 1; }, kWait));

    // Everything was saved.
    const std::string ini = run.file("pager.ini");
    EXPECT_NE(ini.find("[Main]\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("PollingInterval=1\r\n"), std::string::npos) << ini;
    EXPECT_NE(run.file("book.dat").find(cp("Иван=12345@pager.example.net")), std::string::npos);
    EXPECT_TRUE(registry::readDword("Software\\Kestrane\\Pager\\Position\\Main", "Width").has_value());
    if (mode == "quitsilent") {
        // The mail was accepted before the QUIT: sent, logged, gone from the queue.
        EXPECT_EQ(run.server.mails().size(), 1u);
        EXPECT_FALSE(run.queued());
        EXPECT_TRUE(run.logged()) << run.file("messages.dat");
    } else {
        EXPECT_TRUE(run.queued());
        EXPECT_FALSE(run.logged());
    }
}

INSTANTIATE_TEST_SUITE_P(Waits, PagerEndsWhileWaiting,
                         ::testing::Values("silent", "drip", "dotsilent", "quitsilent"), modeName);
