#pragma once
// TVelRasPer: bytes sent and received and the speed of dial-up connections,
// in 31 slots: slot 0 is the total, slots 1 to 30 single connections (or
// ports, or adapters). On this system the numbers are those of the
// connections given by SetConnHandle, from the remote access service's
// statistics; the dynamic statistics keys of the Windows 95 family and the
// performance data of NT 4 do not exist here, so on those system levels the
// reads fail with the texts of a system that lacks them.
//
// Main thread only.

#include "dialer/ras/velrasapi.h"
#include "platform/ansistring.h"

#include <QObject>

#include <cstdint>
#include <vector>

class TVelRasPer : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlots = 31;

    explicit TVelRasPer(QObject* Owner = nullptr);
    ~TVelRasPer() override;

    // ---- published properties
    bool DAXCtrl = false;  // carried, not used
    AnsiString Version;
    AnsiString KeyDUNConn = "ConnectSpeed";
    AnsiString KeyDUNXmit = "TotalBytesXmit";
    AnsiString KeyDUNRecv = "TotalBytesRecvd";
    AnsiString ErrInfo;  // what the last failure was; cleared by StartStats only

    // ---- public state
    int32_t LastError = 0;
    int32_t PortCount = 0;
    int32_t AdapterCount = 0;
    std::vector<AnsiString> AdapterNames;  // sorted
    ras::HRASCONN ConnHandles[kSlots] = {};
    uint32_t SubEntries[kSlots] = {};
    // Bytes sent and received. The service's counters are 32 bits wide and
    // wrap after 4 GiB; these count on across the wrap.
    uint64_t XmitBytes[kSlots] = {};
    uint64_t RecvBytes[kSlots] = {};
    int32_t ConnSpeed[kSlots] = {};
    AnsiString PortNames[kSlots];
    // Windows 95 family: raw counters and their baselines of adapters 1 to 4.
    uint32_t RawXmit[5] = {};
    uint32_t BaseXmit[5] = {};
    uint32_t RawRecv[5] = {};
    uint32_t BaseRecv[5] = {};

    bool StartStats(bool Start, bool FindAdapters);
    bool ReadStats();
    // Zeroes every slot and forgets the connections, then reads.
    void ResetStats();
    void ResetStatsEntry(int Index);
    // Slots 0 to 30; any other index reads 0 and sets nothing.
    uint64_t GetXmitBytes(int Index) const;
    uint64_t GetRecvBytes(int Index) const;
    int32_t GetConnSpeed(int Index) const;
    void SetConnHandle(int Index, ras::HRASCONN Handle);
    bool EnumDialAdapters();
    AnsiString ErrorText(int Code);

private:
    bool win32s() const;
};

// Bytes per second of a counter that went from Base to Now in ElapsedMs.
// A counter that fell (it was reset), and a time of 0, give 0; a rate beyond
// 32 bits reads as the largest 32-bit number.
uint32_t TrafficRate(uint64_t Now, uint64_t Base, uint32_t ElapsedMs);

// A byte count that goes on from Total with the service's 32-bit counter now
// reading Raw (Total's low 32 bits are the counter's last reading). A counter
// that rose adds its rise; one that fell by more than half its range wrapped
// and adds its rise across the wrap; one that fell less leaves Total as it
// is (counts never fall).
uint64_t CountOn(uint64_t Total, uint32_t Raw);
