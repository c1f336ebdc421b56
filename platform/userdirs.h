#pragma once
// Per-user folders of both programs:
//   configDir():  $XDG_CONFIG_HOME/kestrane (default ~/.config/kestrane), persistent;
//   runtimeDir(): $XDG_RUNTIME_DIR/kestrane, this login only; when the variable is
//                 unset, /tmp/kestrane-<uid>, which must be a 0700 folder of ours.
// Both are created (mode 0700) on first use. The functions throw Exception when
// the folder cannot be made or is not safe to use.
//   autostartDir(): $XDG_CONFIG_HOME/autostart, the desktop session's autostart
//                 entries; not created here.

#include <string>

namespace userdirs {

std::string configDir();
std::string runtimeDir();
std::string autostartDir();

}  // namespace userdirs
