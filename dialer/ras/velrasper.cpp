#include "dialer/ras/velrasper.h"

#include "dialer/ras/rastext.h"
#include "platform/sysversion.h"

#include <algorithm>
#include <limits>

using namespace velras;

namespace {

bool inSlots(int Index) { return Index >= 0 && Index < TVelRasPer::kSlots; }

constexpr int kFileNotFound = 2;

}  // namespace

uint32_t TrafficRate(uint64_t Now, uint64_t Base, uint32_t ElapsedMs)
{
    if (ElapsedMs == 0 || Now < Base) return 0;
    constexpr uint64_t kTop = std::numeric_limits<uint32_t>::max();
    const uint64_t delta = Now - Base;
    // Beyond this the rate is past 32 bits whatever the time.
    if (delta / 1000 > kTop) return static_cast<uint32_t>(kTop);
    return static_cast<uint32_t>(std::min(delta * 1000 / ElapsedMs, kTop));
}

uint64_t CountOn(uint64_t Total, uint32_t Raw)
{
    const uint32_t last = static_cast<uint32_t>(Total);
    const uint64_t epoch = Total - last;
    if (Raw >= last) return epoch + Raw;
    if (last - Raw > 0x80000000u) return epoch + (uint64_t{1} << 32) + Raw;
    return Total;
}

TVelRasPer::TVelRasPer(QObject* Owner) : QObject(Owner)
{
    ResetStats();
    Version = "TVelRasPer, 21st May 2000, Release 4.41, Kestrane remote access components";
    ErrInfo.clear();
}

TVelRasPer::~TVelRasPer() = default;

bool TVelRasPer::win32s() const
{
    sysversion::OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    return sysversion::GetVersionExA(&v) && v.dwPlatformId == sysversion::VER_PLATFORM_WIN32s;
}

AnsiString TVelRasPer::ErrorText(int Code) { return rastext::ErrorText(Code, LastError); }

bool TVelRasPer::EnumDialAdapters()
{
    AdapterCount = 0;
    if (SystemLevel >= 1) return false;
    AdapterNames.clear();
    // The adapters are listed under the dynamic statistics keys, which this
    // system does not have: none is found.
    return false;
}

bool TVelRasPer::StartStats(bool Start, bool FindAdapters)
{
    ErrInfo.clear();
    if (win32s()) return false;
    if (SystemLevel == 0) {
        if (FindAdapters) {
            EnumDialAdapters();
            if (AdapterCount == 0) {
                ErrInfo = "Unable to Locate Win9x Dial-Up Adapter";
                return false;
            }
        }
        const AnsiString key = Start ? "PerfStats\\StartStat" : "PerfStats\\StopStat";
        ErrInfo = "Unable to Open Registry Key - " + key + ", Error = " + ErrorText(kFileNotFound);
        return false;
    }
    bool result = true;
    if (Start) result = ReadStats();
    ResetStats();
    return result;
}

bool TVelRasPer::ReadStats()
{
    if (win32s()) return false;
    if (SystemLevel == 0) {
        PortCount = 0;
        XmitBytes[0] = RecvBytes[0] = 0;
        ConnSpeed[0] = 0;
        PortNames[0] = "all";
        ErrInfo = "Unable to Open Registry Key - PerfStats\\StatData";
        return false;
    }
    if (SystemLevel == 1) {
        for (AnsiString& n : PortNames) n.clear();
        ErrInfo = "No Performance Data Returned for Object - 906";
        return false;
    }
    for (AnsiString& n : PortNames) n.clear();
    XmitBytes[0] = RecvBytes[0] = 0;
    ConnSpeed[0] = 0;
    PortNames[0] = "all";
    LastError = ras::ERROR_DLL_NOT_FOUND;
    if (!RasLibraryLoaded() || !RasClearConnectionStatistics) return false;
    for (int i = 1; i < kSlots; ++i) {
        if (ConnHandles[i] == 0) continue;
        ras::RAS_STATS s{};
        s.dwSize = sizeof s;
        ras::DWORD r = ras::ERROR_DLL_NOT_FOUND;
        if (SubEntries[i] != 0) {
            if (RasGetLinkStatistics) r = RasGetLinkStatistics(ConnHandles[i], SubEntries[i], &s);
        } else if (RasGetConnectionStatistics) {
            r = RasGetConnectionStatistics(ConnHandles[i], &s);
        }
        LastError = static_cast<int32_t>(r);
        if (r != 0) {
            // The slot keeps what it had, and still counts in the total.
            ErrInfo = ErrorText(LastError);
        } else {
            ConnSpeed[i] = std::max(ConnSpeed[i], static_cast<int32_t>(s.dwBps));
            XmitBytes[i] = CountOn(XmitBytes[i], s.dwBytesXmited);
            RecvBytes[i] = CountOn(RecvBytes[i], s.dwBytesRcved);
        }
        PortNames[i] = "x" + std::to_string(i);
        PortCount = std::max(PortCount, i);
        ConnSpeed[0] += ConnSpeed[i];
        XmitBytes[0] += XmitBytes[i];
        RecvBytes[0] += RecvBytes[i];
    }
    return true;
}

void TVelRasPer::ResetStatsEntry(int Index)
{
    if (!inSlots(Index)) return;
    if (Index >= 1 && Index <= 4) {
        BaseXmit[Index] = RawXmit[Index];
        BaseRecv[Index] = RawRecv[Index];
    }
    XmitBytes[Index] = RecvBytes[Index] = 0;
    ConnSpeed[Index] = 0;
    if (SystemLevel == 2) {
        LastError = ras::ERROR_DLL_NOT_FOUND;
        if (RasLibraryLoaded() && RasClearConnectionStatistics && ConnHandles[Index] != 0) {
            LastError = static_cast<int32_t>(RasClearConnectionStatistics(ConnHandles[Index]));
        }
    }
}

void TVelRasPer::ResetStats()
{
    for (int i = 0; i < kSlots; ++i) {
        ResetStatsEntry(i);
        ConnHandles[i] = 0;
        SubEntries[i] = 0;
        PortNames[i].clear();
    }
    ReadStats();
}

uint64_t TVelRasPer::GetXmitBytes(int Index) const { return inSlots(Index) ? XmitBytes[Index] : 0; }
uint64_t TVelRasPer::GetRecvBytes(int Index) const { return inSlots(Index) ? RecvBytes[Index] : 0; }
int32_t TVelRasPer::GetConnSpeed(int Index) const { return inSlots(Index) ? ConnSpeed[Index] : 0; }

void TVelRasPer::SetConnHandle(int Index, ras::HRASCONN Handle)
{
    if (inSlots(Index) && ConnHandles[Index] != Handle) ConnHandles[Index] = Handle;
}
