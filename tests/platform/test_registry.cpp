#include "platform/registry.h"

#include "platform/readfile.h"
#include "platform/userdirs.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testenv::cp;

namespace {

using Names = std::vector<AnsiString>;

std::string storeFile() { return userdirs::configDir() + "/registry.reg"; }

class Registry : public ::testing::Test {
protected:
    void SetUp() override { ::unlink(storeFile().c_str()); }
};

}  // namespace

TEST_F(Registry, WritesTheFileFormatAndReadsItBack)
{
    const AnsiString key = "Software\\Kestrane\\Pager";
    EXPECT_FALSE(registry::keyExists(key));
    EXPECT_EQ(registry::readDword(key, "Handle"), std::nullopt);
    EXPECT_FALSE(testenv::fileExists(storeFile()));  // readers create nothing

    ASSERT_TRUE(registry::writeDword(key, "Handle", 0x1a2b3));
    ASSERT_TRUE(registry::writeString(key, "Path", cp("/home/x/Orv Dialer/Звонилка")));

    EXPECT_EQ(testenv::readFile(storeFile()),
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrane]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Kestrane\\Pager]\n"
              "\"Handle\"=dword:0001a2b3\n"
              "\"Path\"=\"/home/x/Orv Dialer/Звонилка\"\n\n");
    EXPECT_EQ(registry::readDword(key, "Handle"), 0x1a2b3u);
    EXPECT_EQ(registry::readString(key, "Path"), cp("/home/x/Orv Dialer/Звонилка"));
    EXPECT_TRUE(registry::keyExists("Software\\Kestrane"));
    EXPECT_TRUE(registry::keyExists("\\Software\\Kestrane\\Pager\\"));
    EXPECT_FALSE(registry::keyExists("Software\\Kestrane\\Pag"));
}

TEST_F(Registry, OverwritingKeepsThePlaceAndAValueOfTheOtherTypeIsMissing)
{
    const AnsiString key = "Software\\Kestrane\\Dialer";
    ASSERT_TRUE(registry::writeDword(key, "A", 1));
    ASSERT_TRUE(registry::writeString(key, "B", "text"));
    ASSERT_TRUE(registry::writeDword(key, "C", 3));
    ASSERT_TRUE(registry::writeDword(key, "b", 0xFFFFFFFF));  // same value, other case and type

    EXPECT_EQ(registry::valueNames(key), (Names{"A", "B", "C"}));
    EXPECT_EQ(registry::readDword(key, "B"), 0xFFFFFFFFu);
    EXPECT_EQ(registry::readString(key, "B"), std::nullopt);
    EXPECT_EQ(registry::readDword(key, "Missing"), std::nullopt);
    EXPECT_TRUE(registry::valueExists(key, "b"));
    EXPECT_FALSE(registry::valueExists(key, "D"));
}

TEST_F(Registry, KeyAndValueNamesIgnoreLetterCaseCyrillicToo)
{
    struct Case {
        const char* written;
        const char* read;
    };
    const Case cases[] = {
        {"Software\\Kestrane\\Position", "SOFTWARE\\kestrane\\POSITION"},
        {"Software\\Кестрейн\\Позиция", "software\\КЕСТРЕЙН\\пОЗИЦИЯ"},
        {"Software\\Ёлка\\Ђђ", "software\\ёЛКА\\ђЂ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        ASSERT_TRUE(registry::writeString(cp(c.written), cp("Имя"), "v"));
        EXPECT_TRUE(registry::keyExists(cp(c.read)));
        EXPECT_EQ(registry::readString(cp(c.read), cp("иМЯ")), "v");
    }
    EXPECT_EQ(registry::subKeyNames("SOFTWARE"), (Names{"Kestrane", cp("Кестрейн"), cp("Ёлка")}));
}

TEST_F(Registry, DeletesValuesAndKeysWithTheirSubkeys)
{
    ASSERT_TRUE(registry::writeDword("Software\\K\\A", "V", 1));
    ASSERT_TRUE(registry::writeDword("Software\\K\\A\\B\\C", "V", 2));
    ASSERT_TRUE(registry::writeDword("Software\\K\\AB", "V", 3));  // a name with A for a start
    ASSERT_TRUE(registry::writeDword("Software\\K\\A", "W", 4));

    EXPECT_TRUE(registry::deleteValue("software\\k\\a", "v"));
    EXPECT_FALSE(registry::deleteValue("Software\\K\\A", "V"));
    EXPECT_FALSE(registry::deleteValue("Software\\Nothing", "V"));
    EXPECT_EQ(registry::valueNames("Software\\K\\A"), Names{"W"});

    EXPECT_EQ(registry::subKeyNames("Software\\K"), (Names{"A", "AB"}));
    EXPECT_TRUE(registry::deleteKey("Software\\K\\a"));
    EXPECT_FALSE(registry::deleteKey("Software\\K\\A"));
    EXPECT_FALSE(registry::keyExists("Software\\K\\A\\B\\C"));
    EXPECT_EQ(registry::subKeyNames("Software\\K"), Names{"AB"});
    EXPECT_EQ(registry::readDword("Software\\K\\AB", "V"), 3u);
}

TEST_F(Registry, EveryByteValueSurvivesInNamesAndTexts)
{
    AnsiString all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const AnsiString name = all.substr(1);  // an empty name would be the unnamed value
    ASSERT_TRUE(registry::writeString("Software\\Bytes", name, all));
    ASSERT_TRUE(registry::writeString("Software\\Bytes", "", "unnamed"));

    EXPECT_EQ(registry::readString("Software\\Bytes", name), all);
    EXPECT_EQ(registry::valueNames("Software\\Bytes"), (Names{name, ""}));
    EXPECT_EQ(registry::readString("Software\\Bytes", ""), "unnamed");
    // One line per value: line breaks inside texts are escaped.
    const std::string file = testenv::readFile(storeFile());
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 8);
    EXPECT_NE(file.find("@=\"unnamed\"\n"), std::string::npos);
}

TEST_F(Registry, LinesThatDoNotParseAreSkipped)
{
    testenv::writeFile(storeFile(),
                       "\xEF\xBB\xBFREGEDIT4\r\n"
                       "junk\n"
                       "\"BeforeAnyKey\"=dword:00000001\n"
                       "[HKEY_CURRENT_USER\\Software\\G]\n"
                       "\"Good\"=dword:0000000a\n"
                       "\"NoEquals\"\n"
                       "\"BadHex\"=dword:xyz\n"
                       "\"TooLong\"=dword:123456789\n"
                       "\"Unclosed=\"abc\n"
                       "\"BadEscape\"=\"\\q\"\n"
                       "\"AfterQuote\"=\"a\"b\n"
                       "\"Binary\"=hex:01,02\n"
                       "\xFF\xFE broken UTF-8\n"
                       "[HKEY_LOCAL_MACHINE\\Software\\G]\n"
                       "\"Foreign\"=dword:00000001\n"
                       "[HKEY_CURRENT_USER\\Software\\G\n"
                       "\"UnderBrokenHeader\"=dword:00000001\n"
                       "[hkey_current_user\\software\\g]\r\n"
                       "\"Text\"=\"ok\"\r\n");

    EXPECT_EQ(registry::valueNames("Software\\G"), (Names{"Good", "Text"}));
    EXPECT_EQ(registry::readDword("Software\\G", "Good"), 10u);
    EXPECT_EQ(registry::readString("Software\\G", "Text"), "ok");
    EXPECT_EQ(registry::subKeyNames(""), Names{"Software"});

    // A change rewrites the file without the junk, giving the parent its section.
    ASSERT_TRUE(registry::writeDword("Software\\G", "New", 2));
    EXPECT_EQ(testenv::readFile(storeFile()),
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\G]\n"
              "\"Good\"=dword:0000000a\n"
              "\"Text\"=\"ok\"\n"
              "\"New\"=dword:00000002\n\n");
}

TEST_F(Registry, AStoreTheUserProtectedIsLeftAlone)
{
    ASSERT_TRUE(registry::writeDword("Software\\W", "Kept", 1));
    const std::string before = testenv::readFile(storeFile());
    chmod(storeFile().c_str(), 0400);  // refused for root too
    EXPECT_FALSE(registry::writeDword("Software\\W", "New", 2));
    EXPECT_FALSE(registry::deleteKey("Software\\W"));
    EXPECT_EQ(registry::readDword("Software\\W", "Kept"), 1u);
    EXPECT_EQ(registry::readDword("Software\\W", "New"), std::nullopt);  // what was not written is not read
    chmod(storeFile().c_str(), 0600);
    EXPECT_EQ(testenv::readFile(storeFile()), before);
    EXPECT_TRUE(registry::writeDword("Software\\W", "New", 2));
}

TEST_F(Registry, AStoreThatIsALinkStaysALink)
{
    const std::string elsewhere = testenv::makeDir("registry-elsewhere") + "/registry.reg";
    ASSERT_EQ(symlink(elsewhere.c_str(), storeFile().c_str()), 0);
    ASSERT_TRUE(registry::writeDword("Software\\L", "V", 7));
    struct stat st {};
    ASSERT_EQ(lstat(storeFile().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_NE(testenv::readFile(elsewhere).find("\"V\"=dword:00000007"), std::string::npos);
    EXPECT_EQ(registry::readDword("Software\\L", "V"), 7u);
}

// A path holds the file system's bytes: any name a folder may have, in UTF-8
// or in none, comes back as it was; the file stays UTF-8 text.
TEST_F(Registry, PathsKeepTheirBytes)
{
    const AnsiString key = "Software\\Kestrane\\Dialer";
    struct Case {
        const char* what;
        std::string path;
        const char* inFile;
    } cases[] = {
        {"Latin beyond cp1251", "/home/jos\xC3\xA9/Orv Dialer/OrvDialer", "\"/home/jos\xC3\xA9/Orv Dialer/OrvDialer\""},
        {"Cyrillic and CJK", "/\xD0\x94\xD0\xB8/\xE6\x97\xA5", "\"/\xD0\x94\xD0\xB8/\xE6\x97\xA5\""},
        {"no UTF-8 at all", "/opt/\xE9t\xE9\xFF/x", "\"/opt/\\xe9t\\xe9\\xff/x\""},
        {"quote, backslash and a line break", "/a\"b\\c\nd", "\"/a\\\"b\\\\c\\x0ad\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(registry::writePath(key, "Path", c.path));
        EXPECT_EQ(registry::readPath(key, "Path"), c.path);
        EXPECT_NE(testenv::readFile(storeFile()).find(std::string("\"Path\"=") + c.inFile + "\n"), std::string::npos);
        // Another change of the file keeps the bytes.
        ASSERT_TRUE(registry::writeDword(key, "Handle", 1));
        EXPECT_EQ(registry::readPath(key, "Path"), c.path);
    }
    // As a text it is cp1251: what cp1251 lacks is a "?".
    ASSERT_TRUE(registry::writePath(key, "Path", "/home/jos\xC3\xA9/\xD0\x94"));
    EXPECT_EQ(registry::readString(key, "Path"), "/home/jos?/" + cp("Д"));
    // A text written as a text is a path in UTF-8.
    ASSERT_TRUE(registry::writeString(key, "Path", cp("/home/Дом")));
    EXPECT_EQ(registry::readPath(key, "Path"), "/home/\xD0\x94\xD0\xBE\xD0\xBC");
    // As the dialer of another build writes it, in the file as UTF-8.
    testenv::writeFile(storeFile(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer]\n"
                                    "\"Path\"=\"/srv/jos\xC3\xA9/OrvDialer\"\n");
    EXPECT_EQ(registry::readPath(key, "Path"), "/srv/jos\xC3\xA9/OrvDialer");
}

TEST_F(Registry, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int kPerChild = 200;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            bool ok = true;
            for (int i = 0; i < kPerChild; ++i) {
                const AnsiString name = "P" + std::to_string(c) + "_" + std::to_string(i);
                ok = registry::writeDword("Software\\Race", name, static_cast<uint32_t>(i)) && ok;
            }
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(registry::valueNames("Software\\Race").size(), 2u * kPerChild);
    EXPECT_EQ(registry::readDword("Software\\Race", "P1_199"), 199u);
}

// A registry file that cannot be read reads as empty and is never rewritten;
// moved aside on request, it is kept whole beside the fresh one.
TEST_F(Registry, AFileThatCannotBeReadIsKeptAndMovedAsideOnlyOnRequest)
{
    const std::string years = "Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer]\r\n\"Tone\"=dword:00000001\r\n";
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make;
        std::string kept;  // the text kept aside, when a plain file
    };
    const Case cases[] = {
        {"not a registry file", [&](const std::string& p) { testenv::writeFile(p, years); }, years},
        {"binary", [](const std::string& p) { testenv::writeFile(p, std::string("\x00\x01\xff\n", 4)); },
         std::string("\x00\x01\xff\n", 4)},
        {"a FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, ""},
        {"far too large",
         [](const std::string& p) {
             testenv::writeFile(p, "REGEDIT4\n\n");
             ASSERT_EQ(::truncate(p.c_str(), static_cast<off_t>(readfile::MaxSize) + 1), 0);
         },
         ""},
    };
    const AnsiString key = "Software\\Kestrane\\Dialer";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* name : {"/registry.reg.bad", "/registry.reg.bad-2"}) ::unlink((userdirs::configDir() + name).c_str());
        c.make(storeFile());
        struct stat before {};
        ASSERT_EQ(::lstat(storeFile().c_str(), &before), 0);

        EXPECT_EQ(registry::readDword(key, "Tone"), std::nullopt);
        EXPECT_FALSE(registry::writeDword(key, "Tone", 0));
        EXPECT_FALSE(registry::deleteKey(key));
        struct stat after {};
        ASSERT_EQ(::lstat(storeFile().c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_size, before.st_size);

        const std::string bad = storeFile() + ".bad";
        EXPECT_EQ(registry::setAsideUnreadable(), bad);
        EXPECT_FALSE(testenv::fileExists(storeFile()));
        struct stat aside {};
        ASSERT_EQ(::lstat(bad.c_str(), &aside), 0);
        EXPECT_EQ(aside.st_ino, before.st_ino);
        if (!c.kept.empty()) {
            EXPECT_EQ(testenv::readFile(bad), c.kept);
        }
        // The settings start afresh; a sound file is left where it is.
        ASSERT_TRUE(registry::writeDword(key, "Tone", 0));
        EXPECT_EQ(registry::readDword(key, "Tone"), 0u);
        EXPECT_EQ(registry::setAsideUnreadable(), "");
        EXPECT_TRUE(registry::valueExists(key, "Tone"));
        ::unlink(bad.c_str());
        ::unlink(storeFile().c_str());
    }

    // A second bad file does not take the place of the first.
    testenv::writeFile(storeFile() + ".bad", "first");
    testenv::writeFile(storeFile(), "second");
    EXPECT_EQ(registry::setAsideUnreadable(), storeFile() + ".bad-2");
    EXPECT_EQ(testenv::readFile(storeFile() + ".bad"), "first");
    EXPECT_EQ(testenv::readFile(storeFile() + ".bad-2"), "second");
    // Nothing to move: no file at all.
    EXPECT_EQ(registry::setAsideUnreadable(), "");
    ::unlink((storeFile() + ".bad").c_str());
    ::unlink((storeFile() + ".bad-2").c_str());
}

// Whatever another writer did to the file is read at the next call, however
// little it changed: in place with the same size, even with the modification
// time set back; renamed over; emptied; deleted. Both for a file just written
// and for one left alone for a while, whose identity spares reading it.
TEST_F(Registry, EveryChangeByAnotherWriterIsSeenAtTheNextCall)
{
    const AnsiString key = "Software\\C";
    const std::string before = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\C]\n\"V\"=dword:00000001\n\n";
    const std::string after = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\C]\n\"V\"=dword:00000002\n\n";
    struct Case {
        const char* what;
        std::function<void(const std::string& file)> change;
        std::optional<uint32_t> read;
    } cases[] = {
        {"in place, same size",
         [&](const std::string& file) {
             const int fd = ::open(file.c_str(), O_WRONLY);
             ASSERT_EQ(::pwrite(fd, after.data(), after.size(), 0), static_cast<ssize_t>(after.size()));
             ::close(fd);
         },
         2u},
        {"in place, same size, modification time set back",
         [&](const std::string& file) {
             struct stat st {};
             ASSERT_EQ(::stat(file.c_str(), &st), 0);
             const int fd = ::open(file.c_str(), O_WRONLY);
             ASSERT_EQ(::pwrite(fd, after.data(), after.size(), 0), static_cast<ssize_t>(after.size()));
             const timespec times[2] = {st.st_atim, st.st_mtim};
             ASSERT_EQ(::futimens(fd, times), 0);
             ::close(fd);
         },
         2u},
        {"renamed over, same size",
         [&](const std::string& file) {
             testenv::writeFile(file + ".new", after);
             ASSERT_EQ(::rename((file + ".new").c_str(), file.c_str()), 0);
         },
         2u},
        {"emptied", [](const std::string& file) { ASSERT_EQ(::truncate(file.c_str(), 0), 0); }, std::nullopt},
        {"deleted", [](const std::string& file) { ASSERT_EQ(::unlink(file.c_str()), 0); }, std::nullopt},
    };
    const std::string home = std::getenv("XDG_CONFIG_HOME");
    // Each case in a configuration folder of its own, so the settled files
    // are made together and left alone once.
    auto prepare = [&](const std::string& variant) {
        std::vector<std::string> homes;
        for (size_t i = 0; i < std::size(cases); ++i) {
            homes.push_back(testenv::makeDir("changes-" + variant + "-" + std::to_string(i)));
            ::setenv("XDG_CONFIG_HOME", homes.back().c_str(), 1);
            testenv::writeFile(storeFile(), before);
        }
        return homes;
    };
    auto check = [&](const std::vector<std::string>& homes, bool writeNow) {
        for (size_t i = 0; i < std::size(cases); ++i) {
            SCOPED_TRACE(cases[i].what);
            ::setenv("XDG_CONFIG_HOME", homes[i].c_str(), 1);
            // Written, read and changed within a tick of the file system's clock.
            if (writeNow) testenv::writeFile(storeFile(), before);
            ASSERT_EQ(registry::readDword(key, "V"), 1u);
            ASSERT_EQ(registry::readDword(key, "V"), 1u);  // again, from what was kept
            cases[i].change(storeFile());
            EXPECT_EQ(registry::readDword(key, "V"), cases[i].read);
        }
    };
    {
        SCOPED_TRACE("just written");
        check(prepare("fresh"), true);
    }
    {
        SCOPED_TRACE("left alone");
        const std::vector<std::string> homes = prepare("settled");
        ::sleep(4);  // longer than a file must be left alone for its identity to count
        check(homes, false);
    }
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
}
