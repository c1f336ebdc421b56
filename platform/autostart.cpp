#include "platform/autostart.h"

#include "platform/codepage.h"
#include "platform/lockedfile.h"
#include "platform/userdirs.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

// An entry as written:
//
//   [Desktop Entry]
//   Type=Application
//   Name=OrvDialer
//   Exec="/home/x/Orv Dialer/OrvDialer"
//
// The program is one argument of Exec: quoted, with \ " ` $ escaped by a
// backslash and % doubled; the Exec text then takes the desktop file's string
// escapes (\\ \n \t \r). A line break, tab or carriage return is the only
// control character a program path may hold here.

namespace autostart {
namespace {

constexpr std::string_view kSuffix = ".desktop";

bool validName(std::string_view name)
{
    if (name.empty() || name == "." || name == "..") return false;
    return std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || byteOf(c) < 0x20; });
}

bool writableText(std::string_view text)
{
    return std::none_of(text.begin(), text.end(), [](char c) {
        const unsigned char b = byteOf(c);
        return b < 0x20 && b != '\n' && b != '\t' && b != '\r';
    });
}

// The desktop file's string escapes.
std::string escapeString(std::string_view s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string unescapeString(std::string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        switch (s[++i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default:
            out += '\\';
            out += s[i];
        }
    }
    return out;
}

std::string execOf(std::string_view program)
{
    std::string out = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
        if (c == '%') out += '%';
    }
    return out + '"';
}

// The program of an Exec text: its one quoted argument unquoted, else the
// text as it stands; %% is one %.
std::string programOf(std::string_view exec)
{
    std::string text;
    bool quoted = exec.size() >= 2 && exec.front() == '"';
    if (quoted) {
        size_t i = 1;
        for (; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
            text += exec[i];
        }
        quoted = i + 1 == exec.size();
    }
    if (!quoted) text = exec;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
    return out;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// The Exec of the file's [Desktop Entry] group; nullopt when the file is
// missing, has none, or is marked Hidden.
std::optional<std::string> execOfFile(const std::string& path)
{
    std::string text;
    if (lockedfile::readAll(path, text) != lockedfile::ReadResult::Ok) return std::nullopt;
    std::optional<std::string> exec;
    bool inEntry = false;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = trim(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (line.starts_with('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const size_t eq = line.find('=');
        if (!inEntry || eq == std::string_view::npos) continue;
        const std::string_view key = trim(line.substr(0, eq));
        const std::string value = unescapeString(trim(line.substr(eq + 1)));
        if (key == "Hidden" && value == "true") return std::nullopt;
        if (key == "Exec" && !exec) exec = value;
    }
    return exec;
}

// File names (without the folder) of the entries, sorted.
std::vector<std::string> entryFiles()
{
    std::vector<std::string> files;
    DIR* dir = ::opendir(userdirs::autostartDir().c_str());
    if (!dir) return files;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view file = e->d_name;
        if (file.size() > kSuffix.size() && file.ends_with(kSuffix)) files.emplace_back(file);
    }
    ::closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

AnsiString nameOf(std::string_view file) { return codepage::fromUtf8(file.substr(0, file.size() - kSuffix.size())); }

// The file of the entry named so, in any letter case; "" when there is none.
std::string fileOf(const AnsiString& name)
{
    for (const std::string& file : entryFiles()) {
        if (codepage::sameText(nameOf(file), name)) return file;
    }
    return {};
}

}  // namespace

std::vector<AnsiString> names()
{
    std::vector<AnsiString> out;
    const std::string dir = userdirs::autostartDir() + '/';
    for (const std::string& file : entryFiles()) {
        if (execOfFile(dir + file)) out.push_back(nameOf(file));
    }
    return out;
}

std::optional<AnsiString> read(const AnsiString& name)
{
    const auto path = readPath(name);
    if (!path) return std::nullopt;
    return codepage::fromUtf8(*path);
}

std::optional<std::string> readPath(const AnsiString& name)
{
    if (!validName(name)) return std::nullopt;
    const std::string file = fileOf(name);
    if (file.empty()) return std::nullopt;
    const auto exec = execOfFile(userdirs::autostartDir() + '/' + file);
    if (!exec) return std::nullopt;
    return programOf(*exec);
}

bool write(const AnsiString& name, const AnsiString& program) { return writePath(name, codepage::toUtf8(program)); }

bool writePath(const AnsiString& name, const std::string& program)
{
    if (!validName(name) || !writableText(program)) return false;
    try {
        const std::string lock = userdirs::configDir() + "/registry.lock";
        const std::string dir = userdirs::autostartDir();
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
        std::string file = fileOf(name);
        if (file.empty()) file = codepage::toUtf8(name) + std::string(kSuffix);
        const std::string content = "[Desktop Entry]\nType=Application\nName=" +
                                    escapeString(codepage::toUtf8(name)) + "\nExec=" + escapeString(execOf(program)) +
                                    "\n";
        return lockedfile::update(dir + '/' + file, lock, true, [&](std::string& text) {
            text = content;
            return true;
        });
    } catch (...) {  // no config folder
        return false;
    }
}

bool remove(const AnsiString& name)
{
    if (!validName(name)) return false;
    const std::string file = fileOf(name);
    if (file.empty()) return false;
    return ::unlink((userdirs::autostartDir() + '/' + file).c_str()) == 0;
}

}  // namespace autostart
