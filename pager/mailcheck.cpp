#include "pager/mailcheck.h"

#include "common/strs.h"
#include "netcomp/qorpop3.h"
#include "pager/ini.h"
#include "pager/service.h"
#include "platform/codepage.h"

#include <string>

TCheckSettings CurrentCheckSettings()
{
    TCheckSettings s;
    s.Active = Ini.CheckEmail.Active;
    s.Host = Ini.CheckEmail.Host;
    s.UserID = Ini.CheckEmail.UserID;
    s.Password = Ini.CheckEmail.Password;
    s.Code = Ini.CheckEmail.Code;
    s.To = Ini.CheckEmail.To;
    s.Text = Ini.CheckEmail.Text;
    return s;
}

namespace {

// Closes what is left of the connection (a refused greeting leaves one open).
void closeQuietly(TQorPOP& Pop)
{
    try {
        Pop.Disconnect();
    } catch (...) {
    }
}

// Retrieves every message of the mailbox in turn, in server order, and keeps
// in List only what the notice reads of the newest one: its sender, subject
// and size. So a check holds one message at a time, however many the
// mailbox (or a server) claims. Ends early when a retrieval was aborted or
// an error has been reported (the connection is closed then).
void retrieveNewest(TQorPOP& Pop, TQorMsgList& List, const bool& Reported)
{
    List.Clear();
    for (int n = 1; n <= Pop.MessageCount && !Reported; ++n) {
        if (Pop.IsDeletedMessage(n)) continue;
        TQorMsg message;
        Pop.Retrieve(n, message);
        if (Pop.Aborted || Reported) break;
        auto* newest = new TQorMsg(&Pop);
        newest->From = message.From;
        newest->Subject = message.Subject;
        newest->Size = message.Size;
        List.Clear();
        List.Add(newest);
    }
}

AnsiString messageOf(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "?";
}

}  // namespace

TCheckResult RunMailCheck(TQorPOP& Pop, TQorMsgList& List, const TCheckSettings& Settings, int32_t& NewCount,
                          int32_t& AllCount)
{
    Pop.Host = Settings.Host;
    Pop.UserId = Settings.UserID;
    Pop.UserPasswd = Settings.Password;

    // Whether the client reports an error of its own during this check; its
    // report still goes to the window's handler.
    bool reported = false;
    const TOnError windowHandler = Pop.OnError;
    Pop.OnError = [&reported, windowHandler](QObject* Sender, int Error, const AnsiString& Msg) {
        reported = true;
        if (windowHandler) windowHandler(Sender, Error, Msg);
    };
    struct Restore {
        TQorPOP& pop;
        TOnError handler;
        ~Restore() { pop.OnError = handler; }
    } restore{Pop, windowHandler};

    try {
        Pop.Connect();
    } catch (...) {
        Pop.ErrorFlag = true;
    }
    if (Pop.ErrorFlag) {
        closeQuietly(Pop);
        return {TCheckEnd::ConnectFailed, codepage::fromUtf8("Ошибка соединения!")};
    }

    bool loggedIn = false;
    try {
        loggedIn = Pop.Login();
    } catch (...) {
    }
    if (!loggedIn) {
        closeQuietly(Pop);
        return {TCheckEnd::LoginFailed, codepage::fromUtf8("Неправильное имя или пароль для почты!")};
    }

    std::exception_ptr error;
    try {
        Pop.GetStat();
        if (!reported) {
            NewCount = Pop.NewMessageCount;
            AllCount = Pop.MessageCount;
            retrieveNewest(Pop, List, reported);
        }
        if (!reported) {
            Pop.Disconnect();
            return {TCheckEnd::Checked, {}};
        }
    } catch (...) {
        error = std::current_exception();
    }
    // A refusal (it has closed the connection) or an error: the check is over.
    closeQuietly(Pop);
    return {TCheckEnd::Failed, reported || !error ? AnsiString() : messageOf(error)};
}

bool ChecksGoOn(TCheckEnd End) { return End == TCheckEnd::Failed || End == TCheckEnd::Checked; }

bool NoticeDue(TCheckEnd End, int32_t NewCount, const AnsiString& To)
{
    return End == TCheckEnd::Checked && NewCount > 0 && IsFullAddress(To);
}

AnsiString NoticeText(const AnsiString& Template, int32_t NewCount, int32_t AllCount, const TQorMsg* Last,
                      const QDateTime& Now)
{
    AnsiString t = Template;
    t = ReplaceMacro(t, "COUNTNEWMSG", std::to_string(NewCount));
    t = ReplaceMacro(t, "COUNTALLMSG", std::to_string(AllCount));
    t = ReplaceMacro(t, "DATE", FormatDate(1, Now));
    t = ReplaceMacro(t, "TIME", FormatTime(2, Now));
    // Without a last message these are empty, and so vanish from the text.
    t = ReplaceMacro(t, "LASTMSGFROM", Last ? Last->From : AnsiString());
    t = ReplaceMacro(t, "LASTMSGSUBJECT", Last ? Last->Subject : AnsiString());
    t = ReplaceMacro(t, "LASTMSGSIZE", Last ? std::to_string(Last->Size) : AnsiString());
    return t;
}

AnsiString CheckedStatus(int32_t NewCount, bool LastSupported)
{
    if (!LastSupported)
        return codepage::fromUtf8("Проверка почты закончена. Сервер не сообщает число новых сообщений.");
    return codepage::fromUtf8("Проверка почты закончена. ") + std::to_string(NewCount) +
           codepage::fromUtf8(" новых сообщений!");
}

TMailPart BuildNotice(const TCheckSettings& Settings, const AnsiString& FromAddress, const AnsiString& FromName,
                      int32_t NewCount, int32_t AllCount, const TQorMsgList& List, TRungler& Translit,
                      const QDateTime& Now)
{
    const TQorMsg* last = List.Count() > 0 ? List.GetItem(List.Count() - 1) : nullptr;
    TMailPart m;
    m.Body = RecodeText(NoticeText(Settings.Text, NewCount, AllCount, last, Now), Settings.Code, Translit);
    m.Charset = MailCharset(Settings.Code, m.Body);
    m.FromAddress = FromAddress;
    m.FromName = FromName;
    m.LocalProgram = LongProgramName;
    SplitGateway(Settings.To, m.To, m.Subject);
    return m;
}
