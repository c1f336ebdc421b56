#pragma once
// The system's version as the programs ask for it, and the version
// information that a library of ours carries.
//
// This system answers as the NT platform, version 5.0: the programs take the
// newest of their paths. Tests may make it answer as any other version.

#include <cstdint>
#include <string>

namespace sysversion {

enum : uint32_t {
    VER_PLATFORM_WIN32s = 0,
    VER_PLATFORM_WIN32_WINDOWS = 1,
    VER_PLATFORM_WIN32_NT = 2,
};

// 148 bytes.
struct OSVERSIONINFOA {
    uint32_t dwOSVersionInfoSize;
    uint32_t dwMajorVersion;
    uint32_t dwMinorVersion;
    uint32_t dwBuildNumber;
    uint32_t dwPlatformId;
    char szCSDVersion[128];  // the service pack, "" for none
};
static_assert(sizeof(OSVERSIONINFOA) == 148);

// Fills Info when its dwOSVersionInfoSize is 148; false otherwise.
bool GetVersionExA(OSVERSIONINFOA* Info);

// Tests: the version GetVersionExA answers with from now on; nullptr puts
// this system's back.
void setVersionForTests(const OSVERSIONINFOA* Info);

// The value of Key ("ProductVersion", ...) in the version information of a
// library of ours (a table of key and value texts it exports under the name
// "VersionInfo"). Empty when the file cannot be loaded, carries no such table
// or no such key.
std::string fileVersionValue(const std::string& File, const std::string& Key);

}  // namespace sysversion
