#pragma once
// The client socket of the mail components: a TCP connection that looks
// blocking and line-oriented to its callers while the socket itself runs in
// notification mode. Every wait (host look-up, connection, sending, reading a
// line) keeps the application's event loop running, so timers, the user's
// cancel button and the component's own events are handled while a call is
// still in progress; Abort() from any of them ends the running wait.
//
// Waits are timed by TimeOut (milliseconds, 0 = none): the look-up, the
// connection, SendBuffer and ReadLn. SendStream and Accept are not timed.
// A descendant may time several of them as one wait (TOneWait), so that one
// TimeOut bounds a whole reply however many lines it has.
//
// Abort (and the time-out, which aborts) ends the running wait at once; the
// dialogue is then out of step, and Aborted() stays set until the next
// Connect so that a descendant waits for nothing more on that connection.
//
// The component must not be destroyed while one of its calls is on the stack
// (inside its events, or from something its waits let run): abort the call
// and free the component afterwards (deleteLater).

#include "netcomp/fxextstr.h"
#include "platform/ansistring.h"
#include "platform/exception.h"
#include "platform/sockets.h"
#include "platform/streams.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

// Look-up, connection and socket errors. Socket errors read
// "<code>:<text>", for example "10061:Connection refused".
class ESockError : public Exception {
public:
    using Exception::Exception;
};

// A send or read ended by Abort or by the time-out.
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

// The N-th field (from 1) of Text split at Delimiter; empty when there is no
// such field. Neighbouring delimiters make empty fields.
AnsiString NthWord(const AnsiString& Text, char Delimiter, int N);

// A timer component: fires OnTimer every Interval milliseconds while Enabled,
// Interval is not 0 and OnTimer is set. An exception thrown by OnTimer goes
// to the application's exception handler.
class TThreadTimer : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TThreadTimer* Sender)>;

    explicit TThreadTimer(QObject* Owner = nullptr);
    ~TThreadTimer() override;

    bool Enabled() const noexcept { return enabled_; }
    void SetEnabled(bool Value);
    unsigned Interval() const noexcept { return interval_; }
    void SetInterval(unsigned Value);
    const TNotifyEvent& OnTimer() const noexcept { return onTimer_; }
    void SetOnTimer(TNotifyEvent Value);

protected:
    // One tick: fires OnTimer.
    virtual void Timer();

private:
    // Raises Exception "No Timer" when the timer cannot be started.
    void UpdateTimer();

    unsigned interval_ = 1000;
    QTimer timer_;
    TNotifyEvent onTimer_;
    bool enabled_ = true;
};

class TFxSock : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TFxSock* Sender)>;
    using THandlerEvent = std::function<void(bool& Handled)>;
    using TOnStatus = std::function<void(TFxSock* Sender, const AnsiString& Status)>;
    using TOnHostResolved = std::function<void(TFxSock* Sender)>;

    // Raises ESockError "Initializaton of windows sockets failed" when no
    // socket can be made.
    explicit TFxSock(QObject* Owner = nullptr);
    ~TFxSock() override;

    // ---- properties
    AnsiString Host;  // dotted IPv4 address or host name
    int Port = 0;
    int TimeOut() const noexcept { return timeOut_; }
    // Raises ESockError "TimeOut must not be negative" below 0.
    void SetTimeOut(int Value);
    int ReportLevel = 0;  // highest status level passed to OnStatus
    int Tag = 0;          // free for the owner's use

    TNotifyEvent OnDisconnect;        // the socket was closed
    TNotifyEvent OnConnect;           // the connection is established
    THandlerEvent OnInvalidHost;      // no address for Host: correct it, set Handled
    TOnHostResolved OnHostResolved;   // a host name was looked up
    TOnStatus OnStatus;               // a status text at or below ReportLevel
    TNotifyEvent OnConnectionFailed;  // Connect is about to fail

    // ---- public state
    bool Connected() const noexcept { return connected_; }
    bool Canceled() const noexcept { return canceled_; }
    bool TimedOut() const noexcept { return timedOut_; }
    // Abort or the time-out was called since the last Connect.
    bool Aborted() const noexcept { return aborted_; }
    // The last socket error code; after a failed Connect, the code of the
    // failed look-up or connection attempt (0 when neither gave one).
    int LastErrorNo() const noexcept { return lastErrorNo_; }
    const AnsiString& StatusText() const noexcept { return statusText_; }
    // The last reply line read by Transaction, with its line end.
    const AnsiString& LastReply() const noexcept { return lastReply_; }
    // The number at the start of LastReply (0 when it has none; a number
    // beyond the 16-bit range reads as 32767).
    int16_t ReplyNumber() const noexcept { return replyNumber_; }
    int BytesSent() const noexcept { return bytesSent_; }
    int BytesTotal() const noexcept { return bytesTotal_; }
    // Six lines about the socket library, filled by the first instance only.
    const TExStringList& WinsockInfo() const noexcept { return winsockInfo_; }

    // ---- operations
    // Waits for and accepts an incoming connection.
    virtual sockets::SOCKET Accept();
    // Resolves Host, connects to Port and waits for the connection.
    virtual void Connect();
    virtual void Disconnect();
    // Writeln(Command), then ReadLn into LastReply and Reply; sets
    // ReplyNumber. Continuation lines of a reply are not read here.
    virtual void Transaction(const AnsiString& Command, AnsiString& Reply);
    // Ends the running wait (Cancel).
    virtual void Abort();

    // Returns when connected; else asks OnConnectionRequired once; raises
    // Exception "Not Connected".
    void CertifyConnect();
    void Cancel();
    // Sends Length bytes (0: up to the first NUL, at most 65535).
    void SendBuffer(const void* Data, size_t Length);
    // Sends the whole text, NUL bytes included.
    void Write(const AnsiString& Text);
    void Writeln(const AnsiString& Text);
    // One line through its LF (kept, with the CR before it). Empty when the
    // peer closed the connection. Raises ESockError "Reply line too long" for
    // a line that does not fit the 64 KiB buffer.
    void ReadLn(AnsiString& Line);
    // One receive of at most Count bytes into Buffer: waits until data
    // arrives or the connection ends. The number of bytes received; 0 when
    // the peer has closed the connection (or none is open). Raises ESockError
    // for a socket error and EAbortError "Socket receive aborted" for Abort
    // or the time-out (TimedOut tells which).
    int ReceiveBuf(void* Buffer, int Count);
    // Sends the whole stream from its start (no time-out; OnPacketSent after
    // each send).
    void SendStream(TStream& Stream);
    bool DataAvailable();
    int ClearInput();
    void ErrorText(int Code, AnsiString& Text);
    // Raises ESockError for the last socket error unless it is Expected or
    // not a socket error code (10000 or below).
    void CheckSockError(int Expected, AnsiString& Text);
    void Status(int Level, const AnsiString& Text);

protected:
    // Published by descendants.
    TNotifyEvent OnPacketSent;           // after every successful send of SendStream
    THandlerEvent OnConnectionRequired;  // CertifyConnect found no connection

    void SetCanceled(bool Value) noexcept { canceled_ = Value; }

    // Times everything done while it lives as one wait: the time-out timer
    // starts when it is made and the sends and reads inside do not restart
    // it, so one TimeOut bounds them all together.
    class TOneWait {
    public:
        explicit TOneWait(TFxSock& Sock);
        ~TOneWait();
        TOneWait(const TOneWait&) = delete;
        TOneWait& operator=(const TOneWait&) = delete;

    private:
        TFxSock& sock_;
        bool outer_;  // the outermost one: it owns the timer
    };

    // While set, SendBuffer and SendStream tell the socket that more bytes
    // follow at once, so the pieces of one message share segments; the next
    // send after clearing it lets them all go.
    void SetMoreToFollow(bool Value) noexcept { moreToFollow_ = Value; }
    void SetReplyNumber(int16_t Value) noexcept { replyNumber_ = Value; }
    // The number made of the leading digits of a reply line, as Transaction
    // takes it: 0 without digits, 32767 when it does not fit 16 bits.
    static int16_t ReplyNumberOf(const AnsiString& Line) noexcept;

private:
    void InitWinsock();
    void StartTimer();
    void StopTimer();
    void TimerExpired();
    void ResolveHost();
    void CloseSocket();
    // Closes the socket silently and puts a fresh one in its place.
    void DropSocket() noexcept;
    void BindSocket();
    void WndMessage(int Event, int Error);
    void HostReply(int Error, uint32_t Address);
    [[noreturn]] void RaiseSockError(int Code);

    static constexpr int kIOBufferSize = 65536;
    std::unique_ptr<char[]> ioBuffer_;
    TExStringList winsockInfo_;
    int bytesSent_ = 0;
    bool canceled_ = false;
    bool aborted_ = false;
    bool timerHeld_ = false;  // a TOneWait runs the timer
    bool destroying_ = false;
    int lastErrorNo_ = 0;
    int timeOut_ = 0;
    AnsiString statusText_;
    TThreadTimer* timeOutTimer_ = nullptr;  // a child of this object
    bool asyncOk_ = false;
    bool timedOut_ = false;
    int bytesTotal_ = 0;
    bool asyncDone_ = false;
    uint32_t remoteAddress_ = 0;  // network byte order
    uint32_t resolvedAddress_ = 0;
    std::unique_ptr<sockets::HostLookup> lookup_;
    AnsiString lastReply_;
    int16_t replyNumber_ = 0;
    sockets::SOCKET socketHandle_ = sockets::INVALID_SOCKET;
    bool connected_ = false;
    bool moreToFollow_ = false;
    bool started_ = false;  // counted among the instances that use the socket library
};
