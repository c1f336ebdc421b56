// The dialer's decisions about a connection, apart from its window: status
// texts, the state handler's steps, the error table, the attempts of a
// series, the redial's number, the number filters, the counters and the
// texts of the panels and the log.

#include "common/dialmsg.h"
#include "dialer/dialing.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using testenv::cp;

TEST(ConnectedStatus, OnlyFiveStatesHaveAText)
{
    const std::vector<std::pair<uint16_t, const char*>> table = {
        {2, "Соединение..."},     {3, "Соединение установлено"}, {5, "Проверка имени и пароля..."},
        {8192, "Связь установлена"}, {8193, "Связь разорвана"},
        {0, ""}, {1, ""}, {4, ""}, {6, ""}, {600, ""}, {676, ""}, {4096, ""}, {8194, ""},
    };
    for (const auto& [state, text] : table) EXPECT_EQ(ConnectedStatus(state), cp(text)) << state;
}

TEST(StateStep, WhatTheHandlerDoesWithANotification)
{
    struct Row {
        uint16_t state, last, error;
        bool dialling;
        TStateStep step;
    };
    const Row table[] = {
        // A repeated state or error is dropped, whatever else holds.
        {0, 0, 0, true, TStateStep::Repeated},
        {676, 676, 676, true, TStateStep::Repeated},
        {8193, 8193, 0, true, TStateStep::Repeated},
        // An error ends the attempt, also when no attempt is recorded.
        {676, 2, 676, true, TStateStep::Error},
        {691, 5, 691, false, TStateStep::Error},
        // Without an attempt under way the rest stops after the text.
        {8192, 5, 0, false, TStateStep::NotDialling},
        {8193, 8192, 0, false, TStateStep::NotDialling},
        {8192, 5, 0, true, TStateStep::Connected},
        {8193, 5, 0, true, TStateStep::Disconnected},
        {601, 5, 0, true, TStateStep::Disconnected},
        {4095, 5, 0, true, TStateStep::Disconnected},
        {600, 5, 0, true, TStateStep::Progress},
        {4096, 5, 0, true, TStateStep::Progress},
        {2, 1, 0, true, TStateStep::Progress},
    };
    for (const Row& r : table) {
        EXPECT_EQ(StateStep(r.state, r.last, r.error, r.dialling), r.step)
            << r.state << " after " << r.last << " error " << r.error;
    }
}

TEST(PagerReport, DiallingAndCheckingTheNameAreReported)
{
    EXPECT_EQ(PagerReport(2), WM_DIAL_DIALING);
    EXPECT_EQ(PagerReport(5), WM_DIAL_AUTHENTICATING);
    for (uint16_t s : {0, 1, 3, 4, 6, 8192, 8193}) EXPECT_EQ(PagerReport(s), 0u) << s;
}

TEST(ErrorTable, WhichErrorsAreLoggedAndWhichRedialled)
{
    struct Row {
        uint16_t error;
        bool logged, redials;
    };
    const Row table[] = {
        {600, false, false}, {619, true, false}, {631, true, false}, {668, true, false},
        {691, true, false},  {680, true, true},  {676, true, true},  {678, true, true},
        {629, true, true},   {633, true, true},
    };
    for (const Row& r : table) {
        EXPECT_EQ(ErrorLogged(r.error), r.logged) << r.error;
        EXPECT_EQ(ErrorRedials(r.error), r.redials) << r.error;
    }
}

TEST(RedialCount, AFailedFirstAttemptIsFollowedByNineMore)
{
    TRedialCount c;
    int more = 0;
    while (c.Next(true, 10)) ++more;
    EXPECT_EQ(more, 9);
    EXPECT_EQ(c.Attempts, 0);  // the series is over and starts afresh
    EXPECT_TRUE(c.Next(true, 10));
}

TEST(RedialCount, WithTheOptionOffNothingFollowsAndTheCountStartsAfresh)
{
    TRedialCount c;
    c.Attempts = 4;
    EXPECT_FALSE(c.Next(false, 10));
    EXPECT_EQ(c.Attempts, 0);
}

TEST(RedialCount, NoDialToneLeavesOneMoreAttemptAtMost)
{
    TRedialCount first;
    first.AttemptFailed(680, 10);
    EXPECT_TRUE(first.Next(true, 10));
    first.AttemptFailed(680, 10);
    EXPECT_FALSE(first.Next(true, 10));

    // Late in a series it takes nothing away.
    TRedialCount late;
    late.Attempts = 9;
    late.AttemptFailed(680, 10);
    EXPECT_EQ(late.Attempts, 9);
    TRedialCount other;
    other.AttemptFailed(676, 10);
    EXPECT_EQ(other.Attempts, 0);
}

TEST(NumberFilters, AddingKeepsDialCharactersEditingOnlyDigits)
{
    EXPECT_EQ(AddedNumber("8 (812) 555-12-34 p"), "88125551234p");
    EXPECT_EQ(EditedNumber("88125551234p"), "88125551234");
    EXPECT_EQ(AddedNumber("*70,W#9,t1P2T3w4"), "*70,W#9,t1P2T3w4");
    EXPECT_EQ(EditedNumber("*70,W#9,t1P2T3w4"), "7091234");
    EXPECT_EQ(AddedNumber(cp("тел. 12+34 доб. 5")), "12345");
    EXPECT_EQ(AddedNumber("abc"), "");
}

TEST(NextCheckedRow, ARedialMovesOnToTheNextCheckedNumberCyclically)
{
    struct Row {
        std::vector<bool> checked;
        int selected;
        int next;
    };
    const Row table[] = {
        {{true, false, true}, 0, 2},   // numbers 1 and 3 checked
        {{true, false, true}, 2, 0},
        {{true, false, true}, 1, 2},
        {{true, false, true}, -1, 0},  // none selected: from before the first
        {{false, true, false}, 1, 1},  // the only checked one is dialled again
        {{false, false, false}, 0, -1},
        {{}, -1, -1},
        {{true, true}, 7, 0},          // a selection beyond the list counts as none
    };
    for (const Row& r : table) EXPECT_EQ(NextCheckedRow(r.checked, r.selected), r.next) << r.selected;
}

TEST(CountUp, CountersStartAgainOnceTheyReachTheirWrap)
{
    EXPECT_EQ(CountUp(0, kDayWrap), 1);
    EXPECT_EQ(CountUp(86399, kDayWrap), 86400);
    EXPECT_EQ(CountUp(86400, kDayWrap), 1);  // shown 00:00:01 after 24 hours
    EXPECT_EQ(CountUp(2678400, kMonthWrap), 1);
    EXPECT_EQ(CountUp(2678399, kMonthWrap), 2678400);
}

TEST(PanelTexts, TrafficSpeedAndTheTrayHint)
{
    EXPECT_EQ(GroupedNumber(0), " 0");
    EXPECT_EQ(GroupedNumber(1234567), " 1 234 567");
    EXPECT_EQ(GroupedNumber(123456), " 123 456");
    EXPECT_EQ(GroupedNumber(4294967295u), " 4 294 967 295");
    EXPECT_EQ(SpeedText(33600), cp("33600 бит/сек"));
    EXPECT_EQ(OnlineHint(33600, "00:01:05"), cp("33600 бит/с  00:01:05 сек"));
}

TEST(LogLine, TheTimeStampHasNoTimeZone)
{
    const AnsiString line = LogLine(QTime(9, 5, 7), cp("Связь установлена"));
    EXPECT_TRUE(line.starts_with("[")) << line;
    EXPECT_TRUE(line.ends_with("] " + cp("Связь установлена"))) << line;
    const QString stamp = QString::fromStdString(line.substr(1, line.find(']') - 1));
    EXPECT_TRUE(stamp.contains("05") && stamp.contains("07")) << line;
    // Nothing but the time of day: no zone name or offset.
    EXPECT_FALSE(stamp.contains(QRegularExpression("[A-Za-z]{3,}|[+-]\\d\\d"))) << line;
}
