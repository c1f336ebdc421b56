#include "pager/dialogs/opit.h"

#include "pager/dialogs/dialogs.h"
#include "pager/program.h"
#include "platform/app.h"
#include "platform/codepage.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <tuple>

using dialogs::fromAnsi;
using dialogs::u;

namespace {

const char* const kGateHelp =
    "Номер абонента в адресе шлюза обозначается символами ###. Если номер должен "
    "стоять в теме письма, после адреса пишется:\n"
    "?subject=###\n"
    "Примеры:\n"
    "###@pager.example.net\n"
    "gate@sms.example.com?subject=###";

QLabel* label(QWidget* parent, const char* text, int top) { return dialogs::label(parent, text, 8, top + 3, 84); }

QLineEdit* edit(QWidget* parent, const char* name, int top) { return dialogs::edit(parent, name, 96, top, 217); }

}  // namespace

TOpItemWin::TOpItemWin(QWidget* Owner) : QDialog(Owner)
{
    dialogs::setUp(this, "OpItemWin", "Добавить оператора", 321, 308);
    ShowMessage = [this](const QString& text) { QMessageBox::information(this, QString::fromUtf8(Title), text); };

    label(this, "Тип:", 12);
    cbType = dialogs::dropDown(this, "cbType", 96, 12, 217);
    cbType->addItems({u("Пейджер"), u("SMS")});
    label(this, "Город:", 40);
    eCity = edit(this, "eCity", 40);
    label(this, "Название:", 66);
    eTitle = edit(this, "eTitle", 66);
    QLabel* gateLabel = label(this, "Email шлюз:", 92);
    eMailGate = edit(this, "eMailGate", 92);
    gateLabel->setToolTip(u(kGateHelp));
    eMailGate->setToolTip(u(kGateHelp));
    label(this, "Описание:", 118);
    eDescription = edit(this, "eDescription", 118);

    stHelp = new QLabel(u(kGateHelp), this);
    stHelp->setObjectName("stHelp");
    stHelp->setFrameShape(QFrame::Panel);
    stHelp->setFrameShadow(QFrame::Sunken);
    stHelp->setWordWrap(true);
    stHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    stHelp->setMargin(4);
    stHelp->setGeometry(8, 148, 305, 116);

    std::tie(bOK, bCancel) = dialogs::okCancel(this, 160, 274);
    QWidget* order[] = {cbType, eCity, eTitle, eMailGate, eDescription, bOK, bCancel};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    dialogs::bind(this, bOK, &QPushButton::clicked, [this] { bOKClick(); });

    app::guard([this] { dialogs::loadPosition(this, "OpItem"); });
    cbType->setCurrentIndex(0);
}

void TOpItemWin::Fill(const TOpItemFields& Fields)
{
    setWindowTitle(u("Свойства оператора"));
    cbType->setCurrentIndex(Fields.Type == 1 ? 1 : 0);
    eCity->setText(fromAnsi(Fields.City));
    eTitle->setText(fromAnsi(Fields.Title));
    eMailGate->setText(fromAnsi(Fields.MailGate));
    eDescription->setText(fromAnsi(Fields.Description));
}

TOpItemFields TOpItemWin::Fields() const
{
    return {cbType->currentIndex() == 1 ? 1 : 0, codepage::fromUnicode(eCity->text()),
            codepage::fromUnicode(eTitle->text()), codepage::fromUnicode(eMailGate->text()),
            codepage::fromUnicode(eDescription->text())};
}

void TOpItemWin::bOKClick()
{
    AnsiString message = CheckOpItem(Fields());
    // Then a character cp1251 cannot hold, in any field: it would be stored
    // as "?" (in a gateway, the start of its subject).
    const std::pair<QLineEdit*, TOpField> edits[] = {{eCity, TOpField::City},
                                                     {eTitle, TOpField::Title},
                                                     {eMailGate, TOpField::MailGate},
                                                     {eDescription, TOpField::Description}};
    for (const auto& [e, field] : edits) {
        if (message.empty() && !codepage::canHold(e->text())) message = OpFieldInvalidChars(field);
    }
    if (message.empty() && ExtraCheck) message = ExtraCheck(TrimOpItem(Fields()));
    if (!message.empty()) {
        ShowMessage(fromAnsi(message));
        return;
    }
    accept();
}

void TOpItemWin::done(int Result)
{
    app::guard([this] { dialogs::savePosition(this, "OpItem"); });
    QDialog::done(Result);
}
