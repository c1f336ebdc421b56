#include "pager/dialogs/bookit.h"

#include "pager/compose.h"
#include "pager/dialogs/dialogs.h"
#include "pager/ini.h"
#include "pager/opdb.h"
#include "pager/program.h"
#include "pager/service.h"
#include "platform/app.h"
#include "platform/codepage.h"
#include "platform/ui/widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <tuple>

using dialogs::checkBox;
using dialogs::fromAnsi;
using dialogs::u;

namespace {

constexpr int kLabelWidth = 84;
constexpr int kFieldLeft = 96;
constexpr int kFieldWidth = 217;

QLabel* label(QWidget* parent, const char* text, int top)
{
    return dialogs::label(parent, text, 8, top + 3, kLabelWidth);
}

QLineEdit* edit(QWidget* parent, const char* name, int top)
{
    return dialogs::edit(parent, name, kFieldLeft, top, kFieldWidth);
}

QComboBox* dropDown(QWidget* parent, const char* name, int top)
{
    return dialogs::dropDown(parent, name, kFieldLeft, top, kFieldWidth);
}

// The edit of an own greeting or signature, beside its check box.
QLineEdit* ownEdit(QWidget* parent, const char* name, int top) { return dialogs::edit(parent, name, 132, top, 181); }

QString autoHint(const char* where)
{
    return u("Если опция активна то %1 каждого сообщения\n"
             "будет подставляться эта строка. О значениях для \n"
             "этой строки читайте в readme.txt")
        .arg(u(where));
}

void setItems(QComboBox* box, const std::vector<AnsiString>& items)
{
    box->clear();
    for (const AnsiString& s : items) box->addItem(fromAnsi(s));
}

// The item of the list equal to Key, which is upper-cased already.
int findUpper(const std::vector<AnsiString>& items, const AnsiString& key)
{
    for (size_t i = 0; i < items.size(); ++i) {
        if (codepage::upperCase(items[i]) == key) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

TBookItWin::TBookItWin(QWidget* Owner, const TOpList& OpList, const TPagerList& PagerList)
    : QDialog(Owner), opList_(OpList), pagerList_(PagerList)
{
    dialogs::setUp(this, "BookItWin", "Добавить запись", 337, 456);
    ShowMessage = [this](const QString& text) { QMessageBox::information(this, QString::fromUtf8(Title), text); };
    createControls();
    app::guard([this] { FormCreate(); });
}

TBookItWin::~TBookItWin() = default;

void TBookItWin::createControls()
{
    gbUser = new QGroupBox(u("Абонент"), this);
    gbUser->setObjectName("gbUser");
    gbUser->setGeometry(8, 6, 321, 98);
    label(gbUser, "Имя в списке:", 18);
    eName = edit(gbUser, "eName", 18);
    label(gbUser, "E-Mail:", 44);
    eEMail = edit(gbUser, "eEMail", 44);
    label(gbUser, "Полное имя:", 70);
    eFullName = edit(gbUser, "eFullName", 70);

    gbOperator = new QGroupBox(u("Оператор"), this);
    gbOperator->setObjectName("gbOperator");
    gbOperator->setGeometry(8, 108, 321, 200);
    label(gbOperator, "Тип:", 18);
    cbType = dropDown(gbOperator, "cbType", 18);
    cbType->addItems({u("Пейджер"), u("SMS")});
    label(gbOperator, "Город:", 44);
    cbCity = dropDown(gbOperator, "cbCity", 44);
    label(gbOperator, "Оператор:", 70);
    cbOperators = dropDown(gbOperator, "cbOperators", 70);
    cbWithPhone = checkBox(gbOperator, "cbWithPhone", "список с телефонами", kFieldLeft, 94, kFieldWidth);
    label(gbOperator, "Номер:", 116);
    eNum = edit(gbOperator, "eNum", 116);
    label(gbOperator, "Модель:", 142);
    cbPagers = dropDown(gbOperator, "cbPagers", 142);
    label(gbOperator, "Кодировка:", 168);
    cbCode = dropDown(gbOperator, "cbCode", 168);
    for (int code = 0; code < RecodeCount; ++code) cbCode->addItem(fromAnsi(RecodeShownName(code)));

    gbParams = new QGroupBox(u("Собственные параметры"), this);
    gbParams->setObjectName("gbParams");
    gbParams->setGeometry(8, 312, 321, 100);
    cbAutoHeader = checkBox(gbParams, "cbAutoHeader", "Автообращение", 8, 18, 122);
    cbAutoHeader->setToolTip(autoHint("в начало"));
    eHeader = ownEdit(gbParams, "eHeader", 18);
    eHeader->setToolTip(u(MacroHintText));
    cbCopyEMail = checkBox(gbParams, "cbCopyEMail", "Отправить копию на E-Mail", 8, 44, 305);
    cbAutoSignat = checkBox(gbParams, "cbAutoSignat", "Автоподпись", 8, 70, 122);
    cbAutoSignat->setToolTip(autoHint("в конец"));
    eSignat = ownEdit(gbParams, "eSignat", 70);

    std::tie(bOK, bCancel) = dialogs::okCancel(this, 176, 422);

    QWidget* order[] = {eName,   eEMail, eFullName,    cbType,      cbCity,       cbOperators,
                        cbWithPhone, eNum, cbPagers,   cbCode,      cbAutoHeader, eHeader,
                        cbCopyEMail, cbAutoSignat, eSignat, bOK, bCancel};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    using dialogs::bind;
    // The lists change by the user's choice only; the program calls the
    // handlers itself where it chooses.
    bind(this, cbType, &QComboBox::activated, [this] {
        addrTouched();
        cbTypeChange();
    });
    bind(this, cbCity, &QComboBox::activated, [this] {
        addrTouched();
        cbCityChange();
    });
    bind(this, cbOperators, &QComboBox::activated, [this] { addrTouched(); });
    bind(this, eNum, &QLineEdit::textEdited, [this] { addrTouched(); });
    bind(this, cbWithPhone, &QCheckBox::toggled, [this] { cbWithPhoneClick(); });
    bind(this, eName, &QLineEdit::textChanged, [this] { eNumChange(); });
    bind(this, eNum, &QLineEdit::textChanged, [this] { eNumChange(); });
    bind(this, cbAutoHeader, &QCheckBox::toggled, [this] { cbAutoHeaderClick(); });
    bind(this, cbAutoSignat, &QCheckBox::toggled, [this] { cbAutoSignatClick(); });
    bind(this, bOK, &QPushButton::clicked, [this] { bOKClick(); });
}

void TBookItWin::FormCreate()
{
    dialogs::loadPosition(this, "BookIt");
    cbType->setCurrentIndex(OpTypePager);
    cbWithPhone->setChecked(Ini.Main.ListWithPhone);
    cbCode->setCurrentIndex(0);
    cbTypeChange();
}

void TBookItWin::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    if (!shown_) {
        shown_ = true;
        app::guard([this] { FormShow(); });
    }
}

void TBookItWin::FormShow()
{
    cbAutoHeaderClick();
    cbAutoSignatClick();
    eNumChange();
}

void TBookItWin::done(int Result)
{
    app::guard([this] { dialogs::savePosition(this, "BookIt"); });
    QDialog::done(Result);
}

int TBookItWin::type() const { return cbType->currentIndex() == OpTypeSms ? OpTypeSms : OpTypePager; }

void TBookItWin::addrTouched()
{
    addrTouched_ = true;
    eNumChange();
}

void TBookItWin::cbTypeChange()
{
    LoadCities();
    models_ = ContactModels(pagerList_, type());
    setItems(cbPagers, models_);
    cbPagers->setCurrentIndex(models_.empty() ? -1 : 0);
}

void TBookItWin::cbCityChange() { LoadOperators(); }

void TBookItWin::LoadCities()
{
    const AnsiString remembered = codepage::fromUnicode(cbCity->currentText());
    cities_ = ContactCities(opList_, type());
    setItems(cbCity, cities_);
    const int at = FindText(cities_, remembered);
    cbCity->setCurrentIndex(at >= 0 ? at : (cities_.empty() ? -1 : 0));
    LoadOperators();
}

void TBookItWin::LoadOperators()
{
    operators_ = ContactOperators(opList_, type(), codepage::fromUnicode(cbCity->currentText()),
                                  Ini.Main.ListWithPhone);
    cbOperators->clear();
    for (const TContactOperator& op : operators_) cbOperators->addItem(fromAnsi(op.Text));
    cbOperators->setCurrentIndex(operators_.empty() ? -1 : 0);
}

void TBookItWin::cbWithPhoneClick()
{
    // A setting of its own: it stays changed even when the dialog is cancelled.
    Ini.Main.ListWithPhone = cbWithPhone->isChecked();
    // The lists sort differently: the place in the list survives, not the operator.
    const int index = cbOperators->currentIndex();
    LoadOperators();
    if (index < cbOperators->count()) cbOperators->setCurrentIndex(index);
}

void TBookItWin::eNumChange()
{
    const AnsiString name = codepage::fromUnicode(eName->text());
    const AnsiString num = codepage::fromUnicode(eNum->text());
    // A kept address is not built from the number, so the number is not checked then.
    const bool ok = ContactOkRule(name, num) || (KeepAddr() && !Trim(name).empty());
    bOK->setEnabled(ok);
}

void TBookItWin::cbAutoHeaderClick() { dialogs::followBox(cbAutoHeader, eHeader); }

void TBookItWin::cbAutoSignatClick() { dialogs::followBox(cbAutoSignat, eSignat); }

void TBookItWin::SetTypeCityOperator(int Index)
{
    const std::optional<TOpSelection> sel = OpSelectionOf(opList_, Index, Ini.Main.ListWithPhone);
    auto noOperator = [this] { cbOperators->setCurrentIndex(-1); };
    if (!sel) return noOperator();
    if (sel->Sms) {
        cbType->setCurrentIndex(OpTypeSms);
        cbTypeChange();
    }
    if (!sel->City) return noOperator();
    const int city = findUpper(cities_, *sel->City);
    if (city < 0) return noOperator();
    cbCity->setCurrentIndex(city);
    cbCityChange();
    std::vector<AnsiString> texts;
    for (const TContactOperator& op : operators_) texts.push_back(op.Text);
    cbOperators->setCurrentIndex(findUpper(texts, sel->Operator));
}

int TBookItWin::GetPager(const AnsiString& Model) const { return FindText(models_, Model); }

void TBookItWin::Fill(const TBookItDialogInit& Init)
{
    setWindowTitle(u("Редактировать запись"));
    editing_ = true;
    addrTouched_ = false;
    const TBookItem& item = Init.Item;
    widgets::setTextFromStart(eName, fromAnsi(Init.Name));
    widgets::setTextFromStart(eFullName, fromAnsi(item.FullName));
    widgets::setTextFromStart(eEMail, fromAnsi(item.EMail));
    SetTypeCityOperator(Init.OpIndex);
    eNum->setText(fromAnsi(Init.Num));
    cbPagers->setCurrentIndex(GetPager(item.Model));
    cbCode->setCurrentIndex(item.Code >= 0 && item.Code < RecodeCount ? item.Code : -1);
    widgets::setTextFromStart(eHeader, fromAnsi(item.Header));
    widgets::setTextFromStart(eSignat, fromAnsi(item.Signature));
    cbAutoHeader->setChecked(item.OwnHeader);
    cbCopyEMail->setChecked(item.CopyEMail);
    cbAutoSignat->setChecked(item.OwnSignature);
    eNumChange();
}

TBookItDialogResult TBookItWin::Result() const
{
    TBookItDialogResult r;
    r.Name = codepage::fromUnicode(eName->text());
    r.EMail = dialogs::lineText(eEMail);
    r.FullName = dialogs::lineText(eFullName);
    r.Type = type();
    r.City = codepage::fromUnicode(cbCity->currentText());
    r.Operator = codepage::fromUnicode(cbOperators->currentText());
    const int chosen = cbOperators->currentIndex();
    r.OpIndex = chosen >= 0 && chosen < static_cast<int>(operators_.size()) ? operators_[static_cast<size_t>(chosen)].OpIndex
                                                                         : -1;
    r.WithPhone = cbWithPhone->isChecked();
    r.Num = codepage::fromUnicode(eNum->text());
    r.Model = codepage::fromUnicode(cbPagers->currentText());
    r.Code = cbCode->currentIndex();
    r.Header = dialogs::lineText(eHeader);
    r.Signature = dialogs::lineText(eSignat);
    r.OwnHeader = cbAutoHeader->isChecked();
    r.CopyEMail = cbCopyEMail->isChecked();
    r.OwnSignature = cbAutoSignat->isChecked();
    r.KeepAddr = KeepAddr();
    return r;
}

void TBookItWin::bOKClick()
{
    if (!bOK->isEnabled()) return;
    const std::pair<QLineEdit*, const char*> fields[] = {
        {eName, "Имя в списке"}, {eEMail, "E-Mail"},        {eFullName, "Полное имя"},
        {eNum, "Номер"},         {eHeader, "Автообращение"}, {eSignat, "Автоподпись"},
    };
    for (const auto& [field, caption] : fields) {
        if (!codepage::canHold(field->text())) {
            ShowMessage(u("В поле \"%1\" найдены недопустимые символы!").arg(u(caption)));
            field->setFocus();
            return;
        }
    }
    // A new address needs an operator: what the user typed is not thrown away
    // for want of one.
    if (!KeepAddr() && cbOperators->currentIndex() < 0) {
        ShowMessage(u("Не выбран оператор! Выберите тип, город и оператора абонента."));
        cbOperators->setFocus();
        return;
    }
    if (ExtraCheck) {
        const QString refusal = ExtraCheck(Result());
        if (!refusal.isEmpty()) {
            ShowMessage(refusal);
            eName->setFocus();
            return;
        }
    }
    accept();
}
