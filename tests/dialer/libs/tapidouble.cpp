// A telephony library for the tests: answers with the records a test sets.

#include "platform/ras/tapi.h"

#include <cstring>
#include <vector>

using namespace tapi;

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
LONG initResult = 0;
DWORD deviceCount = 1;
std::vector<char> caps;
LONG capsResult = 0;
std::vector<char> countries;
int shutdowns = 0;

void copyInto(void* target, const std::vector<char>& from)
{
    DWORD total = 0;
    std::memcpy(&total, target, sizeof total);
    std::memcpy(target, from.data(), from.size() < total ? from.size() : total);
    std::memcpy(target, &total, sizeof total);
}
}  // namespace

// ---- what a test sets
EXPORT void TapiDoubleSet(LONG init, DWORD devices, const void* capsData, DWORD capsSize, LONG capsAnswer,
                          const void* countryData, DWORD countrySize)
{
    initResult = init;
    deviceCount = devices;
    caps.assign(static_cast<const char*>(capsData), static_cast<const char*>(capsData) + capsSize);
    capsResult = capsAnswer;
    countries.assign(static_cast<const char*>(countryData), static_cast<const char*>(countryData) + countrySize);
    shutdowns = 0;
}
EXPORT int TapiDoubleShutdowns() { return shutdowns; }

EXPORT LONG lineInitialize(HLINEAPP* app, const void*, LINECALLBACK, const char*, DWORD* devices)
{
    if (initResult != 0) return initResult;
    *app = 0x10;
    *devices = deviceCount;
    return 0;
}
EXPORT LONG lineShutdown(HLINEAPP)
{
    ++shutdowns;
    return 0;
}
EXPORT LONG lineGetTranslateCaps(HLINEAPP, DWORD, LINETRANSLATECAPS* out)
{
    if (capsResult != 0) return capsResult;
    copyInto(out, caps);
    return 0;
}
EXPORT LONG lineGetCountry(DWORD, DWORD, LINECOUNTRYLIST* out)
{
    copyInto(out, countries);
    return 0;
}
