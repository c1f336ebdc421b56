#include "platform/atoms.h"

#include "platform/codepage.h"
#include "platform/lockedfile.h"
#include "platform/userdirs.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

// The table: userdirs::runtimeDir() + "/atoms", one atom a line:
//   "<atom, 4 hex digits> <references> <name as hex digits of its cp1251 bytes>"
// Lines that do not parse are skipped.

namespace atoms {
namespace {

constexpr ATOM kFirst = 0xC000;
constexpr size_t kMaxName = 255;

struct Entry {
    ATOM atom = 0;
    unsigned long refs = 0;
    AnsiString name;
};

using Table = std::vector<Entry>;

template <class T>
std::optional<T> parseNumber(std::string_view s, int base)
{
    T v{};
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

std::optional<Entry> parseLine(std::string_view line)
{
    const size_t a = line.find(' ');
    const size_t b = a == std::string_view::npos ? a : line.find(' ', a + 1);
    if (b == std::string_view::npos) return std::nullopt;
    const auto atom = parseNumber<unsigned>(line.substr(0, a), 16);
    const auto refs = parseNumber<unsigned long>(line.substr(a + 1, b - a - 1), 10);
    const std::string_view hex = line.substr(b + 1);
    if (!atom || *atom < kFirst || *atom > 0xFFFF || !refs || *refs == 0) return std::nullopt;
    if (hex.empty() || hex.size() % 2 != 0 || hex.size() > 2 * kMaxName) return std::nullopt;
    Entry e{static_cast<ATOM>(*atom), *refs, {}};
    for (size_t i = 0; i < hex.size(); i += 2) {
        const auto byte = parseNumber<unsigned>(hex.substr(i, 2), 16);
        if (!byte) return std::nullopt;
        e.name += static_cast<char>(*byte);
    }
    return e;
}

Entry* findName(Table& table, std::string_view name)
{
    for (Entry& e : table) {
        if (codepage::sameText(e.name, name)) return &e;
    }
    return nullptr;
}

Table parse(std::string_view text)
{
    Table table;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        auto e = parseLine(text.substr(start, end - start));
        start = end + 1;
        if (!e || findName(table, e->name)) continue;
        bool taken = false;
        for (const Entry& other : table) taken = taken || other.atom == e->atom;
        if (!taken) table.push_back(std::move(*e));
    }
    return table;
}

std::string serialize(const Table& table)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const Entry& e : table) {
        for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(e.atom >> shift) & 15];
        out += ' ' + std::to_string(e.refs) + ' ';
        for (char c : e.name) {
            out += kHex[byteOf(c) >> 4];
            out += kHex[byteOf(c) & 15];
        }
        out += '\n';
    }
    return out;
}

std::string tablePath() { return userdirs::runtimeDir() + "/atoms"; }

// Applies change to the table under its lock; change returns false to leave it as it is.
template <class Change>
bool modify(Change&& change)
{
    try {
        const std::string path = tablePath();
        // The runtime folder lasts only this login: no need to sync to disk.
        return lockedfile::update(path, path + ".lock", false, [&](std::string& text) {
            Table table = parse(text);
            if (!change(table)) return false;
            text = serialize(table);
            return true;
        });
    } catch (...) {  // no runtime folder, or out of memory
        return false;
    }
}

bool validName(const AnsiString& name) { return !name.empty() && name.size() <= kMaxName; }

}  // namespace

ATOM globalAddAtom(const AnsiString& name)
{
    if (!validName(name)) return 0;
    ATOM result = 0;
    const bool done = modify([&](Table& table) {
        if (Entry* e = findName(table, name)) {
            ++e->refs;
            result = e->atom;
            return true;
        }
        std::vector<bool> used(0x10000 - kFirst);
        for (const Entry& e : table) used[e.atom - kFirst] = true;
        for (size_t i = 0; i < used.size(); ++i) {
            if (!used[i]) {
                result = static_cast<ATOM>(kFirst + i);
                table.push_back(Entry{result, 1, name});
                return true;
            }
        }
        return false;  // full
    });
    return done ? result : 0;
}

ATOM globalFindAtom(const AnsiString& name)
{
    if (!validName(name)) return 0;
    try {
        std::string text;
        if (lockedfile::readAll(tablePath(), text) != lockedfile::ReadResult::Ok) return 0;
        Table table = parse(text);
        const Entry* e = findName(table, name);
        return e ? e->atom : 0;
    } catch (...) {
        return 0;
    }
}

ATOM globalDeleteAtom(ATOM atom)
{
    const bool done = atom >= kFirst && modify([&](Table& table) {
        for (auto it = table.begin(); it != table.end(); ++it) {
            if (it->atom != atom) continue;
            if (--it->refs == 0) table.erase(it);
            return true;
        }
        return false;
    });
    return done ? 0 : atom;
}

}  // namespace atoms
