#include "dialer/ras/velrascon.h"

#include "dialer/ras/rastext.h"
#include "platform/app.h"
#include "platform/codepage.h"

#include <QPointer>

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

using namespace ras;
using namespace velras;

namespace {

// Guards LastRasCon and the pending notifications of every instance.
std::mutex notifyMutex;
TVelRasCon* lastRasCon = nullptr;

constexpr int kMaxConnections = 8;
constexpr DWORD kConnStride[] = {412, 676, 692};

uint32_t tickCount()
{
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

}  // namespace

TVelRasCon* LastRasCon()
{
    std::lock_guard lk(notifyMutex);
    return lastRasCon;
}

TVelRasCon::TVelRasCon(QObject* Owner) : QObject(Owner)
{
    {
        std::lock_guard lk(notifyMutex);
        lastRasCon = this;
    }
    Version = "TVelRasCon, 21st May 2000, Release 4.41, Kestrane remote access components";
    OSVersionInfo.dwOSVersionInfoSize = sizeof OSVersionInfo;
    sysversion::GetVersionExA(&OSVersionInfo);
    DUNVersion = ReadFileVersion("RASAPI32.DLL", "ProductVersion");
    DUNInfo = DunInfoOf(DUNVersion, rastext::Field(OSVersionInfo.szCSDVersion));
}

TVelRasCon::~TVelRasCon()
{
    {
        // From here on no notification reaches this instance; those waiting
        // to be taken are dropped.
        std::lock_guard lk(notifyMutex);
        if (lastRasCon == this) lastRasCon = nullptr;
        pending_.clear();
    }
    HangUpOwn();
    CloseTapi();
    Connections.Clear();
}

// ---- notifications

void TVelRasCon::RasDialCallback1(HRASCONN Handle, UINT, RASCONNSTATE State, DWORD Error, DWORD)
{
    Notify({1, Handle, 0, State, Error});
}

DWORD TVelRasCon::RasDialCallback2(DWORD, DWORD SubEntry, HRASCONN Handle, UINT, RASCONNSTATE State, DWORD Error,
                                   DWORD)
{
    Notify({2, Handle, SubEntry, State, Error});
    return 1;
}

void TVelRasCon::Notify(const Notification& N)
{
    std::lock_guard lk(notifyMutex);
    TVelRasCon* c = lastRasCon;
    if (!c) return;
    c->pending_.push_back(N);
    if (!c->takePosted_) {
        c->takePosted_ = true;
        QMetaObject::invokeMethod(c, &TVelRasCon::TakeNotifications, Qt::QueuedConnection);
    }
}

void TVelRasCon::TakeNotifications()
{
    QPointer<TVelRasCon> self(this);
    for (;;) {
        Notification n;
        {
            std::lock_guard lk(notifyMutex);
            if (pending_.empty()) {
                takePosted_ = false;
                return;
            }
            n = pending_.front();
            pending_.pop_front();
        }
        app::guard([&] { Deliver(n); });
        if (!self) return;  // a handler freed the component
    }
}

void TVelRasCon::Deliver(const Notification& N)
{
    if (!dialled_.count(N.Handle)) return;
    StateSource = 0;
    StateHandle = N.Handle;
    StateSubEntry = N.Type == 2 ? N.SubEntry : 0;
    ConnectError = static_cast<uint16_t>(N.Error);
    if (N.Error != 0) {
        LastError = static_cast<int32_t>(N.Error);
        ConnectState = static_cast<uint16_t>(N.Error);
        StatusText = ErrorText(static_cast<int>(N.Error));
        if (OnStateChanged) OnStateChanged(this);
        return;
    }
    ConnectState = static_cast<uint16_t>(N.State);
    StatusText = StateText();
    QPointer<TVelRasCon> self(this);
    if (OnStateChanged) OnStateChanged(this);
    // The handler may have freed the component: the state's own event then
    // has nobody to be raised on.
    if (self && N.Type == 1) RaiseStateEvent(N.State);
}

void TVelRasCon::RaiseStateEvent(uint32_t State)
{
    const TNotifyEvent* e = nullptr;
    switch (State) {
    case RASCS_OpenPort: e = &OnAboutToOpenPort; break;
    case RASCS_PortOpened: e = &OnPortOpened; break;
    case RASCS_ConnectDevice: e = &OnAboutToConnDev; break;
    case RASCS_DeviceConnected: e = &OnDevConnected; break;
    case RASCS_AllDevicesConnected: e = &OnAllDevsConnected; break;
    case RASCS_Authenticate: e = &OnAuthenticate; break;
    case RASCS_AuthNotify: e = &OnAuthNotify; break;
    case RASCS_AuthRetry: e = &OnAuthRetry; break;
    case RASCS_AuthCallback: e = &OnAuthCallBack; break;
    case RASCS_AuthChangePassword: e = &OnAuthChangePassword; break;
    case RASCS_AuthProject: e = &OnAuthProject; break;
    case RASCS_AuthLinkSpeed: e = &OnAuthLinkSpeed; break;
    case RASCS_AuthAck: e = &OnAuthAck; break;
    case RASCS_ReAuthenticate: e = &OnReAuthenticate; break;
    case RASCS_Authenticated: e = &OnAuthenticated; break;
    case RASCS_PrepareForCallback: e = &OnPrepareforCallback; break;
    case RASCS_WaitForModemReset: e = &OnWaitForModemReset; break;
    case RASCS_WaitForCallback: e = &OnCallBack; break;
    case RASCS_Interactive: e = &OnInteractiveStarted; break;
    case RASCS_RetryAuthentication: e = &OnRetryAuth; break;
    case RASCS_PasswordExpired: e = &OnPasswordExpired; break;
    case RASCS_Connected: e = &OnConnect; break;
    case RASCS_Disconnected: DoDisconnect(); return;
    default: return;
    }
    if (*e) (*e)(this);
}

void TVelRasCon::DoDisconnect()
{
    if (ConnHandle == 0 || !OnDisconnect) return;
    LastError = ERROR_DLL_NOT_FOUND;
    if (LoadRasApi() && RasGetConnectStatusA) {
        RASCONNSTATUSA status{};
        status.dwSize = kConnStatusSizes[0];
        LastError = static_cast<int32_t>(RasGetConnectStatusA(ConnHandle, &status));
    }
    OnDisconnect(this, LastError, ErrorText(LastError));
}

// ---- library and texts

bool TVelRasCon::CheckRasApi()
{
    if (LoadRasApi()) return true;
    LastError = ERROR_DLL_NOT_FOUND;
    StatusText = rastext::kNotAvailable;
    return false;
}

AnsiString TVelRasCon::ErrorText(int Code) { return rastext::ErrorText(Code, LastError); }

AnsiString TVelRasCon::StateText()
{
    switch (ConnectState) {
    case 0: return "Opening Serial Port";
    case 1: return "Serial Port Opened";
    case 2: return "Connecting/Dialling";
    case 3: return "Connected/Answered";
    case 4: return "Connected/Negotiation";
    case 5: return "Validating User and Password";
    case 6: return "Authentication Notification";
    case 8: return "Authentication Call Back";
    case 10: return "Projection Started";
    case 11: return "Calculating Link speed";
    case 12: return "Authentication acknowledged";
    case 13: return "Reauthenticating";
    case 14: return "Login Authenticated";
    case 15: return "Preparing for Callback";
    case 16: return "Waiting for Modem Reset";
    case 17: return "Waiting for Callback";
    case 18: return "Projection Completion";
    case 19: return "Start Authentication";
    case 20: return "Callback Complete";
    case 21: return "Logon to Network";
    case 22: return "Extra Channel Connected";
    case 23: return "Extra Channel Disconnected";
    case 4096: return "Interactive Terminal";
    case 4097: return "Retry Authentication";
    case 4098: return "Callback Set By Caller";
    case 4099: return "Password Expires";
    case 4100: return "Paused for Authentication";
    case 8192: return "Connected/Online";
    case 8193: return "Disconnected/Offline";
    default: break;
    }
    if (ConnectState < 601) return "Unknown State - " + std::to_string(ConnectState);
    return ErrorText(ConnectState);
}

AnsiString TVelRasCon::ReadFileVersion(const AnsiString& FileName, const AnsiString& Key)
{
    const std::string file =
        FileName.find('/') == AnsiString::npos ? LibraryFile(FileName) : codepage::toUtf8(FileName);
    return codepage::fromUtf8(sysversion::fileVersionValue(file, codepage::toUtf8(Key)));
}

AnsiString TVelRasCon::DunInfoOf(const AnsiString& Version, const AnsiString& CSDVersion)
{
    struct Row {
        const char* version;
        const char* info;
    };
    static constexpr Row kRows[] = {
        {"4.00.905", "DUN 1.0/Win95/Retail"}, {"4.00.1111", "DUN 1.1/Win95/OSR2"},
        {"4.00.1150", "DUN 1.1/Win95/ISDN"},  {"4.10.1537", "DUN 1.2b/Win95/Patch"},
        {"4.10.1903", "DUN 1.3/Win95/Patch"}, {"4.10.1998", "DUN 1.2c/Win98"},
        {"4.10.2000", "DUN 1.3/Win98/Patch"}, {"4.10.2222", "DUN 1.3/Win98SE"},
        {"5.00.2116.1", "DUN W2K/RC2"},       {"5.00.2171.1", "DUN W2K/RC3"},
    };
    const AnsiString servicePack = CSDVersion.substr(0, 128);
    if (Version.compare(0, 4, "4.90") == 0) return "DUN 1.3?/WinMill";
    if (Version == "4.00") return "DUN NT4 " + servicePack;
    if (Version == "5.00.2188.1") return "DUN W2K " + servicePack;
    for (const Row& r : kRows) {
        if (Version == r.version) return r.info;
    }
    return "Unknown DUN Version";
}

// ---- dialling

DWORD TVelRasCon::EntrySize() const { return kEntrySizes[SystemLevel < 3 ? SystemLevel : 2]; }

const char* TVelRasCon::PhoneBookArg() const { return phoneBookPath_.empty() ? nullptr : phoneBookPath_.c_str(); }

void TVelRasCon::FillDialParams()
{
    dialParams_ = RASDIALPARAMSA{};
    dialParams_.dwSize = SystemLevel == 0 ? kDialParamsSizeShort : sizeof(RASDIALPARAMSA);
    rastext::SetField(dialParams_.szEntryName, EntryName);
    rastext::SetField(dialParams_.szPhoneNumber, PhoneNumber);
    rastext::SetField(dialParams_.szCallbackNumber, CallbackNumber);
    rastext::SetField(dialParams_.szUserName, UserName);
    rastext::SetField(dialParams_.szPassword, Password);
    rastext::SetField(dialParams_.szDomain, Domain);
    dialParams_.dwSubEntry = static_cast<DWORD>(SubEntry);
    dialParams_.dwCallbackId = static_cast<DWORD>(CallbackId);
}

int TVelRasCon::Dial(HRASCONN& Handle)
{
    Handle = 0;
    if (!LoadRasApi()) {
        LastError = ERROR_DLL_NOT_FOUND;
        return LastError;
    }
    ConnectState = 0;
    FillDialParams();
    DWORD r;
    if (!phoneBookPath_.empty() || SystemLevel >= 1) {
        r = RasDialA(nullptr, PhoneBookArg(), &dialParams_, 2, reinterpret_cast<const void*>(&RasDialCallback2),
                     &Handle);
    } else {
        r = RasDialA(nullptr, nullptr, &dialParams_, 1, reinterpret_cast<const void*>(&RasDialCallback1), &Handle);
    }
    // The password is not kept once the service has it.
    std::memset(dialParams_.szPassword, 0, sizeof dialParams_.szPassword);
    if (Handle != 0) dialled_.insert(Handle);
    LastError = static_cast<int32_t>(r);
    if (r != 0) StatusText = ErrorText(LastError);
    return LastError;
}

int TVelRasCon::ReadConnectStatus(HRASCONN Handle, uint32_t SubEntry)
{
    StatusText = "Unknown State";
    StateHandle = Handle;
    StateSubEntry = SubEntry;
    StatusPhoneNumber.clear();
    ConnectState = ERROR_INVALID_PORT_HANDLE;
    ConnectError = 0;
    LastError = ERROR_INVALID_PORT_HANDLE;
    if (Handle == 0) return LastError;
    if (!LoadRasApi() || !RasGetConnectStatusA) {
        LastError = ERROR_DLL_NOT_FOUND;
        return LastError;
    }
    RASCONNSTATUSA status{};
    status.dwSize = SystemLevel == 0 ? kConnStatusSizes[0] : kConnStatusSizes[1];
    LastError = static_cast<int32_t>(RasGetConnectStatusA(Handle, &status));
    if (LastError == 0) {
        ConnectState = static_cast<uint16_t>(status.rasconnstate);
        ConnectError = static_cast<uint16_t>(status.dwError);
        if (status.dwError > 600) LastError = static_cast<int32_t>(status.dwError);
        if (status.dwSize > kConnStatusSizes[0]) StatusPhoneNumber = rastext::Field(status.szPhoneNumber);
    }
    if (LastError != 0) StatusText = ErrorText(LastError);
    return LastError;
}

int TVelRasCon::HangUp(HRASCONN Handle)
{
    ConnectState = 0;
    if (Handle == 0) {
        LastError = ERROR_INVALID_HANDLE;
    } else if (!LoadRasApi() || !RasHangUpA) {
        LastError = ERROR_DLL_NOT_FOUND;
    } else {
        LastError = static_cast<int32_t>(RasHangUpA(Handle));
        // What the service still says of a line being hung up is not news.
        dialled_.erase(Handle);
    }
    return LastError;
}

void TVelRasCon::HangUpOwn()
{
    HangUp(ConnHandle);
    ConnHandle = 0;
}

int TVelRasCon::HangUpWait(HRASCONN Handle, uint32_t SubEntry, bool FireEvents, uint32_t TimeoutMs)
{
    const int r = HangUp(Handle);
    if (Handle != 0) {
        const uint32_t start = tickCount();
        uint16_t last = 0;
        for (;;) {
            if (ReadConnectStatus(Handle, SubEntry) != 0) break;
            if (ConnectState != last && FireEvents) {
                StatusText = StateText();
                StateSource = 2;
                if (OnStateChanged) {
                    QPointer<TVelRasCon> self(this);
                    OnStateChanged(this);
                    if (!self) return r;  // freed by the handler: nothing more to follow
                }
                last = ConnectState;
            }
            if (ConnectState == ERROR_INVALID_PORT_HANDLE) break;
            if (tickCount() - start > TimeoutMs) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    if (Handle == ConnHandle) ConnHandle = 0;
    return r;
}

// ---- active connections

RASCONNA TVelRasCon::ConnRecord(int Index) const
{
    RASCONNA rec{};
    const DWORD stride = kConnStride[SystemLevel < 3 ? SystemLevel : 2];
    const size_t offset = static_cast<size_t>(Index) * stride;
    if (Index >= 0 && Index < kMaxConnections && offset + stride <= connBuffer_.size()) {
        std::memcpy(&rec, connBuffer_.data() + offset, stride);
    }
    return rec;
}

void TVelRasCon::EnumConnections(AnsiString& FirstName)
{
    FirstConnName.clear();
    FirstConnHandle = 0;
    ConnCount = 0;
    FirstName.clear();
    LastError = ERROR_DLL_NOT_FOUND;
    if (!LoadRasApi() || !RasEnumConnectionsA) return;
    const DWORD stride = kConnStride[SystemLevel < 3 ? SystemLevel : 2];
    connBuffer_.assign(kMaxConnections * sizeof(RASCONNA), 0);
    const DWORD first = stride;
    std::memcpy(connBuffer_.data(), &first, sizeof first);
    DWORD size = static_cast<DWORD>(connBuffer_.size());
    DWORD count = 0;
    LastError = static_cast<int32_t>(
        RasEnumConnectionsA(reinterpret_cast<RASCONNA*>(connBuffer_.data()), &size, &count));
    ConnCount = static_cast<int32_t>(count);
    if ((LastError == 0 || LastError == ERROR_BUFFER_TOO_SMALL) && ConnCount > 0) {
        const RASCONNA rec = ConnRecord(0);
        FirstConnName = rastext::Field(rec.szEntryName);
        FirstConnHandle = rec.hrasconn;
        FirstConnDeviceName = rastext::Field(rec.szDeviceName);
        FirstConnDeviceType = codepage::lowerCase(rastext::Field(rec.szDeviceType));
        if (stride > kConnStride[0]) FirstConnPhoneBook = rastext::Field(rec.szPhonebook);
        FirstName = FirstConnName;
    }
}

int TVelRasCon::RefreshConnections()
{
    ConnChanged = false;
    AnsiString first;
    EnumConnections(first);
    const int result = LastError;
    // A failed enumeration says nothing about the connections: the list stays.
    if (result != 0 && result != ERROR_BUFFER_TOO_SMALL) return result;
    const int n = std::min(ConnCount, kMaxConnections);
    if (n > 0) {
        if (Connections.Count() != n) {
            ConnChanged = true;
        } else {
            for (int i = 0; i < n && !ConnChanged; ++i) {
                const RASCONNA rec = ConnRecord(i);
                ConnChanged = std::memcmp(&Connections[i], &rec, sizeof rec) != 0;
            }
        }
        if (ConnChanged) {
            Connections.Clear();
            for (int i = 0; i < n; ++i) Connections.Add(ConnRecord(i));
        }
    } else if (Connections.Count() > 0) {
        Connections.Clear();
        ConnChanged = true;
    }
    return result;
}

// ---- projection

int TVelRasCon::ReadProjection(HRASCONN Handle)
{
    ProjectionError = -1;
    ProjectionText.clear();
    ClientIP.clear();
    ServerIP.clear();
    ReplyMessage.clear();
    if (!LoadRasApi() || !RasGetProjectionInfoA) {
        LastError = ERROR_DLL_NOT_FOUND;
        return LastError;
    }
    RASPPPIPA ip{};
    ip.dwSize = sizeof ip;
    DWORD size = sizeof ip;
    LastError = static_cast<int32_t>(RasGetProjectionInfoA(Handle, RASP_PppIp, &ip, &size));
    if (LastError == 0) {
        ProjectionText = "PPP ";
        ProjectionError = static_cast<int32_t>(ip.dwError);
        ClientIP = rastext::Field(ip.szIpAddress);
        ServerIP = rastext::Field(ip.szServerIpAddress);
    }
    const int ipResult = LastError;

    RASPPPLCPA lcp{};
    lcp.dwSize = SystemLevel == 0 ? 28 : SystemLevel == 1 ? 8 : sizeof lcp;
    size = sizeof lcp;
    if (RasGetProjectionInfoA(Handle, RASP_PppLcp, &lcp, &size) != 0) return ipResult;
    // The link's own projection was read: what it says is kept, also when the
    // IP projection failed, whose error stays the result.
    if (ProjectionText.empty()) ProjectionText = "PPP ";
    switch (lcp.dwServerAuthenticationProtocol) {
    case RASLCPAP_PAP: ProjectionText += "PAP "; break;
    case RASLCPAP_SPAP: ProjectionText += "SPAP "; break;
    case RASLCPAP_CHAP: ProjectionText += "CHAP "; break;
    case RASLCPAP_EAP: ProjectionText += "EAP "; break;
    default: break;
    }
    ReplyMessage = rastext::Field(lcp.szReplyMessage);
    ProjectionError = static_cast<int32_t>(lcp.dwServerTerminateReason);
    return ipResult;
}
