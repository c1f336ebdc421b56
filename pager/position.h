#pragma once
// Window and list-column positions in the registry, and the pager's side of
// the dialer's values there: finding the dialer's window, starting it when it
// does not run.

#include "platform/ansistring.h"

#include <cstdint>
#include <string>

// One window's or column's position; -1 in a field means "not stored".
struct TPosRec {
    int32_t Left = -1;
    int32_t Top = -1;
    int32_t Height = -1;
    int32_t Width = -1;
    bool Maximized = false;
};

// Registry key of the positions (the dialer's key: common/dialerkey.h).
inline constexpr const char* PositionKey = "Software\\Kestrane\\Pager\\Position\\";

// The caller fills Pos with the current values first; every field stored
// under the name overwrites its own. Maximized is False unless stored. A
// value of the wrong type counts as not stored.
void LoadPosition(const AnsiString& Name, TPosRec& Pos);

// Stores Maximized, and when not maximized Left and Top, and with WithSize
// Height and Width too; fields of -1 are not written. Pos.Maximized is not
// used. Nothing is stored when the registry cannot be written.
void SavePosition(const AnsiString& Name, const TPosRec& Pos, bool WithSize, bool Maximized);

// The dialer's window handle, 0 when none: the stored Handle, or else the
// program at the stored Path is started and Handle is polled for 10 times at
// 100 ms. The main thread does nothing else meanwhile.
uint32_t GetDialerHandle();

// Starts the program file CommandLine itself (no shell, no parsing of the
// text) with Folder as its working folder; True when it was started. Both are
// paths of the file system, its bytes as they are.
bool RunProgram(const std::string& CommandLine, const std::string& Folder);
