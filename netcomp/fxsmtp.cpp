#include "netcomp/fxsmtp.h"

#include "netcomp/fire.h"
#include "netcomp/fxs_stream.h"
#include "platform/codepage.h"

#include <memory>
#include <random>

namespace {

const char* contentType(TSubType t)
{
    switch (t) {
    case mtEnriched: return "text/enriched";
    case mtSgml: return "text/sgml";
    case mtTabSeperated: return "text/tab-separated-values";
    case mtHtml: return "text/html";
    case mtPlain: break;
    }
    return "text/plain";
}

AnsiString joined(const TExStringList& list)
{
    AnsiString s;
    for (int i = 0; i < list.Count(); ++i) {
        if (i) s += ',';
        s += list[i];
    }
    return s;
}

bool hasLineBreakOrNul(const AnsiString& s)
{
    return s.find_first_of(std::string_view("\r\n\0", 3)) != AnsiString::npos;
}

// Appends text as lines ended by CR LF, a dot doubled at the start of a
// line. A CR LF, a lone CR or a lone LF inside the text each end a line, so
// the data never hold a bare CR or LF (which some servers take for a line
// end, and so for the end of the data). A line break at the very end of the
// text adds no empty line.
void appendLines(AnsiString& out, const AnsiString& text)
{
    size_t start = 0;
    const size_t n = text.size();
    do {
        size_t end = start;
        while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
        if (start < n && text[start] == '.') out += '.';
        out.append(text, start, end - start);
        out += "\r\n";
        if (end >= n) break;
        start = end + ((text[end] == '\r' && end + 1 < n && text[end + 1] == '\n') ? 2 : 1);
    } while (start < n);
}

AnsiString baseName(const AnsiString& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == AnsiString::npos ? path : path.substr(slash + 1);
}

}  // namespace

TFxSMTP::TFxSMTP(QObject* Owner) : TFxSock(Owner) { Port = 25; }

TFxSMTP::~TFxSMTP() = default;

void TFxSMTP::Abort() { TFxSock::Abort(); }

void TFxSMTP::ClearParameters()
{
    PostMsg.ToAddress.Clear();
    PostMsg.ToCarbonCopy.Clear();
    PostMsg.ToBlindCarbonCopy.Clear();
    PostMsg.Attachments.Clear();
}

void TFxSMTP::CheckReplyCode(const AnsiString& Line) const
{
    // A reply code is three digits, the first not 0. Without one the reply
    // is no answer at all, and nothing may count as accepted.
    if (Line.empty()) throw ESockError("Connection closed by server");
    const auto digit = [&](size_t i) { return i < Line.size() && Line[i] >= '0' && Line[i] <= '9'; };
    if (!digit(0) || !digit(1) || !digit(2) || Line[0] == '0') throw ESockError("Invalid server reply");
}

void TFxSMTP::ReadMultiLine(AnsiString& Reply)
{
    // Every line of one reply carries the same code; the reply's code is that
    // of its last line. A line that begins with a blank continues the reply
    // without a code of its own.
    const auto continued = [](const AnsiString& line) {
        return !line.empty() && (line[0] == ' ' || (line.size() >= 4 && line[3] == '-'));
    };
    const AnsiString code = Reply.substr(0, 3);
    while (continued(Reply)) {
        ReadLn(Reply);
        if (Reply.empty()) throw ESockError("Connection closed by server");
        if (Reply[0] != ' ' && Reply.compare(0, 3, code) != 0) throw ESockError("Invalid server reply");
    }
    CheckReplyCode(Reply);
    SetReplyNumber(ReplyNumberOf(Reply));
}

void TFxSMTP::CheckNothingWaits()
{
    // A reply that came before its command answers something else: every
    // later reply would be read one late, and a refusal taken for the
    // acceptance of the command before it.
    if (DataAvailable()) throw ESockError("Reply before command");
}

void TFxSMTP::Exchange(const AnsiString& Command, AnsiString& Reply)
{
    CheckNothingWaits();
    TOneWait wait(*this);  // one TimeOut for the whole reply, however many lines
    Transaction(Command, Reply);
    CheckReplyCode(Reply);
    ReadMultiLine(Reply);
}

AnsiString TFxSMTP::ExtractAddress(const AnsiString& Entry)
{
    if (Entry.find('<') != AnsiString::npos) return NthWord(NthWord(Entry, '<', 2), '>', 1);
    if (Entry.find(':') != AnsiString::npos) return NthWord(Entry, ':', 2);
    return Entry;
}

void TFxSMTP::Connect()
{
    const bool setBusy = !busy_;
    busy_ = true;
    try {
        if (hasLineBreakOrNul(UserID)) throw Exception("Invalid character in UserID");
        TFxSock::Connect();
        try {
            AnsiString reply;
            {
                TOneWait wait(*this);
                ReadLn(reply);
                SetReplyNumber(ReplyNumberOf(reply));
                CheckReplyCode(reply);
                ReadMultiLine(reply);
            }
            if (ReplyNumber() > 399) throw Exception(reply);

            bool secondHelo = false;
            for (;;) {
                Exchange("HELO " + UserID, reply);
                if (ReplyNumber() <= 299) break;
                if (secondHelo || !OnAuthenticationFailed) throw Exception("Authentication failed");
                bool handled = false;
                fire(OnAuthenticationFailed, handled);
                if (!handled) throw Exception("Authentication failed");
                secondHelo = true;
            }
        } catch (const ESockError&) {
            // Aborted, timed out, closed or out of step: nothing more is
            // said or waited for on this connection.
            TFxSock::Disconnect();
            throw;
        } catch (...) {
            // The server refused: it is told goodbye. A refusal of the QUIT
            // is what the caller sees; a connection that ends without a
            // reply to it, or a QUIT that cannot be had, leaves the refusal.
            try {
                Disconnect();
            } catch (const ESockError&) {
            }
            throw;
        }
    } catch (...) {
        if (setBusy) busy_ = false;
        throw;
    }
    if (setBusy) busy_ = false;
    // Last: the handler may free the component.
    fire(OnConnect, static_cast<TFxSock*>(this));
}

void TFxSMTP::Disconnect()
{
    SetCanceled(false);
    // After an abort or a time-out the dialogue is out of step, and the
    // caller wants it over: the connection is closed without a word.
    if (Aborted() || !Connected()) {
        TFxSock::Disconnect();
        return;
    }
    AnsiString reply;
    try {
        Exchange("QUIT", reply);
    } catch (const EAbortError&) {
        TFxSock::Disconnect();
        throw;
    } catch (const ESockError&) {
        // The server closed (or reset) the connection before it answered
        // the QUIT: it has gone, which is all the QUIT asks for.
        TFxSock::Disconnect();
        return;
    } catch (...) {
        TFxSock::Disconnect();
        throw;
    }
    TFxSock::Disconnect();
    if (ReplyNumber() > 339) throw Exception(reply);
}

void TFxSMTP::CheckFields() const
{
    // A line break or NUL in a field would end a command or a header line
    // early and let the rest pass as commands or header lines of its own.
    const auto check = [](const AnsiString& value, const char* what) {
        if (hasLineBreakOrNul(value)) throw Exception(AnsiString("Invalid character in ") + what);
    };
    check(PostMsg.FromAddress, "FromAddress");
    check(PostMsg.FromName, "FromName");
    check(PostMsg.Subject, "Subject");
    check(PostMsg.Date, "Date");
    check(PostMsg.ReplyTo, "ReplyTo");
    check(PostMsg.LocalProgram, "LocalProgram");
    for (const auto* list : {&PostMsg.ToAddress, &PostMsg.ToCarbonCopy, &PostMsg.ToBlindCarbonCopy})
        for (const AnsiString& entry : *list) check(entry, "recipient");
    for (const AnsiString& entry : PostMsg.Attachments) check(baseName(entry), "attachment name");
}

void TFxSMTP::SendMail()
{
    if (busy_) return;
    busy_ = true;
    bool accepted = false;
    try {
        BuildMessage();
        CertifyConnect();

        bool secondPass = false;
        while (PostMsg.FromAddress.empty() ||
               (PostMsg.ToAddress.Count() == 0 && PostMsg.ToCarbonCopy.Count() == 0 &&
                PostMsg.ToBlindCarbonCopy.Count() == 0)) {
            if (secondPass || !OnHeaderIncomplete) throw Exception("Incomplete Header");
            bool handled = false;
            fire(OnHeaderIncomplete, handled, PostMsg.FromAddress.empty() ? 1 : 2);
            if (!handled) throw Exception("Incomplete Header");
            secondPass = true;
        }
        CheckFields();

        fire(OnSendStart, static_cast<TFxSock*>(this));

        AnsiString reply;
        Exchange("RSET", reply);
        if (ReplyNumber() > 399) throw Exception(reply);
        Exchange("MAIL FROM:<" + PostMsg.FromAddress + ">", reply);
        if (ReplyNumber() > 399) throw Exception(reply);

        for (const auto* list : {&PostMsg.ToAddress, &PostMsg.ToCarbonCopy, &PostMsg.ToBlindCarbonCopy}) {
            // A handler may change the lists: walk a copy.
            const TExStringList entries = *list;
            for (const AnsiString& entry : entries) {
                const AnsiString address = ExtractAddress(entry);
                if (address.empty()) continue;
                Exchange("RCPT TO:<" + address + ">", reply);
                if (ReplyNumber() > 300) fire(OnRecipientNotFound, entry);
            }
        }

        // The text goes only to a server that asked for it (3xx), and the
        // mail counts as accepted only when the server took it (2xx).
        Exchange("DATA", reply);
        if (ReplyNumber() < 300 || ReplyNumber() > 399) throw Exception(reply);

        AnsiString header = finalHeader_.Text();
        header += "\r\n\r\n";
        {
            // Header, text and the closing "." leave together.
            struct MoreToFollow {
                TFxSMTP* self;
                ~MoreToFollow() { self->SetMoreToFollow(false); }
            } more{this};
            SetMoreToFollow(true);
            Write(header);
            SendStream(messageBody_);
        }

        Exchange(".", reply);
        if (ReplyNumber() < 200 || ReplyNumber() > 299) {
            fire(OnFailure, static_cast<TFxSock*>(this));
            throw Exception(reply);
        }
        accepted = true;
        if (ClearParams) ClearParameters();
    } catch (...) {
        busy_ = false;
        throw;
    }
    busy_ = false;
    if (accepted) fire(OnSuccess, static_cast<TFxSock*>(this));
}

void TFxSMTP::BuildMessage()
{
    const TPostMessage& m = PostMsg;
    finalHeader_.Clear();
    finalHeader_.Add("From: " + m.FromName + "<" + m.FromAddress + ">");
    if (m.ToAddress.Count() > 0) finalHeader_.Add("To: " + joined(m.ToAddress));
    if (m.ToCarbonCopy.Count() > 0) finalHeader_.Add("CC: " + joined(m.ToCarbonCopy));
    finalHeader_.SetHeader("Subject", m.Subject);
    finalHeader_.SetHeader("X-Mailer", m.LocalProgram);
    if (!m.ReplyTo.empty()) finalHeader_.SetHeader("Reply-To", m.ReplyTo);
    if (!m.Date.empty()) finalHeader_.SetHeader("Date", m.Date);
    finalHeader_.Add("Mime-Version: 1.0");

    const bool multipart = m.Attachments.Count() > 0;
    if (!multipart) {
        finalHeader_.Add(AnsiString("Content-Type: ") + contentType(SubType) + "; charset=" + Charset);
    } else {
        static thread_local std::mt19937 random{std::random_device{}()};
        std::uniform_int_distribution<int> letter('a', 'y');
        boundary_ = "====================54535";
        for (int i = 0; i < 6; ++i) boundary_ += static_cast<char>(letter(random));
        boundary_ += "====";
        finalHeader_.Add("Content-Type: multipart/mixed; boundary=\"" + boundary_ + "\"");
    }

    messageBody_.Clear();
    AnsiString text;
    if (multipart) text += "--" + boundary_ + "\r\nContent-Type: text/plain; charset=" + Charset + "\r\n\r\n";
    for (const AnsiString& line : m.Body) appendLines(text, line);
    messageBody_.WriteBuffer(text.data(), static_cast<int>(text.size()));
    if (multipart) {
        for (int i = 0; i < m.Attachments.Count(); ++i) EncodeAttachment(i);
        const AnsiString closing = "--" + boundary_ + "--\r\n";
        messageBody_.WriteBuffer(closing.data(), static_cast<int>(closing.size()));
    }
}

void TFxSMTP::EncodeAttachment(int Index)
{
    const AnsiString entry = PostMsg.Attachments[Index];
    const AnsiString name = baseName(entry);
    const AnsiString partHeader =
        "--" + boundary_ + "\r\n" +                                          //
        "Content-Type: application/octet-stream; name=\"" + name + "\"\r\n" +  //
        "Content-Transfer-Encoding: " + (EncodeType == uuCode ? "x-uuencode" : "base64") + "\r\n" +
        "Content-Disposition: attachment; filename=\"" + name + "\"\r\n" +  //
        "\r\n";
    messageBody_.WriteBuffer(partHeader.data(), static_cast<int>(partHeader.size()));

    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(codepage::toUtf8(entry), fmOpenRead | fmShareDenyWrite);
    } catch (...) {
        fire(OnAttachmentNotFound, entry);
        throw;
    }
    TMemoryStream encoded;
    {
        TS_BufferStream output(encoded);
        TFxUUProcessor processor;
        processor.Method = EncodeType;
        processor.InputStream = file.get();
        processor.OutputStream = &output;
        fire(OnEncodeStart, entry);
        processor.Encode();
        fire(OnEncodeEnd, entry);
    }  // the buffered stream hands its last bytes on here

    // Encoded lines go out as message text, so a line that starts with a dot
    // (a uuencoded line of 14 bytes does) gets the dot doubled.
    AnsiString text;
    text.reserve(encoded.Bytes().size() + 64);
    appendLines(text, encoded.Bytes());
    if (encoded.Bytes().empty()) text.clear();
    messageBody_.WriteBuffer(text.data(), static_cast<int>(text.size()));
}
