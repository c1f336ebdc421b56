#pragma once
// Texts of the remote access components: the fixed text fields of the
// service's records, and the texts of error numbers.

#include "platform/ansistring.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace rastext {

// The text LastError 1157 stands for.
inline constexpr const char* kNotAvailable = "RASAPI32.DLL Not Available";

// The text of a fixed field: up to its first NUL, never past its end.
template <size_t N>
AnsiString Field(const char (&field)[N])
{
    return AnsiString(field, strnlen(field, N));
}

// Sets a fixed field: the text cut to N - 1 characters (bytes of
// Windows-1251, one a character), then a NUL.
template <size_t N>
void SetField(char (&field)[N], std::string_view text)
{
    const size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, N - n);
}

// The system's own message for an error number ("System error N" for one it
// has none for).
AnsiString SysErrorMessage(int Code);

// The text of an error number: the remote access service's text, else the
// system's message. Without the remote access library, "RASAPI32.DLL Not
// Available" and LastError 1157.
AnsiString ErrorText(int Code, int32_t& LastError);

}  // namespace rastext
