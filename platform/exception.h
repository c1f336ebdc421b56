#pragma once
// The base of every exception the programs raise on purpose. Its message is a
// Windows-1251 text, the way it would be shown to the user.

#include "platform/ansistring.h"

#include <exception>

class Exception : public std::exception {
public:
    explicit Exception(AnsiString message) : message_(std::move(message)) {}
    const AnsiString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    AnsiString message_;
};
