#include "tests/support/http_peer.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace httptest {
namespace {

bool connectable(const std::string& address)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(80);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

int listenOnPort80(std::string& address, std::string& reason)
{
    std::random_device random;
    for (int attempt = 0; attempt < 50; ++attempt) {
        address = "127." + std::to_string(1 + random() % 254) + "." + std::to_string(1 + random() % 254) + "." +
                  std::to_string(1 + random() % 254);
        uint16_t port = 80;
        const int fd = scripted::listenOn(address, port);
        if (fd >= 0) return fd;
        if (errno == EACCES || errno == EPERM) {
            reason = "listening on port 80 needs root or CAP_NET_BIND_SERVICE";
            return -1;
        }
    }
    reason = "no loopback address with a free port 80";
    return -1;
}

// ---- FolderServer -------------------------------------------------------------------

FolderServer::FolderServer(const std::string& folder)
{
    for (int attempt = 0; attempt < 5 && !running_; ++attempt) {
        // The address is checked free, then handed to the server.
        const int fd = listenOnPort80(address_, reason_);
        if (fd < 0) return;
        ::close(fd);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start("/usr/bin/python3", {"-u", "-m", "http.server", "80", "--bind",
                                            QString::fromStdString(address_), "--directory",
                                            QString::fromStdString(folder)});
        if (!process_.waitForStarted(kWait)) {
            reason_ = "python3 did not start";
            return;
        }
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < kWait && process_.state() == QProcess::Running && !connectable(address_))
            QThread::msleep(20);
        running_ = process_.state() == QProcess::Running && connectable(address_);
        if (!running_) {
            reason_ = "python3 http.server did not start: " + process_.readAllStandardError().toStdString();
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

FolderServer::~FolderServer()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

std::vector<std::string> FolderServer::requests(size_t AtLeast)
{
    // Log lines: '<address> - - [<date>] "GET /path HTTP/1.0" 200 -'.
    QElapsedTimer t;
    t.start();
    for (;;) {
        log_ += process_.readAllStandardError().toStdString();
        const size_t lines = static_cast<size_t>(std::count(log_.begin(), log_.end(), '\n'));
        if (lines >= AtLeast || t.elapsed() > kWait) break;
        process_.waitForReadyRead(100);
    }
    std::vector<std::string> out;
    size_t from = 0;
    for (size_t lf; (lf = log_.find('\n', from)) != std::string::npos; from = lf + 1) {
        const std::string line = log_.substr(from, lf - from);
        const size_t open = line.find('"');
        const size_t close = line.rfind('"');
        if (open != std::string::npos && close > open) out.push_back(line.substr(open + 1, close - open - 1));
    }
    return out;
}

// ---- ScriptedHttp -------------------------------------------------------------------

ScriptedHttp::ScriptedHttp(Handler handler, bool AnyPort)
{
    if (AnyPort) {
        address_ = "127.0.0.1";
        port_ = 0;
        fd_ = scripted::listenOn(address_, port_);
        if (fd_ < 0) reason_ = "cannot listen on 127.0.0.1";
    } else {
        fd_ = listenOnPort80(address_, reason_);
    }
    if (fd_ < 0) return;
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this, handler = std::move(handler)] {
        for (;;) {
            pollfd p[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
            if (::poll(p, 2, -1) < 0 && errno != EINTR) return;
            if (p[1].revents) return;
            if (!p[0].revents) continue;
            const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            std::string transcript;
            std::mutex transcriptMutex;
            scripted::Peer peer(fd, stopFd_, transcript, transcriptMutex);
            // The head through its empty line, then the body it announces.
            std::string request;
            for (std::string line; !(line = peer.readLine()).empty();) {
                request += line;
                if (line == "\r\n" || line == "\n") break;
            }
            const size_t length = request.find("\r\nContent-Length: ");
            if (length != std::string::npos) request += peer.readBytes(std::stoul(request.substr(length + 18)));
            if (!request.empty()) {
                {
                    std::lock_guard lock(mutex_);
                    heads_.push_back(request);
                }
                handler(request, peer);
            }
            peer.close();
        }
    });
}

ScriptedHttp::~ScriptedHttp()
{
    if (stopFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(stopFd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    if (stopFd_ >= 0) ::close(stopFd_);
    if (fd_ >= 0) ::close(fd_);
}

std::vector<std::string> ScriptedHttp::heads()
{
    std::lock_guard lock(mutex_);
    return heads_;
}

std::string ScriptedHttp::pathOf(const std::string& head)
{
    const size_t a = head.find(' ');
    const size_t b = a == std::string::npos ? a : head.find(' ', a + 1);
    return b == std::string::npos ? std::string() : head.substr(a + 1, b - a - 1);
}

std::string ScriptedHttp::reply(int status, const std::string& body, const std::string& extraHeaders)
{
    return "HTTP/1.0 " + std::to_string(status) + (status == 200 ? " OK" : " Error") +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

}  // namespace httptest
