#include "pager/encod.h"
#include "pager/service.h"
#include "platform/codepage.h"

#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using testenv::cp;
using namespace std::string_literals;

QDateTime at(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0, int ms = 0)
{
    return QDateTime(QDate(y, m, d), QTime(hh, mm, ss, ms));
}

TEST(Service, DateKeyFollowsItsFormula)
{
    struct Case {
        QDateTime d;
        int key;
    };
    const std::vector<Case> cases = {
        {at(2000, 1, 1), 32},
        {at(2001, 3, 5), 372 + 93 + 5},
        {at(2001, 3, 5, 23, 59, 59, 999), 372 + 93 + 5},
        {at(1999, 12, 31), -372 + 372 + 31},
        {at(2024, 2, 29), 24 * 372 + 62 + 29},
    };
    for (const auto& c : cases) EXPECT_EQ(DateKey(c.d), c.key) << c.d.toString().toStdString();

    EXPECT_EQ(DateKey(at(2005, 2, 1)) - DateKey(at(2005, 1, 31)), 1);
    EXPECT_EQ(DateKey(at(2006, 1, 1)) - DateKey(at(2005, 12, 31)), 1);
}

TEST(Service, DateKeysKeepTheOrderOfDates)
{
    const std::vector<QDateTime> dates = {
        at(1999, 12, 31), at(2000, 1, 1),  at(2000, 1, 31), at(2000, 2, 1),
        at(2000, 2, 29),  at(2000, 3, 1),  at(2000, 12, 31), at(2001, 1, 1),
        at(2010, 6, 15),  at(2037, 12, 31),
    };
    for (std::size_t i = 1; i < dates.size(); ++i) {
        EXPECT_LT(DateKey(dates[i - 1]), DateKey(dates[i])) << i;
        EXPECT_EQ(CompareDates(dates[i], dates[i - 1]), 1);
        EXPECT_EQ(CompareDates(dates[i - 1], dates[i]), -1);
    }
    EXPECT_EQ(CompareDates(at(2001, 3, 5, 1), at(2001, 3, 5, 23)), 0);
}

TEST(Service, TimeKeyAndCompareTimes)
{
    EXPECT_EQ(TimeKey(at(2001, 3, 5, 0, 0, 0)), 0);
    EXPECT_EQ(TimeKey(at(2001, 3, 5, 13, 7, 9, 999)), 13 * 3600 + 7 * 60 + 9);
    EXPECT_EQ(TimeKey(at(1999, 1, 1, 23, 59, 59)), 86399);

    EXPECT_EQ(CompareTimes(at(2001, 1, 1, 10, 0, 1), at(2001, 1, 1, 10, 0, 0)), 1);
    EXPECT_EQ(CompareTimes(at(2001, 1, 1, 9, 59, 59), at(2001, 1, 1, 10, 0, 0)), -1);
    // Dates and milliseconds play no part.
    EXPECT_EQ(CompareTimes(at(2001, 1, 1, 10, 0, 0, 1), at(2030, 7, 7, 10, 0, 0, 900)), 0);
    EXPECT_EQ(CompareTimes(at(2030, 1, 1, 1), at(2001, 1, 1, 2)), -1);
}

TEST(Service, IntToStrZ)
{
    struct Case {
        int n;
        int width;
        AnsiString want;
    };
    const std::vector<Case> cases = {
        {5, 2, "05"}, {5, 0, "5"}, {12, 2, "12"}, {123, 2, "123"},
        {2001, 4, "2001"}, {7, 4, "0007"}, {0, 3, "000"}, {0, 0, "0"},
    };
    for (const auto& c : cases) EXPECT_EQ(IntToStrZ(c.n, c.width), c.want) << c.n << "/" << c.width;

    const AnsiString wide = IntToStrZ(42, 1000);
    ASSERT_EQ(wide.size(), 255u);
    EXPECT_EQ(wide, AnsiString(255, '0'));
}

TEST(Service, FormatTimeWidths)
{
    struct Case {
        int width;
        QDateTime t;
        AnsiString want;
    };
    const std::vector<Case> cases = {
        {2, at(2001, 3, 5, 9, 5, 59), "09:05"},
        {2, at(2001, 3, 5, 23, 45), "23:45"},
        {2, at(2001, 3, 5, 0, 0), "00:00"},
        {0, at(2001, 3, 5, 9, 5), "9:5"},
        {-1, at(2001, 3, 5, 9, 5), "9:5"},
        {1, at(2001, 3, 5, 9, 5), "9:5"},
        {1, at(2001, 3, 5, 12, 30), "12:30"},
        {3, at(2001, 3, 5, 9, 45), "009:045"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatTime(c.width, c.t), c.want) << c.width;

    const AnsiString wide = FormatTime(200, at(2001, 3, 5, 9, 5));
    ASSERT_EQ(wide.size(), 255u);
    EXPECT_EQ(wide.substr(198, 3), "09:");
}

TEST(Service, FormatDateKinds)
{
    struct Case {
        int kind;
        QDateTime d;
        const char* want;  // UTF-8
    };
    const std::vector<Case> cases = {
        {1, at(2001, 3, 5, 17, 30), "05.03.2001"},
        {2, at(2001, 3, 5), "5 марта 2001"},
        {3, at(2001, 3, 5), "05.03"},
        {4, at(2001, 3, 5), "5 марта"},
        {0, at(2001, 3, 5), "5.3.2001"},
        {5, at(2001, 3, 5), "5.3.2001"},
        {-1, at(2001, 3, 5), "5.3.2001"},
        {1, at(2020, 12, 31), "31.12.2020"},
        {2, at(2020, 12, 31), "31 декабря 2020"},
        {4, at(1999, 1, 15), "15 января"},
        {1, at(999, 7, 4), "04.07.0999"},
        {9, at(2020, 11, 30), "30.11.2020"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatDate(c.kind, c.d), cp(c.want)) << c.want;
}

TEST(Service, MonthNamesInTheGenitive)
{
    const std::vector<const char*> names = {
        "января", "февраля", "марта",    "апреля",  "мая",    "июня",
        "июля",   "августа", "сентября", "октября", "ноября", "декабря"};
    for (int m = 1; m <= 12; ++m) {
        EXPECT_EQ(MonthName(m), cp(names[static_cast<std::size_t>(m - 1)])) << m;
        EXPECT_LE(MonthName(m).size(), 8u);
        EXPECT_EQ(FormatDate(4, at(2001, m, 1)), "1 " + MonthName(m));
    }
    EXPECT_EQ(MonthName(0), "");
    EXPECT_EQ(MonthName(13), "");
}

TEST(Service, InsertNumber)
{
    struct Case {
        AnsiString tmpl;
        AnsiString number;
        AnsiString want;
    };
    const std::vector<Case> cases = {
        {"###@pager.example", "1234", "1234@pager.example"},
        {"a###b###c", "9", "a9b###c"},
        {"no slot", "1", "no slot"},
        {"####", "5", "5#"},
        {"sms###?subject=###", "", "sms?subject=###"},
        {"", "1", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(InsertNumber(c.tmpl, c.number), c.want) << c.tmpl;

    const AnsiString tmpl = AnsiString(250, 'x') + "###";
    const AnsiString got = InsertNumber(tmpl, "1234567890");
    ASSERT_EQ(got.size(), 255u);
    EXPECT_EQ(got, AnsiString(250, 'x') + "12345");
}

TEST(Service, ReplaceMacro)
{
    struct Case {
        const char* s;  // UTF-8
        const char* name;
        const char* value;
        const char* want;
    };
    const std::vector<Case> cases = {
        {"Hi %NAME%, %Name%!", "NAME", "Bob", "Hi Bob, Bob!"},
        {"Hi %NAME%, %Name%!", "name", "", "Hi , !"},
        {"%name%%NAME%", "Name", "x", "xx"},
        {"no macro here", "NAME", "Bob", "no macro here"},
        {"%NAME", "NAME", "Bob", "%NAME"},
        {"%NAMES%", "NAME", "Bob", "%NAMES%"},
        {"", "NAME", "Bob", ""},
        {"keep %NAME%", "", "Bob", "keep %NAME%"},
        // A value holding the macro itself is not taken up again.
        {"To %NAME% and %name%", "NAME", "%name%", "To %name% and %name%"},
        {"%NAME%", "NAME", "<%NAME%%NAME%>", "<%NAME%%NAME%>"},
        // Cyrillic letters match in any case.
        {"Привет, %ИМЯ%! %Имя%, %имя%.", "имя", "Пётр", "Привет, Пётр! Пётр, Пётр."},
        {"%ЁЖ% %ёж%", "Ёж", "ok", "ok ok"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReplaceMacro(cp(c.s), cp(c.name), cp(c.value)), cp(c.want)) << c.s;
    }
}

TEST(Service, NeedEndMark)
{
    struct Case {
        AnsiString s;
        bool want;
    };
    const std::vector<Case> cases = {
        {"", false},     {"Hi!", false}, {"(ok)", false}, {"end.", false},
        {"why?", false}, {"hi", true},   {"hi ", true},   {"a,", true},
        {cp("Привет"), true}, {"1", true},
    };
    for (const auto& c : cases) EXPECT_EQ(NeedEndMark(c.s), c.want) << c.s;
}

TEST(Service, RecodeNames)
{
    struct Case {
        int code;
        AnsiString stored;
        AnsiString shown;
    };
    const std::vector<Case> cases = {
        {0, "", "KOI8"},
        {1, "WIN", "WIN"},
        {2, "RUS2LAT", "RUS->LAT"},
        {3, "LAT2KOI8", "LAT->KOI8"},
        {4, "LAT2WIN", "LAT->WIN"},
    };
    ASSERT_EQ(static_cast<int>(cases.size()), RecodeCount);
    for (const auto& c : cases) {
        EXPECT_EQ(RecodeStoredName(c.code), c.stored);
        EXPECT_EQ(RecodeShownName(c.code), c.shown);
        EXPECT_EQ(RecodeCodeOfStored(c.stored), c.code);
    }
    EXPECT_EQ(RecodeStoredName(-1), "");
    EXPECT_EQ(RecodeShownName(5), "");
    EXPECT_EQ(RecodeCodeOfStored("rus2lat"), 2);
    EXPECT_EQ(RecodeCodeOfStored("Lat2Win"), 4);
    EXPECT_EQ(RecodeCodeOfStored("KOI8"), 0);
    EXPECT_EQ(RecodeCodeOfStored("UTF8"), 0);
    EXPECT_EQ(RecodeCodeOfStored("WIN "), 0);
}

// Minutes as the timers take them: worked out in 64 bits, never more than a
// timer's longest interval (a 32-bit product overflowed from 35,792 minutes).
TEST(Service, MinutesToMs)
{
    struct Case {
        int32_t minutes;
        int32_t ms;
    };
    const std::vector<Case> cases = {
        {5, 300000},         {1, 60000},           {9999, 599940000},      {35791, 2147460000},
        {35792, INT32_MAX},  {40000, INT32_MAX},   {71583, INT32_MAX},     {INT32_MAX, INT32_MAX},
        {0, 0},              {-1, 0},              {INT32_MIN, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(MinutesToMs(c.minutes), c.ms) << c.minutes;
}

// What a reader takes from a hostile file becomes a text its writer takes back.
TEST(Service, StorableNamesAndValues)
{
    struct Case {
        std::string s;
        std::string name;
        std::string value;
    };
    const std::vector<Case> cases = {
        {"Иван", "Иван", "Иван"},
        {"Ив\rан", "Ив ан", "Ив ан"},
        {"a\0b"s, "a b", "a b"},
        {"a\tb", "a b", "a\tb"},
        {"a\x01\x1f b", "a   b", "a\x01\x1f b"},
        {"\r\nx\r", "x", "  x "},
        {"\r", "", " "},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StorableName(codepage::fromUtf8(c.s)), codepage::fromUtf8(c.name));
        EXPECT_EQ(OneLineValue(c.s), c.value);
    }
}

AnsiString iconvToKoi8(const AnsiString& cp1251)
{
    const std::string file = testenv::makeDir("encod") + "/letters.txt";
    testenv::writeFile(file, cp1251);
    const std::string command = "/usr/bin/iconv -f CP1251 -t KOI8-R '" + file + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    AnsiString out;
    char buf[256];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    pclose(pipe);
    return out;
}

TEST(Encod, WinToKoiMatchesIconvForTheCyrillicLetters)
{
    AnsiString letters;
    for (int b = 192; b <= 255; ++b) letters += static_cast<char>(b);
    letters += cp("Ёё");
    const AnsiString koi = iconvToKoi8(letters);
    ASSERT_EQ(koi.size(), 66u);
    EXPECT_EQ(WinToKoi(letters), koi);
    for (size_t i = 0; i < letters.size(); ++i) {
        EXPECT_EQ(WinToKoiChar(byteOf(letters[i])), byteOf(koi[i])) << +byteOf(letters[i]);
    }
}

TEST(Encod, WinToKoiLeavesEveryOtherByte)
{
    for (int b = 0; b < 192; ++b) {
        if (b == 0xA8 || b == 0xB8) continue;  // "Ё" and "ё"
        EXPECT_EQ(WinToKoiChar(static_cast<unsigned char>(b)), b) << b;
    }
    const AnsiString plain = "0123456789 AZaz.,!" + cp("№«»");
    EXPECT_EQ(WinToKoi(plain), plain);
    EXPECT_EQ(WinToKoi(""), "");
    EXPECT_EQ(WinToKoi(cp("Ёлка 1, ёж")), "\xB3" "\xCC\xCB\xC1" " 1, " "\xA3\xD6");
}

}  // namespace
