// The contact dialog's lists, where a stored operator stands in them, and the
// rule that enables its OK.

#include "pager/contactchoice.h"

#include "pager/opdb.h"
#include "platform/codepage.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testenv::cp;

const std::string kFixtures = ORV_FIXTURES "/dialogs/";

std::vector<AnsiString> cps(std::initializer_list<const char*> list)
{
    std::vector<AnsiString> out;
    for (const char* s : list) out.push_back(cp(s));
    return out;
}

class ContactChoice : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoadOperators(ops, kFixtures + "operators.dat");
        LoadPagers(pagers, kFixtures + "pagers.dat");
    }
    std::vector<AnsiString> texts(int type, const char* city, bool withPhone) const
    {
        std::vector<AnsiString> out;
        for (const TContactOperator& o : ContactOperators(ops, type, cp(city), withPhone)) out.push_back(o.Text);
        return out;
    }
    TOpList ops;
    TPagerList pagers;
};

TEST(OpPlace, SectionNamesAsTheDialogReadsThem)
{
    struct Case {
        const char* section;
        bool listed;
        int type;
        const char* city;
        const char* name;
    } cases[] = {
        {"Op (City)", true, OpTypePager, "City", "Op"},
        {"SMS:Op (City)", true, OpTypeSms, "City", "Op"},
        {"sms:Op (City)", true, OpTypeSms, "City", "Op"},
        {"  Op ( City )  ", true, OpTypePager, " City ", "Op"},
        {"Op(A)(B)", true, OpTypePager, "A)(B", "Op"},
        {"Op (City", false, OpTypePager, "", ""},
        {"Op", false, OpTypePager, "", ""},
        {"SMS:", false, OpTypeSms, "", ""},
        {"", false, OpTypePager, "", ""},
    };
    for (const Case& c : cases) {
        const TOpPlace p = OpPlaceOf(c.section);
        EXPECT_EQ(p.Listed, c.listed) << c.section;
        EXPECT_EQ(p.Type, c.type) << c.section;
        EXPECT_EQ(p.City, c.city) << c.section;
        EXPECT_EQ(p.Name, c.name) << c.section;
    }
}

TEST_F(ContactChoice, CitiesOfAType)
{
    // "Москва" and "МОСКВА" are one city; the section without parentheses is not offered.
    EXPECT_EQ(ContactCities(ops, OpTypePager), cps({"Москва", "Самара"}));
    // "sms:" in small letters is an SMS operator here; the list is sorted.
    EXPECT_EQ(ContactCities(ops, OpTypeSms), cps({"Москва", "Санкт-Петербург", "Тверь"}));
    TOpList none;
    EXPECT_TRUE(ContactCities(none, OpTypePager).empty());
}

// As a Russian list sorts them: "Ё" with "Е", not before "А" by its byte.
TEST(ContactChoiceOrder, YoSortsWithYeInTheCityAndOperatorLists)
{
    TOpList ops;
    for (const char* section : {"Ёлка (Ейск)", "Ель (Ёлкино)", "Альфа (Архангельск)", "Ежи (Жуков)", "Елена (Елец)",
                                "ёжик (Ёлкино)", "Енот (Ёлкино)", "Еж (Ёлкино)"})
        ops.Add(cp(section), TOpItem{"###@x.example", ""});
    EXPECT_EQ(ContactCities(ops, OpTypePager), cps({"Архангельск", "Ейск", "Елец", "Ёлкино", "Жуков"}));
    std::vector<AnsiString> names;
    for (const TContactOperator& o : ContactOperators(ops, OpTypePager, cp("Ёлкино"), false)) names.push_back(o.Text);
    EXPECT_EQ(names, cps({"Еж", "ёжик", "Ель", "Енот"}));
}

TEST_F(ContactChoice, OperatorsOfACityByNameOrDescription)
{
    // The city is compared without letter case.
    EXPECT_EQ(texts(OpTypePager, "москва", false), cps({"Пейдж-Сервис", "Столичный"}));
    EXPECT_EQ(texts(OpTypePager, "Москва", true), cps({"Пейдж-Сервис, тел. 1", "Столичный, тел. 2"}));
    EXPECT_EQ(texts(OpTypeSms, "Москва", false), cps({"Мобил"}));
    // Equal descriptions are listed twice.
    EXPECT_EQ(texts(OpTypePager, "Самара", true), cps({"Близнецы", "Близнецы"}));
    // The loader made a description of the name where the file had none.
    EXPECT_EQ(texts(OpTypeSms, "Тверь", true), cps({"Нижний регистр"}));
    EXPECT_TRUE(texts(OpTypeSms, "Самара", false).empty());

    // Each entry names its operator.
    for (const TContactOperator& o : ContactOperators(ops, OpTypePager, cp("Самара"), false)) {
        EXPECT_EQ(OpPlaceOf(ops.Strings(o.OpIndex)).Name, o.Text);
    }
}

TEST_F(ContactChoice, ModelsOfAType)
{
    EXPECT_EQ(ContactModels(pagers, OpTypeSms), cps({"Телефон SMS"}));
    // "sms" in small letters does not make an SMS model.
    EXPECT_EQ(ContactModels(pagers, OpTypePager), cps({"Альфа 100", "Бета sms"}));
    EXPECT_EQ(FindText(ContactModels(pagers, OpTypePager), cp("АЛЬФА 100")), 0);
    EXPECT_EQ(FindText(ContactModels(pagers, OpTypePager), cp("Гамма")), -1);
}

TEST_F(ContactChoice, WhereAStoredOperatorStands)
{
    auto index = [&](const char* section) {
        for (int i = 0; i < ops.Count(); ++i) {
            if (ops.Strings(i) == cp(section)) return i;
        }
        ADD_FAILURE() << section;
        return -1;
    };
    struct Case {
        const char* section;
        bool withPhone;
        bool sms;
        bool hasCity;
        const char* city;
        const char* op;
    } cases[] = {
        {"Пейдж-Сервис (Москва)", false, false, true, "МОСКВА", "ПЕЙДЖ-СЕРВИС"},
        {"Пейдж-Сервис (Москва)", true, false, true, "МОСКВА", "ПЕЙДЖ-СЕРВИС, ТЕЛ. 1"},
        {"SMS:Мобил (Москва)", false, true, true, "МОСКВА", "МОБИЛ"},
        {"sms:Нижний регистр (Тверь)", false, true, true, "ТВЕРЬ", "НИЖНИЙ РЕГИСТР"},
        {"Без скобок", false, false, false, "", ""},
        {"Близнец Б (Самара)", true, false, true, "САМАРА", "БЛИЗНЕЦЫ"},
    };
    for (const Case& c : cases) {
        const auto sel = OpSelectionOf(ops, index(c.section), c.withPhone);
        ASSERT_TRUE(sel.has_value()) << c.section;
        EXPECT_EQ(sel->Sms, c.sms) << c.section;
        EXPECT_EQ(sel->City.has_value(), c.hasCity) << c.section;
        EXPECT_EQ(sel->City.value_or(""), cp(c.city)) << c.section;
        EXPECT_EQ(sel->Operator, cp(c.op)) << c.section;
    }
    EXPECT_FALSE(OpSelectionOf(ops, -1, false).has_value());
    EXPECT_FALSE(OpSelectionOf(ops, ops.Count(), false).has_value());
}

TEST(ContactOkRule, NameAndNumber)
{
    struct Case {
        const char* name;
        const char* num;
        bool ok;
    } cases[] = {
        {"Иван", "123-45.6_7,8", true},
        {"Иван", "abcXYZ", true},
        {"Иван", "12Ё3ё", true},          // Ё and ё are allowed
        {"Иван", "Ђ»€", true},   // 128..191
        {"Иван", "", false},
        {"Иван", "1 2", false},
        {"Иван", "+7916", false},
        {"Иван", "(916)", false},
        {"Иван", "a@b", false},
        {"Иван", "12Ж", false},
        {"Иван", "12я", false},
        {"Иван", "1\t2", false},   // a control character would end a line of book.dat
        {"Иван", "12\r\n", false},
        {"Иван", "12\x7f", false},
        {"Иван", "12?", false},    // a character cp1251 cannot hold comes in as "?"
        {"Иван", "1/2", false},
        {"Иван", "1|2", false},
        {"   ", "123", false},
        {"\t", "123", false},
        {"", "123", false},
        {" Иван ", "123", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ContactOkRule(cp(c.name), cp(c.num)), c.ok) << c.name << " / " << c.num;
    }
    // A character outside cp1251 in the number reaches the rule as "?".
    EXPECT_FALSE(ContactOkRule(cp("Иван"), codepage::fromUnicode(QString::fromUtf8("12€3ł"))));
}

}  // namespace
