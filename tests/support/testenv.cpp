#include "tests/support/testenv.h"

#include "platform/codepage.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

int freePort(const std::string& address)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = 0;
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
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
