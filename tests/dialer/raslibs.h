#pragma once
// The libraries the dialer's components load, as the tests set them up: each
// test picks a folder holding the libraries it wants under the host's names,
// and the system version the loaders see.

#include "platform/ansistring.h"
#include "platform/sysversion.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace raslibs {

// Test builds of the libraries.
inline const std::string kFull = RAS_FULL;        // the service, clock moved by the tests
inline const std::string kNoProps = RAS_NOPROPS;  // the same without the entry-property functions
inline const std::string kStub = RAS_STUB;        // every name, scripted answers
inline const std::string kTapi = TAPI_DOUBLE;     // telephony double

// A new folder in which each library appears under the
// host's name: {"RASAPI32.DLL", kFull}, ...
std::string folder(const std::string& name, const std::vector<std::pair<std::string, std::string>>& libs);
// Adds one more library to a folder.
void addTo(const std::string& folder, const std::string& hostName, const std::string& lib);

// From now on the loaders load from Folder, as a fresh program would, on the
// system version given (this system's when nullptr).
void use(const std::string& Folder, const sysversion::OSVERSIONINFOA* version = nullptr);
// The usual set-up: the full service, this system, no telephony.
void useService();

sysversion::OSVERSIONINFOA windows95(uint32_t minor);
sysversion::OSVERSIONINFOA windowsNT(uint32_t major);

// The service's clock (the loaded test build): moves it on and returns once
// everything due was done, then hands the notifications to the component.
void advance(uint32_t ms);
// Forgets every connection of the loaded service.
void reset();
// A function the loaded remote access library exports (nullptr when none).
void* symbol(const char* name);

// Writes the system phonebook: UTF-8 text in, cp1251 with CR LF out.
void writePhonebook(const std::string& utf8);
// Writes a phonebook file of that name below the test root; its path.
std::string writePhonebookFile(const std::string& name, const std::string& utf8);

// Handles the events that are waiting until Done or the time runs out.
bool waitFor(const std::function<bool()>& Done, int timeoutMs = 20000);

}  // namespace raslibs
