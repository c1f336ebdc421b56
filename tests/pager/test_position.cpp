#include "pager/position.h"

#include "common/dialerkey.h"
#include "platform/registry.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QFile>

#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace {

const AnsiString kPos = PositionKey;

}  // namespace

TEST(Position, SaveAndLoad)
{
    struct Case {
        const char* name;
        TPosRec saved;
        bool withSize;
        bool maximized;
        TPosRec current;   // what the window has before loading
        TPosRec expected;  // after LoadPosition
    } cases[] = {
        // a window closed normally comes back where and as large as it was
        {"Main", {10, 20, 547, 561, false}, true, false, {0, 0, 100, 100, true}, {10, 20, 547, 561, false}},
        // closed maximized: the earlier normal place stays, then it maximizes
        {"Max", {1, 2, 3, 4, false}, true, true, {5, 6, 7, 8, false}, {5, 6, 7, 8, true}},
        // a column: only its width
        {"Book\\Columns\\Section0", {-1, -1, -1, 150, false}, true, false, {0, 0, 0, 80, false},
         {0, 0, 0, 150, false}},
        // a dialog: place only, its size stays that of its form
        {"BookIt", {300, 200, 999, 999, false}, false, false, {0, 0, 240, 320, false},
         {300, 200, 240, 320, false}},
        // negative co-ordinates (a second screen on the left) survive
        {"Left", {-1200, -5, 400, 500, false}, true, false, {0, 0, 0, 0, false},
         {-1200, -5, 400, 500, false}},
    };
    for (const Case& c : cases) {
        SavePosition(c.name, c.saved, c.withSize, c.maximized);
        TPosRec p = c.current;
        LoadPosition(c.name, p);
        EXPECT_EQ(p.Left, c.expected.Left) << c.name;
        EXPECT_EQ(p.Top, c.expected.Top) << c.name;
        EXPECT_EQ(p.Height, c.expected.Height) << c.name;
        EXPECT_EQ(p.Width, c.expected.Width) << c.name;
        EXPECT_EQ(p.Maximized, c.expected.Maximized) << c.name;
    }

    // Saving maximized after a normal save keeps the normal place.
    SavePosition("Main", {0, 0, 1, 1, false}, true, true);
    TPosRec p;
    LoadPosition("Main", p);
    EXPECT_EQ(p.Left, 10);
    EXPECT_EQ(p.Width, 561);
    EXPECT_TRUE(p.Maximized);

    // A column key holds Maximized 0 and Width, nothing else.
    EXPECT_EQ(registry::valueNames(kPos + "Book\\Columns\\Section0"),
              (std::vector<AnsiString>{"Maximized", "Width"}));
    EXPECT_EQ(registry::readDword(kPos + "Book\\Columns\\Section0", "Maximized"), 0u);
}

TEST(Position, NothingStoredAndWrongTypesKeepTheWindowsOwnValues)
{
    TPosRec p{7, 8, 9, 10, true};
    LoadPosition("Never", p);
    EXPECT_EQ(p.Left, 7);
    EXPECT_EQ(p.Width, 10);
    EXPECT_FALSE(p.Maximized);  // always reset

    registry::writeString(kPos + "Odd", "Left", "100");
    registry::writeString(kPos + "Odd", "Maximized", "1");
    registry::writeDword(kPos + "Odd", "Top", 42);
    TPosRec q{1, 2, 3, 4, false};
    LoadPosition("Odd", q);
    EXPECT_EQ(q.Left, 1);
    EXPECT_EQ(q.Top, 42);
    EXPECT_FALSE(q.Maximized);
}

class DialerHandle : public ::testing::Test {
protected:
    void SetUp() override
    {
        registry::deleteKey(DialerKey);
        // A folder whose name has a blank, as "Program Files" has.
        folder = testenv::makeDir("Orv Dialer " + std::to_string(counter++));
        program = folder + "/OrvDialer";
        QFile::copy(FAKE_DIALER, QString::fromStdString(program));
        QFile(QString::fromStdString(program)).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    }
    static void setDelay(int ms) { setenv("ORV_FAKE_DIALER_DELAY_MS", std::to_string(ms).c_str(), 1); }

    std::string folder;
    std::string program;
    static inline int counter = 0;
};

TEST_F(DialerHandle, StartsTheDialerFromItsPathAndWaitsForItsHandle)
{
    registry::writeString(DialerKey, "Path", program);
    setDelay(150);
    setenv("ORV_FAKE_DIALER_HANDLE", "0x00012345", 1);
    EXPECT_EQ(GetDialerHandle(), 0x00012345u);
    EXPECT_EQ(registry::readString(DialerKey, "StartedIn"), folder);  // its own folder
    EXPECT_EQ(registry::readDword(DialerKey, "Arguments"), 0u);      // the path is no command line

    // Now it runs: the handle is returned at once.
    EXPECT_EQ(GetDialerHandle(), 0x00012345u);
}

// The dialer stores the path of its own program, which may lie in a folder
// whose name cp1251 cannot spell; the pager still finds and starts it.
TEST_F(DialerHandle, APathOfAnyBytesStartsTheDialer)
{
    for (const char* name : {"jos\xC3\xA9 ", "\xE6\x97\xA5\xE6\x9C\xAC ", "raw\xE9\xFF "}) {
        SCOPED_TRACE(name);
        registry::deleteKey(DialerKey);
        // Made byte for byte (Qt would not keep a name that is no UTF-8).
        const std::string dir = testenv::root() + "/" + name + std::to_string(counter++);
        const std::string path = dir + "/OrvDialer";
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        std::filesystem::copy_file(FAKE_DIALER, path);
        ASSERT_EQ(chmod(path.c_str(), 0500), 0);
        registry::writePath(DialerKey, "Path", path);
        setDelay(0);
        setenv("ORV_FAKE_DIALER_HANDLE", "0x00023456", 1);
        EXPECT_EQ(GetDialerHandle(), 0x00023456u);
        unlink(path.c_str());
        rmdir(dir.c_str());
    }
}

TEST_F(DialerHandle, ZeroWhenTheDialerIsTooSlowOrMissing)
{
    EXPECT_EQ(GetDialerHandle(), 0u);  // no Dialer key at all

    registry::writeString(DialerKey, "Path", folder + "/missing");
    EXPECT_EQ(GetDialerHandle(), 0u);

    registry::writeString(DialerKey, "Path", program);
    setDelay(2500);
    EXPECT_EQ(GetDialerHandle(), 0u);
    // Let the slow one finish before the folder goes.
    for (int i = 0; i < 40 && !registry::valueExists(DialerKey, "Handle"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

TEST(RunProgram, RefusesWhatCannotBeStarted)
{
    EXPECT_FALSE(RunProgram("", ""));
    EXPECT_FALSE(RunProgram(testenv::root() + "/no such program", testenv::root()));
    EXPECT_FALSE(RunProgram("/bin/true", testenv::root() + "/no such folder"));
    EXPECT_TRUE(RunProgram("/bin/true", testenv::root()));
}
