#pragma once
// The wall clock of both programs. Everything that depends on the date or the
// time of day reads it here, so tests can put the clock where they need it.

#include <QDateTime>

#include <functional>

namespace sysclock {

// Local date and time now.
QDateTime now();

// Tests: replace the clock (an empty function puts the real one back).
void setSource(std::function<QDateTime()> source);

}  // namespace sysclock
