#include "pager/main/addrbook.h"

#include "pager/ini.h"
#include "pager/opdb.h"
#include "platform/codepage.h"
#include "platform/inifile.h"
#include "platform/ui/shell.h"
#include "platform/ui/widgets.h"
#include "tests/pager/bookdialog.h"
#include "tests/pager_gui/questionbox.h"
#include "tests/support/testenv.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using testenv::cp;

const std::string kFixtures = ORV_FIXTURES "/book/";

// The text of one section of a book file: its header and lines, without the
// line end of its last line and the blank lines after it.
std::string block(const std::string& bytes, const AnsiString& section)
{
    const std::string head = "[" + section + "]\r\n";
    const size_t from = bytes.find(head);
    if (from == std::string::npos) return {};
    size_t to = bytes.find("\r\n[", from + head.size() - 2);
    to = to == std::string::npos ? bytes.size() : to + 2;
    std::string out = bytes.substr(from, to - from);
    while (out.ends_with("\r\n")) out.resize(out.size() - 2);
    return out;
}

// An address book on a copy of a book file, with the operators of the
// fixtures and recorders in place of the message boxes and the status bar.
class Book {
public:
    explicit Book(const std::string& bookBytes, int bookIndex = 0, int column2 = 0)
    {
        static int n = 0;
        file = testenv::makeDir("addrbook-" + std::to_string(++n)) + "/book.dat";
        if (!bookBytes.empty()) testenv::writeFile(file, bookBytes);
        Ini = TIni{};
        Ini.Main.BookIndex = bookIndex;
        Ini.View.Column2 = column2;
        Ini.View.IconsInBook = true;
        LoadOperators(ops, kFixtures + "operators.dat");
        book = new TAddrBook(&parent, ops, file);
        realAsk = book->Ask;
        book->Ask = [this](const QString& text) {
            asked.push_back(text);
            return answer;
        };
        book->Warn = [this](const QString& text) { warned.push_back(text); };
        book->ShowPanel = [this](int index, const AnsiString& text) { panels[index] = text; };
        book->OnSelectItem = [this](TBookRow* row, bool selected) {
            selections.push_back((selected ? "+" : "-") + row->Name);
        };
        start();
    }

    // What the main window's creation does.
    void start()
    {
        book->LoadGroups();
        book->ShowImages(Ini.View.IconsInBook);
        book->SetViewAddr();
    }

    std::vector<AnsiString> names() const
    {
        std::vector<AnsiString> out;
        for (int i = 0; i < book->Count(); ++i) out.push_back(book->Row(i)->Name);
        return out;
    }
    TBookRow* row(const char* name) const
    {
        for (int i = 0; i < book->Count(); ++i) {
            if (book->Row(i)->Name == cp(name)) return book->Row(i);
        }
        return nullptr;
    }
    void select(const char* name) const { book->lvAddr->setCurrentItem(row(name)); }
    // A user's choice in the group selector.
    void choose(int index) const
    {
        book->cbAddrBook->setCurrentIndex(index);
        emit book->cbAddrBook->activated(index);
    }
    std::string bytes() const { return testenv::readFile(file); }

    std::string file;
    TOpList ops;
    QWidget parent;
    TAddrBook* book = nullptr;  // owned by parent
    std::function<bool(const QString&)> realAsk;  // the book's own question box
    bool answer = true;
    std::vector<QString> asked;
    std::vector<QString> warned;
    std::map<int, AnsiString> panels;
    std::vector<AnsiString> selections;
};

std::string fixture() { return testenv::readFile(kFixtures + "book.dat"); }

using booktest::dialog;

std::vector<AnsiString> cps(std::initializer_list<const char*> utf8)
{
    std::vector<AnsiString> out;
    for (const char* s : utf8) out.push_back(cp(s));
    return out;
}

TEST(AddrBook, StartShowsTheRememberedGroup)
{
    struct Case {
        int bookIndex;
        int shown;
        std::vector<AnsiString> rows;
    };
    const std::vector<Case> cases = {
        {1, 1, cps({"Шеф", "Знак"})},
        {0, 0, cps({"Иван", "Пётр", "Анна", "Ёлка"})},
        {9, 3, cps({"Путь", "Лис", "Ёж", "Сова", "Флаги"})},  // beyond the groups: the last one
        {2, 2, {}},
        {-1, -1, {}},
    };
    for (const Case& c : cases) {
        Book b(fixture(), c.bookIndex);
        EXPECT_EQ(b.book->cbAddrBook->count(), 4);
        EXPECT_EQ(b.book->cbAddrBook->currentIndex(), c.shown) << c.bookIndex;
        EXPECT_EQ(Ini.Main.BookIndex, c.shown) << c.bookIndex;
        EXPECT_EQ(b.names(), c.rows) << c.bookIndex;
    }
    Book none("");
    EXPECT_EQ(none.book->cbAddrBook->count(), 0);
    EXPECT_EQ(Ini.Main.BookIndex, -1);
    EXPECT_EQ(none.book->Count(), 0);
}

TEST(AddrBook, RowsShowTypeImageAndSecondColumn)
{
    Book b(fixture(), 0);
    EXPECT_EQ(b.book->lvAddr->headerItem()->text(0), QString::fromUtf8("Имя"));
    EXPECT_EQ(b.book->lvAddr->headerItem()->text(1), QString::fromUtf8("Оператор связи"));
    EXPECT_FALSE(b.book->lvAddr->isHeaderHidden());
    EXPECT_EQ(b.row("Иван")->ImageIndex, 0);
    EXPECT_EQ(b.row("Пётр")->ImageIndex, 1);
    EXPECT_EQ(b.row("Анна")->ImageIndex, -1);  // no operator for "A"
    EXPECT_FALSE(b.row("Иван")->icon(0).isNull());
    EXPECT_TRUE(b.row("Анна")->icon(0).isNull());
    EXPECT_EQ(b.row("Иван")->text(1), QString::fromUtf8("Пейдж-Сервис, тел. 000-00-01"));
    EXPECT_EQ(b.row("Анна")->text(1), QString());
    EXPECT_EQ(b.row("Иван")->checkState(0), Qt::Unchecked);

    b.book->ShowImages(false);
    EXPECT_TRUE(b.row("Иван")->icon(0).isNull());

    struct Case {
        int column2;
        const char* caption;
        const char* text;
        bool header;
    };
    const std::vector<Case> cases = {
        {1, "Полное имя", "Иванов, Иван", true},
        {2, "E-Mail", "ivan@example.com", true},
        {-1, "E-Mail", "", false},  // the caption stays, the header row goes
        {7, "E-Mail", "", true},
    };
    for (const Case& c : cases) {
        Ini.View.Column2 = c.column2;
        b.book->SetViewAddr();
        EXPECT_EQ(b.book->lvAddr->headerItem()->text(1), QString::fromUtf8(c.caption)) << c.column2;
        EXPECT_EQ(b.row("Иван")->text(1), QString::fromUtf8(c.text)) << c.column2;
        EXPECT_EQ(b.book->lvAddr->isHeaderHidden(), !c.header) << c.column2;
    }
}

TEST(AddrBook, GroupSwitchWritesTheShownGroupAndLoadsTheChosenOne)
{
    const std::string original = fixture();
    Book b(original, 0);
    b.row("Иван")->setCheckState(0, Qt::Checked);
    b.select("Пётр");
    ASSERT_TRUE(b.book->sbDelClick());
    EXPECT_FALSE(b.book->sbAddClick(dialog("Новый", 0, "Тверь", "Свой оператор", "55")));  // not loaded here
    ASSERT_TRUE(b.book->sbAddClick(dialog("Новый", 0, "City1", "Op1", "55")));

    b.choose(1);
    EXPECT_EQ(Ini.Main.BookIndex, 1);
    EXPECT_EQ(b.names(), cps({"Шеф", "Знак"}));
    const std::string written = b.bytes();
    EXPECT_EQ(block(written, cp("Друзья")),
              cp("[Друзья]\r\nИван=12345@pager.example.net,ivan@example.com,Иванов\\, Иван,X 2000\r\n"
                 "Анна=A,,,,,,,01\r\nЁлка=pg777@vector.example.net,a\\,b@example.com,,,LAT2KOI8,,,001\r\n"
                 "Новый=55-gw"));
    for (const char* g : {"Работа", "Пустая", "Разное"}) EXPECT_EQ(block(written, cp(g)), block(original, cp(g))) << g;
    EXPECT_TRUE(written.starts_with("; Address book of the tests\r\n[")) << "order and comment kept";
    for (size_t i = 1; i < 4; ++i) EXPECT_EQ(b.panels[static_cast<int>(i)], "") << i;

    b.choose(0);
    EXPECT_EQ(b.names(), cps({"Иван", "Анна", "Ёлка", "Новый"}));
    EXPECT_EQ(b.row("Иван")->checkState(0), Qt::Unchecked);
    EXPECT_EQ(b.row("Новый")->Item.Addr, "55-gw");

    // Choosing the group already shown changes nothing.
    b.book->Row(0)->setCheckState(0, Qt::Checked);
    b.choose(0);
    EXPECT_EQ(b.book->Row(0)->checkState(0), Qt::Checked);
}

TEST(AddrBook, AFailedSaveKeepsTheRowsAndTheirGroup)
{
    Book b(fixture(), 0);
    b.select("Пётр");
    ASSERT_TRUE(b.book->sbDelClick());
    // book.dat cannot be replaced any more.
    std::filesystem::remove(b.file);
    std::filesystem::create_directory(b.file);
    b.book->cbAddrBook->setCurrentIndex(1);
    EXPECT_THROW(b.book->cbAddrBookChange(), EIniFileException);
    EXPECT_EQ(b.book->cbAddrBook->currentIndex(), 0);
    EXPECT_EQ(Ini.Main.BookIndex, 0);
    EXPECT_EQ(b.names(), cps({"Иван", "Анна", "Ёлка"}));
}

TEST(AddrBook, SetViewAddrReloadsTheGroupWithoutSavingIt)
{
    Book b(fixture(), 0);
    b.select("Иван");
    ASSERT_TRUE(b.book->sbDelClick());
    b.book->SetViewAddr();
    EXPECT_EQ(b.names(), cps({"Иван", "Пётр", "Анна", "Ёлка"}));
    EXPECT_EQ(b.bytes(), fixture());
}

TEST(AddrBook, DeletingGroups)
{
    const std::string original = "[A]\r\na=1@pager.example.net\r\n\r\n[B]\r\nb=2@pager.example.net\r\n\r\n"
                                 "[C]\r\nc=3@pager.example.net\r\n";
    Book b(original, 1);
    ASSERT_TRUE(b.book->sbAddClick(dialog("unsaved", 0, "Москва", "Пейдж-Сервис", "77")));

    b.answer = false;
    EXPECT_FALSE(b.book->mAddrDelClick());
    ASSERT_EQ(b.asked.size(), 1u);
    EXPECT_EQ(b.asked[0], QString::fromUtf8("Вы действительно хотите удалить эту группу?"));
    EXPECT_EQ(b.bytes(), original);
    EXPECT_EQ(b.book->Count(), 2);

    // The middle group: the one after it is shown; nothing of B is written anywhere.
    b.answer = true;
    EXPECT_TRUE(b.book->mAddrDelClick());
    EXPECT_EQ(b.bytes(), "[A]\r\na=1@pager.example.net\r\n\r\n[C]\r\nc=3@pager.example.net\r\n");
    EXPECT_EQ(b.book->Groups(), (std::vector<AnsiString>{"A", "C"}));
    EXPECT_EQ(b.book->cbAddrBook->currentIndex(), 1);
    EXPECT_EQ(Ini.Main.BookIndex, 1);
    EXPECT_EQ(b.names(), (std::vector<AnsiString>{"c"}));

    // The last group: the one before it is shown.
    EXPECT_TRUE(b.book->mAddrDelClick());
    EXPECT_EQ(b.names(), (std::vector<AnsiString>{"a"}));
    EXPECT_EQ(Ini.Main.BookIndex, 0);

    // The only group: nothing is left.
    EXPECT_TRUE(b.book->mAddrDelClick());
    EXPECT_EQ(b.book->cbAddrBook->count(), 0);
    EXPECT_EQ(b.book->Count(), 0);
    EXPECT_EQ(Ini.Main.BookIndex, -1);
    EXPECT_TRUE(TIniFile(b.file).ReadSections().empty());
    EXPECT_FALSE(b.book->mAddrDelClick());
    EXPECT_EQ(b.asked.size(), 4u);
}

TEST(AddrBook, AddingGroups)
{
    const std::string original = fixture();
    Book b(original, 0);
    b.select("Пётр");
    ASSERT_TRUE(b.book->sbDelClick());

    ASSERT_TRUE(b.book->mAddrAddClick(cp("Новая")));
    EXPECT_EQ(b.book->cbAddrBook->count(), 5);
    EXPECT_EQ(b.book->cbAddrBook->currentIndex(), 4);
    EXPECT_EQ(b.book->cbAddrBook->currentText(), QString::fromUtf8("Новая"));
    EXPECT_EQ(Ini.Main.BookIndex, 4);
    EXPECT_EQ(b.book->Count(), 0);
    const std::string written = b.bytes();
    EXPECT_TRUE(written.ends_with(cp("\r\n[Новая]\r\nNewItem=\r\n")));
    EXPECT_EQ(block(written, cp("Друзья")).find(cp("Пётр")), std::string::npos);  // the shown group was saved
    for (const char* g : {"Работа", "Пустая", "Разное"}) EXPECT_EQ(block(written, cp(g)), block(original, cp(g))) << g;

    // Names the book cannot hold apart, or at all.
    for (const char* name : {"новая", "ДРУЗЬЯ", " Отступ", "Хвост ", "a]b", ""}) {
        b.warned.clear();
        EXPECT_FALSE(b.book->mAddrAddClick(cp(name))) << name;
        EXPECT_EQ(b.warned.size(), 1u) << name;
    }
    EXPECT_EQ(b.book->cbAddrBook->count(), 5);
    EXPECT_EQ(b.bytes(), written);
}

TEST(AddrBook, RenamingAGroupWritesItAtOnce)
{
    const std::string original = fixture();
    Book b(original, 0);
    b.select("Пётр");
    ASSERT_TRUE(b.book->sbDelClick());

    ASSERT_TRUE(b.book->mAddrEditClick(cp("Близкие")));
    EXPECT_EQ(b.book->cbAddrBook->currentText(), QString::fromUtf8("Близкие"));
    EXPECT_EQ(b.book->cbAddrBook->currentIndex(), 0);
    std::string written = b.bytes();
    EXPECT_EQ(block(written, cp("Друзья")), "");
    EXPECT_EQ(block(written, cp("Близкие")),
              cp("[Близкие]\r\nИван=12345@pager.example.net,ivan@example.com,Иванов\\, Иван,X 2000\r\n"
                 "Анна=A,,,,,,,01\r\nЁлка=pg777@vector.example.net,a\\,b@example.com,,,LAT2KOI8,,,001"));
    for (const char* g : {"Работа", "Пустая", "Разное"}) EXPECT_EQ(block(written, cp(g)), block(original, cp(g))) << g;

    // The name of another group is refused; that group keeps its contacts.
    EXPECT_FALSE(b.book->mAddrEditClick(cp("работа")));
    EXPECT_EQ(b.warned.size(), 1u);
    EXPECT_EQ(b.bytes(), written);

    // Later saves go under the new name.
    b.choose(1);
    written = b.bytes();
    EXPECT_NE(block(written, cp("Близкие")), "");
    EXPECT_EQ(block(written, cp("Друзья")), "");

    // A group without contacts survives its renaming.
    b.choose(2);
    ASSERT_TRUE(b.book->mAddrEditClick(cp("Пустая тоже")));
    Ini.Main.BookIndex = 0;
    b.start();
    EXPECT_EQ(b.book->Groups(), cps({"Работа", "Разное", "Близкие", "Пустая тоже"}));
}

TEST(AddrBook, AddingContacts)
{
    Book b(fixture(), 0);
    ASSERT_TRUE(b.book->sbAddClick(dialog("Маша", 1, "Москва", "Мобил", "79990001122")));
    TBookRow* row = b.row("Маша");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(b.book->lvAddr->indexOfTopLevelItem(row), 4);
    EXPECT_EQ(row->Item.Addr, "79990001122@sms.example.org");
    EXPECT_EQ(row->ImageIndex, 1);
    EXPECT_EQ(row->checkState(0), Qt::Unchecked);
    EXPECT_EQ(b.book->Selected(), row);
    EXPECT_EQ(b.panels[0], cp("Мобил аб 79990001122"));

    struct Refusal {
        const char* what;
        TBookItDialogResult result;
    };
    const std::vector<Refusal> refusals = {
        {"no operator", dialog("Даша", 1, "Тверь", "Мобил", "1")},
        {"a name taken apart from case", dialog("МАША", 1, "Москва", "Мобил", "1")},
        {"a name that is no key", dialog("a=b", 1, "Москва", "Мобил", "1")},
        {"a name starting with [", dialog("[x", 1, "Москва", "Мобил", "1")},
    };
    for (const Refusal& r : refusals) {
        b.warned.clear();
        EXPECT_FALSE(b.book->sbAddClick(r.result)) << r.what;
        EXPECT_EQ(b.warned.size(), 1u) << r.what;
        EXPECT_EQ(b.book->Count(), 5) << r.what;
    }

    Book empty("");
    EXPECT_FALSE(empty.book->sbAddClick(dialog("Маша", 1, "Москва", "Мобил", "1")));
    EXPECT_EQ(empty.warned.size(), 1u);
    EXPECT_EQ(empty.book->Count(), 0);
}

TEST(AddrBook, EditingContacts)
{
    Book b(fixture(), 0);
    EXPECT_FALSE(b.book->EditInit().has_value());
    b.select("Иван");
    const auto init = b.book->EditInit();
    ASSERT_TRUE(init.has_value());
    EXPECT_EQ(init->Name, cp("Иван"));
    EXPECT_EQ(init->OpIndex, 0);
    EXPECT_EQ(init->Num, "12345");
    EXPECT_EQ(init->Item.FullName, cp("Иванов, Иван"));

    TBookItDialogResult r = dialog("Ваня", 1, "Москва", "Мобил", "700");
    r.FullName = cp("Иван Иванов");
    r.Code = 1;
    ASSERT_TRUE(b.book->sbEditClick(r));
    TBookRow* row = b.row("Ваня");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(b.book->lvAddr->indexOfTopLevelItem(row), 0);
    EXPECT_EQ(row->Item.Addr, "700@sms.example.org");
    EXPECT_EQ(row->Item.Code, 1);
    EXPECT_EQ(row->ImageIndex, 1);
    EXPECT_EQ(b.panels[0], cp("Мобил аб 700"));
    EXPECT_EQ(b.panels[1], cp("Иван Иванов"));

    // No operator: the address stays, the rest is taken, and the user is told.
    r = dialog("Ваня", 0, "Нигде", "Никто", "1");
    r.FullName = cp("Другое имя");
    ASSERT_TRUE(b.book->sbEditClick(r));
    EXPECT_EQ(row->Item.Addr, "700@sms.example.org");
    EXPECT_EQ(row->Item.FullName, cp("Другое имя"));
    EXPECT_EQ(row->ImageIndex, 1);
    EXPECT_EQ(b.warned.size(), 1u);

    // Another row's name is refused and nothing changes.
    EXPECT_FALSE(b.book->sbEditClick(dialog("пётр", 0, "City1", "Op1", "1")));
    EXPECT_EQ(b.warned.size(), 2u);
    EXPECT_EQ(row->Name, cp("Ваня"));
    EXPECT_EQ(row->Item.Addr, "700@sms.example.org");
}

TEST(AddrBook, DeletingContacts)
{
    Book b(fixture(), 0);
    EXPECT_FALSE(b.book->sbDelClick());
    EXPECT_TRUE(b.asked.empty());

    b.select("Пётр");
    b.answer = false;
    EXPECT_FALSE(b.book->sbDelClick());
    ASSERT_EQ(b.asked.size(), 1u);
    EXPECT_EQ(b.asked[0], QString::fromUtf8("Вы действительно хотите удалить этого человека из списка?"));
    EXPECT_EQ(b.book->Count(), 4);

    b.answer = true;
    b.selections.clear();
    EXPECT_TRUE(b.book->sbDelClick());
    EXPECT_EQ(b.names(), cps({"Иван", "Анна", "Ёлка"}));
    EXPECT_EQ(b.book->Selected(), nullptr);
    EXPECT_EQ(b.selections, cps({"-Пётр"}));
    EXPECT_EQ(b.panels[1], "");
    EXPECT_FALSE(b.book->sbUp->isEnabled());
}

// The questions as the user meets them: Qt's own buttons, in Russian once the
// program has loaded Qt's translation.
TEST(AddrBook, TheDeleteQuestionsAskInRussianAndNoKeepsEverything)
{
    ASSERT_TRUE(widgets::loadQtTranslation());
    Book b(fixture(), 0);
    b.book->Ask = b.realAsk;
    const std::string before = b.bytes();
    const int groups = b.book->cbAddrBook->count();
    struct Case {
        const char* what;
        std::function<bool()> remove;
        const char* text;
    } cases[] = {
        {"contact",
         [&] {
             b.select("Пётр");
             return b.book->sbDelClick();
         },
         "Вы действительно хотите удалить этого человека из списка?"},
        {"group", [&] { return b.book->mAddrDelClick(); }, "Вы действительно хотите удалить эту группу?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto seen = questionbox::answerNextWithNo();
        EXPECT_FALSE(c.remove());
        ASSERT_TRUE(seen->Shown);
        EXPECT_EQ(seen->Caption, QString::fromUtf8("Внимание"));
        EXPECT_EQ(seen->Text, QString::fromUtf8(c.text));
        EXPECT_EQ(seen->Yes, QString::fromUtf8("&Да"));
        EXPECT_EQ(seen->No, QString::fromUtf8("&Нет"));
    }
    EXPECT_EQ(b.book->Count(), 4);
    EXPECT_EQ(b.book->cbAddrBook->count(), groups);
    EXPECT_EQ(b.bytes(), before);
}

TEST(AddrBook, MovingContactsMovesEverythingOfThem)
{
    Book b("[G]\r\nx=1@pager.example.net,,,,LAT2KOI8\r\ny=2\r\nz=3@sms.example.org\r\n", 0);
    EXPECT_FALSE(b.book->sbDnClick());
    b.select("x");
    b.row("x")->setCheckState(0, Qt::Checked);
    EXPECT_FALSE(b.book->sbUp->isEnabled());
    EXPECT_TRUE(b.book->sbDn->isEnabled());
    EXPECT_FALSE(b.book->sbUpClick());

    ASSERT_TRUE(b.book->sbDnClick());
    EXPECT_EQ(b.names(), (std::vector<AnsiString>{"y", "x", "z"}));
    EXPECT_EQ(b.row("x")->Item.Code, 3);
    EXPECT_EQ(b.row("y")->Item.Code, 0);
    EXPECT_EQ(b.row("x")->checkState(0), Qt::Checked);
    EXPECT_EQ(b.row("y")->checkState(0), Qt::Unchecked);
    EXPECT_EQ(b.row("x")->ImageIndex, 0);
    EXPECT_EQ(b.row("y")->ImageIndex, -1);
    EXPECT_EQ(b.row("x")->text(1), QString::fromUtf8("Пейдж-Сервис, тел. 000-00-01"));
    EXPECT_EQ(b.book->Group().At(1).Name, "x");
    EXPECT_TRUE(b.book->Group().At(1).Checked);
    EXPECT_EQ(b.book->Selected(), b.row("x"));
    EXPECT_TRUE(b.book->sbUp->isEnabled());
    EXPECT_TRUE(b.book->sbDn->isEnabled());

    ASSERT_TRUE(b.book->sbDnClick());
    EXPECT_EQ(b.names(), (std::vector<AnsiString>{"y", "z", "x"}));
    EXPECT_TRUE(b.book->sbUp->isEnabled());
    EXPECT_FALSE(b.book->sbDn->isEnabled());

    ASSERT_TRUE(b.book->sbUpClick());
    EXPECT_EQ(b.names(), (std::vector<AnsiString>{"y", "x", "z"}));
}

TEST(AddrBook, SelectionFillsTheContactPanels)
{
    Book b(fixture(), 0);
    b.select("Иван");
    EXPECT_EQ(b.panels[0], cp("Пейдж-Сервис, тел. 000-00-01 аб 12345"));
    EXPECT_EQ(b.panels[1], cp("Иванов, Иван"));
    EXPECT_EQ(b.panels[2], "ivan@example.com");
    b.select("Анна");
    EXPECT_EQ(b.panels[0], "");
    EXPECT_EQ(b.panels[1], "");
    EXPECT_EQ(b.selections, cps({"+Иван", "-Иван", "+Анна"}));
    b.book->lvAddr->clearSelection();
    EXPECT_EQ(b.selections.back(), cp("-Анна"));
    EXPECT_FALSE(b.book->sbDn->isEnabled());
}

TEST(AddrBook, MailLinkGoesToTheMailProgram)
{
    std::vector<QUrl> opened;
    shell::setOpenHandler([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    Book b("[G]\r\nx=1,mail@example.com\r\ny=2\r\nz=3,who@example.com?body=x\r\n", 0);
    b.book->sbMailClick();
    b.select("y");
    b.book->sbMailClick();
    EXPECT_TRUE(opened.empty());
    b.select("x");
    b.book->sbMail->click();
    b.select("z");
    b.book->sbMailClick();
    shell::setOpenHandler({});
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].toString(), "mailto:mail@example.com");
    EXPECT_EQ(opened[1].scheme(), "mailto");
    EXPECT_EQ(opened[1].path(), "who@example.com?body=x");
}

TEST(AddrBook, CheckMarks)
{
    Book b(fixture(), 0);
    b.parent.show();
    b.parent.activateWindow();
    b.book->lvAddr->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&b.parent));

    // The rows show the group's check marks, and the user's marks go to it.
    const TShownGroup& group = b.book->Group();
    const int anna = b.book->lvAddr->indexOfTopLevelItem(b.row("Анна"));
    emit b.book->lvAddr->itemDoubleClicked(b.row("Анна"), 0);
    EXPECT_EQ(b.row("Анна")->checkState(0), Qt::Checked);
    EXPECT_TRUE(group.At(anna).Checked);
    emit b.book->lvAddr->itemDoubleClicked(b.row("Анна"), 0);
    EXPECT_EQ(b.row("Анна")->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(group.At(anna).Checked);

    b.book->lvAddr->setCurrentItem(b.row("Анна"));
    QTest::keyClick(b.book->lvAddr, Qt::Key_Space);
    EXPECT_EQ(b.row("Анна")->checkState(0), Qt::Checked);
    EXPECT_EQ(group.FirstChecked(), anna);
    QTest::keyClick(b.book->lvAddr, Qt::Key_Space);
    EXPECT_EQ(group.FirstChecked(), -1);

    QTest::keyClick(b.book->lvAddr, Qt::Key_A, Qt::ControlModifier);
    for (int i = 0; i < b.book->Count(); ++i) EXPECT_EQ(b.book->Row(i)->checkState(0), Qt::Checked) << i;
    EXPECT_EQ(group.CheckedItems().size(), static_cast<size_t>(b.book->Count()));
    b.book->mSelectNone->trigger();
    for (int i = 0; i < b.book->Count(); ++i) EXPECT_EQ(b.book->Row(i)->checkState(0), Qt::Unchecked) << i;
    EXPECT_TRUE(group.CheckedItems().empty());
}

TEST(AddrBook, NameRefusalsAreToldBeforeTheDialogsClose)
{
    Book b(fixture(), 0);
    b.select("Пётр");
    struct Case {
        const char* name;
        bool editing;
        bool refused;
    } contacts[] = {
        {"Пётр", true, false},   // its own name
        {"пётр", false, true},   // another contact's, apart from case
        {"ИВАН", true, true},
        {"a=b", false, true},
        {"Новый", false, false},
    };
    for (const Case& c : contacts) {
        EXPECT_EQ(!b.book->ContactNameRefusal(cp(c.name), c.editing).isEmpty(), c.refused) << c.name;
    }
    Case groups[] = {{"друзья", true, false}, {"друзья", false, true}, {"a]b", false, true}, {"Ещё", false, false}};
    for (const Case& c : groups) {
        EXPECT_EQ(!b.book->GroupNameRefusal(cp(c.name), c.editing).isEmpty(), c.refused) << c.name;
    }
    EXPECT_TRUE(b.warned.empty());
}

TEST(AddrBook, ButtonsAndMenusOpenTheDialogs)
{
    Book b(fixture(), 0);
    std::vector<std::string> calls;
    b.book->ShowBookItDialog = [&](const TBookItDialogInit* edit) -> std::optional<TBookItDialogResult> {
        calls.push_back(edit ? "edit " + edit->Name : "add");
        if (edit) return dialog("Ваня", 0, "Москва", "Пейдж-Сервис", "999");
        return dialog("Новый", 0, "City1", "Op1", "5");
    };
    b.book->ShowGroupItDialog = [&](const AnsiString* current) -> std::optional<AnsiString> {
        calls.push_back(current ? "rename " + *current : "group");
        return std::nullopt;  // cancelled
    };
    b.book->sbEdit->click();  // nothing selected: no dialog
    b.book->sbAdd->click();
    b.select("Иван");
    b.book->mBookEdit->trigger();
    b.book->mAddrAdd->trigger();
    b.book->mAddrEdit->trigger();
    EXPECT_EQ(calls, (std::vector<std::string>{"add", "edit " + cp("Иван"), "group", "rename " + cp("Друзья")}));
    EXPECT_EQ(b.names(), cps({"Ваня", "Пётр", "Анна", "Ёлка", "Новый"}));
    EXPECT_EQ(b.row("Ваня")->Item.Addr, "999@pager.example.net");
    EXPECT_EQ(b.book->Groups().size(), 4u);
}

TEST(AutoTexts, BoxesSetTheEditsAndTheSettings)
{
    Book b(fixture(), 0);
    TAutoTexts boxes(&b.parent, *b.book);
    bool loading = false;
    std::vector<AnsiString> viewed;
    boxes.ParamsLoading = [&] { return loading; };
    boxes.ViewUserParam = [&](TBookRow* row) { viewed.push_back(row->Name); };
    Ini.Main.Header = cp("Привет, %NAME%!");
    Ini.Main.Signature = cp("Пока");

    boxes.cbAutoHeader->setCheckState(Qt::Checked);
    EXPECT_EQ(boxes.eHeader->text(), QString::fromUtf8("Привет, %NAME%!"));
    EXPECT_TRUE(Ini.Main.IsHeader);
    EXPECT_TRUE(boxes.eHeader->isEnabled());
    EXPECT_TRUE(viewed.empty());

    b.select("Иван");
    boxes.cbAutoSignat->click();
    EXPECT_TRUE(Ini.Main.IsSignature);
    EXPECT_EQ(boxes.eSignature->text(), QString::fromUtf8("Пока"));
    EXPECT_EQ(viewed, cps({"Иван"}));
    boxes.cbAutoSignat->click();
    EXPECT_FALSE(Ini.Main.IsSignature);
    EXPECT_FALSE(boxes.eSignature->isEnabled());

    // Filled from a contact: grey, the contact's text, the settings untouched.
    loading = true;
    boxes.eHeader->setText(QString::fromUtf8("Своё"));
    boxes.cbAutoHeader->setCheckState(Qt::PartiallyChecked);
    EXPECT_TRUE(Ini.Main.IsHeader);
    EXPECT_EQ(boxes.eHeader->text(), QString::fromUtf8("Своё"));
    EXPECT_FALSE(boxes.eHeader->isEnabled());
    EXPECT_EQ(viewed.size(), 2u);
    loading = false;

    // A click never makes the box grey.
    boxes.cbAutoHeader->click();
    EXPECT_EQ(boxes.cbAutoHeader->checkState(), Qt::Checked);
    boxes.cbAutoHeader->click();
    EXPECT_EQ(boxes.cbAutoHeader->checkState(), Qt::Unchecked);
    boxes.cbAutoHeader->click();
    EXPECT_EQ(boxes.cbAutoHeader->checkState(), Qt::Checked);
    EXPECT_FALSE(boxes.eHeader->toolTip().isEmpty());
}

}  // namespace
