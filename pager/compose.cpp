#include "pager/compose.h"

#include "common/strs.h"
#include "netcomp/fxsmtp.h"
#include "pager/encod.h"
#include "pager/ini.h"
#include "pager/opdb.h"
#include "pager/rungler.h"
#include "pager/service.h"

#include <cstdio>
#include <cstdlib>
#include <string>

TComposeSettings CurrentComposeSettings()
{
    TComposeSettings s;
    s.Header = Ini.Main.Header;
    s.Signature = Ini.Main.Signature;
    s.FromName = Ini.Connect.FromName;
    s.FromAddress = Ini.Connect.FromAddress;
    s.CutLongMessage = Ini.Message.CutLongMessage;
    s.MaxSymbols = Ini.Message.MaxSymbols;
    return s;
}

AnsiString FormatParam(const AnsiString& Name, const TBookItem& Item, const AnsiString& S,
                       const TComposeSettings& Settings, const QDateTime& Now)
{
    if (S.empty()) return {};
    AnsiString r = ReplaceMacro(S, "NAME", Name);
    r = ReplaceMacro(r, "FULLNAME", Item.FullName);
    r = ReplaceMacro(r, "EMAIL", Item.EMail);
    r = ReplaceMacro(r, "FROMNAME", Settings.FromName);
    r = ReplaceMacro(r, "FROMADDRESS", Settings.FromAddress);
    r = ReplaceMacro(r, "DATE", FormatDate(1, Now));
    r = ReplaceMacro(r, "TIME", FormatTime(2, Now));
    return r;
}

AnsiString UserParamText(int Kind, bool Own, bool AutoChecked, const AnsiString& Name,
                         const TBookItem& Item, const TComposeSettings& Settings, const QDateTime& Now)
{
    AnsiString r;
    if (Kind == 1) {
        if (Own) r = Item.Header + " ";
        else if (AutoChecked) r = Settings.Header + " ";
    } else {
        if (Own) r = " " + Item.Signature;
        else if (AutoChecked) r = " " + Settings.Signature;
        if (!r.empty() && NeedEndMark(r)) r += ".";
    }
    return FormatParam(Name, Item, r, Settings, Now);
}

namespace {
AnsiString trimmed(const AnsiString& s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && byteOf(s[b]) <= ' ') ++b;
    while (e > b && byteOf(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}
}  // namespace

AnsiString ComposeText(const AnsiString& BodyText, const AnsiString& Name, const TBookItem& Item,
                       const TComposeFlags& Flags, const TComposeSettings& Settings, const QDateTime& Now)
{
    AnsiString t = trimmed(BodyText);
    if (Flags.OwnHeader) t = Item.Header + " " + t;
    else if (Flags.AutoHeader) t = Settings.Header + " " + t;

    if (Flags.OwnSignature || Flags.AutoSignat) {
        if (NeedEndMark(t)) t += ".";
        t += " " + (Flags.OwnSignature ? Item.Signature : Settings.Signature);
        if (NeedEndMark(t)) t += ".";
    }
    return FormatParam(Name, Item, t, Settings, Now);
}

int32_t PartBound(const TBookItem& Item, const TPagerList& PagerList, int32_t GlobalMax)
{
    const int i = GetPagerIndex(PagerList, Item.Model);
    return i >= 0 ? PagerList.Objects(i).MaxSymbols : GlobalMax;
}

std::vector<TTextPart> CutMessage(const AnsiString& T, int32_t Bound, bool CutLongMessage)
{
    // A bound of 9 or less leaves no room for text beside the "(k/N) " and
    // ">" marks: such a message goes out whole.
    if (!CutLongMessage || static_cast<int64_t>(T.size()) <= Bound || Bound <= 9) {
        return {{T, false}};
    }
    const size_t piece = static_cast<size_t>(Bound - 9);
    const size_t count = T.size() / piece + (T.size() % piece != 0 ? 1 : 0);
    const std::string n = std::to_string(count);
    std::vector<TTextPart> parts;
    size_t at = 0;
    size_t k = 0;
    while (T.size() - at > piece) {
        ++k;
        parts.push_back({"(" + std::to_string(k) + "/" + n + ") " + T.substr(at, piece) + ">", true});
        at += piece;
    }
    parts.push_back({"(" + std::to_string(k + 1) + "/" + n + ") " + T.substr(at), false});
    return parts;
}

AnsiString RecodeText(const AnsiString& Text, int32_t Code, TRungler& Translit)
{
    bool on = true;
    return RecodeText(Text, Code, Translit, on);
}

AnsiString RecodeText(const AnsiString& Text, int32_t Code, TRungler& Translit, bool& Switch)
{
    switch (Code) {
    case 1: return Text;
    case 2: return Translit.ConvertAfresh(Text, cdRussianToLatin, Switch);
    case 3: return WinToKoi(Translit.ConvertAfresh(Text, cdLatinToRussian, Switch));
    case 4: return Translit.ConvertAfresh(Text, cdLatinToRussian, Switch);
    default: return WinToKoi(Text);
    }
}

AnsiString MailCharset(int32_t Code, const AnsiString& Body)
{
    switch (Code) {
    case 1:
    case 4: return "windows-1251";
    case 2:
        for (char c : Body)
            if (byteOf(c) >= 0x80) return "windows-1251";
        return "us-ascii";
    default: return "koi8-r";
    }
}

AnsiString MailDate(const QDateTime& At)
{
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (!At.isValid()) return {};
    const QDate d = At.date();
    const QTime t = At.time();
    const int offset = At.offsetFromUtc() / 60;  // minutes east of UTC
    const int zone = std::abs(offset);
    char out[40];
    std::snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", days[d.dayOfWeek() - 1], d.day(),
                  months[d.month() - 1], d.year(), t.hour(), t.minute(), t.second(), offset < 0 ? '-' : '+',
                  zone / 60, zone % 60);
    return out;
}

void SplitGateway(const AnsiString& Addr, AnsiString& To, AnsiString& Subject)
{
    AnsiString rest;
    SplitAt(Addr, '?', To, rest);
    Subject = rest.compare(0, 8, "subject=") == 0 ? rest.substr(8) : AnsiString();
}

std::vector<TMailPart> BuildMessage(const AnsiString& BodyText, const AnsiString& Name, const TBookItem& Item,
                                    const TComposeFlags& Flags, const TComposeSettings& Settings,
                                    const TPagerList& PagerList, TRungler& Translit, const QDateTime& Now)
{
    const AnsiString text = ComposeText(BodyText, Name, Item, Flags, Settings, Now);
    const int32_t bound = PartBound(Item, PagerList, Settings.MaxSymbols);
    AnsiString to;
    AnsiString subject;
    SplitGateway(Item.Addr, to, subject);

    std::vector<TMailPart> mails;
    bool transOn = true;  // the "\ " switch, once per message
    for (const TTextPart& part : CutMessage(text, bound, Settings.CutLongMessage)) {
        TMailPart m;
        m.Body = RecodeText(part.Text, Item.Code, Translit, transOn);
        m.Charset = MailCharset(Item.Code, m.Body);
        m.FromAddress = Settings.FromAddress;
        m.FromName = Settings.FromName;
        m.LocalProgram = part.Intermediate ? ShortProgramName : LongProgramName;
        m.To = to;
        m.Subject = subject;
        if (!part.Intermediate && Flags.Copy) m.CarbonCopy = Item.EMail;
        m.Intermediate = part.Intermediate;
        mails.push_back(std::move(m));
    }
    return mails;
}

int32_t SmallestBound(const std::vector<const TBookItem*>& Checked, const TPagerList& PagerList,
                      int32_t GlobalMax)
{
    int32_t best = 0x7FFF;
    for (const TBookItem* item : Checked) best = std::min(best, PartBound(*item, PagerList, GlobalMax));
    return best == 0x7FFF ? GlobalMax : best;
}

void FillPostMessage(TFxSMTP& Smtp, const TMailPart& Part, const QDateTime& SentAt)
{
    Smtp.Charset = Part.Charset;
    TPostMessage& Msg = Smtp.PostMsg;
    Msg.Date = MailDate(SentAt);
    Msg.Body.Clear();
    Msg.Body.Add(Part.Body);
    Msg.FromAddress = Part.FromAddress;
    Msg.FromName = Part.FromName;
    Msg.LocalProgram = Part.LocalProgram;
    Msg.Subject = Part.Subject;
    Msg.ToAddress.Clear();
    Msg.ToCarbonCopy.Clear();
    Msg.ToAddress.Add(Part.To);
    if (!Part.CarbonCopy.empty()) Msg.ToCarbonCopy.Add(Part.CarbonCopy);
}
