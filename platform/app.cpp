#include "platform/app.h"

#include "platform/codepage.h"
#include "platform/exception.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace app {

std::string programFilePath()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string path(buf, static_cast<size_t>(n));
    // A program file replaced while it runs (an update) reads "<path>
    // (deleted)": the program's path is still <path>.
    constexpr std::string_view deleted = " (deleted)";
    if (path.ends_with(deleted) && ::access(path.c_str(), F_OK) != 0) path.resize(path.size() - deleted.size());
    return path;
}

std::string privateTempDir()
{
    static std::unique_ptr<QTemporaryDir> dir;
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/kestrane-XXXXXX");
        if (!dir->isValid()) {
            dir.reset();
            throw Exception("Cannot create a temporary folder");
        }
    }
    return dir->path().toStdString();
}

void ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

Application& application()
{
    static Application a;
    return a;
}

winmsg::Window& applicationWindow()
{
    static winmsg::Window* w = nullptr;
    if (!w) {
        // Lives as long as the application object; freed with it.
        w = new winmsg::Window(QCoreApplication::instance());
        QObject::connect(w, &QObject::destroyed, [] { w = nullptr; });
    }
    return *w;
}

namespace {
int terminationPipe[2] = {-1, -1};

extern "C" void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(terminationPipe[1], &c, 1);
}
}  // namespace

void onTerminationRequest(std::function<void()> handler)
{
    if (terminationPipe[0] < 0 && pipe2(terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read,
                                         QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [h = std::move(handler)] {
        char buf[16];
        while (::read(terminationPipe[0], buf, sizeof buf) > 0) {
        }
        guard([&] { h(); });
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
}

namespace {
std::function<void(const AnsiString&)>& handler()
{
    static std::function<void(const AnsiString&)> h;
    return h;
}
}  // namespace

void setExceptionHandler(std::function<void(const AnsiString&)> h) { handler() = std::move(h); }

AnsiString exceptionMessage() noexcept
{
    try {
        try {
            throw;
        } catch (const Exception& e) {
            return e.message();
        } catch (const std::exception& e) {
            return e.what();
        } catch (...) {
            return "Unknown exception";
        }
    } catch (...) {  // no memory for the text
        return {};
    }
}

void handleException() noexcept
{
    const AnsiString message = exceptionMessage();
    try {
        if (handler()) {
            handler()(message);
            return;
        }
    } catch (...) {
    }
    std::fprintf(stderr, "%s\n", codepage::toUtf8(message).c_str());
}

}  // namespace app
