// The options dialog as a widget: the controls loaded from the settings, the
// flags for the main window, the user's operators and what OK and Cancel write.

#include "pager/dialogs/opit.h"
#include "pager/dialogs/opti.h"

#include "pager/ini.h"
#include "pager/opdb.h"
#include "pager/program.h"
#include "platform/codepage.h"
#include "platform/ui/shell.h"
#include "platform/ui/widgets.h"
#include "tests/pager_gui/questionbox.h"
#include "tests/support/testenv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
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

// A program folder of its own with the fixtures' operators and user.dat, the
// settings loaded from its pager.ini, and the dialog on it.
class Opti : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int n = 0;
        folder = testenv::makeDir("opti-" + std::to_string(++n));
        ProgramPath = folder + "/";
        std::filesystem::copy_file(kFixtures + "user.dat", folder + "/user.dat");
        LoadOperators(ops, kFixtures + "operators.dat");
    }
    void TearDown() override { shell::setOpenHandler(nullptr); }
    TOptiWin& open(const std::string& ini = {})
    {
        if (!ini.empty()) testenv::writeFile(folder + "/pager.ini", ini);
        LoadOptions();
        dialog = std::make_unique<TOptiWin>(nullptr, ops, QList<QIcon>{}, folder + "/user.dat");
        dialog->ShowMessage = [this](const QString& text) { shown.push_back(text); };
        realAsk = dialog->Ask;
        dialog->Ask = [this](const QString& text) {
            asked.push_back(text);
            return answer;
        };
        dialog->show();
        return *dialog;
    }
    QStringList row(int i) const
    {
        const QTreeWidgetItem* r = dialog->lvOperators->topLevelItem(i);
        return {r->text(0), r->text(1), r->text(2)};
    }
    std::string userDat() const { return testenv::readFile(folder + "/user.dat"); }
    std::string pagerIni() const { return testenv::readFile(folder + "/pager.ini"); }

    std::string folder;
    TOpList ops;
    std::unique_ptr<TOptiWin> dialog;
    std::function<bool(const QString&)> realAsk;  // the dialog's own question box
    std::vector<QString> shown;
    std::vector<QString> asked;
    bool answer = true;
};

QStringList qs(std::initializer_list<const char*> utf8)
{
    QStringList out;
    for (const char* s : utf8) out << QString::fromUtf8(s);
    return out;
}

TEST_F(Opti, LoadsEveryPageFromTheSettings)
{
    TOptiWin& d = open("[Connect]\r\nHost=mail.example.net\r\nPort=2525\r\n[View]\r\nColumn2=-1\r\n"
                       "[CheckEmail]\r\nActive=0\r\nText=a|b\r\n");
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("Настройка программы"));
    QStringList pages;
    for (int i = 0; i < d.pcOptions->count(); ++i) pages << d.pcOptions->tabText(i);
    EXPECT_EQ(pages, qs({"Общие", "Подключение", "Локальная база", "Проверка почты", "О программе"}));
    EXPECT_EQ(d.eSMTP->text(), "mail.example.net");
    EXPECT_EQ(d.udPort->value(), 2525);
    EXPECT_EQ(d.udPort->maximum(), 9999);
    EXPECT_EQ(d.udSendLater->minimum(), 1);
    EXPECT_TRUE(d.cbRunOneCopy->isChecked());
    EXPECT_TRUE(d.rbDblClick->isChecked());
    EXPECT_FALSE(d.rbClick->isChecked());
    // Column2 -1: unchecked, at "Оператор связи", disabled.
    EXPECT_FALSE(d.cbColumn2->isChecked());
    EXPECT_EQ(d.cbColumns->currentText(), QString::fromUtf8("Оператор связи"));
    EXPECT_FALSE(d.cbColumns->isEnabled());
    // The mail page follows its box.
    EXPECT_FALSE(d.ePOPHost->isEnabled());
    EXPECT_FALSE(d.mNotifText->isEnabled());
    d.cbCheckMailActive->click();
    EXPECT_TRUE(d.ePOPHost->isEnabled());
    EXPECT_TRUE(d.cbToOperator->isEnabled());
    EXPECT_EQ(d.mNotifText->toPlainText(), "a\nb");
    EXPECT_EQ(d.cbToOperator->count(), ops.Count());
    EXPECT_EQ(d.stTitle->text(), "Orvanta Pager 3.6");
    EXPECT_FALSE(d.ViewChanged);
    EXPECT_FALSE(d.OperatorsChanged);

    TOptiWin& e = open("[View]\r\nColumn2=2\r\n");
    EXPECT_TRUE(e.cbColumn2->isChecked());
    EXPECT_EQ(e.cbColumns->currentText(), "E-Mail");
    EXPECT_TRUE(e.cbColumns->isEnabled());
}

TEST_F(Opti, ViewChangedByTheViewControls)
{
    struct Case {
        const char* what;
        std::function<void(TOptiWin&)> touch;
        bool view;
    } cases[] = {
        {"cbColumn2", [](TOptiWin& d) { d.cbColumn2->click(); }, true},
        {"cbColumns alone", [](TOptiWin& d) { d.cbColumns->setCurrentIndex(1); }, true},
        {"cbFullText", [](TOptiWin& d) { d.cbFullText->click(); }, true},
        {"cbIconInBook", [](TOptiWin& d) { d.cbIconInBook->click(); }, true},
        {"udCountLog", [](TOptiWin& d) { d.udCountLog->stepUp(); }, true},
        {"udSendLater", [](TOptiWin& d) { d.udSendLater->stepUp(); }, true},
        {"udMaxSymbols", [](TOptiWin& d) { d.udMaxSymbols->stepUp(); }, false},
        {"eSMTP", [](TOptiWin& d) { QTest::keyClicks(d.eSMTP, "x"); }, false},
    };
    for (const Case& c : cases) {
        TOptiWin& d = open();
        c.touch(d);
        EXPECT_EQ(d.ViewChanged, c.view) << c.what;
    }
}

TEST_F(Opti, ListsTheUsersOperators)
{
    TOptiWin& d = open();
    ASSERT_EQ(d.lvOperators->topLevelItemCount(), 3);
    EXPECT_EQ(d.lvOperators->headerItem()->text(1), QString::fromUtf8("Город"));
    EXPECT_EQ(d.lvOperators->headerItem()->text(2), QString::fromUtf8("Оператор"));
    EXPECT_EQ(row(0), qs({"SMS", "Тверь", "Свой"}));
    EXPECT_EQ(row(1), qs({"Пейджер", "Тверь", "sms:Малый"}));
    EXPECT_EQ(row(2), qs({"Пейджер", "Голый", "Голый"}));

    d.lvOperators->setCurrentItem(d.lvOperators->topLevelItem(0));
    EXPECT_EQ(d.stMailGate->text(), "###@my.example.net");
    EXPECT_EQ(d.stDescription->text(), QString::fromUtf8("Свой"));
    d.lvOperators->clearSelection();
    EXPECT_EQ(d.stMailGate->text(), "");
    EXPECT_EQ(d.stDescription->text(), "");
}

TEST_F(Opti, CancelAfterADeleteLeavesEverythingAsItWas)
{
    const std::string before = userDat();
    TOptiWin& d = open();
    const std::string ini = pagerIni();
    d.lvOperators->setCurrentItem(d.lvOperators->topLevelItem(1));
    answer = false;
    d.sbDelOp->click();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], QString::fromUtf8("Вы действительно хотите удалить этого оператора из списка?"));
    EXPECT_EQ(d.lvOperators->topLevelItemCount(), 3);
    EXPECT_FALSE(d.OperatorsChanged);
    answer = true;
    d.sbDelOp->click();
    EXPECT_EQ(d.lvOperators->topLevelItemCount(), 2);
    EXPECT_TRUE(d.OperatorsChanged);
    EXPECT_EQ(d.stMailGate->text(), "");
    d.bCancel->click();
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(userDat(), before);
    EXPECT_EQ(pagerIni(), ini);
}

TEST_F(Opti, AddEditDeleteAndOkWriteUserDat)
{
    TOptiWin& d = open();
    std::vector<std::string> calls;
    TOpItemFields next{};
    std::function<AnsiString(const TOpItemFields&)> lastCheck;
    d.ShowOpItemDialog = [&](const TOpItemFields* edit, std::function<AnsiString(const TOpItemFields&)> check)
        -> std::optional<TOpItemFields> {
        calls.push_back(edit ? "edit " + codepage::toUtf8(edit->Title) : "add");
        lastCheck = check;
        return next;
    };
    next = {0, cp("Самара"), cp("Волга"), "###@VOLGA.example", cp("Волга, тел.")};
    d.sbAddOp->click();
    ASSERT_EQ(d.lvOperators->topLevelItemCount(), 4);
    EXPECT_EQ(row(3), qs({"Пейджер", "Самара", "Волга"}));
    EXPECT_EQ(d.lvOperators->currentItem(), d.lvOperators->topLevelItem(3));
    EXPECT_EQ(d.stMailGate->text(), "###@VOLGA.example");  // as typed, not lowered
    EXPECT_TRUE(d.OperatorsChanged);
    // The same type, name and city as a listed row is refused; the row itself is not.
    EXPECT_EQ(lastCheck({1, cp("тверь"), cp("СВОЙ"), "###@z", ""}),
              cp("Оператор с таким типом, названием и городом уже есть в списке!"));
    EXPECT_EQ(lastCheck({0, cp("тверь"), cp("СВОЙ"), "###@z", ""}), "");

    d.lvOperators->setCurrentItem(d.lvOperators->topLevelItem(0));
    next = {1, cp("Тверь"), cp("Свой"), "###@new.example", ""};
    emit d.lvOperators->itemDoubleClicked(d.lvOperators->topLevelItem(0), 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"add", "edit Свой"}));
    EXPECT_EQ(lastCheck({1, cp("Тверь"), cp("Свой"), "###@z", ""}), "");  // itself
    EXPECT_EQ(d.stMailGate->text(), "###@new.example");
    EXPECT_EQ(d.stDescription->text(), "");

    d.lvOperators->setCurrentItem(d.lvOperators->topLevelItem(1));
    d.sbDelOp->click();

    d.bOK->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(userDat(), cp("[SMS:Свой (Тверь)]\r\nMailGate=###@new.example\r\n\r\n"
                            "[Голый (Голый)]\r\nMailGate=###@bare.example.net\r\n\r\n"
                            "[Волга (Самара)]\r\nMailGate=###@VOLGA.example\r\nDescription=Волга, тел.\r\n"));
    EXPECT_NE(pagerIni().find("[Main]\r\nAuthor=Kestrane\r\n"), std::string::npos);
}

TEST_F(Opti, TheRealOperatorDialogAddsARow)
{
    TOptiWin& d = open();
    QTimer::singleShot(0, [] {
        auto* op = qobject_cast<TOpItemWin*>(QApplication::activeModalWidget());
        ASSERT_NE(op, nullptr);
        op->cbType->setCurrentIndex(1);
        typeText(op->eCity, QString::fromUtf8(" Тверь "));
        typeText(op->eTitle, QString::fromUtf8("Другой"));
        QTest::keyClicks(op->eMailGate, "###@Other.example");
        QTest::keyClick(op->eMailGate, Qt::Key_Return);  // the default button
    });
    d.sbAddOp->click();
    ASSERT_EQ(d.lvOperators->topLevelItemCount(), 4);
    EXPECT_EQ(row(3), qs({"SMS", "Тверь", "Другой"}));
    EXPECT_EQ(d.UserOperators()[3].Item.MailGate, "###@Other.example");
}

TEST_F(Opti, AFailedWriteOfUserDatKeepsTheDialogOpen)
{
    TOptiWin& d = open();
    std::filesystem::remove(folder + "/user.dat");
    std::filesystem::create_directory(folder + "/user.dat");  // cannot be replaced by a file
    const TIni before = Ini;
    d.lvOperators->setCurrentItem(d.lvOperators->topLevelItem(0));
    d.sbDelOp->click();
    d.eSMTP->setText("changed.example");
    d.bOK->click();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].startsWith(QString::fromUtf8("Не удалось записать список операторов в файл")));
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_EQ(Ini.Connect.Host, before.Connect.Host);  // nothing stored yet
    EXPECT_TRUE(std::filesystem::is_directory(folder + "/user.dat"));
}

TEST_F(Opti, OkStoresTheOptionsAndSavesPagerIni)
{
    TOptiWin& d = open("[CheckEmail]\r\nTo=Someone@Unknown.example\r\n");
    d.eSMTP->setText("  127.0.0.2 ");
    d.udPort->setValue(2526);
    d.eFromAddress->setText("me@example.com");
    d.cbColumn2->click();
    d.mNotifText->setPlainText(QString::fromUtf8("Почта: %COUNTNEWMSG%\nвсего %COUNTALLMSG%"));
    d.bOK->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(Ini.Connect.Host, "127.0.0.2");
    EXPECT_EQ(Ini.Connect.Port, 2526);
    EXPECT_EQ(Ini.View.Column2, -1);
    EXPECT_EQ(Ini.CheckEmail.To, "Someone@Unknown.example");  // untouched, kept though no operator matches
    EXPECT_EQ(Ini.CheckEmail.Text, cp("Почта: %COUNTNEWMSG%\r\nвсего %COUNTALLMSG%"));
    const std::string ini = pagerIni();
    EXPECT_NE(ini.find("Host=127.0.0.2\r\n"), std::string::npos);
    EXPECT_NE(ini.find(cp("Text=Почта: %COUNTNEWMSG%|всего %COUNTALLMSG%\r\n")), std::string::npos);
    EXPECT_NE(ini.find("Column2=-1\r\n"), std::string::npos);
    EXPECT_FALSE(d.OperatorsChanged);
}

TEST_F(Opti, NoticeRecipientFollowsTheUsersChoice)
{
    TOptiWin& d = open("[CheckEmail]\r\nActive=1\r\nTo=79161234567@sms.example.org\r\n");
    EXPECT_EQ(d.cbToOperator->currentText(), "SMS:" + QString::fromUtf8("Мобил (Москва)"));
    EXPECT_EQ(d.eToNum->text(), "79161234567");
    d.eToNum->selectAll();
    QTest::keyClicks(d.eToNum, "111");
    d.bOK->click();
    EXPECT_EQ(Ini.CheckEmail.To, "111@sms.example.org");
}

TEST_F(Opti, APasswordCp1251CannotHoldIsRefused)
{
    TOptiWin& d = open("[CheckEmail]\r\nPassword=\r\n");
    d.ePOPPassword->setText(QString::fromUtf8("пароль€ł"));
    d.bOK->click();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], QString::fromUtf8("В поле \"Пароль\" найдены недопустимые символы!"));
    EXPECT_NE(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.pcOptions->currentIndex(), 3);
    EXPECT_EQ(Ini.CheckEmail.Password, "");

    d.ePOPPassword->setText(QString::fromUtf8("пароль€"));
    d.bOK->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(Ini.CheckEmail.Password, cp("пароль€"));
}

TEST_F(Opti, ThePasswordShowsStars)
{
    TOptiWin& d = open("[CheckEmail]\r\nPassword=\r\n");
    d.ePOPPassword->setText(QString::fromUtf8("пароль"));
    EXPECT_EQ(d.ePOPPassword->displayText(), "******");
}

// The question as the user meets it: Qt's own buttons, in Russian once the
// program has loaded Qt's translation.
TEST_F(Opti, TheDeleteQuestionAsksInRussianAndNoKeepsTheOperator)
{
    ASSERT_TRUE(widgets::loadQtTranslation());
    TOptiWin& d = open();
    d.Ask = realAsk;
    d.lvOperators->setCurrentItem(d.lvOperators->topLevelItem(1));
    const auto seen = questionbox::answerNextWithNo();
    d.sbDelOp->click();
    ASSERT_TRUE(seen->Shown);
    EXPECT_EQ(seen->Caption, QString::fromUtf8("Внимание"));
    EXPECT_EQ(seen->Text, QString::fromUtf8("Вы действительно хотите удалить этого оператора из списка?"));
    EXPECT_EQ(seen->Yes, QString::fromUtf8("&Да"));
    EXPECT_EQ(seen->No, QString::fromUtf8("&Нет"));
    EXPECT_EQ(d.lvOperators->topLevelItemCount(), 3);
    EXPECT_FALSE(d.OperatorsChanged);
}

TEST_F(Opti, NewDataPageOpensInTheBrowser)
{
    std::vector<QUrl> opened;
    shell::setOpenHandler([&](const QUrl& url) {
        opened.push_back(url);
        return false;
    });
    TOptiWin& d = open();
    d.sbNewData->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl("http://www.kestrane.example/pager/newdata.shtml"));
    EXPECT_EQ(shown.size(), 1u);  // the browser could not be started
}

}  // namespace
