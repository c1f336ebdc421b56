#pragma once
// Text functions of the dialer (the shared ones are in common/strs.h).

#include "platform/ansistring.h"

#include <string_view>

// Text in groups of N from its end: walking from the last character to the
// first, Separator follows every N-th character copied unless the first
// character of the text has been reached; then the whole is reversed.
// 1234567 with " " and 3 gives 1 234 567. A separator of several characters
// is reversed with the rest, so it comes out backwards. N <= 0 groups nothing.
AnsiString GroupDigits(std::string_view Text, std::string_view Separator, int N);
