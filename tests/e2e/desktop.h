#pragma once
// A private X display (Xvfb) and the real Pager program started in a folder
// of its own, as a user would start it.

#include <QProcess>
#include <QStringList>

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
    // Runs xdotool on the display; whether it succeeded.
    bool xdotool(const QStringList& args) const;

private:
    QProcess xvfb_;
    QString name_;
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

// Waits for the process to end; its exit code, or -1 when it did not end in
// time or crashed.
int waitForExit(QProcess& p, int timeoutMs);

}  // namespace e2e
