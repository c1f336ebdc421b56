#include "common/strs.h"

#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testenv::cp;

AnsiString allBytes()
{
    AnsiString s;
    for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
    return s;
}

TEST(Strs, CharSetHelpers)
{
    const TCharSet digits = CharRange('0', '9');
    EXPECT_EQ(digits.count(), 10u);
    EXPECT_TRUE(digits.test('0'));
    EXPECT_TRUE(digits.test('9'));
    EXPECT_FALSE(digits.test('a'));
    EXPECT_TRUE(CharRange('9', '0').none());
    EXPECT_EQ(CharRange(0, 255).count(), 256u);

    const TCharSet some = CharsOf(cp("a-я")) | CharRange(250, 255);
    EXPECT_TRUE(some.test('a'));
    EXPECT_TRUE(some.test('-'));
    EXPECT_TRUE(some.test(0xFF));
    EXPECT_TRUE(some.test(250));
    EXPECT_FALSE(some.test('b'));
    EXPECT_EQ(some.count(), 2u + 6u);
}

TEST(Strs, DelCharsAndDelSpaces)
{
    struct Case {
        AnsiString s;
        TCharSet chars;
        AnsiString want;
    };
    const std::vector<Case> cases = {
        {"", CharsOf("abc"), ""},
        {"a-b c-d", CharsOf("- "), "abcd"},
        {"(812) 123-45-67", CharsOf("()- "), "8121234567"},
        {cp("Ёлка ёж"), CharsOf(cp("Ёё")), cp("лка ж")},
        {"nothing", TCharSet{}, "nothing"},
        {allBytes(), CharRange(0, 255), ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DelChars(c.s, c.chars), c.want) << c.s;

    EXPECT_EQ(DelSpaces(" a  b\tc "), "ab\tc");
    EXPECT_EQ(DelSpaces(""), "");
}

TEST(Strs, TrimDropsBlanksAndControlCharactersAtTheEnds)
{
    const std::pair<AnsiString, AnsiString> cases[] = {
        {"", ""}, {" \t\r\n", ""}, {"  a b\t", "a b"}, {"\x01x\x1f", "x"}, {"x\x7f", "x\x7f"}, {cp(" Ёж "), cp("Ёж")},
    };
    for (const auto& [s, want] : cases) EXPECT_EQ(Trim(s), want) << s;
}

TEST(Strs, LeftStrAndCutLeft)
{
    struct Case {
        AnsiString s;
        int n;
        AnsiString left;
        AnsiString cut;
    };
    const std::vector<Case> cases = {
        {"abc", 3, "abc", ""},
        {"ab", 3, "ab", ""},
        {"abc", 0, "", "abc"},
        {"abc", -2, "", "abc"},
        {"abc", 1, "a", "bc"},
        {"abcdef", 4, "abcd", "ef"},
        {"", 2, "", ""},
        {cp("Привет"), 2, cp("Пр"), cp("ивет")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LeftStr(c.s, c.n), c.left) << c.s << " " << c.n;
        EXPECT_EQ(CutLeft(c.s, c.n), c.cut) << c.s << " " << c.n;
    }
}

TEST(Strs, MidStrClampsItsPositions)
{
    struct Case {
        AnsiString s;
        int index, count;
        AnsiString want;
    };
    const std::vector<Case> cases = {
        {"From someone@host Mon", 6, 72, "someone@host Mon"},
        {"abc", 1, 2, "ab"},
        {"abc", 0, 2, "ab"},    // an index below 1 counts from the first character
        {"abc", -5, 1, "a"},
        {"abc", 3, 9, "c"},     // the count stops at the end
        {"abc", 4, 1, ""},      // one past the end
        {"abc", 2, 0, ""},
        {"abc", 2, -1, ""},
        {"", 1, 1, ""},
        {cp("Привет"), 3, 2, cp("ив")},
    };
    for (const auto& c : cases) EXPECT_EQ(MidStr(c.s, c.index, c.count), c.want) << c.s << " " << c.index;
}

TEST(Strs, TrimTakesBlanksAndControlCharacters)
{
    EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimRight(" \t a b \r\n"), " \t a b");
    EXPECT_EQ(Trim(AnsiString("\0x\0", 3)), "x");
    EXPECT_EQ(Trim(cp(" \xC2\xA0Я ")), cp("\xC2\xA0Я"));  // byte 0xA0 is no blank
    EXPECT_EQ(Trim("   "), "");
}

TEST(Strs, IsFullAddress)
{
    struct Case {
        AnsiString s;
        bool want;
    };
    const std::vector<Case> cases = {
        {"123@pager.example", true},
        {"###@pager.example", false},
        {"12#@pager.example", false},
        {"", false},
        {" \t\r\n", false},
        {AnsiString(1, '\0') + " ", false},
        {"  x  ", true},
    };
    for (const auto& c : cases) EXPECT_EQ(IsFullAddress(c.s), c.want) << c.s;
}

TEST(Strs, PadZeros)
{
    EXPECT_EQ(PadZeros("7", 2), "07");
    EXPECT_EQ(PadZeros("7", 4), "0007");
    EXPECT_EQ(PadZeros("123", 2), "123");
    EXPECT_EQ(PadZeros("", 3), "000");
    EXPECT_EQ(PadZeros("5", 0), "5");
    EXPECT_EQ(PadZeros("5", -3), "5");
}

TEST(Strs, ReplaceCharsAndReplaceCharsBy)
{
    EXPECT_EQ(ReplaceChars("a,b;c", CharsOf(",;"), ' '), "a b c");
    EXPECT_EQ(ReplaceChars("", CharsOf(","), ' '), "");
    EXPECT_EQ(ReplaceChars(cp("ёлка"), CharsOf(cp("ё")), cp("е")[0]), cp("елка"));

    struct Case {
        AnsiString s;
        TCharSet chars;
        AnsiString t;
        AnsiString want;
    };
    const std::vector<Case> cases = {
        {"a,b,c", CharsOf(","), "\\,", "a\\,b\\,c"},
        {"a,b;c", CharsOf(",;"), "", "abc"},
        {"|x|", CharsOf("|"), "\r\n", "\r\nx\r\n"},
        {"none", CharsOf(","), "--", "none"},
        // What T brings in is not replaced again.
        {"a,b", CharsOf(","), ",,", "a,,b"},
    };
    for (const auto& c : cases) EXPECT_EQ(ReplaceCharsBy(c.s, c.chars, c.t), c.want) << c.s;
}

TEST(Strs, LinesToStrAndBack)
{
    struct Case {
        AnsiString lines;
        AnsiString str;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"one", "one"},
        {"one\r\ntwo", "one|two"},
        {"one\r\n\r\ntwo\r\n", "one||two|"},
        {cp("Привет\r\nмир"), cp("Привет|мир")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LinesToStr(c.lines), c.str);
        EXPECT_EQ(StrToLines(c.str), c.lines);
    }
    // Bare line feeds vanish, bare carriage returns become "|".
    EXPECT_EQ(LinesToStr("a\nb\rc"), "ab|c");
}

TEST(Strs, CheckChars)
{
    const TCharSet bad = CharsOf(",#");
    EXPECT_FALSE(CheckChars("", bad));
    EXPECT_FALSE(CheckChars("", TCharSet{}));
    EXPECT_FALSE(CheckChars("a,b", bad));
    EXPECT_FALSE(CheckChars("#", bad));
    EXPECT_TRUE(CheckChars("abc", bad));
    EXPECT_TRUE(CheckChars(cp("Имя"), bad));
}

TEST(Strs, EncodeStrWritesUpperHexOfShiftedBytes)
{
    EXPECT_EQ(EncodeStr("abc", 0), "616263");
    EXPECT_EQ(DecodeStr("616263", 0), "abc");
    EXPECT_EQ(EncodeStr("", ScrambleKey), "");
    EXPECT_EQ(DecodeStr("", ScrambleKey), "");
    EXPECT_EQ(EncodeStr(AnsiString(1, '\xFF'), 1), "00");
    EXPECT_EQ(EncodeStr(AnsiString(1, '\xFA'), 3), "FD");
    EXPECT_EQ(EncodeStr(cp("я"), 0), "FF");
}

TEST(Strs, EncodeDecodeRoundTripsEveryByteForEveryKey)
{
    const AnsiString bytes = allBytes();
    for (int key = 0; key <= 9; ++key) {
        const AnsiString encoded = EncodeStr(bytes, key);
        ASSERT_EQ(encoded.size(), 512u) << key;
        EXPECT_EQ(encoded.find_first_not_of("0123456789ABCDEF"), AnsiString::npos) << key;
        EXPECT_EQ(DecodeStr(encoded, key), bytes) << key;
    }
    EXPECT_GE(ScrambleKey, 0);
    EXPECT_LE(ScrambleKey, 9);
}

TEST(Strs, DecodeStrOfMalformedText)
{
    struct Case {
        AnsiString s;
        int key;
        std::vector<int> bytes;
    };
    const std::vector<Case> cases = {
        // An odd last digit: its missing partner counts as -1.
        {"6", 0, {6 * 16 - 1}},
        {"6", 3, {6 * 16 - 1 - 3}},
        {"41" "6", 0, {0x41, 95}},
        // Lower-case digits and other characters count as -1.
        {"6a", 0, {95}},
        {"zz", 0, {(-17 + 256) % 256}},
        {"0z", 0, {255}},
        {"00", 1, {255}},
    };
    for (const auto& c : cases) {
        const AnsiString got = DecodeStr(c.s, c.key);
        ASSERT_EQ(got.size(), c.bytes.size()) << c.s;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(byteOf(got[i]), c.bytes[i]) << c.s << " at " << i;
        }
    }
}

TEST(Strs, SplitAtReadsTheFirstUnescapedSeparator)
{
    struct Case {
        AnsiString s;
        char sep;
        AnsiString left;
        AnsiString rest;
    };
    const std::vector<Case> cases = {
        {" a , b ", ',', "a", "b"},
        {"abc", ',', "abc", ""},
        {",x", ',', "", "x"},
        {"a\\,b,c", ',', "a,b", "c"},
        {"a,b,c", ',', "a", "b,c"},
        {"a\\,b\\,", ',', "a,b,", ""},
        // Without a split nothing is trimmed.
        {"  a\\,b  ", ',', "  a,b  ", ""},
        // A backslash not before the separator stays.
        {"c:\\dir,x", ',', "c:\\dir", "x"},
        {"a\\\\,b", ',', "a\\,b", ""},
        {"a\\", ',', "a\\", ""},
        {"a\\ ,b", ',', "a\\", "b"},
        {"\t\r\na,\x01 b\x1F", ',', "a", "b"},
        {"", ',', "", ""},
        {"a,", ',', "a", ""},
        {"123@gw.example?subject=\\?x", '?', "123@gw.example", "subject=\\?x"},
        {"x\\?y?s", '?', "x?y", "s"},
        // Byte 164 is an ordinary character.
        {"a\xA4" "b,c", ',', "a\xA4" "b", "c"},
        {"\xA4", ',', "\xA4", ""},
    };
    for (const auto& c : cases) {
        AnsiString left = "old";
        AnsiString rest = "old";
        SplitAt(c.s, c.sep, left, rest);
        EXPECT_EQ(left, c.left) << c.s;
        EXPECT_EQ(rest, c.rest) << c.s;
    }
}

TEST(Strs, SplitAtMayReadFromItsOwnResult)
{
    AnsiString field;
    AnsiString rest = "a,b\\,c,d";
    std::vector<AnsiString> got;
    while (!rest.empty()) {
        SplitAt(rest, ',', field, rest);
        got.push_back(field);
    }
    EXPECT_EQ(got, (std::vector<AnsiString>{"a", "b,c", "d"}));

    AnsiString left = "x,y";
    AnsiString other;
    SplitAt(left, ',', left, other);
    EXPECT_EQ(left, "x");
    EXPECT_EQ(other, "y");
}

TEST(Strs, EscapeSeparatorPutsABackslashBeforeEachSeparator)
{
    struct Case {
        AnsiString s;
        AnsiString sep;
        AnsiString want;
    };
    const std::vector<Case> cases = {
        {"a,b,", ",", "a\\,b\\,"},
        {"", ",", ""},
        {"abc", ",", "abc"},
        {",,", ",", "\\,\\,"},
        {"a?b", "?", "a\\?b"},
        {"a::b:", "::", "a\\::b:"},
        // Byte 164 is written as it is.
        {"a\xA4" "b", ",", "a\xA4" "b"},
        // A trailing backslash gets a blank so that a separator after it
        // still separates.
        {"a\\", ",", "a\\ "},
        {"a\\\\", ",", "a\\\\ "},
        {"\\", ",", "\\ "},
        {"a\\b", ",", "a\\b"},
        {"abc", "", "abc"},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeSeparator(c.s, c.sep), c.want) << c.s;
}

const std::vector<AnsiString>& roundTripTexts()
{
    static const std::vector<AnsiString> texts = {
        "",
        "plain",
        "a,b",
        ",",
        ",,",
        "a,",
        ",a",
        "a\\",
        "a\\\\",
        "\\",
        "a\\,b",
        "\\,",
        "a\\\\,b",
        "c:\\dir\\file",
        "\xA4",
        "a\xA4" "b,c\xA4",
        "mid blank, kept",
        cp("Иванов, Пётр\\"),
    };
    return texts;
}

TEST(Strs, EscapedFieldFollowedBySeparatorComesBack)
{
    for (const auto& text : roundTripTexts()) {
        AnsiString left;
        AnsiString rest = "old";
        SplitAt(EscapeSeparator(text, ",") + ",", ',', left, rest);
        EXPECT_EQ(left, text);
        EXPECT_EQ(rest, "") << text;

        SplitAt(EscapeSeparator(text, ",") + ",next", ',', left, rest);
        EXPECT_EQ(left, text);
        EXPECT_EQ(rest, "next") << text;
    }
}

TEST(Strs, EscapedTextWithoutSeparatorComesBack)
{
    for (const auto& text : roundTripTexts()) {
        if (!text.empty() && text.back() == '\\') continue;  // see below
        AnsiString left;
        AnsiString rest = "old";
        SplitAt(EscapeSeparator(text, ","), ',', left, rest);
        EXPECT_EQ(left, text);
        EXPECT_EQ(rest, "") << text;
    }
    // Read alone and unsplit, a text ending in a backslash keeps the blank
    // that protects it; a reader that trims its fields gets the text back.
    AnsiString left;
    AnsiString rest;
    SplitAt(EscapeSeparator("a\\", ","), ',', left, rest);
    EXPECT_EQ(left, "a\\ ");
}

TEST(Strs, MultiFieldLineComesBackFieldByField)
{
    const std::vector<std::vector<AnsiString>> lines = {
        roundTripTexts(),
        {"", "", ""},
        {"a\\", "b\\\\", "\\,", "\xA4", ""},
        {"123@gw.example", "me@example.org", cp("Пётр, Иванович"), "", "WIN", "", "", "101"},
    };
    for (const auto& fields : lines) {
        AnsiString line;
        for (const auto& f : fields) line += EscapeSeparator(f, ",") + ",";
        std::vector<AnsiString> got;
        AnsiString field;
        AnsiString rest = line;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            SplitAt(rest, ',', field, rest);
            got.push_back(field);
        }
        EXPECT_EQ(got, fields) << line;
        EXPECT_EQ(rest, "") << line;
    }
}

TEST(Strs, MultiFieldLineWithoutTrailingSeparator)
{
    const std::vector<AnsiString> fields = {"x,y", "a\\", "tail\\"};
    AnsiString line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ",";
        line += EscapeSeparator(fields[i], ",");
    }
    std::vector<AnsiString> got;
    AnsiString field;
    AnsiString rest = line;
    while (!rest.empty()) {
        SplitAt(rest, ',', field, rest);
        got.push_back(field);
    }
    EXPECT_EQ(got, fields);
}

}  // namespace
