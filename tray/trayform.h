#pragma once
// A main window that lives in the notification area (both programs' main
// windows): the program's own showing and hiding of it are reported to
// FormShow and FormHide (what the window system reports by itself, such as
// mapping a minimized window, is not), minimising sends it to the
// notification area where the desktop has one, and ShowHide switches between
// the two. Every report runs inside the exception boundary.

#include <QMainWindow>

class TTrayForm : public QMainWindow {
    Q_OBJECT
public:
    using QMainWindow::QMainWindow;

    // Shown: to the notification area (minimised where the desktop has
    // none). Hidden or minimised: shown and brought to the front.
    void ShowHide();
    // The start that does not show the window: it stays hidden in the
    // notification area; where the desktop has none it is shown minimized,
    // so that it can be reached.
    void StartHidden();

protected:
    // Out of the minimized state, still maximized when it was (showNormal
    // would drop that too).
    void RestoreFromMinimized();
    // StartHidden is showing the window minimized: FormShow leaves it so.
    bool StartingMinimized() const noexcept { return startingMinimized_; }

    virtual void FormShow() {}
    virtual void FormHide() {}
    // The window was minimised: it goes to the notification area once the
    // minimise is over, where the desktop has one.
    virtual void aeMainMinimize();

    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void changeEvent(QEvent* Event) override;

private:
    bool startingMinimized_ = false;
};
