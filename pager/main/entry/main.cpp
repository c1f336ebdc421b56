// Entry of the Pager program: the program folder, the start word, the
// single-copy rule, the application and its main window.

#include "pager/main/mainwin.h"
#include "pager/program.h"
#include "platform/app.h"
#include "platform/atoms.h"
#include "platform/ui/widgets.h"

#include <QApplication>

namespace {

int ProgramBlock(int argc, char** argv)
{
    ProgramPath = ProgramFolder(app::programFilePath());
    const AnsiString startWord = argc > 1 ? StartWord(argv[1]) : AnsiString();

    const bool oneCopy = ReadRunOneCopy();
    if (oneCopy) {
        const atoms::ATOM found = atoms::globalFindAtom(Title);
        if (startWord == "T") atoms::globalDeleteAtom(found);
        // The atom as found before any "T": a "T" start removes it and still ends
        // while a copy's handle is registered.
        if (found != 0 && ReadAppHandle() != 0) return 0;
    }

    QApplication application(argc, argv);
    widgets::loadQtTranslation();
    QApplication::setApplicationName(QString::fromUtf8(Title));
    QApplication::setQuitOnLastWindowClosed(false);
    app::application().Title = Title;
    app::setExceptionHandler(
        [](const AnsiString& Message) { widgets::showException(QString::fromUtf8(Title), Message); });

    TMainWin mainWin;
    // The window's close ends the program; a close asked for while a send
    // runs waits for the send to unwind.
    mainWin.OnClosed = [] { QCoreApplication::quit(); };
    app::onTerminationRequest([&mainWin] { mainWin.Terminate(); });

    if (startWord == "MINIMIZED") app::application().ShowMainForm = false;
    if (app::application().ShowMainForm)
        mainWin.show();
    else
        mainWin.StartHidden();

    if (oneCopy) {
        const atoms::ATOM atom = atoms::globalAddAtom(Title);
        WriteAppHandle(static_cast<int32_t>(app::applicationWindow().handle()));
        QApplication::exec();
        atoms::globalDeleteAtom(atom);
        WriteAppHandle(0);
    } else {
        QApplication::exec();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    return ProgramBlock(argc, argv);
}
