#include "dialer/dialroad.h"

#include "common/dialmsg.h"

TDialRoad::TState TDialRoad::State() const noexcept
{
    if (online_) return TState::Online;
    if (DialingHandle != 0) return TState::Dialling;
    if (redialWait_) return TState::RedialWait;
    return TState::Idle;
}

void TDialRoad::Reset()
{
    Redial.Reset();
    RedialSameNumber = WasOnline = UserHangUp = false;
    LastState = 0;
}

void TDialRoad::PostPager(uint32_t Msg)
{
    if (PagerWindow != 0) host_.Post(PagerWindow, Msg, host_.OwnWindow());
}

void TDialRoad::PostZelvo(uint32_t Msg)
{
    if (const winmsg::HWND zelvo = host_.ZelvoWindow()) host_.Post(zelvo, Msg, 0);
}

void TDialRoad::SetRedialTimer(bool On)
{
    redialWait_ = On;
    host_.RedialTimer(On);
}

void TDialRoad::AttemptNotMade() { PostPager(WM_DIAL_DISCONNECTED); }

void TDialRoad::PagerConnect(winmsg::HWND Pager)
{
    PagerWindow = Pager;
    DialClick();
}

void TDialRoad::PagerHangUp() { HangUpClick(); }

void TDialRoad::DialClick()
{
    if (DialingHandle != 0) return;  // one attempt at a time
    if (online_ && !UserHangUp) {
        // The line is up already: the pager that asked may go on at once.
        if (PagerWindow != 0) {
            PostPager(WM_DIAL_CONNECTED);
            PagerWindow = 0;
        }
        return;
    }
    const int row = host_.SelectedNumber();
    if (row < 0) {
        AttemptNotMade();
        return;
    }
    const std::vector<bool> checked = host_.CheckedNumbers();
    if (static_cast<size_t>(row) < checked.size() && checked[static_cast<size_t>(row)]) {
        Dial();
    } else {
        RedialTimerFired();
    }
}

void TDialRoad::Dial()
{
    if (host_.CheckedNumbers().empty() || host_.SelectedNumber() < 0 || !host_.EntryReady()) {
        AttemptNotMade();
        return;
    }
    SetRedialTimer(false);
    if (const winmsg::HWND zelvo = host_.ZelvoWindow()) {
        host_.Post(zelvo, WM_LINE_ACQUIRE, 0);
        host_.Pause(300);
    }
    DialingHandle = 0;
    LastState = 0;
    if (host_.StartAttempt(DialingHandle) != 0) {
        host_.AttemptRefused();
        // A handle the refusal came with is given back, and whoever waits for
        // this attempt is told it will not come.
        if (DialingHandle != 0) host_.HangUp(DialingHandle);
        DialingHandle = 0;
        AttemptNotMade();
        PostZelvo(WM_LINE_RELEASE);
        return;
    }
    host_.AttemptStarted();
}

void TDialRoad::StateChanged(uint16_t State, uint16_t Error)
{
    const TStateStep step = StateStep(State, LastState, Error, DialingHandle != 0);
    if (step == TStateStep::Repeated) return;
    LastState = State;
    host_.ShowState(State);
    if (const uint32_t report = PagerReport(State)) PostPager(report);
    switch (step) {
    case TStateStep::Error: ConnectedError(Error); return;
    case TStateStep::Disconnected: Disconnected(); return;
    case TStateStep::Connected: Connected(); return;
    default: return;
    }
}

void TDialRoad::Connected()
{
    ActiveHandle = DialingHandle;
    DialingHandle = 0;
    host_.ReadLine(ActiveHandle);
    Redial.Reset();
    WasOnline = true;
    UserHangUp = false;
    online_ = true;
    // The first tick runs in here, and may find the line gone already.
    host_.LineUp();
    if (PagerWindow != 0) {
        PostPager(WM_DIAL_CONNECTED);
        PagerWindow = 0;
    }
}

void TDialRoad::ConnectedError(uint16_t Error)
{
    if (ErrorLogged(Error)) host_.LogError();
    Disconnected();
    Redial.AttemptFailed(Error, host_.RedialCount());
    if (ErrorRedials(Error)) ReDial();
}

void TDialRoad::ReDial() { SetRedialTimer(Redial.Next(host_.RedialOption(), host_.RedialCount())); }

void TDialRoad::RedialTimerFired()
{
    SetRedialTimer(false);
    if (RedialSameNumber) {
        RedialSameNumber = false;
    } else {
        const int row = NextCheckedRow(host_.CheckedNumbers(), host_.SelectedNumber());
        if (row < 0) {
            AttemptNotMade();
            return;
        }
        host_.SelectNumber(row);
    }
    Dial();
}

void TDialRoad::LineLost()
{
    Disconnected();
    if (!UserHangUp) {
        RedialSameNumber = true;
        ReDial();
    }
    UserHangUp = false;
}

void TDialRoad::Disconnected()
{
    online_ = false;
    host_.LineDown(WasOnline);
    WasOnline = false;
    PostPager(WM_DIAL_DISCONNECTED);
    PostZelvo(WM_LINE_RELEASE);
    if (DialingHandle == 0 && ActiveHandle == 0) return;
    if (ActiveHandle == 0) ActiveHandle = DialingHandle;
    DialingHandle = 0;
    host_.HangUpWait(ActiveHandle, false);
    ActiveHandle = 0;
}

void TDialRoad::HangUpClick()
{
    // A line given up is never brought up later: a pending redial goes too.
    SetRedialTimer(false);
    Redial.Reset();
    RedialSameNumber = false;
    if (DialingHandle == 0 && ActiveHandle == 0) return;
    host_.HangUpStarted();
    UserHangUp = true;
    const bool online = online_;
    if (ActiveHandle == 0) ActiveHandle = DialingHandle;
    host_.HangUpWait(ActiveHandle, true);
    Redial.Reset();
    if (online) {
        // The line the user gave up is over now, not only at the next tick:
        // a request that comes meanwhile finds no line half gone.
        if (online_) {
            Disconnected();
            UserHangUp = false;
        }
    } else if (DialingHandle != 0) {
        // The attempt ended without a word from the service.
        Disconnected();
    }
}

void TDialRoad::Destroy()
{
    const bool redialPending = redialWait_;
    SetRedialTimer(false);
    online_ = false;
    const ras::HRASCONN h = ActiveHandle != 0 ? ActiveHandle : DialingHandle;
    const bool dialling = DialingHandle != 0;
    if (h != 0) {
        DialingHandle = ActiveHandle = 0;
        host_.HangUpWait(h, false);
        PostZelvo(WM_LINE_RELEASE);
    }
    if (dialling || redialPending) AttemptNotMade();
    PagerWindow = 0;
}
