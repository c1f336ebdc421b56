// The sending road's decisions: states, what a failure leads to, the dialer's
// answers in each state, timer ticks and the recipients' snapshot.

#include "pager/sendroad.h"

#include <gtest/gtest.h>

namespace {

TSendJob job(TSendMode mode, bool manual, int recipients = 2)
{
    TSendJob j;
    j.Mode = mode;
    j.Manual = manual;
    j.BodyText = "text";
    for (int i = 0; i < recipients; ++i) {
        TSendRecipient r;
        r.Name = "r" + std::to_string(i);
        r.Item.Addr = std::to_string(i) + "@gw.example.net";
        j.Recipients.push_back(r);
    }
    return j;
}

}  // namespace

TEST(SendRoad, OneSendAtATime)
{
    TSendRoad road;
    EXPECT_TRUE(road.Idle());
    ASSERT_TRUE(road.Start(job(TSendMode::Checked, true)));
    EXPECT_EQ(road.State(), TSendState::Connecting);
    EXPECT_FALSE(road.Start(job(TSendMode::QueueDue, true)));
    EXPECT_EQ(road.Mode(), TSendMode::Checked);
    road.Connected();
    EXPECT_EQ(road.State(), TSendState::Sending);
    EXPECT_FALSE(road.Start(job(TSendMode::Notice, false)));
    road.Finished();
    EXPECT_TRUE(road.Idle());
    EXPECT_TRUE(road.Job().Recipients.empty());
    EXPECT_TRUE(road.Start(job(TSendMode::QueueAll, true)));
}

TEST(SendRoad, WhatAFailedConnectLeadsTo)
{
    struct Case {
        const char* what;
        bool manual;
        bool useDialer;
        bool lineReached;
        bool greeted;
        bool cancelled;
        TSendEnd expected;
    };
    const Case cases[] = {
        {"no line, user's send, dialer on", true, true, false, false, false, TSendEnd::AskDialer},
        {"no line, dialer off", true, false, false, false, false, TSendEnd::Failed},
        {"no line, resumed send", false, true, false, false, false, TSendEnd::Failed},
        {"server refused the greeting", true, true, true, false, false, TSendEnd::Failed},
        {"server refused during the send", true, true, true, true, false, TSendEnd::Failed},
        {"cancel while connecting", true, true, false, false, true, TSendEnd::Cancelled},
        {"cancel while sending", true, true, true, true, true, TSendEnd::Cancelled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TSendRoad road;
        ASSERT_TRUE(road.Start(job(TSendMode::Checked, c.manual)));
        if (c.lineReached) road.LineReached();
        if (c.greeted) road.Connected();
        if (c.cancelled) road.Cancel();
        EXPECT_EQ(road.Failed(c.useDialer), c.expected);
        EXPECT_EQ(road.Waiting(), c.expected == TSendEnd::AskDialer);
        EXPECT_EQ(road.DialerAsked(), c.expected == TSendEnd::AskDialer);
    }
}

TEST(SendRoad, LineUpResumesOnlyAWaitingSendInItsMode)
{
    TSendRoad road;
    EXPECT_FALSE(road.Resume());  // idle: nothing waits
    ASSERT_TRUE(road.Start(job(TSendMode::QueueDue, true)));
    EXPECT_FALSE(road.Resume());  // connecting: nothing waits
    ASSERT_EQ(road.Failed(true), TSendEnd::AskDialer);
    ASSERT_TRUE(road.Resume());
    EXPECT_EQ(road.State(), TSendState::Connecting);
    EXPECT_EQ(road.Mode(), TSendMode::QueueDue);
    EXPECT_FALSE(road.Job().Manual);
    EXPECT_EQ(road.Job().Recipients.size(), 2u);
    EXPECT_FALSE(road.Resume());
    // A resumed send that cannot connect does not ask again.
    EXPECT_EQ(road.Failed(true), TSendEnd::Failed);
}

TEST(SendRoad, ServedRecipientsAreNotSentAgain)
{
    TSendRoad road;
    ASSERT_TRUE(road.Start(job(TSendMode::Checked, true, 3)));
    road.Connected();
    road.Served(0);
    road.Served(7);  // no such recipient: ignored
    EXPECT_EQ(road.Pending(), (std::vector<int>{1, 2}));
    road.Served(2);
    EXPECT_EQ(road.Pending(), (std::vector<int>{1}));
}

TEST(SendRoad, DialerFailureParksOnlyAWaitingSend)
{
    TSendRoad road;
    EXPECT_FALSE(road.DialerFailed());
    EXPECT_TRUE(road.Idle());
    ASSERT_TRUE(road.Start(job(TSendMode::Checked, true)));
    EXPECT_FALSE(road.DialerFailed());  // a send on its way ends by itself
    EXPECT_EQ(road.State(), TSendState::Connecting);
    ASSERT_EQ(road.Failed(true), TSendEnd::AskDialer);

    // The dialer redials on its own: the send is kept, the window is idle,
    // and the dialer was asked.
    EXPECT_TRUE(road.DialerFailed());
    EXPECT_EQ(road.State(), TSendState::Parked);
    EXPECT_TRUE(road.Free());
    EXPECT_FALSE(road.Idle());
    EXPECT_TRUE(road.DialerAsked());
    EXPECT_EQ(road.Job().Recipients.size(), 2u);
    EXPECT_TRUE(road.DialerFailed());  // every further failed attempt
    EXPECT_TRUE(road.Parked());

    // The line comes up: the parked send goes on in its mode, as a send the
    // user did not start, and is over when it has run.
    ASSERT_TRUE(road.Resume());
    EXPECT_EQ(road.State(), TSendState::Connecting);
    EXPECT_EQ(road.Mode(), TSendMode::Checked);
    EXPECT_FALSE(road.Job().Manual);
    EXPECT_EQ(road.Pending(), (std::vector<int>{0, 1}));
    EXPECT_FALSE(road.DialerFailed());
    road.Connected();
    road.Served(0);
    road.Served(1);
    road.Finished();
    EXPECT_TRUE(road.Idle());
    // The hang-up is still owed.
    EXPECT_TRUE(road.DialerAsked());
    road.HungUp();
    EXPECT_FALSE(road.DialerAsked());
    EXPECT_FALSE(road.Resume());  // nothing parked: a line-up starts nothing
}

TEST(SendRoad, TheUsersNewSendReplacesAParkedOne)
{
    TSendRoad road;
    ASSERT_TRUE(road.Start(job(TSendMode::QueueAll, true, 1)));
    ASSERT_EQ(road.Failed(true), TSendEnd::AskDialer);
    EXPECT_FALSE(road.Start(job(TSendMode::Checked, true)));  // not while it waits in the sending state
    ASSERT_TRUE(road.DialerFailed());

    ASSERT_TRUE(road.Start(job(TSendMode::Checked, true, 3)));
    EXPECT_EQ(road.State(), TSendState::Connecting);
    EXPECT_EQ(road.Mode(), TSendMode::Checked);
    EXPECT_EQ(road.Job().Recipients.size(), 3u);
    EXPECT_TRUE(road.Job().Manual);
    EXPECT_TRUE(road.DialerAsked());
    // It asks the dialer again when it cannot connect either.
    EXPECT_EQ(road.Failed(true), TSendEnd::AskDialer);
}

TEST(SendRoad, DroppingAParkedSendOwesTheHangUp)
{
    TSendRoad road;
    ASSERT_TRUE(road.Start(job(TSendMode::Checked, true)));
    ASSERT_EQ(road.Failed(true), TSendEnd::AskDialer);
    ASSERT_TRUE(road.DialerFailed());
    road.Finished();
    EXPECT_TRUE(road.Idle());
    EXPECT_TRUE(road.Job().Recipients.empty());
    EXPECT_TRUE(road.DialerAsked());
    EXPECT_FALSE(road.Resume());
}

TEST(SendRoad, TicksWhileASendIsParked)
{
    struct Case {
        TSendMode parkedMode;
        bool queueRuns;  // the queue tick may run now (else it is remembered)
    } cases[] = {
        {TSendMode::Checked, false},
        {TSendMode::QueueSelected, false},
        {TSendMode::QueueAll, false},
        // A parked send of the due entries is the ticks' own: the next tick
        // sends them again, so the queue never stalls behind a dialer that
        // has given up.
        {TSendMode::QueueDue, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.parkedMode));
        TSendRoad road;
        ASSERT_TRUE(road.Start(job(c.parkedMode, true)));
        ASSERT_EQ(road.Failed(true), TSendEnd::AskDialer);
        ASSERT_TRUE(road.DialerFailed());
        EXPECT_EQ(road.QueueTick(), c.queueRuns);
        EXPECT_EQ(road.QueueTickWaiting(), !c.queueRuns);
        EXPECT_FALSE(road.MailTick());
        EXPECT_FALSE(road.TakeQueueTick());
        EXPECT_FALSE(road.TakeMailTick());
        road.Finished();
        EXPECT_EQ(road.TakeQueueTick(), !c.queueRuns);
        EXPECT_TRUE(road.TakeMailTick());
    }
}

TEST(SendRoad, TicksDuringASendRunOnceItIsOver)
{
    TSendRoad road;
    EXPECT_TRUE(road.QueueTick());
    EXPECT_TRUE(road.MailTick());
    EXPECT_FALSE(road.TakeQueueTick());

    for (TSendState during : {TSendState::Connecting, TSendState::Sending, TSendState::WaitingForDialer}) {
        ASSERT_TRUE(road.Start(job(TSendMode::Checked, true)));
        if (during == TSendState::Sending) road.Connected();
        if (during == TSendState::WaitingForDialer) {
            ASSERT_EQ(road.Failed(true), TSendEnd::AskDialer);
        }
        ASSERT_EQ(road.State(), during);
        EXPECT_FALSE(road.QueueTick());
        EXPECT_FALSE(road.QueueTick());
        EXPECT_FALSE(road.MailTick());
        EXPECT_FALSE(road.TakeQueueTick());  // not while busy
        road.Finished();
        EXPECT_TRUE(road.TakeQueueTick());
        EXPECT_FALSE(road.TakeQueueTick());  // handed out once
        EXPECT_TRUE(road.TakeMailTick());
        EXPECT_FALSE(road.TakeMailTick());
        road.HungUp();
    }
}

TEST(SendRoad, TheSnapshotIsTheRoadsOwn)
{
    TSendRoad road;
    TSendJob j = job(TSendMode::Checked, true);
    ASSERT_TRUE(road.Start(j));
    j.Recipients.clear();
    j.BodyText = "changed";
    EXPECT_EQ(road.Job().Recipients.size(), 2u);
    EXPECT_EQ(road.Job().Recipients[1].Name, "r1");
    EXPECT_EQ(road.Job().BodyText, "text");
}
