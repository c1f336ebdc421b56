// The user's operators in user.dat: read, written and compared.

#include "pager/useroperators.h"

#include "platform/inifile.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <string>

namespace {

using testenv::cp;

const std::string kFixtures = ORV_FIXTURES "/dialogs/";

std::string freshFile(const std::string& name)
{
    static int n = 0;
    return testenv::makeDir("userops-" + std::to_string(++n)) + "/" + name;
}

TEST(UserOperators, NameAndCityOfASectionName)
{
    struct Case {
        const char* text;
        const char* name;
        const char* city;
    } cases[] = {
        {"Op (City)", "Op", "City"},
        {" Op  (  City ) ", " Op  (  City ) ", " Op  (  City ) "},  // does not end with ")"
        {"Op(City)", "Op", "City"},
        {"Op", "Op", "Op"},
        {"Op (City", "Op (City", "Op (City"},
        {"A (B) (C)", "A", "B) (C"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetOpName(cp(c.text)), cp(c.name)) << c.text;
        EXPECT_EQ(GetOpCity(cp(c.text)), cp(c.city)) << c.text;
    }
}

TEST(UserOperators, LoadsTheFileAsTheOptionsDialogListsIt)
{
    const auto ops = LoadUserOperators(kFixtures + "user.dat");
    ASSERT_EQ(ops.size(), 3u);  // the section without a gateway is left out
    // "SMS:" in capitals: an SMS operator; the gateway comes back lower-cased.
    EXPECT_EQ(ops[0], (TUserOperator{1, cp("Тверь"), cp("Свой"), {"###@my.example.net", cp("Свой")}}));
    // In small letters it is a pager operator whose name keeps the prefix.
    EXPECT_EQ(ops[1], (TUserOperator{0, cp("Тверь"), cp("sms:Малый"), {"###@small.example.net", ""}}));
    // Without parentheses the whole name is both city and name.
    EXPECT_EQ(ops[2], (TUserOperator{0, cp("Голый"), cp("Голый"), {"###@bare.example.net", ""}}));

    EXPECT_TRUE(LoadUserOperators(freshFile("missing.dat")).empty());
}

TEST(UserOperators, WritesTheWholeFile)
{
    const std::string file = freshFile("user.dat");
    testenv::writeFile(file, "; old comment\r\n[Old (X)]\r\nMailGate=###@old\r\nOther=kept?\r\n");
    auto ops = LoadUserOperators(kFixtures + "user.dat");
    ops.push_back({0, cp("Новый"), cp("Оператор"), {"###@UPPER.Example", cp("\"в кавычках\"")}});
    SaveUserOperators(file, ops);
    EXPECT_EQ(testenv::readFile(file),
              cp("[SMS:Свой (Тверь)]\r\nMailGate=###@my.example.net\r\nDescription=Свой\r\n\r\n"
                 "[sms:Малый (Тверь)]\r\nMailGate=###@small.example.net\r\n\r\n"
                 "[Голый (Голый)]\r\nMailGate=###@bare.example.net\r\n\r\n"
                 "[Оператор (Новый)]\r\nMailGate=###@UPPER.Example\r\nDescription=\"\"в кавычках\"\"\r\n"));

    // Read back: the gateway lower-cased, the description whole with its quotes.
    const auto back = LoadUserOperators(file);
    ASSERT_EQ(back.size(), 4u);
    EXPECT_EQ(back[3].Item.MailGate, "###@upper.example");
    EXPECT_EQ(back[3].Item.Description, cp("\"в кавычках\""));
    EXPECT_EQ(back[2].Name, cp("Голый"));

    // An empty list leaves no file.
    SaveUserOperators(file, {});
    EXPECT_FALSE(testenv::fileExists(file));
    SaveUserOperators(file, {});
}

TEST(UserOperators, AFailedWriteLeavesTheOldFile)
{
    const std::string file = freshFile("user.dat");
    const std::string old = "[Old (X)]\r\nMailGate=###@old\r\n";
    testenv::writeFile(file, old);
    std::vector<TUserOperator> ops;
    for (int i = 0; i < 50; ++i) ops.push_back({0, "City", "Op" + std::to_string(i), {"###@x.example", "Long enough"}});

    // A file-size limit makes the write fail for any user, root too.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool raised = false;
    try {
        SaveUserOperators(file, ops);
    } catch (const EIniFileException& e) {
        raised = true;
        EXPECT_EQ(e.message(), "Unable to write to " + file);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(raised);
    EXPECT_EQ(testenv::readFile(file), old);
}

TEST(UserOperators, SameTypeNameAndCityAreOneOperator)
{
    const std::vector<TUserOperator> ops = {
        {0, cp("Тверь"), cp("Связь"), {}},
        {1, cp("Тверь"), cp("Связь"), {}},
        {0, cp("Тверь"), cp("sms:Связь"), {}},
    };
    struct Case {
        int type;
        const char* city;
        const char* name;
        int self;
        int found;
    } cases[] = {
        {0, "ТВЕРЬ", "связь", -1, 0},   // letter case ignored
        {1, "тверь", "СВЯЗЬ", -1, 1},
        {0, "Тверь", "Связь", 0, -1},   // the row itself
        {0, "Тверь", "Связь", 1, 0},
        {0, "Тверь", "Другая", -1, -1},
        {0, "Москва", "Связь", -1, -1},
        // A pager operator named "sms:X" and the SMS operator X are one section of the file.
        {1, "Тверь", "Связь", 1, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindSameUserOperator(ops, {c.type, cp(c.city), cp(c.name), {}}, c.self), c.found)
            << c.city << " " << c.name;
    }
}

}  // namespace
