#pragma once
// The wall clock of both programs. Everything that depends on the date or the
// time of day reads it here, so tests can put the clock where they need it.

#include <QDateTime>

#include <cstdint>
#include <functional>

namespace sysclock {

// Local date and time now.
QDateTime now();

// Tests: replace the clock (an empty function puts the real one back).
void setSource(std::function<QDateTime()> source);

// Milliseconds of a steady clock (the system's tick count): it wraps around
// at 2^32 and only differences between two readings mean anything.
uint32_t tickCount();
// Tests: replace the tick count (an empty function puts the real one back).
void setTickSource(std::function<uint32_t()> source);

}  // namespace sysclock
