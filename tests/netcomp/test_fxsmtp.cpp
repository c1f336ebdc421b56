// The SMTP client: its dialogue byte for byte against scripted servers, the
// header block and body, the events and thresholds, and a real server
// (python3-aiosmtpd) taking the same mail.
#include "netcomp/fxsmtp.h"
#include "tests/netcomp/scripted_server.h"
#include "tests/support/smtpsink.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <memory>
#include <regex>
#include <thread>

namespace {

const std::string kHelo = "HELO pager\r\n";
const std::string kEnvelope = "RSET\r\nMAIL FROM:<pager@example.org>\r\nRCPT TO:<555@gate.example>\r\nDATA\r\n";
const std::string kHeader =
    "From: Pager<pager@example.org>\r\n"
    "To: 555@gate.example\r\n"
    "Subject: Hi\r\n"
    "X-Mailer: Orvanta Pager 3.6\r\n"
    "Mime-Version: 1.0\r\n"
    "Content-Type: text/plain; charset=us-ascii\r\n"
    "\r\n\r\n";

// The replies of a server that takes one message and says goodbye.
const std::vector<std::string> kAllGood = {"250 hello", "250 reset", "250 sender ok", "250 rcpt ok",
                                           "354 go on", "250 queued", "221 bye"};

class ExposedSMTP : public TFxSMTP {
public:
    using TFxSMTP::ExtractAddress;
};

using scripted::messageOf;

// Aborts the client from inside its N-th line read (counted from 1), as a
// user's click or the end of the program does from the event loop.
void abortAtRead(TFxSMTP& smtp, int n)
{
    smtp.ReportLevel = 8;
    // The component calls a copy of its handler: the count lives outside.
    auto reads = std::make_shared<int>(0);
    smtp.OnStatus = [&smtp, n, reads](TFxSock*, const AnsiString& status) {
        if (status == "ReadLn" && ++*reads == n)
            QTimer::singleShot(0, QCoreApplication::instance(), [&smtp] { smtp.Abort(); });
    };
}

// A client wired to a scripted server, recording its events in order.
struct Session {
    scripted::Server server;
    TFxSMTP smtp;
    std::vector<std::string> events;

    Session(std::string greeting, std::vector<std::string> replies)
        : server(scripted::smtp(std::move(greeting), std::move(replies)))
    {
        smtp.Host = "127.0.0.1";
        smtp.Port = server.port();
        smtp.UserID = "pager";
        smtp.OnConnect = [this](TFxSock*) { events.push_back("connect"); };
        smtp.OnDisconnect = [this](TFxSock*) { events.push_back("disconnect"); };
        smtp.OnSendStart = [this](TFxSock*) { events.push_back("start"); };
        smtp.OnSuccess = [this](TFxSock*) { events.push_back("success"); };
        smtp.OnFailure = [this](TFxSock*) { events.push_back("failure"); };
        smtp.OnRecipientNotFound = [this](const AnsiString& r) { events.push_back("rcpt " + r); };
        TPostMessage& m = smtp.PostMsg;
        m.FromAddress = "pager@example.org";
        m.FromName = "Pager";
        m.ToAddress.Add("555@gate.example");
        m.Subject = "Hi";
        m.LocalProgram = "Orvanta Pager 3.6";
        m.Body.Add("Hello");
    }

    // Every byte the client sent; closes the connection without QUIT first.
    std::string transcript()
    {
        smtp.TFxSock::Disconnect();
        return server.received();
    }
};

}  // namespace

TEST(FxSmtpDialogue, OneMessageByteForByte)
{
    Session s("220 gate ready", kAllGood);
    s.smtp.Connect();
    s.smtp.SendMail();
    s.smtp.Disconnect();
    EXPECT_EQ(s.server.received(), kHelo + kEnvelope + kHeader + "Hello\r\n.\r\nQUIT\r\n");
    EXPECT_EQ(s.events, (std::vector<std::string>{"connect", "start", "success", "disconnect"}));
    EXPECT_EQ(s.smtp.PostMsg.ToAddress.Count(), 0);  // ClearParams
    EXPECT_EQ(s.smtp.PostMsg.Body.Count(), 1);
    EXPECT_FALSE(s.smtp.Connected());
}

TEST(FxSmtpDialogue, MultiLineRepliesAreReadToTheirLastLine)
{
    Session s("220-gate.example ESMTP\r\n220-more text\r\n220 ready",
              {"250-hello\r\n250-SIZE 1000\r\n250 HELP", "250 reset", "250 sender ok",
               "550-5.1.1 no such user\r\n550 5.1.1 try again", "250-ok\r\n indented continuation\r\n250 done",
               "354 go on", "250 queued", "221 bye"});
    s.smtp.PostMsg.ToCarbonCopy.Add("copy@example.org");
    s.smtp.Connect();
    s.smtp.SendMail();
    s.smtp.Disconnect();
    const std::string header =
        "From: Pager<pager@example.org>\r\nTo: 555@gate.example\r\nCC: copy@example.org\r\n"
        "Subject: Hi\r\nX-Mailer: Orvanta Pager 3.6\r\nMime-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=us-ascii\r\n\r\n\r\n";
    EXPECT_EQ(s.server.received(), kHelo +
                                       "RSET\r\nMAIL FROM:<pager@example.org>\r\nRCPT TO:<555@gate.example>\r\n"
                                       "RCPT TO:<copy@example.org>\r\nDATA\r\n" +
                                       header + "Hello\r\n.\r\nQUIT\r\n");
    EXPECT_EQ(s.events,
              (std::vector<std::string>{"connect", "start", "rcpt 555@gate.example", "success", "disconnect"}));
}

TEST(FxSmtpDialogue, OnConnectMaySendDisconnectAndFree)
{
    scripted::Server server(scripted::smtp("220 ready", kAllGood));
    auto* smtp = new TFxSMTP;
    smtp->Host = "127.0.0.1";
    smtp->Port = server.port();
    smtp->UserID = "pager";
    smtp->PostMsg.FromAddress = "pager@example.org";
    smtp->PostMsg.FromName = "Pager";
    smtp->PostMsg.ToAddress.Add("555@gate.example");
    smtp->PostMsg.Subject = "Hi";
    smtp->PostMsg.LocalProgram = "Orvanta Pager 3.6";
    smtp->PostMsg.Body.Add("Hello");
    int sent = 0;
    smtp->OnSuccess = [&](TFxSock*) { ++sent; };
    smtp->OnConnect = [&](TFxSock* sender) {
        auto* c = static_cast<TFxSMTP*>(sender);
        c->SendMail();
        c->Disconnect();
        delete c;  // as the pager does, from inside the event
    };
    smtp->Connect();
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(server.received(), kHelo + kEnvelope + kHeader + "Hello\r\n.\r\nQUIT\r\n");
}

TEST(FxSmtpDialogue, RefusedGreetingSendsQuitFirst)
{
    Session s("421 too busy", {"221 bye"});
    EXPECT_EQ(messageOf([&] { s.smtp.Connect(); }), "421 too busy\r\n");
    EXPECT_FALSE(s.smtp.Connected());
    EXPECT_EQ(s.server.received(), "QUIT\r\n");
    EXPECT_EQ(s.events, std::vector<std::string>{"disconnect"});
}

TEST(FxSmtpDialogue, RefusedHelo)
{
    struct Case {
        const char* name;
        bool handler;
        std::vector<std::string> replies;
        const char* error;
        const char* sent;
        int asked;
    } cases[] = {
        {"no handler", false, {"501 who are you", "221 bye"}, "Authentication failed",
         "HELO pager\r\nQUIT\r\n", 0},
        {"refused twice", true, {"501 who are you", "501 still no", "221 bye"}, "Authentication failed",
         "HELO pager\r\nHELO other\r\nQUIT\r\n", 1},
        {"second accepted", true, {"501 who are you", "250 hello other"}, "(no exception)",
         "HELO pager\r\nHELO other\r\n", 1},
    };
    for (const Case& c : cases) {
        Session s("220 ready", c.replies);
        int asked = 0;
        if (c.handler)
            s.smtp.OnAuthenticationFailed = [&](bool& handled) {
                ++asked;
                s.smtp.UserID = "other";
                handled = true;
            };
        EXPECT_EQ(messageOf([&] { s.smtp.Connect(); }), c.error) << c.name;
        EXPECT_EQ(asked, c.asked) << c.name;
        EXPECT_EQ(s.transcript(), c.sent) << c.name;
    }
}

TEST(FxSmtpDialogue, RefusedRecipientsAreReportedAndTheSendGoesOn)
{
    Session s("220 ready", {"250 hello", "250 reset", "250 sender ok", "550 no such user", "250 ok",
                            "550-no\r\n550 such user", "553 bad copy", "250 ok", "354 go on", "250 queued"});
    TExStringList& to = s.smtp.PostMsg.ToAddress;
    to.Clear();
    to.Add("First Person <one@example.org>");
    to.Add("SMS:two@example.org");
    to.Add("Nobody <>");  // no address: skipped
    to.Add("three@example.org");
    s.smtp.PostMsg.ToCarbonCopy.Add("Copy <copy@example.org>");
    s.smtp.PostMsg.ToBlindCarbonCopy.Add("hidden@example.org");
    s.smtp.Connect();
    s.smtp.SendMail();
    const std::string header =
        "From: Pager<pager@example.org>\r\n"
        "To: First Person <one@example.org>,SMS:two@example.org,Nobody <>,three@example.org\r\n"
        "CC: Copy <copy@example.org>\r\n"
        "Subject: Hi\r\nX-Mailer: Orvanta Pager 3.6\r\nMime-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=us-ascii\r\n\r\n\r\n";
    EXPECT_EQ(s.events, (std::vector<std::string>{"connect", "start", "rcpt First Person <one@example.org>",
                                                  "rcpt three@example.org", "rcpt Copy <copy@example.org>",
                                                  "success"}));
    EXPECT_EQ(s.transcript(), kHelo +
                                  "RSET\r\nMAIL FROM:<pager@example.org>\r\n"
                                  "RCPT TO:<one@example.org>\r\nRCPT TO:<two@example.org>\r\n"
                                  "RCPT TO:<three@example.org>\r\nRCPT TO:<copy@example.org>\r\n"
                                  "RCPT TO:<hidden@example.org>\r\nDATA\r\n" +
                                  header + "Hello\r\n.\r\n");
}

TEST(FxSmtpDialogue, RefusalsOfEachStep)
{
    struct Case {
        const char* name;
        std::vector<std::string> replies;  // after HELO
        const char* error;
        const char* sentAfterHelo;
        std::vector<std::string> events;
        bool textSent = false;
    } cases[] = {
        {"RSET", {"451 later"}, "451 later\r\n", "RSET\r\n", {"start"}},
        {"MAIL", {"250 ok", "553 bad sender"}, "553 bad sender\r\n", "RSET\r\nMAIL FROM:<pager@example.org>\r\n",
         {"start"}},
        {"all RCPT refused, DATA refused",
         {"250 ok", "250 ok", "550 no", "503 no valid recipients"},
         "503 no valid recipients\r\n",
         "RSET\r\nMAIL FROM:<pager@example.org>\r\nRCPT TO:<555@gate.example>\r\nDATA\r\n",
         {"start", "rcpt 555@gate.example"}},
        {"dot refused", {"250 ok", "250 ok", "250 ok", "354 go", "554 rejected"}, "554 rejected\r\n",
         "RSET\r\nMAIL FROM:<pager@example.org>\r\nRCPT TO:<555@gate.example>\r\nDATA\r\n", {"start", "failure"}, true},
        {"dot answered beyond 16 bits", {"250 ok", "250 ok", "250 ok", "354 go", "65786 ok"}, "65786 ok\r\n",
         "RSET\r\nMAIL FROM:<pager@example.org>\r\nRCPT TO:<555@gate.example>\r\nDATA\r\n", {"start", "failure"}, true},
        // Answers that never accept the mail: the text goes only after a 3xx
        // to DATA, and only a 2xx to the dot is acceptance.
        {"DATA answered 250", {"250 ok", "250 ok", "250 ok", "250 go ahead"}, "250 go ahead\r\n",
         "RSET\r\nMAIL FROM:<pager@example.org>\r\nRCPT TO:<555@gate.example>\r\nDATA\r\n", {"start"}},
        {"dot answered 354", {"250 ok", "250 ok", "250 ok", "354 go", "354 more please"}, "354 more please\r\n",
         "RSET\r\nMAIL FROM:<pager@example.org>\r\nRCPT TO:<555@gate.example>\r\nDATA\r\n", {"start", "failure"}, true},
        {"dot answered 250- then 554", {"250 ok", "250 ok", "250 ok", "354 go", "250-queued\r\n554 rejected"},
         "Invalid server reply",
         "RSET\r\nMAIL FROM:<pager@example.org>\r\nRCPT TO:<555@gate.example>\r\nDATA\r\n", {"start"}, true},
        {"dot answered 554- then 250", {"250 ok", "250 ok", "250 ok", "354 go", "554-rejected\r\n250 ok"},
         "Invalid server reply",
         "RSET\r\nMAIL FROM:<pager@example.org>\r\nRCPT TO:<555@gate.example>\r\nDATA\r\n", {"start"}, true},
        {"RCPT answered 250- then 550", {"250 ok", "250 ok", "250-fine\r\n550 no"}, "Invalid server reply",
         "RSET\r\nMAIL FROM:<pager@example.org>\r\nRCPT TO:<555@gate.example>\r\n", {"start"}},
        {"closed before the dot is answered", {"250 ok", "250 ok", "250 ok", "354 go", "<close>"},
         "Connection closed by server",
         "RSET\r\nMAIL FROM:<pager@example.org>\r\nRCPT TO:<555@gate.example>\r\nDATA\r\n",
         {"start"}, true},
        {"garbage to MAIL", {"250 ok", "hello there"}, "Invalid server reply",
         "RSET\r\nMAIL FROM:<pager@example.org>\r\n", {"start"}},
        {"two digits to RCPT", {"250 ok", "250 ok", "25 ok"}, "Invalid server reply",
         "RSET\r\nMAIL FROM:<pager@example.org>\r\nRCPT TO:<555@gate.example>\r\n", {"start"}},
        {"closed at RSET", {"<close>"}, "Connection closed by server", "RSET\r\n", {"start"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> replies{"250 hello"};
        replies.insert(replies.end(), c.replies.begin(), c.replies.end());
        Session s("220 ready", replies);
        s.smtp.Connect();
        s.events.clear();
        EXPECT_EQ(messageOf([&] { s.smtp.SendMail(); }), c.error) << c.name;
        // A server that closed may or may not have been seen closing yet.
        std::erase(s.events, "disconnect");
        EXPECT_EQ(s.events, c.events) << c.name;
        EXPECT_EQ(s.smtp.PostMsg.ToAddress.Count(), 1) << c.name;  // nothing cleared
        std::string expected = kHelo + c.sentAfterHelo;
        if (c.textSent) expected += kHeader + "Hello\r\n.\r\n";
        EXPECT_EQ(s.transcript(), expected) << c.name;
    }
}

TEST(FxSmtpDialogue, MultiLineAnswerToDataAndDotIsAccepted)
{
    Session s("220 ready", {"250 hello", "250 reset", "250 sender ok", "250 rcpt ok", "354-go on\r\n354 end with .",
                            "250-queued as 1\r\n250 thank you", "221 bye"});
    s.smtp.Connect();
    s.smtp.SendMail();
    s.smtp.Disconnect();
    EXPECT_EQ(s.server.received(), kHelo + kEnvelope + kHeader + "Hello\r\n.\r\nQUIT\r\n");
    EXPECT_EQ(s.events, (std::vector<std::string>{"connect", "start", "success", "disconnect"}));
    EXPECT_EQ(s.smtp.ReplyNumber(), 221);
}

// A server that sends one reply too many puts every later reply one command
// late, so that the reply to RCPT would be read for DATA and the reply to
// DATA for the mail. A reply that waits before its command is sent is a
// protocol error, and nothing more is said on that connection.
TEST(FxSmtpDialogue, AReplyBeforeItsCommandIsAProtocolError)
{
    {
        Session s("220 ready\r\n250 surplus", {"250 hello", "250 reset", "250 ok", "250 ok", "354 go", "250 queued"});
        EXPECT_EQ(messageOf([&] { s.smtp.Connect(); }), "Reply before command");
        EXPECT_FALSE(s.smtp.Connected());
        EXPECT_EQ(std::count(s.events.begin(), s.events.end(), "connect"), 0);
        EXPECT_EQ(s.server.received(), "");  // neither HELO nor QUIT
    }
    {
        Session s("220 ready", {"250 hello\r\n250 surplus", "250 reset", "250 ok", "250 ok", "354 go", "250 queued"});
        s.smtp.Connect();
        EXPECT_EQ(messageOf([&] { s.smtp.SendMail(); }), "Reply before command");
        EXPECT_EQ(std::count(s.events.begin(), s.events.end(), "success"), 0);
        EXPECT_EQ(s.transcript(), kHelo);
    }
}

TEST(FxSmtpDialogue, RefusedGreetingOfAServerThatClosesReportsTheRefusal)
{
    scripted::Server server([](scripted::Peer& p) {
        p.send("421 too busy\r\n");
        p.close();
    });
    TFxSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = server.port();
    EXPECT_EQ(messageOf([&] { smtp.Connect(); }), "421 too busy\r\n");
    EXPECT_FALSE(smtp.Connected());
}

TEST(FxSmtpDialogue, QuitAnsweredByClosingIsNoError)
{
    Session s("220 ready", {"250 hello", "<close>"});
    s.smtp.Connect();
    EXPECT_EQ(messageOf([&] { s.smtp.Disconnect(); }), "(no exception)");
    EXPECT_FALSE(s.smtp.Connected());
    EXPECT_EQ(s.server.received(), kHelo + "QUIT\r\n");
}

TEST(FxSmtpDialogue, RefusedQuitRaisesAfterClosing)
{
    Session s("220 ready", {"250 hello", "500 what"});
    s.smtp.Connect();
    EXPECT_EQ(messageOf([&] { s.smtp.Disconnect(); }), "500 what\r\n");
    EXPECT_FALSE(s.smtp.Connected());
    EXPECT_EQ(s.events, (std::vector<std::string>{"connect", "disconnect"}));
    EXPECT_EQ(s.server.received(), kHelo + "QUIT\r\n");
}

// A server that drips continuation lines of its greeting, each well inside
// the time-out: the time-out bounds the whole reply, and once it has passed
// nothing more is said or waited for (no HELO, no QUIT).
TEST(FxSmtpTimeOut, OneTimeOutBoundsAWholeReplyOfManyLines)
{
    scripted::Server server([](scripted::Peer& p) {
        // Far longer than the time-out; then a last line that would end it.
        for (int i = 0; i < 200 && p.send("220-still here\r\n"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        p.send("220 ready\r\n");
        p.readToEnd();
    });
    TFxSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = server.port();
    smtp.UserID = "pager";
    smtp.SetTimeOut(500);
    EXPECT_EQ(messageOf([&] { smtp.Connect(); }), "Socket readln aborted");
    EXPECT_TRUE(smtp.TimedOut());
    EXPECT_FALSE(smtp.Connected());
    EXPECT_EQ(server.received(), "");
}

// After a wait that timed out or was aborted the dialogue is out of step:
// nothing more is sent or waited for on that connection, so a silent server
// costs one time-out, and an abort (the user's cancel, the end of the
// program) ends the call at once.
TEST(FxSmtpTimeOut, NothingIsWaitedForAfterATimeOutOrAnAbort)
{
    struct Case {
        const char* name;
        const char* greeting;  // nullptr: none ever comes
        int timeOut;
        int abortAtRead;  // 0: none
        const char* connectError;
        const char* sent;
    } cases[] = {
        {"silent server times out", nullptr, 300, 0, "Socket readln aborted", ""},
        {"abort waiting for the greeting", nullptr, 0, 1, "Socket readln aborted", ""},
        {"abort waiting for the HELO reply", "220 ready\r\n", 0, 2, "Socket readln aborted", "HELO pager\r\n"},
        {"HELO reply times out", "220 ready\r\n", 300, 0, "Socket readln aborted", "HELO pager\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string greeting = c.greeting ? c.greeting : "";
        scripted::Server server([greeting](scripted::Peer& p) {
            if (!greeting.empty()) p.send(greeting);
            p.readToEnd();
        });
        TFxSMTP smtp;
        smtp.Host = "127.0.0.1";
        smtp.Port = server.port();
        smtp.UserID = "pager";
        smtp.SetTimeOut(c.timeOut);
        if (c.abortAtRead) abortAtRead(smtp, c.abortAtRead);
        EXPECT_EQ(messageOf([&] { smtp.Connect(); }), c.connectError);
        EXPECT_FALSE(smtp.Connected());
        EXPECT_EQ(server.received(), c.sent);
    }
}

TEST(FxSmtpTimeOut, DisconnectAfterAnAbortOnlyCloses)
{
    {
        // Aborted while waiting for the reply to QUIT: ends at once, closed.
        Session s("220 ready", {"250 hello"});
        s.smtp.Connect();
        abortAtRead(s.smtp, 1);  // the read of the reply to QUIT
        EXPECT_EQ(messageOf([&] { s.smtp.Disconnect(); }), "Socket readln aborted");
        EXPECT_FALSE(s.smtp.Connected());
        EXPECT_EQ(s.server.received(), kHelo + "QUIT\r\n");
    }
    {
        // Aborted between calls: the QUIT is not sent.
        Session s("220 ready", {"250 hello", "221 bye"});
        s.smtp.Connect();
        s.smtp.Abort();
        EXPECT_EQ(messageOf([&] { s.smtp.Disconnect(); }), "(no exception)");
        EXPECT_FALSE(s.smtp.Connected());
        EXPECT_EQ(s.server.received(), kHelo);
        // The next connection is a fresh dialogue.
        Session t("220 ready", kAllGood);
        t.smtp.Abort();
        t.smtp.Connect();
        t.smtp.SendMail();
        t.smtp.Disconnect();
        EXPECT_EQ(t.server.received(), kHelo + kEnvelope + kHeader + "Hello\r\n.\r\nQUIT\r\n");
    }
}

TEST(FxSmtpDialogue, SendMailInsideSendMailDoesNothing)
{
    Session s("220 ready", kAllGood);
    s.smtp.OnSendStart = [&](TFxSock*) {
        s.events.push_back("start");
        s.smtp.SendMail();
    };
    s.smtp.Connect();
    s.smtp.SendMail();
    s.smtp.Disconnect();
    EXPECT_EQ(s.server.received(), kHelo + kEnvelope + kHeader + "Hello\r\n.\r\nQUIT\r\n");
}

TEST(FxSmtpDialogue, WithoutClearParamsTheRecipientsStay)
{
    Session s("220 ready", {"250 hello", "250 reset", "250 ok", "250 ok", "354 go", "250 queued", "250 reset",
                            "250 ok", "250 ok", "354 go", "250 queued"});
    s.smtp.ClearParams = false;
    s.smtp.Connect();
    s.smtp.SendMail();
    s.smtp.SendMail();
    EXPECT_EQ(s.transcript(), kHelo + kEnvelope + kHeader + "Hello\r\n.\r\n" + kEnvelope + kHeader + "Hello\r\n.\r\n");
}

TEST(FxSmtpDialogue, IncompleteHeader)
{
    {
        Session s("220 ready", {"250 hello"});
        s.smtp.PostMsg.FromAddress.clear();
        s.smtp.Connect();
        EXPECT_EQ(messageOf([&] { s.smtp.SendMail(); }), "Incomplete Header");
        EXPECT_EQ(s.transcript(), kHelo);
    }
    {
        // The handler's sender is used for MAIL FROM; the header was built before.
        Session s("220 ready", kAllGood);
        s.smtp.PostMsg.FromAddress.clear();
        std::vector<int> kinds;
        s.smtp.OnHeaderIncomplete = [&](bool& handled, int hiType) {
            kinds.push_back(hiType);
            s.smtp.PostMsg.FromAddress = "late@example.org";
            handled = true;
        };
        s.smtp.Connect();
        s.smtp.SendMail();
        EXPECT_EQ(kinds, std::vector<int>{1});
        std::string header = kHeader;
        header.replace(0, header.find("\r\n"), "From: Pager<>");
        EXPECT_EQ(s.transcript(), kHelo +
                                      "RSET\r\nMAIL FROM:<late@example.org>\r\nRCPT TO:<555@gate.example>\r\n"
                                      "DATA\r\n" +
                                      header + "Hello\r\n.\r\n");
    }
    {
        Session s("220 ready", {"250 hello"});
        s.smtp.PostMsg.ToAddress.Clear();
        std::vector<int> kinds;
        s.smtp.OnHeaderIncomplete = [&](bool& handled, int hiType) {
            kinds.push_back(hiType);
            handled = true;  // but adds nobody
        };
        s.smtp.Connect();
        EXPECT_EQ(messageOf([&] { s.smtp.SendMail(); }), "Incomplete Header");
        EXPECT_EQ(kinds, std::vector<int>{2});
    }
}

TEST(FxSmtpMessage, BodyLinesAreStuffedAndLineEndsMadeWhole)
{
    Session s("220 ready", kAllGood);
    TExStringList& body = s.smtp.PostMsg.Body;
    body.Clear();
    body.Add(".");
    body.Add(".x");
    body.Add("..");
    body.Add("");
    body.Add("bare\nLF");
    body.Add("bare\rCR");
    body.Add("crlf\r\n.inside\r\n");
    body.Add("\xf0\xd2\xc9\xd7\xc5\xd4 koi8");          // KOI8-R
    body.Add(testenv::cp("Привет cp1251 \x01\x7f"));  // cp1251 and control bytes
    body.Add(std::string("nul\0byte", 8));
    s.smtp.Connect();
    s.smtp.SendMail();
    EXPECT_EQ(s.transcript(), kHelo + kEnvelope + kHeader +
                                  "..\r\n..x\r\n...\r\n\r\nbare\r\nLF\r\nbare\r\nCR\r\ncrlf\r\n..inside\r\n"
                                  "\xf0\xd2\xc9\xd7\xc5\xd4 koi8\r\n" +
                                  testenv::cp("Привет cp1251 \x01\x7f") + "\r\n" + std::string("nul\0byte", 8) +
                                  "\r\n.\r\n");
}

TEST(FxSmtpMessage, EmptyBody)
{
    Session s("220 ready", kAllGood);
    s.smtp.PostMsg.Body.Clear();
    s.smtp.Connect();
    s.smtp.SendMail();
    EXPECT_EQ(s.transcript(), kHelo + kEnvelope + kHeader + ".\r\n");
}

TEST(FxSmtpMessage, HeaderOrderAndOptionalLines)
{
    Session s("220 ready", {"250 hello", "250 reset", "250 ok", "250 ok", "250 ok", "250 ok", "250 ok",
                            "354 go", "250 queued"});
    TPostMessage& m = s.smtp.PostMsg;
    m.FromName.clear();
    m.ToAddress.Add("second@example.org");
    m.ToCarbonCopy.Add("cc@example.org");
    m.ToBlindCarbonCopy.Add("bcc@example.org");
    m.ReplyTo = "reply@example.org";
    m.Date = "Mon, 1 Jan 2001 10:00:00 +0300";
    m.Subject.clear();
    s.smtp.SubType = mtHtml;
    s.smtp.Charset = "koi8-r";
    s.smtp.Connect();
    s.smtp.SendMail();
    const std::vector<AnsiString> expected = {
        "From: <pager@example.org>",
        "To: 555@gate.example,second@example.org",
        "CC: cc@example.org",
        "X-Mailer: Orvanta Pager 3.6",
        "Reply-To: reply@example.org",
        "Date: Mon, 1 Jan 2001 10:00:00 +0300",
        "Mime-Version: 1.0",
        "Content-Type: text/html; charset=koi8-r",
    };
    EXPECT_EQ(s.smtp.FinalHeader().Lines(), expected);
}

TEST(FxSmtpMessage, LineBreakOrNulInAFieldIsRefusedBeforeAnyCommand)
{
    struct Case {
        const char* name;
        std::function<void(TPostMessage&)> spoil;
        const char* error;
    } cases[] = {
        {"sender", [](TPostMessage& m) { m.FromAddress = "a@b>\r\nRCPT TO:<x@y"; }, "Invalid character in FromAddress"},
        {"name", [](TPostMessage& m) { m.FromName = "Pager\nBcc: x@y"; }, "Invalid character in FromName"},
        {"subject", [](TPostMessage& m) { m.Subject = "Hi\r\n\r\n.\r\nMAIL FROM:<x@y>"; }, "Invalid character in Subject"},
        {"date", [](TPostMessage& m) { m.Date = std::string("today\0", 6); }, "Invalid character in Date"},
        {"to", [](TPostMessage& m) { m.ToAddress.Add("x@y>\rDATA"); }, "Invalid character in recipient"},
        {"cc", [](TPostMessage& m) { m.ToCarbonCopy.Add("x@y\n"); }, "Invalid character in recipient"},
        {"bcc", [](TPostMessage& m) { m.ToBlindCarbonCopy.Add(std::string("x@y\0z", 5)); },
         "Invalid character in recipient"},
        {"reply-to", [](TPostMessage& m) { m.ReplyTo = "r@x\r\nX: y"; }, "Invalid character in ReplyTo"},
        {"program", [](TPostMessage& m) { m.LocalProgram = "P\n"; }, "Invalid character in LocalProgram"},
    };
    for (const Case& c : cases) {
        Session s("220 ready", {"250 hello"});
        c.spoil(s.smtp.PostMsg);
        s.smtp.Connect();
        EXPECT_EQ(messageOf([&] { s.smtp.SendMail(); }), c.error) << c.name;
        EXPECT_EQ(s.transcript(), kHelo) << c.name;
    }
    Session s("220 ready", {});
    s.smtp.UserID = "pager\r\nMAIL FROM:<x@y>";
    EXPECT_EQ(messageOf([&] { s.smtp.Connect(); }), "Invalid character in UserID");
    EXPECT_FALSE(s.smtp.Connected());
}

TEST(FxSmtpMessage, ExtractAddressTable)
{
    struct Case {
        const char* entry;
        const char* address;
    } cases[] = {
        {"Name <a@b>", "a@b"}, {"<a@b>", "a@b"},  {"Name <a@b", "a@b"}, {"x <a<b>", "a"},
        {"SMS:a@b", "a@b"},    {"a:b:c", "b"},    {"a@b", "a@b"},       {" a@b ", " a@b "},
        {"Name <>", ""},       {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ExposedSMTP::ExtractAddress(c.entry), c.address) << c.entry;
}

TEST(FxSmtpMessage, AttachmentsNameTheEncodingTheyCarry)
{
    const std::string folder = testenv::makeDir("attach");
    const std::string first = folder + "/first.bin";
    const std::string second = folder + "/dots.txt";
    testenv::writeFile(first, std::string("\x00\x01\x02\xff", 4));
    testenv::writeFile(second, "fourteen bytes");  // a uuencoded line that begins with "."
    struct Case {
        UUMethods method;
        const char* encoding;
        const char* secondLine;  // as it goes out, dot-stuffed
    } cases[] = {
        {uuMime, "base64", "Zm91cnRlZW4gYnl0ZXM=\r\n"},
        {uuCode, "x-uuencode", "..9F]U<G1E96X@8GET97,\r\n`\r\n"},
    };
    for (const Case& c : cases) {
        Session s("220 ready", kAllGood);
        s.smtp.EncodeType = c.method;
        s.smtp.PostMsg.Attachments.Add(first);
        s.smtp.PostMsg.Attachments.Add(second);
        std::vector<std::string> encoded;
        s.smtp.OnEncodeStart = [&](const AnsiString& f) { encoded.push_back("start " + f); };
        s.smtp.OnEncodeEnd = [&](const AnsiString& f) { encoded.push_back("end " + f); };
        s.smtp.Connect();
        s.smtp.SendMail();
        EXPECT_EQ(encoded, (std::vector<std::string>{"start " + first, "end " + first, "start " + second,
                                                     "end " + second}));
        const std::string sent = s.transcript();
        std::smatch match;
        ASSERT_TRUE(std::regex_search(sent, match,
                                      std::regex("Content-Type: multipart/mixed; boundary=\"(={20}54535[a-y]{6}={4})\"")));
        const std::string b = match[1];
        const std::string part = [&](const char* name) {
            return "--" + b + "\r\nContent-Type: application/octet-stream; name=\"" + name +
                   "\"\r\nContent-Transfer-Encoding: " + c.encoding +
                   "\r\nContent-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n";
        }("dots.txt");
        const std::string expectedTail = part + c.secondLine + "--" + b + "--\r\n.\r\n";
        ASSERT_GE(sent.size(), expectedTail.size());
        EXPECT_EQ(sent.substr(sent.size() - expectedTail.size()), expectedTail) << c.encoding;
        EXPECT_NE(sent.find("\r\n\r\n--" + b + "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nHello\r\n--" +
                            b + "\r\nContent-Type: application/octet-stream; name=\"first.bin\""),
                  std::string::npos);
    }
}

TEST(FxSmtpMessage, MissingAttachmentEndsTheSendBeforeAnyCommand)
{
    Session s("220 ready", {"250 hello"});
    const std::string missing = testenv::root() + "/no-such-file.bin";
    s.smtp.PostMsg.Attachments.Add(missing);
    std::vector<std::string> notFound;
    s.smtp.OnAttachmentNotFound = [&](const AnsiString& f) { notFound.push_back(f); };
    s.smtp.Connect();
    try {
        s.smtp.SendMail();
        ADD_FAILURE() << "no exception";
    } catch (const EFOpenError&) {
    }
    EXPECT_EQ(notFound, std::vector<std::string>{missing});
    EXPECT_EQ(s.transcript(), kHelo);
}

TEST(FxSmtpRealServer, AiosmtpdTakesTheSameMail)
{
    testenv::SmtpSink sink;
    ASSERT_NE(sink.port(), 0);
    TFxSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = sink.port();
    smtp.UserID = "pager";
    smtp.SetTimeOut(180000);
    TPostMessage& m = smtp.PostMsg;
    m.FromAddress = "pager@example.org";
    m.FromName = testenv::cp("Пейджер");
    m.ToAddress.Add("555@gate.example");
    m.ToCarbonCopy.Add("Copy <copy@example.org>");
    m.ToBlindCarbonCopy.Add("hidden@example.org");
    m.Subject = testenv::cp("Тема");
    m.LocalProgram = "Orvanta Pager 3.6";
    const std::vector<std::string> lines = {".", ".x", "", "\xf0\xd2\xc9\xd7\xc5\xd4 koi8",
                                            testenv::cp("Привет, мир!"), "last"};
    for (const auto& l : lines) m.Body.Add(l);
    int sent = 0;
    smtp.OnSuccess = [&](TFxSock*) { ++sent; };
    smtp.Connect();
    smtp.SendMail();
    smtp.Disconnect();
    EXPECT_EQ(sent, 1);

    const auto mails = sink.mails(1);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].from, "pager@example.org");
    EXPECT_EQ(mails[0].to,
              (std::vector<std::string>{"555@gate.example", "copy@example.org", "hidden@example.org"}));
    std::string expected;
    for (const AnsiString& h : smtp.FinalHeader()) expected += h + "\r\n";
    expected += "\r\n\r\n";
    for (const auto& l : lines) expected += l + "\r\n";
    EXPECT_EQ(mails[0].content, expected);
    EXPECT_EQ(smtp.FinalHeader()[0], "From: " + testenv::cp("Пейджер") + "<pager@example.org>");
}
