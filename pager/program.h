#pragma once
// Program-wide start-up values of the pager and the single-copy marks.

#include "platform/ansistring.h"

#include <cstdint>
#include <string>

// The pager's folder with a trailing "/": every data file of the pager is
// ProgramPath + its bare name. Set once at start.
extern std::string ProgramPath;

// The application title, also the single-copy atom's name and the main
// window's caption.
inline constexpr const char* Title = "Orvanta Pager 3.6";

// Registry key of the pager's values (below the current user's root).
inline constexpr const char* PagerKey = "Software\\Kestrane\\Pager";

// The folder part of an executable's path, up to and including its last "/",
// with one "/" appended when it does not end in one.
std::string ProgramFolder(const std::string& exePath);

// The start word from the first command-line argument (UTF-8): upper-cased
// by the Windows-1251 rule, cut to 255 characters, one leading "-" or "/"
// removed.
AnsiString StartWord(const char* argUtf8);

// Key "RunOneCopy" of section "Run" of ProgramPath + "pager.ini", default False.
bool ReadRunOneCopy();

// Value "Handle" under PagerKey: written as a DWORD (the key is made when
// missing; nothing is written when that fails), read as its low 16 bits
// (0 when the key or value is missing).
void WriteAppHandle(int32_t value);
uint16_t ReadAppHandle();
