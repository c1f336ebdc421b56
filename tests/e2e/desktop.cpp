#include "tests/e2e/desktop.h"

#include "tests/support/testenv.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace e2e {

Display::Display()
{
    // Xvfb's own choice of a free display (-displayfd alone) is not safe for
    // servers starting side by side (ctest -j): one can take away the socket
    // of another that has just started. So each display is claimed first by
    // a lock on a file of its own, held while this server lives, and one that
    // some other X server holds (its lock file or socket exists) is passed by.
    const std::string dir = "/tmp/kestrane-test-displays-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    for (int n = 20; n < 520 && name_.isEmpty(); ++n) {
        const std::string lock = dir + "/" + std::to_string(n);
        const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0 ||
            ::access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) == 0) {
            ::close(fd);
            continue;
        }
        if (start(n)) {
            lockFd_ = fd;
            name_ = ":" + QString::number(n);
        } else {
            ::close(fd);
        }
    }
}

bool Display::start(int number)
{
    xvfb_.setProgram("Xvfb");
    xvfb_.setArguments({":" + QString::number(number), "-displayfd", "1", "-nolisten", "tcp", "-screen", "0",
                        "1280x1024x24"});
    xvfb_.start();
    if (!xvfb_.waitForStarted(5000)) return false;
    // The server writes its number once it takes connections; one that finds
    // the display taken ends at once.
    QElapsedTimer t;
    t.start();
    QByteArray out;
    while (t.elapsed() < 10000 && !out.contains('\n') && xvfb_.state() == QProcess::Running) {
        xvfb_.waitForReadyRead(200);
        out += xvfb_.readAllStandardOutput();
    }
    if (out.contains('\n') && xvfb_.state() == QProcess::Running) return true;
    xvfb_.kill();
    xvfb_.waitForFinished(5000);
    return false;
}

Display::~Display()
{
    xvfb_.terminate();
    xvfb_.waitForFinished(5000);
    if (lockFd_ >= 0) ::close(lockFd_);
}

bool Display::xdotool(const QStringList& args, QString* output) const
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", name_);
    p.setProcessEnvironment(env);
    p.start("xdotool", args);
    const bool ok = p.waitForFinished(15000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output) *output = QString::fromLatin1(p.readAllStandardOutput());
    return ok;
}

QStringList Display::visibleWindows(const QString& title) const
{
    QString out;
    xdotool({"search", "--onlyvisible", "--name", "^" + QRegularExpression::escape(title) + "$"}, &out);
    return out.split('\n', Qt::SkipEmptyParts);
}

bool Display::waitForWindow(const QString& title, int timeoutMs) const
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (!visibleWindows(title).isEmpty()) return true;
        QThread::msleep(100);
    }
    return false;
}

PagerInstall::PagerInstall(const std::string& name) : folder_(testenv::makeDir(name))
{
    const QString target = QString::fromStdString(file("Pager"));
    QFile::remove(target);
    QFile::copy(QString::fromStdString(testenv::binDir() + "/Pager"), target);
    QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

std::unique_ptr<QProcess> PagerInstall::start(const Display& display, const QString& word) const
{
    QStringList args;
    if (!word.isEmpty()) args << word;
    return startProgram(display, QString::fromStdString(file("Pager")), args);
}

std::unique_ptr<QProcess> startProgram(const Display& display, const QString& program, const QStringList& args,
                                       const QString& folder)
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display.name());
    env.insert("QT_QPA_PLATFORM", "xcb");
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->setWorkingDirectory(folder);
    p->start(program, args);
    p->waitForStarted(5000);
    return p;
}

int waitForExit(QProcess& p, int timeoutMs)
{
    if (p.state() != QProcess::NotRunning && !p.waitForFinished(timeoutMs)) return -1;
    if (p.exitStatus() != QProcess::NormalExit) return -1;
    return p.exitCode();
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs) return false;
        QThread::msleep(50);
    }
    return true;
}

}  // namespace e2e
