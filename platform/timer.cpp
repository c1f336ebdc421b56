#include "platform/timer.h"

#include "platform/app.h"
#include "platform/clock.h"

#include <algorithm>
#include <vector>

// The virtual clock and the timers that live on it.
struct TimerClock {
    static TimerClock& get()
    {
        static TimerClock c;
        return c;
    }
    bool on = false;
    uint64_t now = 0;
    std::vector<TTimer*> timers;

    void setVirtual(bool On)
    {
        on = On;
        if (On) {
            sysclock::setTickSource([] { return static_cast<uint32_t>(TimerClock::get().now); });
        } else {
            sysclock::setTickSource({});
        }
        for (TTimer* t : timers) t->update();
    }

    void advance(uint64_t Ms)
    {
        const uint64_t until = now + Ms;
        while (TTimer* t = next(until)) {
            now = t->due_;
            t->due_ += static_cast<uint64_t>(t->interval_);
            t->tick();
        }
        now = until;
    }

    // The running timer that falls due first, not after Until.
    TTimer* next(uint64_t Until) const
    {
        TTimer* best = nullptr;
        for (TTimer* t : timers) {
            if (t->Running() && t->due_ <= Until && (!best || t->due_ < best->due_)) best = t;
        }
        return best;
    }
};

TTimer::TTimer(QObject* Owner, std::function<void()> OnTimer) : QObject(Owner), onTimer_(std::move(OnTimer))
{
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
    TimerClock::get().timers.push_back(this);
}

TTimer::~TTimer()
{
    auto& list = TimerClock::get().timers;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void TTimer::SetEnabled(bool Value)
{
    if (enabled_ == Value) return;
    enabled_ = Value;
    update();
}

void TTimer::SetInterval(int Ms)
{
    Ms = std::max(0, Ms);
    if (interval_ == Ms) return;
    interval_ = Ms;
    update();
}

void TTimer::update()
{
    const TimerClock& clock = TimerClock::get();
    due_ = clock.now + static_cast<uint64_t>(interval_);
    if (Running() && !clock.on)
        timer_.start(interval_);
    else
        timer_.stop();
}

void TTimer::tick()
{
    app::guard([this] { onTimer_(); });
}

namespace timers {

void setVirtual(bool On) { TimerClock::get().setVirtual(On); }


uint64_t virtualNow() { return TimerClock::get().now; }

void advance(uint64_t Ms) { TimerClock::get().advance(Ms); }

}  // namespace timers
