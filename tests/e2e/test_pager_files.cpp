// The real Pager with hostile data files: names and values its readers take
// but its writers would refuse, and a contact line longer than the host's
// reader took. It starts, sends a due entry by its timer, ends on SIGTERM
// with every file saved, and never sends an entry twice.

#include "tests/e2e/desktop.h"

#include "platform/codepage.h"
#include "tests/support/smtpsink.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

using testenv::cp;
using namespace std::string_literals;

namespace {

constexpr int kWait = 15000;

// Asks the program to end and gives the time it took to, in ms (-1 when it
// did not end normally with code 0).
qint64 terminateAndTime(QProcess& p)
{
    QElapsedTimer t;
    t.start();
    p.terminate();
    if (e2e::waitForExit(p, kWait) != 0) return -1;
    return t.elapsed();
}

}  // namespace

TEST(PagerFiles, HostileDataStartsSendsOnceAndEndsOnSigtermWithEveryFileSaved)
{
    e2e::Display display;
    if (display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    testenv::SmtpSink sink;
    ASSERT_NE(sink.port(), 0);

    e2e::PagerInstall install("hostile-files");
    testenv::writeFile(install.file("pager.ini"),
                       "[Connect]\r\nHost=127.0.0.1\r\nPort=" + std::to_string(sink.port()) +
                           "\r\nPollingInterval=1\r\nFromAddress=me@example.com\r\nFromName=Me\rYou\r\n"
                           "\r\n[Message]\r\nCountLogMsg=10\r\n");
    testenv::writeFile(install.file("operators.dat"),
                       cp("[Пейдж (Москва)]\r\nMailGate=###@pager.example.net\r\n"));
    // The shown group has no name and a contact with a CR in his; the other
    // group's name holds a NUL; a contact line of more than 2,100 bytes.
    std::string commas;  // a text of 255 commas as the book writes it
    for (int i = 0; i < 255; ++i) commas += "\\,";
    const std::string bigLine = "777@pager.example.net," + commas + "," + commas + "," + commas + ",," + commas +
                                "," + commas;
    ASSERT_GT(bigLine.size(), 2100u);
    testenv::writeFile(install.file("book.dat"), cp("[]\r\nИв\rан=12345@pager.example.net,,,,WIN\r\n") + "Long=" +
                                                     bigLine + "\r\n\r\n" +
                                                     codepage::fromUtf8("[Дру\0зья]\r\nАнна=1@pager.example.net\r\n"s));
    // A due entry for him with a CR in its To, a later one with a CR in its Date.
    testenv::writeFile(install.file("wait.dat"),
                       cp("[Message1]\r\nDate=01.01.2020 10:00\r\nTo=Ив\rан\r\nText=Waiting since 2020\r\n\r\n"
                          "[Message2]\r\nDate=01.01.2099\r10:00\r\nTo=Ив ан\r\nText=Much later\r\n"));
    testenv::writeFile(install.file("messages.dat"),
                       cp("[Message1]\r\nTo=Ан\rна\r\nDate=01.01.2020 09:00:00\r\nText=Old one\r\n"));

    auto pager = install.start(display);
    // The timer ticks once a minute; allow a little more.
    const auto mails = sink.mails(1, 100000);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].to, std::vector<std::string>{"12345@pager.example.net"});
    EXPECT_NE(mails[0].content.find("\r\n\r\nWaiting since 2020\r\n"), std::string::npos);
    // Struck off wait.dat as soon as it went.
    const std::string rest = cp("[Message1]\r\nDate=01.01.2099 10:00\r\nTo=Ив ан\r\nText=Much later\r\n");
    for (int i = 0; i < 100 && testenv::readFile(install.file("wait.dat")) != rest; ++i) QThread::msleep(100);
    EXPECT_EQ(testenv::readFile(install.file("wait.dat")), rest);

    const qint64 ms = terminateAndTime(*pager);
    EXPECT_GE(ms, 0) << "did not end on SIGTERM";
    std::printf("SIGTERM to exit: %lld ms\n", static_cast<long long>(ms));

    // Every file saved: the log with the new row before the old one, the
    // shown group under a name that can be stored, in its place and whole.
    const std::string log = testenv::readFile(install.file("messages.dat"));
    EXPECT_TRUE(log.starts_with(cp("[Message1]\r\nTo=Ив ан\r\nDate="))) << log;
    EXPECT_NE(log.find(cp("Text=Waiting since 2020\r\n\r\n[Message2]\r\nTo=Ан на\r\n")), std::string::npos) << log;
    const std::string book = testenv::readFile(install.file("book.dat"));
    EXPECT_TRUE(book.starts_with(cp("[Без названия]\r\nИв ан=12345@pager.example.net,,,,WIN\r\nLong=") + bigLine +
                                 "\r\n"));
    EXPECT_NE(book.find(codepage::fromUtf8("[Дру\0зья]\r\n"s)), std::string::npos);
    EXPECT_NE(testenv::readFile(install.file("pager.ini")).find("FromName=Me You\r\n"), std::string::npos);

    // The next start sends nothing again and ends as well.
    auto again = install.start(display);
    ASSERT_TRUE(display.waitForWindow("Orvanta Pager 3.6", kWait));
    EXPECT_GE(terminateAndTime(*again), 0);
    EXPECT_EQ(sink.mails().size(), 1u);
    EXPECT_EQ(testenv::readFile(install.file("wait.dat")), rest);
    EXPECT_EQ(testenv::readFile(install.file("book.dat")), book);
}
