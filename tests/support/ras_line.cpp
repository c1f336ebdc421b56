// A program that holds one dial-up line through the remote access service
// alone, for the tests of what the service does when the program that dialled
// ends:
//
//   ras_line LIBRARY PHONEBOOK ENTRY HOW
//
// loads the service LIBRARY, dials ENTRY of the phonebook file PHONEBOOK and
// waits (at most 20 s) for the line to come up. Then, by HOW: "hangup" hangs
// it up and ends at once, "stay" ends with the line up; "hangup-unload" and
// "stay-unload" do the same but unload the service before the end. Exit code
// 0 when the line came up, 1 when it did not, 2 on a wrong call. It is linked
// with QtCore, as the dialer is.

#include "platform/ras/rasapi.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <string>

using namespace ras;

namespace {

std::mutex m;
std::condition_variable changed;
bool up = false;
bool failed = false;

DWORD notifier(DWORD, DWORD, HRASCONN, UINT, RASCONNSTATE state, DWORD error, DWORD)
{
    std::lock_guard lk(m);
    if (error != 0) failed = true;
    if (state == RASCS_Connected) up = true;
    changed.notify_all();
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) return 2;
    const std::string how = argv[4];
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) return 2;
    auto dial = reinterpret_cast<PRasDialA>(dlsym(lib, "RasDialA"));
    auto hangUp = reinterpret_cast<PRasHangUpA>(dlsym(lib, "RasHangUpA"));
    if (!dial || !hangUp) return 2;

    RASDIALPARAMSA params{};
    params.dwSize = sizeof params;
    std::strncpy(params.szEntryName, argv[3], RAS_MaxEntryName);
    HRASCONN h = 0;
    if (dial(nullptr, argv[2], &params, 2, reinterpret_cast<const void*>(&notifier), &h) != 0) return 1;
    {
        std::unique_lock lk(m);
        if (!changed.wait_for(lk, std::chrono::seconds(20), [] { return up || failed; }) || !up) return 1;
    }
    if (how.rfind("hangup", 0) == 0) hangUp(h);
    if (how.find("-unload") != std::string::npos) dlclose(lib);
    return 0;
}
