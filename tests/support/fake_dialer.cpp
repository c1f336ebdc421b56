// Plays the dialer's part at start-up for tests: after ORV_FAKE_DIALER_DELAY_MS
// it registers ORV_FAKE_DIALER_HANDLE as its window handle, and records the
// folder it was started in and the arguments it got.

#include "platform/registry.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

int main(int argc, char**)
{
    const char* delay = std::getenv("ORV_FAKE_DIALER_DELAY_MS");
    const char* handle = std::getenv("ORV_FAKE_DIALER_HANDLE");
    char cwd[4096] = {};
    if (!getcwd(cwd, sizeof cwd - 1)) cwd[0] = 0;
    registry::writeString("Software\\Kestrane\\Dialer", "StartedIn", cwd);
    registry::writeDword("Software\\Kestrane\\Dialer", "Arguments", static_cast<uint32_t>(argc - 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(delay ? std::atoi(delay) : 0));
    registry::writeDword("Software\\Kestrane\\Dialer", "Handle",
                         handle ? static_cast<uint32_t>(std::strtoul(handle, nullptr, 0)) : 0x00017001u);
    return 0;
}
