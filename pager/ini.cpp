#include "pager/ini.h"

#include "common/strs.h"
#include "pager/program.h"
#include "pager/service.h"
#include "platform/codepage.h"
#include "platform/inifile.h"

#include <unistd.h>

TIni Ini;

namespace {

constexpr size_t kShort = 255;

AnsiString shortStr(AnsiString s)
{
    if (s.size() > kShort) s.resize(kShort);
    return s;
}

const AnsiString& defaultNoticeText()
{
    static const AnsiString t =
        codepage::fromUtf8("Свежая почта: %CountNewMsg% новых сообщений; всего %CountAllMsg%");
    return t;
}

const AnsiString& defaultHeader()
{
    static const AnsiString t = codepage::fromUtf8("Привет, %NAME%!");
    return t;
}

}  // namespace

void LoadOptions(TIni& ini, const std::string& fileName)
{
    const TIniFile f(fileName);
    // A lone CR or a NUL that the file holds would stop every later save.
    auto str = [&](const char* section, const char* key, const AnsiString& def) {
        return OneLineValue(shortStr(f.ReadString(section, key, def)));
    };

    ini.Run.AutoRun = f.ReadBool("Run", "AutoRun", false);
    ini.Run.HideOnRun = f.ReadBool("Run", "HideOnRun", false);
    ini.Run.RunOneCopy = f.ReadBool("Run", "RunOneCopy", true);

    ini.Message.CutLongMessage = f.ReadBool("Message", "CutLongMessage", true);
    ini.Message.HideOnSuccess = f.ReadBool("Message", "HideOnSuccess", false);
    ini.Message.FullText = f.ReadBool("Message", "FullText", true);
    ini.Message.RusLayout = f.ReadBool("Message", "RusLayout", true);
    ini.Message.MaxSymbols = f.ReadInteger("Message", "MaxSymbols", 240);
    ini.Message.CountLogMsg = f.ReadInteger("Message", "CountLogMsg", 10);

    ini.Connect.FromAddress = str("Connect", "FromAddress", DefaultFromAddress);
    ini.Connect.FromName = str("Connect", "FromName", "Your Name");
    ini.Connect.Host = str("Connect", "Host", DefaultSmtpHost);
    ini.Connect.Port = f.ReadInteger("Connect", "Port", 25);
    ini.Connect.UserID = str("Connect", "UserID", "");
    ini.Connect.UseOrvDialer = f.ReadBool("Connect", "UseOrvDialer", false);
    ini.Connect.PollingInterval = f.ReadInteger("Connect", "PollingInterval", 5);
    ini.Connect.AlwaysOn = f.ReadBool("Connect", "AlwaysOn", false);

    ini.View.IconsInBook = f.ReadBool("View", "IconsInBook", true);
    ini.View.Column2 = f.ReadInteger("View", "Column2", 0);

    ini.CheckEmail.Active = f.ReadBool("CheckEmail", "Active", false);
    ini.CheckEmail.Host = str("CheckEmail", "Host", DefaultPop3Host);
    // Follows the SMTP user name until it is saved once.
    ini.CheckEmail.UserID = str("CheckEmail", "UserID", ini.Connect.UserID);
    // Decoded before the cut, so a long password comes back whole up to 255 characters.
    ini.CheckEmail.Password = shortStr(DecodeStr(f.ReadString("CheckEmail", "Password", ""), ScrambleKey));
    ini.CheckEmail.CheckEvery = f.ReadInteger("CheckEmail", "CheckEvery", 10);
    ini.CheckEmail.Code = f.ReadInteger("CheckEmail", "Code", 0);
    ini.CheckEmail.To = str("CheckEmail", "To", "");
    ini.CheckEmail.Text = StrToLines(OneLineValue(f.ReadString("CheckEmail", "Text", defaultNoticeText())));

    ini.Main.BookIndex = f.ReadInteger("Main", "BookIndex", 0);
    ini.Main.IsSignature = f.ReadBool("Main", "IsSignature", false);
    ini.Main.Signature = str("Main", "Signature", "%FROMNAME%");
    ini.Main.CopyToEmail = f.ReadBool("Main", "CopyToEmail", false);
    ini.Main.IsHeader = f.ReadBool("Main", "IsHeader", false);
    ini.Main.Header = str("Main", "Header", defaultHeader());
    ini.Main.IconDblClick = f.ReadBool("Main", "IconDblClick", true);
    ini.Main.ListWithPhone = f.ReadBool("Main", "ListWithPhone", false);
}

void SaveOptions(const TIni& ini, const std::string& fileName)
{
    TIniFile f(fileName);
    // It holds the mailbox password: a new file is the user's alone.
    f.SetNewFileMode(0600);

    f.WriteBool("Run", "AutoRun", ini.Run.AutoRun);
    f.WriteBool("Run", "HideOnRun", ini.Run.HideOnRun);
    f.WriteBool("Run", "RunOneCopy", ini.Run.RunOneCopy);

    f.WriteBool("Message", "CutLongMessage", ini.Message.CutLongMessage);
    f.WriteBool("Message", "HideOnSuccess", ini.Message.HideOnSuccess);
    f.WriteBool("Message", "FullText", ini.Message.FullText);
    f.WriteBool("Message", "RusLayout", ini.Message.RusLayout);
    f.WriteInteger("Message", "MaxSymbols", ini.Message.MaxSymbols);
    f.WriteInteger("Message", "CountLogMsg", ini.Message.CountLogMsg);

    f.WriteString("Connect", "FromAddress", ini.Connect.FromAddress);
    f.WriteString("Connect", "FromName", ini.Connect.FromName);
    f.WriteString("Connect", "Host", ini.Connect.Host);
    f.WriteInteger("Connect", "Port", ini.Connect.Port);
    f.WriteString("Connect", "UserID", ini.Connect.UserID);
    f.WriteBool("Connect", "UseOrvDialer", ini.Connect.UseOrvDialer);
    f.WriteInteger("Connect", "PollingInterval", ini.Connect.PollingInterval);
    f.WriteBool("Connect", "AlwaysOn", ini.Connect.AlwaysOn);

    f.WriteBool("View", "IconsInBook", ini.View.IconsInBook);
    f.WriteInteger("View", "Column2", ini.View.Column2);

    f.WriteBool("CheckEmail", "Active", ini.CheckEmail.Active);
    f.WriteString("CheckEmail", "Host", ini.CheckEmail.Host);
    f.WriteString("CheckEmail", "UserID", ini.CheckEmail.UserID);
    f.WriteString("CheckEmail", "Password", EncodeStr(ini.CheckEmail.Password, ScrambleKey));
    f.WriteInteger("CheckEmail", "CheckEvery", ini.CheckEmail.CheckEvery);
    f.WriteInteger("CheckEmail", "Code", ini.CheckEmail.Code);
    f.WriteString("CheckEmail", "To", ini.CheckEmail.To);
    f.WriteString("CheckEmail", "Text", LinesToStr(ini.CheckEmail.Text));

    f.WriteString("Main", "Author", "Kestrane");
    f.WriteString("Main", "Version", "3.6");
    f.WriteInteger("Main", "BookIndex", ini.Main.BookIndex);
    f.WriteBool("Main", "IsSignature", ini.Main.IsSignature);
    f.WriteString("Main", "Signature", ini.Main.Signature);
    f.WriteBool("Main", "CopyToEmail", ini.Main.CopyToEmail);
    f.WriteBool("Main", "IsHeader", ini.Main.IsHeader);
    f.WriteString("Main", "Header", ini.Main.Header);
    f.WriteBool("Main", "IconDblClick", ini.Main.IconDblClick);
    f.WriteBool("Main", "ListWithPhone", ini.Main.ListWithPhone);

    f.UpdateFile();
}

void LoadOptions()
{
    LoadOptions(Ini, ProgramPath + "pager.ini");
    if (Ini.Run.AutoRun) {
        [[maybe_unused]] const int rc = chdir(ProgramPath.c_str());
    }
}

void SaveOptions() { SaveOptions(Ini, ProgramPath + "pager.ini"); }
