// The dialer's small controls: the speed graph drawn into an image, the
// number dialog's OK rule, the wave player's rules on a recording player.

#include "dialer/controls/nprop.h"
#include "dialer/controls/orvctrls.h"
#include "dialer/controls/orvwave.h"
#include "platform/sound/sound.h"
#include "tests/support/testenv.h"

#include <QGroupBox>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);

QImage picture(TOrvPerf& graph) { return graph.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// The rows of column X that are not the background, as "first..last" or "".
std::string bar(const QImage& image, int x)
{
    int first = -1, last = -1;
    for (int y = 0; y < image.height(); ++y) {
        if (image.pixel(x, y) != kBlack) {
            if (first < 0) first = y;
            last = y;
        }
    }
    return first < 0 ? "" : std::to_string(first) + ".." + std::to_string(last);
}

// Whether the picture shows nothing but the background.
bool blank(const QImage& image)
{
    for (int x = 0; x < image.width(); ++x) {
        if (!bar(image, x).empty()) return false;
    }
    return true;
}

TEST(OrvPerf, StartsEmptyBlackAndOneHundredByTwenty)
{
    TOrvPerf graph;
    EXPECT_EQ(graph.width(), 100);
    EXPECT_EQ(graph.height(), 20);
    EXPECT_EQ(graph.Max(), 1);
    EXPECT_EQ(graph.LineColor, QColor(0, 255, 0));
    EXPECT_TRUE(blank(picture(graph)));
}

TEST(OrvPerf, DrawsTheNewestAtTheLeftAndTheLargestToTheTop)
{
    TOrvPerf graph;
    graph.AddValue(10);
    graph.AddValue(5);
    graph.AddValue(0);
    EXPECT_EQ(graph.Max(), 10);
    const QImage image = picture(graph);
    EXPECT_EQ(bar(image, 0), "");        // 0
    EXPECT_EQ(bar(image, 1), "10..19");  // 5 of 10: half the height
    EXPECT_EQ(bar(image, 2), "0..19");   // the largest reaches the top
    EXPECT_EQ(bar(image, 3), "");
    EXPECT_EQ(image.pixel(2, 0), kGreen);
}

TEST(OrvPerf, KeepsNoMoreSamplesThanItIsWide)
{
    TOrvPerf graph;
    for (uint16_t v = 1; v <= 101; ++v) graph.AddValue(v);
    ASSERT_EQ(graph.Samples().size(), 100u);
    EXPECT_EQ(graph.Samples().front(), 101);
    EXPECT_EQ(graph.Samples().back(), 2);  // the first value was pushed out
    EXPECT_EQ(graph.Max(), 101);
    const QImage image = picture(graph);
    EXPECT_EQ(bar(image, 0), "0..19");
    EXPECT_EQ(bar(image, 95), "19..19");  // 6 of 101: one pixel
    EXPECT_EQ(bar(image, 99), "");        // 2 of 101: less than one

    graph.resize(10, 20);
    graph.AddValue(1);
    EXPECT_EQ(graph.Samples().size(), 10u);
    EXPECT_EQ(graph.Max(), 101);  // 101 is still the second sample
}

TEST(OrvPerf, AValueAboveWhatASampleHoldsIsDrawnAtTheTop)
{
    TOrvPerf graph;
    graph.AddValue(70000);  // 70,000 B/s: not the 4,464 of its low 16 bits
    graph.AddValue(30000);
    graph.AddValue(4294967295u);
    EXPECT_EQ(graph.Samples(), (std::deque<uint16_t>{65535, 30000, 65535}));
    EXPECT_EQ(graph.Max(), 65535);
    const QImage image = picture(graph);
    EXPECT_EQ(bar(image, 0), "0..19");
    EXPECT_EQ(bar(image, 1), "11..19");
    EXPECT_EQ(bar(image, 2), "0..19");
}

TEST(OrvPerf, AllZeroesShowOnlyTheBackground)
{
    TOrvPerf graph;
    for (int i = 0; i < 50; ++i) graph.AddValue(0);
    EXPECT_EQ(graph.Max(), 1);
    EXPECT_TRUE(blank(picture(graph)));
}

TEST(OrvPerf, ClearLeavesTheBackgroundAndTheNextValueSetsMax)
{
    TOrvPerf graph;
    graph.AddValue(1000);
    graph.AddValue(10);
    graph.Clear();
    EXPECT_TRUE(graph.Samples().empty());
    EXPECT_TRUE(blank(picture(graph)));
    graph.AddValue(4);
    EXPECT_EQ(graph.Max(), 4);
    EXPECT_EQ(bar(picture(graph), 0), "0..19");
}

TEST(OrvPerf, PaintEventsDrawBeforeAndAfterTheBars)
{
    TOrvPerf graph;
    graph.LineColor = QColor(0, 128, 128);
    graph.AddValue(1);
    std::vector<std::string> order;
    graph.OnPaintBefore = [&](TOrvPerf* s, QPainter& canvas) {
        EXPECT_EQ(s, &graph);
        order.push_back("before");
        canvas.fillRect(0, 0, 100, 20, Qt::red);  // the bars cover it
    };
    graph.OnPaintAfter = [&](TOrvPerf*, QPainter& canvas) {
        order.push_back("after");
        canvas.fillRect(50, 0, 1, 20, Qt::blue);
    };
    const QImage image = picture(graph);
    EXPECT_EQ(order, (std::vector<std::string>{"before", "after"}));
    EXPECT_EQ(image.pixel(0, 5), qRgb(0, 128, 128));
    EXPECT_EQ(image.pixel(1, 5), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(50, 5), qRgb(0, 0, 255));
}

// ---- the number dialog

TEST(NumberProp, HasItsCaptionAndControls)
{
    TNumberProp dlg;
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("Добавить телефон"));
    EXPECT_EQ(dlg.gbNumber->title(), QString::fromUtf8("Номер"));
    EXPECT_EQ(dlg.bOK->text(), "OK");
    EXPECT_EQ(dlg.bCansel->text(), QString::fromUtf8("Отмена"));
    EXPECT_TRUE(dlg.bOK->isDefault());
    EXPECT_FALSE(dlg.bOK->isEnabled());
}

TEST(NumberProp, OkNeedsADigit)
{
    const std::pair<const char*, bool> cases[] = {
        {"", false},      {"+", false},  {"abc", false},  {"ПТ", false},       {"１２", false},
        {"a1", true},     {"0", true},   {"+7", true},    {"8 (812) 555", true}, {"#*,9", true},
    };
    for (const auto& [text, ok] : cases) {
        TNumberProp dlg;
        dlg.show();
        for (QChar ch : QString::fromUtf8(text)) {  // typed as a keyboard would, any letter
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(dlg.eNumber, &press);
        }
        EXPECT_EQ(dlg.eNumber->text(), QString::fromUtf8(text));
        EXPECT_EQ(dlg.bOK->isEnabled(), ok) << text;
    }
}

TEST(NumberProp, OkAndCancelEndTheDialog)
{
    {
        TNumberProp dlg;
        dlg.SetNumber("8 (812) 555-12-34 p");
        EXPECT_TRUE(dlg.bOK->isEnabled());
        QTimer::singleShot(0, &dlg, [&] { QTest::mouseClick(dlg.bOK, Qt::LeftButton); });
        EXPECT_EQ(dlg.exec(), QDialog::Accepted);
        EXPECT_EQ(dlg.Number(), "8 (812) 555-12-34 p");
    }
    {
        TNumberProp dlg;
        dlg.SetNumber("5551234");
        QTimer::singleShot(0, &dlg, [&] { QTest::mouseClick(dlg.bCansel, Qt::LeftButton); });
        EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    }
    {
        TNumberProp dlg;
        QTimer::singleShot(0, &dlg, [&] {
            QTest::keyClicks(dlg.eNumber, "555");
            QTest::keyClick(dlg.eNumber, Qt::Key_Return);
        });
        EXPECT_EQ(dlg.exec(), QDialog::Accepted);
        EXPECT_EQ(dlg.Number(), "555");
    }
    {
        TNumberProp dlg;
        QTimer::singleShot(0, &dlg, [&] {
            QTest::keyClick(dlg.eNumber, Qt::Key_Return);  // OK is disabled: nothing
            QTest::keyClick(dlg.eNumber, Qt::Key_Escape);
        });
        EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    }
}

TEST(NumberProp, TheNumberCrossesAsWindows1251)
{
    TNumberProp dlg;
    dlg.SetNumber(testenv::cp("доб. 25"));
    EXPECT_EQ(dlg.eNumber->text(), QString::fromUtf8("доб. 25"));
    EXPECT_EQ(dlg.Number(), testenv::cp("доб. 25"));
}

// ---- the wave player

TEST(OrvWavePlayer, LoopOnlyWhileAsync)
{
    TOrvWavePlayer wav;
    EXPECT_FALSE(wav.Async());
    EXPECT_FALSE(wav.Loop());
    wav.SetLoop(true);
    EXPECT_FALSE(wav.Loop());
    wav.SetAsync(true);
    wav.SetLoop(true);
    EXPECT_TRUE(wav.Loop());
    wav.SetAsync(false);
    EXPECT_FALSE(wav.Loop());
    wav.SetAsync(true);
    EXPECT_FALSE(wav.Loop());
}

TEST(OrvWavePlayer, PlaysWithTheFlagsOfItsSettings)
{
    struct Case {
        bool async, loop;
        unsigned flags;
    };
    const Case cases[] = {
        {false, false, sound::SND_FILENAME},
        {false, true, sound::SND_FILENAME},
        {true, false, sound::SND_FILENAME | sound::SND_ASYNC},
        {true, true, sound::SND_FILENAME | sound::SND_ASYNC | sound::SND_LOOP},
    };
    for (const Case& c : cases) {
        sound::RecordingPlayer player;
        player.Result = c.async;
        TOrvWavePlayer wav;
        wav.SetAsync(c.async);
        wav.SetLoop(c.loop);
        wav.WaveFile = "Sounds\\Connect.wav";
        std::vector<std::string> order;
        wav.BeforePlay = [&](TOrvWavePlayer* s) {
            EXPECT_EQ(s, &wav);
            order.push_back("before " + std::to_string(player.Calls.size()));
        };
        wav.AfterPlay = [&](TOrvWavePlayer*) { order.push_back("after " + std::to_string(player.Calls.size())); };
        EXPECT_EQ(wav.Play(), c.async);
        ASSERT_EQ(player.Calls.size(), 1u);
        EXPECT_TRUE(player.Calls[0].HasName);
        EXPECT_EQ(player.Calls[0].Name, "Sounds\\Connect.wav");
        EXPECT_EQ(player.Calls[0].Flags, c.flags);
        EXPECT_EQ(order, (std::vector<std::string>{"before 0", "after 1"}));

        wav.Stop();
        ASSERT_EQ(player.Calls.size(), 2u);
        EXPECT_FALSE(player.Calls[1].HasName);
        EXPECT_EQ(player.Calls[1].Flags, sound::SND_FILENAME);
    }
}

// Whatever the machine has for sound, playing returns and never hangs: a
// machine without a sound device stays silent and answers false.
TEST(DesktopPlayer, PlaysOrStaysSilentWithoutHanging)
{
    const std::string dir = testenv::makeDir("sounds");
    auto& p = sound::desktopPlayer();
    p.PlaySound((dir + "/missing.wav").c_str(), sound::SND_FILENAME | sound::SND_ASYNC);
    p.PlaySound((dir + "/missing.wav").c_str(), sound::SND_FILENAME | sound::SND_NODEFAULT);
    EXPECT_FALSE(p.PlaySound((dir + "/missing.wav").c_str(), sound::SND_FILENAME | sound::SND_NODEFAULT));
    p.PlaySound((dir + "/missing.wav").c_str(), sound::SND_FILENAME);  // the default sound, to its end
    p.PlaySound(nullptr, sound::SND_FILENAME);
}

// A sound server as the desktop's is under PulseAudio: it reports the end of
// a sound on a thread of its own, and the call that started (or cancelled)
// the sound waits for that report to be made before it returns. A report
// that cannot be made within 10 s is taken as the two waiting for each other:
// it is counted, and the call returns all the same.
class WaitingServer : public sound::ServerPlayer {
public:
    ~WaitingServer() override
    {
        for (std::thread& t : reporters) t.join();
    }

    int plays = 0;
    int cancels = 0;
    int stuck = 0;  // reports that could not be made while the call waited

protected:
    bool ServerOpen() override { return true; }
    // The sound last started is reported cancelled (the player has moved on
    // from it by then).
    void ServerCancel() override
    {
        ++cancels;
        if (last != 0) report(last, false);
    }
    bool ServerPlay(const std::string&, uint64_t Sound) override
    {
        ++plays;
        last = Sound;
        report(Sound, true);  // a short sound: over before the call returns
        return true;
    }

private:
    void report(uint64_t sound, bool ok)
    {
        auto made = std::make_shared<bool>(false);
        reporters.emplace_back([this, sound, ok, made] {
            Finished(sound, ok);
            std::lock_guard lk(m);
            *made = true;
            cv.notify_all();
        });
        std::unique_lock lk(m);
        if (!cv.wait_for(lk, std::chrono::seconds(10), [&] { return *made; })) ++stuck;
    }

    uint64_t last = 0;
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::thread> reporters;
};

TEST(DesktopPlayer, TheServersReportOfTheEndNeverWaitsForTheCallThatStartedIt)
{
    const std::string dir = testenv::makeDir("waiting-server");
    const std::string missing = dir + "/missing.wav";
    WaitingServer server;
    // To its end: the report arrives while the play call is still running.
    EXPECT_TRUE(server.PlaySound(missing.c_str(), sound::SND_FILENAME));
    // Looping: each report plays the sound again, from the main thread.
    EXPECT_TRUE(server.PlaySound(missing.c_str(), sound::SND_FILENAME | sound::SND_ASYNC | sound::SND_LOOP));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_GE(server.plays, 3);
    EXPECT_TRUE(server.PlaySound(nullptr, sound::SND_FILENAME));
    const int plays = server.plays;
    QCoreApplication::processEvents();
    EXPECT_EQ(server.plays, plays);  // stopped: no more replays
    EXPECT_EQ(server.stuck, 0);
}

}  // namespace
