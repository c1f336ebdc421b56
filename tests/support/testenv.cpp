#include "tests/support/testenv.h"

#include "platform/codepage.h"

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

namespace testenv {

const std::string& root()
{
    static QTemporaryDir dir(QDir::tempPath() + "/orvtest-XXXXXX");
    static const std::string path = [] {
        if (!dir.isValid()) throw std::runtime_error("no temporary folder");
        const std::string p = dir.path().toStdString();
        mkdir((p + "/config").c_str(), 0700);
        mkdir((p + "/runtime").c_str(), 0700);
        setenv("XDG_CONFIG_HOME", (p + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (p + "/runtime").c_str(), 1);
        return p;
    }();
    return path;
}

std::string makeDir(const std::string& name)
{
    const std::string p = root() + "/" + name;
    QDir().mkpath(QString::fromStdString(p));
    return p;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool fileExists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

namespace {

// The lowest port the kernel hands out by itself (to bind(0) and to outgoing
// connections); the test ports lie below it, so the kernel never gives one
// of them to somebody else.
int ephemeralLow()
{
    std::ifstream in("/proc/sys/net/ipv4/ip_local_port_range");
    int low = 0;
    if (in >> low && low > 1024) return low;
    return 32768;
}

bool bindable(const std::string& address, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

int freePort(const std::string& address)
{
    // Test processes run side by side (ctest -j): each port handed out is
    // claimed by a lock on a file of its own, held until this process ends,
    // so no two tests are given the same port, and a port handed out is never
    // one the kernel picks for a bind(0) or a connection elsewhere.
    const std::string dir = "/tmp/kestrane-test-ports-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    const int high = ephemeralLow() - 1;
    const int low = std::max(10000, high - 20000);
    static unsigned next = static_cast<unsigned>(::getpid()) * 7919u;
    for (int tries = 0; tries < high - low + 1; ++tries) {
        const int port = low + static_cast<int>(next++ % static_cast<unsigned>(high - low + 1));
        const std::string lock = dir + "/" + std::to_string(port);
        const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        if (!bindable(address, port)) {
            ::close(fd);
            continue;
        }
        return port;  // fd stays open: the claim lasts as long as this process
    }
    return 0;
}

AnsiString cp(const char* utf8) { return codepage::fromUtf8(utf8); }

std::string binDir() { return ORV_BIN_DIR; }

std::string scrambledBytes(int size, unsigned seed)
{
    std::string s;
    s.reserve(static_cast<std::size_t>(size > 0 ? size : 0));
    for (int i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        s += static_cast<char>((seed >> 16) & 0xFF);
    }
    return s;
}

std::string run(const std::string& command)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot start: " + command);
    std::string output;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    if (::pclose(pipe) != 0) throw std::runtime_error("failed: " + command);
    return output;
}

std::string python(const std::string& script, const std::vector<std::string>& inputs)
{
    static int serial = 0;
    static const std::string dir = makeDir("python");
    const std::string scriptPath = dir + "/script" + std::to_string(++serial) + ".py";
    writeFile(scriptPath, script);
    std::string command = "/usr/bin/python3 -W ignore " + scriptPath;
    for (const auto& input : inputs) {
        const std::string path = dir + "/in" + std::to_string(++serial);
        writeFile(path, input);
        command += " " + path;
    }
    return run(command);
}

}  // namespace testenv
