#include "netcomp/qorpop3.h"

#include "common/strs.h"
#include "netcomp/fire.h"
#include "platform/app.h"
#include "platform/codepage.h"

#include <charconv>
#include <climits>
#include <memory>
#include <optional>
#include <string>

namespace {

const char* const kTerminator = "\r\n.\r\n";

// Characters that would end a command line early, or cut it short.
const TCharSet kLineBreaks = CharsOf(std::string_view("\r\n\0", 3));

int portOf(const AnsiString& Port)
{
    int value = 0;
    const char* end = Port.data() + Port.size();
    const auto [at, ec] = std::from_chars(Port.data(), end, value);
    if (Port.empty() || ec != std::errc() || at != end || value < 0 || value > 65535) return 110;
    return value;
}

// Size x 100 / Total rounded to the nearest whole number, halves to the even
// neighbour; 100 when the total is unknown (0 or less). Kept within 16 bits.
unsigned short percentOf(long long Size, long long Total)
{
    if (Total <= 0) return 100;
    const long long scaled = Size * 100;
    long long q = scaled / Total;
    const long long r2 = (scaled % Total) * 2;
    if (r2 > Total || (r2 == Total && q % 2 != 0)) ++q;
    return static_cast<unsigned short>(q > USHRT_MAX ? USHRT_MAX : q);
}

// Word N (from 1) of a reply text, words parted by blanks; empty when the
// text has fewer words.
std::string_view wordOf(std::string_view Text, int N)
{
    std::size_t at = 0;
    std::string_view word;
    for (int i = 0; i < N; ++i) {
        at = Text.find_first_not_of(' ', at);
        if (at == std::string_view::npos) return {};
        const std::size_t end = std::min(Text.find(' ', at), Text.size());
        word = Text.substr(at, end - at);
        at = end;
    }
    return word;
}

// Whether a word is a decimal number: digits only, no sign.
bool isDecimal(std::string_view Word)
{
    return !Word.empty() && Word.find_first_not_of("0123456789") == std::string_view::npos;
}

// A word as a count: a decimal number that an int holds.
std::optional<int> countOf(std::string_view Word)
{
    if (!isDecimal(Word)) return std::nullopt;
    int value = 0;
    const char* end = Word.data() + Word.size();
    const auto [stop, ec] = std::from_chars(Word.data(), end, value);
    if (ec != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace

TQorPOP::TQorPOP(QObject* Owner) : QObject(Owner)
{
    socket_ = new TFxSock(this);
    socket_->OnConnect = [this](TFxSock*) { SocketConnect(); };
    socket_->OnDisconnect = [this](TFxSock*) { SocketDisconnect(); };
    socket_->OnHostResolved = [this](TFxSock* s) { fire(OnConnecting, s, s); };
}

TQorPOP::~TQorPOP()
{
    // The messages this client made go with it (they are its children); the
    // socket closes without a word to the server.
    socket_->OnConnect = nullptr;
    socket_->OnDisconnect = nullptr;
    socket_->OnHostResolved = nullptr;
}

void TQorPOP::SocketConnect()
{
    Connected = true;
    fire(OnConnect, socket_);
}

void TQorPOP::SocketDisconnect()
{
    Connected = false;
    fire(OnDisconnect, socket_);
}

void TQorPOP::CloseSocket()
{
    // Only an open connection is closed, and only its closing notifies.
    if (socket_->Connected()) socket_->Disconnect();
    Connected = false;
}

void TQorPOP::Error(QObject* Sender, int Code)
{
    ErrorFlag = true;
    DeletedMessages.Clear();
    CloseSocket();
    fire(OnError, Sender, Code, ReplyText);
}

void TQorPOP::SocketFailure(int Code, const AnsiString& Text)
{
    ReplyText = Text;
    Error(socket_, Code);
    throw ESockError(Text);
}

void TQorPOP::SendCommand(const AnsiString& Line)
{
    app::ProcessMessages();
    socket_->SetTimeOut(TimeOut);
    try {
        socket_->Write(Line);
    } catch (const EAbortError&) {
        AnsiString text;
        socket_->ErrorText(sockets::WSAETIMEDOUT, text);
        SocketFailure(sockets::WSAETIMEDOUT, text);
    } catch (const ESockError& e) {
        SocketFailure(socket_->LastErrorNo() != 0 ? socket_->LastErrorNo() : sockets::WSAENOTCONN, e.message());
    }
    fire(OnSendTextToSocket, this, Line);
}

AnsiString TQorPOP::Receive()
{
    char buffer[1024];
    int n = 0;
    socket_->SetTimeOut(TimeOut);
    try {
        n = socket_->ReceiveBuf(buffer, sizeof buffer);
    } catch (const EAbortError&) {
        const int code = socket_->TimedOut() ? sockets::WSAETIMEDOUT : sockets::WSAEINTR;
        AnsiString text;
        socket_->ErrorText(code, text);
        SocketFailure(code, text);
    } catch (const ESockError& e) {
        SocketFailure(socket_->LastErrorNo(), e.message());
    }
    if (n <= 0) SocketFailure(sockets::WSAECONNRESET, "Connection closed");
    return AnsiString(buffer, static_cast<size_t>(n));
}

AnsiString TQorPOP::ReadReply()
{
    app::ProcessMessages();
    // The reply is judged once its first line is complete; what arrives with
    // it beyond that line is kept (a retrieved message begins there).
    AnsiString data = Receive();
    std::size_t lineEnd;
    while ((lineEnd = data.find("\r\n")) == AnsiString::npos) {
        if (data.size() >= static_cast<std::size_t>(MaxReplyLine))
            SocketFailure(sockets::WSAEMSGSIZE, "Reply line too long");
        data += Receive();
    }
    ReplyStatus = Trim(std::string_view(data).substr(0, 4));
    ReplyText = lineEnd > 4 ? Trim(std::string_view(data).substr(4, lineEnd - 4)) : AnsiString();
    ErrorFlag = ReplyStatus == "-ERR";
    fire(OnReceiveTextFromSocket, this, data);
    return data;
}

void TQorPOP::Connect()
{
    DeletedMessages.Clear();
    MessageCount = 0;
    // A connection still open (a refused greeting leaves one) is dropped.
    CloseSocket();
    socket_->Port = portOf(Port);
    socket_->Host = Host;
    socket_->SetTimeOut(TimeOut);
    ErrorFlag = false;
    try {
        if (IsIPAddress(Host))
            fire(OnConnecting, socket_, socket_);
        else
            fire(OnLookup, socket_, socket_);
        socket_->Connect();
    } catch (const ESockError& e) {
        // The socket's error notification, then the failure shows in ErrorFlag.
        ReplyText = e.message();
        const int code = socket_->TimedOut() ? sockets::WSAETIMEDOUT : socket_->LastErrorNo();
        Error(socket_, code != 0 ? code : sockets::WSAECONNREFUSED);
        return;
    } catch (...) {
        ErrorFlag = true;
        return;
    }
    if (!Connected) return;
    try {
        ReadReply();  // the greeting; "-ERR" leaves ErrorFlag set
    } catch (...) {
        ErrorFlag = true;  // the connection is closed and the error reported
        return;
    }
    LoggedIn = false;
    Aborted = false;
}

bool TQorPOP::Login()
{
    if (!Connected) throw Exception("Invalid Op. Not connected.");
    SendCommand("USER " + DelChars(UserId, kLineBreaks) + "\r\n");
    ReadReply();
    if (ErrorFlag) {
        Error(this, QorPopErrLogin);
        return false;
    }
    SendCommand("PASS " + DelChars(UserPasswd, kLineBreaks) + "\r\n");
    ReadReply();
    if (ErrorFlag) {
        Error(this, QorPopErrLogin);
        return false;
    }
    LoggedIn = true;
    return true;
}

void TQorPOP::GetStat()
{
    SendCommand("STAT\r\n");
    ReadReply();
    if (ErrorFlag) {
        Error(this, QorPopErrCommand);
        return;
    }
    // The counts are believed only as counts: a reply that gives anything
    // else is no answer, and the dialogue ends as for a refusal.
    const auto badReply = [this](const char* Command) {
        ReplyText = codepage::fromUtf8("Неверный ответ сервера на ") + Command +
                    (ReplyText.empty() ? "" : ": " + ReplyText);
        Error(this, QorPopErrCommand);
    };
    // STAT gives the number of messages and their size in octets (which may
    // well pass what an int holds; only its form is checked).
    const std::optional<int> count = countOf(wordOf(ReplyText, 1));
    const std::string_view octets = wordOf(ReplyText, 2);
    if (!count || (!octets.empty() && !isDecimal(octets))) return badReply("STAT");
    MessageCount = *count;
    NewMessageCount = 0;
    LastSupported = true;
    SendCommand("LAST\r\n");
    ReadReply();
    if (ErrorFlag) {
        LastSupported = false;  // no new messages known; nothing is reported
        return;
    }
    const std::optional<int> last = countOf(wordOf(ReplyText, 1));
    if (!last) return badReply("LAST");
    NewMessageCount = std::max(MessageCount - *last, 0);
}

bool TQorPOP::RetrieveMessage(int Index, bool HeadersOnly, TQorMsg& Message)
{
    if (!Connected) throw Exception("Not connected.");
    fire(OnBeforeRetrieve, this, Index);
    std::optional<TMailTempFile> file(std::in_place, "qor_msg.$$$");

    const AnsiString number = std::to_string(Index);
    SendCommand("LIST " + number + "\r\n");
    ReadReply();
    // A size that is no count is as good as none.
    const int size = countOf(wordOf(ReplyText, 2)).value_or(100);

    SendCommand((HeadersOnly ? "TOP " + number + " 0" : "RETR " + number) + "\r\n");
    AnsiString buffer = ReadReply();
    if (ErrorFlag) {
        file.reset();
        Error(this, QorPopErrRetrieve);
        return false;
    }

    unsigned mark = RetrieveProgressStep;
    TFileStream& out = file->Stream();
    out.WriteBuffer(buffer.data(), static_cast<int>(buffer.size()));
    long long written = static_cast<long long>(buffer.size());
    while (buffer.find(kTerminator) == AnsiString::npos) {
        app::ProcessMessages();
        if (Aborted) return false;  // the file goes with its holder
        // The terminator may be split across two receives: the last four
        // characters go into the next search.
        const AnsiString data = Receive();
        fire(OnReceiveTextFromSocket, this, data);
        buffer = (buffer.size() > 4 ? buffer.substr(buffer.size() - 4) : buffer) + data;
        out.WriteBuffer(data.data(), static_cast<int>(data.size()));
        written += static_cast<long long>(data.size());
        RetrievePercent = percentOf(written, size);
        if (RetrievePercent >= mark) {
            fire(OnRetrieveProgress, this, RetrievePercent);
            mark += RetrieveProgressStep;
        }
    }
    if (RetrievePercent < 100) fire(OnRetrieveProgress, this, static_cast<unsigned short>(100));

    TExStringList lines;
    lines.SetText(file->ReadAll());
    file.reset();
    if (lines.Count() > 0) lines.Delete(0);                // the status line
    if (lines.Count() > 0) lines.Delete(lines.Count() - 1);  // the terminator
    TExStringList unstuffed;
    for (const AnsiString& line : lines)
        unstuffed.Add(line.size() > 1 && line[0] == '.' ? line.substr(1) : line);
    Message.SetRawMail(unstuffed);
    Message.Size = size;
    if (GetUIDLsOnRetrieve) Message.UIDL = GetUIDL(Index);
    fire(OnAfterRetrieve, this);
    return true;
}

bool TQorPOP::IsDeletedMessage(int Index) const
{
    const AnsiString number = std::to_string(Index);
    for (const AnsiString& d : DeletedMessages) {
        if (d == number) return true;
    }
    return false;
}

int TQorPOP::RetrieveAllMessages(TQorMsgList& List, bool HeadersOnly)
{
    List.Clear();
    int count = 0;
    for (int n = 1; n <= MessageCount; ++n) {
        if (IsDeletedMessage(n)) continue;
        // The message is this client's until the list takes it; an error on
        // the way frees it.
        auto message = std::make_unique<TQorMsg>(this);
        if (HeadersOnly)
            RetrieveHeader(n, *message);
        else
            Retrieve(n, *message);
        if (Aborted) break;
        List.Add(message.release());
        ++count;
    }
    return count;
}

AnsiString TQorPOP::GetUIDL(int Index)
{
    SendCommand("UIDL " + std::to_string(Index) + "\r\n");
    ReadReply();
    if (ErrorFlag) {
        Error(this, QorPopErrCommand);
        return {};
    }
    const std::size_t blank = ReplyText.find(' ');
    return blank == AnsiString::npos ? ReplyText : ReplyText.substr(blank + 1);
}

void TQorPOP::Abort()
{
    Aborted = true;
    socket_->Abort();
}

void TQorPOP::Disconnect()
{
    if (!Connected) return;
    try {
        socket_->SetTimeOut(TimeOut);
        socket_->Write("QUIT\r\n");  // the reply is not read
        fire(OnSendTextToSocket, this, AnsiString("QUIT\r\n"));
    } catch (const ESockError&) {
        // The connection is gone already: it is closed all the same.
    }
    DeletedMessages.Clear();
    CloseSocket();
    app::ProcessMessages();
}
