// The main window's mailbox check against a real POP3 server (dovecot on
// loopback) and a real SMTP server: the notice, its status texts, a wrong
// password, an address still holding "###", a server that closes in the
// middle of a message, and a notice found while the user's send waits for the
// dialer.
#include "pager/main/mainwin.h"

#include "common/strs.h"
#include "netcomp/qorpop3.h"
#include "pager/encod.h"
#include "pager/ini.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "tests/support/scripted_server.h"
#include "tests/pager_gui/test_mainwin_peers.h"
#include "tests/support/pop3server.h"
#include "tests/support/testenv.h"

#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimeZone>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using mwtest::kWait;
using testenv::cp;

const char* const kNoticeTo = "79161234567@sms.example.org";

std::string mail(const std::string& from, const std::string& subject)
{
    return "From: " + from + "\r\nSubject: " + subject + "\r\n\r\nHello\r\n";
}

class MainWinMail : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = mwtest::makeInstall("mainwin-mail");
        registry::deleteKey(mwtest::kDialerKey);
    }
    void TearDown() override
    {
        w.reset();
        registry::deleteKey(mwtest::kDialerKey);
    }

    // The window with the mailbox check on, against a POP3 server at
    // Host:Port and an SMTP server at SmtpPort.
    void make(const std::string& host, int port, int smtpPort, const std::string& checkKeys,
              const std::string& connectKeys = "UseOrvDialer=0\r\n")
    {
        testenv::writeFile(folder + "/pager.ini",
                           "[Connect]\r\nHost=127.0.0.1\r\nPort=" + std::to_string(smtpPort) +
                               "\r\nFromAddress=me@example.com\r\nFromName=Me\r\nPollingInterval=5\r\n" +
                               connectKeys +
                               "\r\n[Message]\r\nCountLogMsg=10\r\nFullText=0\r\n\r\n"
                               "[Main]\r\nBookIndex=0\r\nIsHeader=0\r\nIsSignature=0\r\n\r\n"
                               "[CheckEmail]\r\nActive=1\r\nCheckEvery=1\r\nHost=" +
                               host + "\r\n" + checkKeys);
        w = std::make_unique<TMainWin>();
        w->OnStatusChange = [this](const AnsiString& t) {
            statuses.push_back(codepage::toUtf8(t));
            if (onStatus) onStatus(statuses.back());
        };
        w->ShowMessage = [](const QString&) {};
        w->OnClosed = [] {};
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        w->POP3->Port = std::to_string(port);
        w->POP3->TimeOut = kWait;
    }
    static std::string login(const testenv::Pop3Server& s, const std::string& password = {})
    {
        return "UserID=" + s.user() + "\r\nPassword=" + EncodeStr(password.empty() ? s.password() : password, ScrambleKey) +
               "\r\n";
    }
    // A mailbox of twelve messages of which the last three are new.
    static void fill(testenv::Pop3Server& s)
    {
        for (int i = 1; i <= 12; ++i) s.addMessage(mail("s@example.org", "N" + std::to_string(i)), i <= 9);
    }
    bool saw(const std::string& status) const
    {
        return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
    }

    std::string folder;
    std::unique_ptr<TMainWin> w;
    std::vector<std::string> statuses;
    std::function<void(const std::string&)> onStatus;
};

}  // namespace

TEST_F(MainWinMail, ThreeNewOfTwelveSendTheNoticeInKoi8ToTheAddressWithItsSubject)
{
    const mwtest::FixedClock clock(QDateTime(QDate(2026, 3, 5), QTime(9, 7, 30), QTimeZone(3 * 3600)));
    testenv::Pop3Server pop;
    fill(pop);
    if (!pop.start()) GTEST_SKIP() << pop.error();
    mwtest::SmtpServer smtp;
    ASSERT_NE(smtp.port(), 0);
    make(pop.address(), pop.port(), smtp.port(),
         login(pop) + "To=" + kNoticeTo + "?subject=New mail\r\n");

    w->tCheckMailTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return smtp.mails().size() == 1; }, kWait)) << pop.log();
    const mwtest::Mail m = smtp.mails()[0];
    EXPECT_EQ(m.envelope, (std::vector<std::string>{"me@example.com", kNoticeTo}));
    EXPECT_EQ(m.body(), "\r\n" + WinToKoi(cp("Свежая почта: 3 новых сообщений; всего 12")) + "\r\n");
    EXPECT_NE(m.header().find("Subject: New mail\r\n"), std::string::npos) << m.header();
    EXPECT_NE(m.header().find("X-Mailer: Orvanta Pager 3.6\r\nDate: Thu, 05 Mar 2026 09:07:30 +0300\r\n"),
              std::string::npos)
        << m.header();
    EXPECT_NE(m.header().find("Content-Type: text/plain; charset=koi8-r\r\n"), std::string::npos) << m.header();

    const std::vector<std::string> expected = {
        "Связь с сервером " + pop.address(),
        "Проверка почты...",
        "Проверка почты закончена. 3 новых сообщений!",
        "Соединение c 127.0.0.1",
        "Отправка уведомления о новой почте...",
        "Сообщение отправлено!",
        "",
    };
    EXPECT_EQ(statuses, expected);
    EXPECT_EQ(w->NewMsgCount, 3);
    EXPECT_EQ(w->AllMsgCount, 12);
    EXPECT_EQ(w->lvLogs->topLevelItemCount(), 0);  // the notice is not logged
    EXPECT_TRUE(w->tCheckMail->Enabled());
    EXPECT_TRUE(w->Road().Idle());

    // The next check finds nothing new and sends nothing.
    statuses.clear();
    w->tCheckMailTimer();
    EXPECT_TRUE(saw("Проверка почты закончена. 0 новых сообщений!"));
    QTest::qWait(200);
    EXPECT_EQ(smtp.mails().size(), 1u);
    EXPECT_TRUE(w->tCheckMail->Enabled());
}

TEST_F(MainWinMail, AServerThatRefusesLastIsSaidNotToTellTheNewMailAndTheChecksGoOn)
{
    testenv::Pop3Server pop;
    pop.enableLast(false);
    fill(pop);
    if (!pop.start()) GTEST_SKIP() << pop.error();
    mwtest::SmtpServer smtp;
    ASSERT_NE(smtp.port(), 0);
    make(pop.address(), pop.port(), smtp.port(), login(pop) + "To=" + kNoticeTo + "\r\n");
    const std::string said =
        "Проверка почты закончена. Сервер не сообщает число новых сообщений.";
    for (int check = 1; check <= 2; ++check) {
        SCOPED_TRACE(check);
        statuses.clear();
        w->tCheckMailTimer();
        const std::vector<std::string> expected = {"Связь с сервером " + pop.address(), "Проверка почты...", said};
        EXPECT_EQ(statuses, expected) << pop.log();
        EXPECT_EQ(codepage::toUtf8(w->Status()), said);
        EXPECT_EQ(w->AllMsgCount, 12);
        EXPECT_TRUE(w->tCheckMail->Enabled());
    }
    QTest::qWait(200);
    EXPECT_EQ(smtp.connections(), 0);
}

TEST_F(MainWinMail, CountsThatAreNoCountsSendNoNoticeAndTheChecksGoOn)
{
    // STAT: an empty mailbox; LAST: a number below none.
    scripted::Server server([](scripted::Peer& peer) {
        peer.send("+OK\r\n");
        for (const char* r : {"+OK\r\n", "+OK\r\n", "+OK 0 0\r\n", "+OK -7\r\n"}) {
            peer.readLine();
            peer.send(r);
        }
        peer.readToEnd();
    });
    mwtest::SmtpServer smtp;
    make("127.0.0.1", server.port(), smtp.port(),
         "UserID=u\r\nPassword=\r\nTo=" + std::string(kNoticeTo) + "\r\nText=%CountNewMsg% of %CountAllMsg%: %LastMsgSubject%\r\n");
    w->tCheckMailTimer();
    EXPECT_EQ(codepage::toUtf8(w->Status()), "Неверный ответ сервера на LAST: -7");
    EXPECT_TRUE(w->tCheckMail->Enabled());
    EXPECT_FALSE(w->POP3->Connected);
    QTest::qWait(200);
    EXPECT_EQ(smtp.connections(), 0);
}

TEST_F(MainWinMail, TheNewestMessagesSenderAndUtf8SubjectReachThePagerReadable)
{
    testenv::Pop3Server pop;
    pop.addMessage(mail("old@example.org", "Old"), true);
    pop.addMessage(mail("=?UTF-8?B?0JjQstCw0L0g0J/QtdGC0YDQvtCy?= <ivan@example.ru>",
                        "=?UTF-8?B?0J/RgNC40LLQtdGCLCDQvNC40YAh?="),
                   false);
    if (!pop.start()) GTEST_SKIP() << pop.error();
    mwtest::SmtpServer smtp;
    ASSERT_NE(smtp.port(), 0);
    make(pop.address(), pop.port(), smtp.port(),
         login(pop) + "To=" + kNoticeTo + "\r\nCode=1\r\nText=" + cp("%LastMsgSubject% от %LASTMSGFROM%") + "\r\n");
    w->tCheckMailTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return smtp.mails().size() == 1; }, kWait));
    EXPECT_EQ(smtp.mails()[0].body(), "\r\n" + cp("Привет, мир! от Иван Петров <ivan@example.ru>") + "\r\n");
}

TEST_F(MainWinMail, AWrongPasswordStopsTheChecksUntilTheOptionsAreSaved)
{
    testenv::Pop3Server pop;
    fill(pop);
    if (!pop.start()) GTEST_SKIP() << pop.error();
    mwtest::SmtpServer smtp;
    make(pop.address(), pop.port(), smtp.port(), login(pop, "wrong") + "To=" + kNoticeTo + "\r\n");
    ASSERT_TRUE(w->tCheckMail->Enabled());
    w->tCheckMailTimer();
    EXPECT_EQ(statuses.back(), "Неправильное имя или пароль для почты!");
    EXPECT_FALSE(w->tCheckMail->Enabled());
    EXPECT_TRUE(smtp.mails().empty());

    // The options saved with the right password: the checks go on.
    w->ShowOptionsDialog = [&] {
        Ini.CheckEmail.Password = pop.password();
        return TOptiResult{true, false, false};
    };
    w->bOptionsClick();
    EXPECT_TRUE(w->tCheckMail->Enabled());
    w->tCheckMailTimer();
    EXPECT_TRUE(QTest::qWaitFor([&] { return smtp.mails().size() == 1; }, kWait));
}

TEST_F(MainWinMail, AnAddressStillHoldingTheNumberSlotSendsNothingAndTheChecksGoOn)
{
    testenv::Pop3Server pop;
    fill(pop);
    if (!pop.start()) GTEST_SKIP() << pop.error();
    mwtest::SmtpServer smtp;
    make(pop.address(), pop.port(), smtp.port(), login(pop) + "To=###@sms.example.org\r\n");
    w->tCheckMailTimer();
    EXPECT_EQ(statuses.back(), "Проверка почты закончена. 3 новых сообщений!");
    EXPECT_TRUE(w->tCheckMail->Enabled());
    QTest::qWait(200);
    EXPECT_EQ(smtp.connections(), 0);
}

TEST_F(MainWinMail, AServerClosingInTheMiddleOfAMessageEndsTheCheckAndTheChecksGoOn)
{
    scripted::Server server([](scripted::Peer& peer) {
        peer.send("+OK\r\n");
        for (const char* r : {"+OK\r\n", "+OK\r\n", "+OK 1 90\r\n", "+OK 0\r\n", "+OK 1 90\r\n"}) {
            peer.readLine();
            peer.send(r);
        }
        peer.readLine();
        peer.send("+OK\r\nSubject: cut short\r\n");
        peer.close();
    });
    mwtest::SmtpServer smtp;
    make("127.0.0.1", server.port(), smtp.port(), "UserID=u\r\nPassword=\r\nTo=" + std::string(kNoticeTo) + "\r\n");
    w->tCheckMailTimer();
    EXPECT_EQ(statuses.back(), "Connection closed");
    EXPECT_TRUE(saw("Проверка почты закончена. 1 новых сообщений!"));
    EXPECT_TRUE(w->tCheckMail->Enabled());
    EXPECT_FALSE(w->POP3->Connected);
    QTest::qWait(200);
    EXPECT_EQ(smtp.connections(), 0);
}

TEST_F(MainWinMail, ClosingTheWindowEndsACheckWaitingForItsServerAndSavesEverything)
{
    // A server that greets, then never answers.
    scripted::Server server([](scripted::Peer& peer) {
        peer.send("+OK\r\n");
        peer.readToEnd();
    });
    mwtest::SmtpServer smtp;
    make("127.0.0.1", server.port(), smtp.port(), "UserID=u\r\nPassword=\r\nTo=" + std::string(kNoticeTo) + "\r\n");
    w->POP3->TimeOut = 0;  // no time-out: only the close can end this wait
    bool closed = false;
    w->OnClosed = [&] { closed = true; };
    std::remove((folder + "/pager.ini").c_str());
    QTimer::singleShot(300, w.get(), [this] { w->close(); });
    w->tCheckMailTimer();
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed; }, kWait));
    EXPECT_FALSE(w->POP3->Connected);
    EXPECT_TRUE(testenv::fileExists(folder + "/pager.ini"));
    EXPECT_EQ(smtp.connections(), 0);
    // The wait was ended by the close, not by the server giving up.
    EXPECT_TRUE(saw("10004:Interrupted system call"));
}

TEST_F(MainWinMail, ANoticeFoundWhileTheUsersSendWaitsForTheDialerGoesOnceTheRoadIsFree)
{
    mwtest::Dialer dialer;
    ASSERT_NE(mwtest::Dialer::handle(), 0u);
    testenv::Pop3Server pop;
    fill(pop);
    if (!pop.start()) GTEST_SKIP() << pop.error();
    const int smtpPort = mwtest::freePort();  // nothing listens yet: the user's send asks the dialer
    make(pop.address(), pop.port(), smtpPort, login(pop) + "To=" + kNoticeTo + "\r\n",
         "UseOrvDialer=1\r\n");
    for (int i = 0; i < w->Book->Count(); ++i)
        if (w->Book->Row(i)->Name == cp("Анна")) w->Book->Row(i)->setCheckState(0, Qt::Checked);
    w->mText->setPlainText(QString::fromUtf8("Hello"));

    // The user presses "send" while the check talks to its server.
    bool pressed = false;
    onStatus = [&](const std::string& s) {
        if (s != "Проверка почты..." || pressed) return;
        pressed = true;
        QTest::mouseClick(w->bSend, Qt::LeftButton);
    };
    w->tCheckMailTimer();
    onStatus = nullptr;
    ASSERT_TRUE(pressed);
    ASSERT_TRUE(mwtest::Dialer::waitForLog("3534:")) << mwtest::Dialer::log();
    EXPECT_TRUE(w->Road().Waiting());
    EXPECT_TRUE(w->tCheckMail->Enabled());

    mwtest::SmtpServer smtp("accept", smtpPort);  // the line is up
    ASSERT_EQ(smtp.port(), smtpPort);
    dialer.lineUp();
    ASSERT_TRUE(QTest::qWaitFor([&] { return smtp.mails().size() == 2 && w->Road().Idle(); }, kWait))
        << smtp.mails().size();
    const auto mails = smtp.mails();
    EXPECT_EQ(mails[0].envelope.at(1), "pg555@capital.example.net");
    EXPECT_EQ(mails[1].envelope.at(1), kNoticeTo);
    EXPECT_EQ(mails[1].body(), "\r\n" + WinToKoi(cp("Свежая почта: 3 новых сообщений; всего 12")) + "\r\n");
    QTest::qWait(200);
    EXPECT_EQ(smtp.mails().size(), 2u);
}
