#include "bench/xmapwatch.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>

namespace benchx {
namespace {

std::string titleOf(Display* dpy, Window w, Atom utf8, Atom netName)
{
    std::string title;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, w, netName, 0, 1024, False, utf8, &type, &format, &count, &after, &data) == Success &&
        data) {
        title.assign(reinterpret_cast<const char*>(data), count);
        XFree(data);
    }
    return title;
}

}  // namespace

MapWatch::MapWatch(const std::string& display)
{
    Display* dpy = XOpenDisplay(display.c_str());
    if (!dpy) return;
    utf8_ = XInternAtom(dpy, "UTF8_STRING", False);
    netName_ = XInternAtom(dpy, "_NET_WM_NAME", False);
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
    XSync(dpy, False);
    dpy_ = dpy;
}

MapWatch::~MapWatch()
{
    if (dpy_) XCloseDisplay(static_cast<Display*>(dpy_));
}

std::optional<std::chrono::steady_clock::time_point> MapWatch::waitForMap(const std::string& title, int timeoutMs)
{
    auto* dpy = static_cast<Display*>(dpy_);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (dpy) {
        while (XPending(dpy) > 0) {
            XEvent e;
            XNextEvent(dpy, &e);
            if (e.type == MapNotify && titleOf(dpy, e.xmap.window, utf8_, netName_) == title) return std::chrono::steady_clock::now();
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{ConnectionNumber(dpy), POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
    return std::nullopt;
}

}  // namespace benchx
