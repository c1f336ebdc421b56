#include "platform/winmsg.h"

#include "platform/app.h"
#include "platform/userdirs.h"
#include "tests/support/testenv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using winmsg::HWND;
using winmsg::Message;
using winmsg::Window;

namespace {

std::string endpointOf(HWND h)
{
    char name[16];
    std::snprintf(name, sizeof name, "/%08x", static_cast<unsigned>(h));
    return userdirs::runtimeDir() + "/wnd" + name;
}

// Handles events until pred holds; false after ms milliseconds.
template <class Pred>
bool waitFor(Pred pred, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct Recorder {
    std::vector<Message> got;
    void attach(Window& w)
    {
        w.onMessage = [this](const Message& m) { got.push_back(m); };
    }
};

}  // namespace

TEST(WinMsg, HandlesAreNonZeroInTheLow16BitsAndBoundUntilDestroyed)
{
    std::vector<HWND> handles;
    {
        std::vector<std::unique_ptr<Window>> windows;
        for (int i = 0; i < 20; ++i) {
            windows.push_back(std::make_unique<Window>());
            const HWND h = windows.back()->handle();
            EXPECT_NE(h & 0xFFFF, 0u);
            EXPECT_TRUE(testenv::fileExists(endpointOf(h)));
            EXPECT_TRUE(winmsg::isWindow(h));
            for (HWND other : handles) EXPECT_NE(h, other);
            handles.push_back(h);
        }
        struct stat st {};
        ASSERT_EQ(stat((userdirs::runtimeDir() + "/wnd").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    for (HWND h : handles) {
        EXPECT_FALSE(testenv::fileExists(endpointOf(h)));
        EXPECT_FALSE(winmsg::isWindow(h));
    }
}

TEST(WinMsg, TwoWindowsExchangeMessagesInOrder)
{
    Window a, b;
    Recorder toA;
    toA.attach(a);
    std::vector<Message> toB;
    b.onMessage = [&](const Message& m) {
        toB.push_back(m);
        winmsg::postMessage(a.handle(), m.msg + 100, m.wParam, -m.lParam);  // an answer
    };
    for (uint32_t i = 0; i < 8; ++i) {
        ASSERT_TRUE(winmsg::postMessage(b.handle(), 0x400 + i, i * 10, static_cast<int32_t>(i) - 4));
    }
    ASSERT_TRUE(waitFor([&] { return toA.got.size() == 8; }));

    for (uint32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(toB[i].hwnd, b.handle());
        EXPECT_EQ(toB[i].msg, 0x400 + i);
        EXPECT_EQ(toB[i].wParam, i * 10);
        EXPECT_EQ(toB[i].lParam, static_cast<int32_t>(i) - 4);
        EXPECT_EQ(toA.got[i].hwnd, a.handle());
        EXPECT_EQ(toA.got[i].msg, 0x400 + i + 100);
        EXPECT_EQ(toA.got[i].lParam, 4 - static_cast<int32_t>(i));
    }
}

TEST(WinMsg, PostingNeverBlocks)
{
    HWND gone = 0;
    {
        Window w;
        gone = w.handle();
    }
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(winmsg::postMessage(gone, 1, 2, 3));
    EXPECT_FALSE(winmsg::postMessage(0, 1, 2, 3));
    EXPECT_FALSE(winmsg::postMessage(0x12340000, 1, 2, 3));  // not a handle
    EXPECT_FALSE(winmsg::isWindow(gone));
    EXPECT_FALSE(winmsg::isWindow(0));

    // A window that does not read: posts past its queue are lost, not waited for.
    Window busy;
    Recorder r;
    r.attach(busy);
    int delivered = 0;
    for (uint32_t i = 0; i < 500; ++i) delivered += winmsg::postMessage(busy.handle(), i, 0, 0) ? 1 : 0;
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_GT(delivered, 0);

    ASSERT_TRUE(waitFor([&] { return static_cast<int>(r.got.size()) == delivered; }));
    for (size_t i = 1; i < r.got.size(); ++i) EXPECT_LT(r.got[i - 1].msg, r.got[i].msg);
}

TEST(WinMsg, AStaleSocketOfAKilledProcessIsNoWindow)
{
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        auto* w = new Window;  // never destroyed: the socket file stays
        const HWND h = w->handle();
        const bool ok = write(pipeFds[1], &h, sizeof h) == sizeof h;
        _exit(ok ? 0 : 1);
    }
    HWND stale = 0;
    ASSERT_EQ(read(pipeFds[0], &stale, sizeof stale), static_cast<ssize_t>(sizeof stale));
    close(pipeFds[0]);
    close(pipeFds[1]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_NE(stale, 0u);

    EXPECT_TRUE(testenv::fileExists(endpointOf(stale)));
    EXPECT_FALSE(winmsg::isWindow(stale));
    EXPECT_FALSE(winmsg::postMessage(stale, 1, 2, 3));
    Window fresh;
    EXPECT_NE(fresh.handle(), 0u);
    EXPECT_TRUE(winmsg::postMessage(fresh.handle(), 1, 2, 3));
}

TEST(WinMsg, AHandlerInANestedLoopGetsTheNextMessages)
{
    Window w;
    std::vector<std::string> log;
    w.onMessage = [&](const Message& m) {
        log.push_back("start " + std::to_string(m.msg));
        if (m.msg == 1) {
            winmsg::postMessage(w.handle(), 2, 0, 0);
            winmsg::postMessage(w.handle(), 3, 0, 0);
            QEventLoop loop;
            QTimer::singleShot(3000, &loop, &QEventLoop::quit);
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (log.size() >= 5) loop.quit();  // 2 and 3 handled
            });
            poll.start(1);
            loop.exec();
        }
        log.push_back("end " + std::to_string(m.msg));
    };
    ASSERT_TRUE(winmsg::postMessage(w.handle(), 1, 0, 0));
    ASSERT_TRUE(waitFor([&] { return log.size() == 6; }));
    EXPECT_EQ(log, (std::vector<std::string>{"start 1", "start 2", "end 2", "start 3", "end 3", "end 1"}));
}

TEST(WinMsg, ForeignDatagramsAndThrowingHandlersDoNotStopDelivery)
{
    Window w;
    std::vector<uint32_t> got;
    w.onMessage = [&](const Message& m) {
        got.push_back(m.msg);
        if (m.msg == 2) throw std::runtime_error("handler failed");
    };
    std::vector<AnsiString> reported;
    app::setExceptionHandler([&](const AnsiString& text) { reported.push_back(text); });

    const std::string path = endpointOf(w.handle());
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    const int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(s, 0);
    const char junk[16] = "not a message!!";
    for (size_t size : {size_t{0}, size_t{3}, sizeof junk}) {
        EXPECT_EQ(sendto(s, junk, size, 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr), static_cast<ssize_t>(size));
    }
    close(s);
    for (uint32_t m : {1u, 2u, 3u}) ASSERT_TRUE(winmsg::postMessage(w.handle(), m, 0, 0));

    ASSERT_TRUE(waitFor([&] { return got.size() == 3; }));
    EXPECT_EQ(got, (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(reported, std::vector<AnsiString>{"handler failed"});
    app::setExceptionHandler(nullptr);
}
