#pragma once
// Texts of the remote access service's error numbers (600 and above).

#include <cstdint>

namespace raserrors {

// The text of a service error number, in Russian as a Russian system gives
// it, in Windows-1251; nullptr for a number that is not one of the service's
// own.
const char* text(uint32_t code) noexcept;

}  // namespace raserrors
