// The update dialog as a user drives it, against the real python3
// http.server and scripted servers on port 80 of loopback addresses of their
// own: the list's four actions, the restart message, the address with and
// without a trailing "/", two runs in one showing, failed, short, stalled
// and stopped downloads, closing in the middle of a download, names that
// would lead outside the program folder or name anything but a shipped data
// file; and the main window's update
// command, which ends the program when a file was received.

#include "pager/dialogs/update.h"

#include "pager/main/mainwin.h"
#include "pager/position.h"
#include "pager/program.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "platform/ui/trayhost.h"
#include "platform/wininet.h"
#include "tests/pager_gui/test_mainwin_peers.h"
#include "tests/support/http_peer.h"
#include "tests/support/testenv.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using scripted::Peer;
using httptest::FolderServer;
using httptest::ScriptedHttp;
using testenv::cp;

namespace {

QString u(const char* s) { return QString::fromUtf8(s); }

std::string pattern(size_t n, char first = 'a')
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(first + i % 26);
    return s;
}

std::string listOf(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string out = "[Files]\r\n";
    for (const auto& [name, value] : entries) out += name + "=" + value + "\r\n";
    return out;
}

#define REQUIRE_SERVER(s) \
    if (!(s).running()) GTEST_SKIP() << (s).reason()

// Answers the modal windows that come up: records and closes every message
// box, and hands each new update dialog to OnDialog.
class ModalDriver {
public:
    ModalDriver()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start(20);
    }
    std::function<void(TUpdateWin*)> OnDialog;
    std::vector<QString> messages;

private:
    void tick()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.push_back(box->text());
            box->accept();
        } else if (auto* d = qobject_cast<TUpdateWin*>(modal); d && d != seen_) {
            seen_ = d;
            if (OnDialog) OnDialog(d);
        }
    }
    QTimer timer_;
    QPointer<TUpdateWin> seen_;
};

// Presses a button from the event loop, after the caller has returned.
void clickLater(QPushButton* b)
{
    QMetaObject::invokeMethod(b, [b] { b->click(); }, Qt::QueuedConnection);
}

class UpdateWin : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = mwtest::makeInstall("update") + "/";
        registry::deleteKey("Software\\Kestrane\\Pager");
        served = testenv::makeDir("served-" + std::to_string(++serial)) + "/";
        std::filesystem::create_directories(served + "pager/update");
    }
    void TearDown() override { dialog.reset(); }

    void serve(const std::string& name, const std::string& bytes) { testenv::writeFile(served + "pager/update/" + name, bytes); }
    void hosts(const std::vector<std::string>& urls)
    {
        std::string text;
        for (size_t i = 0; i < urls.size(); ++i) text += "[Server" + std::to_string(i) + "]\r\nurl=" + urls[i] + "\r\n\r\n";
        testenv::writeFile(folder + "hosts.dat", text);
    }
    // A dialog shown over no window, its messages recorded.
    TUpdateWin* make()
    {
        dialog = std::make_unique<TUpdateWin>();
        dialog->ShowMessage = [this](const QString& t) { messages.push_back(t); };
        dialog->show();
        return dialog.get();
    }
    // Presses "Начать обновление"; returns once the run is over.
    void run() { QTest::mouseClick(dialog->bBegin, Qt::LeftButton); }
    std::string file(const std::string& name) const { return testenv::readFile(folder + name); }
    bool exists(const std::string& name) const { return testenv::fileExists(folder + name); }
    // The status texts every failed download showed.
    void recordErrors()
    {
        auto original = dialog->Get->OnError;
        dialog->Get->OnError = [this, original](THttpFetch* s) {
            original(s);
            errorStatuses.push_back(dialog->stStatus->text());
        };
    }
    std::vector<std::string> folderFiles() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static inline int serial = 0;
    std::string folder;
    std::string served;
    std::unique_ptr<TUpdateWin> dialog;
    std::vector<QString> messages;
    std::vector<QString> errorStatuses;
};

}  // namespace

TEST_F(UpdateWin, ControlsAndTheOfferedFolders)
{
    TUpdateWin* d = make();
    EXPECT_EQ(d->windowTitle(), u("Обновление базы данных"));
    EXPECT_EQ(d->lHost->text(), u("Адрес:"));
    EXPECT_EQ(d->bBegin->text(), u("Начать обновление"));
    EXPECT_TRUE(d->bBegin->isDefault());
    EXPECT_EQ(d->bCancel->text(), u("Стоп"));
    EXPECT_EQ(d->bExit->text(), u("Выход"));
    EXPECT_EQ(d->pbFile->maximum(), 100);
    EXPECT_EQ(d->Get->Agent, "Orvanta Pager Update");
    EXPECT_TRUE(d->Get->BinaryData);
    EXPECT_TRUE(d->Get->WaitThread);
    // Idle: the address and the start are open, the stop is not.
    EXPECT_TRUE(d->bBegin->isEnabled());
    EXPECT_TRUE(d->cbHost->isEnabled());
    EXPECT_FALSE(d->bCancel->isEnabled());
    // Without hosts.dat: the maker's default folder.
    EXPECT_EQ(d->cbHost->count(), 0);
    EXPECT_EQ(d->cbHost->currentText(), u("http://www.kestrane.example/pager/update"));

    // hosts.dat with two servers: both offered, the first chosen.
    hosts({"http://one.example/pager/update", "http://two.example/pager/update/"});
    d = make();
    ASSERT_EQ(d->cbHost->count(), 2);
    EXPECT_EQ(d->cbHost->itemText(1), u("http://two.example/pager/update/"));
    EXPECT_EQ(d->cbHost->currentText(), u("http://one.example/pager/update"));
}

TEST_F(UpdateWin, TheDefaultFolderFailsAtOnceAndTouchesNothing)
{
    TUpdateWin* d = make();
    const std::vector<std::string> before = folderFiles();
    run();
    EXPECT_TRUE(d->Failed);
    EXPECT_FALSE(d->NeedRestart);
    EXPECT_EQ(d->stStatus->text(), u("Ошибка!"));
    EXPECT_TRUE(d->bBegin->isEnabled());
    EXPECT_EQ(folderFiles(), before);
}

TEST_F(UpdateWin, TheBarIsSetWhereItIsDrawnDifferentlyAndEndsFull)
{
    TUpdateWin* d = make();
    int sets = 0;
    QObject::connect(d->pbFile, &QProgressBar::valueChanged, [&] { ++sets; });
    struct Case {
        const char* name;
        int32_t total;
        int32_t block;
    };
    // A large file, then a smaller and a tiny one in the same showing.
    const Case cases[] = {{"10 MB", 10 * 1024 * 1024, 1025}, {"100 KB", 100000, 1025}, {"3 bytes", 3, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sets = 0;
        int32_t readed = 0;
        int lastPixel = -1;
        while (readed < c.total) {
            readed = std::min(c.total, readed + c.block);
            d->GetProgress(nullptr, c.total, readed);
            EXPECT_EQ(d->pbFile->maximum(), c.total);
            // Never a pixel behind what has been read.
            const int pixel = static_cast<int>(int64_t(readed) * d->pbFile->width() / c.total);
            EXPECT_EQ(int64_t(d->pbFile->value()) * d->pbFile->width() / c.total, pixel);
            lastPixel = pixel;
        }
        EXPECT_EQ(d->pbFile->value(), c.total);
        EXPECT_EQ(lastPixel, d->pbFile->width());
        EXPECT_LE(sets, d->pbFile->width() + 1);
    }
}

TEST_F(UpdateWin, ALargeFileArrivesWhole)
{
    const std::string big = testenv::scrambledBytes(3 * 1024 * 1024 + 77);
    serve("update.lst", listOf({{"operators.dat", "CHANGE"}}));
    serve("operators.dat", big);
    FolderServer server(served);
    REQUIRE_SERVER(server);
    hosts({server.url("/pager/update")});
    TUpdateWin* d = make();
    std::vector<int32_t> readed;
    d->Get->OnProgress = [&](THttpFetchThread* s, int32_t total, int32_t r) {
        d->GetProgress(s, total, r);
        if (d->stFile->text() == u("operators.dat")) readed.push_back(r);
    };
    run();
    EXPECT_FALSE(d->Failed);
    EXPECT_EQ(file("operators.dat"), big);
    // One progress event per block of 1025 bytes, the last one short.
    ASSERT_EQ(readed.size(), (big.size() + 1024) / 1025);
    for (size_t i = 0; i < readed.size(); ++i)
        ASSERT_EQ(readed[i], static_cast<int32_t>(std::min(big.size(), (i + 1) * 1025))) << i;
}

TEST_F(UpdateWin, FourActionsAgainstARealServer)
{
    struct Case {
        const char* name;
        const char* url;        // the address typed, <a> for the server's address
        int localPagersSize;    // -1: no pagers.dat in the program folder
        bool pagersFetched;
    };
    const Case cases[] = {
        {"local file of the listed size", "http://<a>/pager/update", 1234, false},
        {"local file of another size, trailing slash", "http://<a>/pager/update/", 1000, true},
        {"no local file, no scheme", "<a>/pager/update", -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        serve("update.lst", listOf({{"old.dat", "DELETE"},
                                    {"operators.dat", "change"},
                                    {"pagers.dat", "UPDATE,1234"},
                                    {"notes.txt", "SOMETHING"}}));
        serve("operators.dat", "[New (City)]\r\nMailGate=###@new.example\r\n");
        serve("pagers.dat", "[New]\r\nMaxSymbols=99\r\n");
        serve("notes.txt", "new notes");
        testenv::writeFile(folder + "old.dat", "old");
        testenv::writeFile(folder + "notes.txt", "my notes");
        std::filesystem::remove(folder + "pagers.dat");
        if (c.localPagersSize >= 0) testenv::writeFile(folder + "pagers.dat", std::string(c.localPagersSize, 'p'));
        FolderServer server(served);
        REQUIRE_SERVER(server);
        std::string url = c.url;
        url.replace(url.find("<a>"), 3, server.address());
        hosts({url});

        TUpdateWin* d = make();
        std::vector<std::pair<int, int>> progress;
        d->Get->OnProgress = [&](THttpFetchThread*, int32_t total, int32_t readed) {
            d->GetProgress(nullptr, total, readed);
            progress.emplace_back(d->pbFile->maximum(), d->pbFile->value());
            EXPECT_FALSE(d->bBegin->isEnabled());
            EXPECT_FALSE(d->cbHost->isEnabled());
            EXPECT_TRUE(d->bCancel->isEnabled());
        };
        run();

        EXPECT_FALSE(exists("old.dat"));
        EXPECT_EQ(file("operators.dat"), "[New (City)]\r\nMailGate=###@new.example\r\n");
        EXPECT_EQ(file("pagers.dat"), c.pagersFetched ? "[New]\r\nMaxSymbols=99\r\n" : std::string(1234, 'p'));
        EXPECT_EQ(file("notes.txt"), "my notes");
        EXPECT_FALSE(exists("update.lst"));
        EXPECT_TRUE(d->NeedRestart);
        EXPECT_FALSE(d->Failed);
        // Idle again, the texts cleared.
        EXPECT_EQ(d->stStatus->text(), QString());
        EXPECT_EQ(d->stFile->text(), QString());
        EXPECT_TRUE(d->bBegin->isEnabled());
        EXPECT_FALSE(d->bCancel->isEnabled());
        EXPECT_EQ(d->pbFile->value(), 0);
        std::vector<std::string> expected = {"GET /pager/update/update.lst HTTP/1.0",
                                             "GET /pager/update/operators.dat HTTP/1.0"};
        if (c.pagersFetched) expected.push_back("GET /pager/update/pagers.dat HTTP/1.0");
        EXPECT_EQ(server.requests(expected.size()), expected);
        // operators.dat's 40 bytes came in one block.
        EXPECT_NE(std::find(progress.begin(), progress.end(), std::make_pair(40, 40)), progress.end());

        // Closing tells the user to restart and stores the place.
        d->move(123, 45);
        QTest::mouseClick(d->bExit, Qt::LeftButton);
        EXPECT_FALSE(d->isVisible());
        EXPECT_EQ(messages, (std::vector<QString>{u("Теперь необходимо перезапустить программу!")}));
        messages.clear();
        TPosRec pos;
        LoadPosition("Update", pos);
        EXPECT_EQ(pos.Left, 123);
        EXPECT_EQ(pos.Top, 45);
        // The next showing comes up there.
        EXPECT_EQ(make()->pos(), QPoint(123, 45));
    }
}

TEST_F(UpdateWin, NothingReceivedMeansNoRestartAndASecondRunKeepsTheFirstOnes)
{
    serve("update.lst", listOf({{"operators.dat", "UPDATE," + std::to_string(file("operators.dat").size())}}));
    serve("pagers.dat", "[New]\r\nMaxSymbols=99\r\n");
    FolderServer server(served);
    REQUIRE_SERVER(server);
    hosts({server.url("/pager/update")});
    TUpdateWin* d = make();

    // Everything up to date: the list alone is no reason to restart.
    run();
    EXPECT_FALSE(d->NeedRestart);
    // A second run receives a file; a third finds everything up to date and
    // keeps what the second received.
    serve("update.lst", listOf({{"pagers.dat", "CHANGE"}}));
    run();
    EXPECT_TRUE(d->NeedRestart);
    serve("update.lst", listOf({{"pagers.dat", "UPDATE,22"}}));
    run();
    EXPECT_TRUE(d->NeedRestart);
    EXPECT_EQ(server.requests(4).size(), 4u);
    QTest::keyClick(d, Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(messages, (std::vector<QString>{u("Теперь необходимо перезапустить программу!")}));

    // A showing without a received file says nothing at the close; a
    // deletion is no reason to restart.
    testenv::writeFile(folder + "old.dat", "old");
    serve("update.lst", listOf({{"pagers.dat", "UPDATE,22"}, {"old.dat", "DELETE"}}));
    messages.clear();
    d = make();
    run();
    EXPECT_FALSE(exists("old.dat"));
    EXPECT_FALSE(d->NeedRestart);
    d->close();
    EXPECT_TRUE(messages.empty());
}

TEST_F(UpdateWin, FailedShortAndStalledDownloadsLeaveTheOldFilesWhole)
{
    const std::string good = pattern(1500);
    wininet::InternetSetOption(nullptr, wininet::INTERNET_OPTION_RECEIVE_TIMEOUT, 700);
    ScriptedHttp server([&](const std::string& head, Peer& c) {
        const std::string path = ScriptedHttp::pathOf(head);
        if (path == "/pager/update/update.lst")
            c.send(ScriptedHttp::reply(200, listOf({{"a.dat", "CHANGE"},
                                                     {"b.dat", "CHANGE"},
                                                     {"c.dat", "CHANGE"},
                                                     {"d.dat", "CHANGE"}})));
        else if (path == "/pager/update/a.dat")
            c.send(ScriptedHttp::reply(404, "<html>Not Found</html>"));
        else if (path == "/pager/update/b.dat")
            c.send("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + pattern(600));
        else if (path == "/pager/update/c.dat") {
            c.send("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + pattern(100));
            c.stall();
        } else
            c.send(ScriptedHttp::reply(200, good));
    });
    REQUIRE_SERVER(server);
    for (const char* f : {"a.dat", "b.dat", "c.dat"}) testenv::writeFile(folder + f, std::string("old ") + f);
    hosts({server.url("/pager/update")});
    TUpdateWin* d = make();
    recordErrors();
    run();
    wininet::InternetSetOption(nullptr, wininet::INTERNET_OPTION_RECEIVE_TIMEOUT, wininet::DefaultReceiveTimeout);

    EXPECT_EQ(errorStatuses, (std::vector<QString>(3, u("Ошибка!"))));
    for (const char* f : {"a.dat", "b.dat", "c.dat"}) EXPECT_EQ(file(f), std::string("old ") + f) << f;
    // The run went on after the failures.
    EXPECT_EQ(file("d.dat"), good);
    EXPECT_TRUE(d->NeedRestart);
    EXPECT_TRUE(d->Failed);
    // The run's failures stay reported after it.
    EXPECT_EQ(d->stStatus->text(), u("Ошибка!"));
    EXPECT_TRUE(d->bBegin->isEnabled());
    // No temporary file stayed.
    EXPECT_EQ(folderFiles(), (std::vector<std::string>{"a.dat", "b.dat", "book.dat", "c.dat", "d.dat", "hosts.dat",
                                                        "operators.dat", "pagers.dat"}));
}

TEST_F(UpdateWin, AListThatCannotBeFetchedTouchesNothing)
{
    ScriptedHttp server([](const std::string&, Peer& c) { c.send(ScriptedHttp::reply(404, "no")); });
    REQUIRE_SERVER(server);
    testenv::writeFile(folder + "update.lst", listOf({{"operators.dat", "DELETE"}}));
    hosts({server.url("/pager/update")});
    TUpdateWin* d = make();
    run();
    EXPECT_EQ(d->stStatus->text(), u("Ошибка!"));
    EXPECT_TRUE(d->Failed);
    EXPECT_TRUE(exists("operators.dat"));
    EXPECT_EQ(file("update.lst"), listOf({{"operators.dat", "DELETE"}}));
    EXPECT_EQ(server.heads().size(), 1u);
}

TEST_F(UpdateWin, StopEndsOnlyTheCurrentFile)
{
    // With a time-out of ten minutes only the stop can end the stalled file.
    wininet::InternetSetOption(nullptr, wininet::INTERNET_OPTION_RECEIVE_TIMEOUT, 600000);
    ScriptedHttp server([](const std::string& head, Peer& c) {
        const std::string path = ScriptedHttp::pathOf(head);
        if (path == "/pager/update/update.lst")
            c.send(ScriptedHttp::reply(200, listOf({{"a.dat", "CHANGE"}, {"b.dat", "CHANGE"}})));
        else if (path == "/pager/update/a.dat") {
            c.send("HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n" + pattern(2000));
            c.stall();
        } else
            c.send(ScriptedHttp::reply(200, "new b"));
    });
    REQUIRE_SERVER(server);
    testenv::writeFile(folder + "a.dat", "old a");
    hosts({server.url("/pager/update")});
    TUpdateWin* d = make();
    recordErrors();
    bool stopped = false;
    d->Get->OnProgress = [&](THttpFetchThread* s, int32_t total, int32_t readed) {
        d->GetProgress(s, total, readed);
        if (stopped || d->stFile->text() != u("a.dat")) return;
        stopped = true;
        EXPECT_EQ(d->stStatus->text(), u("Получение файла..."));
        EXPECT_EQ(d->pbFile->maximum(), 5000);
        QTest::mouseClick(d->bCancel, Qt::LeftButton);
    };
    run();
    wininet::InternetSetOption(nullptr, wininet::INTERNET_OPTION_RECEIVE_TIMEOUT, wininet::DefaultReceiveTimeout);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(errorStatuses, (std::vector<QString>{u("Ошибка!")}));
    EXPECT_EQ(file("a.dat"), "old a");
    EXPECT_EQ(file("b.dat"), "new b");
    EXPECT_TRUE(d->NeedRestart);
}

TEST_F(UpdateWin, ClosingDuringADownloadStopsItWaitsThenCloses)
{
    enum How { Escape, ExitButton, CloseBox, OwnerCloses };
    const std::pair<How, const char*> cases[] = {
        {Escape, "Esc"}, {ExitButton, "Выход"}, {CloseBox, "the close box"}, {OwnerCloses, "the owner window closes"}};
    wininet::InternetSetOption(nullptr, wininet::INTERNET_OPTION_RECEIVE_TIMEOUT, 600000);
    for (const auto& [how, name] : cases) {
        SCOPED_TRACE(name);
        SetUp();
        ScriptedHttp server([](const std::string& head, Peer& c) {
            const std::string path = ScriptedHttp::pathOf(head);
            if (path == "/pager/update/update.lst")
                c.send(ScriptedHttp::reply(
                    200, listOf({{"a.dat", "CHANGE"}, {"b.dat", "CHANGE"}, {"c.dat", "CHANGE"}})));
            else if (path == "/pager/update/b.dat") {
                c.send("HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n" + pattern(2000));
                c.stall();
            } else
                c.send(ScriptedHttp::reply(200, "new"));
        });
        REQUIRE_SERVER(server);
        testenv::writeFile(folder + "b.dat", "old b");
        hosts({server.url("/pager/update")});

        QWidget owner;
        owner.setWindowTitle("owner");
        owner.show();
        ModalDriver driver;
        bool closedDuringDownload = false;
        driver.OnDialog = [&](TUpdateWin* d) {
            d->Get->OnProgress = [&, d](THttpFetchThread*, int32_t, int32_t) {
                if (closedDuringDownload || d->stFile->text() != u("b.dat")) return;
                closedDuringDownload = true;
                switch (how) {
                case Escape: QTest::keyClick(d, Qt::Key_Escape); break;
                case ExitButton: QTest::mouseClick(d->bExit, Qt::LeftButton); break;
                case CloseBox: d->close(); break;
                case OwnerCloses: owner.close(); break;
                }
                // Nothing closes while the download is still on its way.
                EXPECT_TRUE(d->isVisible());
                EXPECT_TRUE(owner.isVisible());
            };
            clickLater(d->bBegin);
        };
        const bool restart = TUpdateWin::Execute(&owner);
        EXPECT_TRUE(closedDuringDownload);
        EXPECT_TRUE(restart) << "a.dat was received before";
        EXPECT_EQ(file("a.dat"), "new");
        EXPECT_EQ(file("b.dat"), "old b");
        EXPECT_FALSE(exists("c.dat")) << "the run ended with the close";
        EXPECT_EQ(server.heads().size(), 3u);
        // The restart message, except when the program ends anyway.
        QTest::qWait(100);
        EXPECT_EQ(driver.messages, how == OwnerCloses ? std::vector<QString>{}
                                                      : std::vector<QString>{u("Теперь необходимо перезапустить программу!")});
        // The owner's close waited for the dialog, and then came.
        if (how == OwnerCloses) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return !owner.isVisible(); }, httptest::kWait));
        } else {
            EXPECT_TRUE(owner.isVisible());
        }
        TPosRec pos;
        LoadPosition("Update", pos);
        EXPECT_NE(pos.Left, -1) << "the place was stored at the close";
    }
    wininet::InternetSetOption(nullptr, wininet::INTERNET_OPTION_RECEIVE_TIMEOUT, wininet::DefaultReceiveTimeout);
}

TEST_F(UpdateWin, TheOwnerClosingAnIdleDialogClosesItWithoutHoldingUpTheEnd)
{
    serve("update.lst", listOf({{"pagers.dat", "CHANGE"}}));
    serve("pagers.dat", "[New]\r\nMaxSymbols=99\r\n");
    FolderServer server(served);
    REQUIRE_SERVER(server);
    hosts({server.url("/pager/update")});
    QWidget owner;
    owner.show();
    ModalDriver driver;
    QTimer afterRun;
    driver.OnDialog = [&](TUpdateWin* d) {
        // A second showing is not made while one is open.
        EXPECT_FALSE(TUpdateWin::Execute(&owner));
        clickLater(d->bBegin);
        // Once the run is over (the list deleted after the file came), the
        // owner closes, as at the tray's exit.
        QObject::connect(&afterRun, &QTimer::timeout, [&] {
            if (exists("update.lst") || file("pagers.dat") != "[New]\r\nMaxSymbols=99\r\n") return;
            afterRun.stop();
            owner.close();
        });
        afterRun.start(20);
    };
    EXPECT_TRUE(TUpdateWin::Execute(&owner));
    EXPECT_FALSE(owner.isVisible());
    QTest::qWait(100);
    EXPECT_TRUE(driver.messages.empty());
    EXPECT_EQ(file("pagers.dat"), "[New]\r\nMaxSymbols=99\r\n");
}

TEST_F(UpdateWin, NamesThatLeadOutsideTheFolderAreRefused)
{
    const std::string outside = folder + "../x";
    testenv::writeFile(outside, "outside");
    testenv::writeFile(folder + ".profile", "mine");
    serve("update.lst", listOf({{"../x", "CHANGE"},
                                {"/etc/x", "DELETE"},
                                {"a\\b", "CHANGE"},
                                {".profile", "DELETE"},
                                {"Operators.dat", "CHANGE"}}));
    serve("Operators.dat", "[New (City)]\r\nMailGate=###@new.example\r\n");
    FolderServer server(served);
    REQUIRE_SERVER(server);
    hosts({server.url("/pager/update")});
    TUpdateWin* d = make();
    run();
    EXPECT_EQ(testenv::readFile(outside), "outside");
    EXPECT_EQ(file(".profile"), "mine");
    // The listed name updates the file whatever its letter case.
    EXPECT_EQ(file("operators.dat"), "[New (City)]\r\nMailGate=###@new.example\r\n");
    const std::vector<std::string> files = folderFiles();
    EXPECT_EQ(std::count(files.begin(), files.end(), "Operators.dat"), 0) << "a second file was made";
    EXPECT_EQ(server.requests(2), (std::vector<std::string>{"GET /pager/update/update.lst HTTP/1.0",
                                                            "GET /pager/update/Operators.dat HTTP/1.0"}));
    EXPECT_EQ(messages, (std::vector<QString>{u("В списке обновления недопустимые имена файлов, они пропущены:\n"
                                               "../x\n/etc/x\na\\b\n.profile")}));
    EXPECT_EQ(d->stStatus->text(), u("Ошибка!"));
    EXPECT_TRUE(d->NeedRestart);
}

// A server may replace or remove only the shipped data files: never the
// programs, the remote access libraries the dialer loads, the settings or
// the user's own data, whatever the list asks, while a data file listed
// beside them still arrives.
TEST_F(UpdateWin, OnlyDataFilesAreWrittenOrDeleted)
{
    const std::vector<std::string> guarded = {"rasapi32.so", "tapi32.so", "Pager", "OrvDialer",
                                              "book.dat",    "pager.ini", "USER.DAT", "wait.dat"};
    for (const char* action : {"CHANGE", "DELETE"}) {
        SCOPED_TRACE(action);
        SetUp();
        messages.clear();
        std::vector<std::pair<std::string, std::string>> entries;
        for (const std::string& name : guarded) {
            testenv::writeFile(folder + name, "mine: " + name);
            serve(name, "planted");
            entries.emplace_back(name, action);
        }
        entries.emplace_back("operators.dat", "CHANGE");
        serve("update.lst", listOf(entries));
        serve("operators.dat", "[New (City)]\r\nMailGate=###@new.example\r\n");
        FolderServer server(served);
        REQUIRE_SERVER(server);
        hosts({server.url("/pager/update")});
        TUpdateWin* d = make();
        run();
        for (const std::string& name : guarded) EXPECT_EQ(file(name), "mine: " + name) << name;
        EXPECT_EQ(file("operators.dat"), "[New (City)]\r\nMailGate=###@new.example\r\n");
        EXPECT_EQ(server.requests(2), (std::vector<std::string>{"GET /pager/update/update.lst HTTP/1.0",
                                                                "GET /pager/update/operators.dat HTTP/1.0"}));
        QString list;
        for (const std::string& name : guarded) list += u("\n") + QString::fromStdString(name);
        EXPECT_EQ(messages,
                  (std::vector<QString>{u("В списке обновления недопустимые имена файлов, они пропущены:") + list}));
        EXPECT_EQ(d->stStatus->text(), u("Ошибка!"));
        EXPECT_TRUE(d->NeedRestart);
    }
}

// The main window's update command with the real dialog: a received file
// ends the program, and the next start has the new operators.
TEST(MainWinUpdate, AReceivedFileClosesTheProgramAndTheNextStartHasIt)
{
    const std::string folder = mwtest::makeInstall("mainwin-update") + "/";
    testenv::writeFile(folder + "pager.ini", "[Connect]\r\nUseOrvDialer=0\r\n[View]\r\nColumn2=0\r\n"
                                             "[Main]\r\nBookIndex=0\r\n");
    testenv::writeFile(folder + "book.dat", cp("[Новые]\r\nНовиков=555@new-op.example.net\r\n"));
    const std::string served = testenv::makeDir("served-mainwin") + "/";
    std::filesystem::create_directories(served + "pager/update");
    const std::string newOperators = testenv::readFile(folder + "operators.dat") +
                                     cp("\r\n[Новый оператор (Тверь)]\r\nMailGate=###@new-op.example.net\r\n"
                                        "Description=Новый оператор, тел. 000-00-09\r\n");
    testenv::writeFile(served + "pager/update/operators.dat", newOperators);
    testenv::writeFile(served + "pager/update/update.lst", listOf({{"operators.dat", "CHANGE"}}));
    FolderServer server(served);
    REQUIRE_SERVER(server);
    testenv::writeFile(folder + "hosts.dat", "[Main]\r\nurl=" + server.url("/pager/update") + "\r\n");

    trayhost::RecordingHost tray;
    {
        TMainWin w;
        bool closed = false;
        w.OnClosed = [&] { closed = true; };
        w.show();
        ModalDriver driver;
        driver.OnDialog = [&](TUpdateWin* d) {
            // Start, and leave once the run is over.
            d->Get->OnDoneFile = [d](THttpFetch* s, const std::string& f, int32_t size) {
                d->GetDoneFile(s, f, size);
                if (f.ends_with("operators.dat")) QMetaObject::invokeMethod(d, [d] { d->close(); }, Qt::QueuedConnection);
            };
            clickLater(d->bBegin);
        };
        QMetaObject::invokeMethod(w.sbUpdate, [&] { w.sbUpdate->click(); }, Qt::QueuedConnection);
        ASSERT_TRUE(QTest::qWaitFor([&] { return closed; }, httptest::kWait));
        EXPECT_EQ(driver.messages, (std::vector<QString>{u("Теперь необходимо перезапустить программу!")}));
        EXPECT_FALSE(w.isVisible());
    }
    EXPECT_EQ(testenv::readFile(folder + "operators.dat"), newOperators);
    EXPECT_FALSE(testenv::fileExists(folder + "update.lst"));

    // The next start: the new operator names the new contact's gateway.
    TMainWin next;
    ASSERT_GE(next.Book->lvAddr->topLevelItemCount(), 1);
    EXPECT_EQ(next.Book->lvAddr->topLevelItem(0)->text(1), u("Новый оператор, тел. 000-00-09"));
}
