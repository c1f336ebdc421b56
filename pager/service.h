#pragma once
// Date, time, template and macro routines of the pager, and the names of the
// recoding codes. Results marked "short" are cut at 255 characters.

#include "platform/ansistring.h"

#include <QDateTime>

#include <cstddef>
#include <cstdint>
#include <string_view>

// Longest text a short-string result may hold.
constexpr std::size_t ShortStringMax = 255;

// (year - 2000) * 372 + month * 31 + day; the time of day is ignored.
int DateKey(const QDateTime& D);
// 1, -1 or 0 as DateKey of A is above, below or equal to that of B.
int CompareDates(const QDateTime& A, const QDateTime& B);
// hour * 3600 + minute * 60 + second; milliseconds and the date are ignored.
int TimeKey(const QDateTime& T);
// 1, -1 or 0 as TimeKey of A is above, below or equal to that of B.
int CompareTimes(const QDateTime& A, const QDateTime& B);

// A timer's interval of Minutes minutes in ms, worked out in 64 bits: at most
// the longest interval a timer takes (2^31 - 1 ms, about 24.8 days); 0, which
// never ticks, for 0 or fewer minutes.
int32_t MinutesToMs(int32_t Minutes);

// N in decimal with "0" put in front until it is at least Width long (short).
AnsiString IntToStrZ(int N, int Width);
// "hour:minute"; with Width above 0 each number is padded with zeros to Width,
// else written without leading zeros (short).
AnsiString FormatTime(int Width, const QDateTime& T);
// Kind 1 "05.03.2001", 2 "5 марта 2001", 3 "05.03", 4 "5 марта", any other
// "5.3.2001" (short).
AnsiString FormatDate(int Kind, const QDateTime& D);
// Genitive name of Month 1..12 ("марта"); empty for any other number.
const AnsiString& MonthName(int Month);

// Template with its first "###" replaced by Number (short).
AnsiString InsertNumber(std::string_view Template, std::string_view Number);
// Every "%Name%" of S, in any letter case, replaced by Value (removed when
// Value is empty). The text is read once from left to right and each search
// goes on after the inserted Value, so a Value that holds the macro is left
// as it is.
AnsiString ReplaceMacro(std::string_view S, std::string_view Name, std::string_view Value);
// Whether a "." goes after S before a signature: False when S ends in "!",
// ")", "." or "?", and for an empty S; True otherwise.
bool NeedEndMark(std::string_view S);

// What the readers of the data files accept may hold bytes their writers
// refuse (a lone CR or a NUL inside a line would end or break it). Texts read
// are made storable when they are loaded, so whatever was read can be
// written back:
// a one-line value: every CR, LF and NUL becomes a blank;
AnsiString OneLineValue(std::string_view S);
// a name (a group, a contact, the contact of a log row or queue entry): every
// control byte becomes a blank and blanks at either end go.
AnsiString StorableName(std::string_view S);

// Recoding codes 0..4 of the address book and the new-mail notice.
constexpr int RecodeCount = 5;
// Name of a code in the data files: "", "WIN", "RUS2LAT", "LAT2KOI8",
// "LAT2WIN"; empty for an unknown code.
const AnsiString& RecodeStoredName(int Code);
// Name of a code in the drop-down lists: "KOI8", "WIN", "RUS->LAT",
// "LAT->KOI8", "LAT->WIN"; empty for an unknown code.
const AnsiString& RecodeShownName(int Code);
// Code of a stored name, compared without letter case; 0 for any name that is
// not one of them.
int RecodeCodeOfStored(std::string_view Name);
