// The main window's send-later queue against a real SMTP server, with the
// clock put where each case needs it: what is due, the three queue sends,
// queuing from the send button, deleting, and wait.dat after each change.

#include "pager/main/mainwin.h"

#include "pager/ini.h"
#include "pager/program.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "tests/pager_gui/test_mainwin_peers.h"
#include "tests/support/testenv.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimeEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testenv::cp;


struct Entry {
    const char* date;
    const char* to;
    const char* text;
};

// wait.dat as the program writes it.
std::string waitDat(const std::vector<Entry>& entries)
{
    std::string out;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i) out += "\r\n";
        out += "[Message" + std::to_string(i + 1) + "]\r\nDate=" + entries[i].date + "\r\nTo=" + cp(entries[i].to) +
               "\r\nText=" + cp(entries[i].text) + "\r\n";
    }
    return out;
}

// Latin texts: every contact's recoding leaves them as they are.
// The queue of most cases, with the clock at 10.12.2026 12:00:00.
const std::vector<Entry> kQueue = {
    {"09.12.2026 23:59", "Иван", "Yesterday|line two"},
    {"10.12.2026 12:00", "Пётр", "Right now"},
    {"10.12.2026 11:59", "Шеф", "Other group"},
    {"10.12.2026 25:99", "Анна", "Unreadable"},
    {"11.12.2026 10:00", "АННА", "Tomorrow"},
};

class MainWinQueue : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = mwtest::makeInstall("mainwin-queue");
        registry::deleteKey(mwtest::kDialerKey);
        setClock(QTime(12, 0, 0));
    }
    void TearDown() override
    {
        w.reset();
        registry::deleteKey(mwtest::kDialerKey);
        sysclock::setSource({});
        QLocale::setDefault(QLocale::system());
    }
    void setClock(QTime time)
    {
        const QDateTime at(QDate(2026, 12, 10), time);
        sysclock::setSource([at] { return at; });
    }
    // The window over the queue, sending to Port (the test's server when 0),
    // with the dialer when UseDialer.
    void make(const std::vector<Entry>& queue, int port = 0, bool useDialer = false)
    {
        if (!queue.empty()) testenv::writeFile(waitFile(), waitDat(queue));
        testenv::writeFile(folder + "/pager.ini",
                           "[Connect]\r\nHost=127.0.0.1\r\nPort=" + std::to_string(port ? port : server.port()) +
                               "\r\nFromAddress=me@example.com\r\nUseOrvDialer=" + (useDialer ? "1" : "0") +
                               "\r\nPollingInterval=5\r\n\r\n"
                               "[Message]\r\nCountLogMsg=10\r\nFullText=0\r\n\r\n"
                               "[Main]\r\nBookIndex=0\r\nIsHeader=0\r\nIsSignature=0\r\n");
        w = std::make_unique<TMainWin>();
        w->ShowMessage = [](const QString&) {};
        w->OnClosed = [] {};
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    // "Отправить сейчас все" with nobody at Port: the dialer is asked, its
    // attempt fails, and the send is parked for its redial.
    void parkSendAll(const mwtest::Dialer& dialer, const std::vector<Entry>& queue, int port)
    {
        make(queue, port, true);
        w->mPSendLaterSendAll->trigger();
        const std::string dial = "3534:" + std::to_string(app::applicationWindow().handle()) + ";";
        ASSERT_TRUE(mwtest::Dialer::waitForLog(dial)) << mwtest::Dialer::log();
        EXPECT_FALSE(w->tSendLater->Enabled());
        dialer.fail();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->Road().Parked(); }, mwtest::kWait));
        EXPECT_TRUE(w->tSendLater->Enabled());
    }
    // Who got what: the envelope's first recipient and the text.
    std::vector<std::string> sent() const
    {
        std::vector<std::string> out;
        for (const mwtest::Mail& m : server.mails()) {
            std::string body = m.body();
            while (body.ends_with("\r\n")) body.resize(body.size() - 2);
            while (body.starts_with("\r\n")) body.erase(0, 2);
            out.push_back(m.envelope.at(1) + " " + codepage::toUtf8(body));
        }
        return out;
    }
    // The rows as the list shows them; they are a view of the queue.
    std::vector<std::string> shown() const
    {
        EXPECT_EQ(static_cast<size_t>(w->lvSendLater->topLevelItemCount()), w->Queue().Count());
        for (int i = 0; i < w->lvSendLater->topLevelItemCount() && static_cast<size_t>(i) < w->Queue().Count(); ++i) {
            EXPECT_EQ(codepage::fromUnicode(w->lvSendLater->topLevelItem(i)->text(1)),
                      w->Queue().Entry(static_cast<size_t>(i)).To);
        }
        std::vector<std::string> out;
        for (int i = 0; i < w->lvSendLater->topLevelItemCount(); ++i)
            out.push_back(w->lvSendLater->topLevelItem(i)->text(0).toStdString() + " " +
                          w->lvSendLater->topLevelItem(i)->text(1).toStdString());
        return out;
    }
    std::string waitFile() const { return folder + "/wait.dat"; }
    std::string waitBytes() const
    {
        return std::filesystem::exists(waitFile()) ? testenv::readFile(waitFile()) : std::string("<none>");
    }

    mwtest::SmtpServer server;
    std::string folder;
    std::unique_ptr<TMainWin> w;
};

const char* const kIvan = "12345@pager.example.net";
// Пётр has his own greeting and signature, recoded to Latin.
const char* const kPetr = "79161234567@sms.example.org";
const char* const kAnna = "pg555@capital.example.net";

std::string mail(const char* to, const char* text) { return std::string(to) + " " + text; }

}  // namespace

TEST_F(MainWinQueue, TickSendsOnlyTheDueEntriesWhateverTheLocale)
{
    ASSERT_NE(server.port(), 0);
    for (const char* locale : {"C", "ru_RU", "en_US", "de_DE"}) {
        SCOPED_TRACE(locale);
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
        const size_t before = server.mails().size();
        setClock(QTime(12, 0, 0));
        make(kQueue);
        ASSERT_EQ(w->lvSendLater->topLevelItemCount(), 5);

        // 12:00:00: yesterday's entry only; the one of exactly now is not due,
        // the unreadable one is dropped unsent, the one for a contact of
        // another group waits.
        w->tSendLaterTimer();
        std::vector<std::string> got = sent();
        got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(before));
        EXPECT_EQ(got, std::vector<std::string>{mail(kIvan, "Yesterday\r\nline two")});
        EXPECT_EQ(waitBytes(), waitDat({kQueue[1], kQueue[2], kQueue[4]}));
        EXPECT_EQ(shown(), (std::vector<std::string>{"10.12.2026 12:00 Пётр", "10.12.2026 11:59 Шеф",
                                                     "11.12.2026 10:00 АННА"}));
        EXPECT_TRUE(w->tSendLater->Enabled());
        EXPECT_TRUE(w->Road().Idle());
        EXPECT_EQ(w->Road().Mode(), TSendMode::Checked);
        // The log has the entry's text, not the box's.
        ASSERT_EQ(w->lvLogs->topLevelItemCount(), 1);
        EXPECT_EQ(w->lvLogs->topLevelItem(0)->text(2), QString::fromUtf8("Yesterday line two"));

        // One second later the entry of 12:00 is due.
        setClock(QTime(12, 0, 1));
        w->tSendLaterTimer();
        got = sent();
        got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(before));
        EXPECT_EQ(got, (std::vector<std::string>{mail(kIvan, "Yesterday\r\nline two"), mail(kPetr, "Privet Right now. Poka.")}));
        EXPECT_EQ(waitBytes(), waitDat({kQueue[2], kQueue[4]}));

        // Only an entry whose contact is elsewhere is due: no connection.
        const int connections = server.connections();
        w->tSendLaterTimer();
        EXPECT_EQ(server.connections(), connections);
        EXPECT_FALSE(w->IsSendLater());
        w.reset();
        std::filesystem::remove(waitFile());
    }
}

TEST_F(MainWinQueue, SendNowSendsTheSelectedEntryAndSendAllSendsEveryOne)
{
    make(kQueue);
    // "Отправить сейчас": the selected entry, due or not, to every contact of
    // its name ignoring case.
    w->lvSendLater->setCurrentItem(w->lvSendLater->topLevelItem(4));
    w->mPSendLaterSend->trigger();
    EXPECT_EQ(sent(), std::vector<std::string>{mail(kAnna, "Tomorrow")});
    EXPECT_EQ(waitBytes(), waitDat({kQueue[0], kQueue[1], kQueue[2], kQueue[3]}));

    // "Отправить сейчас все": every entry with a contact in the shown group.
    w->mPSendLaterSendAll->trigger();
    const std::vector<std::string> all = {mail(kAnna, "Tomorrow"), mail(kIvan, "Yesterday\r\nline two"),
                                          mail(kPetr, "Privet Right now. Poka."), mail(kAnna, "Unreadable")};
    EXPECT_EQ(sent(), all);
    EXPECT_EQ(waitBytes(), waitDat({kQueue[2]}));
    EXPECT_EQ(shown(), std::vector<std::string>{"10.12.2026 11:59 Шеф"});

    // Nothing selected: "Отправить сейчас" sends nothing.
    w->lvSendLater->setCurrentItem(nullptr);
    const int connections = server.connections();
    w->mPSendLaterSend->trigger();
    EXPECT_EQ(server.connections(), connections);
}

TEST_F(MainWinQueue, QueuingDeletingAndTheFileAfterEachChange)
{
    make({});
    EXPECT_FALSE(w->dtDate->isEnabled());
    w->cbSendLater->setChecked(true);
    EXPECT_TRUE(w->dtDate->isEnabled());
    EXPECT_EQ(w->dtDate->date(), QDate(2026, 12, 10));
    EXPECT_EQ(w->dtDate->minimumDate(), QDate(2026, 12, 10));
    w->dtDate->setDate(QDate(2026, 12, 24));
    w->dtTime->setTime(QTime(9, 5));
    w->mText->setPlainText(QString::fromUtf8("Две\nстроки"));
    w->Book->Row(0)->setCheckState(0, Qt::Checked);  // Иван
    w->Book->Row(2)->setCheckState(0, Qt::Checked);  // Анна
    QTest::mouseClick(w->bSend, Qt::LeftButton);
    EXPECT_EQ(server.connections(), 0);
    const Entry ivan{"24.12.2026 09:05", "Иван", "Две|строки"};
    const Entry anna{"24.12.2026 09:05", "Анна", "Две|строки"};
    EXPECT_EQ(waitBytes(), waitDat({ivan, anna}));
    EXPECT_TRUE(w->mText->toPlainText().isEmpty());
    EXPECT_FALSE(w->cbSendLater->isChecked());
    EXPECT_EQ(w->dtTime->time(), QTime(0, 0));

    // Read back at the next start the same.
    w.reset();
    make({});
    EXPECT_EQ(shown(), (std::vector<std::string>{"24.12.2026 09:05 Иван", "24.12.2026 09:05 Анна"}));

    w->lvSendLater->setCurrentItem(w->lvSendLater->topLevelItem(0));
    w->mPSendLaterDel->trigger();
    EXPECT_EQ(waitBytes(), waitDat({anna}));
    w->mPSendLaterDelAll->trigger();
    EXPECT_EQ(waitBytes(), "<none>");
    EXPECT_EQ(w->lvSendLater->topLevelItemCount(), 0);
    // An empty queue starts nothing.
    w->mPSendLaterSendAll->trigger();
    EXPECT_EQ(server.connections(), 0);
}

// While a queue send is parked for the dialer the window is idle: the user
// deletes one of its entries, and the redial that connects sends only what
// is still queued.
TEST_F(MainWinQueue, AnEntryDeletedWhileItsSendIsParkedIsNotSent)
{
    mwtest::Dialer dialer;
    ASSERT_NE(mwtest::Dialer::handle(), 0u);
    const int port = mwtest::freePort();
    ASSERT_NE(port, 0);
    const Entry gone{"01.01.2099 10:00", "Анна", "Deleted"};
    const Entry kept{"01.01.2099 11:00", "АННА", "Kept"};
    parkSendAll(dialer, {gone, kept}, port);

    w->lvSendLater->setCurrentItem(w->lvSendLater->topLevelItem(0));
    w->mPSendLaterDel->trigger();
    EXPECT_EQ(shown(), std::vector<std::string>{"01.01.2099 11:00 АННА"});
    EXPECT_EQ(waitBytes(), waitDat({kept}));

    mwtest::SmtpServer line("accept", port);  // the redial gets the line
    ASSERT_EQ(line.port(), port);
    dialer.report(WM_DIAL_DIALING);
    dialer.report(WM_DIAL_CONNECTED);
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.mails().size() == 1 && w->Road().Idle(); }, mwtest::kWait));
    EXPECT_EQ(line.mails()[0].envelope.at(1), kAnna);
    EXPECT_NE(line.mails()[0].body().find("Kept"), std::string::npos);
    EXPECT_TRUE(shown().empty());
    EXPECT_EQ(waitBytes(), "<none>");
    EXPECT_TRUE(w->tSendLater->Enabled());
}

// A parked queue send that the user drops leaves nothing of its mode behind:
// a later dialing report of the dialer does not stop the queue's timer.
TEST_F(MainWinQueue, ADroppedParkedSendLeavesTheTimerRunning)
{
    mwtest::Dialer dialer;
    ASSERT_NE(mwtest::Dialer::handle(), 0u);
    const int port = mwtest::freePort();
    ASSERT_NE(port, 0);
    parkSendAll(dialer, {{"01.01.2099 10:00", "Анна", "Waits"}}, port);
    QTest::mouseClick(w->bClear, Qt::LeftButton);
    EXPECT_TRUE(w->Road().Idle());
    ASSERT_TRUE(mwtest::Dialer::waitForLog("3535:0;")) << mwtest::Dialer::log();

    dialer.report(WM_DIAL_DIALING);
    dialer.report(WM_DIAL_AUTHENTICATING);
    ASSERT_TRUE(QTest::qWaitFor([&] { return codepage::toUtf8(w->Status()) == "Проверка имени и пароля..."; }, mwtest::kWait));
    EXPECT_TRUE(w->tSendLater->Enabled());
    EXPECT_EQ(waitBytes(), waitDat({{"01.01.2099 10:00", "Анна", "Waits"}}));
}
