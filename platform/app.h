#pragma once
// The application object's services that the programs were written against:
// the program file, a private temporary folder, the message pump, the hidden
// application window that other programs post to, and the exception boundary
// that every event entry point goes through.

#include "platform/ansistring.h"
#include "platform/winmsg.h"

#include <functional>
#include <string>

namespace app {

// Full path of the running executable (from /proc/self/exe).
std::string programFilePath();

// A folder of this process's own below the system's temporary folder, made
// on first use (mode 0700) and removed with its contents at exit.
std::string privateTempDir();

// Handles the events that are waiting, then returns (the framework's
// ProcessMessages).
void ProcessMessages();

// Application state the windows read and set.
struct Application {
    AnsiString Title;
    bool ShowMainForm = true;
    int HintHidePause = 2500;  // ms
};
Application& application();

// The application's hidden window: the handle another program posts to.
// Needs a QCoreApplication; made on first use.
winmsg::Window& applicationWindow();

// Runs the function on the main thread when the process is asked to end
// (SIGTERM, SIGINT, SIGHUP: a logout, a kill, Ctrl+C), so the program can
// close as the user would have closed it. Needs a QCoreApplication.
void onTerminationRequest(std::function<void()> handler);

// Exception boundary. Every timer, slot, notifier and handler entry point runs
// its work through guard(): an exception is reported through the handler set
// here (a message box in the programs, stderr by default) and the program goes
// on. No exception crosses Qt's own dispatch code.
void setExceptionHandler(std::function<void(const AnsiString& message)> handler);
// Reports the exception being handled; call only inside a catch block.
void handleException() noexcept;
// The message of the exception being handled, as handleException reports
// it; call only inside a catch block.
AnsiString exceptionMessage() noexcept;

template <class F>
void guard(F&& f) noexcept
{
    try {
        f();
    } catch (...) {
        handleException();
    }
}

}  // namespace app
