#pragma once
// Installed keyboard layouts and switching between them.
//
// A layout is named by a handle whose low 16 bits are its language
// identifier (0x0419 Russian, 0x0409 English (US), ...), 0 meaning none. On
// an X11 desktop the layouts are the XKB groups of the core keyboard; on
// other platforms there are none, and activating does nothing.

#include <cstdint>
#include <string>
#include <vector>

namespace keyboard {

using HKL = uintptr_t;

// The low 16 bits of a layout handle.
inline uint16_t languageId(HKL Layout) { return static_cast<uint16_t>(Layout & 0xFFFFu); }
// The primary language of a language identifier (its low 10 bits); Russian
// is 0x19.
inline uint16_t primaryLanguage(uint16_t LangId) { return static_cast<uint16_t>(LangId & 0x3FFu); }

// At most Max installed layouts, in the desktop's order.
std::vector<HKL> getKeyboardLayoutList(int Max);
// Makes Layout the active one; False when it is not installed.
bool activateKeyboardLayout(HKL Layout);
// The active layout, 0 when none is known.
HKL activeKeyboardLayout();

// The language identifier of an XKB layout, from its group name ("Russian",
// "English (US)") or its symbols name ("ru", "us(intl)"); 0 when unknown.
uint16_t languageOfLayout(const char* GroupName, const char* Symbols);
// The symbols of each group of an XKB symbols name such as
// "pc+us+ru:2+inet(evdev)": {"us", "ru"}; a group without symbols is empty.
std::vector<std::string> groupSymbols(const char* SymbolsName);

// Tests: a stand-in for the desktop's layouts. While one is installed the
// functions above use it.
class Host {
public:
    virtual ~Host() = default;
    virtual std::vector<HKL> List(int Max) = 0;
    virtual bool Activate(HKL Layout) = 0;
    virtual HKL Active() = 0;
};
// Installs Host (nullptr puts the desktop back).
void setHost(Host* Host);

}  // namespace keyboard
