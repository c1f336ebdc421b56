// The one rule by which the data files of both programs are read, and what
// follows from it for their writers: what stands in a data file's place and
// is no plain file of a sensible size neither holds up a start nor is ever
// written over.

#include "platform/readfile.h"

#include "platform/atomicfile.h"
#include "platform/inifile.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What may stand where a data file is expected.
struct Stand {
    const char* what;
    std::function<void(const std::string& path)> make;
    readfile::ReadResult read;
};

std::vector<Stand> stands()
{
    return {
        {"a plain file", [](const std::string& p) { testenv::writeFile(p, "[A]\r\nk=v\r\n"); },
         readfile::ReadResult::Ok},
        {"nothing", [](const std::string&) {}, readfile::ReadResult::Missing},
        {"a link to nowhere", [](const std::string& p) { ASSERT_EQ(::symlink("/nonexistent/x", p.c_str()), 0); },
         readfile::ReadResult::Missing},
        // Nobody ever writes to it: a read that waited for a writer would never end.
        {"a FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, readfile::ReadResult::Failed},
        {"a folder", [](const std::string& p) { std::filesystem::create_directory(p); }, readfile::ReadResult::Failed},
        {"a link to a FIFO",
         [](const std::string& p) {
             ASSERT_EQ(::mkfifo((p + ".fifo").c_str(), 0600), 0);
             ASSERT_EQ(::symlink((p + ".fifo").c_str(), p.c_str()), 0);
         },
         readfile::ReadResult::Failed},
        // Sparse: it takes no room on the disk, but would take its size in memory.
        {"a file above the largest one read",
         [](const std::string& p) {
             testenv::writeFile(p, "[A]\r\n");
             ASSERT_EQ(::truncate(p.c_str(), static_cast<off_t>(readfile::MaxSize) + 1), 0);
         },
         readfile::ReadResult::Failed},
    };
}

bool isFifo(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

}  // namespace

TEST(ReadFile, OnlyAPlainFileOfASensibleSizeIsReadAndNothingWaits)
{
    int n = 0;
    for (const Stand& s : stands()) {
        SCOPED_TRACE(s.what);
        const std::string path = testenv::makeDir("readfile-" + std::to_string(++n)) + "/pager.ini";
        s.make(path);
        std::string text = "stale";
        EXPECT_EQ(readfile::readAll(path, text), s.read);
        EXPECT_EQ(text, s.read == readfile::ReadResult::Ok ? "[A]\r\nk=v\r\n" : "");
    }
}

// An ini file that failed to load is kept as it stands: neither a save nor a
// deletion replaces it, and the refusal is the one a read-only file gets.
TEST(ReadFile, AnIniFileThatCouldNotBeReadIsNeverWrittenOver)
{
    int n = 0;
    for (const Stand& s : stands()) {
        if (s.read != readfile::ReadResult::Failed) continue;
        SCOPED_TRACE(s.what);
        const std::string folder = testenv::makeDir("readfile-kept-" + std::to_string(++n));
        const std::string path = folder + "/messages.dat";
        s.make(path);
        struct stat before {};
        ASSERT_EQ(::lstat(path.c_str(), &before), 0);

        TIniFile ini(path);
        EXPECT_TRUE(ini.LoadFailed());
        EXPECT_TRUE(ini.ReadSections().empty());
        ini.WriteString("Message1", "To", "x");
        EXPECT_THROW(ini.UpdateFile(), EIniFileException);
        EXPECT_THROW(TIniFile::DeleteFile(path), EIniFileException);
        EXPECT_FALSE(atomicfile::replace(path, "new"));
        EXPECT_FALSE(atomicfile::remove(path));

        struct stat after {};
        ASSERT_EQ(::lstat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_size, before.st_size);
        for (const auto& e : std::filesystem::directory_iterator(folder))
            EXPECT_EQ(e.path().filename().string().find(atomicfile::TempInfix), std::string::npos) << e.path();
    }
    // A file that reads is still written as always.
    const std::string plain = testenv::makeDir("readfile-plain") + "/messages.dat";
    testenv::writeFile(plain, "[Message1]\r\n");
    TIniFile ini(plain);
    EXPECT_FALSE(ini.LoadFailed());
    ini.WriteString("Message1", "To", "x");
    ini.UpdateFile();
    EXPECT_EQ(testenv::readFile(plain), "[Message1]\r\nTo=x\r\n");
    const std::string fifo = testenv::makeDir("readfile-fifo") + "/pager.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(TIniFile(fifo).ValueExists("Connect", "Host"));
    EXPECT_TRUE(isFifo(fifo));
}
