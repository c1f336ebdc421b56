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
    ASSERT_EQ(c.list.Count(), 12);
    EXPECT_EQ(c.list.GetItem(11)->Subject, "N12");
    EXPECT_FALSE(c.pop.Connected);
    EXPECT_TRUE(c.reports.empty());

    // Every message was read by the first check.
    const TCheckResult second = c.run(settingsFor(server), server.port());
    EXPECT_EQ(second.End, TCheckEnd::Checked);
    EXPECT_EQ(c.fresh, 0);
    EXPECT_EQ(c.all, 12);
    EXPECT_EQ(c.list.Count(), 12);
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
        EXPECT_EQ(check.reports.empty() ? "" : check.reports.back(), c.lastReport);
        // Whatever happened, nothing of the connection is left open.
        EXPECT_FALSE(check.pop.Connected);
        server.join();
    }
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
        {"%LASTMSGFROM%|%LASTMSGSUBJECT%", nullptr, "%LASTMSGFROM%|%LASTMSGSUBJECT%"},
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
