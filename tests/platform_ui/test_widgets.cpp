#include "platform/ui/widgets.h"

#include "tests/support/testenv.h"

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <vector>

namespace {

using testenv::cp;

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

TEST(WidgetText, KeptTextAsTheWidgetHoldsIt)
{
    struct Case {
        const char* kept;  // UTF-8 of the cp1251 bytes
        const char* shown;
    };
    const std::vector<Case> cases = {
        {"Привет\r\nмир", "Привет\nмир"},
        {"\r\n\r\nдва\r\n", "\n\nдва\n"},
        {"одна\nстрока", "одна\nстрока"},     // a lone LF stays
        {"одна\rстрока", "одна\rстрока"},     // a lone CR stays
        {"а\r\r\nб", "а\r\nб"},
        {"без переводов строк", "без переводов строк"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(widgets::widgetText(cp(c.kept)), u(c.shown)) << c.kept;

    // 0x98, which cp1251 leaves unassigned, survives the way there and back.
    EXPECT_EQ(widgets::widgetText("a\x98\r\nb"), u("a\u0098\nb"));
    EXPECT_EQ(widgets::keptText(widgets::widgetText("a\x98\r\nb")), "a\x98\r\nb");
    EXPECT_EQ(widgets::widgetLines(u("Разместить данные\r\nв сети.")), u("Разместить данные\nв сети."));
}

TEST(WidgetText, WidgetsTextAsTheProgramKeepsIt)
{
    struct Case {
        QString shown;
        const char* kept;  // UTF-8 of the cp1251 bytes
    };
    const std::vector<Case> cases = {
        {u("Привет\nмир"), "Привет\r\nмир"},
        {u("Привет\r\nмир"), "Привет\r\nмир"},
        {u("одна\rстрока"), "однастрока"},  // a lone CR is dropped
        {u("строка\u2028другая"), "строка\r\nдругая"},
        {u("\n\n"), "\r\n\r\n"},
        {u("без переводов строк"), "без переводов строк"},
        {u("снег \u2603 и \u20ac"), "снег ? и \xe2\x82\xac"},  // U+2603 has no cp1251 byte; the euro sign has
        {u(""), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(widgets::keptText(c.shown), cp(c.kept)) << c.kept;
}

TEST(WidgetText, LineBreaksTypedIntoTextWidgetsAreKeptAsCrLf)
{
    QPlainTextEdit memo;
    QTextEdit box;
    for (QWidget* w : {static_cast<QWidget*>(&memo), static_cast<QWidget*>(&box)}) {
        QTest::keyClicks(w, "one");
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClicks(w, "two");
        QTest::keyClick(w, Qt::Key_Return, Qt::ShiftModifier);  // a line break within the paragraph
        QTest::keyClicks(w, "three");
    }
    EXPECT_EQ(widgets::keptText(memo.toPlainText()), "one\r\ntwo\r\nthree");
    EXPECT_EQ(widgets::keptText(box.toPlainText()), "one\r\ntwo\r\nthree");
}

TEST(ExceptionBox, ShowsTheProgramsTitleAndTheMessage)
{
    struct Case {
        const char* message;
        const char* shown;
    };
    const std::vector<Case> cases = {
        {"Файл не найден", "Файл не найден."},
        {"Файл не найден.", "Файл не найден."},
        {"Нет связи!", "Нет связи!"},
        {"", ""},
    };
    for (const Case& c : cases) {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;  // not shown yet
            closer.stop();
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            box->done(QMessageBox::Ok);
        });
        closer.start(10);
        widgets::showException(u("Программа 1.0"), cp(c.message));
        EXPECT_EQ(title, u("Программа 1.0"));
        EXPECT_EQ(text, u(c.shown)) << c.message;
        EXPECT_EQ(icon, QMessageBox::Critical);
    }
}
