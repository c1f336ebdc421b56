#include "dialer/ras/rastext.h"

#include "dialer/ras/velrasapi.h"

namespace rastext {

AnsiString SysErrorMessage(int Code)
{
    switch (Code) {
    case 0: return "The operation completed successfully.";
    case 2: return "The file cannot be found.";
    case 5: return "Access is denied.";
    case 6: return "The handle is not valid.";
    case 8: return "There is not enough memory.";
    case 87: return "A parameter is wrong.";
    case 120: return "The function is not available on this system.";
    case 1157: return "A library the program needs cannot be found.";
    default: return "System error " + std::to_string(Code);
    }
}

AnsiString ErrorText(int Code, int32_t& LastError)
{
    if (!LoadRasApi()) {
        LastError = ras::ERROR_DLL_NOT_FOUND;
        return kNotAvailable;
    }
    if (velras::RasGetErrorStringA) {
        char buf[256] = {};
        velras::RasGetErrorStringA(static_cast<ras::UINT>(Code), buf, sizeof buf - 1);
        AnsiString text = Field(buf);
        if (!text.empty()) return text;
    }
    return SysErrorMessage(Code);
}

}  // namespace rastext
