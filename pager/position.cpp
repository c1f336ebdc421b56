#include "pager/position.h"

#include "common/dialerkey.h"
#include "platform/process.h"
#include "platform/registry.h"

#include <sys/stat.h>
#include <thread>
#include <utility>
#include <vector>

void LoadPosition(const AnsiString& Name, TPosRec& Pos)
{
    Pos.Maximized = false;
    const AnsiString key = PositionKey + Name;
    if (!registry::keyExists(key)) return;
    if (const auto v = registry::readDword(key, "Maximized")) Pos.Maximized = *v != 0;
    const std::pair<const char*, int32_t*> fields[] = {
        {"Left", &Pos.Left}, {"Top", &Pos.Top}, {"Height", &Pos.Height}, {"Width", &Pos.Width}};
    for (const auto& [name, field] : fields) {
        if (const auto v = registry::readDword(key, name)) *field = static_cast<int32_t>(*v);
    }
}

void SavePosition(const AnsiString& Name, const TPosRec& Pos, bool WithSize, bool Maximized)
{
    std::vector<std::pair<AnsiString, uint32_t>> values{{"Maximized", Maximized ? 1u : 0u}};
    if (!Maximized) {
        auto put = [&](const char* name, int32_t v) {
            if (v != -1) values.emplace_back(name, static_cast<uint32_t>(v));
        };
        put("Left", Pos.Left);
        put("Top", Pos.Top);
        if (WithSize) {
            put("Height", Pos.Height);
            put("Width", Pos.Width);
        }
    }
    registry::writeDwords(PositionKey + Name, values);
}

bool RunProgram(const std::string& CommandLine, const std::string& Folder)
{
    return process::start(CommandLine, Folder);
}

uint32_t GetDialerHandle()
{
    if (!registry::keyExists(DialerKey)) return 0;
    if (const auto h = registry::readDword(DialerKey, "Handle")) return *h;
    // The path as the file system holds it, whatever its bytes.
    const auto path = registry::readPath(DialerKey, "Path");
    if (!path) return 0;
    struct stat st {};
    if (stat(path->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    const size_t slash = path->rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path->substr(0, slash + 1);
    if (!RunProgram(*path, folder)) return 0;
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (const auto h = registry::readDword(DialerKey, "Handle")) return *h;
    }
    return 0;
}
