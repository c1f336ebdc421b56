#include "platform/sysversion.h"

#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <optional>

namespace sysversion {
namespace {

std::mutex versionMutex;
std::optional<OSVERSIONINFOA> testVersion;

}  // namespace

bool GetVersionExA(OSVERSIONINFOA* Info)
{
    if (!Info || Info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return false;
    std::lock_guard lk(versionMutex);
    if (testVersion) {
        *Info = *testVersion;
    } else {
        std::memset(Info, 0, sizeof *Info);
        Info->dwMajorVersion = 5;
        Info->dwMinorVersion = 0;
        Info->dwBuildNumber = 2195;
        Info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    }
    Info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    return true;
}

void setVersionForTests(const OSVERSIONINFOA* Info)
{
    std::lock_guard lk(versionMutex);
    if (Info) {
        testVersion = *Info;
    } else {
        testVersion.reset();
    }
}

std::string fileVersionValue(const std::string& File, const std::string& Key)
{
    void* lib = dlopen(File.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!lib) return {};
    std::string value;
    if (const auto* table = static_cast<const char* const*>(dlsym(lib, "VersionInfo"))) {
        for (size_t i = 0; table[i] && table[i + 1]; i += 2) {
            if (Key == table[i]) {
                value = table[i + 1];
                break;
            }
        }
    }
    dlclose(lib);
    return value;
}

}  // namespace sysversion
