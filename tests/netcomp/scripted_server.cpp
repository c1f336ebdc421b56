#include "tests/netcomp/scripted_server.h"

#include "platform/exception.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace scripted {
namespace {

constexpr int kReadBoundMs = 20000;  // a client silent this long has failed its test

int listenOn(uint16_t& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("listen");
    }
    port = ntohs(a.sin_port);
    return fd;
}

std::string withLineEnd(std::string s)
{
    if (s.empty() || s.back() != '\n') s += "\r\n";
    return s;
}

}  // namespace

bool Peer::send(std::string_view bytes)
{
    if (fd_ < 0) return false;
    size_t off = 0;
    while (off < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0) return false;
        off += static_cast<size_t>(n);
    }
    return true;
}

bool Peer::fill()
{
    if (fd_ < 0) return false;
    pollfd p[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (::poll(p, 2, kReadBoundMs) <= 0 || p[1].revents) return false;
    char buf[65536];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) return false;
    buffer_.append(buf, static_cast<size_t>(n));
    std::lock_guard lock(mutex_);
    transcript_.append(buf, static_cast<size_t>(n));
    return true;
}

std::string Peer::readLine()
{
    for (;;) {
        const size_t lf = buffer_.find('\n');
        if (lf != std::string::npos) {
            std::string line = buffer_.substr(0, lf + 1);
            buffer_.erase(0, lf + 1);
            return line;
        }
        if (!fill()) return {};
    }
}

std::string Peer::readData()
{
    std::string data;
    for (;;) {
        const std::string line = readLine();
        if (line.empty()) return {};
        data += line;
        if (line == ".\r\n") return data;
    }
}

std::string Peer::readBytes(size_t n)
{
    while (buffer_.size() < n && fill()) {
    }
    std::string bytes = buffer_.substr(0, n);
    buffer_.erase(0, bytes.size());
    return bytes;
}

std::string Peer::readToEnd()
{
    while (fill()) {
    }
    std::string rest;
    rest.swap(buffer_);
    return rest;
}

void Peer::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void Peer::reset()
{
    if (fd_ < 0) return;
    linger l{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close();
}

Server::Server(Script script)
{
    listenFd_ = listenOn(port_);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this, script = std::move(script)] {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(p, 2, kReadBoundMs) <= 0 || p[1].revents) return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        Peer peer(fd, stopFd_, transcript_, mutex_);
        script(peer);
        peer.close();
    });
}

Server::~Server()
{
    // A script still waiting learns that the test is over.
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopFd_, &one, sizeof one);
    join();
    ::close(stopFd_);
    if (listenFd_ >= 0) ::close(listenFd_);
}

void Server::join()
{
    if (thread_.joinable()) thread_.join();
}

std::string Server::received()
{
    join();
    std::lock_guard lock(mutex_);
    return transcript_;
}

Server::Script smtp(std::string greeting, std::vector<std::string> replies)
{
    return [greeting = std::move(greeting), replies = std::move(replies)](Peer& peer) {
        peer.send(withLineEnd(greeting));
        bool inData = false;
        for (const std::string& reply : replies) {
            if (inData) {
                if (peer.readData().empty()) return;
                inData = false;
            } else {
                const std::string line = peer.readLine();
                if (line.empty()) return;
                inData = line.rfind("DATA", 0) == 0 && !reply.empty() && reply[0] == '3';
            }
            if (reply == "<close>") return peer.close();
            if (reply == "<reset>") return peer.reset();
            peer.send(withLineEnd(reply));
        }
        peer.readToEnd();
    };
}

uint16_t closedPort()
{
    uint16_t port = 0;
    const int fd = listenOn(port);
    ::close(fd);
    return port;
}

std::string messageOf(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const Exception& e) {
        return e.message();
    }
    return "(no exception)";
}

}  // namespace scripted
