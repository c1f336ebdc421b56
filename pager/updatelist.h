#pragma once
// The data of the update dialog: hosts.dat (the update servers offered) and
// update.lst (the server's list of files to fetch or delete), and the rules
// that decide what one entry of the list does to the program folder.
//
// An update may write and delete only the shipped data files: a bare file
// name in the program folder ending in ".dat" (letter case ignored), other
// than the user's own files (book.dat, user.dat, messages.dat, wait.dat).
// Every other name is refused: one that could reach outside the folder (a
// "/", "\", "..", ":", a leading ".", a control character), an empty one, and
// the programs, their libraries and the settings, which a server must never
// replace or remove. An existing file is matched without regard to letter
// case (the Windows-1251 rule), so "Operators.dat" names operators.dat.

#include "platform/ansistring.h"

#include <cstdint>
#include <string>
#include <vector>

// Bare names of the files in the program folder.
inline constexpr const char* HostsFile = "hosts.dat";
inline constexpr const char* UpdateListFile = "update.lst";

// The update folder offered when there is no hosts.dat: the maker's web host
// (a reserved example name, so it is never looked up) with /pager/update.
inline constexpr const char* DefaultUpdateFolder = "http://www.kestrane.example/pager/update";

// The key "url" of every section of hosts.dat in file order (an empty text
// for a section without it); nothing when the file does not exist.
std::vector<AnsiString> ReadUpdateHosts(const std::string& FileName);

enum class TUpdateAction { None, Delete, Change, Update };

struct TUpdateEntry {
    AnsiString Name;                         // the key, as the list writes it
    TUpdateAction Action = TUpdateAction::None;
    int32_t Size = 0;                        // UPDATE: the size the local file should have
};

// One value of section Files: upper-cased, split at the first comma not
// preceded by a backslash; "DELETE", "CHANGE", "UPDATE" with an optional
// decimal size (missing or not a number: 0); anything else does nothing.
TUpdateEntry ParseUpdateEntry(const AnsiString& Name, const AnsiString& Value);

// The keys of section Files of update.lst in file order.
std::vector<TUpdateEntry> ReadUpdateList(const std::string& FileName);

// A name the list may use: a shipped data file of the program folder (above).
bool IsSafeUpdateName(const AnsiString& Name);

// The local file of a listed name in Folder (ending in "/"): the existing
// file whose name matches without regard to letter case (an exact match
// first), else Folder + the name. The name is cp1251; the path is as the
// file system takes it.
std::string LocalUpdateFile(const std::string& Folder, const AnsiString& Name);

// Size in bytes of a regular file, -1 when there is none.
int64_t LocalFileSize(const std::string& Path);

// UPDATE downloads unless the local size equals the listed size; CHANGE
// always does.
bool NeedsDownload(const TUpdateEntry& Entry, int64_t LocalSize);

// The address of a listed file: Base, a "/" unless Base already ends in one,
// then Name with every byte outside letters, digits and "-._~"
// percent-encoded.
AnsiString UpdateFileUrl(const AnsiString& Base, const AnsiString& Name);
