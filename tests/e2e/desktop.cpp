#include "tests/e2e/desktop.h"

#include "tests/support/testenv.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <csignal>

namespace e2e {

Display::Display()
{
    xvfb_.setProgram("Xvfb");
    xvfb_.setArguments({"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"});
    xvfb_.start();
    if (!xvfb_.waitForStarted(5000)) return;
    QElapsedTimer t;
    t.start();
    QByteArray out;
    while (t.elapsed() < 10000 && !out.contains('\n')) {
        xvfb_.waitForReadyRead(200);
        out += xvfb_.readAllStandardOutput();
    }
    if (out.contains('\n')) name_ = ":" + QString::fromLatin1(out).trimmed();
}

Display::~Display()
{
    xvfb_.terminate();
    xvfb_.waitForFinished(5000);
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
