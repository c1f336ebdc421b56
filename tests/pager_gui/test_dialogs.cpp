// The contact, group and operator dialogs as widgets: their lists, the OK
// rule, the edit round trip and their refusals.

#include "pager/dialogs/bookit.h"
#include "pager/dialogs/groupit.h"
#include "pager/dialogs/opit.h"

#include "pager/ini.h"
#include "pager/opdb.h"
#include "pager/service.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "tests/support/testenv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testenv::cp;

// Typing, character by character (Qt Test's keyClicks knows ASCII only).
void typeText(QWidget* w, const QString& text)
{
    for (QChar c : text) QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

const std::string kFixtures = ORV_FIXTURES "/dialogs/";

QStringList items(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

QStringList qs(std::initializer_list<const char*> utf8)
{
    QStringList out;
    for (const char* s : utf8) out << QString::fromUtf8(s);
    return out;
}

// A choice the user makes in a drop-down list.
void choose(QComboBox* box, const char* text)
{
    const int index = box->findText(QString::fromUtf8(text));
    ASSERT_GE(index, 0) << text;
    box->setCurrentIndex(index);
    emit box->activated(index);
}

class BookIt : public ::testing::Test {
protected:
    void SetUp() override
    {
        Ini = TIni{};
        LoadOperators(ops, kFixtures + "operators.dat");
        LoadPagers(pagers, kFixtures + "pagers.dat");
    }
    int opIndex(const char* section) const
    {
        for (int i = 0; i < ops.Count(); ++i) {
            if (ops.Strings(i) == cp(section)) return i;
        }
        return -1;
    }
    TOpList ops;
    TPagerList pagers;
};

TEST_F(BookIt, OpensForAddingWithTheFirstChoices)
{
    TBookItWin d(nullptr, ops, pagers);
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("Добавить запись"));
    EXPECT_EQ(items(d.cbType), qs({"Пейджер", "SMS"}));
    EXPECT_EQ(d.cbType->currentIndex(), 0);
    EXPECT_EQ(items(d.cbCity), qs({"Москва", "Самара"}));
    EXPECT_EQ(d.cbCity->currentIndex(), 0);
    EXPECT_EQ(items(d.cbOperators), qs({"Пейдж-Сервис", "Столичный"}));
    EXPECT_EQ(d.cbOperators->currentIndex(), 0);
    EXPECT_EQ(items(d.cbPagers), qs({"Альфа 100", "Бета sms"}));
    EXPECT_EQ(d.cbPagers->currentIndex(), 0);
    EXPECT_EQ(items(d.cbCode), qs({"KOI8", "WIN", "RUS->LAT", "LAT->KOI8", "LAT->WIN"}));
    EXPECT_EQ(d.cbCode->currentIndex(), 0);
    d.show();
    EXPECT_FALSE(d.bOK->isEnabled());
    EXPECT_FALSE(d.eHeader->isEnabled());
    EXPECT_FALSE(d.eSignat->isEnabled());
    EXPECT_TRUE(d.bOK->isDefault());

    // The tab order of the form.
    const std::vector<QWidget*> order = {d.eName,        d.eEMail,  d.eFullName,   d.cbType,       d.cbCity,
                                         d.cbOperators,  d.cbWithPhone, d.eNum,    d.cbPagers,     d.cbCode,
                                         d.cbAutoHeader, d.eHeader, d.cbCopyEMail, d.cbAutoSignat, d.eSignat,
                                         d.bOK,          d.bCancel};
    d.cbAutoHeader->setChecked(true);
    d.cbAutoSignat->setChecked(true);
    QTest::keyClicks(d.eName, "x");
    QTest::keyClicks(d.eNum, "1");
    for (size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (next && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]) << order[i]->objectName().toStdString();
    }
}

TEST_F(BookIt, TypeCityAndOperatorCascade)
{
    TBookItWin d(nullptr, ops, pagers);
    // The city stays when the other type has operators there.
    choose(d.cbType, "SMS");
    EXPECT_EQ(items(d.cbCity), qs({"Москва", "Санкт-Петербург", "Тверь"}));
    EXPECT_EQ(d.cbCity->currentText(), QString::fromUtf8("Москва"));
    EXPECT_EQ(items(d.cbOperators), qs({"Мобил"}));
    EXPECT_EQ(items(d.cbPagers), qs({"Телефон SMS"}));
    choose(d.cbCity, "Тверь");
    EXPECT_EQ(items(d.cbOperators), qs({"Нижний регистр"}));
    // ... else the first city is chosen.
    choose(d.cbType, "Пейджер");
    EXPECT_EQ(d.cbCity->currentText(), QString::fromUtf8("Москва"));
    choose(d.cbCity, "Самара");
    EXPECT_EQ(items(d.cbOperators), qs({"Близнец А", "Близнец Б"}));
}

TEST_F(BookIt, PhoneListShowsDescriptionsAndIsASettingOfItsOwn)
{
    {
        TBookItWin d(nullptr, ops, pagers);
        choose(d.cbOperators, "Столичный");
        d.cbWithPhone->click();
        EXPECT_TRUE(Ini.Main.ListWithPhone);
        EXPECT_EQ(items(d.cbOperators), qs({"Пейдж-Сервис, тел. 1", "Столичный, тел. 2"}));
        EXPECT_EQ(d.cbOperators->currentIndex(), 1);  // the place in the list survives
        d.reject();
    }
    EXPECT_TRUE(Ini.Main.ListWithPhone);  // not undone by Cancel
    TBookItWin again(nullptr, ops, pagers);
    EXPECT_TRUE(again.cbWithPhone->isChecked());
    EXPECT_EQ(again.cbOperators->currentText(), QString::fromUtf8("Пейдж-Сервис, тел. 1"));
}

TEST_F(BookIt, OkFollowsNameAndNumberAsTyped)
{
    TBookItWin d(nullptr, ops, pagers);
    d.show();
    struct Case {
        const char* name;
        const char* num;
        bool ok;
    } cases[] = {
        {"Иван", "123-45.6_7,8", true}, {"Иван", "12Ё", true},  {"Иван", "+7916", false}, {"Иван", "1 2", false},
        {"Иван", "12ж", false},         {"Иван", "12ł", false}, {"   ", "123", false},    {"Иван", "", false},
        {"Иван", "1\t2", false},
    };
    for (const Case& c : cases) {
        d.eName->clear();
        d.eNum->clear();
        typeText(d.eName, QString::fromUtf8(c.name));
        d.eNum->insert(QString::fromUtf8(c.num));  // a paste: a TAB comes in as it is
        EXPECT_EQ(d.bOK->isEnabled(), c.ok) << c.name << " / " << c.num;
    }
}

TEST_F(BookIt, EditingKeepsTheAddressOfEveryShapeOfOperator)
{
    struct Case {
        const char* addr;
        bool withPhone;
        const char* type;      // what the lists show
        const char* city;
        const char* op;        // empty: no operator shown
    } cases[] = {
        {"123@pager.example.net", false, "Пейджер", "Москва", "Пейдж-Сервис"},
        {"pg123@capital.example.net", true, "Пейджер", "Москва", "Столичный, тел. 2"},
        {"123@sms.example.org", false, "SMS", "Москва", "Мобил"},
        {"123@lower.example.org", false, "SMS", "Тверь", "Нижний регистр"},
        {"gate@sms.example.com?subject=123", false, "SMS", "Санкт-Петербург", "Тема"},
        // Equal descriptions: the list shows the first; the address stays the second's.
        {"123@twin-b.example.net", true, "Пейджер", "Самара", "Близнецы"},
        {"123@twin-b.example.net", false, "Пейджер", "Самара", "Близнец Б"},
        // Not offered by the lists: no operator is shown.
        {"123@noparens.example.net", false, "Пейджер", "Москва", ""},
        {"someone@nowhere.example", false, "Пейджер", "Москва", ""},
    };
    for (const Case& c : cases) {
        Ini.Main.ListWithPhone = c.withPhone;
        TBookItem item;
        item.Addr = c.addr;
        item.FullName = cp("Иван Петров");
        item.Model = cp("Телефон SMS");
        item.Code = 3;
        TBookItWin d(nullptr, ops, pagers);
        d.Fill(BookItDialogInit(ops, cp("Иван"), item));
        d.show();
        EXPECT_EQ(d.windowTitle(), QString::fromUtf8("Редактировать запись"));
        EXPECT_EQ(d.cbType->currentText(), QString::fromUtf8(c.type)) << c.addr;
        EXPECT_EQ(d.cbCity->currentText(), QString::fromUtf8(c.city)) << c.addr;
        EXPECT_EQ(d.cbOperators->currentText(), QString::fromUtf8(c.op)) << c.addr;
        EXPECT_TRUE(d.bOK->isEnabled()) << c.addr;  // even without a number: the address is kept
        d.bOKClick();
        EXPECT_EQ(d.result(), QDialog::Accepted) << c.addr;

        const TBookItDialogResult r = d.Result();
        EXPECT_TRUE(r.KeepAddr);
        TBookItem edited = item;
        EXPECT_EQ(ApplyBookItDialog(ops, r, edited), TAddrUpdate::Kept) << c.addr;
        EXPECT_EQ(edited.Addr, c.addr);
        EXPECT_EQ(edited.FullName, cp("Иван Петров"));
        EXPECT_EQ(edited.Code, 3);
    }
}

TEST_F(BookIt, ANewChoiceBuildsTheAddress)
{
    TBookItem item;
    item.Addr = "123@pager.example.net";
    TBookItWin d(nullptr, ops, pagers);
    d.Fill(BookItDialogInit(ops, cp("Иван"), item));
    d.show();
    EXPECT_EQ(d.eNum->text(), "123");
    QTest::keyClick(d.eNum, Qt::Key_End);
    QTest::keyClicks(d.eNum, "4");
    EXPECT_FALSE(d.KeepAddr());
    TBookItem edited = item;
    EXPECT_EQ(ApplyBookItDialog(ops, d.Result(), edited), TAddrUpdate::Built);
    EXPECT_EQ(edited.Addr, "1234@pager.example.net");

    choose(d.cbOperators, "Столичный");
    EXPECT_EQ(ApplyBookItDialog(ops, d.Result(), edited), TAddrUpdate::Built);
    EXPECT_EQ(edited.Addr, "pg1234@capital.example.net");
}

TEST_F(BookIt, TheChosenEntryCountsWhereTwoShowTheSameText)
{
    Ini.Main.ListWithPhone = true;
    TBookItWin d(nullptr, ops, pagers);
    choose(d.cbCity, "Самара");
    ASSERT_EQ(items(d.cbOperators), qs({"Близнецы", "Близнецы"}));
    d.cbOperators->setCurrentIndex(1);
    emit d.cbOperators->activated(1);
    QTest::keyClicks(d.eNum, "42");
    TBookItem item;
    EXPECT_EQ(ApplyBookItDialog(ops, d.Result(), item), TAddrUpdate::Built);
    EXPECT_EQ(item.Addr, "42@twin-b.example.net");
}

TEST_F(BookIt, TheOpenersRefusalKeepsTheDialogOpen)
{
    TBookItWin d(nullptr, ops, pagers);
    std::vector<QString> shown;
    d.ShowMessage = [&](const QString& text) { shown.push_back(text); };
    d.ExtraCheck = [](const TBookItDialogResult& r) {
        return r.Name == "Taken" ? QString::fromUtf8("Занято") : QString();
    };
    d.show();
    QTest::keyClicks(d.eName, "Taken");
    QTest::keyClicks(d.eNum, "1");
    d.bOKClick();
    EXPECT_EQ(shown, std::vector<QString>{QString::fromUtf8("Занято")});
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.eNum->text(), "1");  // nothing typed is lost
    d.eName->setText("Free");
    d.bOKClick();
    EXPECT_EQ(d.result(), QDialog::Accepted);
}

TEST_F(BookIt, NoOperatorChosenKeepsTheDialogOpen)
{
    TBookItem item;
    item.Addr = "someone@nowhere.example";
    TBookItWin d(nullptr, ops, pagers);
    std::vector<QString> shown;
    d.ShowMessage = [&](const QString& text) { shown.push_back(text); };
    d.Fill(BookItDialogInit(ops, cp("Иван"), item));
    d.show();
    EXPECT_EQ(d.cbOperators->currentIndex(), -1);
    QTest::keyClicks(d.eNum, "555");  // a number, but no operator to build an address with
    d.bOKClick();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], QString::fromUtf8("Не выбран оператор! Выберите тип, город и оператора абонента."));
    EXPECT_TRUE(d.isVisible());
    EXPECT_NE(d.result(), QDialog::Accepted);

    // Picking one lets it close with the new address.
    choose(d.cbOperators, "Пейдж-Сервис");
    d.bOKClick();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(ApplyBookItDialog(ops, d.Result(), item), TAddrUpdate::Built);
    EXPECT_EQ(item.Addr, "555@pager.example.net");
}

TEST_F(BookIt, ModelsAndTextsOnEditing)
{
    TBookItem item;
    item.Addr = "123@pager.example.net";
    item.Model = cp("альфа 100");
    item.Header = cp("Привет");
    item.OwnHeader = true;
    item.CopyEMail = true;
    {
        TBookItWin d(nullptr, ops, pagers);
        d.Fill(BookItDialogInit(ops, cp("Иван"), item));
        d.show();
        EXPECT_EQ(d.GetPager(cp("БЕТА SMS")), 1);
        EXPECT_EQ(d.cbPagers->currentText(), QString::fromUtf8("Альфа 100"));
        EXPECT_TRUE(d.eHeader->isEnabled());
        EXPECT_FALSE(d.eSignat->isEnabled());
        EXPECT_TRUE(d.cbCopyEMail->isChecked());
        // Texts put into the edits show from their start, not scrolled to their ends.
        for (QLineEdit* e : {d.eName, d.eEMail, d.eHeader})
            EXPECT_EQ(e->cursorPosition(), 0) << e->objectName().toStdString();
    }
    // A model no longer in pagers.dat: none shown, an empty model stored.
    item.Model = cp("Старая модель");
    TBookItWin d(nullptr, ops, pagers);
    d.Fill(BookItDialogInit(ops, cp("Иван"), item));
    EXPECT_EQ(d.cbPagers->currentIndex(), -1);
    EXPECT_EQ(d.Result().Model, "");
}

TEST_F(BookIt, RefusesWhatCp1251CannotHoldAndDropsLineBreaks)
{
    TBookItWin d(nullptr, ops, pagers);
    std::vector<QString> shown;
    d.ShowMessage = [&](const QString& text) { shown.push_back(text); };
    d.show();
    typeText(d.eName, QString::fromUtf8("Zoë"));
    QTest::keyClicks(d.eNum, "123");
    ASSERT_TRUE(d.bOK->isEnabled());
    d.bOKClick();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], QString::fromUtf8("В поле \"Имя в списке\" найдены недопустимые символы!"));
    EXPECT_NE(d.result(), QDialog::Accepted);

    d.eName->setText(QString::fromUtf8("Зоя"));
    d.eEMail->setText("zoe@example.com\r\nRCPT TO:<x@y>");
    d.bOKClick();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.Result().EMail, "zoe@example.com  RCPT TO:<x@y>");
}

TEST_F(BookIt, RemembersItsPlace)
{
    registry::deleteKey("Software\\Kestrane\\Pager\\Position\\BookIt");
    {
        TBookItWin d(nullptr, ops, pagers);
        d.move(123, 77);
        d.reject();
    }
    EXPECT_EQ(registry::readDword("Software\\Kestrane\\Pager\\Position\\BookIt", "Left"), 123u);
    EXPECT_EQ(registry::readDword("Software\\Kestrane\\Pager\\Position\\BookIt", "Top"), 77u);
    EXPECT_FALSE(registry::valueExists("Software\\Kestrane\\Pager\\Position\\BookIt", "Width"));
    TBookItWin d(nullptr, ops, pagers);
    EXPECT_EQ(d.pos(), QPoint(123, 77));
}

TEST(GroupIt, NewAndRename)
{
    TGroupItWin d(nullptr);
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("Новая группа"));
    d.bOKClick();  // any text, the empty one too
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.Name(), "");

    TGroupItWin r(nullptr);
    r.Fill(cp("Друзья"));
    EXPECT_EQ(r.windowTitle(), QString::fromUtf8("Переименовать группу"));
    EXPECT_EQ(r.eGroup->text(), QString::fromUtf8("Друзья"));
    typeText(r.eGroup, QString::fromUtf8(" и коллеги"));
    EXPECT_EQ(r.Name(), cp("Друзья и коллеги"));

    std::vector<QString> shown;
    r.ShowMessage = [&](const QString& text) { shown.push_back(text); };
    r.eGroup->setText(QString::fromUtf8("Ωмега"));
    r.bOKClick();
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_NE(r.result(), QDialog::Accepted);

    r.ExtraCheck = [](const AnsiString& name) { return name == "Taken" ? QString("no") : QString(); };
    r.eGroup->setText("Taken");
    r.bOKClick();
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_NE(r.result(), QDialog::Accepted);
    r.eGroup->setText("Free");
    r.bOKClick();
    EXPECT_EQ(r.result(), QDialog::Accepted);
}

TEST(OpItem, ValidatesOnOkOnly)
{
    TOpItemWin d(nullptr);
    std::vector<QString> shown;
    d.ShowMessage = [&](const QString& text) { shown.push_back(text); };
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("Добавить оператора"));
    EXPECT_EQ(d.cbType->currentIndex(), 0);
    d.show();
    QTest::keyClicks(d.eMailGate, "bad gate");  // typing checks nothing
    EXPECT_TRUE(shown.empty());

    d.bOKClick();  // only the first failure is shown
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], QString::fromUtf8("Поле \"Город\" не должно быть пустым!"));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.eMailGate->text(), "bad gate");  // everything as typed

    typeText(d.eCity, QString::fromUtf8("Тверь"));
    typeText(d.eTitle, QString::fromUtf8("Связь"));
    d.eMailGate->setText(QString::fromUtf8("Ω###@x.example"));
    d.bOKClick();
    EXPECT_EQ(shown.back(), QString::fromUtf8("В поле \"Email шлюз\" найдены недопустимые символы!"));

    d.eMailGate->setText(" ###@X.example ");
    d.bOKClick();
    EXPECT_EQ(shown.back(), QString::fromUtf8("В поле \"Email шлюз\" найдены недопустимые символы!"));

    d.ExtraCheck = [](const TOpItemFields& f) {
        EXPECT_EQ(f.City, cp("Тверь"));  // trimmed
        return cp("Уже есть");
    };
    d.eMailGate->setText("###@X.example");
    d.bOKClick();
    EXPECT_EQ(shown.back(), QString::fromUtf8("Уже есть"));
    EXPECT_EQ(shown.size(), 4u);

    d.ExtraCheck = nullptr;
    d.bOKClick();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.Fields().MailGate, "###@X.example");
}

// The steps in their order come first; a character cp1251 cannot hold ("Ω")
// is reported after them, in whichever field it stands.
TEST(OpItem, TheStepsComeBeforeTheCharactersCp1251CannotHold)
{
    struct Case {
        const char* city;
        const char* title;
        const char* gate;
        const char* description;
        const char* message;
    } cases[] = {
        {"", "", "", "Ω", "Поле \"Город\" не должно быть пустым!"},
        {"Тверь", "", "Ω", "", "Поле \"Название\" не должно быть пустым!"},
        {"Тверь", "Ω", "bad", "", "Неправильный формат поля \"Email шлюз\"!"},
        {"Ω", "Связь", "@x.example", "", "В поле \"Email шлюз\" не найдено обозначение номера абонента!"},
        {"Ω", "Связь", "###@x.example", "", "В поле \"Город\" найдены недопустимые символы!"},
        {"Тверь", "Связь", "###@x.example", "Ω", "В поле \"Описание\" найдены недопустимые символы!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TOpItemWin d(nullptr);
        std::vector<QString> shown;
        d.ShowMessage = [&](const QString& text) { shown.push_back(text); };
        d.eCity->setText(QString::fromUtf8(c.city));
        d.eTitle->setText(QString::fromUtf8(c.title));
        d.eMailGate->setText(QString::fromUtf8(c.gate));
        d.eDescription->setText(QString::fromUtf8(c.description));
        d.bOKClick();
        EXPECT_EQ(shown, std::vector<QString>{QString::fromUtf8(c.message)});
        EXPECT_NE(d.result(), QDialog::Accepted);
    }
}

TEST(OpItem, FilledForEditing)
{
    TOpItemWin d(nullptr);
    d.Fill({1, cp("Тверь"), cp("Связь"), "###@x.example", cp("Описание")});
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("Свойства оператора"));
    EXPECT_EQ(d.cbType->currentText(), "SMS");
    EXPECT_EQ(d.Fields().Description, cp("Описание"));
    d.reject();
    EXPECT_TRUE(registry::valueExists("Software\\Kestrane\\Pager\\Position\\OpItem", "Left"));
}

}  // namespace
