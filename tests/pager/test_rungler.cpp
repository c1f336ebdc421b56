#include "pager/encod.h"
#include "pager/rungler.h"

#include "platform/codepage.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using testenv::cp;

// The modes are program-wide: every test starts and ends with the defaults.
class Rungler : public ::testing::Test {
protected:
    void SetUp() override { resetModes(); }
    void TearDown() override { resetModes(); }
    static void resetModes()
    {
        TRungler r;
        r.SetShchaConvMode(scUseSj);
        r.SetXaConvMode(xcUseX);
        r.SetWInterpMode(wiAsV);
    }
};

struct Case {
    const char* in;   // UTF-8
    const char* out;  // UTF-8
};

void expectTable(TConversionDirection dir, const std::vector<Case>& cases)
{
    for (const auto& c : cases) {
        TRungler r;
        EXPECT_EQ(codepage::toUtf8(r.ConvertAfresh(cp(c.in), dir)), c.out) << c.in;
    }
}

TEST_F(Rungler, RussianToLatinWithDefaultModes)
{
    expectTable(cdRussianToLatin, {
        {"Щука", "Sjuka"},
        {"Хор", "Xor"},
        {"ЭХО", "E'XO"},
        {"Объём", "Ob~yom"},
        {"Жук", "Zhuk"},
        {"ЖУК", "ZhUK"},
        {"ЁЛКА", "YoLKA"},
        {"ЩЩ", "SjSJ"},
        {"ЮЮю", "YuYuyu"},
        {"ЧАЙ И ЩИ", "ChAJ I SjI"},
        {"Привет, Мир!", "Privet, Mir!"},
        {"абвгдеёжзийклмнопрстуфхцчшщъыьэюя", "abvgdeyozhzijklmnoprstufxcchshsj~y'e'yuya"},
        {"№ 5", "# 5"},
        {"Digits 0123, Latin abc XYZ.", "Digits 0123, Latin abc XYZ."},
        {"", ""},
    });
}

TEST_F(Rungler, RussianToLatinWithEachSpellingOfShchaAndXa)
{
    struct ModeCase {
        TShchaConvMode shcha;
        TXaConvMode xa;
        Case c;
    };
    const std::vector<ModeCase> cases = {
        {scUseShch, xcUseX, {"Щука", "Shchuka"}},
        {scUseShch, xcUseX, {"ЩИ", "ShchI"}},
        {scUseShch, xcUseX, {"ОЩ", "OSHCH"}},
        {scUseW, xcUseX, {"щи Щи", "wi Wi"}},
        {scUseQ, xcUseX, {"щи Щи", "qi Qi"}},
        {scUseSch, xcUseX, {"Щи ОЩ", "Schi OSCH"}},
        {scUseSj, xcUseKH, {"Хор", "Khor"}},
        {scUseSj, xcUseKH, {"ХОР", "KhOR"}},
        {scUseSj, xcUseKH, {"ОХ", "OKH"}},
        {scUseShch, xcUseKH, {"хрущ", "khrushch"}},
    };
    for (const auto& m : cases) {
        TRungler r;
        r.SetShchaConvMode(m.shcha);
        r.SetXaConvMode(m.xa);
        EXPECT_EQ(codepage::toUtf8(r.ConvertAfresh(cp(m.c.in), cdRussianToLatin)), m.c.out)
            << m.c.in << " shcha " << m.shcha << " xa " << m.xa;
    }
}

TEST_F(Rungler, LatinToRussianWithDefaultModes)
{
    expectTable(cdLatinToRussian, {
        {"Shchuka", "Щука"},
        {"Sjuka", "Щука"},
        {"SHCH", "Щ"},
        {"SHC", "ШЦ"},
        {"sch", "сч"},
        {"Ya", "Я"},
        {"yolka", "ёлка"},
        {"Yolka", "Ёлка"},
        {"yu", "ю"},
        {"e'to", "это"},
        {"E`", "Э"},
        {"j'", "й"},
        {"w", "в"},
        {"Q h x c", "Щ х х ц"},
        {"khokhot", "хохот"},
        {"zhuk", "жук"},
        {"Zhuk", "Жук"},
        {"ZHUK", "ЖУК"},
        {"zHUK", "жУК"},
        {"chast'", "часть"},
        {"CHAST'", "ЧАСТЬ"},
        {"M'A", "МЬА"},
        {"M'a", "Мьа"},
        {"ob~ekt", "объект"},
        {"m'^", "мЬ"},
        {"M'_", "Мь"},
        {"@ @^ ~^ `_", "э Э Ъ ь"},
        {"\\'", "'"},
        {"\\q", "щ"},
        {"\\\\ \\@ \\~x \\`", "\\ @ ~х `"},
        {"a\\", "а"},
        {"Privet, Mir!", "Привет, Мир!"},
        {"123, Мир! [x]^_", "123, Мир! [х]^_"},
        {"", ""},
    });
}

TEST_F(Rungler, LatinToRussianWithWAsShcha)
{
    TRungler r;
    r.SetWInterpMode(wiAsSj);
    expectTable(cdLatinToRussian, {
        {"w", "щ"},
        {"W", "Щ"},
        {"vw", "вщ"},
        {"Shchuka", "Щука"},
    });
}

TEST_F(Rungler, UpCaseCharFollowsTheWindows1251Letters)
{
    struct ByteCase {
        unsigned char in, out;
    };
    const std::vector<ByteCase> cases = {
        {'a', 'A'}, {'z', 'Z'}, {'A', 'A'}, {'`', '`'}, {'{', '{'}, {'1', '1'},
        {0xE0, 0xC0},  // а
        {0xFF, 0xDF},  // я
        {0xDF, 0xDF},  // Я
        {0xB8, 0xA8},  // ё
        {0xA8, 0xA8},  // Ё
        {0xBF, 0xBF},  // ї: not a Russian letter
        {0xB9, 0xB9},  // №
    };
    for (const auto& c : cases) EXPECT_EQ(TRungler::UpCaseChar(c.in), c.out) << int(c.in);
}

TEST_F(Rungler, OriginalStrConvertsOnlyAChangedText)
{
    TRungler r;
    EXPECT_TRUE(r.TransOn);
    EXPECT_EQ(r.Direction, cdRussianToLatin);
    EXPECT_EQ(r.ConvertedStr(), "");

    r.Direction = cdLatinToRussian;
    r.SetOriginalStr("Shchuka");
    EXPECT_EQ(r.ConvertedStr(), cp("Щука"));

    // The same text again is not converted again, even in the other direction.
    r.Direction = cdRussianToLatin;
    r.SetOriginalStr("Shchuka");
    EXPECT_EQ(r.ConvertedStr(), cp("Щука"));

    r.SetOriginalStr(cp("Щука"));
    EXPECT_EQ(r.OriginalStr(), cp("Щука"));
    EXPECT_EQ(r.ConvertedStr(), "Sjuka");
}

TEST_F(Rungler, EachConversionStartsWithAClearCase)
{
    // A sign takes the case of the letter before it.
    TRungler r;
    r.Direction = cdLatinToRussian;
    EXPECT_EQ(r.Convert("ZH"), cp("Ж"));
    EXPECT_EQ(r.Convert("'"), cp("Ь"));

    // Not across conversions through OriginalStr or ConvertAfresh.
    r.SetOriginalStr("ZH");
    r.SetOriginalStr("'");
    EXPECT_EQ(r.ConvertedStr(), cp("ь"));

    r.ConvertAfresh("ZH", cdLatinToRussian);
    EXPECT_EQ(r.ConvertAfresh("'", cdLatinToRussian), cp("ь"));
}

TEST_F(Rungler, BackslashBlankSwitchesLaterConversionsThroughOriginalStr)
{
    TRungler r;
    r.Direction = cdLatinToRussian;
    r.SetOriginalStr("da\\ net");
    EXPECT_EQ(r.ConvertedStr(), cp("даnet"));
    EXPECT_FALSE(r.TransOn);

    // Off: every character is taken as it is, "\" too, but "\ " still switches.
    r.SetOriginalStr("a\\'w");
    EXPECT_EQ(r.ConvertedStr(), "a\\'w");
    r.SetOriginalStr("net\\ da");
    EXPECT_EQ(r.ConvertedStr(), cp("netда"));
    EXPECT_TRUE(r.TransOn);
}

TEST_F(Rungler, OneTextForTwoContactsGivesEachItsOwnResult)
{
    // The message builder converts the same part for every contact with one
    // transliterator: RUS2LAT for the first, LAT2KOI8 and LAT2WIN after it.
    TRungler lrTranslit;
    const AnsiString text = cp("Privet, Щука! Zhuk");

    EXPECT_EQ(lrTranslit.ConvertAfresh(text, cdRussianToLatin), "Privet, Sjuka! Zhuk");
    EXPECT_EQ(lrTranslit.ConvertedStr(), "Privet, Sjuka! Zhuk");

    const AnsiString koi8 = WinToKoi(lrTranslit.ConvertAfresh(text, cdLatinToRussian));
    EXPECT_EQ(koi8, WinToKoi(cp("Привет, Щука! Жук")));
    EXPECT_NE(koi8, cp("Привет, Щука! Жук"));
    EXPECT_EQ(lrTranslit.OriginalStr(), text);

    EXPECT_EQ(lrTranslit.ConvertAfresh(text, cdRussianToLatin), "Privet, Sjuka! Zhuk");
    EXPECT_EQ(lrTranslit.ConvertAfresh(text, cdLatinToRussian), cp("Привет, Щука! Жук"));
}

TEST_F(Rungler, SwitchInOneMessageDoesNotSilenceTheNext)
{
    TRungler lrTranslit;
    const AnsiString part = "Zhuk\\ Zhuk";
    for (int contact = 0; contact < 2; ++contact)
        EXPECT_EQ(lrTranslit.ConvertAfresh(part, cdLatinToRussian), cp("ЖукZhuk")) << contact;
    EXPECT_EQ(lrTranslit.ConvertAfresh("Zhuk", cdLatinToRussian), cp("Жук"));
    EXPECT_TRUE(lrTranslit.TransOn);

    // A switch left by a conversion through OriginalStr neither silences a
    // fresh conversion nor is undone by it.
    lrTranslit.Direction = cdLatinToRussian;
    lrTranslit.SetOriginalStr("\\ ");
    ASSERT_FALSE(lrTranslit.TransOn);
    EXPECT_EQ(lrTranslit.ConvertAfresh("Zhuk", cdLatinToRussian), cp("Жук"));
    EXPECT_FALSE(lrTranslit.TransOn);
}

TEST_F(Rungler, ModesHoldForEveryInstance)
{
    TRungler a;
    a.SetShchaConvMode(scUseShch);
    a.SetXaConvMode(xcUseKH);
    a.SetWInterpMode(wiAsSj);

    TRungler b;
    EXPECT_EQ(b.ShchaConvMode(), scUseShch);
    EXPECT_EQ(b.XaConvMode(), xcUseKH);
    EXPECT_EQ(b.WInterpMode(), wiAsSj);
    EXPECT_EQ(b.ConvertAfresh(cp("Щи Хи"), cdRussianToLatin), "Shchi Khi");
    EXPECT_EQ(b.ConvertAfresh("w", cdLatinToRussian), cp("щ"));

    // The second instance can set the defaults back for both.
    b.SetShchaConvMode(scUseSj);
    b.SetXaConvMode(xcUseX);
    b.SetWInterpMode(wiAsV);
    EXPECT_EQ(a.ShchaConvMode(), scUseSj);
    EXPECT_EQ(a.ConvertAfresh(cp("Щи Хи"), cdRussianToLatin), "Sji Xi");
    EXPECT_EQ(a.ConvertAfresh("w", cdLatinToRussian), cp("в"));
}

TEST_F(Rungler, RussianLettersGiveOnlyAsciiInEveryMode)
{
    // Every ordered pair of Russian letters, so each letter is met before and
    // after capitals and small letters.
    std::vector<unsigned char> letters = {0xA8, 0xB8};
    for (int b = 0xC0; b <= 0xFF; ++b) letters.push_back(static_cast<unsigned char>(b));
    AnsiString text;
    for (unsigned char x : letters)
        for (unsigned char y : letters) {
            text += static_cast<char>(x);
            text += static_cast<char>(y);
        }

    for (TShchaConvMode shcha : {scUseSj, scUseShch, scUseW, scUseQ, scUseSch})
        for (TXaConvMode xa : {xcUseX, xcUseKH}) {
            TRungler r;
            r.SetShchaConvMode(shcha);
            r.SetXaConvMode(xa);
            const AnsiString out = r.ConvertAfresh(text, cdRussianToLatin);
            ASSERT_GE(out.size(), text.size());
            for (char c : out) ASSERT_LT(byteOf(c), 0x80) << "shcha " << shcha << " xa " << xa;
        }
}

}  // namespace
