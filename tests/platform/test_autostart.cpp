#include "platform/autostart.h"
#include "platform/registry.h"
#include "platform/userdirs.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <filesystem>

using testenv::cp;

namespace {

using Names = std::vector<AnsiString>;

std::string entryFile(const std::string& name) { return userdirs::autostartDir() + "/" + name + ".desktop"; }

class Autostart : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::remove_all(userdirs::autostartDir()); }
};

}  // namespace

TEST_F(Autostart, TheRunKeysValuesAreDesktopAutostartEntries)
{
    const AnsiString run = registry::RunKey;
    EXPECT_TRUE(registry::keyExists(run));
    EXPECT_TRUE(registry::keyExists("software\\microsoft\\windows\\currentversion\\RUN\\"));
    EXPECT_EQ(registry::readString(run, "OrvDialer"), std::nullopt);
    EXPECT_FALSE(registry::deleteValue(run, "OrvDialer"));

    ASSERT_TRUE(registry::writeString(run, "OrvDialer", "/opt/orv/OrvDialer"));
    EXPECT_EQ(testenv::readFile(entryFile("OrvDialer")),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=OrvDialer\n"
              "Exec=\"/opt/orv/OrvDialer\"\n");
    EXPECT_EQ(registry::readString(run, "orvdialer"), "/opt/orv/OrvDialer");
    EXPECT_TRUE(registry::valueExists(run, "ORVDIALER"));
    EXPECT_EQ(registry::valueNames(run), Names{"OrvDialer"});
    // Nothing went into the registry file.
    EXPECT_EQ(testenv::readFile(userdirs::configDir() + "/registry.reg").find("Run"), std::string::npos);

    // Rewritten in any letter case: the same file.
    ASSERT_TRUE(registry::writeString(run, "ORVDIALER", "/usr/bin/OrvDialer"));
    EXPECT_EQ(registry::valueNames(run), Names{"OrvDialer"});
    EXPECT_EQ(registry::readString(run, "OrvDialer"), "/usr/bin/OrvDialer");

    EXPECT_TRUE(registry::deleteValue(run, "orvDialer"));
    EXPECT_FALSE(testenv::fileExists(entryFile("OrvDialer")));
    EXPECT_TRUE(registry::valueNames(run).empty());
}

TEST_F(Autostart, AnyProgramPathComesBackUnchanged)
{
    const char* paths[] = {
        "/home/u/Orv Dialer/OrvDialer",                  // blanks
        "/home/u/Звонилка/OrvDialer",                    // Cyrillic
        "/a \"quoted\"/$HOME/`id`/back\\slash/100%/%f",  // quoting and field codes
        "/line\nbreak\ttab\rreturn",
        " /leading and trailing blanks ",
    };
    for (const char* utf8 : paths) {
        const AnsiString path = cp(utf8);
        ASSERT_TRUE(registry::writeString(registry::RunKey, "Prog", path)) << utf8;
        EXPECT_EQ(registry::readString(registry::RunKey, "Prog"), path) << utf8;
        // One line per key in the file.
        const std::string file = testenv::readFile(entryFile("Prog"));
        EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 4) << utf8;
    }
    // The desktop file's own rules for what it holds.
    ASSERT_TRUE(registry::writeString(registry::RunKey, "Prog", "/a b/$x\\y%z"));
    EXPECT_NE(testenv::readFile(entryFile("Prog")).find("\nExec=\"/a b/\\\\$x\\\\\\\\y%%z\"\n"), std::string::npos);
}

TEST_F(Autostart, APathOfLettersWindows1251LacksKeepsThemAsAPath)
{
    const std::string path = "/home/u/josé ☃/OrvDialer";  // the file system's bytes
    ASSERT_TRUE(registry::writePath(registry::RunKey, "OrvDialer", path));
    EXPECT_EQ(registry::readPath(registry::RunKey, "OrvDialer"), path);
    EXPECT_NE(testenv::readFile(entryFile("OrvDialer")).find("\nExec=\"" + path + "\"\n"), std::string::npos);
    // As a text, the letters cp1251 has not become "?".
    EXPECT_EQ(registry::readString(registry::RunKey, "OrvDialer"), cp("/home/u/jos? ?/OrvDialer"));
}

TEST_F(Autostart, EntriesOfOtherProgramsAndHiddenOnes)
{
    std::filesystem::create_directories(userdirs::autostartDir());
    testenv::writeFile(entryFile("other"),
                       "[Desktop Entry]\nType=Application\nName=Other\nExec = other --start %U\n"
                       "[Desktop Action x]\nExec=ignored\n");
    testenv::writeFile(entryFile("hidden"), "[Desktop Entry]\nExec=/bin/hidden\nHidden=true\n");
    testenv::writeFile(entryFile("noexec"), "[Desktop Entry]\nName=No exec\n");
    testenv::writeFile(userdirs::autostartDir() + "/notes.txt", "Exec=x\n");

    EXPECT_EQ(registry::valueNames(registry::RunKey), Names{"other"});
    EXPECT_EQ(registry::readString(registry::RunKey, "other"), "other --start %U");
    EXPECT_EQ(registry::readString(registry::RunKey, "hidden"), std::nullopt);
    EXPECT_EQ(registry::values(registry::RunKey),
              (std::vector<registry::NamedValue>{{"other", AnsiString("other --start %U")}}));
    // Writing over a hidden entry brings it back.
    ASSERT_TRUE(registry::writeString(registry::RunKey, "hidden", "/bin/shown"));
    EXPECT_EQ(registry::readString(registry::RunKey, "hidden"), "/bin/shown");
}

TEST_F(Autostart, WhatAnEntryCannotHoldIsRefused)
{
    const AnsiString run = registry::RunKey;
    EXPECT_FALSE(registry::writeDword(run, "OrvDialer", 1));
    EXPECT_FALSE(registry::writeValues(run, {{"OrvDialer", AnsiString("/x")}}));
    EXPECT_FALSE(registry::replaceValues(run, {}));
    EXPECT_FALSE(registry::deleteKey(run));
    for (const char* name : {"", ".", "..", "a/b", "tab\tname"}) {
        EXPECT_FALSE(registry::writeString(run, name, "/x")) << name;
        EXPECT_EQ(registry::readString(run, name), std::nullopt) << name;
    }
    EXPECT_FALSE(registry::writeString(run, "Prog", "/bell\a"));
    EXPECT_FALSE(std::filesystem::exists(userdirs::autostartDir()));
}
