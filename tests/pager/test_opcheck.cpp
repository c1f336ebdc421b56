// The checks of the operator dialog's OK: the first failing one gives its message.

#include "pager/opcheck.h"

#include "platform/codepage.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

namespace {

using testenv::cp;

TEST(OpCheck, FirstFailureGivesItsMessage)
{
    struct Case {
        int type;
        const char* city;
        const char* title;
        const char* gate;
        const char* description;
        const char* message;  // empty: passes
    } cases[] = {
        // The seven checks in their order.
        {0, "", "", "", "", "Поле \"Город\" не должно быть пустым!"},
        {0, " \t", "Op", "###@x", "", "Поле \"Город\" не должно быть пустым!"},
        {0, "Тверь", "  ", "###@x", "", "Поле \"Название\" не должно быть пустым!"},
        {0, "Тверь", "Op", " ", "", "Поле \"Email шлюз\" не должно быть пустым!"},
        {0, "Тверь", "Op", "###@пейджер", "", "В поле \"Email шлюз\" найдены недопустимые символы!"},
        {0, "Тверь", "Op", " ###@x", "", "В поле \"Email шлюз\" найдены недопустимые символы!"},
        {0, "Тверь", "Op", "###@x\"", "", "В поле \"Email шлюз\" найдены недопустимые символы!"},
        {0, "Тверь", "Op", "###.x", "", "Неправильный формат поля \"Email шлюз\"!"},
        {0, "Тверь", "Op", "num@x", "", "В поле \"Email шлюз\" не найдено обозначение номера абонента!"},
        {0, "Тверь", "Op", "##@x", "", "В поле \"Email шлюз\" не найдено обозначение номера абонента!"},
        {0, "Тверь", "Op", "#####@x",  "",
         "Неправильный формат обозначения номера абонента в поле \"Email шлюз\"!"},
        // Passing ones: "#", "=", "?", "@", ",", "-", ".", "_", Ё and an empty description.
        {0, "Тверь", "Op", "gate@x.example?subject=###", "", ""},
        {1, "Тверь", "Op", "###@x.example", "Что угодно (даже скобки)", ""},
        {0, "Тверь", "Op", "p_r-e.f,###=Ё@x", "", ""},
        // No line break or other control character reaches user.dat or a mail command.
        {0, "Тве\tрь", "Op", "###@x", "", "В поле \"Город\" найдены недопустимые символы!"},
        {0, "Тверь", "O\rp", "###@x", "", "В поле \"Название\" найдены недопустимые символы!"},
        {0, "Тверь", "Op", "###@x\r\nRCPT", "", "В поле \"Email шлюз\" найдены недопустимые символы!"},
        {0, "Тверь", "Op", "###@x\x7f", "", "В поле \"Email шлюз\" найдены недопустимые символы!"},
        {0, "Тверь", "Op", "###@x", "a\nb", "В поле \"Описание\" найдены недопустимые символы!"},
        // Brackets in the city or name would change the section name read back.
        {0, "Тверь (центр)", "Op", "###@x", "", "Поле \"Город\" не должно содержать скобок \"(\", \")\", \"[\" и \"]\"!"},
        {0, "Тверь", "Op]", "###@x", "", "Поле \"Название\" не должно содержать скобок \"(\", \")\", \"[\" и \"]\"!"},
        {0, "[Тверь", "Op", "###@x", "", "Поле \"Город\" не должно содержать скобок \"(\", \")\", \"[\" и \"]\"!"},
        // A pager operator named "SMS:..." would read back as an SMS operator.
        {0, "Тверь", "sMs:Op", "###@x", "", "Название пейджингового оператора не должно начинаться с \"SMS:\"!"},
        {0, "Тверь", " SMS:Op", "###@x", "", "Название пейджингового оператора не должно начинаться с \"SMS:\"!"},
        {1, "Тверь", "SMS:Op", "###@x", "", ""},
        {0, "Тверь", "SMS Op", "###@x", "", ""},
    };
    for (const Case& c : cases) {
        const TOpItemFields f{c.type, cp(c.city), cp(c.title), cp(c.gate), cp(c.description)};
        EXPECT_EQ(codepage::toUtf8(CheckOpItem(f)), c.message) << c.city << " / " << c.title << " / " << c.gate;
    }
}

TEST(OpCheck, StoredFieldsAreTrimmed)
{
    const TOpItemFields f{1, cp(" Тверь\t"), cp("  Op "), cp("###@X.example "), cp(" Описание ")};
    const TOpItemFields t = TrimOpItem(f);
    EXPECT_EQ(t.Type, 1);
    EXPECT_EQ(t.City, cp("Тверь"));
    EXPECT_EQ(t.Title, "Op");
    EXPECT_EQ(t.MailGate, "###@X.example");  // the case stays as typed
    EXPECT_EQ(t.Description, cp("Описание"));
    EXPECT_EQ(codepage::toUtf8(OpFieldInvalidChars(TOpField::Description)),
              "В поле \"Описание\" найдены недопустимые символы!");
}

}  // namespace
