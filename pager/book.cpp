#include "pager/book.h"

#include "common/strs.h"
#include "pager/opdb.h"
#include "pager/service.h"
#include "platform/codepage.h"
#include "platform/inifile.h"

#include <array>
#include <unordered_set>

namespace {

constexpr char kSep = ',';
constexpr int kFieldCount = 8;

void cut(AnsiString& s)
{
    if (s.size() > ShortStringMax) s.resize(ShortStringMax);
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && byteOf(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && byteOf(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

// A text field as written: line breaks would end the ini line, so they (and
// the other bytes an ini line cannot carry) become blanks; then the
// separators are escaped.
AnsiString fieldOf(std::string_view s)
{
    AnsiString clean(s);
    for (char& c : clean) {
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    }
    return EscapeSeparator(clean, ",");
}

char flag(bool on) { return on ? '1' : '0'; }

bool isStorableName(std::string_view name)
{
    if (name.empty() || trimmed(name).size() != name.size()) return false;
    for (char c : name) {
        if (byteOf(c) < ' ') return false;
    }
    return true;
}

TNameCheck checkTaken(std::string_view name, const std::vector<AnsiString>& names, int self)
{
    for (size_t i = 0; i < names.size(); ++i) {
        if (static_cast<int>(i) != self && codepage::sameText(names[i], name)) return TNameCheck::Taken;
    }
    return TNameCheck::Ok;
}

}  // namespace

void CutBookItem(TBookItem& Item)
{
    for (AnsiString* s : {&Item.Addr, &Item.EMail, &Item.FullName, &Item.Model, &Item.Header, &Item.Signature}) {
        cut(*s);
    }
}

AnsiString BookItemToLine(const TBookItem& Item)
{
    AnsiString flags{flag(Item.OwnHeader), flag(Item.CopyEMail), flag(Item.OwnSignature)};
    while (!flags.empty() && flags.back() == '0') flags.pop_back();

    std::array<AnsiString, kFieldCount> fields = {
        fieldOf(Item.Addr),   fieldOf(Item.EMail),  fieldOf(Item.FullName), fieldOf(Item.Model),
        RecodeStoredName(Item.Code), fieldOf(Item.Header), fieldOf(Item.Signature), flags,
    };
    size_t count = fields.size();
    while (count > 0 && fields[count - 1].empty()) --count;

    AnsiString line;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) line += kSep;
        line += fields[i];
    }
    return line;
}

TBookItem BookItemFromLine(std::string_view Line)
{
    std::array<AnsiString, kFieldCount> fields;
    AnsiString rest(Line);
    for (int i = 0; i < kFieldCount && !rest.empty(); ++i) {
        AnsiString field;
        SplitAt(rest, kSep, field, rest);
        fields[static_cast<size_t>(i)] = AnsiString(trimmed(field));
    }

    TBookItem item;
    item.Addr = fields[0];
    item.EMail = fields[1];
    item.FullName = fields[2];
    item.Model = fields[3];
    item.Code = RecodeCodeOfStored(fields[4]);
    item.Header = fields[5];
    item.Signature = fields[6];
    const AnsiString& flags = fields[7];
    item.OwnHeader = flags.size() > 0 && flags[0] == '1';
    item.CopyEMail = flags.size() > 1 && flags[1] == '1';
    item.OwnSignature = flags.size() > 2 && flags[2] == '1';
    CutBookItem(item);
    return item;
}

std::vector<AnsiString> ReadBookGroups(const TIniFile& Book) { return Book.ReadSections(); }

AnsiString UnnamedGroup() { return codepage::fromUtf8("Без названия"); }

std::vector<AnsiString> StorableNames(const std::vector<AnsiString>& Names, const AnsiString& ForEmpty)
{
    auto storable = [](const AnsiString& name) { return !name.empty() && StorableName(name) == name; };
    std::unordered_set<AnsiString> taken;  // upper-cased
    for (const AnsiString& name : Names) {
        if (storable(name)) taken.insert(codepage::upperCase(name));
    }
    std::vector<AnsiString> out;
    out.reserve(Names.size());
    for (const AnsiString& name : Names) {
        if (storable(name)) {
            out.push_back(name);
            continue;
        }
        AnsiString base = StorableName(name);
        if (base.empty()) base = ForEmpty;
        AnsiString unique = base;
        for (int n = 2; taken.contains(codepage::upperCase(unique)); ++n) {
            unique = base + " (" + std::to_string(n) + ")";
        }
        taken.insert(codepage::upperCase(unique));
        out.push_back(std::move(unique));
    }
    return out;
}

std::vector<TBookEntry> LoadBookGroup(const TIniFile& Book, const AnsiString& Group, std::vector<AnsiString>* Renamed)
{
    std::vector<TBookEntry> out;
    std::vector<AnsiString> names;
    for (auto& [key, value] : Book.ReadSectionValues(Group)) {
        if (value.empty()) continue;
        names.push_back(key);
        out.push_back({key, BookItemFromLine(value)});
    }
    const std::vector<AnsiString> shown = StorableNames(names, codepage::fromUtf8("Без имени"));
    for (size_t i = 0; i < out.size(); ++i) {
        if (shown[i] == out[i].Name) continue;
        out[i].Name = shown[i];
        if (Renamed) Renamed->push_back(shown[i]);
    }
    return out;
}

void WriteBookGroup(TIniFile& Book, const AnsiString& Group, const std::vector<TBookEntry>& Entries)
{
    const bool existed = Book.SectionExists(Group);
    // Every key goes, later duplicates too (they would show once the first is gone).
    Book.DeleteKeys(Group);
    for (const TBookEntry& e : Entries) {
        AnsiString line = BookItemToLine(e.Item);
        // A contact whose fields are all empty still needs a value to stay a contact.
        if (line.empty()) line = AnsiString(1, kSep);
        Book.WriteString(Group, e.Name, IniValueOf(std::move(line)));
    }
    if (Entries.empty() && !existed) Book.WriteString(Group, EmptyGroupKey, {});
}

TNameCheck CheckContactName(std::string_view Name, const std::vector<AnsiString>& Names, int Self)
{
    if (!isStorableName(Name) || Name.find('=') != std::string_view::npos || Name.front() == '[' ||
        Name.front() == ';') {
        return TNameCheck::Unstorable;
    }
    return checkTaken(Name, Names, Self);
}

TNameCheck CheckGroupName(std::string_view Name, const std::vector<AnsiString>& Names, int Self)
{
    if (!isStorableName(Name) || Name.find(']') != std::string_view::npos) return TNameCheck::Unstorable;
    return checkTaken(Name, Names, Self);
}

TBookItDialogInit BookItDialogInit(const TOpList& OpList, const AnsiString& Name, const TBookItem& Item)
{
    TBookItDialogInit init;
    init.Name = Name;
    init.Item = Item;
    init.OpIndex = GetOpIndex(OpList, Item.Addr);
    init.Num = GetPagerNum(OpList, Item.Addr, init.OpIndex);
    return init;
}

TAddrUpdate ApplyBookItDialog(const TOpList& OpList, const TBookItDialogResult& Result, TBookItem& Item)
{
    TAddrUpdate update = TAddrUpdate::Kept;
    if (!Result.KeepAddr) {
        const int op = Result.OpIndex >= 0 && Result.OpIndex < OpList.Count()
                           ? Result.OpIndex
                           : GetOperatorIndex(OpList, Result.Type, Result.City, Result.Operator, Result.WithPhone);
        update = op >= 0 ? TAddrUpdate::Built : TAddrUpdate::NoOperator;
        if (op >= 0) Item.Addr = InsertNumber(OpList.Objects(op).MailGate, Result.Num);
    }
    Item.EMail = Result.EMail;
    Item.FullName = Result.FullName;
    Item.Model = Result.Model;
    Item.Code = Result.Code >= 0 && Result.Code < RecodeCount ? Result.Code : 0;
    Item.Header = Result.Header;
    Item.Signature = Result.Signature;
    Item.OwnHeader = Result.OwnHeader;
    Item.CopyEMail = Result.CopyEMail;
    Item.OwnSignature = Result.OwnSignature;
    CutBookItem(Item);
    return update;
}
