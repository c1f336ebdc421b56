// The loaders of the remote access and telephony libraries, against real
// shared libraries: the service, the service built without the
// entry-property functions, a library exporting every name, none at all.

#include "dialer/ras/velrasapi.h"
#include "dialer/ras/velrascon.h"
#include "dialer/ras/veltapiapi.h"
#include "tests/dialer/raslibs.h"
#include "tests/support/testenv.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace raslibs;

namespace {

// The file a bound function comes from.
std::string fileOf(const void* f)
{
    Dl_info info{};
    if (!f || !dladdr(f, &info) || !info.dli_fname) return {};
    char real[4096];
    return realpath(info.dli_fname, real) ? std::string(real) : std::string(info.dli_fname);
}

std::string real(const std::string& path)
{
    char buf[4096];
    return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

class Loader : public ::testing::Test {
protected:
    void TearDown() override { use(velras::LibraryFolder()); }
};

TEST_F(Loader, ServicePresentBindsWhatItExportsAtLevelTwo)
{
    use(folder("present", {{"RASAPI32.DLL", kFull}}));
    ASSERT_TRUE(LoadRasApi());
    EXPECT_EQ(SystemLevel, 2);
    EXPECT_TRUE(velras::RasLibraryLoaded());
    for (const void* f : {(const void*)velras::RasDialA, (const void*)velras::RasEnumConnectionsA,
                          (const void*)velras::RasEnumEntriesA, (const void*)velras::RasGetConnectStatusA,
                          (const void*)velras::RasGetErrorStringA, (const void*)velras::RasHangUpA,
                          (const void*)velras::RasGetEntryDialParamsA, (const void*)velras::RasGetProjectionInfoA,
                          (const void*)velras::RasGetSubEntryPropertiesA,
                          (const void*)velras::RasGetConnectionStatistics,
                          (const void*)velras::RasClearConnectionStatistics,
                          (const void*)velras::RasGetLinkStatistics, (const void*)velras::RasClearLinkStatistics}) {
        EXPECT_EQ(fileOf(f), real(kFull));
    }
    EXPECT_TRUE(velras::EntryPropertiesBound());
    EXPECT_EQ(fileOf((const void*)velras::RasGetEntryPropertiesA), real(kFull));
    // The service has no dialogs and no autodial: those stay null.
    EXPECT_EQ(velras::RasMonitorDlgA, nullptr);
    EXPECT_EQ(velras::RasGetAutodialParamA, nullptr);
}

TEST_F(Loader, NoLibraryFailsAndIsNotTriedAgain)
{
    const std::string dir = folder("absent", {});
    use(dir);
    EXPECT_FALSE(LoadRasApi());
    EXPECT_EQ(SystemLevel, 2);
    TVelRasCon con;
    EXPECT_FALSE(con.CheckRasApi());
    EXPECT_EQ(con.LastError, 1157);
    EXPECT_EQ(con.StatusText, "RASAPI32.DLL Not Available");

    // The library appears afterwards: the failed load stands.
    addTo(dir, "RASAPI32.DLL", kFull);
    EXPECT_FALSE(LoadRasApi());
    EXPECT_FALSE(velras::RasLibraryLoaded());
    ras::HRASCONN h = 0;
    EXPECT_EQ(con.Dial(h), 1157);
    EXPECT_EQ(h, 0u);
}

TEST_F(Loader, WithoutEntryPropertiesTheServiceStillDials)
{
    use(folder("noprops", {{"RASAPI32.DLL", kNoProps}}));
    ASSERT_TRUE(LoadRasApi());
    EXPECT_FALSE(velras::EntryPropertiesBound());
    EXPECT_EQ(velras::RasGetEntryPropertiesA, nullptr);
    EXPECT_EQ(velras::RasGetCountryInfoA, nullptr);

    writePhonebook("[Провайдер]\nNumber=5551234\nStepTime=10\nHangUpTime=0\n");
    TVelRasCon con;
    con.EntryName = testenv::cp("Провайдер");
    EXPECT_EQ(con.ReadEntryProperties(), 1157);
    EXPECT_EQ(con.ReadDialParams(), 0);
    std::vector<uint16_t> states;
    con.OnStateChanged = [&](TVelRasCon* c) { states.push_back(c->ConnectState); };
    ras::HRASCONN h = 0;
    ASSERT_EQ(con.Dial(h), 0);
    advance(1000);
    EXPECT_EQ(states, (std::vector<uint16_t>{0, 1, 2, 3, 4, 5, 8192}));
    EXPECT_EQ(con.HangUp(h), 0);
    reset();
}

TEST_F(Loader, EntryPropertiesComeFromTheirOwnLibraryWhereTheServiceLacksThem)
{
    use(folder("rnaph", {{"RASAPI32.DLL", kNoProps}, {"RNAPH.DLL", kStub}}));
    ASSERT_TRUE(LoadRasApi());
    EXPECT_TRUE(velras::EntryPropertiesBound());
    EXPECT_EQ(fileOf((const void*)velras::RasGetEntryPropertiesA), real(kStub));
    EXPECT_EQ(fileOf((const void*)velras::RasEnumDevicesA), real(kStub));
    EXPECT_EQ(fileOf((const void*)velras::RasDialA), real(kNoProps));
}

// Which groups are bound on which system, from a library that exports every
// name.
struct LevelCase {
    const char* name;
    sysversion::OSVERSIONINFOA version;
    int level;
    bool notification, subEntries, statistics;
};

class LoaderLevels : public Loader, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(LoaderLevels, BindTheGroupsOfTheirSystem)
{
    const LevelCase& c = GetParam();
    use(folder("stub", {{"RASAPI32.DLL", kStub}}), &c.version);
    ASSERT_TRUE(LoadRasApi());
    EXPECT_EQ(SystemLevel, c.level);
    EXPECT_NE(velras::RasGetProjectionInfoA, nullptr);
    EXPECT_NE(velras::RasCreatePhonebookEntryA, nullptr);
    EXPECT_EQ(velras::RasConnectionNotificationA != nullptr, c.notification);
    EXPECT_EQ(velras::RasGetSubEntryPropertiesA != nullptr, c.subEntries);
    EXPECT_EQ(velras::RasSetAutodialParamA != nullptr, c.subEntries);
    EXPECT_EQ(velras::RasGetConnectionStatistics != nullptr, c.statistics);
    EXPECT_EQ(velras::RasClearLinkStatistics != nullptr, c.statistics);
    EXPECT_TRUE(velras::EntryPropertiesBound());
    EXPECT_NE(velras::RasValidateEntryNameA, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Systems, LoaderLevels,
                         ::testing::Values(LevelCase{"Win95", windows95(0), 0, false, false, false},
                                           LevelCase{"Win98", windows95(10), 0, true, false, false},
                                           LevelCase{"NT4", windowsNT(4), 1, true, true, false},
                                           LevelCase{"W2K", windowsNT(5), 2, true, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Loader, TelephonyIsAbsentByDefaultAndTriedAgainLater)
{
    const std::string dir = folder("tapi", {{"RASAPI32.DLL", kFull}});
    use(dir);
    EXPECT_FALSE(LoadTapiApi());
    EXPECT_EQ(veltapi::lineInitialize, nullptr);

    addTo(dir, "TAPI32.DLL", kTapi);
    ASSERT_TRUE(LoadTapiApi());
    EXPECT_EQ(fileOf((const void*)veltapi::lineInitialize), real(kTapi));
    EXPECT_NE(veltapi::lineGetTranslateCaps, nullptr);
    EXPECT_NE(veltapi::lineGetCountry, nullptr);
    EXPECT_NE(veltapi::lineShutdown, nullptr);
    EXPECT_EQ(veltapi::lineOpen, nullptr);  // the double has no more
    EXPECT_TRUE(LoadTapiApi());
}

TEST_F(Loader, TheServiceReportsItsVersion)
{
    use(folder("present", {{"RASAPI32.DLL", kFull}}));
    EXPECT_EQ(TVelRasCon::ReadFileVersion("RASAPI32.DLL", "ProductVersion"), "1.0");
    EXPECT_EQ(TVelRasCon::ReadFileVersion("RASAPI32.DLL", "NoSuchKey"), "");
    EXPECT_EQ(TVelRasCon::ReadFileVersion("NOSUCH.DLL", "ProductVersion"), "");
    TVelRasCon con;
    EXPECT_EQ(con.DUNVersion, "1.0");
    EXPECT_EQ(con.DUNInfo, "Unknown DUN Version");
    EXPECT_EQ(con.Version.rfind("TVelRasCon, 21st May 2000, Release 4.41, ", 0), 0u);
}

struct DunCase {
    const char* version;
    const char* info;
};

TEST(DunInfo, NamesEachKnownVersion)
{
    const DunCase cases[] = {
        {"4.00.905", "DUN 1.0/Win95/Retail"}, {"4.00.1111", "DUN 1.1/Win95/OSR2"},
        {"4.00.1150", "DUN 1.1/Win95/ISDN"},  {"4.10.1537", "DUN 1.2b/Win95/Patch"},
        {"4.10.1903", "DUN 1.3/Win95/Patch"}, {"4.10.1998", "DUN 1.2c/Win98"},
        {"4.10.2000", "DUN 1.3/Win98/Patch"}, {"4.10.2222", "DUN 1.3/Win98SE"},
        {"4.90", "DUN 1.3?/WinMill"},         {"4.90.3000", "DUN 1.3?/WinMill"},
        {"4.00", "DUN NT4 Service Pack 6"},   {"5.00.2116.1", "DUN W2K/RC2"},
        {"5.00.2171.1", "DUN W2K/RC3"},       {"5.00.2188.1", "DUN W2K Service Pack 6"},
        {"", "Unknown DUN Version"},          {"4.00.9050", "Unknown DUN Version"},
        {"4.9", "Unknown DUN Version"},
    };
    for (const DunCase& c : cases) {
        EXPECT_EQ(TVelRasCon::DunInfoOf(c.version, "Service Pack 6"), c.info) << c.version;
    }
    EXPECT_EQ(TVelRasCon::DunInfoOf("4.00", std::string(200, 'x')), "DUN NT4 " + std::string(128, 'x'));
}

}  // namespace
