// The real Pager left running checks a real mailbox (dovecot on a loopback
// address of its own, at the POP3 port the program uses) by its timer alone
// and sends the new-mail notice to a real SMTP server.

#include "tests/e2e/desktop.h"

#include "common/strs.h"
#include "platform/codepage.h"
#include "tests/support/pop3server.h"
#include "tests/support/smtpsink.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <unistd.h>

using testenv::cp;

namespace {

// The KOI8-R bytes of a text.
std::string koi8(const char* utf8)
{
    std::string out = cp(utf8);
    for (char& c : out) c = static_cast<char>(codepage::winToKoi8(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

TEST(PagerMail, TheTimerFindsThreeNewOfTwelveAndTheNoticeGoesOutInKoi8)
{
    if (geteuid() != 0) GTEST_SKIP() << "the program's POP3 port 110 needs root";
    e2e::Display display;
    if (display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    testenv::Pop3Server pop;
    for (int i = 1; i <= 12; ++i)
        pop.addMessage("From: s@example.org\r\nSubject: N" + std::to_string(i) + "\r\n\r\nHello\r\n", i <= 9);
    if (!pop.start(110)) GTEST_SKIP() << pop.error();
    testenv::SmtpSink sink;
    ASSERT_NE(sink.port(), 0);

    e2e::PagerInstall install("mail-by-timer");
    testenv::writeFile(install.file("pager.ini"),
                       "[Connect]\r\nHost=127.0.0.1\r\nPort=" + std::to_string(sink.port()) +
                           "\r\nFromAddress=me@example.com\r\n\r\n"
                           "[CheckEmail]\r\nActive=1\r\nCheckEvery=1\r\nHost=" + pop.address() +
                           "\r\nUserID=" + pop.user() + "\r\nPassword=" + EncodeStr(pop.password(), ScrambleKey) +
                           "\r\nTo=79161234567@sms.example.org?subject=Mail\r\n");

    auto pager = install.start(display);
    // The timer ticks once a minute; allow a little more.
    const auto mails = sink.mails(1, 100000);
    ASSERT_EQ(mails.size(), 1u) << pop.log();
    EXPECT_EQ(mails[0].from, "me@example.com");
    EXPECT_EQ(mails[0].to, std::vector<std::string>{"79161234567@sms.example.org"});
    EXPECT_NE(mails[0].content.find("Subject: Mail\r\n"), std::string::npos);
    EXPECT_NE(mails[0].content.find("\r\n\r\n" + koi8("Свежая почта: 3 новых сообщений; всего 12") + "\r\n"),
              std::string::npos);

    pager->terminate();
    EXPECT_EQ(e2e::waitForExit(*pager, 15000), 0);
}
