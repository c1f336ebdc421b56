#include "platform/codepage.h"

#include <QList>

#include <algorithm>
#include <array>

namespace codepage {
namespace {

// Unicode of cp1251 bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F.
constexpr std::array<char16_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

struct Tables {
    std::array<unsigned char, 256> upper{};
    std::array<unsigned char, 256> lower{};
    std::array<unsigned char, 256> koi{};

    Tables()
    {
        for (int b = 0; b < 256; ++b) {
            upper[b] = lower[b] = koi[b] = static_cast<unsigned char>(b);
        }
        // Case pairs through Unicode, keeping only pairs that stay inside cp1251.
        for (int b = 0; b < 256; ++b) {
            const char16_t u = unicodeOf(static_cast<unsigned char>(b));
            const char16_t up = QChar(u).toUpper().unicode();
            const char16_t lo = QChar(u).toLower().unicode();
            for (int c = 0; c < 256; ++c) {
                const char16_t uc = unicodeOf(static_cast<unsigned char>(c));
                if (up != u && uc == up) upper[b] = static_cast<unsigned char>(c);
                if (lo != u && uc == lo) lower[b] = static_cast<unsigned char>(c);
            }
        }
        // KOI8-R places of the letters а..я then А..Я, in cp1251 order.
        constexpr std::array<unsigned char, 32> koiLower = {
            0xC1, 0xC2, 0xD7, 0xC7, 0xC4, 0xC5, 0xD6, 0xDA, 0xC9, 0xCA, 0xCB,
            0xCC, 0xCD, 0xCE, 0xCF, 0xD0, 0xD2, 0xD3, 0xD4, 0xD5, 0xC6, 0xC8,
            0xC3, 0xDE, 0xDB, 0xDD, 0xDF, 0xD9, 0xD8, 0xDC, 0xC0, 0xD1};
        for (int i = 0; i < 32; ++i) {
            koi[0xE0 + i] = koiLower[i];                                  // а..я
            koi[0xC0 + i] = static_cast<unsigned char>(koiLower[i] + 0x20);  // А..Я
        }
        koi[0xA8] = 0xB3;  // Ё
        koi[0xB8] = 0xA3;  // ё
    }
};

const Tables& tables()
{
    static const Tables t;
    return t;
}

}  // namespace

char16_t unicodeOf(unsigned char b) noexcept
{
    if (b < 0x80) return b;
    if (b < 0xC0) return kHigh[b - 0x80];
    return static_cast<char16_t>(0x0410 + (b - 0xC0));
}

QString toUnicode(std::string_view cp1251)
{
    QString out;
    out.reserve(static_cast<qsizetype>(cp1251.size()));
    for (char c : cp1251) out.append(QChar(unicodeOf(byteOf(c))));
    return out;
}

namespace {
char fromCodePoint(char32_t u)
{
    if (u < 0x80) return static_cast<char>(u);
    if (u >= 0x0410 && u <= 0x044F) return static_cast<char>(0xC0 + (u - 0x0410));
    for (int i = 0; i < 64; ++i) {
        if (kHigh[i] == u) return static_cast<char>(0x80 + i);
    }
    return '?';
}
}  // namespace

AnsiString fromUnicode(const QString& text)
{
    AnsiString out;
    out.reserve(static_cast<size_t>(text.size()));
    for (char32_t u : text.toUcs4()) out.push_back(fromCodePoint(u));
    return out;
}

bool canHold(const QString& text)
{
    for (char32_t u : text.toUcs4()) {
        if (u != U'?' && fromCodePoint(u) == '?') return false;
    }
    return true;
}

namespace {
// ASCII is the same bytes in both codes.
bool ascii(std::string_view s) noexcept
{
    return std::all_of(s.begin(), s.end(), [](char c) { return byteOf(c) < 0x80; });
}
}  // namespace

AnsiString fromUtf8(std::string_view utf8)
{
    if (ascii(utf8)) return AnsiString(utf8);
    return fromUnicode(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

std::string toUtf8(std::string_view cp1251)
{
    if (ascii(cp1251)) return std::string(cp1251);
    return toUnicode(cp1251).toStdString();
}

unsigned char winToKoi8(unsigned char b) noexcept { return tables().koi[b]; }
unsigned char upperChar(unsigned char b) noexcept { return tables().upper[b]; }
unsigned char lowerChar(unsigned char b) noexcept { return tables().lower[b]; }

AnsiString upperCase(std::string_view s)
{
    AnsiString out(s);
    for (char& c : out) c = static_cast<char>(upperChar(byteOf(c)));
    return out;
}

AnsiString lowerCase(std::string_view s)
{
    AnsiString out(s);
    for (char& c : out) c = static_cast<char>(lowerChar(byteOf(c)));
    return out;
}

int compareText(std::string_view a, std::string_view b) noexcept
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = upperChar(byteOf(a[i]));
        const int cb = upperChar(byteOf(b[i]));
        if (ca != cb) return ca - cb;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

int collate(std::string_view a, std::string_view b) noexcept
{
    constexpr unsigned char kYo = 0xA8, kYe = 0xC5;  // "Ё", "Е"
    auto letter = [](char c) {
        const unsigned char u = upperChar(byteOf(c));
        return u == kYo ? kYe : u;
    };
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = letter(a[i]);
        const int cb = letter(b[i]);
        if (ca != cb) return ca - cb;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    // The same letters: "Е" comes before "Ё" at the first place they differ.
    for (size_t i = 0; i < n; ++i) {
        const int ca = upperChar(byteOf(a[i]));
        const int cb = upperChar(byteOf(b[i]));
        if (ca != cb) return ca == kYo ? 1 : -1;
    }
    return 0;
}

bool sameText(std::string_view a, std::string_view b) noexcept
{
    return a.size() == b.size() && compareText(a, b) == 0;
}

}  // namespace codepage
