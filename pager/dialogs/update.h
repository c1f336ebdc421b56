#pragma once
// The update dialog "Обновление базы данных": fetches update.lst from the
// chosen update folder, then deletes or fetches each file it names into the
// program folder (pager/updatelist.h has the rules).
//
// A download runs on the downloader's worker while the dialog keeps handling
// events, so "Стоп" works. Closing the dialog in the middle of a run (Esc,
// "Выход", the close box), and closing the window it belongs to (the tray's
// exit, a logout), first stops the running download and waits for its end;
// the dialog, or its owner, closes once the run has unwound.

#include "netcomp/httpfetch.h"
#include "platform/ansistring.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

class TUpdateWin : public QDialog {
    Q_OBJECT
public:
    explicit TUpdateWin(QWidget* Owner = nullptr);
    ~TUpdateWin() override;

    // Creates the dialog over Owner, shows it modally and frees it; whether
    // a file was received (the program is to restart). While one is open,
    // another call brings that one to the front and returns false.
    static bool Execute(QWidget* Owner);

    // ---- controls
    QLabel* lHost = nullptr;
    QComboBox* cbHost = nullptr;
    QLabel* lFile = nullptr;
    QLabel* stFile = nullptr;
    QLabel* lStatus = nullptr;
    QLabel* stStatus = nullptr;
    QProgressBar* pbFile = nullptr;
    QPushButton* bBegin = nullptr;
    QPushButton* bCancel = nullptr;
    QPushButton* bExit = nullptr;
    THttpFetch* Get = nullptr;

    // A file listed in update.lst was received in this showing.
    bool NeedRestart = false;
    // The last download ended in error.
    bool Failed = false;

    // A message box with the program's title (replaceable).
    std::function<void(const QString& Text)> ShowMessage;

    void SetState(bool Idle);
    // Fetches Name from the chosen folder into LocalFile; returns when the
    // download has ended and its event has run.
    void DownloadFile(const AnsiString& Name, const std::string& LocalFile);
    void GetProgress(THttpFetchThread* Sender, int32_t TotalSize, int32_t Readed);
    void GetDoneFile(THttpFetch* Sender, const std::string& FileName, int32_t FileSize);
    void GetError(THttpFetch* Sender);
    void bBeginClick();
    void bCancelClick();
    void bExitClick();

    // Closes the dialog; in the middle of a run it stops the download and
    // closes once the run has unwound.
    void done(int Result) override;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FormCreate();
    void FormClose();
    void Run();

    QWidget* ownerWindow_ = nullptr;
    bool running_ = false;            // an update run is on the stack
    bool closeWanted_ = false;        // the dialog is to close once the run has unwound
    bool ownerCloseWanted_ = false;   // and then its owner
    bool ownerClosing_ = false;       // the owner is closing: the program ends anyway
    int errors_ = 0;                  // downloads of the running run that failed
    std::vector<AnsiString> refused_; // names of the list that were refused
};
