// The real Pager updates its data files from a real HTTP server (python3
// http.server on port 80 of a loopback address of its own), driven with the
// mouse and the keyboard on a private X display: "Обновить базы данных",
// "Начать обновление", "Выход", the restart message; the program then ends,
// and the next start runs with the received files.

#include "tests/e2e/desktop.h"

#include "platform/codepage.h"
#include "platform/registry.h"
#include "tests/support/http_peer.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <filesystem>

namespace {

const QString kTitle = "Orvanta Pager 3.6";
const QString kDialogTitle = QString::fromUtf8("Обновление базы данных");
constexpr int kWait = httptest::kWait;

bool clickAt(const e2e::Display& display, const QString& window, int x, int y)
{
    return display.xdotool({"mousemove", "--window", window, QString::number(x), QString::number(y)}) &&
           display.xdotool({"click", "1"});
}

bool waitFor(const std::function<bool()>& condition)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > kWait) return false;
        QThread::msleep(50);
    }
    return true;
}

}  // namespace

TEST(PagerUpdate, ReceivedFilesEndTheProgramAndTheNextStartRunsWithThem)
{
    e2e::Display display;
    if (display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";

    const std::string served = testenv::makeDir("update-served") + "/";
    std::filesystem::create_directories(served + "pager/update");
    const std::string fixtures = std::string(ORV_FIXTURES) + "/mainwin/";
    const std::string newOperators =
        testenv::readFile(fixtures + "operators.dat") +
        testenv::cp("\r\n[Новый оператор (Тверь)]\r\nMailGate=###@new-op.example.net\r\n"
                    "Description=Новый оператор, тел. 000-00-09\r\n");
    testenv::writeFile(served + "pager/update/operators.dat", newOperators);
    testenv::writeFile(served + "pager/update/pagers.dat", "[Alpha]\r\nMaxSymbols=100\r\n");
    testenv::writeFile(served + "pager/update/update.lst",
                       "[Files]\r\noperators.dat=CHANGE\r\npagers.dat=UPDATE,25\r\nold.dat=DELETE\r\n");
    httptest::FolderServer server(served);
    if (!server.running()) GTEST_SKIP() << server.reason();

    e2e::PagerInstall install("update");
    for (const char* f : {"book.dat", "operators.dat", "pagers.dat"})
        std::filesystem::copy_file(fixtures + f, install.file(f));
    testenv::writeFile(install.file("old.dat"), "old");
    testenv::writeFile(install.file("pager.ini"), "[Connect]\r\nUseOrvDialer=0\r\n");
    testenv::writeFile(install.file("hosts.dat"), "[Main]\r\nurl=" + server.url("/pager/update") + "\r\n");
    registry::deleteKey("Software\\Kestrane\\Pager");

    auto pager = install.start(display);
    ASSERT_TRUE(display.waitForWindow(kTitle, kWait));
    const QString main = display.visibleWindows(kTitle).value(0);
    // "Обновить базы данных" in the tool panel (window-relative place of the
    // form's layout), then "Начать обновление" in the dialog.
    ASSERT_TRUE(clickAt(display, main, 363, 413));
    ASSERT_TRUE(display.waitForWindow(kDialogTitle, kWait));
    const QString dialog = display.visibleWindows(kDialogTitle).value(0);
    ASSERT_TRUE(clickAt(display, dialog, 83, 128));

    ASSERT_TRUE(waitFor([&] {
        return testenv::readFile(install.file("operators.dat")) == newOperators &&
               !testenv::fileExists(install.file("update.lst"));
    })) << "the files were not received";
    EXPECT_EQ(testenv::readFile(install.file("pagers.dat")), "[Alpha]\r\nMaxSymbols=100\r\n");
    EXPECT_FALSE(testenv::fileExists(install.file("old.dat")));
    EXPECT_EQ(server.requests(3), (std::vector<std::string>{"GET /pager/update/update.lst HTTP/1.0",
                                                             "GET /pager/update/operators.dat HTTP/1.0",
                                                             "GET /pager/update/pagers.dat HTTP/1.0"}));

    // "Выход": the restart message comes up (a second window with the
    // program's title); its OK ends the program.
    ASSERT_TRUE(clickAt(display, dialog, 351, 128));
    ASSERT_TRUE(waitFor([&] { return display.visibleWindows(kTitle).size() == 2; })) << "no restart message";
    ASSERT_TRUE(display.xdotool({"key", "Return"}));
    EXPECT_EQ(e2e::waitForExit(*pager, kWait), 0);
    EXPECT_TRUE(display.visibleWindows(kTitle).isEmpty());
    // It ended through its normal close: the options were saved.
    EXPECT_NE(testenv::readFile(install.file("pager.ini")).find("[Run]"), std::string::npos);

    // The next start runs with the received files.
    auto next = install.start(display);
    ASSERT_TRUE(display.waitForWindow(kTitle, kWait));
    next->terminate();
    EXPECT_EQ(e2e::waitForExit(*next, kWait), 0);
    EXPECT_EQ(testenv::readFile(install.file("operators.dat")), newOperators);
}

TEST(PagerUpdate, EndingTheProgramDuringAStalledDownloadKeepsTheOldFile)
{
    e2e::Display display;
    if (display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    // The list names one file, which comes in part and then never ends.
    std::atomic<bool> stalled{false};
    httptest::ScriptedHttp server([&](const std::string& request, scripted::Peer& peer) {
        if (httptest::ScriptedHttp::pathOf(request) == "/pager/update/update.lst") {
            peer.send(httptest::ScriptedHttp::reply(200, "[Files]\r\noperators.dat=CHANGE\r\n"));
            return;
        }
        peer.send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'x'));
        stalled = true;
        peer.stall();
    });
    if (!server.running()) GTEST_SKIP() << server.reason();

    e2e::PagerInstall install("update-stall");
    const std::string fixtures = std::string(ORV_FIXTURES) + "/mainwin/";
    for (const char* f : {"book.dat", "operators.dat", "pagers.dat"})
        std::filesystem::copy_file(fixtures + f, install.file(f));
    testenv::writeFile(install.file("pager.ini"), "[Connect]\r\nUseOrvDialer=0\r\n");
    testenv::writeFile(install.file("hosts.dat"), "[Main]\r\nurl=" + server.url("/pager/update") + "\r\n");
    registry::deleteKey("Software\\Kestrane\\Pager");

    auto pager = install.start(display);
    ASSERT_TRUE(display.waitForWindow(kTitle, kWait));
    ASSERT_TRUE(clickAt(display, display.visibleWindows(kTitle).value(0), 363, 413));
    ASSERT_TRUE(display.waitForWindow(kDialogTitle, kWait));
    ASSERT_TRUE(clickAt(display, display.visibleWindows(kDialogTitle).value(0), 83, 128));
    ASSERT_TRUE(waitFor([&] { return stalled.load(); })) << "the download did not start";

    // Asked to end, as at a logout: the download stops, the program closes.
    pager->terminate();
    EXPECT_EQ(e2e::waitForExit(*pager, kWait), 0);
    EXPECT_TRUE(display.visibleWindows(kTitle).isEmpty());
    EXPECT_EQ(testenv::readFile(install.file("operators.dat")), testenv::readFile(fixtures + "operators.dat"));
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(install.folder()))
        files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    // No part of the file stays, and the list went as after any run.
    EXPECT_EQ(files, (std::vector<std::string>{"Pager", "book.dat", "hosts.dat", "operators.dat", "pager.ini",
                                               "pagers.dat"}));
}
