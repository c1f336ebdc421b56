#pragma once
// The POP3 client: connects, logs in with USER and PASS, reads the mailbox
// statistics (STAT and LAST), retrieves messages one by one (whole with RETR,
// headers only with TOP) into TQorMsg objects, optionally asks each one's
// unique id (UIDL), and quits.
//
// Every exchange is one command line out and one reply in. A reply is judged
// by its first four characters, once its first line is complete; the rest of
// that line is kept in ReplyText for error reports. A retrieved message is
// streamed into a private temporary file until the terminator line arrives,
// then split into lines, un-dot-stuffed and handed to the message parser.
//
// The calls look blocking but keep the application's event loop running
// (before every command, every receive, and on every turn of the retrieval
// loop), so the caller's timers and handlers run meanwhile; such a handler
// must not start a second dialogue on the same client. Every wait is bounded
// by TimeOut.
//
// Failures: a refusal that has a code (2001 login, 2004 retrieval, 2006
// STAT or UIDL) and every socket failure (a closed connection, a time-out, a
// receive or send error: the socket's code) go through the error path: the
// connection is closed and OnError fires with the code and ReplyText (for a
// socket failure, the failure's text). A socket failure then raises
// ESockError with that text, since the call cannot go on; a refusal makes the
// call return. Connect raises nothing: its failure shows in ErrorFlag.
// STAT and LAST are believed only when they give counts (decimal digits): a
// reply that gives anything else ends the dialogue as a refused STAT does
// (code 2006, ReplyText "Неверный ответ сервера на STAT: " or "... LAST: "
// and the server's text). A LIST size that is no count counts as missing.

#include "netcomp/fxextstr.h"
#include "netcomp/fxsock.h"
#include "netcomp/qor_util.h"
#include "netcomp/qormsg.h"

#include <QObject>

#include <functional>

// Error codes of the POP3 client.
enum : int {
    QorPopErrLogin = 2001,     // USER or PASS refused
    QorPopErrRetrieve = 2004,  // RETR or TOP refused
    QorPopErrCommand = 2006,   // STAT or UIDL refused
};

class TQorPOP : public QObject {
public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TOnBeforeRetrieve = std::function<void(QObject* Sender, int MsgIndex)>;
    using TOnDeleteEvent = std::function<void(QObject* Sender, int MsgIndex)>;
    using TToFromSocketEvent = std::function<void(QObject* Sender, const AnsiString& s)>;
    using TSocketNotifyEvent = std::function<void(QObject* Sender, TFxSock* Socket)>;

    explicit TQorPOP(QObject* Owner = nullptr);
    ~TQorPOP() override;

    // ---- properties
    AnsiString UserId;
    AnsiString UserPasswd;
    AnsiString Port = "110";  // 110 when it is not a number
    AnsiString Host;          // a dotted IPv4 address or a host name
    AnsiString StrErrorInFormatOfMsg = "Error en el formato del mensaje.";  // for callers
    unsigned short RetrieveProgressStep = 10;
    bool GetUIDLsOnRetrieve = false;
    // Ms each wait (look-up, connection, send, receive) may take; 0 = none.
    int TimeOut = 60000;

    TNotifyEvent OnConnect;
    TNotifyEvent OnDisconnect;
    TOnError OnError;
    TOnBeforeRetrieve OnBeforeRetrieve;
    TNotifyEvent OnAfterRetrieve;
    TOnCodeProgressEvent OnRetrieveProgress;
    TOnDeleteEvent OnDelete;  // no operation fires it
    TSocketNotifyEvent OnLookup;
    TSocketNotifyEvent OnConnecting;
    TToFromSocketEvent OnSendTextToSocket;
    TToFromSocketEvent OnReceiveTextFromSocket;

    // ---- public state
    bool Connected = false;
    bool LoggedIn = false;
    bool ErrorFlag = false;
    AnsiString ReplyStatus;
    AnsiString ReplyText;
    int MessageCount = 0;
    int NewMessageCount = 0;  // MessageCount less the LAST number (never below 0); 0 without LAST
    bool LastSupported = false;
    bool Aborted = false;  // set by a caller to stop a retrieval
    unsigned short RetrievePercent = 0;
    TExStringList DeletedMessages;  // numbers RetrieveAllMessages skips

    // ---- operations
    void Connect();
    // Raises Exception "Invalid Op. Not connected." when not connected.
    bool Login();
    void GetStat();
    // Raises Exception "Not connected." when not connected.
    bool RetrieveMessage(int Index, bool HeadersOnly, TQorMsg& Message);
    void Retrieve(int Index, TQorMsg& Message) { RetrieveMessage(Index, false, Message); }
    void RetrieveHeader(int Index, TQorMsg& Message) { RetrieveMessage(Index, true, Message); }
    // Empties List, then retrieves every message into it; the count added.
    int RetrieveAllMessages(TQorMsgList& List, bool HeadersOnly);
    int RetrieveAll(TQorMsgList& List) { return RetrieveAllMessages(List, false); }
    // Whether message Index is among DeletedMessages (the retrievals skip it).
    bool IsDeletedMessage(int Index) const;
    AnsiString GetUIDL(int Index);
    void Disconnect();
    // Ends the wait in hand at once (it fails as aborted, and so does any
    // retrieval under way); nothing more is waited for on this connection.
    void Abort();
    // One reply: its data as received (the whole first line at least).
    AnsiString ReadReply();
    // Sends Line as it stands (the caller includes CR LF).
    void SendCommand(const AnsiString& Line);

    // A reply's first line may not grow beyond this many bytes.
    static constexpr int MaxReplyLine = 65536;

private:
    // One receive of at most 1024 bytes; a closed connection, a time-out or
    // an error goes through SocketFailure.
    AnsiString Receive();
    [[noreturn]] void SocketFailure(int Code, const AnsiString& Text);
    // The error path: closes the connection and fires OnError.
    void Error(QObject* Sender, int Code);
    void CloseSocket();
    void SocketConnect();
    void SocketDisconnect();

    TFxSock* socket_ = nullptr;  // a child of this object
};
