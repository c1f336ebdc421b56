#pragma once
// TDialRoad: the road of the dialer's connection, apart from its window. It
// keeps the handles of the attempt and of the line, the last state handled,
// the attempts of a redial series, whether the next attempt takes the same
// number, whether the user gave the line up, whether a line was up, and the
// pager that asked for the line; it decides what each event does, and posts
// what the pager and the other product are told.
//
// States: Idle (no handle, no timer), Dialling (DialingHandle), Online (the
// line is up and ticks), Redial wait (the redial timer runs). One attempt at a
// time: a pager's request while dialling only says where to report; while on
// line it is answered "connected" at once; a dial stops a pending redial, and
// a hang-up (the user's or the pager's) cancels it.
//
// The window keeps the controls, the timers, the service calls and what is
// shown; it forwards its events here and does what the road asks through
// TDialRoadHost. Everything runs on the main thread: the service's state
// changes reach the window through the event loop.

#include "dialer/dialing.h"
#include "platform/ras/rasapi.h"
#include "platform/winmsg.h"

#include <cstdint>
#include <vector>

// What the road asks of the window and of the service.
class TDialRoadHost {
public:
    virtual ~TDialRoadHost() = default;

    // ---- the numbers
    // The check marks of the numbers, in list order.
    virtual std::vector<bool> CheckedNumbers() const = 0;
    // The selected number's row, -1 for none.
    virtual int SelectedNumber() const = 0;
    // Selects the row a redial moves to.
    virtual void SelectNumber(int Row) = 0;
    // An entry is selected and known by name.
    virtual bool EntryReady() const = 0;

    // ---- the attempt
    // Blocks for Ms milliseconds (the other product's time to give the line up).
    virtual void Pause(int Ms) = 0;
    // Shows and logs the attempt with the selected number, locks the dial
    // controls and asks the service to dial: 0 when the attempt started; the
    // handle comes back through Handle, also with a refusal.
    virtual int StartAttempt(ras::HRASCONN& Handle) = 0;
    // The attempt started: hang-up is possible.
    virtual void AttemptStarted() = 0;
    // The service refused the attempt at once: its text logged, a beep, the
    // dial controls free again.
    virtual void AttemptRefused() = 0;
    // Gives a handle back without waiting.
    virtual void HangUp(ras::HRASCONN Handle) = 0;
    // Hangs up and waits for the line to go (3000 ms at most), with or without
    // the state events raised meanwhile.
    virtual void HangUpWait(ras::HRASCONN Handle, bool StateEvents) = 0;

    // ---- what is shown
    // A notification's state: its text in the tray's hint and the log.
    virtual void ShowState(uint16_t State) = 0;
    // The service's text of the error that ended the attempt, in the log.
    virtual void LogError() = 0;
    // The line is up on Handle: its address and the traffic's starting point.
    virtual void ReadLine(ras::HRASCONN Handle) = 0;
    // The line is up: the icon, the sound, the window hidden when asked, the
    // one-second tick started and run once.
    virtual void LineUp() = 0;
    // The line or the attempt is over: the tick stopped, the panels emptied,
    // the entry and the options stored, the sound when a line was up, the
    // controls free, the log's lines.
    virtual void LineDown(bool WasOnline) = 0;
    // The user or the pager hangs up: the hang-up controls locked, the dial
    // controls free.
    virtual void HangUpStarted() = 0;
    // Starts or stops the redial timer (one shot after the redial delay).
    virtual void RedialTimer(bool On) = 0;
    // The redial option, and the attempts a series may make.
    virtual bool RedialOption() const = 0;
    virtual int RedialCount() const = 0;

    // ---- messages to the other programs
    // This program's window, the sender the pager is told of.
    virtual winmsg::HWND OwnWindow() const = 0;
    // The other product's window, 0 when it does not run.
    virtual winmsg::HWND ZelvoWindow() const = 0;
    virtual void Post(winmsg::HWND To, uint32_t Msg, uint32_t WParam) = 0;
};

class TDialRoad {
public:
    enum class TState { Idle, Dialling, Online, RedialWait };

    explicit TDialRoad(TDialRoadHost& Host) : host_(Host) {}

    // ---- the state
    TState State() const noexcept;
    bool Online() const noexcept { return online_; }
    bool RedialPending() const noexcept { return redialWait_; }

    TRedialCount Redial;  // RedialAttempts
    bool RedialSameNumber = false;
    bool WasOnline = false;
    bool UserHangUp = false;
    winmsg::HWND PagerWindow = 0;  // the pager that asked for the line
    ras::HRASCONN DialingHandle = 0;
    ras::HRASCONN ActiveHandle = 0;
    uint16_t LastState = 0;

    // ---- events
    // The dial button or menu item.
    void DialClick();
    // One attempt with the selected number.
    void Dial();
    // The hang-up button or menu item.
    void HangUpClick();
    // A state notification of the service: its state and its error.
    void StateChanged(uint16_t State, uint16_t Error);
    // The redial timer, also run by a dial of an unchecked number.
    void RedialTimerFired();
    // The one-second tick found no connection left.
    void LineLost();
    // The pager Pager asks for the line.
    void PagerConnect(winmsg::HWND Pager);
    // The pager asks to hang up.
    void PagerHangUp();
    // The window goes: an attempt or a line of this program goes with it, and
    // a pager that waits for an attempt is told none will come.
    void Destroy();

    // Everything starts afresh (the window's start).
    void Reset();

private:
    void ConnectedError(uint16_t Error);
    void ReDial();
    void Disconnected();
    void Connected();
    // No attempt will be made for a request: the pager that asked is told
    // that the attempt failed.
    void AttemptNotMade();
    void PostPager(uint32_t Msg);
    void PostZelvo(uint32_t Msg);
    void SetRedialTimer(bool On);

    TDialRoadHost& host_;
    bool online_ = false;
    bool redialWait_ = false;
};
