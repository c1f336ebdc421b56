#include "netcomp/fxextstr.h"

#include "platform/codepage.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <vector>

using testenv::cp;

namespace {

TExStringList listOf(const std::vector<AnsiString>& lines, bool sorted = false)
{
    TExStringList list;
    for (const auto& line : lines)
        list.Add(line);
    list.SetSorted(sorted);
    return list;
}

const std::vector<AnsiString> Header = {
    "From: \"Ivan\" <ivan@example.ru>",
    "NoColonSubject",
    "subject: first",
    "X-Mailer: Pager",
    "Subject: second",
    "To: a@b.c, d@e.f",
    ": no name",
};

}  // namespace

TEST(ExStringList, IndexOfHeaderInAnUnsortedList)
{
    const TExStringList list = listOf(Header);
    struct Case {
        AnsiString name;
        int index;
    };
    for (const Case& c : {Case{"Subject", 2}, Case{"SUBJECT", 2}, Case{"x-mailer", 3}, Case{"From", 0},
                          Case{"NoColonSubject", -1}, Case{"Missing", -1}, Case{"To: a@b.c", -1}, Case{"Subj", -1},
                          Case{"", 6}}) {
        EXPECT_EQ(list.IndexOfHeader(c.name), c.index) << c.name;
    }
    EXPECT_EQ(TExStringList().IndexOfHeader("Subject"), -1);

    // Cyrillic names compare without case too.
    const TExStringList ru = listOf({cp("Тема: привет")});
    EXPECT_EQ(ru.IndexOfHeader(cp("ТЕМА")), 0);
}

TEST(ExStringList, SetHeader)
{
    TExStringList list = listOf({"From: a", "subject: old", "To: b"});

    list.SetHeader("Subject", "new");  // in place, under the name given
    EXPECT_EQ(list.Lines(), (std::vector<AnsiString>{"From: a", "Subject: new", "To: b"}));

    list.SetHeader("X-Mailer", "Pager");  // a new line at the end
    EXPECT_EQ(list.Lines(), (std::vector<AnsiString>{"From: a", "Subject: new", "To: b", "X-Mailer: Pager"}));

    list.SetHeader("Subject", "");  // an empty value removes the line
    EXPECT_EQ(list.Lines(), (std::vector<AnsiString>{"From: a", "To: b", "X-Mailer: Pager"}));

    list.SetHeader("Subject", "");  // and leaves a list without one unchanged
    EXPECT_EQ(list.Lines(), (std::vector<AnsiString>{"From: a", "To: b", "X-Mailer: Pager"}));

    EXPECT_EQ(list.Text(), "From: a\r\nTo: b\r\nX-Mailer: Pager\r\n");
}

TEST(ExStringList, SortedListFindsEveryNamedLine)
{
    // Names that sort differently from their whole lines ("A-B: x" before
    // "A: y" as text, after it as a name).
    TExStringList list = listOf({"A: y", "A-B: x", "Zeta: 1", "NoColon", "beta: 2", cp("Тема: т"), "Alpha"}, true);
    for (const AnsiString& name : {AnsiString("A"), AnsiString("A-B"), AnsiString("zeta"), AnsiString("BETA"),
                                   cp("тема")}) {
        const int index = list.IndexOfHeader(name);
        ASSERT_GE(index, 0) << name;
        EXPECT_TRUE(codepage::sameText(list[index].substr(0, list[index].find(':')), name)) << name;
    }
    EXPECT_EQ(list.IndexOfHeader("NoColon"), -1);
    EXPECT_EQ(list.IndexOfHeader("Alpha"), -1);
    EXPECT_EQ(list.IndexOfHeader("Gamma"), -1);
    EXPECT_EQ(TExStringList().IndexOfHeader(""), -1);

    list.SetHeader("Gamma", "3");
    list.SetHeader("a", "z");
    list.SetHeader("Zeta", "");
    EXPECT_EQ(list.Lines(), (std::vector<AnsiString>{"NoColon", "Alpha", "a: z", "A-B: x", "beta: 2", "Gamma: 3",
                                                     cp("Тема: т")}));
    EXPECT_THROW(list.Put(0, "x"), EStringListError);
    EXPECT_THROW(list.Insert(0, "x"), EStringListError);
}

TEST(ExStringList, IndexesOutsideTheListRaise)
{
    TExStringList list = listOf({"a: 1"});
    EXPECT_THROW(list[1], EStringListError);
    EXPECT_THROW(list.Delete(-1), EStringListError);
    EXPECT_THROW(list.Insert(2, "b: 2"), EStringListError);
    try {
        list.Put(5, "x");
        FAIL();
    } catch (const EStringListError& e) {
        EXPECT_EQ(e.message(), "List index out of bounds (5)");
    }
}

TEST(ExStringList, SetTextSplitsAtEveryKindOfLineEnd)
{
    struct Case {
        std::string text;
        std::vector<AnsiString> lines;
    };
    const std::vector<Case> cases = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},          // a last line without its end counts
        {"a\rb\r\r\nc", {"a", "b", "", "c"}},
        {"\r\n\r\n", {"", ""}},
        {"", {}},
        {std::string("n\0l\r\n", 5), {std::string("n\0l", 3)}},  // NUL is a byte like any other
    };
    for (const auto& c : cases) {
        TExStringList list = listOf({"old"});
        list.SetText(c.text);
        EXPECT_EQ(list.Lines(), c.lines);
        EXPECT_EQ(SplitLines(c.text), c.lines);
    }
    TExStringList sorted = listOf({}, true);
    sorted.SetText("To: x\r\nFrom: y\r\n");
    EXPECT_EQ(sorted.Lines(), (std::vector<AnsiString>{"From: y", "To: x"}));
}
