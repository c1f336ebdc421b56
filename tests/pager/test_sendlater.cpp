#include "pager/sendlater.h"

#include "platform/inifile.h"
#include "tests/support/testenv.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <clocale>

using testenv::cp;
using namespace std::string_literals;

TEST(SendLater, DueTest)
{
    const QDateTime now(QDate(2026, 12, 10), QTime(12, 0, 0));
    struct Case {
        const char* caption;
        TDue due;
    } cases[] = {
        {"10.12.2026 12:00", TDue::NotYet},  // exactly now: not yet
        {"10.12.2026 11:59", TDue::Due},
        {"10.12.2026 12:01", TDue::NotYet},
        {"09.12.2026 23:59", TDue::Due},     // yesterday, whatever the time
        {"10.12.2027 00:00", TDue::NotYet},
        {"31.12.2025 12:00", TDue::Due},
        {"1.2.2026 3:04", TDue::Due},         // one-digit parts read too
        {"10.12.2026 11:59:59", TDue::Due},
        {"10.12.2026", TDue::Due},            // no time: midnight
        {"", TDue::Unreadable},
        {"12/10/2026 11:00", TDue::Unreadable},
        {"31.02.2026 10:00", TDue::Unreadable},
        {"10.12.2026 25:00", TDue::Unreadable},
        {"10.12.26 10:00", TDue::Unreadable},
    };
    for (const Case& c : cases) EXPECT_EQ(QueueDue(c.caption, now), c.due) << c.caption;
    // One second past the minute it is due.
    EXPECT_EQ(QueueDue("10.12.2026 12:00", now.addSecs(1)), TDue::Due);
}

TEST(SendLater, ReadsItsOwnCaptionsWhateverTheLocale)
{
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const AnsiString caption = QueueCaption(QDate(2026, 3, 5), QTime(7, 9));
    EXPECT_EQ(caption, "05.03.2026 07:09");
    const auto when = ParseQueueCaption(caption);
    ASSERT_TRUE(when.has_value());
    EXPECT_EQ(*when, QDateTime(QDate(2026, 3, 5), QTime(7, 9)));
    QLocale::setDefault(QLocale::system());
}

TEST(SendLater, FileKeepsEveryEntryAndGoesWhenEmpty)
{
    const std::string file = testenv::makeDir("wait") + "/wait.dat";
    const std::vector<TQueueEntry> entries = {
        {"05.03.2026 07:09", cp("Иван"), cp("Две\r\nстроки")},
        {"", "Done", "sent already"},
    };
    SaveQueue(file, entries);
    EXPECT_EQ(testenv::readFile(file),
              "[Message1]\r\nDate=05.03.2026 07:09\r\nTo=" + cp("Иван") + "\r\nText=" + cp("Две|строки") +
                  "\r\n\r\n[Message2]\r\nDate=\r\nTo=Done\r\nText=sent already\r\n");
    const auto back = LoadQueue(file);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].Text, cp("Две\r\nстроки"));
    EXPECT_EQ(back[1].Date, "");

    SaveQueue(file, {});
    EXPECT_FALSE(testenv::fileExists(file));
}

// A lone CR in a To or Date value, a NUL in a text: what the file gives is
// made storable when loading, so every later save of the queue goes through.
TEST(SendLater, HostileValuesLoadAsValuesThatCanBeSavedAgain)
{
    const std::string file = testenv::makeDir("wait-hostile") + "/wait.dat";
    testenv::writeFile(file, cp("[Message1]\r\nDate=05.03.2026\r07:09\r\nTo=Иван\rПетров\r\n") +
                                 "Text=a\0b|c\r\n"s);
    const auto entries = LoadQueue(file);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Date, "05.03.2026 07:09");
    EXPECT_EQ(entries[0].To, cp("Иван Петров"));
    EXPECT_EQ(entries[0].Text, "a b\r\nc");
    ASSERT_NO_THROW(SaveQueue(file, entries));
    const auto back = LoadQueue(file);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].Date, entries[0].Date);
    EXPECT_EQ(back[0].To, entries[0].To);
    EXPECT_EQ(back[0].Text, entries[0].Text);
    // A value that would end its line is written as a blank, not refused.
    ASSERT_NO_THROW(SaveQueue(file, {{"05.03.2026 07:09", "a\rb", "x\0y"s}}));
    EXPECT_EQ(LoadQueue(file)[0].To, "a b");
}

TEST(SendLater, AProtectedQueueFileIsNeitherReplacedNorDeleted)
{
    const std::string file = testenv::makeDir("wait-ro") + "/wait.dat";
    const std::string old = "[Message1]\r\nDate=05.03.2026 07:09\r\nTo=a\r\nText=t\r\n";
    testenv::writeFile(file, old);
    chmod(file.c_str(), 0444);
    for (const auto& entries : {std::vector<TQueueEntry>{{"06.03.2026 07:09", "b", "u"}}, std::vector<TQueueEntry>{}}) {
        try {
            SaveQueue(file, entries);
            ADD_FAILURE() << "no exception";
        } catch (const EIniFileException& e) {
            EXPECT_EQ(e.message(), "Unable to write to " + file);
        }
        EXPECT_EQ(testenv::readFile(file), old);
    }
}
