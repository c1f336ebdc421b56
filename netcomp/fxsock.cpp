#include "netcomp/fxsock.h"

#include "netcomp/fire.h"
#include "platform/app.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

namespace {

// Instances that have started the socket library; the last one cleans up.
int instanceCount = 0;

constexpr int kNotifyMask =
    sockets::FD_READ | sockets::FD_OOB | sockets::FD_ACCEPT | sockets::FD_CONNECT | sockets::FD_CLOSE;

struct ErrorRow {
    int code;
    const char* text;
};

constexpr ErrorRow kErrorTexts[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};

}  // namespace

AnsiString NthWord(const AnsiString& Text, char Delimiter, int N)
{
    AnsiString result;
    int seen = 0;
    for (char c : Text) {
        if (c == Delimiter) {
            if (++seen >= N) break;
            continue;
        }
        if (seen == N - 1) result += c;
    }
    return result;
}

// ---------------------------------------------------------------- TThreadTimer

TThreadTimer::TThreadTimer(QObject* Owner) : QObject(Owner)
{
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { app::guard([this] { Timer(); }); });
}

TThreadTimer::~TThreadTimer()
{
    enabled_ = false;
    timer_.stop();
}

void TThreadTimer::SetEnabled(bool Value)
{
    if (Value == enabled_) return;
    enabled_ = Value;
    UpdateTimer();
}

void TThreadTimer::SetInterval(unsigned Value)
{
    if (Value == interval_) return;
    interval_ = Value;
    UpdateTimer();
}

void TThreadTimer::SetOnTimer(TNotifyEvent Value)
{
    onTimer_ = std::move(Value);
    UpdateTimer();
}

void TThreadTimer::Timer() { fire(onTimer_, this); }

void TThreadTimer::UpdateTimer()
{
    timer_.stop();
    if (interval_ == 0 || !enabled_ || !onTimer_) return;
    timer_.start(interval_ > static_cast<unsigned>(INT_MAX) ? INT_MAX : static_cast<int>(interval_));
    if (!timer_.isActive()) throw Exception("No Timer");
}

// --------------------------------------------------------------------- TFxSock

TFxSock::TFxSock(QObject* Owner) : QObject(Owner)
{
    Status(8, "Create");
    ioBuffer_ = std::make_unique<char[]>(kIOBufferSize);
    timeOutTimer_ = new TThreadTimer(this);
    timeOutTimer_->SetEnabled(false);
    timeOutTimer_->SetOnTimer([this](TThreadTimer*) { TimerExpired(); });
    lookup_ = std::make_unique<sockets::HostLookup>(
        [this](int error, uint32_t address) { HostReply(error, address); });
    InitWinsock();
}

TFxSock::~TFxSock()
{
    destroying_ = true;  // no status reports and no OnDisconnect from here on
    try {
        Abort();
        Cancel();
    } catch (...) {
    }
    lookup_.reset();  // a look-up still running answers nobody
    delete timeOutTimer_;
    timeOutTimer_ = nullptr;
    try {
        CloseSocket();
    } catch (...) {
    }
    if (started_ && --instanceCount == 0) sockets::WSACleanup();
}

void TFxSock::SetTimeOut(int Value)
{
    if (Value < 0) throw ESockError("TimeOut must not be negative");
    timeOut_ = Value;
}

void TFxSock::InitWinsock()
{
    Status(8, "Initializing Winsock");
    try {
        started_ = true;
        if (++instanceCount == 1) {
            sockets::WSAData data;
            sockets::WSAStartup(0x0101, data);
            const auto version = [](uint16_t v) {
                return std::to_string(v >> 8) + "." + std::to_string(v & 0xFF);
            };
            winsockInfo_.Add("Version= " + version(data.Version));
            winsockInfo_.Add("High Version= " + version(data.HighVersion));
            winsockInfo_.Add("Description= " + data.Description);
            winsockInfo_.Add("System= " + data.SystemStatus);
            winsockInfo_.Add("Max Sockets= " + std::to_string(data.MaxSockets));
            winsockInfo_.Add("Max Udp pack size= " + std::to_string(data.MaxUdpDg));
        }
        socketHandle_ = sockets::socket();
        if (socketHandle_ == sockets::INVALID_SOCKET) RaiseSockError(sockets::lastError());
        if (sockets::setLingerReset(socketHandle_) != 0) RaiseSockError(sockets::lastError());
        BindSocket();
    } catch (...) {
        if (socketHandle_ != sockets::INVALID_SOCKET) sockets::closesocket(socketHandle_);
        socketHandle_ = sockets::INVALID_SOCKET;
        started_ = false;
        if (--instanceCount == 0) sockets::WSACleanup();
        throw ESockError("Initializaton of windows sockets failed");
    }
}

void TFxSock::BindSocket()
{
    if (sockets::asyncSelect(
            socketHandle_, [this](sockets::SOCKET, int event, int error) { WndMessage(event, error); },
            kNotifyMask) != 0)
        RaiseSockError(sockets::lastError());
}

void TFxSock::Status(int Level, const AnsiString& Text)
{
    if (Level > ReportLevel) return;
    statusText_ = Text;
    if (destroying_) return;
    try {
        fire(OnStatus, this, AnsiString(statusText_));
    } catch (...) {
    }
}

TFxSock::TOneWait::TOneWait(TFxSock& Sock) : sock_(Sock), outer_(!Sock.timerHeld_)
{
    if (!outer_) return;
    sock_.StartTimer();
    sock_.timerHeld_ = true;
}

TFxSock::TOneWait::~TOneWait()
{
    if (!outer_) return;
    sock_.timerHeld_ = false;
    sock_.StopTimer();
}

void TFxSock::StartTimer()
{
    if (timerHeld_) return;  // the running wait's timer goes on
    Status(8, "Timer On");
    timedOut_ = false;
    timeOutTimer_->SetInterval(static_cast<unsigned>(timeOut_));
    timeOutTimer_->SetEnabled(true);
}

void TFxSock::StopTimer()
{
    if (timerHeld_) return;
    Status(8, "Timer Off");
    timeOutTimer_->SetEnabled(false);
}

void TFxSock::TimerExpired()
{
    Status(8, "Timer Triggered");
    Status(8, "Timer Off");
    timeOutTimer_->SetEnabled(false);  // also when a whole exchange holds it
    timedOut_ = true;
    asyncDone_ = true;
    Abort();
}

void TFxSock::Abort()
{
    Status(8, "Abort");
    aborted_ = true;
    Cancel();
}

void TFxSock::Cancel()
{
    Status(8, "Canceling");
    canceled_ = true;
}

void TFxSock::WndMessage(int Event, int Error)
{
    try {
        asyncOk_ = Error == 0;
        switch (Event) {
        case sockets::FD_ACCEPT:
            connected_ = true;
            asyncDone_ = true;  // ends the wait of Accept
            break;
        case sockets::FD_CONNECT:
            if (!asyncOk_) lastErrorNo_ = Error;
            if (asyncOk_) {
                connected_ = true;
                fire(OnConnect, this);
            }
            break;
        case sockets::FD_CLOSE:
            // Data still waiting is read first; the end then shows as a read
            // of 0 bytes.
            if (!DataAvailable()) CloseSocket();
            break;
        default:
            break;
        }
    } catch (...) {
    }
}

void TFxSock::HostReply(int Error, uint32_t Address)
{
    asyncOk_ = Error == 0;
    if (Error != 0) lastErrorNo_ = Error;
    resolvedAddress_ = Address;
    asyncDone_ = true;
}

void TFxSock::ResolveHost()
{
    Status(8, "Resolve Host");
    const uint32_t address = sockets::inetAddr(Host);
    if (address != sockets::INADDR_NONE_ADDR) {
        remoteAddress_ = address;
        return;
    }
    remoteAddress_ = 0;
    StartTimer();
    asyncDone_ = false;
    try {
        lookup_->start(Host);
        while (!(asyncDone_ || timedOut_ || canceled_)) sockets::waitForEvents();
    } catch (...) {
        lookup_->cancel();
        StopTimer();
        throw;
    }
    lookup_->cancel();  // a reply still to come is dropped
    StopTimer();
    if (timedOut_) throw ESockError("Host Lookup Timed Out");
    if (canceled_) throw ESockError("Host Lookup Canceled");
    if (!asyncOk_) throw ESockError("Host Lookup Failed");
    remoteAddress_ = resolvedAddress_;
    fire(OnHostResolved, this);
}

void TFxSock::Connect()
{
    Status(8, "Connecting");
    canceled_ = false;
    if (connected_) throw ESockError("Already connected");
    aborted_ = false;
    lastErrorNo_ = 0;

    bool secondPass = false;
    for (;;) {
        try {
            ResolveHost();
        } catch (const ESockError& e) {
            if (e.message() == "Host Lookup Timed Out" || e.message() == "Host Lookup Canceled") throw;
            remoteAddress_ = 0;
        }
        if (remoteAddress_ != 0) break;
        if (secondPass || !OnInvalidHost) throw ESockError("Null Remote Address");
        bool handled = false;
        fire(OnInvalidHost, handled);
        if (!handled) throw ESockError("Null Remote Address");
        secondPass = true;
    }

    asyncDone_ = false;
    asyncOk_ = true;
    if (sockets::connect(socketHandle_, remoteAddress_, static_cast<uint16_t>(Port)) != 0) {
        const int code = sockets::lastError();
        if (code != sockets::WSAEWOULDBLOCK) {
            DropSocket();
            RaiseSockError(code);
        }
    }

    StartTimer();
    try {
        while (!(connected_ || timedOut_ || canceled_ || !asyncOk_)) sockets::waitForEvents();
    } catch (...) {
        StopTimer();
        DropSocket();
        throw;
    }
    StopTimer();
    if (!timedOut_ && !canceled_ && asyncOk_) return;

    // The attempt is over: the next Connect starts on a fresh socket.
    DropSocket();
    fire(OnConnectionFailed, this);
    if (timedOut_) throw ESockError("Connection Timed out");
    if (canceled_) throw ESockError("Connection Canceled");
    throw ESockError("Connection Failed");
}

void TFxSock::Disconnect()
{
    Status(8, "Disconnecting");
    CloseSocket();
}

void TFxSock::CloseSocket()
{
    Status(4, "Request Close Socket");
    connected_ = false;
    if (socketHandle_ == sockets::INVALID_SOCKET) return;
    const sockets::SOCKET old = socketHandle_;
    socketHandle_ = sockets::INVALID_SOCKET;
    if (sockets::closesocket(old) != 0) RaiseSockError(sockets::lastError());
    if (destroying_) return;
    // The fresh socket is in place before OnDisconnect, so its handler may
    // connect again, or free the component.
    socketHandle_ = sockets::socket();
    if (socketHandle_ != sockets::INVALID_SOCKET) BindSocket();
    fire(OnDisconnect, this);
}

void TFxSock::DropSocket() noexcept
{
    connected_ = false;
    if (socketHandle_ != sockets::INVALID_SOCKET) sockets::closesocket(socketHandle_);
    socketHandle_ = sockets::socket();
    if (socketHandle_ == sockets::INVALID_SOCKET) return;
    try {
        BindSocket();
    } catch (...) {
    }
}

sockets::SOCKET TFxSock::Accept()
{
    Status(4, "Accepting");
    while (!(asyncDone_ || canceled_)) sockets::waitForEvents();
    if (canceled_) throw ESockError("Accepting Canceled");
    if (!asyncOk_) throw ESockError("Error creating Data Connection");
    uint32_t address = 0;
    const sockets::SOCKET s = sockets::accept(socketHandle_, &address, nullptr);
    if (s == sockets::INVALID_SOCKET) RaiseSockError(sockets::lastError());
    sockets::asyncSelect(
        s, [this](sockets::SOCKET, int event, int error) { WndMessage(event, error); }, kNotifyMask);
    remoteAddress_ = address;
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket send aborted");
    }
    return s;
}

void TFxSock::CertifyConnect()
{
    Status(8, "Checking Connection");
    bool secondPass = false;
    while (!connected_) {
        if (secondPass || !OnConnectionRequired) throw Exception("Not Connected");
        bool handled = false;
        fire(OnConnectionRequired, handled);
        if (!handled) throw Exception("Not Connected");
        secondPass = true;
    }
}

void TFxSock::SendBuffer(const void* Data, size_t Length)
{
    Status(4, "Sending Buffer");
    StartTimer();
    try {
        if (!canceled_) {
            const char* p = static_cast<const char*>(Data);
            size_t left = Length != 0 ? Length : strnlen(p, 65535);
            while (left > 0 && !canceled_) {
                const int chunk = left > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(left);
                const int n = sockets::send(socketHandle_, p, chunk, moreToFollow_ ? sockets::MSG_MORE_FLAG : 0);
                if (n == 0) break;
                if (n > 0) {
                    p += n;
                    left -= static_cast<size_t>(n);
                    continue;
                }
                AnsiString text;
                CheckSockError(sockets::WSAEWOULDBLOCK, text);
                sockets::waitForEvents();  // until there is room, a time-out or Abort
            }
        }
    } catch (...) {
        StopTimer();
        throw;
    }
    StopTimer();
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket send aborted");
    }
}

void TFxSock::Write(const AnsiString& Text)
{
    Status(8, "Write");
    SendBuffer(Text.data(), Text.size());
}

void TFxSock::Writeln(const AnsiString& Text)
{
    Status(8, "Writeln");
    Write(Text + "\r\n");
}

void TFxSock::ReadLn(AnsiString& Line)
{
    Status(8, "ReadLn");
    StartTimer();
    struct TimerStop {
        TFxSock* self;
        ~TimerStop() { self->StopTimer(); }
    } stop{this};

    char* const buf = ioBuffer_.get();
    int taken = 0;  // bytes of this line already taken from the socket
    int lineEnd = -1;
    do {
        if (taken == kIOBufferSize) throw ESockError("Reply line too long");
        const int n = sockets::recv(socketHandle_, buf + taken, kIOBufferSize - taken, sockets::MSG_PEEK_FLAG);
        if (n == 0) {
            Line.clear();
            return;
        }
        bool wait = false;
        if (n < 0) {
            lastErrorNo_ = sockets::lastError();
            if (lastErrorNo_ == sockets::WSAENOTCONN) {
                Line.clear();
                return;
            }
            AnsiString text;
            CheckSockError(sockets::WSAEWOULDBLOCK, text);
            wait = true;
        } else {
            const void* lf = std::memchr(buf + taken, '\n', static_cast<size_t>(n));
            if (lf) {
                lineEnd = static_cast<int>(static_cast<const char*>(lf) - buf);
                break;
            }
            const int got = sockets::recv(socketHandle_, buf + taken, n, 0);
            if (got < 0) {
                AnsiString text;
                CheckSockError(sockets::WSAEWOULDBLOCK, text);
            } else {
                taken += got;
            }
        }
        if (wait)
            sockets::waitForEvents();  // nothing to read yet: sleep until something happens
        else
            app::ProcessMessages();
    } while (!canceled_);

    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket readln aborted");
    }
    const int rest = lineEnd + 1 - taken;
    int got = 0;
    while (got < rest) {
        const int n = sockets::recv(socketHandle_, buf + taken + got, rest - got, 0);
        if (n <= 0) {  // the bytes were seen waiting: only an error takes them away
            AnsiString text;
            CheckSockError(sockets::WSAEWOULDBLOCK, text);
            throw ESockError("Connection closed");
        }
        got += n;
    }
    Line.assign(buf, static_cast<size_t>(lineEnd + 1));
}

int TFxSock::ReceiveBuf(void* Buffer, int Count)
{
    Status(8, "ReceiveBuf");
    StartTimer();
    struct TimerStop {
        TFxSock* self;
        ~TimerStop() { self->StopTimer(); }
    } stop{this};

    while (!canceled_) {
        const int n = sockets::recv(socketHandle_, Buffer, Count, 0);
        if (n >= 0) return n;
        lastErrorNo_ = sockets::lastError();
        if (lastErrorNo_ == sockets::WSAENOTCONN || lastErrorNo_ == sockets::WSAEBADF ||
            lastErrorNo_ == sockets::WSAENOTSOCK)
            return 0;  // closed meanwhile: a fresh socket, or none, stands in its place
        AnsiString text;
        CheckSockError(sockets::WSAEWOULDBLOCK, text);
        sockets::waitForEvents();  // nothing to read yet: sleep until something happens
    }
    canceled_ = false;
    throw EAbortError("Socket receive aborted");
}

int16_t TFxSock::ReplyNumberOf(const AnsiString& Line) noexcept
{
    long long number = 0;
    int digits = 0;
    while (digits < 10 && digits < static_cast<int>(Line.size()) && Line[digits] >= '0' &&
           Line[digits] <= '9') {
        number = number * 10 + (Line[digits] - '0');
        ++digits;
    }
    if (digits == 0) return 0;
    // A number too big for the field reads as the largest one, which every
    // caller takes for a refusal (and never wraps round to an acceptance).
    if (number > 32767) return 32767;
    return static_cast<int16_t>(number);
}

void TFxSock::Transaction(const AnsiString& Command, AnsiString& Reply)
{
    Status(8, "Transaction");
    replyNumber_ = 0;
    Writeln(Command);
    ReadLn(lastReply_);
    if (!lastReply_.empty()) {
        Status(1, lastReply_);
        replyNumber_ = ReplyNumberOf(lastReply_);
    }
    Reply = lastReply_;
}

void TFxSock::SendStream(TStream& Stream)
{
    Status(8, "SendStream");
    Stream.SetPosition(0);
    if (!canceled_) {
        bytesSent_ = 0;
        bytesTotal_ = Stream.Size();
        char* const buf = ioBuffer_.get();
        do {
            const int want = std::min(bytesTotal_ - Stream.Position(), kIOBufferSize);
            const int got = Stream.Read(buf, want);
            if (got <= 0) break;
            int off = 0;
            while (off < got && !canceled_) {
                const int n =
                    sockets::send(socketHandle_, buf + off, got - off, moreToFollow_ ? sockets::MSG_MORE_FLAG : 0);
                if (n == 0) return;
                if (n > 0) {
                    off += n;
                    bytesSent_ += n;
                    fire(OnPacketSent, this);
                    app::ProcessMessages();
                    continue;
                }
                AnsiString text;
                CheckSockError(sockets::WSAEWOULDBLOCK, text);
                sockets::waitForEvents();  // until there is room or Abort
            }
        } while (Stream.Position() < Stream.Size() && !canceled_);
    }
    if (canceled_) {
        canceled_ = false;
        throw EAbortError("Socket send aborted");
    }
}

bool TFxSock::DataAvailable()
{
    Status(8, "Data Available");
    return sockets::recv(socketHandle_, ioBuffer_.get(), 1, sockets::MSG_PEEK_FLAG) >= 1;
}

int TFxSock::ClearInput()
{
    Status(8, "Clearing Input");
    auto scratch = std::make_unique<char[]>(kIOBufferSize);
    const int n = sockets::recv(socketHandle_, scratch.get(), kIOBufferSize, 0);
    return n > 0 ? n : 0;
}

void TFxSock::ErrorText(int Code, AnsiString& Text)
{
    Status(8, "Looking Up Error Message" + Text);
    Text.clear();
    if (Code == 0) return;
    for (const ErrorRow& row : kErrorTexts) {
        if (row.code == Code) {
            Text = std::to_string(Code) + ":" + row.text;
            return;
        }
    }
    Text = "Unknown Error No. " + std::to_string(Code);
}

void TFxSock::CheckSockError(int Expected, AnsiString& Text)
{
    lastErrorNo_ = sockets::lastError();
    if (lastErrorNo_ != Expected && lastErrorNo_ > 10000) {
        ErrorText(lastErrorNo_, Text);
        throw ESockError(Text);
    }
}

void TFxSock::RaiseSockError(int Code)
{
    lastErrorNo_ = Code;
    AnsiString text;
    ErrorText(Code, text);
    if (text.empty()) text = "Unknown Error No. 0";
    throw ESockError(text);
}
