#include "pager/dialogs/opti.h"

#include "pager/dialogs/dialogs.h"
#include "pager/dialogs/opit.h"
#include "pager/opdb.h"
#include "pager/program.h"
#include "pager/service.h"
#include "platform/app.h"
#include "platform/codepage.h"
#include "platform/ui/shell.h"
#include "platform/ui/widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

#include <tuple>

#include <utility>

using dialogs::checkBox;
using dialogs::dropDown;
using dialogs::edit;
using dialogs::fromAnsi;
using dialogs::label;
using dialogs::u;

namespace {

const char* const kTypeText[] = {"Пейджер", "SMS"};

template <class W>
W* named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QGroupBox* group(QWidget* parent, const char* name, const char* caption, int left, int top, int width, int height)
{
    auto* g = named(new QGroupBox(u(caption), parent), name);
    g->setGeometry(left, top, width, height);
    return g;
}

// An edit of at most four digits with its up-down.
QSpinBox* upDown(QWidget* parent, const char* name, TUpDownRange range, int left, int top)
{
    auto* s = named(new QSpinBox(parent), name);
    s->setRange(range.Min, range.Max);
    s->setGeometry(left, top, 60, 22);
    return s;
}

QToolButton* toolButton(QWidget* parent, const char* name, const char* text, const char* hint)
{
    auto* b = named(new QToolButton(parent), name);
    b->setText(u(text));
    b->setToolTip(u(hint));
    b->setAutoRaise(true);
    return b;
}

QLabel* staticText(QWidget* parent, const char* name, int left, int top, int width)
{
    auto* l = named(new QLabel(parent), name);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setGeometry(left, top, width, 20);
    return l;
}

bool holdsControl(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() < 32 || c.unicode() == 127) return true;
    }
    return false;
}

}  // namespace

TOptiWin::TOptiWin(QWidget* Owner, const TOpList& OpList, const QList<QIcon>& TypesImage, std::string UserFile)
    : QDialog(Owner), opList_(OpList), typesImage_(TypesImage), userFile_(std::move(UserFile))
{
    dialogs::setUp(this, "OptiWin", "Настройка программы", 532, 418);
    ShowMessage = [this](const QString& text) { QMessageBox::information(this, QString::fromUtf8(Title), text); };
    Ask = [this](const QString& text) {
        return QMessageBox::question(this, u("Внимание"), text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    };
    ShowOpItemDialog = [this](const TOpItemFields* edit, std::function<AnsiString(const TOpItemFields&)> check)
        -> std::optional<TOpItemFields> {
        TOpItemWin dialog(this);
        if (edit) dialog.Fill(*edit);
        dialog.ExtraCheck = std::move(check);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return TrimOpItem(dialog.Fields());
    };
    createControls();
    bindEvents();
    app::guard([this] { FormCreate(); });
}

TOptiWin::~TOptiWin() = default;

// ---- controls ------------------------------------------------------------------

void TOptiWin::createControls()
{
    pcOptions = named(new QTabWidget(this), "pcOptions");
    pcOptions->setGeometry(6, 6, 520, 372);
    pcOptions->addTab(createGeneralPage(), u("Общие"));
    pcOptions->addTab(createConnectPage(), u("Подключение"));
    pcOptions->addTab(createBasePage(), u("Локальная база"));
    pcOptions->addTab(createMailPage(), u("Проверка почты"));
    pcOptions->addTab(createAboutPage(), u("О программе"));

    std::tie(bOK, bCancel) = dialogs::okCancel(this, 373, 386);
}

QWidget* TOptiWin::createGeneralPage()
{
    auto* page = named(new QWidget, "tsGeneral");
    QGroupBox* run = group(page, "gbRun", "Запуск", 6, 6, 250, 90);
    cbAutoRun = checkBox(run, "cbAutoRun", "Автозапуск с системой", 8, 18, 222);
    cbHideOnRun = checkBox(run, "cbHideOnRun", "Свернуть при запуске", 8, 42, 222);
    cbRunOneCopy = checkBox(run, "cbRunOneCopy", "Запускать только одну копию", 8, 66, 222);

    QGroupBox* message = group(page, "gbMessage", "Сообщение", 6, 100, 250, 176);
    label(message, "Помнить сообщений:", 8, 21, 130);
    udCountLog = upDown(message, "udCountLog", CountLogRange, 146, 18);
    label(message, "Максим. символов:", 8, 47, 130);
    udMaxSymbols = upDown(message, "udMaxSymbols", MaxSymbolsRange, 146, 44);
    cbLongMessage = checkBox(message, "cbLongMessage", "Разрезать длинные сообщения", 8, 72, 222);
    cbHideOnSuccess = checkBox(message, "cbHideOnSuccess", "Свернуть при удачной отправке", 8, 96, 222);
    cbFullText = checkBox(message, "cbFullText", "Показывать полный текст", 8, 120, 222);
    cbAutoRus = checkBox(message, "cbAutoRus", "Автопереключение на \"Русский\"", 8, 144, 222);

    QGroupBox* book = group(page, "gbBook", "Адресная книга", 264, 6, 244, 100);
    cbIconInBook = checkBox(book, "cbIconInBook", "Иконки в списке", 8, 18, 212);
    cbColumn2 = checkBox(book, "cbColumn2", "Дополнительная колонка", 8, 42, 212);
    cbColumns = dropDown(book, "cbColumns", 26, 68, 210);
    cbColumns->addItems({u("Оператор связи"), u("Полное имя"), u("E-Mail")});

    QGroupBox* tray = group(page, "gbTrayClick", "Щелчок по значку", 264, 110, 244, 72);
    rbDblClick = named(new QRadioButton(u("Двойной"), tray), "rbDblClick");
    rbDblClick->setGeometry(8, 18, 212, 20);
    rbClick = named(new QRadioButton(u("Одинарный"), tray), "rbClick");
    rbClick->setGeometry(8, 42, 212, 20);
    return page;
}

QWidget* TOptiWin::createConnectPage()
{
    auto* page = named(new QWidget, "tsConnect");
    QGroupBox* person = group(page, "gbPerson", "Персональная информация", 6, 6, 502, 74);
    label(person, "Ваше имя:", 8, 21, 106);
    eFromName = edit(person, "eFromName", 120, 18, 374);
    label(person, "Ваш Email:", 8, 47, 106);
    eFromAddress = edit(person, "eFromAddress", 120, 44, 374);

    QGroupBox* inet = group(page, "gbInternet", "Интернет", 6, 84, 502, 102);
    label(inet, "SMTP сервер:", 8, 21, 106);
    eSMTP = edit(inet, "eSMTP", 120, 18, 374);
    label(inet, "Порт:", 8, 47, 106);
    udPort = upDown(inet, "udPort", PortRange, 120, 44);
    label(inet, "UserID:", 200, 47, 56);
    eUserID = edit(inet, "eUserID", 260, 44, 234);
    cbUseOrvDialer = checkBox(inet, "cbUseOrvDialer", "Использовать Orvanta Dialer", 8, 74, 454);

    QGroupBox* later = group(page, "gbSendLater", "Отложенная отправка", 6, 190, 502, 84);
    auto* every = label(later, "Проверять список отложенной\r\nотправки каждые:", 8, 18, 176);
    every->setText(widgets::widgetLines(every->text()));
    every->resize(200, 32);
    udSendLater = upDown(later, "udSendLater", SendLaterRange, 214, 24);
    label(later, "минут", 280, 27, 60);
    cbSendLaterOn = checkBox(later, "cbSendLaterOn", "Оставлять режим включенным", 8, 56, 454);
    return page;
}

QWidget* TOptiWin::createBasePage()
{
    auto* page = named(new QWidget, "tsBase");
    QGroupBox* base = group(page, "gbBase", "База операторов", 6, 6, 502, 334);
    lvOperators = named(new QTreeWidget(base), "lvOperators");
    lvOperators->setGeometry(8, 18, 452, 180);
    lvOperators->setColumnCount(3);
    lvOperators->setHeaderLabels({QString(), u("Город"), u("Оператор")});
    lvOperators->setRootIsDecorated(false);
    lvOperators->setItemsExpandable(false);
    lvOperators->setSelectionMode(QAbstractItemView::SingleSelection);
    lvOperators->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvOperators->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvOperators->setSortingEnabled(false);
    lvOperators->header()->setStretchLastSection(true);
    lvOperators->setColumnWidth(0, 82);
    lvOperators->setColumnWidth(1, 130);

    sbAddOp = toolButton(base, "sbAddOp", "+", "Добавить оператора");
    sbAddOp->setGeometry(466, 18, 28, 26);
    sbDelOp = toolButton(base, "sbDelOp", "−", "Удалить оператора");
    sbDelOp->setGeometry(466, 46, 28, 26);
    sbEditOp = toolButton(base, "sbEditOp", "…", "Свойства оператора");
    sbEditOp->setGeometry(466, 74, 28, 26);

    label(base, "Email шлюз:", 8, 209, 88);
    stMailGate = staticText(base, "stMailGate", 100, 206, 394);
    label(base, "Описание:", 8, 235, 88);
    stDescription = staticText(base, "stDescription", 100, 232, 394);

    sbNewData = toolButton(base, "sbNewData", "Разместить данные о своем\r\nоператоре в сети интернет.", "");
    sbNewData->setText(widgets::widgetLines(sbNewData->text()));
    sbNewData->setGeometry(8, 270, 486, 48);
    sbNewData->setCursor(Qt::PointingHandCursor);
    return page;
}

QWidget* TOptiWin::createMailPage()
{
    auto* page = named(new QWidget, "tsMail");
    cbCheckMailActive = checkBox(page, "cbCheckMailActive", "Уведомление о приходе почты", 8, 8, 460);
    QLabel* host = label(page, "POP3 сервер:", 8, 39, 118);
    ePOPHost = edit(page, "ePOPHost", 130, 36, 374);
    QLabel* user = label(page, "Имя пользователя:", 8, 65, 118);
    ePOPUserID = edit(page, "ePOPUserID", 130, 62, 374);
    QLabel* password = label(page, "Пароль:", 8, 91, 118);
    ePOPPassword = edit(page, "ePOPPassword", 130, 88, 374);
    widgets::maskWithStars(ePOPPassword);
    QLabel* every = label(page, "Проверять почту каждые", 8, 117, 160);
    udCheckMail = upDown(page, "udCheckMail", CheckMailRange, 170, 114);
    QLabel* minutes = label(page, "минут", 236, 117, 60);
    QLabel* code = label(page, "Кодировка:", 8, 143, 118);
    cbCode = dropDown(page, "cbCode", 130, 140, 120);
    for (int c = 0; c < RecodeCount; ++c) cbCode->addItem(fromAnsi(RecodeShownName(c)));
    QLabel* to = label(page, "Получатель:", 8, 169, 118);
    cbToOperator = dropDown(page, "cbToOperator", 130, 166, 252);
    eToNum = edit(page, "eToNum", 388, 166, 116);
    mNotifText = named(new QPlainTextEdit(page), "mNotifText");
    mNotifText->setGeometry(8, 196, 496, 144);
    mNotifText->setToolTip(u("%COUNTNEWMSG% - количество новых писем\n"
                             "%COUNTALLMSG% - количество всех писем в ящике\n"
                             "%LASTMSGFROM% - автор последнего письма\n"
                             "%LASTMSGSUBJECT% - тема последнего письма\n"
                             "%LASTMSGSIZE% - размер последнего письма\n"
                             "%DATE% - текущая дата\n"
                             "%TIME% - текущее время"));
    mailControls_ = {host,  ePOPHost, user,   ePOPUserID,   password, ePOPPassword, every, udCheckMail,
                     minutes, code,   cbCode, to,           cbToOperator, eToNum,  mNotifText};
    return page;
}

QWidget* TOptiWin::createAboutPage()
{
    auto* page = named(new QWidget, "tsAbout");
    stTitle = named(new QLabel(page), "stTitle");
    QFont big = stTitle->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    stTitle->setFont(big);
    stTitle->setAlignment(Qt::AlignCenter);
    stTitle->setGeometry(8, 24, 496, 32);
    auto* text = new QLabel(u("Отправка SMS и пейджер сообщений\n"
                              "через почтовые шлюзы операторов связи.\n\n"
                              "Адресная книга, база операторов и моделей пейджеров,\n"
                              "отложенная отправка, уведомление о приходе почты.\n\n"
                              "© Kestrane"),
                            page);
    text->setObjectName("stAbout");
    text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    text->setGeometry(8, 72, 496, 160);
    return page;
}

void TOptiWin::bindEvents()
{
    using dialogs::bind;
    auto view = [this] { ViewChanged = true; };
    bind(this, cbColumn2, &QCheckBox::toggled, [this] { cbColumn2Click(); });
    bind(this, cbColumns, &QComboBox::currentIndexChanged, view);
    bind(this, cbFullText, &QCheckBox::toggled, view);
    bind(this, cbIconInBook, &QCheckBox::toggled, view);
    bind(this, udCountLog, &QSpinBox::valueChanged, view);
    bind(this, udSendLater, &QSpinBox::valueChanged, view);
    bind(this, cbCheckMailActive, &QCheckBox::toggled, [this] { cbCheckMailActiveClick(); });
    bind(this, cbToOperator, &QComboBox::activated, [this] { toTouched_ = true; });
    bind(this, eToNum, &QLineEdit::textEdited, [this] { toTouched_ = true; });
    bind(this, sbAddOp, &QToolButton::clicked, [this] { sbAddOpClick(); });
    bind(this, sbDelOp, &QToolButton::clicked, [this] { sbDelOpClick(); });
    bind(this, sbEditOp, &QToolButton::clicked, [this] { sbEditOpClick(); });
    bind(this, lvOperators, &QTreeWidget::itemDoubleClicked, [this] { sbEditOpClick(); });
    bind(this, lvOperators, &QTreeWidget::itemSelectionChanged, [this] { lvOperatorsSelectItem(); });
    bind(this, sbNewData, &QToolButton::clicked, [this] { sbNewDataClick(); });
    bind(this, bOK, &QPushButton::clicked, [this] { bOKClick(); });
}

// ---- life cycle -------------------------------------------------------------------

void TOptiWin::FormCreate()
{
    dialogs::loadPosition(this, "Options");
    SetForm(OptionsFormOf(Ini, opList_));
    cbCheckMailActiveClick();
    LoadUserOperators();
    OperatorsChanged = false;
    cbColumn2Click();
    // The set-up itself is no change.
    ViewChanged = false;
    stTitle->setText(QString::fromUtf8(Title));
}

void TOptiWin::done(int Result)
{
    app::guard([this] { dialogs::savePosition(this, "Options"); });
    QDialog::done(Result);
}

TOptionsForm TOptiWin::Form() const
{
    TOptionsForm f;
    f.AutoRun = cbAutoRun->isChecked();
    f.HideOnRun = cbHideOnRun->isChecked();
    f.RunOneCopy = cbRunOneCopy->isChecked();
    f.CountLog = udCountLog->value();
    f.MaxSymbols = udMaxSymbols->value();
    f.LongMessage = cbLongMessage->isChecked();
    f.HideOnSuccess = cbHideOnSuccess->isChecked();
    f.FullText = cbFullText->isChecked();
    f.AutoRus = cbAutoRus->isChecked();
    f.IconInBook = cbIconInBook->isChecked();
    f.Column2 = cbColumn2->isChecked();
    f.Columns = cbColumns->currentIndex();
    f.DblClick = rbDblClick->isChecked();
    f.FromName = dialogs::lineText(eFromName);
    f.FromAddress = dialogs::lineText(eFromAddress);
    f.SMTP = dialogs::lineText(eSMTP);
    f.Port = udPort->value();
    f.UserID = dialogs::lineText(eUserID);
    f.UseOrvDialer = cbUseOrvDialer->isChecked();
    f.SendLater = udSendLater->value();
    f.SendLaterOn = cbSendLaterOn->isChecked();
    f.CheckMailActive = cbCheckMailActive->isChecked();
    f.POPHost = dialogs::lineText(ePOPHost);
    f.POPUserID = dialogs::lineText(ePOPUserID);
    f.POPPassword = codepage::fromUnicode(ePOPPassword->text());
    f.CheckMail = udCheckMail->value();
    f.Code = cbCode->currentIndex();
    f.ToOperator = cbToOperator->currentIndex();
    f.ToNum = dialogs::lineText(eToNum);
    f.NotifText = widgets::keptText(mNotifText->toPlainText());
    return f;
}

void TOptiWin::SetForm(const TOptionsForm& Form)
{
    cbAutoRun->setChecked(Form.AutoRun);
    cbHideOnRun->setChecked(Form.HideOnRun);
    cbRunOneCopy->setChecked(Form.RunOneCopy);
    udCountLog->setValue(Form.CountLog);
    udMaxSymbols->setValue(Form.MaxSymbols);
    cbLongMessage->setChecked(Form.LongMessage);
    cbHideOnSuccess->setChecked(Form.HideOnSuccess);
    cbFullText->setChecked(Form.FullText);
    cbAutoRus->setChecked(Form.AutoRus);
    cbIconInBook->setChecked(Form.IconInBook);
    cbColumn2->setChecked(Form.Column2);
    cbColumns->setCurrentIndex(Form.Columns >= 0 && Form.Columns < cbColumns->count() ? Form.Columns : -1);
    rbDblClick->setChecked(Form.DblClick);
    rbClick->setChecked(!Form.DblClick);
    eFromName->setText(fromAnsi(Form.FromName));
    eFromAddress->setText(fromAnsi(Form.FromAddress));
    eSMTP->setText(fromAnsi(Form.SMTP));
    udPort->setValue(Form.Port);
    eUserID->setText(fromAnsi(Form.UserID));
    cbUseOrvDialer->setChecked(Form.UseOrvDialer);
    udSendLater->setValue(Form.SendLater);
    cbSendLaterOn->setChecked(Form.SendLaterOn);
    cbCheckMailActive->setChecked(Form.CheckMailActive);
    ePOPHost->setText(fromAnsi(Form.POPHost));
    ePOPUserID->setText(fromAnsi(Form.POPUserID));
    ePOPPassword->setText(fromAnsi(Form.POPPassword));
    udCheckMail->setValue(Form.CheckMail);
    cbCode->setCurrentIndex(Form.Code >= 0 && Form.Code < cbCode->count() ? Form.Code : -1);
    cbToOperator->clear();
    for (int i = 0; i < opList_.Count(); ++i) cbToOperator->addItem(fromAnsi(opList_.Strings(i)));
    cbToOperator->setCurrentIndex(Form.ToOperator >= 0 && Form.ToOperator < opList_.Count() ? Form.ToOperator : -1);
    eToNum->setText(fromAnsi(Form.ToNum));
    mNotifText->setPlainText(widgets::widgetText(Form.NotifText));
}

// ---- handlers ----------------------------------------------------------------------

void TOptiWin::cbColumn2Click()
{
    ViewChanged = true;
    cbColumns->setEnabled(cbColumn2->isChecked());
}

void TOptiWin::cbCheckMailActiveClick()
{
    const bool on = cbCheckMailActive->isChecked();
    for (QWidget* w : mailControls_) w->setEnabled(on);
}

void TOptiWin::sbNewDataClick()
{
    if (!shell::open(QUrl(QString::fromLatin1(NewDataUrl)))) ShowMessage(u("Не удалось открыть страницу в браузере."));
}

// ---- the user's operators ------------------------------------------------------------

void TOptiWin::showRow(int Index)
{
    const TUserOperator& op = ops_[static_cast<size_t>(Index)];
    QTreeWidgetItem* row = lvOperators->topLevelItem(Index);
    const int image = op.Type == 1 ? 1 : 0;
    row->setIcon(0, image < typesImage_.size() ? typesImage_[image] : QIcon());
    row->setText(0, u(kTypeText[image]));
    row->setText(1, fromAnsi(op.City));
    row->setText(2, fromAnsi(op.Name));
}

int TOptiWin::selectedRow() const
{
    const QList<QTreeWidgetItem*> items = lvOperators->selectedItems();
    return items.isEmpty() ? -1 : lvOperators->indexOfTopLevelItem(items.first());
}

void TOptiWin::LoadUserOperators()
{
    ops_ = ::LoadUserOperators(userFile_);
    lvOperators->clear();
    for (size_t i = 0; i < ops_.size(); ++i) {
        lvOperators->addTopLevelItem(new QTreeWidgetItem);
        showRow(static_cast<int>(i));
    }
}

void TOptiWin::SaveOperators()
{
    if (!OperatorsChanged) return;
    SaveUserOperators(userFile_, ops_);
}

AnsiString TOptiWin::sameOperator(const TOpItemFields& Fields, int Self) const
{
    const TUserOperator op{Fields.Type, Fields.City, Fields.Title, {}};
    if (FindSameUserOperator(ops_, op, Self) < 0) return {};
    return codepage::fromUtf8("Оператор с таким типом, названием и городом уже есть в списке!");
}

void TOptiWin::sbAddOpClick()
{
    if (!ShowOpItemDialog) return;
    const auto fields =
        ShowOpItemDialog(nullptr, [this](const TOpItemFields& f) { return sameOperator(f, -1); });
    if (!fields) return;
    OperatorsChanged = true;
    ops_.push_back({fields->Type, fields->City, fields->Title, {fields->MailGate, fields->Description}});
    auto* row = new QTreeWidgetItem;
    lvOperators->addTopLevelItem(row);
    showRow(static_cast<int>(ops_.size()) - 1);
    lvOperators->scrollToItem(row);
    lvOperators->setCurrentItem(row);
}

void TOptiWin::sbEditOpClick()
{
    const int index = selectedRow();
    if (index < 0 || !ShowOpItemDialog) return;
    const TUserOperator& op = ops_[static_cast<size_t>(index)];
    const TOpItemFields current{op.Type, op.City, op.Name, op.Item.MailGate, op.Item.Description};
    const auto fields =
        ShowOpItemDialog(&current, [this, index](const TOpItemFields& f) { return sameOperator(f, index); });
    if (!fields) return;
    OperatorsChanged = true;
    ops_[static_cast<size_t>(index)] = {fields->Type, fields->City, fields->Title,
                                        {fields->MailGate, fields->Description}};
    showRow(index);
    lvOperatorsSelectItem();
}

void TOptiWin::sbDelOpClick()
{
    const int index = selectedRow();
    if (index < 0) return;
    if (!Ask || !Ask(u("Вы действительно хотите удалить этого оператора из списка?"))) return;
    {
        const QSignalBlocker quiet(lvOperators);
        ops_.erase(ops_.begin() + index);
        delete lvOperators->takeTopLevelItem(index);
        lvOperators->clearSelection();
    }
    OperatorsChanged = true;
    lvOperatorsSelectItem();
}

void TOptiWin::lvOperatorsSelectItem()
{
    const int index = selectedRow();
    if (index < 0) {
        stMailGate->clear();
        stDescription->clear();
        return;
    }
    const TUserOperator& op = ops_[static_cast<size_t>(index)];
    stMailGate->setText(fromAnsi(op.Item.MailGate));
    stDescription->setText(fromAnsi(op.Item.Description));
}

// ---- OK -------------------------------------------------------------------------------

void TOptiWin::bOKClick()
{
    // The password is kept exactly: one that cp1251 cannot hold, or with a
    // control character, is not stored changed.
    const QString password = ePOPPassword->text();
    if (!codepage::canHold(password) || holdsControl(password)) {
        ShowMessage(u("В поле \"Пароль\" найдены недопустимые символы!"));
        pcOptions->setCurrentWidget(ePOPPassword->parentWidget());
        ePOPPassword->setFocus();
        return;
    }
    try {
        SaveOperators();
    } catch (const std::exception&) {
        // Nothing is stored yet: the user may try again or cancel.
        ShowMessage(u("Не удалось записать список операторов в файл %1. Файл остался прежним.")
                        .arg(QString::fromStdString(userFile_)));
        return;
    }
    ApplyOptionsForm(Form(), toTouched_, opList_, Ini);
    try {
        SaveOptions();
    } catch (const std::exception&) {
        // The settings are in effect now and are saved again when the program ends.
        ShowMessage(u("Не удалось записать настройки в файл %1.")
                        .arg(QString::fromStdString(ProgramPath + "pager.ini")));
    }
    accept();
}
