#pragma once
// String routines shared by both programs: character-set filters, the
// scrambling of stored passwords, the escaped-separator fields of the data
// files and their "|" line breaks. Texts are Windows-1251 bytes; every byte is
// taken as unsigned.

#include "platform/ansistring.h"

#include <bitset>
#include <string_view>

// A set of byte values 0..255.
using TCharSet = std::bitset<256>;

// The set of the bytes of Chars.
TCharSet CharsOf(std::string_view Chars);
// The set of the bytes First..Last (empty when Last < First).
TCharSet CharRange(unsigned char First, unsigned char Last);

// The one key both programs scramble their stored passwords with.
constexpr int ScrambleKey = 7;

// S without every character that is in Chars.
AnsiString DelChars(std::string_view S, const TCharSet& Chars);
// S without its blanks.
AnsiString DelSpaces(std::string_view S);
// The first N characters of S (all of S when N is not below its length,
// empty when N <= 0).
AnsiString LeftStr(std::string_view S, int N);
// S without its first N characters (empty when S is not longer than N, all of
// S when N <= 0).
AnsiString CutLeft(std::string_view S, int N);
// S without its trailing blanks and control characters (every byte up to 32);
// Trim, for both ends, is in platform/ansistring.h.
AnsiString TrimRight(std::string_view S);
// Count characters of S from the 1-based position Index, clamped to S: an
// Index below 1 counts from the first character; an Index past the end or a
// Count <= 0 gives an empty text.
AnsiString MidStr(std::string_view S, int Index, int Count);
// True when S, trimmed of blanks and control characters, is not empty and S
// holds no "#" (an address whose number slot is filled in).
bool IsFullAddress(std::string_view S);
// S with "0" put in front until it is at least Width long.
AnsiString PadZeros(std::string_view S, int Width);
// Every character of S that is in Chars replaced by C.
AnsiString ReplaceChars(std::string_view S, const TCharSet& Chars, char C);
// Every character of S that is in Chars replaced by T (removed when T is
// empty). T itself is not searched again.
AnsiString ReplaceCharsBy(std::string_view S, const TCharSet& Chars, std::string_view T);
// A multi-line text on one line: line feeds dropped, carriage returns as "|".
AnsiString LinesToStr(std::string_view S);
// Every "|" back to carriage return and line feed.
AnsiString StrToLines(std::string_view S);
// False when S is empty or holds a character of Chars.
bool CheckChars(std::string_view S, const TCharSet& Chars);

// Each byte plus Key (mod 256), written as two upper-case hexadecimal digits.
AnsiString EncodeStr(std::string_view S, int Key);
// The reverse of EncodeStr. A character that is not an upper-case hexadecimal
// digit, and the missing partner of an odd last one, counts as -1.
AnsiString DecodeStr(std::string_view S, int Key);

// Splits S at its first Sep that is not preceded by a backslash: Left gets
// what stands before it, Rest what follows, both trimmed of blanks and control
// characters. A backslash followed by Sep stands for Sep; other backslashes
// are kept. Without such a separator Left is all of S (untrimmed) and Rest is
// empty. S may be Left or Rest itself.
void SplitAt(std::string_view S, char Sep, AnsiString& Left, AnsiString& Rest);
// The writer's side of SplitAt: every Sep in S gets a backslash in front, and
// a text ending in a backslash gets one blank after it, so that a separator
// written next does not read as escaped (SplitAt trims the blank away).
AnsiString EscapeSeparator(std::string_view S, std::string_view Sep);
