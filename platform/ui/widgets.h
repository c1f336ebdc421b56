#pragma once
// Qt's own widgets as the programs' Russian desktop showed them: Qt's texts
// (the question boxes' buttons, the edit boxes' context menus) in Russian, a
// password edit that shows "*", and a text the program puts into a one-line
// edit shown from its start.

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

}  // namespace widgets
