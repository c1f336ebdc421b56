#include "tray/trayform.h"

#include "platform/app.h"
#include "platform/ui/trayhost.h"
#include "tray/trayshell.h"

#include <QEvent>
#include <QShowEvent>

void TTrayForm::ShowHide()
{
    if (isVisible() && !isMinimized()) {
        trayhost::hideToTray(this);
    } else {
        show();
        RestoreFromMinimized();
        SwitchToWindow(this, true);
    }
}

void TTrayForm::StartHidden()
{
    if (trayhost::available()) return;
    startingMinimized_ = true;
    showMinimized();
    startingMinimized_ = false;
}

void TTrayForm::RestoreFromMinimized()
{
    if (isMinimized()) setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
}

void TTrayForm::aeMainMinimize()
{
    if (!trayhost::available()) return;
    QMetaObject::invokeMethod(
        this, [this] { app::guard([this] { trayhost::hideToTray(this); }); }, Qt::QueuedConnection);
}

void TTrayForm::showEvent(QShowEvent* Event)
{
    QMainWindow::showEvent(Event);
    if (!Event->spontaneous()) app::guard([this] { FormShow(); });
}

void TTrayForm::hideEvent(QHideEvent* Event)
{
    QMainWindow::hideEvent(Event);
    if (!Event->spontaneous()) app::guard([this] { FormHide(); });
}

void TTrayForm::changeEvent(QEvent* Event)
{
    QMainWindow::changeEvent(Event);
    if (Event->type() == QEvent::WindowStateChange && isMinimized()) aeMainMinimize();
}
