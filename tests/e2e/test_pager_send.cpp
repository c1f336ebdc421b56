// The real Pager sends through its window, driven with the mouse and the
// keyboard on a private X display, against a real SMTP server that stalls;
// the program is then asked to end (as at a logout) in the middle of the
// send: it must end cleanly and leave its files whole.

#include "tests/e2e/desktop.h"

#include "platform/codepage.h"
#include "platform/registry.h"
#include "tests/support/smtp_peer.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QThread>

#include <filesystem>

namespace {

const QString kTitle = "Orvanta Pager 3.6";
using mwtest::kWait;

}  // namespace

TEST(PagerSend, EndingInTheMiddleOfAStalledSendLeavesEverythingWhole)
{
    e2e::Display display;
    if (display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    mwtest::SmtpServer server("stall");
    ASSERT_NE(server.port(), 0);

    e2e::PagerInstall install("send-close");
    for (const char* f : {"book.dat", "operators.dat", "pagers.dat"})
        std::filesystem::copy_file(std::string(ORV_FIXTURES) + "/mainwin/" + f, install.file(f));
    const std::string book = testenv::readFile(install.file("book.dat"));
    testenv::writeFile(install.file("pager.ini"), "[Connect]\r\nHost=127.0.0.1\r\nPort=" +
                                                      std::to_string(server.port()) +
                                                      "\r\nFromAddress=me@example.com\r\n"
                                                      "[Message]\r\nFullText=0\r\n");
    registry::deleteKey("Software\\Kestrane\\Pager");

    auto pager = install.start(display);
    ASSERT_TRUE(display.waitForWindow(kTitle, kWait));
    const QString id = display.visibleWindows(kTitle).value(0);
    ASSERT_FALSE(id.isEmpty());
    // The first contact is checked by a double click on its row, the text
    // typed into the message box, the send button pressed (window-relative
    // places of the form's layout).
    auto clickAt = [&](int x, int y, int repeat) {
        return display.xdotool({"mousemove", "--window", id, QString::number(x), QString::number(y)}) &&
               display.xdotool({"click", "--repeat", QString::number(repeat), "--delay", "80", "1"});
    };
    ASSERT_TRUE(clickAt(80, 143, 2));
    ASSERT_TRUE(clickAt(140, 320, 1));
    ASSERT_TRUE(display.xdotool({"type", "--delay", "20", "Hello"}));
    ASSERT_TRUE(clickAt(100, 413, 1));

    for (int i = 0; i < kWait / 50 && server.connections() < 1; ++i) QThread::msleep(50);
    ASSERT_EQ(server.connections(), 1) << "the send did not start";
    QThread::msleep(300);  // well inside the mail transaction, which never ends

    pager->terminate();
    EXPECT_EQ(e2e::waitForExit(*pager, kWait), 0);
    EXPECT_TRUE(display.visibleWindows(kTitle).isEmpty());
    EXPECT_EQ(server.connections(), 1);

    // Everything was saved; the book is as it was (its rows were not changed).
    const std::string ini = testenv::readFile(install.file("pager.ini"));
    EXPECT_NE(ini.find("[Main]\r\n"), std::string::npos);
    EXPECT_NE(ini.find("Port=" + std::to_string(server.port()) + "\r\n"), std::string::npos);
    const std::string after = testenv::readFile(install.file("book.dat"));
    for (const char* contact : {"Иван=", "Пётр=", "Анна=", "Ёлка=", "Шеф=", "Склад="})
        EXPECT_NE(after.find(codepage::fromUtf8(contact)), std::string::npos) << contact;
    EXPECT_EQ(after.size(), book.size());
    EXPECT_TRUE(registry::readDword("Software\\Kestrane\\Pager\\Position\\Main", "Width").has_value());
}
