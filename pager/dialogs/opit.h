#pragma once
// The operator dialog "Добавить оператора" / "Свойства оператора" of the
// options dialog: type, city, name, gateway template and description of one
// of the user's own operators. Its OK closes only when the fields pass the
// checks; it writes nothing.

#include "pager/opcheck.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TOpItemWin : public QDialog {
    Q_OBJECT
public:
    explicit TOpItemWin(QWidget* Owner);

    QComboBox* cbType = nullptr;
    QLineEdit* eCity = nullptr;
    QLineEdit* eTitle = nullptr;
    QLineEdit* eMailGate = nullptr;
    QLineEdit* eDescription = nullptr;
    QLabel* stHelp = nullptr;
    QPushButton* bOK = nullptr;
    QPushButton* bCancel = nullptr;

    // The message of a failed check; the framework's plain message box by default.
    std::function<void(const QString& Text)> ShowMessage;
    // A check of the opener's after the dialog's own (cp1251 message, empty
    // when it passes): the options dialog refuses an operator it already lists.
    std::function<AnsiString(const TOpItemFields& Fields)> ExtraCheck;

    // For editing: the caption "Свойства оператора" and the fields.
    void Fill(const TOpItemFields& Fields);
    // The fields as typed (cp1251, untrimmed).
    TOpItemFields Fields() const;
    void bOKClick();

protected:
    void done(int Result) override;
};
