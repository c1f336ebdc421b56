#include "tests/dialer/raslibs.h"

#include "dialer/ras/velrasapi.h"
#include "dialer/ras/veltapiapi.h"
#include "platform/codepage.h"
#include "platform/userdirs.h"
#include "tests/support/testenv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <dlfcn.h>
#include <stdexcept>
#include <unistd.h>

namespace raslibs {

std::string folder(const std::string& name, const std::vector<std::pair<std::string, std::string>>& libs)
{
    static int made = 0;
    const std::string dir = testenv::makeDir("libs-" + name + "-" + std::to_string(++made));
    for (const auto& [host, lib] : libs) addTo(dir, host, lib);
    return dir;
}

void addTo(const std::string& folder, const std::string& hostName, const std::string& lib)
{
    std::string file = codepage::lowerCase(hostName);
    file = file.substr(0, file.size() - 4) + ".so";  // "RASAPI32.DLL" -> "rasapi32.so"
    const std::string path = folder + "/" + file;
    ::unlink(path.c_str());
    if (::symlink(lib.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot link " + path);
}

void use(const std::string& Folder, const sysversion::OSVERSIONINFOA* version)
{
    velras::UnloadRasApi();
    veltapi::UnloadTapiApi();
    sysversion::setVersionForTests(version);
    velras::SetLibraryFolder(Folder);
}

void useService()
{
    static const std::string dir = folder("service", {{"RASAPI32.DLL", kFull}});
    use(dir);
    LoadRasApi();
    reset();
}

sysversion::OSVERSIONINFOA windows95(uint32_t minor)
{
    sysversion::OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    v.dwMajorVersion = 4;
    v.dwMinorVersion = minor;
    v.dwPlatformId = sysversion::VER_PLATFORM_WIN32_WINDOWS;
    return v;
}

sysversion::OSVERSIONINFOA windowsNT(uint32_t major)
{
    sysversion::OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    v.dwMajorVersion = major;
    v.dwPlatformId = sysversion::VER_PLATFORM_WIN32_NT;
    return v;
}

void* symbol(const char* name)
{
    void* lib = dlopen(velras::LibraryFile("RASAPI32.DLL").c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return nullptr;
    void* f = dlsym(lib, name);
    dlclose(lib);  // the loader still holds it
    return f;
}

void advance(uint32_t ms)
{
    auto f = reinterpret_cast<void (*)(uint32_t)>(symbol("RasTestAdvance"));
    if (!f) throw std::runtime_error("the service's test clock is not loaded");
    f(ms);
    QCoreApplication::processEvents();
}

void reset()
{
    if (auto f = reinterpret_cast<void (*)()>(symbol("RasTestReset"))) f();
    QCoreApplication::processEvents();
}

namespace {
std::string crlf(const std::string& utf8)
{
    std::string out;
    for (char c : codepage::fromUtf8(utf8)) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}
}  // namespace

void writePhonebook(const std::string& utf8)
{
    testenv::writeFile(userdirs::configDir() + "/phonebook.ini", crlf(utf8));
}

std::string writePhonebookFile(const std::string& name, const std::string& utf8)
{
    const std::string path = testenv::root() + "/" + name;
    testenv::writeFile(path, crlf(utf8));
    return path;
}

bool waitFor(const std::function<bool()>& Done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!Done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace raslibs
