#include "dialer/strs.h"

#include <algorithm>

AnsiString GroupDigits(std::string_view Text, std::string_view Separator, int N)
{
    AnsiString out;
    int copied = 0;
    for (size_t i = Text.size(); i-- > 0;) {
        out += Text[i];
        if (N > 0 && ++copied % N == 0 && i > 0) out += Separator;
    }
    std::reverse(out.begin(), out.end());
    return out;
}
