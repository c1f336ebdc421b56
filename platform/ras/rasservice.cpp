// The remote access service: a shared library (rasapi32.so, beside the
// programs) that the dialer loads at run time. It keeps a phonebook of dial-up
// entries, "dials" them over a modem line whose behaviour each entry scripts,
// reports every state of a dial to the caller's notifier on a thread of its
// own, and answers hang-up, connection list, status, projection and traffic
// questions. Traffic is that of a real network interface named by the entry.
//
// THE PHONEBOOK
//
// The system phonebook is $XDG_CONFIG_HOME/kestrane/phonebook.ini
// (~/.config/kestrane/phonebook.ini); a caller may name any other file
// instead. It is an ini file in Windows-1251, with CR LF or LF line ends;
// lines starting with ";" are comments. Each section is one entry and its
// name is the entry's name; the file is read anew on every call, so an edit
// counts at once. Every key may be left out (defaults in brackets):
//
//   [My provider]
//   Number=5551234            the phone number ["" ]
//   AreaCode=812              the area code [""]
//   CountryCode=7             the country's dialling code [7]
//   CountryID=7               the country's number [= CountryCode]
//   UseCountryAndAreaCodes=1  dial with the country and area code [0]
//   PromoteAlternates=1       an alternate that answered becomes the number [0]
//   Options=0                 further option bits, added to the two above [0]
//   Alternates=5551235, 5551236   alternate numbers, comma-separated [none]
//   DeviceType=modem          [modem]
//   Device=US Robotics 56K    the modem's name [Modem]
//   Port=ttyS1                the port it sits on [none]
//   DialMode=0                how the links of a multilink entry are dialled [0]
//   AutodialDll=, AutodialFunc=   the entry's autodial library and function [""]
//   SubEntry2.Number=5551299  the second link of a multilink entry; likewise
//   SubEntry2.Device=..., SubEntry2.DeviceType=..., SubEntry2.Port=...,
//   SubEntry2.Alternates=...  and SubEntry3... onwards (the entry's own number
//                             and device are its first link)
//   UserName=ivanov           the saved user name [""]
//   Password=secret           the saved password; without the key no password
//                             is saved
//   Domain=, CallbackNumber=  [""]
//
// and what happens when the entry is dialled:
//
//   Line=connect              what the line does for any number [connect]
//   Line.5551234=busy         what it does for this number (the number as
//                             dialled, without a leading T or P, which only
//                             choose tone or pulse dialling)
//     connect       the modem dials, the other side answers, the user name is
//                   checked and the line is up: states 0, 1, 2, 3, 4, 5, 8192
//     busy          error 676 after state 2
//     noanswer      error 678 after state 2, after a long wait
//     nodialtone    error 680 after state 2
//     authfail      error 691 after state 5 (name or password refused)
//     fail E S      error E after state S (0 to 5)
//     drop N        connects, then the line drops N seconds later without a
//                   word: the connection is simply gone (the status and the
//                   connection list show it)
//     refuse        the dial call itself fails with 633 and still hands out a
//                   connection handle, which must be hung up
//   DialTime=8000             ms from dialling to the answer [8000]; the other
//                             steps take 200 to 1500 ms, as a modem's do
//   StepTime=100              every step takes this many ms instead [unset]
//   HangUpTime=500            ms the line takes to hang up [500]; meanwhile
//                             the status reads state 8193
//   EarlyNotify=1             the dial call returns only after the first state
//                             was reported [0]
//   ClientIP=192.0.2.2, ServerIP=192.0.2.1   the addresses of the IP projection
//   Auth=PAP                  the authentication: PAP, SPAP, CHAP, EAP or none
//   ReplyMessage=Welcome      the server's reply message [""]
//   Speed=33600               the connection's speed, bits per second [33600]
//   Interface=ppp0            the network interface whose traffic the
//                             connection counts, from the moment it came up
//                             [none: no traffic]
//   OnUp=/usr/local/bin/up arg1 "arg 2"
//                             a program (with arguments, no shell) run when
//                             the line comes up; the connection is reported up
//                             once it ended (at most 30 s later)
//   OnDown=/usr/local/bin/down   a program run when a line that was up goes
//                             down (hang-up, drop, or the end of the program
//                             that dialled it), after its OnUp has ended
//   EnumError=610             while a connection of this entry exists, listing
//                             the connections fails with this error [0]
//   ProjectionError=733       reading the IP projection of its connection
//                             fails with this error [0]
//
// The programs of each line run in order on a thread of that line's own, so
// a slow one holds no other line. When the service ends with the program
// that loaded it, every line still there goes down; the end waits up to 5 s
// for the programs still to run, then starts those not yet started and leaves
// them all to run on by themselves.

#include "platform/codepage.h"
#include "platform/process.h"
#include "platform/ras/phonebook.h"
#include "platform/ras/rasapi.h"
#include "platform/ras/raserrors.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#define RAS_EXPORT extern "C" __attribute__((visibility("default")))

using namespace ras;

namespace {

constexpr int kCommandTimeoutMs = 30000;
// How long the end of the service waits for the lines' programs.
constexpr auto kEndWait = std::chrono::seconds(5);

template <size_t N>
void copyText(char (&field)[N], std::string_view text)
{
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = 0;
}

bool sizeIn(DWORD size, std::initializer_list<DWORD> sizes)
{
    return std::find(sizes.begin(), sizes.end(), size) != sizes.end();
}

// The first Size bytes of a record filled in full.
template <class T>
void fillPrefix(void* target, const T& full, DWORD size)
{
    std::memcpy(target, &full, std::min<size_t>(size, sizeof(T)));
}

// The alternate numbers as they follow a record: NUL-terminated texts and an
// empty one; nothing when there are none.
std::string alternatesBlock(const std::vector<AnsiString>& alternates)
{
    std::string block;
    for (const AnsiString& a : alternates) block += a.substr(0, RAS_MaxPhoneNumber) + '\0';
    if (!block.empty()) block += '\0';
    return block;
}

// The device field: the device's name, then, after a NUL, its port.
template <size_t N>
void copyDevice(char (&field)[N], const AnsiString& device, const AnsiString& port)
{
    copyText(field, device);
    const size_t used = std::strlen(field) + 1;
    if (!port.empty() && used < N - 1) {
        const size_t n = std::min(port.size(), N - 1 - used);
        std::memcpy(field + used, port.data(), n);
        field[used + n] = 0;
    }
}

uint64_t readCounter(const std::string& interfaceName, const char* counter)
{
    if (interfaceName.empty() || interfaceName.find('/') != std::string::npos || interfaceName == "." ||
        interfaceName == "..") {
        return 0;
    }
    std::ifstream in("/sys/class/net/" + interfaceName + "/statistics/" + counter);
    uint64_t v = 0;
    if (!(in >> v)) return 0;
    return v;
}

struct Step {
    uint64_t at;
    DWORD state;
    DWORD error;
};

struct Connection {
    HRASCONN handle = 0;
    rasbook::Entry entry;
    AnsiString phonebook;  // as the caller named it; the file's path for the system phonebook
    AnsiString number;     // as dialled
    DWORD subEntry = 0;
    DWORD callbackId = 0;
    DWORD notifierType = 0;
    const void* notifier = nullptr;
    bool notifying = true;
    std::deque<Step> steps;
    DWORD state = RASCS_OpenPort;
    DWORD error = 0;
    enum Phase { Dialling, Online, Failed, HangingUp } phase = Dialling;
    uint64_t upAt = 0;
    uint64_t dropAt = 0;  // 0: the line holds
    uint64_t goneAt = 0;
    uint64_t txBase = 0;
    uint64_t rxBase = 0;
    uint64_t txExtra = 0;  // tests: bytes added to the interface's counters
    uint64_t rxExtra = 0;
    int delivered = 0;  // notifications made
    bool wentUp = false;   // the line came up: it owes its OnDown
    bool upRunning = false;  // its OnUp runs; the line is reported up once it ended
    bool upDone = false;

    bool listed() const noexcept { return phase == Dialling || phase == Online; }
};

class Service {
public:
    static Service& instance()
    {
        static Service s;
        return s;
    }

    ~Service()
    {
        std::unique_lock lk(m_);
        stop_ = true;
        // The lines end with the program: one that was up gets its OnDown.
        for (const auto& c : conns_) {
            if (c->wentUp && !c->entry.onDown.empty()) queueScript(c->handle, c->entry.onDown, false);
        }
        conns_.clear();
        wake_.notify_all();
        lk.unlock();
        if (thread_.joinable()) thread_.join();
        lk.lock();
        if (!changed_.wait_for(lk, kEndWait, [this] { return !scriptsRunning(); })) {
            // What still runs goes on by itself; what waits is started at once.
            givingUp_ = true;
            changed_.wait(lk, [this] { return !scriptsRunning(); });
        }
        std::vector<std::thread> workers;
        for (auto& [h, lane] : lanes_) {
            if (lane.worker.joinable()) workers.push_back(std::move(lane.worker));
        }
        lanes_.clear();
        lk.unlock();
        for (std::thread& t : workers) t.join();
    }

    DWORD dial(const char* phonebook, const RASDIALPARAMSA* params, DWORD notifierType, const void* notifier,
               HRASCONN* handle);
    DWORD hangUp(HRASCONN h);
    DWORD enumConnections(RASCONNA* conns, DWORD* bytes, DWORD* count);
    DWORD connectStatus(HRASCONN h, RASCONNSTATUSA* status);
    DWORD projection(HRASCONN h, DWORD protocol, void* info, DWORD* bytes);
    DWORD statistics(HRASCONN h, DWORD link, RAS_STATS* stats, bool clear);

#ifdef RAS_TEST_CLOCK
    void advance(uint64_t ms)
    {
        std::unique_lock lk(m_);
        virtualNow_ += ms;
        wake_.notify_all();
        changed_.wait(lk, [this] { return idle(); });
    }
    void reset()
    {
        std::unique_lock lk(m_);
        changed_.wait(lk, [this] { return idle(); });
        conns_.clear();
    }
    void addTraffic(HRASCONN h, uint64_t tx, uint64_t rx)
    {
        std::lock_guard lk(m_);
        if (Connection* c = find(h)) {
            c->txExtra += tx;
            c->rxExtra += rx;
        }
    }
#endif

private:
    Service() : thread_([this] { run(); }) {}

    uint64_t now() const
    {
#ifdef RAS_TEST_CLOCK
        return virtualNow_;
#else
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
#endif
    }

    Connection* find(HRASCONN h)
    {
        for (auto& c : conns_) {
            if (c->handle == h) return c.get();
        }
        return nullptr;
    }

    void remove(HRASCONN h)
    {
        auto it = std::find_if(conns_.begin(), conns_.end(), [h](const auto& c) { return c->handle == h; });
        if (it == conns_.end()) return;
        if ((*it)->wentUp && !(*it)->entry.onDown.empty()) queueScript(h, (*it)->entry.onDown, false);
        conns_.erase(it);
        wake_.notify_all();
    }

    // The time of the connection's next event, 0 when it waits for nothing.
    static uint64_t nextEventOf(const Connection& c)
    {
        switch (c.phase) {
        case Connection::Dialling: return c.steps.empty() || c.upRunning ? 0 : c.steps.front().at;
        case Connection::Online: return c.dropAt;
        case Connection::HangingUp: return c.goneAt;
        case Connection::Failed: return 0;
        }
        return 0;
    }

    Connection* nextDue(uint64_t* when)
    {
        Connection* best = nullptr;
        uint64_t t = 0;
        for (auto& c : conns_) {
            const uint64_t at = nextEventOf(*c);
            if (at != 0 && (!best || at < t)) {
                best = c.get();
                t = at;
            }
        }
        *when = t;
        return best;
    }

    bool idle()
    {
        uint64_t when = 0;
        return !busy_ && !scriptsRunning() && (!nextDue(&when) || when > now());
    }

    bool scriptsRunning() const
    {
        return std::any_of(lanes_.begin(), lanes_.end(), [](const auto& l) { return l.second.running; });
    }

    // The interface's counter as the connection counts it.
    static uint64_t counter(const Connection& c, const char* name, uint64_t extra)
    {
        return readCounter(c.entry.interfaceName, name) + extra;
    }

    void run();
    void handle(Connection& c, std::unique_lock<std::mutex>& lk);
    // Queues a program of line H behind the line's earlier ones; Up: it is
    // the line's OnUp. Called with the lock held.
    void queueScript(HRASCONN h, const AnsiString& command, bool up);
    void work(HRASCONN h);
    void upEnded(HRASCONN h);

    // The programs of one line and the thread that runs them.
    struct Script {
        std::vector<std::string> argv;  // UTF-8
        bool up = false;
    };
    struct Lane {
        std::deque<Script> queue;
        std::thread worker;
        bool running = false;  // the worker is at work (or about to be)
    };

    std::mutex m_;
    std::condition_variable wake_;     // the thread has something to do
    std::condition_variable changed_;  // a notification was made, or the thread went idle
    std::vector<std::unique_ptr<Connection>> conns_;  // in the order they were dialled
    std::map<HRASCONN, Lane> lanes_;
    std::atomic<bool> givingUp_{false};  // the end: programs are started, not waited for
    bool stop_ = false;
    bool busy_ = false;
    HRASCONN nextHandle_ = 0x52410000;
#ifdef RAS_TEST_CLOCK
    uint64_t virtualNow_ = 1;
#endif
    std::thread thread_;  // last: starts when everything else is ready
};

void Service::queueScript(HRASCONN h, const AnsiString& command, bool up)
{
    // Lanes whose work is done go first.
    for (auto it = lanes_.begin(); it != lanes_.end();) {
        if (!it->second.running && it->second.queue.empty() && it->first != h) {
            if (it->second.worker.joinable()) it->second.worker.join();  // it has only to return
            it = lanes_.erase(it);
        } else {
            ++it;
        }
    }
    Script s;
    for (const std::string& w : rasbook::splitCommand(command)) s.argv.push_back(codepage::toUtf8(w));
    s.up = up;
    Lane& lane = lanes_[h];
    lane.queue.push_back(std::move(s));
    if (lane.running) return;
    if (lane.worker.joinable()) lane.worker.join();
    lane.running = true;
    try {
        lane.worker = std::thread([this, h] { work(h); });
    } catch (const std::system_error&) {
        // No thread to be had: the programs are not run, and the line is not
        // kept waiting for them.
        lane.running = false;
        const bool hadUp = std::any_of(lane.queue.begin(), lane.queue.end(), [](const Script& x) { return x.up; });
        lane.queue.clear();
        if (hadUp) upEnded(h);
    }
}

void Service::work(HRASCONN h)
{
    std::unique_lock lk(m_);
    for (;;) {
        Lane& lane = lanes_.at(h);
        if (lane.queue.empty()) {
            lane.running = false;
            changed_.notify_all();
            return;
        }
        Script s = std::move(lane.queue.front());
        lane.queue.pop_front();
        lk.unlock();
        process::run(s.argv, givingUp_ ? 0 : kCommandTimeoutMs, &givingUp_);
        lk.lock();
        if (s.up) upEnded(h);
    }
}

void Service::upEnded(HRASCONN h)
{
    if (Connection* c = find(h)) {
        c->upRunning = false;
        c->upDone = true;
    }
    wake_.notify_all();
}

void Service::run()
{
    std::unique_lock lk(m_);
    while (!stop_) {
        uint64_t when = 0;
        Connection* c = nextDue(&when);
        const uint64_t t = now();
        if (c && when <= t) {
            handle(*c, lk);
            continue;
        }
        changed_.notify_all();
#ifdef RAS_TEST_CLOCK
        wake_.wait(lk);
#else
        if (c) {
            wake_.wait_for(lk, std::chrono::milliseconds(when - t));
        } else {
            wake_.wait(lk);
        }
#endif
    }
    changed_.notify_all();
}

// One due event of a connection: its next state, its line dropping, or the
// end of its hang-up.
void Service::handle(Connection& c, std::unique_lock<std::mutex>& lk)
{
    const HRASCONN h = c.handle;
    if (c.phase == Connection::Online || c.phase == Connection::HangingUp) {
        remove(h);
        return;
    }
    const Step step = c.steps.front();
    if (step.error == 0 && step.state == RASCS_Connected && !c.entry.onUp.empty() && !c.upDone) {
        // The line is up at the modem, and from here on owes its OnDown; it
        // is reported up once its OnUp has ended (the step waits till then).
        c.upRunning = true;
        c.wentUp = true;
        queueScript(h, c.entry.onUp, true);
        return;
    }
    c.steps.pop_front();
    Connection& conn = c;
    conn.state = step.state;
    conn.error = step.error;
    if (step.error != 0) {
        conn.phase = Connection::Failed;
        conn.steps.clear();
    } else if (step.state == RASCS_Connected) {
        conn.phase = Connection::Online;
        conn.wentUp = true;
        conn.upAt = now();
        conn.txBase = counter(conn, "tx_bytes", conn.txExtra);
        conn.rxBase = counter(conn, "rx_bytes", conn.rxExtra);
        const auto script = rasbook::parseLine(conn.entry.lineFor(conn.number));
        if (script && script->kind == rasbook::LineScript::Drop) {
            conn.dropAt = conn.upAt + std::max<uint64_t>(1, uint64_t{script->dropSeconds} * 1000);
        }
    }
    if (!conn.notifying || !conn.notifier) return;

    const DWORD type = conn.notifierType;
    const void* notifier = conn.notifier;
    const DWORD callbackId = conn.callbackId;
    const DWORD subEntry = conn.subEntry == 0 ? 1 : conn.subEntry;
    busy_ = true;
    lk.unlock();
    DWORD more = 1;
    if (type == 1) {
        reinterpret_cast<RasDialFunc1>(const_cast<void*>(notifier))(h, WM_RASDIALEVENT,
                                                                   static_cast<RASCONNSTATE>(step.state),
                                                                   step.error, 0);
    } else {
        more = reinterpret_cast<RasDialFunc2>(const_cast<void*>(notifier))(
            callbackId, subEntry, h, WM_RASDIALEVENT, static_cast<RASCONNSTATE>(step.state), step.error, 0);
    }
    lk.lock();
    busy_ = false;
    if (Connection* after = find(h)) {
        ++after->delivered;
        if (more == 0) after->notifying = false;
    }
    changed_.notify_all();
}

DWORD Service::dial(const char* phonebook, const RASDIALPARAMSA* params, DWORD notifierType,
                    const void* notifier, HRASCONN* handle)
{
    if (!params || !handle) return ERROR_INVALID_PARAMETER;
    *handle = 0;
    if (!sizeIn(params->dwSize, {kDialParamsSizeShort, sizeof(RASDIALPARAMSA)})) return ERROR_INVALID_SIZE;
    if (notifier && notifierType != 1 && notifierType != 2) return ERROR_INVALID_PARAMETER;
    RASDIALPARAMSA p{};
    std::memcpy(&p, params, params->dwSize);
    p.szEntryName[RAS_MaxEntryName] = 0;
    p.szPhoneNumber[RAS_MaxPhoneNumber] = 0;

    const rasbook::Phonebook book(rasbook::phonebookPathOf(phonebook));
    if (phonebook && *phonebook && !book.exists()) return ERROR_CANNOT_OPEN_PHONEBOOK;
    auto entry = book.entry(p.szEntryName);
    if (!entry) return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    const AnsiString number = p.szPhoneNumber[0] ? AnsiString(p.szPhoneNumber) : entry->links[0].number;
    const auto script = rasbook::parseLine(entry->lineFor(number));
    if (!script) return ERROR_CORRUPT_PHONEBOOK;

    std::unique_lock lk(m_);
    auto c = std::make_unique<Connection>();
    c->handle = ++nextHandle_;
    c->entry = std::move(*entry);
    c->phonebook = phonebook && *phonebook ? AnsiString(phonebook) : codepage::fromUtf8(book.path());
    c->number = number;
    c->subEntry = params->dwSize >= sizeof(RASDIALPARAMSA) ? p.dwSubEntry : 0;
    c->callbackId = params->dwSize >= sizeof(RASDIALPARAMSA) ? p.dwCallbackId : 0;
    c->notifierType = notifierType;
    c->notifier = notifier;
    *handle = c->handle;
    if (script->kind == rasbook::LineScript::Refuse) {
        c->phase = Connection::Failed;
        c->error = script->error;
        conns_.push_back(std::move(c));
        return script->error;
    }

    // The modem's steps: open the port, dial, the answer, the link, the name
    // check, the line up.
    const int64_t st = c->entry.stepTime;
    const uint64_t delays[] = {0, 200, 300, c->entry.dialTime, 500, 300, 1500};
    const DWORD states[] = {RASCS_OpenPort,        RASCS_PortOpened,          RASCS_ConnectDevice, RASCS_DeviceConnected,
                            RASCS_AllDevicesConnected, RASCS_Authenticate, RASCS_Connected};
    uint64_t t = now();
    for (size_t i = 0; i < std::size(states); ++i) {
        const uint64_t delay = st >= 0 ? (i == 0 ? 0 : static_cast<uint64_t>(st)) : delays[i];
        if (script->kind == rasbook::LineScript::Fail && i > 0 && states[i - 1] == script->failState) {
            t += script->longWait && st < 0 ? delay * 4 : delay;
            c->steps.push_back({t, script->failState, script->error});
            break;
        }
        t += delay;
        c->steps.push_back({t, states[i], 0});
    }
    const bool early = c->entry.earlyNotify && notifier;
    conns_.push_back(std::move(c));
    wake_.notify_all();
    if (early) {
        const HRASCONN h = *handle;
        changed_.wait(lk, [&] {
            const Connection* x = find(h);
            return stop_ || !x || x->delivered > 0 || !x->notifying || x->phase != Connection::Dialling;
        });
    }
    return 0;
}

DWORD Service::hangUp(HRASCONN h)
{
    std::lock_guard lk(m_);
    Connection* c = find(h);
    if (!c) return ERROR_INVALID_HANDLE;
    if (c->phase == Connection::HangingUp) return 0;
    c->phase = Connection::HangingUp;
    c->notifying = false;
    c->steps.clear();
    c->state = RASCS_Disconnected;
    c->error = 0;
    if (c->entry.hangUpTime == 0) {
        remove(h);
    } else {
        c->goneAt = now() + c->entry.hangUpTime;
        wake_.notify_all();
    }
    return 0;
}

DWORD Service::enumConnections(RASCONNA* conns, DWORD* bytes, DWORD* count)
{
    if (!conns || !bytes || !count) return ERROR_INVALID_PARAMETER;
    const DWORD stride = conns->dwSize;
    if (!sizeIn(stride, {kConnSizes[0], kConnSizes[1], kConnSizes[2]})) return ERROR_INVALID_SIZE;
    std::lock_guard lk(m_);
    std::vector<const Connection*> listed;
    for (const auto& c : conns_) {
        if (!c->listed()) continue;
        if (c->entry.enumError != 0) return c->entry.enumError;
        listed.push_back(c.get());
    }
    const DWORD room = *bytes / stride;
    char* out = reinterpret_cast<char*>(conns);
    for (DWORD i = 0; i < listed.size() && i < room; ++i) {
        const Connection& c = *listed[i];
        RASCONNA r{};
        r.dwSize = stride;
        r.hrasconn = c.handle;
        copyText(r.szEntryName, c.entry.name);
        copyText(r.szDeviceType, c.entry.links[0].deviceType);
        copyText(r.szDeviceName, c.entry.links[0].device);
        copyText(r.szPhonebook, c.phonebook);
        r.dwSubEntry = c.subEntry == 0 ? 1 : c.subEntry;
        fillPrefix(out + size_t{i} * stride, r, stride);
    }
    *count = static_cast<DWORD>(listed.size());
    const DWORD needed = static_cast<DWORD>(listed.size()) * stride;
    if (needed > *bytes) {
        *bytes = needed;
        return ERROR_BUFFER_TOO_SMALL;
    }
    *bytes = needed;
    return 0;
}

DWORD Service::connectStatus(HRASCONN h, RASCONNSTATUSA* status)
{
    if (!status) return ERROR_INVALID_PARAMETER;
    const DWORD size = status->dwSize;
    if (!sizeIn(size, {kConnStatusSizes[0], kConnStatusSizes[1]})) return ERROR_INVALID_SIZE;
    std::lock_guard lk(m_);
    const Connection* c = find(h);
    if (!c) return ERROR_INVALID_HANDLE;
    RASCONNSTATUSA s{};
    s.dwSize = size;
    s.rasconnstate = c->state;
    s.dwError = c->error;
    copyText(s.szDeviceType, c->entry.links[0].deviceType);
    copyText(s.szDeviceName, c->entry.links[0].device);
    copyText(s.szPhoneNumber, c->number);
    fillPrefix(status, s, size);
    return 0;
}

DWORD Service::projection(HRASCONN h, DWORD protocol, void* info, DWORD* bytes)
{
    if (!info || !bytes) return ERROR_INVALID_PARAMETER;
    DWORD size = 0;
    std::memcpy(&size, info, sizeof size);
    std::lock_guard lk(m_);
    const Connection* c = find(h);
    if (!c) return ERROR_INVALID_HANDLE;
    if (c->phase != Connection::Online) return ERROR_PROJECTION_NOT_COMPLETE;
    if (protocol == RASP_PppIp) {
        if (size != sizeof(RASPPPIPA)) return ERROR_INVALID_SIZE;
        if (*bytes < size) {
            *bytes = size;
            return ERROR_BUFFER_TOO_SMALL;
        }
        if (c->entry.projectionError != 0) return c->entry.projectionError;
        RASPPPIPA ip{};
        ip.dwSize = size;
        copyText(ip.szIpAddress, c->entry.clientIp);
        copyText(ip.szServerIpAddress, c->entry.serverIp);
        fillPrefix(info, ip, size);
        return 0;
    }
    if (protocol == RASP_PppLcp) {
        if (!sizeIn(size, {8, 28, sizeof(RASPPPLCPA)})) return ERROR_INVALID_SIZE;
        if (*bytes < size) {
            *bytes = size;
            return ERROR_BUFFER_TOO_SMALL;
        }
        RASPPPLCPA lcp{};
        lcp.dwSize = size;
        lcp.fBundled = c->entry.links.size() > 1;
        lcp.dwAuthenticationProtocol = c->entry.authProtocol;
        lcp.dwServerAuthenticationProtocol = c->entry.authProtocol;
        lcp.fMultilink = c->entry.links.size() > 1;
        copyText(lcp.szReplyMessage, c->entry.replyMessage);
        fillPrefix(info, lcp, size);
        return 0;
    }
    return ERROR_INVALID_PARAMETER;
}

DWORD Service::statistics(HRASCONN h, DWORD link, RAS_STATS* stats, bool clear)
{
    if (!clear && (!stats || stats->dwSize != sizeof(RAS_STATS))) {
        return stats ? ERROR_INVALID_SIZE : ERROR_INVALID_PARAMETER;
    }
    std::lock_guard lk(m_);
    Connection* c = find(h);
    if (!c) return ERROR_INVALID_HANDLE;
    if (link != 0 && link > c->entry.links.size()) return ERROR_INVALID_PARAMETER;
    const bool online = c->phase == Connection::Online;
    const uint64_t tx = online ? counter(*c, "tx_bytes", c->txExtra) : 0;
    const uint64_t rx = online ? counter(*c, "rx_bytes", c->rxExtra) : 0;
    // A counter that went back (the interface was made anew) counts afresh.
    if (online && (clear || tx < c->txBase)) c->txBase = tx;
    if (online && (clear || rx < c->rxBase)) c->rxBase = rx;
    if (clear) return 0;
    RAS_STATS s{};
    s.dwSize = sizeof s;
    if (online) {
        s.dwBytesXmited = static_cast<DWORD>(tx - c->txBase);
        s.dwBytesRcved = static_cast<DWORD>(rx - c->rxBase);
        s.dwBps = c->entry.speed;
        s.dwConnectDuration = static_cast<DWORD>(now() - c->upAt);
    }
    *stats = s;
    return 0;
}

// The entry's properties into a record of the caller's size, followed by the
// alternates; 603 with the size needed when the buffer is too small.
template <class Record, class Fill>
DWORD fillWithAlternates(Record* info, DWORD* bytes, std::initializer_list<DWORD> sizes,
                         const std::vector<AnsiString>& alternates, Fill fill)
{
    const std::string block = alternatesBlock(alternates);
    const DWORD size = info ? info->dwSize : sizeof(Record);
    if (info && !sizeIn(size, sizes)) return ERROR_INVALID_SIZE;
    const DWORD needed = size + static_cast<DWORD>(block.size());
    if (!info || *bytes < needed) {
        *bytes = needed;
        return ERROR_BUFFER_TOO_SMALL;
    }
    Record r{};
    r.dwSize = size;
    fill(r);
    r.dwAlternateOffset = block.empty() ? 0 : size;
    fillPrefix(info, r, size);
    std::memcpy(reinterpret_cast<char*>(info) + size, block.data(), block.size());
    *bytes = needed;
    return 0;
}

// The entry a call names, or the error that it cannot be had.
DWORD lookUp(const char* phonebook, const char* name, std::optional<rasbook::Entry>& entry)
{
    const rasbook::Phonebook book(rasbook::phonebookPathOf(phonebook));
    if (phonebook && *phonebook && !book.exists()) return ERROR_CANNOT_OPEN_PHONEBOOK;
    entry = book.entry(name ? AnsiString(name, strnlen(name, RAS_MaxEntryName)) : AnsiString());
    return entry ? DWORD{0} : DWORD{ERROR_CANNOT_FIND_PHONEBOOK_ENTRY};
}

struct Country {
    DWORD id;
    DWORD code;
    const char* name;
};
constexpr Country kCountries[] = {
    {1, 1, "United States of America"}, {7, 7, "Russia"},     {44, 44, "United Kingdom"},
    {49, 49, "Germany"},                {375, 375, "Belarus"}, {380, 380, "Ukraine"},
};

}  // namespace

RAS_EXPORT const char* const VersionInfo[] = {
    "ProductVersion", "1.0", "FileDescription", "Kestrane remote access service", nullptr,
};

RAS_EXPORT DWORD RasDialA(const void*, const char* phonebook, const RASDIALPARAMSA* params, DWORD notifierType,
                          const void* notifier, HRASCONN* connection)
{
    return Service::instance().dial(phonebook, params, notifierType, notifier, connection);
}

RAS_EXPORT DWORD RasHangUpA(HRASCONN connection) { return Service::instance().hangUp(connection); }

RAS_EXPORT DWORD RasEnumConnectionsA(RASCONNA* connections, DWORD* bytes, DWORD* count)
{
    return Service::instance().enumConnections(connections, bytes, count);
}

RAS_EXPORT DWORD RasGetConnectStatusA(HRASCONN connection, RASCONNSTATUSA* status)
{
    return Service::instance().connectStatus(connection, status);
}

RAS_EXPORT DWORD RasGetProjectionInfoA(HRASCONN connection, DWORD projection, void* info, DWORD* bytes)
{
    return Service::instance().projection(connection, projection, info, bytes);
}

RAS_EXPORT DWORD RasGetErrorStringA(UINT error, char* text, DWORD size)
{
    const char* t = raserrors::text(error);
    if (!text || !t) return ERROR_INVALID_PARAMETER;
    if (size <= std::strlen(t)) return ERROR_BUFFER_TOO_SMALL;
    std::strcpy(text, t);
    return 0;
}

RAS_EXPORT DWORD RasEnumEntriesA(const char*, const char* phonebook, RASENTRYNAMEA* names, DWORD* bytes,
                                 DWORD* count)
{
    if (!names || !bytes || !count) return ERROR_INVALID_PARAMETER;
    if (names->dwSize != sizeof(RASENTRYNAMEA)) return ERROR_INVALID_SIZE;
    const rasbook::Phonebook book(rasbook::phonebookPathOf(phonebook));
    if (phonebook && *phonebook && !book.exists()) return ERROR_CANNOT_OPEN_PHONEBOOK;
    const std::vector<AnsiString> list = book.names();
    *count = static_cast<DWORD>(list.size());
    const DWORD needed = static_cast<DWORD>(list.size() * sizeof(RASENTRYNAMEA));
    if (*bytes < needed) {
        *bytes = needed;
        return ERROR_BUFFER_TOO_SMALL;
    }
    for (size_t i = 0; i < list.size(); ++i) {
        RASENTRYNAMEA n{};
        n.dwSize = sizeof n;
        copyText(n.szEntryName, list[i]);
        names[i] = n;
    }
    *bytes = needed;
    return 0;
}

RAS_EXPORT DWORD RasGetEntryDialParamsA(const char* phonebook, RASDIALPARAMSA* params, BOOL* passwordSaved)
{
    if (!params || !passwordSaved) return ERROR_INVALID_PARAMETER;
    const DWORD size = params->dwSize;
    if (!sizeIn(size, {kDialParamsSizeShort, sizeof(RASDIALPARAMSA)})) return ERROR_INVALID_SIZE;
    std::optional<rasbook::Entry> e;
    if (const DWORD r = lookUp(phonebook, params->szEntryName, e)) return r;
    RASDIALPARAMSA p{};
    p.dwSize = size;
    copyText(p.szEntryName, e->name);
    copyText(p.szUserName, e->userName);
    copyText(p.szPassword, e->password);
    copyText(p.szDomain, e->domain);
    copyText(p.szCallbackNumber, e->callbackNumber);
    fillPrefix(params, p, size);
    *passwordSaved = e->passwordSaved;
    return 0;
}

RAS_EXPORT DWORD RasGetSubEntryPropertiesA(const char* phonebook, const char* entry, DWORD subEntry,
                                           RASSUBENTRYA* info, DWORD* bytes, void*, DWORD* deviceBytes)
{
    if (!bytes) return ERROR_INVALID_PARAMETER;
    std::optional<rasbook::Entry> e;
    if (const DWORD r = lookUp(phonebook, entry, e)) return r;
    if (subEntry < 1 || subEntry > e->links.size()) return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    if (deviceBytes) *deviceBytes = 0;
    const rasbook::Link& l = e->links[subEntry - 1];
    return fillWithAlternates(info, bytes, {sizeof(RASSUBENTRYA)}, l.alternates, [&](RASSUBENTRYA& r) {
        copyText(r.szDeviceType, l.deviceType);
        copyDevice(r.szDeviceName, l.device, l.port);
        copyText(r.szLocalPhoneNumber, l.number);
    });
}

RAS_EXPORT DWORD RasGetConnectionStatistics(HRASCONN connection, RAS_STATS* stats)
{
    return Service::instance().statistics(connection, 0, stats, false);
}

RAS_EXPORT DWORD RasClearConnectionStatistics(HRASCONN connection)
{
    return Service::instance().statistics(connection, 0, nullptr, true);
}

RAS_EXPORT DWORD RasGetLinkStatistics(HRASCONN connection, DWORD subEntry, RAS_STATS* stats)
{
    if (subEntry == 0) return ERROR_INVALID_PARAMETER;
    return Service::instance().statistics(connection, subEntry, stats, false);
}

RAS_EXPORT DWORD RasClearLinkStatistics(HRASCONN connection, DWORD subEntry)
{
    if (subEntry == 0) return ERROR_INVALID_PARAMETER;
    return Service::instance().statistics(connection, subEntry, nullptr, true);
}

#ifndef RAS_NO_ENTRY_PROPERTIES

RAS_EXPORT DWORD RasGetCountryInfoA(RASCTRYINFO* info, DWORD* bytes)
{
    if (!info || !bytes) return ERROR_INVALID_PARAMETER;
    if (info->dwSize != sizeof(RASCTRYINFO)) return ERROR_INVALID_SIZE;
    const auto* it = std::find_if(std::begin(kCountries), std::end(kCountries),
                                  [&](const Country& c) { return c.id == info->dwCountryID; });
    if (it == std::end(kCountries)) return ERROR_INVALID_PARAMETER;
    const DWORD needed = static_cast<DWORD>(sizeof(RASCTRYINFO) + std::strlen(it->name) + 1);
    if (*bytes < needed) {
        *bytes = needed;
        return ERROR_BUFFER_TOO_SMALL;
    }
    info->dwCountryCode = it->code;
    info->dwNextCountryID = it + 1 == std::end(kCountries) ? 0 : (it + 1)->id;
    info->dwCountryNameOffset = sizeof(RASCTRYINFO);
    std::strcpy(reinterpret_cast<char*>(info) + sizeof(RASCTRYINFO), it->name);
    *bytes = needed;
    return 0;
}

RAS_EXPORT DWORD RasGetEntryPropertiesA(const char* phonebook, const char* entry, RASENTRYA* info,
                                        DWORD* bytes, void*, DWORD* deviceBytes)
{
    if (!bytes) return ERROR_INVALID_PARAMETER;
    std::optional<rasbook::Entry> e;
    if (const DWORD r = lookUp(phonebook, entry, e)) return r;
    if (deviceBytes) *deviceBytes = 0;
    const rasbook::Link& own = e->links[0];
    return fillWithAlternates(info, bytes, {kEntrySizes[0], kEntrySizes[1], kEntrySizes[2]}, own.alternates,
                              [&](RASENTRYA& r) {
                                  r.dwfOptions = e->options;
                                  r.dwCountryID = e->countryID;
                                  r.dwCountryCode = e->countryCode;
                                  copyText(r.szAreaCode, e->areaCode);
                                  copyText(r.szLocalPhoneNumber, own.number);
                                  copyText(r.szAutodialDll, e->autodialDll);
                                  copyText(r.szAutodialFunc, e->autodialFunc);
                                  copyText(r.szDeviceType, own.deviceType);
                                  copyDevice(r.szDeviceName, own.device, own.port);
                                  r.dwSubEntries = static_cast<DWORD>(e->links.size());
                                  r.dwDialMode = e->dialMode;
                              });
}

#endif

#ifdef RAS_TEST_CLOCK
// Tests only: the service's clock stands still until a test moves it on.
// RasTestAdvance returns once everything that fell due has been done and
// every notification it made has returned.
RAS_EXPORT void RasTestAdvance(DWORD ms) { Service::instance().advance(ms); }
// Tests only: forgets every connection at once.
RAS_EXPORT void RasTestReset() { Service::instance().reset(); }
// Tests only: the interface of a connection counts so many bytes more sent
// and received.
RAS_EXPORT void RasTestAddTraffic(HRASCONN connection, uint64_t tx, uint64_t rx)
{
    Service::instance().addTraffic(connection, tx, rx);
}
#endif
