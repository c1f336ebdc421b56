#pragma once
// Texts of the remote access service's error numbers (600 and above).

#include <cstdint>

namespace raserrors {

// The English text of a service error number; nullptr for a number that is
// not one of the service's own.
const char* text(uint32_t code) noexcept;

}  // namespace raserrors
