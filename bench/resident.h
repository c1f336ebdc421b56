#pragma once
// The resident memory of this process (VmRSS), in KiB.

#include <fstream>
#include <string>

namespace benchdata {

inline long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

}  // namespace benchdata
