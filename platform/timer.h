#pragma once
// The forms' timer: ticks every Interval ms while Enabled, on the main thread,
// each tick inside the exception boundary. An Interval of 0 never ticks.
// Enabling a timer, or changing the interval of an enabled one, starts the
// count afresh.
//
// Tests may put every timer on a virtual clock (timers::setVirtual): no timer
// then ticks by itself, and timers::advance moves the time on, ticking each
// running timer as often as its interval passes, in time order. The same
// clock then stands behind sysclock::tickCount.

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>

class TTimer : public QObject {
    Q_OBJECT
public:
    TTimer(QObject* Owner, std::function<void()> OnTimer);
    ~TTimer() override;

    bool Enabled() const noexcept { return enabled_; }
    void SetEnabled(bool Value);
    int Interval() const noexcept { return interval_; }
    void SetInterval(int Ms);
    // Enabled with a non-zero interval: it will tick.
    bool Running() const noexcept { return enabled_ && interval_ > 0; }
    // Free for the owner.
    int Tag = 0;

private:
    friend struct TimerClock;
    void update();
    void tick();

    QTimer timer_;
    std::function<void()> onTimer_;
    bool enabled_ = false;
    int interval_ = 0;
    uint64_t due_ = 0;  // virtual clock: when the next tick falls due
};

namespace timers {

// Tests: every timer from now on runs on the virtual clock (On) or on the
// real one (!On). Switch before any timer runs.
void setVirtual(bool On);
// The virtual clock's time, ms.
uint64_t virtualNow();
// Moves the virtual clock on by Ms, ticking the timers that fall due on the
// way. A tick may start, stop or change timers; what it starts counts from
// the time of that tick.
void advance(uint64_t Ms);

}  // namespace timers
