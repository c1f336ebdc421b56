#pragma once
// Ini files with the host's profile-file rules, which the data files of the
// programs were written by:
//  - Windows-1251 bytes; LF or CR LF read, CR LF written;
//  - section and key names compared without letter case (Cyrillic too) and
//    trimmed; the first occurrence of a section or key wins;
//  - values trimmed, one pair of enclosing quotes (" or ') dropped, read
//    whole whatever their length (the files are the programs' own, and what
//    was written must read back); lines starting with ";" are comments;
//  - file order kept: a rewritten key stays in its place, a new key goes after
//    the last key of its section, a new section to the end of the file; empty
//    sections, comments and unknown keys are kept as they stand.
//
// Changes are made in memory and written by UpdateFile() at once, by the
// rules of platform/atomicfile: a temporary file in the same folder, flushed,
// then renamed over the old one; a read-only file stays as it is and a
// symbolic link keeps pointing at the file it names. A failed or refused write
// raises "Unable to write to <file>" and leaves the old file whole. Names the
// format cannot hold faithfully are refused with an EIniFileException rather
// than written to read back differently.

#include "platform/exception.h"

#include <cstdint>
#include <optional>
#include <sys/types.h>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

// The value to write so that ReadString gives V back: a value that begins and
// ends with the same quote would lose that pair, so it gets one more around it.
AnsiString IniValueOf(AnsiString V);

class TIniFile {
public:
    // Reads the file when it exists; a missing or unreadable file is empty.
    // A read never waits on what stands in the file's place (platform/readfile).
    explicit TIniFile(std::string fileName);
    // Reads the lines of Text (Windows-1251) instead of the file; the file is
    // only written, by UpdateFile.
    TIniFile(std::string fileName, std::string_view text);

    const std::string& FileName() const noexcept { return fileName_; }

    AnsiString ReadString(const AnsiString& section, const AnsiString& key,
                          const AnsiString& def) const;
    // Decimal (or $hex / 0xhex) 32-bit integer; the default when missing or
    // not a number.
    int32_t ReadInteger(const AnsiString& section, const AnsiString& key, int32_t def) const;
    // An integer; true when not 0.
    bool ReadBool(const AnsiString& section, const AnsiString& key, bool def) const;

    void WriteString(const AnsiString& section, const AnsiString& key, const AnsiString& value);
    void WriteInteger(const AnsiString& section, const AnsiString& key, int32_t value);
    void WriteBool(const AnsiString& section, const AnsiString& key, bool value);

    // Section names in file order.
    std::vector<AnsiString> ReadSections() const;
    // Key names of a section in file order.
    std::vector<AnsiString> ReadSection(const AnsiString& section) const;
    // (key, value) pairs of a section in file order, values read as ReadString does.
    std::vector<std::pair<AnsiString, AnsiString>> ReadSectionValues(const AnsiString& section) const;

    bool SectionExists(const AnsiString& section) const;
    bool ValueExists(const AnsiString& section, const AnsiString& key) const;

    void EraseSection(const AnsiString& section);
    // Gives the section (its first occurrence) a new name in its place; the
    // new name is checked as a written one is. Nothing when it is missing.
    void RenameSection(const AnsiString& section, const AnsiString& newName);
    void DeleteKey(const AnsiString& section, const AnsiString& key);
    // Deletes every key of the section, later duplicates too; the section
    // keeps its place, its comments and its blank lines.
    void DeleteKeys(const AnsiString& section);
    // Forgets every line: the next UpdateFile writes only what is written after.
    void Clear();

    // Writes the file when anything changed since it was read or last written.
    void UpdateFile();
    // Deletes the file by the same rules ("Unable to write to <file>" when it
    // is read-only); a missing file is no error.
    static void DeleteFile(const std::string& fileName);
    // The error a refused or failed write of the file raises.
    static EIniFileException WriteError(const std::string& fileName);
    bool Modified() const noexcept { return modified_; }
    // The file exists but could not be read (platform/readfile: no regular
    // file, far too large, no read access): it reads as empty, and
    // UpdateFile refuses to write over it as over a read-only file.
    bool LoadFailed() const noexcept { return loadFailed_; }
    // Permission bits UpdateFile gives the file when it makes it anew (the
    // umask applies); an existing file keeps its own.
    void SetNewFileMode(mode_t Mode) noexcept { newFileMode_ = Mode; }

private:
    struct Line {
        std::string raw;    // as read, without the line end; rebuilt for written keys
        bool isKey = false;
        AnsiString key;     // trimmed
        AnsiString value;   // trimmed, quotes not yet dropped
    };
    struct Section {
        std::string header;  // "[name]" line as read; empty for the lines before any section
        AnsiString name;
        std::vector<Line> lines;
        mutable std::unordered_map<AnsiString, size_t> keys;  // upper-cased key -> line
        mutable bool keysValid = false;
    };

    const Section* findSection(const AnsiString& name) const;
    Section* findSection(const AnsiString& name);
    const Line* findKey(const Section& s, const AnsiString& key) const;
    void reindex();
    void load();
    void parse(std::string_view text);

    std::string fileName_;
    std::vector<Section> sections_;  // sections_[0]: lines before the first section
    std::unordered_map<AnsiString, size_t> index_;  // upper-cased name -> first section
    bool modified_ = false;
    bool loadFailed_ = false;
    mode_t newFileMode_ = 0666;
};
