#pragma once
// A private X display (Xvfb), the real programs started on it as a user would
// start them (the Pager in a folder of its own), and xdotool driving them.

#include <QProcess>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

namespace e2e {

class Display {
public:
    Display();  // starts Xvfb; name() is empty when it could not start
    ~Display();
    const QString& name() const { return name_; }
    // Ids of the viewable top-level windows whose title is exactly the text.
    QStringList visibleWindows(const QString& title) const;
    bool waitForWindow(const QString& title, int timeoutMs) const;
    // Runs xdotool on the display: whether it succeeded, and what it printed.
    bool xdotool(const QStringList& args, QString* output = nullptr) const;

private:
    bool start(int number);  // whether Xvfb now serves that display
    QProcess xvfb_;
    QString name_;
    int lockFd_ = -1;  // the claim on the display's number
};

// A copy of the built Pager in a fresh folder, so that its data files
// (pager.ini and the rest, beside the program) belong to one test.
class PagerInstall {
public:
    explicit PagerInstall(const std::string& name);
    const std::string& folder() const { return folder_; }
    std::string file(const std::string& bare) const { return folder_ + "/" + bare; }

    // Starts the program with one argument (none when empty) on the display.
    std::unique_ptr<QProcess> start(const Display& display, const QString& word = {}) const;

private:
    std::string folder_;
};

// Starts a program on the display (Qt on X), in the working folder given.
std::unique_ptr<QProcess> startProgram(const Display& display, const QString& program,
                                       const QStringList& args = {}, const QString& folder = "/");

// Waits for the process to end; its exit code, or -1 when it did not end in
// time or crashed.
int waitForExit(QProcess& p, int timeoutMs);

// Polls until the condition holds or the time is up (the other processes run
// on their own; nothing here needs the test's own event loop).
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

}  // namespace e2e
