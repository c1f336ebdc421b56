// The message box's rules: the protected greeting and signature, the caret
// limits, putting them in and taking them out, the symbol count.

#include "pager/messagetext.h"

#include "platform/codepage.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

namespace {

using testenv::cp;

QString u(const char* s) { return QString::fromUtf8(s); }

TMessageText text(const char* shown, const char* header, const char* signature)
{
    TMessageText t;
    t.SetText(u(shown));
    t.SetShown(u(header), u(signature));
    return t;
}

// "Привет " (7) + "abc" + " Пока." (6): 16 positions, the typed text at [7, 10).
struct EditCase {
    int start;
    int end;
    bool may;
};

TEST(MessageText, EditsOnlyBetweenTheGreyTexts)
{
    const TMessageText t = text("Привет abc Пока.", "Привет ", " Пока.");
    ASSERT_EQ(t.Length(), 16);
    const EditCase cases[] = {
        {7, 7, true},     // typing right after the greeting
        {10, 10, true},   // typing right before the signature
        {7, 10, true},    // replacing the whole typed text
        {8, 9, true},     // inside it
        {6, 7, false},    // backspace into the greeting
        {6, 6, false},    // typing inside the greeting
        {0, 16, false},   // everything
        {10, 11, false},  // delete into the signature
        {11, 11, false},  // typing inside the signature
        {16, 16, false},  // at the very end, behind the signature
    };
    for (const EditCase& c : cases) {
        EXPECT_EQ(t.MayChange(c.start, c.end), c.may) << c.start << ".." << c.end;
    }
    // With nothing shown every edit may go ahead.
    const TMessageText plain = text("abc", "", "");
    EXPECT_TRUE(plain.MayChange(0, 3));
    EXPECT_TRUE(plain.MayChange(3, 3));
}

TEST(MessageText, CaretStaysBetweenTheGreyTexts)
{
    const TMessageText t = text("Привет abc Пока.", "Привет ", " Пока.");
    EXPECT_EQ(t.CaretLimits(), std::make_pair(7, 10));
    const std::pair<int, int> cases[] = {{0, 7}, {3, 7}, {7, 7}, {8, 8}, {10, 10}, {12, 10}, {16, 10}};
    for (const auto& [at, to] : cases) EXPECT_EQ(t.ClampCaret(at), to) << at;

    // Nothing shown: the caret goes anywhere.
    EXPECT_EQ(text("abc", "", "").ClampCaret(2), 2);
    // A box shorter than what it should show: the limits never cross.
    EXPECT_EQ(text("Прив", "Привет ", " Пока.").CaretLimits(), std::make_pair(4, 4));
    EXPECT_EQ(text("", "", " Пока.").CaretLimits(), std::make_pair(0, 0));
}

TEST(MessageText, LineBreaksAndSurrogatesCountAsTheBoxCountsThem)
{
    // The box's positions are UTF-16 units, a line break one: the typed text
    // "a\nb" takes three places, an emoji two, and the limits follow.
    const TMessageText t = text("Привет a\nb\U0001F600 Пока.", "Привет ", " Пока.");
    EXPECT_EQ(t.Length(), 7 + 5 + 6);
    EXPECT_EQ(t.CaretLimits(), std::make_pair(7, 12));
    EXPECT_TRUE(t.MayChange(12, 12));
    EXPECT_FALSE(t.MayChange(12, 13));
    // The count is of characters: the line break is none, the emoji one.
    EXPECT_EQ(t.SymbolCount(), 7 + 3 + 6);
    EXPECT_EQ(text("a\r\nb\xE2\x80\xA8" "c", "", "").SymbolCount(), 3);
    EXPECT_EQ(text("", "", "").SymbolCount(), 0);
}

TEST(MessageText, WhetherTheGreyTextsStand)
{
    struct Case {
        const char* shown;
        const char* header;
        const char* signature;
        bool stands;
    };
    const Case cases[] = {
        {"abc", "", "", true},
        {"Привет abc Пока.", "Привет ", " Пока.", true},
        {"Привет  Пока.", "Привет ", " Пока.", true},
        {"Приве abc Пока.", "Привет ", " Пока.", false},
        {"Привет abc Пока", "Привет ", " Пока.", false},
        {"Пока.", "Пока.", "Пока.", false},  // one text cannot be both
        {"x Пока.", "", " Пока.", true},
    };
    for (const Case& c : cases) EXPECT_EQ(text(c.shown, c.header, c.signature).Stands(), c.stands) << c.shown;
}

TEST(MessageText, PuttingTheTextsIn)
{
    struct Case {
        const char* shown;
        const char* header;
        const char* signature;
        bool dot;
        const char* after;
        int caret;
    };
    const Case cases[] = {
        {"abc", "Привет ", " Пока.", false, "Привет abc Пока.", 10},
        // An empty box gets a "." for the signature to follow, the caret before it.
        {"", "Привет ", " Пока.", true, "Привет . Пока.", 7},
        {"", "", " Пока.", true, ". Пока.", 0},
        // A greeting alone needs no ".": the caret at the end.
        {"", "Привет ", "", false, "Привет ", 7},
        {"a\nb", "Привет ", "", false, "Привет a\nb", 10},
        {"abc", "", "", false, "abc", 3},
    };
    for (const Case& c : cases) {
        const TMessageText::TInsertion in = text(c.shown, c.header, c.signature).Insertion();
        EXPECT_EQ(in.Dot, c.dot) << c.shown;
        EXPECT_EQ(in.Text, u(c.after)) << c.shown;
        EXPECT_EQ(in.Caret, c.caret) << c.shown;
        EXPECT_EQ(in.HeadStart, 0);
        EXPECT_EQ(in.HeadLength, u(c.header).size());
        EXPECT_EQ(in.SignLength, u(c.signature).size());
        EXPECT_EQ(in.SignStart, in.Text.size() - in.SignLength);
        // Put in, the texts stand and the caret is where it may be.
        TMessageText after = text(c.after, c.header, c.signature);
        EXPECT_TRUE(after.Stands());
        EXPECT_EQ(after.ClampCaret(in.Caret), in.Caret);
    }
}

TEST(MessageText, TakingTheTextsOutWhereTheyStand)
{
    struct Case {
        const char* shown;
        const char* header;
        const char* signature;
        int head;
        int sign;
        const char* after;
    };
    const Case cases[] = {
        {"Привет abc Пока.", "Привет ", " Пока.", 7, 6, "abc"},
        {"Привет . Пока.", "Привет ", " Пока.", 7, 6, "."},  // the "." given stays
        {"Прив abc Пока.", "Привет ", " Пока.", 0, 6, "Прив abc"},
        {"Привет abc", "Привет ", " Пока.", 7, 0, "abc"},
        // Text too short for both: the greeting goes, the signature stays.
        {"Привет ", "Привет ", "вет ", 7, 0, ""},
        {"abc", "", "", 0, 0, "abc"},
    };
    for (const Case& c : cases) {
        const TMessageText::TRemoval out = text(c.shown, c.header, c.signature).Removal();
        EXPECT_EQ(out.HeadLength, c.head) << c.shown;
        EXPECT_EQ(out.SignLength, c.sign) << c.shown;
        EXPECT_EQ(out.Text, u(c.after)) << c.shown;
    }
    // In and out again gives the typed text back.
    const TMessageText typed = text("a\nb", "Привет ", " Пока.");
    EXPECT_EQ(text(typed.Insertion().Text.toUtf8().constData(), "Привет ", " Пока.").Removal().Text, u("a\nb"));
}

TEST(MessageText, BodyIsTheStoredTextWithoutTheGreyTexts)
{
    const AnsiString head = cp("Привет ");
    const AnsiString sign = cp(" Пока.");
    EXPECT_EQ(TMessageText::Body(cp("Привет a\r\nb Пока."), head, sign), cp("a\r\nb"));
    EXPECT_EQ(TMessageText::Body(cp("Привет . Пока."), head, sign), cp("."));
    EXPECT_EQ(TMessageText::Body(cp("a Пока."), head, sign), cp("a"));
    EXPECT_EQ(TMessageText::Body(cp("Привет a"), head, sign), cp("a"));
    EXPECT_EQ(TMessageText::Body(cp("abc"), {}, {}), cp("abc"));
}

}  // namespace
