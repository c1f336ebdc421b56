#include "platform/wininet.h"

#include "platform/ansistring.h"
#include "platform/sockets.h"

#include <QByteArray>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace wininet {

enum class Kind { Session, Connection, Request };

struct InternetObject {
    InternetObject(Kind k, HINTERNET p) : kind(k), parent(std::move(p))
    {
        wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    ~InternetObject()
    {
        if (const int s = sock.load(); s >= 0) ::close(s);
        if (wakeFd >= 0) ::close(wakeFd);
    }
    InternetObject(const InternetObject&) = delete;
    InternetObject& operator=(const InternetObject&) = delete;

    const Kind kind;
    const HINTERNET parent;
    int wakeFd = -1;  // readable once the handle is closed
    std::atomic<bool> closed{false};
    DWORD connectTimeout = DefaultConnectTimeout;
    DWORD receiveTimeout = DefaultReceiveTimeout;

    // Session.
    std::string agent;
    // Connection.
    std::string server;
    uint16_t port = INTERNET_DEFAULT_HTTP_PORT;
    std::string userName;
    std::string password;
    // Request (used by the thread that made it; only sock is read by a closer).
    std::string verb;
    std::string object;
    std::string referrer;
    std::vector<std::string> acceptTypes;
    std::atomic<int> sock{-1};
    bool sent = false;
    int statusCode = 0;
    std::string statusText;
    std::string rawHeaders;  // status line and header lines, each ending in CR LF, then CR LF
    std::vector<std::pair<std::string, std::string>> headers;
    // Body bytes received and not yet read: those that came with the header,
    // then each receive of what the socket has; the unread ones start at
    // pendingAt.
    std::string pending;
    size_t pendingAt = 0;
    bool hasLength = false;
    uint64_t remaining = 0;  // body bytes still to come when the length is known
    bool atEnd = false;
};

namespace {

thread_local DWORD lastErrorCode = 0;

struct Defaults {
    std::mutex mutex;
    DWORD connectTimeout = DefaultConnectTimeout;
    DWORD receiveTimeout = DefaultReceiveTimeout;
};
Defaults& defaults()
{
    static Defaults d;
    return d;
}

constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr size_t kReceiveBytes = 64 * 1024;  // at most taken off the socket at once for the body

template <class T>
T fail(DWORD code, T result)
{
    lastErrorCode = code;
    return result;
}
bool fail(DWORD code) { return fail(code, false); }

// A text that can stand in a header line: no control characters.
bool headerSafe(const std::string& s)
{
    for (char c : s)
        if (byteOf(c) < 32 || byteOf(c) == 127) return false;
    return true;
}

// The handle is open, with every handle it was made from.
bool isOpen(const InternetObject& h)
{
    for (const InternetObject* o = &h; o; o = o->parent.get())
        if (o->closed.load()) return false;
    return true;
}

using Clock = std::chrono::steady_clock;

// Waits until Fd is ready for Events. 0 when it is; else the error: the
// time-out, or the handle (or one it was made from) closed meanwhile.
DWORD waitFor(const InternetObject& h, int fd, short events, DWORD timeoutMs)
{
    std::vector<pollfd> fds{{fd, events, 0}};
    for (const InternetObject* o = &h; o; o = o->parent.get()) fds.push_back({o->wakeFd, POLLIN, 0});
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!isOpen(h)) return ERROR_INTERNET_OPERATION_CANCELLED;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return ERROR_INTERNET_TIMEOUT;
        const int n = ::poll(fds.data(), fds.size(), static_cast<int>(std::min<long long>(left, 1 << 30)));
        if (n < 0 && errno != EINTR) return ERROR_INTERNET_INTERNAL_ERROR;
        if (n <= 0) continue;
        for (size_t i = 1; i < fds.size(); ++i)
            if (fds[i].revents) return ERROR_INTERNET_OPERATION_CANCELLED;
        if (!isOpen(h)) return ERROR_INTERNET_OPERATION_CANCELLED;
        if (fds[0].revents) return 0;
    }
}

// A host look-up on a thread of its own, so that a slow one can be left
// behind on a time-out or a close.
struct Lookup {
    ~Lookup()
    {
        if (fd >= 0) ::close(fd);
    }
    std::mutex mutex;
    int fd = -1;
    int error = 0;
    uint32_t address = 0;
};

DWORD resolve(const InternetObject& h, const std::string& name, uint32_t& address)
{
    if (sockets::isReservedHost(name)) return ERROR_INTERNET_NAME_NOT_RESOLVED;
    address = sockets::inetAddr(name);
    if (address != sockets::INADDR_NONE_ADDR) return 0;
    auto lookup = std::make_shared<Lookup>();
    lookup->fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (lookup->fd < 0) return ERROR_INTERNET_INTERNAL_ERROR;
    try {
        std::thread([lookup, name] {
            uint32_t a = 0;
            int error = sockets::WSANO_RECOVERY;
            try {
                error = sockets::resolveHost(name, a);
            } catch (...) {
            }
            std::lock_guard lock(lookup->mutex);
            lookup->error = error;
            lookup->address = a;
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(lookup->fd, &one, sizeof one);
        }).detach();
    } catch (...) {
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
    if (const DWORD e = waitFor(h, lookup->fd, POLLIN, h.connectTimeout)) return e;
    std::lock_guard lock(lookup->mutex);
    if (lookup->error != 0) return ERROR_INTERNET_NAME_NOT_RESOLVED;
    address = lookup->address;
    return 0;
}

DWORD socketError(int err)
{
    switch (err) {
    case ECONNRESET:
    case EPIPE: return ERROR_INTERNET_CONNECTION_RESET;
    case ETIMEDOUT: return ERROR_INTERNET_TIMEOUT;
    default: return ERROR_INTERNET_CONNECTION_ABORTED;
    }
}

DWORD connectTo(InternetObject& req, uint32_t address, uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return ERROR_INTERNET_INTERNAL_ERROR;
    req.sock.store(fd);
    // A close from another thread that came before the store does not see
    // the socket: it is seen here.
    if (!isOpen(req)) return ERROR_INTERNET_OPERATION_CANCELLED;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = address;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return ERROR_INTERNET_CANNOT_CONNECT;
    if (const DWORD e = waitFor(req, fd, POLLOUT, req.connectTimeout)) return e;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) return ERROR_INTERNET_CANNOT_CONNECT;
    return 0;
}

DWORD sendAll(InternetObject& req, const std::string& bytes)
{
    const int fd = req.sock.load();
    size_t off = 0;
    while (off < bytes.size()) {
        if (!isOpen(req)) return ERROR_INTERNET_OPERATION_CANCELLED;
        const ssize_t n = ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n >= 0) {
            off += static_cast<size_t>(n);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return socketError(errno);
        if (const DWORD e = waitFor(req, fd, POLLOUT, req.receiveTimeout)) return e;
    }
    return 0;
}

// Receives what is there (waiting for it at most the receive time-out) and
// appends it; false with the error in Error, or at the end with Error 0.
bool receiveSome(InternetObject& req, std::string& into, size_t max, DWORD& error)
{
    const int fd = req.sock.load();
    for (;;) {
        if ((error = waitFor(req, fd, POLLIN, req.receiveTimeout)) != 0) return false;
        const size_t at = into.size();
        into.resize(at + max);
        const ssize_t n = ::recv(fd, into.data() + at, max, 0);
        into.resize(at + static_cast<size_t>(std::max<ssize_t>(n, 0)));
        if (n > 0) return true;
        if (n == 0) {
            error = 0;
            return false;
        }
        if (errno == EINTR || errno == EAGAIN) continue;
        error = socketError(errno);
        return false;
    }
}

std::string lowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string trimmed(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

const std::string* findHeader(const InternetObject& req, const std::string& name)
{
    const std::string key = lowerAscii(name);
    for (const auto& [n, v] : req.headers)
        if (lowerAscii(n) == key) return &v;
    return nullptr;
}

// A decimal number of digits only (blanks around it allowed).
bool parseLength(const std::string& text, uint64_t& value)
{
    const std::string t = trimmed(text);
    if (t.empty() || t.size() > 18) return false;
    value = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

// Parses the status line and header of Head (its lines without their ends).
bool parseHead(InternetObject& req, const std::string& head)
{
    std::vector<std::string> lines;
    size_t from = 0;
    while (from <= head.size()) {
        size_t lf = head.find('\n', from);
        if (lf == std::string::npos) lf = head.size();
        std::string line = head.substr(from, lf - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        from = lf + 1;
    }
    // "HTTP/" major "." minor, a blank, three digits, the reason.
    const std::string& status = lines.front();
    if (status.rfind("HTTP/", 0) != 0) return false;
    const size_t sp = status.find(' ');
    if (sp == std::string::npos || sp + 4 > status.size()) return false;
    int code = 0;
    for (size_t i = sp + 1; i < sp + 4; ++i) {
        if (status[i] < '0' || status[i] > '9') return false;
        code = code * 10 + (status[i] - '0');
    }
    if (sp + 4 < status.size() && status[sp + 4] != ' ') return false;
    req.statusCode = code;
    req.statusText = sp + 5 <= status.size() ? status.substr(sp + 5) : std::string();
    req.rawHeaders = status + "\r\n";
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty()) continue;
        req.rawHeaders += line + "\r\n";
        if ((line[0] == ' ' || line[0] == '\t') && !req.headers.empty()) {
            req.headers.back().second += " " + trimmed(line);
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) continue;
        req.headers.emplace_back(trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
    }
    req.rawHeaders += "\r\n";
    // A body framed by a transfer coding is not read as it stands: no such
    // answer is taken (an HTTP/1.0 request asks for none).
    for (const auto& [n, v] : req.headers)
        if (lowerAscii(n) == "transfer-encoding" && lowerAscii(v) != "identity") return false;
    const bool noBody = req.verb == "HEAD" || code == 204 || code == 304 || (code >= 100 && code < 200);
    if (noBody) {
        req.hasLength = true;
        req.remaining = 0;
    } else if (const std::string* length = findHeader(req, "Content-Length")) {
        req.hasLength = parseLength(*length, req.remaining);
    }
    return true;
}

// Reads the status line and header; what follows them waits in pending.
DWORD readHead(InternetObject& req)
{
    std::string buf;
    for (;;) {
        size_t end = buf.find("\r\n\r\n");
        size_t skip = 4;
        const size_t lfEnd = buf.find("\n\n");
        if (lfEnd != std::string::npos && (end == std::string::npos || lfEnd < end)) {
            end = lfEnd;
            skip = 2;
        }
        if (end != std::string::npos) {
            if (!parseHead(req, buf.substr(0, end))) return ERROR_HTTP_INVALID_SERVER_RESPONSE;
            req.pending = buf.substr(end + skip);
            return 0;
        }
        if (buf.size() > kMaxHeaderBytes) return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        DWORD error = 0;
        if (!receiveSome(req, buf, 4096, error))
            return error ? error : ERROR_HTTP_INVALID_SERVER_RESPONSE;  // closed before the header's end
    }
}

std::string escapeObject(const std::string& object)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : object) {
        const unsigned char b = byteOf(c);
        if (b <= 32 || b >= 127) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    return out.empty() ? std::string("/") : out;
}

std::string requestHead(const InternetObject& req, const std::string& headers, const std::string& body)
{
    const InternetObject& conn = *req.parent;
    const InternetObject& session = *conn.parent;
    std::string head = req.verb + " " + req.object + " HTTP/1.0\r\n";
    head += "Host: " + conn.server;
    if (conn.port != INTERNET_DEFAULT_HTTP_PORT) head += ":" + std::to_string(conn.port);
    head += "\r\n";
    if (!session.agent.empty()) head += "User-Agent: " + session.agent + "\r\n";
    std::string accept;
    for (const std::string& t : req.acceptTypes) {
        if (t.empty()) continue;
        if (!accept.empty()) accept += ", ";
        accept += t;
    }
    if (!accept.empty()) head += "Accept: " + accept + "\r\n";
    if (!req.referrer.empty()) head += "Referer: " + req.referrer + "\r\n";
    if (!conn.userName.empty()) {
        const QByteArray credentials =
            QByteArray::fromStdString(conn.userName + ":" + conn.password).toBase64();
        head += "Authorization: Basic " + credentials.toStdString() + "\r\n";
    }
    if (!headers.empty()) {
        head += headers;
        if (head.back() != '\n') head += "\r\n";
    }
    if (!body.empty() || req.verb == "POST") head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    head += "\r\n";
    return head;
}

InternetObject* asKind(const HINTERNET& h, Kind kind, DWORD& error)
{
    if (!h) {
        error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (h->closed.load()) {
        error = h->kind == kind ? ERROR_INVALID_HANDLE : ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
        return nullptr;
    }
    if (h->kind != kind) {
        error = ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
        return nullptr;
    }
    return h.get();
}

HINTERNET make(Kind kind, const HINTERNET& parent)
{
    auto h = std::make_shared<InternetObject>(kind, parent);
    if (h->wakeFd < 0) return fail(ERROR_INTERNET_INTERNAL_ERROR, HINTERNET());
    if (parent) {
        h->connectTimeout = parent->connectTimeout;
        h->receiveTimeout = parent->receiveTimeout;
    }
    return h;
}

}  // namespace

DWORD GetLastError() noexcept { return lastErrorCode; }

HINTERNET InternetOpen(const std::string& Agent, DWORD, DWORD)
{
    if (!headerSafe(Agent)) return fail(ERROR_INVALID_PARAMETER, HINTERNET());
    HINTERNET h = make(Kind::Session, nullptr);
    if (!h) return h;
    h->agent = Agent;
    {
        Defaults& d = defaults();
        std::lock_guard lock(d.mutex);
        h->connectTimeout = d.connectTimeout;
        h->receiveTimeout = d.receiveTimeout;
    }
    return h;
}

HINTERNET InternetConnect(const HINTERNET& Internet, const std::string& ServerName, uint16_t ServerPort,
                          const std::string& UserName, const std::string& Password, DWORD Service, DWORD)
{
    DWORD error = 0;
    if (!asKind(Internet, Kind::Session, error)) return fail(error, HINTERNET());
    if (Service != INTERNET_SERVICE_HTTP) return fail(ERROR_INVALID_PARAMETER, HINTERNET());
    if (ServerName.empty() || !headerSafe(ServerName) || ServerName.find(' ') != std::string::npos ||
        !headerSafe(UserName) || !headerSafe(Password))
        return fail(ERROR_INVALID_PARAMETER, HINTERNET());
    HINTERNET h = make(Kind::Connection, Internet);
    if (!h) return h;
    h->server = ServerName;
    h->port = ServerPort == 0 ? INTERNET_DEFAULT_HTTP_PORT : ServerPort;
    h->userName = UserName;
    h->password = Password;
    return h;
}

HINTERNET HttpOpenRequest(const HINTERNET& Connect, const std::string& Verb, const std::string& ObjectName,
                          const std::string& Version, const std::string& Referrer,
                          const std::vector<std::string>& AcceptTypes, DWORD)
{
    DWORD error = 0;
    if (!asKind(Connect, Kind::Connection, error)) return fail(error, HINTERNET());
    const std::string verb = Verb.empty() ? std::string("GET") : Verb;
    if (verb != "GET" && verb != "POST" && verb != "HEAD") return fail(ERROR_INVALID_PARAMETER, HINTERNET());
    if (!Version.empty() && Version != "HTTP/1.0") return fail(ERROR_INVALID_PARAMETER, HINTERNET());
    if (!headerSafe(Referrer)) return fail(ERROR_INVALID_PARAMETER, HINTERNET());
    for (const std::string& t : AcceptTypes)
        if (!headerSafe(t)) return fail(ERROR_INVALID_PARAMETER, HINTERNET());
    HINTERNET h = make(Kind::Request, Connect);
    if (!h) return h;
    h->verb = verb;
    h->object = escapeObject(ObjectName);
    h->referrer = Referrer;
    h->acceptTypes = AcceptTypes;
    return h;
}

bool HttpSendRequest(const HINTERNET& Request, const std::string& Headers, const std::string& Optional)
{
    DWORD error = 0;
    InternetObject* req = asKind(Request, Kind::Request, error);
    if (!req) return fail(error);
    if (req->sent) return fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    req->sent = true;
    const InternetObject& conn = *req->parent;
    uint32_t address = 0;
    if ((error = resolve(*req, conn.server, address)) != 0) return fail(error);
    if ((error = connectTo(*req, address, conn.port)) != 0) return fail(error);
    if ((error = sendAll(*req, requestHead(*req, Headers, Optional) + Optional)) != 0) return fail(error);
    if ((error = readHead(*req)) != 0) return fail(error);
    return true;
}

bool HttpQueryInfo(const HINTERNET& Request, DWORD InfoLevel, void* Buffer, DWORD& BufferLength)
{
    DWORD error = 0;
    InternetObject* req = asKind(Request, Kind::Request, error);
    if (!req) return fail(error);
    if (req->statusCode == 0) return fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    std::string value;
    switch (InfoLevel) {
    case HTTP_QUERY_CONTENT_LENGTH: {
        const std::string* v = findHeader(*req, "Content-Length");
        if (!v) return fail(ERROR_HTTP_HEADER_NOT_FOUND);
        value = *v;
        break;
    }
    case HTTP_QUERY_STATUS_CODE: value = std::to_string(req->statusCode); break;
    case HTTP_QUERY_STATUS_TEXT: value = req->statusText; break;
    case HTTP_QUERY_RAW_HEADERS_CRLF: value = req->rawHeaders; break;
    default: return fail(ERROR_INVALID_PARAMETER);
    }
    if (!Buffer || BufferLength < value.size() + 1) {
        BufferLength = static_cast<DWORD>(value.size() + 1);
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(Buffer, value.data(), value.size());
    static_cast<char*>(Buffer)[value.size()] = '\0';
    BufferLength = static_cast<DWORD>(value.size());
    return true;
}

bool InternetReadFile(const HINTERNET& File, void* Buffer, DWORD NumberOfBytesToRead, DWORD& NumberOfBytesRead)
{
    NumberOfBytesRead = 0;
    DWORD error = 0;
    InternetObject* req = asKind(File, Kind::Request, error);
    if (!req) return fail(error);
    if (req->statusCode == 0) return fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    if (!isOpen(*req)) return fail(ERROR_INTERNET_OPERATION_CANCELLED);
    char* out = static_cast<char*>(Buffer);
    while (NumberOfBytesRead < NumberOfBytesToRead) {
        size_t want = NumberOfBytesToRead - NumberOfBytesRead;
        if (req->hasLength) {
            if (req->remaining == 0) break;
            want = static_cast<size_t>(std::min<uint64_t>(want, req->remaining));
        }
        if (req->pendingAt == req->pending.size()) {
            if (req->atEnd) break;
            // What the socket has, never past the announced length: the
            // following reads are served from it without a wait.
            req->pending.clear();
            req->pendingAt = 0;
            size_t receive = kReceiveBytes;
            if (req->hasLength) receive = static_cast<size_t>(std::min<uint64_t>(receive, req->remaining));
            if (!receiveSome(*req, req->pending, receive, error)) {
                if (error) return fail(error);
                req->atEnd = true;
                break;
            }
        }
        const size_t n = std::min(want, req->pending.size() - req->pendingAt);
        std::memcpy(out + NumberOfBytesRead, req->pending.data() + req->pendingAt, n);
        req->pendingAt += n;
        NumberOfBytesRead += static_cast<DWORD>(n);
        if (req->hasLength) req->remaining -= n;
    }
    return true;
}

bool InternetSetOption(const HINTERNET& Internet, DWORD Option, DWORD Value)
{
    if (Option != INTERNET_OPTION_CONNECT_TIMEOUT && Option != INTERNET_OPTION_RECEIVE_TIMEOUT)
        return fail(ERROR_INVALID_PARAMETER);
    if (!Internet) {
        Defaults& d = defaults();
        std::lock_guard lock(d.mutex);
        (Option == INTERNET_OPTION_CONNECT_TIMEOUT ? d.connectTimeout : d.receiveTimeout) = Value;
        return true;
    }
    if (Internet->closed.load()) return fail(ERROR_INVALID_HANDLE);
    (Option == INTERNET_OPTION_CONNECT_TIMEOUT ? Internet->connectTimeout : Internet->receiveTimeout) = Value;
    return true;
}

bool InternetCloseHandle(const HINTERNET& Internet)
{
    if (!Internet || Internet->closed.exchange(true)) return fail(ERROR_INVALID_HANDLE);
    // Wakes a call blocked on this handle or on one made from it; the
    // socket is shut down so the peer learns at once. Its descriptor stays
    // until the last reference goes.
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(Internet->wakeFd, &one, sizeof one);
    if (const int s = Internet->sock.load(); s >= 0) ::shutdown(s, SHUT_RDWR);
    return true;
}

}  // namespace wininet
