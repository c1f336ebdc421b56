// The socket component against loopback servers: connecting (addresses,
// names, refusals, time-outs, cancelling), line reads, sends, error texts.
#include "netcomp/fxsock.h"
#include "platform/app.h"
#include "tests/support/scripted_server.h"

#include <QCoreApplication>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Runs fn from the event loop as soon as the loop runs, that is from inside
// the next wait of the component.
void soon(std::function<void()> fn) { QTimer::singleShot(0, QCoreApplication::instance(), std::move(fn)); }

using scripted::messageOf;

// A server that takes the connection and reads until the client closes.
scripted::Server silentServer()
{
    return scripted::Server([](scripted::Peer& p) { p.readToEnd(); });
}

// Puts the system resolver back at the end of a test.
struct ResolverGuard {
    ~ResolverGuard() { sockets::setResolver({}); }
};

// A listening socket whose accept queue is full: a further connection
// attempt stays unanswered.
struct FullBacklog {
    int listenFd = -1;
    std::vector<int> fillers;
    uint16_t port = 0;

    FullBacklog()
    {
        listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listenFd, 0);
        ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        for (int i = 0; i < 2; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
            fillers.push_back(fd);
        }
    }
    ~FullBacklog()
    {
        for (int fd : fillers) ::close(fd);
        ::close(listenFd);
    }
};

}  // namespace

TEST(FxSockWords, NthWordTable)
{
    struct Case {
        const char* text;
        char delimiter;
        int n;
        const char* result;
    } cases[] = {
        {"a<b>c", '<', 2, "b>c"},  {"a<b>c", '<', 1, "a"},      {"a,,c", ',', 2, ""},
        {"a,,c", ',', 3, "c"},     {"a,b", ',', 3, ""},          {"", ',', 1, ""},
        {"abc", ',', 1, "abc"},    {"x:y:z", ':', 2, "y"},       {",lead", ',', 1, ""},
        {"trail,", ',', 2, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NthWord(c.text, c.delimiter, c.n), c.result) << c.text << " " << c.n;
}

TEST(FxSockErrors, ErrorTextTable)
{
    TFxSock sock;
    struct Case {
        int code;
        const char* text;
    } cases[] = {
        {10061, "10061:Connection refused"},
        {10060, "10060:Connection timed out"},
        {10054, "10054:Connection reset by peer"},
        {11001, "11001:Host not found"},
        {11004, "11004:Valid name, no data record of requested type"},
        {10004, "10004:Interrupted system call"},
        {12345, "Unknown Error No. 12345"},
        {0, ""},
    };
    for (const Case& c : cases) {
        AnsiString text = "old";
        sock.ErrorText(c.code, text);
        EXPECT_EQ(text, c.text) << c.code;
    }
}

TEST(FxSockErrors, ErrnoMapIsExplicit)
{
    struct Case {
        int err;
        int code;
    } cases[] = {
        {EINPROGRESS, 10035}, {EAGAIN, 10035},       {ECONNREFUSED, 10061}, {ECONNRESET, 10054},
        {EPIPE, 10054},       {ENOTCONN, 10057},     {ETIMEDOUT, 10060},    {EHOSTUNREACH, 10065},
        {EADDRINUSE, 10048},  {EBADF, 10009},        {0, 0},                {ENOENT, sockets::WSASYSCALLFAILURE},
    };
    for (const Case& c : cases) EXPECT_EQ(sockets::errnoToWinsock(c.err), c.code) << c.err;
}

TEST(FxSockErrors, NegativeTimeOutRefused)
{
    TFxSock sock;
    EXPECT_EQ(messageOf([&] { sock.SetTimeOut(-1); }), "TimeOut must not be negative");
    EXPECT_EQ(sock.TimeOut(), 0);
    sock.SetTimeOut(180000);
    EXPECT_EQ(sock.TimeOut(), 180000);
}

TEST(FxSockConnect, DottedAddressWithoutLookup)
{
    auto server = silentServer();
    TFxSock sock;
    int resolved = 0, connected = 0, disconnected = 0;
    sock.OnHostResolved = [&](TFxSock*) { ++resolved; };
    sock.OnConnect = [&](TFxSock*) { ++connected; };
    sock.OnDisconnect = [&](TFxSock*) { ++disconnected; };
    sock.Host = "127.0.0.1";
    sock.Port = server.port();
    sock.Connect();
    EXPECT_TRUE(sock.Connected());
    EXPECT_EQ(resolved, 0);
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), "Already connected");
    sock.Disconnect();
    EXPECT_FALSE(sock.Connected());
    EXPECT_EQ(disconnected, 1);
}

TEST(FxSockConnect, LocalhostIsLookedUp)
{
    auto server = silentServer();
    TFxSock sock;
    int resolved = 0;
    sock.OnHostResolved = [&](TFxSock*) { ++resolved; };
    sock.Host = "localhost";
    sock.Port = server.port();
    sock.Connect();
    EXPECT_TRUE(sock.Connected());
    EXPECT_EQ(resolved, 1);
}

TEST(FxSockConnect, ClosedPortFailsThenNextConnectSucceeds)
{
    TFxSock sock;
    int failed = 0, disconnected = 0;
    sock.OnConnectionFailed = [&](TFxSock*) { ++failed; };
    sock.OnDisconnect = [&](TFxSock*) { ++disconnected; };
    sock.Host = "127.0.0.1";
    sock.Port = scripted::closedPort();
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), "Connection Failed");
    EXPECT_EQ(failed, 1);
    EXPECT_FALSE(sock.Connected());

    auto server = silentServer();
    sock.Port = server.port();
    sock.Connect();
    EXPECT_TRUE(sock.Connected());
    EXPECT_EQ(disconnected, 0);
}

TEST(FxSockConnect, FailedLookupAsksInvalidHostOnce)
{
    ResolverGuard restore;
    std::atomic<int> lookups{0};
    sockets::setResolver([&](const std::string& name, uint32_t&) {
        ++lookups;
        EXPECT_EQ(name, "mail.example");
        return int(sockets::WSAHOST_NOT_FOUND);
    });
    auto server = silentServer();
    TFxSock sock;
    sock.Port = server.port();

    sock.Host = "mail.example";
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), "Null Remote Address");  // no handler
    EXPECT_EQ(lookups, 1);

    int asked = 0;
    sock.OnInvalidHost = [&](bool& handled) {
        ++asked;
        handled = true;  // but the host stays wrong
    };
    lookups = 0;
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), "Null Remote Address");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(lookups, 2);

    asked = 0;
    sock.OnInvalidHost = [&](bool& handled) {
        ++asked;
        sock.Host = "127.0.0.1";
        handled = true;
    };
    sock.Connect();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(sock.Connected());
}

TEST(FxSockConnect, LookupTimesOut)
{
    ResolverGuard restore;
    auto gate = std::make_shared<std::pair<std::mutex, std::condition_variable>>();
    auto open = std::make_shared<bool>(false);
    sockets::setResolver([gate, open](const std::string&, uint32_t& a) {
        std::unique_lock lock(gate->first);
        gate->second.wait(lock, [&] { return *open; });
        a = htonl(INADDR_LOOPBACK);
        return 0;
    });
    TFxSock sock;
    sock.Host = "slow.example";
    sock.Port = 25;
    sock.SetTimeOut(100);
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), "Host Lookup Timed Out");
    EXPECT_TRUE(sock.TimedOut());
    {
        std::lock_guard lock(gate->first);
        *open = true;
    }
    gate->second.notify_all();
}

TEST(FxSockConnect, AbortDuringLookupDropsTheLateReply)
{
    ResolverGuard restore;
    struct Shared {
        std::mutex m;
        std::condition_variable cv;
        bool open = false;
        bool slowReturned = false;
    };
    auto shared = std::make_shared<Shared>();
    sockets::setResolver([shared](const std::string& name, uint32_t& a) {
        std::unique_lock lock(shared->m);
        if (name == "slow.example") {
            shared->cv.wait(lock, [&] { return shared->open; });
            a = inet_addr("127.0.0.3");  // nobody listens there on the port below
            shared->slowReturned = true;
            shared->cv.notify_all();
            return 0;
        }
        shared->cv.wait(lock, [&] { return shared->slowReturned; });
        lock.unlock();
        // Let the late reply of the first look-up arrive before this one.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        a = htonl(INADDR_LOOPBACK);
        return 0;
    });

    auto server = silentServer();
    TFxSock sock;
    sock.Port = server.port();
    sock.Host = "slow.example";
    soon([&] { sock.Abort(); });
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), "Host Lookup Canceled");
    EXPECT_TRUE(sock.Canceled());

    {
        std::lock_guard lock(shared->m);
        shared->open = true;
    }
    shared->cv.notify_all();
    sock.Host = "fast.example";
    sock.Connect();
    EXPECT_TRUE(sock.Connected());
}

TEST(FxSockConnect, UnansweredConnectTimesOutThenNextConnectSucceeds)
{
    FullBacklog backlog;
    TFxSock sock;
    int failed = 0, disconnected = 0;
    sock.OnConnectionFailed = [&](TFxSock*) { ++failed; };
    sock.OnDisconnect = [&](TFxSock*) { ++disconnected; };
    sock.Host = "127.0.0.1";
    sock.Port = backlog.port;
    sock.SetTimeOut(200);
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), "Connection Timed out");
    EXPECT_TRUE(sock.TimedOut());
    EXPECT_EQ(failed, 1);

    auto server = silentServer();
    sock.Port = server.port();
    sock.Connect();
    EXPECT_TRUE(sock.Connected());
    EXPECT_EQ(disconnected, 0);
}

TEST(FxSockConnect, AbortDuringConnectWaitThenNextConnectSucceeds)
{
    FullBacklog backlog;
    TFxSock sock;
    sock.Host = "127.0.0.1";
    sock.Port = backlog.port;
    soon([&] { sock.Abort(); });
    EXPECT_EQ(messageOf([&] { sock.Connect(); }), "Connection Canceled");
    EXPECT_TRUE(sock.Canceled());

    auto server = silentServer();
    sock.Port = server.port();
    sock.Connect();
    EXPECT_TRUE(sock.Connected());
    EXPECT_FALSE(sock.Canceled());
}

TEST(FxSockRead, AbortDuringReadThenReconnect)
{
    auto first = silentServer();
    TFxSock sock;
    sock.Host = "127.0.0.1";
    sock.Port = first.port();
    sock.Connect();
    soon([&] { sock.Abort(); });
    AnsiString line;
    try {
        sock.ReadLn(line);
        FAIL() << "no exception";
    } catch (const EAbortError& e) {
        EXPECT_EQ(e.message(), "Socket readln aborted");
    }
    EXPECT_FALSE(sock.Canceled());
    sock.Disconnect();

    auto second = silentServer();
    sock.Port = second.port();
    sock.Connect();
    EXPECT_TRUE(sock.Connected());
}

TEST(FxSockRead, TimeOutEndsRead)
{
    auto server = silentServer();
    TFxSock sock;
    sock.Host = "127.0.0.1";
    sock.Port = server.port();
    sock.SetTimeOut(100);
    sock.Connect();
    AnsiString line;
    EXPECT_EQ(messageOf([&] { sock.ReadLn(line); }), "Socket readln aborted");
    EXPECT_TRUE(sock.TimedOut());
}

TEST(FxSockRead, LinesInPiecesAndTogether)
{
    std::mutex m;
    std::condition_variable cv;
    int step = 0;
    const auto waitStep = [&](int s) {
        std::unique_lock lock(m);
        cv.wait_for(lock, std::chrono::seconds(20), [&] { return step >= s; });
    };
    scripted::Server server([&](scripted::Peer& p) {
        p.send("250-fir");
        waitStep(1);
        p.send("st\r\n250 second\r\n");
        p.send("no line end");
        p.close();
    });
    TFxSock sock;
    sock.Host = "127.0.0.1";
    sock.Port = server.port();
    sock.Connect();
    soon([&] {
        std::lock_guard lock(m);
        step = 1;
        cv.notify_all();
    });
    AnsiString line;
    sock.ReadLn(line);
    EXPECT_EQ(line, "250-first\r\n");
    sock.ReadLn(line);
    EXPECT_EQ(line, "250 second\r\n");
    EXPECT_TRUE(sock.Connected());  // data still waited when the server closed
    sock.ReadLn(line);  // the rest had no line end: the end of the connection
    EXPECT_EQ(line, "");
}

TEST(FxSockRead, OverlongLineRaises)
{
    scripted::Server server([](scripted::Peer& p) {
        p.send(std::string(70000, 'x') + "\r\n");
        p.readToEnd();
    });
    TFxSock sock;
    sock.Host = "127.0.0.1";
    sock.Port = server.port();
    sock.Connect();
    AnsiString line;
    EXPECT_EQ(messageOf([&] { sock.ReadLn(line); }), "Reply line too long");
}

TEST(FxSockTransaction, ReplyNumbersAndStatus)
{
    scripted::Server server(scripted::smtp("", {"250-more", "no digits", "99999 big", "65786 wraps", "<close>"}));
    TFxSock sock;
    std::vector<AnsiString> statuses;
    sock.ReportLevel = 1;
    sock.OnStatus = [&](TFxSock*, const AnsiString& s) { statuses.push_back(s); };
    sock.Host = "127.0.0.1";
    sock.Port = server.port();
    sock.Connect();
    AnsiString greeting;
    sock.ReadLn(greeting);  // the empty first line
    struct Case {
        const char* command;
        const char* reply;
        int number;
    } cases[] = {
        {"A", "250-more\r\n", 250}, {"B", "no digits\r\n", 0}, {"C", "99999 big\r\n", 32767},
        {"D", "65786 wraps\r\n", 32767}, {"E", "", 0},
    };
    for (const Case& c : cases) {
        statuses.clear();
        AnsiString reply = "x";
        sock.Transaction(c.command, reply);
        EXPECT_EQ(reply, c.reply) << c.command;
        EXPECT_EQ(sock.LastReply(), c.reply);
        EXPECT_EQ(sock.ReplyNumber(), c.number) << c.command;
        if (*c.reply)
            EXPECT_EQ(statuses, std::vector<AnsiString>{c.reply});
        else
            EXPECT_TRUE(statuses.empty());
    }
    sock.Disconnect();
    EXPECT_EQ(server.received(), "A\r\nB\r\nC\r\nD\r\nE\r\n");
}

// Takes n bytes, then answers "ok", so the client knows they all arrived.
scripted::Server takingServer(size_t n)
{
    return scripted::Server([n](scripted::Peer& p) {
        p.readBytes(n);
        p.send("ok\r\n");
        p.readToEnd();
    });
}

TEST(FxSockSend, TextWithNulGoesWhole)
{
    auto server = takingServer(70005);
    TFxSock sock;
    sock.Host = "127.0.0.1";
    sock.Port = server.port();
    sock.Connect();
    sock.Writeln(std::string("a\0b", 3));
    sock.Write(std::string(70000, 'y'));
    AnsiString line;
    sock.ReadLn(line);
    EXPECT_EQ(line, "ok\r\n");
    sock.Disconnect();
    EXPECT_EQ(server.received(), std::string("a\0b\r\n", 5) + std::string(70000, 'y'));
}

TEST(FxSockSend, WriteToResetPeerRaises)
{
    std::mutex m;
    std::condition_variable cv;
    bool resetDone = false;
    scripted::Server server([&](scripted::Peer& p) {
        p.readLine();
        p.reset();
        std::lock_guard lock(m);
        resetDone = true;
        cv.notify_all();
    });
    TFxSock sock;
    sock.Host = "127.0.0.1";
    sock.Port = server.port();
    sock.Connect();
    sock.Writeln("GO");
    {
        std::unique_lock lock(m);
        cv.wait_for(lock, std::chrono::seconds(20), [&] { return resetDone; });
    }
    std::string message;
    for (int i = 0; i < 50 && message.empty(); ++i) {  // the reset may take a moment to arrive
        try {
            sock.Writeln("HELLO");
        } catch (const ESockError& e) {
            message = e.message();
        }
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(message, "10054:Connection reset by peer");
}

TEST(FxSockSend, StreamInChunks)
{
    auto server = takingServer(300000);
    TFxSock sock;
    sock.Host = "127.0.0.1";
    sock.Port = server.port();
    sock.Connect();
    TMemoryStream data;
    std::string bytes(300000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    data.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
    sock.SendStream(data);
    EXPECT_EQ(sock.BytesSent(), 300000);
    EXPECT_EQ(sock.BytesTotal(), 300000);
    AnsiString line;
    sock.ReadLn(line);
    EXPECT_EQ(line, "ok\r\n");
    sock.Disconnect();
    EXPECT_EQ(server.received(), bytes);
}

TEST(FxSockSend, AbortEndsStream)
{
    scripted::Server server([](scripted::Peer& p) { p.readLine(); });  // reads little, then closes
    class Sock : public TFxSock {
    public:
        using TFxSock::OnPacketSent;
    } sock;
    sock.Host = "127.0.0.1";
    sock.Port = server.port();
    sock.Connect();
    int packets = 0;
    sock.OnPacketSent = [&](TFxSock* s) {
        ++packets;
        s->Abort();
    };
    TMemoryStream data;
    const std::string bytes(8 << 20, 'z');  // more than the socket buffers hold
    data.WriteBuffer(bytes.data(), static_cast<int>(bytes.size()));
    EXPECT_EQ(messageOf([&] { sock.SendStream(data); }), "Socket send aborted");
    EXPECT_EQ(packets, 1);
    EXPECT_LT(sock.BytesSent(), sock.BytesTotal());
}

TEST(FxSockLife, FirstInstanceDescribesTheLibrary)
{
    ASSERT_FALSE(sockets::isStarted());  // no instance lives between tests
    {
        TFxSock first;
        TFxSock second;
        EXPECT_TRUE(sockets::isStarted());
        ASSERT_EQ(first.WinsockInfo().Count(), 6);
        EXPECT_EQ(first.WinsockInfo()[0], "Version= 1.1");
        EXPECT_EQ(first.WinsockInfo()[5], "Max Udp pack size= 65507");
        EXPECT_EQ(second.WinsockInfo().Count(), 0);
    }
    EXPECT_FALSE(sockets::isStarted());
}

TEST(FxSockLife, AcceptEndsOnAbort)
{
    TFxSock sock;
    soon([&] { sock.Abort(); });
    EXPECT_EQ(messageOf([&] { sock.Accept(); }), "Accepting Canceled");
    EXPECT_TRUE(sock.Canceled());  // stays set, as after the other waits
}

TEST(FxSockLife, TimerHandlerExceptionGoesToTheApplication)
{
    std::vector<AnsiString> reported;
    app::setExceptionHandler([&](const AnsiString& m) { reported.push_back(m); });
    TThreadTimer timer;
    timer.SetInterval(1);
    int ticks = 0;
    timer.SetOnTimer([&](TThreadTimer* t) {
        ++ticks;
        t->SetEnabled(false);
        throw Exception("tick failed");
    });
    while (reported.empty()) sockets::waitForEvents();
    app::setExceptionHandler({});
    EXPECT_EQ(reported, std::vector<AnsiString>{"tick failed"});
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(timer.Enabled());
}
