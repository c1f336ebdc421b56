#pragma once
// The remote access service's programming interface: the records, numbers and
// entry points that the service library (rasapi32.so, beside the programs)
// exports and that the dialer binds at run time by name.
//
// The records keep the layouts the dialer's buffers are sized for: 32-bit
// numbers and handles, fixed text fields of Windows-1251 bytes, each record
// starting with its own size. A caller sets dwSize to the form it knows; the
// service fills that many bytes of the record (the smaller forms are the
// leading part of the larger ones) and refuses any other size with
// ERROR_INVALID_SIZE.

#include <cstddef>
#include <cstdint>

namespace ras {

using DWORD = uint32_t;
using BOOL = int32_t;
using UINT = uint32_t;
using HRASCONN = uint32_t;  // 0 = no connection

// Text field lengths (without the terminating NUL).
enum : unsigned {
    RAS_MaxEntryName = 256,
    RAS_MaxDeviceType = 16,
    RAS_MaxDeviceName = 128,
    RAS_MaxPhoneNumber = 128,
    RAS_MaxCallbackNumber = 128,
    RAS_MaxAreaCode = 10,
    RAS_MaxPadType = 32,
    RAS_MaxX25Address = 200,
    RAS_MaxIpAddress = 15,
    RAS_MaxReplyMessage = 1024,
    UNLEN = 256,
    PWLEN = 256,
    DNLEN = 15,
    MAX_PATH = 260,
};

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

// Dial parameters: 1052 bytes without the last two fields, 1060 with them.
struct RASDIALPARAMSA {
    DWORD dwSize;
    char szEntryName[RAS_MaxEntryName + 1];
    char szPhoneNumber[RAS_MaxPhoneNumber + 1];
    char szCallbackNumber[RAS_MaxCallbackNumber + 1];
    char szUserName[UNLEN + 1];
    char szPassword[PWLEN + 1];
    char szDomain[DNLEN + 1];
    DWORD dwSubEntry;
    DWORD dwCallbackId;
};
constexpr DWORD kDialParamsSizeShort = 1052;

// One active connection: 412, 676 or 692 bytes.
struct RASCONNA {
    DWORD dwSize;
    HRASCONN hrasconn;
    char szEntryName[RAS_MaxEntryName + 1];
    char szDeviceType[RAS_MaxDeviceType + 1];
    char szDeviceName[RAS_MaxDeviceName + 1];
    char szPhonebook[MAX_PATH];
    DWORD dwSubEntry;
    GUID guidEntry;
};
constexpr DWORD kConnSizes[] = {412, 676, 692};

// Connection states.
enum RASCONNSTATE : DWORD {
    RASCS_OpenPort = 0,
    RASCS_PortOpened = 1,
    RASCS_ConnectDevice = 2,
    RASCS_DeviceConnected = 3,
    RASCS_AllDevicesConnected = 4,
    RASCS_Authenticate = 5,
    RASCS_AuthNotify = 6,
    RASCS_AuthRetry = 7,
    RASCS_AuthCallback = 8,
    RASCS_AuthChangePassword = 9,
    RASCS_AuthProject = 10,
    RASCS_AuthLinkSpeed = 11,
    RASCS_AuthAck = 12,
    RASCS_ReAuthenticate = 13,
    RASCS_Authenticated = 14,
    RASCS_PrepareForCallback = 15,
    RASCS_WaitForModemReset = 16,
    RASCS_WaitForCallback = 17,
    RASCS_Projected = 18,
    RASCS_StartAuthentication = 19,
    RASCS_CallbackComplete = 20,
    RASCS_LogonNetwork = 21,
    RASCS_SubEntryConnected = 22,
    RASCS_SubEntryDisconnected = 23,
    RASCS_Interactive = 4096,
    RASCS_RetryAuthentication = 4097,
    RASCS_CallbackSetByCaller = 4098,
    RASCS_PasswordExpired = 4099,
    RASCS_InvokeEapUI = 4100,
    RASCS_Connected = 8192,
    RASCS_Disconnected = 8193,
};

// Status of one connection: 160 bytes without the phone number, 288 with it.
struct RASCONNSTATUSA {
    DWORD dwSize;
    DWORD rasconnstate;
    DWORD dwError;
    char szDeviceType[RAS_MaxDeviceType + 1];
    char szDeviceName[RAS_MaxDeviceName + 1];
    char szPhoneNumber[RAS_MaxPhoneNumber + 1];
};
constexpr DWORD kConnStatusSizes[] = {160, 288};

// One phonebook entry name: 264 bytes.
struct RASENTRYNAMEA {
    DWORD dwSize;
    char szEntryName[RAS_MaxEntryName + 1];
};

// Entry properties: 1768 bytes up to dwReserved2, 1796 up to
// dwIdleDisconnectSeconds, 2088 in full. The alternate numbers follow the
// record in the same buffer (NUL-terminated texts, an empty one ends them);
// dwAlternateOffset is their offset from the start of the record, 0 when the
// entry has none.
struct RASENTRYA {
    DWORD dwSize;
    DWORD dwfOptions;
    DWORD dwCountryID;
    DWORD dwCountryCode;
    char szAreaCode[RAS_MaxAreaCode + 1];
    char szLocalPhoneNumber[RAS_MaxPhoneNumber + 1];
    DWORD dwAlternateOffset;
    DWORD ipaddr;
    DWORD ipaddrDns;
    DWORD ipaddrDnsAlt;
    DWORD ipaddrWins;
    DWORD ipaddrWinsAlt;
    DWORD dwFrameSize;
    DWORD dwfNetProtocols;
    DWORD dwFramingProtocol;
    char szScript[MAX_PATH];
    char szAutodialDll[MAX_PATH];
    char szAutodialFunc[MAX_PATH];
    char szDeviceType[RAS_MaxDeviceType + 1];
    char szDeviceName[RAS_MaxDeviceName + 1];
    char szX25PadType[RAS_MaxPadType + 1];
    char szX25Address[RAS_MaxX25Address + 1];
    char szX25Facilities[RAS_MaxX25Address + 1];
    char szX25UserData[RAS_MaxX25Address + 1];
    DWORD dwChannels;
    DWORD dwReserved1;
    DWORD dwReserved2;
    // 1796-byte form and above
    DWORD dwSubEntries;
    DWORD dwDialMode;
    DWORD dwDialExtraPercent;
    DWORD dwDialExtraSampleSeconds;
    DWORD dwHangUpExtraPercent;
    DWORD dwHangUpExtraSampleSeconds;
    DWORD dwIdleDisconnectSeconds;
    // 2088-byte form
    DWORD dwType;
    DWORD dwEncryptionType;
    DWORD dwCustomAuthKey;
    GUID guidId;
    char szCustomDialDll[MAX_PATH];
    DWORD dwVpnStrategy;
};
constexpr DWORD kEntrySizes[] = {1768, 1796, 2088};

// Entry option bits.
enum : DWORD {
    RASEO_UseCountryAndAreaCodes = 0x00000001,
    RASEO_SpecificIpAddr = 0x00000002,
    RASEO_PromoteAlternates = 0x00008000,
};

// One link of a multilink entry: 288 bytes, alternates following as in
// RASENTRYA.
struct RASSUBENTRYA {
    DWORD dwSize;
    DWORD dwfFlags;
    char szDeviceType[RAS_MaxDeviceType + 1];
    char szDeviceName[RAS_MaxDeviceName + 1];
    char szLocalPhoneNumber[RAS_MaxPhoneNumber + 1];
    DWORD dwAlternateOffset;
};

// Country information: the record, then the country's name.
struct RASCTRYINFO {
    DWORD dwSize;
    DWORD dwCountryID;
    DWORD dwNextCountryID;
    DWORD dwCountryCode;
    DWORD dwCountryNameOffset;
};

// Projections.
enum : DWORD {
    RASP_PppIp = 0x8021,
    RASP_PppLcp = 0xC021,
};
// Authentication protocols of the LCP projection.
enum : DWORD {
    RASLCPAP_PAP = 0xC023,
    RASLCPAP_SPAP = 0xC123,
    RASLCPAP_CHAP = 0xC223,
    RASLCPAP_EAP = 0xC227,
};

struct RASPPPIPA {
    DWORD dwSize;
    DWORD dwError;
    char szIpAddress[RAS_MaxIpAddress + 1];
    char szServerIpAddress[RAS_MaxIpAddress + 1];
};

// The LCP projection: 8 bytes (dwSize, fBundled), 28 bytes (up to
// dwServerAuthenticationProtocol) or 1080 bytes in full.
struct RASPPPLCPA {
    DWORD dwSize;
    BOOL fBundled;
    DWORD dwError;
    DWORD dwAuthenticationProtocol;
    DWORD dwAuthenticationData;
    DWORD dwEapTypeId;
    DWORD dwServerAuthenticationProtocol;
    DWORD dwServerAuthenticationData;
    DWORD dwServerEapTypeId;
    BOOL fMultilink;
    DWORD dwTerminateReason;
    DWORD dwServerTerminateReason;
    char szReplyMessage[RAS_MaxReplyMessage];
    DWORD dwOptions;
    DWORD dwServerOptions;
};

// Traffic of a connection or a link: 60 bytes.
struct RAS_STATS {
    DWORD dwSize;
    DWORD dwBytesXmited;
    DWORD dwBytesRcved;
    DWORD dwFramesXmited;
    DWORD dwFramesRcved;
    DWORD dwCrcErr;
    DWORD dwTimeoutErr;
    DWORD dwAlignmentErr;
    DWORD dwHardwareOverrunErr;
    DWORD dwFramingErr;
    DWORD dwBufferOverrunErr;
    DWORD dwCompressionRatioIn;
    DWORD dwCompressionRatioOut;
    DWORD dwBps;
    DWORD dwConnectDuration;  // ms
};

static_assert(sizeof(RASDIALPARAMSA) == 1060);
static_assert(sizeof(RASCONNA) == 692);
static_assert(sizeof(RASCONNSTATUSA) == 288);
static_assert(sizeof(RASENTRYNAMEA) == 264);
static_assert(sizeof(RASENTRYA) == 2088);
static_assert(offsetof(RASENTRYA, dwSubEntries) == 1768);
static_assert(offsetof(RASENTRYA, dwType) == 1796);
static_assert(sizeof(RASSUBENTRYA) == 288);
static_assert(sizeof(RASPPPIPA) == 40);
static_assert(sizeof(RASPPPLCPA) == 1080);
static_assert(offsetof(RASPPPLCPA, dwServerAuthenticationProtocol) == 24);
static_assert(offsetof(RASPPPLCPA, dwServerTerminateReason) == 44);
static_assert(offsetof(RASPPPLCPA, szReplyMessage) == 48);
static_assert(sizeof(RAS_STATS) == 60);

// Results. 0 is success; the service's own errors are 600 and above.
enum : DWORD {
    ERROR_SUCCESS = 0,
    ERROR_INVALID_HANDLE = 6,
    ERROR_NOT_ENOUGH_MEMORY = 8,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_CALL_NOT_IMPLEMENTED = 120,
    ERROR_DLL_INIT_FAILED = 1114,
    ERROR_DLL_NOT_FOUND = 1157,  // a library the program needs is missing
    PENDING = 600,
    ERROR_INVALID_PORT_HANDLE = 601,
    ERROR_PORT_ALREADY_OPEN = 602,
    ERROR_BUFFER_TOO_SMALL = 603,
    ERROR_WRONG_INFO_SPECIFIED = 604,
    ERROR_CANNOT_SET_PORT_INFO = 605,
    ERROR_PORT_NOT_CONNECTED = 606,
    ERROR_EVENT_INVALID = 607,
    ERROR_DEVICE_DOES_NOT_EXIST = 608,
    ERROR_DEVICETYPE_DOES_NOT_EXIST = 609,
    ERROR_BUFFER_INVALID = 610,
    ERROR_ROUTE_NOT_AVAILABLE = 611,
    ERROR_ROUTE_NOT_ALLOCATED = 612,
    ERROR_INVALID_COMPRESSION_SPECIFIED = 613,
    ERROR_OUT_OF_BUFFERS = 614,
    ERROR_PORT_NOT_FOUND = 615,
    ERROR_ASYNC_REQUEST_PENDING = 616,
    ERROR_ALREADY_DISCONNECTING = 617,
    ERROR_PORT_NOT_OPEN = 618,
    ERROR_PORT_DISCONNECTED = 619,
    ERROR_NO_ENDPOINTS = 620,
    ERROR_CANNOT_OPEN_PHONEBOOK = 621,
    ERROR_CANNOT_LOAD_PHONEBOOK = 622,
    ERROR_CANNOT_FIND_PHONEBOOK_ENTRY = 623,
    ERROR_CANNOT_WRITE_PHONEBOOK = 624,
    ERROR_CORRUPT_PHONEBOOK = 625,
    ERROR_CANNOT_LOAD_STRING = 626,
    ERROR_KEY_NOT_FOUND = 627,
    ERROR_DISCONNECTION = 628,
    ERROR_REMOTE_DISCONNECTION = 629,
    ERROR_HARDWARE_FAILURE = 630,
    ERROR_USER_DISCONNECTION = 631,
    ERROR_INVALID_SIZE = 632,
    ERROR_PORT_NOT_AVAILABLE = 633,
    ERROR_CANNOT_PROJECT_CLIENT = 634,
    ERROR_UNKNOWN = 635,
    ERROR_WRONG_DEVICE_ATTACHED = 636,
    ERROR_BAD_STRING = 637,
    ERROR_REQUEST_TIMEOUT = 638,
    ERROR_CANNOT_GET_LANA = 639,
    ERROR_NETBIOS_ERROR = 640,
    ERROR_SERVER_OUT_OF_RESOURCES = 641,
    ERROR_NAME_EXISTS_ON_NET = 642,
    ERROR_SERVER_GENERAL_NET_FAILURE = 643,
    WARNING_MSG_ALIAS_NOT_ADDED = 644,
    ERROR_AUTH_INTERNAL = 645,
    ERROR_RESTRICTED_LOGON_HOURS = 646,
    ERROR_ACCT_DISABLED = 647,
    ERROR_PASSWD_EXPIRED = 648,
    ERROR_NO_DIALIN_PERMISSION = 649,
    ERROR_SERVER_NOT_RESPONDING = 650,
    ERROR_FROM_DEVICE = 651,
    ERROR_UNRECOGNIZED_RESPONSE = 652,
    ERROR_MACRO_NOT_FOUND = 653,
    ERROR_MACRO_NOT_DEFINED = 654,
    ERROR_MESSAGE_MACRO_NOT_FOUND = 655,
    ERROR_DEFAULTOFF_MACRO_NOT_FOUND = 656,
    ERROR_FILE_COULD_NOT_BE_OPENED = 657,
    ERROR_DEVICENAME_TOO_LONG = 658,
    ERROR_DEVICENAME_NOT_FOUND = 659,
    ERROR_NO_RESPONSES = 660,
    ERROR_NO_COMMAND_FOUND = 661,
    ERROR_WRONG_KEY_SPECIFIED = 662,
    ERROR_UNKNOWN_DEVICE_TYPE = 663,
    ERROR_ALLOCATING_MEMORY = 664,
    ERROR_PORT_NOT_CONFIGURED = 665,
    ERROR_DEVICE_NOT_READY = 666,
    ERROR_READING_INI_FILE = 667,
    ERROR_NO_CONNECTION = 668,
    ERROR_BAD_USAGE_IN_INI_FILE = 669,
    ERROR_READING_SECTIONNAME = 670,
    ERROR_READING_DEVICETYPE = 671,
    ERROR_READING_DEVICENAME = 672,
    ERROR_READING_USAGE = 673,
    ERROR_READING_MAXCONNECTBPS = 674,
    ERROR_READING_MAXCARRIERBPS = 675,
    ERROR_LINE_BUSY = 676,
    ERROR_VOICE_ANSWER = 677,
    ERROR_NO_ANSWER = 678,
    ERROR_NO_CARRIER = 679,
    ERROR_NO_DIALTONE = 680,
    ERROR_IN_COMMAND = 681,
    ERROR_WRITING_SECTIONNAME = 682,
    ERROR_WRITING_DEVICETYPE = 683,
    ERROR_WRITING_DEVICENAME = 684,
    ERROR_WRITING_MAXCONNECTBPS = 685,
    ERROR_WRITING_MAXCARRIERBPS = 686,
    ERROR_WRITING_USAGE = 687,
    ERROR_WRITING_DEFAULTOFF = 688,
    ERROR_READING_DEFAULTOFF = 689,
    ERROR_EMPTY_INI_FILE = 690,
    ERROR_AUTHENTICATION_FAILURE = 691,
    ERROR_PROJECTION_NOT_COMPLETE = 730,
};

// The message number a type 1 notifier is called with.
constexpr UINT WM_RASDIALEVENT = 0xCCCD;

// Notifiers, called on the service's own thread while a dial goes on.
// Type 1: (connection, WM_RASDIALEVENT, state, error, extended error).
using RasDialFunc1 = void (*)(HRASCONN, UINT, RASCONNSTATE, DWORD, DWORD);
// Type 2: (callback id, sub-entry, connection, WM_RASDIALEVENT, state, error,
// extended error). Returning 0 stops the notifications of that dial.
using RasDialFunc2 = DWORD (*)(DWORD, DWORD, HRASCONN, UINT, RASCONNSTATE, DWORD, DWORD);

// Entry points (ANSI forms). A phonebook of nullptr is the system phonebook;
// an entry name is Windows-1251 bytes.
using PRasDialA = DWORD (*)(const void* extensions, const char* phonebook, const RASDIALPARAMSA* params,
                            DWORD notifierType, const void* notifier, HRASCONN* connection);
using PRasEnumConnectionsA = DWORD (*)(RASCONNA* connections, DWORD* bytes, DWORD* count);
using PRasEnumEntriesA = DWORD (*)(const char* reserved, const char* phonebook, RASENTRYNAMEA* names,
                                   DWORD* bytes, DWORD* count);
using PRasGetConnectStatusA = DWORD (*)(HRASCONN connection, RASCONNSTATUSA* status);
using PRasGetErrorStringA = DWORD (*)(UINT error, char* text, DWORD size);
using PRasHangUpA = DWORD (*)(HRASCONN connection);
using PRasGetEntryDialParamsA = DWORD (*)(const char* phonebook, RASDIALPARAMSA* params, BOOL* passwordSaved);
using PRasGetProjectionInfoA = DWORD (*)(HRASCONN connection, DWORD projection, void* info, DWORD* bytes);
using PRasGetSubEntryPropertiesA = DWORD (*)(const char* phonebook, const char* entry, DWORD subEntry,
                                             RASSUBENTRYA* info, DWORD* bytes, void* deviceInfo,
                                             DWORD* deviceBytes);
using PRasGetConnectionStatistics = DWORD (*)(HRASCONN connection, RAS_STATS* stats);
using PRasClearConnectionStatistics = DWORD (*)(HRASCONN connection);
using PRasGetLinkStatistics = DWORD (*)(HRASCONN connection, DWORD subEntry, RAS_STATS* stats);
using PRasClearLinkStatistics = DWORD (*)(HRASCONN connection, DWORD subEntry);
using PRasGetCountryInfoA = DWORD (*)(RASCTRYINFO* info, DWORD* bytes);
using PRasGetEntryPropertiesA = DWORD (*)(const char* phonebook, const char* entry, RASENTRYA* entryInfo,
                                          DWORD* entryBytes, void* deviceInfo, DWORD* deviceBytes);

// The library's version information: pairs of key and value texts ending in
// a nullptr key, exported under this name ("ProductVersion", ...).
constexpr const char* kVersionInfoSymbol = "VersionInfo";

}  // namespace ras
