// Plays the dialer's part for tests.
//
// Start-up: after ORV_FAKE_DIALER_DELAY_MS it registers ORV_FAKE_DIALER_HANDLE
// as its window handle, and records the folder it was started in and the
// arguments it got.
//
// With ORV_FAKE_DIALER_SERVE set it stays and answers the pager's messages on
// a window of its own (registered as Handle): a dial request (3534) is
// recorded with the window it names; the test then has the line come up
// (message 0x7F01: dialling, checking the name, connected go to that window)
// or fail (0x7F02: dialling, failed), or scripts the dialer's reports one by
// one (0x7F03 with wParam 3536..3539: that report goes to the window, which
// is kept for the next one); a hang-up (3535) is recorded; 0x7F00 ends
// the program. Every message is appended to the string value Log as
// "<number>:<wParam>;".

#include "common/dialerkey.h"
#include "common/dialmsg.h"
#include "platform/registry.h"
#include "platform/winmsg.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

const char* const kKey = DialerKey;

enum : uint32_t {
    kDial = WM_DIAL_CONNECT,
    kHangUp = WM_DIAL_HANGUP,
    kConnected = WM_DIAL_CONNECTED,
    kFailed = WM_DIAL_DISCONNECTED,
    kDialling = WM_DIAL_DIALING,
    kChecking = WM_DIAL_AUTHENTICATING,
    kTestQuit = 0x7F00,
    kTestLineUp = 0x7F01,
    kTestFail = 0x7F02,
    kTestReport = 0x7F03,
};

void log(uint32_t msg, uint32_t wParam)
{
    const std::string old = registry::readString(kKey, "Log").value_or("");
    registry::writeString(kKey, "Log", old + std::to_string(msg) + ":" + std::to_string(wParam) + ";");
}

int serve(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    winmsg::Window window;
    winmsg::HWND pager = 0;
    window.onMessage = [&](const winmsg::Message& m) {
        log(m.msg, m.wParam);
        switch (m.msg) {
        case kDial: pager = m.wParam; break;
        case kHangUp: break;
        case kTestLineUp:
            if (pager == 0) break;
            winmsg::postMessage(pager, kDialling, window.handle(), 0);
            winmsg::postMessage(pager, kChecking, window.handle(), 0);
            winmsg::postMessage(pager, kConnected, window.handle(), 0);
            pager = 0;  // nothing more of this connection is reported
            break;
        case kTestFail:
            if (pager == 0) break;
            winmsg::postMessage(pager, kDialling, window.handle(), 0);
            winmsg::postMessage(pager, kFailed, window.handle(), 0);
            break;
        case kTestReport:
            if (pager == 0 || m.wParam < kConnected || m.wParam > kChecking) break;
            winmsg::postMessage(pager, m.wParam, window.handle(), 0);
            break;
        case kTestQuit: QCoreApplication::quit(); break;
        default: break;
        }
    };
    registry::writeDword(kKey, "Handle", window.handle());
    QCoreApplication::exec();
    registry::deleteValue(kKey, "Handle");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* delay = std::getenv("ORV_FAKE_DIALER_DELAY_MS");
    const char* handle = std::getenv("ORV_FAKE_DIALER_HANDLE");
    char cwd[4096] = {};
    if (!getcwd(cwd, sizeof cwd - 1)) cwd[0] = 0;
    registry::writeString(kKey, "StartedIn", cwd);
    registry::writeDword(kKey, "Arguments", static_cast<uint32_t>(argc - 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(delay ? std::atoi(delay) : 0));
    if (std::getenv("ORV_FAKE_DIALER_SERVE")) return serve(argc, argv);
    registry::writeDword(kKey, "Handle",
                         handle ? static_cast<uint32_t>(std::strtoul(handle, nullptr, 0)) : 0x00017001u);
    return 0;
}
