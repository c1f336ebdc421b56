#pragma once
// Texts inside both programs are 8-bit strings of Windows-1251 bytes, exactly
// as the data files and the wire carry them. QString appears only where a
// text meets a widget; platform/codepage converts at that boundary.

#include <string>
#include <string_view>

using AnsiString = std::string;

// Byte value of a character of an AnsiString (chars are signed on x86).
inline constexpr unsigned char byteOf(char c) noexcept { return static_cast<unsigned char>(c); }
