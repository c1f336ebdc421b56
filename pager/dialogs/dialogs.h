#pragma once
// What the pager's dialogs share: the form's look (fixed dialog border, the
// small dialog font), the place each keeps in the registry under its own
// name, texts across the widget boundary, and the edit that follows its check
// box.

#include "platform/ansistring.h"
#include "platform/app.h"

#include <QObject>
#include <QString>

#include <string_view>
#include <utility>

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace dialogs {

QString u(const char* utf8);
QString fromAnsi(std::string_view s);
// A one-line edit's text as cp1251; control characters (a pasted line break)
// become blanks, so none reaches a data file or a mail command.
AnsiString lineText(const QLineEdit* Edit);

// Fixed dialog border, the given caption, the main window's small font.
void setUp(QDialog* Dialog, const char* ObjectName, const char* Caption, int Width, int Height);

// The dialog's place (left and top) stored under Name; it is moved there
// before it is shown. Nothing stored: the window system places it.
void loadPosition(QWidget* Dialog, const char* Name);
// Stores its left and top under Name (no size, not maximized).
void savePosition(const QWidget* Dialog, const char* Name);

// Controls of a form at their place (left, top, width; the usual height of
// their kind), named as the form names them.
QLabel* label(QWidget* Parent, const char* Text, int Left, int Top, int Width);
QLineEdit* edit(QWidget* Parent, const char* Name, int Left, int Top, int Width);
QComboBox* dropDown(QWidget* Parent, const char* Name, int Left, int Top, int Width);
QCheckBox* checkBox(QWidget* Parent, const char* Name, const char* Caption, int Left, int Top, int Width);

// The buttons "OK" (default, named bOK) and "Отмена" (bCancel, which
// rejects), 75 x 25 side by side with their top-left corner at Left, Top.
std::pair<QPushButton*, QPushButton*> okCancel(QDialog* Dialog, int Left, int Top);

// Runs Fn on the signal, through the exception boundary.
template <class Sender, class Signal, class Fn>
void bind(QObject* Receiver, Sender* From, Signal Sig, Fn F)
{
    QObject::connect(From, Sig, Receiver, [F] { app::guard(F); });
}

// The edit is usable only while the box is checked, on the window colour then
// and on the button-face colour otherwise.
void followBox(const QCheckBox* Box, QLineEdit* Edit);

}  // namespace dialogs
