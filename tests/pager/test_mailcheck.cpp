// The mailbox check apart from the window: its steps against a real POP3
// server (dovecot on loopback) and against scripted servers for the failures
// a real one would not show, what each end means for the checks that follow,
// and the notice's text, recoding and address.
#include "pager/mailcheck.h"

#include "netcomp/qorpop3.h"
#include "pager/encod.h"
#include "pager/rungler.h"
#include "tests/support/scripted_server.h"
#include "tests/support/pop3server.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

using testenv::cp;

namespace {

const QDateTime kNow(QDate(2026, 3, 5), QTime(9, 7, 30));

std::string mail(const std::string& from, const std::string& subject)
{
    return "From: " + from + "\r\nSubject: " + subject + "\r\n\r\nHello\r\n";
}

TCheckSettings settingsFor(const testenv::Pop3Server& server)
{
    TCheckSettings s;
    s.Active = true;
    s.Host = server.address();
    s.UserID = server.user();
    s.Password = server.password();
    return s;
}

// A client and the counts, as the window holds them.
struct Check {
    TQorPOP pop;
    TQorMsgList list;
    int32_t fresh = -1;
    int32_t all = -1;
    std::vector<std::string> reports;

    Check()
    {
        pop.TimeOut = 20000;
        pop.OnError = [this](QObject*, int code, const AnsiString& msg) {
            reports.push_back(std::to_string(code) + " " + msg);
        };
    }
    TCheckResult run(const TCheckSettings& s, int port)
    {
        pop.Port = std::to_string(port);
        return RunMailCheck(pop, list, s, fresh, all);
    }
};

}  // namespace

TEST(MailCheckDovecot, TwelveMessagesOfWhichThreeAreNewThenNothingNew)
{
    testenv::Pop3Server server;
    for (int i = 1; i <= 12; ++i) server.addMessage(mail("s@example.org", "N" + std::to_string(i)), i <= 9);
    if (!server.start()) GTEST_SKIP() << server.error();

    Check c;
    const TCheckResult first = c.run(settingsFor(server), server.port());
    EXPECT_EQ(first.End, TCheckEnd::Checked) << server.log();
    EXPECT_TRUE(first.Status.empty());
    EXPECT_EQ(c.fresh, 3);
    EXPECT_EQ(c.all, 12);
    // Of the mail only the newest message is kept, for the notice.
    ASSERT_EQ(c.list.Count(), 1);
    EXPECT_EQ(c.list.GetItem(0)->Subject, "N12");
    EXPECT_EQ(c.list.GetItem(0)->From, "s@example.org");
    EXPECT_GT(c.list.GetItem(0)->Size, 0);
    EXPECT_FALSE(c.pop.Connected);
    EXPECT_TRUE(c.reports.empty());

    // Every message was read by the first check.
    const TCheckResult second = c.run(settingsFor(server), server.port());
    EXPECT_EQ(second.End, TCheckEnd::Checked);
    EXPECT_EQ(c.fresh, 0);
    EXPECT_EQ(c.all, 12);
    EXPECT_EQ(c.list.Count(), 1);
    EXPECT_EQ(CheckedStatus(c.fresh, c.pop.LastSupported), cp("Проверка почты закончена. 0 новых сообщений!"));
}

TEST(MailCheckDovecot, AServerThatRefusesLastIsSaidNotToTellTheNewMail)
{
    testenv::Pop3Server server;
    server.enableLast(false);
    for (int i = 1; i <= 3; ++i) server.addMessage(mail("s@example.org", "N" + std::to_string(i)), i == 1);
    if (!server.start()) GTEST_SKIP() << server.error();

    Check c;
    for (int check = 1; check <= 2; ++check) {
        SCOPED_TRACE(check);
        const TCheckResult r = c.run(settingsFor(server), server.port());
        EXPECT_EQ(r.End, TCheckEnd::Checked) << server.log();
        EXPECT_TRUE(ChecksGoOn(r.End));
        EXPECT_FALSE(c.pop.LastSupported);
        EXPECT_EQ(c.all, 3);
        EXPECT_EQ(c.fresh, 0);
        EXPECT_FALSE(NoticeDue(r.End, c.fresh, "me@pager.example"));
        EXPECT_EQ(CheckedStatus(c.fresh, c.pop.LastSupported),
                  cp("Проверка почты закончена. Сервер не сообщает число новых сообщений."));
        EXPECT_TRUE(c.reports.empty());
    }
}

TEST(MailCheckDovecot, AWrongPasswordStopsTheChecks)
{
    testenv::Pop3Server server;
    if (!server.start()) GTEST_SKIP() << server.error();
    TCheckSettings s = settingsFor(server);
    s.Password = "wrong";
    Check c;
    const TCheckResult r = c.run(s, server.port());
    EXPECT_EQ(r.End, TCheckEnd::LoginFailed);
    EXPECT_EQ(r.Status, cp("Неправильное имя или пароль для почты!"));
    EXPECT_FALSE(ChecksGoOn(r.End));
    EXPECT_EQ(c.fresh, -1);  // no counts were read
}

TEST(MailCheckScripted, HowEachWayOfEndingEnds)
{
    struct Case {
        const char* name;
        std::vector<std::string> replies;  // greeting first; "<close>" closes instead
        TCheckEnd end;
        std::string status;  // empty: the client's report stands
        int32_t fresh;       // -1: never read
        std::string lastReport;
    };
    // A reply ending in "<close>" is sent without that mark, then the server
    // closes the connection.
    const std::string ok = "+OK\r\n";
    const Case cases[] = {
        {"greeting refused", {"-ERR busy\r\n"}, TCheckEnd::ConnectFailed, "Ошибка соединения!", -1, ""},
        {"password refused", {ok, ok, "-ERR [AUTH] no\r\n"}, TCheckEnd::LoginFailed,
         "Неправильное имя или пароль для почты!", -1, "2001 [AUTH] no"},
        {"closed at the password", {ok, ok, "<close>"}, TCheckEnd::LoginFailed,
         "Неправильное имя или пароль для почты!", -1, "10054 Connection closed"},
        {"STAT refused", {ok, ok, ok, "-ERR locked\r\n"}, TCheckEnd::Failed, "", -1, "2006 locked"},
        {"RETR refused", {ok, ok, ok, "+OK 2 9\r\n", "+OK 0\r\n", "+OK 1 5\r\n", "-ERR gone\r\n"},
         TCheckEnd::Failed, "", 2, "2004 gone"},
        {"closed in the middle of RETR",
         {ok, ok, ok, "+OK 1 90\r\n", "+OK 0\r\n", "+OK 1 90\r\n", "+OK\r\nSubject: half\r\n<close>"},
         TCheckEnd::Failed, "", 1, "10054 Connection closed"},
        {"LAST refused", {ok, ok, ok, "+OK 1 9\r\n", "-ERR what?\r\n", "+OK 1 9\r\n", "+OK\r\nSubject: x\r\n\r\n.\r\n"},
         TCheckEnd::Checked, "", 0, ""},
        // Counts that are no counts are no answer: nothing is retrieved or
        // believed.
        {"STAT negative", {ok, ok, ok, "+OK -5 -100\r\n"}, TCheckEnd::Failed, "", -1,
         "2006 Неверный ответ сервера на STAT: -5 -100"},
        {"LAST negative", {ok, ok, ok, "+OK 0 0\r\n", "+OK -7\r\n"}, TCheckEnd::Failed, "", -1,
         "2006 Неверный ответ сервера на LAST: -7"},
        {"STAT without a count", {ok, ok, ok, "+OK\r\n"}, TCheckEnd::Failed, "", -1, "2006 Неверный ответ сервера на STAT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scripted::Server server([&](scripted::Peer& peer) {
            for (size_t i = 0; i < c.replies.size(); ++i) {
                if (i > 0 && peer.readLine().empty()) return;
                const std::string& r = c.replies[i];
                if (r.ends_with("<close>")) {
                    peer.send(r.substr(0, r.size() - 7));
                    return peer.close();
                }
                peer.send(r);
            }
            peer.readToEnd();
        });
        TCheckSettings s;
        s.Host = "127.0.0.1";
        s.UserID = "u";
        s.Password = "p";
        Check check;
        const TCheckResult r = check.run(s, server.port());
        EXPECT_EQ(r.End, c.end);
        EXPECT_EQ(r.Status, cp(c.status.c_str()));
        EXPECT_EQ(check.fresh, c.fresh);
        EXPECT_EQ(check.reports.empty() ? "" : check.reports.back(), cp(c.lastReport.c_str()));
        // Whatever happened, nothing of the connection is left open.
        EXPECT_FALSE(check.pop.Connected);
        server.join();
    }
}

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

// The most memory this process has held so far, in KiB (VmHWM).
long peakKiB()
{
    const std::string status = testenv::readFile("/proc/self/status");
    const size_t at = status.find("VmHWM:");
    return at == std::string::npos ? -1 : std::stol(status.substr(at + 6));
}

}  // namespace

TEST(MailCheckScripted, AMailboxOfManyMessagesIsCheckedInTheMemoryOfOne)
{
    // 1000 messages of 64 KiB each: 64 MiB of mail.
    constexpr int kMessages = 1000;
    std::string text;
    while (text.size() < 64 * 1024) text += std::string(78, 'x') + "\r\n";
    const auto message = [&](int n) {
        return "From: s" + std::to_string(n) + "@example.org\r\nSubject: N" + std::to_string(n) + "\r\n\r\n" + text;
    };
    const std::string size = std::to_string(message(kMessages).size());
    scripted::Server server([&](scripted::Peer& peer) {
        peer.send("+OK\r\n");
        for (const std::string& r : {std::string("+OK\r\n"), std::string("+OK\r\n"),
                                     "+OK " + std::to_string(kMessages) + " 65536000\r\n", std::string("+OK 0\r\n")}) {
            peer.readLine();
            peer.send(r);
        }
        for (int n = 1; n <= kMessages; ++n) {
            if (peer.readLine().empty()) return;  // LIST n
            peer.send("+OK " + std::to_string(n) + " " + size + "\r\n");
            if (peer.readLine().empty()) return;  // RETR n
            if (!peer.send("+OK\r\n" + message(n) + ".\r\n")) return;
        }
        peer.readToEnd();
    });
    TCheckSettings s;
    s.Host = "127.0.0.1";
    Check c;
    const long before = peakKiB();
    ASSERT_GT(before, 0);
    const TCheckResult r = c.run(s, server.port());
    const long grown = peakKiB() - before;
    EXPECT_EQ(r.End, TCheckEnd::Checked);
    EXPECT_EQ(c.fresh, kMessages);
    EXPECT_EQ(c.all, kMessages);
    RecordProperty("grown_kib", std::to_string(grown));
    // One message at a time: far below the 64 MiB that went through. (Under
    // AddressSanitizer freed memory is held back for a while, so the bound
    // says nothing there.)
    if (!kAddressSanitizer) {
        EXPECT_LT(grown, 24 * 1024) << grown << " KiB";
    }
    // What the notice needs of the newest message, and nothing of the others.
    ASSERT_EQ(c.list.Count(), 1);
    EXPECT_EQ(c.list.GetItem(0)->From, "s1000@example.org");
    EXPECT_EQ(c.list.GetItem(0)->Subject, "N1000");
    EXPECT_EQ(std::to_string(c.list.GetItem(0)->Size), size);
    server.join();
}

TEST(MailCheckScripted, AfterARefusedGreetingTheNextCheckConnectsAfresh)
{
    scripted::Server refusing([](scripted::Peer& peer) {
        peer.send("-ERR not now\r\n");
        peer.readToEnd();
    });
    TCheckSettings s;
    s.Host = "127.0.0.1";
    Check c;
    EXPECT_EQ(c.run(s, refusing.port()).End, TCheckEnd::ConnectFailed);
    // The refused connection was closed with QUIT.
    EXPECT_EQ(refusing.received(), "QUIT\r\n");

    scripted::Server good([](scripted::Peer& peer) {
        peer.send("+OK\r\n");
        for (const char* r : {"+OK\r\n", "+OK\r\n", "+OK 0 0\r\n", "+OK 0\r\n"}) {
            peer.readLine();
            peer.send(r);
        }
        peer.readToEnd();
    });
    EXPECT_EQ(c.run(s, good.port()).End, TCheckEnd::Checked);
}

TEST(MailCheckSteps, WhatFollowsEachEnd)
{
    struct Case {
        TCheckEnd end;
        int32_t fresh;
        const char* to;
        bool goOn;
        bool notice;
    };
    const Case cases[] = {
        {TCheckEnd::Checked, 3, "me@pager.example", true, true},
        {TCheckEnd::Checked, 0, "me@pager.example", true, false},
        {TCheckEnd::Checked, 3, "", true, false},
        {TCheckEnd::Checked, 3, "  \t", true, false},
        {TCheckEnd::Checked, 3, "###@pager.example", true, false},
        {TCheckEnd::Checked, 3, "me@pager.example?subject=Mail", true, true},
        {TCheckEnd::Failed, 3, "me@pager.example", true, false},
        {TCheckEnd::ConnectFailed, 3, "me@pager.example", false, false},
        {TCheckEnd::LoginFailed, 3, "me@pager.example", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.to) + " " + std::to_string(c.fresh));
        EXPECT_EQ(ChecksGoOn(c.end), c.goOn);
        EXPECT_EQ(NoticeDue(c.end, c.fresh, c.to), c.notice);
    }
}

TEST(MailNotice, TheTextWithItsMacros)
{
    TQorMsg last;
    last.From = cp("Иван <ivan@example.ru>");
    last.Subject = "%LASTMSGSUBJECT% and %countnewmsg%";
    last.Size = 4321;
    struct Case {
        const char* text;
        const TQorMsg* last;
        const char* expected;
    };
    const Case cases[] = {
        {"Свежая почта: %CountNewMsg% новых сообщений; всего %CountAllMsg%", nullptr,
         "Свежая почта: 3 новых сообщений; всего 12"},
        {"%DATE% %TIME% %date%", nullptr, "05.03.2026 09:07 05.03.2026"},
        {"%LastMsgFrom%: %LASTMSGSUBJECT% (%LASTMSGSIZE%)", &last,
         "Иван <ivan@example.ru>: %LASTMSGSUBJECT% and %countnewmsg% (4321)"},
        // No last message: its macros stand for nothing.
        {"%LASTMSGFROM%|%LASTMSGSUBJECT%|(%LastMsgSize%)", nullptr, "||()"},
        {"%COUNTNEWMSG%%COUNTNEWMSG%\r\n%UNKNOWN%", nullptr, "33\r\n%UNKNOWN%"},
        {"", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(NoticeText(cp(c.text), 3, 12, c.last, kNow), cp(c.expected));
    }
}

TEST(MailNotice, RecodedByCodeAndAddressedByTo)
{
    TRungler translit;
    TQorMsgList list;
    auto* last = new TQorMsg;
    last->Subject = cp("Отчёт");
    list.Add(last);
    struct Case {
        int32_t code;
        const char* to;
        const char* body;  // before recoding by code 0
        const char* address;
        const char* subject;
    };
    const Case cases[] = {
        {0, "555@pager.example.net", "Почта: Отчёт", "555@pager.example.net", ""},
        {1, "555@pager.example.net?subject=Mail box", "Почта: Отчёт", "555@pager.example.net", "Mail box"},
        {1, "555@pager.example.net?Subject=Mail", "Почта: Отчёт", "555@pager.example.net", ""},
        {1, " 555@pager.example.net ?subject=", "Почта: Отчёт", "555@pager.example.net", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        TCheckSettings s;
        s.Code = c.code;
        s.To = c.to;
        s.Text = cp("Почта: %LASTMSGSUBJECT%");
        const TMailPart m = BuildNotice(s, "me@example.com", cp("Я"), 1, 1, list, translit, kNow);
        EXPECT_EQ(m.Body, c.code == 0 ? WinToKoi(cp(c.body)) : cp(c.body));
        EXPECT_EQ(m.Charset, c.code == 0 ? "koi8-r" : "windows-1251");
        EXPECT_EQ(m.To, c.address);
        EXPECT_EQ(m.Subject, c.subject);
        EXPECT_EQ(m.FromAddress, "me@example.com");
        EXPECT_EQ(m.FromName, cp("Я"));
        EXPECT_EQ(m.LocalProgram, "Orvanta Pager 3.6");
        EXPECT_TRUE(m.CarbonCopy.empty());
    }
    // The transliterating codes convert afresh each time.
    TCheckSettings s;
    s.Text = cp("Почта");
    s.To = "x@y";
    s.Code = 2;
    EXPECT_EQ(BuildNotice(s, "", "", 1, 1, list, translit, kNow).Body, RecodeText(cp("Почта"), 2, translit));
    s.Text = "Pochta";
    s.Code = 4;
    EXPECT_EQ(BuildNotice(s, "", "", 1, 1, list, translit, kNow).Body, RecodeText("Pochta", 4, translit));
    EXPECT_NE(BuildNotice(s, "", "", 1, 1, list, translit, kNow).Body, "Pochta");
}
