#include "pager/program.h"

#include "platform/codepage.h"
#include "platform/inifile.h"
#include "platform/registry.h"

std::string ProgramPath;

std::string ProgramFolder(const std::string& exePath)
{
    const size_t slash = exePath.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : exePath.substr(0, slash + 1);
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

AnsiString StartWord(const char* argUtf8)
{
    if (!argUtf8) return {};
    AnsiString word = codepage::upperCase(codepage::fromUtf8(argUtf8));
    if (word.size() > 255) word.resize(255);
    if (!word.empty() && (word.front() == '-' || word.front() == '/')) word.erase(0, 1);
    return word;
}

bool ReadRunOneCopy()
{
    const TIniFile ini(ProgramPath + "pager.ini");
    return ini.ReadBool("Run", "RunOneCopy", false);
}

void WriteAppHandle(int32_t value)
{
    registry::writeDword(PagerKey, "Handle", static_cast<uint32_t>(value));
}

uint16_t ReadAppHandle()
{
    return static_cast<uint16_t>(registry::readDword(PagerKey, "Handle").value_or(0) & 0xFFFF);
}
