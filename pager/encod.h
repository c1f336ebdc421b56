#pragma once
// Windows-1251 to KOI8-R recoding of message texts.

#include "platform/ansistring.h"

#include <string_view>

// KOI8-R code of the letters "А".."я" (192..255), "Ё" (168) and "ё" (184);
// any other byte unchanged.
unsigned char WinToKoiChar(unsigned char C);
// WinToKoiChar of every byte of S.
AnsiString WinToKoi(std::string_view S);
