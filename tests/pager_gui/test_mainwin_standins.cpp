// The stand-ins the main window uses: keyboard layouts and the browser
// control.

#include "platform/ui/keyboard.h"
#include "platform/ui/webview.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

TEST(KeyboardLayouts, GroupsOfAnXkbSymbolsName)
{
    struct Case {
        const char* symbols;
        std::vector<std::string> groups;
    };
    const Case cases[] = {
        {"pc+us+ru:2+inet(evdev)", {"us", "ru"}},
        {"pc+us+ru:2+ua:3+inet(evdev)+group(alt_shift_toggle)", {"us", "ru", "ua"}},
        {"pc+ru(phonetic)+us:2", {"ru(phonetic)", "us"}},
        {"pc+us", {"us"}},
        {"pc+us+ru:3", {"us", "", "ru"}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.symbols);
        EXPECT_EQ(keyboard::groupSymbols(c.symbols), c.groups);
    }
}

TEST(KeyboardLayouts, LanguageOfALayout)
{
    struct Case {
        const char* name;
        const char* symbols;
        uint16_t id;
    };
    const Case cases[] = {
        {"Russian", "ru", 0x0419},         {"", "ru(phonetic)", 0x0419}, {"Russian (phonetic)", "", 0x0419},
        {"English (US)", "us", 0x0409},    {"", "gb", 0x0809},           {"Ukrainian", "ua", 0x0422},
        {"Klingon", "tlh", 0},             {"", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "/" + c.symbols);
        EXPECT_EQ(keyboard::languageOfLayout(c.name, c.symbols), c.id);
    }
    EXPECT_EQ(keyboard::languageId(0x30419), 0x0419);
    EXPECT_EQ(keyboard::primaryLanguage(0x0419), 0x19);
}

TEST(KeyboardLayouts, NoneWithoutAWindowSystem)
{
    // The tests run offscreen: no layouts, and switching does nothing.
    EXPECT_TRUE(keyboard::getKeyboardLayoutList(8).empty());
    EXPECT_FALSE(keyboard::activateKeyboardLayout(0x10419));
    EXPECT_EQ(keyboard::activeKeyboardLayout(), 0u);
}

TEST(WebView, ReservedNames)
{
    for (const char* h : {"advert.kestrane.example", "example", "x.invalid", "a.b.test", "localhost", "x.localhost",
                          "X.EXAMPLE.", "test"})
        EXPECT_TRUE(webview::isReservedHost(QString::fromLatin1(h))) << h;
    for (const char* h : {"example.com", "kestrane.ru", "127.0.0.1", "testing.org", "exampletest"})
        EXPECT_FALSE(webview::isReservedHost(QString::fromLatin1(h))) << h;
}

TEST(WebView, AReservedHostFailsAtOnceAfterNavigateReturned)
{
    webview::WebView view;
    std::vector<std::pair<char, uint64_t>> events;
    view.OnNavigateComplete2 = [&](uint64_t f, const QUrl&) { events.push_back({'N', f}); };
    view.OnDocumentComplete = [&](uint64_t f, const QUrl&) { events.push_back({'D', f}); };
    const uint64_t frame = view.Navigate(QUrl("http://advert.kestrane.example/advert/pager.shtml"));
    EXPECT_NE(frame, 0u);
    EXPECT_TRUE(events.empty());  // never inside Navigate
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() == 2; }, 10000));
    EXPECT_EQ(events[0], std::make_pair('N', frame));
    EXPECT_EQ(events[1], std::make_pair('D', frame));
    EXPECT_TRUE(view.toPlainText().contains("advert.kestrane.example"));
    EXPECT_FALSE(view.Busy());
}

TEST(WebView, AStoppedOrReplacedLoadRaisesNothing)
{
    webview::WebView view;
    std::vector<uint64_t> done;
    view.OnDocumentComplete = [&](uint64_t f, const QUrl&) { done.push_back(f); };
    view.Navigate(QUrl("http://a.invalid/"));
    view.Stop();
    const uint64_t first = view.Navigate(QUrl("http://b.invalid/"));
    const uint64_t second = view.Navigate(QUrl("http://c.invalid/"));
    EXPECT_NE(first, second);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !done.empty(); }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(done, std::vector<uint64_t>{second});
}

TEST(WebView, ShowsAPageFromALoopbackServer)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = server.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, s, [s] {
            s->readAll();
            s->write("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
                     "<html><body><b>Реклама</b> <img src=\"file:///etc/passwd\"></body></html>");
            s->disconnectFromHost();
        });
    });
    webview::WebView view;
    std::vector<char> events;
    view.OnNavigateComplete2 = [&](uint64_t, const QUrl&) { events.push_back('N'); };
    view.OnDocumentComplete = [&](uint64_t, const QUrl&) { events.push_back('D'); };
    view.Navigate(QUrl(QString("http://127.0.0.1:%1/advert/pager.shtml").arg(server.serverPort())));
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() == 2; }, 10000));
    EXPECT_EQ(events, (std::vector<char>{'N', 'D'}));
    EXPECT_TRUE(view.toPlainText().contains(QString::fromUtf8("Реклама")));
    EXPECT_FALSE(view.toPlainText().contains("root:"));
}
