#include "pager/compose.h"

#include "pager/encod.h"
#include "pager/opdb.h"
#include "pager/rungler.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QTimeZone>

using testenv::cp;

namespace {

const QDateTime kNow(QDate(2001, 3, 5), QTime(9, 7, 30));

TComposeSettings settings()
{
    TComposeSettings s;
    s.Header = cp("Привет, %NAME%!");
    s.Signature = "%FROMNAME%";
    s.FromName = "Your Name";
    s.FromAddress = "me@example.com";
    s.CutLongMessage = true;
    s.MaxSymbols = 240;
    return s;
}

TBookItem contact()
{
    TBookItem i;
    i.Addr = "1234@pager.example.net";
    i.EMail = "ivan@example.org";
    i.FullName = cp("Иван Петров");
    return i;
}

}  // namespace

TEST(Compose, CuttingByBoundAndLength)
{
    struct Case {
        int bound;
        size_t length;
        std::vector<size_t> partLengths;  // with prefixes and ">"
    } cases[] = {
        {240, 240, {240}},
        {240, 241, {238, 16}},          // "(1/2) " + 231 + ">", "(2/2) " + 10
        {240, 467, {238, 238, 11}},
        {240, 462, {238, 237}},         // exactly two pieces of 231
        {240, 2400, {239, 239, 239, 239, 239, 239, 239, 239, 239, 240, 98}},  // "(10/11) " is wider
        {9, 50, {50}},                  // too small a bound to cut by: whole
        {0, 50, {50}},
        {10, 3, {3}},
    };
    for (const Case& c : cases) {
        const AnsiString text(c.length, 'x');
        const auto parts = CutMessage(text, c.bound, true);
        std::vector<size_t> lengths;
        for (const auto& p : parts) lengths.push_back(p.Text.size());
        EXPECT_EQ(lengths, c.partLengths) << c.bound << "/" << c.length;
        for (size_t k = 0; k < parts.size(); ++k) {
            const bool last = k + 1 == parts.size();
            EXPECT_EQ(parts[k].Intermediate, !last);
            if (parts.size() > 1) {
                const std::string prefix = "(" + std::to_string(k + 1) + "/" + std::to_string(parts.size()) + ") ";
                EXPECT_EQ(parts[k].Text.substr(0, prefix.size()), prefix);
                EXPECT_EQ(parts[k].Text.back() == '>', !last);
            }
        }
    }
    // Cutting off: any length goes whole.
    EXPECT_EQ(CutMessage(AnsiString(1000, 'y'), 240, false).size(), 1u);
    // The text is cut in order, nothing lost.
    AnsiString numbered;
    for (int i = 0; i < 300; ++i) numbered += static_cast<char>('a' + i % 26);
    const auto parts = CutMessage(numbered, 100, true);
    AnsiString joined;
    for (const auto& p : parts) {
        AnsiString t = p.Text.substr(p.Text.find(") ") + 2);
        if (p.Intermediate) t.pop_back();
        joined += t;
    }
    EXPECT_EQ(joined, numbered);
}

TEST(Compose, GreetingSignatureEndMarksAndMacros)
{
    struct Case {
        const char* body;
        TComposeFlags flags;
        bool ownTexts;  // the contact has its own greeting and signature
        const char* expected;
    } cases[] = {
        {"  Hello  ", {}, false, "Hello"},
        {"Hello", {false, false, false, false, true}, false, "Hello. Your Name."},
        {"Ready?", {false, false, false, false, true}, false, "Ready? Your Name."},
        {"Hi %name%", {false, false, false, true, false}, false, "Привет, Ваня! Hi Ваня"},
        {"Hi", {true, true, false, true, true}, true, "Эй, Ваня! Hi. Пока, Иван Петров!"},
        {"Hi", {true, false, false, false, true}, true, "Эй, Ваня! Hi. Your Name."},
        {"", {false, false, false, false, true}, false, " Your Name."},
        {"%DATE% %TIME% %EMAIL% %FROMADDRESS%", {}, false, "05.03.2001 09:07 ivan@example.org me@example.com"},
    };
    for (const Case& c : cases) {
        TBookItem item = contact();
        if (c.ownTexts) {
            item.Header = cp("Эй, %NAME%!");
            item.Signature = cp("Пока, %FULLNAME%!");
        }
        EXPECT_EQ(ComposeText(cp(c.body), cp("Ваня"), item, c.flags, settings(), kNow), cp(c.expected)) << c.body;
    }
    // A name holding a macro is put in once, never expanded for ever.
    EXPECT_EQ(ComposeText("%NAME%", "%name%", contact(), {}, settings(), kNow), "%name%");
}

TEST(Compose, ShownGreetingAndSignature)
{
    TBookItem item = contact();
    item.Header = "Yo";
    item.Signature = "bye";
    const auto s = settings();
    EXPECT_EQ(UserParamText(1, true, false, "N", item, s, kNow), "Yo ");
    EXPECT_EQ(UserParamText(1, false, true, "N", item, s, kNow), cp("Привет, N! "));
    EXPECT_EQ(UserParamText(1, false, false, "N", item, s, kNow), "");
    EXPECT_EQ(UserParamText(2, true, false, "N", item, s, kNow), " bye.");
    EXPECT_EQ(UserParamText(2, false, true, "N", item, s, kNow), " Your Name.");
    EXPECT_EQ(UserParamText(2, false, false, "N", item, s, kNow), "");
}

TEST(Compose, RecodingByCode)
{
    const AnsiString text = cp("Ёлка ёж №5 Щука");
    TRungler translit;
    const AnsiString toLatin = translit.ConvertAfresh(text, cdRussianToLatin);
    struct Case {
        int code;
        AnsiString expected;
    } cases[] = {
        {0, WinToKoi(text)},
        {1, text},
        {2, toLatin},
        {3, WinToKoi(translit.ConvertAfresh("Shchuka", cdLatinToRussian))},
        {4, translit.ConvertAfresh("Shchuka", cdLatinToRussian)},
        {7, WinToKoi(text)},
    };
    for (const Case& c : cases) {
        const AnsiString input = (c.code == 3 || c.code == 4) ? AnsiString("Shchuka") : text;
        EXPECT_EQ(RecodeText(input, c.code, translit), c.expected) << c.code;
    }
    // KOI8: Ё and ё move with the other letters.
    const AnsiString koi = RecodeText(text, 0, translit);
    EXPECT_EQ(byteOf(koi[0]), 0xB3);
    EXPECT_EQ(byteOf(koi[5]), 0xA3);
    EXPECT_NE(koi[1], text[1]);
    for (char ch : toLatin) EXPECT_LT(byteOf(ch), 128) << toLatin;
    // Code 3 gives KOI8-R Cyrillic, code 4 Windows-1251.
    EXPECT_EQ(RecodeText("Shchuka", 4, translit), cp("Щука"));
    EXPECT_EQ(RecodeText("Shchuka", 3, translit), WinToKoi(cp("Щука")));
    // LAT->KOI8 carries the "ё" the transliteration makes as KOI8-R's own.
    EXPECT_EQ(translit.ConvertAfresh("yozh", cdLatinToRussian), cp("ёж"));
    EXPECT_EQ(RecodeText("yozh", 3, translit), "\xA3\xD6");
}

// "\ " switches transliteration off for the rest of the contact's message,
// parts after the one that holds it included; the next contact's message
// starts with it on again.
TEST(Compose, SwitchOffHoldsForTheRestOfTheMessage)
{
    TPagerList pagers;
    pagers.Add("Mini 30", TPagerItem{30});
    TBookItem item = contact();
    item.Model = "Mini 30";
    TComposeSettings s = settings();
    TComposeFlags flags;  // no greeting, no signature
    // Pieces of 21 characters: the switch comes in the first.
    const AnsiString text = "Zhuk da \\ Zhuk net, i vsyo. Yozh tozhe zhivet";
    struct Case {
        int code;
        std::vector<AnsiString> parts;  // in cp1251
    } cases[] = {
        {4, {cp("(1/3) Жук да Zhuk net, i>"), "(2/3)  vsyo. Yozh tozhe zhi>", "(3/3) vet"}},
        {3, {WinToKoi(cp("(1/3) Жук да Zhuk net, i>")), "(2/3)  vsyo. Yozh tozhe zhi>", "(3/3) vet"}},
    };
    TRungler translit;
    for (const Case& c : cases) {
        item.Code = c.code;
        for (int contact = 0; contact < 2; ++contact) {
            SCOPED_TRACE(c.code * 10 + contact);
            const auto mails = BuildMessage(text, "N", item, flags, s, pagers, translit, kNow);
            ASSERT_EQ(mails.size(), c.parts.size());
            for (size_t k = 0; k < mails.size(); ++k) EXPECT_EQ(mails[k].Body, c.parts[k]) << k;
        }
    }
    // The window's transliterator keeps its own switch.
    EXPECT_TRUE(translit.TransOn);

    // One part alone, through RecodeText, with the switch carried by hand.
    bool on = true;
    EXPECT_EQ(RecodeText("Zhuk\\ Zhuk", 4, translit, on), cp("ЖукZhuk"));
    EXPECT_FALSE(on);
    EXPECT_EQ(RecodeText("Zhuk", 4, translit, on), "Zhuk");
    EXPECT_EQ(RecodeText("Zhuk\\ Zhuk", 4, translit, on), cp("ZhukЖук"));
    EXPECT_TRUE(on);
    EXPECT_EQ(RecodeText("Zhuk", 4, translit), cp("Жук"));
}

TEST(Compose, GatewayAndSubject)
{
    struct Case {
        const char* addr;
        const char* to;
        const char* subject;
    } cases[] = {
        {"1234@pager.example.net", "1234@pager.example.net", ""},
        {"gate@sms.example.com?subject=5551234", "gate@sms.example.com", "5551234"},
        {"gate@sms.example.com?Subject=5551234", "gate@sms.example.com", ""},
        {"gate\\?x@sms.example.com", "gate?x@sms.example.com", ""},
        {" gate@sms.example.com ? subject=1", "gate@sms.example.com", "1"},  // both sides trimmed
    };
    for (const Case& c : cases) {
        AnsiString to;
        AnsiString subject;
        SplitGateway(c.addr, to, subject);
        EXPECT_EQ(to, c.to) << c.addr;
        EXPECT_EQ(subject, c.subject) << c.addr;
    }
}

TEST(Compose, BuildMessageAddressesEveryPart)
{
    TPagerList pagers;
    pagers.Add("Short 100", TPagerItem{100});
    TBookItem item = contact();
    item.Addr = "gate@sms.example.com?subject=5551234";
    item.Model = "short 100";
    item.Code = 1;
    TRungler translit;
    TComposeFlags flags;
    flags.Copy = true;
    const auto mails = BuildMessage(AnsiString(250, 'z'), "N", item, flags, settings(), pagers, translit, kNow);
    ASSERT_EQ(mails.size(), 3u);  // bound 100 from the model: pieces of 91
    for (size_t k = 0; k < mails.size(); ++k) {
        const bool last = k + 1 == mails.size();
        EXPECT_EQ(mails[k].To, "gate@sms.example.com");
        EXPECT_EQ(mails[k].Subject, "5551234");
        EXPECT_EQ(mails[k].FromAddress, "me@example.com");
        EXPECT_EQ(mails[k].FromName, "Your Name");
        EXPECT_EQ(mails[k].CarbonCopy, last ? "ivan@example.org" : "");
        EXPECT_EQ(mails[k].LocalProgram, last ? "Orvanta Pager 3.6" : "OrvPager 3.6");
    }
    EXPECT_EQ(mails[0].Body, "(1/3) " + AnsiString(91, 'z') + ">");
    EXPECT_EQ(mails[2].Body, "(3/3) " + AnsiString(68, 'z'));

    // An unknown model uses the global bound; the counter takes the smallest.
    TBookItem other = contact();
    other.Model = "Unknown";
    EXPECT_EQ(PartBound(other, pagers, 240), 240);
    EXPECT_EQ(SmallestBound({&item, &other}, pagers, 240), 100);
    EXPECT_EQ(SmallestBound({}, pagers, 160), 160);
}

TEST(Compose, EachMailNamesTheCharsetItsTextIsIn)
{
    TPagerList pagers;
    TRungler translit;
    struct Case {
        int32_t code;
        const char* text;
        const char* charset;
    };
    const Case cases[] = {
        {0, "Счёт", "koi8-r"},
        {1, "Счёт", "windows-1251"},
        {2, "Счёт", "us-ascii"},             // transliterated to Latin
        {2, "Счёт «5»", "windows-1251"},     // the quotes stay as they are
        {3, "Schyot", "koi8-r"},
        {4, "Schyot", "windows-1251"},
        {7, "Счёт", "koi8-r"},               // an unknown code recodes as 0
        {1, "plain", "windows-1251"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " " + c.text);
        TBookItem item = contact();
        item.Code = c.code;
        const auto mails = BuildMessage(cp(c.text), "N", item, {}, settings(), pagers, translit, kNow);
        ASSERT_EQ(mails.size(), 1u);
        EXPECT_EQ(mails[0].Charset, c.charset);
        EXPECT_EQ(MailCharset(c.code, mails[0].Body), c.charset);
    }
}

TEST(Compose, TheDateLineInRfc5322Form)
{
    const struct {
        QDateTime at;
        const char* line;
    } cases[] = {
        {QDateTime(QDate(2026, 3, 5), QTime(9, 7, 30), QTimeZone(3 * 3600)), "Thu, 05 Mar 2026 09:07:30 +0300"},
        {QDateTime(QDate(2001, 12, 31), QTime(23, 59, 59), QTimeZone(-(5 * 3600 + 30 * 60))),
         "Mon, 31 Dec 2001 23:59:59 -0530"},
        {QDateTime(QDate(2024, 2, 29), QTime(0, 0), QTimeZone(0)), "Thu, 29 Feb 2024 00:00:00 +0000"},
        {QDateTime(QDate(2026, 7, 12), QTime(18, 5, 1), QTimeZone(5 * 3600 + 45 * 60)), "Sun, 12 Jul 2026 18:05:01 +0545"},
    };
    for (const auto& c : cases) EXPECT_EQ(MailDate(c.at), c.line);
    EXPECT_EQ(MailDate(QDateTime()), "");
}
