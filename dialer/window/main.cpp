// Entry of the OrvDialer program: the application, its title and its one
// window. There is no single-copy rule.
//
// The program's own folder is made current at start: the connect and
// disconnect sounds ("Sounds\Connect.wav", "Sounds\Disconnect.wav") are
// looked up relative to the current folder, and they are installed beside the
// program.

#include "dialer/window/inetdial.h"
#include "platform/app.h"
#include "platform/ui/widgets.h"

#include <QApplication>

#include <unistd.h>

namespace {

void enterProgramFolder()
{
    const std::string path = app::programFilePath();
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return;
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    if (::chdir(folder.c_str()) != 0) return;  // the sounds are then not found; the desktop's sound plays
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    widgets::loadQtTranslation();
    enterProgramFolder();
    QApplication::setApplicationName(QString::fromUtf8(DialerTitle));
    app::application().Title = DialerTitle;
    app::setExceptionHandler(
        [](const AnsiString& Message) { widgets::showException(QString::fromUtf8(DialerTitle), Message); });

    TIDial dial;
    dial.OnClosed = [] { QCoreApplication::quit(); };
    app::onTerminationRequest([&dial] { dial.Terminate(); });
    if (app::application().ShowMainForm) {
        dial.show();
    } else {
        dial.StartHidden();
    }
    return QApplication::exec();
}
