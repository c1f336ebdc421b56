// The real Pager left running sends a due queue entry by its timer alone.

#include "tests/e2e/desktop.h"

#include "tests/support/smtpsink.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QThread>

using testenv::cp;

TEST(PagerQueue, ADueEntryGoesOutByTheTimerWithoutAnyClick)
{
    e2e::Display display;
    if (display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    testenv::SmtpSink sink;
    ASSERT_NE(sink.port(), 0);

    e2e::PagerInstall install("queue-by-timer");
    testenv::writeFile(install.file("pager.ini"),
                       "[Connect]\r\nHost=127.0.0.1\r\nPort=" + std::to_string(sink.port()) +
                           "\r\nPollingInterval=1\r\nFromAddress=me@example.com\r\n");
    testenv::writeFile(install.file("operators.dat"),
                       cp("[Пейдж (Москва)]\r\nMailGate=###@pager.example.net\r\n"));
    testenv::writeFile(install.file("book.dat"),
                       cp("[Друзья]\r\nИван=12345@pager.example.net,,,,WIN\r\n"));
    testenv::writeFile(install.file("wait.dat"),
                       cp("[Message1]\r\nDate=01.01.2020 10:00\r\nTo=иван\r\nText=Waiting since 2020\r\n"));

    auto pager = install.start(display);
    // The timer ticks once a minute; allow a little more.
    const auto mails = sink.mails(1, 100000);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].from, "me@example.com");
    EXPECT_EQ(mails[0].to, std::vector<std::string>{"12345@pager.example.net"});
    EXPECT_NE(mails[0].content.find("\r\n\r\nWaiting since 2020\r\n"), std::string::npos);

    // The sent entry is gone from wait.dat, which an empty queue removes.
    for (int i = 0; i < 100 && testenv::fileExists(install.file("wait.dat")); ++i) QThread::msleep(100);
    EXPECT_FALSE(testenv::fileExists(install.file("wait.dat")));

    pager->terminate();
    EXPECT_EQ(e2e::waitForExit(*pager, 15000), 0);
}
