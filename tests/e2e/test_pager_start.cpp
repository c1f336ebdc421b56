// The Pager program started for real: its first run, and the single-copy rule
// between real processes.

#include "tests/e2e/desktop.h"

#include "platform/atoms.h"
#include "platform/registry.h"
#include "tests/support/expected_ini.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>

namespace {

const QString kTitle = "Orvanta Pager 3.6";
constexpr int kWait = 15000;

class PagerStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    }
    void TearDown() override
    {
        for (auto& p : running) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }
    // Starts a copy that is meant to keep running and waits for it to register.
    QProcess* startRunning(const QString& word = {})
    {
        running.push_back(install.start(display, word));
        return running.back().get();
    }
    // The window's state as the window manager is told it (_NET_WM_STATE).
    QString windowState(const QString& id) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display.name());
        p.setProcessEnvironment(env);
        p.start("xprop", {"-id", id, "_NET_WM_STATE"});
        p.waitForFinished(5000);
        return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
    }
    static uint32_t handle() { return registry::readDword("Software\\Kestrane\\Pager", "Handle").value_or(0); }
    static bool waitForHandle(bool nonZero)
    {
        for (int i = 0; i < kWait / 50; ++i) {
            if ((handle() != 0) == nonZero) return true;
            QThread::msleep(50);
        }
        return false;
    }
    void terminate(QProcess* p)
    {
        p->terminate();
        EXPECT_EQ(e2e::waitForExit(*p, kWait), 0);
    }

    e2e::Display display;
    e2e::PagerInstall install{::testing::UnitTest::GetInstance()->current_test_info()->name()};
    std::vector<std::unique_ptr<QProcess>> running;
};

}  // namespace

TEST_F(PagerStart, FirstRunWithoutDataFilesShowsTheWindowAndSavesDefaults)
{
    QProcess* p = startRunning();
    ASSERT_TRUE(display.waitForWindow(kTitle, kWait));
    // Without pager.ini the single-copy rule is off for this start.
    EXPECT_EQ(atoms::globalFindAtom("Orvanta Pager 3.6"), 0);
    terminate(p);
    // Every key with its default, but BookIndex: with no book.dat no group is
    // shown, which is saved as -1.
    std::string expected = testenv::defaultPagerIni();
    expected.replace(expected.find("BookIndex=0"), 11, "BookIndex=-1");
    EXPECT_EQ(testenv::readFile(install.file("pager.ini")), expected);
}

// A FIFO nobody writes to in place of pager.ini holds up nothing: the window
// comes on the defaults, and the FIFO is still there after the end.
TEST_F(PagerStart, AFifoAsTheSettingsHoldsUpNothingAndStays)
{
    ASSERT_EQ(::mkfifo(install.file("pager.ini").c_str(), 0600), 0);
    QProcess* p = startRunning();
    ASSERT_TRUE(display.waitForWindow(kTitle, kWait));
    p->terminate();
    EXPECT_NE(e2e::waitForExit(*p, kWait), -1);
    EXPECT_TRUE(std::filesystem::is_fifo(install.file("pager.ini")));
}

TEST_F(PagerStart, SecondCopyEndsAtOnceAndMarksGoAtNormalExit)
{
    testenv::writeFile(install.file("pager.ini"), "[Run]\r\nRunOneCopy=1\r\n");
    QProcess* first = startRunning();
    ASSERT_TRUE(display.waitForWindow(kTitle, kWait));
    ASSERT_TRUE(waitForHandle(true));
    EXPECT_NE(handle() & 0xFFFF, 0u);
    EXPECT_NE(atoms::globalFindAtom("orvanta pager 3.6"), 0);

    auto second = install.start(display);
    EXPECT_EQ(e2e::waitForExit(*second, kWait), 0);
    EXPECT_EQ(display.visibleWindows(kTitle).size(), 1);

    terminate(first);
    EXPECT_EQ(handle(), 0u);
    EXPECT_TRUE(registry::valueExists("Software\\Kestrane\\Pager", "Handle"));
    EXPECT_EQ(atoms::globalFindAtom("Orvanta Pager 3.6"), 0);
}

TEST_F(PagerStart, StartWithTRemovesTheMarkOfACrashedCopy)
{
    testenv::writeFile(install.file("pager.ini"), "[Run]\r\nRunOneCopy=1\r\n");
    QProcess* crashed = startRunning();
    ASSERT_TRUE(waitForHandle(true));
    ASSERT_TRUE(display.waitForWindow(kTitle, kWait));
    crashed->kill();  // SIGKILL: the marks stay
    crashed->waitForFinished(kWait);
    ASSERT_NE(handle(), 0u);

    for (int i = 0; i < 2; ++i) {  // refused, again and again
        auto refused = install.start(display);
        EXPECT_EQ(e2e::waitForExit(*refused, kWait), 0);
    }
    EXPECT_NE(atoms::globalFindAtom("Orvanta Pager 3.6"), 0);

    // "T" deletes the atom and still ends, since Handle is not 0.
    auto cleaner = install.start(display, "-t");
    EXPECT_EQ(e2e::waitForExit(*cleaner, kWait), 0);
    EXPECT_EQ(atoms::globalFindAtom("Orvanta Pager 3.6"), 0);

    QProcess* next = startRunning();
    EXPECT_TRUE(display.waitForWindow(kTitle, kWait));
    EXPECT_NE(atoms::globalFindAtom("Orvanta Pager 3.6"), 0);
    terminate(next);
}

// The display of the tests has no notification area: a start that keeps the
// window hidden shows it minimized instead, so that it can be reached.
TEST_F(PagerStart, MinimizedKeepsTheWindowFromShowingInEverySpelling)
{
    testenv::writeFile(install.file("pager.ini"), "[Run]\r\nRunOneCopy=1\r\n");
    struct Case {
        const char* word;
        bool shown;
    } cases[] = {
        {"MINIMIZED", false}, {"minimized", false}, {"-Minimized", false}, {"/mInImIzEd", false},
        {"--minimized", true}, {"minimized!", true}, {"t", true},
    };
    for (const Case& c : cases) {
        QProcess* p = startRunning(c.word);
        ASSERT_TRUE(waitForHandle(true)) << c.word;  // written once the window was made
        EXPECT_TRUE(display.waitForWindow(kTitle, kWait)) << c.word;
        const QStringList windows = display.visibleWindows(kTitle);
        ASSERT_EQ(windows.size(), 1) << c.word;
        EXPECT_EQ(windowState(windows.front()).contains("_NET_WM_STATE_HIDDEN"), !c.shown)
            << c.word << ": " << windowState(windows.front()).toStdString();
        terminate(p);
        ASSERT_TRUE(waitForHandle(false));
    }
}

TEST_F(PagerStart, WindowComesBackAtTheSamePlaceAndSize)
{
    auto geometry = [&](const QString& id) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display.name());
        p.setProcessEnvironment(env);
        p.start("xdotool", {"getwindowgeometry", "--shell", id});
        p.waitForFinished(5000);
        return QString::fromLatin1(p.readAllStandardOutput()).split('\n').filter(QRegularExpression("^(X|Y|WIDTH|HEIGHT)="));
    };
    auto xdotool = [&](const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display.name());
        p.setProcessEnvironment(env);
        p.start("xdotool", args);
        p.waitForFinished(5000);
    };

    QProcess* first = startRunning();
    ASSERT_TRUE(display.waitForWindow(kTitle, kWait));
    const QString id = display.visibleWindows(kTitle).front();
    xdotool({"windowmove", id, "140", "90"});
    xdotool({"windowsize", id, "700", "620"});
    QThread::msleep(300);
    const QStringList before = geometry(id);
    terminate(first);

    QProcess* second = startRunning();
    ASSERT_TRUE(display.waitForWindow(kTitle, kWait));
    QThread::msleep(300);
    EXPECT_EQ(geometry(display.visibleWindows(kTitle).front()), before);
    EXPECT_TRUE(before.contains("X=140")) << before.join(' ').toStdString();
    EXPECT_TRUE(before.contains("WIDTH=700")) << before.join(' ').toStdString();
    terminate(second);
}
