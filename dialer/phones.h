#pragma once
// What the dialer keeps per phonebook entry: its phone numbers with their
// check marks, the saved password and the entry's time on line.
//
//   Software\Kestrane\Dialer\Entries\<entry>                     one DWORD per number:
//                                                                name = the number, 1 = checked
//   Software\Kestrane\Dialer\Entries\<entry>\Account             HasPassword, Password
//   Software\Kestrane\Dialer\Entries\<entry>\Statistics\<m.y>    Whole, <day>
//
// <entry> is the phonebook entry's name as the system gives it. The counters
// are kept under the month and day of DialerOptions.StatDate, both ways, so an
// entry picked after midnight reads and adds to the start day's counts.

#include "platform/ansistring.h"

#include <cstdint>
#include <vector>

inline constexpr const char* EntriesKey = "Software\\Kestrane\\Dialer\\Entries\\";

struct TPhoneRow {
    AnsiString Number;
    bool Checked = true;
};

struct TEntryState {
    std::vector<TPhoneRow> Phones;
    bool HasSavedPassword = false;
    AnsiString SavedPassword;  // scrambled (EncodePassword), at most 255 characters
    int32_t EntryMonthSecs = 0;
    int32_t EntryDaySecs = 0;
};

// Empties State, then fills it from the entry's keys: one row per DWORD value
// in the order the key lists them (values of another type are skipped), the
// saved password, and the counters of StatDate's month and day.
void ReadPhones(const AnsiString& Entry, TEntryState& State);

// Replaces the entry's numbers by the rows, in one change of the store (a
// number given twice is stored once, in its first place, with the check mark
// of its last row), then stores the password and the counters under StatDate's
// month and day. Nothing is written for an empty entry name.
void WritePhones(const AnsiString& Entry, const TEntryState& State);
