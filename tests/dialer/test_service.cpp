#include "dialer/phones.h"
#include "dialer/service.h"
#include "dialer/strs.h"
#include "common/strs.h"
#include "platform/app.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "tests/dialer/dialer_fixture.h"

#include <climits>
#include <tuple>

using testenv::cp;

namespace {

const AnsiString kDialer = DialerKey;

// EntryIndex, MonthSecs, DaySecs, AutoRun, ReDial, HideOnRun, HideOnConnect,
// Tone, RedialCount, RedialDelay.
using Options = std::tuple<int32_t, int32_t, int32_t, bool, bool, bool, bool, bool, int32_t, int32_t>;

Options optionsOf(const TDialerOptions& o)
{
    return {o.EntryIndex, o.MonthSecs,     o.DaySecs, o.AutoRun,     o.ReDial,
            o.HideOnRun,  o.HideOnConnect, o.Tone,    o.RedialCount, o.RedialDelay};
}

}  // namespace

using DialerOptionsStore = DialerStore;

TEST_F(DialerOptionsStore, WithoutADialerKeyEverythingIsDefault)
{
    DialerOptions.AutoRun = true;  // left over from before
    DialerOptions.MonthSecs = 5;
    LoadDialerOptions();
    EXPECT_EQ(optionsOf(DialerOptions), Options(0, 0, 0, false, true, false, false, false, 10, 5));
    EXPECT_EQ(DialerOptions.StatDate, QDate(2026, 3, 5));
    EXPECT_FALSE(testenv::fileExists(storeFile()));  // reading creates nothing
}

TEST_F(DialerOptionsStore, ReadsWhatIsStoredAndKeepsDefaultsForWhatIsMissingOrMistyped)
{
    ASSERT_TRUE(registry::writeValues(kDialer, {{"EntryIndex", 2u},
                                                {"autorun", 1u},       // names without letter case
                                                {"ReDial", 0u},
                                                {"HideOnRun", 7u},     // not 0 is set
                                                {"HideOnConnect", AnsiString("1")},  // a text: missing
                                                {"RedialCount", 3u},   // never read
                                                {"RedialDelay", 1u}}));
    ASSERT_TRUE(registry::writeValues(kDialer + "\\Statistics\\3.2026", {{"Whole", 7200u}, {"5", 120u}, {"4", 99u}}));
    ASSERT_TRUE(registry::writeValues(kDialer + "\\Statistics\\2.2026", {{"Whole", 5u}, {"5", 5u}}));
    LoadDialerOptions();
    // HideOnConnect is a text, RedialCount and RedialDelay are never read,
    // the statistics are March's and the 5th's.
    EXPECT_EQ(optionsOf(DialerOptions), Options(2, 7200, 120, true, false, true, false, false, 10, 5));
}

TEST_F(DialerOptionsStore, AnEntryIndexOutOfRangeSelectsTheFirstEntry)
{
    ASSERT_TRUE(registry::writeDword(kDialer, "EntryIndex", 0xFFFFFFFFu));  // -1
    LoadDialerOptions();
    EXPECT_EQ(DialerOptions.EntryIndex, 0);

    struct Case {
        int32_t index;
        int count;
        int selected;
    } cases[] = {{5, 3, 0}, {3, 3, 0}, {2, 3, 2}, {0, 3, 0}, {-1, 3, 0}, {INT_MIN, 3, 0}, {0, 0, 0}, {1, 0, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(EntryToSelect(c.index, c.count), c.selected) << c.index << " of " << c.count;
    }
}

// Everything the dialer stores in one run, from start-up to exit, byte for byte.
TEST_F(DialerOptionsStore, AFullSaveWritesTheseBytes)
{
    LoadDialerOptions();
    SaveHandle(0x00012345);
    EXPECT_EQ(registry::readDword(kDialer, "Handle"), 0x00012345u);

    // ... a day on line, then the exit: position, phone list, handle, options.
    TDialerOptions& o = DialerOptions;
    o.EntryIndex = 2;
    o.MonthSecs = 7200;
    o.DaySecs = 120;
    o.AutoRun = true;
    o.ReDial = false;
    o.HideOnRun = true;
    o.Tone = true;
    TEntryState entry;
    entry.Phones = {{"2345678", true}, {"P,2345679", false}};
    entry.HasSavedPassword = true;
    entry.SavedPassword = EncodePassword(cp("секрет"));
    entry.EntryMonthSecs = 3600;
    entry.EntryDaySecs = 61;
    WritePosition("Main", 120, -80, -1, -1, false);
    WritePhones(cp("Мой провайдер"), entry);
    SaveHandle(0);
    SaveDialerOptions();

    const std::string path = app::programFilePath();
    EXPECT_EQ(store(),
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrane]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer]\n"
              "\"Version\"=\"1.3\"\n"
              "\"Author\"=\"Kestrane\"\n"
              "\"Path\"=\"" + path + "\"\n"
              "\"EntryIndex\"=dword:00000002\n"
              "\"AutoRun\"=dword:00000001\n"
              "\"ReDial\"=dword:00000000\n"
              "\"HideOnRun\"=dword:00000001\n"
              "\"HideOnConnect\"=dword:00000000\n"
              "\"Tone\"=dword:00000001\n\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Position]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Position\\Main]\n"
              "\"Left\"=dword:00000078\n"
              "\"Top\"=dword:ffffffb0\n\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Entries]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Entries\\Мой провайдер]\n"
              "\"2345678\"=dword:00000001\n"
              "\"P,2345679\"=dword:00000000\n\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Entries\\Мой провайдер\\Account]\n"
              "\"HasPassword\"=dword:00000001\n"
              "\"Password\"=\"F8ECF1F7ECF9\"\n\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Entries\\Мой провайдер\\Statistics]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Entries\\Мой провайдер\\Statistics\\3.2026]\n"
              "\"Whole\"=dword:00000e10\n"
              "\"5\"=dword:0000003d\n\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Statistics]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Statistics\\3.2026]\n"
              "\"Whole\"=dword:00001c20\n"
              "\"5\"=dword:00000078\n\n");
    EXPECT_EQ(registry::readString(registry::RunKey, AutoRunName), codepage::fromUtf8(path));

    // The next start reads back what was saved.
    const Options saved = optionsOf(o);
    SetDefaults();
    LoadDialerOptions();
    EXPECT_EQ(optionsOf(o), saved);
    int32_t left = 1, top = 2, height = 300, width = 400;
    ReadPosition("Main", left, top, height, width);
    EXPECT_EQ(left, 120);
    EXPECT_EQ(top, -80);
    EXPECT_EQ(height, 300);  // never written: the form's own size stays
    EXPECT_EQ(width, 400);
}

TEST_F(DialerOptionsStore, TurningAutoRunOffDeletesTheAutostartEntryAtTheNextSave)
{
    LoadDialerOptions();
    DialerOptions.AutoRun = true;
    SaveDialerOptions();
    const std::string entry = userdirs::autostartDir() + "/OrvDialer.desktop";
    ASSERT_TRUE(testenv::fileExists(entry));
    EXPECT_NE(testenv::readFile(entry).find("\nExec=\"" + app::programFilePath() + "\"\n"), std::string::npos);

    DialerOptions.AutoRun = false;
    EXPECT_TRUE(testenv::fileExists(entry));  // the menu toggle alone stores nothing
    SaveDialerOptions();
    EXPECT_FALSE(testenv::fileExists(entry));
    EXPECT_EQ(registry::readString(registry::RunKey, AutoRunName), std::nullopt);
    SaveDialerOptions();  // nothing left to delete: no harm
    EXPECT_FALSE(testenv::fileExists(entry));
}

// A connection from 23:59 on the last day of a month into the next month: all
// of it counts for the start day and month; the new month starts from what is
// stored for it only at the next start-up.
TEST_F(DialerOptionsStore, StatisticsStayWithTheStartDayAcrossMidnightAndAMonthChange)
{
    ASSERT_TRUE(registry::writeValues(kDialer + "\\Statistics\\1.2026", {{"Whole", 1000u}, {"31", 100u}}));
    ASSERT_TRUE(registry::writeValues(kDialer + "\\Statistics\\2.2026", {{"Whole", 7u}, {"1", 7u}}));
    setClock(2026, 1, 31, 23, 59, 0);
    LoadDialerOptions();
    EXPECT_EQ(DialerOptions.MonthSecs, 1000);
    EXPECT_EQ(DialerOptions.DaySecs, 100);

    setClock(2026, 2, 1, 0, 2, 0);  // 120 s on line later
    DialerOptions.MonthSecs += 120;
    DialerOptions.DaySecs += 120;
    SaveDialerOptions();
    EXPECT_EQ(registry::readDword(kDialer + "\\Statistics\\1.2026", "Whole"), 1120u);
    EXPECT_EQ(registry::readDword(kDialer + "\\Statistics\\1.2026", "31"), 220u);
    EXPECT_EQ(registry::readDword(kDialer + "\\Statistics\\2.2026", "Whole"), 7u);
    EXPECT_EQ(registry::valueNames(kDialer + "\\Statistics\\2.2026"), (std::vector<AnsiString>{"Whole", "1"}));

    // The next start-up is in February: its counters start from February's.
    LoadDialerOptions();
    EXPECT_EQ(DialerOptions.StatDate, QDate(2026, 2, 1));
    EXPECT_EQ(DialerOptions.MonthSecs, 7);
    EXPECT_EQ(DialerOptions.DaySecs, 7);

    // Across midnight inside a month, and across the year's end.
    struct Case {
        QDate start;
        QDate later;
        const char* key;
        const char* day;
    } cases[] = {
        {QDate(2026, 3, 14), QDate(2026, 3, 15), "\\Statistics\\3.2026", "14"},
        {QDate(2025, 12, 31), QDate(2026, 1, 1), "\\Statistics\\12.2025", "31"},
    };
    for (const Case& c : cases) {
        setClock(c.start.year(), c.start.month(), c.start.day(), 23, 59, 59);
        LoadDialerOptions();
        setClock(c.later.year(), c.later.month(), c.later.day(), 0, 0, 1);
        DialerOptions.MonthSecs += 2;
        DialerOptions.DaySecs += 2;
        SaveDialerOptions();
        EXPECT_EQ(registry::readDword(kDialer + c.key, c.day), 2u) << c.key;
        EXPECT_EQ(registry::readDword(kDialer + c.key, "Whole"), 2u) << c.key;
    }
    EXPECT_FALSE(registry::valueExists(kDialer + "\\Statistics\\3.2026", "15"));
}

TEST_F(DialerOptionsStore, PositionsAreReadOnlyWhereStoredAndMinusOneIsNeverWritten)
{
    int32_t left = 10, top = 20, height = 30, width = 40;
    ReadPosition("Main", left, top, height, width);  // nothing stored
    EXPECT_EQ(std::vector<int32_t>({left, top, height, width}), std::vector<int32_t>({10, 20, 30, 40}));

    WritePosition("Main", -1, 5, 600, -1, true);
    EXPECT_EQ(registry::valueNames(kDialer + "\\Position\\Main"), (std::vector<AnsiString>{"Top", "Height"}));
    WritePosition("Main", 7, 8, 9, 10, false);
    EXPECT_EQ(registry::valueNames(kDialer + "\\Position\\Main"),
              (std::vector<AnsiString>{"Top", "Height", "Left"}));
    ReadPosition("Main", left, top, height, width);
    EXPECT_EQ(std::vector<int32_t>({left, top, height, width}), std::vector<int32_t>({7, 8, 600, 40}));
}

TEST_F(DialerOptionsStore, TheHandleIsTakenBackOnlyWhileItIsThisCopys)
{
    // This copy alone.
    SaveHandle(0x00010001);
    EXPECT_EQ(registry::readDword(kDialer, "Handle"), 0x00010001u);
    SaveHandle(0);
    EXPECT_FALSE(registry::valueExists(kDialer, "Handle"));

    // A second copy started later published its own: it stays.
    SaveHandle(0x00010001);
    ASSERT_TRUE(registry::writeDword(kDialer, "Handle", 0x00020002));
    SaveHandle(0);
    EXPECT_EQ(registry::readDword(kDialer, "Handle"), 0x00020002u);

    // A copy that never published one deletes nothing.
    SaveHandle(0);
    EXPECT_EQ(registry::readDword(kDialer, "Handle"), 0x00020002u);
}

TEST_F(DialerOptionsStore, TheOtherProductsHandle)
{
    EXPECT_EQ(ReadZelvoHandle(), 0u);  // no key
    ASSERT_TRUE(registry::writeString(ZelvoKey, "Handle", "4660"));
    EXPECT_EQ(ReadZelvoHandle(), 0u);  // a text is no handle
    ASSERT_TRUE(registry::writeDword(ZelvoKey, "Handle", 0x1234));
    EXPECT_EQ(ReadZelvoHandle(), 0x1234u);
}

TEST(DialerPassword, ScramblesByTheSharedKeyAndDecodesBack)
{
    AnsiString allBytes;
    for (int b = 0; b < 256; ++b) allBytes += static_cast<char>(b);
    const AnsiString long128(128, 'x');
    struct Case {
        AnsiString text;
        AnsiString stored;  // what decodes back
    } cases[] = {
        {"", ""},
        {"a", "a"},
        {"secret", "secret"},
        {cp("пароль Ёё№"), cp("пароль Ёё№")},          // cp1251 bytes, some wrap past 255
        {allBytes.substr(0, 127), allBytes.substr(0, 127)},
        {long128, AnsiString(127, 'x')},               // cut to 127: fits 254 digits
        {allBytes, allBytes.substr(0, 127)},
    };
    for (const Case& c : cases) {
        const AnsiString scrambled = EncodePassword(c.text);
        EXPECT_EQ(scrambled.size(), 2 * c.stored.size());
        EXPECT_LE(scrambled.size(), 255u);
        EXPECT_EQ(scrambled.find_first_not_of("0123456789ABCDEF"), AnsiString::npos);
        EXPECT_EQ(DecodePassword(scrambled), c.stored) << c.text.size();
    }
    // Byte + 7, high digit first.
    EXPECT_EQ(EncodePassword("abc"), "68696A");
    EXPECT_EQ(EncodePassword(cp("я")), "06");
}

TEST(DialerPassword, DecodingPadsAnOddLengthAndNeverGivesANegativeByte)
{
    struct Case {
        const char* scrambled;
        std::vector<int> bytes;
    } cases[] = {
        {"68696A", {'a', 'b', 'c'}},
        {"6", {0xFF}},                 // "06": 6 - 7 wraps
        {"869", {0x01, 0x62}},         // "0869": two bytes
        {"86969", {0x01, 0x62, 0x62}},
        {"6g", {95 - 7}},              // a lower-case digit counts as -1: 16*6 - 1
        {"G0", {240 - 7}},             // 16*(-1) + 0 = -16, taken modulo 256
        {"GG", {239 - 7}},             // -17
        {"G", {255 - 7}},              // "0G": 16*0 - 1 = -1
    };
    for (const Case& c : cases) {
        const AnsiString out = DecodePassword(c.scrambled);
        std::vector<int> bytes;
        for (char ch : out) bytes.push_back(byteOf(ch));
        EXPECT_EQ(bytes, c.bytes) << c.scrambled;
    }
    // The pager's rule differs on an odd length: its last digit pairs with -1.
    EXPECT_NE(DecodePassword("6"), DecodeStr("6", ScrambleKey));
}

TEST(DialerTexts, SecsToStr)
{
    struct Case {
        int32_t secs;
        const char* text;
    } cases[] = {
        {0, "00:00:00"},          {59, "00:00:59"},         {60, "00:01:00"},
        {3599, "00:59:59"},       {3600, "01:00:00"},       {86399, "23:59:59"},
        {86400, "24:00:00"},      {360000, "100:00:00"},    {2678400, "744:00:00"},
        {INT32_MAX, "596523:14:07"}, {-1, "-00:00:01"},    {INT32_MIN, "-596523:14:08"},
    };
    for (const Case& c : cases) EXPECT_EQ(SecsToStr(c.secs), c.text) << c.secs;
}

TEST(DialerTexts, GroupDigits)
{
    struct Case {
        const char* text;
        const char* sep;
        int n;
        const char* grouped;
    } cases[] = {
        {"1234567", " ", 3, "1 234 567"},
        {"123456", " ", 3, "123 456"},
        {"1234", " ", 3, "1 234"},
        {"123", " ", 3, "123"},
        {"1", " ", 3, "1"},
        {"", " ", 3, ""},
        {"4294967295", " ", 3, "4 294 967 295"},
        {"1234567", ".,", 3, "1,.234,.567"},  // a longer separator comes out backwards
        {"12345", "-", 1, "1-2-3-4-5"},
        {"12345", " ", 0, "12345"},
        {"12345", " ", -2, "12345"},
    };
    for (const Case& c : cases) EXPECT_EQ(GroupDigits(c.text, c.sep, c.n), c.grouped) << c.text << " " << c.n;
}
