#pragma once
// The mailbox check and its new-mail notice, apart from the window: the
// check's steps on the POP3 client and the message list, what each way of
// ending means for the checks that follow, and the notice built from what
// the check found. The window runs the check from its timer, shows the status
// texts and sends the notice through the sending road.

#include "pager/compose.h"

#include <QDateTime>

class TQorMsg;
class TQorMsgList;
class TQorPOP;
class TRungler;

// The settings of section CheckEmail that a check and its notice read.
struct TCheckSettings {
    bool Active = false;
    AnsiString Host;
    AnsiString UserID;
    AnsiString Password;
    int32_t Code = 0;
    AnsiString To;
    AnsiString Text;
};
// The settings as they stand in Ini now.
TCheckSettings CurrentCheckSettings();

// How a check ended.
enum class TCheckEnd {
    ConnectFailed,  // no connection, or the server refused to talk: the checks stop
    LoginFailed,    // the user name or password refused: the checks stop
    Failed,         // an error after the login: shown, and the checks go on
    Checked,        // the mailbox was read and the connection closed
};

struct TCheckResult {
    TCheckEnd End = TCheckEnd::Checked;
    // The status text the end leaves; empty when the client's own reports
    // (its events) stand.
    AnsiString Status;
};

// One check: host, user and password into the client, connect, log in, read
// the counts (NewCount and AllCount are set as soon as they are known, so the
// client's events see them), retrieve every message, disconnect. List keeps
// of the mail only what the notice reads: the newest message's sender,
// subject and size (one entry; none when the mailbox is empty).
// Raises nothing: an error after the login closes the connection and ends the
// check as Failed with the error's text, unless the client has reported an
// error of its own meanwhile (that report stays on the status line).
TCheckResult RunMailCheck(TQorPOP& Pop, TQorMsgList& List, const TCheckSettings& Settings, int32_t& NewCount,
                          int32_t& AllCount);

// Whether the timer is armed again after such an end (then by Active); a
// failed connect or login stops the checks until the options are saved.
bool ChecksGoOn(TCheckEnd End);
// Whether a check that ended so sends a notice: a read mailbox with new mail
// and a full address (not blank, no "#" left) to send it to.
bool NoticeDue(TCheckEnd End, int32_t NewCount, const AnsiString& To);

// The status text of a check that has read the mailbox: the count of new
// messages, or, when the server refused LAST, that it does not tell them.
AnsiString CheckedStatus(int32_t NewCount, bool LastSupported);

// The notice's text: the template's macros replaced one after another, in
// this order: COUNTNEWMSG, COUNTALLMSG, DATE, TIME, LASTMSGFROM,
// LASTMSGSUBJECT and LASTMSGSIZE (the last three from the last message,
// empty without one). Each macro's value is not searched again for that
// macro, but the macros after it are replaced inside it too (a sender whose
// name holds "%LASTMSGSIZE%" shows the size there).
AnsiString NoticeText(const AnsiString& Template, int32_t NewCount, int32_t AllCount, const TQorMsg* Last,
                      const QDateTime& Now);

// The notice as one mail: the text recoded by Code, from the sender of
// section Connect, to the address of To with the subject its "?subject="
// part gives, under the long program name. No greeting, signature, end mark
// or cutting.
TMailPart BuildNotice(const TCheckSettings& Settings, const AnsiString& FromAddress, const AnsiString& FromName,
                      int32_t NewCount, int32_t AllCount, const TQorMsgList& List, TRungler& Translit,
                      const QDateTime& Now);
