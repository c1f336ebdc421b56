#include "platform/ui/widgets.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLineEdit>
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

}  // namespace widgets
