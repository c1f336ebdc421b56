// The connection component against the real remote access service (its test
// build, whose clock the tests move): dialling through every state, each way
// a line can fail, hang-up, the connection list and the projection, and how
// the notifications of the service's thread reach the component.

#include "dialer/ras/velrascon.h"
#include "tests/dialer/raslibs.h"
#include "tests/support/testenv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <csignal>

#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <unistd.h>

using namespace raslibs;

namespace {

const char* const kBook =
    "; the line answers every step after 100 ms\n"
    "[Провайдер]\n"
    "Number=5551234\n"
    "UserName=ivanov\n"
    "StepTime=100\n"
    "HangUpTime=0\n"
    "Auth=CHAP\n"
    "ClientIP=192.0.2.77\n"
    "ServerIP=192.0.2.1\n"
    "ReplyMessage=Добро пожаловать\n"
    "Line.1111=busy\n"
    "Line.2222=noanswer\n"
    "Line.3333=nodialtone\n"
    "Line.4444=authfail\n"
    "Line.5555=drop 5\n"
    "Line.6666=refuse\n"
    "Line.7777=fail 629 4\n"
    "Line.8888=nosuchthing\n"
    "[Второй]\n"
    "Number=5550000\n"
    "DeviceType=ISDN\n"
    "Device=Second line\n"
    "StepTime=100\n"
    "HangUpTime=0\n"
    "[Медленный]\n"
    "Number=5551111\n"
    "StepTime=100\n"
    "HangUpTime=400\n"
    "[Сразу]\n"
    "Number=5552222\n"
    "StepTime=100\n"
    "EarlyNotify=1\n"
    "HangUpTime=0\n"
    "[Без списка]\n"
    "Number=5553333\n"
    "StepTime=100\n"
    "HangUpTime=0\n"
    "EnumError=610\n"
    "[Без адреса]\n"
    "Number=5554444\n"
    "StepTime=100\n"
    "HangUpTime=0\n"
    "ProjectionError=733\n";

struct Seen {
    uint16_t state;
    uint16_t error;
    AnsiString text;
    uint8_t source;
    ras::HRASCONN handle;
};

class RasCon : public ::testing::Test {
protected:
    void SetUp() override
    {
        useService();
        writePhonebook(kBook);
        con = std::make_unique<TVelRasCon>();
        watch(*con, seen);
    }

    void TearDown() override
    {
        con.reset();
        reset();
    }

    static void watch(TVelRasCon& c, std::vector<Seen>& log)
    {
        c.OnStateChanged = [&log](TVelRasCon* s) {
            log.push_back({s->ConnectState, s->ConnectError, s->StatusText, s->StateSource, s->StateHandle});
        };
    }

    // Dials an entry with a number ("" for the entry's own).
    ras::HRASCONN dial(const char* entry, const AnsiString& number = "", int expect = 0)
    {
        con->EntryName = testenv::cp(entry);
        con->PhoneNumber = number;
        ras::HRASCONN h = 0;
        EXPECT_EQ(con->Dial(h), expect);
        return h;
    }

    // Dials, and the handler frees the component once the port is open.
    void dialAndFreeOnPortOpened()
    {
        dial("Провайдер");
        con->OnStateChanged = [&](TVelRasCon* c) {
            seen.push_back({c->ConnectState, 0, "", 0, 0});
            if (c->ConnectState == 1) con.reset();
        };
        advance(10000);
        EXPECT_EQ(states(), (std::vector<uint16_t>{0, 1}));
    }

    std::vector<uint16_t> states() const
    {
        std::vector<uint16_t> out;
        for (const Seen& s : seen) out.push_back(s.state);
        return out;
    }

    std::unique_ptr<TVelRasCon> con;
    std::vector<Seen> seen;
};

const std::vector<uint16_t> kConnect = {0, 1, 2, 3, 4, 5, 8192};

TEST_F(RasCon, DialsThroughEveryStateToConnected)
{
    const ras::HRASCONN h = dial("Провайдер", "T5551234");
    ASSERT_NE(h, 0u);
    for (int i = 0; i < 7; ++i) advance(100);
    const std::vector<std::pair<uint16_t, const char*>> expected = {
        {0, "Opening Serial Port"},  {1, "Serial Port Opened"},    {2, "Connecting/Dialling"},
        {3, "Connected/Answered"},   {4, "Connected/Negotiation"}, {5, "Validating User and Password"},
        {8192, "Connected/Online"},
    };
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].state, expected[i].first);
        EXPECT_EQ(seen[i].text, expected[i].second);
        EXPECT_EQ(seen[i].error, 0);
        EXPECT_EQ(seen[i].source, 0);
        EXPECT_EQ(seen[i].handle, h);
    }
    EXPECT_EQ(con->StateSubEntry, 1u);
    EXPECT_EQ(con->ReadConnectStatus(h, 0), 0);
    EXPECT_EQ(con->ConnectState, 8192);
    EXPECT_EQ(con->StatusPhoneNumber, "T5551234");
    EXPECT_EQ(con->HangUp(h), 0);
}

TEST_F(RasCon, StatesArriveOneStepAtATime)
{
    dial("Провайдер");
    advance(0);
    EXPECT_EQ(states(), (std::vector<uint16_t>{0}));
    advance(99);
    EXPECT_EQ(states(), (std::vector<uint16_t>{0}));
    advance(1);
    EXPECT_EQ(states(), (std::vector<uint16_t>{0, 1}));
}

TEST_F(RasCon, ABurstOfNotificationsIsHandledOnceEachInOrder)
{
    const ras::HRASCONN h = dial("Провайдер");
    auto advanceOnly = reinterpret_cast<void (*)(uint32_t)>(symbol("RasTestAdvance"));
    advanceOnly(10000);  // every notification made, none taken yet
    // The notifier left the component alone on the service's thread.
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(con->ConnectState, 0);
    EXPECT_EQ(con->StateHandle, 0u);
    QCoreApplication::processEvents();
    EXPECT_EQ(states(), kConnect);
    QCoreApplication::processEvents();
    EXPECT_EQ(states(), kConnect);
    con->HangUp(h);
}

TEST_F(RasCon, ANotificationBeforeDialReturnsIsHandled)
{
    const ras::HRASCONN h = dial("Сразу");
    // The service reported state 0 before Dial returned; nothing moved its
    // clock since.
    QCoreApplication::processEvents();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].state, 0);
    EXPECT_EQ(seen[0].handle, h);
    advance(1000);
    EXPECT_EQ(states(), kConnect);
    con->HangUp(h);
}

struct FailCase {
    const char* number;
    std::vector<uint16_t> states;  // then the error
    uint16_t error;
    const char* text;
};

TEST_F(RasCon, EachFailureOfTheLineIsReportedWithItsText)
{
    const FailCase cases[] = {
        {"1111", {0, 1, 2}, 676, "Линия занята."},
        {"P2222", {0, 1, 2}, 678, "Нет ответа."},
        {"3333", {0, 1, 2}, 680, "Нет гудка."},
        {"4444", {0, 1, 2, 3, 4, 5}, 691, "Удалённый компьютер не принял имя пользователя или пароль."},
        {"7777", {0, 1, 2, 3, 4}, 629, "Подключение было закрыто удалённым компьютером."},
    };
    for (const FailCase& c : cases) {
        SCOPED_TRACE(c.number);
        seen.clear();
        const ras::HRASCONN h = dial("Провайдер", c.number);
        advance(10000);
        ASSERT_EQ(seen.size(), c.states.size() + 1);
        for (size_t i = 0; i < c.states.size(); ++i) EXPECT_EQ(seen[i].state, c.states[i]);
        const Seen& last = seen.back();
        EXPECT_EQ(last.state, c.error);
        EXPECT_EQ(last.error, c.error);
        EXPECT_EQ(last.text, testenv::cp(c.text));
        EXPECT_EQ(con->LastError, c.error);
        // The failed line keeps its handle until it is hung up.
        EXPECT_EQ(con->ReadConnectStatus(h, 0), c.error);
        EXPECT_EQ(con->ConnectError, c.error);
        EXPECT_EQ(con->HangUp(h), 0);
        EXPECT_EQ(con->ReadConnectStatus(h, 0), 6);
    }
}

TEST_F(RasCon, ARefusalStillCarriesAHandleToHangUp)
{
    const ras::HRASCONN h = dial("Провайдер", "6666", 633);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(con->LastError, 633);
    EXPECT_EQ(con->StatusText, testenv::cp("Модем занят или не настроен для исходящих звонков."));
    advance(1000);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(con->ReadConnectStatus(h, 0), 633);
    EXPECT_EQ(con->HangUp(h), 0);
    EXPECT_EQ(con->ReadConnectStatus(h, 0), 6);
    EXPECT_EQ(con->StatusText, "The handle is not valid.");
}

TEST_F(RasCon, DialRefusalsWithoutAHandle)
{
    EXPECT_EQ(dial("Нет такого", "", 623), 0u);
    EXPECT_EQ(con->LastError, 623);
    EXPECT_EQ(con->StatusText, testenv::cp("Не удаётся найти запись в телефонной книге."));
    EXPECT_EQ(dial("Провайдер", "8888", 625), 0u);
    con->SetPhoneBookPath(testenv::root() + "/missing.ini");
    EXPECT_EQ(dial("Провайдер", "", 621), 0u);
}

TEST_F(RasCon, ASilentDropIsSeenOnlyByTheStatusAndTheList)
{
    const ras::HRASCONN h = dial("Провайдер", "5555");
    advance(1000);
    ASSERT_EQ(states(), kConnect);
    EXPECT_EQ(con->RefreshConnections(), 0);
    EXPECT_EQ(con->Connections.Count(), 1);
    advance(5000);
    EXPECT_EQ(states(), kConnect);  // no word of it
    EXPECT_EQ(con->RefreshConnections(), 0);
    EXPECT_EQ(con->Connections.Count(), 0);
    EXPECT_TRUE(con->ConnChanged);
    EXPECT_EQ(con->ReadConnectStatus(h, 0), 6);
}

TEST_F(RasCon, HangUpWaitWithoutAHandleAnswersAtOnce)
{
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(con->HangUpWait(0, 0, true, 3000), 6);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(con->LastError, 6);
}

TEST_F(RasCon, HangUpWaitFollowsTheLineUntilItIsGone)
{
    const ras::HRASCONN h = dial("Медленный");
    advance(1000);
    ASSERT_EQ(states(), kConnect);
    con->ConnHandle = h;
    seen.clear();
    // The line takes 400 ms of the service's time to hang up; they pass once
    // the component has seen it hanging up.
    std::atomic<bool> sawHangingUp{false};
    con->OnStateChanged = [&](TVelRasCon* c) {
        seen.push_back({c->ConnectState, c->ConnectError, c->StatusText, c->StateSource, c->StateHandle});
        sawHangingUp = true;
    };
    auto advanceOnly = reinterpret_cast<void (*)(uint32_t)>(symbol("RasTestAdvance"));
    std::thread clock([&] {
        while (!sawHangingUp) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        advanceOnly(400);
    });
    EXPECT_EQ(con->HangUpWait(h, 0, true, 60000), 0);
    clock.join();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].state, 8193);
    EXPECT_EQ(seen[0].text, "Disconnected/Offline");
    EXPECT_EQ(seen[0].source, 2);
    EXPECT_EQ(con->ConnHandle, 0u);
    EXPECT_EQ(con->ReadConnectStatus(h, 0), 6);
}

TEST_F(RasCon, HangUpWaitGivesUpAfterItsTimeOut)
{
    const ras::HRASCONN h = dial("Медленный");
    advance(1000);
    seen.clear();
    QElapsedTimer t;
    t.start();
    // The service's clock stands still: the line never finishes hanging up.
    EXPECT_EQ(con->HangUpWait(h, 0, true, 300), 0);
    EXPECT_GE(t.elapsed(), 300);
    ASSERT_EQ(seen.size(), 1u);  // one new state, however many checks
    EXPECT_EQ(seen[0].state, 8193);
    EXPECT_EQ(con->ReadConnectStatus(h, 0), 0);
    advance(400);
    EXPECT_EQ(con->ReadConnectStatus(h, 0), 6);
}

TEST_F(RasCon, AHandlerMayFreeTheComponentWhileItWaitsForTheHangUp)
{
    const ras::HRASCONN h = dial("Медленный");
    advance(1000);
    seen.clear();
    con->OnStateChanged = [&](TVelRasCon* c) {
        seen.push_back({c->ConnectState, 0, "", 0, 0});
        con.reset();
    };
    // The service's clock stands still: the line would be followed until the
    // time-out, were the component still there.
    TVelRasCon* const c = con.get();
    EXPECT_EQ(c->HangUpWait(h, 0, true, 300), 0);
    EXPECT_EQ(states(), (std::vector<uint16_t>{8193}));
    EXPECT_EQ(con, nullptr);
}

TEST_F(RasCon, HangUpWaitWithoutEventsIsQuiet)
{
    const ras::HRASCONN h = dial("Провайдер");
    advance(1000);
    seen.clear();
    EXPECT_EQ(con->HangUpWait(h, 0, false, 3000), 0);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(con->ReadConnectStatus(h, 0), 6);
}

TEST_F(RasCon, NotificationsOfAHungUpLineAreDropped)
{
    const ras::HRASCONN h = dial("Провайдер");
    auto advanceOnly = reinterpret_cast<void (*)(uint32_t)>(symbol("RasTestAdvance"));
    advanceOnly(250);  // states 0, 1, 2 made, not yet taken
    EXPECT_EQ(con->HangUp(h), 0);
    QCoreApplication::processEvents();
    advance(10000);
    EXPECT_TRUE(seen.empty());
}

TEST_F(RasCon, ListsASecondConnectionAndNoticesItsEnd)
{
    const ras::HRASCONN first = dial("Провайдер");
    const ras::HRASCONN second = dial("Второй");
    advance(1000);
    EXPECT_EQ(con->RefreshConnections(), 0);
    EXPECT_TRUE(con->ConnChanged);
    ASSERT_EQ(con->Connections.Count(), 2);
    EXPECT_EQ(con->Connections[0].hrasconn, first);
    EXPECT_EQ(con->Connections[1].hrasconn, second);
    EXPECT_EQ(AnsiString(con->Connections[1].szEntryName), testenv::cp("Второй"));
    EXPECT_EQ(con->ConnCount, 2);
    EXPECT_EQ(con->FirstConnName, testenv::cp("Провайдер"));
    EXPECT_EQ(con->FirstConnHandle, first);
    EXPECT_EQ(con->FirstConnDeviceName, "Modem");
    EXPECT_EQ(con->FirstConnDeviceType, "modem");
    EXPECT_EQ(con->FirstConnPhoneBook, testenv::root() + "/config/kestrane/phonebook.ini");

    EXPECT_EQ(con->RefreshConnections(), 0);
    EXPECT_FALSE(con->ConnChanged);

    EXPECT_EQ(con->HangUp(second), 0);
    EXPECT_EQ(con->RefreshConnections(), 0);
    EXPECT_TRUE(con->ConnChanged);
    ASSERT_EQ(con->Connections.Count(), 1);
    EXPECT_EQ(con->Connections[0].hrasconn, first);
    con->HangUp(first);
}

TEST_F(RasCon, AFailedEnumerationIsNotAnEmptyList)
{
    const ras::HRASCONN first = dial("Провайдер");
    advance(1000);
    ASSERT_EQ(con->RefreshConnections(), 0);
    ASSERT_EQ(con->Connections.Count(), 1);
    const ras::HRASCONN failing = dial("Без списка");
    advance(1000);
    EXPECT_EQ(con->RefreshConnections(), 610);
    EXPECT_FALSE(con->ConnChanged);
    EXPECT_EQ(con->Connections.Count(), 1);
    EXPECT_EQ(con->Connections[0].hrasconn, first);
    con->HangUp(failing);
    con->HangUp(first);
}

TEST_F(RasCon, ReadsTheProjection)
{
    const ras::HRASCONN h = dial("Провайдер");
    advance(300);
    EXPECT_EQ(con->ReadProjection(h), 730);  // not up yet
    advance(1000);
    EXPECT_EQ(con->ReadProjection(h), 0);
    EXPECT_EQ(con->ClientIP, "192.0.2.77");
    EXPECT_EQ(con->ServerIP, "192.0.2.1");
    EXPECT_EQ(con->ProjectionText, "PPP CHAP ");
    EXPECT_EQ(con->ReplyMessage, testenv::cp("Добро пожаловать"));
    EXPECT_EQ(con->ProjectionError, 0);
    con->HangUp(h);
    EXPECT_EQ(con->ReadProjection(h), 6);
    EXPECT_EQ(con->ProjectionError, -1);
    EXPECT_EQ(con->ClientIP, "");
}

TEST_F(RasCon, AFailedIpProjectionIsAFailureThatKeepsTheLinkInformation)
{
    const ras::HRASCONN h = dial("Без адреса");
    advance(1000);
    EXPECT_EQ(con->ReadProjection(h), 733);
    EXPECT_EQ(con->LastError, 733);
    EXPECT_EQ(con->ClientIP, "");
    EXPECT_EQ(con->ProjectionText, "PPP PAP ");
    con->HangUp(h);
}

TEST_F(RasCon, TheInstanceCreatedLastTakesTheNotifications)
{
    std::vector<Seen> laterSeen;
    auto later = std::make_unique<TVelRasCon>();
    watch(*later, laterSeen);
    EXPECT_EQ(LastRasCon(), later.get());

    // The first instance's dial reaches the later one, which did not dial it.
    const ras::HRASCONN first = dial("Провайдер");
    advance(1000);
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(laterSeen.empty());

    later->EntryName = testenv::cp("Второй");
    ras::HRASCONN second = 0;
    ASSERT_EQ(later->Dial(second), 0);
    advance(1000);
    EXPECT_TRUE(seen.empty());
    ASSERT_EQ(laterSeen.size(), kConnect.size());
    EXPECT_EQ(laterSeen.back().handle, second);

    con->HangUp(first);
    later->HangUp(second);
    later.reset();
    EXPECT_EQ(LastRasCon(), nullptr);
}

TEST_F(RasCon, NotificationsWithNoInstanceAreDropped)
{
    dial("Провайдер");
    auto advanceOnly = reinterpret_cast<void (*)(uint32_t)>(symbol("RasTestAdvance"));
    advanceOnly(250);  // waiting to be taken
    con.reset();
    EXPECT_EQ(LastRasCon(), nullptr);
    QCoreApplication::processEvents();
    advance(10000);  // made with no instance at all
    EXPECT_TRUE(seen.empty());
}

TEST_F(RasCon, AHandlerMayFreeTheComponent)
{
    dialAndFreeOnPortOpened();
}

TEST_F(RasCon, TheServiceStopsNotifyingWhenTheNotifierSaysSo)
{
    using namespace ras;
    static std::atomic<int> calls{0};
    calls = 0;
    auto rasDial = reinterpret_cast<PRasDialA>(symbol("RasDialA"));
    auto hangUp = reinterpret_cast<PRasHangUpA>(symbol("RasHangUpA"));
    RASDIALPARAMSA p{};
    p.dwSize = sizeof p;
    std::strcpy(p.szEntryName, testenv::cp("Провайдер").c_str());
    RasDialFunc2 notifier = [](DWORD, DWORD, HRASCONN, UINT, RASCONNSTATE, DWORD, DWORD) -> DWORD {
        ++calls;
        return 0;
    };
    HRASCONN h = 0;
    ASSERT_EQ(rasDial(nullptr, nullptr, &p, 2, reinterpret_cast<const void*>(notifier), &h), 0u);
    advance(10000);
    EXPECT_EQ(calls, 1);
    hangUp(h);
}

TEST_F(RasCon, RunsTheEntrysCommandsWhenTheLineGoesUpAndDown)
{
    const std::string up = testenv::root() + "/line is up";
    const std::string down = testenv::root() + "/line is down";
    ::unlink(up.c_str());
    ::unlink(down.c_str());
    writePhonebook(std::string(kBook) + "[Команды]\nStepTime=100\nHangUpTime=0\nOnUp=/usr/bin/touch \"" + up +
                   "\"\nOnDown=/usr/bin/touch \"" + down + "\"\n");
    bool upWhenConnected = false;
    con->OnStateChanged = [&](TVelRasCon* c) {
        if (c->ConnectState == 8192) upWhenConnected = testenv::fileExists(up);
    };
    const ras::HRASCONN h = dial("Команды");
    advance(1000);
    EXPECT_TRUE(upWhenConnected);
    EXPECT_FALSE(testenv::fileExists(down));
    con->HangUp(h);
    advance(0);
    EXPECT_TRUE(testenv::fileExists(down));
}

// The service as the programs get it: its own clock, real time.
TEST_F(RasCon, TheInstalledServiceDialsInRealTime)
{
    use(folder("installed", {{"RASAPI32.DLL", testenv::binDir() + "/rasapi32.so"}}));
    ASSERT_TRUE(LoadRasApi());
    EXPECT_EQ(symbol("RasTestAdvance"), nullptr);  // no test clock in it
    writePhonebook("[Живой]\nNumber=1\nStepTime=20\nHangUpTime=50\nLine.2=drop 1\n");
    const ras::HRASCONN h = dial("Живой");
    ASSERT_TRUE(waitFor([&] { return !seen.empty() && seen.back().state == 8192; }));
    EXPECT_EQ(states(), kConnect);
    seen.clear();
    EXPECT_EQ(con->HangUpWait(h, 0, true, 10000), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].state, 8193);
    EXPECT_EQ(con->ReadConnectStatus(h, 0), 6);

    // A line that drops a second after it came up.
    seen.clear();
    const ras::HRASCONN dropping = dial("Живой", "2");
    ASSERT_TRUE(waitFor([&] { return !seen.empty() && seen.back().state == 8192; }));
    ASSERT_TRUE(waitFor([&] { return con->ReadConnectStatus(dropping, 0) == 6; }));
    use(velras::LibraryFolder());
}

// ---- the entries' programs, with the service as the programs get it

// A program for OnUp or OnDown: it leaves the mark "<name> started" in Dir,
// then waits (at most 30 s) until the test puts "<name> go" there.
std::string waitingScript(const std::string& dir, const std::string& name)
{
    return "/bin/sh -c \"touch '" + dir + "/" + name + " started'; i=0; while [ ! -e '" + dir + "/" + name +
           " go' ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done\"";
}

class RasConScripts : public RasCon {
protected:
    void SetUp() override
    {
        use(folder("installed-scripts", {{"RASAPI32.DLL", testenv::binDir() + "/rasapi32.so"}}));
        ASSERT_TRUE(LoadRasApi());
        static int run = 0;
        dir = testenv::makeDir("scripts-" + std::to_string(++run));
        con = std::make_unique<TVelRasCon>();
        watch(*con, seen);
    }
    void TearDown() override
    {
        go("up");
        go("down");
        con.reset();
        useService();
    }
    bool started(const std::string& name) const { return testenv::fileExists(dir + "/" + name + " started"); }
    void go(const std::string& name) const { testenv::writeFile(dir + "/" + name + " go", ""); }
    bool connected(ras::HRASCONN h) const
    {
        return std::any_of(seen.begin(), seen.end(), [h](const Seen& s) { return s.handle == h && s.state == 8192; });
    }
    // Two lines: "Другая", which takes OtherHangUpMs to hang up, and
    // "Медленная", whose Key (OnUp or OnDown) waits as waitingScript(Name).
    void writeLines(int otherHangUpMs, const char* key, const std::string& name) const
    {
        writePhonebook("[Другая]\nNumber=2\nStepTime=20\nHangUpTime=" + std::to_string(otherHangUpMs) +
                       "\n[Медленная]\nNumber=1\nStepTime=20\nHangUpTime=0\n" + key + "=" +
                       waitingScript(dir, name) + "\n");
    }
    // Holds the line "Line" of Book in a program of its own, which ends as
    // How says; expects it to end by itself, its line having come up.
    static void holdLine(const std::string& book, const char* how)
    {
        QProcess line;
        line.start(RAS_LINE, {QString::fromStdString(testenv::binDir() + "/rasapi32.so"),
                              QString::fromStdString(book), QStringLiteral("Line"), how});
        ASSERT_TRUE(line.waitForFinished(60000));
        EXPECT_EQ(line.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(line.exitCode(), 0);
    }

    std::string dir;
};

TEST_F(RasConScripts, ASlowOnUpHoldsNoOtherLine)
{
    writeLines(50, "OnUp", "up");
    const ras::HRASCONN other = dial("Другая");
    ASSERT_TRUE(waitFor([&] { return connected(other); }));
    const ras::HRASCONN slow = dial("Медленная");
    ASSERT_TRUE(waitFor([&] { return started("up"); }));

    // The other line goes while the slow one's program still runs.
    EXPECT_EQ(con->HangUpWait(other, 0, true, 10000), 0);
    EXPECT_EQ(con->ReadConnectStatus(other, 0), 6);
    EXPECT_FALSE(connected(slow));
    go("up");
    EXPECT_TRUE(waitFor([&] { return connected(slow); }));
    con->HangUp(slow);
}

TEST_F(RasConScripts, ALineDialledWhileAnotherLinesOnDownRunsIsFollowedAsItGoes)
{
    writeLines(0, "OnDown", "down");
    const ras::HRASCONN slow = dial("Медленная");
    ASSERT_TRUE(waitFor([&] { return connected(slow); }));
    con->HangUp(slow);
    ASSERT_TRUE(waitFor([&] { return started("down"); }));

    seen.clear();
    const ras::HRASCONN other = dial("Другая");
    EXPECT_TRUE(waitFor([&] { return connected(other); }));
    EXPECT_EQ(states(), kConnect);
    con->HangUp(other);
}

TEST_F(RasConScripts, ALineHungUpWhileItsOnUpRunsGetsItsOnDownAfterIt)
{
    const std::string order = dir + "/order";
    writePhonebook("[Медленная]\nNumber=1\nStepTime=20\nHangUpTime=0\nOnUp=/bin/sh -c \"" +
                   std::string("touch '") + dir + "/up started'; while [ ! -e '" + dir +
                   "/up go' ]; do sleep 0.05; done; echo up >> '" + order + "'\"\nOnDown=/bin/sh -c \"echo down >> '" +
                   order + "'\"\n");
    const ras::HRASCONN slow = dial("Медленная");
    ASSERT_TRUE(waitFor([&] { return started("up"); }));
    con->HangUp(slow);
    go("up");
    ASSERT_TRUE(waitFor([&] { return testenv::fileExists(order) && testenv::readFile(order) == "up\ndown\n"; }));
    EXPECT_FALSE(connected(slow));
}

// The program that dialled ends, by returning from main or after unloading
// the service: a line that was up gets its OnDown all the same.
TEST_F(RasConScripts, ALineThatWasUpGetsItsOnDownWhenTheProgramEnds)
{
    const std::string book = writePhonebookFile(
        "lines.ini", "[Line]\nNumber=1\nStepTime=20\nHangUpTime=500\nOnDown=/usr/bin/touch \"" + dir + "/" +
                         "down\"\n");
    for (const char* how : {"hangup", "stay", "hangup-unload", "stay-unload"}) {
        SCOPED_TRACE(how);
        ::unlink((dir + "/down").c_str());
        holdLine(book, how);
        EXPECT_TRUE(testenv::fileExists(dir + "/down"));
    }
}

// A program that does not end holds up the end of the service for a while
// only; it goes on by itself.
TEST_F(RasConScripts, TheEndDoesNotWaitForeverForAnOnDown)
{
    const std::string pidFile = dir + "/pid";
    const std::string book = writePhonebookFile(
        "slow-down.ini", "[Line]\nNumber=1\nStepTime=20\nHangUpTime=0\nOnDown=/bin/sh -c \"echo $$ > '" +
                             pidFile + "'; exec sleep 120\"\n");
    holdLine(book, "stay");
    ASSERT_TRUE(waitFor([&] { return testenv::fileExists(pidFile) && !testenv::readFile(pidFile).empty(); }));
    const pid_t script = std::stoi(testenv::readFile(pidFile));
    EXPECT_EQ(::kill(script, 0), 0);  // still running
    ::kill(script, SIGKILL);
}

TEST_F(RasCon, WithoutTheLibraryEveryOperationAnswers1157)
{
    use(folder("none", {}));
    TVelRasCon c;
    ras::HRASCONN h = 5;
    EXPECT_EQ(c.Dial(h), 1157);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(c.HangUp(0), 6);
    EXPECT_EQ(c.HangUp(5), 1157);
    EXPECT_EQ(c.ReadConnectStatus(0, 0), 601);
    EXPECT_EQ(c.ReadConnectStatus(5, 0), 1157);
    EXPECT_EQ(c.ReadProjection(5), 1157);
    EXPECT_EQ(c.RefreshConnections(), 1157);
    EXPECT_EQ(c.ErrorText(676), "RASAPI32.DLL Not Available");
    EXPECT_EQ(c.LastError, 1157);
}

TEST_F(RasCon, StateTextsOfEveryState)
{
    const std::pair<uint16_t, const char*> cases[] = {
        {0, "Opening Serial Port"},
        {6, "Authentication Notification"},
        {7, "Unknown State - 7"},
        {9, "Unknown State - 9"},
        {17, "Waiting for Callback"},
        {23, "Extra Channel Disconnected"},
        {24, "Unknown State - 24"},
        {600, "Unknown State - 600"},
        {601, "Неверный дескриптор порта."},
        {691, "Удалённый компьютер не принял имя пользователя или пароль."},
        {4096, "Interactive Terminal"},
        {4100, "Paused for Authentication"},
        {8192, "Connected/Online"},
        {8193, "Disconnected/Offline"},
        {9999, "System error 9999"},
    };
    for (const auto& [state, text] : cases) {
        con->ConnectState = state;
        EXPECT_EQ(con->StateText(), testenv::cp(text)) << state;
    }
}

// ---- the oldest system: type 1 notifications with an event per state

class RasConLevel0 : public RasCon {
protected:
    void SetUp() override
    {
        const auto v = windows95(10);
        use(folder("win98", {{"RASAPI32.DLL", kFull}}), &v);
        ASSERT_TRUE(LoadRasApi());
        ASSERT_EQ(SystemLevel, 0);
        reset();
        writePhonebook(kBook);
        con = std::make_unique<TVelRasCon>();
        watch(*con, seen);
    }
    void TearDown() override
    {
        RasCon::TearDown();
        use(velras::LibraryFolder());
    }

    void log(TVelRasCon::TNotifyEvent& e, const char* name)
    {
        e = [this, name](TVelRasCon* c) { events.push_back(name + std::string(" ") + std::to_string(c->ConnectState)); };
    }

    std::vector<std::string> events;
};

TEST_F(RasConLevel0, RaisesTheEventOfEachState)
{
    log(con->OnAboutToOpenPort, "AboutToOpenPort");
    log(con->OnPortOpened, "PortOpened");
    log(con->OnAboutToConnDev, "AboutToConnDev");
    log(con->OnDevConnected, "DevConnected");
    log(con->OnAllDevsConnected, "AllDevsConnected");
    log(con->OnAuthenticate, "Authenticate");
    log(con->OnConnect, "Connect");
    const ras::HRASCONN h = dial("Провайдер");
    advance(10000);
    EXPECT_EQ(states(), kConnect);
    EXPECT_EQ(events, (std::vector<std::string>{"AboutToOpenPort 0", "PortOpened 1", "AboutToConnDev 2",
                                                "DevConnected 3", "AllDevsConnected 4", "Authenticate 5",
                                                "Connect 8192"}));
    EXPECT_EQ(con->StateSubEntry, 0u);
    // The short records of the old system.
    EXPECT_EQ(con->RefreshConnections(), 0);
    ASSERT_EQ(con->Connections.Count(), 1);
    EXPECT_EQ(con->Connections[0].dwSize, 412u);
    EXPECT_EQ(con->FirstConnPhoneBook, "");
    EXPECT_EQ(con->ReadConnectStatus(h, 0), 0);
    EXPECT_EQ(con->StatusPhoneNumber, "");
    EXPECT_EQ(con->ReadProjection(h), 0);
    EXPECT_EQ(con->ProjectionText, "PPP CHAP ");
    con->HangUp(h);
}

TEST_F(RasConLevel0, AHandlerMayFreeTheComponentBeforeTheStatesEvent)
{
    log(con->OnAboutToOpenPort, "AboutToOpenPort");
    log(con->OnPortOpened, "PortOpened");
    log(con->OnAboutToConnDev, "AboutToConnDev");
    dialAndFreeOnPortOpened();
    EXPECT_EQ(events, (std::vector<std::string>{"AboutToOpenPort 0"}));
}

TEST_F(RasConLevel0, StatesWithoutATextStillRaiseTheirEvents)
{
    const auto v = windows95(10);
    use(folder("stub0", {{"RASAPI32.DLL", kStub}}), &v);
    ASSERT_TRUE(LoadRasApi());
    const ras::DWORD script[] = {7, 9, 4096, 8193};
    reinterpret_cast<void (*)(const ras::DWORD*, ras::DWORD)>(symbol("StubSetDialStates"))(script, 4);
    log(con->OnAuthRetry, "AuthRetry");
    log(con->OnAuthChangePassword, "AuthChangePassword");
    log(con->OnInteractiveStarted, "Interactive");
    std::vector<std::string> disconnects;
    con->OnDisconnect = [&](TVelRasCon*, int error, const AnsiString& text) {
        disconnects.push_back(std::to_string(error) + " " + text);
    };
    con->ConnHandle = 77;
    dial("Провайдер");
    QCoreApplication::processEvents();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].text, "Unknown State - 7");
    EXPECT_EQ(seen[1].text, "Unknown State - 9");
    EXPECT_EQ(events, (std::vector<std::string>{"AuthRetry 7", "AuthChangePassword 9", "Interactive 4096"}));
    EXPECT_EQ(disconnects, (std::vector<std::string>{"0 The operation completed successfully."}));
}

}  // namespace
