#include "pager/useroperators.h"

#include "common/strs.h"
#include "platform/codepage.h"
#include "platform/inifile.h"

#include <cerrno>
#include <cstdio>

namespace {

constexpr std::string_view kSmsPrefix = "SMS:";

bool splits(std::string_view text, size_t& open)
{
    open = text.find('(');
    return open != std::string_view::npos && text.ends_with(')');
}

}  // namespace

AnsiString GetOpName(std::string_view Text)
{
    size_t open = 0;
    if (!splits(Text, open)) return AnsiString(Text);
    return Trim(Text.substr(0, open));
}

AnsiString GetOpCity(std::string_view Text)
{
    size_t open = 0;
    if (!splits(Text, open)) return AnsiString(Text);
    return Trim(Text.substr(open + 1, Text.size() - 1 - (open + 1)));
}

std::vector<TUserOperator> LoadUserOperators(const std::string& FileName)
{
    std::vector<TUserOperator> ops;
    const TIniFile ini(FileName);
    for (const AnsiString& section : ini.ReadSections()) {
        TUserOperator op;
        op.Item = ReadOperator(ini, section);
        if (op.Item.MailGate.empty()) continue;
        std::string_view name = section;
        // Only the prefix in capitals makes an SMS operator here.
        if (name.starts_with(kSmsPrefix)) {
            op.Type = 1;
            name.remove_prefix(kSmsPrefix.size());
        }
        op.City = GetOpCity(name);
        op.Name = GetOpName(name);
        ops.push_back(std::move(op));
    }
    return ops;
}

AnsiString UserOperatorSection(const TUserOperator& Op)
{
    return Trim((Op.Type == 1 ? AnsiString(kSmsPrefix) : AnsiString()) + Op.Name + " (" + Op.City + ")");
}

void SaveUserOperators(const std::string& FileName, const std::vector<TUserOperator>& Ops)
{
    if (Ops.empty()) {
        if (std::remove(FileName.c_str()) != 0 && errno != ENOENT) {
            throw EIniFileException("Unable to write to " + codepage::fromUtf8(FileName));
        }
        return;
    }
    TIniFile ini(FileName);
    ini.Clear();
    for (const TUserOperator& op : Ops) {
        const AnsiString section = UserOperatorSection(op);
        ini.WriteString(section, "MailGate", IniValueOf(op.Item.MailGate));
        if (!op.Item.Description.empty()) ini.WriteString(section, "Description", IniValueOf(op.Item.Description));
    }
    ini.UpdateFile();
}

int FindSameUserOperator(const std::vector<TUserOperator>& Ops, const TUserOperator& Op, int Self)
{
    const AnsiString section = UserOperatorSection(Op);
    for (size_t i = 0; i < Ops.size(); ++i) {
        if (static_cast<int>(i) != Self && codepage::sameText(UserOperatorSection(Ops[i]), section)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}
