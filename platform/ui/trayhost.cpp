#include "platform/ui/trayhost.h"

#include "platform/app.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <map>
#include <utility>

namespace trayhost {

// ---- ActivationMapper

ActivationMapper::ActivationMapper(std::function<bool(unsigned)> Deliver,
                                   std::function<void(bool)> StartTimer)
    : deliver_(std::move(Deliver)), startTimer_(std::move(StartTimer))
{
}

void ActivationMapper::Send(std::initializer_list<unsigned> Messages)
{
    for (unsigned m : Messages)
        if (!deliver_(m)) return;
}

void ActivationMapper::StopWaiting()
{
    if (!waiting_) return;
    waiting_ = false;
    if (startTimer_) startTimer_(false);
}

void ActivationMapper::Activated(QSystemTrayIcon::ActivationReason Reason)
{
    switch (Reason) {
    case QSystemTrayIcon::Trigger:
        if (waiting_) {
            // The second of two single activations: a double click.
            StopWaiting();
            Send({WM_LBUTTONDBLCLK, WM_LBUTTONUP});
            return;
        }
        if (!doubleSeen_) {
            waiting_ = true;
            if (startTimer_) startTimer_(true);
        }
        Send({WM_LBUTTONDOWN, WM_LBUTTONUP});
        return;
    case QSystemTrayIcon::DoubleClick:
        doubleSeen_ = true;
        StopWaiting();
        Send({WM_LBUTTONDBLCLK, WM_LBUTTONUP});
        return;
    case QSystemTrayIcon::Context:
        StopWaiting();
        Send({WM_RBUTTONDOWN, WM_RBUTTONUP});
        return;
    case QSystemTrayIcon::MiddleClick:
        StopWaiting();
        Send({WM_MBUTTONDOWN, WM_MBUTTONUP});
        return;
    case QSystemTrayIcon::Unknown:
        return;
    }
}

void ActivationMapper::DoubleClickTimeout()
{
    if (!waiting_) return;
    waiting_ = false;
    Send({WM_LBUTTONDBLCLK, WM_LBUTTONUP});
}

// ---- The desktop's notification area

namespace {

// One icon of the desktop host. Lives as a child of the application object;
// a removed icon is hidden at once and freed later, since its removal may come
// from inside its own activation.
class DesktopIcon : public QObject {
public:
    explicit DesktopIcon(const NotifyIconData& Data)
        : QObject(QCoreApplication::instance()),
          data_(Data),
          icon_(new QSystemTrayIcon(this)),
          mapper_([this](unsigned m) { return Deliver(m); },
                  [this](bool start) {
                      if (start)
                          doubleClick_.start();
                      else
                          doubleClick_.stop();
                  })
    {
        doubleClick_.setSingleShot(true);
        doubleClick_.setInterval(QApplication::doubleClickInterval());
        connect(&doubleClick_, &QTimer::timeout, this,
                [this] { app::guard([&] { mapper_.DoubleClickTimeout(); }); });
        connect(icon_, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason r) { app::guard([&] { mapper_.Activated(r); }); });
        Update(Data);
        icon_->show();
    }

    void Update(const NotifyIconData& Data)
    {
        data_ = Data;
        icon_->setIcon(Data.Icon);
        icon_->setToolTip(Data.Tip);
    }

    void Remove()
    {
        removed_ = true;
        doubleClick_.stop();
        icon_->hide();
        deleteLater();
    }

private:
    bool Deliver(unsigned Message)
    {
        if (removed_) return false;
        // The callback may change this icon (data_ with it) or remove it.
        const auto callback = data_.Callback;
        QPointer<DesktopIcon> self(this);
        app::guard([&] {
            if (callback) callback(Message);
        });
        return self && !self->removed_;
    }

    NotifyIconData data_;
    QSystemTrayIcon* icon_;  // a child
    QTimer doubleClick_;
    ActivationMapper mapper_;
    bool removed_ = false;
};

class DesktopHost : public Host {
public:
    bool NotifyIcon(Command Cmd, const NotifyIconData& Data) override
    {
        const Key key{Data.Owner, Data.ID};
        auto it = icons_.find(key);
        if (it != icons_.end() && !it->second) {  // freed with the application
            icons_.erase(it);
            it = icons_.end();
        }
        switch (Cmd) {
        case NIM_ADD:
            if (it != icons_.end() || !QCoreApplication::instance()) return false;
            // Qt shows the icon as soon as a notification area appears, also
            // when there is none yet; the icon counts as added.
            icons_[key] = new DesktopIcon(Data);
            return true;
        case NIM_MODIFY:
            if (it == icons_.end()) return false;
            it->second->Update(Data);
            return true;
        case NIM_DELETE:
            if (it == icons_.end()) return false;
            it->second->Remove();
            icons_.erase(it);
            return true;
        }
        return false;
    }

    bool Available() override { return QSystemTrayIcon::isSystemTrayAvailable(); }
    QPoint CursorPos() override { return QCursor::pos(); }
    Qt::KeyboardModifiers KeyboardModifiers() override { return QGuiApplication::queryKeyboardModifiers(); }

private:
    using Key = std::pair<const void*, unsigned>;
    std::map<Key, QPointer<DesktopIcon>> icons_;
};

Host*& installed()
{
    static Host* h = nullptr;
    return h;
}

}  // namespace

Host& host()
{
    if (Host* h = installed()) return *h;
    static DesktopHost desktop;
    return desktop;
}

void setHost(Host* Host) { installed() = Host; }

void hideToTray(QWidget* Window)
{
    if (!Window) return;
    if (available())
        Window->hide();
    else if (!Window->isMinimized())
        Window->showMinimized();
}

// ---- RecordingHost

RecordingHost::RecordingHost() : previous_(installed()) { installed() = this; }

RecordingHost::~RecordingHost()
{
    if (installed() == this) installed() = previous_;
}

const NotifyIconData* RecordingHost::Find(const void* Owner, unsigned ID) const
{
    auto it = std::find_if(icons_.begin(), icons_.end(),
                           [&](const NotifyIconData& d) { return d.Owner == Owner && d.ID == ID; });
    return it == icons_.end() ? nullptr : &*it;
}

bool RecordingHost::NotifyIcon(Command Cmd, const NotifyIconData& Data)
{
    auto it = std::find_if(icons_.begin(), icons_.end(),
                           [&](const NotifyIconData& d) { return d.Owner == Data.Owner && d.ID == Data.ID; });
    bool result = false;
    switch (Cmd) {
    case NIM_ADD:
        result = it == icons_.end() && AddSucceeds;
        if (result) icons_.push_back(Data);
        break;
    case NIM_MODIFY:
        result = it != icons_.end();
        if (result) *it = Data;
        break;
    case NIM_DELETE:
        result = it != icons_.end();
        if (result) icons_.erase(it);
        break;
    }
    Calls.push_back({Cmd, Data.Owner, Data.ID, Data.Icon, Data.Tip, result});
    return result;
}

bool RecordingHost::Send(const void* Owner, unsigned ID, unsigned MouseMessage)
{
    const NotifyIconData* icon = Find(Owner, ID);
    if (!icon) return false;
    // The callback may remove the icon: call a copy.
    const auto callback = icon->Callback;
    if (callback) callback(MouseMessage);
    return true;
}

bool RecordingHost::Send(unsigned MouseMessage)
{
    if (icons_.empty()) return false;
    return Send(icons_.front().Owner, icons_.front().ID, MouseMessage);
}

}  // namespace trayhost
