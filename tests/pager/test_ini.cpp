#include "pager/ini.h"

#include "common/strs.h"
#include "platform/inifile.h"
#include "tests/support/expected_ini.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using testenv::cp;

using testenv::defaultPagerIni;

TEST(PagerIni, MissingFileGivesDefaultsAndSavingWritesEveryKeyInOrder)
{
    const std::string dir = testenv::makeDir("defaults");
    TIni ini;
    LoadOptions(ini, dir + "/pager.ini");
    EXPECT_TRUE(ini.Run.RunOneCopy);  // the loader's own default
    EXPECT_EQ(ini.Message.MaxSymbols, 240);
    EXPECT_EQ(ini.Connect.Host, DefaultSmtpHost);
    EXPECT_EQ(ini.CheckEmail.UserID, "");
    EXPECT_EQ(ini.Main.Header, cp("Привет, %NAME%!"));
    EXPECT_TRUE(ini.Main.IconDblClick);

    SaveOptions(ini, dir + "/pager.ini");
    EXPECT_EQ(testenv::readFile(dir + "/pager.ini"), defaultPagerIni());

    // An empty file loads as the defaults too.
    testenv::writeFile(dir + "/empty.ini", "");
    TIni fromEmpty;
    LoadOptions(fromEmpty, dir + "/empty.ini");
    SaveOptions(fromEmpty, dir + "/empty.ini");
    EXPECT_EQ(testenv::readFile(dir + "/empty.ini"), defaultPagerIni());
}

// The file holds the mailbox password: a new one is readable by the user
// alone, under any umask; one the user gave other bits keeps them.
TEST(PagerIni, ANewFileIsTheUsersAloneAndAnExistingOneKeepsItsMode)
{
    const std::string dir = testenv::makeDir("mode");
    const mode_t mask = ::umask(0);
    struct Case {
        const char* what;
        mode_t umask;
        std::optional<mode_t> existing;
        mode_t expected;
    };
    const Case cases[] = {
        {"new, umask 022", 022, std::nullopt, 0600},
        {"new, umask 0", 0, std::nullopt, 0600},
        {"new, umask 077", 077, std::nullopt, 0600},
        {"existing 0644", 022, 0644, 0644},
        {"existing 0640", 0, 0640, 0640},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir + "/pager.ini";
        ::unlink(path.c_str());
        if (c.existing) {
            testenv::writeFile(path, "[Run]\r\n");
            ASSERT_EQ(::chmod(path.c_str(), *c.existing), 0);
        }
        ::umask(c.umask);
        SaveOptions(TIni{}, path);
        ::umask(0);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.expected);
    }
    ::umask(mask);
}

TEST(PagerIni, FileFromTheOriginalPlatformLoadsAndKeepsUnknownKeys)
{
    const std::string dir = testenv::makeDir("original");
    const std::string path = dir + "/pager.ini";
    testenv::writeFile(path, testenv::readFile(ORV_FIXTURES "/pager-original.ini"));

    TIni ini;
    LoadOptions(ini, path);
    EXPECT_FALSE(ini.Run.RunOneCopy);
    EXPECT_TRUE(ini.Run.HideOnRun);
    EXPECT_EQ(ini.Message.MaxSymbols, 160);
    EXPECT_FALSE(ini.Message.CutLongMessage);
    EXPECT_EQ(ini.Connect.Host, "mail.example.net");
    EXPECT_EQ(ini.Connect.Port, 2525);
    EXPECT_EQ(ini.CheckEmail.UserID, "ivan");  // follows Connect.UserID until saved
    EXPECT_EQ(ini.CheckEmail.Password, "secret");
    EXPECT_EQ(ini.CheckEmail.Text, cp("Новое\r\nписьмо"));
    EXPECT_EQ(ini.Main.Signature, cp("Вася"));
    EXPECT_EQ(ini.Main.BookIndex, -1);

    SaveOptions(ini, path);
    const TIniFile saved(path);
    EXPECT_EQ(saved.ReadString("Message", "FutureKey", ""), "kept");
    EXPECT_EQ(saved.ReadString("Unknown", "Whatever", ""), "1");
    EXPECT_EQ(saved.ReadString("Main", "Version", ""), "3.6");
    EXPECT_EQ(saved.ReadString("Main", "Author", ""), "Kestrane");
    EXPECT_EQ(saved.ReadString("CheckEmail", "UserID", ""), "ivan");
    EXPECT_EQ(saved.ReadString("CheckEmail", "Text", ""), cp("Новое|письмо"));
    EXPECT_EQ(saved.ReadString("Main", "BookIndex", ""), "-1");
    // The key keeps the spelling it had in the file.
    EXPECT_NE(testenv::readFile(path).find("MAXSYMBOLS=160\r\n"), std::string::npos);

    TIni again;
    LoadOptions(again, path);
    EXPECT_EQ(again.CheckEmail.Password, "secret");
    EXPECT_EQ(again.CheckEmail.Text, ini.CheckEmail.Text);
}

TEST(PagerIni, ShortStringsAreCutAndTextKeepsItsLines)
{
    const std::string dir = testenv::makeDir("cuts");
    const std::string path = dir + "/pager.ini";
    const AnsiString longPassword(300, 'p');
    testenv::writeFile(path, "[Main]\r\nSignature=" + std::string(400, 's') +
                                 "\r\n[CheckEmail]\r\nPassword=" + EncodeStr(longPassword, ScrambleKey) +
                                 "\r\nText=a|b|c\r\nTo=|\r\n");
    TIni ini;
    LoadOptions(ini, path);
    EXPECT_EQ(ini.Main.Signature, std::string(255, 's'));
    EXPECT_EQ(ini.CheckEmail.Password, std::string(255, 'p'));  // decoded, then cut
    EXPECT_EQ(ini.CheckEmail.Text, "a\r\nb\r\nc");
    EXPECT_EQ(ini.CheckEmail.To, "|");

    ini.CheckEmail.Text = "typed | bar\r\nsecond line\nbare lf";
    SaveOptions(ini, path);
    EXPECT_EQ(TIniFile(path).ReadString("CheckEmail", "Text", ""), "typed | bar|second linebare lf");
    TIni back;
    LoadOptions(back, path);
    EXPECT_EQ(back.CheckEmail.Text, "typed \r\n bar\r\nsecond linebare lf");
}
