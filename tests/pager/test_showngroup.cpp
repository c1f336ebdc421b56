// The shown group of the address book: loading and saving its bytes, check
// marks, adding, editing, deleting and moving contacts, without a window.

#include "pager/showngroup.h"

#include "pager/opdb.h"
#include "platform/inifile.h"
#include "tests/pager/bookdialog.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testenv::cp;

const std::string kFixtures = ORV_FIXTURES "/book/";

// Contacts in every stored form: a code name, an escaped comma, the flags
// cut short, a line that ends early.
const std::string kBook =
    "[G]\r\n"
    "x=1@pager.example.net,,,,LAT2KOI8\r\n"
    "y=2\r\n"
    "z=3@sms.example.org,z@example.com,\xC8\xE2\xE0\xED\xEE\xE2\\, \xC8\xE2\xE0\xED,X 2000,WIN,Hi,Bye,01\r\n"
    "\r\n"
    "[H]\r\n"
    "w=5,,,,,,,1\r\n";

std::vector<AnsiString> names(const TShownGroup& g) { return g.Names(); }

TShownGroup loaded(const std::string& text, const char* section, const TOpList& ops)
{
    const TIniFile book("unused.dat", text);
    TShownGroup g;
    g.Load(book, cp(section), ops);
    return g;
}

using booktest::dialog;

class ShownGroup : public ::testing::Test {
protected:
    void SetUp() override { LoadOperators(ops, kFixtures + "operators.dat"); }
    TOpList ops;
};

TEST_F(ShownGroup, LoadsAGroupAndSavesTheSameBytes)
{
    const TShownGroup g = loaded(kBook, "G", ops);
    ASSERT_EQ(names(g), (std::vector<AnsiString>{"x", "y", "z"}));
    EXPECT_EQ(g.At(0).Item.Code, 3);
    EXPECT_EQ(g.At(2).Item.FullName, cp("Иванов, Иван"));
    EXPECT_TRUE(g.At(2).Item.CopyEMail);
    EXPECT_FALSE(g.At(2).Item.OwnHeader);
    // Images by the operator's type: pager, none, SMS.
    EXPECT_EQ(g.At(0).ImageIndex, 0);
    EXPECT_EQ(g.At(1).ImageIndex, -1);
    EXPECT_EQ(g.At(2).ImageIndex, 1);
    for (int i = 0; i < g.Count(); ++i) EXPECT_FALSE(g.At(i).Checked) << i;

    // Written back over the book, the file is byte for byte as it was.
    const std::string file = testenv::makeDir("showngroup-save") + "/book.dat";
    testenv::writeFile(file, kBook);
    {
        TIniFile book(file);
        g.Save(book, "G");
        book.UpdateFile();
    }
    EXPECT_EQ(testenv::readFile(file), kBook);

    // A missing group loads empty.
    EXPECT_EQ(loaded(kBook, "Nothing", ops).Count(), 0);
    EXPECT_EQ(loaded("", "G", ops).Count(), 0);
}

TEST_F(ShownGroup, SavedUnderAnotherNameAfterChanges)
{
    TShownGroup g = loaded(kBook, "G", ops);
    g.Remove(1);
    ASSERT_TRUE(g.Move(0, 1));
    g.SetAllChecked(true);  // check marks are never stored
    TIniFile book("unused.dat", kBook);
    g.Save(book, "H");
    const TShownGroup back = [&] {
        TShownGroup r;
        r.Load(book, "H", ops);
        return r;
    }();
    EXPECT_EQ(names(back), (std::vector<AnsiString>{"z", "x"}));
    EXPECT_EQ(back.At(0).Item, g.At(0).Item);
    EXPECT_EQ(back.At(1).Item, g.At(1).Item);
    EXPECT_FALSE(back.At(0).Checked);
}

TEST_F(ShownGroup, CheckMarks)
{
    TShownGroup g = loaded(kBook, "G", ops);
    EXPECT_EQ(g.FirstChecked(), -1);
    EXPECT_TRUE(g.CheckedItems().empty());
    g.SetChecked(2, true);
    g.SetChecked(1, true);
    EXPECT_EQ(g.FirstChecked(), 1);
    ASSERT_EQ(g.CheckedItems().size(), 2u);
    EXPECT_EQ(g.CheckedItems()[0], &g.At(1).Item);
    EXPECT_EQ(g.CheckedItems()[1], &g.At(2).Item);
    g.SetChecked(1, false);
    EXPECT_EQ(g.FirstChecked(), 2);
    g.SetAllChecked(true);
    EXPECT_EQ(g.CheckedItems().size(), 3u);
    g.SetAllChecked(false);
    EXPECT_EQ(g.FirstChecked(), -1);
    // A reload forgets them.
    g.SetChecked(0, true);
    g.Load(TIniFile("unused.dat", kBook), "G", ops);
    EXPECT_EQ(g.FirstChecked(), -1);
}

TEST_F(ShownGroup, AddingAndEditingTakeTheDialogsValues)
{
    TShownGroup g = loaded(kBook, "G", ops);
    // No operator for the choice: nothing is added.
    EXPECT_EQ(g.Add(ops, dialog("Даша", 1, "Тверь", "Мобил", "1")), -1);
    EXPECT_EQ(g.Count(), 3);

    const int added = g.Add(ops, dialog("Маша", 1, "Москва", "Мобил", "79990001122"));
    ASSERT_EQ(added, 3);
    EXPECT_EQ(g.At(added).Name, cp("Маша"));
    EXPECT_EQ(g.At(added).Item.Addr, "79990001122@sms.example.org");
    EXPECT_EQ(g.At(added).ImageIndex, 1);
    EXPECT_FALSE(g.At(added).Checked);

    // An edit with an operator builds the address and takes the dialog's type.
    g.SetChecked(0, true);
    TBookItDialogResult r = dialog("Ваня", 1, "Москва", "Мобил", "700");
    r.Code = 1;
    EXPECT_EQ(g.Edit(0, ops, r), TAddrUpdate::Built);
    EXPECT_EQ(g.At(0).Name, cp("Ваня"));
    EXPECT_EQ(g.At(0).Item.Addr, "700@sms.example.org");
    EXPECT_EQ(g.At(0).Item.Code, 1);
    EXPECT_EQ(g.At(0).ImageIndex, 1);
    EXPECT_TRUE(g.At(0).Checked);  // an edit keeps the check mark

    // Without one the address stays, and the image tells that address's type
    // whatever the dialog chose.
    r = dialog("Ваня", 0, "Нигде", "Никто", "1");
    r.FullName = cp("Другое имя");
    EXPECT_EQ(g.Edit(0, ops, r), TAddrUpdate::NoOperator);
    EXPECT_EQ(g.At(0).Item.Addr, "700@sms.example.org");
    EXPECT_EQ(g.At(0).Item.FullName, cp("Другое имя"));
    EXPECT_EQ(g.At(0).ImageIndex, 1);
}

TEST_F(ShownGroup, NamesAreCheckedAgainstTheOthers)
{
    const TShownGroup g = loaded(kBook, "G", ops);
    EXPECT_EQ(g.CheckName("new"), TNameCheck::Ok);
    EXPECT_EQ(g.CheckName("X"), TNameCheck::Taken);
    EXPECT_EQ(g.CheckName("X", 0), TNameCheck::Ok);  // its own name
    EXPECT_EQ(g.CheckName("X", 1), TNameCheck::Taken);
    EXPECT_EQ(g.CheckName("a=b"), TNameCheck::Unstorable);
}

TEST_F(ShownGroup, MovingExchangesEverythingButThePlaces)
{
    TShownGroup g = loaded(kBook, "G", ops);
    g.SetChecked(0, true);
    const TShownContact* first = &g.At(0);
    const TShownContact* second = &g.At(1);
    const TBookItem x = g.At(0).Item;
    const TBookItem y = g.At(1).Item;

    struct Refused {
        int index;
        int delta;
    };
    for (const Refused r : {Refused{0, -1}, Refused{2, 1}, Refused{-1, 1}, Refused{3, -1}}) {
        EXPECT_FALSE(g.Move(r.index, r.delta)) << r.index << " " << r.delta;
    }
    EXPECT_EQ(names(g), (std::vector<AnsiString>{"x", "y", "z"}));

    ASSERT_TRUE(g.Move(0, 1));
    EXPECT_EQ(names(g), (std::vector<AnsiString>{"y", "x", "z"}));
    EXPECT_EQ(&g.At(0), first);
    EXPECT_EQ(&g.At(1), second);
    EXPECT_EQ(g.At(1).Item, x);
    EXPECT_EQ(g.At(0).Item, y);
    EXPECT_EQ(g.At(1).Item.Code, 3);
    EXPECT_EQ(g.At(0).Item.Code, 0);
    EXPECT_TRUE(g.At(1).Checked);
    EXPECT_FALSE(g.At(0).Checked);
    EXPECT_EQ(g.At(1).ImageIndex, 0);
    EXPECT_EQ(g.At(0).ImageIndex, -1);

    ASSERT_TRUE(g.Move(2, -1));
    EXPECT_EQ(names(g), (std::vector<AnsiString>{"y", "z", "x"}));

    // Deleting keeps the others' places and order.
    const TShownContact* last = &g.At(2);
    g.Remove(1);
    EXPECT_EQ(names(g), (std::vector<AnsiString>{"y", "x"}));
    EXPECT_EQ(&g.At(1), last);
    EXPECT_EQ(g.FirstChecked(), 1);
}

}  // namespace
