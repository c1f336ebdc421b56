#include "pager/opdb.h"
#include "pager/service.h"

#include "platform/codepage.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using testenv::cp;

const std::string kFixtures = ORV_FIXTURES "/book/";

void fill(TOpList& list, const std::vector<const char*>& templatesUtf8)
{
    int n = 0;
    for (const char* t : templatesUtf8) list.Add("Op" + std::to_string(n++) + " (City)", {cp(t), "D"});
}

TEST(OpDb, LoadsOperatorsThenUserOperators)
{
    TOpList list;
    LoadOperators(list, kFixtures + "operators.dat");
    LoadOperators(list, kFixtures + "user.dat");

    struct Want {
        const char* name;
        const char* gate;
        const char* description;
    };
    // Sections without a template and templates already known are left out;
    // a section name may come twice when the templates differ.
    const std::vector<Want> want = {
        {"Пейдж-Сервис (Москва)", "###@pager.example.net", "Пейдж-Сервис, тел. 000-00-01"},
        {"SMS:Мобил (Москва)", "###@sms.example.org", "Мобил"},
        {"Op1 (City1)", "###-gw", "Op1"},
        {"Вектор ( Новосибирск )", "pg###@vector.example.net", "Вектор"},
        {"SMS:Северная связь (Санкт-Петербург)", "gate@sms.example.com?subject=###", "Северная связь, 000-00-02"},
        {"Op (City", "###@c.example.net", "Op"},
        {"Op", "###@d.example.net", "Op"},
        {"Свой оператор (Тверь)", "###@my.example.net", "Свой"},
        {"Пейдж-Сервис (Москва)", "###@other.example.net", "Пейдж-Сервис"},
    };
    ASSERT_EQ(list.Count(), static_cast<int>(want.size()));
    for (int i = 0; i < list.Count(); ++i) {
        const Want& w = want[static_cast<size_t>(i)];
        EXPECT_EQ(list.Strings(i), cp(w.name)) << i;
        EXPECT_EQ(list.Objects(i).MailGate, cp(w.gate)) << i;
        EXPECT_EQ(list.Objects(i).Description, cp(w.description)) << i;
    }
}

TEST(OpDb, MissingFilesLoadNothing)
{
    TOpList ops;
    LoadOperators(ops, testenv::root() + "/no-such/operators.dat");
    EXPECT_EQ(ops.Count(), 0);
    TPagerList pagers;
    LoadPagers(pagers, testenv::root() + "/no-such/pagers.dat");
    EXPECT_EQ(pagers.Count(), 0);
    EXPECT_EQ(GetPagerIndex(pagers, "X"), -1);
}

TEST(OpDb, LongTextsAreCutWhenStored)
{
    const std::string dir = testenv::makeDir("opdb-long");
    testenv::writeFile(dir + "/operators.dat", "[Long (City)]\r\nMailGate=###@" + std::string(300, 'A') +
                                                   "\r\nDescription=" + std::string(300, 'd') + "\r\n");
    TOpList list;
    LoadOperators(list, dir + "/operators.dat");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Objects(0).MailGate, "###@" + std::string(251, 'a'));
    EXPECT_EQ(list.Objects(0).Description, std::string(255, 'd'));
}

TEST(OpDb, NotUseComparesTemplatesExactly)
{
    TOpList list;
    fill(list, {"###@a.example.net"});
    EXPECT_FALSE(NotUse(list, {"###@a.example.net", ""}));
    EXPECT_TRUE(NotUse(list, {"###@A.example.net", ""}));
    EXPECT_TRUE(NotUse(list, {"###@a.example.ne", ""}));
    list.Clear();
    EXPECT_TRUE(NotUse(list, {"###@a.example.net", ""}));
}

TEST(OpDb, GetOpIndexCases)
{
    struct Case {
        const char* what;
        std::vector<const char*> templates;
        const char* addr;
        int want;
    };
    const std::vector<Case> cases = {
        {"number first: the rest occurs", {"###-gw"}, "12345-gw-x", 0},
        {"the longest matching template wins", {"###-gw", "###-gw-x"}, "12345-gw-x", 1},
        {"also when the longer one comes first", {"###-gw-x", "###-gw"}, "12345-gw-x", 0},
        {"equal length: the first wins", {"###@ab", "###@cd", "ab###"}, "1@ab1@cd", 0},
        {"a longer template that does not match loses", {"###-gw", "###-gw-long"}, "1-gw-x", 0},
        {"number first is a loose test", {"###@x.example.net"}, "a1@x.example.net.other", 0},
        {"number last", {"gate@sms.example.com?subject=###"}, "gate@sms.example.com?subject=123", 0},
        {"number last, loose", {"pre###"}, "xx-pre-yy", 0},
        {"middle", {"pre###post"}, "pre12post", 0},
        {"middle: the prefix must start the address", {"pre###post"}, "xpre12post", -1},
        {"middle: the suffix must end the address", {"pre###post"}, "pre12postx", -1},
        {"middle, letter case apart", {"pre###post"}, "PRE12Post", 0},
        {"middle, nothing between", {"pre###post"}, "prepost", 0},
        {"Cyrillic letters compared without case", {"###@почта.example.net"}, "12@ПОЧТА.example.net", 0},
        {"a lone ### never matches", {"###"}, "12345", -1},
        {"nor does ###### or #####", {"######", "#####"}, "#####", -1},
        {"a template without ### matches nothing", {"info@example.net"}, "info@example.net", -1},
        {"not even among others", {"x", "###@x"}, "1@x", 1},
        {"other # are dropped in the loose test", {"###@a#b"}, "1@ab", 0},
        {"no operator", {"###@a.example.net", "pre###post"}, "1@b.example.net", -1},
        {"empty address", {"###@a.example.net"}, "", -1},
        {"short template, indexed or not", {"###ab", "###a"}, "1ab", 0},
    };
    for (const Case& c : cases) {
        TOpList list;
        fill(list, c.templates);
        EXPECT_EQ(GetOpIndex(list, cp(c.addr)), c.want) << c.what;
    }
}

TEST(OpDb, GetOpIndexSeesAddedOperators)
{
    TOpList list;
    fill(list, {"###@a.example.net"});
    EXPECT_EQ(GetOpIndex(list, "1@b.example.net"), -1);
    list.Add("New (City)", {"###@b.example.net", "N"});
    EXPECT_EQ(GetOpIndex(list, "1@b.example.net"), 1);
    list.Clear();
    EXPECT_EQ(GetOpIndex(list, "1@b.example.net"), -1);
}

// The look-up rule as a scan of every entry, to hold the indexed look-up to.
int scanOpIndex(const TOpList& list, const AnsiString& addr)
{
    int best = -1;
    size_t bestLength = 0;
    const AnsiString a = codepage::lowerCase(addr);
    for (int i = 0; i < list.Count(); ++i) {
        const AnsiString t = codepage::lowerCase(list.Objects(i).MailGate);
        if (t.empty()) continue;
        const size_t p = t.find("###");
        if (p == AnsiString::npos) continue;
        bool match;
        if (p == 0 || p == t.size() - 3) {
            AnsiString k;
            for (char c : t) {
                if (c != '#') k += c;
            }
            match = !k.empty() && a.find(k) != AnsiString::npos;
        } else {
            match = a.compare(0, p, t, 0, p) == 0 && a.size() >= p &&
                    a.ends_with(std::string_view(t).substr(p + 3));
        }
        if (match && t.size() > bestLength) {
            best = i;
            bestLength = t.size();
        }
    }
    return best;
}

TEST(OpDb, GetOpIndexAgreesWithAScanOfEveryOperator)
{
    // Few letters, so that templates overlap and share pieces.
    std::mt19937 rng(1234);
    const std::string letters = "abAB.@#";
    auto text = [&](int maxLength) {
        std::string s;
        const int n = static_cast<int>(rng() % static_cast<unsigned>(maxLength + 1));
        for (int i = 0; i < n; ++i) s += letters[rng() % letters.size()];
        return s;
    };
    int matched = 0;
    for (int round = 0; round < 40; ++round) {
        TOpList list;
        for (int i = 0; i < 60; ++i) {
            const std::string before = text(7);
            const std::string after = text(7);
            std::string t;
            switch (rng() % 4) {
            case 0: t = before + after; break;  // no number slot
            case 1: t = "###" + after; break;
            case 2: t = before + "###"; break;
            default: t = before + "###" + after; break;
            }
            list.Add("Op", {codepage::lowerCase(t), ""});
        }
        for (int k = 0; k < 200; ++k) {
            const AnsiString addr = text(6) + "1" + text(9);
            const int want = scanOpIndex(list, addr);
            ASSERT_EQ(GetOpIndex(list, addr), want) << "address " << addr;
            matched += want >= 0;
        }
    }
    EXPECT_GT(matched, 1000);  // the data match often enough to tell
}

TEST(OpDb, GetTypeIndex)
{
    TOpList list;
    list.Add("Pager (City)", {"###@pager.example.net", "P"});
    list.Add("sms:Lower (City)", {"###@sms.example.org", "S"});
    list.Add("SMS:Upper (City)", {"###@sms.example.com", "S"});
    EXPECT_EQ(GetTypeIndex(list, "1@pager.example.net"), 0);
    EXPECT_EQ(GetTypeIndex(list, "1@sms.example.org"), 1);
    EXPECT_EQ(GetTypeIndex(list, "1@sms.example.com"), 1);
    EXPECT_EQ(GetTypeIndex(list, "1@elsewhere.example.net"), -1);
}

TEST(OpDb, GetPagerNumCases)
{
    TOpList list;
    fill(list, {"pre###post", "###-gw", "gate@sms.example.com?subject=###", "info@example.net", "###@почта.ru"});
    struct Case {
        const char* addr;
        int index;
        const char* want;
    };
    const std::vector<Case> cases = {
        {"PRE12POST", 0, "12"},
        {"12-gw", 1, "12"},
        {"12-gw-x", 1, "12"},
        {"12AB-gw", 1, "12ab"},  // Latin capitals of a number come back lowered
        {"no-suffix-here", 1, "no-suffix-here"},
        {"gate@sms.example.com?subject=987", 2, "987"},
        {"xy", 0, ""},  // shorter than the prefix
        {"12-gw", -1, ""},
        {"12-gw", 99, ""},
        {"info@example.net", 3, ""},  // no number slot, no number
        {"12@ПОЧТА.ru", 4, "12"},
    };
    for (const Case& c : cases) EXPECT_EQ(GetPagerNum(list, cp(c.addr), c.index), cp(c.want)) << c.addr;
}

TEST(OpDb, GetOperatorIndexCases)
{
    TOpList list;
    list.Add(cp("name(city)"), {"###@1.example.net", cp("Desc One")});
    list.Add(cp("Пейджер ( Тверь )"), {"###@2.example.net", cp("Пейджинг, 000-01")});
    list.Add(cp("SMS:Мобил (Москва)"), {"###@3.example.net", cp("Мобил")});
    list.Add(cp("Мобил (Москва)"), {"###@4.example.net", cp("Мобил")});
    list.Add(cp("Broken (City"), {"###@5.example.net", cp("Broken")});
    list.Add(cp("  "), {"###@6.example.net", cp("")});

    struct Case {
        int type;
        const char* city;
        const char* op;
        bool withPhone;
        int want;
    };
    const std::vector<Case> cases = {
        // Without the phone list: section names apart from blanks and case.
        {0, "city", "name", false, 0},
        {0, "CITY", "Name", false, 0},
        {0, " c i t y ", "n ame", false, 0},
        {0, "Тверь", "Пейджер", false, 1},
        {1, "Москва", "Мобил", false, 2},
        {0, "Москва", "Мобил", false, 3},
        {1, "Москва", "Другой", false, -1},
        {0, "City", "Broken", false, -1},
        {2, "Москва", "Мобил", false, -1},
        // With it: the type, the city with its blanks, and the description.
        {0, "city", "desc one", true, 0},
        {0, "city", "name", true, -1},
        {0, " ТВЕРЬ ", "ПЕЙДЖИНГ, 000-01", true, 1},
        {0, "Тверь", "Пейджинг, 000-01", true, -1},
        {1, "москва", "мобил", true, 2},
        {0, "москва", "мобил", true, 3},
        {0, "City", "Broken", true, -1},
        {-1, "city", "desc one", true, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetOperatorIndex(list, c.type, cp(c.city), cp(c.op), c.withPhone), c.want)
            << c.type << " " << c.city << " " << c.op << " " << c.withPhone;
    }
}

TEST(OpDb, LoadsPagerModels)
{
    TPagerList list;
    LoadPagers(list, kFixtures + "pagers.dat");
    struct Want {
        const char* name;
        int max;
    };
    const std::vector<Want> want = {{"Альфа 100", 100}, {"X SMS", 70}, {"Y sms", 240}, {"Бета", 240}, {"Гамма 2000", 480}};
    ASSERT_EQ(list.Count(), static_cast<int>(want.size()));
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(list.Strings(i), cp(want[static_cast<size_t>(i)].name));
        EXPECT_EQ(list.Objects(i).MaxSymbols, want[static_cast<size_t>(i)].max) << i;
    }
    EXPECT_EQ(GetPagerIndex(list, cp("АЛЬФА 100")), 0);
    EXPECT_EQ(GetPagerIndex(list, cp("x sms")), 1);
    EXPECT_EQ(GetPagerIndex(list, cp("y SMS")), 2);
    EXPECT_EQ(GetPagerIndex(list, cp("Альфа")), -1);
    EXPECT_EQ(GetPagerIndex(list, ""), -1);

    EXPECT_TRUE(IsSmsModel("X SMS"));
    EXPECT_TRUE(IsSmsModel("SMSka"));
    EXPECT_FALSE(IsSmsModel("X sms"));
    EXPECT_FALSE(IsSmsModel("X Sms"));
}

TEST(OpDb, ShippedDataFilesLoad)
{
    TOpList ops;
    LoadOperators(ops, ORV_SOURCE_DIR "/data/operators.dat");
    ASSERT_GT(ops.Count(), 0);
    for (int i = 0; i < ops.Count(); ++i) {
        const TOpItem& op = ops.Objects(i);
        EXPECT_NE(op.MailGate.find("###"), AnsiString::npos) << ops.Strings(i);
        EXPECT_NE(op.MailGate.find("example."), AnsiString::npos) << ops.Strings(i);
        // Every shipped operator can be chosen in the contact dialog and found again.
        const AnsiString addr = InsertNumber(op.MailGate, "1234567");
        EXPECT_EQ(GetOpIndex(ops, addr), i) << ops.Strings(i);
    }
    TPagerList pagers;
    LoadPagers(pagers, ORV_SOURCE_DIR "/data/pagers.dat");
    EXPECT_GT(pagers.Count(), 0);
}

}  // namespace
