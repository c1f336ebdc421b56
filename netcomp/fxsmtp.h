#pragma once
// The SMTP client: a plain dialogue (greeting, HELO; per message RSET,
// MAIL FROM, one RCPT TO per recipient, DATA, the text and "."; QUIT at the
// end) over the socket component. The message text is built from a
// TPostMessage: the header lines, then plain text in one of five text
// subtypes, or a multipart/mixed body when files are attached.
//
// A caller sets Host, Port, UserID, TimeOut and the events; Connect; fills
// PostMsg; SendMail as often as needed; Disconnect. Every refusal reaches the
// caller as an Exception whose text is the server's reply line (line end
// included); a reply without a reply code, a multi-line reply whose lines
// carry different codes, and a reply that came before its command raise
// ESockError. The text of a message is sent only after a 3xx answer to DATA,
// and a message counts as accepted only on a 2xx answer to its final ".".
// TimeOut bounds the whole wait for one reply, however many lines it has.
// Events are called on the caller's stack: an exception thrown by a handler
// leaves the running Connect or SendMail.

#include "netcomp/fxextstr.h"
#include "netcomp/fxsock.h"
#include "netcomp/fxuue.h"
#include "platform/streams.h"

#include <functional>

enum TSubType { mtPlain, mtEnriched, mtSgml, mtTabSeperated, mtHtml };

// One mail to send. Lists hold one entry per line; copying a record copies
// its lists.
class TPostMessage {
public:
    AnsiString FromAddress;           // MAIL FROM and the From line
    AnsiString FromName;              // display name of the From line
    TExStringList ToAddress;          // main recipients
    TExStringList ToCarbonCopy;       // copy recipients
    TExStringList ToBlindCarbonCopy;  // blind copies: RCPT only, no header line
    TExStringList Body;               // the text; an entry may hold line breaks of its own
    TExStringList Attachments;        // paths of files to attach
    AnsiString Subject;
    AnsiString LocalProgram;  // sent as X-Mailer
    AnsiString Date;          // the Date line as written; none is made up
    AnsiString ReplyTo;
};

class TFxSMTP : public TFxSock {
    Q_OBJECT
public:
    using TRecipientNotFound = std::function<void(const AnsiString& Recipient)>;
    using THeaderInComplete = std::function<void(bool& handled, int hiType)>;
    using TFileItem = std::function<void(const AnsiString& Filename)>;

    explicit TFxSMTP(QObject* Owner = nullptr);  // Port 25
    ~TFxSMTP() override;

    using TFxSock::OnConnectionRequired;  // SendMail found no connection
    using TFxSock::OnPacketSent;          // a piece of the text went out (BytesSent of BytesTotal)
    // Greeting read and HELO accepted; fired last in Connect, which touches
    // nothing of the component afterwards: the handler may send, disconnect
    // and free the component.
    TNotifyEvent OnConnect;

    AnsiString UserID;     // the word after "HELO "
    TPostMessage PostMsg;  // the message to send
    // The header lines of the last message built (each send rebuilds them).
    const TExStringList& FinalHeader() const noexcept { return finalHeader_; }
    void SetFinalHeader(const TExStringList& Value) { finalHeader_ = Value; }
    UUMethods EncodeType = uuMime;  // encoding of attached files
    bool ClearParams = true;        // after an accepted message, empty the recipient and attachment lists
    TSubType SubType = mtPlain;     // text subtype of a message without attachments
    AnsiString Charset = "us-ascii";

    TRecipientNotFound OnRecipientNotFound;  // the entry as written in its list
    THeaderInComplete OnHeaderIncomplete;    // hiType 1: no sender; 2: no recipient
    TNotifyEvent OnSendStart;
    TNotifyEvent OnSuccess;  // the server accepted the message
    TNotifyEvent OnFailure;  // the server refused the message after its text
    TFileItem OnEncodeStart;
    TFileItem OnEncodeEnd;
    TFileItem OnAttachmentNotFound;
    THandlerEvent OnAuthenticationFailed;  // HELO refused: change UserID, set Handled to try once more

    // Socket connection, greeting, HELO, then OnConnect. A refusal after the
    // socket connected sends QUIT and closes before the exception leaves;
    // after any other failure (time-out, abort, a broken reply, the server
    // gone) the connection is closed without waiting for anything more.
    void Connect() override;
    // Builds the message and runs one mail transaction; does nothing while
    // another Connect or SendMail of this component runs.
    void SendMail();
    // QUIT, then closes the socket in every case. A server that closes
    // without answering the QUIT is no error. After Abort or a time-out on
    // this connection no QUIT is sent: the socket is only closed.
    void Disconnect() override;
    void Abort() override;
    // Empties ToAddress, ToCarbonCopy, ToBlindCarbonCopy and Attachments.
    void ClearParameters();

    const TMemoryStream& MessageBody() const noexcept { return messageBody_; }

protected:
    void BuildMessage();
    void EncodeAttachment(int Index);
    // Reads the continuation lines of a reply into Reply, up to its last
    // line, whose code becomes ReplyNumber; raises ESockError when the lines
    // carry different codes.
    void ReadMultiLine(AnsiString& Reply);
    // The address of a recipient entry: between "<" and ">", else after the
    // first ":", else the entry itself.
    static AnsiString ExtractAddress(const AnsiString& Entry);

private:
    // Command, its whole reply, and a check that the reply carries a code;
    // Reply ends as the reply's last line.
    void Exchange(const AnsiString& Command, AnsiString& Reply);
    // Raises ESockError when a reply waits before its command was sent.
    void CheckNothingWaits();
    void CheckReplyCode(const AnsiString& Line) const;
    void CheckFields() const;

    TMemoryStream messageBody_;
    TExStringList finalHeader_;
    bool busy_ = false;
    AnsiString boundary_;
};
