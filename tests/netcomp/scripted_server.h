#pragma once
// A TCP server on 127.0.0.1 for replies a real server would not give: it
// accepts one connection and runs a script against it on its own thread,
// recording every byte the client sent. Reads give up after a generous bound
// so a client that misbehaves fails its test instead of hanging it.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace scripted {

class Peer {
public:
    Peer(int fd, int stopFd, std::string& transcript, std::mutex& mutex)
        : fd_(fd), stopFd_(stopFd), transcript_(transcript), mutex_(mutex) {}

    // False once the client is gone.
    bool send(std::string_view bytes);
    // One line through its LF; empty when the client closed.
    std::string readLine();
    // Message text through the line "." (CR LF . CR LF); empty when the
    // client closed first.
    std::string readData();
    // Exactly n bytes (fewer when the client closed first).
    std::string readBytes(size_t n);
    // Everything until the client closes.
    std::string readToEnd();
    // Closes the connection: orderly, or with a reset (RST).
    void close();
    void reset();

private:
    bool fill();  // reads more into the buffer; false at the end

    int fd_;
    int stopFd_;  // readable once the server is being destroyed
    std::string buffer_;
    std::string& transcript_;
    std::mutex& mutex_;
};

class Server {
public:
    using Script = std::function<void(Peer&)>;

    // Listens at once; the script runs on the first connection.
    explicit Server(Script script);
    ~Server();  // ends the connection, then waits for the script to end
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    uint16_t port() const noexcept { return port_; }
    // Waits for the script to end; then every byte the client sent.
    std::string received();
    void join();

private:
    int listenFd_ = -1;
    int stopFd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::string transcript_;
};

// An SMTP-like script: sends the greeting, then answers each command line
// with the next reply; after a 3xx reply to DATA the next reply answers the
// message text ending with the line ".". A reply "<close>" closes the
// connection instead of answering, "<reset>" resets it. When the replies
// are used up, the server reads until the client closes. A reply without a
// line end gets CR LF.
Server::Script smtp(std::string greeting, std::vector<std::string> replies);

// A free TCP port on 127.0.0.1 with nobody listening.
uint16_t closedPort();

// The message of the exception fn raises, "(no exception)" when none.
std::string messageOf(const std::function<void()>& fn);

}  // namespace scripted
