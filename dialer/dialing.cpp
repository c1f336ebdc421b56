#include "dialer/dialing.h"

#include "common/dialmsg.h"
#include "common/strs.h"
#include "dialer/strs.h"
#include "platform/codepage.h"

#include <QLocale>
#include <QRegularExpression>

#include <string>

AnsiString ConnectedStatus(uint16_t State)
{
    switch (State) {
    case csConnectDevice: return codepage::fromUtf8("Соединение...");
    case csDeviceConnected: return codepage::fromUtf8("Соединение установлено");
    case csAuthenticate: return codepage::fromUtf8("Проверка имени и пароля...");
    case csConnected: return codepage::fromUtf8("Связь установлена");
    case csDisconnected: return codepage::fromUtf8("Связь разорвана");
    default: return {};
    }
}

TStateStep StateStep(uint16_t State, uint16_t LastState, uint16_t Error, bool Dialling)
{
    if (State == LastState) return TStateStep::Repeated;
    if (Error != 0) return TStateStep::Error;
    if (!Dialling) return TStateStep::NotDialling;
    if (State == csConnected) return TStateStep::Connected;
    if ((State > 600 && State < 4096) || State == csDisconnected) return TStateStep::Disconnected;
    return TStateStep::Progress;
}

uint32_t PagerReport(uint16_t State)
{
    if (State == csConnectDevice) return WM_DIAL_DIALING;
    if (State == csAuthenticate) return WM_DIAL_AUTHENTICATING;
    return 0;
}

bool ErrorLogged(uint16_t Error) { return Error != erPending; }

bool ErrorRedials(uint16_t Error)
{
    switch (Error) {
    case erPending:
    case erPortDisconnected:
    case erUserDisconnection:
    case erNoConnection:
    case erAuthenticationFailure: return false;
    default: return true;
    }
}

void TRedialCount::AttemptFailed(uint16_t Error, int Count)
{
    if (Error == erNoDialTone && Attempts < Count - 1) Attempts = Count - 2;
}

bool TRedialCount::Next(bool Option, int Count)
{
    if (Option && Attempts < Count - 1) {
        ++Attempts;
        return true;
    }
    Attempts = 0;
    return false;
}

AnsiString AddedNumber(std::string_view Text)
{
    static const TCharSet keep = CharsOf("#*,PTWptw") | CharRange('0', '9');
    return DelChars(Text, ~keep);
}

AnsiString EditedNumber(std::string_view Text) { return DelChars(Text, ~CharRange('0', '9')); }

int NextCheckedRow(const std::vector<bool>& Checked, int Selected)
{
    const int n = static_cast<int>(Checked.size());
    if (n == 0) return -1;
    int row = Selected < 0 || Selected >= n ? -1 : Selected;
    for (int step = 0; step < n; ++step) {
        row = row + 1 >= n ? 0 : row + 1;
        if (Checked[static_cast<size_t>(row)]) return row;
    }
    return -1;
}

int32_t CountUp(int32_t Value, int32_t Wrap) { return (Value >= Wrap ? 0 : Value) + 1; }

AnsiString GroupedNumber(uint64_t N) { return " " + GroupDigits(std::to_string(N), " ", 3); }

AnsiString SpeedText(int32_t Bps) { return std::to_string(Bps) + codepage::fromUtf8(" бит/сек"); }

AnsiString OnlineHint(int32_t Bps, const AnsiString& OnlineTime)
{
    return std::to_string(Bps) + codepage::fromUtf8(" бит/с  ") + OnlineTime + codepage::fromUtf8(" сек");
}

AnsiString LogLine(const QTime& Time, const AnsiString& Text)
{
    // The long format without its time-zone field ("t", "tt", "ttt", "tttt").
    static const QString format = [] {
        QString f = QLocale::system().timeFormat(QLocale::LongFormat);
        f.remove(QRegularExpression(QStringLiteral("\\s*t+")));
        f = f.trimmed();
        return f.isEmpty() ? QStringLiteral("HH:mm:ss") : f;
    }();
    return "[" + codepage::fromUnicode(QLocale::system().toString(Time, format)) + "] " + Text;
}
