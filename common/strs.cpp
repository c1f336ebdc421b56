#include "common/strs.h"

namespace {

constexpr std::string_view kHexDigits = "0123456789ABCDEF";

bool inSet(const TCharSet& set, char c) { return set.test(byteOf(c)); }

// Blanks and control characters: every byte up to 32.
bool isTrimmed(char c) { return byteOf(c) <= 32; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isTrimmed(s.front())) s.remove_prefix(1);
    while (!s.empty() && isTrimmed(s.back())) s.remove_suffix(1);
    return s;
}

int hexValue(char c)
{
    const auto at = kHexDigits.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

unsigned char addMod256(unsigned char b, int key)
{
    return static_cast<unsigned char>(((b + key) % 256 + 256) % 256);
}

}  // namespace

TCharSet CharsOf(std::string_view Chars)
{
    TCharSet set;
    for (char c : Chars) set.set(byteOf(c));
    return set;
}

TCharSet CharRange(unsigned char First, unsigned char Last)
{
    TCharSet set;
    for (int b = First; b <= Last; ++b) set.set(static_cast<std::size_t>(b));
    return set;
}

AnsiString DelChars(std::string_view S, const TCharSet& Chars)
{
    AnsiString out;
    out.reserve(S.size());
    for (char c : S) {
        if (!inSet(Chars, c)) out += c;
    }
    return out;
}

AnsiString DelSpaces(std::string_view S)
{
    static const TCharSet blank = CharsOf(" ");
    return DelChars(S, blank);
}

AnsiString LeftStr(std::string_view S, int N)
{
    if (N <= 0) return {};
    return AnsiString(S.substr(0, static_cast<std::size_t>(N)));
}

AnsiString CutLeft(std::string_view S, int N)
{
    if (N <= 0) return AnsiString(S);
    if (S.size() <= static_cast<std::size_t>(N)) return {};
    return AnsiString(S.substr(static_cast<std::size_t>(N)));
}

AnsiString TrimRight(std::string_view S)
{
    while (!S.empty() && isTrimmed(S.back())) S.remove_suffix(1);
    return AnsiString(S);
}

AnsiString MidStr(std::string_view S, int Index, int Count)
{
    if (Index < 1) Index = 1;
    if (Count <= 0 || static_cast<std::size_t>(Index) > S.size()) return {};
    return AnsiString(S.substr(static_cast<std::size_t>(Index - 1), static_cast<std::size_t>(Count)));
}

bool IsFullAddress(std::string_view S)
{
    return !trimmed(S).empty() && S.find('#') == std::string_view::npos;
}

AnsiString PadZeros(std::string_view S, int Width)
{
    AnsiString out(S);
    if (Width > 0 && out.size() < static_cast<std::size_t>(Width)) {
        out.insert(0, static_cast<std::size_t>(Width) - out.size(), '0');
    }
    return out;
}

AnsiString ReplaceChars(std::string_view S, const TCharSet& Chars, char C)
{
    AnsiString out(S);
    for (char& c : out) {
        if (inSet(Chars, c)) c = C;
    }
    return out;
}

AnsiString ReplaceCharsBy(std::string_view S, const TCharSet& Chars, std::string_view T)
{
    // One pass: what T brings in is never replaced again, so a T that holds a
    // character of Chars cannot make this run without end.
    AnsiString out;
    out.reserve(S.size());
    for (char c : S) {
        if (inSet(Chars, c)) {
            out += T;
        } else {
            out += c;
        }
    }
    return out;
}

AnsiString LinesToStr(std::string_view S)
{
    AnsiString out;
    out.reserve(S.size());
    for (char c : S) {
        if (c == '\n') continue;
        out += c == '\r' ? '|' : c;
    }
    return out;
}

AnsiString StrToLines(std::string_view S)
{
    AnsiString out;
    out.reserve(S.size());
    for (char c : S) {
        if (c == '|') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

bool CheckChars(std::string_view S, const TCharSet& Chars)
{
    if (S.empty()) return false;
    for (char c : S) {
        if (inSet(Chars, c)) return false;
    }
    return true;
}

AnsiString EncodeStr(std::string_view S, int Key)
{
    AnsiString out;
    out.reserve(S.size() * 2);
    for (char c : S) {
        const unsigned char b = addMod256(byteOf(c), Key);
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 0x0F];
    }
    return out;
}

AnsiString DecodeStr(std::string_view S, int Key)
{
    AnsiString out;
    out.reserve(S.size() / 2 + 1);
    for (std::size_t i = 0; i < S.size(); i += 2) {
        const int high = hexValue(S[i]);
        const int low = i + 1 < S.size() ? hexValue(S[i + 1]) : -1;
        const auto b = static_cast<unsigned char>(((16 * high + low) % 256 + 256) % 256);
        out += static_cast<char>(addMod256(b, -Key));
    }
    return out;
}

void SplitAt(std::string_view S, char Sep, AnsiString& Left, AnsiString& Rest)
{
    // Left so far, with each escaped separator already turned into Sep.
    // lastIsEscaped tells such a Sep from one that was a plain backslash when
    // Sep is the backslash itself.
    AnsiString before;
    before.reserve(S.size());
    bool lastIsEscaped = false;
    for (std::size_t i = 0; i < S.size(); ++i) {
        const char c = S[i];
        if (c != Sep) {
            before += c;
            lastIsEscaped = false;
            continue;
        }
        if (!before.empty() && before.back() == '\\' && !lastIsEscaped) {
            before.back() = Sep;
            lastIsEscaped = true;
            continue;
        }
        // The split point. S may view Left or Rest: build both first.
        AnsiString left(trimmed(before));
        AnsiString rest(trimmed(S.substr(i + 1)));
        Left = std::move(left);
        Rest = std::move(rest);
        return;
    }
    Left = std::move(before);
    Rest.clear();
}

AnsiString EscapeSeparator(std::string_view S, std::string_view Sep)
{
    AnsiString out;
    out.reserve(S.size() + 8);
    if (Sep.empty()) {
        out = S;
    } else {
        std::size_t from = 0;
        for (auto at = S.find(Sep); at != std::string_view::npos; at = S.find(Sep, from)) {
            out += S.substr(from, at - from);
            out += '\\';
            out += Sep;
            from = at + Sep.size();
        }
        out += S.substr(from);
    }
    // "a\" followed by a separator would read as "a" and an escaped separator;
    // the blank keeps them apart and is trimmed off by SplitAt.
    if (!out.empty() && out.back() == '\\') out += ' ';
    return out;
}
