#include "pager/main/mainwin.h"

#include "pager/ini.h"
#include "pager/position.h"
#include "pager/program.h"
#include "platform/app.h"

#include <QApplication>
#include <QCloseEvent>

TMainWin::TMainWin(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("MainWin");
    setWindowTitle(QString::fromUtf8(Title));
    resize(561, 547);
    setMinimumSize(561, 547);
    app::guard([this] { FormCreate(); });
}

TMainWin::~TMainWin() = default;

void TMainWin::FormCreate()
{
    app::application().HintHidePause = 120000;

    // The place is the frame's top-left corner and the size the client area's,
    // the same quantities that are saved at close, so the window neither
    // grows nor wanders from run to run.
    // On a first run nothing is stored and the window manager places the window.
    TPosRec pos{-1, -1, height(), width(), false};
    LoadPosition("Main", pos);
    if (pos.Left != -1 && pos.Top != -1) move(pos.Left, pos.Top);
    resize(pos.Width, pos.Height);
    if (pos.Maximized) setWindowState(windowState() | Qt::WindowMaximized);

    LoadOptions();
    app::application().ShowMainForm = !Ini.Run.HideOnRun;
}

void TMainWin::FormCloseQuery()
{
    // Every step runs even when an earlier one failed; the close is never refused.
    // A maximized window stores only that, keeping the normal place saved before.
    app::guard([this] { SavePosition("Main", {x(), y(), height(), width(), false}, true, isMaximized()); });
    app::guard([] { SaveOptions(); });
}

void TMainWin::closeEvent(QCloseEvent* event)
{
    FormCloseQuery();
    event->accept();
    QCoreApplication::quit();
}
