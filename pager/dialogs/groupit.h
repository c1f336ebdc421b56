#pragma once
// The group dialog "Новая группа" / "Переименовать группу": one name. It
// writes nothing; the address book reads the name after OK.

#include "platform/ansistring.h"

#include <QDialog>

#include <functional>

class QGroupBox;
class QLineEdit;
class QPushButton;

class TGroupItWin : public QDialog {
    Q_OBJECT
public:
    explicit TGroupItWin(QWidget* Owner);

    QGroupBox* gbGroup = nullptr;
    QLineEdit* eGroup = nullptr;
    QPushButton* bOK = nullptr;
    QPushButton* bCancel = nullptr;

    // A refusal on OK (the dialog stays open); a message box by default.
    std::function<void(const QString& Text)> ShowMessage;
    // A check of the opener's on OK (the message, empty when it passes): the
    // address book refuses a name it cannot take.
    std::function<QString(const AnsiString& Name)> ExtraCheck;

    // For renaming: the caption "Переименовать группу" and the current name.
    void Fill(const AnsiString& Name);
    // The name as typed (cp1251).
    AnsiString Name() const;
    void bOKClick();

protected:
    void done(int Result) override;
};
