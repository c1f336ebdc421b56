#include "platform/sockets.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <system_error>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace sockets {

int errnoToWinsock(int err) noexcept
{
    switch (err) {
    case 0: return 0;
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case ENFILE: return 10024;
    case EAGAIN: return 10035;  // EWOULDBLOCK is the same number
    case EINPROGRESS: return 10035;  // a connection under way: "would block", as the host says
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case EPIPE: return 10054;  // sending after the peer reset or closed
    case ENOBUFS: return 10055;
    case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    case EUSERS: return 10068;
    case EDQUOT: return 10069;
    case ESTALE: return 10070;
    case EREMOTE: return 10071;
    default: return WSASYSCALLFAILURE;
    }
}

int gaiToWinsock(int gaiError) noexcept
{
    switch (gaiError) {
    case 0: return 0;
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_FAIL: return WSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return WSANO_DATA;
#endif
    case EAI_FAMILY: return WSANO_DATA;
    case EAI_MEMORY: return WSAENOBUFS;
    default: return WSANO_RECOVERY;
    }
}

namespace {

thread_local int lastErrorCode = 0;
bool started = false;

int fail(int code) noexcept
{
    lastErrorCode = code;
    return SOCKET_ERROR;
}
int failErrno() noexcept { return fail(errnoToWinsock(errno)); }

// The notification state of one socket.
struct Selector {
    SOCKET fd = INVALID_SOCKET;
    uint64_t id = 0;  // unique per socket, so a reused descriptor number is told apart
    Notify notify;
    int mask = 0;
    bool connecting = false;   // connect() under way, FD_CONNECT not yet delivered
    bool established = false;  // connected: reading and closing can be watched
    bool closeDelivered = false;
    // FD_READ delivered and no recv() since: the next one comes after a recv().
    // The notifier stays on meanwhile (turning it off and on again costs the
    // event loop a wake-up each time) and goes off only if it fires again
    // before that recv().
    bool readDelivered = false;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
};

std::map<SOCKET, std::unique_ptr<Selector>>& selectors()
{
    static std::map<SOCKET, std::unique_ptr<Selector>> m;
    return m;
}
uint64_t lastSelectorId = 0;

Selector* find(SOCKET s, uint64_t id = 0)
{
    auto& m = selectors();
    const auto it = m.find(s);
    if (it == m.end()) return nullptr;
    if (id != 0 && it->second->id != id) return nullptr;
    return it->second.get();
}

// Calls the socket's callback for an event it asked for. The callback may
// close the socket (and so free the selector): nothing of it is touched after.
void deliver(Selector* sel, int event, int error)
{
    if (!(sel->mask & event) || !sel->notify) return;
    const Notify notify = sel->notify;
    const SOCKET fd = sel->fd;
    try {
        notify(fd, event, error);
    } catch (...) {
    }
}

void watchReading(Selector* sel)
{
    sel->readDelivered = false;
    if (sel->established && !sel->closeDelivered && (sel->mask & (FD_READ | FD_CLOSE | FD_OOB)))
        sel->readable->setEnabled(true);  // nothing to do when it is on
}

void onReadable(SOCKET fd, uint64_t id)
{
    Selector* sel = find(fd, id);
    if (!sel) return;
    if (sel->readDelivered) {
        // Not watched again until the next recv(), as the host does.
        sel->readable->setEnabled(false);
        return;
    }
    char c;
    const ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
        sel->readDelivered = true;
        deliver(sel, FD_READ, 0);
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    sel->readable->setEnabled(false);
    sel->closeDelivered = true;
    deliver(sel, FD_CLOSE, n == 0 ? 0 : errnoToWinsock(errno));
}

void onWritable(SOCKET fd, uint64_t id)
{
    Selector* sel = find(fd, id);
    if (!sel) return;
    sel->writable->setEnabled(false);
    if (sel->connecting) {
        sel->connecting = false;
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        if (err == 0) {
            sel->established = true;
            watchReading(sel);
        }
        deliver(sel, FD_CONNECT, errnoToWinsock(err));
        return;
    }
    deliver(sel, FD_WRITE, 0);
}

Selector* attach(SOCKET fd, bool established)
{
    auto sel = std::make_unique<Selector>();
    sel->fd = fd;
    sel->id = ++lastSelectorId;
    sel->established = established;
    const uint64_t id = sel->id;
    sel->readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    sel->readable->setEnabled(false);
    QObject::connect(sel->readable.get(), &QSocketNotifier::activated,
                     [fd, id] { onReadable(fd, id); });
    sel->writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    sel->writable->setEnabled(false);
    QObject::connect(sel->writable.get(), &QSocketNotifier::activated,
                     [fd, id] { onWritable(fd, id); });
    Selector* raw = sel.get();
    selectors()[fd] = std::move(sel);
    return raw;
}

// Delivers FD_CONNECT from the event loop, as if the attempt ended at once.
void postConnectResult(Selector* sel, int error)
{
    const SOCKET fd = sel->fd;
    const uint64_t id = sel->id;
    sel->connecting = false;
    if (error == 0) sel->established = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [fd, id, error] {
            Selector* s = find(fd, id);
            if (!s) return;
            if (error == 0) watchReading(s);
            deliver(s, FD_CONNECT, error);
        },
        Qt::QueuedConnection);
}

void configure(SOCKET fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

std::mutex resolverMutex;
Resolver& resolverSlot()
{
    static Resolver r;
    return r;
}

int systemResolve(const std::string& name, uint32_t& address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &result);
    if (rc != 0) return gaiToWinsock(rc);
    int err = WSANO_DATA;
    for (const addrinfo* a = result; a; a = a->ai_next) {
        if (a->ai_family == AF_INET && a->ai_addr) {
            address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
            err = 0;
            break;
        }
    }
    ::freeaddrinfo(result);
    return err;
}

}  // namespace

int lastError() noexcept { return lastErrorCode; }
void setLastError(int code) noexcept { lastErrorCode = code; }

int WSAStartup(uint16_t versionRequested, WSAData& data)
{
    if ((versionRequested & 0xFF) < 1) return WSAEINVAL;  // below 1.x
    data = WSAData{};
    data.Version = 0x0101;
    data.HighVersion = 0x0101;
    data.Description = "POSIX sockets";
    data.SystemStatus = "Running";
    rlimit lim{};
    unsigned maxSockets = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY)
        maxSockets = static_cast<unsigned>(lim.rlim_cur);
    data.MaxSockets = maxSockets > 32767 ? 32767 : maxSockets;
    data.MaxUdpDg = 65507;
    started = true;
    return 0;
}

int WSACleanup()
{
    if (!started) return fail(WSANOTINITIALISED);
    started = false;
    return 0;
}

bool isStarted() noexcept { return started; }

SOCKET socket()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        failErrno();
        return INVALID_SOCKET;
    }
    configure(fd);
    attach(fd, false);
    return fd;
}

int setLingerReset(SOCKET s)
{
    linger l{};
    l.l_onoff = 1;
    l.l_linger = 0;
    if (::setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0) return failErrno();
    return 0;
}

int closesocket(SOCKET s)
{
    auto& m = selectors();
    const auto it = m.find(s);
    if (it == m.end()) return fail(WSAENOTSOCK);
    // Freed at once: Qt allows a notifier to go inside its own activation.
    std::unique_ptr<Selector> sel = std::move(it->second);
    m.erase(it);
    sel.reset();
    if (::close(s) != 0) return failErrno();
    return 0;
}

int asyncSelect(SOCKET s, Notify notify, int mask)
{
    Selector* sel = find(s);
    if (!sel) return fail(WSAENOTSOCK);
    sel->notify = std::move(notify);
    sel->mask = mask;
    if (mask == 0) {
        sel->readable->setEnabled(false);
        sel->writable->setEnabled(false);
    } else {
        watchReading(sel);
        if (sel->connecting) sel->writable->setEnabled(true);
    }
    return 0;
}

int connect(SOCKET s, uint32_t addressNetOrder, uint16_t port)
{
    Selector* sel = find(s);
    if (!sel) return fail(WSAENOTSOCK);
    if (sel->connecting) return fail(WSAEALREADY);
    if (sel->established) return fail(WSAEISCONN);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = addressNetOrder;
    if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
        postConnectResult(sel, 0);
        return 0;
    }
    switch (errno) {
    case EINPROGRESS:
    case EINTR:
        sel->connecting = true;
        sel->writable->setEnabled(true);
        return fail(WSAEWOULDBLOCK);
    case ECONNREFUSED:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ETIMEDOUT:
        // The network's answer comes as the notification, as on the host.
        postConnectResult(sel, errnoToWinsock(errno));
        return fail(WSAEWOULDBLOCK);
    default:
        return failErrno();
    }
}

int send(SOCKET s, const void* data, int length, int flags)
{
    if (length < 0) return fail(WSAEINVAL);
    const int sysFlags = MSG_NOSIGNAL | ((flags & MSG_MORE_FLAG) ? MSG_MORE : 0);
    const ssize_t n = ::send(s, data, static_cast<size_t>(length), sysFlags);
    if (n >= 0) return static_cast<int>(n);
    const int err = errno;
    if (err == EAGAIN) {
        // Wake the event loop when there is room again.
        if (Selector* sel = find(s)) sel->writable->setEnabled(true);
    }
    return fail(errnoToWinsock(err));
}

int recv(SOCKET s, void* data, int length, int flags)
{
    if (length < 0) return fail(WSAEINVAL);
    Selector* sel = find(s);
    if (sel) watchReading(sel);
    const int sysFlags = (flags & MSG_PEEK_FLAG) ? MSG_PEEK : 0;
    const ssize_t n = ::recv(s, data, static_cast<size_t>(length), sysFlags);
    if (n >= 0) return static_cast<int>(n);
    return failErrno();
}

SOCKET accept(SOCKET s, uint32_t* peerAddress, uint16_t* peerPort)
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    const int fd = ::accept4(s, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (Selector* sel = find(s)) watchReading(sel);
    if (fd < 0) {
        failErrno();
        return INVALID_SOCKET;
    }
    configure(fd);
    attach(fd, true);
    if (peerAddress) *peerAddress = addr.sin_addr.s_addr;
    if (peerPort) *peerPort = addr.sin_port;
    return fd;
}

uint32_t inetAddr(const std::string& text) noexcept
{
    in_addr a{};
    if (text.empty() || text.find('\0') != std::string::npos || ::inet_aton(text.c_str(), &a) == 0)
        return INADDR_NONE_ADDR;
    return a.s_addr;
}

void waitForEvents() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

bool isReservedHost(std::string_view name) noexcept
{
    while (!name.empty() && name.back() == '.') name.remove_suffix(1);
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::string_view tld : {"example", "invalid", "test", "localhost"}) {
        if (name.size() < tld.size()) continue;
        const std::string_view tail = name.substr(name.size() - tld.size());
        if (!std::equal(tail.begin(), tail.end(), tld.begin(), [&](char a, char b) { return lower(a) == b; }))
            continue;
        if (name.size() == tld.size() || name[name.size() - tld.size() - 1] == '.') return true;
    }
    return false;
}

int resolveHost(const std::string& name, uint32_t& addressNetOrder)
{
    Resolver resolver;
    {
        std::lock_guard lock(resolverMutex);
        resolver = resolverSlot();
    }
    return resolver ? resolver(name, addressNetOrder) : systemResolve(name, addressNetOrder);
}

void setResolver(Resolver resolver)
{
    std::lock_guard lock(resolverMutex);
    resolverSlot() = std::move(resolver);
}

// Replies travel from the worker threads through this channel: a queue under
// a lock and an eventfd that wakes the main thread. The channel outlives the
// look-up object while a worker still holds it.
struct HostLookup::Channel {
    struct Result {
        uint64_t id;
        int error;
        uint32_t address;
    };
    std::mutex mutex;
    int fd = -1;
    bool open = true;
    std::deque<Result> results;
};

HostLookup::HostLookup(Reply onReply) : onReply_(std::move(onReply)) {}

HostLookup::~HostLookup()
{
    notifier_.reset();
    if (channel_) {
        std::lock_guard lock(channel_->mutex);
        channel_->open = false;
        if (channel_->fd >= 0) ::close(channel_->fd);
        channel_->fd = -1;
        channel_->results.clear();
    }
}

void HostLookup::start(const std::string& name)
{
    if (!channel_) {
        auto channel = std::make_shared<Channel>();
        channel->fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (channel->fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
        notifier_ = std::make_unique<QSocketNotifier>(channel->fd, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { deliver(); });
        channel_ = std::move(channel);
    }
    Resolver resolver;
    {
        std::lock_guard lock(resolverMutex);
        resolver = resolverSlot();
    }
    const uint64_t id = ++nextId_;
    current_ = id;
    std::thread([channel = channel_, id, name, resolver = std::move(resolver)] {
        uint32_t address = 0;
        int error = 0;
        try {
            error = resolver ? resolver(name, address) : systemResolve(name, address);
        } catch (...) {
            error = WSANO_RECOVERY;
        }
        std::lock_guard lock(channel->mutex);
        if (!channel->open) return;
        channel->results.push_back({id, error, address});
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(channel->fd, &one, sizeof one);
    }).detach();
}

void HostLookup::cancel() noexcept { current_ = 0; }

void HostLookup::deliver()
{
    std::deque<Channel::Result> results;
    {
        std::lock_guard lock(channel_->mutex);
        uint64_t count;
        [[maybe_unused]] const ssize_t n = ::read(channel_->fd, &count, sizeof count);
        results.swap(channel_->results);
    }
    for (const auto& r : results) {
        if (r.id != current_ || current_ == 0) continue;  // a reply nobody waits for any more
        current_ = 0;
        const Reply reply = onReply_;
        try {
            if (reply) reply(r.error, r.address);
        } catch (...) {
        }
        return;  // the callback may have freed this object
    }
}

}  // namespace sockets
