#include "pager/updatelist.h"

#include "common/strs.h"
#include "pager/book.h"
#include "pager/opdb.h"
#include "pager/sendlater.h"
#include "pager/sentlog.h"
#include "platform/codepage.h"
#include "platform/inifile.h"

#include <dirent.h>
#include <sys/stat.h>

#include <climits>
#include <memory>

namespace {

// A decimal 32-bit integer with an optional sign; 0 for anything else.
int32_t sizeValue(const AnsiString& text)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size()) return 0;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return 0;
        v = v * 10 + (text[i] - '0');
        if (v > int64_t(INT32_MAX) + 1) return 0;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) return 0;
    return static_cast<int32_t>(v);
}

}  // namespace

std::vector<AnsiString> ReadUpdateHosts(const std::string& FileName)
{
    std::vector<AnsiString> hosts;
    struct stat st {};
    if (::stat(FileName.c_str(), &st) != 0) return hosts;
    const TIniFile ini(FileName);
    for (const AnsiString& section : ini.ReadSections()) hosts.push_back(ini.ReadString(section, "url", ""));
    return hosts;
}

TUpdateEntry ParseUpdateEntry(const AnsiString& Name, const AnsiString& Value)
{
    TUpdateEntry e;
    e.Name = Name;
    AnsiString action, size;
    SplitAt(codepage::upperCase(Value), ',', action, size);
    if (action == "DELETE")
        e.Action = TUpdateAction::Delete;
    else if (action == "CHANGE")
        e.Action = TUpdateAction::Change;
    else if (action == "UPDATE")
        e.Action = TUpdateAction::Update;
    e.Size = sizeValue(size);
    return e;
}

std::vector<TUpdateEntry> ReadUpdateList(const std::string& FileName)
{
    std::vector<TUpdateEntry> entries;
    const TIniFile ini(FileName);
    for (const auto& [key, value] : ini.ReadSectionValues("Files")) entries.push_back(ParseUpdateEntry(key, value));
    return entries;
}

bool IsSafeUpdateName(const AnsiString& Name)
{
    if (Name.empty() || Name.front() == '.') return false;
    if (Name.find("..") != AnsiString::npos) return false;
    for (char c : Name) {
        if (c == '/' || c == '\\' || c == ':' || byteOf(c) < 32 || byteOf(c) == 127) return false;
    }
    // A data file, never a program, a library or the settings.
    constexpr std::string_view ext = ".dat";
    if (Name.size() <= ext.size() || !codepage::sameText(std::string_view(Name).substr(Name.size() - ext.size()), ext))
        return false;
    // The user's own data: the address book, the own operators, the log, the queue.
    for (const char* own : {BookFile, UserOperatorsFile, LogFile, WaitFile})
        if (codepage::sameText(Name, own)) return false;
    return true;
}

std::string LocalUpdateFile(const std::string& Folder, const AnsiString& Name)
{
    const std::string exact = Folder + codepage::toUtf8(Name);
    struct stat st {};
    if (::lstat(exact.c_str(), &st) == 0) return exact;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(Folder.empty() ? "." : Folder.c_str()), ::closedir);
    if (!dir) return exact;
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string name = e->d_name;
        if (codepage::sameText(codepage::fromUtf8(name), Name)) return Folder + name;
    }
    return exact;
}

int64_t LocalFileSize(const std::string& Path)
{
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool NeedsDownload(const TUpdateEntry& Entry, int64_t LocalSize)
{
    switch (Entry.Action) {
    case TUpdateAction::Change: return true;
    case TUpdateAction::Update: return LocalSize != Entry.Size;
    default: return false;
    }
}

AnsiString UpdateFileUrl(const AnsiString& Base, const AnsiString& Name)
{
    static const char hex[] = "0123456789ABCDEF";
    AnsiString url = Base;
    if (url.empty() || url.back() != '/') url += '/';
    for (char c : Name) {
        const unsigned char b = byteOf(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
            b == '_' || b == '~') {
            url += c;
        } else {
            url += '%';
            url += hex[b >> 4];
            url += hex[b & 15];
        }
    }
    return url;
}
