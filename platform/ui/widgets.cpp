#include "platform/ui/widgets.h"

#include "platform/codepage.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTranslator>

namespace widgets {

bool loadQtTranslation()
{
    static QPointer<QTranslator> loaded;
    if (loaded) return true;
    QCoreApplication* const app = QCoreApplication::instance();
    if (!app) return false;
    auto* translator = new QTranslator(app);
    if (!translator->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    loaded = translator;
    return true;
}

void maskWithStars(QLineEdit* Edit)
{
    Edit->setEchoMode(QLineEdit::Password);
    // The widget's own style sheet sets the one property and leaves the rest
    // of its look to the application's style.
    Edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

void setTextFromStart(QLineEdit* Edit, const QString& Text)
{
    Edit->setText(Text);
    Edit->setCursorPosition(0);
}

QString widgetText(const AnsiString& Text) { return widgetLines(codepage::toUnicode(Text)); }

QString widgetLines(QString Text)
{
    Text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return Text;
}

AnsiString keptText(const QString& Text)
{
    QString text = Text;
    text.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
    const AnsiString lf = codepage::fromUnicode(text);
    AnsiString out;
    out.reserve(lf.size() + lf.size() / 16);
    for (char c : lf) {
        if (c == '\n') out += '\r';
        if (c != '\r') out += c;
    }
    return out;
}

void showException(const QString& Title, const AnsiString& Message)
{
    AnsiString text = Message;
    if (!text.empty() && byteOf(text.back()) > '.') text += '.';
    QMessageBox::critical(QApplication::activeWindow(), Title, codepage::toUnicode(text));
}

}  // namespace widgets
