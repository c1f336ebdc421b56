#include "platform/winmsg.h"

#include "platform/app.h"
#include "platform/userdirs.h"

#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <random>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace winmsg {
namespace {

// One posted message on the wire.
struct Datagram {
    uint32_t magic;
    uint32_t msg;
    uint32_t wParam;
    int32_t lParam;
};
constexpr uint32_t kMagic = 0x314D574B;  // "KWM1"

bool validHandle(HWND h) { return (h & 0xFFFF) != 0; }

std::string endpointDir() { return userdirs::runtimeDir() + "/wnd"; }

std::string endpointPath(const std::string& dir, HWND h)
{
    char name[16];
    std::snprintf(name, sizeof name, "/%08x", static_cast<unsigned>(h));
    return dir + name;
}

struct Address {
    sockaddr_un addr{};
    socklen_t size = 0;

    explicit Address(const std::string& path)
    {
        if (path.size() >= sizeof addr.sun_path) return;  // size 0: unusable
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    }
    bool valid() const { return size != 0; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&addr); }
};

struct Fd {
    int fd;
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
};

enum class Probe { Listening, Stale, Absent, Unknown };

// Whether a socket is bound at the path: connecting a datagram socket checks
// it without sending anything. A socket file nobody holds refuses.
Probe probe(const Address& address)
{
    if (!address.valid()) return Probe::Unknown;
    const Fd s{::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    if (s.fd < 0) return Probe::Unknown;
    if (::connect(s.fd, address.get(), address.size) == 0) return Probe::Listening;
    if (errno == ECONNREFUSED) return Probe::Stale;
    if (errno == ENOENT) return Probe::Absent;
    return Probe::Unknown;
}

// Binds fd at a path that holds a dead window's socket file. Under a lock, so
// that two processes cannot both take the same stale path and one unlink the
// other's fresh socket.
bool bindOverStale(int fd, const std::string& dir, const Address& address, const std::string& path)
{
    const Fd lock{::open((dir + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)};
    if (lock.fd < 0) return false;
    while (::flock(lock.fd, LOCK_EX) != 0) {
        if (errno != EINTR) return false;
    }
    if (probe(address) != Probe::Stale) return false;
    ::unlink(path.c_str());
    return ::bind(fd, address.get(), address.size) == 0;
}

// The unbound socket every post goes out of.
int sendSocket()
{
    static const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    return fd;
}

}  // namespace

Window::Window(QObject* parent) : QObject(parent)
{
    try {
        const std::string dir = endpointDir();
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return;
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return;
        std::random_device rng;
        for (int attempt = 0; attempt < 64 && handle_ == 0; ++attempt) {
            const HWND h = rng();
            if (!validHandle(h)) continue;
            const std::string path = endpointPath(dir, h);
            const Address address(path);
            if (!address.valid()) break;
            bool bound = ::bind(fd_, address.get(), address.size) == 0;
            if (!bound && errno != EADDRINUSE) break;
            if (!bound) bound = bindOverStale(fd_, dir, address, path);  // else taken: try another
            if (bound) {
                handle_ = h;
                path_ = path;
            }
        }
    } catch (...) {  // no runtime folder: no handle
    }
    if (handle_ == 0) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        return;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &Window::readPending);
}

Window::~Window()
{
    delete notifier_;
    // Unlink first: once the socket is closed, another process may take the path.
    if (!path_.empty()) ::unlink(path_.c_str());
    if (fd_ >= 0) ::close(fd_);
}

void Window::readPending()
{
    const QPointer<Window> self(this);
    app::guard([&] {
        for (;;) {
            Datagram d{};
            const ssize_t n = ::recv(fd_, &d, sizeof d, MSG_DONTWAIT | MSG_TRUNC);
            if (n < 0) {
                if (errno == EINTR) continue;
                break;  // EAGAIN: all read
            }
            if (n != sizeof d || d.magic != kMagic) continue;  // not ours
            queue_.push_back(Message{handle_, d.msg, d.wParam, d.lParam});
        }
        // A handler may run a nested loop that reads and drains more messages
        // before it returns; each message is taken off the queue before it is
        // handed out, so handlers still start in the order of arrival.
        while (self && !queue_.empty()) {
            const Message m = queue_.front();
            queue_.pop_front();
            if (!onMessage) continue;
            const auto handler = onMessage;  // the handler may replace onMessage or delete us
            app::guard([&] { handler(m); });
        }
    });
}

bool postMessage(HWND target, uint32_t msg, uint32_t wParam, int32_t lParam)
{
    if (!validHandle(target)) return false;
    std::string path;
    try {
        path = endpointPath(endpointDir(), target);
    } catch (...) {
        return false;
    }
    const Address address(path);
    const int fd = sendSocket();
    if (!address.valid() || fd < 0) return false;
    const Datagram d{kMagic, msg, wParam, lParam};
    for (;;) {
        const ssize_t n = ::sendto(fd, &d, sizeof d, MSG_DONTWAIT | MSG_NOSIGNAL, address.get(), address.size);
        if (n == static_cast<ssize_t>(sizeof d)) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;  // nobody listens (ENOENT, ECONNREFUSED) or its queue is full (EAGAIN)
    }
}

bool isWindow(HWND target)
{
    if (!validHandle(target)) return false;
    try {
        return probe(Address(endpointPath(endpointDir(), target))) == Probe::Listening;
    } catch (...) {
        return false;
    }
}

}  // namespace winmsg
