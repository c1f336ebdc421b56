// The HTTP requests of the wininet stand-in against scripted servers on
// loopback: the request on the wire, the answer as read, and every way a
// request can fail, including a close from another thread while it blocks.

#include "platform/sockets.h"
#include "platform/wininet.h"
#include "tests/support/http_peer.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace wininet;
using scripted::Peer;
using httptest::ScriptedHttp;

namespace {

struct Handles {
    HINTERNET session, connect, request;
};

// Session, connection and request to the server; the receive time-out is
// set on the session when given.
Handles open(const ScriptedHttp& server, const std::string& path, const std::string& agent = "Agent/1",
             const std::string& verb = "GET", const std::string& referrer = {},
             const std::vector<std::string>& accept = {"*/*"}, const std::string& user = {})
{
    Handles h;
    h.session = InternetOpen(agent, INTERNET_OPEN_TYPE_PRECONFIG, 0);
    h.connect = h.session ? InternetConnect(h.session, server.address(), server.port(), user, "secret",
                                            INTERNET_SERVICE_HTTP, 0)
                          : nullptr;
    h.request = h.connect ? HttpOpenRequest(h.connect, verb, path, "HTTP/1.0", referrer, accept, INTERNET_FLAG_RELOAD)
                          : nullptr;
    return h;
}

std::string query(const HINTERNET& request, DWORD level)
{
    char buf[1024];
    DWORD len = sizeof buf;
    if (!HttpQueryInfo(request, level, buf, len)) return "<error " + std::to_string(GetLastError()) + ">";
    return std::string(buf, len);
}

// The whole body in blocks of Block bytes; "<error N>" appended on a failure.
std::string readAll(const HINTERNET& request, DWORD block = 1025)
{
    std::string out;
    std::vector<char> buf(block);
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request, buf.data(), block, got)) return out + "<error " + std::to_string(GetLastError()) + ">";
        if (got == 0) return out;
        out.append(buf.data(), got);
    }
}

// A resolver that blocks until released. The look-up thread holds the
// gate and may outlive the test that made it.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool started = false;
    bool released = false;

    static std::shared_ptr<Gate> install(int result)
    {
        auto gate = std::make_shared<Gate>();
        sockets::setResolver([gate, result](const std::string&, uint32_t& address) {
            std::unique_lock lock(gate->m);
            gate->started = true;
            gate->cv.notify_all();
            gate->cv.wait(lock, [&] { return gate->released; });
            address = sockets::inetAddr("127.0.0.1");
            return result;
        });
        return gate;
    }
    bool waitStarted()
    {
        std::unique_lock lock(m);
        return cv.wait_for(lock, std::chrono::milliseconds(httptest::kWait), [&] { return started; });
    }
    void release()
    {
        std::lock_guard lock(m);
        released = true;
        cv.notify_all();
    }
};

// Waits (generously) until the server has read a request.
bool waitForRequest(ScriptedHttp& server)
{
    QElapsedTimer t;
    t.start();
    while (server.heads().empty() && t.elapsed() < httptest::kWait) QThread::msleep(5);
    return !server.heads().empty();
}

}  // namespace

TEST(WinInet, RequestOnTheWire)
{
    struct Case {
        const char* name;
        std::string agent, verb, path, referrer;
        std::vector<std::string> accept;
        std::string user, headers, body;
        std::string expected;  // with <host> for the server's address and port
    };
    const Case cases[] = {
        {"plain GET", "Halcyra HttpFetch", "GET", "/pager/update/update.lst", "", {"*/*"}, "", "", "",
         "GET /pager/update/update.lst HTTP/1.0\r\nHost: <host>\r\nUser-Agent: Halcyra HttpFetch\r\n"
         "Accept: */*\r\n\r\n"},
        {"no agent, no accept types", "", "GET", "/x", "", {}, "", "", "", "GET /x HTTP/1.0\r\nHost: <host>\r\n\r\n"},
        {"referrer and two types", "A", "", "/x", "http://from.example/", {"text/html", "", "*/*"}, "", "", "",
         "GET /x HTTP/1.0\r\nHost: <host>\r\nUser-Agent: A\r\nAccept: text/html, */*\r\n"
         "Referer: http://from.example/\r\n\r\n"},
        {"POST with its type and length", "A", "POST", "/form", "", {"*/*"}, "",
         "Content-Type: application/x-www-form-urlencoded", "a=1&b=2",
         "POST /form HTTP/1.0\r\nHost: <host>\r\nUser-Agent: A\r\nAccept: */*\r\n"
         "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 7\r\n\r\na=1&b=2"},
        {"credentials", "A", "GET", "/x", "", {"*/*"}, "user", "", "",
         "GET /x HTTP/1.0\r\nHost: <host>\r\nUser-Agent: A\r\nAccept: */*\r\n"
         "Authorization: Basic dXNlcjpzZWNyZXQ=\r\n\r\n"},
        {"bytes a request line cannot hold", "A", "GET", "/a b\x01\xC0\xE9", "", {}, "", "", "",
         "GET /a%20b%01%C0%E9 HTTP/1.0\r\nHost: <host>\r\nUser-Agent: A\r\n\r\n"},
        {"empty path", "A", "GET", "", "", {}, "", "", "", "GET / HTTP/1.0\r\nHost: <host>\r\nUser-Agent: A\r\n\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string received;
        std::mutex m;
        ScriptedHttp server(
            [&](const std::string& h, Peer& conn) {
                {
                    std::lock_guard lock(m);
                    received = h;
                }
                conn.send(ScriptedHttp::reply(200, "ok"));
            },
            true);
        ASSERT_TRUE(server.running()) << server.reason();
        Handles h = open(server, c.path, c.agent, c.verb, c.referrer, c.accept, c.user);
        ASSERT_TRUE(h.request) << GetLastError();
        ASSERT_TRUE(HttpSendRequest(h.request, c.headers, c.body)) << GetLastError();
        EXPECT_EQ(readAll(h.request), "ok");
        std::string expected = c.expected;
        expected.replace(expected.find("<host>"), 6, "127.0.0.1:" + std::to_string(server.port()));
        std::lock_guard lock(m);
        EXPECT_EQ(received, expected);
    }
}

TEST(WinInet, AnswerIsReadAsTheServerAnnouncedIt)
{
    struct Case {
        const char* name;
        std::string answer;  // what the server sends before it stalls ("" for nothing more)
        bool closeAfter;     // the server closes instead of stalling
        int status;
        std::string length;  // the Content-Length text, or an error
        std::string body;
        DWORD block;
    };
    const std::string big(3000, 'x');
    // Larger than a receive takes at once, in bytes that show a block out of place.
    const std::string large = testenv::scrambledBytes(200000);
    const Case cases[] = {
        {"large announced body, read in blocks", "HTTP/1.0 200 OK\r\nContent-Length: 200000\r\n\r\n" + large, false, 200,
         "200000", large, 1025},
        {"large body beyond which more is sent", "HTTP/1.0 200 OK\r\nContent-Length: 150000\r\n\r\n" + large, false,
         200, "150000", large.substr(0, 150000), 1025},
        {"large body to the close, in reads larger than a receive",
         "HTTP/1.0 200 OK\r\n\r\n" + large, true, 200, "<error 12150>", large, 100000},
        {"announced length, then the server keeps the connection", "HTTP/1.0 200 OK\r\ncontent-LENGTH: 5\r\n\r\nhello",
         false, 200, "5", "hello", 1025},
        {"no length: to the close", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\n" + big, true, 200,
         "<error 12150>", big, 1025},
        {"body beyond the announced length is not read", "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabcdef", false,
         200, "3", "abc", 2},
        {"LF line ends and a folded header", "HTTP/1.1 404 Not Found\nX-A: 1\n  2\nContent-Length:  4 \n\nnope",
         false, 404, "4", "nope", 1},
        {"short body: the end comes early", "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(600, 'y'),
         true, 200, "1000", std::string(600, 'y'), 1025},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttp server(
            [&](const std::string&, Peer& conn) {
                conn.send(c.answer);
                if (!c.closeAfter) conn.stall();
            },
            true);
        ASSERT_TRUE(server.running()) << server.reason();
        Handles h = open(server, "/f");
        // A read that waited for more than the announced body would fail here.
        ASSERT_TRUE(InternetSetOption(h.request, INTERNET_OPTION_RECEIVE_TIMEOUT, httptest::kWait));
        ASSERT_TRUE(HttpSendRequest(h.request, "", "")) << GetLastError();
        EXPECT_EQ(query(h.request, HTTP_QUERY_STATUS_CODE), std::to_string(c.status));
        EXPECT_EQ(query(h.request, HTTP_QUERY_CONTENT_LENGTH), c.length);
        EXPECT_EQ(readAll(h.request, c.block), c.body);
        InternetCloseHandle(h.request);
    }
}

TEST(WinInet, QueryAnswersLikeTheHost)
{
    ScriptedHttp server([](const std::string&, Peer& conn) {
        conn.send("HTTP/1.0 200 Fine Thanks\r\nContent-Length: 2\r\n\r\nok");
    }, true);
    ASSERT_TRUE(server.running()) << server.reason();
    Handles h = open(server, "/");
    char buf[64];
    DWORD len = sizeof buf;
    // Not sent yet: nothing to query or read.
    EXPECT_FALSE(HttpQueryInfo(h.request, HTTP_QUERY_STATUS_CODE, buf, len));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    ASSERT_TRUE(HttpSendRequest(h.request, "", ""));
    EXPECT_FALSE(HttpSendRequest(h.request, "", "")) << "a request goes once";
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    EXPECT_EQ(query(h.request, HTTP_QUERY_STATUS_TEXT), "Fine Thanks");
    EXPECT_EQ(query(h.request, HTTP_QUERY_RAW_HEADERS_CRLF), "HTTP/1.0 200 Fine Thanks\r\nContent-Length: 2\r\n\r\n");
    len = 2;
    EXPECT_FALSE(HttpQueryInfo(h.request, HTTP_QUERY_STATUS_CODE, buf, len));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(len, 4u);
    // Handles of the wrong kind, and closed ones.
    EXPECT_FALSE(HttpSendRequest(h.connect, "", ""));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    EXPECT_TRUE(InternetCloseHandle(h.request));
    EXPECT_FALSE(InternetCloseHandle(h.request));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    DWORD got = 0;
    EXPECT_FALSE(InternetReadFile(h.request, buf, sizeof buf, got));
}

TEST(WinInet, TextsThatWouldBreakAHeaderLineAreRefused)
{
    EXPECT_FALSE(InternetOpen("A\r\nX-Injected: 1", 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    HINTERNET s = InternetOpen("A", 0, 0);
    ASSERT_TRUE(s);
    EXPECT_FALSE(InternetConnect(s, "host\r\nX: 1", 80, "", "", INTERNET_SERVICE_HTTP, 0));
    EXPECT_FALSE(InternetConnect(s, "", 80, "", "", INTERNET_SERVICE_HTTP, 0));
    HINTERNET c = InternetConnect(s, "127.0.0.1", 80, "", "", INTERNET_SERVICE_HTTP, 0);
    ASSERT_TRUE(c);
    EXPECT_FALSE(HttpOpenRequest(c, "GET", "/", "HTTP/1.0", "http://a/\nX: 1", {}, 0));
    EXPECT_FALSE(HttpOpenRequest(c, "GET", "/", "HTTP/1.0", "", {"*/*\r\nX: 1"}, 0));
    EXPECT_FALSE(HttpOpenRequest(c, "GET", "/", "HTTP/1.1", "", {}, 0)) << "only HTTP/1.0 is spoken";
    EXPECT_FALSE(HttpOpenRequest(c, "DELETE", "/", "", "", {}, 0));
}

TEST(WinInet, FailuresOfTheRequest)
{
    struct Case {
        const char* name;
        std::function<void(Peer&)> script;  // empty: nobody listens
        std::string host;                         // empty: the server's address
        DWORD sendError;                          // 0: the send succeeds
        DWORD readError;                          // then reading fails so
    };
    const Case cases[] = {
        {"nobody listens", nullptr, "", ERROR_INTERNET_CANNOT_CONNECT, 0},
        {"a reserved name is never looked up", [](Peer&) {}, "update.kestrane.example",
         ERROR_INTERNET_NAME_NOT_RESOLVED, 0},
        {"a name that does not resolve", [](Peer&) {}, "nowhere.host", ERROR_INTERNET_NAME_NOT_RESOLVED, 0},
        {"no status line", [](Peer& c) { c.send("hello there\r\n\r\n"); }, "",
         ERROR_HTTP_INVALID_SERVER_RESPONSE, 0},
        {"closed before the header's end", [](Peer& c) { c.send("HTTP/1.0 200 OK\r\nContent-"); }, "",
         ERROR_HTTP_INVALID_SERVER_RESPONSE, 0},
        {"a header that never ends", [](Peer& c) { c.send(std::string(70000, 'h')); c.stall(); }, "",
         ERROR_HTTP_INVALID_SERVER_RESPONSE, 0},
        {"a body framed by chunks",
         [](Peer& c) { c.send("HTTP/1.0 200 OK\r\nContent-Length: 13\r\nTransfer-Encoding: gzip, chunked\r\n\r\n"
                              "3\r\nabc\r\n0\r\n\r\n"); },
         "", ERROR_HTTP_INVALID_SERVER_RESPONSE, 0},
        {"silent server", [](Peer& c) { c.stall(); }, "", ERROR_INTERNET_TIMEOUT, 0},
        {"stall in the body", [](Peer& c) { c.send("HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nabc"); c.stall(); },
         "", 0, ERROR_INTERNET_TIMEOUT},
        {"reset in the body",
         [](Peer& c) {
             c.send("HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nabc");
             QThread::msleep(50);
             c.reset();
         },
         "", 0, ERROR_INTERNET_CONNECTION_RESET},
    };
    std::atomic<int> lookups{0};
    sockets::setResolver([&](const std::string& name, uint32_t& address) {
        ++lookups;
        if (name != "nowhere.host") address = sockets::inetAddr("127.0.0.1");
        return name == "nowhere.host" ? sockets::WSAHOST_NOT_FOUND : 0;
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lookups = 0;
        std::unique_ptr<ScriptedHttp> server;
        std::string address = "127.0.0.1";
        uint16_t port = 0;
        if (c.script) {
            server = std::make_unique<ScriptedHttp>([&](const std::string&, Peer& conn) { c.script(conn); }, true);
            ASSERT_TRUE(server->running()) << server->reason();
            port = server->port();
        } else {
            ScriptedHttp gone([](const std::string&, Peer&) {}, true);
            port = gone.port();
        }
        HINTERNET s = InternetOpen("A", 0, 0);
        ASSERT_TRUE(InternetSetOption(s, INTERNET_OPTION_RECEIVE_TIMEOUT, 300));
        HINTERNET conn =
            InternetConnect(s, c.host.empty() ? address : c.host, port, "", "", INTERNET_SERVICE_HTTP, 0);
        HINTERNET req = HttpOpenRequest(conn, "GET", "/", "HTTP/1.0", "", {}, 0);
        ASSERT_TRUE(req);
        const bool sent = HttpSendRequest(req, "", "");
        EXPECT_EQ(sent ? 0u : GetLastError(), c.sendError);
        if (sent) {
            char buf[1025];
            DWORD got = 0;
            DWORD error = 0;
            while (InternetReadFile(req, buf, sizeof buf, got) && got > 0) {
            }
            error = GetLastError();
            EXPECT_EQ(error, c.readError);
        }
        if (c.host == "update.kestrane.example") {
            EXPECT_EQ(lookups.load(), 0);
        }
        if (c.host == "nowhere.host") {
            EXPECT_EQ(lookups.load(), 1);
        }
    }
    sockets::setResolver(nullptr);
}

TEST(WinInet, ACloseFromAnotherThreadEndsABlockedCallAtOnce)
{
    // Time-outs far beyond the test's own wait: only the close can end the calls.
    struct Case {
        const char* name;
        bool stallInLookUp;
        bool closeSession;  // the session handle instead of the request
    };
    const Case cases[] = {
        {"read blocked, request closed", false, false},
        {"read blocked, session closed", false, true},
        {"look-up blocked, request closed", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::shared_ptr<Gate> gate = Gate::install(0);
        ScriptedHttp server(
            [](const std::string&, Peer& conn) {
                conn.send("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nab");
                conn.stall();
            },
            true);
        ASSERT_TRUE(server.running()) << server.reason();
        HINTERNET s = InternetOpen("A", 0, 0);
        InternetSetOption(s, INTERNET_OPTION_CONNECT_TIMEOUT, 600000);
        InternetSetOption(s, INTERNET_OPTION_RECEIVE_TIMEOUT, 600000);
        HINTERNET conn = InternetConnect(s, c.stallInLookUp ? "slow.host" : "127.0.0.1", server.port(), "", "",
                                         INTERNET_SERVICE_HTTP, 0);
        HINTERNET req = HttpOpenRequest(conn, "GET", "/", "", "", {}, 0);
        ASSERT_TRUE(req);
        std::atomic<DWORD> error{0};
        std::atomic<bool> ended{false};
        std::thread worker([&] {
            char buf[1025];
            DWORD got = 0;
            bool ok = HttpSendRequest(req, "", "");
            while (ok && InternetReadFile(req, buf, sizeof buf, got) && got > 0) {
            }
            error = GetLastError();
            ended = true;
        });
        // The worker must be joined whatever happens: no ASSERT from here on.
        if (c.stallInLookUp) {
            EXPECT_TRUE(gate->waitStarted());
        } else {
            EXPECT_TRUE(waitForRequest(server));
            QThread::msleep(50);  // well into the blocked read
        }
        InternetCloseHandle(c.closeSession ? s : req);
        QElapsedTimer t;
        t.start();
        while (!ended && t.elapsed() < httptest::kWait) QThread::msleep(5);
        EXPECT_TRUE(ended.load()) << "the blocked call went on after the close";
        gate->release();
        worker.join();
        EXPECT_EQ(error.load(), ERROR_INTERNET_OPERATION_CANCELLED);
        sockets::setResolver(nullptr);
    }
}

TEST(WinInet, ASlowLookUpEndsWithTheConnectTimeOut)
{
    const std::shared_ptr<Gate> gate = Gate::install(sockets::WSAHOST_NOT_FOUND);
    HINTERNET s = InternetOpen("A", 0, 0);
    InternetSetOption(s, INTERNET_OPTION_CONNECT_TIMEOUT, 200);
    HINTERNET req = HttpOpenRequest(InternetConnect(s, "slow.host", 80, "", "", INTERNET_SERVICE_HTTP, 0), "GET",
                                    "/", "", "", {}, 0);
    EXPECT_FALSE(HttpSendRequest(req, "", ""));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    gate->release();
    sockets::setResolver(nullptr);
}

TEST(WinInet, DefaultTimeOutsReachSessionsOpenedLater)
{
    ScriptedHttp server([](const std::string&, Peer& c) { c.stall(); }, true);
    ASSERT_TRUE(server.running()) << server.reason();
    ASSERT_TRUE(InternetSetOption(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, 200));
    Handles h = open(server, "/");
    ASSERT_TRUE(InternetSetOption(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, DefaultReceiveTimeout));
    EXPECT_FALSE(HttpSendRequest(h.request, "", ""));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
}
