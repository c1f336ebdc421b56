#include "platform/registry.h"

#include "platform/autostart.h"
#include "platform/codepage.h"
#include "platform/lockedfile.h"
#include "platform/userdirs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

// The file, UTF-8 on disk:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Kestrane\Pager]
//   "Handle"=dword:0001a2b3
//   "Path"="/home/x/Orv Dialer/OrvDialer"
//
// Writers give a new key's parents sections of their own; where the file lacks
// them, the parents still exist. Inside quotes a backslash is written \\, a
// quote \" and a control byte (below 0x20, 0x7F) or a byte that is no part of
// a UTF-8 character \xHH, HH being the byte of the file's text, so any text
// reads back unchanged. A string value is kept as the bytes the file holds:
// read as a text it becomes cp1251, read as a path it stays as it is, so a
// file name of any bytes survives. "@" names the key's unnamed value. Lines
// that do not parse are skipped, and so are the values under a header that
// does not.

namespace registry {
namespace {

constexpr std::string_view kRoot = "HKEY_CURRENT_USER";
constexpr std::string_view kFormat = "REGEDIT4";

struct Value {
    AnsiString name;
    bool isDword = false;
    uint32_t dword = 0;
    std::string bytes;  // a string value as the file holds it (UTF-8, or a path's own bytes)
};

struct Key {
    AnsiString path;  // "A\B\C" without outer backslashes; "" is the root
    std::vector<Value> values;
};

using Store = std::vector<Key>;  // in file order

// ---- key paths -----------------------------------------------------------

// "\A\\B\" -> "A\B"; nullopt when a name holds a control byte.
std::optional<AnsiString> normalKey(std::string_view key)
{
    AnsiString out;
    size_t i = 0;
    while (i < key.size()) {
        const size_t end = std::min(key.find('\\', i), key.size());
        if (end > i) {
            if (!out.empty()) out += '\\';
            out.append(key.substr(i, end - i));
        }
        i = end + 1;
    }
    for (char c : out) {
        if (byteOf(c) < 0x20 || byteOf(c) == 0x7F) return std::nullopt;
    }
    return out;
}

// True when path is key itself or lies below it.
bool within(std::string_view path, std::string_view key)
{
    if (key.empty()) return true;
    if (path.size() < key.size() || !codepage::sameText(path.substr(0, key.size()), key)) return false;
    return path.size() == key.size() || path[key.size()] == '\\';
}

const Key* findKey(const Store& store, std::string_view path)
{
    for (const Key& k : store) {
        if (codepage::sameText(k.path, path)) return &k;
    }
    return nullptr;
}

Key* findKey(Store& store, std::string_view path)
{
    return const_cast<Key*>(findKey(std::as_const(store), path));
}

// A key exists when it has a section or something below it has one; the root always does.
bool keyIn(const Store& store, std::string_view path)
{
    if (path.empty()) return true;
    for (const Key& k : store) {
        if (within(k.path, path)) return true;
    }
    return false;
}

const Value* findValue(const Key& key, std::string_view name)
{
    for (const Value& v : key.values) {
        if (codepage::sameText(v.name, name)) return &v;
    }
    return nullptr;
}

// The key with its parents, made when missing; names already present keep their spelling.
Key& makeKey(Store& store, const AnsiString& path)
{
    AnsiString spelled;
    for (size_t start = 0; start < path.size();) {
        const size_t end = std::min(path.find('\\', start), path.size());
        const std::string_view prefix = std::string_view(path).substr(0, end);
        AnsiString next = spelled.empty() ? AnsiString() : spelled + '\\';
        next.append(path, start, end - start);
        for (const Key& k : store) {
            if (within(k.path, prefix)) {
                next = k.path.substr(0, prefix.size());
                break;
            }
        }
        spelled = std::move(next);
        if (!findKey(store, spelled)) {
            // Before the first of its subkeys that has a section, else at the end.
            auto at = std::find_if(store.begin(), store.end(), [&](const Key& k) { return within(k.path, spelled); });
            store.insert(at, Key{spelled, {}});
        }
        start = end + 1;
    }
    if (Key* k = findKey(store, spelled)) return *k;
    return store.emplace_back(Key{spelled, {}});  // the root
}

void setValue(Key& key, Value value)
{
    for (Value& v : key.values) {
        if (codepage::sameText(v.name, value.name)) {
            value.name = std::move(v.name);  // the place and the spelling stay
            v = std::move(value);
            return;
        }
    }
    key.values.push_back(std::move(value));
}

// ---- the file ------------------------------------------------------------

// Length of the UTF-8 character at s[i], 0 when the bytes there are none.
size_t utf8Length(std::string_view s, size_t i)
{
    const unsigned char b = byteOf(s[i]);
    size_t n = 0;
    char32_t cp = 0;
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        cp = b & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        const unsigned char c = byteOf(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
    if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    return n;
}

// s (bytes of the file's text) quoted.
void appendQuoted(std::string& out, std::string_view s)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (size_t i = 0; i < s.size();) {
        const char c = s[i];
        const unsigned char b = byteOf(c);
        const size_t n = utf8Length(s, i);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (n == 0 || b < 0x20 || b == 0x7F) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out.append(s.substr(i, n));
            i += n;
            continue;
        }
        ++i;
    }
    out += '"';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted text at s[pos] (the opening quote); pos ends after the closing one.
std::optional<std::string> parseQuoted(std::string_view s, size_t& pos)
{
    if (pos >= s.size() || s[pos] != '"') return std::nullopt;
    std::string out;
    for (size_t i = pos + 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= s.size()) return std::nullopt;
        if (s[i] == '\\' || s[i] == '"') {
            out += s[i];
        } else if (s[i] == 'x' && i + 2 < s.size() && hexDigit(s[i + 1]) >= 0 && hexDigit(s[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(s[i + 1]) * 16 + hexDigit(s[i + 2]));
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<uint32_t> parseDword(std::string_view s)
{
    if (s.empty() || s.size() > 8) return std::nullopt;
    uint32_t v = 0;
    for (char c : s) {
        const int d = hexDigit(c);
        if (d < 0) return std::nullopt;
        v = v * 16 + static_cast<uint32_t>(d);
    }
    return v;
}

std::string_view trimRight(std::string_view s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::optional<Value> parseValue(std::string_view line)
{
    Value v;
    size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else {
        auto name = parseQuoted(line, pos);
        if (!name) return std::nullopt;
        v.name = codepage::fromUtf8(*name);
    }
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    const std::string_view data = line.substr(pos + 1);
    if (data.starts_with("dword:")) {
        const auto d = parseDword(data.substr(6));
        if (!d) return std::nullopt;
        v.isDword = true;
        v.dword = *d;
        return v;
    }
    size_t end = 0;
    auto text = parseQuoted(data, end);
    if (!text || end != data.size()) return std::nullopt;
    v.bytes = std::move(*text);
    return v;
}

// A section header "[HKEY_CURRENT_USER\...]" -> its normal key path.
std::optional<AnsiString> parseHeader(std::string_view line)
{
    if (line.size() < 2 || line.back() != ']') return std::nullopt;
    const std::string_view inner = line.substr(1, line.size() - 2);
    if (inner.size() < kRoot.size() || !codepage::sameText(inner.substr(0, kRoot.size()), kRoot)) {
        return std::nullopt;
    }
    const std::string_view rest = inner.substr(kRoot.size());
    if (!rest.empty() && rest[0] != '\\') return std::nullopt;
    return normalKey(rest);
}

// The store a file's text holds; nullopt when the text is no registry file
// of ours (its first line is not the format's name). An empty file holds an
// empty store.
std::optional<Store> parse(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return Store{};
    if (trimRight(text.substr(0, std::min(text.find('\n'), text.size()))) != kFormat) return std::nullopt;
    Store store;
    std::unordered_map<AnsiString, size_t> keys;  // the sections so far, by upper-cased path
    constexpr size_t kNone = ~size_t{0};
    size_t current = kNone;  // index into store; none under a bad header
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = trimRight(std::string_view(text).substr(start, end - start));
        start = end + 1;
        if (line.empty()) continue;
        if (line[0] == '[') {
            current = kNone;
            if (auto path = parseHeader(codepage::fromUtf8(line))) {
                // A repeated section adds to the first one.
                const auto [at, added] = keys.try_emplace(codepage::upperCase(*path), store.size());
                if (added) store.push_back(Key{std::move(*path), {}});
                current = at->second;
            }
        } else if (current != kNone && (line[0] == '"' || line[0] == '@')) {
            // A repeated name: the later line wins, in the earlier one's place.
            if (auto v = parseValue(line)) setValue(store[current], std::move(*v));
        }
    }
    return store;
}

std::string serialize(const Store& store)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = std::string(kFormat) + "\n\n";
    for (const Key& k : store) {
        out += '[';
        out += kRoot;
        if (!k.path.empty()) {
            out += '\\';
            out += codepage::toUtf8(k.path);
        }
        out += "]\n";
        for (const Value& v : k.values) {
            if (v.name.empty()) {
                out += '@';
            } else {
                appendQuoted(out, codepage::toUtf8(v.name));
            }
            out += '=';
            if (v.isDword) {
                out += "dword:";
                for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(v.dword >> shift) & 15];
            } else {
                appendQuoted(out, v.bytes);
            }
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

// ---- access --------------------------------------------------------------

std::string storePath() { return userdirs::configDir() + "/registry.reg"; }

// The store as the file holds it now; nullopt when the file exists but
// cannot be read or is no registry file (platform/readfile), empty when it
// is missing.
std::optional<Store> read()
{
    std::string text;
    if (lockedfile::readAll(storePath(), text) == lockedfile::ReadResult::Failed) return std::nullopt;
    return parse(text);
}

// The file as this process last read or wrote it, parsed, so that the same
// text is not parsed again at every call. It is used only for that very text:
// a call compares the file's text with it byte for byte. The file's identity
// (device, inode, size, modification and change times to the nanosecond)
// spares that read too, but only for a file left alone for a while
// (kSettledNs): one changed in place within the file system's time
// granularity of our look could keep every field of it. A change by the
// other program renames a new file into place, so it always shows in the
// identity; a change in place shows in the times (the change time cannot be
// set back).
struct Identity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    bool operator==(const Identity&) const = default;
};

struct Cache {
    bool valid = false;    // store is the parse of text
    bool settled = false;  // id stands for text
    Identity id;
    std::string text;
    Store store;
};

constexpr int64_t kSettledNs = 3'000'000'000;  // above the coarsest time granularity (FAT's 2 s)

std::mutex cacheLock;
Cache cache;  // under cacheLock

int64_t nanoseconds(const timespec& t) { return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; }

// The file's identity now, and whether it is settled; none when there is no file to look at.
std::optional<Identity> identityOf(const std::string& path, bool& settled)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    const Identity id{st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim), nanoseconds(st.st_ctim)};
    settled = std::max(id.mtimeNs, id.ctimeNs) + kSettledNs < nanoseconds(now);
    return id;
}

// Makes the cache the parse of text (under cacheLock); false when the text is
// no registry file.
bool cacheText(const std::string& text)
{
    if (cache.valid && cache.text == text) return true;
    cache.valid = false;
    std::optional<Store> store = parse(text);
    if (!store) return false;
    cache.text = text;
    cache.store = std::move(*store);
    cache.valid = true;
    return true;
}

// use(store) with the store as the file holds it now: empty when the file is
// missing or cannot be read.
template <class Use>
auto withStore(Use&& use)
{
    static const Store none;
    std::lock_guard lock(cacheLock);
    const Store* store = &none;
    try {
        const std::string path = storePath();
        bool settled = false;
        // Taken before the text is read: a file replaced in between has
        // another identity, so the pair never stands for a wrong text.
        const std::optional<Identity> id = identityOf(path, settled);
        if (id && cache.valid && cache.settled && cache.id == *id) {
            store = &cache.store;
        } else {
            std::string text;
            if (lockedfile::readAll(path, text) != lockedfile::ReadResult::Failed && cacheText(text)) {
                cache.id = id.value_or(Identity{});
                cache.settled = id && settled;
                store = &cache.store;
            }
        }
    } catch (...) {  // no config folder: nothing stored; out of memory
        cache.valid = false;
        store = &none;
    }
    return use(*store);
}

// Applies change(store, key path) under the lock; change returns false when
// there is nothing to do, having changed nothing. False when the key name is
// invalid or the file cannot be written.
template <class Change>
bool modify(const AnsiString& key, Change&& change)
{
    const auto path = normalKey(key);
    if (!path) return false;
    std::lock_guard lock(cacheLock);
    try {
        const std::string file = storePath();
        return lockedfile::update(
            file, userdirs::configDir() + "/registry.lock", true,
            [&](std::string& text) {
                // A file that is no registry file is never written over.
                if (!cacheText(text)) return false;
                cache.settled = false;
                if (!change(cache.store, *path)) return false;
                // Should the write fail, the text differs from the file's and
                // the next call parses the file again.
                text = serialize(cache.store);
                cache.text = text;
                return true;
            },
            [&] {
                // Still under the file lock: no other writer came between.
                bool settled = false;
                if (const auto id = identityOf(file, settled)) {
                    cache.id = *id;
                    cache.settled = settled;
                }
            });
    } catch (...) {  // no config folder, or out of memory
        cache.valid = false;
        return false;
    }
}

const Value* lookup(const Store& store, const AnsiString& key, const AnsiString& name)
{
    const auto path = normalKey(key);
    if (!path) return nullptr;
    const Key* k = findKey(store, *path);
    return k ? findValue(*k, name) : nullptr;
}

// True for the autostart key, whose values live in the autostart list.
bool isRunKey(const AnsiString& key)
{
    const auto path = normalKey(key);
    return path && codepage::sameText(*path, *normalKey(RunKey));
}

Value valueOf(const NamedValue& v)
{
    if (const auto* d = std::get_if<uint32_t>(&v.data)) return Value{v.name, true, *d, {}};
    return Value{v.name, false, 0, codepage::toUtf8(std::get<AnsiString>(v.data))};
}

}  // namespace

bool keyExists(const AnsiString& key)
{
    const auto path = normalKey(key);
    return path && (isRunKey(key) || withStore([&](const Store& store) { return keyIn(store, *path); }));
}

bool valueExists(const AnsiString& key, const AnsiString& name)
{
    if (isRunKey(key)) return autostart::read(name).has_value();
    return withStore([&](const Store& store) { return lookup(store, key, name) != nullptr; });
}

std::optional<uint32_t> readDword(const AnsiString& key, const AnsiString& name)
{
    if (isRunKey(key)) return std::nullopt;
    return withStore([&](const Store& store) -> std::optional<uint32_t> {
        const Value* v = lookup(store, key, name);
        if (!v || !v->isDword) return std::nullopt;
        return v->dword;
    });
}

std::optional<AnsiString> readString(const AnsiString& key, const AnsiString& name)
{
    if (isRunKey(key)) return autostart::read(name);
    return withStore([&](const Store& store) -> std::optional<AnsiString> {
        const Value* v = lookup(store, key, name);
        if (!v || v->isDword) return std::nullopt;
        return codepage::fromUtf8(v->bytes);
    });
}

std::optional<std::string> readPath(const AnsiString& key, const AnsiString& name)
{
    if (isRunKey(key)) return autostart::readPath(name);
    return withStore([&](const Store& store) -> std::optional<std::string> {
        const Value* v = lookup(store, key, name);
        if (!v || v->isDword) return std::nullopt;
        return v->bytes;
    });
}

bool writeDword(const AnsiString& key, const AnsiString& name, uint32_t value)
{
    return writeValues(key, {NamedValue{name, value}});
}

bool writeString(const AnsiString& key, const AnsiString& name, const AnsiString& value)
{
    if (isRunKey(key)) return autostart::write(name, value);
    return writePath(key, name, codepage::toUtf8(value));
}

bool writePath(const AnsiString& key, const AnsiString& name, const std::string& path)
{
    if (isRunKey(key)) return autostart::writePath(name, path);
    return modify(key, [&](Store& store, const AnsiString& keyPath) {
        setValue(makeKey(store, keyPath), Value{name, false, 0, path});
        return true;
    });
}

bool writeDwords(const AnsiString& key, const std::vector<std::pair<AnsiString, uint32_t>>& values)
{
    std::vector<NamedValue> named;
    for (const auto& [name, value] : values) named.push_back(NamedValue{name, value});
    return writeValues(key, named);
}

bool writeValues(const AnsiString& key, const std::vector<NamedValue>& values)
{
    if (isRunKey(key)) return false;
    return modify(key, [&](Store& store, const AnsiString& path) {
        Key& k = makeKey(store, path);
        for (const NamedValue& v : values) setValue(k, valueOf(v));
        return true;
    });
}

bool replaceValues(const AnsiString& key, const std::vector<NamedValue>& values)
{
    if (isRunKey(key)) return false;
    return modify(key, [&](Store& store, const AnsiString& path) {
        Key& k = makeKey(store, path);
        k.values.clear();
        for (const NamedValue& v : values) setValue(k, valueOf(v));
        return true;
    });
}

bool deleteDwordIf(const AnsiString& key, const AnsiString& name, uint32_t expected)
{
    if (isRunKey(key)) return false;
    return modify(key, [&](Store& store, const AnsiString& path) {
        Key* k = findKey(store, path);
        if (!k) return false;
        return std::erase_if(k->values, [&](const Value& v) {
                   return codepage::sameText(v.name, name) && v.isDword && v.dword == expected;
               }) > 0;
    });
}

bool deleteValue(const AnsiString& key, const AnsiString& name)
{
    if (isRunKey(key)) return autostart::remove(name);
    return modify(key, [&](Store& store, const AnsiString& path) {
        Key* k = findKey(store, path);
        if (!k) return false;
        return std::erase_if(k->values, [&](const Value& v) { return codepage::sameText(v.name, name); }) > 0;
    });
}

bool deleteKey(const AnsiString& key)
{
    if (isRunKey(key)) return false;
    return modify(key, [&](Store& store, const AnsiString& path) {
        if (path.empty() || !keyIn(store, path)) return false;  // the root stays
        std::erase_if(store, [&](const Key& k) { return within(k.path, path); });
        return true;
    });
}

std::vector<AnsiString> valueNames(const AnsiString& key)
{
    std::vector<AnsiString> names;
    for (NamedValue& v : values(key)) names.push_back(std::move(v.name));
    return names;
}

std::vector<NamedValue> values(const AnsiString& key)
{
    std::vector<NamedValue> out;
    if (isRunKey(key)) {
        for (const AnsiString& name : autostart::names()) {
            if (auto program = autostart::read(name)) out.push_back(NamedValue{name, std::move(*program)});
        }
        return out;
    }
    const auto path = normalKey(key);
    if (!path) return out;
    withStore([&](const Store& store) {
        const Key* k = findKey(store, *path);
        if (!k) return;
        for (const Value& v : k->values) {
            if (v.isDword) {
                out.push_back(NamedValue{v.name, v.dword});
            } else {
                out.push_back(NamedValue{v.name, codepage::fromUtf8(v.bytes)});
            }
        }
    });
    return out;
}

namespace {
template <class T>
std::optional<T> dataIn(const std::vector<NamedValue>& values, const AnsiString& name)
{
    for (const NamedValue& v : values) {
        if (!codepage::sameText(v.name, name)) continue;
        if (const T* data = std::get_if<T>(&v.data)) return *data;
        return std::nullopt;
    }
    return std::nullopt;
}
}  // namespace

std::optional<uint32_t> dwordIn(const std::vector<NamedValue>& values, const AnsiString& name)
{
    return dataIn<uint32_t>(values, name);
}

std::optional<AnsiString> stringIn(const std::vector<NamedValue>& values, const AnsiString& name)
{
    return dataIn<AnsiString>(values, name);
}

std::vector<AnsiString> subKeyNames(const AnsiString& key)
{
    std::vector<AnsiString> names;
    const auto path = normalKey(key);
    if (!path) return names;
    const size_t skip = path->empty() ? 0 : path->size() + 1;
    withStore([&](const Store& store) {
        for (const Key& k : store) {
            if (k.path.size() <= skip || !within(k.path, *path)) continue;
            const size_t end = std::min(k.path.find('\\', skip), k.path.size());
            const AnsiString child = k.path.substr(skip, end - skip);
            bool seen = false;
            for (const AnsiString& n : names) seen = seen || codepage::sameText(n, child);
            if (!seen) names.push_back(child);
        }
    });
    return names;
}

std::string setAsideUnreadable()
{
    std::string kept;
    try {
        const std::string dir = userdirs::configDir();
        const std::string path = storePath();
        lockedfile::locked(dir + "/registry.lock", [&] {
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0 || read()) return true;
            // Under a name no earlier bad file has: none is ever replaced.
            for (int n = 1; n < 1000; ++n) {
                const std::string aside = path + ".bad" + (n == 1 ? std::string() : "-" + std::to_string(n));
                if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
                    kept = aside;
                    return true;
                }
                if (errno != EEXIST) return false;
            }
            return false;
        });
    } catch (...) {  // no config folder: nothing stored
    }
    return kept;
}

}  // namespace registry
