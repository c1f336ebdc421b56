#pragma once
// Real peers of the main window's tests: the SMTP server of
// tests/support/smtp_peer.h and a second process playing the dialer
// (tests/support/fake_dialer.cpp with ORV_FAKE_DIALER_SERVE); and the
// program folder each test starts from.

#include "common/dialerkey.h"
#include "pager/program.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/winmsg.h"
#include "tests/support/smtp_peer.h"
#include "tests/support/testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace mwtest {

// A fresh program folder holding the main window's fixture data files,
// made the program's folder; the pager's registry values are cleared.
inline std::string makeInstall(const std::string& name)
{
    static int n = 0;
    const std::string folder = testenv::makeDir(name + "-" + std::to_string(++n));
    for (const char* f : {"book.dat", "operators.dat", "pagers.dat"})
        std::filesystem::copy_file(std::string(ORV_FIXTURES "/mainwin/") + f, folder + "/" + f);
    ProgramPath = folder + "/";
    registry::deleteKey("Software\\Kestrane\\Pager");
    return folder;
}

inline const char* const kDialerKey = DialerKey;

// The clock held at one moment while a test runs.
struct FixedClock {
    explicit FixedClock(const QDateTime& at) { sysclock::setSource([at] { return at; }); }
    ~FixedClock() { sysclock::setSource({}); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
};

class Dialer {
public:
    Dialer()
    {
        registry::deleteKey(kDialerKey);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORV_FAKE_DIALER_SERVE", "1");
        process_.setProcessEnvironment(env);
        process_.start(FAKE_DIALER, {});
        process_.waitForStarted(kWait);
        (void)QTest::qWaitFor([&] { return handle() != 0; }, kWait);
    }
    ~Dialer()
    {
        if (handle()) winmsg::postMessage(handle(), 0x7F00, 0, 0);
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
        registry::deleteKey(kDialerKey);
    }
    static uint32_t handle() { return registry::readDword(kDialerKey, "Handle").value_or(0); }
    static std::string log() { return registry::readString(kDialerKey, "Log").value_or(""); }
    void lineUp() const { winmsg::postMessage(handle(), 0x7F01, 0, 0); }
    void fail() const { winmsg::postMessage(handle(), 0x7F02, 0, 0); }
    // The dialer reports Message (3536..3539) to the pager that asked it.
    void report(uint32_t Message) const { winmsg::postMessage(handle(), 0x7F03, Message, 0); }
    // Pumps the caller's events until the log holds the text.
    static bool waitForLog(const std::string& text)
    {
        return QTest::qWaitFor([&] { return log().find(text) != std::string::npos; }, kWait);
    }

private:
    QProcess process_;
};

}  // namespace mwtest
