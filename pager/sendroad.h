#pragma once
// The decisions of the sending road, apart from the window and the SMTP
// client: which state a send is in, what it takes with it when it starts,
// what a failure leads to, what the dialer's messages do in each state, and
// what a timer tick or a close does while a send runs.
//
// States:
//   Idle              nothing runs; a send may start
//   Connecting        a send was started (or resumed) and connects
//   Sending           the server accepted the greeting; mails go out
//   WaitingForDialer  the connection failed and the dialer was asked to dial
//   Parked            the dialer reported a failed attempt (it redials on its
//                     own); the window is idle, the send is kept for the
//                     dialer's "connected"
//
// One send at a time: Start refuses while a send runs or waits for the
// dialer; a send the user starts while another is parked replaces it. A tick
// of the send-later or the mailbox timer that comes while a send runs, waits
// or is parked is remembered and handed out once the road is idle again;
// only a parked send of the due queue entries, itself started by a tick,
// gives way to the next tick, which sends the same entries again. The
// dialer's "connected" resumes only a send that waits for it or is parked.
//
// The recipients are copied when the send starts, so nothing the user does to
// the address book during the send can reach them.

#include "pager/book.h"
#include "pager/compose.h"

#include <vector>

// Send modes: the text to the checked contacts, the due queue entries, the
// selected queue entry, every queue entry, the new-mail notice.
enum class TSendMode { Checked, QueueDue, QueueSelected, QueueAll, Notice };

// A send of entries of the send-later queue.
constexpr bool IsQueueSend(TSendMode Mode) noexcept
{
    return Mode == TSendMode::QueueDue || Mode == TSendMode::QueueSelected || Mode == TSendMode::QueueAll;
}

enum class TSendState { Idle, Connecting, Sending, WaitingForDialer, Parked };

// One contact of a send, as it stood when the send started.
struct TSendRecipient {
    AnsiString Name;  // the caption of its row
    TBookItem Item;
    TComposeFlags Flags;
    bool Served = false;  // every part of its message was accepted
};

// Everything a send needs besides the settings.
struct TSendJob {
    TSendMode Mode = TSendMode::Checked;
    bool Manual = false;  // started by the user (button or queue command)
    AnsiString BodyText;
    TComposeSettings Settings;
    std::vector<TSendRecipient> Recipients;
};

// What follows a failed connect.
enum class TSendEnd {
    AskDialer,  // ask the dialer to dial and wait for its answer
    Failed,     // report the failure and return to idle
    Cancelled,  // the user cancelled: return to idle
};

class TSendRoad {
public:
    TSendState State() const noexcept { return state_; }
    bool Idle() const noexcept { return state_ == TSendState::Idle; }
    bool Waiting() const noexcept { return state_ == TSendState::WaitingForDialer; }
    bool Parked() const noexcept { return state_ == TSendState::Parked; }
    // The window is idle: nothing runs or waits in the sending state (a send
    // may be parked).
    bool Free() const noexcept { return state_ == TSendState::Idle || state_ == TSendState::Parked; }
    // A send is on its way: connecting or sending (not idle, not waiting).
    bool Running() const noexcept { return state_ == TSendState::Connecting || state_ == TSendState::Sending; }

    // The send in hand (the running, waiting or parked one); empty when idle.
    const TSendJob& Job() const noexcept { return job_; }
    // The mode of the send in hand; Checked when idle.
    TSendMode Mode() const noexcept { return job_.Mode; }
    // Whether the dialer was asked to dial for this send.
    bool DialerAsked() const noexcept { return dialerAsked_; }

    // Starts a send, in place of a parked one; False (nothing changes) while
    // a send runs or waits for the dialer. A replaced parked send leaves
    // DialerAsked as it was: the dialer was asked, and is still to be told.
    bool Start(TSendJob Job);
    // The dialer reports the line up: a waiting or parked send connects
    // again, as a send not started by the user. False when none waits.
    bool Resume();

    // The socket connection is up (before the greeting).
    void LineReached() noexcept { lineReached_ = true; }
    // The server accepted the greeting: the mails go out.
    void Connected();
    // The recipient at Index got every part of its message.
    void Served(int Index);
    // Indexes of the recipients still to be served, in order.
    std::vector<int> Pending() const;

    // The user cancels the running send; the failure that follows is his.
    void Cancel() noexcept;
    // The connect call raised. Only a send the user started, that failed
    // before the socket connection was up and was not cancelled, asks the
    // dialer, and only when the dialer is to be used.
    TSendEnd Failed(bool UseOrvDialer);
    // A send is over (done, failed, cancelled, given up or dropped): idle.
    void Finished();
    // The dialer reports that an attempt failed or the line dropped. A
    // waiting send is parked (True; DialerAsked stays set); a parked one
    // stays parked (True); otherwise nothing changes (False).
    bool DialerFailed();
    // The pager asked the dialer to hang up.
    void HungUp() noexcept { dialerAsked_ = false; }

    // Timer ticks: True when the tick may run now (idle, or for the queue a
    // parked send of the due entries); otherwise False, and the tick is
    // remembered.
    bool QueueTick();
    bool MailTick();
    // Once idle: whether a remembered tick is to run now (each is handed out
    // once).
    bool TakeQueueTick();
    bool TakeMailTick();
    // A tick is remembered.
    bool QueueTickWaiting() const noexcept { return queueTick_; }
    bool MailTickWaiting() const noexcept { return mailTick_; }

private:
    TSendState state_ = TSendState::Idle;
    TSendJob job_;
    bool lineReached_ = false;
    bool cancelled_ = false;
    bool dialerAsked_ = false;
    bool queueTick_ = false;
    bool mailTick_ = false;
};
