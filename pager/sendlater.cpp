#include "pager/sendlater.h"

#include "common/strs.h"
#include "pager/service.h"
#include "platform/codepage.h"
#include "platform/inifile.h"

#include <algorithm>
#include <utility>


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

TShownNames::TShownNames(const std::vector<AnsiString>& Names)
{
    for (size_t i = 0; i < Names.size(); ++i) rows_[codepage::upperCase(Names[i])].push_back(i);
}

const std::vector<size_t>& TShownNames::Find(const AnsiString& Name) const
{
    static const std::vector<size_t> none;
    const auto it = rows_.find(codepage::upperCase(Name));
    return it == rows_.end() ? none : it->second;
}

TSendQueue::TSendQueue(std::string FileName) : fileName_(std::move(FileName)) {}

std::optional<size_t> TSendQueue::Find(TMark Mark) const
{
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].Mark == Mark) return i;
    }
    return std::nullopt;
}

void TSendQueue::push(TQueueEntry Entry) { entries_.push_back({std::move(Entry), ++lastMark_}); }

void TSendQueue::Load()
{
    for (TQueueEntry& e : LoadQueue(fileName_)) push(std::move(e));
}

void TSendQueue::Save()
{
    std::vector<TQueueEntry> kept;
    kept.reserve(entries_.size());
    for (const TItem& item : entries_) {
        if (!item.Entry.Date.empty()) kept.push_back(item.Entry);
    }
    unsaved_ = true;
    SaveQueue(fileName_, kept);
    unsaved_ = false;
}

void TSendQueue::SaveIfUnsaved()
{
    if (unsaved_) Save();
}

void TSendQueue::Add(TQueueEntry Entry)
{
    push(std::move(Entry));
    Save();
}

void TSendQueue::Delete(size_t Index)
{
    if (Index >= entries_.size()) return;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(Index));
    Save();
}

void TSendQueue::DeleteAll()
{
    entries_.clear();
    Save();
}

TDue TSendQueue::Due(size_t Index, const QDateTime& Now)
{
    TQueueEntry& e = entries_.at(Index).Entry;
    const TDue due = QueueDue(e.Date, Now);
    if (due == TDue::Unreadable) e.Date.clear();
    return due;
}

bool TSendQueue::AnyDue(const TShownNames& Shown, const QDateTime& Now)
{
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].Entry.Date.empty()) continue;
        if (Due(i, Now) == TDue::Due && Shown.Contains(entries_[i].Entry.To)) return true;
    }
    return false;
}

std::vector<TSendQueue::TPick> TSendQueue::Pick(const TShownNames& Shown, std::optional<size_t> Only) const
{
    std::vector<TPick> picks;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (Only && *Only != i) continue;
        const TItem& item = entries_[i];
        if (item.Entry.Date.empty()) continue;  // a done entry never goes again
        for (size_t contact : Shown.Find(item.Entry.To))
            picks.push_back({item.Mark, contact, item.Entry.Date, item.Entry.Text});
    }
    return picks;
}

bool TSendQueue::SetDone(TMark Mark)
{
    const auto at = Find(Mark);
    if (!at) return false;
    entries_[*at].Entry.Date.clear();
    return true;
}

void TSendQueue::StrikeOff(TMark Mark)
{
    SetDone(Mark);
    Save();
}

bool TSendQueue::DropDone()
{
    const auto from = std::remove_if(entries_.begin(), entries_.end(),
                                     [](const TItem& item) { return item.Entry.Date.empty(); });
    if (from == entries_.end()) return false;
    entries_.erase(from, entries_.end());
    Save();
    return true;
}
