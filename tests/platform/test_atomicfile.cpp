// The one rule every data file and the registry file are saved by: atomic,
// read-only files left alone, links followed, stale temporaries of killed
// saves removed.

#include "platform/atomicfile.h"

#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> entries(const std::string& dir)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

bool isLink(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace

// The permission bits decide, for every user: as root, too, a file without
// any write bit counts as protected (root's own access checks would let it
// through).
TEST(AtomicFile, ReadOnlyFilesAndFoldersAreRefusedAndLeftAsTheyWere)
{
    struct Case {
        const char* what;
        mode_t file;
        mode_t folder;
        bool saved;
    } cases[] = {
        {"writable", 0644, 0755, true},
        {"read-only file", 0444, 0755, false},
        {"read-only for everybody but the group", 0464, 0755, geteuid() == 0},
        {"read-only folder", 0644, 0555, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = testenv::makeDir("ro");
        const std::string path = dir + "/pager.ini";
        testenv::writeFile(path, "old");
        ASSERT_EQ(chmod(path.c_str(), c.file), 0);
        ASSERT_EQ(chmod(dir.c_str(), c.folder), 0);
        EXPECT_EQ(atomicfile::readOnly(path), !c.saved);
        EXPECT_EQ(atomicfile::replace(path, "new"), c.saved);
        EXPECT_EQ(atomicfile::remove(path), c.saved);
        chmod(dir.c_str(), 0755);
        if (c.saved) {
            EXPECT_FALSE(testenv::fileExists(path));
        } else {
            EXPECT_EQ(testenv::readFile(path), "old");
            EXPECT_EQ(modeOf(path), c.file);
            EXPECT_EQ(entries(dir), std::vector<std::string>{"pager.ini"});  // no temporary left
        }
    }
}

TEST(AtomicFile, KeepsTheModeOfTheFileAndGivesANewOneTheModeAsked)
{
    const std::string dir = testenv::makeDir("mode");
    const std::string kept = dir + "/book.dat";
    testenv::writeFile(kept, "old");
    chmod(kept.c_str(), 0640);
    ASSERT_TRUE(atomicfile::replace(kept, "new"));
    EXPECT_EQ(testenv::readFile(kept), "new");
    EXPECT_EQ(modeOf(kept), 0640u);

    const mode_t mask = umask(022);
    ASSERT_TRUE(atomicfile::replace(dir + "/registry.reg", "x", {0600, false}));
    ASSERT_TRUE(atomicfile::replace(dir + "/wait.dat", "x"));
    umask(mask);
    EXPECT_EQ(modeOf(dir + "/registry.reg"), 0600u);
    EXPECT_EQ(modeOf(dir + "/wait.dat"), 0644u);
}

TEST(AtomicFile, ALinkIsFollowedAndItsTargetReplacedInItsOwnFolder)
{
    const std::string data = testenv::makeDir("link-data");
    const std::string program = testenv::makeDir("link-program");
    testenv::writeFile(data + "/book.dat", "old book");
    chmod((data + "/book.dat").c_str(), 0600);
    // An absolute link, a relative one, and a link to a link.
    ASSERT_EQ(symlink((data + "/book.dat").c_str(), (program + "/book.dat").c_str()), 0);
    ASSERT_EQ(symlink(("../" + std::filesystem::path(data).filename().string() + "/book.dat").c_str(),
                      (program + "/relative.dat").c_str()),
              0);
    ASSERT_EQ(symlink((program + "/relative.dat").c_str(), (program + "/chain.dat").c_str()), 0);

    struct Case {
        const char* link;
        const char* text;
    } cases[] = {{"/book.dat", "one"}, {"/relative.dat", "two"}, {"/chain.dat", "three"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        ASSERT_TRUE(atomicfile::replace(program + c.link, c.text));
        EXPECT_EQ(testenv::readFile(data + "/book.dat"), c.text);
        EXPECT_TRUE(std::filesystem::equivalent(atomicfile::target(program + c.link), data + "/book.dat"));
        EXPECT_EQ(modeOf(data + "/book.dat"), 0600u);
    }
    for (const char* link : {"/book.dat", "/relative.dat", "/chain.dat"}) EXPECT_TRUE(isLink(program + link));
    EXPECT_EQ(entries(data), std::vector<std::string>{"book.dat"});
    EXPECT_EQ(entries(program), (std::vector<std::string>{"book.dat", "chain.dat", "relative.dat"}));

    // A read-only target is refused through the link too.
    chmod((data + "/book.dat").c_str(), 0400);
    EXPECT_FALSE(atomicfile::replace(program + "/book.dat", "four"));
    EXPECT_EQ(testenv::readFile(data + "/book.dat"), "three");
    chmod((data + "/book.dat").c_str(), 0600);

    // Removing through the link removes the target; the link stays, and the
    // next save makes the target again.
    ASSERT_TRUE(atomicfile::remove(program + "/book.dat"));
    EXPECT_FALSE(testenv::fileExists(data + "/book.dat"));
    EXPECT_TRUE(isLink(program + "/book.dat"));
    ASSERT_TRUE(atomicfile::replace(program + "/book.dat", "five"));
    EXPECT_EQ(testenv::readFile(data + "/book.dat"), "five");

    // A loop of links is no file.
    ASSERT_EQ(symlink((program + "/loop.dat").c_str(), (program + "/loop.dat").c_str()), 0);
    EXPECT_FALSE(atomicfile::replace(program + "/loop.dat", "x"));
}

TEST(AtomicFile, StaleTemporariesOfTheFileGoWithItsNextSave)
{
    const std::string dir = testenv::makeDir("stale");
    const std::string path = dir + "/messages.dat";
    testenv::writeFile(path, "old");
    // Left by killed saves of this file: they go.
    testenv::writeFile(dir + "/messages.dat.saving-Ab12Cd", "partial");
    testenv::writeFile(dir + "/messages.dat.saving-zzzzzz", "");
    // Not temporaries of this file: they stay.
    const std::vector<std::string> others = {"messages.dat.backup", "messages.dat.saving-toolong",
                                             "wait.dat.saving-Ab12Cd", "messages.dat.saving-"};
    for (const std::string& name : others) testenv::writeFile(dir + "/" + name, "keep");
    // A save still in progress in another process holds its temporary: it stays.
    const std::string live = dir + "/messages.dat.saving-LIVE00";
    testenv::writeFile(live, "being written");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open(live.c_str(), O_RDWR);
        ::flock(fd, LOCK_EX);
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(ready[1], &c, 1);
        ::pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);

    ASSERT_TRUE(atomicfile::replace(path, "new"));
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);

    std::vector<std::string> expected = others;
    expected.push_back("messages.dat");
    expected.push_back("messages.dat.saving-LIVE00");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(entries(dir), expected);
    EXPECT_EQ(testenv::readFile(path), "new");

    // Its writer gone, the next save takes it for stale; a removal cleans too.
    ASSERT_TRUE(atomicfile::remove(path));
    expected.erase(std::find(expected.begin(), expected.end(), "messages.dat"));
    expected.erase(std::find(expected.begin(), expected.end(), "messages.dat.saving-LIVE00"));
    EXPECT_EQ(entries(dir), expected);
}

// Saves killed at random moments leave at most their own temporary each; the
// next save that runs to its end leaves none.
TEST(AtomicFile, KilledSavesLeaveNothingBehindTheNextSave)
{
    const std::string dir = testenv::makeDir("killed");
    const std::string path = dir + "/wait.dat";
    const std::string big(256 * 1024, 'x');
    for (int round = 0; round < 30; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) atomicfile::replace(path, big);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500 + (round * 977) % 5000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    ASSERT_TRUE(atomicfile::replace(path, "last"));
    EXPECT_EQ(entries(dir), std::vector<std::string>{"wait.dat"});
    EXPECT_EQ(testenv::readFile(path), "last");
}
