#include "pager/book.h"
#include "pager/opdb.h"

#include "platform/codepage.h"
#include "platform/inifile.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testenv::cp;
using namespace std::string_literals;

const std::string kFixtures = ORV_FIXTURES "/book/";

TBookItem item(const char* addr, const char* email = "", const char* fullName = "", const char* model = "",
               int code = 0, const char* header = "", const char* signature = "", const char* flags = "000")
{
    TBookItem b;
    b.Addr = cp(addr);
    b.EMail = cp(email);
    b.FullName = cp(fullName);
    b.Model = cp(model);
    b.Code = code;
    b.Header = cp(header);
    b.Signature = cp(signature);
    b.OwnHeader = flags[0] == '1';
    b.CopyEMail = flags[1] == '1';
    b.OwnSignature = flags[2] == '1';
    return b;
}

std::string show(const TBookItem& b)
{
    return b.Addr + "|" + b.EMail + "|" + b.FullName + "|" + b.Model + "|" + std::to_string(b.Code) + "|" +
           b.Header + "|" + b.Signature + "|" + (b.OwnHeader ? "1" : "0") + (b.CopyEMail ? "1" : "0") +
           (b.OwnSignature ? "1" : "0");
}

TEST(BookLine, WritesAndReadsBack)
{
    struct Case {
        const char* what;
        TBookItem item;
        const char* line;
    };
    const std::vector<Case> cases = {
        {"only the address and the copy flag", item("A", "", "", "", 0, "", "", "010"), "A,,,,,,,01"},
        {"the line ends with the model", item("1@p.example.net", "", "", "X 2000"), "1@p.example.net,,,X 2000"},
        {"a comma in the full name", item("a", "", "Иванов, Иван"), "a,,Иванов\\, Иван"},
        {"commas in address and e-mail", item("a,b", "c,d@x", "", "", 1), "a\\,b,c\\,d@x,,,WIN"},
        {"backslashes stay", item("a\\b", "", "c:\\d\\e"), "a\\b,,c:\\d\\e"},
        {"a backslash before a comma", item("a\\,b"), "a\\\\,b"},
        {"a field ending in a backslash", item("a", "", "c:\\dir\\", "M"), "a,,c:\\dir\\ ,M"},
        {"the last field ending in a backslash", item("a", "", "", "", 0, "", "x\\"), "a,,,,,,x\\ "},
        {"byte 164 is a plain character", item("a", "", "Цена 5¤, шт", "¤"), "a,,Цена 5¤\\, шт,¤"},
        {"flags 100", item("a", "", "", "", 0, "", "", "100"), "a,,,,,,,1"},
        {"flags 001", item("a", "", "", "", 0, "", "", "001"), "a,,,,,,,001"},
        {"flags 111", item("a", "", "", "", 0, "", "", "111"), "a,,,,,,,111"},
        {"a field of 0 is written whole", item("a", "", "", "", 0, "0"), "a,,,,,0"},
        {"code RUS2LAT", item("a", "", "", "", 2), "a,,,,RUS2LAT"},
        {"code LAT2KOI8 before texts", item("a", "", "", "", 3, "Привет", "Пока", "101"),
         "a,,,,LAT2KOI8,Привет,Пока,101"},
        {"code LAT2WIN", item("a", "", "", "", 4), "a,,,,LAT2WIN"},
        {"code KOI8 is the empty name", item("a", "e", "", "", 0, "h"), "a,e,,,,h"},
        {"nothing at all", item(""), ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BookItemToLine(c.item), cp(c.line)) << c.what;
        EXPECT_EQ(show(BookItemFromLine(cp(c.line))), show(c.item)) << c.what;
    }
}

TEST(BookLine, ReadsWhatOthersWrote)
{
    struct Case {
        const char* what;
        const char* line;
        TBookItem want;
    };
    const std::vector<Case> cases = {
        {"code names without case", "a,,,,lat2win", item("a", "", "", "", 4)},
        {"an unknown code name is KOI8", "a,,,,KOI9", item("a")},
        {"a short line", "a,b", item("a", "b")},
        {"ending after the signature", "a,,,,WIN,h,s", item("a", "", "", "", 1, "h", "s")},
        {"a short flags field", "a,,,,,,,1", item("a", "", "", "", 0, "", "", "100")},
        {"only 1 sets a flag", "a,,,,,,,1x1", item("a", "", "", "", 0, "", "", "101")},
        {"fields are trimmed", " a , b ,  c  ", item("a", "b", "c")},
        {"a trailing backslash joined with the next field",
         "a,,c:\\dir\\,Модель", item("a", "", "c:\\dir,Модель")},
        {"a field past the flags is ignored", "a,,,,,,,01,xyz", item("a", "", "", "", 0, "", "", "010")},
        {"an empty line", "", item("")},
    };
    for (const Case& c : cases) EXPECT_EQ(show(BookItemFromLine(cp(c.line))), show(c.want)) << c.what;
}

TEST(BookLine, TextsAreCutTo255)
{
    const std::string longText(300, 'x');
    const TBookItem b = BookItemFromLine(longText + "," + longText + ",,," + "WIN," + longText);
    EXPECT_EQ(b.Addr.size(), 255u);
    EXPECT_EQ(b.EMail.size(), 255u);
    EXPECT_EQ(b.Header.size(), 255u);
    EXPECT_EQ(b.Code, 1);
}

TEST(BookLine, LineBreaksInTextsBecomeBlanks)
{
    EXPECT_EQ(BookItemToLine(item("a", "", "two\r\nlines")), "a,,two  lines");
}

TEST(BookFile, ReadsGroupsAndContactsAsTheOriginalWroteThem)
{
    const TIniFile book(kFixtures + "book.dat");
    const std::vector<AnsiString> groups = ReadBookGroups(book);
    ASSERT_EQ(groups, (std::vector<AnsiString>{cp("Друзья"), cp("Работа"), cp("Пустая"), cp("Разное")}));

    const auto friends = LoadBookGroup(book, cp("Друзья"));
    ASSERT_EQ(friends.size(), 4u);
    EXPECT_EQ(friends[0].Name, cp("Иван"));
    EXPECT_EQ(show(friends[0].Item), show(item("12345@pager.example.net", "ivan@example.com", "Иванов, Иван", "X 2000")));
    EXPECT_EQ(show(friends[1].Item),
              show(item("79161234567@sms.example.org", "", "", "", 1, "Привет", "Пока", "101")));
    EXPECT_EQ(show(friends[2].Item), show(item("A", "", "", "", 0, "", "", "010")));
    EXPECT_EQ(friends[3].Name, cp("Ёлка"));
    EXPECT_EQ(show(friends[3].Item), show(item("pg777@vector.example.net", "a,b@example.com", "", "", 3, "", "", "001")));

    EXPECT_EQ(LoadBookGroup(book, cp("Работа"))[1].Item.FullName, cp("Цена 5¤ за шт"));
    EXPECT_TRUE(LoadBookGroup(book, cp("Пустая")).empty());  // "NewItem" with no value is no contact

    const auto other = LoadBookGroup(book, cp("Разное"));
    std::vector<AnsiString> names;
    for (const auto& e : other) names.push_back(e.Name);
    EXPECT_EQ(names, (std::vector<AnsiString>{cp("Путь"), cp("Лис"), cp("Ёж"), cp("Сова"), cp("Флаги")}));
    EXPECT_EQ(other[0].Item.FullName, cp("c:\\dir,Модель"));
    EXPECT_EQ(other[1].Item.Code, 4);
    EXPECT_EQ(other[2].Item.Code, 0);
    EXPECT_EQ(show(other[3].Item), show(item("x@example.net", "e@example.com")));
    EXPECT_TRUE(other[4].Item.OwnHeader);
    EXPECT_FALSE(other[4].Item.CopyEMail);
}

TEST(BookFile, SavingAnUntouchedGroupGivesTheSameBytes)
{
    const std::string original = testenv::readFile(kFixtures + "book.dat");
    const std::string path = testenv::makeDir("book-same") + "/book.dat";
    for (const char* group : {"Друзья", "Работа"}) {
        testenv::writeFile(path, original);
        TIniFile book(path);
        WriteBookGroup(book, cp(group), LoadBookGroup(book, cp(group)));
        book.UpdateFile();
        EXPECT_EQ(testenv::readFile(path), original) << group;
    }
}

TEST(BookFile, WritingAGroupKeepsItsPlaceAndTheOtherGroups)
{
    const std::string path = testenv::makeDir("book-place") + "/book.dat";
    testenv::writeFile(path, "[A]\r\nx=1,,,,,,,1\r\ny=2\r\n\r\n[B]\r\nz=3\r\n\r\n[C]\r\nw=4\r\n");
    TIniFile book(path);
    WriteBookGroup(book, "B", {{"q", item("9")}, {"z", item("8")}});
    book.UpdateFile();
    EXPECT_EQ(testenv::readFile(path), "[A]\r\nx=1,,,,,,,1\r\ny=2\r\n\r\n[B]\r\nq=9\r\nz=8\r\n\r\n[C]\r\nw=4\r\n");

    // A group emptied keeps its section; a new empty one gets "NewItem".
    TIniFile again(path);
    WriteBookGroup(again, "B", {});
    WriteBookGroup(again, "D", {});
    again.UpdateFile();
    EXPECT_EQ(testenv::readFile(path), "[A]\r\nx=1,,,,,,,1\r\ny=2\r\n\r\n[B]\r\n\r\n[C]\r\nw=4\r\n\r\n[D]\r\nNewItem=\r\n");
    EXPECT_EQ(ReadBookGroups(TIniFile(path)), (std::vector<AnsiString>{"A", "B", "C", "D"}));
}

TEST(BookFile, ValuesTheIniFileWouldChangeComeBackWhole)
{
    const std::string path = testenv::makeDir("book-quotes") + "/book.dat";
    const std::vector<TBookEntry> entries = {
        {"dq", item("\"a", "", "", "", 0, "", "b\"")},
        {"sq", item("'a'")},
        {"empty", item("")},
        {"blanks", item("a", "", "", "", 0, "", "x\\")},
    };
    {
        TIniFile book(path);
        WriteBookGroup(book, "G", entries);
        book.UpdateFile();
    }
    const auto back = LoadBookGroup(TIniFile(path), "G");
    ASSERT_EQ(back.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(back[i].Name, entries[i].Name);
        EXPECT_EQ(show(back[i].Item), show(entries[i].Item)) << entries[i].Name;
    }
}

TEST(BookFile, DuplicateKeysAreAllReplaced)
{
    const std::string path = testenv::makeDir("book-dup") + "/book.dat";
    testenv::writeFile(path, "[G]\r\na=1\r\nA=2\r\nb=3\r\n");
    TIniFile book(path);
    WriteBookGroup(book, "G", {{"a", item("5")}});
    book.UpdateFile();
    EXPECT_EQ(testenv::readFile(path), "[G]\r\na=5\r\n");
}

// A contact line of 2,100 bytes (commas escaped) is written and read back
// whole, not cut where the host's reader stopped.
TEST(BookFile, ALongContactLineComesBackWhole)
{
    const std::string path = testenv::makeDir("book-long") + "/book.dat";
    const AnsiString commas(255, ',');
    TBookItem big;
    big.Addr = "1@p.example.net";
    big.EMail = commas;
    big.FullName = commas;
    big.Model = commas;
    big.Header = commas;
    big.Signature = AnsiString(54, ',');
    big.OwnSignature = true;
    {
        TIniFile book(path);
        WriteBookGroup(book, "G", {{"a", big}});
        book.UpdateFile();
    }
    ASSERT_GT(BookItemToLine(big).size(), 2100u);
    const auto back = LoadBookGroup(TIniFile(path), "G");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(show(back[0].Item), show(big));
}

// Names a hostile book.dat holds but the writer cannot take back are made
// storable when loading, and only those.
TEST(BookNames, NamesTheFileCannotTakeBackAreMadeStorable)
{
    struct Case {
        const char* what;
        std::vector<std::string> names;
        std::vector<std::string> shown;
    };
    const std::vector<Case> cases = {
        {"good names stay", {"Друзья", "Работа"}, {"Друзья", "Работа"}},
        {"an empty name", {"", "Друзья"}, {"Без названия", "Друзья"}},
        {"control bytes inside", {"a\rb", "c\0d"s, "e\x01"}, {"a b", "c d", "e"}},
        {"a made name taken already", {"a\rb", "A B", "a\tb", "", "без названия"},
         {"a b (2)", "A B", "a b (3)", "Без названия (2)", "без названия"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<AnsiString> names;
        for (const std::string& n : c.names) names.push_back(codepage::fromUtf8(n));
        std::vector<AnsiString> expected;
        for (const std::string& n : c.shown) expected.push_back(codepage::fromUtf8(n));
        EXPECT_EQ(StorableNames(names, UnnamedGroup()), expected);
    }

    const std::string path = testenv::makeDir("book-hostile") + "/book.dat";
    testenv::writeFile(path, cp("[]\r\nИван\rПетров=1@p.example.net\r\nИван Петров=2@p.example.net\r\n") +
                                 "N\0ul=3@p.example.net\r\nOk=4@p.example.net\r\n"s);
    TIniFile book(path);
    ASSERT_EQ(ReadBookGroups(book), std::vector<AnsiString>{""});
    std::vector<AnsiString> renamed;
    const auto entries = LoadBookGroup(book, "", &renamed);
    std::vector<AnsiString> names;
    for (const TBookEntry& e : entries) names.push_back(e.Name);
    EXPECT_EQ(names, (std::vector<AnsiString>{cp("Иван Петров (2)"), cp("Иван Петров"), "N ul", "Ok"}));
    EXPECT_EQ(renamed, (std::vector<AnsiString>{cp("Иван Петров (2)"), "N ul"}));
    // All of it can be written back, under the group's new name in its place.
    book.RenameSection("", UnnamedGroup());
    WriteBookGroup(book, UnnamedGroup(), entries);
    EXPECT_NO_THROW(book.UpdateFile());
    EXPECT_EQ(LoadBookGroup(TIniFile(path), UnnamedGroup()).size(), 4u);
}

TEST(BookNames, ContactAndGroupNames)
{
    const std::vector<AnsiString> names = {cp("Иван"), "Bob"};
    struct Case {
        const char* name;
        int self;
        TNameCheck contact;
        TNameCheck group;
    };
    const std::vector<Case> cases = {
        {"Пётр", -1, TNameCheck::Ok, TNameCheck::Ok},
        {"ИВАН", -1, TNameCheck::Taken, TNameCheck::Taken},
        {"иван", 0, TNameCheck::Ok, TNameCheck::Ok},  // its own name, in other letters
        {"bob", 0, TNameCheck::Taken, TNameCheck::Taken},
        {"", -1, TNameCheck::Unstorable, TNameCheck::Unstorable},
        {" Пётр", -1, TNameCheck::Unstorable, TNameCheck::Unstorable},
        {"Пётр ", -1, TNameCheck::Unstorable, TNameCheck::Unstorable},
        {"a=b", -1, TNameCheck::Unstorable, TNameCheck::Ok},
        {"[a", -1, TNameCheck::Unstorable, TNameCheck::Ok},
        {";a", -1, TNameCheck::Unstorable, TNameCheck::Ok},
        {"a]b", -1, TNameCheck::Ok, TNameCheck::Unstorable},
        {"a\tb", -1, TNameCheck::Unstorable, TNameCheck::Unstorable},
        {"Два слова", -1, TNameCheck::Ok, TNameCheck::Ok},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckContactName(cp(c.name), names, c.self), c.contact) << c.name;
        EXPECT_EQ(CheckGroupName(cp(c.name), names, c.self), c.group) << c.name;
    }
}

TEST(BookDialog, TakesTheDialogsValues)
{
    TOpList ops;
    LoadOperators(ops, kFixtures + "operators.dat");

    TBookItDialogResult r;
    r.Name = cp("Иван");
    r.Type = 1;
    r.City = cp("Москва");
    r.Operator = cp("Мобил");
    r.Num = "79161234567";
    r.EMail = "ivan@example.com";
    r.FullName = std::string(300, 'f');
    r.Model = "X SMS";
    r.Code = 2;
    r.Header = cp("Привет");
    r.Signature = cp("Пока");
    r.OwnHeader = true;
    r.CopyEMail = false;
    r.OwnSignature = true;

    TBookItem b;
    ASSERT_EQ(ApplyBookItDialog(ops, r, b), TAddrUpdate::Built);
    EXPECT_EQ(b.Addr, "79161234567@sms.example.org");  // the template as held: lowered
    EXPECT_EQ(b.FullName.size(), 255u);
    EXPECT_EQ(show(b).substr(show(b).find("|X SMS")), cp("|X SMS|2|Привет|Пока|101"));

    // No operator: the address stays, the rest is taken.
    r.Operator = cp("Нет такого");
    r.Code = 9;
    TBookItem kept = item("old@example.net");
    EXPECT_EQ(ApplyBookItDialog(ops, r, kept), TAddrUpdate::NoOperator);
    EXPECT_EQ(kept.Addr, "old@example.net");
    EXPECT_EQ(kept.Model, "X SMS");
    EXPECT_EQ(kept.Code, 0);

    // Editing without a change of type, city, operator or number: the address
    // stays exactly, even where the choice would find another operator.
    r.Operator = cp("Мобил");
    r.KeepAddr = true;
    TBookItem same = item("79160000000@SMS.example.org?subject=x");
    EXPECT_EQ(ApplyBookItDialog(ops, r, same), TAddrUpdate::Kept);
    EXPECT_EQ(same.Addr, "79160000000@SMS.example.org?subject=x");
    EXPECT_EQ(same.Signature, cp("Пока"));

    const TBookItDialogInit init = BookItDialogInit(ops, cp("Иван"), b);
    EXPECT_EQ(init.OpIndex, 1);
    EXPECT_EQ(init.Num, "79161234567");
    EXPECT_EQ(init.Item, b);
    const TBookItDialogInit none = BookItDialogInit(ops, "x", item("1@nowhere.example"));
    EXPECT_EQ(none.OpIndex, -1);
    EXPECT_EQ(none.Num, "");
}

}  // namespace
