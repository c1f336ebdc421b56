// The forms' timer on the real clock and on the virtual clock of the tests.

#include "platform/clock.h"
#include "platform/timer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

class VirtualTimers : public ::testing::Test {
protected:
    void SetUp() override { timers::setVirtual(true); }
    void TearDown() override { timers::setVirtual(false); }
};

}  // namespace

TEST_F(VirtualTimers, EachRunningTimerTicksAsOftenAsItsIntervalPasses)
{
    std::vector<std::pair<char, uint64_t>> ticks;
    TTimer a(nullptr, [&] { ticks.push_back({'a', timers::virtualNow()}); });
    TTimer b(nullptr, [&] { ticks.push_back({'b', timers::virtualNow()}); });
    const uint64_t t0 = timers::virtualNow();
    a.SetInterval(1000);
    a.SetEnabled(true);
    b.SetInterval(1500);
    b.SetEnabled(true);
    timers::advance(3000);
    const std::vector<std::pair<char, uint64_t>> expected = {
        {'a', t0 + 1000}, {'b', t0 + 1500}, {'a', t0 + 2000}, {'a', t0 + 3000}, {'b', t0 + 3000}};
    EXPECT_EQ(ticks, expected);
    EXPECT_EQ(timers::virtualNow(), t0 + 3000);
}

TEST_F(VirtualTimers, DisabledOrZeroIntervalTimersNeverTick)
{
    int ticks = 0;
    TTimer off(nullptr, [&] { ++ticks; });
    off.SetInterval(10);
    TTimer zero(nullptr, [&] { ++ticks; });
    zero.SetEnabled(true);
    EXPECT_FALSE(zero.Running());
    timers::advance(1000);
    EXPECT_EQ(ticks, 0);
}

TEST_F(VirtualTimers, ATickMayStopItselfAndStartAnotherThatCountsFromThatTick)
{
    const uint64_t t0 = timers::virtualNow();
    std::vector<uint64_t> first, second;
    TTimer b(nullptr, [&] { second.push_back(timers::virtualNow() - t0); });
    b.SetInterval(500);
    std::unique_ptr<TTimer> a;
    a = std::make_unique<TTimer>(nullptr, [&] {
        first.push_back(timers::virtualNow() - t0);
        a->SetEnabled(false);
        b.SetEnabled(true);
    });
    a->SetInterval(1000);
    a->SetEnabled(true);
    timers::advance(3000);
    EXPECT_EQ(first, std::vector<uint64_t>({1000}));
    EXPECT_EQ(second, std::vector<uint64_t>({1500, 2000, 2500, 3000}));
}

TEST(Timer, OnTheRealClockATimerTicksByItselfAndErrorsStayInside)
{
    int ticks = 0;
    TTimer t(nullptr, [&] {
        ++ticks;
        throw std::runtime_error("handler failed");
    });
    t.SetInterval(10);
    t.SetEnabled(true);
    QElapsedTimer clock;
    clock.start();
    while (ticks < 2 && clock.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    EXPECT_GE(ticks, 2);
    t.SetEnabled(false);
}

TEST_F(VirtualTimers, TheTickCountFollowsTheVirtualClock)
{
    const uint32_t before = sysclock::tickCount();
    timers::advance(1234);
    EXPECT_EQ(sysclock::tickCount() - before, 1234u);
}
