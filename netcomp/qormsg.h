#pragma once
// One mail message: its header fields as texts, its plain text as lines and
// its attachments. SetRawMail parses raw RFC 822/MIME lines into it (the POP3
// client does so after each retrieval); FillRawMail builds raw lines from the
// fields for sending. TQorMsgList is the list of messages the POP3 client
// fills.
//
// The parser is forgiving and flat: it takes a dozen known fields from the
// first header block and walks the body by content type, appending every
// plain-text part to Text and turning everything else (HTML, named parts,
// encoded parts, uuencoded blocks inside text) into attachments. It raises
// nothing: damaged input ends up as text or as an undecoded attachment.

#include "netcomp/fxextstr.h"
#include "netcomp/qorattfile.h"

#include <QObject>
#include <QPointer>

#include <vector>

enum TPriority { prHighest, prHigh, prNormal, prLow, prLowest };
enum TTextEncoding { te8Bit, teBase64 };

class TQorMsg : public QObject {
public:
    // Owner frees the message with itself unless a list or a caller frees it
    // first (the POP3 client passes itself).
    explicit TQorMsg(QObject* Owner = nullptr) : QObject(Owner) {}

    // Multipart and enclosed-message nesting deeper than this is taken as text.
    static constexpr int MaxDepth = 32;

    AnsiString UserName;  // display name of the built From line
    AnsiString From;      // sender (parsed: the decoded From value)
    AnsiString ReplyTo;   // parsed: cleaned address list
    AnsiString SendTo;    // To; parsed: cleaned address list
    AnsiString CC;        // parsed: cleaned address list
    AnsiString BCC;       // kept for callers; neither parsed nor built
    AnsiString Subject;   // parsed: decoded into the program's text
    TExStringList Text;   // the plain-text body
    TExStringList ExtraHeaders;  // header lines the builder appends
    TPriority Priority = prNormal;
    AnsiString CharSet = "ISO-8859-1";  // the charset the builder names
    bool ClearRawMailAfterParse = true;
    TTextEncoding TextEncoding = te8Bit;  // the builder's body and subject encoding
    AnsiString XMailer;

    // Set by the parser: the values of those headers as found.
    AnsiString Sender, MessageId, InReplyTo, ReturnPath, Date;
    // Of the top-level message, upper case.
    AnsiString ContentType, ContentTransferEncoding;
    TExStringList Headers;  // the lines of the first header block
    int Size = 0;           // set by the POP3 client
    AnsiString UIDL;        // set by the POP3 client
    TExStringList RawMail;
    TAttachedFiles Attachments;

    // RawMail := Lines, then parse them. Nothing is cleared first: a second
    // parse appends to Headers, Text and Attachments.
    void SetRawMail(const TExStringList& Lines);

    // RawMail := the message built from the fields. Raises Exception
    // "\"From\" address not complete." when From holds no "@", and refuses a
    // header field holding a line break, before anything is stored (RawMail
    // is then empty). Errors of reading attachments go to the caller.
    void FillRawMail();

protected:
    // One part of a multipart body as the splitter hands it on.
    struct Part {
        std::vector<AnsiString> Lines;  // its headers at the top
        int Depth = 0;
        bool AsText = false;  // a multipart that cannot be split: its lines are text
    };

    void ParseRawMail();
    void ParseHeaders();
    // Type and encoding upper case ("TEXT/PLAIN" and "7BIT" when missing),
    // and the part's file name (empty when it has none).
    void GetContentInfo(const std::vector<AnsiString>& Lines, AnsiString& Type, AnsiString& Name,
                        AnsiString& Encoding) const;
    void ParseBody(std::vector<AnsiString> Lines, int Depth, bool AsText = false);
    void SplitMultipart(std::vector<AnsiString> Lines, std::vector<Part>& Parts, int Depth);
    // False (and no attachment added) when a uuencoded block lifted from text
    // does not decode; any other part that does not decode is kept undecoded.
    bool AddAttachment(const std::vector<AnsiString>& Lines, const AnsiString& Type, AnsiString Name,
                       const AnsiString& Encoding, bool LiftedFromText = false);
    // The first uuencode "begin" line at or after From: its index and the
    // file name it gives.
    static bool FindUUBegin(const std::vector<AnsiString>& Lines, std::size_t From, std::size_t& Index,
                            AnsiString& FileName);

private:
    void appendText(const std::vector<AnsiString>& Lines);
};

// The messages of a mailbox in server order. Add hands a message over to the
// list, Delete and Clear free it. Destroying the list frees the messages that
// have no owner; those that have one are left to it.
class TQorMsgList : public QObject {
public:
    explicit TQorMsgList(QObject* Owner = nullptr) : QObject(Owner) {}
    ~TQorMsgList() override;

    int Count() const noexcept { return static_cast<int>(items_.size()); }
    // Exception "List index out of bounds (<index>)" outside 0..Count-1; null
    // when the message's owner has freed it meanwhile.
    TQorMsg* GetItem(int Index) const;
    void Add(TQorMsg* Msg);
    void Delete(int Index);
    // Frees every message, from the last to the first.
    void Clear();

private:
    std::vector<QPointer<TQorMsg>> items_;
};
