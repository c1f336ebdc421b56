#include "tests/support/testenv.h"

#include "platform/codepage.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

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

AnsiString cp(const char* utf8) { return codepage::fromUtf8(utf8); }

std::string binDir() { return ORV_BIN_DIR; }

}  // namespace testenv
