#include "netcomp/qor_util.h"

#include "common/strs.h"
#include "netcomp/qormime.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/streams.h"

#include <QString>

#include <array>
#include <climits>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A line that is empty after trimming.
bool isBlankLine(std::string_view s)
{
    for (char c : s) {
        if (byteOf(c) > 32) return false;
    }
    return true;
}

// True when Line begins with Name (upper case), compared without case.
bool startsWithName(std::string_view Line, std::string_view Name)
{
    if (Line.size() < Name.size()) return false;
    for (std::size_t i = 0; i < Name.size(); ++i) {
        if (codepage::upperChar(byteOf(Line[i])) != byteOf(Name[i])) return false;
    }
    return true;
}

// A decimal whole number of the framework's integer range: an optional sign
// and digits, nothing else.
bool toInt(std::string_view s, int& value)
{
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return false;
    long long v = 0;
    for (char c : s) {
        if (!isDigit(c)) return false;
        v = v * 10 + (c - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    value = static_cast<int>(v);
    return true;
}

std::function<int(int)>& randomSource()
{
    static std::function<int(int)> source;
    return source;
}

int randomBelow(int range)
{
    if (const auto& source = randomSource()) return source(range);
    thread_local std::mt19937 generator{std::random_device{}()};
    return std::uniform_int_distribution<int>(0, range - 1)(generator);
}

AnsiString randomLetters(int count, int range)
{
    AnsiString s;
    for (int i = 0; i < count; ++i) s += static_cast<char>('a' + randomBelow(range));
    return s;
}

// ---- charsets ----

enum class Charset { Unknown, Utf8, Koi8r, Cp1251, Iso88595, Latin1, Ascii };

Charset charsetOf(std::string_view name)
{
    AnsiString n;
    for (char c : name) {
        if (c == '*') break;  // RFC 2231 language suffix
        n += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    n = Trim(n);
    struct Alias {
        const char* name;
        Charset charset;
    };
    static constexpr Alias aliases[] = {
        {"utf-8", Charset::Utf8},          {"utf8", Charset::Utf8},
        {"koi8-r", Charset::Koi8r},        {"koi8r", Charset::Koi8r},
        {"cskoi8r", Charset::Koi8r},       {"windows-1251", Charset::Cp1251},
        {"cp1251", Charset::Cp1251},       {"cp-1251", Charset::Cp1251},
        {"win-1251", Charset::Cp1251},     {"win1251", Charset::Cp1251},
        {"x-cp1251", Charset::Cp1251},     {"iso-8859-5", Charset::Iso88595},
        {"iso8859-5", Charset::Iso88595},  {"iso_8859-5", Charset::Iso88595},
        {"cyrillic", Charset::Iso88595},   {"iso-8859-1", Charset::Latin1},
        {"iso8859-1", Charset::Latin1},    {"iso_8859-1", Charset::Latin1},
        {"latin1", Charset::Latin1},       {"latin-1", Charset::Latin1},
        {"us-ascii", Charset::Ascii},      {"ascii", Charset::Ascii},
    };
    for (const auto& a : aliases) {
        if (n == a.name) return a.charset;
    }
    return Charset::Unknown;
}

// Unicode of KOI8-R bytes 0x80..0xBF (box drawing and a few signs); the
// letters 0xC0..0xFF are the cp1251 letters in KOI8-R order.
constexpr std::array<char16_t, 64> Koi8High = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524,  // 80
    0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588, 0x258C, 0x2590,  // 88
    0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248,  // 90
    0x2264, 0x2265, 0x00A0, 0x2321, 0x00B0, 0x00B2, 0x00B7, 0x00F7,  // 98
    0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555, 0x2556,  // A0
    0x2557, 0x2558, 0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E,  // A8
    0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565,  // B0
    0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x00A9,  // B8
};

char16_t iso88595(unsigned char b)
{
    if (b <= 0xA0 || b == 0xAD) return b;
    if (b == 0xF0) return 0x2116;
    if (b == 0xFD) return 0x00A7;
    return static_cast<char16_t>(0x0400 + (b - 0xA0));
}

// cp1251 byte of every byte of a single-byte charset, "?" where cp1251 has
// no such character.
using ByteTable = std::array<char, 256>;

ByteTable makeTable(Charset cs)
{
    ByteTable t{};
    QString unicode;
    for (int b = 0; b < 256; ++b) {
        const auto u = static_cast<unsigned char>(b);
        char16_t c = u;
        if (cs == Charset::Koi8r && u >= 0x80 && u < 0xC0) c = Koi8High[u - 0x80];
        if (cs == Charset::Iso88595) c = iso88595(u);
        unicode += QChar(c);
    }
    const AnsiString bytes = codepage::fromUnicode(unicode);
    for (int b = 0; b < 256; ++b) t[static_cast<std::size_t>(b)] = bytes[static_cast<std::size_t>(b)];
    if (cs == Charset::Koi8r) {
        for (int w = 0xC0; w <= 0xFF; ++w)
            t[codepage::winToKoi8(static_cast<unsigned char>(w))] = static_cast<char>(w);
    }
    return t;
}

AnsiString throughTable(std::string_view bytes, Charset cs)
{
    static const ByteTable koi8 = makeTable(Charset::Koi8r);
    static const ByteTable iso5 = makeTable(Charset::Iso88595);
    static const ByteTable latin1 = makeTable(Charset::Latin1);
    const ByteTable& t = cs == Charset::Koi8r ? koi8 : cs == Charset::Iso88595 ? iso5 : latin1;
    AnsiString out(bytes);
    for (char& c : out) c = t[byteOf(c)];
    return out;
}

// ---- encoded words ----

struct EncodedWord {
    std::string_view charset;
    char encoding = 0;  // upper case
    std::string_view text;
    std::size_t end = 0;  // just past its "?="
};

// The encoded word whose "=?" stands at At; false when it is not finished.
bool parseEncodedWord(std::string_view s, std::size_t At, EncodedWord& w)
{
    const std::size_t q = s.find('?', At + 2);
    if (q == std::string_view::npos || q + 3 > s.size()) return false;
    const std::size_t textStart = q + 3;  // past the letter and the "?" after it
    const std::size_t close = s.find("?=", textStart);
    if (close == std::string_view::npos) return false;
    w.charset = s.substr(At + 2, q - At - 2);
    const char letter = s[q + 1];
    w.encoding = letter >= 'a' && letter <= 'z' ? static_cast<char>(letter - 'a' + 'A') : letter;
    w.text = s.substr(textStart, close - textStart);
    w.end = close + 2;
    return true;
}

}  // namespace

// ---- numbers and addresses ----

bool IsIPAddress(std::string_view Text)
{
    int parts = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = Text.find('.', start);
        const std::string_view part = Text.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (part.empty() || ++parts > 4) return false;
        int value = 0;
        for (char c : part) {
            if (!isDigit(c)) return false;
            value = std::min(value * 10 + (c - '0'), 1000);
        }
        if (value > 255) return false;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return parts == 4;
}

int GetReplyNumber(std::string_view Text, unsigned short N, int Default)
{
    AnsiString s = Trim(Text);
    for (std::size_t at = s.find("\r\n"); at != AnsiString::npos; at = s.find("\r\n", at))
        s.replace(at, 2, " ");
    for (int i = 1; i < N; ++i) {
        const auto blank = s.find(' ');
        if (blank == AnsiString::npos) return Default;
        s = Trim(std::string_view(s).substr(blank + 1));
    }
    const auto blank = s.find(' ');
    AnsiString word = Trim(std::string_view(s).substr(0, blank));
    word = DelChars(word, CharsOf("(){}"));
    int value = 0;
    return toInt(word, value) ? value : Default;
}

AnsiString GetBoundary(std::string_view Value)
{
    const AnsiString upper = codepage::upperCase(Value);
    const auto at = upper.find("BOUNDARY");
    if (at == AnsiString::npos) return {};
    AnsiString b = Trim(MidStr(Value, static_cast<int>(at) + 9, 72));
    b = Trim(CutLeft(b, 1));
    if (!b.empty() && b[0] == '"') {
        b.erase(0, 1);
        b = b.substr(0, b.find('"'));
    }
    b = Trim(std::string_view(b).substr(0, b.find(';')));
    return b.empty() ? AnsiString() : "--" + b;
}

void SetMailRandomSource(std::function<int(int)> Source) { randomSource() = std::move(Source); }

AnsiString MakeMessageId(std::string_view Domain)
{
    const QString date = sysclock::now().date().toString(QStringLiteral("yyyy.MM.dd."));
    return "<QOR." + date.toStdString() + randomLetters(16, 20) + "@" + AnsiString(Domain) + ">";
}

AnsiString MakeBoundary() { return "--_QOR_bound_" + randomLetters(12, 25); }

AnsiString GetTempDir() { return app::privateTempDir() + "/"; }

TMailTempFile::TMailTempFile(const AnsiString& Name)
{
    const std::string dir = GetTempDir();
    for (int n = 0;; ++n) {
        path_ = dir + (n == 0 ? Name : std::to_string(n) + "." + Name);
        struct stat st {};
        if (n < 1000 && ::lstat(path_.c_str(), &st) == 0) continue;
        stream_ = std::make_unique<TFileStream>(path_, fmCreateNew);
        return;
    }
}

TMailTempFile::~TMailTempFile()
{
    stream_.reset();
    ::unlink(path_.c_str());
}

std::string TMailTempFile::ReadAll()
{
    const int size = stream_->Size();
    std::string bytes(static_cast<std::size_t>(size), '\0');
    stream_->SetPosition(0);
    stream_->ReadBuffer(bytes.data(), size);
    return bytes;
}

// ---- encoded words ----

bool CharsetToProgramText(std::string_view Charset, std::string_view Bytes, AnsiString& Out)
{
    switch (charsetOf(Charset)) {
    case Charset::Unknown: return false;
    case Charset::Cp1251:
    case Charset::Ascii: Out = AnsiString(Bytes); return true;
    case Charset::Utf8:
        Out = codepage::fromUnicode(QString::fromUtf8(Bytes.data(), static_cast<qsizetype>(Bytes.size())));
        return true;
    case Charset::Koi8r: Out = throughTable(Bytes, Charset::Koi8r); return true;
    case Charset::Iso88595: Out = throughTable(Bytes, Charset::Iso88595); return true;
    case Charset::Latin1: Out = throughTable(Bytes, Charset::Latin1); return true;
    }
    return false;
}

AnsiString DecodeEncodedWord(std::string_view Text)
{
    AnsiString out;
    // Adjacent encoded words of one charset are recoded together, so that a
    // character split between two words comes out whole.
    bool pending = false;
    std::string_view pendingCharset;
    AnsiString pendingBytes;
    auto flush = [&] {
        if (!pending) return;
        AnsiString text;
        out += CharsetToProgramText(pendingCharset, pendingBytes, text) ? text : pendingBytes;
        pending = false;
        pendingBytes.clear();
    };

    std::size_t pos = 0;
    while (true) {
        const std::size_t at = Text.find("=?", pos);
        EncodedWord w;
        if (at == std::string_view::npos || !parseEncodedWord(Text, at, w)) {
            flush();
            out += Text.substr(pos);
            break;
        }
        const std::string_view gap = Text.substr(pos, at - pos);
        bool onlySpace = true;
        for (char c : gap) onlySpace = onlySpace && isSpace(c);
        if (!(pending && onlySpace)) {
            flush();
            out += gap;
        }
        AnsiString bytes;
        if (w.encoding == 'Q') bytes = QPDecode(w.text, true);
        else if (w.encoding == 'B') bytes = Base64Decode(w.text);
        if (!pending || charsetOf(pendingCharset) != charsetOf(w.charset) ||
            (charsetOf(w.charset) == Charset::Unknown && pendingCharset != w.charset)) {
            flush();
            pending = true;
            pendingCharset = w.charset;
        }
        pendingBytes += bytes;
        pos = w.end;
    }
    return out;
}

// ---- addresses ----

AnsiString CleanAddress(std::string_view Entry, bool Bracket)
{
    AnsiString s(Entry);
    while (true) {
        const auto open = s.find('('), close = s.find(')');
        if (open == AnsiString::npos || close == AnsiString::npos || close < open) break;
        s.erase(open, close - open + 1);
    }
    s = Trim(s);
    const auto lt = s.find('<'), gt = s.find('>');
    if (lt != AnsiString::npos && gt != AnsiString::npos)
        s = MidStr(s, static_cast<int>(lt) + 2, static_cast<int>(gt) - static_cast<int>(lt) - 1);
    return Bracket ? "<" + s + ">" : s;
}

AnsiString CleanName(std::string_view Entry, bool Quote)
{
    AnsiString s(Entry);
    const auto lt = s.find('<'), gt = s.find('>');
    if (lt != AnsiString::npos && gt != AnsiString::npos && gt > lt) s.erase(lt, gt - lt + 1);
    const auto open = s.find('('), close = s.find(')');
    if (open != AnsiString::npos && close != AnsiString::npos)
        s = MidStr(s, static_cast<int>(open) + 2, static_cast<int>(close) - static_cast<int>(open) - 1);
    s = Trim(DelChars(s, CharsOf("\"'")));
    return Quote ? "\"" + s + "\"" : s;
}

AnsiString RemoveChar(std::string_view Text, char C)
{
    AnsiString s;
    for (char c : Text) {
        if (c != C) s += c;
    }
    return s;
}

AnsiString CleanAddressList(std::string_view Value)
{
    AnsiString s(Value);
    while (true) {
        const auto open = s.find('"');
        if (open == AnsiString::npos) break;
        const auto close = s.find('"', open + 1);
        if (close == AnsiString::npos) break;
        s.erase(open, close - open + 1);
    }
    AnsiString out;
    std::size_t start = 0;
    while (start <= s.size()) {
        const auto comma = s.find(',', start);
        const std::string_view entry =
            std::string_view(s).substr(start, comma == AnsiString::npos ? AnsiString::npos : comma - start);
        if (!isBlankLine(entry)) {
            if (!out.empty()) out += ", ";
            out += CleanName(DecodeEncodedWord(entry), true) + " " + CleanAddress(entry, true);
        }
        if (comma == AnsiString::npos) break;
        start = comma + 1;
    }
    return out;
}

AnsiString StripQuotes(std::string_view Text)
{
    auto isQuote = [](char c) { return c == '"' || c == '\''; };
    if (!Text.empty() && isQuote(Text.front())) Text.remove_prefix(1);
    if (!Text.empty() && isQuote(Text.back())) Text.remove_suffix(1);
    return AnsiString(Text);
}

// ---- header lines ----

AnsiString GetHeaderValue(std::string_view Name, std::string_view Line, bool CutAtSemicolon)
{
    const auto at = codepage::upperCase(Line).find(Name);
    if (at == AnsiString::npos) return {};
    AnsiString value = Trim(Line.substr(at + Name.size()));
    if (CutAtSemicolon) value = Trim(std::string_view(value).substr(0, value.find(';')));
    return value;
}

AnsiString GetParameter(std::string_view Name, std::string_view Line)
{
    const AnsiString upper = codepage::upperCase(Line);
    for (auto at = upper.find(Name); at != AnsiString::npos; at = upper.find(Name, at + 1)) {
        if (at > 0 && upper[at - 1] != ';' && !isSpace(upper[at - 1])) continue;
        std::size_t i = at + Name.size();
        while (i < Line.size() && isSpace(Line[i])) ++i;
        if (i >= Line.size() || Line[i] != '=') continue;
        ++i;
        while (i < Line.size() && isSpace(Line[i])) ++i;
        AnsiString value;
        if (i < Line.size() && Line[i] == '"') {
            for (++i; i < Line.size() && Line[i] != '"'; ++i) {
                if (Line[i] == '\\' && i + 1 < Line.size()) ++i;
                value += Line[i];
            }
            return Trim(value);
        }
        const auto semicolon = Line.find(';', i);
        return Trim(Line.substr(i, semicolon == std::string_view::npos ? semicolon : semicolon - i));
    }
    return {};
}

bool FindHeader(std::string_view Name, const std::vector<AnsiString>& Lines, AnsiString& HeaderLine)
{
    std::size_t i = 0;
    while (i < Lines.size() && Lines[i].empty()) ++i;
    for (; i < Lines.size() && !Lines[i].empty(); ++i) {
        if (!startsWithName(Lines[i], Name)) continue;
        HeaderLine = TrimRight(Lines[i]);
        for (std::size_t j = i + 1; j < Lines.size() && !Lines[j].empty() && (Lines[j][0] == ' ' || Lines[j][0] == '\t');
             ++j) {
            const AnsiString piece = Trim(Lines[j]);
            if (!piece.empty()) HeaderLine += " " + piece;
        }
        return true;
    }
    return false;
}

void StripHeaders(std::vector<AnsiString>& Lines)
{
    std::size_t i = 0;
    while (i < Lines.size() && !isBlankLine(Lines[i])) ++i;
    while (i < Lines.size() && isBlankLine(Lines[i])) ++i;
    Lines.erase(Lines.begin(), Lines.begin() + static_cast<std::ptrdiff_t>(i));
}
