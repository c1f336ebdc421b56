#pragma once
// Message building: the text a contact's pager gets, made from what the user
// typed, the greeting and signature, the macros, cut into numbered parts for
// the contact's pager model, recoded by the contact's code and addressed to
// the operator's gateway. Everything here works on a snapshot of its inputs,
// taken when the send starts; the main window only hands the parts to the
// SMTP client.

#include "pager/book.h"

#include <QDateTime>

#include <vector>

class TFxSMTP;
class TPagerList;
class TRungler;

// Program names sent as the X-Mailer line: the long one goes with a whole
// message and with the last part of a cut one (the log keys on it), the short
// one with every other part.
inline constexpr const char* LongProgramName = "Orvanta Pager 3.6";
inline constexpr const char* ShortProgramName = "OrvPager 3.6";

// The macros a greeting or signature may hold, as the hint of their edits
// lists them (UTF-8).
inline constexpr const char* MacroHintText =
    "В тексте можно использовать:\n"
    "%NAME% - имя абонента в списке\n"
    "%FULLNAME% - полное имя абонента\n"
    "%EMAIL% - E-Mail абонента\n"
    "%FROMNAME% - ваше имя\n"
    "%FROMADDRESS% - ваш E-Mail\n"
    "%DATE% - сегодняшняя дата\n"
    "%TIME% - время отправки";

// The settings message building reads (section Main, Message and Connect).
struct TComposeSettings {
    AnsiString Header;     // Main.Header
    AnsiString Signature;  // Main.Signature
    AnsiString FromName;
    AnsiString FromAddress;
    bool CutLongMessage = true;
    int32_t MaxSymbols = 240;
};
// The settings as they stand in Ini now.
TComposeSettings CurrentComposeSettings();

// The macros of S expanded for the contact, in the order NAME, FULLNAME,
// EMAIL, FROMNAME, FROMADDRESS, DATE, TIME; a later macro is expanded inside
// the value of an earlier one too.
AnsiString FormatParam(const AnsiString& Name, const TBookItem& Item, const AnsiString& S,
                       const TComposeSettings& Settings, const QDateTime& Now);

// The greeting (Kind 1: text + " ") or signature (Kind 2: " " + text, with
// an end mark when it needs one) as the text box shows it for a contact:
// the contact's own when Own, else the global one when AutoChecked, else
// empty; macros expanded.
AnsiString UserParamText(int Kind, bool Own, bool AutoChecked, const AnsiString& Name,
                         const TBookItem& Item, const TComposeSettings& Settings, const QDateTime& Now);

// Whose greeting, signature and copy flag apply to one contact, and the
// checked (not grey) states of the two global boxes.
struct TComposeFlags {
    bool OwnHeader = false;
    bool OwnSignature = false;
    bool Copy = false;
    bool AutoHeader = false;  // cbAutoHeader checked
    bool AutoSignat = false;  // cbAutoSignat checked
};

// The whole text for one contact: BodyText trimmed, the greeting before it,
// the signature after it with its end marks, then the macros.
AnsiString ComposeText(const AnsiString& BodyText, const AnsiString& Name, const TBookItem& Item,
                       const TComposeFlags& Flags, const TComposeSettings& Settings, const QDateTime& Now);

// The part bound of a contact: its model's MaxSymbols when the model is in
// the list, else the global one.
int32_t PartBound(const TBookItem& Item, const TPagerList& PagerList, int32_t GlobalMax);

// One piece of a message, before recoding: its text and whether more follow.
struct TTextPart {
    AnsiString Text;
    bool Intermediate = false;
};
// Cuts T into "(k/N) " numbered parts of Bound - 9 characters, each but the
// last ending in ">"; whole when cutting is off, when T fits, or when the
// bound is too small to cut by (9 or less).
std::vector<TTextPart> CutMessage(const AnsiString& T, int32_t Bound, bool CutLongMessage);

// The body of a part for the recoding code: 0 (and any unknown code) KOI8-R,
// 1 unchanged, 2 Russian to Latin, 3 Latin to Russian in KOI8-R, 4 Latin to
// Russian in Windows-1251. Each call converts afresh, as a text of its own.
AnsiString RecodeText(const AnsiString& Text, int32_t Code, TRungler& Translit);
// The same for one part of a message cut into parts: the transliteration
// switch ("\ ") starts as Switch and is left in it for the next part.
AnsiString RecodeText(const AnsiString& Text, int32_t Code, TRungler& Translit, bool& Switch);

// The gateway address split at its first "?" not escaped by a backslash:
// the mail's recipient, and its subject when the rest begins with exactly
// "subject=".
void SplitGateway(const AnsiString& Addr, AnsiString& To, AnsiString& Subject);

// The charset a mail names for its text, by the recoding code that made the
// text: "koi8-r" for codes 0 and 3 (and any unknown code), "windows-1251"
// for 1 and 4, and for 2 "us-ascii" while the text is all ASCII, else
// "windows-1251".
AnsiString MailCharset(int32_t Code, const AnsiString& Body);

// A mail's Date line for the moment At, in RFC 5322 form with At's offset
// from UTC: "Thu, 05 Mar 2026 09:07:30 +0300".
AnsiString MailDate(const QDateTime& At);

// One mail as the SMTP client is to send it.
struct TMailPart {
    AnsiString Body;
    AnsiString Charset;  // what the body is in (MailCharset)
    AnsiString FromAddress;
    AnsiString FromName;
    AnsiString To;
    AnsiString Subject;
    AnsiString CarbonCopy;  // the contact's e-mail on the last part when copied; else empty
    AnsiString LocalProgram;
    bool Intermediate = false;
};

// Every mail of one contact's message, in sending order. A "\ " that switches
// transliteration off in one part holds for the parts after it; each
// contact's message starts with it on.
std::vector<TMailPart> BuildMessage(const AnsiString& BodyText, const AnsiString& Name, const TBookItem& Item,
                                    const TComposeFlags& Flags, const TComposeSettings& Settings,
                                    const TPagerList& PagerList, TRungler& Translit, const QDateTime& Now);

// Puts one mail into the SMTP client: sender, the gateway as the one
// recipient, the copy, the subject, the program name, the body and the
// charset it is in, and SentAt as its date.
void FillPostMessage(TFxSMTP& Smtp, const TMailPart& Part, const QDateTime& SentAt);

// The counter beside the text box: the smallest bound among the given
// contacts, or the global bound when there are none.
int32_t SmallestBound(const std::vector<const TBookItem*>& Checked, const TPagerList& PagerList,
                      int32_t GlobalMax);
