#pragma once
// The window messages between the pager and the dialer, and the two the
// dialer posts to the other product (Zelvo) when it takes the telephone line
// and gives it back. All are posted to a program's application window.
//
//   number  name                     direction        word parameter
//   3533    WM_DIAL_SHOW             to the dialer    -
//   3534    WM_DIAL_CONNECT          pager -> dialer  the pager's window
//   3535    WM_DIAL_HANGUP           pager -> dialer  -
//   3536    WM_DIAL_CONNECTED        dialer -> pager  the dialer's window
//   3537    WM_DIAL_DISCONNECTED     dialer -> pager  the dialer's window
//   3538    WM_DIAL_DIALING          dialer -> pager  the dialer's window
//   3539    WM_DIAL_AUTHENTICATING   dialer -> pager  the dialer's window
//   3540    WM_LINE_ACQUIRE          dialer -> Zelvo  -
//   3541    WM_LINE_RELEASE          dialer -> Zelvo  -
//
// The long parameter is always 0.

#include <cstdint>

enum : uint32_t {
    WM_DIAL_SHOW = 3533,
    WM_DIAL_CONNECT = 3534,
    WM_DIAL_HANGUP = 3535,
    WM_DIAL_CONNECTED = 3536,
    WM_DIAL_DISCONNECTED = 3537,
    WM_DIAL_DIALING = 3538,
    WM_DIAL_AUTHENTICATING = 3539,
    WM_LINE_ACQUIRE = 3540,
    WM_LINE_RELEASE = 3541,
};
