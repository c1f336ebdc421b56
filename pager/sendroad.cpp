#include "pager/sendroad.h"

#include <utility>

bool TSendRoad::Start(TSendJob Job)
{
    if (!Free()) return false;
    job_ = std::move(Job);
    state_ = TSendState::Connecting;
    lineReached_ = false;
    cancelled_ = false;
    return true;
}

bool TSendRoad::Resume()
{
    if (state_ != TSendState::WaitingForDialer && state_ != TSendState::Parked) return false;
    job_.Manual = false;
    state_ = TSendState::Connecting;
    lineReached_ = false;
    cancelled_ = false;
    return true;
}

void TSendRoad::Connected()
{
    if (state_ == TSendState::Connecting) state_ = TSendState::Sending;
}

void TSendRoad::Served(int Index)
{
    if (Index >= 0 && Index < static_cast<int>(job_.Recipients.size()))
        job_.Recipients[static_cast<size_t>(Index)].Served = true;
}

std::vector<int> TSendRoad::Pending() const
{
    std::vector<int> out;
    for (size_t i = 0; i < job_.Recipients.size(); ++i) {
        if (!job_.Recipients[i].Served) out.push_back(static_cast<int>(i));
    }
    return out;
}

void TSendRoad::Cancel() noexcept { cancelled_ = true; }

TSendEnd TSendRoad::Failed(bool UseOrvDialer)
{
    if (cancelled_) return TSendEnd::Cancelled;
    if (UseOrvDialer && job_.Manual && !lineReached_ && state_ == TSendState::Connecting) {
        state_ = TSendState::WaitingForDialer;
        dialerAsked_ = true;
        return TSendEnd::AskDialer;
    }
    return TSendEnd::Failed;
}

void TSendRoad::Finished()
{
    state_ = TSendState::Idle;
    job_ = TSendJob{};
    lineReached_ = false;
    cancelled_ = false;
}

bool TSendRoad::DialerFailed()
{
    if (state_ == TSendState::WaitingForDialer) state_ = TSendState::Parked;
    return state_ == TSendState::Parked;
}

bool TSendRoad::QueueTick()
{
    if (state_ == TSendState::Idle) return true;
    // A parked send of the due entries is this tick's own send of before:
    // the tick sends them again (and asks the dialer again), so an unattended
    // queue is never held up by a dialer that has given up.
    if (state_ == TSendState::Parked && job_.Mode == TSendMode::QueueDue) return true;
    queueTick_ = true;
    return false;
}

bool TSendRoad::MailTick()
{
    if (state_ == TSendState::Idle) return true;
    mailTick_ = true;
    return false;
}

bool TSendRoad::TakeQueueTick()
{
    if (state_ != TSendState::Idle || !queueTick_) return false;
    queueTick_ = false;
    return true;
}

bool TSendRoad::TakeMailTick()
{
    if (state_ != TSendState::Idle || !mailTick_) return false;
    mailTick_ = false;
    return true;
}
