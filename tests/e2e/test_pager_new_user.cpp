// A new user's first run of the real Pager: from a program folder that holds
// only the shipped operators.dat and pagers.dat, everything is done through
// the windows with the mouse and the keyboard on a private X display: the
// SMTP server and the sender set in the options, a group added, a contact
// added by type, city, operator and number, a text sent to a real SMTP server
// at the operator's gateway. (Typed texts are Latin: xdotool types letters
// outside the display's keyboard map by remapping a key for each, which can
// lose a letter on a busy machine.) After a restart the group and the contact are
// there and a second text reaches the same gateway. The settings file it made
// is readable by the user alone.

#include "tests/e2e/desktop.h"

#include "platform/codepage.h"
#include "platform/registry.h"
#include "tests/support/smtp_peer.h"
#include "tests/support/testenv.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <filesystem>
#include <memory>
#include <sys/stat.h>

namespace {

const QString kTitle = "Orvanta Pager 3.6";
using mwtest::kWait;

// The windows of one running Pager on the display.
class Driver {
public:
    Driver(const e2e::Display& display, QProcess& pager) : display_(display), pager_(pager) {}

    bool run(const QStringList& args) const { return display_.xdotool(args); }
    // Waits for the window to show; its id, empty when it did not come.
    QString window(const QString& title) const
    {
        if (!display_.waitForWindow(title, kWait)) return {};
        return display_.visibleWindows(title).value(0);
    }
    // A dialog: shown and given the keyboard.
    QString dialog(const QString& title) const
    {
        const QString id = window(title);
        return !id.isEmpty() && focused(id) ? id : QString();
    }
    // Waits until keys go to the window: what is typed before would go elsewhere.
    bool focused(const QString& id) const
    {
        return waitFor([&] {
            QString out;
            return display_.xdotool({"getwindowfocus"}, &out) && out.trimmed() == id;
        });
    }
    bool gone(const QString& title) const
    {
        return waitFor([&] { return display_.visibleWindows(title).isEmpty(); });
    }
    // The number of the program's visible windows (a menu is one).
    int windows() const
    {
        QString out;
        display_.xdotool({"search", "--onlyvisible", "--pid", QString::number(pager_.processId())}, &out);
        return static_cast<int>(out.split('\n', Qt::SkipEmptyParts).size());
    }
    bool click(const QString& id, int x, int y, int repeat = 1) const
    {
        return run({"mousemove", "--window", id, QString::number(x), QString::number(y)}) &&
               run({"click", "--repeat", QString::number(repeat), "--delay", "80", "1"});
    }
    bool type(const QString& text) const { return run({"type", "--delay", "30", text}); }
    bool key(const QStringList& keys) const { return run(QStringList{"key", "--delay", "60"} + keys); }

    template <class F>
    static bool waitFor(F condition)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < kWait) {
            if (condition()) return true;
            QThread::msleep(50);
        }
        return condition();
    }

private:
    const e2e::Display& display_;
    QProcess& pager_;
};

// An SMTP server on a loopback address of its own with a port the options
// dialog can hold (at most four digits).
std::unique_ptr<mwtest::SmtpServer> serverWithShortPort()
{
    auto* rng = QRandomGenerator::global();
    for (int attempt = 0; attempt < 20; ++attempt) {
        const std::string host = "127." + std::to_string(rng->bounded(1, 255)) + "." +
                                 std::to_string(rng->bounded(0, 256)) + "." + std::to_string(rng->bounded(1, 255));
        auto server = std::make_unique<mwtest::SmtpServer>("accept", rng->bounded(1025, 10000), host);
        if (server->port() != 0) return server;
    }
    return nullptr;
}

// Window-relative places of the main window's controls in its first-run layout.
constexpr int kOptionsX = 499, kOptionsY = 413;    // sbOptions
constexpr int kGroupsX = 264, kGroupsY = 105;      // tbAddrBook
constexpr int kListX = 125, kListY = 200;          // lvAddr, below its rows
constexpr int kRowX = 80, kRowY = 143;             // lvAddr, its first row
constexpr int kTextX = 141, kTextY = 324;          // mText
constexpr int kSendX = 101, kSendY = 413;          // bSend
// In the options dialog: the tab "Подключение" and the edit eFromName on it.
constexpr int kConnectTabX = 121, kConnectTabY = 18;
constexpr int kFromNameX = 321, kFromNameY = 65;
// The edits eGroup of the group dialog and eName of the contact dialog.
constexpr int kGroupNameX = 136, kGroupNameY = 46;
constexpr int kNameX = 212, kNameY = 34;

// The first contact checked by a double click on its row, the text typed
// into the message box, the send button pressed.
bool sendToFirstRow(const Driver& ui, const QString& main, const QString& text)
{
    return ui.click(main, kRowX, kRowY, 2) && ui.click(main, kTextX, kTextY) && ui.type(text) &&
           ui.click(main, kSendX, kSendY);
}

bool waitForMails(const mwtest::SmtpServer& server, size_t count)
{
    return Driver::waitFor([&] { return server.mails().size() >= count; });
}

TEST(PagerNewUser, SetsUpAndSendsThroughItsWindowsAlone)
{
    e2e::Display display;
    if (display.name().isEmpty()) GTEST_SKIP() << "Xvfb could not start";
    const auto server = serverWithShortPort();
    ASSERT_NE(server, nullptr) << "no SMTP server could listen";

    e2e::PagerInstall install("new-user");
    for (const char* f : {"operators.dat", "pagers.dat"})
        std::filesystem::copy_file(std::string(ORV_SOURCE_DIR) + "/data/" + f, install.file(f));
    registry::deleteKey("Software\\Kestrane\\Pager");

    auto pager = install.start(display);
    {
        Driver ui(display, *pager);
        const QString main = ui.window(kTitle);
        ASSERT_FALSE(main.isEmpty());

        // Options: the sender and the SMTP server, in the tab order of the page.
        ASSERT_TRUE(ui.click(main, kOptionsX, kOptionsY));
        const QString options = ui.dialog(QString::fromUtf8("Настройка программы"));
        ASSERT_FALSE(options.isEmpty());
        ASSERT_TRUE(ui.click(options, kConnectTabX, kConnectTabY));
        ASSERT_TRUE(ui.click(options, kFromNameX, kFromNameY));
        for (const QString& value : {QString("Ivan Petrov"), QString("me@example.com"),
                                     QString::fromStdString(server->host()), QString::number(server->port())}) {
            ASSERT_TRUE(ui.key({"ctrl+a"}));
            ASSERT_TRUE(ui.type(value));
            ASSERT_TRUE(ui.key({"Tab"}));
        }
        ASSERT_TRUE(ui.key({"Return"}));  // OK
        ASSERT_TRUE(ui.gone(QString::fromUtf8("Настройка программы")));

        // A group through the group menu.
        ASSERT_TRUE(ui.click(main, kGroupsX, kGroupsY));
        ASSERT_TRUE(Driver::waitFor([&] { return ui.windows() == 2; })) << "the group menu did not open";
        ASSERT_TRUE(ui.key({"Down", "Return"}));
        const QString group = ui.dialog(QString::fromUtf8("Новая группа"));
        ASSERT_FALSE(group.isEmpty());
        ASSERT_TRUE(ui.click(group, kGroupNameX, kGroupNameY));
        ASSERT_TRUE(ui.type("Friends"));
        ASSERT_TRUE(ui.key({"Return"}));
        ASSERT_TRUE(ui.gone(QString::fromUtf8("Новая группа")));

        // A contact with the Insert key: name, then type SMS, the second city
        // (Новосибирск) with its operator, and the number.
        ASSERT_TRUE(ui.click(main, kListX, kListY));
        ASSERT_TRUE(ui.key({"Insert"}));
        const QString contact = ui.dialog(QString::fromUtf8("Добавить запись"));
        ASSERT_FALSE(contact.isEmpty());
        ASSERT_TRUE(ui.click(contact, kNameX, kNameY));
        ASSERT_TRUE(ui.type("Kolya"));
        ASSERT_TRUE(ui.key({"Tab", "Tab", "Tab", "Down", "Tab", "Down", "Tab", "Tab", "Tab"}));
        ASSERT_TRUE(ui.type("9131234567"));
        ASSERT_TRUE(ui.key({"Return"}));
        ASSERT_TRUE(ui.gone(QString::fromUtf8("Добавить запись")));

        // The contact checked, a text typed and sent.
        ASSERT_TRUE(sendToFirstRow(ui, main, "Hello"));
        ASSERT_TRUE(waitForMails(*server, 1)) << "nothing was sent";
    }
    const auto first = server->mails();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].envelope, (std::vector<std::string>{"me@example.com", "9131234567@sms.ob.example.org"}));

    pager->terminate();
    ASSERT_EQ(e2e::waitForExit(*pager, kWait), 0);
    // The settings the program made hold the mailbox password: the user's alone.
    struct stat settings {};
    ASSERT_EQ(::stat(install.file("pager.ini").c_str(), &settings), 0);
    EXPECT_EQ(settings.st_mode & 07777, 0600u);
    const std::string book = testenv::readFile(install.file("book.dat"));
    EXPECT_NE(book.find(std::string("[Friends]\r\n")), std::string::npos) << codepage::toUtf8(book);
    // The model is the first SMS model, the one the dialog chose.
    EXPECT_NE(book.find(codepage::fromUtf8("Kolya=9131234567@sms.ob.example.org,,,Телефон SMS\r\n")),
              std::string::npos)
        << codepage::toUtf8(book);

    // After a restart the contact is there: checked in its row, it gets a second text.
    pager = install.start(display);
    {
        Driver ui(display, *pager);
        const QString main = ui.window(kTitle);
        ASSERT_FALSE(main.isEmpty());
        ASSERT_TRUE(sendToFirstRow(ui, main, "Second"));
        ASSERT_TRUE(waitForMails(*server, 2)) << "nothing was sent after the restart";
    }
    const auto both = server->mails();
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1].envelope, first[0].envelope);
    pager->terminate();
    EXPECT_EQ(e2e::waitForExit(*pager, kWait), 0);
}

}  // namespace
