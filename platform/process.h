#pragma once
// Starting another program: the file itself is run, with no shell and no
// command-line parsing, in the given working folder, with this process's
// environment. The new process is not waited for and leaves no zombie.

#include <string>

namespace process {

// True when the program was started (its executable could be run).
bool start(const std::string& program, const std::string& folder);

}  // namespace process
