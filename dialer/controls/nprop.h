#pragma once
// TNumberProp: the modal dialog in which a phone number is typed. The caller
// sets the caption and the text, and reads the text after OK.

#include "platform/ansistring.h"

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;

class TNumberProp : public QDialog {
    Q_OBJECT
public:
    explicit TNumberProp(QWidget* Parent = nullptr);

    QGroupBox* gbNumber;
    QLineEdit* eNumber;
    QPushButton* bOK;
    QPushButton* bCansel;

    // The number field in Windows-1251.
    AnsiString Number() const;
    void SetNumber(const AnsiString& Value);

    // OK is enabled exactly when the text holds a digit 0 to 9.
    void eNumberChange();
    void bOKClick();
    void bCanselClick();
};
