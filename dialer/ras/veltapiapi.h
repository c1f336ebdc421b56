#pragma once
// The telephony library, loaded at run time when first needed and bound
// function by function; a function it lacks stays null. None is installed
// by default.

#include "dialer/ras/velrasapi.h"
#include "platform/ras/tapi.h"

namespace veltapi {

using velras::FARPROC;

extern FARPROC lineClose;
extern FARPROC lineConfigDialog;
extern FARPROC lineDeallocateCall;
extern FARPROC lineGetCallInfo;
extern FARPROC lineGetDevCaps;
extern tapi::PlineInitialize lineInitialize;
extern FARPROC lineNegotiateAPIVersion;
extern FARPROC lineOpen;
extern tapi::PlineShutdown lineShutdown;
extern FARPROC lineTranslateDialog;
extern FARPROC lineGetCallStatus;
extern FARPROC lineTranslateAddress;
extern FARPROC lineGetNewCalls;
extern FARPROC lineGetID;
extern tapi::PlineGetTranslateCaps lineGetTranslateCaps;
extern tapi::PlineGetCountry lineGetCountry;

// Tests: frees the library and clears the entry points.
void UnloadTapiApi();

}  // namespace veltapi

// True when the telephony library is loaded. A failed load is tried again at
// the next call.
bool LoadTapiApi();
