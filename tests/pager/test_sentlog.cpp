#include "pager/sentlog.h"

#include "platform/inifile.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using testenv::cp;
using namespace std::string_literals;

TEST(SentLog, KeepsOneRowMoreThanItSavesAndSurvivesARestart)
{
    const std::string file = testenv::makeDir("log3") + "/messages.dat";
    std::vector<TLogRow> rows;
    for (int i = 1; i <= 5; ++i) AddLogRow(rows, {"N" + std::to_string(i), "d", "t"}, 3);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows.front().To, "N5");  // newest first
    EXPECT_EQ(rows.back().To, "N2");

    SaveLog(file, rows, 3);
    EXPECT_EQ(testenv::readFile(file),
              "[Message1]\r\nTo=N5\r\nDate=d\r\nText=t\r\n\r\n"
              "[Message2]\r\nTo=N4\r\nDate=d\r\nText=t\r\n\r\n"
              "[Message3]\r\nTo=N3\r\nDate=d\r\nText=t\r\n");
    const auto back = LoadLog(file);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[2].To, "N3");
}

TEST(SentLog, NoLogLeavesTheFileAloneAndAnEmptyLogLeavesNoFile)
{
    const std::string file = testenv::makeDir("log0") + "/messages.dat";
    testenv::writeFile(file, "[Message1]\r\nTo=old\r\n");
    SaveLog(file, {{"x", "y", "z"}}, 0);
    EXPECT_EQ(testenv::readFile(file), "[Message1]\r\nTo=old\r\n");
    SaveLog(file, {}, 10);
    EXPECT_FALSE(testenv::fileExists(file));
    EXPECT_TRUE(LoadLog(file).empty());
}

TEST(SentLog, MultiLineCyrillicTextRoundTripsByteForByte)
{
    const std::string file = testenv::makeDir("logml") + "/messages.dat";
    const TLogRow row{cp("Иван Петров"), "05.03.2001 09:07:30", cp("Первая строка\r\nвторая, ёжик №2\r\n")};
    SaveLog(file, {row}, 10);
    EXPECT_NE(testenv::readFile(file).find(cp("Text=Первая строка|вторая, ёжик №2|\r\n")), std::string::npos);
    const auto back = LoadLog(file);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].To, row.To);
    EXPECT_EQ(back[0].Date, row.Date);
    EXPECT_EQ(back[0].Text, row.Text);
    EXPECT_EQ(LogDate(QDateTime(QDate(2001, 3, 5), QTime(9, 7, 30))), "05.03.2001 09:07:30");
}

// The log of a hostile messages.dat (a lone CR in To or Date, a NUL in the
// text) loads as values that can be written back, so the close keeps it.
TEST(SentLog, HostileValuesLoadAsValuesThatCanBeSavedAgain)
{
    const std::string file = testenv::makeDir("log-hostile") + "/messages.dat";
    testenv::writeFile(file, "[Message1]\r\nTo=a\rb\r\nDate=05.03.2001\r09:07:30\r\nText=x\0y\r\n"s);
    const auto rows = LoadLog(file);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].To, "a b");
    EXPECT_EQ(rows[0].Date, "05.03.2001 09:07:30");
    EXPECT_EQ(rows[0].Text, "x y");
    ASSERT_NO_THROW(SaveLog(file, rows, 10));
    EXPECT_EQ(testenv::readFile(file), "[Message1]\r\nTo=a b\r\nDate=05.03.2001 09:07:30\r\nText=x y\r\n");
}

TEST(SentLog, AProtectedLogFileStaysAsItWas)
{
    const std::string file = testenv::makeDir("log-ro") + "/messages.dat";
    testenv::writeFile(file, "[Message1]\r\nTo=old\r\n");
    chmod(file.c_str(), 0444);
    EXPECT_THROW(SaveLog(file, {{"x", "y", "z"}}, 10), EIniFileException);
    EXPECT_THROW(SaveLog(file, {}, 10), EIniFileException);
    EXPECT_EQ(testenv::readFile(file), "[Message1]\r\nTo=old\r\n");
}

TEST(SentLog, TheCutKeepsOneRowMoreThanCountLogMsgAndNoneBelowZero)
{
    struct Case {
        int32_t countLogMsg;
        size_t rows;  // after eight sends
    } cases[] = {{0, 1}, {1, 2}, {5, 6}, {-1, 0}, {-7, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.countLogMsg);
        TSentLog log(testenv::makeDir("log-cut") + "/messages.dat");
        for (int i = 1; i <= 8; ++i) log.Add({"N" + std::to_string(i), "d", "t"}, c.countLogMsg);
        ASSERT_EQ(log.Count(), c.rows);
        for (size_t i = 0; i < log.Count(); ++i) EXPECT_EQ(log.Row(i).To, "N" + std::to_string(8 - i));
    }
}

TEST(SentLog, ModelLoadsSavesAndClears)
{
    const std::string file = testenv::makeDir("log-model") + "/messages.dat";
    const std::string old = "[Message1]\r\nTo=old\r\nDate=01.02.2026 10:00:00\r\nText=" + cp("два|ряда") + "\r\n";
    testenv::writeFile(file, old);
    TSentLog log(file);
    log.Load();
    ASSERT_EQ(log.Count(), 1u);
    EXPECT_EQ(log.Row(0).Text, cp("два\r\nряда"));

    log.Add({cp("Иван"), "02.02.2026 11:00:00", "new"}, 2);
    // No log: the file is not touched.
    log.Save(0);
    EXPECT_EQ(testenv::readFile(file), old);
    log.Save(1);
    EXPECT_EQ(testenv::readFile(file), "[Message1]\r\nTo=" + cp("Иван") + "\r\nDate=02.02.2026 11:00:00\r\nText=new\r\n");
    log.Save(2);
    EXPECT_EQ(testenv::readFile(file), "[Message1]\r\nTo=" + cp("Иван") +
                                           "\r\nDate=02.02.2026 11:00:00\r\nText=new\r\n\r\n[Message2]" +
                                           old.substr(old.find("\r\n")));

    log.Clear();
    EXPECT_EQ(log.Count(), 0u);
    EXPECT_TRUE(testenv::fileExists(file));  // the file follows at the next save
    log.Save(2);
    EXPECT_FALSE(testenv::fileExists(file));
}
