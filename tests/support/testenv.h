#pragma once
// Shared helpers of the test programs.

#include "platform/ansistring.h"

#include <string>

namespace testenv {

// A fresh folder for this test process (removed at exit). XDG_CONFIG_HOME and
// XDG_RUNTIME_DIR point into it before any test runs.
const std::string& root();
// A new empty folder below root().
std::string makeDir(const std::string& name);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

// A cp1251 text from a UTF-8 source literal.
AnsiString cp(const char* utf8);

// The folder of the built programs (bin/).
std::string binDir();

}  // namespace testenv
