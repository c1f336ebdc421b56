// The HTTP downloader against the real python3 http.server and scripted
// servers, on port 80 of loopback addresses of their own (the downloader's
// addresses name no port).

#include "netcomp/httpfetch.h"

#include "platform/app.h"
#include "platform/exception.h"
#include "platform/wininet.h"
#include "tests/support/http_peer.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <QtCore/qtestsupport_core.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using scripted::Peer;
using httptest::FolderServer;
using httptest::ScriptedHttp;

namespace {

// What the component reported, in order.
struct Recorder {
    std::vector<std::string> events;
    std::vector<std::pair<int32_t, int32_t>> progress;
    void bind(THttpFetch& f)
    {
        f.OnProgress = [this, &f](THttpFetchThread* sender, int32_t total, int32_t readed) {
            events.push_back("progress");
            progress.emplace_back(total, readed);
            EXPECT_NE(static_cast<void*>(sender), static_cast<void*>(&f)) << "the worker is the Sender";
        };
        f.OnDoneFile = [this](THttpFetch*, const std::string& name, int32_t size) {
            events.push_back("done " + std::filesystem::path(name).filename().string() + " " + std::to_string(size));
        };
        f.OnError = [this](THttpFetch*) { events.push_back("error"); };
    }
    std::string last() const { return events.empty() ? std::string() : events.back(); }
    bool ended() const { return last() == "error" || last().starts_with("done"); }
};

// The files of a folder but the given ones: no temporary file may stay.
std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
    return s;
}

class HttpFetch : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int n = 0;
        folder = testenv::makeDir("httpfetch-" + std::to_string(++n));
        target = folder + "/operators.dat";
        testenv::writeFile(target, "old contents\r\n");
        fetch.FileName = target;
        fetch.WaitThread = true;
        rec.bind(fetch);
    }
    std::string folder;
    std::string target;
    THttpFetch fetch;
    Recorder rec;
};

#define REQUIRE_SERVER(s) \
    if (!(s).running()) GTEST_SKIP() << (s).reason()

}  // namespace

TEST(ParseUrl, TakesOnlyALeadingSchemeAndNeedsAHost)
{
    struct Case {
        const char* url;
        bool ok;
        const char* host;
        const char* path;
    };
    const Case cases[] = {
        {"http://www.kestrane.example/pager/update/update.lst", true, "www.kestrane.example", "/pager/update/update.lst"},
        {"www.kestrane.example/pager/update/update.lst", true, "www.kestrane.example", "/pager/update/update.lst"},
        {"HTTP://h/x", true, "h", "/x"},
        {"Http://h/", true, "h", "/"},
        {"h/get?u=http://other/x", true, "h", "/get?u=http://other/x"},
        {"ftp://h/x", true, "ftp:", "//h/x"},
        {"http://h", false, "", "h"},
        {"h", false, "", "h"},
        {"/x", false, "", "/x"},
        {"http:///x", false, "", "/x"},
        {"", false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        AnsiString host = "stale", path = "stale";
        EXPECT_EQ(ParseURL(c.url, host, path), c.ok);
        EXPECT_EQ(host, c.host);
        EXPECT_EQ(path, c.path);
    }
}

TEST_F(HttpFetch, FileFromARealServerArrivesWithProgressAfterEveryBlock)
{
    const std::string served = testenv::makeDir("served-" + std::to_string(::getpid()));
    testenv::writeFile(served + "/big.dat", pattern(3000));
    testenv::writeFile(served + "/empty.dat", "");
    FolderServer server(served);
    REQUIRE_SERVER(server);

    fetch.URL = server.url("/big.dat");
    fetch.GetFile();
    // GetFile with WaitThread returns once the end has been reported.
    EXPECT_EQ(rec.events, (std::vector<std::string>{"progress", "progress", "progress", "done operators.dat 3000"}));
    EXPECT_EQ(rec.progress, (std::vector<std::pair<int32_t, int32_t>>{{3000, 1025}, {3000, 2050}, {3000, 3000}}));
    EXPECT_EQ(testenv::readFile(target), pattern(3000));
    EXPECT_FALSE(fetch.Busy());
    EXPECT_TRUE(fetch.LastResult());

    // The same component again, without the scheme; an empty file is a file too.
    rec.events.clear();
    fetch.URL = server.address() + "/empty.dat";
    fetch.GetFile();
    EXPECT_EQ(rec.events, (std::vector<std::string>{"done operators.dat 0"}));
    EXPECT_EQ(testenv::readFile(target), "");

    // A page the server does not have is an error, never the file.
    testenv::writeFile(target, "old contents\r\n");
    rec.events.clear();
    fetch.URL = server.url("/missing.dat");
    fetch.GetFile();
    EXPECT_EQ(rec.events, (std::vector<std::string>{"error"}));
    EXPECT_EQ(testenv::readFile(target), "old contents\r\n");
    EXPECT_FALSE(fetch.LastResult());
    EXPECT_EQ(filesIn(folder), (std::vector<std::string>{"operators.dat"}));
    EXPECT_EQ(server.requests(3), (std::vector<std::string>{"GET /big.dat HTTP/1.0", "GET /empty.dat HTTP/1.0",
                                                            "GET /missing.dat HTTP/1.0"}));
}

TEST_F(HttpFetch, RequestHeadersOnTheWire)
{
    struct Case {
        const char* name;
        std::function<void(THttpFetch&)> set;
        std::string expected;  // <host> for the server's address
    };
    const Case cases[] = {
        {"defaults", [](THttpFetch&) {},
         "GET /pager/update/update.lst HTTP/1.0\r\nHost: <host>\r\nUser-Agent: Halcyra HttpFetch\r\n"
         "Accept: */*\r\n\r\n"},
        {"the update dialog's agent", [](THttpFetch& f) { f.Agent = "Orvanta Pager Update"; },
         "GET /pager/update/update.lst HTTP/1.0\r\nHost: <host>\r\nUser-Agent: Orvanta Pager Update\r\n"
         "Accept: */*\r\n\r\n"},
        {"no agent, a referrer", [](THttpFetch& f) {
             f.Agent = "";
             f.Referer = "http://www.kestrane.example/";
         },
         "GET /pager/update/update.lst HTTP/1.0\r\nHost: <host>\r\nAccept: */*\r\n"
         "Referer: http://www.kestrane.example/\r\n\r\n"},
        {"a form", [](THttpFetch& f) { f.PostQuery = "name=a%20b&x=1"; },
         "POST /pager/update/update.lst HTTP/1.0\r\nHost: <host>\r\nUser-Agent: Halcyra HttpFetch\r\n"
         "Accept: */*\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 14\r\n\r\n"
         "name=a%20b&x=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttp server([](const std::string&, Peer& conn) { conn.send(ScriptedHttp::reply(200, "x")); });
        REQUIRE_SERVER(server);
        THttpFetch f;
        f.WaitThread = true;
        f.FileName = target;
        c.set(f);
        f.URL = server.url("/pager/update/update.lst");
        f.GetFile();
        ASSERT_EQ(server.heads().size(), 1u);
        std::string expected = c.expected;
        expected.replace(expected.find("<host>"), 6, server.address());
        EXPECT_EQ(server.heads()[0], expected);
    }
}

TEST_F(HttpFetch, EveryIncompleteOrWrongAnswerLeavesTheOldFileWhole)
{
    struct Case {
        const char* name;
        std::string answer;
        bool binary;
        std::vector<std::string> events;
        std::string file;  // the target afterwards
    };
    const std::string k1000 = pattern(1000);
    // Larger than what the file takes before it writes out: part of it is on
    // disk when the answer turns out short.
    const std::string k200 = testenv::scrambledBytes(200000);
    const auto blocks = [](size_t bytes, const std::string& end) {
        std::vector<std::string> events((bytes + 1024) / 1025, "progress");
        events.push_back(end);
        return events;
    };
    const Case cases[] = {
        {"1000 announced, 1000 sent", ScriptedHttp::reply(200, k1000), true,
         {"progress", "done operators.dat 1000"}, k1000},
        {"200000 announced, 200000 sent", ScriptedHttp::reply(200, k200), true,
         blocks(200000, "done operators.dat 200000"), k200},
        {"200000 announced, closed at 150000",
         "HTTP/1.0 200 OK\r\nContent-Length: 200000\r\n\r\n" + k200.substr(0, 150000), true,
         blocks(150000, "error"), "old contents\r\n"},
        {"1000 announced, closed at 600", "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + k1000.substr(0, 600),
         true, {"progress", "error"}, "old contents\r\n"},
        {"a 404 page", ScriptedHttp::reply(404, "<html>Not Found</html>"), true, {"error"}, "old contents\r\n"},
        {"a redirect is not followed", ScriptedHttp::reply(302, "", "Location: http://elsewhere/\r\n"), true,
         {"error"}, "old contents\r\n"},
        {"binary data without a length", "HTTP/1.0 200 OK\r\n\r\n" + k1000, true, {"error"}, "old contents\r\n"},
        {"text without a length: to the close", "HTTP/1.0 200 OK\r\n\r\n" + k1000, false,
         {"progress", "done operators.dat 1000"}, k1000},
        {"a length that is not a number", "HTTP/1.0 200 OK\r\nContent-Length: 1e3\r\n\r\n" + k1000, true,
         {"error"}, "old contents\r\n"},
        {"no HTTP at all", "SSH-2.0-OpenSSH\r\n\r\n", true, {"error"}, "old contents\r\n"},
        {"chunked framing beside a length",
         "HTTP/1.0 200 OK\r\nContent-Length: 13\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", true,
         {"error"}, "old contents\r\n"},
        {"chunked framing, text", "HTTP/1.0 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", false,
         {"error"}, "old contents\r\n"},
        {"identity framing is the body itself", ScriptedHttp::reply(200, k1000, "Transfer-Encoding: identity\r\n"),
         true, {"progress", "done operators.dat 1000"}, k1000},
        {"a length above any file of ours",
         "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(HttpFetchMaxFileSize + 1) + "\r\n\r\n" + k1000,
         true, {"error"}, "old contents\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testenv::writeFile(target, "old contents\r\n");
        rec.events.clear();
        ScriptedHttp server([&](const std::string&, Peer& conn) { conn.send(c.answer); });
        REQUIRE_SERVER(server);
        fetch.BinaryData = c.binary;
        fetch.URL = server.url("/operators.dat");
        fetch.GetFile();
        EXPECT_EQ(rec.events, c.events);
        EXPECT_EQ(testenv::readFile(target), c.file);
        EXPECT_EQ(filesIn(folder), (std::vector<std::string>{"operators.dat"}));
    }
}

// A body without a length ends the download once it grows past the largest
// file taken: what was written of it goes, the old file stays.
TEST_F(HttpFetch, ABodyGrowingPastTheLargestFileIsRefused)
{
    fetch.OnProgress = nullptr;
    fetch.BinaryData = false;
    std::atomic<size_t> sent{0};
    ScriptedHttp server([&](const std::string&, Peer& conn) {
        if (!conn.send("HTTP/1.0 200 OK\r\n\r\n")) return;
        const std::string block(1 << 20, 'x');
        // Bounded: a little more than the limit, unless the client leaves first.
        for (int i = 0; i < HttpFetchMaxFileSize / (1 << 20) + 8 && conn.send(block); ++i) sent += block.size();
    });
    REQUIRE_SERVER(server);
    fetch.URL = server.url("/operators.dat");
    fetch.GetFile();
    EXPECT_EQ(rec.events, (std::vector<std::string>{"error"}));
    EXPECT_TRUE(testenv::readFile(target) == "old contents\r\n") << "the old file was replaced";
    EXPECT_EQ(filesIn(folder), (std::vector<std::string>{"operators.dat"}));
}

// A part file that a killed download left is removed by the next download
// into that folder; one that a running download holds, and files that only
// look alike, stay.
TEST_F(HttpFetch, APartFileLeftByAKilledRunIsRemovedByTheNext)
{
    testenv::writeFile(folder + "/.operators.dat.part-123456", std::string(5000, 'p'));
    testenv::writeFile(folder + "/.pagers.dat.part-42", "left");
    testenv::writeFile(folder + "/.notes.part-x", "mine");
    testenv::writeFile(folder + "/notes.part-1", "mine");
    // A download still writing: it holds its lock.
    testenv::writeFile(folder + "/.book.dat.part-7", "busy");
    const int busy = ::open((folder + "/.book.dat.part-7").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(busy, 0);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);

    ScriptedHttp server([&](const std::string&, Peer& conn) { conn.send(ScriptedHttp::reply(200, "[New]\r\n")); });
    REQUIRE_SERVER(server);
    fetch.URL = server.url("/user.dat");
    fetch.FileName = folder + "/user.dat";
    fetch.GetFile();
    ::close(busy);
    EXPECT_EQ(rec.last(), "done user.dat 7");
    EXPECT_EQ(filesIn(folder), (std::vector<std::string>{".book.dat.part-7", ".notes.part-x", "notes.part-1",
                                                         "operators.dat", "user.dat"}));
}

TEST_F(HttpFetch, UnreachableOrMissingHostIsAnErrorAndNoFileIsMade)
{
    std::filesystem::remove(target);
    std::string address, reason;
    const int fd = httptest::listenOnPort80(address, reason);
    if (fd < 0) GTEST_SKIP() << reason;
    ::close(fd);  // nobody listens there now
    for (const std::string& url : {"http://" + address + "/operators.dat", std::string("http://"),
                                  std::string("operators.dat"), std::string("http://www.kestrane.example/x")}) {
        SCOPED_TRACE(url);
        rec.events.clear();
        fetch.URL = url;
        fetch.GetFile();
        EXPECT_EQ(rec.events, (std::vector<std::string>{"error"}));
        EXPECT_FALSE(testenv::fileExists(target));
        EXPECT_TRUE(filesIn(folder).empty());
    }
}

TEST_F(HttpFetch, AStallEndsWithTheTimeOut)
{
    ScriptedHttp server([](const std::string&, Peer& conn) {
        conn.send("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nabc");
        conn.stall();
    });
    REQUIRE_SERVER(server);
    wininet::InternetSetOption(nullptr, wininet::INTERNET_OPTION_RECEIVE_TIMEOUT, 500);
    fetch.URL = server.url("/operators.dat");
    fetch.GetFile();
    wininet::InternetSetOption(nullptr, wininet::INTERNET_OPTION_RECEIVE_TIMEOUT, wininet::DefaultReceiveTimeout);
    EXPECT_EQ(rec.events, (std::vector<std::string>{"error"}));
    EXPECT_EQ(testenv::readFile(target), "old contents\r\n");
}

TEST_F(HttpFetch, AbortEndsABlockedDownloadAtOnce)
{
    // With a time-out of ten minutes, longer than any test may run, only
    // the abort can end the download.
    wininet::InternetSetOption(nullptr, wininet::INTERNET_OPTION_RECEIVE_TIMEOUT, 600000);
    ScriptedHttp server([](const std::string&, Peer& conn) {
        conn.send("HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n" + pattern(1025));
        conn.stall();
    });
    REQUIRE_SERVER(server);
    fetch.URL = server.url("/operators.dat");
    fetch.Abort();  // idle: nothing happens
    EXPECT_TRUE(rec.events.empty());
    // Stop as the user does: from an event handled while GetFile waits.
    fetch.OnProgress = [this](THttpFetchThread*, int32_t, int32_t) {
        rec.events.push_back("progress");
        fetch.Abort();
    };
    fetch.GetFile();
    wininet::InternetSetOption(nullptr, wininet::INTERNET_OPTION_RECEIVE_TIMEOUT, wininet::DefaultReceiveTimeout);
    EXPECT_EQ(rec.events, (std::vector<std::string>{"progress", "error"}));
    EXPECT_EQ(testenv::readFile(target), "old contents\r\n");
    EXPECT_EQ(filesIn(folder), (std::vector<std::string>{"operators.dat"}));
}

TEST_F(HttpFetch, OneDownloadAtATimeAndNoReportAfterTheComponentIsGone)
{
    std::atomic<int> connections{0};
    ScriptedHttp server([&](const std::string&, Peer& conn) {
        ++connections;
        conn.stall();
    });
    REQUIRE_SERVER(server);
    auto f = std::make_unique<THttpFetch>();
    bool reported = false;
    f->OnError = [&](THttpFetch*) { reported = true; };
    f->OnDoneFile = [&](THttpFetch*, const std::string&, int32_t) { reported = true; };
    f->FileName = target;
    f->URL = server.url("/operators.dat");
    f->GetFile();  // without WaitThread: returns at once
    EXPECT_TRUE(f->Busy());
    f->GetFile();  // ignored while one runs
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.heads().size() == 1; }, httptest::kWait));
    f.reset();  // stops the worker and waits for it
    QCoreApplication::processEvents();
    EXPECT_FALSE(reported);
    EXPECT_EQ(connections.load(), 1);
    EXPECT_EQ(testenv::readFile(target), "old contents\r\n");
}

TEST_F(HttpFetch, AHandlerThatThrowsIsReportedAndTheComponentGoesIdle)
{
    ScriptedHttp server([](const std::string&, Peer& conn) { conn.send(ScriptedHttp::reply(200, "new")); });
    REQUIRE_SERVER(server);
    std::vector<AnsiString> reports;
    app::setExceptionHandler([&](const AnsiString& m) { reports.push_back(m); });
    fetch.OnDoneFile = [](THttpFetch*, const std::string&, int32_t) { throw Exception("handler failed"); };
    fetch.URL = server.url("/operators.dat");
    fetch.GetFile();
    app::setExceptionHandler(nullptr);
    EXPECT_EQ(reports, (std::vector<AnsiString>{"handler failed"}));
    EXPECT_FALSE(fetch.Busy());
    EXPECT_EQ(testenv::readFile(target), "new");
}
