// The dialer's window against the remote access service (its test build, whose
// clock the tests move), with the window's timers on the virtual clock too:
// dialling for the pager and for the user, the status texts, the error table,
// redial, rotation over the checked numbers, a dropped line, hang-up, the
// statistics across midnight, what the window stores, and the rulings on the
// faults of the original (failed entry change, one attempt at a time, refused
// dials, destruction while dialling, the traffic statistics).
//
// The connection road's rules on their own (each event sequence and what it
// posts) are tested without a window in tests/dialer/test_dialroad.cpp; here
// the window forwards the real service's events to it and shows what it does.
//
// The pager and the other product (Zelvo) are windows of this process that
// record what they are posted.

#include "common/dialmsg.h"
#include "dialer/controls/orvctrls.h"
#include "dialer/window/inetdial.h"
#include "dialer/phones.h"
#include "dialer/ras/velrascon.h"
#include "dialer/ras/velrasper.h"
#include "dialer/service.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "platform/sound/sound.h"
#include "platform/timer.h"
#include "platform/ui/trayhost.h"
#include "platform/ui/widgets.h"
#include "platform/userdirs.h"
#include "tests/dialer/raslibs.h"
#include "tests/support/testenv.h"
#include "tray/trayshell.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <thread>

using testenv::cp;

namespace {

const char* const kBook =
    "[Провайдер]\n"
    "Number=5551234\n"
    "UserName=ivanov\n"
    "StepTime=100\n"
    "HangUpTime=0\n"
    "ClientIP=192.0.2.77\n"
    "Speed=33600\n"
    "Line.5550001=busy\n"
    "Line.5550002=busy\n"
    "Line.5550003=busy\n"
    "Line.5550005=drop 3\n"
    "Line.5550600=fail 600 2\n"
    "Line.5550619=fail 619 2\n"
    "Line.5550629=fail 629 4\n"
    "Line.5550631=fail 631 2\n"
    "Line.5550633=refuse\n"
    "Line.5550668=fail 668 2\n"
    "Line.5550676=busy\n"
    "Line.5550678=noanswer\n"
    "Line.5550680=nodialtone\n"
    "Line.5550691=authfail\n"
    "[Без адреса]\n"
    "Number=5554444\n"
    "StepTime=100\n"
    "HangUpTime=0\n"
    "ProjectionError=733\n"
    "[Без списка]\n"
    "Number=5553333\n"
    "StepTime=100\n"
    "HangUpTime=0\n"
    "EnumError=610\n";

// Entries in the window's (alphabetical) order.
enum { kNoAddress = 0, kNoList = 1, kProvider = 2 };

constexpr uint32_t kSentinel = 0x7FFF;

// A window of this process that records what it is posted.
struct Recorder {
    winmsg::Window window;
    std::vector<winmsg::Message> got;

    Recorder()
    {
        window.onMessage = [this](const winmsg::Message& m) { got.push_back(m); };
    }
    winmsg::HWND handle() const { return window.handle(); }
    // Everything posted to it before now has arrived: posts from this process
    // leave through one socket, so the sentinel comes after them.
    void drain()
    {
        winmsg::postMessage(handle(), kSentinel, 0, 0);
        raslibs::waitFor([this] { return !got.empty() && got.back().msg == kSentinel; });
        got.pop_back();
    }
    std::vector<uint32_t> numbers()
    {
        drain();
        std::vector<uint32_t> out;
        for (const auto& m : got) out.push_back(m.msg);
        return out;
    }
};

std::string storeFile() { return userdirs::configDir() + "/registry.reg"; }

class IDial : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::remove(storeFile().c_str());
        std::filesystem::remove_all(userdirs::autostartDir());
        base = QDateTime(QDate(2026, 3, 5), QTime(10, 0, 0));
        timers::setVirtual(true);
        start = timers::virtualNow();
        // The wall clock moves with the window's timers.
        sysclock::setSource([this] { return base.addMSecs(static_cast<qint64>(timers::virtualNow() - start)); });
        raslibs::useService();
        raslibs::writePhonebook(kBook);
        registry::writeDword(ZelvoKey, "Handle", zelvo.handle());
    }

    void TearDown() override
    {
        dial.reset();
        raslibs::reset();
        timers::setVirtual(false);
        sysclock::setSource({});
    }

    void make()
    {
        dial = std::make_unique<TIDial>();
        dial->Beep = [this] { ++beeps; };
        dial->Sleep = [this](int ms) { sleeps.push_back({ms, timers::virtualNow()}); };
        dial->ShowNumberDialog = [this](const QString& caption, const AnsiString& text) -> std::optional<AnsiString> {
            dialogs.push_back({caption, text});
            return answer;
        };
        // Every attempt starts with the port being opened: the number dialled.
        auto inner = dial->VelRasCon->OnStateChanged;
        dial->VelRasCon->OnStateChanged = [this, inner](TVelRasCon* c) {
            if (c->StateSource == 0 && c->ConnectState == 0 && c->ConnectError == 0) dialled.push_back(c->PhoneNumber);
            inner(c);
        };
        auto hook = app::applicationWindow().onMessage;
        app::applicationWindow().onMessage = [this, hook](const winmsg::Message& m) {
            hook(m);
            ++taken;
        };
    }

    // The numbers of an entry as the registry holds them before the start.
    static void phones(const char* entry, const std::vector<TPhoneRow>& rows)
    {
        TEntryState s;
        s.Phones = rows;
        WritePhones(cp(entry), s);
    }
    static void pick(int entry) { registry::writeDword(DialerKey, "EntryIndex", static_cast<uint32_t>(entry)); }

    // A message to the dialer's window, as another program posts it; returns
    // once the window has handled it.
    void toDialer(uint32_t msg, uint32_t wParam = 0)
    {
        const int before = taken;
        winmsg::postMessage(app::applicationWindow().handle(), msg, wParam, 0);
        ASSERT_TRUE(raslibs::waitFor([&] { return taken > before; }));
    }

    // The service's clock and the window's timers (and the wall clock) move on
    // together, 100 ms at a time.
    void run(int ms)
    {
        for (int t = 0; t < ms; t += 100) {
            raslibs::advance(100);
            timers::advance(100);
            QCoreApplication::processEvents();
        }
    }

    // The log's lines, newest first, without their time stamps.
    std::vector<AnsiString> log() const
    {
        std::vector<AnsiString> out;
        for (const AnsiString& l : dial->LogLines()) out.push_back(l.empty() ? l : l.substr(l.find("] ") + 2));
        return out;
    }
    int logged(const AnsiString& text) const
    {
        const auto l = log();
        return static_cast<int>(std::count(l.begin(), l.end(), text));
    }
    AnsiString panel(int i) const { return codepage::fromUnicode(dial->slPanels[i]->text()); }
    static AnsiString text(const QLabel* l) { return codepage::fromUnicode(l->text()); }
    QString hint() const
    {
        const auto* icon = tray.Find(dial->icTray);
        return icon ? icon->Tip : QString();
    }
    // Whether the tray shows the picture of the state (0 off line, 1 connected).
    bool trayShows(int n) const
    {
        const auto* icon = tray.Find(dial->icTray);
        const TIcon* want = dial->icTray->Icons()->GetIcon(n);
        return icon && want && icon->Icon.pixmap(16).toImage() == want->ToQIcon().pixmap(16).toImage();
    }
    // Connections the service holds.
    static int connections()
    {
        auto f = reinterpret_cast<ras::PRasEnumConnectionsA>(raslibs::symbol("RasEnumConnectionsA"));
        std::vector<ras::RASCONNA> buf(8);
        buf[0].dwSize = sizeof(ras::RASCONNA);
        ras::DWORD size = static_cast<ras::DWORD>(buf.size() * sizeof(ras::RASCONNA));
        ras::DWORD count = 0;
        f(buf.data(), &size, &count);
        return static_cast<int>(count);
    }
    std::vector<AnsiString> sounds() const
    {
        std::vector<AnsiString> out;
        for (const auto& c : player.Calls) out.push_back(c.HasName ? c.Name : AnsiString("(stop)"));
        return out;
    }

    QDateTime base;
    uint64_t start = 0;
    sound::RecordingPlayer player;
    trayhost::RecordingHost tray;
    Recorder pager;
    Recorder zelvo;
    std::unique_ptr<TIDial> dial;
    int beeps = 0;
    int taken = 0;
    std::vector<std::pair<int, uint64_t>> sleeps;  // ms, when
    std::vector<AnsiString> dialled;
    std::vector<std::pair<QString, AnsiString>> dialogs;
    std::optional<AnsiString> answer;
};

const AnsiString kProviderName = cp("Провайдер");

}  // namespace

// ---- the happy path ---------------------------------------------------------------

TEST_F(IDial, TheLineThePagerAsksForComesUpAndGoesWhenThePagerHangsUp)
{
    phones("Провайдер", {{"5551234", true}});
    pick(kProvider);
    make();
    ASSERT_EQ(dial->CurrentEntry, kProviderName);
    EXPECT_EQ(codepage::fromUnicode(dial->eLogin->text()), "ivanov");

    toDialer(WM_DIAL_CONNECT, pager.handle());
    // The other product hears of the line first, and the dial waits 300 ms.
    ASSERT_EQ(sleeps.size(), 1u);
    EXPECT_EQ(sleeps[0].first, 300);
    EXPECT_EQ(zelvo.numbers(), std::vector<uint32_t>({WM_LINE_ACQUIRE}));
    EXPECT_FALSE(dial->sbDial->isEnabled());
    EXPECT_FALSE(dial->mPDial->isEnabled());
    EXPECT_FALSE(dial->mPEntries->menuAction()->isEnabled());
    EXPECT_TRUE(dial->sbHangUp->isEnabled());
    EXPECT_TRUE(dial->mPHangUp->isEnabled());
    EXPECT_FALSE(dial->cbEntries->isEnabled());
    run(1000);

    EXPECT_EQ(dialled, std::vector<AnsiString>({"P5551234"}));
    EXPECT_EQ(log(), std::vector<AnsiString>({cp("Связь установлена"), cp("Проверка имени и пароля..."),
                                              cp("Соединение установлено"), cp("Соединение..."),
                                              cp("Подготовка к соединению с Провайдер")}));
    EXPECT_EQ(panel(0), cp("33600 бит/сек"));
    EXPECT_EQ(panel(1), "192.0.2.77");
    EXPECT_EQ(panel(2), "5551234");
    EXPECT_EQ(panel(3), "00:00:01");
    EXPECT_EQ(hint(), QString::fromUtf8("33600 бит/с  00:00:01 сек"));
    EXPECT_TRUE(trayShows(1));
    EXPECT_EQ(text(dial->stRecv), " 0");
    EXPECT_EQ(text(dial->stSpeedXmit), " 0");
    EXPECT_EQ(sounds(), std::vector<AnsiString>({"(stop)", "Sounds\\Connect.wav"}));
    EXPECT_EQ(player.Calls.back().Flags, sound::SND_FILENAME | sound::SND_ASYNC);
    const std::vector<uint32_t> reports = {WM_DIAL_DIALING, WM_DIAL_AUTHENTICATING, WM_DIAL_CONNECTED};
    EXPECT_EQ(pager.numbers(), reports);
    for (const auto& m : pager.got) EXPECT_EQ(m.wParam, app::applicationWindow().handle());
    EXPECT_EQ(dial->Road.PagerWindow, 0u);

    run(2000);
    EXPECT_EQ(panel(3), "00:00:03");
    EXPECT_EQ(text(dial->stDay), "00:00:03");
    EXPECT_EQ(text(dial->stMonthEntry), "00:00:03");
    EXPECT_EQ(dial->PerfRecv->Samples().size(), 3u);

    toDialer(WM_DIAL_HANGUP);
    const auto after = log();
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(after[0], "");  // the empty line stands above the line it follows
    EXPECT_EQ(after[1], cp("Соединение разорвано"));
    EXPECT_EQ(connections(), 0);
    EXPECT_EQ(sounds().back(), "Sounds\\Disconnect.wav");
    EXPECT_TRUE(trayShows(0));
    EXPECT_EQ(hint(), QString::fromUtf8("Orvanta Dialer 1.3"));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(panel(i), "") << i;
    EXPECT_TRUE(dial->PerfRecv->Samples().empty());
    EXPECT_TRUE(dial->sbDial->isEnabled());
    EXPECT_FALSE(dial->sbHangUp->isEnabled());

    run(20000);
    EXPECT_EQ(dialled.size(), 1u);  // a line given up is not brought up again
    EXPECT_EQ(pager.numbers(), reports);  // the pager hears nothing of the end
    EXPECT_EQ(zelvo.numbers(), std::vector<uint32_t>({WM_LINE_ACQUIRE, WM_LINE_RELEASE}));
    // The day's time was stored at the hang-up.
    EXPECT_EQ(registry::readDword(StatisticsKey(DialerKey, QDate(2026, 3, 5)), "5"), 3u);
}

TEST_F(IDial, AStateWithoutATextEmptiesTheHintAndLogsNothing)
{
    phones("Провайдер", {{"5551234", true}});
    pick(kProvider);
    make();
    dial->sbDialClick();
    run(100);  // states 0 (the same as the last: dropped) and 1
    EXPECT_EQ(hint(), QString());
    EXPECT_EQ(log(), std::vector<AnsiString>({cp("Подготовка к соединению с Провайдер")}));
    run(100);  // state 2
    EXPECT_EQ(hint(), QString::fromUtf8("Соединение..."));
}

// ---- failures and redial ------------------------------------------------------------

TEST_F(IDial, TheErrorTableSaysWhatIsLoggedAndWhatIsRedialled)
{
    struct Row {
        const char* number;
        uint16_t error;
        bool logged;
        bool redial;
    };
    const Row table[] = {
        {"5550600", 600, false, false}, {"5550619", 619, true, false}, {"5550631", 631, true, false},
        {"5550668", 668, true, false},  {"5550691", 691, true, false}, {"5550676", 676, true, true},
        {"5550678", 678, true, true},   {"5550680", 680, true, true},  {"5550629", 629, true, true},
    };
    std::vector<TPhoneRow> rows;
    for (const Row& r : table) rows.push_back({r.number, false});
    phones("Провайдер", rows);
    pick(kProvider);
    make();
    for (size_t i = 0; i < std::size(table); ++i) {
        const Row& r = table[i];
        SCOPED_TRACE(r.number);
        dial->lbNumbers->item(static_cast<int>(i))->setCheckState(Qt::Checked);
        dial->lbNumbers->setCurrentRow(static_cast<int>(i));
        pager.got.clear();
        toDialer(WM_DIAL_CONNECT, pager.handle());
        run(1000);
        const AnsiString errorText = dial->VelRasCon->ErrorText(r.error);
        EXPECT_EQ(logged(errorText), r.logged ? 1 : 0);
        EXPECT_EQ(logged(cp("Соединение разорвано")), static_cast<int>(i) + 1);  // Disconnected runs for each
        EXPECT_EQ(dial->tReDial->Enabled(), r.redial);
        EXPECT_EQ(dial->Road.DialingHandle, 0u);
        EXPECT_EQ(connections(), 0);
        EXPECT_EQ(pager.numbers().back(), WM_DIAL_DISCONNECTED);
        dial->sbHangUpClick();  // a pending redial goes
        EXPECT_FALSE(dial->tReDial->Enabled());
        dial->lbNumbers->item(static_cast<int>(i))->setCheckState(Qt::Unchecked);
    }
}

TEST_F(IDial, ABusyNumberIsRedialledNineTimesFiveSecondsApartWithTheOptionOn)
{
    phones("Провайдер", {{"5550001", true}});
    pick(kProvider);
    make();
    dial->sbDialClick();
    run(120000);
    ASSERT_EQ(sleeps.size(), 10u);  // the first attempt and nine more
    for (size_t i = 1; i < sleeps.size(); ++i) {
        const uint64_t gap = sleeps[i].second - sleeps[i - 1].second;
        EXPECT_EQ(gap, sleeps[1].second - sleeps[0].second) << i;
        EXPECT_GE(gap, 5000u);  // the attempt's 300 ms, then 5 s
        EXPECT_LE(gap, 5400u);
    }
    EXPECT_EQ(dial->tReDial->Interval(), 5000);
    EXPECT_EQ(logged(cp("Линия занята.")), 10);
    EXPECT_EQ(dial->Road.Redial.Attempts, 0);
    EXPECT_FALSE(dial->tReDial->Enabled());
}

TEST_F(IDial, WithTheRedialOptionOffAFailedAttemptStaysTheOnlyOne)
{
    phones("Провайдер", {{"5550001", true}});
    pick(kProvider);
    make();
    dial->mPAutoDial->trigger();
    EXPECT_FALSE(DialerOptions.ReDial);
    EXPECT_FALSE(dial->mPAutoDial->isChecked());
    dial->sbDialClick();
    run(60000);
    EXPECT_EQ(dialled.size(), 1u);
}

TEST_F(IDial, RedialGoesRoundTheCheckedNumbers)
{
    phones("Провайдер", {{"5550001", true}, {"5550002", false}, {"5550003", true}});
    pick(kProvider);
    make();
    toDialer(WM_DIAL_CONNECT, pager.handle());
    run(17000);
    EXPECT_EQ(dialled, std::vector<AnsiString>({"P5550001", "P5550003", "P5550001", "P5550003"}));
    EXPECT_EQ(dial->SelectedNumber(), 2);
    // The pager hears of each attempt and of its failure.
    std::vector<uint32_t> reports;
    for (int i = 0; i < 4; ++i) reports.insert(reports.end(), {WM_DIAL_DIALING, WM_DIAL_DISCONNECTED});
    EXPECT_EQ(pager.numbers(), reports);
}

TEST_F(IDial, AnUncheckedSelectedNumberDialsTheNextCheckedOneToneWhenAsked)
{
    phones("Провайдер", {{"5550001", false}, {"5551234", true}});
    pick(kProvider);
    make();
    dial->mPTone->trigger();
    dial->sbDialClick();
    run(1000);
    EXPECT_EQ(dialled, std::vector<AnsiString>({"T5551234"}));
    EXPECT_EQ(dial->SelectedNumber(), 1);
}

TEST_F(IDial, ASilentDropIsRedialledWithTheSameNumberAUserHangUpIsNot)
{
    phones("Провайдер", {{"5550005", true}, {"5551234", true}});
    pick(kProvider);
    make();
    dial->sbDialClick();
    run(1000);
    ASSERT_TRUE(dial->tTimeOnLine->Enabled());
    run(4000);  // the line drops 3 s after it came up; the next tick sees it
    EXPECT_FALSE(dial->tTimeOnLine->Enabled());
    EXPECT_EQ(logged(cp("Соединение разорвано")), 1);
    EXPECT_EQ(sounds().back(), "Sounds\\Disconnect.wav");
    run(6000);
    EXPECT_EQ(dialled, std::vector<AnsiString>({"P5550005", "P5550005"}));
    ASSERT_TRUE(dial->tTimeOnLine->Enabled());

    dial->sbHangUpClick();
    EXPECT_FALSE(dial->tTimeOnLine->Enabled());
    run(20000);
    EXPECT_EQ(dialled.size(), 2u);
    EXPECT_EQ(connections(), 0);
}

// ---- statistics --------------------------------------------------------------------

TEST_F(IDial, AConnectionAcrossMidnightAndTheMonthsEndCountsForTheStartDay)
{
    base = QDateTime(QDate(2026, 1, 31), QTime(23, 59, 58));
    const AnsiString jan = StatisticsKey(DialerKey, QDate(2026, 1, 31));
    const AnsiString feb = StatisticsKey(DialerKey, QDate(2026, 2, 1));
    registry::writeValues(jan, {{"Whole", 100u}, {"31", 10u}});
    const AnsiString entryKey = EntriesKey + kProviderName;
    registry::writeValues(StatisticsKey(entryKey, QDate(2026, 1, 31)), {{"Whole", 50u}, {"31", 5u}});
    phones("Провайдер", {{"5551234", true}});
    pick(kProvider);
    make();
    EXPECT_EQ(text(dial->stMonth), "00:01:40");
    EXPECT_EQ(text(dial->stDayEntry), "00:00:05");
    dial->sbDialClick();
    run(6000);  // up at 23:59:58.6; six ticks, the last ones after midnight
    ASSERT_EQ(sysclock::now().date(), QDate(2026, 2, 1));
    const int32_t n = dial->OnlineSecs;
    EXPECT_EQ(n, 6);
    dial->sbHangUpClick();

    EXPECT_EQ(registry::readDword(jan, "Whole"), 100u + n);
    EXPECT_EQ(registry::readDword(jan, "31"), 10u + n);
    EXPECT_EQ(registry::readDword(StatisticsKey(entryKey, QDate(2026, 1, 31)), "Whole"), 50u + n);
    EXPECT_EQ(registry::readDword(StatisticsKey(entryKey, QDate(2026, 1, 31)), "31"), 5u + n);
    EXPECT_FALSE(registry::keyExists(feb));
    EXPECT_FALSE(registry::keyExists(StatisticsKey(entryKey, QDate(2026, 2, 1))));

    // Another entry and back, after midnight: the start day's counts.
    dial->cbEntries->setCurrentIndex(kNoAddress);
    dial->cbEntriesChange();
    EXPECT_EQ(text(dial->stDayEntry), "00:00:00");
    dial->EntryClick(dial->mPEntries->actions()[kProvider]);
    EXPECT_EQ(text(dial->stDayEntry), SecsToStr(5 + n));
    EXPECT_EQ(text(dial->stMonth), SecsToStr(100 + n));
}

TEST_F(IDial, AFullSaveWritesTheseBytes)
{
    registry::writeValues(AnsiString(EntriesKey) + kProviderName, {{"5551234", 1u}, {"5550001", 0u}});
    registry::writeDword(DialerKey, "EntryIndex", kProvider);
    make();
    dial->ePassword->setText(QString::fromUtf8("секрет"));
    dial->cbSavePassword->setChecked(true);
    dial->move(12, 34);
    dial->sbDialClick();
    run(3000);
    dial->sbHangUpClick();
    dial.reset();

    const std::string path = app::programFilePath();
    const std::string zelvoHandle = [&] {
        char b[16];
        std::snprintf(b, sizeof b, "%08x", zelvo.handle());
        return std::string(b);
    }();
    const std::string password = codepage::toUtf8(EncodePassword(cp("секрет")));
    const std::string expected =
        "REGEDIT4\n\n"
        "[HKEY_CURRENT_USER\\Software]\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrane]\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrane\\Zelvo]\n"
        "\"Handle\"=dword:" + zelvoHandle + "\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer]\n"
        "\"EntryIndex\"=dword:00000002\n"
        "\"Version\"=\"1.3\"\n"
        "\"Author\"=\"Kestrane\"\n"
        "\"Path\"=\"" + path + "\"\n"
        "\"AutoRun\"=dword:00000000\n"
        "\"ReDial\"=dword:00000001\n"
        "\"HideOnRun\"=dword:00000000\n"
        "\"HideOnConnect\"=dword:00000000\n"
        "\"Tone\"=dword:00000000\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Entries]\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Entries\\Провайдер]\n"
        "\"5551234\"=dword:00000001\n"
        "\"5550001\"=dword:00000000\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Entries\\Провайдер\\Account]\n"
        "\"HasPassword\"=dword:00000001\n"
        "\"Password\"=\"" + password + "\"\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Entries\\Провайдер\\Statistics]\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Entries\\Провайдер\\Statistics\\3.2026]\n"
        "\"Whole\"=dword:00000003\n"
        "\"5\"=dword:00000003\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Statistics]\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Statistics\\3.2026]\n"
        "\"Whole\"=dword:00000003\n"
        "\"5\"=dword:00000003\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Position]\n\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Position\\Main]\n"
        "\"Left\"=dword:0000000c\n"
        "\"Top\"=dword:00000022\n\n";
    EXPECT_EQ(testenv::readFile(storeFile()), expected);
}

// ---- the entries and the numbers -------------------------------------------------------

TEST_F(IDial, EntriesAreSortedAndAStoredIndexOutsideThemSelectsTheFirst)
{
    for (uint32_t stored : {5u, 0xFFFFFFFFu}) {
        registry::writeDword(DialerKey, "EntryIndex", stored);
        make();
        ASSERT_EQ(dial->cbEntries->count(), 3);
        EXPECT_EQ(dial->cbEntries->itemText(0), QString::fromUtf8("Без адреса"));
        EXPECT_EQ(dial->cbEntries->itemText(2), QString::fromUtf8("Провайдер"));
        EXPECT_EQ(dial->cbEntries->currentIndex(), 0) << stored;
        EXPECT_EQ(dial->CurrentEntry, cp("Без адреса"));
        EXPECT_EQ(dial->mPDial->text(), QString::fromUtf8("Звонить (Без адреса)"));
        // Three entries: the entry's own statistics and the entries' menu show.
        EXPECT_FALSE(dial->lCaptionEntry->isHidden());
        EXPECT_TRUE(dial->mPEntries->menuAction()->isVisible());
        EXPECT_EQ(dial->gbStat->height(), 2 * dial->bLine->y());
        const QList<QAction*> items = dial->mPEntries->actions();
        ASSERT_EQ(items.size(), 3);
        EXPECT_TRUE(items[0]->isChecked());
        dial.reset();
    }
}

TEST_F(IDial, ThePasswordShowsStars)
{
    make();
    dial->ePassword->setText(QString::fromUtf8("пароль"));
    EXPECT_EQ(dial->ePassword->displayText(), "******");
}

TEST_F(IDial, WithOneEntryItsOwnStatisticsAndTheMenuAreHidden)
{
    raslibs::writePhonebook("[Один]\nNumber=5551234\n");
    make();
    EXPECT_TRUE(dial->lCaptionEntry->isHidden());
    EXPECT_TRUE(dial->stDayEntry->isHidden());
    EXPECT_FALSE(dial->mPEntries->menuAction()->isVisible());
    EXPECT_FALSE(dial->mPTire->isVisible());
    EXPECT_EQ(dial->gbStat->height(), dial->bLine->y());
    EXPECT_EQ(dial->gbTrafic->y(), dial->gbStat->y() + dial->gbStat->height() + 3);
    // The entry's own number is its first row, checked.
    ASSERT_EQ(dial->lbNumbers->count(), 1);
    EXPECT_EQ(dial->NumberText(0), "5551234");
    EXPECT_TRUE(dial->NumberChecked(0));
}

TEST_F(IDial, TheNumberDialogsFilterWhatIsTyped)
{
    phones("Провайдер", {{"5551234", false}});
    pick(kProvider);
    make();
    answer = cp("8 (812) 555-12-34 p");
    dial->sbAddClick();
    ASSERT_EQ(dial->lbNumbers->count(), 2);
    EXPECT_EQ(dialogs.back(), std::make_pair(QString::fromUtf8("Добавить телефон"), AnsiString()));
    EXPECT_EQ(dial->NumberText(1), "88125551234p");
    EXPECT_TRUE(dial->NumberChecked(1));

    dial->lbNumbers->setCurrentRow(1);
    answer = "88125551234p";
    dial->sbEditClick();
    EXPECT_EQ(dialogs.back(), std::make_pair(QString::fromUtf8("Изменить телефон"), AnsiString("88125551234p")));
    EXPECT_EQ(dial->NumberText(1), "88125551234");
    EXPECT_TRUE(dial->NumberChecked(1));

    dial->lbNumbers->setCurrentRow(0);
    answer = std::nullopt;  // Cancel changes nothing
    dial->sbEditClick();
    EXPECT_EQ(dial->NumberText(0), "5551234");
    EXPECT_FALSE(dial->NumberChecked(0));
}

TEST_F(IDial, NumbersMoveWithTheirCheckMarksAndTheButtonsFollowTheSelection)
{
    phones("Провайдер", {{"1", true}, {"2", false}, {"3", true}});
    pick(kProvider);
    make();
    auto state = [&] {
        return std::vector<bool>{dial->sbDel->isEnabled(), dial->sbEdit->isEnabled(), dial->sbUp->isEnabled(),
                                 dial->sbDn->isEnabled()};
    };
    EXPECT_EQ(dial->SelectedNumber(), 0);
    EXPECT_EQ(state(), std::vector<bool>({true, true, false, true}));
    dial->sbUpClick();  // nothing above the first
    EXPECT_EQ(dial->NumberText(0), "1");
    dial->sbDnClick();
    EXPECT_EQ(dial->NumberText(0), "2");
    EXPECT_EQ(dial->NumberText(1), "1");
    EXPECT_FALSE(dial->NumberChecked(0));
    EXPECT_TRUE(dial->NumberChecked(1));
    EXPECT_EQ(dial->SelectedNumber(), 1);
    dial->sbDnClick();
    EXPECT_EQ(dial->SelectedNumber(), 2);
    EXPECT_EQ(state(), std::vector<bool>({true, true, true, false}));
    dial->sbDelClick();  // the last row goes: the new last is selected
    EXPECT_EQ(dial->lbNumbers->count(), 2);
    EXPECT_EQ(dial->SelectedNumber(), 1);
    dial->sbDelClick();
    dial->sbDelClick();
    EXPECT_EQ(dial->lbNumbers->count(), 0);
    EXPECT_EQ(state(), std::vector<bool>({false, false, false, false}));
    dial->sbDelClick();  // nothing selected: nothing happens
    dial->sbUpClick();
    dial->sbDnClick();
    dial.reset();
    // What the list held at the end is stored.
    TEntryState s;
    ReadPhones(kProviderName, s);
    EXPECT_TRUE(s.Phones.empty());
}

TEST_F(IDial, TheOptionsMenuTogglesEachFlag)
{
    make();
    struct Row {
        QAction* item;
        bool* flag;
    };
    const Row rows[] = {{dial->mPAutoRun, &DialerOptions.AutoRun}, {dial->mPAutoDial, &DialerOptions.ReDial},
                        {dial->mPHideOnRun, &DialerOptions.HideOnRun},
                        {dial->mPHideOnConnect, &DialerOptions.HideOnConnect}, {dial->mPTone, &DialerOptions.Tone}};
    for (const Row& r : rows) {
        const bool before = *r.flag;
        EXPECT_EQ(r.item->isChecked(), before);
        r.item->trigger();
        EXPECT_EQ(*r.flag, !before);
        EXPECT_EQ(r.item->isChecked(), !before);
    }
    dial.reset();
    // They reach the registry with the options; autostart is the session's entry.
    EXPECT_EQ(registry::readDword(DialerKey, "AutoRun"), 1u);
    EXPECT_EQ(registry::readDword(DialerKey, "ReDial"), 0u);
    EXPECT_TRUE(std::filesystem::exists(userdirs::autostartDir() + "/OrvDialer.desktop"));
}

TEST_F(IDial, ASavedPasswordComesBackForItsEntryOnly)
{
    pick(kProvider);
    make();
    dial->ePassword->setText(QString::fromUtf8("пароль"));
    EXPECT_EQ(dial->SavedPassword, "");  // not saved unless asked
    dial->cbSavePassword->setChecked(true);
    EXPECT_EQ(dial->SavedPassword, EncodePassword(cp("пароль")));
    dial->cbEntries->setCurrentIndex(kNoAddress);
    dial->cbEntriesChange();
    EXPECT_EQ(dial->ePassword->text(), QString());
    EXPECT_FALSE(dial->cbSavePassword->isChecked());
    dial->cbEntries->setCurrentIndex(kProvider);
    dial->cbEntriesChange();
    EXPECT_EQ(dial->ePassword->text(), QString::fromUtf8("пароль"));
    EXPECT_TRUE(dial->cbSavePassword->isChecked());
    dial->cbSavePassword->setChecked(false);
    EXPECT_EQ(dial->SavedPassword, "");
}

// ---- the rulings ----------------------------------------------------------------------

TEST_F(IDial, AFailedEntryChangeKeepsThePreviousEntryAndStoresNothingUnderTheNewName)
{
    phones("Провайдер", {{"5551234", true}});
    phones("Без списка", {{"7777777", false}});
    pick(kProvider);
    make();
    // The entry disappears from the phonebook while the program runs.
    raslibs::writePhonebook(std::string(kBook).substr(0, std::string(kBook).find("[Без списка]")));
    dial->cbEntries->setCurrentIndex(kNoList);
    dial->cbEntriesChange();
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(log(), std::vector<AnsiString>({cp("Не удаётся найти запись в телефонной книге.")}));
    EXPECT_EQ(dial->CurrentEntry, kProviderName);
    EXPECT_EQ(dial->VelRasCon->EntryName, kProviderName);
    EXPECT_EQ(dial->cbEntries->currentIndex(), kProvider);
    EXPECT_TRUE(dial->mPEntries->actions()[kProvider]->isChecked());
    EXPECT_FALSE(dial->mPEntries->actions()[kNoList]->isChecked());
    dial->sbDialClick();  // the numbers shown are dialled for their own entry
    run(1000);
    EXPECT_EQ(dialled, std::vector<AnsiString>({"P5551234"}));
    dial->sbHangUpClick();
    dial.reset();
    TEntryState other;
    ReadPhones(cp("Без списка"), other);
    ASSERT_EQ(other.Phones.size(), 1u);
    EXPECT_EQ(other.Phones[0].Number, "7777777");
    EXPECT_EQ(registry::readDword(DialerKey, "EntryIndex"), static_cast<uint32_t>(kProvider));
}

TEST_F(IDial, WhenNoEntryCanBeReadNothingIsStoredForAnyEntry)
{
    // A service without the entry-property functions: no entry can be read.
    raslibs::use(raslibs::folder("noprops", {{"RASAPI32.DLL", raslibs::kNoProps}}));
    raslibs::writePhonebook(kBook);
    phones("Без адреса", {{"1111111", true}});
    const AnsiString key = AnsiString(EntriesKey) + cp("Без адреса");
    const auto before = registry::values(key);
    make();
    EXPECT_EQ(dial->CurrentEntry, "");
    EXPECT_EQ(dial->cbEntries->currentIndex(), -1);
    EXPECT_EQ(dial->lbNumbers->count(), 0);
    toDialer(WM_DIAL_CONNECT, pager.handle());  // nothing to dial: the pager is told so
    EXPECT_EQ(pager.numbers(), std::vector<uint32_t>({WM_DIAL_DISCONNECTED}));
    dial.reset();
    EXPECT_EQ(registry::values(key), before);
    EXPECT_EQ(registry::readDword(key + "\\Account", "HasPassword"), 0u);
}

TEST_F(IDial, DestroyingTheWindowWhileDiallingHangsUpAndTellsWhoWaits)
{
    phones("Провайдер", {{"5551234", true}});
    pick(kProvider);
    make();
    toDialer(WM_DIAL_CONNECT, pager.handle());
    run(300);
    ASSERT_NE(dial->Road.DialingHandle, 0u);
    ASSERT_EQ(connections(), 1);
    // Another copy started meanwhile and published its own handle.
    registry::writeDword(DialerKey, "Handle", 0x12340001);
    dial.reset();
    EXPECT_EQ(connections(), 0);
    EXPECT_EQ(pager.numbers(), std::vector<uint32_t>({WM_DIAL_DIALING, WM_DIAL_DISCONNECTED}));
    EXPECT_EQ(zelvo.numbers(), std::vector<uint32_t>({WM_LINE_ACQUIRE, WM_LINE_RELEASE}));
    EXPECT_EQ(registry::readDword(DialerKey, "Handle"), 0x12340001u);
}

TEST_F(IDial, TheOwnHandleIsPublishedAtStartAndTakenBackAtExit)
{
    registry::writeValues(AnsiString(DialerKey) + "\\Position\\Main", {{"Left", 50u}, {"Top", 60u}});
    make();
    EXPECT_EQ(dial->pos(), QPoint(50, 60));  // the window comes back where it was
    EXPECT_EQ(registry::readDword(DialerKey, "Handle"), app::applicationWindow().handle());
    dial.reset();
    EXPECT_FALSE(registry::valueExists(DialerKey, "Handle"));
}

TEST_F(IDial, ADialTheServiceRefusesAtOnceIsHungUpAndReported)
{
    phones("Провайдер", {{"5550633", true}});
    pick(kProvider);
    make();
    toDialer(WM_DIAL_CONNECT, pager.handle());
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(log().front(), dial->VelRasCon->ErrorText(633));
    EXPECT_EQ(dial->Road.DialingHandle, 0u);
    EXPECT_EQ(connections(), 0);
    EXPECT_TRUE(dial->sbDial->isEnabled());
    EXPECT_FALSE(dial->sbHangUp->isEnabled());
    run(20000);
    EXPECT_TRUE(dialled.empty());
    EXPECT_FALSE(dial->tReDial->Enabled());
    EXPECT_EQ(pager.numbers(), std::vector<uint32_t>({WM_DIAL_DISCONNECTED}));
    EXPECT_EQ(zelvo.numbers(), std::vector<uint32_t>({WM_LINE_ACQUIRE, WM_LINE_RELEASE}));
}

TEST_F(IDial, OneAttemptAtATime)
{
    phones("Провайдер", {{"5551234", true}});
    pick(kProvider);
    make();
    Recorder second, third;
    toDialer(WM_DIAL_CONNECT, pager.handle());
    run(250);
    // Asked again while dialling: the new pager hears the rest.
    toDialer(WM_DIAL_CONNECT, second.handle());
    run(1000);
    EXPECT_EQ(dialled.size(), 1u);
    EXPECT_EQ(connections(), 1);
    EXPECT_EQ(pager.numbers(), std::vector<uint32_t>({WM_DIAL_DIALING}));
    EXPECT_EQ(second.numbers(), std::vector<uint32_t>({WM_DIAL_AUTHENTICATING, WM_DIAL_CONNECTED}));
    // Asked while on line: answered at once, nothing dialled.
    toDialer(WM_DIAL_CONNECT, third.handle());
    EXPECT_EQ(third.numbers(), std::vector<uint32_t>({WM_DIAL_CONNECTED}));
    EXPECT_EQ(dial->Road.PagerWindow, 0u);
    EXPECT_EQ(dialled.size(), 1u);
    EXPECT_EQ(connections(), 1);
}

TEST_F(IDial, APagerThatEndedMeanwhileIsPostedToSilently)
{
    phones("Провайдер", {{"5551234", true}});
    pick(kProvider);
    make();
    {
        Recorder gone;
        toDialer(WM_DIAL_CONNECT, gone.handle());
        run(250);
    }  // its window is gone: what the dialer posts to it is lost
    run(1000);
    EXPECT_TRUE(dial->tTimeOnLine->Enabled());
    EXPECT_EQ(dial->Road.PagerWindow, 0u);
    EXPECT_EQ(logged(cp("Связь установлена")), 1);
}

TEST_F(IDial, ADialStopsAPendingRedial)
{
    phones("Провайдер", {{"5550001", true}, {"5551234", true}});
    pick(kProvider);
    make();
    dial->sbDialClick();
    run(1000);
    ASSERT_TRUE(dial->tReDial->Enabled());
    dial->lbNumbers->setCurrentRow(1);
    dial->sbDialClick();
    EXPECT_FALSE(dial->tReDial->Enabled());
    run(10000);
    EXPECT_EQ(dialled, std::vector<AnsiString>({"P5550001", "P5551234"}));
    EXPECT_TRUE(dial->tTimeOnLine->Enabled());
}

TEST_F(IDial, AHangUpByThePagerDuringTheRedialWaitCancelsTheRedial)
{
    phones("Провайдер", {{"5550001", true}, {"5551234", true}});
    pick(kProvider);
    make();
    toDialer(WM_DIAL_CONNECT, pager.handle());
    run(1000);
    ASSERT_TRUE(dial->tReDial->Enabled());
    toDialer(WM_DIAL_HANGUP);
    EXPECT_FALSE(dial->tReDial->Enabled());
    EXPECT_EQ(dial->Road.Redial.Attempts, 0);
    run(30000);
    EXPECT_EQ(dialled.size(), 1u);
    EXPECT_EQ(connections(), 0);
    EXPECT_EQ(pager.numbers(), std::vector<uint32_t>({WM_DIAL_DIALING, WM_DIAL_DISCONNECTED}));
}

TEST_F(IDial, AUserHangUpWhileDiallingEndsTheAttempt)
{
    // The line takes its time to hang up: the hang-up's states are shown.
    raslibs::writePhonebook(std::string(kBook) + "[Медленный]\nNumber=5551111\nStepTime=100\nHangUpTime=200\n");
    phones("Медленный", {{"5551111", true}});
    pick(2);  // Без адреса, Без списка, Медленный, Провайдер
    make();
    ASSERT_EQ(dial->CurrentEntry, cp("Медленный"));
    toDialer(WM_DIAL_CONNECT, pager.handle());
    run(300);
    // The hang-up waits on the main thread for the line to go; the service's
    // clock moves on meanwhile.
    auto advance = reinterpret_cast<void (*)(uint32_t)>(raslibs::symbol("RasTestAdvance"));
    std::thread mover([advance] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            advance(100);
        }
    });
    dial->sbHangUpClick();
    mover.join();
    EXPECT_EQ(dial->Road.DialingHandle, 0u);
    EXPECT_EQ(dial->Road.ActiveHandle, 0u);
    EXPECT_EQ(logged(cp("Связь разорвана")), 1);
    EXPECT_EQ(logged(cp("Соединение разорвано")), 1);
    EXPECT_EQ(pager.numbers(), std::vector<uint32_t>({WM_DIAL_DIALING, WM_DIAL_DISCONNECTED}));
    run(20000);
    EXPECT_EQ(dialled.size(), 1u);
}

TEST_F(IDial, AHangUpWhileDiallingEndsTheAttemptWhenTheServiceSaysNothingMore)
{
    phones("Провайдер", {{"5551234", true}});
    pick(kProvider);
    make();
    dial->sbDialClick();
    run(300);
    dial->sbHangUpClick();  // the line goes at once, without a state
    EXPECT_EQ(dial->Road.DialingHandle, 0u);
    EXPECT_EQ(logged(cp("Соединение разорвано")), 1);
    EXPECT_TRUE(dial->sbDial->isEnabled());
    run(20000);
    EXPECT_EQ(dialled.size(), 1u);
}

TEST_F(IDial, WithoutTheProjectionTheConnectionStillCountsItsTraffic)
{
    pick(kNoAddress);
    make();
    dial->sbDialClick();
    run(1000);
    ASSERT_TRUE(dial->tTimeOnLine->Enabled());
    EXPECT_EQ(panel(1), "");
    EXPECT_EQ(dial->VelRasPer->ConnHandles[1], dial->Road.ActiveHandle);
    EXPECT_EQ(text(dial->stSpeedRecv), " 0");
    EXPECT_EQ(dial->PerfRecv->Samples().front(), 0);
}

TEST_F(IDial, TheTrafficShownCountsOnPastFourGibibytesAndAFastLineTopsTheGraph)
{
    // The window's tick count moves with its timers: one second a tick.
    sysclock::setTickSource([] { return static_cast<uint32_t>(timers::virtualNow()); });
    auto addTraffic = reinterpret_cast<void (*)(ras::HRASCONN, uint64_t, uint64_t)>(
        raslibs::symbol("RasTestAddTraffic"));
    ASSERT_NE(addTraffic, nullptr);
    phones("Провайдер", {{"5551234", true}});
    pick(kProvider);
    make();
    dial->sbDialClick();
    run(1000);
    ASSERT_TRUE(dial->tTimeOnLine->Enabled());
    const ras::HRASCONN h = dial->Road.ActiveHandle;

    struct Step {
        uint64_t received;  // in the second before the tick
        const char* total;
        const char* rate;
        uint16_t drawn;
    };
    const Step steps[] = {
        {70000, " 70 000", " 70 000", 65535},  // above what the graph holds
        {2000000000, " 2 000 070 000", " 2 000 000 000", 65535},
        {2000000000, " 4 000 070 000", " 2 000 000 000", 65535},
        {294898296, " 4 294 968 296", " 294 898 296", 65535},  // past 4 GiB: the counter wrapped
        {1000, " 4 294 969 296", " 1 000", 1000},
        {0, " 4 294 969 296", " 0", 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.total);
        addTraffic(h, 0, s.received);
        run(1000);
        EXPECT_EQ(text(dial->stRecv), s.total);
        EXPECT_EQ(text(dial->stSpeedRecv), s.rate);
        EXPECT_EQ(dial->PerfRecv->Samples().front(), s.drawn);
    }
    sysclock::setTickSource({});
    toDialer(WM_DIAL_HANGUP);
}

TEST_F(IDial, AConnectionListThatCannotBeReadDoesNotHangUpTheLine)
{
    pick(kNoList);
    make();
    dial->sbDialClick();
    run(6000);
    EXPECT_TRUE(dial->tTimeOnLine->Enabled());
    EXPECT_EQ(connections(), 0);  // the list fails while the connection exists
    EXPECT_EQ(logged(cp("Соединение разорвано")), 0);
    EXPECT_EQ(dial->OnlineSecs, 6);
}

// ---- the window ----------------------------------------------------------------------

// Tests that show the window. Qt's raster engine then hands work to pooled
// threads of its own, whose synchronisation ThreadSanitizer cannot see (Qt is
// not built with it), so these stay out of the ThreadSanitizer run.
using DialerWindow = IDial;

TEST_F(DialerWindow, TheCloseIsRefusedWhileOnLine)
{
    phones("Провайдер", {{"5551234", true}});
    pick(kProvider);
    make();
    int closed = 0;
    dial->OnClosed = [&] { ++closed; };
    dial->show();
    dial->sbDialClick();
    run(1000);
    dial->mPExit->trigger();
    EXPECT_TRUE(dial->isVisible());
    EXPECT_EQ(closed, 0);
    dial->sbHangUpClick();
    dial->mPExit->trigger();
    EXPECT_FALSE(dial->isVisible());
    EXPECT_EQ(closed, 1);
}

TEST_F(DialerWindow, AnEndRequestClosesEvenOnLineAndStoresTheTime)
{
    phones("Провайдер", {{"5551234", true}});
    pick(kProvider);
    make();
    dial->show();
    dial->sbDialClick();
    run(3000);
    dial->Terminate();
    EXPECT_FALSE(dial->isVisible());
    EXPECT_EQ(connections(), 0);
    EXPECT_EQ(registry::readDword(StatisticsKey(DialerKey, QDate(2026, 3, 5)), "5"), 3u);
}

TEST_F(IDial, AnEndRequestWhileHiddenStillSavesEverything)
{
    make();
    int closed = 0;
    dial->OnClosed = [&] { ++closed; };
    dial->Terminate();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(registry::valueExists(DialerKey, "Handle"));
    EXPECT_TRUE(registry::valueExists(DialerKey, "Path"));
}

TEST_F(DialerWindow, HiddenAtStartAndOnConnectionAsAsked)
{
    registry::writeDword(DialerKey, "HideOnRun", 1);
    registry::writeDword(DialerKey, "HideOnConnect", 1);
    phones("Провайдер", {{"5551234", true}});
    pick(kProvider);
    make();
    EXPECT_FALSE(app::application().ShowMainForm);
    app::application().ShowMainForm = true;
    dial->show();
    EXPECT_EQ(dial->mPShow->text(), QString::fromUtf8("Спрятать"));
    dial->sbDialClick();
    run(1000);
    EXPECT_FALSE(dial->isVisible());
    EXPECT_EQ(dial->mPShow->text(), QString::fromUtf8("Восстановить"));
    // A double click on the tray icon brings the window back.
    tray.Send(dial->icTray, 0, trayhost::WM_LBUTTONDBLCLK);
    EXPECT_TRUE(dial->isVisible());
    toDialer(WM_DIAL_SHOW);
    EXPECT_TRUE(dial->isVisible());
}

// Every label of the traffic group and every panel of the status bar holds
// its widest text whole in the window's font, inside its group or bar.
TEST_F(DialerWindow, TheTrafficAndStatusTextsFitTheirPlaces)
{
    make();
    dial->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dial.get()));
    const QString widestCount = QString::fromUtf8(" 4 294 967 295");
    const QString twelveDigits = QString::fromUtf8(" 999 999 999 999");
    struct Case {
        QLabel* label;
        QStringList texts;
    } cases[] = {
        {dial->lRecv, {QString::fromUtf8("Получено:")}},
        {dial->lXmit, {QString::fromUtf8("Отправлено:")}},
        {dial->stRecv, {QString::fromUtf8(" 1 676 071"), widestCount, twelveDigits}},
        {dial->stXmit, {widestCount, twelveDigits}},
        {dial->stSpeedRecv, {QString::fromUtf8(" 1 676 071"), widestCount}},
        {dial->stSpeedXmit, {widestCount}},
        {dial->lRecvCps, {"CPS"}},
        {dial->slPanels[0], {QString::fromUtf8("33600 бит/сек"), QString::fromUtf8("115200 бит/сек")}},
        {dial->slPanels[1], {"192.0.2.77", "255.255.255.255"}},
        {dial->slPanels[2], {"88125551234"}},
        {dial->slPanels[3], {"23:59:59"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label->objectName().toStdString());
        EXPECT_TRUE(c.label->parentWidget()->rect().contains(c.label->geometry()));
        for (const QString& t : c.texts)
            EXPECT_LE(c.label->fontMetrics().horizontalAdvance(t), c.label->contentsRect().width()) << t.toStdString();
    }
    // The graphs keep their room beside the texts.
    EXPECT_GE(dial->PerfRecv->width(), 70);
    EXPECT_GT(dial->PerfRecv->x(), dial->lRecvCps->x() + dial->lRecvCps->width());
    EXPECT_TRUE(dial->gbTrafic->rect().contains(dial->PerfXmit->geometry()));
}

// Without a notification area the tray's menu, with its settings and "Выход",
// opens from a right-click on the window; where there is one, it does not.
// An edit keeps its own menu, in Russian.
TEST_F(DialerWindow, WithoutANotificationAreaARightClickOnTheWindowOpensTheMenu)
{
    ASSERT_TRUE(widgets::loadQtTranslation());
    make();
    dial->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dial.get()));
    auto rightClick = [](QWidget* w) {
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(4, 4), w->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(w, &e);
        QApplication::processEvents();
    };
    auto closePopups = [] {
        while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    };

    rightClick(dial->gbStat);
    EXPECT_FALSE(dial->PopupMenu1->isVisible());

    tray.IsAvailable = false;
    for (QWidget* w : std::initializer_list<QWidget*>{dial->gbStat, dial->stDay, dial->gbTrafic, dial.get()}) {
        SCOPED_TRACE(w->objectName().toStdString());
        rightClick(w);
        EXPECT_TRUE(dial->PopupMenu1->isVisible());
        closePopups();
    }
    // The menu is the tray's: its option items act.
    rightClick(dial->gbStat);
    const bool tone = DialerOptions.Tone;
    dial->mPTone->trigger();
    EXPECT_NE(DialerOptions.Tone, tone);
    closePopups();

    rightClick(dial->eLogin);
    EXPECT_FALSE(dial->PopupMenu1->isVisible());
    auto* own = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(own, nullptr);
    QStringList items;
    for (const QAction* a : own->actions()) items << a->text();
    EXPECT_TRUE(items.join('|').contains(QString::fromUtf8("&Копировать"))) << items.join('|').toStdString();
    closePopups();
}

TEST_F(IDial, WithoutTheServiceTheLogSaysSoAndThePagerIsAnswered)
{
    raslibs::use(raslibs::folder("none", {}));
    make();
    EXPECT_EQ(log(), std::vector<AnsiString>({cp("RAS не установлен!")}));
    EXPECT_EQ(dial->cbEntries->count(), 0);
    toDialer(WM_DIAL_CONNECT, pager.handle());
    EXPECT_EQ(pager.numbers(), std::vector<uint32_t>({WM_DIAL_DISCONNECTED}));
}

// A registry file that does not read (another format, or a FIFO nobody
// writes to, which must not hold the start up) is kept beside the fresh one
// the dialer starts, and the log says so, once.
TEST_F(IDial, ARegistryFileThatCannotBeReadIsKeptAsideAndTheLogSaysSoOnce)
{
    const std::string broken = "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Kestrane\\Dialer\\Statistics\\3.2026]\r\n"
                               "\"Whole\"=dword:00100000\r\n";
    const std::string kept = storeFile() + ".bad";
    for (const bool fifo : {false, true}) {
        SCOPED_TRACE(fifo ? "a FIFO" : "another format");
        dial.reset();
        std::remove(storeFile().c_str());
        std::remove(kept.c_str());
        if (fifo) {
            ASSERT_EQ(::mkfifo(storeFile().c_str(), 0600), 0);
        } else {
            testenv::writeFile(storeFile(), broken);
        }
        make();
        const std::vector<AnsiString> lines = log();
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             cp("Не удалось прочитать настройки, файл сохранён как ") + codepage::fromUtf8(kept)),
                  1);
        struct stat aside {};
        ASSERT_EQ(::lstat(kept.c_str(), &aside), 0);
        if (fifo) {
            EXPECT_TRUE(S_ISFIFO(aside.st_mode));
        } else {
            EXPECT_EQ(testenv::readFile(kept), broken);
        }
        // The dialer goes on in a fresh file: the pager finds it there.
        EXPECT_NE(registry::readDword(DialerKey, "Handle").value_or(0), 0u);

        dial.reset();
        make();
        for (const AnsiString& l : log()) EXPECT_EQ(l.find(cp("Не удалось прочитать настройки")), AnsiString::npos);
        ASSERT_EQ(::lstat(kept.c_str(), &aside), 0);
        if (!fifo) {
            EXPECT_EQ(testenv::readFile(kept), broken);
        }
    }
    std::remove(kept.c_str());
}
