#include "pager/service.h"

#include "common/strs.h"
#include "platform/codepage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace {

AnsiString shortString(AnsiString s)
{
    if (s.size() > ShortStringMax) s.resize(ShortStringMax);
    return s;
}

int sign(int d) { return d > 0 ? 1 : (d < 0 ? -1 : 0); }

const AnsiString& emptyText()
{
    static const AnsiString empty;
    return empty;
}

}  // namespace

int DateKey(const QDateTime& D)
{
    const QDate d = D.date();
    return (d.year() - 2000) * 372 + d.month() * 31 + d.day();
}

int CompareDates(const QDateTime& A, const QDateTime& B) { return sign(DateKey(A) - DateKey(B)); }

int TimeKey(const QDateTime& T)
{
    const QTime t = T.time();
    return t.hour() * 3600 + t.minute() * 60 + t.second();
}

int CompareTimes(const QDateTime& A, const QDateTime& B) { return sign(TimeKey(A) - TimeKey(B)); }

AnsiString OneLineValue(std::string_view S)
{
    AnsiString out(S);
    for (char& c : out) {
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    }
    return out;
}

AnsiString StorableName(std::string_view S)
{
    AnsiString out(S);
    for (char& c : out) {
        if (byteOf(c) < ' ') c = ' ';
    }
    const size_t b = out.find_first_not_of(' ');
    if (b == AnsiString::npos) return {};
    return out.substr(b, out.find_last_not_of(' ') - b + 1);
}

int32_t MinutesToMs(int32_t Minutes)
{
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{Minutes} * 60000, 0, INT32_MAX));
}

AnsiString IntToStrZ(int N, int Width) { return shortString(PadZeros(std::to_string(N), Width)); }

AnsiString FormatTime(int Width, const QDateTime& T)
{
    const QTime t = T.time();
    AnsiString hour = std::to_string(t.hour());
    AnsiString minute = std::to_string(t.minute());
    if (Width > 0) {
        hour = PadZeros(hour, Width);
        minute = PadZeros(minute, Width);
    }
    return shortString(hour + ":" + minute);
}

const AnsiString& MonthName(int Month)
{
    static const std::array<AnsiString, 12> names = [] {
        constexpr std::array<const char*, 12> utf8 = {
            "января", "февраля", "марта",    "апреля",  "мая",    "июня",
            "июля",   "августа", "сентября", "октября", "ноября", "декабря"};
        std::array<AnsiString, 12> out;
        for (std::size_t i = 0; i < utf8.size(); ++i) out[i] = codepage::fromUtf8(utf8[i]);
        return out;
    }();
    if (Month < 1 || Month > 12) return emptyText();
    return names[static_cast<std::size_t>(Month - 1)];
}

AnsiString FormatDate(int Kind, const QDateTime& D)
{
    const QDate d = D.date();
    const AnsiString day = std::to_string(d.day());
    const AnsiString month = std::to_string(d.month());
    const AnsiString year = std::to_string(d.year());
    AnsiString out;
    switch (Kind) {
    case 1:
        out = IntToStrZ(d.day(), 2) + "." + IntToStrZ(d.month(), 2) + "." + IntToStrZ(d.year(), 4);
        break;
    case 2:
        out = day + " " + MonthName(d.month()) + " " + year;
        break;
    case 3:
        out = IntToStrZ(d.day(), 2) + "." + IntToStrZ(d.month(), 2);
        break;
    case 4:
        out = day + " " + MonthName(d.month());
        break;
    default:
        out = day + "." + month + "." + year;
        break;
    }
    return shortString(std::move(out));
}

AnsiString InsertNumber(std::string_view Template, std::string_view Number)
{
    AnsiString out(Template);
    const auto at = out.find("###");
    if (at != AnsiString::npos) out.replace(at, 3, Number);
    return shortString(std::move(out));
}

AnsiString ReplaceMacro(std::string_view S, std::string_view Name, std::string_view Value)
{
    if (S.empty() || Name.empty()) return AnsiString(S);
    // Upper-casing keeps every byte in its place, so a match found in the
    // upper-cased copy stands at the same place in S.
    const AnsiString upper = codepage::upperCase(S);
    const AnsiString macro = "%" + codepage::upperCase(Name) + "%";
    AnsiString out;
    out.reserve(S.size());
    std::size_t from = 0;
    for (auto at = upper.find(macro); at != AnsiString::npos; at = upper.find(macro, from)) {
        out += S.substr(from, at - from);
        out += Value;
        from = at + macro.size();
    }
    out += S.substr(from);
    return out;
}

bool NeedEndMark(std::string_view S)
{
    if (S.empty()) return false;
    switch (S.back()) {
    case '!':
    case ')':
    case '.':
    case '?':
        return false;
    default:
        return true;
    }
}

namespace {

struct RecodeName {
    const char* stored;
    const char* shown;
};

constexpr std::array<RecodeName, RecodeCount> kRecodeNames = {{
    {"", "KOI8"},
    {"WIN", "WIN"},
    {"RUS2LAT", "RUS->LAT"},
    {"LAT2KOI8", "LAT->KOI8"},
    {"LAT2WIN", "LAT->WIN"},
}};

bool knownCode(int code) { return code >= 0 && code < RecodeCount; }

}  // namespace

const AnsiString& RecodeStoredName(int Code)
{
    static const std::array<AnsiString, RecodeCount> names = [] {
        std::array<AnsiString, RecodeCount> out;
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = kRecodeNames[i].stored;
        return out;
    }();
    return knownCode(Code) ? names[static_cast<std::size_t>(Code)] : emptyText();
}

const AnsiString& RecodeShownName(int Code)
{
    static const std::array<AnsiString, RecodeCount> names = [] {
        std::array<AnsiString, RecodeCount> out;
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = kRecodeNames[i].shown;
        return out;
    }();
    return knownCode(Code) ? names[static_cast<std::size_t>(Code)] : emptyText();
}

int RecodeCodeOfStored(std::string_view Name)
{
    for (int code = 1; code < RecodeCount; ++code) {
        if (codepage::sameText(Name, RecodeStoredName(code))) return code;
    }
    return 0;
}
