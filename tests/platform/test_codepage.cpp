#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Runs iconv over the bytes and returns what it wrote.
std::string iconv(const std::string& from, const std::string& to, const std::string& bytes)
{
    char path[] = "/tmp/orv-iconv-XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    FILE* f = fdopen(fd, "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    const std::string cmd = "/usr/bin/iconv -f " + from + " -t " + to + " " + path;
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0);
    std::remove(path);
    return out;
}

}  // namespace

TEST(Codepage, MatchesIconvForEveryAssignedByte)
{
    std::string all;
    for (int b = 0; b < 256; ++b) {
        if (b != 0x98) all.push_back(static_cast<char>(b));  // 0x98 is unassigned in cp1251
    }
    EXPECT_EQ(codepage::toUtf8(all), iconv("CP1251", "UTF-8", all));
    EXPECT_EQ(codepage::fromUtf8(iconv("CP1251", "UTF-8", all)), all);
}

TEST(Codepage, EveryByteSurvivesRoundTripAndForeignCharactersBecomeQuestionMarks)
{
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(codepage::fromUnicode(codepage::toUnicode(all)), all);
    EXPECT_EQ(codepage::fromUtf8("日本 ü ё"), std::string("?? ? \xB8"));
}

TEST(Codepage, CanHoldTellsWhetherATextSurvivesAsItIs)
{
    const std::pair<const char*, bool> cases[] = {
        {"", true}, {"plain ?", true}, {"Ёлка €№", true}, {"\x7f\t", true}, {"ü", false}, {"日本", false}, {"😀", false},
    };
    for (const auto& [utf8, held] : cases) EXPECT_EQ(codepage::canHold(QString::fromUtf8(utf8)), held) << utf8;
    EXPECT_FALSE(codepage::canHold(QString(QChar(0xD800))));  // a lone surrogate
}

TEST(Codepage, WinToKoi8MatchesIconvForLettersAndLeavesOtherBytes)
{
    // "А".."я", then "Ё" and "ё".
    std::string letters;
    for (int b = 192; b < 256; ++b) letters.push_back(static_cast<char>(b));
    letters += "\xA8\xB8";
    const std::string koi = iconv("CP1251", "KOI8-R", letters);
    ASSERT_EQ(koi.size(), 66u);
    for (size_t i = 0; i < letters.size(); ++i) {
        EXPECT_EQ(codepage::winToKoi8(static_cast<unsigned char>(letters[i])), static_cast<unsigned char>(koi[i]))
            << "byte " << +static_cast<unsigned char>(letters[i]);
    }
    for (int b : {0, int('0'), int('9'), int('A'), int('z'), 0xA7, 0xA9, 0xB7, 0xB9 /* № */, 0xBF}) {
        EXPECT_EQ(codepage::winToKoi8(static_cast<unsigned char>(b)), b);
    }
}

TEST(Codepage, CaseRulesCoverLatinAndCyrillicOnly)
{
    struct Case {
        const char* in;
        const char* upper;
    } cases[] = {
        {"abc xyz", "ABC XYZ"},
        {"привет, мир", "ПРИВЕТ, МИР"},
        {"ёжик", "ЁЖИК"},
        {"ўіїєґ", "ЎІЇЄҐ"},
        {"123 №!", "123 №!"},
        {"minimized", "MINIMIZED"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(codepage::upperCase(codepage::fromUtf8(c.in)), codepage::fromUtf8(c.upper)) << c.in;
        EXPECT_EQ(codepage::lowerCase(codepage::fromUtf8(c.upper)),
                  codepage::lowerCase(codepage::fromUtf8(c.in)));
    }
    EXPECT_EQ(codepage::upperChar(0xB5), 0xB5);  // micro sign: its capital is not in cp1251
    EXPECT_TRUE(codepage::sameText(codepage::fromUtf8("Группа Ё"), codepage::fromUtf8("гРУППА ё")));
    EXPECT_FALSE(codepage::sameText("abc", "abcd"));
    EXPECT_LT(codepage::compareText("abc", "ABD"), 0);
}

TEST(Codepage, CollateSortsYoWithYe)
{
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    struct Case {
        const char* a;
        const char* b;
        int order;  // of a against b
    } cases[] = {
        {"Ёлка", "Аист", 1},     // not before "А" by its byte
        {"Ёлка", "Жук", -1},
        {"Ёлка", "Ель", -1},     // "Ё" as "Е": "л" < "л", "к" < "ь"
        {"Ежи", "Ёлка", -1},
        {"Еж", "Ёж", -1},        // the same letters: "Е" first
        {"ёж", "ЁЖ", 0},         // letter case does not count
        {"еЖ", "Еж", 0},
        {"Ёж", "Ежи", -1},       // a shorter text with the same start first
        {"Zebra", "Ёлка", -1},  // Latin before Cyrillic, as by their bytes
        {"abc", "ABD", -1},
    };
    for (const Case& c : cases) {
        const AnsiString a = codepage::fromUtf8(c.a), b = codepage::fromUtf8(c.b);
        EXPECT_EQ(sign(codepage::collate(a, b)), c.order) << c.a << " " << c.b;
        EXPECT_EQ(sign(codepage::collate(b, a)), -c.order) << c.b << " " << c.a;
    }
}
