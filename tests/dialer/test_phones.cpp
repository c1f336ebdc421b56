#include "dialer/phones.h"
#include "dialer/service.h"
#include "platform/registry.h"
#include "tests/dialer/dialer_fixture.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using testenv::cp;

namespace {

using Rows = std::vector<std::pair<AnsiString, bool>>;

Rows rowsOf(const TEntryState& s)
{
    Rows rows;
    for (const TPhoneRow& r : s.Phones) rows.emplace_back(r.Number, r.Checked);
    return rows;
}

TEntryState entryWith(const Rows& rows)
{
    TEntryState s;
    for (const auto& [number, checked] : rows) s.Phones.push_back({number, checked});
    return s;
}

const AnsiString kEntry = cp("Мой провайдер");
const AnsiString kKey = EntriesKey + kEntry;

}  // namespace

class PhoneLists : public DialerStore {
protected:
    void SetUp() override
    {
        DialerStore::SetUp();
        LoadDialerOptions();  // StatDate: 5 March 2026
    }
};

TEST_F(PhoneLists, ComeBackInTheirOrderWithCheckMarksPasswordAndCounters)
{
    TEntryState written = entryWith({{"2345678", true}, {"*99#", false}, {"8W123,45T", true}});
    written.HasSavedPassword = true;
    written.SavedPassword = EncodePassword(cp("пароль"));
    written.EntryMonthSecs = 4000;
    written.EntryDaySecs = 300;
    WritePhones(kEntry, written);

    TEntryState read;
    read.Phones = {{"left over", true}};
    ReadPhones(kEntry, read);
    EXPECT_EQ(rowsOf(read), rowsOf(written));
    EXPECT_TRUE(read.HasSavedPassword);
    EXPECT_EQ(DecodePassword(read.SavedPassword), cp("пароль"));
    EXPECT_EQ(read.EntryMonthSecs, 4000);
    EXPECT_EQ(read.EntryDaySecs, 300);

    // Another entry has nothing stored: everything empty, also what was read before.
    ReadPhones("Work", read);
    EXPECT_TRUE(read.Phones.empty());
    EXPECT_FALSE(read.HasSavedPassword);
    EXPECT_EQ(read.SavedPassword, "");
    EXPECT_EQ(read.EntryMonthSecs, 0);
    EXPECT_EQ(read.EntryDaySecs, 0);
}

TEST_F(PhoneLists, ARewriteReplacesTheWholeListAndANumberTwiceIsStoredOnce)
{
    struct Case {
        const char* what;
        Rows written;
        Rows read;
    } cases[] = {
        {"three numbers", {{"111", true}, {"222", true}, {"333", false}}, {{"111", true}, {"222", true}, {"333", false}}},
        {"fewer, moved", {{"333", true}, {"111", false}}, {{"333", true}, {"111", false}}},
        {"twice: first place, last check", {{"111", true}, {"222", true}, {"111", false}},
         {{"111", false}, {"222", true}}},
        {"letter case is one name", {{"12p", true}, {"12P", false}}, {{"12p", false}}},
        {"none", {}, {}},
    };
    for (const Case& c : cases) {
        WritePhones(kEntry, entryWith(c.written));
        TEntryState read;
        ReadPhones(kEntry, read);
        EXPECT_EQ(rowsOf(read), c.read) << c.what;
    }
    // The account and statistics keys below the entry stay.
    EXPECT_TRUE(registry::keyExists(kKey + "\\Account"));
    EXPECT_TRUE(registry::keyExists(kKey + "\\Statistics\\3.2026"));
}

TEST_F(PhoneLists, ValuesOfTheWrongTypeCountAsMissing)
{
    ASSERT_TRUE(registry::writeValues(kKey, {{"111", 1u}, {"Note", AnsiString("text")}, {"222", 0u}}));
    ASSERT_TRUE(registry::writeValues(kKey + "\\Account", {{"HasPassword", AnsiString("1")}, {"Password", 5u}}));
    ASSERT_TRUE(registry::writeValues(kKey + "\\Statistics\\3.2026", {{"Whole", AnsiString("9")}, {"5", 9u}}));
    TEntryState read;
    ReadPhones(kEntry, read);
    EXPECT_EQ(rowsOf(read), (Rows{{"111", true}, {"222", false}}));
    EXPECT_FALSE(read.HasSavedPassword);
    EXPECT_EQ(read.SavedPassword, "");
    EXPECT_EQ(read.EntryMonthSecs, 0);
    EXPECT_EQ(read.EntryDaySecs, 9);
}

TEST_F(PhoneLists, AStoredPasswordIsCutAt255Characters)
{
    ASSERT_TRUE(registry::writeValues(kKey + "\\Account", {{"HasPassword", 1u}, {"Password", AnsiString(300, 'A')}}));
    TEntryState read;
    ReadPhones(kEntry, read);
    EXPECT_EQ(read.SavedPassword, AnsiString(255, 'A'));
    EXPECT_EQ(DecodePassword(read.SavedPassword).size(), 128u);  // odd: a "0" goes in front
}

TEST_F(PhoneLists, NothingIsWrittenOrReadUnderAnEmptyEntryName)
{
    TEntryState s = entryWith({{"111", true}});
    s.HasSavedPassword = true;
    s.SavedPassword = EncodePassword("x");
    WritePhones("", s);
    EXPECT_FALSE(testenv::fileExists(storeFile()));

    ASSERT_TRUE(registry::writeValues("Software\\Kestrane\\Dialer\\Entries", {{"999", 1u}}));
    const std::string before = store();
    ReadPhones("", s);
    EXPECT_TRUE(s.Phones.empty());
    EXPECT_FALSE(s.HasSavedPassword);
    WritePhones("", s);
    EXPECT_EQ(store(), before);
}

// Picking another entry after midnight stores the one left and reads the new
// one under the start day, so neither entry's start-day count is lost.
TEST_F(PhoneLists, EntryCountersStayWithTheStartDayWhenAnEntryIsPickedAfterMidnight)
{
    const AnsiString work = "Work";
    ASSERT_TRUE(registry::writeValues(EntriesKey + work + "\\Statistics\\1.2026", {{"Whole", 500u}, {"31", 50u}}));
    setClock(2026, 1, 31, 23, 58, 0);
    LoadDialerOptions();
    TEntryState current;
    ReadPhones(kEntry, current);
    current.EntryMonthSecs += 200;  // on line from 23:58 to 00:01:20
    current.EntryDaySecs += 200;

    setClock(2026, 2, 1, 0, 5, 0);
    WritePhones(kEntry, current);  // the entry left
    ReadPhones(work, current);     // the entry picked
    EXPECT_EQ(current.EntryMonthSecs, 500);
    EXPECT_EQ(current.EntryDaySecs, 50);
    current.EntryMonthSecs += 10;
    current.EntryDaySecs += 10;
    WritePhones(work, current);  // at exit

    EXPECT_EQ(registry::readDword(kKey + "\\Statistics\\1.2026", "31"), 200u);
    EXPECT_EQ(registry::readDword(EntriesKey + work + "\\Statistics\\1.2026", "31"), 60u);
    EXPECT_EQ(registry::readDword(EntriesKey + work + "\\Statistics\\1.2026", "Whole"), 510u);
    EXPECT_FALSE(registry::keyExists(EntriesKey + work + "\\Statistics\\2.2026"));
}

// Another process reading the list while it is rewritten sees the old list or
// the new one, never an empty or half list.
TEST_F(PhoneLists, ARewriteIsOneChangeForAReaderInAnotherProcess)
{
    const TEntryState a = entryWith({{"111", true}, {"222", true}, {"333", true}});
    const TEntryState b = entryWith({{"444", false}, {"555", false}, {"666", false}});
    WritePhones(kEntry, a);

    int done[2];
    ASSERT_EQ(pipe(done), 0);
    const pid_t reader = fork();
    ASSERT_GE(reader, 0);
    if (reader == 0) {
        close(done[1]);
        int reads = 0;
        for (;;) {
            const auto values = registry::values(kKey);
            if (values.size() != 3) _exit(1);
            ++reads;
            pollfd p{done[0], POLLIN, 0};
            if (poll(&p, 1, 0) > 0) break;
        }
        _exit(reads > 0 ? 0 : 2);
    }
    close(done[0]);
    for (int i = 0; i < 150; ++i) WritePhones(kEntry, i % 2 ? a : b);
    close(done[1]);
    int status = 0;
    ASSERT_EQ(waitpid(reader, &status, 0), reader);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the reader saw a list that was neither the old nor the new one";
}
