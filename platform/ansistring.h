#pragma once
// Texts inside both programs are 8-bit strings of Windows-1251 bytes, exactly
// as the data files and the wire carry them. QString appears only where a
// text meets a widget; platform/codepage converts at that boundary.

#include <string>
#include <string_view>

using AnsiString = std::string;

// Byte value of a character of an AnsiString (chars are signed on x86).
inline constexpr unsigned char byteOf(char c) noexcept { return static_cast<unsigned char>(c); }

// S without its leading and trailing blanks and control characters (every
// byte up to ' ').
inline AnsiString Trim(std::string_view s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && byteOf(s[b]) <= ' ') ++b;
    while (e > b && byteOf(s[e - 1]) <= ' ') --e;
    return AnsiString(s.substr(b, e - b));
}
