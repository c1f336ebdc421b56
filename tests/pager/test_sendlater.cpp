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

namespace {

// wait.dat as the queue writes it, from date, to, text triples.
std::string waitBytes(const std::vector<TQueueEntry>& entries)
{
    std::string out;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i) out += "\r\n";
        out += "[Message" + std::to_string(i + 1) + "]\r\nDate=" + entries[i].Date + "\r\nTo=" + entries[i].To +
               "\r\nText=" + entries[i].Text + "\r\n";
    }
    return out;
}

std::string fileOrNone(const std::string& file)
{
    return testenv::fileExists(file) ? testenv::readFile(file) : std::string("<none>");
}

}  // namespace

TEST(SendQueue, LoadsAddsDeletesAndSavesEveryChangeAtOnce)
{
    const std::string file = testenv::makeDir("queue-model") + "/wait.dat";
    const TQueueEntry a{"05.03.2026 07:09", cp("Иван"), "one"};
    const TQueueEntry b{"06.03.2026 08:00", "Anna", "two"};
    const TQueueEntry c{"07.03.2026 09:30", cp("Пётр"), "three"};
    testenv::writeFile(file, waitBytes({a, b}));

    TSendQueue q(file);
    q.Load();
    ASSERT_EQ(q.Count(), 2u);
    EXPECT_EQ(q.Entry(1).To, "Anna");
    EXPECT_NE(q.Mark(0), q.Mark(1));

    q.Add(c);
    EXPECT_EQ(testenv::readFile(file), waitBytes({a, b, c}));
    // A mark stays with its entry however the entries before it go.
    const TSendQueue::TMark markC = q.Mark(2);
    q.Delete(0);
    EXPECT_EQ(testenv::readFile(file), waitBytes({b, c}));
    EXPECT_EQ(q.Find(markC), std::optional<size_t>(1));
    q.Delete(5);  // beyond the last: nothing
    EXPECT_EQ(q.Count(), 2u);

    // A done entry is not kept in the file, and goes from the queue with the
    // drop of the done ones.
    ASSERT_TRUE(q.SetDone(q.Mark(0)));
    q.Save();
    EXPECT_EQ(testenv::readFile(file), waitBytes({c}));
    EXPECT_EQ(q.Count(), 2u);
    EXPECT_TRUE(q.DropDone());
    EXPECT_FALSE(q.DropDone());
    ASSERT_EQ(q.Count(), 1u);
    EXPECT_EQ(q.Entry(0).To, c.To);

    q.DeleteAll();
    EXPECT_TRUE(q.Empty());
    EXPECT_EQ(fileOrNone(file), "<none>");

    // A queue whose every entry is done leaves no file either.
    q.Add(a);
    q.SetDone(q.Mark(0));
    q.Save();
    EXPECT_EQ(fileOrNone(file), "<none>");
}

TEST(SendQueue, ShownNamesMatchIgnoringCaseAndOnlyThem)
{
    const TShownNames shown({cp("Иван"), "Anna", cp("ИВАН"), cp("Ёж"), "anna ", cp("иван")});
    struct Case {
        AnsiString name;
        std::vector<size_t> rows;
    } cases[] = {
        {cp("иван"), {0, 2, 5}},
        {cp("ИвАн"), {0, 2, 5}},
        {"ANNA", {1}},
        {"anna ", {4}},  // the blank is part of the name
        {cp("ёж"), {3}},
        {cp("Еж"), {}},  // "Ё" is a letter of its own
        {"", {}},
        {cp("Пётр"), {}},
    };
    for (const Case& c : cases) EXPECT_EQ(shown.Find(c.name), c.rows) << c.name;
}

TEST(SendQueue, DueTestMakesUnreadableEntriesDoneAndWantsSomebodyShown)
{
    const std::string file = testenv::makeDir("queue-due") + "/wait.dat";
    const QDateTime now(QDate(2026, 12, 10), QTime(12, 0, 0));
    TSendQueue q(file);
    q.Add({"10.12.2026 25:99", "Anna", "unreadable"});
    q.Add({"09.12.2026 23:59", cp("Шеф"), "due, other group"});
    q.Add({"10.12.2026 12:00", cp("Иван"), "exactly now"});
    q.Add({"11.12.2026 10:00", "ANNA", "tomorrow"});

    const TShownNames shown({cp("иван"), "anna"});
    EXPECT_FALSE(q.AnyDue(shown, now));
    // The unreadable entry is done now, and dropped unsent.
    EXPECT_EQ(q.Entry(0).Date, "");
    EXPECT_EQ(q.Due(1, now), TDue::Due);
    EXPECT_EQ(q.Due(2, now), TDue::NotYet);
    // One second on, the entry of 12:00 is due, and its contact shown under
    // another case.
    EXPECT_TRUE(q.AnyDue(shown, now.addSecs(1)));
    EXPECT_TRUE(q.AnyDue(TShownNames({cp("ШЕФ")}), now));
    EXPECT_TRUE(q.DropDone());
    EXPECT_EQ(q.Count(), 3u);
    EXPECT_EQ(testenv::readFile(file).find("unreadable"), std::string::npos);
}

TEST(SendQueue, PicksEachEntryForEveryShownContactOfItsName)
{
    TSendQueue q(testenv::makeDir("queue-pick") + "/wait.dat");
    q.Add({"01.01.2026 10:00", "anna", "a"});
    q.Add({"01.01.2026 10:00", cp("Шеф"), "nobody shown"});
    q.Add({"01.01.2026 10:00", cp("ИВАН"), "i"});
    q.Add({"01.01.2026 10:00", "Anna", "done"});
    q.SetDone(q.Mark(3));
    const TShownNames shown({cp("Иван"), "ANNA", "Anna", cp("иван")});

    auto picked = [](const std::vector<TSendQueue::TPick>& picks) {
        std::vector<std::string> out;
        for (const auto& p : picks) out.push_back(p.Text + std::to_string(p.Contact));
        return out;
    };
    EXPECT_EQ(picked(q.Pick(shown)), (std::vector<std::string>{"a1", "a2", "i0", "i3"}));
    EXPECT_EQ(picked(q.Pick(shown, 2)), (std::vector<std::string>{"i0", "i3"}));
    EXPECT_TRUE(q.Pick(shown, 3).empty());  // a done entry never goes again
    EXPECT_TRUE(q.Pick(shown, 9).empty());
    const auto picks = q.Pick(shown, 0);
    ASSERT_EQ(picks.size(), 2u);
    EXPECT_EQ(picks[0].Mark, q.Mark(0));
    EXPECT_EQ(picks[0].Caption, "01.01.2026 10:00");
}

TEST(SendQueue, StrikeOffIsSavedAtOnceAndAnEntryDeletedMeanwhileIsFoundGone)
{
    const std::string file = testenv::makeDir("queue-strike") + "/wait.dat";
    const TQueueEntry a{"01.01.2026 10:00", "a", "first"};
    const TQueueEntry b{"01.01.2026 11:00", "b", "second"};
    const TQueueEntry c{"01.01.2026 12:00", "c", "third"};
    TSendQueue q(file);
    for (const TQueueEntry& e : {a, b, c}) q.Add(e);
    const auto picks = q.Pick(TShownNames({"a", "b", "c"}));
    ASSERT_EQ(picks.size(), 3u);

    q.StrikeOff(picks[0].Mark);
    EXPECT_EQ(testenv::readFile(file), waitBytes({b, c}));
    // While the send is held up, the user deletes the second entry.
    q.Delete(1);
    EXPECT_FALSE(q.Find(picks[1].Mark).has_value());
    EXPECT_FALSE(q.SetDone(picks[1].Mark));
    q.StrikeOff(picks[1].Mark);  // nothing to strike off; the file stays right
    EXPECT_EQ(testenv::readFile(file), waitBytes({c}));
    q.StrikeOff(picks[2].Mark);
    EXPECT_EQ(fileOrNone(file), "<none>");
    EXPECT_TRUE(q.DropDone());
    EXPECT_TRUE(q.Empty());
}

TEST(SendQueue, AFailedSaveKeepsTheChangeAndIsTriedAgain)
{
    const std::string file = testenv::makeDir("queue-unsaved") + "/wait.dat";
    TSendQueue q(file);
    q.Add({"01.01.2026 10:00", "a", "kept"});
    chmod(file.c_str(), 0444);
    EXPECT_THROW(q.Add({"01.01.2026 11:00", "b", "new"}), EIniFileException);
    chmod(file.c_str(), 0644);
    EXPECT_EQ(q.Count(), 2u);
    EXPECT_TRUE(q.Unsaved());
    q.SaveIfUnsaved();
    EXPECT_FALSE(q.Unsaved());
    EXPECT_EQ(testenv::readFile(file), waitBytes({{"01.01.2026 10:00", "a", "kept"}, {"01.01.2026 11:00", "b", "new"}}));
}
