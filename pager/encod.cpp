#include "pager/encod.h"

#include "platform/codepage.h"

unsigned char WinToKoiChar(unsigned char C) { return codepage::winToKoi8(C); }

AnsiString WinToKoi(std::string_view S)
{
    AnsiString out(S);
    for (char& c : out) c = static_cast<char>(WinToKoiChar(byteOf(c)));
    return out;
}
