#pragma once
// TVelRasCon: the dialer's way to the remote access service. Its connection
// side starts a dial, follows it through the service's state notifications,
// hangs up and waits until the line is gone, lists the active connections and
// reads a connection's projection (velrascon.cpp). Its phonebook side lists
// the entries, reads an entry's properties and saved dial parameters, and the
// telephony location (velrasbook.cpp).
//
// Every operation returns an integer, 0 for success, and keeps it in
// LastError; a connection operation that fails also leaves the error's text
// in StatusText. Without the remote access library every operation answers
// 1157 ("RASAPI32.DLL Not Available").
//
// Threads: the service calls the notifier on a thread of its own. The
// notifier touches nothing of the component there: it hands a copy of the
// notification (connection, state, error, sub-entry) to the instance created
// last (LastRasCon), which takes it on the main thread, in arrival order: only
// then are the fields set and the events raised. A notification for a
// connection this instance did not dial, or has hung up, is dropped, and so is
// one that arrives when no instance exists. Everything else runs on the main
// thread.

#include "dialer/ras/velrasapi.h"
#include "platform/ansistring.h"
#include "platform/ras/tapi.h"
#include "platform/sysversion.h"

#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <vector>

// Copies of active-connection records (692 bytes each), owned by the list.
class TConnectionList {
public:
    int Count() const noexcept { return static_cast<int>(items_.size()); }
    void Add(const ras::RASCONNA& Rec) { items_.push_back(Rec); }
    void Get(int Index, ras::RASCONNA& Rec) const { Rec = items_.at(static_cast<size_t>(Index)); }
    const ras::RASCONNA& operator[](int Index) const { return items_.at(static_cast<size_t>(Index)); }
    void Delete(int Index) { items_.erase(items_.begin() + Index); }
    void Clear() noexcept { items_.clear(); }

private:
    std::vector<ras::RASCONNA> items_;
};

// Results of ReadTranslateCaps (texts trimmed).
struct TTapiLocationSummary {
    uint32_t NumLocations = 0;
    uint32_t CurrentLocationID = 0;
    uint32_t NumCards = 0;
    uint32_t CurrentPreferredCardID = 0;
};
struct TTapiLocation {
    int32_t PermanentLocationID = -1;
    AnsiString Name;
    uint32_t CountryCode = 0;
    AnsiString CityCode;
    uint32_t PreferredCardID = 0;
    AnsiString LocalAccessCode;
    AnsiString LongDistanceAccessCode;
    AnsiString TollPrefixList;
    uint32_t CountryID = 0;
    uint32_t Options = 0;
    AnsiString CancelCallWaiting;
};
struct TTapiCard {
    int32_t PermanentCardID = -1;
    AnsiString Name;
    uint32_t CardNumberDigits = 0;
    AnsiString SameAreaRule;
    AnsiString LongDistanceRule;
    AnsiString InternationalRule;
    uint32_t Options = 0;
};
struct TTapiCountry {
    uint32_t CountryID = 0;
    uint32_t CountryCode = 0;
    uint32_t NextCountryID = 0;
    AnsiString Name;
    AnsiString SameAreaRule;
    AnsiString LongDistanceRule;
    AnsiString InternationalRule;
};

class TVelRasCon : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TVelRasCon* Sender)>;
    using TRasConStateEvent = std::function<void(TVelRasCon* Sender, int Error, const AnsiString& ErrorString)>;

    explicit TVelRasCon(QObject* Owner = nullptr);
    ~TVelRasCon() override;

    // ---- published properties
    bool DAXCtrl = false;  // carried, not used
    AnsiString Version;
    AnsiString DUNVersion;  // product version of the remote access library
    AnsiString DUNInfo;
    AnsiString EntryName;
    AnsiString PhoneNumber;
    const AnsiString& PhoneBookPath() const noexcept { return phoneBookPath_; }
    // Stores the file name (empty: the system phonebook) and reads its entries.
    void SetPhoneBookPath(const AnsiString& Value);
    AnsiString CallbackNumber;
    AnsiString UserName;
    AnsiString Password;
    AnsiString Domain;
    AnsiString DeviceType;
    AnsiString DeviceName;
    AnsiString DevicePort;
    AnsiString PhoneCanonical;
    AnsiString AutoDialDLL;
    AnsiString AutoDialFunc;
    int32_t SubEntry = 0;  // 0 = all
    int32_t CallbackId = 0;
    int32_t CountryID = 0;
    int32_t CountryCode = 0;
    AnsiString AreaCode;
    AnsiString LocalPhoneNumber;
    bool UseCountryAndAreaCodes() const noexcept { return useCountryAndAreaCodes_; }
    uint32_t EntryOptions = 0;
    bool PromoteAlternates() const noexcept { return promoteAlternates_; }
    int32_t DialMode = 0;

    // ---- published events, each raised only when assigned
    TNotifyEvent OnStateChanged;
    TNotifyEvent OnConnect;
    TRasConStateEvent OnDisconnect;
    TNotifyEvent OnCallBack;
    TNotifyEvent OnAboutToOpenPort;
    TNotifyEvent OnPortOpened;
    TNotifyEvent OnAboutToConnDev;
    TNotifyEvent OnDevConnected;
    TNotifyEvent OnAllDevsConnected;
    TNotifyEvent OnAuthenticate;
    TNotifyEvent OnAuthNotify;
    TNotifyEvent OnAuthRetry;
    TNotifyEvent OnAuthCallBack;
    TNotifyEvent OnAuthChangePassword;
    TNotifyEvent OnAuthProject;
    TNotifyEvent OnAuthLinkSpeed;
    TNotifyEvent OnAuthAck;
    TNotifyEvent OnReAuthenticate;
    TNotifyEvent OnAuthenticated;
    TNotifyEvent OnPrepareforCallback;
    TNotifyEvent OnWaitForModemReset;
    TNotifyEvent OnInteractiveStarted;
    TNotifyEvent OnRetryAuth;
    TNotifyEvent OnPasswordExpired;

    // ---- connection side: state
    int32_t LastError = 0;
    uint16_t ConnectState = 0;  // a state, or after a failure the error number
    uint16_t ConnectError = 0;
    AnsiString StatusText;
    ras::HRASCONN StateHandle = 0;
    uint32_t StateSubEntry = 0;
    uint8_t StateSource = 0;  // 0 a dial notification, 2 HangUpWait
    AnsiString StatusPhoneNumber;
    ras::HRASCONN ConnHandle = 0;
    TConnectionList Connections;
    int32_t ConnCount = 0;
    bool ConnChanged = false;
    AnsiString FirstConnName;
    ras::HRASCONN FirstConnHandle = 0;
    AnsiString FirstConnDeviceName;
    AnsiString FirstConnDeviceType;
    AnsiString FirstConnPhoneBook;
    AnsiString ClientIP;
    AnsiString ServerIP;
    AnsiString ProjectionText;
    int32_t ProjectionError = -1;
    AnsiString ReplyMessage;
    sysversion::OSVERSIONINFOA OSVersionInfo{};

    // ---- connection side: operations
    // Loads the library; false (LastError 1157) when there is none.
    bool CheckRasApi();
    // Starts a dial of EntryName with PhoneNumber, UserName and Password.
    // 0: the dial goes on in the background; Handle receives the connection
    // (also after some refusals, which must then be hung up).
    int Dial(ras::HRASCONN& Handle);
    AnsiString ErrorText(int Code);
    // The text of ConnectState.
    AnsiString StateText();
    int ReadConnectStatus(ras::HRASCONN Handle, uint32_t SubEntry);
    int HangUp(ras::HRASCONN Handle);
    void HangUpOwn();
    // Hangs up and waits, polling every 50 ms, until the connection is gone or
    // TimeoutMs have passed; with FireEvents each new state raises
    // OnStateChanged. The result of the hang-up.
    int HangUpWait(ras::HRASCONN Handle, uint32_t SubEntry, bool FireEvents, uint32_t TimeoutMs);
    void EnumConnections(AnsiString& FirstName);
    // Enumerates again; Connections is refilled when the set changed. A failed
    // enumeration returns its error and leaves Connections as it was.
    int RefreshConnections();
    int ReadProjection(ras::HRASCONN Handle);
    // A value of a library's version information ("" when there is none).
    static AnsiString ReadFileVersion(const AnsiString& FileName, const AnsiString& Key);
    // The description of a remote access version; CSDVersion is the system's
    // service pack text.
    static AnsiString DunInfoOf(const AnsiString& Version, const AnsiString& CSDVersion);

    // ---- phonebook side: state
    std::vector<AnsiString> PhoneBookEntries;
    std::vector<AnsiString> AltPhoneNumbers;
    bool PasswordSaved = false;
    int32_t SubEntryCount = 0;
    int32_t SubEntriesRead = 0;
    // Indexes 1 to 4.
    AnsiString SubLocalPhoneNumber[5];
    AnsiString SubPhoneCanonical[5];
    AnsiString SubDeviceType[5];
    AnsiString SubDeviceName[5];
    AnsiString SubDevicePort[5];
    tapi::HLINEAPP TapiLineApp = 0;
    bool TapiReady = false;
    uint32_t TapiDeviceCount = 0;

    // ---- phonebook side: operations
    int ReadPhoneBookEntries();
    int ReadEntryProperties();
    // Index 1 to 4; -1 outside them or on system level 0.
    int ReadSubEntryProperties(int Index);
    int ReadDialParams();
    static AnsiString MakeCanonical(bool UseCodes, int Country, const AnsiString& Number, const AnsiString& Area);
    // A device field (RAS_MaxDeviceName + 1 bytes): the device's name and,
    // after a NUL, its port.
    static void SplitDeviceName(const char* Field, AnsiString& Port, AnsiString& Name);
    bool OpenTapi();
    void CloseTapi();
    int ReadTranslateCaps(TTapiLocationSummary& Summary, TTapiLocation& Location, TTapiCountry& Country,
                          TTapiCard& Card);

private:
    struct Notification {
        int Type;  // 1 or 2
        ras::HRASCONN Handle;
        uint32_t SubEntry;
        uint32_t State;
        uint32_t Error;
    };
    static void RasDialCallback1(ras::HRASCONN Handle, ras::UINT Msg, ras::RASCONNSTATE State, ras::DWORD Error,
                                 ras::DWORD ExtendedError);
    static ras::DWORD RasDialCallback2(ras::DWORD CallbackId, ras::DWORD SubEntry, ras::HRASCONN Handle,
                                       ras::UINT Msg, ras::RASCONNSTATE State, ras::DWORD Error,
                                       ras::DWORD ExtendedError);
    static void Notify(const Notification& N);  // the service's thread
    void TakeNotifications();                   // the main thread
    void Deliver(const Notification& N);
    void RaiseStateEvent(uint32_t State);
    void DoDisconnect();
    void FillDialParams();
    ras::RASCONNA ConnRecord(int Index) const;
    ras::DWORD EntrySize() const;
    const char* PhoneBookArg() const;

    AnsiString phoneBookPath_;
    bool useCountryAndAreaCodes_ = false;
    bool promoteAlternates_ = false;
    ras::RASDIALPARAMSA dialParams_{};
    std::vector<char> connBuffer_;
    std::set<ras::HRASCONN> dialled_;  // connections whose notifications are taken

    // Guarded by the notifier's lock.
    std::deque<Notification> pending_;
    bool takePosted_ = false;
};

// The instance created last (nullptr when it is gone): the one that takes the
// service's notifications.
TVelRasCon* LastRasCon();
