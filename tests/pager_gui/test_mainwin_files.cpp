// The main window and its data files when they are hostile or protected:
// names and values a reader accepts but a writer would refuse, files the user
// made read-only, and the close that runs every save step and tells the
// errors afterwards, or on stderr when the program is asked to end.

#include "pager/main/mainwin.h"

#include "pager/book.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/inifile.h"
#include "platform/readfile.h"
#include "platform/registry.h"
#include "platform/userdirs.h"
#include "platform/ui/trayhost.h"
#include "tests/pager_gui/test_mainwin_peers.h"
#include "tests/support/testenv.h"

#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using mwtest::kWait;
using testenv::cp;
using namespace std::string_literals;

QString u(const char* s) { return QString::fromUtf8(s); }

const char* const kIvan = "12345@pager.example.net";

class MainWinFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = mwtest::makeInstall("mainwin-files");
        sysclock::setSource([] { return QDateTime(QDate(2026, 12, 10), QTime(12, 0)); });
    }
    void TearDown() override
    {
        w.reset();
        sysclock::setSource({});
        for (const char* f : {"pager.ini", "book.dat", "wait.dat", "messages.dat"}) chmod(file(f).c_str(), 0644);
    }
    std::string file(const char* name) const { return folder + "/" + name; }
    void writeIni(const std::string& extra = {})
    {
        testenv::writeFile(file("pager.ini"),
                           "[Connect]\r\nHost=127.0.0.1\r\nPort=" + std::to_string(server.port()) +
                               "\r\nFromAddress=me@example.com\r\nUseOrvDialer=0\r\nPollingInterval=5\r\n" + extra +
                               "\r\n[Message]\r\nCountLogMsg=10\r\nFullText=0\r\n\r\n"
                               "[Main]\r\nBookIndex=0\r\nIsHeader=0\r\nIsSignature=0\r\n");
    }
    // A window as the program makes it, with the reports recorded.
    void make(bool recordCloseErrors = true)
    {
        w = std::make_unique<TMainWin>();
        w->ShowMessage = [this](const QString& t) { messages.push_back(t); };
        w->OnStatusChange = [this](const AnsiString& t) { statuses.push_back(codepage::toUtf8(t)); };
        w->OnClosed = [this] { closed = true; };
        if (recordCloseErrors) w->ShowCloseErrors = [this](const QString& t) { closeErrors.push_back(t); };
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        QApplication::processEvents();  // the notes of the loading come after it
    }
    // The failures of the close in the test below: the options (a folder
    // stands where pager.ini would go) and the book (read-only).
    void protectOptionsAndBook()
    {
        std::filesystem::remove(file("pager.ini"));
        std::filesystem::create_directory(file("pager.ini"));
        chmod(file("book.dat").c_str(), 0444);
    }
    QString unableToWrite(const char* name) const
    {
        return QString::fromStdString("Unable to write to " + file(name));
    }

    mwtest::SmtpServer server;
    trayhost::RecordingHost tray;
    std::string folder;
    std::unique_ptr<TMainWin> w;
    std::vector<QString> messages;
    std::vector<std::string> statuses;
    std::vector<QString> closeErrors;
    bool closed = false;
};

}  // namespace

// An empty group name, a lone CR and a NUL in names, a CR in queue and log
// values, a contact line of 2,100 bytes: all of it loads, the user is told of
// the names that had to change, and the close saves every file.
TEST_F(MainWinFiles, HostileDataLoadsAndTheCloseSavesEveryFile)
{
    writeIni("FromName=Me\rand you\r\n");
    TBookItem big;
    big.Addr = kIvan;
    big.FullName = AnsiString(255, ',');
    big.Header = AnsiString(255, ',');
    big.Signature = AnsiString(255, ',');
    big.EMail = AnsiString(255, ',');
    big.Model = AnsiString(60, ',');
    const AnsiString bigLine = BookItemToLine(big);
    ASSERT_GT(bigLine.size(), 2100u);
    testenv::writeFile(file("book.dat"), cp("[Дру\rзья]\r\nИван=12345@pager.example.net,,,,WIN\r\n") +
                                             codepage::fromUtf8("Пё\0тр=79161234567@sms.example.org\r\nLong="s) + bigLine +
                                             "\r\n\r\n[]\r\n" + cp("Анна=pg555@capital.example.net\r\n"));
    testenv::writeFile(file("wait.dat"), cp("[Message1]\r\nDate=24.12.2026\r09:05\r\nTo=Пё\rтр\r\nText=Later\r\n"));
    testenv::writeFile(file("messages.dat"), cp("[Message1]\r\nTo=Ив\rан\r\nDate=09.12.2026 10:00:00\r\nText=Old\r\n"));
    make();

    EXPECT_EQ(w->Book->Groups(), (std::vector<AnsiString>{cp("Дру зья"), cp("Без названия")}));
    ASSERT_EQ(w->Book->Count(), 3);
    EXPECT_EQ(w->Book->Row(1)->Name, cp("Пё тр"));
    EXPECT_EQ(w->Book->Row(2)->Item.FullName, AnsiString(255, ','));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[0].contains(u("«Дру зья», «Без названия»"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[1].contains(u("«Пё тр»"))) << messages[1].toStdString();
    ASSERT_EQ(w->lvSendLater->topLevelItemCount(), 1);
    EXPECT_EQ(w->lvSendLater->topLevelItem(0)->text(0), u("24.12.2026 09:05"));
    EXPECT_EQ(w->lvSendLater->topLevelItem(0)->text(1), u("Пё тр"));

    w->close();
    ASSERT_TRUE(closed);
    EXPECT_TRUE(closeErrors.empty());
    // The shown group is written under its new name in its place; the other
    // one waits, as it was, until it is shown.
    const std::string book = testenv::readFile(file("book.dat"));
    EXPECT_TRUE(book.starts_with(cp("[Дру зья]\r\nИван=12345@pager.example.net,,,,WIN\r\nПё тр=")));
    EXPECT_NE(book.find("Long=" + bigLine + "\r\n"), std::string::npos);
    EXPECT_NE(book.find("\r\n[]\r\n"), std::string::npos);
    EXPECT_EQ(testenv::readFile(file("messages.dat")),
              cp("[Message1]\r\nTo=Ив ан\r\nDate=09.12.2026 10:00:00\r\nText=Old\r\n"));
    EXPECT_NE(testenv::readFile(file("pager.ini")).find("FromName=Me and you\r\n"), std::string::npos);

    // The next start finds nothing more to rename in the group it shows.
    messages.clear();
    closed = false;
    make();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(u("«Без названия»")));
    EXPECT_EQ(w->Book->Count(), 3);
}

// Every step of the close runs though earlier ones fail; one report tells
// all failures at the end.
TEST_F(MainWinFiles, EveryStepOfTheCloseRunsAndTheErrorsAreToldAfterThem)
{
    writeIni();
    testenv::writeFile(file("messages.dat"), "[Message1]\nTo=A\nDate=d\nText=t\n");
    make();
    protectOptionsAndBook();
    w->close();
    ASSERT_TRUE(closed);
    ASSERT_EQ(closeErrors.size(), 1u);
    EXPECT_EQ(closeErrors[0], unableToWrite("pager.ini") + "\n" + unableToWrite("book.dat"));
    // The log, saved after both, is written (with the line ends of the program).
    EXPECT_EQ(testenv::readFile(file("messages.dat")), "[Message1]\r\nTo=A\r\nDate=d\r\nText=t\r\n");
    EXPECT_TRUE(registry::readDword("Software\\Kestrane\\Pager\\Position\\Main", "Width").has_value());
}

// Asked to end (SIGTERM, a logout), the program has nobody to show a box to:
// the errors go to stderr and the window closes.
TEST_F(MainWinFiles, AskedToEndTheCloseTellsItsErrorsOnStderr)
{
    writeIni();
    make();
    protectOptionsAndBook();
    testing::internal::CaptureStderr();
    w->Terminate();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(closed);
    EXPECT_TRUE(closeErrors.empty());
    EXPECT_NE(err.find("Unable to write to " + file("pager.ini") + "\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Unable to write to " + file("book.dat") + "\n"), std::string::npos) << err;
}

// The report of a user's close is a message box; a request to end that comes
// while it is open closes it, and the program ends.
TEST_F(MainWinFiles, ARequestToEndClosesTheOpenReport)
{
    writeIni();
    make(false);
    protectOptionsAndBook();
    bool reportSeen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!QApplication::activeModalWidget()) return;
        reportSeen = true;
        poll.stop();
        w->Terminate();
    });
    poll.start(20);
    w->close();  // returns once the report is gone
    EXPECT_TRUE(reportSeen);
    EXPECT_TRUE(closed);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// An entry sent is struck off wait.dat at once; a wait.dat that cannot be
// written would send it again at every start, so nothing goes until it can.
TEST_F(MainWinFiles, AQueueThatCannotBeSavedSendsNothing)
{
    writeIni();
    const std::string queue = cp("[Message1]\r\nDate=09.12.2026 10:00\r\nTo=Иван\r\nText=Due\r\n");
    testenv::writeFile(file("wait.dat"), queue);
    chmod(file("wait.dat").c_str(), 0444);
    make();
    w->tSendLaterTimer();
    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(statuses.back(), "Unable to write to " + file("wait.dat"));
    EXPECT_TRUE(w->Road().Idle());
    EXPECT_TRUE(w->tSendLater->Enabled());
    // Asked for by the user, it is refused with the message.
    EXPECT_THROW(w->mPSendLaterSendAllClick(), EIniFileException);
    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(testenv::readFile(file("wait.dat")), queue);

    chmod(file("wait.dat").c_str(), 0644);
    w->tSendLaterTimer();
    ASSERT_EQ(server.mails().size(), 1u);
    EXPECT_EQ(server.mails()[0].envelope.at(1), kIvan);
    EXPECT_FALSE(testenv::fileExists(file("wait.dat")));
}

// A save of the queue that fails after an entry went out is tried again at
// the close, so the entry does not go out again at the next start.
TEST_F(MainWinFiles, ASentEntryWhoseSaveFailedIsStruckOffAtTheClose)
{
    writeIni();
    testenv::writeFile(file("wait.dat"), cp("[Message1]\r\nDate=09.12.2026 10:00\r\nTo=Иван\r\nText=Due\r\n\r\n"
                                            "[Message2]\r\nDate=24.12.2026 10:00\r\nTo=Иван\r\nText=Later\r\n"));
    make();
    // The file becomes read-only while the entry goes out.
    w->OnStatusChange = [&](const AnsiString& t) {
        if (codepage::toUtf8(t).starts_with("Отправка сообщения для")) chmod(file("wait.dat").c_str(), 0444);
    };
    w->tSendLaterTimer();
    ASSERT_EQ(server.mails().size(), 1u);
    EXPECT_NE(testenv::readFile(file("wait.dat")).find("Text=Due"), std::string::npos);

    chmod(file("wait.dat").c_str(), 0644);
    w->close();
    EXPECT_TRUE(closeErrors.empty());
    EXPECT_EQ(testenv::readFile(file("wait.dat")),
              cp("[Message1]\r\nDate=24.12.2026 10:00\r\nTo=Иван\r\nText=Later\r\n"));
}

// A data file that is no plain file (a FIFO nobody writes to) or far larger
// than any the program writes holds up nothing: the window comes up on
// defaults, and the close replaces or removes none of them.
TEST_F(MainWinFiles, DataFilesThatCannotBeReadHoldUpNothingAndAreKept)
{
    const std::string registryFile = userdirs::configDir() + "/registry.reg";
    const char* const names[] = {"pager.ini", "book.dat", "operators.dat", "user.dat",
                                 "pagers.dat", "messages.dat", "wait.dat", "registry.reg"};
    for (const bool fifo : {true, false}) {
        for (const char* name : names) {
            SCOPED_TRACE(std::string(name) + (fifo ? " as a FIFO" : " far too large"));
            SetUp();
            writeIni();
            testenv::writeFile(file("messages.dat"), "[Message1]\r\nTo=A\r\nDate=d\r\nText=t\r\n");
            const std::string path = std::string(name) == "registry.reg" ? registryFile : file(name);
            std::filesystem::remove(path);
            if (fifo) {
                ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
            } else {
                testenv::writeFile(path, "[Message1]\r\nTo=A\r\n");
                ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(readfile::MaxSize) + 1), 0);
            }
            struct stat before {};
            ASSERT_EQ(::lstat(path.c_str(), &before), 0);
            closed = false;
            closeErrors.clear();
            make();
            EXPECT_TRUE(w->isVisible());
            w->close();
            ASSERT_TRUE(closed);
            struct stat after {};
            ASSERT_EQ(::lstat(path.c_str(), &after), 0);
            EXPECT_EQ(after.st_ino, before.st_ino);
            EXPECT_EQ(after.st_size, before.st_size);
            EXPECT_EQ(after.st_mode, before.st_mode);
            // What the close could not save is told as for a read-only file.
            for (const QString& e : closeErrors) EXPECT_TRUE(e.startsWith(u("Unable to write to "))) << e.toStdString();
            w.reset();
            std::filesystem::remove(path);
        }
    }
}
