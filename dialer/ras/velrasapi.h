#pragma once
// The remote access library, loaded at run time and bound function by
// function, so that the dialer starts where no remote access service is
// installed and uses only what the installed one offers. Every caller tests
// an entry point before calling it: a function the library lacks stays null.

#include "platform/ras/rasapi.h"

#include <cstdint>
#include <string>

// 0 = the Windows 95/98 family, 1 = NT before version 5, 2 = NT 5 or later
// (this system). Set by the first LoadRasApi.
extern uint8_t SystemLevel;

namespace velras {

using FARPROC = void (*)();

// basic
extern ras::PRasDialA RasDialA;
extern ras::PRasEnumConnectionsA RasEnumConnectionsA;
extern ras::PRasEnumEntriesA RasEnumEntriesA;
extern ras::PRasGetConnectStatusA RasGetConnectStatusA;
extern ras::PRasGetErrorStringA RasGetErrorStringA;
extern ras::PRasHangUpA RasHangUpA;
extern ras::PRasGetEntryDialParamsA RasGetEntryDialParamsA;
extern FARPROC RasSetEntryDialParamsA;
extern FARPROC RasMonitorDlgA;
extern FARPROC RasEditPhonebookEntryA;
extern FARPROC RasCreatePhonebookEntryA;
extern ras::PRasGetProjectionInfoA RasGetProjectionInfoA;
// notification
extern FARPROC RasConnectionNotificationA;
// sub-entries and autodial
extern FARPROC RasGetSubEntryHandleA;
extern ras::PRasGetSubEntryPropertiesA RasGetSubEntryPropertiesA;
extern FARPROC RasSetSubEntryPropertiesA;
extern FARPROC RasGetAutodialAddressA;
extern FARPROC RasSetAutodialAddressA;
extern FARPROC RasEnumAutodialAddressesA;
extern FARPROC RasGetAutodialEnableA;
extern FARPROC RasSetAutodialEnableA;
extern FARPROC RasGetAutodialParamA;
extern FARPROC RasSetAutodialParamA;
// statistics
extern ras::PRasGetConnectionStatistics RasGetConnectionStatistics;
extern ras::PRasClearConnectionStatistics RasClearConnectionStatistics;
extern ras::PRasGetLinkStatistics RasGetLinkStatistics;
extern ras::PRasClearLinkStatistics RasClearLinkStatistics;
// entry properties
extern ras::PRasGetCountryInfoA RasGetCountryInfoA;
extern ras::PRasGetEntryPropertiesA RasGetEntryPropertiesA;
extern FARPROC RasSetEntryPropertiesA;
extern FARPROC RasRenameEntryA;
extern FARPROC RasDeleteEntryA;
extern FARPROC RasValidateEntryNameA;
extern FARPROC RasEnumDevicesA;

// Whether the entry-property functions are bound (from the remote access
// library itself, or from the entry-property library where it lacks them).
bool EntryPropertiesBound();
// Whether the remote access library is loaded.
bool RasLibraryLoaded();

// The file that stands for a library of the host ("RASAPI32.DLL" is
// rasapi32.so in the library folder).
std::string LibraryFile(const std::string& HostName);
// The folder the libraries are loaded from: the program's own, unless a test
// set another.
std::string LibraryFolder();
void SetLibraryFolder(const std::string& Folder);

// Tests: frees the libraries and forgets that a load was tried.
void UnloadRasApi();

}  // namespace velras

// True when RasDialA is bound. Only the first call loads; a failed load is not
// tried again.
bool LoadRasApi();
