// Traffic statistics: the counters of a connection come from a real network
// interface (loopback here), summed in slot 0.

#include "dialer/ras/velrascon.h"
#include "dialer/ras/velrasper.h"
#include "tests/dialer/raslibs.h"
#include "tests/support/testenv.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace raslibs;

namespace {

const char* const kBook =
    "[Петля]\nNumber=1\nStepTime=10\nHangUpTime=0\nInterface=lo\nSpeed=115200\n"
    "[Вторая петля]\nNumber=2\nStepTime=10\nHangUpTime=0\nInterface=lo\nSpeed=33600\n"
    "[Без сети]\nNumber=3\nStepTime=10\nHangUpTime=0\n";

// Sends Bytes over a TCP connection on the loopback interface and reads them
// on the other side.
void sendOverLoopback(size_t bytes)
{
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(server, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    ASSERT_EQ(::listen(server, 1), 0);
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const int peer = ::accept(server, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    std::thread reader([peer, bytes] {
        std::vector<char> buf(65536);
        size_t got = 0;
        while (got < bytes) {
            const ssize_t n = ::read(peer, buf.data(), buf.size());
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
    });
    const std::vector<char> data(bytes, 'x');
    size_t sent = 0;
    while (sent < bytes) {
        const ssize_t n = ::write(client, data.data() + sent, bytes - sent);
        ASSERT_GT(n, 0);
        sent += static_cast<size_t>(n);
    }
    reader.join();
    ::close(client);
    ::close(peer);
    ::close(server);
}

class RasPer : public ::testing::Test {
protected:
    void SetUp() override
    {
        useService();
        writePhonebook(kBook);
        con = std::make_unique<TVelRasCon>();
        per = std::make_unique<TVelRasPer>();
    }
    void TearDown() override
    {
        per.reset();
        con.reset();
        reset();
    }
    ras::HRASCONN connect(const char* entry)
    {
        con->EntryName = testenv::cp(entry);
        ras::HRASCONN h = 0;
        EXPECT_EQ(con->Dial(h), 0);
        advance(1000);
        return h;
    }

    std::unique_ptr<TVelRasCon> con;
    std::unique_ptr<TVelRasPer> per;
};

TEST_F(RasPer, CountsTheBytesOfTheEntrysInterface)
{
    EXPECT_TRUE(per->StartStats(true, true));
    EXPECT_EQ(per->ErrInfo, "");
    const ras::HRASCONN h = connect("Петля");
    per->ResetStats();
    per->SetConnHandle(1, h);
    ASSERT_TRUE(per->ReadStats());
    const uint64_t xmit0 = per->GetXmitBytes(0);
    const uint64_t recv0 = per->GetRecvBytes(0);

    const size_t bytes = 256 * 1024;
    sendOverLoopback(bytes);
    ASSERT_TRUE(per->ReadStats());
    // The loopback interface carries each byte out and in; other programs
    // may add to it, never take away.
    EXPECT_GE(per->GetXmitBytes(0) - xmit0, bytes);
    EXPECT_GE(per->GetRecvBytes(0) - recv0, bytes);
    EXPECT_EQ(per->GetXmitBytes(0), per->GetXmitBytes(1));
    EXPECT_EQ(per->GetConnSpeed(0), 115200);
    EXPECT_EQ(per->PortNames[0], "all");
    EXPECT_EQ(per->PortNames[1], "x1");
    EXPECT_EQ(per->PortCount, 1);
    EXPECT_EQ(per->LastError, 0);

    // A reset counts from nothing again.
    per->ResetStats();
    per->SetConnHandle(1, h);
    ASSERT_TRUE(per->ReadStats());
    EXPECT_LT(per->GetXmitBytes(0), bytes);
    con->HangUp(h);
}

TEST_F(RasPer, AConnectionWithoutAnInterfaceCountsNothing)
{
    const ras::HRASCONN h = connect("Без сети");
    per->ResetStats();
    per->SetConnHandle(1, h);
    sendOverLoopback(64 * 1024);
    ASSERT_TRUE(per->ReadStats());
    EXPECT_EQ(per->GetXmitBytes(0), 0u);
    EXPECT_EQ(per->GetRecvBytes(0), 0u);
    EXPECT_EQ(per->GetConnSpeed(0), 33600);
    con->HangUp(h);
}

TEST_F(RasPer, WithoutAConnectionEverySlotReadsZero)
{
    ASSERT_TRUE(per->ReadStats());
    for (int i = 0; i < TVelRasPer::kSlots; ++i) {
        EXPECT_EQ(per->GetXmitBytes(i), 0u);
        EXPECT_EQ(per->GetRecvBytes(i), 0u);
        EXPECT_EQ(per->GetConnSpeed(i), 0);
    }
}

TEST_F(RasPer, IndexesOutsideTheSlotsReadZeroAndSetNothing)
{
    for (int i : {-1, 31, 1000, INT32_MIN}) {
        per->SetConnHandle(i, 5);
        per->ResetStatsEntry(i);
        EXPECT_EQ(per->GetXmitBytes(i), 0u);
        EXPECT_EQ(per->GetRecvBytes(i), 0u);
        EXPECT_EQ(per->GetConnSpeed(i), 0);
    }
    for (ras::HRASCONN h : per->ConnHandles) EXPECT_EQ(h, 0u);
}

TEST_F(RasPer, ASlotThatCannotBeReadStillCountsInTheTotal)
{
    const ras::HRASCONN first = connect("Петля");
    const ras::HRASCONN second = connect("Вторая петля");
    per->ResetStats();
    per->SetConnHandle(1, first);
    per->SetConnHandle(2, second);
    sendOverLoopback(64 * 1024);
    ASSERT_TRUE(per->ReadStats());
    const uint64_t total = per->GetXmitBytes(0);
    const uint64_t ofSecond = per->GetXmitBytes(2);
    EXPECT_GE(ofSecond, 64u * 1024);
    EXPECT_EQ(per->GetConnSpeed(0), 115200 + 33600);

    con->HangUp(second);  // its statistics can no longer be read
    ASSERT_TRUE(per->ReadStats());
    EXPECT_EQ(per->LastError, 6);
    EXPECT_EQ(per->ErrInfo, "The handle is not valid.");
    EXPECT_EQ(per->GetXmitBytes(2), ofSecond);
    EXPECT_GE(per->GetXmitBytes(0), total);
    EXPECT_EQ(per->GetConnSpeed(0), 115200 + 33600);
    con->HangUp(first);
}

TEST_F(RasPer, TheOlderSystemsHaveNoSourceHere)
{
    struct Case {
        sysversion::OSVERSIONINFOA version;
        const char* start;
        const char* read;
    };
    const Case cases[] = {
        {windows95(10), "Unable to Locate Win9x Dial-Up Adapter", "Unable to Open Registry Key - PerfStats\\StatData"},
        {windowsNT(4), "No Performance Data Returned for Object - 906",
         "No Performance Data Returned for Object - 906"},
    };
    for (const Case& c : cases) {
        use(folder("old", {{"RASAPI32.DLL", kFull}}), &c.version);
        ASSERT_TRUE(LoadRasApi());
        TVelRasPer p;
        EXPECT_FALSE(p.StartStats(true, true));
        EXPECT_EQ(p.ErrInfo, c.start);
        EXPECT_FALSE(p.ReadStats());
        EXPECT_EQ(p.ErrInfo, c.read);
        EXPECT_EQ(p.GetXmitBytes(0), 0u);
        EXPECT_FALSE(p.EnumDialAdapters());
        EXPECT_EQ(p.AdapterCount, 0);
    }
    use(velras::LibraryFolder());
}

TEST(TrafficRate, NeverRunsBackwardsNorDividesByNothing)
{
    struct Case {
        uint64_t now, base;
        uint32_t ms, rate;
    };
    const Case cases[] = {
        {2000, 1000, 1000, 1000},
        {1500, 1000, 500, 1000},
        {1000, 1000, 1000, 0},
        {900, 1000, 1000, 0},              // the counter fell
        {5000, 1000, 0, 0},                // no time passed
        {10000000, 0, 1000, 10000000},     // no 32-bit overflow on the way
        {4000000000u, 0, 1, 4294967295u},  // capped
        {0x100000000 + 69744, 0xFFFFFF00, 1000, 70000},  // across 4 GiB
        {0x500000000, 0x400000000, 2000, 2147483648u},
        {UINT64_MAX, 0, 1000, 4294967295u},
        {UINT64_MAX, 0, 1, 4294967295u},
    };
    for (const Case& c : cases) EXPECT_EQ(TrafficRate(c.now, c.base, c.ms), c.rate) << c.now << " " << c.base;
}

TEST(CountOn, ACounterThatWrappedCountsOnACounterThatFellALittleStays)
{
    struct Case {
        uint64_t total;
        uint32_t raw;
        uint64_t counted;
    };
    const Case cases[] = {
        {0, 0, 0},
        {1000, 5000, 5000},                                // rose
        {5000, 5000, 5000},                                // still
        {5000, 4000, 5000},                                // fell a little: never falls
        {0xFFFFFF00, 0x100, 0x100000100},                  // wrapped after 4 GiB
        {0x100000100, 0x200, 0x100000200},                 // and goes on from there
        {0x1FFFFFFFF, 0, 0x200000000},                     // wrapped exactly
        {0x280000000, 0x00000010, 0x280000000},            // less than half the range back: no wrap
        {0x280000001, 0x00000000, 0x300000000},            // just over half: a wrap
        {0x80000000, 0x7FFFFFFF, 0x80000000},              // fell by one
    };
    for (const Case& c : cases) EXPECT_EQ(CountOn(c.total, c.raw), c.counted) << std::hex << c.total << " " << c.raw;
}

// The service's counters are 32 bits wide; past 4 GiB they start again at 0.
TEST_F(RasPer, CountsOnPastFourGibibytes)
{
    use(folder("wrap", {{"RASAPI32.DLL", kStub}}));
    ASSERT_TRUE(LoadRasApi());
    const ras::DWORD readings[] = {
        0xFFFFFF00u, 0xFFFF0000u,  // sent, received
        0x00000100u, 0x00010000u,  // both wrapped
        0x00000080u, 0x00020000u,  // sent fell a little, received rose
    };
    reinterpret_cast<void (*)(const ras::DWORD*, ras::DWORD)>(symbol("StubSetStatistics"))(readings, 3);
    per->ResetStats();
    per->SetConnHandle(1, 77);
    ASSERT_TRUE(per->ReadStats());
    EXPECT_EQ(per->GetXmitBytes(0), 0xFFFFFF00u);
    EXPECT_EQ(per->GetRecvBytes(0), 0xFFFF0000u);
    ASSERT_TRUE(per->ReadStats());
    EXPECT_EQ(per->GetXmitBytes(0), 0x100000100u);
    EXPECT_EQ(per->GetRecvBytes(0), 0x100010000u);
    EXPECT_EQ(per->GetRecvBytes(1), 0x100010000u);
    ASSERT_TRUE(per->ReadStats());
    EXPECT_EQ(per->GetXmitBytes(0), 0x100000100u);
    EXPECT_EQ(per->GetRecvBytes(0), 0x100020000u);
}

}  // namespace
