#include "pager/main/addrbook.h"

#include "pager/compose.h"
#include "pager/dialogs/dialogs.h"
#include "pager/ini.h"
#include "pager/opdb.h"
#include "platform/app.h"
#include "platform/codepage.h"
#include "platform/inifile.h"
#include "platform/ui/shell.h"
#include "platform/ui/widgets.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include <utility>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }
QString fromAnsi(std::string_view s) { return codepage::toUnicode(s); }

const char* const kAttention = "Внимание";

QString column2Caption(int column2)
{
    switch (column2) {
    case 0: return u("Оператор связи");
    case 1: return u("Полное имя");
    case 2: return u("E-Mail");
    default: return {};
    }
}

// A pager: a dark case with a light screen.
QIcon pagerIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 30, 30), 1));
    p.setBrush(QColor(70, 70, 90));
    p.drawRoundedRect(QRectF(1.5, 3.5, 13, 9), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(150, 220, 150));
    p.drawRect(QRectF(3.5, 5.5, 9, 4));
    return QIcon(pm);
}

// A mobile phone with a screen and keys.
QIcon smsIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 20, 60), 1));
    p.setBrush(QColor(60, 90, 170));
    p.drawRoundedRect(QRectF(4.5, 0.5, 7, 15), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 230, 255));
    p.drawRect(QRectF(6, 2.5, 4, 4));
    p.setBrush(Qt::white);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 2; ++col) p.drawRect(QRectF(6 + col * 2.5, 8 + row * 2.2, 1.5, 1.4));
    }
    return QIcon(pm);
}

QToolButton* speedButton(QWidget* parent, const char* name, const char* text, const char* hint)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(u(text));
    b->setToolTip(u(hint));
    b->setAutoRaise(true);
    b->setFixedSize(23, 22);
    return b;
}

QAction* menuItem(QMenu* menu, const char* name, const char* caption)
{
    QAction* a = menu->addAction(u(caption));
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

}  // namespace

void TProgramGrayCheckBox::nextCheckState()
{
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

TAddrBook::TAddrBook(QWidget* Parent, const TOpList& OpList, std::string BookFileName)
    : QObject(Parent), parent_(Parent), opList_(OpList), bookFile_(std::move(BookFileName))
{
    TypesImage = {pagerIcon(), smsIcon()};

    cbAddrBook = new QComboBox(Parent);
    cbAddrBook->setObjectName("cbAddrBook");
    cbAddrBook->setEditable(false);
    cbAddrBook->setToolTip(u("Группа"));
    cbAddrBook->setGeometry(8, 16, 200, 21);

    pmBook = new QMenu(Parent);
    pmBook->setObjectName("pmBook");
    mAddrAdd = menuItem(pmBook, "mAddrAdd", "Добавить группу...");
    mAddrDel = menuItem(pmBook, "mAddrDel", "Удалить группу");
    mAddrEdit = menuItem(pmBook, "mAddrEdit", "Переименовать группу...");

    tbAddrBook = new QToolButton(Parent);
    tbAddrBook->setObjectName("tbAddrBook");
    tbAddrBook->setMenu(pmBook);
    tbAddrBook->setPopupMode(QToolButton::InstantPopup);
    tbAddrBook->setAutoRaise(true);
    tbAddrBook->setGeometry(214, 16, 23, 22);

    lvAddr = new QTreeWidget(Parent);
    lvAddr->setObjectName("lvAddr");
    lvAddr->setColumnCount(2);
    lvAddr->setHeaderLabels({u("Имя"), column2Caption(0)});
    lvAddr->setRootIsDecorated(false);
    lvAddr->setItemsExpandable(false);
    lvAddr->setSelectionMode(QAbstractItemView::SingleSelection);
    lvAddr->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvAddr->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvAddr->setSortingEnabled(false);
    lvAddr->setContextMenuPolicy(Qt::CustomContextMenu);
    lvAddr->setGeometry(8, 44, 200, 150);
    list_ = lvAddr;

    sbAdd = speedButton(Parent, "sbAdd", "+", "Добавить запись");
    sbDel = speedButton(Parent, "sbDel", "−", "Удалить запись");
    sbEdit = speedButton(Parent, "sbEdit", "…", "Редактировать запись");
    sbUp = speedButton(Parent, "sbUp", "▲", "Переместить вверх");
    sbDn = speedButton(Parent, "sbDn", "▼", "Переместить вниз");
    sbMail = speedButton(Parent, "sbMail", "@", "Отправить Email абоненту");
    int top = 44;
    for (QToolButton* b : {sbAdd, sbDel, sbEdit, sbMail, sbUp, sbDn}) {
        b->move(212, top);
        top += 24;
    }

    pmBookItem = new QMenu(Parent);
    pmBookItem->setObjectName("pmBookItem");
    mBookAdd = menuItem(pmBookItem, "mBookAdd", "Добавить...");
    mBookAdd->setShortcut(QKeySequence(Qt::Key_Insert));
    mBookDel = menuItem(pmBookItem, "mBookDel", "Удалить");
    mBookDel->setShortcut(QKeySequence(Qt::Key_Delete));
    mBookEdit = menuItem(pmBookItem, "mBookEdit", "Редактировать");
    pmBookItem->addSeparator();
    mSelectAll = menuItem(pmBookItem, "mSelectAll", "Отметить все");
    mSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    mSelectNone = menuItem(pmBookItem, "mSelectNone", "Снять отметки");
    // The shortcuts work while the list has the focus, the menu closed.
    for (QAction* a : {mBookAdd, mBookDel, mSelectAll}) {
        a->setShortcutContext(Qt::WidgetShortcut);
        lvAddr->addAction(a);
    }

    Ask = [this](const QString& text) {
        return QMessageBox::question(parent_->window(), u(kAttention), text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    };
    Warn = [this](const QString& text) { QMessageBox::warning(parent_->window(), u(kAttention), text); };

    auto bind = [this](auto* sender, auto signal, auto fn) {
        connect(sender, signal, this, [this, fn] { app::guard([this, fn] { (this->*fn)(); }); });
    };
    bind(cbAddrBook, &QComboBox::activated, &TAddrBook::cbAddrBookChange);
    bind(sbAdd, &QToolButton::clicked, &TAddrBook::openAddContact);
    bind(mBookAdd, &QAction::triggered, &TAddrBook::openAddContact);
    bind(sbEdit, &QToolButton::clicked, &TAddrBook::openEditContact);
    bind(mBookEdit, &QAction::triggered, &TAddrBook::openEditContact);
    bind(sbDel, &QToolButton::clicked, &TAddrBook::sbDelClick);
    bind(mBookDel, &QAction::triggered, &TAddrBook::sbDelClick);
    bind(sbUp, &QToolButton::clicked, &TAddrBook::sbUpClick);
    bind(sbDn, &QToolButton::clicked, &TAddrBook::sbDnClick);
    bind(sbMail, &QToolButton::clicked, &TAddrBook::sbMailClick);
    bind(mSelectAll, &QAction::triggered, &TAddrBook::mSelectAllClick);
    bind(mSelectNone, &QAction::triggered, &TAddrBook::mSelectNoneClick);
    bind(mAddrAdd, &QAction::triggered, &TAddrBook::openAddGroup);
    bind(mAddrDel, &QAction::triggered, &TAddrBook::mAddrDelClick);
    bind(mAddrEdit, &QAction::triggered, &TAddrBook::openRenameGroup);
    bind(lvAddr, &QTreeWidget::itemSelectionChanged, &TAddrBook::syncSelection);
    // The user's check marks go to the group before anybody else hears of
    // the change.
    connect(lvAddr, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem* item) { app::guard([this, item] { rowChanged(item); }); });
    connect(lvAddr, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { app::guard([this, item] { lvAddrDblClick(item); }); });
    connect(lvAddr, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        app::guard([this, at] { pmBookItem->popup(lvAddr->viewport()->mapToGlobal(at)); });
    });

    ED(false);
}

TAddrBook::~TAddrBook()
{
    // The rows name the group's contacts: they go first.
    if (list_) {
        const QSignalBlocker quiet(list_.data());
        list_->clear();
    }
}

// ---- groups and rows -------------------------------------------------------

void TAddrBook::LoadGroups()
{
    const TIniFile book(bookFile_);
    sections_ = ReadBookGroups(book);
    groups_ = StorableNames(sections_, UnnamedGroup());
    QStringList renamed;
    for (size_t i = 0; i < groups_.size(); ++i) {
        if (groups_[i] != sections_[i]) renamed << u("«%1»").arg(fromAnsi(groups_[i]));
    }
    if (!renamed.isEmpty()) {
        notice(u("Названия некоторых групп адресной книги нельзя сохранить (пустое название или "
                 "непечатаемые знаки в нём). Эти группы названы так: %1.")
                   .arg(renamed.join(u(", "))));
    }
    cbAddrBook->clear();
    for (const AnsiString& g : groups_) cbAddrBook->addItem(fromAnsi(g));
    const int last = static_cast<int>(groups_.size()) - 1;
    const int index = Ini.Main.BookIndex > last ? last : Ini.Main.BookIndex;
    cbAddrBook->setCurrentIndex(index < 0 ? -1 : index);
}

void TAddrBook::SetViewAddr()
{
    lvAddr->setHeaderHidden(Ini.View.Column2 < 0);
    if (Ini.View.Column2 >= 0 && Ini.View.Column2 <= 2) {
        lvAddr->headerItem()->setText(1, column2Caption(Ini.View.Column2));
    }
    Ini.Main.BookIndex = -1;
    cbAddrBookChange();
}

void TAddrBook::ShowImages(bool On)
{
    imagesShown_ = On;
    for (int i = 0; i < Count(); ++i) showRow(Row(i));
}

int TAddrBook::ShownGroup() const
{
    const int index = Ini.Main.BookIndex;
    return index >= 0 && index < static_cast<int>(groups_.size()) ? index : -1;
}

void TAddrBook::cbAddrBookChange()
{
    const int index = cbAddrBook->currentIndex();
    if (index == Ini.Main.BookIndex) return;
    try {
        SaveBook();
    } catch (...) {
        // The rows are still the old group's: show its name again.
        cbAddrBook->setCurrentIndex(ShownGroup());
        throw;
    }
    Ini.Main.BookIndex = index;
    ClearAddr();
    if (index >= 0 && index < static_cast<int>(groups_.size())) {
        const TIniFile book(bookFile_);
        std::vector<AnsiString> renamed;
        std::vector<int> opIndexes;
        group_.Load(book, sections_[static_cast<size_t>(index)], opList_, &renamed, &opIndexes);
        // The rows are made whole before the list takes them, in one insertion.
        QList<QTreeWidgetItem*> rows;
        rows.reserve(group_.Count());
        for (int i = 0; i < group_.Count(); ++i) rows.append(makeRow(i, opIndexes[static_cast<size_t>(i)]));
        lvAddr->addTopLevelItems(rows);
        if (!renamed.empty()) {
            QStringList names;
            for (const AnsiString& n : renamed) names << u("«%1»").arg(fromAnsi(n));
            notice(u("Имена некоторых записей группы «%1» содержали непечатаемые знаки, и сохранить их "
                     "нельзя. Эти записи названы так: %2.")
                       .arg(fromAnsi(groups_[static_cast<size_t>(index)]), names.join(u(", "))));
        }
    }
    if (ShowPanel) {
        for (int panel = 1; panel <= 3; ++panel) ShowPanel(panel, {});
    }
}

void TAddrBook::SaveBook()
{
    const int index = ShownGroup();
    if (index < 0) return;
    const auto i = static_cast<size_t>(index);
    TIniFile book(bookFile_);
    // A section whose name could not be stored takes the group's name in its place.
    book.RenameSection(sections_[i], groups_[i]);
    group_.Save(book, groups_[i]);
    book.UpdateFile();
    sections_[i] = groups_[i];
}

void TAddrBook::ClearAddr()
{
    forgetSelection();
    {
        const QSignalBlocker quiet(lvAddr);
        lvAddr->clear();
    }
    group_.Clear();
    ED(false);
}

AnsiString TAddrBook::SetColumn2(const TBookItem& Item) const
{
    return column2Of(Item, Ini.View.Column2 == 0 ? GetOpIndex(opList_, Item.Addr) : -1);
}

AnsiString TAddrBook::column2Of(const TBookItem& Item, int OpIndex) const
{
    switch (Ini.View.Column2) {
    case 0: return OpIndex >= 0 ? opList_.Objects(OpIndex).Description : AnsiString();
    case 1: return Item.FullName;
    case 2: return Item.EMail;
    default: return {};
    }
}

int TAddrBook::Count() const { return lvAddr->topLevelItemCount(); }

TBookRow* TAddrBook::Row(int Index) const { return static_cast<TBookRow*>(lvAddr->topLevelItem(Index)); }

void TAddrBook::SetChecked(int Index, bool Checked)
{
    group_.SetChecked(Index, Checked);
    Row(Index)->setCheckState(0, Checked ? Qt::Checked : Qt::Unchecked);
}

void TAddrBook::SetAllChecked(bool Checked)
{
    for (int i = 0; i < Count(); ++i) SetChecked(i, Checked);
}

void TAddrBook::rowChanged(QTreeWidgetItem* Row)
{
    const int index = lvAddr->indexOfTopLevelItem(Row);
    if (index >= 0 && index < group_.Count()) group_.SetChecked(index, Row->checkState(0) == Qt::Checked);
}

TBookRow* TAddrBook::makeRow(int Index, std::optional<int> OpIndex)
{
    auto* row = new TBookRow(group_.At(Index));
    row->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren);
    showRow(row, OpIndex);
    return row;
}

TBookRow* TAddrBook::appendRow(int Index)
{
    TBookRow* row = makeRow(Index);
    lvAddr->addTopLevelItem(row);
    return row;
}

void TAddrBook::showRow(TBookRow* Row, std::optional<int> OpIndex)
{
    Row->setCheckState(0, Row->Contact().Checked ? Qt::Checked : Qt::Unchecked);
    Row->setText(0, fromAnsi(Row->Name));
    Row->setText(1, fromAnsi(OpIndex ? column2Of(Row->Item, *OpIndex) : SetColumn2(Row->Item)));
    const bool image = imagesShown_ && Row->ImageIndex >= 0 && Row->ImageIndex < TypesImage.size();
    Row->setIcon(0, image ? TypesImage[Row->ImageIndex] : QIcon());
}

// ---- selection ---------------------------------------------------------------

void TAddrBook::syncSelection()
{
    const QList<QTreeWidgetItem*> items = lvAddr->selectedItems();
    auto* now = items.isEmpty() ? nullptr : static_cast<TBookRow*>(items.first());
    if (now == selected_) return;
    TBookRow* old = selected_;
    selected_ = now;
    if (old) lvAddrSelectItem(old, false);
    if (now) lvAddrSelectItem(now, true);
}

// Reports the selected row as deselected before it goes away.
void TAddrBook::forgetSelection()
{
    TBookRow* old = std::exchange(selected_, nullptr);
    if (old) lvAddrSelectItem(old, false);
}

void TAddrBook::lvAddrSelectItem(TBookRow* Item, bool Selected)
{
    ED(Selected);
    if (ShowPanel) {
        AnsiString op;
        AnsiString fullName;
        AnsiString email;
        if (Selected) {
            const int index = GetOpIndex(opList_, Item->Item.Addr);
            if (index >= 0) {
                op = opList_.Objects(index).Description + codepage::fromUtf8(" аб ") +
                     GetPagerNum(opList_, Item->Item.Addr, index);
            }
            fullName = Item->Item.FullName;
            email = Item->Item.EMail;
        }
        ShowPanel(0, op);
        ShowPanel(1, fullName);
        ShowPanel(2, email);
    }
    if (OnSelectItem) OnSelectItem(Item, Selected);
}

void TAddrBook::ED(bool Enabled)
{
    const int index = selected_ ? lvAddr->indexOfTopLevelItem(selected_) : -1;
    sbUp->setEnabled(Enabled && index >= 1);
    sbDn->setEnabled(Enabled && index >= 0 && index < Count() - 1);
}

void TAddrBook::selectRow(TBookRow* Row)
{
    lvAddr->scrollToItem(Row);
    lvAddr->setCurrentItem(Row);
    Row->setSelected(true);
    lvAddr->setFocus();
    syncSelection();
}

// ---- contacts ----------------------------------------------------------------

QString TAddrBook::ContactNameRefusal(const AnsiString& Name, bool Editing) const
{
    const int self = Editing && selected_ ? lvAddr->indexOfTopLevelItem(selected_) : -1;
    switch (group_.CheckName(Name, self)) {
    case TNameCheck::Ok: return {};
    case TNameCheck::Unstorable:
        return u("Имя «%1» нельзя сохранить в адресной книге: оно не должно быть пустым, начинаться или "
                 "кончаться пробелом, начинаться с «[» или «;» и содержать знак «=».")
            .arg(fromAnsi(Name));
    case TNameCheck::Taken:
        return u("В этой группе уже есть запись «%1» (большие и малые буквы в именах не различаются). "
                 "Дайте записи другое имя.")
            .arg(fromAnsi(Name));
    }
    return {};
}

bool TAddrBook::acceptContactName(const AnsiString& Name, bool Editing)
{
    const QString refusal = ContactNameRefusal(Name, Editing);
    if (!refusal.isEmpty()) warn(refusal);
    return refusal.isEmpty();
}

bool TAddrBook::sbAddClick(const TBookItDialogResult& Result)
{
    if (ShownGroup() < 0) {
        warn(u("Нет открытой группы: записи хранятся в группах. Сначала добавьте группу."));
        return false;
    }
    if (!acceptContactName(Result.Name, false)) return false;
    const int index = group_.Add(opList_, Result);
    if (index < 0) {
        warn(u("Не найден оператор для выбранных типа, города и оператора. Запись не добавлена."));
        return false;
    }
    selectRow(appendRow(index));
    return true;
}

std::optional<TBookItDialogInit> TAddrBook::EditInit() const
{
    if (!selected_) return std::nullopt;
    return BookItDialogInit(opList_, selected_->Name, selected_->Item);
}

bool TAddrBook::sbEditClick(const TBookItDialogResult& Result)
{
    TBookRow* row = selected_;
    if (!row) return false;
    if (!acceptContactName(Result.Name, true)) return false;
    const TAddrUpdate update = group_.Edit(lvAddr->indexOfTopLevelItem(row), opList_, Result);
    showRow(row);
    lvAddrSelectItem(row, true);
    if (update == TAddrUpdate::NoOperator) {
        warn(u("Не найден оператор для выбранных типа, города и оператора. "
               "Адрес абонента оставлен прежним, остальные данные записи изменены."));
    }
    return true;
}

bool TAddrBook::sbDelClick()
{
    TBookRow* row = selected_;
    if (!row) return false;
    if (!ask(u("Вы действительно хотите удалить этого человека из списка?"))) return false;
    forgetSelection();
    const int index = lvAddr->indexOfTopLevelItem(row);
    {
        const QSignalBlocker quiet(lvAddr);
        delete row;
        lvAddr->clearSelection();
    }
    group_.Remove(index);
    syncSelection();
    return true;
}

bool TAddrBook::moveSelected(int Delta)
{
    TBookRow* from = selected_;
    if (!from) return false;
    const int index = lvAddr->indexOfTopLevelItem(from);
    if (!group_.Move(index, Delta)) return false;
    TBookRow* to = Row(index + Delta);
    showRow(from);
    showRow(to);
    selectRow(to);
    return true;
}

bool TAddrBook::sbUpClick() { return moveSelected(-1); }
bool TAddrBook::sbDnClick() { return moveSelected(1); }

void TAddrBook::mSelectAllClick() { SetAllChecked(true); }

void TAddrBook::mSelectNoneClick() { SetAllChecked(false); }

void TAddrBook::lvAddrDblClick(QTreeWidgetItem* Item)
{
    const int index = Item ? lvAddr->indexOfTopLevelItem(Item) : -1;
    if (index < 0) return;
    SetChecked(index, !group_.At(index).Checked);
}

void TAddrBook::sbMailClick()
{
    if (!selected_ || selected_->Item.EMail.empty()) return;
    // The address is the path of a mailto link whatever it holds, so it can
    // only ever reach the mail program.
    QUrl url;
    url.setScheme("mailto");
    url.setPath(fromAnsi(selected_->Item.EMail));
    if (!shell::open(url)) warn(u("Не удалось открыть почтовую программу."));
}

// ---- groups ------------------------------------------------------------------

QString TAddrBook::GroupNameRefusal(const AnsiString& Name, bool Renaming) const
{
    const int self = Renaming ? cbAddrBook->currentIndex() : -1;
    switch (CheckGroupName(Name, groups_, self)) {
    case TNameCheck::Ok: return {};
    case TNameCheck::Unstorable:
        return u("Название группы «%1» нельзя сохранить: оно не должно быть пустым, начинаться или "
                 "кончаться пробелом и содержать знак «]».")
            .arg(fromAnsi(Name));
    case TNameCheck::Taken:
        return u("Группа «%1» уже есть (большие и малые буквы в названиях не различаются). "
                 "Выберите другое название.")
            .arg(fromAnsi(Name));
    }
    return {};
}

bool TAddrBook::acceptGroupName(const AnsiString& Name, bool Renaming)
{
    const QString refusal = GroupNameRefusal(Name, Renaming);
    if (!refusal.isEmpty()) warn(refusal);
    return refusal.isEmpty();
}

bool TAddrBook::mAddrAddClick(const AnsiString& Name)
{
    if (!acceptGroupName(Name, false)) return false;
    groups_.push_back(Name);
    sections_.push_back(Name);
    cbAddrBook->addItem(fromAnsi(Name));
    cbAddrBook->setCurrentIndex(cbAddrBook->count() - 1);
    try {
        cbAddrBookChange();
    } catch (...) {
        groups_.pop_back();
        sections_.pop_back();
        cbAddrBook->removeItem(cbAddrBook->count() - 1);
        cbAddrBook->setCurrentIndex(ShownGroup());
        throw;
    }
    TIniFile book(bookFile_);
    book.WriteString(Name, EmptyGroupKey, {});
    book.UpdateFile();
    return true;
}

bool TAddrBook::mAddrDelClick()
{
    const int index = cbAddrBook->currentIndex();
    if (groups_.empty() || index < 0) return false;
    if (!ask(u("Вы действительно хотите удалить эту группу?"))) return false;
    TIniFile book(bookFile_);
    // Sections that differ in letter case only are one group: none may come back.
    const AnsiString section = sections_[static_cast<size_t>(index)];
    while (book.SectionExists(section)) book.EraseSection(section);
    book.UpdateFile();

    groups_.erase(groups_.begin() + index);
    sections_.erase(sections_.begin() + index);
    cbAddrBook->removeItem(index);
    const int count = static_cast<int>(groups_.size());
    cbAddrBook->setCurrentIndex(index < count ? index : count - 1);
    // The rows of the deleted group are dropped, not saved.
    ClearAddr();
    Ini.Main.BookIndex = -1;
    cbAddrBookChange();
    return true;
}

bool TAddrBook::mAddrEditClick(const AnsiString& Name)
{
    const int index = cbAddrBook->currentIndex();
    if (groups_.empty() || index < 0) return false;
    if (!acceptGroupName(Name, true)) return false;
    const AnsiString old = sections_[static_cast<size_t>(index)];
    TIniFile book(bookFile_);
    // The group is written under its new name at once, so nothing of it
    // depends on a later save point.
    const std::vector<TBookEntry> entries = ShownGroup() == index ? group_.Entries() : LoadBookGroup(book, old);
    while (book.SectionExists(old)) book.EraseSection(old);
    WriteBookGroup(book, Name, entries);
    book.UpdateFile();

    groups_[static_cast<size_t>(index)] = Name;
    sections_[static_cast<size_t>(index)] = Name;
    cbAddrBook->setItemText(index, fromAnsi(Name));
    return true;
}

void TAddrBook::tbAddrBookClick() { tbAddrBook->showMenu(); }

// ---- dialogs -----------------------------------------------------------------

void TAddrBook::openAddContact()
{
    if (!ShowBookItDialog) return;
    if (ShownGroup() < 0) {
        warn(u("Нет открытой группы: записи хранятся в группах. Сначала добавьте группу."));
        return;
    }
    if (const auto result = ShowBookItDialog(nullptr)) sbAddClick(*result);
}

void TAddrBook::openEditContact()
{
    if (!ShowBookItDialog) return;
    const auto init = EditInit();
    if (!init) return;
    if (const auto result = ShowBookItDialog(&*init)) sbEditClick(*result);
}

void TAddrBook::openAddGroup()
{
    if (!ShowGroupItDialog) return;
    if (const auto name = ShowGroupItDialog(nullptr)) mAddrAddClick(*name);
}

void TAddrBook::openRenameGroup()
{
    const int index = cbAddrBook->currentIndex();
    if (!ShowGroupItDialog || groups_.empty() || index < 0) return;
    const AnsiString current = groups_[static_cast<size_t>(index)];
    if (const auto name = ShowGroupItDialog(&current)) mAddrEditClick(*name);
}

void TAddrBook::warn(const QString& Text)
{
    if (Warn) Warn(Text);
}

void TAddrBook::notice(const QString& Text)
{
    if (Notice)
        Notice(Text);
    else
        warn(Text);
}

bool TAddrBook::ask(const QString& Text) { return Ask && Ask(Text); }

// ---- greeting and signature boxes --------------------------------------------

TAutoTexts::TAutoTexts(QWidget* Parent, const TAddrBook& Book) : QObject(Parent), book_(Book)
{
    cbAutoHeader = new TProgramGrayCheckBox(u("Добавить обращение:"), Parent);
    cbAutoHeader->setObjectName("cbAutoHeader");
    eHeader = new QLineEdit(Parent);
    eHeader->setObjectName("eHeader");
    eHeader->setMaxLength(255);
    eHeader->setToolTip(MacroHint());
    cbAutoSignat = new TProgramGrayCheckBox(u("Добавить автоподпись:"), Parent);
    cbAutoSignat->setObjectName("cbAutoSignat");
    eSignature = new QLineEdit(Parent);
    eSignature->setObjectName("eSignature");
    eSignature->setMaxLength(255);
    eSignature->setToolTip(MacroHint());

    connect(cbAutoHeader, &QCheckBox::stateChanged, this, [this] { app::guard([this] { cbAutoHeaderClick(); }); });
    connect(cbAutoSignat, &QCheckBox::stateChanged, this, [this] { app::guard([this] { cbAutoSignatClick(); }); });
}

QString TAutoTexts::MacroHint() { return u(MacroHintText); }

void TAutoTexts::cbAutoHeaderClick() { autoClick(cbAutoHeader, eHeader, Ini.Main.Header, Ini.Main.IsHeader); }

void TAutoTexts::cbAutoSignatClick()
{
    autoClick(cbAutoSignat, eSignature, Ini.Main.Signature, Ini.Main.IsSignature);
}

void TAutoTexts::autoClick(QCheckBox* Box, QLineEdit* Edit, const AnsiString& Text, bool& Setting)
{
    if (!(ParamsLoading && ParamsLoading())) {
        widgets::setTextFromStart(Edit, codepage::toUnicode(Text));
        Setting = Box->checkState() == Qt::Checked;
        if (book_.Selected() && ViewUserParam) ViewUserParam(book_.Selected());
    }
    dialogs::followBox(Box, Edit);
}
