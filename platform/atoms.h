#pragma once
// Global atoms: names shared by every process of this login, reference
// counted, compared without letter case. The table is a locked file in
// userdirs::runtimeDir(), so an atom outlives a crashed process and ends with
// the login (or a reboot), as the host's global atom table does.

#include "platform/ansistring.h"

#include <cstdint>

namespace atoms {

using ATOM = uint16_t;  // string atoms are 0xC000..0xFFFF; 0 means none

// Adds the name, or counts one more reference to it; 0 on failure
// (empty name, longer than 255 characters, table not writable or full).
ATOM globalAddAtom(const AnsiString& name);
// The atom of the name, 0 when there is none.
ATOM globalFindAtom(const AnsiString& name);
// Drops one reference; the atom goes when none is left. Returns 0 on
// success and the atom itself when it did not exist.
ATOM globalDeleteAtom(ATOM atom);

}  // namespace atoms
