#pragma once
// The registry key both programs read: the dialer keeps its settings, its
// window handle ("Handle") and its own path ("Path") under it; the pager
// reads the last two to find and start the dialer.

inline constexpr const char* DialerKey = "Software\\Kestrane\\Dialer";
