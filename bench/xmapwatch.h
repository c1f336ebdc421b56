#pragma once
// The moment a program's window appears on an X display: a connection of our
// own watches the root window's children (there is no window manager on the
// test display, so a program's top-level windows are those children) and
// reports the first one mapped whose title is the one looked for. Made before
// the program starts, so no map is missed; no polling of the display.

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace benchx {

class MapWatch {
public:
    explicit MapWatch(const std::string& display);
    ~MapWatch();
    MapWatch(const MapWatch&) = delete;
    MapWatch& operator=(const MapWatch&) = delete;

    bool ok() const { return dpy_ != nullptr; }

    // When a window titled Title (UTF-8) was mapped; none when none was within TimeoutMs.
    std::optional<std::chrono::steady_clock::time_point> waitForMap(const std::string& title, int timeoutMs);

private:
    void* dpy_ = nullptr;  // the X connection (Display*; X11's names stay out of this header)
    unsigned long utf8_ = 0, netName_ = 0;  // the atoms UTF8_STRING and _NET_WM_NAME
};

// The median of the timed runs (0 for none).
inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace benchx
