#pragma once
// HTTP peers for the downloader's tests, on port 80 (the only port its
// addresses can name) of a loopback address of their own, 127.x.y.z picked
// at random, so that parallel test runs do not meet:
//  - FolderServer: the real python3 http.server serving a folder;
//  - ScriptedHttp: a server thread for answers a real server would not give
//    (a short body, a stall, a reset), recording every request it read.
// Listening on port 80 needs root or CAP_NET_BIND_SERVICE; without it the
// peers do not start and reason() says why.

#include "tests/support/scripted_server.h"

#include <QProcess>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httptest {

constexpr int kWait = 20000;  // ms a peer gets to answer; never a measure of speed

// A socket listening on port 80 of a fresh 127.x.y.z; -1 with the reason set
// when none could be had.
int listenOnPort80(std::string& address, std::string& reason);

// The real python3 http.server, serving Folder.
class FolderServer {
public:
    explicit FolderServer(const std::string& folder);
    ~FolderServer();
    bool running() const { return running_; }
    const std::string& reason() const { return reason_; }
    const std::string& address() const { return address_; }
    // "http://<address>" followed by Path.
    std::string url(const std::string& path) const { return "http://" + address_ + path; }
    // The request lines the server has logged, waiting (generously) until
    // there are at least AtLeast of them.
    std::vector<std::string> requests(size_t AtLeast = 0);

private:
    QProcess process_;
    std::string address_;
    std::string reason_;
    std::string log_;
    bool running_ = false;
};

class ScriptedHttp {
public:
    // Request: as read, through its empty line and the body its
    // Content-Length announces. The handler answers on the connection,
    // which is closed after it returns.
    using Handler = std::function<void(const std::string& request, scripted::Peer& peer)>;

    // On port 80 of a fresh loopback address, or with AnyPort on a free port
    // of 127.0.0.1.
    explicit ScriptedHttp(Handler handler, bool AnyPort = false);
    ~ScriptedHttp();
    ScriptedHttp(const ScriptedHttp&) = delete;
    ScriptedHttp& operator=(const ScriptedHttp&) = delete;

    bool running() const { return fd_ >= 0; }
    const std::string& reason() const { return reason_; }
    const std::string& address() const { return address_; }
    uint16_t port() const { return port_; }
    std::string url(const std::string& path) const { return "http://" + address_ + path; }
    // The requests read so far, in order.
    std::vector<std::string> heads();
    // The path of a request head ("GET /a HTTP/1.0" gives "/a").
    static std::string pathOf(const std::string& head);

    // An answer with a status line, Content-Length and a body.
    static std::string reply(int status, const std::string& body, const std::string& extraHeaders = {});

private:
    int fd_ = -1;
    int stopFd_ = -1;
    std::string address_;
    uint16_t port_ = 80;
    std::string reason_;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> heads_;
};

}  // namespace httptest
