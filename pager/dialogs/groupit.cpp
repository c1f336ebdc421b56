#include "pager/dialogs/groupit.h"

#include "pager/dialogs/dialogs.h"
#include "pager/program.h"
#include "platform/app.h"
#include "platform/codepage.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <tuple>

using dialogs::u;

TGroupItWin::TGroupItWin(QWidget* Owner) : QDialog(Owner)
{
    dialogs::setUp(this, "GroupItWin", "Новая группа", 273, 110);
    ShowMessage = [this](const QString& text) { QMessageBox::information(this, QString::fromUtf8(Title), text); };

    gbGroup = new QGroupBox(this);
    gbGroup->setObjectName("gbGroup");
    gbGroup->setGeometry(8, 4, 257, 64);
    auto* label = new QLabel(u("Название группы:"), gbGroup);
    label->setGeometry(8, 12, 240, 16);
    eGroup = new QLineEdit(gbGroup);
    eGroup->setObjectName("eGroup");
    eGroup->setGeometry(8, 32, 241, 21);
    std::tie(bOK, bCancel) = dialogs::okCancel(this, 112, 76);
    setTabOrder(eGroup, bOK);
    setTabOrder(bOK, bCancel);
    dialogs::bind(this, bOK, &QPushButton::clicked, [this] { bOKClick(); });
    app::guard([this] { dialogs::loadPosition(this, "GroupIt"); });
}

void TGroupItWin::Fill(const AnsiString& Name)
{
    setWindowTitle(u("Переименовать группу"));
    eGroup->setText(dialogs::fromAnsi(Name));
}

AnsiString TGroupItWin::Name() const { return codepage::fromUnicode(eGroup->text()); }

void TGroupItWin::bOKClick()
{
    if (!codepage::canHold(eGroup->text())) {
        ShowMessage(u("В поле \"Название группы\" найдены недопустимые символы!"));
        eGroup->setFocus();
        return;
    }
    const QString refusal = ExtraCheck ? ExtraCheck(Name()) : QString();
    if (!refusal.isEmpty()) {
        ShowMessage(refusal);
        eGroup->setFocus();
        return;
    }
    accept();
}

void TGroupItWin::done(int Result)
{
    app::guard([this] { dialogs::savePosition(this, "GroupIt"); });
    QDialog::done(Result);
}
