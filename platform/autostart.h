#pragma once
// The desktop session's autostart list, where the registry keeps the values of
// Software\Microsoft\Windows\CurrentVersion\Run: each value is one XDG
// autostart entry, userdirs::autostartDir() + "/<name>.desktop" (by default
// ~/.config/autostart). The value's text is the program to start, a file
// path that may hold blanks; it becomes the entry's Exec line as one quoted
// argument and reads back unchanged.
//
// Names compare without letter case, as registry names do; a name that cannot
// be a file name ("", ".", "..", or one holding "/") has no entry. An entry
// marked Hidden=true is a deleted one. An entry is written under the
// registry's lock and renamed into place, so the session never reads half a
// file.

#include "platform/ansistring.h"

#include <optional>
#include <string>
#include <vector>

namespace autostart {

// Names of the entries, in file-name order.
std::vector<AnsiString> names();
// The program an entry starts; nullopt when there is no such entry.
std::optional<AnsiString> read(const AnsiString& name);
// The same as the file system's bytes (a path of any name), not cp1251.
std::optional<std::string> readPath(const AnsiString& name);
// Creates or replaces the entry; false when it cannot be written (nothing
// is then changed).
bool write(const AnsiString& name, const AnsiString& program);
// The same with the program's path as the file system's bytes.
bool writePath(const AnsiString& name, const std::string& program);
// False when there was no such entry or it cannot be removed.
bool remove(const AnsiString& name);

}  // namespace autostart
