#pragma once
// The pager's main window: the address book, the message box, the
// parameters, the send-later queue and the log; the tray icon, the timers,
// the advertising page and the sending road with its link to the dialer.
//
// The sending road's decisions live in TSendRoad (pager/sendroad.h); the
// window's handlers carry them out on the controls and the SMTP client.

#include "common/dialmsg.h"
#include "pager/main/addrbook.h"
#include "pager/messagetext.h"
#include "pager/opdb.h"
#include "pager/rungler.h"
#include "pager/sendlater.h"
#include "pager/sendroad.h"
#include "pager/sentlog.h"
#include "platform/timer.h"
#include "platform/ui/keyboard.h"
#include "platform/winmsg.h"
#include "tray/trayform.h"

#include <QPointer>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QDialog;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QStatusBar;
class QTextEdit;
class QTimeEdit;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TFxSMTP;
class TFxSock;
class TOrvTrayIcon;
class TQorMsgList;
class TQorPOP;
namespace webview {
class WebView;
}

// The advertising page; the host is a reserved example name, so the page
// never loads and a load ends at once.
inline constexpr const char* AdvertUrl = "http://advert.kestrane.example/advert/pager.shtml";

// Ms of the SMTP client's waits.
inline constexpr int SmtpTimeOut = 180000;
// Ms the advertising page may take before the line is given back.
inline constexpr int AdvertTimeOut = 240000;

// Which of the global parameters SetStdParam puts back.
enum class TStdParam { All, Header, Copy, Signature };

// What the options dialog reports after it closed.
struct TOptiResult {
    bool Ok = false;
    bool ViewChanged = false;
    bool OperatorsChanged = false;
};

class TMainWin : public TTrayForm {
    Q_OBJECT
public:
    explicit TMainWin(QWidget* parent = nullptr);
    ~TMainWin() override;

    // ---- controls
    QWidget* client = nullptr;
    QFrame* pAdvert = nullptr;
    webview::WebView* webAdvert = nullptr;
    QGroupBox* gbAddr = nullptr;
    TAddrBook* Book = nullptr;  // cbAddrBook, tbAddrBook, lvAddr and its buttons
    QGroupBox* gbText = nullptr;
    QTextEdit* mText = nullptr;
    QLabel* stCountSymbols = nullptr;
    QPushButton* bSend = nullptr;
    QPushButton* bClear = nullptr;
    QGroupBox* gbParam = nullptr;
    TAutoTexts* AutoTexts = nullptr;  // cbAutoHeader, eHeader, cbAutoSignat, eSignature
    TProgramGrayCheckBox* cbCopyEMail = nullptr;
    QCheckBox* cbUseThisParam = nullptr;
    QGroupBox* gbSendLater = nullptr;
    QCheckBox* cbSendLater = nullptr;
    QLabel* lDate = nullptr;
    QLabel* lTime = nullptr;
    QDateEdit* dtDate = nullptr;
    QTimeEdit* dtTime = nullptr;
    QTreeWidget* lvSendLater = nullptr;
    QMenu* pmSendLater = nullptr;
    QAction* mPSendLaterSend = nullptr;
    QAction* mPSendLaterSendAll = nullptr;
    QAction* mPSendLaterDel = nullptr;
    QAction* mPSendLaterDelAll = nullptr;
    QGroupBox* gbLogs = nullptr;
    QTreeWidget* lvLogs = nullptr;
    QMenu* pmLogs = nullptr;
    QAction* mRepeatLog = nullptr;
    QAction* mClearLogs = nullptr;
    QFrame* pTools = nullptr;
    QToolButton* sbUpdate = nullptr;
    QToolButton* sbOptions = nullptr;
    QStatusBar* stStatus = nullptr;
    QLabel* stPanels[4] = {};
    TOrvTrayIcon* icTray = nullptr;
    QMenu* pmMain = nullptr;
    QAction* mShowHide = nullptr;
    QAction* mUpdate = nullptr;
    QAction* mOptions = nullptr;
    QAction* mExit = nullptr;
    TTimer* tSendLater = nullptr;
    TTimer* tCheckMail = nullptr;
    TTimer* tLoadAdvert = nullptr;
    TQorPOP* POP3 = nullptr;          // the mailbox check's client
    TQorMsgList* MailList = nullptr;  // the messages the last check fetched

    // ---- replaceable dialogs (the real ones by default)
    // The input box: the answer, nothing on Cancel.
    std::function<std::optional<QString>(const QString& Caption, const QString& Prompt, const QString& Text)>
        InputQuery;
    // A message box with the program's title.
    std::function<void(const QString& Text)> ShowMessage;
    // The options dialog, shown modally.
    std::function<TOptiResult()> ShowOptionsDialog;
    // The update dialog, shown modally: whether the program is to restart.
    std::function<bool()> ShowUpdateDialog;
    // Called once the window has closed for good (the program then ends).
    std::function<void()> OnClosed;
    // Reports the errors of the close's save steps, after every step ran.
    std::function<void(const QString& Text)> ShowCloseErrors;
    // Observes every status text as it is shown.
    std::function<void(const AnsiString& Text)> OnStatusChange;

    // ---- state shared with the message box, the log and the queue
    AnsiString BodyText;
    AnsiString ShownHeader;
    AnsiString ShownSignature;
    bool TextUpdating = false;
    bool HeadersUpdating = false;
    bool AllowProtectChange = false;
    bool ParamsLoading = false;
    TFxSMTP* SMTP = nullptr;  // the client of the running send, nullptr otherwise
    int32_t NewMsgCount = 0;
    int32_t AllMsgCount = 0;
    keyboard::HKL RussianLayout = 0;
    // The frame of the advertising page's load that is waited for, 0 when none.
    uint64_t AdvertFrame = 0;

    TOpList OpList;
    TPagerList PagerList;
    TRungler lrTranslit;

    const TSendRoad& Road() const noexcept { return road_; }
    // What lvSendLater and lvLogs show.
    const TSendQueue& Queue() const noexcept { return queue_; }
    const TSentLog& Log() const noexcept { return log_; }
    bool DialerAsked() const noexcept { return road_.DialerAsked(); }

    // ---- life cycle (Part of the form)
    // The program is asked to end (a logout, a kill): the window closes as
    // the user would close it, and nobody is waited for; errors of the close
    // go to stderr.
    void Terminate();
    void LoadAdvert();
    void DisposeOp();
    void SetViewAddr();
    void SetStdParam(TStdParam Kind);
    void ShowContactPanel(int Index, const AnsiString& Text);
    void bOptionsClick();
    void mUpdateClick();
    void icTrayClick();
    void mShowHideClick();
    void mExitClick();
    void mTextEnter();
    void mSelectNoneClick();
    void tLoadAdvertTimer(QObject* Sender);
    void webAdvertNavigateComplete2(uint64_t Frame);
    void webAdvertDocumentComplete(uint64_t Frame);
    void FormResize();

    // ---- sending road
    void bSendClick(QObject* Sender);
    void ConnectToSMTP(bool Manual, TSendMode Mode);
    void SetSendED(bool Enabled);
    void bClearClick(QObject* Sender);
    void OrvDisconnect();
    void aeMainMessage(const winmsg::Message& Msg, bool& Handled);
    void SetStatus(const AnsiString& Text);
    AnsiString Status() const;
    int SelectUserIndex() const;
    void SelAddr(bool Checked);
    void mSelectAllClick() { SelAddr(true); }
    void mTextChange();
    int32_t MaxSymbols() const;

    // ---- the log of sent messages
    void SetCountLog();
    void SaveLog();
    void lvLogsDblClick();
    void mClearLogsClick();

    // ---- the send-later queue
    void cbSendLaterClick();
    void SaveSendLater();
    bool IsSendLater();
    void SendLaterMode(TSendMode Mode);
    void mPSendLaterSendClick() { SendLaterMode(TSendMode::QueueSelected); }
    void mPSendLaterSendAllClick() { SendLaterMode(TSendMode::QueueAll); }
    void mPSendLaterDelClick();
    void mPSendLaterDelAllClick();

    // ---- timers
    void tSendLaterTimer();
    void tCheckMailTimer();

    // ---- the mailbox check's client
    void POP3Connecting();
    void POP3Connect();
    void POP3Disconnect();
    void POP3Error(int Error, const AnsiString& Msg);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void bindEvents();
    void bindDialogs();
    void FormCreate();
    void FormShow() override;
    void FormHide() override;
    // Runs every save step of the close; the errors, one text each.
    std::vector<AnsiString> FormCloseQuery();
    void reportCloseErrors(const std::vector<AnsiString>& Errors);
    void cbCopyEMailClick();
    void cbUseThisParamClick();
    void lvAddrSelectItem(TBookRow* Item, bool Selected);
    void ViewUserParam(TBookRow* Item);
    void ClearText(bool Reinsert);
    void SetTextMessage();
    TComposeFlags RowFlags(int Row) const;
    TSendJob MakeJob(TSendMode Mode, bool Manual);
    void DeleteHeaders();
    void InsertHeaders();
    void SetAttr(int Start, int Length);
    void mTextSelectionChange();
    void mTextProtectChange(int StartPos, int EndPos, bool& AllowChange);
    void eHeaderChange();
    void eSignatureChange();
    // The greeting (Kind 1) or signature (Kind 2) the box shows for Item.
    AnsiString GetUserParam(TBookRow* Item, int Kind) const;
    // The box's text with the shown greeting and signature, as the box's
    // rules see it now.
    const TMessageText& ShownText() const;
    // The shown greeting and signature still stand at the box's ends.
    bool ShownStand() const;
    // Puts back the box's last text in which they stood.
    void RestoreBox();
    void bindSmtp(TFxSMTP* Client);
    void finishSend();
    void resumeDeferred();

    // The SMTP client's events.
    void SMTPConnect();
    void SMTPConnectionFailed();
    void SMTPDisconnect();
    void SMTPFailure();
    void SMTPHeaderIncomplete(bool& Handled, int Type);
    void SMTPRecipientNotFound(const AnsiString& Recipient);
    void SMTPSendStart();
    void SMTPSuccess();
    // Builds and sends the message of the send's recipient Index.
    void SendMsg(int Index);

    // The log, the queue and the mailbox check (filled by their own units).
    void AddLog(int Index);
    bool AddToSendLater(int Row);
    void SendLaterItem(int Row, bool DueOnly);
    void SendNotifMsg();
    void DropSentQueueRows();
    void CheckSendLater();
    void CheckMail();
    void LoadLogs();
    void LoadSendLater();
    // Brings the rows of lvSendLater and lvLogs in line with the queue and
    // the log (Added: the log's first row is new).
    void ShowQueue();
    void ShowLog(bool Added);
    // Runs a change of the queue, then ShowQueue.
    void changeQueue(const std::function<void()>& Change);
    // The queue entry of lvSendLater's current row, if any.
    std::optional<size_t> SelectedQueueEntry() const;
    // The names of the shown group's contacts, in row order.
    TShownNames ShownNames() const;
    // The text sent to the send's recipient Index.
    const AnsiString& SentText(int Index) const;

    // A queue send: for each recipient of the job, the queue entry it comes
    // from (its mark, found again however the queue has changed meanwhile:
    // the send may have been parked for the dialer), that entry's caption
    // and text as they stood when the send started.
    struct TQueueSend {
        TSendQueue::TMark Entry = 0;
        AnsiString Caption;
        AnsiString Text;
    };
    std::vector<TQueueSend> queueSend_;
    TSendQueue queue_;
    TSentLog log_;

    TSendRoad road_;
    bool created_ = false;     // FormCreate has run
    bool addrShown_ = false;   // the address book rows have been loaded once
    bool closing_ = false;     // the close has begun: nothing new starts
    bool closeWanted_ = false;  // a close waits for the running send or mailbox check to unwind
    bool closed_ = false;      // FormCloseQuery has run
    bool terminating_ = false;  // the program is asked to end: nobody to ask
    QPointer<QDialog> closeReport_;  // the close's error report while it is open
    QPointer<QDialog> question_;  // the input box while it is open
    int showHideImage_ = 0;
    QString goodText_;       // the box's last text with the shown greeting and signature in place
    int goodCaret_ = 0;
    bool restoring_ = false;  // RestoreBox is putting it back
    mutable TMessageText shownText_;  // filled from the box by ShownText
    bool checking_ = false;       // a mailbox check is on the stack
    bool noticeWaiting_ = false;  // a check found new mail while a send ran
};
