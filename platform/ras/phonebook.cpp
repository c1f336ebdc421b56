#include "platform/ras/phonebook.h"

#include "platform/codepage.h"
#include "platform/inifile.h"
#include "platform/ras/rasapi.h"
#include "platform/readfile.h"
#include "platform/userdirs.h"

#include <QStringDecoder>

#include <algorithm>
#include <sys/stat.h>

namespace rasbook {
namespace {

std::vector<AnsiString> splitList(const AnsiString& text)
{
    std::vector<AnsiString> out;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        if (comma == AnsiString::npos) comma = text.size();
        AnsiString item = Trim(std::string_view(text).substr(pos, comma - pos));
        if (!item.empty()) out.push_back(std::move(item));
        pos = comma + 1;
    }
    return out;
}

uint32_t readNumber(const TIniFile& ini, const AnsiString& section, const char* key, uint32_t def)
{
    return static_cast<uint32_t>(ini.ReadInteger(section, key, static_cast<int32_t>(def)));
}

uint32_t authOf(const AnsiString& name)
{
    const AnsiString n = codepage::upperCase(name);
    if (n == "SPAP") return ras::RASLCPAP_SPAP;
    if (n == "CHAP") return ras::RASLCPAP_CHAP;
    if (n == "EAP") return ras::RASLCPAP_EAP;
    if (n == "NONE") return 0;
    return ras::RASLCPAP_PAP;
}

bool isFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && readfile::readable(st);
}

// The phonebook's lines. The file is Windows-1251; one written as UTF-8 (as a
// text editor here writes it) is taken as such: Russian in Windows-1251 is
// never valid UTF-8.
TIniFile readBook(const std::string& path)
{
    // What cannot be read (platform/readfile) holds no entry.
    std::string text;
    if (readfile::readAll(path, text) != readfile::ReadResult::Ok) text.clear();
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    const bool wide = std::any_of(text.begin(), text.end(), [](char c) { return byteOf(c) >= 0x80; });
    if (wide) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString unicode = utf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
        if (!utf8.hasError()) return TIniFile(path, codepage::fromUnicode(unicode));
    }
    return TIniFile(path, text);
}

std::optional<uint32_t> number(const std::vector<AnsiString>& words, size_t i)
{
    if (i >= words.size() || words[i].empty()) return std::nullopt;
    uint32_t v = 0;
    for (char c : words[i]) {
        if (c < '0' || c > '9' || v > 100000000u) return std::nullopt;
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    return v;
}

}  // namespace

std::string systemPhonebookPath() { return userdirs::configDir() + "/phonebook.ini"; }

std::optional<LineScript> parseLine(const AnsiString& text)
{
    std::vector<AnsiString> words;
    for (const std::string& w : splitCommand(text)) words.push_back(codepage::lowerCase(w));
    if (words.empty()) return LineScript{};
    LineScript s;
    const AnsiString& w = words[0];
    size_t expected = 1;
    if (w == "connect") {
    } else if (w == "busy") {
        s = {LineScript::Fail, ras::ERROR_LINE_BUSY, ras::RASCS_ConnectDevice, 0, 0};
    } else if (w == "noanswer") {
        s = {LineScript::Fail, ras::ERROR_NO_ANSWER, ras::RASCS_ConnectDevice, 1, 0};
    } else if (w == "nodialtone") {
        s = {LineScript::Fail, ras::ERROR_NO_DIALTONE, ras::RASCS_ConnectDevice, 0, 0};
    } else if (w == "authfail") {
        s = {LineScript::Fail, ras::ERROR_AUTHENTICATION_FAILURE, ras::RASCS_Authenticate, 0, 0};
    } else if (w == "refuse") {
        s.kind = LineScript::Refuse;
        s.error = ras::ERROR_PORT_NOT_AVAILABLE;
    } else if (w == "drop") {
        const auto n = number(words, 1);
        if (!n) return std::nullopt;
        s.kind = LineScript::Drop;
        s.dropSeconds = *n;
        expected = 2;
    } else if (w == "fail") {
        const auto code = number(words, 1);
        const auto state = number(words, 2);
        if (!code || *code == 0 || !state || *state > ras::RASCS_Authenticate) return std::nullopt;
        s = {LineScript::Fail, *code, *state, 0, 0};
        expected = 3;
    } else {
        return std::nullopt;
    }
    if (words.size() != expected) return std::nullopt;
    return s;
}

AnsiString Entry::lineFor(const AnsiString& dialled) const
{
    AnsiString n = Trim(dialled);
    if (!n.empty() && (n[0] == 'T' || n[0] == 't' || n[0] == 'P' || n[0] == 'p')) n.erase(0, 1);
    for (const auto& [num, value] : numberLines) {
        if (num == n) return value;
    }
    return line;
}

Phonebook::Phonebook(std::string path) : path_(std::move(path)), exists_(isFile(path_)) {}

std::vector<AnsiString> Phonebook::names() const
{
    if (!exists_) return {};
    return readBook(path_).ReadSections();
}

std::optional<Entry> Phonebook::entry(const AnsiString& name) const
{
    if (!exists_ || name.empty()) return std::nullopt;
    const TIniFile ini = readBook(path_);
    if (!ini.SectionExists(name)) return std::nullopt;
    const AnsiString& s = name;
    Entry e;
    e.name = name;
    e.options = readNumber(ini, s, "Options", 0);
    if (ini.ReadBool(s, "UseCountryAndAreaCodes", false)) e.options |= ras::RASEO_UseCountryAndAreaCodes;
    if (ini.ReadBool(s, "PromoteAlternates", false)) e.options |= ras::RASEO_PromoteAlternates;
    e.countryCode = readNumber(ini, s, "CountryCode", 7);
    e.countryID = readNumber(ini, s, "CountryID", e.countryCode);
    e.areaCode = ini.ReadString(s, "AreaCode", "");
    e.dialMode = readNumber(ini, s, "DialMode", 0);
    e.autodialDll = ini.ReadString(s, "AutodialDll", "");
    e.autodialFunc = ini.ReadString(s, "AutodialFunc", "");

    Link own;
    own.number = ini.ReadString(s, "Number", "");
    own.deviceType = ini.ReadString(s, "DeviceType", "modem");
    own.device = ini.ReadString(s, "Device", "Modem");
    own.port = ini.ReadString(s, "Port", "");
    own.alternates = splitList(ini.ReadString(s, "Alternates", ""));
    e.links.push_back(own);
    for (int i = 2;; ++i) {
        const AnsiString p = "SubEntry" + std::to_string(i) + ".";
        if (!ini.ValueExists(s, p + "Number")) break;
        Link l;
        l.number = ini.ReadString(s, p + "Number", "");
        l.deviceType = ini.ReadString(s, p + "DeviceType", own.deviceType);
        l.device = ini.ReadString(s, p + "Device", own.device);
        l.port = ini.ReadString(s, p + "Port", "");
        l.alternates = splitList(ini.ReadString(s, p + "Alternates", ""));
        e.links.push_back(std::move(l));
    }

    e.userName = ini.ReadString(s, "UserName", "");
    e.passwordSaved = ini.ValueExists(s, "Password");
    if (e.passwordSaved) e.password = ini.ReadString(s, "Password", "");
    e.domain = ini.ReadString(s, "Domain", "");
    e.callbackNumber = ini.ReadString(s, "CallbackNumber", "");

    e.clientIp = ini.ReadString(s, "ClientIP", "192.0.2.2");
    e.serverIp = ini.ReadString(s, "ServerIP", "192.0.2.1");
    e.authProtocol = authOf(ini.ReadString(s, "Auth", "PAP"));
    e.replyMessage = ini.ReadString(s, "ReplyMessage", "");
    e.speed = readNumber(ini, s, "Speed", 33600);
    e.interfaceName = ini.ReadString(s, "Interface", "");

    e.onUp = ini.ReadString(s, "OnUp", "");
    e.onDown = ini.ReadString(s, "OnDown", "");
    e.line = ini.ReadString(s, "Line", "connect");
    for (const auto& [key, value] : ini.ReadSectionValues(s)) {
        if (key.size() > 5 && codepage::sameText(std::string_view(key).substr(0, 5), "Line.")) {
            e.numberLines.emplace_back(key.substr(5), value);
        }
    }
    e.dialTime = readNumber(ini, s, "DialTime", 8000);
    e.stepTime = ini.ValueExists(s, "StepTime") ? ini.ReadInteger(s, "StepTime", 0) : -1;
    if (e.stepTime < -1) e.stepTime = 0;
    e.hangUpTime = readNumber(ini, s, "HangUpTime", 500);
    e.earlyNotify = ini.ReadBool(s, "EarlyNotify", false);
    e.enumError = readNumber(ini, s, "EnumError", 0);
    e.projectionError = readNumber(ini, s, "ProjectionError", 0);
    return e;
}

std::string phonebookPathOf(const char* phonebook)
{
    if (!phonebook || !*phonebook) return systemPhonebookPath();
    std::string path = codepage::toUtf8(phonebook);
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

std::vector<std::string> splitCommand(const AnsiString& command)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : command) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && byteOf(c) <= ' ') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

}  // namespace rasbook
