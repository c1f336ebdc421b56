#pragma once
// The dialer's settings in the current user's registry: the options record,
// the time on line per month and per day, the window position, the window
// handle the pager finds the dialer by, the other product's handle, the
// scrambled saved password and the time texts.
//
//   Software\Kestrane\Dialer\                  options, Version, Author, Path, Handle
//   Software\Kestrane\Dialer\Statistics\<m.y>  Whole (month) and <day> seconds, all entries
//   Software\Kestrane\Dialer\Position\<name>   Left, Top, Height, Width
//   Software\Kestrane\Zelvo\                   Handle of the other product (read only)
//   Software\Microsoft\Windows\CurrentVersion\Run  OrvDialer while AutoRun is set
//
// <m.y> is the month without a leading zero, a point and the year (3.2026);
// <day> is the day of the month without a leading zero. Integers and Booleans
// are DWORDs (Booleans 0 or 1, read as set when not 0), texts string values.
// Readers never create keys and keep the defaults for what is missing (a value
// of the other type counts as missing); writers create the keys. Nothing here
// reports a failure: what cannot be read keeps its default, what cannot be
// written is not stored.

#include "common/dialerkey.h"
#include "platform/ansistring.h"

#include <QDate>

#include <cstdint>

inline constexpr const char* ZelvoKey = "Software\\Kestrane\\Zelvo";
// Name of the dialer's autostart value.
inline constexpr const char* AutoRunName = "OrvDialer";

struct TDialerOptions {
    int32_t EntryIndex = 0;   // selected phonebook entry
    int32_t MonthSecs = 0;    // seconds on line this month, all entries
    int32_t DaySecs = 0;      // seconds on line today, all entries
    QDate StatDate;           // the day the statistics are stored under
    bool AutoRun = false;     // start with the desktop session
    bool ReDial = true;       // redial after a failed or lost connection
    bool HideOnRun = false;   // start hidden
    bool HideOnConnect = false;
    bool Tone = false;        // tone dialling ("T"), else pulse ("P")
    int32_t RedialCount = 10; // fixed: never stored
    int32_t RedialDelay = 5;  // seconds, fixed: never stored
};

// The dialer's one options record.
extern TDialerOptions DialerOptions;

// Key of the statistics of the date's month below base (the dialer key, or
// an entry's key), and the name of the date's day value there.
AnsiString StatisticsKey(const AnsiString& Base, const QDate& Date);
AnsiString DayValueName(const QDate& Date);

// Reads each of Left, Top, Height, Width of Position\<Name> that is stored.
void ReadPosition(const AnsiString& Name, int32_t& Left, int32_t& Top, int32_t& Height, int32_t& Width);
// Writes Left and Top, and with WithSize Height and Width; -1 is not written.
void WritePosition(const AnsiString& Name, int32_t Left, int32_t Top, int32_t Height, int32_t Width,
                   bool WithSize);

// Moves a registry file that cannot be read aside (registry::
// setAsideUnreadable), so that the settings start afresh and the old file
// stays; its new path, or "" when the file read.
AnsiString KeepUnreadableSettings();
// The defaults; StatDate is today.
void SetDefaults();
// The defaults, then the stored options and this month's and this day's
// counters. A negative stored EntryIndex reads as 0.
void LoadDialerOptions();
// Version, Author, Path (this program's file, as the file system's bytes),
// the options, the counters under the month and day of StatDate, and the
// autostart value (this program's file, written while AutoRun is set,
// deleted otherwise).
void SaveDialerOptions();

// The entry to select among Count entries: EntryIndex when it names one, else 0.
int EntryToSelect(int32_t EntryIndex, int Count);

// Publishes this copy's window handle as Handle; with 0, takes it back: the
// value is deleted only while it still holds the handle this copy wrote (a
// second copy started later keeps its own).
void SaveHandle(uint32_t Handle);
// The other product's window handle, 0 when it has none.
uint32_t ReadZelvoHandle();

// The saved-password scrambling. At most the first 127 characters of Text are
// kept, so the result fits 255 characters and always decodes back.
AnsiString EncodePassword(const AnsiString& Text);
// An odd-length text gets a "0" in front; any character that is not an
// upper-case hexadecimal digit counts as -1.
AnsiString DecodePassword(const AnsiString& Scrambled);

// Seconds as hours:minutes:seconds, each at least two digits: 59 gives
// 00:00:59, 2678400 gives 744:00:00. A negative count gets a "-" in front.
AnsiString SecsToStr(int32_t Seconds);
