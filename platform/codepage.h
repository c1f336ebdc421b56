#pragma once
// Windows-1251 <-> Unicode, Windows-1251 -> KOI8-R, and the Windows-1251
// letter-case and sorting rules (Latin and Cyrillic letters). Our own tables,
// although Qt built with ICU (as Debian's is) decodes both code pages: they
// fix the bytes the programs rely on (0x98 and the letters KOI8-R recodes),
// whatever codecs the Qt in use was built with.

#include "platform/ansistring.h"

#include <QString>

namespace codepage {

// cp1251 bytes to Unicode. Byte 0x98, unassigned in cp1251, maps to U+0098 so
// that every byte survives a round trip.
QString toUnicode(std::string_view cp1251);
// Unicode to cp1251; a character cp1251 cannot hold becomes "?".
AnsiString fromUnicode(const QString& text);
// True when cp1251 holds every character of the text (fromUnicode gives it
// back unchanged).
bool canHold(const QString& text);

// UTF-8 (source literals, command-line arguments) <-> cp1251.
AnsiString fromUtf8(std::string_view utf8);
std::string toUtf8(std::string_view cp1251);

// Unicode code point of one cp1251 byte.
char16_t unicodeOf(unsigned char b) noexcept;

// KOI8-R byte of a cp1251 byte for the 66 letters "А".."я" (192..255),
// "Ё" (168 -> 179) and "ё" (184 -> 163); every other byte comes back
// unchanged.
unsigned char winToKoi8(unsigned char b) noexcept;

// Letter case by the Windows-1251 locale rule.
unsigned char upperChar(unsigned char b) noexcept;
unsigned char lowerChar(unsigned char b) noexcept;
AnsiString upperCase(std::string_view s);
AnsiString lowerCase(std::string_view s);
bool sameText(std::string_view a, std::string_view b) noexcept;
// <0, 0, >0 comparing both texts upper-cased.
int compareText(std::string_view a, std::string_view b) noexcept;
// <0, 0, >0 in the order of a sorted list on a Russian system: as
// compareText, but "Ё" and "ё" sort with "Е" and "е" (just after them where
// two texts differ only there), not before "А" by their byte.
int collate(std::string_view a, std::string_view b) noexcept;

}  // namespace codepage
