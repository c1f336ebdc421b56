#include "platform/sockets.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

void pump(int turns = 20)
{
    for (int i = 0; i < turns; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace

// As the host does: FD_READ comes once, and again only after a recv(); so
// long as nobody reads, turns of the loop bring nothing more. The peer's
// close comes once, after what it sent has been read.
TEST(SocketEvents, ReadComesOncePerReceiveAndTheCloseOnceAtTheEnd)
{
    sockets::WSAData data;
    ASSERT_EQ(sockets::WSAStartup(0x0101, data), 0);
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);

    std::vector<int> events;
    const sockets::SOCKET s = sockets::socket();
    ASSERT_NE(s, sockets::INVALID_SOCKET);
    ASSERT_EQ(sockets::asyncSelect(
                  s, [&](sockets::SOCKET, int event, int) { events.push_back(event); },
                  sockets::FD_READ | sockets::FD_CLOSE | sockets::FD_CONNECT),
              0);
    sockets::connect(s, addr.sin_addr.s_addr, ntohs(addr.sin_port));
    const int peer = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    for (int i = 0; i < 200 && events.empty(); ++i) sockets::waitForEvents();
    ASSERT_EQ(events, std::vector<int>{sockets::FD_CONNECT});

    auto said = [&](const char* text) { ASSERT_EQ(::write(peer, text, std::strlen(text)), ssize_t(std::strlen(text))); };
    auto waitFor = [&](size_t count) {
        for (int i = 0; i < 200 && events.size() < count; ++i) sockets::waitForEvents();
        pump();  // and nothing more comes of further turns
    };
    char buf[8];
    said("abc");
    waitFor(2);
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(sockets::recv(s, buf, 1, 0), 1);  // two bytes still wait
    waitFor(3);
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(sockets::recv(s, buf, sizeof buf, sockets::MSG_PEEK_FLAG), 2);  // a look lets the next one come too
    waitFor(4);
    EXPECT_EQ(events.size(), 4u);
    EXPECT_EQ(sockets::recv(s, buf, sizeof buf, 0), 2);
    pump();
    EXPECT_EQ(events.size(), 4u);  // nothing waits: nothing comes

    said("d");
    ::close(peer);  // the close follows the last bytes
    waitFor(5);
    EXPECT_EQ(events.size(), 5u);
    EXPECT_EQ(sockets::recv(s, buf, sizeof buf, 0), 1);
    waitFor(6);
    pump();
    EXPECT_EQ(events, (std::vector<int>{sockets::FD_CONNECT, sockets::FD_READ, sockets::FD_READ, sockets::FD_READ,
                                        sockets::FD_READ, sockets::FD_CLOSE}));
    EXPECT_EQ(sockets::recv(s, buf, sizeof buf, 0), 0);
    sockets::closesocket(s);
    ::close(listener);
    sockets::WSACleanup();
}
