#include "platform/userdirs.h"

#include "platform/exception.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace userdirs {
namespace {

std::string envOr(const char* name, const std::string& fallback)
{
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

std::string homeDir()
{
    const char* h = std::getenv("HOME");
    if (h && *h) return h;
    if (const passwd* pw = getpwuid(getuid())) return pw->pw_dir;
    return "/";
}

// mkdir -p with mode 0700 for the folders we create.
void makePath(const std::string& path)
{
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            throw Exception("Cannot create folder " + partial + ": " + std::strerror(errno));
        }
    }
}

std::string configHome() { return envOr("XDG_CONFIG_HOME", homeDir() + "/.config"); }

}  // namespace

std::string configDir()
{
    const std::string dir = configHome() + "/kestrane";
    makePath(dir);
    return dir;
}

std::string runtimeDir()
{
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && *xdg) {
        const std::string dir = std::string(xdg) + "/kestrane";
        makePath(dir);
        return dir;
    }
    const std::string dir = "/tmp/kestrane-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        throw Exception("Cannot create folder " + dir + ": " + std::strerror(errno));
    }
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & 077) != 0) {
        throw Exception("Unsafe runtime folder " + dir);
    }
    return dir;
}

std::string autostartDir() { return configHome() + "/autostart"; }

}  // namespace userdirs
