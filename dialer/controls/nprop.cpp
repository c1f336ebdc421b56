#include "dialer/controls/nprop.h"

#include "platform/app.h"
#include "platform/codepage.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

TNumberProp::TNumberProp(QWidget* Parent) : QDialog(Parent)
{
    setObjectName("NumberProp");
    setWindowTitle(QString::fromUtf8("Добавить телефон"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(250, 98);

    gbNumber = new QGroupBox(QString::fromUtf8("Номер"), this);
    gbNumber->setGeometry(8, 4, 234, 54);
    eNumber = new QLineEdit(gbNumber);
    eNumber->setObjectName("eNumber");
    eNumber->setGeometry(10, 22, 214, 22);

    bOK = new QPushButton(QString::fromUtf8("OK"), this);
    bOK->setObjectName("bOK");
    bOK->setGeometry(86, 66, 75, 25);
    bOK->setDefault(true);
    bOK->setEnabled(false);
    bCansel = new QPushButton(QString::fromUtf8("Отмена"), this);
    bCansel->setObjectName("bCansel");
    bCansel->setGeometry(167, 66, 75, 25);

    connect(eNumber, &QLineEdit::textChanged, this, [this] { app::guard([this] { eNumberChange(); }); });
    connect(bOK, &QPushButton::clicked, this, [this] { app::guard([this] { bOKClick(); }); });
    connect(bCansel, &QPushButton::clicked, this, [this] { app::guard([this] { bCanselClick(); }); });
    eNumber->setFocus();
}

AnsiString TNumberProp::Number() const { return codepage::fromUnicode(eNumber->text()); }

void TNumberProp::SetNumber(const AnsiString& Value) { eNumber->setText(codepage::toUnicode(Value)); }

void TNumberProp::eNumberChange()
{
    const QString text = eNumber->text();
    bOK->setEnabled(std::any_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }));
}

void TNumberProp::bOKClick() { done(QDialog::Accepted); }

void TNumberProp::bCanselClick() { done(QDialog::Rejected); }
