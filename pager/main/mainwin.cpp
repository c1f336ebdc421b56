#include "pager/main/mainwin.h"

#include "pager/ini.h"
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
    LoadOptions();
    app::application().ShowMainForm = !Ini.Run.HideOnRun;
}

void TMainWin::FormCloseQuery()
{
    // Every step runs even when an earlier one failed; the close is never refused.
    app::guard([] { SaveOptions(); });
}

void TMainWin::closeEvent(QCloseEvent* event)
{
    FormCloseQuery();
    event->accept();
    QCoreApplication::quit();
}
