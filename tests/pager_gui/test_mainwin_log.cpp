// The main window's log of sent messages: rows added by real sends to a real
// SMTP server, messages.dat across restarts, sending a row again, clearing.

#include "pager/main/mainwin.h"

#include "pager/ini.h"
#include "pager/program.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "tests/pager_gui/test_mainwin_peers.h"
#include "tests/support/testenv.h"

#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testenv::cp;


std::string logIni(int port, int countLog)
{
    return "[Connect]\r\nHost=127.0.0.1\r\nPort=" + std::to_string(port) +
           "\r\nFromAddress=me@example.com\r\nFromName=Me\r\nUseOrvDialer=0\r\nPollingInterval=5\r\n\r\n"
           "[Message]\r\nCutLongMessage=1\r\nMaxSymbols=240\r\nCountLogMsg=" +
           std::to_string(countLog) +
           "\r\nFullText=0\r\n\r\n[Main]\r\nBookIndex=0\r\nIsHeader=0\r\nIsSignature=0\r\n";
}

class MainWinLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = mwtest::makeInstall("mainwin-log");
    }
    void TearDown() override { w.reset(); }

    void make(int countLog)
    {
        testenv::writeFile(folder + "/pager.ini", logIni(server.port(), countLog));
        w = std::make_unique<TMainWin>();
        w->ShowMessage = [](const QString&) {};
        w->OnClosed = [] {};
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    void restart(int countLog)
    {
        w->close();
        w.reset();
        make(countLog);
    }
    TBookRow* row(const char* name) const
    {
        for (int i = 0; i < w->Book->Count(); ++i)
            if (w->Book->Row(i)->Name == cp(name)) return w->Book->Row(i);
        return nullptr;
    }
    // Sends Text to the contact as the user does.
    void send(const char* name, const QString& text)
    {
        w->mText->setPlainText(text);
        row(name)->setCheckState(0, Qt::Checked);
        QTest::mouseClick(w->bSend, Qt::LeftButton);
        ASSERT_TRUE(w->Road().Idle());
    }
    // The rows as the list shows them; they are a view of the log.
    std::vector<std::string> shownRows() const
    {
        EXPECT_EQ(static_cast<size_t>(w->lvLogs->topLevelItemCount()), w->Log().Count());
        std::vector<std::string> out;
        for (int i = 0; i < w->lvLogs->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = w->lvLogs->topLevelItem(i);
            if (static_cast<size_t>(i) < w->Log().Count()) {
                EXPECT_EQ(codepage::fromUnicode(item->text(0)), w->Log().Row(static_cast<size_t>(i)).To);
            }
            out.push_back(item->text(0).toStdString() + "|" + item->text(2).toStdString());
        }
        return out;
    }
    std::string logFile() const { return folder + "/messages.dat"; }

    mwtest::SmtpServer server;
    std::string folder;
    std::unique_ptr<TMainWin> w;
};

QString u(const char* s) { return QString::fromUtf8(s); }

}  // namespace

TEST_F(MainWinLog, KeepsOneRowMoreThanItSavesAcrossARestart)
{
    ASSERT_NE(server.port(), 0);
    make(3);
    for (int i = 1; i <= 5; ++i) send("Иван", u("Сообщение %1").arg(i));
    ASSERT_EQ(server.mails().size(), 5u);
    const std::vector<std::string> four = {"Иван|Сообщение 5", "Иван|Сообщение 4", "Иван|Сообщение 3",
                                           "Иван|Сообщение 2"};
    EXPECT_EQ(shownRows(), four);
    // The date column: today, then the time of the send.
    const QString date = w->lvLogs->topLevelItem(0)->text(1);
    EXPECT_TRUE(date.startsWith(QDate::currentDate().toString("dd.MM.yyyy") + " ")) << date.toStdString();

    restart(3);
    const std::string file = testenv::readFile(logFile());
    EXPECT_NE(file.find("[Message3]\r\n"), std::string::npos);
    EXPECT_EQ(file.find("[Message4]"), std::string::npos);
    EXPECT_NE(file.find("Text=" + cp("Сообщение 3") + "\r\n"), std::string::npos);
    EXPECT_EQ(file.find(cp("Сообщение 2")), std::string::npos);
    EXPECT_EQ(shownRows(), std::vector<std::string>(four.begin(), four.begin() + 3));
}

TEST_F(MainWinLog, NoLogNeitherReadsNorWritesTheFile)
{
    const std::string before = "[Message1]\r\nTo=" + cp("Анна") + "\r\nDate=01.02.2026 10:00:00\r\nText=old\r\n";
    testenv::writeFile(logFile(), before);
    make(0);
    EXPECT_FALSE(w->gbLogs->isVisible());
    EXPECT_EQ(w->lvLogs->topLevelItemCount(), 0);
    send("Иван", u("Привет"));
    EXPECT_EQ(server.mails().size(), 1u);
    w->close();
    EXPECT_EQ(testenv::readFile(logFile()), before);
}

TEST_F(MainWinLog, MultiLineCyrillicTextRoundTripsByteForByte)
{
    make(10);
    send("Пётр", u("Первая строка — ёж\nВторая «строка»\n\nЧетвёртая"));
    const AnsiString text = cp("Первая строка — ёж\r\nВторая «строка»\r\n\r\nЧетвёртая");
    restart(10);
    const std::string file = testenv::readFile(logFile());
    EXPECT_NE(file.find("Text=" + cp("Первая строка — ёж|Вторая «строка»||Четвёртая") + "\r\n"), std::string::npos);
    ASSERT_EQ(w->lvLogs->topLevelItemCount(), 1);
    // Sent again: the box holds the text as it was typed.
    w->lvLogs->setCurrentItem(w->lvLogs->topLevelItem(0));
    w->lvLogsDblClick();
    EXPECT_EQ(w->BodyText, text);
    EXPECT_EQ(row("Пётр")->checkState(0), Qt::Checked);
}

TEST_F(MainWinLog, SendingARowAgainChecksTheContactsOfExactlyItsName)
{
    testenv::writeFile(logFile(), "[Message1]\r\nTo=" + cp("Анна") + "\r\nDate=01.02.2026 10:00:00\r\nText=" +
                                      cp("Для Анны|вторая") + "\r\n\r\n[Message2]\r\nTo=" + cp("анна") +
                                      "\r\nDate=01.02.2026 09:00:00\r\nText=lower\r\n\r\n[Message3]\r\nTo=" +
                                      cp("Шеф") + "\r\nText=other group\r\n");
    make(10);
    ASSERT_EQ(w->lvLogs->topLevelItemCount(), 3);
    EXPECT_EQ(w->lvLogs->topLevelItem(2)->text(1), QString());  // a missing key reads as empty
    struct Case {
        int row;
        const char* checked;  // nullptr: nobody
        const char* text;
    };
    const Case cases[] = {
        {0, "Анна", "Для Анны\r\nвторая"},
        {1, nullptr, "lower"},        // names match case-sensitively
        {2, nullptr, "other group"},  // the contact is not in the shown group
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        row("Иван")->setCheckState(0, Qt::Checked);
        w->lvLogs->setCurrentItem(w->lvLogs->topLevelItem(c.row));
        w->mRepeatLog->trigger();
        EXPECT_EQ(w->BodyText, cp(c.text));
        for (int i = 0; i < w->Book->Count(); ++i) {
            TBookRow* r = w->Book->Row(i);
            EXPECT_EQ(r->checkState(0) == Qt::Checked, c.checked && r->Name == cp(c.checked)) << r->Name;
        }
    }
    EXPECT_EQ(server.connections(), 0);  // nothing is sent
    // Clearing: the rows go, and with them the file at the next save.
    w->mClearLogs->trigger();
    EXPECT_EQ(w->lvLogs->topLevelItemCount(), 0);
    EXPECT_EQ(w->Log().Count(), 0u);
    w->close();
    EXPECT_FALSE(std::filesystem::exists(logFile()));
}
