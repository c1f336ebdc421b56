#include "tray/trayshell.h"

#include "platform/app.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/ui/trayhost.h"

#include <QAction>
#include <QCoreApplication>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace trayhost;

namespace {

std::unique_ptr<TIcon> makeIcon(QColor color)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    auto icon = std::make_unique<TIcon>();
    icon->SetImage(image);
    return icon;
}

QRgb rgb(QColor c) { return c.rgba(); }

// Reaches the component's inner state.
class TestTray : public TOrvTrayIcon {
public:
    using TOrvTrayIcon::Added;
    using TOrvTrayIcon::AnimationRunning;
    using TOrvTrayIcon::Frame;
    using TOrvTrayIcon::Timer;
    using TOrvTrayIcon::TOrvTrayIcon;
};

std::string shiftText(TShiftState s)
{
    std::string out;
    if (s & ssShift) out += 'S';
    if (s & ssCtrl) out += 'C';
    if (s & ssAlt) out += 'A';
    if (s & ssLeft) out += 'l';
    if (s & ssRight) out += 'r';
    if (s & ssMiddle) out += 'm';
    if (s & ssDouble) out += 'd';
    return out;
}

std::string buttonText(TMouseButton b) { return b == mbLeft ? "L" : b == mbRight ? "R" : "M"; }

class TrayIcon : public ::testing::Test {
protected:
    void SetUp() override
    {
        tray->OnClick = [this](TOrvTrayIcon* s, TMouseButton b, TShiftState sh, int, int) {
            EXPECT_EQ(s, tray.get());
            log.push_back("click " + buttonText(b) + " " + shiftText(sh));
        };
        tray->OnDblClick = [this](TOrvTrayIcon*) { log.push_back("dbl"); };
        tray->OnMouseDown = [this](TOrvTrayIcon*, TMouseButton b, TShiftState sh, int, int) {
            log.push_back("down " + buttonText(b) + " " + shiftText(sh));
        };
        tray->OnMouseUp = [this](TOrvTrayIcon*, TMouseButton b, TShiftState sh, int, int) {
            log.push_back("up " + buttonText(b) + " " + shiftText(sh));
        };
        tray->OnMouseMove = [this](TOrvTrayIcon*, TShiftState sh, int, int) { log.push_back("move " + shiftText(sh)); };
    }

    const NotifyIconData* shown() const { return host.Find(tray.get()); }
    QRgb shownPixel() const { return shown()->Icon.pixmap(16, 16).toImage().pixel(0, 0); }
    void send(std::initializer_list<unsigned> messages)
    {
        for (unsigned m : messages) host.Send(tray.get(), 0, m);
    }

    RecordingHost host;
    std::unique_ptr<TestTray> tray = std::make_unique<TestTray>();
    std::unique_ptr<TIcon> red = makeIcon(Qt::red);
    std::unique_ptr<TIcon> green = makeIcon(Qt::green);
    std::unique_ptr<TIcon> blue = makeIcon(Qt::blue);
    std::vector<std::string> log;
};

}  // namespace

TEST_F(TrayIcon, IsPutUpOnlyOnceItHasAPicture)
{
    EXPECT_TRUE(tray->Active());
    EXPECT_EQ(host.IconCount(), 0);
    EXPECT_FALSE(tray->Added());

    tray->SetIcon(red.get());
    ASSERT_NE(shown(), nullptr);
    EXPECT_TRUE(tray->Added());
    EXPECT_EQ(host.Calls.back().Cmd, NIM_ADD);
    EXPECT_EQ(shownPixel(), rgb(Qt::red));
    EXPECT_NE(tray->Icon(), red.get());  // a copy

    // A change of the picture in place is shown; an empty picture leaves.
    tray->Icon()->Assign(blue.get());
    EXPECT_EQ(host.Calls.back().Cmd, NIM_MODIFY);
    EXPECT_EQ(shownPixel(), rgb(Qt::blue));
    tray->Icon()->Assign(nullptr);
    EXPECT_EQ(shown(), nullptr);
    EXPECT_FALSE(tray->Added());
    tray->SetIcon(green.get());
    ASSERT_NE(shown(), nullptr);
    EXPECT_EQ(shownPixel(), rgb(Qt::green));
}

TEST_F(TrayIcon, TipIsTheShortHintCutAt63Characters)
{
    tray->SetIcon(red.get());
    const std::string pager = "Отправка SMS и пейджер сообщений";
    std::string ya100;
    for (int i = 0; i < 100; ++i) ya100 += "Я";
    struct Case {
        std::string hint;  // UTF-8
        QString tip;
    };
    const std::vector<Case> cases = {
        {pager, QString::fromUtf8(pager.c_str())},
        {std::string(100, 'a'), QString(63, 'a')},
        {ya100, QString(63, QChar(0x42F))},
        {"Orvanta Dialer|Connected 00:10", "Orvanta Dialer"},
        {"|after the bar", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hint);
        tray->SetHint(codepage::fromUtf8(c.hint));
        ASSERT_NE(shown(), nullptr);
        EXPECT_EQ(shown()->Tip, c.tip);
    }

    tray->SetHint("same");
    const size_t calls = host.Calls.size();
    tray->SetHint("same");
    EXPECT_EQ(host.Calls.size(), calls);
}

TEST_F(TrayIcon, ShowAndHideMoveTheIconInAndOut)
{
    tray->SetIcon(red.get());
    tray->Hide();
    EXPECT_FALSE(tray->Active());
    EXPECT_EQ(shown(), nullptr);

    // Changes while hidden do not bring it back.
    tray->SetIcon(blue.get());
    tray->SetHint("hidden");
    EXPECT_EQ(shown(), nullptr);

    tray->Show();
    ASSERT_NE(shown(), nullptr);
    EXPECT_EQ(shownPixel(), rgb(Qt::blue));
    EXPECT_EQ(shown()->Tip, "hidden");
}

TEST_F(TrayIcon, RefusedAddIsTriedAgainOnTheNextChange)
{
    host.AddSucceeds = false;
    tray->SetIcon(red.get());
    EXPECT_FALSE(tray->Added());
    EXPECT_EQ(shown(), nullptr);

    host.AddSucceeds = true;
    tray->SetHint("again");
    EXPECT_TRUE(tray->Added());
    EXPECT_NE(shown(), nullptr);
}

TEST_F(TrayIcon, LoadedPutsTheIconUpAfresh)
{
    tray->SetIcon(red.get());
    host.Calls.clear();
    tray->Loaded();
    ASSERT_EQ(host.Calls.size(), 2u);
    EXPECT_EQ(host.Calls[0].Cmd, NIM_DELETE);
    EXPECT_EQ(host.Calls[1].Cmd, NIM_ADD);
    EXPECT_TRUE(host.Calls[1].Result);
}

TEST_F(TrayIcon, DestructionTakesTheIconDown)
{
    tray->SetIcon(red.get());
    ASSERT_EQ(host.IconCount(), 1);
    tray.reset();
    EXPECT_EQ(host.IconCount(), 0);
}

TEST_F(TrayIcon, AnimationStepsThroughTheFrames)
{
    tray->SetAnimated(true);
    EXPECT_FALSE(tray->Animated());  // no frames

    tray->Icons()->Add(red.get());
    tray->Icons()->Add(green.get());
    tray->Icons()->Add(blue.get());
    tray->SetAnimated(true);
    EXPECT_TRUE(tray->Animated());
    EXPECT_EQ(tray->Frame(), 0);
    ASSERT_NE(shown(), nullptr);  // the frames have pictures, Icon has none
    EXPECT_TRUE(tray->AnimationRunning());

    std::vector<QRgb> seen;
    for (int i = 0; i < 4; ++i) {
        tray->Timer();
        seen.push_back(shownPixel());
    }
    EXPECT_EQ(seen, (std::vector<QRgb>{rgb(Qt::green), rgb(Qt::blue), rgb(Qt::red), rgb(Qt::green)}));

    // The animation rests while the icon is out.
    tray->Hide();
    EXPECT_FALSE(tray->AnimationRunning());
    tray->Show();
    EXPECT_TRUE(tray->AnimationRunning());
}

TEST_F(TrayIcon, AShrunkListShowsItsLastFrame)
{
    tray->Icons()->Add(red.get());
    tray->Icons()->Add(green.get());
    tray->Icons()->Add(blue.get());
    tray->SetAnimated(true);
    tray->Timer();
    tray->Timer();
    ASSERT_EQ(tray->Frame(), 2);
    tray->Icons()->Delete(2);
    EXPECT_EQ(shownPixel(), rgb(Qt::green));
}

TEST_F(TrayIcon, AnEmptySlotAsFrameTakesTheIconOutAndRestsTheAnimation)
{
    TMemoryStream frames;
    TIconList source;
    source.Add(red.get());
    source.SaveToStream(frames);
    const char emptySlot[4] = {0, 0, 0, 0};
    frames.WriteBuffer(emptySlot, 4);
    frames.SetPosition(0);
    const char two[4] = {2, 0, 0, 0};
    frames.WriteBuffer(two, 4);
    frames.SetPosition(0);
    tray->Icons()->LoadFromStream(frames);
    ASSERT_EQ(tray->Icons()->Count(), 2);
    ASSERT_EQ(tray->Icons()->GetIcon(1), nullptr);

    tray->SetAnimated(true);
    ASSERT_NE(shown(), nullptr);
    tray->Timer();
    EXPECT_EQ(shown(), nullptr);
    EXPECT_FALSE(tray->AnimationRunning());
    EXPECT_TRUE(tray->Animated());
}

TEST_F(TrayIcon, EmptyingTheFramesStopsTheAnimationAndShowsIcon)
{
    tray->SetIcon(blue.get());
    tray->Icons()->Add(red.get());
    tray->SetAnimated(true);
    EXPECT_EQ(shownPixel(), rgb(Qt::red));
    tray->Icons()->Clear();
    EXPECT_FALSE(tray->Animated());
    EXPECT_FALSE(tray->AnimationRunning());
    EXPECT_EQ(shownPixel(), rgb(Qt::blue));
}

TEST_F(TrayIcon, MouseMessagesRaiseTheirEvents)
{
    tray->SetIcon(red.get());
    struct Case {
        const char* name;
        std::vector<unsigned> messages;
        std::vector<std::string> events;
    };
    const std::vector<Case> cases = {
        {"left click", {513, 514}, {"down L l", "click L l", "up L l"}},
        {"left double click",
         {513, 514, 515, 514},
         {"down L l", "click L l", "up L l", "dbl", "down L d", "up L l"}},
        {"right click without a menu", {516, 517}, {"down R r", "click R r", "up R r"}},
        {"left up without its down", {514}, {"up L l"}},
        {"right up without its down", {517}, {"up R r"}},
        {"right double click", {518}, {"down R d"}},
        {"middle button", {519, 520, 521}, {"down M m", "up M m", "down M d"}},
        {"move", {512}, {"move "}},
        {"other messages", {0, 511, 522, 0xB054}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        for (unsigned m : c.messages) host.Send(tray.get(), 0, m);
        EXPECT_EQ(log, c.events);
    }
}

TEST_F(TrayIcon, EventsGetTheCursorAndTheKeys)
{
    tray->SetIcon(red.get());
    host.Cursor = QPoint(100, 200);
    host.Modifiers = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
    int x = 0, y = 0;
    TShiftState shift = 0;
    tray->OnClick = [&](TOrvTrayIcon*, TMouseButton, TShiftState s, int X, int Y) {
        shift = s;
        x = X;
        y = Y;
    };
    send({513, 514});
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 200);
    EXPECT_EQ(shift, ssShift | ssCtrl | ssAlt | ssLeft);
}

TEST_F(TrayIcon, DisabledRaisesNothingAndStays)
{
    tray->SetIcon(red.get());
    tray->Enabled = false;
    send({512, 513, 514, 515, 514, 516, 517, 519, 520});
    EXPECT_TRUE(log.empty());
    EXPECT_NE(shown(), nullptr);
}

TEST_F(TrayIcon, PuttingTheIconUpForgetsAButtonHeldDown)
{
    tray->SetIcon(red.get());
    send({513});
    tray->Loaded();
    log.clear();
    send({514});
    EXPECT_EQ(log, (std::vector<std::string>{"up L l"}));
}

TEST_F(TrayIcon, RightClickPopsTheMenuUpAtTheCursorInsteadOfClick)
{
    QMenu menu;
    menu.addAction("Восстановить");
    menu.addAction("Выход");
    tray->SetPopupMenu(&menu);
    tray->SetIcon(red.get());
    host.Cursor = QPoint(120, 140);

    send({516, 517});
    EXPECT_EQ(log, (std::vector<std::string>{"down R r", "up R r"}));
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(menu.pos(), QPoint(120, 140));
    menu.hide();

    // The left button still clicks.
    log.clear();
    send({513, 514});
    EXPECT_EQ(log, (std::vector<std::string>{"down L l", "click L l", "up L l"}));
    EXPECT_FALSE(menu.isVisible());
}

TEST_F(TrayIcon, AMenuThatIsGoneIsForgotten)
{
    auto* menu = new QMenu;
    tray->SetPopupMenu(menu);
    tray->SetIcon(red.get());
    delete menu;
    EXPECT_EQ(tray->PopupMenu(), nullptr);
    send({516, 517});
    EXPECT_EQ(log, (std::vector<std::string>{"down R r", "click R r", "up R r"}));
}

TEST_F(TrayIcon, DoubleClickClicksTheEnabledDefaultMenuItem)
{
    tray->SetIcon(red.get());
    struct Case {
        const char* name;
        bool withMenu, withItems, withDefault, defaultEnabled;
        bool itemClicked;
    };
    const std::vector<Case> cases = {
        {"no menu", false, false, false, false, false},
        {"menu without items", true, false, false, false, false},
        {"no default item", true, true, false, false, false},
        {"disabled default item", true, true, true, false, false},
        {"enabled default item", true, true, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QMenu menu;
        int clicked = 0;
        if (c.withItems) {
            menu.addAction("first");
            QAction* second = menu.addAction("second");
            QObject::connect(second, &QAction::triggered, [&] { ++clicked; });
            if (c.withDefault) menu.setDefaultAction(second);
            second->setEnabled(c.defaultEnabled);
        }
        tray->SetPopupMenu(c.withMenu ? &menu : nullptr);
        log.clear();
        send({515});
        EXPECT_EQ(clicked, c.itemClicked ? 1 : 0);
        const std::vector<std::string> expected =
            c.itemClicked ? std::vector<std::string>{"down L d"} : std::vector<std::string>{"dbl", "down L d"};
        EXPECT_EQ(log, expected);
        tray->SetPopupMenu(nullptr);
    }
}

TEST_F(TrayIcon, AHandlersExceptionIsReportedAndEndsOnlyThatNotification)
{
    std::vector<AnsiString> reported;
    app::setExceptionHandler([&](const AnsiString& m) { reported.push_back(m); });
    tray->SetIcon(red.get());
    tray->OnMouseDown = [this](TOrvTrayIcon*, TMouseButton, TShiftState, int, int) {
        log.push_back("down");
        throw Exception("boom");
    };

    send({513});
    EXPECT_EQ(reported, std::vector<AnsiString>{"boom"});
    // The button did not join the held ones: its up is no click.
    send({514});
    EXPECT_EQ(log, (std::vector<std::string>{"down", "up L l"}));
    app::setExceptionHandler({});
}

TEST_F(TrayIcon, AHandlerMayFreeTheComponent)
{
    struct Case {
        const char* name;
        std::vector<unsigned> messages;
        std::function<void(TestTray&, std::function<void()>)> bind;
    };
    const std::vector<Case> cases = {
        {"in OnMouseDown", {513},
         [](TestTray& t, auto free) { t.OnMouseDown = [free](auto...) { free(); }; }},
        {"in OnClick", {513, 514}, [](TestTray& t, auto free) { t.OnClick = [free](auto...) { free(); }; }},
        {"in OnDblClick", {515}, [](TestTray& t, auto free) { t.OnDblClick = [free](auto...) { free(); }; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tray = std::make_unique<TestTray>();
        tray->SetIcon(red.get());
        log.clear();
        tray->OnMouseUp = [this](auto...) { log.push_back("up"); };
        c.bind(*tray, [this] { tray.reset(); });
        const void* owner = tray.get();
        for (unsigned m : c.messages) host.Send(owner, 0, m);
        EXPECT_EQ(tray, nullptr);
        EXPECT_TRUE(log.empty());  // nothing after the handler that freed it
        EXPECT_EQ(host.IconCount(), 0);
    }
}

TEST_F(TrayIcon, AClickMayTakeTheIconOut)
{
    // The pager's window, shown by a click, takes the icon out at once.
    tray->SetIcon(red.get());
    tray->OnClick = [this](auto...) {
        log.push_back("click");
        tray->Hide();
    };
    send({513, 514});
    EXPECT_EQ(log, (std::vector<std::string>{"down L l", "click", "up L l"}));
    EXPECT_EQ(shown(), nullptr);
}

// ---- the notification area

namespace {

enum Step { Trigger, DoubleClick, Context, Middle, Unknown, Timeout };

}  // namespace

TEST(TrayHost, ActivationsBecomeTheMouseMessagesTheProgramsWaitFor)
{
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<unsigned> messages;
        bool waiting;
    };
    const std::vector<Case> cases = {
        {"a single activation waits for its double click", {Trigger}, {513, 514}, true},
        {"a single activation alone is a double click too", {Trigger, Timeout}, {513, 514, 515, 514}, false},
        {"two single activations are one double click", {Trigger, Trigger}, {513, 514, 515, 514}, false},
        {"a host's own double click", {Trigger, DoubleClick}, {513, 514, 515, 514}, false},
        {"once the host reports double clicks, a single activation is a click",
         {Trigger, DoubleClick, Trigger, Timeout},
         {513, 514, 515, 514, 513, 514},
         false},
        {"right button", {Context}, {516, 517}, false},
        {"middle button", {Middle}, {519, 520}, false},
        {"unknown", {Unknown}, {}, false},
        {"another button ends the wait", {Trigger, Context, Timeout}, {513, 514, 516, 517}, false},
        {"a late time-out", {Timeout}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned> got;
        bool timerOn = false;
        ActivationMapper mapper(
            [&](unsigned m) {
                got.push_back(m);
                return true;
            },
            [&](bool on) { timerOn = on; });
        for (Step s : c.steps) {
            switch (s) {
            case Trigger: mapper.Activated(QSystemTrayIcon::Trigger); break;
            case DoubleClick: mapper.Activated(QSystemTrayIcon::DoubleClick); break;
            case Context: mapper.Activated(QSystemTrayIcon::Context); break;
            case Middle: mapper.Activated(QSystemTrayIcon::MiddleClick); break;
            case Unknown: mapper.Activated(QSystemTrayIcon::Unknown); break;
            case Timeout: mapper.DoubleClickTimeout(); break;
            }
        }
        EXPECT_EQ(got, c.messages);
        EXPECT_EQ(mapper.Waiting(), c.waiting);
        if (std::find(c.steps.begin(), c.steps.end(), Timeout) == c.steps.end()) {
            EXPECT_EQ(timerOn, c.waiting);
        }
    }
}

TEST(TrayHost, ASequenceEndsWhenTheIconGoesAway)
{
    std::vector<unsigned> got;
    ActivationMapper mapper(
        [&](unsigned m) {
            got.push_back(m);
            return false;
        },
        {});
    mapper.Activated(QSystemTrayIcon::Context);
    EXPECT_EQ(got, std::vector<unsigned>{516});
}

TEST(TrayHost, RecordingHostKeepsTheRulesOfTheNotificationArea)
{
    RecordingHost host;
    int owner = 0;
    NotifyIconData d;
    d.Owner = &owner;
    d.Tip = "tip";
    EXPECT_FALSE(notifyIcon(NIM_MODIFY, d));
    EXPECT_FALSE(notifyIcon(NIM_DELETE, d));
    EXPECT_TRUE(notifyIcon(NIM_ADD, d));
    EXPECT_FALSE(notifyIcon(NIM_ADD, d));
    d.Tip = "new tip";
    EXPECT_TRUE(notifyIcon(NIM_MODIFY, d));
    EXPECT_EQ(host.Find(&owner)->Tip, "new tip");
    EXPECT_EQ(host.Calls.size(), 5u);

    // An icon removed by its own callback.
    d.Callback = [&](unsigned) { notifyIcon(NIM_DELETE, d); };
    notifyIcon(NIM_MODIFY, d);
    EXPECT_TRUE(host.Send(513));
    EXPECT_EQ(host.IconCount(), 0);
    EXPECT_FALSE(host.Send(514));
}

TEST(TrayHost, HidingToTheTrayMinimizesWhereThereIsNone)
{
    RecordingHost host;
    QWidget window;

    host.IsAvailable = true;
    window.show();
    hideToTray(&window);
    EXPECT_FALSE(window.isVisible());

    host.IsAvailable = false;
    window.showNormal();
    hideToTray(&window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
    hideToTray(&window);
    EXPECT_TRUE(window.isMinimized());
}

TEST(TrayHost, DesktopHostSurvivesItsIconRemovedByItsOwnActivation)
{
    int owner = 0;
    std::vector<unsigned> got;
    NotifyIconData d;
    d.Owner = &owner;
    d.Icon = QIcon(QPixmap::fromImage(makeIcon(Qt::red)->Image()));
    d.Tip = "desk";
    d.Callback = [&](unsigned m) {
        got.push_back(m);
        notifyIcon(NIM_DELETE, d);
    };
    ASSERT_TRUE(notifyIcon(NIM_ADD, d));
    EXPECT_FALSE(notifyIcon(NIM_ADD, d));
    EXPECT_TRUE(notifyIcon(NIM_MODIFY, d));

    QSystemTrayIcon* icon = nullptr;
    for (QSystemTrayIcon* i : QCoreApplication::instance()->findChildren<QSystemTrayIcon*>())
        if (i->toolTip() == "desk") icon = i;
    ASSERT_NE(icon, nullptr);
    QPointer<QSystemTrayIcon> watch(icon);

    emit icon->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(got, std::vector<unsigned>{516});  // the up went with the icon
    EXPECT_FALSE(notifyIcon(NIM_DELETE, d));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull());
}
