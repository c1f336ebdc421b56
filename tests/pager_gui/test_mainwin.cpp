// The main window as a user drives it: creation, layout, the tray, the
// options, the advertising page, and the sending road against a real SMTP
// server and a second process playing the dialer.

#include "pager/main/mainwin.h"

#include "netcomp/fxsmtp.h"
#include "pager/compose.h"
#include "pager/encod.h"
#include "pager/ini.h"
#include "pager/program.h"
#include "platform/app.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "platform/ui/keyboard.h"
#include "platform/ui/trayhost.h"
#include "platform/ui/webview.h"
#include "tests/pager_gui/test_mainwin_peers.h"
#include "tests/support/testenv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>
#include <QTimeZone>
#include <QTimer>
#include <QToolTip>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

namespace {

using mwtest::kWait;
using testenv::cp;


QString u(const char* s) { return QString::fromUtf8(s); }

// pager.ini of a test: the given keys over a few of the test's own.
std::string pagerIni(std::map<std::string, std::map<std::string, std::string>> keys)
{
    std::map<std::string, std::map<std::string, std::string>> all = {
        {"Connect",
         {{"Host", "127.0.0.1"}, {"Port", "25"}, {"FromAddress", "me@example.com"}, {"FromName", "Me"},
          {"UseOrvDialer", "0"}, {"PollingInterval", "5"}}},
        {"Message", {{"CutLongMessage", "1"}, {"MaxSymbols", "240"}, {"CountLogMsg", "10"}, {"FullText", "0"}}},
        {"Main", {{"BookIndex", "0"}, {"IsHeader", "0"}, {"IsSignature", "0"}, {"IconDblClick", "1"}}},
    };
    for (auto& [section, values] : keys)
        for (auto& [key, value] : values) all[section][key] = value;
    std::string out;
    for (auto& [section, values] : all) {
        out += "[" + section + "]\r\n";
        for (auto& [key, value] : values) out += key + "=" + value + "\r\n";
        out += "\r\n";
    }
    return out;
}

class Keyboard : public keyboard::Host {
public:
    std::vector<keyboard::HKL> Layouts;
    std::vector<keyboard::HKL> Activated;
    Keyboard() { keyboard::setHost(this); }
    ~Keyboard() override { keyboard::setHost(nullptr); }
    std::vector<keyboard::HKL> List(int Max) override
    {
        return {Layouts.begin(), Layouts.begin() + std::min<size_t>(Layouts.size(), static_cast<size_t>(Max))};
    }
    bool Activate(keyboard::HKL Layout) override
    {
        Activated.push_back(Layout);
        return true;
    }
    keyboard::HKL Active() override { return Activated.empty() ? 0 : Activated.back(); }
};

class MainWin : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = mwtest::makeInstall("mainwin");
        registry::deleteKey(mwtest::kDialerKey);
    }
    void TearDown() override
    {
        w.reset();
        registry::deleteKey(mwtest::kDialerKey);
    }

    void make(const std::map<std::string, std::map<std::string, std::string>>& keys = {})
    {
        testenv::writeFile(folder + "/pager.ini", pagerIni(keys));
        w = std::make_unique<TMainWin>();
        w->OnStatusChange = [this](const AnsiString& t) { statuses.push_back(codepage::toUtf8(t)); };
        w->ShowMessage = [this](const QString& t) { messages.push_back(t); };
        w->InputQuery = [this](const QString& caption, const QString& prompt, const QString& text) {
            questions.push_back(caption + "|" + prompt + "|" + text);
            return answer;
        };
        w->OnClosed = [this] { closed = true; };
        w->ShowCloseErrors = [this](const QString& t) { closeErrors.push_back(t); };
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }

    TBookRow* row(const char* name) const
    {
        for (int i = 0; i < w->Book->Count(); ++i)
            if (w->Book->Row(i)->Name == cp(name)) return w->Book->Row(i);
        return nullptr;
    }
    // Checks a contact as a user does: selects it and presses the space bar.
    void check(const char* name)
    {
        TBookRow* r = row(name);
        ASSERT_NE(r, nullptr) << name;
        w->Book->lvAddr->setFocus();
        w->Book->lvAddr->setCurrentItem(r);
        QTest::keyClick(w->Book->lvAddr, Qt::Key_Space);
        ASSERT_EQ(r->checkState(0), Qt::Checked) << name;
    }
    void type(const QString& text)
    {
        // Key by key, as typed (Qt Test's keyClicks knows Latin letters only).
        w->mText->setFocus();
        for (QChar c : text) {
            const Qt::Key key = c == QLatin1Char(' ') ? Qt::Key_Space : Qt::Key_unknown;
            QTest::sendKeyEvent(QTest::Press, w->mText, key, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, w->mText, key, QString(c), Qt::NoModifier);
        }
    }
    // Runs Action once, inside the send, as soon as the first mail starts.
    void duringSend(std::function<void()> Action)
    {
        auto* poll = new QTimer(w.get());
        QObject::connect(poll, &QTimer::timeout, poll, [this, poll, Action] {
            for (const std::string& s : statuses) {
                if (s.starts_with("Отправка сообщения для")) {
                    poll->stop();
                    poll->deleteLater();
                    Action();
                    return;
                }
            }
        });
        poll->start(10);
    }
    void pressSend() { QTest::mouseClick(w->bSend, Qt::LeftButton); }
    // With the dialer on and nobody listening at the port: Анна is checked,
    // the text typed and sent; returns once the dialer has been asked, with
    // the request as the dialer logged it.
    std::string sendAskingTheDialer(int port, const QString& text)
    {
        make({{"Connect", {{"Port", std::to_string(port)}, {"UseOrvDialer", "1"}}}});
        check("Анна");
        type(text);
        statuses.clear();
        pressSend();
        const std::string dial = "3534:" + std::to_string(app::applicationWindow().handle()) + ";";
        EXPECT_TRUE(mwtest::Dialer::waitForLog(dial)) << mwtest::Dialer::log();
        return dial;
    }
    std::string status() const { return codepage::toUtf8(w->Status()); }
    int checkedCount() const
    {
        int n = 0;
        for (int i = 0; i < w->Book->Count(); ++i) n += w->Book->Row(i)->checkState(0) == Qt::Checked;
        return n;
    }

    std::string folder;
    trayhost::RecordingHost tray;
    std::unique_ptr<TMainWin> w;
    std::vector<std::string> statuses;
    std::vector<QString> messages;
    std::vector<QString> questions;
    std::optional<QString> answer;
    std::vector<QString> closeErrors;
    bool closed = false;
};

// A text long enough to be cut for both contacts of the send.
QString longText()
{
    QString t;
    for (int i = 1; t.size() < 250; ++i) t += u("Сообщение номер %1 для проверки. ").arg(i);
    return t.left(250);
}

}  // namespace

// ---- creation and layout ----------------------------------------------------------

TEST_F(MainWin, CreationLoadsEverythingInItsPlace)
{
    Keyboard kb;
    kb.Layouts = {0x10409, 0x20422, 0x30419, 0x40419};
    make({{"Message", {{"RusLayout", "1"}}}});
    EXPECT_EQ(w->windowTitle(), u("Orvanta Pager 3.6"));
    EXPECT_EQ(w->client->size(), QSize(561, 547));
    EXPECT_EQ(w->minimumSize(), QSize(561, 547));
    EXPECT_EQ(w->Book->cbAddrBook->count(), 2);
    EXPECT_EQ(w->Book->cbAddrBook->currentIndex(), 0);
    EXPECT_EQ(w->Book->Count(), 4);
    EXPECT_EQ(w->OpList.Count(), 8);
    EXPECT_EQ(w->PagerList.Count(), 2);
    EXPECT_TRUE(w->gbLogs->isVisible());
    EXPECT_EQ(w->lvLogs->headerItem()->text(0), u("Кому"));
    EXPECT_EQ(w->lvSendLater->headerItem()->text(0), u("Дата/Время"));
    EXPECT_EQ(w->cbSendLater->text(), u("Отложенная отправка"));
    EXPECT_EQ(w->bSend->text(), u("Отправить сообщение"));
    EXPECT_EQ(w->bClear->text(), u("Очистить"));
    EXPECT_TRUE(w->tSendLater->Running());
    EXPECT_EQ(w->tSendLater->Interval(), 5 * 60000);
    EXPECT_FALSE(w->tCheckMail->Enabled());
    EXPECT_FALSE(w->tLoadAdvert->Enabled());
    EXPECT_EQ(w->RussianLayout, 0x30419u);
    // The tray icon is up with its hint (double click shows the window).
    ASSERT_NE(tray.Find(w->icTray), nullptr);
    EXPECT_EQ(tray.Find(w->icTray)->Tip, u("Отправка SMS и пейджер сообщений"));
    // Entering the text box switches to the Russian layout.
    w->bSend->setFocus();
    w->mText->setFocus();
    QApplication::processEvents();
    w->mTextEnter();
    ASSERT_FALSE(kb.Activated.empty());
    EXPECT_EQ(kb.Activated.back(), 0x30419u);
}

TEST_F(MainWin, CreationEdgeCases)
{
    struct Case {
        const char* what;
        std::map<std::string, std::map<std::string, std::string>> keys;
        std::vector<keyboard::HKL> layouts;
        int group;
        bool logs;
        bool sendLaterTicks;
        keyboard::HKL russian;
    };
    const Case cases[] = {
        {"index beyond the groups", {{"Main", {{"BookIndex", "7"}}}}, {}, 1, true, true, 0},
        {"negative index", {{"Main", {{"BookIndex", "-1"}}}}, {}, -1, true, true, 0},
        {"no log", {{"Message", {{"CountLogMsg", "0"}}}}, {}, 0, false, true, 0},
        {"interval 0", {{"Connect", {{"PollingInterval", "0"}}}}, {}, 0, true, false, 0},
        {"Russian beyond the first 8", {}, {1, 2, 3, 4, 5, 6, 7, 8, 0x90419}, 0, true, true, 0},
        {"Russian by its low 8 bits", {}, {0x10409, 0x20819}, 0, true, true, 0x20819},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Keyboard kb;
        kb.Layouts = c.layouts;
        make(c.keys);
        EXPECT_EQ(w->Book->cbAddrBook->currentIndex(), c.group);
        EXPECT_EQ(w->Book->Count(), c.group == 1 ? 2 : c.group == 0 ? 4 : 0);
        EXPECT_EQ(w->gbLogs->isVisible(), c.logs);
        EXPECT_EQ(w->tSendLater->Running(), c.sendLaterTicks);
        EXPECT_EQ(w->RussianLayout, c.russian);
        w.reset();
    }
}

// Minutes times 60000 overflowed 32 bits: 40000 ended the sanitizer build at
// start, 71583 made the queue tick every 12.7 s.
TEST_F(MainWin, TimerIntervalsInMinutesStopAtTheLongestATimerTakes)
{
    struct Case {
        const char* polling;
        const char* every;
        int pollingMs;
        int everyMs;
    } cases[] = {
        {"5", "10", 300000, 600000},
        {"40000", "71583", INT32_MAX, INT32_MAX},
        {"35791", "35792", 2147460000, INT32_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.polling);
        make({{"Connect", {{"PollingInterval", c.polling}}}, {"CheckEmail", {{"CheckEvery", c.every}}}});
        EXPECT_EQ(w->tSendLater->Interval(), c.pollingMs);
        EXPECT_EQ(w->tCheckMail->Interval(), c.everyMs);
        EXPECT_TRUE(w->tSendLater->Running());
        // The same after the options dialog, the two values exchanged.
        w->ShowOptionsDialog = [&] {
            Ini.Connect.PollingInterval = std::atoi(c.every);
            Ini.CheckEmail.CheckEvery = std::atoi(c.polling);
            return TOptiResult{true, true, false};
        };
        w->bOptionsClick();
        EXPECT_EQ(w->tSendLater->Interval(), c.everyMs);
        EXPECT_EQ(w->tCheckMail->Interval(), c.pollingMs);
        w.reset();
    }
}

TEST_F(MainWin, HintsStayUpForTheApplicationsHintPause)
{
    make();
    QWidget* hinted = w->Book->cbAddrBook;
    ASSERT_EQ(hinted->toolTip(), u("Группа"));
    QHelpEvent e(QEvent::ToolTip, QPoint(2, 2), hinted->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(hinted, &e);
    EXPECT_EQ(hinted->toolTipDuration(), 120000);
    QToolTip::hideText();
}

// Hidden to the tray from the maximized state, the window comes back maximized.
TEST_F(MainWin, AMaximizedWindowComesBackMaximized)
{
    make();
    w->showMaximized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->isMaximized(); }, kWait));
    // Minimized by the user: the state keeps "maximized" beside "minimized",
    // and the window goes to the tray.
    w->setWindowState(w->windowState() | Qt::WindowMinimized);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->isVisible(); }, kWait));
    tray.Send(w->icTray, 0, trayhost::WM_LBUTTONDBLCLK);
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isMinimized());
    EXPECT_TRUE(w->isMaximized());
    // Hidden and shown by the menu as well.
    w->mShowHide->trigger();
    EXPECT_FALSE(w->isVisible());
    w->mShowHide->trigger();
    EXPECT_TRUE(w->isMaximized());
}

// The Russian layout is chosen when the text box is entered from another
// control, not whenever the window becomes active again (on X11 that would
// switch the layout of the whole session).
TEST_F(MainWin, RussianLayoutOnlyWhenTheTextBoxIsEntered)
{
    Keyboard kb;
    kb.Layouts = {0x10409, 0x30419};
    make({{"Message", {{"RusLayout", "1"}}}});
    struct Case {
        Qt::FocusReason reason;
        bool switches;
    } cases[] = {
        {Qt::MouseFocusReason, true},         {Qt::TabFocusReason, true},    {Qt::BacktabFocusReason, true},
        {Qt::ShortcutFocusReason, true},      {Qt::OtherFocusReason, true},  {Qt::ActiveWindowFocusReason, false},
        {Qt::PopupFocusReason, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        kb.Activated.clear();
        QFocusEvent in(QEvent::FocusIn, c.reason);
        QApplication::sendEvent(w->mText, &in);
        EXPECT_EQ(kb.Activated, c.switches ? std::vector<keyboard::HKL>{0x30419} : std::vector<keyboard::HKL>{});
    }
}

// A start that keeps the window hidden leaves it in the tray; without a
// notification area it shows it minimized, so it can be reached.
TEST_F(MainWin, AHiddenStartWithoutATrayShowsTheWindowMinimized)
{
    for (bool trayThere : {true, false}) {
        SCOPED_TRACE(trayThere);
        tray.IsAvailable = trayThere;
        testenv::writeFile(folder + "/pager.ini", pagerIni({{"Run", {{"HideOnRun", "1"}}}}));
        w = std::make_unique<TMainWin>();
        w->OnClosed = [] {};
        EXPECT_FALSE(app::application().ShowMainForm);
        w->StartHidden();
        EXPECT_EQ(w->isVisible(), !trayThere);
        EXPECT_EQ(w->isMinimized(), !trayThere);
        // The window system's report of the mapped window changes nothing.
        QApplication::processEvents();
        EXPECT_EQ(w->isVisible(), !trayThere);
        EXPECT_EQ(w->isMinimized(), !trayThere);
        // From there the tray or the task bar brings it back.
        w->ShowHide();
        EXPECT_TRUE(w->isVisible());
        EXPECT_FALSE(w->isMinimized());
        w.reset();
    }
}

TEST_F(MainWin, ResizingKeepsTheLayoutRules)
{
    for (bool logs : {true, false}) {
        make({{"Message", {{"CountLogMsg", logs ? "10" : "0"}}}});
        for (QSize size : {QSize(900, 700), QSize(640, 600), QSize(561, 547)}) {
            SCOPED_TRACE(QString("%1x%2 logs %3").arg(size.width()).arg(size.height()).arg(logs).toStdString());
            w->resize(size);
            QApplication::processEvents();
            const int cw = w->client->width();
            const int ch = w->client->height();
            ASSERT_EQ(QSize(cw, ch), size);
            const int W = (cw - 23) / 2;
            EXPECT_EQ(w->webAdvert->x(), (cw - 472) / 2);
            EXPECT_EQ(w->webAdvert->size(), QSize(472, 64));
            EXPECT_EQ(w->pAdvert->height(), 68);
            EXPECT_EQ(w->gbAddr->x(), 8);
            EXPECT_EQ(w->gbAddr->width(), W);
            EXPECT_EQ(w->gbText->width(), W);
            EXPECT_EQ(w->gbParam->x(), 8 + W + 7);
            EXPECT_EQ(w->gbParam->width(), W);
            EXPECT_EQ(w->gbSendLater->x(), 8 + W + 7);
            EXPECT_EQ(w->pTools->x(), 8 + W + 7);
            EXPECT_EQ(w->Book->lvAddr->width(), W - w->Book->sbAdd->width() - 17);
            EXPECT_EQ(w->Book->sbAdd->x(), w->Book->lvAddr->x() + w->Book->lvAddr->width() + 4);
            // 6 pixels on resizing (5 when shown).
            EXPECT_EQ(w->Book->tbAddrBook->x(), w->Book->cbAddrBook->x() + w->Book->cbAddrBook->width() + 6);
            EXPECT_EQ(w->mText->width(), W - 16);
            EXPECT_EQ(w->bClear->x() + w->bClear->width(), w->gbText->x() + w->gbText->width());
            EXPECT_EQ(w->AutoTexts->eHeader->width(), W - w->AutoTexts->cbAutoHeader->width() - 15);
            EXPECT_EQ(w->lvSendLater->width(), W - 16);
            const int B = logs ? ch - w->stStatus->height() - w->gbLogs->height() - 6 : ch - w->stStatus->height();
            if (logs) {
                EXPECT_EQ(w->gbLogs->y(), B);
                EXPECT_EQ(w->gbLogs->width(), cw - 16);
                EXPECT_EQ(w->lvLogs->width(), cw - 32);
            }
            EXPECT_EQ(w->stStatus->y() + w->stStatus->height(), ch);
            const int Y = B - w->bSend->height() - 5;
            EXPECT_EQ(w->bSend->y(), Y);
            EXPECT_EQ(w->pTools->y(), Y - 2);
            EXPECT_EQ(w->gbSendLater->y() + w->gbSendLater->height(), Y - 2 - 7);
            EXPECT_EQ(w->gbText->y(), Y - w->gbText->height() - 9);
            EXPECT_EQ(w->gbAddr->y() + w->gbAddr->height(), w->gbText->y() - 7);
            EXPECT_EQ(w->Book->lvAddr->y() + w->Book->lvAddr->height(), w->gbAddr->height() - 8);
            // Nothing of the right column runs into the left one.
            EXPECT_GT(w->gbParam->x(), w->gbAddr->x() + w->gbAddr->width());
        }
        w.reset();
    }
}

// What a new user sees at start: the greeting and the signature from their
// first letters, the log's dates whole, no scroll bar in the empty queue.
TEST_F(MainWin, AtStartTheTextsShowTheirStartAndTheColumnsHoldTheirContents)
{
    testenv::writeFile(folder + "/messages.dat", cp("[Message1]\r\nTo=Иван\r\nDate=11.12.2026 01:23:45\r\n"
                                                    "Text=Проверка\r\n"));
    // A contact's own greeting longer than its edit.
    std::string book = testenv::readFile(folder + "/book.dat");
    const std::string own = cp(",Привет,Пока,");
    ASSERT_NE(book.find(own), std::string::npos);
    book.replace(book.find(own), own.size(), cp(",Добрый день\\, дорогой и многоуважаемый друг,Пока,"));
    testenv::writeFile(folder + "/book.dat", book);
    make({{"Main", {{"Header", cp("Здравствуйте, уважаемый %NAME%!")}, {"Signature", cp("%FROMNAME%, %DATE% %TIME%")}}}});
    QApplication::processEvents();
    for (QLineEdit* e : {w->AutoTexts->eHeader, w->AutoTexts->eSignature}) {
        SCOPED_TRACE(e->objectName().toStdString());
        ASSERT_GT(e->fontMetrics().horizontalAdvance(e->text()), e->width());  // longer than the box
        EXPECT_EQ(e->cursorPosition(), 0);
    }
    ASSERT_EQ(w->lvLogs->topLevelItemCount(), 1);
    EXPECT_GE(w->lvLogs->columnWidth(1), static_cast<QAbstractItemView*>(w->lvLogs)->sizeHintForColumn(1));
    EXPECT_FALSE(w->lvLogs->horizontalScrollBar()->isVisible());
    EXPECT_EQ(w->lvSendLater->topLevelItemCount(), 0);
    EXPECT_FALSE(w->lvSendLater->horizontalScrollBar()->isVisible());

    // A contact's own greeting, shown when it is selected, from its start too.
    TBookRow* petr = row("Пётр");
    ASSERT_NE(petr, nullptr);
    w->Book->lvAddr->setCurrentItem(petr);
    EXPECT_EQ(w->AutoTexts->eHeader->text(), u("Добрый день, дорогой и многоуважаемый друг"));
    EXPECT_EQ(w->AutoTexts->eHeader->cursorPosition(), 0);
}

TEST_F(MainWin, TrayShowsAndHidesTheWindow)
{
    make({{"Main", {{"IconDblClick", "0"}}}});
    // A single click setting: the icon is there only while the window is hidden.
    EXPECT_EQ(tray.Find(w->icTray), nullptr);
    EXPECT_EQ(w->mShowHide->text(), u("Спрятать"));
    w->ShowHide();
    EXPECT_FALSE(w->isVisible());
    EXPECT_NE(tray.Find(w->icTray), nullptr);
    EXPECT_EQ(w->mShowHide->text(), u("Восстановить"));
    // A double click does nothing in this setting, a click shows the window.
    tray.Send(w->icTray, 0, trayhost::WM_LBUTTONDBLCLK);
    w->mShowHideClick();
    EXPECT_FALSE(w->isVisible());
    w->icTrayClick();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(tray.Find(w->icTray), nullptr);
    // The tray menu's entry works in either setting.
    w->mShowHide->trigger();
    EXPECT_FALSE(w->isVisible());
    w->mShowHide->trigger();
    EXPECT_TRUE(w->isVisible());
}

TEST_F(MainWin, ReloadingTheShownGroupAfterTheOptionsLosesNoEdit)
{
    make();
    w->ShowOptionsDialog = [] {
        Ini.View.Column2 = 1;
        return TOptiResult{true, true, false};
    };
    w->Book->Ask = [](const QString&) { return true; };
    w->Book->lvAddr->setCurrentItem(row("Анна"));
    ASSERT_TRUE(w->Book->sbDelClick());
    w->bOptionsClick();
    EXPECT_EQ(w->Book->Count(), 3);
    EXPECT_EQ(row("Анна"), nullptr);
    EXPECT_EQ(w->Book->lvAddr->headerItem()->text(1), u("Полное имя"));
    const std::string book = testenv::readFile(folder + "/book.dat");
    EXPECT_EQ(book.find(cp("Анна=")), std::string::npos);
    EXPECT_NE(book.find(cp("Ёлка=")), std::string::npos);
}

TEST_F(MainWin, AdvertisingPageEndsAtOnceAndAStaleFrameIsForgotten)
{
    make();
    w->AdvertFrame = 0x7777;  // a load that never completed
    w->LoadAdvert();
    EXPECT_TRUE(w->tLoadAdvert->Running());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->tLoadAdvert->Enabled(); }, kWait));
    EXPECT_EQ(w->AdvertFrame, 0u);
    EXPECT_TRUE(w->webAdvert->toPlainText().contains(u("advert.kestrane.example")));
}

// ---- the sending road ---------------------------------------------------------

TEST_F(MainWin, NoCheckedContactAndNoHost)
{
    make({{"Connect", {{"Host", "smtp.example.com"}}}});
    pressSend();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], u("Абонент не задан!"));
    check("Иван");
    statuses.clear();
    answer.reset();  // the input box is cancelled
    pressSend();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], u("Введите SMTP адрес|SMTP сервер вашего провайдера интернет:|smtp.example.com"));
    EXPECT_TRUE(statuses.empty());
    EXPECT_TRUE(w->Road().Idle());
    EXPECT_TRUE(w->bSend->isEnabled());
    EXPECT_TRUE(w->tSendLater->Enabled());
}

TEST_F(MainWin, WholeSendReachesTheServerPartByPart)
{
    mwtest::SmtpServer server;
    ASSERT_NE(server.port(), 0);
    make({{"Connect", {{"Port", std::to_string(server.port())}, {"UserID", ""}}}});
    check("Иван");
    check("Пётр");
    type(longText());
    const AnsiString body = w->BodyText;
    ASSERT_EQ(body.size(), 250u);

    // What each contact is to get, as message building makes it.
    std::vector<TMailPart> expected;
    TRungler translit;
    for (const char* name : {"Иван", "Пётр"}) {
        const TBookItem item = row(name)->Item;
        const TComposeFlags flags{item.OwnHeader, item.OwnSignature, item.CopyEMail, false, false};
        for (TMailPart& p : BuildMessage(body, cp(name), item, flags, CurrentComposeSettings(), w->PagerList,
                                         translit, QDateTime::currentDateTime()))
            expected.push_back(p);
    }
    ASSERT_EQ(expected.size(), 5u);  // 3 parts of 100 characters at most, 2 of 240

    statuses.clear();
    pressSend();
    const std::vector<mwtest::Mail> mails = server.mails();
    ASSERT_EQ(mails.size(), expected.size());
    for (size_t i = 0; i < mails.size(); ++i) {
        SCOPED_TRACE(i);
        const TMailPart& e = expected[i];
        std::vector<std::string> envelope{e.FromAddress, e.To};
        if (!e.CarbonCopy.empty()) envelope.push_back(e.CarbonCopy);
        EXPECT_EQ(mails[i].envelope, envelope);
        EXPECT_EQ(mails[i].body(), "\r\n" + e.Body + "\r\n");
        EXPECT_NE(mails[i].header().find("X-Mailer: " + e.LocalProgram + "\r\n"), std::string::npos);
    }
    EXPECT_EQ(expected[0].Body.substr(0, 6), "(1/3) ");
    EXPECT_EQ(expected[3].Body.substr(0, 6), "(1/2) ");
    EXPECT_EQ(server.lastHelo(), "pager");
    EXPECT_EQ(server.connections(), 1);

    const std::vector<std::string> order = {
        "Соединение c 127.0.0.1",
        "Отправка сообщения для Иван...", "Сообщение отправлено!",
        "Отправка сообщения для Иван...", "Сообщение отправлено!",
        "Отправка сообщения для Иван...", "Сообщение отправлено!",
        "Отправка сообщения для Пётр...", "Сообщение отправлено!",
        "Отправка сообщения для Пётр...", "Сообщение отправлено!",
        "",
    };
    EXPECT_EQ(statuses, order);
    EXPECT_TRUE(w->mText->toPlainText().isEmpty());
    EXPECT_EQ(checkedCount(), 0);
    EXPECT_TRUE(w->bSend->isEnabled());
    EXPECT_EQ(w->bClear->text(), u("Очистить"));
    EXPECT_EQ(w->SMTP, nullptr);
    EXPECT_TRUE(w->Road().Idle());
}

// A code LAT2KOI8 contact whose pager takes 30 characters: the "\\ " in the
// first part switches transliteration off for the rest of the message, every
// later part included; the next contact's message starts with it on.
TEST_F(MainWin, TransliterationSwitchHoldsForEveryLaterPartOnTheWire)
{
    mwtest::SmtpServer server;
    ASSERT_NE(server.port(), 0);
    testenv::writeFile(folder + "/pagers.dat", cp("[Мини 30]\r\nMaxSymbols=30\r\n"));
    testenv::writeFile(folder + "/book.dat", cp("[Друзья]\r\n"
                                                "Первый=111@pager.example.net,,,Мини 30,LAT2KOI8\r\n"
                                                "Второй=222@pager.example.net,,,Мини 30,LAT2KOI8\r\n"));
    make({{"Connect", {{"Port", std::to_string(server.port())}}}});
    check("Первый");
    check("Второй");
    type(u("Zhuk da \\ Zhuk net, i vsyo. Yozh tozhe zhivet"));
    pressSend();
    const std::vector<mwtest::Mail> mails = server.mails();
    ASSERT_EQ(mails.size(), 6u);
    // Pieces of 21 characters; the switch comes in the first.
    const std::string parts[] = {WinToKoi(cp("(1/3) Жук да Zhuk net, i>")), "(2/3)  vsyo. Yozh tozhe zhi>",
                                 "(3/3) vet"};
    for (size_t i = 0; i < mails.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(mails[i].envelope[1], i < 3 ? "111@pager.example.net" : "222@pager.example.net");
        EXPECT_EQ(mails[i].body(), "\r\n" + parts[i % 3] + "\r\n");
    }
}

TEST_F(MainWin, CancelWhileTheServerStallsReturnsToIdleWithoutTheDialer)
{
    mwtest::Dialer dialer;
    ASSERT_NE(mwtest::Dialer::handle(), 0u);
    mwtest::SmtpServer server("stall");
    ASSERT_NE(server.port(), 0);
    make({{"Connect", {{"Port", std::to_string(server.port())}, {"UseOrvDialer", "1"}}}});
    check("Анна");
    type(u("Привет"));
    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        statuses.clear();
        bool sendingState = false;
        duringSend([&] {
            sendingState = !w->bSend->isEnabled() && w->bClear->text() == u("Отмена");
            QTest::mouseClick(w->bClear, Qt::LeftButton);
        });
        pressSend();
        EXPECT_TRUE(sendingState);
        EXPECT_EQ(status(), "Ошибка соединения с 127.0.0.1");
        EXPECT_TRUE(w->Road().Idle());
        EXPECT_EQ(w->SMTP, nullptr);
        EXPECT_TRUE(w->bSend->isEnabled());
        EXPECT_EQ(w->bClear->text(), u("Очистить"));
        // Nothing is lost: the text and the check stay.
        EXPECT_EQ(w->mText->toPlainText(), u("Привет"));
        EXPECT_EQ(checkedCount(), 1);
        // Each send connects afresh.
        EXPECT_EQ(server.connections(), attempt);
    }
    QTest::qWait(50);
    EXPECT_EQ(mwtest::Dialer::log().find("3534:"), std::string::npos);
    EXPECT_TRUE(server.mails().empty());
}

TEST_F(MainWin, RefusalByTheServerIsReportedAndNeverAsksTheDialer)
{
    mwtest::Dialer dialer;
    mwtest::SmtpServer server("refuse");
    ASSERT_NE(server.port(), 0);
    make({{"Connect", {{"Port", std::to_string(server.port())}, {"UseOrvDialer", "1"}}}});
    check("Анна");
    type(u("Привет"));
    for (int attempt = 1; attempt <= 2; ++attempt) {
        pressSend();
        EXPECT_EQ(status(), "Ошибка соединения с 127.0.0.1");
        EXPECT_TRUE(w->Road().Idle());
        EXPECT_FALSE(w->DialerAsked());
        EXPECT_TRUE(w->bSend->isEnabled());
        EXPECT_EQ(w->mText->toPlainText(), u("Привет"));
        EXPECT_EQ(server.connections(), attempt);
    }
    QTest::qWait(50);
    EXPECT_EQ(mwtest::Dialer::log(), "");
}

TEST_F(MainWin, DialerRoadRefusedThenLineUpThenSendThenHangUp)
{
    mwtest::Dialer dialer;
    ASSERT_NE(mwtest::Dialer::handle(), 0u);
    const int port = mwtest::freePort();
    ASSERT_NE(port, 0);
    const std::string dial = sendAskingTheDialer(port, u("Привет"));  // connection refused
    EXPECT_TRUE(w->Road().Waiting());
    EXPECT_TRUE(w->DialerAsked());
    EXPECT_FALSE(w->bSend->isEnabled());
    EXPECT_EQ(w->bClear->text(), u("Отмена"));
    // A tick meanwhile starts nothing and a line-up message for nobody's send
    // would be ignored; here the send waits, so the line-up resumes it.
    w->tSendLaterTimer();
    EXPECT_TRUE(w->Road().QueueTickWaiting());

    mwtest::SmtpServer server("accept", port);  // the line is up
    ASSERT_EQ(server.port(), port);
    dialer.lineUp();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.mails().size() == 1 && w->Road().Idle(); }, kWait));
    ASSERT_TRUE(mwtest::Dialer::waitForLog("3535:0;")) << mwtest::Dialer::log();
    const std::string log = mwtest::Dialer::log();
    EXPECT_LT(log.find(dial), log.find("3535:0;"));
    EXPECT_EQ(log.find("3534:", log.find(dial) + 1), std::string::npos);  // asked once

    const mwtest::Mail mail = server.mails()[0];
    EXPECT_EQ(mail.envelope, (std::vector<std::string>{"me@example.com", "pg555@capital.example.net"}));
    EXPECT_EQ(mail.body(), "\r\n" + cp("Привет") + "\r\n");  // code WIN: unchanged
    const auto at = [&](const char* s) { return std::find(statuses.begin(), statuses.end(), s) - statuses.begin(); };
    EXPECT_LT(at("Установка соединения..."), at("Проверка имени и пароля..."));
    EXPECT_LT(at("Проверка имени и пароля..."), at("Сообщение отправлено!"));
    EXPECT_LT(at("Сообщение отправлено!"), static_cast<long>(statuses.size()));
    EXPECT_TRUE(w->mText->toPlainText().isEmpty());
    EXPECT_EQ(checkedCount(), 0);
    EXPECT_FALSE(w->DialerAsked());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Road().QueueTickWaiting(); }, kWait));
}

namespace {

const QDateTime kSendTime(QDate(2026, 3, 5), QTime(9, 7, 30), QTimeZone(3 * 3600));

// The whole mail Анна gets for a text (code WIN: the text as typed), sent
// at kSendTime.
std::string annasMail(const char* text)
{
    return "From: Me<me@example.com>\r\n"
           "To: pg555@capital.example.net\r\n"
           "X-Mailer: Orvanta Pager 3.6\r\n"
           "Date: Thu, 05 Mar 2026 09:07:30 +0300\r\n"
           "Mime-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=windows-1251\r\n"
           "\r\n\r\n" +
           cp(text) + "\r\n";
}

}  // namespace

// The dialer posts 3537 before each redial and 3536 when a later attempt
// connects: the send waits through the failed attempt, parked, and goes out
// on the line that comes up; then the dialer is told to hang up.
TEST_F(MainWin, ASendParkedByAFailedDialGoesOutWhenARedialConnects)
{
    const mwtest::FixedClock clock(kSendTime);
    mwtest::Dialer dialer;
    ASSERT_NE(mwtest::Dialer::handle(), 0u);
    const int port = mwtest::freePort();
    const std::string dial = sendAskingTheDialer(port, u("Привет"));  // no line

    dialer.report(WM_DIAL_DIALING);
    dialer.report(WM_DIAL_DISCONNECTED);  // the first attempt failed; the dialer redials
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->Road().Parked(); }, kWait));
    EXPECT_EQ(status(), "Связь разорвана");
    EXPECT_TRUE(w->bSend->isEnabled());
    EXPECT_EQ(w->bClear->text(), u("Очистить"));
    EXPECT_TRUE(w->tSendLater->Enabled());
    EXPECT_TRUE(w->DialerAsked());
    EXPECT_EQ(w->mText->toPlainText(), u("Привет"));

    mwtest::SmtpServer server("accept", port);  // the redial gets the line
    ASSERT_EQ(server.port(), port);
    dialer.report(WM_DIAL_DIALING);
    dialer.report(WM_DIAL_AUTHENTICATING);
    dialer.report(WM_DIAL_CONNECTED);
    ASSERT_TRUE(mwtest::Dialer::waitForLog("3535:0;")) << mwtest::Dialer::log();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->Road().Idle(); }, kWait));

    const std::vector<mwtest::Mail> mails = server.mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].envelope, (std::vector<std::string>{"me@example.com", "pg555@capital.example.net"}));
    EXPECT_EQ(mails[0].content, annasMail("Привет"));
    EXPECT_EQ(server.connections(), 1);

    // The dialer heard one request, nothing while it redialled, and the
    // hang-up once the mail was out.
    const std::string log = mwtest::Dialer::log();
    EXPECT_EQ(log.find("3534:", log.find(dial) + 1), std::string::npos);
    EXPECT_EQ(log.find("3535:"), log.rfind("3535:"));
    EXPECT_EQ(log.substr(log.size() - 7), "3535:0;");
    const std::vector<std::string> order = {
        "Установка соединения...", "Связь разорвана", "Установка соединения...", "Проверка имени и пароля...",
        "Соединение c 127.0.0.1",  "Отправка сообщения для Анна...", "Сообщение отправлено!", "",
    };
    EXPECT_EQ(std::vector<std::string>(statuses.end() - static_cast<long>(order.size()), statuses.end()), order);
    EXPECT_TRUE(w->mText->toPlainText().isEmpty());
    EXPECT_EQ(checkedCount(), 0);
    EXPECT_FALSE(w->DialerAsked());
    EXPECT_EQ(w->lvLogs->topLevelItemCount(), 1);
}

TEST_F(MainWin, ClearWhileParkedDropsTheSendAndHangsUp)
{
    mwtest::Dialer dialer;
    const int port = mwtest::freePort();
    sendAskingTheDialer(port, u("Привет"));
    dialer.fail();  // dialling, failed
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->Road().Parked(); }, kWait));
    EXPECT_EQ(status(), "Связь разорвана");
    // Nothing was posted on 3537: a report that goes round the dialer after
    // it finds the dialer's log without a hang-up.
    dialer.report(WM_DIAL_AUTHENTICATING);
    ASSERT_TRUE(QTest::qWaitFor([&] { return status() == "Проверка имени и пароля..."; }, kWait));
    EXPECT_EQ(mwtest::Dialer::log().find("3535:"), std::string::npos);

    mwtest::SmtpServer server("accept", port);
    QTest::mouseClick(w->bClear, Qt::LeftButton);
    EXPECT_TRUE(w->Road().Idle());
    ASSERT_TRUE(mwtest::Dialer::waitForLog("3535:0;"));
    EXPECT_FALSE(w->DialerAsked());
    EXPECT_TRUE(w->mText->toPlainText().isEmpty());
    EXPECT_EQ(checkedCount(), 0);

    // The redial that connects later finds nothing parked and starts
    // nothing (the report after it shows that the pager has handled it).
    dialer.report(WM_DIAL_DIALING);
    dialer.report(WM_DIAL_CONNECTED);
    dialer.report(WM_DIAL_AUTHENTICATING);
    ASSERT_TRUE(QTest::qWaitFor([&] { return status() == "Проверка имени и пароля..."; }, kWait));
    EXPECT_TRUE(w->Road().Idle());
    EXPECT_EQ(server.connections(), 0);
    EXPECT_TRUE(server.mails().empty());
}

TEST_F(MainWin, ANewSendReplacesTheParkedOneAndTextTypedMeanwhileStays)
{
    const mwtest::FixedClock clock(kSendTime);
    mwtest::Dialer dialer;
    const int port = mwtest::freePort();
    sendAskingTheDialer(port, u("Первое"));
    dialer.fail();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->Road().Parked(); }, kWait));

    // A second message, sent while the first is parked, takes its place.
    QTest::keyClick(w->mText, Qt::Key_A, Qt::ControlModifier);
    type(u("Второе"));
    pressSend();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->Road().Waiting(); }, kWait));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const std::string log = mwtest::Dialer::log();
            return log.find("3534:", log.find("3534:") + 1) != std::string::npos;
        },
        kWait))
        << mwtest::Dialer::log();
    dialer.fail();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->Road().Parked(); }, kWait));

    // The user goes on typing while it is parked.
    type(u(" и третье"));
    mwtest::SmtpServer server("accept", port);
    dialer.report(WM_DIAL_CONNECTED);
    ASSERT_TRUE(mwtest::Dialer::waitForLog("3535:0;"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->Road().Idle(); }, kWait));
    const std::vector<mwtest::Mail> mails = server.mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].content, annasMail("Второе"));
    // What was typed after the send started is not cleared away.
    EXPECT_EQ(w->mText->toPlainText(), u("Второе и третье"));
    EXPECT_EQ(checkedCount(), 1);
}

TEST_F(MainWin, TicksDuringASendStartNothingAndRunAfterIt)
{
    mwtest::SmtpServer server("stall");
    make({{"Connect", {{"Port", std::to_string(server.port())}}}});
    check("Иван");
    type(u("Привет"));
    bool queueWaits = false;
    bool mailWaits = false;
    int connections = 0;
    duringSend([&] {
        w->tSendLaterTimer();
        w->tCheckMailTimer();
        queueWaits = w->Road().QueueTickWaiting();
        mailWaits = w->Road().MailTickWaiting();
        QTest::qWait(50);
        connections = server.connections();
        QTest::mouseClick(w->bClear, Qt::LeftButton);
    });
    pressSend();
    EXPECT_TRUE(queueWaits);
    EXPECT_TRUE(mailWaits);
    EXPECT_EQ(connections, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Road().QueueTickWaiting() && !w->Road().MailTickWaiting(); }, kWait));
    EXPECT_EQ(server.connections(), 1);
}

TEST_F(MainWin, CloseDuringAStalledSendUnwindsThenSavesEverything)
{
    mwtest::SmtpServer server("stall");
    make({{"Connect", {{"Port", std::to_string(server.port())}}}});
    w->Book->Ask = [](const QString&) { return true; };
    w->Book->lvAddr->setCurrentItem(row("Ёлка"));
    ASSERT_TRUE(w->Book->sbDelClick());
    check("Иван");
    type(u("Привет"));
    // The options file cannot be written: the other steps still run.
    std::filesystem::remove(folder + "/pager.ini");
    std::filesystem::create_directory(folder + "/pager.ini");
    bool closedInside = true;
    duringSend([&] {
        w->close();
        closedInside = closed;
    });
    pressSend();
    EXPECT_FALSE(closedInside);  // not while the send was on the stack
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed; }, kWait));
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->SMTP, nullptr);
    const std::string book = testenv::readFile(folder + "/book.dat");
    EXPECT_EQ(book.find(cp("Ёлка=")), std::string::npos);
    EXPECT_NE(book.find(cp("Иван=12345@pager.example.net")), std::string::npos);
    EXPECT_NE(book.find(cp("[Работа]")), std::string::npos);
    EXPECT_TRUE(registry::readDword("Software\\Kestrane\\Pager\\Position\\Main", "Width").has_value());
    EXPECT_TRUE(registry::readDword("Software\\Kestrane\\Pager\\Position\\Book\\Columns\\Section1", "Width"));
    EXPECT_EQ(server.connections(), 1);
    // The options' failure is told once the close has done everything else.
    ASSERT_EQ(closeErrors.size(), 1u);
    EXPECT_EQ(closeErrors[0], QString::fromStdString("Unable to write to " + folder + "/pager.ini"));
    // A second close does nothing more.
    closed = false;
    w->close();
    EXPECT_FALSE(closed);
}
