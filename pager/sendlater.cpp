#include "pager/sendlater.h"

#include "common/strs.h"
#include "pager/service.h"
#include "platform/inifile.h"


AnsiString QueueCaption(const QDate& Date, const QTime& Time)
{
    return FormatDate(1, QDateTime(Date, QTime(0, 0))) + " " + FormatTime(2, QDateTime(Date, Time));
}

namespace {

// Reads 1..maxDigits decimal digits at pos.
std::optional<int> number(const AnsiString& s, size_t& pos, size_t minDigits, size_t maxDigits)
{
    const size_t start = pos;
    int v = 0;
    while (pos < s.size() && pos - start < maxDigits && s[pos] >= '0' && s[pos] <= '9') {
        v = v * 10 + (s[pos] - '0');
        ++pos;
    }
    if (pos - start < minDigits) return std::nullopt;
    return v;
}

bool expect(const AnsiString& s, size_t& pos, char c)
{
    if (pos < s.size() && s[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

}  // namespace

std::optional<QDateTime> ParseQueueCaption(const AnsiString& Caption)
{
    size_t b = 0;
    size_t e = Caption.size();
    while (b < e && byteOf(Caption[b]) <= ' ') ++b;
    while (e > b && byteOf(Caption[e - 1]) <= ' ') --e;
    const AnsiString s = Caption.substr(b, e - b);

    size_t pos = 0;
    const auto day = number(s, pos, 1, 2);
    if (!day || !expect(s, pos, '.')) return std::nullopt;
    const auto month = number(s, pos, 1, 2);
    if (!month || !expect(s, pos, '.')) return std::nullopt;
    const auto year = number(s, pos, 4, 4);
    if (!year) return std::nullopt;
    const QDate date(*year, *month, *day);
    if (!date.isValid()) return std::nullopt;
    if (pos == s.size()) return QDateTime(date, QTime(0, 0));

    if (!expect(s, pos, ' ')) return std::nullopt;
    while (pos < s.size() && s[pos] == ' ') ++pos;
    const auto hour = number(s, pos, 1, 2);
    if (!hour || !expect(s, pos, ':')) return std::nullopt;
    const auto minute = number(s, pos, 1, 2);
    if (!minute) return std::nullopt;
    int second = 0;
    if (expect(s, pos, ':')) {
        const auto sec = number(s, pos, 1, 2);
        if (!sec) return std::nullopt;
        second = *sec;
    }
    if (pos != s.size()) return std::nullopt;
    const QTime time(*hour, *minute, second);
    if (!time.isValid()) return std::nullopt;
    return QDateTime(date, time);
}

TDue QueueDue(const AnsiString& Caption, const QDateTime& Now)
{
    const auto when = ParseQueueCaption(Caption);
    if (!when) return TDue::Unreadable;
    const int day = CompareDates(*when, Now);
    if (day < 0) return TDue::Due;
    if (day == 0 && TimeKey(*when) < TimeKey(Now)) return TDue::Due;
    return TDue::NotYet;
}

std::vector<TQueueEntry> LoadQueue(const std::string& FileName)
{
    const TIniFile f(FileName);
    std::vector<TQueueEntry> entries;
    for (const AnsiString& section : f.ReadSections()) {
        entries.push_back({OneLineValue(f.ReadString(section, "Date", "")),
                           StorableName(f.ReadString(section, "To", "")),
                           StrToLines(OneLineValue(f.ReadString(section, "Text", "")))});
    }
    return entries;
}

void SaveQueue(const std::string& FileName, const std::vector<TQueueEntry>& Entries)
{
    if (Entries.empty()) {
        TIniFile::DeleteFile(FileName);
        return;
    }
    TIniFile f(FileName);
    f.Clear();
    for (size_t i = 0; i < Entries.size(); ++i) {
        const AnsiString section = "Message" + std::to_string(i + 1);
        f.WriteString(section, "Date", OneLineValue(Entries[i].Date));
        f.WriteString(section, "To", StorableName(Entries[i].To));
        f.WriteString(section, "Text", OneLineValue(LinesToStr(Entries[i].Text)));
    }
    f.UpdateFile();
}
