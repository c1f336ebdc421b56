#pragma once
// Client sockets in the manner of Windows Sockets 1.1, over non-blocking
// POSIX sockets.
//
// - Every socket is a non-blocking IPv4 TCP socket with TCP_NODELAY. Sends
//   use MSG_NOSIGNAL, so a reset peer gives an error, never SIGPIPE.
// - Errors are Winsock codes (10035 "would block" and so on), mapped from
//   errno by an explicit table; a call that failed sets lastError().
// - asyncSelect() binds a socket's notifications to a callback, delivered on
//   the main thread through QSocketNotifier from inside the event loop:
//   FD_READ once when data waits (again only after the next recv), FD_CONNECT
//   when a connection attempt ends (its error says how), FD_CLOSE once when
//   the peer closed or reset the connection, FD_ACCEPT on a listening socket.
//   A connection attempt never fails at once for a reason the network gives
//   (refused, unreachable, timed out): connect() reports "would block" and
//   FD_CONNECT carries the error, as on the host.
// - Host look-up runs on a worker thread and answers on the main thread; a
//   reply to a request that was cancelled or replaced is dropped.
//
// Everything except the resolver function runs on the main thread, which
// must have a Qt event loop (a QCoreApplication).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QSocketNotifier;

namespace sockets {

using SOCKET = int;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// Notification events, as the host numbers them.
enum : int {
    FD_READ = 1,
    FD_WRITE = 2,
    FD_OOB = 4,
    FD_ACCEPT = 8,
    FD_CONNECT = 16,
    FD_CLOSE = 32,
};

// recv() and send() flags.
enum : int {
    MSG_PEEK_FLAG = 2,   // recv: look without removing
    MSG_MORE_FLAG = 0x8000,  // send: more data follows at once; hold a part segment back
};

// Winsock error codes used by callers.
enum : int {
    WSAEINTR = 10004,
    WSAEBADF = 10009,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAEINPROGRESS = 10036,
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEMSGSIZE = 10040,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAEHOSTUNREACH = 10065,
    WSANOTINITIALISED = 10093,
    WSASYSCALLFAILURE = 10107,  // an errno the table does not know
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// The Winsock code of an errno value (EINPROGRESS and EAGAIN are "would
// block"; EPIPE, a send to a connection the peer reset, is 10054). An errno
// the table does not know gives WSASYSCALLFAILURE; 0 gives 0.
int errnoToWinsock(int err) noexcept;
// The Winsock code of a getaddrinfo() result (0 gives 0).
int gaiToWinsock(int gaiError) noexcept;

// The last error of a failed call on this thread (WSAGetLastError).
int lastError() noexcept;
void setLastError(int code) noexcept;

// What the socket library says about itself (WSAStartup).
struct WSAData {
    uint16_t Version = 0;  // low byte major, high byte minor (the host's MAKEWORD)
    uint16_t HighVersion = 0;
    std::string Description;
    std::string SystemStatus;
    unsigned MaxSockets = 0;
    unsigned MaxUdpDg = 0;
};
// Starts the library; 0 on success.
int WSAStartup(uint16_t versionRequested, WSAData& data);
int WSACleanup();
// Between WSAStartup and WSACleanup.
bool isStarted() noexcept;

// A new non-blocking TCP socket (IPv4, TCP_NODELAY); INVALID_SOCKET and
// lastError() when none can be made.
SOCKET socket();
// SO_LINGER on with time 0: closing resets the connection at once.
int setLingerReset(SOCKET s);
// Closes the socket and forgets its notifications; no notification of it is
// delivered after this call, also when one was already on its way.
int closesocket(SOCKET s);

// Binds the socket's notifications (mask of FD_*) to the callback, which is
// called with (socket, event, error) on the main thread from the event loop.
// Mask 0 stops them. Exceptions thrown by the callback are dropped.
using Notify = std::function<void(SOCKET s, int event, int error)>;
int asyncSelect(SOCKET s, Notify notify, int mask);

// Starts connecting to an IPv4 address (network byte order) and port (host
// byte order). Normally SOCKET_ERROR with "would block"; FD_CONNECT follows.
int connect(SOCKET s, uint32_t addressNetOrder, uint16_t port);
// The bytes sent (possibly fewer than given), or SOCKET_ERROR. With
// MSG_MORE_FLAG the bytes may wait to share a segment with the next send,
// which must follow at once (without the flag, to let them all go).
int send(SOCKET s, const void* data, int length, int flags = 0);
// The bytes read (0: the peer closed), or SOCKET_ERROR; flags 0 or
// MSG_PEEK_FLAG (look without removing). Every call lets the next FD_READ
// be delivered.
int recv(SOCKET s, void* data, int length, int flags);
// Accepts a waiting connection; the peer's address and port (network byte
// order) are stored when the pointers are given.
SOCKET accept(SOCKET s, uint32_t* peerAddress, uint16_t* peerPort);

// A dotted IPv4 address in network byte order, or INADDR_NONE (all ones)
// when the text is not one (inet_addr).
constexpr uint32_t INADDR_NONE_ADDR = 0xFFFFFFFFu;
uint32_t inetAddr(const std::string& text) noexcept;

// One turn of the event loop for a wait: handles the events that are waiting
// or, when none wait, sleeps until one arrives (a socket notification, a
// timer, a posted event), then handles it.
void waitForEvents();

// The resolver of host names: called on a worker thread with the name; sets
// the first IPv4 address (network byte order) and returns 0, or returns a
// Winsock error code (11001 and so on).
using Resolver = std::function<int(const std::string& name, uint32_t& addressNetOrder)>;
// Replaces the system resolver (getaddrinfo); an empty function puts it back.
// For tests. A look-up uses the resolver that was set when it started.
void setResolver(Resolver resolver);

// True for a host name under a name reserved for examples and tests
// (RFC 2606, 6761): ".example", ".invalid", ".test", ".localhost" and those
// names themselves, in any letter case, with or without a trailing ".".
bool isReservedHost(std::string_view name) noexcept;

// Looks the name up on the calling thread, blocking, through the resolver set
// by setResolver() (the system's by default): 0 and the first IPv4 address
// (network byte order), or a Winsock error code. May run on any thread.
int resolveHost(const std::string& name, uint32_t& addressNetOrder);

// Asynchronous host look-up (WSAAsyncGetHostByName). One request runs at a
// time; starting another or cancelling drops the reply of the earlier one.
// The reply comes on the main thread from the event loop.
class HostLookup {
public:
    using Reply = std::function<void(int error, uint32_t addressNetOrder)>;

    explicit HostLookup(Reply onReply);
    ~HostLookup();  // a running request's reply is dropped
    HostLookup(const HostLookup&) = delete;
    HostLookup& operator=(const HostLookup&) = delete;

    void start(const std::string& name);
    void cancel() noexcept;
    bool running() const noexcept { return current_ != 0; }

private:
    struct Channel;
    void deliver();

    Reply onReply_;
    std::shared_ptr<Channel> channel_;
    std::unique_ptr<QSocketNotifier> notifier_;
    uint64_t current_ = 0;  // id of the request whose reply is awaited; 0 none
    uint64_t nextId_ = 0;
};

}  // namespace sockets
