#include "dialer/phones.h"

#include "dialer/service.h"
#include "common/strs.h"
#include "platform/registry.h"

#include <variant>

void ReadPhones(const AnsiString& Entry, TEntryState& State)
{
    State = TEntryState{};
    if (Entry.empty()) return;
    const AnsiString key = EntriesKey + Entry;
    for (const registry::NamedValue& v : registry::values(key)) {
        if (const auto* checked = std::get_if<uint32_t>(&v.data)) State.Phones.push_back({v.name, *checked != 0});
    }

    const auto account = registry::values(key + "\\Account");
    if (const auto has = registry::dwordIn(account, "HasPassword")) State.HasSavedPassword = *has != 0;
    if (const auto text = registry::stringIn(account, "Password")) State.SavedPassword = LeftStr(*text, 255);

    const QDate& date = DialerOptions.StatDate;
    const auto stats = registry::values(StatisticsKey(key, date));
    if (const auto whole = registry::dwordIn(stats, "Whole")) State.EntryMonthSecs = static_cast<int32_t>(*whole);
    if (const auto day = registry::dwordIn(stats, DayValueName(date))) State.EntryDaySecs = static_cast<int32_t>(*day);
}

void WritePhones(const AnsiString& Entry, const TEntryState& State)
{
    if (Entry.empty()) return;
    const AnsiString key = EntriesKey + Entry;
    std::vector<registry::NamedValue> rows;
    for (const TPhoneRow& row : State.Phones) rows.push_back({row.Number, row.Checked ? 1u : 0u});
    registry::replaceValues(key, rows);

    registry::writeValues(key + "\\Account", {{"HasPassword", State.HasSavedPassword ? 1u : 0u},
                                              {"Password", State.SavedPassword}});

    const QDate& date = DialerOptions.StatDate;
    registry::writeValues(StatisticsKey(key, date), {{"Whole", static_cast<uint32_t>(State.EntryMonthSecs)},
                                                     {DayValueName(date), static_cast<uint32_t>(State.EntryDaySecs)}});
}
