#include "pager/dialogs/update.h"

#include "pager/position.h"
#include "pager/program.h"
#include "pager/updatelist.h"
#include "platform/app.h"
#include "platform/codepage.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

template <class W>
W* named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// Form geometry (client co-ordinates, pixels).
constexpr int kClientWidth = 409;
constexpr int kClientHeight = 152;
constexpr int kFieldLeft = 80;
constexpr int kFieldWidth = kClientWidth - kFieldLeft - 8;

QLabel* label(QWidget* parent, const char* name, const char* text, int x, int y, int w)
{
    auto* l = named(new QLabel(u(text), parent), name);
    l->setGeometry(x, y, w, 17);
    return l;
}

QLabel* staticText(QWidget* parent, const char* name, int y)
{
    auto* l = named(new QLabel(parent), name);
    l->setGeometry(kFieldLeft, y, kFieldWidth, 17);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const char* text, int x, int w)
{
    auto* b = named(new QPushButton(u(text), parent), name);
    b->setGeometry(x, 116, w, 25);
    b->setAutoDefault(false);
    return b;
}

// A name as it may be shown: control characters as "?".
QString shownName(const AnsiString& name)
{
    AnsiString s = name;
    for (char& c : s)
        if (byteOf(c) < 32 || byteOf(c) == 127) c = '?';
    return codepage::toUnicode(s);
}

QPointer<TUpdateWin>& openDialog()
{
    static QPointer<TUpdateWin> dialog;
    return dialog;
}

}  // namespace

TUpdateWin::TUpdateWin(QWidget* Owner) : QDialog(Owner)
{
    setObjectName("UpdateWin");
    setWindowTitle(u("Обновление базы данных"));
    // The owner's small dialog font.
    setAttribute(Qt::WA_WindowPropagation);
    setFixedSize(kClientWidth, kClientHeight);

    ShowMessage = [this](const QString& text) { QMessageBox::information(this, QString::fromUtf8(Title), text); };

    lHost = label(this, "lHost", "Адрес:", 8, 12, kFieldLeft - 12);
    cbHost = named(new QComboBox(this), "cbHost");
    cbHost->setEditable(true);
    cbHost->setInsertPolicy(QComboBox::NoInsert);
    cbHost->setGeometry(kFieldLeft, 8, kFieldWidth, 24);
    lHost->setBuddy(cbHost);
    lFile = label(this, "lFile", "Файл:", 8, 42, kFieldLeft - 12);
    stFile = staticText(this, "stFile", 42);
    lStatus = label(this, "lStatus", "Состояние:", 8, 66, kFieldLeft - 12);
    stStatus = staticText(this, "stStatus", 66);
    pbFile = named(new QProgressBar(this), "pbFile");
    pbFile->setGeometry(8, 92, kClientWidth - 16, 16);
    pbFile->setRange(0, 100);
    pbFile->setValue(0);
    pbFile->setTextVisible(false);
    bBegin = button(this, "bBegin", "Начать обновление", 8, 150);
    bBegin->setDefault(true);
    bCancel = button(this, "bCancel", "Стоп", kClientWidth - 8 - 100 - 6 - 100, 100);
    bExit = button(this, "bExit", "Выход", kClientWidth - 8 - 100, 100);

    Get = new THttpFetch(this);
    Get->AcceptTypes = "*/*";
    Get->Agent = "Orvanta Pager Update";
    Get->BinaryData = true;
    Get->UseCache = false;
    Get->WaitThread = true;
    Get->OnProgress = [this](THttpFetchThread* s, int32_t total, int32_t readed) { GetProgress(s, total, readed); };
    Get->OnDoneFile = [this](THttpFetch* s, const std::string& f, int32_t size) { GetDoneFile(s, f, size); };
    Get->OnError = [this](THttpFetch* s) { GetError(s); };

    connect(bBegin, &QPushButton::clicked, this, [this] { app::guard([this] { bBeginClick(); }); });
    connect(bCancel, &QPushButton::clicked, this, [this] { app::guard([this] { bCancelClick(); }); });
    connect(bExit, &QPushButton::clicked, this, [this] { app::guard([this] { bExitClick(); }); });

    // Closing the owner in the middle of a run waits for the run.
    if (Owner) {
        ownerWindow_ = Owner->window();
        ownerWindow_->installEventFilter(this);
    }
    app::guard([this] { FormCreate(); });
}

TUpdateWin::~TUpdateWin()
{
    if (Get) {
        Get->OnProgress = nullptr;
        Get->OnDoneFile = nullptr;
        Get->OnError = nullptr;
    }
}

bool TUpdateWin::Execute(QWidget* Owner)
{
    if (TUpdateWin* open = openDialog()) {
        open->raise();
        open->activateWindow();
        return false;
    }
    auto* dialog = new TUpdateWin(Owner);
    openDialog() = dialog;
    dialog->exec();
    const bool restart = dialog->NeedRestart;
    const bool ownerClose = dialog->ownerCloseWanted_;
    delete dialog;
    if (ownerClose && Owner) {
        // The close of the owner that waited for the run, once this call is done.
        QPointer<QWidget> owner(Owner->window());
        QMetaObject::invokeMethod(owner, [owner] { if (owner) owner->close(); }, Qt::QueuedConnection);
    }
    return restart;
}

void TUpdateWin::FormCreate()
{
    TPosRec pos;
    LoadPosition("Update", pos);
    if (pos.Left != -1 || pos.Top != -1)
        move(pos.Left != -1 ? pos.Left : x(), pos.Top != -1 ? pos.Top : y());
    SetState(true);
    const std::string hostsFile = ProgramPath + HostsFile;
    if (::access(hostsFile.c_str(), F_OK) == 0) {
        for (const AnsiString& url : ReadUpdateHosts(hostsFile)) cbHost->addItem(codepage::toUnicode(url));
        if (cbHost->count() > 0) cbHost->setCurrentIndex(0);
    } else {
        cbHost->setEditText(QString::fromLatin1(DefaultUpdateFolder));
    }
    NeedRestart = false;
    Failed = false;
}

void TUpdateWin::FormClose()
{
    app::guard([this] { SavePosition("Update", {pos().x(), pos().y(), -1, -1, false}, false, false); });
    // When the program ends anyway, no box holds up its end.
    if (NeedRestart && !ownerClosing_ && ShowMessage)
        ShowMessage(u("Теперь необходимо перезапустить программу!"));
}

void TUpdateWin::done(int Result)
{
    if (running_) {
        // Stops the download; the run unwinds and closes the dialog then.
        closeWanted_ = true;
        Get->Abort();
        return;
    }
    if (isVisible()) FormClose();
    QDialog::done(Result);
}

bool TUpdateWin::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == ownerWindow_ && Event->type() == QEvent::Close) {
        if (running_) {
            // The owner closes after the run has unwound and this dialog has gone.
            ownerCloseWanted_ = true;
            ownerClosing_ = true;
            closeWanted_ = true;
            Get->Abort();
            Event->ignore();
            return true;
        }
        ownerClosing_ = true;
        if (isVisible()) done(QDialog::Rejected);
    }
    return QDialog::eventFilter(Watched, Event);
}

void TUpdateWin::SetState(bool Idle)
{
    bBegin->setEnabled(Idle);
    lHost->setEnabled(Idle);
    cbHost->setEnabled(Idle);
    bCancel->setEnabled(!Idle);
    if (Idle) {
        stStatus->clear();
        stFile->clear();
    }
}

void TUpdateWin::DownloadFile(const AnsiString& Name, const std::string& LocalFile)
{
    stFile->setText(shownName(Name));
    stStatus->setText(u("Получение файла..."));
    Get->URL = UpdateFileUrl(codepage::fromUnicode(cbHost->currentText()), Name);
    Get->FileName = LocalFile;
    SetState(false);
    Get->GetFile();
}

void TUpdateWin::GetProgress(THttpFetchThread*, int32_t TotalSize, int32_t Readed)
{
    // Called after every block: the bar takes a new value only where it is
    // drawn differently (another pixel of its width), and always the last.
    const bool rangeChanged = pbFile->maximum() != TotalSize;
    pbFile->setMaximum(TotalSize);
    const int width = std::max(pbFile->width(), 1);
    const auto pixel = [&](int32_t value) {
        return TotalSize > 0 ? static_cast<int64_t>(value) * width / TotalSize : int64_t(value);
    };
    if (rangeChanged || Readed >= TotalSize || pixel(Readed) != pixel(pbFile->value()))
        pbFile->setValue(Readed);
}

void TUpdateWin::GetDoneFile(THttpFetch*, const std::string& FileName, int32_t)
{
    stStatus->setText(u("файл \"") + QString::fromStdString(FileName) + u("\" получен!"));
    pbFile->setValue(0);
    NeedRestart = true;
}

void TUpdateWin::GetError(THttpFetch*)
{
    SetState(true);
    pbFile->setValue(0);
    stStatus->setText(u("Ошибка!"));
    Failed = true;
    ++errors_;
}

void TUpdateWin::bCancelClick() { Get->Abort(); }

void TUpdateWin::bExitClick() { close(); }

void TUpdateWin::bBeginClick()
{
    if (running_) return;
    running_ = true;
    errors_ = 0;
    refused_.clear();
    struct Unwind {
        TUpdateWin* w;
        ~Unwind()
        {
            w->running_ = false;
            if (w->closeWanted_) {
                w->closeWanted_ = false;
                app::guard([this] { w->done(QDialog::Rejected); });
            }
        }
    } unwind{this};
    Run();
}

void TUpdateWin::Run()
{
    // The list itself: a failure ends the run with "Ошибка!" and touches nothing.
    const bool restartBefore = NeedRestart;
    Failed = false;
    const std::string listFile = ProgramPath + UpdateListFile;
    DownloadFile(UpdateListFile, listFile);
    if (Failed || closeWanted_) return;
    // Receiving the list does not count; a file received by an earlier run does.
    NeedRestart = restartBefore;

    for (const TUpdateEntry& entry : ReadUpdateList(listFile)) {
        if (closeWanted_) break;
        if (entry.Action == TUpdateAction::None) continue;
        if (!IsSafeUpdateName(entry.Name)) {
            refused_.push_back(entry.Name);
            continue;
        }
        const std::string local = LocalUpdateFile(ProgramPath, entry.Name);
        if (entry.Action == TUpdateAction::Delete) {
            // A failed deletion is ignored; a folder is never removed.
            struct stat st {};
            if (::lstat(local.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(local.c_str());
            continue;
        }
        // A failed or stopped download does not end the run.
        if (NeedsDownload(entry, LocalFileSize(local))) DownloadFile(entry.Name, local);
    }

    ::unlink(listFile.c_str());
    SetState(true);
    if (closeWanted_) return;
    // A file that could not be fetched or a refused name stays reported.
    if (errors_ > 0 || !refused_.empty()) stStatus->setText(u("Ошибка!"));
    if (!refused_.empty() && ShowMessage) {
        QStringList names;
        for (const AnsiString& n : refused_) names << shownName(n);
        ShowMessage(u("В списке обновления недопустимые имена файлов, они пропущены:\n") + names.join(u("\n")));
    }
}
