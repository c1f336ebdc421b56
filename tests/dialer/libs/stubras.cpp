// A remote access library for the loader's and the components' tests: it
// exports every function the loader binds, and answers what a test scripts
// (replies the real service would not give).

#include "platform/ras/rasapi.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace ras;

#define STUB extern "C" __attribute__((visibility("default")))

namespace {
std::vector<std::string> entries;
std::vector<DWORD> dialStates;  // 0x80000000 | error: an error after the previous state
std::vector<DWORD> statistics;  // sent, received; sent, received; ...
size_t statisticsRead = 0;
}  // namespace

// ---- what a test scripts
// The names RasEnumEntriesA lists (they may be empty).
STUB void StubSetEntries(const char* const* names, DWORD count)
{
    entries.assign(names, names + count);
}
// The states RasDialA reports, each through the notifier, from a thread of
// its own, before it returns.
STUB void StubSetDialStates(const DWORD* states, DWORD count) { dialStates.assign(states, states + count); }
// The byte counts that RasGetConnectionStatistics reports, a pair of sent and
// received for each call in turn; the last pair stays.
STUB void StubSetStatistics(const DWORD* pairs, DWORD count)
{
    statistics.assign(pairs, pairs + 2 * count);
    statisticsRead = 0;
}

// ---- basic
STUB DWORD RasDialA(const void*, const char*, const RASDIALPARAMSA*, DWORD type, const void* notifier,
                    HRASCONN* handle)
{
    *handle = 77;
    std::thread t([type, notifier] {
        for (DWORD s : dialStates) {
            if (type == 1) {
                reinterpret_cast<RasDialFunc1>(const_cast<void*>(notifier))(77, WM_RASDIALEVENT,
                                                                           static_cast<RASCONNSTATE>(s), 0, 0);
            } else {
                reinterpret_cast<RasDialFunc2>(const_cast<void*>(notifier))(0, 1, 77, WM_RASDIALEVENT,
                                                                           static_cast<RASCONNSTATE>(s), 0, 0);
            }
        }
    });
    t.join();
    return 0;
}
STUB DWORD RasEnumConnectionsA(RASCONNA*, DWORD*, DWORD* count)
{
    *count = 0;
    return 0;
}
STUB DWORD RasEnumEntriesA(const char*, const char*, RASENTRYNAMEA* names, DWORD* bytes, DWORD* count)
{
    *count = static_cast<DWORD>(entries.size());
    const DWORD needed = static_cast<DWORD>(entries.size() * sizeof(RASENTRYNAMEA));
    if (*bytes < needed) {
        *bytes = needed;
        return ERROR_BUFFER_TOO_SMALL;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        names[i] = RASENTRYNAMEA{};
        names[i].dwSize = sizeof(RASENTRYNAMEA);
        std::strncpy(names[i].szEntryName, entries[i].c_str(), RAS_MaxEntryName);
    }
    return 0;
}
STUB DWORD RasGetConnectStatusA(HRASCONN, RASCONNSTATUSA*) { return 0; }
STUB DWORD RasGetErrorStringA(UINT, char*, DWORD) { return ERROR_INVALID_PARAMETER; }
STUB DWORD RasHangUpA(HRASCONN) { return 0; }
STUB DWORD RasGetEntryDialParamsA(const char*, RASDIALPARAMSA*, BOOL*) { return 0; }
STUB DWORD RasSetEntryDialParamsA() { return 0; }
STUB DWORD RasMonitorDlgA() { return 0; }
STUB DWORD RasEditPhonebookEntryA() { return 0; }
STUB DWORD RasCreatePhonebookEntryA() { return 0; }
STUB DWORD RasGetProjectionInfoA(HRASCONN, DWORD, void*, DWORD*) { return 0; }
// ---- notification
STUB DWORD RasConnectionNotificationA() { return 0; }
// ---- sub-entries and autodial
STUB DWORD RasGetSubEntryHandleA() { return 0; }
STUB DWORD RasGetSubEntryPropertiesA() { return 0; }
STUB DWORD RasSetSubEntryPropertiesA() { return 0; }
STUB DWORD RasGetAutodialAddressA() { return 0; }
STUB DWORD RasSetAutodialAddressA() { return 0; }
STUB DWORD RasEnumAutodialAddressesA() { return 0; }
STUB DWORD RasGetAutodialEnableA() { return 0; }
STUB DWORD RasSetAutodialEnableA() { return 0; }
STUB DWORD RasGetAutodialParamA() { return 0; }
STUB DWORD RasSetAutodialParamA() { return 0; }
// ---- statistics
STUB DWORD RasGetConnectionStatistics(HRASCONN, RAS_STATS* stats)
{
    if (statistics.empty()) return 0;
    const size_t i = std::min(statisticsRead++, statistics.size() / 2 - 1);
    stats->dwBytesXmited = statistics[2 * i];
    stats->dwBytesRcved = statistics[2 * i + 1];
    return 0;
}
STUB DWORD RasClearConnectionStatistics() { return 0; }
STUB DWORD RasGetLinkStatistics() { return 0; }
STUB DWORD RasClearLinkStatistics() { return 0; }
// ---- entry properties
STUB DWORD RasGetCountryInfoA() { return 0; }
STUB DWORD RasGetEntryPropertiesA() { return 0; }
STUB DWORD RasSetEntryPropertiesA() { return 0; }
STUB DWORD RasRenameEntryA() { return 0; }
STUB DWORD RasDeleteEntryA() { return 0; }
STUB DWORD RasValidateEntryNameA() { return 0; }
STUB DWORD RasEnumDevicesA() { return 0; }
