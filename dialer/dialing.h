#pragma once
// The dialer's decisions about a connection, apart from its window: the
// status text of each connection state, what the state handler does with a
// notification, which errors are logged and which are redialled, how many
// attempts a series may make, which number a redial takes, the filters of a
// typed phone number, the time counters and the texts of the traffic panels
// and the log.
//
// Texts are Windows-1251.

#include "platform/ansistring.h"

#include <QTime>

#include <cstdint>
#include <string_view>
#include <vector>

// Connection states and errors the decisions name.
enum : uint16_t {
    csConnectDevice = 2,
    csDeviceConnected = 3,
    csAuthenticate = 5,
    csConnected = 8192,
    csDisconnected = 8193,
    erPending = 600,
    erPortDisconnected = 619,
    erUserDisconnection = 631,
    erNoConnection = 668,
    erNoDialTone = 680,
    erAuthenticationFailure = 691,
};

// The status text of a state: "Соединение...", "Соединение установлено",
// "Проверка имени и пароля...", "Связь установлена", "Связь разорвана"; empty
// for every other state.
AnsiString ConnectedStatus(uint16_t State);

// What the state handler does with one notification once it has shown the
// state's text.
enum class TStateStep {
    Repeated,      // the same state (or error) as the one before: nothing at all
    Error,         // the attempt failed with ConnectError
    NotDialling,   // no attempt under way (a connection is up, or none): nothing more
    Connected,     // the attempt connected
    Disconnected,  // the attempt ended (601..4095, or 8193)
    Progress,      // a step of the attempt: nothing more
};
TStateStep StateStep(uint16_t State, uint16_t LastState, uint16_t Error, bool Dialling);

// The message the pager that asked for the line is told of a state:
// WM_DIAL_DIALING for 2, WM_DIAL_AUTHENTICATING for 5, else 0.
uint32_t PagerReport(uint16_t State);

// Whether an error ending an attempt is written to the log (all but 600).
bool ErrorLogged(uint16_t Error);
// Whether an attempt that ended with the error is tried again (all but 600,
// 619, 631, 668 and 691).
bool ErrorRedials(uint16_t Error);

// The attempts of one series: a failed first attempt is followed by at most
// Count - 1 more; after "no dial tone" (680), by at most one more.
class TRedialCount {
public:
    int Attempts = 0;

    // An attempt ended with the error: 680 leaves room for one more at most.
    void AttemptFailed(uint16_t Error, int Count);
    // Whether another attempt follows (counted) with the redial option as
    // given; when none does, the series is over and the count starts afresh.
    bool Next(bool Option, int Count);
    void Reset() noexcept { Attempts = 0; }
};

// A number as the add dialog keeps it: only "#", "*", ",", the digits and
// the letters P, T and W in either case.
AnsiString AddedNumber(std::string_view Text);
// A number as the edit dialog keeps it: only the digits.
AnsiString EditedNumber(std::string_view Text);

// The row a redial moves to: from Selected (-1: before the first row) to the
// next checked row, wrapping from the last row to the first; Selected itself
// when it is the only checked row; -1 when no row is checked.
int NextCheckedRow(const std::vector<bool>& Checked, int Selected);

// Seconds in a day and in 31 days: where the time counters start again.
inline constexpr int32_t kDayWrap = 86400;
inline constexpr int32_t kMonthWrap = 2678400;
// One second more: a counter that has reached Wrap starts again from 0 first.
int32_t CountUp(int32_t Value, int32_t Wrap);

// " " and the number in groups of three digits: " 1 234 567".
AnsiString GroupedNumber(uint64_t N);
// The connect speed as the status bar shows it: "33600 бит/сек".
AnsiString SpeedText(int32_t Bps);
// The tray's hint on line: "33600 бит/с  00:01:05 сек".
AnsiString OnlineHint(int32_t Bps, const AnsiString& OnlineTime);

// A line of the log: "[" + the time in the system's long time format, without
// a time zone, + "] " + the text.
AnsiString LogLine(const QTime& Time, const AnsiString& Text);
