#pragma once
// String routines of the mail code: header look-up and values, addresses and
// address lists, RFC 2047 encoded words, reply numbers, message-id and
// boundary makers, the temporary folder; and the two event types that the
// mail components publish. Texts are bytes (cp1251 inside the program); every
// position rule counts characters from 1 and clamps to the text.

#include "platform/ansistring.h"
#include "platform/streams.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

// An error code and the text that goes with it (the server's reply text).
using TOnError = std::function<void(QObject* Sender, int Error, const AnsiString& Msg)>;
// How far a conversion or a retrieval has come, in percent.
using TOnCodeProgressEvent = std::function<void(QObject* Sender, unsigned short Percent)>;

// Four dot-separated parts, each a whole decimal number from 0 to 255.
bool IsIPAddress(std::string_view Text);

// The n-th blank-separated word (n from 1) of a reply text as a number, with
// "(", ")", "{" and "}" removed; Default when there is no such word or it is
// no number.
int GetReplyNumber(std::string_view Text, unsigned short N, int Default);

// The delimiter ("--" + boundary) named by the boundary parameter of a
// Content-Type value as written; empty without one.
AnsiString GetBoundary(std::string_view Value);

// "<QOR.yyyy.mm.dd." + 16 random letters "a".."t" + "@" + Domain + ">".
AnsiString MakeMessageId(std::string_view Domain);
// "--_QOR_bound_" + 12 random letters "a".."y".
AnsiString MakeBoundary();

// The random source of both makers: gives a number from 0 to Range - 1.
// Tests put a fixed one in; an empty function puts the real one back.
void SetMailRandomSource(std::function<int(int Range)> Source);

// The program's private temporary folder, with its final "/".
AnsiString GetTempDir();

// A temporary file of the mail code, named Name ("qor_b64e.$$$") in the
// private temporary folder, created anew: never over an existing file, never
// through a link (when a conversion already running keeps that name, the new
// one gets a numbered name beside it). Closed and removed when it goes out of
// scope, whatever happened meanwhile.
class TMailTempFile {
public:
    explicit TMailTempFile(const AnsiString& Name);
    ~TMailTempFile();
    TMailTempFile(const TMailTempFile&) = delete;
    TMailTempFile& operator=(const TMailTempFile&) = delete;

    TFileStream& Stream() { return *stream_; }
    const std::string& Path() const noexcept { return path_; }
    // The whole file's bytes.
    std::string ReadAll();

private:
    std::string path_;
    std::unique_ptr<TFileStream> stream_;
};

// RFC 2047 decoding of every encoded word in Text ("=?charset?B?...?=" or
// "=?charset?Q?...?="), into the program's own text (cp1251): words in UTF-8,
// KOI8-R, windows-1251, ISO-8859-5, ISO-8859-1 and us-ascii are recoded,
// characters cp1251 cannot hold becoming "?"; words of another charset keep
// their bytes. White space between two encoded words goes; white space next
// to plain text stays. An encoded word of an encoding other than B or Q
// vanishes; an unfinished one stays as it is written, with all that follows.
AnsiString DecodeEncodedWord(std::string_view Text);

// The bytes of Bytes, written in Charset, as cp1251 text; false (and Out
// untouched) when the charset is not one of those DecodeEncodedWord knows.
bool CharsetToProgramText(std::string_view Charset, std::string_view Bytes, AnsiString& Out);

// The address of an address entry: comments "(...)" removed, then what lies
// between "<" and ">"; with Bracket wrapped in "<" and ">".
AnsiString CleanAddress(std::string_view Entry, bool Bracket);
// The display name of an address entry: the "<...>" part removed, what lies
// between "(" and ")" when there are both, quotes removed, trimmed; with
// Quote wrapped in double quotes.
AnsiString CleanName(std::string_view Entry, bool Quote);
// Text without every occurrence of C.
AnsiString RemoveChar(std::string_view Text, char C);
// An address list header value rebuilt entry by entry as "\"name\" <address>",
// joined by ", ". Quoted strings (display names in quotes) are dropped first.
AnsiString CleanAddressList(std::string_view Value);
// One leading quote (double or single) removed, then one trailing quote.
AnsiString StripQuotes(std::string_view Text);

// The value after Name (given in upper case) in Line, found without regard to
// case: the rest of the line after the first occurrence, trimmed; with
// CutAtSemicolon cut before its first ";" and trimmed again (the parameters
// of a structured header). Empty when Name is not in Line.
AnsiString GetHeaderValue(std::string_view Name, std::string_view Line, bool CutAtSemicolon = true);
// The value of the parameter Name (upper case, "NAME", "FILENAME") of a
// structured header line: after "Name =", the quoted string when it is one,
// else the text up to ";", trimmed. A Name that is only part of a longer word
// is not the parameter. Empty when there is none.
AnsiString GetParameter(std::string_view Name, std::string_view Line);

// The header line of Name (upper case, with its colon: "SUBJECT:") within the
// first header block of Lines (leading empty lines skipped, up to the first
// empty line), unfolded: each continuation line (starting with a blank or a
// tab) trimmed and joined to it with one blank. False when there is none.
bool FindHeader(std::string_view Name, const std::vector<AnsiString>& Lines, AnsiString& HeaderLine);

// Removes the header block (the leading lines that are not blank) and the
// blank lines after it.
void StripHeaders(std::vector<AnsiString>& Lines);
