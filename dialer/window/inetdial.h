#pragma once
// TIDial: the dialer's one window. It lists the remote access service's
// phonebook entries and keeps for each its own numbers (checked ones take part
// in dialling), a login and a saved password; it dials, redials, hangs up,
// keeps a time-stamped log (newest line on top), shows the traffic and the
// time on line, counts the time for the day and the month, lives in the tray
// and answers the pager's requests to connect and to hang up.
//
// The decisions that need no window (status texts, the error rules, the
// attempt count, the redial's number, the number filters, the counters) are
// in dialer/dialing.h; the connection's road (its states, the redial, the
// pager that asked for the line and what it is told) in dialer/dialroad.h;
// the stored settings in dialer/service.h and dialer/phones.h. The window
// forwards its events to the road and does what the road asks.
//
// The service reports the states of an attempt on its own thread; the
// connection component hands them to this window on the main thread, in
// order, so every handler here runs on the main thread.

#include "dialer/dialing.h"
#include "dialer/dialroad.h"
#include "platform/ansistring.h"
#include "platform/ras/rasapi.h"
#include "platform/timer.h"
#include "platform/winmsg.h"
#include "tray/trayform.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QStatusBar;
class QToolButton;
class TOrvPerf;
class TOrvTrayIcon;
class TOrvWavePlayer;
class TVelRasCon;
class TVelRasPer;
struct TEntryState;

// The window's caption, the program's title.
inline constexpr const char* DialerTitle = "Orvanta Dialer 1.3";

class TIDial : public TTrayForm {
    Q_OBJECT
public:
    explicit TIDial(QWidget* Parent = nullptr);
    // Runs FormDestroy when the window has not closed before.
    ~TIDial() override;

    // ---- controls
    QWidget* client = nullptr;
    QStatusBar* slStatus = nullptr;
    QLabel* slPanels[4] = {};  // speed, client address, number dialled, time on line
    QGroupBox* gbEntries = nullptr;
    QComboBox* cbEntries = nullptr;
    QLabel* lLogin = nullptr;
    QLineEdit* eLogin = nullptr;
    QLabel* lPassw = nullptr;
    QLineEdit* ePassword = nullptr;
    QCheckBox* cbSavePassword = nullptr;
    QFrame* tbDial = nullptr;
    QToolButton* sbDial = nullptr;
    QToolButton* sbHangUp = nullptr;
    QGroupBox* gbPhones = nullptr;
    QListWidget* lbNumbers = nullptr;
    QFrame* tbEdit = nullptr;
    QToolButton* sbAdd = nullptr;
    QToolButton* sbDel = nullptr;
    QToolButton* sbEdit = nullptr;
    QToolButton* sbUp = nullptr;
    QToolButton* sbDn = nullptr;
    QGroupBox* gbStat = nullptr;
    QLabel* lMonth = nullptr;
    QLabel* stMonth = nullptr;
    QLabel* lDay = nullptr;
    QLabel* stDay = nullptr;
    QFrame* bLine = nullptr;
    QLabel* lCaptionEntry = nullptr;
    QLabel* lMonthEntry = nullptr;
    QLabel* stMonthEntry = nullptr;
    QLabel* lDayEntry = nullptr;
    QLabel* stDayEntry = nullptr;
    QGroupBox* gbStatus = nullptr;
    QPlainTextEdit* ConnLog = nullptr;
    QGroupBox* gbTrafic = nullptr;
    QLabel* lRecv = nullptr;
    QLabel* stRecv = nullptr;
    QLabel* lRecvBytes = nullptr;
    QLabel* stSpeedRecv = nullptr;
    QLabel* lRecvCps = nullptr;
    TOrvPerf* PerfRecv = nullptr;
    QLabel* lXmit = nullptr;
    QLabel* stXmit = nullptr;
    QLabel* lXmitBytes = nullptr;
    QLabel* stSpeedXmit = nullptr;
    QLabel* lXmitCps = nullptr;
    TOrvPerf* PerfXmit = nullptr;
    TOrvTrayIcon* icTray = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* mPShow = nullptr;
    QMenu* mPEntries = nullptr;
    QActionGroup* mPEntriesGroup = nullptr;
    QAction* mPTire = nullptr;
    QAction* mPDial = nullptr;
    QAction* mPHangUp = nullptr;
    QMenu* mOptions = nullptr;
    QAction* mPAutoRun = nullptr;
    QAction* mPAutoDial = nullptr;
    QAction* mPHideOnRun = nullptr;
    QAction* mPHideOnConnect = nullptr;
    QAction* mPTone = nullptr;
    QAction* mPExit = nullptr;
    TVelRasCon* VelRasCon = nullptr;
    TVelRasPer* VelRasPer = nullptr;
    TTimer* tTimeOnLine = nullptr;
    TTimer* tReDial = nullptr;
    TOrvWavePlayer* Wav = nullptr;

    // ---- replaceable (the real ones by default)
    // The number dialog, shown modally: the text on OK, nothing on Cancel.
    std::function<std::optional<AnsiString>(const QString& Caption, const AnsiString& Text)> ShowNumberDialog;
    std::function<void()> Beep;
    // Blocks the program for Ms milliseconds.
    std::function<void(int Ms)> Sleep;
    // Called once the window has closed for good (the program then ends).
    std::function<void()> OnClosed;

private:
    class TRoadHost;
    std::unique_ptr<TRoadHost> roadHost_;  // before Road, which uses it

public:
    // ---- state
    TDialRoad Road;  // the connection: handles, states, redial, the pager's request
    int PrevEntryIndex = -1;  // the entry whose numbers are loaded
    bool HasSavedPassword = false;
    AnsiString SavedPassword;  // scrambled
    int32_t OnlineSecs = 0;
    int32_t EntryMonthSecs = 0;
    int32_t EntryDaySecs = 0;
    AnsiString CurrentEntry;
    uint64_t XmitBase = 0;
    uint64_t RecvBase = 0;
    uint32_t TickBase = 0;

    // ---- methods
    void AddLog(const AnsiString& Text);
    void DialEnabled(bool On);
    void EDNumbers();
    void IconTray(int N);
    void EntryClick(QAction* Item);
    void EntryMenuItem(int Index, const AnsiString& Caption, bool Checked);
    void ReadPhones(const AnsiString& Entry);
    void WritePhones(const AnsiString& Entry);
    AnsiString EntryName(int Index) const;
    // The log's lines, newest first.
    std::vector<AnsiString> LogLines() const;
    AnsiString NumberText(int Row) const;
    bool NumberChecked(int Row) const;
    int SelectedNumber() const;

    // ---- handlers
    void cbEntriesChange();
    void cbSavePasswordClick();
    void ePasswordChange();
    void lbNumbersClick();
    void sbAddClick();
    void sbDelClick();
    void sbEditClick();
    void sbUpClick();
    void sbDnClick();
    void mPShowClick();
    void mPExitClick();
    void mPAutoRunClick();
    void mPAutoDialClick();
    void mPHideOnRunClick();
    void mPHideOnConnectClick();
    void mPToneClick();

    // ---- dialling (forwarded to Road)
    void sbDialClick();
    void sbHangUpClick();
    void VelRasConStateChanged();
    void tReDialTimer();
    void tTimeOnLineTimer();
    void PlayWav(const AnsiString& Name);

    // ---- messages of the pager
    void aeMainMessage(const winmsg::Message& Msg, bool& Handled);

    // The program is asked to end (a logout, a kill): it closes even on
    // line; the line is hung up and everything saved.
    void Terminate();

protected:
    void closeEvent(QCloseEvent* Event) override;
    // Where the desktop has no notification area, a right-click on the window
    // opens the tray icon's menu, so its settings and "Выход" stay reachable.
    void contextMenuEvent(QContextMenuEvent* Event) override;
    void FormShow() override;
    void FormHide() override;

private:
    void createControls();
    void bindEvents();
    void FormCreate();
    void FormDestroy();
    // Shows or hides the per-entry statistics and sizes the window to fit.
    void ShowEntryStatistics(bool Show);
    // The numbers, the password and the counters as WritePhones stores them.
    TEntryState EntryState() const;
    void AddNumber(const AnsiString& Number, bool Checked);
    // An option's flag inverted, its menu item's check mark with it.
    void Toggle(bool& Flag, QAction* Item);
    void SelectNumber(int Row);
    void SwapNumbers(int A, int B);
    // The end of a line or of an attempt, as shown.
    void DisconnInfo(bool WasOnline);

    bool destroyed_ = false;  // FormDestroy has run
    bool logStarted_ = false;  // the log has a first line (which may be empty)
    bool terminating_ = false;
};
