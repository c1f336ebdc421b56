// The dialer's connection road without a window or a service: sequences of
// events (clicks, the service's states and errors, the redial timer, a lost
// line, the pager's requests) and what the road then did, in order: the
// numbers dialled, the hang-ups, the line shown up and down, and what the
// pager and the other product were posted.

#include "common/dialmsg.h"
#include "dialer/dialroad.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr winmsg::HWND kOwn = 500;
constexpr winmsg::HWND kPager = 77;
constexpr winmsg::HWND kZelvo = 90;

std::string messageName(uint32_t Msg)
{
    switch (Msg) {
    case WM_DIAL_CONNECTED: return "CONNECTED";
    case WM_DIAL_DISCONNECTED: return "DISCONNECTED";
    case WM_DIAL_DIALING: return "DIALING";
    case WM_DIAL_AUTHENTICATING: return "AUTHENTICATING";
    case WM_LINE_ACQUIRE: return "ACQUIRE";
    case WM_LINE_RELEASE: return "RELEASE";
    default: return std::to_string(Msg);
    }
}

// The window and the service as the road sees them; what the road does is
// written to Trace.
class FakeHost : public TDialRoadHost {
public:
    std::vector<bool> Checked{true};
    int Selected = 0;
    bool Entry = true;
    bool Option = true;
    int Count = 10;
    winmsg::HWND Zelvo = 0;
    std::deque<int> Refusals;  // results of the next attempts; 0 when empty
    bool RefusalHandle = false;  // a refusal comes with a handle
    // Run inside a hang-up that raises the state events (the service's
    // notifications during the wait).
    std::function<void()> DuringHangUp;
    std::vector<std::string> Trace;
    ras::HRASCONN NextHandle = 1;

    std::vector<bool> CheckedNumbers() const override { return Checked; }
    int SelectedNumber() const override { return Selected; }
    void SelectNumber(int Row) override { Selected = Row; }
    bool EntryReady() const override { return Entry; }
    void Pause(int Ms) override { Trace.push_back("pause " + std::to_string(Ms)); }
    int StartAttempt(ras::HRASCONN& Handle) override
    {
        Trace.push_back("dial " + std::to_string(Selected));
        const int result = Refusals.empty() ? 0 : Refusals.front();
        if (!Refusals.empty()) Refusals.pop_front();
        if (result == 0 || RefusalHandle) Handle = NextHandle++;
        return result;
    }
    void AttemptStarted() override {}
    void AttemptRefused() override { Trace.push_back("refused"); }
    void HangUp(ras::HRASCONN Handle) override { Trace.push_back("give back " + std::to_string(Handle)); }
    void HangUpWait(ras::HRASCONN Handle, bool StateEvents) override
    {
        Trace.push_back("hang up " + std::to_string(Handle));
        if (StateEvents && DuringHangUp) DuringHangUp();
    }
    void ShowState(uint16_t) override {}
    void LogError() override { Trace.push_back("log error"); }
    void ReadLine(ras::HRASCONN) override {}
    void LineUp() override { Trace.push_back("line up"); }
    void LineDown(bool WasOnline) override { Trace.push_back(WasOnline ? "line down, was on line" : "line down"); }
    void HangUpStarted() override {}
    void RedialTimer(bool) override {}
    bool RedialOption() const override { return Option; }
    int RedialCount() const override { return Count; }
    winmsg::HWND OwnWindow() const override { return kOwn; }
    winmsg::HWND ZelvoWindow() const override { return Zelvo; }
    void Post(winmsg::HWND To, uint32_t Msg, uint32_t WParam) override
    {
        const std::string to = To == kPager ? "pager" : To == kZelvo ? "zelvo" : std::to_string(To);
        // The pager is told who speaks; the other product is not.
        const bool sender = To == kPager ? WParam == kOwn : WParam == 0;
        Trace.push_back("to " + to + " " + messageName(Msg) + (sender ? "" : " (bad sender)"));
    }
};

enum class E { Click, HangUp, State, Timer, Lost, PagerConnect, PagerHangUp, Destroy };
struct Ev {
    E kind;
    uint16_t state = 0, error = 0;
};
Ev click() { return {E::Click}; }
Ev hangUp() { return {E::HangUp}; }
Ev state(uint16_t S) { return {E::State, S, 0}; }
// The component puts an error's number in the state too.
Ev error(uint16_t Err) { return {E::State, Err, Err}; }
Ev timer() { return {E::Timer}; }
Ev lost() { return {E::Lost}; }
Ev pagerConnect() { return {E::PagerConnect}; }
Ev pagerHangUp() { return {E::PagerHangUp}; }
Ev destroy() { return {E::Destroy}; }

void run(TDialRoad& Road, const std::vector<Ev>& Events)
{
    for (const Ev& ev : Events) {
        switch (ev.kind) {
        case E::Click: Road.DialClick(); break;
        case E::HangUp: Road.HangUpClick(); break;
        case E::State: Road.StateChanged(ev.state, ev.error); break;
        case E::Timer: Road.RedialTimerFired(); break;
        case E::Lost: Road.LineLost(); break;
        case E::PagerConnect: Road.PagerConnect(kPager); break;
        case E::PagerHangUp: Road.PagerHangUp(); break;
        case E::Destroy: Road.Destroy(); break;
        }
    }
}

using S = TDialRoad::TState;

struct Case {
    const char* name;
    std::vector<bool> checked;
    int selected;
    std::vector<Ev> events;
    std::vector<std::string> trace;
    S end;
    int attempts = 0;
    bool option = true;  // the redial option
};

// Each case from a fresh road, without the other product.
void expectCases(const std::vector<Case>& Cases)
{
    for (const Case& c : Cases) {
        FakeHost host;
        host.Checked = c.checked;
        host.Selected = c.selected;
        host.Option = c.option;
        TDialRoad road(host);
        run(road, c.events);
        EXPECT_EQ(host.Trace, c.trace) << c.name;
        EXPECT_EQ(road.State(), c.end) << c.name;
        EXPECT_EQ(road.Redial.Attempts, c.attempts) << c.name;
    }
}

}  // namespace

TEST(DialRoad, EventSequencesAndWhatTheyDo)
{
    const std::vector<Case> cases = {
        {"a busy number waits, then the next checked number is dialled",
         {true, false, true}, 0,
         {click(), state(2), error(676)},
         {"dial 0", "log error", "line down", "hang up 1"},
         S::RedialWait, 1},
        {"the redial goes on to the next checked number, round the list",
         {true, false, true}, 0,
         {click(), error(676), timer(), error(676), timer()},
         {"dial 0", "log error", "line down", "hang up 1", "dial 2", "log error", "line down", "hang up 2", "dial 0"},
         S::Dialling, 2},
        {"an unchecked selected number dials the next checked one",
         {false, true}, 0,
         {click()},
         {"dial 1"},
         S::Dialling},
        {"a line lost on line is dialled again with the same number",
         {true, true}, 0,
         {click(), state(8192), lost(), timer()},
         {"dial 0", "line up", "line down, was on line", "hang up 1", "dial 0"},
         S::Dialling, 1},
        {"the service's end of the attempt ends it without a redial",
         {true}, 0,
         {click(), state(2), state(8193)},
         {"dial 0", "line down", "hang up 1"},
         S::Idle},
        {"a user hang-up while dialling ends the attempt and makes no redial",
         {true}, 0,
         {click(), state(2), hangUp()},
         {"dial 0", "hang up 1", "line down", "hang up 1"},
         S::Idle},
        {"a user hang-up on line ends the line at once and makes no redial",
         {true}, 0,
         {click(), state(8192), hangUp()},
         {"dial 0", "line up", "hang up 1", "line down, was on line", "hang up 1"},
         S::Idle},
        {"a hang-up with nothing to hang up cancels a pending redial",
         {true}, 0,
         {click(), error(676), hangUp()},
         {"dial 0", "log error", "line down", "hang up 1"},
         S::Idle},
        {"the same state twice, or the same error twice, is handled once",
         {true}, 0,
         {click(), state(2), state(2), error(676), error(676)},
         {"dial 0", "log error", "line down", "hang up 1"},
         S::RedialWait, 1},
        {"each attempt handles its first error, though the one before had the same",
         {true}, 0,
         {click(), error(676), timer(), error(676)},
         {"dial 0", "log error", "line down", "hang up 1", "dial 0", "log error", "line down", "hang up 2"},
         S::RedialWait, 2},
        {"with the option off, a new click's first error is handled though the last one had the same",
         {true}, 0,
         {click(), error(676), click(), error(676)},
         {"dial 0", "log error", "line down", "hang up 1", "dial 0", "log error", "line down", "hang up 2"},
         S::Idle, 0, false},
        {"no dial tone gives one more attempt, then the series starts afresh",
         {true}, 0,
         {click(), error(680), timer(), error(680)},
         {"dial 0", "log error", "line down", "hang up 1", "dial 0", "log error", "line down", "hang up 2"},
         S::Idle, 0},
        {"a wrong name or password is logged and never redialled",
         {true}, 0,
         {click(), error(691)},
         {"dial 0", "log error", "line down", "hang up 1"},
         S::Idle},
        {"a pending attempt's error is neither logged nor redialled",
         {true}, 0,
         {click(), error(600)},
         {"dial 0", "line down", "hang up 1"},
         S::Idle},
        {"with no number checked the redial dials nothing",
         {false, false}, 1,
         {click()},
         {},
         S::Idle},
        {"without a selected number a click does nothing",
         {true}, -1,
         {click()},
         {},
         S::Idle},
        {"one attempt at a time: a second click while dialling does nothing",
         {true}, 0,
         {click(), click()},
         {"dial 0"},
         S::Dialling},
        {"a click on line does not dial",
         {true}, 0,
         {click(), state(8192), click()},
         {"dial 0", "line up"},
         S::Online},
        {"destroyed while dialling, the attempt is hung up",
         {true}, 0,
         {click(), state(2), destroy()},
         {"dial 0", "hang up 1"},
         S::Idle},
        {"destroyed on line, the line is hung up",
         {true}, 0,
         {click(), state(8192), destroy()},
         {"dial 0", "line up", "hang up 1"},
         S::Idle},
    };
    expectCases(cases);
}

// The pager's requests, and what it is posted back, in order.
TEST(DialRoad, ThePagerIsToldOfItsAttemptInOrder)
{
    const std::vector<Case> cases = {
        {"the line the pager asks for comes up: dialling, the name check, connected",
         {true}, 0,
         {pagerConnect(), state(2), state(3), state(5), state(8192)},
         {"dial 0", "to pager DIALING", "to pager AUTHENTICATING", "line up", "to pager CONNECTED"},
         S::Online},
        {"after connected the pager is not told of that line's end",
         {true}, 0,
         {pagerConnect(), state(8192), lost()},
         {"dial 0", "line up", "to pager CONNECTED", "line down, was on line", "hang up 1"},
         S::RedialWait, 1},
        {"a failure before the connection is reported; the redial reports again",
         {true}, 0,
         {pagerConnect(), state(2), error(676), timer(), error(676)},
         {"dial 0", "to pager DIALING", "log error", "line down", "to pager DISCONNECTED", "hang up 1",
          "dial 0", "log error", "line down", "to pager DISCONNECTED", "hang up 2"},
         S::RedialWait, 2},
        {"the pager's hang-up during the redial wait cancels the redial",
         {true}, 0,
         {pagerConnect(), error(676), pagerHangUp()},
         {"dial 0", "log error", "line down", "to pager DISCONNECTED", "hang up 1"},
         S::Idle},
        {"the pager's hang-up while dialling ends the attempt and says so",
         {true}, 0,
         {pagerConnect(), state(2), pagerHangUp()},
         {"dial 0", "to pager DIALING", "hang up 1", "line down", "to pager DISCONNECTED", "hang up 1"},
         S::Idle},
        {"on line already, the pager is answered connected at once",
         {true}, 0,
         {click(), state(8192), pagerConnect()},
         {"dial 0", "line up", "to pager CONNECTED"},
         S::Online},
        {"a request while dialling only says where to report",
         {true}, 0,
         {click(), state(2), pagerConnect(), state(5), state(8192)},
         {"dial 0", "to pager AUTHENTICATING", "line up", "to pager CONNECTED"},
         S::Online},
        {"without a selected number the pager is told at once",
         {true}, -1,
         {pagerConnect()},
         {"to pager DISCONNECTED"},
         S::Idle},
        {"with no checked number the pager is told at once",
         {false}, 0,
         {pagerConnect()},
         {"to pager DISCONNECTED"},
         S::Idle},
        {"destroyed during the redial wait, the waiting pager is told none will come",
         {true}, 0,
         {pagerConnect(), error(676), destroy()},
         {"dial 0", "log error", "line down", "to pager DISCONNECTED", "hang up 1", "to pager DISCONNECTED"},
         S::Idle, 1},
        {"destroyed while dialling, the waiting pager is told",
         {true}, 0,
         {pagerConnect(), destroy()},
         {"dial 0", "hang up 1", "to pager DISCONNECTED"},
         S::Idle},
    };
    expectCases(cases);
}

TEST(DialRoad, TheAttemptLimitEndsASeriesAfterNineRedials)
{
    FakeHost host;
    TDialRoad road(host);
    road.DialClick();
    int dials = 1;
    while (road.State() != S::Idle && dials < 20) {
        road.StateChanged(676, 676);
        if (road.State() == S::RedialWait) {
            road.RedialTimerFired();
            ++dials;
        }
    }
    EXPECT_EQ(dials, 10);
    EXPECT_EQ(road.Redial.Attempts, 0);

    // With the option off, a failed attempt stays the only one.
    FakeHost off;
    off.Option = false;
    TDialRoad single(off);
    single.DialClick();
    single.StateChanged(676, 676);
    EXPECT_EQ(single.State(), S::Idle);
    EXPECT_EQ(single.Redial.Attempts, 0);
    // A lost line is reported and left.
    single.DialClick();
    single.StateChanged(8192, 0);
    single.LineLost();
    EXPECT_EQ(single.State(), S::Idle);
}

TEST(DialRoad, WasOnlineHoldsFromTheConnectionToItsEnd)
{
    FakeHost host;
    host.Checked = {true, true};
    TDialRoad road(host);
    road.DialClick();
    road.StateChanged(8192, 0);
    EXPECT_TRUE(road.WasOnline);
    EXPECT_EQ(road.ActiveHandle, 1u);
    EXPECT_EQ(road.DialingHandle, 0u);
    road.LineLost();
    EXPECT_FALSE(road.WasOnline);
    EXPECT_TRUE(road.RedialSameNumber);
    EXPECT_EQ(road.ActiveHandle, 0u);
    road.RedialTimerFired();
    EXPECT_FALSE(road.RedialSameNumber);
    road.StateChanged(676, 676);  // the redial fails: no line was up this time
    EXPECT_EQ(host.Trace.back(), "hang up 2");
    EXPECT_EQ(host.Trace[host.Trace.size() - 2], "line down");
    // A failed attempt moves on to the next checked number.
    road.RedialTimerFired();
    EXPECT_EQ(host.Selected, 1);
    EXPECT_EQ(host.Trace.back(), "dial 1");
}

// A hang-up's own state events come back into the road during the wait.
TEST(DialRoad, TheStatesOfAUserHangUpEndTheAttemptOnce)
{
    FakeHost host;
    TDialRoad road(host);
    host.DuringHangUp = [&] { road.StateChanged(8193, 0); };
    road.PagerConnect(kPager);
    road.StateChanged(2, 0);
    road.HangUpClick();
    const std::vector<std::string> want = {"dial 0", "to pager DIALING", "hang up 1", "line down",
                                           "to pager DISCONNECTED", "hang up 1"};
    EXPECT_EQ(host.Trace, want);
    EXPECT_EQ(road.State(), S::Idle);
}

TEST(DialRoad, TheOtherProductGivesTheLineUpForEachAttemptAndGetsItBack)
{
    struct Row {
        const char* name;
        std::vector<bool> checked;
        std::deque<int> refusals;
        bool refusalHandle;
        std::vector<Ev> events;
        std::vector<std::string> trace;
    };
    const Row rows[] = {
        {"an attempt that fails", {true}, {}, false, {pagerConnect(), error(691)},
         {"to zelvo ACQUIRE", "pause 300", "dial 0", "log error", "line down", "to pager DISCONNECTED",
          "to zelvo RELEASE", "hang up 1"}},
        {"a line that comes up and goes", {true}, {}, false, {click(), state(8192), hangUp()},
         {"to zelvo ACQUIRE", "pause 300", "dial 0", "line up", "hang up 1", "line down, was on line",
          "to zelvo RELEASE", "hang up 1"}},
        {"a dial the service refuses at once", {true}, {633}, false, {pagerConnect()},
         {"to zelvo ACQUIRE", "pause 300", "dial 0", "refused", "to pager DISCONNECTED", "to zelvo RELEASE"}},
        {"a refusal that came with a handle gives it back", {true}, {633}, true, {click()},
         {"to zelvo ACQUIRE", "pause 300", "dial 0", "refused", "give back 1", "to zelvo RELEASE"}},
        {"destroyed on line", {true}, {}, false, {click(), state(8192), destroy()},
         {"to zelvo ACQUIRE", "pause 300", "dial 0", "line up", "hang up 1", "to zelvo RELEASE"}},
        {"no checked number: the line is not asked for", {false, false}, {}, false, {pagerConnect()},
         {"to pager DISCONNECTED"}},
    };
    for (const Row& r : rows) {
        FakeHost host;
        host.Zelvo = kZelvo;
        host.Checked = r.checked;
        host.Refusals = r.refusals;
        host.RefusalHandle = r.refusalHandle;
        TDialRoad road(host);
        run(road, r.events);
        EXPECT_EQ(host.Trace, r.trace) << r.name;
        EXPECT_EQ(road.DialingHandle, 0u) << r.name;
        EXPECT_EQ(road.State(), S::Idle) << r.name;
    }
}

TEST(DialRoad, NoEntryNoAttempt)
{
    FakeHost host;
    host.Entry = false;
    TDialRoad road(host);
    road.PagerConnect(kPager);
    EXPECT_EQ(host.Trace, std::vector<std::string>{"to pager DISCONNECTED"});
    EXPECT_EQ(road.State(), S::Idle);
}
