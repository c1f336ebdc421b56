#pragma once
// Shared helpers of the test programs.

#include "platform/ansistring.h"

#include <string>
#include <vector>

namespace testenv {

// A fresh folder for this test process (removed at exit). XDG_CONFIG_HOME and
// XDG_RUNTIME_DIR point into it before any test runs.
const std::string& root();
// A new empty folder below root().
std::string makeDir(const std::string& name);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

// A TCP port that nothing listens on at the IPv4 address, below the range the
// kernel hands out by itself and claimed for this process, so no other test
// running beside it is given it; 0 when none could be had.
int freePort(const std::string& address = "127.0.0.1");

// A cp1251 text from a UTF-8 source literal.
AnsiString cp(const char* utf8);

// The folder of the built programs (bin/).
std::string binDir();

// Size bytes of every value in a scrambled order; another Seed, another order.
std::string scrambledBytes(int size, unsigned seed = 12345);

// Runs a shell command line and returns what it wrote on its standard output;
// std::runtime_error when it cannot start or ends with an error.
std::string run(const std::string& command);
// Runs a Python script (Debian's python3) with the paths of files holding
// the given inputs as its arguments; returns what it printed.
std::string python(const std::string& script, const std::vector<std::string>& inputs = {});

}  // namespace testenv
