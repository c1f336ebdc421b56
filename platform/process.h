#pragma once
// Starting another program: the file itself is run, with no shell and no
// command-line parsing, in the given working folder, with this process's
// environment. The new process is not waited for and leaves no zombie.

#include <atomic>
#include <string>
#include <vector>

namespace process {

// True when the program was started (its executable could be run).
bool start(const std::string& program, const std::string& folder);

// Runs a program with its arguments, no shell: Argv[0] is the program (a path,
// or a name looked up in PATH), the rest its arguments; the working folder is
// this process's. Waits up to TimeoutMs for it to end, or until *GiveUp turns
// true, and returns its exit code; -1 when it could not be started, ended by
// a signal, or still runs when the wait ends (it then goes on by itself and
// a later run reaps it; no thread is left behind for it).
int run(const std::vector<std::string>& Argv, int TimeoutMs, const std::atomic<bool>* GiveUp = nullptr);

}  // namespace process
