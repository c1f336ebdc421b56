#include "platform/ui/keyboard.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace keyboard {

namespace {

Host* installed = nullptr;

struct Lang {
    const char* Symbols;  // XKB symbols name of the layout
    const char* Name;     // start of its group name
    uint16_t Id;
};

// The layouts whose language the programs may look for; any other is 0.
constexpr Lang kLanguages[] = {
    {"ru", "Russian", 0x0419},   {"us", "English (US)", 0x0409}, {"gb", "English (UK)", 0x0809},
    {"ua", "Ukrainian", 0x0422}, {"by", "Belarusian", 0x0423},   {"de", "German", 0x0407},
    {"fr", "French", 0x040C},    {"kz", "Kazakh", 0x043F},
};

// The X display of the running application, nullptr off X11.
Display* display()
{
    auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!gui || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = gui->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

struct KeyboardDesc {
    Display* Dpy;
    XkbDescPtr Desc;
    ~KeyboardDesc()
    {
        if (Desc) XkbFreeKeyboard(Desc, 0, True);
    }
};

// Layout handle of group Group: its language and, above, the group + 1.
HKL makeHandle(int Group, uint16_t Lang) { return (static_cast<HKL>(Group + 1) << 16) | Lang; }
int groupOf(HKL Layout) { return static_cast<int>(Layout >> 16) - 1; }

std::vector<HKL> x11List(Display* dpy, int Max)
{
    std::vector<HKL> out;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (!XkbLibraryVersion(&major, &minor)) return out;
    int opcode = 0, event = 0, error = 0;
    if (!XkbQueryExtension(dpy, &opcode, &event, &error, &major, &minor)) return out;

    KeyboardDesc kb{dpy, XkbAllocKeyboard()};
    if (!kb.Desc) return out;
    kb.Desc->dpy = dpy;
    if (XkbGetControls(dpy, XkbGroupsWrapMask, kb.Desc) != Success) return out;
    if (XkbGetNames(dpy, XkbSymbolsNameMask | XkbGroupNamesMask, kb.Desc) != Success) return out;
    const int groups = kb.Desc->ctrls ? kb.Desc->ctrls->num_groups : 0;

    std::vector<std::string> symbols;
    if (kb.Desc->names && kb.Desc->names->symbols != None) {
        if (char* name = XGetAtomName(dpy, kb.Desc->names->symbols)) {
            symbols = groupSymbols(name);
            XFree(name);
        }
    }
    for (int g = 0; g < groups && g < XkbNumKbdGroups && static_cast<int>(out.size()) < Max; ++g) {
        std::string groupName;
        if (kb.Desc->names && kb.Desc->names->groups[g] != None) {
            if (char* name = XGetAtomName(dpy, kb.Desc->names->groups[g])) {
                groupName = name;
                XFree(name);
            }
        }
        const std::string sym = g < static_cast<int>(symbols.size()) ? symbols[static_cast<size_t>(g)] : std::string();
        out.push_back(makeHandle(g, languageOfLayout(groupName.c_str(), sym.c_str())));
    }
    return out;
}

}  // namespace

uint16_t languageOfLayout(const char* GroupName, const char* Symbols)
{
    const std::string_view sym = Symbols ? Symbols : "";
    const std::string_view layout = sym.substr(0, sym.find('('));
    for (const Lang& l : kLanguages) {
        if (!layout.empty() && layout == l.Symbols) return l.Id;
    }
    const std::string_view name = GroupName ? GroupName : "";
    for (const Lang& l : kLanguages) {
        if (name.starts_with(l.Name)) return l.Id;
    }
    return 0;
}

std::vector<std::string> groupSymbols(const char* SymbolsName)
{
    // Parts are separated by "+" or "|"; a part is a layout with an optional
    // "(variant)" and an optional ":group". "pc", "inet(...)", "group(...)"
    // and the like carry no group of their own.
    std::vector<std::string> groups;
    const std::string_view all = SymbolsName ? SymbolsName : "";
    size_t pos = 0;
    int next = 1;
    while (pos <= all.size()) {
        size_t end = all.find_first_of("+|", pos);
        if (end == std::string_view::npos) end = all.size();
        std::string_view part = all.substr(pos, end - pos);
        pos = end + 1;
        int group = 0;
        if (const size_t colon = part.find(':'); colon != std::string_view::npos) {
            group = std::atoi(std::string(part.substr(colon + 1)).c_str());
            part = part.substr(0, colon);
        }
        const std::string_view base = part.substr(0, part.find('('));
        static constexpr std::string_view kNotLayouts[] = {"pc", "inet", "group", "compose", "level3", "srvr_ctrl",
                                                            "terminate", "ctrl", "altwin", "capslock", "keypad",
                                                            "lv3", "eurosign", "shift", "ralt", "rupeesign",
                                                            "numpad", "kpdl", "japan", "nbsp", "evdev", "aliases"};
        bool layout = !base.empty();
        for (std::string_view n : kNotLayouts) {
            if (base == n) layout = false;
        }
        if (!layout) {
            if (end == all.size()) break;
            continue;
        }
        if (group == 0) group = next;
        next = group + 1;
        if (group >= 1 && group <= XkbNumKbdGroups) {
            if (static_cast<int>(groups.size()) < group) groups.resize(static_cast<size_t>(group));
            groups[static_cast<size_t>(group - 1)] = std::string(part);
        }
        if (end == all.size()) break;
    }
    return groups;
}

std::vector<HKL> getKeyboardLayoutList(int Max)
{
    if (Max <= 0) return {};
    if (installed) return installed->List(Max);
    Display* dpy = display();
    return dpy ? x11List(dpy, Max) : std::vector<HKL>{};
}

bool activateKeyboardLayout(HKL Layout)
{
    if (installed) return installed->Activate(Layout);
    Display* dpy = display();
    if (!dpy || Layout == 0) return false;
    const int group = groupOf(Layout);
    bool known = false;
    for (HKL l : x11List(dpy, XkbNumKbdGroups)) known = known || l == Layout;
    if (!known) return false;
    const bool ok = XkbLockGroup(dpy, XkbUseCoreKbd, static_cast<unsigned>(group));
    XFlush(dpy);
    return ok;
}

HKL activeKeyboardLayout()
{
    if (installed) return installed->Active();
    Display* dpy = display();
    if (!dpy) return 0;
    XkbStateRec state{};
    if (XkbGetState(dpy, XkbUseCoreKbd, &state) != Success) return 0;
    for (HKL l : x11List(dpy, XkbNumKbdGroups)) {
        if (groupOf(l) == state.group) return l;
    }
    return 0;
}

void setHost(Host* Host) { installed = Host; }

}  // namespace keyboard
