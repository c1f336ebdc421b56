#include "platform/inifile.h"

#include "platform/atomicfile.h"
#include "platform/codepage.h"
#include "platform/readfile.h"

#include <algorithm>
#include <climits>

namespace {

std::string trim(std::string_view s) { return Trim(s); }

AnsiString keyOf(std::string_view name) { return codepage::upperCase(trim(name)); }

AnsiString unquote(const AnsiString& v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

bool hasLineBreakOrNul(std::string_view s)
{
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

void checkSectionName(const AnsiString& name)
{
    if (name.empty() || trim(name) != name || hasLineBreakOrNul(name) ||
        name.find(']') != AnsiString::npos) {
        throw EIniFileException("Invalid section name: " + name);
    }
}

void checkKeyName(const AnsiString& key)
{
    if (key.empty() || trim(key) != key || hasLineBreakOrNul(key) ||
        key.find('=') != AnsiString::npos || key.front() == '[' || key.front() == ';') {
        throw EIniFileException("Invalid key name: " + key);
    }
}

void checkValue(const AnsiString& value)
{
    if (hasLineBreakOrNul(value)) throw EIniFileException("Invalid value: line break in " + value);
}

std::optional<int32_t> parseInt(const AnsiString& s)
{
    if (s.empty()) return std::nullopt;
    size_t i = 0;
    bool negative = false;
    if (s[i] == '-' || s[i] == '+') {
        negative = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (s.compare(i, 1, "$") == 0) {
        base = 16;
        i += 1;
    } else if (s.size() > i + 1 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return std::nullopt;
    long long v = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return std::nullopt;
        v = v * base + d;
        if (v > 0xFFFFFFFFLL) return std::nullopt;
    }
    if (base == 16 && !negative) return static_cast<int32_t>(static_cast<uint32_t>(v));
    if (negative) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(v);
}

}  // namespace

AnsiString IniValueOf(AnsiString V)
{
    if (V.size() >= 2 && (V.front() == '"' || V.front() == '\'') && V.back() == V.front()) V = "\"" + V + "\"";
    return V;
}

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) { load(); }

TIniFile::TIniFile(std::string fileName, std::string_view text) : fileName_(std::move(fileName)) { parse(text); }

void TIniFile::load()
{
    std::string text;
    loadFailed_ = readfile::readAll(fileName_, text) == readfile::ReadResult::Failed;
    parse(text);
}

void TIniFile::parse(std::string_view text)
{
    sections_.clear();
    sections_.emplace_back();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string raw(text.substr(pos, end - pos));
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        pos = end + 1;

        const std::string t = trim(raw);
        if (!t.empty() && t.front() == '[') {
            Section s;
            s.header = raw;
            const size_t close = t.find(']');
            s.name = trim(std::string_view(t).substr(1, close == std::string::npos
                                                            ? std::string::npos
                                                            : close - 1));
            sections_.push_back(std::move(s));
            continue;
        }
        Line line;
        line.raw = raw;
        const size_t eq = t.find('=');
        if (!t.empty() && t.front() != ';' && eq != std::string::npos) {
            line.isKey = true;
            line.key = trim(std::string_view(t).substr(0, eq));
            line.value = trim(std::string_view(t).substr(eq + 1));
            if (line.key.empty()) line.isKey = false;
        }
        sections_.back().lines.push_back(std::move(line));
    }
    reindex();
    modified_ = false;
}

void TIniFile::reindex()
{
    index_.clear();
    for (size_t i = 1; i < sections_.size(); ++i) {
        sections_[i].keysValid = false;
        index_.emplace(codepage::upperCase(sections_[i].name), i);
    }
}

const TIniFile::Section* TIniFile::findSection(const AnsiString& name) const
{
    const auto it = index_.find(keyOf(name));
    return it == index_.end() ? nullptr : &sections_[it->second];
}

TIniFile::Section* TIniFile::findSection(const AnsiString& name)
{
    return const_cast<Section*>(std::as_const(*this).findSection(name));
}

const TIniFile::Line* TIniFile::findKey(const Section& s, const AnsiString& key) const
{
    if (!s.keysValid) {
        s.keys.clear();
        for (size_t i = 0; i < s.lines.size(); ++i) {
            if (s.lines[i].isKey) s.keys.emplace(codepage::upperCase(s.lines[i].key), i);
        }
        s.keysValid = true;
    }
    const auto it = s.keys.find(keyOf(key));
    return it == s.keys.end() ? nullptr : &s.lines[it->second];
}

AnsiString TIniFile::ReadString(const AnsiString& section, const AnsiString& key,
                                const AnsiString& def) const
{
    const Section* s = findSection(section);
    const Line* l = s ? findKey(*s, key) : nullptr;
    return l ? unquote(l->value) : def;
}

int32_t TIniFile::ReadInteger(const AnsiString& section, const AnsiString& key, int32_t def) const
{
    const Section* s = findSection(section);
    const Line* l = s ? findKey(*s, key) : nullptr;
    if (!l) return def;
    return parseInt(ReadString(section, key, {})).value_or(def);
}

bool TIniFile::ReadBool(const AnsiString& section, const AnsiString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const AnsiString& section, const AnsiString& key, const AnsiString& value)
{
    checkSectionName(section);
    checkKeyName(key);
    checkValue(value);
    Section* s = findSection(section);
    if (!s) {
        // A new section goes to the end, after a blank line when the file has text.
        Section& last = sections_.back();
        const bool hasText = sections_.size() > 1 || !last.lines.empty();
        const bool endsBlank = !last.lines.empty() && trim(last.lines.back().raw).empty();
        if (hasText && !endsBlank) last.lines.push_back(Line{});
        Section ns;
        ns.header = "[" + section + "]";
        ns.name = section;
        sections_.push_back(std::move(ns));
        index_.emplace(codepage::upperCase(section), sections_.size() - 1);
        s = &sections_.back();
    }
    modified_ = true;
    if (const Line* found = findKey(*s, key)) {
        Line& l = s->lines[static_cast<size_t>(found - s->lines.data())];
        l.value = value;
        l.raw = l.key + "=" + value;
        return;
    }
    Line l;
    l.isKey = true;
    l.key = key;
    l.value = value;
    l.raw = key + "=" + value;
    // After the last non-blank line of the section, so blank separators stay at its end.
    size_t at = s->lines.size();
    while (at > 0 && trim(s->lines[at - 1].raw).empty()) --at;
    s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(l));
    // Only blank lines moved, and they hold no key: the index stays good with
    // the new key added, so writing a section key by key stays linear.
    if (s->keysValid) s->keys.emplace(keyOf(key), at);
}

void TIniFile::WriteInteger(const AnsiString& section, const AnsiString& key, int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const AnsiString& section, const AnsiString& key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

std::vector<AnsiString> TIniFile::ReadSections() const
{
    std::vector<AnsiString> out;
    for (size_t i = 1; i < sections_.size(); ++i) {
        // Only the first occurrence of a name counts.
        if (index_.at(codepage::upperCase(sections_[i].name)) == i) out.push_back(sections_[i].name);
    }
    return out;
}

std::vector<AnsiString> TIniFile::ReadSection(const AnsiString& section) const
{
    std::vector<AnsiString> out;
    for (const auto& kv : ReadSectionValues(section)) out.push_back(kv.first);
    return out;
}

std::vector<std::pair<AnsiString, AnsiString>> TIniFile::ReadSectionValues(const AnsiString& section) const
{
    std::vector<std::pair<AnsiString, AnsiString>> out;
    const Section* s = findSection(section);
    if (!s) return out;
    for (const Line& l : s->lines) {
        if (!l.isKey || findKey(*s, l.key) != &l) continue;  // later duplicates are hidden
        out.emplace_back(l.key, unquote(l.value));
    }
    return out;
}

bool TIniFile::SectionExists(const AnsiString& section) const { return findSection(section) != nullptr; }

bool TIniFile::ValueExists(const AnsiString& section, const AnsiString& key) const
{
    const Section* s = findSection(section);
    return s && findKey(*s, key);
}

void TIniFile::EraseSection(const AnsiString& section)
{
    const auto it = index_.find(keyOf(section));
    if (it == index_.end()) return;
    sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(it->second));
    reindex();
    modified_ = true;
}

void TIniFile::RenameSection(const AnsiString& section, const AnsiString& newName)
{
    checkSectionName(newName);
    const auto it = index_.find(keyOf(section));
    if (it == index_.end()) return;
    Section& s = sections_[it->second];
    s.header = "[" + newName + "]";
    s.name = newName;
    reindex();
    modified_ = true;
}

void TIniFile::DeleteKey(const AnsiString& section, const AnsiString& key)
{
    Section* s = findSection(section);
    const Line* l = s ? findKey(*s, key) : nullptr;
    if (!l) return;
    s->lines.erase(s->lines.begin() + (l - s->lines.data()));
    s->keysValid = false;
    modified_ = true;
}

void TIniFile::DeleteKeys(const AnsiString& section)
{
    Section* s = findSection(section);
    if (!s) return;
    if (std::erase_if(s->lines, [](const Line& l) { return l.isKey; }) == 0) return;
    s->keys.clear();
    s->keysValid = true;
    modified_ = true;
}

void TIniFile::Clear()
{
    sections_.clear();
    sections_.emplace_back();
    reindex();
    modified_ = true;
}

void TIniFile::UpdateFile()
{
    if (!modified_) return;
    // What could not be read is kept as it stands, as a read-only file is.
    if (loadFailed_) throw WriteError(fileName_);
    std::string text;
    for (const Section& s : sections_) {
        if (!s.header.empty()) text += s.header + "\r\n";
        for (const Line& l : s.lines) text += l.raw + "\r\n";
    }

    if (!atomicfile::replace(fileName_, text, {newFileMode_, true})) throw WriteError(fileName_);
    modified_ = false;
}

void TIniFile::DeleteFile(const std::string& fileName)
{
    if (!atomicfile::remove(fileName)) throw WriteError(fileName);
}

EIniFileException TIniFile::WriteError(const std::string& fileName)
{
    return EIniFileException("Unable to write to " + codepage::fromUtf8(fileName));
}
