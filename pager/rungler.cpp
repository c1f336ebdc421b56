#include "pager/rungler.h"

#include "platform/codepage.h"

#include <array>
#include <cstddef>
#include <utility>

namespace {

constexpr unsigned char CapA = 0xC0;    // А
constexpr unsigned char CapYa = 0xDF;   // Я
constexpr unsigned char CapYo = 0xA8;   // Ё
constexpr unsigned char SmallYo = 0xB8; // ё
constexpr unsigned char Numero = 0xB9;  // №
constexpr std::size_t ShchaIndex = 0xD9 - CapA; // Щ
constexpr std::size_t XaIndex = 0xD5 - CapA;    // Х

// The conversion tables, one copy for the whole program, and the modes that
// shaped them.
struct Tables {
    // Latin spelling of the capitals А..Я.
    std::array<AnsiString, 32> RusToLatTable{
        "a", "b", "v", "g", "d", "e", "zh", "z", "i", "j", "k", "l", "m", "n", "o", "p",
        "r", "s", "t", "u", "f", "x", "c", "ch", "sh", "sj", "~", "y", "'", "e'", "yu", "ya"};
    AnsiString YoEntry = "yo";
    AnsiString NumeroEntry = "#";
    // Key i (a Latin capital or a sign) gives the small Russian letter i.
    AnsiString LatToRusKeys = "EOAITSRNVPMLKDU`'YJZBGFXC~@WQH";
    AnsiString LatToRusValues = codepage::fromUtf8("еоаитсрнвпмлкдуььыйзбгфхцъэвщх");
    std::size_t WIndex = LatToRusKeys.find('W');
    TShchaConvMode Shcha = scUseSj;
    TXaConvMode Xa = xcUseX;
    TWInterpMode WInterp = wiAsV;
};

Tables& tables()
{
    static Tables t;
    return t;
}

unsigned char cyr(const char* utf8)
{
    return byteOf(codepage::fromUtf8(utf8).at(0));
}

unsigned char asciiUpper(unsigned char c) noexcept
{
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

bool isSmallLatin(unsigned char c) noexcept { return c >= 'a' && c <= 'z'; }

// The characters the Latin-to-Russian pass looks at: ' @ A..Z \ ` a..z ~.
bool isTreated(unsigned char c) noexcept
{
    return c == '\'' || (c >= '@' && c <= 'Z') || c == '\\' || (c >= '`' && c <= 'z') || c == '~';
}

bool isSign(unsigned char c) noexcept { return c == '\'' || c == '`' || c == '@' || c == '~'; }

// Restores TransOn when a conversion of its own ends.
struct KeepTransOn {
    bool& flag;
    bool saved;
    explicit KeepTransOn(bool& f) : flag(f), saved(f) {}
    ~KeepTransOn() { flag = saved; }
    KeepTransOn(const KeepTransOn&) = delete;
    KeepTransOn& operator=(const KeepTransOn&) = delete;
};

}  // namespace

TShchaConvMode TRungler::ShchaConvMode() const { return tables().Shcha; }
TXaConvMode TRungler::XaConvMode() const { return tables().Xa; }
TWInterpMode TRungler::WInterpMode() const { return tables().WInterp; }

void TRungler::SetShchaConvMode(TShchaConvMode Value)
{
    Tables& t = tables();
    if (Value == t.Shcha) return;
    const char* entry = nullptr;
    switch (Value) {
    case scUseSj: entry = "sj"; break;
    case scUseShch: entry = "shch"; break;
    case scUseW: entry = "w"; break;
    case scUseQ: entry = "q"; break;
    case scUseSch: entry = "sch"; break;
    }
    if (!entry) return;
    t.RusToLatTable[ShchaIndex] = entry;
    t.Shcha = Value;
}

void TRungler::SetXaConvMode(TXaConvMode Value)
{
    Tables& t = tables();
    if (Value == t.Xa) return;
    const char* entry = nullptr;
    switch (Value) {
    case xcUseX: entry = "x"; break;
    case xcUseKH: entry = "kh"; break;
    }
    if (!entry) return;
    t.RusToLatTable[XaIndex] = entry;
    t.Xa = Value;
}

void TRungler::SetWInterpMode(TWInterpMode Value)
{
    Tables& t = tables();
    if (Value == t.WInterp) return;
    const char* letter = nullptr;
    switch (Value) {
    case wiAsV: letter = "в"; break;
    case wiAsSj: letter = "щ"; break;
    }
    if (!letter) return;
    t.LatToRusValues[t.WIndex] = static_cast<char>(cyr(letter));
    t.WInterp = Value;
}

void TRungler::SetOriginalStr(std::string_view Value)
{
    if (Value == FOriginalStr) return;
    PrevUpper = false;
    CurUpper = false;
    FOriginalStr = AnsiString(Value);
    FConvertedStr = Convert(FOriginalStr);
}

AnsiString TRungler::ConvertAfresh(std::string_view Text, TConversionDirection Dir)
{
    bool on = true;
    return ConvertAfresh(Text, Dir, on);
}

AnsiString TRungler::ConvertAfresh(std::string_view Text, TConversionDirection Dir, bool& Switch)
{
    AnsiString original(Text);
    Direction = Dir;
    PrevUpper = false;
    CurUpper = false;
    AnsiString result;
    {
        KeepTransOn keep(TransOn);
        TransOn = Switch;
        result = Convert(original);
        Switch = TransOn;
    }
    FOriginalStr = std::move(original);
    FConvertedStr = result;
    return result;
}

AnsiString TRungler::Convert(std::string_view S)
{
    return Direction == cdRussianToLatin ? RussianToLatin(S) : LatinToRussian(S);
}

unsigned char TRungler::UpCaseChar(unsigned char C) noexcept
{
    if ((C >= 'a' && C <= 'z') || C >= 0xE0) return static_cast<unsigned char>(C - 32);
    if (C == SmallYo) return CapYo;
    return C;
}

AnsiString TRungler::RussianToLatin(std::string_view S)
{
    const Tables& t = tables();
    AnsiString out;
    out.reserve(S.size() * 2);
    for (std::size_t i = 0; i < S.size(); ++i) {
        const unsigned char C = byteOf(S[i]);
        const unsigned char U = UpCaseChar(C);
        CurUpper = C == U;

        const AnsiString* entry = nullptr;
        if (U >= CapA && U <= CapYa) entry = &t.RusToLatTable[U - CapA];
        else if (U == CapYo) entry = &t.YoEntry;
        else if (U == Numero) entry = &t.NumeroEntry;
        if (!entry) {
            out += static_cast<char>(C);
            PrevUpper = false;
            continue;
        }

        AnsiString E = *entry;
        if (CurUpper && !E.empty()) {
            const bool nextNotSmall =
                i + 1 >= S.size() || UpCaseChar(byteOf(S[i + 1])) == byteOf(S[i + 1]);
            if (PrevUpper && nextNotSmall)
                for (char& c : E) c = static_cast<char>(UpCaseChar(byteOf(c)));
            E[0] = static_cast<char>(UpCaseChar(byteOf(E[0])));
        }
        out += E;
        PrevUpper = CurUpper;
    }
    return out;
}

AnsiString TRungler::LatinToRussian(std::string_view S)
{
    const Tables& t = tables();
    static const unsigned char SoftSign = cyr("ь"), HardSign = cyr("ъ"), Eh = cyr("э"),
                               Che = cyr("ч"), Kha = cyr("х"), Zhe = cyr("ж"), Sha = cyr("ш"),
                               Shcha = cyr("щ"), Ya = cyr("я"), Yo = cyr("ё"), Yu = cyr("ю"),
                               ShortI = cyr("й");

    const std::size_t n = S.size();
    // The ASCII capital of the character at k; 0 past the end.
    auto capAt = [&](std::size_t k) -> unsigned char {
        return k < n ? asciiUpper(byteOf(S[k])) : 0;
    };

    AnsiString out;
    out.reserve(n);
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = byteOf(S[i]);
        if (!isTreated(c)) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const unsigned char Ch = asciiUpper(c);
        const unsigned char N1 = capAt(i + 1), N2 = capAt(i + 2), N3 = capAt(i + 3);

        bool forceUpper = false, forceLower = false;
        CurUpper = false;
        if (Ch >= 'A' && Ch <= 'Z') {
            if (c == Ch) CurUpper = true;
            else forceLower = true;
        }

        if (Ch == '\\' && N1 == ' ') {
            TransOn = !TransOn;
            i += 2;
            continue;
        }

        unsigned char letter = c;
        std::size_t used = 1;
        bool append = true;
        auto pair = [&](unsigned char l) {
            letter = l;
            used = 2;
        };
        if (TransOn) {
            const bool softMark = N1 == '\'' || N1 == '`';
            if (isSign(Ch) && (N1 == '^' || N1 == '_')) {
                pair(Ch == '@' ? Eh : Ch == '~' ? HardSign : SoftSign);
                (N1 == '^' ? forceUpper : forceLower) = true;
            } else if (Ch == 'C' && N1 == 'H') {
                pair(Che);
            } else if (Ch == 'K' && N1 == 'H') {
                pair(Kha);
            } else if (Ch == 'Z' && N1 == 'H') {
                pair(Zhe);
            } else if (Ch == 'S' && N1 == 'H') {
                pair(Sha);
                if (N2 == 'C' && N3 == 'H') {
                    letter = Shcha;
                    used = 4;
                }
            } else if (Ch == 'S' && N1 == 'J') {
                pair(Shcha);
            } else if (Ch == 'Y' && (N1 == 'A' || N1 == 'O' || N1 == 'U')) {
                pair(N1 == 'A' ? Ya : N1 == 'O' ? Yo : Yu);
            } else if (Ch == 'E' && softMark) {
                pair(Eh);
            } else if (Ch == 'J' && softMark) {
                pair(ShortI);
            } else if (Ch == '\\') {
                if (isSign(N1) || N1 == '\\') pair(N1);
                else append = false;
            } else {
                const std::size_t k = t.LatToRusKeys.find(static_cast<char>(Ch));
                if (k != AnsiString::npos) letter = byteOf(t.LatToRusValues[k]);
            }
        }
        i += used;
        if (!append) continue;

        // The case of the letter: a ^ or _ after a sign, else the letter's
        // own case, else that of the letters around a sign.
        bool upper;
        if (forceUpper) upper = CurUpper = true;
        else if (forceLower) upper = CurUpper = false;
        else if (CurUpper) upper = true;
        else upper = CurUpper = PrevUpper && !(i < n && isSmallLatin(byteOf(S[i])));
        PrevUpper = CurUpper;
        out += static_cast<char>(upper ? UpCaseChar(letter) : letter);
    }
    return out;
}
