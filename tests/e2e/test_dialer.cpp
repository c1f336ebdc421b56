// The real OrvDialer on a private X display: its start and end as a user
// sees them, and together with the real Pager on loopback: a send that finds
// no server asks the dialer for the line; the first number is busy, the
// redial connects, the server comes up with the line, the message goes out
// and the pager has the line hung up. And the same with the send given up
// while the dialer waits to redial: the line never comes up. And its menu
// where the display has no notification area.

#include "tests/e2e/desktop.h"

#include "common/dialerkey.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "platform/userdirs.h"
#include "tests/support/smtp_peer.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <filesystem>
#include <functional>
#include <sys/stat.h>

using testenv::cp;

namespace {

const QString kDialerTitle = "Orvanta Dialer 1.3";
const QString kPagerTitle = "Orvanta Pager 3.6";
const char* const kDialerKey = DialerKey;
using mwtest::kWait;

std::unique_ptr<QProcess> startDialer(const e2e::Display& display)
{
    // The dialer makes its own folder current.
    return e2e::startProgram(display, QString::fromStdString(testenv::binDir() + "/OrvDialer"));
}

// The phonebook of the dialer: one entry whose number 5550001 is busy, whose
// other numbers connect; what it runs when the line comes up and goes down
// leaves marks in Folder.
void writePhonebook(const std::string& folder)
{
    const std::string signal = std::string(ORV_SOURCE_DIR) + "/tests/e2e/line_signal.py";
    const std::string text = "[Провайдер]\r\nNumber=5551234\r\nUserName=ivanov\r\nStepTime=200\r\n"
                             "HangUpTime=300\r\nClientIP=192.0.2.77\r\nLine.5550001=busy\r\n"
                             "OnUp=/usr/bin/python3 \"" + signal + "\" \"" + folder + "\" up\r\n"
                             "OnDown=/usr/bin/python3 \"" + signal + "\" \"" + folder + "\" down\r\n";
    std::filesystem::create_directories(userdirs::configDir());
    testenv::writeFile(userdirs::configDir() + "/phonebook.ini", cp(text.c_str()));
}

std::string events(const std::string& folder)
{
    const std::string path = folder + "/events";
    return testenv::fileExists(path) ? testenv::readFile(path) : std::string();
}

// The two programs, the line's marks and the SMTP port that nothing serves
// until the line is up.
class DialerAndPager : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
        registry::deleteKey("Software\\Kestrane");
        port = mwtest::freePort();
        ASSERT_NE(port, 0);
        static int run = 0;
        marks = testenv::makeDir("line-marks-" + std::to_string(++run));
        writePhonebook(marks);
        // The first number is busy; the second connects.
        registry::writeValues(std::string(kDialerKey) + "\\Entries\\" + cp("Провайдер"),
                              {{"5550001", 1u}, {"5551234", 1u}});

        for (const char* f : {"book.dat", "operators.dat", "pagers.dat"})
            std::filesystem::copy_file(std::string(ORV_FIXTURES) + "/mainwin/" + f, install.file(f),
                                       std::filesystem::copy_options::overwrite_existing);
        testenv::writeFile(install.file("pager.ini"), "[Connect]\r\nHost=127.0.0.1\r\nPort=" + std::to_string(port) +
                                                          "\r\nFromAddress=me@example.com\r\nUseOrvDialer=1\r\n"
                                                          "[Message]\r\nFullText=0\r\n");

        dialer = startDialer(display);
        ASSERT_TRUE(display.waitForWindow(kDialerTitle, kWait));
        ASSERT_TRUE(e2e::waitUntil([] { return registry::readDword(kDialerKey, "Handle").has_value(); }, kWait));
        pager = install.start(display);
        ASSERT_TRUE(display.waitForWindow(kPagerTitle, kWait));
        pagerId = display.visibleWindows(kPagerTitle).value(0);
        ASSERT_FALSE(pagerId.isEmpty());
    }

    void TearDown() override
    {
        for (QProcess* p : {pager.get(), dialer.get()}) {
            if (!p) continue;
            p->terminate();
            EXPECT_EQ(e2e::waitForExit(*p, kWait), 0);
        }
    }

    bool clickAt(int x, int y, int repeat = 1)
    {
        return display.xdotool({"mousemove", "--window", pagerId, QString::number(x), QString::number(y)}) &&
               display.xdotool({"click", "--repeat", QString::number(repeat), "--delay", "80", "1"});
    }

    // The first contact checked, the text typed, the send button pressed
    // (window-relative places of the form's layout).
    void send(const char* text)
    {
        ASSERT_TRUE(clickAt(80, 143, 2));
        ASSERT_TRUE(clickAt(140, 320));
        ASSERT_TRUE(display.xdotool({"type", "--delay", "20", text}));
        ASSERT_TRUE(clickAt(100, 413));
    }

    e2e::Display display;
    e2e::PagerInstall install{std::string("with-dialer-") +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name()};
    int port = 0;
    std::string marks;
    std::unique_ptr<QProcess> dialer;
    std::unique_ptr<QProcess> pager;
    QString pagerId;
};

}  // namespace

TEST(Dialer, StartsShowsItsWindowAndLeavesItsValuesAtTheEnd)
{
    e2e::Display display;
    if (display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    registry::deleteKey("Software\\Kestrane");
    const std::string marks = testenv::makeDir("start-marks");
    writePhonebook(marks);
    auto dialer = startDialer(display);
    ASSERT_TRUE(display.waitForWindow(kDialerTitle, kWait));
    ASSERT_TRUE(e2e::waitUntil([] { return registry::readDword(kDialerKey, "Handle").has_value(); }, kWait));

    dialer->terminate();  // as at a logout
    EXPECT_EQ(e2e::waitForExit(*dialer, kWait), 0);
    EXPECT_FALSE(registry::valueExists(kDialerKey, "Handle"));
    EXPECT_EQ(registry::readString(kDialerKey, "Path"), testenv::binDir() + "/OrvDialer");
    EXPECT_EQ(registry::readDword(std::string(kDialerKey) + "\\Entries\\" + cp("Провайдер"), "5551234"), 1u);
}

// A FIFO nobody writes to in place of the registry file holds up nothing:
// the window comes, the FIFO is kept aside, and the settings start afresh.
TEST(Dialer, AFifoAsTheRegistryFileHoldsUpNothingAndIsKeptAside)
{
    e2e::Display display;
    if (display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    const std::string store = userdirs::configDir() + "/registry.reg";
    const std::string kept = store + ".bad";
    writePhonebook(testenv::makeDir("fifo-marks"));
    std::filesystem::remove(store);
    std::filesystem::remove(kept);
    ASSERT_EQ(::mkfifo(store.c_str(), 0600), 0);
    auto dialer = startDialer(display);
    ASSERT_TRUE(display.waitForWindow(kDialerTitle, kWait));
    EXPECT_TRUE(std::filesystem::is_fifo(kept));
    dialer->terminate();
    EXPECT_EQ(e2e::waitForExit(*dialer, kWait), 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(store));
    EXPECT_EQ(registry::readString(kDialerKey, "Path"), testenv::binDir() + "/OrvDialer");
    std::filesystem::remove(kept);
}

TEST(Dialer, ItsPathIsStoredAsTheFileSystemHoldsItWhateverTheFolderIsCalled)
{
    e2e::Display display;
    if (display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    registry::deleteKey("Software\\Kestrane");
    registry::writeDword(kDialerKey, "AutoRun", 1);
    // Letters Windows-1251 has and letters it has not.
    const std::string folder = testenv::makeDir("Звонилка josé ☃");
    for (const char* f : {"OrvDialer", "rasapi32.so"})
        std::filesystem::copy_file(testenv::binDir() + "/" + f, folder + "/" + f,
                                   std::filesystem::copy_options::overwrite_existing);
    auto dialer = e2e::startProgram(display, QString::fromStdString(folder + "/OrvDialer"));
    ASSERT_EQ(dialer->state(), QProcess::Running);
    ASSERT_TRUE(display.waitForWindow(kDialerTitle, kWait));
    dialer->terminate();
    EXPECT_EQ(e2e::waitForExit(*dialer, kWait), 0);
    EXPECT_EQ(registry::readPath(kDialerKey, "Path"), folder + "/OrvDialer");
    EXPECT_EQ(registry::readPath(registry::RunKey, "OrvDialer"), folder + "/OrvDialer");
}

// A bare X display has no notification area: the icon's menu opens from a
// right-click on the window, and its last item, "Выход", ends the program.
TEST(Dialer, WithoutANotificationAreaItsMenuOpensFromTheWindow)
{
    e2e::Display display;
    if (display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    registry::deleteKey("Software\\Kestrane");
    writePhonebook(testenv::makeDir("menu-marks"));
    auto dialer = startDialer(display);
    ASSERT_TRUE(display.waitForWindow(kDialerTitle, kWait));
    const QString window = display.visibleWindows(kDialerTitle).value(0);
    ASSERT_FALSE(window.isEmpty());
    auto shown = [&] {
        QString out;
        display.xdotool({"search", "--onlyvisible", "--pid", QString::number(dialer->processId())}, &out);
        return out.split('\n', Qt::SkipEmptyParts).size();
    };
    ASSERT_EQ(shown(), 1);

    // The statistics group, below the entry's controls.
    ASSERT_TRUE(display.xdotool({"mousemove", "--window", window, "250", "185"}));
    ASSERT_TRUE(display.xdotool({"click", "3"}));
    ASSERT_TRUE(e2e::waitUntil([&] { return shown() == 2; }, kWait));
    ASSERT_TRUE(display.xdotool({"key", "Up", "Return"}));
    EXPECT_EQ(e2e::waitForExit(*dialer, kWait), 0);
}

TEST_F(DialerAndPager, ASendWaitsForTheLineThroughABusyAttemptAndTheLineGoesWhenItIsDone)
{
    if (display.name().isEmpty()) GTEST_SKIP();
    send("Hello over the line");

    // The busy attempt ends (the dialer stores its options), then the redial
    // brings the line up: the server starts with it.
    ASSERT_TRUE(e2e::waitUntil([&] { return events(marks) == "up\n"; }, 3 * kWait));
    mwtest::SmtpServer server("accept", port);
    ASSERT_EQ(server.port(), port);
    testenv::writeFile(marks + "/ready", "");

    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.mails().empty(); }, 2 * kWait));
    const auto mails = server.mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].envelope, std::vector<std::string>({"me@example.com", "12345@pager.example.net"}));
    // The mail carries the moment of its send; the rest is known byte for byte.
    std::string content = mails[0].content;
    const size_t date = content.find("\r\nDate: ");
    ASSERT_NE(date, std::string::npos) << content;
    const size_t dateEnd = content.find("\r\n", date + 2);
    const QString sentAt = QString::fromStdString(content.substr(date + 8, dateEnd - date - 8));
    EXPECT_TRUE(QDateTime::fromString(sentAt, Qt::RFC2822Date).isValid()) << sentAt.toStdString();
    content.erase(date, dateEnd - date);
    EXPECT_EQ(content, "From: Your Name<me@example.com>\r\n"
                       "To: 12345@pager.example.net\r\n"
                       "X-Mailer: Orvanta Pager 3.6\r\n"
                       "Mime-Version: 1.0\r\n"
                       "Content-Type: text/plain; charset=koi8-r\r\n"
                       "\r\n"
                       "\r\n"
                       "Hello over the line\r\n");

    // Done: the pager asks the dialer to hang up, and the line goes.
    EXPECT_TRUE(e2e::waitUntil([&] { return events(marks) == "up\ndown\n"; }, kWait));
    EXPECT_EQ(server.connections(), 1);
}

TEST_F(DialerAndPager, ASendGivenUpAfterTheBusyAttemptNeverBringsTheLineUp)
{
    if (display.name().isEmpty()) GTEST_SKIP();
    registry::deleteValue(kDialerKey, "Path");
    send("Never sent");
    // The dialer stores its options when the busy attempt has ended.
    ASSERT_TRUE(e2e::waitUntil([] { return registry::readString(kDialerKey, "Path").has_value(); }, kWait));
    ASSERT_TRUE(clickAt(240, 413));  // "Очистить" (or "Отмена" while the send waits)
    // A server is there now, should anything still try to send.
    mwtest::SmtpServer server("accept", port);
    ASSERT_EQ(server.port(), port);
    testenv::writeFile(marks + "/ready", "");
    // The redial was due 5 s after the busy attempt; the line never comes up
    // and nothing is sent.
    QThread::msleep(9000);
    EXPECT_EQ(events(marks), "");
    EXPECT_EQ(server.connections(), 0);
    EXPECT_TRUE(server.mails().empty());
}
