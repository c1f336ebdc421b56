#pragma once
// The remote access service's phonebook: one ini file, one section per entry.
// The keys are described at the top of rasservice.cpp.

#include "platform/ansistring.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rasbook {

// The system phonebook: configDir() + "/phonebook.ini" (a path of this system).
std::string systemPhonebookPath();

// One line (link) of an entry.
struct Link {
    AnsiString number;
    AnsiString deviceType;
    AnsiString device;
    AnsiString port;
    std::vector<AnsiString> alternates;
};

// What the line does when a number is dialled.
struct LineScript {
    enum Kind { Connect, Fail, Drop, Refuse } kind = Connect;
    uint32_t error = 0;       // Fail: the error reported
    uint32_t failState = 0;   // Fail: the last state reached before it (0..5)
    uint32_t longWait = 0;    // Fail: 1 = the error comes after a long wait (no answer)
    uint32_t dropSeconds = 0; // Drop: seconds on line before the line drops
};

// Parses a line value ("connect", "busy", "noanswer", "nodialtone",
// "authfail", "refuse", "drop N", "fail CODE STATE"); nullopt when the text is
// none of them.
std::optional<LineScript> parseLine(const AnsiString& text);

struct Entry {
    AnsiString name;
    uint32_t options = 0;
    uint32_t countryID = 0;
    uint32_t countryCode = 0;
    AnsiString areaCode;
    uint32_t dialMode = 0;
    AnsiString autodialDll;
    AnsiString autodialFunc;
    std::vector<Link> links;  // links[0]: the entry's own line; never empty

    AnsiString userName;
    AnsiString password;
    bool passwordSaved = false;
    AnsiString domain;
    AnsiString callbackNumber;

    AnsiString clientIp;
    AnsiString serverIp;
    uint32_t authProtocol = 0;
    AnsiString replyMessage;
    uint32_t speed = 0;
    std::string interfaceName;  // empty: no traffic source

    AnsiString onUp;
    AnsiString onDown;
    AnsiString line;  // the default line value
    std::vector<std::pair<AnsiString, AnsiString>> numberLines;  // number -> line value
    uint32_t dialTime = 0;
    int64_t stepTime = -1;  // -1: the modem's own timings
    uint32_t hangUpTime = 0;
    bool earlyNotify = false;
    uint32_t enumError = 0;
    uint32_t projectionError = 0;

    // The line value for a dialled number (a leading T or P is not part of it).
    AnsiString lineFor(const AnsiString& number) const;
};

class Phonebook {
public:
    // Path: a file of this system (UTF-8).
    explicit Phonebook(std::string path);

    bool exists() const noexcept { return exists_; }
    const std::string& path() const noexcept { return path_; }
    // Entry names in file order.
    std::vector<AnsiString> names() const;
    std::optional<Entry> entry(const AnsiString& name) const;

private:
    std::string path_;
    bool exists_ = false;
};

// The phonebook a caller names: nullptr or "" is the system phonebook,
// anything else a file name in Windows-1251 (backslashes taken as slashes).
std::string phonebookPathOf(const char* phonebook);

// A command line split into words at blanks; "double quotes" keep blanks
// inside a word. No other character is special.
std::vector<std::string> splitCommand(const AnsiString& command);

}  // namespace rasbook
