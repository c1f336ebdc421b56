#pragma once
// Window handles and posted window messages between processes.
//
// A window handle is a non-zero 32-bit number whose low 16 bits are not zero.
// Each Window is a Unix datagram socket bound at
// userdirs::runtimeDir() + "/wnd/<handle in 8 hex digits>" (folder 0700)
// before its handle is given to anyone. A post never blocks and is lost
// silently when nobody listens. Received messages are read by a
// QSocketNotifier on the main thread and handed to onMessage in the order
// they arrived; a handler that runs a nested event loop sees the next
// messages inside that loop.

#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace winmsg {

using HWND = uint32_t;

struct Message {
    HWND hwnd = 0;  // the receiving window
    uint32_t msg = 0;
    uint32_t wParam = 0;
    int32_t lParam = 0;
};

class Window : public QObject {
    Q_OBJECT
public:
    // Binds a fresh endpoint. handle() is 0 when none could be made.
    explicit Window(QObject* parent = nullptr);
    ~Window() override;

    HWND handle() const noexcept { return handle_; }

    std::function<void(const Message&)> onMessage;

private:
    void readPending();

    HWND handle_ = 0;
    int fd_ = -1;
    std::string path_;
    QSocketNotifier* notifier_ = nullptr;
    std::deque<Message> queue_;
};

// Posts a message to the window; never blocks. False when no window with that
// handle listens (the message is then lost, as on the host).
bool postMessage(HWND target, uint32_t msg, uint32_t wParam, int32_t lParam);

// True when a window with that handle exists and listens.
bool isWindow(HWND target);

}  // namespace winmsg
