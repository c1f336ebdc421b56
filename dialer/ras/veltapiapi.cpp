#include "dialer/ras/veltapiapi.h"

#include <dlfcn.h>

namespace veltapi {

FARPROC lineClose;
FARPROC lineConfigDialog;
FARPROC lineDeallocateCall;
FARPROC lineGetCallInfo;
FARPROC lineGetDevCaps;
tapi::PlineInitialize lineInitialize;
FARPROC lineNegotiateAPIVersion;
FARPROC lineOpen;
tapi::PlineShutdown lineShutdown;
FARPROC lineTranslateDialog;
FARPROC lineGetCallStatus;
FARPROC lineTranslateAddress;
FARPROC lineGetNewCalls;
FARPROC lineGetID;
tapi::PlineGetTranslateCaps lineGetTranslateCaps;
tapi::PlineGetCountry lineGetCountry;

namespace {

void* tapiLib = nullptr;

template <class F>
void bind(F& entry, const char* name)
{
    entry = tapiLib ? reinterpret_cast<F>(dlsym(tapiLib, name)) : nullptr;
}

#define BIND(name) bind(name, #name)

// Binds every entry point; all null when no library is loaded.
void bindAll()
{
    BIND(lineClose);
    BIND(lineConfigDialog);
    BIND(lineDeallocateCall);
    BIND(lineGetCallInfo);
    BIND(lineGetDevCaps);
    BIND(lineInitialize);
    BIND(lineNegotiateAPIVersion);
    BIND(lineOpen);
    BIND(lineShutdown);
    BIND(lineTranslateDialog);
    BIND(lineGetCallStatus);
    BIND(lineTranslateAddress);
    BIND(lineGetNewCalls);
    BIND(lineGetID);
    BIND(lineGetTranslateCaps);
    BIND(lineGetCountry);
}

struct Unloader {
    ~Unloader()
    {
        if (tapiLib) dlclose(tapiLib);
    }
} unloader;

}  // namespace

void UnloadTapiApi()
{
    if (tapiLib) dlclose(tapiLib);
    tapiLib = nullptr;
    bindAll();
}

}  // namespace veltapi

bool LoadTapiApi()
{
    using namespace veltapi;
    if (tapiLib) return true;
    tapiLib = dlopen(velras::LibraryFile("TAPI32.DLL").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!tapiLib) return false;
    bindAll();
    return true;
}
