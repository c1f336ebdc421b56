#pragma once
// The desktop's notification area: icons with a tooltip that tell their owner
// of the mouse through the low-level mouse message numbers below.
//
// The desktop host puts each icon up through QSystemTrayIcon. Tests install a
// RecordingHost instead, which keeps a record of every add, change and removal
// and lets the test click the icons.

#include <QIcon>
#include <QPoint>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <vector>

class QWidget;

namespace trayhost {

// The mouse messages an icon's owner is told of.
enum : unsigned {
    WM_MOUSEMOVE = 512,
    WM_LBUTTONDOWN = 513,
    WM_LBUTTONUP = 514,
    WM_LBUTTONDBLCLK = 515,
    WM_RBUTTONDOWN = 516,
    WM_RBUTTONUP = 517,
    WM_RBUTTONDBLCLK = 518,
    WM_MBUTTONDOWN = 519,
    WM_MBUTTONUP = 520,
    WM_MBUTTONDBLCLK = 521,
};

enum Command { NIM_ADD, NIM_MODIFY, NIM_DELETE };

// One icon. Owner and ID together name it.
struct NotifyIconData {
    const void* Owner = nullptr;
    unsigned ID = 0;
    QIcon Icon;
    QString Tip;
    // Called on the main thread with each mouse message. It may remove the
    // icon (NIM_DELETE) or free its owner; the host copes with both.
    std::function<void(unsigned MouseMessage)> Callback;
};

class Host {
public:
    virtual ~Host() = default;
    // NIM_ADD fails for an icon that is there already, NIM_MODIFY and
    // NIM_DELETE for one that is not. NIM_MODIFY takes the icon, the tip and
    // the callback from Data.
    virtual bool NotifyIcon(Command Cmd, const NotifyIconData& Data) = 0;
    // Whether the desktop has a notification area to show the icons in.
    virtual bool Available() = 0;
    // Where the mouse pointer is (screen co-ordinates) and which of Shift,
    // Ctrl and Alt are held, read when a notification is handled.
    virtual QPoint CursorPos() = 0;
    virtual Qt::KeyboardModifiers KeyboardModifiers() = 0;
};

// The host in use: the one installed by setHost, else the desktop's.
Host& host();
// Installs Host for the whole process (tests); nullptr puts the desktop's back.
void setHost(Host* Host);

inline bool notifyIcon(Command Cmd, const NotifyIconData& Data) { return host().NotifyIcon(Cmd, Data); }
inline bool available() { return host().Available(); }

// Sends a main window to the notification area: hides it when the desktop has
// one, else minimizes it, so that the window can always be reached again (from
// the task bar). Windows call this wherever they would hide into the tray.
void hideToTray(QWidget* Window);

// How the desktop host turns QSystemTrayIcon's activations into mouse
// messages:
//   Trigger       left button down, up
//   DoubleClick   left button double click, up
//   Context       right button down, up (the owner pops its own menu)
//   MiddleClick   middle button down, up
// Many notification areas (all that speak the StatusNotifierItem protocol)
// report single activations only, never a double click, while the programs
// wait for a double click to show their window. So after a Trigger the mapper
// waits one double-click interval: a second Trigger or a DoubleClick within it
// completes the double click; when the interval runs out, the double click is
// delivered on its own. Either way the owner sees one click and one double
// click, so a program that waits for either is served. Once the host has
// reported a real DoubleClick it is known to report them, and a Trigger is a
// plain click from then on.
class ActivationMapper {
public:
    // Deliver hands one message to the owner and tells whether the icon is
    // still there; when it is not, the rest of a sequence is dropped.
    // StartTimer(true) starts the double-click interval, (false) stops it;
    // the interval's end calls DoubleClickTimeout.
    ActivationMapper(std::function<bool(unsigned)> Deliver, std::function<void(bool)> StartTimer);

    void Activated(QSystemTrayIcon::ActivationReason Reason);
    void DoubleClickTimeout();

    // A single activation waits for its double click.
    bool Waiting() const noexcept { return waiting_; }
    // The host has reported a double click of its own.
    bool HostReportsDoubleClicks() const noexcept { return doubleSeen_; }

private:
    void Send(std::initializer_list<unsigned> Messages);
    void StopWaiting();

    std::function<bool(unsigned)> deliver_;
    std::function<void(bool)> startTimer_;
    bool waiting_ = false;
    bool doubleSeen_ = false;
};

// A host for tests: installs itself on construction and puts the previous
// host back on destruction. Records every call and holds the icons that are
// up.
class RecordingHost : public Host {
public:
    struct Call {
        Command Cmd;
        const void* Owner;
        unsigned ID;
        QIcon Icon;
        QString Tip;
        bool Result;
    };

    RecordingHost();
    ~RecordingHost() override;
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    std::vector<Call> Calls;
    bool IsAvailable = true;   // what Available() answers
    bool AddSucceeds = true;   // whether a NIM_ADD of a new icon succeeds
    QPoint Cursor;             // what CursorPos() answers
    Qt::KeyboardModifiers Modifiers = Qt::NoModifier;

    // The icon named so when it is up, else nullptr.
    const NotifyIconData* Find(const void* Owner, unsigned ID = 0) const;
    int IconCount() const noexcept { return static_cast<int>(icons_.size()); }
    // Sends a mouse message to an icon as the notification area would; False
    // when the icon is not up. The one-argument form sends to the icon that
    // was added first.
    bool Send(const void* Owner, unsigned ID, unsigned MouseMessage);
    bool Send(unsigned MouseMessage);

    bool NotifyIcon(Command Cmd, const NotifyIconData& Data) override;
    bool Available() override { return IsAvailable; }
    QPoint CursorPos() override { return Cursor; }
    Qt::KeyboardModifiers KeyboardModifiers() override { return Modifiers; }

private:
    std::vector<NotifyIconData> icons_;
    Host* previous_ = nullptr;
};

}  // namespace trayhost
