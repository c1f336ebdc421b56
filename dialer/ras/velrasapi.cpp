#include "dialer/ras/velrasapi.h"

#include "platform/app.h"
#include "platform/codepage.h"
#include "platform/sysversion.h"

#include <dlfcn.h>

uint8_t SystemLevel = 0;

namespace velras {

ras::PRasDialA RasDialA;
ras::PRasEnumConnectionsA RasEnumConnectionsA;
ras::PRasEnumEntriesA RasEnumEntriesA;
ras::PRasGetConnectStatusA RasGetConnectStatusA;
ras::PRasGetErrorStringA RasGetErrorStringA;
ras::PRasHangUpA RasHangUpA;
ras::PRasGetEntryDialParamsA RasGetEntryDialParamsA;
FARPROC RasSetEntryDialParamsA;
FARPROC RasMonitorDlgA;
FARPROC RasEditPhonebookEntryA;
FARPROC RasCreatePhonebookEntryA;
ras::PRasGetProjectionInfoA RasGetProjectionInfoA;
FARPROC RasConnectionNotificationA;
FARPROC RasGetSubEntryHandleA;
ras::PRasGetSubEntryPropertiesA RasGetSubEntryPropertiesA;
FARPROC RasSetSubEntryPropertiesA;
FARPROC RasGetAutodialAddressA;
FARPROC RasSetAutodialAddressA;
FARPROC RasEnumAutodialAddressesA;
FARPROC RasGetAutodialEnableA;
FARPROC RasSetAutodialEnableA;
FARPROC RasGetAutodialParamA;
FARPROC RasSetAutodialParamA;
ras::PRasGetConnectionStatistics RasGetConnectionStatistics;
ras::PRasClearConnectionStatistics RasClearConnectionStatistics;
ras::PRasGetLinkStatistics RasGetLinkStatistics;
ras::PRasClearLinkStatistics RasClearLinkStatistics;
ras::PRasGetCountryInfoA RasGetCountryInfoA;
ras::PRasGetEntryPropertiesA RasGetEntryPropertiesA;
FARPROC RasSetEntryPropertiesA;
FARPROC RasRenameEntryA;
FARPROC RasDeleteEntryA;
FARPROC RasValidateEntryNameA;
FARPROC RasEnumDevicesA;

namespace {

void* rasLib = nullptr;
void* propLib = nullptr;  // == rasLib when the remote access library has them itself
bool loadAttempted = false;
bool propsBound = false;
std::string folder;

template <class F>
void bind(void* lib, F& entry, const char* name)
{
    entry = reinterpret_cast<F>(dlsym(lib, name));
}

#define BIND(lib, name) bind(lib, name, #name)

void clearEntryPoints()
{
    RasDialA = nullptr;
    RasEnumConnectionsA = nullptr;
    RasEnumEntriesA = nullptr;
    RasGetConnectStatusA = nullptr;
    RasGetErrorStringA = nullptr;
    RasHangUpA = nullptr;
    RasGetEntryDialParamsA = nullptr;
    RasSetEntryDialParamsA = nullptr;
    RasMonitorDlgA = nullptr;
    RasEditPhonebookEntryA = nullptr;
    RasCreatePhonebookEntryA = nullptr;
    RasGetProjectionInfoA = nullptr;
    RasConnectionNotificationA = nullptr;
    RasGetSubEntryHandleA = nullptr;
    RasGetSubEntryPropertiesA = nullptr;
    RasSetSubEntryPropertiesA = nullptr;
    RasGetAutodialAddressA = nullptr;
    RasSetAutodialAddressA = nullptr;
    RasEnumAutodialAddressesA = nullptr;
    RasGetAutodialEnableA = nullptr;
    RasSetAutodialEnableA = nullptr;
    RasGetAutodialParamA = nullptr;
    RasSetAutodialParamA = nullptr;
    RasGetConnectionStatistics = nullptr;
    RasClearConnectionStatistics = nullptr;
    RasGetLinkStatistics = nullptr;
    RasClearLinkStatistics = nullptr;
    RasGetCountryInfoA = nullptr;
    RasGetEntryPropertiesA = nullptr;
    RasSetEntryPropertiesA = nullptr;
    RasRenameEntryA = nullptr;
    RasDeleteEntryA = nullptr;
    RasValidateEntryNameA = nullptr;
    RasEnumDevicesA = nullptr;
}

void freeLibraries()
{
    if (propLib && propLib != rasLib) dlclose(propLib);
    if (rasLib) dlclose(rasLib);
    propLib = nullptr;
    rasLib = nullptr;
}

// Frees the libraries at program end.
struct Unloader {
    ~Unloader() { freeLibraries(); }
} unloader;

}  // namespace

bool EntryPropertiesBound() { return propsBound; }
bool RasLibraryLoaded() { return rasLib != nullptr; }

std::string LibraryFolder()
{
    if (!folder.empty()) return folder;
    const std::string exe = app::programFilePath();
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

void SetLibraryFolder(const std::string& Folder) { folder = Folder; }

std::string LibraryFile(const std::string& HostName)
{
    std::string name = codepage::lowerCase(HostName);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0) name.resize(name.size() - 4);
    return LibraryFolder() + "/" + name + ".so";
}

void UnloadRasApi()
{
    freeLibraries();
    clearEntryPoints();
    loadAttempted = false;
    propsBound = false;
}

}  // namespace velras

bool LoadRasApi()
{
    using namespace velras;
    if (loadAttempted) return RasDialA != nullptr;

    sysversion::OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    sysversion::GetVersionExA(&v);
    SystemLevel = 0;
    if (v.dwPlatformId == sysversion::VER_PLATFORM_WIN32_NT) SystemLevel = v.dwMajorVersion < 5 ? 1 : 2;

    loadAttempted = true;
    clearEntryPoints();
    propsBound = false;
    rasLib = dlopen(LibraryFile("RASAPI32.DLL").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!rasLib) return false;

    BIND(rasLib, RasDialA);
    BIND(rasLib, RasEnumConnectionsA);
    BIND(rasLib, RasEnumEntriesA);
    BIND(rasLib, RasGetConnectStatusA);
    BIND(rasLib, RasGetErrorStringA);
    BIND(rasLib, RasHangUpA);
    BIND(rasLib, RasGetEntryDialParamsA);
    BIND(rasLib, RasSetEntryDialParamsA);
    BIND(rasLib, RasMonitorDlgA);
    BIND(rasLib, RasEditPhonebookEntryA);
    BIND(rasLib, RasCreatePhonebookEntryA);
    BIND(rasLib, RasGetProjectionInfoA);
    if (SystemLevel >= 1 || v.dwMinorVersion >= 10) BIND(rasLib, RasConnectionNotificationA);
    if (SystemLevel >= 1) {
        BIND(rasLib, RasGetSubEntryHandleA);
        BIND(rasLib, RasGetSubEntryPropertiesA);
        BIND(rasLib, RasSetSubEntryPropertiesA);
        BIND(rasLib, RasGetAutodialAddressA);
        BIND(rasLib, RasSetAutodialAddressA);
        BIND(rasLib, RasEnumAutodialAddressesA);
        BIND(rasLib, RasGetAutodialEnableA);
        BIND(rasLib, RasSetAutodialEnableA);
        BIND(rasLib, RasGetAutodialParamA);
        BIND(rasLib, RasSetAutodialParamA);
    }
    if (SystemLevel == 2) {
        BIND(rasLib, RasGetConnectionStatistics);
        BIND(rasLib, RasClearConnectionStatistics);
        BIND(rasLib, RasGetLinkStatistics);
        BIND(rasLib, RasClearLinkStatistics);
    }

    propLib = dlsym(rasLib, "RasGetCountryInfoA") ? rasLib
                                                   : dlopen(LibraryFile("RNAPH.DLL").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (propLib) {
        propsBound = true;
        BIND(propLib, RasGetCountryInfoA);
        BIND(propLib, RasGetEntryPropertiesA);
        BIND(propLib, RasSetEntryPropertiesA);
        BIND(propLib, RasRenameEntryA);
        BIND(propLib, RasDeleteEntryA);
        BIND(propLib, RasValidateEntryNameA);
        BIND(propLib, RasEnumDevicesA);
    }
    return RasDialA != nullptr;
}
