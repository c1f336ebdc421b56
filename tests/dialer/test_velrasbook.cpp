// The phonebook side of the connection component against the real service:
// entries, entry properties, sub-entries, saved dial parameters; and the
// telephony location from a telephony double.

#include "dialer/ras/velrascon.h"
#include "dialer/ras/veltapiapi.h"
#include "platform/readfile.h"
#include "platform/registry.h"
#include "platform/userdirs.h"
#include "tests/dialer/raslibs.h"
#include "tests/support/testenv.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace raslibs;

namespace {

const char* const kBook =
    "[Провайдер]\n"
    "Number=  5551234 \n"
    "AreaCode=812\n"
    "CountryCode=7\n"
    "CountryID=7\n"
    "UseCountryAndAreaCodes=1\n"
    "PromoteAlternates=1\n"
    "Alternates=5551235, 5551236 ,,5551237\n"
    "DeviceType=MODEM\n"
    "Device=US Robotics 56K\n"
    "Port=COM2\n"
    "DialMode=1\n"
    "AutodialDll=autodial.so\n"
    "AutodialFunc=AutoDialFunc\n"
    "UserName=ivanov\n"
    "Password=секрет\n"
    "Domain=WORK\n"
    "CallbackNumber=5559999\n"
    "[Без пароля]\n"
    "Number=5550000\n"
    "UserName=petrov\n"
    "[Пять линий]\n"
    "Number=5551000\n"
    "SubEntry2.Number=5552000\n"
    "SubEntry2.DeviceType=ISDN\n"
    "SubEntry2.Device=ISDN adapter\n"
    "SubEntry2.Port=ISDN1\n"
    "SubEntry3.Number=5553000\n"
    "SubEntry4.Number=5554000\n"
    "SubEntry5.Number=5555000\n"
    "[Без кодов]\n"
    "Number=5551234\n"
    "CountryCode=7\n";

class RasBook : public ::testing::Test {
protected:
    void SetUp() override
    {
        useService();
        writePhonebook(kBook);
        con = std::make_unique<TVelRasCon>();
    }
    void TearDown() override
    {
        con.reset();
        use(velras::LibraryFolder());
    }
    std::unique_ptr<TVelRasCon> con;
};

std::vector<AnsiString> cps(std::initializer_list<const char*> utf8)
{
    std::vector<AnsiString> out;
    for (const char* s : utf8) out.push_back(testenv::cp(s));
    return out;
}

TEST_F(RasBook, ListsTheEntriesInTheirOrder)
{
    EXPECT_EQ(con->ReadPhoneBookEntries(), 0);
    EXPECT_EQ(con->PhoneBookEntries, cps({"Провайдер", "Без пароля", "Пять линий", "Без кодов"}));
}

TEST_F(RasBook, ListsAnotherPhonebookWhenGivenOne)
{
    const std::string path = writePhonebookFile("other.pbk", "[Один]\nNumber=1\n[Два]\nNumber=2\n");
    con->SetPhoneBookPath(path);
    EXPECT_EQ(con->LastError, 0);
    EXPECT_EQ(con->PhoneBookEntries, cps({"Один", "Два"}));
    con->EntryName = testenv::cp("Два");
    EXPECT_EQ(con->ReadEntryProperties(), 0);
    EXPECT_EQ(con->LocalPhoneNumber, "2");

    con->SetPhoneBookPath(testenv::root() + "/nothing.pbk");
    EXPECT_EQ(con->LastError, 621);
    EXPECT_TRUE(con->PhoneBookEntries.empty());
}

TEST_F(RasBook, TakesAPhonebookWrittenInUtf8)
{
    std::string longName;
    for (int i = 0; i < 300; ++i) longName += "ж";
    testenv::writeFile(testenv::root() + "/config/kestrane/phonebook.ini",
                       "\xEF\xBB\xBF[Домашний]\nNumber=1\nPassword=пароль\n[" + longName + "]\nNumber=2\n");
    EXPECT_EQ(con->ReadPhoneBookEntries(), 0);
    ASSERT_EQ(con->PhoneBookEntries.size(), 2u);
    EXPECT_EQ(con->PhoneBookEntries[0], testenv::cp("Домашний"));
    // Cut to 256 characters, each one byte of Windows-1251.
    EXPECT_EQ(con->PhoneBookEntries[1], std::string(256, testenv::cp("ж")[0]));
    con->EntryName = testenv::cp("Домашний");
    ASSERT_EQ(con->ReadDialParams(), 0);
    EXPECT_EQ(con->Password, testenv::cp("пароль"));
}

TEST_F(RasBook, ListsEveryEntryOfALargePhonebook)
{
    std::string book;
    for (int i = 1; i <= 101; ++i) book += "[Entry " + std::to_string(i) + "]\nNumber=" + std::to_string(i) + "\n";
    writePhonebook(book);
    EXPECT_EQ(con->ReadPhoneBookEntries(), 0);
    ASSERT_EQ(con->PhoneBookEntries.size(), 101u);
    EXPECT_EQ(con->PhoneBookEntries.front(), "Entry 1");
    EXPECT_EQ(con->PhoneBookEntries.back(), "Entry 101");
}

TEST_F(RasBook, SkipsEmptyNamesTheServiceGives)
{
    use(folder("stub", {{"RASAPI32.DLL", kStub}}));
    ASSERT_TRUE(LoadRasApi());
    const char* names[] = {"First", "", "Second", ""};
    reinterpret_cast<void (*)(const char* const*, ras::DWORD)>(symbol("StubSetEntries"))(names, 4);
    EXPECT_EQ(con->ReadPhoneBookEntries(), 0);
    EXPECT_EQ(con->PhoneBookEntries, (std::vector<AnsiString>{"First", "Second"}));
}

TEST_F(RasBook, ReadsTheEntrysProperties)
{
    con->EntryName = testenv::cp("Провайдер");
    ASSERT_EQ(con->ReadEntryProperties(), 0);
    EXPECT_EQ(con->LocalPhoneNumber, "5551234");
    EXPECT_EQ(con->AreaCode, "812");
    EXPECT_EQ(con->CountryCode, 7);
    EXPECT_EQ(con->CountryID, 7);
    EXPECT_TRUE(con->UseCountryAndAreaCodes());
    EXPECT_TRUE(con->PromoteAlternates());
    EXPECT_EQ(con->EntryOptions, 0x8001u);
    EXPECT_EQ(con->PhoneCanonical, "+7 (812) 5551234");
    EXPECT_EQ(con->DeviceType, "modem");
    EXPECT_EQ(con->DeviceName, "US Robotics 56K");
    EXPECT_EQ(con->DevicePort, "com2");
    EXPECT_EQ(con->DialMode, 1);
    EXPECT_EQ(con->AutoDialDLL, "autodial.so");
    EXPECT_EQ(con->AutoDialFunc, "AutoDialFunc");
    EXPECT_EQ(con->AltPhoneNumbers, (std::vector<AnsiString>{"5551235", "5551236", "5551237"}));
    EXPECT_EQ(con->SubEntryCount, 1);
    EXPECT_EQ(con->SubEntriesRead, 1);
    EXPECT_EQ(con->SubLocalPhoneNumber[1], "5551234");
    EXPECT_EQ(con->SubPhoneCanonical[1], "+7 (812) 5551234");
    EXPECT_EQ(con->SubDevicePort[1], "com2");

    con->EntryName = testenv::cp("Без кодов");
    ASSERT_EQ(con->ReadEntryProperties(), 0);
    EXPECT_FALSE(con->UseCountryAndAreaCodes());
    EXPECT_EQ(con->PhoneCanonical, "5551234");
    EXPECT_TRUE(con->AltPhoneNumbers.empty());
    EXPECT_EQ(con->DevicePort, "");
}

TEST_F(RasBook, ReadsAllAlternatesHoweverManyThereAre)
{
    std::string alternates;
    for (int i = 0; i < 60; ++i) alternates += (i ? "," : "") + std::string("8812555") + std::to_string(1000 + i);
    writePhonebook("[Много]\nNumber=1\nAlternates=" + alternates + "\n");
    con->EntryName = testenv::cp("Много");
    ASSERT_EQ(con->ReadEntryProperties(), 0);
    ASSERT_EQ(con->AltPhoneNumbers.size(), 60u);
    EXPECT_EQ(con->AltPhoneNumbers.back(), "88125551059");
}

TEST_F(RasBook, FiveSubEntriesAreReadAsFour)
{
    con->EntryName = testenv::cp("Пять линий");
    ASSERT_EQ(con->ReadEntryProperties(), 0);
    EXPECT_EQ(con->SubEntryCount, 5);
    EXPECT_EQ(con->SubEntriesRead, 4);
    EXPECT_EQ(con->SubLocalPhoneNumber[1], "5551000");
    EXPECT_EQ(con->SubLocalPhoneNumber[2], "5552000");
    EXPECT_EQ(con->SubDeviceType[2], "isdn");
    EXPECT_EQ(con->SubDeviceName[2], "ISDN adapter");
    EXPECT_EQ(con->SubDevicePort[2], "isdn1");
    EXPECT_EQ(con->SubLocalPhoneNumber[4], "5554000");
    EXPECT_EQ(con->SubPhoneCanonical[4], "5554000");
    EXPECT_EQ(con->ReadSubEntryProperties(5), -1);
    EXPECT_EQ(con->ReadSubEntryProperties(0), -1);

    // Reading another entry clears what the first left.
    con->EntryName = testenv::cp("Без кодов");
    ASSERT_EQ(con->ReadEntryProperties(), 0);
    EXPECT_EQ(con->SubLocalPhoneNumber[2], "");
    EXPECT_EQ(con->SubDeviceName[4], "");
}

TEST_F(RasBook, AnUnknownEntryIsAnError)
{
    con->EntryName = testenv::cp("Нет такого");
    EXPECT_EQ(con->ReadEntryProperties(), 623);
    EXPECT_EQ(con->StatusText, testenv::cp("Не удаётся найти запись в телефонной книге."));
    EXPECT_EQ(con->ReadDialParams(), 623);
    EXPECT_EQ(con->LastError, 623);
}

TEST_F(RasBook, GivesThePasswordOnlyWhenItIsSaved)
{
    con->EntryName = testenv::cp("Провайдер");
    ASSERT_EQ(con->ReadDialParams(), 0);
    EXPECT_TRUE(con->PasswordSaved);
    EXPECT_EQ(con->UserName, "ivanov");
    EXPECT_EQ(con->Password, testenv::cp("секрет"));
    EXPECT_EQ(con->Domain, "WORK");
    EXPECT_EQ(con->CallbackNumber, "5559999");

    con->EntryName = testenv::cp("Без пароля");
    ASSERT_EQ(con->ReadDialParams(), 0);
    EXPECT_FALSE(con->PasswordSaved);
    EXPECT_EQ(con->UserName, "petrov");
    EXPECT_EQ(con->Password, "");
    EXPECT_EQ(con->Domain, "");
}

TEST(MakeCanonical, BuildsTheNumberAsDialled)
{
    struct Case {
        bool use;
        int country;
        const char* number;
        const char* area;
        const char* expected;
    };
    const Case cases[] = {
        {true, 7, "1234567", "812", "+7 (812) 1234567"},
        {true, 7, "1234567", "", "+7 1234567"},
        {false, 7, "1234567", "812", "1234567"},
        {true, 380, "", "44", "+380 (44)"},
        {false, 7, " 123 ", "", "123"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TVelRasCon::MakeCanonical(c.use, c.country, c.number, c.area), c.expected) << c.expected;
    }
}

TEST(SplitDeviceName, SeparatesTheNameAndThePort)
{
    struct Case {
        std::string field;
        const char* name;
        const char* port;
    };
    const Case cases[] = {
        {std::string("Modem\0COM2", 10), "Modem", "com2"},
        {"Modem", "Modem", ""},
        {std::string(" Modem \0 COM2 ", 14), "Modem", "com2"},
        {std::string("\0COM2", 5), "COM2", ""},
        {std::string("Modem\0", 6), "Modem", ""},
        {"Modem" + std::string(1, '\0') + std::string(120, 'P'), "Modem", nullptr},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        char field[ras::RAS_MaxDeviceName + 1] = {};
        std::memcpy(field, c.field.data(), std::min(c.field.size(), sizeof field));
        AnsiString port = "old", name = "old";
        TVelRasCon::SplitDeviceName(field, port, name);
        EXPECT_EQ(name, c.name);
        if (c.port) {
            EXPECT_EQ(port, c.port);
        } else {
            EXPECT_EQ(port, std::string(99, 'p'));  // at most 99 characters
        }
    }
}

// ---- the oldest system

TEST_F(RasBook, AMultilinkEntryOfTheOldSystemCountsTwoLinksAndReadsNone)
{
    const auto v = windows95(10);
    use(folder("service0", {{"RASAPI32.DLL", kFull}}), &v);
    ASSERT_TRUE(LoadRasApi());
    ASSERT_EQ(SystemLevel, 0);
    const AnsiString profile = "RemoteAccess\\Profile\\" + testenv::cp("Пять линий");
    registry::deleteValue(profile, "MultiLink");
    con->EntryName = testenv::cp("Пять линий");
    ASSERT_EQ(con->ReadEntryProperties(), 0);
    EXPECT_EQ(con->SubEntryCount, 0);  // the short record has none
    EXPECT_EQ(con->DialMode, 0);

    ASSERT_TRUE(registry::writeDword(profile, "MultiLink", 1));
    ASSERT_EQ(con->ReadEntryProperties(), 0);
    EXPECT_EQ(con->SubEntryCount, 2);
    EXPECT_EQ(con->SubEntriesRead, 0);
    EXPECT_EQ(con->SubLocalPhoneNumber[1], "");
    EXPECT_EQ(con->ReadSubEntryProperties(1), -1);

    con->EntryName = testenv::cp("Провайдер");
    ASSERT_EQ(con->ReadEntryProperties(), 0);
    EXPECT_EQ(con->SubEntryCount, 0);
    EXPECT_EQ(con->AltPhoneNumbers.size(), 3u);
    ASSERT_EQ(con->ReadDialParams(), 0);
    EXPECT_EQ(con->Password, testenv::cp("секрет"));
}

// ---- telephony

// A translate-caps record as a telephony library fills it: a header, the
// location and card lists, and their texts.
class CapsBuilder {
public:
    CapsBuilder() : buf_(3504, 0) { put(0, tapi::LINETRANSLATECAPS{}); used_ = sizeof(tapi::LINETRANSLATECAPS); }

    // The offset of a text placed at the end (with its NUL).
    tapi::DWORD text(const std::string& s)
    {
        const tapi::DWORD at = used_;
        std::memcpy(&buf_[at], s.c_str(), s.size() + 1);
        used_ += static_cast<tapi::DWORD>(s.size() + 1);
        return at;
    }
    template <class T>
    void put(size_t at, const T& rec)
    {
        std::memcpy(&buf_[at], &rec, sizeof rec);
    }
    template <class T>
    tapi::DWORD add(const T& rec)
    {
        const tapi::DWORD at = used_;
        put(at, rec);
        used_ += sizeof rec;
        return at;
    }
    tapi::LINETRANSLATECAPS& header() { return *reinterpret_cast<tapi::LINETRANSLATECAPS*>(buf_.data()); }
    std::vector<char>& bytes()
    {
        header().dwTotalSize = 3504;
        header().dwUsedSize = used_;
        return buf_;
    }

private:
    std::vector<char> buf_;
    tapi::DWORD used_;
};

tapi::LINELOCATIONENTRY location(CapsBuilder& b, tapi::DWORD id, const std::string& name, tapi::DWORD country)
{
    tapi::LINELOCATIONENTRY l{};
    l.dwPermanentLocationID = id;
    l.dwLocationNameOffset = b.text(name);
    l.dwLocationNameSize = static_cast<tapi::DWORD>(name.size() + 1);
    const std::string city = " 812 ";
    l.dwCityCodeOffset = b.text(city);
    l.dwCityCodeSize = static_cast<tapi::DWORD>(city.size() + 1);
    l.dwCountryCode = 7;
    l.dwCountryID = country;
    return l;
}

class Telephony : public RasBook {
protected:
    void SetUp() override
    {
        RasBook::SetUp();
        use(folder("telephony", {{"RASAPI32.DLL", kFull}, {"TAPI32.DLL", kTapi}}));
        ASSERT_TRUE(LoadRasApi());
    }

    // Answers of the double; countries as given, or one country "Russia".
    void answer(tapi::LONG init, tapi::DWORD devices, std::vector<char>& caps, tapi::LONG capsResult = 0)
    {
        std::vector<char> countries(512, 0);
        auto& list = *reinterpret_cast<tapi::LINECOUNTRYLIST*>(countries.data());
        list.dwTotalSize = 512;
        list.dwNumCountries = 1;
        list.dwCountryListOffset = sizeof list;
        tapi::LINECOUNTRYENTRY c{};
        c.dwCountryID = 7;
        c.dwCountryCode = 7;
        c.dwNextCountryID = 20;
        c.dwCountryNameOffset = sizeof list + sizeof c;
        c.dwCountryNameSize = 7;
        std::memcpy(&countries[sizeof list], &c, sizeof c);
        std::memcpy(&countries[sizeof list + sizeof c], "Russia", 7);
        ASSERT_TRUE(LoadTapiApi());
        auto set = reinterpret_cast<void (*)(tapi::LONG, tapi::DWORD, const void*, tapi::DWORD, tapi::LONG,
                                             const void*, tapi::DWORD)>(tapiSymbol("TapiDoubleSet"));
        ASSERT_NE(set, nullptr);
        set(init, devices, caps.data(), static_cast<tapi::DWORD>(caps.size()), capsResult, countries.data(), 512);
    }

    static void* tapiSymbol(const char* name)
    {
        void* lib = dlopen(velras::LibraryFile("TAPI32.DLL").c_str(), RTLD_NOW | RTLD_NOLOAD);
        void* f = lib ? dlsym(lib, name) : nullptr;
        if (lib) dlclose(lib);
        return f;
    }

    TTapiLocationSummary summary;
    TTapiLocation where;
    TTapiCountry country;
    TTapiCard card;
};

TEST_F(Telephony, WithoutTheLibraryEverythingStaysAtItsDefaults)
{
    use(folder("notelephony", {{"RASAPI32.DLL", kFull}}));
    where.Name = "old";
    EXPECT_EQ(con->ReadTranslateCaps(summary, where, country, card), -1);
    EXPECT_EQ(summary.NumLocations, 0u);
    EXPECT_EQ(where.PermanentLocationID, -1);
    EXPECT_EQ(where.Name, "");
    EXPECT_EQ(card.PermanentCardID, -1);
    EXPECT_EQ(country.CountryID, 0u);
    EXPECT_FALSE(con->TapiReady);
}

TEST_F(Telephony, ReadsTheCurrentLocationItsCardAndCountry)
{
    CapsBuilder b;
    const auto home = location(b, 1, "Home", 7);
    const auto office = location(b, 2, "  Office  ", 7);
    const auto away = location(b, 3, "Away", 44);
    tapi::LINECARDENTRY none{};
    none.dwPermanentCardID = 0;
    const std::string cardName = "None (Direct Dial)";
    none.dwCardNameOffset = b.text(cardName);
    none.dwCardNameSize = static_cast<tapi::DWORD>(cardName.size() + 1);
    auto& h = b.header();
    h.dwNumLocations = 3;
    h.dwCurrentLocationID = 2;
    h.dwLocationListOffset = b.add(home);
    b.add(office);
    b.add(away);
    h.dwLocationListSize = 3 * sizeof home;
    h.dwNumCards = 1;
    h.dwCardListOffset = b.add(none);
    h.dwCardListSize = sizeof none;
    h.dwCurrentPreferredCardID = 0;
    answer(0, 2, b.bytes());

    EXPECT_EQ(con->ReadTranslateCaps(summary, where, country, card), 0);
    EXPECT_TRUE(con->TapiReady);
    EXPECT_EQ(con->TapiDeviceCount, 2u);
    EXPECT_EQ(summary.NumLocations, 3u);
    EXPECT_EQ(summary.CurrentLocationID, 2u);
    EXPECT_EQ(where.PermanentLocationID, 2);
    EXPECT_EQ(where.Name, "Office");
    EXPECT_EQ(where.CityCode, "812");
    EXPECT_EQ(card.PermanentCardID, 0);
    EXPECT_EQ(card.Name, "None (Direct Dial)");
    EXPECT_EQ(country.CountryID, 7u);
    EXPECT_EQ(country.NextCountryID, 20u);
    EXPECT_EQ(country.Name, "Russia");
    con->CloseTapi();
    EXPECT_FALSE(con->TapiReady);
    EXPECT_EQ(reinterpret_cast<int (*)()>(tapiSymbol("TapiDoubleShutdowns"))(), 1);
}

TEST_F(Telephony, OffsetsAndSizesOutsideTheBufferEndTheReading)
{
    using Spoil = std::function<void(tapi::LINETRANSLATECAPS&, tapi::LINELOCATIONENTRY&)>;
    struct Case {
        const char* name;
        Spoil spoil;
        int id;               // the location read last
        const char* locName;  // its name, as far as it was read
    };
    const Case cases[] = {
        {"name offset past the end", [](auto&, auto& l) { l.dwLocationNameOffset = 5000; }, 2, "Home"},
        {"name size past the end", [](auto&, auto& l) { l.dwLocationNameSize = 4000; }, 2, "Home"},
        {"city size that wraps", [](auto&, auto& l) { l.dwCityCodeSize = 0xFFFFFFF0u; }, 2, "Second"},
        {"second record past the end", [](auto& h, auto&) { h.dwLocationListOffset = 3504 - 100; }, 1, "Home"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CapsBuilder b;
        const auto home = location(b, 1, "Home", 0);
        auto second = location(b, 2, "Second", 0);
        auto& h = b.header();
        h.dwNumLocations = 2;
        h.dwCurrentLocationID = 2;
        h.dwLocationListSize = 2 * sizeof home;
        c.spoil(h, second);
        if (h.dwLocationListOffset == 0) {
            h.dwLocationListOffset = b.add(home);
            b.add(second);
        } else {
            b.put(h.dwLocationListOffset, home);  // the second would not fit
        }
        answer(0, 1, b.bytes());
        con->CloseTapi();
        EXPECT_EQ(con->ReadTranslateCaps(summary, where, country, card), 0);
        EXPECT_EQ(summary.NumLocations, 2u);
        EXPECT_EQ(where.PermanentLocationID, c.id);
        EXPECT_EQ(where.Name, c.locName);
    }
}

TEST_F(Telephony, AFailedInitialisationSaysSo)
{
    CapsBuilder b;
    answer(-5, 1, b.bytes());
    EXPECT_EQ(con->ReadTranslateCaps(summary, where, country, card), -1);
    EXPECT_EQ(con->StatusText, "TAPI Error");
    EXPECT_FALSE(con->TapiReady);
    EXPECT_EQ(con->TapiLineApp, 0u);
}

TEST_F(Telephony, NoLineDeviceShutsTelephonyDownAgain)
{
    CapsBuilder b;
    answer(0, 0, b.bytes());
    EXPECT_EQ(con->ReadTranslateCaps(summary, where, country, card), -1);
    EXPECT_FALSE(con->TapiReady);
    EXPECT_EQ(reinterpret_cast<int (*)()>(tapiSymbol("TapiDoubleShutdowns"))(), 1);
}

TEST_F(Telephony, TheLibrarysRefusalIsTheResult)
{
    CapsBuilder b;
    answer(0, 1, b.bytes(), -18);
    EXPECT_EQ(con->ReadTranslateCaps(summary, where, country, card), -18);
    EXPECT_EQ(summary.NumLocations, 0u);
}

}  // namespace

// A phonebook that is no plain file, or far larger than any, lists no entry
// and holds up nothing: it is not read at all.
TEST_F(RasBook, APhonebookThatIsNoPlainFileOrFarTooLargeListsNothing)
{
    const std::string path = userdirs::configDir() + "/phonebook.ini";
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }},
        {"far too large",
         [&] {
             writePhonebook("[Провайдер]\nNumber=1\n");
             ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(readfile::MaxSize) + 1), 0);
         }},
    };
    for (const auto& [what, make] : cases) {
        SCOPED_TRACE(what);
        std::remove(path.c_str());
        make();
        con->ReadPhoneBookEntries();
        EXPECT_TRUE(con->PhoneBookEntries.empty());
        con->EntryName = testenv::cp("Провайдер");
        EXPECT_NE(con->ReadEntryProperties(), 0);
    }
    std::remove(path.c_str());
}
