#include "pager/main/mainwin.h"

#include "netcomp/fxsmtp.h"
#include "netcomp/qorpop3.h"
#include "pager/compose.h"
#include "pager/dialogs/bookit.h"
#include "pager/dialogs/groupit.h"
#include "pager/dialogs/opti.h"
#include "pager/dialogs/update.h"
#include "pager/ini.h"
#include "pager/mailcheck.h"
#include "pager/position.h"
#include "pager/program.h"
#include "pager/sendlater.h"
#include "pager/sentlog.h"
#include "pager/service.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/ui/hints.h"
#include "platform/ui/trayhost.h"
#include "platform/ui/webview.h"
#include "platform/ui/widgets.h"
#include "tray/trayshell.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }
AnsiString cp(const char* utf8) { return codepage::fromUtf8(utf8); }
QString fromAnsi(std::string_view s) { return codepage::toUnicode(s); }

AnsiString cut255(AnsiString s)
{
    if (s.size() > 255) s.resize(255);
    return s;
}

// Form geometry (client co-ordinates, pixels).
constexpr int kClientWidth = 561;
constexpr int kClientHeight = 547;
constexpr int kAdvertHeight = 68;
constexpr int kColumnTop = kAdvertHeight + 4;
constexpr int kStatusHeight = 20;
constexpr int kTextHeight = 124;
constexpr int kParamHeight = 124;
constexpr int kLogsHeight = 90;
constexpr int kButtonHeight = 25;

QTreeWidget* listView(QWidget* parent, const char* name, const QStringList& columns, const QList<int>& widths)
{
    auto* lv = new QTreeWidget(parent);
    lv->setObjectName(QString::fromLatin1(name));
    lv->setColumnCount(static_cast<int>(columns.size()));
    lv->setHeaderLabels(columns);
    lv->setRootIsDecorated(false);
    lv->setItemsExpandable(false);
    lv->setSelectionMode(QAbstractItemView::SingleSelection);
    lv->setSelectionBehavior(QAbstractItemView::SelectRows);
    lv->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lv->header()->setStretchLastSection(false);
    for (int i = 0; i < widths.size(); ++i) lv->setColumnWidth(i, widths[i]);
    return lv;
}

// The default widths of a list's columns, for the list as wide as Width:
// the date column holds Date (a date as the rows show it, every digit the
// font's widest), the last column, the text, takes what the others leave with
// room for a vertical scroll bar, so the list needs no horizontal one until
// its rows' texts do.
void fitColumns(QTreeWidget* lv, int Width, int DateColumn, const AnsiString& Date)
{
    const QFontMetrics fm(lv->font());
    QChar widest = QLatin1Char('0');
    for (char d = '1'; d <= '9'; ++d) {
        if (fm.horizontalAdvance(QLatin1Char(d)) > fm.horizontalAdvance(widest)) widest = QLatin1Char(d);
    }
    QString sample = fromAnsi(Date);
    for (QChar& c : sample) {
        if (c.isDigit()) c = widest;
    }
    auto* row = new QTreeWidgetItem(lv);
    row->setText(DateColumn, sample);
    lv->resizeColumnToContents(DateColumn);
    delete row;

    const int last = lv->columnCount() - 1;
    int rest = Width - 2 * lv->frameWidth() - lv->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, lv);
    for (int i = 0; i < last; ++i) rest -= lv->columnWidth(i);
    lv->setColumnWidth(last, std::max(rest, 40));
}

template <class W>
W* named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// A row of the log or the queue keeps its texts as stored (cp1251, CR LF)
// beside the ones shown.
QString shownText(const AnsiString& s)
{
    QString t = fromAnsi(s);
    t.replace(QLatin1String("\r\n"), QLatin1String(" "));
    return t;
}
void setItemText(QTreeWidgetItem* item, int column, const AnsiString& s)
{
    item->setText(column, shownText(s));
    item->setData(column, Qt::UserRole, QByteArray(s.data(), static_cast<qsizetype>(s.size())));
}
AnsiString itemText(const QTreeWidgetItem* item, int column)
{
    return item->data(column, Qt::UserRole).toByteArray().toStdString();
}
// The mark of the queue entry a row of lvSendLater shows.
constexpr int kQueueMarkRole = Qt::UserRole + 1;
TSendQueue::TMark rowMark(const QTreeWidgetItem* item) { return item->data(0, kQueueMarkRole).toULongLong(); }
// The SMTP client's Tag: the recipient's index of the mail going out, or
// this for the new-mail notice.
constexpr int kNoticeTag = -1;
QTreeWidgetItem* addItem(QTreeWidget* list, const AnsiString& a, const AnsiString& b, const AnsiString& c)
{
    auto* item = new QTreeWidgetItem(list);
    setItemText(item, 0, a);
    setItemText(item, 1, b);
    setItemText(item, 2, c);
    return item;
}

// Line breaks of the text box (LF, and the rich edit's line separator) as
// the message text holds them (CR LF), and back.
AnsiString boxText(const QTextEdit* box) { return widgets::keptText(box->toPlainText()); }
QString boxString(const AnsiString& s) { return widgets::widgetText(s); }

// The message box. The window keeps a greeting at its start and a signature
// at its end (Inside tells whether an edit leaves them alone); an edit by the
// user that would touch them is put to ProtectChange and dropped unless it
// allows it. What
// the user pastes or drops comes in as plain text in the box's plain format.
class TMessageBox : public QTextEdit {
public:
    using QTextEdit::QTextEdit;

    std::function<bool(int StartPos, int EndPos)> Inside;
    std::function<bool(int StartPos, int EndPos)> ProtectChange;

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        const QTextCursor c = textCursor();
        int start = c.selectionStart();
        int end = c.selectionEnd();
        bool edit = false;
        if (e == QKeySequence::Paste || e == QKeySequence::Undo || e == QKeySequence::Redo) {
            edit = false;  // paste comes through insertFromMimeData; the box keeps no undo
        } else if (e->key() == Qt::Key_Backspace) {
            edit = true;
            if (start == end) start = std::max(0, start - 1);
        } else if (e->key() == Qt::Key_Delete) {
            edit = true;
            if (start == end) ++end;
        } else if (e == QKeySequence::Cut || !e->text().isEmpty()) {
            edit = !(e->modifiers() & Qt::ControlModifier) || e == QKeySequence::Cut;
        }
        if (edit && !mayChange(start, end)) {
            e->accept();
            return;
        }
        if (!c.hasSelection()) setCurrentCharFormat(QTextCharFormat());
        QTextEdit::keyPressEvent(e);
    }
    void inputMethodEvent(QInputMethodEvent* e) override
    {
        const QTextCursor c = textCursor();
        if (!e->commitString().isEmpty() || e->replacementLength() != 0) {
            const int start = c.selectionStart() + std::min(0, e->replacementStart());
            const int end = std::max(c.selectionEnd(), c.position() + e->replacementStart() + e->replacementLength());
            if (!mayChange(start, end)) {
                e->accept();
                return;
            }
        }
        if (!c.hasSelection()) setCurrentCharFormat(QTextCharFormat());
        QTextEdit::inputMethodEvent(e);
    }
    bool canInsertFromMimeData(const QMimeData* source) const override { return source->hasText(); }
    void insertFromMimeData(const QMimeData* source) override
    {
        if (!source->hasText()) return;
        QTextCursor c = textCursor();
        if (!mayChange(c.selectionStart(), c.selectionEnd())) return;
        c.insertText(source->text(), QTextCharFormat());
        setTextCursor(c);
        ensureCursorVisible();
    }

private:
    // Whether an edit of the stretch [StartPos, EndPos) may go ahead.
    bool mayChange(int StartPos, int EndPos) const
    {
        if (!Inside || Inside(StartPos, EndPos)) return true;
        return ProtectChange && ProtectChange(StartPos, EndPos);
    }
};


}  // namespace

// ---- creation ----------------------------------------------------------------

TMainWin::TMainWin(QWidget* parent)
    : TTrayForm(parent), queue_(ProgramPath + WaitFile), log_(ProgramPath + LogFile)
{
    setObjectName("MainWin");
    setWindowTitle(QString::fromUtf8(Title));
    // The form's small dialog font, so the captions fit their places.
    QFont small = font();
    small.setPointSizeF(std::min<qreal>(small.pointSizeF(), 8.0));
    setFont(small);
    // A dialog closed while this window is hidden must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    InputQuery = [this](const QString& caption, const QString& prompt,
                        const QString& text) -> std::optional<QString> {
        auto* box = new QInputDialog(this);
        box->setWindowTitle(caption);
        box->setLabelText(prompt);
        box->setTextValue(text);
        question_ = box;
        const int result = box->exec();
        std::optional<QString> answer;
        if (question_ && result == QDialog::Accepted) answer = box->textValue();
        delete question_.data();
        return answer;
    };
    ShowMessage = [this](const QString& text) { QMessageBox::information(this, QString::fromUtf8(Title), text); };
    ShowCloseErrors = [this](const QString& text) {
        auto* box = new QMessageBox(QMessageBox::Critical, QString::fromUtf8(Title), text, QMessageBox::Ok, this);
        closeReport_ = box;
        box->exec();
        delete closeReport_.data();
    };
    ShowUpdateDialog = [this] { return TUpdateWin::Execute(this); };

    createControls();
    bindEvents();
    bindDialogs();
    resize(kClientWidth, kClientHeight);
    setMinimumSize(kClientWidth, kClientHeight);
    app::guard([this] { FormCreate(); });
    created_ = true;
    FormResize();
}

TMainWin::~TMainWin()
{
    app::applicationWindow().onMessage = nullptr;
    if (Book) Book->OnSelectItem = nullptr;
    delete SMTP;  // never on the stack here: the window outlives every send
    SMTP = nullptr;
}

void TMainWin::createControls()
{
    client = named(new QWidget(this), "client");
    setCentralWidget(client);

    pAdvert = named(new QFrame(client), "pAdvert");
    pAdvert->setFrameShape(QFrame::NoFrame);
    webAdvert = named(new webview::WebView(pAdvert), "webAdvert");
    webAdvert->setGeometry((kClientWidth - 472) / 2, 2, 472, 64);
    webAdvert->setFrameShape(QFrame::NoFrame);
    webAdvert->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    webAdvert->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    // Left column: the address book and the message box.
    gbAddr = named(new QGroupBox(u("Адресная книга"), client), "gbAddr");
    Book = new TAddrBook(gbAddr, OpList, ProgramPath + BookFile);
    Book->cbAddrBook->setGeometry(8, 18, 226, 22);
    Book->tbAddrBook->setGeometry(240, 18, 23, 22);
    Book->lvAddr->setGeometry(8, 44, 229, 137);
    {
        const int tops[] = {44, 66, 88, 110, 136, 158};
        int i = 0;
        for (QToolButton* b : {Book->sbAdd, Book->sbDel, Book->sbEdit, Book->sbMail, Book->sbUp, Book->sbDn})
            b->move(241, tops[i++]);
    }

    gbText = named(new QGroupBox(u("Текст сообщения"), client), "gbText");
    auto* box = new TMessageBox(gbText);
    mText = named(box, "mText");
    mText->setAcceptRichText(false);
    // The box keeps no undo: undoing could take the shown greeting or
    // signature apart.
    mText->setUndoRedoEnabled(false);
    box->Inside = [this](int start, int end) { return ShownText().MayChange(start, end); };
    box->ProtectChange = [this](int start, int end) {
        bool allow = false;
        mTextProtectChange(start, end, allow);
        return allow;
    };
    mText->setGeometry(8, 18, 253, 84);
    mText->installEventFilter(this);
    stCountSymbols = named(new QLabel(gbText), "stCountSymbols");
    stCountSymbols->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    stCountSymbols->setAutoFillBackground(true);
    stCountSymbols->setGeometry(213, 104, 48, 16);
    stCountSymbols->setText("0");

    bSend = named(new QPushButton(u("Отправить сообщение"), client), "bSend");
    bSend->setDefault(true);
    bClear = named(new QPushButton(u("Очистить"), client), "bClear");
    bClear->resize(75, kButtonHeight);
    bSend->resize(187, kButtonHeight);

    // Right column: the parameters, the queue and the tools.
    gbParam = named(new QGroupBox(u("Параметры"), client), "gbParam");
    AutoTexts = new TAutoTexts(gbParam, *Book);
    AutoTexts->cbAutoHeader->setGeometry(8, 20, 160, 20);
    AutoTexts->eHeader->setGeometry(169, 20, 94, 21);
    cbCopyEMail = named(new TProgramGrayCheckBox(u("Отправить копию на E-Mail абонента"), gbParam), "cbCopyEMail");
    cbCopyEMail->setGeometry(8, 46, 253, 20);
    AutoTexts->cbAutoSignat->setGeometry(8, 72, 160, 20);
    AutoTexts->eSignature->setGeometry(169, 72, 94, 21);
    cbUseThisParam = named(new QCheckBox(u("Применить эти параметры для всех"), gbParam), "cbUseThisParam");
    cbUseThisParam->setGeometry(8, 98, 253, 20);

    gbSendLater = named(new QGroupBox(client), "gbSendLater");
    cbSendLater = named(new QCheckBox(u("Отложенная отправка"), gbSendLater), "cbSendLater");
    cbSendLater->setGeometry(8, 16, 200, 20);
    lDate = named(new QLabel(u("Дата:"), gbSendLater), "lDate");
    lDate->setGeometry(8, 42, 36, 18);
    dtDate = named(new QDateEdit(gbSendLater), "dtDate");
    dtDate->setCalendarPopup(true);
    dtDate->setDisplayFormat("dd.MM.yyyy");
    dtDate->setGeometry(44, 40, 100, 22);
    lTime = named(new QLabel(u("Время:"), gbSendLater), "lTime");
    lTime->setGeometry(152, 42, 44, 18);
    dtTime = named(new QTimeEdit(gbSendLater), "dtTime");
    dtTime->setDisplayFormat("HH:mm");
    dtTime->setGeometry(196, 40, 66, 22);
    lvSendLater = listView(gbSendLater, "lvSendLater", {u("Дата/Время"), u("Кому"), u("Текст")}, {100, 70, 120});
    lvSendLater->move(8, 68);
    fitColumns(lvSendLater, (kClientWidth - 23) / 2 - 16, 0, QueueCaption(QDate(2000, 1, 1), QTime(0, 0)));
    pmSendLater = named(new QMenu(lvSendLater), "pmSendLater");
    mPSendLaterSend = named(pmSendLater->addAction(u("Отправить сейчас")), "mPSendLaterSend");
    mPSendLaterSendAll = named(pmSendLater->addAction(u("Отправить сейчас все")), "mPSendLaterSendAll");
    pmSendLater->addSeparator();
    mPSendLaterDel = named(pmSendLater->addAction(u("Удалить")), "mPSendLaterDel");
    mPSendLaterDel->setShortcut(QKeySequence(Qt::Key_Delete));
    mPSendLaterDel->setShortcutContext(Qt::WidgetShortcut);
    lvSendLater->addAction(mPSendLaterDel);
    mPSendLaterDelAll = named(pmSendLater->addAction(u("Удалить все")), "mPSendLaterDelAll");
    lvSendLater->setContextMenuPolicy(Qt::CustomContextMenu);

    pTools = named(new QFrame(client), "pTools");
    sbUpdate = named(new QToolButton(pTools), "sbUpdate");
    sbUpdate->setText(u("Обновить базы данных"));
    sbUpdate->setGeometry(0, 2, 160, kButtonHeight);
    sbOptions = named(new QToolButton(pTools), "sbOptions");
    sbOptions->setText(u("Настройки"));
    sbOptions->setGeometry(166, 2, 100, kButtonHeight);

    // Bottom: the log and the status bar.
    gbLogs = named(new QGroupBox(u("Последние сообщения"), client), "gbLogs");
    lvLogs = listView(gbLogs, "lvLogs", {u("Кому"), u("Дата/Время"), u("Текст")}, {110, 100, 300});
    lvLogs->move(8, 18);
    fitColumns(lvLogs, kClientWidth - 32, 1, LogDate(QDateTime(QDate(2000, 1, 1), QTime(0, 0))));
    pmLogs = named(new QMenu(lvLogs), "pmLogs");
    mRepeatLog = named(pmLogs->addAction(u("Повторить сообщение")), "mRepeatLog");
    pmLogs->addSeparator();
    mClearLogs = named(pmLogs->addAction(u("Очистить все")), "mClearLogs");
    lvLogs->setContextMenuPolicy(Qt::CustomContextMenu);

    stStatus = named(new QStatusBar(client), "stStatus");
    stStatus->setSizeGripEnabled(false);
    for (int i = 0; i < 4; ++i) {
        stPanels[i] = new QLabel(stStatus);
        stPanels[i]->setObjectName(QString("stPanel%1").arg(i));
        stPanels[i]->setFrameShape(QFrame::StyledPanel);
        stPanels[i]->setFrameShadow(QFrame::Sunken);
        if (i < 3) {
            stStatus->addWidget(stPanels[i]);
            stPanels[i]->hide();
        } else {
            // A long status text is cut at the bar's end; it never squeezes
            // the contact panels.
            stPanels[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            stStatus->addWidget(stPanels[i], 1);
        }
    }

    // The tray icon and its menu.
    pmMain = named(new QMenu(this), "pmMain");
    mShowHide = named(pmMain->addAction(u("Восстановить")), "mShowHide");
    pmMain->addSeparator();
    mUpdate = named(pmMain->addAction(u("Обновить базы...")), "mUpdate");
    mOptions = named(pmMain->addAction(u("Настройки...")), "mOptions");
    pmMain->addSeparator();
    mExit = named(pmMain->addAction(u("Выход")), "mExit");
    icTray = named(new TOrvTrayIcon(this), "icTray");
    icTray->Icons()->AddResource(QString::fromLatin1(PagerIconResource));
    icTray->SetHint(cp("Отправка SMS и пейджер сообщений"));
    icTray->SetPopupMenu(pmMain);

    tSendLater = named(new TTimer(this, [this] { tSendLaterTimer(); }), "tSendLater");
    tSendLater->SetInterval(300000);
    tSendLater->SetEnabled(true);
    tCheckMail = named(new TTimer(this, [this] { tCheckMailTimer(); }), "tCheckMail");
    tCheckMail->SetInterval(600000);
    tLoadAdvert = named(new TTimer(this, [this] { tLoadAdvertTimer(tLoadAdvert); }), "tLoadAdvert");
    tLoadAdvert->SetInterval(AdvertTimeOut);

    POP3 = named(new TQorPOP(this), "POP3");
    POP3->Port = "110";
    POP3->RetrieveProgressStep = 10;
    POP3->StrErrorInFormatOfMsg = cp("Не правильный формат сообщения");
    MailList = named(new TQorMsgList(this), "MailList");
}

void TMainWin::bindEvents()
{
    auto click = [this](auto* sender, auto signal, auto fn) {
        connect(sender, signal, this, [this, fn] { app::guard([this, fn] { fn(); }); });
    };
    click(bSend, &QPushButton::clicked, [this] { bSendClick(bSend); });
    click(bClear, &QPushButton::clicked, [this] { bClearClick(bClear); });
    click(sbOptions, &QToolButton::clicked, [this] { bOptionsClick(); });
    click(mOptions, &QAction::triggered, [this] { bOptionsClick(); });
    click(sbUpdate, &QToolButton::clicked, [this] { mUpdateClick(); });
    click(mUpdate, &QAction::triggered, [this] { mUpdateClick(); });
    // The menu entry shows or hides the window whatever the click setting.
    click(mShowHide, &QAction::triggered, [this] { ShowHide(); });
    click(mExit, &QAction::triggered, [this] { mExitClick(); });
    click(mText, &QTextEdit::textChanged, [this] { mTextChange(); });
    click(mText, &QTextEdit::cursorPositionChanged, [this] { mTextSelectionChange(); });
    click(mText, &QTextEdit::selectionChanged, [this] { mTextSelectionChange(); });
    click(AutoTexts->eHeader, &QLineEdit::textChanged, [this] { eHeaderChange(); });
    click(AutoTexts->eSignature, &QLineEdit::textChanged, [this] { eSignatureChange(); });
    click(cbSendLater, &QCheckBox::stateChanged, [this] { cbSendLaterClick(); });
    click(mPSendLaterSend, &QAction::triggered, [this] { mPSendLaterSendClick(); });
    click(mPSendLaterSendAll, &QAction::triggered, [this] { mPSendLaterSendAllClick(); });
    click(mPSendLaterDel, &QAction::triggered, [this] { mPSendLaterDelClick(); });
    click(mPSendLaterDelAll, &QAction::triggered, [this] { mPSendLaterDelAllClick(); });
    click(mRepeatLog, &QAction::triggered, [this] { lvLogsDblClick(); });
    click(mClearLogs, &QAction::triggered, [this] { mClearLogsClick(); });
    click(lvLogs, &QTreeWidget::itemDoubleClicked, [this] { lvLogsDblClick(); });
    connect(lvLogs, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmLogs->popup(lvLogs->viewport()->mapToGlobal(at)); });
    connect(lvSendLater, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmSendLater->popup(lvSendLater->viewport()->mapToGlobal(at)); });
    click(cbCopyEMail, &QCheckBox::stateChanged, [this] { cbCopyEMailClick(); });
    click(cbUseThisParam, &QCheckBox::stateChanged, [this] { cbUseThisParamClick(); });
    click(Book->lvAddr, &QTreeWidget::itemChanged, [this] { mTextChange(); });
    // "Снять отметки" and "Отметить все" of the contact menu go through the window.
    Book->mSelectNone->disconnect(Book);
    Book->mSelectAll->disconnect(Book);
    click(Book->mSelectNone, &QAction::triggered, [this] { mSelectNoneClick(); });
    click(Book->mSelectAll, &QAction::triggered, [this] { mSelectAllClick(); });

    Book->ShowPanel = [this](int index, const AnsiString& text) {
        if (index == 3)
            SetStatus(text);
        else
            ShowContactPanel(index, text);
    };
    Book->OnSelectItem = [this](TBookRow* item, bool selected) { lvAddrSelectItem(item, selected); };
    // What loading the book changed is told once the window is up.
    Book->Notice = [this](const QString& text) {
        QPointer<TMainWin> self(this);
        QMetaObject::invokeMethod(
            this,
            [self, text] {
                if (self && !self->closing_ && self->ShowMessage) app::guard([&] { self->ShowMessage(text); });
            },
            Qt::QueuedConnection);
    };
    AutoTexts->ParamsLoading = [this] { return ParamsLoading; };
    AutoTexts->ViewUserParam = [this](TBookRow* item) { ViewUserParam(item); };

    icTray->OnClick = [this](TOrvTrayIcon*, TMouseButton, TShiftState, int, int) { icTrayClick(); };
    icTray->OnDblClick = [this](TOrvTrayIcon*) { mShowHideClick(); };

    webAdvert->OnNavigateComplete2 = [this](uint64_t frame, const QUrl&) { webAdvertNavigateComplete2(frame); };
    webAdvert->OnDocumentComplete = [this](uint64_t frame, const QUrl&) { webAdvertDocumentComplete(frame); };

    POP3->OnConnecting = [this](QObject*, TFxSock*) { POP3Connecting(); };
    POP3->OnConnect = [this](QObject*) { POP3Connect(); };
    POP3->OnDisconnect = [this](QObject*) { POP3Disconnect(); };
    POP3->OnError = [this](QObject*, int error, const AnsiString& msg) { POP3Error(error, msg); };

    app::applicationWindow().onMessage = [this](const winmsg::Message& msg) {
        bool handled = false;
        app::guard([&] { aeMainMessage(msg, handled); });
    };
}

// The contact, group and options dialogs: each made for one showing and
// freed here. What they give back is dropped when the window began to close
// meanwhile.
void TMainWin::bindDialogs()
{
    Book->ShowBookItDialog = [this](const TBookItDialogInit* edit) -> std::optional<TBookItDialogResult> {
        TBookItWin dialog(this, OpList, PagerList);
        if (edit) dialog.Fill(*edit);
        const bool editing = edit != nullptr;
        dialog.ExtraCheck = [this, editing](const TBookItDialogResult& r) {
            return Book->ContactNameRefusal(r.Name, editing);
        };
        if (dialog.exec() != QDialog::Accepted || closing_) return std::nullopt;
        return dialog.Result();
    };
    Book->ShowGroupItDialog = [this](const AnsiString* current) -> std::optional<AnsiString> {
        TGroupItWin dialog(this);
        if (current) dialog.Fill(*current);
        const bool renaming = current != nullptr;
        dialog.ExtraCheck = [this, renaming](const AnsiString& name) { return Book->GroupNameRefusal(name, renaming); };
        if (dialog.exec() != QDialog::Accepted || closing_) return std::nullopt;
        return dialog.Name();
    };
    ShowOptionsDialog = [this] {
        TOptiWin dialog(this, OpList, Book->TypesImage, ProgramPath + UserOperatorsFile);
        TOptiResult result;
        result.Ok = dialog.exec() == QDialog::Accepted && !closing_;
        result.ViewChanged = dialog.ViewChanged;
        result.OperatorsChanged = dialog.OperatorsChanged;
        return result;
    };
}

void TMainWin::FormCreate()
{
    // 1, 2: hints stay long; the tray icon gets the first picture of its list.
    app::application().HintHidePause = 120000;
    hints::applyHintHidePause();
    icTray->SetIcon(icTray->Icons()->GetIcon(0));
    icTray->Loaded();

    // 3. The place is the frame's top-left corner and the size the client
    // area's, the quantities saved at close, so the window neither grows nor
    // wanders from run to run. On a first run the window manager places it.
    TPosRec pos{-1, -1, height(), width(), false};
    LoadPosition("Main", pos);
    if (pos.Left != -1 && pos.Top != -1) move(pos.Left, pos.Top);
    resize(std::max(pos.Width, kClientWidth), std::max(pos.Height, kClientHeight));
    if (pos.Maximized) setWindowState(windowState() | Qt::WindowMaximized);

    // 4. Column widths.
    auto loadColumns = [](const char* name, QTreeWidget* list) {
        for (int i = 0; i < list->columnCount(); ++i) {
            TPosRec col{-1, -1, -1, list->columnWidth(i), false};
            LoadPosition(AnsiString(name) + std::to_string(i), col);
            if (col.Width >= 0) list->setColumnWidth(i, col.Width);
        }
    };
    loadColumns("Book\\Columns\\Section", Book->lvAddr);
    loadColumns("Send\\Columns\\Section", lvSendLater);
    loadColumns("Main\\Columns\\Section", lvLogs);

    // 5 to 7.
    LoadOptions();
    app::application().ShowMainForm = !Ini.Run.HideOnRun;
    tSendLater->SetInterval(MinutesToMs(Ini.Connect.PollingInterval));

    // 8 to 10.
    Book->ShowImages(Ini.View.IconsInBook);
    TextUpdating = HeadersUpdating = AllowProtectChange = ParamsLoading = false;
    BodyText.clear();
    ShownHeader.clear();
    ShownSignature.clear();
    AutoTexts->cbAutoSignat->setChecked(Ini.Main.IsSignature);
    widgets::setTextFromStart(AutoTexts->eSignature, fromAnsi(Ini.Main.Signature));
    cbCopyEMail->setChecked(Ini.Main.CopyToEmail);
    AutoTexts->cbAutoHeader->setChecked(Ini.Main.IsHeader);
    widgets::setTextFromStart(AutoTexts->eHeader, fromAnsi(Ini.Main.Header));
    AutoTexts->eSignature->setToolTip(AutoTexts->eHeader->toolTip());

    // 11.
    tCheckMail->SetInterval(MinutesToMs(Ini.CheckEmail.CheckEvery));
    tCheckMail->SetEnabled(Ini.CheckEmail.Active);

    // 12: the groups; a remembered index beyond the last selects the last.
    Book->LoadGroups();

    // 13, 14.
    LoadOperators(OpList, ProgramPath + OperatorsFile);
    LoadOperators(OpList, ProgramPath + UserOperatorsFile);
    LoadPagers(PagerList, ProgramPath + PagersFile);

    // 15, 16.
    if (Ini.Message.CountLogMsg > 0) LoadLogs();
    LoadSendLater();

    // 17: the first Russian layout among at most 8 installed ones.
    delete SMTP;
    SMTP = nullptr;
    RussianLayout = 0;
    for (keyboard::HKL layout : keyboard::getKeyboardLayoutList(8)) {
        if ((keyboard::languageId(layout) & 0xFF) == 0x19) {
            RussianLayout = layout;
            break;
        }
    }

    // 18.
    const QDate today = sysclock::now().date();
    dtDate->setMinimumDate(today);
    dtDate->setDate(today);

    // 19 to 21.
    SetViewAddr();
    AutoTexts->cbAutoSignatClick();
    AutoTexts->cbAutoHeaderClick();
    cbSendLaterClick();
    SetCountLog();

    // 22.
    NewMsgCount = 0;
    AllMsgCount = 0;

    // 23. The time-out is not started here.
    if (!Ini.Connect.UseOrvDialer) {
        try {
            webAdvert->Navigate(QUrl(QString::fromLatin1(AdvertUrl)));
        } catch (...) {
        }
    }
    mTextChange();
}

// ---- showing and hiding --------------------------------------------------------

void TMainWin::FormShow()
{
    if (!Ini.Main.IconDblClick) icTray->Hide();
    if (!StartingMinimized()) RestoreFromMinimized();
    mShowHide->setText(u("Спрятать"));
    showHideImage_ = 1;
    mShowHide->setIcon(style()->standardIcon(QStyle::SP_TitleBarMinButton));
    const QRect box = Book->cbAddrBook->geometry();
    Book->tbAddrBook->move(box.x() + box.width() + 5, box.y());
}

void TMainWin::FormHide()
{
    if (!Ini.Main.IconDblClick) icTray->Show();
    mShowHide->setText(u("Восстановить"));
    showHideImage_ = 0;
    mShowHide->setIcon(style()->standardIcon(QStyle::SP_TitleBarNormalButton));
}

void TMainWin::mShowHideClick()
{
    if (Ini.Main.IconDblClick) ShowHide();
}

void TMainWin::icTrayClick()
{
    if (!Ini.Main.IconDblClick) ShowHide();
}

void TMainWin::mExitClick() { close(); }

// ---- options and update --------------------------------------------------------

void TMainWin::bOptionsClick()
{
    if (closing_ || !ShowOptionsDialog) return;
    const TOptiResult result = ShowOptionsDialog();
    if (!result.Ok) return;
    if (result.ViewChanged) {
        tSendLater->SetEnabled(false);
        tSendLater->SetInterval(MinutesToMs(Ini.Connect.PollingInterval));
        tSendLater->SetEnabled(true);
        SetCountLog();
        Book->ShowImages(Ini.View.IconsInBook);
        SetViewAddr();
        // The message box's greeting and signature follow FullText.
        if (Ini.Message.FullText && Book->Selected()) {
            ViewUserParam(Book->Selected());
        } else {
            TextUpdating = true;
            DeleteHeaders();
            TextUpdating = false;
            mTextChange();
        }
        FormResize();
    }
    if (result.OperatorsChanged) {
        DisposeOp();
        LoadOperators(OpList, ProgramPath + OperatorsFile);
        LoadOperators(OpList, ProgramPath + UserOperatorsFile);
    }
    tCheckMail->SetInterval(MinutesToMs(Ini.CheckEmail.CheckEvery));
    tCheckMail->SetEnabled(Ini.CheckEmail.Active);
    if (Ini.Main.IconDblClick) icTray->Show();
}

void TMainWin::mUpdateClick()
{
    if (closing_ || !ShowUpdateDialog) return;
    if (ShowUpdateDialog()) close();
}

void TMainWin::SetViewAddr()
{
    // The shown group is written first, so no change of its rows is lost
    // (at creation there are no rows yet, and nothing is written).
    if (addrShown_) Book->SaveBook();
    Book->SetViewAddr();
    addrShown_ = true;
}

void TMainWin::SetStdParam(TStdParam Kind)
{
    auto header = [this] {
        AutoTexts->cbAutoHeader->setCheckState(Ini.Main.IsHeader ? Qt::Checked : Qt::Unchecked);
        widgets::setTextFromStart(AutoTexts->eHeader, fromAnsi(Ini.Main.Header));
    };
    auto copy = [this] { cbCopyEMail->setCheckState(Ini.Main.CopyToEmail ? Qt::Checked : Qt::Unchecked); };
    auto signature = [this] {
        AutoTexts->cbAutoSignat->setCheckState(Ini.Main.IsSignature ? Qt::Checked : Qt::Unchecked);
        widgets::setTextFromStart(AutoTexts->eSignature, fromAnsi(Ini.Main.Signature));
    };
    switch (Kind) {
    case TStdParam::Header: header(); break;
    case TStdParam::Copy: copy(); break;
    case TStdParam::Signature: signature(); break;
    case TStdParam::All:
        header();
        copy();
        signature();
        break;
    }
}

void TMainWin::ShowContactPanel(int Index, const AnsiString& Text)
{
    if (Index < 0 || Index > 2) return;
    QLabel* panel = stPanels[Index];
    const AnsiString shown = Book->Selected() ? Text : AnsiString();
    panel->setText(fromAnsi(shown));
    if (shown.empty()) {
        panel->setFixedWidth(0);
        panel->hide();
    } else {
        panel->setFixedWidth(panel->fontMetrics().horizontalAdvance(panel->text()) + 8 +
                             2 * panel->frameWidth());
        panel->show();
    }
}

void TMainWin::DisposeOp() { OpList.Clear(); }

void TMainWin::mSelectNoneClick() { SelAddr(false); }

void TMainWin::mTextEnter()
{
    if (Ini.Message.RusLayout && RussianLayout != 0) keyboard::activateKeyboardLayout(RussianLayout);
}

bool TMainWin::eventFilter(QObject* watched, QEvent* event)
{
    // Entered from another control (or by a click): not when the window
    // becomes active again or a menu closes, which leave the box the
    // window's focus all along.
    if (watched == mText && event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            app::guard([this] { mTextEnter(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- the advertising page ----------------------------------------------------

void TMainWin::LoadAdvert()
{
    // A load that never completed is forgotten: only this one is waited for.
    AdvertFrame = 0;
    try {
        webAdvert->Navigate(QUrl(QString::fromLatin1(AdvertUrl)));
    } catch (...) {
    }
    tLoadAdvert->SetEnabled(true);
}

void TMainWin::webAdvertNavigateComplete2(uint64_t Frame)
{
    if (AdvertFrame == 0) AdvertFrame = Frame;
}

void TMainWin::webAdvertDocumentComplete(uint64_t Frame)
{
    if (Frame != AdvertFrame) return;
    AdvertFrame = 0;
    tLoadAdvertTimer(nullptr);
}

void TMainWin::tLoadAdvertTimer(QObject* Sender)
{
    tLoadAdvert->SetEnabled(false);
    if (Sender) webAdvert->Stop();
    if (road_.Idle()) OrvDisconnect();
}

// ---- layout ------------------------------------------------------------------

void TMainWin::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TMainWin::FormResize()
{
    if (!created_) return;
    const int cw = client->width();
    const int ch = client->height();
    pAdvert->setGeometry(0, 0, cw, kAdvertHeight);
    stStatus->setGeometry(0, ch - kStatusHeight, cw, kStatusHeight);

    // 1, 2.
    webAdvert->move((cw - webAdvert->width()) / 2, webAdvert->y());
    const int W = (cw - 23) / 2;

    // 3. Left column.
    QToolButton* sbAdd = Book->sbAdd;
    gbAddr->setGeometry(8, kColumnTop, W, gbAddr->height());
    QTreeWidget* lvAddr = Book->lvAddr;
    lvAddr->resize(gbAddr->width() - sbAdd->width() - 17, lvAddr->height());
    QComboBox* cbAddrBook = Book->cbAddrBook;
    cbAddrBook->resize(gbAddr->width() - Book->tbAddrBook->width() - 20, cbAddrBook->height());
    Book->tbAddrBook->move(cbAddrBook->x() + cbAddrBook->width() + 6, Book->tbAddrBook->y());
    for (QToolButton* b : {Book->sbAdd, Book->sbDel, Book->sbEdit, Book->sbMail, Book->sbUp, Book->sbDn})
        b->move(lvAddr->x() + lvAddr->width() + 4, b->y());
    gbText->setGeometry(8, gbText->y(), W, kTextHeight);
    mText->resize(gbText->width() - 16, mText->height());
    stCountSymbols->move(mText->x() + mText->width() - stCountSymbols->width(), stCountSymbols->y());
    bSend->setGeometry(gbText->x(), bSend->y(), gbText->width() - bClear->width() - 7, kButtonHeight);
    bClear->move(bSend->x() + bSend->width() + 7, bClear->y());

    // 4. Right column.
    gbParam->setGeometry(gbAddr->x() + W + 7, kColumnTop, W, kParamHeight);
    gbSendLater->setGeometry(gbAddr->x() + W + 7, gbParam->y() + gbParam->height() + 7, W, gbSendLater->height());
    pTools->setGeometry(gbText->x() + W + 7, pTools->y(), W, kButtonHeight + 4);
    AutoTexts->eHeader->resize(gbParam->width() - AutoTexts->cbAutoHeader->width() - 15, AutoTexts->eHeader->height());
    AutoTexts->eSignature->resize(gbParam->width() - AutoTexts->cbAutoSignat->width() - 15,
                                  AutoTexts->eSignature->height());
    lvSendLater->resize(gbSendLater->width() - 16, lvSendLater->height());

    // 5. Bottom.
    int B = 0;
    if (!gbLogs->isHidden()) {
        gbLogs->resize(cw - 16, kLogsHeight);
        lvLogs->resize(gbLogs->width() - 16, kLogsHeight - 26);
        B = ch - kStatusHeight - gbLogs->height() - 6;
        gbLogs->move(8, B);
    } else {
        B = ch - kStatusHeight;
    }

    // 6.
    const int Y = B - bSend->height() - 5;
    bSend->move(bSend->x(), Y);
    bClear->move(bClear->x(), Y);
    pTools->move(pTools->x(), Y - 2);
    gbSendLater->resize(gbSendLater->width(), Y - 2 - gbParam->y() - gbParam->height() - 14);
    lvSendLater->resize(lvSendLater->width(), std::max(0, gbSendLater->height() - lvSendLater->y() - 7));

    // 7.
    const int T = Y - gbText->height() - 9;
    gbText->move(gbText->x(), T);
    gbAddr->resize(gbAddr->width(), T - gbAddr->y() - 7);
    lvAddr->resize(lvAddr->width(), std::max(0, gbAddr->height() - lvAddr->y() - 8));
}

// ---- closing -----------------------------------------------------------------

void TMainWin::closeEvent(QCloseEvent* event)
{
    if (closed_) {
        event->accept();
        return;
    }
    closing_ = true;
    if (question_) question_->reject();
    if (road_.Running()) {
        // A send is on the stack below this close: it is aborted here (every
        // wait of the SMTP client ends at once, and nothing more is waited
        // for) and the close goes on once it has unwound.
        closeWanted_ = true;
        road_.Cancel();
        if (SMTP) SMTP->Abort();
        event->ignore();
        return;
    }
    if (checking_) {
        // So is a mailbox check waiting for its server.
        closeWanted_ = true;
        POP3->Abort();
        event->ignore();
        return;
    }
    // A send waiting for the dialer, or parked, is dropped; the dialer that
    // was asked for it is told to hang up.
    if (road_.Waiting() || road_.Parked()) app::guard([this] { finishSend(); });
    const std::vector<AnsiString> errors = FormCloseQuery();
    closed_ = true;
    reportCloseErrors(errors);
    event->accept();
    if (OnClosed) OnClosed();
}

void TMainWin::Terminate()
{
    terminating_ = true;
    // A close that shows its errors waits for nobody now.
    if (closeReport_) closeReport_->reject();
    close();
}

std::vector<AnsiString> TMainWin::FormCloseQuery()
{
    // Every step runs even when an earlier one failed; the close is never
    // refused, and its errors are told once all steps have run. A maximized
    // window stores only that, keeping the normal place saved before.
    std::vector<AnsiString> errors;
    auto step = [&errors](auto&& work) {
        try {
            work();
        } catch (...) {
            errors.push_back(app::exceptionMessage());
        }
    };
    step([this] { SavePosition("Main", {x(), y(), height(), width(), false}, true, isMaximized()); });
    auto saveColumns = [&step](const char* name, QTreeWidget* list) {
        for (int i = 0; i < list->columnCount(); ++i) {
            step([&] {
                SavePosition(AnsiString(name) + std::to_string(i), {-1, -1, -1, list->columnWidth(i), false}, true,
                             false);
            });
        }
    };
    saveColumns("Book\\Columns\\Section", Book->lvAddr);
    saveColumns("Send\\Columns\\Section", lvSendLater);
    saveColumns("Main\\Columns\\Section", lvLogs);
    // A running send was aborted and has unwound before this point.
    step([] { SaveOptions(); });
    step([this] { Book->SaveBook(); });
    step([this] { SaveLog(); });
    // The queue is saved whenever it changes; a change whose save failed is
    // tried once more, so that nothing sent stays in wait.dat.
    step([this] { queue_.SaveIfUnsaved(); });
    step([this] { Book->ClearAddr(); });
    step([this] {
        DisposeOp();
        PagerList.Clear();
    });
    return errors;
}

void TMainWin::reportCloseErrors(const std::vector<AnsiString>& Errors)
{
    if (Errors.empty()) return;
    if (terminating_ || !ShowCloseErrors) {
        // Nobody is there to read a message box: the program ends all the same.
        for (const AnsiString& e : Errors) std::fprintf(stderr, "%s\n", codepage::toUtf8(e).c_str());
        return;
    }
    QStringList lines;
    for (const AnsiString& e : Errors) lines << fromAnsi(e);
    app::guard([&] { ShowCloseErrors(lines.join(QLatin1Char('\n'))); });
}

// ---- sending road ------------------------------------------------------------

void TMainWin::SetStatus(const AnsiString& Text)
{
    const AnsiString text = cut255(Text);
    stPanels[3]->setText(fromAnsi(text));
    if (OnStatusChange) OnStatusChange(text);
}

AnsiString TMainWin::Status() const { return codepage::fromUnicode(stPanels[3]->text()); }

void TMainWin::SetSendED(bool Enabled)
{
    bSend->setEnabled(Enabled);
    bClear->setText(Enabled ? u("Очистить") : u("Отмена"));
}

int TMainWin::SelectUserIndex() const { return Book->Group().FirstChecked(); }

void TMainWin::SelAddr(bool Checked) { Book->SetAllChecked(Checked); }

TComposeFlags TMainWin::RowFlags(int Row) const
{
    TComposeFlags f;
    TBookRow* row = Book->Row(Row);
    TBookRow* selected = Book->Selected();
    if (selected && (row == selected || cbUseThisParam->isChecked())) {
        f.OwnHeader = AutoTexts->cbAutoHeader->checkState() == Qt::PartiallyChecked;
        f.OwnSignature = AutoTexts->cbAutoSignat->checkState() == Qt::PartiallyChecked;
        f.Copy = cbCopyEMail->checkState() == Qt::PartiallyChecked;
    } else {
        f.OwnHeader = row->Item.OwnHeader;
        f.OwnSignature = row->Item.OwnSignature;
        f.Copy = row->Item.CopyEMail;
    }
    f.AutoHeader = AutoTexts->cbAutoHeader->checkState() == Qt::Checked;
    f.AutoSignat = AutoTexts->cbAutoSignat->checkState() == Qt::Checked;
    return f;
}

TSendJob TMainWin::MakeJob(TSendMode Mode, bool Manual)
{
    TSendJob job;
    job.Mode = Mode;
    job.Manual = Manual;
    job.BodyText = BodyText;
    job.Settings = CurrentComposeSettings();
    if (Mode == TSendMode::Checked) {
        for (int i = 0; i < Book->Count(); ++i) {
            TBookRow* row = Book->Row(i);
            if (row->checkState(0) == Qt::Checked) job.Recipients.push_back({row->Name, row->Item, RowFlags(i), false});
        }
    }
    queueSend_.clear();
    if (IsQueueSend(Mode)) {
        // Each entry goes to every contact of the shown group of its name; a
        // done entry (empty caption) never goes again.
        std::optional<size_t> only;
        if (Mode == TSendMode::QueueSelected) only = SelectedQueueEntry().value_or(queue_.Count());
        for (const TSendQueue::TPick& pick : queue_.Pick(ShownNames(), only)) {
            const int i = static_cast<int>(pick.Contact);
            TBookRow* row = Book->Row(i);
            job.Recipients.push_back({row->Name, row->Item, RowFlags(i), false});
            queueSend_.push_back({pick.Mark, pick.Caption, pick.Text});
        }
    }
    return job;
}

void TMainWin::bSendClick(QObject* Sender)
{
    if (closing_) return;
    if (Sender) {
        if (!road_.Free()) return;  // a parked send is replaced by this one
        if (SelectUserIndex() < 0) {
            ShowMessage(u("Абонент не задан!"));
            return;
        }
        if (cbSendLater->isChecked()) {
            bool queued = true;
            for (int i = 0; i < Book->Count(); ++i) {
                if (Book->Row(i)->checkState(0) == Qt::Checked) queued = AddToSendLater(i) && queued;
            }
            // Nothing is cleared unless every row went into the queue.
            if (!queued) return;
            bClearClick(nullptr);
            if (!Ini.Connect.AlwaysOn) cbSendLater->setChecked(false);
            return;
        }
    }
    // Without a Sender the send that waited for the dialer resumes in its
    // own mode.
    ConnectToSMTP(Sender != nullptr, Sender ? TSendMode::Checked : road_.Mode());
}

void TMainWin::bindSmtp(TFxSMTP* Client)
{
    Client->OnConnect = [this](TFxSock*) { SMTPConnect(); };
    Client->OnConnectionFailed = [this](TFxSock*) { SMTPConnectionFailed(); };
    Client->OnDisconnect = [this](TFxSock*) { SMTPDisconnect(); };
    Client->OnFailure = [this](TFxSock*) { SMTPFailure(); };
    Client->OnHeaderIncomplete = [this](bool& handled, int type) { SMTPHeaderIncomplete(handled, type); };
    Client->OnRecipientNotFound = [this](const AnsiString& recipient) { SMTPRecipientNotFound(recipient); };
    Client->OnSendStart = [this](TFxSock*) { SMTPSendStart(); };
    Client->OnSuccess = [this](TFxSock*) { SMTPSuccess(); };
    // The socket connection itself: a failure after it is no want of a line.
    static_cast<TFxSock*>(Client)->OnConnect = [this](TFxSock*) { road_.LineReached(); };
}

void TMainWin::ConnectToSMTP(bool Manual, TSendMode Mode)
{
    if (closing_) return;
    if ((road_.Waiting() || road_.Parked()) && !Manual) {
        road_.Resume();  // the dialer's line is up
    } else if (!road_.Start(MakeJob(Mode, Manual))) {
        return;  // one send at a time
    }

    if (Ini.Connect.Host == DefaultSmtpHost) {
        const auto answer = InputQuery(u("Введите SMTP адрес"), u("SMTP сервер вашего провайдера интернет:"),
                                       fromAnsi(Ini.Connect.Host));
        if (answer) Ini.Connect.Host = cut255(codepage::fromUnicode(*answer));
        if (closing_ || Ini.Connect.Host == DefaultSmtpHost) {
            finishSend();
            return;
        }
    }

    const AnsiString host = Ini.Connect.Host;
    auto* client = new TFxSMTP(this);
    SMTP = client;
    bool failed = false;
    try {
        client->Tag = road_.Mode() == TSendMode::Notice ? kNoticeTag : 0;
        bindSmtp(client);
        client->Host = host;
        client->Port = Ini.Connect.Port;
        client->UserID = Ini.Connect.UserID.empty() ? AnsiString("pager") : Ini.Connect.UserID;
        client->SetTimeOut(SmtpTimeOut);
        SetStatus(cp("Соединение c ") + host);  // a Latin "c"
        SetSendED(false);
        client->Connect();
    } catch (...) {
        failed = true;
    }
    // Nothing of the client runs any more: it goes, and with it any
    // connection it still holds (closed without a word to the server).
    SMTP = nullptr;
    delete client;

    if (!failed) {
        finishSend();
        return;
    }
    switch (road_.Failed(Ini.Connect.UseOrvDialer)) {
    case TSendEnd::AskDialer: {
        // The window stays in the sending state until the dialer answers or
        // the user cancels.
        const uint32_t h = GetDialerHandle();
        if (h != 0) winmsg::postMessage(h, WM_DIAL_CONNECT, app::applicationWindow().handle(), 0);
        if (closeWanted_) finishSend();
        break;
    }
    case TSendEnd::Failed:
    case TSendEnd::Cancelled:
        SetStatus(cp("Ошибка соединения с ") + host);
        finishSend();
        break;
    }
}

void TMainWin::finishSend()
{
    road_.Finished();
    SetSendED(true);
    // The dialer was asked for this send: it hangs up now, or once the
    // advertising page is done.
    if (!tLoadAdvert->Running()) OrvDisconnect();
    if (!tSendLater->Enabled()) tSendLater->SetEnabled(true);
    resumeDeferred();
}

void TMainWin::resumeDeferred()
{
    QPointer<TMainWin> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (!self || !self->road_.Idle()) return;
            if (self->closeWanted_) {
                self->closeWanted_ = false;
                self->close();
                return;
            }
            if (self->closing_) return;
            if (self->road_.TakeQueueTick()) app::guard([&] { self->CheckSendLater(); });
            if (self && self->road_.TakeMailTick()) app::guard([&] { self->CheckMail(); });
        },
        Qt::QueuedConnection);
}

void TMainWin::SMTPConnect()
{
    road_.Connected();
    LoadAdvert();
    switch (road_.Mode()) {
    case TSendMode::Checked:
        for (int i : road_.Pending()) {
            SendMsg(i);
            road_.Served(i);
        }
        break;
    case TSendMode::QueueDue:
    case TSendMode::QueueSelected:
    case TSendMode::QueueAll:
        for (int i : road_.Pending()) {
            SendLaterItem(i, road_.Mode() == TSendMode::QueueDue);
            road_.Served(i);
        }
        break;
    case TSendMode::Notice: SendNotifMsg(); break;
    }
    // Every mail was accepted: a refusal of the farewell changes nothing of
    // that, and the connection is closed either way.
    try {
        SMTP->Disconnect();
    } catch (...) {
    }
    SetStatus({});
    // The box and the checks are cleared for the message that went out; a
    // text the user has typed since the send started (it may have waited
    // for the dialer) stays, with its checks.
    if (road_.Mode() == TSendMode::Checked && BodyText == road_.Job().BodyText) {
        ClearText(false);
        SelAddr(false);
    }
    DropSentQueueRows();
    if (!tSendLater->Enabled()) tSendLater->SetEnabled(true);
}

void TMainWin::SendMsg(int Index)
{
    const TSendJob& job = road_.Job();
    const TSendRecipient r = job.Recipients.at(static_cast<size_t>(Index));
    const std::vector<TMailPart> parts =
        BuildMessage(job.BodyText, r.Name, r.Item, r.Flags, job.Settings, PagerList, lrTranslit, sysclock::now());
    for (const TMailPart& part : parts) {
        FillPostMessage(*SMTP, part, sysclock::now());
        SMTP->Tag = Index;
        SMTP->SendMail();
    }
}

void TMainWin::SMTPSendStart()
{
    if (SMTP && SMTP->Tag == kNoticeTag) {
        SetStatus(cp("Отправка уведомления о новой почте..."));
        return;
    }
    const auto& recipients = road_.Job().Recipients;
    const int tag = SMTP ? SMTP->Tag : kNoticeTag;
    const AnsiString name = tag >= 0 && tag < static_cast<int>(recipients.size())
                                ? recipients[static_cast<size_t>(tag)].Name
                                : AnsiString();
    SetStatus(cp("Отправка сообщения для ") + name + "...");
}

void TMainWin::SMTPSuccess()
{
    SetStatus(cp("Сообщение отправлено!"));
    if (SMTP && SMTP->PostMsg.LocalProgram == LongProgramName && SMTP->Tag >= 0) AddLog(SMTP->Tag);
    if (Ini.Message.HideOnSuccess) trayhost::hideToTray(this);
}

void TMainWin::SMTPFailure() { SetStatus(cp("Неудача!")); }

void TMainWin::SMTPConnectionFailed() { SetStatus(cp("Ошибка соединения")); }

void TMainWin::SMTPHeaderIncomplete(bool&, int) { SetStatus(cp("Заголовок не полный")); }

void TMainWin::SMTPRecipientNotFound(const AnsiString& Recipient)
{
    SetStatus(cp("Получатель \"") + Recipient + cp("\" не найден!"));
}

void TMainWin::SMTPDisconnect()
{
    SetSendED(true);
    if (!tLoadAdvert->Running()) OrvDisconnect();
}

void TMainWin::bClearClick(QObject* Sender)
{
    SetStatus({});
    // The user's "Очистить" drops a send parked for the dialer, and the
    // dialer that was asked for it is told to hang up.
    if (Sender && road_.Parked()) finishSend();
    if (road_.Free()) {
        ClearText(Sender != nullptr);
        SelAddr(false);
        DropSentQueueRows();
    } else if (road_.Waiting()) {
        // No client waits: the send gives up at once.
        finishSend();
    } else {
        road_.Cancel();
        if (SMTP) SMTP->Abort();
        SetSendED(true);
        if (!tLoadAdvert->Running()) OrvDisconnect();
    }
}

void TMainWin::OrvDisconnect()
{
    if (!Ini.Connect.UseOrvDialer || !road_.DialerAsked()) return;
    const uint32_t h = GetDialerHandle();
    road_.HungUp();
    if (h != 0) winmsg::postMessage(h, WM_DIAL_HANGUP, 0, 0);
}

void TMainWin::aeMainMessage(const winmsg::Message& Msg, bool& Handled)
{
    switch (Msg.msg) {
    case WM_DIAL_CONNECTED:
        Handled = true;
        // Only a send that waits for the line, or is parked, goes on.
        if (road_.Waiting() || road_.Parked()) bSendClick(nullptr);
        break;
    case WM_DIAL_DISCONNECTED:
        Handled = true;
        SetStatus(cp("Связь разорвана"));
        if (road_.Running()) break;  // a send on its way ends by itself
        // The dialer redials on its own: a waiting send is parked for its
        // "connected", the window is idle, and nothing is posted.
        road_.DialerFailed();
        SetSendED(true);
        if (!tSendLater->Enabled()) tSendLater->SetEnabled(true);
        break;
    case WM_DIAL_DIALING:
        Handled = true;
        SetStatus(cp("Установка соединения..."));
        if (IsQueueSend(road_.Mode())) tSendLater->SetEnabled(false);
        break;
    case WM_DIAL_AUTHENTICATING:
        Handled = true;
        SetStatus(cp("Проверка имени и пароля..."));
        break;
    default: break;
    }
}

// ---- the message box and the parameters (simple form) -----------------------

void TMainWin::mTextChange()
{
    if (restoring_) return;
    if (!HeadersUpdating) {
        const TMessageText& text = ShownText();
        if (text.Stands()) {
            goodText_ = text.Text();
            goodCaret_ = mText->textCursor().position();
        } else {
            bool allow = false;
            mTextProtectChange(0, text.Length(), allow);
            if (!allow) RestoreBox();
        }
    }
    SetTextMessage();
    if (TextUpdating) return;
    const int32_t count = ShownText().SymbolCount();
    const int32_t max = MaxSymbols();
    QPalette pal = stCountSymbols->palette();
    if (count > max) {
        stCountSymbols->setText(QString("+%1").arg(count - max));
        pal.setColor(QPalette::Window, Qt::red);
        pal.setColor(QPalette::WindowText, Qt::white);
    } else {
        stCountSymbols->setText(QString::number(count));
        pal.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
        pal.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::WindowText));
    }
    stCountSymbols->setPalette(pal);
}

int32_t TMainWin::MaxSymbols() const
{
    return SmallestBound(Book->Group().CheckedItems(), PagerList, Ini.Message.MaxSymbols);
}

namespace {
// Sets a flag for a scope and puts its old value back.
class TFlagScope {
public:
    explicit TFlagScope(bool& Flag) : flag_(Flag), old_(Flag) { flag_ = true; }
    ~TFlagScope() { flag_ = old_; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& flag_;
    bool old_;
};
}  // namespace

void TMainWin::SetTextMessage()
{
    BodyText = boxText(mText);
    if (Ini.Message.FullText) BodyText = TMessageText::Body(std::move(BodyText), ShownHeader, ShownSignature);
}

const TMessageText& TMainWin::ShownText() const
{
    shownText_.SetText(mText->toPlainText());
    shownText_.SetShown(boxString(ShownHeader), boxString(ShownSignature));
    return shownText_;
}

bool TMainWin::ShownStand() const { return ShownText().Stands(); }

void TMainWin::RestoreBox()
{
    TFlagScope restoring(restoring_);
    TFlagScope updating(HeadersUpdating);
    mText->setPlainText(goodText_);
    if (!ShownStand()) {  // nothing good was kept: the box holds no greeting or signature
        ShownHeader.clear();
        ShownSignature.clear();
        return;
    }
    TFlagScope textUpdating(TextUpdating);
    const TMessageText& text = ShownText();
    if (text.HeadLength() > 0) SetAttr(0, text.HeadLength());
    if (text.TailLength() > 0) SetAttr(text.Length() - text.TailLength(), text.TailLength());
    QTextCursor c = mText->textCursor();
    c.setPosition(text.ClampCaret(goodCaret_));
    mText->setTextCursor(c);
    mText->setCurrentCharFormat(QTextCharFormat());
}

void TMainWin::mTextProtectChange(int, int, bool& AllowChange) { AllowChange = AllowProtectChange; }

void TMainWin::mTextSelectionChange()
{
    if (HeadersUpdating || restoring_) return;
    const TMessageText& text = ShownText();
    QTextCursor c = mText->textCursor();
    if (text.HasShown()) {
        const int anchor = text.ClampCaret(c.anchor());
        const int position = text.ClampCaret(c.position());
        if (anchor != c.anchor() || position != c.position()) {
            c.setPosition(anchor);
            c.setPosition(position, QTextCursor::KeepAnchor);
            mText->setTextCursor(c);
        }
    }
    // Text typed next to the grey greeting or signature comes in plain.
    if (!c.hasSelection()) mText->setCurrentCharFormat(QTextCharFormat());
}

void TMainWin::SetAttr(int Start, int Length)
{
    if (!TextUpdating || Length <= 0) return;
    QTextCursor c(mText->document());
    c.setPosition(Start);
    c.setPosition(Start + Length, QTextCursor::KeepAnchor);
    QTextCharFormat grey;
    grey.setForeground(QApplication::palette().color(QPalette::Button));
    c.setCharFormat(grey);
}

AnsiString TMainWin::GetUserParam(TBookRow* Item, int Kind) const
{
    if (!Item) return {};
    int row = -1;
    for (int i = 0; i < Book->Count(); ++i) {
        if (Book->Row(i) == Item) row = i;
    }
    if (row < 0) return {};
    const TComposeFlags f = RowFlags(row);
    return UserParamText(Kind, Kind == 1 ? f.OwnHeader : f.OwnSignature, Kind == 1 ? f.AutoHeader : f.AutoSignat,
                         Item->Name, Item->Item, CurrentComposeSettings(), sysclock::now());
}

void TMainWin::InsertHeaders()
{
    if (ShownHeader.empty() && ShownSignature.empty()) return;
    {
        TFlagScope updating(HeadersUpdating);
        TFlagScope allow(AllowProtectChange);
        const TMessageText& text = ShownText();
        const QString head = text.Header();
        const QString sign = text.Signature();
        const TMessageText::TInsertion insertion = text.Insertion();
        QTextCursor c(mText->document());
        c.beginEditBlock();
        if (insertion.Dot) c.insertText(QStringLiteral("."), QTextCharFormat());
        if (!head.isEmpty()) {
            c.movePosition(QTextCursor::Start);
            c.insertText(head, QTextCharFormat());
        }
        if (!sign.isEmpty()) {
            c.movePosition(QTextCursor::End);
            c.insertText(sign, QTextCharFormat());
        }
        c.endEditBlock();
        {
            TFlagScope textUpdating(TextUpdating);
            SetAttr(insertion.HeadStart, insertion.HeadLength);
            SetAttr(insertion.SignStart, insertion.SignLength);
        }
        QTextCursor caret = mText->textCursor();
        caret.setPosition(insertion.Caret);
        mText->setTextCursor(caret);
        mText->setCurrentCharFormat(QTextCharFormat());
    }
    goodText_ = mText->toPlainText();
    goodCaret_ = mText->textCursor().position();
}

void TMainWin::DeleteHeaders()
{
    if (ShownHeader.empty() && ShownSignature.empty()) return;
    {
        TFlagScope updating(HeadersUpdating);
        TFlagScope allow(AllowProtectChange);
        // The shown greeting and signature go only where they still stand.
        const TMessageText::TRemoval removal = ShownText().Removal();
        QTextCursor c(mText->document());
        c.beginEditBlock();
        if (removal.SignLength > 0) {
            c.movePosition(QTextCursor::End);
            c.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, removal.SignLength);
            c.removeSelectedText();
        }
        if (removal.HeadLength > 0) {
            c.movePosition(QTextCursor::Start);
            c.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, removal.HeadLength);
            c.removeSelectedText();
        }
        c.select(QTextCursor::Document);
        c.setCharFormat(QTextCharFormat());
        c.endEditBlock();
        ShownHeader.clear();
        ShownSignature.clear();
        mText->setCurrentCharFormat(QTextCharFormat());
    }
    goodText_ = mText->toPlainText();
    goodCaret_ = mText->textCursor().position();
    SetTextMessage();
}

void TMainWin::ClearText(bool Reinsert)
{
    if (!Ini.Message.FullText) {
        ShownHeader.clear();
        ShownSignature.clear();
        mText->clear();
        return;
    }
    {
        TFlagScope updating(TextUpdating);
        DeleteHeaders();
        mText->clear();
        if (Reinsert && Book->Selected()) {
            ShownHeader = GetUserParam(Book->Selected(), 1);
            ShownSignature = GetUserParam(Book->Selected(), 2);
            InsertHeaders();
        }
    }
    mTextChange();
}

void TMainWin::ViewUserParam(TBookRow* Item)
{
    if (!Ini.Message.FullText) return;
    {
        TFlagScope updating(TextUpdating);
        DeleteHeaders();
        ShownHeader = GetUserParam(Item, 1);
        ShownSignature = GetUserParam(Item, 2);
        InsertHeaders();
    }
    mTextChange();
}

void TMainWin::eHeaderChange()
{
    if (ParamsLoading) return;
    Ini.Main.Header = codepage::fromUnicode(AutoTexts->eHeader->text().left(255));
    if (Book->Selected() && AutoTexts->cbAutoHeader->checkState() == Qt::Checked) ViewUserParam(Book->Selected());
}

void TMainWin::eSignatureChange()
{
    if (ParamsLoading) return;
    Ini.Main.Signature = codepage::fromUnicode(AutoTexts->eSignature->text().left(255));
    if (Book->Selected() && AutoTexts->cbAutoSignat->checkState() == Qt::Checked) ViewUserParam(Book->Selected());
}

void TMainWin::lvAddrSelectItem(TBookRow* Item, bool Selected)
{
    if (!Item) return;
    if (Selected) {
        if (!cbUseThisParam->isChecked()) {
            ParamsLoading = true;
            try {
                if (Item->Item.OwnHeader) {
                    AutoTexts->cbAutoHeader->setCheckState(Qt::PartiallyChecked);
                    widgets::setTextFromStart(AutoTexts->eHeader, fromAnsi(Item->Item.Header));
                } else {
                    SetStdParam(TStdParam::Header);
                }
                if (Item->Item.CopyEMail)
                    cbCopyEMail->setCheckState(Qt::PartiallyChecked);
                else
                    SetStdParam(TStdParam::Copy);
                if (Item->Item.OwnSignature) {
                    AutoTexts->cbAutoSignat->setCheckState(Qt::PartiallyChecked);
                    widgets::setTextFromStart(AutoTexts->eSignature, fromAnsi(Item->Item.Signature));
                } else {
                    SetStdParam(TStdParam::Signature);
                }
            } catch (...) {
                ParamsLoading = false;
                throw;
            }
            ParamsLoading = false;
        }
        ViewUserParam(Item);
    } else {
        SetStdParam(TStdParam::All);
        {
            TFlagScope updating(TextUpdating);
            DeleteHeaders();
        }
        mTextChange();
    }
}

void TMainWin::cbCopyEMailClick()
{
    if (ParamsLoading) return;
    if (cbCopyEMail->checkState() != Qt::PartiallyChecked) Ini.Main.CopyToEmail = cbCopyEMail->isChecked();
}

void TMainWin::cbUseThisParamClick()
{
    if (cbUseThisParam->isChecked())
        SetStdParam(TStdParam::All);
    else if (Book->Selected())
        lvAddrSelectItem(Book->Selected(), true);
}

// ---- timers ------------------------------------------------------------------

void TMainWin::tSendLaterTimer()
{
    if (closing_ || !road_.QueueTick()) return;  // a tick during a send runs once the send is over
    CheckSendLater();
}

void TMainWin::tCheckMailTimer()
{
    if (closing_ || !road_.MailTick()) return;
    CheckMail();
}

// ---- the log of sent messages ------------------------------------------------

void TMainWin::SetCountLog() { gbLogs->setVisible(Ini.Message.CountLogMsg > 0); }

void TMainWin::LoadLogs()
{
    log_.Load();
    ShowLog(false);
}

void TMainWin::SaveLog() { log_.Save(Ini.Message.CountLogMsg); }

void TMainWin::ShowLog(bool Added)
{
    const int count = static_cast<int>(log_.Count());
    if (Added && count > 0) {
        const TLogRow& r = log_.Row(0);
        auto* item = new QTreeWidgetItem;
        setItemText(item, 0, r.To);
        setItemText(item, 1, r.Date);
        setItemText(item, 2, r.Text);
        lvLogs->insertTopLevelItem(0, item);
    }
    while (lvLogs->topLevelItemCount() > count) delete lvLogs->takeTopLevelItem(lvLogs->topLevelItemCount() - 1);
    for (int i = lvLogs->topLevelItemCount(); i < count; ++i) {
        const TLogRow& r = log_.Row(static_cast<size_t>(i));
        addItem(lvLogs, r.To, r.Date, r.Text);
    }
}

const AnsiString& TMainWin::SentText(int Index) const
{
    if (Index >= 0 && static_cast<size_t>(Index) < queueSend_.size()) return queueSend_[static_cast<size_t>(Index)].Text;
    return road_.Job().BodyText;
}

void TMainWin::AddLog(int Index)
{
    const auto& recipients = road_.Job().Recipients;
    if (Index < 0 || static_cast<size_t>(Index) >= recipients.size()) return;
    log_.Add({recipients[static_cast<size_t>(Index)].Name, LogDate(sysclock::now()), SentText(Index)},
             Ini.Message.CountLogMsg);
    ShowLog(true);
}

void TMainWin::lvLogsDblClick()
{
    QTreeWidgetItem* item = lvLogs->currentItem();
    if (!item || !item->isSelected()) return;
    const int at = lvLogs->indexOfTopLevelItem(item);
    if (at < 0 || static_cast<size_t>(at) >= log_.Count()) return;
    const TLogRow row = log_.Row(static_cast<size_t>(at));
    DeleteHeaders();
    mText->setPlainText(fromAnsi(row.Text));
    for (int i = 0; i < Book->Count(); ++i)
        Book->Row(i)->setCheckState(0, Book->Row(i)->Name == row.To ? Qt::Checked : Qt::Unchecked);
}

void TMainWin::mClearLogsClick()
{
    log_.Clear();
    ShowLog(false);
}

// ---- the send-later queue ----------------------------------------------------

void TMainWin::LoadSendLater()
{
    queue_.Load();
    ShowQueue();
}

void TMainWin::ShowQueue()
{
    // The queue only ever loses entries or gains them at its end, so each
    // entry's row is the next one with its mark, and the rows passed on the
    // way are those of entries gone.
    int r = 0;
    for (size_t e = 0; e < queue_.Count(); ++e, ++r) {
        const TSendQueue::TMark mark = queue_.Mark(e);
        while (r < lvSendLater->topLevelItemCount() && rowMark(lvSendLater->topLevelItem(r)) != mark)
            delete lvSendLater->takeTopLevelItem(r);
        const TQueueEntry& entry = queue_.Entry(e);
        if (r < lvSendLater->topLevelItemCount()) {
            QTreeWidgetItem* item = lvSendLater->topLevelItem(r);
            if (itemText(item, 0) != entry.Date) setItemText(item, 0, entry.Date);
        } else {
            QTreeWidgetItem* item = addItem(lvSendLater, entry.Date, entry.To, entry.Text);
            item->setData(0, kQueueMarkRole, QVariant::fromValue<qulonglong>(mark));
        }
    }
    while (lvSendLater->topLevelItemCount() > r) delete lvSendLater->takeTopLevelItem(r);
}

std::optional<size_t> TMainWin::SelectedQueueEntry() const
{
    const QTreeWidgetItem* item = lvSendLater->currentItem();
    if (!item) return std::nullopt;
    return queue_.Find(rowMark(item));
}

TShownNames TMainWin::ShownNames() const
{
    std::vector<AnsiString> names;
    names.reserve(static_cast<size_t>(std::max(Book->Count(), 0)));
    for (int i = 0; i < Book->Count(); ++i) names.push_back(Book->Row(i)->Name);
    return TShownNames(names);
}

void TMainWin::SaveSendLater() { queue_.Save(); }

void TMainWin::changeQueue(const std::function<void()>& Change)
{
    // The rows follow the queue whether its save went through or not: a
    // change is kept when its save fails, and the save is tried again.
    try {
        Change();
    } catch (...) {
        ShowQueue();
        throw;
    }
    ShowQueue();
}

bool TMainWin::AddToSendLater(int Row)
{
    TBookRow* row = Book->Row(Row);
    if (!row) return false;
    changeQueue([&] { queue_.Add({QueueCaption(dtDate->date(), dtTime->time()), row->Name, BodyText}); });
    return true;
}

bool TMainWin::IsSendLater()
{
    // Due only with somebody in the shown group to send it to.
    const bool due = queue_.AnyDue(ShownNames(), sysclock::now());
    ShowQueue();
    return due;
}

void TMainWin::SendLaterMode(TSendMode Mode)
{
    if (closing_ || !road_.Free() || queue_.Empty()) return;
    if (Mode == TSendMode::QueueDue && !IsSendLater()) return;
    if (Mode == TSendMode::QueueSelected && !SelectedQueueEntry()) return;
    // Each entry sent is struck off wait.dat at once. A queue that cannot be
    // saved would send its entries again at every start, so nothing goes
    // while it cannot: the timer's tick says so in the status line, a send
    // asked for by the user with a message.
    try {
        SaveSendLater();
    } catch (...) {
        if (Mode != TSendMode::QueueDue) throw;
        SetStatus(app::exceptionMessage());
        return;
    }
    tSendLater->SetEnabled(false);
    ConnectToSMTP(true, Mode);
}

void TMainWin::CheckSendLater() { SendLaterMode(TSendMode::QueueDue); }

void TMainWin::SendLaterItem(int Index, bool DueOnly)
{
    if (Index < 0 || static_cast<size_t>(Index) >= queueSend_.size()) return;
    const TQueueSend q = queueSend_[static_cast<size_t>(Index)];
    if (!queue_.Find(q.Entry)) return;  // deleted by the user meanwhile
    if (DueOnly) {
        const TDue due = QueueDue(q.Caption, sysclock::now());
        if (due == TDue::Unreadable) {
            queue_.SetDone(q.Entry);
            ShowQueue();
        }
        if (due != TDue::Due) return;
    }
    const TSendJob& job = road_.Job();
    const TSendRecipient r = job.Recipients.at(static_cast<size_t>(Index));
    const std::vector<TMailPart> parts =
        BuildMessage(q.Text, r.Name, r.Item, r.Flags, job.Settings, PagerList, lrTranslit, sysclock::now());
    for (const TMailPart& part : parts) {
        FillPostMessage(*SMTP, part, sysclock::now());
        SMTP->Tag = Index;
        SMTP->SendMail();
    }
    // Done at once, on disk too: a failure later in this send never sends it
    // again after a restart.
    changeQueue([&] { queue_.StrikeOff(q.Entry); });
}

void TMainWin::DropSentQueueRows()
{
    changeQueue([&] { queue_.DropDone(); });
}

void TMainWin::mPSendLaterDelClick()
{
    if (!road_.Free()) return;
    const auto at = SelectedQueueEntry();
    if (!at) return;
    changeQueue([&] { queue_.Delete(*at); });
}

void TMainWin::mPSendLaterDelAllClick()
{
    if (!road_.Free()) return;
    changeQueue([&] { queue_.DeleteAll(); });
}

void TMainWin::cbSendLaterClick()
{
    const bool on = cbSendLater->isChecked();
    for (QWidget* c : std::initializer_list<QWidget*>{lDate, lTime, dtDate, dtTime}) c->setEnabled(on);
    for (QWidget* c : std::initializer_list<QWidget*>{dtDate, dtTime}) {
        QPalette pal = c->palette();
        pal.setColor(QPalette::Base, QApplication::palette().color(on ? QPalette::Base : QPalette::Button));
        c->setPalette(pal);
    }
    if (on) {
        const QDateTime now = sysclock::now();
        dtDate->setMinimumDate(now.date());
        dtDate->setDate(now.date());
        dtTime->setTime(now.time());
    } else {
        dtTime->setTime(QTime(0, 0));
    }
}

// ---- the mailbox check ---------------------------------------------------------

void TMainWin::CheckMail()
{
    // One check at a time: a tick that a dialog's loop lets through while a
    // check waits for its server is dropped.
    if (closing_ || checking_) return;
    if (noticeWaiting_ && road_.Idle()) {
        noticeWaiting_ = false;
        ConnectToSMTP(false, TSendMode::Notice);
        if (closing_) return;
    }
    TFlagScope running(checking_);
    // A close that came during the check goes on once it has unwound.
    struct TCloseAfter {
        TMainWin* w;
        ~TCloseAfter()
        {
            if (w->closeWanted_) w->resumeDeferred();
        }
    } closeAfter{this};
    tCheckMail->SetEnabled(false);
    TCheckResult result;
    try {
        result = RunMailCheck(*POP3, *MailList, CurrentCheckSettings(), NewMsgCount, AllMsgCount);
    } catch (const std::exception& e) {
        result = {TCheckEnd::Failed, e.what()};
    }
    if (!result.Status.empty()) SetStatus(result.Status);
    if (!ChecksGoOn(result.End)) return;  // until the options are saved again
    if (NoticeDue(result.End, NewMsgCount, Ini.CheckEmail.To)) {
        if (road_.Idle()) {
            try {
                ConnectToSMTP(false, TSendMode::Notice);
            } catch (const std::exception& e) {
                SetStatus(e.what());  // the checks go on all the same
            }
        } else {
            // A send the user started meanwhile waits for the dialer: the
            // notice goes once the road is free.
            noticeWaiting_ = true;
            road_.MailTick();
        }
    }
    tCheckMail->SetEnabled(Ini.CheckEmail.Active);
}

void TMainWin::SendNotifMsg()
{
    if (!SMTP) return;
    const QDateTime now = sysclock::now();
    FillPostMessage(*SMTP,
                    BuildNotice(CurrentCheckSettings(), Ini.Connect.FromAddress, Ini.Connect.FromName, NewMsgCount,
                                AllMsgCount, *MailList, lrTranslit, now),
                    now);
    SMTP->Tag = kNoticeTag;
    SMTP->SendMail();
}

void TMainWin::POP3Connecting() { SetStatus(cp("Связь с сервером ") + POP3->Host); }

void TMainWin::POP3Connect() { SetStatus(cp("Проверка почты...")); }

void TMainWin::POP3Disconnect()
{
    SetStatus(CheckedStatus(NewMsgCount, POP3->LastSupported));
}

void TMainWin::POP3Error(int, const AnsiString& Msg) { SetStatus(Msg); }
