#pragma once
// Qt's own widgets as the programs' Russian desktop showed them: Qt's texts
// (the question boxes' buttons, the edit boxes' context menus) in Russian, a
// password edit that shows "*", and a text the program puts into a one-line
// edit shown from its start. The texts the programs keep (cp1251, lines
// ending in CR LF) as a text widget holds them (Unicode, lines ending in LF),
// and back; the box that reports an exception.

#include "platform/ansistring.h"

class QLineEdit;
class QString;

namespace widgets {

// Loads Qt's Russian translation from the system's Qt translations folder
// (Debian: qt6-translations-l10n) into the application; a QCoreApplication
// must exist. False when it is not installed: Qt's texts then stay English.
bool loadQtTranslation();

// The edit hides what is typed, showing "*" for each character (the style's
// own mask character may be another).
void maskWithStars(QLineEdit* Edit);

// Sets the text and shows it from its start: setText alone leaves the caret
// at the end, so a text longer than the edit shows only its tail.
void setTextFromStart(QLineEdit* Edit, const QString& Text);

// A kept text as a text widget holds it: CR LF becomes LF; a lone CR or LF
// stays as it is.
QString widgetText(const AnsiString& Text);
// The same for a text given as Unicode (a form's caption written with CR LF).
QString widgetLines(QString Text);
// A text widget's text as the programs keep it: every line break (LF, and the
// line separator U+2028 a rich edit gives for Shift+Enter) becomes CR LF, a
// lone CR is dropped, and a character cp1251 cannot hold becomes "?".
AnsiString keptText(const QString& Text);

// The report of an exception that reached the event loop: a critical box
// with the program's Title over the active window, showing Message (cp1251)
// with a full stop added after a last character above ".".
void showException(const QString& Title, const AnsiString& Message);

}  // namespace widgets
