#include "dialer/service.h"

#include "common/strs.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/registry.h"

#include <string>
#include <utility>
#include <vector>

TDialerOptions DialerOptions;

namespace {

// The handle this copy published, 0 when none.
uint32_t OwnHandle = 0;

const AnsiString kPositionKey = AnsiString(DialerKey) + "\\Position\\";

// Each overwrites Field with the stored DWORD when there is one.
void readInt(const std::vector<registry::NamedValue>& values, const AnsiString& name, int32_t& Field)
{
    if (const auto d = registry::dwordIn(values, name)) Field = static_cast<int32_t>(*d);
}

void readBool(const std::vector<registry::NamedValue>& values, const AnsiString& name, bool& Field)
{
    if (const auto d = registry::dwordIn(values, name)) Field = *d != 0;
}

registry::NamedValue dword(const AnsiString& name, int32_t value)
{
    return {name, static_cast<uint32_t>(value)};
}

registry::NamedValue boolean(const char* name, bool value) { return {name, value ? 1u : 0u}; }

AnsiString twoDigits(int64_t n)
{
    AnsiString s = std::to_string(n);
    return s.size() < 2 ? "0" + s : s;
}

}  // namespace

AnsiString StatisticsKey(const AnsiString& Base, const QDate& Date)
{
    return Base + "\\Statistics\\" + std::to_string(Date.month()) + "." + std::to_string(Date.year());
}

AnsiString DayValueName(const QDate& Date) { return std::to_string(Date.day()); }

void ReadPosition(const AnsiString& Name, int32_t& Left, int32_t& Top, int32_t& Height, int32_t& Width)
{
    const auto values = registry::values(kPositionKey + Name);
    readInt(values, "Left", Left);
    readInt(values, "Top", Top);
    readInt(values, "Height", Height);
    readInt(values, "Width", Width);
}

void WritePosition(const AnsiString& Name, int32_t Left, int32_t Top, int32_t Height, int32_t Width,
                   bool WithSize)
{
    std::vector<registry::NamedValue> values;
    auto put = [&](const char* name, int32_t v) {
        if (v != -1) values.push_back(dword(name, v));
    };
    put("Left", Left);
    put("Top", Top);
    if (WithSize) {
        put("Height", Height);
        put("Width", Width);
    }
    if (!values.empty()) registry::writeValues(kPositionKey + Name, values);
}

AnsiString KeepUnreadableSettings()
{
    const std::string kept = registry::setAsideUnreadable();
    return kept.empty() ? AnsiString() : codepage::fromUtf8(kept);
}

void SetDefaults()
{
    DialerOptions = TDialerOptions{};
    DialerOptions.StatDate = sysclock::now().date();
}

void LoadDialerOptions()
{
    SetDefaults();
    TDialerOptions& o = DialerOptions;
    const auto options = registry::values(DialerKey);
    readInt(options, "EntryIndex", o.EntryIndex);
    if (o.EntryIndex < 0) o.EntryIndex = 0;
    readBool(options, "AutoRun", o.AutoRun);
    readBool(options, "ReDial", o.ReDial);
    readBool(options, "HideOnRun", o.HideOnRun);
    readBool(options, "HideOnConnect", o.HideOnConnect);
    readBool(options, "Tone", o.Tone);

    const auto stats = registry::values(StatisticsKey(DialerKey, o.StatDate));
    readInt(stats, "Whole", o.MonthSecs);
    readInt(stats, DayValueName(o.StatDate), o.DaySecs);
}

void SaveDialerOptions()
{
    const TDialerOptions& o = DialerOptions;
    // The program's path keeps the file system's bytes, whatever its name.
    const std::string path = app::programFilePath();
    registry::writeValues(DialerKey, {{"Version", AnsiString("1.3")}, {"Author", AnsiString("Kestrane")}});
    registry::writePath(DialerKey, "Path", path);
    registry::writeValues(DialerKey, {
                                         dword("EntryIndex", o.EntryIndex),
                                         boolean("AutoRun", o.AutoRun),
                                         boolean("ReDial", o.ReDial),
                                         boolean("HideOnRun", o.HideOnRun),
                                         boolean("HideOnConnect", o.HideOnConnect),
                                         boolean("Tone", o.Tone),
                                     });
    registry::writeValues(StatisticsKey(DialerKey, o.StatDate),
                          {dword("Whole", o.MonthSecs), dword(DayValueName(o.StatDate), o.DaySecs)});
    if (o.AutoRun) {
        registry::writePath(registry::RunKey, AutoRunName, path);
    } else {
        registry::deleteValue(registry::RunKey, AutoRunName);
    }
}

int EntryToSelect(int32_t EntryIndex, int Count) { return EntryIndex >= 0 && EntryIndex < Count ? EntryIndex : 0; }

void SaveHandle(uint32_t Handle)
{
    if (Handle != 0) {
        if (registry::writeDword(DialerKey, "Handle", Handle)) OwnHandle = Handle;
    } else if (OwnHandle != 0) {
        registry::deleteDwordIf(DialerKey, "Handle", OwnHandle);
        OwnHandle = 0;
    }
}

uint32_t ReadZelvoHandle() { return registry::readDword(ZelvoKey, "Handle").value_or(0); }

AnsiString EncodePassword(const AnsiString& Text) { return EncodeStr(LeftStr(Text, 127), ScrambleKey); }

AnsiString DecodePassword(const AnsiString& Scrambled)
{
    return DecodeStr(Scrambled.size() % 2 != 0 ? "0" + Scrambled : Scrambled, ScrambleKey);
}

AnsiString SecsToStr(int32_t Seconds)
{
    const int64_t s = Seconds < 0 ? -int64_t{Seconds} : Seconds;
    return (Seconds < 0 ? "-" : "") + twoDigits(s / 3600) + ":" + twoDigits(s % 3600 / 60) + ":" + twoDigits(s % 60);
}
