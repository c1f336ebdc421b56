#include "netcomp/qor_util.h"

#include "platform/clock.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <string>
#include <sys/stat.h>
#include <vector>

using testenv::cp;

TEST(MailUtil, IsIPAddress)
{
    struct Case {
        std::string text;
        bool want;
    };
    const std::vector<Case> cases = {
        {"127.0.0.1", true},   {"0.0.0.0", true},      {"255.255.255.255", true}, {"010.1.1.1", true},
        {"256.1.1.1", false},  {"1.2.3", false},       {"1.2.3.4.5", false},      {"1.2.3.x", false},
        {"1..3.4", false},     {"1.2.3.4.", false},    {"", false},               {"mail.example.com", false},
        {" 1.2.3.4", false},   {"1.2.3.99999999999999", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsIPAddress(c.text), c.want) << c.text;
}

TEST(MailUtil, GetReplyNumber)
{
    struct Case {
        std::string text;
        unsigned short n;
        int def;
        int want;
    };
    const std::vector<Case> cases = {
        {"3 1200", 2, 100, 1200}, {"3", 2, 100, 100},       {"(5)", 1, 0, 5},
        {"{12} x", 1, 0, 12},     {"  7 \r\n", 1, 0, 7},    {"3\r\n1200", 2, 0, 1200},
        {"1 2 3", 3, 0, 3},       {"1 2 3", 4, -1, -1},     {"abc", 1, 9, 9},
        {"-4", 1, 0, -4},         {"99999999999", 1, 5, 5}, {"", 1, 7, 7},
        {"8 octets", 0, 0, 8},
    };
    for (const auto& c : cases) EXPECT_EQ(GetReplyNumber(c.text, c.n, c.def), c.want) << c.text << " " << c.n;
}

TEST(MailUtil, GetBoundaryKeepsTheBoundaryAsWritten)
{
    struct Case {
        std::string value;
        std::string want;
    };
    const std::vector<Case> cases = {
        {"multipart/mixed; boundary=\"abc\"; charset=x", "--abc"},
        {"multipart/mixed; boundary=abc;x", "--abc"},
        {"Content-Type: multipart/mixed; BOUNDARY = \"Lower-Case_b\"", "--Lower-Case_b"},
        {"multipart/mixed; boundary=\"===============7873556302465313504==\"",
         "--===============7873556302465313504=="},
        {"multipart/mixed; boundary=\"unclosed", "--unclosed"},
        {"multipart/mixed", ""},
        {"multipart/mixed; boundary=", ""},
        {"multipart/mixed; boundary=\"\"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(GetBoundary(c.value), c.want) << c.value;
}

TEST(MailUtil, MessageIdAndBoundaryMakers)
{
    sysclock::setSource([] { return QDateTime(QDate(2024, 3, 5), QTime(10, 0)); });
    SetMailRandomSource([](int range) { return range - 1; });  // the last letter allowed
    EXPECT_EQ(MakeMessageId("a.b.c"), "<QOR.2024.03.05.tttttttttttttttt@a.b.c>");
    EXPECT_EQ(MakeBoundary(), "--_QOR_bound_yyyyyyyyyyyy");
    SetMailRandomSource([](int) { return 0; });
    EXPECT_EQ(MakeBoundary(), "--_QOR_bound_aaaaaaaaaaaa");

    // The real source: two calls in one clock tick differ.
    SetMailRandomSource({});
    const AnsiString id1 = MakeMessageId("a.b.c"), id2 = MakeMessageId("a.b.c");
    EXPECT_NE(id1, id2);
    const AnsiString b1 = MakeBoundary(), b2 = MakeBoundary();
    EXPECT_NE(b1, b2);
    EXPECT_EQ(b1.size(), 25u);
    for (char c : b1.substr(13)) EXPECT_TRUE(c >= 'a' && c <= 'y') << b1;
    for (char c : id1.substr(16, 16)) EXPECT_TRUE(c >= 'a' && c <= 't') << id1;
    sysclock::setSource({});
}

TEST(MailUtil, DecodeEncodedWordIntoTheProgramsText)
{
    struct Case {
        std::string text;
        AnsiString want;
    };
    const std::vector<Case> cases = {
        {"Hello =?us-ascii?B?V29ybGQ=?= again", "Hello World again"},
        {"=?utf-8?Q?=D0=9F=D1=80=D0=B8=D0=B2=D0=B5=D1=82_=D0=BC=D0=B8=D1=80?=", cp("Привет мир")},
        {"=?UTF-8?b?0J8=?=", cp("П")},
        // White space between encoded words goes; a character split between them is whole.
        {"=?utf-8?B?0J/RgNC4?= \r\n =?utf-8?B?0LLQtdGC?=", cp("Привет")},
        {"=?utf-8?Q?=D0?= =?utf-8?Q?=9F?=", cp("П")},
        {"=?utf-8?B?0J8=?= and =?utf-8?B?0J8=?=", cp("П and П")},
        {"=?koi8-r?B?8NLP18XSy8E=?=", cp("Проверка")},
        {"=?windows-1251?Q?=CF=F0=E8?=", cp("При")},
        {"=?ISO-8859-5?Q?=BF=E0=D8?=", cp("При")},
        {"=?iso-8859-1?Q?caf=E9?=", "caf?"},        // no such letter in cp1251
        {"=?utf-8?B?8J+Ygg==?=", "?"},              // nor such a sign
        {"=?utf-8?Q?a_b?=", "a b"},
        {"=?x-unknown?Q?=C0=E1?=", "\xC0\xE1"},     // an unknown charset keeps its bytes
        {"a =?utf-8?X?abc?= b", "a  b"},            // an unknown encoding vanishes
        {"x=?utf-8?Q?a?=y", "xay"},
        {"Re: =?utf-8?B?abc", "Re: =?utf-8?B?abc"},  // unfinished: unchanged
        {"1 =? 2", "1 =? 2"},
        // What a word decodes to is not decoded again.
        {"=?us-ascii?Q?=3D=3Fus-ascii=3FQ=3Fx=3F=3D?=", "=?us-ascii?Q?x?="},
        {"plain", "plain"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeEncodedWord(c.text), c.want) << c.text;
}

TEST(MailUtil, CharsetsMatchPythonsCodecsForEveryByte)
{
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const char* const script =
        "import sys\n"
        "data = open(sys.argv[1], 'rb').read()\n"
        "cs = open(sys.argv[2], 'rb').read().decode()\n"
        "sys.stdout.buffer.write(data.decode(cs, errors='replace').encode('cp1251', errors='replace'))\n";
    for (const char* charset : {"koi8-r", "iso-8859-5", "iso-8859-1", "windows-1251"}) {
        std::string want = testenv::python(script, {all, charset});
        // Byte 0x98 is unassigned in cp1251; the program keeps it (and U+0098)
        // there so that every byte survives a round trip, where Python gives "?".
        if (std::string(charset) != "koi8-r") want[0x98] = '\x98';
        AnsiString got;
        ASSERT_TRUE(CharsetToProgramText(charset, all, got)) << charset;
        EXPECT_EQ(got, want) << charset;
    }
    const std::string utf8 = "Latin, Кириллица, Ёё, € № ©, 漢字, 😂";
    const std::string want = testenv::python(
        "import sys\n"
        "sys.stdout.buffer.write(open(sys.argv[1], 'rb').read().decode('utf-8').encode('cp1251', errors='replace'))\n",
        {utf8});
    AnsiString got;
    ASSERT_TRUE(CharsetToProgramText("utf-8", utf8, got));
    EXPECT_EQ(got, want);
    EXPECT_FALSE(CharsetToProgramText("x-mac-cyrillic", "abc", got));
}

TEST(MailUtil, Addresses)
{
    struct Case {
        std::string entry;
        std::string address, bracketed, name;
    };
    const std::vector<Case> cases = {
        {"John <john@x.com>", "john@x.com", "<john@x.com>", "\"John\""},
        {"john@x.com (John Smith)", "john@x.com", "<john@x.com>", "\"John Smith\""},
        {"(c1) a@b (c2)", "a@b", "<a@b>", "\"c1\""},
        {"a@b", "a@b", "<a@b>", "\"a@b\""},
        {"O'Brien <o@x>", "o@x", "<o@x>", "\"OBrien\""},
        {"\"Smith, J\" <j@x>", "j@x", "<j@x>", "\"Smith, J\""},
        {") a@b (", ") a@b (", "<) a@b (>", "\"\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CleanAddress(c.entry, false), c.address) << c.entry;
        EXPECT_EQ(CleanAddress(c.entry, true), c.bracketed) << c.entry;
        EXPECT_EQ(CleanName(c.entry, true), c.name) << c.entry;
    }
    EXPECT_EQ(CleanName("John <j@x>", false), "John");
    EXPECT_EQ(RemoveChar("a-b-c", '-'), "abc");
}

TEST(MailUtil, CleanAddressList)
{
    struct Case {
        std::string value;
        AnsiString want;
    };
    const std::vector<Case> cases = {
        {"Anna Smith <anna@example.com>, Bob <bob@example.com>",
         "\"Anna Smith\" <anna@example.com>, \"Bob\" <bob@example.com>"},
        {"\"Smith, John\" <j@x>", "\"\" <j@x>"},  // quoted display names are dropped
        {"a@b", "\"a@b\" <a@b>"},
        {"=?utf-8?B?0JDQvdC90LA=?= <anna@x>", cp("\"Анна\" <anna@x>")},
        {"a@b, ", "\"a@b\" <a@b>"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(CleanAddressList(c.value), c.want) << c.value;
}

TEST(MailUtil, StripQuotes)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\"x\"", "x"}, {"'x'", "x"}, {"\"x", "x"}, {"x\"", "x"}, {"\"", ""},
        {"", ""},       {"\"\"\"", "\""}, {"'x\"", "x"}, {"x", "x"},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(StripQuotes(text), want) << text;
}

TEST(MailUtil, HeaderValuesAndParameters)
{
    EXPECT_EQ(GetHeaderValue("SUBJECT:", "Subject:  a; b "), "a");
    EXPECT_EQ(GetHeaderValue("SUBJECT:", "Subject:  a; b ", false), "a; b");
    EXPECT_EQ(GetHeaderValue("CONTENT-TYPE:", "content-type: Text/Plain; charset=x"), "Text/Plain");
    EXPECT_EQ(GetHeaderValue("DATE:", "Subject: x"), "");

    struct Case {
        std::string name, line, want;
    };
    const std::vector<Case> cases = {
        {"NAME", "Content-Type: application/pdf; name=\"a;b.pdf\"", "a;b.pdf"},
        {"NAME", "Content-Type: application/x-renamer; name=x.pdf", "x.pdf"},
        {"NAME", "Content-Type: text/plain; name = \"q \\\"x\\\".txt\" ; y=1", "q \"x\".txt"},
        {"NAME", "Content-Type: text/plain;NAME=plain", "plain"},
        {"NAME", "Content-Disposition: attachment; filename=\"f.txt\"", ""},
        {"FILENAME", "Content-Disposition: attachment; filename=f.txt; size=3", "f.txt"},
        {"NAME", "Content-Type: text/plain; name*=utf-8''x", ""},
        {"NAME", "Content-Type: text/plain", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(GetParameter(c.name, c.line), c.want) << c.line;
}

TEST(MailUtil, FindHeaderUnfoldsWithinTheFirstBlock)
{
    const std::vector<AnsiString> lines = {
        "", "Subject: Hello", "\tWorld", "  again ", "To: a@b", "", "Date: in the body", "Subject: body",
    };
    AnsiString line;
    ASSERT_TRUE(FindHeader("SUBJECT:", lines, line));
    EXPECT_EQ(line, "Subject: Hello World again");
    ASSERT_TRUE(FindHeader("TO:", lines, line));
    EXPECT_EQ(line, "To: a@b");
    EXPECT_FALSE(FindHeader("DATE:", lines, line));
    EXPECT_FALSE(FindHeader("X-NONE:", lines, line));
    EXPECT_FALSE(FindHeader("TO:", {}, line));
}

TEST(MailUtil, StripHeaders)
{
    struct Case {
        std::vector<AnsiString> lines, want;
    };
    const std::vector<Case> cases = {
        {{"H: 1", "H: 2", "", " ", "body", "", "more"}, {"body", "", "more"}},
        {{"", "body"}, {"body"}},
        {{" \t", "x"}, {"x"}},
        {{"H: 1"}, {}},
        {{}, {}},
    };
    for (auto c : cases) {
        StripHeaders(c.lines);
        EXPECT_EQ(c.lines, c.want);
    }
}

TEST(MailUtil, TemporaryFilesArePrivateAndGoOnEveryPath)
{
    const AnsiString dir = GetTempDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    struct stat st {};
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::getuid());

    std::string first, second;
    try {
        TMailTempFile a("qor_test.$$$");
        first = a.Path();
        EXPECT_EQ(first, dir + "qor_test.$$$");
        a.Stream().WriteBuffer("abc", 3);
        EXPECT_EQ(a.ReadAll(), "abc");
        ASSERT_EQ(::stat(first.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        TMailTempFile b("qor_test.$$$");  // the name is taken: one beside it
        second = b.Path();
        EXPECT_NE(second, first);
        throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(testenv::fileExists(first));
    EXPECT_FALSE(testenv::fileExists(second));
}
