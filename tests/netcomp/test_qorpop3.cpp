// The POP3 client: its dialogue byte for byte and the replies a real server
// would not give against scripted servers, and a real server (dovecot on
// loopback) with a mailbox of new and read messages.
#include "netcomp/qorpop3.h"
#include "platform/app.h"
#include "platform/sockets.h"
#include "tests/support/scripted_server.h"
#include "tests/support/pop3server.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <arpa/inet.h>
#include <atomic>

using scripted::messageOf;
using testenv::cp;

namespace {

// A server script: the first reply is the greeting; each later one answers
// the next command line. "<close>" closes instead of answering, "<silent>"
// answers nothing and waits for the client to go. A reply is sent as it
// stands (the test writes its line ends). When the replies are used up, the
// server reads until the client closes.
scripted::Server::Script pop3(std::vector<std::string> replies)
{
    return [replies = std::move(replies)](scripted::Peer& peer) {
        for (size_t i = 0; i < replies.size(); ++i) {
            if (i > 0 && peer.readLine().empty()) return;
            const std::string& r = replies[i];
            if (r == "<close>") return peer.close();
            if (r == "<silent>") break;
            peer.send(r);
        }
        peer.readToEnd();
    };
}

// The files of the mail code's private temporary folder.
QStringList tempFiles()
{
    return QDir(QString::fromStdString(GetTempDir())).entryList(QDir::Files | QDir::Hidden);
}

// A client wired to a scripted server, recording its events in order.
struct Session {
    scripted::Server server;
    TQorPOP pop;
    std::vector<std::string> events;
    std::atomic<int> receives{0};

    explicit Session(scripted::Server::Script script) : server(std::move(script))
    {
        pop.Host = "127.0.0.1";
        pop.Port = std::to_string(server.port());
        pop.UserId = "user";
        pop.UserPasswd = "pw";
        pop.TimeOut = 20000;
        pop.OnConnect = [this](QObject*) { events.push_back("connect"); };
        pop.OnDisconnect = [this](QObject*) { events.push_back("disconnect"); };
        pop.OnConnecting = [this](QObject*, TFxSock*) { events.push_back("connecting"); };
        pop.OnLookup = [this](QObject*, TFxSock*) { events.push_back("lookup"); };
        pop.OnError = [this](QObject*, int code, const AnsiString& msg) {
            events.push_back("error " + std::to_string(code) + " " + msg);
        };
        pop.OnRetrieveProgress = [this](QObject*, unsigned short p) { events.push_back("progress " + std::to_string(p)); };
        pop.OnReceiveTextFromSocket = [this](QObject*, const AnsiString&) { ++receives; };
    }

    void connectAndLogin()
    {
        pop.Connect();
        ASSERT_FALSE(pop.ErrorFlag);
        ASSERT_TRUE(pop.Login());
    }
};

// Reads one command line and answers it.
void answer(scripted::Peer& peer, const std::string& reply)
{
    peer.readLine();
    peer.send(reply);
}

// The greeting, then USER and PASS accepted.
void greetAndLogin(scripted::Peer& peer)
{
    peer.send("+OK\r\n");
    answer(peer, "+OK\r\n");
    answer(peer, "+OK\r\n");
}

// Waits on the server's thread until the client has taken Count receives.
void awaitReceives(const std::atomic<int>& receives, int count)
{
    QElapsedTimer t;
    t.start();
    while (receives.load() < count && t.elapsed() < 20000) QThread::msleep(5);
}

const std::string kMessage = "From: Ivan <ivan@example.ru>\r\nSubject: Hello\r\n\r\nFirst line\r\n";

}  // namespace

TEST(QorPopDialogue, ACheckByteForByte)
{
    Session s(pop3({"+OK ready\r\n", "+OK\r\n", "+OK logged in\r\n", "+OK 2 300\r\n", "+OK 1\r\n",
                    "+OK 1 120\r\n", "+OK 120 octets\r\n" + kMessage + ".\r\n", "+OK 2 7\r\n",
                    "+OK\r\nSubject: Two\r\n\r\n.\r\n"}));
    s.connectAndLogin();
    s.pop.GetStat();
    EXPECT_EQ(s.pop.MessageCount, 2);
    EXPECT_EQ(s.pop.NewMessageCount, 1);
    EXPECT_TRUE(s.pop.LastSupported);
    TQorMsgList list;
    EXPECT_EQ(s.pop.RetrieveAll(list), 2);
    s.pop.Disconnect();
    EXPECT_EQ(s.server.received(), "USER user\r\nPASS pw\r\nSTAT\r\nLAST\r\nLIST 1\r\nRETR 1\r\nLIST 2\r\nRETR 2\r\nQUIT\r\n");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetItem(0)->From, "Ivan <ivan@example.ru>");
    EXPECT_EQ(list.GetItem(0)->Subject, "Hello");
    EXPECT_EQ(list.GetItem(0)->Size, 120);
    EXPECT_EQ(list.GetItem(0)->Text.Text(), "First line\r\n");
    EXPECT_EQ(list.GetItem(1)->Subject, "Two");
    EXPECT_EQ(list.GetItem(1)->Size, 7);
    EXPECT_FALSE(s.pop.Connected);
    EXPECT_EQ(s.events.front(), "connecting");
    EXPECT_EQ(s.events[1], "connect");
    EXPECT_EQ(s.events.back(), "disconnect");
    EXPECT_TRUE(tempFiles().isEmpty());
}

TEST(QorPopDialogue, LineBreaksAndNulsNeverReachACommand)
{
    Session s(pop3({"+OK\r\n", "+OK\r\n", "+OK\r\n"}));
    s.pop.UserId = std::string("us\r\ner\0", 7);
    s.pop.UserPasswd = "p\nw\rSTAT";
    s.connectAndLogin();
    s.pop.Disconnect();
    EXPECT_EQ(s.server.received(), "USER user\r\nPASS pwSTAT\r\nQUIT\r\n");
}

TEST(QorPopDialogue, TheGreetingRefusedLeavesErrorFlagWithTheSocketOpenAndTheNextConnectWorks)
{
    Session s(pop3({"-ERR go away\r\n"}));
    s.pop.Connect();
    EXPECT_TRUE(s.pop.ErrorFlag);
    EXPECT_TRUE(s.pop.Connected);
    EXPECT_EQ(s.pop.ReplyText, "go away");

    scripted::Server second(pop3({"+OK hello\r\n", "+OK\r\n", "+OK\r\n"}));
    s.pop.Port = std::to_string(second.port());
    s.pop.Connect();
    EXPECT_FALSE(s.pop.ErrorFlag);
    EXPECT_TRUE(s.pop.Login());
    s.pop.Disconnect();
    EXPECT_EQ(second.received(), "USER user\r\nPASS pw\r\nQUIT\r\n");
}

TEST(QorPopDialogue, ARefusedConnectionShowsInErrorFlagAndOnError)
{
    TQorPOP pop;
    std::vector<int> codes;
    pop.OnError = [&](QObject*, int code, const AnsiString&) { codes.push_back(code); };
    pop.Host = "127.0.0.1";
    pop.Port = std::to_string(scripted::closedPort());
    pop.Connect();
    EXPECT_TRUE(pop.ErrorFlag);
    EXPECT_FALSE(pop.Connected);
    EXPECT_EQ(codes, std::vector<int>{sockets::WSAECONNREFUSED});
    EXPECT_EQ(pop.ReplyText, "Connection Failed");
}

TEST(QorPopDialogue, AHostOfFourNumbersGoesAsAnAddressAnythingElseIsLookedUp)
{
    struct Case {
        const char* host;
        bool lookedUp;
    };
    for (const Case c : {Case{"127.0.0.1", false}, Case{"127.0.0.300", true}, Case{"pop.example.test", true}}) {
        SCOPED_TRACE(c.host);
        std::vector<std::string> names;
        sockets::setResolver([&](const std::string& name, uint32_t& address) {
            names.push_back(name);
            address = htonl(0x7F000001);
            return 0;
        });
        Session s(pop3({"+OK\r\n"}));
        s.pop.Host = c.host;
        s.pop.Connect();
        sockets::setResolver({});
        EXPECT_FALSE(s.pop.ErrorFlag);
        EXPECT_EQ(names, c.lookedUp ? std::vector<std::string>{c.host} : std::vector<std::string>{});
        EXPECT_EQ(s.events.front(), c.lookedUp ? "lookup" : "connecting");
        s.pop.Disconnect();
    }
}

TEST(QorPopLogin, RefusalsFailWithCode2001AndAClosedConnectionIsNoSuccess)
{
    {
        Session s(pop3({"+OK\r\n", "+OK\r\n", "-ERR [AUTH] Authentication failed.\r\n"}));
        s.pop.Connect();
        EXPECT_FALSE(s.pop.Login());
        EXPECT_FALSE(s.pop.LoggedIn);
        EXPECT_FALSE(s.pop.Connected);
        EXPECT_EQ(s.events.back(), "error 2001 [AUTH] Authentication failed.");
    }
    {
        // A refusal followed by the server closing at once.
        Session s(pop3({"+OK\r\n", "-ERR [SYS/TEMP] Internal error occurred.\r\n", "<close>"}));
        s.pop.Connect();
        EXPECT_FALSE(s.pop.Login());
        EXPECT_FALSE(s.pop.LoggedIn);
    }
    {
        // The server closes instead of answering PASS.
        Session s(pop3({"+OK\r\n", "+OK\r\n", "<close>"}));
        s.pop.Connect();
        EXPECT_EQ(messageOf([&] { s.pop.Login(); }), "Connection closed");
        EXPECT_FALSE(s.pop.LoggedIn);
        EXPECT_FALSE(s.pop.Connected);
        EXPECT_TRUE(s.pop.ErrorFlag);
        EXPECT_EQ(s.events.back(), "error 10054 Connection closed");
    }
    TQorPOP idle;
    EXPECT_EQ(messageOf([&] { idle.Login(); }), "Invalid Op. Not connected.");
}

TEST(QorPopStat, CountsFromStatAndLast)
{
    struct Case {
        const char* stat;
        const char* last;
        int count;
        int fresh;
        bool lastSupported;
    };
    const Case cases[] = {
        {"+OK 5 1000\r\n", "+OK 3\r\n", 5, 2, true},
        {"+OK 5 1000\r\n", "-ERR unknown command\r\n", 5, 0, false},
        {"+OK 70000 9\r\n", "+OK 1\r\n", 70000, 69999, true},  // beyond 16 bits, kept whole
        {"+OK 2 9\r\n", "+OK 7\r\n", 2, 0, true},              // never below none
        {"+OK 0\r\n", "+OK 0 and more\r\n", 0, 0, true},
        {"+OK 3 5000000000\r\n", "+OK 1\r\n", 3, 2, true},  // a mailbox past 4 GB
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stat + std::string(" / ") + c.last);
        Session s(pop3({"+OK\r\n", "+OK\r\n", "+OK\r\n", c.stat, c.last}));
        s.connectAndLogin();
        s.pop.GetStat();
        EXPECT_EQ(s.pop.MessageCount, c.count);
        EXPECT_EQ(s.pop.NewMessageCount, c.fresh);
        EXPECT_EQ(s.pop.LastSupported, c.lastSupported);
        EXPECT_EQ(s.events.back(), "connect");  // no error reported
        s.pop.Disconnect();
    }
    Session refused(pop3({"+OK\r\n", "+OK\r\n", "+OK\r\n", "-ERR mailbox locked\r\n"}));
    refused.connectAndLogin();
    refused.pop.GetStat();
    EXPECT_EQ(refused.events.back(), "error 2006 mailbox locked");
    EXPECT_FALSE(refused.pop.Connected);
}

TEST(QorPopStat, AReplyThatGivesNoCountsEndsTheDialogueAsARefusal)
{
    struct Case {
        const char* stat;
        const char* last;  // nullptr: LAST is never asked
        const char* report;
    };
    const Case cases[] = {
        {"+OK -5 -100\r\n", nullptr, "error 2006 Неверный ответ сервера на STAT: -5 -100"},
        {"+OK 5 -100\r\n", nullptr, "error 2006 Неверный ответ сервера на STAT: 5 -100"},
        {"+OK\r\n", nullptr, "error 2006 Неверный ответ сервера на STAT"},
        {"+OK five 100\r\n", nullptr, "error 2006 Неверный ответ сервера на STAT: five 100"},
        {"+OK +5 100\r\n", nullptr, "error 2006 Неверный ответ сервера на STAT: +5 100"},
        {"+OK 99999999999 100\r\n", nullptr, "error 2006 Неверный ответ сервера на STAT: 99999999999 100"},
        {"+OK 5 100\r\n", "+OK -7\r\n", "error 2006 Неверный ответ сервера на LAST: -7"},
        {"+OK 5 100\r\n", "+OK\r\n", "error 2006 Неверный ответ сервера на LAST"},
        {"+OK 5 100\r\n", "+OK 0x3\r\n", "error 2006 Неверный ответ сервера на LAST: 0x3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stat + std::string(" / ") + (c.last ? c.last : "-"));
        std::vector<std::string> replies = {"+OK\r\n", "+OK\r\n", "+OK\r\n", c.stat};
        if (c.last) replies.push_back(c.last);
        Session s(pop3(replies));
        s.connectAndLogin();
        s.pop.GetStat();
        EXPECT_EQ(s.events.back(), cp(c.report));
        EXPECT_TRUE(s.pop.ErrorFlag);
        EXPECT_FALSE(s.pop.Connected);
        EXPECT_EQ(s.pop.NewMessageCount, 0);
        const std::string asked = c.last ? "STAT\r\nLAST\r\n" : "STAT\r\n";
        EXPECT_EQ(s.server.received(), "USER user\r\nPASS pw\r\n" + asked);
    }
}

TEST(QorPopRetrieve, TheTerminatorAndTheFirstLineFoundAcrossReceives)
{
    // Each row: the pieces of the RETR reply, sent one receive apart.
    const std::vector<std::vector<std::string>> rows = {
        {"+OK\r\nSubject: A\r\n\r\nbody\r\n.", "\r\n"},
        {"+OK\r\nSubject: A\r\n\r\nbody\r", "\n.\r\n"},
        {"+OK\r\nSubject: A\r\n\r\nbody\r\n.\r", "\n"},
        {"+OK\r\nSubject: A\r\n\r\nbody\r\n", ".\r\n"},
        {"+OK\r\nSubject: A\r\n\r\nbo", "dy\r\n", ".\r\n"},
    };
    for (const auto& pieces : rows) {
        SCOPED_TRACE(pieces[0] + "|" + pieces[1]);
        std::atomic<int>* receives = nullptr;
        Session s([&](scripted::Peer& peer) {
            greetAndLogin(peer);
            answer(peer, "+OK 1 30\r\n");
            peer.readLine();
            const int before = receives->load();
            for (size_t i = 0; i < pieces.size(); ++i) {
                peer.send(pieces[i]);
                awaitReceives(*receives, before + static_cast<int>(i) + 1);
            }
            peer.readToEnd();
        });
        receives = &s.receives;
        s.connectAndLogin();
        TQorMsg msg;
        EXPECT_TRUE(s.pop.RetrieveMessage(1, false, msg));
        EXPECT_EQ(msg.Subject, "A");
        EXPECT_EQ(msg.Text.Text(), "body\r\n");
        s.pop.Disconnect();
    }
}

TEST(QorPopRetrieve, AReplysFirstLineInTwoReceivesIsJudgedWhole)
{
    Session s([](scripted::Peer& peer) {
        peer.send("+O");
        QThread::msleep(100);  // gives the client the chance to take the piece alone
        peer.send("K ready\r\n");
        peer.readLine();
        peer.send("-E");
        QThread::msleep(100);
        peer.send("RR no such user\r\n");
        peer.readToEnd();
    });
    s.pop.Connect();
    EXPECT_FALSE(s.pop.ErrorFlag);
    EXPECT_EQ(s.pop.ReplyText, "ready");
    EXPECT_FALSE(s.pop.Login());
    EXPECT_EQ(s.events.back(), "error 2001 no such user");
}

TEST(QorPopRetrieve, EveryLineIsUnDotStuffed)
{
    Session s(pop3({"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK 1 40\r\n",
                    "+OK\r\nSubject: Dots\r\n\r\n..first\r\n.\r\nx\r\n...\r\n..\r\n..last\r\n.\r\n"}));
    s.connectAndLogin();
    TQorMsg msg;
    ASSERT_TRUE(s.pop.RetrieveMessage(1, false, msg));
    // The lone "." on the wire ended nothing: it stood inside the text.
    EXPECT_EQ(msg.Text.Text(), ".first\r\n.\r\nx\r\n..\r\n.\r\n.last\r\n");
    s.pop.Disconnect();
}

TEST(QorPopRetrieve, ProgressMarksAndTheSizeFromList)
{
    struct Case {
        const char* list;
        std::vector<int> pieces;  // file sizes after each receive following the status line
        std::vector<std::string> events;
        int size;
    };
    const Case cases[] = {
        // 5 %, 25 %, 40 %: events at 25 and 40, then 100.
        {"+OK 1 1000\r\n", {50, 250, 400}, {"progress 25", "progress 40", "progress 100"}, 1000},
        // One receive: a single event with 100.
        {"+OK 1 1000\r\n", {}, {"progress 100"}, 1000},
        // No size: 100 is taken; 60 and 120 of it.
        {"+OK 1\r\n", {60, 120}, {"progress 60", "progress 120"}, 100},
        // A size of 0 still completes.
        {"+OK 1 0\r\n", {60, 120}, {"progress 100", "progress 100"}, 0},
        // A size that is no count is as none.
        {"+OK 1 -1000\r\n", {60, 120}, {"progress 60", "progress 120"}, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        std::atomic<int>* receives = nullptr;
        Session s([&](scripted::Peer& peer) {
            greetAndLogin(peer);
            answer(peer, c.list);
            peer.readLine();
            const std::string status = "+OK\r\n";
            if (c.pieces.empty()) {
                peer.send(status + "Subject: S\r\n\r\nshort\r\n.\r\n");
            } else {
                const int before = receives->load();
                peer.send(status);
                awaitReceives(*receives, before + 1);
                int sent = static_cast<int>(status.size());
                for (size_t i = 0; i < c.pieces.size(); ++i) {
                    const bool last = i + 1 == c.pieces.size();
                    const int n = c.pieces[i] - sent;
                    std::string piece = last ? std::string(static_cast<size_t>(n - 5), 'x') + "\r\n.\r\n"
                                             : std::string(static_cast<size_t>(n), 'x');
                    peer.send(piece);
                    sent = c.pieces[i];
                    awaitReceives(*receives, before + 2 + static_cast<int>(i));
                }
            }
            peer.readToEnd();
        });
        receives = &s.receives;
        s.connectAndLogin();
        s.events.clear();
        TQorMsg msg;
        ASSERT_TRUE(s.pop.RetrieveMessage(1, false, msg));
        EXPECT_EQ(s.events, c.events);
        EXPECT_EQ(msg.Size, c.size);
        s.pop.Disconnect();
    }
}

TEST(QorPopRetrieve, HeadersOnlyAndTheUidlOfEachMessage)
{
    Session s(pop3({"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK 2 10\r\n", "+OK 0\r\n", "+OK 1 5\r\n",
                    "+OK\r\nSubject: One\r\n\r\n.\r\n", "+OK 1 abc-1\r\n", "+OK 2 5\r\n",
                    "+OK\r\nSubject: Two\r\n\r\n.\r\n", "+OK noblank\r\n"}));
    s.pop.GetUIDLsOnRetrieve = true;
    s.connectAndLogin();
    s.pop.GetStat();
    TQorMsgList list;
    EXPECT_EQ(s.pop.RetrieveAllMessages(list, true), 2);
    s.pop.Disconnect();
    EXPECT_EQ(s.server.received(), "USER user\r\nPASS pw\r\nSTAT\r\nLAST\r\nLIST 1\r\nTOP 1 0\r\nUIDL 1\r\n"
                                   "LIST 2\r\nTOP 2 0\r\nUIDL 2\r\nQUIT\r\n");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.GetItem(0)->UIDL, "abc-1");
    EXPECT_EQ(list.GetItem(1)->UIDL, "noblank");
}

TEST(QorPopRetrieve, ARefusedRetrReportsCode2004ClosesAndTheNextRetrievalIsNotConnected)
{
    Session s(pop3({"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK 2 10\r\n", "+OK 0\r\n", "+OK 1 5\r\n",
                    "-ERR message is gone\r\n"}));
    s.connectAndLogin();
    s.pop.GetStat();
    TQorMsgList list;
    EXPECT_EQ(messageOf([&] { s.pop.RetrieveAll(list); }), "Not connected.");
    EXPECT_EQ(list.Count(), 1);  // the failed, empty message was kept
    EXPECT_FALSE(s.pop.Connected);
    const std::vector<std::string> tail(s.events.end() - 2, s.events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"disconnect", "error 2004 message is gone"}));
    EXPECT_TRUE(tempFiles().isEmpty());
}

TEST(QorPopRetrieve, AConnectionThatEndsOrFallsSilentEndsTheCall)
{
    struct Case {
        const char* name;
        std::string afterRetr;  // sent after RETR, then the server acts
        bool reset;             // reset instead of closing
        bool silent;            // stays silent instead
        std::string error;
    };
    const Case cases[] = {
        {"closed mid-message", "+OK\r\nSubject: A\r\n\r\nhalf a mess", false, false, "Connection closed"},
        // A reset reads as the end of the connection, or as its error.
        {"reset mid-message", "+OK\r\nSubject: A\r\n\r\nhalf a mess", true, false, "onnection"},
        {"closed before the reply", "", false, false, "Connection closed"},
        {"silent mid-message", "+OK\r\nSubject: A\r\n\r\nhalf", false, true, "10060:Connection timed out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session s([&](scripted::Peer& peer) {
            greetAndLogin(peer);
            answer(peer, "+OK 1 50\r\n");
            answer(peer, "+OK 0\r\n");
            answer(peer, "+OK 1 50\r\n");
            answer(peer, c.afterRetr);
            if (c.silent) return static_cast<void>(peer.readToEnd());
            if (c.reset) return peer.reset();
            peer.close();
        });
        if (c.silent) s.pop.TimeOut = 300;
        s.connectAndLogin();
        s.pop.GetStat();
        TQorMsgList list;
        const std::string error = messageOf([&] { s.pop.RetrieveAll(list); });
        if (c.reset)
            EXPECT_TRUE(error == "Connection closed" || error == "10054:Connection reset by peer") << error;
        else
            EXPECT_EQ(error, c.error);
        EXPECT_EQ(list.Count(), 0);
        EXPECT_FALSE(s.pop.Connected);
        EXPECT_TRUE(s.pop.ErrorFlag);
        EXPECT_NE(s.events.back().find(c.error), std::string::npos) << s.events.back();
        EXPECT_TRUE(tempFiles().isEmpty());
    }
}

TEST(QorPopRetrieve, AMegabyteLine)
{
    const std::string big(1 << 20, 'y');
    {
        // Inside a message: kept whole.
        Session s(pop3({"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK 1 1048600\r\n",
                        "+OK\r\nSubject: Big\r\n\r\n" + big + "\r\nend\r\n.\r\n"}));
        s.connectAndLogin();
        TQorMsg msg;
        ASSERT_TRUE(s.pop.RetrieveMessage(1, false, msg));
        ASSERT_EQ(msg.Text.Count(), 2);
        EXPECT_EQ(msg.Text[0], big);
        EXPECT_EQ(msg.Text[1], "end");
        s.pop.Disconnect();
    }
    {
        // As a reply's first line: refused, not waited for without end.
        Session s(pop3({"+OK\r\n", "+OK " + big + "\r\n"}));
        s.pop.Connect();
        EXPECT_EQ(messageOf([&] { s.pop.Login(); }), "Reply line too long");
        EXPECT_FALSE(s.pop.Connected);
        EXPECT_EQ(s.events.back(), "error 10040 Reply line too long");
    }
}

TEST(QorPopRetrieve, AnAbortStopsTheRetrievalAndLeavesNoFile)
{
    std::atomic<int>* receives = nullptr;
    Session s([&](scripted::Peer& peer) {
        greetAndLogin(peer);
        answer(peer, "+OK 1 50\r\n");
        answer(peer, "+OK 0\r\n");
        answer(peer, "+OK 1 50\r\n");
        answer(peer, "+OK\r\nSubject: A\r\n\r\n");
        awaitReceives(*receives, 7);
        peer.send("more text\r\n");
        peer.readToEnd();
    });
    receives = &s.receives;
    s.pop.OnRetrieveProgress = [&](QObject*, unsigned short) { s.pop.Aborted = true; };
    s.connectAndLogin();
    s.pop.GetStat();
    TQorMsgList list;
    EXPECT_EQ(s.pop.RetrieveAll(list), 0);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(s.pop.Connected);
    EXPECT_TRUE(tempFiles().isEmpty());
    s.pop.Disconnect();
}

// ---- a real server --------------------------------------------------------------

namespace {

std::string mail(const std::string& from, const std::string& subject, const std::string& body)
{
    return "From: " + from + "\r\nTo: me@example.org\r\nSubject: " + subject +
           "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n" + body + "\r\n";
}

}  // namespace

TEST(QorPopDovecot, TwelveMessagesOfWhichThreeAreNew)
{
    testenv::Pop3Server server;
    for (int i = 1; i <= 12; ++i)
        server.addMessage(mail("sender" + std::to_string(i) + "@example.org", "Message " + std::to_string(i),
                               "Text of " + std::to_string(i) + "\r\n..dotted"),
                          i <= 9);
    // The newest subject is in UTF-8 words.
    server.addMessage(mail("=?UTF-8?B?0JjQstCw0L0=?= <ivan@example.ru>", "=?UTF-8?B?0J/RgNC40LLQtdGC?=", "x"), false);
    if (!server.start()) GTEST_SKIP() << server.error();

    TQorPOP pop;
    pop.Host = server.address();
    pop.Port = std::to_string(server.port());
    pop.UserId = server.user();
    pop.UserPasswd = server.password();
    pop.GetUIDLsOnRetrieve = true;
    pop.Connect();
    ASSERT_FALSE(pop.ErrorFlag) << server.log();
    ASSERT_TRUE(pop.Login()) << server.log();
    pop.GetStat();
    EXPECT_EQ(pop.MessageCount, 13);
    EXPECT_EQ(pop.NewMessageCount, 4);
    EXPECT_TRUE(pop.LastSupported);
    TQorMsgList list;
    EXPECT_EQ(pop.RetrieveAll(list), 13);
    pop.Disconnect();
    ASSERT_EQ(list.Count(), 13);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(list.GetItem(i)->Subject, "Message " + std::to_string(i + 1));
        EXPECT_EQ(list.GetItem(i)->Text.Text(), "Text of " + std::to_string(i + 1) + "\r\n..dotted\r\n");
        EXPECT_GT(list.GetItem(i)->Size, 100);
        EXPECT_FALSE(list.GetItem(i)->UIDL.empty());
    }
    EXPECT_EQ(list.GetItem(12)->Subject, cp("Привет"));
    EXPECT_EQ(list.GetItem(12)->From, cp("Иван <ivan@example.ru>"));

    // Everything was read: the next look finds nothing new.
    pop.Connect();
    ASSERT_TRUE(pop.Login());
    pop.GetStat();
    EXPECT_EQ(pop.MessageCount, 13);
    EXPECT_EQ(pop.NewMessageCount, 0);
    pop.Disconnect();
}

TEST(QorPopDovecot, AWrongPasswordIsRefused)
{
    testenv::Pop3Server server;
    if (!server.start()) GTEST_SKIP() << server.error();
    TQorPOP pop;
    std::vector<int> codes;
    pop.OnError = [&](QObject*, int code, const AnsiString&) { codes.push_back(code); };
    pop.Host = server.address();
    pop.Port = std::to_string(server.port());
    pop.UserId = server.user();
    pop.UserPasswd = "wrong";
    pop.Connect();
    ASSERT_FALSE(pop.ErrorFlag) << server.log();
    EXPECT_FALSE(pop.Login());
    EXPECT_EQ(codes, std::vector<int>{QorPopErrLogin});
    EXPECT_NE(pop.ReplyText.find("Authentication failed"), std::string::npos) << pop.ReplyText;
    EXPECT_FALSE(pop.Connected);
}
