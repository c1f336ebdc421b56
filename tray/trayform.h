#pragma once
// A main window that lives in the notification area (both programs' main
// windows): its showing and hiding are reported to FormShow and FormHide (a
// hide that the window system makes by itself is not), minimising sends it to
// the notification area where the desktop has one, and ShowHide switches
// between the two. Every report runs inside the exception boundary.

#include <QMainWindow>

class TTrayForm : public QMainWindow {
    Q_OBJECT
public:
    using QMainWindow::QMainWindow;

    // Shown: to the notification area (minimised where the desktop has
    // none). Hidden or minimised: shown and brought to the front.
    void ShowHide();

protected:
    virtual void FormShow() {}
    virtual void FormHide() {}
    // The window was minimised: it goes to the notification area once the
    // minimise is over, where the desktop has one.
    virtual void aeMainMinimize();

    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void changeEvent(QEvent* Event) override;
};
