#include "pager/optionsform.h"

#include "common/strs.h"
#include "pager/opdb.h"
#include "pager/service.h"

#include <algorithm>

namespace {

AnsiString cut(AnsiString s)
{
    if (s.size() > ShortStringMax) s.resize(ShortStringMax);
    return s;
}

AnsiString trimmedShort(std::string_view s) { return cut(Trim(s)); }

}  // namespace

int UpDownPosition(int32_t Value, TUpDownRange Range) { return std::clamp<int32_t>(Value, Range.Min, Range.Max); }

TOptionsForm OptionsFormOf(const TIni& Ini, const TOpList& OpList)
{
    TOptionsForm f;
    f.AutoRun = Ini.Run.AutoRun;
    f.HideOnRun = Ini.Run.HideOnRun;
    f.RunOneCopy = Ini.Run.RunOneCopy;
    f.LongMessage = Ini.Message.CutLongMessage;
    f.HideOnSuccess = Ini.Message.HideOnSuccess;
    f.FullText = Ini.Message.FullText;
    f.AutoRus = Ini.Message.RusLayout;
    f.MaxSymbols = UpDownPosition(Ini.Message.MaxSymbols, MaxSymbolsRange);
    f.CountLog = UpDownPosition(Ini.Message.CountLogMsg, CountLogRange);

    f.FromName = Ini.Connect.FromName;
    f.FromAddress = Ini.Connect.FromAddress;
    f.SMTP = Ini.Connect.Host;
    f.Port = UpDownPosition(Ini.Connect.Port, PortRange);
    f.UserID = Ini.Connect.UserID;
    f.UseOrvDialer = Ini.Connect.UseOrvDialer;
    f.SendLater = UpDownPosition(Ini.Connect.PollingInterval, SendLaterRange);
    f.SendLaterOn = Ini.Connect.AlwaysOn;

    f.IconInBook = Ini.View.IconsInBook;
    f.Column2 = Ini.View.Column2 >= 0;
    f.Columns = f.Column2 ? Ini.View.Column2 : 0;
    f.DblClick = Ini.Main.IconDblClick;

    f.CheckMailActive = Ini.CheckEmail.Active;
    f.POPHost = Ini.CheckEmail.Host;
    f.POPUserID = Ini.CheckEmail.UserID;
    f.POPPassword = Ini.CheckEmail.Password;
    f.CheckMail = UpDownPosition(Ini.CheckEmail.CheckEvery, CheckMailRange);
    f.Code = Ini.CheckEmail.Code;
    f.ToOperator = GetOpIndex(OpList, Ini.CheckEmail.To);
    f.ToNum = GetPagerNum(OpList, Ini.CheckEmail.To, f.ToOperator);
    f.NotifText = Ini.CheckEmail.Text;
    return f;
}

void ApplyOptionsForm(const TOptionsForm& Form, bool ToChanged, const TOpList& OpList, TIni& Ini)
{
    Ini.Run.AutoRun = Form.AutoRun;
    Ini.Run.HideOnRun = Form.HideOnRun;
    Ini.Run.RunOneCopy = Form.RunOneCopy;
    Ini.Message.CutLongMessage = Form.LongMessage;
    Ini.Message.HideOnSuccess = Form.HideOnSuccess;
    Ini.Message.FullText = Form.FullText;
    Ini.Message.RusLayout = Form.AutoRus;
    Ini.Message.MaxSymbols = Form.MaxSymbols;
    Ini.Message.CountLogMsg = Form.CountLog;

    Ini.Connect.FromName = trimmedShort(Form.FromName);
    Ini.Connect.FromAddress = trimmedShort(Form.FromAddress);
    Ini.Connect.Host = trimmedShort(Form.SMTP);
    Ini.Connect.Port = Form.Port;
    Ini.Connect.UserID = trimmedShort(Form.UserID);
    Ini.Connect.UseOrvDialer = Form.UseOrvDialer;
    Ini.Connect.PollingInterval = Form.SendLater;
    Ini.Connect.AlwaysOn = Form.SendLaterOn;

    Ini.View.IconsInBook = Form.IconInBook;
    Ini.View.Column2 = Form.Column2 ? Form.Columns : -1;
    Ini.Main.IconDblClick = Form.DblClick;

    Ini.CheckEmail.Active = Form.CheckMailActive;
    Ini.CheckEmail.Host = cut(Form.POPHost);
    Ini.CheckEmail.UserID = cut(Form.POPUserID);
    Ini.CheckEmail.Password = cut(Form.POPPassword);
    Ini.CheckEmail.CheckEvery = Form.CheckMail;
    Ini.CheckEmail.Code = Form.Code;
    if (ToChanged) {
        Ini.CheckEmail.To = Form.ToOperator >= 0 && Form.ToOperator < OpList.Count()
                                ? InsertNumber(OpList.Objects(Form.ToOperator).MailGate, Form.ToNum)
                                : AnsiString();
    }
    Ini.CheckEmail.Text = Form.NotifText;
}
