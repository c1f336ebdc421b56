#pragma once
// The current user's registry, kept as one text file shared by both programs:
// userdirs::configDir() + "/registry.reg" (REGEDIT4-like, UTF-8 on disk).
//
// Keys are backslash paths below the current user's root
// ("Software\\Kestrane\\Pager\\Position\\Main"); key and value names compare
// without letter case (Cyrillic too). Values are typed (DWORD or string) and
// keep their insertion order; overwriting a value keeps its place. Texts are
// Windows-1251 in memory; paths are the file system's bytes.
//
// Every call sees the file as it is at that call: the other program may have
// changed it. The parsed file is kept only to spare parsing the same text
// again (see registry.cpp). Every change is made under a file lock and renamed
// into place, so a reader never sees half a file.
//
// Readers never create keys. A value of the other type counts as missing.
// A file that cannot be read is kept as it stands (setAsideUnreadable).
//
// The autostart key Software\Microsoft\Windows\CurrentVersion\Run is the
// desktop session's autostart list (platform/autostart): its values are
// string values only, each one an autostart entry, and the key always exists.
// There writeString and deleteValue act on one entry at a time; writeDword,
// the writers of several values, deleteDwordIf and deleteKey do nothing and
// return false.

#include "platform/ansistring.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace registry {

inline constexpr const char* RunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// A value with its type: a DWORD or a string.
struct NamedValue {
    AnsiString name;
    std::variant<uint32_t, AnsiString> data;
    bool operator==(const NamedValue&) const = default;
};

bool keyExists(const AnsiString& key);
bool valueExists(const AnsiString& key, const AnsiString& name);

std::optional<uint32_t> readDword(const AnsiString& key, const AnsiString& name);
std::optional<AnsiString> readString(const AnsiString& key, const AnsiString& name);
// A string value that holds a file's path, as the file system's bytes (UTF-8
// or whatever else a name holds), not turned into cp1251: any path the file
// system holds comes back as it was written.
std::optional<std::string> readPath(const AnsiString& key, const AnsiString& name);

// Writers create the key (and its parents) when missing. They return false
// when the store cannot be written; nothing is then changed.
bool writeDword(const AnsiString& key, const AnsiString& name, uint32_t value);
bool writeString(const AnsiString& key, const AnsiString& name, const AnsiString& value);
// A path, stored with its bytes as they are (readPath gives them back; read
// by readString it is a text like any other).
bool writePath(const AnsiString& key, const AnsiString& name, const std::string& path);
// Several DWORD values in one change of the file, in the order given.
bool writeDwords(const AnsiString& key, const std::vector<std::pair<AnsiString, uint32_t>>& values);
// Several values of either type in one change, in the order given.
bool writeValues(const AnsiString& key, const std::vector<NamedValue>& values);
// Every value of the key deleted, then the values written in the order given,
// in one change: a reader sees the old values or the new ones, never a mix.
// A name given twice keeps its first place and its last data. Subkeys stay.
bool replaceValues(const AnsiString& key, const std::vector<NamedValue>& values);

// False when there was nothing to delete or the store cannot be written.
bool deleteValue(const AnsiString& key, const AnsiString& name);
bool deleteKey(const AnsiString& key);  // with all its subkeys
// Deletes the DWORD value only while it holds expected, in one change.
bool deleteDwordIf(const AnsiString& key, const AnsiString& name, uint32_t expected);

std::vector<AnsiString> valueNames(const AnsiString& key);
// Every value of the key with its data, in the key's order (one read).
std::vector<NamedValue> values(const AnsiString& key);
// The data of the value so named (without letter case) in such a list;
// nullopt when it is missing or of the other type.
std::optional<uint32_t> dwordIn(const std::vector<NamedValue>& values, const AnsiString& name);
std::optional<AnsiString> stringIn(const std::vector<NamedValue>& values, const AnsiString& name);
std::vector<AnsiString> subKeyNames(const AnsiString& key);


// A registry file that exists but cannot be read (no regular file, far too
// large, no read access) or is no registry file reads as empty and is never
// written over. This moves it aside, under the lock, to "registry.reg.bad"
// (or ".bad-2", ".bad-3"... when that name is taken), so that the settings
// start afresh while the old file is kept; the path it now has, or "" when
// there was nothing to move.
std::string setAsideUnreadable();

}  // namespace registry
