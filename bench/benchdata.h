#pragma once
// Made-up operators and addresses for the benchmarks.

#include "pager/service.h"
#include "platform/codepage.h"

#include <string>

namespace benchdata {

inline AnsiString cp(const char* utf8) { return codepage::fromUtf8(utf8); }

// The gateway template of operator i: the number first, last (in the
// subject) or in the middle.
inline AnsiString templateOf(int i)
{
    const std::string n = std::to_string(i);
    switch (i % 3) {
    case 0: return "###@pager" + n + ".example.net";
    case 1: return "gate" + n + "@sms.example.org?subject=###";
    default: return "pg" + n + "###@mail.example.com";
    }
}

// A subscriber's address at operator op.
inline AnsiString addressOf(int op, long long number) { return InsertNumber(templateOf(op), std::to_string(number)); }

// operators.dat of Count operators: every second one an SMS operator, in 50 cities.
inline AnsiString operatorsDat(int Count)
{
    AnsiString ops;
    for (int i = 0; i < Count; ++i) {
        ops += "[" + AnsiString(i % 2 ? "SMS:" : "") + cp("Оператор ") + std::to_string(i) + cp(" (Город ") +
               std::to_string(i % 50) + ")]\r\nMailGate=" + templateOf(i) + "\r\nDescription=" + cp("Оператор ") +
               std::to_string(i) + "\r\n\r\n";
    }
    return ops;
}

}  // namespace benchdata
