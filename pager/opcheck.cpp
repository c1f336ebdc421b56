#include "pager/opcheck.h"

#include "platform/codepage.h"

namespace {

AnsiString cp(const char* utf8) { return codepage::fromUtf8(utf8); }

const TCharSet& controlChars()
{
    static const TCharSet set = CharRange(0, 31) | CharsOf("\x7f");
    return set;
}

bool holdsAny(std::string_view s, const TCharSet& set)
{
    for (char c : s) {
        if (set.test(byteOf(c))) return true;
    }
    return false;
}

const char* fieldName(TOpField field)
{
    switch (field) {
    case TOpField::City: return "Город";
    case TOpField::Title: return "Название";
    case TOpField::MailGate: return "Email шлюз";
    case TOpField::Description: return "Описание";
    }
    return "";
}

AnsiString notEmpty(TOpField field)
{
    return cp("Поле \"") + cp(fieldName(field)) + cp("\" не должно быть пустым!");
}

AnsiString noBrackets(TOpField field)
{
    return cp("Поле \"") + cp(fieldName(field)) + cp("\" не должно содержать скобок \"(\", \")\", \"[\" и \"]\"!");
}

}  // namespace

const TCharSet& MailGateForbidden()
{
    static const TCharSet set = controlChars() | CharRange(32, 34) | CharRange(36, 43) | CharsOf("/:;<>") |
                                CharRange(91, 94) | CharsOf("`") | CharRange(123, 126) | CharRange(192, 255);
    return set;
}

AnsiString OpFieldInvalidChars(TOpField Field)
{
    return cp("В поле \"") + cp(fieldName(Field)) + cp("\" найдены недопустимые символы!");
}

AnsiString CheckOpItem(const TOpItemFields& Fields)
{
    if (Trim(Fields.City).empty()) return notEmpty(TOpField::City);
    if (Trim(Fields.Title).empty()) return notEmpty(TOpField::Title);
    if (Trim(Fields.MailGate).empty()) return notEmpty(TOpField::MailGate);

    static const TCharSet brackets = CharsOf("()[]");
    if (holdsAny(Fields.City, controlChars())) return OpFieldInvalidChars(TOpField::City);
    if (holdsAny(Fields.City, brackets)) return noBrackets(TOpField::City);
    if (holdsAny(Fields.Title, controlChars())) return OpFieldInvalidChars(TOpField::Title);
    if (holdsAny(Fields.Title, brackets)) return noBrackets(TOpField::Title);
    if (Fields.Type == 0) {
        const AnsiString title = Trim(Fields.Title);
        if (title.size() >= 4 && codepage::sameText(std::string_view(title).substr(0, 4), "SMS:")) {
            return cp("Название пейджингового оператора не должно начинаться с \"SMS:\"!");
        }
    }

    const std::string_view gate = Fields.MailGate;
    if (!CheckChars(gate, MailGateForbidden())) return OpFieldInvalidChars(TOpField::MailGate);
    if (gate.find('@') == std::string_view::npos) return cp("Неправильный формат поля \"Email шлюз\"!");
    if (gate.find("###") == std::string_view::npos) {
        return cp("В поле \"Email шлюз\" не найдено обозначение номера абонента!");
    }
    if (gate.find("####") != std::string_view::npos) {
        return cp("Неправильный формат обозначения номера абонента в поле \"Email шлюз\"!");
    }

    if (holdsAny(Fields.Description, controlChars())) return OpFieldInvalidChars(TOpField::Description);
    return {};
}

TOpItemFields TrimOpItem(const TOpItemFields& Fields)
{
    return {Fields.Type, Trim(Fields.City), Trim(Fields.Title), Trim(Fields.MailGate), Trim(Fields.Description)};
}
